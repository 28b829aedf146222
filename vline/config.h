// What the virtual line is made of: its numbers, what answers them, and how calls go.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vline {

using Millis = std::chrono::milliseconds;

// How the network treats a call to a number.
enum class Condition {
    Normal,     // rings and is answered by what sits on the number
    Busy,       // busy tone: the caller's modem reports BUSY
    NoAnswer,   // rings until the caller gives up: NO ANSWER
    NoDialtone, // the caller's line is dead: NO DIALTONE
    Voice,      // a person answers: the caller's modem reports VOICE
};
std::string_view to_string(Condition c);
std::optional<Condition> conditionFromString(std::string_view s);

// What sits on a number.
enum class NumberKind {
    Modem,      // a Class 1 fax modem on a pty
    FarEnd,     // the built-in fax machine
    Line,       // nothing: the number only has a condition
};
std::string_view to_string(NumberKind k);

enum class FarEndMode { Receive, Send };
std::string_view to_string(FarEndMode m);

// Faults laid on the audio of a call.
struct Impairments {
    std::optional<double> noiseDbm0; // white noise level added in both directions
    Millis dropStart{0};             // audio silenced this long after the answer ...
    Millis dropLength{0};            // ... for this long (0: never)
};

// Copies of non-ECM pages that the line damages on their way to a number, so that the
// receiver answers RTN (damage-page, damage-copies).
struct DamagePlan {
    static constexpr int kEvery = -1;
    int page = 0;   // from 1; kEvery: every page; 0: none
    int copies = 1; // the first this many copies of such a page; kEvery: all of them

    bool any() const { return page != 0 && copies != 0; }
    bool covers(int pageNumber, int copy) const;
};

struct NumberConfig {
    std::string number;
    NumberKind kind = NumberKind::Line;
    Condition condition = Condition::Normal;
    // Conditions of successive calls to the number (call 1 takes the first, the last
    // one repeats); empty: every call takes `condition`.
    std::vector<Condition> sequence;
    Impairments impairments;
    DamagePlan damage;
    Millis noAnswerAfter{0}; // 0: as long as the caller's modem waits (S7)
    int answerAfterRings = 1;

    // Modems.
    std::filesystem::path link; // symbolic link made to the pty, if set
    // What AT+FCLASS=? lists. Class 1 unless asked: programs that detect the class pick
    // 2.0 when it is offered.
    std::string classes = "0,1";
    int badPages = 0; // Class 2/2.0: the first N pages it receives in a call fail its copy check

    // Far ends.
    FarEndMode mode = FarEndMode::Receive;
    std::string ident = "+1 555 0200";
    bool ecm = true;
    bool twoDimensional = true;   // offers/uses T.4 2-D and T.6 coding besides 1-D MH
    std::filesystem::path file; // Send: the TIFF it sends
    std::string dial;           // Send: the number it calls
    Millis callDelay{2000};     // Send: quiet time on the called modem's port before it calls
    int calls = 1;              // Send: how many calls it makes
    int hangupAfterPages = 0;   // drops the line once this many pages are confirmed (0: off)
    int hangupMidPage = 0;      // drops the line in the middle of this page (0: off)
    Millis midPageDelay{1000};  // how far into that page

    Condition conditionOfCall(int callIndex) const; // callIndex from 0
};

struct Config {
    std::vector<NumberConfig> numbers;
    std::filesystem::path logDir;
    std::filesystem::path portsFile;
    std::filesystem::path updateIni;
    std::filesystem::path linkDir;
    int firstCom = 1;
    bool record = false;
    bool once = false;
    bool child = false;
    bool verbose = false;
    Millis ringPeriod{6000};      // one RING per period
    Millis dialTime{1500};        // from ATD to the first ring or the busy tone
    Millis disconnectDelay{1500}; // until a modem notices that the other side hung up
    // One-way transmission delay. A real line and the modems' filters delay the signal by
    // tens of ms; without it a receiver would hear the end of a carrier before the sender
    // reports the end of its transmission, and the turn-around after the training check
    // (TCF, then CFR) becomes a race the caller loses.
    Millis lineDelay{50};
    Millis defaultNoAnswer{60000};

    const NumberConfig* find(std::string_view number) const;
    std::vector<const NumberConfig*> modems() const;
};

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "2.5", "2.5s", "1500ms" → milliseconds. Throws ConfigError.
Millis parseDuration(std::string_view text);
// Keeps the digits, '*', '#' and '+' of a dial string: "T 555-0200" → "5550200".
std::string normaliseNumber(std::string_view dial);
// "0,1,2.0": the fax classes of a modem, checked and tidied. Throws ConfigError.
std::string parseClassList(std::string_view text);

// Reads a configuration file into cfg (numbers are added; [line] keys override).
void loadConfigFile(const std::filesystem::path& file, Config& cfg);
void loadConfigText(std::string_view text, const std::string& origin, Config& cfg);

struct CommandLine {
    Config config;
    bool help = false;
    bool version = false;
};
// Parses the command line; a --config file is read first, then the options on top.
// Without any numbers from a file the built-in plan (defaultPlan) is used.
CommandLine parseCommandLine(int argc, const char* const* argv);
void addDefaultPlan(Config& cfg, int modems);

std::string helpText();

} // namespace vline
