#include "platform/graphics.h"

#include <QFontMetricsF>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>

std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t pen, std::uint32_t dest)
{
    std::uint32_t r = dest;
    switch (mode) {
    case pmBlack: r = 0; break;
    case pmWhite: r = 0xFFFFFF; break;
    case pmNop: r = dest; break;
    case pmNot: r = ~dest; break;
    case pmCopy: r = pen; break;
    case pmNotCopy: r = ~pen; break;
    case pmMergePenNot: r = pen | ~dest; break;
    case pmMaskPenNot: r = pen & ~dest; break;
    case pmMergeNotPen: r = ~pen | dest; break;
    case pmMaskNotPen: r = ~pen & dest; break;
    case pmMerge: r = pen | dest; break;
    case pmNotMerge: r = ~(pen | dest); break;
    case pmMask: r = pen & dest; break;
    case pmNotMask: r = ~(pen & dest); break;
    case pmXor: r = pen ^ dest; break;
    case pmNotXor: r = ~(pen ^ dest); break;
    }
    return r & 0xFFFFFFu;
}

// ---- TPen -----------------------------------------------------------------------------------

TPen::TPen(const TPen& other)
    : color_(other.color_), style_(other.style_), mode_(other.mode_), width_(other.width_)
{
}

TPen& TPen::operator=(const TPen& other)
{
    Assign(other);
    return *this;
}

void TPen::Changed()
{
    if (OnChange)
        OnChange();
}

void TPen::SetColor(TColor color)
{
    if (color_ == color)
        return;
    color_ = color;
    Changed();
}

void TPen::SetStyle(TPenStyle style)
{
    if (style_ == style)
        return;
    style_ = style;
    Changed();
}

void TPen::SetMode(TPenMode mode)
{
    if (mode_ == mode)
        return;
    mode_ = mode;
    Changed();
}

void TPen::SetWidth(int width)
{
    if (width_ == width)
        return;
    width_ = width;
    Changed();
}

bool TPen::SameAs(const TPen& o) const
{
    return color_ == o.color_ && style_ == o.style_ && mode_ == o.mode_ && width_ == o.width_;
}

void TPen::Assign(const TPen& other)
{
    if (this == &other || SameAs(other))
        return;
    color_ = other.color_;
    style_ = other.style_;
    mode_ = other.mode_;
    width_ = other.width_;
    Changed();
}

// ---- TBrush ---------------------------------------------------------------------------------

TBrush::TBrush(const TBrush& other) : color_(other.color_), style_(other.style_) {}

TBrush& TBrush::operator=(const TBrush& other)
{
    Assign(other);
    return *this;
}

void TBrush::Changed()
{
    if (OnChange)
        OnChange();
}

void TBrush::SetColor(TColor color)
{
    const TBrushStyle style = style_ == bsClear ? bsSolid : style_;
    if (color_ == color && style_ == style)
        return;
    color_ = color;
    style_ = style;
    Changed();
}

void TBrush::SetStyle(TBrushStyle style)
{
    if (style_ == style)
        return;
    style_ = style;
    Changed();
}

bool TBrush::SameAs(const TBrush& o) const { return color_ == o.color_ && style_ == o.style_; }

void TBrush::Assign(const TBrush& other)
{
    if (this == &other || SameAs(other))
        return;
    color_ = other.color_;
    style_ = other.style_;
    Changed();
}

// ---- TFont ----------------------------------------------------------------------------------

const QString& TFont::DefaultName()
{
    static const QString name = QStringLiteral("Arial");
    return name;
}

TFont::TFont(const TFont& other)
    : name_(other.name_), height_(other.height_), pixelsPerInch_(other.pixelsPerInch_),
      color_(other.color_), style_(other.style_), pitch_(other.pitch_), charset_(other.charset_),
      orientation_(other.orientation_)
{
}

TFont& TFont::operator=(const TFont& other)
{
    Assign(other);
    return *this;
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}

void TFont::SetName(const QString& name)
{
    if (name_ == name)
        return;
    name_ = name;
    Changed();
}

void TFont::SetHeight(int height)
{
    if (height_ == height)
        return;
    height_ = height;
    Changed();
}

