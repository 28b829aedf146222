#include "workflow/diagnostics/diagnostic_rules.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace diagnostics {

namespace ec = faxengine::ec;

int topicForError(int errorCode, bool sending) {
    switch (errorCode) {
    case ec::FaxNoAnswer:
    case ec::FaxNoCarrier: return kTopicNoAnswer;
    case ec::FaxNoDialTone: return kTopicNoDialTone;
    case ec::FaxBadModemResult: return sending ? kTopicBadResponseSending : kTopicBadResponseReceiving;
    case ec::TimeOut: return sending ? kTopicTimeoutSending : kTopicTimeoutReceiving;
    default: return kNoTopic;
    }
}

// ---------------------------------------------------------------------------------------

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string className(int stored) {
    switch (stored) {
    case 0: return "Autodetect";
    case 2: return "2";
    case 3: return "2.0";
    default: return std::to_string(stored);
    }
}

std::string item(int n) { return "(Item #" + std::to_string(n) + " on the Preferences screen)"; }

} // namespace

std::vector<AnalysisSection> configurationAnalysis(const settings::Settings& s) {
    std::vector<AnalysisSection> out;

    AnalysisSection modem{"Modem and Communications Port", {}};
    const int port = s.configuredPortNumber();
    std::string portLine = "You are using Communications Port: COM" + std::to_string(port) + ". " + item(1);
    if (auto it = s.portDevices.find(port); it != s.portDevices.end())
        portLine += " It is the device " + it->second + ", as set in the [Ports] section of PVN.INI.";
    modem.bullets.push_back(portLine);
    if (s.dialing.toneOrPulse == 1)
        modem.bullets.push_back("You are currently using PULSE dialing. This is extremely rare. Are you certain you "
                                "have PULSE dialing? " + item(2));
    const std::string reset = s.resetting.string;
    const std::string resetUp = upper(reset);
    if (reset.find_first_not_of(' ') == std::string::npos)
        modem.bullets.push_back("You are not using a modem reset string. This is normally fine. If your modem "
                                "behaves oddly after a failed fax, try \"ATZ\" or \"AT&F\". " + item(3));
    else if (resetUp == "AT&F" || resetUp == "ATZ") {
        const std::string other = resetUp == "AT&F" ? "ATZ" : "AT&F";
        modem.bullets.push_back("You are using \"" + resetUp + "\" as your modem reset string. A reset string is "
                                "normally not required; some modems work better with \"" + other + "\". " + item(3));
    } else
        modem.bullets.push_back("You are using \"" + reset + "\" as your modem reset string. Normally this should be "
                                "\"ATZ\" or \"AT&F\" or blank. If you have trouble, change it to one of these or "
                                "remove it. " + item(3));
    out.push_back(std::move(modem));

    AnalysisSection send{"Sending Faxes", {}};
    if (s.modem.faxClass == 1)
        send.bullets.push_back("You are using Fax Class 1 for SENDING faxes. This is the recommended setting. " + item(4));
    else
        send.bullets.push_back("You are using Fax Class " + className(s.modem.faxClass) + ". " +
                               "Our recommendation is to use Fax Class 1 if you experience any problems SENDING "
                               "faxes. " + item(4));
    const std::string rate = std::to_string(s.modem.maximumBps);
    if (s.modem.maximumBps > 9600)
        send.bullets.push_back("Your current Transfer Rate of " + rate + " may be too high for sending faxes. If you "
                               "are having trouble SENDING faxes, change it to the recommended 9600 or lower. " + item(5));
    else
        send.bullets.push_back("Your current Transfer Rate for sending faxes is " + rate + ". This should be fine. "
                               "If you experience problems SENDING faxes, try lowering it to 7200.  " + item(5));
    if (!s.modem.initString.empty())
        send.bullets.push_back("You are using \"" + s.modem.initString + "\" as your modem initialization string for "
                               "SENDING faxes. Normally an initialization string is not required. If you have "
                               "trouble, try without it, and see \"General Recommendations for Fax SENDING "
                               "Problems\". " + item(6));
    else
        send.bullets.push_back("You are not using a modem initialization string for SENDING faxes. This is normally "
                               "fine. " + item(6));
    const std::string& station = s.user.fax;
    if (std::any_of(station.begin(), station.end(), [](char c) { return c < '0' || c > '9'; }))
        send.bullets.push_back("Your Fax Number (Station ID) is " + station + ". Some older fax machines accept "
                               "digits only: use 1115551212 rather than 111-555-1212. " + item(7));
    if (s.dialing.ecm)
        send.bullets.push_back("You are currently Using Fax Error Control. Only a few modems support this. If you "
                               "have trouble SENDING faxes, switch it off. " + item(8));
    if (s.modem.renegotiateBetween)
        send.bullets.push_back("You are currently using Renegotiate Between Pages for SENDING faxes. It makes "
                               "multi-page faxes slower but helps on noisy lines. " + item(12));
    else
        send.bullets.push_back("You are not using Renegotiate Between Pages for SENDING faxes. If multi-page faxes "
                               "fail after the first page, try switching it on. " + item(12));
    if (s.dialing.blindDial)
        send.bullets.push_back("You are using the Blind Dial setting. The modem dials without waiting for a dial "
                               "tone; use it only when your line's dial tone is not recognised. " + item(13));
    if (s.dialing.ignoreBusy)
        send.bullets.push_back("You are using the Ignore Busy setting. A busy line is then not recognised as "
                               "such. " + item(14));
    out.push_back(std::move(send));

    AnalysisSection recv{"Receiving Faxes", {}};
    if (s.modem.faxClassReceive == 1)
        recv.bullets.push_back("You are using Fax Class 1 for RECEIVING faxes. This is the recommended setting." +
                               item(15));
    else
        recv.bullets.push_back("You are using Fax Class " + className(s.modem.faxClassReceive) + "." +
                               "Our recommendation is to use Fax Class 1 if you experience any problems RECEIVING "
                               "faxes. " + item(15));
    const std::string rrate = std::to_string(s.modem.maximumBpsReceive);
    if (s.modem.maximumBpsReceive > 9600)
        recv.bullets.push_back("Your current Transfer Rate for RECEIVING faxes of " + rrate + " may be too high. If "
                               "you are having trouble RECEIVING faxes, change it to the recommended 9600 or lower. " +
                               item(16));
    else
        recv.bullets.push_back("Your current Transfer Rate for RECEIVING faxes is " + rrate + ". This should be "
                               "fine. If you experience problems RECEIVING faxes, try lowering it to 7200.  " + item(16));
    if (!s.modem.initStringReceive.empty())
        recv.bullets.push_back("You are using \"" + s.modem.initStringReceive + "\" as your modem initialization "
                               "string for RECEIVING faxes. Normally an initialization string is not required. If "
                               "you have trouble, try without it, and see \"General Recommendations for Fax "
                               "RECEIVING Problems\". " + item(17));
    else
        recv.bullets.push_back("You are not using a modem initialization string for RECEIVING faxes. This is "
                               "normally fine. " + item(17));
    if (s.receive.answerOnRing > 3)
        recv.bullets.push_back("Your Answer On Ring setting is for " + std::to_string(s.receive.answerOnRing) +
                               " rings. In some cases this could cause the modem or faxmodem which is trying to send "
                               "you a fax to \"Time Out\" because it is taking too long to answer. If you are having "
                               "problems RECEIVING faxes try setting this to 1, 2 or 3 rings. " + item(18));
    if (s.receive.ecmReceive)
        recv.bullets.push_back("You are currently Using Fax Error Control for RECEIVING faxes. Only a few modems "
                               "support this. If you have trouble RECEIVING faxes, switch it off. " + item(20));
    out.push_back(std::move(recv));
    return out;
}

