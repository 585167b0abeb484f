// The port component over pseudo-terminals: transfer, announcements, closing, errors, settings.
#include "platform/application.h"
#include "platform/comports.h"
#include "pty.h"
#include "serial/comport.h"
#include "serial/portselect.h"
#include "serial/serialexcept.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <fcntl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kAwkward = QByteArray::fromHex("000a0d1113ff410d0a00");

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty.MapAs(1);
        previousHandler = SetExceptionHandler([this](std::exception_ptr e) { handled.push_back(e); });
    }
    void TearDown() override { SetExceptionHandler(previousHandler); }

    std::unique_ptr<TComPort> MakePort(int32_t baud = 9600)
    {
        auto port = std::make_unique<TComPort>();
        port->SetComNumber(1);
        port->SetBaud(baud);
        port->SetPromptForPort(false);
        port->SetAutoOpen(false);
        port->SetRTS(false);
        port->SetRS485Mode(true);
        return port;
    }
    // A handler that takes every announced byte.
    void Collect(TComPort& port)
    {
        port.SetOnTriggerAvail([this](TCustomComPort* cp, uint16_t count) {
            counts.push_back(count);
            for (uint16_t i = 0; i < count; ++i)
                received.append(cp->GetChar());
        });
    }

    PtyPair pty;
    ExceptionHandler previousHandler;
    std::vector<std::exception_ptr> handled;
    std::vector<uint16_t> counts;
    QByteArray received;
};

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Runs the event loop for a while (the test is measuring what happens meanwhile).
void RunLoopFor(std::chrono::milliseconds ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

TEST_F(ComPortTest, BytesPassUnchangedBothWaysAtBothSpeeds)
{
    for (int32_t baud : {9600, 115200}) {
        SCOPED_TRACE(baud);
        received.clear();
        auto port = MakePort(baud);
        Collect(*port);
        port->Open();
        ASSERT_TRUE(port->IsOpen());
        port->PutString(kAwkward);
        EXPECT_EQ(pty.Read(kAwkward.size()), kAwkward);
        pty.Write(kAwkward);
        EXPECT_TRUE(WaitFor([&] { return received.size() >= kAwkward.size(); }));
        EXPECT_EQ(received, kAwkward);
        port->Close();
        EXPECT_FALSE(port->IsOpen());
    }
}

TEST_F(ComPortTest, LineSettingsReachTheDevice)
{
    auto port = MakePort(115200);
    port->SetParity(pEven);
    port->SetStopBits(2);
    port->SetDataBits(7);
    port->Open();
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    // Pseudo-terminals force eight bits without parity; the port's own record keeps them.
    int32_t baud;
    uint8_t parity;
    uint16_t dataBits, stopBits;
    port->ValidDispatcher()->GetLineParameters(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, pEven);
    EXPECT_EQ(dataBits, 7);
    EXPECT_EQ(stopBits, 2);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | IXOFF));
    EXPECT_FALSE(t.c_oflag & OPOST);

    port->SetBaud(2400);
    port->SetParity(pNone);
    port->SetStopBits(1);
    port->SetDataBits(8);
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    port->SetBaud(250000);  // no B-constant for this rate
    port->ValidDispatcher()->GetLineParameters(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, 250000);
    EXPECT_EQ(parity, pNone);
    port->SetBaud(0xFF16);  // a legacy speed code: the line runs, and reads back, at 9600
    t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    port->ValidDispatcher()->GetLineParameters(baud, parity, dataBits, stopBits);
    EXPECT_EQ(baud, 9600);
}

