// The document tree: groups, layers and their container, schemes (pages) and their container
// "Document", the editing grid; the class registry that makes controls by class name; the
// link-path text naming a control (and one of its properties); the depth-first tree walk.
#pragma once

#include "scheme/drawcontrols.h"

#include <functional>
#include <vector>

class TBrushProp;
class TPictureProp;

// ---------------------------------------------------------------- class registry

// Appends the class unless that same class is registered already. The library's own classes
// are registered first, on the registry's first use (shapes, then layer, scheme, control,
// group), so an application's classes always follow them.
void RegisterControlClass(const TDrawControlClass* cls);
// The registered classes in registration order.
const std::vector<const TDrawControlClass*>& ControlClasses();
// The first registered class whose name equals className without regard to case.
const TDrawControlClass* FindControlClass(const QString& className);
// Forgets every class (shut-down, and tests that build their own registry).
void ClearControlClasses();
// Registers the library's own classes again (after ClearControlClasses).
void RegisterStandardControlClasses();

// ---------------------------------------------------------------- group

class TDrawGroup : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawGroup);

    void RecalcBounds();
    bool ResizeTranslating() const { return FResizeTranslating; }

    void ControlCreate() override;
    void Rotate(const TRotationInfo& info) override;
    void PropBeforeChanged(TPropList* sender, TCustomProp* prop) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    TRect GetRefreshRect(int x, int y) const override;
    bool IsPointInside(int x, int y) override;
    void DoNotify(TDrawNotify code) override;

protected:
    TDrawGroup() = default;

private:
    // The group moved in the document: descendants that anchor link points, and connectors
    // linked to anything, learn that their document position changed.
    void NotifyFollowers();

    bool FResizeTranslating = false;
    bool FRecalcGuard = false;
};

// ---------------------------------------------------------------- layers

class TDrawLayer : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawLayer);

    bool GetMoveable() const;
    bool GetSelectable() const;
    bool GetReadOnly() const;
    TBoolProp* MoveableProp() const { return FMoveable; }
    TBoolProp* SelectableProp() const { return FSelectable; }
    TBoolProp* ReadOnlyProp() const { return FReadOnly; }

    void CreateProperties() override;
    void ControlCreate() override;
    void ControlDestroy() override;
    void PropBeforeChanged(TPropList* sender, TCustomProp* prop) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    void Invalidate() override;

protected:
    TDrawLayer() = default;

private:
    TBoolProp* FMoveable = nullptr;
    TBoolProp* FSelectable = nullptr;
    TBoolProp* FReadOnly = nullptr;
    QString FSavedName;
    bool FRevertingName = false;
};

// The layers container "Layers": its children are the layers.
class TDrawLayers : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawLayers);

    TDrawLayer* New();
    TDrawLayer* GetLayer(int index) const;
    TDrawLayer* GetLayerByName(const QString& name) const;

    void ControlCreate() override;
    int Add(TDrawControl* control) override;  // layers only, else -1
    void Delete(int index) override;
    void ChangeOrder(int curIndex, int newIndex) override;

protected:
    TDrawLayers() = default;
};

// ---------------------------------------------------------------- schemes

struct TLayerRef {
    int First = -1;
    int Last = -1;
};
struct TControlRef {
    int Next = -1;
    int Prev = -1;
    TDrawControl* Control = nullptr;
};
// Paint order of a scheme's children: one chain per layer, bottom layer first.
struct TPaintOrder {
    std::vector<TLayerRef> LayerRefs;
    std::vector<TControlRef> ControlRefs;
};
void InitPaintOrder(TPaintOrder& order);
void DonePaintOrder(TPaintOrder& order);

class TDrawCustomScheme : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawCustomScheme);

    void GetPaintOrder(TPaintOrder& order) const;
    // The children in paint order (layer by layer, bottom first).
    std::vector<TDrawControl*> PaintOrderList() const;
    bool IsDefault() const;
    void SetDefault(bool value);
    TBoolProp* DefaultProp() const { return FDefault; }

    void CreateProperties() override;
    void ControlCreate() override;
    void ControlDestroy() override;
    void PaintAll(TCanvas& canvas, int paintX, int paintY) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    TDrawControl* FindControlAtPoint(int x, int y) override;

protected:
    TDrawCustomScheme() = default;

private:
    TBoolProp* FDefault = nullptr;
    bool FDefaultGuard = false;
};

class TDrawScheme : public TDrawCustomScheme {
public:
    DRAW_CONTROL_CLASS(TDrawScheme);

    TBrushProp* BrushProp() const { return FBrush; }
    TPictureProp* PictureProp() const { return FPicture; }

