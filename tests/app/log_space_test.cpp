// The disk a download needs: its rows, and not a write-ahead log that grows with every record
// (on a nearly full disk that log, not the rows, took the last space).
#include "app/fmain.h"
#include "app/tables.h"
#include "platform/datetime.h"
#include "platform/query.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QFileInfo>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

class LogSpaceTest : public e2e::AppTest {
protected:
    qint64 WalSize() { return QFileInfo(harness().DatabasePath() + QStringLiteral("-wal")).size(); }

    // "Протокол", then "Считать" on device 300 chosen by its number, with 460 records: twenty
    // blocks, about 370 KB of log by the old rate of 800 bytes a record.
    void StartDownload()
    {
        sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
        dev.accountBegin = QDateTime(QDate(2006, 1, 1), QTime(0, 0));
        dev.log = sim::GenerateLog(460, QDateTime(QDate(2007, 6, 1), QTime(12, 0)));
        bus().AddDevice(dev);
        Window();
        auto& f = Window().Form();
        QTest::keyClicks(f.edtNum, QStringLiteral("300"));
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return f.btnProtokol->isEnabled(); }));
        QTest::mouseClick(f.btnProtokol, Qt::LeftButton);
        QTest::mouseClick(f.btnReadProtokol, Qt::LeftButton);
    }
};

// A few pages of the database file.
constexpr qint64 kSmallLog = 64 * 1024;

}  // namespace

TEST_F(LogSpaceTest, TheWriteAheadLogStaysSmallThroughADownloadAndIsEmptiedAfterIt)
{
    ASSERT_NO_FATAL_FAILURE(StartDownload());
    qint64 largest = 0;
    ASSERT_TRUE(WaitFor(
        [&] {
            largest = std::max(largest, WalSize());
            return boxes.Count() >= 1;
        },
        60s));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Протокол считан. Добавлено записей :  460 !"));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 460);
    EXPECT_LE(largest, kSmallLog);
    EXPECT_EQ(WalSize(), 0);
}

TEST_F(LogSpaceTest, ADownloadEndedByASilentDeviceEmptiesTheLogToo)
{
    ASSERT_NO_FATAL_FAILURE(StartDownload());
    // The first block is stored, then the device falls silent.
    ASSERT_TRUE(WaitFor([&] { return WalSize() > 0; }, 60s));
    sim::Faults silent;
    silent.silent = true;
    bus().SetFaults(300, silent);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }, 60s));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Устройство не отвечает !"));
    EXPECT_EQ(WalSize(), 0);
}

TEST_F(LogSpaceTest, SmallWritesOutsideADownloadKeepTheLogSmallToo)
{
    TQuery q;
    AttachQuery(q, harness().Folder() + QStringLiteral("bases/"));
    // One statement, one commit, each: the way a reply stores what it carries.
    for (int i = 0; i < 400; ++i) {
        VemorLogRecord r;
        r.fid = 7;
        r.date = EncodeDate(2007, 1, 1) + i / 100;
        r.time = EncodeTime(0, i % 60, i % 59, 0);
        r.milSec = 20 * (i % 50);
        ASSERT_TRUE(AddVemorLogRecord(q, r));
        ASSERT_LE(WalSize(), 2 * kSmallLog) << i;
    }
}

TEST_F(LogSpaceTest, TheSecondDeviceKindsDownloadEmptiesTheLogToo)
{
    TfrmMain w;
    w.GlobalTimer.stop();
    auto& f = w.Form();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    w.cmbDeviceChange();
    SelectedNumber = 7;
    // A full log reply: channel mask, number, then the clock 07.03.05 08:00:ss in BCD.
    QByteArray records;
    for (int i = 0; i < 28; ++i)
        records += QByteArray("\x01\x00", 2) + char(i) + char(((i / 10) << 4) | (i % 10)) +
                   QByteArray("\x00\x08\x05\x03\x07", 5);
    w.SendCommand(30);
    w.AppendReceived(sim::MakeFrame(2, 7, 30, records));
    w.DataTimerTimer();
    ASSERT_GT(WalSize(), 0);
    // The account is the download's last reply.
    w.SendCommand(31);
    w.AppendReceived(sim::MakeFrame(2, 7, 31, QByteArray(37, '\0')));
    w.DataTimerTimer();
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from cprotokol where fid=7")), 28);
    EXPECT_EQ(WalSize(), 0);
}
