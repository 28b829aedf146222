// The modem dies in the middle of a page: the line's process is killed (its ptys close, as
// an unplugged USB modem's device does) or stopped (the device stays, nothing answers).
// In every class, sending and receiving, the call must end with an error within the
// protocol's time-outs, and nothing may be reported as sent or received.
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faximage/tiff_export.h"
#include "vline_fixture.h"

#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>

namespace faxengine {
namespace {

using namespace linetest;
using namespace std::chrono_literals;

constexpr auto kCallMustEndWithin = 90s;

enum class Loss { Killed, Stopped };

struct Case {
    TFaxClass cls;
    Loss loss;
};

std::string describe(const Case& c) {
    std::string n = c.cls == TFaxClass::fcClass1 ? "Class1" : c.cls == TFaxClass::fcClass2 ? "Class2" : "Class20";
    return n + (c.loss == Loss::Killed ? "Killed" : "Stopped");
}
std::string caseName(const ::testing::TestParamInfo<Case>& i) { return describe(i.param); }
void PrintTo(const Case& c, std::ostream* os) { *os << describe(c); }

struct Outcome {
    bool finished = false;
    int finish = 0;
    bool lossDone = false;
    std::vector<int> logs;
    std::vector<int> errors;
    std::chrono::duration<double> afterLoss{0};
};

class DeviceLoss : public VlineTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        VlineTest::SetUp();
        if (IsSkipped())
            return;
        std::string text = "A page cut short\n\n";
        for (int l = 0; l < 8; ++l)
            text += std::string(78, static_cast<char>('A' + l)) + "\n";
        apf_ = makeTextApf("page", text, faximage::TFaxResolution::frHigh);
    }
    void TearDown() override {
        if (stoppedPid_ > 0)
            ::kill(stoppedPid_, SIGCONT);
        VlineTest::TearDown();
    }

    void configure(TVelkComPort& port) {
        port.SetPromptForPort(false);
        port.SetDevicePath(line_->portPath(1));
    }

    void loseTheModem() {
        const pid_t pid = line_->pid();
        if (GetParam().loss == Loss::Killed) {
            ::kill(pid, SIGKILL);
        } else {
            ::kill(pid, SIGSTOP);
            stoppedPid_ = pid;
        }
    }

    // Pumps the call; once page data has flowed a little, the modem is lost.
    Outcome run(TVelkCustomAbstractFax& fax, const std::function<void()>& start, int pageStatus) {
        Outcome o;
        fax.OnFaxLog = [&o](TVelkCustomAbstractFax&, TFaxLogCode c) { o.logs.push_back(static_cast<int>(c)); };
        fax.OnFaxError = [&o](TVelkCustomAbstractFax&, int c) { o.errors.push_back(c); };
        fax.OnFaxFinish = [&o](TVelkCustomAbstractFax&, int c) {
            o.finish = c;
            o.finished = true;
        };
        start();
        std::optional<std::chrono::steady_clock::time_point> pageSeen, lost;
        const auto giveUp = std::chrono::steady_clock::now() + 240s;
        while (fax.Busy() && std::chrono::steady_clock::now() < giveUp) {
            fax.Notices().waitAndPump(100ms);
            const auto now = std::chrono::steady_clock::now();
            if (!pageSeen && fax.FaxProgress() == pageStatus)
                pageSeen = now;
            if (pageSeen && !lost && now - *pageSeen > 4s) {
                loseTheModem();
                lost = now;
            }
            if (lost && now - *lost > kCallMustEndWithin + 30s)
                break;
        }
        o.lossDone = lost.has_value();
        if (lost)
            o.afterLoss = std::chrono::steady_clock::now() - *lost;
        if (fax.Busy())
            fax.AbortFax();
        return o;
    }

    static void expectEndedWithError(const Outcome& o, int failedLog) {
        ASSERT_TRUE(o.lossDone) << "page data never started";
        EXPECT_TRUE(o.finished);
        EXPECT_LT(o.afterLoss, kCallMustEndWithin);
        EXPECT_NE(o.finish, 0);
        EXPECT_FALSE(o.errors.empty());
        ASSERT_FALSE(o.logs.empty());
        EXPECT_EQ(o.logs.back(), failedLog);
    }

    fs::path apf_;
    pid_t stoppedPid_ = -1;
};

TEST_P(DeviceLoss, InTheMiddleOfASentPage) {
    startLine({"--ecm", "off", "--classes", "0,1,2,2.0"});
    TVelkComPort port;
    configure(port);
    TVelkSendFax fax;
    fax.SetComPort(&port);
    fax.SetFaxClass(GetParam().cls);
    fax.SetStationID("+1 555 0100");
    fax.SetDesiredBPS(9600);
    fax.SetTempDirectory(dir_);
    fax.SetFaxFileList({apf_.string()});
    fax.SetPhoneNumber("200");
    const Outcome o = run(fax, [&] { fax.StartSending(); }, static_cast<int>(FaxStatus::SendingPage));
    expectEndedWithError(o, static_cast<int>(TFaxLogCode::lfaxTransmitFail));
    EXPECT_EQ(std::count(o.logs.begin(), o.logs.end(), static_cast<int>(TFaxLogCode::lfaxTransmitOk)), 0);
}

TEST_P(DeviceLoss, InTheMiddleOfAReceivedPage) {
    ASSERT_EQ(faximage::exportApfToTiff(apf_, dir_ / "page.tif", 1, 1), 0);
    startLine({"--ecm", "off", "--classes", "0,1,2,2.0", "--send", (dir_ / "page.tif").string(), "--send-to", "100"});
    TVelkComPort port;
    configure(port);
    TVelkReceiveFax fax;
    fax.SetComPort(&port);
    fax.SetFaxClass(GetParam().cls);
    fax.SetStationID("+1 555 0100");
    fax.SetOneFax(true);
    fax.SetDestinationDir(dir_.string());
    const Outcome o = run(fax, [&] { fax.StartReceiving(); }, static_cast<int>(FaxStatus::GettingPage));
    expectEndedWithError(o, static_cast<int>(TFaxLogCode::lfaxReceiveFail));
    EXPECT_EQ(std::count(o.logs.begin(), o.logs.end(), static_cast<int>(TFaxLogCode::lfaxReceiveOk)), 0);
}

INSTANTIATE_TEST_SUITE_P(, DeviceLoss,
                         ::testing::Values(Case{TFaxClass::fcClass1, Loss::Killed}, Case{TFaxClass::fcClass1, Loss::Stopped},
                                           Case{TFaxClass::fcClass2, Loss::Killed}, Case{TFaxClass::fcClass2, Loss::Stopped},
                                           Case{TFaxClass::fcClass2_0, Loss::Killed},
                                           Case{TFaxClass::fcClass2_0, Loss::Stopped}),
                         caseName);

} // namespace
} // namespace faxengine
