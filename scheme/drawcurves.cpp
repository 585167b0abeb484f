#include "scheme/drawcurves.h"

#include "platform/canvas.h"
#include "scheme/drawbase.h"
#include "scheme/drawcaps.h"
#include "scheme/drawlinks.h"
#include "scheme/drawprops2.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

struct FlagScope {
    explicit FlagScope(bool& f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
    bool& flag;
};

QByteArray PointsToBytes(const TPointArray& points)
{
    QByteArray bytes;
    bytes.reserve(int(points.size() * 8));
    for (const TPoint& p : points)
        for (int32_t v : {int32_t(p.x), int32_t(p.y)})
            for (int i = 0; i < 4; ++i)
                bytes.append(char((uint32_t(v) >> (8 * i)) & 0xFF));
    return bytes;
}

int32_t ReadInt32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(b[at + i])) << (8 * i);
    return int32_t(v);
}

}  // namespace

// ---------------------------------------------------------------- curve

DEFINE_DRAW_CONTROL_CLASS(TDrawCurve, TDrawControl)

void TDrawCurve::CreateProperties()
{
    TDrawControl::CreateProperties();
    TPropList* l = &Props();
    FBrush = new TBrushProp(l, QStringLiteral("Brush"));
    FPen = new TPenProp(l, QStringLiteral("Pen"));
    FBeginCap = new TLineCapProp(l, QStringLiteral("BeginCap"));
    FEndCap = new TLineCapProp(l, QStringLiteral("EndCap"));
    FIsSolid = new TBoolProp(l, QStringLiteral("IsSolid"));
    FPointsProp = new TDataProp(l, QStringLiteral("Points"));
    FPathPointsProp = new TDataProp(l, QStringLiteral("PathPoints"));
    FPointsProp->OnGetData = [this](TDataProp*, Variant& v) { v = Variant(PointsToBytes(FPoints)); };
    FPointsProp->OnSetData = [this](TDataProp*, const Variant& v) {
        if (v.Type() != varBytes)
            return;
        const QByteArray b = v.AsBytes();
        if (b.size() % 8 != 0)
            return;
        TPointArray points(std::size_t(b.size() / 8));
        for (std::size_t i = 0; i < points.size(); ++i)
            points[i] = TPoint(ReadInt32(b, int(i) * 8), ReadInt32(b, int(i) * 8 + 4));
        TPointTypeArray types(points.size(), ptNode);
        if (!types.empty())
            types.back() = GetIsSolid() ? ptClosedEnd : ptOpenEnd;
        FPoints = std::move(points);
        FTypes = std::move(types);
        PointsChanged();
    };
    FPathPointsProp->OnGetData = [this](TDataProp*, Variant& v) { v = Variant(PathPointsToBytes(FPoints, FTypes)); };
    FPathPointsProp->OnSetData = [this](TDataProp*, const Variant& v) {
        if (v.Type() != varBytes)
            return;
        TPointArray points;
        TPointTypeArray types;
        if (!PathPointsFromBytes(v.AsBytes(), points, types))
            return;
        FPoints = std::move(points);
        FTypes = std::move(types);
        PointsChanged();
    };
}

void TDrawCurve::ControlCreate()
{
    FPathInfoValid = false;
    FBrush->SetColor(clNone);
    FBrush->SetBrushStyle(bsSolid);
    FPoints = {TPoint(0, 0), TPoint(0, 0)};
    FTypes = {ptNode, ptOpenEnd};
    TDrawControl::ControlCreate();
    SetVisible(true);
}

void TDrawCurve::ControlDestroy()
{
    FPoints.clear();
    FTypes.clear();
    FPathInfoValid = false;
    TDrawControl::ControlDestroy();
}

bool TDrawCurve::LayerMoveable() const
{
    return !Layer() || Layer()->GetMoveable();
}

int TDrawCurve::PenPixels() const
{
    return FPen->GetActualPixels(OwnerScale(this));
}

