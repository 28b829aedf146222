// The dispatcher's triggers: timer, data and status triggers with their handles, and the
// matching of data triggers against incoming bytes. Not thread-safe: the dispatcher calls
// it under its data lock.
#pragma once

#include "faxengine/port_types.h"
#include "faxengine/tick_clock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

inline constexpr std::size_t kMaxDataTriggerLength = 255;

// What status triggers are compared against.
struct PortStatus {
    std::uint8_t modemStatus = 0;
    std::uint8_t lineStatus = 0;
    std::size_t outUsed = 0;
    std::size_t outFree = 0;
    std::uint64_t bytesSent = 0; // bytes written to the device since open
};

class TriggerSet {
public:
    int AddTimerTrigger();
    // 0 ticks keeps the previous duration.
    int SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate,
                        const MillisecondClock& clock);
    int AddDataTrigger(std::string_view match, bool ignoreCase);
    int AddStatusTrigger(int type);
    // Modem status: value is the mask of bits to watch, compared against their state now.
    // Line error: the mask of error bits. Output free / used: the byte count. Output sent:
    // unused.
    int SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate,
                         const PortStatus& now);
    int RemoveTrigger(std::uint16_t handle);
    void Clear();

    // Feeds one byte through every data trigger; returns the handles that matched on it.
    std::vector<std::uint16_t> FeedByte(std::uint8_t byte);
    // Disarms and returns the first expired active timer, if any.
    std::optional<std::uint16_t> TakeExpiredTimer(const MillisecondClock& clock);
    // Disarms and returns the first active status trigger whose condition holds.
    std::optional<std::uint16_t> TakeFiredStatus(const PortStatus& now);

    bool AnyTimerActive() const;
    // Time until the first active timer expires; none when no timer is active.
    std::optional<std::chrono::milliseconds> NextTimerDue(const MillisecondClock& clock) const;
    bool AnyStatusActive() const;
    std::size_t DataTriggerCount() const { return data_.size(); }

private:
    struct Timer {
        std::uint16_t handle;
        EventTimer timer;
        std::int32_t ticks = 0;
        bool active = false;
    };
    struct Data {
        std::uint16_t handle;
        std::string match;
        bool ignoreCase;
        std::vector<std::size_t> fallback; // longest proper prefix that is also a suffix
        std::size_t state = 0;             // bytes of match seen so far
    };
    struct Status {
        std::uint16_t handle;
        StatusTriggerType type;
        std::uint16_t value = 0;
        std::uint8_t expected = 0;
        std::uint64_t sentMark = 0;
        bool active = false;
    };

    int allocateHandle();

    std::vector<Timer> timers_;
    std::vector<Data> data_;
    std::vector<Status> status_;
    std::uint32_t handedOut_ = 0;
};

} // namespace faxengine
