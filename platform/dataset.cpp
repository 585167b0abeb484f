#include "platform/dataset.h"

#include "platform/datasource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QStringList SplitNames(const QString& names)
{
    QStringList result;
    for (const QString& part : names.split(';')) {
        const QString t = part.trimmed();
        if (!t.isEmpty())
            result << t;
    }
    return result;
}

bool IsStringType(TFieldType t)
{
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftMemo || t == ftFmtMemo ||
           t == ftGuid || t == ftOraClob;
}

bool IsIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}

bool IsDateType(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime;
}

bool IsBinaryType(TFieldType t)
{
    return t == ftBytes || t == ftVarBytes || t == ftBlob || t == ftGraphic || t == ftParadoxOle ||
           t == ftDBaseOle || t == ftTypedBinary || t == ftOraBlob;
}

// Runs the dataset's fields against one record in a temporary state; restores on any exit.
class TempState {
public:
    TempState(TDataSetState& state, TRecordData*& over, TDataSetState temp, TRecordData* rec)
        : state_(state), over_(over), savedState_(state), savedOver_(over)
    {
        state_ = temp;
        over_ = rec;
    }
    ~TempState()
    {
        state_ = savedState_;
        over_ = savedOver_;
    }
    TempState(const TempState&) = delete;
    TempState& operator=(const TempState&) = delete;

private:
    TDataSetState& state_;
    TRecordData*& over_;
    TDataSetState savedState_;
    TRecordData* savedOver_;
};

}  // namespace

// ================================================================================================
// TRecordValues: [count: 4 bytes][one tag per value][the values' bytes, in order]

