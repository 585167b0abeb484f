#include "scheme/drawutils.h"

#include "platform/bitmap.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

EDrawFormatError::EDrawFormatError() : Exception(QStringLiteral("Data format error")) {}

// ---------------------------------------------------------------- ID pool

std::size_t TIdPool::ScanLess(uint32_t id) const
{
    return std::size_t(std::lower_bound(FItems.begin(), FItems.end(), id) - FItems.begin());
}

uint32_t TIdPool::Generate()
{
    if (FItems.empty()) {
        FItems = {1, 1};
        return 1;
    }
    if (FItems[0] == 1) {
        if (FItems[1] == UINT32_MAX)
            return 0;  // every ID is taken
        const uint32_t result = FItems[1] + 1;
        if (FItems.size() > 2 && FItems[2] == result + 1) {
            FItems[1] = FItems[3];
            FItems.erase(FItems.begin() + 2, FItems.begin() + 4);
        } else if (FItems.size() > 2 && FItems[2] == result) {
            // cannot happen with disjoint ranges, kept for safety
            FItems[1] = FItems[3];
            FItems.erase(FItems.begin() + 2, FItems.begin() + 4);
        } else {
            FItems[1] = result;
        }
        return result;
    }
    if (FItems[0] == 2) {
        FItems[0] = 1;
        return 1;
    }
    FItems.insert(FItems.begin(), {1u, 1u});
    return 1;
}

bool TIdPool::Used(uint32_t id) const
{
    if (id == 0)
        return false;
    const std::size_t i = ScanLess(id);
    if (i >= FItems.size())
        return false;
    if (i % 2 == 1)
        return true;
    return FItems[i] == id;
}

bool TIdPool::Use(uint32_t id)
{
    if (id == 0)
        return false;
    const std::size_t i = ScanLess(id);
    if (i >= FItems.size()) {
        if (!FItems.empty() && FItems.back() == id - 1)
            FItems.back() = id;
        else
            FItems.insert(FItems.end(), {id, id});
        return true;
    }
    if (FItems[i] == id || i % 2 == 1)
        return false;
    // item i starts the next range and lies above id
    const bool joinsPrev = i > 0 && FItems[i - 1] == id - 1;
    if (FItems[i] == id + 1) {
        FItems[i] = id;
        if (joinsPrev)
            FItems.erase(FItems.begin() + long(i) - 1, FItems.begin() + long(i) + 1);
    } else if (joinsPrev) {
        FItems[i - 1] = id;
    } else {
        FItems.insert(FItems.begin() + long(i), {id, id});
    }
    return true;
}

bool TIdPool::Release(uint32_t id)
{
    if (id == 0)
        return false;
    const std::size_t i = ScanLess(id);
    if (i >= FItems.size())
        return false;
    if (FItems[i] != id) {
        if (i % 2 == 0)
            return false;
        const uint32_t last = FItems[i];
        FItems[i] = id - 1;
        FItems.insert(FItems.begin() + long(i) + 1, {id + 1, last});
        return true;
    }
    if (i % 2 == 1) {
        if (FItems[i - 1] == id)
            FItems.erase(FItems.begin() + long(i) - 1, FItems.begin() + long(i) + 1);
        else
            FItems[i] = id - 1;
    } else {
        if (FItems[i + 1] == id)
            FItems.erase(FItems.begin() + long(i), FItems.begin() + long(i) + 2);
        else
            FItems[i] = id + 1;
    }
    return true;
}

// ---------------------------------------------------------------- notify link

TNotifyLink::TNotifyLink(void* owner) : FOwner(owner)
{
    if (!owner)
        throw Exception(QStringLiteral("Owner must exist"));
}

TNotifyLink::~TNotifyLink()
{
    DestroyNotify();
}

int TNotifyLink::IndexOf(const TNotifyLink* link) const
{
    for (std::size_t i = 0; i < FLinks.size(); ++i)
        if (FLinks[i].second == link)
            return int(i);
    return -1;
}

int TNotifyLink::CountOf(const TNotifyLink* link) const
{
    const int i = IndexOf(link);
    return i < 0 ? -1 : FLinks[std::size_t(i)].first;
}

int TNotifyLink::Subscribe(TNotifyLink* link)
{
    if (!link || FDestroying)
        return -1;
    const int i = IndexOf(link);
    if (i >= 0)
        return ++FLinks[std::size_t(i)].first;
    FLinks.emplace_back(1, link);
    link->FLinks.emplace_back(0, this);
    return 1;
}

