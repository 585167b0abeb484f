#include "scheme/drawroute.h"

#include <gtest/gtest.h>

namespace {

struct Routed {
    bool ok;
    TPointArray points;
};

Routed Route(const TRouteParams& p, TPointArray pts = {{0, 0}, {0, 0}})
{
    TPointTypeArray types(pts.size(), ptNode);
    if (!types.empty())
        types.back() = ptOpenEnd;
    Routed r;
    r.ok = RouteOrthogonalPath(pts, types, p);
    r.points = pts;
    if (r.ok) {
        EXPECT_EQ(types.back(), ptOpenEnd);
        for (std::size_t i = 0; i + 1 < types.size(); ++i)
            EXPECT_EQ(types[i], ptNode);
    }
    return r;
}

bool Orthogonal(const TPointArray& pts)
{
    for (std::size_t i = 0; i + 1 < pts.size(); ++i)
        if (pts[i].x != pts[i + 1].x && pts[i].y != pts[i + 1].y)
            return false;
    return true;
}

TRouteParams Params(TRect a, TPoint la, TRect b, TPoint lb, int gap = 10)
{
    TRouteParams p;
    p.RectA = a;
    p.RectB = b;
    p.LinkA = la;
    p.LinkB = lb;
    p.MinGap = gap;
    return p;
}

}  // namespace

TEST(SideFlags, EdgesCountAsInside)
{
    const TRect r(0, 0, 100, 50);
    EXPECT_EQ(GetSideFlags(TPoint(100, 25), r), sfRight);
    EXPECT_EQ(GetSideFlags(TPoint(50, 0), r), sfTop);
    EXPECT_EQ(GetSideFlags(TPoint(-5, -5), r), sfLeft | sfTop);
    EXPECT_EQ(GetSideFlags(TPoint(120, 25), r), sfRight);
    EXPECT_EQ(GetSideFlags(TPoint(50, 50), TRect(0, 0, 100, 100)), sfTop | sfRight | sfBottom | sfLeft);
}

TEST(Routing, StraightWhenLevelAndFacing)
{
    const auto r = Route(Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(300, 0, 400, 100), TPoint(300, 50)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{100, 50}, {300, 50}}));
}

TEST(Routing, OneBendBetweenPerpendicularSides)
{
    // A leaves right, B is entered from the top
    const auto r = Route(Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(300, 200, 400, 300), TPoint(350, 200)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{100, 50}, {350, 50}, {350, 200}}));
}

TEST(Routing, TwoBendsMeetHalfwayBetweenOpposingSides)
{
    const auto r = Route(Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(300, 200, 400, 300), TPoint(300, 250)));
    ASSERT_TRUE(r.ok);
    // working rectangles are inflated by the gap: RA.Right 110, RB.Left 290
    EXPECT_EQ(r.points, (TPointArray{{100, 50}, {200, 50}, {200, 250}, {300, 250}}));
}

TEST(Routing, SameSidesGoAroundTheFartherEdge)
{
    const auto r = Route(Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(0, 200, 150, 300), TPoint(150, 250)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{100, 50}, {160, 50}, {160, 250}, {150, 250}}));
}

TEST(Routing, RoutesStayOrthogonalForEverySidePair)
{
    const TRect a(0, 0, 100, 100);
    const TRect b(160, 130, 260, 230);
    const TPoint linksA[] = {{50, 0}, {100, 50}, {50, 100}, {0, 50}};
    const TPoint linksB[] = {{210, 130}, {260, 180}, {210, 230}, {160, 180}};
    for (const TPoint& la : linksA) {
        for (const TPoint& lb : linksB) {
            const auto r = Route(Params(a, la, b, lb));
            ASSERT_TRUE(r.ok);
            EXPECT_TRUE(Orthogonal(r.points)) << la.x << "," << la.y << " -> " << lb.x << "," << lb.y;
            EXPECT_EQ(r.points.front(), la);
            EXPECT_EQ(r.points.back(), lb);
            EXPECT_LE(r.points.size(), 6u);
        }
    }
}