TEST_F(ComPortTest, OneAnnouncementPerArrivalAndUnreadBytesComeBackWithTheNext)
{
    auto port = MakePort();
    int reads = 4;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t count) {
        counts.push_back(count);
        for (int i = 0; i < std::min<int>(reads, count); ++i)
            received.append(cp->GetChar());
    });
    port->Open();
    pty.Write("0123456789");
    ASSERT_TRUE(WaitFor([&] { return counts.size() == 1; }));
    EXPECT_EQ(counts[0], 10);
    EXPECT_EQ(received, "0123");
    RunLoopFor(150ms);
    EXPECT_EQ(counts.size(), 1u) << "no new bytes, no new announcement";

    reads = 100;
    pty.Write("AB");
    ASSERT_TRUE(WaitFor([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts[1], 8) << "six old bytes and two new ones";
    EXPECT_EQ(received, "0123456789AB");
    EXPECT_EQ(port->InBuffUsed(), 0u);
}

TEST_F(ComPortTest, ReadingPastTheEndGoesToTheApplicationHandlerAfterTheDelivery)
{
    auto port = MakePort();
    bool deliveryDoneWhenReported = false;
    SetExceptionHandler([&](std::exception_ptr e) {
        handled.push_back(e);
        deliveryDoneWhenReported = !port->ValidDispatcher()->DeliveryRunning();
    });
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t count) {
        for (int i = 0; i <= count; ++i)
            received.append(cp->GetChar());
    });
    port->Open();
    pty.Write("xyz");
    ASSERT_TRUE(WaitFor([&] { return !handled.empty(); }));
    EXPECT_EQ(received, "xyz");
    try {
        std::rethrow_exception(handled[0]);
    } catch (const EBufferIsEmpty& e) {
        EXPECT_EQ(e.ErrorCode, -3007);
        EXPECT_EQ(e.Message(), "Buffer is empty");
    } catch (...) {
        ADD_FAILURE() << "another exception";
    }
    EXPECT_TRUE(deliveryDoneWhenReported);
    EXPECT_TRUE(WaitFor([&] { return port->InBuffUsed() == 0; })) << "the bytes read before the error count as read";
}

TEST_F(ComPortTest, CloseInsideTheHandlerFinishesAfterItAndTheComponentReopens)
{
    auto port = MakePort();
    int events = 0;
    bool openAfterClose = true;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t) {
        ++events;
        cp->Close();
        openAfterClose = cp->IsOpen();
        EXPECT_EQ(cp->GetChar(), 0) << "closing: GetChar gives 0 and raises nothing";
        cp->PutString("ignored");
    });
    port->Open();
    pty.Write("1");
    ASSERT_TRUE(WaitFor([&] { return events == 1 && !port->IsClosing() && !port->IsOpen(); }));
    EXPECT_FALSE(openAfterClose);
    pty.Write("2");
    RunLoopFor(150ms);
    EXPECT_EQ(events, 1) << "no events after the close";

    Collect(*port);
    port->Open();
    pty.Write("3");
    EXPECT_TRUE(WaitFor([&] { return received.contains('3'); }));
}

TEST_F(ComPortTest, OpenWhileClosingReopensOnceTheCloseCompletes)
{
    auto port = MakePort();
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t) {
        cp->Close();
        cp->Open();
        EXPECT_TRUE(cp->IsClosing());
    });
    port->Open();
    pty.Write("1");
    EXPECT_TRUE(WaitFor([&] { return port->IsOpen(); }));
    EXPECT_TRUE(port->Active());
}

TEST_F(ComPortTest, DuringADeferredCloseTheLastOpenOrCloseRequestWins)
{
    auto port = MakePort();
    int events = 0;
    std::vector<bool> requests;  // Open values the handler sets after its first Close
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t) {
        ++events;
        cp->Close();
        for (const bool open : requests)
            cp->SetOpen(open);
        EXPECT_TRUE(cp->IsClosing());
    });
    for (const auto& sequence : {std::vector<bool>{true, false}, std::vector<bool>{true, false, true},
                                 std::vector<bool>{true, true, false}}) {
        requests = sequence;
        const bool last = sequence.back();
        SCOPED_TRACE(last ? "ends with Open" : "ends with Close");
        if (!port->IsOpen())
            port->Open();
        const int before = events;
        pty.Write("1");
        ASSERT_TRUE(WaitFor([&] { return events == before + 1 && !port->IsClosing(); }));
        EXPECT_EQ(port->IsOpen(), last);
        EXPECT_EQ(port->Active(), last);
    }
    // The port that stayed closed let go of the device.
    auto other = MakePort();
    EXPECT_NO_THROW(other->Open());
}

