// The port layer on what real adapters do, through the system-call seam: direction control,
// draining before a new speed, holding a port, restoring it, and the errors the operator reads.
#include "platform/application.h"
#include "platform/comports.h"
#include "pty.h"
#include "recsys.h"
#include "serial/comport.h"
#include "serial/serialexcept.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class PortTest : public ::testing::Test {
protected:
    void SetUp() override { pty.MapAs(1); }

    std::unique_ptr<TComPort> MakePort()
    {
        auto port = std::make_unique<TComPort>();
        port->SetComNumber(1);
        port->SetBaud(9600);
        port->SetPromptForPort(false);
        port->SetAutoOpen(false);
        port->SetRTS(false);
        port->SetRS485Mode(true);
        port->SetCustomDispatcher([this](TCustomComPort* cp) {
            auto d = std::make_unique<TPosixDispatcher>(cp);
            d->SetSystem(sys);
            return d;
        });
        return port;
    }
    // The message of the exception that opening raises, checked against its class.
    template <typename E>
    QString OpenFails(TComPort& port)
    {
        try {
            port.Open();
        } catch (const E& e) {
            EXPECT_FALSE(port.IsOpen());
            return e.Message();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "another exception: " << e.what();
            return {};
        }
        ADD_FAILURE() << "the port opened";
        return {};
    }
    QString LockFile() const { return QDir(qEnvironmentVariable("COMPORT_LOCKDIR")).filePath(ComPortLockName(pty.SlavePath())); }

    PtyPair pty;
    std::shared_ptr<RecordingSystem> sys = std::make_shared<RecordingSystem>();
};

// Waits (without an event loop: the output thread does the work) until the calls end with `last`.
bool WaitForCall(const RecordingSystem& sys, const QString& last)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        const QStringList calls = sys.Calls();
        if (!calls.isEmpty() && calls.contains(last))
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

}  // namespace

