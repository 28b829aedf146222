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

std::uint32_t elapsedTicks(const EventTimer& timer, const MillisecondClock& clock) {
    return tickDiff(clock.NowTick(), timer.startTick);
}

} // namespace faxengine
