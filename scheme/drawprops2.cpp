#include "scheme/drawprops2.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/streams.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
#include <QImage>
#include <algorithm>
#include <cmath>

namespace {

const char* const BrushMethodNames[] = {"bmHatch", "bmGradient", "bmBitmap"};
const char* const GradientStyleNames[] = {"gsHorizontal", "gsVertical",   "gsSquare",       "gsElliptic",
                                          "gsTopLeft",    "gsTopRight",   "gsBottomLeft",   "gsBottomRight"};
const char* const BrushStyleNames[] = {"bsSolid",     "bsClear", "bsHorizontal", "bsVertical",
                                       "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"};
const char* const PenStyleNames[] = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                                     "psInsideFrame"};
const char* const PenModeNames[] = {"pmBlack",       "pmWhite",       "pmNop",   "pmNot",      "pmCopy",    "pmNotCopy",
                                    "pmMergePenNot", "pmMaskPenNot",  "pmMergeNotPen", "pmMaskNotPen", "pmMerge",
                                    "pmNotMerge",    "pmMask",        "pmNotMask", "pmXor",    "pmNotXor"};
const char* const FontPitchNames[] = {"fpDefault", "fpVariable", "fpFixed"};
const char* const FontStyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

template <std::size_t N>
QString NameOf(const char* const (&names)[N], int v)
{
    return v >= 0 && std::size_t(v) < N ? QString::fromLatin1(names[v]) : QString::number(v);
}

// An identifier (any letter case) or an ordinal; false for anything else.
template <std::size_t N>
bool EnumFrom(const char* const (&names)[N], const Variant& value, int& out)
{
    if (value.Type() == varInteger || value.Type() == varInt64) {
        const int64_t i = value.AsInt64();
        if (i < 0 || std::size_t(i) >= N)
            return false;
        out = int(i);
        return true;
    }
    const QString text = VarToStr(value).trimmed();
    for (std::size_t i = 0; i < N; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            out = int(i);
            return true;
        }
    }
    return false;
}

bool BoolFrom(const Variant& value)
{
    if (value.Type() == varString) {
        const QString t = value.AsString().trimmed();
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return value.AsBoolean();
}

Variant BoolValue(bool b)
{
    return Variant(b ? QStringLiteral("True") : QStringLiteral("False"));
}

// Colours travel as signed decimals (system colours are negative).
TColor ColorFrom(const Variant& value)
{
    return TColor(uint32_t(value.AsInt64()));
}

Variant ColorValue(TColor c)
{
    return Variant(int32_t(c));
}

TFontStyles FontStylesFrom(const Variant& value)
{
    QString text = VarToStr(value).trimmed();
    if (text.startsWith('['))
        text.remove(0, 1);
    if (text.endsWith(']'))
        text.chop(1);
    TFontStyles styles;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        int i = 0;
        if (EnumFrom(FontStyleNames, Variant(part.trimmed()), i))
            styles.Include(TFontStyle(i));
    }
    return styles;
}

TFontCharset CharsetFrom(const Variant& value)
{
    if (value.Type() == varString) {
        const QString t = value.AsString().trimmed();
        if (t.compare(QLatin1String("DEFAULT_CHARSET"), Qt::CaseInsensitive) == 0)
            return DEFAULT_CHARSET;
        if (t.compare(QLatin1String("ANSI_CHARSET"), Qt::CaseInsensitive) == 0)
            return ANSI_CHARSET;
        if (t.compare(QLatin1String("RUSSIAN_CHARSET"), Qt::CaseInsensitive) == 0)
            return RUSSIAN_CHARSET;
    }
    return TFontCharset(value.AsInteger());
}

}  // namespace

QString BrushMethodName(TBrushMethod v) { return NameOf(BrushMethodNames, v); }
QString GradientStyleName(TGradientStyle v) { return NameOf(GradientStyleNames, v); }
QString BrushStyleName(TBrushStyle v) { return NameOf(BrushStyleNames, v); }
QString PenStyleName(TPenStyle v) { return NameOf(PenStyleNames, v); }
QString PenModeName(TPenMode v) { return NameOf(PenModeNames, v); }
QString FontPitchName(TFontPitch v) { return NameOf(FontPitchNames, v); }

