// The exchange driven step by step, faster than real time, with the tests playing the
// fax programs on the modems' ptys.
#include "exchange.h"
#include "pty_dte.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace vline;
using vline::test::Dte;

namespace {

constexpr int kStepsPerSecond = 50;

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vline-exchange-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        loadConfigText(R"(
[line]
ring-period = 1s
dial-time = 0.2s
disconnect-delay = 0.5s
no-answer-after = 30s
[modem 100]
[modem 101]
[modem 102]
[number 300]
sequence = busy, no-dialtone, voice, no-answer
no-answer-after = 4s
)",
                       "test", cfg_);
        ex_ = std::make_unique<Exchange>(cfg_, dir_);
    }
    void TearDown() override {
        ex_.reset();
        std::filesystem::remove_all(dir_);
    }
    const std::string& path(int i) { return ex_->modems()[static_cast<std::size_t>(i)]->port().path(); }
    // Steps until `dte` heard `text` (true) or `seconds` of line time passed (false).
    bool stepUntil(Dte& dte, const std::string& text, double seconds) {
        for (int i = 0; i < seconds * kStepsPerSecond; ++i) {
            ex_->step();
            if (dte.heard().find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    void steps(double seconds) {
        for (int i = 0; i < seconds * kStepsPerSecond; ++i)
            ex_->step();
    }
    // `a` calls `b`, which answers and sends its DIS: both are in Class 1, off hook.
    void answeredCall(Dte& a, Dte& b) {
        for (Dte* d : {&a, &b}) {
            d->send("ATE0+FCLASS=1\r");
            ASSERT_TRUE(stepUntil(*d, "OK", 1));
            d->forget();
        }
        a.send("ATD101\r");
        ASSERT_TRUE(stepUntil(b, "RING", 2));
        b.send("ATA\r");
        ASSERT_TRUE(stepUntil(b, "CONNECT", 6));
        b.send(std::string("\xff\x13\x80\x00\x46\x78\x10\x03", 8));
        ASSERT_TRUE(stepUntil(b, "OK", 5));
        b.forget();
    }
    std::string results() {
        std::ifstream in(dir_ / "results.txt");
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::filesystem::path dir_;
    Config cfg_;
    std::unique_ptr<Exchange> ex_;
};

} // namespace

TEST_F(ExchangeTest, CallConditionsGiveTheModemResultCodes) {
    Dte a(path(0));
    a.send("ATE0\r");
    ASSERT_TRUE(stepUntil(a, "OK", 1));
    a.send("AT+FCLASS=1\r");
    ASSERT_TRUE(stepUntil(a, "OK", 1));
    const char* expected[] = {"BUSY", "NO DIALTONE", "VOICE", "NO ANSWER"};
    for (const char* result : expected) {
        a.forget();
        a.send("ATDT300\r");
        EXPECT_TRUE(stepUntil(a, result, 15)) << result << " got: " << a.heard();
        // Back in command mode: the modem takes the next command.
        a.send("AT\r");
        EXPECT_TRUE(stepUntil(a, "OK", 1)) << "after " << result;
    }
    // A number with nothing on it.
    a.forget();
    a.send("ATD999\r");
    EXPECT_TRUE(stepUntil(a, "NO CARRIER", 5)) << a.heard();
    const std::string r = results();
    for (const char* outcome : {"\"busy\"", "\"no-dialtone\"", "\"voice\"", "\"no-answer\"", "\"unobtainable\""})
        EXPECT_NE(r.find(outcome), std::string::npos) << outcome << " in " << r;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "call-0001.log"));
}

