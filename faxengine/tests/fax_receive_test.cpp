// The receive machine against a scripted modem: every byte the modem would send is fed
// in through the session's own reader and frame parsing, every command and frame the
// machine writes is checked, and the stored APF file is read back with the APF reader's
// own header parsing.
#include "faxengine/fax_receive.h"
#include "faxengine/fax_receive_file.h"
#include "faxengine/fax_receive_port.h"
#include "faxengine/modem_response.h"
#include "faxengine/posix_dispatcher.h"
#include "faxengine/t30_params.h"
#include "faxengine/tests/pty_modem.h"
#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace faxengine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using RS = ReceiveState;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v)
        s.push_back(static_cast<char>(b));
    return s;
}

// A modem that hands over what the test queued and records what the machine wrote. The
// session record behind it has no port: its reader, frame parsing and report parsing are
// the real ones; what goes to the port is written here as the session writes it.
class ScriptedPort : private detail::OwnedReceiveSession, public FaxReceivePort {
public:
    ScriptedPort() : FaxReceivePort(detail::OwnedReceiveSession::session) {}

    std::deque<std::uint8_t> in;
    std::string out;
    bool timeoutArmed = false;
    std::chrono::milliseconds timeoutAfter{0};
    std::chrono::steady_clock::time_point now{};

    void Reset() {
        in.clear();
        out.clear();
        timeoutArmed = false;
        now = {};
        Session().ResetReader();
    }
    void SendCommand(std::string_view cmd) override { command(cmd, 100ms); }
    void SendClass1Command(std::string_view cmd) override { command(cmd, 40ms); }
    void SendRaw(std::string_view b) override { out.append(b); }
    ReaderEvent ReadResponse() override {
        std::uint8_t b = 0;
        while (GetByte(b))
            if (const ReaderEvent e = Session().FeedByte(b); e != ReaderEvent::None)
                return e;
        return ReaderEvent::None;
    }
    bool GetByte(std::uint8_t& c) override {
        if (in.empty())
            return false;
        c = in.front();
        in.pop_front();
        return true;
    }
    bool InputWaiting() override { return !in.empty(); }
    void Pause(std::chrono::milliseconds ms) override { now += ms; }
    std::chrono::steady_clock::time_point Now() override { return now; }
    void ArmTimeout(std::chrono::milliseconds after) override {
        timeoutArmed = true;
        timeoutAfter = after;
    }
    void DisarmTimeout() override { timeoutArmed = false; }
    void SetSoftwareFlow(bool, std::size_t, std::size_t) override {}
    void SendCsiFrame(std::string_view id) override {
        const auto fif = idFif(id);
        frame(false, fcf::CSI, std::string(fif.begin(), fif.end()));
    }
    void SendDisFrame(int modulation) override {
        const auto fif = disFif(true, modulation);
        frame(true, fcf::DIS, std::string(fif.begin(), fif.end()));
    }
    void SendFcfFrame(std::uint8_t f, bool final) override { frame(final, f, ""); }
    void SetDtrRts(bool) override {}
    void ReceiveHangup() override {
        in.clear();
        out += "+++";
        command("ATH", 100ms);
        in.clear();
    }
    void SessionSpeed() override {}
    void IdleSpeed() override {}
    void LogState(ReceiveState) override {}
    // What was written since the last call.
    std::string Take() { return std::exchange(out, {}); }
    FaxSession& Record() { return Session(); }

private:
    void command(std::string_view cmd, std::chrono::milliseconds pre) {
        now += pre;
        out.append(cmd);
        out += '\r';
        Session().ResetReader();
        ArmTimeout(FaxReceiver::kResponseTimeout);
    }
    void frame(bool final, std::uint8_t f, const std::string& fif) {
        out += static_cast<char>(kHdlcAddress);
        out += static_cast<char>(final ? kHdlcControlFinal : kHdlcControlNonFinal);
        out += static_cast<char>(f);
        out += fif;
        out += static_cast<char>(kDLE);
        out += static_cast<char>(kETX);
    }
};

// A received HDLC frame as the modem passes it on: CONNECT, stuffed bytes, DLE ETX, OK.
std::string frame(std::string body) {
    std::string s = "\r\nCONNECT\r\n";
    for (char c : body) {
        s.push_back(c);
        if (c == 0x10)
            s.push_back(c);
    }
    return s + bytes({0x10, 0x03}) + "\r\nOK\r\n";
}

