// The rules of the modem diagnostics that need no window: which problem solver topic an
// error leads to, the analysis of the current settings, the init strings the helper
// composes, the fax class to recommend and the texts of a port scan.
#pragma once

#include "settings/settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace diagnostics {

// Problem solver topic ids with a meaning of their own.
inline constexpr int kNoTopic = 255;
inline constexpr int kTopicNone = -1;
inline constexpr int kTopicBadResponseSending = 0;
inline constexpr int kTopicTimeoutSending = 1;
inline constexpr int kTopicNoAnswer = 2;
inline constexpr int kTopicNoDialTone = 4;
inline constexpr int kTopicPortInUse = 5;
inline constexpr int kTopicTimeoutReceiving = 18;
inline constexpr int kTopicBadResponseReceiving = 19;
inline constexpr int kTopicOtherErrors = 20;
inline constexpr int kTopicGeneralSending = 200;
inline constexpr int kTopicGeneralReceiving = 201;
inline constexpr int kTopicConfiguration = 202;
inline constexpr int kTopicTechSupport = 666;

// The topic for an engine error code, by whether it happened while sending.
int topicForError(int errorCode, bool sending);

// ---- configuration analysis ------------------------------------------------------------
struct AnalysisSection {
    std::string header;
    std::vector<std::string> bullets;
};
std::vector<AnalysisSection> configurationAnalysis(const settings::Settings& s);

// ---- init string helper ------------------------------------------------------------------
inline constexpr int kModemTypeCount = 6;
// The radio items' texts ("&&" shows as one ampersand in a button label).
std::string_view modemTypeText(int item);
// Whether the S7 box starts ticked for string S.
bool presetLongWait(std::string_view s);
// The item chosen at start for string S.
int presetModemType(std::string_view s);
// The string the helper composes for an item.
std::string composeInitString(int item, bool sending, bool longWait);

// ---- fax class check ---------------------------------------------------------------------
struct ClassSupport {
    bool class1 = false;
    bool class2 = false;
    bool class2_0 = false;
    bool any() const { return class1 || class2 || class2_0; }
};
// From the engine's class query answer (bits 4, 8, 16).
ClassSupport classSupportFromBits(int bits);
// 0 Class 1, 1 Class 2, 2 Class 2.0; -1 when none is supported.
int recommendedClassIndex(const ClassSupport& c);
std::string_view classIndexName(int index);

// ---- port scan -----------------------------------------------------------------------------
enum class PortState : std::uint8_t { Modem, NoAnswer, Missing, Busy, NoPermission, Failed };
std::string_view to_string(PortState s);

struct PortResult {
    std::string name;   // "Com 1" or the device path for devices outside [Ports]
    std::string device; // the device tested
    int comNumber = 0;  // 1..6 for the [Ports] entries, 0 for other devices
    PortState state = PortState::Missing;
    std::string detail; // the text after the name
};

// The final text of a scan.
std::string scanSummary(const std::vector<PortResult>& results);

// The plain-words text for a device the user may not open.
std::string permissionText(const std::string& device);

} // namespace diagnostics
