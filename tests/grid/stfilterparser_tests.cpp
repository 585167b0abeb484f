#include "grid/stfilterparser.h"

#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

// Sets the process-wide decimal separator for one test and puts it back.
class DecimalSeparator {
public:
    explicit DecimalSeparator(QChar c) : saved_(FormatSettings())
    {
        FormatSettings().DecimalSeparator = c;
        FormatSettings().ThousandSeparator = c == ',' ? QChar(' ') : QChar(',');
    }
    ~DecimalSeparator() { FormatSettings() = saved_; }

private:
    TFormatSettings saved_;
};

TSTFilterExpressionEx Parse(const QString& text, TSTFilterDataTypeEx kind)
{
    TSTFilterExpressionEx e;
    e.ExpressionType = kind;
    EXPECT_TRUE(ParseSTFilterExpression(text, e)) << text.toStdString();
    return e;
}

// The message of the exception the text raises (empty when none).
QString ErrorOf(const QString& text, TSTFilterDataTypeEx kind = fdtNumber)
{
    TSTFilterExpressionEx e;
    e.ExpressionType = kind;
    try {
        ParseSTFilterExpression(text, e);
    } catch (const Exception& ex) {
        return ex.Message();
    }
    return QString();
}

TEST(FilterParser, ABareValueBecomesLikeOrEqualByKind)
{
    DecimalSeparator dot('.');
    auto e = Parse("  ab c ", fdtString);
    EXPECT_EQ(e.Operator1, foLike);
    EXPECT_EQ(e.Operand1, Variant("ab c"));   // inner blanks stay: one value
    EXPECT_EQ(e.Relation, foNon);
    EXPECT_TRUE(e.Operand2.IsNull());

    e = Parse("5", fdtNumber);
    EXPECT_EQ(e.Operator1, foEqual);
    EXPECT_EQ(e.Operand1.Type(), varDouble);
    EXPECT_EQ(e.Operand1.AsDouble(), 5.0);
}

TEST(FilterParser, ACommaListsValuesUnlessItIsTheDecimalSeparator)
{
    {
        DecimalSeparator dot('.');
        auto e = Parse("1,2", fdtNumber);
        EXPECT_EQ(e.Operator1, foIn);
        ASSERT_EQ(e.Operand1.ArrayCount(), 2);
        EXPECT_EQ(e.Operand1[0].AsDouble(), 1.0);
        EXPECT_EQ(e.Operand1[1].AsDouble(), 2.0);
    }
    {
        DecimalSeparator comma(',');
        auto e = Parse("1,2", fdtNumber);
        EXPECT_EQ(e.Operator1, foEqual);
        EXPECT_DOUBLE_EQ(e.Operand1.AsDouble(), 1.2);
        // IN always lists.
        e = Parse("in (1, 2)", fdtNumber);
        EXPECT_EQ(e.Operator1, foIn);
        ASSERT_EQ(e.Operand1.ArrayCount(), 2);
        EXPECT_EQ(e.Operand1[1].AsDouble(), 2.0);
        // Strings list with a comma whatever the separator.
        e = Parse("a, b", fdtString);
        EXPECT_EQ(e.Operator1, foIn);
        EXPECT_EQ(e.Operand1[1], Variant("b"));
    }
}

TEST(FilterParser, NullComparisons)
{
    auto e = Parse("= NULL", fdtNumber);
    EXPECT_EQ(e.Operator1, foNull);
    EXPECT_TRUE(e.Operand1.IsNull());
    e = Parse("<> null", fdtString);
    EXPECT_EQ(e.Operator1, foNotNull);
    // A bare NULL or NOT NULL is an operator that still wants its operand.
    EXPECT_EQ(ErrorOf("!Null", fdtString), "Unexpected expression after operator: !Null");
    EXPECT_EQ(ErrorOf("null", fdtString), "Unexpected expression after operator: null");
    EXPECT_EQ(ErrorOf("> NULL"), "Unexpected expression before Null: > NULL");
}

