// The words of a T.30 fax call that the engine and the virtual line both speak: frame
// control fields, HDLC framing bytes, the DLE escapes of a modem's data stream, the
// protocol's own timers, and the bit order a Class 2 modem hands page data over in.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace t30 {

// Frame control fields as written in a frame, first transmitted bit in bit 0. The odd
// value carries the X bit, set by the station that received a DIS (the caller).
namespace fcf {
inline constexpr std::uint8_t kX = 0x01;

inline constexpr std::uint8_t DIS = 0x80;
inline constexpr std::uint8_t DTC = 0x81;
inline constexpr std::uint8_t CSI = 0x40;
inline constexpr std::uint8_t CIG = 0x41;
inline constexpr std::uint8_t NSF = 0x20;
inline constexpr std::uint8_t TSI = 0x42;
inline constexpr std::uint8_t TSIx = TSI | kX;
inline constexpr std::uint8_t DCS = 0x82;
inline constexpr std::uint8_t DCSx = DCS | kX;
inline constexpr std::uint8_t CFR = 0x84;
inline constexpr std::uint8_t CFRx = CFR | kX;
inline constexpr std::uint8_t FTT = 0x44;
inline constexpr std::uint8_t FTTx = FTT | kX;
inline constexpr std::uint8_t MPS = 0x4E;
inline constexpr std::uint8_t MPSx = MPS | kX;
inline constexpr std::uint8_t EOM = 0x8E;
inline constexpr std::uint8_t EOMx = EOM | kX;
inline constexpr std::uint8_t EOP = 0x2E;
inline constexpr std::uint8_t EOPx = EOP | kX;
inline constexpr std::uint8_t MCF = 0x8C;
inline constexpr std::uint8_t MCFx = MCF | kX;
inline constexpr std::uint8_t RTN = 0x4C;
inline constexpr std::uint8_t RTNx = RTN | kX;
inline constexpr std::uint8_t RTP = 0xCC;
inline constexpr std::uint8_t RTPx = RTP | kX;
inline constexpr std::uint8_t PIP = 0xAC;
inline constexpr std::uint8_t PIN = 0x2C;
inline constexpr std::uint8_t DCN = 0xFA;
inline constexpr std::uint8_t DCNx = DCN | kX;
inline constexpr std::uint8_t CRP = 0x1A;

// The same frame whichever station sent it.
constexpr bool is(std::uint8_t f, std::uint8_t code) { return (f & ~kX & 0xFF) == code; }
constexpr bool isMCF(std::uint8_t f) { return is(f, MCF); }
constexpr bool isRTN(std::uint8_t f) { return is(f, RTN); }
constexpr bool isRTP(std::uint8_t f) { return is(f, RTP); }
constexpr bool isFTT(std::uint8_t f) { return is(f, FTT); }
} // namespace fcf

// HDLC framing of the control messages.
inline constexpr std::uint8_t kHdlcAddress = 0xFF;
inline constexpr std::uint8_t kHdlcControlFinal = 0x13;
inline constexpr std::uint8_t kHdlcControlNonFinal = 0x03;

// A modem's data stream: DLE escapes, DLE ETX ends the data, a doubled DLE is one data byte.
inline constexpr std::uint8_t kDLE = 0x10;
inline constexpr std::uint8_t kETX = 0x03;

// A received frame as the modem hands it over: address, control, FCF, FIF and the two FCS
// bytes, with DLE doubled and DLE ETX at the end (which may be missing). True when the frame
// check sequence holds: the CRC over everything including the FCS leaves the HDLC residue.
constexpr bool hdlcFcsGood(std::span<const std::uint8_t> stuffed) {
    std::uint16_t crc = 0xFFFF;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < stuffed.size(); ++i) {
        std::uint8_t b = stuffed[i];
        if (b == kDLE && i + 1 < stuffed.size()) {
            if (stuffed[i + 1] == kETX)
                break;
            ++i; // a doubled DLE is one data byte
        }
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
        ++bytes;
    }
    return bytes >= 5 && crc == 0xF0B8; // address, control, FCF and the FCS at the least
}

// The protocol's timers. T1: time to find the other station once the call is up;
// T2: the wait for a command; T4: the wait for a response to a command.
using namespace std::chrono_literals;
inline constexpr std::chrono::milliseconds T1 = 35s;
inline constexpr std::chrono::milliseconds T2 = 6s;
inline constexpr std::chrono::milliseconds T4 = 3s;

// Class 2 modems hand page data over with the bits of each byte in the opposite order.
constexpr std::uint8_t reverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

} // namespace t30
