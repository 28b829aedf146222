// DIS/DCS/TSI coding checked against T.30's bit numbering (bit n of the FIF is bit
// (n-1) % 8 of byte (n-1) / 8 in the order the modem sends), and decoding round trips.
#include "faxengine/t30_params.h"

#include <gtest/gtest.h>

using namespace faxengine;

namespace {
// T.30 bit n (1-based, counting from the first FIF byte).
bool bit(const std::array<std::uint8_t, 4>& fif, int n) {
    return fif[static_cast<std::size_t>((n - 1) / 8)] & (1u << ((n - 1) % 8));
}
// T.30 bits 11-14 as the tables write them ("1,1,0,1").
std::string rateBits(const std::array<std::uint8_t, 4>& fif) {
    std::string s;
    for (int n = 11; n <= 14; ++n)
        s += bit(fif, n) ? '1' : '0';
    return s;
}
} // namespace

TEST(T30Dcs, FifMatchesTheT30Tables) {
    // 9600 bit/s, fine, 20 ms, A4, 1728 wide.
    auto f = dcsFif(true, 4, 5, false);
    EXPECT_EQ(f, (std::array<std::uint8_t, 4>{0x00, 0x46, 0x88, 0x00}));
    EXPECT_EQ(dcsFif(true, 4, 5, true)[2], 0x89);
    EXPECT_TRUE(bit(f, 10));  // receiver fax operation
    EXPECT_TRUE(bit(f, 15));  // 7.7 lines/mm
    EXPECT_FALSE(bit(f, 17)); // 1728
    EXPECT_TRUE(bit(f, 20));  // unlimited length
    EXPECT_TRUE(bit(f, 24));  // extend
    // DCS data signalling rates, T.30 table 2: V.27ter 2400 0000, 4800 0100; V.29 9600
    // 1000, 7200 1100; V.17 14400 0001, 12000 0101 (0010 is V.33, which we never train).
    const char* want[7] = {"", "0000", "0100", "1100", "1000", "0101", "0001"};
    for (int m = 1; m <= 6; ++m) {
        auto d = dcsFif(false, m, 0, false);
        EXPECT_EQ(rateBits(d), want[m]) << m;
        EXPECT_EQ(dcsModulation(d[1]), m) << "round trip " << m;
    }
}

TEST(T30Dcs, ScanTimeBitsSurviveTheRoundTrip) {
    // Codes with two times pick the longer for normal and the shorter for fine; the
    // receiver decoding the DCS must arrive at the same time for that resolution.
    for (int code = 0; code <= 7; ++code)
        for (bool fine : {false, true}) {
            auto d = dcsFif(fine, 4, code, false);
            EXPECT_EQ(scanTimeMs(scanTimeCodeOf(d[2]), fine), scanTimeMs(code, fine))
                << code << " fine " << fine;
        }
    // T.30 bits 21-23: 5 ms 1,0,0; 10 ms 0,1,0; 20 ms 0,0,0; 40 ms 0,0,1; 0 ms 1,1,1.
    EXPECT_EQ(dcsFif(false, 4, 1, false)[2] & 0x70, 0x10);
    EXPECT_EQ(dcsFif(false, 4, 2, false)[2] & 0x70, 0x20);
    EXPECT_EQ(dcsFif(true, 4, 2, false)[2] & 0x70, 0x10);
    EXPECT_EQ(dcsFif(false, 4, 6, false)[2] & 0x70, 0x40);
    EXPECT_EQ(dcsFif(true, 4, 6, false)[2] & 0x70, 0x00);
    EXPECT_EQ(dcsFif(false, 4, 0, false)[2] & 0x70, 0x70);
}

TEST(T30Dis, OfferedRatesAndCapabilities) {
    // DIS for a V.17 modem: T.30 "1,1,0,1" (V.27ter, V.29, V.17), 0 ms, both widths,
    // unlimited length.
    auto f = disFif(true, 6);
    EXPECT_EQ(rateBits(f), "1101");
    EXPECT_TRUE(bit(f, 15));
    EXPECT_TRUE(bit(f, 17));
    EXPECT_TRUE(bit(f, 20));
    EXPECT_EQ(f[2] & 0x70, 0x70);
    EXPECT_EQ(rateBits(disFif(false, 4)), "1100");
    EXPECT_EQ(rateBits(disFif(false, 2)), "0100");
    EXPECT_FALSE(bit(disFif(false, 4), 15));

    // What a far end offers: a V.17 DIS includes 12000 as well as 14400.
    auto s = disRemoteSupport(0x2C);
    for (int m = 1; m <= 6; ++m)
        EXPECT_TRUE(s[m]) << m;
    s = disRemoteSupport(0x0C); // V.27ter and V.29
    EXPECT_TRUE(s[3] && s[4]);
    EXPECT_FALSE(s[5] || s[6]);
    s = disRemoteSupport(0x04); // V.29 alone
    EXPECT_TRUE(s[4]);
    EXPECT_FALSE(s[3]);
    s = disRemoteSupport(0x08); // V.27ter
    EXPECT_TRUE(s[1] && s[2]);
    EXPECT_FALSE(s[3] || s[4]);
}

TEST(T30Ids, StationIdsGoLastCharacterFirst) {
    auto f = idFif("12345");
    EXPECT_EQ(std::string(f.begin(), f.end()), std::string(15, ' ') + "54321");
    EXPECT_EQ(idFromFif(f.data(), f.size()), "12345" + std::string(15, ' '));
    auto l = idFif("+1 555 0100 000 99999 extra");
    EXPECT_EQ(idFromFif(l.data(), l.size()), "+1 555 0100 000 9999");
    EXPECT_EQ(idFif(""), (std::array<std::uint8_t, 20>{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
}

TEST(T30Timing, MinimumLineAndTrainingCheck) {
    EXPECT_EQ(minLineBytesFor(3, false, 14400), 18);
    EXPECT_EQ(minLineBytesFor(5, true, 9600), 24);
    EXPECT_EQ(minLineBytesFor(4, false, 9600), 24); // 20 ms normal
    EXPECT_EQ(minLineBytesFor(4, true, 9600), 12);  // 10 ms fine
    EXPECT_EQ(minLineBytesFor(0, true, 14400), 0);
    // T.30: 1.5 s of zeros at the data rate.
    EXPECT_EQ(trainingCheckBytes(9600), 1728);
    EXPECT_EQ(trainingCheckBytes(14400), 2592);
    EXPECT_EQ(trainingCheckBytes(1000000), 8192);
    EXPECT_EQ(modulationForBps(9600), 4);
    EXPECT_EQ(modulationForBps(100), 1);
    EXPECT_EQ(brSpeedCode(14400), '5');
    EXPECT_EQ(brSpeedCode(9600), '3');
    EXPECT_EQ(brSpeedCode(1234), '3');
}
