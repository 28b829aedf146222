// The delete commands' conditions on a log of known records: which records each marks,
// that received faxes lose their files, and that a faulty condition deletes nothing.
#include "known_log.h"
#include "log_cleanup.h"
#include "test_support.h"

#include "faxlog/xbase_expression.h"

#include <gtest/gtest.h>

namespace maintenance {
namespace {

using faxlog::XDate;
using Set = std::set<long>;

class CleanupConditionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeKnownLog(writer, dir.path());
        writer.dbe_CloseAll();
        env.start();
        env.setDeleted(true);
        ASSERT_TRUE(faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, dir.path()));
        ASSERT_TRUE(faxlog::openLogTable(received, faxlog::LogTableKind::Received, dir.path()));
    }
    Set deleteSent(const std::string& condition) {
        deleteWhere(sent, env, CleanupPage::Outgoing, condition, dir.path());
        return test::deletedRecords(sent);
    }
    long run(faxlog::TDbeTable& t, CleanupPage page, const std::string& condition) {
        return deleteWhere(t, env, page, condition, dir.path());
    }

    faxlog::test::ScratchDir dir;
    faxlog::DbeEngine writer;
    faxlog::DbeEngine engine;
    faxlog::TDbeEnv env{engine};
    faxlog::TDbeTable sent{engine};
    faxlog::TDbeTable received{engine};
};

TEST_F(CleanupConditionsTest, BeforeADateIsStrictAndNeverTakesUnsentFaxes) {
    // Across the turn of the year; the chosen day itself stays.
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, beforeDateCondition(CleanupPage::Outgoing, XDate::fromYmd(2025, 12, 31))), 2);
    EXPECT_EQ(test::deletedRecords(sent), (Set{1, 7}));
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, beforeDateCondition(CleanupPage::Outgoing, XDate::fromYmd(2026, 1, 16))), 2);
    EXPECT_EQ(test::deletedRecords(sent), (Set{1, 2, 3, 7}));
    // A date a century away is not read back as one near today.
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, beforeDateCondition(CleanupPage::Outgoing, XDate::fromYmd(2099, 1, 1))), 1);
    EXPECT_EQ(test::deletedRecords(sent), (Set{1, 2, 3, 6, 7})); // 4 and 5 were never sent
}

TEST_F(CleanupConditionsTest, SentUnsentAndAllSplitTheOutgoingPage) {
    EXPECT_EQ(deleteSent(kUnsentCondition), (Set{4, 5}));
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, kSentCondition), 5);
    EXPECT_EQ(test::deletedRecords(sent), (Set{1, 2, 3, 4, 5, 6, 7}));
    // Marked records are visited but not counted again.
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, kAllCondition), 0);
    EXPECT_EQ(sent.rowCount(), 0u);
}

TEST_F(CleanupConditionsTest, RecipientMatchesExactlyOrInPartTrimmedAndUpperCased) {
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Recipient, " smith ", true)), (Set{3, 6}));
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Recipient, "smith", false)), (Set{1, 2, 3, 6}));
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Phone, "555-0107", true)), (Set{1, 2, 3, 6, 7}));
    // Letters beyond ASCII are upper-cased on both sides alike.
    sent.go(4);
    sent.replace("RECIPIENT", "Zoë Café");
    sent.commit();
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Recipient, "zoë café", true)), (Set{1, 2, 3, 4, 6, 7}));
}

TEST_F(CleanupConditionsTest, TextsWithQuotesAndBracketsStillMatch) {
    // The name holds ", ' and ]: no single delimiter fits it.
    const std::string c = matchCondition(MatchField::Recipient, test::kSent[4].recipient, true);
    EXPECT_EQ(deleteSent(c), (Set{5})) << c;
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Recipient, "o'neil", false)), (Set{5}));
    EXPECT_EQ(deleteSent(matchCondition(MatchField::Recipient, "\"quote\"", false)), (Set{5}));
    EXPECT_EQ(matchCondition(MatchField::Recipient, "   ", true), "");
    EXPECT_EQ(xbaseString("plain"), "\"plain\"");
    EXPECT_EQ(xbaseString("say \"hi\""), "'say \"hi\"'");
}

TEST_F(CleanupConditionsTest, IncomingDeletesTakeTheFaxFilesAlong) {
    EXPECT_EQ(run(received, CleanupPage::Incoming, matchCondition(MatchField::From, "acme", false)), 2);
    EXPECT_EQ(test::deletedRecords(received), (Set{2, 3}));
    EXPECT_EQ(test::filesLeft(dir.path()), (std::set<std::string>{"FAX0001.APF", "FAX0004.APF"}));
    EXPECT_EQ(run(received, CleanupPage::Incoming, beforeDateCondition(CleanupPage::Incoming, XDate::fromYmd(2026, 2, 2))), 1);
    EXPECT_EQ(test::deletedRecords(received), (Set{1, 2, 3}));
    EXPECT_EQ(test::filesLeft(dir.path()), (std::set<std::string>{"FAX0004.APF"}));
    // The current record goes, its file with it, and the next record becomes current.
    received.go(4);
    deleteCurrent(received, CleanupPage::Incoming, dir.path());
    EXPECT_TRUE(test::filesLeft(dir.path()).empty());
    EXPECT_EQ(received.rowCount(), 0u);
}

TEST_F(CleanupConditionsTest, DeleteCurrentMovesToTheRecordAfterIt) {
    sent.setOrder(0);
    sent.go(2);
    deleteCurrent(sent, CleanupPage::Outgoing, dir.path());
    EXPECT_EQ(test::deletedRecords(sent), (Set{2}));
    EXPECT_EQ(sent.recNo(), 3);
}

TEST_F(CleanupConditionsTest, AFaultyConditionDeletesNothingAndKeepsTheView) {
    sent.setOrder(sent.tagArea("DATESENT"));
    sent.go(3);
    for (const char* bad : {"(DATESENT<CTOD(\"01/01/2026\")) .and.", "NOSUCHFIELD == \"X\"", "UPPER(RECIPIENT)",
                            "\"unterminated"}) {
        EXPECT_THROW(run(sent, CleanupPage::Outgoing, bad), faxlog::ExpressionError) << bad;
        EXPECT_TRUE(test::deletedRecords(sent).empty()) << bad;
        EXPECT_TRUE(env.deleted()) << "the deleted filter is back on";
        EXPECT_EQ(sent.indexOrd(), sent.tagArea("DATESENT"));
    }
    // A condition that matches nothing reports 0 and leaves order and record.
    EXPECT_EQ(run(sent, CleanupPage::Outgoing, matchCondition(MatchField::Recipient, "nobody", true)), 0);
    EXPECT_EQ(sent.recNo(), 3);
    EXPECT_EQ(sent.indexOrd(), sent.tagArea("DATESENT"));
}

} // namespace
} // namespace maintenance
