// Text services: the code page 1251 codec for byte-based edges, the format-settings object and
// number/date formatting and parsing. Nothing here reads the system locale: every routine takes
// its settings explicitly, or the process-wide FormatSettings() that the program sets up.
#pragma once

#include "platform/currency.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// ---- Code page 1251 -------------------------------------------------------------------------

// Every byte maps to one character and back (0x98, unassigned in the code page, maps to U+0098).
char16_t Cp1251ToUnicode(unsigned char byte);
// '?' for characters the code page does not have.
char UnicodeToCp1251(char16_t ch);
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* bytes, int length);

// ---- Format settings ------------------------------------------------------------------------

struct TFormatSettings {
    QChar DecimalSeparator = '.';
    QChar ThousandSeparator = ',';
    QChar DateSeparator = '/';
    QChar TimeSeparator = ':';
    QString ShortDateFormat = "dd/mm/yyyy";
    QString LongDateFormat = "d mmmm yyyy";
    QString ShortTimeFormat = "hh:nn";
    QString LongTimeFormat = "hh:nn:ss";
    QString TimeAMString = "AM";
    QString TimePMString = "PM";
    QString CurrencyString = "";
    int CurrencyDecimals = 2;
    std::array<QString, 12> ShortMonthNames;
    std::array<QString, 12> LongMonthNames;
    std::array<QString, 7> ShortDayNames;   // [0] = Sunday
    std::array<QString, 7> LongDayNames;
    // A two-digit year below the pivot is read as 20yy, otherwise as 19yy (fixed, so that
    // parsing does not depend on today's date).
    int TwoDigitYearPivot = 50;
};

// Russian conventions: ',' decimal, no-break space thousands, "dd.mm.yyyy", "h:nn:ss",
// Russian month and day names.
TFormatSettings RussianFormatSettings();
// '.' decimal, ',' thousands, "yyyy-mm-dd", "hh:nn:ss", English names.
TFormatSettings InvariantFormatSettings();
// The process-wide settings the program uses where no other settings are given.
// Starts as RussianFormatSettings(); the program (or a test) may change it.
TFormatSettings& FormatSettings();

// ---- Numbers --------------------------------------------------------------------------------

QString IntToStr(std::int64_t value);
// Upper-case hex, at least `digits` digits; negative values show their two's complement.
QString IntToHex(std::int64_t value, int digits);

// Steps past an optional '+' or '-' at s[i]; true when it was '-'. Shared by the number readers.
bool ReadSign(const QString& s, int& i);

// Decimal integers with optional sign and blanks around; "$" or "0x" prefix reads hex.
// Raise EConvertError "'%s' is not a valid integer value".
int StrToInt(const QString& text);
std::int64_t StrToInt64(const QString& text);
int StrToIntDef(const QString& text, int def);
std::int64_t StrToInt64Def(const QString& text, std::int64_t def);
bool TryStrToInt(const QString& text, int& value);
bool TryStrToInt64(const QString& text, std::int64_t& value);

// Reads a number with the settings' decimal separator (an exponent is allowed).
// Raise EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const QString& text, const TFormatSettings& fs = FormatSettings());
double StrToFloatDef(const QString& text, double def, const TFormatSettings& fs = FormatSettings());
bool TryStrToFloat(const QString& text, double& value, const TFormatSettings& fs = FormatSettings());

Currency StrToCurr(const QString& text, const TFormatSettings& fs = FormatSettings());
bool TryStrToCurr(const QString& text, Currency& value, const TFormatSettings& fs = FormatSettings());

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// General format with 15 significant digits, shortest form ("0,1", "1E20", "-3").
QString FloatToStr(double value, const TFormatSettings& fs = FormatSettings());
// ffGeneral: precision significant digits, exponent when shorter or needed;
// ffExponent: d.dddE+dd with `digits` exponent digits; ffFixed: `digits` decimals;
// ffNumber: as ffFixed with thousand separators; ffCurrency: as ffNumber (no currency symbol).
QString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                    const TFormatSettings& fs = FormatSettings());

// Patterns: '0' digit, '#' optional digit, '.' decimal point, ',' thousands, 'E+'/'E-' exponent,
// quoted text literal, up to three ';'-separated sections (positive; negative; zero).
QString FormatFloat(const QString& format, double value, const TFormatSettings& fs = FormatSettings());
QString FormatCurr(const QString& format, Currency value, const TFormatSettings& fs = FormatSettings());
QString CurrToStr(Currency value, const TFormatSettings& fs = FormatSettings());

// ---- Dates and times ------------------------------------------------------------------------

// Format specifiers: c, d, dd, ddd, dddd, ddddd, dddddd, m, mm, mmm, mmmm, yy, yyyy, h, hh, n, nn,
// s, ss, z, zzz, t, tt, am/pm, a/p, '/', ':', quoted literals. 'm' right after an hour means minutes.
QString FormatDateTime(const QString& format, double dt, const TFormatSettings& fs = FormatSettings());
QString DateToStr(double dt, const TFormatSettings& fs = FormatSettings());
QString TimeToStr(double dt, const TFormatSettings& fs = FormatSettings());
QString DateTimeToStr(double dt, const TFormatSettings& fs = FormatSettings());

// Dates are read in the order of the short date format's d, m and y, with the date separator;
// times as h:n[:s[.z]] with an optional AM/PM. Raise EConvertError "'%s' is not a valid date" /
// "'%s' is not a valid time" / "'%s' is not a valid date and time".
double StrToDate(const QString& text, const TFormatSettings& fs = FormatSettings());
double StrToTime(const QString& text, const TFormatSettings& fs = FormatSettings());
double StrToDateTime(const QString& text, const TFormatSettings& fs = FormatSettings());
bool TryStrToDate(const QString& text, double& value, const TFormatSettings& fs = FormatSettings());
bool TryStrToTime(const QString& text, double& value, const TFormatSettings& fs = FormatSettings());
bool TryStrToDateTime(const QString& text, double& value, const TFormatSettings& fs = FormatSettings());

// ---- Strings --------------------------------------------------------------------------------

// Case-insensitive comparison that folds Cyrillic as well as Latin letters.
int CompareText(const QString& a, const QString& b);
bool SameText(const QString& a, const QString& b);
// Wraps in `quote`, doubling any quote inside: QuotedStr("it's") = "'it''s'".
QString QuotedStr(const QString& text, QChar quote = '\'');
// Undoes QuotedStr when the text starts with the quote; otherwise returns the text unchanged.
QString DequotedStr(const QString& text, QChar quote = '\'');
// Reads the quoted item whose opening quote is text[i], undoubling doubled quotes; leaves i just
// past the closing quote, or at the end when there is none. Shared by the list splitters.
QString ReadQuotedItem(const QString& text, int& i, QChar quote);
