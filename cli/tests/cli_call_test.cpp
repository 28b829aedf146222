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

// A far end that hangs up in the middle of its second page: the page that came whole is
// kept under a name that says the fax is partial, never as a complete FAX0001.APF; a
// receive directory that is a file is refused before any call is answered.
TEST_F(CliRun, AFaxCutShortIsKeptAsPartialAndABadDirectoryIsRefused) {
    std::ofstream(dir / "not-a-dir") << "a file";
    const CliResult refused = cli("receive --once --dir '" + (dir / "not-a-dir").string() + "'");
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("cannot receive into " + (dir / "not-a-dir").string() + ": not a directory"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("waiting for calls"), std::string::npos) << refused.output;

    std::ofstream(dir / "one.txt") << "The first page\nof a fax cut short.\n";
    std::ofstream(dir / "two.txt") << "The second page,\nwhich never arrives whole.\n";
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && efix -i text -o tiffg3 -n one.tif one.txt 2>/dev/null && "
                           "efix -i text -o tiffg3 -n two.tif two.txt 2>/dev/null && "
                           "tiffcp one.tif two.tif both.tif 2>/dev/null")
                              .c_str()),
              0);
    std::ofstream(dir / "line.conf") << "[modem 100]\n[farend 201]\nmode = send\nfile = " << (dir / "both.tif").string()
                                      << "\ndial = 100\necm = no\nhangup-mid-page = 2\n";
    const std::string line = "exec timeout 300 " + std::string(PARVANE_BINARY_DIR) + "/vline/parvane-vline --once --config '" +
                             (dir / "line.conf").string() + "' --log-dir '" + (dir / "logs").string() + "'";
    FILE* vline = ::popen(line.c_str(), "r");
    ASSERT_NE(vline, nullptr);
    std::string pts;
    std::array<char, 256> buf{};
    while (std::fgets(buf.data(), int(buf.size()), vline)) {
        const std::string l = buf.data();
        if (l.rfind("port COM1 100 ", 0) == 0)
            pts = l.substr(14, l.find_last_not_of("\r\n") - 13);
        if (l.rfind("ready", 0) == 0)
            break;
    }
    ASSERT_FALSE(pts.empty());
    const fs::path incoming = dir / "incoming";
    const CliResult r = cli("receive --once --no-ecm --device " + pts + " --dir '" + incoming.string() + "'");
    ::pclose(vline);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output.find("received "), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(incoming / "FAX0001.APF")) << r.output;
    ASSERT_TRUE(fs::exists(incoming / "FAX0001-partial.APF")) << r.output;
    EXPECT_NE(r.output.find("kept as " + (incoming / "FAX0001-partial.APF").string()), std::string::npos) << r.output;
    const CliResult info = cli("info '" + (incoming / "FAX0001-partial.APF").string() + "'");
    EXPECT_EQ(info.status, 0) << info.output;
}
