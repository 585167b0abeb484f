// The simulated devices on the wire, seen from the slave side of the pty with plain termios.
#include "tests/support/sim/device_sim.h"
#include "tests/support/sim/line_speed.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using namespace std::chrono_literals;
using sim::FromHex;
using sim::Hex;

namespace {

// The program's side of the line.
class Line {
public:
    Line(const QString& path, int bitsPerSecond)
    {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(fd_, 0);
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
        SetSpeed(bitsPerSecond);
    }
    ~Line() { ::close(fd_); }

    void SetSpeed(int bitsPerSecond) { EXPECT_TRUE(sim::SetLineSpeed(fd_, bitsPerSecond)); }
    // The usual way, with a termios constant.
    void SetSpeedConstant(speed_t speed)
    {
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        EXPECT_EQ(::tcsetattr(fd_, TCSANOW, &t), 0);
    }

    void Write(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(fd_, bytes.constData(), size_t(bytes.size())), bytes.size());
    }

    // Exactly n bytes, or fewer when the deadline passes first.
    QByteArray Read(qsizetype n, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        QByteArray out;
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0)
                continue;
            char buf[512];
            const ssize_t got = ::read(fd_, buf, size_t(std::min<qsizetype>(n - out.size(), sizeof buf)));
            if (got > 0)
                out.append(buf, got);
        }
        return out;
    }

    // One frame: header, then as many bytes as its length byte says.
    QByteArray ReadFrame()
    {
        QByteArray head = Read(6);
        if (head.size() < 6)
            return head;
        return head + Read(uint8_t(head[5]) + 2);
    }

    // Sends a request and returns the frame that comes back.
    QByteArray Ask(const QByteArray& request)
    {
        Write(request);
        return ReadFrame();
    }

private:
    int fd_ = -1;
};

QByteArray Request(uint16_t number, uint8_t command, const QByteArray& data = {})
{
    return sim::MakeFrame(sim::kTypeVemor, number, command, data);
}

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return sim::Naive(y, mo, d, h, mi, s, ms);
}

class SimBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus.AddDevice(sim::DeviceState::Factory(300, 2));
        line = std::make_unique<Line>(bus.SlavePath(), 9600);
    }
    sim::Bus bus;
    std::unique_ptr<Line> line;
};

}  // namespace

TEST(SimFrames, RequestsMatchTheProtocolExamples)
{
    EXPECT_EQ(Hex(Request(300, sim::cmdIdentify)), "AA 01 01 2C 00 00 00 D8");
    EXPECT_EQ(Hex(Request(5, sim::cmdReadParams)), "AA 01 00 05 02 00 00 B2");
    EXPECT_EQ(Hex(Request(5, sim::cmdReadLog, FromHex("01"))), "AA 01 00 05 06 01 01 00 B8");
}

TEST(SimFrames, ParseRejectsBadSumAndWrongLength)
{
    EXPECT_TRUE(sim::ParseFrame(FromHex("AA 01 01 2C 00 00 00 D8")));
    EXPECT_FALSE(sim::ParseFrame(FromHex("AA 01 01 2C 00 00 00 D9")));
    EXPECT_FALSE(sim::ParseFrame(FromHex("AA 01 01 2C 00 01 00 D8")));
    EXPECT_FALSE(sim::ParseFrame(FromHex("AB 01 01 2C 00 00 00 D9")));
    // A 255-byte payload: the sum needs both of its bytes.
    const QByteArray big = sim::MakeFrame(1, 0xFFFF, 6, QByteArray(255, char(0x80)));
    ASSERT_EQ(big.size(), 263);
    EXPECT_EQ(Hex(big.right(2)), "83 2E");
    const auto f = sim::ParseFrame(big);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->number, 0xFFFF);
    EXPECT_EQ(f->data.size(), 255);
    // A sum above 65535 cannot be carried, so such a frame never parses.
    EXPECT_FALSE(sim::ParseFrame(sim::MakeFrame(1, 0xFFFF, 6, QByteArray(255, char(0xFF)))));
}

