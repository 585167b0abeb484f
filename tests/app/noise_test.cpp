// A noisy line: junk before the replies, with false frame starts (0xAA and a length byte that
// runs past what follows), must not cost a reply. First the receive buffer alone, then the
// window over the simulated bus.
#include "app/fmain.h"
#include "app/protocol.h"
#include "platform/query.h"
#include "app/tables.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QTest>

#include <random>

using namespace std::chrono_literals;

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

constexpr std::int64_t kT0 = 1'000'000;
// A false start: 0xAA, a header, and a length of 64 data bytes that never come.
const QByteArray kFalseStart = Hex("AA 01 01 2C 02 40");

QByteArray ParamsReply()
{
    return vemor::MakeFrame(1, 300, 2, QByteArray(vemor::kParamBlockSize, '\x11'));
}

// Junk as a noisy line brings it: up to nine bytes, about half of them 0xAA.
QByteArray Junk(std::mt19937& random)
{
    QByteArray bytes;
    const int count = int(random() % 10);
    for (int i = 0; i < count; ++i)
        bytes.append(random() % 2 ? char(0xAA) : char(random() % 256));
    return bytes;
}

// Every frame the buffer gives, taking each as the window does.
std::vector<QByteArray> Drain(vemor::RxBuffer& rx, std::int64_t now)
{
    std::vector<QByteArray> frames;
    while (const int len = rx.FrontFrame(now)) {
        frames.push_back(rx.Data().left(len));
        rx.Remove(len);
    }
    return frames;
}

}  // namespace

// ---- The receive buffer ----------------------------------------------------------------------

TEST(NoisyReplyParser, AFalseStartDoesNotHoldBackTheFrameBehindIt)
{
    vemor::RxBuffer rx;
    rx.Append(kFalseStart + ParamsReply(), kT0);
    ASSERT_EQ(rx.FrontFrame(kT0), ParamsReply().size());
    EXPECT_EQ(rx.Data(), ParamsReply());

    // Several false starts, one inside another's length, before a frame.
    vemor::RxBuffer nested;
    nested.Append(Hex("AA 01 00 05 06 FF AA 00") + kFalseStart + Hex("AA") + ParamsReply(), kT0);
    ASSERT_EQ(nested.FrontFrame(kT0), ParamsReply().size());
    EXPECT_EQ(nested.Data(), ParamsReply());
}

TEST(NoisyReplyParser, AFrameArrivingInPiecesBehindAFalseStartIsTakenWithItsLastByte)
{
    vemor::RxBuffer rx;
    const QByteArray reply = ParamsReply();
    rx.Append(kFalseStart, kT0);
    EXPECT_EQ(rx.FrontFrame(kT0 + 5), 0);
    rx.Append(reply.left(20), kT0 + 10);
    EXPECT_EQ(rx.FrontFrame(kT0 + 15), 0);
    rx.Append(reply.mid(20), kT0 + 20);
    ASSERT_EQ(rx.FrontFrame(kT0 + 25), reply.size());
    EXPECT_EQ(rx.Data(), reply);
}

TEST(NoisyReplyParser, OnlyAFrameWithARightSumGoesBeforeAPartialOne)
{
    vemor::RxBuffer rx;
    QByteArray bad = ParamsReply();
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 1);
    rx.Append(kFalseStart + bad, kT0);
    EXPECT_EQ(rx.FrontFrame(kT0), 0);
    EXPECT_EQ(rx.Data(), kFalseStart + bad);
}

TEST(NoisyReplyParser, AHeaderNoDeviceSendsIsAFalseStartEvenWithARightSum)
{
    // Junk "AA 84 02" before a reply makes a 9-byte frame whose sum happens to be right; its
    // device type is none of ours, so it must not take the reply's first bytes with it.
    const QByteArray reply = vemor::MakeFrame(1, 300, 2, QByteArray(8, '\x05'));
    vemor::RxBuffer rx;
    rx.Append(Hex("AA 84 02") + reply, kT0);
    ASSERT_EQ(rx.FrontFrame(kT0), reply.size());
    EXPECT_EQ(rx.Data(), reply);
    // A command past the last one: the same; known from the header alone, without waiting.
    vemor::RxBuffer cmd;
    cmd.Append(Hex("AA 01 01 2C 24"), kT0);
    EXPECT_EQ(cmd.FrontFrame(kT0), 0);
    EXPECT_TRUE(cmd.IsEmpty());
}