std::string tsi(const std::string& id, bool final) {
    std::string s = bytes({0xFF, final ? 0x13 : 0x03, 0x43});
    std::string padded = id + std::string(20 - id.size(), ' ');
    return s + std::string(padded.rbegin(), padded.rend());
}

class ReceiveMachine : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("fax-rx-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        owner_.fileName = [this] {
            return (dir_ / ("fax" + std::to_string(++files_) + ".apf")).string();
        };
        owner_.log = [this](int c) { logs_.push_back(c); };
        owner_.error = [this](int c) { errors_.push_back(c); };
        owner_.finish = [this](int c) { finish_ = c; };
        owner_.accept = [this](const std::string& id) {
            acceptedId_ = id;
            return accept_;
        };
        opt_.oneFax = true;
        opt_.stationId = "12345";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void start() {
        rx_.emplace(port_, owner_, opt_);
        rx_->Start();
    }
    void feed(const std::string& s) {
        port_.in.insert(port_.in.end(), s.begin(), s.end());
        rx_->Handle(ReceiveEvent::Data);
    }
    // Start, initialise and answer on the first ring.
    void answer() {
        start();
        EXPECT_EQ(port_.Take(), "AT+FCLASS=1\r");
        feed("\r\nOK\r\n");
        ASSERT_EQ(rx_->State(), RS::rfWaiting);
        feed("\r\nRING\r\n");
    }
    // Class 1 up to the first page carrier: CSI/DIS out, TSI/DCS in, a good training.
    void class1ToPage(const std::string& dcs) {
        answer();
        EXPECT_EQ(port_.Take(), "ATA\r");
        feed("\r\nCONNECT\r\n");
        EXPECT_EQ(port_.Take(), bytes({0xFF, 0x03, 0x40}) + std::string(15, ' ') + "54321" +
                                    bytes({0x10, 0x03}));
        feed("\r\nCONNECT\r\n");
        feed("\r\nOK\r\n");
        port_.Take();
        ASSERT_EQ(rx_->State(), RS::rf1CollFrms);
        feed(frame(tsi("REMOTE 1", false)));
        EXPECT_EQ(port_.Take(), "AT+FRH=3\r");
        feed(frame(dcs));
        ASSERT_EQ(rx_->State(), RS::rf1StrtTrn);
        feed("\r\nCONNECT\r\n");
        ASSERT_EQ(rx_->State(), RS::rf1CollTrn);
        port_.Take();
        feed(std::string(1500, '\0') + bytes({0x10, 0x03}));
        ASSERT_EQ(rx_->State(), RS::rf1FinTrn);
        feed("\r\nNO CARRIER\r\n");
        EXPECT_EQ(port_.Take(), "AT+FTH=3\r");
        feed("\r\nCONNECT\r\n");
        EXPECT_EQ(port_.Take(), bytes({0xFF, 0x13, 0x84, 0x10, 0x03}));
        feed("\r\nOK\r\n");
        ASSERT_EQ(rx_->State(), RS::rf1WtPgCnnct);
    }
    // Page data (stuffed) ending with DLE ETX and the carrier loss, then the post-page
    // message and our MCF.
    void class1Page(const std::string& data, int postPage) {
        port_.Take();
        feed("\r\nCONNECT\r\n");
        ASSERT_EQ(rx_->State(), RS::rfGtPgDta);
        std::string stuffed;
        for (char c : data) {
            stuffed.push_back(c);
            if (c == 0x10)
                stuffed.push_back(c);
        }
        feed(stuffed + bytes({0x10, 0x03}) + "\r\nNO CARRIER\r\n");
        EXPECT_EQ(port_.Take(), "AT+FRH=3\r");
        feed(frame(bytes({0xFF, 0x13, postPage})));
        EXPECT_EQ(port_.Take(), "AT+FTH=3\r");
        ASSERT_EQ(rx_->State(), RS::rf1SendMCF);
        feed("\r\nCONNECT\r\n");
        EXPECT_EQ(port_.Take(), bytes({0xFF, 0x13, 0x8C, 0x10, 0x03}));
        feed("\r\nOK\r\n");
    }

    fs::path dir_;
    ScriptedPort port_;
    ReceiveOwner owner_;
    ReceiveOptions opt_;
    std::optional<FaxReceiver> rx_;
    std::vector<int> logs_;
    std::vector<int> errors_;
    std::optional<int> finish_;
    std::string acceptedId_;
    bool accept_ = true;
    int files_ = 0;
};

