#include "platform/canvas.h"

#include "pixels.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

class CanvasTest : public ::testing::Test {
protected:
    QImage img = WhiteImage(40, 30);
    TCanvas canvas{&img};
};

// ---- Edge rules -------------------------------------------------------------------------------

TEST_F(CanvasTest, RectangleWithThinPenOutlinesInsideTheBoxAndFillsTheRest)
{
    canvas.Pen().SetColor(clRed);
    canvas.Brush().SetColor(clBlue);
    canvas.Rectangle(5, 5, 15, 12);
    // Outline on the first and last column/row of the box.
    EXPECT_EQ(PixelAt(img, 5, 5), clRed);
    EXPECT_EQ(PixelAt(img, 14, 5), clRed);
    EXPECT_EQ(PixelAt(img, 5, 11), clRed);
    EXPECT_EQ(PixelAt(img, 14, 11), clRed);
    EXPECT_EQ(PixelAt(img, 10, 11), clRed);
    // Right and bottom edges are exclusive.
    EXPECT_EQ(PixelAt(img, 15, 8), clWhite);
    EXPECT_EQ(PixelAt(img, 10, 12), clWhite);
    EXPECT_EQ(PixelAt(img, 4, 8), clWhite);
    // Interior is the brush.
    EXPECT_EQ(CountColor(img, clBlue, 6, 6, 14, 11), 8 * 5);
    EXPECT_EQ(CountColor(img, clRed), 2 * 10 + 2 * 5);
}

TEST_F(CanvasTest, RectangleWithoutPenStopsOnePixelShort)
{
    canvas.Pen().SetStyle(psClear);
    canvas.Brush().SetColor(clGreen);
    canvas.Rectangle(2, 3, 12, 9);
    EXPECT_EQ(CountColor(img, clGreen), 9 * 5);
    EXPECT_EQ(PixelAt(img, 2, 3), clGreen);
    EXPECT_EQ(PixelAt(img, 10, 7), clGreen);
    EXPECT_EQ(PixelAt(img, 11, 7), clWhite);
    EXPECT_EQ(PixelAt(img, 10, 8), clWhite);
}

TEST_F(CanvasTest, FillRectExcludesRightAndBottom)
{
    canvas.Brush().SetColor(clMaroon);
    canvas.FillRect(TRect(1, 1, 4, 3));
    EXPECT_EQ(CountColor(img, clMaroon), 3 * 2);
    EXPECT_EQ(PixelAt(img, 3, 2), clMaroon);
    EXPECT_EQ(PixelAt(img, 4, 2), clWhite);
    EXPECT_EQ(PixelAt(img, 3, 3), clWhite);
}

TEST_F(CanvasTest, InsideFramePenKeepsItsWidthInsideTheBox)
{
    canvas.Pen().SetStyle(psInsideFrame);
    canvas.Pen().SetWidth(3);
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetColor(clYellow);
    canvas.Rectangle(10, 5, 30, 25);
    EXPECT_EQ(PixelAt(img, 9, 15), clWhite);
    EXPECT_EQ(PixelAt(img, 10, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 12, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 13, 15), clYellow);
    EXPECT_EQ(PixelAt(img, 26, 15), clYellow);
    EXPECT_EQ(PixelAt(img, 27, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 29, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 30, 15), clWhite);
    EXPECT_EQ(PixelAt(img, 20, 24), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 25), clWhite);
    EXPECT_EQ(CountColor(img, clYellow), 14 * 14);
}

TEST_F(CanvasTest, LineToLeavesOutTheLastPixelAndMovesThePen)
{
    canvas.Pen().SetColor(clBlack);
    canvas.MoveTo(2, 4);
    canvas.LineTo(10, 4);
    EXPECT_EQ(PixelAt(img, 2, 4), clBlack);
    EXPECT_EQ(PixelAt(img, 9, 4), clBlack);
    EXPECT_EQ(PixelAt(img, 10, 4), clWhite);
    EXPECT_EQ(CountColor(img, clBlack), 8);
    EXPECT_EQ(canvas.PenPos(), TPoint(10, 4));
    // Continuing the polyline draws the corner pixel exactly once.
    canvas.LineTo(10, 9);
    EXPECT_EQ(PixelAt(img, 10, 4), clBlack);
    EXPECT_EQ(PixelAt(img, 10, 8), clBlack);
    EXPECT_EQ(PixelAt(img, 10, 9), clWhite);
    // Vertical and diagonal lines follow the same rule.
    canvas.MoveTo(20, 20);
    canvas.LineTo(25, 25);
    EXPECT_EQ(PixelAt(img, 20, 20), clBlack);
    EXPECT_EQ(PixelAt(img, 24, 24), clBlack);
    EXPECT_EQ(PixelAt(img, 25, 25), clWhite);
}

