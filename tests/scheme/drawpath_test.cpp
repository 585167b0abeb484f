#include "scheme/drawpath.h"

#include <gtest/gtest.h>

namespace {

struct Recorder : TPathSink {
    std::vector<std::string> Calls;
    void MoveTo(const TPoint& p) override { Calls.push_back("M" + std::to_string(p.x) + "," + std::to_string(p.y)); }
    void LineTo(const TPoint& p) override { Calls.push_back("L" + std::to_string(p.x) + "," + std::to_string(p.y)); }
    void BezierTo(const TPoint&, const TPoint&, const TPoint& e) override
    {
        Calls.push_back("C" + std::to_string(e.x) + "," + std::to_string(e.y));
    }
    void CloseFigure() override { Calls.push_back("Z"); }
};

const TPointArray Square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const TPointTypeArray SquareTypes = {0, 0, 0, 2};

}  // namespace

TEST(PathInfo, FiguresAndCurvedClosingSegment)
{
    const TPointArray pts = {{0, 0}, {5, 0}, {5, 5}, {0, 0}, {1, 1}, {2, 2}, {3, 3}};
    const TPointTypeArray types = {0, 0, 2, 3, 3, 0, 1};
    TPathInfo info;
    CalcPathInfo(pts, types, info);
    ASSERT_EQ(info.Figures.size(), 2u);
    EXPECT_TRUE(info.Figures[0].IsClosed);
    EXPECT_EQ(info.Figures[0].LastNode, 2);
    EXPECT_EQ(info.Figures[0].LastPoint, 4);
    EXPECT_TRUE(info.Figures[0].IsCurve);
    EXPECT_EQ(info.Figures[1].FirstNode, 5);
    EXPECT_EQ(info.Figures[1].LastNode, 6);
    EXPECT_EQ(FindFigure(info, 4), 0);
    EXPECT_EQ(FindFigure(info, 6), 1);
    EXPECT_EQ(FindFigure(info, 7), -1);
}

TEST(PathInfo, ChangePathCount)
{
    TPointArray pts = {{1, 1}, {2, 2}};
    TPointTypeArray types = {0, 1};
    EXPECT_TRUE(ChangePathCount(pts, types, 2, 2));
    EXPECT_EQ(pts.size(), 4u);
    EXPECT_TRUE(ChangePathCount(pts, types, 3, -1));
    EXPECT_EQ(pts.size(), 3u);
    EXPECT_FALSE(ChangePathCount(pts, types, 2, -5));
    EXPECT_FALSE(ChangePathCount(pts, types, 4, 1));
    types.pop_back();
    EXPECT_FALSE(ChangePathCount(pts, types, 0, 1));
}

TEST(Flatten, PolygonsKeepTheirNodesAndEndTypes)
{
    TPointArray pts = Square;
    TPointTypeArray types = SquareTypes;
    ASSERT_TRUE(FlattenPath(pts, types, nullptr, 1.0f));
    EXPECT_EQ(pts, Square);
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 0, 2}));

    TPointArray line = {{0, 0}, {5, 5}, {9, 0}};
    TPointTypeArray lt = {0, 0, 1};
    ASSERT_TRUE(FlattenPath(line, lt, nullptr, 1.0f));
    EXPECT_EQ(line.size(), 3u);
    EXPECT_EQ(lt.back(), 1);
}

