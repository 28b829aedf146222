#include "workflow/viewer/viewer_widget.h"

#include "faximage/fax_errors.h"
#include "faximage/unpack_stretch.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace workflow::viewer {

namespace ec = faximage::ec;
using faximage::MonoBitmap;

namespace {

using namespace std::chrono_literals;
constexpr auto kAutoScrollInterval = 50ms;
constexpr int kFarOutsidePixels = 20; // beyond this, auto-scroll takes two steps
constexpr int kJumpSteps = 10;
// Decoding lets the window repaint at most this often.
constexpr auto kYieldInterval = 40ms;

bool g_busy = false;

// A 1 = white bitmap as a one-bit image: index 0 (0 bits) and index 1 (1 bits).
QImage toImage(const MonoBitmap& bmp, const QColor& zero, const QColor& one) {
    if (bmp.empty())
        return {};
    QImage img(bmp.width(), bmp.height(), QImage::Format_Mono);
    if (img.isNull())
        return {};
    img.setColorTable({zero.rgb(), one.rgb()});
    const std::size_t n = std::min<std::size_t>(bmp.stride(), static_cast<std::size_t>(img.bytesPerLine()));
    for (int y = 0; y < bmp.height(); ++y)
        std::memcpy(img.scanLine(y), bmp.row(y), n);
    return img;
}

// The part of `src` inside `r` (clipped), same sense.
MonoBitmap crop(const MonoBitmap& src, QRect r) {
    r = r.intersected(QRect(0, 0, src.width(), src.height()));
    if (r.isEmpty())
        return {};
    MonoBitmap out(r.width(), r.height(), src.sense());
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            if (src.isBlack(r.x() + x, r.y() + y))
                out.setBlack(x, y, true);
    return out;
}

int scaleDown(int v, int mult, int div) { return static_cast<int>(static_cast<long long>(v) * div / mult); }

} // namespace

bool TViewer::busy() { return g_busy; }

TViewer::TViewer(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAutoFillBackground(false);
    setFrameShape(QFrame::NoFrame);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    store_.setYield([clock] {
        // Repaints and timers only: user input waits, so nothing can pull the fax
        // away while it is being decoded.
        if (clock->elapsed() >= std::chrono::milliseconds(kYieldInterval).count()) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            clock->restart();
        }
        return 0;
    });
    updateScrollBars();
}

TViewer::~TViewer() = default;

void TViewer::showBusy(bool on) {
    if (on)
        QApplication::setOverrideCursor(busyCursor_);
    else
        QApplication::restoreOverrideCursor();
}

QString TViewer::fileName() const { return QString::fromStdString(store_.file().string()); }

int TViewer::setFile(const std::filesystem::path& file) {
    dropFax();
    if (file.empty())
        return 0;
    viewport()->update();
    showBusy(true);
    const int rc = store_.open(file);
    showBusy(false);
    if (rc != 0) {
        dropFax();
        return rc;
    }
    page_ = 1;
    lastNotifiedPage_ = 0;
    scale_ = ScaleFactors{};
    preparePage();
    return 0;
}

void TViewer::dropFax() {
    store_.close();
    page_ = 0;
    lastNotifiedPage_ = 0;
    shown_ = QImage();
    scaledW_ = scaledH_ = 0;
    clearMark();
    updateScrollBars();
    viewport()->update();
}

void TViewer::setForeground(const QColor& colour) {
    fg_ = colour;
    if (!shown_.isNull())
        shown_.setColorTable({fg_.rgb(), bg_.rgb()});
    viewport()->update();
}

void TViewer::setBackground(const QColor& colour) {
    bg_ = colour;
    if (!shown_.isNull())
        shown_.setColorTable({fg_.rgb(), bg_.rgb()});
    viewport()->update();
}

void TViewer::setScale(const ScaleFactors& s) {
    scale_ = {std::max(s.hMult, 1), std::max(s.hDiv, 1), std::max(s.vMult, 1), std::max(s.vDiv, 1)};
    preparePage();
}

