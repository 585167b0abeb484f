// Properties that refer to other things of the same document: a control's Reference to a
// scheme, a link to another control (and one of its properties) kept as a link-path text, and
// a link that also anchors a point to the linked control (a connector end).
#pragma once

#include "scheme/drawcontrols.h"

#include <functional>

class TDrawSchemes;

class TSchemeRefProp : public TCustomProp {
public:
    TSchemeRefProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TSchemeRefProp"); }

    TDrawCustomScheme* Value() const;
    void SetValue(TDrawCustomScheme* scheme);
    // The container of the schemes this property may name; nullptr outside a scheme.
    virtual TDrawSchemes* GetSchemes() const;

    QString GetDisplayValue() const override;
    void SetDisplayValue(const QString& text) override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;
    void GetEnumList(QStringList& strings) const override;

private:
    void Follow(TDrawCustomScheme* scheme);
    TDrawCustomScheme* FValue = nullptr;
    std::unique_ptr<TNotifyLink> FLink;  // learns when the scheme goes away
};

class TLinkProp : public TCustomProp {
public:
    TLinkProp(TPropList* owner, const QString& name);
    ~TLinkProp() override;
    QString ClassName() const override { return QStringLiteral("TLinkProp"); }

    TDrawControl* LinkedControl() const { return FLinkedControl; }
    TCustomProp* LinkedProp() const { return FLinkedProp; }
    bool IsLinked() const { return FLinkedControl != nullptr; }

    QString GetText();
    void SetText(const QString& text);
    void SetControl(TDrawControl* control);

    virtual bool SetLink(TDrawControl* control, TCustomProp* prop);
    virtual void LinkNotify(const TNotifyInfo& info);
    virtual void LinkDestroyNotify();

    QString GetDisplayValue() const override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

    std::function<void(TLinkProp* sender, const TNotifyInfo& info)> OnLinkNotify;
    std::function<void(TLinkProp* sender)> OnLinkDestroy;

protected:
    QString FPath;
    bool FPathDirty = false;
    TDrawControl* FLinkedControl = nullptr;
    TCustomProp* FLinkedProp = nullptr;
    std::unique_ptr<TNotifyLink> FLink;  // subscriber side
};

class TLinkPointProp : public TLinkProp {
public:
    // Raises "Can't create link prop" when the list does not belong to a control.
    TLinkPointProp(TPropList* owner, const QString& name);
    ~TLinkPointProp() override;
    QString ClassName() const override { return QStringLiteral("TLinkPointProp"); }

    TDrawControl* OwnerControl() const { return FOwnerControl; }
    TPoint LinkPoint() const { return FLinkPoint; }
    void SetLinkPoint(const TPoint& p);

    bool SetLink(TDrawControl* control, TCustomProp* prop) override;
    void LinkNotify(const TNotifyInfo& info) override;

private:
    TDrawControl* FOwnerControl = nullptr;
    TPoint FLinkPoint;
    TPoint FLastPoint;
    TRect FLinkedRect;
};
