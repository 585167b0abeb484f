#include "app/tables.h"
#include "platform/query.h"
#include "tests/tables/biglog.h"
#include "tests/tables/heap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// The log page's time text with milliseconds, as the main window computes it.
void AddTimeText(TQuery& qryProtokol)
{
    qryProtokol.OnCalcFields.Add([](TDataSet& d) {
        d.FieldByName("fTimeStr")->SetAsString(FormatDateTime("hh:nn:ss", d.FieldByName("FTime")->AsDateTime()) + ":" +
                                               FormatFloat("000", d.FieldByName("FmilSec")->AsInteger()));
    });
}

class TablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        bases = dir.filePath("bases/");
        OpenBases(bases);
        AttachQuery(qryEdit, bases);
        AttachQuery(check, bases);
    }

    int Count(const QString& sql)
    {
        check.Close();
        check.SetSQL(sql);
        check.Open();
        return check.Field(0)->AsInteger();
    }

    VemorLogRecord Record(int fid, int y, int m, int d, int h, int n, int s, int ms)
    {
        VemorLogRecord r;
        r.fid = fid;
        r.date = EncodeDate(y, m, d);
        r.time = EncodeTime(h, n, s, 0);
        r.milSec = ms;
        r.u = 380;
        r.engine = true;
        r.btn = {true, false, true, false};
        return r;
    }

    QTemporaryDir dir;
    QString bases;
    TQuery qryEdit;
    TQuery check;
};

}  // namespace

TEST_F(TablesTest, FirstRunCreatesAllSixTablesAndASecondRunKeepsThem)
{
    EXPECT_TRUE(QFile::exists(bases + "vemor.db"));
    check.SetSQL("select name from sqlite_master where type='table' order by name");
    check.Open();
    QStringList names;
    for (; !check.Eof(); check.Next())
        names << check.FieldByName("name")->AsString();
    EXPECT_EQ(names, (QStringList{"cprotokol", "sulm", "sulm_n", "vemors", "vemors_i", "vprotokol"}));
    check.Close();
    StoreVemorSpeed(qryEdit, 5, 2);
    OpenBases(bases);
    EXPECT_EQ(Count("select count(*) from vemors"), 1);
}