TEST(FilterParser, InLists)
{
    DecimalSeparator dot('.');
    EXPECT_EQ(ErrorOf("IN (1,2"), "')' expected: IN (1,2");
    EXPECT_EQ(ErrorOf("IN 1,2"), "'(' expected: IN 1,2");
    auto e = Parse("NOT IN (1)", fdtNumber);
    EXPECT_EQ(e.Operator1, foNotIn);
    EXPECT_EQ(e.Operand1.Type(), varDouble);
    EXPECT_EQ(e.Operand1.AsDouble(), 1.0);
    e = Parse("!In ('x y', z)", fdtString);
    EXPECT_EQ(e.Operator1, foNotIn);
    ASSERT_EQ(e.Operand1.ArrayCount(), 2);
    EXPECT_EQ(e.Operand1[0], Variant("x y"));
    EXPECT_EQ(e.Operand1[1], Variant("z"));
}

TEST(FilterParser, TwoConditions)
{
    DecimalSeparator dot('.');
    auto e = Parse(">= 10 AND < 20", fdtNumber);
    EXPECT_EQ(e.Operator1, foGreaterOrEqual);
    EXPECT_EQ(e.Operand1.AsDouble(), 10.0);
    EXPECT_EQ(e.Relation, foAND);
    EXPECT_EQ(e.Operator2, foLessThan);
    EXPECT_EQ(e.Operand2.AsDouble(), 20.0);

    e = Parse("<=1 |>5", fdtNumber);
    EXPECT_EQ(e.Operator1, foLessOrEqual);
    EXPECT_EQ(e.Relation, foOR);
    EXPECT_EQ(e.Operator2, foGreaterThan);

    e = Parse("> 5 AND", fdtNumber);
    EXPECT_EQ(e.Relation, foAND);
    EXPECT_EQ(e.Operator2, foNon);
    EXPECT_TRUE(e.Operand2.IsNull());

    e = Parse("ab% or = 'cd'", fdtString);
    EXPECT_EQ(e.Operator1, foLike);
    EXPECT_EQ(e.Operand1, Variant("ab%"));
    EXPECT_EQ(e.Relation, foOR);
    EXPECT_EQ(e.Operator2, foEqual);
    EXPECT_EQ(e.Operand2, Variant("cd"));
}

TEST(FilterParser, LikeForms)
{
    auto e = Parse("!~ ab%", fdtString);
    EXPECT_EQ(e.Operator1, foNotLike);
    EXPECT_EQ(e.Operand1, Variant("ab%"));
    e = Parse("not like x", fdtString);
    EXPECT_EQ(e.Operator1, foNotLike);
    e = Parse("~x", fdtString);
    EXPECT_EQ(e.Operator1, foLike);
    EXPECT_EQ(e.Operand1, Variant("x"));
}

TEST(FilterParser, QuotesAndSyntaxErrors)
{
    EXPECT_EQ(ErrorOf("'abc", fdtString), "Quote is absent: 'abc");
    EXPECT_EQ(ErrorOf("'it''s'", fdtString), "Unexpected AND or OR: 'it''s'");
    EXPECT_EQ(ErrorOf("= AND", fdtString), "Unexpected expression after operator: = AND");
    EXPECT_EQ(ErrorOf("(5)", fdtString), "Error in expression: (5)");
    EXPECT_EQ(ErrorOf("'a' 'b'", fdtString), "Unexpected AND or OR: 'a' 'b'");
    EXPECT_EQ(ErrorOf("5 AND (1", fdtString), "Incorrect expression: 5 AND (1");
    EXPECT_EQ(ErrorOf("'a' (b", fdtString), "Incorrect expression: 'a' (b");
    EXPECT_THROW(Parse("<=1|>5", fdtNumber), EConvertError);   // no blank before '|': one value
    auto e = Parse("'  padded '", fdtString);
    EXPECT_EQ(e.Operand1, Variant("  padded "));
}