// A frame as the modem hands it over, through the session's reader and parsing.
CallerFrame parse(ScriptedPort& port, const std::string& body) {
    const std::string f = frame(body);
    port.in.assign(f.begin(), f.end());
    EXPECT_EQ(port.ReadResponse(), ReaderEvent::Line); // CONNECT
    EXPECT_EQ(port.ReadResponse(), ReaderEvent::Frame);
    return port.ParseFrame();
}

TEST(ReceiveFrames, CalledStationFramesAndDcsDecoding) {
    // The id goes out last character first behind its padding.
    const auto id = idFif("12345");
    EXPECT_EQ(std::string(id.begin(), id.end()), std::string(15, ' ') + "54321");
    EXPECT_EQ(disFif(true, 4), (std::array<std::uint8_t, 4>{0x00, 0x4E, 0xF9, 0x00}));
    EXPECT_EQ(disFif(true, 6)[1], 0x6E);

    // DCS FIF bytes 2 and 3 → speed, training and page codes, fine, wide, scan-time code.
    // V.17 sends the page after a short train and picks its rate with bits 11 and 12.
    struct Dcs {
        int b2, b3, bps;
        const char* training;
        const char* page;
        bool fine, wide;
        int scan;
    };
    const Dcs cases[] = {
        {0x46, 0x88, 9600, "96", "96", true, false, 5},   // V.29
        {0x0A, 0x88, 4800, "48", "48", false, false, 5},  // V.27ter
        {0x22, 0x79, 14400, "145", "146", false, true, 0}, // V.17
        {0x2A, 0x88, 12000, "121", "122", false, false, 5},
        {0x26, 0x88, 9600, "97", "98", false, false, 5},
        {0x2E, 0x88, 7200, "73", "74", false, false, 5},
    };
    ScriptedPort port;
    for (const Dcs& c : cases) {
        const auto p = parse(port, bytes({0xFF, 0x13, 0x83, 0x00, c.b2, c.b3, 0x00})).params;
        ASSERT_TRUE(p) << c.b2;
        EXPECT_EQ(p->bps, c.bps) << c.b2;
        EXPECT_EQ(p->trainingCode, c.training) << c.b2;
        EXPECT_EQ(p->pageCode, c.page) << c.b2;
        EXPECT_EQ(p->fine, c.fine) << c.b2;
        EXPECT_EQ(p->wide, c.wide) << c.b2;
        EXPECT_EQ(port.Record().scanTimeCode, c.scan) << c.b2;
    }

    // The caller's id, DCN, a retrain request, and a frame too short to read.
    auto f = parse(port, tsi("REMOTE 1", false));
    EXPECT_TRUE(f.whole);
    EXPECT_FALSE(f.final);
    EXPECT_EQ(f.remoteId, "REMOTE 1" + std::string(12, ' '));
    EXPECT_FALSE(f.params);
    f = parse(port, bytes({0xFF, 0x13, 0xFB}));
    EXPECT_TRUE(f.dcn && f.final && !f.retrain);
    f = parse(port, bytes({0xFF, 0x13, 0x4D}));
    EXPECT_TRUE(f.retrain && !f.dcn);
    EXPECT_FALSE(parse(port, bytes({0xFF, 0x13})).whole);
}

TEST(ReceiveFrames, Class2ReportsAndIds) {
    EXPECT_EQ(cleanStationId("+FTSI:\"  +1 555 0100\""), "+1 555 0100");
    EXPECT_EQ(cleanReport("+FPTS: 1,2200,0,0"), "1,2200,0,0");
    ScriptedPort port;
    const ReceiveParams s = port.ApplySessionReport("+FDCS:1,5,0,2,0,0,0,3");
    EXPECT_EQ(s.bps, 14400);
    EXPECT_TRUE(s.fine);
    EXPECT_FALSE(s.wide);
    EXPECT_EQ(port.Record().scanTimeCode, 3);
    EXPECT_EQ(port.ApplySessionReport("+FCS:0,3,1,2,0,1,0,0").wide, true);
    EXPECT_EQ(brSpeedCode(9600), '3');
    EXPECT_EQ(brSpeedCode(14400), '5');
}

