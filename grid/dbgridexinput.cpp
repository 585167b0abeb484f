// Keyboard and mouse of the data-aware grid: navigation through records and columns, insertion
// and deletion, clipboard keys, incremental search, title buttons and sort marking, column
// sizing, and selection of records, columns and rectangles.
#include "grid/dbgridex.h"
#include "grid/dbgridexfilterrow.h"
#include "grid/dbgridexinplace.h"

#include "platform/application.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr int VK_F2 = 0x71;
constexpr int kColumnSelectZone = 7;

bool NoShift(TShiftState s) { return (s & (ssShift | ssCtrl | ssAlt)) == 0; }

// Makes the record of a selection corner current (a corner whose record is gone leaves it).
void GoToCornerRecord(TDataSet& ds, const TDBGridExSelectionCorner& corner)
{
    if (!corner.Row.IsNull() && corner.Row != ds.GetBookmark() && ds.BookmarkValid(corner.Row))
        ds.GotoBookmark(corner.Row);
}

} // namespace

// ---- Permission tests ---------------------------------------------------------------------------

bool TCustomDBGridEx::CanCopy() const
{
    return link_->Active() && selection_->SelectionType() != gstNon;
}

bool TCustomDBGridEx::CanPaste() const
{
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds || readOnly_ || !ds->CanModify())
        return false;
    const auto& hooks = DBGridExEditHooks();
    if (!hooks.ClipboardHasData || !hooks.ClipboardHasData())
        return false;
    return ds->State() == dsInsert || allowedOperations_.Contains(alopUpdateEx);
}

bool TCustomDBGridEx::CanDelete() const
{
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds || readOnly_ || ds->IsEmpty() || !ds->CanModify())
        return false;
    switch (selection_->SelectionType()) {
    case gstRecordBookmarks:
    case gstAll: return allowedOperations_.Contains(alopDeleteEx);
    case gstRectangle:
    case gstColumns: return allowedOperations_.Contains(alopUpdateEx);
    default: return false;
    }
}

bool TCustomDBGridEx::CanSelectAll() const
{
    TDataSet* ds = DataSet();
    return link_->Active() && ds && !ds->IsEmpty() && allowedSelections_.Contains(gstAll);
}

bool TCustomDBGridEx::CanSelectType(TDBGridExSelectionType type) const
{
    if (type == gstNon)
        return true;
    if (!options_.Contains(dgMultiSelect) || !allowedSelections_.Contains(type))
        return false;
    if ((type == gstRectangle || type == gstColumns) && options_.Contains(dgRowSelect))
        return false;
    return true;
}

bool TCustomDBGridEx::ExecuteEditAction(TDBGridExEditAction action)
{
    const auto& hooks = DBGridExEditHooks();
    if (!editActions_.Contains(action))
        return false;
    switch (action) {
    case geaCopyEx:
        if (!CanCopy() || !hooks.CopyToClipboard)
            return false;
        hooks.CopyToClipboard(*this);
        return true;
    case geaCutEx:
        if (!CanCut() || !hooks.CutToClipboard)
            return false;
        hooks.CutToClipboard(*this);
        return true;
    case geaPasteEx:
        if (!CanPaste() || !hooks.PasteFromClipboard)
            return false;
        hooks.PasteFromClipboard(*this);
        return true;
    case geaDeleteEx:
        if (!CanDelete() || !hooks.DeleteSelection)
            return false;
        hooks.DeleteSelection(*this);
        return true;
    case geaSelectAllEx:
        if (!CanSelectAll())
            return false;
        selection_->SelectAll();
        return true;
    }
    return false;
}

// ---- Moves --------------------------------------------------------------------------------------

void TCustomDBGridEx::MoveToRecord(int distance, bool select)
{
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds || distance == 0)
        return;
    // Shift extends the kind of selection there is; without one it selects records.
    const TDBGridExSelectionType kind = selection_->SelectionType();
    const bool goesOn = SelectionGoesOn();
    if (select && kind == gstRectangle) {
        // The far corner moves by rows, and the current cell with it; after another move the
        // rectangle starts anew at the current cell.
        TDBGridExSelectionRect& rect = selection_->Rect();
        if (goesOn) {
            const TDBGridExSelectionCorner corner = rect.ShiftCorner();
            GoToCornerRecord(*ds, corner);
            SetCurrentDataCol(corner.Col);
        } else
            rect.Select(SelectedIndex(), ds->GetBookmark(), false);
        link_->MoveBy(distance);
        rect.Select(SelectedIndex(), ds->GetBookmark(), true);
        MarkSelectionEnd();
        return;
    }
    if (select && (kind == gstColumns || kind == gstAll)) {
        link_->MoveBy(distance);
        MarkSelectionEnd();
        return;
    }
    if (select && CanSelectType(gstRecordBookmarks)) {
        // As a drag from the anchor record: moving away selects, moving back deselects.
        BeginRecordExtension(goesOn);
        DragRecordsBy(distance);
        MarkSelectionEnd();
        return;
    }
    if (optionsEx_.Contains(dghClearSelection))
        selection_->Clear();
    link_->MoveBy(distance);
}

bool TCustomDBGridEx::ConfirmDelete()
{
    if (!options_.Contains(dgConfirmDelete))
        return true;
    const QString text = bookmarks_->Count() < 2 ? QStringLiteral("Delete record?")
                                                  : QStringLiteral("Delete all selected records?");
    return MessageBox(ApplicationTitle(), text, MsgIcon::Question, mbOKCancel, mbCancel) == mbOK;
}

void TCustomDBGridEx::DeleteCurrentOrSelected()
{
    if (bookmarks_->Count() > 0)
        bookmarks_->Delete();
    else
        DataSet()->Delete();
}

