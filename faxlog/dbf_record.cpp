#include "faxlog/dbf_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace faxlog {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

// Copies into the field's bytes, blank-padding a shorter value (string::replace draws a
// false -Wrestrict from GCC 12 at -O2).
void put(std::string& record, const FieldDef& f, std::string_view bytes) {
    const auto width = static_cast<std::size_t>(f.width);
    const auto n = std::min(width, bytes.size());
    auto out = record.begin() + f.offset;
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), out);
    std::fill(out + static_cast<std::ptrdiff_t>(n), out + static_cast<std::ptrdiff_t>(width), ' ');
}

} // namespace

std::string_view readCharacter(std::string_view record, const FieldDef& f) {
    return fieldBytes(record, f);
}

std::optional<double> readNumber(std::string_view record, const FieldDef& f) {
    const std::string text(trimmed(fieldBytes(record, f)));
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return std::nullopt; // overflow stars or damage read as blank
    return v;
}

bool readLogical(std::string_view record, const FieldDef& f) {
    const char c = fieldBytes(record, f)[0];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

XDate readDate(std::string_view record, const FieldDef& f) {
    return XDate::fromDtos(fieldBytes(record, f));
}

std::uint32_t readMemoBlock(std::string_view record, const FieldDef& f) {
    const auto bytes = fieldBytes(record, f);
    if (f.width == 4) { // binary pointer of later FoxPro tables
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    }
    const auto t = trimmed(bytes);
    std::uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return 0; // a damaged pointer reads as "no memo" rather than a wild block
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > 0xFFFFFFFFu)
            return 0;
    }
    return static_cast<std::uint32_t>(v);
}

void writeCharacter(std::string& record, const FieldDef& f, std::string_view text) {
    std::string v(text.substr(0, static_cast<std::size_t>(f.width)));
    v.resize(static_cast<std::size_t>(f.width), ' ');
    put(record, f, v);
}

void writeNumber(std::string& record, const FieldDef& f, std::optional<double> value) {
    if (!value) {
        put(record, f, std::string(static_cast<std::size_t>(f.width), ' '));
        return;
    }
    if (!std::isfinite(*value))
        throw std::out_of_range(f.name + ": not a finite number");
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%*.*f", f.width, f.decimals, *value);
    if (n < 0 || n > f.width)
        throw std::out_of_range(f.name + ": " + std::string(trimmed(buf)) + " does not fit in " +
                                std::to_string(f.width) + " characters");
    put(record, f, std::string_view(buf, static_cast<std::size_t>(n)));
}

void writeLogical(std::string& record, const FieldDef& f, bool value) {
    put(record, f, value ? "T" : "F");
}

void writeDate(std::string& record, const FieldDef& f, const XDate& value) {
    put(record, f, value.dtos());
}

void writeMemoBlock(std::string& record, const FieldDef& f, std::uint32_t block) {
    if (f.width == 4) {
        const char b[4] = {static_cast<char>(block & 0xFF), static_cast<char>((block >> 8) & 0xFF),
                           static_cast<char>((block >> 16) & 0xFF), static_cast<char>(block >> 24)};
        put(record, f, std::string_view(b, 4));
        return;
    }
    if (block == 0) {
        put(record, f, std::string(static_cast<std::size_t>(f.width), ' '));
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*u", f.width, block);
    put(record, f, buf);
}

std::string blankRecord(const Schema& schema) {
    std::string r(static_cast<std::size_t>(schema.recordLength()), ' ');
    for (const auto& f : schema.fields())
        if (f.type == FieldType::Memo && f.width == 4)
            writeMemoBlock(r, f, 0);
    return r;
}

} // namespace faxlog
