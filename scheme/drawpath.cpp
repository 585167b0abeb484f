#include "scheme/drawpath.h"

#include "platform/canvas.h"
#include "scheme/drawutils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

// ---------------------------------------------------------------- point list

TPointList::TPointList(int delta) : FDelta(std::max(1, delta))
{
    FItems.resize(std::size_t(FDelta));
}

void TPointList::Add(int x, int y, uint8_t type)
{
    if (FCount >= int(FItems.size())) {
        FItems.resize(FItems.size() + std::size_t(FDelta));
        if (FDelta < (1 << 24))
            FDelta *= 2;
    }
    FItems[std::size_t(FCount++)] = Entry{x, y, type};
}

void TPointList::Delete(int index)
{
    if (index < 0 || index >= FCount)
        return;
    std::copy(FItems.begin() + index + 1, FItems.begin() + FCount, FItems.begin() + index);
    --FCount;
}

void TCanvasPathSink::MoveTo(const TPoint& p)
{
    FCanvas.MoveTo(p.x, p.y);
}

void TCanvasPathSink::LineTo(const TPoint& p)
{
    FCanvas.LineTo(p.x, p.y);
}

void TCanvasPathSink::BezierTo(const TPoint& c1, const TPoint& c2, const TPoint& end)
{
    const TPoint pts[3] = {c1, c2, end};
    FCanvas.PolyBezierTo(pts, 3);
}

void TCanvasPathSink::CloseFigure()
{
    FCanvas.CloseFigure();
}

// ---------------------------------------------------------------- path info

void CalcPathInfo(const TPointArray& points, const TPointTypeArray& types, TPathInfo& info)
{
    info.IsCurve = false;
    info.Figures.clear();
    if (points.empty() || points.size() != types.size())
        return;
    const int n = int(points.size());
    info.PointCount = n;
    TPathFigureInfo fig;
    bool open = false;
    for (int i = 0; i < n; ++i) {
        if (!open) {
            fig = TPathFigureInfo{};
            fig.FirstNode = i;
            open = true;
        }
        const uint8_t t = types[std::size_t(i)];
        if (t == ptOpenEnd || t == ptClosedEnd) {
            fig.LastNode = i;
            fig.IsClosed = t == ptClosedEnd;
            int end = i;
            if (i + 2 < n && types[std::size_t(i) + 1] == ptControl) {
                fig.IsCurve = true;
                end = i + 2;
            }
            fig.LastPoint = end;
            info.IsCurve = info.IsCurve || fig.IsCurve;
            info.Figures.push_back(fig);
            open = false;
            i = end;
        } else if (t == ptControl) {
            fig.IsCurve = true;
        }
    }
    if (open) {
        info.IsCurve = info.IsCurve || fig.IsCurve;
        info.Figures.push_back(fig);
    }
}

int FindFigure(const TPathInfo& info, int pointIndex)
{
    for (std::size_t f = 0; f < info.Figures.size(); ++f) {
        const TPathFigureInfo& fig = info.Figures[f];
        if (pointIndex >= fig.FirstNode && pointIndex <= fig.LastPoint)
            return int(f);
    }
    return -1;
}

bool ChangePathCount(TPointArray& points, TPointTypeArray& types, int index, int delta)
{
    const int64_t n = int64_t(points.size());
    if (int64_t(types.size()) != n || index < 0 || index > n)
        return false;
    if (delta > 0) {
        points.insert(points.begin() + index, std::size_t(delta), index < n ? points[std::size_t(index)] : TPoint());
        types.insert(types.begin() + index, std::size_t(delta), index < n ? types[std::size_t(index)] : ptNode);
    } else if (delta < 0) {
        if (int64_t(index) - delta > n)
            return false;
        points.erase(points.begin() + index, points.begin() + index - delta);
        types.erase(types.begin() + index, types.begin() + index - delta);
    }
    return true;
}

