// TViewer: the window that shows the pages of a fax file. It holds the decoded page
// bitmaps and does scrolling, zooming by scale fractions, rotation, marking a rectangle
// and copying it to the clipboard; dropped files are loaded.
//
// Operations return 0 or a negative code (see fax_page_store.h; -8050 "No image loaded
// into viewer", -8051 "No block of image marked"). Errors met while a page is prepared
// go out as viewerError() instead: the page shows blank and the other pages stay
// reachable.
#pragma once

#include "workflow/viewer/fax_page_store.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace workflow::viewer {

struct ScaleFactors {
    int hMult = 1, hDiv = 1, vMult = 1, vDiv = 1;
    bool unit() const { return hMult == hDiv && vMult == vDiv; }
};

class TViewer : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TViewer(QWidget* parent = nullptr);
    ~TViewer() override;

    // Loads a fax (an empty name drops it): -2 for a missing file, -8001 when it is not
    // an APF file. Goes to page 1 with rotation 0 and scale 1/1.
    int setFile(const std::filesystem::path& file);
    QString fileName() const;
    bool hasFax() const { return store_.hasFax(); }

    void setForeground(const QColor& colour); // drawn for 0 bits
    void setBackground(const QColor& colour); // drawn for 1 bits and beyond the page
    QColor foreground() const { return fg_; }
    QColor background() const { return bg_; }

    // Factors below 1 are read as 1.
    void setScale(const ScaleFactors& scale);
    ScaleFactors scale() const { return scale_; }
    // Line scroll steps in pixels; 0 leaves a step as it is.
    void setScrollSteps(int horizontal, int vertical);
    int horizontalStep() const { return hStep_; }
    int verticalStep() const { return vStep_; }

    int selectAll();
    // `rect` in displayed (scaled) page pixels, clipped to the page.
    int select(const QRect& rect);
    // The marked rectangle in displayed page pixels; empty when nothing is marked.
    QRect mark() const { return mark_; }
    int copy();

    int setWhitespace(int from, int to);
    // A copy of a page's bitmap (1 = white), decoded when needed without disturbing the
    // page shown; empty on failure, with the code in *error.
    faximage::MonoBitmap pageBitmap(int page, int* error = nullptr);
    int pageCount() const { return store_.pageCount(); }
    int currentPage() const { return hasFax() ? page_ : 0; }

    // While locked, changes do not lay out the page; the last end prepares it again.
    void startUpdate();
    void endUpdate();

    // -1002 outside 1..pageCount.
    int gotoPage(int page);
    void firstPage();
    void lastPage();
    void nextPage();
    void previousPage();

    // Instead of a fax, the window is filled and `name` drawn (for form designers).
    void setDesignMode(const QString& name);

    // 0-3 quarter turns clockwise: -8 for any other value or when memory runs out.
    int setRotation(int rotation);
    int rotation() const { return store_.rotation(); }

    // faximage::ufDoubleHeight, ufHalfWidth or 0: how standard-resolution pages are
    // made square for later decodes.
    void setAutoScale(unsigned flags);
    unsigned autoScale() const { return store_.autoScale(); }

    // (0, 0, width - 1, height - 1) of the page's bitmap; all 0 without a fax.
    QRect pageDim() const;
    int setLoadWholeFax(bool on);
    bool loadWholeFax() const { return store_.loadWholeFax(); }
    void setBusyCursor(const QCursor& cursor) { busyCursor_ = cursor; }
    std::uint16_t pageFlags() const { return store_.lastPageFlags(); }

    // What is shown: the page scaled, and the top-left corner of the view in it.
    QSize scaledSize() const { return {scaledW_, scaledH_}; }
    QPoint scrollPosition() const;
    void scrollTo(const QPoint& position);
    // The page as drawn (1:1 with the scaled size), for tests and snapshots.
    const QImage& shownImage() const { return shown_; }
    const FaxPageStore& store() const { return store_; }

    // A page change is in progress somewhere in the program: page requests are ignored.
    static bool busy();

signals:
    void pageChanged(int page);
    void viewerError(int code);
    void fileDropped(const QString& file);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void preparePage();
    void rebuildShown();
    void updateScrollBars();
    void dropFax();
    void clearMark();
    void setMarkCorner(const QPoint& viewportPos);
    void scrollBy(int dx, int dy);
    void showBusy(bool on);

    FaxPageStore store_;
    int page_ = 0;
    int lastNotifiedPage_ = 0;
    int updateLock_ = 0;
    QColor fg_ = Qt::black;
    QColor bg_ = Qt::white;
    ScaleFactors scale_;
    int hStep_ = 8, vStep_ = 8;
    int scaledW_ = 0, scaledH_ = 0;
    QImage shown_;
    QCursor busyCursor_ = Qt::ArrowCursor;
    QString designText_;

    // Marking with the mouse: the fixed corner, the rectangle, and auto-scrolling.
    bool marking_ = false;
    QPoint anchor_;
    QPoint lastPointer_;
    QRect mark_;
    QBasicTimer autoScroll_;
};

} // namespace workflow::viewer
