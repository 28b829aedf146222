// The fax printer onto PDF files, read back with pdfinfo, pdftoppm and tesseract: scaling,
// aspect, pages per sheet, header and footer, damaged pages, abort.
#include "print_test_support.h"

#include "workflow/printing/print_fax.h"
#include "workflow/printing/print_status_window.h"

#include "oracle_skip.h"

#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace wp = workflow::printing;
using namespace print_test;

namespace {

constexpr int kDpi = 100;

class PdfPrint : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"pdfinfo", "pdftoppm"})
            if (!haveTool(tool))
                PARVANE_SKIP_WITHOUT_ORACLE(std::string(tool) + " (poppler-utils) is not installed");
    }

    wp::FaxPrintResult print(const std::vector<FaxPage>& pages, wp::FaxPrintOptions o,
                             const wp::FaxPrintHooks& hooks = {}) {
        writeFax(fax, pages);
        o.pdfFile = pdf;
        return wp::printFax(fax, o, hooks);
    }

    std::string logText() const {
        std::ifstream in(dir / "FAXPRINT.LOG", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempDir dir;
    fs::path fax = dir / "FAX0001.APF";
    fs::path pdf = dir / "out.pdf";
};

// The printable area on a sheet: where the page box may lie.
Box printable(const Sheet& s) { return inkBox(s, 0, 0, s.width - 1, s.height - 1); }

} // namespace

TEST_F(PdfPrint, FinePageFills93PercentOfTheWidthAndKeepsItsShape) {
    const auto r = print({framePage(true)}, {});
    ASSERT_TRUE(r.ok()) << r.message;
    const PdfInfo info = pdfInfo(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.widthPt, 595, 1); // A4
    const Sheet s = renderSheet(pdf, 1, kDpi, dir.path());
    const Box ink = printable(s);
    ASSERT_FALSE(ink.empty());
    // The frame is the page: 215 mm by 2200 lines at 7.7 per mm.
    EXPECT_NEAR(double(ink.height()) / ink.width(), (2200 / 7.7) / 215.0, 0.01);
    // 93 % of the printable width, from the printable area's left edge: the page box
    // and the margin left of it account for all but 7 % of it.
    QPrinter probe(QPrinter::HighResolution);
    probe.setOutputFormat(QPrinter::PdfFormat);
    probe.setPageSize(QPageSize(QPageSize::A4));
    const QRectF area = probe.pageLayout().paintRect(QPageLayout::Inch);
    EXPECT_NEAR(ink.width(), 0.93 * area.width() * kDpi, 3);
    EXPECT_NEAR(ink.left, area.left() * kDpi, 3);
    EXPECT_NEAR(ink.top, area.top() * kDpi, 3);
}

TEST_F(PdfPrint, StandardPageGetsTheSameBoxAsTheFinePage) {
    ASSERT_TRUE(print({framePage(true)}, {}).ok());
    const Box fine = printable(renderSheet(pdf, 1, kDpi, dir.path()));
    ASSERT_TRUE(print({framePage(false)}, {}).ok());
    const Box standard = printable(renderSheet(pdf, 1, kDpi, dir.path()));
    EXPECT_NEAR(standard.width(), fine.width(), 2);
    EXPECT_NEAR(standard.height(), fine.height(), 2);
}

TEST_F(PdfPrint, TallAndWidePagesStayOnTheSheet) {
    // A 2048-pixel page with many lines: limited by the height, never cut off.
    ASSERT_TRUE(print({framePage(true, 2048, 3000)}, {}).ok());
    const Sheet s = renderSheet(pdf, 1, kDpi, dir.path());
    const Box ink = printable(s);
    EXPECT_LT(ink.bottom, s.height - 10);
    EXPECT_NEAR(double(ink.height()) / ink.width(), (3000 / 7.7) / 255.0, 0.01);
}

