#include "platform/variant.h"

#include "platform/text.h"
#include "platform/types.h"

#include <cmath>
#include <limits>

namespace {

// A value type in the operator's words.
QString ShownType(TVarType t)
{
    switch (t) {
    case varEmpty: return QStringLiteral("пусто");
    case varNull: return QStringLiteral("Null");
    case varInteger:
    case varInt64: return QStringLiteral("целое");
    case varDouble: return QStringLiteral("вещественное");
    case varCurrency: return QStringLiteral("денежное");
    case varBoolean: return QStringLiteral("логическое");
    case varString: return QStringLiteral("строка");
    case varDate: return QStringLiteral("дата");
    case varBytes: return QStringLiteral("байты");
    case varArray: return QStringLiteral("массив");
    }
    return QStringLiteral("неизвестный");
}

[[noreturn]] void CannotConvert(const Variant& v, TVarType to)
{
    throw EVariantError(QStringLiteral("Значение типа (%1) нельзя преобразовать в тип (%2)")
                            .arg(ShownType(v.Type()), ShownType(to)));
}

[[noreturn]] void Overflow(const Variant& v, TVarType to)
{
    throw EVariantError(QStringLiteral("Переполнение при преобразовании значения типа (%1) в тип (%2)")
                            .arg(ShownType(v.Type()), ShownType(to)));
}

std::int64_t DoubleToInt64(const Variant& v, double d, TVarType to)
{
    const double r = RoundHalfEven(d);
    if (!std::isfinite(r) || r >= 9223372036854775807.0 || r < -9223372036854775808.0) {
        Overflow(v, to);
    }
    return std::int64_t(r);
}

} // namespace

Variant::Variant(std::vector<Variant> items)
    : type_(varArray), a_(std::make_shared<std::vector<Variant>>(std::move(items)))
{
}

bool Variant::IsNumeric() const
{
    return type_ == varInteger || type_ == varInt64 || type_ == varDouble || type_ == varCurrency;
}

QString Variant::TypeName(TVarType t)
{
    switch (t) {
    case varEmpty: return QStringLiteral("Empty");
    case varNull: return QStringLiteral("Null");
    case varInteger: return QStringLiteral("Integer");
    case varInt64: return QStringLiteral("Int64");
    case varDouble: return QStringLiteral("Double");
    case varCurrency: return QStringLiteral("Currency");
    case varBoolean: return QStringLiteral("Boolean");
    case varString: return QStringLiteral("String");
    case varDate: return QStringLiteral("Date");
    case varBytes: return QStringLiteral("Bytes");
    case varArray: return QStringLiteral("Array");
    }
    return QStringLiteral("Unknown");
}

QString Variant::TypeName() const
{
    return TypeName(type_);
}

std::int64_t Variant::AsInt64(const TFormatSettings& fs) const
{
    switch (type_) {
    case varEmpty: return 0;
    case varInteger:
    case varInt64:
    case varBoolean: return i_;
    case varCurrency: return Currency::FromRaw(i_).ToInt64();
    case varDouble:
    case varDate: return DoubleToInt64(*this, d_, varInt64);
    case varString: {
        std::int64_t n = 0;
        if (TryStrToInt64(s_, n)) {
            return n;
        }
        double d = 0;
        if (TryStrToFloat(s_, d, fs)) {
            return DoubleToInt64(*this, d, varInt64);
        }
        throw EConvertError(QStringLiteral("'%1' не является целым числом").arg(s_));
    }
    default: CannotConvert(*this, varInt64);
    }
}

int Variant::AsInteger(const TFormatSettings& fs) const
{
    const std::int64_t n = AsInt64(fs);
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max()) {
        Overflow(*this, varInteger);
    }
    return int(n);
}

double Variant::AsDouble(const TFormatSettings& fs) const
{
    switch (type_) {
    case varEmpty: return 0;
    case varInteger:
    case varInt64:
    case varBoolean: return double(i_);
    case varCurrency: return Currency::FromRaw(i_).ToDouble();
    case varDouble:
    case varDate: return d_;
    case varString: return StrToFloat(s_, fs);
    default: CannotConvert(*this, varDouble);
    }
}

Currency Variant::AsCurrency(const TFormatSettings& fs) const
{
    switch (type_) {
    case varEmpty: return Currency();
    case varInteger:
    case varInt64:
    case varBoolean:
        if (i_ > std::numeric_limits<std::int64_t>::max() / Currency::Scale ||
            i_ < std::numeric_limits<std::int64_t>::min() / Currency::Scale) {
            Overflow(*this, varCurrency);
        }
        return Currency::FromInt(i_);
    case varCurrency: return Currency::FromRaw(i_);
    case varDouble:
    case varDate: return Currency::FromDouble(d_);
    case varString: return Currency::FromString(s_, fs);
    default: CannotConvert(*this, varCurrency);
    }
}

bool Variant::AsBoolean(const TFormatSettings& fs) const
{
    switch (type_) {
    case varEmpty: return false;
    case varInteger:
    case varInt64:
    case varBoolean:
    case varCurrency: return i_ != 0;
    case varDouble:
    case varDate: return d_ != 0;
    case varString: {
        const QString t = s_.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            return false;
        }
        double d = 0;
        if (TryStrToFloat(t, d, fs)) {
            return d != 0;
        }
        throw EConvertError(QStringLiteral("'%1' не является логическим значением").arg(s_));
    }
    default: CannotConvert(*this, varBoolean);
    }
}

