#include "class2_reports.h"

#include <cstdio>

namespace vline {

std::string_view to_string(FaxDialect d) {
    switch (d) {
    case FaxDialect::Class2:
        return "2";
    case FaxDialect::Class20:
        return "2.0";
    }
    return "?";
}

std::string_view to_string(FaxReport r) {
    switch (r) {
    case FaxReport::Connection:
        return "connection";
    case FaxReport::RemoteDis:
        return "remote DIS";
    case FaxReport::Session:
        return "session";
    case FaxReport::CalledId:
        return "called id";
    case FaxReport::CallerId:
        return "caller id";
    case FaxReport::PageStatus:
        return "page status";
    case FaxReport::PostPage:
        return "post-page";
    case FaxReport::Hangup:
        return "hang-up";
    }
    return "?";
}

std::string_view reportName(FaxDialect d, FaxReport r) {
    const bool two = d == FaxDialect::Class2;
    switch (r) {
    case FaxReport::Connection:
        return two ? "+FCON" : "+FCO";
    case FaxReport::RemoteDis:
        return two ? "+FDIS:" : "+FIS:";
    case FaxReport::Session:
        return two ? "+FDCS:" : "+FCS:";
    case FaxReport::CalledId:
        return two ? "+FCSI:" : "+FCI:";
    case FaxReport::CallerId:
        return two ? "+FTSI:" : "+FTI:";
    case FaxReport::PageStatus:
        return two ? "+FPTS:" : "+FPS:";
    case FaxReport::PostPage:
        return "+FET:";
    case FaxReport::Hangup:
        return two ? "+FHNG:" : "+FHS:";
    }
    return "";
}

std::string paramsReport(FaxDialect d, FaxReport r, const SessionParams& p) {
    return std::string(reportName(d, r)) + formatParams(p);
}

std::string identReport(FaxDialect d, FaxReport r, std::string_view id) {
    return std::string(reportName(d, r)) + '"' + std::string(id) + '"';
}

std::string valueReport(FaxDialect d, FaxReport r, int value) {
    return std::string(reportName(d, r)) + std::to_string(value);
}

std::string_view to_string(HangupCode c) {
    switch (c) {
    case HangupCode::Normal:
        return "normal end";
    case HangupCode::RingWithoutHandshake:
        return "ring without handshake";
    case HangupCode::Aborted:
        return "aborted";
    case HangupCode::NoLoopCurrent:
        return "no loop current";
    case HangupCode::PhaseAError:
        return "phase A error";
    case HangupCode::NoAnswer:
        return "no answer";
    case HangupCode::TxPhaseBError:
        return "transmit phase B error";
    case HangupCode::RemoteCannotReceive:
        return "remote cannot receive";
    case HangupCode::NoResponseToDcs:
        return "no response to DCS";
    case HangupCode::TrainingFailed:
        return "training failed";
    case HangupCode::TxPhaseCError:
        return "transmit phase C error";
    case HangupCode::TxPhaseDError:
        return "transmit phase D error";
    case HangupCode::NoResponseToMps:
        return "no response to MPS";
    case HangupCode::InvalidResponseToMps:
        return "invalid response to MPS";
    case HangupCode::NoResponseToEop:
        return "no response to EOP";
    case HangupCode::InvalidResponseToEop:
        return "invalid response to EOP";
    case HangupCode::NoResponseToEom:
        return "no response to EOM";
    case HangupCode::RxPhaseBError:
        return "receive phase B error";
    case HangupCode::NoPage:
        return "no page";
    case HangupCode::RxPhaseCError:
        return "receive phase C error";
    case HangupCode::RxPhaseDError:
        return "receive phase D error";
    }
    return "?";
}

std::string hangupReport(FaxDialect d, HangupCode c) {
    // Both sets write the same digits; Class 2.0 always gives two of them ("+FHS:00").
    const int v = static_cast<int>(c);
    char digits[8];
    std::snprintf(digits, sizeof digits, d == FaxDialect::Class2 ? "%d" : "%02d", v);
    return std::string(reportName(d, FaxReport::Hangup)) + digits;
}

} // namespace vline
