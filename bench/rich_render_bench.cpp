// Rendering rich text to a fax file: a document of N pages (several fonts, a hard page
// break per page) rendered to one fine APF file; pages per second and peak memory at 5
// and N pages (each in a child process of its own, so the peaks do not mix). In the same
// run the same document goes through LibreOffice to PDF and then our PDF reader to APF,
// and the ratio of the two times is printed.
//   rich_render_bench [pages]        (default 50; the goal is >= 10 pages/s, flat memory)
#include "workflow/render/apf_join.h"
#include "workflow/render/document_renderer.h"
#include "workflow/richtext/rtf_writer.h"

#include "faximage/apf_file.h"
#include "faximage/fax_converter.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kFamilies[] = {"Times New Roman", "Arial", "Courier New"};

void buildDocument(QTextDocument& doc, int pages) {
    QTextCursor c(&doc);
    int paragraph = 0;
    for (int page = 0; page < pages; ++page) {
        for (int p = 0; p < 12; ++p, ++paragraph) {
            if (paragraph > 0)
                c.insertBlock();
            QTextBlockFormat bf;
            bf.setBottomMargin(8);
            if (p == 0 && page > 0)
                bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            c.setBlockFormat(bf);
            QTextCharFormat cf;
            cf.setFontFamilies(QStringList{kFamilies[p % 3]});
            cf.setFontPointSize(10 + p % 5);
            cf.setFontWeight(p % 4 == 0 ? QFont::Bold : QFont::Normal);
            c.insertText(QStringLiteral("Page %1, paragraph %2: the quick brown fox jumps over the lazy dog "
                                        "while the shipment of copper fittings is counted twice.")
                             .arg(page + 1)
                             .arg(p + 1),
                         cf);
        }
    }
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct RenderFigures {
    double seconds = 0;
    long peakKb = 0;
    int pages = 0;
};

// In a child process: render `pages` pages to one APF file in dir.
RenderFigures renderInChild(int pages, const fs::path& dir) {
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int argc = 1;
        char name[] = "rich_render_bench";
        char* argv[] = {name, nullptr};
        QGuiApplication app(argc, argv);
        QTextDocument doc;
        buildDocument(doc, pages);
        const auto t0 = Clock::now();
        std::vector<fs::path> files;
        workflow::render::renderDocument(doc, dir, files);
        const fs::path joined = workflow::render::joinPageFiles(files);
        RenderFigures f;
        f.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        f.peakKb = peakKilobytes();
        faximage::ApfReader reader;
        f.pages = reader.open(joined) == 0 ? reader.pageCount() : -1;
        fs::remove(joined);
        if (write(fds[1], &f, sizeof f) != static_cast<ssize_t>(sizeof f))
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    RenderFigures f;
    if (read(fds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f))
        f.pages = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char pattern[] = "/tmp/parvane-rich-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path dir = pattern;

    const RenderFigures small = renderInChild(5, dir);
    const RenderFigures large = renderInChild(pages, dir);
    std::printf("rich text to APF: %d pages in %.2f s = %.1f pages/s (goal >= 10)\n", large.pages, large.seconds,
                large.pages / large.seconds);
    std::printf("peak memory: %ld kB at %d pages, %ld kB at %d pages (%+.1f %%)\n", small.peakKb, small.pages,
                large.peakKb, large.pages, 100.0 * (large.peakKb - small.peakKb) / small.peakKb);

    // The same document through LibreOffice to PDF, then our PDF reader to APF.
    {
        int qargc = 1;
        char name[] = "rich_render_bench";
        char* qargv[] = {name, nullptr};
        QGuiApplication app(qargc, qargv);
        QTextDocument doc;
        buildDocument(doc, pages);
        const QByteArray rtf = workflow::richtext::writeRtf(doc);
        std::ofstream(dir / "doc.rtf", std::ios::binary).write(rtf.constData(), rtf.size());
    }
    const auto t0 = Clock::now();
    const std::string command = "cd '" + dir.string() + "' && HOME='" + dir.string() +
                                "' soffice --headless --convert-to pdf doc.rtf >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !fs::exists(dir / "doc.pdf")) {
        std::printf("LibreOffice: conversion to PDF failed (is libreoffice-writer-nogui installed?)\n");
        fs::remove_all(dir);
        return 1;
    }
    const double officeSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto t1 = Clock::now();
    faximage::TVelkFaxConverter converter;
    converter.InputDocumentType = faximage::TFaxInputDocumentType::idPdf;
    converter.Resolution = faximage::TFaxResolution::frHigh;
    converter.SetDocumentFile((dir / "doc.pdf").string());
    converter.OutFileName = (dir / "doc.apf").string();
    converter.ConvertToFile();
    const double pdfSeconds = std::chrono::duration<double>(Clock::now() - t1).count();
    faximage::ApfReader reader;
    const int pdfPages = reader.open(dir / "doc.apf") == 0 ? reader.pageCount() : -1;
    std::printf("LibreOffice to PDF %.2f s + PDF reader to APF %.2f s = %.2f s for %d pages (%.1f pages/s)\n",
                officeSeconds, pdfSeconds, officeSeconds + pdfSeconds, pdfPages,
                pdfPages / (officeSeconds + pdfSeconds));
    std::printf("ratio: our renderer takes %.2f of the time of the LibreOffice road\n",
                large.seconds / (officeSeconds + pdfSeconds));
    fs::remove_all(dir);
    return 0;
}
