#include "platform/canvas.h"
#include "scheme/drawcaps.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TColor At(const QImage& img, int x, int y)
{
    return FromQColor(QColor(img.pixel(x, y)));
}

}  // namespace

TEST(LineCaps, MetricsTable)
{
    TLineCapMetrics m;
    ASSERT_TRUE(GetLineCapInfo(-10, m, 8));
    EXPECT_EQ(m.Indent, 8);
    EXPECT_EQ(m.Bounds, TRect(-8, -4, 0, 4));
    ASSERT_TRUE(GetLineCapInfo(-16, m, 8));
    EXPECT_EQ(m.Indent, 2);
    EXPECT_EQ(m.Bounds, TRect(-2, -2, 2, 2));
    ASSERT_TRUE(GetLineCapInfo(-6, m, 8));
    EXPECT_EQ(m.Bounds, TRect(-12, -4, 0, 4));
    ASSERT_TRUE(GetLineCapInfo(-8, m, 9));
    EXPECT_EQ(m.Bounds, TRect(-4, -4, 9, 4));
    for (int style : {-19, 0, 1}) {
        EXPECT_FALSE(GetLineCapInfo(style, m, 8));
        EXPECT_EQ(m.Size, 0);
        EXPECT_EQ(m.Indent, 0);
        EXPECT_EQ(m.Bounds, TRect());
    }
}

TEST(LineCaps, OutlinesAlongTheLine)
{
    TLineCapData d;
    // line arrives from the left at (100, 50)
    ASSERT_TRUE(BuildLineCap(-1, d, TPoint(100, 50), TPoint(0, 50), 10));
    EXPECT_EQ(d.Points, (TPointArray{{100, 50}, {95, 45}, {100, 50}, {95, 55}}));
    EXPECT_EQ(d.Types, (TPointTypeArray{0, 1, 0, 1}));
    EXPECT_EQ(d.CapStart, TPoint(95, 50));

    ASSERT_TRUE(BuildLineCap(-10, d, TPoint(100, 50), TPoint(0, 50), 10));
    EXPECT_EQ(d.Points, (TPointArray{{100, 50}, {90, 45}, {90, 55}}));
    EXPECT_EQ(d.Types, (TPointTypeArray{0, 0, 2}));

    ASSERT_TRUE(BuildLineCap(-3, d, TPoint(100, 50), TPoint(0, 50), 10));
    EXPECT_EQ(d.CapEnd, TPoint(105, 50)) << "the fork opens beyond the end";

    ASSERT_TRUE(BuildLineCap(-14, d, TPoint(100, 50), TPoint(0, 50), 10));
    EXPECT_EQ(d.Points, (TPointArray{{95, 45}, {105, 45}, {105, 55}, {95, 55}}));

    for (int style = -18; style <= -1; ++style) {
        ASSERT_TRUE(BuildLineCap(style, d, TPoint(100, 50), TPoint(60, 20), 12)) << style;
        EXPECT_TRUE(IsValidPath(d.Points, d.Types)) << style;
        TRect bounds;
        EXPECT_TRUE(GetPathBounds(d.Points, d.Types, bounds)) << style;
    }
    EXPECT_FALSE(BuildLineCap(-19, d, TPoint(0, 0), TPoint(1, 1), 10));
}

TEST(LineCaps, DegenerateDirectionCollapsesToTheEndPoint)
{
    TLineCapData d;
    ASSERT_TRUE(BuildLineCap(-5, d, TPoint(7, 7), TPoint(7, 7), 10));
    for (const TPoint& p : d.Points)
        EXPECT_EQ(p, TPoint(7, 7));
    ASSERT_TRUE(BuildLineCap(-9, d, TPoint(7, 7), TPoint(7, 7), 10));
    EXPECT_EQ(d.Points.size(), 8u);
}

TEST(LineCaps, PaintsOnlyOpenFiguresWithTheirColours)
{
    QImage img(60, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    TCanvas canvas(&img);
    canvas.Pen().SetColor(clLime);
    const TPointArray pts = {{10, 20}, {50, 20}, {0, 0}, {5, 0}, {5, 5}};
    const TPointTypeArray types = {0, 1, 0, 0, 2};
    TLineCapInfo none;
    TLineCapInfo arrow{-10, clNone, clRed, 10};
    PaintLineCaps(canvas, 1, none, nullptr, types, pts, arrow);
    canvas.Release();
    EXPECT_EQ(At(img, 47, 20), clRed) << "filled arrowhead at the last node";
    EXPECT_EQ(At(img, 12, 20), clWhite) << "no begin cap";
    EXPECT_EQ(At(img, 6, 2), clWhite) << "closed figures get no caps";
    EXPECT_EQ(canvas.Pen().Color(), clLime) << "pen and brush are restored";

    QImage blank(20, 20, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TCanvas c2(&blank);
    PaintLineCaps(c2, 1, none, nullptr, types, pts, none);
    c2.Release();
    EXPECT_EQ(blank.pixel(10, 10), qRgb(255, 255, 255));
}

TEST(LineCaps, CircleIsAnEllipseAroundTheEnd)
{
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    TCanvas canvas(&img);
    canvas.Brush().SetColor(clBlue);
    canvas.Pen().SetColor(clBlue);
    PaintLineCap(canvas, -15, TPoint(0, 20), 16, TPoint(20, 20));
    canvas.Release();
    EXPECT_EQ(At(img, 20, 20), clBlue);
    EXPECT_EQ(At(img, 20, 13), clBlue);
    EXPECT_EQ(At(img, 20, 10), clWhite);
}