TEST_F(ExchangeTest, ModemRingsAnswersOnS0AndSeesTheHangup) {
    Dte a(path(0)), b(path(1)), c(path(2));
    for (Dte* d : {&a, &b, &c}) {
        d->send("ATE0+FCLASS=1\r");
        ASSERT_TRUE(stepUntil(*d, "OK", 1));
        d->forget();
    }
    b.send("ATS0=2\r");
    ASSERT_TRUE(stepUntil(b, "OK", 1));
    b.forget();
    a.send("ATD101\r");
    // Two rings a ring period apart, then the auto-answer: CED and the answering
    // station's V.21 transmit (CONNECT), and the caller hears the flags (CONNECT).
    ASSERT_TRUE(stepUntil(b, "RING", 2));
    EXPECT_EQ(b.heard().find("RING", b.heard().find("RING") + 4), std::string::npos);
    steps(0.9);
    EXPECT_EQ(b.heard().find("RING", b.heard().find("RING") + 4), std::string::npos);
    ASSERT_TRUE(stepUntil(b, "CONNECT", 6)) << b.heard();
    EXPECT_NE(b.heard().find("RING", b.heard().find("RING") + 4), std::string::npos);

    // A third modem calling either side now gets the busy tone.
    c.send("ATD100\r");
    EXPECT_TRUE(stepUntil(c, "BUSY", 3)) << c.heard();

    // The answerer sends a DIS frame; the caller receives it.
    const std::string dis = std::string("\xff\x13\x80\x00\x46\x78", 6) + "\x10\x03";
    b.send(dis);
    ASSERT_TRUE(stepUntil(b, "OK", 5)) << b.heard();
    ASSERT_TRUE(stepUntil(a, "CONNECT", 5)) << a.heard();
    ASSERT_TRUE(stepUntil(a, "\x10\x03", 5));
    EXPECT_NE(a.heard().find(std::string("\xff\x13\x80\x00\x46\x78", 6)), std::string::npos);

    // The answering program goes away: the caller loses the line.
    b.close();
    steps(2);
    EXPECT_EQ(ex_->activeCalls(), 0u);
    // Its next command that needs the line fails.
    a.forget();
    a.send("AT+FRH=3\r");
    EXPECT_TRUE(stepUntil(a, "ERROR", 5) || a.heard().find("NO CARRIER") != std::string::npos)
        << a.heard();
    EXPECT_EQ(ex_->activeCalls(), 0u);
}

TEST_F(ExchangeTest, FlowControlHoldsBackAFastProgramAndDtrDropHangsUp) {
    Dte a(path(0)), b(path(1));
    ASSERT_NO_FATAL_FAILURE(answeredCall(a, b));
    // The answerer sends 12 kB of page data at 9600 bps: about 10 s on the line. The
    // modem takes it only as fast as it sends it, with its CTS held off in between.
    b.send("AT+FTM=96\r");
    ASSERT_TRUE(stepUntil(b, "CONNECT", 2)) << b.heard();
    std::vector<std::uint8_t> page(12000, 0x55);
    page.push_back(0x10);
    page.push_back(0x03);
    std::size_t sent = b.sendAll(page);
    bool held = false;
    int stepsTaken = 0;
    for (; stepsTaken < 30 * kStepsPerSecond && b.heard().find("OK") == std::string::npos;
         ++stepsTaken) {
        ex_->step();
        held = held || ex_->modems()[1]->dteHeld();
        if (sent < page.size())
            sent += b.sendAll(std::vector<std::uint8_t>(page.begin() + long(sent), page.end()));
    }
    EXPECT_TRUE(held);
    EXPECT_EQ(sent, page.size());
    // Held back but never starved: the modem did not run dry mid-page.
    EXPECT_EQ(ex_->modems()[1]->underruns(), 0);
    ASSERT_NE(b.heard().find("OK"), std::string::npos);
    // 12000 bytes at 9600 bps take 10 s; a modem that swallowed them at once would
    // answer OK far earlier.
    EXPECT_GT(stepsTaken, 9 * kStepsPerSecond);

    // The caller drops DTR (speed 0): its call ends, and the answerer's next command
    // that needs the line fails.
    a.setTermios([](termios& t) {
        cfsetospeed(&t, B0);
        cfsetispeed(&t, B0);
    });
    steps(2);
    EXPECT_EQ(ex_->activeCalls(), 0u);
    b.forget();
    b.send("AT+FRH=3\r");
    EXPECT_TRUE(stepUntil(b, "ERROR", 5) || b.heard().find("NO CARRIER") != std::string::npos)
        << b.heard();
    // DTR up again: the modem answers commands, settings kept (echo stays off).
    a.setTermios([](termios& t) {
        cfsetospeed(&t, B19200);
        cfsetispeed(&t, B19200);
    });
    a.forget();
    a.send("AT\r");
    ASSERT_TRUE(stepUntil(a, "OK", 1));
    EXPECT_EQ(a.heard().find("AT"), std::string::npos) << a.heard();
}

TEST_F(ExchangeTest, PageDataThatStopsComingMakesTheModemRunDry) {
    Dte a(path(0)), b(path(1));
    ASSERT_NO_FATAL_FAILURE(answeredCall(a, b));
    // Half a second of page data, two seconds of nothing, then the rest: one underrun.
    b.send("AT+FTM=96\r");
    ASSERT_TRUE(stepUntil(b, "CONNECT", 2)) << b.heard();
    const std::vector<std::uint8_t> half(600, 0x55);
    ASSERT_EQ(b.sendAll(half), half.size());
    steps(2);
    std::vector<std::uint8_t> rest = half;
    rest.push_back(0x10);
    rest.push_back(0x03);
    ASSERT_EQ(b.sendAll(rest), rest.size());
    ASSERT_TRUE(stepUntil(b, "OK", 5)) << b.heard();
    EXPECT_EQ(ex_->modems()[1]->underruns(), 1);
}
