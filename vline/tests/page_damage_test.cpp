// The line's page damage, judged by spandsp's own T.4 decoder (the one behind the far
// end's copy check): every row of a damaged copy is bad, a copy let through is untouched,
// and the modem's data stream stays well formed.
#include "class1_link.h"
#include "page_damage.h"
#include "spandsp_api.h"
#include "t30_frames.h"

#include "base/t30_codes.h"
#include "faximage/mh_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace vline;
namespace fcf = t30::fcf;

namespace {

constexpr int kWidth = 1728;
constexpr std::uint8_t kDle = t30::kDLE, kEtx = t30::kETX;

// A page of `rows` coded rows, some white and some with black runs, and the RTC, with
// DLE doubled and DLE ETX at the end as the program sends it.
std::vector<std::uint8_t> stuffedPage(int rows) {
    std::vector<std::uint8_t> page;
    std::vector<std::uint8_t> raster(kWidth / 8);
    for (int r = 0; r < rows; ++r) {
        std::fill(raster.begin(), raster.end(), std::uint8_t{0});
        if (r % 3 != 0)
            for (std::size_t i = static_cast<std::size_t>(r % 17); i < raster.size(); i += 5)
                raster[i] = static_cast<std::uint8_t>(0x3C ^ r);
        const auto line = faximage::encodeMhLine(raster, faximage::MhLineLayout{});
        page.insert(page.end(), line.begin(), line.end());
    }
    // The RTC, with an EOL more for the last row: eleven zeros and a one each, first bit in bit 0.
    std::uint64_t bits = 0;
    int n = 0;
    std::vector<std::uint8_t> rtc;
    for (int e = 0; e < 8; ++e)
        for (int b = 0; b < 12; ++b) {
            bits |= static_cast<std::uint64_t>(b == 11) << n;
            if (++n == 8) {
                rtc.push_back(static_cast<std::uint8_t>(bits));
                bits = 0;
                n = 0;
            }
        }
    page.insert(page.end(), rtc.begin(), rtc.end());
    return dleFramed(page);
}

// DLE stuffing undone up to DLE ETX; `ended` tells whether it came.
std::vector<std::uint8_t> unstuffed(std::span<const std::uint8_t> s, bool* ended = nullptr) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != kDle) {
            out.push_back(s[i]);
            continue;
        }
        EXPECT_LT(i + 1, s.size()) << "a lone DLE at the end";
        if (i + 1 >= s.size())
            break;
        if (s[++i] == kEtx) {
            if (ended)
                *ended = true;
            break;
        }
        EXPECT_EQ(s[i], kDle) << "DLE followed by " << int(s[i]);
        out.push_back(kDle);
    }
    return out;
}

struct Quality {
    int rows = 0;    // rows in the image: bad ones before the first good row are dropped
    int badRows = 0;
};

// What spandsp's receiver makes of the page data.
Quality decode(std::span<const std::uint8_t> stuffed) {
    bool ended = false;
    std::vector<std::uint8_t> data = unstuffed(stuffed, &ended);
    EXPECT_TRUE(ended);
    const auto file = std::filesystem::temp_directory_path() /
                      ("vline-damage-" + std::to_string(::getpid()) + ".tif");
    t4_rx_state_t* rx = t4_rx_init(nullptr, file.c_str(), T4_COMPRESSION_ITU_T4_1D);
    EXPECT_NE(rx, nullptr);
    if (!rx)
        return {};
    t4_rx_set_rx_encoding(rx, T4_COMPRESSION_ITU_T4_1D);
    t4_rx_set_image_width(rx, kWidth);
    t4_rx_start_page(rx);
    const int pageEnded = t4_rx_put_chunk(rx, data.data(), static_cast<int>(data.size()));
    EXPECT_TRUE(pageEnded) << "no RTC found";
    t4_stats_t st{};
    t4_rx_get_transfer_statistics(rx, &st);
    t4_rx_end_page(rx);
    t4_rx_free(rx);
    std::filesystem::remove(file);
    return {st.length, st.bad_rows};
}

