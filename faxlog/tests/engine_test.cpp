// The engine's work areas: order, query, deleted filter, seek and scope, tags kept right
// through edits, deletes, recalls and pack (checked with index_dump), exclusive opening,
// and indexes that no longer match their table.
#include "faxlog/dbe_engine.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace faxlog {
namespace {

using test::ScratchDir;

class EngineTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::filesystem::path table = dir / "PEOPLE.DBF";
    std::filesystem::path cdx = dir / "PEOPLE.CDX";
    DbeEngine e;

    void SetUp() override {
        e.dbe_SetDeleted(true);
        ASSERT_NE(e.dbe_CreateNew(table, "P", kDriverFoxCdx, 4), 0);
        e.dbe_CreateField("NAME", "C", 10, 0);
        e.dbe_CreateField("DAY", "D", 8, 0);
        e.dbe_CreateField("TIME", "C", 5, 0);
        e.dbe_CreateField("NOTE", "M", 10, 0);
        ASSERT_NE(e.dbe_CreateExec(), 0) << e.dbe_LastError();
        // recno:        1        2        3         4        5
        const char* names[] = {"delta", "Alpha", "charlie", "bravo", "Echo"};
        const char* days[] = {"20240105", "20240103", "20240105", "", "20240101"};
        const char* times[] = {"10:00", "09:00", "08:30", "", "23:59"};
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(e.dbe_AppendBlank());
            e.dbe_Replace("NAME", names[i]);
            e.dbe_Replace("DAY", days[i]);
            e.dbe_Replace("TIME", times[i]);
        }
        ASSERT_NE(e.dbe_IndexTag("", "NAMES", "UPPER(NAME)", 0, false, ".not. deleted()"), 0) << e.dbe_LastError();
        ASSERT_NE(e.dbe_IndexTag("", "WHEN", "DTOS(DAY)+TIME", 0, true, ".not. deleted()"), 0);
        ASSERT_NE(e.dbe_IndexTag("", "DAYS", "DAY", 0, false, ""), 0);
        ASSERT_TRUE(e.dbe_Commit());
    }

    // Record numbers in the current order and view, by navigation.
    std::vector<long> walk() {
        std::vector<long> r;
        e.dbe_GoTop();
        while (!e.dbe_Eof()) {
            r.push_back(e.dbe_RecNo());
            e.dbe_Skip(1);
        }
        return r;
    }
    std::vector<long> walkBack() {
        std::vector<long> r;
        e.dbe_GoBottom();
        while (!e.dbe_Bof()) {
            r.push_back(e.dbe_RecNo());
            e.dbe_Skip(-1);
        }
        return r;
    }
    std::vector<long> rows() {
        std::vector<long> r;
        WorkArea* a = e.currentArea();
        for (std::size_t i = 0; i < a->visibleCount(); ++i)
            r.push_back(a->visibleRecno(i));
        return r;
    }
};

using V = std::vector<long>;
using S = std::vector<std::string>;

TEST_F(EngineTest, OrdersWalkBothWaysAndAgreeWithTheRowMapping) {
    e.dbe_SetOrder(0);
    EXPECT_EQ(walk(), (V{1, 2, 3, 4, 5}));
    e.dbe_SetOrder(e.dbe_TagArea("names"));
    EXPECT_EQ(walk(), (V{2, 4, 3, 1, 5}));
    EXPECT_EQ(walkBack(), (V{5, 1, 3, 4, 2}));
    EXPECT_EQ(rows(), (V{2, 4, 3, 1, 5}));
    // Descending: newest first.
    e.dbe_SetOrder(e.dbe_TagArea("WHEN"));
    EXPECT_EQ(walk(), (V{1, 3, 2, 5, 4}));
    EXPECT_EQ(e.dbe_TagName(2), "WHEN");
    EXPECT_EQ(e.dbe_TagArea("nosuch"), 0);
    EXPECT_EQ(e.dbe_IndexOrd(), 2);
    // Past the end: the phantom record count+1; before the start: BOF on the first record.
    e.dbe_GoBottom();
    e.dbe_Skip(1);
    EXPECT_TRUE(e.dbe_Eof());
    EXPECT_EQ(e.dbe_RecNo(), 6);
    e.dbe_Skip(-1);
    EXPECT_EQ(e.dbe_RecNo(), 4);
    e.dbe_GoTop();
    e.dbe_Skip(-1);
    EXPECT_TRUE(e.dbe_Bof());
    EXPECT_EQ(e.dbe_RecNo(), 1);
}

