// The panel as a drawing editor: tool modes, the mouse, markers, rubber band, creation of
// controls, snapping, resizing, hints, wheel, run-time clicks and dragging groups between panels.
#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "scheme/drawcurves.h"
#include "scheme/drawcursors.h"
#include "scheme/drawlinks.h"
#include "scheme/drawpanel.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPointer>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <map>

namespace {

TRect NormalizedBand(const TPoint& a, const TPoint& b)
{
    // Right and bottom one unit larger, so a band always holds its two corners.
    return TRect(std::min(a.x, b.x), std::min(a.y, b.y), SatAdd(std::max(a.x, b.x), 1), SatAdd(std::max(a.y, b.y), 1));
}

bool RectInside(const TRect& inner, const TRect& outer)
{
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

// Creation cursor of a class: asked of a short-lived instance, once per class.
int CreationCursorOf(const TDrawControlClass* cls)
{
    static std::map<const TDrawControlClass*, int> cache;
    const auto it = cache.find(cls);
    if (it != cache.end())
        return it->second;
    int cursor = crDrawDefault;
    if (TDrawControl* probe = cls->Create(nullptr, nullptr, nullptr)) {
        cursor = probe->GetCreationCursor();
        probe->Free();
    }
    cache.emplace(cls, cursor);
    return cursor;
}

TDrawDragObject* gActiveDrag = nullptr;
TDrawPanel::TDragLoop gDragLoop;

bool ClassIsConnector(const TDrawControlClass* cls)
{
    for (const TDrawControlClass* c = cls; c; c = c->Parent)
        if (c->ClassName == QLatin1String("TDrawConnector"))
            return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------- creation and snapping

void TDrawPanel::SetCreateClass(const TDrawControlClass* cls)
{
    FCreateClass = cls;
    UpdateCursor();
}

TDrawControl* TDrawPanel::CreateControl(const TDrawControlClass* controlClass, int left, int top, int width,
                                        int height, TDrawCustomScheme* scheme, TDrawLayer* layer, bool snap)
{
    if (!scheme)
        scheme = FActiveScheme;
    if (!layer)
        layer = FActiveLayer;
    if (!scheme)
        throw Exception(QStringLiteral("Scheme must exist"));
    if (!layer)
        throw Exception(QStringLiteral("Layer must exist"));
    if (!layer->GetVisible() || !layer->GetSelectable() || layer->GetReadOnly() || !layer->GetMoveable())
        throw Exception(QStringLiteral("Can't create control on invisible or disabled layer"));
    if (!controlClass)
        return nullptr;
    TDrawControl* c = controlClass->Create(this, scheme, layer);
    TRect r = SatBounds(left, top, width != 0 ? width : c->GetWidth(), height != 0 ? height : c->GetHeight());
    if (snap && SnapToGrid()) {
        TPoint delta{0, 0};
        DoSnapToGrid(0, SnapStyle(), delta, r);
        OffsetRect(r, delta.x, delta.y);
    }
    c->SetDocRect(r);
    if (OnControlCreate)
        OnControlCreate(this, c);
    return c;
}

void TDrawPanel::DoSnapToGrid(int marker, TDrawSnaps snapStyle, TPoint& delta, const TRect& rect) const
{
    TRect r = rect;
    TDrawSnaps sides = 0;
    if (marker == 0) {
        OffsetRect(r, delta.x, delta.y);
        sides = snapStyle;
    } else {
        if (marker == 1 || marker == 4 || marker == 6) {
            sides |= SnapBit(snLeft);
            r.Left = SatAdd(r.Left, delta.x);
        }
        if (marker == 1 || marker == 2 || marker == 3) {
            sides |= SnapBit(snTop);
            r.Top = SatAdd(r.Top, delta.y);
        }
        if (marker == 3 || marker == 5 || marker == 8) {
            sides |= SnapBit(snRight);
            r.Right = SatAdd(r.Right, delta.x);
        }
        if (marker == 6 || marker == 7 || marker == 8) {
            sides |= SnapBit(snBottom);
            r.Bottom = SatAdd(r.Bottom, delta.y);
        }
        if (snapStyle & SnapBit(snCenter))
            sides |= SnapBit(snCenter);
        if (!(snapStyle & SnapBit(snAll)))
            sides &= snapStyle;
    }
    const int sx = GridHorizSize();
    const int sy = GridVertSize();
    std::optional<int> dx;
    std::optional<int> dy;
    const auto keep = [](std::optional<int>& slot, int64_t d) {
        const int v = int(std::clamp<int64_t>(d, INT_MIN / 2, INT_MAX / 2));
        if (!slot || std::abs(v) < std::abs(*slot))
            slot = v;
    };
    const auto edge = [](int v, int s) -> int64_t {
        const int64_t n = int64_t(RoundHalfEven(double(v) / s));
        return n * s - v;
    };
    if (sx >= 1) {
        if (sides & SnapBit(snLeft))
            keep(dx, edge(r.Left, sx));
        if (sides & SnapBit(snRight))
            keep(dx, edge(r.Right, sx));
        if (sides & SnapBit(snCenter)) {
            const int64_t n = int64_t(RoundHalfEven((double(r.Left) + r.Right) / 2.0 / sx));
            keep(dx, 2 * n * sx - (int64_t(r.Left) + r.Right));
        }
    }
    if (sy >= 1) {
        if (sides & SnapBit(snTop))
            keep(dy, edge(r.Top, sy));
        if (sides & SnapBit(snBottom))
            keep(dy, edge(r.Bottom, sy));
        if (sides & SnapBit(snCenter)) {
            const int64_t n = int64_t(RoundHalfEven((double(r.Top) + r.Bottom) / 2.0 / sy));
            keep(dy, 2 * n * sy - (int64_t(r.Top) + r.Bottom));
        }
    }
    if (dx)
        delta.x = SatAdd(delta.x, *dx);
    if (dy)
        delta.y = SatAdd(delta.y, *dy);
}

// ---------------------------------------------------------------- markers and band

TRect TDrawPanel::SelectionBounds() const
{
    TRect u;
    bool any = false;
    for (TDrawControl* c : FSelection) {
        const TRect r = c->GetDocRect();
        if (!any) {
            u = r;
            any = true;
        } else {
            u = TRect(std::min(u.Left, r.Left), std::min(u.Top, r.Top), std::max(u.Right, r.Right),
                      std::max(u.Bottom, r.Bottom));
        }
    }
    return u;
}

namespace {
// Marker centres 1..8 on a client rectangle: the corners and the middles of the edges.
TPoint MarkerCentre(const TRect& r, int marker)
{
    const int cx = r.Left + (r.Right - r.Left) / 2;
    const int cy = r.Top + (r.Bottom - r.Top) / 2;
    switch (marker) {
    case 1: return {r.Left, r.Top};
    case 2: return {cx, r.Top};
    case 3: return {r.Right, r.Top};
    case 4: return {r.Left, cy};
    case 5: return {r.Right, cy};
    case 6: return {r.Left, r.Bottom};
    case 7: return {cx, r.Bottom};
    default: return {r.Right, r.Bottom};
    }
}
}  // namespace

// While points are edited the point markers take the place of the resize markers.
TRegion TDrawPanel::CreateMarkersRgn() const
{
    if (FSelection.empty() || IsPointEditing())
        return TRegion();
    TRect b = SelectionBounds();
    DocToClientRect(b);
    TRegion rgn;
    for (int m = 1; m <= 8; ++m) {
        const TPoint c = MarkerCentre(b, m);
        rgn = rgn.United(TRegion(TRect(c.x - 3, c.y - 3, c.x + 3, c.y + 3)));
    }
    return rgn;
}

int TDrawPanel::FindMarker(int x, int y) const
{
    if (FSelection.empty() || IsPointEditing())
        return 0;
    TRect b = SelectionBounds();
    DocToClientRect(b);
    for (int m = 1; m <= 8; ++m) {
        const TPoint c = MarkerCentre(b, m);
        if (TRect(c.x - 3, c.y - 3, c.x + 3, c.y + 3).Contains(TPoint{x, y}))
            return m;
    }
    return 0;
}

void TDrawPanel::InvalidateMarkers()
{
    const TRegion now = CreateMarkersRgn();
    if (now == FMarkersShown)
        return;
    for (const TRect& r : FMarkersShown.Rects())
        InvalidateClientRect(r);
    for (const TRect& r : now.Rects())
        InvalidateClientRect(r);
    FMarkersShown = now;
}

void TDrawPanel::SetRubberBand(const TRect& r)
{
    if (r == FRubberBand)
        return;
    // One pixel more on every side: the focus frame lies on the band's edges.
    const auto inval = [this](const TRect& d) {
        if (d.IsEmpty())
            return;
        TRect c = d;
        DocToClientRect(c);
        InflateRect(c, 1, 1);
        InvalidateClientRect(c);
    };
    inval(FRubberBand);
    inval(r);
    FRubberBand = r;
}

void TDrawPanel::PaintMarkers(TCanvas& canvas)
{
    const TRegion rgn = CreateMarkersRgn();
    if (!rgn.IsEmpty())
        canvas.InvertRgn(rgn);
}

void TDrawPanel::PaintRubberBand(TCanvas& canvas)
{
    if (SatWidth(FRubberBand) < 2 || SatHeight(FRubberBand) < 2)
        return;
    TRect r = FRubberBand;
    DocToClientRect(r);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clWhite);
    canvas.DrawFocusRect(r);
}

void TDrawPanel::PaintLinkPoint(TCanvas& canvas)
{
    if (FLinkPointIndex < 0 || !FLinkPointControl)
        return;
    const TPoint p = FLinkPointControl->LocalToClient(FLinkPointControl->GetLinkPoint(FLinkPointIndex));
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetWidth(1);
    canvas.Pen().SetColor(TColor(0xFF0000));
    canvas.Pen().SetMode(pmNotXor);
    canvas.Brush().SetStyle(bsClear);
    canvas.Rectangle(p.x - 3, p.y - 3, p.x + 4, p.y + 4);
    canvas.Pen().SetMode(pmCopy);
}

// ---------------------------------------------------------------- cursor

void TDrawPanel::UpdateCursor()
{
    int cursor = crEditArrow;
    const auto creation = [this]() { return FCreateClass ? CreationCursorOf(FCreateClass) : int(crEditArrow); };
    switch (FToolMode) {
    case tmSelect:
    case tmCreating:
        if (FCreateClass)
            cursor = creation();
        else if (!FDesigning && FControlUnderMouse && FControlUnderMouse->GetReference())
            cursor = crEditHandPoint;
        break;
    case tmZoom:
    case tmZooming:
        cursor = (FLastShift & ssCtrl) ? crEditZoomOut : crEditZoomIn;
        break;
    case tmMove:
    case tmMoving:
        cursor = crEditSizeAll;
        break;
    case tmOverMarker:
    case tmResizing:
        switch (FResizeMarker) {
        case 1:
        case 8: cursor = crEditSizeNWSE; break;
        case 2:
        case 7: cursor = crEditSizeNS; break;
        case 3:
        case 6: cursor = crEditSizeNESW; break;
        default: cursor = crEditSizeWE; break;
        }
        break;
    case tmPointEdit:
        if (!FEditControl) {
            cursor = crEditPoint;
        } else if (FInsertDelete && (!FEditControl->Layer() || FEditControl->Layer()->GetMoveable())) {
            if (FOverPoint)
                cursor = IsOpenFigureEnd() ? crEditPointClose : crEditPointDelete;
            else
                cursor = FEditPointGuide.Count > 0 ? crEditPointAdd : crEditPoint;
        } else if (FOverPoint || (FOverSegment && !FOverCurveSegment)) {
            cursor = crEditPointMove;
        } else if (FOverCurveSegment) {
            cursor = crEditCurveSegment;
        } else {
            cursor = crEditPoint;
        }
        break;
    case tmPointRubberBand:
        cursor = crEditPoint;
        break;
    case tmPointDrag:
        cursor = (FBaseMode == tmPointEdit || !FCreateClass) ? int(crEditPointMove) : creation();
        break;
    case tmSegmentDrag:
        cursor = FOverCurveSegment ? crEditCurveSegment : crEditPointMove;
        break;
    case tmPan:
        cursor = crEditPan;
        break;
    case tmPanning:
        cursor = crEditPanning;
        break;
    default:
        break;
    }
    if (OnUpdateCursor)
        OnUpdateCursor(this, cursor);
    if (cursor != FCursor) {
        FCursor = cursor;
        viewport()->setCursor(SchemeCursor(cursor));
    }
}

// ---------------------------------------------------------------- tool modes

TPoint TDrawPanel::MouseDocPoint() const
{
    TPoint p = FMousePoint;
    ClientToDoc(p.x, p.y);
    return p;
}

void TDrawPanel::SetToolMode(int newMode)
{
    if (newMode == FToolMode || newMode < tmSelect || newMode > tmPanning)
        return;
    if (newMode == tmSegmentDrag && !FOverSegment)
        return;
    const TPoint mouse = MouseDocPoint();

    switch (FToolMode) {
    case tmRubberBand:
        if (!FEditControl && FActiveScheme) {
            BeginSelectionUpdate();
            TScopeExit done{[this] { EndSelectionUpdate(); }};
            const std::vector<TDrawControl*> children = FActiveScheme->Children();
            for (TDrawControl* c : children)
                if (RectInside(c->GetDocRect(), FRubberBand)) {
                    if (IsSelected(c))
                        UnselectControl(c);
                    else
                        SelectControl(c);
                }
        }
        break;
    case tmZooming: {
        const bool zoomOut = (FLastShift & ssCtrl) != 0;
        const int movedX = std::abs(FMousePoint.x - FPressPoint.x);
        const int movedY = std::abs(FMousePoint.y - FPressPoint.y);
        int scale;
        if ((movedX > 2 || movedY > 2) && !zoomOut) {
            TRect band = FRubberBand;
            DocToClientRect(band);
            const double bw = band.Width();
            const double bh = band.Height();
            const double kx = bw < 1 ? 1.0 : ClientWidth() / bw;
            const double ky = bh < 1 ? 1.0 : ClientHeight() / bh;
            scale = int(std::clamp(RoundHalfEven(FScale * std::min(kx, ky)), 1.0, 50000.0));
        } else {
            scale = zoomOut ? FScale / 2 : FScale * 2;
        }
        const TRect band = FRubberBand;
        ZoomTo(scale, &band);
        break;
    }
    case tmResizing:
    case tmCreating:
        for (TDrawControl* c : std::vector<TDrawControl*>(FSelection))
            c->EndTranslate();
        FResizeRects.clear();
        break;
    case tmPointRubberBand: {
        const int limit = UnScaleValue(4, FScale);
        if (SatWidth(FRubberBand) < limit && SatHeight(FRubberBand) < limit) {
            TDrawControl* hit = FindControlAtPoint(FMousePoint.x, FMousePoint.y);
            if (hit && hit != FEditControl) {
                BeginSelectionUpdate();
                TScopeExit done{[this] { EndSelectionUpdate(); }};
                UnselectAll();
                SelectControl(hit);
            }
        } else if (FEditControl) {
            const TRect d = FEditControl->GetDocRect();
            TRect local = FRubberBand;
            local = TRect(SatSub(local.TopLeft(), d.TopLeft()), SatSub(local.BottomRight(), d.TopLeft()));
            BeginSelectionUpdate();
            TScopeExit done{[this] { EndSelectionUpdate(); }};
            const int n = FEditControl->GetPointCount();
            for (int i = 0; i < n; ++i) {
                if (FEditControl->GetPointType(i) == ptControl)
                    continue;
                const TPoint p = FEditControl->GetPoint(i);
                if (p.x >= local.Left && p.x <= local.Right && p.y >= local.Top && p.y <= local.Bottom)
                    SetPointSelected(i, !IsPointSelected(i));
            }
        }
        break;
    }
    case tmPointDrag:
    case tmSegmentDrag:
        if (FEditControl)
            FEditControl->EndPointEdit();
        if (FToolMode == tmPointDrag)
            FDragPointIndex = -1;
        break;
    default:
        break;
    }

    FToolMode = uint8_t(newMode);

    switch (newMode) {
    case tmSelect:
    case tmZoom:
        SetRubberBand(TRect());
        if (newMode == tmSelect) {
            FBaseMode = tmSelect;
            UpdateEditMarkers();
        }
        break;
    case tmRubberBand:
    case tmMoving:
    case tmPointRubberBand:
        FStartPoint = mouse;
        FLastMoved = TPoint{0, 0};
        if (newMode == tmMoving) {
            const TRect b = SelectionBounds();
            FSavedBounds = b;
            FGrabOffset = SatSub(mouse, b.TopLeft());
            FPressPoint = FMousePoint;
        }
        break;
    case tmZooming:
        FStartPoint = mouse;
        FPressPoint = FMousePoint;
        SetRubberBand(TRect(mouse.x, mouse.y, mouse.x, mouse.y));
        break;
    case tmResizing:
    case tmCreating: {
        FSavedBounds = SelectionBounds();
        FFlipH = false;
        FFlipV = false;
        FResizeRects.clear();
        for (TDrawControl* c : FSelection) {
            c->BeginTranslate(FSavedBounds.TopLeft());
            FResizeRects.emplace_back(c, c->GetDocRect());
            TPassControlRec rec;
            TreeIterFirst(c, rec);
            while (TDrawControl* d = TreeIterNext(rec))
                FResizeRects.emplace_back(d, d->GetDocRect());
            TreeIterClose(rec);
        }
        FStartPoint = mouse;
        if (newMode == tmCreating) {
            FStartPoint.x = SatAdd(FStartPoint.x, SatWidth(FSavedBounds));
            FStartPoint.y = SatAdd(FStartPoint.y, SatHeight(FSavedBounds));
        }
        break;
    }
    case tmPointEdit:
        SetRubberBand(TRect());
        FBaseMode = tmPointEdit;
        if (FSelection.size() == 1) {
            if (FEditControl == FSelection.front())
                UpdateEditMarkers();
            else
                SetEditControl(FSelection.front());
        } else {
            UnselectAll();
        }
        UpdateEditMarkers();
        break;
    case tmPointDrag:
        FLastMoved = TPoint{0, 0};
        if (FEditControl)
            FEditControl->BeginPointEdit();
        break;
    case tmSegmentDrag:
        FStartPoint = mouse;
        FLastMoved = TPoint{0, 0};
        FGrabOffset = TPoint{0, 0};
        if (FEditControl)
            FEditControl->BeginPointEdit();
        break;
    case tmPanning:
        FPanOrigin = TPoint{horizontalScrollBar()->value(), verticalScrollBar()->value()};
        FPressPoint = FMousePoint;
        break;
    default:
        break;
    }
    UpdateCursor();
    if (OnToolMode)
        OnToolMode(this);
}

// ---------------------------------------------------------------- resizing

void TDrawPanel::ResizeSelection(int marker, int dx, int dy, bool snap, bool proportional)
{
    if (marker < 1 || marker > 8 || FSelection.empty())
        return;
    if (FToolMode != tmResizing && FToolMode != tmCreating) {
        FResizeMarker = marker;
        SetToolMode(tmResizing);
    }
    const TRect b0 = FSavedBounds;
    if (snap && SnapToGrid()) {
        TPoint d{dx, dy};
        DoSnapToGrid(marker, SnapStyle(), d, b0);
        dx = d.x;
        dy = d.y;
    }
    if (marker == 2 || marker == 7)
        dx = 0;
    if (marker == 4 || marker == 5)
        dy = 0;
    const int sx = (marker == 2 || marker == 3 || marker == 5 || marker == 7 || marker == 8) ? 1 : -1;
    const int sy = marker >= 4 ? 1 : -1;
    // in doubles: the bounds of a selection far apart may span more than 32 bits
    const double w0 = double(b0.Right) - b0.Left;
    const double h0 = double(b0.Bottom) - b0.Top;
    double nw = std::abs(w0) + sx * double(dx);
    double nh = std::abs(h0) + sy * double(dy);
    if (proportional && w0 != 0 && h0 != 0 && marker != 2 && marker != 7 && marker != 4 && marker != 5) {
        const double kx = std::abs(nw) / std::abs(w0);
        const double ky = std::abs(nh) / std::abs(h0);
        // The extent whose scaled counterpart is smaller decides.
        if (kx < ky)
            nh = (nh < 0 ? -1 : 1) * std::abs(h0) * kx;
        else
            nw = (nw < 0 ? -1 : 1) * std::abs(w0) * ky;
    }
    const bool flipH = nw < 0;
    const bool flipV = nh < 0;
    // The edge opposite the moved marker stays where it was.
    const bool movesLeft = marker == 1 || marker == 4 || marker == 6;
    const bool movesTop = marker == 1 || marker == 2 || marker == 3;
    const double fx = movesLeft ? b0.Right : b0.Left;
    const double fy = movesTop ? b0.Bottom : b0.Top;
    const double kx = w0 == 0 ? 1.0 : nw / w0;
    const double ky = h0 == 0 ? 1.0 : nh / h0;
    BeginSelectionUpdate();
    TScopeExit done{[this] { EndSelectionUpdate(); }};
    if (flipH != FFlipH || flipV != FFlipV) {
        for (TDrawControl* c : FSelection)
            c->Mirror(flipH != FFlipH, flipV != FFlipV);
        FFlipH = flipH;
        FFlipV = flipV;
    }
    for (const auto& [c, r] : FResizeRects) {
        if (c->Layer() && c->Layer()->GetReadOnly())
            continue;
        const auto mapX = [&](int v) { return RoundToInt(fx + (v - fx) * kx); };
        const auto mapY = [&](int v) { return RoundToInt(fy + (v - fy) * ky); };
        c->SetDocRect(NormalizeRect(TRect(mapX(r.Left), mapY(r.Top), mapX(r.Right), mapY(r.Bottom))));
    }
}

// ---------------------------------------------------------------- hit state

void TDrawPanel::UpdateHitState()
{
    switch (FToolMode) {
    case tmSelect:
    case tmZoom:
    case tmMove:
    case tmOverMarker:
    case tmPointEdit:
    case tmPointRubberBand:
    case tmPan: {
        FEditPointGuide = TDrawEditPointGuide();
        FOverPoint = FEditMarkersRgn && FEditMarkersRgn->Contains(FMousePoint);
        if (FOverPoint && !FExactMarkers) {
            FOverPoint = false;
            if (!FEditControl) {
                for (TDrawControl* c : FSelection) {
                    const TPoint a = c->GetAnchorPoint();
                    if (FMousePoint.x >= a.x - 2 && FMousePoint.x <= a.x + 3 && FMousePoint.y >= a.y - 2 &&
                        FMousePoint.y <= a.y + 3) {
                        FOverPoint = true;
                        break;
                    }
                }
            } else {
                FOverPoint = InControlPointSquare(FEditControl->ClientToLocal(FMousePoint), UnScaleValue(5, FScale));
            }
        }
        if (FEditControl && FShowEditPointGuide && !FOverPoint && FInsertDelete) {
            TPoint q = FEditControl->ClientToLocal(FMousePoint);
            if (SnapToGrid()) {
                TPoint d{0, 0};
                DoSnapToGrid(0, SnapStyle(), d, TRect(q.x, q.y, q.x, q.y));
                q = SatAdd(q, d);
            }
            TDrawEditPointGuide guide;
            bool found = FEditControl->GetEditPointGuide(q, guide);
            if (!found && !FEditControl->IsConnectorControl())
                found = GetPathEditPointGuide(*FEditControl, q, UnScaleValue(4, FScale), guide);
            if (found)
                FEditPointGuide = guide;
        }
        FOverSegment = false;
        FOverCurveSegment = false;
        FSegmentHitValid = false;
        if (FToolMode == tmPointEdit && FEditControl && FEditControl->GetPointCount() > 0) {
            THitRecord hit;
            if (FEditControl->FindNearestPoint(FEditControl->ClientToLocal(FMousePoint), hit) != 0) {
                const double limit = UnScaleValue(4, FScale);
                FOverSegment = double(hit.DistSq) <= limit * limit;
                FSegmentHit = hit;
                FSegmentHitValid = true;
                const int after = hit.SegFirst + 1;
                FOverCurveSegment = FOverSegment && after < FEditControl->GetPointCount() &&
                                    FEditControl->GetPointType(after) == ptControl;
            }
        }
        break;
    }
    default:
        break;
    }

    FControlUnderMouse = FindControlAtPoint(FMousePoint.x, FMousePoint.y);

    const bool searchLinks = (FCreateClass && ClassIsConnector(FCreateClass)) || FToolMode == tmCreating ||
                             (FToolMode == tmPointDrag && FSelection.size() == 1 && FEditControl &&
                              FEditControl->IsConnectorControl());
    const int oldIndex = FLinkPointIndex;
    TDrawControl* oldControl = FLinkPointControl;
    FLinkPointIndex = -1;
    FLinkPointControl = nullptr;
    if (searchLinks && FActiveScheme) {
        const TRect square(FMousePoint.x - 8, FMousePoint.y - 8, FMousePoint.x + 8, FMousePoint.y + 8);
        long long best = -1;
        for (TDrawControl* c : FActiveScheme->Children()) {
            if (c->IsConnectorControl() || c == FEditControl || c->GetLinkPointCount() <= 0 || !c->GetVisible())
                continue;
            const TRect d = c->GetDocRect();
            TRect r = c->GetRefreshRect(d.Left, d.Top);
            DocToClientRect(r);
            TRect common;
            if (!IntersectRect(common, r, square))
                continue;
            const int n = c->GetLinkPointCount();
            for (int i = 0; i < n; ++i) {
                const TPoint p = c->LocalToClient(c->GetLinkPoint(i));
                if (!square.Contains(p))
                    continue;
                const long long ddx = p.x - FMousePoint.x;
                const long long ddy = p.y - FMousePoint.y;
                const long long dist = ddx * ddx + ddy * ddy;
                if (best < 0 || dist < best) {
                    best = dist;
                    FLinkPointIndex = i;
                    FLinkPointControl = c;
                }
            }
        }
    }
    if (FLinkPointIndex != oldIndex || FLinkPointControl != oldControl) {
        const auto inval = [this](TDrawControl* c, int i) {
            if (!c || i < 0)
                return;
            const TPoint p = c->LocalToClient(c->GetLinkPoint(i));
            InvalidateClientRect(TRect(p.x - 4, p.y - 4, p.x + 5, p.y + 5));
        };
        inval(oldControl, oldIndex);
        inval(FLinkPointControl, FLinkPointIndex);
    }
}

void TDrawPanel::UpdateHintControl()
{
    // The deepest visible control under the mouse, then up to the first that shows hints.
    TDrawControl* deepest = FControlUnderMouse;
    while (deepest) {
        TDrawControl* inner = nullptr;
        for (auto it = deepest->Children().rbegin(); it != deepest->Children().rend(); ++it)
            if ((*it)->GetVisible() && (*it)->IsPointInside(FMousePoint.x, FMousePoint.y)) {
                inner = *it;
                break;
            }
        if (!inner)
            break;
        deepest = inner;
    }
    TDrawControl* hint = nullptr;
    for (TDrawControl* c = deepest; c; c = c->Parent()) {
        if (c == FActiveScheme)
            break;
        if (c->GetShowHint()) {
            hint = c;
            break;
        }
    }
    if (!hint && FActiveScheme && FActiveScheme->GetShowHint())
        hint = FActiveScheme;
    if (hint != FHintControl) {
        FHintControl = hint;
        if (!FDesigning)
            QToolTip::hideText();
    }
}

QString TDrawPanel::CurrentHintText() const
{
    if (FDesigning || !FHintControl || !FHintControl->GetShowHint())
        return QString();
    return FHintControl->GetHint();
}

bool TDrawPanel::InControlPointSquare(const TPoint& mouseLocal, int side) const
{
    if (!FEditControl)
        return false;
    const int n = FEditControl->GetPointCount();
    for (int i = 0; i < n; ++i) {
        const TPoint p = FEditControl->GetPoint(i);
        const int64_t l = int64_t(p.x) - side / 2;
        const int64_t t = int64_t(p.y) - side / 2;
        if (mouseLocal.x >= l && mouseLocal.x <= l + side && mouseLocal.y >= t && mouseLocal.y <= t + side)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- connectors

void TDrawPanel::LinkConnectorEnd(TDrawControl* connector, bool first)
{
    if (!connector || FLinkPointIndex < 0 || !FLinkPointControl || FLinkPointControl == connector)
        return;
    TLinkPointProp* a = nullptr;
    TLinkPointProp* b = nullptr;
    connector->GetLinkProps(a, b);
    TLinkPointProp* link = first ? a : b;
    if (!link)
        return;
    const TRect d = FLinkPointControl->GetDocRect();
    const TPoint p = FLinkPointControl->GetLinkPoint(FLinkPointIndex);
    link->SetControl(FLinkPointControl);
    link->SetLinkPoint(SatAdd(d.TopLeft(), p));
    // The end may already lie where it is linked (it was dragged there), which moves no link
    // point and so routes nothing by itself.
    if (a && b && a->IsLinked() && b->IsLinked() && connector->InheritsFrom(TDrawConnector::StaticClass()))
        static_cast<TDrawConnector*>(connector)->Reroute();
}

// ---------------------------------------------------------------- mouse

void TDrawPanel::MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool dbl)
{
    FMousePoint = TPoint{x, y};
    FLastShift = shift;
    if (dbl)
        return;
    const bool left = button == Qt::LeftButton;
    UpdateHitState();
    switch (FToolMode) {
    case tmSelect:
        if (!FDesigning)
            break;
        if (left && FCreateClass && FActiveScheme && FActiveLayer) {
            BeginSelectionUpdate();
            TDrawControl* c = nullptr;
            {
                TScopeExit done{[this] { EndSelectionUpdate(); }};
                UnselectAll();
                const TPoint d = MouseDocPoint();
                c = CreateControl(FCreateClass, d.x, d.y, 0, 0, nullptr, nullptr, true);
                SelectControl(c);
            }
            if (c && c->IsConnectorControl())
                LinkConnectorEnd(c, true);
            if (c && c->GetPointCount() > 0) {
                const TPoint d = MouseDocPoint();
                StartPointDrag(c, c->GetPointCount() - 1, d.x, d.y);
            } else if (c) {
                SetToolMode(tmCreating);
            }
        } else if (left) {
            if (shift & ssCtrl) {
                SetToolMode(tmRubberBand);
            } else if (!(shift & ssShift)) {
                if (FControlUnderMouse) {
                    if (!IsSelected(FControlUnderMouse)) {
                        BeginSelectionUpdate();
                        TScopeExit done{[this] { EndSelectionUpdate(); }};
                        UnselectAll();
                        SelectControl(FControlUnderMouse);
                    }
                    SetToolMode(tmMoving);
                } else {
                    UnselectAll();
                    SetToolMode(tmRubberBand);
                }
            } else {
                if (FControlUnderMouse) {
                    if (IsSelected(FControlUnderMouse))
                        UnselectControl(FControlUnderMouse);
                    else
                        SelectControl(FControlUnderMouse);
                } else {
                    SetToolMode(tmRubberBand);
                }
            }
        }
        break;
    case tmZoom:
        if (left)
            SetToolMode(tmZooming);
        break;
    case tmPan:
        if (left)
            SetToolMode(tmPanning);
        break;
    case tmMove:
        if (left && !FSelection.empty())
            SetToolMode(tmMoving);
        break;
    case tmOverMarker:
        if (left && !FSelection.empty())
            SetToolMode(tmResizing);
        break;
    case tmPointEdit:
        if (left)
            PointEditPress(shift);
        break;
    default:
        break;
    }
    UpdateHitState();
}

bool TDrawPanel::ApplyMoveShift(TShiftState shift)
{
    const TPoint mouse = MouseDocPoint();
    TPoint delta = SatSub(mouse, FStartPoint);
    if (FToolMode == tmMoving) {
        if (SnapToGrid())
            DoSnapToGrid(0, SnapStyle(), delta, FSavedBounds);
    } else if (FToolMode == tmPointDrag) {
        // The grab offset keeps the point where it was grabbed; snapping acts on the point.
        delta = SatSub(mouse, SatAdd(FStartPoint, FGrabOffset));
        if (SnapToGrid())
            DoSnapToGrid(0, SnapStyle(), delta, TRect(FStartPoint.x, FStartPoint.y, FStartPoint.x, FStartPoint.y));
    } else if (SnapToGrid()) {
        DoSnapToGrid(0, SnapStyle(), delta, TRect(FStartPoint.x, FStartPoint.y, FStartPoint.x, FStartPoint.y));
    }
    if (shift & ssCtrl) {
        if (std::abs(int64_t(delta.x)) >= std::abs(int64_t(delta.y)))
            delta.y = 0;
        else
            delta.x = 0;
    }
    const int dx = SatSub(delta.x, FLastMoved.x);
    const int dy = SatSub(delta.y, FLastMoved.y);
    if (dx == 0 && dy == 0)
        return true;
    FLastMoved = delta;
    if (FToolMode == tmMoving) {
        MoveSelected(dx, dy);
        if (FAutoDragEnabled && !ClientRect().Contains(FMousePoint))
            return StartAutoDrag();
    } else if (FToolMode == tmPointDrag) {
        if (FEditControl && FDragPointIndex >= 0)
            FEditControl->MovePathPoint(FDragPointIndex, dx, dy, (shift & ssShift) != 0,
                                        (shift & ssShift) && (shift & ssAlt));
    } else if (FToolMode == tmSegmentDrag) {
        if (FEditControl && FSegmentHitValid)
            FEditControl->MovePathSegment(FSegmentHit.SegFirst, dx, dy);
    }
    return true;
}

void TDrawPanel::MouseMove(TShiftState shift, int x, int y)
{
    FMousePoint = TPoint{x, y};
    FLastShift = shift;
    const bool oldInsert = FInsertDelete;
    if (FToolMode == tmPointEdit)
        FInsertDelete = (shift & ssCtrl) != 0;
    UpdateHitState();
    if (FToolMode == tmSelect)
        UpdateHintControl();
    else if (FHintControl) {
        FHintControl = nullptr;
        QToolTip::hideText();
    }
    const TPoint mouse = MouseDocPoint();
    switch (FToolMode) {
    case tmSelect:
        if (FDesigning) {
            FResizeMarker = FindMarker(x, y);
            if (FResizeMarker)
                SetToolMode(tmOverMarker);
            else if (!FEditControl && FOverPoint)
                SetToolMode(tmMove);
        }
        break;
    case tmRubberBand:
    case tmZooming:
    case tmPointRubberBand:
        SetRubberBand(NormalizedBand(FStartPoint, mouse));
        break;
    case tmMove:
        if (!FOverPoint)
            SetToolMode(FBaseMode);
        break;
    case tmOverMarker:
        FResizeMarker = FindMarker(x, y);
        if (!FResizeMarker)
            SetToolMode(FBaseMode);
        break;
    case tmMoving:
    case tmPointDrag:
    case tmSegmentDrag:
        if (!ApplyMoveShift(shift))
            return;  // the panel was closed during a drag it started
        break;
    case tmResizing:
    case tmCreating:
        if (shift & ssLeft) {
            int dx = mouse.x - FStartPoint.x;
            int dy = mouse.y - FStartPoint.y;
            if (dx > 0)
                dx += 1000;
            if (dy > 0)
                dy += 1000;
            ResizeSelection(FToolMode == tmCreating ? 8 : FResizeMarker, dx, dy, true, (shift & ssCtrl) != 0);
        }
        break;
    case tmPointEdit:
        FResizeMarker = FindMarker(x, y);
        if (FResizeMarker)
            SetToolMode(tmOverMarker);
        else if (FShowEditPointGuide && (oldInsert != FInsertDelete || FInsertDelete))
            UpdateEditMarkers();
        break;
    case tmPanning:
        if (shift & ssLeft) {
            int dx = x - FPressPoint.x;
            int dy = y - FPressPoint.y;
            if (shift & ssCtrl) {
                if (std::abs(dx) >= std::abs(dy))
                    dy = 0;
                else
                    dx = 0;
            }
            horizontalScrollBar()->setValue(FPanOrigin.x - dx);
            verticalScrollBar()->setValue(FPanOrigin.y - dy);
        }
        break;
    default:
        break;
    }
    UpdateCursor();
}

void TDrawPanel::MouseUp(Qt::MouseButton, TShiftState shift, int x, int y)
{
    FMousePoint = TPoint{x, y};
    FLastShift = shift;
    UpdateHitState();
    if (FToolMode == tmCreating && FSelection.size() == 1) {
        TDrawControl* c = FSelection.front();
        const int limit = UnScaleValue(2, FScale);
        if (c->GetWidth() <= limit || c->GetHeight() <= limit) {
            SetToolMode(FBaseMode);
            DeleteSelected();
        }
    } else if (FToolMode == tmPointDrag && FSelection.size() == 1 && FEditControl) {
        const int n = FEditControl->GetPointCount();
        // A click that made no path: every point still where the press put the first one (a
        // connector has three of them).
        bool collapsed = n >= 2;
        for (int i = 0; i < n && collapsed; ++i)
            collapsed = FEditControl->GetPoint(i) == TPoint{0, 0};
        if (collapsed) {
            SetToolMode(FBaseMode);
            DeleteSelected();
        } else if (FEditControl->IsConnectorControl() && n > 0) {
            if (IsPointSelected(0))
                LinkConnectorEnd(FEditControl, true);
            else if (IsPointSelected(n - 1))
                LinkConnectorEnd(FEditControl, false);
        }
    }
    switch (FToolMode) {
    case tmRubberBand:
    case tmMove:
    case tmMoving:
    case tmOverMarker:
    case tmResizing:
    case tmCreating:
    case tmPointEdit:
    case tmPointRubberBand:
    case tmPointDrag:
    case tmSegmentDrag:
        // Idle modes 4 and 6 stay until the mouse leaves them.
        if (FToolMode != tmMove && FToolMode != tmOverMarker)
            SetToolMode(FBaseMode);
        break;
    case tmZooming:
        SetToolMode(tmZoom);
        break;
    case tmPanning:
        SetToolMode(tmPan);
        break;
    default:
        break;
    }
    UpdateHitState();
}

void TDrawPanel::Click()
{
    if (!FDesigning && FToolMode == tmSelect && FControlUnderMouse) {
        if (TDrawCustomScheme* target = FControlUnderMouse->GetReference())
            SetActiveScheme(target);
    }
    if (OnClick)
        OnClick(this);
}

void TDrawPanel::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    Guarded([&] {
        if (event->button() == Qt::LeftButton) {
            FLeftDown = true;
            FClickPending = true;
        }
        MouseDown(event->button(), ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y(), false);
    });
    event->accept();
}

void TDrawPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    Guarded([&] {
        MouseDown(event->button(), ShiftStateOf(event->modifiers(), event->buttons()) | ssDouble, p.x(), p.y(), true);
    });
    event->accept();
}

void TDrawPanel::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    Guarded([&] { MouseMove(ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y()); });
    event->accept();
}

