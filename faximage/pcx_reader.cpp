// idPcx and idDcx: monochrome PCX images, and DCX files holding several of them.
#include "faximage/buffered_input.h"
#include "faximage/fax_converter_engine.h"

#include <algorithm>
#include <vector>

namespace faximage {

namespace {

constexpr std::uint32_t kDcxMagic = 987654321;
constexpr std::size_t kPcxHeaderSize = 128;
constexpr std::size_t kDcxMaxPages = 1024;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// One PCX image inside a file (a whole .PCX, or one page of a DCX).
class PcxImage {
public:
    // Reads the header at `start`; the image data runs to `end`.
    int begin(BufferedInput& in, std::int64_t start, std::int64_t end, ConvertState& s) {
        std::uint8_t h[kPcxHeaderSize];
        if (int rc = in.seek(start); rc != 0)
            return rc;
        if (int rc = in.read(h); rc != 0)
            return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
        const int xmin = le16(h + 4), ymin = le16(h + 6), xmax = le16(h + 8), ymax = le16(h + 10);
        // Several planes would be colour, which this reader cannot show.
        if (h[0] != 10 || h[2] != 1 || h[3] != 1 || xmax < xmin || xmax - xmin > s.width ||
            h[65] > 1)
            return ec::BadGraphicsFormat;
        version_ = h[1];
        // Monochrome PCX is 1 = white; a header palette that lists the light colour first
        // says otherwise (an all-zero palette says nothing).
        const int light0 = h[16] + h[17] + h[18], light1 = h[19] + h[20] + h[21];
        oneIsWhite_ = !(light0 > light1);
        width_ = xmax - xmin + 1;
        rows_ = ymax >= ymin ? ymax - ymin + 1 : 0;
        bytesPerLine_ = le16(h + 66);
        if (bytesPerLine_ == 0)
            bytesPerLine_ = static_cast<int>((width_ + 7) / 8);
        imageBytes_ = static_cast<int>((width_ + 7) / 8);
        line_.assign(static_cast<std::size_t>(std::max(bytesPerLine_, imageBytes_)), 0);
        end_ = end;
        row_ = 0;
        runLeft_ = 0;
        placeImage(s, width_);
        return 0;
    }

    // True when the image has no further rows: its data is used up, or all the rows its
    // header announces have been delivered.
    bool done(const BufferedInput& in) const {
        return (in.position() >= end_ && runLeft_ == 0) || row_ >= rows_;
    }

    int readRow(BufferedInput& in, ConvertState& s, std::span<std::uint8_t> raster) {
        std::fill(line_.begin(), line_.end(), oneIsWhite_ ? 0xFF : 0x00); // white
        int filled = 0;
        while (filled < bytesPerLine_) {
            if (runLeft_ == 0) {
                if (in.position() >= end_)
                    break; // the data ends inside the row: the rest stays white
                std::uint8_t b;
                if (int rc = in.get(b); rc != 0)
                    return rc;
                if (b >= 192) {
                    runLeft_ = b & 63;
                    if (int rc = in.get(runByte_); rc != 0)
                        return rc;
                } else {
                    runLeft_ = 1;
                    runByte_ = b;
                }
                continue;
            }
            // Old versions keep runs inside the image's own bytes.
            if (version_ > 3 || filled < imageBytes_)
                line_[static_cast<std::size_t>(filled)] = runByte_;
            ++filled;
            --runLeft_;
        }
        if (oneIsWhite_) {
            for (auto& b : line_)
                b = static_cast<std::uint8_t>(~b);
        }
        placeImageRow(s, line_, width_, raster);
        ++row_;
        return 0;
    }

private:
    int version_ = 0;
    bool oneIsWhite_ = true;
    int width_ = 0;
    int rows_ = 0;
    int bytesPerLine_ = 0;
    int imageBytes_ = 0;
    std::int64_t end_ = 0;
    int row_ = 0;
    int runLeft_ = 0;
    std::uint8_t runByte_ = 0;
    std::vector<std::uint8_t> line_;
};

class PcxReader final : public FaxInputReader {
public:
    explicit PcxReader(bool dcx) : dcx_(dcx) {}

    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (int rc = in_.open(name); rc != 0)
            return rc;
        pages_.clear();
        const std::int64_t size = in_.size();
        if (!dcx_) {
            pages_.push_back({0, size});
        } else {
            std::uint8_t b[4];
            if (int rc = in_.read(b); rc != 0)
                return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
            if (le32(b) != kDcxMagic)
                return ec::BadGraphicsFormat;
            std::vector<std::int64_t> offsets;
            for (std::size_t i = 0; i < kDcxMaxPages; ++i) {
                if (int rc = in_.read(b); rc != 0)
                    return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
                const std::uint32_t off = le32(b);
                if (off == 0)
                    break;
                if (off >= static_cast<std::uint64_t>(size))
                    return ec::BadGraphicsFormat;
                offsets.push_back(off);
            }
            if (offsets.empty())
                return ec::BadGraphicsFormat;
            // A page runs to the next higher offset, the last to the end of the file.
            for (auto off : offsets) {
                std::int64_t end = size;
                for (auto other : offsets)
                    if (other > off)
                        end = std::min(end, other);
                pages_.push_back({off, end});
            }
        }
        s.bytesTotal = 0;
        for (const auto& p : pages_)
            s.bytesTotal += p.end - p.start - static_cast<std::int64_t>(kPcxHeaderSize);
        s.bytesRead = 0;
        page_ = 0;
        return image_.begin(in_, pages_[0].start, pages_[0].end, s);
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        endOfPage = false;
        morePages = false;
        if (image_.done(in_)) {
            endOfPage = true;
            if (page_ + 1 < pages_.size()) {
                morePages = true;
                ++page_;
                return image_.begin(in_, pages_[page_].start, pages_[page_].end, s);
            }
            return 0;
        }
        const std::int64_t before = in_.position();
        if (int rc = image_.readRow(in_, s, raster); rc != 0)
            return rc;
        s.bytesRead += in_.position() - before;
        return 0;
    }

    void close() override { in_.close(); }

private:
    struct Page {
        std::int64_t start, end;
    };
    bool dcx_;
    BufferedInput in_;
    std::vector<Page> pages_;
    std::size_t page_ = 0;
    PcxImage image_;
};

} // namespace

std::unique_ptr<FaxInputReader> makePcxReader() { return std::make_unique<PcxReader>(false); }
std::unique_ptr<FaxInputReader> makeDcxReader() { return std::make_unique<PcxReader>(true); }

} // namespace faximage
