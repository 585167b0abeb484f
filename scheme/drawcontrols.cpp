#include "scheme/drawcontrols.h"

#include "platform/streams.h"
#include "platform/text.h"
#include "scheme/drawbase.h"
#include "scheme/drawfiler.h"
#include "scheme/drawlinks.h"

#include <QGuiApplication>
#include <cmath>
#include <numbers>
#include <unordered_set>

namespace {

// Controls alive now; lets a property find out whether its list belongs to a control.
std::unordered_set<const void*>& LiveControls()
{
    static std::unordered_set<const void*> live;
    return live;
}

// The Layer property: reads as the current layer's name; a written name is kept for the
// control to look up (even when it equals the stored text of an earlier assignment).
class TLayerNameProp : public TStrProp {
public:
    using TStrProp::TStrProp;
    void SetPropValue(const QString& propName, const Variant& value) override
    {
        if (!propName.isEmpty())
            return TCustomProp::SetPropValue(propName, value);
        const QString text = VarToStr(value);
        Change(GetValue(), text, [&] { FRequested = text; });
    }
    const QString& Requested() const { return FRequested; }

private:
    QString FRequested;
};

// Ends an update even when the work inside it throws.
struct UpdateScope {
    explicit UpdateScope(TDrawControl* c) : control(c) { control->BeginUpdate(); }
    ~UpdateScope() { control->EndUpdate(); }
    TDrawControl* control;
};

}  // namespace

// ---------------------------------------------------------------- owner defaults

void TDrawOwner::PaintSchemeEvent(TCanvas&, TDrawControl*, bool, bool) {}

