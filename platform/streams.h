// Byte streams: the abstract stream, a growable memory stream and a file stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream();
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Read and Write move as many bytes as they can and return the count (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Returns the new position; a memory stream may be positioned beyond its end.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t Position() const;
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }

    // All or nothing: raise EReadError / EWriteError "Stream read error" / "Stream write error"
    // when fewer bytes could be moved.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    void WriteBuffer(const QByteArray& bytes) { WriteBuffer(bytes.constData(), bytes.size()); }
    // Reads up to `count` bytes (the rest when count < 0).
    QByteArray ReadBytes(std::int64_t count = -1);
    // Copies `count` bytes from source's current position; count 0 copies all of source from
    // its start. Returns the count copied; raises EReadError when source runs short.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

protected:
    // Position as the derived stream keeps it (Seek(0, soCurrent) is not const).
    virtual std::int64_t CurrentPosition() const = 0;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(const QByteArray& bytes) : data_(bytes) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return data_.size(); }
    void SetSize(std::int64_t size) override;

    char* Memory() { return data_.data(); }
    const char* Memory() const { return data_.constData(); }
    const QByteArray& Bytes() const { return data_; }
    void SetBytes(const QByteArray& bytes);

    void Clear();
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& dest) const;
    // Raise EFOpenError / EFCreateError when the file cannot be opened or created.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;

protected:
    std::int64_t CurrentPosition() const override { return pos_; }

private:
    QByteArray data_;
    std::int64_t pos_ = 0;
};

// Open modes: one access mode, optionally or-ed with a share mode (kept for readability; files
// are not locked by it). fmCreate creates or truncates the file and opens it for reading and writing.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError "Cannot open file \"%s\". %s" or EFCreateError
    // "Cannot create file \"%s\". %s" with the system's reason.
    TFileStream(const QString& fileName, unsigned mode);
    ~TFileStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override;
    void SetSize(std::int64_t size) override;

    const QString& FileName() const { return fileName_; }
    int Handle() const { return fd_; }

protected:
    std::int64_t CurrentPosition() const override;

private:
    QString fileName_;
    int fd_ = -1;
};
