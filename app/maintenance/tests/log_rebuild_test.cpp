// Rebuild indexes: records kept and gone as the outside DBF readers see them, every tag's
// keys in order as index_dump lists them, and a rebuild killed at any moment losing
// nothing.
#include "known_log.h"
#include "log_cleanup.h"
#include "log_rebuild.h"
#include "test_support.h"

#include "faxlog/table_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace maintenance {
namespace {

using faxlog::LogTableKind;
namespace ft = faxlog::test;

// Appends n sent records with SUBJECT "Subject i" straight through the engine.
void appendSent(const std::filesystem::path& dir, long n) {
    faxlog::DbeEngine e;
    faxlog::TDbeTable t(e);
    ASSERT_TRUE(faxlog::openLogTable(t, LogTableKind::Sent, dir));
    const auto base = std::chrono::sys_days{std::chrono::year{2024} / 1 / 1};
    char hhmm[8];
    for (long i = 0; i < n; ++i) {
        t.appendBlank();
        t.replace("SUBJECT", "Subject " + std::to_string(i));
        t.replace("RECIPIENT", "Recipient " + std::to_string(i % 977));
        if (i % 4 != 0) {
            t.replaceLogical("SENT", true);
            t.replaceDate("DATESENT", faxlog::XDate(base + std::chrono::days{(i * 7919) % 900}));
            std::snprintf(hhmm, sizeof hhmm, "%02ld:%02ld", i % 24, (i * 7) % 60);
            t.replace("TIMESENT", hhmm);
        }
        if (i % 50 == 0)
            t.replaceMemo("RTFDOC", "{\\rtf1 document " + std::to_string(i) + "}");
    }
    t.commit();
}

// Dump lines of live records ("R 0 ...") sorted, for comparing as sets.
std::vector<std::string> liveRows(const std::vector<std::string>& dump) {
    std::vector<std::string> out;
    for (const auto& l : dump)
        if (l.rfind("R 0 ", 0) == 0)
            out.push_back(l);
    std::sort(out.begin(), out.end());
    return out;
}

// Every tag of a rebuilt table, as index_dump lists it: one key per live record, in order.
void expectTagsInOrder(const std::filesystem::path& dir, LogTableKind kind, std::size_t live) {
    const faxlog::LogTableDef& def = faxlog::logTableDef(kind);
    const auto cdx = faxlog::TableIndexes::indexPathFor(dir / def.fileName);
    for (const faxlog::TagDef& tag : def.rebuildTags) {
        const auto lines = ft::indexDump(cdx, tag.name);
        ASSERT_EQ(lines.size(), live) << def.fileName << " " << tag.name;
        std::vector<std::string> keys;
        for (const auto& l : lines)
            keys.push_back(l.substr(0, l.rfind(' ')));
        // The file keeps every tag's keys ascending; a descending tag is walked backwards.
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << def.fileName << " " << tag.name;
    }
}

TEST(LogRebuildTest, PacksEveryTableAndMakesEveryTagAsOthersReadThem) {
    ft::ScratchDir dir;
    {
        faxlog::DbeEngine e;
        test::writeKnownLog(e, dir.path());
    }
    std::vector<std::string> before;
    {
        faxlog::DbeEngine e;
        faxlog::TDbeEnv env(e);
        env.setDeleted(true);
        faxlog::TDbeTable sent(e), received(e);
        ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, dir.path()));
        ASSERT_TRUE(faxlog::openLogTable(received, LogTableKind::Received, dir.path()));
        EXPECT_EQ(deleteWhere(sent, env, CleanupPage::Outgoing, kUnsentCondition, dir.path()), 2);
        EXPECT_EQ(deleteWhere(received, env, CleanupPage::Incoming, "FROM=\"Other\"", dir.path()), 1);
    }
    const bool oracle = ft::missingPythonModule("dbfread").empty();
    if (oracle)
        before = liveRows(ft::oracleDump("dbfread", dir / "PVN.DBF"));

    std::vector<RebuildStep> steps;
    faxlog::DbeEngine e;
    const RebuildResult r = rebuildLogIndexes(e, dir.path(), [&](RebuildStep s) { steps.push_back(s); });
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(steps.size(), std::size_t(kRebuildStepCount));
    EXPECT_EQ(r.kept[0], 5);
    EXPECT_EQ(r.kept[1], 3);
    EXPECT_EQ(r.kept[2], 0); // the phone and cover tables were made on the way
    EXPECT_EQ(r.kept[3], 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "PVNPB.DBF"));
    EXPECT_TRUE(std::filesystem::exists(dir / "PVNCOV.DBF"));

    faxlog::TDbeTable sent(e);
    ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, dir.path()));
    EXPECT_TRUE(faxlog::hasRebuildTags(sent));
    EXPECT_EQ(sent.recCount(), 5);
    sent.go(5);
    EXPECT_EQ(sent.getTrimString("RECIPIENT"), "Carol");
    EXPECT_EQ(sent.getMemo("RTFDOC"), "{\\rtf1 doc}");
    sent.close();

    SKIP_WITHOUT(ft::missingPythonModule("dbfread"));
    const auto dump = ft::oracleDump("dbfread", dir / "PVN.DBF");
    EXPECT_EQ(liveRows(dump), before);
    EXPECT_EQ(std::count_if(dump.begin(), dump.end(), [](const std::string& l) { return l.rfind("R 1", 0) == 0; }), 0);
    SKIP_WITHOUT(ft::missingIndexDump());
    expectTagsInOrder(dir.path(), LogTableKind::Sent, 5);
    expectTagsInOrder(dir.path(), LogTableKind::Received, 3);
}

