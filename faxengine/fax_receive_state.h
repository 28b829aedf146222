// The states of the fax receive machine, numbered as the session's state byte holds them
// (the dispatch log records 15179 + number), and how each is run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace faxengine {

enum class ReceiveState : std::uint8_t {
    rfNone = 0,
    rfInit = 1,
    rf1Init1 = 2,
    rf2Init1 = 3,
    rf2Init1A = 4,
    rf2Init1B = 5,
    rf2Init2 = 6, // never entered
    rf2Init3 = 7,
    rfWaiting = 8,
    rfAnswer = 9,
    rf1SendCSI = 10,
    rf1SendDIS = 11,
    rf1CollFrms = 12,
    rf1CollRtry1 = 13,
    rf1CollRtry2 = 14,
    rf1StrtTrn = 15,
    rf1CollTrn = 16,
    rf1Timeout = 17, // never entered
    rf1Retrain = 18,
    rf1FinTrn = 19,
    rf1SendCFR = 20,
    rf1WtPgCnnct = 21,
    rf2ValCnnct = 22,
    rf2GtSndID = 23,
    rf2GtCnnct = 24,
    rfStartPage = 25,
    rfGtPgDta = 26,
    rf1FinPage = 27,
    rf1WaitEOP = 28,
    rf1WritePage = 29,
    rf1SendMCF = 30,
    rf1WaitDCN = 31,
    rf1WtHngp = 32,
    rf2GtPgRslt = 33,
    rf2GetFHNG = 34,
    rfComplete = 35,
    rfAbort = 36,
    rfDone = 37,
};

inline constexpr std::size_t kReceiveStateCount = 38;

std::string_view to_string(ReceiveState s);

// Dispatch-log sub-code of a state.
inline constexpr std::uint32_t kReceiveLogBase = 15179;

// How the machine goes on after a state's step.
enum class ReceiveRun : std::uint8_t {
    Again,     // run the next state at once
    WhileData, // run again only while received data is waiting
    Return,    // wait for the next event
};
std::string_view to_string(ReceiveRun r);

// True for the states whose events go through the response reader first.
bool readsResponses(ReceiveState s);
ReceiveRun runAfter(ReceiveState s);

} // namespace faxengine
