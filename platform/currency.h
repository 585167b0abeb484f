// Fixed-point money/sum type: a 64-bit count of ten-thousandths.
#pragma once

#include <QString>
#include <compare>
#include <cstdint>

struct TFormatSettings;

struct Currency {
    std::int64_t Value = 0;   // ten-thousandths

    static constexpr std::int64_t Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency FromRaw(std::int64_t raw) { Currency c; c.Value = raw; return c; }
    static constexpr Currency FromInt(std::int64_t whole) { return FromRaw(whole * Scale); }
    // Rounds to the nearest ten-thousandth, ties to even. Raises EConvertError when out of range.
    static Currency FromDouble(double value);
    // Parses with the settings' decimal separator (thousand separators allowed); raises EConvertError.
    static Currency FromString(const QString& text, const TFormatSettings& fs);
    static bool TryFromString(const QString& text, const TFormatSettings& fs, Currency& result);

    double ToDouble() const { return double(Value) / double(Scale); }
    // Whole part rounded half-even, as an integer conversion of currency does.
    std::int64_t ToInt64() const;
    // Shortest form: up to four decimals, trailing zeros dropped ("12,5", "-3", "0,0001").
    QString ToString(const TFormatSettings& fs) const;

    constexpr Currency operator-() const { return FromRaw(-Value); }
    constexpr Currency operator+(Currency o) const { return FromRaw(Value + o.Value); }
    constexpr Currency operator-(Currency o) const { return FromRaw(Value - o.Value); }
    Currency& operator+=(Currency o) { Value += o.Value; return *this; }
    Currency& operator-=(Currency o) { Value -= o.Value; return *this; }
    // Product and quotient rounded to ten-thousandths, ties to even.
    Currency operator*(Currency o) const;
    Currency operator/(Currency o) const;   // raises EConvertError "Division by zero" on zero
    Currency operator*(std::int64_t n) const { return FromRaw(Value * n); }
    Currency operator/(std::int64_t n) const;   // rounded half-even; raises on zero

    friend constexpr bool operator==(Currency, Currency) = default;
    friend constexpr auto operator<=>(Currency, Currency) = default;
};
