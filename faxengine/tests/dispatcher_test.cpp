#include "faxengine/posix_dispatcher.h"
#include "faxengine/engine_errors.h"
#include "pty_modem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <termios.h>
#include <thread>
#include <vector>

using namespace faxengine;
using faxengine::test::eventually;
using faxengine::test::PtyModem;
using namespace std::chrono_literals;

namespace {

class ManualClock final : public MillisecondClock {
public:
    std::uint32_t NowMs() const override { return ms.load(); }
    std::atomic<std::uint32_t> ms{1000};
};

struct Seen {
    std::uint16_t msg;
    std::uint16_t trigger;
    std::uint32_t param;
    std::string data; // what the handler read
};

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(modem.Path().empty());
        DispatcherOpenParams p;
        p.device = modem.Path();
        p.outSize = 8192;
        ASSERT_EQ(disp.Open(p), 0);
        modem.ReleaseSlave();
    }

    // Records every message; data handlers read what they are offered when read is set.
    void Record(bool read) {
        disp.RegisterProcHandler([this, read](std::uint16_t m, std::uint16_t t, std::uint32_t p) {
            Seen s{m, t, p, {}};
            if (read && (m == apw::TriggerData || m == apw::TriggerAvail)) {
                std::uint8_t c;
                while (disp.GetChar(c) == 0)
                    s.data += static_cast<char>(c);
            }
            std::lock_guard g(lock);
            seen.push_back(s);
        });
    }
    std::vector<Seen> Messages(std::uint16_t msg) {
        std::lock_guard g(lock);
        std::vector<Seen> out;
        for (auto& s : seen)
            if (s.msg == msg)
                out.push_back(s);
        return out;
    }

    PtyModem modem;
    TVelkPosixDispatcher disp;
    std::mutex lock;
    std::vector<Seen> seen;
};

} // namespace

TEST_F(DispatcherTest, DataTriggerFiresOnceAndHandlerSeesBytesUpToTheMatch) {
    Record(true);
    int ok = disp.AddDataTrigger("OK", false);
    ASSERT_EQ(ok, 8);
    int ring = disp.AddDataTrigger("ring", true);
    ASSERT_EQ(ring, 16);
    modem.Send("xxOOK");
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerData).size() == 1; }));
    auto d = Messages(apw::TriggerData);
    EXPECT_EQ(d[0].trigger, 8);
    EXPECT_EQ(d[0].param & 0xFFFF, 8u);
    EXPECT_EQ(d[0].param >> 16, static_cast<unsigned>(disp.Handle()));
    EXPECT_EQ(d[0].data, "xxOOK");

    // Two matches in one read: each handler sees only the bytes up to its own match, and
    // bytes after the last match stay queued. Case is ignored where asked.
    modem.Send("\r\nRiNg\r\nOK\r\nrest");
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerData).size() == 3; }));
    d = Messages(apw::TriggerData);
    EXPECT_EQ(d[1].trigger, ring);
    EXPECT_EQ(d[1].data, "\r\nRiNg");
    EXPECT_EQ(d[2].trigger, ok);
    EXPECT_EQ(d[2].data, "\r\nOK");
    ASSERT_TRUE(eventually([&] { return disp.InBuffUsed() == 6; }));
    std::uint8_t c;
    EXPECT_EQ(disp.PeekChar(c, 6), 0);
    EXPECT_EQ(c, 't');
    EXPECT_EQ(disp.PeekChar(c, 7), ec::BufferIsEmpty);

    EXPECT_EQ(disp.AddDataTrigger(std::string(256, 'a'), false), ec::TriggerTooLong);
    EXPECT_EQ(disp.RemoveTrigger(static_cast<std::uint16_t>(ok)), 0);
    EXPECT_EQ(disp.RemoveTrigger(static_cast<std::uint16_t>(ok)), ec::BadTriggerHandle);
}

