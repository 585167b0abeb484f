#include "platform/text.h"

#include "platform/datetime.h"
#include "platform/exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

// ---- Code page 1251 -------------------------------------------------------------------------

namespace {

// 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,   // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,   // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,   // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,   // 98 (0x98 has no letter)
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,   // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,   // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,   // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,   // B8
};

struct ReverseTable {
    // 0 means "not in the code page" (U+0000 itself is handled before the lookup).
    unsigned char bytes[65536] = {};
    ReverseTable()
    {
        for (int b = 1; b < 256; ++b) {
            bytes[Cp1251ToUnicode(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
        }
    }
};

const ReverseTable& Reverse()
{
    static const ReverseTable table;
    return table;
}

} // namespace

char16_t Cp1251ToUnicode(unsigned char byte)
{
    if (byte < 0x80) {
        return byte;
    }
    if (byte >= 0xC0) {
        return char16_t(0x0410 + (byte - 0xC0));
    }
    return kCp1251High[byte - 0x80];
}

char UnicodeToCp1251(char16_t ch)
{
    if (ch < 0x80) {
        return char(ch);
    }
    const unsigned char b = Reverse().bytes[ch];
    return b != 0 ? char(b) : '?';
}

QByteArray ToCp1251(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    const ReverseTable& rev = Reverse();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < 0x80) {
            out.append(char(ch));
            continue;
        }
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;   // one code point, one replacement
            out.append('?');
            continue;
        }
        const unsigned char b = rev.bytes[ch];
        out.append(b != 0 ? char(b) : '?');
    }
    return out;
}

QString FromCp1251(const char* bytes, int length)
{
    QString out(length, Qt::Uninitialized);
    QChar* dst = out.data();
    for (int i = 0; i < length; ++i) {
        dst[i] = QChar(Cp1251ToUnicode(static_cast<unsigned char>(bytes[i])));
    }
    return out;
}

QString FromCp1251(const QByteArray& bytes)
{
    return FromCp1251(bytes.constData(), int(bytes.size()));
}

// ---- Format settings ------------------------------------------------------------------------

namespace {

void SetEnglishNames(TFormatSettings& fs)
{
    fs.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    fs.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
    fs.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    fs.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
}

} // namespace

TFormatSettings RussianFormatSettings()
{
    TFormatSettings fs;
    fs.DecimalSeparator = ',';
    fs.ThousandSeparator = QChar(0x00A0);
    fs.DateSeparator = '.';
    fs.TimeSeparator = ':';
    fs.ShortDateFormat = "dd.mm.yyyy";
    fs.LongDateFormat = QString::fromUtf8("d mmmm yyyy 'г.'");
    fs.ShortTimeFormat = "h:nn";
    fs.LongTimeFormat = "h:nn:ss";
    fs.TimeAMString = "";
    fs.TimePMString = "";
    fs.CurrencyString = QString::fromUtf8("р.");
    fs.CurrencyDecimals = 2;
    fs.ShortMonthNames = {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
    fs.LongMonthNames = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                         "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    fs.ShortDayNames = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};
    fs.LongDayNames = {"воскресенье", "понедельник", "вторник", "среда", "четверг", "пятница", "суббота"};
    return fs;
}

TFormatSettings InvariantFormatSettings()
{
    TFormatSettings fs;
    fs.DecimalSeparator = '.';
    fs.ThousandSeparator = ',';
    fs.DateSeparator = '-';
    fs.TimeSeparator = ':';
    fs.ShortDateFormat = "yyyy-mm-dd";
    fs.LongDateFormat = "d mmmm yyyy";
    fs.ShortTimeFormat = "hh:nn";
    fs.LongTimeFormat = "hh:nn:ss";
    SetEnglishNames(fs);
    return fs;
}

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings = RussianFormatSettings();
    return settings;
}

// ---- Integers -------------------------------------------------------------------------------

QString IntToStr(std::int64_t value)
{
    return QString::number(value);
}

QString IntToHex(std::int64_t value, int digits)
{
    return QString::number(static_cast<std::uint64_t>(value), 16).toUpper().rightJustified(digits, '0');
}

bool ReadSign(const QString& s, int& i)
{
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        return s[i++] == '-';
    }
    return false;
}

