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

// Bounds on what an expression may ask for. Expressions also come from index files, so
// a damaged or hostile one must end in an ExpressionError, never in a huge allocation, an
// overflowing conversion or an exhausted stack.
inline constexpr int kMaxTextLength = 65535;   // widths and counts of character results
inline constexpr int kMaxStrWidth = 255;       // STR() width and decimals
inline constexpr int kMaxNesting = 64;         // parentheses, calls, chains of signs or NOTs
inline constexpr int kMaxTreeDepth = 400;      // operator chains such as A+B+C+...
inline constexpr double kMaxDayCount = 3652059; // 0001-01-01 to 9999-12-31

struct ExprNode {
    ExprOp op = ExprOp::Literal;
    int depth = 1;     // levels of this subtree
    ValueType type = ValueType::Logical;
    int width = 0;     // character results: fixed width for keys
    int field = -1;    // ExprOp::Field
    Value literal;     // ExprOp::Literal
    std::vector<std::unique_ptr<ExprNode>> args;
};

} // namespace faxlog
