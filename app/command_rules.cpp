#include "command_rules.h"

namespace app {

CommandStates commandStates(const CommandInputs& in) {
    const bool onSent = in.page == LogPage::Sent;
    const bool pageHasRecord = onSent ? in.sentHasRecord : in.receivedHasRecord;
    CommandStates s;
    s.faxGrid = in.sentHasRecord;
    s.recFaxGrid = in.receivedHasRecord;
    s.newFax = onSent;
    s.cloneFax = onSent && in.sentHasRecord;
    // Send works on the sent list whichever page is shown; the send job itself asks the
    // user to switch pages.
    s.sendFax = in.sentHasRecord;
    s.receiveMenu = !in.receiveMode;
    s.editFax = pageHasRecord;
    s.deleteFax = pageHasRecord;
    s.viewFax = pageHasRecord;
    return s;
}

} // namespace app