TEST_F(CanvasTest, ClearPenDrawsNoLine)
{
    canvas.Pen().SetStyle(psClear);
    canvas.MoveTo(0, 0);
    canvas.LineTo(20, 0);
    EXPECT_EQ(CountColor(img, clWhite), 40 * 30);
}

TEST_F(CanvasTest, EllipseStaysInsideItsBox)
{
    canvas.Pen().SetColor(clRed);
    canvas.Brush().SetColor(clBlue);
    canvas.Ellipse(5, 5, 25, 21);
    EXPECT_EQ(PixelAt(img, 15, 13), clBlue);
    EXPECT_EQ(PixelAt(img, 5, 5), clWhite);  // corner is outside the ellipse
    // Nothing on or beyond the exclusive edges.
    EXPECT_EQ(CountColor(img, clWhite, 25, 0, 40, 30), 15 * 30);
    EXPECT_EQ(CountColor(img, clWhite, 0, 21, 40, 30), 40 * 9);
    EXPECT_EQ(CountColor(img, clWhite, 0, 0, 5, 30), 5 * 30);
    // The outline reaches the box's last column and row.
    EXPECT_GT(CountColor(img, clRed, 24, 5, 25, 21), 0);
    EXPECT_GT(CountColor(img, clRed, 5, 20, 25, 21), 0);
}

TEST_F(CanvasTest, PolygonFillsInterior)
{
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetColor(clLime);
    const std::vector<TPoint> tri{{5, 5}, {35, 5}, {5, 25}};
    canvas.Polygon(tri);
    EXPECT_EQ(PixelAt(img, 10, 10), clLime);
    EXPECT_EQ(PixelAt(img, 5, 5), clBlack);
    EXPECT_EQ(PixelAt(img, 30, 20), clWhite);
}

// ---- Brushes -------------------------------------------------------------------------------------

TEST_F(CanvasTest, HatchedBrushDrawsLinesAndLeavesTheBackground)
{
    canvas.Brush().SetColor(clBlack);
    canvas.Brush().SetStyle(bsHorizontal);
    canvas.FillRect(TRect(0, 0, 16, 16));
    const int black = CountColor(img, clBlack, 0, 0, 16, 16);
    EXPECT_EQ(black, 2 * 16);  // one row in every 8
    for (int y = 0; y < 16; ++y) {
        const int n = CountColor(img, clBlack, 0, y, 16, y + 1);
        EXPECT_TRUE(n == 0 || n == 16) << y;
    }
    img.fill(Qt::white);
    canvas.Brush().SetStyle(bsDiagCross);
    canvas.FillRect(TRect(0, 0, 16, 16));
    EXPECT_GT(CountColor(img, clBlack, 0, 0, 16, 16), 0);
    EXPECT_GT(CountColor(img, clWhite, 0, 0, 16, 16), 0);
}

TEST_F(CanvasTest, ClearBrushFillsNothing)
{
    canvas.Brush().SetStyle(bsClear);
    canvas.Pen().SetColor(clRed);
    canvas.Rectangle(5, 5, 15, 15);
    EXPECT_EQ(PixelAt(img, 10, 10), clWhite);
    EXPECT_EQ(PixelAt(img, 5, 10), clRed);
    canvas.FillRect(TRect(0, 0, 40, 30));
    EXPECT_EQ(PixelAt(img, 10, 10), clWhite);
}

TEST(BrushTest, SettingAColourMakesAClearBrushSolid)
{
    TBrush b;
    b.SetStyle(bsClear);
    b.SetColor(clRed);
    EXPECT_EQ(b.Style(), bsSolid);
    b.SetStyle(bsCross);
    b.SetColor(clBlue);
    EXPECT_EQ(b.Style(), bsCross);
}

// ---- Raster modes ---------------------------------------------------------------------------------

