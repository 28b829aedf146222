#include "audio_clock.h"

#include <thread>

namespace vline {

AudioClock::AudioClock(std::chrono::microseconds period) : period_(period), start_(clock::now()) {}

int AudioClock::wait() {
    const auto due = start_ + period_ * (blocks_ + 1);
    std::this_thread::sleep_until(due);
    const auto now = clock::now();
    if (keep_)
        lateness_.push_back(std::chrono::duration_cast<std::chrono::microseconds>(now - due));
    long long behind = (now - due) / period_; // whole blocks missed beyond this one
    if (behind >= maxCatchUp) {
        ++resyncs_;
        start_ = now - period_ * (blocks_ + 1);
        behind = 0;
    }
    const int n = 1 + static_cast<int>(behind);
    blocks_ += n;
    return n;
}

} // namespace vline