QString FontStylesText(TFontStyles v)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        if (v.Contains(TFontStyle(i)))
            parts.append(QLatin1String(FontStyleNames[i]));
    return parts.join(',');
}

// ---------------------------------------------------------------- brush

TBrushProp::TBrushProp(TPropList* owner, const QString& name) : TComplexProp(owner, name)
{
    AddSub(QStringLiteral("Method"), [this] { return Variant(BrushMethodName(FMethod)); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(BrushMethodNames, v, i))
                   SetMethod(TBrushMethod(i));
           },
           [this] { return FMethod != bmHatch; });
    AddSub(QStringLiteral("Color"), [this] { return ColorValue(FBrush.Color()); },
           [this](const Variant& v) { SetColor(ColorFrom(v)); }, [this] { return FBrush.Color() != clNone; });
    AddSub(QStringLiteral("Style"), [this] { return Variant(BrushStyleName(FBrush.Style())); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(BrushStyleNames, v, i))
                   SetBrushStyle(TBrushStyle(i));
           },
           [this] { return FBrush.Style() != bsSolid; });
    AddSub(QStringLiteral("Bitmap"),
           [this] { return FBitmap && !FBitmap->Empty() ? Variant(FBitmap->SaveToBytes()) : Variant(); },
           [this](const Variant& v) {
               SetBitmap(nullptr);
               if (v.Type() == varBytes && !v.AsBytes().isEmpty()) {
                   TMemoryStream stream(v.AsBytes());
                   TBitmap bitmap;
                   bitmap.LoadFromStream(stream);
                   SetBitmap(&bitmap);
               }
           },
           [this] { return FBitmap != nullptr; }, ptData);
    AddSub(QStringLiteral("BitmapMasked"), [this] { return BoolValue(FBitmapMasked); },
           [this](const Variant& v) { SetBitmapMasked(BoolFrom(v)); }, [this] { return FBitmapMasked; });
    AddSub(QStringLiteral("BitmapMaskColor"), [this] { return ColorValue(FBitmapMaskColor); },
           [this](const Variant& v) { SetBitmapMaskColor(ColorFrom(v)); }, [this] { return FBitmapMaskColor != 0; });
    AddSub(QStringLiteral("BitmapCache"), [this] { return BoolValue(FBitmapCache); },
           [this](const Variant& v) { SetBitmapCache(BoolFrom(v)); }, [this] { return FBitmapCache; });
    AddSub(QStringLiteral("GradStyle"), [this] { return Variant(GradientStyleName(FGradStyle)); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(GradientStyleNames, v, i))
                   SetGradStyle(TGradientStyle(i));
           },
           [this] { return FGradStyle != gsHorizontal; });
    AddSub(QStringLiteral("GradBeginColor"), [this] { return ColorValue(FGradBeginColor); },
           [this](const Variant& v) { SetGradBeginColor(ColorFrom(v)); }, [this] { return FGradBeginColor != 0; });
    AddSub(QStringLiteral("GradEndColor"), [this] { return ColorValue(FGradEndColor); },
           [this](const Variant& v) { SetGradEndColor(ColorFrom(v)); }, [this] { return FGradEndColor != 0; });
}

TBrushProp::~TBrushProp()
{
    if (FBitmap)
        FBitmap->OnChange = nullptr;
}

void TBrushProp::SetMethod(TBrushMethod v)
{
    Change(FMethod, v, [&] { FMethod = v; });
}

void TBrushProp::SetColor(TColor v)
{
    Change(FBrush.Color(), v, [&] { FBrush.SetColor(v); });
}

void TBrushProp::SetBrushStyle(TBrushStyle v)
{
    Change(FBrush.Style(), v, [&] { FBrush.SetStyle(v); });
}

void TBrushProp::SetGradStyle(TGradientStyle v)
{
    Change(FGradStyle, v, [&] { FGradStyle = v; });
}

