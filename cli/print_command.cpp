// parvane-cli print: an APF fax on a CUPS printer, or into a PDF file, through the same
// fax printer the windows use. Needs no display: Qt runs on its offscreen platform.
#include "cli_args.h"

#include <cstdio>
#include <string>

#ifdef PARVANE_PRINTING
#include "workflow/printing/page_range.h"
#include "workflow/printing/print_fax.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"
#include "offscreen_app.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#endif

namespace cli {

#ifdef PARVANE_PRINTING

namespace {

int listPrinters() {
    namespace wp = workflow::printing;
    const QStringList names = wp::availablePrinterNames();
    if (names.isEmpty()) {
        std::printf("%s\n", wp::kNoPrinterInstalled);
        return 1;
    }
    const QString def = wp::defaultPrinterName();
    for (const QString& n : names)
        std::printf("%s%s\n", n.toLocal8Bit().constData(), n == def ? " (default)" : "");
    return 0;
}

} // namespace

int runPrint(const CliArgs& args) {
    namespace wp = workflow::printing;
    ensureGuiApplication();
    if (args.has("--list"))
        return listPrinters();

    // "--header" takes an optional caption; a following option or the fax file itself
    // is what the word after it was meant to be.
    std::vector<std::string> words(args.words.begin() + 1, args.words.end());
    std::optional<std::string> headerText = args.value("--header");
    bool fourUp = args.has("--four-up");
    bool footer = args.has("--footer");
    if (headerText && headerText->rfind("--", 0) == 0) {
        fourUp = fourUp || *headerText == "--four-up";
        footer = footer || *headerText == "--footer";
        headerText.reset();
    } else if (headerText && words.empty() && faximage::isApfFile(*headerText)) {
        words.push_back(*headerText);
        headerText.reset();
    }
    if (words.size() != 1) {
        std::fprintf(stderr, "parvane-cli print: name one fax file\n");
        return 2;
    }
    const std::filesystem::path file = words.front();

    faximage::ApfReader reader;
    if (const int rc = reader.open(file); rc != 0) {
        std::fprintf(stderr, "parvane-cli print: %s: %s\n", file.string().c_str(),
                     faximage::errorText(rc).c_str());
        return 1;
    }
    const int pageCount = reader.pageCount();
    reader.close();

    wp::FaxPrintOptions o;
    if (const auto pages = args.value("--pages")) {
        const wp::PageRangeParse range = wp::parsePageRange(*pages, pageCount);
        if (!range.range) {
            std::fprintf(stderr, "parvane-cli print: %s\n", range.error.c_str());
            return 2;
        }
        o.firstPage = range.range->first;
        o.lastPage = range.range->last;
    }
    o.printer = args.value("--printer").value_or("");
    if (const auto pdf = args.value("--pdf"))
        o.pdfFile = *pdf;
    o.header = args.has("--header");
    if (headerText && !headerText->empty())
        o.headerText = *headerText;
    o.footer = footer || o.header; // a header asks for the page numbers below too
    o.multiPage = fourUp;
    o.landscape = args.has("--landscape");
    if (const auto log = args.value("--log"))
        o.logFile = *log;
    if (const auto title = args.value("--title"))
        o.jobTitle = *title;

    const wp::FaxPrintResult r = wp::printFax(file, o);
    const std::string where = !o.pdfFile.empty() ? o.pdfFile.string()
                              : o.printer.empty() ? "the default printer"
                                                  : o.printer;
    switch (r.outcome) {
    case wp::FaxPrintOutcome::Printed:
        std::printf("Printed %d page(s) of %s on %d sheet(s) to %s\n", r.pagesPrinted,
                    file.string().c_str(), r.sheets, where.c_str());
        return 0;
    case wp::FaxPrintOutcome::PrintedWithFailures:
        std::printf("Printed %d page(s) of %s on %d sheet(s) to %s\n", r.pagesPrinted,
                    file.string().c_str(), r.sheets, where.c_str());
        std::fprintf(stderr, "parvane-cli print: %s\n", r.message.c_str());
        return 1;
    case wp::FaxPrintOutcome::NothingToPrint:
        std::printf("%s has no pages: nothing printed\n", file.string().c_str());
        return 0;
    case wp::FaxPrintOutcome::BadRange:
        std::fprintf(stderr, "parvane-cli print: %s\n", r.message.c_str());
        return 2;
    case wp::FaxPrintOutcome::Aborted:
    case wp::FaxPrintOutcome::NoPrinter:
    case wp::FaxPrintOutcome::Failed:
        std::fprintf(stderr, "parvane-cli print: %s\n", r.message.c_str());
        return 1;
    }
    return 1;
}

#else

int runPrint(const CliArgs&) {
    std::fprintf(stderr, "parvane-cli print: this build has no printing (built without Qt)\n");
    return 1;
}

#endif

} // namespace cli
