// MH decoding speed: a 100-page fine document coded once by libtiff (G3 1-D, fill order
// LSB-to-MSB), then decoded from the very same bytes by our decoder and by libtiff, same
// run. Also times the whole unpack path from an APF file. Prints rates and ratios.
//   mh_decode_bench [pages]
#include "faximage/apf_file.h"
#include "faximage/mh_decoder.h"
#include "faximage/unpack_engine.h"
#include "libtiff_oracle.h"
#include "test_pages.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

using namespace faximage;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1728;
constexpr int kRows = 2200;

double bestOf(int runs, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// Decoded lines land in a page buffer, as libtiff's do.
struct PageSink final : MhLineSink {
    std::vector<std::uint8_t> page = std::vector<std::uint8_t>(kWidth / 8 * kRows);
    std::size_t row = 0;
    bool onLine(std::span<const std::uint8_t> line) override {
        if (row < kRows)
            std::memcpy(page.data() + row * (kWidth / 8), line.data(), kWidth / 8);
        ++row;
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    testing::TempDir dir;
    const auto tif = dir / "bench.tif";
    {
        std::vector<MonoBitmap> kinds;
        for (auto kind : testing::allPageKinds())
            kinds.push_back(testing::makePage(kind, kWidth, kRows, 11));
        std::vector<MonoBitmap> doc;
        for (int p = 0; p < pages; ++p)
            doc.push_back(kinds[static_cast<std::size_t>(p) % kinds.size()]);
        if (!testing::writeTiffPages(tif, doc, COMPRESSION_CCITTFAX3, true))
            return 1;
    }
    // The raw MH strips, for our decoder and for an APF file of the same pages.
    std::vector<std::vector<std::uint8_t>> strips;
    {
        TIFF* t = TIFFOpen(tif.c_str(), "r");
        do {
            std::vector<std::uint8_t> raw;
            for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
                const tmsize_t n = TIFFRawStripSize(t, s);
                const std::size_t at = raw.size();
                raw.resize(at + static_cast<std::size_t>(n));
                TIFFReadRawStrip(t, s, raw.data() + at, n);
            }
            strips.push_back(std::move(raw));
        } while (TIFFReadDirectory(t));
        TIFFClose(t);
    }
    ApfWriter w;
    if (w.create(dir / "bench.apf") != 0)
        return 1;
    for (const auto& s : strips)
        if (w.beginRawPage(kApfHighResolution) != 0 || w.appendRaw(s) != 0 || w.endRawPage() != 0)
            return 1;
    if (w.close("BENCH") != 0)
        return 1;

    std::size_t ourLines = 0, theirLines = 0;
    MhDecoder decoder;
    PageSink sink;
    const double ours = bestOf(3, [&] {
        ourLines = 0;
        for (const auto& s : strips) {
            sink.row = 0;
            decoder.startPage();
            decoder.feed(s, sink);
            decoder.finish(sink);
            ourLines += sink.row;
        }
    });
    const double theirs = bestOf(3, [&] {
        theirLines = 0;
        TIFFSetWarningHandler(nullptr);
        TIFF* t = TIFFOpen(tif.c_str(), "r");
        std::vector<std::uint8_t> page(kWidth / 8 * kRows);
        do {
            for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s)
                TIFFReadEncodedStrip(t, s, page.data(), static_cast<tmsize_t>(page.size()));
            theirLines += kRows;
        } while (TIFFReadDirectory(t));
        TIFFClose(t);
    });
    const double unpack = bestOf(3, [&] {
        for (int p = 1; p <= pages; ++p) {
            MonoBitmap raster;
            ApfPageHeader ph;
            if (unpackPageToRaster(dir / "bench.apf", p, raster, ph) != 0)
                std::abort();
        }
    });
    if (ourLines != theirLines)
        std::printf("  line counts differ: ours %zu, libtiff %zu\n", ourLines, theirLines);
    const double lines = static_cast<double>(pages) * kRows;
    std::printf("MH decode, %d fine pages of %d x %d (text, rules, photo, black lines, noise, mixed),"
                " %zu bytes of MH\n",
                pages, kWidth, kRows, static_cast<std::size_t>(std::filesystem::file_size(tif)));
    std::printf("  parvane decoder:         %8.3f s  %10.0f lines/s\n", ours, lines / ours);
    std::printf("  libtiff G3 1-D decoder:  %8.3f s  %10.0f lines/s\n", theirs, lines / theirs);
    std::printf("  parvane APF unpack:      %8.3f s  %10.0f lines/s (file, page raster)\n", unpack,
                lines / unpack);
    std::printf("  speed ratio (libtiff time / ours): decoder %.2f, APF unpack %.2f\n",
                theirs / ours, theirs / unpack);
    return 0;
}
