// Table files as other tools see them: what we write is read back by dbfread and the dbf
// package, what the dbf package writes opens here, and damaged files fail clearly.
#include "faxlog/dbe_engine.h"
#include "faxlog/table_error.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>

namespace faxlog {
namespace {

using test::ScratchDir;

// A table with every field type: two memos, numbers with and without decimals.
int createMixed(DbeEngine& e, const std::filesystem::path& path) {
    EXPECT_NE(e.dbe_CreateNew(path, "MIXED", kDriverFoxCdx, 7), 0);
    EXPECT_TRUE(e.dbe_CreateField("NAME", "C", 20, 0));
    EXPECT_TRUE(e.dbe_CreateField("OK", "L", 1, 0));
    EXPECT_TRUE(e.dbe_CreateField("BORN", "D", 8, 0));
    EXPECT_TRUE(e.dbe_CreateField("PAGES", "N", 2, 0));
    EXPECT_TRUE(e.dbe_CreateField("PRICE", "N", 8, 2));
    EXPECT_TRUE(e.dbe_CreateField("NOTE", "M", 10, 0));
    EXPECT_TRUE(e.dbe_CreateField("DOC", "M", 10, 0));
    const int area = e.dbe_CreateExec();
    EXPECT_NE(area, 0) << e.dbe_LastError();
    return area;
}

void addRow(DbeEngine& e, const char* name, bool ok, const char* born, const char* pages, const char* price,
            const std::string& note, const std::string& doc) {
    ASSERT_TRUE(e.dbe_AppendBlank());
    ASSERT_TRUE(e.dbe_Replace("NAME", name));
    ASSERT_TRUE(e.dbe_ReplaceLogical("OK", ok));
    ASSERT_TRUE(e.dbe_Replace("BORN", born));
    ASSERT_TRUE(e.dbe_Replace("PAGES", pages));
    ASSERT_TRUE(e.dbe_Replace("PRICE", price));
    ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", note));
    ASSERT_TRUE(e.dbe_ReplaceMemo("DOC", doc)) << e.dbe_LastError();
}

std::vector<std::string> expectedMixed() {
    return {"F NAME C 20 0",
            "F OK L 1 0",
            "F BORN D 8 0",
            "F PAGES N 2 0",
            "F PRICE N 8 2",
            "F NOTE M 10 0",
            "F DOC M 10 0",
            "R 0 Ann|T|1984-02-29|12|1234.5|{\\rtf1 cover}|",
            "R 0 Zoë Ärger|F||0|0.25||" + std::string(700, 'd'),
            "R 1 Gone|T|2000-01-01|99|-1.75|edited twice|doc"};
}

TEST(DbfFileTest, TablesWeWriteReadTheSameInBothPythonLibraries) {
    SKIP_WITHOUT(test::missingPythonModule("dbfread"));
    SKIP_WITHOUT(test::missingPythonModule("dbf"));
    ScratchDir dir;
    const auto path = dir / "MIXED.DBF";
    {
        DbeEngine e;
        createMixed(e, path);
        addRow(e, "Ann", true, "19840229", "12", "1234.5", "{\\rtf1 cover}", "");
        addRow(e, "Zoë Ärger", false, "", "0", "0.25", "", std::string(700, 'd'));
        addRow(e, "Gone", true, "01/01/2000", "99", "-1.75", "first", "doc");
        ASSERT_TRUE(e.dbe_ReplaceMemo("NOTE", "edited twice")); // memo rewritten: new blocks
        ASSERT_TRUE(e.dbe_Delete());
        ASSERT_TRUE(e.dbe_Commit());
        // Numbers that do not fit are refused, not stored as stars.
        ASSERT_TRUE(e.dbe_Go(1));
        EXPECT_FALSE(e.dbe_Replace("PAGES", "100"));
        EXPECT_NE(e.dbe_LastError().find("does not fit"), std::string::npos);
        e.dbe_CloseAll();
    }
    // dbfread lists live records first, then deleted ones.
    auto expected = expectedMixed();
    EXPECT_EQ(test::oracleDump("dbfread", path), expected);
    EXPECT_EQ(test::oracleDump("dbf", path), expected);
}

TEST(DbfFileTest, VersionByteFollowsTheMemoFile) {
    ScratchDir dir;
    DbeEngine e;
    createMixed(e, dir / "A.DBF");
    e.dbe_Close();
    ASSERT_NE(e.dbe_CreateNew(dir / "B.DBF", "B", kDriverFoxCdx, 1), 0);
    ASSERT_TRUE(e.dbe_CreateField("NAME", "C", 10, 0));
    ASSERT_NE(e.dbe_CreateExec(), 0);
    e.dbe_Close();
    const auto firstByte = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return static_cast<unsigned char>(in.get());
    };
    EXPECT_EQ(firstByte(dir / "A.DBF"), 0xF5);
    EXPECT_TRUE(std::filesystem::exists(dir / "A.FPT"));
    EXPECT_EQ(firstByte(dir / "B.DBF"), 0x03);
    EXPECT_FALSE(std::filesystem::exists(dir / "B.FPT"));
    // Creating over an existing table is refused.
    ASSERT_NE(e.dbe_CreateNew(dir / "B.DBF", "B", kDriverFoxCdx, 1), 0);
    ASSERT_TRUE(e.dbe_CreateField("NAME", "C", 10, 0));
    EXPECT_EQ(e.dbe_CreateExec(), 0);
    EXPECT_NE(e.dbe_LastError().find("already exists"), std::string::npos);
}

TEST(DbfFileTest, TablesFromThePythonDbfPackageOpenHere) {
    SKIP_WITHOUT(test::missingPythonModule("dbf"));
    ScratchDir dir;
    const auto path = dir / "t.dbf";
    std::string err;
    ASSERT_TRUE(test::run("/usr/bin/python3 " + test::quote(test::oracleScript()) + " write-dbf " +
                              test::quote(path.string()),
                          &err))
        << err;
    DbeEngine e;
    ASSERT_NE(e.dbe_Use(path, "T", kModeReadOnly, kDriverFoxCdx), 0) << e.dbe_LastError();
    EXPECT_EQ(e.dbe_RecCount(), 3);
    EXPECT_EQ(e.dbe_FieldCount(), 6);
    EXPECT_EQ(e.dbe_FieldType("price"), 'N');
    EXPECT_EQ(e.dbe_FieldDecimals("PRICE"), 2);
    ASSERT_TRUE(e.dbe_Go(1));
    EXPECT_EQ(e.dbe_GetTrimString("NAME"), "Ann Example");
    EXPECT_EQ(e.dbe_GetInteger("AGE"), 41);
    EXPECT_DOUBLE_EQ(e.dbe_GetDouble("PRICE"), 12.5);
    EXPECT_EQ(e.dbe_GetDate("BORN"), XDate::fromYmd(1984, 2, 29));
    EXPECT_TRUE(e.dbe_GetLogical("OK"));
    EXPECT_EQ(e.dbe_GetMemo("NOTE"), "first memo\nline two");
    ASSERT_TRUE(e.dbe_Go(2));
    EXPECT_TRUE(e.dbe_Deleted());
    EXPECT_TRUE(e.dbe_GetDate("BORN").empty());
    ASSERT_TRUE(e.dbe_Go(3));
    EXPECT_EQ(e.dbe_GetTrimString("NAME"), "Café Owner");
    EXPECT_EQ(e.dbe_GetMemo("NOTE"), std::string(300, 'x'));
    EXPECT_TRUE(e.dbe_EvalLogical("AGE = 99 .and. 'OWNER' $ UPPER(NAME)"));
    // A read-only table refuses changes.
    EXPECT_FALSE(e.dbe_Replace("NAME", "x"));
    EXPECT_NE(e.dbe_LastError().find("read-only"), std::string::npos);
}

TEST(DbfFileTest, BlobsGoInAndOutThroughFiles) {
    ScratchDir dir;
    DbeEngine e;
    createMixed(e, dir / "M.DBF");
    ASSERT_TRUE(e.dbe_AppendBlank());
    std::string rtf = "{\\rtf1\\ansi binary \x01\x02\xff\n end}";
    rtf += std::string(1, '\0') + "after nul";
    {
        std::ofstream(dir / "in.rtf", std::ios::binary) << rtf;
    }
    ASSERT_TRUE(e.dbe_Replace("DOC", kReplaceBlobFile, (dir / "in.rtf").string()));
    ASSERT_TRUE(e.dbe_Commit());
    ASSERT_TRUE(e.dbe_BlobToFile("DOC", dir / "out.rtf"));
    std::ifstream in(dir / "out.rtf", std::ios::binary);
    const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, rtf);
    EXPECT_FALSE(e.dbe_Replace("DOC", kReplaceBlobFile, (dir / "missing.rtf").string()));
    EXPECT_NE(e.dbe_LastError().find("missing.rtf"), std::string::npos);
}

