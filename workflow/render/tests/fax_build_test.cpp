// Building fax files from rich text: page files and their names, joining, the empty
// rule, the page geometry, and the log's memo fields.
#include "rich_test_support.h"

#include "workflow/render/apf_join.h"
#include "workflow/render/document_renderer.h"
#include "workflow/render/fax_file_builder.h"
#include "workflow/render/fax_file_names.h"
#include "workflow/render/memo_rich_text.h"
#include "workflow/render/view_preparation.h"
#include "workflow/richtext/document_empty.h"
#include "workflow/richtext/rtf_reader.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"
#include "faximage/mono_bitmap.h"
#include "faximage/unpack_engine.h"
#include "faxlog/dbe_engine.h"
#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <QBuffer>
#include <QImage>
#include <QTextImageFormat>
#include <QUrl>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace workflow::render;
using namespace workflow::richtext;
using namespace workflow::testing;
namespace fs = std::filesystem;

namespace {

// One paragraph per entry; an entry starting with '\f' begins a new page.
void fill(QTextDocument& doc, const QStringList& paragraphs) {
    doc.clear();
    QTextCursor c(&doc);
    bool first = true;
    for (QString p : paragraphs) {
        QTextBlockFormat f;
        if (p.startsWith(u'\f')) {
            f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            p.remove(0, 1);
        }
        if (!first)
            c.insertBlock();
        c.setBlockFormat(f);
        QTextCharFormat cf;
        cf.setFontFamilies(QStringList{"Arial"});
        cf.setFontPointSize(12);
        c.insertText(p, cf);
        first = false;
    }
}

int pageCount(const fs::path& apf) {
    faximage::ApfReader r;
    EXPECT_EQ(r.open(apf), 0) << apf;
    return r.pageCount();
}

faximage::MonoBitmap pageRaster(const fs::path& apf, int page) {
    faximage::MonoBitmap raster;
    faximage::ApfPageHeader header;
    EXPECT_EQ(faximage::unpackPageToRaster(apf, page, raster, header), 0);
    EXPECT_TRUE(header.highResolution());
    return raster;
}

struct Ink {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
};
// Where the black pixels are, leaving out the corner mark.
Ink inkOf(const faximage::MonoBitmap& r) {
    Ink ink;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            if (r.isBlack(x, y) && !(x == kPageWidthPixels - 5 && y == kPageHeightPixels - 5)) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(DocumentEmpty, BlankLinesShortOfTheLengthLimitAreEmpty) {
    QTextDocument doc;
    EXPECT_TRUE(isDocumentEmpty(doc));
    fill(doc, {"   ", "", "     "});
    EXPECT_TRUE(isDocumentEmpty(doc));
    fill(doc, {QString(255, u' ')});
    EXPECT_TRUE(isDocumentEmpty(doc));
    fill(doc, {QString(256, u' ')});
    EXPECT_FALSE(isDocumentEmpty(doc)) << "256 characters are never empty";
    fill(doc, {" ", "\t"});
    EXPECT_FALSE(isDocumentEmpty(doc)) << "only the space character is trimmed";
    // Text after line 201 is not looked at (and the whole is shorter than 256).
    QStringList lines;
    for (int i = 0; i < 201; ++i)
        lines << "";
    lines << "x";
    fill(doc, lines);
    EXPECT_TRUE(isDocumentEmpty(doc));
    lines.removeAt(0);
    fill(doc, lines);
    EXPECT_FALSE(isDocumentEmpty(doc));
}

TEST(FaxFileNames, FirstFreeNumberAndTheFallback) {
    TempDir dir;
    EXPECT_EQ(firstFreeFaxFile(dir.path), dir.path / "PVN_1.APF");
    writeFile(dir.path / "PVN_1.APF", "left over");
    writeFile(dir.path / "PVN_3.APF", "left over");
    EXPECT_EQ(firstFreeFaxFile(dir.path), dir.path / "PVN_2.APF");
    for (int n = 1; n <= kMaxFaxFileNumber; ++n)
        writeFile(dir.path / ("PVN_" + std::to_string(n) + ".APF"), "");
    EXPECT_EQ(firstFreeFaxFile(dir.path), dir.path / "PVN1.APF");
    EXPECT_EQ(pageFile(dir.path, 12), dir.path / "PVNFX12.APF");
}

TEST(FaxBuild, CoverPagesComeFirstAndOnlyTheFaxFileRemains) {
    TempDir dir;
    writeFile(dir.path / "PVN_1.APF", "left over from an earlier run");
    writeFile(dir.path / "PVNFX2.APF", "stale page file");
    QTextDocument cover, body;
    fill(cover, {"COVER SHEET"});
    fill(body, {"Body page one", "\fBody page two"});
    std::vector<QString> statuses;
    BuildFeedback feedback;
    feedback.setStatus = [&](const QString& s) { statuses.push_back(s); };
    const BuildResult built = buildFaxFile(cover, body, dir.path, feedback);
    EXPECT_EQ(built.file, dir.path / "PVN_2.APF");
    EXPECT_EQ(built.pageCount, 3);
    EXPECT_EQ(pageCount(built.file), 3);
    EXPECT_EQ(filesIn(dir.path), (std::vector<fs::path>{"PVN_1.APF", "PVN_2.APF"}))
        << "page files and the page bitmap are gone";
    EXPECT_EQ(statuses.back(), QString());

    // Pages in order: the cover's ink is one short line, the body's pages follow.
    const Ink coverInk = inkOf(pageRaster(built.file, 1));
    const Ink second = inkOf(pageRaster(built.file, 2));
    const Ink third = inkOf(pageRaster(built.file, 3));
    EXPECT_LT(coverInk.bottom - coverInk.top, 60);
    EXPECT_GT(second.right, 0);
    EXPECT_GT(third.right, 0);
    EXPECT_LT(second.top, 100);
    EXPECT_LT(third.top, 100) << "the page break puts page two's text at the top";
}

TEST(FaxBuild, EmptyCoverAndTwoPageBody) {
    TempDir dir;
    QTextDocument cover, body;
    fill(cover, {"  ", ""});
    fill(body, {"One", "\fTwo"});
    std::vector<fs::path> pages;
    renderDocument(body, dir.path, pages);
    EXPECT_EQ(pages, (std::vector<fs::path>{dir.path / "PVN_1.APF", dir.path / "PVNFX2.APF"}));
    for (const auto& p : pages)
        fs::remove(p);

    const BuildResult built = buildFaxFile(cover, body, dir.path);
    EXPECT_EQ(built.file, dir.path / "PVN_1.APF");
    EXPECT_EQ(pageCount(built.file), 2);
    EXPECT_FALSE(fs::exists(dir.path / "PVNFX2.APF"));
}

TEST(FaxBuild, NothingToRenderSaysSo) {
    TempDir dir;
    QTextDocument cover, body;
    fill(body, {"   "});
    QString message;
    bool busy = true;
    BuildFeedback feedback;
    feedback.showMessage = [&](const QString& m) { message = m; };
    feedback.setBusy = [&](bool b) { busy = b; };
    const BuildResult built = buildFaxFile(cover, body, dir.path, feedback);
    EXPECT_TRUE(built.file.empty());
    EXPECT_EQ(message, "Fax has no contents or cover sheet");
    EXPECT_FALSE(busy);
    EXPECT_TRUE(filesIn(dir.path).empty());
}

TEST(PageRender, BlankPageIsFullLengthWithTheCornerMark) {
    TempDir dir;
    QTextDocument doc; // an empty document still gives one page
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    ASSERT_EQ(pages.size(), 1u);
    const faximage::MonoBitmap r = pageRaster(pages[0], 1);
    EXPECT_EQ(r.height(), kPageHeightPixels);
    EXPECT_TRUE(r.isBlack(1659, 2151));
    EXPECT_EQ(inkOf(r).right, -1) << "nothing else is black";
}

TEST(PageRender, TextStartsAtTheMarginAndWrapsInsideIt) {
    TempDir dir;
    QTextDocument doc;
    QString longLine;
    for (int i = 0; i < 60; ++i)
        longLine += "Wrapping words fill the line ";
    fill(doc, {"HHHH top left", longLine});
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    ASSERT_EQ(pages.size(), 1u);
    const Ink ink = inkOf(pageRaster(pages[0], 1));
    // The letter H has a vertical stem at its left edge; Arial's side bearing is a few pixels.
    EXPECT_GE(ink.left, kPageMarginPixels);
    EXPECT_LE(ink.left, kPageMarginPixels + 8);
    EXPECT_GE(ink.top, kPageMarginPixels);
    EXPECT_LE(ink.top, kPageMarginPixels + 20);
    // The editor's page has 7.5 inches of text width; lines wrap inside it.
    EXPECT_LE(ink.right, kPageMarginPixels + 1500);
    EXPECT_GT(ink.right, kPageMarginPixels + 1300);
}

// A black square of one inch (96 units) comes out as one inch across and down on the fine
// fax page: about 204 dots wide and 196 lines high, not the square of pixels a square grid
// would paint.
TEST(PageRender, ASquareStaysSquareOnTheFaxPage) {
    TempDir dir;
    QTextDocument doc;
    QImage square(96, 96, QImage::Format_RGB32);
    square.fill(Qt::black);
    doc.addResource(QTextDocument::ImageResource, QUrl("square.png"), square);
    QTextCursor cursor(&doc);
    QTextImageFormat image;
    image.setName("square.png");
    image.setWidth(96);
    image.setHeight(96);
    cursor.insertImage(image);
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    ASSERT_EQ(pages.size(), 1u);
    const faximage::MonoBitmap r = pageRaster(pages[0], 1);
    const Ink ink = inkOf(r);
    EXPECT_NEAR(ink.right - ink.left + 1, 204, 2);
    EXPECT_NEAR(ink.bottom - ink.top + 1, 196, 2);
}

TEST(PageRender, LongDocumentsBreakBetweenLinesAndKeepEveryLine) {
    TempDir dir;
    QTextDocument doc;
    QStringList lines;
    for (int i = 1; i <= 120; ++i)
        lines << QString("Line %1").arg(i);
    fill(doc, lines);
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    EXPECT_EQ(pages.size(), 3u); // about 50 lines of 12 pt on a page of 10 inches
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const Ink ink = inkOf(pageRaster(pages[i], 1));
        EXPECT_LE(ink.bottom, kPageMarginPixels + 2000) << "page " << i + 1;
    }
}

TEST(ApfJoin, PagesAreCopiedByteForByteAndMissingFilesRaiseCodeTwo) {
    TempDir dir;
    QTextDocument a, b;
    fill(a, {"first", "\fsecond"});
    fill(b, {"third"});
    std::vector<fs::path> pages;
    renderDocument(a, dir.path, pages);
    renderDocument(b, dir.path, pages);
    ASSERT_EQ(pages.size(), 3u);
    const std::string first = readFile(pages[0]);
    const std::string appended =
        readFile(pages[1]).substr(faximage::kApfFileHeaderSize) + readFile(pages[2]).substr(faximage::kApfFileHeaderSize);
    const fs::path joined = joinPageFiles(pages);
    EXPECT_EQ(pageCount(joined), 3);
    const std::string all = readFile(joined);
    EXPECT_TRUE(all.substr(faximage::kApfFileHeaderSize) == first.substr(faximage::kApfFileHeaderSize) + appended)
        << "pages copied byte for byte";
    EXPECT_FALSE(fs::exists(pages[1]));
    EXPECT_FALSE(fs::exists(pages[2]));

    try {
        appendApfPages(joined, dir.path / "missing.APF");
        ADD_FAILURE() << "no error";
    } catch (const faximage::EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
    }
    writeFile(dir.path / "bogus.APF", std::string(100, 'x'));
    EXPECT_THROW(appendApfPages(joined, dir.path / "bogus.APF"), faximage::EVelkException);
    EXPECT_EQ(pageCount(joined), 3) << "a failed append leaves the file as it was";
}

TEST(MemoRichText, SaveAndLoadThroughTheSentTable) {
    TempDir dir;
    faxlog::DbeEngine engine;
    faxlog::TDbeTable sent(engine);
    std::string error;
    ASSERT_TRUE(faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, dir.path, &error)) << error;
    QTextDocument doc;
    fill(doc, {"Memo body", "\fafter break"});
    sent.appendBlank();
    saveRichText(doc, sent, "RTFDOC", dir.path);
    sent.replaceMemo("RTFCOVER", "plain words, not rich text");
    sent.commit();
    EXPECT_TRUE(fs::exists(dir.path / "Eraseme.rtf")) << "kept after a save";

