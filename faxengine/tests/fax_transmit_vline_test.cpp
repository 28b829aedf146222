// Whole calls in real time: our transmitter sends APF pages through a Class 1 modem of
// the virtual line to its far end, whose own fax engine must report success and store the
// pages we sent; and the faults of the line end the fax with their own codes.
#include "faxengine/call_report.h"
#include "faxengine/receive_fax.h"
#include "faxengine/fax_session.h"
#include "faxengine/fax_transmit_port.h"
#include "faxengine/posix_dispatcher.h"
#include "faxengine/engine_errors.h"
#include "vline_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "oracle_skip.h"
#include "spawn_shell.h"

namespace faxengine {
namespace {

using namespace linetest;

// The owner: a list of faxes to send, notices recorded.
class Owner : public FaxNoticeSink {
public:
    std::vector<TransmitJob> jobs;
    std::mutex m;
    std::vector<int> logs, errors;
    std::atomic<bool> finished{false};
    std::atomic<int> finishCode{1};
    std::atomic<int> lastStatus{0};

    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession& s, std::int32_t param,
                                           std::chrono::milliseconds) override {
        std::lock_guard g(m);
        switch (msg) {
        case faxmsg::NextFax:
            if (next_ >= jobs.size())
                return 0;
            s.phoneNumber = jobs[next_].phone;
            s.faxFileName = jobs[next_].faxFile;
            s.coverFileName = jobs[next_].coverFile;
            ++next_;
            return 1;
        case faxmsg::Status: lastStatus = s.faxStatus; return 0;
        case faxmsg::Log: logs.push_back(param); return 0;
        case faxmsg::Error: errors.push_back(param); return 0;
        default: return 0;
        }
    }
    void PostNotice(std::uint16_t msg, FaxSession& s, std::int32_t param) override {
        if (msg == faxmsg::Finish) {
            lastStatus = s.faxStatus;
            finishCode = param;
            finished = true;
        }
    }

private:
    std::size_t next_ = 0;
};

struct CallSetup {
    int desiredBps = 9600;
    int dialAttempts = 3;
    int retryWaitTicks = 1092;
    std::uint16_t options = faxopt::ExitOnError;
    std::string header;
    // Runs on the test's thread while the call is under way (e.g. an abort).
    std::function<void(FaxTransmitPort&)> during;
};

class TransmitCall : public VlineTest {
protected:
    void SetUp() override {
        VlineTest::SetUp();
        if (IsSkipped())
            return;
        apf_ = makeTextApf("page", kPageText);
    }
    void TearDown() override {
        port_.reset();
        VlineTest::TearDown();
    }

    static constexpr const char* kPageText = "Parvane transmit test page\n\n"
                                             "  The quick brown fox jumps over the lazy dog.\n"
                                             "  0123456789 !\"#$%&'()*+,-./:;<=>?@[]^_{|}~\n";

    // The line with the ECM off everywhere (our DIS offers none), and our modem's port.
    void openLine(std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--ecm", "off"});
        startLine(std::move(args));
        openPort();
    }
    void openLineWithConfig(const std::string& config) {
        startLineWithConfig(config);
        openPort();
    }
    void openPort() {
        ASSERT_TRUE(line_);
        port_.emplace();
        DispatcherOpenParams params;
        params.device = line_->portPath(1);
        ASSERT_EQ(port_->Open(params), 0);
        port_->StartTracing(200000);
    }

