#include "faxengine/tick_clock.h"

#include <algorithm>

namespace faxengine {

namespace {
class SystemClock final : public MillisecondClock {
public:
    std::uint32_t NowMs() const override {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};

std::uint32_t tickDiff(std::uint32_t a, std::uint32_t b) {
    return a >= b ? a - b : a + (kTickWrap - b);
}
} // namespace

const MillisecondClock& systemClock() {
    static const SystemClock clock;
    return clock;
}

EventTimer newTimer(const MillisecondClock& clock, std::int32_t ticks) {
    ticks = std::clamp(ticks, 0, kMaxTimerTicks);
    EventTimer t;
    t.startTick = clock.NowTick();
    t.expireTick = static_cast<std::uint32_t>((std::uint64_t(t.startTick) + ticks) % kTickWrap);
    return t;
}

bool timerExpired(const EventTimer& timer, const MillisecondClock& clock) {
    std::uint32_t d = tickDiff(clock.NowTick(), timer.expireTick);
    return d != 0 && d <= kTickWrap / 2;
}

std::chrono::milliseconds timeUntilExpiry(const EventTimer& timer, const MillisecondClock& clock) {
    if (timerExpired(timer, clock))
        return std::chrono::milliseconds{0};
    // Expired means past the expiry tick: the first millisecond of the tick after it.
    const std::uint32_t now = clock.NowMs();
    const std::uint32_t ticksLeft = tickDiff(timer.expireTick, now / 55u) + 1u;
    const std::uint64_t ms = std::uint64_t(ticksLeft) * 55u - now % 55u;
    return std::chrono::milliseconds{static_cast<std::int64_t>(ms)};
}

std::uint32_t elapsedTicks(const EventTimer& timer, const MillisecondClock& clock) {
    return tickDiff(clock.NowTick(), timer.startTick);
}

} // namespace faxengine
