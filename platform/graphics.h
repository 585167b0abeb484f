// Pen, brush and font: the drawing attributes a TCanvas paints with. Each is a small value
// object with an OnChange callback fired after a setter actually changed something, so an
// owner (a scheme property, a bitmap's canvas) can follow its edits.
#pragma once

#include "platform/types.h"

#include <QFont>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>

// ---- Pen ------------------------------------------------------------------------------------

enum TPenStyle : std::uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame,
};

// The sixteen binary raster operations between the pen colour P and the destination D.
enum TPenMode : std::uint8_t {
    pmBlack,        // 0
    pmWhite,        // 1
    pmNop,          // D
    pmNot,          // ~D
    pmCopy,         // P
    pmNotCopy,      // ~P
    pmMergePenNot,  // P | ~D
    pmMaskPenNot,   // P & ~D
    pmMergeNotPen,  // ~P | D
    pmMaskNotPen,   // ~P & D
    pmMerge,        // P | D
    pmNotMerge,     // ~(P | D)
    pmMask,         // P & D
    pmNotMask,      // ~(P & D)
    pmXor,          // P ^ D
    pmNotXor,       // ~(P ^ D)
};

// Applies a raster operation to two 0x??RRGGBB values; only the low 24 bits are meaningful.
std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t pen, std::uint32_t dest);

class TPen {
public:
    TPen() = default;
    // Copies the drawing attributes; the OnChange callback stays with its owner.
    TPen(const TPen& other);
    TPen& operator=(const TPen& other);

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle style);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode mode);
    // Pixels; values below 1 draw as 1.
    int Width() const { return width_; }
    void SetWidth(int width);

    // Copies colour, style, mode and width and fires OnChange once when anything differed.
    void Assign(const TPen& other);
    bool SameAs(const TPen& other) const;

    std::function<void()> OnChange;

private:
    void Changed();

    TColor color_ = clBlack;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
    int width_ = 1;
};

// ---- Brush ----------------------------------------------------------------------------------

enum TBrushStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,   // "\" lines
    bsBDiagonal,   // "/" lines
    bsCross,
    bsDiagCross,
};

class TBrush {
public:
    TBrush() = default;
    TBrush(const TBrush& other);
    TBrush& operator=(const TBrush& other);

    TColor Color() const { return color_; }
    // Setting a colour on a clear brush makes it solid again, as the original platform did.
    void SetColor(TColor color);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle style);

    void Assign(const TBrush& other);
    bool SameAs(const TBrush& other) const;

    std::function<void()> OnChange;

private:
    void Changed();

    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
};

// ---- Font -----------------------------------------------------------------------------------

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of TFontStyle values.
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (TFontStyle s : styles)
            bits_ |= std::uint8_t(1u << s);
    }
    static constexpr TFontStyles FromBits(std::uint8_t bits)
    {
        TFontStyles r;
        r.bits_ = bits & 0x0F;
        return r;
    }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool Contains(TFontStyle s) const { return (bits_ >> s) & 1u; }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr void Include(TFontStyle s) { bits_ |= std::uint8_t(1u << s); }
    constexpr void Exclude(TFontStyle s) { bits_ &= std::uint8_t(~(1u << s)); }
    constexpr TFontStyles operator+(TFontStyles o) const { return FromBits(bits_ | o.bits_); }
    constexpr TFontStyles operator-(TFontStyles o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TFontStyles operator*(TFontStyles o) const { return FromBits(bits_ & o.bits_); }
    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    std::uint8_t bits_ = 0;
};

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset RUSSIAN_CHARSET = 204;

class TFont {
public:
    TFont() = default;
    TFont(const TFont& other);
    TFont& operator=(const TFont& other);

    const QString& Name() const { return name_; }
    void SetName(const QString& name);
    // Pixels. Negative: the character height (em size); positive: the cell height (ascent plus
    // descent); 0: the default size.
    int Height() const { return height_; }
    void SetHeight(int height);
    // Points: -MulDiv(Height, 72, PixelsPerInch); setting it sets Height = -MulDiv(Size, PPI, 72).
    int Size() const;
    void SetSize(int size);
    int PixelsPerInch() const { return pixelsPerInch_; }
    // Stored as is; Height keeps its value.
    void SetPixelsPerInch(int ppi);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch pitch);
    TFontCharset Charset() const { return charset_; }
    void SetCharset(TFontCharset charset);
    // Angle of the text's baseline in tenths of a degree, counter-clockwise (900 reads bottom to top).
    int Orientation() const { return orientation_; }
    void SetOrientation(int tenthsOfDegree);

    void Assign(const TFont& other);
    bool SameAs(const TFont& other) const;

    // The Qt font that draws this one: pixel sized, without antialiasing, kerning or hinting
    // differences between devices. The orientation is not part of it (the canvas rotates).
    QFont ToQFont() const;
    // Takes the family, size (a pixel size as Height, a point size as Size) and style of a Qt
    // font; colour, charset and orientation stay.
    void AssignQFont(const QFont& font);

    std::function<void()> OnChange;

    static constexpr int DefaultHeight = -11;
    static const QString& DefaultName();

private:
    void Changed();

    QString name_ = DefaultName();
    int height_ = DefaultHeight;
    int pixelsPerInch_ = 96;
    TColor color_ = clBlack;
    TFontStyles style_;
    TFontPitch pitch_ = fpDefault;
    TFontCharset charset_ = DEFAULT_CHARSET;
    int orientation_ = 0;
};

// Text metrics of a font, in pixels.
struct TTextMetric {
    int Height = 0;            // ascent + descent
    int Ascent = 0;
    int Descent = 0;
    int InternalLeading = 0;   // Height minus the em size
    int ExternalLeading = 0;
    int AveCharWidth = 0;
    int MaxCharWidth = 0;
    int Overhang = 0;          // always 0: glyphs are outlines
};
