#include "platform/canvas.h"

#include "platform/bitmap.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Coordinates are clamped to this before integer arithmetic on rectangles, so that document
// coordinates far outside the device cannot overflow; it is far beyond any device size.
constexpr int kLimit = 1 << 24;
// Largest area rasterised to build a region from a path (pixels).
constexpr std::int64_t kMaxRasterArea = std::int64_t(1) << 24;

int Clamp(std::int64_t v) { return int(std::clamp<std::int64_t>(v, -kLimit, kLimit)); }

// QRect from exclusive edges, clamped.
QRect MakeRect(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b)
{
    const int cl = Clamp(l), ct = Clamp(t), cr = Clamp(r), cb = Clamp(b);
    if (cr <= cl || cb <= ct)
        return {};
    return QRect(cl, ct, cr - cl, cb - ct);
}

QRect Inflated(const QRect& r, int d)
{
    if (r.isNull())
        return r;
    return MakeRect(std::int64_t(r.left()) - d, std::int64_t(r.top()) - d,
                    std::int64_t(r.left()) + r.width() + d, std::int64_t(r.top()) + r.height() + d);
}

QRect PathBounds(const QPainterPath& path, int margin)
{
    const QRectF b = path.controlPointRect();
    return MakeRect(std::int64_t(std::floor(b.left())) - margin, std::int64_t(std::floor(b.top())) - margin,
                    std::int64_t(std::ceil(b.right())) + margin + 1,
                    std::int64_t(std::ceil(b.bottom())) + margin + 1);
}

QRgb ToRgb(TColor c)
{
    const TColor v = ColorToRGB(c);
    return qRgb(GetRValue(v), GetGValue(v), GetBValue(v));
}

bool IsStyled(TPenStyle s) { return s == psDash || s == psDot || s == psDashDot || s == psDashDotDot; }

QImage HatchTexture(TBrushStyle style, TColor color)
{
    QImage img(8, 8, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    const QRgb c = ToRgb(color);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool on = false;
            switch (style) {
            case bsHorizontal: on = y == 7; break;
            case bsVertical: on = x == 7; break;
            case bsFDiagonal: on = x == y; break;
            case bsBDiagonal: on = x + y == 7; break;
            case bsCross: on = x == 7 || y == 7; break;
            case bsDiagCross: on = x == y || x + y == 7; break;
            default: break;
            }
            if (on)
                img.setPixel(x, y, c);
        }
    }
    return img;
}

