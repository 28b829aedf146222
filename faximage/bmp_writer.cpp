#include "faximage/bmp_writer.h"

#include "faximage/fax_errors.h"
#include "faximage/pcx_writer.h"

namespace faximage {

namespace {
void put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
    v[at] = static_cast<std::uint8_t>(value);
    v[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
    put16(v, at, value & 0xFFFF);
    put16(v, at + 2, value >> 16);
}
} // namespace

std::vector<std::uint8_t> encodeBmp(const MonoBitmap& page) {
    if (page.height() > kBmpMaxRows)
        return {};
    const std::size_t used = MonoBitmap::bytesForWidth(page.width());
    const std::size_t stride = (used + 3) & ~std::size_t{3};
    const std::size_t size = kBmpHeaderSize + stride * static_cast<std::size_t>(page.height());
    std::vector<std::uint8_t> out(kBmpHeaderSize, 0);
    out.reserve(size);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<std::uint32_t>(size));
    put32(out, 10, kBmpHeaderSize);
    put32(out, 14, 40);
    put32(out, 18, static_cast<std::uint32_t>(page.width()));
    put32(out, 22, static_cast<std::uint32_t>(page.height()));
    put16(out, 26, 1); // planes
    put16(out, 28, 1); // bits per pixel
    // Palette: index 0 black (all zero), index 1 white.
    out[58] = out[59] = out[60] = 0xFF;

    const bool flip = page.sense() == PixelSense::OneIsBlack; // BMP here: 1 = white
    const int rest = page.width() % 8;
    for (int y = page.height() - 1; y >= 0; --y) {
        const std::uint8_t* src = page.row(y);
        const std::size_t at = out.size();
        out.resize(at + stride, 0xFF);
        for (std::size_t i = 0; i < used; ++i)
            out[at + i] = static_cast<std::uint8_t>(flip ? ~src[i] : src[i]);
        if (rest != 0)
            out[at + used - 1] |= static_cast<std::uint8_t>(0xFFu >> rest);
    }
    return out;
}

int writeBmpFile(const std::filesystem::path& path, const MonoBitmap& page) {
    if (page.height() > kBmpMaxRows)
        return ec::BmpTooBig;
    return writeWholeFile(path, encodeBmp(page));
}

} // namespace faximage