void TBrushProp::SetGradBeginColor(TColor v)
{
    Change(FGradBeginColor, v, [&] { FGradBeginColor = v; });
}

void TBrushProp::SetGradEndColor(TColor v)
{
    Change(FGradEndColor, v, [&] { FGradEndColor = v; });
}

void TBrushProp::SetBitmap(const TBitmap* bitmap)
{
    if (bitmap == FBitmap.get() && bitmap)
        return;
    if (!bitmap && !FBitmap)
        return;
    ChangeAlways([&] {
        ClearCache();
        if (!bitmap) {
            FBitmap->OnChange = nullptr;
            FBitmap.reset();
            return;
        }
        if (FBitmap)
            FBitmap->OnChange = nullptr;
        else
            FBitmap = std::make_unique<TBitmap>();
        FBitmap->Assign(*bitmap);
        FBitmap->SetTransparentColor(FBitmapMaskColor);
        FBitmap->SetTransparent(FBitmapMasked);
        FBitmap->OnChange = [this] { UpdateBitmap(); };
    });
}

void TBrushProp::UpdateBitmap()
{
    if (!FBitmap)
        return;
    FBitmapMaskColor = FBitmap->TransparentColor();
    FBitmapMasked = FBitmap->Transparent();
    ClearCache();
    DoChanged();
}

void TBrushProp::SetBitmapMasked(bool v)
{
    if (FBitmap) {
        if (!IsReadOnly() && FBitmap->Transparent() != v)
            FBitmap->SetTransparent(v);  // UpdateBitmap stores it
        return;
    }
    Change(FBitmapMasked, v, [&] { FBitmapMasked = v; });
}

void TBrushProp::SetBitmapMaskColor(TColor v)
{
    if (FBitmap) {
        if (!IsReadOnly() && (FBitmap->TransparentColor() != v || FBitmap->TransparentMode() != tmFixed))
            FBitmap->SetTransparentColor(v);
        return;
    }
    Change(FBitmapMaskColor, v, [&] { FBitmapMaskColor = v; });
}

void TBrushProp::SetBitmapCache(bool v)
{
    Change(FBitmapCache, v, [&] {
        FBitmapCache = v;
        ClearCache();
    });
}

void TBrushProp::ClearCache()
{
    FCache.Clear();
}

void TBrushProp::Setup(TCanvas& canvas, int)
{
    canvas.SetBrush(FBrush);
    if (FMethod != bmHatch || FBrush.Color() == clNone)
        canvas.Brush().SetStyle(bsClear);
}

bool TBrushProp::IsClear() const
{
    switch (FMethod) {
    case bmHatch:
        return FBrush.Color() == clNone || FBrush.Style() == bsClear;
    case bmGradient:
        return false;
    case bmBitmap:
        return !FBitmap || FBitmap->Empty();
    }
    return true;
}

void TBrushProp::PaintCustomFill(TCanvas& canvas, const TRect& rect, const TRect& clipRect)
{
    switch (FMethod) {
    case bmGradient:
        PaintGradient(canvas, rect, FGradStyle, FGradBeginColor, FGradEndColor, canvas.Pen().Mode());
        break;
    case bmBitmap:
        if (FBitmap)
            PaintBitmap(canvas, rect, clipRect, FBitmapCache ? &FCache : nullptr, FBitmap.get());
        break;
    case bmHatch:
        break;
    }
}

