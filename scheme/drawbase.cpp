#include "scheme/drawbase.h"

#include "platform/canvas.h"
#include "scheme/drawcurves.h"
#include "scheme/drawlinks.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"
#include "scheme/drawtext.h"

#include <algorithm>
#include <cmath>

namespace {

struct Registry {
    std::vector<const TDrawControlClass*> classes;
    bool initialized = false;
};

Registry& TheRegistry()
{
    static Registry registry;
    if (!registry.initialized) {
        registry.initialized = true;
        RegisterStandardControlClasses();
    }
    return registry;
}

// Left, Top, Width, Height, Layer and Reference of the tree classes are fixed.
void FixStandardProps(TDrawControl* c, bool withSize)
{
    const uint8_t fixed = psReadOnly | psNotStored | psNonVisual;
    c->LeftProp()->SetStyle(fixed);
    c->TopProp()->SetStyle(fixed);
    if (withSize) {
        c->WidthProp()->SetStyle(fixed);
        c->HeightProp()->SetStyle(fixed);
    }
    c->LayerProp()->SetStyle(fixed);
    c->ReferenceProp()->SetStyle(fixed);
}

// Width and Height that read the document size.
void FollowDocSize(TDrawControl* c)
{
    c->WidthProp()->OnGetValue = [c](TIntProp*, int& v) { v = c->Owner() ? c->Owner()->DocWidth() : 0; };
    c->HeightProp()->OnGetValue = [c](TIntProp*, int& v) { v = c->Owner() ? c->Owner()->DocHeight() : 0; };
}

// The entry that becomes active after the child at index left a container of count entries.
int NextActiveIndex(int index, int count)
{
    if (count <= 0)
        return -1;
    return index < count ? index : count - 1;
}

// The layers and the schemes containers each keep one active child in the owner, read and
// set through these two owner members.
template <class Child>
struct TActiveChildSlot {
    Child* (TDrawOwner::*Get)() const;
    void (TDrawOwner::*Set)(Child*);
};
constexpr TActiveChildSlot<TDrawLayer> ActiveLayerSlot{&TDrawOwner::ActiveLayer, &TDrawOwner::SetActiveLayer};
constexpr TActiveChildSlot<TDrawCustomScheme> ActiveSchemeSlot{&TDrawOwner::ActiveScheme,
                                                                &TDrawOwner::SetActiveScheme};

// Takes only Child entries (else -1); the first one added becomes the active one.
template <class Child>
int AddActiveChild(TDrawControl* list, TDrawControl* control, TDrawNotify code, TActiveChildSlot<Child> slot)
{
    if (!control || !control->InheritsFrom(Child::StaticClass()))
        return -1;
    const int index = list->TDrawControl::Add(control);
    list->DoNotify(code);
    if (TDrawOwner* owner = list->Owner(); owner && !(owner->*slot.Get)())
        (owner->*slot.Set)(static_cast<Child*>(control));
    return index;
}

// Deleting the active child hands the part to the entry that takes its place.
template <class Child>
void DeleteActiveChild(TDrawControl* list, int index, TDrawNotify code, TActiveChildSlot<Child> slot)
{
    TDrawControl* child = list->GetControl(index);
    if (!child)
        return;
    if (!child->HasState(csDestroying) && !list->HasState(csRemoving)) {
        // freeing comes back here through Remove
        list->TDrawControl::Delete(index);
        return;
    }
    const bool wasActive = list->Owner() && (list->Owner()->*slot.Get)() == child;
    list->TDrawControl::Delete(index);
    if (wasActive) {
        const int next = NextActiveIndex(index, list->GetCount());
        (list->Owner()->*slot.Set)(next >= 0 ? static_cast<Child*>(list->GetControl(next)) : nullptr);
    }
    list->DoNotify(code);
}

// After a Name change: an empty or non-unique name is put back to the one saved before it.
// The change that puts it back is not judged again: the saved name may itself be taken (a
// document can hold two layers of one name), and judging it would revert without end.
void RevertRejectedName(TDrawControl* control, QString& savedName, bool& reverting)
{
    if (reverting) {
        savedName.clear();
        return;
    }
    const QString rejected = control->GetName();
    const QString saved = savedName;
    savedName.clear();
    if (rejected.isEmpty() || !control->IsUniqueName(true, true)) {
        reverting = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{reverting};
        control->SetName(saved == rejected ? QString() : saved);
    }
}

}  // namespace

// ---------------------------------------------------------------- registry

