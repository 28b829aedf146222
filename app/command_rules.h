// Which main-window commands are enabled, from the page shown, whether each log table
// stands on a record, and receive mode.
#pragma once

namespace app {

enum class LogPage { Sent = 0, Received = 1 };

struct CommandInputs {
    LogPage page = LogPage::Sent;
    bool sentHasRecord = false;     // S
    bool receivedHasRecord = false; // R
    bool receiveMode = false;
};

struct CommandStates {
    bool faxGrid = false;
    bool recFaxGrid = false;
    bool newFax = false;
    bool cloneFax = false;
    bool sendFax = false;
    bool receiveMenu = false;
    bool editFax = false;
    bool deleteFax = false;
    bool viewFax = false;
    friend bool operator==(const CommandStates&, const CommandStates&) = default;
};

CommandStates commandStates(const CommandInputs& in);

} // namespace app