void TBrushProp::RotateGradient(const TRotateGradientInfo& info)
{
    if (FMethod != bmGradient)
        return;
    int q = int(RoundHalfEven(double(info.Angle % 360) / 90.0));
    if (q < 0)
        q += 4;
    q %= 4;
    auto swapColors = [this] {
        const TColor b = FGradBeginColor;
        const TColor e = FGradEndColor;
        SetGradBeginColor(e);
        SetGradEndColor(b);
    };
    auto toggle = [this] { SetGradStyle(FGradStyle == gsHorizontal ? gsVertical : gsHorizontal); };
    switch (FGradStyle) {
    case gsHorizontal:
        if (info.Mirror)
            swapColors();
        if (q == 1) {
            toggle();
            swapColors();
        } else if (q == 2) {
            swapColors();
        } else if (q == 3) {
            toggle();
        }
        break;
    case gsVertical:
        if (q == 1) {
            toggle();
        } else if (q == 2) {
            swapColors();
        } else if (q == 3) {
            toggle();
            swapColors();
        }
        break;
    case gsSquare:
    case gsElliptic:
        break;
    default: {
        static const TGradientStyle ring[4] = {gsTopLeft, gsBottomLeft, gsBottomRight, gsTopRight};
        int i = int(std::find(std::begin(ring), std::end(ring), FGradStyle) - std::begin(ring));
        if (info.Mirror)
            i = 3 - i;
        SetGradStyle(ring[(q + i) % 4]);
        break;
    }
    }
}

// ---------------------------------------------------------------- pen

TPenProp::TPenProp(TPropList* owner, const QString& name) : TComplexProp(owner, name)
{
    AddSub(QStringLiteral("Color"), [this] { return ColorValue(FPen.Color()); },
           [this](const Variant& v) { SetColor(ColorFrom(v)); }, [this] { return FPen.Color() != clBlack; });
    AddSub(QStringLiteral("Style"), [this] { return Variant(PenStyleName(FPen.Style())); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(PenStyleNames, v, i))
                   SetPenStyle(TPenStyle(i));
           },
           [this] { return FPen.Style() != psSolid; });
    AddSub(QStringLiteral("Mode"), [this] { return Variant(PenModeName(FPen.Mode())); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(PenModeNames, v, i))
                   SetMode(TPenMode(i));
           },
           [this] { return FPen.Mode() != pmCopy; });
    AddSub(QStringLiteral("Width"), [this] { return Variant(FWidth); },
           [this](const Variant& v) { SetWidth(v.AsInteger()); }, [this] { return FWidth != 1000; });
}

void TPenProp::SetColor(TColor v)
{
    Change(FPen.Color(), v, [&] { FPen.SetColor(v); });
}

void TPenProp::SetPenStyle(TPenStyle v)
{
    Change(FPen.Style(), v, [&] { FPen.SetStyle(v); });
}

void TPenProp::SetMode(TPenMode v)
{
    Change(FPen.Mode(), v, [&] { FPen.SetMode(v); });
}

void TPenProp::SetWidth(int v)
{
    Change(FWidth, v, [&] { FWidth = v; });
}

void TPenProp::Setup(TCanvas& canvas, int scale)
{
    canvas.SetPen(FPen);
    TPen& pen = canvas.Pen();
    const int width = FPen.Style() == psSolid ? std::max(1, MulDiv(FWidth, scale, 100000)) : 1;
    pen.SetWidth(width);
    if (FPen.Color() == clNone)
        pen.SetStyle(psClear);
    else if (pen.Style() != psClear && width > 1)
        pen.SetStyle(psInsideFrame);
}

int TPenProp::GetActualWidth() const
{
    if (FPen.Color() == clNone || FPen.Style() == psClear)
        return 0;
    if (FPen.Style() != psSolid)
        return 1000;
    return FWidth;
}

int TPenProp::GetActualPixels(int scale) const
{
    return int(std::clamp<int64_t>(ScaleValue64(GetActualWidth(), scale), 0, kMaxPenPixels));
}

// ---------------------------------------------------------------- font

