// Box (optionally with rounded corners), ellipse and picture shapes.
#pragma once

#include "scheme/drawcontrols.h"

class TBrushProp;
class TPenProp;
class TPictureProp;

class TDrawBox : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawBox);

    TBrushProp* BrushProp() const { return FBrush; }
    TPenProp* PenProp() const { return FPen; }
    TIntProp* RoundnessProp() const { return FRoundness; }
    int GetRoundness() const;
    bool AlwaysFilled() const { return FAlwaysFilled; }
    // The shape's region in client pixels; forHit gives the region that hit tests use.
    virtual TRegion CreateRegion(bool forHit) const;

    void CreateProperties() override;
    void ControlCreate() override;
    void Rotate(const TRotationInfo& info) override;
    TDrawControl* CreateCurveControl() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    TPoint GetAnchorPoint() const override;
    TPoint GetLinkPoint(int index) const override;
    int GetLinkPointCount() const override;
    int GetCreationCursor() const override;
    bool IsPointInside(int x, int y) override;

protected:
    TDrawBox() = default;
    // Pen, brush set up and the canvas cleared of pen width issues; shared with the text.
    void PaintShape(TCanvas& canvas, const TRect& paintRect);
    // The pen's painted width in pixels at the owner's scale (0 for a clear pen).
    int PenPixels() const;

    bool FAlwaysFilled = false;

private:
    TBrushProp* FBrush = nullptr;
    TPenProp* FPen = nullptr;
    TIntProp* FRoundness = nullptr;
};

class TDrawEllipse : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawEllipse);

    TBrushProp* BrushProp() const { return FBrush; }
    TPenProp* PenProp() const { return FPen; }
    TRegion CreateRegion(bool forHit) const;

    void CreateProperties() override;
    void ControlCreate() override;
    void Rotate(const TRotationInfo& info) override;
    TDrawControl* CreateCurveControl() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    TPoint GetAnchorPoint() const override;
    TPoint GetLinkPoint(int index) const override;
    int GetLinkPointCount() const override;
    int GetCreationCursor() const override;
    bool IsPointInside(int x, int y) override;

protected:
    TDrawEllipse() = default;

private:
    int PenPixels() const;
    TBrushProp* FBrush = nullptr;
    TPenProp* FPen = nullptr;
};

class TDrawPicture : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawPicture);

    TPictureProp* PictureProp() const { return FPicture; }
    TBoolProp* AutoSizeProp() const { return FAutoSize; }
    TIntProp* FrameIndexProp() const { return FFrameIndex; }

    void CreateProperties() override;
    void ControlCreate() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    TPoint GetLinkPoint(int index) const override;
    int GetLinkPointCount() const override;
    int GetCreationCursor() const override;
    bool IsPointInside(int x, int y) override;

protected:
    TDrawPicture() = default;

private:
    void ApplyAutoSize();
    TBoolProp* FAutoSize = nullptr;
    TPictureProp* FPicture = nullptr;
    TIntProp* FFrameIndex = nullptr;
};

// The nine link points of a plain rectangle W x H (corners, edge middles, centre).
TPoint BoxLinkPoint(int index, int w, int h);

// Regions of an ellipse and of a rectangle with corners rounded by ellipses roundPx wide, in
// pixels; shapes too large for the platform's regions are built only where a window can be.
TRegion EllipseRegion(const TRect& r);
TRegion RoundRectRegion(const TRect& r, int roundPx);