    QTextDocument back;
    EXPECT_EQ(loadRichText(back, sent, "RTFDOC", dir.path).status, RtfReadStatus::Ok);
    EXPECT_EQ(back.toPlainText(), "Memo body\nafter break");
    EXPECT_TRUE(back.lastBlock().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_FALSE(fs::exists(dir.path / "Eraseme.rtf")) << "deleted after a load";

    QTextDocument cover;
    const RtfReadResult r = loadRichText(cover, sent, "RTFCOVER", dir.path);
    EXPECT_EQ(r.status, RtfReadStatus::NotRtf);
    EXPECT_EQ(cover.toPlainText(), "plain words, not rich text");

    QTextDocument c2, b2;
    const BuildResult built = buildFaxFile(sent, c2, b2, dir.path);
    EXPECT_EQ(built.pageCount, 3); // the text cover, then two body pages
}

TEST(ViewPreparation, HeaderTextsAndAMissingFile) {
    TempDir dir;
    fs::create_directories(dir.path / "receive");
    writeFile(dir.path / "receive" / "FAX0001.APF", "x");
    const ViewRequest received =
        prepareReceivedView(dir.path, {"  ACME Corp  ", "03/04/2026 at 09:05", "FAX0001.APF"});
    ASSERT_TRUE(received.ok());
    EXPECT_EQ(received.file, dir.path / "receive" / "FAX0001.APF");
    EXPECT_FALSE(received.deleteAfterViewing);
    EXPECT_EQ(received.headerText,
              "From: ACME Corp             Received: 03/04/2026 at 09:05             Fax File: " +
                  QString::fromStdString((dir.path / "Receive" / "FAX0001.APF").string()).toLower());
    EXPECT_EQ(prepareReceivedView(dir.path, {"x", "y", "FAX0002.APF"}).error, "Fax file is missing");

    const ViewRequest sent = prepareSentView({dir.path / "PVN_1.APF", 2}, {"Bob", "Invoice", "not sent"});
    EXPECT_EQ(sent.headerText, "To: Bob             Subject: Invoice             Sent: not sent");
    EXPECT_TRUE(sent.deleteAfterViewing);
    EXPECT_EQ(prepareSentView({}, {"Bob", "Invoice", "not sent"}).error, "Error creating fax file");
}

TEST(BadInput, AHugePictureGivesAPageNotACrash) {
    TempDir dir;
    // A 10 MB PNG of noise (noise does not compress).
    QImage noise(1800, 1800, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = (seed = seed * 1664525u + 1013904223u);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    noise.save(&buffer, "PNG", 0);
    ASSERT_GT(png.size(), 9 << 20);
    const std::string rtf = "{\\rtf1 Picture:{\\pict\\pngblip\\picwgoal14400\\pichgoal14400 " +
                            png.toHex().toStdString() + "}\\par after\\par}";
    QTextDocument doc;
    readRtf(rtf, doc);
    EXPECT_TRUE(doc.toPlainText().startsWith("Picture:"));
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    EXPECT_GE(pages.size(), 1u);
    EXPECT_LE(pages.size(), 3u);
}

TEST(CliConvert, AnRtfFileBecomesAFineApfFile) {
    TempDir dir;
    const fs::path out = dir.path / "letter.apf";
    int status = 0;
    const std::string said = runCommand(std::string(PARVANE_CLI) + " convert '" +
                                            richTextData("lo_letter.rtf").string() + "' '" + out.string() + "' 2>&1",
                                        &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(pageCount(out), 2) << "the page break in the letter starts page two";
    const faximage::MonoBitmap first = pageRaster(out, 1);
    const Ink ink = inkOf(first);
    EXPECT_GE(ink.left, kPageMarginPixels);
    EXPECT_GE(ink.top, kPageMarginPixels);
    EXPECT_TRUE(first.isBlack(1659, 2151));
    EXPECT_EQ(filesIn(dir.path), (std::vector<fs::path>{"letter.apf"})) << "no work files left";

    writeFile(dir.path / "broken.rtf", "{\\rtf1 {{{ cut off");
    runCommand(std::string(PARVANE_CLI) + " convert '" + (dir.path / "broken.rtf").string() + "' '" +
                   (dir.path / "broken.apf").string() + "' 2>&1",
               &status);
    EXPECT_EQ(status, 0) << "a best-effort page";
    EXPECT_EQ(pageCount(dir.path / "broken.apf"), 1);
}

TEST(PageRender, ABreakBeforeTheFirstParagraphMakesNoBlankPage) {
    TempDir dir;
    QTextDocument doc;
    fill(doc, {"\fFirst", "\fSecond", "\f", "\fFourth"});
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    ASSERT_EQ(pages.size(), 4u) << "an empty paragraph with a break still is a page";
    EXPECT_GT(inkOf(pageRaster(pages[0], 1)).right, 0);
    EXPECT_EQ(inkOf(pageRaster(pages[2], 1)).right, -1);
    EXPECT_GT(inkOf(pageRaster(pages[3], 1)).right, 0);
}

TEST(BadInput, WildIndentsAndSizesStayWithinBounds) {
    TempDir dir;
    std::string words;
    for (int i = 0; i < 200; ++i)
        words += "word ";
    QTextDocument doc;
    readRtf("{\\rtf1\\li2147483647\\ri-2147483648\\fi-99999 " + words +
                "\\par\\pard\\sb99999999\\fs99999 X\\par\\pard\\sl-2000000000 tight\\par}",
            doc);
    std::vector<fs::path> pages;
    renderDocument(doc, dir.path, pages);
    EXPECT_GE(pages.size(), 1u);
    EXPECT_LE(pages.size(), 60u);
}

TEST(PageRender, GreyPicturesAreDitheredBlackAndWhiteStayPure) {
    QImage grey(kPageWidthPixels, kPageHeightPixels, QImage::Format_Grayscale8);
    grey.fill(255);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            grey.scanLine(y)[x] = 0;         // black square
            grey.scanLine(y)[x + 100] = 128; // mid grey
            grey.scanLine(y)[x + 200] = 224; // light grey
        }
    faximage::MonoBitmap page(kPageWidthPixels, kPageHeightPixels);
    rasterToPageBitmap(grey, page);
    auto blackShare = [&](int left) {
        int n = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = left; x < left + 64; ++x)
                n += page.isBlack(x, y);
        return n / 4096.0;
    };
    EXPECT_EQ(blackShare(0), 1.0);
    EXPECT_NEAR(blackShare(100), 0.5, 0.07);
    EXPECT_NEAR(blackShare(200), 0.125, 0.07);
    EXPECT_EQ(blackShare(300), 0.0);
    EXPECT_TRUE(page.isBlack(1659, 2151));
}
