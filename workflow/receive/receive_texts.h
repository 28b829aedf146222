// The words receive mode shows: the main status line during a call, when the notice
// window makes way for an incoming call, the error texts of a failed start or call, and
// what the tray icon says. Plain C++, so the rules are testable without a display.
#pragma once

#include <string>
#include <string_view>

namespace workflow::receive {

// What the receiver's last status notice says.
struct StatusFacts {
    std::string_view progressText; // the text of the receiver's progress code
    std::string_view remoteId;
    int currentPage = 0;
    long long bytesTransferred = 0;
};

// The main status line for a status notice: "Receiving fax from: 555 1234, page 2
// (5120 bytes)" and the like; empty for anything that speaks of an abort.
std::string statusLineText(const StatusFacts& f);

// Whether the notice window gives way to a call being answered.
bool hidesNoticeWindow(std::string_view statusText);

// The text of the failure dialog for a call ("Unknown error" without an error code).
std::string receiveFailureText(int lastErrorCode);

// Start-up failures: the port number is the one the settings name (COMn).
std::string openPortFailureText(std::string_view openError, int portNumber);
std::string noModemResponseText(int portNumber);
std::string resetStringFailureText(std::string_view resetString, int portNumber);

// The tray icon's tool tip for the state of receive mode.
enum class TrayState { Off, Waiting, Receiving };
std::string_view to_string(TrayState s);
std::string trayToolTip(TrayState state, std::string_view statusLine);
// The balloon announcing a fax that has arrived.
std::string arrivalTitle();
std::string arrivalMessage(std::string_view from, int pages);

} // namespace workflow::receive
