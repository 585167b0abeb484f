// The property system: every persistent value of a scheme element is a named property object
// in its owner's TPropList, read and written by name as a Variant, and changed through one
// protocol (read-only test, before-change, store, after-change).
#pragma once

#include "platform/variant.h"
#include "scheme/drawutils.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TCanvas;
class TDrawFiler;
class TPropList;
class TPropRefList;

// Style bits of a property.
inline constexpr uint8_t psReadOnly = 1;
inline constexpr uint8_t psVisible = 2;       // shown to a property editor
inline constexpr uint8_t psNotStored = 4;     // never written as a property line
inline constexpr uint8_t psNonVisual = 8;     // a change does not repaint the owner
inline constexpr uint8_t psHasEditor = 32;
inline constexpr uint8_t psThousandths = 64;  // integer shown and typed in thousandths
inline constexpr uint8_t psReference = 128;   // assigned after the whole document is read

// Kinds of value.
inline constexpr uint8_t ptPlain = 0;
inline constexpr uint8_t ptComplex = 1;
inline constexpr uint8_t ptStrings = 2;
inline constexpr uint8_t ptData = 3;

class TCustomProp {
public:
    // Adds itself to owner under name; a refused name leaves Owner() null and the caller owns it.
    TCustomProp(TPropList* owner, const QString& name);
    virtual ~TCustomProp();
    TCustomProp(const TCustomProp&) = delete;
    TCustomProp& operator=(const TCustomProp&) = delete;

    virtual QString ClassName() const { return QStringLiteral("TCustomProp"); }

    TPropList* Owner() const { return FOwner; }
    uint8_t Style() const { return FStyle; }
    void SetStyle(uint8_t style) { FStyle = style; }
    bool HasStyle(uint8_t bit) const { return (FStyle & bit) != 0; }
    uint8_t PropType() const { return FPropType; }
    bool IsEnum() const { return FIsEnum; }
    // The property's name in its owner list; empty without one.
    QString Name() const;
    TNotifyLink* GetNotifyLink();
    TNotifyLink* NotifyLinkIfAny() const { return FNotifyLink.get(); }
    // Expires when the property is destroyed; deferred assignments hold it.
    std::weak_ptr<void> AliveToken() const { return FAlive; }
    // The owner list's read-only answer (style bit 1 always counts).
    bool IsReadOnly() const;

    virtual QString GetDisplayValue() const;
    virtual void SetDisplayValue(const QString& text);
    virtual void DoBeforeChanged();
    virtual void DoChanged();
    virtual void SetPropValue(const QString& propName, const Variant& value);
    virtual Variant GetPropValue(const QString& propName) const;
    virtual uint8_t GetPropType(const QString& propName) const;
    virtual void Setup(TCanvas& canvas, int scale);
    virtual bool Edit();
    virtual void GetEnumList(QStringList& strings) const;
    virtual bool IsStored(const QString& propName) const;
    // Names of the published sub-properties in declaration order, appended to names.
    virtual void GetPublishedNames(QStringList& names) const;
    // A sub-property whose value is a set (written between "[" and "]").
    virtual bool IsSetProp(const QString& propName) const;

protected:
    // The change protocol: equal values and read-only owners change nothing.
    template <typename T, typename Store>
    bool Change(const T& current, const T& value, Store store)
    {
        if (current == value || IsReadOnly())
            return false;
        DoBeforeChanged();
        store();
        DoChanged();
        return true;
    }
    template <typename Store>
    bool ChangeAlways(Store store)
    {
        if (IsReadOnly())
            return false;
        DoBeforeChanged();
        store();
        DoChanged();
        return true;
    }

    uint8_t FPropType = ptPlain;
    bool FIsEnum = false;

private:
    friend class TPropList;
    TPropList* FOwner = nullptr;
    uint8_t FStyle = psVisible;
    std::unique_ptr<TNotifyLink> FNotifyLink;
    std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

// ---------------------------------------------------------------- simple kinds

class TEnumProp : public TCustomProp {
public:
    TEnumProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TEnumProp"); }
    int AddItem(const QString& name);
    int EnumIndex() const { return FEnumIndex; }
    virtual void SetEnumIndex(int index);
    const QStringList& EnumList() const { return FEnumList; }
    // The item at EnumIndex; empty for an index outside the items.
    QString ItemText() const;