void TDrawCurve::PointsChanged()
{
    FPathInfoValid = false;
    if (UpdateCounter() > 0 || FPointsChanging || (Owner() && Owner()->IsLoading()))
        return;
    FlagScope guard(FPointsChanging);
    if (FPoints.empty()) {
        SetWidth(0);
        SetHeight(0);
        return;
    }
    TRect b;
    const TPathInfo* info = GetPathInfo();
    if (!(info && info->IsCurve && GetPathBounds(FPoints, FTypes, b, info))) {
        b = TRect(INT_MAX, INT_MAX, INT_MIN, INT_MIN);
        for (const TPoint& p : FPoints) {
            b.Left = std::min(b.Left, p.x);
            b.Top = std::min(b.Top, p.y);
            b.Right = std::max(b.Right, p.x);
            b.Bottom = std::max(b.Bottom, p.y);
        }
    }
    if (b.Left != 0 || b.Top != 0) {
        for (TPoint& p : FPoints)
            p = SatSub(p, b.TopLeft());
        FPathInfoValid = false;
    }
    BeginUpdate();
    try {
        SetLeft(SatAdd(GetLeft(), b.Left));
        SetTop(SatAdd(GetTop(), b.Top));
        SetWidth(SatWidth(b));
        SetHeight(SatHeight(b));
        bool closed = false;
        for (int i = int(FTypes.size()) - 1; i >= 0; --i)
            if (FTypes[std::size_t(i)] != ptControl) {
                closed = FTypes[std::size_t(i)] == ptClosedEnd;
                break;
            }
        FlagScope solid(FSolidGuard);
        FIsSolid->SetValue(closed);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    FPointsChanging = false;
    DoNotify(dnPoints);
}

bool TDrawCurve::EndUpdate()
{
    const bool result = TDrawControl::EndUpdate();
    if (result && UpdateCounter() == 0 && !FPointsChanging)
        PointsChanged();
    return result;
}

const TPathInfo* TDrawCurve::GetPathInfo()
{
    if (!FPathInfoValid || FPathInfo.PointCount != int(FPoints.size())) {
        CalcPathInfo(FPoints, FTypes, FPathInfo);
        FPathInfoValid = true;
    }
    return &FPathInfo;
}

TPoint TDrawCurve::GetPoint(int index) const
{
    return index >= 0 && index < GetPointCount() ? FPoints[std::size_t(index)] : TPoint();
}

uint8_t TDrawCurve::GetPointType(int index) const
{
    return index >= 0 && index < GetPointCount() ? FTypes[std::size_t(index)] : ptNode;
}

int TDrawCurve::GetPointCount() const
{
    return int(FPoints.size());
}

void TDrawCurve::SetPoint(int index, const TPoint& p)
{
    if (!LayerMoveable() || index < 0 || index >= GetPointCount() || FPoints[std::size_t(index)] == p)
        return;
    FPoints[std::size_t(index)] = p;
    PointsChanged();
}

void TDrawCurve::SetPointType(int index, uint8_t type)
{
    if (!LayerMoveable() || index < 0 || index >= GetPointCount() || FTypes[std::size_t(index)] == type)
        return;
    FTypes[std::size_t(index)] = type;
    PointsChanged();
}

bool TDrawCurve::GetIsSolid() const
{
    return FIsSolid && FIsSolid->GetValue();
}

void TDrawCurve::SetIsSolid(bool value)
{
    FIsSolid->SetValue(value);
}

TPoint TDrawCurve::GetLinkPoint(int index) const
{
    return GetNode(index);
}

int TDrawCurve::GetLinkPointCount() const
{
    return GetNodeCount();
}

int TDrawCurve::GetCreationCursor() const
{
    return crDrawCurve;
}

int TDrawCurve::InsertPoint(int index, const TPoint& p)
{
    const int count = GetPointCount();
    if (index < 0 || index > count || (index < count && FTypes[std::size_t(index)] == ptControl))
        return -1;
    FPoints.insert(FPoints.begin() + index, p);
    FTypes.insert(FTypes.begin() + index, ptNode);
    // appended after the last node: the new node ends the figure
    if (index == count && count > 0 && FTypes[std::size_t(count - 1)] != ptNode &&
        FTypes[std::size_t(count - 1)] != ptControl) {
        FTypes[std::size_t(count)] = FTypes[std::size_t(count - 1)];
        FTypes[std::size_t(count - 1)] = ptNode;
    }
    PointsChanged();
    return index;
}

int TDrawCurve::InsertCurvePoint(int index, const TPoint& p, const TPoint& ctrlA, const TPoint& ctrlB)
{
    const int count = GetPointCount();
    if (index <= 0 || index > count || (index < count && FTypes[std::size_t(index)] == ptControl))
        return -1;
    FPoints.insert(FPoints.begin() + index, {ctrlA, ctrlB, p});
    FTypes.insert(FTypes.begin() + index, {ptControl, ptControl, ptNode});
    if (index == count && FTypes[std::size_t(count - 1)] != ptNode && FTypes[std::size_t(count - 1)] != ptControl) {
        FTypes[std::size_t(count + 2)] = FTypes[std::size_t(count - 1)];
        FTypes[std::size_t(count - 1)] = ptNode;
    }
    PointsChanged();
    return index + 2;
}

bool TDrawCurve::IsFigureStart(int index)
{
    const TPathInfo* info = GetPathInfo();
    const int f = FindFigure(*info, index);
    if (f >= 0)
        return info->Figures[std::size_t(f)].FirstNode == index;
    return index == 0 || FTypes[std::size_t(index - 1)] == ptOpenEnd || FTypes[std::size_t(index - 1)] == ptClosedEnd;
}

void TDrawCurve::DeletePoint(int index)
{
    if (index < 0 || index >= GetPointCount() || FTypes[std::size_t(index)] == ptControl)
        return;
    int first = index;
    int last = index;
    if (!IsFigureStart(index)) {
        // the control points that lead into this node go with it
        while (first > 0 && FTypes[std::size_t(first - 1)] == ptControl && index - first < 2)
            --first;
    } else if (FTypes[std::size_t(index)] == ptNode) {
        // a figure's first node has none leading into it (those before it close the previous
        // figure): the curve segment it starts goes with it, so that the next node starts the figure
        while (last + 1 < GetPointCount() && FTypes[std::size_t(last + 1)] == ptControl && last - index < 2)
            ++last;
    }
    const uint8_t type = FTypes[std::size_t(index)];
    FPoints.erase(FPoints.begin() + first, FPoints.begin() + last + 1);
    FTypes.erase(FTypes.begin() + first, FTypes.begin() + last + 1);
    if (type != ptNode && first > 0) {
        int prev = first - 1;
        while (prev > 0 && FTypes[std::size_t(prev)] == ptControl)
            --prev;
        FTypes[std::size_t(prev)] = type;
    }
    PointsChanged();
}

int TDrawCurve::InsertNearestPoint(const TPoint& p)
{
    const int delta = MulDiv(4, 100000, OwnerScale(this));
    const int index = InsertNearestPathPoint(FPoints, FTypes, p, GetPathInfo(), delta);
    FPathInfoValid = false;
    if (index >= 0)
        PointsChanged();
    return index;
}

void TDrawCurve::SetPointsEx(const TPointArray& points, const TPointTypeArray& types)
{
    if (points.size() != types.size() || (!points.empty() && !IsValidPath(points, types)))
        return;
    FPoints = points;
    FTypes = types;
    PointsChanged();
}

void TDrawCurve::GetPointsEx(TPointArray& points, TPointTypeArray& types) const
{
    points = FPoints;
    types = FTypes;
}

bool TDrawCurve::EditPoints(TPathEditOp func, const std::vector<bool>& selected, const TPathMove& params)
{
    if (!EditPathPoints(FPoints, FTypes, selected, func, params))
        return false;
    PointsChanged();
    return true;
}

unsigned TDrawCurve::GetEditPointsCaps(const std::vector<bool>& selected) const
{
    return GetPathEditFlags(FPoints, FTypes, selected);
}

bool TDrawCurve::FlattenCurve(float tolerance)
{
    if (!FlattenPath(FPoints, FTypes, GetPathInfo(), tolerance))
        return false;
    PointsChanged();
    return true;
}

int TDrawCurve::FindNearestPathSegment(const TPoint& p, THitRecord* hit, int& nodeIndex, int& endIndex)
{
    return FindPathSegment(FPoints, FTypes, p, GetPathInfo(), hit, nodeIndex, endIndex) ? 1 : 0;
}

int TDrawCurve::FindNearestPoint(const TPoint& p, THitRecord& nearest)
{
    int node = -1;
    int end = -1;
    return FindPathSegment(FPoints, FTypes, p, GetPathInfo(), &nearest, node, end) ? 1 : 0;
}

void TDrawCurve::MovePathPoint(int index, int dx, int dy, bool controlsFollow, bool)
{
    if (!LayerMoveable() || index < 0 || index >= GetPointCount() || (dx == 0 && dy == 0))
        return;
    auto move = [&](int i) {
        FPoints[std::size_t(i)] = SatAdd(FPoints[std::size_t(i)], TPoint(dx, dy));
    };
    move(index);
    if (controlsFollow && FTypes[std::size_t(index)] != ptControl) {
        if (index > 0 && FTypes[std::size_t(index - 1)] == ptControl && !IsFigureStart(index))
            move(index - 1);
        if (index + 1 < GetPointCount() && FTypes[std::size_t(index + 1)] == ptControl)
            move(index + 1);
    }
    PointsChanged();
}

void TDrawCurve::MovePathSegment(int segFirst, int dx, int dy)
{
    if (!LayerMoveable() || segFirst < 0 || segFirst + 1 >= GetPointCount())
        return;
    for (int i : {segFirst, segFirst + 1}) {
        FPoints[std::size_t(i)] = SatAdd(FPoints[std::size_t(i)], TPoint(dx, dy));
    }
    PointsChanged();
}

void TDrawCurve::PropBeforeChanged(TPropList* sender, TCustomProp* prop)
{
    if ((prop == WidthProp() || prop == HeightProp()) && !FPointsChanging && !FPoints.empty() && !FHaveResizeRect) {
        FSavedResizeRect = GetDocRect();
        FHaveResizeRect = true;
    }
    TDrawControl::PropBeforeChanged(sender, prop);
}

void TDrawCurve::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if ((prop == WidthProp() || prop == HeightProp()) && FHaveResizeRect) {
        FHaveResizeRect = false;
        if (FPointsChanging || (Owner() && Owner()->IsLoading()))
            return;
        const double kx = FSavedResizeRect.Width() != 0 ? double(GetWidth()) / FSavedResizeRect.Width() : 0.0;
        const double ky = FSavedResizeRect.Height() != 0 ? double(GetHeight()) / FSavedResizeRect.Height() : 0.0;
        const bool isWidth = prop == WidthProp();
        for (TPoint& p : FPoints) {
            if (isWidth)
                p.x = RoundToInt(p.x * kx);
            else
                p.y = RoundToInt(p.y * ky);
        }
        PointsChanged();
    } else if (prop == FIsSolid && !FSolidGuard) {
        Invalidate();
        for (int i = int(FTypes.size()) - 1; i >= 0; --i)
            if (FTypes[std::size_t(i)] != ptControl) {
                FTypes[std::size_t(i)] = GetIsSolid() ? ptClosedEnd : ptOpenEnd;
                break;
            }
        PointsChanged();
    }
}