TFontProp::TFontProp(TPropList* owner, const QString& name) : TComplexProp(owner, name)
{
    FFont.SetName(QStringLiteral("Arial"));
    FHeight = FFont.Height() * 1000;
    SetStyle(Style() | psHasEditor);
    AddSub(QStringLiteral("PixelsPerInch"), [this] { return Variant(FFont.PixelsPerInch()); },
           [this](const Variant& v) { SetPixelsPerInch(v.AsInteger()); }, [] { return false; });
    AddSub(QStringLiteral("Charset"), [this] { return Variant(int(FFont.Charset())); },
           [this](const Variant& v) { SetCharset(CharsetFrom(v)); },
           [this] { return FFont.Charset() != DEFAULT_CHARSET; });
    AddSub(QStringLiteral("Color"), [this] { return ColorValue(FFont.Color()); },
           [this](const Variant& v) { SetColor(ColorFrom(v)); }, [this] { return FFont.Color() != 0; });
    AddSub(QStringLiteral("Height"), [this] { return Variant(FHeight); },
           [this](const Variant& v) { SetHeight(v.AsInteger()); }, [] { return false; });
    AddSub(QStringLiteral("Name"), [this] { return Variant(FFont.Name()); },
           [this](const Variant& v) { SetName(VarToStr(v)); }, [] { return true; });
    AddSub(QStringLiteral("Pitch"), [this] { return Variant(FontPitchName(FFont.Pitch())); },
           [this](const Variant& v) {
               int i = 0;
               if (EnumFrom(FontPitchNames, v, i))
                   SetPitch(TFontPitch(i));
           },
           [this] { return FFont.Pitch() != fpDefault; });
    AddSub(QStringLiteral("Size"), [this] { return Variant(Size()); },
           [this](const Variant& v) { SetSize(v.AsInteger()); }, [] { return true; });
    AddSub(QStringLiteral("Style"), [this] { return Variant(FontStylesText(FFont.Style())); },
           [this](const Variant& v) { SetFontStyle(FontStylesFrom(v)); }, [this] { return !FFont.Style().IsEmpty(); },
           ptPlain, true);
}

int TFontProp::Size() const
{
    return -MulDiv(FHeight, 72, FFont.PixelsPerInch());
}

void TFontProp::SetHeight(int v)
{
    Change(FHeight, v, [&] {
        FHeight = v;
        FFont.SetHeight(v / 1000);
    });
}

void TFontProp::SetSize(int v)
{
    SetHeight(-MulDiv(v, FFont.PixelsPerInch(), 72));
}

void TFontProp::SetName(const QString& v)
{
    Change(FFont.Name(), v, [&] { FFont.SetName(v); });
}

void TFontProp::SetColor(TColor v)
{
    Change(FFont.Color(), v, [&] { FFont.SetColor(v); });
}

void TFontProp::SetCharset(TFontCharset v)
{
    Change(FFont.Charset(), v, [&] { FFont.SetCharset(v); });
}

void TFontProp::SetPitch(TFontPitch v)
{
    Change(FFont.Pitch(), v, [&] { FFont.SetPitch(v); });
}

void TFontProp::SetFontStyle(TFontStyles v)
{
    Change(FFont.Style(), v, [&] { FFont.SetStyle(v); });
}

void TFontProp::SetPixelsPerInch(int v)
{
    if (v <= 0)
        return;  // a zero resolution would make Size divide by zero
    Change(FFont.PixelsPerInch(), v, [&] { FFont.SetPixelsPerInch(v); });
}

void TFontProp::Setup(TCanvas& canvas, int scale)
{
    canvas.SetFont(FFont);
    canvas.Font().SetHeight(MulDiv(FHeight, scale, 100000));
}

std::function<bool(TFont& font)>& TFontProp::FontDialog()
{
    static std::function<bool(TFont&)> dialog = [](TFont& font) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font.ToQFont());
        if (!ok)
            return false;
        font.AssignQFont(chosen);
        return true;
    };
    return dialog;
}

bool TFontProp::Edit()
{
    TFont copy(FFont);
    if (!FontDialog() || !FontDialog()(copy))
        return false;
    AssignFont(copy);
    return true;
}

void TFontProp::AssignFont(const TFont& font)
{
    ChangeAlways([&] {
        FFont.Assign(font);
        FHeight = font.Height() * 1000;
    });
}

// ---------------------------------------------------------------- picture

