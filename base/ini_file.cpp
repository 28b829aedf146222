#include "base/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace settings {

namespace {

std::string_view trim(std::string_view s) {
    const char* ws = " \t\r\n";
    auto b = s.find_first_not_of(ws);
    if (b == std::string_view::npos)
        return {};
    auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::optional<int> parseInteger(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && lower(text[1]) == 'x') {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    // One sign only: the digits are read without one.
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    unsigned long long magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const unsigned long long limit = negative ? 2147483648ULL : 2147483647ULL;
    if (magnitude > limit)
        return std::nullopt;
    return negative ? static_cast<int>(-static_cast<long long>(magnitude)) : static_cast<int>(magnitude);
}

// The text a line means: NUL bytes are no text, and a carriage return inside a line is
// a blank (lines end at line feeds).
std::string meaningOf(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (char c : raw) {
        if (c == '\0')
            continue;
        text.push_back(c == '\r' ? ' ' : c);
    }
    return text;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A value that would not read back as itself is written in quotes.
std::string quotedIfNeeded(const std::string& value) {
    if (value.empty())
        return value;
    const bool blankEdge = isBlank(value.front()) || isBlank(value.back());
    const bool quoteEdges = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    return blankEdge || quoteEdges ? '"' + value + '"' : value;
}

} // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

IniFile IniFile::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string content = buffer.str();
    IniFile ini = parse(content);
    ini.wasText_ = content.find('\0') == std::string::npos;
    return ini;
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    ini.sections_.push_back(Section{});
    bool first = true;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        std::string end;
        if (nl == std::string_view::npos) {
            text = {};
        } else {
            text = text.substr(nl + 1);
            end = "\n";
            if (!raw.empty() && raw.back() == '\r') {
                raw.remove_suffix(1);
                end = "\r\n";
            }
        }
        if (first && !end.empty())
            ini.eol_ = end;
        first = false;

        const std::string meaning = meaningOf(raw);
        const std::string_view line = trim(meaning);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string_view::npos) {
            auto name = trim(line.substr(1, line.find(']') - 1));
            ini.sections_.push_back(Section{std::string(name), std::string(raw), end, {}});
            continue;
        }
        auto eq = line.find('=');
        bool isEntry = eq != std::string_view::npos && eq > 0 && line.front() != ';' && line.front() != '#';
        if (isEntry)
            ini.sections_.back().lines.push_back(Line{std::string(trim(line.substr(0, eq))),
                                                      std::string(unquoted(trim(line.substr(eq + 1)))),
                                                      std::string(raw), end});
        else
            ini.sections_.back().lines.push_back(Line{{}, {}, std::string(raw), end});
    }
    return ini;
}

std::string IniFile::text() const {
    // Each line keeps its own line end; new lines take the file's, and so does a last
    // line without one once something follows it.
    std::vector<std::pair<std::string, const std::string*>> out;
    for (const auto& s : sections_) {
        if (!s.header.empty())
            out.emplace_back(s.header, &s.headerEnd);
        else if (&s != &sections_.front())
            out.emplace_back("[" + s.name + "]", nullptr);
        for (const auto& l : s.lines)
            out.emplace_back((l.key.empty() || !l.raw.empty()) ? l.raw : l.key + "=" + quotedIfNeeded(l.value),
                             l.key.empty() || !l.raw.empty() ? &l.end : nullptr);
    }
    std::string text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        text += out[i].first;
        const std::string* end = out[i].second;
        const bool last = i + 1 == out.size();
        text += end && (!end->empty() || last) ? *end : eol_;
    }
    return text;
}

void IniFile::save(const std::filesystem::path& file) const {
    // One temporary name per process: two programs saving at once (the desktop program
    // and the virtual line naming its ports) must not write into each other's file.
    auto tmp = file;
    tmp += ".tmp-" + std::to_string(::getpid());
    const std::string data = text();
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        throw std::system_error(errno, std::generic_category(), "cannot write " + tmp.string());
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(fileno(f)) == 0 && ok;
    int err = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(tmp.c_str());
        throw std::system_error(err, std::generic_category(), "cannot write " + tmp.string());
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
    if (ec) {
        std::remove(tmp.c_str());
        throw std::system_error(ec, "cannot replace " + file.string());
    }
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    for (const auto& s : sections_)
        if (!s.name.empty() && equalsNoCase(s.name, name))
            return &s;
    return nullptr;
}

IniFile::Section& IniFile::sectionForWrite(std::string_view name) {
    if (auto* s = findSection(name))
        return const_cast<Section&>(*s);
    if (sections_.empty())
        sections_.push_back(Section{});
    // Keep a blank line between sections when the file is written back.
    auto& last = sections_.back().lines;
    if (!last.empty() && !(last.back().key.empty() && trim(last.back().raw).empty()))
        last.push_back(Line{});
    sections_.push_back(Section{std::string(name), {}, {}, {}});
    return sections_.back();
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    if (const auto* s = findSection(section))
        for (const auto& l : s->lines)
            if (!l.key.empty() && equalsNoCase(l.key, key))
                return l.value;
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    auto v = value(section, key);
    return v ? *v : std::string(fallback);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int fallback) const {
    auto v = value(section, key);
    if (!v)
        return fallback;
    return parseInteger(*v).value_or(fallback);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    // Line breaks would split the entry into garbage lines on the next load, and a NUL
    // byte is no text.
    std::string clean;
    for (char c : value)
        if (c != '\0')
            clean.push_back(c == '\n' || c == '\r' ? ' ' : c);
    auto& s = sectionForWrite(section);
    for (auto& l : s.lines)
        if (!l.key.empty() && equalsNoCase(l.key, key)) {
            if (l.value != clean) { // an unchanged entry keeps its spelling
                l.value = clean;
                l.raw.clear();
            }
            return;
        }
    // New keys go after the section's last entry, before trailing blank lines.
    auto pos = s.lines.end();
    while (pos != s.lines.begin() && std::prev(pos)->key.empty() && trim(std::prev(pos)->raw).empty())
        --pos;
    s.lines.insert(pos, Line{std::string(key), clean, {}, {}});
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

bool IniFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

std::vector<std::string> IniFile::sectionNames() const {
    std::vector<std::string> names;
    for (const auto& s : sections_)
        if (!s.name.empty())
            names.push_back(s.name);
    return names;
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
    std::vector<std::string> result;
    if (const auto* s = findSection(section))
        for (const auto& l : s->lines)
            if (!l.key.empty())
                result.push_back(l.key);
    return result;
}

void IniFile::eraseKey(std::string_view section, std::string_view key) {
    if (const auto* cs = findSection(section)) {
        auto& lines = const_cast<Section*>(cs)->lines;
        std::erase_if(lines, [&](const Line& l) { return !l.key.empty() && equalsNoCase(l.key, key); });
    }
}

void IniFile::eraseSection(std::string_view section) {
    std::erase_if(sections_, [&](const Section& s) { return !s.name.empty() && equalsNoCase(s.name, section); });
}

} // namespace settings