void TCustomDBGridEx::CopyValueFromAbove()
{
    TColumnEx* column = SelectedColumn();
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds || !column || link_->ActiveRecord() < 1)
        return;
    TField* field = column->Field();
    if (!field || !column->CanModify(true))
        return;
    const int cur = link_->ActiveRecord();
    Variant value;
    const bool lookup = field->Lookup();
    link_->SetActiveRecord(cur - 1);
    try {
        value = lookup ? ds->FieldValues(field->KeyFields()) : field->Value();
    } catch (...) {
        link_->SetActiveRecord(cur);
        throw;
    }
    link_->SetActiveRecord(cur);
    if (lookup) {
        const QStringList keys = field->KeyFields().split(QLatin1Char(';'));
        if (keys.size() == 1)
            ds->FieldByName(keys[0])->SetValue(value);
        else
            for (int i = 0; i < keys.size(); ++i)
                ds->FieldByName(keys[i])->SetValue(value[i]);
    } else
        field->SetValue(value);
    selection_->Clear();
}

void TCustomDBGridEx::StepCheckCell(TColumnEx& column, bool backward)
{
    column.SetNextFieldValue(backward ? -1.0 : 1.0);
}

// ---- Incremental search -------------------------------------------------------------------------

void TCustomDBGridEx::StartIncSearch()
{
    incSearching_ = true;
    incSearchText_.clear();
    SetGridTimer(2, DBGridExIncSearchInterval);
    TCustomGrid::InvalidateRow(Row());
}

void TCustomDBGridEx::StopIncSearch()
{
    KillGridTimer(2);
    if (!incSearching_)
        return;
    incSearching_ = false;
    incSearchText_.clear();
    TCustomGrid::InvalidateRow(Row());
    if (EditorAlwaysShown())
        ShowEditor();
}

void TCustomDBGridEx::DoIncSearch(const QString& newChars, int mode)
{
    TColumnEx* column = SelectedColumn();
    TDataSet* ds = DataSet();
    if (!column || !ds || !link_->Active())
        return;
    if (!incSearching_)
        StartIncSearch();
    const QString candidate = (incSearchText_ + newChars).toUpper();
    auto matches = [&] { return column->DisplayText().toUpper().startsWith(candidate); };
    bool found = false;
    if (mode == 0 && matches())
        found = true;
    else {
        ds->DisableControls();
        const TBookmark saved = ds->GetBookmark();
        incSearchMoving_ = true;
        try {
            if (mode == 2) {
                ds->Prior();
                while (!ds->Bof()) {
                    if (matches()) {
                        found = true;
                        break;
                    }
                    ds->Prior();
                }
            } else {
                if (mode == 0)
                    ds->First();
                else
                    ds->Next();
                while (!ds->Eof()) {
                    if (matches()) {
                        found = true;
                        break;
                    }
                    ds->Next();
                }
            }
            if (!found && ds->BookmarkValid(saved))
                ds->GotoBookmark(saved);
            ds->EnableControls();
        } catch (...) {
            ds->EnableControls();
            incSearchMoving_ = false;
            throw;
        }
        incSearchMoving_ = false;
    }
    HideEditor();
    if (found)
        incSearchText_ += newChars;
    TCustomGrid::InvalidateRow(Row());
    SetGridTimer(2, DBGridExIncSearchInterval);
}

// ---- Keyboard -----------------------------------------------------------------------------------

