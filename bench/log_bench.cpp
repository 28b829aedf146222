// The fax log at scale: append records to the sent table with all its tags, open it and
// show the first screen, seek, walk the date order and run a query; the same appends and
// scan through /usr/bin/python3 with the dbf package, measured in the same run.
//
//   log_bench [RECORDS [--no-peer]]       (default 100000 records, with the python peer)
#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using faxlog::LogTableKind;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string subject(long i) { return "Subject " + std::to_string(i); }

// The records of the python peer, field for field.
void appendRecords(faxlog::TDbeTable& t, long n) {
    const auto base = std::chrono::sys_days{std::chrono::year{2020} / 1 / 1};
    char hhmm[8];
    for (long i = 0; i < n; ++i) {
        t.appendBlank();
        t.replace("SUBJECT", subject(i));
        t.replaceLogical("SENT", i % 2 == 0);
        t.replaceDate("DATESENT", faxlog::XDate(base + std::chrono::days{i % 1500}));
        std::snprintf(hhmm, sizeof hhmm, "%02ld:%02ld", i % 24, i % 60);
        t.replace("TIMESENT", hhmm);
        t.replace("RECIPIENT", "Recipient " + std::to_string(i));
        t.replace("PHONE", "555-" + std::to_string(i % 10000));
        t.replaceNumber("PAGES", static_cast<double>(i % 99));
        t.replace("LASTRESULT", "OK");
    }
    t.commit();
}

double runPython(const std::string& args) {
    const auto start = Clock::now();
    const std::string cmd = "/usr/bin/python3 " PARVANE_SOURCE_DIR "/faxlog/tests/oracles/dbf_oracle.py " + args +
                            " > /dev/null";
    if (std::system(cmd.c_str()) != 0)
        return -1;
    return seconds(start);
}

} // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 100000;
    const bool peer = !(argc > 2 && std::string(argv[2]) == "--no-peer");
    const auto dir = std::filesystem::temp_directory_path() / ("parvane-log-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::printf("log_bench: %ld records in %s\n", n, dir.c_str());

    faxlog::DbeEngine engine;
    faxlog::TDbeEnv env(engine);
    env.start();
    env.setDeleted(true);

    // Append with every tag of a rebuilt log.
    double appendSeconds;
    {
        faxlog::TDbeTable t(engine);
        std::string err;
        if (!faxlog::openLogTable(t, LogTableKind::Sent, dir, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        for (const auto& tag : faxlog::logTableDef(LogTableKind::Sent).rebuildTags)
            t.indexTag(tag.name, tag.key, tag.descending, tag.condition);
        const auto start = Clock::now();
        appendRecords(t, n);
        appendSeconds = seconds(start);
    }

    // Open and produce the first screen: 30 rows in DATESENT order, every grid column.
    faxlog::TDbeTable t(engine);
    const auto openStart = Clock::now();
    std::string err;
    if (!faxlog::openLogTable(t, LogTableKind::Sent, dir, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    std::size_t shown = 0;
    const std::size_t rows = t.rowCount();
    for (std::size_t i = 0; i < rows && i < 30; ++i, ++shown) {
        t.go(t.rowRecNo(i));
        for (const char* f : {"SENT", "DATESENT", "TIMESENT", "RECIPIENT", "PHONE", "PAGES", "SUBJECT", "LASTRESULT"})
            (void)t.getString(f);
    }
    const double firstScreen = seconds(openStart);

    // Seeks on the ascending date tag.
    t.setOrder(t.tagArea("DATEND"));
    const long seeks = 10000;
    auto start = Clock::now();
    long found = 0;
    for (long i = 0; i < seeks; ++i) {
        const auto d = faxlog::XDate(std::chrono::sys_days{std::chrono::year{2020} / 1 / 1} + std::chrono::days{i % 1500});
        found += t.seek(d.dtos());
    }
    const double seekSeconds = seconds(start);

    // Walk the DATESENT order reading a field of every record.
    t.setOrder(t.tagArea("DATESENT"));
    start = Clock::now();
    long walked = 0, sentCount = 0;
    for (t.goTop(); !t.eof(); t.skip()) {
        sentCount += t.getLogical("SENT");
        ++walked;
    }
    const double walkSeconds = seconds(start);

    // A query as the cleanup window builds them.
    start = Clock::now();
    t.query("\"RECIPIENT 99\"$ALLTRIM(UPPER(RECIPIENT))");
    const long matched = t.queryRecCount();
    const double querySeconds = seconds(start);
    t.close();

    // The python peer: the same appends into a fresh table, then a scan of it.
    const auto py = dir / "py.dbf";
    const double pyAppend = !peer ? -1 : runPython("append-dbf " + py.string() + " " + std::to_string(n));
    const double pyScan = pyAppend < 0 ? -1 : runPython("scan-dbf " + py.string());

    std::printf("append:        %9.0f records/s  (%.2f s, 4 tags)\n", n / appendSeconds, appendSeconds);
    std::printf("open + first screen (%zu rows of %zu): %.1f ms  (target < 100 ms)\n", shown, rows, firstScreen * 1e3);
    std::printf("seek:          %9.0f seeks/s   (%ld of %ld found)\n", seeks / seekSeconds, found, seeks);
    std::printf("walk DATESENT: %9.0f records/s  (%ld records, %ld sent)\n", walked / walkSeconds, walked, sentCount);
    std::printf("query:         %9.1f ms for %ld records (%ld match)\n", querySeconds * 1e3, n, matched);
    if (pyAppend > 0) {
        std::printf("python dbf append: %9.0f records/s  -> ratio %.1fx\n", n / pyAppend, pyAppend / appendSeconds);
        std::printf("python dbf scan:   %9.0f records/s  -> ratio %.1fx (walk in index order vs its natural scan)\n",
                    n / pyScan, pyScan / (walkSeconds + 1e-9));
    } else {
        std::printf("python dbf peer not available (/usr/bin/python3 with python3-dbf)\n");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