TEST_F(EngineTest, QueryAndDeletedFilterHideRecordsFromNavigationAndCounts) {
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    ASSERT_TRUE(e.dbe_Query(".not. deleted()"));
    EXPECT_EQ(e.dbe_DBFilter(), ".not. deleted()");
    ASSERT_TRUE(e.dbe_Go(3));
    ASSERT_TRUE(e.dbe_Delete());
    EXPECT_EQ(e.dbe_QueryRecCount(), 4);
    EXPECT_EQ(walk(), (V{2, 4, 1, 5}));
    EXPECT_EQ(e.dbe_RecCount(), 5); // the file still holds it
    // From a hidden record, skipping finds its neighbours in the order.
    ASSERT_TRUE(e.dbe_Go(3));
    e.dbe_Skip(1);
    EXPECT_EQ(e.dbe_RecNo(), 1);
    ASSERT_TRUE(e.dbe_Go(3));
    e.dbe_Skip(-1);
    EXPECT_EQ(e.dbe_RecNo(), 4);

    ASSERT_TRUE(e.dbe_Query("DAY >= {01/03/2024} .and. .not. EMPTY(DAY)"));
    EXPECT_EQ(walk(), (V{2, 1}));
    EXPECT_EQ(e.dbe_QueryRecCount(), 2);
    // The deleted switch off: a query that does not mention DELETED() shows marked records
    // (in natural order: the tags leave them out).
    e.dbe_SetDeleted(false);
    EXPECT_EQ(walk(), (V{2, 1}));
    e.dbe_SetOrder(0);
    EXPECT_EQ(walk(), (V{1, 2, 3}));
    e.dbe_SetDeleted(true);
    ASSERT_TRUE(e.dbe_Query(""));
    EXPECT_EQ(e.dbe_DBFilter(), "");
    EXPECT_EQ(e.dbe_QueryRecCount(), 4);

    // A bad query is an error and leaves the view as it was; nothing "matches everything".
    ASSERT_TRUE(e.dbe_Query("NAME = 'Alpha'"));
    EXPECT_FALSE(e.dbe_Query("NAME = "));
    EXPECT_NE(e.dbe_LastError().find("NAME = "), std::string::npos);
    EXPECT_EQ(e.dbe_DBFilter(), "NAME = 'Alpha'");
    EXPECT_EQ(walk(), (V{2}));
    EXPECT_FALSE(e.dbe_Query("NAME"));
    EXPECT_NE(e.dbe_LastError().find("must be logical"), std::string::npos);
    ASSERT_TRUE(e.dbe_Go(1));
    EXPECT_FALSE(e.dbe_EvalLogical("NOPE = 1"));
    EXPECT_NE(e.dbe_LastError().find("unknown field NOPE"), std::string::npos);
    EXPECT_TRUE(e.dbe_EvalLogical("UPPER(NAME) = 'DELTA'"));
}

TEST_F(EngineTest, SeekAndScopeUseTheActiveTag) {
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_TRUE(e.dbe_Seek("CH"));
    EXPECT_EQ(e.dbe_RecNo(), 3);
    EXPECT_FALSE(e.dbe_Seek("CX"));
    EXPECT_TRUE(e.dbe_Eof());
    ASSERT_TRUE(e.dbe_Go(3));
    ASSERT_TRUE(e.dbe_Delete());
    EXPECT_FALSE(e.dbe_Seek("CHARLIE")); // deleted records leave the tag
    e.dbe_SetOrder(e.dbe_TagArea("DAYS"));
    EXPECT_TRUE(e.dbe_Seek("20240105"));
    EXPECT_EQ(e.dbe_RecNo(), 1);
    e.dbe_SetOrder(e.dbe_TagArea("WHEN"));
    ASSERT_TRUE(e.dbe_SetScope(std::string("20240105"), std::string("20240103")));
    EXPECT_EQ(walk(), (V{1, 2}));
    e.dbe_SetOrder(0);
    EXPECT_FALSE(e.dbe_Seek("x"));
    EXPECT_NE(e.dbe_LastError().find("index order"), std::string::npos);
}