void TCustomDBGridEx::KeyDown(int& key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(*this, key, shift);
    if (key == 0)
        return;
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds)
        return;
    const bool ctrl = shift & ssCtrl;
    const bool sh = shift & ssShift;
    const bool multi = options_.Contains(dgMultiSelect);
    const TShortCut sc = ShortCut(key, shift & (ssShift | ssCtrl | ssAlt));

    if (sc == DBGridExCopyAboveValueShortCut) {
        CopyValueFromAbove();
        key = 0;
        return;
    }
    if (sc == DBGridExIncSearchShortCut && optionsEx_.Contains(dghIncSearch)) {
        StartIncSearch();
        key = 0;
        return;
    }
    if (incSearching_) {
        if ((key == VK_RETURN || key == VK_ESCAPE || key == VK_F2) && NoShift(shift)) {
            StopIncSearch();
            key = 0;
            return;
        }
        if (key == VK_BACK && NoShift(shift)) {
            incSearchText_.chop(1);
            TCustomGrid::InvalidateRow(Row());
            SetGridTimer(2, DBGridExIncSearchInterval);
            key = 0;
            return;
        }
        if (sc == DBGridExIncSearchNextShortCut || sc == DBGridExIncSearchPriorShortCut) {
            DoIncSearch(QString(), sc == DBGridExIncSearchNextShortCut ? 1 : 2);
            key = 0;
            return;
        }
    }

    // Up from the first record (or with Ctrl) goes into the filter row.
    if (key == VK_UP && stFilter_->Visible() && (ctrl || ds->RecNo() <= 1)) {
        int dc = SelectedIndex();
        if (dc < 0 || dc >= columns_->Count() || !columns_->Items(dc)->Visible() ||
            !columns_->Items(dc)->STFilter().Visible())
            dc = NextFilterColumn(dc, 1);
        if (dc >= 0) {
            ShowFilterEditor(dc);
            key = 0;
            return;
        }
    }

    const int dataCols = columns_->Count();
    auto clearUnlessExtending = [&](bool extending) {
        if (!extending && optionsEx_.Contains(dghClearSelection))
            selection_->Clear();
    };
    auto isTabStop = [&](int dc) {
        TColumnEx* c = columns_->Items(dc);
        TField* f = c->Field();
        return c->Visible() && !c->ReadOnly() && f && !f->Calculated() && !f->ReadOnly();
    };
    auto nextVisible = [&](int dc, int step) {
        for (int i = dc + step; i >= 0 && i < dataCols; i += step)
            if (columns_->Items(i)->Visible())
                return i;
        return dc;
    };
    auto downRule = [&] {
        if (ds->State() == dsInsert && !ds->Modified() && !link_->IsModified()) {
            if (!ds->Eof())
                ds->Cancel();
            return;
        }
        MoveToRecord(1, sh && multi);
        if (ds->Eof() && ds->CanModify() && !readOnly_ && options_.Contains(dgEditing) &&
            allowedOperations_.Contains(alopAppendEx))
            ds->Append();
    };
    auto upRule = [&] {
        if (ds->State() == dsInsert && !ds->Modified() && !link_->IsModified() && ds->Eof()) {
            ds->Cancel();
            return;
        }
        MoveToRecord(-1, sh && multi);
    };

    // A move that extends no selection anchors the next extension at the cell it reaches.
    const bool moveKey = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_PRIOR ||
                         key == VK_NEXT || key == VK_HOME || key == VK_END || key == VK_TAB ||
                         (key == VK_RETURN && optionsEx_.Contains(dghEnterAsTab));
    if (moveKey && !(sh && multi))
        selectionEndRow_ = TBookmark();

    if (!ctrl) {
        switch (key) {
        case VK_LEFT:
        case VK_RIGHT: {
            const int step = key == VK_LEFT ? -1 : 1;
            if (options_.Contains(dgRowSelect)) {
                if (step < 0 ? LeftCol() > FixedCols() : LeftCol() < MaxLeftCol())
                    SetLeftCol(LeftCol() + step);
            } else {
                // Shift extends the kind of selection there is; without one it makes a rectangle.
                const TDBGridExSelectionType kind = selection_->SelectionType();
                const bool extend = sh && multi;
                const bool goesOn = SelectionGoesOn();
                if (extend && kind == gstColumns) {
                    TDBGridExSelectionCols& cols = selection_->Columns();
                    const int cur = SelectedIndex();
                    if (!goesOn && cur >= 0 && cur < dataCols)
                        cols.Select(columns_->Items(cur), true);   // anchored anew at the current column
                    const int dc = nextVisible(cols.ShiftCol() ? cols.ShiftCol()->Index() : cur, step);
                    SetCurrentDataCol(dc);
                    cols.SelectShift(columns_->Items(dc));
                } else if (extend && (kind == gstRecordBookmarks || kind == gstAll)) {
                    SetCurrentDataCol(nextVisible(SelectedIndex(), step));
                } else if (extend && CanSelectType(gstRectangle)) {
                    TDBGridExSelectionRect& rect = selection_->Rect();
                    int from = SelectedIndex();
                    if (kind != gstRectangle || !goesOn) {
                        rect.Select(from, ds->GetBookmark(), false);
                    } else {
                        // The far corner moves, and the current cell with it.
                        GoToCornerRecord(*ds, rect.ShiftCorner());
                        if (rect.ShiftCorner().Col >= 0)
                            from = rect.ShiftCorner().Col;
                    }
                    const int dc = nextVisible(from, step);
                    SetCurrentDataCol(dc);
                    rect.Select(dc, ds->GetBookmark(), true);
                } else {
                    clearUnlessExtending(false);
                    SetCurrentDataCol(nextVisible(SelectedIndex(), step));
                }
                if (extend)
                    MarkSelectionEnd();
            }
            key = 0;
            break;
        }
        case VK_RETURN:
            if (!optionsEx_.Contains(dghEnterAsTab))
                break;
            [[fallthrough]];
        case VK_TAB: {
            if (shift & ssAlt)
                break;
            if (dataCols == 0)
                break;
            const int step = sh ? -1 : 1;
            const int start = SelectedIndex();
            int dc = start;
            bool wrapped = false;
            for (int n = 0; n <= dataCols; ++n) {
                dc += step;
                if (dc >= dataCols) {
                    dc = 0;
                    wrapped = true;
                } else if (dc < 0) {
                    dc = dataCols - 1;
                    wrapped = true;
                }
                if (dc == start)
                    break;
                if (isTabStop(dc))
                    break;
            }
            if (dc == start && !wrapped) {
                key = 0;
                break;
            }
            if (dc == start && !isTabStop(dc)) {
                key = 0;
                break;
            }
            if (wrapped) {
                if (step > 0)
                    downRule();
                else
                    upRule();
            }
            SetCurrentDataCol(dc);
            key = 0;
            break;
        }
        case VK_ESCAPE:
            // A changed editor only takes back its own text; the record's other edits stay until
            // the next Esc.
            if (EditorVisible() && EditorModified())
                inplaceEdit_->UpdateContents();
            else if (ds->State() == dsEdit || ds->State() == dsInsert)
                ds->Cancel();
            selection_->Clear();
            if (!options_.Contains(dgAlwaysShowEditor))
                HideEditor();
            if (dragState_ == 6)
                ownSizingLine_ = -1;
            dragState_ = 0;
            CancelGridState();
            InvalidateGrid();
            key = 0;
            break;
        case VK_PRIOR:
        case VK_NEXT:
            MoveToRecord(key == VK_PRIOR ? -GetVisibleDataRowCount() : GetVisibleDataRowCount(), sh && multi);
            key = 0;
            break;
        case VK_HOME:
        case VK_END:
            if (dataCols <= 1 || options_.Contains(dgRowSelect)) {
                if (sh && multi)
                    MoveToRecord(key == VK_HOME ? -ds->RecordCount() : ds->RecordCount(), true);
                else {
                    clearUnlessExtending(false);
                    key == VK_HOME ? ds->First() : ds->Last();
                }
            } else {
                int dc = key == VK_HOME ? nextVisible(-1, 1) : nextVisible(dataCols, -1);
                SetCurrentDataCol(dc);
            }
            key = 0;
            break;
        case VK_DOWN:
            downRule();
            key = 0;
            break;
        case VK_UP:
            upRule();
            key = 0;
            break;
        case VK_INSERT:
            if (sh) {
                if (incSearching_) {
                    if (QClipboard* cb = QApplication::clipboard())
                        DoIncSearch(cb->text(), 0);
                } else
                    ExecuteEditAction(geaPasteEx);
            } else if (ds->CanModify() && !readOnly_ && options_.Contains(dgEditing)) {
                selection_->Clear();
                if (allowedOperations_.Contains(alopInsertEx))
                    ds->Insert();
                else if (allowedOperations_.Contains(alopAppendEx))
                    ds->Append();
            }
            key = 0;
            break;
        case VK_DELETE:
            if (sh) {
                ExecuteEditAction(geaCutEx);
                key = 0;
            } else if (TColumnEx* c = SelectedColumn();
                       c && !options_.Contains(dgRowSelect) &&
                       (c->GetColumnType() == ctCheckboxes || c->GetColumnType() == ctKeyImageList)) {
                if (c->Field() && !c->Field()->ReadOnly() && c->CanModify(true))
                    c->Field()->Clear();
                key = 0;
            }
            break;
        case VK_F2:
            ShowEditor();
            key = 0;
            break;
        default: break;
        }
        return;
    }

    // With Ctrl.
    if (!sh && (key == VK_PRIOR || key == VK_NEXT || key == VK_UP || key == VK_DOWN || key == VK_HOME || key == VK_END))
        selection_->Clear();
    switch (key) {
    case VK_PRIOR:
    case VK_UP:
        link_->MoveBy(-link_->ActiveRecord());
        key = 0;
        break;
    case VK_NEXT:
    case VK_DOWN:
        link_->MoveBy(link_->RecordCount() - 1 - link_->ActiveRecord());
        key = 0;
        break;
    case VK_HOME:
    case VK_END:
        if (sh && multi)
            MoveToRecord(key == VK_HOME ? -ds->RecordCount() : ds->RecordCount(), true);
        else
            key == VK_HOME ? ds->First() : ds->Last();
        key = 0;
        break;
    case VK_LEFT:
    case VK_RIGHT: {
        int dc = -1;
        if (key == VK_LEFT) {
            for (int i = 0; i < dataCols && dc < 0; ++i)
                if (columns_->Items(i)->Visible())
                    dc = i;
        } else
            for (int i = dataCols - 1; i >= 0 && dc < 0; --i)
                if (columns_->Items(i)->Visible())
                    dc = i;
        if (dc >= 0)
            SetCurrentDataCol(dc);
        key = 0;
        break;
    }
    case VK_INSERT:
    case 'C':
        ExecuteEditAction(geaCopyEx);
        key = 0;
        break;
    case 'V':
        if (incSearching_) {
            if (QClipboard* cb = QApplication::clipboard())
                DoIncSearch(cb->text(), 0);
        } else
            ExecuteEditAction(geaPasteEx);
        key = 0;
        break;
    case 'X':
        ExecuteEditAction(geaCutEx);
        key = 0;
        break;
    case 'A':
        ExecuteEditAction(geaSelectAllEx);
        key = 0;
        break;
    case VK_DELETE:
        if (editActions_.Contains(geaDeleteEx) && selection_->SelectionType() != gstNon) {
            ExecuteEditAction(geaDeleteEx);
        } else if (!readOnly_ && !ds->IsEmpty() && ds->CanModify() && allowedOperations_.Contains(alopDeleteEx) &&
                   ConfirmDelete()) {
            DeleteCurrentOrSelected();
        }
        key = 0;
        break;
    default: break;
    }
}

