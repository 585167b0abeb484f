#include "platform/types.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// The classic default scheme, so that pictures look the same on every machine.
constexpr std::array<TColor, 31> kSysColors = {
    0xC0C0C0,   //  0 scroll bar
    0x808000,   //  1 desktop
    0x800000,   //  2 active caption
    0x808080,   //  3 inactive caption
    0xC0C0C0,   //  4 menu
    0xFFFFFF,   //  5 window
    0x000000,   //  6 window frame
    0x000000,   //  7 menu text
    0x000000,   //  8 window text
    0xFFFFFF,   //  9 caption text
    0xC0C0C0,   // 10 active border
    0xC0C0C0,   // 11 inactive border
    0x808080,   // 12 application workspace
    0x800000,   // 13 highlight
    0xFFFFFF,   // 14 highlight text
    0xC0C0C0,   // 15 button face
    0x808080,   // 16 button shadow
    0x808080,   // 17 gray text
    0x000000,   // 18 button text
    0xC0C0C0,   // 19 inactive caption text
    0xFFFFFF,   // 20 button highlight
    0x000000,   // 21 3D dark shadow
    0xE0E0E0,   // 22 3D light
    0x000000,   // 23 info text
    0xE1FFFF,   // 24 info background
    0xC0C0C0,   // 25 (unused slot)
    0xFF0000,   // 26 hot light
    0xD08410,   // 27 gradient active caption
    0xB5B5B5,   // 28 gradient inactive caption
    0x800000,   // 29 menu highlight
    0xC0C0C0,   // 30 menu bar
};

} // namespace

TColor SysColor(int index)
{
    if (index < 0 || index >= int(kSysColors.size())) {
        return clBlack;
    }
    return kSysColors[std::size_t(index)];
}

TColor ColorToRGB(TColor color)
{
    if (color == clNone) {
        return clBlack;
    }
    if (color == clDefault) {
        return SysColor(int(clWindowText & 0xFF));
    }
    if (color & clSystemColor) {
        return SysColor(int(color & 0xFF));
    }
    return color & 0x00FFFFFF;
}

QColor ToQColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& color)
{
    return RGB(color.red(), color.green(), color.blue());
}

bool IntersectRect(TRect& dst, const TRect& a, const TRect& b)
{
    TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom));
    if (r.IsEmpty()) {
        dst = TRect();
        return false;
    }
    dst = r;
    return true;
}

bool UnionRect(TRect& dst, const TRect& a, const TRect& b)
{
    if (a.IsEmpty() && b.IsEmpty()) {
        dst = TRect();
        return false;
    }
    if (a.IsEmpty()) {
        dst = b;
    } else if (b.IsEmpty()) {
        dst = a;
    } else {
        dst = TRect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                    std::max(a.Bottom, b.Bottom));
    }
    return true;
}

namespace {

// Rectangles may carry values read from documents: a sum at the ends of the range saturates.
int Saturated(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void InflateRect(TRect& r, int dx, int dy)
{
    r.Left = Saturated(std::int64_t(r.Left) - dx);
    r.Top = Saturated(std::int64_t(r.Top) - dy);
    r.Right = Saturated(std::int64_t(r.Right) + dx);
    r.Bottom = Saturated(std::int64_t(r.Bottom) + dy);
}

void OffsetRect(TRect& r, int dx, int dy)
{
    r.Left = Saturated(std::int64_t(r.Left) + dx);
    r.Top = Saturated(std::int64_t(r.Top) + dy);
    r.Right = Saturated(std::int64_t(r.Right) + dx);
    r.Bottom = Saturated(std::int64_t(r.Bottom) + dy);
}

bool PtInRect(const TRect& r, const TPoint& p)
{
    return r.Contains(p);
}

bool IsRectEmpty(const TRect& r)
{
    return r.IsEmpty();
}

TRect NormalizeRect(const TRect& r)
{
    return TRect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                 std::max(r.Top, r.Bottom));
}

int MulDiv(int a, int b, int c)
{
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t(a) * std::int64_t(b);
    // Work on magnitudes so that halves round away from zero whatever the signs.
    const bool negative = (product < 0) != (c < 0);
    const std::uint64_t num = product < 0 ? std::uint64_t(0) - std::uint64_t(product) : std::uint64_t(product);
    const std::uint64_t den = c < 0 ? std::uint64_t(0) - std::uint64_t(std::int64_t(c)) : std::uint64_t(c);
    const std::uint64_t q = (num + den / 2) / den;
    if (q > std::uint64_t(std::numeric_limits<int>::max()) + (negative ? 1u : 0u)) {
        return -1;
    }
    return negative ? int(-std::int64_t(q)) : int(q);
}

double RoundHalfEven(double value)
{
    if (!std::isfinite(value)) {
        return value;
    }
    // Explicit rather than nearbyint(): the result must not depend on the FPU rounding mode.
    const double f = std::floor(value);
    const double diff = value - f;
    if (diff > 0.5) {
        return f + 1.0;
    }
    if (diff < 0.5) {
        return f;
    }
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

std::int64_t RoundHalfEvenInt64(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double r = RoundHalfEven(value);
    if (r >= 9223372036854775807.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (r <= -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return std::int64_t(r);
}
