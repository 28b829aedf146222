// Whole calls in real time: our transmitter sends an APF page through a Class 1 modem of
// the virtual line to its far end, whose own fax engine must report success and store the
// page we sent.
#include "faxengine/fax_session.h"
#include "faxengine/fax_transmit_port.h"
#include "faxengine/posix_dispatcher.h"
#include "faximage/apd_errors.h"
#include "faximage/fax_converter.h"
#include "faximage/fax_unpacker.h"
#include "vline_launcher.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace faxengine {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Rows of packed bits, 1 = black.
struct Page {
    int width = 0;
    std::vector<std::string> rows;
};

Page decodeTiff(const fs::path& tiff) {
    const auto pbm = tiff.string() + ".pbm";
    EXPECT_EQ(run("tifftopnm '" + tiff.string() + "' > '" + pbm + "' 2>/dev/null"), 0) << tiff;
    const std::string data = slurp(pbm);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    Page p;
    p.width = w;
    const std::size_t bytes = static_cast<std::size_t>((w + 7) / 8);
    std::size_t at = static_cast<std::size_t>(in.tellg());
    for (int r = 0; r < h && at + bytes <= data.size(); ++r, at += bytes)
        p.rows.push_back(data.substr(at, bytes));
    return p;
}

Page decodeApf(const fs::path& apf) {
    faximage::TApdFaxUnpacker u;
    u.AutoScaleMode = faximage::TAutoScaleMode::asNone; // rows as stored
    u.SetInFileName(apf.string());
    auto bm = u.UnpackPageToBitmap(1);
    Page p;
    p.width = bm.width();
    for (int y = 0; y < bm.height(); ++y) {
        std::string row(reinterpret_cast<const char*>(bm.row(y)), faximage::MonoBitmap::bytesForWidth(bm.width()));
        if (bm.sense() != faximage::PixelSense::OneIsBlack)
            for (char& c : row)
                c = static_cast<char>(~c);
        p.rows.push_back(row);
    }
    return p;
}

// The owner: one fax to send, notices recorded.
class Owner : public FaxNoticeSink {
public:
    std::string number, file, cover;
    std::mutex m;
    std::vector<int> logs, errors;
    std::atomic<bool> finished{false};
    std::atomic<int> finishCode{1};

    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession& s, std::int32_t param,
                                           std::chrono::milliseconds) override {
        std::lock_guard g(m);
        switch (msg) {
        case faxmsg::NextFax:
            if (given_)
                return 0;
            given_ = true;
            s.phoneNumber = number;
            s.faxFileName = file;
            s.coverFileName = cover;
            return 1;
        case faxmsg::Log: logs.push_back(param); return 0;
        case faxmsg::Error: errors.push_back(param); return 0;
        default: return 0;
        }
    }
    void PostNotice(std::uint16_t msg, FaxSession&, std::int32_t param) override {
        if (msg == faxmsg::Finish) {
            finishCode = param;
            finished = true;
        }
    }

private:
    bool given_ = false;
};

