// The command layer against the virtual line's T.31 modems: class detection, the
// capability query, and HDLC frames built here going from the answering modem to the
// calling one over V.21, parsed there. The line runs in this process, stepped by a thread.
#include "exchange.h"
#include "vline_launcher.h"

#include "faxengine/fax_session.h"
#include "faxengine/posix_dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace faxengine;

namespace {

std::string Hex(const std::string& s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

class ModemPair : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("core-vline-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        vline::loadConfigText("[line]\nring-period = 1s\ndial-time = 0.2s\n[modem 100]\n[modem 101]\n",
                              "test", cfg_);
        ex_ = std::make_unique<vline::Exchange>(cfg_, dir_);
        // Real time: the modems' timers (V.21 flags, carrier loss) are in line time.
        stepper_ = std::thread([this] {
            while (run_) {
                ex_->step();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        for (int i = 0; i < 2; ++i) {
            DispatcherOpenParams p;
            p.device = ex_->modems()[static_cast<std::size_t>(i)]->port().path();
            p.outSize = 8192;
            ASSERT_EQ(disp_[i].Open(p), 0);
            s_[i]->port = &disp_[i];
        }
    }
    void TearDown() override {
        for (auto& d : disp_)
            d.Close();
        run_ = false;
        if (stepper_.joinable())
            stepper_.join();
        ex_.reset();
        std::filesystem::remove_all(dir_);
    }
    // The next line or frame from a session's modem, or None after `timeout`.
    ReaderEvent Next(int i, std::chrono::milliseconds timeout = std::chrono::seconds(8)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            const ReaderEvent e = s_[i]->ReadResponse();
            if (e != ReaderEvent::None)
                return e;
            disp_[i].WaitForInput(1, std::chrono::milliseconds(50));
        }
        return ReaderEvent::None;
    }
    // The next frame; the modem may repeat CONNECT before it.
    ReaderEvent NextFrame(int i) {
        for (int n = 0; n < 3; ++n) {
            const ReaderEvent e = Next(i);
            if (e != ReaderEvent::Line || !s_[i]->GotConnect())
                return e;
            s_[i]->ResetReader();
        }
        return ReaderEvent::None;
    }
    // Waits for a line containing `text`, skipping others.
    bool WaitLine(int i, std::string_view text,
                  std::chrono::milliseconds timeout = std::chrono::seconds(8)) {
        s_[i]->response.clear();
        for (int n = 0; n < 10; ++n) {
            const ReaderEvent e = Next(i, timeout);
            if (e == ReaderEvent::None)
                return false;
            if (e == ReaderEvent::Line && s_[i]->ResponseHas(text))
                return true;
            s_[i]->response.clear();
        }
        return false;
    }
    std::filesystem::path dir_;
    vline::Config cfg_;
    std::unique_ptr<vline::Exchange> ex_;
    std::atomic<bool> run_{true};
    std::thread stepper_;
    TVelkPosixDispatcher disp_[2];
    std::unique_ptr<FaxSession> s_[2] = {std::make_unique<FaxSession>(FaxRole::Transmit),
                                         std::make_unique<FaxSession>(FaxRole::Receive)};
};

} // namespace

TEST_F(ModemPair, DetectionQueryAndFramesBetweenTwoModems) {
    FaxSession& tx = *s_[0];
    FaxSession& rx = *s_[1];
    for (FaxSession* s : {&tx, &rx}) {
        EXPECT_EQ(s->DetectClass(), 0);
        EXPECT_EQ(s->faxClass, FaxClass::fcClass1);
        EXPECT_EQ(s->CommandWithOK(s->defaultInit), OkResult::Ok);
    }
    ASSERT_EQ(tx.Class1CapabilityQuery(true), 0);
    EXPECT_EQ(tx.modulation, 6); // a V.17 modem
    ASSERT_EQ(rx.Class1CapabilityQuery(false), 0);
    EXPECT_EQ(rx.modulation, 6);

    // The caller dials; the answerer answers and sends CSI and DIS.
    tx.SendCommand("ATD101");
    ASSERT_TRUE(WaitLine(1, "RING"));
    rx.SendCommand("ATA");
    ASSERT_TRUE(WaitLine(1, "CONNECT"));
    rx.stationId = "555 0101";
    rx.SendIdFrame(fcf::CSI);
    ASSERT_TRUE(WaitLine(1, "CONNECT")); // more frames wanted
    rx.SendDisFrame(true);
    ASSERT_TRUE(WaitLine(1, "OK"));

    ASSERT_TRUE(WaitLine(0, "CONNECT")); // the caller hears the V.21 flags
    tx.ResetReader();
    std::vector<std::uint8_t> fcfs;
    for (int n = 0; n < 2; ++n) {
        ASSERT_EQ(NextFrame(0), ReaderEvent::Frame) << "frame " << n << ": " << Hex(tx.response);
        EXPECT_EQ(tx.ParseFrame(), 0);
        fcfs.push_back(tx.lastFcf);
        tx.ResetReader();
        ASSERT_TRUE(WaitLine(0, "OK"));
        if (n == 0) {
            tx.SendClass1Command("AT+FRH=3");
            ASSERT_TRUE(WaitLine(0, "CONNECT"));
            tx.ResetReader();
        }
    }
    EXPECT_EQ(fcfs, (std::vector<std::uint8_t>{fcf::CSI, fcf::DIS}));
    EXPECT_EQ(tx.remoteId.substr(0, 8), "555 0101");
    EXPECT_TRUE(tx.remoteFine);
    EXPECT_TRUE(tx.remoteSupport[6]);
    EXPECT_EQ(tx.bps, 9600); // DesiredBPS caps what both offer
}

// The virtual line's built-in far end is a T.30 terminal nobody here wrote: the CSI and
// DIS it sends must decode to what it was started with.
TEST(FarEnd, ItsCsiAndDisDecode) {
    const auto dir = std::filesystem::temp_directory_path() / ("core-farend-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    vline::LaunchOptions o;
    o.executable = PARVANE_VLINE_EXE;
    o.arguments = {"--log-dir", (dir / "logs").string(), "--ident", "+1 555 0200", "--ecm", "no"};
    auto line = vline::VirtualLine::start(o);
    TVelkPosixDispatcher disp;
    DispatcherOpenParams p;
    p.device = line.portPath(1);
    ASSERT_EQ(disp.Open(p), 0);
    FaxSession tx(FaxRole::Transmit);
    tx.port = &disp;
    tx.faxClass = FaxClass::fcClass1;
    tx.desiredBps = 14400;
    ASSERT_EQ(tx.CommandWithOK(tx.defaultInit), OkResult::Ok);
    ASSERT_EQ(tx.Class1CapabilityQuery(true), 0);

    auto next = [&](std::chrono::seconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            const ReaderEvent e = tx.ReadResponse();
            if (e != ReaderEvent::None)
                return e;
            disp.WaitForInput(1, std::chrono::milliseconds(50));
        }
        return ReaderEvent::None;
    };
    tx.SendCommand("ATD200");
    ReaderEvent e = next(std::chrono::seconds(30));
    ASSERT_EQ(e, ReaderEvent::Line);
    ASSERT_TRUE(tx.GotConnect()) << tx.response;
    std::vector<std::uint8_t> fcfs;
    for (int n = 0; n < 5; ++n) {
        tx.ResetReader();
        do
            e = next(std::chrono::seconds(8));
        while (e == ReaderEvent::Line && tx.GotConnect());
        ASSERT_EQ(e, ReaderEvent::Frame) << tx.response;
        EXPECT_EQ(tx.ParseFrame(), 0);
        fcfs.push_back(tx.lastFcf);
        const bool final = tx.lastFrameFinal;
        tx.ResetReader();
        ASSERT_EQ(next(std::chrono::seconds(8)), ReaderEvent::Line);
        ASSERT_TRUE(tx.GotOK()) << tx.response;
        if (final)
            break;
        tx.SendClass1Command("AT+FRH=3");
    }
    disp.Close();
    line.stop();
    std::filesystem::remove_all(dir);
    ASSERT_FALSE(fcfs.empty());
    EXPECT_EQ(fcfs.back(), fcf::DIS);
    EXPECT_NE(std::find(fcfs.begin(), fcfs.end(), fcf::CSI), fcfs.end());
    EXPECT_EQ(cleanStationId(tx.remoteId), "+1 555 0200");
    EXPECT_TRUE(tx.remoteFine);
    EXPECT_TRUE(tx.remoteSupport[6]);
    EXPECT_EQ(tx.bps, 14400);
}
