// States of the fax transmit machine. The number of each state is what the session's state
// byte holds and what the dispatch log records (sub-code 15130 + number), so the values
// are fixed. tf1 states serve Class 1 only, tf2 states Class 2 and 2.0, tf20 Class 2.0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace faxengine {

enum class TransmitState : std::uint8_t {
    tfNone = 0,
    tfGetEntry = 1,
    tfInit = 2,
    tf1Init1 = 3,
    tf2Init1 = 4,
    tf2Init1A = 5,
    tf2Init1B = 6,
    tf2Init2 = 7,
    tf2Init3 = 8,
    tfDial = 9,
    tfRetryWait = 10,
    tf1Connect = 11,
    tf1SendTSI = 12,
    tf1TSIRespns = 13,
    tf1DCSRspns = 14,
    tf1TrainStrt = 15,
    tf1TrainFnsh = 16,
    tf1WaitCFR = 17,
    tf1WaitPgCn = 18,
    tf2Connect = 19,
    tf2GetParams = 20,
    tfWaitXon = 21,
    tfWaitFrHead = 22,
    tfSndPgeHdr = 23,
    tfOpenCover = 24,
    tfSendCover = 25,
    tfPrepPage = 26,
    tfSendPage = 27,
    tfDrainPage = 28,
    tf1PageEnd = 29,
    tf1PrepEOP = 30,
    tf1SendEOP = 31,
    tf1WaitMPS = 32,
    tf1WaitEOP = 33,
    tf1WaitMCF = 34,
    tf1SendDCN = 35,
    tf1Hangup = 36,
    tf1WaitHngp = 37,
    tf2SendEOP = 38,
    tf2WaitFPTS = 39,
    tf2WaitFET = 40,
    tf2WaitPgOK = 41,
    tf2SndNwPrm = 42,
    tf2NextPage = 43,
    tf20ChckPg = 44,
    tfClose = 45,
    tfCompleteOK = 46,
    tfAbort = 47,
    tfDone = 48,
};

inline constexpr std::size_t kTransmitStateCount = 49;

std::string_view to_string(TransmitState s);

// Dispatch-log sub-code base of the transmit states.
inline constexpr std::uint32_t kTransmitLogBase = 15130;

// What the machine does after a state's step, judged from the state it arrived in.
enum class TransmitPace : std::uint8_t {
    Immediate,   // run the next step at once
    WhileInput,  // run again only while received bytes wait
    Wait,        // return and wait for the next event
};
std::string_view to_string(TransmitPace p);
TransmitPace paceOf(TransmitState s);

// States whose step reads modem responses: on data they run the response reader first,
// and an expired timeout is judged before the step.
bool readsResponses(TransmitState s);
// States that wait for the modem's verdict (OK or ERROR) on a frame it received.
bool waitsForFrameVerdict(TransmitState s);

} // namespace faxengine
