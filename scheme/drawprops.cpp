#include "scheme/drawprops.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {
const char* const ReservedWords[] = {"document", "clipboard", "library", "object", "property", "end"};

// Runs EndResolve however the assignment ends.
struct ResolveScope {
    ResolveScope(TPropList* l, TPropRefList* r) : list(l)
    {
        if (list)
            list->BeginResolve(r);
    }
    ~ResolveScope()
    {
        if (list)
            list->EndResolve();
    }
    TPropList* list;
};
}  // namespace

bool IsReservedWord(const QString& name)
{
    return std::any_of(std::begin(ReservedWords), std::end(ReservedWords),
                       [&](const char* w) { return name == QLatin1String(w); });
}

// ---------------------------------------------------------------- TCustomProp

TCustomProp::TCustomProp(TPropList* owner, const QString& name)
{
    if (owner)
        owner->Add(this, name);
    FStyle = psVisible;
}

TCustomProp::~TCustomProp()
{
    if (FOwner)
        FOwner->Forget(this);
}

QString TCustomProp::Name() const
{
    if (!FOwner)
        return QString();
    const int i = FOwner->IndexOf(this);
    return i < 0 ? QString() : FOwner->GetPropName(i);
}

TNotifyLink* TCustomProp::GetNotifyLink()
{
    if (!FNotifyLink)
        FNotifyLink = std::make_unique<TNotifyLink>(this);
    return FNotifyLink.get();
}

bool TCustomProp::IsReadOnly() const
{
    if (FStyle & psReadOnly)
        return true;
    return FOwner ? FOwner->IsReadOnly(this) : false;
}

QString TCustomProp::GetDisplayValue() const
{
    return QStringLiteral("(") + ClassName() + QStringLiteral(")");
}

void TCustomProp::SetDisplayValue(const QString& text)
{
    SetPropValue(QString(), Variant(text));
}

void TCustomProp::DoBeforeChanged()
{
    if (FOwner)
        FOwner->DoPropBeforeChanged(this);
    if (FNotifyLink)
        FNotifyLink->PropNotify(this, true);
}

void TCustomProp::DoChanged()
{
    if (FOwner)
        FOwner->DoPropChanged(this);
    if (FNotifyLink)
        FNotifyLink->PropNotify(this, false);
}

void TCustomProp::SetPropValue(const QString&, const Variant&) {}

Variant TCustomProp::GetPropValue(const QString&) const
{
    return Variant();
}

uint8_t TCustomProp::GetPropType(const QString& propName) const
{
    return propName.isEmpty() ? FPropType : ptPlain;
}

void TCustomProp::Setup(TCanvas&, int) {}

bool TCustomProp::Edit()
{
    // no editor form is registered for any kind but the font
    return false;
}

void TCustomProp::GetEnumList(QStringList&) const {}

bool TCustomProp::IsStored(const QString&) const
{
    return true;
}

void TCustomProp::GetPublishedNames(QStringList&) const {}

bool TCustomProp::IsSetProp(const QString&) const
{
    return false;
}

// ---------------------------------------------------------------- TEnumProp

TEnumProp::TEnumProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    FIsEnum = true;
}

int TEnumProp::AddItem(const QString& name)
{
    FEnumList.append(name);
    return int(FEnumList.size()) - 1;
}

void TEnumProp::SetEnumIndex(int index)
{
    Change(FEnumIndex, index, [&] { FEnumIndex = index; });
}

QString TEnumProp::ItemText() const
{
    return FEnumIndex >= 0 && FEnumIndex < FEnumList.size() ? FEnumList[FEnumIndex] : QString();
}

QString TEnumProp::GetDisplayValue() const
{
    return ItemText();
}

void TEnumProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    if (value.Type() == varBoolean && FEnumList.size() == 2) {
        SetEnumIndex(value.AsBoolean() ? 1 : 0);
        return;
    }
    if (value.Type() == varInteger || value.Type() == varInt64) {
        const int64_t i = value.AsInt64();
        if (i >= 0 && i < FEnumList.size())
            SetEnumIndex(int(i));
        return;
    }
    const QString text = VarToStr(value);
    for (int i = 0; i < FEnumList.size(); ++i) {
        if (FEnumList[i].compare(text, Qt::CaseInsensitive) == 0) {
            SetEnumIndex(i);
            return;
        }
    }
}

Variant TEnumProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(ItemText());
}

void TEnumProp::GetEnumList(QStringList& strings) const
{
    strings = FEnumList;
}

