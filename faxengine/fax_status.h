// The fax engine's progress vocabulary: class query bits, fax status codes (the session's
// progress value) with their texts, and the history log codes.
#pragma once

#include "faxengine/engine_errors.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace faxengine {

// Bits of the class query's answer.
inline constexpr int kFaxClass1Bit = 4;
inline constexpr int kFaxClass2Bit = 8;
inline constexpr int kFaxClass2_0Bit = 16;

// Progress values a session reports. Codes are stored as plain ints in the session, so
// codes outside this list may still be looked up (they have no text).
enum class FaxStatus : int {
    Initializing = 1,
    Dialing = 2,
    BusyWait = 3,
    SendingPage = 4,
    SendingEop = 5,
    PageError = 6,
    PageAccepted = 7,
    Connecting = 8,
    WaitingForCall = 20,
    NoConnect = 21,
    Answering = 22,
    IncomingFax = 23,
    GettingPage = 24,
    GettingPageEnd = 25,
    GettingDocEnd = 26,
    GettingHangup = 27,
    GotFhng = 28,
    GettingParams = 40,
    GotRemoteId = 41,
    UserAbort = 42,
    Finished = 43,
};

// Text of a status code: the table text for codes that have one, "" for any other value.
// The fax status texts by code; the "STR0" fax-string table is built from the same data.
std::span<const faximage::StringEntry> faxStatusTable();
std::string_view faxStatusText(int code);
inline std::string_view faxStatusText(FaxStatus s) { return faxStatusText(static_cast<int>(s)); }

// Codes the history log is written for.
enum class TFaxLogCode : std::uint8_t {
    lfaxTransmitStart = 1,
    lfaxTransmitOk = 2,
    lfaxTransmitFail = 3,
    lfaxReceiveStart = 4,
    lfaxReceiveOk = 5,
    lfaxReceiveSkip = 6,
    lfaxReceiveFail = 7,
};
std::string_view to_string(TFaxLogCode c);
// The code for a notice parameter; false when the value is not a log code.
bool faxLogCodeFrom(int value, TFaxLogCode& out);

} // namespace faxengine
