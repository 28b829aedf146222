// The unpack engine: what reaches the line consumer and the page bitmap, and the errors
// of bad or cut-off files.
#include "faximage/fax_errors.h"
#include "faximage/unpack_engine.h"
#include "test_pages.h"
#include "unpack_test_support.h"

#include <gtest/gtest.h>

using namespace faximage;
using namespace faximage::testing;

namespace {

// A page of `rows` lines: 'b' a blank line, 'x' a line with ink at pixel 40.
MonoBitmap pattern(const std::string& rows, int width = 1728) {
    MonoBitmap page(width, static_cast<int>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        if (rows[y] == 'x')
            page.setBlack(40, static_cast<int>(y), true);
    return page;
}

struct Recorded {
    std::string events; // S, E, x (ink), b (blank, as decoded), 0 (blank, squeezed form)
    std::vector<std::size_t> lengths;
};

Recorded record(UnpackState& s, const std::filesystem::path& apf, int page = 1) {
    Recorded r;
    s.consumer = [&](unsigned flags, std::span<const std::uint8_t> line, int) {
        if (flags & ulPageStart)
            r.events += 'S';
        else if (flags & ulPageEnd)
            r.events += 'E';
        else {
            r.events += line.empty() ? '0'
                        : std::any_of(line.begin(), line.end(), [](auto b) { return b != 0; }) ? 'x'
                                                                                              : 'b';
            r.lengths.push_back(line.size());
        }
        return 0;
    };
    EXPECT_EQ(unpackPage(s, apf, page), 0);
    s.consumer = nullptr;
    return r;
}

TEST(UnpackEngine, BlankLineSqueezing) {
    TempDir dir;
    const std::string rows = "x" + std::string(30, 'b') + "x" + std::string(9, 'b') + "x" +
                             std::string(12, 'b');
    writeApf(dir / "w.apf", {encodedPage(pattern(rows), true)});
    UnpackState s;
    ASSERT_EQ(s.setWhitespace(10, 2), 0);
    // 30 blank lines become 2; 9 stay 9; the 12 at the end become 2.
    EXPECT_EQ(record(s, dir / "w.apf").events, "Sx00x000000000x00E");
    // With from = to a run at the page end is dropped.
    ASSERT_EQ(s.setWhitespace(9, 9), 0);
    EXPECT_EQ(record(s, dir / "w.apf").events, "Sx000000000x000000000xE");
    // Off: every line as decoded.
    ASSERT_EQ(s.setWhitespace(0, 0), 0);
    EXPECT_EQ(record(s, dir / "w.apf").events, "S" + std::string(rows) + "E");

    for (auto [from, to] : {std::pair{2, 3}, {0, 1}, {-1, 0}, {5, -2}})
        EXPECT_EQ(s.setWhitespace(from, to), ec::BadArgument) << from << " " << to;
    EXPECT_EQ(s.whitespaceFrom(), 0);
}

TEST(UnpackEngine, DoubleHeightAndHalfWidthOnStandardPagesOnly) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Text, 1728, 1100, 2);
    writeApf(dir / "p.apf", {encodedPage(page, false), encodedPage(page, true)});
    UnpackState s;
    s.setFlag(ufDoubleHeight, true);
    MonoBitmap bmp;
    ASSERT_EQ(unpackPageToBitmap(s, dir / "p.apf", 1, true, bmp), 0);
    EXPECT_EQ(bmp.height(), 2200);
    EXPECT_EQ(bmp.sense(), PixelSense::OneIsWhite);
    for (int y = 0; y < 1100; y += 37)
        for (int x = 0; x < bmp.width(); ++x)
            ASSERT_EQ(bmp.isBlack(x, 2 * y), page.isBlack(x, y)) << x << "," << y;
    ASSERT_EQ(unpackPageToBitmap(s, dir / "p.apf", 2, true, bmp), 0);
    EXPECT_EQ(bmp.height(), 1100);

    // Half width: setting it clears double height; a pixel is black when either of its
    // two is, in the inverted bitmap as well.
    s.setFlag(ufHalfWidth, true);
    EXPECT_FALSE(s.hasFlag(ufDoubleHeight));
    MonoBitmap thin(1728, 3);
    thin.setBlack(101, 0, true); // odd pixel alone
    thin.setBlack(100, 1, true); // even pixel alone
    for (int x = 0; x < 1728; ++x)
        thin.setBlack(x, 2, x % 2 == 0);
    writeApf(dir / "t.apf", {encodedPage(thin, false)});
    for (bool invert : {false, true}) {
        ASSERT_EQ(unpackPageToBitmap(s, dir / "t.apf", 1, invert, bmp), 0);
        ASSERT_EQ(bmp.height(), 3);
        EXPECT_EQ(bmp.width(), 864);
        EXPECT_TRUE(bmp.isBlack(50, 0) && bmp.isBlack(50, 1)) << invert;
        EXPECT_FALSE(bmp.isBlack(49, 0) || bmp.isBlack(51, 1));
        for (int x = 0; x < 864; ++x)
            ASSERT_TRUE(bmp.isBlack(x, 2));
    }
}

