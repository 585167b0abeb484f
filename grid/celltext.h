// Cell text and image output for grids and their titles and footers: margins, alignment,
// vertical placement, word wrap, end ellipsis and text turned by 90 degrees; plus the small
// routines the grid code shares.
#pragma once

#include "grid/gridlink.h"

#include "platform/dataset.h"
#include "platform/exceptions.h"
#include "platform/graphics.h"
#include "platform/types.h"

#include <QEvent>
#include <QString>
#include <vector>

class QObject;
class TBitmap;
class TCanvas;
class TGraphic;
class TImageList;

enum TTextLayout { tlTop, tlCenter, tlBottom };

// Cell coordinates of a block of grid cells (inclusive).
struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TGridRect&, const TGridRect&) = default;
};

// ---- Shared off-screen bitmap ----------------------------------------------------------------

// One bitmap for every grid: the first user creates it, the last frees it.
void AcquireCellBitmap();
void ReleaseCellBitmap();
// The bitmap while someone holds it, else null. It only grows.
TBitmap* SharedCellBitmap();

// DrawText flags of a horizontal alignment, and of the vertical-text drawing.
unsigned AlignmentFlags(TAlignment alignment);
unsigned VerticalTextAlignmentFlags(TAlignment alignment);

// ---- Text ------------------------------------------------------------------------------------

// Draws one cell's text in rect with the canvas font and brush. dx is the left offset, dy the
// top margin; the margins narrow the text area of wrapped text.
void WriteTextEx(TCanvas& canvas, const TRect& rect, bool rightToLeft, int rightMargin, int leftMargin,
                 bool endEllipsis, bool wordWrap, TTextLayout layout, TAlignment alignment, const QString& text,
                 int dy, int dx);

// Text turned by 90 degrees, reading bottom to top. Returns the length the text needs along
// the cell's height; with calcOnly nothing is drawn. Without fill the background is left alone.
int WriteTextVerticalEx(TCanvas& canvas, const TRect& rect, bool fill, bool calcOnly, bool endEllipsis,
                        TTextLayout layout, TAlignment alignment, const QString& text, int dy, int dx);

// The same face turned by 90 degrees.
TFont CreateVerticalFont(const TFont& font);
// Extra length an italic outline font needs beyond the advance of its text.
int ItalicOverhang(const TCanvas& canvas);

// The text cut to fit width with "..." at its end; "..." alone when no character fits.
QString EllipsisText(const QString& text, const TCanvas& canvas, int width);

// Measures text as a cell of rect would hold it; true when it does not fit.
bool CellTextOverflows(TCanvas& canvas, int leftMargin, int topMargin, int& height, int& width, bool wordWrap,
                       const TRect& rect, const QString& text);
int CalcTextWidth(TCanvas& canvas, const QString& text);

// ---- Images ----------------------------------------------------------------------------------

// Draws a picture in a cell (vertically centred), clipped to the cell when it reaches outside.
void DrawCellImage(const TImageList& images, int index, TCanvas& canvas, TAlignment alignment, int dx,
                   const TRect& rect);
void DrawCellImage(const TGraphic& graphic, TCanvas& canvas, TAlignment alignment, int dx, const TRect& rect);

// ---- Small routines --------------------------------------------------------------------------

inline int IntMax(int a, int b) { return a > b ? a : b; }
inline int IntMin(int a, int b) { return a < b ? a : b; }
inline int IfThenInt(bool condition, int ifTrue, int ifFalse = 0) { return condition ? ifTrue : ifFalse; }
inline TGridRect MakeGridRect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
// Edges included.
inline bool PointInRectInclusive(const TPoint& p, const TRect& r)
{
    return p.x >= r.Left && p.x <= r.Right && p.y >= r.Top && p.y <= r.Bottom;
}
// Swaps width and height, keeping the top-left corner.
inline TRect TransposeRect(const TRect& r) { return {r.Left, r.Top, r.Left + r.Height(), r.Top + r.Width()}; }

// Invalidates every column of one row of a grid.
template <class Grid>
void InvalidateGridRow(Grid& grid, int row)
{
    for (int col = 0; col < grid.ColCount(); ++col)
        grid.InvalidateCell(col, row);
}

// True when every field can be modified (an empty list too).
bool FieldsCanModify(const std::vector<TField*>& fields);
[[noreturn]] void RaiseGridOperationError(const QString& text);
// Drops posted events of one kind for a receiver (a pending repeat of a press, a posted close).
void DropPendingMessage(QObject* receiver, QEvent::Type type);
