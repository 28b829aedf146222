#include "vline_fixture.h"

#include <cstdio>

#include "faximage/apf_file.h"
#include "faximage/unpack_engine.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include "oracle_skip.h"

namespace faxengine::linetest {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int run(const std::string& cmd) {
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool haveTool(const std::string& name) { return run("command -v " + name + " >/dev/null") == 0; }

std::string commandOutput(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::set<fs::path> filesWithExtension(const fs::path& dir, const std::string& ext) {
    std::set<fs::path> s;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ext)
            s.insert(e.path());
    return s;
}

Page decodeTiff(const fs::path& tiff, int index) {
    const std::string pbm = tiff.string() + "." + std::to_string(index) + ".pbm";
    // tiffcp picks one page out of a multi-page file by its directory number.
    const std::string one = tiff.string() + "." + std::to_string(index) + ".tif";
    EXPECT_EQ(run("tiffcp '" + tiff.string() + "," + std::to_string(index) + "' '" + one +
                  "' 2>/dev/null && tifftopnm '" + one + "' > '" + pbm + "' 2>/dev/null"),
              0)
        << tiff << " page " << index;
    const std::string data = slurp(pbm);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    Page p;
    p.width = w;
    if (!in)
        return p;
    const std::size_t bytes = static_cast<std::size_t>((w + 7) / 8);
    std::size_t at = static_cast<std::size_t>(in.tellg());
    for (int r = 0; r < h && at + bytes <= data.size(); ++r, at += bytes)
        p.rows.push_back(data.substr(at, bytes));
    return p;
}

int tiffPageCount(const fs::path& tiff) {
    // tiffinfo prints one "TIFF Directory at offset" line per page.
    const fs::path out = tiff.string() + ".info";
    run("tiffinfo '" + tiff.string() + "' > '" + out.string() + "' 2>/dev/null");
    std::istringstream in(slurp(out));
    int n = 0;
    for (std::string l; std::getline(in, l);)
        n += l.rfind("TIFF Directory at offset", 0) == 0;
    return n;
}

Page decodeApf(const fs::path& apf, int page) {
    faximage::MonoBitmap bm;
    faximage::ApfPageHeader header;
    Page p;
    EXPECT_EQ(faximage::unpackPageToRaster(apf, page, bm, header), 0) << apf << " page " << page;
    p.width = bm.width();
    for (int y = 0; y < bm.height(); ++y) {
        std::string row(reinterpret_cast<const char*>(bm.row(y)), faximage::MonoBitmap::bytesForWidth(bm.width()));
        if (bm.sense() != faximage::PixelSense::OneIsBlack)
            for (char& c : row)
                c = static_cast<char>(~c);
        p.rows.push_back(row);
    }
    return p;
}

int differingRows(const Page& sent, const Page& got, std::size_t firstRow) {
    int differing = 0;
    if (got.rows.size() < firstRow + sent.rows.size())
        differing += static_cast<int>(firstRow + sent.rows.size() - got.rows.size());
    else
        differing += static_cast<int>(got.rows.size() - firstRow - sent.rows.size());
    for (std::size_t r = 0; r < sent.rows.size() && firstRow + r < got.rows.size(); ++r) {
        std::string expected = sent.rows[r];
        const std::string& row = got.rows[firstRow + r];
        expected.resize(row.size(), '\0');
        differing += expected != row;
    }
    return differing;
}

std::string resultField(const std::string& line, const std::string& key) {
    const std::string k = " " + key + "=";
    auto at = line.find(k);
    if (at == std::string::npos) {
        if (line.rfind(key + "=", 0) != 0)
            return {};
        at = 0;
    } else {
        ++at;
    }
    at += key.size() + 1;
    if (at < line.size() && line[at] == '"')
        return line.substr(at + 1, line.find('"', at + 1) - at - 1);
    return line.substr(at, line.find(' ', at) - at);
}

void VlineTest::SetUp() {
    if (!haveTool("tifftopnm") || !haveTool("tiffcp"))
        PARVANE_SKIP_WITHOUT_ORACLE("tifftopnm or tiffcp missing (scripts/setup installs them)");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    dir_ = fs::temp_directory_path() / ("fax-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

void VlineTest::TearDown() {
    line_.reset();
    if (dir_.empty())
        return;
    // PARVANE_KEEP_CALLS keeps the logs of passing calls too, to compare with failing ones.
    if (!HasFailure() && !std::getenv("PARVANE_KEEP_CALLS"))
        fs::remove_all(dir_);
    else
        std::cerr << "files kept in " << dir_ << '\n';
}

void VlineTest::startLine(std::vector<std::string> arguments) {
    vline::LaunchOptions o;
    o.executable = PARVANE_VLINE_EXE;
    o.arguments = {"--log-dir", (dir_ / "logs").string()};
    o.arguments.insert(o.arguments.end(), arguments.begin(), arguments.end());
    line_.emplace(vline::VirtualLine::start(o));
    ASSERT_GE(line_->ports().size(), 1u);
}

void VlineTest::startLineWithConfig(const std::string& config, std::vector<std::string> more) {
    std::ofstream(dir_ / "line.conf") << config;
    more.insert(more.begin(), {"--config", (dir_ / "line.conf").string()});
    startLine(std::move(more));
}

void VlineTest::stopLine() {
    if (line_)
        line_->stop();
}

std::vector<std::string> VlineTest::results() const {
    std::istringstream in(slurp(dir_ / "logs" / "results.txt"));
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        if (!l.empty())
            lines.push_back(l);
    return lines;
}

std::string VlineTest::lastResult() const {
    const auto all = results();
    return all.empty() ? std::string{} : all.back();
}

fs::path VlineTest::makeTextApf(const std::string& name, const std::string& text,
                                faximage::TFaxResolution resolution, faximage::TFaxWidth width) {
    std::ofstream(dir_ / (name + ".txt")) << text;
    faximage::TVelkFaxConverter c;
    c.InputDocumentType = faximage::TFaxInputDocumentType::idText;
    c.Resolution = resolution;
    c.Width = width;
    c.SetDocumentFile((dir_ / (name + ".txt")).string());
    c.OutFileName = (dir_ / (name + ".apf")).string();
    c.ConvertToFile();
    return dir_ / (name + ".apf");
}

} // namespace faxengine::linetest
