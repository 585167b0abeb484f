#include "platform/streams.h"

#include "platform/exceptions.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TStream::~TStream() = default;

std::int64_t TStream::Position() const
{
    return CurrentPosition();
}

namespace {

// A stream error, with the system's reason when a file call failed; errno is cleared before
// the call, so a short read at the end of the data gives no reason.
template <class Error>
[[noreturn]] void RaiseStreamError(int err)
{
    Error error;
    if (err != 0) {
        error.SetMessage(error.Message() + QStringLiteral(". ") + ErrnoText(err));
    }
    throw error;
}

} // namespace

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    errno = 0;
    if (count < 0 || (count != 0 && Read(buffer, count) != count)) {
        RaiseStreamError<EReadError>(count < 0 ? 0 : errno);
    }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    errno = 0;
    if (count < 0 || (count != 0 && Write(buffer, count) != count)) {
        RaiseStreamError<EWriteError>(count < 0 ? 0 : errno);
    }
}

QByteArray TStream::ReadBytes(std::int64_t count)
{
    const std::int64_t available = std::max<std::int64_t>(0, Size() - Position());
    if (count < 0 || count > available) {
        count = available;
    }
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    const std::int64_t got = count > 0 ? Read(bytes.data(), count) : 0;
    bytes.resize(qsizetype(std::max<std::int64_t>(0, got)));
    return bytes;
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr std::int64_t kChunk = 64 * 1024;
    QByteArray buffer(qsizetype(std::min(count, kChunk)), Qt::Uninitialized);
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min(left, kChunk);
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.constData(), n);
        left -= n;
    }
    return count;
}

// ---- TMemoryStream --------------------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0 || pos_ >= data_.size()) {
        return 0;
    }
    const std::int64_t n = std::min<std::int64_t>(count, data_.size() - pos_);
    std::memcpy(buffer, data_.constData() + pos_, std::size_t(n));
    pos_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    const std::int64_t end = pos_ + count;
    if (end > data_.size()) {
        // Bytes between the old end and a position beyond it read as zeros.
        const qsizetype old = data_.size();
        data_.resize(qsizetype(end));
        if (pos_ > old) {
            std::memset(data_.data() + old, 0, std::size_t(pos_ - old));
        }
    }
    std::memcpy(data_.data() + pos_, buffer, std::size_t(count));
    pos_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = pos_; break;
    case soEnd: base = data_.size(); break;
    }
    // A position before the start is not a position; stay at the start.
    pos_ = std::max<std::int64_t>(0, base + offset);
    return pos_;
}

void TMemoryStream::SetSize(std::int64_t size)
{
    size = std::max<std::int64_t>(0, size);
    const qsizetype old = data_.size();
    data_.resize(qsizetype(size));
    if (size > old) {
        std::memset(data_.data() + old, 0, std::size_t(size - old));
    }
    if (pos_ > size) {
        pos_ = size;
    }
}

void TMemoryStream::SetBytes(const QByteArray& bytes)
{
    data_ = bytes;
    pos_ = 0;
}

void TMemoryStream::Clear()
{
    data_.clear();
    pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    source.ReadBuffer(bytes.data(), size);
    SetBytes(bytes);
}

void TMemoryStream::SaveToStream(TStream& dest) const
{
    dest.WriteBuffer(data_.constData(), data_.size());
}

void TMemoryStream::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const QString& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

// ---- TFileStream ----------------------------------------------------------------------------

namespace {

// Repeats one read or write call until count bytes have moved, the file ends or it fails;
// an interrupted call is retried. Gives the bytes moved.
template <class Byte, class Call>
std::int64_t TransferAll(Byte* p, std::int64_t count, Call call)
{
    std::int64_t total = 0;
    while (total < count) {
        const ssize_t n = call(p + total, std::size_t(count - total));
        if (n < 0 && errno == EINTR) {
            errno = 0;   // not the reason of a later failure
            continue;
        }
        if (n <= 0) {
            break;
        }
        total += n;
    }
    return total;
}

} // namespace

TFileStream::TFileStream(const QString& fileName, unsigned mode) : fileName_(fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    if ((mode & 0xFF00) == fmCreate) {
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            throw EFCreateError(QStringLiteral("Не удается создать файл \"%1\". %2").arg(fileName, ErrnoText(errno)));
        }
        return;
    }
    int flags = O_RDONLY;
    switch (mode & 0x3) {
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
    }
    fd_ = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd_ >= 0) {
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
    }
    if (fd_ < 0) {
        throw EFOpenError(QStringLiteral("Не удается открыть файл \"%1\". %2").arg(fileName, ErrnoText(errno)));
    }
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    return TransferAll(static_cast<char*>(buffer), count,
                       [this](char* at, std::size_t n) { return ::read(fd_, at, n); });
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    return TransferAll(static_cast<const char*>(buffer), count,
                       [this](const char* at, std::size_t n) { return ::write(fd_, at, n); });
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    int whence = SEEK_SET;
    switch (origin) {
    case soBeginning: whence = SEEK_SET; break;
    case soCurrent: whence = SEEK_CUR; break;
    case soEnd: whence = SEEK_END; break;
    }
    const off_t r = ::lseek(fd_, off_t(offset), whence);
    return r < 0 ? CurrentPosition() : std::int64_t(r);
}

std::int64_t TFileStream::Size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return 0;
    }
    return std::int64_t(st.st_size);
}

void TFileStream::SetSize(std::int64_t size)
{
    if (::ftruncate(fd_, off_t(std::max<std::int64_t>(0, size))) != 0) {
        RaiseStreamError<EWriteError>(errno);
    }
    if (CurrentPosition() > size) {
        ::lseek(fd_, off_t(size), SEEK_SET);
    }
}

std::int64_t TFileStream::CurrentPosition() const
{
    const off_t r = ::lseek(fd_, 0, SEEK_CUR);
    return r < 0 ? 0 : std::int64_t(r);
}
