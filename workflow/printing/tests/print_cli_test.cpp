// parvane-cli print as a user runs it, with no display: the sheets it makes and the
// refusals it gives.
#include "print_test_support.h"

#include "oracle_skip.h"

#include <gtest/gtest.h>

using namespace print_test;

namespace {

struct CliOutcome {
    int status = -1;
    std::string output;
};

CliOutcome cli(const std::string& arguments, const std::string& env = {}) {
    CliOutcome r;
    r.status = run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " " +
                       std::string(PARVANE_BINARY_DIR) + "/cli/parvane-cli " + arguments + " 2>&1",
                   &r.output);
    return r;
}

} // namespace

TEST(PrintCommand, PrintsARangeFourUpIntoAPdfWithoutADisplay) {
    if (!haveTool("pdfinfo"))
        PARVANE_SKIP_WITHOUT_ORACLE("pdfinfo (poppler-utils) is not installed");
    TempDir dir;
    std::vector<FaxPage> pages;
    for (int i = 1; i <= 7; ++i)
        pages.push_back(barsPage(i % 4 + 1));
    writeFax(dir / "FAX0003.APF", pages);
    const std::string fax = "'" + (dir / "FAX0003.APF").string() + "'";
    const std::string pdf = "'" + (dir / "out.pdf").string() + "'";

    CliOutcome r = cli("print " + fax + " --pdf " + pdf + " --pages 2-7 --four-up --header");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Printed 6 page(s)"), std::string::npos) << r.output;
    EXPECT_EQ(pdfInfo(dir / "out.pdf").pages, 2);

    r = cli("print " + fax + " --pdf " + pdf + " --pages 5-");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pdfInfo(dir / "out.pdf").pages, 3);

    // "--header" before the file still finds the file.
    r = cli("print --header " + fax + " --pdf " + pdf);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pdfInfo(dir / "out.pdf").pages, 7);
}

TEST(PrintCommand, RefusesBadRangesMissingFilesAndUnknownPrinters) {
    TempDir dir;
    writeFax(dir / "F.APF", {barsPage(1), barsPage(2)});
    const std::string fax = "'" + (dir / "F.APF").string() + "'";
    CliOutcome r = cli("print " + fax + " --pages 0-1 --pdf /dev/null");
    EXPECT_EQ(r.status, 2) << r.output;
    r = cli("print " + fax + " --pages 2-3 --pdf /dev/null");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("1-2"), std::string::npos) << r.output;
    r = cli("print '" + (dir / "none.apf").string() + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("File not found"), std::string::npos) << r.output;
    r = cli("print " + fax + " --printer NoSuchParvaneQueue");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(r.output.find("NoSuchParvaneQueue") != std::string::npos ||
                r.output.find("No printer is installed") != std::string::npos)
        << r.output;
    r = cli("print " + fax + " --colour");
    EXPECT_EQ(r.status, 2) << r.output;

    writeFax(dir / "EMPTY.APF", {});
    r = cli("print '" + (dir / "EMPTY.APF").string() + "' --pdf '" + (dir / "e.pdf").string() + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("nothing printed"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "e.pdf"));
}

TEST(PrintCommand, WithoutAnyPrinterItSaysSoPlainly) {
    TempDir dir;
    writeFax(dir / "F.APF", {barsPage(1)});
    // A CUPS server that is not there: the system has no printer at all.
    const std::string noCups = "CUPS_SERVER='" + (dir / "no-cups-here").string() + "'";
    CliOutcome r = cli("print '" + (dir / "F.APF").string() + "'", noCups);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("No printer is installed"), std::string::npos) << r.output;
    r = cli("print --list", noCups);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("No printer is installed"), std::string::npos) << r.output;
}