bool TDrawOwner::IsShiftDown() const
{
    return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

bool TDrawControlClass::InheritsFrom(const TDrawControlClass* cls) const
{
    for (const TDrawControlClass* c = this; c; c = c->Parent)
        if (c == cls)
            return true;
    return false;
}

const TDrawControlClass* TDrawControl::StaticClass()
{
    static const TDrawControlClass cls{
        QStringLiteral("TDrawControl"),
        [](TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer) -> TDrawControl* {
            return TDrawControl::Create<TDrawControl>(owner, parent, layer);
        },
        nullptr};
    return &cls;
}

// ---------------------------------------------------------------- life

TDrawControl::TDrawControl()
{
    LiveControls().insert(this);
    FProps = std::make_unique<TPropList>(this);
}

TDrawControl::~TDrawControl()
{
    LiveControls().erase(this);
    // properties die without calling back into a half-destroyed control
    FProps->OnPropChanged = nullptr;
    FProps->OnPropBeforeChanged = nullptr;
    FProps->OnPropStored = nullptr;
    FProps->OnPropReadOnly = nullptr;
    FProps.reset();
    FNotifyLink.reset();
}

bool TDrawControl::IsAlive(const TDrawControl* control)
{
    return control && LiveControls().count(control) > 0;
}

TDrawControl* TDrawControl::FromPropList(const TPropList* list)
{
    if (!list || !LiveControls().count(list->Owner()))
        return nullptr;
    auto* control = static_cast<TDrawControl*>(list->Owner());
    return control->FProps.get() == list ? control : nullptr;
}

void TDrawControl::Construct(TDrawOwner* owner, TDrawControl* parent, TDrawLayer* layer)
{
    FState |= csCreating;
    FOwner = owner;
    FProps->OnPropChanged = [this](TPropList* s, TCustomProp* p) { PropChanged(s, p); };
    FProps->OnPropBeforeChanged = [this](TPropList* s, TCustomProp* p) { PropBeforeChanged(s, p); };
    FProps->OnPropStored = [this](TPropList* s, TCustomProp* p, const QString& n, bool& st) {
        PropStored(s, p, n, st);
    };
    FProps->OnPropReadOnly = [this](TPropList* s, TCustomProp* p, bool& ro) { PropReadOnly(s, p, ro); };
    CreateProperties();
    FAnchorEnabled = true;
    SetParent(parent);
    FLayer = layer;
    ControlCreate();
    FState &= uint8_t(~csCreating);
}

bool TDrawControl::Free()
{
    if (HasState(csDestroying) || !CanDestroy())
        return false;
    FState |= csDestroying;
    if (FNotifyLink)
        FNotifyLink->DestroyNotify();
    // whoever anchored points here has just been told; the points are theirs, not ours
    FLinkPoints.reset();
    ControlDestroy();
    DeleteChildren();
    // a child that refused to go is detached rather than left pointing at freed memory
    for (TDrawControl* child : FChildren) {
        child->FParent = nullptr;
        child->FLayer = nullptr;
    }
    FChildren.clear();
    SetParent(nullptr);
    if (FOwner && GetID() != 0)
        FOwner->IdPool().Release(GetID());
    delete this;
    return true;
}

void TDrawControl::CreateProperties()
{
    TPropList* l = FProps.get();
    FIDProp = new TLongWordProp(l, QStringLiteral("ID"));
    FIDProp->SetStyle(FIDProp->Style() | psNonVisual);
    FTagProp = new TIntProp(l, QStringLiteral("Tag"));
    FTagProp->SetStyle(FTagProp->Style() | psNonVisual);
    FNameProp = new TStrProp(l, QStringLiteral("Name"));
    FNameProp->SetStyle(FNameProp->Style() | psNotStored | psNonVisual);
    FLeftProp = new TIntProp(l, QStringLiteral("Left"));
    FTopProp = new TIntProp(l, QStringLiteral("Top"));
    FWidthProp = new TIntProp(l, QStringLiteral("Width"));
    FHeightProp = new TIntProp(l, QStringLiteral("Height"));
    for (TIntProp* p : {FLeftProp, FTopProp, FWidthProp, FHeightProp})
        p->SetStyle(p->Style() | psThousandths);
    FVisibleProp = new TBoolProp(l, QStringLiteral("Visible"));
    FVisibleProp->SetStyle(psVisible | psNotStored);
    FHintProp = new TStrListProp(l, QStringLiteral("Hint"));
    FHintProp->SetStyle(FHintProp->Style() | psNonVisual);
    FShowHintProp = new TBoolProp(l, QStringLiteral("ShowHint"));
    FShowHintProp->SetStyle(FShowHintProp->Style() | psNonVisual);
    FLayerProp = new TLayerNameProp(l, QStringLiteral("Layer"));
    FLayerProp->SetStyle(FLayerProp->Style() | psReference);
    FLayerProp->OnGetValue = [this](TStrProp*, QString& value) {
        value = FLayer ? FLayer->GetName() : QString();
    };
    FReferenceProp = new TSchemeRefProp(l, QStringLiteral("Reference"));
    FReferenceProp->SetStyle(FReferenceProp->Style() | psReference | psNonVisual);
    FUserDataProp = new TUserDataProp(l, QStringLiteral("UserData"));
}

void TDrawControl::ControlCreate()
{
    if (FOwner) {
        if (!FOwner->IsLoading())
            FOwner->GenerateID(this);
        if (FOwner->AutoNames() && GetName().isEmpty() && !FOwner->IsLoading()) {
            QString name;
            FOwner->GenerateControlName(this, nullptr, name, FOwner->AutoNameNumbs());
            SetName(name);
        }
    }
    SetShowHint(true);
    DoNotify(dnCreated);
}

void TDrawControl::ControlDestroy()
{
    DoNotify(dnDestroying);
}

bool TDrawControl::CanDestroy()
{
    return true;
}

// ---------------------------------------------------------------- tree

TDrawControl* TDrawControl::GetControl(int index) const
{
    return index >= 0 && index < GetCount() ? FChildren[std::size_t(index)] : nullptr;
}

int TDrawControl::IndexOf(const TDrawControl* control) const
{
    for (std::size_t i = 0; i < FChildren.size(); ++i)
        if (FChildren[i] == control)
            return int(i);
    return -1;
}

void TDrawControl::SetParent(TDrawControl* newParent)
{
    if (newParent == FParent)
        return;
    if (newParent)
        newParent->Add(this);
    else if (FParent)
        FParent->Remove(this);
}

void TDrawControl::SetLayer(TDrawLayer* layer)
{
    if (layer == FLayer)
        return;
    FLayer = layer;
    for (TDrawControl* child : FChildren)
        child->SetLayer(layer);
    Invalidate();
}

void TDrawControl::SetOwner(TDrawOwner* owner)
{
    if (owner == FOwner)
        return;
    Invalidate();
    if (FParent && FParent->FOwner != owner && FParent->FOwner)
        FParent->Remove(this);
    const uint32_t id = GetID();
    if (FOwner && id != 0)
        FOwner->IdPool().Release(id);
    FOwner = owner;
    if (FOwner && id != 0) {
        if (FOwner->IdPool().Used(id))
            TakeNewID();
        else
            FOwner->IdPool().Use(id);
    }
    for (TDrawControl* child : FChildren)
        child->SetOwner(owner);
    Invalidate();
}

void TDrawControl::TakeNewID()
{
    if (!FOwner)
        return;
    const uint32_t old = GetID();
    FOwner->GenerateID(this);
    if (GetID() != old)
        DoNotify(dnID);
}

void TDrawControl::GiveMissingIDs()
{
    if (GetID() == 0)
        TakeNewID();
    TPassControlRec rec;
    TreeIterFirst(this, rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
        if (c->GetID() == 0)
            c->TakeNewID();
}

int TDrawControl::Add(TDrawControl* control)
{
    if (!control)
        return -1;
    const int existing = IndexOf(control);
    if (existing >= 0)
        return existing;
    control->FState |= csReparenting;
    if (control->FParent)
        control->FParent->Remove(control);
    if (FOwner && FOwner != control->FOwner)
        control->SetOwner(FOwner);
    FChildren.push_back(control);
    control->FParent = this;
    control->FState &= uint8_t(~csReparenting);
    // A control that was taken out of a document lost its ID there (a drag that left a panel);
    // joining one again it gets a new one, or it would be saved as ID 0 and links to it lost.
    if (FOwner && !FOwner->IsLoading() && !control->HasState(csCreating))
        control->GiveMissingIDs();
    if (FLayer && FLayer != control->FLayer)
        control->SetLayer(FLayer);
    else
        control->Invalidate();
    control->DoNotify(dnParent);
    DoNotify(dnChildren);
    return int(FChildren.size()) - 1;
}

void TDrawControl::Remove(TDrawControl* control)
{
    if (!control)
        return;
    FState |= csRemoving;
    control->SetIsSelected(false);
    control->Invalidate();
    const int i = IndexOf(control);
    if (i >= 0)
        Delete(i);
    if (IndexOf(control) < 0 && control->FParent == this) {
        control->FParent = nullptr;
        control->FLayer = nullptr;
    } else if (IndexOf(control) < 0) {
        control->FLayer = nullptr;
    }
    FState &= uint8_t(~csRemoving);
}

void TDrawControl::Delete(int index)
{
    TDrawControl* child = GetControl(index);
    if (!child)
        return;
    if (!child->HasState(csDestroying) && !HasState(csRemoving)) {
        child->Free();
        return;
    }
    child->FParent = nullptr;
    if (FOwner)
        FOwner->UnselectControl(child);
    FChildren.erase(FChildren.begin() + index);
    if (!child->HasState(csReparenting)) {
        child->DoNotify(dnParent);
        DoNotify(dnChildren);
    }
}

void TDrawControl::DeleteChildren()
{
    for (int i = GetCount() - 1; i >= 0; --i) {
        if (i >= GetCount())
            continue;
        Delete(i);
    }
}

void TDrawControl::ChangeOrder(int curIndex, int newIndex)
{
    if (curIndex == newIndex || curIndex < 0 || curIndex >= GetCount() || newIndex < 0 || newIndex >= GetCount())
        return;
    TDrawControl* c = FChildren[std::size_t(curIndex)];
    FChildren.erase(FChildren.begin() + curIndex);
    FChildren.insert(FChildren.begin() + newIndex, c);
    FChildren[std::size_t(newIndex)]->Invalidate();
    DoNotify(dnChildren);
}

TDrawControl* TDrawControl::FindByName(const QString& name) const
{
    for (TDrawControl* c : FChildren)
        if (c->GetName() == name)
            return c;
    return nullptr;
}

TDrawControl* TDrawControl::FindByID(uint32_t id)
{
    if (id == 0)
        return nullptr;
    if (GetID() == id)
        return this;
    TPassControlRec rec;
    TreeIterFirst(this, rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
        if (c->GetID() == id) {
            TreeIterClose(rec);
            return c;
        }
    return nullptr;
}

TDrawCustomScheme* TDrawControl::GetParentScheme() const
{
    for (TDrawControl* p = FParent; p; p = p->FParent)
        if (p->InheritsFrom(TDrawCustomScheme::StaticClass()))
            return static_cast<TDrawCustomScheme*>(p);
    return nullptr;
}

TDrawControl* TDrawControl::FindControlAtPoint(int x, int y)
{
    for (int i = GetCount() - 1; i >= 0; --i) {
        TDrawControl* c = FChildren[std::size_t(i)];
        if (!c->GetVisible())
            continue;
        if (c->FLayer && !c->FLayer->GetSelectable())
            continue;
        if (c->IsPointInside(x, y))
            return c;
    }
    return nullptr;
}

bool TDrawControl::IsPointInside(int x, int y)
{
    const TRect r = GetPixelRect();
    return r.Left <= x && x < r.Right && r.Top <= y && y < r.Bottom;
}

bool TDrawControl::IsUniqueName(bool notEmpty, bool amongSiblings) const
{
    const QString name = GetName();
    bool result = !notEmpty || !name.isEmpty();
    if (result && amongSiblings && FParent)
        for (TDrawControl* c : FParent->FChildren)
            if (c != this && c->GetName() == name)
                return false;
    return result;
}

// ---------------------------------------------------------------- standard properties

uint32_t TDrawControl::GetID() const { return FIDProp ? FIDProp->GetValue() : 0; }
void TDrawControl::SetID(uint32_t id) { FIDProp->SetValue(id); }
QString TDrawControl::GetName() const { return FNameProp ? FNameProp->GetValue() : QString(); }
void TDrawControl::SetName(const QString& name) { FNameProp->SetValue(name); }
int TDrawControl::GetLeft() const { return FLeftProp->GetValue(); }
void TDrawControl::SetLeft(int v) { FLeftProp->SetValue(v); }
int TDrawControl::GetTop() const { return FTopProp->GetValue(); }
void TDrawControl::SetTop(int v) { FTopProp->SetValue(v); }
int TDrawControl::GetWidth() const { return FWidthProp->GetValue(); }
void TDrawControl::SetWidth(int v) { FWidthProp->SetValue(v); }
int TDrawControl::GetHeight() const { return FHeightProp->GetValue(); }
void TDrawControl::SetHeight(int v) { FHeightProp->SetValue(v); }
bool TDrawControl::GetVisible() const { return FVisibleProp->GetValue(); }
void TDrawControl::SetVisible(bool v) { FVisibleProp->SetValue(v); }
bool TDrawControl::GetShowHint() const { return FShowHintProp->GetValue(); }
void TDrawControl::SetShowHint(bool v) { FShowHintProp->SetValue(v); }

QString TDrawControl::GetHint() const
{
    return FHintProp->Strings().join(QStringLiteral("\r\n"));
}

TDrawCustomScheme* TDrawControl::GetReference() const
{
    return FReferenceProp->Value();
}

void TDrawControl::SetReference(TDrawCustomScheme* scheme)
{
    FReferenceProp->SetValue(scheme);
}

bool TDrawControl::GetIsSelected() const
{
    return FOwner && FOwner->IsSelected(this);
}

void TDrawControl::SetIsSelected(bool value)
{
    if (!FOwner)
        return;
    if (value)
        FOwner->SelectControl(this);
    else
        FOwner->UnselectControl(this);
}

// ---------------------------------------------------------------- geometry

TRect TDrawControl::GetDocRect() const
{
    TRect r = SatBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
    for (TDrawControl* p = FParent; p; p = p->FParent)
        OffsetRect(r, p->GetLeft(), p->GetTop());
    return r;
}

TRect TDrawControl::GetPixelRect() const
{
    TRect r = GetDocRect();
    if (FOwner)
        FOwner->DocToClientRect(r);
    return r;
}

TPoint TDrawControl::LocalToClient(const TPoint& p) const
{
    TPoint q = p;
    for (const TDrawControl* c = this; c; c = c->FParent)
        q = SatAdd(q, TPoint(c->GetLeft(), c->GetTop()));
    if (FOwner)
        FOwner->DocToClientPoint(q);
    return q;
}

TPoint TDrawControl::ClientToLocal(const TPoint& p) const
{
    TPoint q = p;
    if (FOwner)
        FOwner->ClientToDoc(q.x, q.y);
    for (const TDrawControl* c = this; c; c = c->FParent)
        q = SatSub(q, TPoint(c->GetLeft(), c->GetTop()));
    return q;
}

void TDrawControl::GetTransformPoints(int originX, int originY, int scale, TPointArray& points) const
{
    const int count = GetPointCount();
    points.resize(std::size_t(std::max(count, 0)));
    if (count <= 0)
        return;
    const TRect doc = GetDocRect();
    // 64 bits through: a point far from a control far out may still come back on screen
    const int64_t ox = int64_t(originX) - ScaleValue64(doc.Left, scale);
    const int64_t oy = int64_t(originY) - ScaleValue64(doc.Top, scale);
    for (int i = 0; i < count; ++i) {
        const TPoint p = GetPoint(i);
        points[std::size_t(i)] = TPoint(ClampClient(ScaleValue64(int64_t(p.x) + doc.Left, scale) + ox),
                                        ClampClient(ScaleValue64(int64_t(p.y) + doc.Top, scale) + oy));
    }
}

void TDrawControl::SetDocRect(const TRect& r)
{
    TRect rr = r;
    for (TDrawControl* p = FParent; p; p = p->FParent) {
        const TPoint o(p->GetLeft(), p->GetTop());
        rr = TRect(SatSub(rr.TopLeft(), o), SatSub(rr.BottomRight(), o));
    }
    UpdateScope scope(this);
    SetLeft(rr.Left);
    SetTop(rr.Top);
    SetWidth(SatWidth(rr));
    SetHeight(SatHeight(rr));
}

TRect TDrawControl::GetRefreshRect(int x, int y) const
{
    return SatBounds(x, y, GetWidth(), GetHeight());
}

TPoint TDrawControl::GetAnchorPoint() const
{
    return GetPixelRect().TopLeft();
}

// ---------------------------------------------------------------- path slots

TDrawControl* TDrawControl::CreateCurveControl() { return nullptr; }
bool TDrawControl::GetEditPointGuide(const TPoint&, TDrawEditPointGuide&) { return false; }
void TDrawControl::MovePathPoint(int, int, int, bool, bool) {}
void TDrawControl::MovePathSegment(int, int, int) {}
void TDrawControl::GetLinkProps(TLinkPointProp*& linkA, TLinkPointProp*& linkB)
{
    linkA = nullptr;
    linkB = nullptr;
}
TPoint TDrawControl::GetLinkPoint(int) const { return TPoint(); }
int TDrawControl::GetLinkPointCount() const { return 0; }
TPoint TDrawControl::GetPoint(int) const { return TPoint(); }
void TDrawControl::SetPoint(int, const TPoint&) {}

uint8_t TDrawControl::GetPointType(int index) const
{
    if (index == GetPointCount() - 1)
        return GetIsSolid() ? ptClosedEnd : ptOpenEnd;
    return ptNode;
}

void TDrawControl::SetPointType(int, uint8_t) {}
int TDrawControl::GetPointCount() const { return 0; }
bool TDrawControl::GetIsSolid() const { return true; }
void TDrawControl::SetIsSolid(bool) {}
const TPathInfo* TDrawControl::GetPathInfo() { return nullptr; }
int TDrawControl::GetCreationCursor() const { return crDrawDefault; }
bool TDrawControl::GetToolInfo(TBitmap*, QString&) { return false; }
bool TDrawControl::IsConnectorControl() const { return false; }
void TDrawControl::BeginPointEdit() { ++FPointEditLevel; }

void TDrawControl::EndPointEdit()
{
    if (FPointEditLevel > 0)
        --FPointEditLevel;
}

int TDrawControl::GetNodeIndex(int pointIndex) const
{
    if (pointIndex >= 0 && pointIndex < GetPointCount() && GetPointType(pointIndex) == ptControl)
        return -1;
    int nodes = 0;
    for (int i = 0; i < pointIndex && i < GetPointCount(); ++i)
        if (GetPointType(i) != ptControl)
            ++nodes;
    return nodes;
}

int TDrawControl::GetPointIndex(int nodeIndex) const
{
    if (nodeIndex < 0)
        return -1;
    int nodes = 0;
    for (int i = 0; i < GetPointCount(); ++i)
        if (GetPointType(i) != ptControl) {
            if (nodes == nodeIndex)
                return i;
            ++nodes;
        }
    return -1;
}

int TDrawControl::InsertPoint(int, const TPoint&) { return -1; }
int TDrawControl::InsertCurvePoint(int, const TPoint&, const TPoint&, const TPoint&) { return -1; }
void TDrawControl::DeletePoint(int) {}
int TDrawControl::InsertNearestPoint(const TPoint&) { return -1; }
void TDrawControl::SetPointsEx(const TPointArray&, const TPointTypeArray&) {}
void TDrawControl::GetPointsEx(TPointArray&, TPointTypeArray&) const {}
bool TDrawControl::EditPoints(TPathEditOp, const std::vector<bool>&, const TPathMove&) { return false; }
unsigned TDrawControl::GetEditPointsCaps(const std::vector<bool>&) const { return 0; }
bool TDrawControl::FlattenCurve(float) { return false; }
int TDrawControl::FindNearestPathSegment(const TPoint&, THitRecord*, int&, int&) { return 0; }
int TDrawControl::FindNearestPoint(const TPoint&, THitRecord&) { return 0; }

int TDrawControl::AddPoint(const TPoint& p)
{
    return InsertPoint(GetPointCount(), p);
}

int TDrawControl::AddCurvePoint(const TPoint& p, const TPoint& ctrlA, const TPoint& ctrlB)
{
    return InsertCurvePoint(GetPointCount(), p, ctrlA, ctrlB);
}

void TDrawControl::EndFigure(bool close)
{
    for (int i = GetPointCount() - 1; i >= 0; --i)
        if (GetPointType(i) != ptControl) {
            SetPointType(i, close ? ptClosedEnd : ptOpenEnd);
            return;
        }
}

TPoint TDrawControl::GetNode(int nodeIndex) const
{
    return GetPoint(GetPointIndex(nodeIndex));
}

int TDrawControl::GetNodeCount() const
{
    const int count = GetPointCount();
    return count > 0 ? GetNodeIndex(count) : 0;
}

// ---------------------------------------------------------------- link points

int TDrawControl::AddLinkPoint(TPoint* pointRef)
{
    if (!pointRef)
        return -1;
    const int i = IndexOfLinkPoint(pointRef);
    if (i >= 0)
        return i;
    if (!FLinkPoints) {
        FLinkPoints = std::make_unique<std::vector<TPoint*>>();
        // the rectangle the registered points are relative to from now on
        FSavedDocRect = GetDocRect();
    }
    FLinkPoints->push_back(pointRef);
    DoNotify(dnLinkPoints);
    return int(FLinkPoints->size()) - 1;
}

int TDrawControl::IndexOfLinkPoint(const TPoint* pointRef) const
{
    if (!FLinkPoints)
        return -1;
    for (std::size_t i = 0; i < FLinkPoints->size(); ++i)
        if ((*FLinkPoints)[i] == pointRef)
            return int(i);
    return -1;
}

void TDrawControl::DeleteLinkPoint(int index)
{
    if (!FLinkPoints || index < 0 || index >= int(FLinkPoints->size()))
        throw Exception(QStringLiteral("List index out of bounds (%1)").arg(index));
    FLinkPoints->erase(FLinkPoints->begin() + index);
    if (FLinkPoints->empty())
        FLinkPoints.reset();
    DoNotify(dnLinkPoints);
}

void TDrawControl::RemoveLinkPoint(TPoint* pointRef)
{
    const int i = IndexOfLinkPoint(pointRef);
    if (i >= 0)
        DeleteLinkPoint(i);
}

TPoint TDrawControl::GetRegisteredLinkPoint(int index) const
{
    if (!FLinkPoints || index < 0 || index >= int(FLinkPoints->size()))
        throw Exception(QStringLiteral("List index out of bounds (%1)").arg(index));
    return *(*FLinkPoints)[std::size_t(index)];
}

void TDrawControl::SetRegisteredLinkPoint(int index, const TPoint& p)
{
    if (!FLinkPoints || index < 0 || index >= int(FLinkPoints->size()))
        throw Exception(QStringLiteral("List index out of bounds (%1)").arg(index));
    *(*FLinkPoints)[std::size_t(index)] = p;
    DoNotify(dnLinkPoints);
}

void TDrawControl::UnlockLinkPoints()
{
    if (FLinkPointsLock > 0)
        --FLinkPointsLock;
}

void TDrawControl::TranslateLinkPoints(const TRect& oldRect, const TRect& newRect)
{
    if (GetLinkPointsCount() == 0 || oldRect == newRect)
        return;
    UpdateScope scope(this);
    const bool fromSaved = HasState(csTranslating) && FTranslatePoints.size() == FLinkPoints->size();
    const TRect base = fromSaved ? FTranslateRect : oldRect;
    // in doubles: the edges of a rectangle far out may lie more than 32 bits apart
    auto extent = [](int from, int to) { return double(to) - double(from); };
    const double bw = extent(base.Left, base.Right);
    const double bh = extent(base.Top, base.Bottom);
    const double kx = bw != 0 ? extent(newRect.Left, newRect.Right) / bw : 0.0;
    const double ky = bh != 0 ? extent(newRect.Top, newRect.Bottom) / bh : 0.0;
    for (std::size_t i = 0; i < FLinkPoints->size(); ++i) {
        TPoint* p = (*FLinkPoints)[i];
        const TPoint src = fromSaved ? FTranslatePoints[i] : *p;
        p->x = SatAdd(newRect.Left, RoundHalfEvenInt64(extent(base.Left, src.x) * kx));
        p->y = SatAdd(newRect.Top, RoundHalfEvenInt64(extent(base.Top, src.y) * ky));
    }
    FLinkPointsChanged = true;
}

void TDrawControl::RotateLinkPoints(const TRotationInfo& info)
{
    if (GetLinkPointsCount() == 0)
        return;
    UpdateScope scope(this);
    for (TPoint* p : *FLinkPoints)
        *p = RotatePoint(*p, info);
    FLinkPointsChanged = true;
}

// ---------------------------------------------------------------- transforms

void TDrawControl::BeginTranslate(const TPoint& origin)
{
    if (HasState(csTranslating))
        return;
    FState |= csTranslating;
    const TRect doc = GetDocRect();
    FTranslateRect = TRect(SatSub(doc.TopLeft(), origin), SatSub(doc.BottomRight(), origin));
    FTranslateOrigin = origin;
    FTranslatePoints.clear();
    if (FLinkPoints)
        for (TPoint* p : *FLinkPoints)
            FTranslatePoints.push_back(SatSub(*p, origin));
    for (TDrawControl* child : FChildren)
        child->BeginTranslate(origin);
}

void TDrawControl::EndTranslate()
{
    if (!HasState(csTranslating))
        return;
    FTranslatePoints.clear();
    for (TDrawControl* child : FChildren)
        child->EndTranslate();
    FState &= uint8_t(~csTranslating);
}

void TDrawControl::Mirror(bool horz, bool vert)
{
    if (!HasState(csTranslating))
        return;
    for (TPoint& p : FTranslatePoints) {
        if (horz)
            p.x = ClampToInt(int64_t(FTranslateRect.Right) + FTranslateRect.Left - p.x);
        if (vert)
            p.y = ClampToInt(int64_t(FTranslateRect.Bottom) + FTranslateRect.Top - p.y);
    }
}

void TDrawControl::ShiftInParent(int64_t dx, int64_t dy)
{
    SetLeft(SatAdd(GetLeft(), dx));
    SetTop(SatAdd(GetTop(), dy));
}

void TDrawControl::Rotate(const TRotationInfo& info)
{
    TLinkPointsLock lock(this);
    SetDocRect(RotateRect(GetDocRect(), info));
    RotateLinkPoints(info);
}

void TDrawControl::RotateAll(const TRotationInfo& info)
{
    Invalidate();
    const std::vector<TDrawControl*> children = FChildren;
    for (TDrawControl* child : children)
        child->RotateAll(info);
    Rotate(info);
}

// ---------------------------------------------------------------- notifications and updates

TNotifyLink* TDrawControl::GetNotifyLink()
{
    if (!FNotifyLink && !HasState(csDestroying))
        FNotifyLink = std::make_unique<TNotifyLink>(this);
    return FNotifyLink.get();
}

void TDrawControl::DoNotify(TDrawNotify code)
{
    if (code == dnLinkPoints && FUpdateCounter > 0) {
        FLinkPointsChanged = true;
        return;
    }
    if (code == dnGeometry && FUpdateCounter > 0) {
        FGeometryChanged = true;
        return;
    }
    if ((code == dnGeometry || code == dnParent) && FLinkPointsLock == 0 && GetLinkPointsCount() > 0) {
        const TRect r = GetDocRect();
        TranslateLinkPoints(FSavedDocRect, r);
        FSavedDocRect = r;
    }
    if (FOwner)
        FOwner->DoNotify(this, code);
    if (FNotifyLink)
        FNotifyLink->ControlNotify(this, code);
}

bool TDrawControl::BeginUpdate()
{
    if (FUpdateCounter == 0) {
        Invalidate();
        FLinkPointsChanged = false;
        FGeometryChanged = false;
    }
    ++FUpdateCounter;
    return FUpdateCounter == 1;
}

bool TDrawControl::EndUpdate()
{
    if (FUpdateCounter <= 0)
        return false;
    if (--FUpdateCounter == 0) {
        if (FGeometryChanged) {
            FGeometryChanged = false;
            DoNotify(dnGeometry);
        }
        if (FLinkPointsChanged) {
            FLinkPointsChanged = false;
            DoNotify(dnLinkPoints);
        }
        Invalidate();
    }
    return true;
}

void TDrawControl::Invalidate()
{
    if (!FOwner || !FOwner->HasWindow() || FUpdateCounter > 0)
        return;
    TDrawCustomScheme* scheme = GetParentScheme();
    if (scheme && scheme != FOwner->ActiveScheme() && FParent != FOwner->Schemes())
        return;
    int x = 0;
    int y = 0;
    for (TDrawControl* p = FParent; p; p = p->FParent) {
        x = SatAdd(x, p->GetLeft());
        y = SatAdd(y, p->GetTop());
    }
    InvalidateTree(x, y);
}

void TDrawControl::InvalidateTree(int originX, int originY)
{
    const int x = SatAdd(originX, GetLeft());
    const int y = SatAdd(originY, GetTop());
    if (!FNonVisual) {
        TRect r = GetRefreshRect(x, y);
        FOwner->DocToClientRect(r);
        FOwner->InvalidateClientRect(r);
    }
    // The children of a scheme that is not shown stay as they are.
    if (InheritsFrom(TDrawCustomScheme::StaticClass()) && this != FOwner->ActiveScheme())
        return;
    // Children share this control's scheme; a child scheme or layer decides for itself.
    for (TDrawControl* child : FChildren) {
        if (child->FUpdateCounter > 0)
            continue;
        if (child->InheritsFrom(TDrawCustomScheme::StaticClass()) || child->InheritsFrom(TDrawLayer::StaticClass()))
            child->Invalidate();
        else
            child->InvalidateTree(x, y);
    }
}

// ---------------------------------------------------------------- painting

void TDrawControl::Paint(TCanvas&, const TRect&) {}

void TDrawControl::PaintAll(TCanvas& canvas, int paintX, int paintY)
{
    if (!GetVisible() || (FLayer && !FLayer->GetVisible()))
        return;
    if (!FAlwaysPaint && FOwner) {
        TRect r = GetRefreshRect(paintX, paintY);
        FOwner->DocToClientRect(r);
        if (r.Left >= FOwner->PaintWidth() || r.Top >= FOwner->PaintHeight() || r.Right < 0 || r.Bottom < 0)
            return;
    }
    if (!FNonVisual) {
        TRect pr = SatBounds(paintX, paintY, GetWidth(), GetHeight());
        if (FOwner)
            FOwner->DocToClientRect(pr);
        Paint(canvas, pr);
    }
    for (TDrawControl* child : FChildren)
        child->PaintAll(canvas, SatAdd(paintX, child->GetLeft()), SatAdd(paintY, child->GetTop()));
}

// ---------------------------------------------------------------- property hooks

bool TDrawControl::IsGeometryProp(const TCustomProp* prop) const
{
    return prop && (prop == FLeftProp || prop == FTopProp || prop == FWidthProp || prop == FHeightProp);
}

void TDrawControl::PropBeforeChanged(TPropList*, TCustomProp* prop)
{
    // Inside an update the link points move once, at its end, from where they were before the
    // first geometry change: later changes of the same update must not move that base.
    if (GetLinkPointsCount() > 0 && IsGeometryProp(prop) && !(FUpdateCounter > 0 && FGeometryChanged))
        FSavedDocRect = GetDocRect();
    else if (prop == FIDProp)
        FOldID = GetID();
    if (!prop->HasStyle(psNonVisual))
        Invalidate();
    if (FOwner)
        FOwner->DoPropBeforeChanged(this, prop);
}

void TDrawControl::PropChanged(TPropList*, TCustomProp* prop)
{
    if ((prop == FWidthProp || prop == FHeightProp) && static_cast<TIntProp*>(prop)->GetValue() <= 0) {
        static_cast<TIntProp*>(prop)->SetValue(1);
    } else if (IsGeometryProp(prop)) {
        if (FParent && FParent->InheritsFrom(TDrawGroup::StaticClass()) && !HasState(csTranslating) &&
            !(FOwner && FOwner->IsLoading()))
            static_cast<TDrawGroup*>(FParent)->RecalcBounds();
        DoNotify(dnGeometry);
    } else if (prop == FNameProp) {
        DoNotify(dnName);
    } else if (prop == FIDProp) {
        if (GetID() != FOldID && FOwner && FOwner->ChangeControlID(this, FOldID))
            DoNotify(dnID);
    } else if (prop == FLayerProp) {
        TDrawLayer* layer = nullptr;
        if (FOwner && FOwner->Layers()) {
            layer = FOwner->Layers()->GetLayerByName(static_cast<TLayerNameProp*>(FLayerProp)->Requested());
            if (!layer && GetParentScheme())
                layer = FOwner->ActiveLayer();
        }
        SetLayer(layer);
    }
    if (!prop->HasStyle(psNonVisual))
        Invalidate();
    if (FOwner)
        FOwner->DoPropChanged(this, prop);
}

void TDrawControl::PropStored(TPropList*, TCustomProp* prop, const QString& propName, bool& isStored)
{
    if (prop == FTagProp)
        isStored = FTagProp->GetValue() != 0;
    else if (prop == FReferenceProp)
        isStored = FReferenceProp->Value() != nullptr;
    else if (prop == FHintProp || prop == FUserDataProp)
        isStored = static_cast<TStrListProp*>(prop)->GetCount() > 0;
    else if (prop == FShowHintProp)
        isStored = !GetShowHint();
    else if (prop && prop->PropType() == ptComplex && !propName.isEmpty())
        isStored = prop->IsStored(propName);
}

void TDrawControl::PropReadOnly(TPropList*, TCustomProp* prop, bool& isReadOnly)
{
    isReadOnly = false;
    if (!FLayer)
        return;
    isReadOnly = FLayer->GetReadOnly();
    if (!isReadOnly && !FLayer->GetMoveable())
        isReadOnly = IsGeometryProp(prop);
}

// ---------------------------------------------------------------- document text

void TDrawControl::SaveToFiler(TDrawFiler& filer, const QByteArray& indent)
{
    filer.SaveStr(indent + QByteArray(kwObject) + ' ' + ToCp1251(GetName()) + ": " + ClassName().toLatin1());
    const QByteArray inner = indent + "  ";
    FProps->SaveToFiler(filer, inner);
    for (TDrawControl* child : FChildren)
        child->SaveToFiler(filer, inner);
    filer.SaveStr(indent + QByteArray(kwEnd));
    filer.SetSaved(filer.Saved() + 1);
}

void TDrawControl::LoadFromFiler(TDrawFiler& filer)
{
    WithinLoading(FOwner, [&] {
        QByteArray line;
        while (filer.LoadStr(line)) {
            if (MatchesKeyword(line, kwEnd))
                break;
            if (MatchesKeyword(line, kwObject)) {
                if (FOwner)
                    FOwner->LoadObject(filer, this, line);
                else
                    filer.LoadSkipToEnd();
            } else if (MatchesKeyword(line, kwLibrary)) {
                filer.LoadSkipToEnd();
            } else {
                FProps->LoadFromFiler(filer, line, FOwner ? &FOwner->PropRefList() : nullptr);
            }
        }
    });
    DoNotify(dnLoaded);
}

// ---------------------------------------------------------------- library routines

int OwnerScale(const TDrawControl* c)
{
    return c->Owner() ? c->Owner()->Scale() : 100;
}

bool CopyControlProps(TDrawControl* source, TDrawControl* dest, TDrawFiler* filer)
{
    std::unique_ptr<TMemoryStream> stream;
    std::unique_ptr<TDrawFiler> own;
    if (!filer) {
        stream = std::make_unique<TMemoryStream>();
        own = std::make_unique<TDrawFiler>(*stream);
        filer = own.get();
    }
    source->SaveToFiler(*filer, QByteArray());
    filer->Rewind();
    QByteArray line;
    filer->LoadStr(line);  // the object line
    dest->LoadFromFiler(*filer);
    if (dest->Owner())
        dest->Owner()->PropRefList().ResolveAll();
    return true;
}

TPoint RotatePoint(const TPoint& p, const TRotationInfo& info)
{
    const double a = -double(info.Angle) * std::numbers::pi / 180.0;
    const double s = std::sin(a);
    const double c = std::cos(a);
    double dx = double(p.x) - info.CenterX;
    const double dy = double(p.y) - info.CenterY;
    if (info.Mirror)
        dx = -dx;
    return TPoint(SatAdd(info.CenterX, RoundHalfEvenInt64(dx * c - dy * s)),
                  SatAdd(info.CenterY, RoundHalfEvenInt64(dx * s + dy * c)));
}

TRect RotateRect(const TRect& r, const TRotationInfo& info)
{
    const TPoint a = RotatePoint(r.TopLeft(), info);
    const TPoint b = RotatePoint(r.BottomRight(), info);
    return NormalizeRect(TRect(a, b));
}

void RotatePoints(TPointArray& points, const TRotationInfo& info)
{
    for (TPoint& p : points)
        p = RotatePoint(p, info);
}