TEST_F(TablesTest, VemorStatementsCreateRowsAndStoreEveryValue)
{
    StoreVemorSpeed(qryEdit, 1234, 6);   // first seen: rows made in both tables
    EXPECT_FALSE(qryEdit.Active());
    EXPECT_EQ(Count("select count(*) from vemors_i where fid=1234"), 1);

    VemorParameters p;
    p.upko = 48;
    p.invert = {true, false, false, true};
    p.invertEngine = true;
    p.personalKontrolKO = true;
    p.writeEngineOn = {false, true, false, false};
    p.writeEngineOffUk = true;
    p.filtrKO = 30;
    p.delay = {20, 40, 60, 80};
    p.delayEngine = 100;
    p.delayRazr = 120;
    p.delayUn = 140;
    p.delayUk = 160;
    p.razrSelfOn = true;
    p.isBtn = {true, true, false, false};
    p.razr = true;
    p.ureg = 380;
    p.ualert = 300;
    p.tpause = 5;
    p.tblock = 60;
    p.koef = 1.234;
    p.clockText = DeviceClockText(5, 3, 7, 8, 4, 9);
    StoreVemorParameters(qryEdit, 77, p);   // a device never identified before
    StoreVemorContactTypes(qryEdit, 77, {2, 0, 4, 1});
    StoreVemorAccount(qryEdit, 77, 300, 12, EncodeDateTime(2007, 5, 10, 12, 0, 0, 0));

    SelectVemorRow(qryEdit, 77);
    ASSERT_EQ(qryEdit.RecordCount(), 1);
    EXPECT_EQ(qryEdit.FieldByName("fupko")->AsInteger(), 48);
    EXPECT_TRUE(qryEdit.FieldByName("finvert1")->AsBoolean());
    EXPECT_FALSE(qryEdit.FieldByName("finvert2")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("finvert4")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("finvertengine")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("fpersonalkontrolko")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("fwriteengineon2")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("fwriteengineoffuk")->AsBoolean());
    EXPECT_EQ(qryEdit.FieldByName("ffiltrko")->AsInteger(), 30);
    EXPECT_EQ(qryEdit.FieldByName("fdelay4")->AsInteger(), 80);
    EXPECT_EQ(qryEdit.FieldByName("fdelayuk")->AsInteger(), 160);
    EXPECT_TRUE(qryEdit.FieldByName("frazrselfon")->AsBoolean());
    EXPECT_TRUE(qryEdit.FieldByName("fisbtn2")->AsBoolean());
    EXPECT_FALSE(qryEdit.FieldByName("fisbtn3")->AsBoolean());
    EXPECT_EQ(qryEdit.FieldByName("fureg")->AsInteger(), 380);
    EXPECT_EQ(qryEdit.FieldByName("ftblock")->AsInteger(), 60);
    EXPECT_DOUBLE_EQ(qryEdit.FieldByName("fkoef")->AsFloat(), 1.234);
    EXPECT_EQ(qryEdit.FieldByName("fdatetime")->AsString(), "05.03.2007  8:04:09");
    EXPECT_EQ(qryEdit.FieldByName("fbtn1")->AsInteger(), 2);
    EXPECT_EQ(qryEdit.FieldByName("fbtn3")->AsInteger(), 4);
    EXPECT_EQ(qryEdit.FieldByName("fon")->AsInteger(), 300);
    EXPECT_EQ(qryEdit.FieldByName("fselfon")->AsInteger(), 12);
    EXPECT_EQ(qryEdit.FieldByName("fbegin")->DataType(), ftDateTime);
    EXPECT_DOUBLE_EQ(qryEdit.FieldByName("fbegin")->AsDateTime(), EncodeDateTime(2007, 5, 10, 12, 0, 0, 0));
    EXPECT_EQ(qryEdit.FieldByName("fid_1")->AsInteger(), 77);

    SelectVemorLiveBinding(qryEdit, 77);
    EXPECT_EQ(qryEdit.FieldCount(), 10);
    EXPECT_EQ(qryEdit.FieldByName("fualert")->AsInteger(), 300);
    SelectVemorSpeed(qryEdit, 1234);
    EXPECT_EQ(qryEdit.FieldByName("fspeed")->AsInteger(), 6);
    SelectVemorSpeed(qryEdit, 999);   // unknown device: no row
    EXPECT_TRUE(qryEdit.IsEmpty());
    SelectVemorIds(qryEdit);
    EXPECT_EQ(qryEdit.RecordCount(), 2);
}

TEST_F(TablesTest, SulmStatements)
{
    StoreSulmSpeed(qryEdit, 12, 3);
    StoreSulmParameters(qryEdit, 12, 25, DeviceClockText(1, 12, 9, 23, 0, 5), "1000000000000001");
    StoreSulmAccount(qryEdit, 12, DeviceClockText(2, 1, 10, 0, 0, 0));
    check.SetSQL("insert into sulm_n (fid, fpin, fname) values (12, 2, 'два'), (12, 1, 'один')");
    check.ExecSQL();

    SelectSulmRow(qryEdit, 12);
    EXPECT_EQ(qryEdit.FieldByName("fpause")->AsInteger(), 25);
    EXPECT_EQ(qryEdit.FieldByName("finvert")->AsString(), "1000000000000001");
    EXPECT_EQ(qryEdit.FieldByName("fdatetime")->AsString(), "01.12.2009  23:00:05");
    SelectSulmAccount(qryEdit, 12);
    EXPECT_EQ(qryEdit.FieldByName("fBegin")->AsString(), "02.01.2010  0:00:00");
    SelectSulmSpeed(qryEdit, 12);
    EXPECT_EQ(qryEdit.FieldByName("fspeed")->AsInteger(), 3);
    SelectSulmNames(qryEdit, 12);
    ASSERT_EQ(qryEdit.RecordCount(), 2);
    EXPECT_EQ(qryEdit.FieldByName("fname")->AsString(), "один");
}

