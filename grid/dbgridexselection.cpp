#include "grid/dbgridexselection.h"

#include "grid/gridlink.h"

#include "platform/canvas.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Bookmarks of the records the grid shows now (the link's window), top to bottom.
std::vector<TBookmark> WindowBookmarks(IDBGridEx& grid)
{
    std::vector<TBookmark> result;
    TGridDataLinkEx& link = grid.DataLink();
    TDataSet* dataSet = link.DataSet();
    if (!link.Active() || !dataSet)
        return result;
    const int saved = link.ActiveRecord();
    const int count = link.RecordCount();
    result.reserve(std::size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        link.SetActiveRecord(i);
        result.push_back(dataSet->ActiveBookmark());
    }
    link.SetActiveRecord(saved);
    return result;
}

int CompareMarks(const TDataSet* dataSet, const TBookmark& a, const TBookmark& b)
{
    if (dataSet)
        return dataSet->CompareBookmarks(a, b);
    return a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0);
}

int IndexIn(const std::vector<TBookmark>& list, const TBookmark& b)
{
    const auto it = std::find(list.begin(), list.end(), b);
    return it == list.end() ? -1 : int(it - list.begin());
}

} // namespace

// ---- TBookmarkListEx ----------------------------------------------------------------------------

TDataSet* TBookmarkListEx::DataSet() const
{
    return grid_ ? grid_->DataLink().DataSet() : nullptr;
}

TDBGridExSelection* TBookmarkListEx::Selection() const
{
    return grid_ ? &grid_->Selection() : nullptr;
}

void TBookmarkListEx::ListChanged()
{
    cacheBookmark_ = TBookmark();
    cacheFound_ = false;
    cacheIndex_ = -1;
}

bool TBookmarkListEx::Find(const TBookmark& bookmark, int& index)
{
    if (bookmark == cacheBookmark_ && cacheIndex_ >= 0) {
        ++cacheHits_;
        index = cacheIndex_;
        return cacheFound_;
    }
    const TDataSet* dataSet = DataSet();
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int mid = (low + high) / 2;
        const int c = CompareMarks(dataSet, items_[std::size_t(mid)], bookmark);
        if (c >= 0) {
            high = mid - 1;
            if (c == 0) {
                found = true;
                low = mid;
            }
        } else {
            low = mid + 1;
        }
    }
    index = low;
    cacheBookmark_ = bookmark;
    cacheFound_ = found;
    cacheIndex_ = low;
    return found;
}

int TBookmarkListEx::IndexOf(const TBookmark& bookmark)
{
    int index = -1;
    return Find(bookmark, index) ? index : -1;
}

TBookmark TBookmarkListEx::CurrentBookmark() const
{
    TDataSet* dataSet = DataSet();
    if (!grid_ || !grid_->DataLink().Active() || !dataSet)
        throw EInvalidGridOperation("Cannot perform this operation on a closed dataset");
    return dataSet->GetBookmark();
}

bool TBookmarkListEx::CurrentRowSelected()
{
    const TBookmark current = CurrentBookmark();
    int index = -1;
    return Find(current, index);
}

void TBookmarkListEx::SetCurrentRowSelected(bool value)
{
    const TBookmark current = CurrentBookmark();
    int index = -1;
    if (Find(current, index) != value) {
        if (value)
            items_.insert(items_.begin() + index, current);
        else
            items_.erase(items_.begin() + index);
        ListChanged();
    }
    grid_->InvalidateRow(grid_->TopDataOffset() + grid_->DataLink().ActiveRecord());
    TDBGridExSelection* selection = Selection();
    if (selection->SelectionType() != gstRecordBookmarks && Count() > 0) {
        selection->Clear();
        selection->SetSelectionType(gstRecordBookmarks);
    }
    selection->UpdateState();
}

void TBookmarkListEx::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    ListChanged();
    if (TDBGridExSelection* selection = Selection())
        selection->UpdateState();
    if (grid_)
        grid_->Invalidate();
}

void TBookmarkListEx::Delete()
{
    TDataSet* dataSet = DataSet();
    if (!dataSet)
        return;
    dataSet->DisableControls();
    try {
        while (!items_.empty()) {
            const TBookmark b = items_.back();
            // A record someone else deleted is simply dropped from the list.
            if (dataSet->BookmarkValid(b)) {
                dataSet->GotoBookmark(b);
                dataSet->Delete();
            }
            items_.pop_back();
            ListChanged();
        }
    } catch (...) {
        dataSet->EnableControls();
        throw;
    }
    dataSet->EnableControls();
    if (TDBGridExSelection* selection = Selection())
        selection->UpdateState();
}

void TBookmarkListEx::LinkActive(bool value)
{
    Clear();
    if (TDBGridExSelection* selection = Selection())
        selection->UpdateState();
    linkActive_ = value;
}