QPainter::CompositionMode RasterOpFor(TPenMode mode)
{
    switch (mode) {
    case pmBlack: return QPainter::RasterOp_ClearDestination;
    case pmWhite: return QPainter::RasterOp_SetDestination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    case pmMergePenNot: return QPainter::RasterOp_SourceOrNotDestination;
    case pmMaskPenNot: return QPainter::RasterOp_SourceAndNotDestination;
    case pmMergeNotPen: return QPainter::RasterOp_NotSourceOrDestination;
    case pmMaskNotPen: return QPainter::RasterOp_NotSourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotMerge: return QPainter::RasterOp_NotSourceAndNotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotMask: return QPainter::RasterOp_NotSourceOrNotDestination;
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

bool IsMaskableFormat(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

// Pixels whose centres lie inside the path, gathered row by row from an aliased fill.
QRegion RasterizePath(const QPainterPath& path, const QRect& window = QRect())
{
    QRect b = PathBounds(path, 1);
    if (!window.isNull())
        b = b.intersected(window);
    if (b.isEmpty())
        return {};
    if (std::int64_t(b.width()) * b.height() > kMaxRasterArea)
        return QRegion(path.toFillPolygon().toPolygon(), path.fillRule());
    QImage img(b.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter ip(&img);
        ip.setRenderHint(QPainter::Antialiasing, false);
        ip.translate(-b.left(), -b.top());
        ip.fillPath(path, Qt::black);
    }
    std::vector<QRect> rects;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int x = 0;
        while (x < img.width()) {
            while (x < img.width() && qAlpha(row[x]) == 0)
                ++x;
            const int start = x;
            while (x < img.width() && qAlpha(row[x]) != 0)
                ++x;
            if (x > start)
                rects.emplace_back(b.left() + start, b.top() + y, x - start, 1);
        }
    }
    QRegion region;
    if (!rects.empty())
        region.setRects(rects.data(), int(rects.size()));
    return region;
}

// The pixels of r that lie at least w pixels (4-connected) inside its edge.
QRegion Erode(const QRegion& r, int w)
{
    QRegion inner = r;
    for (int i = 0; i < w && !inner.isEmpty(); ++i)
        inner = inner.intersected(inner.translated(1, 0))
                    .intersected(inner.translated(-1, 0))
                    .intersected(inner.translated(0, 1))
                    .intersected(inner.translated(0, -1));
    return inner;
}

Qt::FillRule ToFillRule(TPolyFillMode mode) { return mode == WINDING ? Qt::WindingFill : Qt::OddEvenFill; }

QPolygon ToPolygon(const TPoint* points, int count)
{
    QPolygon poly;
    poly.reserve(count);
    for (int i = 0; i < count; ++i)
        poly.append(QPoint(points[i].x, points[i].y));
    return poly;
}

}  // namespace

// ---- TRegion --------------------------------------------------------------------------------

TRegion::TRegion(const TRect& r)
{
    const TRect n = NormalizeRect(r);
    const QRect q = MakeRect(n.Left, n.Top, n.Right, n.Bottom);
    if (!q.isEmpty())
        region_ = QRegion(q);
}

TRegion TRegion::Ellipse(const TRect& r)
{
    const TRect n = NormalizeRect(r);
    const QRect q = MakeRect(n.Left, n.Top, n.Right, n.Bottom);
    if (q.isEmpty())
        return {};
    return TRegion(QRegion(q, QRegion::Ellipse));
}

TRegion TRegion::RoundRect(const TRect& r, int w, int h)
{
    const TRect n = NormalizeRect(r);
    const QRect q = MakeRect(n.Left, n.Top, n.Right, n.Bottom);
    if (q.isEmpty())
        return {};
    QPainterPath path;
    path.addRoundedRect(QRectF(q), std::abs(w) / 2.0, std::abs(h) / 2.0);
    return TRegion(RasterizePath(path));
}

TRegion TRegion::Polygon(const TPoint* points, int count, TPolyFillMode mode)
{
    if (!points || count < 3)
        return {};
    QPainterPath path;
    path.addPolygon(QPolygonF(ToPolygon(points, count)));
    path.closeSubpath();
    path.setFillRule(ToFillRule(mode));
    return TRegion(RasterizePath(path));
}

TRegion TRegion::Polygon(const std::vector<TPoint>& points, TPolyFillMode mode)
{
    return Polygon(points.data(), int(points.size()), mode);
}

TRegion TRegion::FromPath(const QPainterPath& path)
{
    if (path.isEmpty())
        return {};
    return TRegion(RasterizePath(path));
}

TRect TRegion::Bounds() const
{
    if (region_.isEmpty())
        return {};
    return TRect(region_.boundingRect());
}

bool TRegion::Intersects(const TRect& r) const
{
    const QRect q = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    return !q.isEmpty() && region_.intersects(q);
}

std::vector<TRect> TRegion::Rects() const
{
    std::vector<TRect> out;
    out.reserve(size_t(region_.rectCount()));
    for (const QRect& q : region_)
        out.emplace_back(q);
    return out;
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, TRegionOp op)
{
    switch (op) {
    case RGN_AND: return a.Intersected(b);
    case RGN_OR: return a.United(b);
    case RGN_XOR: return a.Xored(b);
    case RGN_DIFF: return a.Subtracted(b);
    case RGN_COPY: return a;
    }
    return a;
}

// ---- TCanvas: device and state ---------------------------------------------------------------

struct TCanvas::SavedState {
    TPen pen;
    TBrush brush;
    TFont font;
    TPoint penPos;
    TPoint brushOrigin;
    TPolyFillMode polyFillMode;
    std::optional<TRegion> clip;
};

TCanvas::TCanvas() = default;

TCanvas::TCanvas(QImage* image) { SetDevice(image); }

TCanvas::TCanvas(QPaintDevice* device) { SetDevice(device); }

TCanvas::TCanvas(QPainter* painter) { SetDevice(painter); }

TCanvas::~TCanvas() { Release(); }

void TCanvas::ResetState()
{
    clip_.reset();
    saved_.clear();
    ClearPath();
    inPath_ = false;
}

void TCanvas::SetDevice(QImage* image)
{
    Release();
    external_ = nullptr;
    image_ = image;
    device_ = image;
    ResetState();
}

void TCanvas::SetDevice(QPaintDevice* device)
{
    Release();
    external_ = nullptr;
    device_ = device;
    image_ = device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    ResetState();
}

void TCanvas::SetDevice(QPainter* painter)
{
    Release();
    external_ = painter;
    device_ = painter ? painter->device() : nullptr;
    image_ = device_ && device_->devType() == QInternal::Image ? static_cast<QImage*>(device_) : nullptr;
    ResetState();
}

bool TCanvas::HasDevice() const { return device_ != nullptr; }

QPaintDevice* TCanvas::Device() const { return device_; }

void TCanvas::Release()
{
    if (own_) {
        own_->end();
        own_.reset();
    }
}

QPainter* TCanvas::Prepare()
{
    if (external_)
        return external_->isActive() ? external_ : nullptr;
    if (!device_)
        return nullptr;
    if (own_)
        return own_.get();
    if ((image_ && image_->isNull()) || device_->width() <= 0 || device_->height() <= 0)
        return nullptr;
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(device_))
        return nullptr;
    own_ = std::move(painter);
    return own_.get();
}

QPainter* TCanvas::Painter()
{
    QPainter* p = Prepare();
    if (p && !external_)
        ApplyClip(*p);
    return p;
}

void TCanvas::ApplyClip(QPainter& p) const
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (clip_)
        p.setClipRegion(clip_->ToQRegion(), external_ ? Qt::IntersectClip : Qt::ReplaceClip);
    else if (!external_)
        p.setClipping(false);
}

QRect TCanvas::DeviceRect() const
{
    if (!device_)
        return {};
    return QRect(0, 0, device_->width(), device_->height());
}

void TCanvas::Changed()
{
    if (OnChange)
        OnChange();
}

