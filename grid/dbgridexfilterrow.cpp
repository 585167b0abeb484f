#include "grid/dbgridexfilterrow.h"

#include "grid/dbgridex.h"
#include "grid/dbgridexinplace.h"

#include "platform/application.h"

#include <QApplication>
#include <QMouseEvent>
#include <cmath>

// Keys of the editor reach the grid through this holder.
class TInplaceFilterEditEx::Holder : public QObject, public IInplaceEditHolderEx {
public:
    // Enter reaches the grid here, which applies the filter.
    Holder(TInplaceFilterEditEx* edit, TCustomDBGridEx* grid) : QObject(edit), grid_(grid) {}

    void InplaceEditKeyDown(int& key, TShiftState shift) override { grid_->FilterEditKeyDown(key, shift); }
    void InplaceEditKeyPress(QChar& key) override
    {
        if (key == QChar(13) || key == QChar(9) || key == QChar(10))
            key = QChar();
    }
    void InplaceEditKeyUp(int&, TShiftState) override {}
    bool InplaceEditCanModify() override { return true; }
    bool InplaceEditWantTabs() override { return grid_->Options().Contains(dgTabs); }

private:
    TCustomDBGridEx* grid_;
};

TInplaceFilterEditEx::TInplaceFilterEditEx(TCustomDBGridEx* grid) : TCustomDBEditEx(grid->viewport()), grid_(grid)
{
    holder_ = new Holder(this, grid);
    SetInplaceEditHolder(holder_);
    SetCtl3D(false);
    SetAutoSize(false);
    // The cell gives the height.
    setMinimumHeight(0);
    setMaximumHeight(QWIDGETSIZE_MAX);
    SetAutoSelect(false);
    hide();
    grid->viewport()->installEventFilter(this);
}

bool TInplaceFilterEditEx::eventFilter(QObject* watched, QEvent* e)
{
    // The grid scrolled or resized: follow the filter cell.
    if (watched == grid_->viewport() && isVisible() && (e->type() == QEvent::Paint || e->type() == QEvent::Resize))
        Guarded([&] { grid_->PlaceFilterEditor(false); });
    return TCustomDBEditEx::eventFilter(watched, e);
}

