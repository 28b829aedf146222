#include "faxengine/trigger_set.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <cctype>

namespace faxengine {


namespace {
constexpr std::uint32_t kInOrderHandles = 4096;
constexpr std::uint32_t kHighestHandle = 0xFFF8;

bool sameByte(std::uint8_t a, std::uint8_t b, bool ignoreCase) {
    return ignoreCase ? std::toupper(a) == std::toupper(b) : a == b;
}
} // namespace

int TriggerSet::allocateHandle() {
    if (handedOut_ < kInOrderHandles) {
        ++handedOut_;
        return static_cast<int>(handedOut_ * 8);
    }
    std::vector<bool> used(kHighestHandle / 8 + 1, false);
    auto mark = [&](std::uint16_t h) { used[h / 8] = true; };
    for (auto& t : timers_)
        mark(t.handle);
    for (auto& d : data_)
        mark(d.handle);
    for (auto& s : status_)
        mark(s.handle);
    for (std::size_t i = 1; i < used.size(); ++i)
        if (!used[i])
            return static_cast<int>(i * 8);
    return ec::NoMoreTriggers;
}

int TriggerSet::AddTimerTrigger() {
    int h = allocateHandle();
    if (h < 0)
        return h;
    timers_.push_back({static_cast<std::uint16_t>(h), {}, 0, false});
    return h;
}

int TriggerSet::SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate,
                                const MillisecondClock& clock) {
    for (auto& t : timers_) {
        if (t.handle != handle)
            continue;
        if (ticks != 0)
            t.ticks = ticks;
        t.active = activate;
        if (activate)
            t.timer = newTimer(clock, t.ticks);
        return 0;
    }
    return ec::BadTriggerHandle;
}

int TriggerSet::AddDataTrigger(std::string_view match, bool ignoreCase) {
    if (match.empty())
        return ec::BadArgument;
    if (match.size() > kMaxDataTriggerLength)
        return ec::TriggerTooLong;
    int h = allocateHandle();
    if (h < 0)
        return h;
    Data d{static_cast<std::uint16_t>(h), std::string(match), ignoreCase, {}, 0};
    // Partial-match table, so that a byte breaking a partial match falls back to the
    // longest prefix still matched ("OOK" style overlaps are not lost).
    d.fallback.assign(match.size() + 1, 0);
    for (std::size_t i = 1, k = 0; i < match.size(); ++i) {
        while (k > 0 && !sameByte(match[i], match[k], ignoreCase))
            k = d.fallback[k];
        if (sameByte(match[i], match[k], ignoreCase))
            ++k;
        d.fallback[i + 1] = k;
    }
    data_.push_back(std::move(d));
    return h;
}

int TriggerSet::AddStatusTrigger(int type) {
    if (type < 1 || type > 5)
        return ec::BadArgument;
    int h = allocateHandle();
    if (h < 0)
        return h;
    std::uint16_t handle = static_cast<std::uint16_t>(h | type);
    status_.push_back({handle, static_cast<StatusTriggerType>(type), 0, 0, 0, false});
    return handle;
}

int TriggerSet::SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate,
                                 const PortStatus& now) {
    for (auto& s : status_) {
        if (s.handle != handle)
            continue;
        s.value = value;
        s.active = activate;
        s.expected = static_cast<std::uint8_t>(now.modemStatus & value);
        s.sentMark = now.bytesSent;
        return 0;
    }
    return ec::BadTriggerHandle;
}

int TriggerSet::RemoveTrigger(std::uint16_t handle) {
    auto drop = [handle](auto& list) {
        auto it = std::find_if(list.begin(), list.end(), [&](auto& e) { return e.handle == handle; });
        if (it == list.end())
            return false;
        list.erase(it);
        return true;
    };
    if (handle == kAvailTriggerHandle)
        return ec::BadTriggerHandle;
    return drop(timers_) || drop(data_) || drop(status_) ? 0 : ec::BadTriggerHandle;
}

void TriggerSet::Clear() {
    timers_.clear();
    data_.clear();
    status_.clear();
    handedOut_ = 0;
}

std::vector<std::uint16_t> TriggerSet::FeedByte(std::uint8_t byte) {
    std::vector<std::uint16_t> matched;
    for (auto& d : data_) {
        auto c = static_cast<std::uint8_t>(d.match[d.state]);
        while (d.state > 0 && !sameByte(byte, c, d.ignoreCase)) {
            d.state = d.fallback[d.state];
            c = static_cast<std::uint8_t>(d.match[d.state]);
        }
        if (sameByte(byte, c, d.ignoreCase))
            ++d.state;
        if (d.state == d.match.size()) {
            matched.push_back(d.handle);
            d.state = 0;
        }
    }
    return matched;
}

std::optional<std::uint16_t> TriggerSet::TakeExpiredTimer(const MillisecondClock& clock) {
    for (auto& t : timers_) {
        if (t.active && timerExpired(t.timer, clock)) {
            t.active = false;
            return t.handle;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> TriggerSet::TakeFiredStatus(const PortStatus& now) {
    for (auto& s : status_) {
        if (!s.active)
            continue;
        bool fire = false;
        switch (s.type) {
        case StatusTriggerType::ModemStatus:
            fire = (now.modemStatus & s.value) != s.expected;
            break;
        case StatusTriggerType::LineError:
            fire = (now.lineStatus & s.value) != 0;
            break;
        case StatusTriggerType::OutBuffFree:
            fire = now.outFree >= s.value;
            break;
        case StatusTriggerType::OutBuffUsed:
            fire = now.outUsed <= s.value;
            break;
        case StatusTriggerType::OutSent:
            fire = now.bytesSent > s.sentMark;
            break;
        }
        if (fire) {
            s.active = false;
            return s.handle;
        }
    }
    return std::nullopt;
}

bool TriggerSet::AnyTimerActive() const {
    return std::any_of(timers_.begin(), timers_.end(), [](auto& t) { return t.active; });
}

std::optional<std::chrono::milliseconds> TriggerSet::NextTimerDue(const MillisecondClock& clock) const {
    std::optional<std::chrono::milliseconds> due;
    for (const auto& t : timers_) {
        if (!t.active)
            continue;
        auto left = timeUntilExpiry(t.timer, clock);
        if (!due || left < *due)
            due = left;
    }
    return due;
}

bool TriggerSet::AnyStatusActive() const {
    return std::any_of(status_.begin(), status_.end(), [](auto& s) { return s.active; });
}

} // namespace faxengine
