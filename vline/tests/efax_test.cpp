// Whole fax calls in real time: efax, a fax program nobody here wrote, on the line's
// modems, against the built-in far end and against another efax. Images are compared
// pixel by pixel through libtiff's and netpbm's tools.
#include "fax_peer.h"

using namespace vline;
using namespace vline::peer;


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
