#include "scheme/drawcaps.h"

#include "platform/canvas.h"
#include "scheme/drawutils.h"

#include <cmath>

bool GetLineCapInfo(int style, TLineCapMetrics& m, int size)
{
    const int s = size;
    const int h = s / 2;
    const int q = s / 4;
    m.Size = s;
    switch (style) {
    case -18: case -13: case -12: case -11: case -10: case -9:
        m.Indent = s;
        m.Bounds = TRect(-s, -h, 0, h);
        return true;
    case -17: case -15: case -14:
        m.Indent = h;
        m.Bounds = TRect(-h, -h, h, h);
        return true;
    case -16:
        m.Indent = q;
        m.Bounds = TRect(-q, -q, q, q);
        return true;
    case -8:
        m.Indent = 0;
        m.Bounds = TRect(-h, -h, s, h);
        return true;
    case -7:
        m.Indent = 0;
        m.Bounds = TRect(0, -h, s, h);
        return true;
    case -6:
        m.Indent = 0;
        m.Bounds = TRect(ClampToInt(int64_t(-h) - s), -h, 0, h);
        return true;
    case -5: case -2:
        m.Indent = 0;
        m.Bounds = TRect(-s, -h, 0, h);
        return true;
    case -4:
        m.Indent = 0;
        m.Bounds = TRect(-h, -h, h, h);
        return true;
    case -3:
        m.Indent = 0;
        m.Bounds = TRect(0, -h, h, h);
        return true;
    case -1:
        m.Indent = 0;
        m.Bounds = TRect(-h, -h, 0, h);
        return true;
    default:
        m = TLineCapMetrics{};
        return false;
    }
}

namespace {

int Round(double v)
{
    return ClampToInt(int64_t(RoundHalfEven(v)));
}

TPoint Perp(const TPoint& u)
{
    return TPoint(u.y, -u.x);
}

TPoint Half(const TPoint& p)
{
    return TPoint(p.x / 2, p.y / 2);
}


struct Builder {
    TPoint E;
    TPoint P;
    TPointArray& Pts;
    TPointTypeArray& Types;

    // The point at distance d from E towards P (negative: beyond E).
    TPoint Back(double d) const
    {
        const double dx = double(E.x) - P.x;
        const double dy = double(E.y) - P.y;
        const double len = std::sqrt(dx * dx + dy * dy);
        if (len == 0)
            return E;
        return TPoint(Round(E.x - dx * d / len), Round(E.y - dy * d / len));
    }
    void Add2(const TPoint& a, const TPoint& b)
    {
        Pts.push_back(a);
        Pts.push_back(b);
        Types.push_back(ptNode);
        Types.push_back(ptOpenEnd);
    }
    void OpenHead(const TPoint& c, const TPoint& b, bool narrow)
    {
        TPoint p = Perp(SatSub(b, c));
        if (narrow)
            p = Half(p);
        Add2(b, SatAdd(c, p));
        Add2(b, SatSub(c, p));
    }
    void FilledHead(const TPoint& c, const TPoint& b, bool narrow)
    {
        TPoint p = Perp(SatSub(b, c));
        if (narrow)
            p = Half(p);
        Closed({b, SatAdd(c, p), SatSub(c, p)});
    }
    void Closed(std::initializer_list<TPoint> pts)
    {
        for (const TPoint& p : pts) {
            Pts.push_back(p);
            Types.push_back(ptNode);
        }
        Types.back() = ptClosedEnd;
    }
};

TPoint Scaled(const TPoint& v, double k)
{
    return TPoint(Round(v.x * k), Round(v.y * k));
}

}  // namespace

