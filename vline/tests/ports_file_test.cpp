#include "ports_file.h"
#include "vline_launcher.h"

#include <gtest/gtest.h>

using namespace vline;

namespace {
const std::vector<PortEntry> kPorts{{1, "100", "/dev/pts/7"}, {2, "101", "/dev/pts/8"}};
}

TEST(VlinePorts, SectionReadsBack) {
    const std::string s = portsSection(kPorts);
    EXPECT_NE(s.find("[Ports]\nCOM1=/dev/pts/7\nCOM2=/dev/pts/8\n"), std::string::npos);
    auto back = parsePortsSection(s);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].com, 2);
    EXPECT_EQ(back[1].path, "/dev/pts/8");
}

TEST(VlinePorts, UpdateKeepsEverythingElse) {
    // Our keys are replaced in place whatever their case; other keys, sections, comments
    // and the CRLF line ends stay as they were.
    const std::string ini = "[General]\r\nName=Me\r\n\r\n[ports]\r\ncom1=/dev/ttyS0\r\n"
                            "COM3=/dev/ttyUSB0\r\n\r\n[Fax]\r\nRing=2\r\n";
    const std::string out = updateIniText(ini, kPorts);
    EXPECT_EQ(out, "[General]\r\nName=Me\r\n\r\n[ports]\r\ncom1=/dev/pts/7\r\n"
                   "COM3=/dev/ttyUSB0\r\nCOM2=/dev/pts/8\r\n\r\n[Fax]\r\nRing=2\r\n");
    // Idempotent.
    EXPECT_EQ(updateIniText(out, kPorts), out);
    // No section yet: added at the end; an empty file gets just the section.
    EXPECT_EQ(updateIniText("[General]\nA=1\n", kPorts),
              "[General]\nA=1\n\n[Ports]\nCOM1=/dev/pts/7\nCOM2=/dev/pts/8\n");
    EXPECT_EQ(updateIniText("", kPorts), "[Ports]\nCOM1=/dev/pts/7\nCOM2=/dev/pts/8\n");
    // The section last in the file, without a final newline.
    EXPECT_EQ(updateIniText("[Ports]\nCOM2=x", kPorts),
              "[Ports]\nCOM2=/dev/pts/8\nCOM1=/dev/pts/7\n");
}

TEST(VlinePorts, ExtraArgumentsSplitAtBlanksWithQuotedWordsKept) {
    EXPECT_EQ(splitArguments("  --send  fax.tif\t--ecm off "),
              (std::vector<std::string>{"--send", "fax.tif", "--ecm", "off"}));
    EXPECT_EQ(splitArguments("--send \"/tmp/my fax.tif\" --ident \"\""),
              (std::vector<std::string>{"--send", "/tmp/my fax.tif", "--ident", ""}));
    EXPECT_TRUE(splitArguments("   ").empty());
}

TEST(VlinePorts, LauncherReadsTheStartupReport) {
    std::vector<PortEntry> ports;
    std::filesystem::path logDir;
    EXPECT_FALSE(parseStartupLine("port COM1 100 /dev/pts/3", ports, logDir));
    EXPECT_FALSE(parseStartupLine("farend 200 receive", ports, logDir));
    EXPECT_FALSE(parseStartupLine("log-dir /tmp/with space", ports, logDir));
    EXPECT_FALSE(parseStartupLine("port COMX 100 /dev/pts/4", ports, logDir));
    EXPECT_TRUE(parseStartupLine("ready", ports, logDir));
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].com, 1);
    EXPECT_EQ(ports[0].number, "100");
    EXPECT_EQ(ports[0].path, "/dev/pts/3");
    EXPECT_EQ(logDir, "/tmp/with space");
}
