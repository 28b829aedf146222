// A whole fax sent with parvane-cli over the virtual line, as on a machine with no modem.
#include "cli_run.h"

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