void TDrawCurve::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawControl::PropStored(sender, prop, propName, isStored);
    if (prop == FIsSolid)
        isStored = GetIsSolid();
    else if (prop == FPointsProp)
        isStored = false;
    else if (prop == FPathPointsProp)
        isStored = !FPoints.empty();
}

void TDrawCurve::BeginTranslate(const TPoint& origin)
{
    const bool was = HasState(csTranslating);
    TDrawControl::BeginTranslate(origin);
    if (!was)
        FSavedPoints = FPoints;
}

void TDrawCurve::EndTranslate()
{
    TDrawControl::EndTranslate();
    FSavedPoints.clear();
}

void TDrawCurve::SetDocRect(const TRect& r)
{
    if (!HasState(csTranslating) || FSavedPoints.size() != FPoints.size()) {
        TDrawControl::SetDocRect(r);
        return;
    }
    const TRect& saved = TranslateRect();
    auto extent = [](int from, int to) { return double(to) - double(from); };
    const double sw = extent(saved.Left, saved.Right);
    const double sh = extent(saved.Top, saved.Bottom);
    const double kx = sw >= 1 ? extent(r.Left, r.Right) / sw : 0.0;
    const double ky = sh >= 1 ? extent(r.Top, r.Bottom) / sh : 0.0;
    const TRect doc = GetDocRect();
    for (std::size_t i = 0; i < FPoints.size(); ++i)
        FPoints[i] = TPoint(RoundToInt(FSavedPoints[i].x * kx + extent(doc.Left, r.Left)),
                            RoundToInt(FSavedPoints[i].y * ky + extent(doc.Top, r.Top)));
    PointsChanged();
}

