// TCanvas: the drawing surface of the scheme and grid libraries. Over QPainter with
// antialiasing off and the edge rules those libraries' coordinates assume:
//  - Rectangle(l, t, r, b) covers columns l..r-1 and rows t..b-1; a 1-pixel (or inside-frame)
//    pen draws its outline inside that box, the brush fills what the outline leaves. Without a
//    pen (psClear) the fill stops one pixel short: l..r-2 x t..b-2. Ellipse and RoundRect too.
//  - FillRect(l, t, r, b) fills l..r-1 x t..b-1.
//  - LineTo does not draw its last pixel; the first one is drawn.
//  - The pen mode applies to lines and to brush fills (not to text); on an RGB32 image the
//    sixteen modes are exact.
//  - Text is opaque on the brush colour when the brush is solid, transparent otherwise.
#pragma once

#include "platform/graphics.h"
#include "platform/types.h"

#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;
class TGraphic;
class TBitmap;

// ---- Regions --------------------------------------------------------------------------------

enum TRegionOp { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum TPolyFillMode { ALTERNATE = 1, WINDING = 2 };

// A set of pixels. Rectangles are exclusive of their right and bottom edges, as everywhere.
class TRegion {
public:
    TRegion() = default;  // empty
    explicit TRegion(const TRect& r);
    explicit TRegion(const QRegion& r) : region_(r) {}

    static TRegion Rect(const TRect& r) { return TRegion(r); }
    static TRegion Rect(int l, int t, int r, int b) { return TRegion(TRect(l, t, r, b)); }
    // The pixels of the ellipse inscribed in r.
    static TRegion Ellipse(const TRect& r);
    // A rectangle whose corners are rounded by ellipses of width w and height h.
    static TRegion RoundRect(const TRect& r, int w, int h);
    static TRegion Polygon(const TPoint* points, int count, TPolyFillMode mode = ALTERNATE);
    static TRegion Polygon(const std::vector<TPoint>& points, TPolyFillMode mode = ALTERNATE);
    // The pixels whose centres lie inside the path.
    static TRegion FromPath(const QPainterPath& path);

    bool IsEmpty() const { return region_.isEmpty(); }
    // Smallest rectangle around the region; (0,0,0,0) when empty.
    TRect Bounds() const;
    bool Contains(int x, int y) const { return region_.contains(QPoint(x, y)); }
    bool Contains(const TPoint& p) const { return Contains(p.x, p.y); }
    // True when any pixel of r lies in the region.
    bool Intersects(const TRect& r) const;
    int RectCount() const { return region_.rectCount(); }
    std::vector<TRect> Rects() const;

    // The result of combining a with b; RGN_COPY gives a.
    static TRegion Combine(const TRegion& a, const TRegion& b, TRegionOp op);
    TRegion United(const TRegion& o) const { return TRegion(region_.united(o.region_)); }
    TRegion Intersected(const TRegion& o) const { return TRegion(region_.intersected(o.region_)); }
    TRegion Subtracted(const TRegion& o) const { return TRegion(region_.subtracted(o.region_)); }
    TRegion Xored(const TRegion& o) const { return TRegion(region_.xored(o.region_)); }
    void Offset(int dx, int dy) { region_.translate(dx, dy); }
    TRegion Translated(int dx, int dy) const { return TRegion(region_.translated(dx, dy)); }

    const QRegion& ToQRegion() const { return region_; }
    bool operator==(const TRegion& o) const { return region_ == o.region_; }

private:
    QRegion region_;
};

// ---- DrawText flags -------------------------------------------------------------------------

enum : unsigned {
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_EDITCONTROL = 0x2000,
    DT_PATH_ELLIPSIS = 0x4000,
    DT_END_ELLIPSIS = 0x8000,
    DT_MODIFYSTRING = 0x10000,
    DT_RTLREADING = 0x20000,
    DT_WORD_ELLIPSIS = 0x40000,
};

// ---- Canvas ---------------------------------------------------------------------------------

class TCanvas {
public:
    // No device: drawing does nothing, measuring uses a screen-independent 96 dpi.
    TCanvas();
    // Draws on an image (RGB32 and ARGB32 images get exact raster modes).
    explicit TCanvas(QImage* image);
    // Draws on any paint device (a widget inside its paint event, a pixmap). Raster modes other
    // than copy go through QPainter's composition modes there.
    explicit TCanvas(QPaintDevice* device);
    // Draws through a painter someone else has begun (and will end).
    explicit TCanvas(QPainter* painter);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Re-targets the canvas; clipping, paths and the saved states are dropped.
    void SetDevice(QImage* image);
    void SetDevice(QPaintDevice* device);
    void SetDevice(QPainter* painter);
    bool HasDevice() const;
    QPaintDevice* Device() const;
    // The image drawn on, or null for another device.
    QImage* Image() const { return image_; }
    // Ends the canvas's own painter (if it began one), so that the device can be resized or read
    // through other means. The next drawing begins a new painter.
    void Release();
    // A painter set up with the current clipping and antialiasing off, for drawing the canvas
    // does not offer. Valid until the next canvas call.
    QPainter* Painter();

