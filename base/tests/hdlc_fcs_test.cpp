// The frame check of received HDLC frames, against frames a T.31 modem emulation nobody here
// wrote handed over on the virtual line (its far end's CSI and DIS, FCS bytes included).
#include "base/t30_codes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> farEndCsi() {
    std::vector<std::uint8_t> f{0xFF, 0x03, 0x40};
    for (char c : std::string("0020 555 1+         "))
        f.push_back(static_cast<std::uint8_t>(c));
    f.insert(f.end(), {0x8E, 0xC0, t30::kDLE, t30::kETX});
    return f;
}

const std::vector<std::uint8_t> kFarEndDis{0xFF, 0x13, 0x80, 0x00, 0xEE, 0xF8, 0xC4, 0x80, 0x91,
                                            0x80, 0x80, 0x80, 0x18, 0x08, 0xFF, t30::kDLE, t30::kETX};

TEST(HdlcFcs, FramesAsTheModemDeliversThemCheckOutAndDamagedOnesDoNot) {
    EXPECT_TRUE(t30::hdlcFcsGood(farEndCsi()));
    EXPECT_TRUE(t30::hdlcFcsGood(kFarEndDis));
    // Without the DLE ETX (a frame still arriving) the check is the same.
    EXPECT_TRUE(t30::hdlcFcsGood(std::span(kFarEndDis).first(kFarEndDis.size() - 2)));

    for (std::size_t i = 0; i + 2 < kFarEndDis.size(); ++i) {
        auto damaged = kFarEndDis;
        damaged[i] ^= 0x04;
        EXPECT_FALSE(t30::hdlcFcsGood(damaged)) << "bit flipped in byte " << i;
    }
    EXPECT_FALSE(t30::hdlcFcsGood(std::span(kFarEndDis).first(6))); // cut short
    EXPECT_FALSE(t30::hdlcFcsGood(std::vector<std::uint8_t>{t30::kDLE, t30::kETX}));
}

// A doubled DLE inside the frame is one data byte for the check.
TEST(HdlcFcs, DoubledDleCountsOnce) {
    // The FCS of FF 13 10 (a frame whose FCF is 0x10), computed the way HDLC does.
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : {0xFF, 0x13, 0x10}) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    crc = static_cast<std::uint16_t>(~crc);
    const std::vector<std::uint8_t> stuffed{0xFF, 0x13, t30::kDLE, t30::kDLE,
                                            static_cast<std::uint8_t>(crc & 0xFF),
                                            static_cast<std::uint8_t>(crc >> 8), t30::kDLE, t30::kETX};
    EXPECT_TRUE(t30::hdlcFcsGood(stuffed));
}

} // namespace