void TDrawCurve::Mirror(bool horz, bool vert)
{
    TDrawControl::Mirror(horz, vert);
    if (!HasState(csTranslating))
        return;
    const TRect& saved = TranslateRect();
    for (TPoint& p : FSavedPoints) {
        if (horz)
            p.x = ClampToInt(int64_t(saved.Right) - saved.Left - p.x);
        if (vert)
            p.y = ClampToInt(int64_t(saved.Bottom) - saved.Top - p.y);
    }
}

void TDrawCurve::Rotate(const TRotationInfo& info)
{
    TLinkPointsLock lock(this);
    // rotate about the centre expressed in the curve's own units; normalising the points
    // then gives the rotated rectangle
    const TRect doc = GetDocRect();
    TRotationInfo local = info;
    local.CenterX = SatSub(local.CenterX, doc.Left);
    local.CenterY = SatSub(local.CenterY, doc.Top);
    RotatePoints(FPoints, local);
    PointsChanged();
    FBrush->RotateGradient(TRotateGradientInfo{info.Angle, info.Mirror});
    RotateLinkPoints(info);
}

TRect TDrawCurve::GetRefreshRect(int x, int y) const
{
    TRect r = TDrawControl::GetRefreshRect(x, y);
    const int penWidth = FPen->GetActualWidth();
    int64_t e = 0;
    if (PenPixels() >= 1) {
        e = int64_t(penWidth) + 2000;
        int capExtent = 0;
        for (const TLineCapProp* cap : {FBeginCap, FEndCap})
            if (cap->CapStyle() != 0) {
                TLineCapMetrics m;
                if (GetLineCapInfo(cap->CapStyle(), m, cap->GetActualSize(penWidth, 1000)))
                    capExtent = std::max({capExtent, SatWidth(m.Bounds), SatHeight(m.Bounds)});
            }
        e += capExtent;
    }
    InflateRect(r, ClampToInt(e), ClampToInt(e));
    return r;
}

