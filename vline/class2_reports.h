// The result lines of a Class 2 / Class 2.0 fax modem. The two command sets say the same
// things under different names (+FDCS: and +FCS:, +FHNG: and +FHS:, ...).
#pragma once

#include "t30_frames.h"

#include <string>
#include <string_view>

namespace vline {

enum class FaxDialect { Class2, Class20 };
std::string_view to_string(FaxDialect d);

enum class FaxReport {
    Connection, // +FCON / +FCO
    RemoteDis,  // +FDIS: / +FIS:
    Session,    // +FDCS: / +FCS:
    CalledId,   // +FCSI: / +FCI:
    CallerId,   // +FTSI: / +FTI:
    PageStatus, // +FPTS: / +FPS:
    PostPage,   // +FET:
    Hangup,     // +FHNG: / +FHS:
};
std::string_view to_string(FaxReport r);

// The report's name with its colon where it takes a value ("+FCON", "+FDCS:").
std::string_view reportName(FaxDialect d, FaxReport r);

// Whole report lines without the line ends.
std::string paramsReport(FaxDialect d, FaxReport r, const SessionParams& p);
std::string identReport(FaxDialect d, FaxReport r, std::string_view id);
std::string valueReport(FaxDialect d, FaxReport r, int value);

// Hang-up status codes shared by both command sets.
enum class HangupCode {
    Normal = 0,
    RingWithoutHandshake = 1,
    Aborted = 2,
    NoLoopCurrent = 3,
    PhaseAError = 10,
    NoAnswer = 11,
    TxPhaseBError = 20,
    RemoteCannotReceive = 21,
    NoResponseToDcs = 25,
    TrainingFailed = 27,
    TxPhaseCError = 40,
    TxPhaseDError = 50,
    NoResponseToMps = 52,
    InvalidResponseToMps = 53,
    NoResponseToEop = 54,
    InvalidResponseToEop = 55,
    NoResponseToEom = 56,
    RxPhaseBError = 70,
    NoPage = 73,
    RxPhaseCError = 90,
    RxPhaseDError = 100,
};
std::string_view to_string(HangupCode c);
std::string hangupReport(FaxDialect d, HangupCode c);

} // namespace vline
