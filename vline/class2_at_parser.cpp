#include "class2_at_parser.h"

#include <cctype>

namespace vline {

namespace {
char up(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
bool digit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

std::string_view to_string(AtOp op) {
    switch (op) {
    case AtOp::Execute:
        return "execute";
    case AtOp::Set:
        return "set";
    case AtOp::Query:
        return "query";
    case AtOp::Test:
        return "test";
    }
    return "?";
}

std::optional<std::string_view> stripAt(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\r' || line.front() == '\n'))
        line.remove_prefix(1);
    if (line.size() < 2 || up(line[0]) != 'A' || up(line[1]) != 'T')
        return std::nullopt;
    return line.substr(2);
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return std::string(v.substr(1, v.size() - 2));
    return std::string(v);
}

std::optional<std::vector<AtCommand>> parseAtLine(std::string_view s) {
    std::vector<AtCommand> out;
    std::size_t i = 0;
    auto number = [&] {
        std::string n;
        while (i < s.size() && digit(s[i]))
            n += s[i++];
        return n;
    };
    while (i < s.size()) {
        const char c = up(s[i]);
        if (c == ' ' || c == ';') {
            ++i;
            continue;
        }
        AtCommand cmd;
        if (c == '+') {
            cmd.extended = true;
            cmd.name = "+";
            ++i;
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                                    s[i] == '_' || s[i] == '%'))
                cmd.name += up(s[i++]);
            if (cmd.name.size() < 2)
                return std::nullopt;
            if (i < s.size() && s[i] == '?') {
                cmd.op = AtOp::Query;
                ++i;
            } else if (i < s.size() && s[i] == '=') {
                ++i;
                if (i < s.size() && s[i] == '?') {
                    cmd.op = AtOp::Test;
                    ++i;
                } else {
                    cmd.op = AtOp::Set;
                    // The value runs to ';' outside quotes, or to the end of the line.
                    bool quoted = false;
                    while (i < s.size() && (quoted || s[i] != ';')) {
                        if (s[i] == '"')
                            quoted = !quoted;
                        cmd.value += s[i++];
                    }
                    if (quoted)
                        return std::nullopt;
                    while (!cmd.value.empty() && cmd.value.back() == ' ')
                        cmd.value.pop_back();
                }
            }
        } else if (c == 'D') {
            cmd.name = "D";
            ++i;
            while (i < s.size() && s[i] != ';')
                cmd.arg += s[i++];
        } else if (c == 'S') {
            cmd.name = "S";
            ++i;
            cmd.value = number();
            if (cmd.value.empty())
                return std::nullopt;
            if (i < s.size() && s[i] == '?') {
                cmd.op = AtOp::Query;
                ++i;
            } else if (i < s.size() && s[i] == '=') {
                cmd.op = AtOp::Set;
                ++i;
                cmd.arg = number();
            }
        } else if (c == '&' || c == '\\' || c == '%') {
            if (i + 1 >= s.size())
                return std::nullopt;
            cmd.name = std::string(1, c) + up(s[i + 1]);
            i += 2;
            cmd.value = number();
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            cmd.name = std::string(1, c);
            ++i;
            cmd.value = number();
            if (i < s.size() && s[i] == '?') { // I? and the like
                cmd.op = AtOp::Query;
                ++i;
            }
        } else {
            return std::nullopt;
        }
        out.push_back(std::move(cmd));
    }
    return out;
}

} // namespace vline