void TCanvas::Paint(const QRect& bounds, TPenMode mode, const std::function<void(QPainter&)>& fn)
{
    if (mode == pmNop)
        return;
    QPainter* pp = Prepare();
    if (!pp)
        return;
    QPainter& p = *pp;
    if (mode == pmCopy) {
        p.save();
        ApplyClip(p);
        fn(p);
        p.restore();
        Changed();
        return;
    }
    if (image_ && IsMaskableFormat(image_->format()) && p.deviceTransform().isIdentity()) {
        // Render the shape alone, then combine each covered pixel with the destination.
        QRect b = bounds.intersected(DeviceRect());
        if (clip_)
            b = b.intersected(clip_->ToQRegion().boundingRect());
        if (b.isEmpty())
            return;
        QImage mask(b.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter mp(&mask);
            mp.setRenderHint(QPainter::Antialiasing, false);
            mp.setRenderHint(QPainter::TextAntialiasing, false);
            mp.translate(-b.left(), -b.top());
            if (clip_)
                mp.setClipRegion(clip_->ToQRegion());
            fn(mp);
        }
        QImage patch = image_->copy(b);
        for (int y = 0; y < b.height(); ++y) {
            const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
            auto* d = reinterpret_cast<QRgb*>(patch.scanLine(y));
            for (int x = 0; x < b.width(); ++x) {
                if (qAlpha(m[x]) == 0)
                    continue;
                d[x] = 0xFF000000u | ApplyPenMode(mode, m[x] & 0xFFFFFFu, d[x] & 0xFFFFFFu);
            }
        }
        p.save();
        if (!external_)
            p.setClipping(false);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(b.topLeft(), patch);
        p.restore();
        Changed();
        return;
    }
    p.save();
    ApplyClip(p);
    p.setCompositionMode(RasterOpFor(mode));
    fn(p);
    p.restore();
    Changed();
}

bool TCanvas::PenVisible() const { return pen_.Style() != psClear; }

