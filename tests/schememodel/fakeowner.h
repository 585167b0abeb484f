// A window-less document owner for the model tests: scale 100 and origin 0 unless told
// otherwise, records notifications, reads and writes documents in the text form.
#pragma once

#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawfiler.h"

#include <QByteArray>
#include <utility>
#include <vector>

class FakeOwner : public TDrawOwner {
public:
    FakeOwner();
    ~FakeOwner() override;

    // A new document: one scheme and one layer.
    void NewDocument();
    TDrawLayer* Layer0() const { return FLayers->GetLayer(0); }
    TDrawCustomScheme* Scheme0() const { return FSchemes->GetScheme(0); }
    template <class T>
    T* Make(int left = 0, int top = 0, int width = 10000, int height = 10000)
    {
        T* c = TDrawControl::Create<T>(this, FActiveScheme, FActiveLayer);
        c->SetDocRect(TRect(left, top, left + width, top + height));
        return c;
    }
    QByteArray SaveDocument();
    void LoadDocument(const QByteArray& text);
    void Clear();

    std::vector<std::pair<TDrawControl*, TDrawNotify>> Notes;
    int CountNotes(TDrawControl* c, TDrawNotify code) const;

    int scale = 100;
    int originX = 0;
    int originY = 0;
    int paintWidth = 1000;
    int paintHeight = 1000;
    bool designing = false;
    bool selectAsFilled = false;
    bool hasWindow = false;
    int invalidations = 0;

    // TDrawOwner
    int Scale() const override { return scale; }
    void DocToClientPoint(TPoint& p) const override;
    void DocToClientRect(TRect& r) const override;
    void ClientToDoc(int& x, int& y) const override;
    int DocWidth() const override { return FDocWidth; }
    int DocHeight() const override { return FDocHeight; }
    void SetDocWidth(int v) override;
    void SetDocHeight(int v) override;
    bool IsLoading() const override { return FLoading > 0; }
    void BeginLoading() override { ++FLoading; }
    void EndLoading() override;
    void AbortLoading() noexcept override
    {
        if (FLoading > 0)
            --FLoading;
    }
    bool IsPasting() const override { return false; }
    TDrawControl* LoadObject(TDrawFiler& filer, TDrawControl* parent, const QByteArray& line) override;
    TPropRefList& PropRefList() override { return FRefs; }
    TIdPool& IdPool() override { return FIds; }
    void GenerateID(TDrawControl* control) override;
    bool ChangeControlID(TDrawControl* control, uint32_t oldId) override;
    void GenerateControlName(TDrawControl* control, TDrawControl* root, QString& name, bool numbered) override;
    bool AutoNames() const override { return true; }
    bool AutoNameNumbs() const override { return autoNameNumbs; }
    TDrawControl* FindControlByID(uint32_t id, TDrawControl* root = nullptr) const override;
    void DoNotify(TDrawControl* control, TDrawNotify code) override;
    void DoPropBeforeChanged(TDrawControl*, TCustomProp*) override {}
    void DoPropChanged(TDrawControl*, TCustomProp*) override {}
    void SelectControl(TDrawControl* control) override;
    void UnselectControl(TDrawControl* control) override;
    bool IsSelected(const TDrawControl* control) const override;
    int SelectedCount() const override { return int(FSelection.size()); }
    TDrawControl* Selected(int index) const override { return FSelection[std::size_t(index)]; }
    TDrawLayers* Layers() const override { return FLayers; }
    TDrawSchemes* Schemes() const override { return FSchemes; }
    TDrawGrid* Grid() const override { return FGrid; }
    TDrawLayer* ActiveLayer() const override { return FActiveLayer; }
    void SetActiveLayer(TDrawLayer* layer) override { FActiveLayer = layer; }
    TDrawCustomScheme* ActiveScheme() const override { return FActiveScheme; }
    void SetActiveScheme(TDrawCustomScheme* scheme) override { FActiveScheme = scheme; }
    bool HasWindow() const override { return hasWindow; }
    void InvalidateClientRect(const TRect&) override { ++invalidations; }
    void InvalidateWindow() override { ++invalidations; }
    TRect ClientRect() const override { return TRect(0, 0, paintWidth, paintHeight); }
    int PaintWidth() const override { return paintWidth; }
    int PaintHeight() const override { return paintHeight; }
    bool IsExporting() const override { return false; }
    bool PictureOption() const override { return false; }
    bool CurveOption() const override { return false; }
    bool SchemeBackground() const override { return true; }
    bool SchemeBkStretch() const override { return false; }
    bool ShowDocFrame() const override { return false; }
    bool IsDesigning() const override { return designing; }
    bool SelectAsFilled() const override { return selectAsFilled; }
    int ToolMode() const override { return 0; }
    int ConnectorsMinGap() const override { return 8000; }
    bool IsShiftDown() const override { return false; }

    bool autoNameNumbs = false;

private:
    TDrawLayers* FLayers = nullptr;
    TDrawSchemes* FSchemes = nullptr;
    TDrawGrid* FGrid = nullptr;
    TDrawLayer* FActiveLayer = nullptr;
    TDrawCustomScheme* FActiveScheme = nullptr;
    std::vector<TDrawControl*> FSelection;
    TIdPool FIds;
    TPropRefList FRefs;
    int FLoading = 0;
    int FDocWidth = 320000;
    int FDocHeight = 240000;
    bool FAssigningID = false;
};
