// The program's modem line: a named device is used as it is; no device named starts the
// virtual fax line, whose modem then really answers AT commands.
#include "fax_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Sends a command to a pty modem and collects its answer until "OK" or a timeout.
std::string ask(const std::string& device, const std::string& command) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return "cannot open " + device;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    const std::string line = command + "\r";
    if (::write(fd, line.data(), line.size()) < 0)
        return "write failed";
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (answer.find("OK") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                answer.append(buf, std::size_t(n));
        }
    }
    ::close(fd);
    return answer;
}

} // namespace

TEST(FaxLine, ANamedDeviceIsUsedWithoutStartingTheVirtualLine) {
    settings::Settings s;
    s.modem.comPort = 2;
    s.portDevices[3] = "/dev/ttyUSB7";
    vline::LaunchOptions never;
    never.executable = "/nonexistent/parvane-vline";
    const app::FaxLine line = app::FaxLine::forSettings(s, never);
    EXPECT_EQ(line.portNumber(), 3);
    EXPECT_EQ(line.devicePath(), "/dev/ttyUSB7");
    EXPECT_FALSE(line.isVirtual());
    EXPECT_TRUE(line.error().empty());
    EXPECT_EQ(line.describe(), "COM3 is /dev/ttyUSB7");
}

TEST(FaxLine, NoDeviceNamedRunsOnTheVirtualLineUntilTheLineGoes) {
    settings::Settings s; // first run: no port chosen yet, COM1
    s.portDevices[1] = "/dev/pts/99999"; // left behind by an earlier line
    std::string device;
    {
        const app::FaxLine line = app::FaxLine::forSettings(s);
        ASSERT_TRUE(line.error().empty()) << line.error();
        ASSERT_TRUE(line.isVirtual());
        EXPECT_EQ(line.portNumber(), 1);
        EXPECT_EQ(line.modemNumber(), "100");
        device = line.devicePath();
        EXPECT_TRUE(std::filesystem::exists(device));
        EXPECT_NE(line.describe().find("dial 200"), std::string::npos) << line.describe();
        EXPECT_NE(ask(device, "ATI").find("OK"), std::string::npos);
    }
    // The child stopped with the line and took its ptys along.
    for (int i = 0; i < 50 && std::filesystem::exists(device); ++i)
        ::usleep(100'000);
    EXPECT_FALSE(std::filesystem::exists(device));
}

TEST(FaxLine, AVirtualLineThatCannotStartIsReportedNotThrown) {
    settings::Settings s;
    vline::LaunchOptions broken;
    broken.executable = "/nonexistent/parvane-vline";
    broken.startTimeout = 2000ms;
    const app::FaxLine line = app::FaxLine::forSettings(s, broken);
    EXPECT_FALSE(line.isVirtual());
    EXPECT_TRUE(line.devicePath().empty());
    EXPECT_NE(line.describe().find("did not start"), std::string::npos) << line.describe();
}