TEST_F(PdfPrint, FourPagesPerPortraitSheetInReadingOrder) {
    wp::FaxPrintOptions o;
    o.multiPage = true;
    const auto r = print({barsPage(1), barsPage(2), barsPage(3), barsPage(4), barsPage(5)}, o);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.sheets, 2);
    ASSERT_EQ(pdfInfo(pdf).pages, 2);
    const Sheet s = renderSheet(pdf, 1, kDpi, dir.path());
    const int midX = s.width / 2, midY = s.height / 2;
    const auto barsIn = [&](const Sheet& sh, int x0, int y0, int x1, int y1) {
        const Box b = inkBox(sh, x0, y0, x1, y1);
        return b.empty() ? 0 : darkRunsDown(sh, (b.left + b.right) / 2, y0, y1);
    };
    EXPECT_EQ(barsIn(s, 0, 0, midX - 1, midY - 1), 1);
    EXPECT_EQ(barsIn(s, midX, 0, s.width - 1, midY - 1), 2);
    EXPECT_EQ(barsIn(s, 0, midY, midX - 1, s.height - 1), 3);
    EXPECT_EQ(barsIn(s, midX, midY, s.width - 1, s.height - 1), 4);
    const Sheet s2 = renderSheet(pdf, 2, kDpi, dir.path());
    EXPECT_EQ(barsIn(s2, 0, 0, midX - 1, midY - 1), 5);
    EXPECT_TRUE(inkBox(s2, midX, 0, s2.width - 1, s2.height - 1).empty());
}

TEST_F(PdfPrint, TwoPagesPerLandscapeSheetLeftThenRight) {
    wp::FaxPrintOptions o;
    o.multiPage = true;
    o.landscape = true;
    const auto r = print({barsPage(1), barsPage(2), barsPage(3)}, o);
    ASSERT_TRUE(r.ok()) << r.message;
    const PdfInfo info = pdfInfo(pdf);
    EXPECT_EQ(info.pages, 2);
    EXPECT_GT(info.widthPt, info.heightPt);
    const Sheet s = renderSheet(pdf, 1, kDpi, dir.path());
    const int midX = s.width / 2;
    const Box left = inkBox(s, 0, 0, midX - 1, s.height - 1);
    const Box right = inkBox(s, midX, 0, s.width - 1, s.height - 1);
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(darkRunsDown(s, (left.left + left.right) / 2, 0, s.height - 1), 1);
    EXPECT_EQ(darkRunsDown(s, (right.left + right.right) / 2, 0, s.height - 1), 2);
}

TEST_F(PdfPrint, PageRangesAtBothEnds) {
    const std::vector<FaxPage> pages{barsPage(1), barsPage(2), barsPage(3)};
    wp::FaxPrintOptions o;
    o.firstPage = 3;
    o.lastPage = 3;
    auto r = print(pages, o);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.pagesPrinted, 1);
    Sheet s = renderSheet(pdf, 1, kDpi, dir.path());
    Box b = printable(s);
    EXPECT_EQ(darkRunsDown(s, (b.left + b.right) / 2, 0, s.height - 1), 3);

    o.firstPage = 1;
    o.lastPage = 2;
    r = print(pages, o);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(pdfInfo(pdf).pages, 2);

    o.firstPage = 2;
    o.lastPage = 4;
    EXPECT_EQ(print(pages, o).outcome, wp::FaxPrintOutcome::BadRange);
}

TEST_F(PdfPrint, HeaderAndFooterAreReadableAboveAndBelowTheirRules) {
    if (!haveTool("tesseract"))
        PARVANE_SKIP_WITHOUT_ORACLE("tesseract is not installed");
    wp::FaxPrintOptions o;
    o.header = true;
    o.footer = true;
    const auto r = print({barsPage(1), barsPage(2), barsPage(3)}, o);
    ASSERT_TRUE(r.ok()) << r.message;
    const Sheet s = renderSheet(pdf, 2, 300, dir.path());
    const Box all = printable(s);
    const std::string top = ocr(s, all.left, all.top, all.right, all.top + 60, dir.path());
    const std::string bottom = ocr(s, all.left, all.bottom - 60, all.right, all.bottom, dir.path());
    EXPECT_NE(top.find("FILE:"), std::string::npos) << top;
    EXPECT_NE(top.find("FAX0001.APF"), std::string::npos) << top;
    EXPECT_NE(bottom.find("Page: 2 of 3"), std::string::npos) << bottom;
    // Rules: a full-width dark row under the header and above the footer text.
    int fullRows = 0;
    for (int y = all.top; y <= all.bottom; ++y) {
        int dark = 0;
        for (int x = all.left; x <= all.right; ++x)
            dark += s.dark(x, y);
        fullRows += dark > (all.right - all.left) * 98 / 100;
    }
    EXPECT_GE(fullRows, 2);
}