TEST(UnpackEngine, BitmapIsCutAfterTheRightmostInk) {
    TempDir dir;
    MonoBitmap page(1728, 20);
    page.setBlack(1000, 7, true);
    MonoBitmap wide(2048, 4);
    wide.setBlack(2047, 1, true);
    MonoBitmap blank(1728, 5);
    writeApf(dir / "r.apf", {encodedPage(page, true), encodedPage(wide, true), encodedPage(blank, true)});
    UnpackState s;
    MonoBitmap bmp;
    ASSERT_EQ(unpackPageToBitmap(s, dir / "r.apf", 1, true, bmp), 0);
    EXPECT_EQ(bmp.width(), 1008); // 126 bytes
    EXPECT_EQ(bmp.height(), 20);
    EXPECT_TRUE(bmp.isBlack(1000, 7));
    EXPECT_FALSE(bmp.isBlack(1001, 7));
    ASSERT_EQ(unpackPageToBitmap(s, dir / "r.apf", 2, true, bmp), 0);
    EXPECT_EQ(bmp.width(), 2048);
    EXPECT_TRUE(bmp.isBlack(2047, 1));
    ASSERT_EQ(unpackPageToBitmap(s, dir / "r.apf", 3, false, bmp), 0);
    EXPECT_EQ(bmp.width(), 16);
    EXPECT_EQ(bmp.height(), 5);

    // A page whose every line is one pixel short is shown padded with white; a line
    // longer than the page is still dropped.
    MhStream m;
    for (int i = 0; i < 10; ++i)
        m.eol().runs({100, 27, 1600});
    m.eol().runs({100, 27, 1700}).eol().eol().eol();
    writeApf(dir / "short.apf", {{0, {m.take()}}});
    ASSERT_EQ(unpackPageToBitmap(s, dir / "short.apf", 1, true, bmp), 0);
    EXPECT_EQ(bmp.height(), 10);
    EXPECT_EQ(bmp.width(), 128);
    EXPECT_TRUE(bmp.isBlack(100, 9) && bmp.isBlack(126, 0));
    EXPECT_FALSE(bmp.isBlack(99, 0) || bmp.isBlack(127, 0));
    EXPECT_EQ(unpackPageToBmp(s, dir / "short.apf", 1, dir / "short.bmp"), 0);

    // A page with no decodable line at all is still refused as an export.
    MhStream none;
    none.eol().runs({3000}).eol().eol().eol();
    writeApf(dir / "bad.apf", {{0, {none.take()}}});
    ASSERT_EQ(unpackPageToBitmap(s, dir / "bad.apf", 1, true, bmp), 0);
    EXPECT_TRUE(bmp.empty());
    EXPECT_EQ(unpackPageToBmp(s, dir / "bad.apf", 1, dir / "bad.bmp"), ec::FaxBadFormat);
}

TEST(UnpackEngine, ScalingKeepsThinStrokesWhenShrinking) {
    TempDir dir;
    MonoBitmap page(1728, 40);
    for (int x = 0; x < 1728; ++x)
        page.setBlack(x, 21, true); // one-pixel rule
    for (int y = 0; y < 40; ++y)
        page.setBlack(301, y, true); // one-pixel column
    writeApf(dir / "s.apf", {encodedPage(page, true)});
    UnpackState s;
    s.setScaling(1, 2, 1, 2);
    for (bool invert : {true, false}) {
        MonoBitmap bmp;
        ASSERT_EQ(unpackPageToBitmap(s, dir / "s.apf", 1, invert, bmp), 0);
        EXPECT_EQ(bmp.width(), 864);
        EXPECT_EQ(bmp.height(), 20);
        EXPECT_TRUE(bmp.isBlack(700, 10) && bmp.isBlack(150, 3)) << invert;
        EXPECT_FALSE(bmp.isBlack(700, 9) || bmp.isBlack(149, 3));
    }
    s.setScaling(3, 1, 2, 1);
    MonoBitmap big;
    ASSERT_EQ(unpackPageToBitmap(s, dir / "s.apf", 1, true, big), 0);
    EXPECT_EQ(big.width(), 3 * 1728);
    EXPECT_EQ(big.height(), 80);
    EXPECT_TRUE(big.isBlack(903, 0) && big.isBlack(905, 79) && big.isBlack(10, 43));
    EXPECT_FALSE(big.isBlack(902, 0) || big.isBlack(906, 0) || big.isBlack(10, 41));
    s.setScaling(100000, 1, 1, 1);
    EXPECT_EQ(unpackPageToBitmap(s, dir / "s.apf", 1, true, big), ec::CantMakeBitmap);
}