void TDrawPanel::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    Guarded([&] {
        MouseUp(event->button(), ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
        if (event->button() == Qt::LeftButton) {
            FLeftDown = false;
            const bool click = FClickPending && viewport()->rect().contains(p);
            FClickPending = false;
            if (click)
                Click();
        }
    });
    event->accept();
}

void TDrawPanel::wheelEvent(QWheelEvent* event)
{
    Guarded([&] {
        const TShiftState shift = ShiftStateOf(event->modifiers());
        if (shift != FShiftState) {
            FShiftState = shift;
            MouseMove(shift | (FLeftDown ? TShiftState(ssLeft) : 0), FMousePoint.x, FMousePoint.y);
        }
    });
    QAbstractScrollArea::wheelEvent(event);
}

bool TDrawPanel::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (FDesigning)
            return QAbstractScrollArea::viewportEvent(event);
        QString text;
        Guarded([&] {
            FMousePoint = TPoint{help->pos().x(), help->pos().y()};
            UpdateHitState();
            UpdateHintControl();
            text = CurrentHintText();
        });
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, viewport());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------- dragging between panels

std::unique_ptr<TDrawDragObject> TDrawPanel::BeginDragSelection()
{
    if (FSelection.empty() || !FActiveScheme)
        return nullptr;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TScopeExit restore{[] { QApplication::restoreOverrideCursor(); }};
    TMemoryStream stream;
    std::unique_ptr<TDrawFiler> filer = CreateFiler(stream, dfpCopying);
    for (TDrawControl* c : FSelection)
        c->SaveToFiler(*filer, "  ");
    filer->Rewind();
    TDrawGroup* group = TDrawControl::Create<TDrawGroup>(nullptr, nullptr, nullptr);
    group->SetID(0);
    group->SetName(QStringLiteral("DragGroup"));
    // The copies are read as a paste is: links among them go to each other, through the IDs
    // the copies are given here.
    const int savedMode = FLoadMode;
    FLoadMode = dlmClipboard;
    FLoadRoot = group;
    try {
        Loading([&] {
            QByteArray line;
            while (filer->LoadStr(line))
                if (MatchesKeyword(line, kwObject) && !line.isEmpty())
                    LoadObject(*filer, group, line);
        });
    } catch (...) {
        FLoadMode = savedMode;
        FLoadRoot = nullptr;
        group->Free();
        throw;
    }
    FLoadMode = savedMode;
    FLoadRoot = nullptr;
    group->RecalcBounds();
    TPoint m = FMousePoint;
    ClientToDoc(m.x, m.y);
    m = SatSub(m, TPoint(group->GetLeft(), group->GetTop()));
    FGrabOffset = m;
    return std::make_unique<TDrawDragObject>(group, m.x, m.y, static_cast<TDrawOwner*>(this));
}

