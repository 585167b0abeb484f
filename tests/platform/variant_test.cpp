#include "platform/datetime.h"
#include "platform/text.h"
#include "platform/variant.h"

#include <gtest/gtest.h>

namespace {
const TFormatSettings ru = RussianFormatSettings();
const TFormatSettings inv = InvariantFormatSettings();
} // namespace

TEST(Variant, EmptyAndNullAreDifferent)
{
    const Variant empty{};
    const Variant null = Variant::Null();
    EXPECT_TRUE(VarIsEmpty(empty));
    EXPECT_FALSE(VarIsNull(empty));
    EXPECT_TRUE(VarIsNull(null));
    EXPECT_FALSE(VarIsEmpty(null));
    EXPECT_TRUE(empty.IsClear());
    EXPECT_TRUE(null.IsClear());
    EXPECT_FALSE(empty == null);
    EXPECT_TRUE(empty == Variant());
    EXPECT_TRUE(null == Variant::Null());
    EXPECT_FALSE(null == Variant(0));
    EXPECT_FALSE(empty == Variant(0));

    // Empty converts to zero values; Null refuses.
    EXPECT_EQ(empty.AsInteger(), 0);
    EXPECT_EQ(empty.AsString(), "");
    EXPECT_FALSE(empty.AsBoolean());
    EXPECT_THROW(null.AsInteger(), EVariantError);
    EXPECT_THROW(null.AsString(), EConvertError);
    EXPECT_EQ(VarToStr(null), "");
    EXPECT_EQ(VarToStr(Variant(5)), "5");
}

TEST(Variant, KeepsItsType)
{
    EXPECT_EQ(Variant(5).Type(), varInteger);
    EXPECT_EQ(Variant(std::int64_t(5)).Type(), varInt64);
    EXPECT_EQ(Variant(5u).Type(), varInt64);   // does not fit a signed 32-bit in general
    EXPECT_EQ(Variant(short(5)).Type(), varInteger);
    EXPECT_EQ(Variant(2.5).Type(), varDouble);
    EXPECT_EQ(Variant(true).Type(), varBoolean);
    EXPECT_EQ(Variant("text").Type(), varString);   // not a bool
    EXPECT_EQ(Variant(QString("x")).Type(), varString);
    EXPECT_EQ(Variant(QByteArray("\x01\x02", 2)).Type(), varBytes);
    EXPECT_EQ(Variant(Currency::FromInt(1)).Type(), varCurrency);
    EXPECT_EQ(Variant::FromDateTime(1.5).Type(), varDate);
    EXPECT_EQ(VarArrayOf({1, "a", 2.5}).Type(), varArray);
    EXPECT_EQ(Variant::Null().TypeName(), "Null");
}

TEST(Variant, NumericConversions)
{
    EXPECT_EQ(Variant(2.5).AsInteger(), 2);   // half to even
    EXPECT_EQ(Variant(3.5).AsInteger(), 4);
    EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
    EXPECT_EQ(Variant(Currency::FromRaw(15000)).AsInteger(), 2);
    EXPECT_DOUBLE_EQ(Variant(Currency::FromRaw(12345)).AsDouble(), 1.2345);
    EXPECT_EQ(Variant(1.23456).AsCurrency().Value, 12346);
    EXPECT_EQ(Variant(7).AsCurrency().Value, 70000);
    EXPECT_EQ(Variant(true).AsInteger(), 1);
    EXPECT_THROW(Variant(std::int64_t(1) << 40).AsInteger(), EVariantError);
    EXPECT_EQ(Variant(std::int64_t(1) << 40).AsInt64(), std::int64_t(1) << 40);
    EXPECT_THROW(Variant(1e300).AsInt64(), EVariantError);
}

TEST(Variant, TextConversionsUseTheSettings)
{
    EXPECT_EQ(Variant("42").AsInteger(ru), 42);
    EXPECT_EQ(Variant("2,5").AsInteger(ru), 2);
    EXPECT_DOUBLE_EQ(Variant("2,5").AsDouble(ru), 2.5);
    EXPECT_DOUBLE_EQ(Variant("2.5").AsDouble(inv), 2.5);
    EXPECT_THROW(Variant("2.5").AsDouble(ru), EConvertError);
    EXPECT_THROW(Variant("abc").AsInteger(ru), EConvertError);
    EXPECT_THROW(Variant("abc").AsCurrency(ru), EConvertError);
    EXPECT_EQ(Variant("1,25").AsCurrency(ru).Value, 12500);
    EXPECT_TRUE(Variant("TRUE").AsBoolean(ru));
    EXPECT_FALSE(Variant("false").AsBoolean(ru));
    EXPECT_TRUE(Variant("1").AsBoolean(ru));
    EXPECT_THROW(Variant("maybe").AsBoolean(ru), EConvertError);
    EXPECT_DOUBLE_EQ(Variant("05.03.2024").AsDateTime(ru), EncodeDate(2024, 3, 5));
    EXPECT_THROW(Variant("31.02.2024").AsDateTime(ru), EConvertError);

    EXPECT_EQ(Variant(2.5).AsString(ru), "2,5");
    EXPECT_EQ(Variant(2.5).AsString(inv), "2.5");
    EXPECT_EQ(Variant(true).AsString(ru), "True");
    EXPECT_EQ(Variant(Currency::FromRaw(12500)).AsString(ru), "1,25");
    EXPECT_EQ(Variant::FromDateTime(EncodeDate(2024, 3, 5)).AsString(ru), "05.03.2024");
    EXPECT_EQ(Variant(QByteArray("\xC0", 1)).AsString(ru), QString::fromUtf8("А"));
    EXPECT_EQ(Variant(QString::fromUtf8("Я")).AsBytes(), QByteArray("\xDF", 1));
}

TEST(Variant, EqualityAcrossTypes)
{
    EXPECT_TRUE(Variant(5) == Variant(std::int64_t(5)));
    EXPECT_TRUE(Variant(5) == Variant(5.0));
    EXPECT_TRUE(Variant(5) == Variant(Currency::FromInt(5)));
    EXPECT_FALSE(Variant(5) == Variant(Currency::FromRaw(50001)));
    EXPECT_TRUE(Variant("abc") == Variant("abc"));
    EXPECT_FALSE(Variant("abc") == Variant("ABC"));
    EXPECT_FALSE(Variant("abc") == Variant(0));   // not a number: not equal, no exception
    EXPECT_TRUE(Variant(true) == Variant(1));
    EXPECT_TRUE(VarArrayOf({1, "a"}) == VarArrayOf({1, "a"}));
    EXPECT_FALSE(VarArrayOf({1, "a"}) == VarArrayOf({1, "b"}));
    EXPECT_FALSE(VarArrayOf({1}) == Variant(1));
}

TEST(Variant, ArraysCopyOnWrite)
{
    Variant a = VarArrayOf({1, 2, 3});
    Variant b = a;
    b[1] = Variant("two");
    EXPECT_EQ(a[1].AsInteger(), 2);
    EXPECT_EQ(b[1].AsString(), "two");
    EXPECT_EQ(b.ArrayCount(), 3);
    EXPECT_THROW(a[3], EVariantError);
    EXPECT_THROW(Variant(1).ArrayCount(), EVariantError);
}
