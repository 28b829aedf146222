// The fax log tables: first start, the tags at open, the not-deleted view, the record life
// cycles and the received fax files.
#include "faxlog/log_records.h"
#include "faxlog/log_tables.h"
#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace faxlog {
namespace {

using test::ScratchDir;

class LogTablesTest : public ::testing::Test {
protected:
    ScratchDir dir;
    DbeEngine engine;
    TDbeEnv env{engine};
    TDbeTable sent{engine}, received{engine};

    void SetUp() override {
        env.start();
        env.setDeleted(true);
        env.setSysProp(1009, 0);
    }
    void openBoth() {
        std::string err;
        ASSERT_TRUE(openLogTable(sent, LogTableKind::Sent, dir.path(), &err)) << err;
        ASSERT_TRUE(openLogTable(received, LogTableKind::Received, dir.path(), &err)) << err;
    }
    void addSent(const std::string& subject, const std::string& result) {
        appendSentFax(sent, {"Recipient " + subject, subject, "555-0100", "{\\rtf1 cover}", "{\\rtf1 doc}"});
        if (!result.empty())
            recordSendAttempt(sent, 3, result, "555-0199");
    }
    std::vector<std::string> grid(TDbeTable& t, const char* field) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < t.rowCount(); ++i) {
            t.go(t.rowRecNo(i));
            out.push_back(t.getTrimString(field));
        }
        return out;
    }
};

TEST_F(LogTablesTest, FirstStartCreatesAllFourTablesWithExactlyTheirFields) {
    for (auto kind : allLogTables()) {
        TDbeTable t(engine);
        std::string err;
        ASSERT_TRUE(openLogTable(t, kind, dir.path(), &err)) << to_string(kind) << ": " << err;
        const LogTableDef& def = logTableDef(kind);
        EXPECT_EQ(t.tagArea(def.openTag.name), 1);
        // A new log has every tag a rebuild makes: no reindex question on a first start.
        for (std::size_t i = 0; i < def.rebuildTags.size(); ++i)
            EXPECT_EQ(t.tagName(static_cast<int>(i) + 1), def.rebuildTags[i].name) << to_string(kind);
        EXPECT_EQ(t.tagName(static_cast<int>(def.rebuildTags.size()) + 1), "");
        EXPECT_EQ(t.dbFilter(), ".not. deleted()");
        EXPECT_EQ(t.indexOrd(), def.orderAlways ? 1 : 0); // empty log tables use natural order
    }
    SKIP_WITHOUT(test::missingPythonModule("dbfread"));
    engine.dbe_CloseAll();
    const std::vector<std::pair<const char*, std::vector<std::string>>> expected = {
        {"PVN.DBF",
         {"F SUBJECT C 50 0", "F SENT L 1 0", "F DATESENT D 8 0", "F TIMESENT C 5 0", "F RECIPIENT C 35 0",
          "F PHONE C 25 0", "F PAGES N 2 0", "F LASTRESULT C 100 0", "F RTFCOVER M 10 0", "F RTFDOC M 10 0"}},
        {"PVNREC.DBF",
         {"F DATEREC D 8 0", "F TIMEREC C 5 0", "F FROM C 20 0", "F PAGES N 2 0", "F FAXFILE C 12 0",
          "F NOTES C 60 0"}},
        {"PVNCOV.DBF", {"F DESCRIPT C 35 0", "F COVER M 10 0"}},
        {"PVNPB.DBF", {"F NAME C 35 0", "F PHONE C 25 0"}},
    };
    for (const auto& [file, fields] : expected)
        EXPECT_EQ(test::oracleDump("dbfread", dir / file), fields) << file;
}

TEST_F(LogTablesTest, AMissingIndexComesBackWithTheOpenTagOnly) {
    openBoth();
    sent.indexTag("DATEND", "DTOS(DATESENT)+TIMESENT", false, kNotDeleted);
    addSent("one", "OK");
    sent.closeIndexes();
    sent.close();
    std::filesystem::remove(dir / "PVN.CDX");
    std::string err;
    ASSERT_TRUE(openLogTable(sent, LogTableKind::Sent, dir.path(), &err)) << err;
    EXPECT_EQ(sent.tagName(1), "DATESENT");
    EXPECT_EQ(sent.tagName(2), "");
    EXPECT_FALSE(hasRebuildTags(sent));
    EXPECT_EQ(sent.indexOrd(), 1); // it holds a record, so the date order is active
    SKIP_WITHOUT(test::missingIndexDump());
    sent.close();
    const auto keys = test::indexDump(dir / "PVN.CDX", "DATESENT");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].size(), std::string("YYYYMMDDhh:mm 1").size());
}

