#include "workflow/richtext/page_painter.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace workflow::richtext {

namespace {
constexpr double kInchesPerMeter = 39.3700787;
// A line counts as on the next page when it starts within half a unit of its top.
constexpr double kPageEdgeSlack = 0.5;
} // namespace

QSizeF PageSetup::textAreaUnits() const {
    const double w = paperWidthTw - marginLeftTw - marginRightTw;
    const double h = paperHeightTw - marginTopTw - marginBottomTw;
    return {unitsFromTwips(std::max<double>(w, kTwipsPerInch)),
            unitsFromTwips(std::max<double>(h, kTwipsPerInch))};
}

PagePainter::PagePainter(QTextDocument& document, const PageSetup& page)
    : document_(document), page_(page), layoutDevice_(1, 1, QImage::Format_Mono) {
    // Points become units at 96 dpi whatever the screen, so a page holds the same text
    // on every machine.
    const int dotsPerMeter = static_cast<int>(std::lround(kUnitsPerInch * kInchesPerMeter));
    layoutDevice_.setDotsPerMeterX(dotsPerMeter);
    layoutDevice_.setDotsPerMeterY(dotsPerMeter);
    document_.setUseDesignMetrics(true);
    document_.setDocumentMargin(0);
    document_.documentLayout()->setPaintDevice(&layoutDevice_);
    const QSizeF area = page_.textAreaUnits();
    pageHeight_ = area.height();
    document_.setPageSize(area);
}

PagePainter::~PagePainter() { document_.documentLayout()->setPaintDevice(nullptr); }

int PagePainter::pageCount() const { return std::max(1, document_.pageCount()); }

double PagePainter::lineTop(int position) const {
    const QTextBlock block = document_.findBlock(position);
    if (!block.isValid())
        return 0;
    const QRectF box = document_.documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    const QTextLine line = layout ? layout->lineForTextPosition(position - block.position()) : QTextLine();
    return box.top() + (line.isValid() ? line.y() : 0.0);
}

int PagePainter::pageOf(int position) const {
    // Not 0 for position 0 when the layout puts the first line on a later page (a break
    // before the first paragraph): that blank page is never painted.
    position = std::max(position, 0);
    return std::max(0, static_cast<int>(std::floor((lineTop(position) + kPageEdgeSlack) / pageHeight_)));
}

int PagePainter::nextPageStart(int position) const {
    const int page = pageOf(position);
    const double nextTop = (page + 1) * pageHeight_;
    for (QTextBlock block = document_.findBlock(std::max(position, 0)); block.isValid();
         block = block.next()) {
        const QRectF box = document_.documentLayout()->blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() == 0)
            continue;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int at = block.position() + line.textStart();
            if (at <= position)
                continue;
            if (box.top() + line.y() + kPageEdgeSlack >= nextTop)
                return at;
        }
    }
    return 0;
}

int PagePainter::paintPage(QPainter& painter, int start, const QRectF& target, double dpi) {
    return paintPage(painter, start, target, dpi, dpi);
}

int PagePainter::paintPage(QPainter& painter, int start, const QRectF& target, double dpiX, double dpiY) {
    const int page = pageOf(start);
    const QSizeF area = page_.textAreaUnits();
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    painter.translate(target.topLeft());
    painter.scale(dpiX / kUnitsPerInch, dpiY / kUnitsPerInch);
    painter.translate(0, -page * pageHeight_);
    const QRectF pageRect(0, page * pageHeight_, area.width(), pageHeight_);
    painter.setClipRect(pageRect, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = pageRect;
    context.palette.setColor(QPalette::Text, Qt::black);
    document_.documentLayout()->draw(&painter, context);
    painter.restore();
    return nextPageStart(start);
}

} // namespace workflow::richtext