void TCustomDBGridEx::KeyPress(QChar& ch)
{
    if (OnKeyPress)
        OnKeyPress(*this, ch);
    if (ch.isNull())
        return;
    const bool backward = QApplication::keyboardModifiers() & Qt::ShiftModifier;
    if (ch == QLatin1Char('\r')) {
        if (!options_.Contains(dgAlwaysShowEditor))
            link_->UpdateRecord();
        return;
    }
    TColumnEx* column = SelectedColumn();
    TDataSet* ds = DataSet();
    if (!column || !ds || !link_->Active())
        return;
    if (ch == QLatin1Char(' ') && !options_.Contains(dgRowSelect) &&
        (column->GetColumnType() == ctCheckboxes || column->GetColumnType() == ctKeyImageList)) {
        StepCheckCell(*column, backward);
        ch = QChar();
        return;
    }
    const bool wants = incSearching_ || (optionsEx_.Contains(dghIncSearch) && !column->CanModify(false)) ||
                       (optionsEx_.Contains(dghPreferIncSearch) && !options_.Contains(dgAlwaysShowEditor) &&
                        !EditorVisible());
    if (wants && ch.unicode() >= 32 && ds->State() != dsEdit && ds->State() != dsInsert) {
        DoIncSearch(QString(ch), 0);
        ch = QChar();
        return;
    }
    if (ch.unicode() >= 32 && options_.Contains(dgEditing) && !EditorVisible()) {
        ShowEditorChar(ch);
        ch = QChar();
    }
}

// ---- Mouse --------------------------------------------------------------------------------------

int TCustomDBGridEx::TitleLeafBandTop(int dataCol, const TRect& cellRect) const
{
    if (THeadTreeNode* leaf = LeafOf(dataCol))
        return std::max(cellRect.Top, cellRect.Bottom - leaf->Height + (optionsEx_.Contains(dghFixed3D) ? 1 : 3)) + 1;
    return cellRect.Top;
}

void TCustomDBGridEx::CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos, int& sizingOfs)
{
    TCustomGrid::CalcSizingState(x, y, state, index, sizingPos, sizingOfs);
    if (state == gsColSizing && index < indicatorOffset_)
        state = gsNormal;
    if (state == gsRowSizing && !(indicatorOffset_ > 0 && x < ColWidths(0)))
        state = gsNormal;
}

QCursor TCustomDBGridEx::CursorAt(int x, int y) const
{
    if (!link_->Active() && columns_->State() != csCustomized)
        return QCursor(Qt::ArrowCursor);
    TGridState st;
    int idx, pos, ofs;
    const_cast<TCustomDBGridEx*>(this)->CalcSizingState(x, y, st, idx, pos, ofs);
    if (st == gsColSizing)
        return QCursor(Qt::SplitHCursor);
    if (st == gsRowSizing)
        return QCursor(Qt::SplitVCursor);
    const TGridCoord c = MouseCoord(x, y);
    if (c.X < 0)
        return QCursor(Qt::ArrowCursor);
    const TCellAreaEx a = GetCellType(c.X, c.Y);
    TDataSet* ds = DataSet();
    if (a.ColKind == cacIndicator && a.RowKind == carData && link_->Active() && ds && !ds->IsEmpty() &&
        CanSelectType(gstRecordBookmarks))
        return DBGridExCursor(layoutDirection() == Qt::RightToLeft ? crLeftCurEx : crRightCurEx);
    if (a.ColKind == cacData && a.RowKind == carTitle && options_.Contains(dgTitles) && CanSelectType(gstColumns)) {
        const TRect r = TCustomGrid::CellRect(c.X, c.Y);
        if (y >= r.Bottom - kColumnSelectZone)
            return DBGridExCursor(crDownCurEx);
    }
    return QCursor(Qt::ArrowCursor);
}

