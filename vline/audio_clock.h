// The real-time clock of the line's audio: one block every 20 ms on the monotonic clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace vline {

// Deadlines are start + n × period, never "now + period", so waking late does not
// push later blocks back and the audio keeps 8000 samples per second over any run.
class AudioClock {
public:
    using clock = std::chrono::steady_clock;

    explicit AudioClock(std::chrono::microseconds period = std::chrono::milliseconds(20));

    // Sleeps until the next block is due and returns the number of blocks now due: 1
    // normally, more when the process fell behind (the caller runs them back to back).
    // After a stall longer than maxCatchUp blocks the clock starts afresh from now
    // (counted in resyncs()): no modem could have kept its timing across it anyway.
    int wait();

    // How late each wake-up was, for the benchmark.
    const std::vector<std::chrono::microseconds>& lateness() const { return lateness_; }
    void keepLateness(bool keep) { keep_ = keep; }
    long long blocks() const { return blocks_; }
    int resyncs() const { return resyncs_; }
    std::chrono::microseconds period() const { return period_; }

    static constexpr int maxCatchUp = 10;

private:
    std::chrono::microseconds period_;
    clock::time_point start_;
    long long blocks_ = 0; // blocks handed out so far
    int resyncs_ = 0;
    bool keep_ = false;
    std::vector<std::chrono::microseconds> lateness_;
};

} // namespace vline
