// TVelkFaxPrinter: prints a range of an APF fax file's pages through a page sink, each
// page decoded by the fax unpacker and scaled into the printable area, with optional
// header and footer lines and one or several fax pages per sheet. Runs on the window
// thread and lets pending events run between steps, so the status window's "Abort" is
// heard.
#pragma once

#include "page_sink.h"
#include "print_codes.h"
#include "print_log.h"

#include "faximage/fax_unpacker.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QPrinter;
class QWidget;

namespace workflow::printing {

class TVelkCustomFaxPrinter;

// A header or footer line: a caption with $ tags.
class TVelkCustomFaxPrinterMargin {
public:
    QString Caption;
    bool Enabled = false;
    QFont Font = QFont(QStringLiteral("Arial"), 8);
    std::uint16_t Height = 0; // of the line last drawn, device pixels
};
class TVelkFaxPrinterMargin : public TVelkCustomFaxPrinterMargin {};

// The status component: the printer calls it to show, refresh and hide its window.
class TVelkAbstractFaxPrinterStatus {
public:
    virtual ~TVelkAbstractFaxPrinterStatus() = default;
    virtual void CreateDisplay() = 0;
    virtual void DestroyDisplay() = 0;
    // first: attach `printer` and show; last: hide; neither: refresh.
    virtual void UpdateDisplay(TVelkCustomFaxPrinter& printer, bool first, bool last) = 0;
    virtual bool Visible() const = 0;
};

enum class TFaxPrintScale { psFitToPage };

// What one print run did.
struct FaxPrintReport {
    int pagesPrinted = 0;
    int sheets = 0;
    std::vector<int> failedPages; // pages that could not be decoded
    bool aborted = false;
    bool jobFailed = false;  // the job could not start or end
    QString error;           // why, for the user
};

class TVelkCustomFaxPrinter {
public:
    TVelkCustomFaxPrinter();
    virtual ~TVelkCustomFaxPrinter();
    TVelkCustomFaxPrinter(const TVelkCustomFaxPrinter&) = delete;
    TVelkCustomFaxPrinter& operator=(const TVelkCustomFaxPrinter&) = delete;

    QString Caption = QStringLiteral("Parvane fax");
    TVelkFaxPrinterMargin FaxHeader;
    TVelkFaxPrinterMargin FaxFooter;
    bool MultiPage = false;
    TFaxPrintScale PrintScale = TFaxPrintScale::psFitToPage;
    std::uint16_t FirstPage = 0;
    std::uint16_t LastPage = 0;
    // Wait two ticks around each page's drawing ([Other] ImposeWaitBeforePrinting).
    bool ImposeWait = false;

    TVelkAbstractFaxPrinterStatus* StatusDisplay = nullptr;
    TVelkCustomFaxPrinterLog* FaxPrinterLog = nullptr;

    std::function<void(TVelkCustomFaxPrinter&, PrintStatus)> OnFaxPrintStatus;
    std::function<void(TVelkCustomFaxPrinter&, PrintLogCode)> OnFaxPrintLog;
    std::function<void(TVelkCustomFaxPrinter&, int currentPage, int pageCount)> OnNextPage;
    // Runs pending events; by default the Qt application's, when there is one.
    std::function<void()> ProcessMessages;
    // Where the next job goes; by default the printer the print dialog set up.
    std::function<std::unique_ptr<PageSink>()> SinkFactory;

    const std::filesystem::path& FileName() const { return fileName_; }
    // Reads the page count, resolution and width of the file and selects every page.
    // A file that cannot be read gets no pages (and prints nothing).
    void SetFileName(const std::filesystem::path& name);
    int PageCount() const { return pageCount_; }
    std::uint16_t CurrentPage() const { return currentPage_; }
    int ResolutionCode() const { return resolution_; } // 0 standard, 1 high
    int WidthCode() const { return width_; }           // 0 1728, 1 2048
    PrintStatus Status() const { return status_; }
    bool Printing() const { return sink_ && sink_->printing(); }

    // The printer the print dialog edits (created on first use).
    QPrinter& Printer();
    // The system print dialog over Printer() with the page range; on OK the range is
    // taken over and true returned.
    bool PrintSetup(QWidget* parent = nullptr);
    // Prints FirstPage..LastPage; nothing when the file has no pages.
    FaxPrintReport PrintFax();
    // Stops the running job: nothing more is printed and the job is dropped.
    void Abort();

protected:
    virtual void PrintHeader(PageSink& sink, int page, PrintRect& rect);
    virtual void PrintFooter(PageSink& sink, int page, PrintRect& rect);

private:
    void setStatus(PrintStatus status, bool force = false);
    void writeLog(PrintLogCode code);
    void pump();
    void waitTicks();
    QString expand(const QString& caption, int page) const;
    QFont marginFont(const TVelkFaxPrinterMargin& m) const;
    FaxPrintReport runJob();
    bool printPage(int page, FaxPrintReport& report);

    std::filesystem::path fileName_;
    int pageCount_ = 0;
    int resolution_ = 0;
    int width_ = 0;
    std::uint16_t currentPage_ = 0;
    PrintStatus status_ = PrintStatus::Idle;
    faximage::TVelkFaxUnpacker unpacker_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<PageSink> sink_;
    bool aborted_ = false;
};

class TVelkFaxPrinter : public TVelkCustomFaxPrinter {};

// The fax page as an image Qt can draw (1 = white bitmaps keep their bits).
QImage toQImage(const faximage::MonoBitmap& bitmap);

} // namespace workflow::printing
