// What a call costs in processor time: one dense page sent and received through the
// virtual line must leave our process idle for nearly all of the call. A step that
// re-arms a trigger which fires at once, or a wait that polls, shows up here as seconds
// of processor time.
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faximage/tiff_export.h"
#include "vline_fixture.h"

#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <functional>

namespace faxengine {
namespace {

using namespace linetest;
using namespace std::chrono_literals;

// Generous: a quiet call needs well under 1 %.
constexpr double kMaxCpuShareOfWall = 0.10;

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

struct Cost {
    double cpu = 0;
    double wall = 0;
    bool finished = false;
    int finish = 1;
};

// Runs the component's call to its end, measuring our process meanwhile.
Cost measure(TVelkCustomAbstractFax& fax, const std::function<void()>& start) {
    Cost c;
    fax.OnFaxFinish = [&c](TVelkCustomAbstractFax&, int code) {
        c.finish = code;
        c.finished = true;
    };
    const double cpu0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    start();
    const auto end = t0 + 240s;
    while (fax.Busy() && std::chrono::steady_clock::now() < end)
        fax.Notices().waitAndPump(200ms);
    c.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    c.cpu = processCpuSeconds() - cpu0;
    if (fax.Busy())
        fax.AbortFax();
    return c;
}

class CallCpu : public VlineTest {
protected:
    void SetUp() override {
        VlineTest::SetUp();
        if (IsSkipped())
            return;
        // Dense enough that the page outgrows the output buffer many times over, where
        // the page-data loop used to spin.
        std::string text = "Processor time page\n\n";
        for (int l = 0; l < 8; ++l) {
            for (int c = 0; c < 78; ++c)
                text += static_cast<char>('#' + (l * 31 + c * 7) % 58);
            text += '\n';
        }
        apf_ = makeTextApf("dense", text, faximage::TFaxResolution::frHigh);
        ASSERT_GT(fs::file_size(apf_), 12000u);
    }

    void configure(TVelkComPort& port, const std::string& device) {
        port.SetPromptForPort(false);
        port.SetDevicePath(device);
    }

    Cost send(TFaxClass cls) {
        TVelkComPort port;
        configure(port, line_->portPath(1));
        TVelkSendFax fax;
        fax.SetComPort(&port);
        fax.SetFaxClass(cls);
        fax.SetStationID("+1 555 0100");
        fax.SetDesiredBPS(9600);
        fax.SetExitOnError(true);
        fax.SetTempDirectory(dir_);
        fax.SetFaxFileList({apf_.string()});
        fax.SetPhoneNumber("200");
        return measure(fax, [&] { fax.StartSending(); });
    }

    void expectIdle(const Cost& c) {
        EXPECT_TRUE(c.finished);
        EXPECT_EQ(c.finish, 0);
        EXPECT_GT(c.wall, 5.0);
        EXPECT_LT(c.cpu, kMaxCpuShareOfWall * c.wall) << c.cpu << " s of processor time in a call of " << c.wall << " s";
        std::cout << "call of " << c.wall << " s cost " << c.cpu << " s of processor time\n";
    }

    fs::path apf_;
};

TEST_F(CallCpu, Class1SendOfADensePage) {
    startLine({"--ecm", "off"});
    const Cost c = send(TFaxClass::fcClass1);
    stopLine();
    expectIdle(c);
}

TEST_F(CallCpu, Class20SendOfADensePage) {
    startLine({"--ecm", "off", "--classes", "0,1,2,2.0"});
    const Cost c = send(TFaxClass::fcClass2_0);
    stopLine();
    expectIdle(c);
}

TEST_F(CallCpu, Class1ReceiveOfADensePage) {
    // The far end sends the page our converter made, as a TIFF from our unpacker.
    ASSERT_EQ(faximage::exportApfToTiff(apf_, dir_ / "dense.tif", 1, 1), 0);
    startLine({"--send", (dir_ / "dense.tif").string(), "--send-to", "100", "--ecm", "off"});
    TVelkComPort port;
    configure(port, line_->portPath(1));
    TVelkReceiveFax fax;
    fax.SetComPort(&port);
    fax.SetFaxClass(TFaxClass::fcClass1);
    fax.SetStationID("+1 555 0100");
    fax.SetOneFax(true);
    fax.SetExitOnError(true);
    fax.SetDestinationDir(dir_.string());
    const Cost c = measure(fax, [&] { fax.StartReceiving(); });
    stopLine();
    expectIdle(c);
    EXPECT_TRUE(fs::exists(dir_ / "FAX0001.APF"));
}

} // namespace
} // namespace faxengine
