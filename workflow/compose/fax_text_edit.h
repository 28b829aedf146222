// The text area of the composing editors: a QTextEdit laid out like the fax page (a
// 7.5-inch line, 10-inch pages), zoomed by laying the document out for a device of
// proportionally more dots per inch, with dashed marks where the fax pages will break.
// Pasted RTF goes through our own RTF reader so formatting from other programs stays.
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QImage>
#include <QTextEdit>

#include <vector>

namespace workflow::compose {

class FaxTextEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit FaxTextEdit(QWidget* parent = nullptr);

    int zoom() const { return zoom_; }
    void setZoom(int percent);

    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool on);

    // Lays the document out again on the current page and zoom (after a document swap
    // or a page-break change).
    void refreshLayout();

    // Document y positions (layout units of the current zoom) where a new fax page starts.
    std::vector<double> pageBreakPositions() const;

    const richtext::PageSetup& page() const { return page_; }

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void paintEvent(QPaintEvent* event) override;

private:
    double layoutDpi() const;
    // Document positions where the fax pages after the first begin.
    const std::vector<int>& pageStarts() const;

    richtext::PageSetup page_;
    QImage layoutDevice_;
    int zoom_ = 100;
    bool wordWrap_ = true;
    mutable std::vector<int> pageStarts_;
    mutable bool pageStartsStale_ = true;
    QMetaObject::Connection contentsWatch_;
};

// The MIME types offering RTF, in the order they are tried.
const QStringList& rtfMimeTypes();

} // namespace workflow::compose
