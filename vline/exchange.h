// The telephone exchange: the numbers of the line, the calls between them, and the
// far ends that call out on their own.
#pragma once

#include "call.h"
#include "fax_modem.h"
#include "config.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vline {

class Exchange {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kStepSamples = 160; // 20 ms

    // Makes the modems (their ptys exist from here on). logDir must exist.
    Exchange(const Config& cfg, std::filesystem::path logDir);
    ~Exchange();

    const std::vector<std::unique_ptr<FaxModem>>& modems() const { return modems_; }

    // One 20 ms step of the whole line.
    void step();
    // Hangs up every call (their records are written).
    void shutdown();

    // Called with each call's record when it ends.
    void onCallEnded(std::function<void(const ResultRecord&, CallOutcome)> f) {
        onCallEnded_ = std::move(f);
    }
    std::size_t activeCalls() const { return calls_.size(); }
    int callsEnded() const { return ended_; }

private:
    void handleActions(FaxModem& m);
    void dial(FaxModem& m, const std::string& dialled);
    void startFarEndCalls();
    Call* callOf(const FaxModem* m);
    FaxModem* modemByNumber(const std::string& number);
    CallTiming timingFor(const NumberConfig* called, const FaxModem* caller) const;
    void reap();

    const Config& cfg_;
    std::filesystem::path logDir_;
    std::vector<std::unique_ptr<FaxModem>> modems_;
    std::vector<std::unique_ptr<Call>> calls_;
    std::map<std::string, int> callsTo_;    // calls placed to each number so far
    std::map<std::string, int> callsMade_;  // calls made by each calling far end
    std::map<std::string, bool> farEndBusy_; // a far end is in a call
    std::function<void(const ResultRecord&, CallOutcome)> onCallEnded_;
    long long samples_ = 0; // line time since the exchange started
    int nextId_ = 1;
    int ended_ = 0;
};

} // namespace vline
