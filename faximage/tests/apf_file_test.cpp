#include "faximage/apf_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace faximage;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("apf_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

std::vector<std::uint8_t> slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::chrono::system_clock::time_point someTime() {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 15;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 31;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

} // namespace

TEST(ApfDate, PacksTheDosWayAndRefusesYearsOutsideItsRange) {
    // 2024-03-15 13:45:31 -> date (44 << 9 | 3 << 5 | 15), time (13 << 11 | 45 << 5 | 15)
    const std::uint32_t packed = packDosDateTime({2024, 3, 15, 13, 45, 31});
    EXPECT_EQ(packed, (44u << 9 | 3u << 5 | 15u) << 16 | (13u << 11 | 45u << 5 | 15u));
    const DosDateTime back = unpackDosDateTime(packed);
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(back.second, 30); // two-second steps
    EXPECT_EQ(packDosDateTime({1979, 12, 31, 23, 59, 59}), 0u);
    EXPECT_EQ(packDosDateTime({2100, 1, 1, 0, 0, 0}), 0u);
    EXPECT_NE(packDosDateTime({2099, 12, 31, 23, 59, 58}), 0u);
    EXPECT_EQ(dosDateTimeOf(someTime()), packed);
}

TEST(ApfWriter, EmptyFileAndPageWithoutLinesHaveTheExactBytes) {
    TempDir dir;
    ApfWriter w;
    ASSERT_EQ(w.create(dir / "a.apf"), 0);
    ASSERT_EQ(w.endPage(kApfHighResolution), 0); // a page ended before any line
    ASSERT_EQ(w.close("", someTime()), 0);

    const auto bytes = slurp(dir / "a.apf");
    ASSERT_EQ(bytes.size(), 64u + 16u + 14u);
    EXPECT_TRUE(std::equal(kApfSignature.begin(), kApfSignature.end(), bytes.begin()));
    EXPECT_EQ(bytes[10], 0);                                  // empty station id...
    for (int i = 11; i <= 30; ++i)
        EXPECT_EQ(bytes[static_cast<std::size_t>(i)], ' '); // ...padded with spaces
    EXPECT_EQ(bytes[31], 0);
    EXPECT_EQ(bytes[32], 1); // page count
    EXPECT_EQ(bytes[34], 64); // first page offset
    for (int i = 38; i < 64; ++i)
        EXPECT_EQ(bytes[static_cast<std::size_t>(i)], 0);
    // Page header: ImageLength 14, flags high resolution + length words.
    const std::vector<std::uint8_t> page(bytes.begin() + 64, bytes.end());
    const std::vector<std::uint8_t> expected = {14, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                12, 0, 0x00, 0x80, 0x00, 0x08, 0x80, 0x00,
                                                0x08, 0x80, 0x00, 0x08, 0x80, 0x00};
    EXPECT_EQ(page, expected);

    // A file with no pages at all.
    ApfWriter none;
    ASSERT_EQ(none.create(dir / "none.apf"), 0);
    ASSERT_EQ(none.close("X"), 0);
    ApfReader r;
    ASSERT_EQ(r.open(dir / "none.apf"), 0);
    EXPECT_EQ(r.pageCount(), 0);
    ApfPageInfo info;
    EXPECT_EQ(r.locatePage(1, info), -8001);
}