void TViewer::setScrollSteps(int horizontal, int vertical) {
    if (horizontal > 0)
        hStep_ = horizontal;
    if (vertical > 0)
        vStep_ = vertical;
    updateScrollBars();
}

void TViewer::startUpdate() { ++updateLock_; }

void TViewer::endUpdate() {
    if (updateLock_ > 0 && --updateLock_ == 0)
        preparePage();
}

void TViewer::preparePage() {
    if (updateLock_ > 0 || g_busy)
        return;
    {
        // Page requests that arrive meanwhile (from an error message's loop) are ignored.
        struct BusyFlag {
            BusyFlag() { g_busy = true; }
            ~BusyFlag() { g_busy = false; }
        } busyFlag;
        if (hasFax()) {
            showBusy(true);
            int rc = store_.preparePage(page_);
            showBusy(false);
            if (rc == 0 && page_ != lastNotifiedPage_)
                rc = store_.pageError(page_);
            lastNotifiedPage_ = page_;
            if (rc != 0)
                emit viewerError(rc);
        }
        rebuildShown();
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
        clearMark();
        marking_ = false;
        autoScroll_.stop();
        updateScrollBars();
        viewport()->update();
    }
    if (hasFax())
        emit pageChanged(page_);
}

void TViewer::rebuildShown() {
    shown_ = QImage();
    scaledW_ = scaledH_ = 0;
    const MonoBitmap* bmp = hasFax() ? store_.bitmap(page_) : nullptr;
    if (!bmp || bmp->empty())
        return;
    if (scale_.unit()) {
        shown_ = toImage(*bmp, fg_, bg_);
    } else {
        MonoBitmap scaled;
        const int rc = faximage::stretchBitmap(*bmp, faximage::scaledSize(bmp->width(), scale_.hMult, scale_.hDiv),
                                               faximage::scaledSize(bmp->height(), scale_.vMult, scale_.vDiv), scaled);
        if (rc != 0) {
            emit viewerError(rc);
            return;
        }
        shown_ = toImage(scaled, fg_, bg_);
    }
    scaledW_ = shown_.width();
    scaledH_ = shown_.height();
}

void TViewer::updateScrollBars() {
    const QSize vp = viewport()->size();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, std::max(0, scaledW_ - vp.width()));
    v->setRange(0, std::max(0, scaledH_ - vp.height()));
    h->setSingleStep(hStep_);
    v->setSingleStep(vStep_);
    h->setPageStep(hStep_ * kJumpSteps);
    v->setPageStep(vStep_ * kJumpSteps);
}

QPoint TViewer::scrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void TViewer::scrollTo(const QPoint& p) {
    horizontalScrollBar()->setValue(p.x());
    verticalScrollBar()->setValue(p.y());
}

void TViewer::scrollBy(int dx, int dy) {
    scrollTo(scrollPosition() + QPoint(dx, dy));
}

void TViewer::scrollContentsBy(int dx, int dy) {
    // Shift what is shown; only the uncovered strip is painted again.
    viewport()->scroll(dx, dy);
}

void TViewer::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TViewer::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect area = event->rect();
    p.fillRect(area, bg_);
    if (!designText_.isEmpty()) {
        p.setPen(fg_);
        p.drawText(QPoint(3, 3 + p.fontMetrics().ascent()), designText_);
        return;
    }
    if (shown_.isNull())
        return;
    const QPoint origin = -scrollPosition();
    const QRect page(origin, shown_.size());
    const QRect target = area.intersected(page);
    if (!target.isEmpty())
        p.drawImage(target.topLeft(), shown_, target.translated(-origin));
    if (!mark_.isEmpty()) {
        // The mark is shown inverted.
        const QRect m = mark_.translated(origin).intersected(target);
        if (!m.isEmpty()) {
            QImage part = shown_.copy(m.translated(-origin));
            part.invertPixels();
            p.drawImage(m.topLeft(), part);
        }
    }
}

// --- pages ---

int TViewer::gotoPage(int page) {
    if (page < 1 || page > pageCount())
        return ec::BadArgument;
    if (g_busy)
        return 0;
    page_ = page;
    preparePage();
    return 0;
}

