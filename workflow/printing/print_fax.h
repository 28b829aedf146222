// Printing a fax file in one call: what the viewer, receive-on-arrival and the command
// line use.
//
//   FaxPrintOptions o;
//   o.printer = "Office";                 // a CUPS queue; empty: the default printer
//   o.firstPage = 2; o.lastPage = 3;      // 0: from the first / to the last page
//   o.header = true; o.headerText = "FILE: $F";   // $D $F $N $P $T tags
//   o.footer = true;                      // "Page: $P of $N"
//   o.multiPage = true;                   // four per sheet (two in landscape)
//   FaxPrintResult r = printFax("receive/FAX0007.APF", o);
//   if (!r.ok()) show r.message;
//
// Runs on the GUI thread (or, without widgets, any thread owning a QGuiApplication) and
// lets pending events run between steps. A page that cannot be decoded is skipped (its
// sheet says so), logged with code 3 and listed in failedPages; the other pages print.
#pragma once

#include "fax_printer.h"

#include <QPageLayout>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace workflow::printing {

struct FaxPrintOptions {
    std::string printer;            // CUPS queue name; empty: the system's default
    // A named printer that is not installed: print on the default one instead of
    // refusing (printing on arrival does this).
    bool missingPrinterUsesDefault = false;
    std::filesystem::path pdfFile;  // set: write this PDF file instead of printing
    int firstPage = 0;              // 1-based; 0: the first page
    int lastPage = 0;               // inclusive; 0: the last page
    bool header = false;
    std::string headerText = "FILE: $F";
    bool footer = false;
    std::string footerText = "Page: $P of $N";
    bool multiPage = false;
    bool landscape = false;
    std::string jobTitle;           // empty: "Parvane fax " + the file's name
    bool showStatus = false;        // the "Print Status" window with "Abort" (needs widgets)
    QWidget* statusParent = nullptr;
    std::filesystem::path logFile;  // set: append the job's records to this print log
    bool waitBetweenPages = false;  // [Other] ImposeWaitBeforePrinting
};

struct FaxPrintHooks {
    std::function<void(TVelkFaxPrinter&, int page, int pageCount)> onNextPage;
    std::function<void(TVelkFaxPrinter&, PrintStatus)> onStatus;
    // Replaces the sink the options choose (tests, previews).
    std::function<std::unique_ptr<PageSink>()> makeSink;
};

enum class FaxPrintOutcome {
    Printed,
    PrintedWithFailures, // some pages could not be decoded
    NothingToPrint,      // the file has no pages
    Aborted,
    NoPrinter,           // none installed, or the named one is missing
    BadRange,
    Failed,              // the file is unreadable or the job could not be done
};
std::string_view to_string(FaxPrintOutcome outcome);

struct FaxPrintResult {
    FaxPrintOutcome outcome = FaxPrintOutcome::Failed;
    int pageCount = 0;
    int pagesPrinted = 0;
    int sheets = 0;
    std::vector<int> failedPages;
    std::string message; // for the user; empty when all went well

    bool ok() const { return outcome == FaxPrintOutcome::Printed; }
};

FaxPrintResult printFax(const std::filesystem::path& file, const FaxPrintOptions& options,
                        const FaxPrintHooks& hooks = {});

} // namespace workflow::printing
