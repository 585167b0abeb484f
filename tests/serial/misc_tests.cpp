// Clock and tick arithmetic, the port map, and the trace and log dump formats.
#include "platform/comports.h"
#include "serial/dispatcher.h"
#include "serial/serialmisc.h"
#include "serial/tracelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Timing, CountsPerMillisecondRoundToNearest)
{
    EXPECT_EQ(CountsPerMs(0), 0u);
    EXPECT_EQ(CountsPerMs(0x100000000ull), 0u);
    EXPECT_EQ(CountsPerMs(3579545), 3580u);  // remainder 545 > 500
    EXPECT_EQ(CountsPerMs(3579500), 3579u);  // remainder 500 stays
    EXPECT_EQ(CountsPerMs(1000), 1u);
}

TEST(Timing, TickTimersAreDueAfterExpiryAndAcrossTheWrap)
{
    const TTickTimer t{100, 120};
    EXPECT_FALSE(IsTickTimerDueAt(t, 110));
    EXPECT_FALSE(IsTickTimerDueAt(t, 120));
    EXPECT_TRUE(IsTickTimerDueAt(t, 121));
    // A tick count below the start has wrapped: due once it is within half the range of the expiry.
    EXPECT_TRUE(IsTickTimerDueAt(TTickTimer{100, 200}, 50));
    EXPECT_FALSE(IsTickTimerDueAt(TTickTimer{78090000, 78090100}, 10));
    EXPECT_FALSE(IsTickTimerDue(NewTickTimer(60000)));
}

TEST(Timing, DrainPauseIsEighteenCharacterTimes)
{
    EXPECT_EQ(DrainPauseMs(9600, 8, 0, OneStopBit), 19u);
    EXPECT_EQ(DrainPauseMs(115200, 8, 0, OneStopBit), 2u);
    // Short characters: 18 character times below a millisecond double to 36 (14040 x 100 ns).
    EXPECT_EQ(DrainPauseMs(256000, 8, 0, OneStopBit), 2u);
    EXPECT_EQ(DrainPauseMs(500000, 8, 0, OneStopBit), 1u);
    EXPECT_EQ(DrainPauseMs(0xFF16, 8, 0, OneStopBit), 19u);  // legacy code for 9600
    EXPECT_EQ(DrainPauseMs(0xFF27, 8, 0, OneStopBit), 2u);   // legacy code for 256000
    EXPECT_EQ(DrainPauseMs(9600, 8, 2, TwoStopBits), 23u);
}

