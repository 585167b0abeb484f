// The two diagnostic recorders of a dispatcher: the trace (every byte sent and taken) and the
// dispatch log (timed records of reads, writes and notifications), dumped to text files.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

constexpr uint32_t MaxTraceSize = 4000000;
constexpr uint32_t MaxLogSize = 16000000;

// Kinds of trace entries.
constexpr char TraceTransmit = 'T';
constexpr char TraceReceive = 'R';

// Log entry kinds and sub-kinds.
enum : uint8_t { LogDispatch = 1, LogTrigger = 2, LogTrgHdAlc = 7, LogTrgHdDsp = 8, LogTrDatChg = 9 };
enum : uint8_t {
    LogReadCom = 1, LogWriteCom = 2, LogAvail = 5, LogTimer = 6, LogData = 7, LogStatus = 8,
    LogAvailThreshold = 16, LogWindow = 17
};

// Appends one byte as the dumps write it.
QString FormatDumpByte(uint8_t byte, bool hex, bool allHex);

class TTraceRing {
public:
    explicit TTraceRing(uint32_t entries);
    void Add(char kind, uint8_t byte);
    void Clear();
    bool Active = true;
    // Entries oldest first.
    std::vector<std::pair<char, uint8_t>> Entries() const;
    // The dump text.
    QString Format(bool hex, bool allHex) const;

private:
    std::vector<std::pair<char, uint8_t>> ring_;
    uint32_t pos_ = 0;
    bool wrapped_ = false;
};

struct TLogEntry {
    uint8_t Kind = 0;
    uint8_t SubKind = 0;
    uint32_t Time = 0;
    uint32_t Value = 0;
    QByteArray Data;
};

class TDispatchLog {
public:
    explicit TDispatchLog(uint32_t size);
    // Adds an entry; the oldest entries go when it does not fit; one larger than the ring is dropped.
    void Add(uint8_t kind, uint8_t subKind, uint32_t time, uint32_t value, const char* data, uint32_t length);
    void Clear();
    bool Active = true;
    std::vector<TLogEntry> Entries() const;
    QString Format(bool hex, bool allHex) const;

    static uint32_t HeaderSize() { return 14; }

private:
    void PutBytes(const char* p, uint32_t n);
    void GetBytes(uint32_t at, char* p, uint32_t n) const;
    std::vector<char> ring_;
    uint32_t read_ = 0;
    uint32_t write_ = 0;
    uint32_t free_ = 0;
};

// Writes text to a file, creating it or appending; 0 or minus the system error.
int WriteDumpFile(const QString& fileName, const QString& text, bool append);

// The time of a log line: milliseconds as "%07.7d" with a point before the fifth digit.
QString FormatLogTime(uint32_t ms);
