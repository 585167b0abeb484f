// The engine shape of the scheme documents: a 40 x 40 pixel rotor mark that turns, one frame
// every 50 ms, while its "Active" property is True. Documents create it by the class name
// "TEngineControl", so InitEngineControl must run before the first document is read.
#pragma once

#include "scheme/drawcontrols.h"

#include <QString>
#include <memory>

class QTimer;
class TBitmap;

class TEngineControl : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TEngineControl);

    static constexpr int kFrameCount = 4;
    static constexpr int kFrameSize = 40;         // pixels
    static constexpr int kTickMs = 50;

    TBoolProp* ActiveProp() const { return FActive; }
    bool GetActive() const;
    void SetActive(bool value);
    // The frame Paint shows, 0..3.
    int FrameIndex() const { return FFrameIndex; }
    // The animation timer, nullptr while the shape is still.
    QTimer* AnimationTimer() const { return FTimer.get(); }

    void StartAnimation();
    void StopAnimation();

    void CreateProperties() override;
    void ControlCreate() override;
    void ControlDestroy() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    bool GetToolInfo(TBitmap* toolIcon, QString& hint) override;
    // A new bitmap of frame index (0..3) sized like the shape, white drawn transparent;
    // nullptr without the strip or for an index outside the strip.
    virtual std::unique_ptr<TBitmap> GetFrameBitmap(int index) const;
    // One step of the animation: the next frame, then a repaint.
    virtual void AnimationTick();

protected:
    TEngineControl() = default;

private:
    int FFrameIndex = 0;
    TBoolProp* FActive = nullptr;
    std::unique_ptr<QTimer> FTimer;
};

// The frame strip (160 x 40) and the tool icon (24 x 24), shared by every shape; nullptr
// until loaded.
TBitmap* EngineImages();
TBitmap* EngineIcon();
// Loads both bitmaps from the program's resources "ENGINEIMAGES" and "ENGINEICON"; raises
// EInvalidGraphic when a resource is missing or unreadable.
void LoadEngineBitmaps();
void FreeEngineBitmaps();
// Hands the class to the scheme library's registry (once, however often called).
void RegisterEngineControl();
// Start-up of the unit: the bitmaps, then the registration. Safe to call again.
void InitEngineControl();
