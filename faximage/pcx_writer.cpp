#include "faximage/pcx_writer.h"

#include "faximage/staged_output.h"

#include <system_error>

namespace faximage {

namespace {

void put16(std::vector<std::uint8_t>& v, std::size_t at, unsigned value) {
    v[at] = static_cast<std::uint8_t>(value);
    v[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// One row: runs of equal bytes (up to 63) as count and byte; a single byte below 0xC0
// as itself, any other single byte with a count of 1.
void encodeRow(const std::uint8_t* row, std::size_t n, std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 63 && row[i + run] == row[i])
            ++run;
        if (run == 1 && row[i] < 0xC0) {
            out.push_back(row[i]);
        } else {
            out.push_back(static_cast<std::uint8_t>(0xC0 | run));
            out.push_back(row[i]);
        }
        i += run;
    }
}

} // namespace

std::vector<std::uint8_t> encodePcx(const MonoBitmap& page) {
    const std::size_t rowBytes = (MonoBitmap::bytesForWidth(page.width()) + 1) & ~std::size_t{1};
    std::vector<std::uint8_t> out(kPcxHeaderSize, 0);
    out[0] = 10; // manufacturer
    out[1] = 2;  // version
    out[2] = 1;  // run-length encoding
    out[3] = 1;  // bits per pixel
    put16(out, 8, static_cast<unsigned>(page.width() > 0 ? page.width() - 1 : 0));
    put16(out, 10, static_cast<unsigned>(page.height() > 0 ? page.height() - 1 : 0));
    out[65] = 1; // planes
    put16(out, 66, static_cast<unsigned>(rowBytes));
    out.reserve(kPcxHeaderSize + rowBytes * static_cast<std::size_t>(page.height()) / 4);

    const bool flip = page.sense() == PixelSense::OneIsBlack; // PCX: 1 = white
    const int rest = page.width() % 8;
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < page.height(); ++y) {
        const std::uint8_t* src = page.row(y);
        const std::size_t used = MonoBitmap::bytesForWidth(page.width());
        for (std::size_t i = 0; i < rowBytes; ++i)
            row[i] = i < used ? static_cast<std::uint8_t>(flip ? ~src[i] : src[i]) : 0xFF;
        if (rest != 0) // padding bits of the last pixel byte are white
            row[used - 1] |= static_cast<std::uint8_t>(0xFFu >> rest);
        encodeRow(row.data(), rowBytes, out);
    }
    return out;
}

int writeWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    StagedOutput out;
    if (int rc = out.open(path); rc != 0)
        return rc;
    if (int rc = out.file().writeAll(bytes); rc != 0)
        return rc;
    return out.commit();
}

int writePcxFile(const std::filesystem::path& path, const MonoBitmap& page) {
    return writeWholeFile(path, encodePcx(page));
}

} // namespace faximage
