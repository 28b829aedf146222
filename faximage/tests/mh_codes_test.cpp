#include "faximage/mh_codes.h"

#include <gtest/gtest.h>

#include <vector>

using namespace faximage;

namespace {
bool isPrefix(MhCode a, MhCode b) { // a is a prefix of b
    return a.length <= b.length && (b.bits >> (b.length - a.length)) == a.bits;
}
} // namespace

// Each colour's codes (with EOL) must form a prefix code, or decoding is ambiguous; a
// mistyped table entry almost always breaks this.
TEST(MhCodes, EachColourIsAPrefixCodeFillingTheCodeSpace) {
    for (RunColor color : {RunColor::White, RunColor::Black}) {
        std::vector<MhCode> all;
        for (const auto& rc : runCodes(color))
            all.push_back(rc.code);
        all.push_back(kEol);
        for (std::size_t i = 0; i < all.size(); ++i) {
            for (std::size_t j = 0; j < all.size(); ++j) {
                if (i != j) {
                    EXPECT_FALSE(isPrefix(all[i], all[j]))
                        << to_string(color) << " codes " << i << " and " << j;
                }
            }
        }
        // The codes fill the whole code space except the 12-bit strings that begin with
        // eight zeros, of which only EOL is used: a missing or shortened code shows here.
        double kraft = 0;
        for (auto c : all)
            kraft += 1.0 / static_cast<double>(1u << c.length);
        EXPECT_DOUBLE_EQ(kraft, 1.0 - 15.0 / 4096.0) << to_string(color);
    }
}

TEST(MhCodes, LookupAndTransmissionOrder) {
    EXPECT_EQ(terminatingCode(RunColor::White, 0).bits, 0b00110101);
    EXPECT_EQ(makeupCode(RunColor::White, 1728).length, 9);
    EXPECT_EQ(makeupCode(RunColor::Black, 1792).bits, makeupCode(RunColor::White, 1792).bits);
    EXPECT_EQ(makeupCode(RunColor::Black, 2560).bits, 0b000000011111);
    EXPECT_EQ(transmissionOrder({0b0011, 4}), 0b1100);
    EXPECT_EQ(transmissionOrder(kEol), 0x800);
    EXPECT_EQ(kWhiteRunCodes[64].run, 64);
    EXPECT_EQ(kBlackRunCodes.back().run, 2560);
}