TEST_F(ReceiveMachine, FileKeepsPagesHeadersAndDropsABadPage) {
    ReceiveFile f;
    const fs::path p = dir_ / "f.apf";
    ASSERT_EQ(f.Create(p, "ABC"), 0);
    ASSERT_EQ(f.BeginPage(faximage::kApfHighResolution), 0);
    std::vector<std::uint8_t> data(5000, 0x5A);
    ASSERT_EQ(f.Append(data), 0);
    ASSERT_EQ(f.EndPage("REMOTE"), 0);
    ASSERT_EQ(f.BeginPage(0), 0);
    ASSERT_EQ(f.Append(data), 0);
    ASSERT_EQ(f.DiscardPage(), 0); // a bad page goes, header and all
    ASSERT_EQ(f.BeginPage(faximage::kApfWide), 0);
    ASSERT_EQ(f.Append(0x10), 0);
    ASSERT_EQ(f.EndPage("REMOTE"), 0);
    ASSERT_EQ(f.Close(), 0);

    const std::string s = slurp(p);
    ASSERT_EQ(s.size(), 64u + 16 + 5000 + 16 + 1);
    auto fh = faximage::ApfFileHeader::parse(
        std::span<const std::uint8_t, 64>(reinterpret_cast<const std::uint8_t*>(s.data()), 64));
    EXPECT_TRUE(fh.hasSignature());
    EXPECT_EQ(fh.pageCount, 2);
    EXPECT_EQ(fh.stationIdLength, 20);
    EXPECT_EQ(fh.stationId(), "REMOTE" + std::string(14, ' '));
    auto ph = faximage::ApfPageHeader::parse(std::span<const std::uint8_t, 16>(
        reinterpret_cast<const std::uint8_t*>(s.data()) + 64, 16));
    EXPECT_EQ(ph.imageLength, 5000u);
    EXPECT_TRUE(ph.highResolution());
    auto ph2 = faximage::ApfPageHeader::parse(std::span<const std::uint8_t, 16>(
        reinterpret_cast<const std::uint8_t*>(s.data()) + 64 + 16 + 5000, 16));
    EXPECT_EQ(ph2.imageLength, 1u);
    EXPECT_TRUE(ph2.wide());
    EXPECT_FALSE(ph2.lengthWords());
}

TEST_F(ReceiveMachine, Class1TwoPagesIntoOneFile) {
    class1ToPage(bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00}));
    EXPECT_EQ(acceptedId_, "REMOTE 1" + std::string(12, ' '));
    EXPECT_EQ(logs_, std::vector<int>{rxlog::ReceiveStart});
    const std::string page1 = bytes({0x00, 0x10, 0x80, 0x10, 0x10, 0x03, 0xB2});
    class1Page(page1, 0x4F); // MPS
    // The next page starts only when its carrier is there, so CONNECT stays out of it.
    EXPECT_EQ(port_.Take(), "AT+FRM=96\r");
    ASSERT_EQ(rx_->State(), RS::rf1WtPgCnnct);
    const std::string page2(3000, '\x55');
    class1Page(page2, 0x2F); // EOP
    EXPECT_EQ(port_.Take(), "AT+FRH=3\r");
    EXPECT_EQ(logs_, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveOK}));
    ASSERT_EQ(rx_->State(), RS::rf1WaitDCN);
    feed(frame(bytes({0xFF, 0x13, 0xFB})));
    EXPECT_EQ(port_.Take(), "ATH\r");
    feed("\r\nOK\r\n");
    EXPECT_EQ(rx_->State(), RS::rfDone);
    EXPECT_EQ(finish_, 0);
    EXPECT_TRUE(errors_.empty());

    const std::string s = slurp(dir_ / "fax1.apf");
    ASSERT_EQ(s.size(), 64 + 16 + page1.size() + 16 + page2.size());
    EXPECT_EQ(s.substr(80, page1.size()), page1);
    EXPECT_EQ(s.substr(96 + page1.size()), page2);
    EXPECT_EQ(static_cast<unsigned char>(s[68]), faximage::kApfHighResolution);
    EXPECT_EQ(s[10], 20); // station id length byte
}