void TCanvas::SetupPen(QPainter& p, bool background) const
{
    if (!PenVisible()) {
        p.setPen(Qt::NoPen);
        return;
    }
    const bool styled = IsStyled(pen_.Style());
    const int w = styled ? 1 : std::max(1, pen_.Width());
    QPen pen(QColor(ToRgb(background ? brush_.Color() : pen_.Color())));
    if (w == 1) {
        pen.setWidth(1);
        pen.setCosmetic(true);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
    } else {
        pen.setWidth(w);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    if (styled && !background) {
        switch (pen_.Style()) {
        case psDash: pen.setDashPattern({18, 6}); break;
        case psDot: pen.setDashPattern({3, 3}); break;
        case psDashDot: pen.setDashPattern({9, 6, 3, 6}); break;
        case psDashDotDot: pen.setDashPattern({9, 3, 3, 3, 3, 3}); break;
        default: break;
        }
    }
    p.setPen(pen);
}

void TCanvas::SetupBrush(QPainter& p) const
{
    switch (brush_.Style()) {
    case bsClear: p.setBrush(Qt::NoBrush); return;
    case bsSolid: p.setBrush(QColor(ToRgb(brush_.Color()))); return;
    default:
        p.setBrush(QBrush(HatchTexture(brush_.Style(), brush_.Color())));
        p.setBrushOrigin(brushOrigin_.x, brushOrigin_.y);
        return;
    }
}

// ---- Lines and shapes ------------------------------------------------------------------------

void TCanvas::MoveTo(int x, int y)
{
    penPos_ = {x, y};
    if (inPath_) {
        figures_.push_back({QPainterPath(QPointF(x, y)), false});
        figureOpen_ = true;
    }
}

void TCanvas::LineTo(int x, int y)
{
    const TPoint a = penPos_;
    penPos_ = {x, y};
    if (inPath_) {
        EnsureFigure();
        figures_.back().path.lineTo(x, y);
        return;
    }
    if (!PenVisible() || a == penPos_)
        return;
    const int w = std::max(1, pen_.Width());
    const QRect bounds = MakeRect(std::min(a.x, x) - std::int64_t(w) - 2, std::min(a.y, y) - std::int64_t(w) - 2,
                                  std::max(a.x, x) + std::int64_t(w) + 3, std::max(a.y, y) + std::int64_t(w) + 3);
    const bool bk = IsStyled(pen_.Style()) && brush_.Style() == bsSolid;
    const QLineF line(a.x, a.y, x, y);
    Paint(bounds, pen_.Mode(), [&](QPainter& p) {
        if (bk) {
            SetupPen(p, true);
            p.drawLine(line);
        }
        SetupPen(p, false);
        p.drawLine(line);
    });
}

void TCanvas::Rectangle(int l, int t, int r, int b)
{
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    if (inPath_) {
        QPainterPath f(QPointF(l, t));
        f.lineTo(l, b - 1);
        f.lineTo(r - 1, b - 1);
        f.lineTo(r - 1, t);
        f.closeSubpath();
        AddFigure(f, true);
        return;
    }
    if (r == l || b == t)
        return;
    const bool pen = PenVisible();
    const bool brush = brush_.Style() != bsClear;
    if (!pen) {
        if (!brush)
            return;
        const QRect fill = MakeRect(l, t, std::int64_t(r) - 1, std::int64_t(b) - 1);
        if (fill.isEmpty())
            return;
        Paint(fill, pen_.Mode(), [&](QPainter& p) {
            SetupBrush(p);
            p.fillRect(fill, p.brush());
        });
        return;
    }
    const bool styled = IsStyled(pen_.Style());
    const int w = styled ? 1 : std::max(1, pen_.Width());
    // The outline band: inside the box for thin and inside-frame pens, centred on it otherwise.
    const int grow = (w > 1 && pen_.Style() != psInsideFrame) ? (w - 1) / 2 : 0;
    const QRect outer = MakeRect(std::int64_t(l) - grow, std::int64_t(t) - grow, std::int64_t(r) + grow,
                                 std::int64_t(b) + grow);
    if (outer.isEmpty())
        return;
    const int ol = outer.left(), ot = outer.top();
    const int orr = ol + outer.width(), ob = ot + outer.height();
    const QRect inner = MakeRect(std::int64_t(ol) + w, std::int64_t(ot) + w, std::int64_t(orr) - w,
                                 std::int64_t(ob) - w);
    const bool bk = styled && brush_.Style() == bsSolid;
    Paint(outer, pen_.Mode(), [&](QPainter& p) {
        if (brush && !inner.isEmpty()) {
            SetupBrush(p);
            p.fillRect(inner, p.brush());
        }
        if (styled) {
            const QRect frame(ol, ot, outer.width() - 1, outer.height() - 1);
            p.setBrush(Qt::NoBrush);
            if (bk) {
                SetupPen(p, true);
                p.drawRect(frame);
            }
            SetupPen(p, false);
            p.drawRect(frame);
            return;
        }
        const QColor c(ToRgb(pen_.Color()));
        if (inner.isEmpty()) {
            p.fillRect(outer, c);
            return;
        }
        p.fillRect(QRect(ol, ot, outer.width(), w), c);
        p.fillRect(QRect(ol, ob - w, outer.width(), w), c);
        p.fillRect(QRect(ol, ot + w, w, outer.height() - 2 * w), c);
        p.fillRect(QRect(orr - w, ot + w, w, outer.height() - 2 * w), c);
    });
}

namespace {

// The rectangle an ellipse or rounded rectangle in (l, t, r, b) is traced on: its outline falls
// inside the box for a pen of width w (0 for no pen).
QRectF ShapeRect(int l, int t, int r, int b, int w)
{
    const double W = double(r) - l, H = double(b) - t;
    if (w <= 0)
        return QRectF(l, t, std::max(0.0, W - 1), std::max(0.0, H - 1));
    if (w == 1)  // a thin outline runs through the centres of the box's edge pixels
        return QRectF(l + 0.5, t + 0.5, std::max(0.0, W - 1), std::max(0.0, H - 1));
    return QRectF(l + w / 2.0, t + w / 2.0, std::max(0.0, W - w), std::max(0.0, H - w));
}

}  // namespace

void TCanvas::StrokeFill(const QPainterPath& path, bool stroke, bool fill)
{
    const bool pen = stroke && PenVisible();
    const bool brush = fill && brush_.Style() != bsClear;
    if (!pen && !brush)
        return;
    const int w = std::max(1, pen_.Width());
    const bool bk = pen && IsStyled(pen_.Style()) && brush_.Style() == bsSolid;
    Paint(PathBounds(path, w + 2), pen_.Mode(), [&](QPainter& p) {
        if (brush) {
            SetupBrush(p);
            p.setPen(Qt::NoPen);
            p.drawPath(path);
        }
        if (pen) {
            p.setBrush(Qt::NoBrush);
            if (bk) {
                SetupPen(p, true);
                p.drawPath(path);
            }
            SetupPen(p, false);
            p.drawPath(path);
        }
    });
}

void TCanvas::RoundRect(int l, int t, int r, int b, int w, int h)
{
    const double rx = std::abs(w) / 2.0, ry = std::abs(h) / 2.0;
    DrawShape(l, t, r, b, [rx, ry](QPainterPath& path, const QRectF& rect) { path.addRoundedRect(rect, rx, ry); });
}

void TCanvas::Ellipse(int l, int t, int r, int b)
{
    DrawShape(l, t, r, b, [](QPainterPath& path, const QRectF& rect) { path.addEllipse(rect); });
}

void TCanvas::DrawShape(int l, int t, int r, int b, const std::function<void(QPainterPath&, const QRectF&)>& add)
{
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    if (inPath_) {
        QPainterPath path;
        add(path, ShapeRect(l, t, r, b, 1));
        AddFigure(path, true);
        return;
    }
    if (r == l || b == t)
        return;
    if (!PenVisible() || IsStyled(pen_.Style())) {
        QPainterPath path;
        add(path, ShapeRect(l, t, r, b, PenVisible() ? 1 : 0));
        StrokeFill(path, true, true);
        return;
    }
    // A solid outline is the shape's own edge pixels, so that it closes without gaps and the
    // fill stays inside it.
    const QRect device = DeviceRect();
    if (device.isEmpty())
        return;
    const int w = std::max(1, pen_.Width());
    const int grow = (w > 1 && pen_.Style() != psInsideFrame) ? (w - 1) / 2 : 0;
    QPainterPath shape;
    add(shape, QRectF(double(l) - grow, double(t) - grow, double(r) - l + 2.0 * grow, double(b) - t + 2.0 * grow));
    const QRegion all = RasterizePath(shape, Inflated(device, w + 2));
    if (all.isEmpty())
        return;
    const QRegion inner = Erode(all, w);
    const QRegion outline = all.subtracted(inner);
    const bool brush = brush_.Style() != bsClear;
    Paint(all.boundingRect(), pen_.Mode(), [&](QPainter& p) {
        if (brush) {
            SetupBrush(p);
            const QBrush fill = p.brush();
            for (const QRect& rc : inner)
                p.fillRect(rc, fill);
        }
        const QColor c(ToRgb(pen_.Color()));
        for (const QRect& rc : outline)
            p.fillRect(rc, c);
    });
}

void TCanvas::Polygon(const TPoint* points, int count)
{
    if (!points || count < 2)
        return;
    QPainterPath path;
    path.addPolygon(QPolygonF(ToPolygon(points, count)));
    path.closeSubpath();
    path.setFillRule(ToFillRule(polyFillMode_));
    if (inPath_) {
        AddFigure(path, true);
        return;
    }
    StrokeFill(path, true, true);
}

void TCanvas::Polyline(const TPoint* points, int count)
{
    if (!points || count < 2)
        return;
    QPainterPath path;
    path.addPolygon(QPolygonF(ToPolygon(points, count)));
    if (inPath_) {
        AddFigure(path, false);
        return;
    }
    StrokeFill(path, true, false);
}

void TCanvas::PolyBezier(const TPoint* points, int count)
{
    if (!points || count < 4)
        return;
    QPainterPath path(QPointF(points[0].x, points[0].y));
    for (int i = 1; i + 2 < count; i += 3)
        path.cubicTo(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, points[i + 2].x, points[i + 2].y);
    if (inPath_) {
        AddFigure(path, false);
        return;
    }
    StrokeFill(path, true, false);
}

namespace {

QPainterPath ArcPath(int l, int t, int r, int b, int x1, int y1, int x2, int y2, bool pie)
{
    const QRectF rect(std::min(l, r), std::min(t, b), std::abs(double(r) - l) - 1, std::abs(double(b) - t) - 1);
    const QPointF c = rect.center();
    const auto angle = [&](int x, int y) {
        return std::atan2(-(y - c.y()) * rect.width(), (x - c.x()) * rect.height()) * 180.0 / M_PI;
    };
    const double a1 = angle(x1, y1);
    double sweep = angle(x2, y2) - a1;
    while (sweep <= 0)
        sweep += 360.0;
    QPainterPath path;
    if (pie) {
        path.moveTo(c);
        path.arcTo(rect, a1, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(rect, a1);
        path.arcTo(rect, a1, sweep);
    }
    return path;
}

}  // namespace

void TCanvas::Arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2)
{
    const QPainterPath path = ArcPath(l, t, r, b, x1, y1, x2, y2, false);
    if (inPath_) {
        AddFigure(path, false);
        return;
    }
    StrokeFill(path, true, false);
}

void TCanvas::Pie(int l, int t, int r, int b, int x1, int y1, int x2, int y2)
{
    const QPainterPath path = ArcPath(l, t, r, b, x1, y1, x2, y2, true);
    if (inPath_) {
        AddFigure(path, true);
        return;
    }
    StrokeFill(path, true, true);
}

void TCanvas::FillRect(const TRect& r)
{
    if (brush_.Style() == bsClear)
        return;
    const QRect q = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    if (q.isEmpty())
        return;
    Paint(q, pmCopy, [&](QPainter& p) {
        SetupBrush(p);
        p.fillRect(q, p.brush());
    });
}

void TCanvas::FrameRect(const TRect& r)
{
    if (brush_.Style() == bsClear)
        return;
    const QRect q = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    if (q.isEmpty())
        return;
    const TRegion frame = TRegion(QRegion(q)).Subtracted(TRegion(QRegion(Inflated(q, -1))));
    FillRgn(frame);
}

void TCanvas::DrawFocusRect(const TRect& r)
{
    const QRect q = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    if (q.isEmpty())
        return;
    // Every other pixel of the frame, in a checkerboard anchored at the device origin.
    QImage checker(2, 2, QImage::Format_ARGB32_Premultiplied);
    checker.fill(Qt::transparent);
    checker.setPixel(0, 0, 0xFFFFFFFFu);
    checker.setPixel(1, 1, 0xFFFFFFFFu);
    const QRegion frame = QRegion(q).subtracted(QRegion(Inflated(q, -1)));
    Paint(q, pmXor, [&](QPainter& p) {
        QBrush brush(checker);
        p.setBrushOrigin(0, 0);
        for (const QRect& rc : frame)
            p.fillRect(rc, brush);
    });
}

void TCanvas::InvertRect(const TRect& r) { InvertRgn(TRegion(r)); }

void TCanvas::InvertRgn(const TRegion& region)
{
    if (region.IsEmpty())
        return;
    const QRegion& q = region.ToQRegion();
    Paint(q.boundingRect(), pmNot, [&](QPainter& p) {
        for (const QRect& rc : q)
            p.fillRect(rc, Qt::black);
    });
}

void TCanvas::FillRgn(const TRegion& region)
{
    if (region.IsEmpty() || brush_.Style() == bsClear)
        return;
    const QRegion& q = region.ToQRegion();
    Paint(q.boundingRect(), pmCopy, [&](QPainter& p) {
        SetupBrush(p);
        const QBrush brush = p.brush();
        for (const QRect& rc : q)
            p.fillRect(rc, brush);
    });
}

void TCanvas::FrameRgn(const TRegion& region, int w, int h)
{
    if (region.IsEmpty() || w <= 0 || h <= 0)
        return;
    const QRegion& q = region.ToQRegion();
    const QRegion inner = q.intersected(q.translated(w, 0))
                              .intersected(q.translated(-w, 0))
                              .intersected(q.translated(0, h))
                              .intersected(q.translated(0, -h));
    FillRgn(TRegion(q.subtracted(inner)));
}

TColor TCanvas::Pixel(int x, int y) const
{
    if (!image_ || !image_->rect().contains(x, y))
        return clNone;
    const QRgb v = image_->pixel(x, y);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    const QRect q(x, y, 1, 1);
    Paint(q, pmCopy, [&](QPainter& p) { p.fillRect(q, QColor(ToRgb(color))); });
}

// ---- Text ------------------------------------------------------------------------------------

void TCanvas::DrawTextLine(QPainter& p, int x, int y, const QString& text, int underline, bool opaque) const
{
    const QFont qf = font_.ToQFont();
    const QFontMetrics fm(qf);
    const int w = fm.horizontalAdvance(text);
    const int h = fm.ascent() + fm.descent();
    p.save();
    p.translate(x, y);
    if (font_.Orientation() % 3600 != 0)
        p.rotate(-font_.Orientation() / 10.0);
    if (opaque && brush_.Style() == bsSolid)
        p.fillRect(QRect(0, 0, w, h), QColor(ToRgb(brush_.Color())));
    const QColor color(ToRgb(font_.Color()));
    p.setFont(qf);
    p.setPen(color);
    p.drawText(QPoint(0, fm.ascent()), text);
    if (underline >= 0 && underline < text.size()) {
        const int ux = fm.horizontalAdvance(text.left(underline));
        const int uw = fm.horizontalAdvance(text.at(underline));
        p.fillRect(QRect(ux, fm.ascent() + std::max(1, fm.underlinePos()), uw, std::max(1, fm.lineWidth())), color);
    }
    p.restore();
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    if (inPath_)
        return;
    Paint(QRect(), pmCopy, [&](QPainter& p) { DrawTextLine(p, x, y, text, -1, true); });
    penPos_ = {int(std::clamp<std::int64_t>(std::int64_t(x) + TextWidth(text), INT32_MIN, INT32_MAX)), y};
}

void TCanvas::TextRect(const TRect& r, int x, int y, const QString& text)
{
    const QRect q = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    if (q.isEmpty())
        return;
    Paint(q, pmCopy, [&](QPainter& p) {
        p.setClipRect(q, Qt::IntersectClip);
        if (brush_.Style() == bsSolid)
            p.fillRect(q, QColor(ToRgb(brush_.Color())));
        DrawTextLine(p, x, y, text, -1, false);
    });
}

TSize TCanvas::TextExtent(const QString& text) const
{
    const QFontMetrics fm(font_.ToQFont());
    return {fm.horizontalAdvance(text), fm.ascent() + fm.descent()};
}

TTextMetric TCanvas::TextMetrics() const
{
    const QFont qf = font_.ToQFont();
    const QFontMetrics fm(qf);
    TTextMetric tm;
    tm.Ascent = fm.ascent();
    tm.Descent = fm.descent();
    tm.Height = tm.Ascent + tm.Descent;
    tm.InternalLeading = std::max(0, tm.Height - qf.pixelSize());
    tm.ExternalLeading = std::max(0, fm.leading());
    tm.AveCharWidth = fm.averageCharWidth();
    tm.MaxCharWidth = fm.maxWidth();
    return tm;
}

namespace {

struct TextLine {
    QString text;
    int start = 0;  // index of its first character in the prefix-stripped text
};

QString ExpandTabs(const QString& text)
{
    QString out;
    int column = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('\t')) {
            const int n = 8 - column % 8;
            out += QString(n, QLatin1Char(' '));
            column += n;
        } else {
            out += c;
            column = (c == QLatin1Char('\n') || c == QLatin1Char('\r')) ? 0 : column + 1;
        }
    }
    return out;
}

