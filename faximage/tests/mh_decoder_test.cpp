// The MH decoder against libtiff's coding of real-looking pages, against a plain bit-by-
// bit walk of the code tree on damaged streams, and on the damage cases one by one.
#include "faximage/mh_codes.h"
#include "faximage/mh_decoder.h"
#include "faximage/unpack_engine.h"
#include "libtiff_oracle.h"
#include "test_pages.h"
#include "unpack_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

using namespace faximage;
using namespace faximage::testing;

namespace {

struct Lines final : MhLineSink {
    std::vector<Bytes> lines;
    int stopAfter = -1;
    bool onLine(std::span<const std::uint8_t> line) override {
        lines.emplace_back(line.begin(), line.end());
        return static_cast<int>(lines.size()) != stopAfter;
    }
};

Lines decodeAll(const Bytes& data, MhDecoder& d, std::size_t chunk = 0, int padTo = 0) {
    Lines sink;
    d.startPage(padTo);
    if (chunk == 0)
        chunk = data.size() + 1;
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        const std::size_t n = std::min(chunk, data.size() - at);
        if (d.feed(std::span(data).subspan(at, n), sink) != MhFeedResult::NeedInput)
            return sink;
    }
    d.finish(sink);
    return sink;
}

Bytes rowOf(const MonoBitmap& page, int y) {
    return Bytes(page.row(y), page.row(y) + MonoBitmap::bytesForWidth(page.width()));
}

// The code tree walked one bit at a time, written from the decoding rules without any
// table: the judge of the table-driven decoder on arbitrary (damaged) input.
struct TreeWalk {
    std::map<std::pair<bool, std::string>, int> codes; // (black, bits) -> run, -2 = EOL
    std::map<std::pair<bool, std::string>, bool> prefixes;
    std::vector<Bytes> lines;
    int bad = 0;

    TreeWalk() {
        for (bool black : {false, true}) {
            const auto& table = black ? kBlackRunCodes : kWhiteRunCodes;
            auto add = [&](MhCode c, int value) {
                std::string s;
                for (int i = c.length - 1; i >= 0; --i)
                    s += ((c.bits >> i) & 1) ? '1' : '0';
                codes[{black, s}] = value;
                for (std::size_t k = 1; k < s.size(); ++k)
                    prefixes[{black, s.substr(0, k)}] = true;
            };
            for (const auto& rc : table)
                add(rc.code, rc.run);
            add(kEol, -2);
        }
    }

    void run(const Bytes& data) {
        bool black = false, waiting = true, resync = false;
        int eols = 0, pos = 0;
        std::vector<bool> px;
        std::string node;
        for (std::uint8_t byte : data)
            for (int b = 0; b < 8; ++b) {
                const bool one = (byte >> b) & 1;
                if (one && resync)
                    continue;
                if (!one)
                    resync = false;
                if (node == "00000000000" && !one)
                    continue; // the fill loop
                node += one ? '1' : '0';
                auto code = codes.find({black, node});
                if (code == codes.end()) {
                    if (!prefixes.count({black, node})) {
                        ++bad;
                        node.clear();
                        resync = true;
                    }
                    continue;
                }
                node.clear();
                const int v = code->second;
                if (v == -2) {
                    if (!waiting && (pos == 1728 || pos == 2048)) {
                        Bytes l(static_cast<std::size_t>(pos / 8), 0);
                        for (int x = 0; x < pos; ++x)
                            if (px[static_cast<std::size_t>(x)])
                                l[static_cast<std::size_t>(x / 8)] |=
                                    static_cast<std::uint8_t>(0x80 >> (x % 8));
                        lines.push_back(l);
                    }
                    pos = 0;
                    px.clear();
                    black = false;
                    waiting = false;
                    if (++eols == 3)
                        return;
                    continue;
                }
                eols = 0;
                if (!waiting && pos + v <= 2048) {
                    px.insert(px.end(), static_cast<std::size_t>(v), black);
                    pos += v;
                } else if (!waiting) {
                    pos = 99999;
                }
                if (v < 64)
                    black = !black;
            }
    }
};

