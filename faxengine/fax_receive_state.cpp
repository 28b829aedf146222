// The receive machine's states in one table: for each state its name, how the machine goes
// on after its step, whether its events go through the response reader first, and its step.
#include "faxengine/fax_receive.h"

#include <array>

namespace faxengine {

constexpr std::array<FaxReceiver::StateRow, kReceiveStateCount> FaxReceiver::kStates{{
    {ReceiveState::rfNone, "rfNone", ReceiveRun::Return, false, nullptr},
    {ReceiveState::rfInit, "rfInit", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doInit(); }},
    {ReceiveState::rf1Init1, "rf1Init1", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doInitReply(); }},
    {ReceiveState::rf2Init1, "rf2Init1", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doInitReply(); }},
    {ReceiveState::rf2Init1A, "rf2Init1A", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doInitReply(); }},
    {ReceiveState::rf2Init1B, "rf2Init1B", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doInitReply(); }},
    {ReceiveState::rf2Init2, "rf2Init2", ReceiveRun::WhileData, true, nullptr}, // never entered
    {ReceiveState::rf2Init3, "rf2Init3", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doInitReply(); }},
    {ReceiveState::rfWaiting, "rfWaiting", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doWaiting(); }},
    {ReceiveState::rfAnswer, "rfAnswer", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doAnswer(); }},
    {ReceiveState::rf1SendCSI, "rf1SendCSI", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doSendCSI(); }},
    {ReceiveState::rf1SendDIS, "rf1SendDIS", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doSendDIS(); }},
    {ReceiveState::rf1CollFrms, "rf1CollFrms", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doCollFrms(); }},
    {ReceiveState::rf1CollRtry1, "rf1CollRtry1", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doCollRtry1(); }},
    {ReceiveState::rf1CollRtry2, "rf1CollRtry2", ReceiveRun::Return, false, [](FaxReceiver& r) { r.doCollRtry2(); }},
    {ReceiveState::rf1StrtTrn, "rf1StrtTrn", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doStrtTrn(); }},
    {ReceiveState::rf1CollTrn, "rf1CollTrn", ReceiveRun::Return, false, [](FaxReceiver& r) { r.doCollTrn(); }},
    {ReceiveState::rf1Timeout, "rf1Timeout", ReceiveRun::WhileData, false, nullptr}, // never entered
    {ReceiveState::rf1Retrain, "rf1Retrain", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doRetrain(); }},
    {ReceiveState::rf1FinTrn, "rf1FinTrn", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doFinTrn(); }},
    {ReceiveState::rf1SendCFR, "rf1SendCFR", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doSendCFR(); }},
    {ReceiveState::rf1WtPgCnnct, "rf1WtPgCnnct", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doWtPgCnnct(); }},
    {ReceiveState::rf2ValCnnct, "rf2ValCnnct", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doValCnnct(); }},
    {ReceiveState::rf2GtSndID, "rf2GtSndID", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doGtSndID(); }},
    {ReceiveState::rf2GtCnnct, "rf2GtCnnct", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doGtCnnct(); }},
    {ReceiveState::rfStartPage, "rfStartPage", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doStartPage(); }},
    {ReceiveState::rfGtPgDta, "rfGtPgDta", ReceiveRun::WhileData, false, [](FaxReceiver& r) { r.doGtPgDta(); }},
    {ReceiveState::rf1FinPage, "rf1FinPage", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doFinPage(); }},
    {ReceiveState::rf1WaitEOP, "rf1WaitEOP", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doWaitEOP(); }},
    {ReceiveState::rf1WritePage, "rf1WritePage", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doWritePage(); }},
    {ReceiveState::rf1SendMCF, "rf1SendMCF", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doSendMCF(); }},
    {ReceiveState::rf1WaitDCN, "rf1WaitDCN", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doWaitDCN(); }},
    {ReceiveState::rf1WtHngp, "rf1WtHngp", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doWtHngp(); }},
    {ReceiveState::rf2GtPgRslt, "rf2GtPgRslt", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doGtPgRslt(); }},
    {ReceiveState::rf2GetFHNG, "rf2GetFHNG", ReceiveRun::WhileData, true, [](FaxReceiver& r) { r.doGetFHNG(); }},
    {ReceiveState::rfComplete, "rfComplete", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doComplete(); }},
    {ReceiveState::rfAbort, "rfAbort", ReceiveRun::Again, false, [](FaxReceiver& r) { r.doAbort(); }},
    {ReceiveState::rfDone, "rfDone", ReceiveRun::Return, false, nullptr},
}};

namespace {
constexpr bool rowsInStateOrder() {
    for (std::size_t i = 0; i < kReceiveStateCount; ++i)
        if (static_cast<std::size_t>(FaxReceiver::kStates[i].state) != i)
            return false;
    return true;
}
static_assert(rowsInStateOrder(), "a state's row must sit at its state number");
} // namespace

const FaxReceiver::StateRow& FaxReceiver::rowOf(ReceiveState s) {
    return kStates[static_cast<std::size_t>(s)];
}

std::string_view to_string(ReceiveState s) {
    const auto i = static_cast<std::size_t>(s);
    return i < kReceiveStateCount ? FaxReceiver::kStates[i].name : std::string_view("?");
}

std::string_view to_string(ReceiveRun r) {
    switch (r) {
    case ReceiveRun::Again:
        return "Again";
    case ReceiveRun::WhileData:
        return "WhileData";
    case ReceiveRun::Return:
        return "Return";
    }
    return "?";
}

bool readsResponses(ReceiveState s) { return FaxReceiver::rowOf(s).readsResponses; }
ReceiveRun runAfter(ReceiveState s) { return FaxReceiver::rowOf(s).runAfter; }

} // namespace faxengine
