// Small pieces the whole scheme library shares: the ID pool, the two-way notification link,
// text and hex routines of the document reader, unit conversion and the custom fills.
#pragma once

#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/graphics.h"
#include "platform/types.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class TCustomProp;
class TDrawControl;

// The clipboard format name of scheme fragments; registered at start-up, nothing else uses it.
inline constexpr const char* SchemeClipboardFormatName = "Scheme graphics controls";
// Display format of integer values kept in thousandths.
inline constexpr const char* ThousandthsFormat = "%.3f";

// The one failure the document reader reports by itself.
class EDrawFormatError : public Exception {
public:
    EDrawFormatError();
};

// ---------------------------------------------------------------- ID pool

// Used IDs kept as disjoint ascending ranges (first, last); 0 is never an ID.
class TIdPool {
public:
    uint32_t Generate();           // smallest free ID; 0 when the whole range is used
    bool Used(uint32_t id) const;
    bool Use(uint32_t id);
    bool Release(uint32_t id);
    const std::vector<uint32_t>& Ranges() const { return FItems; }
    void Clear() { FItems.clear(); }

private:
    std::size_t ScanLess(uint32_t id) const;
    std::vector<uint32_t> FItems;  // first at even, last at odd positions
};

// ---------------------------------------------------------------- notify link

enum class TNotifyKind : int { Destroy = 0, PropBefore = 1, PropChanged = 2, Control = 3 };

struct TNotifyInfo {
    TNotifyKind Kind = TNotifyKind::Destroy;
    TCustomProp* Prop = nullptr;        // property kinds
    TDrawControl* Control = nullptr;    // control kind
    int Code = 0;                       // control notification code
};

class TNotifyLink;
using TNotifyLinkEvent = std::function<void(TNotifyLink* sender, TNotifyLink* source, const TNotifyInfo& info)>;

// Two-way link: a link notifies the links that subscribed to it, and both sides learn when
// the other one goes away, so neither keeps a dangling pointer.
class TNotifyLink {
public:
    explicit TNotifyLink(void* owner);  // raises "Owner must exist" for nullptr
    ~TNotifyLink();
    TNotifyLink(const TNotifyLink&) = delete;
    TNotifyLink& operator=(const TNotifyLink&) = delete;

    int Notify(const TNotifyInfo& info);
    int ControlNotify(TDrawControl* control, int code);
    int PropNotify(TCustomProp* prop, bool isBefore);
    int Subscribe(TNotifyLink* link);
    int Unsubscribe(TNotifyLink* link);
    void DestroyNotify();

    void* Owner() const { return FOwner; }
    bool Destroying() const { return FDestroying; }
    // Count of the subscriber entry for link (0 marks a link this one subscribes to); -1 when absent.
    int CountOf(const TNotifyLink* link) const;
    int LinkCount() const { return int(FLinks.size()); }

    TNotifyLinkEvent OnNotify;
    TNotifyLinkEvent OnFreeNotify;

private:
    int IndexOf(const TNotifyLink* link) const;
    std::vector<std::pair<int, TNotifyLink*>> FLinks;
    void* FOwner;
    bool FDestroying = false;
};

// ---------------------------------------------------------------- text and numbers

bool StrBeginsFrom(const QByteArray& a, const QByteArray& b);
bool StrBeginsFrom(const QString& a, const QString& b);
QByteArray ExtractWord(const QByteArray& s, int n, char delimiter);
QString ExtractWord(const QString& s, int n, QChar delimiter);
// Two hex digits, the first the high half; upper or lower case. Anything else raises
// EDrawFormatError ("Data format error").
uint8_t HexToByte(char hi, char lo);
QByteArray ByteToHex(uint8_t b);
// Index of a hex digit, -1 for any other character.
int HexDigitValue(char c);

