// T.30 values the session needs as data: speeds and modulation codes, the frame control
// fields in the order the modem sends bits, the DIS/DCS facsimile information field
// coding and decoding, scan times and the minimum coded-line length.
#pragma once

#include "base/t30_codes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

// Modulation index 1..6 → bps (index 0 unused).
inline constexpr std::array<int, 7> kModulationBps{0, 2400, 4800, 7200, 9600, 12000, 14400};
// Class 1 codes for +FTM/+FRM: training (long train) and short train.
inline constexpr std::array<std::string_view, 7> kLongTrainCodes{"", "24", "48", "72", "96", "121", "145"};
inline constexpr std::array<std::string_view, 7> kShortTrainCodes{"", "24", "48", "72", "96", "122", "146"};

// The T.30 vocabulary shared with the virtual line.
namespace fcf = ::t30::fcf;
using ::t30::kDLE;
using ::t30::kETX;
using ::t30::kHdlcAddress;
using ::t30::kHdlcControlFinal;
using ::t30::kHdlcControlNonFinal;

// Index of the highest speed not above bps (at least 1).
int modulationForBps(int bps);
// BR speed code for Class 2 commands.
char brSpeedCode(int bps);

// The four FIF bytes of a DIS we send: fine offered, highest local modulation index.
std::array<std::uint8_t, 4> disFif(bool fine, int modulation);
// The four FIF bytes of a DCS: page resolution, modulation, scan-time code, width.
std::array<std::uint8_t, 4> dcsFif(bool fine, int modulation, int scanTimeCode, bool wide);
// The 20 ID bytes of a TSI/CSI: (20 − length) spaces, then the ID last to first.
std::array<std::uint8_t, 20> idFif(std::string_view stationId);
// The ID from a received TSI/CSI/CIG FIF (read last to first).
std::string idFromFif(const std::uint8_t* fif, std::size_t n);

// Modulations a received DIS offers (indexes 1..6).
std::array<bool, 7> disRemoteSupport(std::uint8_t byte2);
// Modulation index a received DCS selects.
int dcsModulation(std::uint8_t byte2);
// Class 1 training code a received DCS selects: the long-train code of its index, but
// the V.17 9600 and 7200 rates have codes of their own.
std::string_view dcsTrainingCode(std::uint8_t byte2);
// The code for the page data that follows a training code: V.17 pages come after a
// short train.
std::string_view pageCodeFor(std::string_view trainingCode);
// Scan-time code from FIF byte 3.
int scanTimeCodeOf(std::uint8_t byte3);
// Scan time in ms for a code at a resolution.
int scanTimeMs(int code, bool fine);
// Minimum bytes per coded line: scan time × bps / 8000.
int minLineBytesFor(int code, bool fine, int bps);
// Training check length: bps / 100 × 18, at most 8192.
int trainingCheckBytes(int bps);

} // namespace faxengine
