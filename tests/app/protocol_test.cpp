#include "app/protocol.h"

#include <gtest/gtest.h>

using namespace vemor;

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

std::int64_t kT0 = 1'000'000;

}  // namespace

TEST(RequestFrames, ByteForByteAsTheDeviceExpects)
{
    RequestContext ctx;
    ctx.scanNumber = 300;
    ctx.selectedNumber = 5;
    EXPECT_EQ(BuildRequest(rqIdentify, ctx), Hex("AA 01 01 2C 00 00 00 D8"));
    EXPECT_EQ(BuildRequest(rqReadParams, ctx), Hex("AA 01 00 05 02 00 00 B2"));
    EXPECT_EQ(BuildRequest(rqReadLogNext, ctx), Hex("AA 01 00 05 06 01 01 00 B8"));
    EXPECT_EQ(BuildRequest(rqReadLogFirst, ctx), Hex("AA 01 00 05 06 01 00 00 B7"));
    EXPECT_EQ(BuildRequest(rqReadAccount, ctx), Hex("AA 01 00 05 04 00 00 B4"));
    // Identify and set speed carry the device kind; every other request device type 1.
    ctx.deviceKind = 1;
    ctx.newSpeedCode = 4;
    EXPECT_EQ(BuildRequest(rqIdentify, ctx), Hex("AA 02 01 2C 00 00 00 D9"));
    EXPECT_EQ(BuildRequest(rqSetSpeed, ctx), Hex("AA 02 00 05 00 01 04 00 B6"));
    EXPECT_EQ(BuildRequest(rqReadInfo, ctx), Hex("AA 01 00 05 07 00 00 B7"));
}

TEST(RequestFrames, CodesWithoutAFrameWriteTwoZeroBytes)
{
    RequestContext ctx;
    for (int code = 30; code <= 35; ++code)
        EXPECT_EQ(BuildRequest(code, ctx), QByteArray(2, '\0')) << code;
    EXPECT_EQ(BuildRequest(9, ctx), QByteArray(2, '\0'));
}

TEST(RequestFrames, EmptyInformationGoesAsThirtyTwoBlanks)
{
    RequestContext ctx;
    ctx.selectedNumber = 7;
    ctx.information = InformationBytes(QString());
    const QByteArray f = BuildRequest(rqWriteInfo, ctx);
    ASSERT_EQ(f.size(), 40);
    EXPECT_EQ(f.left(6), Hex("AA 01 00 07 08 20"));
    EXPECT_EQ(f.mid(6, 32), QByteArray(32, ' '));
    const unsigned sum = 0xAA + 1 + 7 + 8 + 0x20 + 32 * 0x20;
    EXPECT_EQ(std::uint8_t(f[38]), (sum >> 8) & 0xFF);
    EXPECT_EQ(std::uint8_t(f[39]), sum & 0xFF);
    // Cyrillic goes as code page 1251, one byte a character; longer text is cut to 32.
    EXPECT_EQ(InformationBytes(QStringLiteral("Щит")).left(4), QByteArray("\xD9\xE8\xF2 "));
    EXPECT_EQ(InformationBytes(QString(40, QLatin1Char('x'))).size(), 32);
}

TEST(ParamBlock, EncodesEveryFieldWhereTheDeviceReadsIt)
{
    ParamBlock p;
    p.upKO = 200;
    p.invert = {true, false, false, true};
    p.razrSelfOn = true;
    p.writeOn = {false, true, false, false};
    p.writeOnUk = true;
    p.writeOffRazr = true;
    p.isBtn = {true, true, false, false};
    p.razr = true;
    p.filtrKO = 55;
    p.delay = {20, 40, 1000, 60};
    p.delayEngine = 80;
    p.un = 380;
    p.uk = 70000 % 65536;
    p.tp = 5;
    p.tb = 250;
    p.koef = 1500;
    p.clock = {9, 4, 8, 5, 3, 7};
    const QByteArray b = EncodeParamBlock(p);
    ASSERT_EQ(b.size(), kParamBlockSize);
    auto at = [&b](int frameOffset) { return std::uint8_t(b[frameOffset - 6]); };
    EXPECT_EQ(at(6), 200);
    EXPECT_EQ(at(7), 0x89);
    EXPECT_EQ(at(8), 0x82);
    EXPECT_EQ(at(9), 0x20);
    EXPECT_EQ(at(10), 0x23);
    EXPECT_EQ(at(11), 55);
    EXPECT_EQ(at(12), 1);
    EXPECT_EQ(at(13), 2);
    EXPECT_EQ(at(14), 50);
    EXPECT_EQ(at(16), 4);
    EXPECT_EQ(at(20) * 256 + at(21), 380);
    EXPECT_EQ(at(25), 250);
    EXPECT_EQ(at(26), 0x05);
    EXPECT_EQ(at(27), 0xDC);
    EXPECT_EQ(at(28), 0x80);
    EXPECT_EQ(at(29), 0x09);
    EXPECT_EQ(at(31), 0x08);
    EXPECT_EQ(at(32), 0x00);
    EXPECT_EQ(at(35), 0x07);

    const ParamBlock back = DecodeParamBlock(b.constData());
    EXPECT_EQ(back.upKO, 200);
    EXPECT_EQ(back.invert, p.invert);
    EXPECT_TRUE(back.razrSelfOn);
    EXPECT_FALSE(back.invertEngine);
    EXPECT_EQ(back.writeOn, p.writeOn);
    EXPECT_TRUE(back.writeOnUk);
    EXPECT_TRUE(back.writeOffRazr);
    EXPECT_EQ(back.isBtn, p.isBtn);
    EXPECT_TRUE(back.razr);
    EXPECT_EQ(back.delay, p.delay);
    EXPECT_EQ(back.delayEngine, 80);
    EXPECT_EQ(back.uk, 70000 % 65536);
    EXPECT_EQ(back.koef, 1500);
    EXPECT_EQ(back.clock.hour, 8);
    EXPECT_EQ(back.clock.year, 7);
}

