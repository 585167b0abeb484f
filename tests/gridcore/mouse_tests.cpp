// Selection and stepping by mouse as a user does it: Shift+clicks, drags, check boxes.
#include "gridfixture.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct MouseFixture : GridFixture {
    TDBGridEx& g;
    explicit MouseFixture(int records = 20) : GridFixture(records, 500, 300), g(*grid)
    {
        g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect});
        g.setFocus();
    }
    // Centre of the cell of data column dc on the visible record r (from 0).
    QPoint Cell(int dc, int r) const { return CenterOf(g.CellRect(g.IndicatorOffset() + dc, g.TopDataOffset() + r)); }
    bool Selected(int dc, int r) { return g.IsCellSelected(g.IndicatorOffset() + dc, g.TopDataOffset() + r); }
    void Click(QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(g.viewport(), Qt::LeftButton, mods, p);
    }
    bool Flag(int recNo)
    {
        const TBookmark saved = ds->GetBookmark();
        ds->SetRecNo(recNo);
        const bool v = ds->FieldByName("Flag")->AsBoolean();
        ds->GotoBookmark(saved);
        return v;
    }
};

constexpr int kName = 1, kAmount = 2, kFlag = 3;

} // namespace

TEST(GridShiftClick, ExtendsTheRectangleToTheClickedCellFromTheCurrentOne)
{
    MouseFixture f;
    f.Click(f.Cell(kName, 1));
    ASSERT_EQ(f.ds->RecNo(), 2);
    f.Click(f.Cell(kAmount, 4), Qt::ShiftModifier);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    for (int r = 1; r <= 4; ++r) {
        EXPECT_TRUE(f.Selected(kName, r)) << r;
        EXPECT_TRUE(f.Selected(kAmount, r)) << r;
        EXPECT_FALSE(f.Selected(0, r)) << r;
    }
    EXPECT_FALSE(f.Selected(kName, 0));
    EXPECT_FALSE(f.Selected(kName, 5));

    // A single click leaves no rectangle; the keyboard then moves the current cell, and the
    // next Shift+click starts from there, not from the old click.
    f.Click(f.Cell(kName, 1));
    EXPECT_EQ(f.g.Selection().SelectionType(), gstNon);
    QTest::keyClick(&f.g, Qt::Key_Down);
    QTest::keyClick(&f.g, Qt::Key_Down);
    QTest::keyClick(&f.g, Qt::Key_Down);
    ASSERT_EQ(f.ds->RecNo(), 5);
    f.Click(f.Cell(kAmount, 6), Qt::ShiftModifier);
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    EXPECT_FALSE(f.Selected(kName, 1));
    EXPECT_FALSE(f.Selected(kName, 3));
    EXPECT_TRUE(f.Selected(kName, 4));
    EXPECT_TRUE(f.Selected(kAmount, 6));
    EXPECT_FALSE(f.Selected(kAmount, 7));
}

TEST(GridShiftClick, OnACheckBoxStepsNoRecordWhileExtending)
{
    MouseFixture f;
    ASSERT_EQ(f.g.Columns()[kFlag]->GetColumnType(), ctCheckboxes);
    f.Click(f.Cell(kName, 0));
    ASSERT_EQ(f.ds->RecNo(), 1);
    ASSERT_TRUE(f.Flag(1));
    ASSERT_FALSE(f.Flag(4));
    f.Click(f.Cell(kFlag, 3), Qt::ShiftModifier);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_TRUE(f.Flag(1));
    EXPECT_FALSE(f.Flag(4));
    EXPECT_TRUE(f.Selected(kFlag, 3));
    EXPECT_TRUE(f.Selected(kName, 0));
    // A plain click steps the clicked record's own box.
    f.Click(f.Cell(kFlag, 5));
    EXPECT_EQ(f.ds->RecNo(), 6);
    f.ds->CheckBrowseMode();
    EXPECT_TRUE(f.Flag(6));
    EXPECT_TRUE(f.Flag(1));

    // Extending a record selection under row selection steps nothing either.
    f.g.SetOptions(f.g.Options() + TDBGridOptions{dgRowSelect});
    f.Click(f.Cell(kName, 0));
    f.Click(f.Cell(kFlag, 3), Qt::ShiftModifier);
    EXPECT_EQ(f.g.SelectedRows().Count(), 4);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_FALSE(f.Flag(4));

    // Without multiple selection Shift is no extension: the clicked box steps.
    f.g.SetOptions(f.g.Options() - TDBGridOptions{dgRowSelect, dgMultiSelect});
    f.Click(f.Cell(kFlag, 7), Qt::ShiftModifier);
    EXPECT_EQ(f.ds->RecNo(), 8);
    f.ds->CheckBrowseMode();
    EXPECT_TRUE(f.Flag(8));
}

TEST(GridDragSelect, EveryRecordPassedIsSelectedAndRecordsLeftAreDropped)
{
    MouseFixture f;
    const int ind = -1;   // the indicator column
    QTest::mousePress(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, f.Cell(ind, 1));
    // One fast move passes three records at once.
    DragMove(f.g.viewport(), f.Cell(ind, 5));
    EXPECT_EQ(f.ds->RecNo(), 6);
    EXPECT_EQ(f.g.SelectedRows().Count(), 5);
    for (int r = 1; r <= 5; ++r)
        EXPECT_TRUE(f.Selected(kName, r)) << r;
    // Back toward the press: the records left are no longer selected.
    DragMove(f.g.viewport(), f.Cell(ind, 3));
    EXPECT_EQ(f.g.SelectedRows().Count(), 3);
    EXPECT_TRUE(f.Selected(kName, 3));
    EXPECT_FALSE(f.Selected(kName, 4));
    EXPECT_FALSE(f.Selected(kName, 5));
    // Past the press to the other side.
    DragMove(f.g.viewport(), f.Cell(ind, 0));
    QTest::mouseRelease(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, f.Cell(ind, 0));
    EXPECT_EQ(f.g.SelectedRows().Count(), 2);
    EXPECT_TRUE(f.Selected(kName, 0));
    EXPECT_TRUE(f.Selected(kName, 1));
    EXPECT_FALSE(f.Selected(kName, 2));
    EXPECT_EQ(f.ds->RecNo(), 1);

    // A rectangle drag covers every row between the press and the pointer.
    QTest::mousePress(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, f.Cell(kName, 2));
    DragMove(f.g.viewport(), f.Cell(kAmount, 7));
    DragMove(f.g.viewport(), f.Cell(kAmount, 5));
    QTest::mouseRelease(f.g.viewport(), Qt::LeftButton, Qt::NoModifier, f.Cell(kAmount, 5));
    EXPECT_EQ(f.g.Selection().SelectionType(), gstRectangle);
    EXPECT_TRUE(f.Selected(kName, 4));
    EXPECT_TRUE(f.Selected(kAmount, 5));
    EXPECT_FALSE(f.Selected(kAmount, 6));
}