void RegisterStandardControlClasses()
{
    for (const TDrawControlClass* cls :
         {TDrawBox::StaticClass(), TDrawEllipse::StaticClass(), TDrawPicture::StaticClass(), TDrawText::StaticClass(),
          TDrawCurve::StaticClass(), TDrawConnector::StaticClass(), TDrawLayer::StaticClass(),
          TDrawScheme::StaticClass(), TDrawControl::StaticClass(), TDrawGroup::StaticClass()})
        RegisterControlClass(cls);
}

void RegisterControlClass(const TDrawControlClass* cls)
{
    if (!cls)
        return;
    Registry& r = TheRegistry();
    if (std::find(r.classes.begin(), r.classes.end(), cls) == r.classes.end())
        r.classes.push_back(cls);
}

const std::vector<const TDrawControlClass*>& ControlClasses()
{
    return TheRegistry().classes;
}

const TDrawControlClass* FindControlClass(const QString& className)
{
    for (const TDrawControlClass* cls : TheRegistry().classes)
        if (cls->ClassName.compare(className, Qt::CaseInsensitive) == 0)
            return cls;
    return nullptr;
}

void ClearControlClasses()
{
    TheRegistry().classes.clear();
}

// ---------------------------------------------------------------- group

DEFINE_DRAW_CONTROL_CLASS(TDrawGroup, TDrawControl)

void TDrawGroup::ControlCreate()
{
    FNonVisual = true;
    TDrawControl::ControlCreate();
    SetVisible(true);
}

TRect TDrawGroup::GetRefreshRect(int x, int y) const
{
    TRect r = TDrawControl::GetRefreshRect(x, y);
    for (TDrawControl* c : Children())
        UnionRect(r, r, c->GetRefreshRect(SatAdd(x, c->GetLeft()), SatAdd(y, c->GetTop())));
    return r;
}

bool TDrawGroup::IsPointInside(int x, int y)
{
    for (int i = GetCount() - 1; i >= 0; --i)
        if (GetControl(i)->IsPointInside(x, y))
            return true;
    return false;
}

void TDrawGroup::RecalcBounds()
{
    if (FRecalcGuard || GetCount() == 0)
        return;
    FRecalcGuard = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FRecalcGuard};
    TRect u;
    bool first = true;
    for (TDrawControl* c : Children()) {
        const TRect r = SatBounds(c->GetLeft(), c->GetTop(), c->GetWidth(), c->GetHeight());
        if (first) {
            u = r;
            first = false;
        } else {
            u.Left = std::min(u.Left, r.Left);
            u.Top = std::min(u.Top, r.Top);
            u.Right = std::max(u.Right, r.Right);
            u.Bottom = std::max(u.Bottom, r.Bottom);
        }
    }
    TRect g = GetDocRect();
    if (u.Left != 0 || u.Top != 0) {
        for (TDrawControl* c : Children())
            c->ShiftInParent(-int64_t(u.Left), -int64_t(u.Top));
        OffsetRect(g, u.Left, u.Top);
    }
    g.Right = SatAdd(g.Left, SatWidth(u));
    g.Bottom = SatAdd(g.Top, SatHeight(u));
    SetDocRect(g);
}

void TDrawGroup::Rotate(const TRotationInfo& info)
{
    TLinkPointsLock lock(this);
    RecalcBounds();
    RotateLinkPoints(info);
}

void TDrawGroup::PropBeforeChanged(TPropList* sender, TCustomProp* prop)
{
    if ((prop == WidthProp() || prop == HeightProp()) && !HasState(csTranslating) && !FRecalcGuard &&
        !(Owner() && Owner()->IsLoading())) {
        FResizeTranslating = true;
        BeginTranslate(GetDocRect().TopLeft());
    }
    TDrawControl::PropBeforeChanged(sender, prop);
}

void TDrawGroup::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if ((prop == WidthProp() || prop == HeightProp()) && FResizeTranslating) {
        FResizeTranslating = false;
        const TRect saved = FTranslateRect;
        if (GetCount() > 0 && !saved.IsEmpty()) {
            const double kx = double(GetWidth()) / (double(saved.Right) - saved.Left);
            const double ky = double(GetHeight()) / (double(saved.Bottom) - saved.Top);
            const TPoint o = FTranslateOrigin;
            TPassControlRec rec;
            TreeIterFirst(this, rec);
            std::vector<TDrawControl*> all;
            for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
                all.push_back(c);
            for (TDrawControl* c : all) {
                const TRect& r = c->TranslateRect();
                c->SetDocRect(TRect(SatAdd(o.x, RoundHalfEvenInt64(r.Left * kx)), SatAdd(o.y, RoundHalfEvenInt64(r.Top * ky)),
                                    SatAdd(o.x, RoundHalfEvenInt64(r.Right * kx)),
                                    SatAdd(o.y, RoundHalfEvenInt64(r.Bottom * ky))));
            }
        }
        EndTranslate();
    } else if (prop == LeftProp() || prop == TopProp()) {
        NotifyFollowers();
    }
}

