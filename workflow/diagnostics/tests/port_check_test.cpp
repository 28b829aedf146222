// The port scan and the class check against the virtual line's modems (offering
// different classes), an empty pseudo-terminal, a device that goes away mid-scan and a
// device this user may not open.
#include "workflow/diagnostics/class_check.h"
#include "workflow/diagnostics/port_scan.h"

#include "vline_launcher.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>

using namespace diagnostics;
namespace fs = std::filesystem;

namespace {

class PortCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("diag-ports-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "line.conf") << "[line]\nlog-dir = " << (dir_ / "logs").string()
                                          << "\n[modem 100]\nclasses = 0,1,2,2.0\n[modem 101]\nclasses = 0,1,2.0\n"
                                             "[modem 102]\nclasses = 0,1\n";
        vline::LaunchOptions o;
        o.executable = PARVANE_BINARY_DIR "/vline/parvane-vline";
        o.arguments = {"--config", (dir_ / "line.conf").string()};
        line_.emplace(vline::VirtualLine::start(o));
    }
    static void TearDownTestSuite() {
        line_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static std::string modem(int i) { return line_->ports().at(static_cast<std::size_t>(i)).path; }

    static inline fs::path dir_;
    static inline std::optional<vline::VirtualLine> line_;
};

// A pseudo-terminal whose other side is held open by the test and never answers.
struct SilentPty {
    SilentPty() {
        char name[256] = {};
        int slave = -1;
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            ::close(slave);
            path = name;
        }
    }
    ~SilentPty() { closeMaster(); }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    int master = -1;
    std::string path;
};

} // namespace

TEST_F(PortCheck, ScanFindsTheModemsAndSaysWhatEachOtherPortIs) {
    SilentPty silent, vanishing;
    ASSERT_FALSE(silent.path.empty());
    const std::vector<ScanCandidate> candidates = {
        {"Com 1", (dir_ / "no-such-device").string(), 1}, {"Com 2", silent.path, 2},
        {"Com 3", vanishing.path, 3},                       {"Com 4", modem(1), 4},
        {"Com 5", modem(0), 5},                             {"/dev/extra", modem(2), 0}};
    ScanHooks hooks;
    std::vector<std::size_t> tested;
    hooks.testing = [&](std::size_t i) {
        tested.push_back(i);
        if (i == 2)
            vanishing.closeMaster(); // the device goes while the scan is on it
    };
    const auto start = std::chrono::steady_clock::now();
    const auto results = scanPorts(candidates, "ATZ", hooks);
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(results.size(), candidates.size());
    EXPECT_EQ(tested.size(), candidates.size()); // every port is tried, the first modem does not stop it
    EXPECT_EQ(results[0].state, PortState::Missing);
    EXPECT_EQ(results[0].detail, "Port does not exist");
    EXPECT_EQ(results[1].state, PortState::NoAnswer);
    EXPECT_EQ(results[1].detail, "Unknown");
    EXPECT_NE(results[2].state, PortState::Modem);
    EXPECT_EQ(results[3].state, PortState::Modem);
    EXPECT_EQ(results[3].detail, "MODEM");
    EXPECT_EQ(results[4].state, PortState::Modem);
    EXPECT_EQ(results[5].state, PortState::Modem);
    EXPECT_EQ(firstModemPort(results), 4);
    EXPECT_EQ(scanSummary(results), "A modem was found on Com Port 4. We suggest setting the Port as Com 4.");
    // The silent ports cost the specified waits (settle, "AT", the reset string) and no more.
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST_F(PortCheck, ClassCheckShowsTheFlagsAndRecommends) {
    struct Case {
        int modem;
        std::array<std::string, 3> labels;
        int index;
        bool bold;
    };
    const Case cases[] = {
        {0, {"Class 1   : Supported (recommended)", "Class 2   : Supported", "Class 2.0 : Supported"}, 0, false},
        {1, {"Class 1   : Supported (recommended)", "Class 2   : Not Supported", "Class 2.0 : Supported"}, 0, false},
        {2, {"Class 1   : Supported (recommended)", "Class 2   : Not Supported", "Class 2.0 : Not Supported"}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modem);
        faxengine::TVelkComPort port;
        port.SetPromptForPort(false);
        port.SetAutoOpen(false);
        port.SetDevicePath(modem(c.modem));
        faxengine::TVelkSendFax sender;
        std::vector<std::string> statuses;
        ClassCheckHooks hooks;
        hooks.status = [&](const std::string& s) { statuses.push_back(s); };
        const ClassCheckResult r = checkFaxClasses(port, sender, 2, "", hooks);
        EXPECT_EQ(r.labels, c.labels);
        EXPECT_EQ(r.recommended, c.index);
        EXPECT_EQ(r.recommendedName, "Class 1");
        EXPECT_EQ(r.class2_0Bold, c.bold);
        EXPECT_EQ(r.status.rfind("Try using the recommended Fax Class (Class 1)", 0), 0u) << r.status;
        EXPECT_FALSE(port.Open()); // closed on the way out
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.front(), "Opening Com Port...please wait");
    }
    // Only Class 2.0: it is recommended and shown in bold.
    ClassCheckResult only20;
    applyClassSupport(only20, classSupportFromBits(16));
    EXPECT_EQ(only20.recommended, 2);
    EXPECT_TRUE(only20.class2_0Bold);
    EXPECT_EQ(only20.labels[2], "Class 2.0 : Supported");
}

