// The port layer on Linux serial devices. termios2 lets any baud rate through; the standard
// rates keep their B-constants so that other programs read the speed back as usual.
#include "serial/dispatcher.h"

#include "platform/comports.h"
#include "serial/serialexcept.h"

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

struct BaudCode {
    uint32_t rate;
    unsigned code;
};
constexpr BaudCode baudCodes[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

int ErrnoResult() { return -SystemCodeFromErrno(errno); }

// An ioctl whose argument is a number, not a pointer.
void* IntArg(int value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }

}  // namespace

struct TPosixDispatcher::SavedLine {
    bool HaveTermios = false;
    termios2 Termios{};
    bool HaveRs485 = false;
    bool Rs485Changed = false;
    serial_rs485 Rs485{};
};

TPosixDispatcher::TPosixDispatcher(QObject* owner) : TBaseDispatcher(owner), saved_(std::make_unique<SavedLine>()) {}

TPosixDispatcher::~TPosixDispatcher()
{
    StopThreads();
    if (fd_ >= 0)
        ClosePortDescriptor();
}

bool TPosixDispatcher::MakeWakeFds()
{
    comWakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    outWakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return comWakeFd_ >= 0 && outWakeFd_ >= 0;
}

int TPosixDispatcher::FailOpen(TOpenFailure why, int err, int pid)
{
    openFailure_ = why;
    openFailurePid_ = pid;
    lastSystemError_ = SystemCodeFromErrno(err);
    return -1;
}

bool TPosixDispatcher::PortIsFree(const QString& name)
{
    // Decided before the open: opening a serial device already raises its modem lines.
    if (const int pid = ComPortLockOwner(name)) {
        FailOpen(TOpenFailure::InUse, EBUSY, pid);
        return false;
    }
    if (const int pid = ComPortFlockOwner(name)) {
        FailOpen(TOpenFailure::InUse, EBUSY, pid);
        return false;
    }
    return true;
}

int TPosixDispatcher::HoldExclusively(int fd, const QString& name)
{
    // flock also holds against root; TIOCEXCL keeps out programs that do not use flock.
    if (sys_->Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        return err == EWOULDBLOCK ? FailOpen(TOpenFailure::InUse, EBUSY, ComPortFlockOwner(name))
                                  : FailOpen(TOpenFailure::Other, err);
    }
    // Root gets through another program's TIOCEXCL: ask before touching anything.
    int exclusive = 0;
    if (sys_->Ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return FailOpen(TOpenFailure::InUse, EBUSY);
    int owner = 0;
    lockPath_ = CreateComPortLock(name, &owner);
    if (owner != 0)
        return FailOpen(TOpenFailure::InUse, EBUSY, owner);
    sys_->Ioctl(fd, TIOCEXCL, nullptr);
    return 0;
}

int TPosixDispatcher::PortOpen(const QString& name, uint32_t, uint32_t)
{
    openFailure_ = TOpenFailure::None;
    openFailurePid_ = 0;
    if (name.isEmpty())
        return FailOpen(TOpenFailure::NoDevice, ENOENT);
    if (IsSystemConsole(name))
        return FailOpen(TOpenFailure::Console, EACCES);
    if (!PortIsFree(name))
        return -1;
    const int fd = sys_->Open(name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return FailOpen(TOpenFailure::NoDevice, err);
        case EACCES:
        case EPERM:
        case EROFS:
            return FailOpen(TOpenFailure::AccessDenied, EACCES);
        case EBUSY:
            return FailOpen(TOpenFailure::InUse, EBUSY);
        default:
            return FailOpen(TOpenFailure::Other, err);
        }
    }
    termios2 t{};
    if (sys_->Ioctl(fd, TCGETS2, &t) != 0) {
        sys_->Close(fd);
        return FailOpen(TOpenFailure::NotSerial, ENOENT);
    }
    if (HoldExclusively(fd, name) != 0) {
        sys_->Close(fd);  // the flock, if taken, goes with the descriptor
        RemoveComPortLock(lockPath_);
        lockPath_.clear();
        return -1;
    }
    fd_ = fd;
    if (!MakeWakeFds()) {
        ClosePortDescriptor();
        return ecode::OutOfMemory;
    }
    return fd_;
}

