// The panel side of path point editing: the edited control and its point selection, the
// markers and their region, the insertion guide, handle lines of curve nodes, and the press in
// point editing.
#include "platform/canvas.h"
#include "scheme/drawpanel.h"
#include "scheme/drawpath.h"

#include <QPainterPath>
#include <algorithm>

namespace {

// Collects a path's figures as a QPainterPath (for stroking the guide on the canvas).
class TQtPathSink : public TPathSink {
public:
    void MoveTo(const TPoint& p) override { Path.moveTo(p.x, p.y); }
    void LineTo(const TPoint& p) override { Path.lineTo(p.x, p.y); }
    void BezierTo(const TPoint& c1, const TPoint& c2, const TPoint& e) override
    {
        Path.cubicTo(c1.x, c1.y, c2.x, c2.y, e.x, e.y);
    }
    void CloseFigure() override { Path.closeSubpath(); }
    QPainterPath Path;
};

TRect HandleRect(const TPoint& a, const TPoint& b)
{
    return TRect(std::min(a.x, b.x) - 2, std::min(a.y, b.y) - 2, std::max(a.x, b.x) + 3, std::max(a.y, b.y) + 3);
}

// The control lines shown around a selected curve node, as pairs of point indexes: those of
// the segment from the previous node and those of the segment to the next one.
template <class Fn>
void ForEachControlLine(int prev, int index, int next, Fn fn)
{
    if (prev >= 0) {
        fn(prev, prev + 1);
        fn(prev + 2, index);
    }
    if (next >= 0) {
        fn(index, index + 1);
        fn(index + 2, next);
    }
}

}  // namespace

bool GetPathEditPointGuide(TDrawControl& control, const TPoint& q, int delta, TDrawEditPointGuide& guide)
{
    guide = TDrawEditPointGuide();
    if (control.GetPointCount() <= 0)
        return false;
    THitRecord hit;
    int node = -1;
    int end = -1;
    if (!control.FindNearestPathSegment(q, &hit, node, end) || node < 0)
        return false;
    const TPathInfo* info = control.GetPathInfo();
    if (!info)
        return false;
    const int f = FindFigure(*info, node);
    if (f < 0 || f >= int(info->Figures.size()))
        return false;
    const TPathFigureInfo& fig = info->Figures[std::size_t(f)];
    TPointArray points;
    TPointTypeArray types;
    int inserted;
    if (end < fig.FirstNode || end > fig.LastNode) {
        points = {control.GetPoint(node), q};
        types = {ptNode, ptOpenEnd};
        inserted = 1;
    } else {
        int endIndex;
        if (node < fig.LastPoint && control.GetPointType(node + 1) == ptControl) {
            points = {control.GetPoint(node), control.GetPoint(node + 1), control.GetPoint(node + 2), control.GetPoint(end)};
            types = {ptNode, ptControl, ptControl, ptOpenEnd};
            endIndex = 3;
        } else {
            points = {control.GetPoint(node), control.GetPoint(end)};
            types = {ptNode, ptOpenEnd};
            endIndex = 1;
        }
        inserted = InsertPathPoint(points, types, 0, nullptr, delta, q, endIndex);
        if (inserted < 0 || inserted >= int(points.size()))
            return false;
    }
    guide.Count = int(points.size());
    guide.InsertIndex = inserted;
    guide.Points = points;
    guide.Types = types;
    guide.Selected.assign(points.size(), false);
    guide.Selected[std::size_t(inserted)] = true;
    return true;
}

void TDrawPanel::SetShowEditPointGuide(bool v)
{
    if (v == FShowEditPointGuide)
        return;
    FShowEditPointGuide = v;
    if (!v)
        FEditPointGuide = TDrawEditPointGuide();
    UpdateEditMarkers();
}

void TDrawPanel::SetEditControl(TDrawControl* control)
{
    if (control && control->GetPointCount() == 0)
        control = nullptr;
    if (control == FEditControl)
        return;
    FEditControl = control;
    FEditPointGuide = TDrawEditPointGuide();
    UpdateEditMarkers();
}

