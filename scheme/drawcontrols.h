// The control base of scheme documents: every element of a document (shape, group, layer,
// scheme, the two root containers, the editing grid) is a TDrawControl living in a tree,
// owned by one document window and keeping its persistent state in named properties.
//
// How the panel plugs in: a control never sees the window class itself. Its owner is a
// TDrawOwner, the abstract interface below; the panel (TDrawPanel) derives from TDrawOwner
// and implements it (coordinates and scale, IDs and names, selection, invalidation, the
// layers and schemes containers, the loading count, the painting switches). Controls call
// only what TDrawOwner declares, so the model can be built and tested without a window.
//
// Controls are created only through TDrawControl::Create<T>() or a registered class's
// Create (two-phase: the C++ constructor, then the virtual CreateProperties and
// ControlCreate), and destroyed only through Free(), which asks CanDestroy first and runs the
// virtual ControlDestroy before the C++ destructor.
#pragma once

#include "platform/types.h"
#include "scheme/drawpath.h"
#include "scheme/drawprops.h"
#include "scheme/drawutils.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class TBitmap;
class TCanvas;
class TDrawControl;
class TDrawCustomScheme;
class TDrawFiler;
class TDrawGrid;
class TDrawLayer;
class TDrawLayers;
class TDrawSchemes;
class TLinkPointProp;
class TSchemeRefProp;

// Control notification codes.
enum TDrawNotify : uint8_t {
    dnName = 0,
    dnID = 1,
    dnGeometry = 2,
    dnOutline = 3,
    dnPoints = 4,
    dnLinkPoints = 5,
    dnChildren = 6,
    dnParent = 7,
    dnLoaded = 8,
    dnLayers = 9,
    dnSchemes = 10,
    dnCreated = 11,
    dnDestroying = 12,
    dnSelection = 13,
    dnPointSelection = 14,
    dnScale = 15,
    dnView = 16,
};

// State bits of a control.
inline constexpr uint8_t csCreating = 1;
inline constexpr uint8_t csDestroying = 2;
inline constexpr uint8_t csReparenting = 4;
inline constexpr uint8_t csRemoving = 8;
inline constexpr uint8_t csTranslating = 16;

// Creation cursor ids the editor maps to its cursors.
inline constexpr int crDrawDefault = 7;
inline constexpr int crDrawBox = 8;
inline constexpr int crDrawEllipse = 9;
inline constexpr int crDrawText = 10;
inline constexpr int crDrawPicture = 11;
inline constexpr int crDrawCurve = 12;

struct TRotationInfo {
    int CenterX = 0;
    int CenterY = 0;
    int Angle = 0;      // degrees
    bool Mirror = false;  // the x offset from the centre is negated before rotating
};

// The path piece, with the new node in it, that the panel draws while insertion is offered.
struct TDrawEditPointGuide {
    int Count = 0;
    int InsertIndex = -1;
    TPointArray Points;        // document units of the control
    TPointArray ClientPoints;  // client pixels
    TPointTypeArray Types;
    std::vector<bool> Selected;
};

// ---------------------------------------------------------------- owner interface

// What a control needs of the document window that owns it. Implemented by TDrawPanel (and by
// small fakes in tests). All coordinates: doc = document units, client = panel pixels.
class TDrawOwner {
public:
    virtual ~TDrawOwner() = default;

    // Scale in percent (1..50000); a pixel is MulDiv(doc, Scale, 100000) - origin.
    virtual int Scale() const = 0;
    virtual void DocToClientPoint(TPoint& p) const = 0;
    virtual void DocToClientRect(TRect& r) const = 0;
    virtual void ClientToDoc(int& x, int& y) const = 0;
    virtual int DocWidth() const = 0;
    virtual int DocHeight() const = 0;
    virtual void SetDocWidth(int value) = 0;
    virtual void SetDocHeight(int value) = 0;

