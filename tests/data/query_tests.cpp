#include "platform/query.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("t.db");
        db = TDatabase::Open(file, true);
        db->Execute("create table t (id INTEGER primary key, small SMALLINT, flag BOOLEAN, r REAL,"
                    " d DATE, tm TIME, dt DATETIME, txt TEXT, name VARCHAR(12));"
                    "create table u (id INTEGER, extra VARCHAR(5))");
        q.SetDatabaseName(dir.path());
        q.SetDatabaseFile("t.db");
    }

    QTemporaryDir dir;
    QString file;
    std::shared_ptr<TDatabase> db;
    TQuery q;
};

}  // namespace

TEST_F(QueryTest, FieldsAreTypedFromDeclaredColumnsAndValuesRoundTrip)
{
    q.SetSQL("insert into t values (:id, :small, :flag, :r, :d, :tm, :dt, :txt, :name)");
    ASSERT_EQ(q.ParamCount(), 9);
    q.ParamByName("id").SetAsInteger(1);
    q.ParamByName("small").SetAsInteger(-5);
    q.ParamByName("flag").SetAsBoolean(true);
    q.ParamByName("r").SetAsFloat(1.234);
    q.ParamByName("d").SetAsDate(EncodeDateTime(2007, 5, 10, 23, 59, 59, 0));
    q.ParamByName("tm").SetAsTime(EncodeTime(8, 0, 1, 0));
    q.ParamByName("dt").SetAsDateTime(EncodeDateTime(2007, 5, 10, 12, 0, 0, 0));
    q.ParamByName("txt").SetAsString("длинный текст");
    q.ParamByName("name").SetAsString("Имя");
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 1);

    q.SetSQL("select * from t");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("id")->DataType(), ftInteger);
    EXPECT_EQ(q.FieldByName("small")->DataType(), ftSmallint);
    EXPECT_EQ(q.FieldByName("flag")->DataType(), ftBoolean);
    EXPECT_EQ(q.FieldByName("r")->DataType(), ftFloat);
    EXPECT_EQ(q.FieldByName("d")->DataType(), ftDate);
    EXPECT_EQ(q.FieldByName("tm")->DataType(), ftTime);
    EXPECT_EQ(q.FieldByName("dt")->DataType(), ftDateTime);
    EXPECT_EQ(q.FieldByName("txt")->DataType(), ftMemo);
    EXPECT_EQ(q.FieldByName("name")->DataType(), ftString);
    EXPECT_EQ(q.FieldByName("name")->Size(), 12);
    EXPECT_EQ(q.FieldByName("small")->AsInteger(), -5);
    EXPECT_TRUE(q.FieldByName("flag")->AsBoolean());
    EXPECT_DOUBLE_EQ(q.FieldByName("r")->AsFloat(), 1.234);
    EXPECT_DOUBLE_EQ(q.FieldByName("d")->AsDateTime(), EncodeDate(2007, 5, 10));
    EXPECT_DOUBLE_EQ(q.FieldByName("tm")->AsDateTime(), EncodeTime(8, 0, 1, 0));
    EXPECT_DOUBLE_EQ(q.FieldByName("dt")->AsDateTime(), EncodeDateTime(2007, 5, 10, 12, 0, 0, 0));
    EXPECT_EQ(q.FieldByName("txt")->AsString(), "длинный текст");
    EXPECT_EQ(q.FieldByName("name")->AsString(), "Имя");
    q.Close();

    // Stored as ISO text, so that order and ranges work in SQL.
    q.SetSQL("select d, tm, dt, typeof(flag) as kind, count(*) as n from t");
    q.Open();
    EXPECT_EQ(q.FieldByName("n")->DataType(), ftInteger);
    EXPECT_EQ(q.FieldByName("kind")->AsString(), "integer");
    q.Close();
    TQuery raw;
    raw.SetDatabaseName(file);
    raw.SetSQL("select cast(d as text) as d, cast(tm as text) as tm, cast(dt as text) as dt from t");
    raw.Open();
    EXPECT_EQ(raw.FieldByName("d")->AsString(), "2007-05-10");
    EXPECT_EQ(raw.FieldByName("tm")->AsString(), "08:00:01");
    EXPECT_EQ(raw.FieldByName("dt")->AsString(), "2007-05-10 12:00:00");
}

TEST_F(QueryTest, JoinedColumnsOfOneNameGetDistinctFields)
{
    db->Execute("insert into t (id, name) values (7, 'a'); insert into u values (7, 'x')");
    q.SetSQL("select t.*, u.* from t, u where t.id=:pID and t.id=u.id");
    q.ParamByName("pID").SetAsInteger(7);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("id")->AsInteger(), 7);
    EXPECT_EQ(q.FieldByName("id_1")->AsInteger(), 7);
    EXPECT_EQ(q.FieldByName("extra")->AsString(), "x");
    EXPECT_TRUE(q.DefaultFields());
    q.Close();
    EXPECT_EQ(q.FieldCount(), 0);   // made fields go with the result
}

