#include "settings/settings.h"

#include "faxengine/live_flags.h"
#include "settings/ini_file.h"

#include <array>
#include <atomic>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace settings {

const char* const kVersionString = PARVANE_VERSION;

namespace {

constexpr std::array<int, 6> kRates = {2400, 4800, 7200, 9600, 12000, 14400};
constexpr int kDefaultRateIndex = 3;

std::atomic<bool> gImposeWaitBeforePrinting{false};

// "COM3" -> 3; anything else -> 0.
int portNumberFromKey(const std::string& key) {
    if (key.size() < 4 || !(std::toupper(key[0]) == 'C' && std::toupper(key[1]) == 'O' &&
                            std::toupper(key[2]) == 'M'))
        return 0;
    int n = 0;
    auto [end, ec] = std::from_chars(key.data() + 3, key.data() + key.size(), n);
    return (ec == std::errc() && end == key.data() + key.size() && n > 0) ? n : 0;
}

} // namespace

std::string Settings::devicePathForPort(int portNumber) const {
    if (auto it = portDevices.find(portNumber); it != portDevices.end() && !it->second.empty())
        return it->second;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

std::optional<std::string> Settings::namedDeviceForPort(int portNumber) const {
    auto it = portDevices.find(portNumber);
    if (it == portDevices.end() || it->second.empty())
        return std::nullopt;
    const std::string& path = it->second;
    std::error_code ec;
    if (path.starts_with("/dev/pts/") && !std::filesystem::exists(path, ec))
        return std::nullopt;
    return path;
}

Settings readSettings(const IniFile& ini) {
    Settings s;
    auto& m = s.modem;
    m.comPort = ini.readInteger("Modem", "ComPort", -1);
    m.faxClass = ini.readInteger("Modem", "FaxClass", 1);
    m.maximumBps = ini.readInteger("Modem", "MaximumBPS", 9600);
    m.initString = ini.readString("Modem", "InitString", "");
    // Receiving keys default to the sending values just read.
    m.initStringReceive = ini.readString("Modem", "InitStringReceive", m.initString);
    m.faxClassReceive = ini.readInteger("Modem", "FaxClassReceive", m.faxClass);
    m.maximumBpsReceive = ini.readInteger("Modem", "MaximumBPSReceive", m.maximumBps);
    m.renegotiateBetween = ini.readBool("Modem", "RenegotiateBetween", false);

    auto& d = s.dialing;
    d.toneOrPulse = ini.readInteger("Dialing", "ToneOrPulse", 0);
    d.dialPrefix = ini.readString("Dialing", "DialPrefix", "");
    d.dialSuffix = ini.readString("Dialing", "DialSuffix", "");
    d.dialAttempts = ini.readInteger("Dialing", "DialAttempts", 3);
    d.retryWait = ini.readInteger("Dialing", "RetryWait", 60);
    d.blindDial = ini.readBool("Dialing", "BlindDial", false);
    d.ignoreBusy = ini.readBool("Dialing", "IgnoreBusy", false);
    d.ecm = ini.readBool("Dialing", "ECM", false);
    d.timeout = ini.readInteger("Dialing", "Timeout", 60);

    auto& u = s.user;
    u.name = ini.readString("User", "Name", "");
    u.fax = ini.readString("User", "Fax", "");
    u.prefixDisable = ini.readBool("User", "PrefixDisable", false);
    u.suffixDisable = ini.readBool("User", "SuffixDisable", false);

    s.resetting.string = ini.readString("Resetting", "String", "");
    s.resetting.afterString = ini.readString("Resetting", "AfterString", "");

    auto& r = s.receive;
    r.atStartup = ini.readBool("Receive", "AtStartup", false);
    r.answerOnRing = ini.readInteger("Receive", "AnswerOnRing", 1);
    r.ecmReceive = ini.readBool("Receive", "ECMReceive", d.ecm);
    r.wav = ini.readString("Receive", "Wav", "");
    r.printOnReceipt = ini.readBool("Receive", "PrintOnReceipt", false);
    r.printOnReceiptPrinter = ini.readString("Receive", "PrintOnReceiptPrinter", kDefaultPrinterText);
    r.disableReceivingFaxesNotification =
        ini.readBool("Receive", "DisableReceivingFaxesNotification", false);

    auto& f = s.defaultFont;
    f.name = ini.readString("Default Font", "Name", "Arial");
    f.size = ini.readInteger("Default Font", "Size", 10);
    f.bold = ini.readBool("Default Font", "Bold", false);
    f.italic = ini.readBool("Default Font", "Italic", false);
    f.underline = ini.readBool("Default Font", "Underline", false);

    s.hintsOn = ini.readBool("Hints", "On", true);
    s.other.imposeWaitBeforePrinting = ini.readBool("Other", "ImposeWaitBeforePrinting", false);
    s.other.useMotorolaSm56Fix = ini.readBool("Other", "UseMotorolaSM56Fix", false);

    for (const auto& key : ini.keys("Ports"))
        if (int n = portNumberFromKey(key))
            s.portDevices[n] = ini.readString("Ports", key, "");
    return s;
}

void writeSettings(const Settings& s, IniFile& ini) {
    const auto& m = s.modem;
    ini.writeInteger("Modem", "ComPort", m.comPort);
    ini.writeInteger("Modem", "FaxClass", m.faxClass);
    ini.writeInteger("Modem", "MaximumBPS", m.maximumBps);
    ini.writeString("Modem", "InitString", m.initString);
    ini.writeString("Modem", "InitStringReceive", m.initStringReceive);
    ini.writeInteger("Modem", "FaxClassReceive", m.faxClassReceive);
    ini.writeInteger("Modem", "MaximumBPSReceive", m.maximumBpsReceive);
    ini.writeBool("Modem", "RenegotiateBetween", m.renegotiateBetween);

    const auto& d = s.dialing;
    ini.writeInteger("Dialing", "ToneOrPulse", d.toneOrPulse);
    ini.writeString("Dialing", "DialPrefix", d.dialPrefix);
    ini.writeString("Dialing", "DialSuffix", d.dialSuffix);
    ini.writeInteger("Dialing", "DialAttempts", d.dialAttempts);
    ini.writeInteger("Dialing", "RetryWait", d.retryWait);
    ini.writeBool("Dialing", "BlindDial", d.blindDial);
    ini.writeBool("Dialing", "IgnoreBusy", d.ignoreBusy);
    ini.writeBool("Dialing", "ECM", d.ecm);
    ini.writeInteger("Dialing", "Timeout", d.timeout);

    const auto& u = s.user;
    ini.writeString("User", "Name", u.name);
    ini.writeString("User", "Fax", u.fax);
    ini.writeBool("User", "PrefixDisable", u.prefixDisable);
    ini.writeBool("User", "SuffixDisable", u.suffixDisable);

    ini.writeString("Resetting", "String", s.resetting.string);
    ini.writeString("Resetting", "AfterString", s.resetting.afterString);

    const auto& r = s.receive;
    ini.writeBool("Receive", "AtStartup", r.atStartup);
    ini.writeInteger("Receive", "AnswerOnRing", r.answerOnRing);
    ini.writeBool("Receive", "ECMReceive", r.ecmReceive);
    ini.writeString("Receive", "Wav", r.wav);
    ini.writeBool("Receive", "PrintOnReceipt", r.printOnReceipt);
    ini.writeString("Receive", "PrintOnReceiptPrinter", r.printOnReceiptPrinter);
    ini.writeBool("Receive", "DisableReceivingFaxesNotification", r.disableReceivingFaxesNotification);

    const auto& f = s.defaultFont;
    ini.writeString("Default Font", "Name", f.name);
    ini.writeInteger("Default Font", "Size", f.size);
    ini.writeBool("Default Font", "Bold", f.bold);
    ini.writeBool("Default Font", "Italic", f.italic);
    ini.writeBool("Default Font", "Underline", f.underline);

    ini.writeBool("Hints", "On", s.hintsOn);
    ini.writeBool("Other", "ImposeWaitBeforePrinting", s.other.imposeWaitBeforePrinting);
    ini.writeBool("Other", "UseMotorolaSM56Fix", s.other.useMotorolaSm56Fix);
    ini.writeString("Version", "Version", kVersionString);
}

void loadSettings(Settings& s, const std::filesystem::path& programDir) {
    s = readSettings(IniFile::load(programDir / kSettingsFileName));
    setLiveFlags(s);
}

void saveSettings(const Settings& s, const std::filesystem::path& programDir) {
    const auto file = programDir / kSettingsFileName;
    // Whatever else the file holds stays in it: only the record's own keys are written.
    IniFile ini = IniFile::load(file);
    writeSettings(s, ini);
    setLiveFlags(s);
    ini.save(file);
}

Settings& current() {
    static Settings record;
    return record;
}

int rateIndexFromBps(int bps) {
    for (size_t i = 0; i < kRates.size(); ++i)
        if (kRates[i] == bps)
            return int(i);
    return kDefaultRateIndex;
}

int bpsFromRateIndex(int index) {
    if (index < 0 || index >= int(kRates.size()))
        return kRates[kDefaultRateIndex];
    return kRates[size_t(index)];
}

bool imposeWaitBeforePrinting() { return gImposeWaitBeforePrinting.load(std::memory_order_relaxed); }

void setLiveFlags(const Settings& s) {
    faxengine::setUseSm56Fix(s.other.useMotorolaSm56Fix);
    gImposeWaitBeforePrinting.store(s.other.imposeWaitBeforePrinting, std::memory_order_relaxed);
}

} // namespace settings