TEST(MhDecoder, DecodesLibtiffCodingOfRealPagesExactly) {
    TempDir dir;
    MhDecoder d;
    for (int width : {1728, 2048})
        for (PageKind kind : allPageKinds()) {
            SCOPED_TRACE(to_string(kind) + " " + std::to_string(width));
            const MonoBitmap page = makePage(kind, width, 700, 7);
            const Bytes mh = libtiffMh(page, dir.path());
            ASSERT_FALSE(mh.empty());
            // libtiff's own reading of what it wrote is the expected raster.
            const MonoBitmap expected =
                readTiffPages(dir / "g3.tif").at(0);
            ASSERT_TRUE(expected.samePixels(page));

            const Lines got = decodeAll(mh, d);
            ASSERT_EQ(got.lines.size(), 700u);
            EXPECT_EQ(d.badCodes(), 0);
            for (int y = 0; y < 700; ++y)
                ASSERT_EQ(got.lines[static_cast<std::size_t>(y)], rowOf(expected, y)) << "row " << y;

            // Through the file layer too: a page stored without length words, as a fax
            // receiver keeps it, and the same page in small pieces.
            writeApf(dir / "raw.apf", {{static_cast<std::uint16_t>(width == 2048 ? kApfWide : 0), {mh}}});
            MonoBitmap raster;
            ApfPageHeader ph;
            ASSERT_EQ(unpackPageToRaster(dir / "raw.apf", 1, raster, ph), 0);
            EXPECT_TRUE(raster.samePixels(expected));
            EXPECT_EQ(decodeAll(mh, d, 3).lines, got.lines);
        }
}

TEST(MhDecoder, ConverterPagesRoundTripAtBothWidths) {
    TempDir dir;
    for (int width : {1728, 2048}) {
        const MonoBitmap page = makePage(PageKind::Mixed, width, 500, 3);
        writeApf(dir / "c.apf", {encodedPage(page, true), encodedPage(page, false)});
        for (int n : {1, 2}) {
            MonoBitmap raster;
            ApfPageHeader ph;
            ASSERT_EQ(unpackPageToRaster(dir / "c.apf", n, raster, ph), 0);
            EXPECT_TRUE(raster.samePixels(page)) << width << " page " << n;
            EXPECT_EQ(ph.highResolution(), n == 1);
        }
    }
}

TEST(MhDecoder, MatchesTheBitByBitTreeWalkOnDamagedStreams) {
    std::mt19937 rng(42);
    MhDecoder d;
    const MonoBitmap page = makePage(PageKind::Text, 1728, 120, 5);
    int damagedRuns = 0;
    for (int trial = 0; trial < 60; ++trial) {
        MhStream s;
        for (int y = 0; y < page.height(); ++y) {
            s.eol(static_cast<int>(rng() % 20));
            if (rng() % 4 == 0) { // a burst of noise inside the line
                for (int k = 0; k < 1 + static_cast<int>(rng() % 6); ++k)
                    s.bits(rng(), 1 + static_cast<int>(rng() % 16));
                ++damagedRuns;
            }
            s.line(page, y);
        }
        s.eol().eol().eol();
        const Bytes data = s.take();
        TreeWalk walk;
        walk.run(data);
        for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
            const Lines got = decodeAll(data, d, chunk);
            ASSERT_EQ(got.lines, walk.lines) << "trial " << trial << " chunk " << chunk;
            ASSERT_EQ(d.badCodes(), walk.bad) << "trial " << trial;
        }
        // Undamaged lines survive: far more than half of them come through.
        EXPECT_GT(walk.lines.size(), page.height() / 2u);
    }
    EXPECT_GT(damagedRuns, 0);
}

