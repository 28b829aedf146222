#include "faxlog/cdx/cdx_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace faxlog::cdx {
namespace {

TEST(CdxKeys, NumericKeysSortAsTheirValuesAndDecodeBack) {
    std::vector<double> values = {0.0,   -0.0, 1.0,  -1.0, 0.5,  -0.5, 1e-300, -1e-300, 1e300, -1e300,
                                  42.25, 100,  -100, 99.99, 1e15, std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min()};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < 500; ++i) values.push_back(std::round(dist(rng) * 100) / 100);

    std::vector<std::pair<std::string, double>> keyed;
    for (double v : values) {
        const std::string key = encodeNumericKey(v);
        ASSERT_EQ(key.size(), 8u);
        EXPECT_EQ(decodeNumericKey(key), v);
        keyed.emplace_back(key, v);
    }
    std::sort(keyed.begin(), keyed.end());   // byte order, unsigned
    for (size_t i = 1; i < keyed.size(); ++i) EXPECT_LE(keyed[i - 1].second, keyed[i].second) << i;
}

TEST(CdxKeys, KnownNumericBytes) {
    // 1.0 is 3FF0000000000000: sign bit set for a positive; -1.0 is inverted.
    EXPECT_EQ(encodeNumericKey(1.0), std::string("\xBF\xF0\0\0\0\0\0\0", 8));
    EXPECT_EQ(encodeNumericKey(-1.0), std::string("\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF", 8));
    EXPECT_EQ(encodeNumericKey(-0.0), encodeNumericKey(0.0));
    EXPECT_EQ(encodeNumericKey(0.0), std::string("\x80\0\0\0\0\0\0\0", 8));
}

TEST(CdxKeys, DatesAreJulianDaysAndBlankSortsFirst) {
    // 2000-01-01 is Julian day 2451545.
    EXPECT_EQ(encodeDateKey(2451545), encodeNumericKey(2451545.0));
    EXPECT_LT(encodeDateKey(0), encodeDateKey(1721426));   // blank before 0001-01-01
    EXPECT_LT(encodeDateKey(2451545), encodeDateKey(2451546));
}

TEST(CdxKeys, CharacterAndLogicalKeys) {
    EXPECT_EQ(encodeCharacterKey("AB", 5), "AB   ");
    EXPECT_EQ(encodeCharacterKey("ABCDEFG", 4), "ABCD");
    EXPECT_EQ(encodeCharacterKey("", 3), "   ");
    EXPECT_EQ(encodeLogicalKey(true), "T");
    EXPECT_EQ(encodeLogicalKey(false), "F");
}

}  // namespace
}  // namespace faxlog::cdx