TEST_F(DispatcherTest, DataAvailableThresholdCountsWaitingBytes) {
    Record(false);
    ASSERT_EQ(disp.SetDataAvailThreshold(5), 0);
    modem.Send("abc");
    ASSERT_TRUE(eventually([&] { return disp.InBuffUsed() == 3; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(Messages(apw::TriggerAvail).empty());
    modem.Send("de");
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerAvail).size() == 1; }));
    EXPECT_EQ(Messages(apw::TriggerAvail)[0].param & 0xFFFF, 5u);
    EXPECT_EQ(Messages(apw::TriggerAvail)[0].trigger, kAvailTriggerHandle);
    // Nothing new arrived: no second message although the bytes still wait.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Messages(apw::TriggerAvail).size(), 1u);
    modem.Send("f");
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerAvail).size() == 2; }));
    EXPECT_EQ(Messages(apw::TriggerAvail)[1].param & 0xFFFF, 6u);
}

TEST_F(DispatcherTest, InputRingWrapsAndFullRingLeavesBytesInTheDevice) {
    // 20000 bytes with nobody reading: the ring takes 8192, the rest waits in the device
    // (and its flow control), nothing is lost or reordered once the reader catches up.
    std::string sent;
    for (int i = 0; i < 20000; ++i)
        sent += static_cast<char>('A' + (i * 7) % 26);
    std::thread writer([&] { modem.Send(sent); });
    ASSERT_TRUE(eventually([&] { return disp.InBuffUsed() == TVelkBaseDispatcher::kInRingSize; }));
    std::string got;
    std::vector<std::uint8_t> block(1000);
    while (got.size() < sent.size()) {
        ASSERT_TRUE(disp.WaitForInput(1, 10s)) << got.size();
        std::size_t n = std::min(block.size(), disp.InBuffUsed());
        ASSERT_EQ(disp.GetBlock({block.data(), n}), static_cast<int>(n));
        got.append(block.begin(), block.begin() + static_cast<long>(n));
    }
    writer.join();
    EXPECT_EQ(got, sent);
    std::uint8_t c;
    EXPECT_EQ(disp.GetChar(c), ec::BufferIsEmpty);
    EXPECT_EQ(disp.GetBlock({block.data(), 1}), ec::GetBlockFail);
}

TEST(DispatcherOutput, BlockThatDoesNotFitIsRefusedWhole) {
    PtyModem modem;
    TVelkPosixDispatcher disp;
    DispatcherOpenParams p;
    p.device = modem.Path();
    p.outSize = 16;
    ASSERT_EQ(disp.Open(p), 0);
    EXPECT_EQ(disp.PutString(std::string(17, 'x')), ec::OutputBufferTooSmall);
    EXPECT_EQ(disp.OutBuffUsed(), 0u);
    EXPECT_EQ(modem.Receive(1, 300ms), "");
    EXPECT_EQ(disp.PutString("ATZ\r"), 0);
    EXPECT_EQ(modem.Receive(4), "ATZ\r");
    EXPECT_TRUE(disp.WaitOutputEmpty(5s));
    EXPECT_EQ(disp.OutBuffFree(), 16u);
}

TEST_F(DispatcherTest, OutputStatusTriggers) {
    Record(false);
    int sent = disp.AddStatusTrigger(5);
    int used = disp.AddStatusTrigger(4);
    int freeT = disp.AddStatusTrigger(3);
    ASSERT_GT(sent, 0);
    EXPECT_EQ(sent & 7, 5);
    EXPECT_EQ(used & 7, 4);
    EXPECT_EQ(freeT & 7, 3);
    EXPECT_EQ(disp.AddStatusTrigger(6), ec::BadArgument);
    EXPECT_EQ(disp.SetStatusTrigger(1234, 0, true), ec::BadTriggerHandle);

    // Output sent fires once, only after something was written since it was armed.
    ASSERT_EQ(disp.SetStatusTrigger(static_cast<std::uint16_t>(sent), 0, true), 0);
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(Messages(apw::TriggerStatus).empty());
    ASSERT_EQ(disp.PutString("AT\r"), 0);
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerStatus).size() == 1; }));
    EXPECT_EQ(Messages(apw::TriggerStatus)[0].trigger, sent);
    modem.Receive(3);

    // Used <= 0 and free >= 8000 both hold once the ring has drained; each fires once.
    ASSERT_EQ(disp.SetStatusTrigger(static_cast<std::uint16_t>(used), 0, true), 0);
    ASSERT_EQ(disp.SetStatusTrigger(static_cast<std::uint16_t>(freeT), 8000, true), 0);
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerStatus).size() == 3; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Messages(apw::TriggerStatus).size(), 3u);
}

