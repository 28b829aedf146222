// Builds the fax font table (16384 bytes) from two PSF console fonts and writes it as a
// C++ source file.
//
//   make_fax_font SMALL.psf[.gz] LARGE.psf[.gz] OUT.cpp
//
// Layout of the table: 256 small glyphs of 16 bytes (8 rows of 2 bytes, 12-pixel cell)
// at offset 0, then 256 large glyphs of 48 bytes (16 rows of 3 bytes, 20-pixel cell) at
// offset 4096; rows most significant bit first. Byte values map to characters through
// Windows code page 1252, the code page text files for faxing are usually written in.
//
// Fax pixels are about twice as tall as they are wide at standard resolution, so each
// source pixel is written twice across: a 5x8 source glyph fills 10 of the 12 columns
// of a small cell, an 8x16 one 16 of the 20 columns of a large cell, and both keep the
// proportions the font was drawn with. Control characters stay blank; typographic
// characters the small font lacks are drawn as plain stand-ins.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct PsfFont {
    int width = 0, height = 0, bytesPerRow = 0, charSize = 0;
    std::vector<std::uint8_t> glyphs;
    std::map<char32_t, int> glyphOf; // code point -> glyph index
};

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> data;
    const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
    if (gz) {
        const std::string cmd = "gzip -dc '" + path + "'";
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p)
            throw std::runtime_error("cannot run gzip");
        std::uint8_t buf[8192];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            data.insert(data.end(), buf, buf + n);
        if (::pclose(p) != 0)
            throw std::runtime_error("cannot decompress " + path);
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot open " + path);
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    return data;
}

std::uint32_t le32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d.at(at) | d.at(at + 1) << 8 | d.at(at + 2) << 16 | static_cast<std::uint32_t>(d.at(at + 3)) << 24;
}

// Decodes one UTF-8 sequence at d[i]; advances i.
char32_t utf8(const std::vector<std::uint8_t>& d, std::size_t& i) {
    const std::uint8_t b = d.at(i++);
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    while (extra-- > 0)
        cp = cp << 6 | (d.at(i++) & 0x3F);
    return cp;
}

PsfFont loadPsf(const std::string& path) {
    const auto d = readAll(path);
    PsfFont f;
    std::size_t glyphCount = 0, glyphStart = 0;
    bool unicode = false;
    bool v2 = false;
    if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
        const std::uint8_t mode = d.at(2);
        glyphCount = mode & 1 ? 512 : 256;
        unicode = mode & 6;
        f.charSize = d.at(3);
        f.height = f.charSize;
        f.width = 8;
        glyphStart = 4;
    } else if (d.size() >= 32 && le32(d, 0) == 0x864AB572) {
        v2 = true;
        glyphStart = le32(d, 8);
        unicode = le32(d, 12) & 1;
        glyphCount = le32(d, 16);
        f.charSize = static_cast<int>(le32(d, 20));
        f.height = static_cast<int>(le32(d, 24));
        f.width = static_cast<int>(le32(d, 28));
    } else {
        throw std::runtime_error(path + ": not a PSF font");
    }
    f.bytesPerRow = (f.width + 7) / 8;
    const std::size_t glyphBytes = glyphCount * static_cast<std::size_t>(f.charSize);
    if (glyphStart + glyphBytes > d.size())
        throw std::runtime_error(path + ": truncated");
    f.glyphs.assign(d.begin() + static_cast<long>(glyphStart),
                    d.begin() + static_cast<long>(glyphStart + glyphBytes));
    if (!unicode) {
        for (std::size_t g = 0; g < glyphCount; ++g)
            f.glyphOf.emplace(static_cast<char32_t>(g), static_cast<int>(g));
        return f;
    }
    std::size_t i = glyphStart + glyphBytes;
    for (std::size_t g = 0; g < glyphCount && i < d.size(); ++g) {
        bool inSequence = false;
        for (;;) {
            if (v2) {
                const std::uint8_t b = d.at(i);
                if (b == 0xFF) { ++i; break; }
                if (b == 0xFE) { ++i; inSequence = true; continue; }
                const char32_t cp = utf8(d, i);
                if (!inSequence)
                    f.glyphOf.emplace(cp, static_cast<int>(g));
            } else {
                const std::uint16_t v = static_cast<std::uint16_t>(d.at(i) | d.at(i + 1) << 8);
                i += 2;
                if (v == 0xFFFF) break;
                if (v == 0xFFFE) { inSequence = true; continue; }
                if (!inSequence)
                    f.glyphOf.emplace(v, static_cast<int>(g));
            }
        }
    }
    return f;
}

char32_t cp1252(int byte) {
    static const char32_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (byte < 0x20 || byte == 0x7F)
        return 0; // control characters: blank
    if (byte >= 0x80 && byte < 0xA0)
        return high[byte - 0x80];
    return static_cast<char32_t>(byte);
}