bool TDrawPanel::DragOverPanel(TDrawDragObject* object, int x, int y, int state)
{
    if (!object || !object->Group()) {
        if (FDragObject) {
            FDragObject->RemoveFromPanel();
            FDragObject = nullptr;
        }
        return false;
    }
    switch (state) {
    case 0:  // entering
        if (FDragObject)
            FDragObject->RemoveFromPanel();
        FDragObject = object;
        object->PlaceOnPanel(this, x, y);
        break;
    case 2:  // moving
        object->PlaceOnPanel(this, x, y);
        FDragObject = object;
        break;
    default:  // leaving
        object->RemoveFromPanel();
        FDragObject = nullptr;
        return true;
    }
    BeginSelectionUpdate();
    TScopeExit done{[this] { EndSelectionUpdate(); }};
    UnselectAll();
    SelectControl(object->Group());
    return true;
}

void TDrawPanel::DropOnPanel(TDrawDragObject* object, int x, int y)
{
    if (!object || !object->Group())
        return;
    object->PlaceOnPanel(this, x, y);
    {
        BeginSelectionUpdate();
        TScopeExit done{[this] { EndSelectionUpdate(); }};
        UnselectAll();
        SelectControl(object->Group());
    }
    TDrawGroup* group = object->Group();
    object->ForgetGroup();
    FDragObject = nullptr;
    if (FSelection.size() == 1 && FSelection.front() == group)
        Ungroup();
}