int TNotifyLink::Unsubscribe(TNotifyLink* link)
{
    if (!link || FDestroying)
        return -1;
    const int i = IndexOf(link);
    if (i < 0)
        return -1;
    const int count = FLinks[std::size_t(i)].first - 1;
    if (count < 0)
        return count;
    FLinks[std::size_t(i)].first = count;
    if (count == 0) {
        const int j = link->IndexOf(this);
        if (j < 0 || link->FLinks[std::size_t(j)].first == 0) {
            FLinks.erase(FLinks.begin() + i);
            if (j >= 0)
                link->FLinks.erase(link->FLinks.begin() + j);
        }
    }
    return count;
}

int TNotifyLink::Notify(const TNotifyInfo& info)
{
    if (FDestroying)
        return 0;
    int calls = 0;
    // Index walk: a handler may subscribe or unsubscribe while we go.
    for (std::size_t i = 0; i < FLinks.size(); ++i) {
        if (FLinks[i].first < 1)
            continue;
        TNotifyLink* link = FLinks[i].second;
        if (link->FDestroying || !link->OnNotify)
            continue;
        link->OnNotify(link, this, info);
        ++calls;
    }
    return calls;
}

int TNotifyLink::ControlNotify(TDrawControl* control, int code)
{
    TNotifyInfo info;
    info.Kind = TNotifyKind::Control;
    info.Control = control;
    info.Code = code;
    return Notify(info);
}

int TNotifyLink::PropNotify(TCustomProp* prop, bool isBefore)
{
    TNotifyInfo info;
    info.Kind = isBefore ? TNotifyKind::PropBefore : TNotifyKind::PropChanged;
    info.Prop = prop;
    return Notify(info);
}

void TNotifyLink::DestroyNotify()
{
    if (!FDestroying) {
        FDestroying = true;
        if (OnFreeNotify)
            OnFreeNotify(this, nullptr, TNotifyInfo{});
    }
    while (!FLinks.empty()) {
        TNotifyLink* other = FLinks.back().second;
        const int j = other->IndexOf(this);
        if (j >= 0) {
            other->FLinks.erase(other->FLinks.begin() + j);
            if (other->OnFreeNotify)
                other->OnFreeNotify(other, this, TNotifyInfo{});
        }
        // the handler may already have dropped our entry for other
        const int k = IndexOf(other);
        if (k >= 0)
            FLinks.erase(FLinks.begin() + k);
    }
}

// ---------------------------------------------------------------- text and numbers

bool StrBeginsFrom(const QByteArray& a, const QByteArray& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    return std::equal(a.constBegin(), a.constBegin() + n, b.constBegin());
}

bool StrBeginsFrom(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    return std::equal(a.constBegin(), a.constBegin() + n, b.constBegin());
}

namespace {
template <typename S, typename C>
S ExtractWordT(const S& s, int n, C delimiter)
{
    if (n < 1 || s.isEmpty())
        return S();
    qsizetype start = 0;
    for (int word = 1; word < n; ++word) {
        const qsizetype p = s.indexOf(delimiter, start);
        if (p < 0)
            return S();
        start = p + 1;
    }
    const qsizetype end = s.indexOf(delimiter, start);
    return end < 0 ? s.mid(start) : s.mid(start, end - start);
}
}  // namespace

QByteArray ExtractWord(const QByteArray& s, int n, char delimiter)
{
    return ExtractWordT(s, n, delimiter);
}

QString ExtractWord(const QString& s, int n, QChar delimiter)
{
    return ExtractWordT(s, n, delimiter);
}

namespace {
constexpr std::array<int8_t, 256> MakeHexTable()
{
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 10; ++i)
        t[std::size_t('0' + i)] = int8_t(i);
    for (int i = 0; i < 6; ++i) {
        t[std::size_t('A' + i)] = int8_t(10 + i);
        t[std::size_t('a' + i)] = int8_t(10 + i);
    }
    return t;
}
constexpr std::array<int8_t, 256> HexTable = MakeHexTable();
constexpr char HexDigits[] = "0123456789ABCDEF";
}  // namespace

int HexDigitValue(char c)
{
    return HexTable[uint8_t(c)];
}

uint8_t HexToByte(char hi, char lo)
{
    const int h = HexTable[uint8_t(hi)];
    const int l = HexTable[uint8_t(lo)];
    if (h < 0 || l < 0)
        throw EDrawFormatError();
    return uint8_t((h << 4) | l);
}