TEST_F(ComPortTest, DestroyingAnOpenComponentClosesItsPort)
{
    {
        auto port = MakePort();
        Collect(*port);
        port->Open();
        pty.Write("abc");
        WaitFor([&] { return received.size() == 3; });
    }
    // The lock went with the port: the device opens again.
    auto again = MakePort();
    EXPECT_NO_THROW(again->Open());
}

TEST_F(ComPortTest, BusyUserInterfaceGetsEveryByteOnceAndInOrder)
{
    auto port = MakePort();
    Collect(*port);
    port->Open();
    QByteArray sent;
    QElapsedTimer busy;
    busy.start();
    // The UI thread does not return to its loop for 3.5 s while bytes arrive.
    for (int i = 0; busy.elapsed() < 3500; ++i) {
        if (i % 50000 == 0 && sent.size() < 60) {
            const QByteArray chunk = QByteArray::number(sent.size() % 10);
            pty.Write(chunk);
            sent += chunk;
        }
    }
    pty.Write("END");
    sent += "END";
    ASSERT_TRUE(WaitFor([&] { return received.size() >= sent.size(); }, 10s));
    RunLoopFor(100ms);
    EXPECT_EQ(received, sent);
}

TEST_F(ComPortTest, HungUpDeviceDoesNotSpinAndStillCloses)
{
    auto port = MakePort();
    Collect(*port);
    port->Open();
    pty.CloseMaster();
    const double before = ProcessCpuSeconds();
    RunLoopFor(1000ms);
    const double used = ProcessCpuSeconds() - before;
    EXPECT_LT(used, 0.3) << "CPU seconds in one second with the device gone";
    EXPECT_THROW(port->PutString("after hang-up"), EPortLost);
    port->Close();
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(ComPortTest, LostDeviceIsReportedOnceOnTheUIThreadAfterItsLastBytes)
{
    auto port = MakePort();
    Collect(*port);
    int lost = 0;
    QByteArray receivedBeforeLoss;
    std::thread::id lostOn;
    port->OnPortLost = [&](TCustomComPort* cp) {
        ++lost;
        lostOn = std::this_thread::get_id();
        receivedBeforeLoss = received;
        EXPECT_EQ(cp, port.get());
    };
    port->Open();
    pty.Write("last");
    // The bytes are in the port's buffer and announced (the announcement waits for this
    // thread) before the device goes.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (port->InBuffUsed() < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(port->InBuffUsed(), 4u);
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return lost == 1; }));
    EXPECT_EQ(lostOn, std::this_thread::get_id());
    EXPECT_EQ(receivedBeforeLoss, "last") << "bytes that came before the loss are announced first";
    EXPECT_TRUE(port->PortLost());
    EXPECT_TRUE(port->IsOpen()) << "the program decides when to close";
    // The descriptor is let go, so that a re-plugged adapter gets its name back.
    EXPECT_TRUE(WaitFor([&] { return !port->ValidDispatcher()->PortIsOpen(); }));
    RunLoopFor(200ms);
    EXPECT_EQ(lost, 1);
    try {
        port->PutString("x");
        ADD_FAILURE() << "a write to a lost port went nowhere";
    } catch (const EPortLost& e) {
        EXPECT_EQ(e.ErrorCode, ecode::PortLost);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("COM1"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(pty.SlavePath())) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("потерян"))) << e.Message().toStdString();
    }
    EXPECT_THROW(port->SetBaud(19200), EPortLost);
    port->Close();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->PortLost());
    EXPECT_TRUE(handled.empty());
}

