// Evaluation of a typed expression tree on one record.
#include "faxlog/codepage.h"
#include "faxlog/dbf_record.h"
#include "faxlog/xbase_expr_node.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace faxlog {
namespace {

std::string padTo(std::string s, std::size_t n) {
    if (s.size() < n)
        s.resize(n, ' ');
    return s;
}

// Ordering of character values: the shorter one padded with blanks.
int compareText(const std::string& a, const std::string& b) {
    const std::size_t n = std::max(a.size(), b.size());
    const std::string pa = padTo(a, n), pb = padTo(b, n);
    const int c = pa.compare(pb);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// "=" on text compares as far as the right operand goes (xBase with EXACT off).
bool prefixEqual(const std::string& left, const std::string& right) {
    return padTo(left.substr(0, right.size()), right.size()) == right;
}

int compare(const Value& a, const Value& b) {
    switch (a.type()) {
    case ValueType::Character: return compareText(a.str(), b.str());
    case ValueType::Numeric: return a.num() < b.num() ? -1 : a.num() > b.num() ? 1 : 0;
    case ValueType::Date: {
        const auto c = a.date() <=> b.date();
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case ValueType::Logical: return static_cast<int>(a.logical()) - static_cast<int>(b.logical());
    }
    return 0;
}

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string trimLeft(std::string s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    return s.substr(i);
}

class Evaluator {
public:
    Evaluator(const Schema& s, const RecordContext& rc, const std::string& text)
        : schema_(s), rc_(rc), text_(text) {}

    Value eval(const ExprNode& n) const {
        switch (n.op) {
        case ExprOp::Literal: return n.literal;
        case ExprOp::Field: return field(n.field);
        case ExprOp::Not: return Value::logical(!eval(*n.args[0]).logical());
        case ExprOp::Negate: return Value::numeric(-eval(*n.args[0]).num());
        case ExprOp::And: return Value::logical(eval(*n.args[0]).logical() && eval(*n.args[1]).logical());
        case ExprOp::Or: return Value::logical(eval(*n.args[0]).logical() || eval(*n.args[1]).logical());
        case ExprOp::Add: return add(eval(*n.args[0]), eval(*n.args[1]));
        case ExprOp::Sub: return sub(eval(*n.args[0]), eval(*n.args[1]));
        case ExprOp::Mul: return Value::numeric(eval(*n.args[0]).num() * eval(*n.args[1]).num());
        case ExprOp::Div: {
            const double d = eval(*n.args[1]).num();
            return Value::numeric(d == 0 ? 0 : eval(*n.args[0]).num() / d);
        }
        case ExprOp::Mod: {
            const double d = eval(*n.args[1]).num();
            return Value::numeric(d == 0 ? 0 : std::fmod(eval(*n.args[0]).num(), d));
        }
        case ExprOp::Equal:
        case ExprOp::NotEqual: {
            const Value a = eval(*n.args[0]), b = eval(*n.args[1]);
            const bool eq = a.type() == ValueType::Character ? prefixEqual(a.str(), b.str()) : compare(a, b) == 0;
            return Value::logical(n.op == ExprOp::Equal ? eq : !eq);
        }
        case ExprOp::ExactEqual: {
            const Value a = eval(*n.args[0]), b = eval(*n.args[1]);
            return Value::logical(a.type() == ValueType::Character ? a.str() == b.str() : compare(a, b) == 0);
        }
        case ExprOp::Less: return Value::logical(compare(eval(*n.args[0]), eval(*n.args[1])) < 0);
        case ExprOp::Greater: return Value::logical(compare(eval(*n.args[0]), eval(*n.args[1])) > 0);
        case ExprOp::LessEqual: return Value::logical(compare(eval(*n.args[0]), eval(*n.args[1])) <= 0);
        case ExprOp::GreaterEqual: return Value::logical(compare(eval(*n.args[0]), eval(*n.args[1])) >= 0);
        case ExprOp::Contains: {
            const std::string needle = eval(*n.args[0]).str();
            // An empty needle is not "in" anything: a blank search never matches every record.
            return Value::logical(!needle.empty() && eval(*n.args[1]).str().find(needle) != std::string::npos);
        }
        case ExprOp::Dtos: return Value::character(eval(*n.args[0]).date().dtos());
        case ExprOp::Dtoc: return Value::character(eval(*n.args[0]).date().mdy());
        case ExprOp::Ctod: return Value::date(XDate::fromMdy(eval(*n.args[0]).str()));
        case ExprOp::Upper: {
            std::string s = eval(*n.args[0]).str();
            for (auto& c : s)
                c = cp1252Upper(c);
            return Value::character(std::move(s));
        }
        case ExprOp::Lower: {
            std::string s = eval(*n.args[0]).str();
            for (auto& c : s)
                c = cp1252Lower(c);
            return Value::character(std::move(s));
        }
        case ExprOp::Alltrim: return Value::character(trimLeft(trimRight(eval(*n.args[0]).str())));
        case ExprOp::Rtrim: return Value::character(trimRight(eval(*n.args[0]).str()));
        case ExprOp::Ltrim: return Value::character(trimLeft(eval(*n.args[0]).str()));
        case ExprOp::Empty: return Value::logical(isEmpty(eval(*n.args[0])));
        case ExprOp::Deleted: return Value::logical(!rc_.record.empty() && rc_.record[0] == kDeletedMark);
        case ExprOp::Recno: return Value::numeric(rc_.recno);
        case ExprOp::Date: return Value::date(XDate::today());
        case ExprOp::Len: return Value::numeric(static_cast<double>(eval(*n.args[0]).str().size()));
        case ExprOp::Substr: {
            const std::string s = eval(*n.args[0]).str();
            const double start = eval(*n.args[1]).num();
            const long count = n.args.size() == 3 ? bounded(eval(*n.args[2]).num(), "SUBSTR() length")
                                                  : static_cast<long>(s.size());
            if (std::isnan(start))
                fail("SUBSTR() start is not a number");
            if (start < 1 || start >= static_cast<double>(s.size()) + 1 || count <= 0)
                return Value::character("");
            return Value::character(s.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
        }
        case ExprOp::Left: {
            const std::string s = eval(*n.args[0]).str();
            const long k = bounded(eval(*n.args[1]).num(), "LEFT() length");
            return Value::character(k <= 0 ? "" : s.substr(0, static_cast<std::size_t>(k)));
        }
        case ExprOp::Right: {
            const std::string s = eval(*n.args[0]).str();
            const long k = bounded(eval(*n.args[1]).num(), "RIGHT() length");
            if (k <= 0)
                return Value::character("");
            const std::size_t m = std::min(s.size(), static_cast<std::size_t>(k));
            return Value::character(s.substr(s.size() - m));
        }
        case ExprOp::Str: {
            const double v = eval(*n.args[0]).num();
            const long w = n.args.size() >= 2 ? bounded(eval(*n.args[1]).num(), "STR() width", 1, kMaxStrWidth) : 10;
            const long d = n.args.size() == 3 ? bounded(eval(*n.args[2]).num(), "STR() decimals", 0, kMaxStrWidth) : 0;
            // Widest output: a 309-digit number, the point and the decimals.
            char buf[320 + kMaxStrWidth];
            const int len = std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(w), static_cast<int>(d), v);
            if (len < 0 || len > w)
                return Value::character(std::string(static_cast<std::size_t>(w), '*'));
            return Value::character(buf);
        }
        case ExprOp::Val: return Value::numeric(std::strtod(eval(*n.args[0]).str().c_str(), nullptr));
        case ExprOp::Iif: return eval(*n.args[0]).logical() ? eval(*n.args[1]) : eval(*n.args[2]);
        }
        return Value::logical(false);
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ExpressionError(text_, 0, what); }

    // A count or width taken from a computed number: within bounds, or an error that says
    // so (never an overflowing conversion).
    long bounded(double v, const char* what, long lo = -kMaxTextLength, long hi = kMaxTextLength) const {
        if (!(v >= static_cast<double>(lo) && v < static_cast<double>(hi) + 1))
            fail(std::string(what) + " must be " + std::to_string(lo) + " to " + std::to_string(hi));
        return static_cast<long>(std::floor(v));
    }

    XDate addDays(const XDate& d, double n) const {
        if (d.empty())
            return d;
        if (!(std::fabs(n) <= kMaxDayCount))
            fail("a day count must be at most " + std::to_string(static_cast<long>(kMaxDayCount)));
        const std::chrono::sys_days day = d.day() + std::chrono::days{static_cast<long>(std::floor(n))};
        const int year = static_cast<int>(std::chrono::year_month_day{day}.year());
        if (year < 1 || year > 9999)
            fail("date arithmetic leaves the years 1 to 9999");
        return XDate{day};
    }

    Value field(int index) const {
        const FieldDef& f = schema_[static_cast<std::size_t>(index)];
        switch (f.type) {
        case FieldType::Character: return Value::character(std::string(readCharacter(rc_.record, f)));
        case FieldType::Logical: return Value::logical(readLogical(rc_.record, f));
        case FieldType::Date: return Value::date(readDate(rc_.record, f));
        case FieldType::Numeric:
        case FieldType::Float: return Value::numeric(readNumber(rc_.record, f).value_or(0.0));
        case FieldType::Memo: break; // refused by the parser
        }
        return Value::character("");
    }

    static bool isEmpty(const Value& v) {
        switch (v.type()) {
        case ValueType::Character: return v.str().find_first_not_of(" \t\r\n") == std::string::npos;
        case ValueType::Numeric: return v.num() == 0;
        case ValueType::Date: return v.date().empty();
        case ValueType::Logical: return !v.logical();
        }
        return true;
    }

    Value add(const Value& a, const Value& b) const {
        if (a.type() == ValueType::Character)
            return Value::character(a.str() + b.str());
        if (a.type() == ValueType::Numeric && b.type() == ValueType::Numeric)
            return Value::numeric(a.num() + b.num());
        const XDate& d = a.type() == ValueType::Date ? a.date() : b.date();
        const double n = a.type() == ValueType::Date ? b.num() : a.num();
        return Value::date(addDays(d, n));
    }

    Value sub(const Value& a, const Value& b) const {
        if (a.type() == ValueType::Character) {
            // xBase "-" on text moves the left operand's trailing blanks to the end.
            std::string l = a.str();
            const std::size_t last = l.find_last_not_of(' ');
            const std::size_t keep = last == std::string::npos ? 0 : last + 1;
            const std::size_t blanks = l.size() - keep;
            l.resize(keep);
            return Value::character(l + b.str() + std::string(blanks, ' '));
        }
        if (a.type() == ValueType::Numeric)
            return Value::numeric(a.num() - b.num());
        if (b.type() == ValueType::Date) {
            if (a.date().empty() || b.date().empty())
                return Value::numeric(0);
            return Value::numeric(static_cast<double>((a.date().day() - b.date().day()).count()));
        }
        return Value::date(addDays(a.date(), -b.num()));
    }

    const Schema& schema_;
    const RecordContext& rc_;
    const std::string& text_;
};

} // namespace

Value Expression::evaluate(const Schema& schema, const RecordContext& rc) const {
    if (!root_)
        throw ExpressionError("", 0, "no expression");
    return Evaluator(schema, rc, text_).eval(*root_);
}

bool Expression::test(const Schema& schema, const RecordContext& rc) const {
    if (!root_ || root_->type != ValueType::Logical)
        throw ExpressionError(text_, 0, std::string("a logical expression is needed, this one is ") +
                                            (root_ ? to_string(root_->type) : "empty"));
    return Evaluator(schema, rc, text_).eval(*root_).logical();
}

} // namespace faxlog