TEST(ParamBlock, ReadingBcdKeepsThreeBitsOfTensExceptForTheYear)
{
    EXPECT_EQ(FromBcd(0x59), 59);
    EXPECT_EQ(FromBcd(0x80 | 0x23), 23);
    EXPECT_EQ(FromBcdYear(0x99), 99);
    EXPECT_EQ(ToBcd(47), 0x47);
}

TEST(Coefficient, ThousandthsComeFromTheDecimalDigits)
{
    std::uint16_t v = 0;
    ASSERT_TRUE(TryKoefToThousandths(QStringLiteral("1.001"), v));
    EXPECT_EQ(v, 1001);
    ASSERT_TRUE(TryKoefToThousandths(QStringLiteral("1,5"), v));
    EXPECT_EQ(v, 1500);
    ASSERT_TRUE(TryKoefToThousandths(QStringLiteral("0.0019"), v));
    EXPECT_EQ(v, 1);
    ASSERT_TRUE(TryKoefToThousandths(QStringLiteral("65.535"), v));
    EXPECT_EQ(v, 65535);
    ASSERT_TRUE(TryKoefToThousandths(QStringLiteral("2"), v));
    EXPECT_EQ(v, 2000);
    EXPECT_FALSE(TryKoefToThousandths(QStringLiteral("65.536"), v));
    EXPECT_FALSE(TryKoefToThousandths(QStringLiteral("1,2,3"), v));
    EXPECT_FALSE(TryKoefToThousandths(QStringLiteral("-1"), v));
    EXPECT_FALSE(TryKoefToThousandths(QStringLiteral(","), v));
    EXPECT_FALSE(TryKoefToThousandths(QString(), v));
}

TEST(ReplyParser, DropsJunkBeforeAFrame)
{
    RxBuffer rx;
    rx.Append(Hex("12 34 AA 01 00 05 02 00 00 B2"), kT0);
    EXPECT_EQ(rx.FrontFrame(kT0), 8);
    EXPECT_EQ(rx.Data(), Hex("AA 01 00 05 02 00 00 B2"));
    rx.Remove(8);
    EXPECT_TRUE(rx.IsEmpty());
}

TEST(ReplyParser, BufferWithoutStartByteIsEmptied)
{
    RxBuffer rx;
    rx.Append(Hex("01 02 03"), kT0);
    EXPECT_EQ(rx.FrontFrame(kT0), 0);
    EXPECT_TRUE(rx.IsEmpty());
}

TEST(ReplyParser, SplitFrameWaitsForItsLastByte)
{
    RxBuffer rx;
    const QByteArray f = MakeFrame(1, 300, 0, QByteArray(1, '\2'));
    rx.Append(f.left(4), kT0);
    EXPECT_EQ(rx.FrontFrame(kT0 + 10), 0);
    rx.Append(f.mid(4, 4), kT0 + 20);
    EXPECT_EQ(rx.FrontFrame(kT0 + 30), 0);
    rx.Append(f.mid(8), kT0 + 40);
    EXPECT_EQ(rx.FrontFrame(kT0 + 50), f.size());
}

TEST(ReplyParser, TwoFramesAtOnceComeOneAfterTheOther)
{
    RxBuffer rx;
    const QByteArray a = MakeFrame(1, 5, 3, {});
    const QByteArray b = MakeFrame(1, 5, 7, QByteArray(48, 'x'));
    rx.Append(a + b, kT0);
    ASSERT_EQ(rx.FrontFrame(kT0), a.size());
    EXPECT_EQ(rx.Data()[4], 3);
    rx.Remove(a.size());
    ASSERT_EQ(rx.FrontFrame(kT0), b.size());
    EXPECT_EQ(rx.Data()[4], 7);
}

TEST(ReplyParser, BadSumDropsOnlyTheFalseStartAndFindsTheFrameBehindIt)
{
    RxBuffer rx;
    const QByteArray good = MakeFrame(1, 5, 2, QByteArray(30, '\1'));
    // A false start whose length byte would swallow the start of the good frame.
    rx.Append(Hex("AA 01 00 05 02 05") + good, kT0);
    ASSERT_EQ(rx.FrontFrame(kT0), good.size());
    EXPECT_EQ(rx.Data(), good);

    RxBuffer rx2;
    QByteArray bad = good;
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 1);
    rx2.Append(bad, kT0);
    EXPECT_EQ(rx2.FrontFrame(kT0), 0);
    EXPECT_TRUE(rx2.IsEmpty());
}