// Damaged files: every failure names the file and none crashes.
TEST(DbfFileTest, DamagedFilesGiveClearErrorsNamingTheFile) {
    ScratchDir dir;
    const auto good = dir / "GOOD.DBF";
    {
        DbeEngine e;
        createMixed(e, good);
        addRow(e, "Ann", true, "19840229", "12", "1.5", "memo text", "doc");
        e.dbe_CloseAll();
    }
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto tryOpen = [&](const std::string& content, const std::string& expected) {
        const auto p = dir / "BAD.DBF";
        std::filesystem::remove(p);
        std::filesystem::copy_file(dir / "GOOD.FPT", dir / "BAD.FPT",
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream(p, std::ios::binary) << content;
        DbeEngine e;
        EXPECT_EQ(e.dbe_Use(p, "BAD", kModeExclusive, kDriverFoxCdx), 0) << expected;
        EXPECT_NE(e.dbe_LastError().find("BAD.DBF"), std::string::npos) << e.dbe_LastError();
        EXPECT_NE(e.dbe_LastError().find(expected), std::string::npos) << e.dbe_LastError();
    };
    tryOpen("", "too short");
    tryOpen(bytes.substr(0, 20), "too short");
    tryOpen("\x42" + bytes.substr(1), "version byte");
    tryOpen(bytes.substr(0, 100), "header length");
    std::string s = bytes;
    s[32 + 11] = 'X'; // unknown field type
    tryOpen(s, "unsupported type");
    s = bytes;
    s[10] = static_cast<char>(s[10] + 1); // record length disagrees with the fields
    tryOpen(s, "record length");
    s = bytes;
    s[4] = 9; // header counts more records than the file holds
    tryOpen(s, "truncated");
    s = bytes;
    s[32 * 8] = 'A'; // header end mark overwritten
    tryOpen(s, "damaged header");

    // A memo pointer beyond the memo file, and a cut memo file.
    std::filesystem::copy_file(good, dir / "MEMO.DBF");
    std::filesystem::copy_file(dir / "GOOD.FPT", dir / "MEMO.FPT");
    std::filesystem::resize_file(dir / "MEMO.FPT", 512 + 10);
    DbeEngine e;
    ASSERT_NE(e.dbe_Use(dir / "MEMO.DBF", "MEMO", kModeExclusive, kDriverFoxCdx), 0) << e.dbe_LastError();
    EXPECT_EQ(e.dbe_GetMemo("DOC"), "");
    EXPECT_NE(e.dbe_LastError().find("MEMO.FPT"), std::string::npos) << e.dbe_LastError();
    e.dbe_Close();
    std::filesystem::remove(dir / "MEMO.FPT");
    EXPECT_EQ(e.dbe_Use(dir / "MEMO.DBF", "MEMO", kModeExclusive, kDriverFoxCdx), 0);
    EXPECT_NE(e.dbe_LastError().find("memo file is missing"), std::string::npos);
}

} // namespace
} // namespace faxlog
