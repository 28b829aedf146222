// The send windows offscreen, without a call: the Send command's refusals, an empty fax,
// a modem that never answers, and the status window driven by status notices.
#include "modal_helper.h"
#include "pty_modem.h"
#include "send_test_support.h"

#include "faxengine/fax_status.h"
#include "faxengine/receive_fax.h"
#include "workflow/send/fax_status_window.h"
#include "workflow/send/velk_meter.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

using namespace send_test;
using faxengine::FaxStatus;
using workflow::send::TSendFaxForm;
using workflow::send::TVelkFaxStatus;

class SendWindowTest : public QObject {
    Q_OBJECT
private slots:
    void receiveModeAndTheReceivedPageRefuseBeforeAnythingIsBuilt();
    void anEmptyFaxIsReportedAndTheRecordKept();
    void aSilentModemGivesTheErrorDialogWithinSeconds();
    void statusWindowShowsWhatTheNoticesSay();
    void statusWindowOfAReceiverHasNoMeter();
};

void SendWindowTest::receiveModeAndTheReceivedPageRefuseBeforeAnythingIsBuilt() {
    DataDir dir;
    dir.writeSettings(lineSettings());
    dir.addSentFax(twoPageFax("200"));
    Program p(dir.path());
    bool dialogSeen = false;
    p.window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        h.onDialogShown = [&](TSendFaxForm& d) {
            dialogSeen = true;
            d.CloseButtonClick();
        };
    });
    p.window.setReceiveMode(true);
    auto box = testing_support::answerNextBox(QMessageBox::Ok);
    p.window.SendButtonClick();
    QVERIFY(box->seen);
    QCOMPARE(box->text, QStringLiteral("You are in Fax Receive mode. You cannot send\nwhile in Fax Receive mode. "
                                       "Click the Stop button to end\nFax Receive mode"));
    QVERIFY(!dialogSeen);
    QCOMPARE(dir.filesStartingWith("PVN_"), 0);
    QCOMPARE(dir.filesStartingWith("Eraseme"), 0);

    p.window.setReceiveMode(false);
    p.window.setPage(app::LogPage::Received);
    box = testing_support::answerNextBox(QMessageBox::Ok);
    p.window.SendButtonClick();
    QCOMPARE(box->text, QStringLiteral("Please switch to the Outgoing Faxes tab\nand highlight a fax to send"));
    QVERIFY(!dialogSeen);
    QCOMPARE(dir.filesStartingWith("PVN_"), 0);
}

void SendWindowTest::anEmptyFaxIsReportedAndTheRecordKept() {
    DataDir dir;
    dir.writeSettings(lineSettings());
    dir.addSentFax({"Nobody", "Empty", "200", "", ""});
    Program p(dir.path());
    SeenMessages seen;
    bool dialogSeen = false;
    p.window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        recordMessages(h.services, seen);
        h.onDialogShown = [&](TSendFaxForm& d) {
            dialogSeen = true;
            d.CloseButtonClick();
        };
    });
    p.window.SendButtonClick();
    QCOMPARE(seen.information, QStringList({"Fax has no contents or cover sheet", "Error creating fax file"}));
    QVERIFY(!dialogSeen);
    QCOMPARE(p.sentField("PAGES"), std::string());
    QCOMPARE(p.sentField("LASTRESULT"), std::string());
    QCOMPARE(p.window.statusText(), QString());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void SendWindowTest::aSilentModemGivesTheErrorDialogWithinSeconds() {
    faxengine::test::PtyModem silent; // nothing behind it ever answers
    DataDir dir;
    dir.writeSettings(lineSettings(), {{1, silent.Path()}});
    dir.addSentFax(twoPageFax("200"));
    Program p(dir.path());
    silent.ReleaseSlave();

    QString caption, text;
    bool continueShown = false;
    qint64 shownAfterMs = -1;
    bool busyAfter = true;
    QString statusAfter = QStringLiteral("?");
    QElapsedTimer clock;
    p.window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        h.onDialogShown = [&](TSendFaxForm& d) {
            // The window's own error dialog, answered with OK (stop the session).
            onWindowNamed(
                "TShowErrorForm",
                [&](QWidget* w) {
                    shownAfterMs = clock.elapsed();
                    caption = w->windowTitle();
                    if (auto* memo = child<QPlainTextEdit>(w, "ErrorMemo"))
                        text = memo->toPlainText();
                    auto* cont = child<QPushButton>(w, "ContinueButton");
                    continueShown = cont && cont->isVisible();
                    if (auto* ok = child<QPushButton>(w, "OkButton"))
                        ok->click();
                },
                20000);
            clock.start();
            d.SendFaxButtonClick();
            busyAfter = d.busy();
            statusAfter = d.statusText();
            d.CloseButtonClick();
        };
    });
    p.window.SendButtonClick();
    QCOMPARE(caption, QStringLiteral("No Response From Modem"));
    QVERIFY2(shownAfterMs >= 0 && shownAfterMs < 8000, qPrintable(QString::number(shownAfterMs)));
    QVERIFY(text.startsWith(QStringLiteral("We did not receive a modem response from COM1.")));
    QVERIFY(text.contains(QStringLiteral("If you are sure there is a modem on COM1, press CONTINUE")));
    QVERIFY(continueShown);
    QVERIFY(!busyAfter);
    QCOMPARE(statusAfter, QString());
    // Nothing was tried: the record keeps its result, the fax file is gone.
    QCOMPARE(p.sentField("SENT"), std::string("F"));
    QCOMPARE(p.sentField("LASTRESULT"), std::string());
    QCOMPARE(p.sentField("PAGES"), std::string("2"));
    QCOMPARE(dir.filesStartingWith("PVN_"), 0);
    // The port was let go: another program may open the modem now.
    faxengine::TVelkComPort again;
    again.SetDevicePath(silent.Path());
    again.SetAutoOpen(false);
    again.SetOpen(true);
    QVERIFY(again.Open());
}

