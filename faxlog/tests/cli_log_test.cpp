// parvane-cli log list / log show on a data directory, as a script would use them.
#include "faxlog/log_records.h"
#include "faxlog/log_tables.h"
#include "test_support.h"
#include "unwritable_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
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

std::string runCliErr(const std::string& args, int* status) {
    const std::string err = (std::filesystem::temp_directory_path() / "cli_log_err").string();
    const int raw = std::system((test::quote(cli()) + " " + args + " >/dev/null 2>" + test::quote(err)).c_str());
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(err);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CliLogTest, ListingNeedsNoWriteAccessAndMistakesAreNamed) {
    ASSERT_TRUE(std::filesystem::exists(cli())) << "parvane-cli is not built";
    ScratchDir dir;
    ASSERT_TRUE(runCli(dir, "log list"));
    {
        DbeEngine engine;
        TDbeTable sent(engine);
        ASSERT_TRUE(openLogTable(sent, LogTableKind::Sent, dir.path()));
        appendSentFax(sent, {"Ann", "Hello", "555-1", "", ""});
    }
    const std::string before = test::run("cat " + test::quote((dir / "PVN.DBF").string())).value_or("");
    {
        // Tables the user may read but not write.
        test::UnwritableFiles readOnly({dir / "PVN.DBF", dir / "PVN.FPT", dir / "PVN.CDX"});
        ASSERT_TRUE(readOnly.ok());
        const auto list = runCli(dir, "log list");
        ASSERT_TRUE(list);
        EXPECT_NE(list->find("1\tHello\tF"), std::string::npos) << *list;
        EXPECT_TRUE(runCli(dir, "log show 1"));
    }
    {
        // Another reader holds the table: a writer could not have it exclusively now.
        DbeEngine reader;
        ASSERT_NE(reader.dbe_Use(dir / "PVN.DBF", "R", kModeReadOnly, kDriverFoxCdx), 0) << reader.dbe_LastError();
        EXPECT_TRUE(runCli(dir, "log list"));
    }
    EXPECT_EQ(test::run("cat " + test::quote((dir / "PVN.DBF").string())).value_or(""), before);

    const std::string dirArg = "--data-dir " + test::quote(dir.path().string()) + " ";
    int status = 0;
    for (const char* n : {"0", "-3", "x", "99999999999999999999999"}) {
        const std::string err = runCliErr(dirArg + "log show " + n, &status);
        EXPECT_EQ(status, 2) << n;
        EXPECT_NE(err.find("is not a record number"), std::string::npos) << err;
    }
    // A mistyped data directory is refused, and nothing is created there.
    const auto missing = dir / "no-such-dir";
    const std::string err = runCliErr("--data-dir " + test::quote(missing.string()) + " log list", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
} // namespace faxlog
