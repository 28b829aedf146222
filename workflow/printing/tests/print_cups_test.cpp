// Printing through a real CUPS queue: the cups-pdf queue set up by
// scripts/cups-test-printer writes each job as a PDF, read back with pdfinfo, pdftoppm
// and tesseract; an aborted job must never reach the queue.
#include "print_test_support.h"

#include "workflow/printing/print_fax.h"
#include "workflow/printing/print_status_window.h"

#include "oracle_skip.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace wp = workflow::printing;
using namespace print_test;
using namespace std::chrono_literals;

namespace {

constexpr auto kJobWait = 120s;

class CupsPrint : public ::testing::Test {
protected:
    void SetUp() override {
        std::string out;
        const std::string script = std::string(PARVANE_SOURCE_DIR) + "/scripts/cups-test-printer";
        if (run(script + " 2>&1", &out) != 0)
            PARVANE_SKIP_WITHOUT_ORACLE("no CUPS test queue: " + out);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        outDir = out.substr(out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
        for (const char* tool : {"pdfinfo", "pdftoppm", "lpstat"})
            if (!haveTool(tool))
                PARVANE_SKIP_WITHOUT_ORACLE(std::string(tool) + " is not installed");
        static int counter = 0;
        // cups-pdf names the file after the job title; letters and digits survive it.
        title = "pvtest" + std::to_string(::getpid()) + "n" + std::to_string(++counter);
    }

    void TearDown() override {
        std::error_code ec;
        for (const fs::path& p : pdfsOfJob())
            fs::remove(p, ec);
    }

    std::vector<fs::path> pdfsOfJob() const {
        std::vector<fs::path> found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(outDir, ec))
            if (e.path().filename().string().find(title) != std::string::npos &&
                e.path().extension() == ".pdf")
                found.push_back(e.path());
        return found;
    }

    // The job's PDF once cups-pdf has finished writing it.
    fs::path waitForPdf() const {
        const auto until = std::chrono::steady_clock::now() + kJobWait;
        while (std::chrono::steady_clock::now() < until) {
            const auto found = pdfsOfJob();
            if (!found.empty() && pdfInfo(found.front()).pages > 0 && queuedJobs().empty())
                return found.front();
            std::this_thread::sleep_for(200ms);
        }
        return {};
    }

    static std::string queuedJobs() {
        std::string out;
        run("lpstat -o ParvanePDF 2>/dev/null", &out);
        return out;
    }

    static int completedJobs() {
        std::string out;
        run("lpstat -W completed -o ParvanePDF 2>/dev/null", &out);
        return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
    }

    wp::FaxPrintOptions options() const {
        wp::FaxPrintOptions o;
        o.printer = "ParvanePDF";
        o.jobTitle = title;
        return o;
    }

    fs::path outDir;
    std::string title;
    TempDir dir;
    fs::path fax = dir / "FAX0042.APF";
};

} // namespace

TEST_F(CupsPrint, ThreePagesWithHeaderAndFooterArriveAsThreeSheets) {
    writeFax(fax, {barsPage(1), barsPage(2, false), barsPage(3)});
    wp::FaxPrintOptions o = options();
    o.header = true;
    o.footer = true;
    const auto r = wp::printFax(fax, o);
    ASSERT_TRUE(r.ok()) << r.message;
    const fs::path pdf = waitForPdf();
    ASSERT_FALSE(pdf.empty()) << "no PDF for job " << title << " in " << outDir;
    const PdfInfo info = pdfInfo(pdf);
    EXPECT_EQ(info.pages, 3);
    EXPECT_NEAR(info.widthPt, 595, 20); // A4 or Letter, upright
    EXPECT_GT(info.heightPt, info.widthPt);
    const Sheet s = renderSheet(pdf, 2, 300, dir.path());
    const Box all = inkBox(s, 0, 0, s.width - 1, s.height - 1);
    ASSERT_FALSE(all.empty());
    // The standard page (two bars) came out as tall as a fine one would.
    const Box image = inkBox(s, all.left, all.top + 80, all.right, all.bottom - 80);
    EXPECT_EQ(darkRunsDown(s, (image.left + image.right) / 2, image.top, image.bottom), 2);
    if (!haveTool("tesseract"))
        PARVANE_SKIP_WITHOUT_ORACLE("tesseract is not installed");
    const std::string top = ocr(s, all.left, all.top, all.right, all.top + 60, dir.path());
    const std::string bottom = ocr(s, all.left, all.bottom - 60, all.right, all.bottom, dir.path());
    EXPECT_NE(top.find("FILE:"), std::string::npos) << top;
    EXPECT_NE(top.find("FAX0042"), std::string::npos) << top;
    EXPECT_NE(bottom.find("Page: 2 of 3"), std::string::npos) << bottom;
}

TEST_F(CupsPrint, FivePagesFourUpMakeTwoSheets) {
    writeFax(fax, {barsPage(1), barsPage(2), barsPage(3), barsPage(4), barsPage(5)});
    wp::FaxPrintOptions o = options();
    o.multiPage = true;
    // Printing on arrival: a configured printer that is gone falls back to the default
    // (here the only queue there is).
    if (wp::availablePrinterNames() == QStringList{"ParvanePDF"}) {
        o.printer = "PrinterRemovedLongAgo";
        o.missingPrinterUsesDefault = true;
    }
    const auto r = wp::printFax(fax, o);
    ASSERT_TRUE(r.ok()) << r.message;
    const fs::path pdf = waitForPdf();
    ASSERT_FALSE(pdf.empty()) << "no PDF for job " << title;
    EXPECT_EQ(pdfInfo(pdf).pages, 2);
    const Sheet s = renderSheet(pdf, 1, 100, dir.path());
    const Box br = inkBox(s, s.width / 2, s.height / 2, s.width - 1, s.height - 1);
    ASSERT_FALSE(br.empty());
    EXPECT_EQ(darkRunsDown(s, (br.left + br.right) / 2, br.top, br.bottom), 4);
}

TEST_F(CupsPrint, AbortDuringTwentyPagesLeavesNoJobInTheQueue) {
    std::vector<FaxPage> pages;
    for (int i = 0; i < 20; ++i)
        pages.push_back(barsPage(1 + i % 4));
    writeFax(fax, pages);
    const int completedBefore = completedJobs();
    wp::FaxPrintOptions o = options();
    o.showStatus = true;
    o.logFile = dir / "FAXPRINT.LOG";
    wp::FaxPrintHooks hooks;
    hooks.onNextPage = [&](wp::TVelkFaxPrinter& printer, int page, int) {
        if (page == 6)
            static_cast<wp::TVelkFaxPrinterStatus*>(printer.StatusDisplay)->Display()->abortButton()->click();
    };
    const auto r = wp::printFax(fax, o, hooks);
    EXPECT_EQ(r.outcome, wp::FaxPrintOutcome::Aborted);
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(queuedJobs(), "") << "a half job is left queued";
    EXPECT_EQ(completedJobs(), completedBefore) << "the aborted job reached CUPS";
    EXPECT_TRUE(pdfsOfJob().empty());
    std::string log;
    run("cat '" + o.logFile.string() + "'", &log);
    EXPECT_NE(log.find("Printing " + fax.string() + " aborted at "), std::string::npos) << log;
}