namespace {

// Describes the segment starting at i of figure fig; false when the path is malformed there.
struct Segment {
    bool Curve = false;
    int End = 0;
    int Next = 0;
};

bool SegmentAt(const TPointTypeArray& types, const TPathFigureInfo& fig, int i, Segment& seg)
{
    const int n = int(types.size());
    const uint8_t t = types[std::size_t(i)];
    if (t == ptControl)
        return false;
    const bool closing = t == ptClosedEnd;
    if (i + 1 < n && types[std::size_t(i) + 1] == ptControl) {
        // a curve needs both control points, and its end, inside the figure
        if (i + 2 >= n || types[std::size_t(i) + 2] != ptControl)
            return false;
        if (closing) {
            if (i + 2 > fig.LastPoint)
                return false;
            seg.End = fig.FirstNode;
        } else {
            if (i + 3 > fig.LastNode || types[std::size_t(i) + 3] == ptControl)
                return false;
            seg.End = i + 3;
        }
        seg.Curve = true;
        seg.Next = i + 3;
        return true;
    }
    seg.Curve = false;
    seg.End = closing ? fig.FirstNode : i + 1;
    seg.Next = i + 1;
    return closing || i + 1 <= fig.LastNode;
}

bool TypesKnown(const TPointTypeArray& types)
{
    return std::all_of(types.begin(), types.end(), [](uint8_t t) { return t <= ptControl; });
}

struct FPoint {
    float x;
    float y;
};

FPoint Mid(const FPoint& a, const FPoint& b)
{
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

int RoundF(float v)
{
    return ClampToInt(int64_t(std::llround(double(v))));
}

class Walker {
public:
    Walker(const TPointArray& pts, TPathParams& params) : Pts(pts), P(params) {}

    bool StopEarly() const { return P.Mode == TPathMode::HitTest && P.Found && !P.Hit; }

    void Line(const TPoint& end, bool piece, float t0, float t1)
    {
        switch (P.Mode) {
        case TPathMode::Flatten:
            P.List->Add(end.x, end.y, 0);
            break;
        case TPathMode::HitTest: {
            const TPoint start = Cur;
            if (PointOnLine(P.HitPoint, start, end, P.Hit, Closed ? P.Crossings : nullptr, P.Delta))
                P.Found = true;
            if (piece && P.Hit && P.Hit->Improved) {
                if (t1 != 1.0f)
                    P.Hit->Index = P.Hit->SegFirst;
                if (end.x != start.x)
                    P.Hit->CurveT = t0 + (t1 - t0) * float(P.Hit->NearX - start.x) / float(end.x - start.x);
                else
                    P.Hit->CurveT = t0;
            }
            break;
        }
        case TPathMode::Bounds:
            P.Bounds->Left = std::min(P.Bounds->Left, end.x);
            P.Bounds->Top = std::min(P.Bounds->Top, end.y);
            P.Bounds->Right = std::max(P.Bounds->Right, end.x);
            P.Bounds->Bottom = std::max(P.Bounds->Bottom, end.y);
            break;
        case TPathMode::DrawPath:
            P.Sink->LineTo(end);
            break;
        }
        Cur = end;
    }

    void Bezier(FPoint p0, FPoint p1, FPoint p2, FPoint p3, float t0, float t1, int depth)
    {
        if (StopEarly())
            return;
        const float a = p3.y - p0.y;
        const float b = p0.x - p3.x;
        const float c = a * p0.x + b * p0.y;
        const float l = a * a + b * b;
        const float d1 = (a * p1.x + b * p1.y - c) * P.Precision;
        const float d2 = (a * p2.x + b * p2.y - c) * P.Precision;
        bool flat = d1 * d1 < l && d2 * d2 < l;
        const FPoint m{(p0.x + 3 * p1.x + 3 * p2.x + p3.x) / 8, (p0.y + 3 * p1.y + 3 * p2.y + p3.y) / 8};
        if (m.x == p0.x && m.y == p0.y)
            flat = true;
        if (depth >= 40)  // float pieces cannot get smaller than this in any useful way
            flat = true;
        if (flat) {
            Line(TPoint(RoundF(p3.x), RoundF(p3.y)), true, t0, t1);
            return;
        }
        const FPoint p01 = Mid(p0, p1);
        const FPoint p12 = Mid(p1, p2);
        const FPoint p23 = Mid(p2, p3);
        const FPoint l2 = Mid(p01, p12);
        const FPoint r1 = Mid(p12, p23);
        const float tm = (t0 + t1) / 2;
        Bezier(p0, p01, l2, m, t0, tm, depth + 1);
        Bezier(m, r1, p23, p3, tm, t1, depth + 1);
    }

    void Curve(const TPoint& c1, const TPoint& c2, const TPoint& end)
    {
        if (P.Mode == TPathMode::DrawPath && P.NativeBezier) {
            P.Sink->BezierTo(c1, c2, end);
            Cur = end;
            return;
        }
        if (P.Mode == TPathMode::HitTest && !P.Hit && CannotMatter(c1, c2, end)) {
            Cur = end;
            return;
        }
        auto f = [](const TPoint& p) { return FPoint{float(p.x), float(p.y)}; };
        Bezier(f(Cur), f(c1), f(c2), f(end), 0.0f, 1.0f, 0);
        // the flattened end is the rounded float end; continue from the exact node
        Cur = end;
    }

    // The flattened curve stays inside the box of its four points: a point beyond that box
    // (by more than the tolerance) can neither touch it nor, above or below it, cross it.
    bool CannotMatter(const TPoint& c1, const TPoint& c2, const TPoint& end) const
    {
        const int64_t d = std::max(P.Delta, 0);
        const int64_t y = P.HitPoint.y;
        const int64_t minY = std::min({Cur.y, c1.y, c2.y, end.y});
        const int64_t maxY = std::max({Cur.y, c1.y, c2.y, end.y});
        if (y < minY - d || y > maxY + d)
            return true;
        if (P.Crossings)
            return false;
        const int64_t x = P.HitPoint.x;
        return x < int64_t(std::min({Cur.x, c1.x, c2.x, end.x})) - d ||
               x > int64_t(std::max({Cur.x, c1.x, c2.x, end.x})) + d;
    }

    const TPointArray& Pts;
    TPathParams& P;
    TPoint Cur;
    bool Closed = false;
};

}  // namespace

bool IsValidPath(const TPointArray& points, const TPointTypeArray& types)
{
    if (points.size() != types.size() || !TypesKnown(types))
        return false;
    TPathInfo info;
    CalcPathInfo(points, types, info);
    for (const TPathFigureInfo& fig : info.Figures) {
        if (fig.LastNode < 0)
            continue;
        if (!fig.IsClosed && fig.LastPoint != fig.LastNode)
            return false;  // only a closed figure may end with a curve back to its start
        const int last = fig.IsClosed ? fig.LastNode : fig.LastNode - 1;
        for (int i = fig.FirstNode; i <= last;) {
            Segment seg;
            if (!SegmentAt(types, fig, i, seg))
                return false;
            i = seg.Next;
        }
    }
    return true;
}

bool ProcessPath(const TPointArray& points, const TPointTypeArray& types, TPathParams& params)
{
    if (points.size() != types.size() || !TypesKnown(types))
        return false;
    if (points.empty() || (!params.ProcessClosed && !params.ProcessOpen))
        return true;
    std::unique_ptr<TPathInfo> own;
    const TPathInfo* info = params.Info;
    if (!info || info->PointCount != int(points.size())) {
        own = std::make_unique<TPathInfo>();
        CalcPathInfo(points, types, *own);
        info = own.get();
    }
    Walker w(points, params);
    for (const TPathFigureInfo& fig : info->Figures) {
        if ((fig.IsClosed && !params.ProcessClosed) || (!fig.IsClosed && !params.ProcessOpen)) {
            params.Complete = false;
            continue;
        }
        w.Closed = fig.IsClosed;
        w.Cur = points[std::size_t(fig.FirstNode)];
        switch (params.Mode) {
        case TPathMode::Flatten:
            params.List->Add(w.Cur.x, w.Cur.y, 0);
            break;
        case TPathMode::Bounds:
            w.Line(w.Cur, false, 0, 1);
            break;
        case TPathMode::DrawPath:
            params.Sink->MoveTo(w.Cur);
            break;
        case TPathMode::HitTest:
            break;
        }
        const int last = fig.IsClosed ? fig.LastNode : fig.LastNode - 1;
        for (int i = fig.FirstNode; i <= last;) {
            Segment seg;
            if (!SegmentAt(types, fig, i, seg))
                return false;
            if (params.Hit) {
                params.Hit->SegFirst = i;
                params.Hit->SegLast = seg.End;
            }
            const TPoint& end = points[std::size_t(seg.End)];
            if (seg.Curve)
                w.Curve(points[std::size_t(i) + 1], points[std::size_t(i) + 2], end);
            else
                w.Line(end, false, 0, 1);
            if (w.StopEarly())
                return true;
            i = seg.Next;
        }
        if (params.Mode == TPathMode::Flatten) {
            TPointList& list = *params.List;
            if (fig.IsClosed) {
                if (list.Count() > 1)
                    list.Delete(list.Count() - 1);
                list[list.Count() - 1].Type = ptClosedEnd;
            } else {
                list[list.Count() - 1].Type = ptOpenEnd;
            }
        } else if (params.Mode == TPathMode::DrawPath && fig.IsClosed) {
            params.Sink->CloseFigure();
        }
    }
    return true;
}

bool FlattenPath(TPointArray& points, TPointTypeArray& types, const TPathInfo* info, float precision)
{
    TPointList list(32);
    TPathParams params;
    params.Mode = TPathMode::Flatten;
    params.Info = info;
    params.Precision = precision;
    params.List = &list;
    if (!ProcessPath(points, types, params))
        return false;
    points.resize(std::size_t(list.Count()));
    types.resize(std::size_t(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        points[std::size_t(i)] = TPoint(list[i].X, list[i].Y);
        types[std::size_t(i)] = list[i].Type;
    }
    return true;
}

bool GetPathBounds(const TPointArray& points, const TPointTypeArray& types, TRect& rect, const TPathInfo* info)
{
    rect = TRect();
    if (points.empty() || points.size() != types.size())
        return false;
    TRect r(points[0].x, points[0].y, points[0].x, points[0].y);
    TPathParams params;
    params.Mode = TPathMode::Bounds;
    params.Info = info;
    params.Bounds = &r;
    if (!ProcessPath(points, types, params))
        return false;
    rect = r;
    return true;
}

bool CreatePath(TPathSink& sink, const TPointArray& points, const TPointTypeArray& types, bool processClosed,
                bool processOpen, bool& complete, bool nativeBezier, const TPathInfo* info)
{
    TPathParams params;
    params.Mode = TPathMode::DrawPath;
    params.Sink = &sink;
    params.ProcessClosed = processClosed;
    params.ProcessOpen = processOpen;
    params.NativeBezier = nativeBezier;
    params.Info = info;
    params.Complete = true;
    const bool ok = ProcessPath(points, types, params);
    complete = ok && params.Complete;
    return ok;
}

bool PointOnLine(const TPoint& p, const TPoint& a, const TPoint& b, THitRecord* hit, std::vector<int>* crossings,
                 int delta)
{
    // Always inside the segment's box (widened by delta), so points on its extension never hit.
    const int64_t d64 = std::max(delta, 0);
    const bool candidate = p.x >= int64_t(std::min(a.x, b.x)) - d64 && p.x <= int64_t(std::max(a.x, b.x)) + d64 &&
                           p.y >= int64_t(std::min(a.y, b.y)) - d64 && p.y <= int64_t(std::max(a.y, b.y)) + d64;
    bool on = false;
    if (candidate || hit) {
        const int64_t dx = int64_t(b.x) - a.x;
        const int64_t dy = int64_t(b.y) - a.y;
        const int64_t apx = int64_t(p.x) - a.x;
        const int64_t apy = int64_t(p.y) - a.y;
        const int64_t bpx = int64_t(p.x) - b.x;
        const int64_t bpy = int64_t(p.y) - b.y;
        const double c = double(dx) * double(dx) + double(dy) * double(dy);
        const double da = double(apx) * double(apx) + double(apy) * double(apy);
        const double db = double(bpx) * double(bpx) + double(bpy) * double(bpy);
        double d;
        if (c >= 1) {
            const __int128 cross = __int128(dx) * apy - __int128(dy) * apx;
            d = double(cross) * double(cross) / c;
            on = candidate && d <= double(d64) * double(d64);
        } else {
            d = da;
            on = candidate && std::llabs(apx) <= d64 && std::llabs(apy) <= d64;
        }
        if (hit) {
            hit->Improved = false;
            if (!(hit->Index >= 0 && double(hit->DistSq) < d)) {
                const double t = c > 0 ? (da - db + c) / (2 * c) : 0.0;
                const int64_t qx = a.x + std::llround(double(dx) * t);
                const int64_t qy = a.y + std::llround(double(dy) * t);
                int64_t nx;
                int64_t ny;
                double dist;
                int index;
                if (qx >= std::min(a.x, b.x) && qx <= std::max(a.x, b.x) && qy >= std::min(a.y, b.y) &&
                    qy <= std::max(a.y, b.y)) {
                    nx = qx;
                    ny = qy;
                    dist = d;
                    index = hit->SegFirst;
                } else if (da >= db) {
                    nx = b.x;
                    ny = b.y;
                    dist = db;
                    index = hit->SegLast;
                } else {
                    nx = a.x;
                    ny = a.y;
                    dist = da;
                    index = hit->SegFirst;
                }
                if (hit->Index < 0 || !(hit->DistSq < float(dist))) {
                    hit->NearX = int(nx);
                    hit->NearY = int(ny);
                    hit->Index = index;
                    hit->DistSq = float(dist);
                    hit->Improved = true;
                }
            }
        }
    }
    if (crossings && a.y != b.y && p.y >= std::min(a.y, b.y) && p.y < std::max(a.y, b.y)) {
        const int64_t x = a.x + (int64_t(b.x) - a.x) * (int64_t(p.y) - a.y) / (int64_t(b.y) - a.y);
        const int xi = ClampToInt(x);
        crossings->insert(std::upper_bound(crossings->begin(), crossings->end(), xi), xi);
    }
    return on;
}

bool PointOnPath(const TPointArray& points, const TPointTypeArray& types, const TPoint& p, const TPathInfo* info,
                 THitRecord* hit, int delta, bool checkInside, bool checkStroke)
{
    if (hit)
        *hit = THitRecord{};
    std::vector<int> crossings;
    if (checkInside)
        crossings.reserve(64);
    if (!checkStroke)
        delta = 0;
    TPathParams params;
    params.Mode = TPathMode::HitTest;
    params.Info = info;
    params.ProcessClosed = checkInside || checkStroke;
    params.ProcessOpen = checkStroke;
    params.HitPoint = p;
    params.Delta = delta;
    params.Crossings = checkInside ? &crossings : nullptr;
    params.Hit = hit;
    if (!ProcessPath(points, types, params))
        return false;
    if (params.Found)
        return true;
    if (!checkInside)
        return false;
    const int i = ListScanLess(p.x, crossings.data(), int(crossings.size()));
    if (i >= int(crossings.size()))
        return false;
    if (i % 2 == 1)
        return true;
    return crossings[std::size_t(i)] == p.x;
}

bool FindPathSegment(const TPointArray& points, const TPointTypeArray& types, const TPoint& p,
                     const TPathInfo* info, THitRecord* hit, int& nodeIndex, int& endIndex)
{
    THitRecord own;
    THitRecord* h = hit ? hit : &own;
    TPathInfo ownInfo;
    if (!info || info->PointCount != int(points.size())) {
        CalcPathInfo(points, types, ownInfo);
        info = &ownInfo;
    }
    if (!IsValidPath(points, types))
        return false;
    PointOnPath(points, types, p, info, h, 0, false, true);
    if (h->Index < 0)
        return false;
    const int f = FindFigure(*info, h->Index);
    if (f < 0)
        return false;
    const TPathFigureInfo& fig = info->Figures[std::size_t(f)];
    const int index = h->Index;
    nodeIndex = index;
    if (!fig.IsClosed && index == fig.LastNode)
        endIndex = index >= fig.LastPoint ? index + 1 : index + 3;
    else if (!fig.IsClosed && index == fig.FirstNode && h->NearX == points[std::size_t(index)].x &&
             h->NearY == points[std::size_t(index)].y)
        endIndex = index - 1;
    else if (fig.IsClosed && index == fig.LastNode)
        endIndex = fig.FirstNode;
    else
        endIndex = index + 1 < int(types.size()) && types[std::size_t(index) + 1] == ptControl ? index + 3 : index + 1;
    return true;
}

namespace {
struct DPoint {
    double x;
    double y;
};
DPoint Lerp(const DPoint& a, const DPoint& b, double t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}
TPoint ToPoint(const DPoint& p)
{
    return TPoint(ClampToInt(std::llround(p.x)), ClampToInt(std::llround(p.y)));
}
DPoint ToD(const TPoint& p)
{
    return {double(p.x), double(p.y)};
}
}  // namespace

int InsertPathPoint(TPointArray& points, TPointTypeArray& types, int segmentIndex, const TPathInfo* info, int delta,
                    const TPoint& p, int endIndex)
{
    (void)delta;  // the nearest point on the segment is taken whatever its distance
    if (!IsValidPath(points, types))
        return -1;
    TPathInfo ownInfo;
    if (!info || info->PointCount != int(points.size())) {
        CalcPathInfo(points, types, ownInfo);
        info = &ownInfo;
    }
    const int n = int(points.size());
    if (segmentIndex < 0 || segmentIndex >= n || types[std::size_t(segmentIndex)] == ptControl)
        return -1;
    const int f = FindFigure(*info, segmentIndex);
    if (f < 0)
        return -1;
    const TPathFigureInfo fig = info->Figures[std::size_t(f)];
    if (fig.LastNode < 0)
        return -1;
    const std::size_t s = std::size_t(segmentIndex);
    // extending an open figure past one of its ends
    if (!fig.IsClosed && segmentIndex == fig.LastNode && endIndex == segmentIndex + 1) {
        ChangePathCount(points, types, segmentIndex + 1, 1);
        points[s + 1] = p;
        types[s] = ptNode;
        types[s + 1] = ptOpenEnd;
        return segmentIndex + 1;
    }
    if (!fig.IsClosed && segmentIndex == fig.FirstNode && endIndex == segmentIndex - 1) {
        ChangePathCount(points, types, segmentIndex, 1);
        points[s] = p;
        types[s] = ptNode;
        return segmentIndex;
    }
    if (segmentIndex > fig.LastNode || (!fig.IsClosed && segmentIndex == fig.LastNode))
        return -1;
    Segment seg;
    if (!SegmentAt(types, fig, segmentIndex, seg) || seg.End != endIndex)
        return -1;
    const bool closing = types[s] == ptClosedEnd;
    if (!seg.Curve) {
        THitRecord hit;
        hit.SegFirst = segmentIndex;
        hit.SegLast = endIndex;
        PointOnLine(p, points[s], points[std::size_t(endIndex)], &hit, nullptr, 0);
        ChangePathCount(points, types, segmentIndex + 1, 1);
        points[s + 1] = TPoint(hit.NearX, hit.NearY);
        types[s + 1] = closing ? ptClosedEnd : ptNode;
        if (closing)
            types[s] = ptNode;
        return segmentIndex + 1;
    }
    // curve: split at the parameter of the nearest point
    const TPointArray piece = {points[s], points[s + 1], points[s + 2], points[std::size_t(endIndex)]};
    const TPointTypeArray pieceTypes = {ptNode, ptControl, ptControl, ptOpenEnd};
    THitRecord hit;
    PointOnPath(piece, pieceTypes, p, nullptr, &hit, 0, false, true);
    const double t = std::clamp(double(hit.CurveT), 0.0, 1.0);
    const DPoint p0 = ToD(piece[0]);
    const DPoint p1 = ToD(piece[1]);
    const DPoint p2 = ToD(piece[2]);
    const DPoint p3 = ToD(piece[3]);
    const DPoint a = Lerp(p0, p1, t);
    const DPoint b = Lerp(p1, p2, t);
    const DPoint c = Lerp(p2, p3, t);
    const DPoint ab = Lerp(a, b, t);
    const DPoint bc = Lerp(b, c, t);
    const DPoint m = Lerp(ab, bc, t);
    ChangePathCount(points, types, segmentIndex + 1, 3);
    const TPoint news[5] = {ToPoint(a), ToPoint(ab), ToPoint(m), ToPoint(bc), ToPoint(c)};
    for (int k = 0; k < 5; ++k) {
        points[s + 1 + std::size_t(k)] = news[k];
        types[s + 1 + std::size_t(k)] = ptControl;
    }
    types[s + 3] = closing ? ptClosedEnd : ptNode;
    if (closing)
        types[s] = ptNode;
    return segmentIndex + 3;
}

int InsertNearestPathPoint(TPointArray& points, TPointTypeArray& types, const TPoint& p, const TPathInfo* info,
                           int delta)
{
    int node = -1;
    int end = -1;
    if (!FindPathSegment(points, types, p, info, nullptr, node, end))
        return -1;
    return InsertPathPoint(points, types, node, nullptr, delta, p, end);
}

// ---------------------------------------------------------------- editing

namespace {

// A figure as nodes, each with the segment that leaves it; editing is done on this form and
// written back, so inserted and removed points never shift a selection by hand.
struct ENode {
    TPoint P;
    bool Sel = false;
    bool Curve = false;  // the segment after this node is a curve
    TPoint C1, C2;
    bool C1Sel = false;
    bool C2Sel = false;
};
struct EFigure {
    bool Closed = false;
    std::vector<ENode> Nodes;
};

bool ParseFigures(const TPointArray& points, const TPointTypeArray& types, const std::vector<bool>& selected,
                  std::vector<EFigure>& figures)
{
    if (!IsValidPath(points, types) || selected.size() != points.size())
        return false;
    TPathInfo info;
    CalcPathInfo(points, types, info);
    for (const TPathFigureInfo& fig : info.Figures) {
        if (fig.LastNode < 0)
            return false;
        EFigure ef;
        ef.Closed = fig.IsClosed;
        for (int i = fig.FirstNode; i <= fig.LastNode;) {
            ENode node;
            node.P = points[std::size_t(i)];
            node.Sel = selected[std::size_t(i)];
            const bool hasSeg = i < fig.LastNode || fig.IsClosed;
            if (hasSeg && i + 1 <= fig.LastPoint && types[std::size_t(i) + 1] == ptControl) {
                node.Curve = true;
                node.C1 = points[std::size_t(i) + 1];
                node.C2 = points[std::size_t(i) + 2];
                node.C1Sel = selected[std::size_t(i) + 1];
                node.C2Sel = selected[std::size_t(i) + 2];
                i += 3;
            } else {
                i += 1;
            }
            ef.Nodes.push_back(node);
        }
        figures.push_back(std::move(ef));
    }
    return true;
}

void WriteFigures(const std::vector<EFigure>& figures, TPointArray& points, TPointTypeArray& types)
{
    points.clear();
    types.clear();
    for (const EFigure& fig : figures) {
        const std::size_t m = fig.Nodes.size();
        for (std::size_t k = 0; k < m; ++k) {
            const ENode& node = fig.Nodes[k];
            points.push_back(node.P);
            types.push_back(k + 1 < m ? ptNode : (fig.Closed ? ptClosedEnd : ptOpenEnd));
            if (node.Curve && (fig.Closed || k + 1 < m)) {
                points.push_back(node.C1);
                points.push_back(node.C2);
                types.push_back(ptControl);
                types.push_back(ptControl);
            }
        }
    }
}

void ReverseFigure(EFigure& fig)
{
    // only open figures are reversed: segment k (node k -> k+1) becomes the segment that leaves node k+1
    const std::size_t m = fig.Nodes.size();
    std::vector<ENode> rev(m);
    for (std::size_t k = 0; k < m; ++k) {
        rev[k] = fig.Nodes[m - 1 - k];
        rev[k].Curve = false;
        rev[k].C1Sel = rev[k].C2Sel = false;
    }
    for (std::size_t k = 0; k + 1 < m; ++k) {
        const ENode& src = fig.Nodes[m - 2 - k];  // segment from src to the node reversed at position k
        rev[k].Curve = src.Curve;
        rev[k].C1 = src.C2;
        rev[k].C2 = src.C1;
        rev[k].C1Sel = src.C2Sel;
        rev[k].C2Sel = src.C1Sel;
    }
    fig.Nodes = std::move(rev);
}

TPoint Midpoint(const TPoint& a, const TPoint& b)
{
    return TPoint(ClampToInt((int64_t(a.x) + b.x) / 2), ClampToInt((int64_t(a.y) + b.y) / 2));
}

TPoint Offset(const TPoint& p, const TPathMove& move)
{
    return TPoint(ClampToInt(int64_t(p.x) + move.dX), ClampToInt(int64_t(p.y) + move.dY));
}

// The selected open-figure ends as (figure, is-first-node), in path order.
struct EndRef {
    std::size_t Figure;
    bool First;
};

}  // namespace

unsigned GetPathEditFlags(const TPointArray& points, const TPointTypeArray& types, const std::vector<bool>& selected)
{
    if (points.size() != types.size() || selected.size() != points.size())
        return 0;
    unsigned flags = 0;
    const int n = int(points.size());
    int selectedNodes = 0;
    for (int i = 0; i < n; ++i) {
        if (!selected[std::size_t(i)])
            continue;
        flags |= pefSelected;
        const uint8_t t = types[std::size_t(i)];
        if (t == ptControl)
            return pefSelected;
        ++selectedNodes;
        if (i + 1 < n && types[std::size_t(i) + 1] == ptControl)
            flags |= pefToLine;
        else
            flags |= pefToCurve;
        if (t == ptNode)
            flags |= pefBreak;
    }
    if (selectedNodes == 2 && IsValidPath(points, types)) {
        TPathInfo info;
        CalcPathInfo(points, types, info);
        std::vector<int> ends;
        for (int i = 0; i < n; ++i)
            if (selected[std::size_t(i)])
                ends.push_back(i);
        auto isOpenEnd = [&](int idx) {
            const int f = FindFigure(info, idx);
            if (f < 0)
                return false;
            const TPathFigureInfo& fig = info.Figures[std::size_t(f)];
            return !fig.IsClosed && fig.LastNode > fig.FirstNode && (idx == fig.FirstNode || idx == fig.LastNode);
        };
        if (isOpenEnd(ends[0]) && isOpenEnd(ends[1]))
            flags |= pefJoin | pefConnect;
    }
    return flags;
}

bool EditPathPoints(TPointArray& points, TPointTypeArray& types, const std::vector<bool>& selected, TPathEditOp op,
                    const TPathMove& move)
{
    if (op < peMove || op > peToCurve)
        return false;
    if (!(GetPathEditFlags(points, types, selected) & (1u << unsigned(op))))
        return false;
    std::vector<EFigure> figs;
    if (!ParseFigures(points, types, selected, figs))
        return false;

    switch (op) {
    case peMove:
        for (EFigure& fig : figs) {
            const std::size_t m = fig.Nodes.size();
            for (std::size_t k = 0; k < m; ++k) {
                ENode& node = fig.Nodes[k];
                const bool nextSel = fig.Nodes[(k + 1) % m].Sel;
                if (node.Curve) {
                    if (node.C1Sel || (move.ControlsFollow && node.Sel))
                        node.C1 = Offset(node.C1, move);
                    if (node.C2Sel || (move.ControlsFollow && nextSel))
                        node.C2 = Offset(node.C2, move);
                }
            }
            for (ENode& node : fig.Nodes)
                if (node.Sel)
                    node.P = Offset(node.P, move);
        }
        break;

    case peJoin:
    case peConnect: {
        std::vector<EndRef> ends;
        for (std::size_t f = 0; f < figs.size(); ++f) {
            const EFigure& fig = figs[f];
            if (fig.Closed)
                continue;
            if (fig.Nodes.front().Sel)
                ends.push_back({f, true});
            if (fig.Nodes.size() > 1 && fig.Nodes.back().Sel)
                ends.push_back({f, false});
        }
        if (ends.size() != 2)
            return false;
        if (ends[0].Figure == ends[1].Figure) {
            EFigure& fig = figs[ends[0].Figure];
            if (op == peJoin) {
                if (fig.Nodes.size() < 3)
                    return false;
                fig.Nodes.front().P = Midpoint(fig.Nodes.front().P, fig.Nodes.back().P);
                fig.Nodes.pop_back();  // the segment into the old last node now closes the figure
            } else {
                fig.Nodes.back().Curve = false;
            }
            fig.Closed = true;
        } else {
            EFigure& a = figs[ends[0].Figure];
            EFigure b = figs[ends[1].Figure];
            if (ends[0].First)
                ReverseFigure(a);
            if (!ends[1].First)
                ReverseFigure(b);
            ENode& joint = a.Nodes.back();
            if (op == peJoin) {
                joint.P = Midpoint(joint.P, b.Nodes.front().P);
                joint.Curve = b.Nodes.front().Curve;
                joint.C1 = b.Nodes.front().C1;
                joint.C2 = b.Nodes.front().C2;
                a.Nodes.insert(a.Nodes.end(), b.Nodes.begin() + 1, b.Nodes.end());
            } else {
                joint.Curve = false;
                a.Nodes.insert(a.Nodes.end(), b.Nodes.begin(), b.Nodes.end());
            }
            figs.erase(figs.begin() + long(ends[1].Figure));
        }
        break;
    }

    case peBreak: {
        std::vector<EFigure> out;
        for (EFigure& fig : figs) {
            const std::size_t m = fig.Nodes.size();
            std::vector<std::size_t> breaks;
            for (std::size_t k = 0; k < m; ++k) {
                // type-0 nodes only; the first node of an open figure has nothing before it to end
                const bool inner = fig.Closed ? k + 1 < m : (k > 0 && k + 1 < m);
                if (fig.Nodes[k].Sel && inner)
                    breaks.push_back(k);
            }
            if (breaks.empty()) {
                out.push_back(std::move(fig));
                continue;
            }
            std::vector<ENode> seq;
            if (fig.Closed) {
                // open the ring at the first break: it starts there and ends with a copy of it
                const std::size_t b0 = breaks.front();
                for (std::size_t k = 0; k < m; ++k)
                    seq.push_back(fig.Nodes[(b0 + k) % m]);
                seq.push_back(fig.Nodes[b0]);
                seq.back().Curve = false;
                for (std::size_t& b : breaks)
                    b = (b + m - b0) % m;
                breaks.erase(breaks.begin());
            } else {
                seq = fig.Nodes;
            }
            std::size_t start = 0;
            for (std::size_t b : breaks) {
                EFigure part;
                part.Nodes.assign(seq.begin() + long(start), seq.begin() + long(b) + 1);
                part.Nodes.back().Curve = false;
                out.push_back(std::move(part));
                start = b;
            }
            EFigure tail;
            tail.Nodes.assign(seq.begin() + long(start), seq.end());
            out.push_back(std::move(tail));
        }
        figs = std::move(out);
        break;
    }

    case peToLine:
        for (EFigure& fig : figs)
            for (ENode& node : fig.Nodes)
                if (node.Sel && node.Curve)
                    node.Curve = false;
        break;

    case peToCurve:
        for (EFigure& fig : figs) {
            const std::size_t m = fig.Nodes.size();
            for (std::size_t k = 0; k < m; ++k) {
                ENode& node = fig.Nodes[k];
                if (!node.Sel || node.Curve || (!fig.Closed && k + 1 == m))
                    continue;
                const TPoint p = node.P;
                const TPoint q = fig.Nodes[(k + 1) % m].P;
                const int64_t dx = int64_t(q.x) - p.x;
                const int64_t dy = int64_t(q.y) - p.y;
                node.Curve = true;
                node.C1 = TPoint(ClampToInt(p.x + dx / 3), ClampToInt(p.y + dy / 3));
                node.C2 = TPoint(ClampToInt(q.x - dx / 3), ClampToInt(q.y - dy / 3));
            }
        }
        break;
    }
    WriteFigures(figs, points, types);
    return true;
}

// ---------------------------------------------------------------- binary form

QByteArray PathPointsToBytes(const TPointArray& points, const TPointTypeArray& types)
{
    const int n = int(std::min(points.size(), types.size()));
    QByteArray out;
    out.reserve(4 + 9 * qsizetype(n));
    auto put32 = [&out](int32_t v) {
        const uint32_t u = uint32_t(v);
        const char b[4] = {char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char(u >> 24)};
        out.append(b, 4);
    };
    put32(n);
    for (int i = 0; i < n; ++i) {
        put32(points[std::size_t(i)].x);
        put32(points[std::size_t(i)].y);
    }
    for (int i = 0; i < n; ++i)
        out.append(char(types[std::size_t(i)]));
    return out;
}

bool PathPointsFromBytes(const QByteArray& bytes, TPointArray& points, TPointTypeArray& types)
{
    if (bytes.size() < 4)
        return false;
    auto get32 = [&bytes](qsizetype at) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData()) + at;
        return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
    };
    const int32_t n = get32(0);
    if (n < 0 || int64_t(n) * 9 + 4 != int64_t(bytes.size()))
        return false;
    TPointArray pts(static_cast<std::size_t>(n));
    TPointTypeArray tps(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        pts[std::size_t(i)] = TPoint(get32(4 + 8 * qsizetype(i)), get32(8 + 8 * qsizetype(i)));
    std::memcpy(tps.data(), bytes.constData() + 4 + 8 * qsizetype(n), std::size_t(n));
    if (!IsValidPath(pts, tps))
        return false;
    points = std::move(pts);
    types = std::move(tps);
    return true;
}
