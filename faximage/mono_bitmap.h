// One-bit raster: the page image handed between the converter, the unpacker, the viewer
// and the printer.
//
// Rows are `stride` bytes apart; the most significant bit of a byte is its leftmost
// pixel. Which bit value means black is recorded in `sense()`: fax lines use 1 = black,
// the window-system convention used for page bitmaps is 1 = white. Bits to the right of
// `width()` in a row are padding and are not part of the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace faximage {

enum class PixelSense {
    OneIsBlack, // fax raster lines
    OneIsWhite, // window-system monochrome bitmaps
};

std::string_view to_string(PixelSense sense);

class MonoBitmap {
public:
    MonoBitmap() = default;
    // A white image. stride 0 means the smallest stride that holds `width` pixels.
    MonoBitmap(int width, int height, PixelSense sense = PixelSense::OneIsBlack,
               std::size_t stride = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t stride() const { return stride_; }
    PixelSense sense() const { return sense_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    // Bytes needed for `width` pixels.
    static std::size_t bytesForWidth(int width) { return (static_cast<std::size_t>(width) + 7) / 8; }

    std::uint8_t* row(int y) { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* row(int y) const {
        return bits_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::span<std::uint8_t> rowSpan(int y) { return {row(y), stride_}; }
    std::span<const std::uint8_t> rowSpan(int y) const { return {row(y), stride_}; }
    std::span<const std::uint8_t> bits() const { return bits_; }
    std::span<std::uint8_t> bits() { return bits_; }

    // Raw bit value at (x, y), whatever the sense.
    bool bit(int x, int y) const { return (row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
    void setBit(int x, int y, bool value) {
        std::uint8_t& b = row(y)[x >> 3];
        const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
        b = value ? static_cast<std::uint8_t>(b | mask) : static_cast<std::uint8_t>(b & ~mask);
    }
    bool isBlack(int x, int y) const { return bit(x, y) == (sense_ == PixelSense::OneIsBlack); }
    void setBlack(int x, int y, bool black) {
        setBit(x, y, black == (sense_ == PixelSense::OneIsBlack));
    }

    // Paints the whole image white or black (padding included).
    void fillWhite();
    void fillBlack();
    // Photographic negative: every pixel swaps colour; the sense stays.
    void invertPixels();
    // Same picture, stored in the other convention: bits flip, the sense flag follows.
    void convertTo(PixelSense sense);

    // Copies `src` (in the same sense as this image) into row y, from the left; a shorter
    // source leaves the rest of the row as it was.
    void setRow(int y, std::span<const std::uint8_t> src);

    // True when both images show the same pixels (padding and sense ignored).
    bool samePixels(const MonoBitmap& other) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    PixelSense sense_ = PixelSense::OneIsBlack;
    std::vector<std::uint8_t> bits_;
};

} // namespace faximage
