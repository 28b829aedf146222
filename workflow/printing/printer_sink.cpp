// The page sink over Qt's printer: a CUPS queue, or a PDF file written by Qt itself.
#include "page_sink.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

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

// A job for a CUPS queue. The sheets go into a PDF file first and reach the queue only
// when the job ends, so an aborted job never shows up in the queue (Qt's own queue
// engine hands the job over even when it is aborted).
class CupsQueueSink final : public PageSink {
public:
    CupsQueueSink(QString queue, const QPageLayout& layout, int copies, QPrinter::DuplexMode duplex)
        : queue_(std::move(queue)), copies_(copies), duplex_(duplex) {
        QTemporaryFile probe(QDir::tempPath() + "/parvane-print-XXXXXX.pdf");
        probe.setAutoRemove(false);
        if (probe.open())
            file_ = probe.fileName();
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file_);
        printer->setPageLayout(layout);
        QPrinter& ref = *printer;
        pdf_ = std::make_unique<PrinterSink>(ref, std::move(printer));
    }
    ~CupsQueueSink() override {
        pdf_.reset();
        if (!file_.isEmpty())
            QFile::remove(file_);
    }

    bool beginDocument(const QString& title) override {
        title_ = title;
        if (queue_.isEmpty()) {
            // A printer never set up: the default queue, or the only one there is.
            queue_ = defaultPrinterName();
            const QStringList names = availablePrinterNames();
            if (queue_.isEmpty() && !names.isEmpty())
                queue_ = names.front();
            if (queue_.isEmpty()) {
                error_ = kNoPrinterInstalled;
                return false;
            }
        }
        if (file_.isEmpty()) {
            error_ = "Cannot make a temporary file for the print job";
            return false;
        }
        if (QStandardPaths::findExecutable("lp").isEmpty()) {
            error_ = "The CUPS client program lp is not installed";
            return false;
        }
        return pdf_->beginDocument(title);
    }
    PrintRect sheetRect() const override { return pdf_->sheetRect(); }
    SheetOrientation orientation() const override { return pdf_->orientation(); }
    bool newSheet() override { return pdf_->newSheet(); }
    void drawImage(const PrintRect& box, const QImage& image) override { pdf_->drawImage(box, image); }
    int textHeight(const QString& text, const QFont& font) override { return pdf_->textHeight(text, font); }
    void drawText(const PrintRect& box, const QString& text, const QFont& font) override {
        pdf_->drawText(box, text, font);
    }
    void drawRule(int left, int right, int y) override { pdf_->drawRule(left, right, y); }

    bool endDocument() override {
        if (!pdf_->endDocument()) {
            error_ = pdf_->error();
            return false;
        }
        QStringList args{"-d", queue_, "-t", title_, "-n", QString::number(std::max(copies_, 1))};
        switch (duplex_) {
        case QPrinter::DuplexLongSide:
            args << "-o" << "sides=two-sided-long-edge";
            break;
        case QPrinter::DuplexShortSide:
            args << "-o" << "sides=two-sided-short-edge";
            break;
        case QPrinter::DuplexAuto:
        case QPrinter::DuplexNone:
            break;
        }
        args << "--" << file_;
        QProcess lp;
        lp.start(QStandardPaths::findExecutable("lp"), args);
        if (!lp.waitForFinished(kSubmitTimeoutMs) || lp.exitStatus() != QProcess::NormalExit ||
            lp.exitCode() != 0) {
            lp.kill();
            lp.waitForFinished(1000);
            error_ = "CUPS refused the print job for " + queue_ + ": " +
                     QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
            return false;
        }
        return true;
    }

    void abort() override { pdf_->abort(); }
    bool printing() const override { return pdf_->printing(); }
    QString error() const override { return error_.isEmpty() ? pdf_->error() : error_; }
    int sheets() const override { return pdf_->sheets(); }

private:
    static constexpr int kSubmitTimeoutMs = 60000;

    QString queue_;
    int copies_;
    QPrinter::DuplexMode duplex_;
    QString file_;
    QString title_;
    QString error_;
    std::unique_ptr<PrinterSink> pdf_;
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
    QPrinter queue(QPrinterInfo::printerInfo(name), QPrinter::HighResolution);
    QPageLayout layout = queue.pageLayout();
    layout.setOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    return std::make_unique<CupsQueueSink>(name, layout, 1, QPrinter::DuplexNone);
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
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return std::make_unique<PrinterSink>(printer, nullptr);
    return std::make_unique<CupsQueueSink>(printer.printerName(), printer.pageLayout(),
                                           printer.copyCount(), printer.duplex());
}

} // namespace workflow::printing
