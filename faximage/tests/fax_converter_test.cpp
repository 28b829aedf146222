// The converter end to end: inputs written by netpbm, libtiff or by hand, output decoded
// by libtiff's fax2tiff and compared pixel for pixel.
#include "faximage/apf_file.h"
#include "faximage/fax_converter.h"
#include "libtiff_oracle.h"
#include "test_pages.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

using namespace faximage;
using namespace faximage::testing;
namespace fs = std::filesystem;

namespace {

// What a coded line must show for an image row placed by the converter.
MonoBitmap placed(const MonoBitmap& image, int y, int width, int margin, int centreBytes,
                  bool doubled) {
    MonoBitmap out(width, 1);
    const int scale = doubled ? 2 : 1;
    for (int x = 0; x < image.width(); ++x) {
        if (!image.isBlack(x, y))
            continue;
        for (int k = 0; k < scale; ++k) {
            const int ox = margin + (centreBytes * 8 + x) * scale + k;
            if (ox < width)
                out.setBlack(ox, 0, true);
        }
    }
    return out;
}

void expectPagePlaced(const MonoBitmap& decoded, const MonoBitmap& image, int margin,
                      int centreBytes, bool doubled = false) {
    ASSERT_EQ(decoded.height(), image.height());
    for (int y = 0; y < image.height(); ++y)
        ASSERT_TRUE(rowOf(decoded, y).samePixels(
            placed(image, y, decoded.width(), margin, centreBytes, doubled)))
            << "row " << y;
}

TVelkFaxConverter converter(TFaxInputDocumentType type, const fs::path& in, const fs::path& out) {
    TVelkFaxConverter c;
    c.InputDocumentType = type;
    c.SetDocumentFile(in.string());
    c.OutFileName = out.string();
    return c;
}

int codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return codeFromException(e);
    }
    return 0;
}

} // namespace

// The document-rendering settings: a 1664 x 2156 page, fine, [coYield], margin 50.
TEST(FaxConverter, RenderedPageBitmapFromNetpbm) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Mixed, 1664, 2156, 3);
    writePbm(dir / "p.pbm", page);
    ASSERT_EQ(run("ppmtobmp -bpp 1 '" + (dir / "p.pbm").string() + "' > '" +
                  (dir / "_TMP.BMP").string() + "' 2>/dev/null"),
              0);
    auto c = converter(TFaxInputDocumentType::idBmp, dir / "_TMP.BMP", dir / "PVN_1.APF");
    c.SetOptions(coYield);
    c.Resolution = TFaxResolution::frHigh;
    int yields = 0;
    c.OnYield = [&] { return ++yields > 0; };
    c.ConvertToFile();
    EXPECT_EQ(yields, 1); // once per page

    std::vector<int> records;
    const auto pages = decodeApfWithLibtiff(dir / "PVN_1.APF", dir.path(), &records);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(records[0], 2156); // every row, the last one included
    // 50 white, the 1664 image pixels, 14 white.
    expectPagePlaced(pages[0], page, 50, 0);
    ApfReader r;
    ASSERT_EQ(r.open(dir / "PVN_1.APF"), 0);
    ApfPageInfo info;
    ASSERT_EQ(r.locatePage(1, info), 0);
    EXPECT_EQ(info.header.flags, kApfHighResolution | kApfLengthWords);
}

