// Text faxes: the fax font, pages, form feeds and limits; system fonts; the text
// operations the fax engine uses for header lines.
#include "faximage/apf_file.h"
#include "faximage/fax_converter.h"
#include "faximage/line_reader.h"
#include "test_pages.h"

#include <gtest/gtest.h>

using namespace faximage;
using namespace faximage::testing;
namespace fs = std::filesystem;

namespace {

struct TextResult {
    std::vector<MonoBitmap> pages;
    std::vector<int> records;
};

TextResult convertText(const TempDir& dir, const std::string& text,
                       const std::function<void(TVelkFaxConverter&)>& setup = {}) {
    writeFile(dir / "t.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
    TVelkFaxConverter c;
    c.InputDocumentType = TFaxInputDocumentType::idText;
    c.SetDocumentFile((dir / "t.txt").string());
    if (setup)
        setup(c);
    c.ConvertToFile();
    TextResult r;
    r.pages = decodeApfWithLibtiff(dir / "t.APF", dir.path(), &r.records);
    return r;
}

bool glyphPixel(std::uint8_t ch, int row, int x, const FaxFontCell& cell) {
    const std::size_t at = cell.offset + static_cast<std::size_t>(ch) * cell.bytesPerGlyph +
                           static_cast<std::size_t>(row * cell.bytesPerRow + x / 8);
    return (kFaxFontTable[at] >> (7 - x % 8)) & 1;
}

// The fax-font drawing of `text` at margin 50, row by row, written out pixel by pixel.
void expectTextLine(const MonoBitmap& page, int firstRow, const std::string& text,
                    const FaxFontCell& cell, int rowRepeat) {
    for (int r = 0; r < cell.rows * rowRepeat; ++r)
        for (std::size_t i = 0; i < text.size(); ++i)
            for (int x = 0; x < cell.width; ++x) {
                const int px = 50 + static_cast<int>(i) * cell.width + x;
                if (px >= 1728)
                    continue;
                ASSERT_EQ(page.isBlack(px, firstRow + r),
                          glyphPixel(static_cast<std::uint8_t>(text[i]), r / rowRepeat, x, cell))
                    << "char " << i << " row " << r << " x " << x;
            }
}

bool blankRows(const MonoBitmap& page, int from, int to) {
    for (int y = from; y < to; ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.isBlack(x, y))
                return false;
    return true;
}

} // namespace

TEST(TextConverter, GlyphsComeFromTheFontTableInBothCellsAndResolutions) {
    TempDir dir;
    auto r = convertText(dir, "Fax ok\r\n");
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.records[0], 16);
    expectTextLine(r.pages[0], 0, "Fax ok", kLargeCell, 1);
    EXPECT_FALSE(blankRows(r.pages[0], 0, 16));

    r = convertText(dir, "Small\r\n", [](TVelkFaxConverter& c) {
        c.FontType = TFaxFont::ffSmall;
        c.Resolution = TFaxResolution::frHigh;
    });
    EXPECT_EQ(r.records[0], 16); // 8 rows, each twice
    expectTextLine(r.pages[0], 0, "Small", kSmallCell, 2);
}

TEST(TextConverter, EmptyFileGivesOnePageWithOneWhiteLine) {
    TempDir dir;
    auto r = convertText(dir, "", [](TVelkFaxConverter& c) { c.TopMargin = 3; });
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.records[0], 4);
    EXPECT_TRUE(blankRows(r.pages[0], 0, 4));
}