TRect TDrawPanel::GetPointMarkerRect(int index) const
{
    if (!FEditControl || index < 0 || index >= FEditControl->GetPointCount())
        return TRect();
    const TRect d = FEditControl->GetDocRect();
    TPoint p = SatAdd(FEditControl->GetPoint(index), d.TopLeft());
    DocToClientPoint(p);
    return TRect(p.x - 2, p.y - 2, p.x + 3, p.y + 3);
}

bool TDrawPanel::IsPointSelected(int index) const
{
    return index >= 0 && index < int(FSelectedPoints.size()) && FSelectedPoints[std::size_t(index)] != 0;
}

void TDrawPanel::SetPointSelected(int index, bool value)
{
    if (!FEditControl || FSelectedPoints.empty() || index < 0 || index >= int(FSelectedPoints.size()))
        return;
    if ((FSelectedPoints[std::size_t(index)] != 0) == value)
        return;
    // A connector has at most one selected point.
    if (value && FEditControl->IsConnectorControl() && FSelectedPointCount != 0)
        return;
    FSelectedPoints[std::size_t(index)] = value ? 1 : 0;
    FSelectedPointCount += value ? 1 : -1;
    const TRect r = GetPointMarkerRect(index);
    if (!r.IsEmpty())
        InvalidateClientRect(r);
    AddControlLinesRgn(nullptr);
    DoNotify(FEditControl, dnPointSelection);
}

int TDrawPanel::LowestSelectedPoint() const
{
    const auto it = std::find_if(FSelectedPoints.begin(), FSelectedPoints.end(), [](uint8_t v) { return v != 0; });
    return it == FSelectedPoints.end() ? -1 : int(it - FSelectedPoints.begin());
}

void TDrawPanel::UnselectAllPoints()
{
    for (int i = 0; i < int(FSelectedPoints.size()); ++i)
        SetPointSelected(i, false);
}

void TDrawPanel::UpdateEditMarkers()
{
    if (FDestroying)
        return;
    InvalidateMarkers();
    if (FEditControl) {
        const int n = FEditControl->GetPointCount();
        if (n != int(FSelectedPoints.size())) {
            FSelectedPoints.assign(std::size_t(std::max(0, n)), 0);
            FSelectedPointCount = 0;
        }
    } else {
        FSelectedPoints.clear();
        FSelectedPointCount = 0;
    }

    std::vector<TRect> markers;
    int candidates = 0;
    if (IsPointEditing()) {
        candidates = FEditControl->GetPointCount();
        for (int i = 0; i < candidates; ++i)
            if (FEditControl->GetPointType(i) != ptControl)
                markers.push_back(GetPointMarkerRect(i));
    } else {
        candidates = int(FSelection.size());
        for (TDrawControl* c : FSelection) {
            if (!c->AnchorEnabled())
                continue;
            const TPoint a = c->GetAnchorPoint();
            markers.push_back(TRect(a.x - 2, a.y - 2, a.x + 3, a.y + 3));
        }
    }
    bool exact = candidates <= 20;
    std::optional<TRegion> rgn;
    if (exact) {
        for (const TRect& m : markers)
            if (!m.IsEmpty())
                rgn = rgn ? rgn->United(TRegion(m)) : TRegion(m);
    } else {
        TRect u;
        bool any = false;
        for (const TRect& m : markers) {
            if (m.IsEmpty())
                continue;
            if (!any) {
                u = m;
                any = true;
            } else {
                UnionRect(u, u, m);
            }
        }
        if (any)
            rgn = TRegion(u);
    }
    if (IsPointEditing()) {
        TRegion extra = rgn ? *rgn : TRegion();
        const bool guide = AddGuideRgn(&extra);
        const bool lines = AddControlLinesRgn(&extra);
        if (guide || lines) {
            exact = false;
            rgn = extra;
        }
    }
    if (exact && FExactMarkers && rgn.has_value() == FEditMarkersRgn.has_value() &&
        (!rgn || *rgn == *FEditMarkersRgn))
        return;
    FExactMarkers = exact;
    if (FEditMarkersRgn)
        for (const TRect& r : FEditMarkersRgn->Rects())
            InvalidateClientRect(r);
    FEditMarkersRgn = rgn;
    if (FEditMarkersRgn)
        for (const TRect& r : FEditMarkersRgn->Rects())
            InvalidateClientRect(r);
}

