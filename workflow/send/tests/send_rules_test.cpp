// The rules a send attempt follows that need no modem: dial wait, header line, the
// configuration summary, how the sender is set up, the steps list, the meter's blocks and
// the status window's texts.
#include "faxengine/fax_status.h"
#include "workflow/send/call_journal.h"
#include "workflow/send/fax_status_window.h"
#include "workflow/send/sender_setup.h"
#include "workflow/send/velk_meter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace workflow::send;
using faxengine::FaxStatus;
using std::chrono::seconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(DialWait, ReadsS7FromTheInitStringWithAFloorOf55) {
    EXPECT_EQ(dialWaitFromInit("ATS7=90"), seconds(90));
    EXPECT_EQ(dialWaitFromInit("ATS7=45"), seconds(55));
    EXPECT_EQ(dialWaitFromInit("ATS7=30,"), seconds(55));
    EXPECT_EQ(dialWaitFromInit("AT&F"), seconds(60));
    EXPECT_EQ(dialWaitFromInit("ATS7=120"), seconds(120));
    EXPECT_EQ(dialWaitFromInit("at&f s7=75 m0"), seconds(75)); // any case
    EXPECT_EQ(dialWaitFromInit("ATS7="), seconds(60));         // no digits after it
    EXPECT_EQ(dialWaitFromInit("ATS7=2x"), seconds(55));       // trailing junk dropped first
    EXPECT_EQ(dialWaitFromInit("ATS7=1234"), seconds(123));    // at most three digits
    EXPECT_EQ(dialWaitFromInit(""), seconds(60));
}

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

TEST(HeaderLine, SaysWhoSentItOnlyWhenKnown) {
    const std::string tail = sp(11) + "d" + sp(4) + "t" + sp(14) + "Page $P of $N";
    EXPECT_EQ(headerLine("Ann", "", "d", "t"), "Sent by: Ann" + sp(4) + tail);
    EXPECT_EQ(headerLine("", "", "d", "t"), "Sent" + tail);
    EXPECT_EQ(headerLine("Ann", "555 0100", "d", "t"), "Sent by: Ann" + sp(4) + sp(9) + "$I" + sp(10) + tail);
    // A fax number alone still says "by" and carries the station id tag.
    EXPECT_EQ(headerLine("", "555", "d", "t"), "Sent by" + sp(9) + "$I" + sp(10) + tail);
    // Blanks alone are nobody.
    EXPECT_EQ(headerLine(" ", "", "d", "t"), "Sent:  " + sp(4) + tail);
}

TEST(ConfigurationMemo, ListsTheSettingsAndOnlyTheSwitchesThatAreOn) {
    settings::Settings s;
    s.modem.comPort = 2;
    s.modem.faxClass = 3;
    s.modem.maximumBps = 14400;
    s.modem.initString = "ATS7=90";
    s.resetting.string = "ATZ";
    s.resetting.afterString = "ATH";
    s.user.fax = "555 0100";
    s.dialing.dialAttempts = 2;
    s.dialing.retryWait = 30;
    s.dialing.toneOrPulse = 1;
    EXPECT_THAT(configurationLines(s),
                ElementsAre("Communications Port: COM3", "Fax Class: Class 2.0", "Transfer Rate: 14400",
                            "Dialing with: Pulse", "Modem Init String :ATS7=90", "Modem Reset String :ATZ",
                            "Post Reset String :ATH", "Station ID (Fax #) :555 0100", "Dial Attempts :2",
                            "Retry in :30 seconds"));
    s.dialing.blindDial = s.dialing.ignoreBusy = s.dialing.ecm = true;
    s.modem.faxClass = 7;
    const auto lines = configurationLines(s);
    EXPECT_EQ(lines[1], "Fax Class: Autodetect");
    EXPECT_THAT(std::vector<std::string>(lines.end() - 3, lines.end()),
                ElementsAre("Blind Dial is ACTIVE", "Ignore Busy is ACTIVE", "Using Error Correction"));
}

