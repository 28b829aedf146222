// T.30 frames as a Class 2 modem builds and reads them, and the session parameters
// (vr,br,wd,ln,df,ec,bf,st) the program sees in the +FDIS/+FDCS family.
#pragma once

#include "base/t30_codes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vline {

// Frame control fields, shared with the engine.
namespace fcf = ::t30::fcf;

struct SessionParams {
    int vr = 0; // 0 normal, 1 fine
    int br = 3; // 0 2400 ... 3 9600 ... 5 14400
    int wd = 0; // 0 1728, 1 2048, 2 2432 pels
    int ln = 2; // 0 A4, 1 B4, 2 unlimited
    int df = 0; // 0 MH, 1 MR
    int ec = 0;
    int bf = 0;
    int st = 0; // minimum scan line time code 0..7

    bool operator==(const SessionParams&) const = default;
};

// "1,3,0,2,0,0,0,0"
std::string formatParams(const SessionParams& p);
// Reads as many values as given ("1,5" changes vr and br only); nullopt on bad text.
std::optional<SessionParams> parseParams(std::string_view text, SessionParams base);
// The highest value each parameter takes on this modem.
SessionParams modemLimits();

// What the two ends agree on: the sender's wishes within the receiver's abilities.
SessionParams negotiate(const SessionParams& local, const SessionParams& remote);

// Bit rate of br in bits/s, and the Class 1 modulation that carries it (24, 48, 72, 96).
int bitRate(int br);
int modulationOf(int br);

// The frame information field of a DIS (what we can receive) or a DCS (what is sent).
std::vector<std::uint8_t> encodeDis(const SessionParams& p);
std::vector<std::uint8_t> encodeDcs(const SessionParams& p);
// The capabilities in a DIS or the choice in a DCS (the field without address, control
// and control field). The bit rate of a DIS is the fastest it offers.
SessionParams decodeDis(std::span<const std::uint8_t> fif);
SessionParams decodeDcs(std::span<const std::uint8_t> fif);

// A CSI/TSI field: 20 characters, last one first.
std::vector<std::uint8_t> encodeIdent(std::string_view id);
std::string decodeIdent(std::span<const std::uint8_t> fif);

// "DCS", "MCF", ... for logs (the X bit aside).
std::string fcfName(std::uint8_t fcf);

// A whole frame: address 0xFF, control 0x03 (0x13 on the last frame), fcf, fif.
std::vector<std::uint8_t> frame(std::uint8_t fcf, std::span<const std::uint8_t> fif, bool last);

// Frames out of a modem's data stream (DLE doubled, DLE ETX after each frame), fed a
// piece at a time; text between frames (result codes) is passed over. Frames a modem hands
// over carry their check sequence; those a program gives the modem to send do not.
class StuffedFrames {
public:
    explicit StuffedFrames(bool checked) : checked_(checked) {}
    // The frame that this byte completes, unstuffed and without its check sequence (when
    // that holds).
    std::optional<std::vector<std::uint8_t>> push(std::uint8_t b);
    void clear();

private:
    static constexpr std::size_t kLongest = 512;
    bool checked_;
    std::vector<std::uint8_t> stuffed_;
    bool dle_ = false;
};

} // namespace vline