TEST(SimFrames, BcdAndRecordsRoundTrip)
{
    EXPECT_EQ(sim::ToBcd(59), 0x59);
    EXPECT_EQ(sim::FromBcd(0x59), 59);
    // Reading keeps three bits of tens, as the program does.
    EXPECT_EQ(sim::FromBcd(0x95), 15);

    sim::LogRecord r{.deviceOn = true, .selfStart = true, .inputs = 0x5A, .voltage = 0x0185,
                     .when = At(2007, 5, 10, 11, 59, 58, 980)};
    const auto bytes = r.Encode();
    EXPECT_EQ(bytes, (std::array<uint8_t, 11>{0x03, 0x5A, 0x01, 0x85, 0x49, 0x58, 0x59, 0x11, 0x10, 0x05, 0x07}));
    const auto back = sim::LogRecord::Decode(bytes);
    EXPECT_EQ(back.when, r.when);
    EXPECT_EQ(back.voltage, r.voltage);
    EXPECT_TRUE(back.selfStart);

    sim::Params p;
    p.normalVoltage = 400;
    p.coefficient = 1500;
    p.clock = At(2007, 3, 5, 8, 4, 9);
    const auto block = p.Encode();
    EXPECT_EQ(block[20], 0x05);
    EXPECT_EQ(block[21], 0xDC);
    // Frame bytes 29..35: seconds, minutes, hours, day of week, day, month, year.
    EXPECT_EQ((std::array<uint8_t, 7>{block[23], block[24], block[25], block[26], block[27], block[28], block[29]}),
              (std::array<uint8_t, 7>{0x09, 0x04, 0x08, 0x01, 0x05, 0x03, 0x07}));
    EXPECT_EQ(sim::Params::Decode(block).clock, p.clock);
    EXPECT_EQ(sim::Params::Decode(block).normalVoltage, 400);
}

TEST(SimFrames, InformationTextIsCp1251PaddedWithBlanks)
{
    const QByteArray info = sim::InfoBytes(QStringLiteral("Насос"));
    ASSERT_EQ(info.size(), 32);
    EXPECT_EQ(Hex(info.left(6)), "CD E0 F1 EE F1 20");
    EXPECT_EQ(info.mid(5), QByteArray(27, ' '));
    EXPECT_EQ(sim::InfoBytes(QString(40, QChar('x'))).size(), 32);
}

TEST_F(SimBus, IdentifyGetsItsSpeedCode)
{
    EXPECT_EQ(Hex(line->Ask(FromHex("AA 01 01 2C 00 00 00 D8"))), "AA 01 01 2C 00 01 02 00 DB");
    ASSERT_EQ(bus.Requests().size(), 1u);
    EXPECT_EQ(Hex(bus.Requests()[0]), "AA 01 01 2C 00 00 00 D8");
    ASSERT_TRUE(bus.WaitForReplies(1, 5s));
    EXPECT_EQ(Hex(bus.Replies()[0]), "AA 01 01 2C 00 01 02 00 DB");
}

TEST_F(SimBus, StaysSilentForWrongSumAddressTypeAndSpeed)
{
    // Each ignored request goes out first; the one good request after them must get the
    // first and only reply, so anything answered in between would show up in its place.
    line->Write(FromHex("AA 01 01 2C 00 00 00 D9"));              // wrong sum
    line->Write(Request(301, sim::cmdIdentify));                   // another number
    line->Write(sim::MakeFrame(2, 300, sim::cmdIdentify, {}));     // another device type
    line->Write(Request(300, 9));                                   // unknown command
    ASSERT_TRUE(bus.WaitForRequests(3, 5s));
    line->SetSpeed(19200);
    line->Write(Request(300, sim::cmdIdentify));                   // another speed
    ASSERT_TRUE(bus.WaitForRequests(4, 5s));
    line->SetSpeed(9600);
    line->Write(Request(300, sim::cmdLive));
    EXPECT_EQ(uint8_t(line->ReadFrame()[4]), sim::cmdLive);
    ASSERT_TRUE(bus.WaitForRequests(5, 5s));
    EXPECT_EQ(bus.ReplyCount(), 1u);
    EXPECT_EQ(bus.SentBytes(), bus.Replies()[0]);
}