QByteArray ByteToHex(uint8_t b)
{
    const char pair[2] = {HexDigits[b >> 4], HexDigits[b & 15]};
    return QByteArray(pair, 2);
}

int ScaleValue(int value, int scale)
{
    return MulDiv(value, scale, 100000);
}

int64_t MulDiv64(int64_t a, int b, int c)
{
    const int64_t product = a * b;
    const bool negative = (product < 0) != (c < 0);
    const uint64_t num = product < 0 ? uint64_t(0) - uint64_t(product) : uint64_t(product);
    const uint64_t den = c < 0 ? uint64_t(0) - uint64_t(int64_t(c)) : uint64_t(c);
    const int64_t q = int64_t((num + den / 2) / den);
    return negative ? -q : q;
}

int UnScaleValue(int value, int scale)
{
    return MulDiv(value, 100000, scale);
}

int ClampToInt(int64_t v)
{
    return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

int PixelToDoc(int value)
{
    return ClampToInt(int64_t(value) * 1000);
}

int DocToPixel(int value)
{
    return value / 1000;
}

int ListIndexOf(int value, const int* items, int count)
{
    for (int i = 0; i < count; ++i)
        if (items[i] == value)
            return i;
    return -1;
}

int ListIndexOfRange(int value, const int* items, int from, int to)
{
    if (to <= from)
        return -1;
    for (int i = from; i < to; ++i)
        if (items[i] == value)
            return i - from;
    return -1;
}

int ListScanLess(int value, const int* items, int count)
{
    if (count <= 0)
        return 0;
    return int(std::lower_bound(items, items + count, value) - items);
}

// ---------------------------------------------------------------- clipping

std::optional<TRegion> IntersectClipRgn(TCanvas& canvas, const TRegion& region)
{
    std::optional<TRegion> previous = canvas.ClipRegion();
    canvas.IntersectClipRgn(region);
    return previous;
}

std::optional<TRegion> IntersectClipPath(TCanvas& canvas)
{
    std::optional<TRegion> previous = canvas.ClipRegion();
    if (!canvas.SelectClipPath(RGN_AND))
        canvas.SelectClipRgn(TRegion());
    return previous;
}

// ---------------------------------------------------------------- fills

namespace {
bool IsCorner(TGradientStyle style)
{
    return style == gsTopLeft || style == gsTopRight || style == gsBottomLeft || style == gsBottomRight;
}
}  // namespace

int GradientSteps(const TRect& rect, TGradientStyle style, TColor beginColor, TColor endColor)
{
    const int w = rect.Width();
    const int h = rect.Height();
    const int m = std::max(w, h);
    const TColor a = ColorToRGB(beginColor);
    const TColor b = ColorToRGB(endColor);
    int n = std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                      std::abs(GetBValue(a) - GetBValue(b)), 1});
    switch (style) {
    case gsHorizontal:
        n = std::min(n, w);
        break;
    case gsVertical:
        n = std::min(n, h);
        break;
    case gsSquare:
    case gsElliptic:
        n = std::min(n, m / 2);
        break;
    default:
        n = std::min(n, m);
        break;
    }
    return std::max(n, 1);
}