TBoolProp::TBoolProp(TPropList* owner, const QString& name) : TEnumProp(owner, name)
{
    AddItem(QStringLiteral("False"));
    AddItem(QStringLiteral("True"));
}

// ---------------------------------------------------------------- TIntProp

TIntProp::TIntProp(TPropList* owner, const QString& name) : TCustomProp(owner, name) {}

int TIntProp::GetValue() const
{
    if (OnGetValue) {
        int v = 0;
        OnGetValue(const_cast<TIntProp*>(this), v);
        return v;
    }
    return FValuePtr ? *FValuePtr : FValue;
}

void TIntProp::SetValue(int value)
{
    const int current = FValuePtr ? *FValuePtr : FValue;
    Change(current, value, [&] {
        if (FValuePtr)
            *FValuePtr = value;
        FValue = value;
    });
}

QString TIntProp::GetDisplayValue() const
{
    if (HasStyle(psThousandths))
        return FormatFloat(QStringLiteral("0.000"), GetValue() / 1000.0);
    return QString::number(GetValue());
}

void TIntProp::SetDisplayValue(const QString& text)
{
    if (HasStyle(psThousandths))
        SetValue(ClampToInt(RoundHalfEvenInt64(StrToFloat(text.trimmed()) * 1000.0)));
    else
        SetValue(StrToInt(text.trimmed()));
}

void TIntProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    SetValue(value.AsInteger());
}

Variant TIntProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(GetValue());
}

// ---------------------------------------------------------------- TLongWordProp

TLongWordProp::TLongWordProp(TPropList* owner, const QString& name) : TCustomProp(owner, name) {}

void TLongWordProp::SetValue(uint32_t value)
{
    Change(FValue, value, [&] { FValue = value; });
}

QString TLongWordProp::GetDisplayValue() const
{
    if (HasStyle(psThousandths))
        return FormatFloat(QStringLiteral("0.000"), FValue / 1000.0);
    return QString::number(FValue);
}

void TLongWordProp::SetDisplayValue(const QString& text)
{
    if (HasStyle(psThousandths)) {
        const int64_t v = RoundHalfEvenInt64(StrToFloat(text.trimmed()) * 1000.0);
        SetValue(uint32_t(std::clamp<int64_t>(v, 0, UINT32_MAX)));
    } else {
        const int64_t v = StrToInt64(text.trimmed());
        SetValue(uint32_t(v));
    }
}

void TLongWordProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    // the bits of the integer: -1 and 4294967295 are the same value
    SetValue(uint32_t(value.AsInt64()));
}

Variant TLongWordProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(int32_t(FValue));
}

// ---------------------------------------------------------------- TStrProp

TStrProp::TStrProp(TPropList* owner, const QString& name) : TCustomProp(owner, name) {}

QString TStrProp::GetValue() const
{
    if (OnGetValue) {
        QString v;
        OnGetValue(const_cast<TStrProp*>(this), v);
        return v;
    }
    return FValue;
}

void TStrProp::SetValue(const QString& value)
{
    Change(FValue, value, [&] { FValue = value; });
}

QString TStrProp::GetDisplayValue() const
{
    return GetValue();
}

void TStrProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    SetValue(VarToStr(value));
}

Variant TStrProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    return Variant(GetValue());
}

// ---------------------------------------------------------------- TStrListProp

TStrListProp::TStrListProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    FPropType = ptStrings;
}

QString TStrListProp::GetText() const
{
    return FStrings.join(QStringLiteral("\r\n"));
}

void TStrListProp::SetText(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    QStringList lines;
    if (!t.isEmpty()) {
        lines = t.split(QChar('\n'));
        if (t.endsWith(QChar('\n')))
            lines.removeLast();
    }
    SetLines(lines);
}

void TStrListProp::SetLines(const QStringList& lines)
{
    ChangeAlways([&] { FStrings = lines; });
}

void TStrListProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    if (value.IsClear()) {
        SetText(QString());
    } else if (value.Type() == varArray) {
        QStringList lines;
        for (const Variant& item : value.Items())
            lines.append(VarToStr(item));
        SetLines(lines);
    }
}

Variant TStrListProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    if (FStrings.isEmpty())
        return Variant();
    std::vector<Variant> items;
    items.reserve(std::size_t(FStrings.size()));
    for (const QString& s : FStrings)
        items.emplace_back(s);
    return Variant(std::move(items));
}

// ---------------------------------------------------------------- TDataProp

TDataProp::TDataProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    FPropType = ptData;
    SetStyle(Style() & ~psVisible);
}

void TDataProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (!propName.isEmpty())
        return TCustomProp::SetPropValue(propName, value);
    if (OnSetData)
        OnSetData(this, value);
}

Variant TDataProp::GetPropValue(const QString& propName) const
{
    if (!propName.isEmpty())
        return TCustomProp::GetPropValue(propName);
    Variant v;
    if (OnGetData)
        OnGetData(const_cast<TDataProp*>(this), v);
    return v;
}

// ---------------------------------------------------------------- TComplexProp

TComplexProp::TComplexProp(TPropList* owner, const QString& name) : TCustomProp(owner, name)
{
    FPropType = ptComplex;
}

void TComplexProp::AddSub(const QString& name, std::function<Variant()> get, std::function<void(const Variant&)> set,
                          std::function<bool()> stored, uint8_t kind, bool isSet)
{
    FSubs.push_back(SubProp{name, kind, isSet, std::move(get), std::move(set), std::move(stored)});
}

const TComplexProp::SubProp* TComplexProp::FindSub(const QString& name) const
{
    // The writer asks about one name several times in a row: try the last one first.
    if (FLastSub < FSubs.size() && FSubs[FLastSub].Name == name)
        return &FSubs[FLastSub];
    for (std::size_t i = 0; i < FSubs.size(); ++i) {
        if (FSubs[i].Name.compare(name, Qt::CaseInsensitive) == 0) {
            FLastSub = i;
            return &FSubs[i];
        }
    }
    return nullptr;
}

void TComplexProp::SetPropValue(const QString& propName, const Variant& value)
{
    if (const SubProp* s = FindSub(propName))
        s->Set(value);
}

Variant TComplexProp::GetPropValue(const QString& propName) const
{
    if (const SubProp* s = FindSub(propName))
        return s->Get();
    return Variant();
}

uint8_t TComplexProp::GetPropType(const QString& propName) const
{
    if (propName.isEmpty())
        return ptComplex;
    const SubProp* s = FindSub(propName);
    return s ? s->Kind : ptPlain;
}

bool TComplexProp::IsStored(const QString& propName) const
{
    const SubProp* s = FindSub(propName);
    return s && s->Stored();
}

void TComplexProp::GetPublishedNames(QStringList& names) const
{
    for (const SubProp& s : FSubs)
        names.append(s.Name);
}

bool TComplexProp::IsSetProp(const QString& propName) const
{
    const SubProp* s = FindSub(propName);
    return s && s->IsSet;
}

// ---------------------------------------------------------------- TPropList

TPropList::TPropList(void* owner) : FOwner(owner) {}

TPropList::~TPropList()
{
    FDestroying = true;
    if (FNotifyLink)
        FNotifyLink->DestroyNotify();
    Clear();
    FNotifyLink.reset();
}

TCustomProp* TPropList::GetProp(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FProps[std::size_t(index)].second.get();
}

QString TPropList::GetPropName(int index) const
{
    if (index < 0 || index >= Count())
        return QString();
    return FProps[std::size_t(index)].first;
}

TCustomProp* TPropList::ByName(const QString& name) const
{
    auto it = std::lower_bound(FProps.begin(), FProps.end(), name, [](const auto& entry, const QString& n) {
        return entry.first.compare(n, Qt::CaseInsensitive) < 0;
    });
    if (it != FProps.end() && it->first.compare(name, Qt::CaseInsensitive) == 0)
        return it->second.get();
    return nullptr;
}

int TPropList::IndexOf(const TCustomProp* prop) const
{
    for (std::size_t i = 0; i < FProps.size(); ++i)
        if (FProps[i].second.get() == prop)
            return int(i);
    return -1;
}

bool TPropList::IsValidName(const QString& name) const
{
    return !IsReservedWord(name) && !ByName(name);
}

int TPropList::Add(TCustomProp* prop, const QString& name)
{
    if (!prop || FDestroying || !IsValidName(name) || prop->FOwner || IndexOf(prop) >= 0)
        return -1;
    auto it = std::lower_bound(FProps.begin(), FProps.end(), name, [](const auto& entry, const QString& n) {
        return entry.first.compare(n, Qt::CaseInsensitive) < 0;
    });
    it = FProps.emplace(it, name, std::unique_ptr<TCustomProp>(prop));
    prop->FOwner = this;
    return int(it - FProps.begin());
}

void TPropList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    std::unique_ptr<TCustomProp> prop = std::move(FProps[std::size_t(index)].second);
    FProps.erase(FProps.begin() + index);
    prop->FOwner = nullptr;
    prop.reset();
}

