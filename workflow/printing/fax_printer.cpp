#include "fax_printer.h"

#include "print_tags.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>

#include <chrono>

namespace workflow::printing {

namespace {

constexpr std::chrono::milliseconds kTick{55};
constexpr int kWaitTicks = 2;

QString notDecodedText(int page, int count) {
    return QStringLiteral("Page %1 of %2 could not be read from the fax file.").arg(page).arg(count);
}

} // namespace

QImage toQImage(const faximage::MonoBitmap& bitmap) {
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_Mono);
    const bool oneIsWhite = bitmap.sense() == faximage::PixelSense::OneIsWhite;
    image.setColorTable({oneIsWhite ? qRgb(0, 0, 0) : qRgb(255, 255, 255),
                         oneIsWhite ? qRgb(255, 255, 255) : qRgb(0, 0, 0)});
    const std::size_t bytes = faximage::MonoBitmap::bytesForWidth(bitmap.width());
    for (int y = 0; y < bitmap.height(); ++y)
        std::copy_n(bitmap.row(y), bytes, image.scanLine(y));
    return image;
}

TVelkCustomFaxPrinter::TVelkCustomFaxPrinter() {
    FaxHeader.Caption = QStringLiteral("FILE: $F");
    FaxHeader.Enabled = true;
    FaxFooter.Caption = QStringLiteral("PAGE: $P of $N");
    FaxFooter.Enabled = true;
    // Rows one to one: standard pages keep their aspect through the layout, not by
    // doubling their rows in memory.
    unpacker_.AutoScaleMode = faximage::TAutoScaleMode::asNone;
    unpacker_.SetOptions(faximage::uoYield);
    unpacker_.OnYield = [this] {
        pump();
        return true;
    };
}

TVelkCustomFaxPrinter::~TVelkCustomFaxPrinter() = default;

void TVelkCustomFaxPrinter::SetFileName(const std::filesystem::path& name) {
    if (name == fileName_)
        return;
    fileName_ = name;
    unpacker_.SetInFileName(name.string());
    pageCount_ = 0;
    resolution_ = 0;
    width_ = 0;
    faximage::ApfReader reader;
    if (reader.open(name) == 0) {
        pageCount_ = reader.pageCount();
        faximage::ApfPageInfo info;
        if (pageCount_ > 0 && reader.locatePage(1, info) == 0) {
            resolution_ = info.header.highResolution() ? 1 : 0;
            width_ = info.header.wide() ? 1 : 0;
        }
    }
    FirstPage = pageCount_ > 0 ? 1 : 0;
    LastPage = static_cast<std::uint16_t>(std::min(pageCount_, 0xFFFF));
}

QPrinter& TVelkCustomFaxPrinter::Printer() {
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

bool TVelkCustomFaxPrinter::PrintSetup(QWidget* parent) {
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pageCount_ > 0);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setMinMax(pageCount_ > 0 ? 1 : 0, pageCount_);
    printer.setFromTo(FirstPage, LastPage);
    printer.setPrintRange(QPrinter::PageRange);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        FirstPage = static_cast<std::uint16_t>(printer.fromPage());
        LastPage = static_cast<std::uint16_t>(printer.toPage());
    } else {
        FirstPage = pageCount_ > 0 ? 1 : 0;
        LastPage = static_cast<std::uint16_t>(pageCount_);
    }
    return true;
}

void TVelkCustomFaxPrinter::pump() {
    if (ProcessMessages)
        ProcessMessages();
    else if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void TVelkCustomFaxPrinter::waitTicks() {
    if (!ImposeWait)
        return;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kWaitTicks * kTick.count() && Printing()) {
        pump();
        QThread::msleep(5);
    }
}

void TVelkCustomFaxPrinter::setStatus(PrintStatus status, bool force) {
    if (status != status_ || force) {
        status_ = status;
        if (OnFaxPrintStatus)
            OnFaxPrintStatus(*this, status);
        if (StatusDisplay && StatusDisplay->Visible()) {
            try {
                StatusDisplay->UpdateDisplay(*this, false, false);
            } catch (...) {
                // A display that cannot refresh must not stop the job.
            }
        }
    }
    pump();
}

void TVelkCustomFaxPrinter::writeLog(PrintLogCode code) {
    if (FaxPrinterLog)
        FaxPrinterLog->UpdateLog(code, fileName_.string());
    if (OnFaxPrintLog)
        OnFaxPrintLog(*this, code);
}

QString TVelkCustomFaxPrinter::expand(const QString& caption, int page) const {
    CaptionValues v;
    v.date = localShortDate();
    v.time = localLongTime();
    v.fileName = fileName_.string();
    v.pageCount = pageCount_;
    v.page = page;
    return QString::fromStdString(expandCaption(caption.toStdString(), v));
}

QFont TVelkCustomFaxPrinter::marginFont(const TVelkFaxPrinterMargin& m) const {
    QFont font = m.Font;
    if (MultiPage && font.pointSize() > 0)
        font.setPointSize(std::max(1, font.pointSize() / 2));
    return font;
}

void TVelkCustomFaxPrinter::PrintHeader(PageSink& sink, int page, PrintRect& rect) {
    const QString text = expand(FaxHeader.Caption, page);
    const QFont font = marginFont(FaxHeader);
    const int h = sink.textHeight(text, font);
    FaxHeader.Height = static_cast<std::uint16_t>(h);
    const MarginBand band = takeHeader(rect, h);
    sink.drawText(band.text, text, font);
    sink.drawRule(band.text.left, band.text.right, band.ruleY);
}