    QString GetDisplayValue() const override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;
    void GetEnumList(QStringList& strings) const override;

private:
    int FEnumIndex = 0;
    QStringList FEnumList;
};

class TBoolProp : public TEnumProp {
public:
    TBoolProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TBoolProp"); }
    bool GetValue() const { return EnumIndex() == 1; }
    void SetValue(bool value) { SetEnumIndex(value ? 1 : 0); }
};

class TIntProp : public TCustomProp {
public:
    TIntProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TIntProp"); }
    int GetValue() const;
    void SetValue(int value);
    // Binds an external variable that the property reads and writes (nullptr unbinds).
    void SetValuePtr(int* ptr) { FValuePtr = ptr; }

    QString GetDisplayValue() const override;
    void SetDisplayValue(const QString& text) override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

    std::function<void(TIntProp* sender, int& value)> OnGetValue;

private:
    int FValue = 0;
    int* FValuePtr = nullptr;
};

class TLongWordProp : public TCustomProp {
public:
    TLongWordProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TLongWordProp"); }
    uint32_t GetValue() const { return FValue; }
    void SetValue(uint32_t value);

    QString GetDisplayValue() const override;
    void SetDisplayValue(const QString& text) override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

private:
    uint32_t FValue = 0;
};

class TStrProp : public TCustomProp {
public:
    TStrProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TStrProp"); }
    QString GetValue() const;
    void SetValue(const QString& value);

    QString GetDisplayValue() const override;
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

    std::function<void(TStrProp* sender, QString& value)> OnGetValue;

private:
    QString FValue;
};

class TStrListProp : public TCustomProp {
public:
    TStrListProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TStrListProp"); }
    const QStringList& Strings() const { return FStrings; }
    int GetCount() const { return int(FStrings.size()); }
    // The lines joined by CR LF, without a final line break.
    QString GetText() const;
    // Replaces the lines (split at CR LF, LF or CR); no equality test.
    void SetText(const QString& text);
    void SetLines(const QStringList& lines);

    QString GetDisplayValue() const override { return QStringLiteral("(Text)"); }
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

private:
    QStringList FStrings;
};

class TUserDataProp : public TStrListProp {
public:
    using TStrListProp::TStrListProp;
    QString ClassName() const override { return QStringLiteral("TUserDataProp"); }
};

class TDataProp : public TCustomProp {
public:
    TDataProp(TPropList* owner, const QString& name);
    QString ClassName() const override { return QStringLiteral("TDataProp"); }
    QString GetDisplayValue() const override { return QStringLiteral("(Data)"); }
    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;

    std::function<void(TDataProp* sender, Variant& value)> OnGetData;
    std::function<void(TDataProp* sender, const Variant& value)> OnSetData;
};

// ---------------------------------------------------------------- complex kinds

// A property whose value is a set of published sub-properties, given as a table.
class TComplexProp : public TCustomProp {
public:
    TComplexProp(TPropList* owner, const QString& name);

    void SetPropValue(const QString& propName, const Variant& value) override;
    Variant GetPropValue(const QString& propName) const override;
    uint8_t GetPropType(const QString& propName) const override;
    bool IsStored(const QString& propName) const override;
    void GetPublishedNames(QStringList& names) const override;
    bool IsSetProp(const QString& propName) const override;

protected:
    struct SubProp {
        QString Name;
        uint8_t Kind;  // ptPlain or ptData
        bool IsSet;
        std::function<Variant()> Get;
        std::function<void(const Variant&)> Set;
        std::function<bool()> Stored;
    };
    void AddSub(const QString& name, std::function<Variant()> get, std::function<void(const Variant&)> set,
                std::function<bool()> stored, uint8_t kind = ptPlain, bool isSet = false);
    const SubProp* FindSub(const QString& name) const;

private:
    std::vector<SubProp> FSubs;
    mutable std::size_t FLastSub = 0;
};

// ---------------------------------------------------------------- list

class TPropList {
public:
    explicit TPropList(void* owner = nullptr);
    ~TPropList();
    TPropList(const TPropList&) = delete;
    TPropList& operator=(const TPropList&) = delete;