TRect TBookmarkListEx::GetSelectedRowsRect() const
{
    if (!grid_ || items_.empty())
        return NoCellsRect();
    const std::vector<TBookmark> window = WindowBookmarks(*grid_);
    const TDataSet* dataSet = DataSet();
    int first = -1;
    int last = -1;
    for (int i = 0; i < int(window.size()); ++i) {
        const auto it = std::lower_bound(items_.begin(), items_.end(), window[std::size_t(i)],
                                         [dataSet](const TBookmark& a, const TBookmark& b) {
                                             return CompareMarks(dataSet, a, b) < 0;
                                         });
        if (it != items_.end() && CompareMarks(dataSet, *it, window[std::size_t(i)]) == 0) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return NoCellsRect();
    const int top = grid_->TopDataOffset();
    return TRect(0, top + first, grid_->ColCount() - 1, top + last);
}

// ---- TDBGridExSelectionCols ---------------------------------------------------------------------

TDBGridExSelection& TDBGridExSelectionCols::Owner() const
{
    return grid_->Selection();
}

void TDBGridExSelectionCols::InvalidateColumn(TColumnEx* column) const
{
    const int gridCol = grid_->IndicatorOffset() + column->Index();
    if (column->Index() >= 0 && gridCol < grid_->ColCount())
        grid_->InvalidateCol(gridCol);
}

void TDBGridExSelectionCols::Clear()
{
    for (TColumnEx* column : items_)
        InvalidateColumn(column);
    items_.clear();
    extension_.Clear();
    anchor_ = nullptr;
    shiftCol_ = nullptr;
}

void TDBGridExSelectionCols::InsertOrdered(TColumnEx* column)
{
    int i = 0;
    while (i < Count() && Items(i)->Index() < column->Index())
        ++i;
    Insert(i, column);
}

void TDBGridExSelectionCols::Select(TColumnEx* column, bool addSel)
{
    TDBGridExSelection& selection = Owner();
    if (selection.SelectionType() != gstColumns)
        selection.Clear();
    if (!addSel)
        Clear();
    if (IndexOf(column) < 0) {
        InsertOrdered(column);
        InvalidateColumn(column);
    }
    anchor_ = column;
    shiftCol_ = column;
    selection.SetSelectionType(gstColumns);
    extension_.Clear();
}

void TDBGridExSelectionCols::InvertSelect(TColumnEx* column)
{
    TDBGridExSelection& selection = Owner();
    if (selection.SelectionType() != gstColumns)
        selection.Clear();
    if (IndexOf(column) < 0)
        InsertOrdered(column);
    else
        Remove(column);
    InvalidateColumn(column);
    anchor_ = column;
    shiftCol_ = column;
    selection.SetSelectionType(Count() > 0 ? gstColumns : gstNon);
    extension_.Clear();
}

void TDBGridExSelectionCols::SelectShift(TColumnEx* column)
{
    TDBGridExSelection& selection = Owner();
    if (selection.SelectionType() != gstColumns)
        selection.Clear();
    if (!anchor_) {
        Select(column, true);
        return;
    }
    TDBGridColumnsEx& columns = grid_->Columns();
    const int a = anchor_->Index();
    const int target = column->Index();
    int cur = shiftCol_ ? shiftCol_->Index() : a;
    if (a < 0 || target < 0 || cur < 0)
        return;
    const bool anchorSelected = IndexOf(anchor_) >= 0;
    const int step = target > cur ? 1 : -1;
    while (cur != target) {
        const int next = cur + step;
        if (std::abs(next - a) > std::abs(cur - a)) {
            // Moving away from the anchor: the column reached joins (or, with an unselected
            // anchor, leaves) the selection.
            TColumnEx* visited = columns.Items(next);
            if (visited->Visible() && visited != anchor_) {
                const bool selected = IndexOf(visited) >= 0;
                if (anchorSelected && !selected) {
                    InsertOrdered(visited);
                    extension_.Add(visited);
                    InvalidateColumn(visited);
                } else if (!anchorSelected && selected) {
                    Remove(visited);
                    extension_.Add(visited);
                    InvalidateColumn(visited);
                }
            }
        } else {
            // Moving back: the column left behind is undone when the extension changed it.
            TColumnEx* left = columns.Items(cur);
            if (left != anchor_ && extension_.IndexOf(left) >= 0) {
                if (anchorSelected)
                    Remove(left);
                else
                    InsertOrdered(left);
                extension_.Remove(left);
                InvalidateColumn(left);
            }
        }
        cur = next;
    }
    shiftCol_ = column;
    selection.SetSelectionType(Count() > 0 ? gstColumns : gstNon);
}

void TDBGridExSelectionCols::Refresh()
{
    TDBGridColumnsEx& columns = grid_->Columns();
    const auto inGrid = [&columns](const TColumnEx* c) {
        for (int i = 0; i < columns.Count(); ++i)
            if (columns.Items(i) == c)
                return true;
        return false;
    };
    std::erase_if(items_, [&](TColumnEx* c) { return !inGrid(c); });
    if (anchor_ && !inGrid(anchor_))
        anchor_ = nullptr;
    if (shiftCol_ && !inGrid(shiftCol_))
        shiftCol_ = nullptr;
    extension_.Clear();
    std::stable_sort(items_.begin(), items_.end(),
                     [](const TColumnEx* x, const TColumnEx* y) { return x->Index() < y->Index(); });
}

TRect TDBGridExSelectionCols::GetCellsRect() const
{
    if (items_.empty())
        return NoCellsRect();
    int lo = items_.front()->Index();
    int hi = lo;
    for (const TColumnEx* c : items_) {
        lo = std::min(lo, c->Index());
        hi = std::max(hi, c->Index());
    }
    return TRect(grid_->IndicatorOffset() + lo, 0, grid_->IndicatorOffset() + hi, grid_->RowCount());
}

// ---- TDBGridExSelectionRect ---------------------------------------------------------------------

TDataSet& TDBGridExSelectionRect::CheckDataSet(const char* where) const
{
    TGridDataLinkEx& link = grid_->DataLink();
    if (!link.DataSource() || !link.DataSet() || !link.Active())
        throw EInvalidGridOperation(QString::fromLatin1(where));
    return *link.DataSet();
}

void TDBGridExSelectionRect::Select(int dataCol, const TBookmark& bookmark, bool extend)
{
    TDBGridExSelection& selection = grid_->Selection();
    if (selection.SelectionType() != gstRectangle)
        selection.Clear();
    const TDBGridExSelectionCorner oldAnchor = anchor_;
    const TDBGridExSelectionCorner oldShift = shift_;
    const bool hadSelection = selection.SelectionType() == gstRectangle;
    if (anchor_.Col == -1 || !extend)
        anchor_ = {dataCol, bookmark};
    shift_ = {dataCol, bookmark};
    const TDataSet* dataSet = grid_->DataLink().DataSet();
    if (anchor_.Col == shift_.Col && CompareMarks(dataSet, anchor_.Row, shift_.Row) == 0) {
        if (selection.SelectionType() == gstRectangle)
            selection.SetSelectionType(gstNon);
    } else {
        selection.SetSelectionType(gstRectangle);
    }
    if (!grid_->HasWindow())
        return;
    TRegion before;
    if (hadSelection)
        before = TRegion(ScreenRect(oldAnchor, oldShift));
    TRegion after;
    if (selection.SelectionType() == gstRectangle)
        after = TRegion(ScreenRect(anchor_, shift_));
    for (const TRect& r : before.Xored(after).Rects())
        grid_->InvalidateRect(r);
}

TRect TDBGridExSelectionRect::ScreenRect(const TDBGridExSelectionCorner& a,
                                         const TDBGridExSelectionCorner& b) const
{
    if (a.Col < 0 || b.Col < 0)
        return TRect();
    const std::vector<TBookmark> window = WindowBookmarks(*grid_);
    if (window.empty())
        return TRect();
    const TDataSet* dataSet = grid_->DataLink().DataSet();
    const bool aFirst = CompareMarks(dataSet, a.Row, b.Row) <= 0;
    const TBookmark& top = aFirst ? a.Row : b.Row;
    const TBookmark& bottom = aFirst ? b.Row : a.Row;
    const int last = int(window.size()) - 1;
    // Rows outside the window stand at its edge; a selection wholly outside shows nothing.
    if (CompareMarks(dataSet, bottom, window.front()) < 0 || CompareMarks(dataSet, top, window.back()) > 0)
        return TRect();
    int topRow = IndexIn(window, top);
    if (topRow < 0)
        topRow = 0;
    int bottomRow = IndexIn(window, bottom);
    if (bottomRow < 0)
        bottomRow = last;
    const int offset = grid_->IndicatorOffset();
    const int dataTop = grid_->TopDataOffset();
    const TRect r1 = grid_->CellRect(offset + std::min(a.Col, b.Col), dataTop + topRow);
    const TRect r2 = grid_->CellRect(offset + std::max(a.Col, b.Col), dataTop + bottomRow);
    return TRect(std::min(r1.Left, r2.Left), std::min(r1.Top, r2.Top), std::max(r1.Right, r2.Right),
                 std::max(r1.Bottom, r2.Bottom));
}

void TDBGridExSelectionRect::Clear()
{
    anchor_ = TDBGridExSelectionCorner();
    shift_ = TDBGridExSelectionCorner();
    grid_->Invalidate();
}

int TDBGridExSelectionRect::LeftCol() const
{
    CheckDataSet("Error in TDBGridExSelectionRect.GetLeftCol");
    return std::min(anchor_.Col, shift_.Col);
}

int TDBGridExSelectionRect::RightCol() const
{
    CheckDataSet("Error in TDBGridExSelectionRect.GetRightCol");
    return std::max(anchor_.Col, shift_.Col);
}

TBookmark TDBGridExSelectionRect::TopRow() const
{
    const TDataSet& dataSet = CheckDataSet("Error in TDBGridExSelectionRect.GetTopRow");
    return dataSet.CompareBookmarks(anchor_.Row, shift_.Row) <= 0 ? anchor_.Row : shift_.Row;
}

TBookmark TDBGridExSelectionRect::BottomRow() const
{
    const TDataSet& dataSet = CheckDataSet("Error in TDBGridExSelectionRect.GetBottomRow");
    return dataSet.CompareBookmarks(anchor_.Row, shift_.Row) > 0 ? anchor_.Row : shift_.Row;
}

bool TDBGridExSelectionRect::CellSelected(int dataCol, const TBookmark& bookmark) const
{
    const TDataSet& dataSet = CheckDataSet("Error in function TDBGridExSelectionRect.CellSelected");
    return dataSet.CompareBookmarks(TopRow(), bookmark) <= 0 && dataSet.CompareBookmarks(bookmark, BottomRow()) <= 0 &&
           LeftCol() <= dataCol && dataCol <= RightCol();
}

TRect TDBGridExSelectionRect::GetCellsRect() const
{
    if (!grid_->DataLink().Active() || anchor_.Col < 0)
        return NoCellsRect();
    const std::vector<TBookmark> window = WindowBookmarks(*grid_);
    const int top = IndexIn(window, TopRow());
    const int bottom = IndexIn(window, BottomRow());
    if (top < 0 || bottom < 0)
        return NoCellsRect();
    const int offset = grid_->IndicatorOffset();
    const int dataTop = grid_->TopDataOffset();
    return TRect(offset + LeftCol(), dataTop + top, offset + RightCol(), dataTop + bottom);
}

// ---- TDBGridExSelection -------------------------------------------------------------------------

TDBGridExSelection::TDBGridExSelection(IDBGridEx* grid) : grid_(grid), columns_(grid), rect_(grid) {}

void TDBGridExSelection::SetSelectionType(TDBGridExSelectionType value)
{
    if (type_ == value)
        return;
    type_ = value;
    grid_->UpdateEditors();
}

void TDBGridExSelection::Clear()
{
    switch (type_) {
    case gstRecordBookmarks:
        Rows().Clear();
        break;
    case gstRectangle:
        rect_.Clear();
        break;
    case gstColumns:
        columns_.Clear();
        break;
    case gstAll:
        grid_->Invalidate();
        break;
    case gstNon:
        break;
    }
    SetSelectionType(gstNon);
    if (grid_->Options().Contains(dgAlwaysShowEditor) && grid_->EditorAlwaysShown())
        grid_->ShowEditor();
}

void TDBGridExSelection::SelectAll()
{
    if (type_ == gstAll)
        return;
    if (type_ != gstNon)
        Clear();
    SetSelectionType(gstAll);
    grid_->Invalidate();
}

void TDBGridExSelection::UpdateState()
{
    if ((type_ == gstRecordBookmarks && Rows().Count() == 0) || (type_ == gstColumns && columns_.Count() == 0)) {
        SetSelectionType(gstNon);
        grid_->Invalidate();
    }
}

void TDBGridExSelection::LinkActive(bool value)
{
    Rows().LinkActive(value);
    // Corners are bookmarks of the records that were open: they mean nothing afterwards.
    if (type_ == gstRectangle) {
        rect_.Clear();
        SetSelectionType(gstNon);
    }
    UpdateState();
}

bool TDBGridExSelection::DataCellSelected(int dataCol, const TBookmark& bookmark)
{
    switch (type_) {
    case gstRecordBookmarks:
        return Rows().IndexOf(bookmark) >= 0;
    case gstRectangle:
        return dataCol >= 0 && rect_.CellSelected(dataCol, bookmark);
    case gstColumns:
        if (dataCol < 0 || dataCol >= grid_->Columns().Count())
            return false;
        return columns_.IndexOf(grid_->Columns().Items(dataCol)) >= 0;
    case gstAll:
        return true;
    case gstNon:
        return false;
    }
    return false;
}

TRect TDBGridExSelection::GetCellsRect() const
{
    switch (type_) {
    case gstRecordBookmarks:
        return Rows().GetSelectedRowsRect();
    case gstRectangle:
        return rect_.GetCellsRect();
    case gstColumns:
        return columns_.GetCellsRect();
    case gstAll:
        return TRect(0, 0, grid_->ColCount() - 1, grid_->RowCount() - 1);
    case gstNon:
        break;
    }
    return NoCellsRect();
}
