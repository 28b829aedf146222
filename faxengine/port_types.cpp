#include "faxengine/port_types.h"

namespace faxengine {

std::string_view to_string(StatusTriggerType t) {
    switch (t) {
    case StatusTriggerType::ModemStatus: return "Modem status";
    case StatusTriggerType::LineError: return "Line status";
    case StatusTriggerType::OutBuffFree: return "Output buffer free";
    case StatusTriggerType::OutBuffUsed: return "Output buffer used";
    case StatusTriggerType::OutSent: return "Output sent";
    }
    return "?";
}

std::string_view to_string(TParity p) {
    switch (p) {
    case TParity::pNone: return "pNone";
    case TParity::pOdd: return "pOdd";
    case TParity::pEven: return "pEven";
    case TParity::pMark: return "pMark";
    case TParity::pSpace: return "pSpace";
    }
    return "?";
}

std::string_view to_string(TSWFlowOptions s) {
    switch (s) {
    case TSWFlowOptions::swfNone: return "swfNone";
    case TSWFlowOptions::swfReceive: return "swfReceive";
    case TSWFlowOptions::swfTransmit: return "swfTransmit";
    case TSWFlowOptions::swfBoth: return "swfBoth";
    }
    return "?";
}

std::string_view to_string(TTraceLogState s) {
    switch (s) {
    case TTraceLogState::tlOff: return "tlOff";
    case TTraceLogState::tlOn: return "tlOn";
    case TTraceLogState::tlDump: return "tlDump";
    case TTraceLogState::tlAppend: return "tlAppend";
    case TTraceLogState::tlClear: return "tlClear";
    case TTraceLogState::tlPause: return "tlPause";
    }
    return "?";
}

void normaliseFlowLimits(int inSize, FlowSettings& flow) {
    if (flow.hwOptions == 0)
        return;
    if (flow.bufferFull <= 0 || flow.bufferFull > inSize)
        flow.bufferFull = inSize * 9 / 10;
    if (flow.bufferResume <= 0 || flow.bufferResume > flow.bufferFull)
        flow.bufferResume = inSize / 10;
}

} // namespace faxengine
