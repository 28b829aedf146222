#include "workflow/send/sender_setup.h"

#include "workflow/send/port_operations.h"

#include <cctype>
#include <charconv>

namespace workflow::send {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string trimmed(std::string_view s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// FaxFile, PhoneNumber and CoverFile are strings of at most 255 characters.
constexpr std::size_t kPassStringLength = 255;
std::string pass(std::string_view s) { return std::string(s.substr(0, kPassStringLength)); }

faxengine::TFaxClass senderClass(int stored) {
    switch (stored + 1) {
    case 1:
        return faxengine::TFaxClass::fcDetect;
    case 2:
        return faxengine::TFaxClass::fcClass1;
    case 3:
        return faxengine::TFaxClass::fcClass2;
    case 4:
        return faxengine::TFaxClass::fcClass2_0;
    default:
        // A value the settings should not hold: let the engine find out.
        return faxengine::TFaxClass::fcDetect;
    }
}

} // namespace

std::chrono::seconds dialWaitFromInit(std::string_view initString) {
    const std::string init = upper(initString);
    const auto at = init.find("S7=");
    if (at == std::string::npos)
        return kDefaultDialWait;
    std::string part = init.substr(at, 6);
    while (!part.empty() && !isDigit(part.back()))
        part.pop_back();
    if (part.size() <= 3)
        return kDefaultDialWait;
    const std::string digits = part.substr(3, 3);
    int value = 0;
    const auto [end, err] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (err != std::errc() || end != digits.data() + digits.size())
        return kDefaultDialWait;
    return std::max(std::chrono::seconds(value), kShortestDialWait);
}

std::string headerLine(std::string_view userName, std::string_view userFax, std::string_view shortDate,
                       std::string_view shortTime) {
    std::string h = "Sent";
    if (!trimmed(std::string(userName) + std::string(userFax)).empty())
        h += " by";
    if (!userName.empty())
        h += ": " + std::string(userName) + "    ";
    if (!userFax.empty())
        h += "         $I          ";
    h += "           " + std::string(shortDate) + "    " + std::string(shortTime);
    h += "              Page $P of $N";
    return h;
}

std::vector<std::string> configurationLines(const settings::Settings& s) {
    auto className = [](int c) -> std::string {
        switch (c) {
        case 1:
            return "Class 1";
        case 2:
            return "Class 2";
        case 3:
            return "Class 2.0";
        default:
            return "Autodetect";
        }
    };
    std::vector<std::string> lines{
        "Communications Port: COM" + std::to_string(s.modem.comPort + 1),
        "Fax Class: " + className(s.modem.faxClass),
        "Transfer Rate: " + std::to_string(s.modem.maximumBps),
        std::string("Dialing with: ") + (s.dialing.toneOrPulse == 0 ? "Tone" : "Pulse"),
        "Modem Init String :" + s.modem.initString,
        "Modem Reset String :" + s.resetting.string,
        "Post Reset String :" + s.resetting.afterString,
        "Station ID (Fax #) :" + s.user.fax,
        "Dial Attempts :" + std::to_string(s.dialing.dialAttempts),
        "Retry in :" + std::to_string(s.dialing.retryWait) + " seconds",
    };
    if (s.dialing.blindDial)
        lines.emplace_back("Blind Dial is ACTIVE");
    if (s.dialing.ignoreBusy)
        lines.emplace_back("Ignore Busy is ACTIVE");
    if (s.dialing.ecm)
        lines.emplace_back("Using Error Correction");
    return lines;
}

void configureSender(faxengine::TVelkSendFax& fax, const settings::Settings& s, const DialChoices& c) {
    fax.SetDesiredBPS(s.modem.maximumBps);
    fax.SetDesiredECM(s.dialing.ecm);
    fax.SetBlindDial(s.dialing.blindDial);
    fax.SetDetectBusy(!s.dialing.ignoreBusy);
    fax.SetFaxFile(pass(c.faxFile));
    fax.SetCoverFile("");
    std::string number = pass(c.phoneNumber);
    fax.SetMPSEnabled(!s.modem.renegotiateBetween);
    if (!c.disableSuffix)
        number += c.dialSuffix;
    fax.SetPhoneNumber(number);
    fax.SetToneDial(s.dialing.toneOrPulse == 0);
    fax.SetFaxClass(senderClass(s.modem.faxClass));
    fax.SetDialAttempts(s.dialing.dialAttempts);
    fax.SetDialRetryWait(s.dialing.retryWait);
    fax.SetDialWait(static_cast<int>(dialWaitFromInit(s.modem.initString).count()));
    fax.SetStationID(s.user.fax);
    fax.SetDialPrefix(c.disablePrefix ? std::string() : c.dialPrefix);
    if (!s.modem.initString.empty())
        fax.SetModemInit(withAtPrefix(s.modem.initString));
    fax.SetHeaderLine(c.header);
}

} // namespace workflow::send
