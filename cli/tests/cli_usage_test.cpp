// parvane-cli send and receive: exit statuses and messages of refused command lines and
// failed calls, and PVN.INI's [Ports] deciding between a named device and the virtual line.
#include "cli_run.h"

TEST_F(CliRun, BadCommandLinesAreRefusedBeforeAnyCall) {
    const fs::path fax = makeFax();
    EXPECT_EQ(cli("send").status, 2);
    EXPECT_EQ(cli("receive extra").status, 2);
    CliResult both = cli("send --port 1 --device /dev/null 200 '" + fax.string() + "'");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.output.find("give one of"), std::string::npos) << both.output;
    EXPECT_EQ(cli("send --virtual --class 7 200 '" + fax.string() + "'").status, 2);
    EXPECT_EQ(cli("send --virtual --speed fast 200 '" + fax.string() + "'").status, 2);

    CliResult notFax = cli("send --virtual 200 '" + (dir / "note.txt").string() + "'");
    EXPECT_EQ(notFax.status, 1);
    EXPECT_NE(notFax.output.find("is not an APF fax file"), std::string::npos) << notFax.output;
}

// A device named in [Ports] is opened as it is, never replaced by the virtual line.
TEST_F(CliRun, ANamedDeviceIsUsedAndItsFailureReported) {
    const fs::path fax = makeFax();
    writeIni("[Dialing]\nDialAttempts=1\n[Modem]\nComPort=0\n[Ports]\nCOM1=" + (dir / "no-modem").string() + "\n");
    const CliResult r = cli("send 200 '" + fax.string() + "'");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.output.find("virtual line"), std::string::npos) << r.output;
}

TEST_F(CliRun, ABusyNumberFailsTheSendWithAnExitStatus) {
    const CliResult r = cli("send 300 '" + makeFax().string() + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("virtual line: using modem 100"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("send failed"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("sent to"), std::string::npos) << r.output;
}

// No port named: the virtual line's fax machine gets the page; status 0 and the history.