TEST_F(CanvasTest, XorTwiceRestoresTheImage)
{
    canvas.Brush().SetColor(clTeal);
    canvas.FillRect(TRect(0, 0, 20, 30));
    const QImage before = img.copy();
    canvas.Pen().SetMode(pmXor);
    canvas.Pen().SetColor(clYellow);
    canvas.Brush().SetColor(clFuchsia);
    canvas.Rectangle(5, 5, 35, 25);
    EXPECT_EQ(PixelAt(img, 5, 10), clTeal ^ clYellow);
    EXPECT_EQ(PixelAt(img, 10, 10), clTeal ^ clFuchsia);
    EXPECT_EQ(PixelAt(img, 30, 10), clWhite ^ clFuchsia);
    canvas.Rectangle(5, 5, 35, 25);
    EXPECT_EQ(img, before);
}

TEST_F(CanvasTest, NotModeInvertsAndTwiceRestores)
{
    canvas.Brush().SetColor(clNavy);
    canvas.FillRect(TRect(0, 0, 10, 10));
    const QImage before = img.copy();
    canvas.Pen().SetMode(pmNot);
    canvas.MoveTo(0, 5);
    canvas.LineTo(20, 5);
    EXPECT_EQ(PixelAt(img, 3, 5), clNavy ^ 0xFFFFFFu);
    EXPECT_EQ(PixelAt(img, 15, 5), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 5), clWhite);
    canvas.MoveTo(0, 5);
    canvas.LineTo(20, 5);
    EXPECT_EQ(img, before);
}

TEST_F(CanvasTest, EveryModeCombinesPenAndDestination)
{
    const TColor dest = 0x0F5AA3;
    const TColor pen = 0x3C96F0;
    for (int m = pmBlack; m <= pmNotXor; ++m) {
        img.fill(QColor(qRgb(GetRValue(dest), GetGValue(dest), GetBValue(dest))));
        canvas.Pen().SetMode(TPenMode(m));
        canvas.Pen().SetColor(pen);
        canvas.MoveTo(0, 0);
        canvas.LineTo(5, 0);
        EXPECT_EQ(PixelAt(img, 2, 0), ApplyPenMode(TPenMode(m), pen, dest)) << m;
        EXPECT_EQ(PixelAt(img, 2, 1), dest) << m;
    }
    EXPECT_EQ(ApplyPenMode(pmMaskPenNot, 0xFF00FF, 0x0F0F0F), 0xF000F0u);
    EXPECT_EQ(ApplyPenMode(pmMergeNotPen, 0xFF00FF, 0x000001), 0x00FF01u);
    EXPECT_EQ(ApplyPenMode(pmNotXor, 0x00FF00, 0x00FF00), 0xFFFFFFu);
}

TEST_F(CanvasTest, FillRectIgnoresThePenMode)
{
    canvas.Pen().SetMode(pmXor);
    canvas.Brush().SetColor(clRed);
    canvas.FillRect(TRect(0, 0, 5, 5));
    EXPECT_EQ(PixelAt(img, 2, 2), clRed);
}

TEST_F(CanvasTest, FocusRectAndInvertRectUndoThemselves)
{
    canvas.Brush().SetColor(clSilver);
    canvas.FillRect(TRect(0, 0, 40, 30));
    const QImage before = img.copy();
    canvas.DrawFocusRect(TRect(3, 3, 20, 15));
    EXPECT_NE(img, before);
    EXPECT_EQ(PixelAt(img, 10, 10), clSilver);  // the inside is untouched
    EXPECT_GT(CountColor(img, clSilver ^ 0xFFFFFFu, 3, 3, 20, 4), 4);
    canvas.DrawFocusRect(TRect(3, 3, 20, 15));
    EXPECT_EQ(img, before);

    canvas.InvertRect(TRect(0, 0, 2, 2));
    EXPECT_EQ(PixelAt(img, 1, 1), clSilver ^ 0xFFFFFFu);
    EXPECT_EQ(PixelAt(img, 2, 1), clSilver);
}

// ---- Clipping ------------------------------------------------------------------------------------

