// The main window's life: first activation, the two user messages, the close query and
// the shutdown order.
#include "main_screen.h"

#include "message_boxes.h"
#include "program_paths.h"
#include "settings/settings.h"
#include "window_placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSoundEffect>
#include <QTableView>
#include <QUrl>

namespace app {

namespace {
void runPendingMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }
} // namespace

void TMainScreen::FormActivate() {
    if (!firstActivation_ || startupFailed_)
        return;
    restorePlacement(this, programDir_ / settings::kSettingsFileName);
    applyCommandRules();
    if (options_.startMinimized)
        showMinimized();
    else
        show();
    runPendingMessages();

    if (firstRun_)
        runQuickSetup();

    const auto lacksDatend = [](LogTable* t) { return t && t->isOpen() && !t->hasTag("DATEND"); };
    if (lacksDatend(FaxTable.get()) || lacksDatend(RecTable.get())) {
        if (question(this, QStringLiteral("The log files need to be reindexed.\rDo this now?"),
                     QStringLiteral("REINDEX")))
            mnuRebuildIndexesClick();
    }

    if (settings::current().receive.atStartup)
        ReceiveButtonClick();
    firstActivation_ = false;
}

bool TMainScreen::event(QEvent* e) {
    if (e->type() == kCloseMessage) {
        close();
        return true;
    }
    if (e->type() == kFaxArrivedMessage) {
        playArrivalSound();
        return true;
    }
    return QMainWindow::event(e);
}

void TMainScreen::playArrivalSound() {
    const std::string& wav = settings::current().receive.wav;
    if (wav.empty())
        return;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(wav, ec))
        return;
    if (!arrivalSound_)
        arrivalSound_ = std::make_unique<QSoundEffect>();
    const QUrl source = QUrl::fromLocalFile(QString::fromStdString(wav));
    if (arrivalSound_->source() != source)
        arrivalSound_->setSource(source);
    arrivalSound_->play();
    lastArrivalSound_ = source.toLocalFile();
}

void TMainScreen::closeLogTables() {
    FaxDataSource->setTable(nullptr);
    RecDataSource->setTable(nullptr);
    if (FaxTable)
        FaxTable->close();
    if (RecTable)
        RecTable->close();
}

void TMainScreen::closeEvent(QCloseEvent* e) {
    if (shutDown_) {
        e->accept();
        return;
    }
    if (receivingNow_ &&
        !question(this, QStringLiteral("You are receiving a fax. Exit the program?"),
                  QStringLiteral("Exit"))) {
        e->ignore();
        return;
    }
    // Receive mode ends before the tables close, so that a fax finishing meanwhile
    // still finds its table open.
    if (receiveMode_)
        ReceiveButtonClick();
    runPendingMessages();
    closeLogTables();
    runPendingMessages();
    shutDown_ = true;
    applyCommandRules();

    // A start that failed leaves the user's files alone: nothing was shown or changed.
    if (!startupFailed_) {
        try {
            savePlacement(this, programDir_ / settings::kSettingsFileName);
            settings::saveSettings(settings::current(), programDir_);
        } catch (const std::exception&) {
            // Nowhere to report at this point; the next start uses the old file.
        }
    }
    e->accept();
}

void TMainScreen::reopenSentTable() {
    FaxGrid->setEnabled(false);
    if (FaxTable)
        FaxTable->reopen();
    applyCommandRules();
}

void TMainScreen::reopenReceivedTable() {
    RecFaxGrid->setEnabled(false);
    if (RecTable)
        RecTable->reopen();
    applyCommandRules();
}

} // namespace app
