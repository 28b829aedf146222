// Text handling of the command layer: report cleaning, station IDs, numeric values,
// Class 2/2.0 tables and reports, the ModemInit rule and the header line.
#include "faxengine/class2_commands.h"
#include "faxengine/fax_session.h"
#include "faxengine/header_line.h"
#include "faxengine/modem_response.h"

#include <gtest/gtest.h>

using namespace faxengine;

TEST(ModemReports, CleaningAndValues) {
    EXPECT_EQ(cleanReport("  +FCLASS: 0,1,2,2.0 \r\n"), "0,1,2,2.0");
    EXPECT_EQ(cleanReport("0,1,2"), "0,1,2");
    EXPECT_EQ(cleanReport("+FDCS=1,3,0"), "1,3,0");
    EXPECT_EQ(cleanReport("+FDCS:1,3,0=x"), "1,3,0=x"); // only the first ':'
    EXPECT_EQ(cleanReport(std::string(300, 'a')).size(), 128u);
    EXPECT_EQ(cleanStationId("+FTSI: \"  555 0100 \""), "555 0100");
    EXPECT_EQ(cleanStationId("+FTI:\"\""), "");
    EXPECT_EQ(numericReportValue("+FHNG: 0"), 0);
    EXPECT_EQ(numericReportValue("+FPTS:1,2200,0,0"), 1);
    EXPECT_EQ(numericReportValue("+FHS:   50"), 0); // only three characters are read
    EXPECT_EQ(numericReportValue("+FHS:100"), 100);
    EXPECT_EQ(numericReportValue("CONNECT"), 0);
}

TEST(Class2, TablesDifferOnlyInStrings) {
    auto c2 = class2CommandsFor(FaxClass::fcClass2);
    auto c20 = class2CommandsFor(FaxClass::fcClass2_0);
    EXPECT_EQ(c2.classCommand, "AT+FCLASS=2");
    EXPECT_EQ(c20.classCommand, "AT+FCLASS=2.0");
    EXPECT_EQ(c2.localId, "AT+FLID");
    EXPECT_EQ(c20.localId, "AT+FLI");
    EXPECT_EQ(c2.hangupReport, "FHNG");
    EXPECT_EQ(c20.hangupReport, "FHS");
    EXPECT_EQ(c20.pageStatusReport, "+FPS");
    EXPECT_TRUE(class2CommandsFor(FaxClass::fcClass1).classCommand.empty());
}

TEST(Class2, SessionReports) {
    auto p = parseClass2Params("1,5,1,2,0,1,0,3");
    EXPECT_EQ(p.bps, 14400);
    EXPECT_TRUE(p.fine);
    EXPECT_TRUE(p.wide);
    EXPECT_TRUE(p.ecm);
    EXPECT_EQ(p.scanTimeCode, 3);
    p = parseClass2Params("0,3,0,2,0,0,0,0");
    EXPECT_EQ(p.bps, 9600);
    EXPECT_FALSE(p.fine || p.wide || p.ecm);
    EXPECT_EQ(parseClass2Params("0, 0,0,2,0,2,0,7").bps, 2400); // padded field
    EXPECT_TRUE(parseClass2Params("0,0,0,2,0,2,0,7").ecm);
    // A short or broken report keeps defaults instead of reading past its end.
    p = parseClass2Params("1");
    EXPECT_EQ(p.bps, 9600);
    EXPECT_EQ(p.scanTimeCode, 0);
    EXPECT_EQ(parseClass2Params("0,1,0,2,0,0,0,9").scanTimeCode, 0);
}

TEST(SessionSettings, ModemInitAndDefaultInitStrings) {
    EXPECT_EQ(FaxSession::NormaliseModemInit("s7=60"), "ATS7=60");
    EXPECT_EQ(FaxSession::NormaliseModemInit("AT&F"), "AT&F");
    EXPECT_EQ(FaxSession::NormaliseModemInit("at&f"), "AT&F");
    EXPECT_EQ(FaxSession::NormaliseModemInit(""), "");
    EXPECT_EQ(FaxSession::NormaliseModemInit(std::string(50, 'x')).size(), 40u);
    EXPECT_EQ(FaxSession::NormaliseModemInit(std::string(40, 'x')).substr(0, 2), "AT");

    FaxSession s(FaxRole::Transmit);
    EXPECT_EQ(s.defaultInit, "ATE0Q0V1X4S0=0S2=43");
    s.SetBlindDial(true);
    EXPECT_EQ(s.defaultInit, "ATE0Q0V1X3S0=0S2=43");
    s.SetDetectBusy(false);
    EXPECT_EQ(s.defaultInit, "ATE0Q0V1X1S0=0S2=43");
    s.SetBlindDial(false);
    EXPECT_EQ(s.defaultInit, "ATE0Q0V1X2S0=0S2=43");
    EXPECT_TRUE(s.safeMode);
    EXPECT_EQ(s.maxSendCount, 50);
    FaxSession r(FaxRole::Receive);
    EXPECT_EQ(r.lastByte, 255);
    EXPECT_FALSE(r.safeMode);
}

TEST(HeaderLine, TokensRunToTheNextSpace) {
    HeaderValues v;
    v.date = "12/07/26";
    v.page = "1";
    v.pages = "3";
    v.sender = "Ann";
    EXPECT_EQ(expandHeaderText("Page $P of $N $D", v), "Page 1 of 3 12/07/26");
    EXPECT_EQ(expandHeaderText("$P/$N", v), "1");
    EXPECT_EQ(expandHeaderText("From $f, $x end $", v), "From Ann  end ");
    EXPECT_EQ(expandHeaderText("no tokens", v), "no tokens");

    FaxSession s(FaxRole::Transmit);
    s.pageCount = 2;
    s.coverCount = 1;
    s.sendingCover = true;
    EXPECT_EQ(s.ExpandHeader("Page $P of $N"), "Page 1 of 3");
    s.sendingCover = false;
    s.currentPage = 2;
    EXPECT_EQ(s.ExpandHeader("Page $P of $N"), "Page 3 of 3");
    s.coverCount = 0;
    EXPECT_EQ(s.ExpandHeader("$p"), "2");
}