TEST_F(ReceiveMachine, TrainingJudgedByShareOfNonZeroBytes) {
    // Only the end mark: the carrier dropped at once, which proves nothing.
    for (auto [bad, total, good] :
         {std::tuple{99, 1000, true}, std::tuple{100, 1000, false}, std::tuple{0, 0, false}}) {
        port_.Reset();
        answer();
        feed("\r\nCONNECT\r\n");
        feed("\r\nCONNECT\r\n");
        feed("\r\nOK\r\n");
        feed(frame(bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00})));
        feed("\r\nCONNECT\r\n");
        ASSERT_EQ(rx_->State(), RS::rf1CollTrn);
        port_.Take();
        // The DLE of the end mark counts as one more non-zero byte.
        std::string t(static_cast<std::size_t>(std::max(0, total - 1)), '\0');
        for (int i = 0; i < bad - 1 && i < total; ++i)
            t[static_cast<std::size_t>(i)] = '\x01';
        feed(t + bytes({0x10, 0x03}));
        if (good) {
            EXPECT_EQ(rx_->State(), RS::rf1FinTrn) << bad;
        } else {
            EXPECT_EQ(rx_->State(), RS::rf1Retrain) << bad << "/" << total;
            EXPECT_EQ(port_.Take(), "AT+FTH=3\r");
            feed("\r\nCONNECT\r\n");
            EXPECT_EQ(port_.Take(), bytes({0xFF, 0x13, 0x44, 0x10, 0x03})); // FTT
            feed("\r\nOK\r\n");
            EXPECT_EQ(rx_->State(), RS::rf1CollFrms);
        }
    }
}

TEST_F(ReceiveMachine, RetrainingAt2400FailsTheCall) {
    opt_.exitOnError = true;
    answer();
    feed("\r\nCONNECT\r\n");
    feed("\r\nCONNECT\r\n");
    feed("\r\nOK\r\n");
    feed(frame(bytes({0xFF, 0x13, 0x83, 0x00, 0x02, 0x88, 0x00}))); // 2400
    feed("\r\nCONNECT\r\n");
    feed(std::string(100, '\x7F') + bytes({0x10, 0x03}));
    feed("\r\nCONNECT\r\n");
    EXPECT_EQ(rx_->State(), RS::rfDone);
    EXPECT_EQ(errors_, std::vector<int>{ec::FaxTrainError});
    EXPECT_EQ(finish_, ec::FaxTrainError);
}

TEST_F(ReceiveMachine, AnswersOnTheSetRingAndRefusesDataCalls) {
    opt_.answerOnRing = 3;
    start();
    feed("\r\nOK\r\n");
    port_.Take();
    feed("\r\nRING\r\n\r\nRING\r\n");
    EXPECT_EQ(rx_->State(), RS::rfWaiting);
    EXPECT_EQ(port_.Take(), "");
    feed("\r\nRING\r\n");
    EXPECT_EQ(port_.Take(), "ATA\r");
    EXPECT_EQ(rx_->State(), RS::rf1SendCSI);

    // A data modem answering: not a fax; with ExitOnError off the machine waits again.
    opt_.oneFax = false;
    opt_.answerOnRing = 1;
    port_.Reset();
    errors_.clear();
    start();
    feed("\r\nOK\r\n");
    feed("\r\nCONNECT 2400\r\n");
    EXPECT_EQ(errors_, std::vector<int>{ec::FaxDataCall});
    EXPECT_EQ(rx_->State(), RS::rf1Init1);
    EXPECT_NE(port_.Take().find("+++"), std::string::npos);
}

TEST_F(ReceiveMachine, MissingFramesAreAskedForAgainThenTheCallFails) {
    opt_.exitOnError = true;
    answer();
    feed("\r\nCONNECT\r\n");
    feed("\r\nCONNECT\r\n");
    feed("\r\nOK\r\n");
    for (int retry = 1; retry <= 3; ++retry) {
        ASSERT_EQ(rx_->State(), RS::rf1CollFrms);
        port_.Take();
        rx_->Handle(ReceiveEvent::Timeout);
        EXPECT_EQ(port_.Take(), "AT\r");
        feed("\r\nOK\r\n");
        EXPECT_EQ(port_.Take(), "AT+FTH=3\r"); // CSI and DIS again
        feed("\r\nCONNECT\r\n");
        feed("\r\nCONNECT\r\n");
        feed("\r\nOK\r\n");
    }
    rx_->Handle(ReceiveEvent::Timeout);
    EXPECT_EQ(rx_->State(), RS::rfDone);
    EXPECT_EQ(finish_, ec::TimeOut);
}

