#include "workflow/receive/receive_texts.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <cctype>

namespace workflow::receive {

namespace {

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

std::string upper(std::string_view s) {
    std::string u(s);
    std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return u;
}

std::string findModemAdvice(int portNumber) {
    return "Is the Communications Port (COM" + std::to_string(portNumber) +
           ") correct? Please\r\nclick on the Find Modem button in Preferences to be sure.";
}

} // namespace

std::string statusLineText(const StatusFacts& f) {
    std::string text = trimmed(f.progressText);
    if (upper(text) == "GOT CLASS 2 FHNG CODE")
        text = "Hangup successful";
    std::string bytesPart;
    std::string pagePart;
    if (text == "Getting page data") {
        text = "Receiving fax";
        if (f.bytesTransferred > 0)
            bytesPart = " (" + std::to_string(f.bytesTransferred) + " bytes)";
        if (f.currentPage > 0)
            pagePart = ", page " + std::to_string(f.currentPage);
    }
    if (const std::string id = trimmed(f.remoteId); !id.empty())
        text += " from: " + id + pagePart + bytesPart;
    if (upper(text).find("ABORT") != std::string::npos)
        text.clear();
    return text;
}

bool hidesNoticeWindow(std::string_view statusText) {
    return upper(statusText).find("ANSWERING") != std::string::npos;
}

std::string receiveFailureText(int lastErrorCode) {
    const std::string message = lastErrorCode != 0 ? faxengine::errorText(lastErrorCode) : "Unknown error";
    return "Parvane failed to receive an incoming fax.\r\n\r\nThe error message was:   " + message;
}

std::string openPortFailureText(std::string_view openError, int portNumber) {
    return std::string(openError) + "\r\n\r\n" + findModemAdvice(portNumber);
}

std::string noModemResponseText(int portNumber) {
    const std::string n = std::to_string(portNumber);
    return "We did not receive a modem response from COM" + n +
           ".\r\n\r\nTo verify the communications port, please click on the Find Modem button in Preferences "
           "to be sure.\r\n\r\nIf you are sure there is a modem on COM" +
           n + ", press CONTINUE\r\nto continue, otherwise press OK to stop the fax session.";
}

std::string resetStringFailureText(std::string_view resetString, int portNumber) {
    return "We are unable to continue the fax session. \r\n\r\nThe modem did not respond to the reset string:   (" +
           std::string(resetString) + ")\r\n\r\n" + findModemAdvice(portNumber);
}

std::string_view to_string(TrayState s) {
    switch (s) {
    case TrayState::Off:
        return "off";
    case TrayState::Waiting:
        return "waiting";
    case TrayState::Receiving:
        return "receiving";
    }
    return "";
}

std::string trayToolTip(TrayState state, std::string_view statusLine) {
    switch (state) {
    case TrayState::Off:
        return "Parvane - receive mode is off";
    case TrayState::Waiting:
        return "Parvane - waiting for faxes";
    case TrayState::Receiving: {
        const std::string line = trimmed(statusLine);
        return line.empty() ? "Parvane - receiving a fax" : "Parvane - " + line;
    }
    }
    return "Parvane";
}

std::string arrivalTitle() { return "New fax received"; }

std::string arrivalMessage(std::string_view from, int pages) {
    const std::string sender = trimmed(from);
    std::string text = std::to_string(pages) + (pages == 1 ? " page" : " pages");
    text += sender.empty() ? " from an unknown sender" : " from " + sender;
    return text;
}

} // namespace workflow::receive