TEST_F(LogTablesTest, SendAttemptsMarkSentOnlyForOkOrSent) {
    openBoth();
    using namespace std::chrono;
    const auto when = sys_days{year{2024} / 6 / 1} + hours{12};
    appendSentFax(sent, {"Ann", "Report", "555-1", "", ""});
    EXPECT_EQ(sentYesNo(sent), "No ");
    recordSendAttempt(sent, 2, "Busy", "555-2", when);
    EXPECT_FALSE(sent.getLogical("SENT"));
    EXPECT_TRUE(sent.getDate("DATESENT").empty());
    EXPECT_EQ(sent.getTrimString("LASTRESULT"), "Busy");
    EXPECT_EQ(sent.getTrimString("PHONE"), "555-2");
    EXPECT_EQ(sent.getInteger("PAGES"), 2);
    EXPECT_EQ(formatDateTime(sent, LogTableKind::Sent, DateTimeFormat::iso()), "not sent");
    recordSendAttempt(sent, 4, "   ", "555-3", when); // a blank result keeps the old text
    EXPECT_EQ(sent.getTrimString("LASTRESULT"), "Busy");
    recordSendAttempt(sent, 4, " ok ", "555-3", when);
    EXPECT_TRUE(sent.getLogical("SENT"));
    EXPECT_EQ(sentYesNo(sent), "Yes");
    EXPECT_FALSE(sent.getDate("DATESENT").empty());
    const std::string time = sent.getTrimString("TIMESENT");
    ASSERT_EQ(time.size(), 5u);
    EXPECT_EQ(time[2], ':');
    EXPECT_EQ(formatDateTime(sent, LogTableKind::Sent, DateTimeFormat::iso()),
              sent.getDate("DATESENT").iso() + " at " + time);
    appendSentFax(sent, {"Bob", "Other", "555-4", "", ""});
    recordSendAttempt(sent, 1, "Sent", "555-4", when);
    EXPECT_TRUE(sent.getLogical("SENT"));
    appendSentFax(sent, {"Cy", "Third", "555-5", "", ""});
    recordSendAttempt(sent, 120, "OK, but long", "555-5", when);
    EXPECT_FALSE(sent.getLogical("SENT"));
    EXPECT_EQ(sent.getInteger("PAGES"), 99); // the two-digit field keeps its largest count
    // A caption from a stored time that is not hh:mm shows it as stored.
    sent.replace("TIMESENT", "noon");
    sent.replaceLogical("SENT", true);
    sent.replaceDate("DATESENT", XDate::fromYmd(2024, 6, 1));
    EXPECT_EQ(formatDateTime(sent, LogTableKind::Sent, DateTimeFormat::iso()), "2024-06-01 at noon");
}

TEST_F(LogTablesTest, DeletedRecordsAreInvisibleAndNotCounted) {
    openBoth();
    addSent("first", "OK");
    addSent("second", "Busy");
    addSent("third", "OK");
    applyActiveOrder(sent, LogTableKind::Sent);
    EXPECT_EQ(sent.indexOrd(), 1);
    EXPECT_EQ(sent.queryRecCount(), 3);
    // Unsent faxes (blank date) sort last in the descending date order.
    EXPECT_EQ(grid(sent, "SUBJECT").back(), "second");
    sent.goTop();
    ASSERT_TRUE(sent.seek(""));
    while (sent.getTrimString("SUBJECT") != "first")
        sent.skip();
    sent.deleteRecord();
    EXPECT_EQ(isDeletedText(sent), "Yes");
    EXPECT_EQ(sent.queryRecCount(), 2);
    EXPECT_EQ(sent.rowCount(), 2u);
    for (const auto& s : grid(sent, "SUBJECT"))
        EXPECT_NE(s, "first");
    // The last visible record deleted: the table counts as empty and goes to natural order.
    for (int i = 0; i < 2; ++i) {
        sent.goTop();
        sent.deleteRecord();
    }
    EXPECT_EQ(sent.queryRecCount(), 0);
    applyActiveOrder(sent, LogTableKind::Sent);
    EXPECT_EQ(sent.indexOrd(), 0);
    sent.goTop();
    EXPECT_FALSE(sent.hasRecord());
    EXPECT_EQ(sent.recCount(), 3);
}

TEST_F(LogTablesTest, CloneStartsFromTheCurrentFax) {
    openBoth();
    appendSentFax(sent, {"Ann", "Quarterly figures", "555-1", "{\\rtf1 c}", "{\\rtf1 d}"});
    const SentFaxContent c = cloneOfCurrent(sent);
    EXPECT_EQ(c.subject, "[clone]Quarterly figures");
    EXPECT_EQ(c.recipient, "Ann");
    EXPECT_EQ(c.phone, "555-1");
    EXPECT_EQ(c.rtfCover, "{\\rtf1 c}");
    EXPECT_EQ(c.rtfDoc, "{\\rtf1 d}");
    appendSentFax(sent, c);
    EXPECT_EQ(sent.recCount(), 2);
    EXPECT_EQ(sent.getTrimString("SUBJECT"), "[clone]Quarterly figures");
    EXPECT_EQ(sent.getMemo("RTFDOC"), "{\\rtf1 d}");
    EXPECT_FALSE(sent.getLogical("SENT"));
}