TEST_F(ReceiveMachine, AnAnswerArrivingWithTheTimeoutIsReadFirst) {
    answer();
    feed("\r\nCONNECT\r\n");
    feed("\r\nCONNECT\r\n");
    feed("\r\nOK\r\n");
    ASSERT_EQ(rx_->State(), RS::rf1CollFrms);
    port_.Take();
    // The caller's frames begin just as the wait for them runs out: no retry.
    const std::string connect = "\r\nCONNECT\r\n";
    port_.in.insert(port_.in.end(), connect.begin(), connect.end());
    rx_->Handle(ReceiveEvent::Timeout);
    EXPECT_EQ(port_.Take(), "");
    EXPECT_EQ(rx_->State(), RS::rf1CollFrms);
    EXPECT_TRUE(port_.timeoutArmed);
    // Nothing follows: the timeout is taken after the grace, and CSI/DIS are asked for again.
    rx_->Handle(ReceiveEvent::Timeout);
    EXPECT_EQ(port_.Take(), "AT\r");
}

TEST_F(ReceiveMachine, RefusedCallWaitsForTheNextOneUntilTheUserAborts) {
    accept_ = false;
    opt_.oneFax = false;
    answer();
    feed("\r\nCONNECT\r\n");
    feed("\r\nCONNECT\r\n");
    feed("\r\nOK\r\n");
    feed(frame(tsi("NOT WANTED", false)));
    feed(frame(bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00})));
    feed("\r\nCONNECT\r\n");
    feed(std::string(500, '\0') + bytes({0x10, 0x03}) + "\r\nNO CARRIER\r\n");
    feed("\r\nCONNECT\r\n");
    port_.Take();
    feed("\r\nOK\r\n");
    EXPECT_EQ(acceptedId_, "NOT WANTED" + std::string(10, ' '));
    EXPECT_EQ(errors_, std::vector<int>{ec::FileRejected});
    EXPECT_EQ(logs_, std::vector<int>{rxlog::ReceiveRefused});
    EXPECT_EQ(files_, 0);
    EXPECT_NE(port_.Take().find("ATH\r"), std::string::npos);
    EXPECT_EQ(rx_->State(), RS::rf1Init1); // ready for the next call
    rx_->Handle(ReceiveEvent::UserAbort);
    EXPECT_EQ(rx_->State(), RS::rfDone);
    EXPECT_EQ(finish_, ec::CancelRequested);
}

TEST_F(ReceiveMachine, DcnInsteadOfThePostPageMessageFailsTheFax) {
    opt_.exitOnError = true;
    class1ToPage(bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00}));
    feed("\r\nCONNECT\r\n");
    feed(std::string(10, '\x33') + bytes({0x10, 0x03}) + "\r\nNO CARRIER\r\n");
    ASSERT_EQ(rx_->State(), RS::rf1WaitEOP);
    feed(frame(bytes({0xFF, 0x13, 0xFB})));
    EXPECT_EQ(errors_, std::vector<int>{ec::CancelRequested});
    EXPECT_EQ(logs_, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveFailed}));
    EXPECT_EQ(rx_->State(), RS::rfDone);
}

TEST_F(ReceiveMachine, UserAbortMidPageKeepsThePartialFile) {
    class1ToPage(bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00}));
    feed("\r\nCONNECT\r\n");
    feed(std::string(100, '\x33'));
    ASSERT_EQ(rx_->State(), RS::rfGtPgDta);
    rx_->Handle(ReceiveEvent::UserAbort);
    EXPECT_EQ(rx_->State(), RS::rfDone);
    EXPECT_EQ(rx_->FaxStatus(), rxstatus::Aborting);
    EXPECT_EQ(finish_, ec::CancelRequested);
    EXPECT_EQ(logs_, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveFailed}));
    EXPECT_EQ(slurp(dir_ / "fax1.apf").size(), 64u + 16 + 100);
    // Events after the end do nothing.
    rx_->Handle(ReceiveEvent::Data);
    EXPECT_EQ(rx_->State(), RS::rfDone);
}

