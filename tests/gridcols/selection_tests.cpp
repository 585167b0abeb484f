#include "fakegrid.h"

#include <gtest/gtest.h>

namespace {

class SelectionTest : public ::testing::Test, public GridFixture {
protected:
    SelectionTest()
    {
        for (const char* name : {"ID", "NAME", "FLAG", "AMOUNT", "ID", "NAME"})
            AddColumn(name);
        grid.LayoutChanged();
    }
    TColumnEx* Col(int i) { return grid.columns->Items(i); }
    std::vector<int> SelectedIndexes()
    {
        std::vector<int> r;
        for (TColumnEx* c : grid.selection.Columns().List())
            r.push_back(c->Index());
        return r;
    }
    TDBGridExSelection& sel = grid.selection;
    TBookmarkListEx& rows = grid.bookmarks;
};

TEST_F(SelectionTest, RecordSelection)
{
    rows.SetCurrentRowSelected(true);
    rows.SetCurrentRowSelected(true);
    EXPECT_EQ(rows.Count(), 1) << "selecting twice keeps one bookmark";
    EXPECT_EQ(sel.SelectionType(), gstRecordBookmarks);
    EXPECT_TRUE(grid.calls.contains("InvalidateRow 1"));
    ds.Next();
    ds.Next();
    rows.SetCurrentRowSelected(true);
    ds.First();
    ds.Next();
    rows.SetCurrentRowSelected(true);
    ASSERT_EQ(rows.Count(), 3);
    // Kept in dataset order whatever the order of selection.
    EXPECT_LT(ds.CompareBookmarks(rows.Items(0), rows.Items(1)), 0);
    EXPECT_LT(ds.CompareBookmarks(rows.Items(1), rows.Items(2)), 0);
    EXPECT_TRUE(rows.CurrentRowSelected());
    EXPECT_TRUE(sel.DataCellSelected(0, ds.GetBookmark()));

    ds.First();
    rows.SetCurrentRowSelected(false);
    ds.Next();
    rows.SetCurrentRowSelected(false);
    ds.Next();
    rows.SetCurrentRowSelected(false);
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_EQ(sel.SelectionType(), gstNon) << "unselecting the last record ends the selection";
}

TEST_F(SelectionTest, FindAnswersRepeatsFromItsCache)
{
    rows.SetCurrentRowSelected(true);
    const TBookmark b = ds.GetBookmark();
    int index = -1;
    const int hits = rows.CacheHits();
    EXPECT_TRUE(rows.Find(b, index));
    EXPECT_TRUE(rows.Find(b, index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(rows.CacheHits(), hits + 1);
    ds.Last();
    rows.SetCurrentRowSelected(true);   // the list changes: the cache is dropped
    const int hitsAfterChange = rows.CacheHits();
    EXPECT_TRUE(rows.Find(b, index));
    EXPECT_EQ(rows.CacheHits(), hitsAfterChange);
}

TEST_F(SelectionTest, InsertionPointOfAMissingBookmark)
{
    ds.Next();
    rows.SetCurrentRowSelected(true);
    ds.Last();
    rows.SetCurrentRowSelected(true);
    ds.First();
    int index = -1;
    EXPECT_FALSE(rows.Find(ds.GetBookmark(), index));
    EXPECT_EQ(index, 0);
    ds.MoveBy(4);
    EXPECT_FALSE(rows.Find(ds.GetBookmark(), index));
    EXPECT_EQ(index, 1);
}

TEST_F(SelectionTest, DeleteRemovesSelectedRecords)
{
    for (int i = 0; i < 3; ++i) {
        rows.SetCurrentRowSelected(true);
        ds.MoveBy(2);
    }
    rows.Delete();
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_EQ(ds.RecordCount(), 7);
    EXPECT_FALSE(ds.Locate("ID", 1));
    EXPECT_FALSE(ds.Locate("ID", 3));
    EXPECT_FALSE(ds.Locate("ID", 5));
    EXPECT_TRUE(ds.Locate("ID", 2));
    EXPECT_EQ(sel.SelectionType(), gstNon);
    EXPECT_FALSE(ds.ControlsDisabled());
}

TEST_F(SelectionTest, ClosedDatasetRefusesTheCurrentBookmark)
{
    ds.Close();
    EXPECT_THROW(rows.CurrentBookmark(), EInvalidGridOperation);
    try {
        rows.CurrentBookmark();
    } catch (const EInvalidGridOperation& e) {
        EXPECT_EQ(e.Message(), "Cannot perform this operation on a closed dataset");
    }
}

TEST_F(SelectionTest, SelectedRowsRectCoversVisibleRecords)
{
    ds.Next();
    rows.SetCurrentRowSelected(true);
    ds.Next();
    ds.Next();
    rows.SetCurrentRowSelected(true);
    ds.Last();
    rows.SetCurrentRowSelected(true);   // outside the five buffered rows at the top
    ds.First();
    const TRect r = rows.GetSelectedRowsRect();
    EXPECT_EQ(r, TRect(0, 2, grid.ColCount() - 1, 4));
    EXPECT_EQ(sel.GetCellsRect(), r);
}

TEST_F(SelectionTest, SelectingRecordsClearsColumns)
{
    sel.Columns().Select(Col(1), false);
    EXPECT_EQ(sel.SelectionType(), gstColumns);
    rows.SetCurrentRowSelected(true);
    EXPECT_EQ(sel.SelectionType(), gstRecordBookmarks);
    EXPECT_EQ(sel.Columns().Count(), 0);
}

TEST_F(SelectionTest, ColumnSelectAndInvert)
{
    sel.Columns().Select(Col(3), false);
    sel.Columns().Select(Col(1), true);
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{1, 3})) << "kept in column order";
    sel.Columns().Select(Col(2), false);
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{2}));
    sel.Columns().InvertSelect(Col(4));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{2, 4}));
    sel.Columns().InvertSelect(Col(2));
    sel.Columns().InvertSelect(Col(4));
    EXPECT_EQ(sel.SelectionType(), gstNon);
    EXPECT_TRUE(sel.DataCellSelected(1, TBookmark()) == false);
}

