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

// A refused command line names the option or operand and the value that is wrong, and
// nothing is dialled: the virtual line is not even started.
TEST_F(CliRun, BadArgumentsAreNamedWithTheirValue) {
    const std::string fax = "'" + makeFax().string() + "'";
    const struct {
        std::string args;
        std::string says;
    } cases[] = {
        {"send '' " + fax, "no fax number given ('')"},
        {"send '  ' " + fax, "no fax number given ('  ')"},
        {"send '200;H' " + fax, "the fax number '200;H' holds a character a modem cannot dial"},
        {"send --speed abc 200 " + fax, "--speed 'abc' is not a transfer rate"},
        {"send --speed 9601 200 " + fax, "--speed '9601' is not a transfer rate"},
        {"send --class 5 200 " + fax, "--class '5' is not a fax class: give 1, 2, 2.0 or auto"},
        {"send --port COM1 200 " + fax, "--port 'COM1' is not a port number"},
        {"send 200 " + fax + " --speed", "--speed needs a value"},
        {"send --sped 9600 200 " + fax, "unknown option --sped"},
        {"send --dial-prefix '9;' 200 " + fax, "--dial-prefix '9;' holds a character a modem cannot dial"},
        {"receive --class 3", "--class '3' is not a fax class"},
        {"receive --speed=fast", "--speed 'fast' is not a transfer rate"},
        {"convert a.txt b.apf --fien", "unknown option --fien"},
    };
    for (const auto& c : cases) {
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(r.output.find("virtual line:"), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_EQ(r.output.find("sent to"), std::string::npos) << c.args << "\n" << r.output;
    }
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