#include "faximage/apf_file.h"
#include "faximage/mh_codes.h"
#include "faximage/mh_encoder.h"
#include "libtiff_oracle.h"
#include "test_pages.h"

#include <gtest/gtest.h>

using namespace faximage;
using namespace faximage::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes line(std::initializer_list<std::pair<int, bool>> spans, int width) {
    MonoBitmap b(width, 1);
    int x = 0;
    for (auto [n, black] : spans)
        for (int i = 0; i < n; ++i, ++x)
            b.setBlack(x, 0, black);
    return Bytes(b.row(0), b.row(0) + b.stride());
}

// What the coded line must show: margin, then raster pixels (twice each in double width),
// cut to the width, white after the raster ends. Written pixel by pixel on purpose.
MonoBitmap expectedLine(const Bytes& raster, const MhLineLayout& l) {
    MonoBitmap out(l.width, 1);
    const int scale = l.doubleWidth ? 2 : 1;
    for (int x = l.leftMargin; x < l.width; ++x) {
        const int src = (x - l.leftMargin) / scale;
        if (src < static_cast<int>(raster.size()) * 8)
            out.setBlack(x, 0, (raster[static_cast<std::size_t>(src / 8)] >> (7 - src % 8)) & 1);
    }
    return out;
}

// Codes each row and has libtiff decode the concatenation.
void expectLibtiffAgrees(const std::vector<Bytes>& rasters, const std::vector<MhLineLayout>& layouts,
                         const TempDir& dir) {
    const int width = layouts.front().width;
    Bytes stream;
    MonoBitmap expected(width, static_cast<int>(rasters.size()));
    for (std::size_t i = 0; i < rasters.size(); ++i) {
        const auto& layout = layouts[i % layouts.size()];
        const Bytes coded = encodeMhLine(rasters[i], layout);
        stream.insert(stream.end(), coded.begin(), coded.end());
        const MonoBitmap e = expectedLine(rasters[i], layout);
        expected.setRow(static_cast<int>(i), std::span(e.row(0), e.stride()));
    }
    const auto decoded =
        decodeMhWithFax2tiff(stream, width, dir.path(), static_cast<int>(rasters.size()));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->height(), expected.height());
    for (int y = 0; y < expected.height(); ++y) {
        MonoBitmap a(width, 1), b(width, 1);
        a.setRow(0, std::span(decoded->row(y), decoded->stride()));
        b.setRow(0, std::span(expected.row(y), expected.stride()));
        ASSERT_TRUE(a.samePixels(b)) << "row " << y;
    }
}

} // namespace

TEST(MhEncoder, KnownLinesHaveTheirExactBytes) {
    const MhLineLayout plain{1728, 0, false};
    EXPECT_EQ(encodeMhLine(Bytes(216, 0), plain), (Bytes{0x00, 0x80, 0xB2, 0x59, 0x01, 0x00}));
    EXPECT_EQ(encodeMhLine(Bytes(256, 0), {2048, 0, false}),
              (Bytes{0x00, 0x80, 0x80, 0xCC, 0x0A, 0x00}));
    // Codes pack across byte boundaries without gaps.
    EXPECT_EQ(encodeMhLine(line({{10, false}, {5, true}}, 1728), plain),
              (Bytes{0x00, 0x80, 0x9C, 0x0D, 0x25, 0x00}));
    // A line starting black opens with a white run of 0 (00110101 -> bits 0xAC).
    const Bytes blackFirst = encodeMhLine(line({{1728, true}}, 1728), plain);
    EXPECT_EQ(blackFirst[2], 0xAC);
    // Blank is judged on the raster, whatever the margin.
    EXPECT_EQ(encodeMhLine(Bytes(216, 0), {1728, 50, true}), encodeMhLine(Bytes(216, 0), plain));
}

// The count runs one byte past the byte holding the last code bit, and one further
// byte when that bit ends its byte.
TEST(MhEncoder, ByteCountFollowsTheLastCodeBit) {
    auto bitsOf = [](int blackRun) { // white 10, black run, white rest
        const int white = 1728 - 10 - blackRun;
        int bits = 16 + terminatingCode(RunColor::White, 10).length;
        bits += (blackRun >= 64 ? makeupCode(RunColor::Black, blackRun & ~63).length : 0) +
                terminatingCode(RunColor::Black, blackRun & 63).length;
        bits += (white >= 64 ? makeupCode(RunColor::White, white & ~63).length : 0) +
                terminatingCode(RunColor::White, white & 63).length;
        return bits;
    };
    int aligned = 0, unaligned = 0;
    for (int run = 1; run < 300; ++run) {
        const int bits = bitsOf(run);
        const Bytes coded = encodeMhLine(line({{10, false}, {run, true}}, 1728), {1728, 0, false});
        // Either way that is the whole bytes of code plus two.
        EXPECT_EQ(coded.size(), static_cast<std::size_t>(bits / 8 + 2)) << "black run " << run;
        EXPECT_EQ(coded.back(), 0);
        (bits % 8 == 0 ? aligned : unaligned)++;
    }
    EXPECT_GT(aligned, 0); // both cases were met
    EXPECT_GT(unaligned, 0);
}

// Every run length of both colours, at the start, middle and end of a line, both widths.
TEST(MhEncoder, EveryRunLengthDecodesWithLibtiff) {
    TempDir dir;
    for (int width : {1728, 2048}) {
        std::vector<Bytes> rasters;
        for (int r = 0; r <= width; r += (width == 1728 ? 1 : 3)) {
            rasters.push_back(line({{r, false}, {width - r, true}}, width));
            rasters.push_back(line({{r, true}, {width - r, false}}, width));
            rasters.push_back(line({{(width - r) / 2, false}, {r, true}}, width));
        }
        expectLibtiffAgrees(rasters, {{width, 0, false}}, dir);
    }
}

// Margins, double width and cutting at the line's end, on real-looking content.
TEST(MhEncoder, PlacementDecodesWithLibtiff) {
    TempDir dir;
    const std::vector<MhLineLayout> layouts = {{1728, 50, false}, {1728, 50, true}, {2048, 0, true},
                                               {1728, 1727, false}, {1728, 300, false}};
    for (const auto& layout : layouts) {
        std::vector<Bytes> rasters;
        for (auto kind : {PageKind::Mixed, PageKind::Rules, PageKind::BlackLines}) {
            const MonoBitmap page = makePage(kind, 1664, 60, 7);
            for (int y = 0; y < page.height(); ++y)
                rasters.emplace_back(page.row(y), page.row(y) + page.stride());
        }
        rasters.push_back(Bytes(4096, 0xFF)); // a raster longer than the line
        expectLibtiffAgrees(rasters, {layout}, dir);
    }
}

TEST(MhEncoder, RasterRunsAlternateFromWhite) {
    std::vector<int> runs;
    rasterRuns(line({{3, true}, {70, false}, {1, true}}, 80), 80, runs);
    EXPECT_EQ(runs, (std::vector<int>{0, 3, 70, 1, 6}));
    rasterRuns(Bytes(10, 0), 80, runs);
    EXPECT_EQ(runs, (std::vector<int>{80}));
}