TEST(Routing, SameControlUsesOneRectangle)
{
    TRouteParams p = Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(0, 0, 100, 100), TPoint(50, 0));
    p.SameControl = true;
    const auto r = Route(p);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{100, 50}, {110, 50}, {110, -10}, {50, -10}, {50, 0}}));

    p.LinkB = TPoint(0, 60);
    const auto both = Route(p);
    ASSERT_TRUE(both.ok);
    // both sides horizontal: along the nearer of top and bottom (bottom: |50-110|+|60-110| < top)
    EXPECT_EQ(both.points, (TPointArray{{100, 50}, {110, 50}, {110, 110}, {-10, 110}, {-10, 60}, {0, 60}}));
}

TEST(Routing, FreePolylineOnlyMovesItsEnds)
{
    TRouteParams p = Params(TRect(0, 0, 10, 10), TPoint(10, 5), TRect(50, 50, 60, 60), TPoint(50, 55));
    p.Ortogonal = false;
    const auto r = Route(p, {{1, 1}, {30, 40}, {2, 2}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{10, 5}, {30, 40}, {50, 55}}));
    const auto single = Route(p, {{1, 1}});
    EXPECT_EQ(single.points, (TPointArray{{10, 5}, {50, 55}}));
}

TEST(Routing, NeverRerouteKeepsEndSegmentDirections)
{
    TRouteParams p = Params(TRect(0, 0, 100, 100), TPoint(100, 60), TRect(300, 200, 400, 300), TPoint(300, 240));
    p.RerouteMode = rmNever;
    const auto r = Route(p, {{100, 50}, {200, 50}, {200, 250}, {300, 250}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, (TPointArray{{100, 60}, {200, 60}, {200, 240}, {300, 240}}));
    const auto two = Route(p, {{1, 1}, {2, 2}});
    EXPECT_EQ(two.points, (TPointArray{{100, 60}, {300, 240}}));
}

TEST(Routing, AsNeededKeepsAGoodRouteAndRepairsABadOne)
{
    TRouteParams p = Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(300, 200, 400, 300), TPoint(300, 250));
    p.RerouteMode = rmAsNeeded;
    const TPointArray good = {{100, 50}, {250, 50}, {250, 250}, {300, 250}};
    EXPECT_EQ(Route(p, good).points, good);
    const auto diagonal = Route(p, {{100, 50}, {300, 250}});
    EXPECT_TRUE(Orthogonal(diagonal.points));
    // the middle segment runs through B's rectangle
    const auto crossing = Route(p, {{100, 50}, {350, 50}, {350, 250}, {300, 250}});
    EXPECT_EQ(crossing.points, (TPointArray{{100, 50}, {200, 50}, {200, 250}, {300, 250}}));
}

TEST(Routing, FallbackAndRefusals)
{
    // overlapping rectangles still get an orthogonal route between the two link points
    TRouteParams p = Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(50, 0, 150, 100), TPoint(50, 50), 0);
    const auto r = Route(p);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(Orthogonal(r.points));
    EXPECT_EQ(r.points.front(), TPoint(100, 50));
    EXPECT_EQ(r.points.back(), TPoint(50, 50));

    // B lies behind A, level with it, and the exit stubs run into the other rectangle
    const auto level = Route(Params(TRect(0, 0, 100, 100), TPoint(100, 50), TRect(20, 0, 120, 100), TPoint(20, 50)));
    ASSERT_TRUE(level.ok);
    EXPECT_EQ(level.points, (TPointArray{{100, 50}, {20, 50}}));

    TPointArray pts = {{0, 0}, {1, 1}};
    TPointTypeArray closed = {0, 2};
    EXPECT_FALSE(RouteOrthogonalPath(pts, closed, p));
    TPointTypeArray shortTypes = {1};
    EXPECT_FALSE(RouteOrthogonalPath(pts, shortTypes, p));
}

TEST(Routing, FarCoordinatesDoNotOverflow)
{
    const int big = 2147000000;
    const auto r = Route(Params(TRect(-big, -big, -big + 100, -big + 100), TPoint(-big + 100, -big + 50),
                                TRect(big - 100, big - 100, big, big), TPoint(big - 100, big - 50), 8000));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(Orthogonal(r.points));
    for (std::size_t i = 1; i + 1 < r.points.size(); ++i) {
        EXPECT_GT(r.points[i].x, -big - 10000);
        EXPECT_LT(r.points[i].x, big + 10000);
    }
}