int ScaleValue(int value, int scale);
// a * b / c rounded as MulDiv does (halves away from zero), in 64 bits: for a up to a few times
// the 32-bit range and b, c up to the scale range nothing is out of range. c must not be 0.
int64_t MulDiv64(int64_t a, int b, int c);
inline int64_t ScaleValue64(int64_t value, int scale) { return MulDiv64(value, scale, 100000); }
int UnScaleValue(int value, int scale);
int PixelToDoc(int value);  // saturates at the 32-bit range
int DocToPixel(int value);
// Clamps a 64-bit intermediate into the 32-bit coordinate range.
int ClampToInt(int64_t v);
// Geometry on values read from documents: sums saturate at the 32-bit range instead of wrapping.
// Rounded to the nearest integer, halves to even, saturating.
inline int RoundToInt(double v) { return ClampToInt(RoundHalfEvenInt64(v)); }
inline int SatAdd(int a, int64_t b) { return ClampToInt(int64_t(a) + b); }
inline int SatSub(int a, int64_t b) { return ClampToInt(int64_t(a) - b); }
inline TPoint SatAdd(const TPoint& a, const TPoint& b) { return TPoint(SatAdd(a.x, b.x), SatAdd(a.y, b.y)); }
inline TPoint SatSub(const TPoint& a, const TPoint& b) { return TPoint(SatSub(a.x, b.x), SatSub(a.y, b.y)); }
inline TRect SatBounds(int left, int top, int width, int height)
{
    return TRect(left, top, SatAdd(left, width), SatAdd(top, height));
}
// Client pixels stay within +-2^22 and painted pen widths within 2^24, so that the sums the
// painting and hit testing make of a few of them never leave 32 bits. A shape that large is
// clipped by the window anyway.
inline constexpr int kMaxClientCoord = 1 << 22;
inline constexpr int kMaxPenPixels = 1 << 24;
inline int ClampClient(int64_t v) { return int(std::clamp<int64_t>(v, -kMaxClientCoord, kMaxClientCoord)); }
// A document extent in client pixels at the scale, bounded as client pixels are.
inline int ScaleClient(int value, int scale) { return ClampClient(MulDiv64(value, scale, 100000)); }
// Width and height that do not wrap for edges far apart.
inline int SatWidth(const TRect& r) { return SatSub(r.Right, r.Left); }
inline int SatHeight(const TRect& r) { return SatSub(r.Bottom, r.Top); }

int ListIndexOf(int value, const int* items, int count);
int ListIndexOfRange(int value, const int* items, int from, int to);
int ListScanLess(int value, const int* items, int count);

// ---------------------------------------------------------------- fills

enum TGradientStyle : uint8_t {
    gsHorizontal, gsVertical, gsSquare, gsElliptic, gsTopLeft, gsTopRight, gsBottomLeft, gsBottomRight
};

// Tile cache of PaintBitmap: the last pattern built and its size.
struct TBitmapCache {
    void Clear()
    {
        Pattern = QImage();
        Width = 0;
        Height = 0;
    }
    QImage Pattern;
    int Width = 0;
    int Height = 0;
};

// Number of bands PaintGradient paints for a rectangle.
int GradientSteps(const TRect& rect, TGradientStyle style, TColor beginColor, TColor endColor);
void PaintGradient(TCanvas& canvas, const TRect& rect, TGradientStyle style, TColor beginColor, TColor endColor,
                   TPenMode penMode);
void PaintBitmap(TCanvas& canvas, const TRect& rect, const TRect& clipRect, TBitmapCache* cache,
                 const TBitmap* bitmap);

// Clip helpers: each returns the clip that was in force (nullopt for none) for the caller to
// restore with SelectClipRgn.
std::optional<TRegion> IntersectClipRgn(TCanvas& canvas, const TRegion& region);
// Intersects the clip with the canvas's current path; when the path cannot become a clip,
// nothing will be drawn.
std::optional<TRegion> IntersectClipPath(TCanvas& canvas);