// Far beyond what the copy check lets pass (it answers RTN from about one row in five).
// A row with a bit flipped may now and then still decode to the page's width.
bool nearlyAllBad(const Quality& q, int rows) { return q.badRows * 10 >= rows * 9; }

// The data in pieces of `piece` bytes, as a pty delivers it.
std::vector<std::uint8_t> passInPieces(PageDamage& d, std::span<const std::uint8_t> in, std::size_t piece) {
    std::vector<std::uint8_t> out;
    d.startData();
    for (std::size_t i = 0; i < in.size(); i += piece) {
        const auto part = d.pass(in.subspan(i, std::min(piece, in.size() - i)));
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace

TEST(VlinePageDamage, FirstCopyIsBadInEveryRowAndTheResentCopyArrivesWhole) {
    const auto page = stuffedPage(120);
    ASSERT_EQ(decode(page).badRows, 0); // the page as coded is good
    ASSERT_EQ(decode(page).rows, 120);

    PageDamage d(DamagePlan{1, 1});
    // Odd piece sizes split DLE pairs and EOLs across calls.
    const auto first = passInPieces(d, page, 7);
    EXPECT_TRUE(nearlyAllBad(decode(first), 120)) << decode(first).badRows;
    EXPECT_EQ(unstuffed(first).size(), unstuffed(page).size()); // bits changed, none added
    EXPECT_EQ(d.takeNote(), "copy 1 of page 1: 120 rows, 120 damaged");
    EXPECT_EQ(d.takeNote(), std::nullopt);

    d.answered(fcf::RTN);
    EXPECT_EQ(passInPieces(d, page, 1), page);
    EXPECT_EQ(d.takeNote(), "copy 2 of page 1: 120 rows, 0 damaged");

    // MCF moves on to page 2, which this plan leaves alone.
    d.answered(fcf::MCFx);
    EXPECT_EQ(d.page(), 2);
    EXPECT_EQ(d.copy(), 1);
    EXPECT_EQ(passInPieces(d, page, 4096), page);
}

TEST(VlinePageDamage, EveryCopyOfEveryPageWhenAskedAndAnswersCountOnlyAfterAPage) {
    const auto page = stuffedPage(30);
    PageDamage d(DamagePlan{DamagePlan::kEvery, DamagePlan::kEvery});
    // The training check is zeros: no rows, nothing damaged, and no copy counted, so an
    // answer to it (CFR, or an RTN repeated) does not move the count.
    const std::vector<std::uint8_t> tcf = dleFramed(std::vector<std::uint8_t>(1800, 0));
    EXPECT_EQ(passInPieces(d, tcf, 256), tcf);
    EXPECT_EQ(d.takeNote(), std::nullopt);
    d.answered(fcf::RTN);
    EXPECT_EQ(d.copy(), 1);

    for (int copy = 1; copy <= 3; ++copy) {
        EXPECT_TRUE(nearlyAllBad(decode(passInPieces(d, page, 64)), 30)) << "copy " << copy;
        d.answered(fcf::RTNx);
        d.answered(fcf::RTN); // a repeated answer is not a new copy
    }
    EXPECT_EQ(d.copy(), 4);
    EXPECT_TRUE(nearlyAllBad(decode(passInPieces(d, page, 64)), 30));
    d.answered(fcf::RTP); // a good page, and a retrain: the next page
    EXPECT_EQ(d.page(), 2);
    EXPECT_TRUE(nearlyAllBad(decode(passInPieces(d, page, 64)), 30));
    d.answered(fcf::PIN); // interrupt refused: the page once more
    EXPECT_EQ(d.page(), 2);
    EXPECT_EQ(d.copy(), 2);
}

TEST(VlinePageDamage, StuffingAndWhatFollowsTheDataPassUnchanged) {
    // Zeros and DLE data bytes make EOLs and rows that are not damaged for page 1 under a
    // plan for page 2; DLE SUB (two DLE data bytes) comes out doubled the plain way, and
    // the command after DLE ETX is left as it is.
    const std::vector<std::uint8_t> in = {0x00, 0x00, kDle, kDle, 0x35, kDle, 0x1A, 0x80, 0x00,
                                          kDle, kEtx, 'A',  'T',  kDle, '\r'};
    PageDamage d(DamagePlan{2, 1});
    const auto out = passInPieces(d, in, 1);
    const std::vector<std::uint8_t> expected = {0x00, 0x00, kDle, kDle, 0x35, kDle, kDle, kDle, kDle,
                                                0x80, 0x00, kDle, kEtx, 'A',  'T',  kDle, '\r'};
    EXPECT_EQ(out, expected);

    // Damaged, DLE data bytes that appear are doubled and the length of the data holds.
    PageDamage all(DamagePlan{DamagePlan::kEvery, DamagePlan::kEvery});
    const auto page = stuffedPage(200);
    const auto damaged = passInPieces(all, page, 3);
    EXPECT_EQ(unstuffed(damaged).size(), unstuffed(page).size());
}

TEST(VlinePageDamage, PlansAndTheirWords) {
    EXPECT_FALSE(DamagePlan{}.any());
    EXPECT_FALSE((DamagePlan{1, 0}.covers(1, 1)));
    EXPECT_TRUE((DamagePlan{2, 1}.covers(2, 1)));
    EXPECT_FALSE((DamagePlan{2, 1}.covers(2, 2)));
    EXPECT_FALSE((DamagePlan{2, 1}.covers(1, 1)));
    EXPECT_TRUE((DamagePlan{DamagePlan::kEvery, 2}.covers(9, 2)));
    EXPECT_TRUE((DamagePlan{1, DamagePlan::kEvery}.covers(1, 50)));
    EXPECT_EQ(describe(DamagePlan{1, 1}), "copy 1 of page 1");
    EXPECT_EQ(describe(DamagePlan{3, 2}), "copies 1 to 2 of page 3");
    EXPECT_EQ(describe(DamagePlan{DamagePlan::kEvery, DamagePlan::kEvery}), "every copy of every page");
}

TEST(VlinePageDamage, PagesWithErrorCorrectionAreLeftAlone) {
    const auto page = stuffedPage(20);
    PageDamage d(DamagePlan{1, DamagePlan::kEvery});
    d.setErrorCorrection(true);
    EXPECT_EQ(passInPieces(d, page, 16), page);
    EXPECT_EQ(d.takeNote(), std::nullopt);
    d.setErrorCorrection(false); // a later DCS without it
    EXPECT_TRUE(nearlyAllBad(decode(passInPieces(d, page, 16)), 20));
}

TEST(VlinePageDamage, FramesAreReadOutOfTheModemStream) {
    // A DIS with a DLE in its field, as a modem hands it over (check sequence included),
    // after a result code; then the same frame with one byte spoilt.
    std::vector<std::uint8_t> frame = {0xFF, 0x13, 0x80, 0x00, 0x10, 0xEE};
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : frame) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    crc = static_cast<std::uint16_t>(~crc);
    std::vector<std::uint8_t> withFcs = frame;
    withFcs.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    withFcs.push_back(static_cast<std::uint8_t>(crc >> 8));
    std::vector<std::uint8_t> stream = {'\r', '\n', 'C', 'O', 'N', 'N', 'E', 'C', 'T', '\r', '\n'};
    const auto good = dleFramed(withFcs);
    stream.insert(stream.end(), good.begin(), good.end());
    auto bad = good;
    bad[3] ^= 0x01;
    stream.insert(stream.end(), bad.begin(), bad.end());

    StuffedFrames checked(true);
    std::vector<std::vector<std::uint8_t>> got;
    for (std::uint8_t b : stream)
        if (auto f = checked.push(b))
            got.push_back(*f);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], frame);

    // The program's frames come without a check sequence.
    StuffedFrames plain(false);
    std::optional<std::vector<std::uint8_t>> last;
    for (std::uint8_t b : dleFramed(frame))
        if (auto f = plain.push(b))
            last = f;
    EXPECT_EQ(last, frame);
}