void TCustomDBGridEx::UpdateCursor(int x, int y)
{
    viewport()->setCursor(CursorAt(x, y));
}

void TCustomDBGridEx::MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool doubleClick)
{
    lastMouseX_ = x;
    lastMouseY_ = y;
    if (filterEdit_ && filterEdit_->RefusedLeave())
        return;
    // The second press of a double click on the filter cell being edited belongs to its editor
    // (taking the focus first would close it).
    if (doubleClick && button == Qt::LeftButton && FilterEditing()) {
        const TGridCoord c = MouseCoord(x, y);
        const TCellAreaEx a = c.X >= 0 ? GetCellType(c.X, c.Y) : TCellAreaEx{};
        if (c.X >= 0 && a.RowKind == carFilter && a.ColKind == cacData && a.AreaCol == filterCol_) {
            PassPressToFilterEditor(x, y, true);
            if (OnMouseDown)
                OnMouseDown(*this, button, shift, x, y);
            return;
        }
    }
    if (button == Qt::RightButton && !hasFocus())
        setFocus(Qt::MouseFocusReason);
    if (!AcquireFocus())
        return;
    auto fireDown = [&] {
        if (OnMouseDown)
            OnMouseDown(*this, button, shift, x, y);
    };
    const TGridCoord cell = MouseCoord(x, y);
    TDataSet* ds = DataSet();

    if (doubleClick && button == Qt::LeftButton) {
        TGridState st;
        int idx, pos, ofs;
        CalcSizingState(x, y, st, idx, pos, ofs);
        if (st == gsColSizing && optionsEx_.Contains(dghDblClickOptimizeColWidth)) {
            const int dc = idx - indicatorOffset_;
            if (dc >= 0 && dc < columns_->Count())
                OptimizeSelectedColsWidth(columns_->Items(dc));
        } else if (cell.X >= 0 && link_->Active()) {
            const TCellAreaEx a = GetCellType(cell.X, cell.Y);
            if (a.ColKind == cacData && a.RowKind == carData && a.AreaCol < columns_->Count()) {
                TColumnEx* c = columns_->Items(a.AreaCol);
                if ((c->GetColumnType() == ctCheckboxes || c->GetColumnType() == ctKeyImageList) && c->DblClickNextVal())
                    StepCheckCell(*c, shift & ssShift);
            }
        }
        fireDown();
        if (OnDblClick)
            OnDblClick(*this);
        return;
    }

    // Column sizing.
    if (button == Qt::LeftButton) {
        TGridState st;
        int idx, pos, ofs;
        CalcSizingState(x, y, st, idx, pos, ofs);
        if (st == gsColSizing) {
            link_->UpdateRecord();
            if (!optionsEx_.Contains(dghTraceColSizing)) {
                dragState_ = 6;
                ownSizingCol_ = idx;
                ownSizingOfs_ = ofs;
                ownSizingLine_ = x + ofs;
                InvalidateGrid();
            } else
                TCustomGrid::MouseDown(button, shift, x, y, false);
            fireDown();
            return;
        }
        if (st == gsRowSizing) {
            TCustomGrid::MouseDown(button, shift, x, y, false);
            fireDown();
            return;
        }
    }
    if (cell.X < 0) {
        fireDown();
        return;
    }
    const TCellAreaEx a = GetCellType(cell.X, cell.Y);
    const TRect cellRect = TCustomGrid::CellRect(cell.X, cell.Y);

    // Titles.
    if (a.RowKind == carTitle && a.ColKind == cacData && a.AreaCol < columns_->Count()) {
        TColumnEx* c = columns_->Items(a.AreaCol);
        const bool inBand = y >= TitleLeafBandTop(a.AreaCol, cellRect) - 1;
        const bool plainPress = button == Qt::LeftButton || (button == Qt::RightButton && options_.Contains(dgColumnResize));
        if (plainPress && inBand && c->Title().TitleButton()) {
            titleButtonDown_ = true;
            pressedTitleCol_ = cell.X;
            pressX_ = x;
            pressY_ = y;
            InvalidateCell(cell.X, cell.Y);
            fireDown();
            return;
        }
        if (button == Qt::LeftButton && y >= cellRect.Bottom - kColumnSelectZone && CanSelectType(gstColumns) &&
            link_->Active()) {
            if (shift & ssShift)
                selection_->Columns().SelectShift(c);
            else if (shift & ssCtrl)
                selection_->Columns().InvertSelect(c);
            else
                selection_->Columns().Select(c, false);
            dragState_ = 2;
            MarkSelectionEnd();
            SetGridTimer(1, 60);
            fireDown();
            return;
        }
        pressX_ = x;
        pressY_ = y;
        if (button == Qt::LeftButton && options_.Contains(dgColumnResize))
            TCustomGrid::MouseDown(button, shift, x, y, false);
        fireDown();
        return;
    }
    if (a.RowKind == carTitle && a.ColKind == cacIndicator) {
        if (options_.Contains(dgMultiSelect) && link_->Active() && allowedSelections_.Contains(gstAll)) {
            if (selection_->SelectionType() == gstNon)
                selection_->SelectAll();
            else
                selection_->Clear();
        }
        fireDown();
        return;
    }
    if (a.RowKind == carFilter) {
        if (stFilter_->Visible() && a.ColKind == cacData && a.AreaCol < columns_->Count() &&
            columns_->Items(a.AreaCol)->Visible() && columns_->Items(a.AreaCol)->STFilter().Visible()) {
            selection_->Clear();
            ShowFilterEditor(a.AreaCol);
            if (button == Qt::LeftButton && FilterEditing()) {
                PassPressToFilterEditor(x, y);
                // The next press lands on the editor: it needs this one to see a double click.
                filterPressTime_ = SteadyMilliseconds();
                filterPressPos_ = viewport()->mapToGlobal(QPoint(x, y));
            }
        }
        fireDown();
        return;
    }
    if (a.RowKind != carData || !link_->Active() || !ds || a.AreaRow >= link_->RecordCount()) {
        fireDown();
        return;
    }

    // Data cell (or its indicator).
    link_->UpdateRecord();
    HideEditor();
    ds->CheckBrowseMode();
    const bool recordKind = a.ColKind == cacIndicator || options_.Contains(dgRowSelect);
    const TBookmark anchor = ds->GetBookmark();
    const int anchorCol = SelectedIndex();
    const bool wasCurrent = a.AreaRow == link_->ActiveRecord() && (a.ColKind == cacIndicator || a.AreaCol == SelectedIndex());
    const bool goesOn = SelectionGoesOn();
    // Shift extends a rectangle to the clicked cell and leaves the current record where it is.
    const bool extendingRect =
        (shift & ssShift) && !recordKind && a.ColKind == cacData && CanSelectType(gstRectangle);
    // Shift extends a record selection to the clicked record as the keys do, record by record.
    const bool extendingRows = recordKind && (shift & ssShift) && CanSelectType(gstRecordBookmarks);
    TBookmark clicked;
    {
        TLinkActiveRecordScope scope(*link_, a.AreaRow);
        clicked = ds->ActiveBookmark();
    }
    if (!extendingRect && !extendingRows)
        link_->MoveBy(a.AreaRow - link_->ActiveRecord());
    if (a.ColKind == cacData)
        SetCurrentDataCol(a.AreaCol);

    if (recordKind && CanSelectType(gstRecordBookmarks)) {
        if (extendingRows) {
            BeginRecordExtension(goesOn);
            DragRecordsBy(a.AreaRow - link_->ActiveRecord());
        } else if (shift & ssCtrl) {
            bookmarks_->SetCurrentRowSelected(!bookmarks_->CurrentRowSelected());
            dragSelecting_ = bookmarks_->CurrentRowSelected();
            dragAnchor_ = ds->GetBookmark();
        } else {
            if (optionsEx_.Contains(dghClearSelection))
                selection_->Clear();
            bookmarks_->SetCurrentRowSelected(true);
            dragSelecting_ = true;
            dragAnchor_ = ds->GetBookmark();
        }
        dragState_ = 1;
    } else if (!recordKind && a.ColKind == cacData && CanSelectType(gstRectangle)) {
        const bool keep = button == Qt::RightButton && IsCellSelected(cell.X, cell.Y);
        if (!(shift & (ssShift | ssCtrl)) && optionsEx_.Contains(dghClearSelection) && !keep)
            selection_->Clear();
        if (!keep) {
            // Without a rectangle, or after another move, the extension starts at the current
            // cell, not at an old corner.
            if (extendingRect && (selection_->SelectionType() != gstRectangle || !goesOn))
                selection_->Rect().Select(anchorCol, anchor, false);
            selection_->Rect().Select(a.AreaCol, clicked, extendingRect);
            dragState_ = 3;
        }
    } else if (!(shift & (ssShift | ssCtrl)) && optionsEx_.Contains(dghClearSelection) &&
               selection_->SelectionType() != gstNon) {
        selection_->Clear();
    }

    if (button == Qt::LeftButton && (wasCurrent || options_.Contains(dgAlwaysShowEditor)) &&
        options_.Contains(dgEditing))
        ShowEditor();
    if (dragState_ == 1 || dragState_ == 3)
        MarkSelectionEnd();
    // Only a cell of the record that is now current may step on release, and none while Shift
    // extends a selection: the click is about the selection, not the value.
    if (a.ColKind == cacData && a.AreaCol < columns_->Count() && !extendingRect && !extendingRows &&
        a.AreaRow == link_->ActiveRecord()) {
        const TColumnTypeEx kind = columns_->Items(a.AreaCol)->GetColumnType();
        if (kind == ctCheckboxes || kind == ctKeyImageList)
            hotCheckCell_ = cell;
    }
    fireDown();
}