    // Loading: a nesting count; the outermost EndLoading resolves the deferred references.
    virtual bool IsLoading() const = 0;
    virtual void BeginLoading() = 0;
    virtual void EndLoading() = 0;
    // Ends one count after a failure: never raises, so the failure reaches the reader's caller.
    virtual void AbortLoading() noexcept = 0;
    // True while a clipboard fragment is being read (link paths then translate old IDs).
    virtual bool IsPasting() const = 0;
    // Creates a child object from an "object" line (registry lookup, placement, body).
    virtual TDrawControl* LoadObject(TDrawFiler& filer, TDrawControl* parent, const QByteArray& line) = 0;
    virtual TPropRefList& PropRefList() = 0;

    // IDs and names.
    virtual TIdPool& IdPool() = 0;
    virtual void GenerateID(TDrawControl* control) = 0;
    virtual bool ChangeControlID(TDrawControl* control, uint32_t oldId) = 0;
    virtual void GenerateControlName(TDrawControl* control, TDrawControl* root, QString& name, bool numbered) = 0;
    virtual bool AutoNames() const = 0;
    virtual bool AutoNameNumbs() const = 0;
    virtual TDrawControl* FindControlByID(uint32_t id, TDrawControl* root = nullptr) const = 0;

    // Notification hooks of every control.
    virtual void DoNotify(TDrawControl* control, TDrawNotify code) = 0;
    virtual void DoPropBeforeChanged(TDrawControl* control, TCustomProp* prop) = 0;
    virtual void DoPropChanged(TDrawControl* control, TCustomProp* prop) = 0;
    // Subscribers learn every notification, and are told first when the owner is destroyed.
    virtual TNotifyLink* GetNotifyLink() = 0;

    // Selection.
    virtual void SelectControl(TDrawControl* control) = 0;
    virtual void UnselectControl(TDrawControl* control) = 0;
    virtual bool IsSelected(const TDrawControl* control) const = 0;
    virtual int SelectedCount() const = 0;
    virtual TDrawControl* Selected(int index) const = 0;

    // The document tree.
    virtual TDrawLayers* Layers() const = 0;
    virtual TDrawSchemes* Schemes() const = 0;
    virtual TDrawGrid* Grid() const = 0;
    virtual TDrawLayer* ActiveLayer() const = 0;
    virtual void SetActiveLayer(TDrawLayer* layer) = 0;
    virtual TDrawCustomScheme* ActiveScheme() const = 0;
    virtual void SetActiveScheme(TDrawCustomScheme* scheme) = 0;

    // Window: whether the panel sits in a parent window (nothing is invalidated otherwise),
    // invalidating client rectangles (joined with the pending update area, not erased) or the
    // whole window, and the client rectangle.
    virtual bool HasWindow() const = 0;
    virtual void InvalidateClientRect(const TRect& r) = 0;
    virtual void InvalidateWindow() = 0;
    virtual TRect ClientRect() const = 0;

    // Painting state, valid while a paint runs.
    virtual int PaintWidth() const = 0;
    virtual int PaintHeight() const = 0;
    virtual bool IsExporting() const = 0;
    virtual bool PictureOption() const = 0;  // picture painting switch of the current paint
    virtual bool CurveOption() const = 0;    // curve painting switch of the current paint
    virtual bool SchemeBackground() const = 0;  // scheme backgrounds are painted
    virtual bool SchemeBkStretch() const = 0;
    virtual bool ShowDocFrame() const = 0;
    // OnPaintScheme of the panel: called by a scheme after its background.
    virtual void PaintSchemeEvent(TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly);

    // Editing state.
    virtual bool IsDesigning() const = 0;
    virtual bool SelectAsFilled() const = 0;
    virtual int ToolMode() const = 0;
    virtual int ConnectorsMinGap() const = 0;
    // Whether the Shift key is held (the panel asks the keyboard; tests answer themselves).
    virtual bool IsShiftDown() const;
};

