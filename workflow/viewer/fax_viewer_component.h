// TVelkFaxViewer: the viewer window as a component for forms, with published properties
// and On… events. Errors of loading and of page numbers are raised as EVelkException.
#pragma once

#include "faximage/fax_unpacker.h"
#include "workflow/viewer/viewer_widget.h"

#include <QFrame>

#include <functional>
#include <string>

namespace workflow::viewer {

class TVelkCustomFaxViewer;

using TViewerDropFileEvent = std::function<void(TVelkCustomFaxViewer& sender, const QString& fileName)>;
using TViewerNotifyEvent = std::function<void(TVelkCustomFaxViewer& sender)>;
using TViewerErrorEvent = std::function<void(TVelkCustomFaxViewer& sender, int errorCode)>;

enum class TViewerBorderStyle { bsNone, bsSingle };

class TVelkCustomFaxViewer : public QFrame {
    Q_OBJECT
public:
    explicit TVelkCustomFaxViewer(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {100, 50}; }

    // --- published properties ---
    TViewerBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TViewerBorderStyle style);
    QColor FGColor() const { return viewer_->foreground(); }
    void SetFGColor(const QColor& c) { viewer_->setForeground(c); }
    QColor BGColor() const { return viewer_->background(); }
    void SetBGColor(const QColor& c) { viewer_->setBackground(c); }

    // The four factors reach the viewer only while Scaling is on; 0 is ignored.
    bool Scaling() const { return scaling_; }
    void SetScaling(bool on);
    int HorizMult() const { return factors_.hMult; }
    int HorizDiv() const { return factors_.hDiv; }
    int VertMult() const { return factors_.vMult; }
    int VertDiv() const { return factors_.vDiv; }
    void SetHorizMult(int v) { setFactor(factors_.hMult, v); }
    void SetHorizDiv(int v) { setFactor(factors_.hDiv, v); }
    void SetVertMult(int v) { setFactor(factors_.vMult, v); }
    void SetVertDiv(int v) { setFactor(factors_.vDiv, v); }

    faximage::TAutoScaleMode AutoScaleMode() const { return autoScale_; }
    void SetAutoScaleMode(faximage::TAutoScaleMode mode);

    bool WhitespaceCompression() const { return wsOn_; }
    void SetWhitespaceCompression(bool on);
    int WhitespaceFrom() const { return wsFrom_; }
    void SetWhitespaceFrom(int v);
    int WhitespaceTo() const { return wsTo_; }
    void SetWhitespaceTo(int v);

    int HorizScroll() const { return viewer_->horizontalStep(); }
    void SetHorizScroll(int v) { viewer_->setScrollSteps(v, 0); }
    int VertScroll() const { return viewer_->verticalStep(); }
    void SetVertScroll(int v) { viewer_->setScrollSteps(0, v); }

    // Stored only: dropped files are always accepted.
    bool AcceptDragged() const { return acceptDragged_; }
    void SetAcceptDragged(bool on) { acceptDragged_ = on; }

    bool LoadWholeFax() const { return viewer_->loadWholeFax(); }
    void SetLoadWholeFax(bool on);
    QCursor BusyCursor() const { return busyCursor_; }
    void SetBusyCursor(const QCursor& c);

    // Loads the file (errors raised; an empty name drops the fax), with rotation 0 and
    // the four factors back to 1.
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& name);

    // --- events ---
    TViewerDropFileEvent OnDropFile;
    TViewerNotifyEvent OnPageChange;
    TViewerErrorEvent OnViewerError;

    // --- public operations ---
    int NumPages() const { return viewer_->pageCount(); }
    int ActivePage() const { return viewer_->currentPage(); }
    // Goes to the page: 0 or above the count raises -1002.
    void SetActivePage(int page);
    void FirstPage() { viewer_->firstPage(); }
    void LastPage() { viewer_->lastPage(); }
    void NextPage() { viewer_->nextPage(); }
    void PrevPage() { viewer_->previousPage(); }
    int Rotation() const { return viewer_->rotation(); }
    void SetRotation(int r);
    void SelectImage();
    void CopyToClipboard();
    int PageWidth() const;
    void BeginUpdate() { viewer_->startUpdate(); }
    void EndUpdate() { viewer_->endUpdate(); }

    TViewer* viewer() const { return viewer_; }

private:
    void setFactor(int& f, int v);
    void sendScale();
    void sendWhitespace();

    TViewer* viewer_ = nullptr;
    TViewerBorderStyle borderStyle_ = TViewerBorderStyle::bsSingle;
    bool scaling_ = false;
    ScaleFactors factors_;
    faximage::TAutoScaleMode autoScale_ = faximage::TAutoScaleMode::asDoubleHeight;
    bool wsOn_ = false;
    int wsFrom_ = 0, wsTo_ = 0;
    bool acceptDragged_ = true;
    QCursor busyCursor_ = Qt::ArrowCursor;
    QString fileName_;
};

class TVelkFaxViewer : public TVelkCustomFaxViewer {
    Q_OBJECT
public:
    using TVelkCustomFaxViewer::TVelkCustomFaxViewer;
};

} // namespace workflow::viewer
