// Class 2 and Class 2.0 modems in whole calls in real time: efax and mgetty's sendfax
// drive them against the built-in far end and against each other's modems.
#include "fax_peer.h"
#include "oracle_skip.h"
#include "spawn_shell.h"

using namespace vline;
using namespace vline::peer;

namespace {

class ClassTwoCall : public EfaxCall {
protected:
    // What the far end received from the call to 200, against the page sent.
    void expectFarEndGot(int headerRows, const std::filesystem::path& sent) {
        const std::string r = results();
        EXPECT_NE(r.find("number=200 direction=receive result=0 "), std::string::npos) << r;
        EXPECT_NE(r.find("pages=1 "), std::string::npos) << r;
        auto received = dir_ / "logs" / "received" / "fax-0001-200.tif";
        ASSERT_TRUE(std::filesystem::exists(received));
        expectSamePage(decode(sent), decode(received), headerRows);
    }
    // The page as a raw G3 file for sendfax (through netpbm and mgetty's pbm2g3).
    std::filesystem::path g3Page() {
        const auto g3 = dir_ / "page.g3";
        EXPECT_EQ(run("tifftopnm '" + page_.string() + "' 2>/dev/null | pbm2g3 > '" + g3.string() +
                      "' 2>/dev/null"),
                  0);
        return g3;
    }
    std::string callLog() {
        std::string all;
        for (const auto& e : std::filesystem::directory_iterator(dir_ / "logs"))
            if (e.path().extension() == ".log")
                all += slurp(e.path());
        return all;
    }
};

struct Mode {
    const char* efaxOption;
    const char* name;
    const char* hangupReport; // what the modem says at the normal end
};
constexpr Mode kClass2{"-o2", "Class2", "+FHNG:0"};
constexpr Mode kClass20{"-o0", "Class20", "+FHS:00"};

class EfaxClassTwo : public ClassTwoCall, public ::testing::WithParamInterface<Mode> {};

} // namespace

TEST_P(EfaxClassTwo, SendsToTheFarEnd) {
    startLine({"--classes", "0,1,2,2.0", "--ident", "+1 555 0200"});
    ASSERT_EQ(
        efax(1, "-l '+1 555 0100' -h '' -t 200 page.tif", "efax.log", "", GetParam().efaxOption), 0)
        << slurp(dir_ / "efax.log");
    line_->stop();
    expectFarEndGot(kEfaxHeaderRows, page_);
    EXPECT_NE(results().find("remote_id=\"+1 555 0100\""), std::string::npos) << results();
    const std::string log = callLog();
    EXPECT_NE(log.find(GetParam().hangupReport), std::string::npos) << log;
    // The far end's identifier reached efax through +FCSI / +FCI.
    EXPECT_NE(slurp(dir_ / "efax.log").find("+1 555 0200"), std::string::npos);
}

TEST_P(EfaxClassTwo, ReceivesFromTheFarEnd) {
    startLine(
        {"--classes", "0,1,2,2.0", "--send", page_.string(), "--send-to", "100", "--ecm", "off"});
    ASSERT_EQ(efax(1, "-l '+1 555 0101' -r recv", "efax.log", (dir_ / "rx").string(),
                   GetParam().efaxOption),
              0)
        << slurp(dir_ / "efax.log");
    line_->stop();
    const std::string r = results();
    EXPECT_NE(r.find("number=201 direction=send result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("remote_id=\"+1 555 0101\""), std::string::npos) << r;
    // efax reverses Class 2 data and takes Class 2.0 data as it comes: either way the
    // page must decode to the far end's image.
    ASSERT_TRUE(std::filesystem::exists(dir_ / "rx" / "recv.001"));
    expectSamePage(decode(page_), decode(dir_ / "rx" / "recv.001"), 0);
}

INSTANTIATE_TEST_SUITE_P(Classes, EfaxClassTwo, ::testing::Values(kClass2, kClass20),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClassTwoCall, SendfaxInBothClasses) {
    if (run("command -v sendfax >/dev/null && command -v pbm2g3 >/dev/null") != 0)
        PARVANE_SKIP_WITHOUT_ORACLE("mgetty-fax missing (scripts/setup installs it)");
    ASSERT_TRUE(std::filesystem::file_size(g3Page()) > 0);
    startLine({"--classes", "0,1,2,2.0", "--ident", "+1 555 0200"});
    ASSERT_EQ(sendfax(1, "cls2", "200 page.g3", "sendfax-2.log"), 0)
        << slurp(dir_ / "sendfax-2.log");
    ASSERT_EQ(sendfax(1, "c2.0", "200 page.g3", "sendfax-20.log"), 0)
        << slurp(dir_ / "sendfax-20.log");
    line_->stop();
    const std::string r = results();
    std::istringstream lines(r);
    int good = 0;
    for (std::string l; std::getline(lines, l);)
        good += l.find("number=200 direction=receive result=0 ") != std::string::npos &&
                l.find("pages=1 ") != std::string::npos;
    EXPECT_EQ(good, 2) << r;
    for (const char* name : {"fax-0001-200.tif", "fax-0002-200.tif"}) {
        const auto received = dir_ / "logs" / "received" / name;
        ASSERT_TRUE(std::filesystem::exists(received)) << name;
        // page.g3 holds page.tif's pixels.
        expectSamePage(decode(page_), decode(received), 0);
    }
    const std::string log = callLog();
    EXPECT_NE(log.find("+FHNG:0"), std::string::npos);
    EXPECT_NE(log.find("+FHS:00"), std::string::npos);
}

// Mixed calls between the line's modems: Class 2.0 to Class 1 and Class 1 to Class 2.
TEST_F(ClassTwoCall, MixedClassesBetweenModems) {
    startLine({"--classes", "0,1,2,2.0"});
    struct Leg {
        const char* txMode;
        const char* rxMode;
    };
    for (Leg leg : {Leg{"-o0", "-o1"}, Leg{"-o1", "-o2"}}) {
        SCOPED_TRACE(std::string(leg.txMode) + " to " + leg.rxMode);
        std::filesystem::remove_all(dir_ / "rx");
        std::filesystem::create_directories(dir_ / "rx");
        const pid_t rx = spawnShell(efaxCommand(2, "-r recv", "efax-rx.log", (dir_ / "rx").string(), leg.rxMode));
        ASSERT_GE(rx, 0);
        ::sleep(2);
        const int txStatus = efax(1, "-h '' -t 101 page.tif", "efax-tx.log", "", leg.txMode);
        int st = 0;
        ::waitpid(rx, &st, 0);
        EXPECT_EQ(txStatus, 0) << slurp(dir_ / "efax-tx.log");
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax-rx.log");
        ASSERT_TRUE(std::filesystem::exists(dir_ / "rx" / "recv.001"));
        expectSamePage(decode(page_), decode(dir_ / "rx" / "recv.001"), kEfaxHeaderRows);
    }
}
