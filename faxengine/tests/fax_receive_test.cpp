// The receive machine against a scripted modem: every byte the modem would send is fed
// in, every command and frame the machine writes is checked, and the stored APF file
// is read back with the APF reader's own header parsing.
#include "faxengine/fax_receive.h"
#include "faxengine/fax_receive_file.h"
#include "faxengine/fax_receive_frames.h"
#include "faximage/apd_errors.h"
#include "faximage/apf_file.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace faxengine {
namespace {

namespace fs = std::filesystem;
namespace ec = faximage::ec;
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

// A modem that hands over what the test queued and records what the machine wrote.
class ScriptedPort : public ReceivePort {
public:
    std::deque<std::uint8_t> in;
    std::string out;
    bool timeoutArmed = false;
    std::chrono::milliseconds timeoutAfter{0};
    std::chrono::steady_clock::time_point now{};

    std::size_t InBuffUsed() override { return in.size(); }
    bool GetChar(std::uint8_t& c) override {
        if (in.empty())
            return false;
        c = in.front();
        in.pop_front();
        return true;
    }
    void Put(std::span<const std::uint8_t> b) override { out.append(b.begin(), b.end()); }
    void SetDtrRts(bool) override {}
    void FlushIn() override { in.clear(); }
    void FlushOut() override {}
    void Wait(std::chrono::milliseconds ms) override { now += ms; }
    std::chrono::steady_clock::time_point Now() override { return now; }
    void ArmTimeout(std::chrono::milliseconds after) override {
        timeoutArmed = true;
        timeoutAfter = after;
    }
    void DisarmTimeout() override { timeoutArmed = false; }
    void SetSoftwareFlow(bool, std::size_t, std::size_t) override {}
    // What was written since the last call.
    std::string Take() { return std::exchange(out, {}); }
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
        const auto csi = rxframe::csiFrame("12345");
        EXPECT_EQ(port_.Take(), std::string(csi.begin(), csi.end()));
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

TEST(ReceiveFrames, CalledStationFramesAndDcsDecoding) {
    // The id goes out last character first behind its padding.
    auto csi = rxframe::csiFrame("12345");
    EXPECT_EQ(std::string(csi.begin() + 3, csi.end() - 2), std::string(15, ' ') + "54321");
    EXPECT_EQ(csi[1], 0x03); // not final: DIS follows
    auto dis = rxframe::disFrame(4);
    EXPECT_EQ(std::vector<std::uint8_t>(dis.begin() + 2, dis.end()),
              (std::vector<std::uint8_t>{0x80, 0x00, 0x4E, 0xF9, 0x00, 0x10, 0x03}));
    EXPECT_EQ(rxframe::disFrame(6)[4], 0x6E);

    const std::uint8_t v29fine[] = {0x00, 0x46, 0x88, 0x00};
    auto p = rxframe::decodeDcs(v29fine);
    EXPECT_EQ(p.bps, 9600);
    EXPECT_EQ(p.modulationCode, "96");
    EXPECT_EQ(p.pageCode, "96");
    EXPECT_TRUE(p.fine);
    EXPECT_EQ(p.scanTimeCode, 5);
    // V.17: the page comes after a short train; 12000 is bits 12 and 14.
    const std::uint8_t v17[] = {0x00, 0x22, 0x79, 0x00};
    p = rxframe::decodeDcs(v17);
    EXPECT_EQ(p.bps, 14400);
    EXPECT_EQ(p.pageCode, "146");
    EXPECT_TRUE(p.wide);
    EXPECT_EQ(p.scanTimeCode, 0);
    const std::uint8_t v17_12000[] = {0x00, 0x2A, 0x88, 0x00};
    p = rxframe::decodeDcs(v17_12000);
    EXPECT_EQ(p.bps, 12000);
    EXPECT_EQ(p.modulationCode, "121");
    EXPECT_EQ(p.pageCode, "122");
    const std::uint8_t v17_9600[] = {0x00, 0x26, 0x88, 0x00};
    EXPECT_EQ(rxframe::decodeDcs(v17_9600).pageCode, "98");
    const std::uint8_t v27[] = {0x00, 0x0A, 0x88, 0x00};
    EXPECT_EQ(rxframe::decodeDcs(v27).modulationCode, "48");
}

TEST(ReceiveFrames, Class2ReportsAndIds) {
    EXPECT_EQ(rxframe::cleanStationId("+FTSI:\"  +1 555 0100\""), "+1 555 0100");
    EXPECT_EQ(rxframe::cleanReport("+FPTS: 1,2200,0,0"), "1,2200,0,0");
    auto s = rxframe::parseClass2Session("+FDCS:1,5,0,2,0,0,0,3");
    EXPECT_EQ(s.bps, 14400);
    EXPECT_TRUE(s.fine);
    EXPECT_FALSE(s.wide);
    EXPECT_EQ(s.scanTimeCode, 3);
    EXPECT_EQ(rxframe::parseClass2Session("+FCS:0,3,1,2,0,1,0,0").wide, true);
    EXPECT_EQ(rxframe::brCode(9600), '3');
    EXPECT_EQ(rxframe::brCode(14400), '5');
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
        port_ = {};
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
    port_ = {};
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
    void init(ReceiveClass c) {
        opt_.faxClass = c;
        start();
        feed("\r\nOK\r\n");
        const std::string cap =
            c == ReceiveClass::Class2 ? "AT+FDCC=1,3,0,2,0,0,0,0\r" : "AT+FCC=1,3,0,2,0,0,0,0\r";
        EXPECT_NE(port_.Take().find(cap), std::string::npos);
        if (c == ReceiveClass::Class20) {
            feed("\r\nOK\r\n");
            EXPECT_EQ(port_.Take(), "AT+FLO=2\r");
            feed("\r\nOK\r\n");
            EXPECT_EQ(port_.Take(), "AT+FNR=1,1,1,0\r");
        }
        feed("\r\nOK\r\n");
        ASSERT_EQ(rx_->State(), RS::rfWaiting);
        feed("\r\nRING\r\n");
        EXPECT_EQ(port_.Take(), "ATA\r");
        const bool two = c == ReceiveClass::Class2;
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
        const bool two = opt_.faxClass == ReceiveClass::Class2;
        feed(data + bytes({0x10, 0x03}) + (two ? "\r\n+FPTS:" : "\r\n+FPS:") + pts + "\r\n" +
             "\r\n+FET:" + fet + "\r\n\r\nOK\r\n");
        EXPECT_EQ(port_.Take(), "AT+FDR\r");
    }
    void hangup() {
        feed(opt_.faxClass == ReceiveClass::Class2 ? "\r\n+FHNG:0\r\n\r\nOK\r\n"
                                                   : "\r\n+FHS:0\r\n\r\nOK\r\n");
        EXPECT_EQ(rx_->State(), RS::rfDone);
        EXPECT_EQ(finish_, 0);
    }
};

TEST_F(ReceiveClass2, Class2BytesAreReversedAndABadPageIsReceivedAgain) {
    init(ReceiveClass::Class2);
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

TEST_F(ReceiveClass2, Class20BytesAsReceivedAndEomStartsANewFile) {
    init(ReceiveClass::Class20);
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
    init(ReceiveClass::Class2);
    feed("\r\n+FHNG:50\r\n");
    EXPECT_EQ(errors_, std::vector<int>{ec::FaxSessionError});
    EXPECT_EQ(finish_, ec::FaxSessionError);
}

} // namespace
} // namespace faxengine
