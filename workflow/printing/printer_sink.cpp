// The page sink over Qt's printer: a CUPS queue, or a PDF file written by Qt itself.
#include "page_sink.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>

#include <vector>

namespace workflow::printing {

namespace {

class PrinterSink final : public PageSink {
public:
    // `owned` may be empty: then `printer` belongs to the caller.
    PrinterSink(QPrinter& printer, std::unique_ptr<QPrinter> owned)
        : owned_(std::move(owned)), printer_(printer) {}
    ~PrinterSink() override {
        if (printing())
            abort();
    }

    bool beginDocument(const QString& title) override {
        printer_.setDocName(title);
        printer_.setFullPage(false);
        if (!painter_.begin(&printer_)) {
            error_ = printer_.outputFormat() == QPrinter::PdfFormat
                         ? "Cannot write the PDF file " + printer_.outputFileName()
                         : "Cannot start a print job on " + printer_.printerName();
            return false;
        }
        painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter_.setRenderHint(QPainter::Antialiasing, false);
        sheets_ = 1;
        return true;
    }

    PrintRect sheetRect() const override { return {0, 0, printer_.width(), printer_.height()}; }

    SheetOrientation orientation() const override {
        return printer_.pageLayout().orientation() == QPageLayout::Landscape
                   ? SheetOrientation::Landscape
                   : SheetOrientation::Portrait;
    }

    bool newSheet() override {
        drawRules();
        if (!printer_.newPage()) {
            error_ = "The printer refused a new sheet";
            return false;
        }
        ++sheets_;
        return true;
    }

    void drawImage(const PrintRect& box, const QImage& image) override {
        painter_.drawImage(QRect(box.left, box.top, box.width(), box.height()), image);
    }

    int textHeight(const QString& text, const QFont& font) override {
        return QFontMetrics(font, &printer_).boundingRect(text.isEmpty() ? QStringLiteral(" ") : text).height();
    }

    void drawText(const PrintRect& box, const QString& text, const QFont& font) override {
        const QRect r(box.left, box.top, box.width(), box.height());
        painter_.save();
        painter_.setFont(font);
        painter_.setPen(Qt::black);
        painter_.setClipRect(r);
        painter_.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        painter_.restore();
    }

    void drawRule(int left, int right, int y) override {
        // Drawn when the sheet is done: a page image right below a rule would cover it
        // wherever a viewer or printer rounds the image's edge upwards.
        rules_.push_back({left, right, y});
    }

    bool endDocument() override {
        drawRules();
        if (!painter_.end()) {
            error_ = "The print job could not be finished";
            return false;
        }
        if (printer_.printerState() == QPrinter::Error) {
            error_ = "The printer reported an error";
            return false;
        }
        return true;
    }

    void abort() override {
        if (!painter_.isActive())
            return;
        const bool pdf = printer_.outputFormat() == QPrinter::PdfFormat;
        // A queue gets the document only when it ends, so the aborted job never reaches
        // CUPS; Qt's PDF writer cannot abort, so its half-written file is removed.
        if (!printer_.abort() || pdf) {
            painter_.end();
            if (pdf)
                QFile::remove(printer_.outputFileName());
        }
        if (painter_.isActive())
            painter_.end();
    }

    bool printing() const override { return painter_.isActive(); }
    QString error() const override { return error_; }
    int sheets() const override { return sheets_; }

private:
    struct Rule {
        int left, right, y;
    };

    void drawRules() {
        // A cosmetic pen: the thinnest line the device shows, not a 1/1200 inch hairline.
        painter_.save();
        painter_.setPen(QPen(Qt::black, 0));
        for (const Rule& r : rules_)
            painter_.drawLine(r.left, r.y, r.right, r.y);
        painter_.restore();
        rules_.clear();
    }

    std::vector<Rule> rules_;
    std::unique_ptr<QPrinter> owned_;
    QPrinter& printer_;
    QPainter painter_;
    QString error_;
    int sheets_ = 0;
};

} // namespace

QStringList availablePrinterNames() { return QPrinterInfo::availablePrinterNames(); }

QString defaultPrinterName() { return QPrinterInfo::defaultPrinterName(); }

std::unique_ptr<PageSink> makePrinterSink(const QString& printerName, bool landscape,
                                          QString& error) {
    const QStringList names = availablePrinterNames();
    if (names.isEmpty()) {
        error = kNoPrinterInstalled;
        return nullptr;
    }
    QString name = printerName;
    if (name.isEmpty())
        name = defaultPrinterName();
    if (name.isEmpty())
        name = names.front(); // no default set: the first queue there is
    if (!names.contains(name)) {
        error = "There is no printer named " + name + ".";
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(name), QPrinter::HighResolution);
    printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPrinter& ref = *printer;
    return std::make_unique<PrinterSink>(ref, std::move(printer));
}

std::unique_ptr<PageSink> makePdfFileSink(const std::filesystem::path& file, bool landscape) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(file.string()));
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPrinter& ref = *printer;
    return std::make_unique<PrinterSink>(ref, std::move(printer));
}

std::unique_ptr<PageSink> makeSinkFor(QPrinter& printer) {
    return std::make_unique<PrinterSink>(printer, nullptr);
}

} // namespace workflow::printing