// Breaks one paragraph at blanks so that each line fits width; a word longer than the width
// stands alone on its line.
void WrapParagraph(const QFontMetrics& fm, const QString& s, int start, int width, std::vector<TextLine>& out)
{
    int pos = 0;
    const int n = int(s.size());
    if (n == 0) {
        out.push_back({QString(), start});
        return;
    }
    while (pos < n) {
        if (fm.horizontalAdvance(s.mid(pos)) <= width) {
            out.push_back({s.mid(pos), start + pos});
            return;
        }
        int best = -1;  // end (exclusive) of the longest fitting run that ends before a blank
        for (int i = pos + 1; i <= n; ++i) {
            if (i < n && s.at(i) != QLatin1Char(' '))
                continue;
            if (s.at(i - 1) == QLatin1Char(' '))
                continue;
            if (fm.horizontalAdvance(s.mid(pos, i - pos)) <= width)
                best = i;
            else
                break;
        }
        if (best < 0) {
            int i = pos;
            while (i < n && s.at(i) != QLatin1Char(' '))
                ++i;
            best = std::max(i, pos + 1);
        }
        out.push_back({s.mid(pos, best - pos), start + pos});
        pos = best;
        while (pos < n && s.at(pos) == QLatin1Char(' '))
            ++pos;
    }
}

}  // namespace

