// A dynamically typed value as field values, parameters and properties carry them.
// Empty (never assigned) and Null (an assigned "no value") are different states.
#pragma once

#include "platform/currency.h"
#include "platform/exceptions.h"

#include <QByteArray>
#include <QString>
#include <concepts>
#include <cstdint>
#include <memory>
#include <vector>

struct TFormatSettings;

enum TVarType {
    varEmpty,
    varNull,
    varInteger,   // 32-bit signed
    varInt64,
    varDouble,
    varCurrency,
    varBoolean,
    varString,
    varDate,      // TDateTime
    varBytes,     // byte array
    varArray,     // array of variants
};

// A value that cannot be converted to the requested type (e.g. Null to an integer).
class EVariantError : public EConvertError {
public:
    using EConvertError::EConvertError;
};

class Variant {
public:
    Variant() = default;
    Variant(bool v) : type_(varBoolean), i_(v ? 1 : 0) {}
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    Variant(T v)
    {
        if constexpr (sizeof(T) < 4 || (sizeof(T) == 4 && std::is_signed_v<T>)) {
            type_ = varInteger;
        } else {
            type_ = varInt64;
        }
        i_ = static_cast<std::int64_t>(v);
    }
    Variant(double v) : type_(varDouble), d_(v) {}
    Variant(float v) : type_(varDouble), d_(v) {}
    Variant(Currency v) : type_(varCurrency), i_(v.Value) {}
    Variant(const QString& v) : type_(varString), s_(v) {}
    Variant(const char* v) : type_(varString), s_(QString::fromUtf8(v)) {}
    Variant(const QByteArray& v) : type_(varBytes), b_(v) {}
    Variant(std::vector<Variant> items);

    static Variant Null() { Variant v; v.type_ = varNull; return v; }
    static Variant FromDateTime(double dt) { Variant v; v.type_ = varDate; v.d_ = dt; return v; }
    static Variant FromInt64(std::int64_t i) { Variant v; v.type_ = varInt64; v.i_ = i; return v; }

    TVarType Type() const { return type_; }
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNull() const { return type_ == varNull; }
    // Empty or Null.
    bool IsClear() const { return type_ == varEmpty || type_ == varNull; }
    bool IsNumeric() const;   // integer, int64, double, currency
    bool IsOrdinal() const { return type_ == varInteger || type_ == varInt64 || type_ == varBoolean; }
    void Clear() { *this = Variant(); }

    // Conversions. Empty gives 0 / "" / false; Null raises EVariantError; text that is not a
    // number, date or boolean raises EConvertError. Text is read with the given settings.
    int AsInteger() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    bool AsBoolean() const;
    double AsDateTime() const;
    QString AsString() const;
    QByteArray AsBytes() const;
    int AsInteger(const TFormatSettings& fs) const;
    std::int64_t AsInt64(const TFormatSettings& fs) const;
    double AsDouble(const TFormatSettings& fs) const;
    Currency AsCurrency(const TFormatSettings& fs) const;
    bool AsBoolean(const TFormatSettings& fs) const;
    double AsDateTime(const TFormatSettings& fs) const;
    QString AsString(const TFormatSettings& fs) const;

    // Array access; raise EVariantError when this is not an array or the index is out of range.
    int ArrayCount() const;
    const Variant& operator[](int index) const;
    Variant& operator[](int index);
    const std::vector<Variant>& Items() const;

    // Name of the type as messages show it ("Null", "Integer", "String", ...).
    QString TypeName() const;
    static QString TypeName(TVarType t);

    // Empty equals only Empty and Null only Null; numbers (and dates, booleans) compare by value
    // across types; strings compare exactly; a string and a number compare as numbers when the
    // string is one, otherwise they differ; arrays compare element by element.
    friend bool operator==(const Variant& a, const Variant& b);

private:
    TVarType type_ = varEmpty;
    union {
        std::int64_t i_ = 0;
        double d_;
    };
    QString s_;
    QByteArray b_;
    std::shared_ptr<std::vector<Variant>> a_;
};

inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsClear(const Variant& v) { return v.IsClear(); }
inline TVarType VarType(const Variant& v) { return v.Type(); }
// Null and Empty become ""; everything else as AsString().
QString VarToStr(const Variant& v);
QString VarToStr(const Variant& v, const TFormatSettings& fs);
Variant VarArrayOf(std::vector<Variant> items);