TEST_F(ComPortTest, LossHandlerMayCloseThePortAndACloseBeforeDeliveryCancelsIt)
{
    {
        auto port = MakePort();
        int lost = 0;
        port->OnPortLost = [&](TCustomComPort* cp) {
            ++lost;
            cp->Close();
        };
        port->Open();
        pty.CloseMaster();
        ASSERT_TRUE(WaitFor([&] { return lost == 1 && !port->IsOpen() && !port->IsClosing(); }));
        RunLoopFor(100ms);
        EXPECT_EQ(lost, 1);
    }
    PtyPair other;
    other.MapAs(1);
    auto port = MakePort();
    int lost = 0;
    port->OnPortLost = [&](TCustomComPort*) { ++lost; };
    port->Open();
    other.CloseMaster();
    // Wait until the loss is known, without running the event loop, then close first.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!port->PortLost() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(port->PortLost());
    port->Close();
    RunLoopFor(100ms);
    EXPECT_EQ(lost, 0) << "a closed port reports nothing more";
}

TEST_F(ComPortTest, PortHeldElsewhereIsAlreadyOpen)
{
    const int holder = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    auto port = MakePort();
    try {
        port->Open();
        ADD_FAILURE() << "opened a held port";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ErrorCode, -2008);
        // The holder is this very test program, found by its flock.
        EXPECT_EQ(e.Message(), QStringLiteral("Устройство COM1 (%1) занято другой программой (процесс %2, %3).")
                                   .arg(pty.SlavePath())
                                   .arg(getpid())
                                   .arg(ProcessName(getpid())));
    }
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->Active());
    EXPECT_THROW(port->PutString("x"), ECommNotOpen);
    close(holder);
}

TEST_F(ComPortTest, UnmappedNumberAndMissingNumberRaise)
{
    auto port = MakePort();
    port->SetComNumber(7);
    EXPECT_THROW(port->Open(), EBadId);
    port->SetComNumber(0);
    try {
        port->Open();
        ADD_FAILURE();
    } catch (const ENoPortSelected& e) {
        EXPECT_EQ(e.ErrorCode, -2011);
    }
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(ComPortTest, AutoOpenOpensOnFirstUse)
{
    auto port = MakePort();
    port->SetAutoOpen(true);
    port->PutString("hi");
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(pty.Read(2), "hi");
}

TEST_F(ComPortTest, FrameLargerThanTheRingRaisesAndQueuesNothing)
{
    auto port = MakePort();
    port->SetOutSize(16);
    port->Open();
    EXPECT_THROW(port->PutString(QByteArray(17, 'x')), EOutputBufferTooSmall);
    port->PutString("");
    port->PutString("ok");
    EXPECT_EQ(pty.Read(2), "ok");
    EXPECT_EQ(pty.Read(1, 100ms), "") << "no byte of the refused frame went out";
}

TEST_F(ComPortTest, SettingsAndTheirLimits)
{
    TComPort port;
    EXPECT_EQ(port.Version(), "v3.02");
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.TraceName(), "SERIAL.TRC");
    port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);
    port.SetUseMSRShadow(false);
    EXPECT_TRUE(port.UseMSRShadow());
    port.SetTraceSize(5000000);
    EXPECT_EQ(port.TraceSize(), 4000000u);
    port.SetLogSize(20000000);
    EXPECT_EQ(port.LogSize(), 16000000u);
    port.SetBufferFull(9000);
    EXPECT_EQ(port.BufferFull(), 3686);
    port.SetHWFlowOptions(hwfUseRTS | hwfUseDTR);
    port.SetRS485Mode(true);
    EXPECT_EQ(port.HWFlowOptions(), hwfUseDTR);
    EXPECT_FALSE(port.RTS());
    port.SetHWFlowOptions(hwfRequireCTS);
    EXPECT_FALSE(port.RS485Mode());
    port.SetTracing(tlDump);
    EXPECT_EQ(port.Tracing(), tlOff) << "a closed component keeps only on and off";
}

TEST_F(ComPortTest, RS485ModeCanBeSwitchedOnAnOpenPort)
{
    auto port = MakePort();
    port->Open();
    port->SetRS485Mode(false);
    EXPECT_FALSE(port->ValidDispatcher()->RS485Mode());
    port->SetRS485Mode(true);
    EXPECT_TRUE(port->ValidDispatcher()->RS485Mode());
    // Pseudo-terminals have no direction control: nothing is done and nothing fails.
    EXPECT_EQ(port->ValidDispatcher()->RS485Method(), TRS485Method::None);
    port->PutString(kAwkward);
    EXPECT_EQ(pty.Read(kAwkward.size()), kAwkward);
}

