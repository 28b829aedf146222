// WMF and EMF pictures: drawn like LibreOffice draws the same bytes, and damaged data
// never read beyond its record.
#include "metafile_builder.h"
#include "rich_test_support.h"

#include "workflow/richtext/metafile_player.h"
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace workflow::richtext;
using namespace workflow::testing;

namespace {

// The test picture: 192 x 96 logical units (two inches by one at 96 per inch).
constexpr int kW = 192, kH = 96;

QImage checker() {
    QImage image(8, 8, QImage::Format_Mono);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, (x / 2 + y / 2) % 2);
    return image;
}

QByteArray shapesWmf() {
    WmfBuilder b;
    b.record(0x020B, {0, 0});             // window origin (y, x)
    b.record(0x020C, {kH, kW});           // window extent
    b.createObject(0x02FA, {0, 2, 0, 0, 0}); // 0: black pen, 2 wide
    b.createObject(0x02FC, {1, 0, 0, 0});    // 1: null brush
    b.createObject(0x02FC, {0, 0, 0, 0});    // 2: black brush
    b.createObject(0x02FA, {0, 6, 0, 0, 0}); // 3: pen 6 wide
    b.record(0x012D, {0});
    b.record(0x012D, {1});
    b.record(0x041B, {kH - 1, kW - 1, 1, 1}); // frame (bottom, right, top, left)
    b.record(0x012D, {2});
    b.record(0x041B, {50, 70, 10, 10});
    b.record(0x012D, {3});
    b.record(0x012D, {1});
    b.record(0x0418, {60, 170, 10, 90}); // ellipse
    b.record(0x012D, {2});
    b.record(0x0324, {3, 10, 90, 50, 60, 90, 90});
    QByteArray dib;
    put32(dib, 0x00CC0020); // SRCCOPY
    for (int w : {0, 8, 8, 0, 0, 24, 60, 66, 120})
        put16(dib, w);
    dib.append(packedDib(checker()));
    b.record(0x0F43, dib);
    return b.finish();
}

QByteArray shapesEmf() {
    EmfBuilder b;
    b.record(38, {1, 0, 2, 0, 0}); // pen
    b.record(39, {2, 1, 0, 0});    // null brush
    b.record(39, {3, 0, 0, 0});    // black brush
    b.record(38, {4, 0, 6, 0, 0}); // thick pen
    b.record(37, {1});
    b.record(37, {2});
    b.record(43, {1, 1, kW - 1, kH - 1});
    b.record(37, {3});
    b.record(43, {10, 10, 70, 50});
    b.record(37, {4});
    b.record(37, {2});
    b.record(42, {90, 10, 170, 60});
    b.record(37, {3});
    QByteArray poly;
    for (int v : {10, 60, 90, 90, 3})
        put32(poly, v);
    for (int v : {10, 90, 50, 60, 90, 90})
        put16(poly, v);
    b.record(86, poly);
    const QByteArray dib = packedDib(checker());
    QByteArray blit;
    for (int v : {120, 66, 180, 90})
        put32(blit, v); // bounds
    for (std::int64_t v : {std::int64_t{120}, std::int64_t{66}, std::int64_t{0}, std::int64_t{0}, std::int64_t{8}, std::int64_t{8},
                           std::int64_t{80}, std::int64_t{48}, std::int64_t{128}, std::int64_t{dib.size() - 48},
                           std::int64_t{0}, std::int64_t{0x00CC0020}, std::int64_t{60}, std::int64_t{24}})
        put32(blit, v);
    blit.append(dib);
    b.record(81, blit);
    return b.finish(kW, kH, 5);
}

std::string pictRtf(const char* kind, const QByteArray& data) {
    return std::string("{\\pict\\") + kind + "\\picw5080\\pich2540\\picwgoal2880\\pichgoal1440\n" +
           data.toHex().toStdString() + "}";
}

std::vector<QImage> pictures(const QTextDocument& doc) {
    std::vector<QImage> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out.push_back(doc.resource(QTextDocument::ImageResource,
                                           QUrl(it.fragment().charFormat().toImageFormat().name()))
                                  .value<QImage>());
    return out;
}