class TransmitCall : public ::testing::Test {
protected:
    void SetUp() override {
        if (run("command -v tifftopnm >/dev/null") != 0)
            GTEST_SKIP() << "tifftopnm missing (scripts/setup installs it)";
        dir_ = fs::temp_directory_path() /
               ("fax-transmit-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "page.txt") << "Parvane transmit test page\n\n"
                                            "  The quick brown fox jumps over the lazy dog.\n"
                                            "  0123456789 !\"#$%&'()*+,-./:;<=>?@[]^_{|}~\n";
        makeApf(faximage::TFaxResolution::frNormal);
    }
    void makeApf(faximage::TFaxResolution resolution) {
        faximage::TApdFaxConverter c;
        c.InputDocumentType = faximage::TFaxInputDocumentType::idText;
        c.Resolution = resolution;
        c.SetDocumentFile((dir_ / "page.txt").string());
        c.OutFileName = (dir_ / "page.apf").string();
        c.ConvertToFile();
        apf_ = dir_ / "page.apf";
    }
    void expectPageArrivesIntact();
    void TearDown() override {
        line_.reset();
        if (!HasFailure() && !dir_.empty())
            fs::remove_all(dir_);
        else if (!dir_.empty())
            std::cerr << "files kept in " << dir_ << '\n';
    }

    // Runs one call to `number`; returns the far end's result line (empty when none).
    std::string call(const std::string& number, Owner& owner, int& machineError, int retryWaitTicks = 1092,
                     const std::string& cover = {}) {
        vline::LaunchOptions o;
        o.executable = PARVANE_VLINE_EXE;
        o.arguments = {"--log-dir", (dir_ / "logs").string(), "--ecm", "off"};
        line_.emplace(vline::VirtualLine::start(o));
        EXPECT_GE(line_->ports().size(), 1u);

        TApdPosixDispatcher port;
        DispatcherOpenParams params;
        params.device = line_->portPath(1);
        EXPECT_EQ(port.Open(params), 0);

        FaxSession session(FaxRole::Transmit);
        session.faxClass = FaxClass::fcClass1;
        session.stationId = "+1 555 0100";
        session.desiredBps = 9600;
        session.options = faxopt::ExitOnError;
        session.dialRetryWait = retryWaitTicks;
        owner.number = number;
        owner.file = apf_.string();
        owner.cover = cover;
        FaxTransmitPort driver(session);
        const int rc = session.Start(
            port, &owner,
            [](FaxSession& s) { return s.InitTransmit(static_cast<std::uint8_t>(TransmitState::tfGetEntry)); },
            driver.Procedure());
        EXPECT_EQ(rc, 0);
        for (int i = 0; i < 1200 && !owner.finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session.Stop();
        port.Close();
        machineError = owner.finishCode;
        line_->stop();
        std::istringstream results(slurp(dir_ / "logs" / "results.txt"));
        std::string last, l;
        while (std::getline(results, l))
            last = l;
        return last;
    }

    fs::path dir_;
    fs::path apf_;
    std::optional<vline::VirtualLine> line_;
};

TEST_F(TransmitCall, FarEndReceivesOurClass1PageIntact) {
    for (bool fine : {false, true}) {
        SCOPED_TRACE(fine ? "fine" : "normal");
        if (fine)
            makeApf(faximage::TFaxResolution::frHigh);
        expectPageArrivesIntact();
    }
}

void TransmitCall::expectPageArrivesIntact() {
    Owner owner;
    int code = 1;
    const std::string result = call("200", owner, code);
    EXPECT_TRUE(owner.finished);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(owner.logs, (std::vector<int>{1, 2}));
    EXPECT_TRUE(owner.errors.empty());
    ASSERT_NE(result.find("result=0 "), std::string::npos) << result;
    EXPECT_NE(result.find("pages=1 "), std::string::npos) << result;

    const auto q = result.find("file=\"");
    ASSERT_NE(q, std::string::npos) << result;
    const std::string tiff = result.substr(q + 6, result.find('"', q + 6) - q - 6);
    const Page got = decodeTiff(tiff);
    const Page sent = decodeApf(apf_);
    // The unpacker gives the page as wide as its inked part; the rest of a fax line is white.
    ASSERT_EQ(got.width, 1728);
    ASSERT_LE(sent.width, got.width);
    // Eight white lines lead every page; the rest is the page as stored.
    ASSERT_EQ(got.rows.size(), sent.rows.size() + 8);
    int differing = 0;
    for (std::size_t r = 0; r < 8; ++r)
        differing += got.rows[r] != std::string(got.rows[r].size(), '\0');
    for (std::size_t r = 0; r < sent.rows.size(); ++r) {
        std::string expected = sent.rows[r];
        expected.resize(got.rows[r + 8].size(), '\0');
        differing += expected != got.rows[r + 8];
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(TransmitCall, BusyNumberIsRedialledThenGivenUp) {
    Owner owner;
    int code = 0;
    // 300 is always busy; three attempts with the redial wait in between.
    call("300", owner, code, 36);
    EXPECT_TRUE(owner.finished);
    EXPECT_EQ(owner.errors, std::vector<int>{faximage::ec::FaxBusy});
    EXPECT_EQ(owner.logs, (std::vector<int>{1, 3}));
}

TEST_F(TransmitCall, LineFaultsEndTheFaxWithTheirOwnCodes) {
    struct Case {
        const char* number;
        int error;
    };
    // 302 gives no dial tone, 303 a voice answer.
    for (const Case& c : {Case{"302", faximage::ec::FaxNoDialTone}, Case{"303", faximage::ec::FaxVoiceCall}}) {
        SCOPED_TRACE(c.number);
        Owner owner;
        int code = 0;
        call(c.number, owner, code);
        EXPECT_TRUE(owner.finished);
        EXPECT_EQ(code, c.error);
        EXPECT_EQ(owner.errors, std::vector<int>{c.error});
        EXPECT_EQ(owner.logs, (std::vector<int>{1, 3}));
    }
}

TEST_F(TransmitCall, ApfCoverGoesOutAsThePageBeforeTheFax) {
    std::ofstream(dir_ / "cover.txt") << "Cover sheet\n\nTo: the far end\n";
    faximage::TApdFaxConverter c;
    c.InputDocumentType = faximage::TFaxInputDocumentType::idText;
    c.SetDocumentFile((dir_ / "cover.txt").string());
    c.OutFileName = (dir_ / "cover.apf").string();
    c.ConvertToFile();
    Owner owner;
    int code = 1;
    const std::string result = call("200", owner, code, 1092, (dir_ / "cover.apf").string());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(owner.logs, (std::vector<int>{1, 2}));
    EXPECT_NE(result.find("result=0 "), std::string::npos) << result;
    EXPECT_NE(result.find("pages=2 "), std::string::npos) << result;
}

} // namespace
} // namespace faxengine
