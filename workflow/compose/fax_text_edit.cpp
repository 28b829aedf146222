#include "workflow/compose/fax_text_edit.h"

#include "workflow/richtext/page_painter.h"
#include "workflow/richtext/rich_units.h"
#include "workflow/richtext/rtf_reader.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextLayout>

#include <cmath>
#include <memory>

namespace workflow::compose {

namespace {

constexpr double kMetresPerInch = 0.0254;

// Images of a pasted document live as resources of that document; the target needs
// its own copies under the same names.
void copyImageResources(const QTextDocument& from, QTextDocument& to) {
    for (QTextBlock b = from.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                continue;
            const QUrl name(f.toImageFormat().name());
            const QVariant image = from.resource(QTextDocument::ImageResource, name);
            if (image.isValid())
                to.addResource(QTextDocument::ImageResource, name, image);
        }
    }
}

} // namespace

const QStringList& rtfMimeTypes() {
    static const QStringList types{QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                                   QStringLiteral("text/richtext")};
    return types;
}

FaxTextEdit::FaxTextEdit(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    setZoom(100);
}

double FaxTextEdit::layoutDpi() const {
    const double screen = logicalDpiY() > 0 ? logicalDpiY() : richtext::kUnitsPerInch;
    return screen * zoom_ / 100.0;
}

void FaxTextEdit::setZoom(int percent) {
    zoom_ = std::clamp(percent, 10, 400);
    const double dpi = layoutDpi();
    layoutDevice_ = QImage(8, 8, QImage::Format_Mono);
    const int dotsPerMetre = static_cast<int>(std::lround(dpi / kMetresPerInch));
    layoutDevice_.setDotsPerMeterX(dotsPerMetre);
    layoutDevice_.setDotsPerMeterY(dotsPerMetre);
    refreshLayout();
}

void FaxTextEdit::setWordWrap(bool on) {
    wordWrap_ = on;
    refreshLayout();
}

void FaxTextEdit::refreshLayout() {
    QTextDocument* doc = document();
    pageStartsStale_ = true;
    disconnect(contentsWatch_);
    contentsWatch_ = connect(doc, &QTextDocument::contentsChanged, this, [this] { pageStartsStale_ = true; });
    doc->documentLayout()->setPaintDevice(&layoutDevice_);
    const double lineInches = (page_.paperWidthTw - page_.marginLeftTw - page_.marginRightTw) /
                              double(richtext::kTwipsPerInch);
    if (wordWrap_) {
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(static_cast<int>(std::lround(lineInches * layoutDpi())));
    } else {
        setLineWrapMode(QTextEdit::NoWrap);
    }
    doc->markContentsDirty(0, doc->characterCount());
    viewport()->update();
}

// The marks come from the renderer itself, run on a copy of the document: the editor's
// layout at another zoom or screen resolution wraps and spaces lines a little differently
// and would put its own breaks a line off the fax's.
const std::vector<int>& FaxTextEdit::pageStarts() const {
    if (pageStartsStale_) {
        pageStarts_.clear();
        const std::unique_ptr<QTextDocument> copy(document()->clone());
        richtext::PagePainter painter(*copy, page_);
        for (int start = painter.nextPageStart(0); start > 0; start = painter.nextPageStart(start))
            pageStarts_.push_back(start);
        pageStartsStale_ = false;
    }
    return pageStarts_;
}

std::vector<double> FaxTextEdit::pageBreakPositions() const {
    std::vector<double> breaks;
    const QTextDocument* doc = document();
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    for (int start : pageStarts()) {
        const QTextBlock block = doc->findBlock(start);
        const QRectF box = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        const QTextLine line = lines ? lines->lineForTextPosition(start - block.position()) : QTextLine();
        breaks.push_back(box.top() + (line.isValid() ? line.y() : 0.0));
    }
    return breaks;
}

bool FaxTextEdit::canInsertFromMimeData(const QMimeData* source) const {
    for (const QString& type : rtfMimeTypes())
        if (source->hasFormat(type))
            return true;
    return QTextEdit::canInsertFromMimeData(source);
}

void FaxTextEdit::insertFromMimeData(const QMimeData* source) {
    for (const QString& type : rtfMimeTypes()) {
        if (!source->hasFormat(type))
            continue;
        const QByteArray bytes = source->data(type);
        QTextDocument pasted;
        richtext::readRtf(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), pasted);
        copyImageResources(pasted, *document());
        textCursor().insertFragment(QTextDocumentFragment(&pasted));
        ensureCursorVisible();
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

void FaxTextEdit::paintEvent(QPaintEvent* event) {
    QTextEdit::paintEvent(event);
    const std::vector<double> breaks = pageBreakPositions();
    if (breaks.empty())
        return;
    QPainter p(viewport());
    QPen pen(palette().color(QPalette::Mid));
    pen.setStyle(Qt::DashLine);
    p.setPen(pen);
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    p.setFont(small);
    const int dy = verticalScrollBar()->value();
    int pageNumber = 2;
    for (double y : breaks) {
        const int vy = static_cast<int>(std::lround(y)) - dy;
        if (vy >= 0 && vy <= viewport()->height()) {
            p.drawLine(0, vy, viewport()->width(), vy);
            p.drawText(QPoint(viewport()->width() - 60, vy - 2), tr("Page %1").arg(pageNumber));
        }
        ++pageNumber;
    }
}

} // namespace workflow::compose
