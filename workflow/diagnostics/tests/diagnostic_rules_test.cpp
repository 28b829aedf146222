#include "workflow/diagnostics/diagnostic_rules.h"

#include "faxengine/engine_errors.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace diagnostics;
namespace ec = faxengine::ec;

namespace {

bool anyBulletStartsWith(const std::vector<AnalysisSection>& a, const std::string& start) {
    for (const auto& s : a)
        for (const auto& b : s.bullets)
            if (b.rfind(start, 0) == 0)
                return true;
    return false;
}

} // namespace

TEST(DiagnosticRules, ErrorsLeadToTheirTopicBySide) {
    struct Case {
        int code, sending, receiving;
    };
    const Case cases[] = {{ec::FaxNoAnswer, 2, 2},     {ec::FaxNoCarrier, 2, 2}, {ec::FaxNoDialTone, 4, 4},
                          {ec::FaxBadModemResult, 0, 19}, {ec::TimeOut, 1, 18},    {ec::FaxBusy, 255, 255},
                          {0, 255, 255}};
    for (const auto& c : cases) {
        EXPECT_EQ(topicForError(c.code, true), c.sending) << c.code;
        EXPECT_EQ(topicForError(c.code, false), c.receiving) << c.code;
    }
}

TEST(DiagnosticRules, AnalysisFlagsWhatDeservesAWord) {
    settings::Settings s;
    s.modem.comPort = 1;
    s.user.fax = "5551212";
    auto a = configurationAnalysis(s);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].header, "Modem and Communications Port");
    EXPECT_EQ(a[0].bullets[0].rfind("You are using Communications Port: COM2.", 0), 0u);
    EXPECT_FALSE(anyBulletStartsWith(a, "Your Fax Number"));
    EXPECT_FALSE(anyBulletStartsWith(a, "You are currently using PULSE"));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are not using a modem reset string."));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are using Fax Class 1 for SENDING faxes."));
    EXPECT_TRUE(anyBulletStartsWith(a, "Your current Transfer Rate for sending faxes is 9600."));
    EXPECT_FALSE(anyBulletStartsWith(a, "Your Answer On Ring"));

    s.user.fax = "555-1212";
    s.dialing.toneOrPulse = 1;
    s.resetting.string = "at&f";
    s.modem.faxClass = 3;
    s.modem.maximumBps = 14400;
    s.receive.answerOnRing = 4;
    s.modem.faxClassReceive = 0;
    a = configurationAnalysis(s);
    EXPECT_TRUE(anyBulletStartsWith(a, "Your Fax Number (Station ID) is 555-1212."));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are currently using PULSE dialing."));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are using \"AT&F\" as your modem reset string."));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are using Fax Class 2.0. Our recommendation"));
    EXPECT_TRUE(anyBulletStartsWith(a, "You are using Fax Class Autodetect.Our recommendation"));
    EXPECT_TRUE(anyBulletStartsWith(a, "Your current Transfer Rate of 14400 may be too high"));
    EXPECT_TRUE(anyBulletStartsWith(a, "Your Answer On Ring setting is for 4 rings."));

    s.resetting.string = "AT&F1E0";
    EXPECT_TRUE(anyBulletStartsWith(configurationAnalysis(s),
                                    "You are using \"AT&F1E0\" as your modem reset string. Normally this should be"));
}

TEST(DiagnosticRules, InitStringHelperPresetsAndComposes) {
    EXPECT_EQ(composeInitString(3, true, false), "AT&H3&I2&R2S7=90S36=8");
    EXPECT_EQ(composeInitString(0, true, false), "AT&F&C1&D2&K3S7=65");
    EXPECT_EQ(composeInitString(0, true, true), "AT&F&C1&D2&K3S7=120");
    EXPECT_EQ(composeInitString(4, true, true), "AT&H3&I2&R2S7=120S36=8S33=34");
    // Receiving always waits 65 s, whatever was ticked.
    EXPECT_EQ(composeInitString(5, false, true), "AT&F&C1&D2\\Q3S7=65");
    EXPECT_EQ(composeInitString(2, false, false), "AT&H3&I2&R2S7=65S36=0");

    EXPECT_EQ(presetModemType("AT&H3&I2&R2S7=90S36=8S33=34"), 4);
    EXPECT_EQ(presetModemType("at&h3&i2&r2s7=90s36=0"), 2);
    EXPECT_EQ(presetModemType("AT&F&C1&D2\\Q3"), 5);
    EXPECT_EQ(presetModemType("AT&R2"), 1);
    EXPECT_EQ(presetModemType(""), 0);

    EXPECT_TRUE(presetLongWait("AT&F&C1&D2&K3S7=120"));
    EXPECT_FALSE(presetLongWait("AT&F&C1&D2&K3S7=65"));
    EXPECT_TRUE(presetLongWait("ATS7=66"));
    // With "&H3" the bar is 90; "&h3" in lower case does not count.
    EXPECT_FALSE(presetLongWait("AT&H3&I2&R2S7=90"));
    EXPECT_TRUE(presetLongWait("AT&H3&I2&R2S7=91"));
    EXPECT_TRUE(presetLongWait("at&h3s7=80"));
    EXPECT_FALSE(presetLongWait("ATS7="));
    EXPECT_FALSE(presetLongWait("ATS7=X9"));
    EXPECT_FALSE(presetLongWait(""));
}

TEST(DiagnosticRules, ClassRecommendationPrefersClass1) {
    EXPECT_EQ(recommendedClassIndex(classSupportFromBits(4 | 16)), 0);
    EXPECT_EQ(recommendedClassIndex(classSupportFromBits(8 | 16)), 1);
    EXPECT_EQ(recommendedClassIndex(classSupportFromBits(16)), 2);
    EXPECT_EQ(recommendedClassIndex(classSupportFromBits(0)), -1);
    EXPECT_EQ(classIndexName(2), "Class 2.0");
}

TEST(DiagnosticRules, ScanSummarySuggestsTheFirstComPortAndExplainsRefusals) {
    std::vector<PortResult> r = {{"Com 1", "/dev/ttyS0", 1, PortState::Missing, "Port does not exist"},
                                 {"Com 2", "/dev/pts/3", 2, PortState::Modem, "MODEM"},
                                 {"Com 4", "/dev/pts/4", 4, PortState::Modem, "MODEM"}};
    EXPECT_EQ(scanSummary(r), "A modem was found on Com Port 2. We suggest setting the Port as Com 2.");

    r = {{"Com 1", "/dev/ttyS0", 1, PortState::Busy, "Port is already open (could be modem)"}};
    EXPECT_NE(scanSummary(r).find("communication programs"), std::string::npos);
    r = {{"Com 1", "/dev/ttyS0", 1, PortState::NoPermission, permissionText("/dev/ttyS0")}};
    const std::string denied = scanSummary(r);
    EXPECT_NE(denied.find("dialout"), std::string::npos);
    EXPECT_EQ(denied.find("in use"), std::string::npos);
    r = {{"/dev/ttyACM0", "/dev/ttyACM0", 0, PortState::Modem, "MODEM"}};
    EXPECT_NE(scanSummary(r).find("/dev/ttyACM0"), std::string::npos);
}
