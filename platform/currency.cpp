#include "platform/currency.h"

#include "platform/exceptions.h"
#include "platform/text.h"
#include "platform/types.h"

#include <cmath>
#include <limits>

namespace {

// num / den rounded to nearest, ties to even; den != 0.
std::int64_t DivHalfEven(__int128 num, __int128 den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    __int128 q = num / den;
    __int128 r = num % den;
    if (r < 0) {
        r += den;
        q -= 1;
    }
    // now num = q * den + r with 0 <= r < den
    const __int128 twice = r * 2;
    if (twice > den || (twice == den && (q & 1) != 0)) {
        q += 1;
    }
    if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min()) {
        throw EConvertError(QStringLiteral("Переполнение денежной суммы"));
    }
    return std::int64_t(q);
}

} // namespace

Currency Currency::FromDouble(double value)
{
    const double scaled = RoundHalfEven(value * double(Scale));
    if (!std::isfinite(scaled) || scaled >= 9223372036854775807.0 || scaled < -9223372036854775808.0) {
        throw EConvertError(QStringLiteral("'%1' не является денежной суммой").arg(value));
    }
    return FromRaw(std::int64_t(scaled));
}

bool Currency::TryFromString(const QString& text, const TFormatSettings& fs, Currency& result)
{
    const QString s = text.trimmed();
    int i = 0;
    const bool negative = ReadSign(s, i);
    __int128 whole = 0;
    __int128 frac = 0;     // first four decimals
    int fracDigits = 0;
    bool roundUp = false;  // digits beyond the fourth decide the rounding
    bool beyondSeen = false;
    int firstBeyond = -1;
    bool restNonZero = false;
    bool anyDigit = false;
    bool inFraction = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isDigit() && c.unicode() < 128) {
            anyDigit = true;
            const int d = c.unicode() - '0';
            if (!inFraction) {
                whole = whole * 10 + d;
                if (whole > __int128(std::numeric_limits<std::int64_t>::max() / Scale) + 1) {
                    return false;
                }
            } else if (fracDigits < 4) {
                frac = frac * 10 + d;
                ++fracDigits;
            } else if (!beyondSeen) {
                beyondSeen = true;
                firstBeyond = d;
            } else if (d != 0) {
                restNonZero = true;
            }
        } else if (c == fs.DecimalSeparator && !inFraction) {
            inFraction = true;
        } else if (c == fs.ThousandSeparator && !inFraction && anyDigit) {
            continue;
        } else {
            return false;
        }
    }
    if (!anyDigit) {
        return false;
    }
    while (fracDigits < 4) {
        frac *= 10;
        ++fracDigits;
    }
    __int128 raw = whole * Scale + frac;
    if (beyondSeen) {
        if (firstBeyond > 5 || (firstBeyond == 5 && (restNonZero || (raw & 1) != 0))) {
            roundUp = true;
        }
    }
    if (roundUp) {
        raw += 1;
    }
    if (negative) {
        raw = -raw;
    }
    if (raw > std::numeric_limits<std::int64_t>::max() || raw < std::numeric_limits<std::int64_t>::min()) {
        return false;
    }
    result = FromRaw(std::int64_t(raw));
    return true;
}

Currency Currency::FromString(const QString& text, const TFormatSettings& fs)
{
    Currency c;
    if (!TryFromString(text, fs, c)) {
        throw EConvertError(QStringLiteral("'%1' не является числом").arg(text));
    }
    return c;
}

std::int64_t Currency::ToInt64() const
{
    return DivHalfEven(Value, Scale);
}

QString Currency::ToString(const TFormatSettings& fs) const
{
    const bool negative = Value < 0;
    const unsigned __int128 mag = negative ? (unsigned __int128)(-(__int128)Value) : (unsigned __int128)Value;
    const auto whole = std::uint64_t(mag / Scale);
    auto frac = unsigned(mag % Scale);
    QString s = QString::number(whole);
    if (frac != 0) {
        QString digits = QString::number(frac).rightJustified(4, '0');
        while (digits.endsWith('0')) {
            digits.chop(1);
        }
        s += fs.DecimalSeparator + digits;
    }
    return negative ? QStringLiteral("-") + s : s;
}

Currency Currency::operator*(Currency o) const
{
    return FromRaw(DivHalfEven(__int128(Value) * o.Value, Scale));
}

Currency Currency::operator/(Currency o) const
{
    if (o.Value == 0) {
        throw EConvertError(QStringLiteral("Деление на ноль"));
    }
    return FromRaw(DivHalfEven(__int128(Value) * Scale, o.Value));
}

Currency Currency::operator/(std::int64_t n) const
{
    if (n == 0) {
        throw EConvertError(QStringLiteral("Деление на ноль"));
    }
    return FromRaw(DivHalfEven(Value, n));
}