TEST(FaxConverter, BmpColourDepthsAndPaletteOrder) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Text, 800, 120, 5);
    writePbm(dir / "p.pbm", page);
    // 24-bit black and white: pure black is below every dither threshold except 0,
    // pure white above all of them.
    ASSERT_EQ(run("ppmtobmp -bpp 24 '" + (dir / "p.pbm").string() + "' > '" +
                  (dir / "c.bmp").string() + "' 2>/dev/null"),
              0);
    auto c = converter(TFaxInputDocumentType::idBmp, dir / "c.bmp", dir / "c.apf");
    c.SetOptions(0);
    c.ConvertToFile();
    auto pages = decodeApfWithLibtiff(dir / "c.apf", dir.path());
    ASSERT_EQ(pages.size(), 1u);
    int mismatched = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            mismatched += pages[0].isBlack(50 + x, y) != page.isBlack(x, y);
    // Black pixels where D(x, y) = 0 stay white: one in 256.
    EXPECT_LE(mismatched, page.width() * page.height() / 200);

    // A 1-bit BMP whose palette lists black first must not come out as a negative.
    auto bytes = readFile(dir / "c.bmp");
    ASSERT_EQ(run("ppmtobmp -bpp 1 '" + (dir / "p.pbm").string() + "' > '" +
                  (dir / "m.bmp").string() + "' 2>/dev/null"),
              0);
    bytes = readFile(dir / "m.bmp");
    const std::uint32_t offset = bytes[10] | bytes[11] << 8;
    std::swap_ranges(bytes.begin() + 54, bytes.begin() + 58, bytes.begin() + 58);
    for (std::size_t i = offset; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
    writeFile(dir / "m2.bmp", bytes);
    auto m = converter(TFaxInputDocumentType::idBmp, dir / "m2.bmp", dir / "m2.apf");
    m.SetOptions(0);
    m.ConvertToFile();
    pages = decodeApfWithLibtiff(dir / "m2.apf", dir.path());
    ASSERT_EQ(pages.size(), 1u);
    expectPagePlaced(pages[0], page, 50, 0);
}

TEST(FaxConverter, PcxFromNetpbmCentredAndTooWideRefused) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Rules, 1203, 90, 2); // odd width: padding
    writePbm(dir / "p.pbm", page);
    ASSERT_EQ(run("ppmtopcx '" + (dir / "p.pbm").string() + "' > '" + (dir / "p.pcx").string() +
                  "' 2>/dev/null"),
              0);
    auto c = converter(TFaxInputDocumentType::idPcx, dir / "p.pcx", dir / "p.apf");
    c.Resolution = TFaxResolution::frHigh; // default options: centred
    c.ConvertToFile();
    auto pages = decodeApfWithLibtiff(dir / "p.apf", dir.path());
    ASSERT_EQ(pages.size(), 1u);
    expectPagePlaced(pages[0], page, 50, (1728 - 1203) / 16);

    writePbm(dir / "w.pbm", MonoBitmap(1800, 4));
    ASSERT_EQ(run("ppmtopcx '" + (dir / "w.pbm").string() + "' > '" + (dir / "w.pcx").string() +
                  "' 2>/dev/null"),
              0);
    auto w = converter(TFaxInputDocumentType::idPcx, dir / "w.pcx", dir / "w.apf");
    EXPECT_EQ(codeOf([&] { w.ConvertToFile(); }), -8002);
    EXPECT_FALSE(fs::exists(dir / "w.apf"));
}

TEST(FaxConverter, DcxPagesBecomeApfPages) {
    TempDir dir;
    std::vector<MonoBitmap> images;
    std::vector<std::uint8_t> dcx(4 + 4 * 1024, 0);
    const std::uint32_t magic = 987654321;
    std::memcpy(dcx.data(), &magic, 4);
    for (int i = 0; i < 3; ++i) {
        images.push_back(makePage(i == 1 ? PageKind::Photo : PageKind::Text, 600 + 40 * i, 50 + i, i + 1));
        writePbm(dir / "p.pbm", images.back());
        ASSERT_EQ(run("ppmtopcx '" + (dir / "p.pbm").string() + "' > '" +
                      (dir / "p.pcx").string() + "' 2>/dev/null"),
                  0);
        const auto pcx = readFile(dir / "p.pcx");
        const auto offset = static_cast<std::uint32_t>(dcx.size());
        std::memcpy(dcx.data() + 4 + 4 * i, &offset, 4);
        dcx.insert(dcx.end(), pcx.begin(), pcx.end());
    }
    writeFile(dir / "d.dcx", dcx);
    auto c = converter(TFaxInputDocumentType::idDcx, dir / "d.dcx", dir / "d.apf");
    c.Resolution = TFaxResolution::frHigh;
    c.SetOptions(0);
    c.ConvertToFile();
    const auto pages = decodeApfWithLibtiff(dir / "d.apf", dir.path());
    ASSERT_EQ(pages.size(), 3u);
    for (int i = 0; i < 3; ++i)
        expectPagePlaced(pages[static_cast<std::size_t>(i)], images[static_cast<std::size_t>(i)], 50, 0);

    dcx[0] ^= 1;
    writeFile(dir / "bad.dcx", dcx);
    auto b = converter(TFaxInputDocumentType::idDcx, dir / "bad.dcx", dir / "bad.apf");
    EXPECT_EQ(codeOf([&] { b.ConvertToFile(); }), -8002);
}

