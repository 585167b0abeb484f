// The general grid the data-aware grid is built on: a table of cells with fixed rows and columns
// at the top and left, per-column widths and per-row heights, grid lines, a current cell,
// scrolling by whole columns and rows, and column sizing and moving by mouse. It paints through
// TCanvas on its viewport and knows nothing about data.
#pragma once

#include "platform/canvas.h"
#include "platform/keys.h"
#include "platform/types.h"

#include <QAbstractScrollArea>
#include <vector>

enum TGridOption : unsigned {
    goFixedVertLine = 0x1,
    goFixedHorzLine = 0x2,
    goVertLine = 0x4,
    goHorzLine = 0x8,
    goRangeSelect = 0x10,
    goDrawFocusSelected = 0x20,
    goRowSizing = 0x40,
    goColSizing = 0x80,
    goRowMoving = 0x100,
    goColMoving = 0x200,
    goEditing = 0x400,
    goTabs = 0x800,
    goRowSelect = 0x1000,
    goAlwaysShowEditor = 0x2000,
    goThumbTracking = 0x4000,
};
using TGridOptions = unsigned;

enum TGridDrawFlag : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

enum TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// What a scroll bar asks for (the classic scroll codes).
enum TScrollCode {
    scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll
};

struct TGridCoord {
    int X = -1;
    int Y = -1;
};

class TCustomGrid : public QAbstractScrollArea {
public:
    explicit TCustomGrid(QWidget* parent = nullptr);
    ~TCustomGrid() override;

    // ---- Structure
    int ColCount() const { return int(colWidths_.size()); }
    void SetColCount(int n);
    int RowCount() const { return int(rowHeights_.size()); }
    void SetRowCount(int n);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    // Resets every row to the new height.
    void SetDefaultRowHeight(int h);
    int GridLineWidth() const { return gridLineWidth_; }
    void SetGridLineWidth(int w);
    TGridOptions GridOptions() const { return gridOptions_; }
    void SetGridOptions(TGridOptions o);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle s);

    // ---- Current cell and view
    int Col() const { return col_; }
    void SetCol(int col) { FocusCell(col, row_, true); }
    int Row() const { return row_; }
    void SetRow(int row) { FocusCell(col_, row, true); }
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int col);
    // Non-fixed columns and rows fully visible from LeftCol and TopRow (at least 1... when any).
    int VisibleColCount() const;
    int VisibleRowCount() const;
    // The largest LeftCol that still shows the last column.
    int MaxLeftCol() const;

    // ---- Geometry (viewport pixels)
    int ClientWidth() const;
    int ClientHeight() const;
    // Rectangle of a cell without its lines; empty when not visible.
    TRect CellRect(int col, int row) const;
    // The cell under a point; X/Y -1 where nothing is.
    TGridCoord MouseCoord(int x, int y) const;
    // Left (top) pixel of a column (row) as drawn, or -1 when scrolled out of view.
    int ColLeft(int col) const;
    int RowTop(int row) const;
    // Line width after a column (row): the grid line width when that kind of line is drawn.
    int VertLineWidth(int col) const;
    int HorzLineWidth(int row) const;

    // ---- Repainting
    void InvalidateCell(int col, int row);
    void InvalidateCol(int col);
    void InvalidateRow(int row);
    void InvalidateRect(const TRect& r);
    void InvalidateGrid();

    TGridState GridState() const { return gridState_; }
    bool Designing() const { return false; }

    // Hooks for an in-place editor (none by default).
    virtual bool EditorMode() const { return false; }
    virtual void ShowEditor() {}
    virtual void HideEditor() {}
    virtual void UpdateEdit() {}
    virtual void InvalidateEditor() {}

protected:
    // Moves the current cell; SelectCell may refuse. moveAnchor is kept for range selections.
    void FocusCell(int col, int row, bool moveAnchor);
    void MoveColRow(int col, int row, bool moveAnchor, bool show);
    virtual bool SelectCell(int col, int row);
    // Brings the current cell into view.
    void ClampInView();
    // Called after the current cell moved.
    virtual void CurrentCellChanged() {}
    virtual void TopLeftChanged() {}

    // Painting: the default paints lines and every visible cell through DrawCell.
    virtual void Paint(TCanvas& canvas);
    virtual void DrawCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state);
    // Draws the grid lines of an area: columns [c0, c1], rows [r0, r1], as the options say.
    void DrawLines(TCanvas& canvas, int c0, int c1, int r0, int r1, bool vert, bool horz, TColor color);

    // Input in the classic form; the defaults do the base grid's handling.
    virtual void KeyDown(int& key, TShiftState shift);
    virtual void KeyPress(QChar& ch);
    virtual void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool doubleClick);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y);
    virtual void TimerEvent(int id) { (void)id; }
    // The sizing state a press at (x, y) would start.
    virtual void CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos, int& sizingOfs);
    virtual void ColWidthsChanged() {}
    virtual void RowHeightsChanged() {}
    virtual void ColumnMoved(int from, int to);
    virtual bool CanColumnMove(int from, int to) { (void)from; (void)to; return true; }
    virtual void DoExit() {}
    virtual void DoEnter() {}
    // A scroll bar action; the default scrolls columns and rows.
    virtual void ScrollBarAction(bool vertical, TScrollCode code, int pos);
    // Cancels a sizing or moving drag.
    void CancelGridState();
    virtual void Resized() {}

    // Scroll bars are set by the grid, not by Qt.
    void UpdateScrollRange();
    void SetVertScrollInfo(int min, int max, int page, int pos, bool visible, bool enabled);
    void SetHorzScrollInfo(int min, int max, int page, int pos, bool visible, bool enabled);

    // Timers by id (1 and 2 for the data grid), so that code reads like the classic one.
    void SetGridTimer(int id, int intervalMs);
    void KillGridTimer(int id);
    bool GridTimerActive(int id) const;

    bool IsFocusWithin() const;

    // Qt events
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* e) override;

    int gridSizingIndex_ = -1;
    int gridSizingPos_ = 0;
    int gridSizingOfs_ = 0;
    int moveIndex_ = -1;
    int movePos_ = -1;
    TGridState gridState_ = gsNormal;
    bool inScrollUpdate_ = false;

private:
    void OnScrollAction(bool vertical, int action);

    std::vector<int> colWidths_;
    std::vector<int> rowHeights_;
    int fixedCols_ = 1;
    int fixedRows_ = 1;
    int defaultColWidth_ = 64;
    int defaultRowHeight_ = 24;
    int gridLineWidth_ = 1;
    TGridOptions gridOptions_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine;
    TScrollStyle scrollBars_ = ssBoth;
    int col_ = 1;
    int row_ = 1;
    int topRow_ = 1;
    int leftCol_ = 1;
    struct TimerSlot {
        int id;
        int qtId;
    };
    std::vector<TimerSlot> timers_;
};
