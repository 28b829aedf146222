// Where a print job goes: a narrow seam between the fax printer's layout and the device.
// One sink is one document; calls come in the order begin, (drawing, newSheet)..., then
// end or abort.
#pragma once

#include "print_layout.h"

#include <QFont>
#include <QImage>
#include <QString>

#include <filesystem>
#include <memory>

class QPrinter;

namespace workflow::printing {

class PageSink {
public:
    virtual ~PageSink() = default;

    // Opens the document with its job title and its first sheet; false with error() set.
    virtual bool beginDocument(const QString& title) = 0;
    // The printable area of a sheet in device pixels, origin at its top-left.
    virtual PrintRect sheetRect() const = 0;
    virtual SheetOrientation orientation() const = 0;
    virtual bool newSheet() = 0;
    // The image scaled into `box`, pixels kept hard (no smoothing).
    virtual void drawImage(const PrintRect& box, const QImage& image) = 0;
    // Height of one line of `text` in `font`, in device pixels.
    virtual int textHeight(const QString& text, const QFont& font) = 0;
    // One line of text at the box's top-left, clipped to the box.
    virtual void drawText(const PrintRect& box, const QString& text, const QFont& font) = 0;
    // A one-pixel horizontal rule.
    virtual void drawRule(int left, int right, int y) = 0;
    // Finishes and hands the document on; false with error() set.
    virtual bool endDocument() = 0;
    // Drops the document: nothing reaches the printer (or the file).
    virtual void abort() = 0;
    // True between a successful begin and end or abort.
    virtual bool printing() const = 0;
    virtual QString error() const = 0;
    // Sheets begun so far.
    virtual int sheets() const = 0;
};

// Printer names of the system (CUPS queues) and the default one; the default is empty
// when none is set.
QStringList availablePrinterNames();
QString defaultPrinterName();

// A sink printing on CUPS queue `printerName` (empty: the default printer, or the only
// one); nullptr with `error` set when there is no such printer.
std::unique_ptr<PageSink> makePrinterSink(const QString& printerName, bool landscape,
                                          QString& error);
// A sink writing a PDF file (A4); an aborted job leaves no file.
std::unique_ptr<PageSink> makePdfFileSink(const std::filesystem::path& file, bool landscape);
// A sink over a printer set up elsewhere (the print dialog): a queue, or a PDF file when
// the dialog's "Print to File (PDF)" was chosen. The printer must outlive the sink.
std::unique_ptr<PageSink> makeSinkFor(QPrinter& printer);

inline constexpr const char* kNoPrinterInstalled =
    "No printer is installed. Add a printer to the system (CUPS) to print faxes.";

} // namespace workflow::printing