TEST(Flatten, CurvesBecomeLinesWithinPrecision)
{
    TPointArray straight = {{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    TPointTypeArray st = {0, 3, 3, 1};
    ASSERT_TRUE(FlattenPath(straight, st, nullptr, 1.0f));
    EXPECT_EQ(straight, (TPointArray{{0, 0}, {30, 0}})) << "a straight Bezier is flat at once";

    TPointArray dot = {{5, 5}, {5, 5}, {5, 5}, {5, 5}};
    TPointTypeArray dt = {0, 3, 3, 1};
    ASSERT_TRUE(FlattenPath(dot, dt, nullptr, 1.0f));
    EXPECT_EQ(dot.size(), 2u);

    TPointArray arc = {{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}};
    TPointTypeArray at = {0, 3, 3, 1};
    ASSERT_TRUE(FlattenPath(arc, at, nullptr, 1.0f));
    EXPECT_GT(arc.size(), 8u);
    for (const TPoint& p : arc) {
        EXPECT_GE(p.y, 0);
        EXPECT_LE(p.y, 751);
    }
    EXPECT_EQ(arc.back(), TPoint(1000, 0));
}

TEST(Walk, MalformedPathsAreRefused)
{
    // a curve whose second control point is not there would read past the figure
    TPointArray pts = {{0, 0}, {1, 1}, {2, 2}};
    TPointTypeArray types = {0, 3, 1};
    EXPECT_FALSE(FlattenPath(pts, types, nullptr, 1.0f));
    TRect r;
    EXPECT_FALSE(GetPathBounds(pts, types, r));
    TPointTypeArray shortTypes = {0, 1};
    EXPECT_FALSE(GetPathBounds(pts, shortTypes, r));
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_FALSE(PointOnPath(pts, shortTypes, TPoint(0, 0), nullptr, nullptr, 1, true, true));
    // control points spanning two figures
    TPointArray two = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    TPointTypeArray twoTypes = {0, 3, 3, 1, 1};
    EXPECT_TRUE(IsValidPath(two, twoTypes));
    TPointTypeArray bad = {0, 1, 3, 3, 1};
    EXPECT_FALSE(IsValidPath(two, bad));
    TPointTypeArray unknown = {0, 7, 0, 0, 1};
    EXPECT_FALSE(IsValidPath(two, unknown));
}

TEST(Walk, BoundsIncludeFlattenedCurve)
{
    const TPointArray pts = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};
    const TPointTypeArray types = {0, 3, 3, 1};
    TRect r;
    ASSERT_TRUE(GetPathBounds(pts, types, r));
    EXPECT_EQ(r.Left, 0);
    EXPECT_EQ(r.Right, 100);
    EXPECT_EQ(r.Top, 0);
    EXPECT_NEAR(r.Bottom, 75, 1);
}

TEST(Walk, DrawingPathFiltersFigures)
{
    const TPointArray pts = {{0, 0}, {10, 0}, {10, 10}, {20, 20}, {1, 1}, {2, 2}, {30, 30}};
    const TPointTypeArray types = {0, 0, 2, 0, 3, 3, 1};
    Recorder rec;
    bool complete = true;
    ASSERT_TRUE(CreatePath(rec, pts, types, true, true, complete, true));
    EXPECT_TRUE(complete);
    EXPECT_EQ(rec.Calls, (std::vector<std::string>{"M0,0", "L10,0", "L10,10", "L0,0", "Z", "M20,20", "C30,30"}));
    Recorder open;
    ASSERT_TRUE(CreatePath(open, pts, types, false, true, complete, true));
    EXPECT_FALSE(complete);
    EXPECT_EQ(open.Calls, (std::vector<std::string>{"M20,20", "C30,30"}));
}

TEST(HitTest, PointOnLineUsesTheSegmentNotTheLine)
{
    EXPECT_TRUE(PointOnLine(TPoint(5, 0), TPoint(0, 0), TPoint(10, 0), nullptr, nullptr, 0));
    EXPECT_FALSE(PointOnLine(TPoint(15, 0), TPoint(0, 0), TPoint(10, 0), nullptr, nullptr, 0))
        << "the extension of a segment is not on it";
    EXPECT_FALSE(PointOnLine(TPoint(-40, -40), TPoint(0, 0), TPoint(100, 100), nullptr, nullptr, 0));
    EXPECT_TRUE(PointOnLine(TPoint(50, 52), TPoint(0, 0), TPoint(100, 100), nullptr, nullptr, 2));
    EXPECT_FALSE(PointOnLine(TPoint(50, 60), TPoint(0, 0), TPoint(100, 100), nullptr, nullptr, 2));
    // A = B: a square of half-side delta
    EXPECT_TRUE(PointOnLine(TPoint(3, -3), TPoint(0, 0), TPoint(0, 0), nullptr, nullptr, 3));
    EXPECT_FALSE(PointOnLine(TPoint(4, 0), TPoint(0, 0), TPoint(0, 0), nullptr, nullptr, 3));
    // large coordinates do not lose the exact answer
    EXPECT_TRUE(PointOnLine(TPoint(1000000000, 1000000001), TPoint(0, 1), TPoint(2000000000, 2000000001), nullptr,
                            nullptr, 0));
    EXPECT_FALSE(PointOnLine(TPoint(1000000000, 1000000002), TPoint(0, 1), TPoint(2000000000, 2000000001),
                             nullptr, nullptr, 0));
}

TEST(HitTest, HitRecordKeepsNearestPointAndSegment)
{
    THitRecord hit;
    hit.SegFirst = 4;
    hit.SegLast = 5;
    PointOnLine(TPoint(5, 7), TPoint(0, 0), TPoint(10, 0), &hit, nullptr, 1);
    EXPECT_TRUE(hit.Improved);
    EXPECT_EQ(hit.NearX, 5);
    EXPECT_EQ(hit.NearY, 0);
    EXPECT_EQ(hit.Index, 4);
    EXPECT_FLOAT_EQ(hit.DistSq, 49.0f);
    PointOnLine(TPoint(30, 0), TPoint(0, 0), TPoint(10, 0), &hit, nullptr, 1);
    EXPECT_FALSE(hit.Improved) << "a farther segment does not replace the nearer one";
    THitRecord end;
    end.SegFirst = 0;
    end.SegLast = 1;
    PointOnLine(TPoint(14, 0), TPoint(0, 0), TPoint(10, 0), &end, nullptr, 0);
    EXPECT_EQ(end.Index, 1);
    EXPECT_EQ(end.NearX, 10);
}

TEST(HitTest, InsideTestUsesEvenOddAndCountsTheBoundary)
{
    EXPECT_TRUE(PointOnPath(Square, SquareTypes, TPoint(5, 5), nullptr, nullptr, 0, true, false));
    EXPECT_TRUE(PointOnPath(Square, SquareTypes, TPoint(10, 5), nullptr, nullptr, 0, true, false));
    EXPECT_TRUE(PointOnPath(Square, SquareTypes, TPoint(0, 5), nullptr, nullptr, 0, true, false));
    EXPECT_FALSE(PointOnPath(Square, SquareTypes, TPoint(11, 5), nullptr, nullptr, 0, true, false));
    EXPECT_FALSE(PointOnPath(Square, SquareTypes, TPoint(20, 0), nullptr, nullptr, 0, true, false))
        << "the extension of a horizontal edge adds no crossing";
    // a far segment must still count its crossing when the stroke is tested with a tolerance
    EXPECT_TRUE(PointOnPath(Square, SquareTypes, TPoint(7, 5), nullptr, nullptr, 1, true, true));
    // open figures have no inside
    const TPointTypeArray open = {0, 0, 0, 1};
    EXPECT_FALSE(PointOnPath(Square, open, TPoint(5, 5), nullptr, nullptr, 1, true, true));
    EXPECT_TRUE(PointOnPath(Square, open, TPoint(10, 5), nullptr, nullptr, 1, true, true));
}

TEST(HitTest, CurveParameterOfNearestPoint)
{
    const TPointArray pts = {{0, 0}, {100, 0}, {200, 0}, {300, 0}};
    const TPointTypeArray types = {0, 3, 3, 1};
    THitRecord hit;
    EXPECT_TRUE(PointOnPath(pts, types, TPoint(150, 2), nullptr, &hit, 3, false, true));
    EXPECT_NEAR(hit.CurveT, 0.5f, 0.01f);
    EXPECT_EQ(hit.Index, 0);
}

TEST(Editing, FindSegmentAndInsertNodes)
{
    TPointArray pts = {{0, 0}, {100, 0}, {100, 100}};
    TPointTypeArray types = {0, 0, 1};
    int node = -1;
    int end = -1;
    ASSERT_TRUE(FindPathSegment(pts, types, TPoint(50, 3), nullptr, nullptr, node, end));
    EXPECT_EQ(node, 0);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(InsertNearestPathPoint(pts, types, TPoint(50, 3), nullptr, 0), 1);
    EXPECT_EQ(pts, (TPointArray{{0, 0}, {50, 0}, {100, 0}, {100, 100}}));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 0, 1}));

    // a curve is split into two cubic halves
    TPointArray curve = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};
    TPointTypeArray ct = {0, 3, 3, 1};
    const int idx = InsertNearestPathPoint(curve, ct, TPoint(50, 80), nullptr, 0);
    EXPECT_EQ(idx, 3);
    EXPECT_EQ(ct, (TPointTypeArray{0, 3, 3, 0, 3, 3, 1}));
    EXPECT_NEAR(curve[3].x, 50, 2);
    EXPECT_NEAR(curve[3].y, 75, 2);

    // closing segment of a closed figure: the new node closes the figure
    TPointArray sq = Square;
    TPointTypeArray sqt = SquareTypes;
    EXPECT_EQ(InsertPathPoint(sq, sqt, 3, nullptr, 0, TPoint(-1, 5), 0), 4);
    EXPECT_EQ(sqt, (TPointTypeArray{0, 0, 0, 0, 2}));
    EXPECT_EQ(sq[4], TPoint(0, 5));
    EXPECT_EQ(InsertPathPoint(sq, sqt, 1, nullptr, 0, TPoint(0, 0), 3), -1) << "not a segment";
}

