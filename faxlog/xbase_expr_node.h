// The typed expression tree shared by the parser and the evaluator (internal).
#pragma once

#include "faxlog/xbase_expression.h"

#include <memory>
#include <vector>

namespace faxlog {

enum class ExprOp {
    Literal, Field,
    Not, Negate,
    And, Or,
    Add, Sub, Mul, Div, Mod,
    Equal, ExactEqual, NotEqual, Less, Greater, LessEqual, GreaterEqual, Contains,
    // functions
    Dtos, Dtoc, Ctod, Upper, Lower, Alltrim, Rtrim, Ltrim, Empty, Deleted, Recno, Date,
    Len, Substr, Left, Right, Str, Val, Iif,
};

struct ExprNode {
    ExprOp op = ExprOp::Literal;
    ValueType type = ValueType::Logical;
    int width = 0;     // character results: fixed width for keys
    int field = -1;    // ExprOp::Field
    Value literal;     // ExprOp::Literal
    std::vector<std::unique_ptr<ExprNode>> args;
};

} // namespace faxlog
