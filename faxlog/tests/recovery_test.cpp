// Nothing of the log is lost to a damaged file: records beyond a short header count come
// back (as other DBF readers see them), and an index file that cannot be used is rebuilt
// with the tags the log defines.
#include "faxlog/log_records.h"
#include "faxlog/log_tables.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>

namespace faxlog {
namespace {

using test::ScratchDir;

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::uint32_t headerCount(const std::string& dbf) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = n << 8 | static_cast<unsigned char>(dbf[4 + static_cast<std::size_t>(i)]);
    return n;
}

void setHeaderCount(std::string& dbf, std::uint32_t n) {
    for (std::size_t i = 0; i < 4; ++i)
        dbf[4 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
}

class RecoveryTest : public ::testing::Test {
protected:
    ScratchDir dir;
    DbeEngine engine;
    TDbeEnv env{engine};

    void SetUp() override {
        env.start();
        env.setDeleted(true);
    }

    // A sent log of `n` faxes with the full tag set, closed.
    void makeSentLog(int n) {
        TDbeTable t(engine);
        std::string err;
        ASSERT_TRUE(openLogTable(t, LogTableKind::Sent, dir.path(), &err)) << err;
        for (const TagDef& tag : logTableDef(LogTableKind::Sent).rebuildTags)
            t.indexTag(tag.name, tag.key, tag.descending, tag.condition);
        for (int i = 1; i <= n; ++i)
            appendSentFax(t, {"To " + std::to_string(i), "Fax " + std::to_string(i), "555", "", ""});
        t.close();
    }

    std::vector<std::string> subjects(TDbeTable& t) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < t.rowCount(); ++i) {
            t.go(t.rowRecNo(i));
            out.push_back(t.getTrimString("SUBJECT"));
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(RecoveryTest, RecordsBeyondAShortCountAreRecoveredAndReported) {
    makeSentLog(5);
    const auto table = dir / "PVN.DBF";
    std::string bytes = readFile(table);
    setHeaderCount(bytes, 3);
    // A sixth record cut short, as a killed append leaves it, stays out.
    bytes.insert(bytes.size() - 1, std::string(" Fax 6 cut"));
    writeFile(table, bytes);
    const std::vector<std::string> all = {"Fax 1", "Fax 2", "Fax 3", "Fax 4", "Fax 5"};

    // A reader recovers them without writing anything.
    {
        TDbeTable t(engine);
        std::string err;
        std::vector<std::string> notices;
        ASSERT_TRUE(openLogTableForReading(t, LogTableKind::Sent, dir.path(), &err, &notices)) << err;
        EXPECT_EQ(subjects(t), all);
        ASSERT_FALSE(notices.empty());
        EXPECT_NE(notices[0].find("PVN.DBF"), std::string::npos) << notices[0];
        EXPECT_NE(notices[0].find("2 beyond the count were recovered"), std::string::npos) << notices[0];
    }
    EXPECT_EQ(headerCount(readFile(table)), 3u);

    // The program's open takes them in for good: the header counts them and the index,
    // saved for three records, is rebuilt with all five.
    {
        TDbeTable t(engine);
        std::string err;
        std::vector<std::string> notices;
        ASSERT_TRUE(openLogTable(t, LogTableKind::Sent, dir.path(), &err, &notices)) << err;
        EXPECT_EQ(subjects(t), all);
        EXPECT_EQ(t.recCount(), 5);
        EXPECT_GE(notices.size(), 2u);
        EXPECT_TRUE(hasRebuildTags(t));
        appendSentFax(t, {"To 7", "Fax 7", "555", "", ""});
        t.close();
    }
    EXPECT_EQ(headerCount(readFile(table)), 6u);
    {
        TDbeTable t(engine);
        std::vector<std::string> notices;
        ASSERT_TRUE(openLogTable(t, LogTableKind::Sent, dir.path(), nullptr, &notices));
        EXPECT_EQ(t.rowCount(), 6u);
        EXPECT_TRUE(notices.empty()) << notices[0];
        t.close();
    }

    // Another DBF reader agrees on what the file holds.
    ASSERT_EQ(test::missingPythonModule("dbfread"), "");
    const auto dump = test::oracleDump("dbfread", table);
    std::size_t records = 0;
    for (const auto& line : dump)
        records += line.rfind("R ", 0) == 0;
    EXPECT_EQ(records, 6u) << ::testing::PrintToString(dump);
}

// Offset of a tag header whose key expression is `key`, in a file we wrote.
std::size_t tagHeaderOf(const std::string& cdx, const std::string& key) {
    for (std::size_t at = 0; at + 1024 <= cdx.size(); at += 512)
        if (cdx.compare(at + 512, key.size() + 1, key + std::string(1, '\0')) == 0)
            return at;
    return std::string::npos;
}

TEST_F(RecoveryTest, ADamagedIndexIsRebuiltWithTheTagsTheLogDefines) {
    makeSentLog(3);
    const auto table = dir / "PVN.DBF", cdx = dir / "PVN.CDX";
    {
        // A tag other writers could have added: a logical key.
        TDbeTable t(engine);
        ASSERT_TRUE(openLogTable(t, LogTableKind::Sent, dir.path()));
        t.indexTag("SENTFLAG", "SENT", false, "");
        t.close();
    }
    const std::string good = readFile(cdx), dbf = readFile(table);
    // The table changed after the index was saved, so opening rebuilds the tags it reads.
    std::string stale = dbf;
    stale[16] = static_cast<char>(stale[16] + 1);

    std::string badName = good;
    // In the tag directory (not a key expression); no other name shares its first letter.
    auto name = badName.find("RECIPIENT");
    while (name != std::string::npos && badName[name - 1] == '(')
        name = badName.find("RECIPIENT", name + 1);
    ASSERT_NE(name, std::string::npos);
    badName[name + 3] = '#';
    std::string longLogical = good;
    const auto header = tagHeaderOf(longLogical, "SENT");
    ASSERT_NE(header, std::string::npos);
    longLogical[header + 12] = 2;

    // A key expression that fails on every record (same length as the one it replaces).
    std::string badKey = good;
    const auto key = badKey.find("UPPER(SUBJECT)");
    ASSERT_NE(key, std::string::npos);
    badKey.replace(key, 14, "STR(PAGES,0-1)");

    for (const auto& [what, damaged] : {std::pair{"tag name", badName}, std::pair{"logical key", longLogical},
                                        std::pair{"key expression", badKey}}) {
        for (const std::string& table0 : {dbf, stale}) {
            writeFile(table, table0);
            writeFile(cdx, damaged);
            TDbeTable t(engine);
            std::string err;
            std::vector<std::string> notices;
            ASSERT_TRUE(openLogTable(t, LogTableKind::Sent, dir.path(), &err, &notices)) << what << ": " << err;
            ASSERT_FALSE(notices.empty()) << what;
            EXPECT_NE(notices[0].find("PVN.CDX"), std::string::npos) << notices[0];
            std::vector<std::string> tags;
            for (int i = 1; !t.tagName(i).empty(); ++i)
                tags.push_back(t.tagName(i));
            EXPECT_EQ(tags, (std::vector<std::string>{"DATESENT", "DATEND", "SUBJECT", "RECIPIENT"})) << what;
            EXPECT_EQ(t.rowCount(), 3u) << what;
            t.close();
            // The file on disk is whole again.
            TDbeTable again(engine);
            std::vector<std::string> later;
            ASSERT_TRUE(openLogTable(again, LogTableKind::Sent, dir.path(), nullptr, &later));
            EXPECT_TRUE(later.empty()) << later[0];
            again.close();
        }
    }
}

} // namespace
} // namespace faxlog