TPictureProp::TPictureProp(TPropList* owner, const QString& name) : TComplexProp(owner, name)
{
    FPicture.OnChange = [this] { PictureChanged(); };
    AddSub(QStringLiteral("Graphic"),
           [this] {
               if (!FPicture.Graphic() || FPicture.Graphic()->Empty() || !FLinkName.isEmpty())
                   return Variant();
               TMemoryStream stream;
               FPicture.WriteData(stream);
               return Variant(stream.Bytes());
           },
           [this](const Variant& v) {
               if (!FLinkName.isEmpty())
                   return;
               if (v.Type() != varBytes || v.AsBytes().isEmpty()) {
                   ClearGraphic(false);
                   return;
               }
               if (IsReadOnly())
                   return;
               TMemoryStream stream(v.AsBytes());
               DoBeforeChanged();
               FPicture.ReadData(stream);  // the container's change event completes the protocol
           },
           [this] { return FPicture.Graphic() && !FPicture.Graphic()->Empty(); }, ptData);
    AddSub(QStringLiteral("Columns"), [this] { return Variant(FColumns); },
           [this](const Variant& v) { SetColumns(v.AsInteger()); }, [this] { return FColumns > 1; });
    AddSub(QStringLiteral("Rows"), [this] { return Variant(FRows); },
           [this](const Variant& v) { SetRows(v.AsInteger()); }, [this] { return FRows > 1; });
    AddSub(QStringLiteral("Masked"), [this] { return BoolValue(FMasked); },
           [this](const Variant& v) { SetMasked(BoolFrom(v)); }, [this] { return FMasked; });
    AddSub(QStringLiteral("MaskColor"), [this] { return ColorValue(FMaskColor); },
           [this](const Variant& v) { SetMaskColor(ColorFrom(v)); }, [this] { return FMaskColor != 0; });
    AddSub(QStringLiteral("LinkName"), [this] { return Variant(FLinkName); },
           [this](const Variant& v) { SetLinkName(VarToStr(v)); }, [this] { return !FLinkName.isEmpty(); });
}

TPictureProp::~TPictureProp()
{
    FPicture.OnChange = nullptr;
}

bool TPictureProp::IsBitmap() const
{
    return dynamic_cast<const TBitmap*>(FPicture.Graphic()) != nullptr;
}

void TPictureProp::PictureChanged()
{
    const TGraphic* g = FPicture.Graphic();
    if (g && !IsBitmap()) {
        FColumns = 1;
        FRows = 1;
    }
    if (g) {
        FGraphicClass = g->ClassName();
        FEmpty = g->Empty();
        FWidth = g->Width();
        FHeight = g->Height();
        FMasked = g->Transparent();
        if (const auto* b = dynamic_cast<const TBitmap*>(g))
            FMaskColor = b->TransparentColor();
    } else {
        // Columns and Rows stay: a linked picture that comes back keeps its frames
        FGraphicClass.clear();
        FEmpty = true;
        FWidth = 0;
        FHeight = 0;
    }
    DoChanged();
}

void TPictureProp::SetGraphic(const TGraphic* graphic)
{
    if (IsReadOnly())
        return;
    DoBeforeChanged();
    FPicture.SetGraphic(graphic);
}

void TPictureProp::SetColumns(int v)
{
    if (v < 1 || (FPicture.Graphic() && !IsBitmap()))
        return;
    Change(FColumns, v, [&] { FColumns = v; });
}

void TPictureProp::SetRows(int v)
{
    if (v < 1 || (FPicture.Graphic() && !IsBitmap()))
        return;
    Change(FRows, v, [&] { FRows = v; });
}

void TPictureProp::SetMasked(bool v)
{
    if (TGraphic* g = FPicture.Graphic()) {
        if (!IsReadOnly() && g->Transparent() != v)
            g->SetTransparent(v);
        return;
    }
    Change(FMasked, v, [&] { FMasked = v; });
}

void TPictureProp::SetMaskColor(TColor v)
{
    if (auto* b = dynamic_cast<TBitmap*>(FPicture.Graphic())) {
        if (!IsReadOnly() && (b->TransparentColor() != v || b->TransparentMode() != tmFixed))
            b->SetTransparentColor(v);
        return;
    }
    Change(FMaskColor, v, [&] { FMaskColor = v; });
}

