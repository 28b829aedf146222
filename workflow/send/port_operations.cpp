#include "workflow/send/port_operations.h"

#include "faxengine/engine_errors.h"
#include "faxengine/tick_clock.h"

#include <cctype>
#include <exception>
#include <optional>
#include <thread>

namespace workflow::send {

using faxengine::TVelkComPort;
namespace ec = faxengine::ec;

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

char fold(char c, bool ignoreCase) {
    return ignoreCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
}

// Holds dispatching off while a command exchange reads the port itself, so that no
// trigger handler takes the answer away.
class ExchangeGuard {
public:
    explicit ExchangeGuard(faxengine::TVelkBaseDispatcher& d) : d_(d), was_(d.SetDispatchingNow(true)) {}
    ~ExchangeGuard() { d_.SetDispatchingNow(was_); }
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;

private:
    faxengine::TVelkBaseDispatcher& d_;
    bool was_;
};

void pause(std::int32_t ticks, const PumpEvents& pump) {
    const auto end = std::chrono::steady_clock::now() + faxengine::kTickLength * ticks;
    while (std::chrono::steady_clock::now() < end) {
        if (pump)
            pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A stale answer left from before must not count for this command.
bool sendLine(TVelkComPort& port, std::string_view text) {
    auto& d = port.Dispatcher();
    d.FlushInBuffer();
    return d.PutString(std::string(text) + "\r") == 0;
}

} // namespace

void choosePort(TVelkComPort& port, int portNumber, const settings::Settings& s, const std::string& virtualDevice) {
    port.SetPromptForPort(false);
    port.SetAutoOpen(false);
    if (port.Open())
        port.SetOpen(false);
    port.SetComNumber(portNumber);
    const settings::Settings copy = s;
    port.SetPortDeviceMap([copy](int k) -> std::optional<std::string> { return copy.devicePathForPort(k); });
    if (auto named = s.namedDeviceForPort(portNumber))
        port.SetDevicePath(*named);
    else
        port.SetDevicePath(virtualDevice);
}

std::string openErrorText(int portNumber, std::optional<int> code, std::string_view message) {
    const std::string n = std::to_string(portNumber);
    if (!code)
        return "Unable to open the specified communications port( Com " + n + " )\r\nError message: " +
               std::string(message);
    if (*code == ec::AlreadyOpen || *code == ec::Hardware)
        return "The communications port is in use ( Com " + n + " )\r\n\r\n" +
               "Please make sure that all communication programs (internet, AOL, etc) are closed, and then try "
               "again.";
    if (*code == ec::BadId)
        return "Unable to open the specified communications port ( Com" + n + " )";
    std::string text = faxengine::errorText(*code);
    if (text.empty())
        text = "Unknown error";
    return "Unable to open the specified communications port ( Com" + n + " )\r\nError message: " + text;
}

OpenResult openPort(TVelkComPort& port, int portNumber) {
    OpenResult r;
    try {
        port.SetOpen(true);
        r.ok = port.Open();
        if (!r.ok)
            r.error = openErrorText(portNumber, ec::CommNotOpen);
    } catch (const faximage::EVelkException& e) {
        r.error = openErrorText(portNumber, e.ErrorCode());
    } catch (const std::exception& e) {
        r.error = openErrorText(portNumber, std::nullopt, e.what());
    }
    return r;
}

bool waitForText(TVelkComPort& port, std::string_view text, std::int32_t ticks, bool ignoreCase,
                 const PumpEvents& pump) {
    if (text.empty())
        return true;
    auto& d = port.Dispatcher();
    ExchangeGuard hold(d);
    const auto end = std::chrono::steady_clock::now() + faxengine::kTickLength * ticks;
    // Short slices while pumping, so the windows stay alive; longer ones otherwise.
    const auto slice = std::chrono::milliseconds(pump ? 20 : 100);
    std::size_t matched = 0;
    while (std::chrono::steady_clock::now() < end && d.IsOpen()) {
        if (pump)
            pump();
        if (!d.WaitForInput(1, slice))
            continue;
        std::uint8_t byte = 0;
        while (d.GetChar(byte) == 0) {
            const char c = fold(static_cast<char>(byte), ignoreCase);
            if (c == fold(text[matched], ignoreCase))
                ++matched;
            else
                matched = c == fold(text[0], ignoreCase) ? 1 : 0;
            if (matched == text.size())
                return true;
        }
    }
    return false;
}

std::string withAtPrefix(std::string_view command) {
    if (upper(command).find("AT") != std::string::npos)
        return std::string(command);
    return "AT" + std::string(command);
}

bool modemCommandWithOk(TVelkComPort& port, std::string& command) {
    try {
        command = withAtPrefix(command);
        if (!sendLine(port, command))
            return false;
        return waitForText(port, "OK", kOkWaitTicks, true);
    } catch (const std::exception&) {
        return false;
    }
}

bool modemResponds(TVelkComPort& port, std::string_view resetString, const PumpEvents& pump) {
    try {
        pause(kSettleTicks, pump);
        if (sendLine(port, "AT") && waitForText(port, "OK", kOkWaitTicks, true))
            return true;
        const auto first = resetString.find_first_not_of(' ');
        if (first == std::string_view::npos)
            return false;
        return sendLine(port, resetString) && waitForText(port, "OK", kOkWaitTicks, true);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace workflow::send
