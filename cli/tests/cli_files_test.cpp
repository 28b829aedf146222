// parvane-cli convert, unpack and info as a user meets them: files are never lost, and
// every refusal names the file, page, option or value it is about.
#include "cli_run.h"

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool mentions(const CliResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

} // namespace

TEST_F(CliRun, ConvertNeverLosesTheInputOrAnOlderOutput) {
    std::ofstream(dir / "L.txt") << "A letter\n";
    for (const std::string out : {"L.txt", "./L.txt"}) {
        const CliResult same = cli("convert '" + (dir / "L.txt").string() + "' '" + (dir / out).string() + "'");
        EXPECT_EQ(same.status, 1) << same.output;
        EXPECT_TRUE(mentions(same, "Output file is the input file")) << same.output;
        EXPECT_EQ(slurp(dir / "L.txt"), "A letter\n");
    }
    // The rich-text path as well: an RTF converted onto itself stays an RTF.
    std::ofstream(dir / "L.rtf") << "{\\rtf1 A letter\\par}";
    const CliResult rtf = cli("convert '" + (dir / "L.rtf").string() + "' '" + (dir / "L.rtf").string() + "'");
    EXPECT_EQ(rtf.status, 1) << rtf.output;
    EXPECT_TRUE(mentions(rtf, "Output file is the input file")) << rtf.output;
    EXPECT_EQ(slurp(dir / "L.rtf"), "{\\rtf1 A letter\\par}");
    std::ofstream(dir / "important.apf") << "keep me";
    const CliResult typo = cli("convert '" + (dir / "typo.txt").string() + "' '" + (dir / "important.apf").string() + "'");
    EXPECT_EQ(typo.status, 1);
    EXPECT_TRUE(mentions(typo, "File not found: " + (dir / "typo.txt").string())) << typo.output;
    EXPECT_EQ(slurp(dir / "important.apf"), "keep me");

    // Unpacking onto the fax itself.
    const fs::path fax = makeFax();
    const std::string before = slurp(fax);
    for (const std::string ext : {".tif", ".pdf", ".pcx", ".bmp", ".dcx"}) {
        fs::create_hard_link(fax, dir / ("alias" + ext));
        const CliResult r = cli("unpack '" + fax.string() + "' --to '" + (dir / ("alias" + ext)).string() + "'");
        EXPECT_EQ(r.status, 1) << ext << r.output;
        EXPECT_TRUE(mentions(r, "Output file is the input file")) << r.output;
        EXPECT_EQ(slurp(fax), before) << ext;
    }
}

TEST_F(CliRun, OutputNamesThatAreNoFilesAreRefusedAndTheNameUsedIsShown) {
    std::ofstream(dir / "L.txt") << "A letter\n";
    fs::create_directory(dir / "faxes");
    for (const std::string& out : {(dir / "faxes").string(), std::string("/dev/null")}) {
        const CliResult r = cli("convert '" + (dir / "L.txt").string() + "' '" + out + "'");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(mentions(r, "is a directory or a device, not a file: " + out)) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "faxes.APF"));
    const CliResult plain = cli("convert '" + (dir / "L.txt").string() + "' '" + (dir / "letter").string() + "'");
    EXPECT_EQ(plain.status, 0) << plain.output;
    EXPECT_TRUE(mentions(plain, (dir / "letter.APF").string() + ": 1 page")) << plain.output;
}

TEST_F(CliRun, ErrorsNameTheMissingFileAndTheDamagedPage) {
    const CliResult missing = cli("info '" + (dir / "gone.apf").string() + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(mentions(missing, "File not found: " + (dir / "gone.apf").string())) << missing.output;
    const CliResult sendMissing = cli("send --virtual 200 '" + (dir / "gone.apf").string() + "'");
    EXPECT_EQ(sendMissing.status, 1);
    EXPECT_TRUE(mentions(sendMissing, "gone.apf: File not found")) << sendMissing.output;
    EXPECT_FALSE(mentions(sendMissing, "is not an APF fax file")) << sendMissing.output;

    // Two pages, the second cut short: the error says which page.
    std::string text;
    for (int i = 0; i < 70; ++i)
        text += "line " + std::to_string(i) + "\n";
    std::ofstream(dir / "two.txt") << text;
    ASSERT_EQ(cli("convert '" + (dir / "two.txt").string() + "' '" + (dir / "two.apf").string() + "'").status, 0);
    fs::resize_file(dir / "two.apf", fs::file_size(dir / "two.apf") - 100);
    for (const std::string out : {"p.pcx", "p.pdf", "p.tif"}) {
        const CliResult r = cli("unpack '" + (dir / "two.apf").string() + "' --to '" + (dir / out).string() + "'");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(mentions(r, "page 2 of " + (dir / "two.apf").string())) << out << ": " << r.output;
    }
    const CliResult page = cli("unpack '" + (dir / "two.apf").string() + "' --page 3 --to '" + (dir / "p.bmp").string() + "'");
    EXPECT_EQ(page.status, 2);
    EXPECT_TRUE(mentions(page, "--page '3' is not a page of")) << page.output;
    EXPECT_TRUE(mentions(page, "which has 2 pages")) << page.output;
}