// Stand-ins for the typographic characters a small font may lack.
char32_t fallback(char32_t cp) {
    switch (cp) {
    case 0x201A: case 0x2018: case 0x2019: case 0x2039: case 0x203A: return '\'';
    case 0x201E: case 0x201C: case 0x201D: return '"';
    case 0x2013: case 0x2014: return '-';
    case 0x2026: return '.';
    case 0x2022: return 0xB7;
    case 0x02C6: return '^';
    case 0x02DC: return '~';
    case 0x2020: case 0x2021: return '+';
    case 0x2030: return '%';
    case 0x0192: return 'f';
    case 0x20AC: return 'E';
    case 0x2122: return 'T';
    case 0x0160: return 'S';
    case 0x0161: return 's';
    case 0x017D: return 'Z';
    case 0x017E: return 'z';
    case 0x0152: return 'O';
    case 0x0153: return 'o';
    case 0x0178: return 'Y';
    default: return 0;
    }
}

// Draws glyph rows of `f` into `cell` (rows x cellBytes), each source pixel twice across,
// starting at column `left`. Returns false when the font has no glyph for `cp`.
bool drawGlyph(const PsfFont& f, char32_t cp, int rows, int cellBytes, int left,
               std::uint8_t* cell) {
    auto it = f.glyphOf.find(cp);
    if (it == f.glyphOf.end())
        it = f.glyphOf.find(fallback(cp));
    if (it == f.glyphOf.end())
        return false;
    const std::uint8_t* g = f.glyphs.data() + static_cast<std::size_t>(it->second) * f.charSize;
    for (int y = 0; y < rows && y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            if (!((g[y * f.bytesPerRow + x / 8] >> (7 - x % 8)) & 1))
                continue;
            for (int dx = 0; dx < 2; ++dx) {
                const int cx = left + 2 * x + dx;
                cell[y * cellBytes + cx / 8] |= static_cast<std::uint8_t>(0x80 >> (cx % 8));
            }
        }
    }
    return true;
}


// The small source font leaves its Latin-1 letters blank; they are built here from the
// plain letter and an accent in the free rows above it (lowercase: rows 0-1,
// uppercase: row 0), which is what keeps names legible in header lines.
enum Accent { None, Grave, Acute, Circumflex, Tilde, Diaeresis, Ring, Caron, Cedilla, Slash };

struct Composition {
    char32_t base;
    Accent accent;
};

Composition decompose(char32_t cp) {
    static const char* const upper = "AAAAAA?CEEEEIIII?NOOOOO?OUUUUY??";
    static const Accent upperAccent[32] = {
        Grave, Acute, Circumflex, Tilde, Diaeresis, Ring, None, Cedilla, Grave, Acute, Circumflex,
        Diaeresis, Grave, Acute, Circumflex, Diaeresis, None, Tilde, Grave, Acute, Circumflex,
        Tilde, Diaeresis, None, Slash, Grave, Acute, Circumflex, Diaeresis, Acute, None, None};
    if (cp == 0xFF)
        return {'y', Diaeresis};
    if (cp >= 0xC0 && cp <= 0xFF && upperAccent[(cp - 0xC0) & 31] != None) {
        const char b = upper[(cp - 0xC0) & 31];
        const bool lower = cp >= 0xE0;
        return {static_cast<char32_t>(lower ? b - 'A' + 'a' : b), upperAccent[(cp - 0xC0) & 31]};
    }
    switch (cp) {
    case 0x0160: return {'S', Caron};
    case 0x0161: return {'s', Caron};
    case 0x017D: return {'Z', Caron};
    case 0x017E: return {'z', Caron};
    case 0x0178: return {'Y', Diaeresis};
    default: return {0, None};
    }
}

// Plain stand-ins for the remaining Latin-1 signs in the small cell.
char32_t smallStandIn(char32_t cp) {
    static const char signs[] = "!cLoY|S\"Ca<--R-o+23'uP.,1o>///?"; // U+00A1..U+00BF
    if (cp >= 0xA1 && cp <= 0xBF)
        return static_cast<char32_t>(signs[cp - 0xA1]);
    switch (cp) {
    case 0xC6: return 'E';
    case 0xD0: return 'D';
    case 0xD7: return 'x';
    case 0xDE: return 'P';
    case 0xDF: return 'B';
    case 0xE6: return 'e';
    case 0xF0: return 'd';
    case 0xF7: return ':';
    case 0xFE: return 'p';
    default: return fallback(cp);
    }
}

using Rows = std::vector<std::uint32_t>; // one source row per entry, bit 31 = leftmost

Rows glyphRows(const PsfFont& f, char32_t cp) {
    auto it = f.glyphOf.find(cp);
    if (it == f.glyphOf.end())
        return {};
    Rows rows(static_cast<std::size_t>(f.height), 0);
    const std::uint8_t* g = f.glyphs.data() + static_cast<std::size_t>(it->second) * f.charSize;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if ((g[y * f.bytesPerRow + x / 8] >> (7 - x % 8)) & 1)
                rows[static_cast<std::size_t>(y)] |= 0x80000000u >> x;
    return rows;
}

bool blank(const Rows& rows) {
    for (auto r : rows)
        if (r)
            return false;
    return true;
}