// ---------------------------------------------------------------------------------------

namespace {
constexpr std::array<std::string_view, kModemTypeCount> kModemTypes = {
    "Hayes Compatible modem   or   UNKNOWN",
    "US Robotics/3COM Modem   or   WinModem",
    "US Robotics/3COM Sportster 28.8 or Early 33.6 model",
    "US Robotics/3COM Late Model Sportster 33.6 model",
    "US Robotics/3COM Sportster X2 modem",
    "Cirrus Logic or AT&&T modem",
};
} // namespace

std::string_view modemTypeText(int item) {
    return item >= 0 && item < kModemTypeCount ? kModemTypes[static_cast<std::size_t>(item)] : std::string_view{};
}

bool presetLongWait(std::string_view s) {
    const std::string up = upper(s);
    const auto at = up.find("S7=");
    if (at == std::string::npos)
        return false;
    std::string part(s.substr(at, 6));
    while (!part.empty() && !std::isdigit(static_cast<unsigned char>(part.back())))
        part.pop_back();
    if (part.size() <= 3)
        return false;
    // The digits after "S7=", at most three; anything else there is no number.
    const std::string digits = part.substr(3, 3);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    const int value = std::stoi(digits);
    const bool usr = s.find("&H3") != std::string_view::npos;
    return value > (usr ? 90 : 65);
}