#if defined(__SANITIZE_ADDRESS__)
// The plain run takes the full size; the sanitized run checks the same paths on less.
constexpr long kLargeLog = 20000;
#else
constexpr long kLargeLog = 100000;
#endif

TEST(LogRebuildTest, AHundredThousandRecordLogKeepsEverySurvivor) {
    ft::ScratchDir dir;
    constexpr long kRecords = kLargeLog;
    constexpr long kKept = kRecords / 10 * 7;
    appendSent(dir.path(), kRecords);
    {
        faxlog::DbeEngine e;
        faxlog::TDbeEnv env(e);
        env.setDeleted(true);
        faxlog::TDbeTable sent(e);
        ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, dir.path()));
        EXPECT_EQ(deleteWhere(sent, env, CleanupPage::Outgoing, "RECNO()%10<3", dir.path()), kRecords - kKept);
    }
    faxlog::DbeEngine e;
    const RebuildResult r = rebuildLogIndexes(e, dir.path());
    ASSERT_TRUE(r.problems.empty()) << r.problems.front();
    ASSERT_EQ(r.kept[0], kKept);

    faxlog::TDbeTable sent(e);
    ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, dir.path()));
    sent.setOrder(0);
    long expected = 0; // record i+1 survives when (i+1) % 10 >= 3
    for (long recno = 1; recno <= kKept; ++recno) {
        while ((expected + 1) % 10 < 3)
            ++expected;
        ASSERT_TRUE(sent.go(recno));
        ASSERT_EQ(sent.getTrimString("SUBJECT"), "Subject " + std::to_string(expected)) << recno;
        if (expected % 50 == 0) {
            ASSERT_EQ(sent.getMemo("RTFDOC"), "{\\rtf1 document " + std::to_string(expected) + "}");
        }
        ++expected;
    }
    sent.close();

    SKIP_WITHOUT(ft::missingPythonModule("dbfread"));
    const auto dump = ft::oracleDump("dbfread", dir / "PVN.DBF");
    EXPECT_EQ(liveRows(dump).size(), std::size_t(kKept));
    EXPECT_EQ(dump.size(), 10u + std::size_t(kKept)); // ten field lines, no deleted record left
    SKIP_WITHOUT(ft::missingIndexDump());
    expectTagsInOrder(dir.path(), LogTableKind::Sent, std::size_t(kKept));
}