void TDrawGroup::DoNotify(TDrawNotify code)
{
    TDrawControl::DoNotify(code);
    if (code == dnParent)
        NotifyFollowers();
}

void TDrawGroup::NotifyFollowers()
{
    TPassControlRec rec;
    TreeIterFirst(this, rec);
    std::vector<TDrawControl*> linked;
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec)) {
        TLinkPointProp* a = nullptr;
        TLinkPointProp* b = nullptr;
        c->GetLinkProps(a, b);
        if (c->GetLinkPointsCount() > 0 || (a && a->IsLinked()) || (b && b->IsLinked()))
            linked.push_back(c);
    }
    // a follower may unlink or free others as it goes: only the ones still alive are told
    for (TDrawControl* c : linked)
        if (TDrawControl::IsAlive(c))
            c->DoNotify(dnGeometry);
}

// ---------------------------------------------------------------- layers

DEFINE_DRAW_CONTROL_CLASS(TDrawLayer, TDrawControl)

void TDrawLayer::CreateProperties()
{
    TDrawControl::CreateProperties();
    FMoveable = new TBoolProp(&Props(), QStringLiteral("Moveable"));
    FSelectable = new TBoolProp(&Props(), QStringLiteral("Selectable"));
    FReadOnly = new TBoolProp(&Props(), QStringLiteral("ReadOnly"));
    for (TBoolProp* p : {FMoveable, FSelectable, FReadOnly})
        p->SetStyle(psVisible | psNonVisual);
    FixStandardProps(this, true);
    VisibleProp()->SetStyle(psVisible);
}

void TDrawLayer::ControlCreate()
{
    FSelectable->SetValue(true);
    FMoveable->SetValue(true);
    if (Owner()) {
        QString name;
        Owner()->GenerateControlName(this, nullptr, name, true);
        SetName(name);
    }
    TDrawControl::ControlCreate();
    SetVisible(true);
}

void TDrawLayer::ControlDestroy()
{
    if (Owner() && Owner()->Schemes()) {
        TDrawSchemes* schemes = Owner()->Schemes();
        for (int s = 0; s < schemes->GetCount(); ++s) {
            TDrawControl* scheme = schemes->GetControl(s);
            for (int i = scheme->GetCount() - 1; i >= 0; --i)
                if (i < scheme->GetCount() && scheme->GetControl(i)->Layer() == this)
                    scheme->GetControl(i)->Free();
        }
    }
    TDrawControl::ControlDestroy();
}

bool TDrawLayer::GetMoveable() const { return FMoveable->GetValue(); }
bool TDrawLayer::GetSelectable() const { return FSelectable->GetValue(); }
bool TDrawLayer::GetReadOnly() const { return FReadOnly->GetValue(); }

void TDrawLayer::Invalidate()
{
    if (Owner() && Owner()->HasWindow() && UpdateCounter() < 1)
        Owner()->InvalidateWindow();
}

void TDrawLayer::PropBeforeChanged(TPropList* sender, TCustomProp* prop)
{
    if (prop == NameProp() && FSavedName.isEmpty())
        FSavedName = GetName();
    TDrawControl::PropBeforeChanged(sender, prop);
}

void TDrawLayer::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (prop == NameProp()) {
        RevertRejectedName(this, FSavedName, FRevertingName);
    } else if (prop == FSelectable && !GetSelectable() && Owner()) {
        for (int i = Owner()->SelectedCount() - 1; i >= 0; --i) {
            TDrawControl* c = Owner()->Selected(i);
            if (c && c->Layer() == this)
                Owner()->UnselectControl(c);
        }
    }
}

void TDrawLayer::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawControl::PropStored(sender, prop, propName, isStored);
    if (prop == FMoveable || prop == FSelectable)
        isStored = !static_cast<TBoolProp*>(prop)->GetValue();
    else if (prop == FReadOnly)
        isStored = GetReadOnly();
}

DEFINE_DRAW_CONTROL_CLASS(TDrawLayers, TDrawControl)

void TDrawLayers::ControlCreate()
{
    FNonVisual = true;
    SetVisible(false);
    SetName(QStringLiteral("Layers"));
}