TEST_F(PortTest, DirectionControlIsTheKernelsOnlyWhenItTakesTheSettingElseRTSIsSwitchedAroundEachFrame)
{
    struct Case {
        const char* name;
        bool setWorks, staysOff, modemLines;
        TRS485Method expected;
    };
    const Case cases[] = {
        {"UART without RS-485: the set is refused", false, false, true, TRS485Method::Software},
        {"the set is taken but reads back off", true, true, true, TRS485Method::Software},
        {"kernel RS-485", true, false, true, TRS485Method::Kernel},
        {"no modem lines at all", false, false, false, TRS485Method::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sys = std::make_shared<RecordingSystem>();
        sys->Rs485SetWorks = c.setWorks;
        sys->Rs485StaysOff = c.staysOff;
        sys->ModemLines = c.modemLines;
        auto port = MakePort();
        port->Open();
        ASSERT_EQ(port->ValidDispatcher()->RS485Method(), c.expected);
        sys->Clear();
        port->PutString("abc");
        EXPECT_EQ(pty.Read(3), "abc");
        if (c.expected == TRS485Method::Software) {
            ASSERT_TRUE(WaitForCall(*sys, "RTS-"));
            // Driver on, the frame, the kernel's queue drained, the transmitter empty, driver off.
            EXPECT_EQ(sys->Calls(), (QStringList{"RTS+", "write 3", "drain", "lsr", "RTS-"}));
        } else {
            std::this_thread::sleep_for(20ms);  // give a wrong RTS switch time to show
            EXPECT_FALSE(sys->Calls().contains("RTS+")) << sys->Calls().join(' ').toStdString();
            EXPECT_FALSE(sys->Calls().contains("RTS-")) << sys->Calls().join(' ').toStdString();
        }
        if (c.expected == TRS485Method::Kernel) {
            EXPECT_TRUE(sys->Rs485Flags & SER_RS485_ENABLED);
        }
        port->Close();
    }
}

TEST_F(PortTest, SoftwareDirectionControlWithoutLineStatusStillDrainsBeforeDroppingRTS)
{
    sys->HaveLsr = false;
    auto port = MakePort();
    port->Open();
    sys->Clear();
    port->PutString("xy");
    ASSERT_TRUE(WaitForCall(*sys, "RTS-"));
    EXPECT_EQ(sys->Calls(), (QStringList{"RTS+", "write 2", "drain", "RTS-"}));
}

TEST_F(PortTest, AFlushWhileAFrameIsGoingOutDropsRTS)
{
    auto port = MakePort();
    port->Open();
    ASSERT_EQ(port->ValidDispatcher()->RS485Method(), TRS485Method::Software);
    sys->Clear();
    sys->WriteStalls = true;  // the frame is stuck half way, e.g. a handshake holds it
    port->PutString("request");
    ASSERT_TRUE(WaitForCall(*sys, "write 7"));
    port->FlushOutBuffer();
    sys->WriteStalls = false;
    // Left on, the driver would hold the bus and no reply could be received.
    ASSERT_TRUE(WaitForCall(*sys, "RTS-")) << sys->Calls().mid(sys->Calls().size() - 5).join(' ').toStdString();
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    port->PutString("next");
    EXPECT_EQ(pty.Read(4), "next");
    ASSERT_TRUE(WaitFor([&] { return sys->Calls().count("RTS-") == 2; }));
    EXPECT_EQ(sys->Calls().last(), "RTS-");
}

TEST_F(PortTest, LineErrorsAreCountedByWritesAndTheDispatchThreadAlike)
{
    sys->FrameErrors = 0;
    auto port = MakePort();
    port->Open();
    // The dispatch thread looks at the driver's counters every cycle and every write does too:
    // both compare against the same last counts (the thread checker sees it if unguarded).
    for (int i = 1; i <= 20; ++i) {
        sys->FrameErrors = i;
        pty.Write("x");
        port->PutString("y");
        ASSERT_EQ(pty.Read(1), "y");
    }
    sys->FrameErrors = 21;
    ASSERT_TRUE(WaitFor([&] { return port->LineError() == 4; })) << "a framing error";
    port->Close();
}

TEST_F(PortTest, ALineErrorTheDispatchThreadCountedSurvivesAFrameSent)
{
    sys->FrameErrors = 0;
    auto port = MakePort();
    port->Open();
    sys->FrameErrors = 1;
    // Only the dispatch thread looks at the counters meanwhile; two looks begun after the
    // change mean the first one has been counted.
    const int seen = sys->CounterQueries;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (sys->CounterQueries < seen + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GE(sys->CounterQueries, seen + 2);
    port->PutString("frame");
    EXPECT_EQ(port->LineError(), 4) << "the framing error, still there after the write";
    EXPECT_EQ(port->LineError(), 0);
    EXPECT_EQ(pty.Read(5), "frame");
    port->Close();
}

TEST_F(PortTest, ANewSpeedWaitsForTheDriverToDrain)
{
    sys->ModemLines = false;  // no direction control, whose own drain would hide this one
    auto port = MakePort();
    port->Open();
    port->PutString("tail");
    ASSERT_EQ(pty.Read(4), "tail");
    sys->Clear();
    port->SetBaud(19200);
    const QStringList calls = sys->Calls();
    const qsizetype drain = calls.indexOf("drain");
    const qsizetype speed = calls.indexOf("termios 19200");
    ASSERT_GE(speed, 0) << calls.join(' ').toStdString();
    EXPECT_GE(drain, 0) << calls.join(' ').toStdString();
    EXPECT_LT(drain, speed) << calls.join(' ').toStdString();
}

TEST_F(PortTest, ANewSpeedUnderHandshakeWaitsForCTSBeforeTheDriversDrain)
{
    auto port = MakePort();
    port->SetRS485Mode(false);
    port->SetHWFlowOptions(THWFlowOptions(hwfRequireCTS));
    port->Open();
    ASSERT_TRUE(pty.SlaveSettings().c_cflag & CRTSCTS);
    sys->DrainWaitsForCts = true;  // the peer holds CTS low: the adapter keeps what it has
    sys->Clear();
    // Raises CTS once the speed change is seen waiting for it (never, if it goes straight on).
    const int queries = sys->QueueQueries;
    std::thread peer([&] {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (sys->QueueQueries < queries + 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        sys->Lines = TIOCM_CTS;
    });
    port->SetBaud(19200);
    peer.join();
    const QStringList calls = sys->Calls();
    EXPECT_FALSE(calls.contains("drain while CTS is low")) << "that wait would not end while CTS stays low";
    const qsizetype drain = calls.indexOf("drain");
    EXPECT_GE(drain, 0);
    EXPECT_LT(drain, calls.indexOf("termios 19200"));
    port->Close();
}

TEST_F(PortTest, CloseRestoresTheLineAndTheRS485SettingsFoundAtTheOpen)
{
    {
        const int fd = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(fd, &t);
        cfsetspeed(&t, B4800);
        t.c_lflag |= ICANON | ECHO;
        t.c_oflag |= OPOST;
        tcsetattr(fd, TCSANOW, &t);
        close(fd);
    }
    sys->Rs485SetWorks = true;
    sys->Rs485Flags = SER_RS485_RTS_AFTER_SEND;
    auto port = MakePort();
    port->Open();
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_lflag & ICANON);
    EXPECT_TRUE(sys->Rs485Flags & SER_RS485_ENABLED);
    port->Close();
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
    EXPECT_TRUE(t.c_lflag & ICANON);
    EXPECT_TRUE(t.c_lflag & ECHO);
    EXPECT_TRUE(t.c_oflag & OPOST);
    EXPECT_EQ(sys->Rs485Flags.load(), static_cast<unsigned>(SER_RS485_RTS_AFTER_SEND));
    // Restored while still held; then the exclusive mode goes and the descriptor is closed.
    const QStringList tail = sys->CallsFrom("rs485 off");
    ASSERT_GE(tail.size(), 4) << sys->Calls().join(' ').toStdString();
    EXPECT_EQ(tail.mid(tail.size() - 3), (QStringList{"termios 4800", "nxcl", "close"}));
}

TEST_F(PortTest, AnOpenPortIsHeldExclusivelyAndAnExclusivelyHeldPortIsLeftAlone)
{
    auto port = MakePort();
    port->Open();
    int exclusive = 0;
    const int other = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (other < 0) {
        EXPECT_EQ(errno, EBUSY) << "kept out by the exclusive mode";
    } else {
        // Root gets through; the exclusive mode shows.
        ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        close(other);
    }
    port->Close();

    // Another program holds the port with TIOCEXCL only (no flock, no lock file).
    const int holder = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "the close gave up the exclusive mode";
    termios before{};
    tcgetattr(holder, &before);
    before.c_lflag |= ICANON;
    cfsetspeed(&before, B1200);
    tcsetattr(holder, TCSANOW, &before);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    sys->Clear();
    const QString message = OpenFails<EAlreadyOpen>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("занято другой программой"))) << message.toStdString();
    termios after{};
    tcgetattr(holder, &after);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B1200)) << "the other program's line was touched";
    EXPECT_TRUE(after.c_lflag & ICANON);
    EXPECT_FALSE(sys->Calls().contains("excl"));
    ioctl(holder, TIOCNXCL);
    close(holder);
    EXPECT_NO_THROW(port->Open());
}

