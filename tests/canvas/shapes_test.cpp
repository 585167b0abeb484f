#include "platform/canvas.h"

#include "pixels.h"

#include <QPixmap>
#include <gtest/gtest.h>

namespace {

class ShapesTest : public ::testing::Test {
protected:
    QImage img = WhiteImage(40, 40);
    TCanvas canvas{&img};
};

TEST_F(ShapesTest, ThinEllipseOutlineIsClosedAndFillStaysInside)
{
    canvas.Pen().SetColor(clRed);
    canvas.Brush().SetColor(clBlue);
    canvas.Ellipse(4, 6, 30, 24);
    // Every row crossed by the ellipse starts and ends with the outline.
    for (int y = 6; y < 24; ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < 40; ++x) {
            if (PixelAt(img, x, y) != clWhite) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        ASSERT_GE(first, 0) << y;
        EXPECT_EQ(PixelAt(img, first, y), clRed) << y;
        EXPECT_EQ(PixelAt(img, last, y), clRed) << y;
        for (int x = first; x <= last; ++x)
            EXPECT_NE(PixelAt(img, x, y), clWhite) << x << "," << y;
    }
    // Symmetric about the box's centre.
    for (int y = 6; y < 24; ++y)
        for (int x = 4; x < 30; ++x)
            EXPECT_EQ(PixelAt(img, x, y), PixelAt(img, 4 + 29 - x, 6 + 23 - y)) << x << "," << y;
}

TEST_F(ShapesTest, WideInsideFrameEllipseKeepsItsWidthInside)
{
    canvas.Pen().SetStyle(psInsideFrame);
    canvas.Pen().SetWidth(4);
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetColor(clYellow);
    canvas.Ellipse(0, 0, 40, 40);
    EXPECT_EQ(PixelAt(img, 0, 20), clBlack);
    EXPECT_EQ(PixelAt(img, 3, 20), clBlack);
    EXPECT_EQ(PixelAt(img, 4, 20), clYellow);
    EXPECT_EQ(PixelAt(img, 39, 20), clBlack);
    EXPECT_EQ(PixelAt(img, 35, 20), clYellow);
    EXPECT_EQ(PixelAt(img, 20, 20), clYellow);
}

TEST_F(ShapesTest, EllipseWithoutPenStopsOnePixelShort)
{
    canvas.Pen().SetStyle(psClear);
    canvas.Brush().SetColor(clGreen);
    canvas.Ellipse(0, 0, 21, 21);
    EXPECT_EQ(PixelAt(img, 10, 10), clGreen);
    EXPECT_EQ(CountColor(img, clGreen, 20, 0, 40, 40), 0);
    EXPECT_EQ(CountColor(img, clGreen, 0, 20, 40, 40), 0);
}

TEST_F(ShapesTest, RoundRectRoundsOnlyTheCorners)
{
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetColor(clAqua);
    canvas.RoundRect(5, 5, 35, 25, 10, 10);
    EXPECT_EQ(PixelAt(img, 5, 5), clWhite);
    EXPECT_EQ(PixelAt(img, 20, 5), clBlack);
    EXPECT_EQ(PixelAt(img, 5, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 34, 15), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 24), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 25), clWhite);
    EXPECT_EQ(PixelAt(img, 20, 15), clAqua);
}

TEST_F(ShapesTest, XorShapesUndoThemselves)
{
    canvas.Brush().SetColor(clOlive);
    canvas.FillRect(TRect(0, 0, 20, 40));
    const QImage before = img.copy();
    canvas.Pen().SetMode(pmXor);
    canvas.Pen().SetColor(clWhite);
    canvas.Brush().SetColor(clRed);
    canvas.Ellipse(5, 5, 35, 35);
    const std::vector<TPoint> tri{{0, 0}, {39, 10}, {10, 39}};
    canvas.Polygon(tri);
    canvas.Brush().SetStyle(bsCross);
    canvas.RoundRect(2, 2, 30, 30, 8, 8);
    EXPECT_NE(img, before);
    canvas.RoundRect(2, 2, 30, 30, 8, 8);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Polygon(tri);
    canvas.Ellipse(5, 5, 35, 35);
    EXPECT_EQ(img, before);
}