TEST_F(PortCheck, ClassCheckOnADeviceThatDoesNotAnswerEndsClean) {
    SilentPty silent;
    faxengine::TVelkComPort port;
    port.SetPromptForPort(false);
    port.SetAutoOpen(false);
    port.SetDevicePath(silent.path);
    faxengine::TVelkSendFax sender;
    std::string asked;
    ClassCheckHooks hooks;
    hooks.askContinue = [&](const std::string& q) {
        asked = q;
        return false;
    };
    const ClassCheckResult r = checkFaxClasses(port, sender, 3, "", hooks);
    EXPECT_NE(asked.find("The device on COM3 is not responding"), std::string::npos);
    EXPECT_EQ(r.status, "No response from device on COM3. May not be a modem.");
    EXPECT_EQ(r.labels[0], "Class 1   : unknown");
    EXPECT_EQ(r.recommended, -1);
    EXPECT_FALSE(port.Open());

    port.SetDevicePath((dir_ / "gone").string());
    const ClassCheckResult missing = checkFaxClasses(port, sender, 3, "", hooks);
    EXPECT_EQ(missing.status.rfind("Unable to open the specified communications port", 0), 0u) << missing.status;
    EXPECT_EQ(missing.labels[2], "Class 2.0 : unknown");
}

TEST_F(PortCheck, ADeviceTheUserMayNotOpenIsSaidSoInPlainWords) {
    SilentPty pty;
    ASSERT_FALSE(pty.path.empty());
    ASSERT_EQ(::chmod(pty.path.c_str(), 0600), 0);
    std::string command;
    if (::geteuid() == 0) {
        // As root every device opens: ask as nobody.
        command = "setpriv --reuid=65534 --regid=65534 --clear-groups " PARVANE_SCAN_PROBE " " + pty.path;
    } else {
        ASSERT_EQ(::chmod(pty.path.c_str(), 0), 0);
        command = PARVANE_SCAN_PROBE " " + pty.path;
    }
    std::FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, p);
    ASSERT_EQ(::pclose(p), 0) << command;
    const std::string out(buf, n);
    EXPECT_EQ(out.rfind("no permission|", 0), 0u) << out;
    EXPECT_NE(out.find("dialout"), std::string::npos) << out;
    EXPECT_EQ(out.find("in use"), std::string::npos) << out;
}

TEST_F(PortCheck, CandidatesAreTheComPortsThenOtherDevicesOnce) {
    settings::Settings s;
    s.portDevices[2] = modem(0);
    const auto c = scanCandidates(s, {modem(0), modem(1)});
    ASSERT_GE(c.size(), 7u);
    EXPECT_EQ(c[0].name, "Com 1");
    EXPECT_EQ(c[0].device, "/dev/ttyS0");
    EXPECT_EQ(c[1].device, modem(0));
    EXPECT_EQ(c[5].name, "Com 6");
    // modem(0) is Com 2 already; modem(1) comes once, after the Com ports.
    EXPECT_EQ(std::count_if(c.begin(), c.end(), [&](const ScanCandidate& x) { return x.device == modem(0); }), 1);
    EXPECT_EQ(c.back().device, modem(1));
    EXPECT_EQ(c.back().comNumber, 0);

    // The program's own virtual line serves every Com port [Ports] leaves open, as when a
    // fax goes out: its modem is tried there and never offered for [Ports].
    const auto own = scanCandidates(s, {}, modem(1));
    EXPECT_EQ(own[0].device, modem(1));
    EXPECT_EQ(own[1].device, modem(0));
    EXPECT_EQ(own[2].device, modem(1));
    EXPECT_TRUE(std::none_of(own.begin(), own.end(),
                             [&](const ScanCandidate& x) { return x.comNumber == 0 && x.device == modem(1); }));

    const fs::path ini = dir_ / "PVN.INI";
    std::ofstream(ini) << "[User]\nName=Someone\n";
    ASSERT_TRUE(rememberPortDevice(s, dir_, 3, "/dev/ttyACM0"));
    std::ifstream in(ini);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Name=Someone"), std::string::npos);
    EXPECT_NE(text.find("COM3=/dev/ttyACM0"), std::string::npos);
    EXPECT_EQ(s.portDevices[3], "/dev/ttyACM0");
}
