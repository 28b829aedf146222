// The call report of real calls through the virtual line: the engine's own log of a good
// call and of a busy number, read back into the cause a person is shown. (The other
// causes are read from scripted logs: their calls take minutes of real time.)
#include "faxengine/call_report.h"
#include "faxengine/send_fax.h"
#include "faximage/fax_errors.h"
#include "vline_fixture.h"

#include <chrono>

namespace faxengine {
namespace {

using namespace linetest;
using namespace std::chrono_literals;
namespace ec = faximage::ec;

class CallReportLine : public VlineTest {
protected:
    // One attempt to `number` with the port's log on; the report of what it recorded.
    CallReport sendAndReport(const std::string& number, const fs::path& apf) {
        TVelkComPort port;
        port.SetPromptForPort(false);
        port.SetDevicePath(line_->portPath(1));
        TVelkSendFax fax;
        fax.SetComPort(&port);
        fax.SetFaxClass(TFaxClass::fcClass1);
        fax.SetDialAttempts(1);
        fax.SetDesiredBPS(9600);
        fax.SetFaxFile(apf.string());
        fax.SetPhoneNumber(number);
        int finish = 1;
        fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { finish = code; };
        port.SetOpen(true);
        EXPECT_EQ(port.Dispatcher().StartLogging(32u << 20), 0);
        fax.StartSending();
        const auto end = std::chrono::steady_clock::now() + 180s;
        while (fax.Busy() && std::chrono::steady_clock::now() < end)
            fax.Notices().waitAndPump(50ms);
        EXPECT_FALSE(fax.Busy());
        const fs::path dump = dir_ / ("call-" + number + ".log");
        EXPECT_EQ(port.Dispatcher().DumpLog(dump, false, true), 0);
        port.SetOpen(false);
        const fs::path file = callReportPath(dir_, "PVN-" + number);
        EXPECT_EQ(writeCallReportFile(file, finish, slurp(dump)), 0);
        auto report = readCallReportFile(file);
        EXPECT_TRUE(report.has_value());
        return report.value_or(CallReport{});
    }
};

TEST_F(CallReportLine, RealCallsGoodAndBusyNameTheirCause) {
    startLineWithConfig("[modem 100]\n[farend 200]\necm = no\n[number 300]\ncondition = busy\n");
    const fs::path page = makeTextApf("page", "A short page for the call report.\n");

    const CallReport good = sendAndReport("200", page);
    EXPECT_EQ(good.cause, CallCause::Sent) << formatCallReport(good);
    EXPECT_TRUE(good.paramsKnown);
    EXPECT_EQ(good.bps, 9600);
    ASSERT_EQ(good.pages.size(), 1u) << formatCallReport(good);
    EXPECT_TRUE(good.pages[0].confirmed);

    const CallReport busy = sendAndReport("300", page);
    EXPECT_EQ(busy.cause, CallCause::Busy) << formatCallReport(busy);

    stopLine();
}

} // namespace
} // namespace faxengine
