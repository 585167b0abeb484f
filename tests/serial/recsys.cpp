#include "recsys.h"

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <thread>
#include <linux/serial.h>
#include <sys/ioctl.h>

int RecordingSystem::Open(const char* path, int flags)
{
    Note(QStringLiteral("open"));
    if (OpenErrno != 0) {
        errno = OpenErrno;
        return -1;
    }
    return TSerialSystem::Open(path, flags);
}

int RecordingSystem::Close(int fd)
{
    Note(QStringLiteral("close"));
    return TSerialSystem::Close(fd);
}

int RecordingSystem::Ioctl(int fd, unsigned long request, void* arg)
{
    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
        if (!ModemLines) {
            errno = ENOTTY;
            return -1;
        }
        if (request == TIOCMGET)
            *static_cast<int*>(arg) = Lines;
        return 0;
    case TIOCMBIS:
    case TIOCMBIC: {
        if (!ModemLines) {
            errno = ENOTTY;
            return -1;
        }
        const int bits = *static_cast<int*>(arg);
        const QString sign = request == TIOCMBIS ? QStringLiteral("+") : QStringLiteral("-");
        if (bits & TIOCM_RTS)
            Note(QStringLiteral("RTS") + sign);
        if (bits & TIOCM_DTR)
            Note(QStringLiteral("DTR") + sign);
        return 0;
    }
    case TIOCGRS485:
        *static_cast<serial_rs485*>(arg) = serial_rs485{};
        static_cast<serial_rs485*>(arg)->flags = Rs485Flags;
        return 0;
    case TIOCSRS485: {
        const unsigned flags = static_cast<serial_rs485*>(arg)->flags;
        Note(QStringLiteral("rs485 %1").arg((flags & SER_RS485_ENABLED) ? QStringLiteral("on") : QStringLiteral("off")));
        if (!Rs485SetWorks) {
            errno = ENOTTY;
            return -1;
        }
        Rs485Flags = Rs485StaysOff ? (flags & ~SER_RS485_ENABLED) : flags;
        return 0;
    }
    case TIOCSERGETLSR:
        if (!HaveLsr) {
            errno = ENOTTY;
            return -1;
        }
        Note(QStringLiteral("lsr"));
        *static_cast<unsigned*>(arg) = TIOCSER_TEMT;
        return 0;
    case TIOCOUTQ:
        ++QueueQueries;
        break;
    case FIONREAD:
        if (QueueErrno != 0) {
            errno = QueueErrno;
            return -1;
        }
        break;
    case TIOCGICOUNT:
        ++CounterQueries;
        if (FrameErrors < 0) {
            errno = ENOTTY;
            return -1;
        }
        *static_cast<serial_icounter_struct*>(arg) = serial_icounter_struct{};
        static_cast<serial_icounter_struct*>(arg)->frame = FrameErrors;
        return 0;
    case TCSETS2: {
        const auto* t = static_cast<const termios2*>(arg);
        Note(QStringLiteral("termios %1").arg(t->c_ospeed));
        if (SetTermiosErrno != 0) {
            errno = SetTermiosErrno;
            return -1;
        }
        break;
    }
    case TIOCEXCL:
        Note(QStringLiteral("excl"));
        break;
    case TIOCNXCL:
        Note(QStringLiteral("nxcl"));
        break;
    default:
        break;
    }
    return TSerialSystem::Ioctl(fd, request, arg);
}

ssize_t RecordingSystem::Write(int fd, const void* bytes, size_t count)
{
    Note(QStringLiteral("write %1").arg(count));
    if (WriteErrno != 0) {
        errno = WriteErrno;
        return -1;
    }
    if (WriteStalls) {
        errno = EAGAIN;
        return -1;
    }
    return TSerialSystem::Write(fd, bytes, count);
}

int RecordingSystem::Drain(int fd)
{
    if (DrainWaitsForCts && !(Lines & TIOCM_CTS)) {
        Note(QStringLiteral("drain while CTS is low"));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(Lines & TIOCM_CTS) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else {
        Note(QStringLiteral("drain"));
    }
    return TSerialSystem::Drain(fd);
}

QStringList RecordingSystem::Calls() const
{
    // A list of its own: a shared one would be detached by the next Note on another thread
    // after a reference check that does not synchronise with this thread dropping its copy.
    std::lock_guard lock(mutex_);
    QStringList copy;
    copy.reserve(calls_.size());
    for (const QString& call : calls_)
        copy << call;
    return copy;
}

void RecordingSystem::Clear()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
}

QStringList RecordingSystem::CallsFrom(const QString& from) const
{
    const QStringList all = Calls();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i].startsWith(from))
            return all.mid(i);
    }
    return {};
}

void RecordingSystem::Note(const QString& call)
{
    std::lock_guard lock(mutex_);
    calls_ << call;
}