bool TryStrToInt64(const QString& text, std::int64_t& value)
{
    const QString s = text.trimmed();
    int i = 0;
    const bool negative = ReadSign(s, i);
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) {
        return false;
    }
    // Accumulate the magnitude unsigned; hex may fill all 64 bits (two's complement).
    std::uint64_t mag = 0;
    const std::uint64_t limit = base == 16 ? std::numeric_limits<std::uint64_t>::max()
                                           : std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        int d = -1;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        }
        if (d < 0) {
            return false;
        }
        if (mag > (limit - std::uint64_t(d)) / std::uint64_t(base)) {
            return false;
        }
        mag = mag * std::uint64_t(base) + std::uint64_t(d);
    }
    if (base == 10 && !negative && mag > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        return false;
    }
    value = negative ? std::int64_t(std::uint64_t(0) - mag) : std::int64_t(mag);
    return true;
}

bool TryStrToInt(const QString& text, int& value)
{
    std::int64_t v = 0;
    if (!TryStrToInt64(text, v)) {
        return false;
    }
    const QString s = text.trimmed();
    const bool hex = s.contains('$') || s.contains('x') || s.contains('X');
    if (hex && v >= 0 && v <= 0xFFFFFFFFLL) {
        value = int(std::uint32_t(v));   // "$FFFFFFFF" is -1, as 32-bit hex reads
        return true;
    }
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
        return false;
    }
    value = int(v);
    return true;
}

namespace {

[[noreturn]] void InvalidInteger(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' не является целым числом").arg(text));
}

[[noreturn]] void InvalidFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' не является числом").arg(text));
}

} // namespace

int StrToInt(const QString& text)
{
    int v = 0;
    if (!TryStrToInt(text, v)) {
        InvalidInteger(text);
    }
    return v;
}

std::int64_t StrToInt64(const QString& text)
{
    std::int64_t v = 0;
    if (!TryStrToInt64(text, v)) {
        InvalidInteger(text);
    }
    return v;
}

int StrToIntDef(const QString& text, int def)
{
    int v = 0;
    return TryStrToInt(text, v) ? v : def;
}

std::int64_t StrToInt64Def(const QString& text, std::int64_t def)
{
    std::int64_t v = 0;
    return TryStrToInt64(text, v) ? v : def;
}

// ---- Floating point parsing -----------------------------------------------------------------

