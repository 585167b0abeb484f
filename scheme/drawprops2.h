// The five complex drawing properties: brush (hatch, gradient or tiled bitmap), pen, font,
// picture (optionally cut into frames or linked to a file) and line cap. Sizes are document
// units (thousandths of a pixel at 100 %) turned into pixels when applied to a canvas.
#pragma once

#include "platform/bitmap.h"
#include "platform/graphics.h"
#include "scheme/drawprops.h"

#include <memory>

enum TBrushMethod : uint8_t { bmHatch, bmGradient, bmBitmap };

struct TRotateGradientInfo {
    int Angle = 0;
    bool Mirror = false;
};

class TBrushProp : public TComplexProp {
public:
    TBrushProp(TPropList* owner, const QString& name);
    ~TBrushProp() override;
    QString ClassName() const override { return QStringLiteral("TBrushProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(Brush)"); }

    const TBrush& Brush() const { return FBrush; }
    TBrushMethod Method() const { return FMethod; }
    TColor Color() const { return FBrush.Color(); }
    TBrushStyle BrushStyle() const { return FBrush.Style(); }
    TGradientStyle GradStyle() const { return FGradStyle; }
    TColor GradBeginColor() const { return FGradBeginColor; }
    TColor GradEndColor() const { return FGradEndColor; }
    const TBitmap* Bitmap() const { return FBitmap.get(); }
    bool BitmapMasked() const { return FBitmapMasked; }
    TColor BitmapMaskColor() const { return FBitmapMaskColor; }
    bool BitmapCache() const { return FBitmapCache; }

    void SetMethod(TBrushMethod v);
    void SetColor(TColor v);
    void SetBrushStyle(TBrushStyle v);
    void SetGradStyle(TGradientStyle v);
    void SetGradBeginColor(TColor v);
    void SetGradEndColor(TColor v);
    // Copies the bitmap (nullptr drops it).
    void SetBitmap(const TBitmap* bitmap);
    void SetBitmapMasked(bool v);
    void SetBitmapMaskColor(TColor v);
    void SetBitmapCache(bool v);

    void Setup(TCanvas& canvas, int scale) override;
    virtual void UpdateBitmap();
    virtual void RotateGradient(const TRotateGradientInfo& info);
    bool IsCustomFill() const { return FMethod != bmHatch; }
    bool IsClear() const;
    void PaintCustomFill(TCanvas& canvas, const TRect& rect, const TRect& clipRect);
    void ClearCache();

private:
    TBrush FBrush;
    TBrushMethod FMethod = bmHatch;
    TGradientStyle FGradStyle = gsHorizontal;
    TColor FGradBeginColor = clBlack;
    TColor FGradEndColor = clBlack;
    std::unique_ptr<TBitmap> FBitmap;
    TBitmapCache FCache;
    bool FBitmapMasked = false;
    TColor FBitmapMaskColor = clBlack;
    bool FBitmapCache = false;
};

class TPenProp : public TComplexProp {
public:
    TPenProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TPenProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(Pen)"); }

    TColor Color() const { return FPen.Color(); }
    TPenStyle PenStyle() const { return FPen.Style(); }
    TPenMode Mode() const { return FPen.Mode(); }
    int Width() const { return FWidth; }
    void SetColor(TColor v);
    void SetPenStyle(TPenStyle v);
    void SetMode(TPenMode v);
    void SetWidth(int v);

    void Setup(TCanvas& canvas, int scale) override;
    int GetActualWidth() const;
    // The painted width in pixels at the given zoom in percent (0 when the pen paints nothing).
    int GetActualPixels(int scale) const;

private:
    TPen FPen;
    int FWidth = 1000;
};

class TFontProp : public TComplexProp {
public:
    TFontProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TFontProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(Font)"); }