TEST(ComPorts, MapTextGivesNumbersAndPaths)
{
    const auto map = ParseComPortMap(QStringLiteral("1=/dev/ttyUSB0;2=/tmp/vcom0; 12 = /dev/x ;bad;0=/dev/z;300=/dev/y;3="));
    ASSERT_EQ(map.size(), 3);
    EXPECT_EQ(map.value(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.value(2), "/tmp/vcom0");
    EXPECT_EQ(map.value(12), "/dev/x");
}

TEST(ComPorts, SysfsScanOrdersFamiliesAndSkipsConsoleAndEmptyUarts)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    auto make = [&](const QString& name, const QByteArray& type) {
        root.mkpath(name);
        if (!type.isNull()) {
            QFile f(root.filePath(name + "/type"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
    };
    make("ttyS0", "4\n");   // the console
    make("ttyS1", "0\n");   // no UART behind it
    make("ttyS10", "4\n");
    make("ttyS2", "4\n");
    make("ttyUSB0", QByteArray());
    make("ttyACM0", QByteArray());
    make("tty1", QByteArray());
    make("console", QByteArray());
    QFile active(root.filePath("console/active"));
    ASSERT_TRUE(active.open(QIODevice::WriteOnly));
    active.write("tty0 ttyS0\n");
    active.close();

    const auto map = ScanSerialDevices(dir.path(), "/dev");
    ASSERT_EQ(map.size(), 4);
    EXPECT_EQ(map.value(1), "/dev/ttyS2");
    EXPECT_EQ(map.value(2), "/dev/ttyS10");
    EXPECT_EQ(map.value(3), "/dev/ttyUSB0");
    EXPECT_EQ(map.value(4), "/dev/ttyACM0");
}

TEST(ComPorts, EnvironmentMapIsTheWholeMap)
{
    setenv("COMPORT_MAP", "3=/tmp/a;5=/tmp/b", 1);
    EXPECT_EQ(AvailableComPorts(), (QList<int>{3, 5}));
    EXPECT_EQ(ComPortPath(5), "/tmp/b");
    EXPECT_EQ(ComPortPath(1), "");
    unsetenv("COMPORT_MAP");
}

TEST(Dumps, BytesAreWrittenAsCharactersOrBracketedCodes)
{
    EXPECT_EQ(FormatDumpByte('A', true, false), "A");
    EXPECT_EQ(FormatDumpByte(' ', true, false), "[20]");
    EXPECT_EQ(FormatDumpByte(' ', false, false), " ");
    EXPECT_EQ(FormatDumpByte(0x0D, false, false), "[13]");
    EXPECT_EQ(FormatDumpByte(0xAB, true, false), "[AB]");
    EXPECT_EQ(FormatDumpByte('A', true, true), "[41]");
    EXPECT_EQ(FormatLogTime(1234), "0001.234");
    EXPECT_EQ(FormatLogTime(98765432), "98765.432");
}

TEST(Dumps, TraceStartsABlockAtEveryChangeOfDirectionAndWraps)
{
    TTraceRing trace(100);
    for (char c : QByteArray("AB"))
        trace.Add(TraceTransmit, static_cast<uint8_t>(c));
    trace.Add(TraceReceive, 0x0A);
    EXPECT_EQ(trace.Format(true, false), "Transmit: \nAB\n\nReceive: \n[0A]\n");

    TTraceRing small(3);
    for (char c : QByteArray("12345"))
        small.Add(TraceTransmit, static_cast<uint8_t>(c));
    EXPECT_EQ(small.Format(true, false), "Transmit: \n345\n") << "the oldest entries are overwritten";

    TTraceRing longLine(200);
    for (int i = 0; i < 30; ++i)
        longLine.Add(TraceTransmit, 0xFF);
    for (const QString& line : longLine.Format(true, false).split('\n'))
        EXPECT_LT(line.size(), 79);
}

TEST(Dumps, LogKeepsTheNewestEntriesThatFit)
{
    TDispatchLog log(3 * TDispatchLog::HeaderSize() + 4);
    log.Add(LogDispatch, LogReadCom, 1, 2, "ab", 2);
    log.Add(LogTrigger, LogAvail, 2, 5, nullptr, 0);
    log.Add(LogDispatch, LogWriteCom, 3, 3, "xyz", 3);  // the first entry makes room
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Kind, LogTrigger);
    EXPECT_EQ(entries[1].Data, "xyz");
    log.Add(LogDispatch, LogWriteCom, 4, 1, QByteArray(200, 'q').constData(), 200);  // larger than the ring
    EXPECT_EQ(log.Entries().size(), 2u);

    const QString text = log.Format(true, false);
    EXPECT_TRUE(text.startsWith("SERIAL v3.02\nCompiler : "));
    EXPECT_TRUE(text.contains("Operating System : "));
    EXPECT_TRUE(text.contains("0000.003  Dispatch  WriteCom      00000003  xyz\n")) << qPrintable(text);
}

namespace {

struct Receiver : QObject {
    int Got = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User + 1)
            ++Got;
        return QObject::event(e);
    }
};

// Takes the quit requests that reach the application, so that the test run goes on.
struct QuitCatcher : QObject {
    int Quits = 0;
    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (e->type() == QEvent::Quit && receiver == QCoreApplication::instance()) {
            ++Quits;
            return true;
        }
        return false;
    }
};

}  // namespace

TEST(PumpMessages, DeliversWhatIsPendingAndLeavesAQuitForTheProgramsLoop)
{
    for (int i = 0; i < 100 && PumpMessages() != 0; ++i) {
    }
    EXPECT_EQ(PumpMessages(), 0u) << "nothing pending";

    Receiver r;
    QCoreApplication::postEvent(&r, new QEvent(static_cast<QEvent::Type>(QEvent::User + 1)));
    const uint32_t result = PumpMessages();
    EXPECT_EQ(r.Got, 1);
    EXPECT_EQ(result & 0xFFFF, static_cast<uint32_t>(QEvent::User + 1));
    EXPECT_EQ(result >> 16, static_cast<uint32_t>(reinterpret_cast<quintptr>(&r) & 0xFFFF));

    QuitCatcher catcher;
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    EXPECT_EQ(PumpMessages() & 0xFFFF, static_cast<uint32_t>(QEvent::Quit));
    qApp->installEventFilter(&catcher);
    QCoreApplication::sendPostedEvents();
    qApp->removeEventFilter(&catcher);
    EXPECT_EQ(catcher.Quits, 1) << "the quit is in the queue again";
}
