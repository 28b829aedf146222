// The modem response check made before a call: "AT" must be answered with "OK". A modem
// that answers nothing is told apart from one that answers wrongly, so that a caller can
// say "no response" rather than "bad response".
#pragma once

#include "faxengine/com_port.h"

#include <chrono>
#include <string_view>

namespace faxengine {

enum class ModemAnswer : std::uint8_t { Ok, Silent, Other };
std::string_view to_string(ModemAnswer a);

inline constexpr std::chrono::milliseconds kModemCheckWait{3000};

// Opens the port when it is closed. Tries twice, as a modem may swallow the first command
// after its port opens.
ModemAnswer checkModemResponds(TVelkComPort& port, std::chrono::milliseconds wait = kModemCheckWait);

} // namespace faxengine