TEST_F(QueryTest, ParametersAreCheckedAndKeptAcrossTextChanges)
{
    q.SetSQL("select * from t where id=:pID and name=':notaparam' -- :comment");
    ASSERT_EQ(q.ParamCount(), 1);
    EXPECT_THROW(q.ParamByName("comment"), EDatabaseError);
    EXPECT_THROW(q.Open(), EDatabaseError);   // no value yet
    q.ParamByName("pid").SetAsInteger(3);
    q.SetSQL("select * from t where id=:pID");
    EXPECT_EQ(q.ParamByName("pID").Value.AsInteger(), 3);
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
    EXPECT_THROW(q.Edit(), EDatabaseError);   // a query result is read-only
    q.Close();

    // An injected text stays a value.
    q.SetSQL("insert into u values (1, :x)");
    q.ParamByName("x").SetAsString("'); drop table t; --");
    q.ExecSQL();
    q.SetSQL("select count(*) as n from t");
    q.Open();
    EXPECT_EQ(q.FieldByName("n")->AsInteger(), 0);
}

TEST_F(QueryTest, SeveralStatementsRunAllOrNothing)
{
    q.SetSQL("insert into t (id) values (1); insert into t (id) values (1)");
    EXPECT_THROW(q.ExecSQL(), EDatabaseError);
    q.SetSQL("select count(*) as n from t");
    q.Open();
    EXPECT_EQ(q.FieldByName("n")->AsInteger(), 0);
    q.Close();
    q.SetSQL("insert into t (id) values (1); update t set small=2 where id=1");
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 1);
}

TEST_F(QueryTest, DeclaredFieldsKeepAttributesAndMustBePresent)
{
    db->Execute("insert into t (id, name) values (1, 'a'), (2, 'b')");
    q.SetSQL("select id, name from t order by id");
    q.AddField(ftInteger, "id")->SetDisplayLabel("Номер");
    q.AddField(ftString, "label", 20, fkCalculated);
    q.OnCalcFields.Add([](TDataSet& d) { d.FieldByName("label")->SetAsString("#" + d.FieldByName("id")->AsString()); });
    q.Open();
    EXPECT_FALSE(q.DefaultFields());
    EXPECT_EQ(q.FieldCount(), 2);   // "name" has no declared field
    EXPECT_EQ(q.FindField("name"), nullptr);
    q.Last();
    EXPECT_EQ(q.FieldByName("label")->AsString(), "#2");
    q.Close();
    EXPECT_EQ(q.FieldByName("id")->DisplayLabel(), "Номер");
    q.AddField(ftString, "missing", 5);
    EXPECT_THROW(q.Open(), EDatabaseError);
    EXPECT_FALSE(q.Active());
}

TEST(Database, OpenErrorsNameTheFileAndTheReason)
{
    QTemporaryDir dir;
    const QString junk = dir.filePath("junk.db");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    try {
        TDatabase::Open(junk);
        FAIL() << "a file that is not a database was opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("База данных %1 недоступна: файл не является базой данных").arg(junk));
    }
    try {
        TDatabase::Open(dir.filePath("missing.db"));
        FAIL() << "a missing file was opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("База данных %1 недоступна: файл не найден").arg(dir.filePath("missing.db")));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.db")));
}

TEST(Database, OneConnectionPerFile)
{
    QTemporaryDir dir;
    auto a = TDatabase::Open(dir.filePath("x.db"), true);
    auto b = TDatabase::Open(dir.filePath("./x.db"));
    EXPECT_EQ(a.get(), b.get());
}

TEST(IsoDates, ParseAndFormat)
{
    TDateTime v = 0;
    ASSERT_TRUE(TryParseIsoDateTime("2099-12-31", v));
    EXPECT_DOUBLE_EQ(v, EncodeDate(2099, 12, 31));
    ASSERT_TRUE(TryParseIsoDateTime("2007-05-10 08:04:09.020", v));
    EXPECT_EQ(IsoDateTimeText(v, ftDateTime), "2007-05-10 08:04:09.020");
    ASSERT_TRUE(TryParseIsoDateTime("23:59:59", v));
    EXPECT_EQ(IsoDateTimeText(v, ftTime), "23:59:59");
    EXPECT_FALSE(TryParseIsoDateTime("10.05.2007", v));
    EXPECT_FALSE(TryParseIsoDateTime("2007-02-30", v));
    int size = 0;
    EXPECT_EQ(FieldTypeFromDecl("varchar(75)", size), ftString);
    EXPECT_EQ(size, 75);
    EXPECT_EQ(FieldTypeFromDecl("", size), ftUnknown);
}