namespace {

enum : std::uint8_t {
    tagEmpty, tagNull, tagFalse, tagTrue, tagInt32, tagInt64, tagDouble, tagDate, tagCurrency,
    tagString, tagBytes, tagOther
};
constexpr std::size_t kCountBytes = sizeof(std::uint32_t);

std::uint32_t ReadU32(const std::uint8_t* p)
{
    std::uint32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::size_t PayloadSize(std::uint8_t tag, const std::uint8_t* p)
{
    switch (tag) {
    case tagInt32:
        return 4;
    case tagInt64:
    case tagDouble:
    case tagDate:
    case tagCurrency:
        return 8;
    case tagString:
        return 4 + 2 * std::size_t(ReadU32(p));
    case tagBytes:
        return 4 + std::size_t(ReadU32(p));
    case tagOther:
        return sizeof(Variant*);
    default:
        return 0;
    }
}

std::uint8_t TagOf(const Variant& v)
{
    switch (v.Type()) {
    case varEmpty: return tagEmpty;
    case varNull: return tagNull;
    case varBoolean: return v.AsBoolean() ? tagTrue : tagFalse;
    case varInteger: return tagInt32;
    case varInt64: return tagInt64;
    case varDouble: return tagDouble;
    case varDate: return tagDate;
    case varCurrency: return tagCurrency;
    case varString: return tagString;
    case varBytes: return tagBytes;
    default: return tagOther;
    }
}

std::size_t EncodedSize(const Variant& v, std::uint8_t tag)
{
    switch (tag) {
    case tagString:
        return 4 + 2 * std::size_t(v.AsString().size());
    case tagBytes:
        return 4 + std::size_t(v.AsBytes().size());
    default:
        return PayloadSize(tag, nullptr);
    }
}

void Encode(const Variant& v, std::uint8_t tag, std::uint8_t* out)
{
    switch (tag) {
    case tagInt32: {
        const std::int32_t i = v.AsInteger();
        std::memcpy(out, &i, 4);
        break;
    }
    case tagInt64:
    case tagCurrency: {
        const std::int64_t i = tag == tagInt64 ? v.AsInt64() : v.AsCurrency().Value;
        std::memcpy(out, &i, 8);
        break;
    }
    case tagDouble:
    case tagDate: {
        const double d = tag == tagDouble ? v.AsDouble() : v.AsDateTime();
        std::memcpy(out, &d, 8);
        break;
    }
    case tagString: {
        const QString s = v.AsString();
        const std::uint32_t n = std::uint32_t(s.size());
        std::memcpy(out, &n, 4);
        std::memcpy(out + 4, s.utf16(), 2 * std::size_t(n));
        break;
    }
    case tagBytes: {
        const QByteArray b = v.AsBytes();
        const std::uint32_t n = std::uint32_t(b.size());
        std::memcpy(out, &n, 4);
        std::memcpy(out + 4, b.constData(), n);
        break;
    }
    case tagOther: {
        Variant* owned = new Variant(v);
        std::memcpy(out, &owned, sizeof owned);
        break;
    }
    default:
        break;
    }
}

Variant Decode(std::uint8_t tag, const std::uint8_t* p)
{
    switch (tag) {
    case tagNull:
        return Variant::Null();
    case tagFalse:
        return Variant(false);
    case tagTrue:
        return Variant(true);
    case tagInt32: {
        std::int32_t i = 0;
        std::memcpy(&i, p, 4);
        return Variant(i);
    }
    case tagInt64:
    case tagCurrency: {
        std::int64_t i = 0;
        std::memcpy(&i, p, 8);
        return tag == tagInt64 ? Variant::FromInt64(i) : Variant(Currency::FromRaw(i));
    }
    case tagDouble:
    case tagDate: {
        double d = 0;
        std::memcpy(&d, p, 8);
        return tag == tagDouble ? Variant(d) : Variant::FromDateTime(d);
    }
    case tagString: {
        const std::uint32_t n = ReadU32(p);
        QString s(qsizetype(n), Qt::Uninitialized);
        std::memcpy(s.data(), p + 4, 2 * std::size_t(n));
        return Variant(s);
    }
    case tagBytes: {
        const std::uint32_t n = ReadU32(p);
        return Variant(QByteArray(reinterpret_cast<const char*>(p + 4), qsizetype(n)));
    }
    case tagOther: {
        const Variant* owned = nullptr;
        std::memcpy(&owned, p, sizeof owned);
        return *owned;
    }
    default:
        return Variant();
    }
}

}  // namespace

TRecordValues::TRecordValues(const TRecordValues& other)
{
    if (!other.data_)
        return;
    const std::size_t bytes = other.ByteSize();
    data_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    std::memcpy(data_.get(), other.data_.get(), bytes);
    CloneOwned();
}

TRecordValues& TRecordValues::operator=(const TRecordValues& other)
{
    if (this != &other) {
        TRecordValues copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TRecordValues& TRecordValues::operator=(TRecordValues&& other) noexcept
{
    if (this != &other) {
        FreeOwned();
        data_ = std::move(other.data_);
    }
    return *this;
}

TRecordValues::~TRecordValues()
{
    FreeOwned();
}

std::size_t TRecordValues::size() const
{
    return data_ ? ReadU32(data_.get()) : 0;
}

std::size_t TRecordValues::Offset(std::size_t i) const
{
    const std::size_t n = size();
    const std::uint8_t* tags = data_.get() + kCountBytes;
    std::size_t at = kCountBytes + n;
    for (std::size_t k = 0; k < i; ++k)
        at += PayloadSize(tags[k], data_.get() + at);
    return at;
}

std::size_t TRecordValues::ByteSize() const
{
    return data_ ? Offset(size()) : 0;
}

template <class F>
void TRecordValues::ForEachOwned(F&& f)
{
    const std::size_t n = size();
    const std::uint8_t* tags = data_.get() + kCountBytes;
    std::size_t at = kCountBytes + n;
    for (std::size_t k = 0; k < n; ++k) {
        if (tags[k] == tagOther) {
            Variant* owned = nullptr;
            std::memcpy(&owned, data_.get() + at, sizeof owned);
            f(owned);
            std::memcpy(data_.get() + at, &owned, sizeof owned);
        }
        at += PayloadSize(tags[k], data_.get() + at);
    }
}

void TRecordValues::FreeOwned()
{
    if (!data_)
        return;
    ForEachOwned([](Variant*& owned) { delete owned; });
    data_.reset();
}

void TRecordValues::CloneOwned()
{
    ForEachOwned([](Variant*& owned) { owned = new Variant(*owned); });
}

void TRecordValues::Assign(const Variant* values, std::size_t n)
{
    FreeOwned();
    std::size_t bytes = kCountBytes + n;
    for (std::size_t i = 0; i < n; ++i)
        bytes += EncodedSize(values[i], TagOf(values[i]));
    auto fresh = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    const std::uint32_t count = std::uint32_t(n);
    std::memcpy(fresh.get(), &count, kCountBytes);
    std::size_t at = kCountBytes + n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t tag = TagOf(values[i]);
        fresh[kCountBytes + i] = tag;
        Encode(values[i], tag, fresh.get() + at);
        at += PayloadSize(tag, fresh.get() + at);
    }
    data_ = std::move(fresh);
}

void TRecordValues::resize(std::size_t n)
{
    const std::size_t old = size();
    if (n == old)
        return;
    // Values past n go first, so that what they own is freed.
    for (std::size_t i = n; i < old; ++i)
        Set(i, Variant());
    const std::size_t keep = std::min(n, old);
    const std::size_t payloadFrom = kCountBytes + old;
    const std::size_t payloadBytes = data_ ? ByteSize() - payloadFrom : 0;
    const std::size_t bytes = kCountBytes + n + payloadBytes;
    auto fresh = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    const std::uint32_t count = std::uint32_t(n);
    std::memcpy(fresh.get(), &count, kCountBytes);
    if (keep)
        std::memcpy(fresh.get() + kCountBytes, data_.get() + kCountBytes, keep);
    std::memset(fresh.get() + kCountBytes + keep, tagEmpty, n - keep);
    if (payloadBytes)
        std::memcpy(fresh.get() + kCountBytes + n, data_.get() + payloadFrom, payloadBytes);
    data_ = std::move(fresh);   // nothing owned is lost: only Empty values were dropped
}

Variant TRecordValues::operator[](std::size_t i) const
{
    if (i >= size())
        return Variant();
    const std::size_t at = Offset(i);
    return Decode(data_[kCountBytes + i], data_.get() + at);
}

bool TRecordValues::IsClear(std::size_t i) const
{
    if (i >= size())
        return true;
    const std::uint8_t tag = data_[kCountBytes + i];
    return tag == tagEmpty || tag == tagNull;
}

void TRecordValues::Set(std::size_t i, const Variant& v)
{
    if (i >= size())
        throw EDatabaseError(QString("List index out of bounds (%1)").arg(i));
    const std::uint8_t tag = TagOf(v);
    const std::size_t total = ByteSize();
    const std::size_t at = Offset(i);
    std::uint8_t& oldTag = data_[kCountBytes + i];
    const std::size_t oldSize = PayloadSize(oldTag, data_.get() + at);
    const std::size_t newSize = EncodedSize(v, tag);
    if (oldTag == tagOther) {
        const Variant* owned = nullptr;
        std::memcpy(&owned, data_.get() + at, sizeof owned);
        delete owned;
        oldTag = tagEmpty;
    }
    if (newSize == oldSize) {
        Encode(v, tag, data_.get() + at);
        data_[kCountBytes + i] = tag;
        return;
    }
    const std::size_t bytes = total - oldSize + newSize;
    auto fresh = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    std::memcpy(fresh.get(), data_.get(), at);
    std::memcpy(fresh.get() + at + newSize, data_.get() + at + oldSize, total - at - oldSize);
    Encode(v, tag, fresh.get() + at);
    fresh[kCountBytes + i] = tag;
    data_ = std::move(fresh);   // raw bytes: what other values own moved over with them
}

// ================================================================================================
// TField

TField::TField(TFieldType type, const QString& name, int size, TFieldKind kind)
    : type_(type), name_(name), size_(size), kind_(kind)
{
    if (IsNumeric())
        alignment_ = taRightJustify;
    if (type == ftCurrency)
        currency_ = true;
}

TField::~TField() = default;

bool TField::IsNumeric() const
{
    return IsIntegerType(type_) || type_ == ftLargeint || type_ == ftFloat || type_ == ftCurrency ||
           type_ == ftBCD;
}

bool TField::IsBlob() const
{
    return type_ == ftBlob || type_ == ftMemo || type_ == ftGraphic || type_ == ftFmtMemo ||
           type_ == ftParadoxOle || type_ == ftDBaseOle || type_ == ftTypedBinary ||
           type_ == ftOraBlob || type_ == ftOraClob;
}

Variant TField::Value() const
{
    if (!dataSet_)
        return Variant::Null();
    Variant v = dataSet_->ReadSlot(index_);
    return v.IsEmpty() ? Variant::Null() : v;
}

bool TField::IsNull() const
{
    return !dataSet_ || dataSet_->SlotIsClear(index_);
}

void TField::SetValue(const Variant& v)
{
    if (!dataSet_)
        throw EDatabaseError(QStringLiteral("Поле '%1' не связано с набором данных").arg(name_));
    TDataSet& ds = *dataSet_;
    if (kind_ != fkData) {
        if (ds.state_ != dsCalcFields || !ds.overrideRecord_)
            throw EDatabaseError(QStringLiteral("Поле '%1' нельзя изменить").arg(name_));
        ds.overrideRecord_->Values.Set(index_, Convert(v));
        return;
    }
    ds.CheckEditing(*this);
    Variant converted = Convert(v);
    if (OnValidate) {
        // The validator sees the new value through the field.
        Variant old = ds.editBuffer_.Values[index_];
        ds.editBuffer_.Values.Set(index_, converted);
        try {
            OnValidate(*this);
        } catch (...) {
            ds.editBuffer_.Values.Set(index_, old);
            throw;
        }
    } else {
        ds.editBuffer_.Values.Set(index_, converted);
    }
    ds.modified_ = true;
    if (OnChange)
        OnChange(*this);
    ds.DataEvent(deFieldChange, this);
}

Variant TField::Convert(const Variant& v) const
{
    if (v.IsClear())
        return Variant::Null();
    const TFormatSettings& fs = dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings();
    if (v.Type() == varString && !IsStringType(type_) && type_ != ftVariant && v.AsString().trimmed().isEmpty())
        return Variant::Null();
    switch (type_) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc: {
        const std::int64_t i = v.AsInt64(fs);
        std::int64_t lo = INT32_MIN, hi = INT32_MAX;
        if (type_ == ftSmallint) {
            lo = -32768;
            hi = 32767;
        } else if (type_ == ftWord) {
            lo = 0;
            hi = 65535;
        }
        if (i < lo || i > hi)
            throw EDatabaseError(QStringLiteral("%1 - недопустимое значение поля '%2'. Допустимы значения от %3 до %4")
                                     .arg(i).arg(name_).arg(lo).arg(hi));
        return Variant(int(i));
    }
    case ftLargeint:
        return Variant::FromInt64(v.AsInt64(fs));
    case ftFloat:
    case ftCurrency:
        return Variant(v.AsDouble(fs));
    case ftBCD:
        return Variant(v.AsCurrency(fs));
    case ftBoolean: {
        if (v.Type() == varString) {
            const QString s = v.AsString().trimmed();
            const QStringList parts = displayValues_.split(';');
            if (!parts.value(0).isEmpty() && SameText(s, parts.value(0)))
                return Variant(true);
            if (!parts.value(1).isEmpty() && SameText(s, parts.value(1)))
                return Variant(false);
        }
        return Variant(v.AsBoolean(fs));
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
        double dt = 0;
        if (v.Type() == varString) {
            const QString s = v.AsString();
            bool ok = type_ == ftDate ? TryStrToDate(s, dt, fs)
                      : type_ == ftTime ? TryStrToTime(s, dt, fs)
                                        : TryStrToDateTime(s, dt, fs);
            if (!ok)
                throw EConvertError(QStringLiteral("'%1' не является %2")
                                        .arg(s, type_ == ftDate   ? QStringLiteral("датой")
                                                : type_ == ftTime ? QStringLiteral("временем")
                                                                  : QStringLiteral("датой и временем")));
        } else {
            dt = v.AsDateTime(fs);
        }
        if (type_ == ftDate)
            dt = DateOf(dt);
        else if (type_ == ftTime)
            dt = TimeOf(dt);
        return Variant::FromDateTime(dt);
    }
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid: {
        QString s = v.AsString(fs);
        if (size_ > 0 && s.size() > size_)
            s.truncate(size_);
        return Variant(s);
    }
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
        return Variant(v.AsString(fs));
    default:
        if (IsBinaryType(type_))
            return v.Type() == varString ? Variant(v.AsString().toUtf8()) : Variant(v.AsBytes());
        return v;
    }
}

int TField::AsInteger() const
{
    const Variant v = Value();
    return v.IsClear() ? 0 : v.AsInteger(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

std::int64_t TField::AsLargeInt() const
{
    const Variant v = Value();
    return v.IsClear() ? 0 : v.AsInt64(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

double TField::AsFloat() const
{
    const Variant v = Value();
    return v.IsClear() ? 0.0 : v.AsDouble(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

Currency TField::AsCurrency() const
{
    const Variant v = Value();
    return v.IsClear() ? Currency() : v.AsCurrency(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

bool TField::AsBoolean() const
{
    const Variant v = Value();
    if (v.IsClear())
        return false;
    if (v.Type() == varString) {
        const QStringList parts = displayValues_.split(';');
        if (SameText(v.AsString().trimmed(), parts.value(0)))
            return true;
        if (SameText(v.AsString().trimmed(), parts.value(1)))
            return false;
    }
    return v.AsBoolean(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

TDateTime TField::AsDateTime() const
{
    const Variant v = Value();
    return v.IsClear() ? 0.0 : v.AsDateTime(dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings());
}

QString TField::AsString() const
{
    const Variant v = Value();
    if (v.IsClear())
        return QString();
    if (IsStringType(type_))
        return v.AsString();
    if (IsBinaryType(type_))
        return QString::fromUtf8(v.AsBytes());
    return GetText(false);
}

QByteArray TField::AsBytes() const
{
    const Variant v = Value();
    if (v.IsClear())
        return QByteArray();
    return v.Type() == varBytes ? v.AsBytes() : v.AsString().toUtf8();
}

void TField::SetAsString(const QString& v)
{
    SetValue(Variant(v));
}

QString TField::Text() const
{
    QString text = GetText(false);
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, false);
    return text;
}

void TField::SetText(const QString& text)
{
    if (OnSetText)
        OnSetText(*this, text);
    else
        SetAsString(text);
}

QString TField::DisplayText() const
{
    QString text = GetText(true);
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, true);
    return text;
}

QString TField::GetText(bool display) const
{
    const TFormatSettings& fs = dataSet_ ? dataSet_->FormatSettings() : ::FormatSettings();
    const Variant v = Value();
    if (type_ == ftMemo || type_ == ftFmtMemo)
        return display ? (v.IsClear() ? "(memo)" : "(MEMO)") : (v.IsClear() ? QString() : v.AsString());
    if (type_ == ftBlob || type_ == ftGraphic || type_ == ftParadoxOle || type_ == ftDBaseOle ||
        type_ == ftTypedBinary || type_ == ftOraBlob || type_ == ftOraClob) {
        const QString name = type_ == ftGraphic ? "graphic" : "blob";
        return v.IsClear() ? "(" + name + ")" : "(" + name.toUpper() + ")";
    }
    if (v.IsClear())
        return QString();
    const QString& fmt = display ? displayFormat_ : editFormat_;
    if (IsIntegerType(type_) || type_ == ftLargeint) {
        if (!fmt.isEmpty())
            return FormatFloat(fmt, double(v.AsInt64(fs)), fs);
        return IntToStr(v.AsInt64(fs));
    }
    if (type_ == ftFloat || type_ == ftCurrency) {
        const double d = v.AsDouble(fs);
        if (!fmt.isEmpty())
            return FormatFloat(fmt, d, fs);
        if (currency_ && display)
            return FloatToStrF(d, ffCurrency, precision_, fs.CurrencyDecimals, fs);
        return FloatToStrF(d, ffGeneral, precision_, 0, fs);
    }
    if (type_ == ftBCD) {
        const Currency c = v.AsCurrency(fs);
        if (!fmt.isEmpty())
            return FormatCurr(fmt, c, fs);
        return CurrToStr(c, fs);
    }
    if (type_ == ftBoolean) {
        const QStringList parts = displayValues_.split(';');
        return v.AsBoolean(fs) ? parts.value(0) : parts.value(1);
    }
    if (IsDateType(type_)) {
        if (v.Type() == varString)
            return v.AsString();   // a stored text that is not a date stays readable
        const double dt = v.AsDateTime(fs);
        if (display && !displayFormat_.isEmpty())
            return FormatDateTime(displayFormat_, dt, fs);
        if (type_ == ftDate)
            return DateToStr(dt, fs);
        if (type_ == ftTime)
            return TimeToStr(dt, fs);
        return DateTimeToStr(dt, fs);
    }
    if (IsBinaryType(type_))
        return QString::fromUtf8(v.AsBytes());
    return VarToStr(v, fs);
}

void TField::SetDisplayFormat(const QString& f)
{
    if (f == displayFormat_)
        return;
    displayFormat_ = f;
    PropertyChanged(false);
}

void TField::SetDisplayValues(const QString& v)
{
    if (v == displayValues_)
        return;
    displayValues_ = v;
    PropertyChanged(false);
}

void TField::SetDisplayLabel(const QString& label)
{
    const QString stored = label == name_ ? QString() : label;
    if (stored == displayLabel_)
        return;
    displayLabel_ = stored;
    PropertyChanged(true);
}

int TField::DisplayWidth() const
{
    if (displayWidth_ >= 0)
        return displayWidth_;
    switch (type_) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        return size_ > 0 ? size_ : 20;
    case ftGuid:
        return 38;
    case ftSmallint:
        return 6;
    case ftWord:
        return 5;
    case ftInteger:
    case ftAutoInc:
        return 11;
    case ftLargeint:
        return 15;
    case ftBoolean:
        return 5;
    case ftDate:
    case ftTime:
        return 10;
    case ftDateTime:
        return 18;
    default:
        return 10;
    }
}

void TField::SetDisplayWidth(int w)
{
    if (w == displayWidth_)
        return;
    displayWidth_ = w;
    PropertyChanged(true);
}

void TField::SetAlignment(TAlignment a)
{
    if (a == alignment_)
        return;
    alignment_ = a;
    PropertyChanged(false);
}

void TField::SetVisible(bool v)
{
    if (v == visible_)
        return;
    visible_ = v;
    PropertyChanged(true);
}

bool TField::CanModify() const
{
    if (readOnly_ || !dataSet_ || !dataSet_->CanModify())
        return false;
    if (kind_ == fkCalculated)
        return false;
    if (kind_ == fkLookup) {
        for (const QString& name : SplitNames(keyFields_)) {
            const TField* key = dataSet_->FindField(name);
            if (!key || !key->CanModify())
                return false;
        }
        return !keyFields_.isEmpty();
    }
    return true;
}

bool TField::IsValidChar(QChar c) const
{
    if (validCharsSet_)
        return validChars_.contains(c);
    if (IsIntegerType(type_) || type_ == ftLargeint)
        return QString("+-0123456789").contains(c);
    if (type_ == ftFloat || type_ == ftCurrency || type_ == ftBCD) {
        const QChar sep = dataSet_ ? dataSet_->FormatSettings().DecimalSeparator : ::FormatSettings().DecimalSeparator;
        return QString("+-0123456789Ee").contains(c) || c == sep;
    }
    return true;
}

void TField::FocusControl()
{
    if (dataSet_ && dataSet_->Active())
        dataSet_->DataEvent(deFocusControl, this);
}

void TField::PropertyChanged(bool layout)
{
    if (dataSet_ && dataSet_->Active())
        dataSet_->DataEvent(layout ? deLayoutChange : deDataSetChange);
}

std::unique_ptr<TField> CreateField(TFieldType type, const QString& name, int size, TFieldKind kind)
{
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
        return std::make_unique<TStringField>(type, name, size, kind);
    case ftSmallint:
        return std::make_unique<TSmallintField>(type, name, size, kind);
    case ftInteger:
        return std::make_unique<TIntegerField>(type, name, size, kind);
    case ftWord:
        return std::make_unique<TWordField>(type, name, size, kind);
    case ftAutoInc:
        return std::make_unique<TAutoIncField>(type, name, size, kind);
    case ftLargeint:
        return std::make_unique<TLargeintField>(type, name, size, kind);
    case ftFloat:
        return std::make_unique<TFloatField>(type, name, size, kind);
    case ftCurrency:
        return std::make_unique<TCurrencyField>(type, name, size, kind);
    case ftBCD:
        return std::make_unique<TBCDField>(type, name, size, kind);
    case ftBoolean:
        return std::make_unique<TBooleanField>(type, name, size, kind);
    case ftDate:
        return std::make_unique<TDateField>(type, name, size, kind);
    case ftTime:
        return std::make_unique<TTimeField>(type, name, size, kind);
    case ftDateTime:
        return std::make_unique<TDateTimeField>(type, name, size, kind);
    case ftBytes:
        return std::make_unique<TBytesField>(type, name, size, kind);
    case ftVarBytes:
        return std::make_unique<TVarBytesField>(type, name, size, kind);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
        return std::make_unique<TMemoField>(type, name, size, kind);
    case ftGraphic:
        return std::make_unique<TGraphicField>(type, name, size, kind);
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
        return std::make_unique<TBlobField>(type, name, size, kind);
    case ftVariant:
        return std::make_unique<TVariantField>(type, name, size, kind);
    default:
        return std::make_unique<TField>(type, name, size, kind);
    }
}

QString FieldTypeName(TFieldType type)
{
    static const char* const names[] = {
        "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
        "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
        "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString",
        "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
        "Interface", "IDispatch", "Guid"};
    const int i = int(type);
    return i >= 0 && i < int(std::size(names)) ? QString(names[i]) : QString("Unknown");
}

// ================================================================================================
// TDataSet: fields

TDataSet::TDataSet() : formatSettings_(::FormatSettings()) {}

TDataSet::~TDataSet()
{
    // Subclasses close themselves; here only the links learn that the dataset is gone.
    try {
        BeforeDestroy(*this);
    } catch (...) {
        // Nothing may escape a destructor.
    }
    state_ = dsInactive;
    const auto sources = sources_;
    for (TDataSource* s : sources) {
        s->dataSet_ = nullptr;
        s->NotifyLinksActive();
    }
}

TField* TDataSet::Field(int index) const
{
    if (index < 0 || index >= int(fields_.size()))
        throw EDatabaseError(QString("List index out of bounds (%1)").arg(index));
    return fields_[index].get();
}

TField* TDataSet::FindField(const QString& name) const
{
    for (const auto& f : fields_)
        if (SameText(f->FieldName(), name))
            return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
    TField* f = FindField(name);
    if (!f)
        throw EDatabaseError(QString("Field '%1' not found").arg(name));
    return f;
}

TField* TDataSet::AddField(TFieldType type, const QString& name, int size, TFieldKind kind)
{
    if (Active())
        throw EDatabaseError(QStringLiteral("Операция невозможна: набор данных открыт"));
    if (FindField(name))
        throw EDatabaseError(QStringLiteral("Поле '%1' уже есть в наборе данных").arg(name));
    auto f = CreateField(type, name, size, kind);
    f->dataSet_ = this;
    f->persistent_ = true;
    TField* raw = f.get();
    fields_.push_back(std::move(f));
    RenumberFields();
    defaultFields_ = false;
    return raw;
}

void TDataSet::ClearFields()
{
    if (Active())
        throw EDatabaseError(QStringLiteral("Операция невозможна: набор данных открыт"));
    fields_.clear();
    RenumberFields();
    defaultFields_ = true;
}

void TDataSet::RenumberFields()
{
    fieldPtrs_.clear();
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->index_ = int(i);
        fieldPtrs_.push_back(fields_[i].get());
    }
}

void TDataSet::RemoveDefaultFields()
{
    std::erase_if(fields_, [](const std::unique_ptr<TField>& f) { return !f->persistent_; });
    RenumberFields();
    defaultFields_ = std::none_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->persistent_; });
}

std::vector<TFieldDef> TDataSet::DeclaredDataFields() const
{
    std::vector<TFieldDef> defs;
    for (const auto& f : fields_)
        if (f->persistent_ && f->FieldKind() == fkData)
            defs.push_back({f->FieldName(), f->DataType(), f->Size()});
    return defs;
}

void TDataSet::SetFieldDefs(const std::vector<TFieldDef>& defs)
{
    colToSlot_.assign(defs.size(), -1);
    const bool declared = std::any_of(fields_.begin(), fields_.end(), [](const auto& f) {
        return f->persistent_ && f->FieldKind() == fkData;
    });
    if (!declared) {
        RemoveDefaultFields();
        std::vector<std::unique_ptr<TField>> made;
        for (const TFieldDef& d : defs) {
            auto f = CreateField(d.DataType, d.Name, d.Size, fkData);
            f->dataSet_ = this;
            made.push_back(std::move(f));
        }
        // Made fields come first; declared calculated and lookup fields follow them.
        for (auto& f : fields_)
            made.push_back(std::move(f));
        fields_ = std::move(made);
        RenumberFields();
        for (std::size_t i = 0; i < defs.size(); ++i)
            colToSlot_[i] = int(i);
        defaultFields_ = std::none_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->persistent_; });
        return;
    }
    defaultFields_ = false;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        TField* f = FindField(defs[i].Name);
        if (f && f->FieldKind() == fkData)
            colToSlot_[i] = f->Index();
    }
    for (const auto& f : fields_) {
        if (f->FieldKind() != fkData)
            continue;
        if (std::find(colToSlot_.begin(), colToSlot_.end(), f->Index()) == colToSlot_.end())
            throw EDatabaseError(QString("Field '%1' not found").arg(f->FieldName()));
    }
    colConvert_.assign(defs.size(), false);
    for (std::size_t i = 0; i < defs.size(); ++i)
        if (colToSlot_[i] >= 0 && fields_[colToSlot_[i]]->DataType() != defs[i].DataType)
            colConvert_[i] = true;
}

TRecordData& TDataSet::NewLoadedRecord()
{
    auto rec = std::make_unique<TRecordData>();
    rec->Id = nextId_++;
    rec->Values.resize(fields_.size());
    records_.push_back(std::move(rec));
    return *records_.back();
}

void TDataSet::SetLoadedValue(TRecordData& rec, int column, Variant&& value)
{
    const int slot = ColumnSlot(column);
    if (slot < 0)
        return;
    if (column < int(colConvert_.size()) && colConvert_[column])
        rec.Values.Set(slot, fields_[slot]->Convert(value));
    else
        rec.Values.Set(slot, value);
}

void TDataSet::AddLoadedRecord(std::vector<Variant>& columns)
{
    loadScratch_.assign(fields_.size(), Variant());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const int slot = ColumnSlot(int(c));
        if (slot < 0)
            continue;
        if (c < colConvert_.size() && colConvert_[c])
            loadScratch_[std::size_t(slot)] = fields_[std::size_t(slot)]->Convert(columns[c]);
        else
            loadScratch_[std::size_t(slot)] = std::move(columns[c]);
    }
    auto rec = std::make_unique<TRecordData>();
    rec->Id = nextId_++;
    rec->Values.Assign(loadScratch_.data(), loadScratch_.size());
    records_.push_back(std::move(rec));
}