int TCanvas::DrawText(const QString& text, TRect& r, unsigned flags)
{
    const QFont qf = font_.ToQFont();
    const QFontMetrics fm(qf);
    const int lineHeight = fm.ascent() + fm.descent();
    const QString source = (flags & DT_EXPANDTABS) ? ExpandTabs(text) : text;

    QString s;
    int underline = -1;
    if (flags & DT_NOPREFIX) {
        s = source;
    } else {
        for (int i = 0; i < source.size(); ++i) {
            const QChar c = source.at(i);
            if (c != QLatin1Char('&')) {
                s += c;
                continue;
            }
            if (i + 1 < source.size() && source.at(i + 1) == QLatin1Char('&')) {
                s += c;
                ++i;
            } else if (i + 1 < source.size()) {
                underline = int(s.size());
            }
        }
    }

    const int width = r.Right - r.Left;
    std::vector<TextLine> lines;
    if (flags & DT_SINGLELINE) {
        QString one = s;
        one.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines.push_back({one, 0});
    } else {
        int start = 0;
        const int n = int(s.size());
        for (int i = 0; i <= n; ++i) {
            if (i < n && s.at(i) != QLatin1Char('\r') && s.at(i) != QLatin1Char('\n'))
                continue;
            const QString para = s.mid(start, i - start);
            if (flags & DT_WORDBREAK)
                WrapParagraph(fm, para, start, width, lines);
            else
                lines.push_back({para, start});
            if (i < n && s.at(i) == QLatin1Char('\r') && i + 1 < n && s.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }

    if (flags & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
        const QString dots = QStringLiteral("...");
        for (TextLine& line : lines) {
            if (fm.horizontalAdvance(line.text) <= width)
                continue;
            int n = int(line.text.size());
            while (n > 0 && fm.horizontalAdvance(line.text.left(n) + dots) > width)
                --n;
            line.text = line.text.left(n) + dots;
        }
    }

    int maxWidth = 0;
    for (const TextLine& line : lines)
        maxWidth = std::max(maxWidth, fm.horizontalAdvance(line.text));
    const int total = int(lines.size()) * lineHeight;

    if (flags & DT_CALCRECT) {
        r.Right = int(std::min<std::int64_t>(std::int64_t(r.Left) + maxWidth, INT32_MAX));
        r.Bottom = int(std::min<std::int64_t>(std::int64_t(r.Top) + total, INT32_MAX));
        return total;
    }

    std::int64_t y = r.Top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER)
            y = r.Top + (std::int64_t(r.Bottom) - r.Top - lineHeight) / 2;
        else if (flags & DT_BOTTOM)
            y = std::int64_t(r.Bottom) - lineHeight;
    }
    const QRect clip = MakeRect(r.Left, r.Top, r.Right, r.Bottom);
    if (!(flags & DT_NOCLIP) && clip.isEmpty())
        return total;
    Paint(clip, pmCopy, [&](QPainter& p) {
        if (!(flags & DT_NOCLIP))
            p.setClipRect(clip, Qt::IntersectClip);
        std::int64_t ly = y;
        for (const TextLine& line : lines) {
            const int lw = fm.horizontalAdvance(line.text);
            std::int64_t x = r.Left;
            if (flags & DT_CENTER)
                x = r.Left + (std::int64_t(width) - lw) / 2;
            else if (flags & DT_RIGHT)
                x = std::int64_t(r.Right) - lw;
            const int u = underline >= line.start ? underline - line.start : -1;
            DrawTextLine(p, Clamp(x), Clamp(ly), line.text, u, true);
            ly += lineHeight;
        }
    });
    return total;
}

