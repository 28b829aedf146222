#include "workflow/viewer/fax_viewer_component.h"

#include "faximage/fax_errors.h"
#include "faximage/unpack_engine.h"

#include <QVBoxLayout>

namespace workflow::viewer {

TVelkCustomFaxViewer::TVelkCustomFaxViewer(QWidget* parent) : QFrame(parent), viewer_(new TViewer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(viewer_);
    SetBorderStyle(borderStyle_);
    setFocusProxy(viewer_);
    connect(viewer_, &TViewer::pageChanged, this, [this] {
        if (OnPageChange)
            OnPageChange(*this);
    });
    connect(viewer_, &TViewer::viewerError, this, [this](int code) {
        if (!viewer_->hasFax())
            fileName_.clear();
        if (OnViewerError)
            OnViewerError(*this, code);
    });
    connect(viewer_, &TViewer::fileDropped, this, [this](const QString& file) {
        fileName_ = file;
        if (OnDropFile)
            OnDropFile(*this, file);
    });
}

void TVelkCustomFaxViewer::SetBorderStyle(TViewerBorderStyle style) {
    borderStyle_ = style;
    setFrameStyle(style == TViewerBorderStyle::bsSingle ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    layout()->setContentsMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth());
}

void TVelkCustomFaxViewer::setFactor(int& f, int v) {
    if (v == 0)
        return;
    f = v;
    if (scaling_)
        sendScale();
}

void TVelkCustomFaxViewer::sendScale() { viewer_->setScale(scaling_ ? factors_ : ScaleFactors{}); }

void TVelkCustomFaxViewer::SetScaling(bool on) {
    scaling_ = on;
    sendScale();
}

void TVelkCustomFaxViewer::SetAutoScaleMode(faximage::TAutoScaleMode mode) {
    autoScale_ = mode;
    switch (mode) {
    case faximage::TAutoScaleMode::asNone:
        viewer_->setAutoScale(0);
        break;
    case faximage::TAutoScaleMode::asDoubleHeight:
        viewer_->setAutoScale(faximage::ufDoubleHeight);
        break;
    case faximage::TAutoScaleMode::asHalfWidth:
        viewer_->setAutoScale(faximage::ufHalfWidth);
        break;
    }
}

void TVelkCustomFaxViewer::sendWhitespace() {
    // A pair the unpacker refuses (as while the two are set one after the other) leaves
    // the last accepted pair in force.
    if (wsOn_)
        viewer_->setWhitespace(wsFrom_, wsTo_);
    else
        viewer_->setWhitespace(0, 0);
}

void TVelkCustomFaxViewer::SetWhitespaceCompression(bool on) {
    wsOn_ = on;
    sendWhitespace();
}

void TVelkCustomFaxViewer::SetWhitespaceFrom(int v) {
    wsFrom_ = v;
    sendWhitespace();
}

void TVelkCustomFaxViewer::SetWhitespaceTo(int v) {
    wsTo_ = v;
    sendWhitespace();
}

void TVelkCustomFaxViewer::SetLoadWholeFax(bool on) {
    if (int rc = viewer_->setLoadWholeFax(on); rc != 0)
        faximage::raiseVelkError(rc, fileName_.toStdString());
}

void TVelkCustomFaxViewer::SetBusyCursor(const QCursor& c) {
    busyCursor_ = c;
    viewer_->setBusyCursor(c);
}

void TVelkCustomFaxViewer::SetFileName(const QString& name) {
    fileName_ = name;
    factors_ = ScaleFactors{};
    const int rc = viewer_->setFile(name.toStdString());
    if (rc != 0) {
        fileName_.clear();
        faximage::raiseVelkError(rc, name.toStdString());
    }
}

void TVelkCustomFaxViewer::SetActivePage(int page) {
    if (int rc = viewer_->gotoPage(page); rc != 0)
        faximage::raiseVelkError(rc, "page " + std::to_string(page));
}

void TVelkCustomFaxViewer::SetRotation(int r) {
    if (int rc = viewer_->setRotation(r); rc != 0)
        faximage::raiseVelkError(rc);
}

void TVelkCustomFaxViewer::SelectImage() {
    if (int rc = viewer_->selectAll(); rc != 0)
        faximage::raiseVelkError(rc);
}

void TVelkCustomFaxViewer::CopyToClipboard() {
    if (int rc = viewer_->copy(); rc != 0)
        faximage::raiseVelkError(rc);
}

int TVelkCustomFaxViewer::PageWidth() const {
    const QRect r = viewer_->pageDim();
    return viewer_->hasFax() && (r.right() > 0 || r.bottom() > 0) ? r.right() + 1 : 0;
}

} // namespace workflow::viewer
