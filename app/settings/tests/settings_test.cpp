#include "settings/settings.h"

#include "faxengine/live_flags.h"
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace settings;

namespace {

class SettingsDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("settings_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void writeIni(const std::string& text) { std::ofstream(dir / "PVN.INI", std::ios::binary) << text; }
    std::string readIni() {
        std::ifstream in(dir / "PVN.INI", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir;
};

} // namespace

TEST_F(SettingsDir, MissingFileGivesDefaultsAndFirstRun) {
    Settings s;
    s.user.name = "left over";
    loadSettings(s, dir);
    EXPECT_TRUE(s.firstRun());
    EXPECT_EQ(s.modem.faxClass, 1);
    EXPECT_EQ(s.modem.maximumBps, 9600);
    EXPECT_EQ(s.dialing.dialAttempts, 3);
    EXPECT_EQ(s.dialing.retryWait, 60);
    EXPECT_EQ(s.receive.answerOnRing, 1);
    EXPECT_EQ(s.receive.printOnReceiptPrinter, "Default Windows Printer");
    EXPECT_EQ(s.defaultFont.name, "Arial");
    EXPECT_EQ(s.defaultFont.size, 10);
    EXPECT_TRUE(s.hintsOn);
    EXPECT_EQ(s.user.name, "");
}

TEST_F(SettingsDir, ReceivingValuesDefaultToTheSendingOnes) {
    writeIni("[Modem]\nComPort=1\nFaxClass=2\nMaximumBPS=14400\nInitString=M0L0\n[Dialing]\nECM=1\n");
    Settings s;
    loadSettings(s, dir);
    EXPECT_EQ(s.modem.faxClassReceive, 2);
    EXPECT_EQ(s.modem.maximumBpsReceive, 14400);
    EXPECT_EQ(s.modem.initStringReceive, "M0L0");
    EXPECT_TRUE(s.receive.ecmReceive);

    writeIni("[Modem]\nFaxClass=2\nFaxClassReceive=3\nInitStringReceive=\n[Receive]\nECMReceive=0\n[Dialing]\nECM=1\n");
    loadSettings(s, dir);
    EXPECT_EQ(s.modem.faxClassReceive, 3);
    EXPECT_EQ(s.modem.initStringReceive, ""); // present but empty is not missing
    EXPECT_FALSE(s.receive.ecmReceive);
}

TEST_F(SettingsDir, SaveWritesEveryKeyAndKeepsForeignSections) {
    writeIni("[TMainScreen_Placement]\nLeft=5\nMaximized=1\n\n[Printing]\nMultiPage=1\n\n"
             "[Ports]\nCOM1=/dev/pts/7\n\n[Modem]\nComPort=garbage\nFaxClass=2\n");
    Settings s;
    loadSettings(s, dir);
    EXPECT_EQ(s.modem.comPort, -1); // unreadable integer: its default
    EXPECT_EQ(s.devicePathForPort(1), "/dev/pts/7");
    EXPECT_EQ(s.devicePathForPort(3), "/dev/ttyS2");

    s.modem.comPort = 0;
    s.user.name = "Ann Example";
    saveSettings(s, dir);

    auto ini = IniFile::load(dir / "PVN.INI");
    EXPECT_EQ(ini.readString("Version", "Version", ""), kVersionString);
    EXPECT_EQ(ini.readString("Dialing", "Timeout", ""), "60");
    EXPECT_EQ(ini.readString("Receive", "DisableReceivingFaxesNotification", ""), "0");
    EXPECT_EQ(ini.readString("Hints", "On", ""), "1");
    EXPECT_EQ(ini.readInteger("Modem", "ComPort", -1), 0);
    EXPECT_EQ(ini.readInteger("Modem", "FaxClass", -1), 2);
    EXPECT_EQ(ini.readString("User", "Name", ""), "Ann Example");
    EXPECT_EQ(ini.readInteger("TMainScreen_Placement", "Left", 0), 5);
    EXPECT_EQ(ini.readString("Printing", "MultiPage", ""), "1");
    EXPECT_EQ(ini.readString("Ports", "COM1", ""), "/dev/pts/7");
    EXPECT_EQ(ini.keys("Modem").size(), 8u);
    EXPECT_EQ(ini.keys("Dialing").size(), 9u);
    EXPECT_EQ(ini.keys("Receive").size(), 7u);
    EXPECT_EQ(ini.keys("Default Font").size(), 5u);

    // Another window writes its own section between our load and our save: it stays.
    IniFile other = IniFile::load(dir / "PVN.INI");
    other.writeBool("Printing", "Footer", false);
    other.save(dir / "PVN.INI");
    saveSettings(s, dir);
    EXPECT_EQ(IniFile::load(dir / "PVN.INI").readString("Printing", "Footer", ""), "0");

    Settings back;
    loadSettings(back, dir);
    EXPECT_FALSE(back.firstRun());
    EXPECT_EQ(back.user.name, "Ann Example");
}

// A binary byte anywhere costs no setting: every readable key is read, and a save keeps
// whatever else the file holds.
TEST_F(SettingsDir, BinaryBytesInTheFileLoseNoSetting) {
    std::string text = "[Dialing]\nDialPrefix=9\n[User]\nName=Ann Example\nFax=+1 555 0100";
    text.push_back('\0');
    text += "\n";
    text += std::string("\x7f" "ELF\0\0\x01\x02junk", 12) + "\n[Modem]\nComPort=2\n";
    writeIni(text);
    Settings s;
    loadSettings(s, dir);
    EXPECT_FALSE(s.firstRun());
    EXPECT_EQ(s.dialing.dialPrefix, "9");
    EXPECT_EQ(s.user.name, "Ann Example");
    EXPECT_EQ(s.user.fax, "+1 555 0100");
    EXPECT_EQ(s.modem.comPort, 2);

    s.dialing.retryWait = 30;
    saveSettings(s, dir);
    Settings back;
    loadSettings(back, dir);
    EXPECT_EQ(back.dialing.dialPrefix, "9");
    EXPECT_EQ(back.user.name, "Ann Example");
    EXPECT_EQ(back.user.fax, "+1 555 0100");
    EXPECT_EQ(back.modem.comPort, 2);
    EXPECT_EQ(back.dialing.retryWait, 30);
    EXPECT_NE(readIni().find(std::string("\x7f" "ELF\0\0\x01\x02junk", 12)), std::string::npos);
}

TEST_F(SettingsDir, LiveFlagsFollowLoadAndSave) {
    writeIni("[Other]\nUseMotorolaSM56Fix=1\nImposeWaitBeforePrinting=1\n");
    Settings s;
    loadSettings(s, dir);
    EXPECT_TRUE(faxengine::useSm56Fix());
    EXPECT_TRUE(imposeWaitBeforePrinting());
    s.other.useMotorolaSm56Fix = false;
    s.other.imposeWaitBeforePrinting = false;
    saveSettings(s, dir);
    EXPECT_FALSE(faxengine::useSm56Fix());
    EXPECT_FALSE(imposeWaitBeforePrinting());
}

TEST(TransferRate, IndexAndStoredRateMapBothWays) {
    const int rates[] = {2400, 4800, 7200, 9600, 12000, 14400};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(bpsFromRateIndex(i), rates[i]);
        EXPECT_EQ(rateIndexFromBps(rates[i]), i);
    }
    EXPECT_EQ(rateIndexFromBps(33600), 3);
    EXPECT_EQ(rateIndexFromBps(0), 3);
    EXPECT_EQ(bpsFromRateIndex(-1), 9600);
    EXPECT_EQ(bpsFromRateIndex(6), 9600);
}

// Which ports run on a named device and which fall back to the virtual line.
TEST_F(SettingsDir, NamedDevicesAndTheVirtualLineFallback) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    const std::string livePty = ::ptsname(master);
    writeIni("[Ports]\nCOM1=/dev/ttyACM0\ncom2=" + livePty +
             "\nCOM3=/dev/pts/99999\nCOM4=\n[Modem]\nComPort=1\n");
    Settings s;
    loadSettings(s, dir);
    EXPECT_EQ(s.configuredPortNumber(), 2);
    // A named device is used even when it is unplugged now: the user chose it.
    EXPECT_EQ(s.namedDeviceForPort(1), "/dev/ttyACM0");
    EXPECT_EQ(s.namedDeviceForPort(2), livePty);
    EXPECT_EQ(s.namedDeviceForPort(3), std::nullopt); // a virtual line's pty, gone
    EXPECT_EQ(s.namedDeviceForPort(4), std::nullopt);
    EXPECT_EQ(s.namedDeviceForPort(5), std::nullopt);

    Settings fresh;
    EXPECT_EQ(fresh.configuredPortNumber(), 1);
    ::close(master);
}