TDrawDragObject* TDrawPanel::ActiveDragObject()
{
    return gActiveDrag;
}

void TDrawPanel::SetActiveDragObject(TDrawDragObject* object)
{
    gActiveDrag = object;
}

void TDrawPanel::SetDragLoop(TDragLoop loop)
{
    gDragLoop = std::move(loop);
}

const char* TDrawPanel::DragMimeType()
{
    return "application/x-scheme-drag-group";
}

bool TDrawPanel::StartAutoDrag()
{
    if (gActiveDrag)
        return true;
    const TRect home = SelectionBounds();
    std::unique_ptr<TDrawDragObject> object = BeginDragSelection();
    if (!object)
        return true;
    SetToolMode(FBaseMode);
    DeleteSelected();
    gActiveDrag = object.get();
    TScopeExit clear{[] { gActiveDrag = nullptr; }};
    QPointer<TDrawPanel> self(this);
    QPointer<QDrag> drag = new QDrag(viewport());
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(DragMimeType()), QByteArray());
    drag->setMimeData(mime);
    if (gDragLoop)
        gDragLoop(drag);
    else
        drag->exec(Qt::MoveAction);
    // This panel may have been closed while the drag ran; the drag object then frees whatever
    // it still carries.
    if (!self)
        return false;
    if (drag)
        drag->deleteLater();
    if (object->Group()) {
        // Dropped nowhere: the controls go back where they were instead of being lost.
        if (FDragObject == object.get())
            FDragObject = nullptr;
        if (object->Group()->Parent())
            object->RemoveFromPanel();
        TPoint at{home.Left + object->GrabX(), home.Top + object->GrabY()};
        at.x = MulDiv(at.x, FScale, 100000) - FOriginX;
        at.y = MulDiv(at.y, FScale, 100000) - FOriginY;
        DropOnPanel(object.get(), at.x, at.y);
    }
    return true;
}

void TDrawPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(DragMimeType())) || !gActiveDrag) {
        QAbstractScrollArea::dragEnterEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    bool accepted = false;
    Guarded([&] { accepted = DragOverPanel(gActiveDrag, p.x(), p.y(), 0); });
    if (accepted)
        event->acceptProposedAction();
}

void TDrawPanel::dragMoveEvent(QDragMoveEvent* event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(DragMimeType())) || !gActiveDrag) {
        QAbstractScrollArea::dragMoveEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    Guarded([&] { DragOverPanel(gActiveDrag, p.x(), p.y(), 2); });
    event->acceptProposedAction();
}

void TDrawPanel::dragLeaveEvent(QDragLeaveEvent* event)
{
    Guarded([&] {
        if (FDragObject)
            DragOverPanel(FDragObject, 0, 0, 1);
    });
    QAbstractScrollArea::dragLeaveEvent(event);
}

void TDrawPanel::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(DragMimeType())) || !gActiveDrag) {
        QAbstractScrollArea::dropEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    Guarded([&] { DropOnPanel(gActiveDrag, p.x(), p.y()); });
    event->acceptProposedAction();
}