// Runs a rebuild in a child that is killed with SIGKILL, either at a step (from inside)
// or `delay` after it began packing the sent table (from outside).
void rebuildKilled(const std::filesystem::path& dir, int atStep, std::chrono::microseconds delay) {
    int started[2];
    ASSERT_EQ(::pipe(started), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(started[0]);
        faxlog::DbeEngine e;
        rebuildLogIndexes(e, dir, [&](RebuildStep s) {
            if (static_cast<int>(s) == atStep)
                ::kill(::getpid(), SIGKILL);
            if (s == RebuildStep::PackSent && ::write(started[1], "s", 1) != 1)
                ::_exit(2);
        });
        ::_exit(0);
    }
    ::close(started[1]);
    char byte = 0;
    const bool began = ::read(started[0], &byte, 1) == 1;
    ::close(started[0]);
    if (atStep < 0 && began) {
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

TEST(LogRebuildTest, ARebuildKilledAtAnyMomentLosesNothing) {
    constexpr long kRecords = 3000;
    const auto live = [](long i) { return i % 3 != 0; }; // records "Subject i" with i % 3 == 0 are deleted
    const auto check = [&](const std::filesystem::path& dir, const std::string& when) {
        faxlog::DbeEngine e;
        faxlog::TDbeEnv env(e);
        env.setDeleted(true);
        faxlog::TDbeTable sent(e);
        std::string error;
        ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, dir, &error)) << when << ": " << error;
        std::vector<std::string> seen;
        sent.setOrder(sent.tagArea("DATESENT"));
        for (std::size_t i = 0; i < sent.rowCount(); ++i) {
            sent.go(sent.rowRecNo(i));
            seen.push_back(sent.getTrimString("SUBJECT"));
            const long n = std::stol(seen.back().substr(8));
            if (n % 50 == 0) {
                ASSERT_EQ(sent.getMemo("RTFDOC"), "{\\rtf1 document " + std::to_string(n) + "}") << when;
            }
        }
        std::sort(seen.begin(), seen.end());
        std::vector<std::string> want;
        for (long i = 0; i < kRecords; ++i)
            if (live(i))
                want.push_back("Subject " + std::to_string(i));
        std::sort(want.begin(), want.end());
        ASSERT_EQ(seen, want) << when;
        const auto p = faxlog::packPathsFor(dir / "PVN.DBF");
        EXPECT_FALSE(std::filesystem::exists(p.tableTemp)) << when;
        EXPECT_FALSE(std::filesystem::exists(p.memoTemp)) << when;
    };

    ft::ScratchDir master;
    appendSent(master.path(), kRecords);
    {
        faxlog::DbeEngine e;
        faxlog::TDbeEnv env(e);
        faxlog::TDbeTable sent(e);
        ASSERT_TRUE(faxlog::openLogTable(sent, LogTableKind::Sent, master.path()));
        ASSERT_EQ(deleteWhere(sent, env, CleanupPage::Outgoing, "RECNO()%3==1", master.path()), 1000);
    }
    const auto fresh = [&](const ft::ScratchDir& d) {
        for (const auto& f : std::filesystem::directory_iterator(master.path()))
            std::filesystem::copy_file(f.path(), d / f.path().filename().string(),
                                       std::filesystem::copy_options::overwrite_existing);
    };
    // At every step boundary, from inside.
    for (int step = 0; step < kRebuildStepCount; ++step) {
        ft::ScratchDir d;
        fresh(d);
        rebuildKilled(d.path(), step, {});
        check(d.path(), "killed at step " + std::string(to_string(RebuildStep(step))));
    }
    // Anywhere in between, from outside: while the new memo file, then the new table is
    // written, while they are renamed, and while the tags are made.
    for (int us : {0, 200, 500, 1000, 2000, 4000, 8000, 12000, 16000, 24000, 32000}) {
        ft::ScratchDir d;
        fresh(d);
        rebuildKilled(d.path(), -1, std::chrono::microseconds(us));
        check(d.path(), "killed after " + std::to_string(us) + " us");
    }
}

} // namespace
} // namespace maintenance
