// Port operations against a scripted modem on a pseudo-terminal: choosing the device,
// the open-failure texts, commands that need "OK", and a modem that says nothing.
#include "pty_modem.h"
#include "faxengine/engine_errors.h"
#include "workflow/send/port_operations.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace workflow::send;
using faxengine::TVelkComPort;
using faxengine::test::PtyModem;
using std::chrono::steady_clock;
namespace ec = faxengine::ec;

TEST(ChoosePort, NamedDeviceThenVirtualLineThenTheDefault) {
    PtyModem pty;
    settings::Settings s;
    s.portDevices[2] = pty.Path();
    TVelkComPort port;
    choosePort(port, 2, s, "/dev/pts/virtual");
    EXPECT_EQ(port.DevicePath(), pty.Path());
    choosePort(port, 3, s, "/dev/pts/virtual");
    EXPECT_EQ(port.DevicePath(), "/dev/pts/virtual");
    choosePort(port, 3, s, "");
    EXPECT_EQ(port.DevicePath(), "/dev/ttyS2");
}

TEST(OpenPort, FailuresSayWhyAndNameThePort) {
    EXPECT_EQ(openErrorText(2, ec::AlreadyOpen),
              "The communications port is in use ( Com 2 )\r\n\r\nPlease make sure that all communication programs "
              "(internet, AOL, etc) are closed, and then try again.");
    EXPECT_EQ(openErrorText(2, ec::Hardware), openErrorText(2, ec::AlreadyOpen));
    EXPECT_EQ(openErrorText(4, ec::BadId), "Unable to open the specified communications port ( Com4 )");
    EXPECT_EQ(openErrorText(1, ec::BaudRate),
              "Unable to open the specified communications port ( Com1 )\r\nError message: ie_Baudrate - "
              "unsupported baud rate");
    EXPECT_EQ(openErrorText(1, std::nullopt, "boom"),
              "Unable to open the specified communications port( Com 1 )\r\nError message: boom");

    // A device that does not exist.
    TVelkComPort port;
    settings::Settings s;
    const auto missing = std::filesystem::temp_directory_path() / "parvane-no-such-modem";
    s.portDevices[3] = missing.string();
    choosePort(port, 3, s, "");
    port.SetDevicePath(missing.string());
    const OpenResult r = openPort(port, 3);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Unable to open the specified communications port ( Com3 )"), std::string::npos) << r.error;
    EXPECT_FALSE(port.Open());
}

TEST(OpenPort, ASecondOpenOfTheSameDeviceIsInUse) {
    PtyModem pty;
    settings::Settings s;
    s.portDevices[1] = pty.Path();
    TVelkComPort first;
    TVelkComPort second;
    choosePort(first, 1, s, "");
    choosePort(second, 1, s, "");
    ASSERT_TRUE(openPort(first, 1).ok);
    const OpenResult r = openPort(second, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind("The communications port is in use ( Com 1 )", 0), 0u) << r.error;
}

struct OpenPty : ::testing::Test {
    void SetUp() override {
        settings::Settings s;
        s.portDevices[1] = pty.Path();
        choosePort(port, 1, s, "");
        ASSERT_TRUE(openPort(port, 1).ok);
        pty.ReleaseSlave();
    }
    PtyModem pty;
    TVelkComPort port;
};

TEST_F(OpenPty, CommandGetsATInFrontAndIsStoredThatWay) {
    pty.Script([](const std::string& line) { return line + "\r\r\nok\r\n"; }); // echo, any case
    std::string reset = "&F";
    EXPECT_TRUE(modemCommandWithOk(port, reset));
    EXPECT_EQ(reset, "AT&F");
    std::string already = "at z";
    EXPECT_TRUE(modemCommandWithOk(port, already));
    EXPECT_EQ(already, "at z");
}

TEST_F(OpenPty, MatchRestartsOnABrokenMatch) {
    pty.Send("\r\nOOK\r\n");
    EXPECT_TRUE(waitForText(port, "OK", kOkWaitTicks, false));
    pty.Script([](const std::string&) { return std::string("\r\nO K\r\nERROR\r\n"); });
    std::string cmd = "ATZ";
    EXPECT_FALSE(modemCommandWithOk(port, cmd));
}

TEST_F(OpenPty, AnOkLeftFromBeforeDoesNotAnswerTheNextCommand) {
    pty.Send("OK\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string cmd = "ATZ"; // nobody answers it
    EXPECT_FALSE(modemCommandWithOk(port, cmd));
}

TEST_F(OpenPty, ASilentModemFailsTheCheckWithinSeconds) {
    const auto t0 = steady_clock::now();
    int pumped = 0;
    EXPECT_FALSE(modemResponds(port, "  ", [&pumped] { ++pumped; }));
    const auto took = steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_GT(pumped, 10); // the window stayed alive while it waited
    // Only "AT" went out: a blank reset string is not sent.
    EXPECT_EQ(pty.Receive(100, std::chrono::milliseconds(300)), "AT\r");
}

TEST_F(OpenPty, TheResetStringIsTheSecondChance) {
    pty.Script([](const std::string& line) { return line == "Z" ? std::string("\r\nOK\r\n") : std::string(); });
    const auto t0 = steady_clock::now();
    EXPECT_TRUE(modemResponds(port, "Z"));
    EXPECT_LT(steady_clock::now() - t0, std::chrono::seconds(6));
    pty.Script([](const std::string& line) { return line == "AT" ? std::string("AT\r\r\nOK\r\n") : std::string(); });
    EXPECT_TRUE(modemResponds(port, ""));
}

} // namespace
