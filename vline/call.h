// One call on the exchange: from the dial through ringing to the connected audio and
// the hang-up, between a modem or the far end on each side.
#pragma once

#include "call_log.h"
#include "fax_modem.h"
#include "config.h"
#include "far_end.h"
#include "line_impairment.h"
#include "wav_writer.h"

#include <memory>
#include <optional>
#include <string>

namespace vline {

enum class CallState { Dialing, Ringing, Connected, Ending, Ended };
std::string_view to_string(CallState s);

// How a call turned out, for the log and the results file.
enum class CallOutcome { Pending, Completed, Busy, NoAnswer, NoDialtone, Voice, Unobtainable, Abandoned };
std::string_view to_string(CallOutcome o);

// One side of a call.
struct Party {
    FaxModem* modem = nullptr;        // a modem ...
    const NumberConfig* farEndCfg = nullptr; // ... or the far end, made on answer
    std::unique_ptr<FarEndFax> farEnd;
    bool hungUp = false;

    std::string name() const;
    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);
};

struct CallTiming {
    long long ringPeriod;       // samples
    long long dialTime;
    long long disconnectDelay;
    long long noAnswerAfter;
    int lineDelay;              // samples, one way
};

class Call {
public:
    // The caller is a modem or a far end (calling), the callee what the number holds;
    // `callee` may be null for a number with nothing on it.
    Call(int id, Party caller, Party callee, const NumberConfig* calledCfg, std::string dialled,
         Condition condition, const CallTiming& timing, const std::filesystem::path& logDir,
         bool record, bool echo);
    ~Call();

    int id() const { return id_; }
    CallState state() const { return state_; }
    CallOutcome outcome() const { return outcome_; }
    bool involves(const FaxModem* m) const;
    CallLog& log() { return *log_; }

    // Advances by one block of samples: timers, rings, audio.
    void step(int samples);
    // The modem answered (ATA, or S0 after enough rings).
    void answer(FaxModem* m);
    // The modem hung up (ATH, DTR, port closed).
    void hangup(FaxModem* m);
    // The program shuts down: everyone is hung up now.
    void abandon();

    // The record for the results file; valid once the call has ended.
    ResultRecord result() const;

private:
    void connect();
    void finish(CallOutcome outcome, const std::string& why);
    void startEnding(Party& gone, const std::string& why);
    void detachLogs();
    Party& other(Party& p) { return &p == &caller_ ? callee_ : caller_; }

    int id_;
    Party caller_;
    Party callee_;
    const NumberConfig* calledCfg_;
    std::string dialled_;
    Condition condition_;
    CallTiming timing_;
    std::filesystem::path logDir_;
    std::unique_ptr<CallLog> log_;
    std::unique_ptr<WavWriter> wav_;
    std::unique_ptr<LineImpairment> toCallee_;
    std::unique_ptr<LineImpairment> toCaller_;
    CallState state_ = CallState::Dialing;
    CallOutcome outcome_ = CallOutcome::Pending;
    std::string endReason_;
    long long clock_ = 0;      // samples since the call began
    long long nextRing_ = 0;
    long long stateSince_ = 0;
    long long connectedAt_ = -1;
    long long farEndDoneAt_ = -1;
    int rings_ = 0;
    Party* remaining_ = nullptr; // Ending: the side still to be told
    std::optional<ResultRecord> farEndResult_;
};

} // namespace vline