int TAdoptDispatcher::PortOpen(const QString&, uint32_t, uint32_t)
{
    if (adopted_ <= 0) {
        lastSystemError_ = 2007;
        return -1;
    }
    fd_ = adopted_;
    adopted_ = -1;
    if (!MakeWakeFds()) {
        ClosePortDescriptor();
        lastSystemError_ = SystemCodeFromErrno(ENOMEM);
        return -1;
    }
    return fd_;
}

void TPosixDispatcher::PortPrepare()
{
    termios2 t{};
    if (sys_->Ioctl(fd_, TCGETS2, &t) == 0) {
        saved_->HaveTermios = true;
        saved_->Termios = t;
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                            IXANY | INPCK);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag |= CREAD | CLOCAL;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        sys_->Ioctl(fd_, TCSETS2, &t);

        std::lock_guard line(lineLock_);
        const unsigned code = t.c_cflag & CBAUD;
        dcb_.BaudRate = t.c_ospeed;
        for (const BaudCode& b : baudCodes) {
            if (b.code == code)
                dcb_.BaudRate = b.rate;
        }
        const unsigned size = t.c_cflag & CSIZE;
        dcb_.ByteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        if (!(t.c_cflag & PARENB))
            dcb_.Parity = 0;
        else if (t.c_cflag & CMSPAR)
            dcb_.Parity = (t.c_cflag & PARODD) ? 3 : 4;
        else
            dcb_.Parity = (t.c_cflag & PARODD) ? 1 : 2;
        dcb_.StopBits = (t.c_cflag & CSTOPB) ? TwoStopBits : OneStopBit;
        dcb_.fOutX = dcb_.fInX = false;  // raw now: a binary protocol must not lose its 0x11 and 0x13
        dcb_.fOutxCtsFlow = t.c_cflag & CRTSCTS;
        dcb_.XonChar = t.c_cc[VSTART];
        dcb_.XoffChar = t.c_cc[VSTOP];
    }
    serial_rs485 rs{};
    saved_->HaveRs485 = sys_->Ioctl(fd_, TIOCGRS485, &rs) == 0;
    if (saved_->HaveRs485)
        saved_->Rs485 = rs;
    // RTS can be driven where the modem lines can be read and written back unchanged
    // (serial UARTs and USB adapters; not pseudo-terminals).
    int lines = 0;
    rtsDrivable_ = sys_->Ioctl(fd_, TIOCMGET, &lines) == 0 && sys_->Ioctl(fd_, TIOCMSET, &lines) == 0;
    unsigned int lsr = 0;
    haveLsr_ = sys_->Ioctl(fd_, TIOCSERGETLSR, &lsr) == 0;
    rs485Method_ = TRS485Method::None;
    serial_icounter_struct ic{};
    haveIcount_ = sys_->Ioctl(fd_, TIOCGICOUNT, &ic) == 0;
    if (haveIcount_) {
        lastIcount_[0] = ic.frame;
        lastIcount_[1] = ic.parity;
        lastIcount_[2] = ic.overrun;
        lastIcount_[3] = ic.buf_overrun;
        lastIcount_[4] = ic.brk;
    }
}

TRS485Method TPosixDispatcher::PortSetRS485(bool on)
{
    if (fd_ < 0)
        return TRS485Method::None;
    serial_rs485 rs{};
    // The driver answers the read for every UART, also without RS-485 support: only a set
    // that is accepted and reads back as on counts.
    if (sys_->Ioctl(fd_, TIOCGRS485, &rs) == 0 && (on || (rs.flags & SER_RS485_ENABLED))) {
        if (on) {
            rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
            rs.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
        } else {
            rs.flags &= ~static_cast<__u32>(SER_RS485_ENABLED);
        }
        saved_->Rs485Changed = true;
        serial_rs485 back{};
        if (sys_->Ioctl(fd_, TIOCSRS485, &rs) == 0 && sys_->Ioctl(fd_, TIOCGRS485, &back) == 0 &&
            (back.flags & SER_RS485_ENABLED) && on)
            return TRS485Method::Kernel;
    }
    if (!on)
        return TRS485Method::None;
    return rtsDrivable_ ? TRS485Method::Software : TRS485Method::None;
}