TEST_F(SimBus, FindsAFrameAfterNoiseAndAcrossWrites)
{
    const QByteArray req = Request(300, sim::cmdIdentify);
    // The false start AA 00 00 .. promises 9 bytes; their sum fails and the search goes on.
    line->Write(FromHex("12 34 AA 00 00") + req.left(3));
    line->Write(req.mid(3));
    EXPECT_EQ(Hex(line->ReadFrame()), "AA 01 01 2C 00 01 02 00 DB");
}

TEST_F(SimBus, RatesWithoutATermiosConstantAreHonoured)
{
    bus.AddDevice(sim::DeviceState::Factory(7, 3));  // 14400
    line->SetSpeed(14400);
    EXPECT_EQ(bus.LineSpeed(), 14400);
    EXPECT_EQ(line->Ask(Request(7, sim::cmdIdentify)), sim::MakeFrame(1, 7, 0, FromHex("03")));
    line->SetSpeedConstant(B57600);
    EXPECT_EQ(bus.LineSpeed(), 57600);
    line->SetSpeedConstant(B9600);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdIdentify)), sim::MakeFrame(1, 300, 0, FromHex("02")));
}

TEST_F(SimBus, SetSpeedAnswersAtTheOldSpeedThenSwitches)
{
    EXPECT_EQ(line->Ask(Request(300, sim::cmdIdentify, FromHex("04"))), sim::MakeFrame(1, 300, 0, FromHex("04")));
    EXPECT_EQ(bus.Device(300).speedCode, 4);
    line->Write(Request(300, sim::cmdIdentify));  // still 9600: silent now
    ASSERT_TRUE(bus.WaitForRequests(2, 5s));
    line->SetSpeed(19200);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdIdentify)), sim::MakeFrame(1, 300, 0, FromHex("04")));
    EXPECT_EQ(bus.ReplyCount(), 2u);

    // An unknown speed code leaves the device where it is.
    EXPECT_EQ(line->Ask(Request(300, sim::cmdIdentify, FromHex("09"))), sim::MakeFrame(1, 300, 0, FromHex("04")));
    EXPECT_EQ(bus.Device(300).speedCode, 4);
}

TEST_F(SimBus, OnlyTheAddressedDeviceAnswers)
{
    bus.AddDevice(sim::DeviceState::Factory(5, 2));
    EXPECT_EQ(line->Ask(Request(5, sim::cmdIdentify)), sim::MakeFrame(1, 5, 0, FromHex("02")));
    EXPECT_EQ(line->Ask(Request(300, sim::cmdIdentify)), sim::MakeFrame(1, 300, 0, FromHex("02")));
    EXPECT_EQ(bus.ReplyCount(), 2u);
}

TEST_F(SimBus, LiveValuesReplyLayout)
{
    bus.Modify(300, [](sim::DeviceState& d) { d.live = {.state = 0x51, .voltage = 0x017C, .time = 12}; });
    EXPECT_EQ(line->Ask(Request(300, sim::cmdLive)), sim::MakeFrame(1, 300, 1, FromHex("51 01 7C 0C")));
}