void TPropList::Forget(TCustomProp* prop)
{
    const int i = IndexOf(prop);
    if (i < 0)
        return;
    (void)FProps[std::size_t(i)].second.release();
    FProps.erase(FProps.begin() + i);
}

void TPropList::Clear()
{
    for (int i = Count() - 1; i >= 0; --i)
        Delete(std::min(i, Count() - 1));
}

bool TPropList::IsReadOnly(const TCustomProp* prop) const
{
    if (!prop)
        return false;
    if (prop->Style() & psReadOnly)
        return true;
    bool readOnly = false;
    if (OnPropReadOnly)
        OnPropReadOnly(const_cast<TPropList*>(this), const_cast<TCustomProp*>(prop), readOnly);
    return readOnly;
}

bool TPropList::IsPropStored(TCustomProp* prop, const QString& propName) const
{
    bool stored = true;
    if (OnPropStored)
        OnPropStored(const_cast<TPropList*>(this), prop, propName, stored);
    return stored;
}

void TPropList::DoPropBeforeChanged(TCustomProp* prop)
{
    if (OnPropBeforeChanged)
        OnPropBeforeChanged(this, prop);
    if (FNotifyLink)
        FNotifyLink->PropNotify(prop, true);
}

void TPropList::DoPropChanged(TCustomProp* prop)
{
    if (OnPropChanged)
        OnPropChanged(this, prop);
    if (FNotifyLink)
        FNotifyLink->PropNotify(prop, false);
}

bool TPropList::AddTranslation(uint32_t oldId, uint32_t newId)
{
    return FRefList ? FRefList->AddTranslation(oldId, newId) : false;
}

void TPropList::BeginResolve(TPropRefList* refList)
{
    ++FResolveCount;
    FRefList = refList;
}

void TPropList::EndResolve()
{
    if (FResolveCount > 0 && --FResolveCount == 0)
        FRefList = nullptr;
}

TNotifyLink* TPropList::GetNotifyLink()
{
    if (!FNotifyLink && !FDestroying)
        FNotifyLink = std::make_unique<TNotifyLink>(this);
    return FNotifyLink.get();
}

// ---------------------------------------------------------------- TPropRefList

TPropRefList::~TPropRefList()
{
    Clear();
}

void TPropRefList::AddRef(const Variant& value, TCustomProp* prop, const QString& propName)
{
    if (!prop)
        return;
    FRefs.push_back(Ref{prop, prop->AliveToken(), propName.left(255), value});
}

bool TPropRefList::AddTranslation(uint32_t oldId, uint32_t newId)
{
    if (oldId == 0 || newId == 0)
        return false;
    if (oldId == newId) {
        if (!FKeptIDs)
            FKeptIDs = std::make_unique<TIdPool>();
        FKeptIDs->Use(oldId);
        return true;
    }
    if (!FTranslations)
        FTranslations = std::make_unique<std::vector<uint32_t>>();
    for (std::size_t i = 0; i < FTranslations->size(); i += 2)
        if ((*FTranslations)[i] == oldId)
            return false;
    FTranslations->push_back(oldId);
    FTranslations->push_back(newId);
    return true;
}

uint32_t TPropRefList::TranslateID(uint32_t id) const
{
    if (FKeptIDs && FKeptIDs->Used(id))
        return id;
    if (FTranslations)
        for (std::size_t i = 0; i + 1 < FTranslations->size(); i += 2)
            if ((*FTranslations)[i] == id)
                return (*FTranslations)[i + 1];
    return 0;
}

void TPropRefList::ResolveRef(int index)
{
    if (index < 0 || index >= Count())
        return;
    Ref ref = std::move(FRefs[std::size_t(index)]);
    FRefs.erase(FRefs.begin() + index);
    // a control freed while loading took its properties with it: drop the record
    if (ref.Alive.expired())
        return;
    ResolveScope scope(ref.Prop->Owner(), this);
    ref.Prop->SetPropValue(ref.PropName, ref.Value);
}

void TPropRefList::ResolveAll()
{
    // A value that cannot be assigned does not keep the others from theirs, nor stay queued
    // for the next read; the first failure is reported once the list is empty.
    std::exception_ptr failure;
    while (!FRefs.empty()) {
        try {
            ResolveRef(Count() - 1);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    FKeptIDs.reset();
    FTranslations.reset();
    if (failure)
        std::rethrow_exception(failure);
}

void TPropRefList::Clear()
{
    FRefs.clear();
    FKeptIDs.reset();
    FTranslations.reset();
}

void TPropRefList::DeleteRef(int index)
{
    if (index >= 0 && index < Count())
        FRefs.erase(FRefs.begin() + index);
}
