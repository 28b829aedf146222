// The configuration report: what support needs to know about this computer, the
// program's port settings, the serial devices and what the modem says about itself.
#pragma once

#include "faxengine/com_port.h"
#include "settings/settings.h"

#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace diagnostics {

// The identification commands asked of the modem, in order.
const std::vector<std::string>& modemIdentityCommands();

struct ModemIdentity {
    std::string device;
    std::string problem; // why there are no answers ("" when the modem was asked)
    std::vector<std::pair<std::string, std::string>> answers; // command, answer ("" none)
};

// Asks an open port each identification command; an answer is the lines before "OK"
// or "ERROR", joined by " / ".
ModemIdentity queryModemIdentity(faxengine::TVelkComPort& port);

// One line per serial device: path, mode, owner:group and whether this user may open it.
std::vector<std::string> serialDeviceLines(const std::vector<std::string>& devices);

// The report's lines, label and value separated by a tab.
QStringList configurationReportLines(const settings::Settings& s, const ModemIdentity& modem);

} // namespace diagnostics
