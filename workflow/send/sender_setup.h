// How a send attempt sets up the fax sender from the settings and the send dialog: the
// dial wait read from the modem init string, the header line on every page, the
// configuration summary the dialog shows. Plain C++, so the rules are testable alone.
#pragma once

#include "faxengine/send_fax.h"
#include "settings/settings.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace workflow::send {

inline constexpr std::chrono::seconds kDefaultDialWait{60};
inline constexpr std::chrono::seconds kShortestDialWait{55};

// Seconds to wait for a connection after dialling: the S7= value of the init string,
// at least kShortestDialWait; kDefaultDialWait without a readable one.
std::chrono::seconds dialWaitFromInit(std::string_view initString);

// The line the sender puts at the top of every page ("$I", "$P", "$N" are the sender's
// station id, page number and page count). Date and time come formatted by the caller.
std::string headerLine(std::string_view userName, std::string_view userFax, std::string_view shortDate,
                       std::string_view shortTime);

// The lines of the dialog's configuration summary.
std::vector<std::string> configurationLines(const settings::Settings& s);

// What the dialog adds to the settings for one attempt.
struct DialChoices {
    std::string faxFile;
    std::string phoneNumber; // the edited number, without prefix and suffix
    std::string dialPrefix;
    bool disablePrefix = false;
    std::string dialSuffix;
    bool disableSuffix = false;
    std::string header; // headerLine() of this attempt
};

// Sets every sender property an attempt takes from the settings and the dialog.
void configureSender(faxengine::TVelkSendFax& fax, const settings::Settings& s, const DialChoices& c);

} // namespace workflow::send
