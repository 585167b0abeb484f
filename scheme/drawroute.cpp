#include "scheme/drawroute.h"

#include "scheme/drawutils.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

int GetSideFlags(const TPoint& p, const TRect& r)
{
    int flags = 0;
    if (p.x < r.Left)
        flags |= sfLeft;
    else if (p.x > r.Right)
        flags |= sfRight;
    if (p.y < r.Top)
        flags |= sfTop;
    else if (p.y > r.Bottom)
        flags |= sfBottom;
    if (flags)
        return flags;
    const int64_t top = int64_t(p.y) - r.Top;
    const int64_t right = int64_t(r.Right) - p.x;
    const int64_t bottom = int64_t(r.Bottom) - p.y;
    const int64_t left = int64_t(p.x) - r.Left;
    const int64_t m = std::min({top, right, bottom, left});
    if (top == m)
        flags |= sfTop;
    if (right == m)
        flags |= sfRight;
    if (bottom == m)
        flags |= sfBottom;
    if (left == m)
        flags |= sfLeft;
    return flags;
}

namespace {

// Sides by index: 0 top, 1 right, 2 bottom, 3 left.
enum Side { Top = 0, Right = 1, Bottom = 2, Left = 3 };

bool IsHorizontal(int side)
{
    return side == Right || side == Left;
}

using Route = std::vector<TPoint>;

int Mid(int a, int b)
{
    return int((int64_t(a) + b) / 2);
}

TRect Inflated(const TRect& r, int gap)
{
    TRect result = r;
    InflateRect(result, gap, gap);
    return result;
}

TRect Including(const TRect& r, const TPoint& p)
{
    return TRect(std::min(r.Left, p.x), std::min(r.Top, p.y), std::max(r.Right, p.x), std::max(r.Bottom, p.y));
}

// Exchanging X and Y turns vertical sides into horizontal ones, so each pass is written once.
TPoint Swap(const TPoint& p)
{
    return TPoint(p.y, p.x);
}
TRect Swap(const TRect& r)
{
    return TRect(r.Top, r.Left, r.Bottom, r.Right);
}
int SwapSide(int side)
{
    switch (side) {
    case Top:
        return Left;
    case Bottom:
        return Right;
    case Left:
        return Top;
    default:
        return Bottom;
    }
}

struct Frame {
    TPoint A, B;
    TRect RA, RB;
    int SA, SB;
    int Gap;
};

Frame Swapped(const Frame& f)
{
    return Frame{Swap(f.A), Swap(f.B), Swap(f.RA), Swap(f.RB), SwapSide(f.SA), SwapSide(f.SB), f.Gap};
}

Route SwapRoute(Route r)
{
    for (TPoint& p : r)
        p = Swap(p);
    return r;
}

bool Meets(const TRect& a, const TRect& b)
{
    TRect r;
    return IntersectRect(r, a, b);
}

TRect Stub(const TPoint& p, const TRect& r, int side)
{
    switch (side) {
    case Right:
        return TRect(p.x, p.y, r.Right, SatAdd(p.y, 1));
    case Left:
        return TRect(r.Left, p.y, p.x, SatAdd(p.y, 1));
    case Top:
        return TRect(p.x, r.Top, SatAdd(p.x, 1), p.y);
    default:
        return TRect(p.x, p.y, SatAdd(p.x, 1), r.Bottom);
    }
}

bool StubsClear(const Frame& f)
{
    return !Meets(Stub(f.A, f.RA, f.SA), f.RB) && !Meets(Stub(f.B, f.RB, f.SB), f.RA);
}

std::optional<Route> Pass0(const Frame& f)
{
    if (f.SA == f.SB || IsHorizontal(f.SA) != IsHorizontal(f.SB))
        return std::nullopt;
    const bool level = IsHorizontal(f.SA) ? f.A.y == f.B.y : f.A.x == f.B.x;
    if (!level)
        return std::nullopt;
    bool ahead = false;
    switch (f.SA) {
    case Right:
        ahead = f.B.x >= f.A.x;
        break;
    case Left:
        ahead = f.B.x < f.A.x;
        break;
    case Top:
        ahead = f.B.y <= f.A.y;
        break;
    default:
        ahead = f.B.y > f.A.y;
        break;
    }
    if (!ahead)
        return std::nullopt;
    return Route{f.A, f.B};
}

std::optional<Route> Pass1(const Frame& f)
{
    if (IsHorizontal(f.SA) == IsHorizontal(f.SB))
        return std::nullopt;
    const TPoint k = IsHorizontal(f.SA) ? TPoint(f.B.x, f.A.y) : TPoint(f.A.x, f.B.y);
    bool beyondA = false;
    switch (f.SA) {
    case Right:
        beyondA = f.B.x >= f.RA.Right;
        break;
    case Left:
        beyondA = f.B.x <= f.RA.Left;
        break;
    case Top:
        beyondA = f.B.y <= f.RA.Top;
        break;
    default:
        beyondA = f.B.y >= f.RA.Bottom;
        break;
    }
    bool beyondB = false;
    switch (f.SB) {
    case Top:
        beyondB = f.A.y <= f.RB.Top;
        break;
    case Bottom:
        beyondB = f.A.y >= f.RB.Bottom;
        break;
    case Right:
        beyondB = f.A.x >= f.RB.Right;
        break;
    default:
        beyondB = f.A.x <= f.RB.Left;
        break;
    }
    if (!beyondA || !beyondB)
        return std::nullopt;
    return Route{f.A, k, f.B};
}

// Both sides horizontal.
std::optional<Route> Pass2H(const Frame& f)
{
    int x = 0;
    auto within = [](int y, const TRect& r) { return y > r.Top && y < r.Bottom; };
    if (f.SA == Right && f.SB == Right) {
        if ((f.A.x < f.RB.Right && within(f.A.y, f.RB)) || (f.B.x < f.RA.Right && within(f.B.y, f.RA)))
            return std::nullopt;
        x = std::max(f.RA.Right, f.RB.Right);
    } else if (f.SA == Left && f.SB == Left) {
        if ((f.A.x > f.RB.Left && within(f.A.y, f.RB)) || (f.B.x > f.RA.Left && within(f.B.y, f.RA)))
            return std::nullopt;
        x = std::min(f.RA.Left, f.RB.Left);
    } else if (f.SA == Right) {
        if (f.RB.Left < f.RA.Right)
            return std::nullopt;
        x = Mid(f.RA.Right, f.RB.Left);
    } else {
        if (f.RA.Left < f.RB.Right)
            return std::nullopt;
        x = Mid(f.RB.Right, f.RA.Left);
    }
    return Route{f.A, TPoint(x, f.A.y), TPoint(x, f.B.y), f.B};
}

// A's side horizontal, B's vertical.
std::optional<Route> Pass3H(const Frame& f)
{
    if (!StubsClear(f))
        return std::nullopt;
    const int yB = f.SB == Top ? f.RB.Top : f.RB.Bottom;
    if (f.SA == Right ? f.RA.Right <= f.RB.Left : f.RB.Right <= f.RA.Left) {
        const int x = f.SA == Right ? Mid(f.RA.Right, f.RB.Left) : Mid(f.RB.Right, f.RA.Left);
        return Route{f.A, TPoint(x, f.A.y), TPoint(x, yB), TPoint(f.B.x, yB), f.B};
    }
    const int xA = f.SA == Right ? f.RA.Right : f.RA.Left;
    if (f.SB == Top ? f.RA.Bottom <= f.RB.Top : f.RB.Bottom <= f.RA.Top) {
        const int y = f.SB == Top ? Mid(f.RA.Bottom, f.RB.Top) : Mid(f.RA.Top, f.RB.Bottom);
        return Route{f.A, TPoint(xA, f.A.y), TPoint(xA, y), TPoint(f.B.x, y), f.B};
    }
    const int x = f.SA == Right ? std::max(f.RA.Right, f.RB.Right) : std::min(f.RA.Left, f.RB.Left);
    const int y = f.SB == Top ? std::min(f.RA.Top, f.RB.Top) : std::max(f.RA.Bottom, f.RB.Bottom);
    return Route{f.A, TPoint(x, f.A.y), TPoint(x, y), TPoint(f.B.x, y), f.B};
}

int64_t SumY(const Frame& f, int y)
{
    return std::llabs(int64_t(f.A.y) - y) + std::llabs(int64_t(f.B.y) - y);
}

int Nearer(const Frame& f, int top, int bottom)
{
    return SumY(f, top) < SumY(f, bottom) ? top : bottom;
}

// Both sides horizontal.
std::optional<Route> Pass4H(const Frame& f)
{
    if (!StubsClear(f))
        return std::nullopt;
    const int xA = f.SA == Right ? f.RA.Right : f.RA.Left;
    const int xB = f.SB == Right ? f.RB.Right : f.RB.Left;
    if (f.SA == f.SB) {
        const int xm = f.RA.Left < f.RB.Right ? Mid(f.RA.Right, f.RB.Left) : Mid(f.RA.Left, f.RB.Right);
        const bool beyond = f.SA == Right ? f.RA.Right < f.RB.Left : f.RB.Right < f.RA.Left;
        if (beyond) {
            const int y = Nearer(f, f.RB.Top, f.RB.Bottom);
            return Route{f.A, TPoint(xm, f.A.y), TPoint(xm, y), TPoint(xB, y), TPoint(xB, f.B.y), f.B};
        }
        const int y = Nearer(f, f.RA.Top, f.RA.Bottom);
        return Route{f.A, TPoint(xA, f.A.y), TPoint(xA, y), TPoint(xm, y), TPoint(xm, f.B.y), f.B};
    }
    auto across = [&](int y) {
        return Route{f.A, TPoint(xA, f.A.y), TPoint(xA, y), TPoint(xB, y), TPoint(xB, f.B.y), f.B};
    };
    if (f.RA.Top < f.RB.Bottom && f.RB.Top >= f.RA.Bottom)
        return across(Mid(f.RA.Bottom, f.RB.Top));
    if (f.RA.Top >= f.RB.Bottom)
        return across(Mid(f.RA.Top, f.RB.Bottom));
    TRect u;
    UnionRect(u, f.RA, f.RB);
    auto insideBy = [&](const TPoint& p, int side) {
        return side == Right ? int64_t(u.Right) - p.x == f.Gap : int64_t(p.x) - u.Left == f.Gap;
    };
    if (insideBy(f.A, f.SA) && insideBy(f.B, f.SB))
        return across(Nearer(f, u.Top, u.Bottom));
    const int uA = f.SA == Right ? u.Right : u.Left;
    const int uB = f.SB == Right ? u.Right : u.Left;
    const int y1 = f.B.y < f.A.y ? u.Top : u.Bottom;
    const Route r1{f.A, TPoint(uA, f.A.y), TPoint(uA, y1), TPoint(xB, y1), TPoint(xB, f.B.y), f.B};
    const int y2 = f.A.y < f.B.y ? u.Top : u.Bottom;
    const Route r2{f.A, TPoint(xA, f.A.y), TPoint(xA, y2), TPoint(uB, y2), TPoint(uB, f.B.y), f.B};
    auto len = [](int64_t a, int64_t b) { return std::llabs(a - b); };
    const int64_t l1 = len(f.A.x, r1[1].x) + len(r1[2].y, r1[1].y) + len(r1[3].x, r1[2].x) + len(r1[4].y, r1[3].y);
    const int64_t l2 = len(r2[2].y, r2[1].y) + len(r2[3].x, r2[2].x) + len(r2[4].y, r2[3].y) + len(f.B.x, r2[4].x);
    return l1 < l2 ? r1 : r2;
}

std::optional<Route> TwoRectPass(int pass, const Frame& f)
{
    const bool ha = IsHorizontal(f.SA);
    const bool hb = IsHorizontal(f.SB);
    switch (pass) {
    case 0:
        return Pass0(f);
    case 1:
        return Pass1(f);
    case 2:
        if (ha != hb)
            return std::nullopt;
        if (ha)
            return Pass2H(f);
        if (auto r = Pass2H(Swapped(f)))
            return SwapRoute(*r);
        return std::nullopt;
    case 3:
        if (ha == hb)
            return std::nullopt;
        if (ha)
            return Pass3H(f);
        if (auto r = Pass3H(Swapped(f)))
            return SwapRoute(*r);
        return std::nullopt;
    case 4:
        if (ha != hb)
            return std::nullopt;
        if (ha)
            return Pass4H(f);
        if (auto r = Pass4H(Swapped(f)))
            return SwapRoute(*r);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

int EdgeOf(const TRect& r, int side)
{
    switch (side) {
    case Top:
        return r.Top;
    case Right:
        return r.Right;
    case Bottom:
        return r.Bottom;
    default:
        return r.Left;
    }
}

std::optional<Route> OneRectPass(int pass, const Frame& f)
{
    const TRect& r = f.RA;
    const bool ha = IsHorizontal(f.SA);
    const bool hb = IsHorizontal(f.SB);
    const int eA = EdgeOf(r, f.SA);
    const int eB = EdgeOf(r, f.SB);
    if (pass == 3 && ha != hb) {
        if (ha)
            return Route{f.A, TPoint(eA, f.A.y), TPoint(eA, eB), TPoint(f.B.x, eB), f.B};
        return Route{f.A, TPoint(f.A.x, eA), TPoint(eB, eA), TPoint(eB, f.B.y), f.B};
    }
    if (pass == 4 && ha == hb) {
        if (ha) {
            const int64_t top = std::llabs(int64_t(f.A.y) - r.Top + f.B.y - r.Top);
            const int64_t bottom = std::llabs(int64_t(f.A.y) - r.Bottom + f.B.y - r.Bottom);
            const int y = top < bottom ? r.Top : r.Bottom;
            return Route{f.A, TPoint(eA, f.A.y), TPoint(eA, y), TPoint(eB, y), TPoint(eB, f.B.y), f.B};
        }
        const int64_t left = std::llabs(int64_t(f.A.x) - r.Left + f.B.x - r.Left);
        const int64_t right = std::llabs(int64_t(f.A.x) - r.Right + f.B.x - r.Right);
        const int x = left < right ? r.Left : r.Right;
        return Route{f.A, TPoint(f.A.x, eA), TPoint(x, eA), TPoint(x, eB), TPoint(f.B.x, eB), f.B};
    }
    return std::nullopt;
}

Route Fallback(const Frame& f)
{
    const bool ha = IsHorizontal(f.SA);
    const bool hb = IsHorizontal(f.SB);
    if (ha == hb) {
        if (ha ? f.A.y == f.B.y : f.A.x == f.B.x)
            return Route{f.A, f.B};
        if (ha) {
            const int mx = Mid(f.A.x, f.B.x);
            return Route{f.A, TPoint(mx, f.A.y), TPoint(mx, f.B.y), f.B};
        }
        const int my = Mid(f.A.y, f.B.y);
        return Route{f.A, TPoint(f.A.x, my), TPoint(f.B.x, my), f.B};
    }
    return Route{f.A, ha ? TPoint(f.B.x, f.A.y) : TPoint(f.A.x, f.B.y), f.B};
}

void SetRoute(TPointArray& points, TPointTypeArray& types, const Route& route)
{
    points.assign(route.begin(), route.end());
    types.assign(route.size(), ptNode);
    if (!types.empty())
        types.back() = ptOpenEnd;
}

// Region codes: a segment whose ends lie beyond one same side of r (edges included) misses it.
int Code(const TPoint& p, const TRect& r)
{
    return (p.x <= r.Left ? 1 : 0) | (p.x >= r.Right ? 2 : 0) | (p.y <= r.Top ? 4 : 0) | (p.y >= r.Bottom ? 8 : 0);
}

bool Crosses(const TPoint& a, const TPoint& b, const TRect& r)
{
    return (Code(a, r) & Code(b, r)) == 0;
}

bool SegmentHorizontal(const TPoint& a, const TPoint& b)
{
    const int64_t dx = std::llabs(int64_t(b.x) - a.x);
    const int64_t dy = std::llabs(int64_t(b.y) - a.y);
    return dy == 0 || (dx != 0 && dx >= dy);
}

}  // namespace

bool RouteOrthogonalPath(TPointArray& points, TPointTypeArray& types, const TRouteParams& params)
{
    if (points.size() != types.size())
        return false;
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i)
        if (types[i] != (i + 1 == n ? ptOpenEnd : ptNode))
            return false;

    TRect ra;
    TRect rb;
    if (params.SameControl) {
        ra = Inflated(Including(Including(params.RectA, params.LinkA), params.LinkB), params.MinGap);
        rb = ra;
    } else {
        ra = Inflated(Including(params.RectA, params.LinkA), params.MinGap);
        rb = Inflated(Including(params.RectB, params.LinkB), params.MinGap);
    }

    bool reroute = false;
    switch (params.RerouteMode) {
    case rmAlways:
        reroute = true;
        break;
    case rmAsNeeded:
        if (n < 2) {
            reroute = true;
            break;
        }
        if (params.Ortogonal) {
            for (std::size_t i = 0; i + 1 < n && !reroute; ++i) {
                const TPoint& a = points[i];
                const TPoint& b = points[i + 1];
                if (a.x != b.x && a.y != b.y)
                    reroute = true;
                // the first segment leaves A's rectangle and the last enters B's: test the others
                if (i > 0 && Crosses(a, b, ra))
                    reroute = true;
                if (i + 2 < n && Crosses(a, b, rb))
                    reroute = true;
            }
        }
        break;
    case rmNever:
        break;
    }

    if (!reroute || !params.Ortogonal) {
        if (n < 2) {
            SetRoute(points, types, Route{params.LinkA, params.LinkB});
            return true;
        }
        if (!params.Ortogonal || n == 2 || (points.front() == params.LinkA && points.back() == params.LinkB)) {
            points.front() = params.LinkA;
            points.back() = params.LinkB;
            return true;
        }
        // keep the direction of the end segments: the neighbour follows the link point
        auto firstDirection = [&](bool fromStart, bool& horizontal) {
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const std::size_t i = fromStart ? k : n - 2 - k;
                const TPoint& a = points[i];
                const TPoint& b = points[i + 1];
                if (a == b)
                    continue;
                const bool h = SegmentHorizontal(a, b);
                horizontal = (k % 2 == 0) ? h : !h;
                return true;
            }
            return false;
        };
        bool hFirst = false;
        bool hLast = false;
        const bool haveFirst = firstDirection(true, hFirst);
        const bool haveLast = firstDirection(false, hLast);
        points.front() = params.LinkA;
        if (haveFirst) {
            if (hFirst)
                points[1].y = params.LinkA.y;
            else
                points[1].x = params.LinkA.x;
        }
        points.back() = params.LinkB;
        if (haveLast) {
            if (hLast)
                points[n - 2].y = params.LinkB.y;
            else
                points[n - 2].x = params.LinkB.x;
        }
        return true;
    }

    const int fa = GetSideFlags(params.LinkA, ra);
    const int fb = GetSideFlags(params.LinkB, rb);
    if (fa == 0 || fb == 0)
        return false;
    auto sides = [](int flags) {
        std::vector<int> s;
        for (int side = Top; side <= Left; ++side)
            if (flags & (1 << side))
                s.push_back(side);
        return s;
    };
    const std::vector<int> sidesA = sides(fa);
    const std::vector<int> sidesB = sides(fb);
    for (int pass = 0; pass < 5; ++pass) {
        for (int sa : sidesA) {
            for (int sb : sidesB) {
                const Frame f{params.LinkA, params.LinkB, ra, rb, sa, sb, params.MinGap};
                const std::optional<Route> r = params.SameControl ? OneRectPass(pass, f) : TwoRectPass(pass, f);
                if (r) {
                    SetRoute(points, types, *r);
                    return true;
                }
            }
        }
    }
    const Frame f{params.LinkA, params.LinkB, ra, rb, sidesA.front(), sidesB.front(), params.MinGap};
    SetRoute(points, types, Fallback(f));
    return true;
}