TEST(NoisyReplyParser, APartialFrameIsNotWaitedForPastTheReplyDeadline)
{
    vemor::RxBuffer rx;
    rx.Append(kFalseStart, kT0);
    const std::int64_t deadline = kT0 + 300;
    EXPECT_EQ(rx.FrontFrame(deadline, deadline), 0);
    EXPECT_EQ(rx.Data(), kFalseStart);
    EXPECT_EQ(rx.FrontFrame(deadline + 1, deadline), 0);
    EXPECT_TRUE(rx.IsEmpty());
    // Without a reply awaited it goes once no byte has come for the stale time.
    rx.Append(kFalseStart, kT0 + 400);
    EXPECT_EQ(rx.FrontFrame(kT0 + 400 + vemor::RxBuffer::kStaleMs - 1), 0);
    EXPECT_EQ(rx.Data(), kFalseStart);
    EXPECT_EQ(rx.FrontFrame(kT0 + 400 + vemor::RxBuffer::kStaleMs), 0);
    EXPECT_TRUE(rx.IsEmpty());
}

TEST(NoisyReplyParser, EveryFrameComesThroughRandomJunkWholeAndInOrder)
{
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<QByteArray> sent;
        QByteArray line;
        for (int i = 0; i < 12; ++i) {
            QByteArray data(int(random() % 60), '\0');
            for (char& b : data)
                b = char(random() % 256);
            sent.push_back(vemor::MakeFrame(1, 300, std::uint8_t(random() % 9), data));
            line += Junk(random) + sent.back();
        }
        // All at once, and byte by byte with the buffer read after each byte.
        vemor::RxBuffer whole;
        whole.Append(line, kT0);
        ASSERT_EQ(Drain(whole, kT0), sent);
        vemor::RxBuffer bytes;
        std::vector<QByteArray> got;
        for (qsizetype i = 0; i < line.size(); ++i) {
            bytes.Append(line.mid(i, 1), kT0 + i);
            for (const QByteArray& f : Drain(bytes, kT0 + i))
                got.push_back(f);
        }
        ASSERT_EQ(got, sent);
    }
}

// ---- The window over a noisy line --------------------------------------------------------------

namespace {

const QString kParamsDone = QStringLiteral("Параметры считаны (записаны) !");
const QString kNoReply = QStringLiteral("Устройство не отвечает !");

class NoisyLineTest : public e2e::EndToEndTest {
protected:
    void SetUp() override
    {
        e2e::EndToEndTest::SetUp();
        sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
        dev.info = sim::InfoBytes(QStringLiteral("Насосная 1"));
        sim::Params p = dev.ParamsDecoded();
        p.normalVoltage = 401;
        p.criticalVoltage = 343;
        p.selfStartPause = 7;
        p.selfStartBlock = 31;
        p.coefficient = 1234;
        dev.params = p.Encode();
        dev.live.voltage = 396;
        dev.accountBegin = QDateTime(QDate(2006, 1, 1), QTime(0, 0));
        // Five blocks.
        dev.log = sim::GenerateLog(100, QDateTime(QDate(2007, 6, 1), QTime(12, 0)));
        bus().AddDevice(dev);
        window_ = std::make_unique<TfrmMain>();
        window_->show();
    }

    void TearDown() override
    {
        window_.reset();
        e2e::EndToEndTest::TearDown();
    }

    TfrmMain& w() { return *window_; }
    Ui::TfrmMain& f() { return w().Form(); }