TEST_F(ComPortTest, ComNumberChangeWhileOpenMovesThePort)
{
    PtyPair second;
    setenv("COMPORT_MAP", QStringLiteral("1=%1;2=%2").arg(pty.SlavePath(), second.SlavePath()).toLocal8Bit().constData(), 1);
    auto port = MakePort();
    Collect(*port);
    port->Open();
    port->SetComNumber(2);
    EXPECT_TRUE(port->IsOpen());
    second.Write("B");
    EXPECT_TRUE(WaitFor([&] { return received == "B"; }));
}

TEST_F(ComPortTest, TraceDumpIsWrittenAtClose)
{
    const QString file = QDir::temp().filePath(QStringLiteral("serial_trace_%1.trc").arg(getpid()));
    QFile::remove(file);
    auto port = MakePort();
    port->SetTraceName(file);
    port->SetTracing(tlOn);
    Collect(*port);
    port->Open();
    port->PutString("AB");
    pty.Write("C");
    ASSERT_TRUE(WaitFor([&] { return received == "C"; }));
    port->Close();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "Transmit: \nAB\n\nReceive: \nC\n");
    QFile::remove(file);
}

TEST_F(ComPortTest, ANewTraceOrLogSizeStartsAnEmptyBufferAndKeepsItPaused)
{
    QTemporaryDir dir;
    const QString traceFile = dir.filePath(QStringLiteral("serial.trc"));
    const QString logFile = dir.filePath(QStringLiteral("serial.log"));
    auto port = MakePort();
    port->SetTraceName(traceFile);
    port->SetLogName(logFile);
    port->Open();
    port->SetTracing(tlOn);
    port->SetLogging(tlOn);
    port->PutString("AB");
    port->SetTracing(tlPause);
    port->SetLogging(tlPause);
    port->SetTraceSize(100);
    port->SetLogSize(5000);
    EXPECT_EQ(port->Tracing(), tlPause);
    EXPECT_EQ(port->Logging(), tlPause);
    port->PutString("paused");
    port->SetTracing(tlOn);
    port->SetLogging(tlOn);
    port->PutString("EF");
    // On stays on through a new size.
    port->SetTraceSize(200);
    EXPECT_EQ(port->Tracing(), tlOn);
    port->PutString("GH");
    port->SetTracing(tlDump);
    port->SetLogging(tlDump);
    QFile trace(traceFile);
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    EXPECT_EQ(trace.readAll(), "Transmit: \nGH\n");
    QFile log(logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    EXPECT_EQ(logged.count("WriteCom"), 2) << logged.toStdString();
    EXPECT_TRUE(logged.contains("  EF\n")) << logged.toStdString();
    EXPECT_TRUE(logged.contains("  GH\n")) << logged.toStdString();
}

TEST_F(ComPortTest, SelectionDialogListsPresentPortsUpToFifty)
{
    PtyPair second;
    const int holder = open(second.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    setenv("COMPORT_MAP",
           QStringLiteral("3=%1;12=%2;20=/nonexistent/tty;60=%1").arg(pty.SlavePath(), second.SlavePath()).toLocal8Bit().constData(),
           1);
    TComSelectForm form;
    QStringList items;
    for (int i = 0; i < form.PortsComboBox->count(); ++i)
        items << form.PortsComboBox->itemText(i);
    EXPECT_EQ(items, (QStringList{"COM3", "COM12"})) << "a held port is listed, a missing one and 60 are not";
    form.PortsComboBox->setCurrentIndex(1);
    EXPECT_EQ(form.SelectedComNumber(), 12);
    EXPECT_EQ(form.windowTitle(), "Select Port");
    close(holder);

    setenv("COMPORT_MAP", "", 1);
    TComSelectForm empty;
    EXPECT_EQ(empty.PortsComboBox->count(), 0);
    EXPECT_FALSE(empty.OkBtn->isEnabled());
}

TEST_F(ComPortTest, TracingOnAgainKeepsTheTraceAndAPortChangeKeepsOnlyOnAndOff)
{
    const QString file = QDir::temp().filePath(QStringLiteral("serial_trace_again_%1.trc").arg(getpid()));
    QFile::remove(file);
    PtyPair second;
    setenv("COMPORT_MAP", QStringLiteral("1=%1;2=%2").arg(pty.SlavePath(), second.SlavePath()).toLocal8Bit().constData(), 1);
    auto port = MakePort();
    port->SetTraceName(file);
    port->Open();
    port->SetTracing(tlOn);
    port->PutString("AB");
    port->SetTracing(tlOn);
    port->SetTracing(tlDump);
    EXPECT_EQ(port->Tracing(), tlOff);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "Transmit: \nAB\n") << "setting on while on must not empty the trace";
    }
    port->SetTracing(tlOn);
    port->SetTracing(tlPause);
    port->SetComNumber(2);
    EXPECT_EQ(port->Tracing(), tlOff) << "a paused trace does not survive the reopen as paused";
    port->SetTracing(tlOn);
    port->SetComNumber(1);
    EXPECT_EQ(port->Tracing(), tlOn);
    port.reset();
    QFile::remove(file);
}

