#include "platform/datetime.h"
#include "platform/exceptions.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const TFormatSettings ru = RussianFormatSettings();
const TFormatSettings inv = InvariantFormatSettings();
const QString nbsp(QChar(0x00A0));

QString ConvertErrorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace

// ---- Code page 1251 ----

TEST(Cp1251, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(char(b));
    }
    const QString text = FromCp1251(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(ToCp1251(text), all);
    // The 256 bytes map to 256 different characters.
    QSet<QChar> distinct(text.begin(), text.end());
    EXPECT_EQ(distinct.size(), 256);
    EXPECT_EQ(text[0x98].unicode(), 0x0098);
}

TEST(Cp1251, KnownLetters)
{
    EXPECT_EQ(Cp1251ToUnicode(0xC0), u'А');
    EXPECT_EQ(Cp1251ToUnicode(0xFF), u'я');
    EXPECT_EQ(Cp1251ToUnicode(0xA8), u'Ё');
    EXPECT_EQ(Cp1251ToUnicode(0xB8), u'ё');
    EXPECT_EQ(Cp1251ToUnicode(0xB9), u'№');
    EXPECT_EQ(Cp1251ToUnicode(0x88), u'€');
    EXPECT_EQ(Cp1251ToUnicode(0xA0), 0x00A0);
    EXPECT_EQ(ToCp1251(QString::fromUtf8("Дравик №5")), QByteArray("\xC4\xF0\xE0\xE2\xE8\xEA \xB9" "5"));
    EXPECT_EQ(FromCp1251(QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2")), QString::fromUtf8("Привет"));
}

TEST(Cp1251, UnmappableCharactersBecomeQuestionMarks)
{
    EXPECT_EQ(ToCp1251(QString::fromUtf8("a\u00E9b\u4E2Dc")), QByteArray("a?b?c"));
    // A character outside the basic plane is one character: one '?'.
    EXPECT_EQ(ToCp1251(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
    EXPECT_EQ(UnicodeToCp1251(u'Ж'), char(0xC6));
    EXPECT_EQ(UnicodeToCp1251(0x0098), char(0x98));
    EXPECT_EQ(UnicodeToCp1251(0x00C0), '?');
}

// ---- Integers ----

TEST(IntegerText, ParsesDecimalAndHex)
{
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt("+8"), 8);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToIntDef("x", 5), 5);
    int v = 0;
    EXPECT_FALSE(TryStrToInt("2147483648", v));
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_FALSE(TryStrToInt("-", v));
    EXPECT_FALSE(TryStrToInt("1 2", v));
    EXPECT_FALSE(TryStrToInt("1,5", v));
    std::int64_t w = 0;
    EXPECT_FALSE(TryStrToInt64("9223372036854775808", w));
    EXPECT_EQ(ConvertErrorText([] { StrToInt("12a"); }), QStringLiteral("'12a' не является целым числом"));
    EXPECT_EQ(IntToStr(-12), "-12");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
}

// ---- Floating point ----

TEST(FloatText, ParsesWithTheGivenDecimalSeparator)
{
    EXPECT_DOUBLE_EQ(StrToFloat("1,5", ru), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("1.5", inv), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -2,5E3 ", ru), -2500);
    EXPECT_DOUBLE_EQ(StrToFloat(",5", ru), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("7", ru), 7);
    EXPECT_DOUBLE_EQ(StrToFloat("1e-400", inv), 0);
    double d = 0;
    EXPECT_FALSE(TryStrToFloat("1.5", d, ru));
    EXPECT_FALSE(TryStrToFloat("1,5", d, inv));
    EXPECT_FALSE(TryStrToFloat("", d, inv));
    EXPECT_FALSE(TryStrToFloat(".", d, inv));
    EXPECT_FALSE(TryStrToFloat("1e", d, inv));
    EXPECT_FALSE(TryStrToFloat("1e400", d, inv));
    EXPECT_FALSE(TryStrToFloat("nan", d, inv));
    EXPECT_FALSE(TryStrToFloat("1 000", d, inv));
    EXPECT_EQ(StrToFloatDef("x", 2.5, inv), 2.5);
    EXPECT_EQ(ConvertErrorText([] { StrToFloat("abc", ru); }), QStringLiteral("'abc' не является числом"));
}

TEST(FloatText, WhatFloatToStrWritesForTheLargestDoubleReadsBack)
{
    const double largest = std::numeric_limits<double>::max();
    for (const TFormatSettings& fs : {ru, inv}) {
        EXPECT_EQ(StrToFloat(FloatToStr(largest, fs), fs), largest);
        EXPECT_EQ(StrToFloat(FloatToStr(-largest, fs), fs), -largest);
        EXPECT_EQ(StrToFloat(FloatToStrF(largest, ffGeneral, 15, 0, fs), fs), largest);
    }
    EXPECT_EQ(StrToFloat("1,79769313486232E308", ru), largest);
    EXPECT_EQ(StrToFloat("-1,79769313486232E308", ru), -largest);
    // Beyond that rounding it is still no value.
    double d = 0;
    EXPECT_FALSE(TryStrToFloat("1.79769313486233E308", d, inv));
    EXPECT_FALSE(TryStrToFloat("1.7976931348624E308", d, inv));
    EXPECT_FALSE(TryStrToFloat("1.79769313486232E309", d, inv));
    EXPECT_FALSE(TryStrToFloat("3E308", d, inv));
}

TEST(FloatText, OtherTextPastTheLargestDoubleIsNoValue)
{
    double d = 0;
    for (const char* text : {"2e308", "1.8e308", "-2E308", "1.797693134862316E308", "1.797693134862320000e308",
                             "17976931348623.2E295", "1.79769313486232e308", "+1.79769313486232E308"})
        EXPECT_FALSE(TryStrToFloat(text, d, inv)) << text;
    EXPECT_FALSE(TryStrToFloat("2e308", d, ru));
}

TEST(FloatText, FloatToStrIsShortestWithFifteenDigits)
{
    EXPECT_EQ(FloatToStr(0.1, ru), "0,1");
    EXPECT_EQ(FloatToStr(0.1, inv), "0.1");
    EXPECT_EQ(FloatToStr(0, inv), "0");
    EXPECT_EQ(FloatToStr(-3, inv), "-3");
    EXPECT_EQ(FloatToStr(100, inv), "100");
    EXPECT_EQ(FloatToStr(1.0 / 3, inv), "0.333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3, inv), "0.666666666666667");
    EXPECT_EQ(FloatToStr(0.1 + 0.2, inv), "0.3");
    EXPECT_EQ(FloatToStr(0.0001, inv), "0.0001");
    EXPECT_EQ(FloatToStr(0.00001, inv), "1E-5");
    EXPECT_EQ(FloatToStr(1.5e-7, ru), "1,5E-7");
    EXPECT_EQ(FloatToStr(1e20, inv), "1E20");
    EXPECT_EQ(FloatToStr(123456789012345.0, inv), "123456789012345");
    EXPECT_EQ(FloatToStr(1234567890123456.0, inv), "1.23456789012346E15");
    EXPECT_EQ(FloatToStr(-1234.5678, ru), "-1234,5678");
}

TEST(FloatText, FormatFloatPatterns)
{
    EXPECT_EQ(FormatFloat("0", 2.5, inv), "3");   // halves away from zero
    EXPECT_EQ(FormatFloat("0", -2.5, inv), "-3");
    EXPECT_EQ(FormatFloat("0", 0.4, inv), "0");
    EXPECT_EQ(FormatFloat("0", -0.4, inv), "0");   // no "-0"
    EXPECT_EQ(FormatFloat("0.000", 1.23456, ru), "1,235");
    EXPECT_EQ(FormatFloat("0.000", 1.23456, inv), "1.235");
    EXPECT_EQ(FormatFloat("0.000", 0, ru), "0,000");
    EXPECT_EQ(FormatFloat("0.00", 2.675, inv), "2.68");   // decided on the decimal digits
    EXPECT_EQ(FormatFloat("0.00", 0.005, inv), "0.01");
    EXPECT_EQ(FormatFloat("000", 7, inv), "007");
    EXPECT_EQ(FormatFloat("0.##", 5, ru), "5");
    EXPECT_EQ(FormatFloat("0.##", 5.1, ru), "5,1");
    EXPECT_EQ(FormatFloat("0.##", 5.126, ru), "5,13");
    EXPECT_EQ(FormatFloat("#.##", 0.5, inv), ".5");
    EXPECT_EQ(FormatFloat("0.00", 1e20, inv), "100000000000000000000.00");
}

TEST(FloatText, FormatFloatThousands)
{
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891, inv), "1,234,567.89");
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891, ru), "1" + nbsp + "234" + nbsp + "567,89");
    EXPECT_EQ(FormatFloat("#,##0", 999, inv), "999");
    EXPECT_EQ(FormatFloat("#,##0", 1000, inv), "1,000");
    EXPECT_EQ(FormatFloat("#,##0", -1234, inv), "-1,234");
    EXPECT_EQ(FormatFloat("#,##0", 0, inv), "0");
    EXPECT_EQ(FormatFloat("#,##0.00", 999.999, inv), "1,000.00");
}

