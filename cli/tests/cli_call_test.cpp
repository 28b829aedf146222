// A whole fax sent with parvane-cli over the virtual line, as on a machine with no modem.
#include "cli_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

TEST_F(CliRun, SendingToTheVirtualLinesFaxMachineSucceeds) {
    const fs::path history = dir / "history.txt";
    const CliResult r = cli("send --history '" + history.string() + "' 200 '" + makeFax().string() + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Sending page data (page 1)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("sent to 200 (remote id \"+1 555 0200\")"), std::string::npos) << r.output;
    std::ifstream in(history);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_FALSE(text.empty());
}

// A path that is no modem, and a modem that answers nothing (a pty nobody serves): the
// error keeps its text and names the device and what is wrong with it.
TEST_F(CliRun, DevicesThatAreNoModemAreNamed) {
    const fs::path fax = makeFax();
    const CliResult null = cli("send --device /dev/null 200 '" + fax.string() + "'");
    EXPECT_EQ(null.status, 1);
    EXPECT_NE(null.output.find("ie_BadId - Specified comport doesn't exist: /dev/null (not a serial device)"),
              std::string::npos)
        << null.output;
    const CliResult missing = cli("receive --once --device /dev/parvane-missing");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("/dev/parvane-missing (no such device)"), std::string::npos) << missing.output;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pts = ptsname(master);
    for (const std::string& command : {"send --device " + pts + " 200 '" + fax.string() + "'",
                                      "receive --once --device " + pts}) {
        const CliResult silent = cli(command);
        EXPECT_EQ(silent.status, 1) << command;
        EXPECT_NE(silent.output.find("no response from the modem on " + pts), std::string::npos) << silent.output;
        EXPECT_EQ(silent.output.find("Bad response"), std::string::npos) << silent.output;
    }
    ::close(master);
}
