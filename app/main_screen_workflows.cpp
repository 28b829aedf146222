// Entry points of the workflows the main window starts. Each one is the body of a command
// whose window is built separately; until it exists the command keeps its enabling rule
// and receive-mode guard and does nothing more.
#include "main_screen.h"

#include "centring.h"
#include "help_window.h"
#include "message_boxes.h"
#include "window_placement.h"
#include "settings/settings.h"
#include "workflow/compose/cover_browse.h"
#include "workflow/compose/cover_store.h"
#include "workflow/compose/fax_editor.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_records.h"

#include <QApplication>

namespace app {

namespace {

// The hooks of the composing windows that the main window itself provides.
void fillWindowHooks(workflow::compose::ComposeHooks& hooks, QWidget* mainWindow,
                     const std::filesystem::path& programDir) {
    const std::filesystem::path ini = programDir / settings::kSettingsFileName;
    hooks.programDir = programDir;
    hooks.mainWindow = mainWindow;
    hooks.restorePlacement = [ini, mainWindow](QWidget* w) { restorePlacement(w, ini, mainWindow); };
    hooks.savePlacement = [ini](QWidget* w) { savePlacement(w, ini); };
    hooks.centre = [mainWindow](QWidget* w) { centreWindow(w, mainWindow); };
    hooks.help = [](int context) { showHelp(context); };
}

} // namespace

// Fax editor for a new fax (a clone when cloneRequested() is set).
void TMainScreen::runNewFax() {
    faxlog::TDbeTable* sent = FaxTable ? FaxTable->dbeTable() : nullptr;
    if (!sent)
        return;
    fillWindowHooks(composeHooks_, this, programDir_);
    workflow::compose::TFaxEditor editor(composeHooks_, &sent->engine(), this);
    if (cloneRequested_ && FaxTable->hasCurrentRecord())
        editor.loadFromRecord(*sent, true);
    else
        editor.startEmpty();
    if (editor.exec() == QDialog::Accepted) {
        try {
            faxlog::appendSentFax(*sent, editor.content());
        } catch (const std::exception& e) {
            informationBox(this, tr("The fax could not be saved: %1").arg(QString::fromLocal8Bit(e.what())));
        }
        QApplication::processEvents();
        reopenSentTable();
        QApplication::processEvents();
    }
    cloneRequested_ = false;
    applyCommandRules();
}

// Fax editor on the current sent record.
void TMainScreen::runEditSentFax() {
    faxlog::TDbeTable* sent = FaxTable ? FaxTable->dbeTable() : nullptr;
    if (!sent || FaxTable->currentRow() < 0) {
        beep();
        return;
    }
    fillWindowHooks(composeHooks_, this, programDir_);
    workflow::compose::TFaxEditor editor(composeHooks_, &sent->engine(), this);
    editor.loadFromRecord(*sent, false);
    if (editor.exec() == QDialog::Accepted) {
        try {
            faxlog::updateSentFax(*sent, editor.content());
        } catch (const std::exception& e) {
            informationBox(this, tr("The fax could not be saved: %1").arg(QString::fromLocal8Bit(e.what())));
        }
        reopenSentTable();
    }
}

// Notes editor on the current received record.
void TMainScreen::runEditReceivedNotes() {}

// Send job for the current sent record.
void TMainScreen::runSendFax() {}

// Switches receive mode on or off.
void TMainScreen::runReceiveToggle() {}

// Viewer for the current record of the page shown.
void TMainScreen::runViewFax() {}

// Cover template browser over the cover table.
void TMainScreen::runCoverBrowser() {
    faxlog::TDbeTable* sent = FaxTable ? FaxTable->dbeTable() : nullptr;
    if (!sent)
        return;
    auto covers = workflow::compose::openCoverTable(sent->engine(), programDir_);
    if (!covers)
        return;
    fillWindowHooks(composeHooks_, this, programDir_);
    {
        workflow::compose::TCoverBrowse browser(*covers, workflow::compose::BrowseMode::Browse, composeHooks_, this);
        centreWindow(&browser, this);
        browser.exec();
    }
    covers->close();
}

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