TEST_F(SelectionTest, ShiftExtensionGrowsAndShrinks)
{
    sel.Columns().Select(Col(0), false);
    sel.Columns().Select(Col(2), true);   // anchor 2
    sel.Columns().SelectShift(Col(5));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{0, 2, 3, 4, 5}));
    sel.Columns().SelectShift(Col(3));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{0, 2, 3})) << "earlier selections stay";
    sel.Columns().SelectShift(Col(1));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{0, 1, 2})) << "crossing the anchor extends the other way";
    EXPECT_TRUE(sel.DataCellSelected(1, TBookmark()));
    EXPECT_FALSE(sel.DataCellSelected(3, TBookmark()));
    EXPECT_EQ(sel.GetCellsRect(), TRect(1, 0, 3, grid.rowCount));
}

TEST_F(SelectionTest, ShiftExtensionSkipsHiddenColumns)
{
    Col(3)->SetVisible(false);
    sel.Columns().Select(Col(2), false);
    sel.Columns().SelectShift(Col(4));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{2, 4}));
}

TEST_F(SelectionTest, ShiftWithoutAnchorSelects)
{
    sel.Columns().SelectShift(Col(4));
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{4}));
    EXPECT_EQ(sel.SelectionType(), gstColumns);
}

TEST_F(SelectionTest, RefreshDropsDeletedColumns)
{
    sel.Columns().Select(Col(1), false);
    sel.Columns().Select(Col(4), true);
    grid.columns->Delete(1);
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{3}));
    Col(3)->SetIndex(0);
    sel.Columns().Refresh();
    EXPECT_EQ(SelectedIndexes(), (std::vector<int>{0}));
}

TEST_F(SelectionTest, RectangleSelection)
{
    const TBookmark b1 = ds.GetBookmark();
    sel.Rect().Select(1, b1, false);
    EXPECT_EQ(sel.SelectionType(), gstNon) << "one cell alone is no selection";
    ds.MoveBy(2);
    const TBookmark b3 = ds.GetBookmark();
    sel.Rect().Select(3, b3, true);
    EXPECT_EQ(sel.SelectionType(), gstRectangle);
    EXPECT_FALSE(grid.invalidatedRects.empty());
    ds.Prior();
    EXPECT_TRUE(sel.DataCellSelected(2, ds.GetBookmark()));
    EXPECT_FALSE(sel.DataCellSelected(4, ds.GetBookmark()));
    ds.Last();
    EXPECT_FALSE(sel.DataCellSelected(2, ds.GetBookmark()));
    EXPECT_EQ(sel.Rect().TopRow(), b1);
    EXPECT_EQ(sel.Rect().BottomRow(), b3);
    EXPECT_EQ(sel.Rect().LeftCol(), 1);
    EXPECT_EQ(sel.Rect().RightCol(), 3);
    ds.First();
    EXPECT_EQ(sel.GetCellsRect(), TRect(2, 1, 4, 3));

    // Extending upwards swaps the corners' roles.
    sel.Rect().Select(0, b1, true);
    EXPECT_EQ(sel.Rect().LeftCol(), 0);
    sel.Rect().Select(1, b1, true);
    EXPECT_EQ(sel.SelectionType(), gstNon) << "the rectangle shrank to its anchor cell";
}

TEST_F(SelectionTest, RectangleNeedsAnActiveLink)
{
    sel.Rect().Select(1, ds.GetBookmark(), false);
    ds.Next();
    sel.Rect().Select(2, ds.GetBookmark(), true);
    const TBookmark b = ds.GetBookmark();
    grid.link.SetDataSource(nullptr);
    EXPECT_EQ(sel.SelectionType(), gstNon) << "closing the link ends a rectangle";
    try {
        sel.Rect().CellSelected(1, b);
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_EQ(e.Message(), "Error in function TDBGridExSelectionRect.CellSelected");
    }
    try {
        sel.Rect().BottomRow();
        FAIL() << "no exception";
    } catch (const EInvalidGridOperation& e) {
        EXPECT_EQ(e.Message(), "Error in TDBGridExSelectionRect.GetBottomRow");
    }
    EXPECT_THROW(sel.Rect().LeftCol(), EInvalidGridOperation);
}

TEST_F(SelectionTest, SelectAllAndClear)
{
    sel.Columns().Select(Col(1), false);
    sel.SelectAll();
    EXPECT_EQ(sel.SelectionType(), gstAll);
    EXPECT_EQ(sel.Columns().Count(), 0);
    EXPECT_TRUE(sel.DataCellSelected(5, ds.GetBookmark()));
    EXPECT_EQ(sel.GetCellsRect(), TRect(0, 0, grid.ColCount() - 1, grid.rowCount - 1));
    grid.options.Include(dgAlwaysShowEditor);
    sel.Clear();
    EXPECT_EQ(sel.SelectionType(), gstNon);
    EXPECT_TRUE(grid.calls.contains("ShowEditor"));
    EXPECT_EQ(sel.GetCellsRect(), NoCellsRect());
}

} // namespace
