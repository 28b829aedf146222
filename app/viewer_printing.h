// Printing from the fax viewer: the main window's print hooks over one fax printer that
// keeps the printer chosen in "Printer setup" for the rest of the session.
#pragma once

#include <filesystem>

namespace app {

class TMainScreen;

// Sets the window's printFax, printerSetup and printerInstalled hooks. Print jobs are
// logged in FAXPRINT.LOG in the program directory.
void installViewerPrinting(TMainScreen& window, const std::filesystem::path& programDir);

} // namespace app
