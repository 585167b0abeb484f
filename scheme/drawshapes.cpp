#include "scheme/drawshapes.h"

#include "platform/canvas.h"
#include "scheme/drawbase.h"
#include "scheme/drawcurves.h"
#include "scheme/drawprops2.h"

#include <algorithm>

namespace {

// One minus the Bezier circle constant.
constexpr double BezierK = 0.44771525017;

// Fills the shape region with a self-painting brush, clipped to the paint area.
void PaintCustom(TCanvas& canvas, TBrushProp* brush, const TRegion& region, const TRect& paintRect,
                 const TDrawControl* c)
{
    TRect area = paintRect;
    TRegion clip = region;
    if (c->Owner()) {
        const TRect paintArea(0, 0, c->Owner()->PaintWidth(), c->Owner()->PaintHeight());
        clip = clip.Intersected(TRegion(paintArea));
        IntersectRect(area, area, paintArea);
    }
    const std::optional<TRegion> saved = IntersectClipRgn(canvas, clip);
    brush->PaintCustomFill(canvas, paintRect, area);
    canvas.SelectClipRgn(saved);
}

// Qt's ellipse and rounded-rectangle regions go wrong (and leak) past 16-bit sizes. A shape that
// large is built here row by row, and only within the bound that every window lies in: nothing
// outside it is ever painted or hit.
constexpr int kLargeShape = 1 << 15;
constexpr int kWindowBound = 1 << 15;

TRegion LargeShapeRegion(const TRect& r, bool elliptic, int roundPx)
{
    const double w = double(r.Right) - r.Left;
    const double h = double(r.Bottom) - r.Top;
    if (w <= 0 || h <= 0)
        return {};
    // the corner ellipse's radii: the whole shape for an ellipse
    const double rx = elliptic ? w / 2 : std::min(std::abs(roundPx) / 2.0, w / 2);
    const double ry = elliptic ? h / 2 : std::min(std::abs(roundPx) / 2.0, h / 2);
    const int top = std::max(r.Top, -kWindowBound);
    const int bottom = std::min(r.Bottom, kWindowBound);
    std::vector<QRect> rows;
    for (int y = top; y < bottom; ++y) {
        const double yc = y + 0.5;
        double inset = 0;  // how far the row's span starts inside the left and right edges
        const double dy = yc < r.Top + ry ? r.Top + ry - yc : (yc > r.Bottom - ry ? yc - (r.Bottom - ry) : 0.0);
        if (dy > 0 && ry > 0) {
            const double t = dy / ry;
            if (t >= 1)
                continue;
            inset = rx * (1 - std::sqrt(1 - t * t));
        }
        const int64_t left = std::max<int64_t>(std::llround(r.Left + inset), -kWindowBound);
        const int64_t right = std::min<int64_t>(std::llround(r.Right - inset), kWindowBound);
        if (left >= right)
            continue;
        if (!rows.empty() && rows.back().left() == left && rows.back().right() == right - 1 &&
            rows.back().bottom() == y - 1)
            rows.back().setBottom(y);
        else
            rows.push_back(QRect(int(left), y, int(right - left), 1));
    }
    QRegion region;
    region.setRects(rows.data(), int(rows.size()));
    return TRegion(region);
}

}  // namespace

TRegion EllipseRegion(const TRect& r)
{
    if (std::max(SatWidth(r), SatHeight(r)) > kLargeShape)
        return LargeShapeRegion(r, true, 0);
    return TRegion::Ellipse(r);
}

TRegion RoundRectRegion(const TRect& r, int roundPx)
{
    if (std::max(SatWidth(r), SatHeight(r)) > kLargeShape)
        return LargeShapeRegion(r, false, roundPx);
    return TRegion::RoundRect(r, roundPx, roundPx);
}