TEST(FloatText, FormatFloatSectionsAndLiterals)
{
    EXPECT_EQ(FormatFloat("0.00;(0.00)", -5, inv), "(5.00)");
    EXPECT_EQ(FormatFloat("0.00;(0.00)", 5, inv), "5.00");
    EXPECT_EQ(FormatFloat("0.00;-0.00;'zero'", 0, inv), "zero");
    EXPECT_EQ(FormatFloat("0.00;-0.00;'zero'", 0.001, inv), "zero");   // zero after rounding
    EXPECT_EQ(FormatFloat("0.00;;\"nil\"", -1.5, inv), "-1.50");       // empty negative section
    EXPECT_EQ(FormatFloat("\"Total: \"0.0", 3.14159, ru), "Total: 3,1");
    EXPECT_EQ(FormatFloat("0 'kg'", 12, inv), "12 kg");
    EXPECT_EQ(FormatFloat("'a;b' 0", 1, inv), "a;b 1");   // ';' inside quotes is text
    EXPECT_EQ(FormatFloat("0.00E+00", 12345, ru), "1,23E+04");
    EXPECT_EQ(FormatFloat("0.0E-0", 0.00012, inv), "1.2E-4");
    EXPECT_EQ(FormatFloat("", 0.5, ru), "0,5");
}

