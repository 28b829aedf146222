#include "base/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using settings::IniFile;

TEST(IniFile, ReadsKeysWithoutRegardToCaseAndFirstDuplicateWins) {
    auto ini = IniFile::parse("[Modem]\r\nComPort = 2\r\ncomport=5\r\n[default font]\nName=Liberation Sans\n");
    EXPECT_EQ(ini.readInteger("MODEM", "comPORT", -1), 2);
    EXPECT_EQ(ini.readString("Default Font", "name", "Arial"), "Liberation Sans");
    EXPECT_EQ(ini.readString("Default Font", "Size", "10"), "10");
    EXPECT_EQ(ini.readString("Nowhere", "Name", "x"), "x");
}

TEST(IniFile, UnreadableNumbersGiveTheDefault) {
    auto ini = IniFile::parse("[S]\nA=12abc\nB=\nC=-7\nD=0x1F\nE=99999999999\nF=2\nG=yes\nH=0\n"
                              "I=--9223372036854775808\nJ=-2147483648\nK=2147483648\nL=+-1\nM=-0x80000000\n");
    EXPECT_EQ(ini.readInteger("S", "I", 4), 4); // two signs
    EXPECT_EQ(ini.readInteger("S", "J", 4), -2147483647 - 1);
    EXPECT_EQ(ini.readInteger("S", "K", 4), 4);
    EXPECT_EQ(ini.readInteger("S", "L", 4), 4);
    EXPECT_EQ(ini.readInteger("S", "M", 4), -2147483647 - 1);
    EXPECT_EQ(ini.readInteger("S", "A", 4), 4);
    EXPECT_EQ(ini.readInteger("S", "B", 4), 4);
    EXPECT_EQ(ini.readInteger("S", "C", 4), -7);
    EXPECT_EQ(ini.readInteger("S", "D", 4), 31);
    EXPECT_EQ(ini.readInteger("S", "E", 4), 4);
    EXPECT_TRUE(ini.readBool("S", "F", false));  // any non-zero number is true
    EXPECT_TRUE(ini.readBool("S", "G", true));   // unreadable: the default
    EXPECT_FALSE(ini.readBool("S", "G", false));
    EXPECT_FALSE(ini.readBool("S", "H", true));
}

TEST(IniFile, RoundTripKeepsEverythingItDoesNotKnow) {
    const std::string text = "; written by hand\n"
                             "[TMainScreen_Placement120]\nLeft=10\nTop=20\n\n"
                             "[Modem]\nComPort=1\nthis line is not an entry\n[broken\n"
                             "[Printing]\nMultiPage=1\n\n"
                             "[Ports]\nCOM1=/dev/ttyACM0\n";
    auto ini = IniFile::parse(text);
    EXPECT_EQ(ini.text(), text);

    ini.writeInteger("Modem", "ComPort", 3);
    ini.writeString("Modem", "InitString", "M0");
    ini.writeBool("Hints", "On", false);
    auto again = IniFile::parse(ini.text());
    EXPECT_EQ(again.readInteger("Modem", "ComPort", -1), 3);
    EXPECT_EQ(again.readString("Modem", "InitString", ""), "M0");
    EXPECT_EQ(again.readString("Ports", "COM1", ""), "/dev/ttyACM0");
    EXPECT_EQ(again.readInteger("TMainScreen_Placement120", "Top", 0), 20);
    EXPECT_NE(again.text().find("; written by hand\n"), std::string::npos);
    EXPECT_NE(again.text().find("this line is not an entry\n[broken\n"), std::string::npos);
    EXPECT_EQ(again.keys("Modem"), (std::vector<std::string>{"ComPort", "InitString"}));
}

TEST(IniFile, ValuesWithLineBreaksCannotInjectLines) {
    IniFile ini;
    ini.writeString("User", "Name", "Ann\n[Modem]\nComPort=5");
    auto again = IniFile::parse(ini.text());
    EXPECT_FALSE(again.hasSection("Modem"));
    EXPECT_EQ(again.readString("User", "Name", ""), "Ann [Modem] ComPort=5");
}