std::uint32_t pattern(const char* p) { // "#.#." -> bits from the left
    std::uint32_t bits = 0;
    for (int x = 0; p[x]; ++x)
        if (p[x] == '#')
            bits |= 0x80000000u >> x;
    return bits;
}

Rows composeSmall(const PsfFont& f, Composition c) {
    Rows rows = glyphRows(f, c.base);
    if (rows.size() < 8 || blank(rows))
        return {};
    const bool lower = c.base >= 'a' && c.base <= 'z';
    if (c.base == 'i') // dotless, or the accent sits on the dot
        rows[0] = rows[1] = 0;
    struct Marks { const char* two[2]; const char* one; };
    static const Marks marks[] = {
        {{"", ""}, ""},            {{"#...", ".#.."}, ".#.."}, {{"..#.", ".#.."}, "..#."},
        {{".#..", "#.#."}, ".##."}, {{".#.#", "#.#."}, "####"}, {{"#..#", "...."}, "#..#"},
        {{".##.", ".##."}, ".##."}, {{"#.#.", ".#.."}, "#.#."}, {{"", ""}, ""},
        {{"", ""}, ""}};
    switch (c.accent) {
    case None:
        break;
    case Cedilla:
        rows[7] |= pattern(".#..");
        break;
    case Slash:
        rows[2] |= pattern("...#");
        rows[3] |= pattern("..#.");
        rows[4] |= pattern(".#..");
        rows[5] |= pattern("#...");
        break;
    default:
        if (lower) {
            rows[0] |= pattern(marks[c.accent].two[0]);
            rows[1] |= pattern(marks[c.accent].two[1]);
        } else {
            rows[0] |= pattern(marks[c.accent].one);
        }
    }
    return rows;
}

void placeRows(const Rows& rows, int cellRows, int cellBytes, int left, int width,
               std::uint8_t* cell) {
    for (int y = 0; y < cellRows && y < static_cast<int>(rows.size()); ++y)
        for (int x = 0; x < width; ++x)
            if (rows[static_cast<std::size_t>(y)] & (0x80000000u >> x))
                for (int dx = 0; dx < 2; ++dx) {
                    const int cx = left + 2 * x + dx;
                    cell[y * cellBytes + cx / 8] |= static_cast<std::uint8_t>(0x80 >> (cx % 8));
                }
}

bool drawSmall(const PsfFont& f, char32_t cp, std::uint8_t* cell) {
    Rows rows = glyphRows(f, cp);
    if (blank(rows) && cp != ' ' && cp != 0xA0 && cp != 0xAD) {
        rows = composeSmall(f, decompose(cp));
        if (rows.empty())
            rows = glyphRows(f, smallStandIn(cp));
    }
    if (rows.empty())
        return false;
    placeRows(rows, 8, 2, (12 - 2 * f.width) / 2, f.width, cell);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_fax_font SMALL.psf[.gz] LARGE.psf[.gz] OUT.cpp\n");
        return 2;
    }
    try {
        const PsfFont small = loadPsf(argv[1]);
        const PsfFont large = loadPsf(argv[2]);
        if (small.width * 2 > 12 || small.height > 8 || large.width * 2 > 20 || large.height > 16)
            throw std::runtime_error("source glyphs do not fit the 12x8 and 20x16 cells");
        std::array<std::uint8_t, 16384> table{};
        int missing = 0;
        for (int byte = 0; byte < 256; ++byte) {
            const char32_t cp = cp1252(byte);
            if (cp == 0)
                continue;
            const bool s = drawSmall(small, cp, table.data() + byte * 16);
            const bool l = drawGlyph(large, cp, 16, 3, (20 - 2 * large.width) / 2,
                                     table.data() + 4096 + byte * 48);
            if (!s || !l) {
                ++missing;
                std::fprintf(stderr, "no glyph for byte 0x%02X (U+%04X) in the %s font\n", byte,
                             static_cast<unsigned>(cp), !s ? "small" : "large");
            }
        }
        std::ofstream out(argv[3]);
        out << "// Generated by tools/make_fax_font from the Spleen 5x8 and 8x16 console fonts\n"
               "// (Copyright (c) 2018-2020 Frederic Cambus, BSD 2-Clause licence; see README.md).\n"
               "// Do not edit: regenerate with the fax_font target.\n"
               "#include \"faximage/fax_font.h\"\n\n"
               "namespace faximage {\n\n"
               "const std::array<std::uint8_t, kFaxFontSize> kFaxFontTable = {\n";
        for (std::size_t i = 0; i < table.size(); i += 16) {
            out << "   ";
            for (std::size_t j = i; j < i + 16; ++j) {
                char hex[8];
                std::snprintf(hex, sizeof hex, " 0x%02X,", table[j]);
                out << hex;
            }
            out << "\n";
        }
        out << "};\n\n} // namespace faximage\n";
        if (!out)
            throw std::runtime_error(std::string("cannot write ") + argv[3]);
        std::fprintf(stderr, "fax font written to %s (%d characters without a glyph)\n", argv[3],
                     missing);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fax_font: %s\n", e.what());
        return 1;
    }
    return 0;
}