TEST_F(ComPortTest, SoftwareFlowControlReachesTheLineInEveryTransition)
{
    auto port = MakePort();
    port->SetXOnChar(0x05);
    port->SetXOffChar(0x06);
    port->Open();
    const TSWFlowOptions all[] = {swfNone, swfTransmit, swfReceive, swfBoth};
    for (const TSWFlowOptions from : all) {
        for (const TSWFlowOptions to : all) {
            SCOPED_TRACE(testing::Message() << "from " << int(from) << " to " << int(to));
            port->SetSWFlowOptions(from);
            port->SetSWFlowOptions(to);
            const termios t = pty.SlaveSettings();
            EXPECT_EQ(bool(t.c_iflag & IXON), bool(to & swfTransmit)) << "transmit side";
            EXPECT_EQ(bool(t.c_iflag & IXOFF), bool(to & swfReceive)) << "receive side";
            EXPECT_EQ(t.c_cc[VSTART], 0x05);
            EXPECT_EQ(t.c_cc[VSTOP], 0x06);
            uint32_t hw, sw;
            uint8_t xon, xoff;
            port->ValidDispatcher()->GetFlowOptions(hw, sw, xon, xoff);
            EXPECT_EQ(sw, static_cast<uint32_t>(to));
            EXPECT_EQ(xon, 0x05);
            EXPECT_EQ(xoff, 0x06);
        }
    }
}

TEST_F(ComPortTest, AnRTSHandshakeWithoutCTSIsRefusedAndTheLineKeepsSending)
{
    auto port = MakePort();
    port->SetRS485Mode(false);
    port->Open();
    // On Linux it would make the sender wait for CTS: on a cable without CTS nothing would go out.
    try {
        port->SetHWFlowOptions(hwfUseRTS);
        ADD_FAILURE() << "an RTS handshake without CTS was taken";
    } catch (const ERtsHandshakeWithoutCts& e) {
        EXPECT_EQ(e.ErrorCode, ecode::RtsHandshakeWithoutCts);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("hwfRequireCTS"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("не поддерживается"))) << e.Message().toStdString();
    }
    EXPECT_EQ(port->HWFlowOptions(), 0) << "the port keeps the handshake it had";
    EXPECT_FALSE(pty.SlaveSettings().c_cflag & CRTSCTS);
    EXPECT_THROW(port->SetHWFlowOptions(hwfUseRTS | hwfUseDTR), ERtsHandshakeWithoutCts);
    port->PutString("ok");
    EXPECT_EQ(pty.Read(2), "ok");
    // Both directions together are what the line can do.
    port->SetHWFlowOptions(hwfUseRTS | hwfRequireCTS);
    EXPECT_TRUE(pty.SlaveSettings().c_cflag & CRTSCTS);
    port->SetHWFlowOptions(0);
    EXPECT_FALSE(pty.SlaveSettings().c_cflag & CRTSCTS);
    port->Close();

    // Stored while closed (a layout may hold it), refused when the port opens.
    port->SetHWFlowOptions(hwfUseRTS);
    EXPECT_THROW(port->Open(), ERtsHandshakeWithoutCts);
    EXPECT_FALSE(port->IsOpen());
    port->SetHWFlowOptions(0);
    EXPECT_NO_THROW(port->Open()) << "the failed open let go of the device";
}