    void* Owner() const { return FOwner; }
    int Count() const { return int(FProps.size()); }
    TCustomProp* GetProp(int index) const;
    QString GetPropName(int index) const;
    TCustomProp* ByName(const QString& name) const;
    int IndexOf(const TCustomProp* prop) const;
    bool IsValidName(const QString& name) const;
    // Takes ownership on success; -1 for a reserved or taken name or a property already held.
    int Add(TCustomProp* prop, const QString& name);
    void Delete(int index);
    void Clear();

    bool IsReadOnly(const TCustomProp* prop) const;
    bool IsPropStored(TCustomProp* prop, const QString& propName) const;
    void DoPropBeforeChanged(TCustomProp* prop);
    void DoPropChanged(TCustomProp* prop);

    bool AddTranslation(uint32_t oldId, uint32_t newId);
    void BeginResolve(TPropRefList* refList);
    void EndResolve();
    bool IsResolving() const { return FResolveCount > 0; }
    TPropRefList* RefList() const { return FRefList; }

    TNotifyLink* GetNotifyLink();
    TNotifyLink* NotifyLinkIfAny() const { return FNotifyLink.get(); }

    // Document text form (see drawfiler.cpp).
    void SaveToFiler(TDrawFiler& filer, const QByteArray& indent);
    void SaveProperty(TDrawFiler& filer, const QByteArray& indent, bool isSub, const QString& name,
                      TCustomProp* prop);
    void LoadFromFiler(TDrawFiler& filer, const QByteArray& line, TPropRefList* refList);
    void LoadProperty(TDrawFiler& filer, TCustomProp* prop, const QByteArray& line);

    std::function<void(TPropList* sender, TCustomProp* prop)> OnPropChanged;
    std::function<void(TPropList* sender, TCustomProp* prop)> OnPropBeforeChanged;
    std::function<void(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)> OnPropStored;
    std::function<void(TPropList* sender, TCustomProp* prop, bool& isReadOnly)> OnPropReadOnly;

private:
    friend class TCustomProp;
    void Forget(TCustomProp* prop);  // a property destroyed from outside leaves the list

    void* FOwner;
    TPropRefList* FRefList = nullptr;
    std::vector<std::pair<QString, std::unique_ptr<TCustomProp>>> FProps;  // sorted, case-insensitive
    std::unique_ptr<TNotifyLink> FNotifyLink;
    int FResolveCount = 0;
    bool FDestroying = false;
};

// ---------------------------------------------------------------- deferred assignments

class TPropRefList {
public:
    TPropRefList() = default;
    ~TPropRefList();
    TPropRefList(const TPropRefList&) = delete;
    TPropRefList& operator=(const TPropRefList&) = delete;

    void AddRef(const Variant& value, TCustomProp* prop, const QString& propName);
    bool AddTranslation(uint32_t oldId, uint32_t newId);
    uint32_t TranslateID(uint32_t id) const;
    // Assigns one record and drops it; a record whose property is gone is only dropped.
    void ResolveRef(int index);
    void ResolveAll();
    void Clear();
    void DeleteRef(int index);
    int Count() const { return int(FRefs.size()); }

private:
    struct Ref {
        TCustomProp* Prop;
        std::weak_ptr<void> Alive;
        QString PropName;
        Variant Value;
    };
    std::vector<Ref> FRefs;
    std::unique_ptr<TIdPool> FKeptIDs;
    std::unique_ptr<std::vector<uint32_t>> FTranslations;  // old at even, new at odd positions
};

// The six keywords of the document format, never property names.
bool IsReservedWord(const QString& name);
