#include "faxengine/rtc_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using faxengine::RtcFinder;

namespace {

// Packs a string of '0'/'1' into bytes, first bit in the least significant bit.
std::vector<std::uint8_t> pack(const std::string& bits) {
    std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1')
            out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (1u << (i % 8)));
    return out;
}

const std::string kEol = "000000000001";
// A white line of 1728 pixels: make-up 1728 then terminating 0.
const std::string kWhiteLine = "010011011" "00110101";

struct Fed {
    std::vector<std::uint8_t> kept; // the bytes a receiver stores
    bool found = false;
};

Fed feed(const std::vector<std::uint8_t>& data) {
    RtcFinder f;
    Fed r;
    for (std::uint8_t b : data) {
        if (f.Found())
            break;
        r.kept.push_back(f.Feed(b).value_or(b));
    }
    r.found = f.Found();
    return r;
}

std::string rtc(const std::string& between = "") {
    std::string s;
    for (int i = 0; i < RtcFinder::kEolsInRtc; ++i)
        s += (i ? between : "") + kEol;
    return s;
}

} // namespace

TEST(RtcFinder, PageEndsAtTheSixthEolAndWhatFollowsIsCut) {
    const std::string page = kEol + kWhiteLine + kEol + kWhiteLine + rtc();
    std::vector<std::uint8_t> data = pack(page + "1011"); // noise in the RTC's last byte
    const std::vector<std::uint8_t> noise = {0xfc, 0xff, 0xff, 0xef, 0x32};
    data.insert(data.end(), noise.begin(), noise.end());
    const Fed r = feed(data);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.kept, pack(page)); // the last byte's bits after the RTC are cleared
}

TEST(RtcFinder, FillBetweenEolsCountsButALineBetweenThemDoesNot) {
    const std::string filled = kEol + kWhiteLine + rtc(std::string(13, '0'));
    EXPECT_TRUE(feed(pack(filled)).found);

    // Five EOLs, a line, five more: never six in a row, so the page is kept whole.
    std::string noRtc = kEol + kWhiteLine;
    for (int i = 0; i < 5; ++i)
        noRtc += kEol;
    noRtc += kWhiteLine;
    for (int i = 0; i < 5; ++i)
        noRtc += kEol;
    const auto data = pack(noRtc + "0110");
    const Fed r = feed(data);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.kept, data);
}