TEST_F(ComPortTest, HardwareHandshakeOnAnOpenPortEndsDirectionControl)
{
    auto port = MakePort();
    port->Open();
    ASSERT_TRUE(port->ValidDispatcher()->RS485Mode());
    port->SetHWFlowOptions(hwfRequireCTS);
    EXPECT_FALSE(port->RS485Mode());
    EXPECT_FALSE(port->ValidDispatcher()->RS485Mode()) << "the dispatcher must drop direction control too";
    EXPECT_EQ(port->HWFlowOptions(), hwfRequireCTS);
}

TEST_F(ComPortTest, ADumpThatCannotBeWrittenStillClosesThePort)
{
    auto port = MakePort();
    port->SetTraceName(QStringLiteral("/nonexistent-serial-dir/serial.trc"));
    port->SetTracing(tlOn);
    port->Open();
    EXPECT_THROW(port->Close(), EInOutError);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->Active());
    port->Open();
    EXPECT_TRUE(port->IsOpen()) << "the device was released by the failed close";
    // Destroying it with the same failure reports the failure instead of throwing.
    port->SetTracing(tlOn);
    port.reset();
    EXPECT_EQ(handled.size(), 1u);
}

TEST_F(ComPortTest, FreeingTheComponentInsideItsOwnHandlerDoesNotHang)
{
    auto port = MakePort();
    int events = 0;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t) {
        ++events;
        cp->GetChar();
        port.reset();
    });
    port->Open();
    pty.Write("x");
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    RunLoopFor(50ms);
    EXPECT_EQ(events, 1);
    EXPECT_TRUE(handled.empty());
    // The device was let go.
    auto again = MakePort();
    EXPECT_NO_THROW(again->Open());
}

TEST_F(ComPortTest, AHandlersExceptionBoxMayTakeTheNextDeliveryAndCloseThePort)
{
    auto port = MakePort();
    int events = 0;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t count) {
        ++events;
        for (uint16_t i = 0; i < count; ++i)
            received.append(cp->GetChar());
        if (events == 1)
            throw Exception(QStringLiteral("first"));
    });
    // The box of the first exception runs its own loop, in which the next bytes are announced
    // and the port is closed.
    SetExceptionHandler([&](std::exception_ptr e) {
        handled.push_back(e);
        pty.Write("2");
        EXPECT_TRUE(WaitFor([&] { return events == 2; }));
        port->Close();
        RunLoopFor(20ms);
    });
    port->Open();
    pty.Write("1");
    ASSERT_TRUE(WaitFor([&] { return handled.size() == 1 && !port->IsOpen(); }));
    RunLoopFor(50ms);
    EXPECT_EQ(received, "12");
    EXPECT_EQ(events, 2);
    port->Open();
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(ComPortTest, CloseInsideTheHandlerThenANestedLoopDoesNotSpin)
{
    auto port = MakePort();
    double used = -1;
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t) {
        cp->Close();
        const double before = ProcessCpuSeconds();
        RunLoopFor(300ms);  // a modal box, say
        used = ProcessCpuSeconds() - before;
    });
    port->Open();
    pty.Write("1");
    ASSERT_TRUE(WaitFor([&] { return used >= 0 && !port->IsClosing(); }));
    EXPECT_LT(used, 0.1) << "CPU seconds in the 0.3 s that the close waited";
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(ComPortTest, GetCharWhileADeliveryIsQueuedDoesNotShortenThatDeliverysHandler)
{
    auto port = MakePort();
    Collect(*port);
    port->Open();
    pty.Write("abcd");
    // This thread stays out of its loop until the announcement waits for it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!port->ValidDispatcher()->DeliveryQueued() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(port->ValidDispatcher()->DeliveryQueued());
    EXPECT_EQ(port->GetChar(), 'a');
    ASSERT_TRUE(WaitFor([&] { return !counts.empty(); }));
    RunLoopFor(20ms);
    EXPECT_EQ(counts, std::vector<uint16_t>{3});
    EXPECT_EQ(received, "bcd");
    EXPECT_TRUE(handled.empty()) << "a false 'buffer is empty'";
    EXPECT_EQ(port->InBuffUsed(), 0u);
}

