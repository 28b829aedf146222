// MH encoding speed: a 100-page fine document coded into an APF file by our encoder and
// into a G3 1-D TIFF by libtiff, same pages, same run. Prints both rates and the ratio.
//   mh_bench [pages]
#include "faximage/apf_file.h"
#include "faximage/mh_encoder.h"
#include "test_pages.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

using namespace faximage;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1728;
constexpr int kRows = 2200; // fine resolution, a little over A4

double bestOf(int runs, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

void encodeApf(const std::vector<MonoBitmap>& kinds, int pages, const std::filesystem::path& out) {
    ApfWriter w;
    std::vector<std::uint8_t> code(kMaxCodedLine);
    if (w.create(out) != 0)
        std::abort();
    for (int p = 0; p < pages; ++p) {
        const MonoBitmap& page = kinds[static_cast<std::size_t>(p) % kinds.size()];
        for (int y = 0; y < page.height(); ++y) {
            const std::size_t n = encodeMhLine(page.rowSpan(y), {kWidth, 0, false}, code);
            if (w.appendLine(std::span(code).first(n), kApfHighResolution) != 0)
                std::abort();
        }
        if (w.endPage(kApfHighResolution) != 0)
            std::abort();
    }
    if (w.close("BENCH") != 0)
        std::abort();
}

void encodeTiff(const std::vector<MonoBitmap>& kinds, int pages, const std::filesystem::path& out) {
    TIFF* t = TIFFOpen(out.c_str(), "w");
    if (!t)
        std::abort();
    std::vector<std::uint8_t> line(kWidth / 8);
    for (int p = 0; p < pages; ++p) {
        const MonoBitmap& page = kinds[static_cast<std::size_t>(p) % kinds.size()];
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(kWidth));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(page.height()));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0); // 1-D
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(page.height()));
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        for (int y = 0; y < page.height(); ++y) {
            std::copy(page.row(y), page.row(y) + line.size(), line.begin());
            if (TIFFWriteScanline(t, line.data(), static_cast<std::uint32_t>(y), 0) < 0)
                std::abort();
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    std::vector<MonoBitmap> kinds;
    for (auto kind : testing::allPageKinds())
        kinds.push_back(testing::makePage(kind, kWidth, kRows, 11));
    testing::TempDir dir;
    const double ours = bestOf(3, [&] { encodeApf(kinds, pages, dir / "bench.apf"); });
    const double theirs = bestOf(3, [&] { encodeTiff(kinds, pages, dir / "bench.tif"); });
    const double lines = static_cast<double>(pages) * kRows;
    std::printf("MH encode, %d fine pages of %d x %d (text, rules, photo, black lines, noise, mixed)\n",
                pages, kWidth, kRows);
    std::printf("  parvane APF:       %8.3f s  %10.0f lines/s  %8zu bytes\n", ours, lines / ours,
                static_cast<std::size_t>(std::filesystem::file_size(dir / "bench.apf")));
    std::printf("  libtiff G3 1-D:    %8.3f s  %10.0f lines/s  %8zu bytes\n", theirs,
                lines / theirs,
                static_cast<std::size_t>(std::filesystem::file_size(dir / "bench.tif")));
    std::printf("  speed ratio (libtiff time / ours): %.2f\n", theirs / ours);
    return 0;
}
