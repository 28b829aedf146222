// idBmp: Windows bitmaps. Monochrome rows are copied (through the palette, so either
// palette order works); deeper colours are dithered with a 16 x 16 ordered matrix.
#include "faximage/fax_converter_engine.h"
#include "faximage/posix_file.h"

#include <array>
#include <cstdlib>
#include <vector>

namespace faximage {

namespace {

constexpr std::int64_t kMaxDimension = 1 << 16;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// D(i, j): for k = 0..3, D = 2D | 2(bit k of i xor bit k of j) | bit k of j.
constexpr std::array<std::array<std::uint8_t, 16>, 16> makeDither() {
    std::array<std::array<std::uint8_t, 16>, 16> d{};
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j) {
            int v = 0;
            for (int k = 0; k < 4; ++k)
                v = (2 * v) | (2 * (((i >> k) ^ (j >> k)) & 1)) | ((j >> k) & 1);
            d[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(v);
        }
    return d;
}
constexpr auto kDither = makeDither();

struct Rgb {
    int r = 0, g = 0, b = 0;
};

class BmpReader final : public FaxInputReader {
public:
    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (int rc = file_.open(name, PosixFile::Mode::Read); rc != 0)
            return rc;
        std::array<std::uint8_t, 14 + 124> h{};
        const std::int64_t size = file_.size();
        if (size < 14 + 12)
            return ec::BadGraphicsFormat;
        const std::size_t headerBytes = static_cast<std::size_t>(std::min<std::int64_t>(size, h.size()));
        if (int rc = file_.readExactAt(0, std::span(h).first(headerBytes)); rc != 0)
            return rc;
        if (h[0] != 'B' || h[1] != 'M')
            return ec::BadGraphicsFormat;
        const std::uint32_t dataOffset = le32(&h[10]);
        const std::uint32_t infoSize = le32(&h[14]);
        std::int64_t w, hgt;
        std::uint32_t compression = 0, colours = 0;
        if (infoSize == 12) { // OS/2 core header
            w = le16(&h[18]);
            hgt = static_cast<std::int16_t>(le16(&h[20]));
            bpp_ = le16(&h[24]);
            paletteEntry_ = 3;
        } else if (infoSize >= 40 && 14 + infoSize <= static_cast<std::uint64_t>(size)) {
            w = static_cast<std::int32_t>(le32(&h[18]));
            hgt = static_cast<std::int32_t>(le32(&h[22]));
            bpp_ = le16(&h[28]);
            compression = le32(&h[30]);
            colours = le32(&h[46]);
            paletteEntry_ = 4;
        } else {
            return ec::BadGraphicsFormat;
        }
        topDown_ = hgt < 0;
        hgt = std::abs(hgt);
        // Uncompressed only (bit fields are the plain masks of 16- and 32-bit images).
        const bool bitFields = compression == 3 && (bpp_ == 16 || bpp_ == 32);
        if (w <= 0 || hgt <= 0 || w > kMaxDimension || hgt > kMaxDimension ||
            (compression != 0 && !bitFields) ||
            (bpp_ != 1 && bpp_ != 4 && bpp_ != 8 && bpp_ != 16 && bpp_ != 24 && bpp_ != 32))
            return ec::BadGraphicsFormat;
        width_ = static_cast<int>(w);
        height_ = static_cast<int>(hgt);
        stride_ = ((static_cast<std::size_t>(width_) * bpp_ + 31) / 32) * 4;
        dataOffset_ = dataOffset;
        if (dataOffset_ + static_cast<std::uint64_t>(stride_) * height_ > static_cast<std::uint64_t>(size))
            return ec::BadGraphicsFormat;
        if (bpp_ <= 8) {
            const std::size_t n = colours && colours <= (1u << bpp_) ? colours : (1u << bpp_);
            std::vector<std::uint8_t> pal(n * paletteEntry_);
            if (int rc = file_.readExactAt(14 + infoSize, pal); rc != 0)
                return ec::BadGraphicsFormat;
            palette_.assign(1u << bpp_, Rgb{});
            for (std::size_t i = 0; i < n; ++i)
                palette_[i] = {pal[i * paletteEntry_ + 2], pal[i * paletteEntry_ + 1], pal[i * paletteEntry_]};
        }
        if (bpp_ == 16) { // 5-5-5 unless bit fields say otherwise
            masks_ = {0x7C00, 0x03E0, 0x001F};
            if (bitFields)
                masks_ = {le32(&h[54]), le32(&h[58]), le32(&h[62])};
        } else if (bpp_ == 32) {
            masks_ = {0xFF0000, 0xFF00, 0xFF};
            if (bitFields)
                masks_ = {le32(&h[54]), le32(&h[58]), le32(&h[62])};
        }
        fileRow_.assign(stride_, 0);
        image_.assign(MonoBitmap::bytesForWidth(width_), 0);
        y_ = 0;
        s.bytesTotal = static_cast<std::int64_t>(stride_) * height_;
        s.bytesRead = 0;
        placeImage(s, width_);
        return 0;
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        morePages = false;
        // Every row of the bitmap is delivered, the last one included.
        endOfPage = y_ >= height_;
        if (endOfPage)
            return 0;
        const int fileRow = topDown_ ? y_ : height_ - 1 - y_;
        if (int rc = file_.readExactAt(dataOffset_ + static_cast<std::uint64_t>(fileRow) * stride_,
                                       fileRow_);
            rc != 0)
            return rc;
        std::fill(image_.begin(), image_.end(), 0);
        if (bpp_ == 1) { // whole bytes, flipped when index 0 is the dark colour
            const bool black0 = palette_[0].r + palette_[0].g + palette_[0].b < 384;
            const bool black1 = palette_[1].r + palette_[1].g + palette_[1].b < 384;
            for (std::size_t i = 0; i < image_.size(); ++i) {
                const std::uint8_t b = fileRow_[i];
                image_[i] = static_cast<std::uint8_t>((black1 ? b : 0) | (black0 ? ~b : 0));
            }
        } else {
            for (int x = 0; x < width_; ++x)
                if (isBlack(x))
                    image_[static_cast<std::size_t>(x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
        placeImageRow(s, image_, width_, raster);
        ++y_;
        s.bytesRead += static_cast<std::int64_t>(stride_);
        return 0;
    }

    void close() override { file_.close(); }

private:
    static int channel(std::uint32_t v, std::uint32_t mask) {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        const std::uint32_t max = mask >> shift;
        return static_cast<int>(((v & mask) >> shift) * 255 / max);
    }

    bool isBlack(int x) const {
        Rgb c;
        const std::uint8_t* p = fileRow_.data();
        switch (bpp_) {
        case 1:
        case 4:
        case 8: {
            const std::size_t bit = static_cast<std::size_t>(x) * bpp_;
            const int index = (p[bit / 8] >> (8 - bpp_ - static_cast<int>(bit % 8))) & ((1 << bpp_) - 1);
            c = palette_[static_cast<std::size_t>(index)];
            if (bpp_ == 1) // two colours: whichever is darker is black
                return c.r + c.g + c.b < 384;
            break;
        }
        case 16: {
            const std::uint32_t v = le16(p + 2 * x);
            c = {channel(v, masks_[0]), channel(v, masks_[1]), channel(v, masks_[2])};
            break;
        }
        case 24:
            c = {p[3 * x + 2], p[3 * x + 1], p[3 * x]};
            break;
        case 32: {
            const std::uint32_t v = le32(p + 4 * x);
            c = {channel(v, masks_[0]), channel(v, masks_[1]), channel(v, masks_[2])};
            break;
        }
        default:
            return false;
        }
        return c.r + c.g + c.b < 10 * kDither[static_cast<std::size_t>(x % 16)][static_cast<std::size_t>(y_ % 16)];
    }

    PosixFile file_;
    int width_ = 0, height_ = 0, bpp_ = 1;
    std::size_t paletteEntry_ = 4;
    bool topDown_ = false;
    std::size_t stride_ = 0;
    std::uint64_t dataOffset_ = 0;
    std::vector<Rgb> palette_;
    std::array<std::uint32_t, 3> masks_{};
    std::vector<std::uint8_t> fileRow_;
    std::vector<std::uint8_t> image_;
    int y_ = 0;
};

} // namespace

std::unique_ptr<FaxInputReader> makeBmpReader() { return std::make_unique<BmpReader>(); }

} // namespace faximage
