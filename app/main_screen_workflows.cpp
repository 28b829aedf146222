// Entry points of the workflows the main window starts. Each one is the body of a command
// whose window is built separately; until it exists the command keeps its enabling rule
// and receive-mode guard and does nothing more.
#include "main_screen.h"

#include "centring.h"
#include "fax_log_model.h"
#include "help_window.h"
#include "message_boxes.h"
#include "problem_solver.h"
#include "show_error_form.h"
#include "workflow/send/send_job.h"

#include <QApplication>
#include <QWidget>

namespace app {

// Fax editor for a new fax (a clone when cloneRequested() is set).
void TMainScreen::runNewFax() {}

// Fax editor on the current sent record.
void TMainScreen::runEditSentFax() {}

// Notes editor on the current received record.
void TMainScreen::runEditReceivedNotes() {}

// Send job for the current sent record.
void TMainScreen::runSendFax() {
    namespace send = workflow::send;
    if (receiveMode_) {
        informationBox(this, QString::fromLatin1(send::kReceiveModeSendText));
        return;
    }
    if (page() == LogPage::Received) {
        informationBox(this, QString::fromLatin1(send::kSwitchToOutgoingText));
        return;
    }
    faxlog::TDbeTable* sent = FaxTable ? FaxTable->engineTable() : nullptr;
    if (!sent || !FaxTable->hasCurrentRecord()) {
        beep();
        return;
    }
    auto hourglass = std::make_shared<bool>(false);
    send::SendJobHooks h;
    h.mainWindow = this;
    h.setBusy = [this, hourglass](bool on) {
        if (on == *hourglass)
            return;
        *hourglass = on;
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ButtonBar->setEnabled(false);
        } else {
            QApplication::restoreOverrideCursor();
        }
    };
    h.setStatus = [this](const QString& text) { setStatus(text); };
    h.centre = [this](QWidget* w) { centreWindow(w, this); };
    h.enableButtonBar = [this] { ButtonBar->setEnabled(true); };
    h.services.showError = [](QWidget* parent, const QString& caption, const QString& text, int,
                              bool withContinue) {
        if (withContinue)
            return showErrorWithContinue(parent, caption, text, true);
        showError(parent, caption, text, true);
        return false;
    };
    h.services.information = [](QWidget* parent, const QString& text) { informationBox(parent, text); };
    h.services.beep = [] { beep(); };
    h.services.help = [](int context) { showHelp(context); };
    h.services.problemSolver = [](QWidget* parent) { openProblemSolver(parent); };
    // Until the wizard reports whether it saved anything, nothing counts as accepted.
    h.services.preferences = [this](QWidget*) {
        mnuPreferencesClick();
        return false;
    };
    if (const FaxLine* line = faxLine(); line && line->isVirtual())
        h.services.virtualDevice = line->devicePath();
    if (sendJobHook_)
        sendJobHook_(h);
    try {
        send::runSendJob(*sent, programDir_, h);
    } catch (const std::exception& e) {
        h.setBusy(false);
        informationBox(this, QStringLiteral("The fax could not be sent:\r") + QString::fromLocal8Bit(e.what()));
    }
    h.setBusy(false);
    ButtonBar->setEnabled(true);
    FaxDataSource->refresh();
    applyCommandRules();
}

// Switches receive mode on or off.
void TMainScreen::runReceiveToggle() {}

// Viewer for the current record of the page shown.
void TMainScreen::runViewFax() {}

// Cover template browser over the cover table.
void TMainScreen::runCoverBrowser() {}

// Phone book window over its own copy of the phone table.
void TMainScreen::runPhoneBook() {}

// Pack and reindex all four tables.
void TMainScreen::runRebuildIndexes() {}

// Preferences wizard.
void TMainScreen::runPreferences() {}

// Fax log cleanup utility; may ask for a rebuild afterwards.
void TMainScreen::runLogCleanup() {}

// Quick setup at the first start.
void TMainScreen::runQuickSetup() {}

// Configuration report.
void TMainScreen::runConfigurationReport() {}

} // namespace app
