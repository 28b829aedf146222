#include "faximage/text_codepage.h"

#include <optional>

namespace faximage {

namespace {

constexpr char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Decodes UTF-8; nothing when the bytes are not UTF-8 or hold only ASCII.
std::optional<std::u32string> decodeUtf8(std::string_view s) {
    std::u32string out;
    bool beyondAscii = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra;
        char32_t cp;
        if (b < 0x80) {
            extra = 0;
            cp = b;
        } else if (b >= 0xC2 && b < 0xE0) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b < 0xF0) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b < 0xF5) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = cp << 6 | (c & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        beyondAscii |= extra > 0;
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    if (!beyondAscii)
        return std::nullopt;
    return out;
}

} // namespace

char32_t cp1252ToUnicode(std::uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return kHigh[byte - 0x80];
    return byte;
}

std::string toCp1252(std::string_view line) {
    const auto cps = decodeUtf8(line);
    if (!cps)
        return std::string(line);
    std::string out;
    out.reserve(cps->size());
    for (char32_t cp : *cps) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (kHigh[i] == cp && cp != 0)
                mapped = static_cast<char>(0x80 + i);
        out.push_back(mapped);
    }
    return out;
}

std::u32string toCodePoints(std::string_view line) {
    if (auto cps = decodeUtf8(line))
        return *cps;
    std::u32string out;
    for (char c : line)
        out.push_back(cp1252ToUnicode(static_cast<std::uint8_t>(c)));
    return out;
}

} // namespace faximage