namespace {

// The region of a rectangle (or ellipse) shape in pixels, as painted or as hit.
TRegion ShapeRegion(TRect r, bool forHit, bool elliptic, int roundPx, int p, bool hollow)
{
    if (forHit)
        InflateRect(r, std::min(p, 2), std::min(p, 2));
    const TRect outer = p >= 2 ? TRect(r.Left + 1, r.Top + 1, r.Right, r.Bottom)
                               : TRect(r.Left, r.Top, r.Right + 1, r.Bottom + 1);
    TRegion rgn;
    if (elliptic)
        rgn = EllipseRegion(outer);
    else if (roundPx != 0)
        rgn = RoundRectRegion(outer, roundPx);
    else
        rgn = TRegion(r);
    if (!forHit || !hollow)
        return rgn;
    if (elliptic) {
        if (p == 0)
            return TRegion();
        TRect inner = r;
        InflateRect(inner, -std::max(p, 2), -std::max(p, 2));
        return rgn.Subtracted(
            EllipseRegion(TRect(inner.Left + 2, inner.Top + 2, inner.Right - 1, inner.Bottom - 1)));
    }
    TRect inner = r;
    InflateRect(inner, -std::min(p, 2), -std::min(p, 2));
    InflateRect(inner, -std::max(p, 3), -std::max(p, 3));
    const TRect innerPlus(inner.Left, inner.Top, inner.Right + 1, inner.Bottom + 1);
    if (inner.IsEmpty())
        return rgn;
    if (roundPx != 0) {
        const int ir = std::max(roundPx - std::max(p, 3), 0);
        return rgn.Subtracted(RoundRectRegion(innerPlus, ir));
    }
    return rgn.Subtracted(TRegion(innerPlus));
}

// A closed path of straight sides through the given nodes.
void SetClosedPolygon(TDrawCurve* curve, const TPointArray& nodes)
{
    TPointTypeArray types(nodes.size(), ptNode);
    if (!types.empty())
        types.back() = ptClosedEnd;
    curve->SetPointsEx(nodes, types);
}

// Builds the curve from (point, type) pairs.
void SetPath(TDrawCurve* curve, const std::vector<std::pair<TPoint, uint8_t>>& items)
{
    TPointArray points;
    TPointTypeArray types;
    for (const auto& [p, t] : items) {
        points.push_back(p);
        types.push_back(t);
    }
    curve->SetPointsEx(points, types);
}

// A curve beside the shape with its properties and name, left in an update for the caller
// to fill the path and end.
TDrawCurve* NewCurveFrom(TDrawControl* shape)
{
    TDrawCurve* curve = TDrawControl::Create<TDrawCurve>(shape->Owner(), shape->Parent(), shape->Layer());
    curve->BeginUpdate();
    CopyControlProps(shape, curve);
    curve->SetName(shape->GetName());
    return curve;
}

// Box and ellipse start as 1 x 1 with no fill colour.
void CreateFilledShape(TDrawControl* c, TBrushProp* brush)
{
    c->SetWidth(1);
    c->SetHeight(1);
    brush->SetColor(clNone);
    brush->SetBrushStyle(bsSolid);
    c->TDrawControl::ControlCreate();
    c->SetVisible(true);
}

// Sets up pen and brush and paints a self-painting fill inside the outline; gives the rectangle
// to draw the outline on (one pixel larger on the far sides when the pen paints nothing).
TRect PrepareShapePaint(TCanvas& canvas, const TDrawControl* c, TPenProp* pen, TBrushProp* brush,
                        const TRect& paintRect, bool elliptic, int roundPx)
{
    const int scale = OwnerScale(c);
    pen->Setup(canvas, scale);
    brush->Setup(canvas, scale);
    const int p = pen->GetActualPixels(scale);
    if (brush->IsCustomFill()) {
        PaintCustom(canvas, brush, ShapeRegion(paintRect, false, elliptic, roundPx, p, false), paintRect, c);
        pen->Setup(canvas, scale);
        brush->Setup(canvas, scale);
    }
    TRect r = paintRect;
    if (p == 0) {
        ++r.Right;
        ++r.Bottom;
    }
    return r;
}

}  // namespace

TPoint BoxLinkPoint(int index, int w, int h)
{
    switch (index) {
    case 0: return TPoint(0, 0);
    case 1: return TPoint(w / 2, 0);
    case 2: return TPoint(w, 0);
    case 3: return TPoint(w, h / 2);
    case 4: return TPoint(w, h);
    case 5: return TPoint(w / 2, h);
    case 6: return TPoint(0, h);
    case 7: return TPoint(0, h / 2);
    case 8: return TPoint(w / 2, h / 2);
    default: return TPoint();
    }
}

// ---------------------------------------------------------------- box

DEFINE_DRAW_CONTROL_CLASS(TDrawBox, TDrawControl)

