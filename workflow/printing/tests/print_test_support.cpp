#include "print_test_support.h"

#include "faximage/apf_file.h"
#include "faximage/mh_encoder.h"

#include <array>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace print_test {

void writeFax(const fs::path& file, const std::vector<FaxPage>& pages) {
    faximage::ApfWriter w;
    if (w.create(file) != 0)
        throw std::runtime_error("cannot create " + file.string());
    for (const FaxPage& p : pages) {
        const std::uint16_t flags = static_cast<std::uint16_t>(
            (p.fine ? faximage::kApfHighResolution : 0) | (p.image.width() > 1728 ? faximage::kApfWide : 0));
        if (p.damaged) {
            w.beginRawPage(flags);
            const std::vector<std::uint8_t> junk(6000, 0xFF);
            w.appendRaw(junk);
            w.endRawPage();
            continue;
        }
        faximage::MhLineLayout layout;
        layout.width = p.image.width();
        for (int y = 0; y < p.image.height(); ++y) {
            const auto coded = faximage::encodeMhLine(p.image.rowSpan(y), layout);
            if (w.appendLine(coded, flags) != 0)
                throw std::runtime_error("cannot write " + file.string());
        }
        w.endPage(flags);
    }
    if (w.close("PARVANE TEST") != 0)
        throw std::runtime_error("cannot close " + file.string());
}

namespace {
void fill(faximage::MonoBitmap& b, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            b.setBlack(x, y, true);
}
} // namespace

FaxPage barsPage(int bars, bool fine, int width) {
    const int unit = fine ? 120 : 60;
    const int rows = fine ? 2200 : 1100;
    FaxPage p{faximage::MonoBitmap(width, rows), fine, false};
    for (int i = 0; i < bars; ++i)
        fill(p.image, 100, unit * (1 + 2 * i), width - 100, unit * (2 + 2 * i));
    return p;
}

FaxPage framePage(bool fine, int width, int fineRows) {
    const int rows = fine ? fineRows : fineRows / 2;
    const int edge = fine ? 16 : 8;
    FaxPage p{faximage::MonoBitmap(width, rows), fine, false};
    fill(p.image, 0, 0, width, edge);
    fill(p.image, 0, rows - edge, width, rows);
    fill(p.image, 0, 0, 16, rows);
    fill(p.image, width - 16, 0, width, rows);
    return p;
}

FaxPage damagedPage() { return FaxPage{faximage::MonoBitmap(1728, 10), true, true}; }

int run(const std::string& command, std::string* out) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        if (out)
            out->append(buf.data(), n);
    const int raw = ::pclose(p);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool haveTool(const std::string& name) {
    return run("command -v " + name + " >/dev/null 2>&1") == 0;
}

PdfInfo pdfInfo(const fs::path& pdf) {
    std::string out;
    PdfInfo info;
    if (run("pdfinfo '" + pdf.string() + "' 2>/dev/null", &out) != 0)
        return info;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Pages:", 0) == 0)
            info.pages = std::stoi(line.substr(6));
        else if (line.rfind("Page size:", 0) == 0)
            std::sscanf(line.c_str() + 10, " %lf x %lf", &info.widthPt, &info.heightPt);
    }
    return info;
}

Sheet renderSheet(const fs::path& pdf, int page, int dpi, const fs::path& workDir) {
    const fs::path base = workDir / ("sheet" + std::to_string(page));
    const std::string cmd = "pdftoppm -aaVector no -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) +
                            " -l " + std::to_string(page) + " -singlefile '" + pdf.string() + "' '" +
                            base.string() + "'";
    Sheet s;
    if (run(cmd) != 0)
        return s;
    std::ifstream in(base.string() + ".pgm", std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> s.width >> s.height >> maxval;
    in.get();
    s.grey.resize(std::size_t(s.width) * s.height);
    in.read(reinterpret_cast<char*>(s.grey.data()), std::streamsize(s.grey.size()));
    return s;
}

Box inkBox(const Sheet& s, int x0, int y0, int x1, int y1) {
    Box b{x1, y1, -1, -1};
    b.right = x0 - 1;
    b.bottom = y0 - 1;
    for (int y = y0; y <= y1 && y < s.height; ++y)
        for (int x = x0; x <= x1 && x < s.width; ++x)
            if (s.dark(x, y)) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

int darkRunsDown(const Sheet& s, int x, int y0, int y1) {
    int runs = 0;
    bool inRun = false;
    for (int y = y0; y <= y1 && y < s.height; ++y) {
        const bool d = s.dark(x, y);
        if (d && !inRun)
            ++runs;
        inRun = d;
    }
    return runs;
}

std::string ocr(const Sheet& s, int x0, int y0, int x1, int y1, const fs::path& workDir) {
    const fs::path img = workDir / "ocr.pgm";
    {
        std::ofstream out(img, std::ios::binary);
        const int w = x1 - x0 + 1, h = y1 - y0 + 1;
        out << "P5\n" << w << " " << h << "\n255\n";
        for (int y = y0; y <= y1; ++y)
            out.write(reinterpret_cast<const char*>(&s.grey[std::size_t(y) * s.width + x0]), w);
    }
    std::string text;
    run("tesseract '" + img.string() + "' stdout --psm 6 2>/dev/null", &text);
    return text;
}

TempDir::TempDir() {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
            ("parvane_print_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!std::getenv("PARVANE_KEEP_TEST_FILES"))
        fs::remove_all(path_, ec);
}

} // namespace print_test