TEST(FloatText, FormatFloatPlaceholdersAfterTheExponentWriteNothing)
{
    // Placeholders after the exponent have no digit slot: they used to index past the digits.
    EXPECT_EQ(FormatFloat("0E+0" + QString(200, '#'), 12345, inv), "1E+4");
    EXPECT_EQ(FormatFloat("0E+0#0#0 'x'", -12345, inv), "-1E+4 x");
    EXPECT_EQ(FormatFloat("E+0##", 70, inv), "E+1");   // no placeholder before the exponent
    EXPECT_EQ(FormatFloat("0.0E+0.##", 0.5, ru), "5,0E-1");
}

TEST(FloatText, FloatToStrFFormats)
{
    EXPECT_EQ(FloatToStrF(1234.5, ffFixed, 15, 2, inv), "1234.50");
    EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 2, inv), "1,234.50");
    EXPECT_EQ(FloatToStrF(-0.004, ffFixed, 15, 2, inv), "0.00");
    EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2, inv), "1.235E+03");
    EXPECT_EQ(FloatToStrF(1234.5, ffGeneral, 3, 0, inv), "1.23E3");
}

// ---- Dates and times ----

TEST(DateText, FormatDateTimePatterns)
{
    const TDateTime dt = EncodeDateTime(2024, 3, 5, 7, 8, 9, 12);
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy", dt, ru), "05.03.2024");
    EXPECT_EQ(FormatDateTime("d.m.yy", dt, ru), "5.3.24");
    EXPECT_EQ(FormatDateTime("hh:nn:ss", dt, ru), "07:08:09");
    EXPECT_EQ(FormatDateTime("h:nn", dt, ru), "7:08");
    EXPECT_EQ(FormatDateTime("hh:mm", dt, ru), "07:08");   // m after an hour is minutes
    EXPECT_EQ(FormatDateTime("zzz", dt, ru), "012");
    EXPECT_EQ(FormatDateTime("yy", dt, ru), "24");
    EXPECT_EQ(FormatDateTime("c", dt, ru), "05.03.2024 7:08:09");
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 3, 5), ru), "05.03.2024");
    EXPECT_EQ(FormatDateTime("ddddd", dt, ru), "05.03.2024");
    EXPECT_EQ(FormatDateTime("tt", dt, ru), "7:08:09");
    EXPECT_EQ(FormatDateTime("ddddd tt", dt, inv), "2024-03-05 07:08:09");
    EXPECT_EQ(FormatDateTime("'at' hh \"o'clock\"", dt, inv), "at 07 o'clock");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", dt, ru), "2024.03.05");   // '/' is the date separator
    EXPECT_EQ(FormatDateTime("ddd mmm", dt, inv), "Tue Mar");
    EXPECT_EQ(FormatDateTime("dddd, mmmm", dt, inv), "Tuesday, March");
    EXPECT_EQ(FormatDateTime("ddd", dt, ru), QString::fromUtf8("Вт"));
    EXPECT_EQ(FormatDateTime("h:nn am/pm", dt + 0.5, inv), "7:08 pm");
    EXPECT_EQ(FormatDateTime("h AM/PM", EncodeTime(0, 30, 0, 0), inv), "12 AM");
    EXPECT_EQ(DateToStr(dt, ru), "05.03.2024");
    EXPECT_EQ(TimeToStr(dt, ru), "7:08:09");
}