int TPosixDispatcher::PortDrain()
{
    if (fd_ < 0 || lost_)
        return 0;
    // tcdrain waits without limit for the driver's queue, which a stalled handshake never
    // empties: that part is waited for here, where a close or a flush can end it.
    // The same for a peer that holds CTS low under hardware handshake: a USB adapter keeps the
    // bytes in its chip, where the queue count does not see them and tcdrain waits for ever.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + 5s;
    termios2 t{};
    const bool ctsFlow = sys_->Ioctl(fd_, TCGETS2, &t) == 0 && (t.c_cflag & CRTSCTS);
    for (;;) {
        int queued = 0;
        int lines = 0;
        const bool pending = sys_->Ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0;
        const bool held = ctsFlow && sys_->Ioctl(fd_, TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS);
        if (!pending && !held)
            break;
        if (kill_ || flushRequested_ || lost_ || steady_clock::now() > deadline)
            return 0;
        std::this_thread::sleep_for(1ms);
    }
    int r;
    do {
        r = sys_->Drain(fd_);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : ErrnoResult();
}

void TPosixDispatcher::RestoreLine()
{
    if (fd_ < 0 || lost_)
        return;
    if (saved_->HaveRs485 && saved_->Rs485Changed)
        sys_->Ioctl(fd_, TIOCSRS485, &saved_->Rs485);
    if (saved_->HaveTermios)
        sys_->Ioctl(fd_, TCSETS2, &saved_->Termios);
    saved_->HaveTermios = saved_->HaveRs485 = saved_->Rs485Changed = false;
}

void TPosixDispatcher::ClosePortDescriptor()
{
    if (fd_ >= 0) {
        RestoreLine();
        sys_->Ioctl(fd_, TIOCNXCL, nullptr);
        sys_->Close(fd_);
    }
    RemoveComPortLock(lockPath_);
    lockPath_.clear();
    if (comWakeFd_ >= 0)
        close(comWakeFd_);
    if (outWakeFd_ >= 0)
        close(outWakeFd_);
    fd_ = comWakeFd_ = outWakeFd_ = -1;
}

int TPosixDispatcher::PortClose()
{
    StopThreads();
    ClosePortDescriptor();
    return 0;
}

int TPosixDispatcher::PortEscape(int function)
{
    if (fd_ < 0)
        return 0;
    int bits = 0;
    switch (function) {
    case 3:
    case 4:
        bits = TIOCM_RTS;
        break;
    case 5:
    case 6:
        bits = TIOCM_DTR;
        break;
    case 8:
        sys_->Ioctl(fd_, TIOCSBRK, nullptr);
        return 0;
    case 9:
        sys_->Ioctl(fd_, TIOCCBRK, nullptr);
        return 0;
    default:
        return 0;
    }
    // Devices without modem lines (pseudo-terminals) refuse; that is not a failure here.
    if (!lost_)
        sys_->Ioctl(fd_, (function == 3 || function == 5) ? TIOCMBIS : TIOCMBIC, &bits);
    return 0;
}

int TPosixDispatcher::PortFlush(int which)
{
    if (which == 0) {
        if (threadsRunning_ && !kill_) {
            std::unique_lock lock(eventMutex_);
            flushAck_ = false;
            flushRequested_ = true;
            WakeOutThread();
            eventChanged_.wait(lock, [this] { return flushAck_ || kill_; });
        }
        {
            std::lock_guard out(outputLock_);
            ringHead_ = ringTail_ = 0;
            ringFull_ = false;
        }
        if (fd_ >= 0 && sys_->Ioctl(fd_, TCFLSH, IntArg(TCOFLUSH)) != 0)
            return ErrnoResult();
        return 0;
    }
    if (fd_ >= 0 && sys_->Ioctl(fd_, TCFLSH, IntArg(TCIFLUSH)) != 0)
        return ErrnoResult();
    return 0;
}

uint32_t TPosixDispatcher::PortGetErrors(uint32_t& inQueue)
{
    int n = 0;
    if (sys_->Ioctl(fd_, FIONREAD, &n) == 0) {
        inQueue = static_cast<uint32_t>(std::max(n, 0));
    } else {
        // A device that is gone answers no more; other failures leave the read to find out.
        const bool gone = fd_ >= 0 && DeviceGoneError(errno);
        inQueue = gone ? 0 : DispatchBufferSize;
        if (gone)
            MarkLost();
    }
    if (!haveIcount_)
        return 0;
    // Writes (the caller's thread) and the dispatch thread both count against the last counts.
    std::lock_guard out(outputLock_);
    serial_icounter_struct ic{};
    if (sys_->Ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return 0;
    const int now[5] = {ic.frame, ic.parity, ic.overrun, ic.buf_overrun, ic.brk};
    static const uint32_t bit[5] = {8, 4, 2, 1, 16};
    uint32_t errors = 0;
    for (int i = 0; i < 5; ++i) {
        if (now[i] != lastIcount_[i])
            errors |= bit[i];
        lastIcount_[i] = now[i];
    }
    return errors;
}

int TPosixDispatcher::PortGetState(TDCB& dcb)
{
    std::lock_guard line(lineLock_);
    dcb = dcb_;
    return 0;
}

int TPosixDispatcher::PortRead(char* buffer, uint32_t count)
{
    const ssize_t n = sys_->Read(fd_, buffer, count);
    if (n < 0 && DeviceGoneError(errno))
        MarkLost();
    return n > 0 ? static_cast<int>(n) : 0;
}

int TPosixDispatcher::PortSetState(const TDCB& dcb)
{
    termios2 t{};
    if (sys_->Ioctl(fd_, TCGETS2, &t) != 0)
        return ErrnoResult();
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > TwoStopBits)
        return -SystemCodeFromErrno(EINVAL);
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK);
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    if (dcb.fParity)
        t.c_iflag |= INPCK;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];
    static const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    t.c_cflag |= parities[dcb.Parity];
    if (dcb.StopBits != OneStopBit)
        t.c_cflag |= CSTOPB;
    if (dcb.fRtsControl == RtsControlHandshake || dcb.fOutxCtsFlow)
        t.c_cflag |= CRTSCTS;
    // A legacy speed code runs the line at the rate it names.
    const uint32_t rate = BaudFromLegacyCode(dcb.BaudRate);
    if (rate == 0)
        return -SystemCodeFromErrno(EINVAL);
    unsigned code = BOTHER;
    for (const BaudCode& b : baudCodes) {
        if (b.rate == rate)
            code = b.code;
    }
    t.c_cflag |= code;
    t.c_ispeed = t.c_ospeed = rate;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    if (sys_->Ioctl(fd_, TCSETS2, &t) != 0)
        return ErrnoResult();
    return 0;
}

