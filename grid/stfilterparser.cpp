#include "grid/stfilterparser.h"

#include "platform/exceptions.h"
#include "platform/text.h"

#include <array>
#include <vector>

namespace {

// Keyword texts the filter row may carry besides the English words (an empty entry is unused).
struct TKeywordTexts {
    const char* Not = "Not";
    const char* And = "AND";
    const char* Or = "OR";
    const char* Like = "";
    const char* In = "In";
    const char* Null = "Null";
};
const TKeywordTexts kKeywordTexts;

enum TKeyword { kwNone, kwNot, kwAnd, kwOr, kwLike, kwIn, kwNull };

TKeyword KeywordOf(const QString& word)
{
    if (word.isEmpty())
        return kwNone;
    const QString w = word.toUpper();
    static const std::array<std::pair<const char*, TKeyword>, 6> english = {{
        {"NOT", kwNot}, {"AND", kwAnd}, {"OR", kwOr}, {"LIKE", kwLike}, {"IN", kwIn}, {"NULL", kwNull}}};
    for (const auto& [text, kw] : english)
        if (w == QLatin1String(text))
            return kw;
    const std::array<std::pair<const char*, TKeyword>, 6> local = {{
        {kKeywordTexts.Not, kwNot}, {kKeywordTexts.And, kwAnd}, {kKeywordTexts.Or, kwOr},
        {kKeywordTexts.Like, kwLike}, {kKeywordTexts.In, kwIn}, {kKeywordTexts.Null, kwNull}}};
    for (const auto& [text, kw] : local)
        if (*text && w == QString::fromUtf8(text).toUpper())
            return kw;
    return kwNone;
}

bool IsWordChar(QChar c)
{
    if (c.unicode() < 32)
        return false;
    static const QString stops = QStringLiteral(" !\"&'()+,-.<=>|~");
    return !stops.contains(c);
}

// Blanks and control characters at both ends go, as the classic trim does.
QString TrimText(const QString& s)
{
    int b = 0;
    int e = int(s.size());
    while (b < e && s[b].unicode() <= 32)
        ++b;
    while (e > b && s[e - 1].unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

struct Lexeme {
    int code = foNon;
    Variant value = Variant::Null();
};

class Parser {
public:
    Parser(const QString& text, const QString& whole) : s_(text), whole_(whole), n_(int(text.size())) {}

    bool Parse(TSTFilterExpressionEx& e)
    {
        listDefault_ = !(e.ExpressionType == fdtNumber && FormatSettings().DecimalSeparator == ',');
        list_ = listDefault_;
        kind_ = e.ExpressionType;
        int op = foNon;
        SkipBlanks();
        ReadCondition(Lex(false), op, e.Operand1);
        e.Operator1 = TSTFilterOperatorEx(op);

        SkipBlanks();
        const Lexeme l3 = Lex(false);
        if (l3.code == foNon) {
            if (p_ < n_)
                Fail("Incorrect expression: ");
        } else {
            if (l3.code != foAND && l3.code != foOR)
                Fail("Unexpected AND or OR: ");
            e.Relation = TSTFilterOperatorEx(l3.code);
            SkipBlanks();
            const Lexeme l4 = Lex(false);
            if (l4.code == foNon) {
                if (p_ < n_)
                    Fail("Incorrect expression: ");
            } else {
                ReadCondition(l4, op, e.Operand2);
                e.Operator2 = TSTFilterOperatorEx(op);
            }
        }
        Convert(e.Operator1, e.Operand1);
        Convert(e.Operator2, e.Operand2);
        return true;
    }

private:
    [[noreturn]] void Fail(const char* prefix) const { throw Exception(QString::fromUtf8(prefix) + whole_); }

    void SkipBlanks(int& p) const
    {
        while (p < n_ && s_[p] == ' ')
            ++p;
    }
    void SkipBlanks() { SkipBlanks(p_); }

    // One condition, starting from its first lexeme.
    void ReadCondition(const Lexeme& first, int& op, Variant& operand)
    {
        if (first.code == foValue) {
            op = first.value.Type() == varArray ? foIn : kind_ == fdtString ? foLike : foEqual;
            operand = first.value;
            return;
        }
        if (first.code == foNon)
            Fail("Error in expression: ");
        const bool in = first.code == foIn || first.code == foNotIn;
        if (in)
            list_ = true;
        SkipBlanks();
        const Lexeme second = Lex(false);
        op = first.code;
        if (second.code == foNull) {
            if (op == foEqual)
                op = foNull;
            else if (op == foNotEqual)
                op = foNotNull;
            else
                Fail("Unexpected expression before Null: ");
        } else if (second.code != foValue) {
            Fail("Unexpected expression after operator: ");
        } else if (!in && second.value.Type() == varArray) {
            // A list means something only after IN: "> 1, 10" compares with nothing.
            Fail("Unexpected expression after operator: ");
        }
        operand = second.value;
        if (in) {
            SkipBlanks();
            if (p_ < n_ && s_[p_] == ')')
                ++p_;
            else
                Fail("')' expected: ");
            list_ = listDefault_;
        }
    }

    Lexeme Lex(bool peek) { return LexAt(p_, peek); }

    // Reads one lexeme at p and moves p past it. A peek only needs the code: a value is then not
    // read in full (values end where an operator follows, so reading them to find that out
    // would look ahead again at every blank).
    Lexeme LexAt(int& p, bool peek)
    {
        // NOT applies to the lexeme after it, which may be another NOT: the chain is walked, not
        // recursed into, so that any number of them costs no stack. One NOT negates LIKE, IN
        // and NULL; a NOT of anything else, a negation included, is no operator.
        int nots = 0;
        Lexeme lexeme;
        if (peek && p > chain_.From && p < chain_.Inner) {
            // A later NOT of the chain the last peek walked: the same lexeme stands behind it.
            // A value looks ahead at every blank, so walking the chain again would be quadratic.
            nots = p == chain_.LastNot ? 1 : 2;
            lexeme.code = chain_.Code;
            p = chain_.End;
        } else {
            const int from = p;
            int at = p;
            int lastNot = -1;
            while (LexOne(p, peek, lexeme)) {
                ++nots;
                lastNot = at;
                at = p;
            }
            if (peek && nots > 0)
                chain_ = {from, lastNot, at, lexeme.code, p};
        }
        if (nots == 0)
            return lexeme;
        const int c = lexeme.code;
        const int code = nots > 1 ? foNon : c == foLike ? foNotLike : c == foIn ? foNotIn : c == foNull ? foNotNull : foNon;
        return {code, Variant::Null()};
    }

    // One lexeme at p, p moved past it; true (lexeme untouched) for a NOT, whose blanks after it
    // are skipped as well.
    bool LexOne(int& p, bool peek, Lexeme& lexeme)
    {
        if (p >= n_) {
            lexeme = {};
            return false;
        }
        const QChar c = s_[p];
        if (c == '\'') {
            lexeme = Values(p, peek);
            return false;
        }
        const QChar next = p + 1 < n_ ? s_[p + 1] : QChar();
        int code = -1;
        TKeyword kw = kwNone;
        switch (c.unicode()) {
        case '=': code = foEqual; p += 1; break;
        case '!':
            if (next == '=') {
                code = foNotEqual;
                p += 2;
            } else {
                kw = kwNot;
                p += 1;
            }
            break;
        case '>':
            code = next == '=' ? foGreaterOrEqual : foGreaterThan;
            p += next == '=' ? 2 : 1;
            break;
        case '<':
            if (next == '=') {
                code = foLessOrEqual;
                p += 2;
            } else if (next == '>') {
                code = foNotEqual;
                p += 2;
            } else {
                code = foLessThan;
                p += 1;
            }
            break;
        case '&': kw = kwAnd; p += 1; break;
        case '|': kw = kwOr; p += 1; break;
        case '~': code = foLike; p += 1; break;
        case '(':
            p += 1;
            lexeme = {};
            return false;
        default: {
            int q = p;
            while (q < n_ && IsWordChar(s_[q]))
                ++q;
            kw = KeywordOf(s_.mid(p, q - p));
            if (kw == kwNone) {
                lexeme = Values(p, peek);
                return false;
            }
            p = q;
        }
        }
        SkipBlanks(p);
        switch (kw) {
        case kwNot: return true;
        case kwIn:
            if (p < n_ && s_[p] == '(')
                ++p;
            else
                Fail("'(' expected: ");
            code = foIn;
            break;
        case kwLike: code = foLike; break;
        case kwAnd: code = foAND; break;
        case kwOr: code = foOR; break;
        case kwNull: code = foNull; break;
        case kwNone: break;
        }
        lexeme = {code, Variant::Null()};
        return false;
    }

    // A value, or with the list flag several separated by ','.
    Lexeme Values(int& p, bool peek)
    {
        if (peek) {
            if (s_[p] == '\'' && s_.indexOf('\'', p + 1) < 0)
                Fail("Quote is absent: ");
            return {foValue, Variant::Null()};
        }
        std::vector<Variant> values;
        for (;;) {
            values.push_back(OneValue(p));
            if (list_ && p < n_ && s_[p] == ',') {
                ++p;
                continue;
            }
            break;
        }
        if (values.size() > 1)
            return {foValue, Variant(std::move(values))};
        if (values[0].IsNull())
            return {};
        return {foValue, values[0]};
    }

    Variant OneValue(int& p)
    {
        if (p >= n_)
            return Variant::Null();
        if (s_[p] == '\'') {
            const int close = int(s_.indexOf('\'', p + 1));
            if (close < 0)
                Fail("Quote is absent: ");
            const QString v = s_.mid(p + 1, close - p - 1);
            p = close + 1;
            return Variant(v);
        }
        int q = p;
        while (q < n_) {
            const QChar c = s_[q];
            if (c == '(' || c == ')' || (list_ && c == ','))
                break;
            if (c == ' ') {
                int r = q;
                SkipBlanks(r);
                const int code = LexAt(r, true).code;
                if (code >= foEqual && code <= foOR)
                    break;
            }
            ++q;
        }
        // Blanks around an unquoted value are not part of it; quotes keep them.
        const QString v = TrimText(s_.mid(p, q - p));
        p = q;
        return Variant(v);
    }

    Variant ConvertOne(const Variant& v) const
    {
        if (kind_ == fdtNumber)
            return Variant(StrToFloat(VarToStr(v)));
        if (kind_ == fdtDateTime)
            return Variant::FromDateTime(StrToDateTime(VarToStr(v)));
        return v;
    }

    void Convert(TSTFilterOperatorEx op, Variant& operand) const
    {
        if (op < foEqual || op > foNotIn) {
            operand = Variant::Null();
            return;
        }
        if (operand.Type() == varArray) {
            std::vector<Variant> items;
            for (const Variant& item : operand.Items())
                items.push_back(ConvertOne(item));
            operand = Variant(std::move(items));
        } else {
            operand = ConvertOne(operand);
        }
    }

    // The chain of NOTs a peek walked last: where the walk began, where its last NOT and the
    // lexeme after the chain start, that lexeme's code and where it ends.
    struct NotChain {
        int From = -1;
        int LastNot = -1;
        int Inner = -1;
        int Code = foNon;
        int End = -1;
    };

    const QString& s_;
    const QString& whole_;
    const int n_;
    int p_ = 0;
    bool list_ = true;
    bool listDefault_ = true;
    TSTFilterDataTypeEx kind_ = fdtNone;
    NotChain chain_;
};

}  // namespace

void ClearSTFilterExpression(TSTFilterExpressionEx& expression)
{
    expression.Operator1 = foNon;
    expression.Operand1 = Variant::Null();
    expression.Relation = foNon;
    expression.Operator2 = foNon;
    expression.Operand2 = Variant::Null();
}

bool ParseSTFilterExpression(const QString& text, TSTFilterExpressionEx& expression)
{
    ClearSTFilterExpression(expression);
    const QString trimmed = TrimText(text);
    if (trimmed.isEmpty())
        return false;
    Parser parser(trimmed, text);
    return parser.Parse(expression);
}

QString STFilterOperatorText(TSTFilterOperatorEx op)
{
    static const char* const texts[] = {"", "=", "<>", ">", "<", ">=", "<=", "~", "!~", "In", "!In",
                                        "Null", "Null", "AND", "OR"};
    return op < std::size(texts) ? QString::fromLatin1(texts[op]) : QString();
}

TSTFilterDataTypeEx STFilterDataTypeOfField(TFieldType type)
{
    switch (type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
        return fdtString;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
    case ftLargeint:
        return fdtNumber;
    case ftDate:
    case ftTime:
    case ftDateTime:
        return fdtDateTime;
    case ftBoolean:
        return fdtBoolean;
    default:
        return fdtNone;
    }
}
