// What the send and receive workflows do with their port before and after a fax session:
// choose the device of the configured port, open it (with the texts a user sees when it
// fails), check that a modem answers, and send a modem command that must be acknowledged.
// No window code: waiting may run the caller's event loop through a hook.
#pragma once

#include "faxengine/com_port.h"
#include "settings/settings.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace workflow::send {

// 36 ticks: how long a command waits for "OK".
inline constexpr std::int32_t kOkWaitTicks = 36;
// 12 ticks: the pause before the response check, so a modem just opened can settle.
inline constexpr std::int32_t kSettleTicks = 12;

// Runs the caller's pending window messages while a wait lasts; may be empty.
using PumpEvents = std::function<void()>;

// Points `port` at the configured port the way the main window and the command line
// choose it: a device [Ports] names for the port number; otherwise the embedded virtual
// line's modem (`virtualDevice`, when the program runs one); otherwise the default device
// of the number. Also sets the port up for faxing (no prompt, no telephony layer).
void choosePort(faxengine::TVelkComPort& port, int portNumber, const settings::Settings& s,
                const std::string& virtualDevice);

struct OpenResult {
    bool ok = false;
    std::string error; // the text for the user when !ok
};

// Opens the port; on failure the text says why, naming "Com" + portNumber.
OpenResult openPort(faxengine::TVelkComPort& port, int portNumber);

// The text for a failed open, by the engine's error code (or, for any other exception,
// its message when `code` is nullopt).
std::string openErrorText(int portNumber, std::optional<int> code, std::string_view message = {});

// Reads what arrives until `text` has been matched in order (a character that breaks the
// match starts it again), or until `ticks` passed. Without `pump` the thread only waits.
bool waitForText(faxengine::TVelkComPort& port, std::string_view text, std::int32_t ticks, bool ignoreCase,
                 const PumpEvents& pump = {});

// A modem string as sent: "AT" in front unless it holds "AT" somewhere (any case).
std::string withAtPrefix(std::string_view command);

// Writes the command (with "AT" put in front when it lacks it; the prefixed text is
// stored back into `command`) and a carriage return, then waits kOkWaitTicks for "OK".
// False on a timeout or any error.
bool modemCommandWithOk(faxengine::TVelkComPort& port, std::string& command);

// Waits kSettleTicks (pumping), sends "AT" and waits for "OK"; when none came and the
// reset string is not blank, sends the reset string as stored and waits again.
// True when an "OK" arrived; any error gives false.
bool modemResponds(faxengine::TVelkComPort& port, std::string_view resetString, const PumpEvents& pump = {});

} // namespace workflow::send