// Runs body inside one loading count of owner (none without an owner). The count is ended
// explicitly, never from a destructor: the outermost end assigns the deferred values, which may
// raise in turn.
template <class F>
void WithinLoading(TDrawOwner* owner, F&& body)
{
    if (!owner) {
        body();
        return;
    }
    owner->BeginLoading();
    try {
        body();
    } catch (...) {
        owner->AbortLoading();
        throw;
    }
    owner->EndLoading();
}

// ---------------------------------------------------------------- class references

// A registered control class: its name and its virtual constructor.
struct TDrawControlClass {
    QString ClassName;
    TDrawControl* (*Create)(TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer);
    const TDrawControlClass* Parent;  // base class, nullptr for TDrawControl
    bool InheritsFrom(const TDrawControlClass* cls) const;
};

// Put DRAW_CONTROL_CLASS(TDrawBox) in the public part of every control class and
// DEFINE_DRAW_CONTROL_CLASS(TDrawBox, TDrawControl) in its source file. Constructors stay
// protected: TDrawControl::Create<T> makes the object and runs the two creation steps.
#define DRAW_CONTROL_CLASS(Name)                                  \
    static const TDrawControlClass* StaticClass();                \
    const TDrawControlClass* ClassType() const override           \
    {                                                             \
        return StaticClass();                                     \
    }                                                             \
    friend class TDrawControl

