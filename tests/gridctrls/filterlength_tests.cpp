// The filter row with as long a text as its editor takes.
#include "grid/dbgridex.h"
#include "grid/dbgridexfilterrow.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/memdataset.h"
#include "tests/support/error_recorder.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <gtest/gtest.h>


TEST(FilterRowText, AFullEditorOfNotsIsRefusedWithAMessage)
{
    TMemDataSet ds;
    ds.AddField(ftString, "Name", 20);
    ds.Open();
    ds.AppendRecord({Variant(QString("Anna"))});
    TDataSource source;
    source.SetDataSet(&ds);
    TDBGridEx grid;
    grid.resize(400, 200);
    grid.SetDataSource(&source);
    grid.STFilter().SetVisible(true);
    int applied = 0;
    grid.OnApplyFilter = [&](TCustomDBGridEx&) { ++applied; };
    grid.show();
    QApplication::setActiveWindow(&grid);
    grid.ShowFilterEditor(0);
    ASSERT_TRUE(grid.FilterEditing());
    TInplaceFilterEditEx& editor = *grid.FilterEditor();
    editor.setFocus();

    // More than the editor takes is pasted: it keeps 32 767 characters.
    QApplication::clipboard()->setText(QString(40000, QLatin1Char('!')) + QStringLiteral("~a"));
    QTest::keyClick(&editor, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(editor.Text(), QString(32767, QLatin1Char('!')));

    ErrorRecorder reported;
    QTest::keyClick(&editor, Qt::Key_Return);
    ASSERT_EQ(reported.texts.size(), 1);
    EXPECT_TRUE(reported.texts[0].startsWith("Error in expression: !!!"));
    EXPECT_EQ(applied, 0);
    EXPECT_TRUE(grid.Columns()[0]->STFilter().FilterText().isEmpty());
}