// ---- Clipping --------------------------------------------------------------------------------

bool TCanvas::GetClipRgn(TRegion& region) const
{
    if (!clip_)
        return false;
    region = *clip_;
    return true;
}

void TCanvas::SelectClipRgn(const std::optional<TRegion>& region) { clip_ = region; }

void TCanvas::ExtSelectClipRgn(const TRegion& region, TRegionOp op)
{
    if (op == RGN_COPY) {
        clip_ = region;
        return;
    }
    if (!clip_) {
        if (op == RGN_AND) {
            clip_ = region;
            return;
        }
        if (op == RGN_OR)
            return;  // already everything
        QRect whole = DeviceRect();
        if (whole.isEmpty())
            whole = QRect(-kLimit, -kLimit, 2 * kLimit, 2 * kLimit);
        clip_ = TRegion::Combine(TRegion(QRegion(whole)), region, op);
        return;
    }
    clip_ = TRegion::Combine(*clip_, region, op);
}

void TCanvas::IntersectClipRect(const TRect& r) { ExtSelectClipRgn(TRegion(r), RGN_AND); }

void TCanvas::ExcludeClipRect(const TRect& r) { ExtSelectClipRgn(TRegion(r), RGN_DIFF); }

bool TCanvas::SelectClipPath(TRegionOp op)
{
    if (inPath_ || !hasPath_)
        return false;
    const TRegion region = TRegion::FromPath(BuildPath(true));
    ClearPath();
    ExtSelectClipRgn(region, op);
    return true;
}

TRect TCanvas::ClipRect() const
{
    if (clip_)
        return clip_->Bounds();
    return TRect(DeviceRect());
}

int TCanvas::SaveDC()
{
    saved_.push_back(SavedState{pen_, brush_, font_, penPos_, brushOrigin_, polyFillMode_, clip_});
    return int(saved_.size());
}

bool TCanvas::RestoreDC(int level)
{
    const int depth = int(saved_.size());
    const int target = level < 0 ? depth + level + 1 : level;
    if (level == 0 || target < 1 || target > depth)
        return false;
    SavedState state = saved_[size_t(target - 1)];
    saved_.resize(size_t(target - 1));
    pen_.Assign(state.pen);
    brush_.Assign(state.brush);
    font_.Assign(state.font);
    penPos_ = state.penPos;
    brushOrigin_ = state.brushOrigin;
    polyFillMode_ = state.polyFillMode;
    clip_ = state.clip;
    return true;
}

