// The printer's rules that need no display: captions, page ranges, sheet layout, log.
#include "workflow/printing/page_range.h"
#include "workflow/printing/print_codes.h"
#include "workflow/printing/print_layout.h"
#include "workflow/printing/print_log.h"
#include "workflow/printing/print_tags.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace wp = workflow::printing;
namespace fs = std::filesystem;

namespace {

wp::CaptionValues values() {
    wp::CaptionValues v;
    v.date = "12/08/26";
    v.fileName = "/data/receive/FAX0007.APF";
    v.pageCount = 3;
    v.page = 2;
    v.time = "23:41:07";
    return v;
}

} // namespace

TEST(CaptionTags, ProgramCaptionsExpand) {
    EXPECT_EQ(wp::expandCaption("Page: $P of $N", values()), "Page: 2 of 3");
    EXPECT_EQ(wp::expandCaption("FILE: $F", values()), "FILE: /data/receive/FAX0007.APF");
    EXPECT_EQ(wp::expandCaption("$d $t", values()), "12/08/26 23:41:07");
    EXPECT_EQ(wp::expandCaption("no tags at all", values()), "no tags at all");
}

TEST(CaptionTags, TagEndsAtPunctuationButSwallowsLetters) {
    EXPECT_EQ(wp::expandCaption("Page $P, of $N.", values()), "Page 2, of 3.");
    EXPECT_EQ(wp::expandCaption("($P)", values()), "(2)");
    EXPECT_EQ(wp::expandCaption("$Page of $Npages", values()), "2 of 3");
}

TEST(CaptionTags, UnknownAndEmptyTagsVanish) {
    EXPECT_EQ(wp::expandCaption("a $X b", values()), "a  b");
    EXPECT_EQ(wp::expandCaption("cost $", values()), "cost ");
    EXPECT_EQ(wp::expandCaption("$$P", values()), "2");
    EXPECT_EQ(wp::expandCaption("$", values()), "");
}

TEST(CaptionTags, DollarInsideAnInsertedValueIsNotExpandedAgain) {
    wp::CaptionValues v = values();
    v.fileName = "/tmp/$F$P/bill$N.apf"; // would never finish if expanded again
    EXPECT_EQ(wp::expandCaption("FILE: $F p$P", v), "FILE: /tmp/$F$P/bill$N.apf p2");
    v.date = "$D";
    EXPECT_EQ(wp::expandCaption("$D$D", v), "$D$D");
}

TEST(PageRanges, ParsesEveryFormAndItsEnds) {
    EXPECT_EQ(wp::parsePageRange("2-5", 9).range, (wp::PageRange{2, 5}));
    EXPECT_EQ(wp::parsePageRange(" 3 ", 9).range, (wp::PageRange{3, 3}));
    EXPECT_EQ(wp::parsePageRange("4-", 9).range, (wp::PageRange{4, 9}));
    EXPECT_EQ(wp::parsePageRange("-2", 9).range, (wp::PageRange{1, 2}));
    EXPECT_EQ(wp::parsePageRange("", 9).range, (wp::PageRange{1, 9}));
    EXPECT_EQ(wp::parsePageRange("1-9", 9).range, (wp::PageRange{1, 9}));
    EXPECT_EQ(wp::parsePageRange("9-9", 9).range, (wp::PageRange{9, 9}));
    EXPECT_EQ(wp::parsePageRange("1", 1).range, (wp::PageRange{1, 1}));
}

