// Whole fax calls in real time: efax, a fax program nobody here wrote, on the line's
// modems, against the built-in far end and against another efax. Images are compared
// pixel by pixel through libtiff's and netpbm's tools.
#include "vline_launcher.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace vline;

namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A decoded page: rows of packed bits, 1 = black.
struct Bitmap {
    int width = 0;
    std::vector<std::string> rows;
};

Bitmap decode(const std::filesystem::path& tiff) {
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

bool blank(const std::string& row) { return row.find_first_not_of('\0') == std::string::npos; }

// efax puts a header band of 20 rows above the page it sends (left blank with -h "").
constexpr int kEfaxHeaderRows = 20;

void expectSamePage(const Bitmap& sent, const Bitmap& got, int headerRows) {
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
            GTEST_SKIP() << "efax, efix or tifftopnm missing (scripts/setup installs them)";
        dir_ = std::filesystem::temp_directory_path() /
               ("vline-efax-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "rx");
        std::ofstream(dir_ / "page.txt") << "Parvane virtual line test page\n\n"
                                            "  The quick brown fox jumps over the lazy dog.\n"
                                            "  0123456789 !\"#$%&'()*+,-./:;<=>?@[]^_{|}~\n";
        ASSERT_EQ(run("cd '" + dir_.string() + "' && efix -i text -o tiffg3 -n page.tif page.txt "
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
    int efax(int com, const std::string& args, const std::string& log, const std::string& cwd = "") {
        std::string cmd = "cd '" + (cwd.empty() ? dir_.string() : cwd) + "' && timeout 150 efax -d " +
                          line_->portPath(com) + " -o1 -vewinc " + args + " > '" +
                          (dir_ / log).string() + "' 2>&1";
        return run(cmd);
    }
    std::string results() { return slurp(dir_ / "logs" / "results.txt"); }

    std::filesystem::path dir_;
    std::filesystem::path page_;
    std::optional<VirtualLine> line_;
};

} // namespace

TEST_F(EfaxCall, EfaxSendsToTheFarEnd) {
    startLine({"--ident", "+1 555 0200"});
    ASSERT_EQ(efax(1, "-l '+1 555 0100' -h '' -t 200 page.tif", "efax.log"), 0)
        << slurp(dir_ / "efax.log");
    line_->stop();
    const std::string r = results();
    EXPECT_NE(r.find("direction=receive result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("pages=1 "), std::string::npos) << r;
    EXPECT_NE(r.find("remote_id=\"+1 555 0100\""), std::string::npos) << r;
    // efax saw our station identifier.
    EXPECT_NE(slurp(dir_ / "efax.log").find("+1 555 0200"), std::string::npos);
    auto received = dir_ / "logs" / "received" / "fax-0001-200.tif";
    ASSERT_TRUE(std::filesystem::exists(received));
    expectSamePage(decode(page_), decode(received), kEfaxHeaderRows);
}

TEST_F(EfaxCall, FarEndSendsToEfax) {
    startLine({"--send", page_.string(), "--send-to", "101", "--ecm", "off"});
    ASSERT_EQ(efax(2, "-l '+1 555 0101' -r recv", "efax.log", (dir_ / "rx").string()), 0)
        << slurp(dir_ / "efax.log");
    line_->stop();
    const std::string r = results();
    EXPECT_NE(r.find("number=201 direction=send result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("remote_id=\"+1 555 0101\""), std::string::npos) << r;
    ASSERT_TRUE(std::filesystem::exists(dir_ / "rx" / "recv.001"));
    expectSamePage(decode(page_), decode(dir_ / "rx" / "recv.001"), 0);
}

TEST_F(EfaxCall, EfaxSendsToEfax) {
    startLine({});
    // The receiver waits for RING and answers with ATA.
    pid_t rx = ::fork();
    ASSERT_GE(rx, 0);
    if (rx == 0)
        ::_exit(efax(2, "-r recv", "efax-rx.log", (dir_ / "rx").string()));
    ::sleep(2);
    const int txStatus = efax(1, "-h '' -t 101 page.tif", "efax-tx.log");
    int st = 0;
    ::waitpid(rx, &st, 0);
    EXPECT_EQ(txStatus, 0) << slurp(dir_ / "efax-tx.log");
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax-rx.log");
    ASSERT_TRUE(std::filesystem::exists(dir_ / "rx" / "recv.001"));
    expectSamePage(decode(page_), decode(dir_ / "rx" / "recv.001"), kEfaxHeaderRows);
}

TEST_F(EfaxCall, FaultsReachEfax) {
    std::ofstream(dir_ / "faults.conf") << "[modem 100]\n[modem 101]\n"
                                           "[number 300]\ncondition = busy\n"
                                           "[number 301]\ncondition = no-answer\nno-answer-after = 5s\n"
                                           "[farend 304]\nhangup-mid-page = 1\nmid-page-delay = 0.5s\n"
                                           "[farend 305]\nnoise = -25\n";
    startLine({"--config", (dir_ / "faults.conf").string()});
    // efax: 1 = busy, 2 = dial failed (NO ANSWER), 3 = the session failed.
    EXPECT_EQ(efax(1, "-t 300 page.tif", "busy.log"), 1);
    EXPECT_NE(slurp(dir_ / "busy.log").find("\"BUSY\""), std::string::npos);
    EXPECT_EQ(efax(1, "-t 301 page.tif", "noanswer.log"), 2);
    EXPECT_NE(slurp(dir_ / "noanswer.log").find("\"NO ANSWER\""), std::string::npos);
    EXPECT_NE(efax(1, "-t 304 page.tif", "midpage.log"), 0);
    EXPECT_NE(efax(1, "-t 305 page.tif", "noise.log"), 0);
    line_->stop();
    const std::string r = results();
    std::istringstream lines(r);
    std::string l304, l305;
    for (std::string l; std::getline(lines, l);) {
        if (l.find("number=304 ") != std::string::npos)
            l304 = l;
        if (l.find("number=305 ") != std::string::npos)
            l305 = l;
    }
    EXPECT_NE(l304.find("hangup=\"far end hung up in the middle of page 1\""), std::string::npos) << r;
    EXPECT_EQ(l304.find(" result=0 "), std::string::npos) << l304;
    // On the noisy line the far end's result shows the failure.
    ASSERT_FALSE(l305.empty()) << r;
    EXPECT_EQ(l305.find(" result=0 "), std::string::npos) << l305;
    EXPECT_NE(l305.find(" pages=0 "), std::string::npos) << l305;
}
