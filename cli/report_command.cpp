// parvane-cli report FILE: a call report (or a dispatch log dump) read and explained.
#include "cli_args.h"

#include "faxengine/call_report.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace cli {

int runReport(const CliArgs& args) {
    if (args.words.size() != 2) {
        std::fputs("usage: parvane-cli report FILE.call|LOG [--finish CODE]\n", stderr);
        return 2;
    }
    const std::string file = args.words[1];
    // A bare log does not say how the call ended; the caller may.
    std::optional<int> finish;
    if (auto code = args.value("--finish"))
        finish = std::atoi(code->c_str());
    const auto report = faxengine::readCallReportFile(file, finish);
    if (!report) {
        std::fprintf(stderr, "parvane-cli report: cannot read %s\n", file.c_str());
        return 1;
    }
    std::printf("Cause: %s\n", std::string(faxengine::to_string(report->cause)).c_str());
    std::fputs(faxengine::formatCallReport(*report).c_str(), stdout);
    return 0;
}

} // namespace cli