TEST(ConfigureSender, TakesSettingsAndTheDialogsChoices) {
    settings::Settings s;
    s.modem.faxClass = 2;
    s.modem.maximumBps = 4800;
    s.modem.initString = "S7=90";
    s.modem.renegotiateBetween = true;
    s.dialing.ecm = true;
    s.dialing.ignoreBusy = true;
    s.dialing.toneOrPulse = 1;
    s.dialing.dialAttempts = 2;
    s.dialing.retryWait = 30;
    s.user.fax = "555 0100";
    DialChoices c;
    c.faxFile = "/tmp/PVN_1.APF";
    c.phoneNumber = "555 0200";
    c.dialPrefix = "9,";
    c.dialSuffix = "#12";
    c.header = "Sent";
    faxengine::TVelkSendFax fax;
    configureSender(fax, s, c);
    EXPECT_EQ(fax.PhoneNumber(), "555 0200#12");
    EXPECT_EQ(fax.DialPrefix(), "9,");
    EXPECT_EQ(fax.FaxFile(), "/tmp/PVN_1.APF");
    EXPECT_EQ(fax.CoverFile(), "");
    EXPECT_EQ(fax.FaxClass(), faxengine::TFaxClass::fcClass2);
    EXPECT_EQ(fax.DesiredBPS(), 4800);
    EXPECT_TRUE(fax.DesiredECM());
    EXPECT_FALSE(fax.DetectBusy());
    EXPECT_FALSE(fax.ToneDial());
    EXPECT_FALSE(fax.MPSEnabled());
    EXPECT_EQ(fax.DialAttempts(), 2);
    EXPECT_EQ(fax.DialRetryWait(), 30);
    EXPECT_EQ(fax.DialWait(), 90);
    EXPECT_EQ(fax.ModemInit(), "ATS7=90"); // the setting itself keeps its form
    EXPECT_EQ(s.modem.initString, "S7=90");
    EXPECT_EQ(fax.StationID(), "555 0100");
    EXPECT_EQ(fax.HeaderLine(), "Sent");

    c.disablePrefix = c.disableSuffix = true;
    s.modem.faxClass = 0;
    configureSender(fax, s, c);
    EXPECT_EQ(fax.PhoneNumber(), "555 0200");
    EXPECT_EQ(fax.DialPrefix(), "");
    EXPECT_EQ(fax.FaxClass(), faxengine::TFaxClass::fcDetect);
}

faxengine::FaxProgress progress(FaxStatus s, int page = 0) {
    faxengine::FaxProgress p;
    p.faxStatus = static_cast<int>(s);
    p.currentPage = page;
    p.pageCount = 2;
    return p;
}

TEST(CallJournal, TellsEachStepOnceInPlainWords) {
    CallJournal j;
    const auto t0 = CallJournal::Clock::now();
    j.begin("200", t0);
    j.status(progress(FaxStatus::Initializing), t0);
    j.status(progress(FaxStatus::Dialing), t0 + seconds(1));
    j.status(progress(FaxStatus::Dialing), t0 + seconds(2)); // the status repeats every second
    auto p = progress(FaxStatus::GotRemoteId);
    p.remoteId = "   +1 555 0200     ";
    j.status(p, t0 + seconds(9));
    p.faxStatus = static_cast<int>(FaxStatus::GettingParams);
    p.bps = 14400;
    p.fine = true;
    j.status(p, t0 + seconds(10));
    p.faxStatus = static_cast<int>(FaxStatus::SendingPage);
    p.currentPage = 1;
    j.status(p, t0 + seconds(12));
    p.faxStatus = static_cast<int>(FaxStatus::PageAccepted);
    j.status(p, t0 + seconds(20));
    p.faxStatus = static_cast<int>(FaxStatus::SendingPage);
    p.currentPage = 2;
    j.status(p, t0 + seconds(21));
    j.error(faximage::ec::TimeOut, t0 + seconds(75));
    j.finish(faximage::ec::TimeOut, t0 + seconds(76));
    EXPECT_THAT(j.lines(), ElementsAre("0:00  Preparing the modem for the fax", "0:01  Dialling 200",
                                       "0:09  Remote answered as \"+1 555 0200\"",
                                       "0:10  14400 bit/s (V.17) agreed, fine resolution, error correction off",
                                       "0:12  Sending page 1 of 2", "0:20  Page 1 sent and confirmed",
                                       "0:21  Sending page 2 of 2", "1:15  Error: Fatal time out",
                                       "1:16  The fax was not sent: Fatal time out"));
    // A new attempt starts a new list.
    j.begin("300", t0);
    auto redial = progress(FaxStatus::Dialing);
    j.status(redial, t0);
    j.status(progress(FaxStatus::BusyWait), t0 + seconds(3));
    redial.dialAttempt = 1;
    j.status(redial, t0 + seconds(33));
    EXPECT_THAT(j.lines(), ElementsAre("0:00  Dialling 300",
                                       HasSubstr("busy"), "0:33  Dialling 300 (attempt 2)"));
}