int TFont::Size() const
{
    if (pixelsPerInch_ == 0)
        return 0;
    return -MulDiv(height_, 72, pixelsPerInch_);
}

void TFont::SetSize(int size)
{
    SetHeight(-MulDiv(size, pixelsPerInch_, 72));
}

void TFont::SetPixelsPerInch(int ppi)
{
    if (pixelsPerInch_ == ppi)
        return;
    pixelsPerInch_ = ppi;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color_ == color)
        return;
    color_ = color;
    Changed();
}

void TFont::SetStyle(TFontStyles style)
{
    if (style_ == style)
        return;
    style_ = style;
    Changed();
}

void TFont::SetPitch(TFontPitch pitch)
{
    if (pitch_ == pitch)
        return;
    pitch_ = pitch;
    Changed();
}

void TFont::SetCharset(TFontCharset charset)
{
    if (charset_ == charset)
        return;
    charset_ = charset;
    Changed();
}

void TFont::SetOrientation(int tenthsOfDegree)
{
    if (orientation_ == tenthsOfDegree)
        return;
    orientation_ = tenthsOfDegree;
    Changed();
}

bool TFont::SameAs(const TFont& o) const
{
    return name_ == o.name_ && height_ == o.height_ && pixelsPerInch_ == o.pixelsPerInch_ &&
           color_ == o.color_ && style_ == o.style_ && pitch_ == o.pitch_ && charset_ == o.charset_ &&
           orientation_ == o.orientation_;
}

void TFont::Assign(const TFont& other)
{
    if (this == &other || SameAs(other))
        return;
    name_ = other.name_;
    height_ = other.height_;
    pixelsPerInch_ = other.pixelsPerInch_;
    color_ = other.color_;
    style_ = other.style_;
    pitch_ = other.pitch_;
    charset_ = other.charset_;
    orientation_ = other.orientation_;
    Changed();
}

namespace {

QFont BaseFont(const QString& name, TFontStyles style, TFontPitch pitch)
{
    QFont f(name.isEmpty() || name.compare(QLatin1String("Default"), Qt::CaseInsensitive) == 0
                ? TFont::DefaultName()
                : name);
    f.setBold(style.Contains(fsBold));
    f.setItalic(style.Contains(fsItalic));
    f.setUnderline(style.Contains(fsUnderline));
    f.setStrikeOut(style.Contains(fsStrikeOut));
    if (pitch == fpFixed) {
        f.setFixedPitch(true);
        f.setStyleHint(QFont::TypeWriter);
    }
    f.setKerning(false);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// Cell height (ascent + descent) per em of a face, measured once at a large size.
double CellPerEm(const QFont& base)
{
    static QHash<QString, double> cache;
    const QString key = base.family() + QLatin1Char('/') + QString::number(base.bold()) +
                        QString::number(base.italic()) + QString::number(base.fixedPitch());
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QFont big = base;
    big.setPixelSize(1000);
    QFontMetricsF fm(big);
    double ratio = (fm.ascent() + fm.descent()) / 1000.0;
    if (!(ratio > 0.1 && ratio < 10.0))
        ratio = 1.0;
    cache.insert(key, ratio);
    return ratio;
}

}  // namespace

void TFont::AssignQFont(const QFont& font)
{
    TFont taken(*this);
    taken.SetName(font.family());
    if (font.pixelSize() > 0)
        taken.SetHeight(-font.pixelSize());
    else
        taken.SetSize(int(std::lround(font.pointSizeF())));
    TFontStyles style;
    if (font.bold())
        style.Include(fsBold);
    if (font.italic())
        style.Include(fsItalic);
    if (font.underline())
        style.Include(fsUnderline);
    if (font.strikeOut())
        style.Include(fsStrikeOut);
    taken.SetStyle(style);
    Assign(taken);   // one change notification (a copy has no OnChange)
}

QFont TFont::ToQFont() const
{
    QFont f = BaseFont(name_, style_, pitch_);
    int px;
    if (height_ < 0)
        px = height_ == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -height_;
    else if (height_ > 0)
        px = int(height_ / CellPerEm(f) + 0.5);
    else
        px = -DefaultHeight;
    f.setPixelSize(std::clamp(px, 1, 32767));
    return f;
}