bool BuildLineCap(int style, TLineCapData& data, const TPoint& endPoint, const TPoint& prevPoint, int size)
{
    data.Points.clear();
    data.Types.clear();
    if (!GetLineCapInfo(style, data, size))
        return false;
    const double s = size;
    Builder b{endPoint, prevPoint, data.Points, data.Types};
    const TPoint& E = endPoint;
    TPoint c1, c2, c3;
    switch (style) {
    case -1:
        c1 = b.Back(s / 2);
        b.OpenHead(c1, E, false);
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    case -2:
        c1 = b.Back(s / 2);
        c2 = b.Back(s);
        b.OpenHead(c1, E, false);
        b.OpenHead(c2, c1, false);
        data.CapStart = c2;
        data.CapEnd = E;
        break;
    case -3:
        c1 = b.Back(-s / 2);
        b.OpenHead(c1, E, false);
        data.CapStart = E;
        data.CapEnd = c1;
        break;
    case -4:
        c1 = b.Back(-s / 2);
        c2 = b.Back(s / 2);
        b.OpenHead(c1, E, false);
        b.OpenHead(E, c2, false);
        data.CapStart = c2;
        data.CapEnd = E;
        break;
    case -5:
        c1 = b.Back(s);
        b.OpenHead(c1, E, true);
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    case -6:
        c1 = b.Back(s);
        c2 = b.Back(0.7 * s);
        c3 = b.Back(1.7 * s);
        b.OpenHead(c1, E, true);
        b.OpenHead(c3, c2, true);
        data.CapStart = c3;
        data.CapEnd = E;
        break;
    case -7:
        c1 = b.Back(-s);
        b.OpenHead(c1, E, true);
        data.CapStart = E;
        data.CapEnd = c1;
        break;
    case -8:
        c1 = b.Back(-s);
        c2 = b.Back(-0.7 * s);
        c3 = b.Back(-1.7 * s);
        b.OpenHead(c1, E, true);
        b.OpenHead(c3, c2, true);
        data.CapStart = E;
        data.CapEnd = c3;
        break;
    case -9: {
        c1 = b.Back(s);
        c2 = b.Back(s - 0.0731 * s);
        c3 = b.Back(s - 0.1144 * s);
        auto arm = [&](const TPoint& c, double k) {
            const TPoint u = SatSub(E, c);
            const double len = std::sqrt(double(u.x) * u.x + double(u.y) * u.y);
            return len == 0 ? TPoint() : Scaled(Perp(u), k * s / len);
        };
        const TPoint d2 = arm(c2, 0.4);
        const TPoint d3 = arm(c3, 0.1875);
        const TPoint p1 = Half(Perp(SatSub(E, c1)));
        data.Points = {E, SatAdd(c1, p1), SatAdd(c2, d2), SatAdd(c3, d3), c3, SatSub(c3, d3), SatSub(c2, d2), SatSub(c1, p1)};
        data.Types = {ptNode, ptNode, ptControl, ptControl, ptNode, ptControl, ptControl, ptClosedEnd};
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    }
    case -10:
        c1 = b.Back(s);
        b.FilledHead(c1, E, true);
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    case -11:
        c1 = b.Back(s / 2);
        c2 = b.Back(s);
        b.FilledHead(c1, E, false);
        b.FilledHead(c2, c1, false);
        data.CapStart = c2;
        data.CapEnd = E;
        break;
    case -12:
        c1 = b.Back(s);
        b.FilledHead(E, c1, true);
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    case -13:
        c1 = b.Back(s / 2);
        c2 = b.Back(s);
        b.FilledHead(E, c1, false);
        b.FilledHead(c1, c2, false);
        data.CapStart = c2;
        data.CapEnd = E;
        break;
    case -14: {
        c1 = b.Back(s / 2);
        const TPoint u = SatSub(E, c1);
        const TPoint p = Perp(u);
        const TPoint u2 = SatAdd(u, u);
        b.Closed({SatAdd(c1, p), SatAdd(SatAdd(c1, p), u2), SatAdd(SatSub(c1, p), u2), SatSub(c1, p)});
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    }
    case -15:
    case -16: {
        const double r = style == -15 ? s / 2 : s / 4;
        c1 = b.Back(r);
        const TPoint d = SatSub(c1, E);  // radius towards the line
        const TPoint q = Perp(d);
        const double k = 0.55228474983;
        const TPoint kd = Scaled(d, k);
        const TPoint kq = Scaled(q, k);
        const TPoint n0 = SatAdd(E, d);
        const TPoint n1 = SatAdd(E, q);
        const TPoint n2 = SatSub(E, d);
        const TPoint n3 = SatSub(E, q);
        data.Points = {n0, SatAdd(n0, kq), SatAdd(n1, kd), n1, SatSub(n1, kd), SatAdd(n2, kq),
                       n2, SatSub(n2, kq), SatSub(n3, kd), n3, SatAdd(n3, kd), SatSub(n0, kq)};
        data.Types = {ptNode, ptControl, ptControl, ptNode, ptControl, ptControl,
                      ptNode, ptControl, ptControl, ptClosedEnd, ptControl, ptControl};
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    }
    case -17: {
        c1 = b.Back(s / 2);
        const TPoint u = SatSub(E, c1);
        const TPoint p = Perp(u);
        b.Closed({c1, SatAdd(E, p), SatAdd(E, u), SatSub(E, p)});
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    }
    case -18: {
        c1 = b.Back(s / 3);
        c2 = b.Back(s / 2);
        const TPoint p = Perp(SatSub(E, c2));
        data.Points = {SatAdd(c1, p), SatAdd(E, p), SatSub(E, p), SatSub(c1, p)};
        data.Types = {ptNode, ptNode, ptNode, ptOpenEnd};
        data.CapStart = c1;
        data.CapEnd = E;
        break;
    }
    default:
        return false;
    }
    return true;
}