TEST_F(SimBus, LogComesNewestFirstInBlocksWithTheFlagOnTheLast)
{
    std::vector<std::array<uint8_t, 11>> log;
    for (int i = 0; i < 50; ++i)  // oldest first; the voltage numbers the record
        log.push_back(sim::LogRecord{.voltage = uint16_t(i), .when = At(2007, 5, 1, 0, 0, 0).addSecs(i * 60)}.Encode());
    bus.Modify(300, [&](sim::DeviceState& d) { d.log = log; });

    std::vector<int> order;
    std::vector<int> perBlock;
    std::vector<int> flags;
    QByteArray block = line->Ask(Request(300, sim::cmdReadLog, FromHex("00")));
    for (int guard = 0; guard < 10; ++guard) {
        const auto f = sim::ParseFrame(block);
        ASSERT_TRUE(f) << Hex(block).toStdString();
        ASSERT_EQ(f->command, sim::cmdReadLog);
        ASSERT_EQ((f->data.size() - 1) % 11, 0);
        const int records = int(f->data.size() - 1) / 11;
        perBlock.push_back(records);
        flags.push_back(uint8_t(f->data[0]));
        for (int r = 0; r < records; ++r)
            order.push_back(uint8_t(f->data[1 + r * 11 + 2]) * 256 + uint8_t(f->data[1 + r * 11 + 3]));
        if (f->data[0] != 0)
            break;
        block = line->Ask(Request(300, sim::cmdReadLog, FromHex("01")));
    }
    EXPECT_EQ(perBlock, (std::vector<int>{23, 23, 4}));
    EXPECT_EQ(flags, (std::vector<int>{0, 0, 1}));
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], 49 - i);
    // A largest block still fits the one-byte length.
    EXPECT_EQ(sim::ParseFrame(bus.Replies()[0])->data.size(), 1 + 23 * 11);

    // Asking past the end gives an empty last block; a first-block request starts over.
    EXPECT_EQ(line->Ask(Request(300, sim::cmdReadLog, FromHex("01"))), sim::MakeFrame(1, 300, 6, FromHex("01")));
    const auto again = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadLog, FromHex("00"))));
    ASSERT_TRUE(again);
    EXPECT_EQ(uint8_t(again->data[3]) * 256 + uint8_t(again->data[4]), 49);
}

TEST_F(SimBus, EmptyLogIsOneLastBlock)
{
    EXPECT_EQ(line->Ask(Request(300, sim::cmdReadLog, FromHex("00"))), sim::MakeFrame(1, 300, 6, FromHex("01")));
}

TEST_F(SimBus, ExactlyOneFullBlockCarriesTheFlag)
{
    bus.Modify(300, [](sim::DeviceState& d) { d.log = sim::GenerateLog(23, At(2008, 1, 1, 12, 0, 0)); });
    const auto f = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadLog, FromHex("00"))));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->data.size(), 1 + 23 * 11);
    EXPECT_EQ(f->data[0], 1);
}

TEST_F(SimBus, WrittenParametersReadBack)
{
    sim::Params p;
    p.contactVoltageLimit = 110;
    p.invertBits = 0xA5;
    p.logWhileRunning = 0x6F;
    p.logWhileStopped = 0xE3;
    p.inUseBits = 0x25;
    p.filterPercent = 77;
    p.contactDelay = {1, 2, 3, 50};
    p.normalVoltage = 400;
    p.criticalVoltage = 300;
    p.selfStartPause = 9;
    p.selfStartBlock = 200;
    p.coefficient = 1500;
    p.clock = At(2009, 12, 31, 23, 59, 0);
    const auto block = p.Encode();
    const QByteArray data(reinterpret_cast<const char*>(block.data()), 30);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdWriteParams, data)), sim::MakeFrame(1, 300, 3, {}));

    const auto dev = bus.Device(300);
    EXPECT_EQ(dev.paramWrites, 1);
    EXPECT_EQ(dev.params, block);

    const auto reply = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadParams)));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->data.size(), 30);
    // Everything but the running clock comes back as written.
    EXPECT_EQ(reply->data.left(23), data.left(23));
    const QDateTime clock = sim::Params::Decode(block).clock;
    const QDateTime read = sim::Params::Decode([&] {
        std::array<uint8_t, 30> b{};
        std::copy(reply->data.begin(), reply->data.end(), b.begin());
        return b;
    }()).clock;
    EXPECT_GE(read, clock);
    EXPECT_LT(read, clock.addSecs(60));
}

TEST_F(SimBus, CoefficientZeroMeansTheFactoryValue)
{
    bus.Modify(300, [](sim::DeviceState& d) { d.factoryCoefficient = 987; });
    sim::Params p;
    p.coefficient = 0;
    p.clock = At(2010, 1, 2, 3, 4, 5);
    const auto block = p.Encode();
    line->Ask(Request(300, sim::cmdWriteParams, QByteArray(reinterpret_cast<const char*>(block.data()), 30)));
    EXPECT_EQ(bus.Device(300).ParamsDecoded().coefficient, 987);
}