bool TPosixDispatcher::PortSetupQueues(uint32_t, uint32_t)
{
    return true;  // the driver's queues have fixed sizes here
}

int TPosixDispatcher::PortIdle()
{
    sched_yield();
    return 0;
}

uint8_t TPosixDispatcher::PortModemStatus()
{
    int lines = 0;
    if (fd_ < 0 || sys_->Ioctl(fd_, TIOCMGET, &lines) != 0)
        return 0;
    return static_cast<uint8_t>(((lines & TIOCM_CTS) ? 0x10 : 0) | ((lines & TIOCM_DSR) ? 0x20 : 0) |
                                ((lines & TIOCM_RNG) ? 0x40 : 0) | ((lines & TIOCM_CAR) ? 0x80 : 0));
}

void TPosixDispatcher::WaitTransmitterEmpty()
{
    using namespace std::chrono;
    if (!haveLsr_ || lost_)
        return;
    const auto deadline = steady_clock::now() + 2s;
    while (!kill_ && !flushRequested_ && steady_clock::now() < deadline) {
        unsigned int lsr = 0;
        if (sys_->Ioctl(fd_, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT))
            return;
        std::this_thread::sleep_for(100us);
    }
}

bool ProbePortPresent(int n)
{
    if (n <= 0)
        return false;
    const QString path = ComPortPath(n);
    if (path.isEmpty())
        return false;
    TPosixDispatcher probe(nullptr);
    if (probe.PortOpen(path, 64, 64) >= 0) {
        probe.PortClose();
        return true;
    }
    // There, but held by another program or not ours to open.
    return probe.OpenFailure() == TOpenFailure::InUse || probe.OpenFailure() == TOpenFailure::AccessDenied;
}
