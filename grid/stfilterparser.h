// Parser of the short filters typed into a grid's filter row: a value, a comparison, a list after
// IN, or two such conditions joined by AND or OR. Operands come out converted to the column's kind.
#pragma once

#include "platform/dataset.h"
#include "platform/variant.h"

#include <QString>
#include <cstdint>

// Operator codes; foValue is only used inside the lexer.
enum TSTFilterOperatorEx : std::uint8_t {
    foNon, foEqual, foNotEqual, foGreaterThan, foLessThan, foGreaterOrEqual, foLessOrEqual,
    foLike, foNotLike, foIn, foNotIn, foNull, foNotNull, foAND, foOR, foValue
};

// Kind of data a filtered column holds; decides how operands are converted.
enum TSTFilterDataTypeEx : std::uint8_t { fdtNone, fdtString, fdtNumber, fdtDateTime, fdtBoolean };

struct TSTFilterExpressionEx {
    TSTFilterDataTypeEx ExpressionType = fdtNone;   // set by the caller before parsing
    TSTFilterOperatorEx Operator1 = foNon;
    Variant Operand1 = Variant::Null();             // a value, an array of values (IN) or Null
    TSTFilterOperatorEx Relation = foNon;           // foNon, foAND or foOR
    TSTFilterOperatorEx Operator2 = foNon;
    Variant Operand2 = Variant::Null();
};

// Resets both conditions and the relation; keeps the data kind.
void ClearSTFilterExpression(TSTFilterExpressionEx& expression);

// False for a text of blanks (the expression is then cleared). A syntax error raises an Exception
// whose message is a fixed prefix followed by the whole text; a bad number or date raises the
// conversion error. Numbers and dates are read with the process-wide format settings.
bool ParseSTFilterExpression(const QString& text, TSTFilterExpressionEx& expression);

// The short form the filter row shows for an operator ("=", "<>", "~", "In", "Null", ...).
QString STFilterOperatorText(TSTFilterOperatorEx op);

// The filter data kind of a field type.
TSTFilterDataTypeEx STFilterDataTypeOfField(TFieldType type);