// The classic TIFF reader: libtiff-written strips, uncompressed and PackBits, both
// photometric senses, and placement in double width at standard resolution.
TEST(FaxConverter, TiffFirstImageFromLibtiff) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Mixed, 700, 130, 9);
    for (int compression : {COMPRESSION_NONE, COMPRESSION_PACKBITS}) {
        const fs::path tif = dir / "t.tif";
        {
            TIFF* t = TIFFOpen(tif.c_str(), "w");
            ASSERT_NE(t, nullptr);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 700u);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 130u);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK); // inverted rows
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 17u);                   // several strips
            std::vector<std::uint8_t> line(page.stride());
            for (int y = 0; y < 130; ++y) {
                for (std::size_t i = 0; i < line.size(); ++i)
                    line[i] = static_cast<std::uint8_t>(~page.row(y)[i]);
                ASSERT_GE(TIFFWriteScanline(t, line.data(), static_cast<std::uint32_t>(y), 0), 0);
            }
            TIFFClose(t);
        }
        auto c = converter(TFaxInputDocumentType::idTiff, tif, dir / "t.apf");
        c.ConvertToFile(); // standard resolution, default options: doubled and centred
        auto pages = decodeApfWithLibtiff(dir / "t.apf", dir.path());
        ASSERT_EQ(pages.size(), 1u);
        expectPagePlaced(pages[0], page, 50, (1728 - 2 * 700) / 32, true);
    }
}

TEST(FaxConverter, TiffPackBits128RepeatsTheNextByte129Times) {
    TempDir dir;
    // Little-endian TIFF: 1032 x 1, PackBits, one strip at offset 8: 128, 0xFF (129 bytes).
    std::vector<std::uint8_t> f = {'I', 'I', 42, 0, 10, 0, 0, 0, 128, 0xFF};
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        const std::uint8_t e[12] = {static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8),
                                    static_cast<std::uint8_t>(type), 0, 1, 0, 0, 0,
                                    static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                    static_cast<std::uint8_t>(value >> 16), 0};
        f.insert(f.end(), e, e + 12);
    };
    f.push_back(6);
    f.push_back(0);
    entry(256, 3, 1032);
    entry(257, 3, 1);
    entry(258, 3, 1);
    entry(259, 3, 32773);
    entry(262, 3, 0);
    entry(273, 4, 8);
    f.insert(f.end(), {0, 0, 0, 0});
    writeFile(dir / "pb.tif", f);
    auto c = converter(TFaxInputDocumentType::idTiff, dir / "pb.tif", dir / "pb.apf");
    c.SetOptions(0);
    c.LeftMargin = 0;
    c.ConvertToFile();
    const auto pages = decodeApfWithLibtiff(dir / "pb.apf", dir.path());
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].height(), 1);
    MonoBitmap expected(1728, 1);
    for (int x = 0; x < 1032; ++x)
        expected.setBlack(x, 0, true);
    EXPECT_TRUE(rowOf(pages[0], 0).samePixels(expected));

    f[0] = 'X';
    writeFile(dir / "bad.tif", f);
    auto b = converter(TFaxInputDocumentType::idTiff, dir / "bad.tif", dir / "bad.apf");
    EXPECT_EQ(codeOf([&] { b.ConvertToFile(); }), -8002);
}