void PaintLineCap(TCanvas& canvas, int style, const TPoint& prevPoint, int size, const TPoint& endPoint)
{
    if (style == -15 || style == -16) {
        const int r = style == -15 ? size / 2 : size / 4;
        canvas.Ellipse(endPoint.x - r, endPoint.y - r, endPoint.x + r + 1, endPoint.y + r + 1);
        return;
    }
    TLineCapData data;
    if (!BuildLineCap(style, data, endPoint, prevPoint, size))
        return;
    TCanvasPathSink sink(canvas);
    bool complete = true;
    canvas.BeginPath();
    if (!CreatePath(sink, data.Points, data.Types, true, true, complete, false)) {
        canvas.AbortPath();
        return;
    }
    canvas.EndPath();
    canvas.StrokeAndFillPath();
}

void PaintLineCaps(TCanvas& canvas, int penWidth, const TLineCapInfo& beginCap, const TPathInfo* info,
                   const TPointTypeArray& types, const TPointArray& points, const TLineCapInfo& endCap)
{
    if (beginCap.Style == 0 && endCap.Style == 0)
        return;
    if (!IsValidPath(points, types))
        return;
    TPathInfo ownInfo;
    if (!info || info->PointCount != int(points.size())) {
        CalcPathInfo(points, types, ownInfo);
        info = &ownInfo;
    }
    auto makeBrush = [](const TLineCapInfo& cap) {
        TBrush brush;
        brush.SetColor(cap.FillColor == clNone ? clWhite : cap.FillColor);
        brush.SetStyle(cap.FillColor == clNone ? bsClear : bsSolid);
        return brush;
    };
    auto makePen = [penWidth](const TLineCapInfo& cap) {
        TPen pen;
        pen.SetColor(cap.OutlineColor == clNone ? clBlack : cap.OutlineColor);
        pen.SetStyle(cap.OutlineColor == clNone ? psClear : psInsideFrame);
        pen.SetWidth(penWidth);
        pen.SetMode(pmCopy);
        return pen;
    };
    const TBrush beginBrush = makeBrush(beginCap);
    const TBrush endBrush = makeBrush(endCap);
    const TPen beginPen = makePen(beginCap);
    const TPen endPen = makePen(endCap);
    const TBrush savedBrush = canvas.Brush();
    const TPen savedPen = canvas.Pen();

    for (const TPathFigureInfo& fig : info->Figures) {
        if (fig.IsClosed || fig.LastNode < 0 || fig.LastNode - fig.FirstNode < 1)
            continue;
        if (beginCap.Style != 0) {
            canvas.SetBrush(beginBrush);
            canvas.SetPen(beginPen);
            PaintLineCap(canvas, beginCap.Style, points[std::size_t(fig.FirstNode) + 1], beginCap.Size,
                         points[std::size_t(fig.FirstNode)]);
        }
        if (endCap.Style != 0) {
            canvas.SetBrush(endBrush);
            canvas.SetPen(endPen);
            PaintLineCap(canvas, endCap.Style, points[std::size_t(fig.LastNode) - 1], endCap.Size,
                         points[std::size_t(fig.LastNode)]);
        }
    }
    canvas.SetBrush(savedBrush);
    canvas.SetPen(savedPen);
}
