#include "faxengine/fax_log.h"

#include "faxengine/engine_errors.h"

#include <ctime>

namespace faxengine {

namespace {
constexpr std::string_view kEol = "\r\n";

std::string line(std::string_view text) {
    std::string s(text);
    s += kEol;
    return s;
}
} // namespace

std::string faxHistoryText(TFaxLogCode code, const FaxHistoryFacts& f, std::string_view dt) {
    std::string when(dt);
    std::string hangup = std::to_string(f.hangupCode);
    switch (code) {
    case TFaxLogCode::lfaxTransmitStart: {
        std::string out;
        for (const auto& file : f.faxFiles)
            out += line("Transmit " + file + " to " + f.phoneNumber + " started at " + when);
        return out;
    }
    case TFaxLogCode::lfaxTransmitOk:
        return line("Transmit to " + f.remoteId + " finished OK at " + when + " " + hangup) + line("");
    case TFaxLogCode::lfaxTransmitFail:
        return line("Transmit failed at " + when) +
               line("  (" + errorText(f.lastError) + ") " + hangup) + line("");
    case TFaxLogCode::lfaxReceiveStart:
        return line("Receive " + f.faxFile + " from " + f.remoteId + " started at " + when);
    case TFaxLogCode::lfaxReceiveOk:
        return line("Receive finished OK at " + when) + line("");
    case TFaxLogCode::lfaxReceiveSkip:
        return line("Receive skipped at " + when) + line("");
    case TFaxLogCode::lfaxReceiveFail:
        return line("Receive failed at " + when) + line("  (" + errorText(f.lastError) + ")") +
               line("");
    }
    return "";
}

std::string faxHistoryDateTime(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::size_t n = std::strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

} // namespace faxengine