TEST_F(ShapesTest, DashedPenLeavesGapsFilledOnlyUnderASolidBrush)
{
    canvas.Pen().SetStyle(psDash);
    canvas.Pen().SetColor(clBlack);
    canvas.Brush().SetStyle(bsClear);
    canvas.MoveTo(0, 1);
    canvas.LineTo(40, 1);
    const int dashes = CountColor(img, clBlack, 0, 1, 40, 2);
    EXPECT_GT(dashes, 10);
    EXPECT_LT(dashes, 40);
    EXPECT_EQ(CountColor(img, clWhite, 0, 1, 40, 2), 40 - dashes);
    canvas.Brush().SetColor(clRed);
    canvas.MoveTo(0, 3);
    canvas.LineTo(40, 3);
    EXPECT_EQ(CountColor(img, clBlack, 0, 3, 40, 4), dashes);
    EXPECT_EQ(CountColor(img, clRed, 0, 3, 40, 4), 40 - dashes);
}

TEST_F(ShapesTest, WidePenLineIsThick)
{
    canvas.Pen().SetWidth(5);
    canvas.MoveTo(5, 20);
    canvas.LineTo(35, 20);
    EXPECT_EQ(PixelAt(img, 20, 18), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 22), clBlack);
    EXPECT_EQ(PixelAt(img, 20, 25), clWhite);
}

TEST_F(ShapesTest, PieFillsASectorAndArcOnlyStrokes)
{
    canvas.Brush().SetColor(clRed);
    canvas.Pen().SetColor(clBlack);
    // The upper right quarter: counter-clockwise from the right to the top.
    canvas.Pie(0, 0, 40, 40, 40, 20, 20, 0);
    EXPECT_EQ(PixelAt(img, 28, 12), clRed);
    EXPECT_EQ(PixelAt(img, 12, 12), clWhite);
    EXPECT_EQ(PixelAt(img, 28, 28), clWhite);
    img.fill(Qt::white);
    canvas.Arc(0, 0, 40, 40, 40, 20, 20, 0);
    EXPECT_EQ(CountColor(img, clRed), 0);
    EXPECT_GT(CountColor(img, clBlack, 20, 0, 40, 20), 10);
    EXPECT_EQ(CountColor(img, clBlack, 0, 21, 40, 40), 0);
}

TEST_F(ShapesTest, TextRectFillsAndClips)
{
    canvas.Brush().SetColor(clYellow);
    canvas.Font().SetHeight(-14);
    canvas.TextRect(TRect(5, 5, 25, 20), 8, 5, QStringLiteral("WWWWWWWW"));
    EXPECT_EQ(PixelAt(img, 6, 6), clYellow);
    EXPECT_EQ(PixelAt(img, 25, 12), clWhite);
    EXPECT_EQ(CountColor(img, clBlack, 25, 0, 40, 40), 0);
    EXPECT_GT(CountColor(img, clBlack, 5, 5, 25, 20), 5);
    EXPECT_EQ(CountColor(img, clYellow, 25, 0, 40, 40), 0);
}

TEST(CanvasPixmapTest, RasterModesWorkOnOtherDevices)
{
    QPixmap pm(10, 10);
    pm.fill(Qt::white);
    {
        TCanvas canvas(&pm);
        canvas.Pen().SetMode(pmXor);
        canvas.Pen().SetColor(clWhite);
        canvas.MoveTo(0, 5);
        canvas.LineTo(10, 5);
    }
    const QImage img = pm.toImage();
    EXPECT_EQ(PixelAt(img, 3, 5), clBlack);
    EXPECT_EQ(PixelAt(img, 3, 4), clWhite);
}

}  // namespace