std::vector<std::unique_ptr<TRecordData>> TDataSet::TakeRecords()
{
    positionsValid_ = false;
    view_.clear();
    return std::move(records_);
}

void TDataSet::RestoreRecords(std::vector<std::unique_ptr<TRecordData>> records)
{
    records_ = std::move(records);
    for (auto& r : records_) {
        r->Values.resize(fields_.size());
        nextId_ = std::max(nextId_, r->Id + 1);
    }
    positionsValid_ = false;
}

Variant TDataSet::FieldValues(const QString& names) const
{
    const QStringList list = SplitNames(names);
    if (list.size() == 1)
        return FieldByName(list[0])->Value();
    std::vector<Variant> values;
    for (const QString& n : list)
        values.push_back(FieldByName(n)->Value());
    return VarArrayOf(std::move(values));
}

Variant TDataSet::ReadSlot(int slot) const
{
    const TRecordData* rec = ActiveRecordData();
    if (!rec || slot < 0 || slot >= int(rec->Values.size()))
        return Variant::Null();
    if (fields_[std::size_t(slot)]->FieldKind() != fkData)
        EnsureCalculated(*rec);
    return rec->Values[std::size_t(slot)];
}

bool TDataSet::SlotIsClear(int slot) const
{
    const TRecordData* rec = ActiveRecordData();
    if (!rec || slot < 0 || slot >= int(rec->Values.size()))
        return true;
    if (fields_[std::size_t(slot)]->FieldKind() != fkData)
        EnsureCalculated(*rec);
    return rec->Values.IsClear(std::size_t(slot));
}

