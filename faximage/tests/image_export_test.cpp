// Files the unpacker and the exports write, read back by tools nobody here wrote:
// netpbm (PCX, BMP), libtiff's tools and efix (TIFF), poppler (PDF).
#include "faximage/fax_errors.h"
#include "faximage/bmp_writer.h"
#include "faximage/dcx_writer.h"
#include "faximage/pcx_writer.h"
#include "faximage/pdf_export.h"
#include "faximage/tiff_export.h"
#include "faximage/unpack_engine.h"
#include "libtiff_oracle.h"
#include "test_pages.h"
#include "unpack_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace faximage;
using namespace faximage::testing;

namespace {

// A PBM or PPM file (as netpbm and poppler write them) in fax convention; PPM pixels
// count as black when dark.
MonoBitmap readPnm(const std::filesystem::path& p) {
    const Bytes bytes = readFile(p);
    std::size_t at = 0;
    auto word = [&]() {
        std::string w;
        while (at < bytes.size()) {
            const char c = static_cast<char>(bytes[at]);
            if (c == '#') {
                while (at < bytes.size() && bytes[at] != '\n')
                    ++at;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                if (!w.empty())
                    break;
                ++at;
            } else {
                w += c;
                ++at;
            }
        }
        return w;
    };
    const std::string magic = word();
    const int w = std::stoi(word()), h = std::stoi(word());
    const int maxval = magic == "P6" ? std::stoi(word()) : 1;
    ++at;
    MonoBitmap out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (magic == "P4") {
                const std::size_t i = at + static_cast<std::size_t>(y) * ((w + 7) / 8) + x / 8;
                out.setBlack(x, y, (bytes.at(i) >> (7 - x % 8)) & 1);
            } else {
                const std::size_t i = at + (static_cast<std::size_t>(y) * w + x) * 3;
                out.setBlack(x, y, bytes.at(i) + bytes.at(i + 1) + bytes.at(i + 2) < 3 * maxval / 2);
            }
        }
    return out;
}

// The packed page the exports hold: the page cut after its rightmost ink, even bytes.
MonoBitmap packed(const MonoBitmap& page) {
    int right = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.isBlack(x, y))
                right = std::max(right, x / 8 + 1);
    const int bytes = (std::max(right, 1) + 1) & ~1;
    MonoBitmap out(bytes * 8, page.height());
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < std::min(out.width(), page.width()); ++x)
            out.setBlack(x, y, page.isBlack(x, y));
    return out;
}

TEST(ImageExport, PcxDcxAndBmpOpenInNetpbmWithTheSamePixels) {
    TempDir dir;
    // A page with long runs, bytes at and above 0xC0 and ink up to the right edge.
    MonoBitmap page = makePage(PageKind::Mixed, 1728, 300, 9);
    for (int x = 1700; x < 1728; ++x)
        page.setBlack(x, 5, true);
    writeApf(dir / "f.apf", {encodedPage(page, true)});
    const MonoBitmap expected = packed(page);
    UnpackState s;

    ASSERT_EQ(unpackPageToPcx(s, dir / "f.apf", 1, dir / "f.pcx"), 0);
    ASSERT_EQ(run("pcxtoppm '" + (dir / "f.pcx").string() + "' > '" + (dir / "pcx.ppm").string() +
                  "' 2>/dev/null"), 0);
    EXPECT_TRUE(readPnm(dir / "pcx.ppm").samePixels(expected));

    ASSERT_EQ(unpackPageToBmp(s, dir / "f.apf", 1, dir / "f.bmp"), 0);
    ASSERT_EQ(run("bmptopnm '" + (dir / "f.bmp").string() + "' > '" + (dir / "bmp.pnm").string() +
                  "' 2>/dev/null"), 0);
    EXPECT_TRUE(readPnm(dir / "bmp.pnm").samePixels(expected));

    // DCX: the table points at a PCX image that netpbm reads.
    ASSERT_EQ(unpackPageToDcx(s, dir / "f.apf", 1, dir / "f.dcx"), 0);
    const Bytes dcx = readFile(dir / "f.dcx");
    ASSERT_GT(dcx.size(), kDcxHeaderSize);
    EXPECT_EQ(dcx[0] | dcx[1] << 8 | dcx[2] << 16 | dcx[3] << 24, 987654321);
    EXPECT_EQ(dcx[4] | dcx[5] << 8, 4100);
    EXPECT_EQ(dcx[8] | dcx[9] | dcx[10] | dcx[11], 0);
    writeFile(dir / "inner.pcx", Bytes(dcx.begin() + 4100, dcx.end()));
    EXPECT_EQ(readFile(dir / "inner.pcx"), readFile(dir / "f.pcx"));

    // A multi-page DCX keeps every page at its offset.
    DcxWriter w;
    ASSERT_EQ(w.open(dir / "m.dcx"), 0);
    ASSERT_EQ(w.addPage(expected), 0);
    ASSERT_EQ(w.addPage(packed(makePage(PageKind::Text, 1728, 50, 1))), 0);
    ASSERT_EQ(w.close(), 0);
    const Bytes m = readFile(dir / "m.dcx");
    const std::size_t second = m[8] | m[9] << 8 | m[10] << 16 | static_cast<std::size_t>(m[11]) << 24;
    writeFile(dir / "second.pcx", Bytes(m.begin() + static_cast<long>(second), m.end()));
    ASSERT_EQ(run("pcxtoppm '" + (dir / "second.pcx").string() + "' > '" +
                  (dir / "second.ppm").string() + "' 2>/dev/null"), 0);
    EXPECT_EQ(readPnm(dir / "second.ppm").height(), 50);
}