#define DEFINE_DRAW_CONTROL_CLASS(Name, Base)                                                        \
    const TDrawControlClass* Name::StaticClass()                                                     \
    {                                                                                                \
        static const TDrawControlClass cls{                                                          \
            QStringLiteral(#Name),                                                                   \
            [](TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer) -> TDrawControl* {        \
                return TDrawControl::Create<Name>(owner, parent, layer);                             \
            },                                                                                       \
            Base::StaticClass()};                                                                    \
        return &cls;                                                                                 \
    }

// ---------------------------------------------------------------- control

class TDrawControl {
public:
    // Makes a control of class T: C++ construction, then the creation steps with the virtual
    // CreateProperties and ControlCreate.
    template <class T>
    static T* Create(TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer)
    {
        T* control = new T();
        control->Construct(owner, parent, layer);
        return control;
    }

    static const TDrawControlClass* StaticClass();
    virtual const TDrawControlClass* ClassType() const { return StaticClass(); }
    QString ClassName() const { return ClassType()->ClassName; }
    bool InheritsFrom(const TDrawControlClass* cls) const { return ClassType()->InheritsFrom(cls); }

    // The control whose property list this is; nullptr for any other list (or a freed control).
    static TDrawControl* FromPropList(const TPropList* list);
    static bool IsAlive(const TDrawControl* control);

    // Frees the control when CanDestroy allows it; true when it was freed.
    bool Free();

    TDrawControl(const TDrawControl&) = delete;
    TDrawControl& operator=(const TDrawControl&) = delete;

    // ---- tree
    TDrawOwner* Owner() const { return FOwner; }
    TDrawControl* Parent() const { return FParent; }
    TDrawLayer* Layer() const { return FLayer; }
    uint8_t State() const { return FState; }
    bool HasState(uint8_t bit) const { return (FState & bit) != 0; }
    TPropList& Props() { return *FProps; }
    const TPropList& Props() const { return *FProps; }
    TCustomProp* Prop(const QString& name) const { return FProps->ByName(name); }
    bool NonVisual() const { return FNonVisual; }
    bool AlwaysPaint() const { return FAlwaysPaint; }
    bool AnchorEnabled() const { return FAnchorEnabled; }
    int UpdateCounter() const { return FUpdateCounter; }
    int PointEditLevel() const { return FPointEditLevel; }
    const std::vector<TDrawControl*>& Children() const { return FChildren; }
    // Geometry saved by BeginTranslate (relative to its origin) and before a geometry change.
    const TRect& TranslateRect() const { return FTranslateRect; }
    const TPoint& TranslateOrigin() const { return FTranslateOrigin; }
    const TRect& SavedDocRect() const { return FSavedDocRect; }

    TDrawControl* GetControl(int index) const;
    int GetCount() const { return int(FChildren.size()); }
    int IndexOf(const TDrawControl* control) const;
    void SetParent(TDrawControl* newParent);
    void SetLayer(TDrawLayer* layer);
    void SetOwner(TDrawOwner* owner);
    TDrawControl* FindByName(const QString& name) const;
    TDrawControl* FindByID(uint32_t id);
    TDrawCustomScheme* GetParentScheme() const;

    // ---- standard properties
    TStrProp* NameProp() const { return FNameProp; }
    TIntProp* LeftProp() const { return FLeftProp; }
    TIntProp* TopProp() const { return FTopProp; }
    TIntProp* WidthProp() const { return FWidthProp; }
    TIntProp* HeightProp() const { return FHeightProp; }
    TLongWordProp* IDProp() const { return FIDProp; }
    TIntProp* TagProp() const { return FTagProp; }
    TBoolProp* VisibleProp() const { return FVisibleProp; }
    TStrProp* LayerProp() const { return FLayerProp; }
    TStrListProp* HintProp() const { return FHintProp; }
    TBoolProp* ShowHintProp() const { return FShowHintProp; }
    TSchemeRefProp* ReferenceProp() const { return FReferenceProp; }
    TUserDataProp* UserDataProp() const { return FUserDataProp; }

    uint32_t GetID() const;
    // Every control of the subtree that has no ID gets one from the owner's pool.
    void GiveMissingIDs();
    void SetID(uint32_t id);
    QString GetName() const;
    void SetName(const QString& name);
    int GetLeft() const;
    void SetLeft(int v);
    int GetTop() const;
    void SetTop(int v);
    int GetWidth() const;
    void SetWidth(int v);
    int GetHeight() const;
    void SetHeight(int v);
    bool GetVisible() const;
    void SetVisible(bool v);
    bool GetShowHint() const;
    void SetShowHint(bool v);
    QString GetHint() const;
    TDrawCustomScheme* GetReference() const;
    void SetReference(TDrawCustomScheme* scheme);

    bool GetIsSelected() const;
    void SetIsSelected(bool value);

    // ---- geometry
    TRect GetDocRect() const;
    TRect GetPixelRect() const;
    TPoint LocalToClient(const TPoint& p) const;
    TPoint ClientToLocal(const TPoint& p) const;
    void GetTransformPoints(int originX, int originY, int scale, TPointArray& points) const;

    // ---- path helpers over the point slots
    int AddPoint(const TPoint& p);
    int AddCurvePoint(const TPoint& p, const TPoint& ctrlA, const TPoint& ctrlB);
    void EndFigure(bool close);
    TPoint GetNode(int nodeIndex) const;
    int GetNodeCount() const;

    // ---- link points registered by other controls
    int GetLinkPointsCount() const { return FLinkPoints ? int(FLinkPoints->size()) : 0; }
    TPoint GetRegisteredLinkPoint(int index) const;
    void SetRegisteredLinkPoint(int index, const TPoint& p);
    void RemoveLinkPoint(TPoint* pointRef);
    void LockLinkPoints() { ++FLinkPointsLock; }
    void UnlockLinkPoints();
    int LinkPointsLock() const { return FLinkPointsLock; }

    // ---- virtual interface (in slot order)
    virtual void CreateProperties();
    virtual void ControlCreate();
    virtual void ControlDestroy();
    virtual void Rotate(const TRotationInfo& info);
    virtual void Mirror(bool horz, bool vert);
    virtual TDrawControl* CreateCurveControl();
    virtual bool GetEditPointGuide(const TPoint& p, TDrawEditPointGuide& guide);
    // Moves one path point by (dx, dy) document units.
    virtual void MovePathPoint(int index, int dx, int dy, bool controlsFollow, bool constrain);
    // Drags the path segment that starts at point segFirst by (dx, dy).
    virtual void MovePathSegment(int segFirst, int dx, int dy);
    virtual bool CanDestroy();
    virtual void DoNotify(TDrawNotify code);
    virtual void Paint(TCanvas& canvas, const TRect& paintRect);
    virtual void PaintAll(TCanvas& canvas, int paintX, int paintY);
    virtual void BeginTranslate(const TPoint& origin);
    virtual void EndTranslate();
    virtual void PropBeforeChanged(TPropList* sender, TCustomProp* prop);
    virtual void PropChanged(TPropList* sender, TCustomProp* prop);
    virtual void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored);
    virtual void PropReadOnly(TPropList* sender, TCustomProp* prop, bool& isReadOnly);
    virtual TPoint GetAnchorPoint() const;
    virtual void GetLinkProps(TLinkPointProp*& linkA, TLinkPointProp*& linkB);
    virtual TPoint GetLinkPoint(int index) const;
    virtual int GetLinkPointCount() const;
    virtual TPoint GetPoint(int index) const;
    virtual void SetPoint(int index, const TPoint& p);
    virtual uint8_t GetPointType(int index) const;
    virtual void SetPointType(int index, uint8_t type);
    virtual int GetPointCount() const;
    virtual bool GetIsSolid() const;
    virtual void SetIsSolid(bool value);
    virtual const TPathInfo* GetPathInfo();
    virtual void SetDocRect(const TRect& r);
    virtual bool IsUniqueName(bool notEmpty, bool amongSiblings) const;
    virtual TRect GetRefreshRect(int x, int y) const;
    virtual TNotifyLink* GetNotifyLink();
    virtual void RotateLinkPoints(const TRotationInfo& info);
    virtual void TranslateLinkPoints(const TRect& oldRect, const TRect& newRect);
    virtual int GetCreationCursor() const;
    virtual bool GetToolInfo(TBitmap* toolIcon, QString& hint);
    virtual bool IsConnectorControl() const;
    virtual bool BeginUpdate();
    virtual bool EndUpdate();
    virtual void Invalidate();
    virtual int Add(TDrawControl* control);
    virtual void Delete(int index);
    virtual void Remove(TDrawControl* control);
    virtual void DeleteChildren();
    virtual void ChangeOrder(int curIndex, int newIndex);
    virtual TDrawControl* FindControlAtPoint(int x, int y);
    virtual void BeginPointEdit();
    virtual void EndPointEdit();
    virtual int GetNodeIndex(int pointIndex) const;
    virtual int GetPointIndex(int nodeIndex) const;
    virtual int InsertPoint(int index, const TPoint& p);
    virtual int InsertCurvePoint(int index, const TPoint& p, const TPoint& ctrlA, const TPoint& ctrlB);
    virtual void DeletePoint(int index);
    virtual int InsertNearestPoint(const TPoint& p);
    virtual void SetPointsEx(const TPointArray& points, const TPointTypeArray& types);
    virtual void GetPointsEx(TPointArray& points, TPointTypeArray& types) const;
    virtual bool EditPoints(TPathEditOp func, const std::vector<bool>& selected, const TPathMove& params);
    virtual unsigned GetEditPointsCaps(const std::vector<bool>& selected) const;
    virtual bool FlattenCurve(float tolerance);
    virtual int FindNearestPathSegment(const TPoint& p, THitRecord* hit, int& nodeIndex, int& endIndex);
    // Nearest path point to p (own units); fills nearest; 0 when the control has no path.
    virtual int FindNearestPoint(const TPoint& p, THitRecord& nearest);
    virtual bool IsPointInside(int x, int y);
    virtual int AddLinkPoint(TPoint* pointRef);
    virtual int IndexOfLinkPoint(const TPoint* pointRef) const;
    virtual void DeleteLinkPoint(int index);
    virtual void RotateAll(const TRotationInfo& info);
    virtual void SaveToFiler(TDrawFiler& filer, const QByteArray& indent);
    virtual void LoadFromFiler(TDrawFiler& filer);
    // Moves the control within its parent while the caller moves the parent the opposite way, so
    // that it stays where it is in the document (a group fitting its bounds, a group broken up).
    virtual void ShiftInParent(int64_t dx, int64_t dy);

protected:
    TDrawControl();
    virtual ~TDrawControl();

    void Construct(TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer);
    bool IsGeometryProp(const TCustomProp* prop) const;

    bool FNonVisual = false;
    bool FAlwaysPaint = false;
    uint32_t FOldID = 0;
    bool FLinkPointsChanged = false;
    bool FGeometryChanged = false;
    TRect FSavedDocRect;
    TPoint FTranslateOrigin;
    TRect FTranslateRect;
    TPointArray FTranslatePoints;

private:
    // Invalidates this control and its children, given the document origin of its parent, so that a
    // deep tree is walked once rather than once a level.
    void InvalidateTree(int originX, int originY);
    // A new ID from the owner's pool; links to this control learn it like any other ID change.
    void TakeNewID();

    TDrawOwner* FOwner = nullptr;
    TDrawControl* FParent = nullptr;
    TDrawLayer* FLayer = nullptr;
    uint8_t FState = 0;
    std::vector<TDrawControl*> FChildren;
    std::unique_ptr<TPropList> FProps;
    int FUpdateCounter = 0;
    int FPointEditLevel = 0;
    std::unique_ptr<TNotifyLink> FNotifyLink;
    std::unique_ptr<std::vector<TPoint*>> FLinkPoints;
    int FLinkPointsLock = 0;
    bool FAnchorEnabled = false;

    TStrProp* FNameProp = nullptr;
    TIntProp* FLeftProp = nullptr;
    TIntProp* FTopProp = nullptr;
    TIntProp* FWidthProp = nullptr;
    TIntProp* FHeightProp = nullptr;
    TLongWordProp* FIDProp = nullptr;
    TIntProp* FTagProp = nullptr;
    TBoolProp* FVisibleProp = nullptr;
    TStrProp* FLayerProp = nullptr;
    TStrListProp* FHintProp = nullptr;
    TBoolProp* FShowHintProp = nullptr;
    TSchemeRefProp* FReferenceProp = nullptr;
    TUserDataProp* FUserDataProp = nullptr;
};