TRecordData* TDataSet::ActiveRecordData() const
{
    if (overrideRecord_)
        return overrideRecord_;
    if (state_ == dsEdit || state_ == dsInsert)
        return const_cast<TRecordData*>(&editBuffer_);
    return CurrentRecord();
}

// ================================================================================================
// TDataSet: open and close

void TDataSet::CheckActive() const
{
    if (!Active())
        throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckCanModify() const
{
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Набор данных доступен только для чтения"));
}

void TDataSet::CheckEditing(const TField& f) const
{
    if (state_ != dsEdit && state_ != dsInsert)
        throw EDatabaseError(QStringLiteral("Набор данных не в режиме правки или вставки"));
    if (f.ReadOnly())
        throw EDatabaseError(QStringLiteral("Поле '%1' нельзя изменить").arg(f.FieldName()));
}

void TDataSet::Open()
{
    if (Active())
        return;
    BeforeOpen(*this);
    try {
        colConvert_.clear();
        InternalOpen();
        // Calculated and lookup fields are computed when a record is first read, so that a
        // long result opens without running the handlers for rows nobody looks at.
        // Records a subclass kept over the close drop what was computed for them then.
        const bool anyCalculated =
            std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->FieldKind() != fkData; });
        for (auto& rec : records_) {
            if (rec->Values.size() != fields_.size())
                rec->Values.resize(fields_.size());
            if (anyCalculated)
                DropCalculated(*rec);
            rec->Calculated = false;
        }
        RebuildView();
    } catch (...) {
        try {
            InternalClose();
        } catch (...) {
        }
        ResetAfterClose();
        RemoveDefaultFields();
        throw;
    }
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    SetState(dsBrowse);
    AfterOpen(*this);
    if (!view_.empty())
        AfterScroll(*this);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    BeforeClose(*this);
    // Nothing unposted outlives the close: a new record is taken out before a subclass keeps
    // or drops the records.
    if (inserting_) {
        TRecordData* rec = CurrentRecord();
        std::erase(view_, rec);
        std::erase_if(records_, [rec](const auto& r) { return r.get() == rec; });
        inserting_ = false;
        positionsValid_ = false;
    }
    InternalClose();
    ResetAfterClose();
    SetState(dsInactive);
    RemoveDefaultFields();
    AfterClose(*this);
}