void TPictureProp::SetLinkName(const QString& v)
{
    if (!Change(FLinkName, v, [&] { FLinkName = v; }))
        return;
    if (FLinkName.isEmpty())
        ClearGraphic(false);
    else
        LoadLinked();
}

bool TPictureProp::LoadLinked()
{
    QString name = FLinkName;
    name.replace(QChar('\\'), QChar('/'));
    const QString path = QFileInfo(name).isAbsolute() ? name : QDir(ExeDir()).absoluteFilePath(name);
    // What the document said about frames and transparency outlives the reload.
    const int columns = FColumns;
    const int rows = FRows;
    const bool masked = FMasked;
    const TColor maskColor = FMaskColor;
    if (!QFileInfo(path).isFile()) {
        ClearGraphic(false);
        return false;
    }
    if (IsReadOnly())
        return false;
    DoBeforeChanged();
    FPicture.LoadFromFile(path);
    if (TGraphic* g = FPicture.Graphic()) {
        auto* b = dynamic_cast<TBitmap*>(g);
        if (b && maskColor != 0)
            b->SetTransparentColor(maskColor);
        if (g->Transparent() != masked)
            g->SetTransparent(masked);
        if (b) {
            FColumns = columns;
            FRows = rows;
            FMaskColor = maskColor;
        }
        FMasked = masked;
    }
    return true;
}

void TPictureProp::ClearGraphic(bool clearLink)
{
    if (IsReadOnly())
        return;
    if (clearLink && !FLinkName.isEmpty())
        FLinkName.clear();
    if (!FPicture.Graphic()) {
        PictureChanged();
        return;
    }
    DoBeforeChanged();
    FPicture.SetGraphic(static_cast<const TGraphic*>(nullptr));
}

TRect TPictureProp::GetFrameRect() const
{
    if (FEmpty)
        return TRect();
    if (IsBitmap())
        return TRect(0, 0, FWidth / FColumns, FHeight / FRows);
    return TRect(0, 0, FWidth, FHeight);
}

TRect TPictureProp::GetFrameRectOf(int index) const
{
    if (FEmpty)
        return TRect();
    if (!IsBitmap())
        return TRect(0, 0, FWidth, FHeight);
    const int column = index % FColumns;
    const int row = index / FColumns;
    if (index < 0 || row >= FRows)
        return TRect(0, 0, FWidth, FHeight);
    const int w = FWidth / FColumns;
    const int h = FHeight / FRows;
    return TRect(column * w, row * h, column * w + w, row * h + h);
}

std::unique_ptr<TBitmap> TPictureProp::CreateFrameBitmap(const TGraphic& graphic, int index) const
{
    const auto* source = dynamic_cast<const TBitmap*>(&graphic);
    if (!source)
        return nullptr;
    const TRect r = GetFrameRectOf(index);
    auto frame = std::make_unique<TBitmap>(source->Image().copy(r.ToQRect()));
    if (source->TransparentMode() == tmFixed)
        frame->SetTransparentColor(source->TransparentColor());
    frame->SetTransparent(source->Transparent());
    return frame;
}

