// Printing speed and memory of our side: a fine fax of text-like pages printed to a PDF
// file through the fax printer (decode, layout, Qt's PDF writer). Each run is a child
// process of its own so its peak RSS is its own; a flat peak from 10 to 50 pages shows
// that pages are not held.
//   fax_print_bench [pages]        (default 50)
#include "workflow/printing/print_fax.h"

#include "faximage/apf_file.h"
#include "faximage/mh_encoder.h"
#include "test_pages.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
namespace wp = workflow::printing;
using Clock = std::chrono::steady_clock;

namespace {

void writeFineFax(const fs::path& file, int pages) {
    faximage::ApfWriter w;
    w.create(file);
    const std::uint16_t flags = faximage::kApfHighResolution;
    for (int p = 0; p < pages; ++p) {
        const faximage::MonoBitmap page =
            faximage::testing::makePage(faximage::testing::PageKind::Text, 1728, 2200, 1 + p % 7);
        faximage::MhLineLayout layout;
        for (int y = 0; y < page.height(); ++y)
            w.appendLine(faximage::encodeMhLine(page.rowSpan(y), layout), flags);
        w.endPage(flags);
    }
    w.close("BENCH");
}

struct RunFigures {
    double seconds = 0;
    double decodeSeconds = 0;
    long peakKb = 0;
    std::uintmax_t pdfBytes = 0;
};

// Prints `pages` pages in a child process; the child reports its times through a pipe.
RunFigures runChild(const fs::path& dir, int pages) {
    const fs::path fax = dir / ("bench" + std::to_string(pages) + ".apf");
    const fs::path pdf = dir / ("bench" + std::to_string(pages) + ".pdf");
    writeFineFax(fax, pages);
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int argc = 1;
        char name[] = "fax_print_bench";
        char* argv[] = {name, nullptr};
        QGuiApplication app(argc, argv);
        wp::FaxPrintOptions o;
        o.pdfFile = pdf;
        o.header = o.footer = true;
        double decode = 0;
        Clock::time_point decodeStart;
        wp::FaxPrintHooks hooks;
        hooks.onStatus = [&](wp::TVelkFaxPrinter&, wp::PrintStatus s) {
            if (s == wp::PrintStatus::Converting)
                decodeStart = Clock::now();
            else if (s == wp::PrintStatus::Composing)
                decode += std::chrono::duration<double>(Clock::now() - decodeStart).count();
        };
        const auto t0 = Clock::now();
        const wp::FaxPrintResult r = wp::printFax(fax, o, hooks);
        const double total = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!r.ok())
            std::fprintf(stderr, "print failed: %s\n", r.message.c_str());
        const double figures[2] = {total, decode};
        (void)!write(fds[1], figures, sizeof figures);
        _exit(r.ok() ? 0 : 1);
    }
    close(fds[1]);
    RunFigures f;
    double figures[2] = {0, 0};
    (void)!read(fds[0], figures, sizeof figures);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.seconds = figures[0];
    f.decodeSeconds = figures[1];
    f.peakKb = usage.ru_maxrss;
    std::error_code ec;
    f.pdfBytes = fs::file_size(pdf, ec);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(10, std::atoi(argv[1])) : 50;
    const fs::path dir = fs::temp_directory_path() / ("fax_print_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("fine 1728 x 2200 text pages, header and footer, printed to a PDF file\n");
    std::printf("%6s %10s %10s %12s %10s %12s\n", "pages", "seconds", "pages/s", "decode s", "peak MB",
                "PDF KB/page");
    long peak10 = 0, peakN = 0;
    for (const int n : {10, pages}) {
        const RunFigures f = runChild(dir, n);
        std::printf("%6d %10.2f %10.1f %12.2f %10.1f %12.1f\n", n, f.seconds, n / f.seconds,
                    f.decodeSeconds, f.peakKb / 1024.0, f.pdfBytes / 1024.0 / n);
        (n == 10 ? peak10 : peakN) = f.peakKb;
    }
    std::printf("peak RSS %d pages / 10 pages: %.2f\n", pages, double(peakN) / double(peak10));
    fs::remove_all(dir);
    return 0;
}