TEST_F(PortTest, LockFilesOfLiveProgramsAreHonouredStaleOnesRemovedAndOursComeAndGo)
{
    auto port = MakePort();
    // A live lock (the init process is always there).
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("         1\n");
    }
    const QString message = OpenFails<EAlreadyOpen>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("процесс 1"))) << message.toStdString();
    EXPECT_TRUE(message.contains(pty.SlavePath())) << message.toStdString();
    EXPECT_FALSE(sys->Calls().contains("open")) << "decided before the device was opened";
    EXPECT_TRUE(QFile::exists(LockFile()));
    EXPECT_FALSE(ComPortFree(1)) << "the start-up probe honours it too";
    // Terminal programs write their name and user after the pid.
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("         1 minicom root\n");
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }
    EXPECT_TRUE(OpenFails<EAlreadyOpen>(*port).contains(QStringLiteral("процесс 1")));
    EXPECT_FALSE(ComPortFree(1));
    EXPECT_TRUE(QFile::exists(LockFile()));

    // A lock whose process is gone.
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("4194000\n");
    }
    port->Open();
    ASSERT_TRUE(port->IsOpen());
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().trimmed().toInt(), getpid()) << "ours replaced the stale one";
    }
    port->Close();
    EXPECT_FALSE(QFile::exists(LockFile()));
    EXPECT_TRUE(ComPortFree(1));

    // An open that fails after the lock was taken removes it too.
    sys->SetTermiosErrno = EINVAL;
    EXPECT_THROW(port->Open(), EInOutError);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(QFile::exists(LockFile()));
}