TDrawLayer* TDrawLayers::New()
{
    return TDrawControl::Create<TDrawLayer>(Owner(), this, nullptr);
}

TDrawLayer* TDrawLayers::GetLayer(int index) const
{
    return static_cast<TDrawLayer*>(GetControl(index));
}

TDrawLayer* TDrawLayers::GetLayerByName(const QString& name) const
{
    return static_cast<TDrawLayer*>(FindByName(name));
}

int TDrawLayers::Add(TDrawControl* control)
{
    return AddActiveChild(this, control, dnLayers, ActiveLayerSlot);
}

void TDrawLayers::Delete(int index)
{
    DeleteActiveChild(this, index, dnLayers, ActiveLayerSlot);
}

void TDrawLayers::ChangeOrder(int curIndex, int newIndex)
{
    TDrawControl::ChangeOrder(curIndex, newIndex);
    DoNotify(dnLayers);
}

// ---------------------------------------------------------------- paint order

void InitPaintOrder(TPaintOrder& order)
{
    order.LayerRefs.clear();
    order.ControlRefs.clear();
}

void DonePaintOrder(TPaintOrder& order)
{
    InitPaintOrder(order);
}

// ---------------------------------------------------------------- schemes

DEFINE_DRAW_CONTROL_CLASS(TDrawCustomScheme, TDrawControl)

void TDrawCustomScheme::CreateProperties()
{
    TDrawControl::CreateProperties();
    FDefault = new TBoolProp(&Props(), QStringLiteral("Default"));
    FDefault->SetStyle(psVisible | psNonVisual);
    FixStandardProps(this, true);
    FollowDocSize(this);
}

void TDrawCustomScheme::ControlCreate()
{
    if (Parent() && Parent()->GetCount() == 1 && Parent()->GetControl(0) == this)
        SetDefault(true);
    if (Owner()) {
        QString name;
        Owner()->GenerateControlName(this, nullptr, name, true);
        SetName(name);
    }
    FAlwaysPaint = true;
    TDrawControl::ControlCreate();
    FNonVisual = true;
    SetVisible(true);
}

void TDrawCustomScheme::ControlDestroy()
{
    if (Owner() && Owner()->Schemes()) {
        TDrawSchemes* schemes = Owner()->Schemes();
        for (int s = 0; s < schemes->GetCount(); ++s) {
            TPassControlRec rec;
            TreeIterFirst(schemes->GetControl(s), rec);
            for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
                if (c->GetReference() == this)
                    c->SetReference(nullptr);
        }
    }
    TDrawControl::ControlDestroy();
}

bool TDrawCustomScheme::IsDefault() const
{
    return FDefault->GetValue();
}

void TDrawCustomScheme::SetDefault(bool value)
{
    FDefault->SetValue(value);
}

void TDrawCustomScheme::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (prop != FDefault || FDefaultGuard)
        return;
    FDefaultGuard = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FDefaultGuard};
    TDrawControl* container = Parent();
    if (IsDefault()) {
        if (container)
            for (TDrawControl* c : container->Children())
                if (c != this && c->InheritsFrom(TDrawCustomScheme::StaticClass()))
                    static_cast<TDrawCustomScheme*>(c)->SetDefault(false);
        // only a scheme of the document can be shown; one placed anywhere else is refused
        if (Owner() && !Owner()->ActiveScheme() && container && container == Owner()->Schemes())
            Owner()->SetActiveScheme(this);
    } else {
        bool other = false;
        if (container)
            for (TDrawControl* c : container->Children())
                if (c != this && c->InheritsFrom(TDrawCustomScheme::StaticClass()) &&
                    static_cast<TDrawCustomScheme*>(c)->IsDefault())
                    other = true;
        if (!other)
            SetDefault(true);
    }
}

void TDrawCustomScheme::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawControl::PropStored(sender, prop, propName, isStored);
    if (prop == FDefault)
        isStored = IsDefault();
}

void TDrawCustomScheme::GetPaintOrder(TPaintOrder& order) const
{
    InitPaintOrder(order);
    TDrawLayers* layers = Owner() ? Owner()->Layers() : nullptr;
    order.LayerRefs.resize(std::size_t(layers ? layers->GetCount() : 0));
    order.ControlRefs.resize(std::size_t(GetCount()));
    if (!layers)
        return;
    for (int i = 0; i < GetCount(); ++i) {
        TDrawControl* child = GetControl(i);
        const int l = child->Layer() ? layers->IndexOf(child->Layer()) : -1;
        if (l < 0)
            continue;
        TControlRef& ref = order.ControlRefs[std::size_t(i)];
        ref = TControlRef{-1, -1, child};
        TLayerRef& layer = order.LayerRefs[std::size_t(l)];
        if (layer.Last >= 0) {
            order.ControlRefs[std::size_t(layer.Last)].Next = i;
            ref.Prev = layer.Last;
        } else {
            layer.First = i;
        }
        layer.Last = i;
    }
}

