#include "faxengine/byte_ring.h"
#include "faxengine/tick_clock.h"
#include "faxengine/trigger_set.h"
#include "faxengine/engine_errors.h"

#include <gtest/gtest.h>

using namespace faxengine;

namespace {
class FixedClock final : public MillisecondClock {
public:
    std::uint32_t NowMs() const override { return ms; }
    std::uint32_t ms = 0;
};

std::vector<std::uint16_t> feed(TriggerSet& t, std::string_view s) {
    std::vector<std::uint16_t> all;
    for (char c : s)
        for (auto h : t.FeedByte(static_cast<std::uint8_t>(c)))
            all.push_back(h);
    return all;
}
} // namespace

TEST(TriggerSet, DataMatchingKeepsOverlappingPrefixes) {
    TriggerSet t;
    int ok = t.AddDataTrigger("OK", false);
    int aab = t.AddDataTrigger("AAB", false);
    int nocase = t.AddDataTrigger("connect", true);
    EXPECT_EQ(feed(t, "xxOOK"), std::vector<std::uint16_t>{static_cast<std::uint16_t>(ok)});
    // A byte that breaks a partial match may still continue a shorter one.
    EXPECT_EQ(feed(t, "AAAB"), std::vector<std::uint16_t>{static_cast<std::uint16_t>(aab)});
    EXPECT_EQ(feed(t, "CONNECT 9600"), std::vector<std::uint16_t>{static_cast<std::uint16_t>(nocase)});
    EXPECT_TRUE(feed(t, "O\r\nK").empty());
    EXPECT_EQ(t.AddDataTrigger("", false), ec::BadArgument);
}

TEST(TriggerSet, HandlesInOrderThenLowestFree) {
    TriggerSet t;
    EXPECT_EQ(t.AddTimerTrigger(), 8);
    EXPECT_EQ(t.AddDataTrigger("x", false), 16);
    int st = t.AddStatusTrigger(2);
    EXPECT_EQ(st, 24 + 2);
    EXPECT_EQ(t.RemoveTrigger(16), 0);
    // The first 4096 handles are handed out in order, even past freed ones.
    for (int i = 4; i <= 4096; ++i)
        ASSERT_EQ(t.AddTimerTrigger(), i * 8);
    // Afterwards the lowest free multiple of 8 is reused; a status trigger's handle
    // blocks its multiple of 8 too.
    EXPECT_EQ(t.AddTimerTrigger(), 16);
    EXPECT_EQ(t.RemoveTrigger(static_cast<std::uint16_t>(st)), 0);
    EXPECT_EQ(t.AddStatusTrigger(1), 24 + 1);
    EXPECT_EQ(t.RemoveTrigger(1), ec::BadTriggerHandle);
    // Until every 16-bit multiple of 8 is taken.
    int last = 0;
    while ((last = t.AddTimerTrigger()) > 0) {
    }
    EXPECT_EQ(last, ec::NoMoreTriggers);
}

TEST(TriggerSet, StatusConditions) {
    TriggerSet t;
    PortStatus now;
    now.modemStatus = 0x30;
    int modem = t.AddStatusTrigger(1);
    int line = t.AddStatusTrigger(2);
    t.SetStatusTrigger(static_cast<std::uint16_t>(modem), 0x80, true, now); // watch DCD
    t.SetStatusTrigger(static_cast<std::uint16_t>(line), 0x02, true, now);  // parity only
    EXPECT_FALSE(t.TakeFiredStatus(now));
    now.modemStatus = 0x20; // CTS dropped: not watched
    now.lineStatus = 0x04;  // framing: not watched
    EXPECT_FALSE(t.TakeFiredStatus(now));
    now.modemStatus = 0xA0;
    EXPECT_EQ(t.TakeFiredStatus(now), modem);
    EXPECT_FALSE(t.TakeFiredStatus(now)); // disarmed when it fired
    now.lineStatus = 0x06;
    EXPECT_EQ(t.TakeFiredStatus(now), line);
    EXPECT_FALSE(t.AnyStatusActive());
    EXPECT_EQ(t.AddStatusTrigger(0), ec::BadArgument);
}

TEST(TickClock, ConversionsAndWrap) {
    EXPECT_EQ(secsToTicks(1), 18);
    EXPECT_EQ(secsToTicks(60), 1092);
    EXPECT_EQ(ticksToSecs(18), 1);
    EXPECT_EQ(ticksToSecs(1092), 60);
    EXPECT_EQ(ticksToSecs(0), 0);

    FixedClock c;
    c.ms = 0xFFFFFFFFu - 10 * 55; // ten ticks before the millisecond counter wraps
    EventTimer t = newTimer(c, 20);
    EXPECT_FALSE(timerExpired(t, c));
    c.ms += 15 * 55; // wrapped
    EXPECT_FALSE(timerExpired(t, c));
    c.ms += 7 * 55;
    EXPECT_TRUE(timerExpired(t, c));
    EXPECT_GE(elapsedTicks(t, c), 21u);

    // The longest timer is capped and still not mistaken for an expired one.
    c.ms = 5000;
    EventTimer longest = newTimer(c, 2'000'000'000);
    EXPECT_FALSE(timerExpired(longest, c));
    c.ms += 55u * 1000u;
    EXPECT_FALSE(timerExpired(longest, c));
}

TEST(ByteRing, WrapFullAndRefusal) {
    ByteRing r(8);
    const std::uint8_t six[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(r.Put(six));
    r.Consume(5);
    ASSERT_TRUE(r.Put(six)); // wraps around the end
    EXPECT_EQ(r.Used(), 7u);
    EXPECT_FALSE(r.Put(six)); // does not fit: nothing is taken
    EXPECT_EQ(r.Used(), 7u);
    const std::uint8_t one[] = {9};
    ASSERT_TRUE(r.Put(one));
    EXPECT_EQ(r.Free(), 0u);
    EXPECT_TRUE(r.WritableSpan().empty());
    std::uint8_t out[8];
    EXPECT_EQ(r.PeekInto(0, out), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), (std::vector<std::uint8_t>{6, 1, 2, 3, 4, 5, 6, 9}));
    r.Consume(100);
    EXPECT_TRUE(r.Empty());
}
