// Whole fax calls in real time with fax programs nobody here wrote on the line's modems:
// the fixture starts the line, runs the programs and compares pages through libtiff's
// and netpbm's tools.
#pragma once

#include "vline_launcher.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include "oracle_skip.h"
#include "spawn_shell.h"

namespace vline::peer {

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A decoded page: rows of packed bits, 1 = black.
struct Bitmap {
    int width = 0;
    std::vector<std::string> rows;
};

inline Bitmap decode(const std::filesystem::path& tiff) {
    const auto pbm = tiff.string() + ".pbm";
    EXPECT_EQ(run("tifftopnm '" + tiff.string() + "' > '" + pbm + "' 2>/dev/null"), 0) << tiff;
    const std::string data = slurp(pbm);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    Bitmap b;
    b.width = w;
    EXPECT_EQ(magic, "P4");
    const std::size_t bytes = static_cast<std::size_t>((w + 7) / 8);
    std::size_t at = static_cast<std::size_t>(in.tellg());
    for (int r = 0; r < h && at + bytes <= data.size(); ++r, at += bytes)
        b.rows.push_back(data.substr(at, bytes));
    return b;
}

inline bool blank(const std::string& row) {
    return row.find_first_not_of('\0') == std::string::npos;
}

// efax puts a header band of 20 rows above the page it sends (left blank with -h "").
constexpr int kEfaxHeaderRows = 20;

inline void expectSamePage(const Bitmap& sent, const Bitmap& got, int headerRows) {
    ASSERT_EQ(got.width, sent.width);
    ASSERT_EQ(got.rows.size(), sent.rows.size() + static_cast<std::size_t>(headerRows));
    for (int r = 0; r < headerRows; ++r)
        EXPECT_TRUE(blank(got.rows[static_cast<std::size_t>(r)])) << "header row " << r;
    int differing = 0;
    for (std::size_t r = 0; r < sent.rows.size(); ++r)
        differing += sent.rows[r] != got.rows[r + static_cast<std::size_t>(headerRows)];
    EXPECT_EQ(differing, 0);
}

class EfaxCall : public ::testing::Test {
protected:
    void SetUp() override {
        if (run("command -v efax >/dev/null && command -v efix >/dev/null && "
                "command -v tifftopnm >/dev/null") != 0)
            PARVANE_SKIP_WITHOUT_ORACLE("efax, efix or tifftopnm missing (scripts/setup installs them)");
        dir_ = std::filesystem::temp_directory_path() /
               ("vline-efax-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "rx");
        std::ofstream(dir_ / "page.txt") << "Parvane virtual line test page\n\n"
                                            "  The quick brown fox jumps over the lazy dog.\n"
                                            "  0123456789 !\"#$%&'()*+,-./:;<=>?@[]^_{|}~\n";
        ASSERT_EQ(run("cd '" + dir_.string() +
                      "' && efix -i text -o tiffg3 -n page.tif page.txt "
                      "2>/dev/null"),
                  0);
        page_ = dir_ / "page.tif";
    }
    void TearDown() override {
        line_.reset();
        if (!HasFailure())
            std::filesystem::remove_all(dir_);
        else if (!dir_.empty())
            std::cerr << "logs kept in " << dir_ << '\n';
    }
    void startLine(std::vector<std::string> args) {
        LaunchOptions o;
        o.executable = PARVANE_VLINE_EXE;
        o.arguments = {"--log-dir", (dir_ / "logs").string()};
        o.arguments.insert(o.arguments.end(), args.begin(), args.end());
        line_.emplace(VirtualLine::start(o));
        ASSERT_GE(line_->ports().size(), 2u);
    }
    // efax on COMn with the given arguments; returns its exit status.
    // mode: the class efax uses, "-o1" (Class 1), "-o2" (Class 2) or "-o0" (Class 2.0).
    int efax(int com, const std::string& args, const std::string& log, const std::string& cwd = "",
             const std::string& mode = "-o1") {
        return run(efaxCommand(com, args, log, cwd, mode));
    }
    std::string efaxCommand(int com, const std::string& args, const std::string& log, const std::string& cwd = "",
                            const std::string& mode = "-o1") {
        return "cd '" + (cwd.empty() ? dir_.string() : cwd) + "' && timeout 150 efax -d " + line_->portPath(com) +
               " " + mode + " -vewinc " + args + " > '" + (dir_ / log).string() + "' 2>&1";
    }
    // mgetty's sendfax on COMn: cls ("cls2" or "c2.0"), then the number and G3 files.
    int sendfax(int com, const std::string& cls, const std::string& args, const std::string& log) {
        std::string dev = line_->portPath(com);
        if (dev.rfind("/dev/", 0) == 0)
            dev = dev.substr(5);
        return run("cd '" + dir_.string() + "' && timeout 150 sendfax -v -x 5 -C " + cls + " -l " +
                   dev + " " + args + " > '" + (dir_ / log).string() + "' 2>&1");
    }
    std::string results() { return slurp(dir_ / "logs" / "results.txt"); }

    std::filesystem::path dir_;
    std::filesystem::path page_;
    std::optional<VirtualLine> line_;
};

} // namespace vline::peer
