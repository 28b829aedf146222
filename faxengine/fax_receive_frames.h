// The called station's side of the Class 1 HDLC frames (CSI, DIS, CFR, FTT, MCF out; TSI,
// DCS, post-page messages and DCN in) and the Class 2/2.0 reports the receiver reads.
// Frame bytes are in the order the modem expects: first transmitted bit in bit 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine::rxframe {

inline constexpr std::uint8_t kDLE = 0x10;
inline constexpr std::uint8_t kETX = 0x03;
inline constexpr std::uint8_t kDC2 = 0x12;

// FCF values (the odd value carries the X bit of frames from the calling station).
namespace fcf {
inline constexpr std::uint8_t DIS = 0x80;
inline constexpr std::uint8_t CSI = 0x40;
inline constexpr std::uint8_t TSI = 0x42;
inline constexpr std::uint8_t DCS = 0x82;
inline constexpr std::uint8_t CFR = 0x84;
inline constexpr std::uint8_t FTT = 0x44;
inline constexpr std::uint8_t MPS = 0x4E;
inline constexpr std::uint8_t EOM = 0x8E;
inline constexpr std::uint8_t EOP = 0x2E;
inline constexpr std::uint8_t MCF = 0x8C;
inline constexpr std::uint8_t RTN = 0x4C;
inline constexpr std::uint8_t DCN = 0xFA;
inline constexpr std::uint8_t XBit = 0x01;
} // namespace fcf

// Modulation index (1..6) → bps.
int indexBps(int index);
// Training / page modulation code for AT+FRM= of an index.
std::string_view indexCode(int index);
// The page-data code that goes with a training code.
std::string pageCodeOf(std::string_view trainingCode);

// Whole frames, ready to write after "CONNECT": address, control, FCF, FIF, DLE ETX.
std::vector<std::uint8_t> fcfFrame(std::uint8_t fcf, bool final);
// CSI: 20 bytes, spaces first, then the id from its last character to its first.
std::vector<std::uint8_t> csiFrame(std::string_view stationId);
// DIS offering speeds up to `index`, fine resolution, wide pages, unlimited length.
std::vector<std::uint8_t> disFrame(int index);

// What the session learns from a received DCS.
struct DcsParams {
    int bps = 2400;
    std::string modulationCode = "24"; // for AT+FRM= of the training check
    std::string pageCode = "24";       // for AT+FRM= of page data (V.17: short train)
    bool fine = false;
    bool wide = false;
    int scanTimeCode = 0;
};
DcsParams decodeDcs(std::span<const std::uint8_t> fif);

struct Frame {
    bool final = false;
    std::uint8_t fcf = 0;
    std::vector<std::uint8_t> fif;
};
// A received frame (DLE stuffing already undone; FCS bytes, when the modem passes them
// on, are ignored). nullopt when it is too short to carry an FCF.
std::optional<Frame> parseFrame(std::span<const std::uint8_t> bytes);
// The 20 id characters of a TSI/CSI FIF, read from last to first.
std::string frameStationId(std::span<const std::uint8_t> fif);

// Class 2/2.0 reports.
// Trimmed text after the first ':' (or '=' when there is none), at most 128 characters.
std::string cleanReport(std::string_view line);
// As cleanReport; a leading '"' becomes a space, trailing non-alphanumerics go.
std::string cleanStationId(std::string_view line);
struct Class2Session {
    int bps = 9600;
    bool fine = false;
    bool wide = false;
    bool ecm = false;
    int scanTimeCode = 0;
};
// The VR,BR,WD,LN,DF,EC,BF,ST list of a session report.
Class2Session parseClass2Session(std::string_view line);
// BR code of a speed for the capabilities command.
char brCode(int bps);

} // namespace faxengine::rxframe