TEST_F(CanvasTest, ClipRectLimitsDrawingAndRestoreRemovesIt)
{
    canvas.Brush().SetColor(clRed);
    const int level = canvas.SaveDC();
    canvas.IntersectClipRect(TRect(10, 10, 20, 20));
    canvas.FillRect(TRect(0, 0, 40, 30));
    EXPECT_EQ(CountColor(img, clRed), 100);
    EXPECT_EQ(PixelAt(img, 9, 10), clWhite);
    EXPECT_EQ(PixelAt(img, 19, 19), clRed);
    EXPECT_TRUE(canvas.RestoreDC(level));
    TRegion r;
    EXPECT_FALSE(canvas.GetClipRgn(r));
    canvas.Brush().SetColor(clBlue);
    canvas.FillRect(TRect(0, 0, 40, 30));
    EXPECT_EQ(CountColor(img, clBlue), 40 * 30);
}

TEST_F(CanvasTest, ClipsIntersectAndExclude)
{
    canvas.SelectClipRgn(TRegion::Rect(0, 0, 20, 20));
    canvas.IntersectClipRgn(TRegion::Rect(10, 0, 40, 30));
    canvas.ExcludeClipRect(TRect(10, 0, 12, 20));
    TRegion clip;
    ASSERT_TRUE(canvas.GetClipRgn(clip));
    EXPECT_EQ(clip.Bounds(), TRect(12, 0, 20, 20));
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect(TRect(0, 0, 40, 30));
    EXPECT_EQ(CountColor(img, clBlack), 8 * 20);
    EXPECT_EQ(canvas.ClipRect(), TRect(12, 0, 20, 20));

    // Excluding without a clip starts from the whole device.
    canvas.SelectClipRgn(std::nullopt);
    canvas.ExcludeClipRect(TRect(0, 0, 39, 30));
    ASSERT_TRUE(canvas.GetClipRgn(clip));
    EXPECT_EQ(clip.Bounds(), TRect(39, 0, 40, 30));
}

TEST_F(CanvasTest, ClipAppliesToRasterModes)
{
    canvas.IntersectClipRect(TRect(0, 0, 5, 30));
    canvas.InvertRect(TRect(0, 0, 10, 10));
    EXPECT_EQ(CountColor(img, clBlack), 5 * 10);
}

TEST_F(CanvasTest, RestoreDcBringsBackPenBrushAndFont)
{
    canvas.Pen().SetColor(clRed);
    canvas.Font().SetHeight(-20);
    canvas.SaveDC();
    canvas.Pen().SetColor(clBlue);
    canvas.Brush().SetStyle(bsClear);
    canvas.Font().SetHeight(-8);
    canvas.SaveDC();
    canvas.Pen().SetColor(clGreen);
    EXPECT_TRUE(canvas.RestoreDC(1));
    EXPECT_EQ(canvas.Pen().Color(), clRed);
    EXPECT_EQ(canvas.Brush().Style(), bsSolid);
    EXPECT_EQ(canvas.Font().Height(), -20);
    EXPECT_FALSE(canvas.RestoreDC(-1));
}

// ---- Paths and regions ----------------------------------------------------------------------------

TEST_F(CanvasTest, FilledPathCoversItsInterior)
{
    canvas.Brush().SetColor(clRed);
    canvas.BeginPath();
    canvas.MoveTo(5, 5);
    canvas.LineTo(25, 5);
    canvas.LineTo(25, 25);
    canvas.LineTo(5, 25);  // left open: filling closes it
    canvas.EndPath();
    EXPECT_TRUE(canvas.HasPath());
    EXPECT_EQ(CountColor(img, clWhite), 40 * 30);  // recording draws nothing
    EXPECT_TRUE(canvas.FillPath());
    EXPECT_EQ(CountColor(img, clRed), 20 * 20);
    EXPECT_FALSE(canvas.HasPath());
    EXPECT_FALSE(canvas.FillPath());
}

TEST_F(CanvasTest, BezierPathStrokesAndConvertsToRegion)
{
    canvas.BeginPath();
    canvas.MoveTo(2, 20);
    const std::vector<TPoint> curve{{10, 0}, {20, 0}, {30, 20}};
    canvas.PolyBezierTo(curve);
    canvas.CloseFigure();
    canvas.EndPath();
    EXPECT_EQ(canvas.PenPos(), TPoint(30, 20));
    const TRegion region = canvas.PathToRegion();
    EXPECT_TRUE(region.Contains(16, 15));
    EXPECT_FALSE(region.Contains(16, 2));
    EXPECT_FALSE(region.Contains(16, 22));
    EXPECT_FALSE(canvas.HasPath());

    canvas.BeginPath();
    canvas.MoveTo(2, 20);
    canvas.PolyBezierTo(curve);
    canvas.EndPath();
    canvas.Pen().SetColor(clBlue);
    EXPECT_TRUE(canvas.StrokePath());
    EXPECT_GT(CountColor(img, clBlue), 20);
    EXPECT_EQ(PixelAt(img, 16, 15), clWhite);  // stroking does not fill
}

