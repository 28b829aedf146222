#include "settings/ini_file.h"

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
    if (text.empty())
        return std::nullopt;
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return int(v);
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
    if (content.find('\0') != std::string::npos) {
        IniFile binary;
        binary.wasText_ = false;
        return binary;
    }
    return parse(content);
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    if (text.find("\r\n") != std::string_view::npos)
        ini.eol_ = "\r\n";
    ini.sections_.push_back(Section{});
    while (!text.empty()) {
        auto nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);

        std::string_view line = trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string_view::npos) {
            auto name = trim(line.substr(1, line.find(']') - 1));
            ini.sections_.push_back(Section{std::string(name), std::string(raw), {}});
            continue;
        }
        auto eq = line.find('=');
        bool isEntry = eq != std::string_view::npos && eq > 0 && line.front() != ';' && line.front() != '#';
        if (isEntry)
            ini.sections_.back().lines.push_back(Line{std::string(trim(line.substr(0, eq))),
                                                      std::string(trim(line.substr(eq + 1))), std::string(raw)});
        else
            ini.sections_.back().lines.push_back(Line{{}, {}, std::string(raw)});
    }
    return ini;
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& s : sections_) {
        if (!s.header.empty())
            out += s.header + eol_;
        else if (&s != &sections_.front())
            out += "[" + s.name + "]" + eol_;
        for (const auto& l : s.lines)
            out += ((l.key.empty() || !l.raw.empty()) ? l.raw : l.key + "=" + l.value) + eol_;
    }
    return out;
}

void IniFile::save(const std::filesystem::path& file) const {
    auto tmp = file;
    tmp += ".tmp";
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
    sections_.push_back(Section{std::string(name), {}, {}});
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
    // Line breaks would split the entry into garbage lines on the next load.
    std::string clean(value);
    std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    auto& s = sectionForWrite(section);
    for (auto& l : s.lines)
        if (!l.key.empty() && equalsNoCase(l.key, key)) {
            l.value = clean;
            l.raw.clear();
            return;
        }
    // New keys go after the section's last entry, before trailing blank lines.
    auto pos = s.lines.end();
    while (pos != s.lines.begin() && std::prev(pos)->key.empty() && trim(std::prev(pos)->raw).empty())
        --pos;
    s.lines.insert(pos, Line{std::string(key), clean, {}});
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
