#include "faximage/fax_font.h"

namespace faximage {

FaxFont::FaxFont(TFaxFont font, bool fine)
    : cell_(font == TFaxFont::ffSmall ? kSmallCell : kLargeCell), fine_(fine) {}

std::span<const std::uint8_t> FaxFont::glyphRow(std::uint8_t ch, int line) const {
    const int row = fine_ ? line / 2 : line;
    const std::size_t at = cell_.offset + static_cast<std::size_t>(ch) * cell_.bytesPerGlyph +
                           static_cast<std::size_t>(row) * cell_.bytesPerRow;
    return std::span(kFaxFontTable).subspan(at, static_cast<std::size_t>(cell_.bytesPerRow));
}

} // namespace faximage