    // One session over the open port sending the owner's faxes; returns the finish code.
    int send(Owner& owner, const CallSetup& setup = {}) {
        FaxSession session(FaxRole::Transmit);
        session.faxClass = FaxClass::fcClass1;
        session.stationId = "+1 555 0100";
        session.desiredBps = setup.desiredBps;
        session.options = setup.options;
        session.dialAttempts = setup.dialAttempts;
        session.dialRetryWait = setup.retryWaitTicks;
        session.headerLine = setup.header;
        FaxTransmitPort driver(session);
        const int rc = session.Start(
            *port_, &owner,
            [](FaxSession& s) { return s.InitTransmit(static_cast<std::uint8_t>(TransmitState::tfGetEntry)); },
            driver.Procedure());
        EXPECT_EQ(rc, 0);
        if (setup.during && rc == 0)
            setup.during(driver);
        // Generous: calls run in real time on a machine others load with builds.
        for (int i = 0; i < 6000 && !owner.finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(owner.finished) << "the fax did not finish";
        session.Stop();
        // The dispatcher does not wait for a call into the procedure that was already under
        // way when it was deregistered (one held up by the owner's abort): let it end before
        // the session, the machine and the owner go.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // The port's trace is kept with the files of a failed test.
        port_->DumpTrace(dir_ / ("trace-" + std::to_string(++sessions_) + ".txt"), false, false);
        port_->StartTracing(200000);
        return owner.finishCode;
    }

    // One fax of our page to `number` on a fresh line; the far end's result line.
    std::string call(const std::string& number, Owner& owner, int& code, const CallSetup& setup = {},
                     const std::string& cover = {}) {
        openLine();
        owner.jobs.push_back({number, apf_.string(), cover});
        code = send(owner, setup);
        port_.reset();
        stopLine();
        return lastResult();
    }

    // Every page of our APF file arrived, pixel for pixel after `skipRows` rows.
    void expectPagesIntact(const std::string& result, const fs::path& apf, int pages, int width = 1728,
                           std::size_t skipRows = 8) {
        ASSERT_EQ(resultField(result, "result"), "0") << result;
        EXPECT_EQ(resultField(result, "pages"), std::to_string(pages)) << result;
        const std::string tiff = resultField(result, "file");
        ASSERT_EQ(tiffPageCount(tiff), pages);
        for (int p = 0; p < pages; ++p) {
            SCOPED_TRACE("page " + std::to_string(p + 1));
            const Page got = decodeTiff(tiff, p);
            const Page sent = decodeApf(apf, p + 1);
            ASSERT_EQ(got.width, width);
            ASSERT_LE(sent.width, got.width);
            // The leading white lines (and header rows) come first; the rest is the page as stored.
            int inked = 0;
            for (std::size_t r = 0; r < skipRows && r < got.rows.size(); ++r)
                inked += got.rows[r] != std::string(got.rows[r].size(), '\0');
            if (skipRows == 8) {
                EXPECT_EQ(inked, 0);
            }
            EXPECT_EQ(differingRows(sent, got, skipRows), 0);
        }
    }

    void abortInEveryPhase();

    fs::path apf_;
    std::optional<TVelkPosixDispatcher> port_;
    int sessions_ = 0;
};

void expectSent(Owner& owner, int code) {
    EXPECT_EQ(code, 0);
    std::lock_guard g(owner.m);
    EXPECT_EQ(owner.logs, (std::vector<int>{1, 2}));
    EXPECT_TRUE(owner.errors.empty());
}

void expectFailed(Owner& owner, int code, int error) {
    EXPECT_EQ(code, error);
    std::lock_guard g(owner.m);
    EXPECT_EQ(owner.errors, std::vector<int>{error});
    EXPECT_EQ(owner.logs, (std::vector<int>{1, 3}));
}

TEST_F(TransmitCall, FarEndReceivesOurClass1PageIntact) {
    for (bool fine : {false, true}) {
        SCOPED_TRACE(fine ? "fine" : "normal");
        if (fine)
            apf_ = makeTextApf("fine", kPageText, faximage::TFaxResolution::frHigh);
        Owner owner;
        int code = 1;
        const std::string result = call("200", owner, code);
        expectSent(owner, code);
        expectPagesIntact(result, apf_, 1);
    }
}

TEST_F(TransmitCall, EverySpeedIsNegotiatedAndThePageArrivesIntact) {
    for (int bps : {2400, 4800, 7200, 9600, 12000, 14400}) {
        SCOPED_TRACE(bps);
        Owner owner;
        int code = 1;
        CallSetup setup;
        setup.desiredBps = bps;
        const std::string result = call("200", owner, code, setup);
        expectSent(owner, code);
        EXPECT_EQ(resultField(result, "bit_rate"), std::to_string(bps)) << result;
        expectPagesIntact(result, apf_, 1);
    }
}

TEST_F(TransmitCall, WidePageArrives2048PixelsWide) {
    apf_ = makeTextApf("wide", kPageText, faximage::TFaxResolution::frNormal, faximage::TFaxWidth::fwWide);
    Owner owner;
    int code = 1;
    const std::string result = call("200", owner, code);
    expectSent(owner, code);
    expectPagesIntact(result, apf_, 1, 2048);
}

TEST_F(TransmitCall, TenFinePagesAt14400) {
    std::string text;
    for (int p = 1; p <= 10; ++p)
        text += std::string(p > 1 ? "\f" : "") + "Page " + std::to_string(p) + " of ten\n\n  " +
                std::string(static_cast<std::size_t>(p), '#') + " The quick brown fox jumps over the lazy dog.\n";
    apf_ = makeTextApf("ten", text, faximage::TFaxResolution::frHigh);
    Owner owner;
    int code = 1;
    CallSetup setup;
    setup.desiredBps = 14400;
    const std::string result = call("200", owner, code, setup);
    expectSent(owner, code);
    EXPECT_EQ(resultField(result, "bit_rate"), "14400") << result;
    expectPagesIntact(result, apf_, 10);
}

TEST_F(TransmitCall, HeaderLineRowsComeBeforeThePage) {
    Owner owner;
    int code = 1;
    CallSetup setup;
    setup.header = "FROM $I PAGE $P OF $N";
    const std::string result = call("200", owner, code, setup);
    expectSent(owner, code);
    const Page got = decodeTiff(resultField(result, "file"));
    const Page sent = decodeApf(apf_);
    ASSERT_GT(got.rows.size(), sent.rows.size() + 8);
    const std::size_t header = got.rows.size() - sent.rows.size();
    // Eight white lines, then the header's rows with ink in them, then the page as stored.
    int inkedRows = 0;
    for (std::size_t r = 0; r < header; ++r) {
        const bool inked = got.rows[r] != std::string(got.rows[r].size(), '\0');
        if (r < 8) {
            EXPECT_FALSE(inked) << "row " << r;
        }
        inkedRows += inked;
    }
    EXPECT_GT(inkedRows, 3);
    EXPECT_EQ(differingRows(sent, got, header), 0);
}

TEST_F(TransmitCall, BusyNumberIsRedialledThenGivenUp) {
    Owner owner;
    int code = 0;
    CallSetup setup;
    setup.retryWaitTicks = 36;
    // 300 is always busy; three attempts with the redial wait in between.
    call("300", owner, code, setup);
    expectFailed(owner, code, ec::FaxBusy);
}

TEST_F(TransmitCall, LineFaultsEndTheFaxWithTheirOwnCodes) {
    struct Case {
        const char* number;
        int error;
    };
    // 301 rings without an answer (one attempt here), 302 gives no dial tone, 303 a voice answer.
    for (const Case& c : {Case{"301", ec::FaxNoAnswer}, Case{"302", ec::FaxNoDialTone}, Case{"303", ec::FaxVoiceCall}}) {
        SCOPED_TRACE(c.number);
        Owner owner;
        int code = 0;
        CallSetup setup;
        setup.dialAttempts = 1;
        call(c.number, owner, code, setup);
        expectFailed(owner, code, c.error);
    }
}

// On the noisy number the modem delivers the far end's DIS whole but never gives its verdict
// (the noise holds its carrier detector up). The frame's FCS holds, so the call goes on to
// our DCS and the training; at 2400 bit/s the noise spoils the training check, which is what
// the call then fails on. It never says that the far end did not answer.
TEST_F(TransmitCall, NoisyLineGoesOnPastAWithheldFrameVerdict) {
    Owner owner;
    int code = 0;
    CallSetup setup;
    setup.desiredBps = 2400;
    setup.dialAttempts = 1;
    call("305", owner, code, setup);
    EXPECT_NE(code, ec::FaxNoAnswer);
    EXPECT_TRUE(code == 0 || code == ec::FaxTrainError) << code;
    const std::string log = slurp(dir_ / "logs" / "call-0001.log");
    EXPECT_NE(log.find("rx DCS"), std::string::npos) << log;
}

TEST_F(TransmitCall, FarEndHangingUpMidPageIsNoSuccess) {
    // A page long enough at 2400 bit/s that the far end (304) drops the line inside it.
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "Line " + std::to_string(i) + " of a long page: the quick brown fox jumps over the lazy dog.\n";
    apf_ = makeTextApf("long", text);
    Owner owner;
    int code = 0;
    CallSetup setup;
    setup.desiredBps = 2400;
    const std::string result = call("304", owner, code, setup);
    EXPECT_NE(resultField(result, "result"), "0") << result;
    // The modem never confirms the page: the post-page message is repeated, then the
    // page end times out.
    expectFailed(owner, code, ec::TimeOut);
}

TEST_F(TransmitCall, SpoiltTrainingStepsDownAndRetrains) {
    // The line goes quiet for half a second in the middle of the first training check
    // (it starts about 7 s after the answer): the far end answers FTT.
    openLineWithConfig("[modem 100]\n[farend 306]\necm = no\ndrop = 8.4+0.5\n");
    Owner owner;
    owner.jobs.push_back({"306", apf_.string(), {}});
    CallSetup setup;
    setup.desiredBps = 14400;
    const int code = send(owner, setup);
    port_.reset();
    stopLine();
    expectSent(owner, code);
    const std::string result = lastResult();
    ASSERT_EQ(resultField(result, "result"), "0") << result;
    EXPECT_EQ(resultField(result, "bit_rate"), "12000") << result;
    const std::string log = slurp(dir_ / "logs" / "call-0001.log");
    EXPECT_NE(log.find("tx FTT"), std::string::npos);
    expectPagesIntact(result, apf_, 1);
}

// The line damages a bit in every row of a page's first copy: the far end's copy check
// fails and it answers RTN. Our log (read back as the call report) shows the retrain and the
// page going out again; the far end keeps each page once.
TEST_F(TransmitCall, RealCallRejectedPageIsRetrainedAndSentAgain) {
    const fs::path two = makeTextApf("two", std::string(kPageText) + "\fSecond page\n");
    openLineWithConfig("[modem 100]\n[farend 307]\necm = no\ndamage-page = 1\n");
    ASSERT_EQ(port_->StartLogging(8u << 20), 0);
    Owner owner;
    owner.jobs.push_back({"307", two.string(), {}});
    const int code = send(owner);
    ASSERT_EQ(port_->DumpLog(dir_ / "ours.log", false, true), 0);
    port_.reset();
    stopLine();
    expectSent(owner, code);
    expectPagesIntact(lastResult(), two, 2);

    const CallReport report = analyseCall(chunksFromLogText(slurp(dir_ / "ours.log")), code);
    EXPECT_EQ(report.cause, CallCause::Sent) << formatCallReport(report);
    ASSERT_EQ(report.pages.size(), 2u) << formatCallReport(report);
    EXPECT_EQ(report.pages[0].sends, 2);
    EXPECT_TRUE(report.pages[0].retrained);
    EXPECT_TRUE(report.pages[0].confirmed);
    EXPECT_EQ(report.pages[1].sends, 1);
    EXPECT_TRUE(report.pages[1].confirmed);
    // RTN, then a DCS and a training check before the same page goes out again.
    std::string ladder;
    for (const LadderStep& s : report.steps)
        ladder += s.text + "\n";
    const auto rtn = ladder.find("RTN");
    ASSERT_NE(rtn, std::string::npos) << ladder;
    const auto dcs = ladder.find("DCS", rtn);
    const auto check = ladder.find("training check", dcs);
    const auto again = ladder.find("page 1 data", check);
    EXPECT_NE(again, std::string::npos) << ladder;
    EXPECT_NE(ladder.find("page 2 data", again), std::string::npos) << ladder;

    // The line's own log: the first copy damaged row by row, the second left alone.
    const std::string lineLog = slurp(dir_ / "logs" / "call-0001.log");
    EXPECT_NE(lineLog.find("tx RTN"), std::string::npos) << lineLog;
    EXPECT_NE(lineLog.find("copy 2 of page 1: "), std::string::npos) << lineLog;
    EXPECT_NE(lineLog.find(", 0 damaged"), std::string::npos) << lineLog;
}

// Every copy of page 1 is damaged: after the resend limit the fax fails, never as sent.
// (Two pages: after an RTN to EOP the far end hangs up rather than take a retrain.)
TEST_F(TransmitCall, RealCallPageRejectedEveryTimeFailsAfterTheResendLimit) {
    const fs::path two = makeTextApf("two", std::string(kPageText) + "\fSecond page\n");
    openLineWithConfig("[modem 100]\n[farend 308]\necm = no\ndamage-page = 1\ndamage-copies = all\n");
    ASSERT_EQ(port_->StartLogging(8u << 20), 0);
    Owner owner;
    owner.jobs.push_back({"308", two.string(), {}});
    CallSetup setup;
    setup.desiredBps = 14400;
    const int code = send(owner, setup);
    ASSERT_EQ(port_->DumpLog(dir_ / "ours.log", false, true), 0);
    port_.reset();
    stopLine();
    expectFailed(owner, code, ec::FaxSessionError);
    EXPECT_NE(resultField(lastResult(), "result"), "0") << lastResult();
    EXPECT_EQ(resultField(lastResult(), "pages"), "0") << lastResult();

    const CallReport report = analyseCall(chunksFromLogText(slurp(dir_ / "ours.log")), code);
    EXPECT_EQ(report.cause, CallCause::PageRejected) << formatCallReport(report);
    ASSERT_EQ(report.pages.size(), 1u) << formatCallReport(report);
    EXPECT_EQ(report.pages[0].sends, 3); // the first copy and the two resends allowed
    EXPECT_FALSE(report.pages[0].confirmed);
    EXPECT_TRUE(report.pages[0].rejected);
    EXPECT_NE(slurp(dir_ / "logs" / "call-0001.log").find("copy 3 of page 1: "), std::string::npos);
}

TEST_F(TransmitCall, TwoFaxListGoesOnAfterABusyNumber) {
    openLine();
    Owner owner;
    owner.jobs.push_back({"300", apf_.string(), {}});
    owner.jobs.push_back({"200", apf_.string(), {}});
    CallSetup setup;
    setup.dialAttempts = 1;
    setup.options = 0; // neither AbortNoConnect nor ExitOnError
    const int code = send(owner, setup);
    port_.reset();
    stopLine();
    {
        std::lock_guard g(owner.m);
        EXPECT_EQ(owner.errors, std::vector<int>{ec::FaxBusy});
        EXPECT_EQ(owner.logs, (std::vector<int>{1, 3, 1, 2}));
    }
    (void)code;
    const auto all = results();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(resultField(all[0], "number"), "300");
    expectPagesIntact(all[1], apf_, 1);
}

// Waits until the machine is in one of `states`, then aborts as the owner does.
std::function<void(FaxTransmitPort&)> abortIn(std::vector<TransmitState> states, std::atomic<bool>& aborted) {
    return [states, &aborted](FaxTransmitPort& driver) {
        for (int i = 0; i < 24000; ++i) {
            const TransmitState now = driver.CurrentState();
            if (now == TransmitState::tfDone || now == TransmitState::tfNone)
                return;
            if (std::find(states.begin(), states.end(), now) != states.end()) {
                driver.Handle(faxmsg::UserAbort, 0, 0);
                aborted = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
}

// The user aborts in each phase of a call, then sends another fax on the same port.
void TransmitCall::abortInEveryPhase() {
    // Long enough to be caught while its data goes out.
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "Line " + std::to_string(i) + " the quick brown fox jumps over the lazy dog.\n";
    const fs::path longPage = makeTextApf("long", text);
    struct Phase {
        const char* name;
        std::vector<TransmitState> states;
        int bps;
    };
    // Training at 2400 bit/s lasts long enough to be caught; while the page goes out the
    // modem may already hold all of it (the machine then waits for its end).
    const std::vector<Phase> phases = {
        {"dialling", {TransmitState::tf1Connect}, 9600},
        {"training", {TransmitState::tf1TrainStrt, TransmitState::tf1TrainFnsh, TransmitState::tf1WaitCFR}, 2400},
        {"page data", {TransmitState::tfSendPage, TransmitState::tfDrainPage, TransmitState::tf1PageEnd}, 9600},
        {"post-page", {TransmitState::tf1WaitMCF}, 9600},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        openLine();
        std::atomic<bool> aborted{false};
        {
            Owner owner;
            owner.jobs.push_back({"200", longPage.string(), {}});
            CallSetup setup;
            setup.desiredBps = phase.bps;
            setup.during = abortIn(phase.states, aborted);
            const int code = send(owner, setup);
            EXPECT_TRUE(aborted);
            EXPECT_EQ(code, ec::CancelRequested);
            EXPECT_EQ(owner.lastStatus, 42);
            std::lock_guard g(owner.m);
            EXPECT_EQ(owner.errors, std::vector<int>{ec::CancelRequested});
            EXPECT_EQ(owner.logs, (std::vector<int>{1, 3}));
        }
        {
            Owner again;
            again.jobs.push_back({"200", apf_.string(), {}});
            expectSent(again, send(again));
        }
        port_.reset();
        stopLine();
        // The call is over: the far end got no page and logged the call's end.
        const auto all = results();
        ASSERT_FALSE(all.empty());
        EXPECT_NE(resultField(all.front(), "result"), "0") << all.front();
        expectPagesIntact(all.back(), apf_, 1);
        if (HasFailure())
            break;
    }
}

TEST_F(TransmitCall, UserAbortInEveryPhaseEndsTheCallAndThePortCarriesTheNextFax) { abortInEveryPhase(); }

TEST_F(TransmitCall, ApfCoverGoesOutAsThePageBeforeTheFax) {
    const fs::path cover = makeTextApf("cover", "Cover sheet\n\nTo: the far end\n");
    Owner owner;
    int code = 1;
    const std::string result = call("200", owner, code, {}, cover.string());
    expectSent(owner, code);
    ASSERT_EQ(resultField(result, "result"), "0") << result;
    EXPECT_EQ(resultField(result, "pages"), "2") << result;
    const std::string tiff = resultField(result, "file");
    EXPECT_EQ(differingRows(decodeApf(cover), decodeTiff(tiff, 0), 8), 0);
    EXPECT_EQ(differingRows(decodeApf(apf_), decodeTiff(tiff, 1), 8), 0);
}

TEST_F(TransmitCall, EfaxReceivesThroughAnotherModem) {
    if (!haveTool("efax"))
        PARVANE_SKIP_WITHOUT_ORACLE("efax missing (scripts/setup installs it)");
    openLine();
    ASSERT_GE(line_->ports().size(), 2u);
    fs::create_directories(dir_ / "rx");
    // efax waits for the ring on modem 101 and answers.
    const pid_t rx = spawnShell("cd '" + (dir_ / "rx").string() + "' && timeout 200 efax -d " + line_->portPath(2) +
                                " -o1 -vewinc -l '+1 555 0101' -r recv > '" + (dir_ / "efax.log").string() +
                                "' 2>&1");
    ASSERT_GE(rx, 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Owner owner;
    owner.jobs.push_back({"101", apf_.string(), {}});
    const int code = send(owner);
    int st = -1;
    ::waitpid(rx, &st, 0);
    port_.reset();
    stopLine();
    expectSent(owner, code);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax.log");
    // efax names the station that called it.
    EXPECT_NE(slurp(dir_ / "efax.log").find("+1 555 0100"), std::string::npos);
    ASSERT_TRUE(fs::exists(dir_ / "rx" / "recv.001"));
    const Page got = decodeTiff(dir_ / "rx" / "recv.001");
    EXPECT_EQ(got.width, 1728);
    EXPECT_EQ(differingRows(decodeApf(apf_), got, 8), 0);
}

TEST_F(TransmitCall, OurReceiverTakesItThroughAnotherModem) {
    openLine();
    ASSERT_GE(line_->ports().size(), 2u);
    fs::create_directories(dir_ / "in");
    // The receiving component lives on a thread of its own, pumping its notices there.
    std::atomic<bool> ready{false};
    std::atomic<int> rxFinish{1};
    std::thread receiver([&] {
        TVelkComPort port;
        port.SetPromptForPort(false);
        port.SetDevicePath(line_->portPath(2));
        TVelkReceiveFax fax;
        fax.SetComPort(&port);
        fax.SetFaxClass(TFaxClass::fcClass1);
        fax.SetOneFax(true);
        fax.SetDestinationDir((dir_ / "in").string());
        fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { rxFinish = code; };
        fax.StartReceiving();
        ready = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(200);
        while (fax.Busy() && std::chrono::steady_clock::now() < end)
            fax.Notices().waitAndPump(std::chrono::milliseconds(50));
    });
    while (!ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // Two pages: the turn-arounds after a received frame come up on both sides.
    const fs::path two = makeTextApf("two", std::string(kPageText) + "\fSecond page\n");
    Owner owner;
    owner.jobs.push_back({"101", two.string(), {}});
    const int code = send(owner);
    receiver.join();
    port_.reset();
    stopLine();
    expectSent(owner, code);
    EXPECT_EQ(rxFinish, 0);
    const fs::path got = dir_ / "in" / "FAX0001.APF";
    ASSERT_TRUE(fs::exists(got));
    // Our leading white lines arrive as rows of the page.
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(differingRows(decodeApf(two, p), decodeApf(got, p), 8), 0) << "page " << p;
}

// The reference call of the timing benchmark: one fax machine of the line calls another,
// which receives the TIFF page coded 1-D as sent.
TEST_F(TransmitCall, FarEndSendsToAnotherFarEnd) {
    if (!haveTool("efix"))
        PARVANE_SKIP_WITHOUT_ORACLE("efix missing (scripts/setup installs it)");
    std::ofstream(dir_ / "ref.txt") << kPageText;
    ASSERT_EQ(run("cd '" + dir_.string() + "' && efix -i text -o tiffg3 -n ref.tif ref.txt 2>/dev/null"), 0);
    startLineWithConfig("[modem 100]\n[farend 200]\necm = no\n[farend 201]\nmode = send\nfile = " +
                        (dir_ / "ref.tif").string() + "\ndial = 200\necm = no\ncoding = 1d\ncall-delay = 0.2s\n");
    for (int i = 0; i < 1200 && results().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stopLine();
    const std::string result = lastResult();
    ASSERT_EQ(resultField(result, "result"), "0") << result;
    EXPECT_EQ(resultField(result, "direction"), "receive") << result;
    EXPECT_EQ(resultField(result, "pages"), "1") << result;
    EXPECT_EQ(differingRows(decodeTiff(dir_ / "ref.tif"), decodeTiff(resultField(result, "file"))), 0);
    // Coded 1-D, as our pages are: the DCS names neither 2-D nor T.6.
    const std::string log = slurp(dir_ / "logs" / "call-0001.log");
    const auto dcs = log.find("rx DCS [ff 13 83 ");
    ASSERT_NE(dcs, std::string::npos);
    const unsigned byte2 = static_cast<unsigned>(std::stoul(log.substr(dcs + 20, 2), nullptr, 16));
    EXPECT_EQ(byte2 & 0x80u, 0u) << log.substr(dcs, 40); // bit 16: two-dimensional coding
}

TEST_F(TransmitCall, TextCoverIsDrawnBeforeTheFax) {
    std::ofstream(dir_ / "cover.txt") << "Cover sheet\n\nTo: the far end\nPages: $N\n";
    Owner owner;
    int code = 1;
    const std::string result = call("200", owner, code, {}, (dir_ / "cover.txt").string());
    expectSent(owner, code);
    ASSERT_EQ(resultField(result, "result"), "0") << result;
    ASSERT_EQ(resultField(result, "pages"), "2") << result;
    const std::string tiff = resultField(result, "file");
    // The cover: four text lines in the fax font's large cell below the blank lines.
    const Page cover = decodeTiff(tiff, 0);
    int inked = 0;
    for (const auto& row : cover.rows)
        inked += row != std::string(row.size(), '\0');
    EXPECT_GT(inked, 3 * 8);
    EXPECT_EQ(cover.width, 1728);
    EXPECT_EQ(differingRows(decodeApf(apf_), decodeTiff(tiff, 1), 8), 0);
}

} // namespace
} // namespace faxengine