TEST(CallJournal, APageIsConfirmedWhenTheNextStartsOrTheFaxEndsWell) {
    CallJournal j;
    const auto t0 = CallJournal::Clock::now();
    j.begin("200", t0);
    // Page numbers in the notices run ahead of the data: the list counts pages itself.
    j.status(progress(FaxStatus::SendingPage, 1), t0);
    j.status(progress(FaxStatus::SendingPage, 2), t0 + seconds(1));
    j.status(progress(FaxStatus::SendingEop, 2), t0 + seconds(9));
    j.status(progress(FaxStatus::PageError, 2), t0 + seconds(10));
    j.status(progress(FaxStatus::SendingPage, 2), t0 + seconds(12));
    j.status(progress(FaxStatus::SendingEop, 2), t0 + seconds(20));
    j.status(progress(FaxStatus::SendingPage, 2), t0 + seconds(22));
    j.status(progress(FaxStatus::SendingEop, 2), t0 + seconds(30));
    j.finish(0, t0 + seconds(33));
    EXPECT_THAT(j.lines(),
                ElementsAre("0:00  Sending page 1 of 2", "0:09  Page 1 sent; waiting for the remote to confirm it",
                            HasSubstr("Page 1 was not received well"), "0:12  Sending page 1 of 2 again",
                            "0:20  Page 1 sent; waiting for the remote to confirm it",
                            "0:22  Page 1 sent and confirmed", "0:22  Sending page 2 of 2",
                            "0:30  Page 2 sent; waiting for the remote to confirm it",
                            "0:33  Page 2 sent and confirmed", "0:33  Fax sent: the call is over"));
    // After an error the winding-down statuses add nothing.
    j.begin("302", t0);
    j.error(faximage::ec::FaxNoDialTone, t0);
    j.status(progress(FaxStatus::Dialing), t0 + seconds(1));
    j.finish(faximage::ec::FaxNoDialTone, t0 + seconds(5));
    EXPECT_THAT(j.lines(), ElementsAre("0:00  Error: No dial tone", "0:05  The fax was not sent: No dial tone"));
}

TEST(CallJournal, SpeedsNameTheirModulationOnlyWhenItIsCertain) {
    EXPECT_EQ(speedText(14400), "14400 bit/s (V.17)");
    EXPECT_EQ(speedText(2400), "2400 bit/s (V.27 ter)");
    EXPECT_EQ(speedText(9600), "9600 bit/s");
}

TEST(VelkMeter, BlocksOfTheStatusWindowsMeter) {
    // 406 pixels, 10-pixel blocks: 40 whole blocks and 2 pixels at the end when full.
    EXPECT_EQ(meterBlocks(100, 0, 100, 10, 406), (MeterBlocks{40, true, 2}));
    EXPECT_EQ(meterBlocks(1, 0, 100, 10, 406), (MeterBlocks{1, false, 0}));
    EXPECT_EQ(meterBlocks(0, 0, 100, 10, 406), (MeterBlocks{}));
    EXPECT_EQ(meterBlocks(50, 0, 100, 10, 406), (MeterBlocks{21, false, 0}));
    // Degenerate set-ups show nothing instead of dividing by zero.
    EXPECT_EQ(meterBlocks(50, 0, 0, 10, 406), (MeterBlocks{}));
    EXPECT_EQ(meterBlocks(50, 0, 100, 0, 406), (MeterBlocks{}));
    EXPECT_EQ(meterBlocks(50, 0, 100, 10, 2), (MeterBlocks{}));
}

TEST(StatusTexts, TimesAndShortFileNames) {
    EXPECT_EQ(faxTimeText(60), "  1:00");
    EXPECT_EQ(faxTimeText(5), "  0:05");
    EXPECT_EQ(faxTimeText(3725), " 62:05");
    EXPECT_EQ(faxTimeText(-3), "  0:00");
    EXPECT_EQ(shortFileName("/home/u/.local/share/parvane/PVN_1.APF"), "PVN_1.APF");
    EXPECT_EQ(shortFileName("/x/abcdefghijklmnopqrstuvwxyz.APF"), "abcdefghijklmnopqrst...");
    EXPECT_EQ(shortFileName(""), "");
}

} // namespace
