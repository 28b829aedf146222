// Pages of a rich-text document: lays the document out on the text area of a PageSetup
// (hard page breaks start a new page, lines are never cut between pages) and paints one
// page at a time, scaled to the target's resolution.
//
// A page is named by a position: the character position where it begins. Position 0 is
// the first page; painting a page returns the position of the next one, or 0 after the
// last.
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QImage>
#include <QRectF>

class QPainter;
class QTextDocument;

namespace workflow::richtext {

class PagePainter {
public:
    // Takes over the document's layout settings (page size, design metrics, no document
    // margin, a 96-dpi layout device) for the painter's life.
    explicit PagePainter(QTextDocument& document, const PageSetup& page = {});
    ~PagePainter();
    PagePainter(const PagePainter&) = delete;
    PagePainter& operator=(const PagePainter&) = delete;

    // Paints the page that begins at `start` into `target` (device pixels of a device of
    // `dpi` dots per inch, its top-left the text area's top-left; what does not fit is
    // clipped). Returns where the next page begins, or 0 when this was the last.
    int paintPage(QPainter& painter, int start, const QRectF& target, double dpi);
    // The same with a resolution of its own across and down (a fax line is not square).
    int paintPage(QPainter& painter, int start, const QRectF& target, double dpiX, double dpiY);

    // The page (0-based) a position lies on, and the position where page `index + 1`
    // begins (0 when there is none).
    int pageOf(int position) const;
    int nextPageStart(int position) const;
    int pageCount() const;

    const PageSetup& page() const { return page_; }

private:
    double lineTop(int position) const;

    QTextDocument& document_;
    PageSetup page_;
    QImage layoutDevice_;
    double pageHeight_ = 0;
};

} // namespace workflow::richtext