TEST_F(ComPortTest, AnAdoptedDescriptorKeepsTheLineSettingsItHad)
{
    const int fd = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    tcgetattr(fd, &t);
    cfsetspeed(&t, B2400);
    t.c_cflag |= CSTOPB;
    t.c_iflag |= IXON;  // a terminal's default
    tcsetattr(fd, TCSANOW, &t);
    auto port = MakePort(9600);
    port->SetTapiMode(TTapiMode::tmOn);
    port->SetTapiHandle(fd);
    port->Open();
    EXPECT_EQ(port->Baud(), 2400);
    EXPECT_EQ(port->StopBits(), 2);
    EXPECT_EQ(port->SWFlowOptions(), swfNone) << "the line is raw now: 0x11 and 0x13 are data";
    const termios now = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B2400)) << "nothing was applied before the read-back";
    port->PutString("ok");
    EXPECT_EQ(pty.Read(2), "ok");
    port->Close();
}

TEST_F(ComPortTest, BytesAHandlerReadAreNotHandedOutAgainByReadsAfterIt)
{
    // The application's exception handler runs after the delivery is done, before the
    // dispatch thread has moved on: what it reads must come after what the handler read.
    auto port = MakePort();
    QByteArray everything;  // every byte read, inside the handler or after it, in order
    std::vector<uint32_t> leftAfterHandler;
    SetExceptionHandler([&](std::exception_ptr e) {
        handled.push_back(e);
        leftAfterHandler.push_back(port->InBuffUsed());
        const int peeked = port->ValidDispatcher()->PeekChar(1);
        try {
            const char c = port->GetChar();
            EXPECT_EQ(static_cast<uint8_t>(c), peeked) << "a peek shows the byte a read takes";
            everything.append(c);
        } catch (const EBufferIsEmpty&) {
            EXPECT_EQ(peeked, ecode::BufferIsEmpty);
        }
    });
    port->SetOnTriggerAvail([&](TCustomComPort* cp, uint16_t count) {
        counts.push_back(count);
        for (uint16_t i = 0; i < count; ++i) {
            EXPECT_EQ(cp->InBuffUsed(), count - i);
            const int peeked = cp->ValidDispatcher()->PeekChar(1);
            everything.append(cp->GetChar());
            EXPECT_EQ(static_cast<uint8_t>(everything.back()), peeked) << "the handler peeks at its own next byte";
        }
        throw Exception(QStringLiteral("after reading"));
    });
    port->Open();
    QByteArray sent;
    for (size_t round = 1; round <= 20; ++round) {
        const QByteArray chunk = QByteArray::number(static_cast<qulonglong>(round)).rightJustified(4, '-');
        pty.Write(chunk);
        sent += chunk;
        ASSERT_TRUE(WaitFor([&] { return handled.size() == round; })) << "round " << round;
        ASSERT_EQ(everything, sent) << "round " << round << ": every byte once, in order";
    }
    for (const uint32_t left : leftAfterHandler)
        EXPECT_EQ(left, 0u);
    ASSERT_TRUE(WaitFor([&] { return !port->ValidDispatcher()->DeliveryRunning(); }));
    EXPECT_EQ(port->InBuffUsed(), 0u);
    EXPECT_EQ(port->ValidDispatcher()->PeekChar(1), ecode::BufferIsEmpty);
}