bool TDrawCurve::IsPointInside(int x, int y)
{
    const TPoint p = ClientToLocal(TPoint(x, y));
    const int t = ClampToInt((int64_t(MulDiv(4, 100000, OwnerScale(this))) + FPen->GetActualWidth()) / 2);
    if (p.x < -t || p.y < -t || p.x > SatAdd(GetWidth(), t) || p.y > SatAdd(GetHeight(), t))
        return false;
    const bool inside = !FBrush->IsClear() || (Owner() && Owner()->SelectAsFilled());
    const bool stroke = PenPixels() >= 1;
    if (!inside && !stroke)
        return false;
    return PointOnPath(FPoints, FTypes, p, GetPathInfo(), nullptr, t, inside, stroke);
}

void TDrawCurve::Paint(TCanvas& canvas, const TRect& paintRect)
{
    const int scale = OwnerScale(this);
    TPointArray pts;
    GetTransformPoints(paintRect.Left, paintRect.Top, scale, pts);
    if (pts.empty())
        return;
    FPen->Setup(canvas, scale);
    FBrush->Setup(canvas, scale);
    const TPathInfo* info = GetPathInfo();
    const bool fills = !FBrush->IsClear();
    const TRect paintArea = Owner() ? TRect(0, 0, Owner()->PaintWidth(), Owner()->PaintHeight()) : paintRect;
    auto customFill = [&](const TRegion& region) {
        const std::optional<TRegion> saved = IntersectClipRgn(canvas, region.Intersected(TRegion(paintArea)));
        TRect bounds = region.Bounds();
        FBrush->PaintCustomFill(canvas, bounds, paintArea);
        canvas.SelectClipRgn(saved);
        FPen->Setup(canvas, scale);
        canvas.Brush().SetStyle(bsClear);
    };
    if (!info->IsCurve && info->Figures.size() == 1) {
        const bool closed = info->Figures[0].IsClosed;
        if (closed) {
            if (FBrush->IsCustomFill()) {
                customFill(TRegion::Polygon(pts));
                canvas.Brush().SetStyle(bsClear);
            }
            canvas.Polygon(pts);
        } else {
            canvas.Polyline(pts);
        }
    } else {
        const bool curveOption = Owner() && Owner()->CurveOption();
        bool complete = true;
        TCanvasPathSink sink(canvas);
        // Puts the closed and/or the open figures into the canvas's path.
        const auto buildPath = [&](bool closedFigures, bool openFigures) {
            canvas.BeginPath();
            CreatePath(sink, pts, FTypes, closedFigures, openFigures, complete, true, info);
            canvas.EndPath();
        };
        if (fills) {
            if (FBrush->IsCustomFill()) {
                buildPath(true, true);
                customFill(canvas.PathToRegion());
                buildPath(true, true);
                canvas.StrokePath();
            } else {
                buildPath(true, curveOption);
                canvas.StrokeAndFillPath();
            }
            if (!curveOption) {
                buildPath(false, true);
                canvas.StrokePath();
            }
        } else {
            buildPath(true, true);
            canvas.StrokePath();
        }
    }
    if (FBeginCap->CapStyle() != 0 || FEndCap->CapStyle() != 0) {
        const int penPx = std::max(PenPixels(), 1);
        auto capInfo = [&](const TLineCapProp* cap) {
            TLineCapInfo ci;
            ci.Style = cap->CapStyle();
            ci.OutlineColor = cap->FixedOutlineColor() ? cap->OutlineColor() : FPen->Color();
            ci.FillColor = cap->FixedFillColor() ? cap->FillColor() : FBrush->Color();
            ci.Size = cap->GetActualSize(penPx, 1);
            return ci;
        };
        PaintLineCaps(canvas, penPx, capInfo(FBeginCap), info, FTypes, pts, capInfo(FEndCap));
    }
}

// ---------------------------------------------------------------- connector

DEFINE_DRAW_CONTROL_CLASS(TDrawConnector, TDrawCurve)