TEST_F(TablesTest, ASecondDownloadOfTheSameRecordAddsNothing)
{
    const VemorLogRecord r = Record(5, 2007, 5, 10, 11, 59, 59, 460);
    EXPECT_TRUE(AddVemorLogRecord(qryEdit, r));
    EXPECT_FALSE(AddVemorLogRecord(qryEdit, r));
    VemorLogRecord other = r;
    other.milSec = 480;
    EXPECT_TRUE(AddVemorLogRecord(qryEdit, other));
    EXPECT_EQ(Count("select count(*) from vprotokol"), 2);

    const TDateTime d = EncodeDate(2008, 2, 29);
    const TDateTime t = EncodeTime(23, 59, 58, 0);
    EXPECT_TRUE(AddSulmLogRecord(qryEdit, 9, d, t, 1, 0x8001));
    EXPECT_FALSE(AddSulmLogRecord(qryEdit, 9, d, t, 1, 0x0000));
    EXPECT_EQ(Count("select f1 + f16 * 10 from cprotokol"), 11);

    DeleteVemorLog(qryEdit, 5);
    DeleteSulmLog(qryEdit, 9);
    EXPECT_EQ(Count("select count(*) from vprotokol") + Count("select count(*) from cprotokol"), 0);
}

TEST_F(TablesTest, ALogTimeIsKeptToTheSecond)
{
    // Milliseconds have their own column: a time that carries some is the same event time.
    VemorLogRecord r = Record(5, 2007, 5, 10, 11, 59, 59, 460);
    r.time = EncodeTime(11, 59, 59, 460);
    EXPECT_TRUE(AddVemorLogRecord(qryEdit, r));
    EXPECT_FALSE(AddVemorLogRecord(qryEdit, Record(5, 2007, 5, 10, 11, 59, 59, 460)));
    EXPECT_FALSE(AddSulmLogRecord(qryEdit, 9, r.date, EncodeTime(8, 0, 1, 0), 3, 1) &&
                 AddSulmLogRecord(qryEdit, 9, r.date, EncodeTime(8, 0, 1, 999), 3, 1));
    check.Close();
    check.SetSQL("select ftime || '' from vprotokol union all select ftime || '' from cprotokol");
    check.Open();
    QStringList times;
    for (; !check.Eof(); check.Next())
        times << check.Field(0)->AsString();
    EXPECT_EQ(times, (QStringList{"11:59:59", "08:00:01"}));
}

TEST_F(TablesTest, LogQueryFiltersByDaysAndOrdersAcrossMonthAndYear)
{
    AddVemorLogRecord(qryEdit, Record(5, 2007, 2, 1, 0, 0, 0, 0));
    AddVemorLogRecord(qryEdit, Record(5, 2007, 1, 31, 23, 59, 59, 980));
    AddVemorLogRecord(qryEdit, Record(5, 2007, 1, 1, 0, 0, 0, 20));
    AddVemorLogRecord(qryEdit, Record(5, 2006, 12, 31, 23, 59, 59, 0));
    AddVemorLogRecord(qryEdit, Record(5, 2007, 1, 1, 0, 0, 0, 0));
    AddVemorLogRecord(qryEdit, Record(5, 2006, 12, 30, 8, 0, 1, 20));
    AddVemorLogRecord(qryEdit, Record(6, 2007, 1, 1, 0, 0, 0, 0));   // another device

    TQuery qryProtokol;
    AttachQuery(qryProtokol, bases);
    SetupVemorLogQuery(qryProtokol);
    AddTimeText(qryProtokol);
    // The date dialog's range: the first day from 00:00:00, the last to 23:59:59.
    SetLogQueryRange(qryProtokol, 5, EncodeDate(2006, 12, 31), EncodeDateTime(2007, 1, 31, 23, 59, 59, 0));
    qryProtokol.Open();
    QStringList rows;
    for (; !qryProtokol.Eof(); qryProtokol.Next())
        rows << qryProtokol.FieldByName("FDate")->DisplayText() + " " + qryProtokol.FieldByName("fTimeStr")->AsString();
    EXPECT_EQ(rows, (QStringList{"31.12.2006 23:59:59:000", "01.01.2007 00:00:00:000", "01.01.2007 00:00:00:020",
                                 "31.01.2007 23:59:59:980"}));
    EXPECT_EQ(qryProtokol.Field(0)->FieldName(), "FId");
    EXPECT_EQ(qryProtokol.FieldByName("FVemorOn")->DataType(), ftBoolean);
    EXPECT_TRUE(qryProtokol.FieldByName("FEngine")->AsBoolean());
    EXPECT_EQ(qryProtokol.FieldByName("FTime")->DisplayText(), "23:59:59");
    qryProtokol.Close();

    SetLogQueryRange(qryProtokol, 5, LogRangeAllStart(), LogRangeAllEnd());
    qryProtokol.Open();
    EXPECT_EQ(qryProtokol.RecordCount(), 6);
    qryProtokol.First();
    EXPECT_EQ(qryProtokol.FieldByName("fTimeStr")->AsString(), "08:00:01:020");
    qryProtokol.Close();

    SetLogQueryRange(qryProtokol, 5, EncodeDate(2007, 3, 1), EncodeDate(2007, 2, 1));   // start after end
    qryProtokol.Open();
    EXPECT_TRUE(qryProtokol.IsEmpty());
}

