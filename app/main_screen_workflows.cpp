// Entry points of the workflows the main window starts. Each one is the body of a command
// whose window is built separately; until it exists the command keeps its enabling rule
// and receive-mode guard and does nothing more.
#include "main_screen.h"

#include "centring.h"
#include "help_window.h"
#include "workflow/phonebook/phone_book_dialogs.h"

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
void TMainScreen::runPhoneBook() {
    phonebook::PhoneBookHooks hooks;
    hooks.showHelp = [](int context) { showHelp(context); };
    hooks.centre = [this](QWidget* window) { centreWindow(window, this); };
    // A phone table that can be neither opened nor created leaves the command without effect.
    phonebook::runPhoneBookBrowser(this, programDir_, hooks);
}

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