TEST(MhDecoder, DamageCases) {
    MhDecoder d;
    const MonoBitmap page = makePage(PageKind::Rules, 1728, 6, 1);

    // 1727-pixel lines are dropped, whole ones either side are kept.
    {
        MhStream s;
        s.eol().line(page, 0).eol().runs({100, 27, 1600}).eol().runs({1727}).eol().line(page, 1).eol().eol().eol();
        const Lines got = decodeAll(s.take(), d);
        ASSERT_EQ(got.lines.size(), 2u);
        EXPECT_EQ(got.lines[0], rowOf(page, 0));
        EXPECT_EQ(got.lines[1], rowOf(page, 1));
        EXPECT_EQ(d.droppedLines(), 2);
    }
    // Padding to the page width: short lines come out whole with white after their
    // runs; a line longer than the page and a line of no pixels do not.
    for (int width : {1728, 2048}) {
        const MonoBitmap wide = makePage(PageKind::Rules, width, 2, 1);
        MhStream s;
        s.eol().runs({100, 27, 1600}).eol().runs({2100}).eol().line(wide, 1).eol().eol().eol();
        const Lines got = decodeAll(s.take(), d, 0, width);
        ASSERT_EQ(got.lines.size(), 2u) << width;
        Bytes expect(static_cast<std::size_t>(width / 8), 0);
        for (int x = 100; x < 127; ++x)
            expect[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        EXPECT_EQ(got.lines[0], expect);
        EXPECT_EQ(got.lines[1], rowOf(wide, 1));
        EXPECT_EQ(d.paddedLines(), 1);
        EXPECT_EQ(d.droppedLines(), 1);
    }
    // Any amount of fill before an EOL; runs before the first EOL are ignored.
    for (int fill : {0, 1, 4, 11, 12, 13, 100, 1000}) {
        MhStream s;
        s.line(page, 2).eol(fill).line(page, 3).eol(fill).line(page, 4).eol(fill).eol(fill).eol(fill);
        const Lines got = decodeAll(s.take(), d);
        ASSERT_EQ(got.lines.size(), 2u) << fill;
        EXPECT_EQ(got.lines[0], rowOf(page, 3));
        EXPECT_EQ(got.lines[1], rowOf(page, 4));
    }
    // Garbage between lines: counted, and the lines after the next EOL come back.
    {
        MhStream s;
        s.eol().line(page, 0).bits(0x100, 9).bits(0xFFFF, 16).bits(0x100, 9).eol().line(page, 1).eol().line(page, 2).eol().eol().eol();
        const Lines got = decodeAll(s.take(), d);
        EXPECT_GT(d.badCodes(), 0);
        ASSERT_GE(got.lines.size(), 1u);
        EXPECT_EQ(got.lines.back(), rowOf(page, 2));
    }
    // Three EOLs end the page: nothing after them is decoded.
    {
        MhStream s;
        s.eol().line(page, 0).eol().eol().eol().line(page, 1).eol();
        EXPECT_EQ(decodeAll(s.take(), d).lines.size(), 1u);
    }
    // A whole last line without a closing EOL (TIFF strips) is kept; a partial one not.
    {
        MhStream s;
        s.eol().line(page, 0).eol().line(page, 1);
        EXPECT_EQ(decodeAll(s.take(), d).lines.size(), 2u);
        MhStream t;
        t.eol().line(page, 0).eol().runs({1000});
        EXPECT_EQ(decodeAll(t.take(), d).lines.size(), 1u);
    }
    // A line that overflows 2048 pixels is lost, not written past the buffer.
    {
        MhStream s;
        s.eol().runs({2560, 2560, 2560, 0, 5}).eol().line(page, 5).eol();
        const Lines got = decodeAll(s.take(), d);
        ASSERT_EQ(got.lines.size(), 1u);
        EXPECT_EQ(got.lines[0], rowOf(page, 5));
    }
    // The sink can stop the decoder.
    {
        MhStream s;
        for (int y = 0; y < 5; ++y)
            s.eol().line(page, y);
        s.eol();
        const Bytes data = s.take();
        Lines sink;
        sink.stopAfter = 2;
        d.startPage();
        EXPECT_EQ(d.feed(data, sink), MhFeedResult::Stopped);
        EXPECT_EQ(sink.lines.size(), 2u);
    }
}

} // namespace