TEST(ReplyParser, SumIsComparedOnItsLow16Bits)
{
    // Address and data all 0xFF: the plain sum is above 65535.
    const QByteArray f = MakeFrame(1, 0xFFFF, kLastCommand, QByteArray(255, char(0xFF)));
    ASSERT_GT(ByteSum(f.constData(), int(f.size()) - 2), 65535u);
    RxBuffer rx;
    rx.Append(f, kT0);
    EXPECT_EQ(rx.FrontFrame(kT0), 263);
}

TEST(ReplyParser, PartialFrameWithoutNewBytesForASecondIsDropped)
{
    RxBuffer rx;
    const QByteArray f = MakeFrame(1, 5, 4, QByteArray(11, '\0'));
    rx.Append(f.left(10), kT0);
    EXPECT_EQ(rx.FrontFrame(kT0 + RxBuffer::kStaleMs - 1), 0);
    EXPECT_EQ(rx.Data().size(), 10);
    EXPECT_EQ(rx.FrontFrame(kT0 + RxBuffer::kStaleMs), 0);
    EXPECT_TRUE(rx.IsEmpty());
    // A whole frame arriving afterwards is taken as usual.
    rx.Append(f, kT0 + 2000);
    EXPECT_EQ(rx.FrontFrame(kT0 + 2000), f.size());
}

TEST(ReplyParser, ShortHeaderAloneWaits)
{
    RxBuffer rx;
    rx.Append(Hex("AA 01 00"), kT0);
    EXPECT_EQ(rx.FrontFrame(kT0), 0);
    EXPECT_EQ(rx.Data().size(), 3);
}

TEST(ReplyLayouts, MinimumDataOfEachCommand)
{
    EXPECT_EQ(MinReplyData(0), 1);
    EXPECT_EQ(MinReplyData(2), 30);
    EXPECT_EQ(MinReplyData(4), 11);
    EXPECT_EQ(MinReplyData(7), 32);
    EXPECT_EQ(MinReplyData(3), 0);
    EXPECT_EQ(MinReplyData(9), -1);
    EXPECT_EQ(MinReplyData(36), -1);
}

TEST(Speeds, CodesIndexTheList)
{
    EXPECT_EQ(SpeedBaud(2), 9600);
    EXPECT_EQ(SpeedBaud(8), 115200);
    EXPECT_EQ(SpeedBaud(9), 0);
    EXPECT_EQ(NewSpeedList().at(6), QStringLiteral("34800"));
    EXPECT_EQ(SpeedList().at(6), QStringLiteral("38400"));
}

TEST(ReplyMatching, AReplyAnswersOnlyItsOwnDeviceTypeAddressAndCommand)
{
    RequestContext ctx;
    ctx.scanNumber = 300;
    ctx.selectedNumber = 5;
    const auto params = ExpectedReply(rqReadParams, ctx);
    ASSERT_TRUE(params);
    EXPECT_TRUE(Answers(MakeFrame(1, 5, 2, QByteArray(30, '\0')), *params));
    EXPECT_FALSE(Answers(MakeFrame(1, 999, 2, QByteArray(30, '\0')), *params));  // another address
    EXPECT_FALSE(Answers(MakeFrame(2, 5, 2, QByteArray(30, '\0')), *params));    // another device type
    EXPECT_FALSE(Answers(MakeFrame(1, 5, 3, {}), *params));                      // another command
    EXPECT_FALSE(Answers(MakeFrame(1, 5 + 256, 2, {}), *params));                // the high address byte counts
    // Both log requests wait for a log block; identify and set speed for command 0 of the kind.
    EXPECT_EQ(ExpectedReply(rqReadLogNext, ctx)->command, 6);
    ctx.deviceKind = 1;
    EXPECT_TRUE(Answers(MakeFrame(2, 300, 0, QByteArray(1, '\2')), *ExpectedReply(rqIdentify, ctx)));
    EXPECT_TRUE(Answers(MakeFrame(2, 5, 0, QByteArray(1, '\2')), *ExpectedReply(rqSetSpeed, ctx)));
    EXPECT_TRUE(Answers(MakeFrame(2, 5, 33, QByteArray(2, '\0')), *ExpectedReply(33, ctx)));
    EXPECT_FALSE(ExpectedReply(12, ctx));
}

TEST(ReplyMatching, WireTimeGrowsWithTheFrameAndShrinksWithTheSpeed)
{
    // 263 bytes of ten bits each at 2400 bit/s.
    EXPECT_EQ(WireMs(MaxReplyLength(6), 2400), 1096);
    EXPECT_EQ(WireMs(MaxReplyLength(2), 115200), 4);
    EXPECT_GT(WireMs(8, 9600), 0);
    EXPECT_EQ(MaxReplyLength(7), 8 + 32 + 16);
}