void TVelkCustomFaxPrinter::PrintFooter(PageSink& sink, int page, PrintRect& rect) {
    const QString text = expand(FaxFooter.Caption, page);
    const QFont font = marginFont(FaxFooter);
    const int h = sink.textHeight(text, font);
    FaxFooter.Height = static_cast<std::uint16_t>(h);
    const MarginBand band = takeFooter(rect, h);
    sink.drawText(band.text, text, font);
    sink.drawRule(band.text.left, band.text.right, band.ruleY);
}

FaxPrintReport TVelkCustomFaxPrinter::PrintFax() {
    try {
        return runJob();
    } catch (...) {
        // A print log that cannot be written reaches the caller; the job goes with it.
        if (sink_)
            sink_->abort();
        sink_.reset();
        currentPage_ = 0;
        status_ = PrintStatus::Idle;
        if (StatusDisplay)
            StatusDisplay->UpdateDisplay(*this, false, true);
        throw;
    }
}

FaxPrintReport TVelkCustomFaxPrinter::runJob() {
    FaxPrintReport report;
    if (pageCount_ == 0)
        return report;
    if (sink_) {
        report.jobFailed = true;
        report.error = QStringLiteral("A print job is already running");
        return report;
    }
    aborted_ = false;
    unpacker_.SetOptions(faximage::uoYield);
    setStatus(PrintStatus::Idle, true);
    if (StatusDisplay)
        StatusDisplay->UpdateDisplay(*this, true, false);
    writeLog(PrintLogCode::Start);

    sink_ = SinkFactory ? SinkFactory() : makeSinkFor(Printer());
    const auto finish = [&] {
        if (StatusDisplay)
            StatusDisplay->UpdateDisplay(*this, false, true);
        sink_.reset();
        currentPage_ = 0;
    };
    if (!sink_ || !sink_->beginDocument(Caption)) {
        report.jobFailed = true;
        report.error = sink_ ? sink_->error() : QString(kNoPrinterInstalled);
        writeLog(PrintLogCode::Fail);
        setStatus(PrintStatus::Idle);
        finish();
        return report;
    }

    const int first = std::max<int>(FirstPage, 1);
    const int last = std::min<int>(LastPage, pageCount_);
    for (int p = first; p <= last; ++p) {
        currentPage_ = static_cast<std::uint16_t>(p);
        pump();
        if (sink_->printing() && startsNewSheet(p, first, MultiPage, sink_->orientation()))
            if (!sink_->newSheet()) {
                report.jobFailed = true;
                report.error = sink_->error();
                sink_->abort();
            }
        pump();
        if (aborted_ || !sink_->printing())
            break;
        if (!printPage(p, report))
            break;
    }

    pump();
    if (aborted_) {
        report.aborted = true;
    } else {
        if (sink_->printing() && !sink_->endDocument()) {
            report.jobFailed = true;
            report.error = sink_->error();
        }
        report.sheets = sink_->sheets();
        writeLog(report.jobFailed ? PrintLogCode::Fail : PrintLogCode::Finish);
    }
    setStatus(PrintStatus::Idle);
    finish();
    return report;
}

// One page onto the open sheet; false when the job stopped meanwhile.
bool TVelkCustomFaxPrinter::printPage(int p, FaxPrintReport& report) {
    if (OnNextPage)
        OnNextPage(*this, p, pageCount_);
    if (aborted_ || !sink_->printing())
        return false;
    setStatus(PrintStatus::Converting);
    faximage::MonoBitmap bitmap;
    FaxPageShape shape;
    try {
        faximage::ApfReader reader;
        faximage::checkApd(reader.open(fileName_));
        faximage::ApfPageInfo info;
        faximage::checkApd(reader.locatePage(p, info));
        shape.lineWidth = info.header.lineWidth();
        shape.fine = info.header.highResolution();
        bitmap = unpacker_.UnpackPageToBitmap(p);
    } catch (const std::exception&) {
        bitmap = faximage::MonoBitmap();
    }
    pump();
    if (aborted_ || !sink_->printing())
        return false;
    setStatus(PrintStatus::Composing);

    PrintRect rect = pageSlot(sink_->sheetRect(), p, std::max<int>(FirstPage, 1), MultiPage,
                              sink_->orientation());
    if (FaxHeader.Enabled)
        PrintHeader(*sink_, p, rect);
    if (FaxFooter.Enabled)
        PrintFooter(*sink_, p, rect);

    if (bitmap.empty()) {
        // The sheet says why it is blank instead of leaving the reader guessing.
        const QFont font = marginFont(FaxHeader);
        const QString text = notDecodedText(p, pageCount_);
        sink_->drawText({rect.left, rect.top, rect.right, rect.top + sink_->textHeight(text, font)},
                        text, font);
        report.failedPages.push_back(p);
        writeLog(PrintLogCode::Fail);
        setStatus(PrintStatus::Submitting);
        return true;
    }

    shape.rows = bitmap.height();
    const PrintRect pageBox = fitPage(rect, shape);
    const PrintRect box = bitmapBox(pageBox, shape, bitmap.width());
    setStatus(PrintStatus::Rendering);
    if (sink_->printing()) {
        waitTicks();
        sink_->drawImage(box, toQImage(bitmap));
        waitTicks();
        ++report.pagesPrinted;
    }
    setStatus(PrintStatus::Submitting);
    return true;
}

void TVelkCustomFaxPrinter::Abort() {
    setStatus(PrintStatus::Idle);
    if (Printing()) {
        aborted_ = true;
        unpacker_.SetOptions(unpacker_.Options() | faximage::uoAbort);
        sink_->abort();
        currentPage_ = 0;
        writeLog(PrintLogCode::Abort);
        if (StatusDisplay)
            StatusDisplay->UpdateDisplay(*this, false, true);
    }
    pump();
}

} // namespace workflow::printing