TEST(PageRanges, RefusesWhatIsOutsideOrMalformed) {
    for (const char* bad : {"0-2", "0", "1-10", "10", "5-3", "-", "a-b", "1-2-3", "2x", "-0",
                            "99999999999"}) {
        const auto r = wp::parsePageRange(bad, 9);
        EXPECT_FALSE(r.range) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
    EXPECT_FALSE(wp::parsePageRange("", 0).range);
    EXPECT_EQ(wp::resolvePageRange(0, 0, 4), (wp::PageRange{1, 4}));
    EXPECT_FALSE(wp::resolvePageRange(1, 1, 0));
    EXPECT_FALSE(wp::resolvePageRange(3, 2, 4));
}

TEST(SheetLayout, SheetBreaksAndSlotsInPortraitAndLandscape) {
    using wp::SheetOrientation;
    const wp::PrintRect sheet{0, 0, 1000, 1400};
    // One page per sheet: every page after the first starts a sheet.
    EXPECT_FALSE(wp::startsNewSheet(3, 3, false, SheetOrientation::Portrait));
    EXPECT_TRUE(wp::startsNewSheet(4, 3, false, SheetOrientation::Portrait));
    // Four per sheet in portrait counted from the first page printed, two in landscape.
    std::vector<int> breaks;
    for (int p = 2; p <= 10; ++p)
        if (wp::startsNewSheet(p, 2, true, SheetOrientation::Portrait))
            breaks.push_back(p);
    EXPECT_EQ(breaks, (std::vector<int>{6, 10}));
    breaks.clear();
    for (int p = 1; p <= 5; ++p)
        if (wp::startsNewSheet(p, 1, true, SheetOrientation::Landscape))
            breaks.push_back(p);
    EXPECT_EQ(breaks, (std::vector<int>{3, 5}));

    EXPECT_EQ(wp::pageSlot(sheet, 1, 1, false, SheetOrientation::Portrait),
              (wp::PrintRect{2, 2, 998, 1398}));
    EXPECT_EQ(wp::pageSlot(sheet, 1, 1, true, SheetOrientation::Portrait),
              (wp::PrintRect{2, 2, 498, 698}));
    EXPECT_EQ(wp::pageSlot(sheet, 2, 1, true, SheetOrientation::Portrait),
              (wp::PrintRect{502, 2, 998, 698}));
    EXPECT_EQ(wp::pageSlot(sheet, 3, 1, true, SheetOrientation::Portrait),
              (wp::PrintRect{2, 702, 498, 1398}));
    EXPECT_EQ(wp::pageSlot(sheet, 4, 1, true, SheetOrientation::Portrait),
              (wp::PrintRect{502, 702, 998, 1398}));
    EXPECT_EQ(wp::pageSlot(sheet, 5, 1, true, SheetOrientation::Portrait),
              wp::pageSlot(sheet, 1, 1, true, SheetOrientation::Portrait));
    const wp::PrintRect wide{0, 0, 1400, 1000};
    EXPECT_EQ(wp::pageSlot(wide, 7, 6, true, SheetOrientation::Landscape),
              (wp::PrintRect{702, 2, 1398, 998}));
    EXPECT_EQ(wp::pageSlot(wide, 8, 6, true, SheetOrientation::Landscape),
              (wp::PrintRect{2, 2, 698, 998}));
}

TEST(SheetLayout, HeaderAndFooterBandsTakeTextGapAndRule) {
    wp::PrintRect slot{2, 2, 998, 1398};
    const wp::MarginBand head = wp::takeHeader(slot, 30);
    EXPECT_EQ(head.text, (wp::PrintRect{2, 2, 998, 32}));
    EXPECT_EQ(head.ruleY, 34);
    EXPECT_EQ(slot.top, 35);
    const wp::MarginBand foot = wp::takeFooter(slot, 30);
    EXPECT_EQ(foot.text, (wp::PrintRect{2, 1368, 998, 1398}));
    EXPECT_EQ(foot.ruleY, 1398 - 32); // the footer's own height plus 2 above the bottom
    EXPECT_EQ(slot.bottom, 1365);
}

TEST(SheetLayout, FitKeepsThePaperShapeForFineAndStandardPages) {
    const wp::PrintRect slot{10, 20, 1010, 2020};
    const wp::FaxPageShape fine{1728, 2200, true};
    const wp::FaxPageShape standard{1728, 1100, false};
    const wp::PrintRect a = wp::fitPage(slot, fine);
    const wp::PrintRect b = wp::fitPage(slot, standard);
    EXPECT_EQ(a, b); // half the rows at half the density: the same paper
    EXPECT_EQ(a.left, 10);
    EXPECT_EQ(a.top, 20);
    EXPECT_EQ(a.width(), 930); // 93 % of the width
    EXPECT_NEAR(double(a.height()) / a.width(), (2200 / 7.7) / 215.0, 0.003);

    // A long page in a short slot: the height limits, the shape stays.
    const wp::PrintRect flat{0, 0, 1000, 600};
    const wp::PrintRect c = wp::fitPage(flat, fine);
    EXPECT_EQ(c.height(), 600);
    EXPECT_LT(c.width(), 930);
    EXPECT_NEAR(double(c.height()) / c.width(), (2200 / 7.7) / 215.0, 0.005);

    // A 2048-wide page never runs past the slot (and is as wide as a 1728 one).
    const wp::PrintRect d = wp::fitPage(slot, {2048, 2300, true});
    EXPECT_LE(d.bottom, slot.bottom);
    EXPECT_EQ(d.width(), 930);

    // A bitmap cut after its rightmost ink keeps the page's scale.
    const wp::PrintRect half = wp::bitmapBox(a, fine, 864);
    EXPECT_EQ(half.width(), 465);
    EXPECT_EQ(half.height(), a.height());
    EXPECT_EQ(wp::bitmapBox(a, fine, 5000).width(), a.width());
    EXPECT_EQ(wp::fitPage(slot, {1728, 0, true}).width(), 0);
}

TEST(PrintLog, RecordsAndBlankLineAfterEachJob) {
    EXPECT_EQ(wp::printLogRecord(wp::PrintLogCode::Start, "FAX0001.APF", "D T"),
              "Printing FAX0001.APF started at D T\r\n");
    EXPECT_EQ(wp::printLogRecord(wp::PrintLogCode::Finish, "F", "D T"),
              "Printing F finished at D T\r\n\r\n");
    EXPECT_EQ(wp::printLogRecord(wp::PrintLogCode::Abort, "F", "D T"),
              "Printing F aborted at D T\r\n\r\n");
    EXPECT_EQ(wp::printLogRecord(wp::PrintLogCode::Fail, "F", "D T"),
              "Printing F failed at D T\r\n\r\n");
    EXPECT_EQ(wp::statusLine(wp::PrintStatus::Rendering, 2, 5), "Rendering 2 of 5");
}

TEST(PrintLog, AppendsCreatesAndRaisesOtherErrors) {
    const fs::path dir = fs::temp_directory_path() / ("print_log_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    wp::TVelkFaxPrinterLog log;
    log.FileName = dir / "FAXPRINT.LOG";
    log.UpdateLog(wp::PrintLogCode::Start, "A.APF");
    log.UpdateLog(wp::PrintLogCode::Finish, "A.APF");
    log.UpdateLog(wp::PrintLogCode::Start, "B.APF");
    std::ifstream in(log.FileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    EXPECT_EQ(s.rfind("Printing A.APF started at ", 0), 0u);
    EXPECT_NE(s.find("\r\n\r\nPrinting B.APF started at "), std::string::npos);

    log.FileName.clear(); // no name: nothing written, nothing raised
    EXPECT_NO_THROW(log.UpdateLog(wp::PrintLogCode::Start, "C.APF"));

    log.FileName = dir / "missing-dir" / "FAXPRINT.LOG";
    EXPECT_THROW(log.UpdateLog(wp::PrintLogCode::Start, "C.APF"), wp::PrintLogError);
    log.FileName = dir; // a directory
    EXPECT_THROW(log.UpdateLog(wp::PrintLogCode::Start, "C.APF"), wp::PrintLogError);
    fs::remove_all(dir);
}