std::vector<TDrawControl*> TDrawCustomScheme::PaintOrderList() const
{
    TPaintOrder order;
    GetPaintOrder(order);
    std::vector<TDrawControl*> list;
    for (const TLayerRef& layer : order.LayerRefs)
        for (int i = layer.First; i >= 0; i = order.ControlRefs[std::size_t(i)].Next)
            list.push_back(order.ControlRefs[std::size_t(i)].Control);
    return list;
}

void TDrawCustomScheme::PaintAll(TCanvas& canvas, int paintX, int paintY)
{
    if (!GetVisible())
        return;
    TDrawOwner* owner = Owner();
    if (!FNonVisual && (!owner || !owner->IsExporting() || owner->SchemeBackground())) {
        TRect r = SatBounds(paintX, paintY, GetWidth(), GetHeight());
        if (owner) {
            owner->DocToClientRect(r);
            if (owner->SchemeBkStretch()) {
                const TRect client = owner->ClientRect();
                if (client.Width() > r.Width()) {
                    r.Left -= (client.Width() - r.Width()) / 2;
                    r.Right = r.Left + client.Width();
                }
                if (client.Height() > r.Height()) {
                    r.Top -= (client.Height() - r.Height()) / 2;
                    r.Bottom = r.Top + client.Height();
                }
            }
        }
        Paint(canvas, r);
    }
    if (!owner)
        return;
    owner->PaintSchemeEvent(canvas, this, false, false);
    if (!owner->IsExporting() && owner->Grid())
        owner->Grid()->PaintAll(canvas, paintX, paintY);
    if (GetCount() == 0 || !owner->Layers() || owner->Layers()->GetCount() == 0)
        return;
    TPaintOrder order;
    GetPaintOrder(order);
    for (const TLayerRef& layer : order.LayerRefs)
        for (int i = layer.First; i >= 0; i = order.ControlRefs[std::size_t(i)].Next) {
            TDrawControl* c = order.ControlRefs[std::size_t(i)].Control;
            c->PaintAll(canvas, SatAdd(paintX, c->GetLeft()), SatAdd(paintY, c->GetTop()));
        }
}

TDrawControl* TDrawCustomScheme::FindControlAtPoint(int x, int y)
{
    TPaintOrder order;
    GetPaintOrder(order);
    TDrawLayers* layers = Owner() ? Owner()->Layers() : nullptr;
    for (int l = int(order.LayerRefs.size()) - 1; l >= 0; --l) {
        TDrawLayer* layer = layers ? layers->GetLayer(l) : nullptr;
        if (!layer || !layer->GetSelectable())
            continue;
        for (int i = order.LayerRefs[std::size_t(l)].Last; i >= 0; i = order.ControlRefs[std::size_t(i)].Prev) {
            TDrawControl* c = order.ControlRefs[std::size_t(i)].Control;
            if (c->GetVisible() && c->IsPointInside(x, y))
                return c;
        }
    }
    return nullptr;
}

DEFINE_DRAW_CONTROL_CLASS(TDrawScheme, TDrawCustomScheme)

void TDrawScheme::CreateProperties()
{
    TDrawCustomScheme::CreateProperties();
    FBrush = new TBrushProp(&Props(), QStringLiteral("Brush"));
    FBrush->SetBrushStyle(bsSolid);
    FPicture = new TPictureProp(&Props(), QStringLiteral("Picture"));
}

void TDrawScheme::ControlCreate()
{
    TDrawCustomScheme::ControlCreate();
    FNonVisual = false;
}

void TDrawScheme::Paint(TCanvas& canvas, const TRect& paintRect)
{
    if (FPicture->HasGraphic()) {
        FPicture->Draw(canvas, paintRect, false, 0);
        return;
    }
    canvas.Pen().SetStyle(psClear);
    canvas.Pen().SetMode(pmCopy);
    FBrush->Setup(canvas, 100);
    if (FBrush->IsCustomFill()) {
        TRect clip = paintRect;
        if (Owner())
            IntersectRect(clip, clip, TRect(0, 0, Owner()->PaintWidth(), Owner()->PaintHeight()));
        const std::optional<TRegion> saved = IntersectClipRgn(canvas, TRegion(clip));
        FBrush->PaintCustomFill(canvas, paintRect, clip);
        canvas.SelectClipRgn(saved);
    } else {
        canvas.FillRect(paintRect);
    }
}

