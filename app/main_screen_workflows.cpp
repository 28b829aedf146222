// Entry points of the workflows the main window starts. Each one is the body of a command
// whose window is built separately; until it exists the command keeps its enabling rule
// and receive-mode guard and does nothing more.
#include "main_screen.h"

#include "centring.h"
#include "help_window.h"
#include "message_boxes.h"
#include "dm_form.h"
#include "rebuild_ind.h"
#include "faxlog/dbe_table.h"

namespace app {

// Fax editor for a new fax (a clone when cloneRequested() is set).
void TMainScreen::runNewFax() {}

// Fax editor on the current sent record.
void TMainScreen::runEditSentFax() {}

// Notes editor on the current received record.
void TMainScreen::runEditReceivedNotes() {}

// Send job for the current sent record.
void TMainScreen::runSendFax() {}

// Switches receive mode on or off.
void TMainScreen::runReceiveToggle() {}

// Viewer for the current record of the page shown.
void TMainScreen::runViewFax() {}

// Cover template browser over the cover table.
void TMainScreen::runCoverBrowser() {}

// Phone book window over its own copy of the phone table.
void TMainScreen::runPhoneBook() {}

// Pack and reindex all four tables.
void TMainScreen::runRebuildIndexes() {
    // The rebuild needs every table to itself.
    if (FaxTable)
        FaxTable->close();
    if (RecTable)
        RecTable->close();
    {
        faxlog::DbeEngine engine;
        faxlog::TDbeEnv env(engine);
        env.start();
        env.setDeleted(true);
        maintenance::TRebuildInd window(engine, programDir_, this);
        centreWindow(&window, this);
        window.exec();
    }
    reopenSentTable();
    reopenReceivedTable();
}

// Preferences wizard.
void TMainScreen::runPreferences() {}

// Fax log cleanup utility; may ask for a rebuild afterwards.
void TMainScreen::runLogCleanup() {
    if (FaxTable)
        FaxTable->close();
    if (RecTable)
        RecTable->close();
    bool rebuild = false;
    {
        faxlog::DbeEngine engine;
        faxlog::TDbeEnv env(engine);
        env.start();
        env.setDeleted(true);
        faxlog::TDbeTable sent(engine), received(engine);
        std::string error;
        if (faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, programDir_, &error) &&
            faxlog::openLogTable(received, faxlog::LogTableKind::Received, programDir_, &error)) {
            maintenance::TDMForm form({sent, received, env, programDir_}, this);
            form.showHelp = [](int context) { showHelp(context); };
            form.clearRebuildWanted();
            centreWindow(&form, this);
            form.exec();
            rebuild = form.rebuildWanted();
        } else {
            informationBox(this, QStringLiteral("The fax log could not be opened for cleanup:\r") +
                                     QString::fromStdString(error));
        }
    }
    reopenSentTable();
    reopenReceivedTable();
    if (rebuild)
        mnuRebuildIndexesClick();
}

// Quick setup at the first start.
void TMainScreen::runQuickSetup() {}

// Configuration report.
void TMainScreen::runConfigurationReport() {}

} // namespace app