void TCustomDBGridEx::MouseMove(TShiftState shift, int x, int y)
{
    lastMouseX_ = x;
    lastMouseY_ = y;
    if (titleButtonDown_ && std::abs(x - pressX_) > 3 && options_.Contains(dgColumnResize)) {
        titleButtonDown_ = false;
        InvalidateCell(pressedTitleCol_, 0);
        gridState_ = gsColMoving;
        moveIndex_ = pressedTitleCol_;
        movePos_ = pressedTitleCol_;
        pressedTitleCol_ = -1;
    }
    switch (dragState_) {
    case 6: {
        const int left = ColLeft(ownSizingCol_);
        const int line = std::max(left + 1, x + ownSizingOfs_);
        if (line != ownSizingLine_) {
            InvalidateRect(TRect(ownSizingLine_, 0, ownSizingLine_ + 1, ClientHeight()));
            ownSizingLine_ = line;
            InvalidateRect(TRect(ownSizingLine_, 0, ownSizingLine_ + 1, ClientHeight()));
        }
        return;
    }
    case 1:
    case 3: {
        const int cx = std::clamp(x, 0, std::max(0, ClientWidth() - 1));
        const int cy = std::clamp(y, 0, std::max(0, ClientHeight() - 1));
        const TGridCoord c = MouseCoord(cx, cy);
        TDataSet* ds = DataSet();
        if (c.X >= 0 && ds && link_->Active()) {
            const TCellAreaEx a = GetCellType(c.X, c.Y);
            if (a.RowKind == carData && a.AreaRow < link_->RecordCount()) {
                if (a.AreaRow != link_->ActiveRecord()) {
                    if (dragState_ == 1)
                        DragRecordsBy(a.AreaRow - link_->ActiveRecord());
                    else
                        link_->MoveBy(a.AreaRow - link_->ActiveRecord());
                }
                if (dragState_ == 3 && a.ColKind == cacData) {
                    SetCurrentDataCol(a.AreaCol);
                    selection_->Rect().Select(a.AreaCol, ds->GetBookmark(), true);
                }
            }
        }
        TimerMouseSelect(x, y);
        return;
    }
    case 2: {
        const TGridCoord c = MouseCoord(std::clamp(x, 0, std::max(0, ClientWidth() - 1)), 0);
        if (c.X >= indicatorOffset_ && c.X - indicatorOffset_ < columns_->Count())
            selection_->Columns().SelectShift(columns_->Items(c.X - indicatorOffset_));
        else
            TimerMouseSelect(x, y);
        return;
    }
    default: break;
    }
    TCustomGrid::MouseMove(shift, x, y);
    if (gridState_ == gsNormal && !(shift & ssLeft))
        UpdateCursor(x, y);
}