void TDrawConnector::CreateProperties()
{
    TDrawCurve::CreateProperties();
    TPropList* l = &Props();
    FRerouteMode = new TEnumProp(l, QStringLiteral("RerouteMode"));
    FRerouteMode->AddItem(QStringLiteral("Always"));
    FRerouteMode->AddItem(QStringLiteral("AsNeeded"));
    FRerouteMode->AddItem(QStringLiteral("Never"));
    FOrtogonal = new TBoolProp(l, QStringLiteral("Ortogonal"));
    FLinkA = new TLinkPointProp(l, QStringLiteral("LinkA"));
    FLinkB = new TLinkPointProp(l, QStringLiteral("LinkB"));
    for (TLinkPointProp* link : {FLinkA, FLinkB})
        link->OnLinkNotify = [this](TLinkProp* sender, const TNotifyInfo& info) { LinkCallback(sender, info); };
}

void TDrawConnector::ControlCreate()
{
    TDrawCurve::ControlCreate();
    FPoints = {TPoint(0, 0), TPoint(0, 0), TPoint(0, 0)};
    FTypes = {ptNode, ptNode, ptOpenEnd};
    FOrtogonal->SetValue(true);
}

void TDrawConnector::ControlDestroy()
{
    FLinkA->SetControl(nullptr);
    FLinkB->SetControl(nullptr);
    TDrawCurve::ControlDestroy();
}

TRerouteMode TDrawConnector::RerouteMode() const
{
    return TRerouteMode(std::clamp(FRerouteMode->EnumIndex(), 0, 2));
}

bool TDrawConnector::Ortogonal() const
{
    return FOrtogonal->GetValue();
}

bool TDrawConnector::IsConnectorControl() const
{
    return true;
}

void TDrawConnector::GetLinkProps(TLinkPointProp*& linkA, TLinkPointProp*& linkB)
{
    linkA = FLinkA;
    linkB = FLinkB;
}

void TDrawConnector::PointsChanged()
{
    ++FUnlockCount;
    try {
        TDrawCurve::PointsChanged();
    } catch (...) {
        --FUnlockCount;
        throw;
    }
    --FUnlockCount;
}

void TDrawConnector::DoNotify(TDrawNotify code)
{
    if ((code == dnPoints || code == dnLoaded) && GetPointCount() >= 2 && !FLinkUpdating && UpdateCounter() == 0) {
        FlagScope guard(FLinkUpdating);
        const TPoint origin = GetDocRect().TopLeft();
        FLinkA->SetLinkPoint(SatAdd(FPoints.front(), origin));
        FLinkB->SetLinkPoint(SatAdd(FPoints.back(), origin));
    }
    // A move of the connector's own points (an end dragged, a route) is not a move away from
    // the links: those run with the geometry unlocked.
    if ((code == dnGeometry || code == dnParent) && UpdateCounter() == 0 && !FLinkUpdating && FUnlockCount == 0 &&
        FRerouteNesting == 0 && !(Owner() && Owner()->IsLoading()))
        FollowLinks();
    TDrawCurve::DoNotify(code);
}

void TDrawConnector::ShiftInParent(int64_t dx, int64_t dy)
{
    ++FUnlockCount;
    struct Relock {
        int& n;
        ~Relock() { --n; }
    } relock{FUnlockCount};
    TDrawCurve::ShiftInParent(dx, dy);
}

bool TDrawConnector::EndsOnLinks() const
{
    if (GetPointCount() < 2)
        return true;
    const TPoint origin = GetDocRect().TopLeft();
    return (!FLinkA->IsLinked() || SatAdd(FPoints.front(), origin) == FLinkA->LinkPoint()) &&
           (!FLinkB->IsLinked() || SatAdd(FPoints.back(), origin) == FLinkB->LinkPoint());
}

void TDrawConnector::FollowLinks()
{
    if (EndsOnLinks())
        return;
    const TPoint origin = GetDocRect().TopLeft();
    {
        // a free end went along with the connector
        FlagScope guard(FLinkUpdating);
        if (!FLinkA->IsLinked())
            FLinkA->SetLinkPoint(SatAdd(FPoints.front(), origin));
        if (!FLinkB->IsLinked())
            FLinkB->SetLinkPoint(SatAdd(FPoints.back(), origin));
    }
    if (Reroute())
        return;
    // a path the router does not take (curved, or not one open figure): only the ends move
    FlagScope guard(FLinkUpdating);
    if (FLinkA->IsLinked())
        FPoints.front() = SatSub(FLinkA->LinkPoint(), origin);
    if (FLinkB->IsLinked())
        FPoints.back() = SatSub(FLinkB->LinkPoint(), origin);
    PointsChanged();
}