    void CreateProperties() override;
    void ControlCreate() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void PropBeforeChanged(TPropList* sender, TCustomProp* prop) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    TRect GetRefreshRect(int x, int y) const override;

protected:
    TDrawScheme() = default;

private:
    TBrushProp* FBrush = nullptr;
    TPictureProp* FPicture = nullptr;
    QString FSavedName;
    bool FRevertingName = false;
};

// The schemes container "Document": its children are the schemes; its Width and Height are
// the document size.
class TDrawSchemes : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawSchemes);

    static constexpr int DocumentVersion = 130;

    TDrawCustomScheme* GetScheme(int index) const;
    TIntProp* VersionProp() const { return FVersion; }

    void CreateProperties() override;
    void ControlCreate() override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    int Add(TDrawControl* control) override;  // schemes only, else -1
    void Delete(int index) override;
    void ChangeOrder(int curIndex, int newIndex) override;

protected:
    TDrawSchemes() = default;

private:
    TIntProp* FVersion = nullptr;
};

// ---------------------------------------------------------------- grid

enum TDrawSnap : uint8_t { snLeft, snTop, snRight, snBottom, snCenter, snAll };
using TDrawSnaps = uint8_t;  // bit (1 << TDrawSnap)
inline constexpr TDrawSnaps SnapBit(TDrawSnap s) { return TDrawSnaps(1u << s); }
enum TDrawGridStyle : uint8_t { gsLines, gsDots };

class TDrawGrid : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawGrid);

    bool SnapToGrid = false;
    TDrawSnaps SnapStyle = SnapBit(snLeft) | SnapBit(snTop);

    TColor Color() const { return FColor; }
    TColor PixColor() const { return FPixColor; }
    int HorizSize() const { return FHorizSize; }
    int VertSize() const { return FVertSize; }
    TDrawGridStyle Style() const { return FStyle; }
    bool ShowPixGrid() const { return FShowPixGrid; }
    void SetColor(TColor v);
    void SetPixColor(TColor v);
    void SetHorizSize(int v);
    void SetVertSize(int v);
    void SetStyle(TDrawGridStyle v);
    void SetShowPixGrid(bool v);

    void CreateProperties() override;
    void ControlCreate() override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;

protected:
    TDrawGrid() = default;

private:
    void Changed(bool pixOnly);

    TColor FColor = TColor(0x808080);
    TColor FPixColor = TColor(0xC0C0C0);
    int FHorizSize = 10000;
    int FVertSize = 10000;
    TDrawGridStyle FStyle = gsDots;
    bool FShowPixGrid = false;
};

// ---------------------------------------------------------------- dragging between panels

// A group of controls carried between panels by drag and drop.
class TDrawDragObject {
public:
    TDrawDragObject(TDrawGroup* group, int grabX, int grabY, TDrawOwner* sourcePanel);
    ~TDrawDragObject();  // frees the group when it has no parent
    TDrawDragObject(const TDrawDragObject&) = delete;
    TDrawDragObject& operator=(const TDrawDragObject&) = delete;

    TDrawGroup* Group() const { return FGroup; }
    void ForgetGroup();
    int GrabX() const { return FGrabX; }
    int GrabY() const { return FGrabY; }
    // nullptr once the panel the drag started from is destroyed
    TDrawOwner* SourcePanel() const { return FSourcePanel; }

    void PlaceOnPanel(TDrawOwner* panel, int x, int y);
    void RemoveFromPanel();

private:
    // The source panel is going: nothing of the group may keep pointing at it.
    void SourcePanelDestroying();

    TDrawGroup* FGroup;
    int FGrabX;
    int FGrabY;
    TDrawOwner* FSourcePanel;
    // told when the group is freed elsewhere (a panel that made a new document took it along)
    std::unique_ptr<TNotifyLink> FGroupLink;
    // told when the source panel is destroyed while the drag goes on
    std::unique_ptr<TNotifyLink> FPanelLink;
};

// ---------------------------------------------------------------- link paths and tree walk

// "\ID:Name" or "\ID:Name\PropName"; empty for no control.
QString LinkPathOf(const TDrawControl* control, const TCustomProp* prop);
using TTranslateIDFunc = std::function<uint32_t(uint32_t id)>;
bool ParseLinkPath(const QString& path, TDrawOwner* panel, TDrawControl*& control, const TTranslateIDFunc& translateID,
                   TCustomProp*& prop);

struct TPassControlRec {
    TDrawControl* Current = nullptr;
    std::vector<int> Stack;
};
void TreeIterFirst(TDrawControl* root, TPassControlRec& rec);
// The next control of a depth-first walk of the root's subtree (never the root), nullptr at the end.
TDrawControl* TreeIterNext(TPassControlRec& rec);
void TreeIterClose(TPassControlRec& rec);