bool TryStrToFloat(const QString& text, double& value, const TFormatSettings& fs)
{
    const QString s = text.trimmed();
    std::string ascii;
    ascii.reserve(std::size_t(s.size()));
    int i = 0;
    if (ReadSign(s, i)) {
        ascii.push_back('-');
    }
    bool digits = false;
    for (; i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9'; ++i) {
        ascii.push_back(char(s[i].unicode()));
        digits = true;
    }
    if (i < s.size() && s[i] == fs.DecimalSeparator) {
        ascii.push_back('.');
        for (++i; i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9'; ++i) {
            ascii.push_back(char(s[i].unicode()));
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ascii.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
            ascii.push_back(char(s[i].unicode()));
            ++i;
        }
        bool expDigits = false;
        for (; i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9'; ++i) {
            ascii.push_back(char(s[i].unicode()));
            expDigits = true;
        }
        if (!expDigits) {
            return false;
        }
    }
    if (i != s.size()) {
        return false;
    }
    double v = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    const double largest = std::numeric_limits<double>::max();
    if (res.ec == std::errc::result_out_of_range && (s == FloatToStr(largest, fs) || s == FloatToStr(-largest, fs))) {
        // FloatToStr rounds the largest double up past it; exactly that text reads back as it,
        // any other text past the range is no value.
        v = ascii[0] == '-' ? -largest : largest;
    } else if (res.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a value. Tell them apart by the magnitude:
        // the position of the first significant digit plus the exponent.
        const auto e = ascii.find('e');
        const std::string mantissa = ascii.substr(0, e);
        long long magnitude = 0;
        const auto point = mantissa.find('.');
        const std::string intDigits = mantissa.substr(0, point);
        const auto firstNonZero = intDigits.find_first_not_of("-0");
        if (firstNonZero != std::string::npos) {
            magnitude = (long long)(intDigits.size() - firstNonZero);
        } else if (point != std::string::npos) {
            const auto f = mantissa.find_first_not_of('0', point + 1);
            magnitude = f == std::string::npos ? 0 : -(long long)(f - point - 1);
        }
        if (e != std::string::npos) {
            const std::string expText = ascii.substr(e + 1);
            const bool negExp = !expText.empty() && expText[0] == '-';
            const std::string digitsOnly = expText.substr(expText.find_first_of("0123456789"));
            const long long expValue = digitsOnly.size() > 9 ? 1000000000LL : std::stoll(digitsOnly);
            magnitude += negExp ? -expValue : expValue;
        }
        if (magnitude > 0) {
            return false;
        }
        v = 0;
    } else if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size() || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

double StrToFloat(const QString& text, const TFormatSettings& fs)
{
    double v = 0;
    if (!TryStrToFloat(text, v, fs)) {
        InvalidFloat(text);
    }
    return v;
}

double StrToFloatDef(const QString& text, double def, const TFormatSettings& fs)
{
    double v = 0;
    return TryStrToFloat(text, v, fs) ? v : def;
}

Currency StrToCurr(const QString& text, const TFormatSettings& fs)
{
    return Currency::FromString(text, fs);
}

bool TryStrToCurr(const QString& text, Currency& value, const TFormatSettings& fs)
{
    return Currency::TryFromString(text, fs, value);
}

// ---- Floating point formatting --------------------------------------------------------------

namespace {

// A decimal view of a number: value = 0.d1d2d3... * 10^exponent. Digits carry no trailing zeros;
// an empty digit string is zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// The number with at most `precision` significant digits (correctly rounded from the binary value).
Decimal ToDecimal(double value, int precision)
{
    Decimal d;
    d.negative = std::signbit(value);
    value = std::fabs(value);
    if (value == 0) {
        d.negative = false;
        return d;
    }
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
    const std::string s(buf, res.ptr);
    // d.ddddde[+-]xx
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (s[i] != '.') {
            d.digits.push_back(s[i]);
        }
    }
    d.exponent = std::stoi(s.substr(e + 1)) + 1;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    return d;
}

// Rounds half away from zero so that at most `decimals` digits follow the decimal point.
void RoundDecimals(Decimal& d, int decimals)
{
    const int keep = d.exponent + decimals;   // digits that stay
    if (int(d.digits.size()) <= keep) {
        return;
    }
    if (keep < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[std::size_t(i)] == '9') {
            d.digits[std::size_t(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            d.exponent += 1;
        } else {
            d.digits[std::size_t(i)] += 1;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    if (d.digits.empty()) {
        d.exponent = 0;
    }
}

// Rounds to `significant` digits, half away from zero.
void RoundSignificant(Decimal& d, int significant)
{
    RoundDecimals(d, significant - d.exponent);
}

bool IsZero(const Decimal& d)
{
    return d.digits.empty();
}

// Integer part digits ("" for zero) and fraction digits (exact, no trailing zeros).
void SplitDecimal(const Decimal& d, std::string& intPart, std::string& fracPart)
{
    intPart.clear();
    fracPart.clear();
    if (IsZero(d)) {
        return;
    }
    if (d.exponent > 0) {
        for (int i = 0; i < d.exponent; ++i) {
            intPart.push_back(i < int(d.digits.size()) ? d.digits[std::size_t(i)] : '0');
        }
        if (int(d.digits.size()) > d.exponent) {
            fracPart = d.digits.substr(std::size_t(d.exponent));
        }
    } else {
        fracPart = std::string(std::size_t(-d.exponent), '0') + d.digits;
    }
}

QString Latin(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QString GroupThousands(const std::string& intPart, QChar sep)
{
    QString out;
    const int n = int(intPart.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0 && !sep.isNull()) {
            out += sep;
        }
        out += QChar(intPart[std::size_t(i)]);
    }
    return out;
}

QString SpecialValue(double value)
{
    if (std::isnan(value)) {
        return QStringLiteral("NAN");
    }
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

QString ExponentText(int exponent, bool alwaysSign, int minDigits)
{
    QString s = QString::number(std::abs(exponent)).rightJustified(minDigits, '0');
    if (exponent < 0) {
        return "-" + s;
    }
    return alwaysSign ? "+" + s : s;
}

QString FormatGeneral(double value, int precision, const TFormatSettings& fs)
{
    if (!std::isfinite(value)) {
        return SpecialValue(value);
    }
    if (precision < 1 || precision > 17) {
        precision = 15;
    }
    Decimal d = ToDecimal(value, 17);
    RoundSignificant(d, precision);
    if (IsZero(d)) {
        return QStringLiteral("0");
    }
    QString out = d.negative ? QStringLiteral("-") : QString();
    if (d.exponent > precision || d.exponent < -3) {
        out += QChar(d.digits[0]);
        if (d.digits.size() > 1) {
            out += fs.DecimalSeparator + Latin(d.digits.substr(1));
        }
        out += "E" + ExponentText(d.exponent - 1, false, 1);
        return out;
    }
    std::string intPart;
    std::string fracPart;
    SplitDecimal(d, intPart, fracPart);
    out += intPart.empty() ? QStringLiteral("0") : Latin(intPart);
    if (!fracPart.empty()) {
        out += fs.DecimalSeparator + Latin(fracPart);
    }
    return out;
}

} // namespace

QString FloatToStr(double value, const TFormatSettings& fs)
{
    return FormatGeneral(value, 15, fs);
}

QString FloatToStrF(double value, TFloatFormat format, int precision, int digits, const TFormatSettings& fs)
{
    if (!std::isfinite(value)) {
        return SpecialValue(value);
    }
    if (precision < 1 || precision > 17) {
        precision = 15;
    }
    digits = std::clamp(digits, 0, 18);
    Decimal d = ToDecimal(value, 17);
    RoundSignificant(d, precision);
    switch (format) {
    case ffGeneral:
        return FormatGeneral(value, precision, fs);
    case ffExponent: {
        RoundSignificant(d, precision);
        QString out = d.negative ? QStringLiteral("-") : QString();
        std::string mant = IsZero(d) ? std::string("0") : d.digits;
        mant.resize(std::size_t(precision), '0');
        out += QChar(mant[0]);
        if (precision > 1) {
            out += fs.DecimalSeparator + Latin(mant.substr(1));
        }
        out += "E" + ExponentText(IsZero(d) ? 0 : d.exponent - 1, true, digits);
        return out;
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
        if (d.exponent > precision) {
            return FloatToStrF(value, ffExponent, precision, 0, fs);
        }
        RoundDecimals(d, digits);
        std::string intPart;
        std::string fracPart;
        SplitDecimal(d, intPart, fracPart);
        if (intPart.empty()) {
            intPart.push_back('0');  // not = "0": g++ 12 -O3 warns falsely on that
        }
        fracPart.resize(std::size_t(digits), '0');
        QString out = d.negative && !IsZero(d) ? QStringLiteral("-") : QString();
        out += format == ffFixed ? Latin(intPart) : GroupThousands(intPart, fs.ThousandSeparator);
        if (digits > 0) {
            out += fs.DecimalSeparator + Latin(fracPart);
        }
        return out;
    }
    }
    return FormatGeneral(value, precision, fs);
}

namespace {

// One section of a number pattern, analysed.
struct NumberSection {
    QString text;
    int intPlaceholders = 0;   // '0' and '#' before the decimal point
    int intZeros = 0;          // placeholders from the first '0' on: minimum integer digits
    int fracMin = 0;           // up to the last '0' after the point
    int fracMax = 0;           // all placeholders after the point
    bool thousands = false;
    bool scientific = false;
    int expDigits = 0;
    bool hasDigits = false;
};

// Splits at ';' outside quotes.
QStringList SplitSections(const QString& format)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : format) {
        if (!quote.isNull()) {
            current += c;
            if (c == quote) {
                quote = QChar();
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            current += c;
        } else if (c == ';') {
            sections << current;
            current.clear();
        } else {
            current += c;
        }
    }
    sections << current;
    return sections;
}

NumberSection AnalyseSection(const QString& text)
{
    NumberSection s;
    s.text = text;
    bool afterPoint = false;
    bool seenZero = false;
    int fracIndex = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '"' || c == '\'') {
            const int end = text.indexOf(c, i + 1);
            i = end < 0 ? int(text.size()) : end;
            continue;
        }
        if (s.scientific) {
            continue;
        }
        if (c == '0' || c == '#') {
            s.hasDigits = true;
            if (!afterPoint) {
                ++s.intPlaceholders;
                if (c == '0') {
                    seenZero = true;
                }
                if (seenZero) {
                    ++s.intZeros;
                }
            } else {
                ++fracIndex;
                s.fracMax = fracIndex;
                if (c == '0') {
                    s.fracMin = fracIndex;
                }
            }
        } else if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            if (!afterPoint) {
                s.thousands = true;
            }
        } else if ((c == 'E' || c == 'e') && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
            s.scientific = true;
            for (int j = i + 2; j < text.size() && text[j] == '0'; ++j) {
                ++s.expDigits;
            }
        }
    }
    return s;
}

QString ApplySection(const NumberSection& sec, const Decimal& number, bool withSign, const TFormatSettings& fs)
{
    std::string intPart;
    std::string fracPart;
    int exponent = 0;
    if (sec.scientific) {
        const int intDigits = std::max(1, sec.intPlaceholders);
        Decimal d = number;
        if (!IsZero(d)) {
            exponent = d.exponent - intDigits;
            d.exponent = intDigits;
            RoundDecimals(d, sec.fracMax);
            if (d.exponent > intDigits) {   // rounding carried into a new digit
                d.exponent = intDigits;
                exponent += 1;
            }
        }
        SplitDecimal(d, intPart, fracPart);
    } else {
        SplitDecimal(number, intPart, fracPart);
    }
    if (int(intPart.size()) < sec.intZeros) {
        intPart.insert(0, std::size_t(sec.intZeros - int(intPart.size())), '0');
    }
    if (int(fracPart.size()) < sec.fracMin) {
        fracPart.resize(std::size_t(sec.fracMin), '0');
    }

    QString out = withSign ? QStringLiteral("-") : QString();
    const int n = int(intPart.size());
    int intSlot = 0;
    int fracSlot = 0;
    bool afterPoint = false;
    bool afterExponent = false;   // the analysis counts no placeholder after the exponent
    auto emitIntDigit = [&](int j) {
        if (sec.thousands && j > 0 && (n - j) % 3 == 0) {
            out += fs.ThousandSeparator;
        }
        out += QChar(intPart[std::size_t(j)]);
    };
    const QString& t = sec.text;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == '"' || c == '\'') {
            const int end = t.indexOf(c, i + 1);
            out += t.mid(i + 1, (end < 0 ? t.size() : end) - i - 1);
            i = end < 0 ? int(t.size()) : end;
        } else if (c == '0' || c == '#') {
            if (afterExponent) {
                // no digit slot left for it
            } else if (!afterPoint) {
                const int j = n - sec.intPlaceholders + intSlot;
                if (intSlot == 0) {
                    for (int k = 0; k <= j; ++k) {
                        emitIntDigit(k);
                    }
                } else if (j >= 0) {
                    emitIntDigit(j);
                }
                ++intSlot;
            } else {
                if (fracSlot < int(fracPart.size())) {
                    out += QChar(fracPart[std::size_t(fracSlot)]);
                }
                ++fracSlot;
            }
        } else if (c == '.') {
            if (!afterPoint && !fracPart.empty()) {
                out += fs.DecimalSeparator;
            }
            afterPoint = true;
        } else if (c == ',') {
            // grouping is decided for the whole integer part
        } else if ((c == 'E' || c == 'e') && sec.scientific && i + 1 < t.size() && (t[i + 1] == '+' || t[i + 1] == '-')) {
            out += c;
            out += ExponentText(exponent, t[i + 1] == '+', sec.expDigits);
            i += 1 + sec.expDigits;
            afterExponent = true;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString FormatFloat(const QString& format, double value, const TFormatSettings& fs)
{
    if (format.isEmpty()) {
        return FloatToStr(value, fs);
    }
    if (!std::isfinite(value)) {
        return SpecialValue(value);
    }
    const QStringList sections = SplitSections(format);
    const NumberSection positive = AnalyseSection(sections[0]);
    const bool negative = value < 0;
    NumberSection sec = positive;
    bool withSign = negative;
    if (negative && sections.size() >= 2 && !sections[1].isEmpty()) {
        sec = AnalyseSection(sections[1]);
        withSign = false;   // the negative section writes its own sign, if any
    }
    Decimal d = ToDecimal(value, 15);
    d.negative = false;
    if (!sec.scientific) {
        RoundDecimals(d, sec.fracMax);
    }
    if (IsZero(d)) {
        if (sections.size() >= 3 && !sections[2].isEmpty()) {
            return ApplySection(AnalyseSection(sections[2]), Decimal(), false, fs);
        }
        // A negative value that rounds to zero shows as zero, not "-0".
        sec = positive;
        withSign = false;
        if (!sec.scientific) {
            RoundDecimals(d, sec.fracMax);
        }
    }
    if (!sec.hasDigits) {
        withSign = false;
    }
    return ApplySection(sec, d, withSign, fs);
}

QString FormatCurr(const QString& format, Currency value, const TFormatSettings& fs)
{
    return FormatFloat(format, value.ToDouble(), fs);
}

QString CurrToStr(Currency value, const TFormatSettings& fs)
{
    return value.ToString(fs);
}

// ---- Date and time formatting ---------------------------------------------------------------

namespace {

struct DateParts {
    int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0, dow = 1;
};

int CountRun(const QString& f, int i, QChar c)
{
    int n = 0;
    while (i + n < f.size() && f[i + n].toLower() == c) {
        ++n;
    }
    return n;
}

bool StartsWithCI(const QString& f, int i, const char* token)
{
    return f.mid(i, qsizetype(std::strlen(token))).compare(QLatin1String(token), Qt::CaseInsensitive) == 0;
}

bool HasAmPm(const QString& f)
{
    return f.contains(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
           f.contains(QLatin1String("a/p"), Qt::CaseInsensitive) ||
           f.contains(QLatin1String("ampm"), Qt::CaseInsensitive);
}

QString Two(int v)
{
    return QString::number(v).rightJustified(2, '0');
}

void AppendFormatted(QString& out, const QString& f, const DateParts& p, double dt, const TFormatSettings& fs, int depth)
{
    if (depth > 2) {
        return;   // a settings format that names itself must not recurse forever
    }
    const bool twelve = HasAmPm(f);
    bool lastWasHour = false;
    int i = 0;
    while (i < f.size()) {
        const QChar c = f[i];
        const QChar lc = c.toLower();
        if (c == '"' || c == '\'') {
            const int end = f.indexOf(c, i + 1);
            out += f.mid(i + 1, (end < 0 ? f.size() : end) - i - 1);
            i = end < 0 ? int(f.size()) : end + 1;
            continue;
        }
        if (lc == 'a') {
            const bool pm = p.hour >= 12;
            if (StartsWithCI(f, i, "am/pm")) {
                const QString token = f.mid(i, 5);
                out += pm ? (token[0].isUpper() ? "PM" : "pm") : (token[0].isUpper() ? "AM" : "am");
                i += 5;
                continue;
            }
            if (StartsWithCI(f, i, "a/p")) {
                const bool upper = f[i].isUpper();
                out += pm ? (upper ? "P" : "p") : (upper ? "A" : "a");
                i += 3;
                continue;
            }
            if (StartsWithCI(f, i, "ampm")) {
                out += pm ? fs.TimePMString : fs.TimeAMString;
                i += 4;
                continue;
            }
        }
        int n = 1;
        switch (lc.unicode()) {
        case 'c':
            AppendFormatted(out, fs.ShortDateFormat, p, dt, fs, depth + 1);
            if (p.hour != 0 || p.min != 0 || p.sec != 0 || p.msec != 0) {
                out += ' ';
                AppendFormatted(out, fs.LongTimeFormat, p, dt, fs, depth + 1);
            }
            lastWasHour = false;
            break;
        case 'd':
            n = CountRun(f, i, 'd');
            switch (n) {
            case 1: out += QString::number(p.day); break;
            case 2: out += Two(p.day); break;
            case 3: out += fs.ShortDayNames[std::size_t(p.dow - 1)]; break;
            case 4: out += fs.LongDayNames[std::size_t(p.dow - 1)]; break;
            case 5: AppendFormatted(out, fs.ShortDateFormat, p, dt, fs, depth + 1); break;
            default: n = 6; AppendFormatted(out, fs.LongDateFormat, p, dt, fs, depth + 1); break;
            }
            lastWasHour = false;
            break;
        case 'm':
            n = std::min(CountRun(f, i, 'm'), 4);
            if (lastWasHour && n <= 2) {
                out += n == 1 ? QString::number(p.min) : Two(p.min);
            } else {
                switch (n) {
                case 1: out += QString::number(p.month); break;
                case 2: out += Two(p.month); break;
                case 3: out += fs.ShortMonthNames[std::size_t(p.month - 1)]; break;
                default: out += fs.LongMonthNames[std::size_t(p.month - 1)]; break;
                }
            }
            lastWasHour = false;
            break;
        case 'y':
            n = CountRun(f, i, 'y');
            out += n <= 2 ? Two(p.year % 100) : QString::number(p.year).rightJustified(4, '0');
            lastWasHour = false;
            break;
        case 'h': {
            n = std::min(CountRun(f, i, 'h'), 2);
            int h = p.hour;
            if (twelve) {
                h %= 12;
                if (h == 0) {
                    h = 12;
                }
            }
            out += n == 1 ? QString::number(h) : Two(h);
            lastWasHour = true;
            i += n;
            continue;
        }
        case 'n':
            n = std::min(CountRun(f, i, 'n'), 2);
            out += n == 1 ? QString::number(p.min) : Two(p.min);
            lastWasHour = false;
            break;
        case 's':
            n = std::min(CountRun(f, i, 's'), 2);
            out += n == 1 ? QString::number(p.sec) : Two(p.sec);
            lastWasHour = false;
            break;
        case 'z':
            n = CountRun(f, i, 'z');
            out += n >= 3 ? QString::number(p.msec).rightJustified(3, '0') : QString::number(p.msec);
            n = n >= 3 ? 3 : 1;
            lastWasHour = false;
            break;
        case 't':
            n = std::min(CountRun(f, i, 't'), 2);
            AppendFormatted(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, dt, fs, depth + 1);
            lastWasHour = false;
            break;
        case '/':
            out += fs.DateSeparator;
            break;
        case ':':
            out += fs.TimeSeparator;
            break;
        default:
            out += c;
            break;
        }
        i += n;
    }
}

} // namespace

QString FormatDateTime(const QString& format, double dt, const TFormatSettings& fs)
{
    DateParts p;
    DecodeDateTime(dt, p.year, p.month, p.day, p.hour, p.min, p.sec, p.msec);
    p.dow = DayOfWeek(dt);
    QString out;
    AppendFormatted(out, format.isEmpty() ? QStringLiteral("c") : format, p, dt, fs, 0);
    return out;
}

QString DateToStr(double dt, const TFormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("ddddd"), dt, fs);
}

QString TimeToStr(double dt, const TFormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("tt"), dt, fs);
}

QString DateTimeToStr(double dt, const TFormatSettings& fs)
{
    return FormatDateTime(QStringLiteral("c"), dt, fs);
}

// ---- Date and time parsing ------------------------------------------------------------------

namespace {

class Scanner {
public:
    explicit Scanner(const QString& s) : s_(s) {}
    void SkipBlanks()
    {
        while (pos_ < s_.size() && s_[pos_].isSpace()) {
            ++pos_;
        }
    }
    bool AtEnd() const { return pos_ >= s_.size(); }
    // Reads up to maxDigits decimal digits; `count` gets how many were read.
    bool Number(int& value, int& count, int maxDigits = 9)
    {
        value = 0;
        count = 0;
        while (pos_ < s_.size() && count < maxDigits && s_[pos_].unicode() >= '0' && s_[pos_].unicode() <= '9') {
            value = value * 10 + (s_[pos_].unicode() - '0');
            ++pos_;
            ++count;
        }
        return count > 0;
    }
    bool Char(QChar c)
    {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(const QString& w)
    {
        if (!w.isEmpty() && s_.mid(pos_, w.size()).compare(w, Qt::CaseInsensitive) == 0) {
            pos_ += int(w.size());
            return true;
        }
        return false;
    }
    int pos_ = 0;

private:
    const QString& s_;
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(const QString& shortDate)
{
    const QString f = shortDate.toLower();
    const int d = int(f.indexOf('d'));
    const int m = int(f.indexOf('m'));
    const int y = int(f.indexOf('y'));
    if (y >= 0 && (d < 0 || y < d) && (m < 0 || y < m)) {
        return DateOrder::YMD;
    }
    if (m >= 0 && d >= 0 && m < d) {
        return DateOrder::MDY;
    }
    return DateOrder::DMY;
}

bool ScanDate(Scanner& sc, double& value, const TFormatSettings& fs)
{
    sc.SkipBlanks();
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            sc.SkipBlanks();
            if (!sc.Char(fs.DateSeparator)) {
                return false;
            }
            sc.SkipBlanks();
        }
        if (!sc.Number(n[k], digits[k], 4)) {
            return false;
        }
    }
    int y = 0;
    int m = 0;
    int d = 0;
    int yDigits = 0;
    switch (OrderOf(fs.ShortDateFormat)) {
    case DateOrder::DMY: d = n[0]; m = n[1]; y = n[2]; yDigits = digits[2]; break;
    case DateOrder::MDY: m = n[0]; d = n[1]; y = n[2]; yDigits = digits[2]; break;
    case DateOrder::YMD: y = n[0]; m = n[1]; d = n[2]; yDigits = digits[0]; break;
    }
    if (yDigits <= 2) {
        y += y < fs.TwoDigitYearPivot ? 2000 : 1900;
    }
    return TryEncodeDate(y, m, d, value);
}

bool ScanTime(Scanner& sc, double& value, const TFormatSettings& fs)
{
    sc.SkipBlanks();
    int h = 0;
    int n = 0;
    int s = 0;
    int z = 0;
    int count = 0;
    if (!sc.Number(h, count, 2)) {
        return false;
    }
    if (!sc.Char(fs.TimeSeparator) || !sc.Number(n, count, 2)) {
        return false;
    }
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(s, count, 2)) {
            return false;
        }
        if (sc.Char('.') || sc.Char(fs.DecimalSeparator)) {
            if (!sc.Number(z, count, 3)) {
                return false;
            }
            for (; count < 3; ++count) {
                z *= 10;
            }
        }
    }
    sc.SkipBlanks();
    int shift = -1;   // -1: 24-hour clock
    if (sc.Word(QStringLiteral("AM")) || sc.Word(fs.TimeAMString)) {
        shift = 0;
    } else if (sc.Word(QStringLiteral("PM")) || sc.Word(fs.TimePMString)) {
        shift = 12;
    }
    if (shift >= 0) {
        if (h < 1 || h > 12) {
            return false;
        }
        h = h % 12 + shift;
    }
    return TryEncodeTime(h, n, s, z, value);
}

} // namespace

