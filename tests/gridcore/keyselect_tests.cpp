// Shift with the arrow keys extends the kind of selection there is.
#include "gridfixture.h"

#include "grid/dbgridexiexp.h"

#include <QClipboard>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kId = 0, kName = 1, kAmount = 2, kFlag = 3;

struct KeySelectFixture : GridFixture {
    TDBGridEx& g;
    KeySelectFixture() : GridFixture(10, 500, 300), g(*grid)
    {
        g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect});
        QApplication::setActiveWindow(&g);
        g.setFocus();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::ShiftModifier) { QTest::keyClick(&g, key, mods); }
    // Whether the cell of data column dc on the visible record r (from 0) is selected.
    bool Selected(int dc, int r) { return g.IsCellSelected(g.IndicatorOffset() + dc, g.TopDataOffset() + r); }
    // The visible records (from 0) whose cells of data column dc are selected.
    QList<int> SelectedRecords(int dc)
    {
        QList<int> rows;
        for (int r = 0; r < g.DataLink().RecordCount(); ++r)
            if (Selected(dc, r))
                rows << r;
        return rows;
    }
    QList<int> SelectedColumns()
    {
        QList<int> cols;
        for (int dc = 0; dc < g.Columns().Count(); ++dc)
            if (Selected(dc, 0))
                cols << dc;
        return cols;
    }
};

} // namespace

TEST(GridShiftKeys, ARectangleGrowsAndShrinksByRowsAndStaysARectangle)
{
    KeySelectFixture f;
    f.Key(Qt::Key_Right);
    ASSERT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    EXPECT_EQ(f.g.SelectedRows().Count(), 0);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1}));
    EXPECT_EQ(f.SelectedRecords(kName), (QList<int>{0, 1}));
    EXPECT_EQ(f.SelectedRecords(kAmount), QList<int>{});
    f.Key(Qt::Key_Down);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kName), (QList<int>{0, 1}));
    f.Key(Qt::Key_Right);
    EXPECT_EQ(f.SelectedRecords(kAmount), (QList<int>{0, 1}));
    EXPECT_EQ(f.SelectedRecords(kFlag), QList<int>{});
    f.Key(Qt::Key_Left);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    EXPECT_EQ(f.SelectedRecords(kName), QList<int>{0});
    EXPECT_EQ(f.SelectedRecords(kAmount), QList<int>{});

    // Copied, the rectangle gives its cells, not whole records.
    InitDBGridExImpExp();
    f.g.SetEditActions(TDBGridExEditActions{geaCopyEx});
    f.Key(Qt::Key_Down);
    f.Key(Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines, (QStringList{"ID\tName", "1\tName1", "2\tName2"}));
}

TEST(GridShiftKeys, ARectangleMadeByAShiftClickGrowsFromItsFarCorner)
{
    KeySelectFixture f;
    const TRect far = f.g.CellRect(f.g.IndicatorOffset() + kName, f.g.TopDataOffset() + 2);
    QTest::mouseClick(f.g.viewport(), Qt::LeftButton, Qt::ShiftModifier, CenterOf(far));
    ASSERT_EQ(f.SelectedRecords(kName), (QList<int>{0, 1, 2}));
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1, 2, 3}));
    EXPECT_EQ(f.SelectedRecords(kName), (QList<int>{0, 1, 2, 3}));
    f.Key(Qt::Key_Right);
    EXPECT_EQ(f.SelectedRecords(kAmount), (QList<int>{0, 1, 2, 3}));
}

TEST(GridShiftKeys, AKeyboardRecordSelectionShrinksWhenShiftGoesBack)
{
    KeySelectFixture f;
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Down);
    f.Key(Qt::Key_Down);
    ASSERT_EQ(f.g.Selection().SelectionType(), gstRecordBookmarks);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{1, 2, 3}));
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{1, 2}));
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), QList<int>{1});
    // Past the anchor the other way, records join again.
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1}));
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.SelectedRecords(kId), QList<int>{1});
    // Sideways, a record selection stays one.
    f.Key(Qt::Key_Right);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRecordBookmarks);
    EXPECT_EQ(f.g.SelectedIndex(), kName);
    EXPECT_EQ(f.SelectedRecords(kId), QList<int>{1});
    // A plain move ends the extension; the next Shift starts one at the new record.
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{2, 3}));
}

TEST(GridShiftKeys, AColumnSelectionGrowsSidewaysAndStaysOneGoingDown)
{
    KeySelectFixture f;
    const TRect title = f.g.CellRect(f.g.IndicatorOffset() + kName, 0);
    QTest::mouseClick(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint((title.Left + title.Right) / 2, title.Bottom - 2));
    ASSERT_EQ(f.g.Selection().SelectionType(), gstColumns);
    ASSERT_EQ(f.SelectedColumns(), QList<int>{kName});
    f.Key(Qt::Key_Right);
    EXPECT_EQ(f.SelectedColumns(), (QList<int>{kName, kAmount}));
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstColumns);
    EXPECT_EQ(f.SelectedColumns(), (QList<int>{kName, kAmount}));
    f.Key(Qt::Key_Left);
    EXPECT_EQ(f.SelectedColumns(), QList<int>{kName});
    f.Key(Qt::Key_Left);
    EXPECT_EQ(f.SelectedColumns(), (QList<int>{kId, kName}));
}

TEST(GridShiftKeys, ShiftKeysGrowAndShrinkTheRangeAShiftClickMade)
{
    KeySelectFixture f;
    const auto indicator = [&](int r) {
        return CenterOf(f.g.CellRect(0, f.g.TopDataOffset() + r));
    };
    QTest::mouseClick(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, indicator(0));
    QTest::mouseClick(f.g.viewport(), Qt::LeftButton, Qt::ShiftModifier, indicator(6));
    ASSERT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    f.Key(Qt::Key_Up);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1, 2, 3, 4}));
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{0, 1, 2, 3, 4, 5}));
}

TEST(GridShiftKeys, AfterAPlainMoveShiftKeysExtendFromTheNewCurrentCell)
{
    KeySelectFixture f;
    f.g.SetOptionsEx(f.g.OptionsEx() - TDBGridExOptions{dghClearSelection});
    QTest::mouseClick(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(f.g.CellRect(0, f.g.TopDataOffset() + 6)));
    for (int i = 0; i < 3; ++i)
        f.Key(Qt::Key_Up);
    ASSERT_EQ(f.SelectedRecords(kId), (QList<int>{3, 4, 5, 6}));
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{3, 4, 5, 6}));
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Up, Qt::NoModifier);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.SelectedRecords(kId), (QList<int>{3, 4, 5, 6}));

    // A rectangle too starts anew at the current cell instead of going on from its old corner.
    f.Key(Qt::Key_Escape, Qt::NoModifier);
    f.Key(Qt::Key_Right);
    ASSERT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Down, Qt::NoModifier);
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.SelectedRecords(kId), QList<int>{});
    EXPECT_EQ(f.SelectedRecords(kName), (QList<int>{6, 7}));
}
