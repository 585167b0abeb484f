#include "platform/currency.h"
#include "platform/exceptions.h"
#include "platform/text.h"

#include <gtest/gtest.h>

TEST(Currency, FromDoubleRoundsHalfToEven)
{
    EXPECT_EQ(Currency::FromDouble(1.5).Value, 15000);
    EXPECT_EQ(Currency::FromDouble(0.1).Value, 1000);
    EXPECT_EQ(Currency::FromDouble(-0.00016).Value, -2);
    EXPECT_EQ(Currency::FromDouble(-2.25).Value, -22500);
    EXPECT_THROW(Currency::FromDouble(1e300), EConvertError);
}

TEST(Currency, IntegerConversionRoundsHalfToEven)
{
    EXPECT_EQ(Currency::FromDouble(0.5).ToInt64(), 0);
    EXPECT_EQ(Currency::FromDouble(1.5).ToInt64(), 2);
    EXPECT_EQ(Currency::FromDouble(2.5).ToInt64(), 2);
    EXPECT_EQ(Currency::FromDouble(-2.5).ToInt64(), -2);
    EXPECT_EQ(Currency::FromDouble(-1.5).ToInt64(), -2);
    EXPECT_EQ(Currency::FromDouble(-2.5001).ToInt64(), -3);
    EXPECT_EQ(Currency::FromInt(7).ToInt64(), 7);
}

TEST(Currency, ArithmeticRoundsToTenThousandths)
{
    const Currency a = Currency::FromDouble(1.2345);
    const Currency b = Currency::FromDouble(2);
    EXPECT_EQ((a * b).Value, 24690);
    EXPECT_EQ((a + b).Value, 32345);
    EXPECT_EQ((a - b).Value, -7655);
    // 1 / 3 = 0.33333...; 2 / 3 = 0.66666... rounds up.
    EXPECT_EQ((Currency::FromInt(1) / Currency::FromInt(3)).Value, 3333);
    EXPECT_EQ((Currency::FromInt(2) / Currency::FromInt(3)).Value, 6667);
    // Averages over counts: 0.0005 / 2 = 0.00025 -> tie -> even 0.0002.
    EXPECT_EQ((Currency::FromRaw(5) / 2).Value, 2);
    EXPECT_EQ((Currency::FromRaw(7) / 2).Value, 4);
    EXPECT_EQ((Currency::FromRaw(-7) / 2).Value, -4);
    EXPECT_THROW(Currency::FromInt(1) / Currency(), EConvertError);
    EXPECT_THROW(Currency::FromInt(1) / std::int64_t(0), EConvertError);
    EXPECT_LT(Currency::FromInt(-1), Currency());
}

TEST(Currency, TextUsesTheGivenSeparators)
{
    const TFormatSettings ru = RussianFormatSettings();
    const TFormatSettings inv = InvariantFormatSettings();
    EXPECT_EQ(Currency::FromString("12,5", ru).Value, 125000);
    EXPECT_EQ(Currency::FromString("12.5", inv).Value, 125000);
    EXPECT_EQ(Currency::FromString("-0,0001", ru).Value, -1);
    EXPECT_EQ(Currency::FromString("1,000.25", inv).Value, 10002500);
    // Beyond four decimals: half to even, exact in decimal (no binary detour).
    EXPECT_EQ(Currency::FromString("0.00005", inv).Value, 0);
    EXPECT_EQ(Currency::FromString("0.00015", inv).Value, 2);
    EXPECT_EQ(Currency::FromString("0.000051", inv).Value, 1);
    EXPECT_THROW(Currency::FromString("12.5", ru), EConvertError);
    EXPECT_THROW(Currency::FromString("abc", inv), EConvertError);
    EXPECT_THROW(Currency::FromString("", inv), EConvertError);
    EXPECT_THROW(Currency::FromString("99999999999999999999", inv), EConvertError);

    EXPECT_EQ(Currency::FromRaw(125000).ToString(ru), "12,5");
    EXPECT_EQ(Currency::FromRaw(-30000).ToString(inv), "-3");
    EXPECT_EQ(Currency::FromRaw(1).ToString(inv), "0.0001");
    EXPECT_EQ(Currency::FromRaw(INT64_MIN).ToString(inv), "-922337203685477.5808");
}