TEST_F(EngineTest, TagsFollowEditsDeletesRecallsAndPackAsIndexDumpSeesThem) {
    SKIP_WITHOUT(test::missingIndexDump());
    EXPECT_EQ(test::indexDump(cdx, "NAMES"), (S{"ALPHA 2", "BRAVO 4", "CHARLIE 3", "DELTA 1", "ECHO 5"}));
    // The file keeps a descending tag's keys ascending; the engine walks it backwards.
    EXPECT_EQ(test::indexDump(cdx, "WHEN"),
              (S{" 4", "2024010123:59 5", "2024010309:00 2", "2024010508:30 3", "2024010510:00 1"}));
    // A key change moves the entry; a delete removes it; a recall brings it back; an
    // append adds one.
    ASSERT_TRUE(e.dbe_Go(1));
    ASSERT_TRUE(e.dbe_Replace("NAME", "Aardvark"));
    ASSERT_TRUE(e.dbe_Go(2));
    ASSERT_TRUE(e.dbe_Delete());
    ASSERT_TRUE(e.dbe_Go(3));
    ASSERT_TRUE(e.dbe_Delete());
    ASSERT_TRUE(e.dbe_Recall());
    ASSERT_TRUE(e.dbe_Go(4));
    ASSERT_TRUE(e.dbe_Delete());
    ASSERT_TRUE(e.dbe_AppendBlank());
    ASSERT_TRUE(e.dbe_Replace("NAME", "foxtrot"));
    ASSERT_TRUE(e.dbe_Replace("DAY", "20231231"));
    ASSERT_TRUE(e.dbe_Commit());
    EXPECT_EQ(test::indexDump(cdx, "NAMES"), (S{"AARDVARK 1", "CHARLIE 3", "ECHO 5", "FOXTROT 6"}));
    EXPECT_EQ(test::indexDump(cdx, "WHEN"),
              (S{"20231231 6", "2024010123:59 5", "2024010508:30 3", "2024010510:00 1"}));
    // Pack renumbers: 1 3 5 6 become 1 2 3 4.
    ASSERT_TRUE(e.dbe_Pack()) << e.dbe_LastError();
    EXPECT_EQ(e.dbe_RecCount(), 4);
    EXPECT_EQ(test::indexDump(cdx, "NAMES"), (S{"AARDVARK 1", "CHARLIE 2", "ECHO 3", "FOXTROT 4"}));
    EXPECT_EQ(test::indexDump(cdx, "WHEN"),
              (S{"20231231 4", "2024010123:59 3", "2024010508:30 2", "2024010510:00 1"}));
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_EQ(walk(), (V{1, 2, 3, 4}));
}

TEST_F(EngineTest, PackKeepsMemosOfTheRecordsItKeeps) {
    ASSERT_TRUE(e.dbe_Go(2));
    ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", std::string(200, 'a')));
    ASSERT_TRUE(e.dbe_Go(3));
    ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", "third"));
    ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", "third, edited"));
    ASSERT_TRUE(e.dbe_Go(1));
    ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", std::string(5000, 'x')));
    ASSERT_TRUE(e.dbe_Delete());
    const auto before = std::filesystem::file_size(dir / "PEOPLE.FPT");
    ASSERT_TRUE(e.dbe_Pack());
    EXPECT_LT(std::filesystem::file_size(dir / "PEOPLE.FPT"), before);
    e.dbe_SetOrder(0);
    ASSERT_TRUE(e.dbe_Go(1));
    EXPECT_EQ(e.dbe_GetTrimString("NAME"), "Alpha");
    EXPECT_EQ(e.dbe_GetMemo("NOTE"), std::string(200, 'a'));
    ASSERT_TRUE(e.dbe_Go(2));
    EXPECT_EQ(e.dbe_GetMemo("NOTE"), "third, edited");
    ASSERT_TRUE(e.dbe_Go(3));
    EXPECT_EQ(e.dbe_GetMemo("NOTE"), "");
}