TEST_F(DispatcherTest, HoldOffKeepsReadingButDispatchesNothing) {
    Record(false);
    disp.AddDataTrigger("OK", false);
    int t = disp.AddTimerTrigger();
    EXPECT_FALSE(disp.SetDispatchingNow(true));
    ASSERT_EQ(disp.SetTimerTrigger(static_cast<std::uint16_t>(t), 1, true), 0);
    modem.Send("OK\r\n");
    ASSERT_TRUE(disp.WaitForInput(4, 5s));
    // The timer runs out while dispatching is held off: the dispatch thread must sleep
    // through the rest of the hold-off, not wake for the expired timer again and again.
    const std::clock_t cpu0 = std::clock();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 0.05);
    EXPECT_TRUE(Messages(apw::TriggerData).empty());
    EXPECT_TRUE(Messages(apw::TriggerTimer).empty());
    EXPECT_TRUE(disp.SetDispatchingNow(false));
    // The timer that ran out meanwhile fires now; the bytes were the synchronous reader's.
    ASSERT_TRUE(eventually([&] { return Messages(apw::TriggerTimer).size() == 1; }));
    EXPECT_TRUE(Messages(apw::TriggerData).empty());
}

TEST_F(DispatcherTest, HandlerRemovedDuringDispatchIsNotCalledAgain) {
    std::atomic<int> first{0}, second{0};
    int secondId = 0;
    disp.RegisterProcHandler([&](std::uint16_t m, std::uint16_t, std::uint32_t) {
        if (m == apw::TriggerData) {
            ++first;
            disp.DeregisterProcHandler(secondId);
        }
    });
    secondId = disp.RegisterProcHandler([&](std::uint16_t, std::uint16_t, std::uint32_t) { ++second; });
    disp.AddDataTrigger("!", false);
    modem.Send("!");
    ASSERT_TRUE(eventually([&] { return first == 1; }));
    modem.Send("!");
    ASSERT_TRUE(eventually([&] { return first == 2; }));
    EXPECT_EQ(second, 0);
}

// The owner of a handler deregisters it from its own thread while the dispatch thread is
// inside it: once AwaitHandlerCalls returns, that call has ended and no other comes.
TEST_F(DispatcherTest, AwaitingHandlerCallsOutlastsACallInProgress) {
    std::atomic<bool> inside{false}, release{false}, ended{false};
    std::atomic<int> callsAfter{0};
    std::atomic<bool> deregistered{false};
    const int id = disp.RegisterProcHandler([&](std::uint16_t m, std::uint16_t, std::uint32_t) {
        if (deregistered)
            ++callsAfter;
        if (m != apw::TriggerData)
            return;
        inside = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ended = true;
    });
    disp.AddDataTrigger("!", false);
    modem.Send("!");
    ASSERT_TRUE(eventually([&] { return inside.load(); }));
    disp.DeregisterProcHandler(id);
    deregistered = true;
    release = true;
    disp.AwaitHandlerCalls();
    EXPECT_TRUE(ended);
    modem.Send("!");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(callsAfter, 0);
}