TEST_F(PdfPrint, FaxWithoutPagesPrintsNothingAndLogsNothing) {
    wp::FaxPrintOptions o;
    o.logFile = dir / "FAXPRINT.LOG";
    const auto r = print({}, o);
    EXPECT_EQ(r.outcome, wp::FaxPrintOutcome::NothingToPrint);
    EXPECT_FALSE(fs::exists(pdf));
    EXPECT_FALSE(fs::exists(o.logFile));
}

TEST_F(PdfPrint, DamagedPageInTheMiddleIsReportedLoggedAndTheOthersPrint) {
    wp::FaxPrintOptions o;
    o.logFile = dir / "FAXPRINT.LOG";
    std::vector<int> logCodes;
    const auto r = print({barsPage(1), damagedPage(), barsPage(3)}, o);
    EXPECT_EQ(r.outcome, wp::FaxPrintOutcome::PrintedWithFailures);
    EXPECT_EQ(r.failedPages, std::vector<int>{2});
    EXPECT_EQ(r.pagesPrinted, 2);
    EXPECT_NE(r.message.find("Page 2"), std::string::npos);
    ASSERT_EQ(pdfInfo(pdf).pages, 3);
    const Sheet s3 = renderSheet(pdf, 3, kDpi, dir.path());
    const Box b = printable(s3);
    EXPECT_EQ(darkRunsDown(s3, (b.left + b.right) / 2, 0, s3.height - 1), 3);
    const std::string log = logText();
    const auto started = log.find("started at");
    const auto failed = log.find("failed at");
    const auto finished = log.find("finished at");
    EXPECT_NE(started, std::string::npos);
    EXPECT_NE(failed, std::string::npos);
    EXPECT_NE(finished, std::string::npos);
    EXPECT_LT(started, failed);
    EXPECT_LT(failed, finished);
}

TEST_F(PdfPrint, AbortFromTheStatusWindowDropsTheJob) {
    std::vector<FaxPage> pages;
    for (int i = 1; i <= 20; ++i)
        pages.push_back(barsPage(1 + i % 5));
    wp::FaxPrintOptions o;
    o.showStatus = true;
    o.logFile = dir / "FAXPRINT.LOG";
    std::vector<std::string> statusLines;
    wp::FaxPrintHooks hooks;
    hooks.onNextPage = [&](wp::TVelkFaxPrinter& printer, int page, int) {
        auto* status = dynamic_cast<wp::TVelkFaxPrinterStatus*>(printer.StatusDisplay);
        ASSERT_NE(status, nullptr);
        ASSERT_TRUE(status->Visible());
        EXPECT_EQ(status->Display()->windowTitle(), "Print Status");
        EXPECT_EQ(status->Display()->fileNameLabel()->text(), "FAX0001.APF");
        statusLines.push_back(status->Display()->statusLabel()->text().toStdString());
        if (page == 5)
            status->Display()->abortButton()->click();
    };
    const auto r = print(pages, o, hooks);
    EXPECT_EQ(r.outcome, wp::FaxPrintOutcome::Aborted);
    EXPECT_LE(r.pagesPrinted, 4);
    EXPECT_FALSE(fs::exists(pdf)) << "an aborted job leaves no file";
    ASSERT_GE(statusLines.size(), 2u);
    EXPECT_EQ(statusLines[1], "Submitting 1 of 20");
    const std::string log = logText();
    EXPECT_NE(log.find("aborted at"), std::string::npos) << log;
    EXPECT_EQ(log.find("finished at"), std::string::npos) << log;
}

TEST_F(PdfPrint, StatusCyclesThroughConvertingComposingRenderingSubmitting) {
    std::vector<wp::PrintStatus> seen;
    wp::FaxPrintHooks hooks;
    hooks.onStatus = [&](wp::TVelkFaxPrinter&, wp::PrintStatus s) { seen.push_back(s); };
    ASSERT_TRUE(print({barsPage(1), barsPage(2)}, {}, hooks).ok());
    using S = wp::PrintStatus;
    EXPECT_EQ(seen, (std::vector<S>{S::Idle, S::Converting, S::Composing, S::Rendering, S::Submitting,
                                    S::Converting, S::Composing, S::Rendering, S::Submitting, S::Idle}));
}