// Lines keep their spelling and their own line ends until changed; new lines take the
// line end of the file's first line.
TEST(IniFile, EntriesKeepTheirSpellingAndLineEndsUntilChanged) {
    const std::string text = "[Modem]\r\n  ComPort = 2\r\nInitString=  M0  \n";
    auto ini = IniFile::parse(text);
    EXPECT_EQ(ini.text(), text);
    ini.writeInteger("Modem", "comport", 4);
    ini.writeString("Modem", "InitString", "M0"); // the same value: left as written
    ini.writeString("Ports", "COM1", "/dev/ttyACM0");
    EXPECT_EQ(ini.text(), "[Modem]\r\nComPort=4\r\nInitString=  M0  \n\r\n[Ports]\r\nCOM1=/dev/ttyACM0\r\n");

    // Stray carriage returns at the end change nothing, however often the file is saved.
    for (const std::string odd : {"[A]\nk=v\r\r", "[A]\r\nk=v\r\r\n", "[A]\nk=v\r\r\nj=w\n", "[A]\nk=v"}) {
        auto once = IniFile::parse(odd);
        EXPECT_EQ(once.readString("A", "k", ""), "v");
        once.writeString("A", "k", "v");
        EXPECT_EQ(once.text(), odd);
        auto twice = IniFile::parse(once.text());
        twice.writeString("B", "n", "1");
        EXPECT_EQ(twice.text().substr(0, odd.size()), odd);
        EXPECT_EQ(IniFile::parse(twice.text()).readString("A", "k", ""), "v");
        EXPECT_EQ(IniFile::parse(twice.text()).readString("B", "n", ""), "1");
    }
}

// Values with blanks (or quotes) at either end come back as they were written.
TEST(IniFile, BlanksAroundAValueSurviveTheRoundTrip) {
    IniFile ini;
    const std::vector<std::string> values = {"  padded  ", " lead", "trail\t", "\"quoted\"", "\"", "a \"b\" c", ""};
    for (std::size_t i = 0; i < values.size(); ++i)
        ini.writeString("S", "k" + std::to_string(i), values[i]);
    const auto again = IniFile::parse(ini.text());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.readString("S", "k" + std::to_string(i), "?"), values[i]) << i;
    // Values written by hand are read without the blanks around them, as before.
    EXPECT_EQ(IniFile::parse("[S]\nk =  M0  \n").readString("S", "k", ""), "M0");
}

// A NUL byte, or a binary line, costs only itself: every readable entry is read, and
// the bytes stay where they were.
TEST(IniFile, BinaryBytesLoseNoReadableEntry) {
    std::string text = "[Modem]\nComPort=2\n";
    text += std::string("Init\0String=M0\n\x7f" "ELF\0\0\n", 22);
    text += "[User]\nName=Ann\0\n";
    auto path = std::filesystem::temp_directory_path() / ("ini_nul_" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << text;
    auto ini = IniFile::load(path);
    EXPECT_FALSE(ini.wasText());
    EXPECT_EQ(ini.readInteger("Modem", "ComPort", -1), 2);
    EXPECT_EQ(ini.readString("Modem", "InitString", ""), "M0");
    EXPECT_EQ(ini.readString("User", "Name", ""), "Ann");
    EXPECT_EQ(ini.text(), text);
    ini.writeString("User", "Name", std::string("B\0b", 3));
    EXPECT_EQ(IniFile::parse(ini.text()).readString("User", "Name", ""), "Bb");
    EXPECT_TRUE(IniFile::load(path.string() + ".missing").wasText());
    std::filesystem::remove(path);
}

TEST(IniFile, SaveIntoMissingDirectoryReportsAnError) {
    IniFile ini;
    ini.writeString("A", "B", "C");
    EXPECT_THROW(ini.save("/nonexistent-dir/PVN.INI"), std::system_error);
}
