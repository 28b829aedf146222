// The fax font: a 16384-byte glyph table embedded in the program. 256 glyphs in each of
// two cells, indexed by the character's byte value; glyph rows most significant bit
// first, only the first cell-width bits of a row used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace faximage {

inline constexpr std::size_t kFaxFontSize = 16384;
extern const std::array<std::uint8_t, kFaxFontSize> kFaxFontTable;

enum class TFaxFont { ffStandard, ffSmall };

struct FaxFontCell {
    std::size_t offset;   // of glyph 0 in the table
    int bytesPerGlyph;
    int rows;
    int bytesPerRow;
    int width;            // pixels
};

inline constexpr FaxFontCell kSmallCell{0, 16, 8, 2, 12};
inline constexpr FaxFontCell kLargeCell{4096, 48, 16, 3, 20};

// One loaded size of the fax font; in fine resolution every glyph row is used twice.
class FaxFont {
public:
    FaxFont() = default;
    FaxFont(TFaxFont font, bool fine);

    int cellWidth() const { return cell_.width; }
    // Raster lines per text line (glyph rows, doubled in fine resolution).
    int cellHeight() const { return cell_.rows * (fine_ ? 2 : 1); }
    // Glyph row for raster line `line` (0-based, < cellHeight()) of character `ch`.
    std::span<const std::uint8_t> glyphRow(std::uint8_t ch, int line) const;

private:
    FaxFontCell cell_ = kLargeCell;
    bool fine_ = false;
};

} // namespace faximage