    // The operator types the number and sets it; the device buttons come on.
    void Choose(int number)
    {
        f().edtNum->clear();
        QTest::keyClicks(f().edtNum, QString::number(number));
        QTest::mouseClick(f().Button1, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return f().btnParams->isEnabled(); }));
    }

    bool HasBox(const QString& text)
    {
        for (const auto& b : boxes.Boxes())
            if (b.text == text)
                return true;
        return false;
    }

    // "Параметры", then "Считать"; the page must show what the device holds.
    void ReadParameters()
    {
        QTest::mouseClick(f().btnParams, Qt::LeftButton);
        ASSERT_EQ(w().FrontPage(), f().pnlParams);
        const size_t before = boxes.Count();
        QTest::mouseClick(f().btnReadParams, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return boxes.Count() > before; }));
        EXPECT_EQ(boxes.Last()->text, kParamsDone);
        EXPECT_EQ(f().edtUn->text(), QStringLiteral("401"));
        EXPECT_EQ(f().edtUk->text(), QStringLiteral("343"));
        EXPECT_EQ(f().edtTp->text(), QStringLiteral("7"));
        EXPECT_EQ(f().edtTb->text(), QStringLiteral("31"));
        EXPECT_EQ(f().edtKoef->text(), QStringLiteral("1,234"));
        EXPECT_EQ(f().edtInformation->text(), QStringLiteral("Насосная 1").leftJustified(32, ' '));
    }

    // The stored log, one line per record in time order.
    QStringList StoredLog()
    {
        TQuery q;
        AttachQuery(q, harness().Folder() + QStringLiteral("bases/"));
        q.SetSQL(QStringLiteral(
            "select fdate || ' ' || ftime || ' ' || fmilsec || ' ' || fu || ' ' || (fvemoron <> 0) || (fselfon <> 0) ||"
            " (fbtn1 <> 0) || (fbtn2 <> 0) || (fbtn3 <> 0) || (fbtn4 <> 0) || (fengine <> 0) || (frazr <> 0) ||"
            " (fun <> 0) || (fuk <> 0) from vprotokol where fid=300 order by fdate, ftime, fmilsec"));
        q.Open();
        QStringList rows;
        for (; !q.Eof(); q.Next())
            rows << q.Field(0)->AsString();
        return rows;
    }

    // The device's log in the same form.
    QStringList DeviceLog()
    {
        QStringList rows;
        for (const auto& bytes : bus().Device(300).log) {
            const sim::LogRecord r = sim::LogRecord::Decode(bytes);
            QString flags = QString::number(int(r.deviceOn)) + QString::number(int(r.selfStart));
            for (int bit : {0, 1, 2, 3, 4, 5, 6, 7})
                flags += QString::number((r.inputs >> bit) & 1);
            rows << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(r.when.date().toString(QStringLiteral("yyyy-MM-dd")),
                             r.when.time().toString(QStringLiteral("HH:mm:ss")))
                        .arg(r.when.time().msec())
                        .arg(r.voltage)
                        .arg(flags);
        }
        return rows;
    }

    std::unique_ptr<TfrmMain> window_;
};

}  // namespace

TEST_F(NoisyLineTest, AFalseStartJustBeforeTheParameterReplyCostsNothing)
{
    bus().SetFaults(300, sim::Faults{.junkBefore = kFalseStart, .command = 2, .times = 1});
    Choose(300);
    ReadParameters();
    EXPECT_FALSE(HasBox(kNoReply));
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(NoisyLineTest, AFalseStartInTheLiveViewDoesNotStopIt)
{
    Choose(300);
    QTest::mouseClick(f().btnView, Qt::LeftButton);
    QTest::mouseClick(f().btnStartView, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return f().txtU->text() == QStringLiteral("U : 396 В"); }));
    bus().SetFaults(300, sim::Faults{.junkBefore = kFalseStart, .command = 1, .times = 1});
    const size_t replies = bus().ReplyCount();
    // Well past the reply deadline the view is still running and showing new values.
    ASSERT_TRUE(WaitFor([&] { return bus().ReplyCount() >= replies + 12; }));
    bus().Modify(300, [](sim::DeviceState& d) { d.live.voltage = 402; });
    ASSERT_TRUE(WaitFor([&] { return f().txtU->text() == QStringLiteral("U : 402 В"); }));
    EXPECT_EQ(f().btnStartView->text(), QStringLiteral("СТОП"));
    EXPECT_FALSE(HasBox(kNoReply));
    QTest::mouseClick(f().btnStartView, Qt::LeftButton);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(NoisyLineTest, ParametersAndTheLogComeWholeThroughRandomJunk)
{
    // Up to nine junk bytes before every reply, about half of them 0xAA.
    bus().SetFaults(300, sim::Faults{.noiseUpTo = 9, .noiseSeed = 7});
    Choose(300);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ReadParameters();
    }
    QTest::mouseClick(f().btnProtokol, Qt::LeftButton);
    ASSERT_EQ(w().FrontPage(), f().pnlProtokol);
    const size_t before = boxes.Count();
    QTest::mouseClick(f().btnReadProtokol, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() > before; }, 30s));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Протокол считан. Добавлено записей :  100 !"));
    EXPECT_EQ(StoredLog(), DeviceLog());
    EXPECT_FALSE(HasBox(kNoReply));
    // The junk was there: more bytes went over the line than the replies hold.
    qsizetype replyBytes = 0;
    for (const QByteArray& r : bus().Replies())
        replyBytes += r.size();
    EXPECT_GT(bus().SentBytes().size(), replyBytes + 20);
}
