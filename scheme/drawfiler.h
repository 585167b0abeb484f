// The line filer of scheme documents: a 4096-byte read buffer over a byte stream, tolerant of
// every line-end convention, with progress counting for loads and saves.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <vector>

class TStream;
class TDrawFiler;

enum TDrawFilerProcess : int { dfpLoading = 1, dfpSaving = 2, dfpCopying = 3 };

using TDrawProgressEvent = std::function<void(TDrawFiler* sender, int progress, int process)>;

// Keywords of the document format (case-sensitive).
inline constexpr const char* kwDocument = "document";
inline constexpr const char* kwClipboard = "clipboard";
inline constexpr const char* kwLibrary = "library";
inline constexpr const char* kwObject = "object";
inline constexpr const char* kwProperty = "property";
inline constexpr const char* kwEnd = "end";

// The keyword test of the reader: the shorter of the two is a prefix of the other, so an empty
// line matches every keyword and "objects" matches "object".
bool MatchesKeyword(const QByteArray& line, const char* keyword);

class TDrawFiler {
public:
    static constexpr int BufSize = 4096;

    explicit TDrawFiler(TStream& stream);
    TDrawFiler(const TDrawFiler&) = delete;
    TDrawFiler& operator=(const TDrawFiler&) = delete;

    TStream& Stream() const { return FStream; }

    // Writes the bytes and CR LF.
    void SaveStr(const QByteArray& text);
    void SaveBuf(const char* buffer, int64_t count);
    // Reads one line (leading blanks skipped); true while data remains after it. The last line
    // of the data comes with false.
    bool LoadStr(QByteArray& line);
    bool LoadLine(QByteArray& line) { return LoadStr(line); }
    void LoadSkipToEnd();
    bool CheckLoadSkip(const QByteArray& line);
    void Rewind();

    int64_t Total() const { return FTotal; }
    void SetTotal(int64_t total) { FTotal = total; }
    int64_t Saved() const { return FSaved; }
    void SetSaved(int64_t saved);
    int64_t Loaded() const { return FLoaded; }
    int LastProgress() const { return FLastProgress; }
    void DoProgress(int process);

    TDrawProgressEvent OnProgress;

private:
    bool Refill();

    TStream& FStream;
    std::vector<char> FBuffer;
    int FBufPos = 0;
    int FBufEnd = 0;
    int64_t FTotal = 0;
    int64_t FSaved = 0;
    int64_t FLoaded = 0;
    int FLastProgress = 0;
};