// A pty has no modem lines: dropping DTR there is the hang-up speed B0, which the modem
// on the master side sees; raising it again brings the line's speed back.
TEST_F(DispatcherTest, DtrOnAPtyIsTheHangupSpeed) {
    auto outSpeed = [this] {
        termios t{};
        ::tcgetattr(modem.Master(), &t);
        return ::cfgetospeed(&t);
    };
    const speed_t before = outSpeed();
    ASSERT_NE(before, B0);
    EXPECT_EQ(disp.SetDTR(false), 0);
    EXPECT_EQ(outSpeed(), B0);
    EXPECT_EQ(disp.SetDTR(false), 0);
    EXPECT_EQ(disp.SetDTR(true), 0);
    EXPECT_EQ(outSpeed(), before);
}

TEST_F(DispatcherTest, CloseFromInsideAHandlerIsDeferred) {
    std::atomic<bool> called{false};
    disp.RegisterProcHandler([&](std::uint16_t m, std::uint16_t, std::uint32_t) {
        if (m == apw::TriggerData) {
            EXPECT_EQ(disp.Close(), 0);
            called = true;
        }
    });
    disp.AddDataTrigger("bye", false);
    modem.Send("bye");
    ASSERT_TRUE(eventually([&] { return called.load(); }));
    EXPECT_TRUE(disp.ClosePending());
    EXPECT_EQ(disp.Close(), 0);
    EXPECT_FALSE(disp.IsOpen());
}

TEST(DispatcherOpen, ErrorsAndHandles) {
    TVelkPosixDispatcher a;
    DispatcherOpenParams p;
    p.device = "/nonexistent/ttyS99";
    EXPECT_EQ(a.Open(p), -ENOENT);
    p.device = "/dev/null"; // not a terminal
    EXPECT_EQ(a.Open(p), -ENOTTY);

    PtyModem m1, m2;
    TVelkPosixDispatcher b, c;
    p.device = m1.Path();
    ASSERT_EQ(a.Open(p), 0);
    EXPECT_EQ(b.Open(p), ec::AlreadyOpen);
    EXPECT_EQ(a.PutString("x"), 0);
    p.device = m2.Path();
    ASSERT_EQ(b.Open(p), 0);
    EXPECT_NE(a.Handle(), b.Handle());
    int freed = a.Handle();
    EXPECT_EQ(a.Close(), 0);
    EXPECT_EQ(a.PutString("x"), ec::CommNotOpen);
    EXPECT_EQ(a.Close(), ec::CommNotOpen);
    p.device = m1.Path();
    ASSERT_EQ(c.Open(p), 0);
    EXPECT_EQ(c.Handle(), freed); // free slots are reused
}

