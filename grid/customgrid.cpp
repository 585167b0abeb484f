#include "grid/customgrid.h"

#include "platform/application.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTimerEvent>
#include <algorithm>

TCustomGrid::TCustomGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    colWidths_.assign(5, defaultColWidth_);
    rowHeights_.assign(5, defaultRowHeight_);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameShape(QFrame::StyledPanel);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        const bool vertical = bar == verticalScrollBar();
        bar->setTracking(false);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, vertical](int action) { Guarded([&] { OnScrollAction(vertical, action); }); });
        // The bar itself never tracks (the grid places it); a thumb drag reaches the grid as
        // track codes, which a grid that tracks follows.
        connect(bar, &QAbstractSlider::sliderMoved, this,
                [this, vertical](int pos) { Guarded([&] { ScrollBarAction(vertical, scTrack, pos); }); });
        connect(bar, &QAbstractSlider::sliderReleased, this, [this, vertical, bar] {
            Guarded([&] { ScrollBarAction(vertical, scPosition, bar->sliderPosition()); });
        });
    }
    UpdateScrollRange();
}

TCustomGrid::~TCustomGrid() = default;

// ---- Structure ----------------------------------------------------------------------------------

void TCustomGrid::SetColCount(int n)
{
    n = std::max(1, n);
    if (n == ColCount())
        return;
    colWidths_.resize(std::size_t(n), defaultColWidth_);
    fixedCols_ = std::min(fixedCols_, n - 1 < 0 ? 0 : n - 1);
    if (fixedCols_ >= n)
        fixedCols_ = n - 1;
    col_ = std::clamp(col_, std::min(fixedCols_, n - 1), n - 1);
    leftCol_ = std::clamp(leftCol_, std::min(fixedCols_, n - 1), n - 1);
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetRowCount(int n)
{
    n = std::max(1, n);
    if (n == RowCount())
        return;
    rowHeights_.resize(std::size_t(n), defaultRowHeight_);
    if (fixedRows_ >= n)
        fixedRows_ = n - 1;
    row_ = std::clamp(row_, std::min(fixedRows_, n - 1), n - 1);
    topRow_ = std::clamp(topRow_, std::min(fixedRows_, n - 1), n - 1);
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetFixedCols(int n)
{
    n = std::clamp(n, 0, ColCount() - 1 < 0 ? 0 : ColCount() - 1);
    if (n == fixedCols_)
        return;
    fixedCols_ = n;
    col_ = std::max(col_, n);
    leftCol_ = std::max(leftCol_, n);
    if (leftCol_ > n && leftCol_ > MaxLeftCol())
        leftCol_ = std::max(n, MaxLeftCol());
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetFixedRows(int n)
{
    n = std::clamp(n, 0, RowCount() - 1 < 0 ? 0 : RowCount() - 1);
    if (n == fixedRows_)
        return;
    fixedRows_ = n;
    row_ = std::max(row_, n);
    topRow_ = n;
    UpdateScrollRange();
    InvalidateGrid();
}

int TCustomGrid::ColWidths(int col) const
{
    return col >= 0 && col < ColCount() ? colWidths_[std::size_t(col)] : defaultColWidth_;
}

void TCustomGrid::SetColWidths(int col, int width)
{
    if (col < 0 || col >= ColCount() || colWidths_[std::size_t(col)] == width)
        return;
    colWidths_[std::size_t(col)] = width;
    UpdateScrollRange();
    InvalidateGrid();
}

int TCustomGrid::RowHeights(int row) const
{
    return row >= 0 && row < RowCount() ? rowHeights_[std::size_t(row)] : defaultRowHeight_;
}

void TCustomGrid::SetRowHeights(int row, int height)
{
    if (row < 0 || row >= RowCount() || rowHeights_[std::size_t(row)] == height)
        return;
    rowHeights_[std::size_t(row)] = height;
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetDefaultColWidth(int w)
{
    defaultColWidth_ = w;
    std::fill(colWidths_.begin(), colWidths_.end(), w);
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetDefaultRowHeight(int h)
{
    defaultRowHeight_ = h;
    std::fill(rowHeights_.begin(), rowHeights_.end(), h);
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetGridLineWidth(int w)
{
    gridLineWidth_ = std::max(0, w);
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetGridOptions(TGridOptions o)
{
    if (o == gridOptions_)
        return;
    gridOptions_ = o;
    InvalidateGrid();
}

void TCustomGrid::SetScrollBars(TScrollStyle s)
{
    if (s == scrollBars_)
        return;
    scrollBars_ = s;
    UpdateScrollRange();
}

// ---- Geometry -----------------------------------------------------------------------------------

int TCustomGrid::ClientWidth() const { return viewport()->width(); }
int TCustomGrid::ClientHeight() const { return viewport()->height(); }

int TCustomGrid::VertLineWidth(int col) const
{
    const unsigned opt = col < fixedCols_ ? goFixedVertLine : goVertLine;
    return (gridOptions_ & opt) ? gridLineWidth_ : 0;
}

int TCustomGrid::HorzLineWidth(int row) const
{
    const unsigned opt = row < fixedRows_ ? goFixedHorzLine : goHorzLine;
    return (gridOptions_ & opt) ? gridLineWidth_ : 0;
}

int TCustomGrid::ColLeft(int col) const
{
    if (col < 0 || col >= ColCount())
        return -1;
    int x = 0;
    if (col < fixedCols_) {
        for (int i = 0; i < col; ++i)
            x += std::max(0, ColWidths(i) + VertLineWidth(i));
        return x;
    }
    if (col < leftCol_)
        return -1;
    for (int i = 0; i < fixedCols_; ++i)
        x += std::max(0, ColWidths(i) + VertLineWidth(i));
    for (int i = leftCol_; i < col; ++i)
        x += std::max(0, ColWidths(i) + VertLineWidth(i));
    return x;
}

int TCustomGrid::RowTop(int row) const
{
    if (row < 0 || row >= RowCount())
        return -1;
    int y = 0;
    if (row < fixedRows_) {
        for (int i = 0; i < row; ++i)
            y += std::max(0, RowHeights(i) + HorzLineWidth(i));
        return y;
    }
    if (row < topRow_)
        return -1;
    for (int i = 0; i < fixedRows_; ++i)
        y += std::max(0, RowHeights(i) + HorzLineWidth(i));
    for (int i = topRow_; i < row; ++i)
        y += std::max(0, RowHeights(i) + HorzLineWidth(i));
    return y;
}

TRect TCustomGrid::CellRect(int col, int row) const
{
    const int x = ColLeft(col);
    const int y = RowTop(row);
    if (x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight())
        return TRect();
    return TRect(x, y, x + std::max(0, ColWidths(col)), y + std::max(0, RowHeights(row)));
}

TGridCoord TCustomGrid::MouseCoord(int x, int y) const
{
    TGridCoord c;
    for (int i = 0; i < ColCount(); ++i) {
        const int l = ColLeft(i);
        if (l < 0 || l >= ClientWidth())
            continue;
        if (x >= l && x < l + std::max(0, ColWidths(i) + VertLineWidth(i))) {
            c.X = i;
            break;
        }
    }
    for (int i = 0; i < RowCount(); ++i) {
        const int t = RowTop(i);
        if (t < 0 || t >= ClientHeight())
            continue;
        if (y >= t && y < t + std::max(0, RowHeights(i) + HorzLineWidth(i))) {
            c.Y = i;
            break;
        }
    }
    if (c.X < 0 || c.Y < 0)
        return TGridCoord();
    return c;
}

int TCustomGrid::VisibleColCount() const
{
    int x = 0;
    for (int i = 0; i < fixedCols_; ++i)
        x += std::max(0, ColWidths(i) + VertLineWidth(i));
    int n = 0;
    for (int i = leftCol_; i < ColCount(); ++i) {
        x += std::max(0, ColWidths(i) + VertLineWidth(i));
        if (x > ClientWidth())
            break;
        ++n;
    }
    return std::max(n, leftCol_ < ColCount() ? 1 : 0);
}

int TCustomGrid::VisibleRowCount() const
{
    int y = 0;
    for (int i = 0; i < fixedRows_; ++i)
        y += std::max(0, RowHeights(i) + HorzLineWidth(i));
    int n = 0;
    for (int i = topRow_; i < RowCount(); ++i) {
        y += std::max(0, RowHeights(i) + HorzLineWidth(i));
        if (y > ClientHeight())
            break;
        ++n;
    }
    return std::max(n, topRow_ < RowCount() ? 1 : 0);
}

int TCustomGrid::MaxLeftCol() const
{
    int avail = ClientWidth();
    for (int i = 0; i < fixedCols_; ++i)
        avail -= std::max(0, ColWidths(i) + VertLineWidth(i));
    int c = ColCount() - 1;
    int used = 0;
    while (c >= fixedCols_) {
        const int ext = std::max(0, ColWidths(c) + VertLineWidth(c));
        if (used + ext > avail)
            break;
        used += ext;
        --c;
    }
    return std::clamp(c + 1, fixedCols_, std::max(fixedCols_, ColCount() - 1));
}

// ---- View ---------------------------------------------------------------------------------------

void TCustomGrid::SetTopRow(int row)
{
    row = std::clamp(row, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    if (row == topRow_)
        return;
    topRow_ = row;
    UpdateScrollRange();
    InvalidateGrid();
    TopLeftChanged();
}

void TCustomGrid::SetLeftCol(int col)
{
    col = std::clamp(col, fixedCols_, std::max(fixedCols_, MaxLeftCol()));
    if (col == leftCol_)
        return;
    leftCol_ = col;
    UpdateScrollRange();
    InvalidateGrid();
    TopLeftChanged();
}

bool TCustomGrid::SelectCell(int, int) { return true; }

void TCustomGrid::FocusCell(int col, int row, bool moveAnchor)
{
    MoveColRow(col, row, moveAnchor, true);
}

void TCustomGrid::MoveColRow(int col, int row, bool, bool show)
{
    col = std::clamp(col, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
    row = std::clamp(row, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
    if (col == col_ && row == row_)
        return;
    if (!SelectCell(col, row))
        return;
    const int oldCol = col_;
    const int oldRow = row_;
    col_ = col;
    row_ = row;
    if (show)
        ClampInView();
    if (gridOptions_ & goRowSelect) {
        InvalidateRow(oldRow);
        InvalidateRow(row_);
    } else {
        InvalidateCell(oldCol, oldRow);
        InvalidateCell(col_, row_);
    }
    CurrentCellChanged();
}

void TCustomGrid::ClampInView()
{
    if (col_ >= fixedCols_) {
        if (col_ < leftCol_)
            SetLeftCol(col_);
        else {
            const int vis = VisibleColCount();
            if (col_ >= leftCol_ + vis) {
                // Scroll right until the column is wholly visible.
                int lc = leftCol_;
                while (lc < col_) {
                    ++lc;
                    int x = 0;
                    for (int i = 0; i < fixedCols_; ++i)
                        x += std::max(0, ColWidths(i) + VertLineWidth(i));
                    for (int i = lc; i <= col_; ++i)
                        x += std::max(0, ColWidths(i) + VertLineWidth(i));
                    if (x <= ClientWidth())
                        break;
                }
                SetLeftCol(lc);
            }
        }
    }
    if (row_ >= fixedRows_) {
        if (row_ < topRow_)
            SetTopRow(row_);
        else if (row_ >= topRow_ + VisibleRowCount())
            SetTopRow(row_ - VisibleRowCount() + 1);
    }
}

// ---- Repainting ---------------------------------------------------------------------------------

void TCustomGrid::InvalidateRect(const TRect& r)
{
    if (r.Right > r.Left && r.Bottom > r.Top)
        viewport()->update(QRect(r.Left, r.Top, r.Width(), r.Height()));
}

void TCustomGrid::InvalidateCell(int col, int row)
{
    const int x = ColLeft(col);
    const int y = RowTop(row);
    if (x < 0 || y < 0)
        return;
    InvalidateRect(TRect(x, y, x + std::max(0, ColWidths(col) + VertLineWidth(col)),
                         y + std::max(0, RowHeights(row) + HorzLineWidth(row))));
}

void TCustomGrid::InvalidateCol(int col)
{
    const int x = ColLeft(col);
    if (x >= 0)
        InvalidateRect(TRect(x, 0, x + std::max(0, ColWidths(col) + VertLineWidth(col)), ClientHeight()));
}

void TCustomGrid::InvalidateRow(int row)
{
    const int y = RowTop(row);
    if (y >= 0)
        InvalidateRect(TRect(0, y, ClientWidth(), y + std::max(0, RowHeights(row) + HorzLineWidth(row))));
}

void TCustomGrid::InvalidateGrid() { viewport()->update(); }

// ---- Painting -----------------------------------------------------------------------------------

void TCustomGrid::paintEvent(QPaintEvent*)
{
    Guarded([&] {
        TCanvas canvas(viewport());
        Paint(canvas);
        canvas.Release();
    });
}

void TCustomGrid::DrawLines(TCanvas& canvas, int c0, int c1, int r0, int r1, bool vert, bool horz, TColor color)
{
    if (gridLineWidth_ < 1 || c0 > c1 || r0 > r1)
        return;
    canvas.Brush().SetColor(color);
    int top = RowTop(r0);
    int bottom = top;
    for (int r = r0; r <= r1; ++r)
        if (RowTop(r) >= 0)
            bottom = RowTop(r) + std::max(0, RowHeights(r) + HorzLineWidth(r));
    int left = ColLeft(c0);
    int right = left;
    for (int c = c0; c <= c1; ++c)
        if (ColLeft(c) >= 0)
            right = ColLeft(c) + std::max(0, ColWidths(c) + VertLineWidth(c));
    if (top < 0 || left < 0)
        return;
    if (vert)
        for (int c = c0; c <= c1; ++c) {
            const int x = ColLeft(c);
            if (x < 0 || ColWidths(c) < 0)
                continue;
            const int lx = x + ColWidths(c);
            canvas.FillRect(TRect(lx, top, lx + gridLineWidth_, bottom));
        }
    if (horz)
        for (int r = r0; r <= r1; ++r) {
            const int y = RowTop(r);
            if (y < 0 || RowHeights(r) < 0)
                continue;
            const int ly = y + RowHeights(r);
            canvas.FillRect(TRect(left, ly, right, ly + gridLineWidth_));
        }
}

void TCustomGrid::Paint(TCanvas& canvas)
{
    canvas.Brush().SetColor(clWindow);
    canvas.FillRect(TRect(0, 0, ClientWidth(), ClientHeight()));
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c) {
            const TRect rc = CellRect(c, r);
            if (IsRectEmpty(rc))
                continue;
            TGridDrawState st = 0;
            if (c < fixedCols_ || r < fixedRows_)
                st |= gdFixed;
            if (c == col_ && r == row_)
                st |= gdFocused | gdSelected;
            DrawCell(canvas, c, r, rc, st);
        }
    DrawLines(canvas, 0, ColCount() - 1, 0, RowCount() - 1, true, true, clBlack);
}

void TCustomGrid::DrawCell(TCanvas& canvas, int, int, const TRect& rect, TGridDrawState state)
{
    canvas.Brush().SetColor((state & gdFixed) ? clBtnFace : clWindow);
    canvas.FillRect(rect);
}

// ---- Scroll bars --------------------------------------------------------------------------------

void TCustomGrid::UpdateScrollRange()
{
    if (inScrollUpdate_)
        return;
    inScrollUpdate_ = true;
    const bool h = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const int maxLeft = MaxLeftCol();
    SetHorzScrollInfo(fixedCols_, maxLeft, std::max(1, VisibleColCount()), leftCol_, h && maxLeft > fixedCols_, true);
    inScrollUpdate_ = false;
}

void TCustomGrid::SetVertScrollInfo(int min, int max, int page, int pos, bool visible, bool enabled)
{
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker block(bar);
    bar->setRange(min, std::max(min, max - std::max(0, page - 1)));
    bar->setPageStep(std::max(1, page));
    bar->setValue(pos);
    bar->setEnabled(enabled);
    setVerticalScrollBarPolicy(visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TCustomGrid::SetHorzScrollInfo(int min, int max, int page, int pos, bool visible, bool enabled)
{
    QScrollBar* bar = horizontalScrollBar();
    const QSignalBlocker block(bar);
    bar->setRange(min, std::max(min, max));
    bar->setPageStep(std::max(1, page));
    bar->setValue(pos);
    bar->setEnabled(enabled);
    setHorizontalScrollBarPolicy(visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TCustomGrid::scrollContentsBy(int, int)
{
    // The grid scrolls by whole cells itself.
}

void TCustomGrid::OnScrollAction(bool vertical, int action)
{
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    TScrollCode code;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; break;
    case QAbstractSlider::SliderMove:
        ScrollBarAction(vertical, scTrack, bar->sliderPosition());
        return;
    default: return;
    }
    // The grid decides where the bar stands; undo Qt's own step.
    bar->setSliderPosition(bar->value());
    ScrollBarAction(vertical, code, bar->value());
}

void TCustomGrid::ScrollBarAction(bool vertical, TScrollCode code, int pos)
{
    const int cur = vertical ? topRow_ : leftCol_;
    const int page = vertical ? VisibleRowCount() : VisibleColCount();
    int next = cur;
    switch (code) {
    case scLineUp: next = cur - 1; break;
    case scLineDown: next = cur + 1; break;
    case scPageUp: next = cur - page; break;
    case scPageDown: next = cur + page; break;
    case scTop: next = 0; break;
    case scBottom: next = vertical ? RowCount() : ColCount(); break;
    case scTrack:
        if (!(gridOptions_ & goThumbTracking))
            return;
        next = pos;
        break;
    case scPosition: next = pos; break;
    default: return;
    }
    if (vertical)
        SetTopRow(next);
    else
        SetLeftCol(next);
}

// ---- Input --------------------------------------------------------------------------------------

void TCustomGrid::keyPressEvent(QKeyEvent* e)
{
    Guarded([&] {
        int key = VirtualKeyOf(e->key());
        if (key == 0 && !e->text().isEmpty()) {
            const QChar c = e->text().at(0).toUpper();
            if (c.unicode() < 128 && (c.isLetterOrNumber()))
                key = c.unicode();
        }
        if (e->key() == Qt::Key_Backtab)
            key = VK_TAB;
        TShiftState shift = ShiftStateOf(e->modifiers());
        if (e->key() == Qt::Key_Backtab)
            shift |= ssShift;
        // A key without a virtual code (a Cyrillic letter, most punctuation) still types its
        // character.
        if (key != 0) {
            KeyDown(key, shift);
            if (key == 0)
                return;
        }
        const QString text = e->text();
        if (!text.isEmpty() && !(shift & ssCtrl)) {
            QChar ch = text.at(0);
            KeyPress(ch);
        }
    });
}

void TCustomGrid::KeyDown(int& key, TShiftState)
{
    switch (key) {
    case VK_LEFT: MoveColRow(col_ - 1, row_, true, true); break;
    case VK_RIGHT: MoveColRow(col_ + 1, row_, true, true); break;
    case VK_UP: MoveColRow(col_, row_ - 1, true, true); break;
    case VK_DOWN: MoveColRow(col_, row_ + 1, true, true); break;
    case VK_PRIOR: MoveColRow(col_, row_ - VisibleRowCount(), true, true); break;
    case VK_NEXT: MoveColRow(col_, row_ + VisibleRowCount(), true, true); break;
    case VK_HOME: MoveColRow(fixedCols_, row_, true, true); break;
    case VK_END: MoveColRow(ColCount() - 1, row_, true, true); break;
    case VK_TAB:
        if (gridOptions_ & goTabs)
            MoveColRow(col_ + 1, row_, true, true);
        break;
    default: return;
    }
}

void TCustomGrid::KeyPress(QChar&) {}

void TCustomGrid::CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos, int& sizingOfs)
{
    state = gsNormal;
    index = -1;
    const int half = std::max(7, gridLineWidth_) / 2;
    int fixedHeight = 0;
    for (int i = 0; i < fixedRows_; ++i)
        fixedHeight += std::max(0, RowHeights(i) + HorzLineWidth(i));
    int fixedWidth = 0;
    for (int i = 0; i < fixedCols_; ++i)
        fixedWidth += std::max(0, ColWidths(i) + VertLineWidth(i));
    if ((gridOptions_ & goColSizing) && y < fixedHeight) {
        for (int c = 0; c < ColCount(); ++c) {
            const int l = ColLeft(c);
            if (l < 0 || ColWidths(c) < 0)
                continue;
            const int edge = l + ColWidths(c);
            if (x >= edge - half && x <= edge + half) {
                state = gsColSizing;
                index = c;
                sizingPos = edge;
                sizingOfs = edge - x;
            }
        }
        if (state != gsNormal)
            return;
    }
    if ((gridOptions_ & goRowSizing) && x < fixedWidth) {
        for (int r = 0; r < RowCount(); ++r) {
            const int t = RowTop(r);
            if (t < 0)
                continue;
            const int edge = t + RowHeights(r);
            if (y >= edge - half && y <= edge + half) {
                state = gsRowSizing;
                index = r;
                sizingPos = edge;
                sizingOfs = edge - y;
            }
        }
    }
}

void TCustomGrid::MouseDown(Qt::MouseButton button, TShiftState, int x, int y, bool)
{
    if (button != Qt::LeftButton)
        return;
    TGridState st;
    int idx, pos, ofs;
    CalcSizingState(x, y, st, idx, pos, ofs);
    if (st != gsNormal) {
        gridState_ = st;
        gridSizingIndex_ = idx;
        gridSizingPos_ = pos;
        gridSizingOfs_ = ofs;
        return;
    }
    const TGridCoord c = MouseCoord(x, y);
    if (c.X < 0)
        return;
    if ((gridOptions_ & goColMoving) && c.Y < fixedRows_ && c.X >= fixedCols_) {
        gridState_ = gsColMoving;
        moveIndex_ = c.X;
        movePos_ = c.X;
        return;
    }
    if (c.X >= fixedCols_ && c.Y >= fixedRows_)
        FocusCell(c.X, c.Y, true);
}

void TCustomGrid::MouseMove(TShiftState, int x, int y)
{
    if (gridState_ == gsColSizing && gridSizingIndex_ >= 0) {
        const int l = ColLeft(gridSizingIndex_);
        if (l >= 0)
            SetColWidths(gridSizingIndex_, std::max(1, x + gridSizingOfs_ - l));
    } else if (gridState_ == gsRowSizing && gridSizingIndex_ >= 0) {
        const int t = RowTop(gridSizingIndex_);
        if (t >= 0)
            SetRowHeights(gridSizingIndex_, std::max(1, y + gridSizingOfs_ - t));
    } else if (gridState_ == gsColMoving) {
        const TGridCoord c = MouseCoord(x, y);
        if (c.X >= fixedCols_)
            movePos_ = c.X;
    }
}

void TCustomGrid::MouseUp(Qt::MouseButton, TShiftState, int, int)
{
    const TGridState st = gridState_;
    gridState_ = gsNormal;
    if (st == gsColSizing)
        ColWidthsChanged();
    else if (st == gsRowSizing)
        RowHeightsChanged();
    else if (st == gsColMoving && movePos_ >= fixedCols_ && movePos_ != moveIndex_ && CanColumnMove(moveIndex_, movePos_))
        ColumnMoved(moveIndex_, movePos_);
    moveIndex_ = movePos_ = -1;
    gridSizingIndex_ = -1;
}

void TCustomGrid::ColumnMoved(int from, int to)
{
    const int w = colWidths_[std::size_t(from)];
    colWidths_.erase(colWidths_.begin() + from);
    colWidths_.insert(colWidths_.begin() + to, w);
    InvalidateGrid();
}

void TCustomGrid::CancelGridState()
{
    gridState_ = gsNormal;
    gridSizingIndex_ = -1;
    moveIndex_ = movePos_ = -1;
}

void TCustomGrid::mousePressEvent(QMouseEvent* e)
{
    Guarded([&] {
        MouseDown(e->button(), ShiftStateOf(e->modifiers(), e->buttons()), int(e->position().x()),
                  int(e->position().y()), false);
    });
}

void TCustomGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    Guarded([&] {
        MouseDown(e->button(), ShiftStateOf(e->modifiers(), e->buttons()) | ssDouble, int(e->position().x()),
                  int(e->position().y()), true);
    });
}

void TCustomGrid::mouseMoveEvent(QMouseEvent* e)
{
    Guarded([&] {
        MouseMove(ShiftStateOf(e->modifiers(), e->buttons()), int(e->position().x()), int(e->position().y()));
    });
}

void TCustomGrid::mouseReleaseEvent(QMouseEvent* e)
{
    Guarded([&] {
        MouseUp(e->button(), ShiftStateOf(e->modifiers(), e->buttons()), int(e->position().x()),
                int(e->position().y()));
    });
}

bool TCustomGrid::focusNextPrevChild(bool next)
{
    // Tab moves between columns while the grid has tabs.
    if (gridOptions_ & goTabs)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TCustomGrid::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    Guarded([&] { DoEnter(); });
    InvalidateGrid();
}

void TCustomGrid::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    Guarded([&] { DoExit(); });
    InvalidateGrid();
}

void TCustomGrid::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    Guarded([&] {
        Resized();
        UpdateScrollRange();
    });
}

bool TCustomGrid::event(QEvent* e)
{
    const bool handled = QAbstractScrollArea::event(e);
    if (e->type() == QEvent::Show) {
        // While hidden the viewport keeps a stale size and scroll bar changes are not laid
        // out: lay them out now and measure again.
        QEvent layout(QEvent::LayoutRequest);
        QAbstractScrollArea::event(&layout);
        Guarded([&] {
            Resized();
            UpdateScrollRange();
        });
    }
    return handled;
}

bool TCustomGrid::IsFocusWithin() const
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f));
}

// ---- Timers -------------------------------------------------------------------------------------

void TCustomGrid::SetGridTimer(int id, int intervalMs)
{
    KillGridTimer(id);
    timers_.push_back({id, startTimer(std::max(1, intervalMs))});
}

void TCustomGrid::KillGridTimer(int id)
{
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->id == id) {
            killTimer(it->qtId);
            timers_.erase(it);
            return;
        }
}

bool TCustomGrid::GridTimerActive(int id) const
{
    return std::any_of(timers_.begin(), timers_.end(), [id](const TimerSlot& t) { return t.id == id; });
}

void TCustomGrid::timerEvent(QTimerEvent* e)
{
    for (const TimerSlot& t : timers_)
        if (t.qtId == e->timerId()) {
            const int id = t.id;
            Guarded([&] { TimerEvent(id); });
            return;
        }
    QAbstractScrollArea::timerEvent(e);
}