bool TDrawPanel::AddGuideRgn(TRegion* rgn)
{
    const bool result = FShowEditPointGuide && FEditPointGuide.Count > 0 && FEditControl;
    if (!result)
        return false;
    TRect b;
    if (GetPathBounds(FEditPointGuide.Points, FEditPointGuide.Types, b)) {
        const TPoint tl = FEditControl->LocalToClient(b.TopLeft());
        const TPoint br = FEditControl->LocalToClient(b.BottomRight());
        TRect r(tl, br);
        InflateRect(r, 3, 3);
        if (rgn)
            *rgn = rgn->United(TRegion(r));
        else
            InvalidateClientRect(r);
    }
    return true;
}

bool TDrawPanel::AddControlLinesRgn(TRegion* rgn)
{
    if (FInsertDelete || FSelectedPointCount != 1 || !FEditControl)
        return false;
    const int index = LowestSelectedPoint();
    int prev = -1;
    int next = -1;
    GetCurveNeighbours(index, prev, next);
    const TRect d = FEditControl->GetDocRect();
    const auto client = [&](int i) {
        TPoint p = SatAdd(FEditControl->GetPoint(i), d.TopLeft());
        DocToClientPoint(p);
        return p;
    };
    TRegion built;
    bool result = false;
    ForEachControlLine(prev, index, next, [&](int a, int b) {
        built = built.United(TRegion(HandleRect(client(a), client(b))));
        result = true;
    });
    if (!result)
        return false;
    if (rgn)
        *rgn = rgn->United(built);
    else
        for (const TRect& r : built.Rects())
            InvalidateClientRect(r);
    return true;
}

void TDrawPanel::GetCurveNeighbours(int index, int& prevNode, int& nextNode) const
{
    prevNode = -1;
    nextNode = -1;
    if (!FEditControl)
        return;
    const int n = FEditControl->GetPointCount();
    if (index < 0 || index >= n || FEditControl->GetPointType(index) == ptControl)
        return;
    const TPathInfo* info = FEditControl->GetPathInfo();
    if (!info)
        return;
    const TPathFigureInfo* f = nullptr;
    for (const TPathFigureInfo& fig : info->Figures)
        if (fig.FirstNode <= index && index <= fig.LastNode) {
            f = &fig;
            break;
        }
    if (!f)
        return;
    const bool closingCurve = f->IsClosed && f->LastNode < f->LastPoint;
    if (index != f->FirstNode) {
        if (index - 1 >= 0 && FEditControl->GetPointType(index - 1) == ptControl)
            prevNode = index - 3;
    } else if (closingCurve) {
        prevNode = f->LastNode;
    }
    if (index != f->LastNode) {
        if (index + 1 < n && FEditControl->GetPointType(index + 1) == ptControl)
            nextNode = index + 3;
    } else if (closingCurve) {
        nextNode = f->FirstNode;
    }
}

void TDrawPanel::FindPointAtMouse()
{
    FDragPointIndex = -1;
    if (!FEditControl)
        return;
    const int n = FEditControl->GetPointCount();
    for (int i = 0; i < n; ++i)
        if (PtInRect(GetPointMarkerRect(i), FMousePoint)) {
            FDragPointIndex = i;
            return;
        }
}

bool TDrawPanel::IsOpenFigureEnd() const
{
    if (!FEditControl || FEditControl->IsConnectorControl() || FDragPointIndex < 0)
        return false;
    const TPathInfo* info = FEditControl->GetPathInfo();
    if (!info)
        return false;
    const int f = FindFigure(*info, FDragPointIndex);
    if (f < 0 || f >= int(info->Figures.size()))
        return false;
    const TPathFigureInfo& fig = info->Figures[std::size_t(f)];
    return !fig.IsClosed && (FDragPointIndex == fig.FirstNode || FDragPointIndex == fig.LastNode);
}