    const TFont& Font() const { return FFont; }
    int Height() const { return FHeight; }
    int Size() const;
    void SetHeight(int v);
    void SetSize(int v);
    void SetName(const QString& v);
    void SetColor(TColor v);
    void SetCharset(TFontCharset v);
    void SetPitch(TFontPitch v);
    void SetFontStyle(TFontStyles v);
    void SetPixelsPerInch(int v);

    void Setup(TCanvas& canvas, int scale) override;
    bool Edit() override;
    void AssignFont(const TFont& font);

    // The font dialog Edit shows; tests and headless runs replace it. Returns true when confirmed.
    static std::function<bool(TFont& font)>& FontDialog();

private:
    TFont FFont;
    int FHeight = TFont::DefaultHeight * 1000;
};

class TPictureProp : public TComplexProp {
public:
    TPictureProp(TPropList* owner, const QString& name);
    ~TPictureProp() override;
    QString ClassName() const override { return QStringLiteral("TPictureProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(Picture)"); }

    TPicture& Picture() { return FPicture; }
    const TGraphic* Graphic() const { return FPicture.Graphic(); }
    QString GraphicClass() const { return FGraphicClass; }
    bool HasGraphic() const { return !FEmpty; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Columns() const { return FColumns; }
    int Rows() const { return FRows; }
    bool Masked() const { return FMasked; }
    TColor MaskColor() const { return FMaskColor; }
    const QString& LinkName() const { return FLinkName; }

    // Holds a copy of the graphic (nullptr clears it).
    void SetGraphic(const TGraphic* graphic);
    void SetColumns(int v);
    void SetRows(int v);
    void SetMasked(bool v);
    void SetMaskColor(TColor v);
    void SetLinkName(const QString& v);

    virtual bool IsBitmap() const;
    virtual std::unique_ptr<TBitmap> CreateFrameBitmap(const TGraphic& graphic, int index) const;
    TRect GetFrameRect() const;
    TRect GetFrameRectOf(int index) const;
    void Draw(TCanvas& canvas, const TRect& rect, bool clipTransparent, int frameIndex);
    void PictureChanged();
    bool LoadLinked();
    void ClearGraphic(bool clearLink);

private:
    TPicture FPicture;
    QString FGraphicClass;
    bool FEmpty = true;
    int FWidth = 0;
    int FHeight = 0;
    int FColumns = 1;
    int FRows = 1;
    bool FMasked = false;
    TColor FMaskColor = clBlack;
    QString FLinkName;
    bool FInGraphicChange = false;
};

class TLineCapProp : public TComplexProp {
public:
    TLineCapProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TLineCapProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(LineCap)"); }

    int CapStyle() const { return FCapStyle; }
    bool FixedSize() const { return FFixedSize; }
    int Size() const { return FSize; }
    bool FixedOutlineColor() const { return FFixedOutlineColor; }
    TColor OutlineColor() const { return FOutlineColor; }
    bool FixedFillColor() const { return FFixedFillColor; }
    TColor FillColor() const { return FFillColor; }
    void SetCapStyle(int v);
    void SetFixedSize(bool v);
    void SetSize(int v);
    void SetFixedOutlineColor(bool v);
    void SetOutlineColor(TColor v);
    void SetFixedFillColor(bool v);
    void SetFillColor(TColor v);

    int GetActualSize(int penWidth, int base) const;

private:
    int FCapStyle = 0;
    bool FFixedSize = false;
    int FSize = 8000;
    bool FFixedOutlineColor = false;
    TColor FOutlineColor = clBlack;
    bool FFixedFillColor = false;
    TColor FFillColor = clWhite;
};

// Identifier tables of the enumerations the document writes by name.
QString BrushMethodName(TBrushMethod v);
QString GradientStyleName(TGradientStyle v);
QString BrushStyleName(TBrushStyle v);
QString PenStyleName(TPenStyle v);
QString PenModeName(TPenMode v);
QString FontPitchName(TFontPitch v);
// "fsBold,fsItalic"
QString FontStylesText(TFontStyles v);
