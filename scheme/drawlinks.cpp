#include "scheme/drawlinks.h"

#include "scheme/drawbase.h"

// ---------------------------------------------------------------- scheme reference

TSchemeRefProp::TSchemeRefProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    FIsEnum = true;  // offers a list of values
    FLink = std::make_unique<TNotifyLink>(this);
    // a scheme freed anywhere must not leave a dangling reference behind
    FLink->OnFreeNotify = [this](TNotifyLink*, TNotifyLink* source, const TNotifyInfo&) {
        if (!source || !FValue)
            return;
        DoBeforeChanged();
        FValue = nullptr;
        DoChanged();
    };
}

TDrawCustomScheme* TSchemeRefProp::Value() const
{
    return FValue;
}

void TSchemeRefProp::Follow(TDrawCustomScheme* scheme)
{
    if (FValue && TDrawControl::IsAlive(FValue))
        if (TNotifyLink* link = FValue->GetNotifyLink())
            link->Unsubscribe(FLink.get());
    if (scheme)
        if (TNotifyLink* link = scheme->GetNotifyLink())
            link->Subscribe(FLink.get());
}

void TSchemeRefProp::SetValue(TDrawCustomScheme* scheme)
{
    if (scheme == FValue || IsReadOnly())
        return;
    DoBeforeChanged();
    Follow(scheme);
    FValue = scheme;
    DoChanged();
}

TDrawSchemes* TSchemeRefProp::GetSchemes() const
{
    TDrawControl* control = TDrawControl::FromPropList(Owner());
    TDrawCustomScheme* scheme = control ? control->GetParentScheme() : nullptr;
    TDrawControl* container = scheme ? scheme->Parent() : nullptr;
    if (container && container->InheritsFrom(TDrawSchemes::StaticClass()))
        return static_cast<TDrawSchemes*>(container);
    return nullptr;
}

QString TSchemeRefProp::GetDisplayValue() const
{
    return FValue ? FValue->GetName() : QString();
}

void TSchemeRefProp::SetDisplayValue(const QString& text)
{
    TDrawSchemes* schemes = GetSchemes();
    if (!schemes)
        return;
    if (text.isEmpty()) {
        SetValue(nullptr);
        return;
    }
    for (int i = 0; i < schemes->GetCount(); ++i)
        if (schemes->GetControl(i)->GetName() == text) {
            SetValue(schemes->GetScheme(i));
            return;
        }
}

void TSchemeRefProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    SetDisplayValue(VarToStr(value));
}

Variant TSchemeRefProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(GetDisplayValue());
}

void TSchemeRefProp::GetEnumList(QStringList& strings) const
{
    if (TDrawSchemes* schemes = GetSchemes())
        for (int i = 0; i < schemes->GetCount(); ++i)
            strings.append(schemes->GetControl(i)->GetName());
}

// ---------------------------------------------------------------- link

TLinkProp::TLinkProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    SetStyle(Style() | psReference);
    FLink = std::make_unique<TNotifyLink>(this);
    FLink->OnNotify = [this](TNotifyLink*, TNotifyLink*, const TNotifyInfo& info) { LinkNotify(info); };
    FLink->OnFreeNotify = [this](TNotifyLink*, TNotifyLink* source, const TNotifyInfo&) {
        if (source)
            LinkDestroyNotify();
    };
}

TLinkProp::~TLinkProp()
{
    // the link's own destruction takes it out of the target's subscribers; nothing may call
    // back into this half-destroyed object meanwhile
    FLink->OnNotify = nullptr;
    FLink->OnFreeNotify = nullptr;
}

QString TLinkProp::GetText()
{
    if (FPathDirty) {
        FPath = LinkPathOf(FLinkedControl, FLinkedProp);
        FPathDirty = false;
    }
    return FPath;
}

bool TLinkProp::SetLink(TDrawControl* control, TCustomProp* prop)
{
    if (FLinkedProp) {
        if (TNotifyLink* link = FLinkedProp->NotifyLinkIfAny())
            link->Unsubscribe(FLink.get());
    } else if (FLinkedControl && TDrawControl::IsAlive(FLinkedControl)) {
        if (TNotifyLink* link = FLinkedControl->GetNotifyLink())
            link->Unsubscribe(FLink.get());
    }
    FLinkedControl = control;
    FLinkedProp = prop;
    if (prop)
        prop->GetNotifyLink()->Subscribe(FLink.get());
    else if (control)
        if (TNotifyLink* link = control->GetNotifyLink())
            link->Subscribe(FLink.get());
    return true;
}

