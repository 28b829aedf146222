#include "faximage/unpack_collector.h"

#include "faximage/fax_errors.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace faximage {

namespace {
constexpr int kGrowRows = 1024;
}

void PageCollector::begin(std::size_t stride, bool invert, Width width) {
    stride_ = stride;
    invert_ = invert;
    width_ = width;
    widest_ = 1;
    rows_ = 0;
    block_.clear();
}

int PageCollector::addLine(std::span<const std::uint8_t> line) {
    const std::uint8_t blank = invert_ ? 0xFF : 0x00;
    if (rows_ % kGrowRows == 0) {
        if (rows_ >= kMaxPageRows)
            return ec::OutOfMemory;
        try {
            block_.resize((static_cast<std::size_t>(rows_) + kGrowRows) * stride_, blank);
        } catch (const std::bad_alloc&) {
            return ec::OutOfMemory;
        }
    }
    std::uint8_t* row = block_.data() + static_cast<std::size_t>(rows_) * stride_;
    // A line wider than the page (a 2048-pixel line on a 1728-pixel page) is cut to it;
    // the rest of a narrower one stays blank.
    const std::size_t n = std::min(line.size(), stride_);
    if (n != 0) // a blank line comes as an empty span without data
        std::memcpy(row, line.data(), n);
    for (std::size_t i = width_ == Width::Packed ? n : 0; i > 0; --i) {
        if (row[i - 1] != blank) {
            widest_ = std::max(widest_, i);
            break;
        }
    }
    ++rows_;
    return 0;
}

MonoBitmap PageCollector::finish() {
    if (rows_ == 0) {
        block_ = {};
        return {};
    }
    std::size_t rowBytes = stride_;
    if (width_ == Width::Packed)
        rowBytes = std::min(stride_, (widest_ + 1) & ~static_cast<std::size_t>(1));
    MonoBitmap out(static_cast<int>(rowBytes * 8), rows_,
                   invert_ ? PixelSense::OneIsWhite : PixelSense::OneIsBlack, rowBytes);
    for (int y = 0; y < rows_; ++y)
        std::memcpy(out.row(y), block_.data() + static_cast<std::size_t>(y) * stride_, rowBytes);
    block_ = {};
    rows_ = 0;
    return out;
}

} // namespace faximage