void TCustomDBGridEx::TimerMouseSelect(int x, int y)
{
    if (dragState_ != 1 && dragState_ != 2 && dragState_ != 3) {
        KillGridTimer(1);
        return;
    }
    TDataSet* ds = DataSet();
    if (!ds || !link_->Active())
        return;
    int d = 0;
    if (dragState_ == 2) {
        if (x < 0)
            d = -x;
        else if (x >= ClientWidth())
            d = x - ClientWidth() + 1;
        if (d == 0) {
            KillGridTimer(1);
            return;
        }
        const int dc = SelectedIndex() + (x < 0 ? -1 : 1);
        if (dc >= 0 && dc < columns_->Count()) {
            SetCurrentDataCol(dc);
            selection_->Columns().SelectShift(columns_->Items(dc));
        }
        SetGridTimer(1, std::max(0, 200 - 10 * d));
        return;
    }
    const int top = RowTop(topDataOffset_);
    const int lastRow = topDataOffset_ + std::max(0, link_->RecordCount() - 1);
    const int bottom = RowTop(lastRow) >= 0 ? RowTop(lastRow) + RowHeights(lastRow) : ClientHeight();
    int dir = 0;
    if (y < top) {
        d = top - y;
        dir = -1;
    } else if (y >= bottom) {
        d = y - bottom + 1;
        dir = 1;
    }
    if (dir == 0) {
        KillGridTimer(1);
        return;
    }
    if (dragState_ == 1)
        DragRecordsBy(dir);
    else if (link_->MoveBy(dir) != 0)
        selection_->Rect().Select(SelectedIndex(), ds->GetBookmark(), true);
    SetGridTimer(1, std::max(0, 200 - 15 * d));
}

void TCustomDBGridEx::DragRecordsBy(int distance)
{
    TDataSet* ds = DataSet();
    if (!ds || distance == 0)
        return;
    const int step = distance > 0 ? 1 : -1;
    for (int i = 0; i != distance; i += step) {
        const int side = dragAnchor_.IsNull() ? 0 : ds->CompareBookmarks(ds->GetBookmark(), dragAnchor_);
        const bool back = side != 0 && (side > 0) == (step < 0);
        if (back)
            bookmarks_->SetCurrentRowSelected(!dragSelecting_);
        if (link_->MoveBy(step) == 0)
            break;
        if (!back)
            bookmarks_->SetCurrentRowSelected(dragSelecting_);
    }
}

void TCustomDBGridEx::MarkSelectionEnd()
{
    TDataSet* ds = DataSet();
    selectionEndRow_ = ds && link_->Active() ? ds->GetBookmark() : TBookmark();
    selectionEndCol_ = SelectedIndex();
}

bool TCustomDBGridEx::SelectionGoesOn() const
{
    TDataSet* ds = DataSet();
    return ds && link_->Active() && !selectionEndRow_.IsNull() && selectionEndCol_ == SelectedIndex() &&
           ds->BookmarkValid(selectionEndRow_) && ds->CompareBookmarks(selectionEndRow_, ds->GetBookmark()) == 0;
}

void TCustomDBGridEx::BeginRecordExtension(bool goesOn)
{
    TDataSet* ds = DataSet();
    if (goesOn && selection_->SelectionType() == gstRecordBookmarks && dragSelecting_ && !dragAnchor_.IsNull() &&
        ds->BookmarkValid(dragAnchor_) && bookmarks_->CurrentRowSelected())
        return;
    dragAnchor_ = ds->GetBookmark();
    dragSelecting_ = true;
    bookmarks_->SetCurrentRowSelected(true);
}

void TCustomDBGridEx::ApplySortMarking()
{
    if (OnSortMarkingChanged)
        OnSortMarkingChanged(*this);
    DBGridExDefaultService().ApplySorting(*this);
}