void TDrawBox::CreateProperties()
{
    TDrawControl::CreateProperties();
    FBrush = new TBrushProp(&Props(), QStringLiteral("Brush"));
    FPen = new TPenProp(&Props(), QStringLiteral("Pen"));
    FRoundness = new TIntProp(&Props(), QStringLiteral("Roundness"));
    FRoundness->SetStyle(FRoundness->Style() | psThousandths);
}

void TDrawBox::ControlCreate()
{
    CreateFilledShape(this, FBrush);
}

int TDrawBox::GetRoundness() const
{
    return FRoundness->GetValue();
}

int TDrawBox::PenPixels() const
{
    return FPen->GetActualPixels(OwnerScale(this));
}

TRegion TDrawBox::CreateRegion(bool forHit) const
{
    const bool selectAsFilled = Owner() && Owner()->SelectAsFilled();
    const bool hollow = !FAlwaysFilled && FBrush->IsClear() && !selectAsFilled;
    return ShapeRegion(GetPixelRect(), forHit, false, ScaleClient(GetRoundness(), OwnerScale(this)), PenPixels(),
                       hollow);
}

void TDrawBox::PaintShape(TCanvas& canvas, const TRect& paintRect)
{
    const int roundPx = GetRoundness() != 0 ? ScaleClient(GetRoundness(), OwnerScale(this)) : 0;
    const TRect r = PrepareShapePaint(canvas, this, FPen, FBrush, paintRect, false, roundPx);
    if (roundPx != 0)
        canvas.RoundRect(r, roundPx, roundPx);
    else
        canvas.Rectangle(r);
}

void TDrawBox::Paint(TCanvas& canvas, const TRect& paintRect)
{
    PaintShape(canvas, paintRect);
}

bool TDrawBox::IsPointInside(int x, int y)
{
    if (GetRoundness() != 0 || FBrush->IsClear())
        return CreateRegion(true).Contains(x, y);
    return TDrawControl::IsPointInside(x, y);
}

TPoint TDrawBox::GetAnchorPoint() const
{
    const TRect doc = GetDocRect();
    TPoint p(SatAdd(doc.Left, std::min(GetRoundness(), GetWidth()) / 2), doc.Top);
    if (Owner())
        Owner()->DocToClientPoint(p);
    return p;
}

int TDrawBox::GetLinkPointCount() const
{
    return GetRoundness() != 0 ? 13 : 9;
}

TPoint TDrawBox::GetLinkPoint(int index) const
{
    const int w = GetWidth();
    const int h = GetHeight();
    const int round = GetRoundness();
    if (round == 0)
        return BoxLinkPoint(index, w, h);
    if (round > w) {
        if (index == 0 || index == 2)
            index = 1;
        else if (index == 6 || index == 8)
            index = 7;
    }
    if (round > h) {
        if (index == 3 || index == 5)
            index = 4;
        else if (index == 9 || index == 11)
            index = 10;
    }
    const int r = round / 2;
    switch (index) {
    case 0: return TPoint(r, 0);
    case 1: return TPoint(w / 2, 0);
    case 2: return TPoint(SatSub(w, r), 0);
    case 3: return TPoint(w, r);
    case 4: return TPoint(w, h / 2);
    case 5: return TPoint(w, SatSub(h, r));
    case 6: return TPoint(SatSub(w, r), h);
    case 7: return TPoint(w / 2, h);
    case 8: return TPoint(r, h);
    case 9: return TPoint(0, SatSub(h, r));
    case 10: return TPoint(0, h / 2);
    case 11: return TPoint(0, r);
    case 12: return TPoint(w / 2, h / 2);
    default: return TPoint();
    }
}

int TDrawBox::GetCreationCursor() const
{
    return crDrawBox;
}

void TDrawBox::Rotate(const TRotationInfo& info)
{
    TDrawControl::Rotate(info);
    FBrush->RotateGradient(TRotateGradientInfo{info.Angle, info.Mirror});
}

