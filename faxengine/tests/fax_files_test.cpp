#include "faxengine/fax_files.h"

#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <unistd.h>

using namespace faxengine;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "pvn-faxfiles-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    std::size_t count() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    fs::path path_;
};

// An APF file whose page n (1-based, across all files) carries `firstTag + i` bytes.
fs::path makeApf(const fs::path& p, int pages, std::uint8_t firstTag) {
    faximage::ApfWriter w;
    EXPECT_EQ(w.create(p), 0);
    for (int i = 0; i < pages; ++i) {
        std::uint16_t flags = (i % 2) ? faximage::kApfHighResolution : 0;
        EXPECT_EQ(w.beginRawPage(flags), 0);
        std::vector<std::uint8_t> data(10 + i, static_cast<std::uint8_t>(firstTag + i));
        EXPECT_EQ(w.appendRaw(data), 0);
        EXPECT_EQ(w.endRawPage(), 0);
    }
    EXPECT_EQ(w.close("SENDER"), 0);
    return p;
}

void touch(const fs::path& p) { std::ofstream(p) << "x"; }

} // namespace

TEST(ConcatenateFaxFiles, PagesOfAllFilesInOrderWithSummedCount) {
    TempDir in, tmp;
    auto a = makeApf(in.path() / "a.apf", 1, 10);
    auto b = makeApf(in.path() / "b.apf", 2, 20);
    auto c = makeApf(in.path() / "c.apf", 3, 30);
    fs::path joined = concatenateFaxFiles({a.string(), b.string(), c.string()}, tmp.path());
    EXPECT_EQ(joined.parent_path(), tmp.path());
    EXPECT_EQ(joined.filename().string().rfind("~AP", 0), 0u);
    // The session adds the fax extension to a bare name, so the file must carry one.
    EXPECT_EQ(joined.extension(), ".APF");

    faximage::ApfReader r;
    ASSERT_EQ(r.open(joined), 0);
    EXPECT_EQ(r.pageCount(), 6);
    EXPECT_EQ(r.header().stationId(), "SENDER");
    const std::uint8_t tags[6] = {10, 20, 21, 30, 31, 32};
    const std::size_t sizes[6] = {10, 10, 11, 10, 11, 12};
    for (int n = 1; n <= 6; ++n) {
        faximage::ApfPageInfo info;
        ASSERT_EQ(r.locatePage(n, info), 0) << n;
        std::vector<std::uint8_t> data;
        ASSERT_EQ(r.readPageData(info, data), 0) << n;
        EXPECT_EQ(data.size(), sizes[n - 1]) << n;
        EXPECT_EQ(data.front(), tags[n - 1]) << n;
        EXPECT_EQ(info.header.highResolution(), n == 3 || n == 5) << n;
    }
}

TEST(ConcatenateFaxFiles, BadInputRaisesAndLeavesNoTemporaryFile) {
    TempDir in, tmp;
    auto a = makeApf(in.path() / "a.apf", 1, 1);
    auto text = in.path() / "note.txt";
    std::ofstream(text) << "this is not a fax file at all, but long enough for a header......................";
    auto shortFile = in.path() / "short.apf";
    touch(shortFile);

    EXPECT_THROW(concatenateFaxFiles({a.string(), text.string()}, tmp.path()), faximage::EFaxBadFormat);
    EXPECT_THROW(concatenateFaxFiles({text.string(), a.string()}, tmp.path()), faximage::EFaxBadFormat);
    EXPECT_THROW(concatenateFaxFiles({a.string(), shortFile.string()}, tmp.path()), faximage::EFaxBadFormat);
    try {
        concatenateFaxFiles({a.string(), (in.path() / "missing.apf").string()}, tmp.path());
        ADD_FAILURE() << "no exception";
    } catch (const faximage::EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2); // "File not found"
    }
    EXPECT_EQ(tmp.count(), 0u);
}

TEST(ReceivedFaxName, LowestFreeNumberInTheDestination) {
    TempDir d;
    std::string dir = withTrailingSeparator(d.path().string());
    EXPECT_EQ(receivedFaxName(1, dir, "APF"), dir + "FAX0001.APF");
    touch(d.path() / "FAX0001.APF");
    touch(d.path() / "FAX0002.APF");
    EXPECT_EQ(receivedFaxName(1, dir, "APF"), dir + "FAX0003.APF");
    // Files renamed to lower case still count as taken.
    touch(d.path() / "fax0003.apf");
    EXPECT_EQ(receivedFaxName(1, dir, "APF"), dir + "FAX0004.APF");
    EXPECT_EQ(receivedFaxName(1, dir, "TIF"), dir + "FAX0001.TIF");
    EXPECT_EQ(receivedFaxName(7, dir, "APF"), dir + "noname.apf");
}

TEST(ReceivedFaxName, MonthDayModeAndEmptyDestination) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = 12;
    auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    TempDir d;
    std::string dir = withTrailingSeparator(d.path().string());
    EXPECT_EQ(receivedFaxName(2, dir, "APF", when), dir + "12060001.APF");
    touch(d.path() / "12060001.APF");
    EXPECT_EQ(receivedFaxName(2, dir, "APF", when), dir + "12060002.APF");

    // An empty destination is the current directory and gives a bare name.
    auto old = fs::current_path();
    fs::current_path(d.path());
    touch("FAX0001.APF");
    EXPECT_EQ(receivedFaxName(1, "", "APF"), "FAX0002.APF");
    fs::current_path(old);
}

TEST(ReceivedFaxName, AllNumbersTaken) {
    TempDir d;
    std::string dir = withTrailingSeparator(d.path().string());
    for (int n = 1; n <= 9999; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "FAX%04d.APF", n);
        std::ofstream(d.path() / name);
    }
    EXPECT_EQ(receivedFaxName(1, dir, "APF"), dir + "NONAME.APF");
    EXPECT_EQ(withTrailingSeparator(""), "");
    EXPECT_EQ(withTrailingSeparator("/a/b"), "/a/b/");
    EXPECT_EQ(withTrailingSeparator("/a/b/"), "/a/b/");
}