double Variant::AsDateTime(const TFormatSettings& fs) const
{
    switch (type_) {
    case varString: {
        double d = 0;
        if (TryStrToDateTime(s_, d, fs)) {
            return d;
        }
        throw EConvertError(QStringLiteral("'%1' не является датой").arg(s_));
    }
    case varNull:
    case varBytes:
    case varArray: CannotConvert(*this, varDate);
    default: return AsDouble(fs); // a date is its day count
    }
}

QString Variant::AsString(const TFormatSettings& fs) const
{
    switch (type_) {
    case varEmpty: return QString();
    case varInteger:
    case varInt64: return QString::number(i_);
    case varBoolean: return i_ ? QStringLiteral("True") : QStringLiteral("False");
    case varCurrency: return Currency::FromRaw(i_).ToString(fs);
    case varDouble: return FloatToStr(d_, fs);
    case varDate: return DateTimeToStr(d_, fs);
    case varString: return s_;
    case varBytes: return FromCp1251(b_);
    default: CannotConvert(*this, varString);
    }
}

QByteArray Variant::AsBytes() const
{
    switch (type_) {
    case varEmpty: return QByteArray();
    case varBytes: return b_;
    case varString: return ToCp1251(s_);
    default: CannotConvert(*this, varBytes);
    }
}

int Variant::AsInteger() const { return AsInteger(FormatSettings()); }
std::int64_t Variant::AsInt64() const { return AsInt64(FormatSettings()); }
double Variant::AsDouble() const { return AsDouble(FormatSettings()); }
Currency Variant::AsCurrency() const { return AsCurrency(FormatSettings()); }
bool Variant::AsBoolean() const { return AsBoolean(FormatSettings()); }
double Variant::AsDateTime() const { return AsDateTime(FormatSettings()); }
QString Variant::AsString() const { return AsString(FormatSettings()); }

int Variant::ArrayCount() const
{
    if (type_ != varArray) {
        CannotConvert(*this, varArray);
    }
    return int(a_->size());
}

const std::vector<Variant>& Variant::Items() const
{
    if (type_ != varArray) {
        CannotConvert(*this, varArray);
    }
    return *a_;
}

const Variant& Variant::operator[](int index) const
{
    if (index < 0 || index >= ArrayCount()) {
        throw EVariantError(QStringLiteral("Индекс массива значений вне границ"));
    }
    return (*a_)[std::size_t(index)];
}

Variant& Variant::operator[](int index)
{
    if (index < 0 || index >= ArrayCount()) {
        throw EVariantError(QStringLiteral("Индекс массива значений вне границ"));
    }
    // Copies share their items until one of them is written to.
    if (a_.use_count() > 1) {
        a_ = std::make_shared<std::vector<Variant>>(*a_);
    }
    return (*a_)[std::size_t(index)];
}

bool operator==(const Variant& a, const Variant& b)
{
    const TVarType ta = a.type_;
    const TVarType tb = b.type_;
    if (ta == varEmpty || tb == varEmpty || ta == varNull || tb == varNull) {
        return ta == tb;
    }
    if (ta == varArray || tb == varArray) {
        return ta == tb && *a.a_ == *b.a_;
    }
    if (ta == varBytes || tb == varBytes) {
        return ta == tb && a.b_ == b.b_;
    }
    if (ta == varString && tb == varString) {
        return a.s_ == b.s_;
    }
    if (ta == varString || tb == varString) {
        const Variant& str = ta == varString ? a : b;
        const Variant& num = ta == varString ? b : a;
        if (num.type_ == varBoolean) {
            const QString t = str.s_.trimmed();
            if (SameText(t, QStringLiteral("true")) || SameText(t, QStringLiteral("false"))) {
                return SameText(t, QStringLiteral("true")) == (num.i_ != 0);
            }
        }
        double d = 0;
        if (!TryStrToFloat(str.s_, d, FormatSettings())) {
            return false;
        }
        return d == num.AsDouble();
    }
    const auto ordinal = [](TVarType t) { return t == varInteger || t == varInt64 || t == varBoolean; };
    if ((ordinal(ta) && ordinal(tb)) || (ta == varCurrency && tb == varCurrency)) {
        return a.i_ == b.i_;
    }
    if ((ta == varCurrency && ordinal(tb)) || (tb == varCurrency && ordinal(ta))) {
        const Variant& c = ta == varCurrency ? a : b;
        const Variant& n = ta == varCurrency ? b : a;
        return __int128(c.i_) == __int128(n.i_) * Currency::Scale;
    }
    return a.AsDouble() == b.AsDouble();
}

QString VarToStr(const Variant& v)
{
    return v.IsClear() ? QString() : v.AsString();
}

QString VarToStr(const Variant& v, const TFormatSettings& fs)
{
    return v.IsClear() ? QString() : v.AsString(fs);
}

Variant VarArrayOf(std::vector<Variant> items)
{
    return Variant(std::move(items));
}