TEST_F(TablesTest, SulmLogQueryFieldsAndOrder)
{
    AddSulmLogRecord(qryEdit, 9, EncodeDate(2010, 1, 1), EncodeTime(0, 0, 0, 0), 2, 0x0002);
    AddSulmLogRecord(qryEdit, 9, EncodeDate(2009, 12, 31), EncodeTime(23, 0, 0, 0), 7, 0x0001);
    TQuery qryCProtokol;
    AttachQuery(qryCProtokol, bases);
    SetupSulmLogQuery(qryCProtokol);
    SetLogQueryRange(qryCProtokol, 9, LogRangeAllStart(), LogRangeAllEnd());
    qryCProtokol.Open();
    ASSERT_EQ(qryCProtokol.RecordCount(), 2);
    EXPECT_EQ(qryCProtokol.FieldByName("FDate")->DisplayText(), "31.12.09");
    EXPECT_EQ(qryCProtokol.FieldByName("FNum")->AsInteger(), 7);
    EXPECT_EQ(qryCProtokol.FieldByName("F1")->AsInteger(), 1);
    qryCProtokol.Last();
    EXPECT_EQ(qryCProtokol.FieldByName("F2")->AsInteger(), 1);
    EXPECT_EQ(qryCProtokol.FieldCount(), 20);
}

TEST_F(TablesTest, AnOpenLogCostsAFewTimesItsRowsSizeInTheFile)
{
    constexpr int kRows = 20000;
    qryEdit.SetSQL(BigLogSql(5, kRows));
    qryEdit.ExecSQL();
    qryEdit.SetSQL("pragma wal_checkpoint(truncate)");
    qryEdit.Open();
    qryEdit.Close();
    const double fileBytesPerRow = double(QFileInfo(bases + "vemor.db").size()) / kRows;

    TQuery qryProtokol;
    AttachQuery(qryProtokol, bases);
    SetupVemorLogQuery(qryProtokol);
    AddTimeText(qryProtokol);
    SetLogQueryRange(qryProtokol, 5, LogRangeAllStart(), LogRangeAllEnd());
    const std::size_t before = HeapInUse();
    qryProtokol.Open();
    // The grid asks for record numbers and bookmarks of any row.
    qryProtokol.Last();
    const TBookmark last = qryProtokol.GetBookmark();
    qryProtokol.First();
    qryProtokol.GotoBookmark(last);
    const double heapBytesPerRow = double(HeapInUse() - before) / kRows;
    ASSERT_EQ(qryProtokol.RecordCount(), kRows);
    EXPECT_EQ(qryProtokol.RecNo(), kRows);
    EXPECT_LE(heapBytesPerRow, 3 * fileBytesPerRow) << "file " << fileBytesPerRow << " bytes a row";

    // The compact rows read back as the values they were.
    qryProtokol.SetRecNo(1235);
    EXPECT_EQ(qryProtokol.FieldByName("FDate")->AsDateTime(), EncodeDate(2007, 1, 1));
    EXPECT_EQ(qryProtokol.FieldByName("FTime")->AsDateTime(), EncodeTime(3, 25, 40, 0));
    EXPECT_FALSE(qryProtokol.FieldByName("FVemorOn")->AsBoolean());
    EXPECT_TRUE(qryProtokol.FieldByName("FBtn1")->AsBoolean());
    EXPECT_FALSE(qryProtokol.FieldByName("FBtn3")->AsBoolean());
    qryProtokol.Next();
    EXPECT_TRUE(qryProtokol.FieldByName("FVemorOn")->AsBoolean());
    qryProtokol.Prior();
    EXPECT_EQ(qryProtokol.FieldByName("FU")->AsInteger(), 384);
    EXPECT_EQ(qryProtokol.FieldByName("fTimeStr")->AsString(), "03:25:40:680");
}