TEST(TextConverter, FormFeedsAndLineLimitEndPages) {
    TempDir dir;
    // A line holding only a form feed: a blank text line, then the page ends.
    auto r = convertText(dir, "one\r\n\f\r\ntwo\r\n");
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_EQ(r.records, (std::vector<int>{32, 16}));
    expectTextLine(r.pages[1], 0, "two", kLargeCell, 1);

    // Text after a form feed is not lost: it opens the next page.
    r = convertText(dir, "one\fnext\fthird\r\n");
    ASSERT_EQ(r.pages.size(), 3u);
    EXPECT_EQ(r.records, (std::vector<int>{16, 16, 16}));
    expectTextLine(r.pages[1], 0, "next", kLargeCell, 1);
    expectTextLine(r.pages[2], 0, "third", kLargeCell, 1);

    std::string lines;
    for (int i = 1; i <= 61; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    r = convertText(dir, lines);
    ASSERT_EQ(r.pages.size(), 2u); // LinesPerPage is 60 by default
    EXPECT_EQ(r.records, (std::vector<int>{60 * 16, 16}));
    expectTextLine(r.pages[1], 0, "line 61", kLargeCell, 1);

    r = convertText(dir, lines, [](TVelkFaxConverter& c) { c.LinesPerPage = 0; });
    EXPECT_EQ(r.pages.size(), 1u);
}

TEST(TextConverter, LineEndsTabsWidthAndCharacterSets) {
    TempDir dir;
    // CR LF, CR alone, LF alone (files written on this system), Ctrl-Z at the end.
    auto r = convertText(dir, "a\r\nb\rc\nd\x1a");
    EXPECT_EQ(r.records[0], 4 * 16);
    expectTextLine(r.pages[0], 48, "d", kLargeCell, 1);

    r = convertText(dir, "\tX\r\nab\tY", [](TVelkFaxConverter& c) { c.TabStop = 3; });
    expectTextLine(r.pages[0], 0, "   X", kLargeCell, 1);
    expectTextLine(r.pages[0], 16, "ab Y", kLargeCell, 1);

    // UTF-8 text is drawn with the font's Windows-1252 glyphs.
    r = convertText(dir, "Jos\xc3\xa9 \xe2\x82\xac");
    expectTextLine(r.pages[0], 0, "Jos\xe9 \x80", kLargeCell, 1);
}

TEST(TextConverter, SystemFontIsFoundAndDrawn) {
    TempDir dir;
    writeFile(dir / "t.txt", {'H', 'e', 'l', 'l', 'o', '\r', '\n', 'W', 'y'});
    TVelkFaxConverter c;
    c.InputDocumentType = TFaxInputDocumentType::idTextEx;
    c.SetDocumentFile((dir / "t.txt").string());
    c.EnhFont = {"Arial", 12, false, false};
    c.Resolution = TFaxResolution::frHigh;
    c.ConvertToFile();
    std::vector<int> records;
    const auto pages = decodeApfWithLibtiff(dir / "t.APF", dir.path(), &records);
    ASSERT_EQ(pages.size(), 1u);
    EnhancedFont f;
    ASSERT_EQ(f.open(c.EnhFont, 2.0), 0);
    EXPECT_NE(f.file().find("Liberation"), std::string::npos) << f.file();
    EXPECT_EQ(records[0], 2 * f.lineHeight());
    int black = 0;
    for (int y = 0; y < pages[0].height(); ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_FALSE(pages[0].isBlack(x, y)); // the margin stays white
    for (int y = 0; y < pages[0].height(); ++y)
        for (int x = 50; x < 300; ++x)
            black += pages[0].isBlack(x, y);
    EXPECT_GT(black, 200);

    c.EnhFont.pointSize = 500; // one text line would need more than 64 KiB
    try {
        c.ConvertToFile();
        ADD_FAILURE() << "no exception";
    } catch (const EVelkException& e) {
        EXPECT_EQ(e.ErrorCode(), -8055);
    }
}

TEST(TextConverter, EngineOperationsForHeaderLines) {
    auto state = createTextConverter();
    EXPECT_EQ(state->width, 1728);
    EXPECT_EQ(state->leftMargin, 50);
    EXPECT_EQ(state->flags, 13u);
    ASSERT_EQ(loadFaxFont(*state, TFaxFont::ffSmall, true), 0);
    EXPECT_EQ(textCellHeight(*state), 16);

    std::array<std::uint8_t, 256> raster{};
    drawTextRow(*state, "HI", 17, raster); // beyond the cell: nothing
    EXPECT_TRUE(std::all_of(raster.begin(), raster.end(), [](auto b) { return b == 0; }));
    drawTextRow(*state, "HI", 5, raster);
    for (int x = 0; x < 24; ++x)
        EXPECT_EQ(((raster[static_cast<std::size_t>(x / 8)] >> (7 - x % 8)) & 1) != 0,
                  glyphPixel(x < 12 ? 'H' : 'I', 2, x % 12, kSmallCell));

    std::array<std::uint8_t, kMaxCodedLine> coded{};
    const std::size_t n = codeRasterLine(*state, raster, coded);
    EXPECT_EQ(std::vector<std::uint8_t>(coded.begin(), coded.begin() + static_cast<long>(n)),
              encodeMhLine(raster, {1728, 50, false}));
    EXPECT_EQ(endOfPageBytes().size(), 12u);

    int rc = 0;
    auto enh = createTextConverter({"DejaVu Sans", 9, true, false}, false, rc);
    ASSERT_EQ(rc, 0);
    std::array<std::uint8_t, 256> row{};
    int inked = 0;
    for (int r = 1; r <= textCellHeight(*enh); ++r) {
        row.fill(0);
        drawTextRow(*enh, "Header 1/3", r, row);
        for (auto b : row)
            inked += b != 0;
    }
    EXPECT_GT(inked, 10);
}

// 84 large cells (140 small ones) fit between the margin and the end of a 1728-pixel
// line; what does not fit goes on the next line, broken at a blank where there is one.
TEST(TextConverter, LongLinesWrapInsteadOfBeingCut) {
    TempDir dir;
    auto r = convertText(dir, std::string(100, 'M'));
    EXPECT_EQ(r.records[0], 2 * 16);
    expectTextLine(r.pages[0], 0, std::string(84, 'M'), kLargeCell, 1);
    expectTextLine(r.pages[0], 16, std::string(16, 'M'), kLargeCell, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 50 + 84 * 20; x < 1728; ++x)
            ASSERT_FALSE(r.pages[0].isBlack(x, y));

    // Words: the break falls at the last blank that fits; no blank opens the next line.
    std::string words;
    for (int i = 0; i < 20; ++i)
        words += "word" + std::to_string(i % 10) + " "; // 6 characters each
    r = convertText(dir, "  " + words);
    EXPECT_EQ(r.records[0], 2 * 16);
    const std::string first = "  " + words.substr(0, 13 * 6 - 1); // 79 characters
    expectTextLine(r.pages[0], 0, first + std::string(84 - first.size(), ' '), kLargeCell, 1);
    expectTextLine(r.pages[0], 16, words.substr(13 * 6, 7 * 6 - 1), kLargeCell, 1);

    // Nothing of a line past 255 characters is lost either, nor of the text after a
    // form feed; the wrapped lines count towards LinesPerPage.
    r = convertText(dir, std::string(300, 'x') + "y" + std::string(299, 'z'),
                    [](TVelkFaxConverter& c) { c.LinesPerPage = 3; });
    ASSERT_EQ(r.pages.size(), 4u);
    EXPECT_EQ(r.records, (std::vector<int>{48, 16, 48, 16}));
    expectTextLine(r.pages[1], 0, std::string(300 - 3 * 84, 'x'), kLargeCell, 1);
    expectTextLine(r.pages[2], 0, "y" + std::string(83, 'z'), kLargeCell, 1);
    expectTextLine(r.pages[3], 0, std::string(300 - 3 * 84, 'z'), kLargeCell, 1);

    r = convertText(dir, std::string(150, 'S'), [](TVelkFaxConverter& c) { c.FontType = TFaxFont::ffSmall; });
    EXPECT_EQ(r.records[0], 2 * 8);
    expectTextLine(r.pages[0], 8, std::string(10, 'S'), kSmallCell, 1);
}

// With a system font the line breaks where the drawing reaches the page's edge (in
// standard resolution the drawing is doubled across, so half the width is the limit).
TEST(TextConverter, LongSystemFontLinesWrapAtThePageEdge) {
    TempDir dir;
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "Wrapping ";
    for (TFaxResolution res : {TFaxResolution::frNormal, TFaxResolution::frHigh}) {
        writeFile(dir / "t.txt", std::vector<std::uint8_t>(words.begin(), words.end()));
        TVelkFaxConverter c;
        c.InputDocumentType = TFaxInputDocumentType::idTextEx;
        c.SetDocumentFile((dir / "t.txt").string());
        c.EnhFont = {"DejaVu Sans", 12, false, false};
        c.Resolution = res;
        c.ConvertToFile();
        std::vector<int> records;
        const auto pages = decodeApfWithLibtiff(dir / "t.APF", dir.path(), &records);
        EnhancedFont f;
        ASSERT_EQ(f.open(c.EnhFont, res == TFaxResolution::frHigh ? 2.0 : 1.0), 0);
        const int lineRows = f.lineHeight();
        ASSERT_EQ(records[0] % lineRows, 0);
        const int textLines = records[0] / lineRows;
        EXPECT_GE(textLines, 3);
        // Every text line carries ink, and none reaches into the last 8 pixels.
        for (int line = 0; line < textLines; ++line) {
            int ink = 0;
            for (int y = line * lineRows; y < (line + 1) * lineRows; ++y) {
                for (int x = 50; x < 1728; ++x)
                    ink += pages[0].isBlack(x, y);
                for (int x = 1720; x < 1728; ++x)
                    ASSERT_FALSE(pages[0].isBlack(x, y));
            }
            EXPECT_GT(ink, 100) << "line " << line;
        }
    }
}

// Lines split across the 4096-byte read blocks: CR at the end of one block and LF at the
// start of the next is one line end; Ctrl-Z counts only as a block's last byte.
TEST(TextConverter, LineEndsAcrossReadBlocks) {
    TempDir dir;
    std::string text(4095, 'x');
    text[0] = 'A';
    text += "\r\nB\x1a" "C\r\n";
    writeFile(dir / "b.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
    TLineReader reader;
    ASSERT_EQ(reader.open(dir / "b.txt"), 0);
    std::string line;
    ASSERT_EQ(reader.nextLine(line), 1);
    EXPECT_EQ(line.size(), 4095u);
    ASSERT_EQ(reader.nextLine(line), 1);
    EXPECT_EQ(line, "B\x1a" "C"); // inside the block: an ordinary character
    EXPECT_EQ(reader.nextLine(line), 0);
    EXPECT_EQ(reader.position(), text.size());
}