void TViewer::firstPage() {
    if (!hasFax() || g_busy)
        return;
    if (page_ == 1)
        scrollTo({0, 0});
    else
        gotoPage(1);
}

void TViewer::lastPage() {
    if (!hasFax() || g_busy)
        return;
    if (page_ == pageCount())
        scrollTo({0, 0});
    else
        gotoPage(pageCount());
}

void TViewer::nextPage() {
    if (hasFax() && page_ < pageCount())
        gotoPage(page_ + 1);
}

void TViewer::previousPage() {
    if (hasFax() && page_ > 1)
        gotoPage(page_ - 1);
}

faximage::MonoBitmap TViewer::pageBitmap(int page, int* error) {
    MonoBitmap out;
    int rc = hasFax() ? store_.pageCopy(page, out) : ec::NoImageLoaded;
    if (rc != 0)
        out = MonoBitmap();
    if (error)
        *error = rc;
    return out;
}

QRect TViewer::pageDim() const {
    const MonoBitmap* bmp = hasFax() ? store_.bitmap(page_) : nullptr;
    if (!bmp || bmp->empty())
        return QRect(QPoint(0, 0), QPoint(0, 0));
    return QRect(QPoint(0, 0), QPoint(bmp->width() - 1, bmp->height() - 1));
}

int TViewer::setLoadWholeFax(bool on) {
    const bool decoding = on && hasFax();
    if (decoding)
        showBusy(true);
    const int rc = store_.setLoadWholeFax(on, page_);
    if (decoding)
        showBusy(false);
    if (rc != 0)
        dropFax();
    return rc;
}

int TViewer::setWhitespace(int from, int to) { return store_.setWhitespace(from, to); }

void TViewer::setAutoScale(unsigned flags) { store_.setAutoScale(flags); }

void TViewer::setDesignMode(const QString& name) {
    designText_ = name;
    viewport()->update();
}

int TViewer::setRotation(int rotation) {
    if (rotation < 0 || rotation > 3)
        return ec::OutOfMemory;
    if (!hasFax() || rotation == store_.rotation())
        return 0;
    if (int rc = store_.setRotation(rotation); rc != 0) {
        emit viewerError(rc);
        dropFax();
        return rc;
    }
    preparePage();
    return 0;
}

// --- marking and copying ---

void TViewer::clearMark() {
    if (!mark_.isEmpty())
        viewport()->update();
    mark_ = QRect();
}

int TViewer::selectAll() {
    if (!hasFax())
        return ec::NoImageLoaded;
    mark_ = QRect(0, 0, scaledW_, scaledH_);
    viewport()->update();
    return 0;
}

int TViewer::select(const QRect& rect) {
    if (!hasFax())
        return ec::NoImageLoaded;
    mark_ = rect.normalized().intersected(QRect(0, 0, scaledW_, scaledH_));
    viewport()->update();
    return 0;
}

int TViewer::copy() {
    if (!hasFax())
        return ec::NoImageLoaded;
    if (mark_.isEmpty())
        return ec::NoImageBlockMarked;
    const MonoBitmap* bmp = store_.bitmap(page_);
    if (!bmp)
        return ec::NoImageLoaded;
    MonoBitmap part;
    if (scale_.unit()) {
        part = crop(*bmp, mark_);
    } else {
        // The page area behind the mark, shrunk or grown to the mark's size on screen.
        const QRect src(scaleDown(mark_.x(), scale_.hMult, scale_.hDiv), scaleDown(mark_.y(), scale_.vMult, scale_.vDiv),
                        std::max(1, scaleDown(mark_.width(), scale_.hMult, scale_.hDiv)),
                        std::max(1, scaleDown(mark_.height(), scale_.vMult, scale_.vDiv)));
        if (int rc = faximage::stretchBitmap(crop(*bmp, src), mark_.width(), mark_.height(), part); rc != 0)
            return rc;
    }
    const QImage img = toImage(part, Qt::black, Qt::white);
    if (img.isNull())
        return ec::CantMakeBitmap;
    QApplication::clipboard()->setImage(img);
    return 0;
}

