// Basic value types of the drawing and layout code: colours, points, rectangles and the
// integer arithmetic helpers that pixel computations rely on.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>

// ---- Colours --------------------------------------------------------------------------------

// 0x00BBGGRR; 0x80000000 + index names a system colour resolved through a fixed table.
using TColor = std::uint32_t;

constexpr TColor clSystemColor = 0x80000000u;

constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGB(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int GetRValue(TColor c) { return int(c & 0xFF); }
constexpr int GetGValue(TColor c) { return int((c >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return int((c >> 16) & 0xFF); }

// The classic default of system colour `index` (0..30) as 0x00BBGGRR; black for an unknown index.
TColor SysColor(int index);
// Resolves system colours through the table; other values keep their low 24 bits.
// clNone and clDefault have no RGB of their own and resolve to black and window text, as the
// drawing code treats them before calling this.
TColor ColorToRGB(TColor color);
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

// ---- Points and rectangles ------------------------------------------------------------------

struct TPoint {
    int x = 0;
    int y = 0;

    constexpr TPoint() = default;
    constexpr TPoint(int ax, int ay) : x(ax), y(ay) {}
    explicit TPoint(const QPoint& p) : x(p.x()), y(p.y()) {}
    QPoint ToQPoint() const { return {x, y}; }

    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
    constexpr TPoint operator+(const TPoint& o) const { return {x + o.x, y + o.y}; }
    constexpr TPoint operator-(const TPoint& o) const { return {x - o.x, y - o.y}; }
};

struct TSize {
    int cx = 0;
    int cy = 0;
    friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom are exclusive: Width() = Right - Left.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
    constexpr TRect(const TPoint& tl, const TPoint& br) : Left(tl.x), Top(tl.y), Right(br.x), Bottom(br.y) {}
    // A QRect's right() is inclusive; ours is one past it.
    explicit TRect(const QRect& r) : Left(r.left()), Top(r.top()), Right(r.left() + r.width()), Bottom(r.top() + r.height()) {}
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr TPoint TopLeft() const { return {Left, Top}; }
    constexpr TPoint BottomRight() const { return {Right, Bottom}; }
    constexpr TPoint CenterPoint() const { return {Left + (Right - Left) / 2, Top + (Bottom - Top) / 2}; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(const TPoint& p) const { return p.x >= Left && p.x < Right && p.y >= Top && p.y < Bottom; }

    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int x, int y) { return {x, y}; }
constexpr TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
constexpr TRect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// Both return whether the result is non-empty; an empty result is set to (0,0,0,0).
bool IntersectRect(TRect& dst, const TRect& a, const TRect& b);
// Union of the non-empty rectangles among a and b.
bool UnionRect(TRect& dst, const TRect& a, const TRect& b);
// Both saturate at the ends of the int range instead of wrapping.
void InflateRect(TRect& r, int dx, int dy);
void OffsetRect(TRect& r, int dx, int dy);
bool PtInRect(const TRect& r, const TPoint& p);
bool IsRectEmpty(const TRect& r);
// Swaps the edges so that Left <= Right and Top <= Bottom.
TRect NormalizeRect(const TRect& r);

// ---- Text alignment -------------------------------------------------------------------------

// Horizontal alignment of a text in its box: fields, grid cells, the scheme's text shapes.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// ---- Arithmetic -----------------------------------------------------------------------------

// a * b / c with a 64-bit product, rounded to nearest with halves away from zero.
// A zero divisor, or a result that does not fit in 32 bits, gives -1.
int MulDiv(int a, int b, int c);

// Rounds to the nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);
// The same, converted to a 64-bit integer (saturating at the type's limits).
std::int64_t RoundHalfEvenInt64(double value);
