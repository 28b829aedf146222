// A kill at any point of an append, an edit or a pack leaves tables that open, here and in
// other tools, with every record that was complete and an index that is rebuilt when it
// could be stale.
#include "faxlog/dbe_engine.h"
#include "faxlog/table_pack.h"
#include "test_support.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include "oracle_skip.h"

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

void createLog(const std::filesystem::path& table, int records) {
    DbeEngine e;
    ASSERT_NE(e.dbe_CreateNew(table, "L", kDriverFoxCdx, 3), 0);
    e.dbe_CreateField("NAME", "C", 12, 0);
    e.dbe_CreateField("N", "N", 4, 0);
    e.dbe_CreateField("NOTE", "M", 10, 0);
    ASSERT_NE(e.dbe_CreateExec(), 0);
    ASSERT_NE(e.dbe_IndexTag("", "NAMES", "UPPER(NAME)", 0, false, ".not. deleted()"), 0);
    for (int i = 1; i <= records; ++i) {
        ASSERT_TRUE(e.dbe_AppendBlank());
        e.dbe_Replace("NAME", "name" + std::to_string(i));
        e.dbe_Replace("N", std::to_string(i));
        e.dbe_ReplaceMemo("NOTE", "memo " + std::to_string(i));
    }
    ASSERT_TRUE(e.dbe_Commit());
}

// Opens the table and checks it holds `count` records whose memos read back.
void expectWhole(const std::filesystem::path& table, long count, const std::string& state) {
    DbeEngine e;
    ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0) << state << ": " << e.dbe_LastError();
    ASSERT_EQ(e.dbe_RecCount(), count) << state;
    for (long r = 1; r <= count; ++r) {
        ASSERT_TRUE(e.dbe_Go(r));
        ASSERT_EQ(e.dbe_GetTrimString("NAME"), "name" + std::to_string(r)) << state;
        ASSERT_EQ(e.dbe_GetMemo("NOTE"), "memo " + std::to_string(r)) << state << ": " << e.dbe_LastError();
    }
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    ASSERT_EQ(e.dbe_QueryRecCount(), count) << state;
}

TEST(CrashSafetyTest, AppendCutAtEveryByteLeavesAWholeTable) {
    ScratchDir dir;
    const auto table = dir / "LOG.DBF", memo = dir / "LOG.FPT", cdx = dir / "LOG.CDX";
    createLog(table, 3);
    const std::string dbf0 = readFile(table), fpt0 = readFile(memo), cdx0 = readFile(cdx);
    {
        DbeEngine e;
        ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0);
        ASSERT_TRUE(e.dbe_AppendBlank());
        e.dbe_Replace("NAME", "name4");
        e.dbe_Replace("N", "4");
        e.dbe_ReplaceMemo("NOTE", "memo 4");
        ASSERT_TRUE(e.dbe_Commit());
    }
    const std::string dbf1 = readFile(table), fpt1 = readFile(memo);
    ASSERT_GT(dbf1.size(), dbf0.size());
    ASSERT_GT(fpt1.size(), fpt0.size());

    // The write order: memo blocks, memo header, the record behind the old end mark, its
    // first byte over that mark, the header count. Every prefix of that sequence must open
    // with 3 records, and with 4 once the record's first byte is in (then it is whole, and
    // other readers see it too).
    std::vector<std::pair<std::string, std::string>> states;
    for (std::size_t k = fpt0.size(); k <= fpt1.size(); k += 7)
        states.push_back({dbf0, fpt1.substr(0, 512).replace(0, 4, fpt0.substr(0, 4)) + fpt1.substr(512, k - 512)});
    const std::string memoDone = fpt1;
    const std::size_t recordAt = dbf0.size() - 1; // where the old end mark was
    for (std::size_t k = 0; recordAt + 1 + k <= dbf1.size(); ++k) {
        std::string d = dbf0;
        d.resize(std::max(d.size(), recordAt + 1 + k));
        d.replace(recordAt + 1, k, dbf1.substr(recordAt + 1, k));
        states.push_back({d, memoDone});
    }
    const std::size_t flagState = states.size();
    std::string flagged = states.back().first;
    flagged[recordAt] = dbf1[recordAt];
    states.push_back({flagged, memoDone});
    for (std::size_t i = 0; i < states.size(); ++i) {
        writeFile(table, states[i].first);
        writeFile(memo, states[i].second);
        writeFile(cdx, cdx0);
        expectWhole(table, i == flagState ? 4 : 3, "state " + std::to_string(i));
    }
    writeFile(table, dbf1);
    writeFile(memo, fpt1);
    writeFile(cdx, cdx0); // the index was not saved yet: stale, so rebuilt
    expectWhole(table, 4, "count written");

    // Other tools read the half-appended states too: dbfread stops at the end mark, so it
    // sees the new record once its first byte is in, and then whole.
    if (!test::missingPythonModule("dbfread").empty())
        PARVANE_SKIP_WITHOUT_ORACLE(test::missingPythonModule("dbfread"));
    for (std::size_t i : {std::size_t{0}, flagState / 2, flagState - 1, flagState}) {
        writeFile(table, states[i].first);
        writeFile(memo, states[i].second);
        const auto dump = test::oracleDump("dbfread", table);
        const std::size_t records = i == flagState ? 4 : 3;
        ASSERT_EQ(dump.size(), 3u + records) << ::testing::PrintToString(dump);
        EXPECT_EQ(dump.back(), records == 4 ? "R 0 name4|4|memo 4" : "R 0 name3|3|memo 3");
    }
}

