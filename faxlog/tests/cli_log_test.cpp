// parvane-cli log list / log show on a data directory, as a script would use them.
#include "faxlog/log_records.h"
#include "faxlog/log_tables.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include "oracle_skip.h"

namespace faxlog {
namespace {

using test::ScratchDir;

std::string cli() { return std::string(PARVANE_BINARY_DIR) + "/cli/parvane-cli"; }

std::optional<std::string> runCli(const ScratchDir& dir, const std::string& args, int* status = nullptr) {
    std::string err;
    auto out = test::run(test::quote(cli()) + " --data-dir " + test::quote(dir.path().string()) + " " + args, &err);
    if (status)
        *status = out ? 0 : 1;
    return out;
}

TEST(CliLogTest, ListsAndShowsTheLogOfADataDirectory) {
    if (!std::filesystem::exists(cli()))
        PARVANE_SKIP_WITHOUT_ORACLE("parvane-cli is not built in this tree");
    ScratchDir dir;
    // First use of an empty directory creates the whole log.
    EXPECT_EQ(runCli(dir, "log list"), "RECNO\tSUBJECT\tSENT\tDATESENT\tTIMESENT\tRECIPIENT\tPHONE\tPAGES\tLASTRESULT\n");
    for (const char* f : {"PVN.DBF", "PVNREC.DBF", "PVNCOV.DBF", "PVNPB.DBF"})
        EXPECT_TRUE(std::filesystem::exists(dir / f)) << f;
    EXPECT_EQ(runCli(dir, "log list --phonebook"), "RECNO\tNAME\tPHONE\n");
    {
        DbeEngine engine;
        TDbeEnv env(engine);
        env.start();
        env.setDeleted(true);
        TDbeTable sent(engine);
        ASSERT_TRUE(openLogTable(sent, LogTableKind::Sent, dir.path()));
        using namespace std::chrono;
        appendSentFax(sent, {"Ann\tTab", "Old", "555-1", "", "{\\rtf1 line\none}"});
        recordSendAttempt(sent, 2, "OK", "555-1", sys_days{year{2024} / 3 / 1} + hours{9});
        appendSentFax(sent, {"Bob", "New", "555-2", "", ""});
        recordSendAttempt(sent, 1, "OK", "555-2", sys_days{year{2024} / 3 / 2} + hours{9});
        appendSentFax(sent, {"Cy", "Unsent", "555-3", "", ""});
        appendSentFax(sent, {"Di", "Gone", "555-4", "", ""});
        sent.deleteRecord();
    }
    const auto list = runCli(dir, "log list --sent");
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, "RECNO\tSUBJECT\tSENT\tDATESENT\tTIMESENT\tRECIPIENT\tPHONE\tPAGES\tLASTRESULT\n"
                     "2\tNew\tT\t2024-03-02\t09:00\tBob\t555-2\t1\tOK\n"
                     "1\tOld\tT\t2024-03-01\t09:00\tAnn Tab\t555-1\t2\tOK\n"
                     "3\tUnsent\tF\t\t\tCy\t555-3\t\t\n");
    const auto show = runCli(dir, "log show 1");
    ASSERT_TRUE(show);
    EXPECT_NE(show->find("FIELD\tVALUE\nRECNO\t1\nDELETED\tF\nSUBJECT\tOld\n"), std::string::npos) << *show;
    EXPECT_NE(show->find("RTFDOC\t{\\\\rtf1 line\\none}\n"), std::string::npos) << *show;
    EXPECT_NE(runCli(dir, "log show 4")->find("DELETED\tT"), std::string::npos);
    int status = 0;
    EXPECT_FALSE(runCli(dir, "log show 9", &status));
    EXPECT_FALSE(runCli(dir, "log show x"));
    EXPECT_FALSE(runCli(dir, "log list --sent --received"));
    EXPECT_FALSE(runCli(dir, "log frobnicate"));
}

} // namespace
} // namespace faxlog