int presetModemType(std::string_view s) {
    const std::string up = upper(s);
    if (up.find("S36=0") != std::string::npos)
        return 2;
    if (up.find("S33=34") != std::string::npos)
        return 4;
    if (up.find("S36=8") != std::string::npos)
        return 3;
    if (up.find("\\Q3") != std::string::npos)
        return 5;
    if (up.find("&R2") != std::string::npos)
        return 1;
    return 0;
}

std::string composeInitString(int item, bool sending, bool longWait) {
    std::string s7 = "S7=65";
    if (sending) {
        if (longWait)
            s7 = "S7=120";
        else if (item != 0)
            s7 = "S7=90";
    }
    switch (item) {
    case 1: return "AT&H3&I2&R2" + s7;
    case 2: return "AT&H3&I2&R2" + s7 + "S36=0";
    case 3: return "AT&H3&I2&R2" + s7 + "S36=8";
    case 4: return "AT&H3&I2&R2" + s7 + "S36=8S33=34";
    case 5: return "AT&F&C1&D2\\Q3" + s7;
    default: return "AT&F&C1&D2&K3" + s7;
    }
}

// ---------------------------------------------------------------------------------------

ClassSupport classSupportFromBits(int bits) { return {(bits & 4) != 0, (bits & 8) != 0, (bits & 16) != 0}; }

int recommendedClassIndex(const ClassSupport& c) {
    if (c.class1)
        return 0;
    if (c.class2)
        return 1;
    if (c.class2_0)
        return 2;
    return -1;
}

std::string_view classIndexName(int index) {
    switch (index) {
    case 0: return "Class 1";
    case 1: return "Class 2";
    case 2: return "Class 2.0";
    default: return "";
    }
}

// ---------------------------------------------------------------------------------------

std::string_view to_string(PortState s) {
    switch (s) {
    case PortState::Modem: return "modem";
    case PortState::NoAnswer: return "no answer";
    case PortState::Missing: return "missing";
    case PortState::Busy: return "busy";
    case PortState::NoPermission: return "no permission";
    case PortState::Failed: return "failed";
    }
    return "";
}

std::string scanSummary(const std::vector<PortResult>& results) {
    const PortResult* found = nullptr;
    for (const auto& r : results)
        if (r.state == PortState::Modem && r.comNumber > 0) {
            found = &r;
            break;
        }
    if (found) {
        const std::string n = std::to_string(found->comNumber);
        return "A modem was found on Com Port " + n + ". We suggest setting the Port as Com " + n + ".";
    }
    for (const auto& r : results)
        if (r.state == PortState::Modem)
            return "A modem was found on " + r.device + ", which no Com port points at yet. Use it for the Port "
                   "you choose, and the program will remember it in the [Ports] section of PVN.INI.";
    const bool busy = std::any_of(results.begin(), results.end(), [](const PortResult& r) { return r.state == PortState::Busy; });
    const bool denied = std::any_of(results.begin(), results.end(), [](const PortResult& r) { return r.state == PortState::NoPermission; });
    std::string text = busy ? "No modem found. Please make sure that all communication programs (internet, AOL, etc) "
                              "are closed, and then try again. If you know which Com port your modem uses, you can also "
                              "just set the Port to that setting"
                            : "No modem found. If you know which Com port your modem uses, you can also just set the "
                              "Port to that setting";
    if (denied)
        text += ". Some devices could not be opened because your user may not use them: add yourself to the "
                "\"dialout\" group (sudo usermod -aG dialout $USER), log out and in again, and try once more";
    return text;
}

std::string permissionText(const std::string& device) {
    return "You may not open " + device + ": add your user to the \"dialout\" group and log in again";
}

} // namespace diagnostics