TEST(DispatcherTimers, TimerTriggerWithAManualClock) {
    PtyModem modem;
    ManualClock clock;
    TVelkPosixDispatcher disp(clock);
    DispatcherOpenParams p;
    p.device = modem.Path();
    ASSERT_EQ(disp.Open(p), 0);
    std::atomic<int> fired{0};
    std::atomic<int> which{0};
    disp.RegisterEventHandler(
        [&](std::uint16_t m, std::uint16_t t, std::uint32_t) {
            if (m == apw::TriggerTimer) {
                which = t;
                ++fired;
            }
        },
        false);
    int t = disp.AddTimerTrigger();
    ASSERT_GT(t, 0);
    ASSERT_EQ(disp.SetTimerTrigger(static_cast<std::uint16_t>(t), secsToTicks(1), true), 0);
    EXPECT_EQ(secsToTicks(1), 18);
    clock.ms += 18 * 55; // exactly at expiry: not yet past it
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(fired, 0);
    clock.ms += 55;
    ASSERT_TRUE(eventually([&] { return fired == 1; }));
    EXPECT_EQ(which, t);
    // Re-arming with 0 ticks reuses the last duration; a timer fires once per arming.
    ASSERT_EQ(disp.SetTimerTrigger(static_cast<std::uint16_t>(t), 0, true), 0);
    clock.ms += 17 * 55;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(fired, 1);
    clock.ms += 2 * 55;
    ASSERT_TRUE(eventually([&] { return fired == 2; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(disp.SetTimerTrigger(9999, 1, true), ec::BadTriggerHandle);
}

TEST(DispatcherLoss, FarSideClosedWhileReceiving) {
    auto modem = std::make_unique<PtyModem>();
    TVelkPosixDispatcher disp;
    DispatcherOpenParams p;
    p.device = modem->Path();
    ASSERT_EQ(disp.Open(p), 0);
    modem->ReleaseSlave();
    std::atomic<int> lostCode{0};
    std::atomic<std::size_t> received{0};
    disp.SetDataAvailThreshold(1);
    disp.RegisterProcHandler([&](std::uint16_t m, std::uint16_t, std::uint32_t param) {
        if (m == apw::PortLost)
            lostCode = -static_cast<int>(param & 0xFFFF);
        if (m == apw::TriggerAvail) {
            std::uint8_t c;
            while (disp.GetChar(c) == 0)
                ++received;
        }
    });
    int t = disp.AddTimerTrigger();
    disp.SetTimerTrigger(static_cast<std::uint16_t>(t), 1000, true);
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop) {
            modem->Send("RING\r\n");
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(eventually([&] { return received > 100; }));
    stop = true;
    feeder.join();
    modem->CloseMaster();
    ASSERT_TRUE(eventually([&] { return lostCode != 0; }));
    EXPECT_EQ(lostCode, -ENODEV);
    EXPECT_EQ(disp.LostError(), -ENODEV);
    EXPECT_EQ(errorText(disp.LostError()), "No such device");
    EXPECT_EQ(disp.PutString("AT\r"), -ENODEV);
    std::uint8_t c;
    while (disp.GetChar(c) == 0) {
    }
    EXPECT_FALSE(disp.WaitForInput(1, 100ms));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(disp.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

TEST_F(DispatcherTest, LineAndFlowSettingsReachTheDevice) {
    // The kernel reports the terminal settings of a pty's slave through its master (a pty
    // always keeps 8 bits without parity, so those are checked on our side only).
    ASSERT_EQ(disp.SetLine(9600, TParity::pEven, 7, 2), 0);
    termios t{};
    ASSERT_EQ(tcgetattr(modem.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON)); // raw: nothing comes back, nothing waits
    ASSERT_EQ(disp.SetLine(kKeep, TParity::pMark, kKeep, 1), 0);
    ASSERT_EQ(tcgetattr(modem.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_EQ(disp.GetLine().dataBits, 7);
    EXPECT_EQ(disp.GetLine().parity, TParity::pMark);
    EXPECT_EQ(disp.SetBaud(12345), ec::BaudRate);
    EXPECT_EQ(disp.SetLine(kKeep, std::nullopt, 9, kKeep), ec::ByteSize);
    EXPECT_EQ(disp.GetLine().baud, 9600);

    FlowSettings f;
    f.hwOptions = hwf::UseRTS | hwf::RequireCTS;
    f.swOptions = TSWFlowOptions::swfBoth;
    f.xonChar = 0x01;
    f.xoffChar = 0x02;
    ASSERT_EQ(disp.SetFlow(f), 0);
    ASSERT_EQ(tcgetattr(modem.Master(), &t), 0);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x01);
    EXPECT_EQ(t.c_cc[VSTOP], 0x02);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
}

TEST_F(DispatcherTest, XoffFromTheModemHoldsOutputUntilXon) {
    FlowSettings f;
    f.swOptions = TSWFlowOptions::swfTransmit;
    ASSERT_EQ(disp.SetFlow(f), 0);
    modem.Send("\x13");
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(disp.PutString("AT\r"), 0);
    EXPECT_EQ(modem.Receive(1, 300ms), "");
    modem.Send("\x11");
    EXPECT_EQ(modem.Receive(3), "AT\r");
    // Flow characters are the line's business, not data for the port.
    EXPECT_EQ(disp.InBuffUsed(), 0u);
}
