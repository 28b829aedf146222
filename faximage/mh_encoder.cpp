#include "faximage/mh_encoder.h"

#include "faximage/mh_codes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace faximage {

namespace {

// A whole run (make-up code, if any, then terminating code) in transmission order, so
// the encoder writes one value per run.
struct RunBits {
    std::uint32_t bits;
    std::uint8_t length;
};

constexpr std::size_t kRunTableSize = kMaxMakeupRun + 64;

constexpr std::array<RunBits, kRunTableSize> makeRunTable(RunColor color) {
    std::array<RunBits, kRunTableSize> t{};
    for (int run = 0; run < static_cast<int>(kRunTableSize); ++run) {
        std::uint32_t bits = 0;
        int length = 0;
        if (run >= 64) {
            const MhCode m = makeupCode(color, run & ~63);
            bits = transmissionOrder(m);
            length = m.length;
        }
        const MhCode term = terminatingCode(color, run & 63);
        bits |= static_cast<std::uint32_t>(transmissionOrder(term)) << length;
        length += term.length;
        t[static_cast<std::size_t>(run)] = {bits, static_cast<std::uint8_t>(length)};
    }
    return t;
}

constexpr auto kWhiteRuns = makeRunTable(RunColor::White);
constexpr auto kBlackRuns = makeRunTable(RunColor::Black);
constexpr std::uint32_t kMaxMakeupBits = transmissionOrder(kExtendedMakeup.back());
constexpr int kMaxMakeupLength = kExtendedMakeup.back().length;

// LSB-first bit packer over a caller's buffer.
class BitPacker {
public:
    explicit BitPacker(std::uint8_t* out) : out_(out) {}
    void put(std::uint32_t bits, int length) {
        acc_ |= static_cast<std::uint64_t>(bits) << count_;
        count_ += length;
        if (count_ >= 32) {
            const auto word = static_cast<std::uint32_t>(acc_);
            out_[pos_] = static_cast<std::uint8_t>(word);
            out_[pos_ + 1] = static_cast<std::uint8_t>(word >> 8);
            out_[pos_ + 2] = static_cast<std::uint8_t>(word >> 16);
            out_[pos_ + 3] = static_cast<std::uint8_t>(word >> 24);
            pos_ += 4;
            acc_ >>= 32;
            count_ -= 32;
        }
    }
    // Flushes the partial byte and adds the closing zero byte; returns the byte count.
    // When the last code bit ends a byte the count still runs to the byte after the next
    // free one (two whole zero bytes): APF lines have always been cut that way.
    std::size_t finish() {
        const bool endsOnByte = count_ % 8 == 0;
        while (count_ > 0) {
            out_[pos_++] = static_cast<std::uint8_t>(acc_);
            acc_ >>= 8;
            count_ -= 8;
        }
        out_[pos_++] = 0;
        if (endsOnByte)
            out_[pos_++] = 0;
        return pos_;
    }

private:
    std::uint8_t* out_;
    std::size_t pos_ = 0;
    std::uint64_t acc_ = 0;
    int count_ = 0;
};

inline void putRun(BitPacker& bp, RunColor color, int run) {
    while (run >= static_cast<int>(kRunTableSize)) { // only for lines wider than fax allows
        bp.put(kMaxMakeupBits, kMaxMakeupLength);
        run -= kMaxMakeupRun;
    }
    const RunBits rb = (color == RunColor::White ? kWhiteRuns : kBlackRuns)[static_cast<std::size_t>(run)];
    bp.put(rb.bits, rb.length);
}

std::uint64_t loadBigEndian64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little)
        w = __builtin_bswap64(w);
    return w;
}

// First pixel at or after `pos` (and before `end`) whose bit differs from `bitSet`.
// Looks at 64 pixels at a time: most runs end inside the first word.
inline int nextChange(const std::uint8_t* p, int pos, int end, bool bitSet) {
    const std::uint64_t flip = bitSet ? ~std::uint64_t{0} : 0;
    const int endByte = (end + 7) >> 3;
    int byte = pos >> 3;
    if (byte + 8 <= endByte) {
        const std::uint64_t w = (loadBigEndian64(p + byte) ^ flip) << (pos & 7);
        if (w)
            return std::min(end, pos + std::countl_zero(w));
        byte += 8;
        while (byte + 8 <= endByte) {
            const std::uint64_t v = loadBigEndian64(p + byte) ^ flip;
            if (v)
                return std::min(end, byte * 8 + std::countl_zero(v));
            byte += 8;
        }
        // Fewer than eight bytes left: finish byte by byte.
        if (byte >= endByte)
            return end;
        pos = byte * 8;
    }
    const std::uint8_t flip8 = static_cast<std::uint8_t>(flip);
    const std::uint8_t first = static_cast<std::uint8_t>((p[pos >> 3] ^ flip8) & (0xFFu >> (pos & 7)));
    byte = pos >> 3;
    if (first)
        return std::min(end, byte * 8 + std::countl_zero(first));
    for (++byte; byte < endByte; ++byte) {
        const std::uint8_t v = static_cast<std::uint8_t>(p[byte] ^ flip8);
        if (v)
            return std::min(end, byte * 8 + std::countl_zero(v));
    }
    return end;
}

} // namespace

void rasterRuns(std::span<const std::uint8_t> raster, int width, std::vector<int>& runs) {
    runs.clear();
    width = std::min(width, static_cast<int>(raster.size() * 8));
    int pos = 0;
    bool black = false;
    while (pos < width) {
        const int next = nextChange(raster.data(), pos, width, black);
        runs.push_back(next - pos);
        pos = next;
        black = !black;
    }
}

std::size_t encodeMhLine(std::span<const std::uint8_t> raster, const MhLineLayout& layout,
                         std::span<std::uint8_t> out) {
    BitPacker bp(out.data());
    bp.put(transmissionOrder(kEol) << 4, 16); // four fill zeros, then EOL
    const int width = layout.width;

    const std::size_t judged = std::min(raster.size(), static_cast<std::size_t>(width / 8));
    const bool blank = std::all_of(raster.begin(), raster.begin() + static_cast<std::ptrdiff_t>(judged),
                                   [](std::uint8_t b) { return b == 0; });
    const int margin = std::clamp(layout.leftMargin, 0, width);
    if (blank || margin == width) {
        putRun(bp, RunColor::White, width);
        return bp.finish();
    }

    const int scale = layout.doubleWidth ? 2 : 1;
    const int srcPixels =
        std::min(static_cast<int>(raster.size() * 8), (width - margin + scale - 1) / scale);
    const std::uint8_t* p = raster.data();

    // White runs are held back until the next black run, so that margin, image white
    // and the white filling the rest of the line come out as one run.
    int pos = margin;
    int pendingWhite = margin;
    int src = 0;
    bool black = false;
    while (src < srcPixels && pos < width) {
        const int next = nextChange(p, src, srcPixels, black);
        const int run = std::min((next - src) * scale, width - pos);
        if (black) {
            putRun(bp, RunColor::White, pendingWhite);
            pendingWhite = 0;
            putRun(bp, RunColor::Black, run);
        } else {
            pendingWhite += run;
        }
        pos += run;
        src = next;
        black = !black;
    }
    pendingWhite += width - pos;
    if (pendingWhite > 0)
        putRun(bp, RunColor::White, pendingWhite);
    return bp.finish();
}

std::vector<std::uint8_t> encodeMhLine(std::span<const std::uint8_t> raster,
                                       const MhLineLayout& layout) {
    std::vector<std::uint8_t> out(kMaxCodedLine);
    out.resize(encodeMhLine(raster, layout, out));
    return out;
}

} // namespace faximage