void TDrawConnector::LinkCallback(TLinkProp*, const TNotifyInfo& info)
{
    if (FLinkUpdating || GetPointCount() < 2 || info.Kind != TNotifyKind::Control)
        return;
    if (info.Code != dnLinkPoints && info.Code != dnGeometry)
        return;
    if (info.Control != FLinkA->LinkedControl() && info.Control != FLinkB->LinkedControl() && info.Control != this)
        return;
    if (Owner() && Owner()->IsLoading())
        return;
    // a move reaches us as a link-point and a geometry notification: route once
    if (CurrentInputs() == FLastInputs)
        return;
    Reroute();
}

TDrawConnector::RouteInputs TDrawConnector::CurrentInputs() const
{
    const TPoint origin = GetDocRect().TopLeft();
    const TPoint a = SatSub(FLinkA->LinkPoint(), origin);
    const TPoint b = SatSub(FLinkB->LinkPoint(), origin);
    return RouteInputs{FLinkA->LinkPoint(), FLinkB->LinkPoint(), LinkedRect(FLinkA, a), LinkedRect(FLinkB, b)};
}

TRect TDrawConnector::LinkedRect(TLinkPointProp* link, const TPoint& at) const
{
    if (!link->LinkedControl())
        return TRect(at.x, at.y, at.x, at.y);
    TRect r = link->LinkedControl()->GetDocRect();
    const TPoint origin = GetDocRect().TopLeft();
    r = TRect(SatSub(r.TopLeft(), origin), SatSub(r.BottomRight(), origin));
    return r;
}

bool TDrawConnector::Reroute()
{
    if (FRerouteNesting > 0)
        return false;
    ++FRerouteNesting;
    struct Down {
        int& n;
        ~Down() { --n; }
    } down{FRerouteNesting};
    ++FRerouteCount;
    struct Remember {
        TDrawConnector* c;
        ~Remember() { c->FLastInputs = c->CurrentInputs(); }
    } remember{this};
    const TPoint origin = GetDocRect().TopLeft();
    const TPoint a = SatSub(FLinkA->LinkPoint(), origin);
    const TPoint b = SatSub(FLinkB->LinkPoint(), origin);
    FlagScope guard(FLinkUpdating);
    if (!Ortogonal()) {
        if (FPoints.size() < 2) {
            FPoints = {a, b};
            FTypes = {ptNode, ptOpenEnd};
        }
        FPoints.front() = a;
        FPoints.back() = b;
        PointsChanged();
        return true;
    }
    TRouteParams params;
    params.RectA = LinkedRect(FLinkA, a);
    params.RectB = LinkedRect(FLinkB, b);
    params.RerouteMode = RerouteMode();
    params.Ortogonal = true;
    params.MinGap = Owner() ? Owner()->ConnectorsMinGap() : 8000;
    params.SameControl = FLinkA->LinkedControl() && FLinkA->LinkedControl() == FLinkB->LinkedControl();
    params.LinkA = a;
    params.LinkB = b;
    if (!RouteOrthogonalPath(FPoints, FTypes, params))
        return false;
    PointsChanged();
    return true;
}

void TDrawConnector::PropChanged(TPropList* sender, TCustomProp* prop)
{
    if (prop == FLinkA || prop == FLinkB) {
        FGeometryLocked = FLinkA->IsLinked() || FLinkB->IsLinked();
    } else if (prop == FRerouteMode && !(Owner() && Owner()->IsLoading()) && RerouteMode() != rmNever) {
        Reroute();
    }
    TDrawCurve::PropChanged(sender, prop);
}

void TDrawConnector::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawCurve::PropStored(sender, prop, propName, isStored);
    if (prop == FRerouteMode)
        isStored = FRerouteMode->EnumIndex() != 0;
    else if (prop == FOrtogonal)
        isStored = !Ortogonal();
    else if (prop == FLinkA || prop == FLinkB)
        isStored = static_cast<TLinkPointProp*>(prop)->IsLinked();
}

void TDrawConnector::PropReadOnly(TPropList* sender, TCustomProp* prop, bool& isReadOnly)
{
    TDrawCurve::PropReadOnly(sender, prop, isReadOnly);
    if (!isReadOnly && FGeometryLocked && FUnlockCount == 0 && IsGeometryProp(prop))
        isReadOnly = true;
}

void TDrawConnector::SetDocRect(const TRect& r)
{
    if (FGeometryLocked && FUnlockCount == 0)
        return;
    TDrawCurve::SetDocRect(r);
}

void TDrawConnector::Mirror(bool horz, bool vert)
{
    if (FGeometryLocked && FUnlockCount == 0)
        return;
    TDrawCurve::Mirror(horz, vert);
}

void TDrawConnector::Rotate(const TRotationInfo& info)
{
    if (FGeometryLocked && FUnlockCount == 0)
        return;
    TDrawCurve::Rotate(info);
}

