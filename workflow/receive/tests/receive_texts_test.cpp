// The words of receive mode: the status line during a call, the notice window's exit,
// the failure texts and the tray.
#include "workflow/receive/receive_texts.h"
#include "workflow/receive/receive_mode.h"

#include <gtest/gtest.h>

using namespace workflow::receive;

TEST(ReceiveStatusLine, PageDataShowsSenderPageAndBytesOnlyWithAnIdentifier) {
    StatusFacts f{"Getting page data", "555 1234", 2, 5120};
    EXPECT_EQ(statusLineText(f), "Receiving fax from: 555 1234, page 2 (5120 bytes)");
    f.remoteId = "   ";
    EXPECT_EQ(statusLineText(f), "Receiving fax");
    // Padding around the identifier is not shown; nothing yet counted shows no count.
    f = {"Getting page data", "  +1 555 0201", 1, 0};
    EXPECT_EQ(statusLineText(f), "Receiving fax from: +1 555 0201, page 1");
    f = {"Getting page data", "X", 0, 10};
    EXPECT_EQ(statusLineText(f), "Receiving fax from: X (10 bytes)");
}

TEST(ReceiveStatusLine, OtherStatusesTakeTheSenderWithoutPageAndBytes) {
    EXPECT_EQ(statusLineText({"Answering incoming call", "", 0, 0}), "Answering incoming call");
    EXPECT_EQ(statusLineText({"Getting end-of-page signal", "ID", 3, 900}), "Getting end-of-page signal from: ID");
    EXPECT_EQ(statusLineText({"Got Class 2 FHNG code", "", 0, 0}), "Hangup successful");
    EXPECT_EQ(statusLineText({"  Waiting for incoming call  ", "", 0, 0}), "Waiting for incoming call");
    EXPECT_EQ(statusLineText({"", "", 0, 0}), "");
}

TEST(ReceiveStatusLine, AnythingAboutAnAbortBlanksTheLine) {
    EXPECT_EQ(statusLineText({"User abort", "", 0, 0}), "");
    EXPECT_EQ(statusLineText({"Getting page data", "ABORTIVE LTD", 1, 5}), "");
    EXPECT_EQ(statusLineText({"Aborting", "555", 0, 0}), "");
}

TEST(ReceiveNoticeWindow, GivesWayOnlyToAnsweringInAnyCase) {
    EXPECT_TRUE(hidesNoticeWindow("Answering incoming call"));
    EXPECT_TRUE(hidesNoticeWindow("answering"));
    EXPECT_FALSE(hidesNoticeWindow("Waiting for incoming call"));
    EXPECT_FALSE(hidesNoticeWindow(""));
}

TEST(ReceiveFailureTexts, EngineTextOrUnknownAndTheStartFailures) {
    EXPECT_EQ(receiveFailureText(0),
              "Parvane failed to receive an incoming fax.\r\n\r\nThe error message was:   Unknown error");
    EXPECT_EQ(receiveFailureText(-8069),
              "Parvane failed to receive an incoming fax.\r\n\r\nThe error message was:   Fax failed in mid-session");
    EXPECT_EQ(openPortFailureText("Cannot open", 3),
              "Cannot open\r\n\r\nIs the Communications Port (COM3) correct? Please\r\nclick on the Find Modem "
              "button in Preferences to be sure.");
    const std::string noModem = noModemResponseText(2);
    EXPECT_EQ(noModem.rfind("We did not receive a modem response from COM2.\r\n\r\n", 0), 0u);
    EXPECT_NE(noModem.find("If you are sure there is a modem on COM2, press CONTINUE\r\nto continue, otherwise press "
                           "OK to stop the fax session."),
              std::string::npos);
    EXPECT_EQ(resetStringFailureText("ATZ", 1).rfind("We are unable to continue the fax session. \r\n\r\nThe modem "
                                                     "did not respond to the reset string:   (ATZ)\r\n\r\n",
                                                     0),
              0u);
}

TEST(ReceiveTray, TipFollowsTheModeAndTheCallAndTheArrivalNamesSenderAndPages) {
    EXPECT_EQ(trayToolTip(TrayState::Off, "anything"), "Parvane - receive mode is off");
    EXPECT_EQ(trayToolTip(TrayState::Waiting, ""), "Parvane - waiting for faxes");
    EXPECT_EQ(trayToolTip(TrayState::Receiving, " Receiving fax from: 555, page 2 "),
              "Parvane - Receiving fax from: 555, page 2");
    EXPECT_EQ(trayToolTip(TrayState::Receiving, ""), "Parvane - receiving a fax");
    EXPECT_EQ(arrivalMessage(" +1 555 0201 ", 3), "3 pages from +1 555 0201");
    EXPECT_EQ(arrivalMessage("", 1), "1 page from an unknown sender");
    EXPECT_EQ(to_string(TrayState::Receiving), "receiving");
}

TEST(ReceiveSettings, StoredClassGivesTheReceiverClass) {
    using faxengine::TFaxClass;
    EXPECT_EQ(receiverClass(0), TFaxClass::fcDetect);
    EXPECT_EQ(receiverClass(1), TFaxClass::fcClass1);
    EXPECT_EQ(receiverClass(2), TFaxClass::fcClass2);
    EXPECT_EQ(receiverClass(3), TFaxClass::fcClass2_0);
    EXPECT_EQ(receiverClass(7), TFaxClass::fcDetect);
}
