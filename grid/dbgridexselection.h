// What is selected in a grid: nothing, a set of records, a rectangle of cells, a set of
// columns, or everything (one kind at a time). Records are kept as bookmarks in dataset order,
// so that asking whether a painted row is selected is a binary search.
#pragma once

#include "grid/dbgridexcolumns.h"
#include "grid/dbgridextypes.h"

#include "platform/dataset.h"
#include "platform/types.h"

#include <vector>

class TDBGridExSelection;

// The selected records of a grid (owned by the grid, used by its selection).
class TBookmarkListEx {
public:
    explicit TBookmarkListEx(IDBGridEx* grid) : grid_(grid) {}
    TBookmarkListEx(const TBookmarkListEx&) = delete;
    TBookmarkListEx& operator=(const TBookmarkListEx&) = delete;

    IDBGridEx* Grid() const { return grid_; }
    int Count() const { return int(items_.size()); }
    const TBookmark& Items(int index) const { return items_.at(std::size_t(index)); }
    const std::vector<TBookmark>& List() const { return items_; }
    int IndexOf(const TBookmark& bookmark);
    // True when present; index gets the match or the insertion point. The last answer is cached
    // until the list changes.
    bool Find(const TBookmark& bookmark, int& index);

    // The dataset's bookmark of the current record; raises when the link is not active.
    TBookmark CurrentBookmark() const;
    bool CurrentRowSelected();
    void SetCurrentRowSelected(bool value);
    void Clear();
    // Deletes the selected records from the dataset, last first, and empties the list.
    void Delete();
    // Takes the link's state; the list is cleared either way.
    void LinkActive(bool value);
    // Grid rows of the visible selected records (Left 0, Right the last grid column); all -1 when
    // none is visible.
    TRect GetSelectedRowsRect() const;

    // Lookups answered from the cache since the last change (for tests of the cache).
    int CacheHits() const { return cacheHits_; }

private:
    void ListChanged();
    TDataSet* DataSet() const;
    TDBGridExSelection* Selection() const;

    IDBGridEx* grid_;
    std::vector<TBookmark> items_;
    bool linkActive_ = false;
    TBookmark cacheBookmark_;
    bool cacheFound_ = false;
    int cacheIndex_ = -1;
    int cacheHits_ = 0;
};

// Selected columns, kept in the order of their Index in the grid's Columns.
class TDBGridExSelectionCols : public TColumnsExList {
public:
    explicit TDBGridExSelectionCols(IDBGridEx* grid) : grid_(grid) {}

    // Repaints each selected column, empties the list and drops the anchor.
    void Clear() override;
    void Select(TColumnEx* column, bool addSel);
    void InvertSelect(TColumnEx* column);
    // Extends the selection from the anchor to column (Shift+click or Shift+arrow).
    void SelectShift(TColumnEx* column);
    // Drops columns no longer in the grid and sorts the rest by Index.
    void Refresh();
    // Grid cells covered; all -1 when empty.
    TRect GetCellsRect() const;

    TColumnEx* Anchor() const { return anchor_; }
    TColumnEx* ShiftCol() const { return shiftCol_; }

private:
    void InsertOrdered(TColumnEx* column);
    void InvalidateColumn(TColumnEx* column) const;
    TDBGridExSelection& Owner() const;

    IDBGridEx* grid_;
    TColumnEx* anchor_ = nullptr;
    TColumnEx* shiftCol_ = nullptr;
    TColumnsExList extension_;
};

// One corner of a rectangle selection: a data column and a record.
struct TDBGridExSelectionCorner {
    int Col = -1;
    TBookmark Row;
    friend bool operator==(const TDBGridExSelectionCorner&, const TDBGridExSelectionCorner&) = default;
};

class TDBGridExSelectionRect {
public:
    explicit TDBGridExSelectionRect(IDBGridEx* grid) : grid_(grid) {}

    void Select(int dataCol, const TBookmark& bookmark, bool extend);
    void Clear();
    bool CellSelected(int dataCol, const TBookmark& bookmark) const;
    int LeftCol() const;
    int RightCol() const;
    TBookmark TopRow() const;
    TBookmark BottomRow() const;
    // Grid cells covered; all -1 when a corner row is not visible or the link is inactive.
    TRect GetCellsRect() const;

    const TDBGridExSelectionCorner& Anchor() const { return anchor_; }
    const TDBGridExSelectionCorner& ShiftCorner() const { return shift_; }
    bool IsEmpty() const { return anchor_.Col == -1 && shift_.Col == -1 && anchor_.Row.IsNull() && shift_.Row.IsNull(); }

private:
    TDataSet& CheckDataSet(const char* where) const;
    // Client rectangle of a selection given by two corners (empty when not shown).
    TRect ScreenRect(const TDBGridExSelectionCorner& a, const TDBGridExSelectionCorner& b) const;

    IDBGridEx* grid_;
    TDBGridExSelectionCorner anchor_;
    TDBGridExSelectionCorner shift_;
};

class TDBGridExSelection {
public:
    explicit TDBGridExSelection(IDBGridEx* grid);
    TDBGridExSelection(const TDBGridExSelection&) = delete;
    TDBGridExSelection& operator=(const TDBGridExSelection&) = delete;

    IDBGridEx* Grid() const { return grid_; }
    TDBGridExSelectionType SelectionType() const { return type_; }
    TBookmarkListEx& Rows() const { return grid_->SelectedRows(); }
    TDBGridExSelectionCols& Columns() { return columns_; }
    TDBGridExSelectionRect& Rect() { return rect_; }

    void Clear();
    void SelectAll();
    // A record or column selection that became empty turns into none.
    void UpdateState();
    void LinkActive(bool value);
    bool DataCellSelected(int dataCol, const TBookmark& bookmark);
    // Grid cells the selection covers (all -1 for none); gstAll covers the whole grid.
    TRect GetCellsRect() const;

    // Used by the parts: stores a different kind and updates the grid's editors.
    void SetSelectionType(TDBGridExSelectionType value);

private:
    IDBGridEx* grid_;
    TDBGridExSelectionType type_ = gstNon;
    TDBGridExSelectionCols columns_;
    TDBGridExSelectionRect rect_;
};

// All -1: nothing to repaint.
inline TRect NoCellsRect() { return TRect{-1, -1, -1, -1}; }