void TViewer::setMarkCorner(const QPoint& viewportPos) {
    QPoint corner = viewportPos + scrollPosition();
    corner.setX(std::clamp(corner.x(), 0, scaledW_));
    corner.setY(std::clamp(corner.y(), 0, scaledH_));
    // The mark runs up to, not over, the corner.
    mark_ = QRect(std::min(anchor_.x(), corner.x()), std::min(anchor_.y(), corner.y()),
                  std::abs(corner.x() - anchor_.x()), std::abs(corner.y() - anchor_.y()));
    viewport()->update();
}

void TViewer::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !hasFax()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    clearMark();
    QPoint start = event->position().toPoint() + scrollPosition();
    anchor_ = QPoint(std::clamp(start.x(), 0, scaledW_), std::clamp(start.y(), 0, scaledH_));
    lastPointer_ = event->position().toPoint();
    marking_ = true;
}

void TViewer::mouseMoveEvent(QMouseEvent* event) {
    if (!marking_)
        return;
    lastPointer_ = event->position().toPoint();
    setMarkCorner(lastPointer_);
    if (!viewport()->rect().contains(lastPointer_)) {
        if (!autoScroll_.isActive())
            autoScroll_.start(static_cast<int>(kAutoScrollInterval.count()), this);
    } else {
        autoScroll_.stop();
    }
}

void TViewer::mouseReleaseEvent(QMouseEvent* event) {
    if (!marking_ || event->button() != Qt::LeftButton)
        return;
    marking_ = false;
    autoScroll_.stop();
    setMarkCorner(event->position().toPoint());
    if (mark_.width() == 0 || mark_.height() == 0)
        clearMark();
}

void TViewer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != autoScroll_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    const QRect vp = viewport()->rect();
    auto steps = [](int outside) { return outside > kFarOutsidePixels ? 2 : 1; };
    int dx = 0, dy = 0;
    if (lastPointer_.x() < vp.left())
        dx = -hStep_ * steps(vp.left() - lastPointer_.x());
    else if (lastPointer_.x() > vp.right())
        dx = hStep_ * steps(lastPointer_.x() - vp.right());
    if (lastPointer_.y() < vp.top())
        dy = -vStep_ * steps(vp.top() - lastPointer_.y());
    else if (lastPointer_.y() > vp.bottom())
        dy = vStep_ * steps(lastPointer_.y() - vp.bottom());
    if (dx == 0 && dy == 0) {
        autoScroll_.stop();
        return;
    }
    scrollBy(dx, dy);
    setMarkCorner(lastPointer_);
}

// --- keyboard ---

void TViewer::keyPressEvent(QKeyEvent* event) {
    if (marking_) {
        event->accept();
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    const int jump = ctrl ? kJumpSteps : 1;
    switch (event->key()) {
    case Qt::Key_PageUp:
        if (ctrl)
            v->setValue(0);
        else
            previousPage();
        break;
    case Qt::Key_PageDown:
        if (ctrl)
            v->setValue(v->maximum());
        else
            nextPage();
        break;
    case Qt::Key_Home:
        if (ctrl)
            firstPage();
        else
            h->setValue(0);
        break;
    case Qt::Key_End:
        if (ctrl)
            lastPage();
        else if (scaledW_ > viewport()->width())
            h->setValue(h->maximum());
        break;
    case Qt::Key_Left:
        scrollBy(-hStep_ * jump, 0);
        break;
    case Qt::Key_Right:
        scrollBy(hStep_ * jump, 0);
        break;
    case Qt::Key_Up:
        scrollBy(0, -vStep_ * jump);
        break;
    case Qt::Key_Down:
        scrollBy(0, vStep_ * jump);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

// --- dropped files ---

void TViewer::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TViewer::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    const QString file = urls.first().toLocalFile();
    if (int rc = setFile(file.toStdString()); rc != 0) {
        emit viewerError(rc);
        return;
    }
    emit fileDropped(file);
}

} // namespace workflow::viewer