void TDrawScheme::PropBeforeChanged(TPropList* sender, TCustomProp* prop)
{
    if (prop == NameProp() && FSavedName.isEmpty())
        FSavedName = GetName();
    TDrawCustomScheme::PropBeforeChanged(sender, prop);
}

void TDrawScheme::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawCustomScheme::PropChanged(sender, prop);
    if (prop == NameProp())
        RevertRejectedName(this, FSavedName, FRevertingName);
}

TRect TDrawScheme::GetRefreshRect(int x, int y) const
{
    if (Owner() && Owner()->SchemeBkStretch()) {
        const TRect client = Owner()->ClientRect();
        int l = client.Left, t = client.Top, r = client.Right, b = client.Bottom;
        Owner()->ClientToDoc(l, t);
        Owner()->ClientToDoc(r, b);
        return TRect(l, t, r, b);
    }
    return TDrawCustomScheme::GetRefreshRect(x, y);
}

DEFINE_DRAW_CONTROL_CLASS(TDrawSchemes, TDrawControl)

void TDrawSchemes::CreateProperties()
{
    TDrawControl::CreateProperties();
    FVersion = new TIntProp(&Props(), QStringLiteral("Version"));
    FVersion->SetValue(DocumentVersion);
    FVersion->SetStyle(psReadOnly | psNonVisual);
}

void TDrawSchemes::ControlCreate()
{
    FAlwaysPaint = true;
    SetName(QStringLiteral("Document"));
    SetID(1);
    SetVisible(true);
    SetShowHint(true);
    FixStandardProps(this, false);
    VisibleProp()->SetStyle(psReadOnly | psNotStored | psNonVisual);
    DoNotify(dnCreated);
}

TDrawCustomScheme* TDrawSchemes::GetScheme(int index) const
{
    return static_cast<TDrawCustomScheme*>(GetControl(index));
}

void TDrawSchemes::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (!Owner())
        return;
    if (prop == WidthProp() && GetWidth() != Owner()->DocWidth())
        Owner()->SetDocWidth(GetWidth());
    else if (prop == HeightProp() && GetHeight() != Owner()->DocHeight())
        Owner()->SetDocHeight(GetHeight());
}

int TDrawSchemes::Add(TDrawControl* control)
{
    return AddActiveChild(this, control, dnSchemes, ActiveSchemeSlot);
}

void TDrawSchemes::Delete(int index)
{
    DeleteActiveChild(this, index, dnSchemes, ActiveSchemeSlot);
}

void TDrawSchemes::ChangeOrder(int curIndex, int newIndex)
{
    TDrawControl::ChangeOrder(curIndex, newIndex);
    DoNotify(dnSchemes);
}

// ---------------------------------------------------------------- grid

DEFINE_DRAW_CONTROL_CLASS(TDrawGrid, TDrawControl)

void TDrawGrid::CreateProperties()
{
    TDrawControl::CreateProperties();
    FixStandardProps(this, true);
    FollowDocSize(this);
}

void TDrawGrid::ControlCreate()
{
    FAlwaysPaint = true;
    SnapStyle = SnapBit(snLeft) | SnapBit(snTop);
    FColor = TColor(0x808080);
    FStyle = gsDots;
    FPixColor = TColor(0xC0C0C0);
    SetName(QStringLiteral("Grid"));
}

void TDrawGrid::Changed(bool pixOnly)
{
    if (!GetVisible() || !Owner() || !Owner()->HasWindow())
        return;
    if (pixOnly && !FShowPixGrid)
        return;
    Owner()->InvalidateWindow();
}

void TDrawGrid::SetColor(TColor v)
{
    FColor = v;
    Changed(false);
}

void TDrawGrid::SetPixColor(TColor v)
{
    FPixColor = v;
    Changed(true);
}

void TDrawGrid::SetHorizSize(int v)
{
    FHorizSize = v;
    Changed(false);
}

void TDrawGrid::SetVertSize(int v)
{
    FVertSize = v;
    Changed(false);
}

void TDrawGrid::SetStyle(TDrawGridStyle v)
{
    FStyle = v;
    Changed(false);
}