void TLinkProp::SetControl(TDrawControl* control)
{
    if (control == FLinkedControl || IsReadOnly())
        return;
    DoBeforeChanged();
    SetLink(control, nullptr);
    FPathDirty = true;
    DoChanged();
}

void TLinkProp::SetText(const QString& text)
{
    TDrawControl* ownerControl = TDrawControl::FromPropList(Owner());
    TDrawOwner* panel = ownerControl ? ownerControl->Owner() : nullptr;
    TTranslateIDFunc translate;
    if (panel && panel->IsPasting())
        translate = [panel](uint32_t id) { return panel->PropRefList().TranslateID(id); };
    TDrawControl* control = nullptr;
    TCustomProp* prop = nullptr;
    if (!ParseLinkPath(text, panel, control, translate, prop))
        return;
    if ((control == FLinkedControl && prop == FLinkedProp) || IsReadOnly())
        return;
    DoBeforeChanged();
    if (SetLink(control, prop)) {
        FPath = text;
        FPathDirty = true;
    }
    DoChanged();
}

void TLinkProp::LinkNotify(const TNotifyInfo& info)
{
    if (info.Kind == TNotifyKind::Control && info.Code == dnID)
        FPathDirty = true;
    if (OnLinkNotify)
        OnLinkNotify(this, info);
}

void TLinkProp::LinkDestroyNotify()
{
    if (FLinkedControl || FLinkedProp) {
        DoBeforeChanged();
        FLinkedControl = nullptr;
        FLinkedProp = nullptr;
        FPathDirty = true;
        DoChanged();
    }
    if (OnLinkDestroy)
        OnLinkDestroy(this);
}

QString TLinkProp::GetDisplayValue() const
{
    return const_cast<TLinkProp*>(this)->GetText();
}

void TLinkProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    SetText(VarToStr(value));
}

Variant TLinkProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(GetDisplayValue());
}

// ---------------------------------------------------------------- link point

TLinkPointProp::TLinkPointProp(TPropList* owner, const QString& name) : TLinkProp(owner, name)
{
    FOwnerControl = TDrawControl::FromPropList(owner);
    if (!FOwnerControl)
        throw Exception(QStringLiteral("Can't create link prop"));
}

TLinkPointProp::~TLinkPointProp()
{
    OnLinkNotify = nullptr;
    FLink->OnNotify = nullptr;
    if (FLinkedControl && TDrawControl::IsAlive(FLinkedControl)) {
        if (TNotifyLink* link = FLinkedControl->GetNotifyLink())
            link->Unsubscribe(FLink.get());
        FLinkedControl->RemoveLinkPoint(&FLinkPoint);
    }
}

bool TLinkPointProp::SetLink(TDrawControl* control, TCustomProp*)
{
    if (control == FLinkedControl || (control && control == FOwnerControl))
        return false;
    if (FLinkedControl && TDrawControl::IsAlive(FLinkedControl))
        FLinkedControl->RemoveLinkPoint(&FLinkPoint);
    TLinkProp::SetLink(control, nullptr);
    if (control) {
        control->AddLinkPoint(&FLinkPoint);
        FLinkedRect = control->GetDocRect();
    }
    return true;
}

void TLinkPointProp::LinkNotify(const TNotifyInfo& info)
{
    if (info.Kind == TNotifyKind::Control && info.Code == dnLinkPoints) {
        if (FLinkPoint == FLastPoint)
            return;
        FLastPoint = FLinkPoint;
    }
    TLinkProp::LinkNotify(info);
}

void TLinkPointProp::SetLinkPoint(const TPoint& p)
{
    if (p == FLinkPoint || IsReadOnly())
        return;
    DoBeforeChanged();
    FLinkPoint = p;
    if (FLinkedControl) {
        FLinkedControl->DoNotify(dnLinkPoints);
    } else {
        TNotifyInfo info;
        info.Kind = TNotifyKind::Control;
        info.Control = FOwnerControl;
        info.Code = dnLinkPoints;
        LinkNotify(info);
    }
    DoChanged();
}
