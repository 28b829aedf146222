// The Rebuild Indexes window: packs and reindexes the four log tables as soon as it is
// shown, naming each step, then closes itself.
#pragma once

#include "log_rebuild.h"

#include <QDialog>
#include <QEvent>
#include <QStringList>
#include <filesystem>

class QLabel;
class QProgressBar;

namespace maintenance {

class TRebuildInd : public QDialog {
    Q_OBJECT
public:
    // Posted to itself when the work is done; it closes the window.
    static constexpr QEvent::Type kDoneMessage = QEvent::Type(QEvent::User + 42);

    TRebuildInd(faxlog::DbeEngine& engine, std::filesystem::path programDir, QWidget* parent = nullptr);

    const RebuildResult& result() const { return result_; }
    // Every step text shown, in order.
    const QStringList& stepsShown() const { return steps_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FormActivate();

    faxlog::DbeEngine& engine_;
    std::filesystem::path programDir_;
    QLabel* StepLabel = nullptr;
    QProgressBar* Progress = nullptr;
    bool started_ = false;
    RebuildResult result_;
    QStringList steps_;
};

} // namespace maintenance