TEST_F(SimBus, ShortWriteIsIgnored)
{
    line->Write(Request(300, sim::cmdWriteParams, QByteArray(29, 0)));
    line->Write(Request(300, sim::cmdWriteInfo, QByteArray(31, 'x')));
    EXPECT_EQ(uint8_t(line->Ask(Request(300, sim::cmdLive))[4]), sim::cmdLive);
    EXPECT_EQ(bus.Device(300).paramWrites, 0);
    EXPECT_EQ(bus.Device(300).infoWrites, 0);
}

TEST_F(SimBus, AccountReplyAndClear)
{
    bus.Modify(300, [](sim::DeviceState& d) {
        d.externalStarts = 0x0102;
        d.selfStarts = 7;
        d.accountBegin = At(2007, 5, 10, 12, 0, 0);  // a Thursday
        d.SetClock(At(2008, 2, 29, 13, 14, 15));
    });
    EXPECT_EQ(line->Ask(Request(300, sim::cmdReadAccount)),
              sim::MakeFrame(1, 300, 4, FromHex("01 02 00 07 00 00 12 04 10 05 07")));

    EXPECT_EQ(line->Ask(Request(300, sim::cmdClearAccount)), sim::MakeFrame(1, 300, 5, {}));
    const auto dev = bus.Device(300);
    EXPECT_EQ(dev.externalStarts, 0);
    EXPECT_EQ(dev.selfStarts, 0);
    EXPECT_EQ(dev.accountClears, 1);
    EXPECT_GE(dev.accountBegin, At(2008, 2, 29, 13, 14, 15));
    EXPECT_LT(dev.accountBegin, At(2008, 2, 29, 13, 15, 15));
    EXPECT_EQ(dev.accountBegin.time().msec(), 0);

    const auto f = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadAccount)));
    ASSERT_TRUE(f);
    EXPECT_EQ(Hex(f->data.left(4)), "00 00 00 00");
    EXPECT_EQ(Hex(f->data.mid(7)), "05 29 02 08");  // day of week (Friday), day, month, year
}

TEST_F(SimBus, RawAccountBeginIsSentAsGiven)
{
    bus.Modify(300, [](sim::DeviceState& d) { d.accountBeginRaw = std::array<uint8_t, 7>{0x61, 0, 0, 1, 0x32, 0x13, 0x07}; });
    const auto f = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadAccount)));
    ASSERT_TRUE(f);
    EXPECT_EQ(Hex(f->data.mid(4)), "61 00 00 01 32 13 07");
}

TEST_F(SimBus, InformationWriteAndRead)
{
    bus.Modify(300, [](sim::DeviceState& d) { d.version = sim::VersionBytes("v3.01"); });
    const QByteArray info = sim::InfoBytes(QStringLiteral("Скважина №4"));
    EXPECT_EQ(line->Ask(Request(300, sim::cmdWriteInfo, info)), sim::MakeFrame(1, 300, 8, {}));
    EXPECT_EQ(bus.Device(300).info, info);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdReadInfo)), sim::MakeFrame(1, 300, 7, info + sim::VersionBytes("v3.01")));
}

TEST_F(SimBus, FaultCorruptSumAppliesToTheChosenCommandOnce)
{
    bus.SetFaults(300, sim::Faults{.corruptSum = true, .command = sim::cmdLive, .times = 1});
    const QByteArray good = line->Ask(Request(300, sim::cmdIdentify));
    EXPECT_TRUE(sim::ParseFrame(good));
    const QByteArray bad = line->Ask(Request(300, sim::cmdLive));
    EXPECT_EQ(bad.size(), 12);
    EXPECT_FALSE(sim::ParseFrame(bad));
    EXPECT_TRUE(sim::ParseFrame(line->Ask(Request(300, sim::cmdLive))));
}

TEST_F(SimBus, FaultSilentUntilCleared)
{
    bus.SetFaults(300, sim::Faults{.silent = true});
    line->Write(Request(300, sim::cmdIdentify));
    ASSERT_TRUE(bus.WaitForRequests(1, 5s));
    bus.ClearFaults(300);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdLive)).at(4), char(sim::cmdLive));
    EXPECT_EQ(bus.ReplyCount(), 1u);
}

