#include "unpack_test_support.h"

#include "faximage/mh_codes.h"
#include "faximage/mh_encoder.h"
#include "libtiff_oracle.h"
#include "test_pages.h"

#include <tiffio.h>

#include <memory>

namespace faximage::testing {

MhStream& MhStream::bits(std::uint32_t value, int count) {
    acc_ |= static_cast<std::uint64_t>(value & ((1u << count) - 1)) << n_;
    n_ += count;
    while (n_ >= 8) {
        bytes_.push_back(static_cast<std::uint8_t>(acc_));
        acc_ >>= 8;
        n_ -= 8;
    }
    return *this;
}

MhStream& MhStream::zeros(int count) {
    for (; count > 16; count -= 16)
        bits(0, 16);
    return bits(0, count);
}

MhStream& MhStream::eol(int fillZeros) {
    zeros(fillZeros);
    return bits(transmissionOrder(kEol), kEol.length);
}

MhStream& MhStream::runs(const std::vector<int>& runs) {
    RunColor color = RunColor::White;
    for (int run : runs) {
        for (; run > kMaxMakeupRun; run -= kMaxMakeupRun) {
            const MhCode m = makeupCode(color, kMaxMakeupRun);
            bits(transmissionOrder(m), m.length);
        }
        if (run >= 64) {
            const MhCode m = makeupCode(color, run & ~63);
            bits(transmissionOrder(m), m.length);
        }
        const MhCode t = terminatingCode(color, run & 63);
        bits(transmissionOrder(t), t.length);
        color = color == RunColor::White ? RunColor::Black : RunColor::White;
    }
    return *this;
}

MhStream& MhStream::line(const MonoBitmap& page, int y) {
    std::vector<int> r;
    rasterRuns(std::span(page.row(y), page.stride()), page.width(), r);
    return runs(r);
}

MhStream& MhStream::byteAlign() {
    if (n_ % 8 != 0)
        bits(0, 8 - n_ % 8);
    return *this;
}

Bytes MhStream::take() {
    byteAlign();
    Bytes out;
    out.swap(bytes_);
    return out;
}

void writeApf(const std::filesystem::path& path, const std::vector<TestPage>& pages) {
    ApfWriter w;
    if (w.create(path) != 0)
        throw std::runtime_error("cannot create " + path.string());
    for (const TestPage& p : pages) {
        if (p.flags & kApfLengthWords) {
            for (const Bytes& r : p.records)
                if (w.appendLine(r, p.flags) != 0)
                    throw std::runtime_error("appendLine");
            if (w.endPage(p.flags) != 0)
                throw std::runtime_error("endPage");
        } else {
            if (w.beginRawPage(p.flags) != 0)
                throw std::runtime_error("beginRawPage");
            for (const Bytes& r : p.records)
                if (w.appendRaw(r) != 0)
                    throw std::runtime_error("appendRaw");
            if (w.endRawPage() != 0)
                throw std::runtime_error("endRawPage");
        }
    }
    if (w.close("TEST") != 0)
        throw std::runtime_error("close");
}

TestPage encodedPage(const MonoBitmap& page, bool fine) {
    TestPage p;
    p.flags = static_cast<std::uint16_t>(kApfLengthWords | (fine ? kApfHighResolution : 0) |
                                         (page.width() == 2048 ? kApfWide : 0));
    MhLineLayout layout;
    layout.width = page.width();
    for (int y = 0; y < page.height(); ++y)
        p.records.push_back(encodeMhLine(std::span(page.row(y), page.stride()), layout));
    return p;
}

namespace {
struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
} // namespace

Bytes libtiffMh(const MonoBitmap& page, const std::filesystem::path& workDir) {
    const auto plain = workDir / "plain.tif";
    const auto g3 = workDir / "g3.tif";
    if (!writeTiffPages(plain, {page}, COMPRESSION_NONE))
        return {};
    if (run("tiffcp -c g3:1d -f lsb2msb -r 1000000 '" + plain.string() + "' '" + g3.string() +
            "'") != 0)
        return {};
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(g3.c_str(), "r"));
    if (!tif)
        return {};
    Bytes out;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif.get()); ++s) {
        const tmsize_t size = TIFFRawStripSize(tif.get(), s);
        Bytes strip(static_cast<std::size_t>(size));
        if (TIFFReadRawStrip(tif.get(), s, strip.data(), size) != size)
            return {};
        out.insert(out.end(), strip.begin(), strip.end());
    }
    return out;
}

} // namespace faximage::testing