TEST(Editing, FlagsAndOperations)
{
    TPointArray pts = {{0, 0}, {30, 0}, {30, 30}};
    TPointTypeArray types = {0, 0, 1};
    std::vector<bool> sel = {false, true, false};
    const unsigned flags = GetPathEditFlags(pts, types, sel);
    EXPECT_EQ(flags, unsigned(pefSelected | pefBreak | pefToCurve));

    ASSERT_TRUE(EditPathPoints(pts, types, sel, peToCurve));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 3, 3, 1}));
    EXPECT_EQ(pts[2], TPoint(30, 10));
    EXPECT_EQ(pts[3], TPoint(30, 20));

    std::vector<bool> sel2 = {false, true, false, false, false};
    EXPECT_TRUE(GetPathEditFlags(pts, types, sel2) & pefToLine);
    ASSERT_TRUE(EditPathPoints(pts, types, sel2, peToLine));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 1}));

    ASSERT_TRUE(EditPathPoints(pts, types, sel, peBreak));
    EXPECT_EQ(pts, (TPointArray{{0, 0}, {30, 0}, {30, 0}, {30, 30}}));
    EXPECT_EQ(types, (TPointTypeArray{0, 1, 0, 1}));

    // the two free ends of the two figures are joined into one
    std::vector<bool> ends = {false, true, true, false};
    EXPECT_EQ(GetPathEditFlags(pts, types, ends) & (pefJoin | pefConnect), unsigned(pefJoin | pefConnect));
    ASSERT_TRUE(EditPathPoints(pts, types, ends, peJoin));
    EXPECT_EQ(pts, (TPointArray{{0, 0}, {30, 0}, {30, 30}}));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 1}));

    // first and last node of one open figure: connect closes it
    std::vector<bool> firstLast = {true, false, true};
    ASSERT_TRUE(EditPathPoints(pts, types, firstLast, peConnect));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 2}));

    // an operation whose flag is not offered changes nothing
    std::vector<bool> none = {false, false, false};
    EXPECT_FALSE(EditPathPoints(pts, types, none, peMove, TPathMove{5, 5, false}));
}

