#include "rebuild_ind.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace maintenance {

TRebuildInd::TRebuildInd(faxlog::DbeEngine& engine, std::filesystem::path programDir, QWidget* parent)
    : QDialog(parent), engine_(engine), programDir_(std::move(programDir)) {
    setObjectName("TRebuildInd");
    setWindowTitle(tr("Rebuild Indexes"));
    auto* layout = new QVBoxLayout(this);
    auto* wait = new QLabel(tr("Please wait..."), this);
    QFont bold = wait->font();
    bold.setBold(true);
    wait->setFont(bold);
    layout->addWidget(wait);
    StepLabel = new QLabel(this);
    StepLabel->setObjectName("StepLabel");
    StepLabel->setMinimumWidth(StepLabel->fontMetrics().horizontalAdvance(
                                   QString::fromLatin1(to_string(RebuildStep::PackReceived))) +
                               24);
    layout->addWidget(StepLabel);
    Progress = new QProgressBar(this);
    Progress->setRange(0, kRebuildStepCount);
    Progress->setValue(0);
    layout->addWidget(Progress);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
}

void TRebuildInd::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        // After the window has painted once.
        QTimer::singleShot(0, this, &TRebuildInd::FormActivate);
    }
}

void TRebuildInd::FormActivate() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    int done = 0;
    result_ = rebuildLogIndexes(engine_, programDir_, [this, &done](RebuildStep step) {
        const QString text = QString::fromLatin1(to_string(step));
        steps_ << text;
        StepLabel->setText(text);
        Progress->setValue(done++);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    Progress->setValue(kRebuildStepCount);
    QGuiApplication::restoreOverrideCursor();
    QCoreApplication::postEvent(this, new QEvent(kDoneMessage));
}

bool TRebuildInd::event(QEvent* event) {
    if (event->type() == kDoneMessage) {
        accept();
        return true;
    }
    return QDialog::event(event);
}

} // namespace maintenance