void TDrawPanel::CloseFigure(int index)
{
    if (!FEditControl)
        return;
    const TPathInfo* info = FEditControl->GetPathInfo();
    if (!info)
        return;
    const int f = FindFigure(*info, index);
    if (f < 0 || f >= int(info->Figures.size()))
        return;
    const int last = info->Figures[std::size_t(f)].LastNode;
    if (last >= 0 && FEditControl->GetPointType(last) == ptOpenEnd)
        FEditControl->SetPointType(last, ptClosedEnd);
}

bool TDrawPanel::StartPointDrag(TDrawControl* control, int index, int x, int y)
{
    if (!control)
        return false;
    FEditControl = control;
    const TRect d = control->GetDocRect();
    const TPoint p = control->GetPoint(index);
    const TPoint s = SatAdd(p, d.TopLeft());
    FStartPoint = s;
    FGrabOffset = SatSub(TPoint{x, y}, s);
    FDragPointIndex = index;
    if (control->GetPointType(index) != ptControl) {
        // The selection array follows the control once its size is known.
        if (int(FSelectedPoints.size()) != control->GetPointCount()) {
            FSelectedPoints.assign(std::size_t(control->GetPointCount()), 0);
            FSelectedPointCount = 0;
        }
        SelectPoint(index);
    }
    const TPoint start = FStartPoint;
    const TPoint grab = FGrabOffset;
    SetToolMode(tmPointDrag);
    FStartPoint = start;
    FGrabOffset = grab;
    return true;
}

void TDrawPanel::PointEditPress(TShiftState shift)
{
    if (!FEditControl) {
        BeginSelectionUpdate();
        {
            TScopeExit end{[this] { EndSelectionUpdate(); }};
            UnselectAll();
            if (TDrawControl* hit = FindControlAtPoint(FMousePoint.x, FMousePoint.y))
                SelectControl(hit);
        }
        return;
    }
    if (FEditControl->Layer() && !FEditControl->Layer()->GetMoveable())
        return;
    TDrawControl* ec = FEditControl;
    if (FInsertDelete) {
        if (FOverPoint) {
            FindPointAtMouse();
            ec->BeginPointEdit();
            TScopeExit end{[ec] { ec->EndPointEdit(); }};
            if (IsOpenFigureEnd())
                CloseFigure(FDragPointIndex);
            else if (ec->GetNodeCount() > 2 && FDragPointIndex >= 0)
                ec->DeletePoint(FDragPointIndex);
        } else {
            TPoint q;
            if (FEditPointGuide.Count != 0 && FEditPointGuide.InsertIndex >= 0 &&
                FEditPointGuide.InsertIndex < int(FEditPointGuide.Points.size())) {
                q = FEditPointGuide.Points[std::size_t(FEditPointGuide.InsertIndex)];
            } else {
                q = MouseDocPoint();
                if (SnapToGrid()) {
                    TPoint d{0, 0};
                    DoSnapToGrid(0, SnapStyle(), d, TRect(q.x, q.y, q.x, q.y));
                    q = SatAdd(q, d);
                }
                q = SatSub(q, ec->GetDocRect().TopLeft());
            }
            ec->BeginPointEdit();
            TScopeExit end{[ec] { ec->EndPointEdit(); }};
            ec->InsertNearestPoint(q);
        }
        UpdateEditMarkers();
        return;
    }
    FindPointAtMouse();
    if (FDragPointIndex >= 0) {
        if (!IsPointSelected(FDragPointIndex) && ec->GetPointType(FDragPointIndex) != ptControl) {
            if (!(shift & ssShift))
                UnselectAllPoints();
            SelectPoint(FDragPointIndex);
        }
        const TPoint m = MouseDocPoint();
        StartPointDrag(ec, FDragPointIndex, m.x, m.y);
    } else if (!FOverSegment && !FOverCurveSegment) {
        if (!(shift & ssShift))
            UnselectAllPoints();
        SetToolMode(tmPointRubberBand);
    } else {
        SetToolMode(tmSegmentDrag);
    }
}

void TDrawPanel::PaintPointMarker(TCanvas& canvas, const TPointArray& pts, int index)
{
    const TPoint p = pts[std::size_t(index)];
    TRect sq(p.x - 2, p.y - 2, p.x + 3, p.y + 3);
    const bool selected = IsPointSelected(index);
    for (int j = index - 1; j >= 0; --j) {
        if (pts[std::size_t(j)] == p) {
            if (IsPointSelected(j) || !selected)
                return;
            InflateRect(sq, -2, -2);
            break;
        }
    }
    if (selected)
        canvas.InvertRect(sq);
    else
        canvas.Rectangle(sq);
}