TEST(CrashSafetyTest, KilledWritersLeaveTablesThatOpenWithFreshIndexes) {
    ScratchDir dir;
    const auto table = dir / "LOG.DBF";
    createLog(table, 2);
    // A writer killed after an edit reached the table but before the index was saved.
    pid_t child = ::fork();
    if (child == 0) {
        DbeEngine e;
        if (e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx) == 0)
            ::_exit(2);
        e.dbe_Go(1);
        e.dbe_Replace("NAME", "renamed");
        e.dbe_Go(2); // leaving the record writes it
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    {
        DbeEngine e;
        ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
        e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
        EXPECT_TRUE(e.dbe_Seek("RENAMED"));
        EXPECT_EQ(e.dbe_RecNo(), 1);
        EXPECT_FALSE(e.dbe_Seek("NAME1"));
    }
    // A writer killed at a random moment of a stream of appends.
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    child = ::fork();
    if (child == 0) {
        ::close(pipefd[0]);
        DbeEngine e;
        if (e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx) == 0)
            ::_exit(2);
        for (int i = 0;; ++i) {
            e.dbe_AppendBlank();
            e.dbe_Replace("NAME", "bulk" + std::to_string(i));
            e.dbe_ReplaceMemo("NOTE", std::string(static_cast<std::size_t>(i % 300), 'm'));
            if (i % 50 == 49)
                e.dbe_Commit(); // appends are durable from here on
            if (i == 199) {
                const char c = 'x';
                (void)!::write(pipefd[1], &c, 1);
            }
        }
    }
    ::close(pipefd[1]);
    char c;
    ASSERT_EQ(::read(pipefd[0], &c, 1), 1);
    ::close(pipefd[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    DbeEngine e;
    ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
    const long n = e.dbe_RecCount();
    EXPECT_GE(n, 2 + 200);
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_EQ(e.dbe_QueryRecCount(), n); // the index was rebuilt to cover every record
    for (long r = 3; r <= n; ++r) {
        ASSERT_TRUE(e.dbe_Go(r));
        ASSERT_EQ(e.dbe_GetMemo("NOTE").size(), static_cast<std::size_t>((r - 3) % 300)) << r << e.dbe_LastError();
    }
    e.dbe_CloseAll();
    if (test::missingPythonModule("dbf").empty()) {
        EXPECT_EQ(test::oracleDump("dbf", table).size(), static_cast<std::size_t>(3 + n));
    }
}

TEST(CrashSafetyTest, AnInterruptedPackIsUndoneOrFinishedOnTheNextOpen) {
    ScratchDir dir;
    const auto table = dir / "LOG.DBF";
    createLog(table, 4);
    {
        DbeEngine e;
        ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0);
        e.dbe_Go(2);
        e.dbe_Delete();
    }
    const std::string dbfBefore = readFile(table);
    const PackPaths paths = packPathsFor(table);

    // Killed while writing the new files: nothing renamed, the old table stays.
    writeFile(paths.memoTemp, "partial memo");
    writeFile(paths.tableTemp, dbfBefore.substr(0, 40));
    {
        DbeEngine e;
        ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
        EXPECT_EQ(e.dbe_RecCount(), 4);
        ASSERT_TRUE(e.dbe_Go(4));
        EXPECT_EQ(e.dbe_GetMemo("NOTE"), "memo 4");
    }
    EXPECT_FALSE(std::filesystem::exists(paths.tableTemp));
    EXPECT_FALSE(std::filesystem::exists(paths.memoTemp));
    EXPECT_EQ(readFile(table), dbfBefore);

    // Killed between the two renames: the new memo file is in place, so the new table follows.
    const auto copy = dir / "COPY.DBF";
    std::filesystem::copy_file(table, copy);
    std::filesystem::copy_file(dir / "LOG.FPT", dir / "COPY.FPT");
    {
        DbeEngine e;
        ASSERT_NE(e.dbe_Use(copy, "C", kModeExclusive, kDriverFoxCdx), 0);
        ASSERT_TRUE(e.dbe_Pack()) << e.dbe_LastError();
    }
    writeFile(dir / "LOG.FPT", readFile(dir / "COPY.FPT"));
    writeFile(paths.tableTemp, readFile(copy));
    DbeEngine e;
    ASSERT_NE(e.dbe_Use(table, "L", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
    EXPECT_FALSE(std::filesystem::exists(paths.tableTemp));
    ASSERT_EQ(e.dbe_RecCount(), 3);
    const char* names[] = {"name1", "name3", "name4"};
    const char* memos[] = {"memo 1", "memo 3", "memo 4"};
    for (int r = 1; r <= 3; ++r) {
        ASSERT_TRUE(e.dbe_Go(r));
        EXPECT_EQ(e.dbe_GetTrimString("NAME"), names[r - 1]);
        EXPECT_EQ(e.dbe_GetMemo("NOTE"), memos[r - 1]);
    }
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_EQ(e.dbe_QueryRecCount(), 3);
}

} // namespace
} // namespace faxlog