TEST(ApfWriter, StationIdIsCutToTwentyAndPaddedWithSpaces) {
    TempDir dir;
    for (const std::string id : {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRSTUVW", "+1 555"}) {
        ApfWriter w;
        ASSERT_EQ(w.create(dir / "s.apf"), 0);
        ASSERT_EQ(w.close(id), 0);
        const auto b = slurp(dir / "s.apf");
        const std::size_t len = std::min<std::size_t>(id.size(), 20);
        EXPECT_EQ(b[10], len);
        EXPECT_EQ(std::string(b.begin() + 11, b.begin() + 11 + static_cast<long>(len)), id.substr(0, len));
        EXPECT_EQ(std::string(b.begin() + 11 + static_cast<long>(len), b.begin() + 31),
                  std::string(20 - len, ' '));
        ApfReader r;
        ASSERT_EQ(r.open(dir / "s.apf"), 0);
        EXPECT_EQ(r.header().stationId(), id.substr(0, len));
    }
}

// Many pages of lines larger than the write block: the page headers fixed up at end of
// page must land on the right bytes whether they are still buffered or already written.
TEST(ApfWriter, PagesRoundTripThroughTheReader) {
    TempDir dir;
    ApfWriter w;
    ASSERT_EQ(w.create(dir / "m.apf"), 0);
    std::vector<std::vector<std::uint8_t>> lines;
    for (int page = 0; page < 5; ++page) {
        const int count = page * 700; // page 0 empty, later pages span several blocks
        for (int i = 0; i < count; ++i) {
            std::vector<std::uint8_t> line(static_cast<std::size_t>(6 + (i * 7 + page) % 40),
                                           static_cast<std::uint8_t>(i + page));
            ASSERT_EQ(w.appendLine(line, page % 2 ? kApfWide : 0), 0);
            if (page == 3)
                lines.push_back(line);
        }
        ASSERT_EQ(w.endPage(page % 2 ? kApfWide : 0), 0);
    }
    ASSERT_EQ(w.close("Me"), 0);

    ApfReader r;
    ASSERT_EQ(r.open(dir / "m.apf"), 0);
    ASSERT_EQ(r.pageCount(), 5);
    std::uint64_t end = 64;
    for (int n : {1, 2, 3, 4, 5, 4}) { // also walk backwards
        ApfPageInfo info;
        ASSERT_EQ(r.locatePage(n, info), 0);
        EXPECT_EQ(info.header.flags, kApfLengthWords | ((n - 1) % 2 ? kApfWide : 0));
        std::vector<std::uint8_t> data;
        ASSERT_EQ(r.readPageData(info, data), 0);
        ApfLineRecords records(data);
        std::span<const std::uint8_t> rec;
        std::size_t count = 0;
        std::vector<std::vector<std::uint8_t>> got;
        int rc;
        while ((rc = records.next(rec)) == 1) {
            ++count;
            got.emplace_back(rec.begin(), rec.end());
        }
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(count, static_cast<std::size_t>((n - 1) * 700 + 1));
        EXPECT_TRUE(std::equal(kApfEndOfPage.begin(), kApfEndOfPage.end(), got.back().begin()));
        if (n == 4) {
            got.pop_back();
            EXPECT_EQ(got, lines);
        }
        if (n == 5)
            end = info.dataOffset + info.header.imageLength;
    }
    EXPECT_EQ(end, fs::file_size(dir / "m.apf"));
    ApfPageInfo info;
    EXPECT_EQ(r.locatePage(6, info), -8001);
    EXPECT_EQ(r.locatePage(0, info), -8001);
}

// Files written elsewhere: pages without length words, an empty page, damaged lengths.
TEST(ApfReader, ReadsForeignLayoutsAndRejectsDamage) {
    TempDir dir;
    ApfFileHeader h;
    h.pageCount = 3;
    std::vector<std::uint8_t> file;
    const auto hb = h.serialize();
    file.insert(file.end(), hb.begin(), hb.end());
    auto addPage = [&](ApfPageHeader ph, std::vector<std::uint8_t> data) {
        const auto b = ph.serialize();
        file.insert(file.end(), b.begin(), b.end());
        file.insert(file.end(), data.begin(), data.end());
    };
    addPage({0, kApfHighResolution}, {});                // ImageLength 0
    addPage({5, 0}, {0x00, 0x80, 0xB2, 0x59, 0x01});     // raw MH stream
    addPage({4, kApfLengthWords}, {2, 0, 0xAA, 0xBB});   // one line record
    spit(dir / "f.apf", file);

    ApfReader r;
    ASSERT_EQ(r.open(dir / "f.apf"), 0);
    ApfPageInfo info;
    ASSERT_EQ(r.locatePage(2, info), 0);
    EXPECT_EQ(info.headerOffset, 64u + 16u);
    EXPECT_FALSE(info.header.lengthWords());
    ASSERT_EQ(r.locatePage(3, info), 0);
    std::vector<std::uint8_t> data;
    ASSERT_EQ(r.readPageData(info, data), 0);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 0, 0xAA, 0xBB}));

    // A record that claims more than the page holds.
    const std::vector<std::uint8_t> cut = {9, 0, 1, 2};
    ApfLineRecords records(cut);
    std::span<const std::uint8_t> rec;
    EXPECT_EQ(records.next(rec), -100);

    // Page count says 4, the file holds 3: the walk hits the end of the file.
    file[32] = 4;
    spit(dir / "g.apf", file);
    ASSERT_EQ(r.open(dir / "g.apf"), 0);
    EXPECT_EQ(r.locatePage(4, info), -100);
    // ImageLength far beyond the file: refused before anything is allocated.
    ASSERT_EQ(r.locatePage(3, info), 0);
    info.header.imageLength = 0xFFFFFFF0u;
    EXPECT_EQ(r.readPageData(info, data), -100);

    // Only the six signature bytes decide; the version digits are part of them.
    file[4] = '1';
    spit(dir / "bad.apf", file);
    EXPECT_EQ(r.open(dir / "bad.apf"), -8001);
    spit(dir / "short.apf", {'A', 'P', 'F'});
    EXPECT_EQ(r.open(dir / "short.apf"), -8001);
    EXPECT_EQ(r.open(dir / "missing.apf"), -2);
    EXPECT_EQ(r.open(""), -2);
    EXPECT_FALSE(isApfFile(dir / "bad.apf"));
    EXPECT_TRUE(isApfFile(dir / "f.apf"));
}

TEST(ApfWriter, AFileNeverClosedIsRemoved) {
    TempDir dir;
    {
        ApfWriter w;
        ASSERT_EQ(w.create(dir / "gone.apf"), 0);
        ASSERT_EQ(w.appendLine(kApfBlankLine, 0), 0);
    }
    EXPECT_FALSE(fs::exists(dir / "gone.apf"));
    ApfWriter w;
    EXPECT_EQ(w.create(dir / "no/such/dir.apf"), -3); // "Path not found"
    std::vector<std::uint8_t> huge(4097);
    ASSERT_EQ(w.create(dir / "x.apf"), 0);
    EXPECT_EQ(w.appendLine(huge, 0), -1002);
}