namespace {

// The whole text (blanks around allowed) must be what `scan` reads.
bool ScanWhole(const QString& text, double& value, const TFormatSettings& fs,
               bool (*scan)(Scanner&, double&, const TFormatSettings&))
{
    Scanner sc(text);
    double v = 0;
    if (!scan(sc, v, fs)) {
        return false;
    }
    sc.SkipBlanks();
    if (!sc.AtEnd()) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

bool TryStrToDate(const QString& text, double& value, const TFormatSettings& fs)
{
    return ScanWhole(text, value, fs, ScanDate);
}

bool TryStrToTime(const QString& text, double& value, const TFormatSettings& fs)
{
    return ScanWhole(text, value, fs, ScanTime);
}

bool TryStrToDateTime(const QString& text, double& value, const TFormatSettings& fs)
{
    Scanner sc(text);
    double d = 0;
    if (!ScanDate(sc, d, fs)) {
        // A time alone is a time on day zero.
        return TryStrToTime(text, value, fs);
    }
    sc.SkipBlanks();
    double t = 0;
    if (!sc.AtEnd()) {
        if (!ScanTime(sc, t, fs)) {
            return false;
        }
        sc.SkipBlanks();
        if (!sc.AtEnd()) {
            return false;
        }
    }
    value = d >= 0 ? d + t : d - t;
    return true;
}

double StrToDate(const QString& text, const TFormatSettings& fs)
{
    double v = 0;
    if (!TryStrToDate(text, v, fs)) {
        throw EConvertError(QStringLiteral("'%1' не является датой").arg(text));
    }
    return v;
}

double StrToTime(const QString& text, const TFormatSettings& fs)
{
    double v = 0;
    if (!TryStrToTime(text, v, fs)) {
        throw EConvertError(QStringLiteral("'%1' не является временем").arg(text));
    }
    return v;
}

double StrToDateTime(const QString& text, const TFormatSettings& fs)
{
    double v = 0;
    if (!TryStrToDateTime(text, v, fs)) {
        throw EConvertError(QStringLiteral("'%1' не является датой и временем").arg(text));
    }
    return v;
}

// ---- Strings --------------------------------------------------------------------------------

int CompareText(const QString& a, const QString& b)
{
    const int r = a.compare(b, Qt::CaseInsensitive);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString QuotedStr(const QString& text, QChar quote)
{
    QString out;
    out.reserve(text.size() + 2);
    out += quote;
    for (const QChar c : text) {
        out += c;
        if (c == quote) {
            out += quote;
        }
    }
    out += quote;
    return out;
}

QString DequotedStr(const QString& text, QChar quote)
{
    if (text.isEmpty() || text[0] != quote) {
        return text;
    }
    int i = 0;
    return ReadQuotedItem(text, i, quote);
}

QString ReadQuotedItem(const QString& text, int& i, QChar quote)
{
    const int n = int(text.size());
    QString out;
    ++i;
    while (i < n) {
        if (text[i] == quote) {
            if (i + 1 < n && text[i + 1] == quote) {
                out += quote;
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        out += text[i++];
    }
    return out;
}
