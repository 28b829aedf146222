#include "faxengine/fax_log.h"
#include "faxengine/fax_status.h"

#include <gtest/gtest.h>

using namespace faxengine;

namespace {
const std::string kWhen = "12/06/26 14:05:09";
}

TEST(FaxStatusText, KnownCodesHaveTheirTextOthersNone) {
    EXPECT_EQ(faxStatusText(1), "Initializing modem for fax processing");
    EXPECT_EQ(faxStatusText(FaxStatus::BusyWait), "Busy, waiting until redial...");
    EXPECT_EQ(faxStatusText(28), "Got Class 2 FHNG code");
    EXPECT_EQ(faxStatusText(43), "Finished");
    EXPECT_EQ(faxStatusText(9), "");
    EXPECT_EQ(faxStatusText(0), "");
    EXPECT_EQ(faxStatusText(44), "");
    EXPECT_EQ(faxStatusText(-1), "");
    TFaxLogCode c;
    EXPECT_FALSE(faxLogCodeFrom(0, c));
    EXPECT_FALSE(faxLogCodeFrom(8, c));
    ASSERT_TRUE(faxLogCodeFrom(6, c));
    EXPECT_EQ(c, TFaxLogCode::lfaxReceiveSkip);
}

TEST(FaxHistoryText, TransmitEntries) {
    FaxHistoryFacts f;
    f.faxFiles = {"/tmp/a.apf", "/tmp/b.apf"};
    f.phoneNumber = "5551234";
    f.remoteId = "REMOTE ID";
    f.hangupCode = 0;
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxTransmitStart, f, kWhen),
              "Transmit /tmp/a.apf to 5551234 started at " + kWhen + "\r\n"
              "Transmit /tmp/b.apf to 5551234 started at " + kWhen + "\r\n");
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxTransmitOk, f, kWhen),
              "Transmit to REMOTE ID finished OK at " + kWhen + " 0\r\n\r\n");
    f.lastError = -8064;
    f.hangupCode = 3;
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxTransmitFail, f, kWhen),
              "Transmit failed at " + kWhen + "\r\n  (Called fax number was busy) 3\r\n\r\n");
}

TEST(FaxHistoryText, ReceiveEntries) {
    FaxHistoryFacts f;
    f.faxFile = "/data/receive/FAX0003.APF";
    f.remoteId = "+1 555 0100";
    f.lastError = -8068;
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxReceiveStart, f, kWhen),
              "Receive /data/receive/FAX0003.APF from +1 555 0100 started at " + kWhen + "\r\n");
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxReceiveOk, f, kWhen), "Receive finished OK at " + kWhen + "\r\n\r\n");
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxReceiveSkip, f, kWhen), "Receive skipped at " + kWhen + "\r\n\r\n");
    EXPECT_EQ(faxHistoryText(TFaxLogCode::lfaxReceiveFail, f, kWhen),
              "Receive failed at " + kWhen + "\r\n  (Failed to connect to remote fax)\r\n\r\n");
}

TEST(FaxHistoryText, DateTimeHasDateAndTime) {
    using namespace std::chrono;
    std::string s = faxHistoryDateTime(system_clock::now());
    EXPECT_NE(s.find('/'), std::string::npos);
    EXPECT_NE(s.find(':'), std::string::npos);
}