void TPictureProp::Draw(TCanvas& canvas, const TRect& rect, bool clipTransparent, int frameIndex)
{
    const TGraphic* g = FPicture.Graphic();
    if (!g || g->Empty() || rect.IsEmpty())
        return;
    std::unique_ptr<TBitmap> frame;
    const TGraphic* image = g;
    if (FColumns > 1 || FRows >= 2) {
        frame = CreateFrameBitmap(*g, frameIndex);
        if (frame)
            image = frame.get();
    }
    TRegion clip(rect);
    if (clipTransparent && image->Transparent() && image->Width() > 0 && image->Height() > 0) {
        const auto* bmp = dynamic_cast<const TBitmap*>(image);
        const QImage pixels = image->ToImage().convertToFormat(QImage::Format_RGB32);
        const QRgb transparent = bmp ? ToQColor(bmp->TransparentColor()).rgb() : 0;
        const double kx = double(rect.Width()) / pixels.width();
        const double ky = double(rect.Height()) / pixels.height();
        QRegion opaque;
        for (int y = 0; y < pixels.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            int x = 0;
            while (x < pixels.width()) {
                while (x < pixels.width() && (line[x] & 0xFFFFFF) == (transparent & 0xFFFFFF))
                    ++x;
                const int start = x;
                while (x < pixels.width() && (line[x] & 0xFFFFFF) != (transparent & 0xFFFFFF))
                    ++x;
                if (x > start) {
                    const int l = int(std::lround(start * kx)) + rect.Left;
                    const int r = int(std::lround(x * kx)) + rect.Left;
                    const int t = int(std::lround(y * ky)) + rect.Top;
                    const int b = int(std::lround((y + 1) * ky)) + rect.Top;
                    if (r > l && b > t)
                        opaque += QRect(l, t, r - l, b - t);
                }
            }
        }
        clip = clip.Intersected(TRegion(opaque));
    }
    const std::optional<TRegion> saved = canvas.ClipRegion();
    canvas.IntersectClipRgn(clip);
    canvas.StretchDraw(rect, *image);
    canvas.SelectClipRgn(saved);
}

// ---------------------------------------------------------------- line cap

TLineCapProp::TLineCapProp(TPropList* owner, const QString& name) : TComplexProp(owner, name)
{
    AddSub(QStringLiteral("CapStyle"), [this] { return Variant(FCapStyle); },
           [this](const Variant& v) { SetCapStyle(v.AsInteger()); }, [this] { return FCapStyle != 0; });
    AddSub(QStringLiteral("FixedSize"), [this] { return BoolValue(FFixedSize); },
           [this](const Variant& v) { SetFixedSize(BoolFrom(v)); }, [this] { return FFixedSize; });
    AddSub(QStringLiteral("Size"), [this] { return Variant(FSize); },
           [this](const Variant& v) { SetSize(v.AsInteger()); }, [this] { return FSize != 8000; });
    AddSub(QStringLiteral("FixedOutlineColor"), [this] { return BoolValue(FFixedOutlineColor); },
           [this](const Variant& v) { SetFixedOutlineColor(BoolFrom(v)); }, [this] { return FFixedOutlineColor; });
    AddSub(QStringLiteral("OutlineColor"), [this] { return ColorValue(FOutlineColor); },
           [this](const Variant& v) { SetOutlineColor(ColorFrom(v)); }, [this] { return FOutlineColor != 0; });
    AddSub(QStringLiteral("FixedFillColor"), [this] { return BoolValue(FFixedFillColor); },
           [this](const Variant& v) { SetFixedFillColor(BoolFrom(v)); }, [this] { return FFixedFillColor; });
    AddSub(QStringLiteral("FillColor"), [this] { return ColorValue(FFillColor); },
           [this](const Variant& v) { SetFillColor(ColorFrom(v)); }, [this] { return FFillColor != clWhite; });
}

void TLineCapProp::SetCapStyle(int v) { Change(FCapStyle, v, [&] { FCapStyle = v; }); }
void TLineCapProp::SetFixedSize(bool v) { Change(FFixedSize, v, [&] { FFixedSize = v; }); }
void TLineCapProp::SetSize(int v) { Change(FSize, v, [&] { FSize = v; }); }
void TLineCapProp::SetFixedOutlineColor(bool v) { Change(FFixedOutlineColor, v, [&] { FFixedOutlineColor = v; }); }
void TLineCapProp::SetOutlineColor(TColor v) { Change(FOutlineColor, v, [&] { FOutlineColor = v; }); }
void TLineCapProp::SetFixedFillColor(bool v) { Change(FFixedFillColor, v, [&] { FFixedFillColor = v; }); }
void TLineCapProp::SetFillColor(TColor v) { Change(FFillColor, v, [&] { FFillColor = v; }); }

int TLineCapProp::GetActualSize(int penWidth, int base) const
{
    if (FFixedSize)
        return base == 1000 ? FSize : MulDiv(FSize, base, 1000);
    return ClampToInt(int64_t(MulDiv(8000, base, 1000)) + 2 * (int64_t(penWidth) - base));
}
