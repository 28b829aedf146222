// The settings record: every key of PVN.INI the program uses, with its default.
// One instance lives for the whole run (settings::current()); it is loaded at start and
// saved when a dialog accepts changes and at shutdown.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace settings {

inline constexpr const char* kSettingsFileName = "PVN.INI";
// The project version, from the build (CMake PROJECT_VERSION).
extern const char* const kVersionString;
inline constexpr const char* kDefaultPrinterText = "Default Windows Printer";

// [Modem] FaxClass / FaxClassReceive
enum class StoredFaxClass { AutoDetect = 0, Class1 = 1, Class2 = 2, Class2_0 = 3 };

struct ModemSettings {
    int comPort = -1;           // 0 = COM1 … 5 = COM6; -1 (missing key) means first run
    int faxClass = 1;           // StoredFaxClass as stored
    int maximumBps = 9600;
    std::string initString;     // without the "AT" prefix
    std::string initStringReceive;
    int faxClassReceive = 1;
    int maximumBpsReceive = 9600;
    bool renegotiateBetween = false;
};

struct DialingSettings {
    int toneOrPulse = 0; // 0 tone, 1 pulse
    std::string dialPrefix;
    std::string dialSuffix;
    int dialAttempts = 3;
    int retryWait = 60; // seconds
    bool blindDial = false;
    bool ignoreBusy = false;
    bool ecm = false;
    int timeout = 60; // kept and written back, unused
};

struct UserSettings {
    std::string name;
    std::string fax; // the user's own number, used as station identifier
    bool prefixDisable = false;
    bool suffixDisable = false;
};

struct ResettingSettings {
    std::string string;      // sent before each fax session
    std::string afterString; // sent after each fax session
};

struct ReceiveSettings {
    bool atStartup = false;
    int answerOnRing = 1; // 1..8
    bool ecmReceive = false;
    std::string wav;
    bool printOnReceipt = false;
    std::string printOnReceiptPrinter = kDefaultPrinterText;
    bool disableReceivingFaxesNotification = false; // kept and written back, unused
};

struct DefaultFontSettings {
    std::string name = "Arial";
    int size = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct OtherSettings {
    bool imposeWaitBeforePrinting = false;
    bool useMotorolaSm56Fix = false;
};

struct Settings {
    ModemSettings modem;
    DialingSettings dialing;
    UserSettings user;
    ResettingSettings resetting;
    ReceiveSettings receive;
    DefaultFontSettings defaultFont;
    bool hintsOn = true;
    OtherSettings other;

    // [Ports] COMn=device: read only here; the file keeps whatever the user wrote.
    std::map<int, std::string> portDevices;

    bool firstRun() const { return modem.comPort == -1; }
    // Device path for port number n (1-based): the [Ports] entry, else /dev/ttyS(n-1).
    std::string devicePathForPort(int portNumber) const;
    // The device [Ports] names for port n, when it can still be a modem: nullopt when the
    // port has no entry, or its entry is a pseudo-terminal that is gone (left behind by a
    // virtual line of an earlier run). Ports without one run on the virtual line.
    std::optional<std::string> namedDeviceForPort(int portNumber) const;
    // The port the program uses: the configured one, COM1 before the first setup.
    int configuredPortNumber() const { return modem.comPort >= 0 ? modem.comPort + 1 : 1; }
};

// Reads every key from the INI text held in `file` (missing keys take their defaults;
// receiving values default to the sending ones). Does not touch the live flags.
Settings readSettings(const class IniFile& file);
// Writes every key of the record and [Version] into `file`, leaving other sections alone.
void writeSettings(const Settings& s, class IniFile& file);

// Load PVN.INI from the program directory into `s` and update the live flags.
void loadSettings(Settings& s, const std::filesystem::path& programDir);
// Save `s` into PVN.INI in the program directory: the file is read again first so that
// sections other windows wrote meanwhile ([Printing], placements, [Ports]) are kept.
// A file that is not text at all is kept as PVN.INI.unreadable before it is replaced.
// Updates the live flags. Throws std::system_error when the file cannot be written.
void saveSettings(const Settings& s, const std::filesystem::path& programDir);

// The process-wide record.
Settings& current();

// Transfer-rate list index <-> stored bits per second: 0↔2400 … 5↔14400.
// Unknown rates show as index 3; unknown indexes store 9600.
int rateIndexFromBps(int bps);
int bpsFromRateIndex(int index);

// Live flag read by printing; the serial technique switch lives in faxengine.
bool imposeWaitBeforePrinting();
void setLiveFlags(const Settings& s);

} // namespace settings
