// Values shared by the dispatcher, the port component and their users: trigger messages,
// modem and line status bits, line settings and the port's option enums.
#pragma once

#include <cstdint>
#include <string_view>

namespace faxengine {

// Trigger messages handed to the handlers.
namespace apw {
inline constexpr std::uint16_t TriggerAvail = 0x7E01;  // parameter: bytes available
inline constexpr std::uint16_t TriggerData = 0x7E02;   // parameter: data trigger handle
inline constexpr std::uint16_t TriggerTimer = 0x7E03;  // parameter: timer trigger handle
inline constexpr std::uint16_t TriggerStatus = 0x7E04; // parameter: status trigger handle
inline constexpr std::uint16_t CloseRequest = 0x7E0A;  // close the port outside dispatching
// The device went away (unplugged, far side closed) or a worker thread failed; the
// parameter's low word is the error code's magnitude. The threads end after it.
inline constexpr std::uint16_t PortLost = 0x7E0B;
} // namespace apw

// Handle of the data-available trigger.
inline constexpr std::uint16_t kAvailTriggerHandle = 1;

// Modem status byte: current lines in the high nibble, deltas in the low nibble.
namespace msr {
inline constexpr std::uint8_t DCTS = 0x01;
inline constexpr std::uint8_t DDSR = 0x02;
inline constexpr std::uint8_t TERI = 0x04;
inline constexpr std::uint8_t DDCD = 0x08;
inline constexpr std::uint8_t CTS = 0x10;
inline constexpr std::uint8_t DSR = 0x20;
inline constexpr std::uint8_t RI = 0x40;
inline constexpr std::uint8_t DCD = 0x80;
} // namespace msr

// Line status bits.
namespace lsr {
inline constexpr std::uint8_t Overrun = 1;
inline constexpr std::uint8_t Parity = 2;
inline constexpr std::uint8_t Framing = 4;
inline constexpr std::uint8_t Break = 8;
} // namespace lsr

enum class StatusTriggerType : std::uint8_t {
    ModemStatus = 1,
    LineError = 2,
    OutBuffFree = 3,
    OutBuffUsed = 4,
    OutSent = 5,
};
std::string_view to_string(StatusTriggerType t);

enum class TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
std::string_view to_string(TParity p);

enum class TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
std::string_view to_string(TSWFlowOptions s);

enum class TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
std::string_view to_string(TTraceLogState s);

// Hardware flow options, a set of bits.
namespace hwf {
inline constexpr std::uint8_t UseDTR = 1;
inline constexpr std::uint8_t UseRTS = 2;
inline constexpr std::uint8_t RequireDSR = 4;
inline constexpr std::uint8_t RequireCTS = 8;
} // namespace hwf

// Line settings. A value of kKeep leaves the current one unchanged.
inline constexpr int kKeep = -1;
struct LineSettings {
    int baud = 19200;
    TParity parity = TParity::pNone;
    int dataBits = 8;
    int stopBits = 1;
};

struct FlowSettings {
    std::uint8_t hwOptions = 0;
    TSWFlowOptions swOptions = TSWFlowOptions::swfNone;
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
    int bufferFull = 0;
    int bufferResume = 0;
};

// With hardware flow options set, a BufferFull of 0 or above inSize becomes 90 % of
// inSize and a BufferResume of 0 or above BufferFull becomes 10 % of inSize.
void normaliseFlowLimits(int inSize, FlowSettings& flow);

} // namespace faxengine