void TDrawConnector::MovePathPoint(int index, int dx, int dy, bool controlsFollow, bool constrain)
{
    const int n = GetPointCount();
    if (!Ortogonal() || index <= 0 || index >= n - 1) {
        if (LayerMoveable() && index >= 0 && index < n)
            FPointDragged = true;
        TDrawCurve::MovePathPoint(index, dx, dy, controlsFollow, constrain);
        return;
    }
    if (!LayerMoveable() || (dx == 0 && dy == 0))
        return;
    FPointDragged = true;
    // An inner corner takes the segments that meet there along, so that each stays horizontal or
    // vertical; an end stays on its link point, so the corner next to it only slides along the
    // segment that leads to the end.
    const TPoint old = FPoints[std::size_t(index)];
    TPoint moved = SatAdd(old, TPoint(dx, dy));
    auto isEnd = [n](int j) { return j == 0 || j == n - 1; };
    // the direction of the segment from point j to the corner: 1 horizontal, 2 vertical, 0 none
    auto direction = [&](int j) {
        const TPoint q = FPoints[std::size_t(j)];
        if (q == old) {
            // a segment of no length takes the direction that keeps q's other segment straight
            const int k = j < index ? j - 1 : j + 1;
            if (k < 0 || k >= n)
                return 0;
            const TPoint r = FPoints[std::size_t(k)];
            return r.y == q.y ? 2 : (r.x == q.x ? 1 : 0);
        }
        return q.y == old.y ? 1 : (q.x == old.x ? 2 : 0);
    };
    const int dirs[2] = {direction(index - 1), direction(index + 1)};
    const int neighbours[2] = {index - 1, index + 1};
    for (int i = 0; i < 2; ++i) {
        if (!isEnd(neighbours[i]))
            continue;
        if (dirs[i] == 1)
            moved.y = old.y;
        else if (dirs[i] == 2)
            moved.x = old.x;
    }
    if (moved == old)
        return;
    FPoints[std::size_t(index)] = moved;
    for (int i = 0; i < 2; ++i) {
        if (isEnd(neighbours[i]))
            continue;
        TPoint& q = FPoints[std::size_t(neighbours[i])];
        if (dirs[i] == 1)
            q.y = moved.y;
        else if (dirs[i] == 2)
            q.x = moved.x;
    }
    ++FUnlockCount;
    TDrawCurve::PointsChanged();
    --FUnlockCount;
}

void TDrawConnector::MovePathSegment(int segFirst, int dx, int dy)
{
    if (!LayerMoveable() || segFirst < 0 || segFirst + 1 >= GetPointCount())
        return;
    FSegmentDragged = true;
    FDraggedSegment = segFirst;
    if (!Ortogonal()) {
        TDrawCurve::MovePathSegment(segFirst, dx, dy);
        return;
    }
    // an orthogonal segment only moves across itself, so every segment stays axis-parallel
    TPoint& p = FPoints[std::size_t(segFirst)];
    TPoint& q = FPoints[std::size_t(segFirst + 1)];
    if (p.y == q.y) {
        p.y = SatAdd(p.y, dy);
        q.y = SatAdd(q.y, dy);
    } else {
        p.x = SatAdd(p.x, dx);
        q.x = SatAdd(q.x, dx);
    }
    ++FUnlockCount;
    TDrawCurve::PointsChanged();
    --FUnlockCount;
}

void TDrawConnector::EndPointEdit()
{
    if (PointEditLevel() == 1 && FPointDragged && !FSegmentDragged) {
        FPointDragged = false;
        if (RerouteMode() != rmNever)
            Reroute();
    }
    if (PointEditLevel() == 1 && FSegmentDragged) {
        FPointDragged = false;
        FSegmentDragged = false;
        if (Ortogonal() && FPoints.size() > 4) {
            // drop pairs of coincident points around the dragged segment, keeping both ends
            const int from = std::max(FDraggedSegment - 1, 1);
            const int to = std::min(FDraggedSegment + 2, int(FPoints.size()) - 2);
            for (int i = to; i >= from; --i)
                if (i + 1 < int(FPoints.size()) - 1 && FPoints[std::size_t(i)] == FPoints[std::size_t(i + 1)] &&
                    FTypes[std::size_t(i)] == ptNode && FTypes[std::size_t(i + 1)] == ptNode) {
                    FPoints.erase(FPoints.begin() + i, FPoints.begin() + i + 2);
                    FTypes.erase(FTypes.begin() + i, FTypes.begin() + i + 2);
                }
            PointsChanged();
        }
        if (RerouteMode() != rmNever)
            Reroute();
    }
    TDrawCurve::EndPointEdit();
}
