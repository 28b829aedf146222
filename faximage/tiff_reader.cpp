// idTiff: the first image of an uncompressed or PackBits bilevel TIFF, read directly.
#include "faximage/buffered_input.h"
#include "faximage/fax_converter_engine.h"

#include <vector>

namespace faximage {

namespace {

constexpr int kMaxImageWidth = 1 << 16;

class TiffReader final : public FaxInputReader {
public:
    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (int rc = in_.open(name); rc != 0)
            return rc;
        std::uint8_t hdr[8];
        if (int rc = in_.read(hdr); rc != 0)
            return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
        if (hdr[0] == 'I' && hdr[1] == 'I')
            bigEndian_ = false;
        else if (hdr[0] == 'M' && hdr[1] == 'M')
            bigEndian_ = true;
        else
            return ec::BadGraphicsFormat;
        const std::uint32_t ifd = u32(hdr + 4);
        if (ifd > 0)
            if (int rc = in_.seek(ifd); rc != 0)
                return rc;
        if (int rc = readDirectory(); rc != 0)
            return rc;
        rowBytes_ = (static_cast<std::size_t>(width_) + 7) / 8;
        row_.assign(rowBytes_, 0);
        s.bytesTotal = static_cast<std::int64_t>(rowBytes_) * rows_;
        s.bytesRead = 0;
        placeImage(s, static_cast<int>(width_));
        strip_ = 0;
        rowInStrip_ = 0;
        delivered_ = 0;
        return startStrip();
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        morePages = false;
        if (delivered_ >= rows_) {
            endOfPage = true;
            return 0;
        }
        endOfPage = false;
        if (rowInStrip_ == rowsPerStrip_) {
            ++strip_;
            rowInStrip_ = 0;
            if (int rc = startStrip(); rc != 0)
                return rc;
        }
        if (int rc = compression_ == 1 ? in_.read(row_) : unpackBitsRow(); rc != 0)
            return rc;
        if (invert_) {
            for (auto& b : row_)
                b = static_cast<std::uint8_t>(~b);
        }
        placeImageRow(s, row_, static_cast<int>(width_), raster);
        ++rowInStrip_;
        ++delivered_;
        s.bytesRead += static_cast<std::int64_t>(rowBytes_);
        return 0;
    }

    void close() override { in_.close(); }

private:
    std::uint32_t u16(const std::uint8_t* p) const {
        return bigEndian_ ? static_cast<std::uint32_t>(p[0] << 8 | p[1])
                          : static_cast<std::uint32_t>(p[1] << 8 | p[0]);
    }
    std::uint32_t u32(const std::uint8_t* p) const {
        return bigEndian_ ? (static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                          : (static_cast<std::uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
    }

    int readDirectory() {
        std::uint8_t n[2];
        if (int rc = in_.read(n); rc != 0)
            return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
        const std::uint32_t count = u16(n);
        bool haveWidth = false, haveRows = false, haveOffsets = false;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t e[12];
            if (int rc = in_.read(e); rc != 0)
                return rc == kErrReadPastEnd ? ec::BadGraphicsFormat : rc;
            const std::uint32_t tag = u16(e), type = u16(e + 2), cnt = u32(e + 4);
            // A SHORT value sits in the first two bytes of the value field.
            const std::uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
            switch (tag) {
            case 255:
                break; // subfile type: not used
            case 256:
                width_ = value;
                haveWidth = true;
                break;
            case 257:
                rows_ = value;
                haveRows = true;
                break;
            case 258:
                if (value != 1)
                    return ec::BadGraphicsFormat;
                break;
            case 259:
                if (value != 1 && value != 32773)
                    return ec::BadGraphicsFormat;
                compression_ = value;
                break;
            case 262:
                invert_ = value != 0;
                break;
            case 273:
                stripCount_ = cnt;
                stripValue_ = value;
                stripType_ = type;
                haveOffsets = true;
                break;
            case 278:
                rowsPerStrip_ = value;
                break;
            default:
                break; // strip byte counts and everything else: not needed
            }
        }
        if (!haveWidth || !haveRows || !haveOffsets || width_ == 0 || width_ > kMaxImageWidth ||
            stripCount_ == 0)
            return ec::BadGraphicsFormat;
        if (rowsPerStrip_ == 0)
            rowsPerStrip_ = std::max<std::uint32_t>(rows_, 1);
        if (stripCount_ > 1) { // the value points at the table of offsets
            const std::size_t entry = stripType_ == 4 ? 4 : 2;
            // Only as many strips as the rows can fill are ever read.
            const std::uint64_t needed = (static_cast<std::uint64_t>(rows_) + rowsPerStrip_ - 1) / rowsPerStrip_;
            const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(stripCount_, needed));
            if (static_cast<std::uint64_t>(stripValue_) + static_cast<std::uint64_t>(n) * entry >
                static_cast<std::uint64_t>(in_.size()))
                return ec::BadGraphicsFormat;
            if (int rc = in_.seek(stripValue_); rc != 0)
                return rc;
            offsets_.clear();
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint8_t b[4];
                if (int rc = in_.read(std::span(b, entry)); rc != 0)
                    return rc;
                offsets_.push_back(entry == 4 ? u32(b) : u16(b));
            }
        } else {
            offsets_ = {stripValue_};
        }
        return 0;
    }

    int startStrip() {
        if (strip_ >= offsets_.size())
            return kErrReadPastEnd;
        pending_ = 0;
        return in_.seek(offsets_[strip_]);
    }

    // PackBits, with runs allowed to carry on into the next row.
    int unpackBitsRow() {
        std::size_t filled = 0;
        while (filled < rowBytes_) {
            if (pending_ > 0) {
                std::uint8_t b = repeat_;
                if (literal_)
                    if (int rc = in_.get(b); rc != 0)
                        return rc;
                row_[filled++] = b;
                --pending_;
                continue;
            }
            std::uint8_t c;
            if (int rc = in_.get(c); rc != 0)
                return rc;
            if (c < 128) {
                literal_ = true;
                pending_ = c + 1;
            } else {
                literal_ = false;
                pending_ = 257 - c; // 128 included: the next byte 129 times
                if (int rc = in_.get(repeat_); rc != 0)
                    return rc;
            }
        }
        return 0;
    }

    BufferedInput in_;
    bool bigEndian_ = false;
    std::uint32_t width_ = 0, rows_ = 0, rowsPerStrip_ = 0, compression_ = 1;
    bool invert_ = false;
    std::uint32_t stripCount_ = 0, stripValue_ = 0, stripType_ = 4;
    std::vector<std::uint32_t> offsets_;
    std::size_t strip_ = 0;
    std::uint32_t rowInStrip_ = 0, delivered_ = 0;
    std::size_t rowBytes_ = 0;
    std::vector<std::uint8_t> row_;
    int pending_ = 0;
    bool literal_ = false;
    std::uint8_t repeat_ = 0;
};

} // namespace

std::unique_ptr<FaxInputReader> makeTiffReader() { return std::make_unique<TiffReader>(); }

} // namespace faximage