TEST(FilterParser, ConversionFollowsTheKind)
{
    DecimalSeparator dot('.');
    EXPECT_THROW(Parse("> abc", fdtNumber), EConvertError);
    EXPECT_THROW(Parse("> 5 6", fdtNumber), EConvertError);   // "5 6" is one value
    auto e = Parse("> 5 6", fdtString);
    EXPECT_EQ(e.Operand1, Variant("5 6"));
    e = Parse("= yes", fdtBoolean);
    EXPECT_EQ(e.Operand1, Variant("yes"));

    const TFormatSettings saved = FormatSettings();
    FormatSettings() = RussianFormatSettings();
    e = Parse(">= 01.02.2024", fdtDateTime);
    FormatSettings() = saved;
    EXPECT_EQ(e.Operand1.Type(), varDate);
    EXPECT_EQ(e.Operand1.AsDateTime(), EncodeDate(2024, 2, 1));
}

TEST(FilterParser, BlanksOnlyClearsAndReturnsFalse)
{
    TSTFilterExpressionEx e;
    e.ExpressionType = fdtString;
    ASSERT_TRUE(ParseSTFilterExpression("= x and = y", e));
    EXPECT_FALSE(ParseSTFilterExpression("   ", e));
    EXPECT_EQ(e.ExpressionType, fdtString);
    EXPECT_EQ(e.Operator1, foNon);
    EXPECT_EQ(e.Relation, foNon);
    EXPECT_EQ(e.Operator2, foNon);
    EXPECT_TRUE(e.Operand1.IsNull());
    EXPECT_TRUE(e.Operand2.IsNull());
}

TEST(FilterParser, LongValuesWithManyWordsParseQuickly)
{
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += QString("w%1 ").arg(i);
    auto e = Parse(text, fdtString);
    EXPECT_EQ(e.Operator1, foLike);
    EXPECT_EQ(e.Operand1.AsString().count(' '), 1999);
}

TEST(FilterParser, KindsAndShortForms)
{
    EXPECT_EQ(STFilterDataTypeOfField(ftWideString), fdtString);
    EXPECT_EQ(STFilterDataTypeOfField(ftAutoInc), fdtNumber);
    EXPECT_EQ(STFilterDataTypeOfField(ftTime), fdtDateTime);
    EXPECT_EQ(STFilterDataTypeOfField(ftBoolean), fdtBoolean);
    EXPECT_EQ(STFilterDataTypeOfField(ftBlob), fdtNone);
    EXPECT_EQ(STFilterOperatorText(foNotIn), "!In");
    EXPECT_EQ(STFilterOperatorText(foNotNull), "Null");
    EXPECT_EQ(STFilterOperatorText(foValue), "");
}

}  // namespace

namespace {

QString Repeated(const QString& piece, int times)
{
    QString s;
    s.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

}  // namespace

TEST(FilterParser, RepeatedNotKeepsItsMeaningAndNeedsNoStack)
{
    // One NOT negates; a NOT of a negation is no operator at all.
    EXPECT_EQ(Parse("! ~ab", fdtString).Operator1, foNotLike);
    EXPECT_EQ(ErrorOf("!!~ab", fdtString), "Error in expression: !!~ab");
    EXPECT_EQ(ErrorOf("not ! not in (1)", fdtNumber), "Error in expression: not ! not in (1)");
    EXPECT_EQ(ErrorOf("!! in 1", fdtNumber), "'(' expected: !! in 1");

    // Far more NOTs than a stack has frames for, with and without blanks between them, first
    // and after a value (where every blank looks ahead for an operator).
    const QString bangs = Repeated("!", 200000);
    EXPECT_EQ(ErrorOf(bangs + "~ab", fdtString), "Error in expression: " + bangs + "~ab");
    const QString spaced = Repeated("! ", 100000);
    EXPECT_EQ(ErrorOf(spaced + "= 1", fdtNumber), "Error in expression: " + spaced + "= 1");
    const QString words = Repeated("NOT ", 50000);
    // The value runs up to the last NOT, which with LIKE makes an operator where AND or OR belongs.
    EXPECT_EQ(ErrorOf("x " + words + "like y", fdtString), "Unexpected AND or OR: x " + words + "like y");
    // Parentheses are taken one at a time, without nesting.
    const QString open = Repeated("(", 200000);
    EXPECT_EQ(ErrorOf(open + "1", fdtNumber), "Error in expression: " + open + "1");
    EXPECT_EQ(ErrorOf("1 AND " + open, fdtNumber), "Incorrect expression: 1 AND " + open);
}
