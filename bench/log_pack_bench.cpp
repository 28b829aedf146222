// Rebuild indexes at scale: a sent table of N records (default 100000) with 30 % carrying
// the deleted mark is packed and gets its four tags again; /usr/bin/python3 with the dbf
// package packs a copy of the same table in the same run. Records/s of both and the ratio.
//
//   log_pack_bench [RECORDS [--no-peer | --peer-limit SECONDS]]   (peer limit 900 s)
//
// The peer's pack grows much faster than linearly; when it does not finish within the
// limit it is stopped and the ratio printed is a lower bound.
#include "log_cleanup.h"
#include "log_rebuild.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using faxlog::LogTableKind;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool makeLog(const std::filesystem::path& dir, long n) {
    faxlog::DbeEngine e;
    faxlog::TDbeEnv env(e);
    faxlog::TDbeTable t(e);
    std::string err;
    if (!faxlog::openLogTable(t, LogTableKind::Sent, dir, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return false;
    }
    const auto base = std::chrono::sys_days{std::chrono::year{2020} / 1 / 1};
    char hhmm[8];
    for (long i = 0; i < n; ++i) {
        t.appendBlank();
        t.replace("SUBJECT", "Subject " + std::to_string(i));
        t.replaceLogical("SENT", i % 2 == 0);
        if (i % 2 == 0) {
            t.replaceDate("DATESENT", faxlog::XDate(base + std::chrono::days{i % 1500}));
            std::snprintf(hhmm, sizeof hhmm, "%02ld:%02ld", i % 24, i % 60);
            t.replace("TIMESENT", hhmm);
        }
        t.replace("RECIPIENT", "Recipient " + std::to_string(i));
        t.replace("PHONE", "555-" + std::to_string(i % 10000));
        t.replaceNumber("PAGES", static_cast<double>(i % 99));
        t.replace("LASTRESULT", "OK");
        if (i % 20 == 0)
            t.replaceMemo("RTFDOC", "{\\rtf1 document " + std::to_string(i) + "}");
    }
    t.commit();
    // 30 % deleted, spread over the table.
    const long deleted =
        maintenance::deleteWhere(t, env, maintenance::CleanupPage::Outgoing, "RECNO()%10<3", dir);
    std::printf("log_pack_bench: %ld records, %ld deleted, in %s\n", n, deleted, dir.c_str());
    return true;
}

constexpr const char* kPythonPack = R"(import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_WRITE)
t.pack()
print(len(t))
t.close()
)";

} // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 100000;
    const bool peer = !(argc > 2 && std::string(argv[2]) == "--no-peer");
    const int peerLimit = argc > 3 && std::string(argv[2]) == "--peer-limit" ? std::atoi(argv[3]) : 900;
    const auto dir = std::filesystem::temp_directory_path() / ("parvane-pack-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "ours");
    std::filesystem::create_directories(dir / "peer");
    if (!makeLog(dir / "ours", n))
        return 1;
    for (const char* f : {"PVN.DBF", "PVN.FPT"})
        std::filesystem::copy_file(dir / "ours" / f, dir / "peer" / f);

    // Ours: the whole rebuild (the other three tables are empty), and the sent table's share.
    faxlog::DbeEngine engine;
    Clock::time_point sentStart, sentEnd;
    const auto start = Clock::now();
    const auto result = maintenance::rebuildLogIndexes(engine, dir / "ours", [&](maintenance::RebuildStep s) {
        if (s == maintenance::RebuildStep::PackSent)
            sentStart = Clock::now();
        if (s == maintenance::RebuildStep::PackReceived)
            sentEnd = Clock::now();
    });
    const double total = seconds(start);
    const double sentSeconds = std::chrono::duration<double>(sentEnd - sentStart).count();
    for (const auto& p : result.problems)
        std::fprintf(stderr, "problem: %s\n", p.c_str());
    std::printf("ours: pack + 4 tags of the sent table: %.3f s, %9.0f records/s (%ld kept); whole rebuild %.3f s\n",
                sentSeconds, n / sentSeconds, result.kept[0], total);

    std::fflush(stdout);

    if (peer) {
        const auto script = dir / "pack.py";
        std::ofstream(script) << kPythonPack;
        const std::string cmd = "timeout " + std::to_string(peerLimit) + " /usr/bin/python3 " + script.string() + " " +
                                (dir / "peer" / "PVN.DBF").string() + " > " + (dir / "peer.out").string();
        const auto pyStart = Clock::now();
        const int rc = std::system(cmd.c_str());
        const double py = seconds(pyStart);
        std::string kept;
        std::ifstream(dir / "peer.out") >> kept;
        if (WIFEXITED(rc) && WEXITSTATUS(rc) == 124) {
            std::printf("python3 dbf: pack not finished after %d s, stopped: < %9.0f records/s\n", peerLimit,
                        n / py);
            std::printf("ratio: > %.0fx (goal >= 10x)\n", py / sentSeconds);
        } else if (rc != 0) {
            std::printf("python3 dbf: failed (is python3-dbf installed?)\n");
        } else {
            std::printf("python3 dbf: pack only:                %.3f s, %9.0f records/s (%s kept)\n", py, n / py,
                        kept.c_str());
            std::printf("ratio: %.1fx (goal >= 10x)\n", py / sentSeconds);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