void TDataSet::ResetAfterClose()
{
    records_.clear();
    calculatedIds_.clear();
    view_.clear();
    positions_.clear();
    positionsValid_ = false;
    cur_ = -1;
    bof_ = eof_ = true;
    inserting_ = false;
    modified_ = false;
    overrideRecord_ = nullptr;
    editBuffer_ = TRecordData();
}

void TDataSet::Refresh()
{
    CheckActive();
    CheckBrowseMode();
    const int recNo = RecNo();
    DisableControls();
    try {
        Close();
        Open();
        if (recNo > 1 && !view_.empty())
            SetRecNo(recNo);
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TDataSet::SetState(TDataSetState s)
{
    if (s == state_)
        return;
    state_ = s;
    DataEvent(deUpdateState);
}

void TDataSet::DataEvent(TDataEvent event, TField* field)
{
    if (disableCount_ > 0) {
        // Requests still reach the links; display notifications wait for the last enable.
        if (event != deUpdateRecord && event != deCheckBrowseMode && event != deFocusControl) {
            // A close may drop the fields controls keep: after it they must lay out again.
            if (event == deLayoutChange || (event == deUpdateState && state_ == dsInactive))
                layoutPending_ = true;
            return;
        }
    }
    const auto sources = sources_;
    for (TDataSource* s : sources)
        if (std::find(sources_.begin(), sources_.end(), s) != sources_.end())
            s->DataEvent(event, field);
}

void TDataSet::AddDataSource(TDataSource* s)
{
    if (std::find(sources_.begin(), sources_.end(), s) == sources_.end())
        sources_.push_back(s);
}

void TDataSet::RemoveDataSource(TDataSource* s)
{
    std::erase(sources_, s);
}

void TDataSet::DisableControls()
{
    if (disableCount_++ == 0) {
        disableState_ = state_;
        layoutPending_ = false;
    }
}

void TDataSet::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ > 0)
        return;
    if (disableState_ != state_)
        DataEvent(deUpdateState);
    if (disableState_ != dsInactive && state_ != dsInactive)
        DataEvent(layoutPending_ ? deLayoutChange : deDataSetChange);
    layoutPending_ = false;
}