void PaintGradient(TCanvas& canvas, const TRect& rect, TGradientStyle style, TColor beginColor, TColor endColor,
                   TPenMode penMode)
{
    if (rect.IsEmpty())
        return;
    const int w = rect.Width();
    const int h = rect.Height();
    TColor first = ColorToRGB(beginColor);
    TColor second = ColorToRGB(endColor);
    if (IsCorner(style))
        std::swap(first, second);
    const int n = GradientSteps(rect, style, beginColor, endColor);

    const TPenMode savedMode = canvas.Pen().Mode();
    const TPenStyle savedStyle = canvas.Pen().Style();
    canvas.Brush().SetStyle(bsSolid);
    canvas.Pen().SetStyle(psClear);
    canvas.Pen().SetMode(penMode);

    const int cx = rect.Left + w / 2;
    const int cy = rect.Top + h / 2;
    auto component = [n](int a, int b, int i) { return n == 1 ? a : uint8_t(a + i * (b - a) / (n - 1)); };
    for (int i = 0; i < n; ++i) {
        canvas.Brush().SetColor(RGB(component(GetRValue(first), GetRValue(second), i),
                                    component(GetGValue(first), GetGValue(second), i),
                                    component(GetBValue(first), GetBValue(second), i)));
        switch (style) {
        case gsHorizontal:
            canvas.Rectangle(rect.Left + MulDiv(i, w, n), rect.Top, rect.Left + MulDiv(i + 1, w, n) + 1,
                             rect.Bottom + 1);
            break;
        case gsVertical:
            canvas.Rectangle(rect.Left, rect.Top + MulDiv(i, h, n), rect.Right + 1,
                             rect.Top + MulDiv(i + 1, h, n) + 1);
            break;
        case gsSquare: {
            const int dx = MulDiv(n - i, w, n) / 2;
            const int dy = MulDiv(n - i, h, n) / 2;
            canvas.Rectangle(cx - dx, cy - dy, cx + dx + 2, cy + dy + 2);
            break;
        }
        case gsElliptic: {
            const int dx = int(RoundHalfEven(MulDiv(n - i, w, n) / 1.4));
            const int dy = int(RoundHalfEven(MulDiv(n - i, h, n) / 1.4));
            canvas.Ellipse(cx - dx, cy - dy, cx + dx, cy + dy);
            break;
        }
        case gsTopLeft:
        case gsTopRight:
        case gsBottomLeft:
        case gsBottomRight: {
            const int dx = MulDiv(n - i, w, n);
            const int dy = MulDiv(n - i, h, n);
            if (style == gsTopLeft)
                canvas.Rectangle(rect.Left, rect.Top, rect.Left + 1 + dx, rect.Top + 1 + dy);
            else if (style == gsTopRight)
                canvas.Rectangle(rect.Left + w - dx, rect.Top, rect.Left + w + 1, rect.Top + 1 + dy);
            else if (style == gsBottomLeft)
                canvas.Rectangle(rect.Left, rect.Top + h - dy, rect.Left + 1 + dx, rect.Top + h + 1);
            else
                canvas.Rectangle(rect.Left + w - dx, rect.Top + h - dy, rect.Left + w + 1, rect.Top + h + 1);
            break;
        }
        }
    }
    canvas.Pen().SetMode(savedMode);
    canvas.Pen().SetStyle(savedStyle);
}

void PaintBitmap(TCanvas& canvas, const TRect& rect, const TRect& clipRect, TBitmapCache* cache,
                 const TBitmap* bitmap)
{
    TRect r;
    if (!bitmap || !IntersectRect(r, rect, clipRect) || bitmap->Empty())
        return;
    const int bw = bitmap->Width();
    const int bh = bitmap->Height();
    const int w = r.Width();
    const int h = r.Height();
    const int ox = int((int64_t(r.Left) - rect.Left) % bw);
    const int oy = int((int64_t(r.Top) - rect.Top) % bh);
    const int needW = ox + w;
    const int needH = oy + h;

    QImage local;
    const QImage* pattern = nullptr;
    if (cache && cache->Width >= needW && cache->Height >= needH && !cache->Pattern.isNull()) {
        pattern = &cache->Pattern;
    } else {
        // Double the filled strip downwards, then to the right: few large copies.
        const QImage src = bitmap->Image().convertToFormat(QImage::Format_RGB32);
        QImage built(needW, needH, QImage::Format_RGB32);
        const int firstW = std::min(bw, needW);
        const int firstH = std::min(bh, needH);
        for (int y = 0; y < firstH; ++y)
            std::memcpy(built.scanLine(y), src.constScanLine(y), std::size_t(firstW) * 4);
        for (int filled = firstH; filled < needH;) {
            const int count = std::min(filled, needH - filled);
            for (int y = 0; y < count; ++y)
                std::memcpy(built.scanLine(filled + y), built.constScanLine(y), std::size_t(firstW) * 4);
            filled += count;
        }
        for (int filled = firstW; filled < needW;) {
            const int count = std::min(filled, needW - filled);
            for (int y = 0; y < needH; ++y) {
                auto* line = reinterpret_cast<uint32_t*>(built.scanLine(y));
                std::memcpy(line + filled, line, std::size_t(count) * 4);
            }
            filled += count;
        }
        if (cache) {
            cache->Pattern = std::move(built);
            cache->Width = needW;
            cache->Height = needH;
            pattern = &cache->Pattern;
        } else {
            local = std::move(built);
            pattern = &local;
        }
    }
    const TRect dest(r.Left, r.Top, r.Left + w, r.Top + h);
    const TRect source(ox, oy, ox + w, oy + h);
    if (bitmap->Transparent())
        canvas.DrawImage(dest, *pattern, source, bitmap->TransparentColor());
    else
        canvas.DrawImage(dest, *pattern, source);
}