void TDrawPanel::PaintSelection(TCanvas& canvas)
{
    const TPenMode savedMode = canvas.Pen().Mode();
    const auto stockPen = [&canvas] {
        canvas.Pen().SetStyle(psSolid);
        canvas.Pen().SetWidth(1);
        canvas.Pen().SetColor(clBlack);
    };
    stockPen();
    canvas.Pen().SetMode(pmNotXor);
    canvas.Brush().SetStyle(bsClear);

    if (!IsPointEditing()) {
        for (TDrawControl* c : FSelection) {
            if (!c->AnchorEnabled())
                continue;
            const TPoint a = c->GetAnchorPoint();
            canvas.Rectangle(a.x - 2, a.y - 2, a.x + 3, a.y + 3);
        }
    } else {
        TDrawControl* ec = FEditControl;
        const TRect pr = ec->GetPixelRect();
        TPointArray pts;
        ec->GetTransformPoints(pr.Left, pr.Top, FScale, pts);
        const int n = int(pts.size());
        if (!FInsertDelete && FSelectedPointCount == 1) {
            const int index = LowestSelectedPoint();
            int prev = -1;
            int next = -1;
            GetCurveNeighbours(index, prev, next);
            const auto line = [&](int a, int b) {
                if (a < 0 || b < 0 || a >= n || b >= n)
                    return;
                canvas.MoveTo(pts[std::size_t(a)].x, pts[std::size_t(a)].y);
                canvas.LineTo(pts[std::size_t(b)].x, pts[std::size_t(b)].y);
            };
            canvas.Pen().SetStyle(psDot);
            canvas.Pen().SetColor(TColor(0xFF0000));
            ForEachControlLine(prev, index, next, line);
            stockPen();
            const auto marker = [&](int i) {
                if (i >= 0 && i < n)
                    PaintPointMarker(canvas, pts, i);
            };
            if (prev >= 0) {
                marker(prev + 1);
                marker(prev + 2);
            }
            if (next >= 0) {
                marker(index + 1);
                marker(index + 2);
            }
        }
        stockPen();
        for (int i = 0; i < n; ++i)
            if (ec->GetPointType(i) != ptControl)
                PaintPointMarker(canvas, pts, i);
        if (FShowEditPointGuide && FEditPointGuide.Count >= 1) {
            FEditPointGuide.ClientPoints.clear();
            for (const TPoint& p : FEditPointGuide.Points)
                FEditPointGuide.ClientPoints.push_back(ec->LocalToClient(p));
            TQtPathSink sink;
            bool complete = true;
            if (CreatePath(sink, FEditPointGuide.ClientPoints, FEditPointGuide.Types, false, true, complete, false)) {
                canvas.Pen().SetStyle(psDot);
                canvas.Pen().SetColor(TColor(0xFF0000));
                const QPainterPath& path = sink.Path;
                for (int e = 1; e < path.elementCount(); ++e) {
                    const auto a = path.elementAt(e - 1);
                    const auto b = path.elementAt(e);
                    if (b.isMoveTo())
                        continue;
                    canvas.MoveTo(int(a.x), int(a.y));
                    canvas.LineTo(int(b.x), int(b.y));
                }
            }
            canvas.Pen().SetStyle(psSolid);
            canvas.Pen().SetColor(TColor(0xFF0000));
            for (int i = 0; i < int(FEditPointGuide.ClientPoints.size()); ++i)
                if (i < int(FEditPointGuide.Selected.size()) && FEditPointGuide.Selected[std::size_t(i)]) {
                    const TPoint p = FEditPointGuide.ClientPoints[std::size_t(i)];
                    canvas.Rectangle(p.x - 2, p.y - 2, p.x + 3, p.y + 3);
                }
        }
    }
    canvas.Pen().SetMode(savedMode);
    stockPen();
    canvas.Brush().SetStyle(bsClear);
}
