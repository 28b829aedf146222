#include "faxengine/fax_transmit_state.h"

namespace faxengine {

std::string_view to_string(TransmitState s) {
    switch (s) {
    case TransmitState::tfNone: return "tfNone";
    case TransmitState::tfGetEntry: return "tfGetEntry";
    case TransmitState::tfInit: return "tfInit";
    case TransmitState::tf1Init1: return "tf1Init1";
    case TransmitState::tf2Init1: return "tf2Init1";
    case TransmitState::tf2Init1A: return "tf2Init1A";
    case TransmitState::tf2Init1B: return "tf2Init1B";
    case TransmitState::tf2Init2: return "tf2Init2";
    case TransmitState::tf2Init3: return "tf2Init3";
    case TransmitState::tfDial: return "tfDial";
    case TransmitState::tfRetryWait: return "tfRetryWait";
    case TransmitState::tf1Connect: return "tf1Connect";
    case TransmitState::tf1SendTSI: return "tf1SendTSI";
    case TransmitState::tf1TSIRespns: return "tf1TSIRespns";
    case TransmitState::tf1DCSRspns: return "tf1DCSRspns";
    case TransmitState::tf1TrainStrt: return "tf1TrainStrt";
    case TransmitState::tf1TrainFnsh: return "tf1TrainFnsh";
    case TransmitState::tf1WaitCFR: return "tf1WaitCFR";
    case TransmitState::tf1WaitPgCn: return "tf1WaitPgCn";
    case TransmitState::tf2Connect: return "tf2Connect";
    case TransmitState::tf2GetParams: return "tf2GetParams";
    case TransmitState::tfWaitXon: return "tfWaitXon";
    case TransmitState::tfWaitFrHead: return "tfWaitFrHead";
    case TransmitState::tfSndPgeHdr: return "tfSndPgeHdr";
    case TransmitState::tfOpenCover: return "tfOpenCover";
    case TransmitState::tfSendCover: return "tfSendCover";
    case TransmitState::tfPrepPage: return "tfPrepPage";
    case TransmitState::tfSendPage: return "tfSendPage";
    case TransmitState::tfDrainPage: return "tfDrainPage";
    case TransmitState::tf1PageEnd: return "tf1PageEnd";
    case TransmitState::tf1PrepEOP: return "tf1PrepEOP";
    case TransmitState::tf1SendEOP: return "tf1SendEOP";
    case TransmitState::tf1WaitMPS: return "tf1WaitMPS";
    case TransmitState::tf1WaitEOP: return "tf1WaitEOP";
    case TransmitState::tf1WaitMCF: return "tf1WaitMCF";
    case TransmitState::tf1SendDCN: return "tf1SendDCN";
    case TransmitState::tf1Hangup: return "tf1Hangup";
    case TransmitState::tf1WaitHngp: return "tf1WaitHngp";
    case TransmitState::tf2SendEOP: return "tf2SendEOP";
    case TransmitState::tf2WaitFPTS: return "tf2WaitFPTS";
    case TransmitState::tf2WaitFET: return "tf2WaitFET";
    case TransmitState::tf2WaitPgOK: return "tf2WaitPgOK";
    case TransmitState::tf2SndNwPrm: return "tf2SndNwPrm";
    case TransmitState::tf2NextPage: return "tf2NextPage";
    case TransmitState::tf20ChckPg: return "tf20ChckPg";
    case TransmitState::tfClose: return "tfClose";
    case TransmitState::tfCompleteOK: return "tfCompleteOK";
    case TransmitState::tfAbort: return "tfAbort";
    case TransmitState::tfDone: return "tfDone";
    }
    return "?";
}

std::string_view to_string(TransmitPace p) {
    switch (p) {
    case TransmitPace::Immediate: return "Immediate";
    case TransmitPace::WhileInput: return "WhileInput";
    case TransmitPace::Wait: return "Wait";
    }
    return "?";
}

TransmitPace paceOf(TransmitState s) {
    switch (s) {
    case TransmitState::tfGetEntry:
    case TransmitState::tfInit:
    case TransmitState::tfDial:
    case TransmitState::tfSndPgeHdr:
    case TransmitState::tfOpenCover:
    case TransmitState::tfPrepPage:
    case TransmitState::tf1PrepEOP:
    case TransmitState::tf2SendEOP:
    case TransmitState::tf2NextPage:
    case TransmitState::tfClose:
    case TransmitState::tfCompleteOK:
    case TransmitState::tfAbort:
    // It waits for nothing, so it runs in the call that entered it.
    case TransmitState::tf2SndNwPrm:
        return TransmitPace::Immediate;
    case TransmitState::tf1Init1:
    case TransmitState::tf2Init1:
    case TransmitState::tf2Init1A:
    case TransmitState::tf2Init1B:
    case TransmitState::tf2Init2:
    case TransmitState::tf2Init3:
    case TransmitState::tf1Connect:
    case TransmitState::tf1SendTSI:
    case TransmitState::tf1TSIRespns:
    case TransmitState::tf1DCSRspns:
    case TransmitState::tf1TrainStrt:
    case TransmitState::tf1TrainFnsh:
    case TransmitState::tf1WaitCFR:
    case TransmitState::tf1WaitPgCn:
    case TransmitState::tf2Connect:
    case TransmitState::tf2GetParams:
    case TransmitState::tf1PageEnd:
    case TransmitState::tf1SendEOP:
    case TransmitState::tf1WaitMPS:
    case TransmitState::tf1WaitEOP:
    case TransmitState::tf1WaitMCF:
    case TransmitState::tf1SendDCN:
    case TransmitState::tf1Hangup:
    case TransmitState::tf1WaitHngp:
    case TransmitState::tf2WaitFPTS:
    case TransmitState::tf2WaitFET:
    case TransmitState::tf2WaitPgOK:
    case TransmitState::tf20ChckPg:
        return TransmitPace::WhileInput;
    case TransmitState::tfNone:
    case TransmitState::tfRetryWait:
    case TransmitState::tfWaitXon:
    case TransmitState::tfWaitFrHead:
    case TransmitState::tfSendCover:
    case TransmitState::tfSendPage:
    case TransmitState::tfDrainPage:
    case TransmitState::tfDone:
        return TransmitPace::Wait;
    }
    return TransmitPace::Wait;
}

bool waitsForFrameVerdict(TransmitState s) {
    return s == TransmitState::tf1Connect || s == TransmitState::tf1WaitCFR || s == TransmitState::tf1WaitMCF;
}

bool readsResponses(TransmitState s) {
    switch (s) {
    case TransmitState::tf1Init1:
    case TransmitState::tf2Init1:
    case TransmitState::tf2Init1A:
    case TransmitState::tf2Init1B:
    case TransmitState::tf2Init2:
    case TransmitState::tf2Init3:
    case TransmitState::tf1Connect:
    case TransmitState::tf1SendTSI:
    case TransmitState::tf1TSIRespns:
    case TransmitState::tf1DCSRspns:
    case TransmitState::tf1TrainStrt:
    case TransmitState::tf1TrainFnsh:
    case TransmitState::tf1WaitCFR:
    case TransmitState::tf1WaitPgCn:
    case TransmitState::tf2Connect:
    case TransmitState::tf2GetParams:
    case TransmitState::tf1PageEnd:
    case TransmitState::tf1SendEOP:
    case TransmitState::tf1WaitMPS:
    case TransmitState::tf1WaitEOP:
    case TransmitState::tf1WaitMCF:
    case TransmitState::tf1SendDCN:
    case TransmitState::tf1Hangup:
    case TransmitState::tf1WaitHngp:
    case TransmitState::tf2WaitFPTS:
    case TransmitState::tf2WaitFET:
    case TransmitState::tf2WaitPgOK:
    case TransmitState::tf20ChckPg:
        return true;
    case TransmitState::tfNone:
    case TransmitState::tfGetEntry:
    case TransmitState::tfInit:
    case TransmitState::tfDial:
    case TransmitState::tfRetryWait:
    case TransmitState::tfWaitXon:
    case TransmitState::tfWaitFrHead:
    case TransmitState::tfSndPgeHdr:
    case TransmitState::tfOpenCover:
    case TransmitState::tfSendCover:
    case TransmitState::tfPrepPage:
    case TransmitState::tfSendPage:
    case TransmitState::tfDrainPage:
    case TransmitState::tf1PrepEOP:
    case TransmitState::tf2SendEOP:
    case TransmitState::tf2SndNwPrm:
    case TransmitState::tf2NextPage:
    case TransmitState::tfClose:
    case TransmitState::tfCompleteOK:
    case TransmitState::tfAbort:
    case TransmitState::tfDone:
        return false;
    }
    return false;
}

} // namespace faxengine
