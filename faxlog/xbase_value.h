// Typed values of xBase expressions: character, numeric, date and logical.
#pragma once

#include "faxlog/xbase_date.h"

#include <string>
#include <variant>

namespace faxlog {

enum class ValueType { Character, Numeric, Date, Logical };
const char* to_string(ValueType t);

class Value {
public:
    Value() : v_(Bool{false}) {}
    static Value character(std::string s) { return Value(std::move(s)); }
    static Value numeric(double d) { return Value(d); }
    static Value date(XDate d) { return Value(d); }
    static Value logical(bool b) { return Value(Bool{b}); }

    ValueType type() const;
    // Accessors require the matching type (std::bad_variant_access otherwise).
    const std::string& str() const { return std::get<std::string>(v_); }
    double num() const { return std::get<double>(v_); }
    const XDate& date() const { return std::get<XDate>(v_); }
    bool logical() const { return std::get<Bool>(v_).b; }

private:
    struct Bool {
        bool b;
    };
    explicit Value(std::string s) : v_(std::move(s)) {}
    explicit Value(double d) : v_(d) {}
    explicit Value(XDate d) : v_(d) {}
    explicit Value(Bool b) : v_(b) {}
    std::variant<std::string, double, XDate, Bool> v_;
};

} // namespace faxlog