TEST_F(LogTablesTest, DeletingAReceivedFaxRemovesItsFileWhateverTheCase) {
    openBoth();
    std::filesystem::create_directories(dir / "Receive");
    std::ofstream(dir / "Receive" / "fax0001.apf") << "apf";
    std::ofstream(dir / "Receive" / "FAX0002.APF") << "apf";
    std::ofstream(dir / "keep.apf") << "must stay";
    appendReceivedFax(received, "+1 555 0100", 2, dir / "Receive" / "FAX0001.APF");
    EXPECT_EQ(received.getTrimString("FAXFILE"), "FAX0001.APF");
    EXPECT_EQ(received.getTrimString("FROM"), "+1 555 0100");
    EXPECT_EQ(formatDateTime(received, LogTableKind::Received, DateTimeFormat::iso()),
              received.getDate("DATEREC").iso() + " at " + received.getTrimString("TIMEREC"));
    const auto removed = deleteReceivedFax(received, dir.path());
    EXPECT_EQ(removed.filename(), "fax0001.apf");
    EXPECT_FALSE(std::filesystem::exists(dir / "Receive" / "fax0001.apf"));
    EXPECT_EQ(received.queryRecCount(), 0);
    // A FAXFILE naming anything but a plain file in the receive directory deletes no file.
    appendReceivedFax(received, "x", 1, "FAX0002.APF");
    received.replace("FAXFILE", "../keep.apf");
    received.commit();
    EXPECT_TRUE(deleteReceivedFax(received, dir.path()).empty());
    EXPECT_TRUE(std::filesystem::exists(dir / "keep.apf"));
    // A missing file does not stop the record's deletion.
    appendReceivedFax(received, "y", 1, "FAX9999.APF");
    EXPECT_TRUE(deleteReceivedFax(received, dir.path()).empty());
    EXPECT_EQ(received.queryRecCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "Receive" / "FAX0002.APF"));
}

TEST_F(LogTablesTest, RebuildSetAfterPackOrdersBothWays) {
    openBoth();
    addSent("a", "OK");
    addSent("b", "Busy");
    addSent("c", "OK");
    sent.goTop();
    while (sent.getTrimString("SUBJECT") != "b")
        sent.skip();
    sent.deleteRecord();
    // As the rebuild does it: drop the index file, pack, create the full tag set.
    sent.closeIndexes();
    std::filesystem::remove(dir / "PVN.CDX");
    sent.pack();
    for (const auto& tag : logTableDef(LogTableKind::Sent).rebuildTags)
        sent.indexTag(tag.name, tag.key, tag.descending, tag.condition);
    EXPECT_TRUE(hasRebuildTags(sent));
    EXPECT_EQ(sent.recCount(), 2);
    sent.setOrder(sent.tagArea("DATESENT"));
    const auto newestFirst = grid(sent, "SUBJECT");
    sent.setOrder(sent.tagArea("DATEND"));
    auto oldestFirst = grid(sent, "SUBJECT");
    std::reverse(oldestFirst.begin(), oldestFirst.end());
    EXPECT_EQ(newestFirst, oldestFirst);
    sent.setOrder(sent.tagArea("RECIPIENT"));
    EXPECT_EQ(grid(sent, "SUBJECT"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(sent.getMemo("RTFDOC"), "{\\rtf1 doc}");
}

TEST_F(LogTablesTest, AliasesFollowTheBaseNameRule) {
    EXPECT_EQ(TDbeTable::aliasFor("/x/PVN.DBF", engine), "PVN");
    EXPECT_EQ(TDbeTable::aliasFor("/x/my fax-log~1.dbf", engine), "my_fax_l");
    openBoth();
    TDbeTable second(engine);
    EXPECT_EQ(TDbeTable::aliasFor(dir / "PVN.DBF", engine), "PVN_1");
    // The table is open exclusively: a second open of it fails cleanly.
    std::string err;
    EXPECT_FALSE(openLogTable(second, LogTableKind::Sent, dir.path(), &err));
    EXPECT_NE(err.find("PVN.DBF"), std::string::npos);
    EXPECT_FALSE(second.isOpen());
    // Wrapper calls restore the selected work area.
    const int before = engine.dbe_Select(received.workArea());
    sent.recCount();
    EXPECT_EQ(engine.selected(), received.workArea());
    engine.dbe_Select(before);
}

} // namespace
} // namespace faxlog