TEST(DateText, ParsesByTheShortDateFormat)
{
    EXPECT_EQ(StrToDate("05.03.2024", ru), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate(" 1.2.24 ", ru), EncodeDate(2024, 2, 1));
    EXPECT_EQ(StrToDate("1.2.99", ru), EncodeDate(1999, 2, 1));
    EXPECT_EQ(StrToDate("29.02.2000", ru), EncodeDate(2000, 2, 29));
    EXPECT_EQ(StrToDate("2024-03-05", inv), EncodeDate(2024, 3, 5));
    TFormatSettings us = inv;
    us.ShortDateFormat = "m/d/yyyy";
    us.DateSeparator = '/';
    EXPECT_EQ(StrToDate("3/5/2024", us), EncodeDate(2024, 3, 5));

    double d = 0;
    EXPECT_FALSE(TryStrToDate("31.02.2024", d, ru));
    EXPECT_FALSE(TryStrToDate("29.02.2023", d, ru));
    EXPECT_FALSE(TryStrToDate("05-03-2024", d, ru));
    EXPECT_FALSE(TryStrToDate("05.03", d, ru));
    EXPECT_FALSE(TryStrToDate("05.03.2024x", d, ru));
    EXPECT_EQ(ConvertErrorText([] { StrToDate("31.02.2024", ru); }), QStringLiteral("'31.02.2024' не является датой"));
}

TEST(DateText, ParsesTimesAndDateTimes)
{
    EXPECT_DOUBLE_EQ(StrToTime("7:08:09", ru), EncodeTime(7, 8, 9, 0));
    EXPECT_DOUBLE_EQ(StrToTime("23:59", ru), EncodeTime(23, 59, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("12:00:01.5", ru), EncodeTime(12, 0, 1, 500));
    EXPECT_DOUBLE_EQ(StrToTime("7:05 PM", inv), EncodeTime(19, 5, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("12:05 am", inv), EncodeTime(0, 5, 0, 0));
    double d = 0;
    EXPECT_FALSE(TryStrToTime("24:00", d, ru));
    EXPECT_FALSE(TryStrToTime("12", d, ru));
    EXPECT_FALSE(TryStrToTime("13:00 PM", d, inv));
    EXPECT_EQ(ConvertErrorText([] { StrToTime("x", ru); }), QStringLiteral("'x' не является временем"));

    // The device clock text has two blanks between date and time.
    EXPECT_DOUBLE_EQ(StrToDateTime("05.03.2024  7:08:09", ru), EncodeDateTime(2024, 3, 5, 7, 8, 9, 0));
    EXPECT_DOUBLE_EQ(StrToDateTime("05.03.2024", ru), EncodeDate(2024, 3, 5));
    EXPECT_DOUBLE_EQ(StrToDateTime("1.12.1899 6:00", ru), EncodeDateTime(1899, 12, 1, 6, 0, 0, 0));
    EXPECT_LT(StrToDateTime("1.12.1899 6:00", ru), -28.0);
    EXPECT_FALSE(TryStrToDateTime("05.03.2024 25:00", d, ru));
    EXPECT_EQ(ConvertErrorText([] { StrToDateTime("yesterday", ru); }), QStringLiteral("'yesterday' не является датой и временем"));
    // Formatting and parsing agree.
    const TDateTime dt = EncodeDateTime(2031, 11, 30, 22, 1, 2, 0);
    EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(dt, ru), ru), dt);
}

TEST(StringHelpers, CaseInsensitiveComparisonFoldsCyrillic)
{
    EXPECT_TRUE(SameText(QString::fromUtf8("Привет World"), QString::fromUtf8("пРИВЕТ world")));
    EXPECT_TRUE(SameText(QString::fromUtf8("ЁЖ"), QString::fromUtf8("ёж")));
    EXPECT_LT(CompareText(QString::fromUtf8("абв"), QString::fromUtf8("АБГ")), 0);
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    EXPECT_EQ(DequotedStr("'it''s' rest"), "it's");
    EXPECT_EQ(DequotedStr("plain"), "plain");
}

TEST(StringHelpers, QuotedItemStopsJustPastItsClosingQuote)
{
    const QString text = "a,\"x\"\"y\",b";
    int i = 2;
    EXPECT_EQ(ReadQuotedItem(text, i, '"'), "x\"y");
    EXPECT_EQ(i, 8);  // on the comma after the item
    // Without a closing quote the item runs to the end.
    const QString open = "'abc";
    int j = 0;
    EXPECT_EQ(ReadQuotedItem(open, j, '\''), "abc");
    EXPECT_EQ(j, 4);
}
