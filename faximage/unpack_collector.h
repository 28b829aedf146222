// The page bitmap collector: gathers the lines of one page into rows and packs them.
#pragma once

#include "faximage/mono_bitmap.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace faximage {

// A page never holds more rows than this (a metre of fine-resolution paper, doubled,
// is about 15 500); more is treated as running out of memory (-8).
inline constexpr int kMaxPageRows = 65536;

class PageCollector {
public:
    enum class Width {
        Packed, // rows cut after the rightmost ink, rounded up to an even byte count
        Full,   // rows as wide as the page
    };

    // stride: 256 for wide pages, else 216. `invert`: lines arrive with 1 = white.
    void begin(std::size_t stride, bool invert, Width width);
    // One line; an empty line is a blank row. Returns 0 or -8.
    int addLine(std::span<const std::uint8_t> line);
    // The collected rows (1 = white when inverted); empty when no line came. The
    // collector's memory is released.
    MonoBitmap finish();

    int rows() const { return rows_; }

private:
    std::vector<std::uint8_t> block_;
    std::size_t stride_ = 216;
    std::size_t widest_ = 1;
    int rows_ = 0;
    bool invert_ = false;
    Width width_ = Width::Packed;
};

} // namespace faximage