void TInplaceFilterEditEx::focusOutEvent(QFocusEvent* e)
{
    TCustomDBEditEx::focusOutEvent(e);
    // A click into the grid's data ends the filter editing.
    if (QApplication::focusWidget() != grid_ || !isVisible())
        return;
    if (Guarded([&] { grid_->HideFilterEditor(); }))
        return;
    // The text was refused: the press that took the focus does nothing, and the focus comes back
    // to the text for correcting.
    refusedLeave_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refusedLeave_ = false;
            if (isVisible())
                setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

void TInplaceFilterEditEx::mousePressEvent(QMouseEvent* e)
{
    TCustomDBEditEx::mousePressEvent(e);
    // The first press of a double click went to the grid's filter cell before this editor
    // covered it.
    bool second = false;
    Guarded([&] { second = e->button() == Qt::LeftButton && grid_->TakeFilterDoubleClick(e->globalPosition().toPoint()); });
    if (second) {
        QMouseEvent dbl(QEvent::MouseButtonDblClick, e->position(), e->globalPosition(), e->button(), e->buttons(),
                        e->modifiers());
        mouseDoubleClickEvent(&dbl);
    }
}

TInplaceFilterEditEx::~TInplaceFilterEditEx() { SetInplaceEditHolder(nullptr); }

TColor FilterRowBackground(TColor fixedColor)
{
    const TColor rgb = ColorToRGB(fixedColor);
    auto lighten = [](int c) { return std::min(255, c + int(std::lround(c / 8.0))); };
    const int r = lighten(int(rgb & 0xFF));
    const int g = lighten(int((rgb >> 8) & 0xFF));
    const int b = lighten(int((rgb >> 16) & 0xFF));
    return TColor(r | (g << 8) | (b << 16));
}

// ---- The grid's filter-row side ------------------------------------------------------------------

namespace {

bool AllowsFiltering(TColumnEx& c) { return c.Visible() && c.STFilter().Visible(); }

} // namespace

TInplaceFilterEditEx* TCustomDBGridEx::CreateFilterEditor() { return new TInplaceFilterEditEx(this); }

bool TCustomDBGridEx::FilterEditorAllowed() const
{
    return filterEditing_ && selection_->SelectionType() == gstNon;
}

void TCustomDBGridEx::StoreFilterEditText(int dataCol)
{
    if (!filterEdit_ || dataCol < 0 || dataCol >= columns_->Count())
        return;
    columns_->Items(dataCol)->STFilter().SetFilterText(filterEdit_->Text());
}

void TCustomDBGridEx::LoadFilterEditText(int dataCol)
{
    if (!filterEdit_ || dataCol < 0 || dataCol >= columns_->Count())
        return;
    filterEdit_->EditButton().SetVisible(false);
    filterEdit_->EditButtonsChanged();
    TSTColumnFilterEx& f = columns_->Items(dataCol)->STFilter();
    filterEdit_->SetValue(Variant(f.FilterText().isEmpty() ? f.GetExpressionAsString() : f.FilterText()));
}

void TCustomDBGridEx::DefaultApplyFilter() { DBGridExDefaultService().ApplyFilter(*this); }

void TCustomDBGridEx::ShowFilterEditor(int dataCol)
{
    if (!stFilter_->Visible() || dataCol < 0 || dataCol >= columns_->Count() ||
        !AllowsFiltering(*columns_->Items(dataCol)))
        return;
    if (link_->Active() && DataSet())
        DataSet()->CheckBrowseMode();
    if (!filterEdit_) {
        filterEdit_ = CreateFilterEditor();
        filterEdit_->SetFlat(flat_);
        QPalette pal = filterEdit_->palette();
        pal.setColor(QPalette::Base, ToQColor(FilterRowBackground(fixedColor_)));
        pal.setColor(QPalette::Text, ToQColor(kFilterRowFontColor));
        filterEdit_->setPalette(pal);
    }
    if (filterCol_ >= 0 && filterCol_ != dataCol && filterEdit_->isVisible())
        StoreFilterEditText(filterCol_);
    filterCol_ = dataCol;
    filterEditing_ = true;
    HideEditor();
    BeginUpdate();
    try {
        if (!options_.Contains(dgRowSelect)) {
            SetCurrentDataCol(dataCol);
        } else {
            const int gridCol = DataColToGridCol(dataCol);
            if (gridCol < LeftCol())
                SetLeftCol(std::max(FixedCols(), gridCol));
            else
                while (gridCol >= LeftCol() + VisibleColCount() && LeftCol() < MaxLeftCol())
                    SetLeftCol(LeftCol() + 1);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    PlaceFilterEditor(true);
}

void TCustomDBGridEx::PlaceFilterEditor(bool focus)
{
    if (!filterEdit_ || stFilter_->UpdateCount() > 0)
        return;
    const int row = GetTitleRowCount();
    if (stFilter_->Visible() && filterEditing_ && filterCol_ >= 0 && filterCol_ < columns_->Count() &&
        AllowsFiltering(*columns_->Items(filterCol_))) {
        const TRect r = TCustomGrid::CellRect(DataColToGridCol(filterCol_), row);
        if (!FilterEditorAllowed() || IsRectEmpty(r)) {
            filterEdit_->hide();
            return;
        }
        filterEdit_->setGeometry(r.Left, r.Top, r.Width(), r.Height());
        if (focus)
            LoadFilterEditText(filterCol_);
        filterEdit_->show();
        filterEdit_->raise();
        if (focus) {
            filterFocusedGrid_ = IsFocusWithin() || QApplication::focusWidget() == nullptr;
            filterEdit_->setFocus(Qt::OtherFocusReason);
            filterEdit_->end(false);
        }
        return;
    }
    filterEdit_->hide();
}

void TCustomDBGridEx::HideFilterEditor()
{
    if (stFilter_->UpdateCount() > 0)
        return;
    if (filterEdit_ && filterEdit_->isVisible()) {
        // A text the filter refuses raises here, with the editor still holding it.
        if (filterCol_ >= 0)
            StoreFilterEditText(filterCol_);
        const bool hadFocus = filterEdit_->hasFocus();
        filterEdit_->hide();
        if (filterCol_ >= 0)
            InvalidateCell(DataColToGridCol(filterCol_), GetTitleRowCount());
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }
    filterEditing_ = false;
    if (EditorAlwaysShown())
        ShowEditor();
}

void TCustomDBGridEx::HideFilterEdit() { HideFilterEditor(); }

void TCustomDBGridEx::ApplyFilter()
{
    StoreFilterEditText(filterCol_);
    const int left = LeftCol();
    BeginLayout();
    try {
        if (OnApplyFilter)
            OnApplyFilter(*this);
        else
            DefaultApplyFilter();
    } catch (...) {
        EndLayout();
        throw;
    }
    EndLayout();
    if (left < ColCount() && left != LeftCol() && left <= MaxLeftCol())
        SetLeftCol(left);
    PlaceFilterEditor(true);
    if (sumList_->Active())
        sumList_->RecalcAll();
    InvalidateGrid();
}

int TCustomDBGridEx::NextFilterColumn(int from, int step) const
{
    for (int i = from + step; i >= 0 && i < columns_->Count(); i += step)
        if (AllowsFiltering(*columns_->Items(i)))
            return i;
    return -1;
}

void TCustomDBGridEx::FilterEditKeyDown(int& key, TShiftState shift)
{
    if (!filterEdit_)
        return;
    const bool ctrl = shift & ssCtrl;
    const int caret = filterEdit_->cursorPosition();
    const bool noSel = !filterEdit_->hasSelectedText();
    const bool atStart = noSel && caret == 0;
    const bool atEnd = noSel && caret == int(filterEdit_->Text().size());
    auto moveTo = [&](int dataCol) {
        if (dataCol >= 0 && dataCol != filterCol_)
            ShowFilterEditor(dataCol);
        key = 0;
    };
    switch (key) {
    case VK_LEFT:
        if (ctrl || atStart)
            moveTo(NextFilterColumn(filterCol_, -1));
        break;
    case VK_RIGHT:
        if (ctrl || atEnd)
            moveTo(NextFilterColumn(filterCol_, 1));
        break;
    case VK_HOME:
        if (ctrl || atStart)
            moveTo(NextFilterColumn(-1, 1));
        break;
    case VK_END:
        if (ctrl || atEnd)
            moveTo(NextFilterColumn(columns_->Count(), -1));
        break;
    case VK_TAB:
        if (options_.Contains(dgTabs))
            moveTo(NextFilterColumn(filterCol_, (shift & ssShift) ? -1 : 1));
        break;
    case VK_RETURN:
        key = 0;
        ApplyFilter();
        break;
    case VK_UP: key = 0; break;
    case VK_DOWN:
        if ((shift & (ssShift | ssAlt)) == 0) {
            key = 0;
            const int col = filterCol_;
            HideFilterEditor();
            if (link_->Active()) {
                if (col >= 0 && !options_.Contains(dgRowSelect))
                    SetCurrentDataCol(col);
                if (!ctrl)
                    link_->MoveBy(-link_->ActiveRecord());
            }
            setFocus(Qt::OtherFocusReason);
        }
        break;
    case 0x71:   // F2
        filterEdit_->selectAll();
        key = 0;
        break;
    default: break;
    }
}

bool TCustomDBGridEx::TakeFilterDoubleClick(const QPoint& globalPos)
{
    if (filterPressTime_ < 0)
        return false;
    const bool inTime = SteadyMilliseconds() - filterPressTime_ <= QApplication::doubleClickInterval();
    const bool inPlace = (globalPos - filterPressPos_).manhattanLength() <= QApplication::startDragDistance();
    filterPressTime_ = -1;
    return inTime && inPlace;
}

void TCustomDBGridEx::PassPressToFilterEditor(int x, int y, bool doubleClick)
{
    if (!filterEdit_ || !filterEdit_->isVisible())
        return;
    filterPressTime_ = -1;
    const QPointF local = filterEdit_->mapFrom(viewport(), QPoint(x, y));
    const QPointF global = viewport()->mapToGlobal(QPoint(x, y));
    QMouseEvent press(doubleClick ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, local, global,
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(filterEdit_, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(filterEdit_, &release);
}