// Fax TIFFs as other programs write them: every image, G3 1-D, G3 2-D and G4.
TEST(FaxConverter, TiffDocumentAllPagesAnyFaxCompression) {
    TempDir dir;
    std::vector<MonoBitmap> pages;
    for (auto kind : {PageKind::Text, PageKind::Photo, PageKind::BlackLines})
        pages.push_back(makePage(kind, 1728, 200, 4));
    ASSERT_TRUE(writeTiffPages(dir / "g4.tif", pages, COMPRESSION_CCITTFAX4));
    ASSERT_EQ(run("tiffcp -c g3:1d '" + (dir / "g4.tif").string() + "' '" +
                  (dir / "g31.tif").string() + "'"),
              0);
    ASSERT_EQ(run("tiffcp -c g3:2d '" + (dir / "g4.tif").string() + "' '" +
                  (dir / "g32.tif").string() + "'"),
              0);
    for (const char* name : {"g4.tif", "g31.tif", "g32.tif"}) {
        auto c = converter(TFaxInputDocumentType::idTiffDocument, dir / name, dir / "o.apf");
        c.Resolution = TFaxResolution::frHigh;
        c.LeftMargin = 0;
        c.ConvertToFile();
        const auto got = decodeApfWithLibtiff(dir / "o.apf", dir.path());
        ASSERT_EQ(got.size(), 3u) << name;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(got[i].samePixels(pages[i])) << name << " page " << i;
    }
}

