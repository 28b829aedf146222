// TVelkFaxUnpacker: properties into the unpack state, export names, errors raised with
// their codes, options reaching a running decode.
#include "faximage/fax_errors.h"
#include "faximage/fax_unpacker.h"
#include "test_pages.h"
#include "unpack_test_support.h"

#include <gtest/gtest.h>

using namespace faximage;
using namespace faximage::testing;

namespace {

int raisedCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const EVelkException& e) {
        return e.ErrorCode();
    }
    return 0;
}

TEST(FaxUnpacker, NamesAndProperties) {
    TVelkFaxUnpacker u;
    EXPECT_EQ(u.Options(), uoYield);
    EXPECT_EQ(u.AutoScaleMode, TAutoScaleMode::asDoubleHeight);
    u.SetInFileName("/tmp/dir/FAX0001.APF");
    EXPECT_EQ(u.OutFileName, "/tmp/dir/FAX0001");
    EXPECT_EQ(u.ExportFileName("PCX"), "/tmp/dir/FAX0001.PCX");
    u.OutFileName = "/tmp/out.bmp";
    u.SetInFileName("/tmp/dir/fax0001.apf"); // same name but for case: OutFileName stays
    EXPECT_EQ(u.ExportFileName("DCX"), "/tmp/out.bmp");
    u.OutFileName.clear();
    EXPECT_EQ(u.ExportFileName("BMP"), "/tmp/dir/FAX0001.BMP");

    u.SetHorizMult(3);
    u.SetHorizMult(0);
    u.SetVertDiv(0);
    EXPECT_EQ(u.HorizMult(), 3);
    EXPECT_EQ(u.VertDiv(), 1);
    EXPECT_EQ(to_string(TAutoScaleMode::asHalfWidth), "asHalfWidth");
}

TEST(FaxUnpacker, OperationsAndRaisedErrors) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Text, 2048, 120, 3);
    writeApf(dir / "f.apf", {encodedPage(page, false), encodedPage(page, true)});
    TVelkFaxUnpacker u;
    u.SetInFileName((dir / "f.apf").string());
    EXPECT_EQ(u.NumPages(), 2);
    EXPECT_FALSE(u.FaxResolution());
    EXPECT_TRUE(u.FaxWidth());

    // Standard page doubled by default; 1 = white; scaling applies on top.
    MonoBitmap bmp = u.UnpackPageToBitmap(1);
    EXPECT_EQ(bmp.height(), 240);
    EXPECT_EQ(bmp.sense(), PixelSense::OneIsWhite);
    u.AutoScaleMode = TAutoScaleMode::asNone;
    u.Scaling = true;
    u.SetVertMult(1);
    u.SetVertDiv(2);
    EXPECT_EQ(u.UnpackPageToBitmap(1).height(), 60);
    u.Scaling = false;

    u.UnpackPageToBmp(2);
    u.UnpackPageToPcx(2);
    u.UnpackPageToDcx(2);
    for (const char* ext : {".BMP", ".PCX", ".DCX"})
        EXPECT_TRUE(std::filesystem::exists(dir / (std::string("f") + ext))) << ext;

    // OnOutputLine sees the page start, each line and the page end.
    int lines = 0, starts = 0, ends = 0;
    u.OnOutputLine = [&](TVelkCustomFaxUnpacker&, bool starting, bool ending,
                         std::span<const std::uint8_t> data, int len, int pageNum) {
        EXPECT_EQ(pageNum, 2);
        starts += starting;
        ends += ending;
        if (!starting && !ending) {
            ++lines;
            EXPECT_EQ(len, 256);
            EXPECT_EQ(data.size(), 256u);
        }
    };
    u.UnpackPage(2);
    EXPECT_EQ(lines, 120);
    EXPECT_EQ(starts + ends, 2);

    EXPECT_EQ(raisedCode([&] { u.UnpackPageToBitmap(3); }), ec::FaxBadFormat);
    u.WhitespaceCompression = true;
    u.WhitespaceFrom = 2;
    u.WhitespaceTo = 5;
    EXPECT_EQ(raisedCode([&] { u.UnpackPageToBitmap(1); }), ec::BadArgument);
    u.WhitespaceCompression = false;
    u.OnYield = [] { return false; };
    EXPECT_EQ(raisedCode([&] { u.UnpackPageToBitmap(1); }), ec::GotQuitMsg);
    u.OnYield = nullptr;

    u.SetInFileName((dir / "none.apf").string());
    EXPECT_EQ(u.NumPages(), 0); // no error for an unreadable file
    EXPECT_NE(raisedCode([&] { u.FaxResolution(); }), 0);
    u.SetInFileName("");
    EXPECT_EQ(raisedCode([&] { u.UnpackPageToBitmap(1); }), -2);
}

TEST(FaxUnpacker, AbortFromAnEventStopsOnlyTheRunningDecode) {
    TempDir dir;
    const MonoBitmap page = makePage(PageKind::Photo, 1728, 400, 8);
    writeApf(dir / "a.apf", {encodedPage(page, true)});
    TVelkFaxUnpacker u;
    u.SetInFileName((dir / "a.apf").string());
    int statusCalls = 0;
    u.OnStatus = [&](TVelkCustomFaxUnpacker& sender, const std::string& fname, int pageNum,
                     std::int32_t done, std::int32_t total) {
        EXPECT_EQ(fname, u.InFileName());
        EXPECT_EQ(pageNum, 1);
        EXPECT_LE(done, total);
        if (++statusCalls == 50)
            sender.SetOptions(sender.Options() | uoAbort);
    };
    const MonoBitmap partial = u.UnpackPageToBitmap(1);
    EXPECT_GT(partial.height(), 0);
    EXPECT_LT(partial.height(), 400);
    // uoAbort is still in Options but does not reach a new decode.
    EXPECT_TRUE(u.Options() & uoAbort);
    u.OnStatus = nullptr;
    EXPECT_EQ(u.UnpackPageToBitmap(1).height(), 400);
}

} // namespace
