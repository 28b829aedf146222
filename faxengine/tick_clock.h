// The engine's time base: a 32-bit millisecond counter and ticks of 55 ms on top of it.
// The counter wraps after about 49.7 days; event timers take the wrap into account.
// The clock is an interface so that tests can move time by hand.
#pragma once

#include <chrono>
#include <cstdint>

namespace faxengine {

inline constexpr std::chrono::milliseconds kTickLength{55};
// Longest event timer: half the tick range, so that "past the expiry" stays unambiguous.
inline constexpr std::int32_t kMaxTimerTicks = 39045157;
// Number of distinct tick values before the millisecond counter wraps.
inline constexpr std::uint32_t kTickWrap = 0xFFFFFFFFu / 55u + 1u;

class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    virtual std::uint32_t NowMs() const = 0;
    std::uint32_t NowTick() const { return NowMs() / 55u; }
};

// The steady system clock, truncated to 32 bits like the platform's millisecond counter.
const MillisecondClock& systemClock();

constexpr std::int32_t secsToTicks(std::int32_t secs) {
    return static_cast<std::int32_t>(std::int64_t(secs) * 1675 / 92);
}
constexpr std::int32_t ticksToSecs(std::int32_t ticks) {
    return static_cast<std::int32_t>((std::int64_t(ticks) + 9) * 92 / 1675);
}

struct EventTimer {
    std::uint32_t startTick = 0;
    std::uint32_t expireTick = 0;
};

// Arms a timer for ticks (capped at kMaxTimerTicks, negative as 0) from now.
EventTimer newTimer(const MillisecondClock& clock, std::int32_t ticks);
// True once the current tick is past the expiry tick.
bool timerExpired(const EventTimer& timer, const MillisecondClock& clock);
// Time until the timer counts as expired; zero once it has.
std::chrono::milliseconds timeUntilExpiry(const EventTimer& timer, const MillisecondClock& clock);
// Ticks since the timer was armed.
std::uint32_t elapsedTicks(const EventTimer& timer, const MillisecondClock& clock);

} // namespace faxengine
