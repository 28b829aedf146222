// Checks our files against an independent reader and writer: Perl XBase (index_dump and
// XBase::Index), which reads tags in file order and can insert into and delete from them.
#include "cdx_test_support.h"

#include <algorithm>
#include <sstream>
#include "oracle_skip.h"

namespace faxlog::cdx::testing {
namespace {

struct Dumped {
    std::string key;
    uint32_t recno;
    bool operator==(const Dumped&) const = default;
};

void PrintTo(const Dumped& d, std::ostream* os) { *os << '"' << d.key << "\"#" << d.recno; }

bool haveOracle() {
    int status = 0;
    run("command -v index_dump >/dev/null 2>&1", &status);
    return status == 0;
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// index_dump prints "key recno" per entry; keys lose their padding.
std::vector<Dumped> dump(const std::filesystem::path& p, const std::string& tag, const std::string& type) {
    int status = 0;
    const std::string out = run("index_dump --type=" + type + " " + quoted(p) + " " + tag + " 2>/dev/null", &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<Dumped> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.rfind(' ');
        if (space == std::string::npos) {
            ADD_FAILURE() << "unexpected line: " << line;
            continue;
        }
        rows.push_back({line.substr(0, space), uint32_t(std::stoul(line.substr(space + 1)))});
    }
    return rows;
}

std::vector<Dumped> asCharacters(const CdxTag& tag) {
    std::vector<Dumped> rows;
    for (const KeyEntry& e : tag) {
        const size_t end = e.key.find_last_not_of(' ');
        rows.push_back({end == std::string::npos ? "" : e.key.substr(0, end + 1), e.recno});
    }
    return rows;
}

// Perl prints numbers as %.15g; the values used here are exact in that form.
std::vector<Dumped> asNumbers(const CdxTag& tag) {
    std::vector<Dumped> rows;
    for (const KeyEntry& e : tag) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", decodeNumericKey(e.key));
        rows.push_back({buf, e.recno});
    }
    return rows;
}

class CdxOracle : public ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        if (!haveOracle()) PARVANE_SKIP_WITHOUT_ORACLE("index_dump (libdbd-xbase-perl) is not installed");
    }
};

TEST_F(CdxOracle, ListsTagsKeysAndRecordNumbersOfOurFiles) {
    const auto path = file("pvn.cdx");
    std::vector<KeyEntry> small, large, numbers, dates;
    const std::vector<std::string> names = {"SMITH", "DE LA CRUZ", "O'NEIL", "SMITH", "", "ABBOTT & CO", "SMITHSON"};
    for (uint32_t i = 1; i <= 12; ++i) small.push_back({encodeCharacterKey(names[i % names.size()], 35), i});
    for (uint32_t i = 1; i <= 5000; ++i) {
        // Sent dates and times as DTOS(DATESENT)+TIMESENT, with many equal stamps.
        char key[14];
        std::snprintf(key, sizeof key, "2024%02u%02u%02u:%02u", 1 + i % 12, 1 + i % 28, i % 24, (i * 7) % 60 / 10 * 10);
        large.push_back({key, 70000 + i * 3});
        numbers.push_back({encodeNumericKey(double(int(i % 41) - 20) / 4), i});
        dates.push_back({encodeDateKey(i % 9 == 0 ? 0 : 2460000 + int(i % 400)), i});
    }
    {
        auto index = CdxIndex::create(path);
        index.createTag({"NAME", "UPPER(NAME)", ".not. deleted()", false, false, 'C', 35}, small);
        index.createTag({"DATESENT", "DTOS(DATESENT)+TIMESENT", ".not. deleted()", true, false, 'C', 13}, large);
        index.createTag({"DATEND", "DTOS(DATESENT)+TIMESENT", ".not. deleted()", false, false, 'C', 13}, large);
        index.createTag({"PAGES", "PAGES", "", false, false, 'N', 8}, numbers);
        index.createTag({"DATEREC", "DATEREC", "", true, false, 'D', 8}, dates);
        index.flush();
    }
    auto index = CdxIndex::open(path);

    std::vector<std::string> listed;
    std::istringstream lines(run("index_dump --type=char " + quoted(path)));
    for (std::string line; std::getline(lines, line);) listed.push_back(line);
    auto ours = index.tagNames();
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(listed, ours);

    EXPECT_EQ(dump(path, "NAME", "char"), asCharacters(*index.tag("NAME")));
    // Another reader sees every tag's keys ascending: a descending tag is walked backwards.
    auto reversed = [](std::vector<Dumped> v) { std::reverse(v.begin(), v.end()); return v; };
    const auto descending = dump(path, "DATESENT", "char");
    EXPECT_EQ(descending.size(), 5000u);
    EXPECT_EQ(descending, reversed(asCharacters(*index.tag("DATESENT"))));
    EXPECT_TRUE(std::is_sorted(descending.begin(), descending.end(),
                               [](const Dumped& a, const Dumped& b) { return a.key < b.key; }));
    EXPECT_EQ(dump(path, "DATEND", "char"), asCharacters(*index.tag("DATEND")));
    EXPECT_EQ(dump(path, "PAGES", "num"), asNumbers(*index.tag("PAGES")));
    // Dates dump as their Julian day numbers.
    EXPECT_EQ(dump(path, "DATEREC", "num"), reversed(asNumbers(*index.tag("DATEREC"))));
    // Blank dates are day 0: first in the file, last when the descending tag is walked.
    EXPECT_EQ(dump(path, "DATEREC", "num").front(), (Dumped{"0", 9}));
    EXPECT_EQ(index.tag("DATEREC")->info().descending, true);
    EXPECT_EQ(std::prev(index.tag("DATEREC")->end())->recno, 9u);
}

