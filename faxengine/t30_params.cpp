#include "faxengine/t30_params.h"

#include <algorithm>

namespace faxengine {

namespace {
// Rate bits (T.30 bits 11-14) a DIS offers for our highest modulation index.
constexpr std::array<std::uint8_t, 7> kDisRateBits{0x00, 0x00, 0x08, 0x0C, 0x0C, 0x1C, 0x2C};
// Rate bits a DCS selects for a modulation index. 12000 is trained as V.17 (bits 12 and
// 14); bit 13 alone would name V.33, which answerers without it refuse by hanging up.
constexpr std::array<std::uint8_t, 7> kDcsRateBits{0x00, 0x00, 0x08, 0x0C, 0x04, 0x28, 0x20};

constexpr std::uint8_t kFifReceiverFax = 0x02;
constexpr std::uint8_t kFifFine = 0x40;
constexpr std::uint8_t kFifWide = 0x01;
constexpr std::uint8_t kFifUnlimitedLength = 0x08;
constexpr std::uint8_t kFifExtend = 0x80;
constexpr std::uint8_t kScanZero = 0x70;

// Minimum scan time (ms), normal / fine, by scan-time code.
constexpr std::array<std::array<int, 2>, 8> kScanTimes{{
    {0, 0}, {5, 5}, {10, 5}, {10, 10}, {20, 10}, {20, 20}, {40, 20}, {40, 40}}};

// T.30 bits 21-23 for a scan time in ms.
std::uint8_t scanBits(int ms) {
    switch (ms) {
    case 0: return 0x70;
    case 5: return 0x10;
    case 10: return 0x20;
    case 20: return 0x00;
    case 40: return 0x40;
    }
    return 0x00;
}

int clampIndex(int modulation) { return std::clamp(modulation, 0, 6); }
} // namespace

int modulationForBps(int bps) {
    for (int i = 6; i > 1; --i)
        if (kModulationBps[i] <= bps)
            return i;
    return 1;
}

char brSpeedCode(int bps) {
    switch (bps) {
    case 2400: return '0';
    case 4800: return '1';
    case 7200: return '2';
    case 12000: return '4';
    case 14400: return '5';
    }
    return '3';
}

std::array<std::uint8_t, 4> disFif(bool fine, int modulation) {
    std::uint8_t b2 = kFifReceiverFax | kDisRateBits[clampIndex(modulation)];
    if (fine)
        b2 |= kFifFine;
    return {0x00, b2, kFifExtend | kScanZero | kFifUnlimitedLength | kFifWide, 0x00};
}

std::array<std::uint8_t, 4> dcsFif(bool fine, int modulation, int scanTimeCode, bool wide) {
    std::uint8_t b2 = kFifReceiverFax | kDcsRateBits[clampIndex(modulation)];
    if (fine)
        b2 |= kFifFine;
    std::uint8_t b3 = kFifExtend | kFifUnlimitedLength | scanBits(scanTimeMs(scanTimeCode, fine));
    if (wide)
        b3 |= kFifWide;
    return {0x00, b2, b3, 0x00};
}

std::array<std::uint8_t, 20> idFif(std::string_view stationId) {
    std::array<std::uint8_t, 20> out;
    out.fill(' ');
    const std::size_t n = std::min<std::size_t>(stationId.size(), 20);
    // Sent last character first, right-aligned: T.30 5.3.6.2.4.
    for (std::size_t i = 0; i < n; ++i)
        out[20 - n + i] = static_cast<std::uint8_t>(stationId[n - 1 - i]);
    return out;
}

std::string idFromFif(const std::uint8_t* fif, std::size_t n) {
    n = std::min<std::size_t>(n, 20);
    std::string id;
    id.reserve(n);
    for (std::size_t i = n; i > 0; --i)
        id.push_back(static_cast<char>(fif[i - 1]));
    return id;
}

std::array<bool, 7> disRemoteSupport(std::uint8_t byte2) {
    std::array<bool, 7> s{};
    s[1] = s[2] = true;
    // V.17 (bit 14) brings 12000 with 14400: T.30 table 2, "1,1,0,1".
    if (byte2 & 0x20)
        s[6] = s[5] = true;
    if (byte2 & 0x10)
        s[5] = true;
    if ((byte2 & 0x0C) == 0x04)
        s[4] = true;
    if ((byte2 & 0x0C) == 0x0C)
        s[3] = s[4] = true;
    return s;
}

int dcsModulation(std::uint8_t byte2) {
    // V.17 (bit 14) picks its rate with bits 11 and 12, T.30 table 2: 0,0 14400,
    // 0,1 12000, 1,0 9600, 1,1 7200.
    if (byte2 & 0x20) {
        switch (byte2 & 0x0C) {
        case 0x04: return 4;
        case 0x08: return 5;
        case 0x0C: return 3;
        }
        return 6;
    }
    if (byte2 & 0x10)
        return 5;
    switch (byte2 & 0x0C) {
    case 0x04: return 4;
    case 0x08: return 2;
    case 0x0C: return 3;
    }
    return 1;
}

std::string_view dcsTrainingCode(std::uint8_t byte2) {
    if (byte2 & 0x20) {
        if ((byte2 & 0x0C) == 0x04)
            return "97";
        if ((byte2 & 0x0C) == 0x0C)
            return "73";
    }
    return kLongTrainCodes[dcsModulation(byte2)];
}

std::string_view pageCodeFor(std::string_view trainingCode) {
    // T.31 table 2: the short-train code is the training code's successor.
    if (trainingCode == "97")
        return "98";
    if (trainingCode == "73")
        return "74";
    for (std::size_t i = 1; i < kLongTrainCodes.size(); ++i)
        if (kLongTrainCodes[i] == trainingCode)
            return kShortTrainCodes[i];
    return trainingCode;
}

int scanTimeCodeOf(std::uint8_t byte3) {
    static constexpr std::array<int, 8> kCodes{5, 1, 3, 4, 7, 6, 2, 0};
    return kCodes[(byte3 & 0x70) >> 4];
}

int scanTimeMs(int code, bool fine) {
    return kScanTimes[std::clamp(code, 0, 7)][fine ? 1 : 0];
}

int minLineBytesFor(int code, bool fine, int bps) {
    return static_cast<int>(static_cast<long>(scanTimeMs(code, fine)) * bps / 8000);
}

int trainingCheckBytes(int bps) { return std::min(bps / 100 * 18, 8192); }

} // namespace faxengine