TEST_F(PortTest, ALockStillBeingWrittenIsHeldAndOursIsNeverSeenWithoutItsPid)
{
    auto port = MakePort();
    // Another program has just created its lock and not yet written its pid into it.
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString message = OpenFails<EAlreadyOpen>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("занято другой программой"))) << message.toStdString();
    EXPECT_TRUE(QFile::exists(LockFile())) << "a lock in the making is not stale";
    EXPECT_FALSE(ComPortFree(1));
    EXPECT_TRUE(QFile::exists(LockFile()));

    // One that stayed without a pid was left behind by a program that died writing it.
    {
        QFile f(LockFile());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }
    port->Open();
    ASSERT_TRUE(port->IsOpen());
    port->Close();

    // Ours: whoever looks at the lock while it comes and goes finds our pid in it.
    const QByteArray path = QFile::encodeName(LockFile());
    std::atomic<bool> done{false};
    std::atomic<int> unwritten{0};
    std::thread reader([&] {
        while (!done) {
            const int fd = open(path.constData(), O_RDONLY);
            if (fd < 0)
                continue;
            char text[32];
            if (read(fd, text, sizeof text) <= 0)
                ++unwritten;
            close(fd);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const QString lock = CreateComPortLock(pty.SlavePath());
        ASSERT_EQ(lock, LockFile());
        RemoveComPortLock(lock);
    }
    done = true;
    reader.join();
    EXPECT_EQ(unwritten.load(), 0);
    EXPECT_EQ(QDir(qEnvironmentVariable("COMPORT_LOCKDIR")).entryList(QDir::Files), QStringList{})
        << "nothing of ours is left in the lock folder";
}

TEST_F(PortTest, TheSystemConsoleIsNeverOpened)
{
    for (const char* console : {"/dev/console", "/dev/tty0", "/dev/tty"}) {
        SCOPED_TRACE(console);
        setenv("COMPORT_MAP", (QByteArray("1=") + console).constData(), 1);
        sys->Clear();
        auto port = MakePort();
        const QString message = OpenFails<ESystemConsole>(*port);
        EXPECT_TRUE(message.contains(QStringLiteral("системная консоль"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromLatin1(console))) << message.toStdString();
        EXPECT_FALSE(sys->Calls().contains("open"));
        EXPECT_FALSE(ComPortFree(1));
    }
    QTemporaryDir sysfs;
    QDir(sysfs.path()).mkpath(QStringLiteral("console"));
    QFile active(QDir(sysfs.path()).filePath(QStringLiteral("console/active")));
    ASSERT_TRUE(active.open(QIODevice::WriteOnly));
    active.write("tty0 ttyS1\n");
    active.close();
    EXPECT_TRUE(IsSystemConsole(QStringLiteral("/dev/ttyS1"), sysfs.path())) << "the active console";
    EXPECT_FALSE(IsSystemConsole(QStringLiteral("/dev/ttyS0"), sysfs.path()));
    EXPECT_FALSE(IsSystemConsole(pty.SlavePath(), sysfs.path()));
}

TEST_F(PortTest, ErrorsNameTheDeviceAndTheReason)
{
    QTemporaryDir dir;
    auto port = MakePort();

    sys->OpenErrno = EACCES;
    const QByteArray device = QFile::encodeName(pty.SlavePath());
    ASSERT_EQ(::chmod(device.constData(), 0660), 0);
    QString message = OpenFails<EPortAccessDenied>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("Нет доступа"))) << message.toStdString();
    EXPECT_TRUE(message.contains(pty.SlavePath())) << message.toStdString();
    const QString group = DeviceOwnership(pty.SlavePath()).group;
    ASSERT_FALSE(group.isEmpty());
    EXPECT_TRUE(message.contains(QStringLiteral("в группу «%1»").arg(group))) << message.toStdString();
    // A group without read and write on the device is no help: only its owner may open it.
    ASSERT_EQ(::chmod(device.constData(), 0600), 0);
    message = OpenFails<EPortAccessDenied>(*port);
    const QString owner = QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);  // who made the pty
    EXPECT_TRUE(message.contains(QStringLiteral("только владелец устройства, пользователь «%1»").arg(owner)))
        << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("в группу"))) << message.toStdString();
    sys->OpenErrno = 0;

    const QString missing = QDir(dir.path()).filePath(QStringLiteral("ttyUSB0"));
    setenv("COMPORT_MAP", ("1=" + missing).toLocal8Bit().constData(), 1);
    message = OpenFails<EBadId>(*port);
    EXPECT_TRUE(message.contains(missing)) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("нет такого устройства"))) << message.toStdString();

    const QString plain = QDir(dir.path()).filePath(QStringLiteral("plain"));
    QFile(plain).open(QIODevice::WriteOnly);
    setenv("COMPORT_MAP", ("1=" + plain).toLocal8Bit().constData(), 1);
    message = OpenFails<EBadId>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("не является последовательным портом"))) << message.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(qEnvironmentVariable("COMPORT_LOCKDIR")).filePath(ComPortLockName(plain))));

    port->SetComNumber(9);
    message = OpenFails<EBadId>(*port);
    EXPECT_TRUE(message.contains(QStringLiteral("COM9"))) << message.toStdString();
}