TEST(UnpackEngine, FileErrorsAndPageNumbers) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Rules, 1728, 30, 1);
    writeApf(dir / "ok.apf", {encodedPage(page, true), encodedPage(pattern("xbx"), true)});
    UnpackState s;
    EXPECT_EQ(record(s, dir / "ok.apf", 0).events, "S" + std::string(30, 'x') + "E"); // 0 reads as 1
    EXPECT_EQ(unpackPage(s, dir / "ok.apf", 3), ec::FaxBadFormat);
    EXPECT_EQ(unpackPage(s, "", 1), -2);
    EXPECT_LT(unpackPage(s, dir / "missing.apf", 1), 0);
    writeFile(dir / "junk.apf", Bytes(200, 'A'));
    EXPECT_EQ(unpackPage(s, dir / "junk.apf", 1), ec::FaxBadFormat);
    ApfFileHeader h;
    EXPECT_EQ(readFaxFileHeader(dir / "ok.apf", h), 0);
    EXPECT_EQ(h.pageCount, 2);

    // Cut off: inside a line record (-100), inside a page stored without length words
    // (-8001).
    Bytes whole = readFile(dir / "ok.apf");
    writeFile(dir / "cut.apf", Bytes(whole.begin(), whole.begin() + 400));
    EXPECT_EQ(unpackPage(s, dir / "cut.apf", 1), -100);
    writeApf(dir / "raw.apf", {{0, {MhStream().eol().line(page, 0).eol().line(page, 1).take()}}});
    whole = readFile(dir / "raw.apf");
    writeFile(dir / "rawcut.apf", Bytes(whole.begin(), whole.end() - 5));
    EXPECT_EQ(unpackPage(s, dir / "rawcut.apf", 1), ec::FaxBadFormat);
}

TEST(UnpackEngine, AbortYieldAndStatus) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Text, 1728, 200, 4);
    writeApf(dir / "a.apf", {encodedPage(page, true)});
    UnpackState s;
    std::int64_t lastRead = 0, total = 0;
    s.status = [&](const UnpackStatus& st) {
        EXPECT_GE(st.bytesRead, lastRead);
        EXPECT_LE(st.bytesRead, st.imageLength);
        lastRead = st.bytesRead;
        total = st.imageLength;
    };
    Recorded r = record(s, dir / "a.apf");
    EXPECT_EQ(lastRead, total);
    EXPECT_EQ(r.events.size(), 202u);
    s.status = nullptr;

    // The abort flag set while yielding stops the page without an error; the page end
    // still comes.
    int yields = 0;
    s.yield = [&]() {
        if (++yields == 3)
            s.setFlag(ufAbort, true);
        return 0;
    };
    r = record(s, dir / "a.apf");
    EXPECT_EQ(r.events.size(), 48u + 2);
    EXPECT_EQ(r.events.back(), 'E');
    EXPECT_EQ(s.linesDecoded, 48);

    s.setFlag(ufAbort, false);
    s.yield = [] { return ec::GotQuitMsg; };
    EXPECT_EQ(unpackPage(s, dir / "a.apf", 1), ec::GotQuitMsg);
    s.setFlag(ufYield, false);
    EXPECT_EQ(unpackPage(s, dir / "a.apf", 1), 0);
}

TEST(UnpackEngine, EndlessPagesStopAtTheRowLimit) {
    TempDir dir;
    TestPage p{kApfHighResolution, {}};
    Bytes raw;
    for (int i = 0; i < 66000; ++i)
        raw.insert(raw.end(), kApfBlankLine.begin(), kApfBlankLine.end());
    p.records.push_back(raw);
    writeApf(dir / "long.apf", {p});
    UnpackState s;
    MonoBitmap bmp;
    EXPECT_EQ(unpackPageToBitmap(s, dir / "long.apf", 1, true, bmp), ec::OutOfMemory);
    EXPECT_TRUE(bmp.empty());
}

} // namespace