TEST_F(CanvasTest, ClipToPathLimitsFill)
{
    canvas.BeginPath();
    canvas.Rectangle(10, 10, 20, 20);
    canvas.EndPath();
    EXPECT_TRUE(canvas.SelectClipPath(RGN_AND));
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect(TRect(0, 0, 40, 30));
    EXPECT_GT(CountColor(img, clBlack), 60);
    EXPECT_EQ(CountColor(img, clBlack, 0, 0, 40, 10), 0);
    EXPECT_EQ(CountColor(img, clBlack, 20, 0, 40, 30), 0);
}

TEST(RegionTest, CombinesAndMeasures)
{
    const TRegion a = TRegion::Rect(0, 0, 10, 10);
    const TRegion b = TRegion::Rect(5, 5, 15, 15);
    EXPECT_EQ(TRegion::Combine(a, b, RGN_AND).Bounds(), TRect(5, 5, 10, 10));
    EXPECT_EQ(TRegion::Combine(a, b, RGN_OR).Bounds(), TRect(0, 0, 15, 15));
    EXPECT_FALSE(TRegion::Combine(a, b, RGN_DIFF).Contains(7, 7));
    EXPECT_TRUE(TRegion::Combine(a, b, RGN_XOR).Contains(12, 12));
    EXPECT_FALSE(TRegion::Combine(a, b, RGN_XOR).Contains(7, 7));
    EXPECT_TRUE(a.Contains(9, 9));
    EXPECT_FALSE(a.Contains(10, 9));
    EXPECT_TRUE(TRegion().IsEmpty());
    EXPECT_EQ(TRegion().Bounds(), TRect());
    EXPECT_TRUE(a.Intersects(TRect(9, 9, 20, 20)));
    EXPECT_FALSE(a.Intersects(TRect(10, 0, 20, 20)));
    // Reversed corners are normalised, and far-out coordinates do not overflow.
    EXPECT_EQ(TRegion::Rect(10, 10, 0, 0).Bounds(), TRect(0, 0, 10, 10));
    EXPECT_TRUE(TRegion::Rect(-2000000000, -2000000000, 2000000000, 2000000000).Contains(0, 0));
}

TEST(RegionTest, ShapesCoverTheirPixels)
{
    const TRegion e = TRegion::Ellipse(TRect(0, 0, 20, 10));
    EXPECT_TRUE(e.Contains(10, 5));
    EXPECT_FALSE(e.Contains(0, 0));
    EXPECT_FALSE(e.Contains(20, 5));
    const std::vector<TPoint> tri{{0, 0}, {20, 0}, {0, 20}};
    const TRegion t = TRegion::Polygon(tri);
    EXPECT_TRUE(t.Contains(2, 2));
    EXPECT_FALSE(t.Contains(15, 15));
    const TRegion rr = TRegion::RoundRect(TRect(0, 0, 20, 20), 10, 10);
    EXPECT_TRUE(rr.Contains(10, 10));
    EXPECT_TRUE(rr.Contains(10, 0));
    EXPECT_FALSE(rr.Contains(0, 0));
}

TEST_F(CanvasTest, InvertRgnAndFrameRgn)
{
    TRegion markers = TRegion::Rect(0, 0, 6, 6).United(TRegion::Rect(20, 20, 26, 26));
    canvas.InvertRgn(markers);
    EXPECT_EQ(CountColor(img, clBlack), 72);
    canvas.InvertRgn(markers);
    EXPECT_EQ(CountColor(img, clWhite), 40 * 30);
    canvas.Brush().SetColor(clRed);
    canvas.FrameRgn(TRegion::Rect(5, 5, 15, 15), 1, 1);
    EXPECT_EQ(CountColor(img, clRed), 36);
    EXPECT_EQ(PixelAt(img, 10, 10), clWhite);
    canvas.FrameRect(TRect(20, 2, 24, 6));
    EXPECT_EQ(CountColor(img, clRed, 20, 2, 24, 6), 12);
}