// The other direction: Perl XBase inserts into and deletes from one of our tags, splitting
// and rewriting pages its own way, and we open the result.
TEST_F(CdxOracle, OpensFilesChangedByAnotherWriter) {
    const auto path = file("edited.cdx");
    std::vector<KeyEntry> entries;
    for (uint32_t i = 1; i <= 300; ++i) entries.push_back({encodeCharacterKey("K" + std::to_string(i * 37 % 1000), 12), i});
    {
        auto index = CdxIndex::create(path);
        index.createTag({"NAME", "UPPER(NAME)", "", false, false, 'C', 12}, entries);
        index.createTag({"OTHER", "OTHER", "", false, false, 'N', 8}, {{encodeNumericKey(1), 1}});
        index.setStamp(77);
        index.flush();
    }
    {
        std::ofstream script(file("edit.pl"));
        script << "use XBase::Index;\n"
                  "my $i = XBase::Index->new(shift, tag => 'NAME', type => 'char') or die XBase::Index->errstr;\n"
                  "for my $n (1..500) { $i->insert(sprintf('P%05d', $n), 5000 + $n); }\n"
                  "for my $n (1..50) { $i->delete('K' . ($n * 37 % 1000), $n) or die \"delete $n\"; }\n";
    }
    int status = 0;
    const std::string out = run("perl " + quoted(file("edit.pl")) + " " + quoted(path) + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;

    std::vector<KeyEntry> expected(entries.begin() + 50, entries.end());
    for (uint32_t n = 1; n <= 500; ++n) {
        char key[8];
        std::snprintf(key, sizeof key, "P%05u", n);
        expected.push_back({encodeCharacterKey(key, 12), 5000 + n});
    }
    std::sort(expected.begin(), expected.end(), KeyOrder{});
    auto index = CdxIndex::open(path);
    EXPECT_EQ(walk(*index.tag("NAME")), expected);
    EXPECT_EQ(index.tag("OTHER")->size(), 1u);
    EXPECT_EQ(index.stamp(), 77u);
    EXPECT_EQ(dump(path, "NAME", "char"), asCharacters(*index.tag("NAME")));
}

}  // namespace
}  // namespace faxlog::cdx::testing