TEST_F(EngineTest, ExclusiveOpenKeepsOtherOpenersOut) {
    e.dbe_CloseAll();
    ASSERT_NE(e.dbe_Use(table, "P", kModeExclusive, kDriverFoxCdx), 0);
    DbeEngine other;
    for (int mode : {kModeExclusive, kModeShared, kModeReadOnly}) {
        EXPECT_EQ(other.dbe_Use(table, "Q", mode, kDriverFoxCdx), 0) << mode;
        EXPECT_NE(other.dbe_LastError().find("PEOPLE.DBF"), std::string::npos);
    }
    // The same engine cannot open it twice either, even under another alias.
    EXPECT_EQ(e.dbe_Use(table, "P2", kModeExclusive, kDriverFoxCdx), 0);
    // Nor can another process.
    const pid_t child = ::fork();
    if (child == 0) {
        DbeEngine inChild;
        ::_exit(inChild.dbe_Use(table, "C", kModeShared, kDriverFoxCdx) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a second process opened the table";
    e.dbe_CloseAll();
    // Shared openers share; an exclusive one is then refused.
    ASSERT_NE(e.dbe_Use(table, "P", kModeShared, kDriverFoxCdx), 0);
    EXPECT_NE(other.dbe_Use(table, "Q", kModeReadOnly, kDriverFoxCdx), 0);
    DbeEngine third;
    EXPECT_EQ(third.dbe_Use(table, "R", kModeExclusive, kDriverFoxCdx), 0);
    // Record locks exclude between shared openers.
    ASSERT_TRUE(e.dbe_Rlock(2));
    DbeEngine fourth;
    ASSERT_NE(fourth.dbe_Use(table, "S", kModeShared, kDriverFoxCdx), 0);
    EXPECT_FALSE(fourth.dbe_Rlock(2));
    EXPECT_TRUE(fourth.dbe_Rlock(3));
    e.dbe_Unlock(2);
    EXPECT_TRUE(fourth.dbe_Rlock(2));
    // Pack needs exclusive use.
    EXPECT_FALSE(e.dbe_Pack());
}

TEST_F(EngineTest, AnIndexThatNoLongerMatchesItsTableIsRebuilt) {
    e.dbe_CloseAll();
    const auto savedCdx = dir / "saved.cdx";
    std::filesystem::copy_file(cdx, savedCdx);
    // Another program renames record 5 behind the index's back.
    {
        std::fstream f(table, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(8);
        unsigned char h[4];
        f.read(reinterpret_cast<char*>(h), 4);
        const int headerLength = h[0] | h[1] << 8, recordLength = h[2] | h[3] << 8;
        f.seekp(headerLength + 4 * recordLength + 1);
        f.write("Zulu      ", 10);
    }
    ASSERT_NE(e.dbe_Use(table, "P", kModeExclusive, kDriverFoxCdx), 0);
    EXPECT_NE(e.dbe_LastError().find("rebuilt"), std::string::npos) << e.dbe_LastError();
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_TRUE(e.dbe_Seek("ZULU"));
    EXPECT_EQ(e.dbe_RecNo(), 5);
    EXPECT_FALSE(e.dbe_Seek("ECHO"));
    // An index from before an append: stale, so rebuilt with the new record.
    ASSERT_TRUE(e.dbe_AppendBlank());
    ASSERT_TRUE(e.dbe_Replace("NAME", "Golf"));
    e.dbe_CloseAll();
    std::filesystem::copy_file(savedCdx, cdx, std::filesystem::copy_options::overwrite_existing);
    ASSERT_NE(e.dbe_Use(table, "P", kModeExclusive, kDriverFoxCdx), 0);
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    EXPECT_TRUE(e.dbe_Seek("GOLF"));
    EXPECT_EQ(e.dbe_RecNo(), 6);
    // An index file that is not one opens the table without tags.
    e.dbe_CloseAll();
    std::ofstream(cdx, std::ios::binary | std::ios::trunc) << std::string(1000, '\x5A');
    ASSERT_NE(e.dbe_Use(table, "P", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
    EXPECT_NE(e.dbe_LastError().find("index ignored"), std::string::npos);
    EXPECT_EQ(e.dbe_TagArea("NAMES"), 0);
    EXPECT_EQ(e.dbe_RecCount(), 6);
    // A clean close and reopen trusts the index: no repair note.
    ASSERT_NE(e.dbe_IndexTag("", "NAMES", "UPPER(NAME)", 0, false, ".not. deleted()"), 0);
    e.dbe_CloseAll();
    ASSERT_NE(e.dbe_Use(table, "P", kModeExclusive, kDriverFoxCdx), 0);
    EXPECT_EQ(e.dbe_LastError(), "");
    EXPECT_EQ(e.dbe_TagArea("NAMES"), 1);
}

TEST_F(EngineTest, NaturalOrderSkipsHiddenRecordsAndRefreshFindsANeighbour) {
    e.dbe_SetOrder(0);
    for (long r : {1L, 3L, 5L}) {
        ASSERT_TRUE(e.dbe_Go(r));
        ASSERT_TRUE(e.dbe_Delete());
    }
    e.dbe_SetDeleted(false);
    EXPECT_EQ(walk(), (V{1, 2, 3, 4, 5}));
    e.dbe_SetDeleted(true);
    EXPECT_EQ(walk(), (V{2, 4}));
    EXPECT_EQ(walkBack(), (V{4, 2}));
    ASSERT_TRUE(e.dbe_Go(3));
    e.dbe_Skip(-1);
    EXPECT_EQ(e.dbe_RecNo(), 2);
    e.dbe_Skip(-1);
    EXPECT_TRUE(e.dbe_Bof());
    EXPECT_EQ(e.dbe_RecNo(), 2);
    // Deleting the current record, then refreshing, moves to the next one, else back.
    ASSERT_TRUE(e.dbe_Go(2));
    ASSERT_TRUE(e.dbe_Delete());
    e.dbe_Refresh();
    EXPECT_EQ(e.dbe_RecNo(), 4);
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    ASSERT_TRUE(e.dbe_Go(4));
    ASSERT_TRUE(e.dbe_Delete());
    e.dbe_Refresh();
    EXPECT_TRUE(e.dbe_Eof()); // nothing left to show
    EXPECT_EQ(e.dbe_QueryRecCount(), 0);
}

TEST_F(EngineTest, RawRecordsGoInAndOutWithTheirKeys) {
    e.dbe_SetOrder(e.dbe_TagArea("NAMES"));
    ASSERT_TRUE(e.dbe_Go(5));
    std::string rec = e.dbe_GetRecord();
    ASSERT_EQ(rec.size(), 1u + 10 + 8 + 5 + 10);
    EXPECT_EQ(rec.substr(1, 10), "Echo      ");
    rec.replace(1, 10, "Able      ");
    ASSERT_TRUE(e.dbe_PutRecord(rec));
    EXPECT_FALSE(e.dbe_PutRecord("short"));
    ASSERT_TRUE(e.dbe_Commit());
    EXPECT_TRUE(e.dbe_Seek("ABLE"));
    EXPECT_EQ(e.dbe_RecNo(), 5);
    EXPECT_FALSE(e.dbe_Seek("ECHO"));
}

TEST_F(EngineTest, SharedOpenersSeeEachOthersAppends) {
    e.dbe_CloseAll();
    DbeEngine a, b;
    ASSERT_NE(a.dbe_Use(table, "A", kModeShared, kDriverFoxCdx), 0) << a.dbe_LastError();
    ASSERT_NE(b.dbe_Use(table, "B", kModeShared, kDriverFoxCdx), 0) << b.dbe_LastError();
    ASSERT_TRUE(a.dbe_AppendBlank());
    ASSERT_TRUE(a.dbe_Replace("NAME", "from a"));
    ASSERT_TRUE(b.dbe_AppendBlank());
    ASSERT_TRUE(b.dbe_Replace("NAME", "from b"));
    ASSERT_TRUE(a.dbe_Commit());
    ASSERT_TRUE(b.dbe_Commit());
    a.dbe_GoTop();
    EXPECT_EQ(a.dbe_RecCount(), 7);
    ASSERT_TRUE(a.dbe_Go(6));
    EXPECT_EQ(a.dbe_GetTrimString("NAME"), "from a");
    ASSERT_TRUE(a.dbe_Go(7));
    EXPECT_EQ(a.dbe_GetTrimString("NAME"), "from b");
}

TEST_F(EngineTest, AliasesAndWorkAreas) {
    e.dbe_CloseAll();
    const int a = e.dbe_Use(table, "PEOPLE", kModeShared, kDriverFoxCdx);
    ASSERT_NE(a, 0);
    EXPECT_EQ(e.dbe_WorkArea("people"), a);
    EXPECT_EQ(e.dbe_WorkArea("nobody"), 0);
    DbeEngine other;
    EXPECT_EQ(other.dbe_Use(table, "X", kModeShared, 1), 0); // only driver 2
    EXPECT_NE(other.dbe_LastError().find("driver"), std::string::npos);
    EXPECT_EQ(e.dbe_Use(table, "PEOPLE", kModeShared, kDriverFoxCdx), 0);
    EXPECT_NE(e.dbe_LastError().find("alias"), std::string::npos);
    EXPECT_FALSE(e.dbe_Version().empty());
}

} // namespace
} // namespace faxlog
