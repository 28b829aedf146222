// The fax viewer: time to the first page of a 50-page fine fax and to its last page, and
// the memory the viewer holds with and without "load whole fax". Compared, in the same
// run, with what the desktop's tools need to show page 1 of the same pages: fax2tiff
// (raw MH to TIFF), tiff2pdf and pdftoppm -f 1 -l 1.
//   viewer_bench [pages]       (goal: first page under 100 ms)
#include "faximage/apf_file.h"
#include "faximage/mh_encoder.h"
#include "test_pages.h"
#include "unpack_test_support.h"
#include "workflow/viewer/viewer_widget.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace faximage;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1728;
constexpr int kRows = 2200;
constexpr int kRuns = 5;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Kilobytes of a /proc/self/status field ("VmRSS", "VmHWM").
long procKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int pages = argc > 1 ? std::max(2, std::atoi(argv[1])) : 50;
    QApplication app(argc, argv);
    testing::TempDir dir;

    // The same pages as an APF file and as raw MH streams for fax2tiff.
    std::vector<testing::TestPage> coded;
    std::string rawFiles;
    for (int p = 0; p < pages; ++p) {
        const MonoBitmap page = testing::makePage(p % 2 ? testing::PageKind::Mixed : testing::PageKind::Text,
                                                  kWidth, kRows, static_cast<unsigned>(p + 1));
        coded.push_back(testing::encodedPage(page, true));
        std::vector<std::uint8_t> raw;
        for (const auto& line : coded.back().records)
            raw.insert(raw.end(), line.begin(), line.end());
        const auto name = dir / ("p" + std::to_string(1000 + p) + ".mh");
        testing::writeFile(name, raw);
        rawFiles += " '" + name.string() + "'";
    }
    testing::writeApf(dir / "fax.apf", coded);
    std::printf("fax: %d fine pages %dx%d, %.1f MB\n", pages, kWidth, kRows,
                static_cast<double>(std::filesystem::file_size(dir / "fax.apf")) / 1e6);

    workflow::viewer::TViewer viewer;
    viewer.resize(1000, 800);
    viewer.show();
    QApplication::processEvents();
    const long rssBefore = procKb("VmRSS");

    std::vector<double> first, last;
    long rssShown = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto t0 = Clock::now();
        if (viewer.setFile(dir / "fax.apf") != 0)
            return 1;
        viewer.viewport()->repaint();
        first.push_back(msSince(t0));
        t0 = Clock::now();
        viewer.gotoPage(pages);
        viewer.viewport()->repaint();
        last.push_back(msSince(t0));
        rssShown = std::max(rssShown, procKb("VmRSS"));
    }
    std::printf("viewer: first page %.1f ms (median of %d, best %.1f), page %d %.1f ms; goal < 100 ms: %s\n",
                median(first), kRuns, *std::min_element(first.begin(), first.end()), pages, median(last),
                median(first) < 100 ? "met" : "MISSED");
    std::printf("viewer memory, one page decoded: RSS %+ld kB over the empty viewer (%d page(s) held)\n",
                rssShown - rssBefore, viewer.store().decodedPages());
    auto t0 = Clock::now();
    viewer.setLoadWholeFax(true);
    const double wholeMs = msSince(t0);
    std::printf("load whole fax: %.0f ms, RSS %+ld kB over the empty viewer (%d pages held)\n", wholeMs,
                procKb("VmRSS") - rssBefore, viewer.store().decodedPages());
    viewer.setLoadWholeFax(false);

    // The desktop tools: raw MH to TIFF, TIFF to PDF, page 1 to an image.
    const std::string cmd = "cd '" + dir.path().string() + "' && fax2tiff -1 -L -R 196 -X 1728 -o all.tif" + rawFiles +
                            " 2>/dev/null && tiff2pdf -o all.pdf all.tif 2>/dev/null && pdftoppm -f 1 -l 1 -r 100 "
                            "-mono all.pdf shown >/dev/null 2>&1";
    std::vector<double> tools;
    for (int run = 0; run < 3; ++run) {
        t0 = Clock::now();
        if (testing::run(cmd) != 0) {
            std::printf("fax2tiff/tiff2pdf/pdftoppm failed (are libtiff-tools and poppler-utils installed?)\n");
            return 1;
        }
        tools.push_back(msSince(t0));
    }
    std::printf("fax2tiff + tiff2pdf + pdftoppm page 1: %.0f ms (median of 3)\n", median(tools));
    std::printf("ratio tools / viewer, time to the first page: %.1f\n", median(tools) / median(first));
    return 0;
}