TDrawControl* TDrawBox::CreateCurveControl()
{
    TDrawCurve* curve = NewCurveFrom(this);
    const int w = GetWidth();
    const int h = GetHeight();
    const int round = GetRoundness();
    if (round == 0) {
        SetClosedPolygon(curve, {TPoint(0, 0), TPoint(w, 0), TPoint(w, h), TPoint(0, h)});
    } else {
        const int r = round / 2;
        const int c = RoundToInt(round * BezierK / 2);
        SetPath(curve, {{TPoint(r, 0), ptNode},
                        {TPoint(SatSub(w, r), 0), ptNode},
                        {TPoint(SatSub(w, c), 0), ptControl},
                        {TPoint(w, c), ptControl},
                        {TPoint(w, r), ptNode},
                        {TPoint(w, SatSub(h, r)), ptNode},
                        {TPoint(w, SatSub(h, c)), ptControl},
                        {TPoint(SatSub(w, c), h), ptControl},
                        {TPoint(SatSub(w, r), h), ptNode},
                        {TPoint(r, h), ptNode},
                        {TPoint(c, h), ptControl},
                        {TPoint(0, SatSub(h, c)), ptControl},
                        {TPoint(0, SatSub(h, r)), ptNode},
                        {TPoint(0, r), ptNode},
                        {TPoint(0, c), ptControl},
                        {TPoint(c, 0), ptControl},
                        {TPoint(r, 0), ptClosedEnd}});
    }
    curve->EndUpdate();
    return curve;
}

void TDrawBox::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (prop == FRoundness)
        DoNotify(dnOutline);
}

void TDrawBox::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawControl::PropStored(sender, prop, propName, isStored);
    if (prop == FRoundness)
        isStored = GetRoundness() != 0;
}

// ---------------------------------------------------------------- ellipse

DEFINE_DRAW_CONTROL_CLASS(TDrawEllipse, TDrawControl)

void TDrawEllipse::CreateProperties()
{
    TDrawControl::CreateProperties();
    FBrush = new TBrushProp(&Props(), QStringLiteral("Brush"));
    FPen = new TPenProp(&Props(), QStringLiteral("Pen"));
}

void TDrawEllipse::ControlCreate()
{
    CreateFilledShape(this, FBrush);
}

int TDrawEllipse::PenPixels() const
{
    return FPen->GetActualPixels(OwnerScale(this));
}

TRegion TDrawEllipse::CreateRegion(bool forHit) const
{
    const bool selectAsFilled = Owner() && Owner()->SelectAsFilled();
    return ShapeRegion(GetPixelRect(), forHit, true, 0, PenPixels(), FBrush->IsClear() && !selectAsFilled);
}

void TDrawEllipse::Paint(TCanvas& canvas, const TRect& paintRect)
{
    canvas.Ellipse(PrepareShapePaint(canvas, this, FPen, FBrush, paintRect, true, 0));
}

bool TDrawEllipse::IsPointInside(int x, int y)
{
    return CreateRegion(true).Contains(x, y);
}

TPoint TDrawEllipse::GetAnchorPoint() const
{
    const TRect doc = GetDocRect();
    TPoint p(SatAdd(doc.Left, GetWidth() / 2), doc.Top);
    if (Owner())
        Owner()->DocToClientPoint(p);
    return p;
}

int TDrawEllipse::GetLinkPointCount() const
{
    return 5;
}

TPoint TDrawEllipse::GetLinkPoint(int index) const
{
    const int w = GetWidth();
    const int h = GetHeight();
    switch (index) {
    case 0: return TPoint(w / 2, 0);
    case 1: return TPoint(w, h / 2);
    case 2: return TPoint(w / 2, h);
    case 3: return TPoint(0, h / 2);
    case 4: return TPoint(w / 2, h / 2);
    default: return TPoint();
    }
}

int TDrawEllipse::GetCreationCursor() const
{
    return crDrawEllipse;
}

void TDrawEllipse::Rotate(const TRotationInfo& info)
{
    TDrawControl::Rotate(info);
    FBrush->RotateGradient(TRotateGradientInfo{info.Angle, info.Mirror});
}

