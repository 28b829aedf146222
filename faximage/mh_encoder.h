// Modified Huffman (T.4 one-dimensional) coding of one raster line, in APF line form:
// fill + EOL first, the runs, then zero bits to the byte boundary and one zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace faximage {

// Upper bound of a coded line of up to 2560 pixels (every pixel its own run).
inline constexpr std::size_t kMaxCodedLine = 4096;

struct MhLineLayout {
    int width = 1728;     // pixels on the coded line (1728 or 2048)
    int leftMargin = 0;   // white pixels before the raster's first pixel
    bool doubleWidth = false; // each raster pixel written twice (the margin is not)
};

// Codes `raster` (1 = black, most significant bit leftmost; pixels past its end are
// white) into `out`, which must hold kMaxCodedLine bytes. An all-white line, judged on
// the first width/8 raster bytes, is one white run. Returns the byte count.
std::size_t encodeMhLine(std::span<const std::uint8_t> raster, const MhLineLayout& layout,
                         std::span<std::uint8_t> out);

std::vector<std::uint8_t> encodeMhLine(std::span<const std::uint8_t> raster,
                                       const MhLineLayout& layout);

// Run lengths of `width` pixels of a raster, alternating from white (the first may be
// 0). Used by the encoder; handy to check decoders against.
void rasterRuns(std::span<const std::uint8_t> raster, int width, std::vector<int>& runs);

} // namespace faximage