void TCustomDBGridEx::MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y)
{
    if (dragState_ == 6) {
        const int left = ColLeft(ownSizingCol_);
        const int width = std::max(1, ownSizingLine_ - left);
        ownSizingLine_ = -1;
        dragState_ = 0;
        SetColWidths(ownSizingCol_, width);
        ColWidthsChanged();
        InvalidateGrid();
        if (OnMouseUp)
            OnMouseUp(*this, button, shift, x, y);
        return;
    }
    const TGridCoord cell = MouseCoord(x, y);
    if (titleButtonDown_) {
        const int col = pressedTitleCol_;
        titleButtonDown_ = false;
        pressedTitleCol_ = -1;
        InvalidateCell(col, 0);
        const int dc = col - indicatorOffset_;
        if (cell.X == col && cell.Y == 0 && dc >= 0 && dc < columns_->Count() &&
            y >= TitleLeafBandTop(dc, TCustomGrid::CellRect(cell.X, cell.Y)) - 1) {
            TColumnEx* c = columns_->Items(dc);
            if (OnTitleBtnClick)
                OnTitleBtnClick(*this, dc, *c);
            if (optionsEx_.Contains(dghAutoSortMarking)) {
                c->Title().CycleSortMarker((shift & ssCtrl) && optionsEx_.Contains(dghMultiSortMarking));
                ApplySortMarking();
            }
        }
    }
    KillGridTimer(1);
    const int wasDrag = dragState_;
    dragState_ = 0;
    if (wasDrag >= 1 && wasDrag <= 3)
        MarkSelectionEnd();
    TCustomGrid::MouseUp(button, shift, x, y);

    if (cell.X >= 0) {
        const TCellAreaEx a = GetCellType(cell.X, cell.Y);
        if (a.ColKind == cacData && a.AreaCol < columns_->Count()) {
            TColumnEx* c = columns_->Items(a.AreaCol);
            if (a.RowKind == carTitle && OnTitleClick && wasDrag == 0 && std::abs(x - pressX_) <= 3)
                OnTitleClick(*this, *c);
            else if (a.RowKind == carData && OnCellClick)
                OnCellClick(*this, *c);
            if (a.RowKind == carData && hotCheckCell_.X == cell.X && hotCheckCell_.Y == cell.Y &&
                a.AreaRow == link_->ActiveRecord() && !c->DblClickNextVal() &&
                !(shift & ssDouble) && c->CanModify(false))
                StepCheckCell(*c, shift & ssShift);
        }
    }
    hotCheckCell_ = TGridCoord();
    if (button == Qt::RightButton)
        if (QMenu* menu = ColumnPopupMenuAt(x, y))
            menu->popup(viewport()->mapToGlobal(QPoint(x, y)));
    if (OnMouseUp)
        OnMouseUp(*this, button, shift, x, y);
}

QMenu* TCustomDBGridEx::ColumnPopupMenuAt(int x, int y) const
{
    const TGridCoord cell = MouseCoord(x, y);
    if (cell.X < 0)
        return nullptr;
    const TCellAreaEx a = GetCellType(cell.X, cell.Y);
    if (a.ColKind != cacData || a.AreaCol >= columns_->Count() ||
        (a.RowKind != carTitle && a.RowKind != carData))
        return nullptr;
    return columns_->Items(a.AreaCol)->PopupMenu();
}

void TCustomDBGridEx::contextMenuEvent(QContextMenuEvent* e)
{
    // A column with its own menu shows it on the button's release; no other menu goes up.
    if (e->reason() == QContextMenuEvent::Mouse && ColumnPopupMenuAt(e->pos().x(), e->pos().y())) {
        e->accept();
        return;
    }
    TCustomGrid::contextMenuEvent(e);
}

void TCustomDBGridEx::TimerEvent(int id)
{
    if (id == 1)
        TimerMouseSelect(lastMouseX_, lastMouseY_);
    else if (id == 2)
        StopIncSearch();
}

void TCustomDBGridEx::ColumnMoved(int from, int to)
{
    const int df = from - indicatorOffset_;
    const int dt = to - indicatorOffset_;
    if (df < 0 || dt < 0 || df >= columns_->Count() || dt >= columns_->Count())
        return;
    stFilter_->BeginUpdate();
    try {
        columns_->Items(df)->SetIndex(dt);
        if (OnColumnMoved)
            OnColumnMoved(*this, from, to);
    } catch (...) {
        stFilter_->EndUpdate();
        throw;
    }
    stFilter_->EndUpdate();
    SetCurrentDataCol(dt);
    if (filterEditing_) {
        filterCol_ = dt;
        PlaceFilterEditor(false);
    }
}

void TCustomDBGridEx::DoExit()
{
    // Focus that moves into the grid's own editors has not left the grid.
    if (IsFocusWithin())
        return;
    pendingClick_ = false;
    TDataSet* ds = DataSet();
    if (link_->Active() && ds && options_.Contains(dgCancelOnExit) && ds->State() == dsInsert && !ds->Modified() &&
        !link_->IsModified())
        ds->Cancel();
    else if (link_->Active())
        link_->UpdateRecord();
}

void TCustomDBGridEx::DoEnter() {}

void TCustomDBGridEx::wheelEvent(QWheelEvent* e)
{
    Guarded([&] {
        const int notches = e->angleDelta().y() / 120;
        if (notches == 0 || !link_->Active())
            return;
        const int step = notches > 0 ? -1 : 1;
        for (int i = 0; i < std::abs(notches); ++i)
            link_->MoveBy(step);
    });
    e->accept();
}

bool TCustomDBGridEx::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QPoint p = viewport()->mapFrom(this, help->pos());
        QString tip;
        Guarded([&] {
            const TGridCoord c = MouseCoord(p.x(), p.y());
            if (c.X < 0)
                return;
            const TCellAreaEx a = GetCellType(c.X, c.Y);
            if (a.ColKind != cacData || a.AreaCol >= columns_->Count())
                return;
            TColumnEx* col = columns_->Items(a.AreaCol);
            const TRect r = TCustomGrid::CellRect(c.X, c.Y);
            TCanvas m;
            if (a.RowKind == carTitle) {
                if (!col->Title().Hint().isEmpty()) {
                    tip = col->Title().Hint();
                    return;
                }
                if (col->Title().ToolTips()) {
                    m.SetFont(col->Title().Font());
                    if (m.TextWidth(col->Title().Caption()) > r.Width() - col->Title().SortMarkingWidth() - 4)
                        tip = col->Title().Caption();
                }
            } else if (a.RowKind == carData && col->ToolTips() && link_->Active() && a.AreaRow < link_->RecordCount() &&
                       col->GetColumnType() != ctCheckboxes && col->GetColumnType() != ctKeyImageList) {
                TLinkActiveRecordScope scope(*link_, a.AreaRow);
                const QString text = col->DisplayText();
                m.SetFont(col->Font());
                if (m.TextWidth(text) > r.Width() - 4)
                    tip = text;
            }
        });
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return TCustomGrid::event(e);
}