// ---- Paths -----------------------------------------------------------------------------------

void TCanvas::ClearPath()
{
    figures_.clear();
    figureOpen_ = false;
    hasPath_ = false;
}

void TCanvas::BeginPath()
{
    ClearPath();
    inPath_ = true;
}

void TCanvas::EndPath()
{
    if (!inPath_)
        return;
    inPath_ = false;
    figureOpen_ = false;
    hasPath_ = !figures_.empty();
}

void TCanvas::AbortPath()
{
    ClearPath();
    inPath_ = false;
}

void TCanvas::EnsureFigure()
{
    if (figureOpen_)
        return;
    figures_.push_back({QPainterPath(QPointF(penPos_.x, penPos_.y)), false});
    figureOpen_ = true;
}

void TCanvas::AddFigure(const QPainterPath& figure, bool closed)
{
    figureOpen_ = false;
    figures_.push_back({figure, closed});
}

void TCanvas::CloseFigure()
{
    if (!inPath_ || !figureOpen_)
        return;
    figures_.back().path.closeSubpath();
    figures_.back().closed = true;
    figureOpen_ = false;
}

void TCanvas::PolyBezierTo(const TPoint* points, int count)
{
    if (!points || count < 3)
        return;
    if (inPath_) {
        EnsureFigure();
        for (int i = 0; i + 2 < count; i += 3)
            figures_.back().path.cubicTo(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y,
                                         points[i + 2].x, points[i + 2].y);
        penPos_ = points[(count / 3) * 3 - 1];
        return;
    }
    QPainterPath path(QPointF(penPos_.x, penPos_.y));
    for (int i = 0; i + 2 < count; i += 3)
        path.cubicTo(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, points[i + 2].x, points[i + 2].y);
    penPos_ = points[(count / 3) * 3 - 1];
    StrokeFill(path, true, false);
}

QPainterPath TCanvas::BuildPath(bool closeAll) const
{
    QPainterPath out;
    for (const Figure& f : figures_) {
        QPainterPath p = f.path;
        if (closeAll && !f.closed)
            p.closeSubpath();
        out.addPath(p);
    }
    out.setFillRule(ToFillRule(polyFillMode_));
    return out;
}

QPainterPath TCanvas::CurrentPath() const { return BuildPath(false); }

bool TCanvas::RenderPath(bool stroke, bool fill)
{
    if (inPath_ || !hasPath_)
        return false;
    // Filling closes open figures; so does stroking together with filling.
    const QPainterPath path = BuildPath(fill);
    ClearPath();
    StrokeFill(path, stroke, fill);
    return true;
}

bool TCanvas::StrokePath() { return RenderPath(true, false); }

bool TCanvas::FillPath() { return RenderPath(false, true); }

bool TCanvas::StrokeAndFillPath() { return RenderPath(true, true); }

TRegion TCanvas::PathToRegion()
{
    if (inPath_ || !hasPath_)
        return {};
    const TRegion region = TRegion::FromPath(BuildPath(true));
    ClearPath();
    return region;
}

// ---- Pictures --------------------------------------------------------------------------------

void TCanvas::Draw(int x, int y, const TGraphic& graphic)
{
    if (graphic.Empty())
        return;
    graphic.Draw(*this, TRect(x, y, x + graphic.Width(), y + graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& dest, const TGraphic& graphic)
{
    if (graphic.Empty())
        return;
    graphic.Draw(*this, dest);
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& src, const TRect& srcRect)
{
    if (!src.image_)
        return;
    const TRect s = NormalizeRect(srcRect);
    const QRect q = MakeRect(s.Left, s.Top, s.Right, s.Bottom).intersected(src.image_->rect());
    if (q.isEmpty())
        return;
    // A copy, so that a canvas may copy from itself.
    const QImage part = src.image_->copy(q);
    TRect from(0, 0, part.width(), part.height());
    DrawImage(dest, part, from);
}

void TCanvas::DrawImage(const TRect& dest, const QImage& image, const TRect& srcRect,
                        std::optional<TColor> transparentColor)
{
    if (image.isNull() || dest.Left == dest.Right || dest.Top == dest.Bottom)
        return;
    const TRect sr = NormalizeRect(srcRect);
    const QRect s = MakeRect(sr.Left, sr.Top, sr.Right, sr.Bottom).intersected(image.rect());
    if (s.isEmpty())
        return;
    QImage src = image.copy(s);
    // Negative extents mirror, as a stretched copy does.
    const bool mirrorX = dest.Right < dest.Left;
    const bool mirrorY = dest.Bottom < dest.Top;
    if (mirrorX || mirrorY)
        src = src.mirrored(mirrorX, mirrorY);
    if (transparentColor) {
        src = src.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = ToRgb(*transparentColor) & 0xFFFFFFu;
        for (int y = 0; y < src.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(src.scanLine(y));
            for (int x = 0; x < src.width(); ++x)
                if ((row[x] & 0xFFFFFFu) == key)
                    row[x] = 0;
        }
    }
    const TRect d = NormalizeRect(dest);
    const QRect q = MakeRect(d.Left, d.Top, d.Right, d.Bottom);
    if (q.isEmpty())
        return;
    Paint(q, pmCopy, [&](QPainter& p) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawImage(q, src);
    });
}
