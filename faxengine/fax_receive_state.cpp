#include "faxengine/fax_receive_state.h"

namespace faxengine {

std::string_view to_string(ReceiveState s) {
    switch (s) {
    case ReceiveState::rfNone:
        return "rfNone";
    case ReceiveState::rfInit:
        return "rfInit";
    case ReceiveState::rf1Init1:
        return "rf1Init1";
    case ReceiveState::rf2Init1:
        return "rf2Init1";
    case ReceiveState::rf2Init1A:
        return "rf2Init1A";
    case ReceiveState::rf2Init1B:
        return "rf2Init1B";
    case ReceiveState::rf2Init2:
        return "rf2Init2";
    case ReceiveState::rf2Init3:
        return "rf2Init3";
    case ReceiveState::rfWaiting:
        return "rfWaiting";
    case ReceiveState::rfAnswer:
        return "rfAnswer";
    case ReceiveState::rf1SendCSI:
        return "rf1SendCSI";
    case ReceiveState::rf1SendDIS:
        return "rf1SendDIS";
    case ReceiveState::rf1CollFrms:
        return "rf1CollFrms";
    case ReceiveState::rf1CollRtry1:
        return "rf1CollRtry1";
    case ReceiveState::rf1CollRtry2:
        return "rf1CollRtry2";
    case ReceiveState::rf1StrtTrn:
        return "rf1StrtTrn";
    case ReceiveState::rf1CollTrn:
        return "rf1CollTrn";
    case ReceiveState::rf1Timeout:
        return "rf1Timeout";
    case ReceiveState::rf1Retrain:
        return "rf1Retrain";
    case ReceiveState::rf1FinTrn:
        return "rf1FinTrn";
    case ReceiveState::rf1SendCFR:
        return "rf1SendCFR";
    case ReceiveState::rf1WtPgCnnct:
        return "rf1WtPgCnnct";
    case ReceiveState::rf2ValCnnct:
        return "rf2ValCnnct";
    case ReceiveState::rf2GtSndID:
        return "rf2GtSndID";
    case ReceiveState::rf2GtCnnct:
        return "rf2GtCnnct";
    case ReceiveState::rfStartPage:
        return "rfStartPage";
    case ReceiveState::rfGtPgDta:
        return "rfGtPgDta";
    case ReceiveState::rf1FinPage:
        return "rf1FinPage";
    case ReceiveState::rf1WaitEOP:
        return "rf1WaitEOP";
    case ReceiveState::rf1WritePage:
        return "rf1WritePage";
    case ReceiveState::rf1SendMCF:
        return "rf1SendMCF";
    case ReceiveState::rf1WaitDCN:
        return "rf1WaitDCN";
    case ReceiveState::rf1WtHngp:
        return "rf1WtHngp";
    case ReceiveState::rf2GtPgRslt:
        return "rf2GtPgRslt";
    case ReceiveState::rf2GetFHNG:
        return "rf2GetFHNG";
    case ReceiveState::rfComplete:
        return "rfComplete";
    case ReceiveState::rfAbort:
        return "rfAbort";
    case ReceiveState::rfDone:
        return "rfDone";
    }
    return "?";
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

bool readsResponses(ReceiveState s) {
    const int n = static_cast<int>(s);
    return (n >= 2 && n <= 8) || (n >= 10 && n <= 12) || n == 15 || (n >= 18 && n <= 24) ||
           n == 27 || n == 28 || (n >= 30 && n <= 34);
}

ReceiveRun runAfter(ReceiveState s) {
    switch (s) {
    case ReceiveState::rfInit:
    case ReceiveState::rfAnswer:
    case ReceiveState::rfStartPage:
    case ReceiveState::rf1WritePage:
    case ReceiveState::rfComplete:
    case ReceiveState::rfAbort:
    // Entered from a timeout, with no timer left to wake it: ask again at once.
    case ReceiveState::rf1CollRtry1:
        return ReceiveRun::Again;
    case ReceiveState::rf1CollRtry2:
    case ReceiveState::rf1CollTrn:
    case ReceiveState::rfDone:
    case ReceiveState::rfNone:
        return ReceiveRun::Return;
    case ReceiveState::rf1Init1:
    case ReceiveState::rf2Init1:
    case ReceiveState::rf2Init1A:
    case ReceiveState::rf2Init1B:
    case ReceiveState::rf2Init2:
    case ReceiveState::rf2Init3:
    case ReceiveState::rfWaiting:
    case ReceiveState::rf1SendCSI:
    case ReceiveState::rf1SendDIS:
    case ReceiveState::rf1CollFrms:
    case ReceiveState::rf1StrtTrn:
    case ReceiveState::rf1Timeout:
    case ReceiveState::rf1Retrain:
    case ReceiveState::rf1FinTrn:
    case ReceiveState::rf1SendCFR:
    case ReceiveState::rf1WtPgCnnct:
    case ReceiveState::rf2ValCnnct:
    case ReceiveState::rf2GtSndID:
    case ReceiveState::rf2GtCnnct:
    case ReceiveState::rfGtPgDta:
    case ReceiveState::rf1FinPage:
    case ReceiveState::rf1WaitEOP:
    case ReceiveState::rf1SendMCF:
    case ReceiveState::rf1WaitDCN:
    case ReceiveState::rf1WtHngp:
    case ReceiveState::rf2GtPgRslt:
    case ReceiveState::rf2GetFHNG:
        return ReceiveRun::WhileData;
    }
    return ReceiveRun::Return;
}

} // namespace faxengine
