// The main window's commands, the enabling rules and Delete. Commands whose windows come
// with later work keep their rules and guard here and call an entry point that is still
// empty (main_screen_workflows.cpp).
#include "main_screen.h"

#include "about_dialog.h"
#include "help_window.h"
#include "hint_control.h"
#include "message_boxes.h"
#include "problem_solver.h"
#include "settings/settings.h"

#include <QAction>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

namespace app {

namespace {
constexpr const char* kWebPage = "https://parvane.example.org/";

} // namespace

bool TMainScreen::refusedInReceiveMode() {
    if (!receiveMode_)
        return false;
    informationBox(this, QString::fromLatin1(kReceiveModeText));
    return true;
}

void TMainScreen::syncGridToTable(QTableView* grid, FaxLogModel* model, LogTable* table) {
    model->refresh();
    if (!table || !table->isOpen())
        return;
    const int row = table->currentRow();
    const QSignalBlocker quiet(grid->selectionModel());
    if (row >= 0) {
        grid->selectionModel()->setCurrentIndex(model->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        grid->scrollTo(model->index(row, 0));
    } else {
        grid->selectionModel()->clear();
    }
}

void TMainScreen::applyCommandRules() {
    auto standsOnRecord = [](LogTable* table) {
        return table && table->isOpen() && table->hasCurrentRecord();
    };
    // Empty tables go to natural order; tables with records to their date order, first record.
    for (LogTable* table : {FaxTable.get(), RecTable.get()}) {
        if (!table || !table->isOpen())
            continue;
        const bool hasRecord = table->hasCurrentRecord();
        if (!hasRecord && table->indexOrderActive())
            table->useNaturalOrder();
        else if (hasRecord && !table->indexOrderActive())
            table->useDateOrder();
    }
    syncGridToTable(FaxGrid, FaxDataSource, FaxTable.get());
    syncGridToTable(RecFaxGrid, RecDataSource, RecTable.get());

    CommandInputs in;
    in.page = page();
    in.sentHasRecord = standsOnRecord(FaxTable.get());
    in.receivedHasRecord = standsOnRecord(RecTable.get());
    in.receiveMode = receiveMode_;
    states_ = app::commandStates(in);

    FaxGrid->setEnabled(states_.faxGrid);
    RecFaxGrid->setEnabled(states_.recFaxGrid);
    Newbutton->setEnabled(states_.newFax);
    mnuNew->setEnabled(states_.newFax);
    mnuClone->setEnabled(states_.cloneFax);
    SendButton->setEnabled(states_.sendFax);
    mnuSend->setEnabled(states_.sendFax);
    mnuReceive->setEnabled(states_.receiveMenu);
    EditButton->setEnabled(states_.editFax);
    DeleteButton->setEnabled(states_.deleteFax);
    mnuEdit->setEnabled(states_.editFax);
    mnuDelete->setEnabled(states_.deleteFax);
    ViewFaxButton->setEnabled(states_.viewFax);
    mnuViewPrint->setEnabled(states_.viewFax);
}

void TMainScreen::NewbuttonClick() {
    if (refusedInReceiveMode()) {
        // A refused Clone must not turn the next plain New into a clone.
        cloneRequested_ = false;
        return;
    }
    runNewFax();
    cloneRequested_ = false;
}

void TMainScreen::EditButtonClick() {
    if (refusedInReceiveMode())
        return;
    if (page() == LogPage::Received)
        runEditReceivedNotes();
    else
        runEditSentFax();
}

void TMainScreen::mnuCloneClick() {
    if (!FaxTable || !FaxTable->isOpen() || FaxTable->rowCount() == 0) {
        beep();
        return;
    }
    cloneRequested_ = true;
    NewbuttonClick();
}

void TMainScreen::DeleteButtonClick() {
    if (page() == LogPage::Received)
        deleteReceivedFax();
    else
        deleteSentFax();
}

void TMainScreen::deleteReceivedFax() {
    if (refusedInReceiveMode())
        return;
    LogTable* table = RecTable.get();
    if (!table || !table->isOpen() || table->rowCount() == 0 || !table->hasCurrentRecord()) {
        beep();
        return;
    }
    const QString text = QStringLiteral("Delete the current fax?\r\n(from: \"") +
                         QString::fromStdString(table->currentField("FROM")) +
                         QStringLiteral("\")");
    if (questionDefaultNo(this, text, QStringLiteral("Delete"))) {
        // The record goes first, then its fax file in the receive directory.
        table->deleteCurrent();
        RecDataSource->refresh();
    }
    applyCommandRules();
}

void TMainScreen::deleteSentFax() {
    LogTable* table = FaxTable.get();
    if (!table || !table->isOpen() || table->rowCount() == 0 || !table->hasCurrentRecord()) {
        beep();
        return;
    }
    const QString text = QStringLiteral("Delete the current fax?\r\n(subject: \"") +
                         QString::fromStdString(table->currentField("SUBJECT")) +
                         QStringLiteral("\")");
    if (questionDefaultNo(this, text, QStringLiteral("Delete"))) {
        table->deleteCurrent();
        FaxDataSource->refresh();
    }
    applyCommandRules();
}

void TMainScreen::FaxlogCleanup1Click() {
    if (refusedInReceiveMode())
        return;
    runLogCleanup();
}

void TMainScreen::SendButtonClick() { runSendFax(); }

void TMainScreen::ReceiveButtonClick() { runReceiveToggle(); }

void TMainScreen::ViewFaxButtonClick() { runViewFax(); }

void TMainScreen::mnuCoverClick() {
    if (refusedInReceiveMode())
        return;
    runCoverBrowser();
}

void TMainScreen::mnuPhoneBookClick() {
    if (refusedInReceiveMode())
        return;
    runPhoneBook();
}

void TMainScreen::mnuRebuildIndexesClick() {
    if (refusedInReceiveMode())
        return;
    // The grids must not read the tables while they are rebuilt.
    FaxGrid->setEnabled(false);
    RecFaxGrid->setEnabled(false);
    runRebuildIndexes();
    applyCommandRules();
}

void TMainScreen::mnuPreferencesClick() {
    if (refusedInReceiveMode())
        return;
    runPreferences();
}

void TMainScreen::ExitbuttonClick() { close(); }

void TMainScreen::Contents1Click() { showHelp(help::kContents); }

void TMainScreen::FrequentlyAskedQuestionsFAQ1Click() { showHelp(help::kFaq); }

void TMainScreen::TechnicalSupport1Click() { showHelp(help::kTechnicalSupport); }

void TMainScreen::ConfigurationInformation1Click() { runConfigurationReport(); }

void TMainScreen::ProblemSolverButtonClick() { openProblemSolver(this); }

void TMainScreen::About1Click() { showAbout(this); }

void TMainScreen::WebPageClick() {
    if (refusedInReceiveMode())
        return;
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebPage)));
}

void TMainScreen::mnuShowHintClick() {
    auto& s = settings::current();
    s.hintsOn = mnuShowHint->isChecked();
    try {
        settings::saveSettings(s, programDir_);
    } catch (const std::exception& e) {
        informationBox(this, QStringLiteral("The settings could not be saved:\r") +
                                 QString::fromLocal8Bit(e.what()));
    }
    if (options_.hints)
        options_.hints->setEnabled(s.hintsOn);
    setStatus(QString());
}

} // namespace app