// ================================================================================================
// TDataSet: calculated fields, filter, view

void TDataSet::EnsureCalculated(const TRecordData& rec) const
{
    if (!rec.Calculated && &rec != &editBuffer_)
        const_cast<TDataSet*>(this)->CalcRecord(const_cast<TRecordData&>(rec));
}

void TDataSet::CalcRecord(TRecordData& rec)
{
    const bool any =
        std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->FieldKind() != fkData; });
    if (any) {
        // The oldest calculations make room; a record read again is computed again.
        while (calculatedIds_.size() >= CalculatedRecordsKept) {
            const std::uint64_t id = calculatedIds_.front();
            calculatedIds_.pop_front();
            const int pos = id == rec.Id ? -1 : PositionOf(id);
            if (pos >= 0)
                DropCalculated(*records_[std::size_t(pos)]);
        }
        calculatedIds_.push_back(rec.Id);
    }
    rec.Calculated = true;
    for (const auto& f : fields_)
        if (f->FieldKind() != fkData)
            rec.Values.Set(std::size_t(f->Index()), Variant());
    if (!any)
        return;
    TempState guard(state_, overrideRecord_, dsCalcFields, &rec);
    for (const auto& f : fields_) {
        if (f->FieldKind() != fkLookup)
            continue;
        TDataSet* ld = f->LookupDataSet();
        if (!ld || !ld->Active() || f->KeyFields().isEmpty())
            continue;
        const Variant keys = FieldValues(f->KeyFields());
        rec.Values.Set(std::size_t(f->Index()), f->Convert(ld->Lookup(f->LookupKeyFields(), keys, f->LookupResultField())));
    }
    OnCalcFields(*this);
}

void TDataSet::DropCalculated(TRecordData& rec)
{
    rec.Calculated = false;
    for (const auto& f : fields_) {
        const std::size_t slot = std::size_t(f->Index());
        if (f->FieldKind() != fkData && !rec.Values.IsClear(slot))
            rec.Values.Set(slot, Variant());
    }
}

void TDataSet::RecalcFields()
{
    CheckActive();
    // Each record is computed again when it is next read.
    for (auto& rec : records_)
        rec->Calculated = false;
    DataEvent(deDataSetChange);
}

