#include "libtiff_oracle.h"

#include "test_pages.h"

#include <tiffio.h>

#include <memory>

namespace faximage::testing {

namespace {
struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;
} // namespace

std::optional<MonoBitmap> decodeMhWithFax2tiff(const std::vector<std::uint8_t>& mh, int width,
                                              const std::filesystem::path& workDir,
                                              int expectedRows) {
    const auto in = workDir / "oracle.mh";
    const auto out = workDir / "oracle.tif";
    writeFile(in, mh);
    std::filesystem::remove(out);
    const std::string cmd = "fax2tiff -1 -L -X " + std::to_string(width) + " -u -o '" +
                            out.string() + "' '" + in.string() + "' 2>/dev/null";
    if (run(cmd) != 0)
        return std::nullopt;
    auto pages = readTiffPages(out);
    if (pages.size() != 1)
        return std::nullopt;
    MonoBitmap& page = pages.front();
    if (expectedRows >= 0 && page.height() > expectedRows) {
        for (int y = expectedRows; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (page.isBlack(x, y))
                    return std::move(page); // real extra content: let the caller see it
        MonoBitmap cut(page.width(), expectedRows);
        for (int y = 0; y < expectedRows; ++y)
            cut.setRow(y, std::span(page.row(y), page.stride()));
        return cut;
    }
    return std::move(page);
}

std::vector<MonoBitmap> readTiffPages(const std::filesystem::path& path) {
    std::vector<MonoBitmap> pages;
    TIFFSetWarningHandler(nullptr);
    TiffPtr tif(TIFFOpen(path.c_str(), "r"));
    if (!tif)
        return pages;
    do {
        std::uint32_t w = 0, h = 0;
        std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        MonoBitmap page(static_cast<int>(w), static_cast<int>(h), PixelSense::OneIsBlack);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif.get())));
        for (std::uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif.get(), line.data(), y, 0) < 0)
                return {};
            if (photometric == PHOTOMETRIC_MINISBLACK)
                for (auto& b : line)
                    b = static_cast<std::uint8_t>(~b);
            page.setRow(static_cast<int>(y), line);
        }
        pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tif.get()));
    return pages;
}

bool writeTiffPages(const std::filesystem::path& path, const std::vector<MonoBitmap>& pages,
                    int compression, bool fine) {
    TiffPtr tif(TIFFOpen(path.c_str(), "w"));
    if (!tif)
        return false;
    int n = 0;
    for (const auto& page : pages) {
        TIFF* t = tif.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(page.width()));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(page.height()));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(page.height()));
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, fine ? 196.0f : 98.0f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, n++, static_cast<int>(pages.size()));
        if (compression == COMPRESSION_CCITTFAX3)
            TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);
        std::vector<std::uint8_t> line(page.stride());
        for (int y = 0; y < page.height(); ++y) {
            std::copy(page.row(y), page.row(y) + page.stride(), line.begin());
            if (TIFFWriteScanline(t, line.data(), static_cast<std::uint32_t>(y), 0) < 0)
                return false;
        }
        if (!TIFFWriteDirectory(t))
            return false;
    }
    return true;
}

} // namespace faximage::testing
