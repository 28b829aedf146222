// parvane-cli phonebook: import refused as a whole for one bad row, import, list, and an
// export that imports again into another data directory unchanged.
#include "cli_run.h"

namespace {

class CliPhonebook : public CliRun {};

TEST_F(CliPhonebook, ImportListExport) {
    std::ofstream(dir / "bad.csv", std::ios::binary) << "Name;Fax\nAnna;1\nBert\n";
    const CliResult bad = cli("phonebook import '" + (dir / "bad.csv").string() + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("bad.csv: line 3: expected two fields"), std::string::npos) << bad.output;
    EXPECT_EQ(cli("phonebook list").output, "");

    std::ofstream(dir / "good.csv", std::ios::binary) << "\xEF\xBB\xBF\"Berg, Anna\",555 0101\r\nCarl,+46 8 1\r\n";
    const CliResult good = cli("phonebook import '" + (dir / "good.csv").string() + "'");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_EQ(good.output, "2 entries imported\n");
    EXPECT_EQ(cli("phonebook list").output, "Berg, Anna\t555 0101\nCarl\t+46 8 1\n");
    // The same file again adds nothing.
    EXPECT_EQ(cli("phonebook import '" + (dir / "good.csv").string() + "'").output,
              "0 entries imported, 2 already in the phone book\n");

    const CliResult out = cli("phonebook export '" + (dir / "out.csv").string() + "'");
    EXPECT_EQ(out.status, 0) << out.output;
    const CliResult toStdout = cli("phonebook export -");
    EXPECT_EQ(toStdout.output, "\xEF\xBB\xBFName,Fax number\r\n\"Berg, Anna\",555 0101\r\nCarl,+46 8 1\r\n");

    EXPECT_EQ(cli("phonebook frobnicate").status, 2);
    EXPECT_EQ(cli("phonebook import").status, 2);
}

} // namespace
