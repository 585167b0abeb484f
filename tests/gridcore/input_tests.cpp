// Keyboard and mouse of the grid.
#include "gridfixture.h"

#include "platform/application.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

void Key(TDBGridEx& g, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(&g, key, mods);
}

// Answers message boxes with one button and records them.
struct BoxRecorder {
    QStringList texts;
    MsgButton answer;
    MessageBoxHook previous;
    explicit BoxRecorder(MsgButton a) : answer(a)
    {
        previous = SetMessageBoxHook([this](const MessageBoxRequest& r) {
            texts << r.text;
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(previous); }
};

} // namespace

TEST(GridKeys, ArrowsPagesAndEndsMoveTheDataSet)
{
    GridFixture f(40, 400, 200);
    TDBGridEx& g = *f.grid;
    Key(g, Qt::Key_Down);
    EXPECT_EQ(f.ds->RecNo(), 2);
    EXPECT_EQ(g.Row(), g.TopDataOffset() + 1);
    Key(g, Qt::Key_Up);
    EXPECT_EQ(f.ds->RecNo(), 1);
    const int page = g.GetVisibleDataRowCount();
    Key(g, Qt::Key_PageDown);
    EXPECT_EQ(f.ds->RecNo(), 1 + page);
    Key(g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(f.ds->RecNo(), 40);
    EXPECT_EQ(g.Row(), g.TopDataOffset() + g.GetDataRowCount() - 1);
    Key(g, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(f.ds->RecNo(), 1);
    // Right and Left move between columns.
    EXPECT_EQ(g.SelectedIndex(), 0);
    Key(g, Qt::Key_Right);
    EXPECT_EQ(g.SelectedIndex(), 1);
    Key(g, Qt::Key_End);
    EXPECT_EQ(g.SelectedIndex(), 4);
    Key(g, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(g.SelectedIndex(), 0);
}

TEST(GridKeys, RowSelectScrollsColumnsInsteadOfMovingTheCurrentOne)
{
    GridFixture f(5, 150, 200);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() + TDBGridOptions{dgRowSelect});
    const int col = g.Col();
    const int left = g.LeftCol();
    Key(g, Qt::Key_Right);
    EXPECT_EQ(g.Col(), col);
    EXPECT_EQ(g.LeftCol(), left + 1);
    Key(g, Qt::Key_Left);
    EXPECT_EQ(g.LeftCol(), left);
    // Home and End go to the first and last record under row selection.
    Key(g, Qt::Key_End);
    EXPECT_EQ(f.ds->RecNo(), 5);
}

TEST(GridKeys, DownPastTheEndAppendsOnlyWhenEditingIsAllowed)
{
    GridFixture f(2);
    TDBGridEx& g = *f.grid;
    Key(g, Qt::Key_Down);
    Key(g, Qt::Key_Down);
    EXPECT_EQ(f.ds->State(), dsInsert);
    // An unchanged appended record goes again with Up.
    Key(g, Qt::Key_Up);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->RecordCount(), 2);

    g.SetOptions(g.Options() - TDBGridOptions{dgEditing});
    f.ds->Last();
    Key(g, Qt::Key_Down);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->RecordCount(), 2);
}

TEST(GridKeys, TabPastTheLastColumnGoesToTheNextRecord)
{
    GridFixture f(3);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() - TDBGridOptions{dgEditing});
    Key(g, Qt::Key_End);
    EXPECT_EQ(g.SelectedIndex(), 4);
    Key(g, Qt::Key_Tab);
    EXPECT_EQ(g.SelectedIndex(), 0);
    EXPECT_EQ(f.ds->RecNo(), 2);
    Key(g, Qt::Key_Backtab);
    EXPECT_EQ(g.SelectedIndex(), 4);
    EXPECT_EQ(f.ds->RecNo(), 1);
}

TEST(GridKeys, CtrlDeleteAsksFirst)
{
    GridFixture f(4);
    TDBGridEx& g = *f.grid;
    {
        BoxRecorder box(mbCancel);
        Key(g, Qt::Key_Delete, Qt::ControlModifier);
        ASSERT_EQ(box.texts, QStringList{"Delete record?"});
        EXPECT_EQ(f.ds->RecordCount(), 4);
    }
    {
        BoxRecorder box(mbOK);
        Key(g, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(f.ds->RecordCount(), 3);
    }
    g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect});
    g.SelectedRows().SetCurrentRowSelected(true);
    f.ds->Next();
    g.SelectedRows().SetCurrentRowSelected(true);
    {
        BoxRecorder box(mbOK);
        Key(g, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(box.texts, QStringList{"Delete all selected records?"});
        EXPECT_EQ(f.ds->RecordCount(), 1);
    }
    g.SetReadOnly(true);
    {
        BoxRecorder box(mbOK);
        Key(g, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_TRUE(box.texts.isEmpty());
        EXPECT_EQ(f.ds->RecordCount(), 1);
    }
}

TEST(GridKeys, IncrementalSearch)
{
    GridFixture f(12);
    TDBGridEx& g = *f.grid;
    g.SetOptionsEx(g.OptionsEx() + TDBGridExOptions{dghIncSearch});
    g.SetOptions(g.Options() - TDBGridOptions{dgEditing});
    g.SetReadOnly(true);
    g.SetSelectedIndex(1);  // Name
    QTest::keyClicks(&g, "name1");
    EXPECT_TRUE(g.IncSearchRunning());
    EXPECT_EQ(g.IncSearchText(), "name1");
    EXPECT_EQ(f.ds->RecNo(), 1);
    QTest::keyClicks(&g, "1");
    EXPECT_EQ(f.ds->RecNo(), 11);
    // A character that matches nothing is dropped and nothing moves.
    QTest::keyClicks(&g, "z");
    EXPECT_EQ(g.IncSearchText(), "name11");
    EXPECT_EQ(f.ds->RecNo(), 11);
    Key(g, Qt::Key_Backspace);
    EXPECT_EQ(g.IncSearchText(), "name1");
    // Ctrl+Enter finds the next match.
    Key(g, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(f.ds->RecNo(), 12);
    Key(g, Qt::Key_Escape);
    EXPECT_FALSE(g.IncSearchRunning());

    // The search ends by itself after the time-out.
    const int saved = DBGridExIncSearchInterval;
    DBGridExIncSearchInterval = 20;
    QTest::keyClicks(&g, "n");
    EXPECT_TRUE(g.IncSearchRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !g.IncSearchRunning(); }, 5000));
    DBGridExIncSearchInterval = saved;
}