TDrawControl* TDrawEllipse::CreateCurveControl()
{
    TDrawCurve* curve = NewCurveFrom(this);
    const int w = GetWidth();
    const int h = GetHeight();
    const int cx = RoundToInt(w * BezierK / 2);
    const int cy = RoundToInt(h * BezierK / 2);
    SetPath(curve, {{TPoint(w / 2, 0), ptNode},
                    {TPoint(w - cx, 0), ptControl},
                    {TPoint(w, cy), ptControl},
                    {TPoint(w, h / 2), ptNode},
                    {TPoint(w, h - cy), ptControl},
                    {TPoint(w - cx, h), ptControl},
                    {TPoint(w / 2, h), ptNode},
                    {TPoint(cx, h), ptControl},
                    {TPoint(0, h - cy), ptControl},
                    {TPoint(0, h / 2), ptNode},
                    {TPoint(0, cy), ptControl},
                    {TPoint(cx, 0), ptControl},
                    {TPoint(w / 2, 0), ptClosedEnd}});
    curve->EndUpdate();
    return curve;
}

// ---------------------------------------------------------------- picture

DEFINE_DRAW_CONTROL_CLASS(TDrawPicture, TDrawControl)

void TDrawPicture::CreateProperties()
{
    TDrawControl::CreateProperties();
    FAutoSize = new TBoolProp(&Props(), QStringLiteral("AutoSize"));
    FPicture = new TPictureProp(&Props(), QStringLiteral("Picture"));
    FFrameIndex = new TIntProp(&Props(), QStringLiteral("FrameIndex"));
}

void TDrawPicture::ControlCreate()
{
    SetWidth(1);
    SetHeight(1);
    TDrawControl::ControlCreate();
    SetVisible(true);
}

void TDrawPicture::Paint(TCanvas& canvas, const TRect& paintRect)
{
    if (FPicture->HasGraphic()) {
        FPicture->Draw(canvas, paintRect, Owner() && Owner()->PictureOption(), FFrameIndex->GetValue());
        return;
    }
    if (!Owner() || !Owner()->IsDesigning() || Owner()->IsExporting())
        return;
    canvas.Brush().SetStyle(bsClear);
    canvas.Rectangle(paintRect);
    if (paintRect.Width() > 1 && paintRect.Height() > 1) {
        canvas.MoveTo(paintRect.Left, paintRect.Top);
        canvas.LineTo(paintRect.Right - 1, paintRect.Bottom - 1);
        canvas.MoveTo(paintRect.Right - 1, paintRect.Top);
        canvas.LineTo(paintRect.Left, paintRect.Bottom - 1);
    }
}

bool TDrawPicture::IsPointInside(int x, int y)
{
    if (!FPicture->HasGraphic() && !(Owner() && Owner()->IsDesigning()))
        return false;
    return TDrawControl::IsPointInside(x, y);
}

void TDrawPicture::ApplyAutoSize()
{
    const TRect frame = FPicture->GetFrameRect();
    WidthProp()->SetStyle(WidthProp()->Style() & uint8_t(~psReadOnly));
    HeightProp()->SetStyle(HeightProp()->Style() & uint8_t(~psReadOnly));
    if (FPicture->HasGraphic() && !frame.IsEmpty()) {
        BeginUpdate();
        SetWidth(frame.Width() * 1000);
        SetHeight(frame.Height() * 1000);
        EndUpdate();
    }
    WidthProp()->SetStyle(WidthProp()->Style() | psReadOnly);
    HeightProp()->SetStyle(HeightProp()->Style() | psReadOnly);
}

void TDrawPicture::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (prop == FAutoSize) {
        if (FAutoSize->GetValue()) {
            ApplyAutoSize();
        } else {
            WidthProp()->SetStyle(WidthProp()->Style() & uint8_t(~psReadOnly));
            HeightProp()->SetStyle(HeightProp()->Style() & uint8_t(~psReadOnly));
        }
    } else if (prop == FPicture && FAutoSize->GetValue() && FPicture->HasGraphic()) {
        ApplyAutoSize();
    }
}

void TDrawPicture::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawControl::PropStored(sender, prop, propName, isStored);
    if (prop == FAutoSize)
        isStored = FAutoSize->GetValue();
    else if (prop == FFrameIndex)
        isStored = FFrameIndex->GetValue() != 0;  // 0 is what a read starts from
}

int TDrawPicture::GetLinkPointCount() const
{
    return 9;
}

TPoint TDrawPicture::GetLinkPoint(int index) const
{
    return BoxLinkPoint(index, SatSub(GetWidth(), 1000), SatSub(GetHeight(), 1000));
}

int TDrawPicture::GetCreationCursor() const
{
    return crDrawPicture;
}