bool ink(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

QRect inkBounds(const QImage& image, QRect within) {
    QRect r;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (ink(image, x, y))
                r |= QRect(x, y, 1, 1);
    return r;
}

// Ink share of each cell of a grid laid over the region.
std::vector<double> inkGrid(const QImage& image, QRect region, int columns, int rows) {
    std::vector<double> grid;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int x0 = region.left() + region.width() * c / columns, x1 = region.left() + region.width() * (c + 1) / columns;
            const int y0 = region.top() + region.height() * r / rows, y1 = region.top() + region.height() * (r + 1) / rows;
            int n = 0, black = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x, ++n)
                    black += ink(image, x, y);
            grid.push_back(n ? double(black) / n : 0);
        }
    return grid;
}

void expectSameInk(const QImage& ours, QRect ourRegion, const QImage& theirs, QRect theirRegion, const char* what) {
    const auto a = inkGrid(ours, ourRegion, 8, 4), b = inkGrid(theirs, theirRegion, 8, 4);
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], 0.12) << what << " cell " << i % 8 << "," << i / 8;
}

// The page LibreOffice makes of the RTF, at 204 dots per inch.
QImage libreOfficePage(const TempDir& dir, const std::string& rtf) {
    writeFile(dir.path / "pictures.rtf", rtf);
    int status = 0;
    runCommand("cd '" + dir.path.string() + "' && HOME='" + dir.path.string() +
                   "' timeout 180 soffice --headless --convert-to pdf pictures.rtf >/dev/null 2>&1 && "
                   "pdftoppm -r 204 -gray -f 1 -l 1 pictures.pdf page >/dev/null 2>&1",
               &status);
    EXPECT_EQ(status, 0);
    for (const auto& name : {"page-1.pgm", "page-01.pgm", "page-001.pgm"})
        if (std::filesystem::exists(dir.path / name))
            return QImage(QString::fromStdString((dir.path / name).string()));
    ADD_FAILURE() << "LibreOffice gave no page";
    return {};
}

// The ink of the pictures on a page, top to bottom: separated by rows without ink.
std::vector<QRect> inkBands(const QImage& page) {
    std::vector<QRect> bands;
    QRect current;
    for (int y = 0; y < page.height(); ++y) {
        const QRect line = inkBounds(page, QRect(0, y, page.width(), 1));
        if (line.isValid())
            current |= line;
        else if (current.isValid())
            bands.push_back(current), current = {};
    }
    if (current.isValid())
        bands.push_back(current);
    return bands;
}

} // namespace

TEST(MetafilePictures, DrawnAsLibreOfficeDrawsTheSameRecords) {
    const bool haveOffice = requireProgram("soffice");
    const bool havePdftoppm = requireProgram("pdftoppm");
    const std::string rtf = "{\\rtf1\\ansi " + pictRtf("wmetafile8", shapesWmf()) + "\\par\\par " +
                            pictRtf("emfblip", shapesEmf()) + "\\par}";
    QTextDocument doc;
    const RtfReadResult r = readRtf(rtf, doc);
    EXPECT_EQ(r.skippedPictures, 0);
    const auto ours = pictures(doc);
    ASSERT_EQ(ours.size(), 2u);
    for (const QImage& image : ours) {
        EXPECT_EQ(image.size(), QSize(408, 204)); // two inches by one at 204 per inch
        // The frame reaches all four edges.
        EXPECT_EQ(inkBounds(image, image.rect()).adjusted(-4, -4, 4, 4).contains(image.rect()), true);
        EXPECT_TRUE(ink(image, 80, 60));    // inside the black rectangle
        EXPECT_FALSE(ink(image, 275, 75));  // inside the ellipse's ring
        EXPECT_TRUE(ink(image, 106, 180));  // the triangle
    }
    // Written back as PNG pictures of the same size.
    const QByteArray written = writeRtf(doc);
    EXPECT_EQ(written.count("\\pngblip"), 2);
    EXPECT_FALSE(written.contains("metafile") || written.contains("emfblip"));
    QTextDocument back;
    readRtf(std::string(written.constData(), static_cast<std::size_t>(written.size())), back);
    const auto again = pictures(back);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1], ours[1]);
    if (!haveOffice || !havePdftoppm)
        return;
    TempDir dir;
    const QImage page = libreOfficePage(dir, rtf);
    ASSERT_FALSE(page.isNull());
    const auto bands = inkBands(page);
    ASSERT_EQ(bands.size(), 2u) << "one band of ink per picture";
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(bands[i].width(), 408, 8) << i;
        EXPECT_NEAR(bands[i].height(), 204, 8) << i;
        expectSameInk(ours[i], inkBounds(ours[i], ours[i].rect()), page, bands[i], i ? "EMF" : "WMF");
    }
}

