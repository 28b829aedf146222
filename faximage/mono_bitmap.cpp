#include "faximage/mono_bitmap.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace faximage {

std::string_view to_string(PixelSense sense) {
    switch (sense) {
    case PixelSense::OneIsBlack:
        return "1 = black";
    case PixelSense::OneIsWhite:
        return "1 = white";
    }
    return "?";
}

MonoBitmap::MonoBitmap(int width, int height, PixelSense sense, std::size_t stride)
    : width_(width), height_(height), sense_(sense) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("MonoBitmap: negative size");
    const std::size_t minStride = bytesForWidth(width);
    stride_ = stride == 0 ? minStride : stride;
    if (stride_ < minStride)
        throw std::invalid_argument("MonoBitmap: stride too small for width");
    bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
    fillWhite();
}

void MonoBitmap::fillWhite() {
    std::fill(bits_.begin(), bits_.end(), sense_ == PixelSense::OneIsBlack ? 0x00 : 0xFF);
}

void MonoBitmap::fillBlack() {
    std::fill(bits_.begin(), bits_.end(), sense_ == PixelSense::OneIsBlack ? 0xFF : 0x00);
}

void MonoBitmap::invertPixels() {
    for (auto& b : bits_)
        b = static_cast<std::uint8_t>(~b);
}

void MonoBitmap::convertTo(PixelSense sense) {
    if (sense == sense_)
        return;
    invertPixels();
    sense_ = sense;
}

void MonoBitmap::setRow(int y, std::span<const std::uint8_t> src) {
    if (const std::size_t n = std::min(src.size(), stride_); n != 0)
        std::memcpy(row(y), src.data(), n);
}

bool MonoBitmap::samePixels(const MonoBitmap& other) const {
    if (width_ != other.width_ || height_ != other.height_)
        return false;
    const bool flip = sense_ != other.sense_;
    const std::size_t whole = static_cast<std::size_t>(width_) / 8;
    const int rest = width_ % 8;
    const std::uint8_t restMask = static_cast<std::uint8_t>(0xFF00u >> rest);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = other.row(y);
        for (std::size_t i = 0; i < whole; ++i)
            if (a[i] != static_cast<std::uint8_t>(flip ? ~b[i] : b[i]))
                return false;
        if (rest != 0) {
            const std::uint8_t bb = static_cast<std::uint8_t>(flip ? ~b[whole] : b[whole]);
            if ((a[whole] ^ bb) & restMask)
                return false;
        }
    }
    return true;
}

} // namespace faximage
