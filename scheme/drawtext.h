// The text shape: a box that shows lines of text with a font, wrapping, alignment, vertical
// layout, an engraved look, rotation and automatic sizing.
#pragma once

#include "platform/types.h"
#include "scheme/drawshapes.h"

class TFontProp;

// The values of the text shape's "Alignment" property.
using TDrawTextAlignment = TAlignment;
enum TDrawTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

class TDrawText : public TDrawBox {
public:
    DRAW_CONTROL_CLASS(TDrawText);

    TBoolProp* AutoSizeProp() const { return FAutoSize; }
    TStrListProp* TextProp() const { return FText; }
    TFontProp* FontProp() const { return FFont; }
    TBoolProp* WordWrapProp() const { return FWordWrap; }
    TBoolProp* GrayedProp() const { return FGrayed; }
    TIntProp* AngleProp() const { return FAngle; }
    TEnumProp* AlignmentProp() const { return FAlignment; }
    TEnumProp* LayoutProp() const { return FLayout; }

    QString GetText() const;
    void SetText(const QString& text);
    // The size the text needs at 100 %, document units; 0 x 0 for no text.
    TSize MeasureText() const;

    void CreateProperties() override;
    void ControlCreate() override;
    void Rotate(const TRotationInfo& info) override;
    TDrawControl* CreateCurveControl() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    int GetCreationCursor() const override;

protected:
    TDrawText() = default;

private:
    // Draws (or, measuring, bounds into r) the text; scale for the font.
    void DrawTextIn(TCanvas& canvas, TRect& r, bool measuring, int scale);
    void SetSizeLocked(bool locked);
    void FollowText();

    TBoolProp* FAutoSize = nullptr;
    TStrListProp* FText = nullptr;
    TFontProp* FFont = nullptr;
    TBoolProp* FWordWrap = nullptr;
    TBoolProp* FGrayed = nullptr;
    TIntProp* FAngle = nullptr;
    TEnumProp* FAlignment = nullptr;
    TEnumProp* FLayout = nullptr;
    bool FResizing = false;
};
