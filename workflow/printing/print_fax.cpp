#include "print_fax.h"

#include "page_range.h"
#include "print_status_window.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"

namespace workflow::printing {

std::string_view to_string(FaxPrintOutcome outcome) {
    switch (outcome) {
    case FaxPrintOutcome::Printed:
        return "printed";
    case FaxPrintOutcome::PrintedWithFailures:
        return "printed with failures";
    case FaxPrintOutcome::NothingToPrint:
        return "nothing to print";
    case FaxPrintOutcome::Aborted:
        return "aborted";
    case FaxPrintOutcome::NoPrinter:
        return "no printer";
    case FaxPrintOutcome::BadRange:
        return "bad page range";
    case FaxPrintOutcome::Failed:
        return "failed";
    }
    return "?";
}

namespace {

std::string failedPagesText(const std::vector<int>& pages) {
    std::string s = pages.size() == 1 ? "Page " : "Pages ";
    for (std::size_t i = 0; i < pages.size(); ++i)
        s += (i ? ", " : "") + std::to_string(pages[i]);
    return s + (pages.size() == 1 ? " could not be read and was not printed."
                                  : " could not be read and were not printed.");
}

} // namespace

FaxPrintResult printFax(const std::filesystem::path& file, const FaxPrintOptions& options,
                        const FaxPrintHooks& hooks) {
    FaxPrintResult result;
    faximage::ApfReader reader;
    if (const int rc = reader.open(file); rc != 0) {
        result.message = faximage::errorText(rc) + ": " + file.string();
        return result;
    }
    result.pageCount = reader.pageCount();
    reader.close();
    if (result.pageCount == 0) {
        result.outcome = FaxPrintOutcome::NothingToPrint;
        result.message = "The fax has no pages.";
        return result;
    }
    const auto range = resolvePageRange(options.firstPage, options.lastPage, result.pageCount);
    if (!range) {
        result.outcome = FaxPrintOutcome::BadRange;
        result.message = "Pages " + std::to_string(options.firstPage) + " to " +
                         std::to_string(options.lastPage) + " are not within 1-" +
                         std::to_string(result.pageCount) + ".";
        return result;
    }

    TVelkFaxPrinter printer;
    printer.SetFileName(file);
    printer.FirstPage = static_cast<std::uint16_t>(range->first);
    printer.LastPage = static_cast<std::uint16_t>(range->last);
    printer.Caption = QString::fromStdString(options.jobTitle.empty()
                                                 ? "Parvane fax " + file.filename().string()
                                                 : options.jobTitle);
    printer.FaxHeader.Enabled = options.header;
    printer.FaxHeader.Caption = QString::fromStdString(options.headerText);
    printer.FaxFooter.Enabled = options.footer;
    printer.FaxFooter.Caption = QString::fromStdString(options.footerText);
    printer.MultiPage = options.multiPage;
    printer.ImposeWait = options.waitBetweenPages;
    if (hooks.onNextPage)
        printer.OnNextPage = [&](TVelkCustomFaxPrinter&, int p, int n) { hooks.onNextPage(printer, p, n); };
    if (hooks.onStatus)
        printer.OnFaxPrintStatus = [&](TVelkCustomFaxPrinter&, PrintStatus s) { hooks.onStatus(printer, s); };

    TVelkFaxPrinterLog log;
    if (!options.logFile.empty()) {
        log.FileName = options.logFile;
        printer.FaxPrinterLog = &log;
    }
    std::unique_ptr<TVelkFaxPrinterStatus> status;
    if (options.showStatus) {
        status = std::make_unique<TVelkFaxPrinterStatus>(options.statusParent);
        printer.StatusDisplay = status.get();
    }

    QString sinkError;
    if (hooks.makeSink) {
        printer.SinkFactory = hooks.makeSink;
    } else if (!options.pdfFile.empty()) {
        printer.SinkFactory = [&] { return makePdfFileSink(options.pdfFile, options.landscape); };
    } else {
        // Resolve the queue before the job starts, so "no printer" is told plainly.
        QString name = QString::fromStdString(options.printer);
        if (options.missingPrinterUsesDefault && !availablePrinterNames().contains(name))
            name.clear();
        auto sink = makePrinterSink(name, options.landscape, sinkError);
        if (!sink) {
            result.outcome = FaxPrintOutcome::NoPrinter;
            result.message = sinkError.toStdString();
            return result;
        }
        auto held = std::make_shared<std::unique_ptr<PageSink>>(std::move(sink));
        printer.SinkFactory = [held] { return std::move(*held); };
    }

    FaxPrintReport report;
    try {
        report = printer.PrintFax();
    } catch (const std::exception& e) {
        result.message = e.what();
        return result;
    }
    result.pagesPrinted = report.pagesPrinted;
    result.sheets = report.sheets;
    result.failedPages = report.failedPages;
    if (report.aborted) {
        result.outcome = FaxPrintOutcome::Aborted;
        result.message = "Printing was aborted.";
    } else if (report.jobFailed) {
        result.outcome = FaxPrintOutcome::Failed;
        result.message = report.error.toStdString();
    } else if (!report.failedPages.empty()) {
        result.outcome = FaxPrintOutcome::PrintedWithFailures;
        result.message = failedPagesText(report.failedPages);
    } else {
        result.outcome = FaxPrintOutcome::Printed;
    }
    return result;
}

} // namespace workflow::printing