// Deleter for holding a control in a std::unique_ptr.
struct TDrawControlFree {
    void operator()(TDrawControl* control) const
    {
        if (control)
            control->Free();
    }
};

// Keeps a control's registered link points locked for a scope, however the scope is left.
class TLinkPointsLock {
public:
    explicit TLinkPointsLock(TDrawControl* control) : FControl(control) { FControl->LockLinkPoints(); }
    ~TLinkPointsLock() { FControl->UnlockLinkPoints(); }
    TLinkPointsLock(const TLinkPointsLock&) = delete;
    TLinkPointsLock& operator=(const TLinkPointsLock&) = delete;

private:
    TDrawControl* FControl;
};

// Copies every property of source to dest through the document text form (with a temporary
// filer on a memory stream when filer is nullptr), then resolves dest's owner's deferred
// references.
bool CopyControlProps(TDrawControl* source, TDrawControl* dest, TDrawFiler* filer = nullptr);

// The owner's zoom in percent; 100 for a control without an owner.
int OwnerScale(const TDrawControl* c);

// Rotation about info's centre by -Angle degrees in the y-down plane, rounding halves to even.
TPoint RotatePoint(const TPoint& p, const TRotationInfo& info);
TRect RotateRect(const TRect& r, const TRotationInfo& info);  // normalised
void RotatePoints(TPointArray& points, const TRotationInfo& info);