void TDrawGrid::SetShowPixGrid(bool v)
{
    FShowPixGrid = v;
    Changed(false);
}

namespace {
// Vertical then horizontal 1-pixel lines every step pixels across r.
void GridLines(TCanvas& canvas, const TRect& r, double stepX, double stepY, int rightLimit, int bottomLimit)
{
    for (int k = 0;; ++k) {
        const int x = int(RoundHalfEvenInt64(r.Left + k * stepX));
        if (x >= rightLimit)
            break;
        canvas.FillRect(TRect(x, r.Top, x + 1, r.Bottom));
    }
    for (int k = 0;; ++k) {
        const int y = int(RoundHalfEvenInt64(r.Top + k * stepY));
        if (y >= bottomLimit)
            break;
        canvas.FillRect(TRect(r.Left, y, r.Right, y + 1));
    }
}
}  // namespace

void TDrawGrid::Paint(TCanvas& canvas, const TRect& paintRect)
{
    if (!Owner())
        return;
    const int s = Owner()->Scale();
    const bool frame = Owner()->ShowDocFrame();
    canvas.Brush().SetStyle(bsSolid);
    if (FShowPixGrid && s >= 400) {
        const double step = s / 100.0;
        canvas.Brush().SetColor(FPixColor);
        GridLines(canvas, paintRect, step, step, frame ? paintRect.Right - 1 : paintRect.Right,
                  frame ? paintRect.Bottom - 1 : paintRect.Bottom);
    }
    if (FHorizSize > 1 && FVertSize > 1 && FColor != clNone) {
        double stepX = double(FHorizSize) * s / 100000.0;
        double stepY = double(FVertSize) * s / 100000.0;
        while (stepX < 4)
            stepX *= 2;
        while (stepY < 4)
            stepY *= 2;
        canvas.Brush().SetColor(FColor);
        if (FStyle == gsLines) {
            GridLines(canvas, paintRect, stepX, stepY, frame ? paintRect.Right - 1 : paintRect.Right,
                      frame ? paintRect.Bottom - 1 : paintRect.Bottom);
        } else {
            for (int j = 0;; ++j) {
                const int y = int(RoundHalfEvenInt64(paintRect.Top + j * stepY));
                if (y > paintRect.Bottom)
                    break;
                for (int i = 0;; ++i) {
                    const int x = int(RoundHalfEvenInt64(paintRect.Left + i * stepX));
                    if (x > paintRect.Right)
                        break;
                    canvas.SetPixel(x, y, FColor);
                }
            }
        }
    }
}

// ---------------------------------------------------------------- drag object

TDrawDragObject::TDrawDragObject(TDrawGroup* group, int grabX, int grabY, TDrawOwner* sourcePanel)
    : FGroup(group), FGrabX(grabX), FGrabY(grabY), FSourcePanel(sourcePanel),
      FGroupLink(std::make_unique<TNotifyLink>(this)), FPanelLink(std::make_unique<TNotifyLink>(this))
{
    FGroupLink->OnFreeNotify = [this](TNotifyLink*, TNotifyLink* source, const TNotifyInfo&) {
        if (source)
            FGroup = nullptr;
    };
    if (FGroup)
        if (TNotifyLink* link = FGroup->GetNotifyLink())
            link->Subscribe(FGroupLink.get());
    FPanelLink->OnFreeNotify = [this](TNotifyLink*, TNotifyLink* source, const TNotifyInfo&) {
        if (source)
            SourcePanelDestroying();
    };
    if (FSourcePanel)
        if (TNotifyLink* link = FSourcePanel->GetNotifyLink())
            link->Subscribe(FPanelLink.get());
}

TDrawDragObject::~TDrawDragObject()
{
    TDrawGroup* group = FGroup;
    ForgetGroup();
    if (group && !group->Parent())
        group->Free();
    FGroupLink->OnFreeNotify = nullptr;
    FPanelLink->OnFreeNotify = nullptr;
    if (FSourcePanel)
        if (TNotifyLink* link = FSourcePanel->GetNotifyLink())
            link->Unsubscribe(FPanelLink.get());
}

