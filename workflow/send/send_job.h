// The Send command once the main window has checked that a sent fax is chosen: build the
// record's fax file, run the send dialog over it, keep the dialog's dial settings, and
// write the outcome into the record.
#pragma once

#include "workflow/send/send_fax_form.h"

#include <QString>

#include <filesystem>
#include <functional>

namespace faxlog {
class TDbeTable;
}

namespace workflow::send {

inline constexpr const char* kReceiveModeSendText =
    "You are in Fax Receive mode. You cannot send\rwhile in Fax Receive mode. Click the Stop button to end\rFax "
    "Receive mode";
inline constexpr const char* kSwitchToOutgoingText = "Please switch to the Outgoing Faxes tab\rand highlight a fax to send";
inline constexpr const char* kErrorCreatingFaxFile = "Error creating fax file";

struct SendJobHooks {
    QWidget* mainWindow = nullptr;
    std::function<void(bool busy)> setBusy;             // hourglass (and the button bar)
    std::function<void(const QString& text)> setStatus; // the main status line
    std::function<void(QWidget* dialog)> centre;        // over the main window
    std::function<void()> enableButtonBar;
    // Runs on the dialog once it is shown (tests and screenshots use it).
    std::function<void(TSendFaxForm& dialog)> onDialogShown;
    SendServices services;
};

struct SendJobOutcome {
    bool built = false; // a fax file was made and the dialog shown
    int pages = 0;
    QString result;     // the dialog's last result ("" when nothing was tried)
};

// Runs the job on the current record of `sent`; temporary files go to `programDir`.
// Settings changed in the dialog are saved there too. Exceptions propagate after the
// cursor and status line are restored.
SendJobOutcome runSendJob(faxlog::TDbeTable& sent, const std::filesystem::path& programDir,
                          const SendJobHooks& hooks);

} // namespace workflow::send
