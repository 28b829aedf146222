// The call report: one call's dispatch log turned into a short ladder a person can read
// (who sent which T.30 message when, the speed and resolution agreed, what became of each
// page) with one cause in plain words and what to try. The report file keeps the finish
// code and the log itself, so a newer program reads an older call afresh.
#pragma once

#include "faxengine/dispatch_log.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

class TVelkBaseDispatcher;

// Bytes that crossed the port: 'T' written by us, 'R' read from the modem.
struct PortChunk {
    std::uint32_t timeMs = 0;
    char direction = 'T';
    std::vector<std::uint8_t> bytes;
};

// The ReadCom/WriteCom records of a dispatch log.
std::vector<PortChunk> chunksFromLog(const std::deque<LogRecord>& records);
// The same from a dispatch log's text dump (hex or decimal); other records are skipped.
std::vector<PortChunk> chunksFromLogText(std::string_view dump);

enum class CallCause : std::uint8_t {
    Sent,
    Busy,
    NoAnswer,
    NoDialTone,
    VoiceAnswered,
    NoFaxAtOtherEnd,
    TrainingFailed,
    PageRejected,
    HungUpMidPage,
    ModemNotResponding,
    Timeout,
    Cancelled,
    Other,
};
std::string_view to_string(CallCause c);
// One sentence: why the call ended so.
std::string_view causeExplanation(CallCause c);
// One sentence: what to try next ("" for a good call).
std::string_view causeAdvice(CallCause c);
// The problem solver topic for the cause, 255 when there is none.
int causeTopic(CallCause c, bool sending = true);

enum class LadderSide : std::uint8_t { Us, Modem, Remote };

struct LadderStep {
    std::uint32_t timeMs = 0;
    LadderSide from = LadderSide::Us;
    std::string text; // "DCS 9600 bit/s, fine", "BUSY", ...
};

struct PageOutcome {
    int page = 0;
    int sends = 0;      // how often its data went out
    bool confirmed = false;
    bool rejected = false; // the last answer was RTN / a bad page report
    bool retrained = false; // answered RTN/RTP, so the next send trained again
};

struct CallReport {
    int finishCode = 0;
    std::vector<LadderStep> steps;
    int bps = 0;       // the last agreed speed, 0 when none was agreed
    bool fine = false; // resolution of the last agreed parameters
    bool paramsKnown = false;
    std::string remoteId;
    std::vector<PageOutcome> pages;
    int trainingFailures = 0;
    CallCause cause = CallCause::Other;
};

// Reads the call from what crossed the port and the finish code (0 good, else the
// engine's error code).
CallReport analyseCall(const std::vector<PortChunk>& chunks, int finishCode);

// The report as text: the cause, what to try, the agreement, the pages and the ladder.
std::string formatCallReport(const CallReport& r);

// The report file of a log record: "<record name>.call" in `logDir`.
std::filesystem::path callReportPath(const std::filesystem::path& logDir, std::string_view recordName);
// Writes the file: the readable report, then the finish code and the log dump. 0 or -errno.
int writeCallReportFile(const std::filesystem::path& file, int finishCode, const std::string& logDump);
// The same from a dispatcher that is logging: its log is dumped beside the report, read
// and written into it (the dump file is removed again). The log itself is left as it was.
// 0, or a negative code (also when the dispatcher is not logging).
int writeCallReportFile(const std::filesystem::path& file, int finishCode, TVelkBaseDispatcher& logging);
// Reads a report file (or a bare dispatch log dump, taken as a good call) and analyses it
// again, with `finishCode` in place of the stored one when given; nullopt when the file
// cannot be read.
std::optional<CallReport> readCallReportFile(const std::filesystem::path& file,
                                             std::optional<int> finishCode = std::nullopt);

} // namespace faxengine