bool TDataSet::PassesFilter(TRecordData& rec)
{
    if (!filtered_ || !OnFilterRecord)
        return true;
    TempState guard(state_, overrideRecord_, dsFilter, &rec);
    return OnFilterRecord(*this);
}

void TDataSet::RebuildView()
{
    view_.clear();
    view_.reserve(records_.size());
    for (auto& rec : records_)
        if (PassesFilter(*rec))
            view_.push_back(rec.get());
    positionsValid_ = false;
}

void TDataSet::Refilter()
{
    CheckBrowseMode();
    BeforeScroll(*this);
    RebuildView();
    overrideRecord_ = nullptr;
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    DataEvent(deDataSetChange);
    AfterScroll(*this);
}

void TDataSet::SetFilter(const QString& text)
{
    if (text == filter_)
        return;
    filter_ = text;
    if (filtered_ && Active())
        Refilter();
}

void TDataSet::SetFiltered(bool f)
{
    if (f == filtered_)
        return;
    filtered_ = f;
    if (Active())
        Refilter();
}

void TDataSet::SetOnFilterRecord(std::function<bool(TDataSet&)> f)
{
    OnFilterRecord = std::move(f);
    if (filtered_ && Active())
        Refilter();
}

// ================================================================================================
// TDataSet: navigation and bookmarks

bool TDataSet::IsEmpty() const
{
    return view_.empty();
}

int TDataSet::RecordCount() const
{
    CheckActive();
    return int(view_.size()) - (inserting_ ? 1 : 0);
}

std::size_t TDataSet::RecordBytes() const
{
    std::size_t bytes = 0;
    for (const auto& rec : records_)
        bytes += rec->Values.ByteSize();
    return bytes;
}

int TDataSet::RecNo() const
{
    CheckActive();
    return cur_ + 1;
}

void TDataSet::FinishMove(int newCur, bool newBof, bool newEof)
{
    overrideRecord_ = nullptr;
    const int old = cur_;
    cur_ = newCur;
    bof_ = newBof;
    eof_ = newEof;
    if (old != newCur)
        DataEvent(deDataSetScroll);
}

void TDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    BeforeScroll(*this);
    FinishMove(view_.empty() ? -1 : 0, true, view_.empty());
    AfterScroll(*this);
}

void TDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    BeforeScroll(*this);
    FinishMove(int(view_.size()) - 1, view_.empty(), true);
    AfterScroll(*this);
}

int TDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    BeforeScroll(*this);
    int moved = 0;
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        const int n = int(view_.size());
        long long target = (long long)cur_ + distance;
        bool newBof = false;
        bool newEof = false;
        if (target >= n) {
            target = n - 1;
            newEof = true;
        }
        if (target < 0) {
            target = 0;
            newBof = true;
        }
        moved = int(target) - cur_;
        FinishMove(int(target), newBof, newEof);
    }
    AfterScroll(*this);
    return moved;
}

void TDataSet::SetRecNo(int recNo)
{
    CheckActive();
    if (view_.empty())
        return;
    recNo = std::clamp(recNo, 1, int(view_.size()));
    if (recNo == cur_ + 1)
        return;
    CheckBrowseMode();
    BeforeScroll(*this);
    FinishMove(std::min(recNo, int(view_.size())) - 1, false, false);
    AfterScroll(*this);
}

void TDataSet::BuildPositions() const
{
    if (positionsValid_)
        return;
    positions_.clear();
    idsAscending_ = true;
    for (std::size_t i = 1; i < records_.size() && idsAscending_; ++i)
        idsAscending_ = records_[i - 1]->Id < records_[i]->Id;
    // Loaded records are in id order: a binary search finds them without a map.
    if (!idsAscending_) {
        positions_.reserve(records_.size());
        for (std::size_t i = 0; i < records_.size(); ++i)
            positions_[records_[i]->Id] = int(i);
    }
    positionsValid_ = true;
}

int TDataSet::PositionOf(std::uint64_t id) const
{
    BuildPositions();
    if (!idsAscending_) {
        const auto it = positions_.find(id);
        return it == positions_.end() ? -1 : it->second;
    }
    const auto it = std::lower_bound(records_.begin(), records_.end(), id,
                                     [](const std::unique_ptr<TRecordData>& r, std::uint64_t v) { return r->Id < v; });
    return it != records_.end() && (*it)->Id == id ? int(it - records_.begin()) : -1;
}