// ---- Mouse --------------------------------------------------------------------------------------

TEST(GridMouse, ClickMovesToTheRecordAndColumn)
{
    GridFixture f(10);
    TDBGridEx& g = *f.grid;
    int clicked = 0;
    g.OnCellClick = [&](TCustomDBGridEx&, TColumnEx&) { ++clicked; };
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(g.CellRect(3, g.TopDataOffset() + 4)));
    EXPECT_EQ(f.ds->RecNo(), 5);
    EXPECT_EQ(g.SelectedIndex(), 2);
    EXPECT_EQ(clicked, 1);
}

TEST(GridMouse, IndicatorTitleSelectsAllAndClearsAgain)
{
    GridFixture f(10);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect});
    const QPoint corner = CenterOf(g.CellRect(0, 0));
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, corner);
    EXPECT_EQ(g.Selection().SelectionType(), gstAll);
    EXPECT_TRUE(g.CanCopy());
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, corner);
    EXPECT_EQ(g.Selection().SelectionType(), gstNon);
}

TEST(GridMouse, IndicatorClicksSelectRecords)
{
    GridFixture f(10);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect});
    auto row = [&](int r) { return CenterOf(g.CellRect(0, g.TopDataOffset() + r)); };
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, row(1));
    EXPECT_EQ(g.SelectedRows().Count(), 1);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ShiftModifier, row(4));
    EXPECT_EQ(g.SelectedRows().Count(), 4);
    EXPECT_EQ(f.ds->RecNo(), 5);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ControlModifier, row(2));
    EXPECT_EQ(g.SelectedRows().Count(), 3);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, row(6));
    EXPECT_EQ(g.SelectedRows().Count(), 1);
    EXPECT_EQ(g.Selection().SelectionType(), gstRecordBookmarks);
}

TEST(GridMouse, TitleButtonCyclesTheSortMarker)
{
    GridFixture f(5);
    TDBGridEx& g = *f.grid;
    g.SetOptionsEx(g.OptionsEx() + TDBGridExOptions{dghAutoSortMarking});
    TColumnEx* c = g.Columns()[1];
    c->Title().SetTitleButton(true);
    int clicks = 0;
    int sorted = 0;
    g.OnTitleBtnClick = [&](TCustomDBGridEx&, int dataCol, TColumnEx& col) {
        EXPECT_EQ(dataCol, 1);
        EXPECT_EQ(&col, c);
        ++clicks;
    };
    g.OnSortMarkingChanged = [&](TCustomDBGridEx&) { ++sorted; };
    const QPoint title = CenterOf(g.CellRect(2, 0));
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_EQ(c->Title().SortMarker(), smDownEx);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_EQ(c->Title().SortMarker(), smUpEx);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(sorted, 2);
    EXPECT_EQ(g.SortMarkedColumns().Count(), 1);
}

TEST(GridMouse, DraggingATitleEdgeSizesTheColumn)
{
    GridFixture f(5);
    TDBGridEx& g = *f.grid;
    TColumnEx* c = g.Columns()[0];
    const int before = c->Width();
    const TRect title = g.CellRect(1, 0);
    const QPoint edge(title.Right, (title.Top + title.Bottom) / 2);
    EXPECT_EQ(g.viewport()->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(g.viewport(), edge);
    EXPECT_EQ(g.viewport()->cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge);
    QMouseEvent move(QEvent::MouseMove, QPointF(edge.x() + 25, edge.y()), g.viewport()->mapToGlobal(QPointF(edge.x() + 25, edge.y())),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &move);
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(edge.x() + 25, edge.y()));
    EXPECT_EQ(c->Width(), before + 25);
    EXPECT_EQ(g.ColWidths(1), before + 25);
}

TEST(GridMouse, WheelMovesOneRecordPerNotch)
{
    GridFixture f(10);
    TDBGridEx& g = *f.grid;
    QWheelEvent down(QPointF(50, 50), g.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -240),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.viewport(), &down);
    EXPECT_EQ(f.ds->RecNo(), 3);
}
