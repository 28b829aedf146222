// The fax components against the virtual line's built-in fax machines, in real time:
// one short send to number 200, one page received from the sending far end.
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faximage/apf_file.h"
#include "vline_launcher.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>
#include "oracle_skip.h"

using namespace faxengine;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

fs::path blankPage(const fs::path& p) {
    faximage::ApfWriter w;
    EXPECT_EQ(w.create(p), 0);
    // A short page of white lines.
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(w.appendLine(faximage::kApfBlankLine, 0), 0);
    EXPECT_EQ(w.endPage(0), 0);
    EXPECT_EQ(w.close("TEST"), 0);
    return p;
}

struct VirtualLineTest : ::testing::Test {
    std::optional<vline::VirtualLine> line;
    fs::path dir;
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "pvn-faxvline-XXXXXX").string();
        dir = ::mkdtemp(t.data());
    }
    void startLine(std::vector<std::string> arguments = {}) {
        vline::LaunchOptions o;
        o.executable = PARVANE_VLINE_EXE;
        o.arguments = std::move(arguments);
        o.arguments.push_back("--log-dir");
        o.arguments.push_back((dir / "logs").string());
        line = vline::VirtualLine::start(o);
        ASSERT_FALSE(line->ports().empty());
    }
    void TearDown() override {
        line.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

void pump(TVelkCustomAbstractFax& fax, std::chrono::seconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (fax.Busy() && std::chrono::steady_clock::now() < end)
        fax.Notices().waitAndPump(50ms);
}

} // namespace

TEST_F(VirtualLineTest, SendsTwoFilesAsOneFaxToTheFarEnd) {
    startLine();
    TVelkComPort port;
    port.SetPromptForPort(false);
    port.SetDevicePath(line->ports().front().path);
    TVelkSendFax fax;
    fax.SetComPort(&port);
    EXPECT_EQ(fax.SupportedFaxClasses() & kFaxClass1Bit, kFaxClass1Bit);
    fax.SetFaxClass(TFaxClass::fcClass1);
    fax.SetTempDirectory(dir);
    fax.SetFaxFileList({blankPage(dir / "a.apf").string(), blankPage(dir / "b.apf").string()});
    fax.SetPhoneNumber("200");
    TVelkFaxLog log;
    log.SetFaxHistoryName((dir / "h.his").string());
    fax.SetFaxLog(&log);
    std::vector<int> statuses;
    fax.OnFaxStatus = [&](TVelkCustomAbstractFax& f, bool, bool) {
        if (statuses.empty() || statuses.back() != f.FaxProgress())
            statuses.push_back(f.FaxProgress());
    };
    int finish = 1;
    fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { finish = code; };
    fax.StartSending();
    pump(fax, 120s);
    ASSERT_FALSE(fax.Busy());
    EXPECT_EQ(finish, 0);
    EXPECT_EQ(fax.TotalPages(), 2);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), 4), statuses.end());
    // The joined file is gone; only the inputs and the history are left.
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir))
        files += e.path().filename().string().rfind("~AP", 0) == 0;
    EXPECT_EQ(files, 0u);
    std::ifstream in(dir / "h.his", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_NE(ss.str().find("finished OK at "), std::string::npos) << ss.str();
}

TEST_F(VirtualLineTest, ReceivesOneFaxFromTheFarEnd) {
    if (std::system("command -v efix >/dev/null") != 0)
        PARVANE_SKIP_WITHOUT_ORACLE("efix missing (scripts/setup installs it)");
    std::ofstream(dir / "page.txt") << "Parvane component receive test\n";
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && efix -i text -o tiffg3 -n page.tif page.txt 2>/dev/null").c_str()), 0);
    startLine({"--send", (dir / "page.tif").string(), "--send-to", "100", "--ecm", "off"});
    fs::create_directory(dir / "in");

    TVelkComPort port;
    port.SetPromptForPort(false);
    port.SetDevicePath(line->ports().front().path);
    TVelkReceiveFax fax;
    fax.SetComPort(&port);
    fax.SetFaxClass(TFaxClass::fcClass1);
    fax.SetOneFax(true);
    fax.SetDestinationDir((dir / "in").string());
    TVelkFaxLog log;
    log.SetFaxHistoryName((dir / "h.his").string());
    fax.SetFaxLog(&log);
    std::vector<TFaxLogCode> codes;
    fax.OnFaxLog = [&](TVelkCustomAbstractFax&, TFaxLogCode c) { codes.push_back(c); };
    int finish = 1;
    fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { finish = code; };
    fax.StartReceiving();
    pump(fax, 120s);
    ASSERT_FALSE(fax.Busy());
    EXPECT_EQ(finish, 0);
    EXPECT_EQ(codes, (std::vector<TFaxLogCode>{TFaxLogCode::lfaxReceiveStart, TFaxLogCode::lfaxReceiveOk}));
    faximage::ApfReader r;
    ASSERT_EQ(r.open(dir / "in" / "FAX0001.APF"), 0);
    EXPECT_EQ(r.pageCount(), 1);
    std::ifstream in(dir / "h.his", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_NE(ss.str().find("FAX0001.APF from "), std::string::npos) << ss.str();
    EXPECT_NE(ss.str().find("Receive finished OK at "), std::string::npos) << ss.str();
}

// A send dialog keeps one sender for every attempt and closes the port in between.
TEST_F(VirtualLineTest, OneSenderCarriesASecondAttemptAfterThePortWasReopened) {
    startLine();
    TVelkComPort port;
    port.SetPromptForPort(false);
    port.SetDevicePath(line->ports().front().path);
    TVelkSendFax fax;
    fax.SetComPort(&port);
    fax.SetFaxClass(TFaxClass::fcClass1);
    fax.SetDialAttempts(1);
    fax.SetFaxFile(blankPage(dir / "a.apf").string());
    fax.SetPhoneNumber("300"); // busy
    std::vector<int> finishes;
    fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { finishes.push_back(code); };
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        port.SetOpen(true);
        fax.StartSending();
        pump(fax, 60s);
        ASSERT_FALSE(fax.Busy());
        port.SetOpen(false);
    }
    EXPECT_EQ(finishes, (std::vector<int>{ec::FaxBusy, ec::FaxBusy}));
}