TEST(Editing, MoveWithFollowingControlPoints)
{
    TPointArray pts = {{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    TPointTypeArray types = {0, 3, 3, 1};
    std::vector<bool> sel = {true, false, false, false};
    ASSERT_TRUE(EditPathPoints(pts, types, sel, peMove, TPathMove{1, 2, true}));
    EXPECT_EQ(pts, (TPointArray{{1, 2}, {11, 2}, {20, 0}, {30, 0}}));
    std::vector<bool> ctrl = {false, true, false, false};
    EXPECT_EQ(GetPathEditFlags(pts, types, ctrl), unsigned(pefSelected));
}

TEST(Editing, BreakingAClosedFigureOpensItAtTheBreak)
{
    TPointArray pts = Square;
    TPointTypeArray types = SquareTypes;
    std::vector<bool> sel = {false, true, false, false};
    ASSERT_TRUE(EditPathPoints(pts, types, sel, peBreak));
    EXPECT_EQ(pts, (TPointArray{{10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}}));
    EXPECT_EQ(types, (TPointTypeArray{0, 0, 0, 0, 1}));
}

TEST(BinaryForm, RoundTripAndValidation)
{
    const TPointArray pts = {{-5, 7}, {1, 2}, {3, 4}, {100000, -100000}};
    const TPointTypeArray types = {0, 3, 3, 1};
    const QByteArray bytes = PathPointsToBytes(pts, types);
    EXPECT_EQ(bytes.size(), 9 * 4 + 4);
    TPointArray p2;
    TPointTypeArray t2;
    ASSERT_TRUE(PathPointsFromBytes(bytes, p2, t2));
    EXPECT_EQ(p2, pts);
    EXPECT_EQ(t2, types);
    EXPECT_FALSE(PathPointsFromBytes(bytes.left(bytes.size() - 1), p2, t2)) << "9N + 3 bytes are ignored";
    QByteArray huge = bytes;
    huge[0] = char(0xFF);
    huge[1] = char(0xFF);
    huge[2] = char(0xFF);
    huge[3] = char(0x3F);  // a count whose 9N overflows 32 bits
    EXPECT_FALSE(PathPointsFromBytes(huge, p2, t2));
    QByteArray broken = bytes;
    broken[4 + 32 + 2] = 1;  // a control point that ends a figure leaves a curve half-built
    EXPECT_FALSE(PathPointsFromBytes(broken, p2, t2));
}

TEST(Robustness, ArbitraryPointTypesNeverReadOutsideThePath)
{
    uint32_t seed = 99;
    auto next = [&seed](int range) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(range));
    };
    for (int round = 0; round < 2000; ++round) {
        const int n = next(10);
        TPointArray pts;
        TPointTypeArray types;
        for (int i = 0; i < n; ++i) {
            pts.emplace_back(next(50), next(50));
            types.push_back(uint8_t(next(5)));
        }
        const bool valid = IsValidPath(pts, types);
        TPointArray flat = pts;
        TPointTypeArray flatTypes = types;
        if (FlattenPath(flat, flatTypes, nullptr, 1.0f) && valid) {
            EXPECT_TRUE(IsValidPath(flat, flatTypes));
        }
        TRect r;
        GetPathBounds(pts, types, r);
        THitRecord hit;
        PointOnPath(pts, types, TPoint(next(50), next(50)), nullptr, &hit, 2, true, true);
        TPointArray ins = pts;
        TPointTypeArray insTypes = types;
        if (InsertNearestPathPoint(ins, insTypes, TPoint(next(50), next(50)), nullptr, 0) >= 0) {
            EXPECT_TRUE(IsValidPath(ins, insTypes));
        }
        std::vector<bool> sel(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            sel[std::size_t(i)] = next(3) == 0;
        for (int op = peMove; op <= peToCurve; ++op) {
            TPointArray e = pts;
            TPointTypeArray et = types;
            if (EditPathPoints(e, et, sel, TPathEditOp(op), TPathMove{1, 1, true})) {
                EXPECT_TRUE(IsValidPath(e, et)) << "operation " << op;
            }
        }
    }
}