TEST(ImageExport, BmpRefusesPagesTallerThan32767Rows) {
    TempDir dir;
    EXPECT_EQ(writeBmpFile(dir / "tall.bmp", MonoBitmap(16, 32768)), ec::BmpTooBig);
    EXPECT_FALSE(std::filesystem::exists(dir / "tall.bmp"));
    EXPECT_EQ(writeBmpFile(dir / "ok.bmp", MonoBitmap(16, 32767)), 0);
}

TEST(ImageExport, TiffClassFReadsBackInLibtiffToolsAndEfix) {
    TempDir dir;
    const MonoBitmap p1 = makePage(PageKind::Text, 1728, 1100, 1);
    const MonoBitmap p2 = makePage(PageKind::Photo, 1728, 2200, 2);
    const MonoBitmap p3 = makePage(PageKind::Rules, 2048, 400, 3);
    writeApf(dir / "d.apf", {encodedPage(p1, false), encodedPage(p2, true), encodedPage(p3, true)});
    const auto tif = dir / "d.tif";
    ASSERT_EQ(exportApfToTiff(dir / "d.apf", tif), 0);

    const auto pages = readTiffPages(tif);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_TRUE(pages[0].samePixels(p1));
    EXPECT_TRUE(pages[1].samePixels(p2));
    EXPECT_TRUE(pages[2].samePixels(p3));

    ASSERT_EQ(run("tiffinfo '" + tif.string() + "' > '" + (dir / "info.txt").string() + "' 2>&1"), 0);
    const std::string info(reinterpret_cast<const char*>(readFile(dir / "info.txt").data()),
                           readFile(dir / "info.txt").size());
    EXPECT_NE(info.find("CCITT Group 3"), std::string::npos) << info;
    EXPECT_NE(info.find("Resolution: 204, 98"), std::string::npos);
    EXPECT_NE(info.find("Resolution: 204, 196"), std::string::npos);
    EXPECT_NE(info.find("FillOrder: lsb-to-msb"), std::string::npos);

    // tiffcmp against the same pages written by libtiff itself.
    ASSERT_TRUE(writeTiffPages(dir / "ref.tif", {p1}, 1 /* none */, false));
    ASSERT_EQ(exportApfToTiff(dir / "d.apf", dir / "one.tif", 1, 1), 0);
    EXPECT_EQ(run("tiffcmp -t '" + (dir / "ref.tif").string() + "' '" + (dir / "one.tif").string() +
                  "' > /dev/null"), 0);
    EXPECT_EQ(run("tiff2pdf -o '" + (dir / "t2p.pdf").string() + "' '" + tif.string() +
                  "' 2>/dev/null"), 0);

    // efix reads our TIFF and writes the page back out as PBM with the same pixels.
    ASSERT_EQ(run("cd '" + dir.path().string() + "' && efix -i tiffg3 -o pbm -n 'efix%d.pbm' '" +
                  (dir / "one.tif").string() + "' > /dev/null 2>&1"), 0);
    EXPECT_TRUE(readPnm(dir / "efix1.pbm").samePixels(p1));
}

TEST(ImageExport, PdfRendersTheSamePixelsAtTheFaxResolution) {
    TempDir dir;
    const MonoBitmap fine = makePage(PageKind::Mixed, 1728, 600, 4);
    const MonoBitmap standard = makePage(PageKind::BlackLines, 1728, 300, 5);
    const MonoBitmap wide = makePage(PageKind::Text, 2048, 300, 6);
    writeApf(dir / "d.apf", {encodedPage(fine, true), encodedPage(standard, false), encodedPage(wide, true)});
    ASSERT_EQ(exportApfToPdf(dir / "d.apf", dir / "d.pdf"), 0);
    struct Case { int page; int ydpi; const MonoBitmap* expect; };
    for (const Case& c : {Case{1, 196, &fine}, Case{2, 98, &standard}, Case{3, 196, &wide}}) {
        const std::string stem = (dir / ("p" + std::to_string(c.page))).string();
        ASSERT_EQ(run("pdftoppm -f " + std::to_string(c.page) + " -l " + std::to_string(c.page) +
                      " -rx 204 -ry " + std::to_string(c.ydpi) + " -aa no -aaVector no -singlefile '" +
                      (dir / "d.pdf").string() + "' '" + stem + "'"), 0);
        const MonoBitmap got = readPnm(stem + ".ppm");
        EXPECT_TRUE(got.samePixels(*c.expect))
            << "page " << c.page << ": " << got.width() << "x" << got.height();
    }
    EXPECT_EQ(exportApfToPdf(dir / "d.apf", dir / "bad.pdf", 2, 9), ec::FaxBadFormat);
}

} // namespace