TEST(TablesFailures, AFolderThatCannotBeMadeGivesAClearError)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("bases"));   // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        OpenBases(dir.filePath("bases/"));
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains("vemor.db")) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("не удается создать"))) << e.Message().toStdString();
    }
}

TEST(TablesFailures, AnUnwritableFolderGivesAClearErrorAndLeavesNothing)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    QTemporaryDir dir;
    const QString bases = dir.filePath("bases/");
    ASSERT_TRUE(QDir().mkpath(bases));
    ASSERT_TRUE(QFile::setPermissions(bases, QFile::ReadOwner | QFile::ExeOwner));
    try {
        OpenBases(bases);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains("vemor.db")) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("нет права записи"))) << e.Message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(bases + "vemor.db"));
    QFile::setPermissions(bases, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(TablesFailures, AFileThatIsNotADatabaseIsReportedAndKept)
{
    QTemporaryDir dir;
    const QString bases = dir.filePath("bases/");
    ASSERT_TRUE(QDir().mkpath(bases));
    QFile junk(bases + "vemor.db");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'z'));
    junk.close();
    try {
        OpenBases(bases);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("База данных %1 недоступна: файл не является базой данных").arg(bases + "vemor.db"));
    }
    EXPECT_EQ(QFileInfo(bases + "vemor.db").size(), 2048);
}

// The message of the exception a call raises ("" when none).
QString ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

TEST(TablesFailures, AfterAFailedStartEveryActionSaysWhyAndTheNextOneTriesAgain)
{
    QTemporaryDir dir;
    const QString bases = dir.filePath("bases/");
    const QString file = bases + "vemor.db";
    ASSERT_TRUE(QDir().mkpath(bases));
    QFile junk(file);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'z'));
    junk.close();
    TQuery qryEdit;
    AttachQuery(qryEdit, bases);
    const QString why = QStringLiteral("База данных %1 недоступна: файл не является базой данных").arg(file);
    EXPECT_EQ(ErrorOf([&] { OpenBases(bases); }), why);
    EXPECT_EQ(ErrorOf([&] { StoreVemorSpeed(qryEdit, 7, 2); }), why);
    EXPECT_EQ(ErrorOf([&] { SelectVemorIds(qryEdit); }), why);

    // The operator moves the broken file away: the next action creates the tables and works.
    ASSERT_TRUE(QFile::rename(file, file + ".broken"));
    EXPECT_EQ(ErrorOf([&] { StoreVemorSpeed(qryEdit, 7, 2); }), QString());
    SelectVemorSpeed(qryEdit, 7);
    EXPECT_EQ(qryEdit.FieldByName("fspeed")->AsInteger(), 2);
    SelectSulmRow(qryEdit, 7);
    EXPECT_TRUE(qryEdit.Eof());
}

TEST_F(TablesTest, StatementErrorsSayWhatHappenedToWhichFileAndTheStatementGoesToStandardError)
{
    const QString file = bases + "vemor.db";
    auto db = TDatabase::Open(file);
    // A disk that is full: the file may not grow by a page.
    TQuery pages;
    AttachQuery(pages, bases);
    pages.SetSQL("pragma page_count");
    pages.Open();
    db->Execute(QStringLiteral("pragma max_page_count=%1").arg(pages.Field(0)->AsInteger()));
    testing::internal::CaptureStderr();
    QString error;
    for (int i = 0; i < 2000 && error.isEmpty(); ++i)
        error = ErrorOf([&] { AddVemorLogRecord(qryEdit, Record(7, 2007, 5, 10, 1, i / 60, i % 60, 0)); });
    const std::string detail = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, QStringLiteral("База данных %1 : диск заполнен").arg(file));
    EXPECT_NE(detail.find("insert or ignore into vprotokol"), std::string::npos) << detail;
    db->Execute("pragma max_page_count=1073741823");

    // A database that may only be read.
    db->Execute("pragma query_only=1");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ErrorOf([&] { StoreVemorSpeed(qryEdit, 7, 2); }),
              QStringLiteral("База данных %1 открыта только для чтения").arg(file));
    testing::internal::GetCapturedStderr();
    db->Execute("pragma query_only=0");
    EXPECT_EQ(ErrorOf([&] { StoreVemorSpeed(qryEdit, 7, 2); }), QString());
}