// ---- Text ----------------------------------------------------------------------------------------

TEST(CanvasTextTest, FontHeightSignSelectsCharacterOrCellHeight)
{
    TCanvas canvas;
    canvas.Font().SetName(QStringLiteral("Arial"));
    canvas.Font().SetHeight(-20);
    const int cellOfEm20 = canvas.TextHeight(QStringLiteral("Ag"));
    EXPECT_GT(cellOfEm20, 20);
    canvas.Font().SetHeight(cellOfEm20);
    EXPECT_NEAR(canvas.TextHeight(QStringLiteral("Ag")), cellOfEm20, 1);
    EXPECT_EQ(canvas.TextMetrics().Height, canvas.TextHeight(QStringLiteral("x")));
    EXPECT_LT(canvas.TextWidth(QStringLiteral("i")), canvas.TextWidth(QStringLiteral("iiii")));
    EXPECT_EQ(canvas.TextExtent(QString()).cx, 0);
}

TEST(CanvasTextTest, TextOutPaintsOpaqueBackgroundOnlyWithSolidBrush)
{
    QImage img = WhiteImage(100, 40);
    TCanvas canvas(&img);
    canvas.Font().SetHeight(-16);
    canvas.Font().SetColor(clBlack);
    canvas.Brush().SetColor(clYellow);
    canvas.TextOut(5, 5, QStringLiteral("Hello"));
    const TSize ext = canvas.TextExtent(QStringLiteral("Hello"));
    EXPECT_EQ(canvas.PenPos(), TPoint(5 + ext.cx, 5));
    EXPECT_GT(CountColor(img, clBlack, 5, 5, 5 + ext.cx, 5 + ext.cy), 10);
    EXPECT_GT(CountColor(img, clYellow, 5, 5, 5 + ext.cx, 5 + ext.cy), 10);
    EXPECT_EQ(CountColor(img, clYellow, 5 + ext.cx, 0, 100, 40), 0);

    img.fill(Qt::white);
    canvas.Brush().SetStyle(bsClear);
    canvas.TextOut(5, 5, QStringLiteral("Hello"));
    EXPECT_EQ(CountColor(img, clYellow), 0);
    EXPECT_GT(CountColor(img, clBlack), 10);
}

