// The transmit machine's states in one table: for each state its name, how the machine
// goes on after its step, whether it reads modem responses, and its step.
#include "faxengine/fax_transmit.h"

#include <array>

namespace faxengine {

constexpr std::array<FaxTransmitter::StateRow, kTransmitStateCount> FaxTransmitter::kStates{{
    {TransmitState::tfNone, "tfNone", TransmitPace::Wait, false, false,
     nullptr},
    {TransmitState::tfGetEntry, "tfGetEntry", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onGetEntry(); }},
    {TransmitState::tfInit, "tfInit", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onInit(); }},
    {TransmitState::tf1Init1, "tf1Init1", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onInit1(); }},
    {TransmitState::tf2Init1, "tf2Init1", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onInit2(trigger); }},
    {TransmitState::tf2Init1A, "tf2Init1A", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onInit2(trigger); }},
    {TransmitState::tf2Init1B, "tf2Init1B", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onInit2(trigger); }},
    {TransmitState::tf2Init2, "tf2Init2", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onInit2(trigger); }},
    {TransmitState::tf2Init3, "tf2Init3", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onInit2(trigger); }},
    {TransmitState::tfDial, "tfDial", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onDial(); }},
    {TransmitState::tfRetryWait, "tfRetryWait", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onRetryWait(trigger); }},
    {TransmitState::tf1Connect, "tf1Connect", TransmitPace::WhileInput, true, true,
     [](FaxTransmitter& t, std::uint16_t) { t.on1Connect(); }},
    {TransmitState::tf1SendTSI, "tf1SendTSI", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1SendTSI(); }},
    {TransmitState::tf1TSIRespns, "tf1TSIRespns", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1TSIRespns(); }},
    {TransmitState::tf1DCSRspns, "tf1DCSRspns", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1DCSRspns(); }},
    {TransmitState::tf1TrainStrt, "tf1TrainStrt", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1TrainStrt(); }},
    {TransmitState::tf1TrainFnsh, "tf1TrainFnsh", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1TrainFnsh(); }},
    {TransmitState::tf1WaitCFR, "tf1WaitCFR", TransmitPace::WhileInput, true, true,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitCFR(); }},
    {TransmitState::tf1WaitPgCn, "tf1WaitPgCn", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitPgCn(); }},
    {TransmitState::tf2Connect, "tf2Connect", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2Connect(); }},
    {TransmitState::tf2GetParams, "tf2GetParams", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2GetParams(); }},
    {TransmitState::tfWaitXon, "tfWaitXon", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onWaitXon(trigger); }},
    {TransmitState::tfWaitFrHead, "tfWaitFrHead", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onWaitFrHead(trigger); }},
    {TransmitState::tfSndPgeHdr, "tfSndPgeHdr", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onSndPgeHdr(); }},
    {TransmitState::tfOpenCover, "tfOpenCover", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onOpenCover(); }},
    {TransmitState::tfSendCover, "tfSendCover", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onSendCover(trigger); }},
    {TransmitState::tfPrepPage, "tfPrepPage", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onPrepPage(); }},
    {TransmitState::tfSendPage, "tfSendPage", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onSendPage(trigger); }},
    {TransmitState::tfDrainPage, "tfDrainPage", TransmitPace::Wait, false, false,
     [](FaxTransmitter& t, std::uint16_t trigger) { t.onDrainPage(trigger); }},
    {TransmitState::tf1PageEnd, "tf1PageEnd", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1PageEnd(); }},
    {TransmitState::tf1PrepEOP, "tf1PrepEOP", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1PrepEOP(); }},
    {TransmitState::tf1SendEOP, "tf1SendEOP", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1SendEOP(); }},
    {TransmitState::tf1WaitMPS, "tf1WaitMPS", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitMPS(false); }},
    {TransmitState::tf1WaitEOP, "tf1WaitEOP", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitMPS(true); }},
    {TransmitState::tf1WaitMCF, "tf1WaitMCF", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitMCF(); }},
    {TransmitState::tf1SendDCN, "tf1SendDCN", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1SendDCN(); }},
    {TransmitState::tf1Hangup, "tf1Hangup", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1Hangup(); }},
    {TransmitState::tf1WaitHngp, "tf1WaitHngp", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on1WaitHngp(); }},
    {TransmitState::tf2SendEOP, "tf2SendEOP", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2SendEOP(); }},
    {TransmitState::tf2WaitFPTS, "tf2WaitFPTS", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2WaitFPTS(); }},
    {TransmitState::tf2WaitFET, "tf2WaitFET", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2WaitFET(); }},
    {TransmitState::tf2WaitPgOK, "tf2WaitPgOK", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2WaitPgOK(); }},
    {TransmitState::tf2SndNwPrm, "tf2SndNwPrm", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2SndNwPrm(); }},
    {TransmitState::tf2NextPage, "tf2NextPage", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on2NextPage(); }},
    {TransmitState::tf20ChckPg, "tf20ChckPg", TransmitPace::WhileInput, true, false,
     [](FaxTransmitter& t, std::uint16_t) { t.on20ChckPg(); }},
    {TransmitState::tfClose, "tfClose", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onClose(); }},
    {TransmitState::tfCompleteOK, "tfCompleteOK", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onCompleteOK(); }},
    {TransmitState::tfAbort, "tfAbort", TransmitPace::Immediate, false, false,
     [](FaxTransmitter& t, std::uint16_t) { t.onAbort(); }},
    {TransmitState::tfDone, "tfDone", TransmitPace::Wait, false, false,
     nullptr},
}};

namespace {
constexpr bool rowsInStateOrder() {
    for (std::size_t i = 0; i < kTransmitStateCount; ++i)
        if (static_cast<std::size_t>(FaxTransmitter::kStates[i].state) != i)
            return false;
    return true;
}
static_assert(rowsInStateOrder(), "a state's row must sit at its state number");
} // namespace

const FaxTransmitter::StateRow& FaxTransmitter::rowOf(TransmitState s) {
    return kStates[static_cast<std::size_t>(s)];
}

std::string_view to_string(TransmitState s) {
    const auto i = static_cast<std::size_t>(s);
    return i < kTransmitStateCount ? FaxTransmitter::kStates[i].name : std::string_view("?");
}

std::string_view to_string(TransmitPace p) {
    switch (p) {
    case TransmitPace::Immediate: return "Immediate";
    case TransmitPace::WhileInput: return "WhileInput";
    case TransmitPace::Wait: return "Wait";
    }
    return "?";
}

TransmitPace paceOf(TransmitState s) { return FaxTransmitter::rowOf(s).pace; }
bool readsResponses(TransmitState s) { return FaxTransmitter::rowOf(s).readsResponses; }
bool waitsForFrameVerdict(TransmitState s) { return FaxTransmitter::rowOf(s).waitsForFrameVerdict; }

} // namespace faxengine