class ReceiveClass2 : public ReceiveMachine {
protected:
    void init(FaxClass c) {
        opt_.faxClass = c;
        start();
        feed("\r\nOK\r\n");
        const std::string cap =
            c == FaxClass::fcClass2 ? "AT+FDCC=1,3,0,2,0,0,0,0\r" : "AT+FCC=1,3,0,2,0,0,0,0\r";
        EXPECT_NE(port_.Take().find(cap), std::string::npos);
        if (c == FaxClass::fcClass2_0) {
            feed("\r\nOK\r\n");
            EXPECT_EQ(port_.Take(), "AT+FLO=2\r");
            feed("\r\nOK\r\n");
            EXPECT_EQ(port_.Take(), "AT+FNR=1,1,1,0\r");
        }
        feed("\r\nOK\r\n");
        ASSERT_EQ(rx_->State(), RS::rfWaiting);
        feed("\r\nRING\r\n");
        EXPECT_EQ(port_.Take(), "ATA\r");
        const bool two = c == FaxClass::fcClass2;
        feed(two ? "\r\n+FCON\r\n" : "\r\n+FCO\r\n");
        feed(two ? "\r\n+FTSI:\"REMOTE 2\"\r\n" : "\r\n+FTI:\"REMOTE 2\"\r\n");
        EXPECT_EQ(acceptedId_, "REMOTE 2");
        feed(two ? "\r\n+FDCS:1,3,0,2,0,0,0,0\r\n" : "\r\n+FCS:1,3,0,2,0,0,0,0\r\n");
        feed("\r\nOK\r\n");
        EXPECT_EQ(port_.Take(), "AT+FDR\r");
    }
    // One page of data after CONNECT; DC2 asks for it.
    void page(const std::string& data, const std::string& pts, const std::string& fet) {
        feed("\r\nCONNECT\r\n");
        EXPECT_EQ(port_.Take(), "\x12");
        const bool two = opt_.faxClass == FaxClass::fcClass2;
        feed(data + bytes({0x10, 0x03}) + (two ? "\r\n+FPTS:" : "\r\n+FPS:") + pts + "\r\n" +
             "\r\n+FET:" + fet + "\r\n\r\nOK\r\n");
        EXPECT_EQ(port_.Take(), "AT+FDR\r");
    }
    void hangup() {
        feed(opt_.faxClass == FaxClass::fcClass2 ? "\r\n+FHNG:0\r\n\r\nOK\r\n"
                                                   : "\r\n+FHS:0\r\n\r\nOK\r\n");
        EXPECT_EQ(rx_->State(), RS::rfDone);
        EXPECT_EQ(finish_, 0);
    }
};

TEST_F(ReceiveClass2, Class2BytesAreReversedAndABadPageIsReceivedAgain) {
    init(FaxClass::fcClass2);
    page(bytes({0x01, 0x80, 0x0F}), "2", "0"); // bad: dropped
    page(bytes({0x01, 0x80, 0x0F}), "1", "2");
    hangup();
    const std::string s = slurp(dir_ / "fax1.apf");
    ASSERT_EQ(s.size(), 64u + 16 + 3);
    EXPECT_EQ(s.substr(80), bytes({0x80, 0x01, 0xF0}));
    auto fh = faximage::ApfFileHeader::parse(
        std::span<const std::uint8_t, 64>(reinterpret_cast<const std::uint8_t*>(s.data()), 64));
    EXPECT_EQ(fh.pageCount, 1);
}

// The modem's page report says bad while its post-page report says last page: the
// sender will send the page again, so the fax is not over and the page keeps its number.
TEST_F(ReceiveClass2, ABadLastPageIsAwaitedAgainNotTakenAsTheEnd) {
    init(FaxClass::fcClass2_0);
    page(bytes({0x01, 0x80}), "2", "2");
    EXPECT_EQ(rx_->State(), RS::rf2GtCnnct);
    EXPECT_TRUE(logs_ == std::vector<int>{rxlog::ReceiveStart});
    page(bytes({0x0F}), "1", "2");
    hangup();
    EXPECT_EQ(slurp(dir_ / "fax1.apf").substr(80), bytes({0x0F}));
    EXPECT_EQ(rx_->CurrentPage(), 1);
    EXPECT_EQ(logs_, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveOK}));
}

