// idTiffDocument: every image of a TIFF through libtiff, so fax TIFFs (G3 1-D and 2-D,
// G4) and any other bilevel or greyscale/colour TIFF convert page by page. Bilevel
// images stream line by line; others are read one page at a time and dithered.
#include "faximage/fax_converter_engine.h"

#include <tiffio.h>

#include <memory>
#include <vector>

namespace faximage {

namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

constexpr std::uint32_t kMaxDimension = 1 << 16;
constexpr std::uint64_t kMaxColourPixels = std::uint64_t{1} << 26;

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

class TiffDocumentReader final : public FaxInputReader {
public:
    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (name.empty())
            return -2;
        if (!std::filesystem::exists(name))
            return -2;
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
        tif_.reset(TIFFOpen(name.c_str(), "r"));
        if (!tif_)
            return ec::BadGraphicsFormat;
        pages_ = TIFFNumberOfDirectories(tif_.get());
        page_ = 0;
        s.bytesTotal = static_cast<std::int64_t>(std::filesystem::file_size(name));
        s.bytesRead = 0;
        return startPage(s);
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        endOfPage = false;
        morePages = false;
        if (row_ >= height_) {
            endOfPage = true;
            if (page_ + 1 < pages_ && TIFFReadDirectory(tif_.get())) {
                ++page_;
                morePages = true;
                return startPage(s);
            }
            return 0;
        }
        std::fill(line_.begin(), line_.end(), 0);
        if (bilevel_) {
            if (TIFFReadScanline(tif_.get(), scan_.data(), row_, 0) < 0)
                return ec::BadGraphicsFormat;
            for (std::size_t i = 0; i < line_.size() && i < scan_.size(); ++i)
                line_[i] = invert_ ? static_cast<std::uint8_t>(~scan_[i]) : scan_[i];
        } else {
            const std::uint32_t* px = rgba_.data() + static_cast<std::size_t>(row_) * width_;
            for (std::uint32_t x = 0; x < width_; ++x) {
                const int sum = static_cast<int>(TIFFGetR(px[x]) + TIFFGetG(px[x]) + TIFFGetB(px[x]));
                if (sum * 16 < 765 * (kBayer[row_ & 3][x & 3] * 2 + 1) / 2)
                    line_[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
            }
        }
        placeImageRow(s, line_, static_cast<int>(width_), raster);
        ++row_;
        s.bytesRead = static_cast<std::int64_t>(
            static_cast<double>(s.bytesTotal) * (page_ + static_cast<double>(row_) / height_) / pages_);
        return 0;
    }

    void close() override {
        tif_.reset();
        rgba_.clear();
    }

private:
    int startPage(ConvertState& s) {
        TIFF* t = tif_.get();
        std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width_);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height_);
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetFieldDefaulted(t, TIFFTAG_PHOTOMETRIC, &photometric);
        if (width_ == 0 || height_ == 0 || width_ > kMaxDimension || height_ > kMaxDimension)
            return ec::BadGraphicsFormat;
        bilevel_ = bps == 1 && spp == 1 &&
                   (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
        invert_ = photometric == PHOTOMETRIC_MINISBLACK;
        line_.assign(MonoBitmap::bytesForWidth(static_cast<int>(width_)), 0);
        rgba_.clear();
        if (bilevel_) {
            scan_.assign(static_cast<std::size_t>(TIFFScanlineSize(t)), 0);
        } else {
            // A colour page is held whole: keep it to a sane size (A4 at 600 dpi fits).
            if (static_cast<std::uint64_t>(width_) * height_ > kMaxColourPixels)
                return ec::BadGraphicsFormat;
            rgba_.assign(static_cast<std::size_t>(width_) * height_, 0);
            if (!TIFFReadRGBAImageOriented(t, width_, height_, rgba_.data(), ORIENTATION_TOPLEFT, 0))
                return ec::BadGraphicsFormat;
        }
        row_ = 0;
        placeImage(s, static_cast<int>(width_));
        return 0;
    }

    std::unique_ptr<TIFF, TiffCloser> tif_;
    int pages_ = 0;
    int page_ = 0;
    std::uint32_t width_ = 0, height_ = 0, row_ = 0;
    bool bilevel_ = true;
    bool invert_ = false;
    std::vector<std::uint8_t> scan_;
    std::vector<std::uint8_t> line_;
    std::vector<std::uint32_t> rgba_;
};

} // namespace

std::unique_ptr<FaxInputReader> makeTiffDocumentReader() {
    return std::make_unique<TiffDocumentReader>();
}

} // namespace faximage