TEST(MetafilePictures, LibreOfficeMetafileOfADrawing) {
    // LibreOffice writes an SVG picture into RTF as a WMF of its own making (a bitmap
    // record with the drawing, escapes around it). The drawing has a white ground: its
    // own PDF export shows a transparent one black.
    if (!requireProgram("soffice") || !requireProgram("pdftoppm"))
        return;
    TempDir dir;
    const std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='400' height='200' viewBox='0 0 400 200'>"
        "<rect width='400' height='200' fill='white'/><rect x='2' y='2' width='396' height='196' fill='none' stroke='black' stroke-width='4'/>"
        "<rect x='20' y='20' width='120' height='80' fill='black'/>"
        "<ellipse cx='270' cy='60' rx='60' ry='40' fill='none' stroke='black' stroke-width='10'/>"
        "<polygon points='40,180 120,120 200,180' fill='black'/></svg>";
    // LibreOffice knows a flat document by its declaration written with double quotes.
    const std::string fodt =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text><text:p>
<draw:frame draw:name="g" text:anchor-type="as-char" svg:width="2in" svg:height="1in">
<draw:image draw:mime-type="image/svg+xml"><office:binary-data>)" +
        QByteArray::fromStdString(svg).toBase64().toStdString() +
        R"(</office:binary-data></draw:image></draw:frame></text:p></office:text></office:body></office:document>
)";
    writeFile(dir.path / "drawing.fodt", fodt);
    int status = 0;
    runCommand("cd '" + dir.path.string() + "' && HOME='" + dir.path.string() +
                   "' timeout 180 soffice --headless --convert-to rtf drawing.fodt >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    const std::string rtf = readFile(dir.path / "drawing.rtf");
    ASSERT_NE(rtf.find("\\wmetafile8"), std::string::npos) << "LibreOffice wrote no WMF";
    ASSERT_EQ(rtf.find("\\pngblip"), std::string::npos);

    QTextDocument doc;
    EXPECT_EQ(readRtf(rtf, doc).skippedPictures, 0);
    const auto ours = pictures(doc);
    ASSERT_EQ(ours.size(), 1u);
    const QImage page = libreOfficePage(dir, rtf);
    const auto bands = inkBands(page);
    ASSERT_EQ(bands.size(), 1u);
    const QRect ourInk = inkBounds(ours[0], ours[0].rect());
    EXPECT_NEAR(ourInk.width(), bands[0].width(), 10);
    EXPECT_NEAR(ourInk.height(), bands[0].height(), 10);
    expectSameInk(ours[0], ourInk, page, bands[0], "LibreOffice WMF");
}