TEST_F(ReceiveClass2, Class20BytesAsReceivedAndEomStartsANewFile) {
    init(FaxClass::fcClass2_0);
    page(bytes({0x01, 0x80}), "1", "1"); // EOM: the next page is another fax
    page(bytes({0x0F}), "1", "2");
    hangup();
    EXPECT_EQ(slurp(dir_ / "fax1.apf").substr(80), bytes({0x01, 0x80}));
    EXPECT_EQ(slurp(dir_ / "fax2.apf").substr(80), bytes({0x0F}));
    EXPECT_EQ(logs_, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveOK, rxlog::ReceiveStart,
                                       rxlog::ReceiveOK}));
}

TEST_F(ReceiveClass2, UnexpectedHangupReportFailsTheCall) {
    opt_.exitOnError = true;
    init(FaxClass::fcClass2);
    feed("\r\n+FHNG:50\r\n");
    EXPECT_EQ(errors_, std::vector<int>{ec::FaxSessionError});
    EXPECT_EQ(finish_, ec::FaxSessionError);
}

// The machine on a real session and port: the modem on a pty answers every command with
// OK and rings once; the owner's notices are recorded.
class NoticeLog : public FaxNoticeSink {
public:
    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession&, std::int32_t param,
                                           std::chrono::milliseconds) override {
        add(msg, param);
        return 1;
    }
    void PostNotice(std::uint16_t msg, FaxSession&, std::int32_t param) override { add(msg, param); }
    std::vector<std::int32_t> Of(std::uint16_t msg) {
        std::lock_guard g(lock_);
        std::vector<std::int32_t> out;
        for (auto& [m, p] : notices_)
            if (m == msg)
                out.push_back(p);
        return out;
    }

private:
    void add(std::uint16_t msg, std::int32_t param) {
        std::lock_guard g(lock_);
        notices_.emplace_back(msg, param);
    }
    std::mutex lock_;
    std::vector<std::pair<std::uint16_t, std::int32_t>> notices_;
};

TEST(ReceiveOnSession, TriggersReachTheMachineAndTheOwnersAbortEndsTheSession) {
    test::PtyModem modem;
    ASSERT_FALSE(modem.Path().empty());
    TVelkPosixDispatcher disp;
    DispatcherOpenParams params;
    params.device = modem.Path();
    ASSERT_EQ(disp.Open(params), 0);
    modem.ReleaseSlave();
    std::mutex m;
    std::vector<std::string> lines;
    modem.Script([&](const std::string& line) {
        std::lock_guard g(m);
        lines.push_back(line);
        return std::string(line == "AT+FCLASS=1" ? "\r\nOK\r\n\r\nRING\r\n" : "\r\nOK\r\n");
    });
    auto sent = [&](const std::string& what) {
        std::lock_guard g(m);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(what) != std::string::npos; });
    };

    FaxSession session{FaxRole::Receive};
    session.delay = [](std::chrono::milliseconds) {};
    session.faxClass = FaxClass::fcClass1;
    NoticeLog owner;
    FaxReceivePort link(session);
    ASSERT_EQ(session.Start(disp, &owner, {}, link.Procedure()), 0);
    // Initialised on OK, answered on the ring: the data trigger drove it that far.
    ASSERT_TRUE(test::eventually([&] { return sent("ATA"); }));
    ASSERT_TRUE(test::eventually([&] { return !owner.Of(faxmsg::Status).empty(); }));
    EXPECT_EQ(owner.Of(faxmsg::Status).front(), 1);

    link.UserAbort();
    ASSERT_TRUE(test::eventually([&] { return !owner.Of(faxmsg::Finish).empty(); }));
    EXPECT_EQ(owner.Of(faxmsg::Finish), std::vector<std::int32_t>{ec::CancelRequested});
    EXPECT_EQ(owner.Of(faxmsg::Status).back(), 2);
    EXPECT_TRUE(link.Finished());
    EXPECT_EQ(session.faxStatus, rxstatus::Aborting);
    EXPECT_EQ(session.timeoutTrigger, -1); // the finish removed the session's triggers
    EXPECT_TRUE(test::eventually([&] { return sent("ATH"); }));
    modem.Stop();
    disp.Close();
}

} // namespace
} // namespace faxengine