    TPen& Pen() { return pen_; }
    const TPen& Pen() const { return pen_; }
    TBrush& Brush() { return brush_; }
    const TBrush& Brush() const { return brush_; }
    TFont& Font() { return font_; }
    const TFont& Font() const { return font_; }
    void SetPen(const TPen& pen) { pen_.Assign(pen); }
    void SetBrush(const TBrush& brush) { brush_.Assign(brush); }
    void SetFont(const TFont& font) { font_.Assign(font); }

    TPoint PenPos() const { return penPos_; }
    void SetPenPos(const TPoint& p) { penPos_ = p; }
    // Where the brush's hatch pattern is anchored (device pixels).
    TPoint BrushOrigin() const { return brushOrigin_; }
    void SetBrushOrigin(const TPoint& p) { brushOrigin_ = p; }
    TPolyFillMode PolyFillMode() const { return polyFillMode_; }
    void SetPolyFillMode(TPolyFillMode mode) { polyFillMode_ = mode; }

    // Lock count of a canvas used by a paint in progress (the owner checks it; nothing else).
    void Lock() { ++lockCount_; }
    void Unlock() { if (lockCount_ > 0) --lockCount_; }
    int LockCount() const { return lockCount_; }

    // Called after every drawing operation (a bitmap's canvas marks its bitmap changed).
    std::function<void()> OnChange;

    // ---- Lines and shapes ----
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int l, int t, int r, int b);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void RoundRect(int l, int t, int r, int b, int w, int h);
    void RoundRect(const TRect& r, int w, int h) { RoundRect(r.Left, r.Top, r.Right, r.Bottom, w, h); }
    void Ellipse(int l, int t, int r, int b);
    void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    void Polygon(const TPoint* points, int count);
    void Polygon(const std::vector<TPoint>& points) { Polygon(points.data(), int(points.size())); }
    void Polyline(const TPoint* points, int count);
    void Polyline(const std::vector<TPoint>& points) { Polyline(points.data(), int(points.size())); }
    // Cubic Beziers: 1 + 3n points.
    void PolyBezier(const TPoint* points, int count);
    // Elliptic arc of the ellipse in (l,t,r,b) counter-clockwise from the ray to (x1,y1) to the
    // ray to (x2,y2); Pie closes it to the centre and fills it.
    void Arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2);
    void Pie(int l, int t, int r, int b, int x1, int y1, int x2, int y2);

    // Fills with the brush, no outline, r exclusive of its right and bottom edges.
    void FillRect(const TRect& r);
    // A 1-pixel frame inside r in the brush colour.
    void FrameRect(const TRect& r);
    // Dotted frame inside r, XOR-ed so that drawing it twice removes it.
    void DrawFocusRect(const TRect& r);
    void InvertRect(const TRect& r);
    void FillRgn(const TRegion& region);
    void InvertRgn(const TRegion& region);
    // A frame of w x h pixels inside the region's edge in the brush colour.
    void FrameRgn(const TRegion& region, int w, int h);

    // Colour of a pixel (clNone outside the device or on a device that cannot be read).
    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

    // ---- Text ----
    // Text with its cell's top-left at (x, y), turned by the font's orientation about (x, y);
    // the pen position moves to the end of the text.
    void TextOut(int x, int y, const QString& text);
    // Text at (x, y) clipped to r; a solid brush fills the whole of r first.
    void TextRect(const TRect& r, int x, int y, const QString& text);
    TSize TextExtent(const QString& text) const;
    int TextWidth(const QString& text) const { return TextExtent(text).cx; }
    int TextHeight(const QString& text) const { return TextExtent(text).cy; }
    TTextMetric TextMetrics() const;
    // Formats text in r by the DT_ flags; returns the height of the text. With DT_CALCRECT nothing
    // is drawn and r's Right and Bottom are set to bound the text (Right from the widest line).
    int DrawText(const QString& text, TRect& r, unsigned flags);
    int DrawText(const QString& text, const TRect& r, unsigned flags)
    {
        TRect copy = r;
        return DrawText(text, copy, flags);
    }

    // ---- Clipping ----
    // True when a clip region is set; region receives it (device pixels).
    bool GetClipRgn(TRegion& region) const;
    std::optional<TRegion> ClipRegion() const { return clip_; }
    // Sets (a copy of) the region as the clip; nullopt removes clipping.
    void SelectClipRgn(const std::optional<TRegion>& region);
    void SelectClipRgn(const TRegion& region) { SelectClipRgn(std::optional<TRegion>(region)); }
    // Combines the clip with a region; without a clip, RGN_AND and RGN_OR/RGN_COPY select it,
    // RGN_DIFF removes it from the whole device.
    void ExtSelectClipRgn(const TRegion& region, TRegionOp op);
    void IntersectClipRect(const TRect& r);
    void IntersectClipRgn(const TRegion& region) { ExtSelectClipRgn(region, RGN_AND); }
    void ExcludeClipRect(const TRect& r);
    // Combines the clip with the current path (which is consumed); false when there is no
    // closed path.
    bool SelectClipPath(TRegionOp op);
    // Bounds of what may be painted: the clip's bounds or the whole device.
    TRect ClipRect() const;
    // Saves pen, brush, font, pen position, brush origin, fill mode and clip; returns the new
    // depth (1 for the first save).
    int SaveDC();
    // Restores the state saved at depth level (negative: relative to the top, -1 the last).
    bool RestoreDC(int level = -1);

    // ---- Paths ----
    // While a path is open, MoveTo, LineTo, PolyBezierTo, Polyline, Polygon, Rectangle and
    // Ellipse add figures to it instead of drawing.
    void BeginPath();
    void EndPath();
    void AbortPath();
    bool InPath() const { return inPath_; }
    bool HasPath() const { return hasPath_; }
    void CloseFigure();
    // Cubic Bezier segments from the pen position: 3n points.
    void PolyBezierTo(const TPoint* points, int count);
    void PolyBezierTo(const std::vector<TPoint>& points) { PolyBezierTo(points.data(), int(points.size())); }
    // Stroke with the pen, fill with the brush (open figures closed for filling), or both; each
    // consumes the path.
    bool StrokePath();
    bool FillPath();
    bool StrokeAndFillPath();
    // The path's interior as a region; consumes the path.
    TRegion PathToRegion();
    // The path recorded so far (open figures left open).
    QPainterPath CurrentPath() const;

    // ---- Pictures ----
    // Draws a graphic at its own size; a transparent bitmap leaves its transparent colour out.
    void Draw(int x, int y, const TGraphic& graphic);
    void StretchDraw(const TRect& dest, const TGraphic& graphic);
    // Copies src's srcRect into dest (stretched); the source canvas must draw on an image.
    void CopyRect(const TRect& dest, const TCanvas& src, const TRect& srcRect);
    // Draws image's srcRect into dest (stretched). With a transparent colour, source pixels of
    // that colour are left out.
    void DrawImage(const TRect& dest, const QImage& image, const TRect& srcRect,
                   std::optional<TColor> transparentColor = std::nullopt);

