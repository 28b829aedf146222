#include "viewer_printing.h"

#include "main_screen.h"
#include "message_boxes.h"
#include "base/ini_file.h"
#include "workflow/printing/fax_printer.h"
#include "workflow/printing/page_sink.h"
#include "workflow/printing/print_status_window.h"

#include <QApplication>

#include <memory>

namespace app {

namespace {

struct ViewerPrinter {
    workflow::printing::TVelkFaxPrinter printer;
    workflow::printing::TVelkFaxPrinterLog log;
    std::filesystem::path programDir;
};

// The footer and four-up choices the viewer's print form saved.
void applySavedChoices(ViewerPrinter& p) {
    const auto ini = settings::IniFile::load(p.programDir / "PVN.INI");
    p.printer.FaxFooter.Enabled = ini.readBool("Printing", "Footer", true);
    p.printer.MultiPage = ini.readBool("Printing", "MultiPage", false);
    p.printer.ImposeWait = ini.readBool("Other", "ImposeWaitBeforePrinting", false);
}

} // namespace

void installViewerPrinting(TMainScreen& window, const std::filesystem::path& programDir) {
    auto p = std::make_shared<ViewerPrinter>();
    p->programDir = programDir;
    p->log.FileName = programDir / workflow::printing::kDefaultPrintLogName;

    window.printerInstalled = [] { return !workflow::printing::availablePrinterNames().isEmpty(); };
    window.printerSetup = [p](QWidget* parent) { p->printer.PrintSetup(parent); };
    window.printFax = [p, &window](const std::filesystem::path& file, int first, int last,
                                   const QString& header) {
        using namespace workflow::printing;
        applySavedChoices(*p);
        p->printer.SetFileName(file);
        p->printer.FirstPage = static_cast<std::uint16_t>(first);
        p->printer.LastPage = static_cast<std::uint16_t>(last);
        p->printer.FaxHeader.Enabled = !header.isEmpty();
        p->printer.FaxHeader.Caption = header;
        TVelkFaxPrinterStatus status(QApplication::activeWindow() ? QApplication::activeWindow()
                                                                  : &window);
        p->printer.StatusDisplay = &status;
        p->printer.FaxPrinterLog = &p->log;
        FaxPrintReport report;
        try {
            report = p->printer.PrintFax();
        } catch (const std::exception& e) {
            report.jobFailed = true;
            report.error = QString::fromStdString(e.what());
        }
        p->printer.StatusDisplay = nullptr;
        if (!report.error.isEmpty())
            informationBox(QApplication::activeWindow(), report.error);
    };
}

} // namespace app
