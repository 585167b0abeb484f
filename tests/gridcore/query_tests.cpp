// The grid over a query of a database file, as the program's log page uses it: columns bound to
// the query, a count footer and a channel sum, reopening with other parameters.
#include "grid/dbgridex.h"

#include "platform/datasource.h"
#include "platform/query.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(GridQuery, LogColumnsFootersAndReopen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto db = TDatabase::Open(dir.filePath("log.db"), true);
    db->Execute("create table clog (fid INTEGER, fnum SMALLINT, f1 SMALLINT, f2 SMALLINT)");
    for (int i = 1; i <= 12; ++i)
        db->Execute(QString("insert into clog values (%1, %2, %3, %4)").arg(i <= 8 ? 7 : 9).arg(i).arg(i % 2).arg(1));

    TQuery q;
    q.SetDatabaseName(dir.path());
    q.SetDatabaseFile("log.db");
    q.SetSQL("select fnum, f1, f2 from clog where fid = :pID order by fnum");
    q.ParamByName("pID").SetAsInteger(7);
    TDataSource ds(&q);

    TDBGridEx g;
    g.resize(300, 240);
    g.BeginLayout();
    g.SetUseMultiTitle(true);
    g.SetFooterRowCount(1);
    g.SumList().SetActive(true);
    g.SetOptions({dgTitles, dgColLines, dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit});
    TColumnEx* num = g.Columns().Add();
    num->SetFieldName("fnum");
    num->Title().SetCaption("Время");
    num->Footer().SetValueType(fvtCount);
    for (const char* name : {"f1", "f2"}) {
        TColumnEx* c = g.Columns().Add();
        c->SetFieldName(name);
        c->SetWidth(20);
        c->Title().SetCaption(QString(" %1").arg(name + 1));
        c->Title().SetOrientation(tohVertical);
        c->Footer().SetValueType(fvtSum);
    }
    g.EndLayout();
    g.SetDataSource(&ds);
    g.show();
    q.Open();
    q.Last();

    EXPECT_EQ(g.Columns().Count(), 3);
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[0]), "8");
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[1]), "4");
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[2]), "8");
    // The current row is the last record's.
    EXPECT_EQ(g.Row(), g.TopDataOffset() + g.DataLink().ActiveRecord());
    EXPECT_EQ(g.GetCellType(1, g.Row()).AreaRow, g.DataLink().ActiveRecord());

    q.Close();
    q.ParamByName("pID").SetAsInteger(9);
    q.Open();
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[0]), "4");
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[2]), "4");
    EXPECT_EQ(g.RowCount(), g.TopDataOffset() + 4 + 1 + 1);
}