namespace {

// Nice values of this process's threads.
std::vector<int> ThreadNiceValues()
{
    std::vector<int> values;
    for (const QString& tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // After the name in brackets: state is field 3, nice is field 19.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 16)
            values.push_back(fields[16].toInt());
    }
    return values;
}

int CountOf(const std::vector<int>& values, int v) { return static_cast<int>(std::count(values.begin(), values.end(), v)); }

}  // namespace

TEST_F(PortTest, TheOutputThreadRunsOneStepHigherInRS485Mode)
{
    // Raising a thread's priority needs the privilege to do so.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1) != 0)
        GTEST_SKIP() << "no privilege to raise thread priorities here";
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 0);
    auto port = MakePort();
    port->Open();
    EXPECT_EQ(CountOf(ThreadNiceValues(), -1), 1) << "the output thread";
    port->SetThreadBoost(2);
    std::vector<int> nice = ThreadNiceValues();
    EXPECT_EQ(CountOf(nice, -2), 2) << "event and dispatch threads";
    EXPECT_EQ(CountOf(nice, -3), 1) << "the output thread";
    port->SetRS485Mode(false);
    EXPECT_EQ(CountOf(ThreadNiceValues(), -2), 3);
    port->Close();
    // A joined thread can still be listed for a moment while the kernel reaps it.
    EXPECT_TRUE(WaitFor([] { return CountOf(ThreadNiceValues(), -2) == 0; }));
}

TEST_F(PortTest, AWriteThatFindsTheDeviceGoneReportsTheLoss)
{
    sys->ModemLines = false;
    auto port = MakePort();
    int lost = 0;
    port->OnPortLost = [&](TCustomComPort*) { ++lost; };
    port->Open();
    sys->WriteErrno = ENODEV;
    port->PutString("frame");
    ASSERT_TRUE(WaitFor([&] { return lost == 1; }));
    EXPECT_THROW(port->PutString("next"), EPortLost);
    EXPECT_EQ(port->OutBuffUsed(), 0u) << "what nobody will take is dropped";
    port->Close();
}

TEST_F(PortTest, AWriteThatFindsTheDeviceHungUpRaisesAtOnce)
{
    sys->ModemLines = false;
    auto port = MakePort();
    port->Open();
    sys->Clear();
    // Unplugged: the driver answers every request with EIO from now on.
    sys->QueueErrno = EIO;
    sys->WriteErrno = EIO;
    EXPECT_THROW(port->PutString("frame"), EPortLost);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    port->Close();
}

TEST_F(PortTest, ASpeedChangeThatFindsTheDeviceHungUpReportsTheLoss)
{
    sys->ModemLines = false;
    auto port = MakePort();
    int lost = 0;
    port->OnPortLost = [&](TCustomComPort*) { ++lost; };
    port->Open();
    // Unplugged: the driver answers every request with EIO from now on.
    sys->SetTermiosErrno = EIO;
    sys->QueueErrno = EIO;
    try {
        port->SetBaud(19200);
        ADD_FAILURE() << "the speed change went through";
    } catch (const EPortLost& e) {
        EXPECT_TRUE(e.Message().contains(pty.SlavePath())) << e.Message().toStdString();
    }
    ASSERT_TRUE(WaitFor([&] { return lost == 1; }));
    port->Close();
}