private:
    struct SavedState;
    struct PainterScope;

    struct Figure {
        QPainterPath path;
        bool closed = false;
    };

    void ResetState();
    QPainter* Prepare();  // begins the painter when needed; null without a device
    void ApplyClip(QPainter& p) const;
    QRect DeviceRect() const;
    void Changed();
    void AddFigure(const QPainterPath& figure, bool closed);
    void EnsureFigure();
    QPainterPath BuildPath(bool closeAll) const;
    void ClearPath();
    bool RenderPath(bool stroke, bool fill);
    // Draws through fn with a raster mode: directly for pmCopy, through a mask on an image
    // otherwise. bounds limits the pixels fn may touch.
    void Paint(const QRect& bounds, TPenMode mode, const std::function<void(QPainter&)>& fn);
    // Outline with the pen and/or fill with the brush, in the pen mode.
    void StrokeFill(const QPainterPath& path, bool stroke, bool fill);
    // Ellipse and rounded rectangle: add traces the outline on a rectangle.
    void DrawShape(int l, int t, int r, int b, const std::function<void(QPainterPath&, const QRectF&)>& add);
    void SetupPen(QPainter& p, bool background) const;
    void SetupBrush(QPainter& p) const;
    bool PenVisible() const;
    void DrawTextLine(QPainter& p, int x, int y, const QString& text, int underline, bool opaque) const;

    QImage* image_ = nullptr;
    QPaintDevice* device_ = nullptr;
    QPainter* external_ = nullptr;
    std::unique_ptr<QPainter> own_;

    TPen pen_;
    TBrush brush_;
    TFont font_;
    TPoint penPos_;
    TPoint brushOrigin_;
    TPolyFillMode polyFillMode_ = ALTERNATE;
    std::optional<TRegion> clip_;
    std::vector<SavedState> saved_;
    int lockCount_ = 0;

    bool inPath_ = false;
    bool hasPath_ = false;
    std::vector<Figure> figures_;
    bool figureOpen_ = false;
};