void TDrawDragObject::SourcePanelDestroying()
{
    TDrawOwner* dying = FSourcePanel;
    FSourcePanel = nullptr;
    // Placed on the dying panel, the group goes with its document; anywhere else it stays, and
    // what of it still belongs to the dying panel (the copies read there, or the whole group after
    // it left a panel) becomes ownerless until the group joins a panel again.
    if (!FGroup || (FGroup->Parent() && FGroup->Owner() == dying))
        return;
    std::vector<TDrawControl*> all{FGroup};
    TPassControlRec rec;
    TreeIterFirst(FGroup, rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
        all.push_back(c);
    for (TDrawControl* c : all)
        if (c->Owner() == dying)
            c->SetOwner(nullptr);
}

void TDrawDragObject::ForgetGroup()
{
    if (FGroup)
        if (TNotifyLink* link = FGroup->GetNotifyLink())
            link->Unsubscribe(FGroupLink.get());
    FGroup = nullptr;
}

void TDrawDragObject::PlaceOnPanel(TDrawOwner* panel, int x, int y)
{
    if (!FGroup || !panel || !panel->ActiveScheme())
        return;
    panel->ActiveScheme()->Add(FGroup);
    FGroup->SetLayer(panel->ActiveLayer());
    int dx = x, dy = y;
    panel->ClientToDoc(dx, dy);
    FGroup->SetLeft(dx - FGrabX);
    FGroup->SetTop(dy - FGrabY);
}

void TDrawDragObject::RemoveFromPanel()
{
    if (!FGroup)
        return;
    FGroup->SetOwner(FSourcePanel);
    FGroup->SetIsSelected(false);
    if (FGroup->Parent())
        FGroup->Parent()->Remove(FGroup);
    FGroup->SetLayer(nullptr);
    FGroup->SetID(0);
    TPassControlRec rec;
    TreeIterFirst(FGroup, rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
        c->SetID(0);
    FGroup->SetLeft(0);
    FGroup->SetTop(0);
}

// ---------------------------------------------------------------- link paths

QString LinkPathOf(const TDrawControl* control, const TCustomProp* prop)
{
    if (!control)
        return QString();
    QString name;
    for (QChar ch : control->GetName())
        if (ch.unicode() >= 32 && ch != QLatin1Char('\\'))
            name += ch;
    const QString id = QString::number(int32_t(control->GetID()));
    const int index = prop ? control->Props().IndexOf(prop) : -1;
    if (index >= 0)
        return QStringLiteral("\\%1:%2\\%3").arg(id, name, control->Props().GetPropName(index));
    return QStringLiteral("\\%1:%2").arg(id, name);
}

bool ParseLinkPath(const QString& path, TDrawOwner* panel, TDrawControl*& control, const TTranslateIDFunc& translateID,
                   TCustomProp*& prop)
{
    control = nullptr;
    prop = nullptr;
    if (path.isEmpty())
        return true;
    if (!panel || !path.startsWith(QLatin1Char('\\')))
        return false;
    int end = 1;
    while (end < path.size() && path[end] != QLatin1Char(':') && path[end] != QLatin1Char('\\'))
        ++end;
    bool ok = false;
    const int parsed = path.mid(1, end - 1).toInt(&ok);
    uint32_t id = ok ? uint32_t(parsed) : 0;
    if (translateID && id != 0)
        id = translateID(id);
    control = panel->FindControlByID(id);
    if (!control)
        return false;
    int rest = end;
    if (rest < path.size() && path[rest] == QLatin1Char(':')) {
        const int slash = path.indexOf(QLatin1Char('\\'), rest + 1);
        rest = slash < 0 ? int(path.size()) : slash + 1;
    } else if (rest < path.size()) {
        ++rest;  // the backslash before the property name
    }
    if (rest >= path.size())
        return true;
    prop = control->Prop(path.mid(rest));
    return prop != nullptr;
}

// ---------------------------------------------------------------- tree walk

void TreeIterFirst(TDrawControl* root, TPassControlRec& rec)
{
    rec.Current = root;
    rec.Stack.assign(1, 0);
}

TDrawControl* TreeIterNext(TPassControlRec& rec)
{
    if (!rec.Current || rec.Stack.empty())
        return nullptr;
    if (rec.Current->GetCount() > 0) {
        rec.Current = rec.Current->GetControl(0);
        rec.Stack.push_back(0);
        return rec.Current;
    }
    for (;;) {
        if (rec.Stack.size() <= 1)
            break;
        TDrawControl* parent = rec.Current->Parent();
        if (!parent)
            break;
        if (rec.Stack.back() + 1 < parent->GetCount()) {
            ++rec.Stack.back();
            rec.Current = parent->GetControl(rec.Stack.back());
            return rec.Current;
        }
        rec.Stack.pop_back();
        rec.Current = parent;
    }
    TreeIterClose(rec);
    return nullptr;
}

void TreeIterClose(TPassControlRec& rec)
{
    rec.Current = nullptr;
    rec.Stack.clear();
}