TEST(FaxConverter, PdfPagesAreRasterisedOneByOne) {
    TempDir dir;
    // A two-page PDF (Letter), each page a black bar; offsets computed as written.
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto obj = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const std::string bar = "0 0 0 rg 72 600 300 100 re f";
    obj("<< /Type /Catalog /Pages 2 0 R >>");
    obj("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    obj("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R >>");
    obj("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R >>");
    obj("<< /Length " + std::to_string(bar.size()) + " >>\nstream\n" + bar + "\nendstream");
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (auto o : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    writeFile(dir / "d.pdf", std::vector<std::uint8_t>(pdf.begin(), pdf.end()));

    auto c = converter(TFaxInputDocumentType::idPdf, dir / "d.pdf", dir / "d.apf");
    c.Resolution = TFaxResolution::frHigh;
    c.SetOptions(0);
    c.ConvertToFile();
    const auto pages = decodeApfWithLibtiff(dir / "d.apf", dir.path());
    ASSERT_EQ(pages.size(), 2u);
    // Letter is 8.5 in: scaled to fit 1678 pixels, so 197.4 dots per inch across.
    const double xres = 1678.0 / 8.5, yres = xres * 196.0 / 204.0;
    EXPECT_NEAR(pages[0].height(), 11 * yres, 2);
    const int midY = static_cast<int>((792 - 650) / 72.0 * yres);
    const int midX = 50 + static_cast<int>(222 / 72.0 * xres);
    EXPECT_TRUE(pages[1].isBlack(midX, midY));
    EXPECT_FALSE(pages[1].isBlack(midX, midY + static_cast<int>(80 / 72.0 * yres)));
    EXPECT_FALSE(pages[1].isBlack(50 + static_cast<int>(400 / 72.0 * xres), midY));
}

TEST(FaxConverter, RefusalsLeaveNoFileBehind) {
    TempDir dir;
    auto none = converter(TFaxInputDocumentType::idNone, dir / "x.txt", dir / "x.apf");
    EXPECT_EQ(codeOf([&] { none.ConvertToFile(); }), -1002);
    auto bitmap = converter(TFaxInputDocumentType::idBitmap, dir / "x.txt", dir / "x.apf");
    EXPECT_EQ(codeOf([&] { bitmap.ConvertToFile(); }), -1002);
    auto missing = converter(TFaxInputDocumentType::idPcx, dir / "missing.pcx", dir / "m.apf");
    EXPECT_EQ(codeOf([&] { missing.ConvertToFile(); }), -2);
    EXPECT_FALSE(fs::exists(dir / "m.apf"));
    writeFile(dir / "junk.bmp", {'B', 'M', 1, 2, 3});
    auto junk = converter(TFaxInputDocumentType::idBmp, dir / "junk.bmp", dir / "j.apf");
    EXPECT_EQ(codeOf([&] { junk.ConvertToFile(); }), -8002);
    EXPECT_FALSE(fs::exists(dir / "j.apf"));
}

TEST(FaxConverter, StatusReportsAndAbortDeletesThePartialFile) {
    TempDir dir;
    writePbm(dir / "p.pbm", makePage(PageKind::Text, 800, 300));
    ASSERT_EQ(run("ppmtobmp -bpp 1 '" + (dir / "p.pbm").string() + "' > '" +
                  (dir / "p.bmp").string() + "' 2>/dev/null"),
              0);
    for (int abortAt : {0, 100}) {
        auto c = converter(TFaxInputDocumentType::idBmp, dir / "p.bmp", dir / "p.apf");
        int calls = 0;
        bool sawStart = false;
        c.OnStatus = [&](TVelkFaxConverter&, bool starting, bool, int pages, int lines,
                         std::int32_t done, std::int32_t total, bool& abort) {
            sawStart |= starting;
            if (calls++ == abortAt)
                abort = true;
            EXPECT_LE(done, total);
            EXPECT_LE(pages, 1);
            EXPECT_LE(lines, 301);
        };
        EXPECT_EQ(codeOf([&] { c.ConvertToFile(); }), -8003);
        EXPECT_TRUE(sawStart);
        EXPECT_FALSE(fs::exists(dir / "p.apf"));
    }
}

TEST(FaxConverter, PlacementRules) {
    ConvertState s;
    s.flags = coDoubleWidth | coHalfHeight | coCenterImage;
    placeImage(s, 800); // (1728 - 50) / 2 = 839 >= 800: double width wins over half height
    EXPECT_TRUE(s.doubleWidth);
    EXPECT_FALSE(s.halfHeight);
    EXPECT_EQ(s.centreOffset, (1728 - 1600) / 32);
    placeImage(s, 1000);
    EXPECT_FALSE(s.doubleWidth);
    EXPECT_TRUE(s.halfHeight);
    EXPECT_EQ(s.centreOffset, 728 / 16);
    s.highRes = true;
    placeImage(s, 800);
    EXPECT_FALSE(s.doubleWidth);
    EXPECT_FALSE(s.halfHeight);
    placeImage(s, 1720); // W - w = 8: not worth centring
    EXPECT_EQ(s.centreOffset, 0);
}

TEST(FaxConverter, HalfHeightDropsEveryOtherLine) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Rules, 1200, 40);
    writePbm(dir / "p.pbm", page);
    ASSERT_EQ(run("ppmtopcx '" + (dir / "p.pbm").string() + "' > '" + (dir / "p.pcx").string() +
                  "' 2>/dev/null"),
              0);
    auto c = converter(TFaxInputDocumentType::idPcx, dir / "p.pcx", dir / "p.apf");
    c.SetOptions(coHalfHeight);
    c.ConvertToFile();
    std::vector<int> records;
    const auto pages = decodeApfWithLibtiff(dir / "p.apf", dir.path(), &records);
    ASSERT_EQ(records.at(0), 20);
    for (int y = 0; y < 20; ++y) // lines 1, 3, 5... (image rows 0, 2, 4...) are kept
        EXPECT_TRUE(rowOf(pages[0], y).samePixels(placed(page, 2 * y, 1728, 50, 0, false))) << y;
}

TEST(FaxConverter, PropertySideEffects) {
    TVelkFaxConverter c;
    EXPECT_EQ(c.Options(), coDoubleWidth | coCenterImage | coYield);
    c.SetOptions(coYieldOften);
    EXPECT_EQ(c.Options(), coYieldOften | coYield);
    c.SetDocumentFile("/tmp/some/letter.txt");
    EXPECT_EQ(c.OutFileName, "/tmp/some/letter.APF");
    c.OutFileName = "kept";
    c.SetDocumentFile("");
    EXPECT_EQ(c.OutFileName, "kept");
}