TEST(MetafilePlayer, TextMappingModesAndSavedStates) {
    // EMF text: ExtTextOutW with its reference point at the top left.
    EmfBuilder e;
    e.record(22, {0}); // TA_TOP | TA_LEFT
    QByteArray font;
    for (std::int64_t v : {1, -40, 0, 0, 0, 700})
        put32(font, v);
    font.append(QByteArray(8, '\0'));
    for (QChar c : QStringLiteral("Liberation Sans"))
        put16(font, c.unicode());
    font.append(QByteArray(64 - 30, '\0'));
    e.record(82, font);
    e.record(37, {1});
    QByteArray text;
    for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0, 10, 10, 3, 76, 0, 0, 0, 0, 0, 0})
        put32(text, v);
    for (QChar c : QStringLiteral("FAX"))
        put16(text, c.unicode());
    e.record(84, text);
    // A mapping mode set inside a saved state ends with it; objects selected before stay.
    e.record(37, {0x80000004}); // stock black brush
    e.record(37, {0x80000008}); // stock null pen
    e.record(33, QByteArray());
    e.record(17, {3}); // HIMETRIC: y grows upward
    e.record(34, {-1});
    e.record(43, {150, 60, 190, 94}); // MM_TEXT again: the bottom right corner
    const MetafileResult emf = playMetafile(MetafileKind::Emf, e.finish(kW, kH, 2), QSize(kW, kH));
    ASSERT_FALSE(emf.image.isNull());
    EXPECT_EQ(emf.skippedRecords, 0);
    const QRect textInk = inkBounds(emf.image, QRect(0, 0, 120, 60));
    EXPECT_NEAR(textInk.left(), 10, 3);
    EXPECT_NEAR(textInk.top(), 10 + 40 * 0.1, 6) << "cap height below the top";
    EXPECT_GT(textInk.width(), 50);
    EXPECT_TRUE(ink(emf.image, 170, 80));
    EXPECT_FALSE(ink(emf.image, 140, 80));

    // WMF with a placeable header and a window whose y axis points up.
    WmfBuilder w;
    w.record(0x0103, {8});          // MM_ANISOTROPIC
    w.record(0x020B, {1000, 0});    // window origin y = 1000
    w.record(0x020C, {-1000, 2000}); // extent: y upward
    w.createObject(0x02FC, {0, 0, 0, 0});
    w.createObject(0x02FA, {5, 0, 0, 0, 0}); // null pen
    w.record(0x012D, {0});
    w.record(0x012D, {1});
    w.record(0x041B, {900, 1000, 1000, 0}); // the top tenth, left half
    w.record(0x001E, QByteArray());
    w.record(0x0999, {1, 2, 3}); // unknown: skipped
    QByteArray placeable;
    put32(placeable, 0x9AC6CDD7);
    for (int v : {0, 0, 0, 2000, 1000, 1000, 0, 0, 0})
        put16(placeable, v);
    const MetafileResult wmf = playMetafile(MetafileKind::Wmf, placeable + w.finish(), QSize(200, 100));
    ASSERT_FALSE(wmf.image.isNull());
    EXPECT_EQ(wmf.skippedRecords, 1);
    EXPECT_EQ(inkBounds(wmf.image, wmf.image.rect()), QRect(0, 0, 100, 10));
}