namespace {

faxengine::FaxNotice statusNotice(int param, FaxStatus status) {
    faxengine::FaxNotice n;
    n.kind = faxengine::FaxNoticeKind::Status;
    n.param = param;
    n.progress.faxStatus = static_cast<int>(status);
    return n;
}

} // namespace

void SendWindowTest::statusWindowShowsWhatTheNoticesSay() {
    faxengine::TVelkSendFax fax;
    TVelkFaxStatus status(nullptr);
    fax.SetStatusDisplay(&status);
    fax.SetPhoneNumber("555 0200#12");
    fax.SetFaxFile("/data/PVN_1.APF");
    fax.SetDialRetryWait(60);

    fax.Notices().post(statusNotice(1, FaxStatus::Dialing));
    fax.Notices().pump();
    auto* display = status.Display();
    QVERIFY(display && display->isVisible());
    QCOMPARE(display->windowTitle(), QStringLiteral("Fax Status"));
    QCOMPARE(display->value("fsPhoneNumber"), QStringLiteral("555 0200#12"));
    QCOMPARE(display->value("fsFaxFileName"), QStringLiteral("PVN_1.APF"));
    QCOMPARE(display->value("fsDialAttempt"), QStringLiteral("1"));
    QCOMPARE(display->value("fsStatusMsg"), QStringLiteral("Dialing"));
    QCOMPARE(display->value("fsCurrentPage"), QStringLiteral("<cover page>"));
    QCOMPARE(display->value("fsElapsedTime"), QStringLiteral("00:00"));

    // Busy: the message and the redial countdown right after it.
    auto busy = statusNotice(0, FaxStatus::BusyWait);
    fax.Notices().post(busy);
    fax.Notices().pump();
    QCOMPARE(display->value("fsStatusMsg"), QStringLiteral("Busy, waiting until redial...  1:00"));

    auto page = statusNotice(0, FaxStatus::SendingPage);
    page.progress.remoteId = "         +1 555 0200";
    page.progress.bps = 14400;
    page.progress.fine = true;
    page.progress.currentPage = 2;
    page.progress.pageCount = 3;
    page.progress.pageLength = 2000;
    page.progress.pageBytes = 1010;
    fax.Notices().post(page);
    fax.Notices().pump();
    QCOMPARE(display->value("fsStatusMsg"), QStringLiteral("Sending page data"));
    QCOMPARE(display->value("fsRemoteID"), QStringLiteral("+1 555 0200"));
    QCOMPARE(display->value("fsConnectBPS"), QStringLiteral("14400"));
    QCOMPARE(display->value("fsResolution"), QStringLiteral("high"));
    QCOMPARE(display->value("fsWidth"), QStringLiteral("1728"));
    QCOMPARE(display->value("fsErrorControl"), QStringLiteral("off"));
    QCOMPARE(display->value("fsCurrentPage"), QStringLiteral("2"));
    QCOMPARE(display->value("fsTotalPages"), QStringLiteral("3"));
    QCOMPARE(display->value("fsBytesTransferred"), QStringLiteral("1010"));
    QCOMPARE(display->value("fsElapsedTime"), QStringLiteral("  0:00")); // connected: the timer runs
    QCOMPARE(display->meter()->Position(), 51); // 50.5 % rounds up
    QCOMPARE(display->meter()->width(), 406);
    QCOMPARE(display->meter()->Blocks().whole, 21);

    // A page of length 0 shows an empty meter instead of dividing by it.
    page.progress.pageLength = 0;
    fax.Notices().post(page);
    fax.Notices().pump();
    QCOMPARE(display->meter()->Position(), 0);

    fax.Notices().post(statusNotice(2, FaxStatus::Finished));
    fax.Notices().pump();
    QVERIFY(!display->isVisible());
}

void SendWindowTest::statusWindowOfAReceiverHasNoMeter() {
    faxengine::TVelkReceiveFax fax;
    TVelkFaxStatus status(nullptr);
    fax.SetStatusDisplay(&status);
    fax.Notices().post(statusNotice(1, FaxStatus::GettingPage));
    fax.Notices().pump();
    auto* display = status.Display();
    QVERIFY(display);
    QCOMPARE(display->value("fsPhoneNumber"), QString());
    QCOMPARE(display->value("fsDialAttempt"), QStringLiteral("1"));
    QCOMPARE(display->value("fsLabel19"), QStringLiteral("Page progress: N/A"));
    QVERIFY(!display->meter()->isVisible());
}

QTEST_MAIN(SendWindowTest)
#include "send_window_test.moc"
