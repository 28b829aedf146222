// Recursive-descent parser for xBase expressions, with type checking as it goes.
// Precedence, lowest first: .OR., .AND., .NOT., comparisons and $, + -, * / %, unary -.
#include "faxlog/codepage.h"
#include "faxlog/xbase_expr_node.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace faxlog {

ExpressionError::ExpressionError(std::string expression, std::size_t position,
                                 const std::string& message)
    : std::runtime_error("bad expression \"" + expression + "\" at position " +
                         std::to_string(position + 1) + ": " + message),
      expression_(std::move(expression)), position_(position) {}

const char* to_string(ValueType t) {
    switch (t) {
    case ValueType::Character: return "character";
    case ValueType::Numeric: return "numeric";
    case ValueType::Date: return "date";
    case ValueType::Logical: return "logical";
    }
    return "?";
}

ValueType Value::type() const {
    switch (v_.index()) {
    case 0: return ValueType::Character;
    case 1: return ValueType::Numeric;
    case 2: return ValueType::Date;
    default: return ValueType::Logical;
    }
}

namespace {

using NodePtr = std::unique_ptr<ExprNode>;

enum class Tok { End, Ident, Number, String, DateLit, Dotted, Op, LParen, RParen, Comma };

struct Token {
    Tok kind = Tok::End;
    std::string text; // identifiers and dotted words upper-cased
    std::size_t pos = 0;
};

std::string upper(std::string_view s) {
    std::string r(s);
    for (auto& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

struct FunctionSpec {
    const char* name;
    ExprOp op;
    int minArgs;
    int maxArgs;
};

constexpr FunctionSpec kFunctions[] = {
    {"DTOS", ExprOp::Dtos, 1, 1},       {"DTOC", ExprOp::Dtoc, 1, 1},
    {"CTOD", ExprOp::Ctod, 1, 1},       {"UPPER", ExprOp::Upper, 1, 1},
    {"LOWER", ExprOp::Lower, 1, 1},     {"ALLTRIM", ExprOp::Alltrim, 1, 1},
    {"TRIM", ExprOp::Rtrim, 1, 1},      {"RTRIM", ExprOp::Rtrim, 1, 1},
    {"LTRIM", ExprOp::Ltrim, 1, 1},     {"EMPTY", ExprOp::Empty, 1, 1},
    {"DELETED", ExprOp::Deleted, 0, 0}, {"RECNO", ExprOp::Recno, 0, 0},
    {"DATE", ExprOp::Date, 0, 0},       {"LEN", ExprOp::Len, 1, 1},
    {"SUBSTR", ExprOp::Substr, 2, 3},   {"LEFT", ExprOp::Left, 2, 2},
    {"RIGHT", ExprOp::Right, 2, 2},     {"STR", ExprOp::Str, 1, 3},
    {"VAL", ExprOp::Val, 1, 1},         {"IIF", ExprOp::Iif, 3, 3},
};

class Parser {
public:
    Parser(std::string_view text, const Schema& schema) : text_(text), schema_(schema) { next(); }

    NodePtr parseAll() {
        if (tok_.kind == Tok::End)
            fail(0, "empty expression");
        auto n = parseOr();
        if (tok_.kind != Tok::End)
            fail(tok_.pos, "unexpected '" + tok_.text + "'");
        return n;
    }

private:
    [[noreturn]] void fail(std::size_t pos, const std::string& msg) const {
        throw ExpressionError(std::string(text_), pos, msg);
    }

    // --- lexer ---
    void next() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        tok_ = Token{};
        tok_.pos = pos_;
        if (pos_ >= text_.size())
            return;
        const char c = text_[pos_];
        const auto isIdent = [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
        };
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t e = pos_;
            while (e < text_.size() && isIdent(text_[e]))
                ++e;
            tok_.text = upper(text_.substr(pos_, e - pos_));
            pos_ = e;
            // NOT, AND, OR written as words mean the dotted operators.
            if (tok_.text == "NOT" || tok_.text == "AND" || tok_.text == "OR") {
                tok_.kind = Tok::Dotted;
                return;
            }
            tok_.kind = Tok::Ident;
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && pos_ + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
            std::size_t e = pos_;
            while (e < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[e])) || text_[e] == '.'))
                ++e;
            tok_.kind = Tok::Number;
            tok_.text = std::string(text_.substr(pos_, e - pos_));
            pos_ = e;
            return;
        }
        if (c == '.') {
            const auto e = text_.find('.', pos_ + 1);
            if (e == std::string_view::npos)
                fail(pos_, "'.' without a closing '.'");
            const std::string word = upper(text_.substr(pos_ + 1, e - pos_ - 1));
            static const char* kWords[] = {"T", "F", "TRUE", "FALSE", "Y", "N", "NOT", "AND", "OR"};
            if (std::find_if(std::begin(kWords), std::end(kWords),
                             [&](const char* w) { return word == w; }) == std::end(kWords))
                fail(pos_, "unknown word ." + word + ".");
            tok_.kind = Tok::Dotted;
            tok_.text = word;
            pos_ = e + 1;
            return;
        }
        if (c == '"' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const auto e = text_.find(close, pos_ + 1);
            if (e == std::string_view::npos)
                fail(pos_, std::string("string without its closing ") + close);
            tok_.kind = Tok::String;
            tok_.text = std::string(text_.substr(pos_ + 1, e - pos_ - 1));
            pos_ = e + 1;
            return;
        }
        if (c == '{') {
            const auto e = text_.find('}', pos_ + 1);
            if (e == std::string_view::npos)
                fail(pos_, "date without its closing }");
            tok_.kind = Tok::DateLit;
            tok_.text = std::string(text_.substr(pos_ + 1, e - pos_ - 1));
            pos_ = e + 1;
            return;
        }
        tok_.kind = Tok::Op;
        static const char* kTwo[] = {"==", "<>", "<=", ">=", "!=", "**"};
        for (const char* op : kTwo) {
            if (text_.substr(pos_, 2) == op) {
                tok_.text = op;
                pos_ += 2;
                return;
            }
        }
        switch (c) {
        case '(': tok_.kind = Tok::LParen; break;
        case ')': tok_.kind = Tok::RParen; break;
        case ',': tok_.kind = Tok::Comma; break;
        case '=': case '<': case '>': case '#': case '$': case '+': case '-':
        case '*': case '/': case '%': case '!':
            break;
        default:
            fail(pos_, std::string("unexpected character '") + c + "'");
        }
        tok_.text = std::string(1, c);
        ++pos_;
    }

    bool isDotted(const char* w) const { return tok_.kind == Tok::Dotted && tok_.text == w; }
    bool isOp(const char* o) const { return tok_.kind == Tok::Op && tok_.text == o; }

    // --- grammar ---
    NodePtr parseOr() {
        auto l = parseAnd();
        while (isDotted("OR")) {
            const auto p = tok_.pos;
            next();
            l = logical(ExprOp::Or, std::move(l), parseAnd(), p);
        }
        return l;
    }

    NodePtr parseAnd() {
        auto l = parseNot();
        while (isDotted("AND")) {
            const auto p = tok_.pos;
            next();
            l = logical(ExprOp::And, std::move(l), parseNot(), p);
        }
        return l;
    }

    // Counts one level of recursion; the parser's stack stays bounded whatever the text.
    class Nesting {
    public:
        explicit Nesting(Parser& p) : p_(p) {
            if (++p_.nesting_ > kMaxNesting)
                p_.fail(p_.tok_.pos, "nested more than " + std::to_string(kMaxNesting) + " levels deep");
        }
        ~Nesting() { --p_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& p_;
    };

    NodePtr parseNot() {
        if (isDotted("NOT") || isOp("!")) {
            const Nesting level(*this);
            const auto p = tok_.pos;
            next();
            auto a = parseNot();
            expect(*a, ValueType::Logical, p, "NOT");
            return make(ExprOp::Not, ValueType::Logical, 0, std::move(a));
        }
        return parseComparison();
    }

    NodePtr parseComparison() {
        auto l = parseAdditive();
        static const std::pair<const char*, ExprOp> kOps[] = {
            {"==", ExprOp::ExactEqual}, {"=", ExprOp::Equal},          {"<>", ExprOp::NotEqual},
            {"#", ExprOp::NotEqual},    {"!=", ExprOp::NotEqual},      {"<=", ExprOp::LessEqual},
            {">=", ExprOp::GreaterEqual}, {"<", ExprOp::Less},         {">", ExprOp::Greater},
            {"$", ExprOp::Contains}};
        for (const auto& [text, op] : kOps) {
            if (!isOp(text))
                continue;
            const auto p = tok_.pos;
            next();
            auto r = parseAdditive();
            if (l->type != r->type)
                fail(p, std::string("cannot compare ") + to_string(l->type) + " with " + to_string(r->type));
            if (op == ExprOp::Contains && l->type != ValueType::Character)
                fail(p, "$ needs character operands");
            if (l->type == ValueType::Logical && op != ExprOp::Equal && op != ExprOp::ExactEqual &&
                op != ExprOp::NotEqual)
                fail(p, "logical values can only be tested for equality");
            return make(op, ValueType::Logical, 0, std::move(l), std::move(r));
        }
        return l;
    }

    NodePtr parseAdditive() {
        auto l = parseMultiplicative();
        while (isOp("+") || isOp("-")) {
            const bool plus = tok_.text == "+";
            const auto p = tok_.pos;
            next();
            auto r = parseMultiplicative();
            const ValueType a = l->type, b = r->type;
            ValueType t;
            int w = 0;
            if (a == ValueType::Character && b == ValueType::Character) {
                t = ValueType::Character;
                w = std::min(l->width + r->width, kMaxTextLength);
            } else if (a == ValueType::Numeric && b == ValueType::Numeric) {
                t = ValueType::Numeric;
            } else if (a == ValueType::Date && b == ValueType::Numeric) {
                t = ValueType::Date;
            } else if (plus && a == ValueType::Numeric && b == ValueType::Date) {
                t = ValueType::Date;
            } else if (!plus && a == ValueType::Date && b == ValueType::Date) {
                t = ValueType::Numeric;
            } else {
                fail(p, std::string("cannot ") + (plus ? "add " : "subtract ") + to_string(b) +
                            (plus ? " to " : " from ") + to_string(a));
            }
            l = make(plus ? ExprOp::Add : ExprOp::Sub, t, w, std::move(l), std::move(r));
        }
        return l;
    }

    NodePtr parseMultiplicative() {
        auto l = parseUnary();
        while (isOp("*") || isOp("/") || isOp("%")) {
            const ExprOp op = tok_.text == "*" ? ExprOp::Mul : tok_.text == "/" ? ExprOp::Div : ExprOp::Mod;
            const auto p = tok_.pos;
            next();
            auto r = parseUnary();
            if (l->type != ValueType::Numeric || r->type != ValueType::Numeric)
                fail(p, "arithmetic needs numeric operands");
            l = make(op, ValueType::Numeric, 0, std::move(l), std::move(r));
        }
        return l;
    }

    NodePtr parseUnary() {
        if (isOp("-") || isOp("+")) {
            const Nesting level(*this);
            const bool neg = tok_.text == "-";
            const auto p = tok_.pos;
            next();
            auto a = parseUnary();
            expect(*a, ValueType::Numeric, p, "sign");
            return neg ? make(ExprOp::Negate, ValueType::Numeric, 0, std::move(a)) : std::move(a);
        }
        return parsePrimary();
    }

    NodePtr parsePrimary() {
        const Token t = tok_;
        switch (t.kind) {
        case Tok::LParen: {
            const Nesting level(*this);
            next();
            auto n = parseOr();
            if (tok_.kind != Tok::RParen)
                fail(tok_.pos, "')' expected");
            next();
            return n;
        }
        case Tok::Number: {
            next();
            char* end = nullptr;
            const double v = std::strtod(t.text.c_str(), &end);
            if (end != t.text.c_str() + t.text.size())
                fail(t.pos, "bad number " + t.text);
            return literal(Value::numeric(v), 0);
        }
        case Tok::String: {
            next();
            std::string s = utf8ToCp1252(t.text);
            const int w = static_cast<int>(s.size());
            return literal(Value::character(std::move(s)), w);
        }
        case Tok::DateLit: {
            next();
            std::string body = t.text;
            body.erase(std::remove(body.begin(), body.end(), ' '), body.end());
            if (body.empty() || body == "//" || body == "^")
                return literal(Value::date(XDate{}), 0);
            XDate d;
            if (body[0] == '^') { // strict form {^yyyy-mm-dd}
                std::string digits;
                for (char c : body.substr(1))
                    if (std::isdigit(static_cast<unsigned char>(c)))
                        digits += c;
                d = XDate::fromDtos(digits);
            } else {
                d = XDate::fromMdy(body);
            }
            if (d.empty())
                fail(t.pos, "not a date: {" + t.text + "}");
            return literal(Value::date(d), 0);
        }
        case Tok::Dotted: {
            if (t.text == "T" || t.text == "TRUE" || t.text == "Y") {
                next();
                return literal(Value::logical(true), 0);
            }
            if (t.text == "F" || t.text == "FALSE" || t.text == "N") {
                next();
                return literal(Value::logical(false), 0);
            }
            fail(t.pos, "unexpected ." + t.text + ".");
        }
        case Tok::Ident: {
            next();
            if (tok_.kind == Tok::LParen)
                return parseCall(t);
            const int f = schema_.indexOf(t.text);
            if (f < 0)
                fail(t.pos, "unknown field " + t.text);
            const FieldDef& fd = schema_[static_cast<std::size_t>(f)];
            auto n = std::make_unique<ExprNode>();
            n->op = ExprOp::Field;
            n->field = f;
            switch (fd.type) {
            case FieldType::Character: n->type = ValueType::Character; n->width = fd.width; break;
            case FieldType::Logical: n->type = ValueType::Logical; break;
            case FieldType::Date: n->type = ValueType::Date; break;
            case FieldType::Numeric:
            case FieldType::Float: n->type = ValueType::Numeric; break;
            case FieldType::Memo: fail(t.pos, "memo field " + fd.name + " cannot be used in an expression");
            }
            return n;
        }
        case Tok::End: fail(t.pos, "expression ends too early");
        case Tok::RParen:
        case Tok::Comma:
        case Tok::Op: fail(t.pos, "unexpected '" + t.text + "'");
        }
        fail(t.pos, "unexpected token");
    }

    NodePtr parseCall(const Token& name) {
        const FunctionSpec* spec = nullptr;
        for (const auto& f : kFunctions)
            if (name.text == f.name)
                spec = &f;
        if (!spec)
            fail(name.pos, "unknown function " + name.text + "()");
        const Nesting level(*this);
        next(); // '('
        std::vector<NodePtr> args;
        std::vector<std::size_t> argPos;
        if (tok_.kind != Tok::RParen) {
            while (true) {
                argPos.push_back(tok_.pos);
                args.push_back(parseOr());
                if (tok_.kind == Tok::Comma) {
                    next();
                    continue;
                }
                break;
            }
        }
        if (tok_.kind != Tok::RParen)
            fail(tok_.pos, "')' expected after the arguments of " + name.text + "()");
        next();
        const int n = static_cast<int>(args.size());
        if (n < spec->minArgs || n > spec->maxArgs)
            fail(name.pos, name.text + "() takes " + std::to_string(spec->minArgs) +
                               (spec->maxArgs != spec->minArgs ? " to " + std::to_string(spec->maxArgs) : "") +
                               " argument(s), not " + std::to_string(n));
        const auto need = [&](int i, ValueType t) {
            if (args[static_cast<std::size_t>(i)]->type != t)
                fail(argPos[static_cast<std::size_t>(i)],
                     name.text + "() needs a " + to_string(t) + " argument here, not " +
                         to_string(args[static_cast<std::size_t>(i)]->type));
        };
        auto node = std::make_unique<ExprNode>();
        node->op = spec->op;
        switch (spec->op) {
        case ExprOp::Dtos: need(0, ValueType::Date); node->type = ValueType::Character; node->width = 8; break;
        case ExprOp::Dtoc: need(0, ValueType::Date); node->type = ValueType::Character; node->width = 10; break;
        case ExprOp::Ctod: need(0, ValueType::Character); node->type = ValueType::Date; break;
        case ExprOp::Upper:
        case ExprOp::Lower:
        case ExprOp::Alltrim:
        case ExprOp::Rtrim:
        case ExprOp::Ltrim:
            need(0, ValueType::Character);
            node->type = ValueType::Character;
            node->width = args[0]->width;
            break;
        case ExprOp::Empty: node->type = ValueType::Logical; break;
        case ExprOp::Deleted: node->type = ValueType::Logical; break;
        case ExprOp::Recno: node->type = ValueType::Numeric; break;
        case ExprOp::Date: node->type = ValueType::Date; break;
        case ExprOp::Len: need(0, ValueType::Character); node->type = ValueType::Numeric; break;
        case ExprOp::Substr:
            need(0, ValueType::Character);
            need(1, ValueType::Numeric);
            if (n == 3)
                need(2, ValueType::Numeric);
            node->type = ValueType::Character;
            node->width = n == 3 && args[2]->op == ExprOp::Literal
                              ? literalCount(*args[2], argPos[2], "SUBSTR() length", 0, kMaxTextLength)
                              : args[0]->width;
            break;
        case ExprOp::Left:
        case ExprOp::Right:
            need(0, ValueType::Character);
            need(1, ValueType::Numeric);
            node->type = ValueType::Character;
            node->width = args[1]->op == ExprOp::Literal
                              ? literalCount(*args[1], argPos[1], (name.text + "() length").c_str(), 0,
                                             kMaxTextLength)
                              : args[0]->width;
            break;
        case ExprOp::Str:
            for (int i = 0; i < n; ++i)
                need(i, ValueType::Numeric);
            node->type = ValueType::Character;
            node->width = n >= 2 && args[1]->op == ExprOp::Literal
                              ? literalCount(*args[1], argPos[1], "STR() width", 1, kMaxStrWidth)
                              : 10;
            if (n == 3 && args[2]->op == ExprOp::Literal)
                literalCount(*args[2], argPos[2], "STR() decimals", 0, kMaxStrWidth);
            break;
        case ExprOp::Val: need(0, ValueType::Character); node->type = ValueType::Numeric; break;
        case ExprOp::Iif:
            need(0, ValueType::Logical);
            if (args[1]->type != args[2]->type)
                fail(argPos[2], "IIF() branches must have one type");
            node->type = args[1]->type;
            node->width = std::max(args[1]->width, args[2]->width);
            break;
        default: fail(name.pos, "unsupported function");
        }
        node->args = std::move(args);
        return deepen(std::move(node));
    }

    // --- helpers ---
    // A literal count or width, checked before it becomes an int.
    int literalCount(const ExprNode& n, std::size_t pos, const char* what, int lo, int hi) const {
        const double v = n.literal.num();
        if (!(v >= lo && v <= hi))
            fail(pos, std::string(what) + " must be " + std::to_string(lo) + " to " + std::to_string(hi));
        return static_cast<int>(v);
    }

    NodePtr deepen(NodePtr n) const {
        for (const auto& a : n->args)
            n->depth = std::max(n->depth, a->depth + 1);
        if (n->depth > kMaxTreeDepth)
            fail(tok_.pos, "more than " + std::to_string(kMaxTreeDepth) + " operations in a chain");
        return n;
    }

    void expect(const ExprNode& n, ValueType t, std::size_t pos, const char* what) const {
        if (n.type != t)
            fail(pos, std::string(what) + " needs a " + to_string(t) + " operand, not " + to_string(n.type));
    }

    NodePtr logical(ExprOp op, NodePtr l, NodePtr r, std::size_t pos) const {
        expect(*l, ValueType::Logical, pos, op == ExprOp::And ? ".AND." : ".OR.");
        expect(*r, ValueType::Logical, pos, op == ExprOp::And ? ".AND." : ".OR.");
        return make(op, ValueType::Logical, 0, std::move(l), std::move(r));
    }

    static NodePtr literal(Value v, int width) {
        auto n = std::make_unique<ExprNode>();
        n->op = ExprOp::Literal;
        n->type = v.type();
        n->width = width;
        n->literal = std::move(v);
        return n;
    }

    NodePtr make(ExprOp op, ValueType t, int width, NodePtr a, NodePtr b = nullptr) const {
        auto n = std::make_unique<ExprNode>();
        n->op = op;
        n->type = t;
        n->width = width;
        n->args.push_back(std::move(a));
        if (b)
            n->args.push_back(std::move(b));
        return deepen(std::move(n));
    }

    std::string_view text_;
    const Schema& schema_;
    std::size_t pos_ = 0;
    Token tok_;
    int nesting_ = 0;
};

} // namespace

Expression Expression::compile(std::string_view text, const Schema& schema) {
    Expression e;
    e.text_ = std::string(text);
    Parser p(e.text_, schema);
    e.root_ = p.parseAll();
    return e;
}

ValueType Expression::type() const { return root_->type; }
int Expression::width() const { return root_->width; }

bool Expression::isNotDeleted() const {
    return root_ && root_->op == ExprOp::Not && root_->args[0]->op == ExprOp::Deleted;
}

} // namespace faxlog