int TDataSet::ViewIndexOf(std::uint64_t id) const
{
    const int pos = PositionOf(id);
    if (pos < 0)
        return -1;
    // The view is the records in order with some left out: search it by record position.
    int lo = 0;
    int hi = int(view_.size()) - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int p = PositionOf(view_[mid]->Id);
        if (p == pos)
            return mid;
        if (p < pos)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

TBookmark TDataSet::GetBookmark() const
{
    const TRecordData* rec = CurrentRecord();
    return rec ? TBookmark{rec->Id} : TBookmark{};
}

TBookmark TDataSet::ActiveBookmark() const
{
    if (overrideRecord_)
        return TBookmark{overrideRecord_->Id};
    return GetBookmark();
}

bool TDataSet::BookmarkValid(const TBookmark& b) const
{
    return Active() && !b.IsNull() && ViewIndexOf(b.Id) >= 0;
}

void TDataSet::GotoBookmark(const TBookmark& b)
{
    CheckActive();
    CheckBrowseMode();
    const int idx = b.IsNull() ? -1 : ViewIndexOf(b.Id);
    if (idx < 0)
        throw EDatabaseError(QStringLiteral("Запись не найдена"));
    BeforeScroll(*this);
    FinishMove(idx, false, false);
    AfterScroll(*this);
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const
{
    if (a.IsNull() || b.IsNull())
        return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
    if (a.Id == b.Id)
        return 0;
    const int pa = PositionOf(a.Id);
    const int pb = PositionOf(b.Id);
    if (pa < 0 || pb < 0)
        return a.Id < b.Id ? -1 : 1;
    return pa < pb ? -1 : 1;
}

// ================================================================================================
// TDataSet: editing

void TDataSet::Edit()
{
    CheckActive();
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (view_.empty()) {
        Insert();
        return;
    }
    CheckCanModify();
    BeforeEdit(*this);
    overrideRecord_ = nullptr;
    EnsureCalculated(*CurrentRecord());
    editBuffer_ = *CurrentRecord();
    modified_ = false;
    SetState(dsEdit);
    DataEvent(deRecordChange);
    AfterEdit(*this);
}

void TDataSet::Insert()
{
    AddNewRecord(false);
}

void TDataSet::Append()
{
    AddNewRecord(true);
}

void TDataSet::AddNewRecord(bool append)
{
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    BeforeInsert(*this);
    BeforeScroll(*this);
    auto rec = std::make_unique<TRecordData>();
    rec->Id = nextId_++;
    rec->Values.resize(fields_.size());
    TRecordData* raw = rec.get();
    int viewPos = int(view_.size());
    TRecordData* current = append ? nullptr : CurrentRecord();
    if (current) {
        // A new record goes before the current one.
        records_.insert(records_.begin() + PositionOf(current->Id), std::move(rec));
        viewPos = cur_;
    } else {
        records_.push_back(std::move(rec));
    }
    view_.insert(view_.begin() + viewPos, raw);
    positionsValid_ = false;
    overrideRecord_ = nullptr;
    cur_ = viewPos;
    bof_ = false;
    eof_ = append;
    editBuffer_ = *raw;
    inserting_ = true;
    modified_ = false;
    SetState(dsInsert);
    OnNewRecord(*this);
    modified_ = false;
    DataEvent(deDataSetChange);
    AfterInsert(*this);
    AfterScroll(*this);
}

void TDataSet::UpdateRecord()
{
    if (state_ != dsEdit && state_ != dsInsert)
        throw EDatabaseError(QStringLiteral("Набор данных не в режиме правки или вставки"));
    DataEvent(deUpdateRecord);
}

void TDataSet::Post()
{
    CheckActive();
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    UpdateRecord();
    BeforePost(*this);
    for (const auto& f : fields_)
        if (f->FieldKind() == fkData && f->Required() && editBuffer_.Values.IsClear(std::size_t(f->Index())))
            throw EDatabaseError(QStringLiteral("Поле '%1' должно иметь значение").arg(f->FieldName()));
    TRecordData* rec = CurrentRecord();
    InternalPost(editBuffer_, inserting_);
    rec->Values = std::move(editBuffer_.Values);
    editBuffer_ = TRecordData();
    inserting_ = false;
    modified_ = false;
    overrideRecord_ = nullptr;
    CalcRecord(*rec);
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    AfterPost(*this);
}

void TDataSet::Cancel()
{
    // Also on a closed dataset: a control may reset its edit whatever the dataset's state.
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    BeforeCancel(*this);
    if (inserting_) {
        TRecordData* rec = CurrentRecord();
        view_.erase(view_.begin() + cur_);
        std::erase_if(records_, [rec](const auto& r) { return r.get() == rec; });
        positionsValid_ = false;
        cur_ = std::min(cur_, int(view_.size()) - 1);
        bof_ = eof_ = view_.empty();
    }
    editBuffer_ = TRecordData();
    inserting_ = false;
    modified_ = false;
    overrideRecord_ = nullptr;
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    AfterCancel(*this);
}

void TDataSet::Delete()
{
    CheckActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (view_.empty())
        throw EDatabaseError(QStringLiteral("Операция невозможна: набор данных пуст"));
    DataEvent(deCheckBrowseMode);
    CheckCanModify();
    BeforeDelete(*this);
    BeforeScroll(*this);
    TRecordData* rec = CurrentRecord();
    InternalDelete(*rec);
    view_.erase(view_.begin() + cur_);
    std::erase_if(records_, [rec](const auto& r) { return r.get() == rec; });
    positionsValid_ = false;
    editBuffer_ = TRecordData();
    modified_ = false;
    overrideRecord_ = nullptr;
    cur_ = std::min(cur_, int(view_.size()) - 1);
    bof_ = view_.empty();
    eof_ = view_.empty();
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    AfterDelete(*this);
    AfterScroll(*this);
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(deCheckBrowseMode);
    if (state_ == dsEdit || state_ == dsInsert) {
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
    }
}

// ================================================================================================
// TDataSet: searching

bool TDataSet::RecordMatches(const TRecordData& rec, const std::vector<TField*>& keys,
                             const std::vector<Variant>& values, TLocateOptions options) const
{
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const TField* f = keys[i];
        if (f->FieldKind() != fkData)
            EnsureCalculated(rec);
        const Variant fv = rec.Values[std::size_t(f->Index())];
        const Variant& key = values[i];
        if (key.IsClear() || fv.IsClear()) {
            if (key.IsClear() != fv.IsClear())
                return false;
            continue;
        }
        if (IsStringType(f->DataType())) {
            const QString a = fv.AsString();
            const QString b = key.AsString(formatSettings_);
            const QString left = (options & loPartialKey) ? a.left(b.size()) : a;
            const bool eq = (options & loCaseInsensitive) ? SameText(left, b) : left == b;
            if (!eq)
                return false;
            continue;
        }
        Variant converted;
        try {
            converted = f->Convert(key);
        } catch (const Exception&) {
            return false;
        }
        if (!(fv == converted))
            return false;
    }
    return true;
}

int TDataSet::FindRecord(const QString& keyFields, const Variant& keyValues, TLocateOptions options) const
{
    CheckActive();
    std::vector<TField*> keys;
    for (const QString& n : SplitNames(keyFields))
        keys.push_back(FieldByName(n));
    if (keys.empty())
        throw EDatabaseError(QStringLiteral("Не заданы ключевые поля"));
    std::vector<Variant> values;
    if (keyValues.Type() == varArray) {
        values = keyValues.Items();
    } else {
        values.push_back(keyValues);
    }
    if (values.size() != keys.size())
        throw EDatabaseError(QStringLiteral("Значений ключа задано %1, а ключевых полей %2").arg(values.size()).arg(keys.size()));
    for (std::size_t i = 0; i < view_.size(); ++i) {
        const TRecordData* rec = view_[i];
        // While editing, the current record is the edit buffer.
        if (int(i) == cur_ && (state_ == dsEdit || state_ == dsInsert))
            rec = &editBuffer_;
        if (RecordMatches(*rec, keys, values, options))
            return int(i);
    }
    return -1;
}

bool TDataSet::Locate(const QString& keyFields, const Variant& keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    const int idx = FindRecord(keyFields, keyValues, options);
    if (idx < 0)
        return false;
    BeforeScroll(*this);
    FinishMove(idx, false, false);
    AfterScroll(*this);
    return true;
}

Variant TDataSet::Lookup(const QString& keyFields, const Variant& keyValues, const QString& resultFields)
{
    const int idx = FindRecord(keyFields, keyValues, 0);
    if (idx < 0)
        return Variant::Null();
    const TRecordData* rec = view_[idx];
    const QStringList names = SplitNames(resultFields);
    std::vector<Variant> out;
    for (const QString& n : names) {
        const TField* f = FieldByName(n);
        if (f->FieldKind() != fkData)
            EnsureCalculated(*rec);
        const Variant v = rec->Values[std::size_t(f->Index())];
        out.push_back(v.IsEmpty() ? Variant::Null() : v);
    }
    if (out.size() == 1)
        return out[0];
    return VarArrayOf(std::move(out));
}