// Wide pages: 2048-pixel lines throughout, the top-margin lines included.
TEST(FaxConverter, WidePagesAtStandardResolution) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Photo, 1990, 70, 8);
    writePbm(dir / "p.pbm", page);
    ASSERT_EQ(run("ppmtobmp -bpp 1 '" + (dir / "p.pbm").string() + "' > '" +
                  (dir / "p.bmp").string() + "' 2>/dev/null"),
              0);
    auto c = converter(TFaxInputDocumentType::idBmp, dir / "p.bmp", dir / "p.apf");
    c.Width = TFaxWidth::fwWide;
    c.TopMargin = 3;
    c.LeftMargin = 20;
    c.ConvertToFile(); // centred: (2048 - 1990) / 16 = 3 bytes
    std::vector<int> records;
    const auto pages = decodeApfWithLibtiff(dir / "p.apf", dir.path(), &records);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].width(), 2048);
    ASSERT_EQ(records[0], 73);
    for (int y = 0; y < 3; ++y)
        EXPECT_TRUE(rowOf(pages[0], y).samePixels(MonoBitmap(2048, 1)));
    for (int y = 0; y < 70; ++y)
        ASSERT_TRUE(rowOf(pages[0], y + 3).samePixels(placed(page, y, 2048, 20, 3, false))) << y;
    ApfReader r;
    ASSERT_EQ(r.open(dir / "p.apf"), 0);
    ApfPageInfo info;
    ASSERT_EQ(r.locatePage(1, info), 0);
    EXPECT_EQ(info.header.flags, kApfWide | kApfLengthWords);
}

TEST(FaxConverter, UserLinesFromEvents) {
    TempDir dir;
    TVelkFaxConverter c;
    c.InputDocumentType = TFaxInputDocumentType::idUser;
    c.DefUserExtension = "RAW";
    c.SetDocumentFile((dir / "lines").string()); // no extension: ".RAW" is added
    c.OutFileName = (dir / "u").string();        // no extension: ".APF" is added
    std::string opened;
    int served = 0, closed = 0;
    c.OnOpenUserFile = [&](TVelkFaxConverter&, const std::string& name) { opened = name; };
    c.OnReadUserLine = [&](TVelkFaxConverter&, std::span<std::uint8_t> data, int& len,
                           bool& endOfPage, bool& morePages) {
        ++served;
        if (served == 4 || served == 6) { // pages of 3 and 1 lines
            endOfPage = true;
            morePages = served == 4;
            return;
        }
        data[0] = 0xF0; // four black pixels
        len = 1;
    };
    c.OnCloseUserFile = [&](TVelkFaxConverter&) { ++closed; };
    c.ConvertToFile();
    EXPECT_EQ(opened, (dir / "lines.RAW").string());
    EXPECT_EQ(closed, 1);
    std::vector<int> records;
    const auto pages = decodeApfWithLibtiff(dir / "u.APF", dir.path(), &records);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(records, (std::vector<int>{3, 1}));
    EXPECT_TRUE(pages[1].isBlack(50, 0));
    EXPECT_TRUE(pages[1].isBlack(53, 0));
    EXPECT_FALSE(pages[1].isBlack(54, 0));

    // Without a line handler the page ends at once: one page, no lines.
    TVelkFaxConverter empty;
    empty.InputDocumentType = TFaxInputDocumentType::idUser;
    empty.SetDocumentFile((dir / "x.raw").string());
    empty.ConvertToFile();
    ApfReader r;
    ASSERT_EQ(r.open(dir / "x.APF"), 0);
    EXPECT_EQ(r.pageCount(), 1);
}

TEST(FaxConverter, TiffFilesFoundByFuzzingAreRefusedWithoutHarm) {
    // Each once made the reader divide by zero or read out of bounds; now they are refused
    // (or read) like any other file, and leave no partial page file.
    TempDir dir;
    int seen = 0;
    for (const auto& e : fs::directory_iterator(fs::path(PARVANE_SOURCE_DIR) / "faximage/fuzz/corpus/tiff_reader")) {
        ++seen;
        auto c = converter(TFaxInputDocumentType::idTiff, e.path(), dir / "f.apf");
        const int code = codeOf([&] { c.ConvertToFile(); });
        EXPECT_TRUE(code != 0 || fs::exists(dir / "f.apf")) << e.path();
        EXPECT_TRUE(code == 0 || !fs::exists(dir / "f.apf")) << e.path();
        fs::remove(dir / "f.apf");
    }
    EXPECT_GT(seen, 0);
}
