#include "test_pages.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace faximage::testing {

namespace {

void fillRect(MonoBitmap& b, int x0, int y0, int w, int h) {
    for (int y = std::max(0, y0); y < std::min(b.height(), y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(b.width(), x0 + w); ++x)
            b.setBlack(x, y, true);
}

// Blocky "glyphs" in lines of text with word gaps and ragged right edges.
void drawText(MonoBitmap& b, std::mt19937& rng, int top, int bottom) {
    const int glyphW = 14, glyphH = 20, lineH = 34;
    for (int y = top; y + glyphH < bottom; y += lineH) {
        int x = 90;
        const int right = b.width() - 90 - static_cast<int>(rng() % 300);
        while (x + glyphW < right) {
            const int word = 2 + static_cast<int>(rng() % 8);
            for (int k = 0; k < word && x + glyphW < right; ++k, x += glyphW + 3) {
                const unsigned shape = rng();
                for (int gy = 0; gy < glyphH; ++gy)
                    for (int gx = 0; gx < glyphW; ++gx) {
                        const bool stem = gx < 3 || (shape & 1 && gx > glyphW - 4);
                        const bool bar = gy < 3 || (shape & 2 && gy > glyphH - 4) ||
                                         (shape & 4 && std::abs(gy - glyphH / 2) < 2);
                        const bool diag = shape & 8 && std::abs(gx * glyphH / glyphW - gy) < 2;
                        if (stem || bar || diag)
                            b.setBlack(x + gx, y + gy, true);
                    }
            }
            x += 14;
        }
    }
}

// An ordered-dither rendering of a smooth "photograph".
void drawPhoto(MonoBitmap& b, int x0, int y0, int w, int h, unsigned seed) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const double phase = seed * 0.7;
    for (int y = y0; y < std::min(b.height(), y0 + h); ++y)
        for (int x = x0; x < std::min(b.width(), x0 + w); ++x) {
            const double v = 0.5 + 0.25 * std::sin(x * 0.013 + phase) +
                             0.25 * std::cos(y * 0.021 + x * 0.004) ;
            if (v * 16 < bayer[y & 3][x & 3] + 0.5)
                b.setBlack(x, y, true);
        }
}

} // namespace

std::vector<PageKind> allPageKinds() {
    return {PageKind::Text, PageKind::Rules, PageKind::Photo,
            PageKind::BlackLines, PageKind::Noise, PageKind::Mixed};
}

std::string to_string(PageKind kind) {
    switch (kind) {
    case PageKind::Text:
        return "text";
    case PageKind::Rules:
        return "rules";
    case PageKind::Photo:
        return "photo";
    case PageKind::BlackLines:
        return "black";
    case PageKind::Noise:
        return "noise";
    case PageKind::Mixed:
        return "mixed";
    }
    return "?";
}

MonoBitmap makePage(PageKind kind, int width, int height, unsigned seed) {
    MonoBitmap b(width, height, PixelSense::OneIsBlack);
    std::mt19937 rng(seed);
    switch (kind) {
    case PageKind::Text:
        drawText(b, rng, 60, height - 60);
        break;
    case PageKind::Rules:
        for (int y = 40; y < height; y += 37)
            fillRect(b, 0, y, width, 1 + (y / 37) % 4); // full-width rules
        for (int x = 0; x < width; x += 97)
            fillRect(b, x, 0, 1 + (x / 97) % 3, height); // and columns
        fillRect(b, width - 1, 0, 1, height);            // a line touching the right edge
        break;
    case PageKind::Photo:
        drawPhoto(b, 0, 0, width, height, seed);
        break;
    case PageKind::BlackLines:
        for (int y = 0; y < height; ++y)
            if (y % 5 < 2)
                fillRect(b, 0, y, width, 1);
            else if (y % 5 == 2)
                fillRect(b, 0, y, 1, 1), fillRect(b, width - 1, y, 1, 1);
        break;
    case PageKind::Noise:
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (rng() % 3 == 0 || (y % 7 == 0 && x % 2 == 0))
                    b.setBlack(x, y, true);
        break;
    case PageKind::Mixed:
        drawText(b, rng, 40, height / 3);
        drawPhoto(b, 200, height / 3, width - 400, height / 3, seed);
        fillRect(b, 0, 2 * height / 3, width, 3);
        drawText(b, rng, 2 * height / 3 + 10, height);
        break;
    }
    return b;
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("faximage_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int run(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

} // namespace faximage::testing

#include "faximage/apf_file.h"
#include "libtiff_oracle.h"

namespace faximage::testing {

void writePbm(const std::filesystem::path& p, const MonoBitmap& page) {
    std::vector<std::uint8_t> bytes;
    const std::string header =
        "P4\n" + std::to_string(page.width()) + " " + std::to_string(page.height()) + "\n";
    bytes.assign(header.begin(), header.end());
    const std::size_t rowBytes = MonoBitmap::bytesForWidth(page.width());
    for (int y = 0; y < page.height(); ++y)
        bytes.insert(bytes.end(), page.row(y), page.row(y) + rowBytes);
    writeFile(p, bytes);
}

std::vector<MonoBitmap> decodeApfWithLibtiff(const std::filesystem::path& apf,
                                             const std::filesystem::path& workDir,
                                             std::vector<int>* records) {
    std::vector<MonoBitmap> pages;
    ApfReader r;
    if (r.open(apf) != 0)
        return pages;
    for (int n = 1; n <= r.pageCount(); ++n) {
        ApfPageInfo info;
        std::vector<std::uint8_t> data;
        if (r.locatePage(n, info) != 0 || r.readPageData(info, data) != 0)
            return {};
        std::vector<std::uint8_t> stream;
        std::vector<std::vector<std::uint8_t>> recs;
        ApfLineRecords lines(data);
        std::span<const std::uint8_t> rec;
        while (lines.next(rec) == 1)
            recs.emplace_back(rec.begin(), rec.end());
        if (recs.empty() || !std::equal(recs.back().begin(), recs.back().end(),
                                        kApfEndOfPage.begin(), kApfEndOfPage.end()))
            return {};
        recs.pop_back();
        if (records)
            records->push_back(static_cast<int>(recs.size()));
        for (const auto& l : recs)
            stream.insert(stream.end(), l.begin(), l.end());
        if (recs.empty()) {
            pages.emplace_back(info.header.lineWidth(), 0);
            continue;
        }
        auto page = decodeMhWithFax2tiff(stream, info.header.lineWidth(), workDir,
                                         static_cast<int>(recs.size()));
        if (!page)
            return {};
        pages.push_back(std::move(*page));
    }
    return pages;
}

MonoBitmap rowOf(const MonoBitmap& page, int y) {
    MonoBitmap r(page.width(), 1);
    r.setRow(0, std::span(page.row(y), page.stride()));
    return r;
}

} // namespace faximage::testing
