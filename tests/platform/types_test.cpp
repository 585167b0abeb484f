#include "platform/types.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Colors, SystemColoursResolveThroughTheClassicTable)
{
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0u);
    EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFFu);
    EXPECT_EQ(ColorToRGB(clWindowText), 0x000000u);
    EXPECT_EQ(ColorToRGB(clHighlight), 0x800000u);
    EXPECT_EQ(ColorToRGB(clHighlightText), 0xFFFFFFu);
    EXPECT_EQ(ColorToRGB(clBtnShadow), 0x808080u);
    EXPECT_EQ(ColorToRGB(clInfoBk), 0xE1FFFFu);
    EXPECT_EQ(ColorToRGB(clGrayText), 0x808080u);
    EXPECT_EQ(ColorToRGB(cl3DDkShadow), 0x000000u);
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
    // Unknown system index and the special values do not leak their flag bits.
    EXPECT_EQ(ColorToRGB(clSystemColor | 200), 0u);
    EXPECT_EQ(ColorToRGB(clNone) & 0xFF000000u, 0u);
}

TEST(Colors, QColorUsesBgrOrder)
{
    const QColor navy = ToQColor(clHighlight);
    EXPECT_EQ(navy.red(), 0);
    EXPECT_EQ(navy.green(), 0);
    EXPECT_EQ(navy.blue(), 0x80);
    const QColor info = ToQColor(clInfoBk);
    EXPECT_EQ(info, QColor(0xFF, 0xFF, 0xE1));
    EXPECT_EQ(FromQColor(QColor(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
}

TEST(Rects, EdgesAreExclusive)
{
    const TRect r(10, 20, 30, 40);
    EXPECT_EQ(r.Width(), 20);
    EXPECT_EQ(r.Height(), 20);
    EXPECT_TRUE(PtInRect(r, {10, 20}));
    EXPECT_TRUE(PtInRect(r, {29, 39}));
    EXPECT_FALSE(PtInRect(r, {30, 39}));
    EXPECT_FALSE(PtInRect(r, {29, 40}));
    EXPECT_FALSE(PtInRect(r, {9, 25}));
    EXPECT_TRUE(IsRectEmpty(TRect(5, 5, 5, 10)));
    EXPECT_TRUE(IsRectEmpty(TRect(5, 5, 4, 10)));
    EXPECT_FALSE(IsRectEmpty(r));
}

TEST(Rects, IntersectUnionInflateOffset)
{
    TRect out;
    EXPECT_TRUE(IntersectRect(out, TRect(0, 0, 10, 10), TRect(5, 5, 20, 20)));
    EXPECT_EQ(out, TRect(5, 5, 10, 10));
    // Touching edges do not intersect: the right edge is not part of the rectangle.
    out = TRect(1, 1, 2, 2);
    EXPECT_FALSE(IntersectRect(out, TRect(0, 0, 10, 10), TRect(10, 0, 20, 10)));
    EXPECT_EQ(out, TRect());

    EXPECT_TRUE(UnionRect(out, TRect(0, 0, 10, 10), TRect(5, -5, 20, 8)));
    EXPECT_EQ(out, TRect(0, -5, 20, 10));
    // An empty rectangle does not stretch the union.
    EXPECT_TRUE(UnionRect(out, TRect(100, 100, 100, 100), TRect(1, 2, 3, 4)));
    EXPECT_EQ(out, TRect(1, 2, 3, 4));
    EXPECT_FALSE(UnionRect(out, TRect(), TRect()));

    TRect r(10, 10, 20, 20);
    InflateRect(r, 2, -3);
    EXPECT_EQ(r, TRect(8, 13, 22, 17));
    OffsetRect(r, -8, 1);
    EXPECT_EQ(r, TRect(0, 14, 14, 18));
    // Values at the ends of the range saturate rather than wrap round.
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    TRect far(kMin + 1, -5, kMax - 1, 5);
    InflateRect(far, 3, kMax);
    EXPECT_EQ(far, TRect(kMin, kMin, kMax, kMax));
    OffsetRect(far, kMax, -1);
    EXPECT_EQ(far, TRect(-1, kMin, kMax, kMax - 1));
    EXPECT_EQ(NormalizeRect(TRect(5, 6, 1, 2)), TRect(1, 2, 5, 6));
}

TEST(Rects, QtConversionsKeepTheSize)
{
    const TRect r(3, 4, 13, 24);
    const QRect q = r.ToQRect();
    EXPECT_EQ(q, QRect(3, 4, 10, 20));
    EXPECT_EQ(q.right(), 12);   // Qt's right is inclusive
    EXPECT_EQ(TRect(q), r);
    EXPECT_EQ(TPoint(QPoint(7, -2)), TPoint(7, -2));
    EXPECT_EQ(TPoint(7, -2).ToQPoint(), QPoint(7, -2));
    EXPECT_EQ(Bounds(1, 2, 3, 4), TRect(1, 2, 4, 6));
}

TEST(MulDiv, RoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(10, 20, 5), 40);
    EXPECT_EQ(MulDiv(1, 1, 2), 1);     // 0.5
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);   // -0.5
    EXPECT_EQ(MulDiv(1, -1, 2), -1);
    EXPECT_EQ(MulDiv(-1, -1, 2), 1);
    EXPECT_EQ(MulDiv(1, 1, -2), -1);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);     // 1.5
    EXPECT_EQ(MulDiv(5, 1, 2), 3);     // 2.5 rounds up, not to even
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);     // 0.33
    EXPECT_EQ(MulDiv(2, 1, 3), 1);     // 0.67
    EXPECT_EQ(MulDiv(-2, 1, 3), -1);
    EXPECT_EQ(MulDiv(-1, 1, 3), 0);
}

TEST(MulDiv, UsesA64BitProductAndSurvivesBadDivisors)
{
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    EXPECT_EQ(MulDiv(123456789, 100000, 100000), 123456789);
    EXPECT_EQ(MulDiv(-2147483647 - 1, 1, 1), -2147483647 - 1);
    EXPECT_EQ(MulDiv(5, 7, 0), -1);
    EXPECT_EQ(MulDiv(0, 7, 0), -1);
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 1), -1);   // does not fit: reported, not wrapped
    EXPECT_EQ(MulDiv(-2147483647 - 1, -1, 1), -1);
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(1.5), 2.0);
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(-2.51), -3.0);
    EXPECT_EQ(RoundHalfEven(2.49), 2.0);
    EXPECT_EQ(RoundHalfEven(1e300), 1e300);
    EXPECT_EQ(RoundHalfEvenInt64(-2.5), -2);
    EXPECT_EQ(RoundHalfEvenInt64(1e30), INT64_MAX);
}