TEST(CanvasTextTest, DrawTextCalcRectWrapsAndMeasures)
{
    TCanvas canvas;
    canvas.Font().SetHeight(-12);
    const int lh = canvas.TextHeight(QStringLiteral("W"));
    const int wordWidth = canvas.TextWidth(QStringLiteral("word"));

    TRect r(0, 0, 1, 0);
    EXPECT_EQ(canvas.DrawText(QStringLiteral("word word"), r, DT_CALCRECT | DT_NOPREFIX), lh);
    EXPECT_EQ(r.Right, canvas.TextWidth(QStringLiteral("word word")));

    r = TRect(0, 0, wordWidth + 2, 0);
    EXPECT_EQ(canvas.DrawText(QStringLiteral("word word word"), r, DT_CALCRECT | DT_WORDBREAK), 3 * lh);
    EXPECT_EQ(r.Bottom, 3 * lh);
    EXPECT_EQ(r.Right, wordWidth);

    r = TRect(0, 0, 500, 0);
    EXPECT_EQ(canvas.DrawText(QStringLiteral("a\r\nb\nc"), r, DT_CALCRECT), 3 * lh);
    EXPECT_EQ(canvas.DrawText(QStringLiteral("a\r\nb\nc"), r, DT_CALCRECT | DT_SINGLELINE), lh);

    // A prefix character is not measured; with DT_NOPREFIX it is.
    r = TRect(0, 0, 500, 0);
    canvas.DrawText(QStringLiteral("&File"), r, DT_CALCRECT);
    EXPECT_EQ(r.Right, canvas.TextWidth(QStringLiteral("File")));
    canvas.DrawText(QStringLiteral("&File"), r, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(r.Right, canvas.TextWidth(QStringLiteral("&File")));

    // End ellipsis shortens a line to the width.
    r = TRect(0, 0, wordWidth, 0);
    canvas.DrawText(QStringLiteral("a long text here"), r, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(r.Right, wordWidth);
}

TEST(CanvasTextTest, DrawTextAlignsAndClips)
{
    QImage img = WhiteImage(120, 40);
    TCanvas canvas(&img);
    canvas.Font().SetHeight(-14);
    canvas.Brush().SetStyle(bsClear);
    const int w = canvas.TextWidth(QStringLiteral("XX"));
    canvas.DrawText(QStringLiteral("XX"), TRect(0, 0, 120, 40), DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(CountColor(img, clBlack, 0, 0, 120 - w - 1, 40), 0);
    EXPECT_GT(CountColor(img, clBlack, 120 - w, 0, 120, 40), 0);
    const int lh = canvas.TextHeight(QStringLiteral("XX"));
    EXPECT_EQ(CountColor(img, clBlack, 0, 0, 120, (40 - lh) / 2), 0);

    img.fill(Qt::white);
    canvas.DrawText(QStringLiteral("XXXXXXXXXXXX"), TRect(10, 0, 30, 40), DT_LEFT);
    EXPECT_GT(CountColor(img, clBlack, 10, 0, 30, 40), 0);
    EXPECT_EQ(CountColor(img, clBlack, 30, 0, 120, 40), 0);
}

TEST(CanvasTextTest, TurnedTextReadsBottomToTop)
{
    QImage img = WhiteImage(60, 100);
    TCanvas canvas(&img);
    canvas.Font().SetHeight(-14);
    canvas.Font().SetOrientation(900);
    canvas.Brush().SetStyle(bsClear);
    canvas.TextOut(10, 90, QStringLiteral("WWWW"));
    // The text rises from (10, 90): everything is above row 90 and right of column 10.
    EXPECT_EQ(CountColor(img, clBlack, 0, 91, 60, 100), 0);
    EXPECT_GT(CountColor(img, clBlack, 10, 30, 40, 90), 10);
    EXPECT_EQ(CountColor(img, clBlack, 0, 0, 9, 100), 0);
}

// ---- Devices --------------------------------------------------------------------------------------

TEST(CanvasDeviceTest, WithoutADeviceNothingHappens)
{
    TCanvas canvas;
    canvas.Rectangle(0, 0, 10, 10);
    canvas.TextOut(0, 0, QStringLiteral("x"));
    EXPECT_EQ(canvas.Pixel(0, 0), clNone);
    EXPECT_FALSE(canvas.HasDevice());
    EXPECT_EQ(canvas.ClipRect(), TRect());
}

TEST(CanvasDeviceTest, PixelsAndChangeNotification)
{
    QImage img = WhiteImage(4, 4);
    TCanvas canvas(&img);
    int changes = 0;
    canvas.OnChange = [&] { ++changes; };
    canvas.SetPixel(1, 2, clRed);
    EXPECT_EQ(canvas.Pixel(1, 2), clRed);
    EXPECT_EQ(canvas.Pixel(4, 0), clNone);
    EXPECT_EQ(changes, 1);
    canvas.SetPixel(-1, 0, clRed);  // outside: harmless
}

TEST(CanvasDeviceTest, FarOutCoordinatesDoNotOverflow)
{
    QImage img = WhiteImage(10, 10);
    TCanvas canvas(&img);
    canvas.Brush().SetColor(clRed);
    canvas.Pen().SetColor(clBlue);
    canvas.Rectangle(-2000000000, -2000000000, 2000000000, 2000000000);
    EXPECT_EQ(CountColor(img, clRed), 100);
    canvas.FillRect(TRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
    canvas.MoveTo(INT32_MIN, 5);
    canvas.LineTo(INT32_MAX, 5);
    EXPECT_EQ(CountColor(img, clBlue, 0, 5, 10, 6), 10);
}

TEST(CanvasDeviceTest, ExternalPainterKeepsItsOwnState)
{
    QImage img = WhiteImage(20, 20);
    QPainter painter(&img);
    {
        TCanvas canvas(&painter);
        canvas.IntersectClipRect(TRect(0, 0, 5, 5));
        canvas.Brush().SetColor(clGreen);
        canvas.FillRect(TRect(0, 0, 20, 20));
    }
    EXPECT_TRUE(painter.isActive());
    EXPECT_FALSE(painter.hasClipping());
    painter.end();
    EXPECT_EQ(CountColor(img, clGreen), 25);
}

}  // namespace