TEST(PrintQueues, NamedPrinterThatDoesNotExistIsSaidPlainly) {
    TempDir dir;
    writeFax(dir / "F.APF", {barsPage(1)});
    wp::FaxPrintOptions o;
    o.printer = "NoSuchParvaneQueue";
    const auto r = wp::printFax(dir / "F.APF", o);
    EXPECT_EQ(r.outcome, wp::FaxPrintOutcome::NoPrinter);
    EXPECT_FALSE(r.message.empty());
    const auto missing = wp::printFax(dir / "missing.apf", o);
    EXPECT_EQ(missing.outcome, wp::FaxPrintOutcome::Failed);
    EXPECT_NE(missing.message.find("missing.apf"), std::string::npos);
}

TEST(FaxPrinterSetup, FileNameSelectsEveryPageAndTheDialogNarrowsTheRange) {
    TempDir dir;
    writeFax(dir / "A.APF", {barsPage(1, false, 2048), barsPage(2), barsPage(3), barsPage(4)});
    writeFax(dir / "EMPTY.APF", {});
    wp::TVelkFaxPrinter printer;
    printer.SetFileName(dir / "A.APF");
    EXPECT_EQ(printer.PageCount(), 4);
    EXPECT_EQ(printer.FirstPage, 1);
    EXPECT_EQ(printer.LastPage, 4);
    EXPECT_EQ(printer.ResolutionCode(), 0); // from page 1: standard, 2048 wide
    EXPECT_EQ(printer.WidthCode(), 1);

    // The system print dialog: pages 2 to 3 typed in, then "Print".
    bool answered = false;
    QTimer::singleShot(300, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* from = dialog->findChild<QSpinBox*>("from");
        auto* to = dialog->findChild<QSpinBox*>("to");
        ASSERT_NE(from, nullptr);
        ASSERT_NE(to, nullptr);
        EXPECT_EQ(to->maximum(), 4);
        to->setValue(3);
        from->setValue(2);
        answered = true;
        dialog->accept();
    });
    EXPECT_TRUE(printer.PrintSetup());
    EXPECT_TRUE(answered);
    EXPECT_EQ(printer.FirstPage, 2);
    EXPECT_EQ(printer.LastPage, 3);

    QTimer::singleShot(300, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_FALSE(printer.PrintSetup());
    EXPECT_EQ(printer.FirstPage, 2); // cancel keeps the range

    printer.SetFileName(dir / "EMPTY.APF");
    EXPECT_EQ(printer.PageCount(), 0);
    EXPECT_EQ(printer.FirstPage, 0);
    EXPECT_EQ(printer.LastPage, 0);
    const wp::FaxPrintReport nothing = printer.PrintFax();
    EXPECT_EQ(nothing.sheets, 0);
    EXPECT_FALSE(nothing.jobFailed);
}

TEST(FaxPrinterSetup, PrintToPdfFileChosenInTheDialogWritesThatFile) {
    if (!haveTool("pdfinfo"))
        PARVANE_SKIP_WITHOUT_ORACLE("pdfinfo (poppler-utils) is not installed");
    TempDir dir;
    writeFax(dir / "B.APF", {barsPage(1), barsPage(2), barsPage(3)});
    const fs::path out = dir / "chosen.pdf";
    wp::TVelkFaxPrinter printer;
    printer.SetFileName(dir / "B.APF");
    printer.FaxHeader.Enabled = false;
    bool offered = false;
    QTimer::singleShot(300, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* printers = dialog->findChild<QComboBox*>("printers");
        ASSERT_NE(printers, nullptr);
        for (int i = 0; i < printers->count(); ++i)
            if (printers->itemText(i).contains("PDF") && printers->itemText(i).contains("File")) {
                offered = true;
                printers->setCurrentIndex(i);
            }
        if (auto* file = dialog->findChild<QLineEdit*>("filename"))
            file->setText(QString::fromStdString(out.string()));
        dialog->findChild<QSpinBox*>("from")->setValue(2);
        dialog->accept();
    });
    ASSERT_TRUE(printer.PrintSetup());
    ASSERT_TRUE(offered) << "the print dialog offers no PDF file";
    const wp::FaxPrintReport report = printer.PrintFax();
    EXPECT_FALSE(report.jobFailed) << report.error.toStdString();
    EXPECT_EQ(report.pagesPrinted, 2);
    EXPECT_EQ(pdfInfo(out).pages, 2);
}