TEST_F(SimBus, FaultJunkSplitAndDelayStillDeliverTheFrame)
{
    bus.SetFaults(300, sim::Faults{.delayMs = 20, .splitPieces = 3, .splitPauseMs = 10, .junkBefore = FromHex("00 FF")});
    line->Write(Request(300, sim::cmdIdentify));
    const QByteArray expected = FromHex("00 FF AA 01 01 2C 00 01 02 00 DB");
    EXPECT_EQ(line->Read(expected.size()), expected);
    ASSERT_TRUE(bus.WaitForReplies(1, 5s));
    EXPECT_EQ(bus.SentBytes(), expected);
    EXPECT_EQ(Hex(bus.Replies()[0]), "AA 01 01 2C 00 01 02 00 DB");
    EXPECT_TRUE(bus.Idle());
}

TEST_F(SimBus, FaultShortReplyKeepsAWellFormedFrame)
{
    bus.SetFaults(300, sim::Faults{.shortData = 40, .command = sim::cmdReadInfo});
    const auto f = sim::ParseFrame(line->Ask(Request(300, sim::cmdReadInfo)));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->data.size(), 40);
}

TEST_F(SimBus, SendsUnaskedFrames)
{
    const QByteArray frame = sim::MakeFrame(2, 9, 33, FromHex("05 80"));
    bus.Send(frame);
    EXPECT_EQ(line->ReadFrame(), frame);
}

TEST_F(SimBus, APacedLineGivesEveryByteItsTimeOnTheWire)
{
    bus.SetPaced(true);
    // A split and delayed reply with junk before it: every byte still waits for its turn.
    bus.SetFaults(300, sim::Faults{.delayMs = 5, .splitPieces = 3, .splitPauseMs = 0, .junkBefore = FromHex("00 FF"),
                                   .command = sim::cmdIdentify});
    for (const uint8_t command : {sim::cmdReadParams, sim::cmdReadInfo, sim::cmdIdentify}) {
        bus.ClearHistory();
        const QByteArray request = Request(300, command);
        const auto start = std::chrono::steady_clock::now();
        line->Write(request);
        ASSERT_TRUE(bus.WaitForReplies(1, 5s));
        const QByteArray sent = bus.SentBytes();
        const auto frameAt = sent.indexOf(char(sim::kStart));
        const QByteArray got = line->Read(sent.size());
        const auto took = std::chrono::steady_clock::now() - start;
        // The bytes come whole and in order, and no sooner than 10 bits each at 9600 bit/s
        // both ways allow.
        EXPECT_EQ(got, sent);
        ASSERT_TRUE(sim::ParseFrame(got.mid(frameAt))) << Hex(got).toStdString();
        const auto wire = std::chrono::microseconds((request.size() + sent.size()) * 10 * 1'000'000 / 9600);
        EXPECT_GE(took, wire) << command;
        EXPECT_TRUE(bus.Idle());
    }
    // Unpaced again, the line moves bytes at once as before.
    bus.SetPaced(false);
    EXPECT_EQ(line->Ask(Request(300, sim::cmdReadParams)).size(), 8 + sim::kParamBlockSize);
}

TEST(SimAnimation, EngineCycleMovesLiveValuesAndWritesTheLog)
{
    sim::DeviceState d = sim::DeviceState::Factory(1);
    d.live.animate = true;
    d.live.state = 0;
    sim::Bus bus;
    bus.AddDevice(d);
    Line line(bus.SlavePath(), 9600);
    // Running from the start: the first tick logs an engine start.
    const auto f = sim::ParseFrame(line.Ask(Request(1, sim::cmdLive)));
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->data[0] & 0x10);
    const auto dev = bus.Device(1);
    ASSERT_EQ(dev.log.size(), 1u);
    EXPECT_EQ(dev.externalStarts, 1);
    EXPECT_TRUE(sim::LogRecord::Decode(dev.log[0]).inputs & 0x10);
}
