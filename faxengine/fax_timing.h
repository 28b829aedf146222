// The pauses and waits of a fax session with a modem: command pacing, turnarounds and
// the waits counted in 55 ms ticks.
#pragma once

#include <chrono>
#include <cstdint>

namespace faxengine {

// Timing of the command layer.
namespace faxtime {
using namespace std::chrono_literals;
inline constexpr std::chrono::milliseconds CommandPreDelay = 100ms;
inline constexpr std::chrono::milliseconds Class1TurnDelay = 40ms;
inline constexpr std::chrono::milliseconds InterCharDelay = 0ms;
inline constexpr std::chrono::milliseconds FrameStartDelay = 20ms;
inline constexpr std::chrono::milliseconds ResponseTurnDelay = 200ms;
inline constexpr std::chrono::milliseconds PostPagePause = 500ms;
inline constexpr std::chrono::milliseconds GuardTime = 1000ms;
inline constexpr std::chrono::milliseconds DtrDrop = 500ms;
inline constexpr std::int32_t SpeedChangePauseTicks = 9;
inline constexpr std::int32_t DataModeWaitTicks = 546;   // after AT+FDT
inline constexpr std::int32_t CapabilityTailTicks = 36;  // final OK after the first line
inline constexpr int LeadingBlankLines = 8;
} // namespace faxtime

} // namespace faxengine
