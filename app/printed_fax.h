// A fax editor opened on a file printed from another program: its pages go into the
// document the way the editor's Insert file puts them.
#pragma once

#include <QString>

#include <filesystem>

namespace workflow::compose {
class TFaxEditor;
}

namespace app {

class PrintInbox;
class SingleInstance;
class TMainScreen;

// Inserts the pages of `file` at the start of the editor's document (the editor still opens
// on the recipient page, which a printed fax needs filled in first).
// A file that cannot be read is named in a warning. Returns the pages inserted.
int insertPrintedPages(workflow::compose::TFaxEditor& editor, const std::filesystem::path& file);

// Lets `inbox` open its faxes in `window` when the window is free, shows on the status
// line that printed faxes wait, and passes the requests of later copies to it.
void connectPrintInbox(PrintInbox& inbox, TMainScreen& window, SingleInstance& instance);

// The status line's notice for `waiting` printed faxes (empty for none).
QString printedWaitingText(int waiting);

} // namespace app
