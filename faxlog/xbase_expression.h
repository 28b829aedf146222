// xBase expressions over the fields of one table: parsed once into a typed tree, then
// evaluated on records for index keys, FOR conditions, queries and logical tests.
// An expression that does not parse, names an unknown field or mixes types is refused at
// compile time with an ExpressionError that carries the text and the position.
#pragma once

#include "faxlog/dbf_schema.h"
#include "faxlog/xbase_value.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace faxlog {

class ExpressionError : public std::runtime_error {
public:
    ExpressionError(std::string expression, std::size_t position, const std::string& message);
    const std::string& expression() const { return expression_; }
    std::size_t position() const { return position_; } // byte offset, 0-based

private:
    std::string expression_;
    std::size_t position_;
};

// What an expression sees of a record.
struct RecordContext {
    std::string_view record; // raw bytes, deleted mark first
    std::uint32_t recno = 0;
};

struct ExprNode;

class Expression {
public:
    Expression() = default;
    // text is UTF-8; string literals are taken into the table's byte encoding.
    static Expression compile(std::string_view text, const Schema& schema);

    bool valid() const { return root_ != nullptr; }
    const std::string& text() const { return text_; }
    ValueType type() const;
    int width() const; // fixed width of a character result, used as key length

    Value evaluate(const Schema& schema, const RecordContext& rc) const;
    // For a logical expression; any other type throws ExpressionError.
    bool test(const Schema& schema, const RecordContext& rc) const;

    // True when the expression is exactly "not deleted" (in any spelling): such a filter
    // needs only the deleted mark.
    bool isNotDeleted() const;

private:
    std::shared_ptr<const ExprNode> root_;
    std::string text_;
};

} // namespace faxlog