TEST(MetafilePlayer, DamagedDataNeverReadsBeyondItsRecord) {
    const QByteArray wmf = shapesWmf(), emf = shapesEmf();
    // Every cut: what was whole before the cut is drawn, nothing else is read.
    for (qsizetype cut = 0; cut < wmf.size(); cut += 3)
        playMetafile(MetafileKind::Wmf, wmf.left(cut), QSize(48, 24));
    for (qsizetype cut = 0; cut < emf.size(); cut += 3)
        playMetafile(MetafileKind::Emf, emf.left(cut), QSize(48, 24));

    // Counts larger than the record, objects that do not exist, a bitmap claiming to be
    // enormous, a record longer than the file.
    WmfBuilder w;
    w.record(0x020C, {kH, kW});
    w.createObject(0x02FC, {0, 0, 0, 0});
    w.record(0x012D, {0});
    w.record(0x0324, {30000, 10, 10, 20, 20});      // polygon of 30000 points, two given
    w.record(0x0538, {2, 3, 40000, 0, 0, 1, 1, 2, 2}); // polypolygon counts beyond the data
    w.record(0x012D, {500});                        // select a slot that does not exist
    w.record(0x01F0, {500});
    w.record(0x0A32, {10, 10, 9000, 0, 'a'});        // text longer than its record
    QByteArray bigDib;
    put32(bigDib, 0x00CC0020);
    for (int v : {0, 8, 8, 0, 0, 24, 60, 66, 120})
        put16(bigDib, v);
    QByteArray header = packedDib(checker());
    header[4] = header[5] = header[6] = '\x7f'; // 8 million pixels wide, bits for 8
    bigDib.append(header);
    w.record(0x0F43, bigDib);
    w.record(0x041B, {50, 70, 10, 10}); // still drawn after all that
    QByteArray bad = w.finish();
    const MetafileResult r = playMetafile(MetafileKind::Wmf, bad, QSize(kW, kH));
    ASSERT_FALSE(r.image.isNull());
    EXPECT_TRUE(ink(r.image, 30, 30)) << "the rectangle after the damaged records";
    EXPECT_GE(r.skippedRecords, 3);

    bad.chop(6); // in place of the end record: a rectangle record claiming a megabyte
    bad.append("\x00\x00\x08\x00\x1b\x04", 6);
    EXPECT_TRUE(ink(playMetafile(MetafileKind::Wmf, bad, QSize(kW, kH)).image, 30, 30));

    EmfBuilder e;
    e.record(86, {0, 0, 10, 10, 1000000}); // polygon16 with a million points, none given
    e.record(91, {0, 0, 10, 10, 2, 4, 3, 0x7fffffff});
    e.record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 100000, 0x7ffffff0, 0, 0, 0, 0, 0, 0});
    e.record(81, {0, 0, 1, 1, 0, 0, 0, 0, 8, 8, 0x7ffffff0, 48, 80, 8, 0, 0x00CC0020, 8, 8});
    e.record(81, {0, 0, 1, 1, 0, 0, 0x30303030, 0x30303030, 0x69636578, 0x69636578, 80, 40, 120, 8, 0, 0x00CC0020,
                  8, 8}); // a source far outside any bitmap
    e.record(37, {0x80000004});
    e.record(43, {10, 10, 70, 50});
    const MetafileResult er = playMetafile(MetafileKind::Emf, e.finish(kW, kH, 1), QSize(kW, kH));
    ASSERT_FALSE(er.image.isNull());
    EXPECT_EQ(er.skippedRecords, 5);
    EXPECT_TRUE(ink(er.image, 30, 30));

    EXPECT_TRUE(playMetafile(MetafileKind::Emf, QByteArray("not a metafile"), QSize(10, 10)).image.isNull());
    EXPECT_TRUE(imageFromDib(QByteArray(39, '\x28')).isNull());
}

TEST(MetafilePictures, PicturesThatCannotBeDrawnBecomeFramedBoxes) {
    QTextDocument doc;
    // 10 MB of picture data that is not a PNG, a metafile of garbage, a format we do not
    // draw at all, and a picture with no size given.
    std::string rtf = "{\\rtf1 before{\\pict\\pngblip\\picwgoal1440\\pichgoal720 ";
    rtf.reserve(21u << 20);
    for (int i = 0; i < (10 << 20); ++i)
        rtf += "0123456789abcdef"[i % 16], rtf += "fedcba9876543210"[(i / 16) % 16];
    rtf += "}{\\pict\\wmetafile8\\picwgoal720\\pichgoal720 0100}{\\pict\\macpict 00}{\\pict\\emfblip}after}";
    const RtfReadResult r = readRtf(rtf, doc);
    EXPECT_EQ(r.status, RtfReadStatus::Ok);
    EXPECT_EQ(r.skippedPictures, 4);
    EXPECT_EQ(words(doc.toPlainText()).join(u' '), "beforeafter");
    const auto boxes = pictures(doc);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].size(), QSize(204, 102)); // its goal: an inch by half an inch
    EXPECT_EQ(boxes[1].size(), QSize(102, 102));
    EXPECT_EQ(boxes[3].size(), QSize(204, 204)); // nothing says: an inch square
    for (const QImage& box : boxes) {
        EXPECT_TRUE(ink(box, 0, box.height() / 2) && ink(box, box.width() - 1, box.height() / 2));
        EXPECT_TRUE(ink(box, box.width() / 2, 0) && ink(box, box.width() / 2, box.height() - 1));
    }
}
