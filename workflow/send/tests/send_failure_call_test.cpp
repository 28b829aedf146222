// One send dialog through the virtual line where nothing gets through: a number that
// rings without an answer, a far end that hangs up in the middle of the first page, and
// a call cancelled during page data (Close is refused while it runs). The record keeps
// SENT false and tells the last cause; PHONE gets the number without the dial suffix.
#include "send_call_support.h"

#include <QtTest>

using namespace send_test;
using faxengine::FaxStatus;
using workflow::send::TSendFaxForm;

class SendFailureCallTest : public QObject {
    Q_OBJECT
private slots:
    void RealCallFailuresLeaveTheFaxUnsent();
};

void SendFailureCallTest::RealCallFailuresLeaveTheFaxUnsent() {
    settings::Settings s = lineSettings();
    s.dialing.dialSuffix = ","; // a pause after the number: dialled, but not stored
    LineProgram lp(s, twoPageFax("301"));
    QVERIFY2(lp.ok, "the virtual line did not start");
    Program& p = *lp.program;

    SeenMessages seen;
    Attempt noAnswer, cutOff, cancelled;
    bool closeRefused = false;
    int beepsWhileBusy = 0;
    QString dialledWithSuffix;
    p.window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        recordMessages(h.services, seen);
        h.onDialogShown = [&](TSendFaxForm& d) {
            noAnswer = runAttempt(d, seen, "301");
            dialledWithSuffix = QString::fromStdString(d.sender().PhoneNumber());
            cutOff = runAttempt(d, seen, "304");
            cancelled = runAttempt(d, seen, "200", [&](TSendFaxForm& d) {
                if (!waitForStatus(d, FaxStatus::SendingPage, 60000,
                                   [&d] { return d.sender().BytesTransferred() > 0; }))
                    return;
                d.CloseButtonClick();
                closeRefused = d.isVisible() && d.busy();
                beepsWhileBusy = seen.beeps;
                if (auto* cancel = statusCancel(d))
                    cancel->click();
            });
            d.CloseButtonClick();
        };
    });
    p.window.SendButtonClick();

    qInfo("no answer %lld ms:\n%s", noAnswer.ms, qPrintable(joined(noAnswer.steps)));
    qInfo("cut off %lld ms:\n%s", cutOff.ms, qPrintable(joined(cutOff.steps)));
    qInfo("cancelled %lld ms:\n%s", cancelled.ms, qPrintable(joined(cancelled.steps)));
    QCOMPARE(dialledWithSuffix, QStringLiteral("301,"));
    for (const Attempt* a : {&noAnswer, &cutOff, &cancelled}) {
        QVERIFY(a->finished);
        QCOMPARE(a->errorCodes.size(), 1);
        QVERIFY(a->errorCodes[0] != 0);
        QVERIFY(a->information.isEmpty());
        QCOMPARE(a->result, QString::fromStdString(faxengine::errorText(a->errorCodes[0])));
        QVERIFY(a->errorTexts[0].startsWith(
            QStringLiteral("We have received an error message while trying to send the fax\r\n\r\nError message: ") +
            a->result));
        QVERIFY(a->stepsShownInDialog);
    }
    // A number that only rings is reported as not answering, not as busy.
    QCOMPARE(noAnswer.result, QStringLiteral("Remote fax did not answer"));
    // Each failure shows how far the call got.
    QVERIFY2(!joined(noAnswer.steps).contains(QStringLiteral("Remote answered")), qPrintable(joined(noAnswer.steps)));
    QVERIFY2(joined(cutOff.steps).contains(QStringLiteral("Remote answered")), qPrintable(joined(cutOff.steps)));
    QVERIFY2(!joined(cutOff.steps).contains(QStringLiteral("confirmed")), qPrintable(joined(cutOff.steps)));
    QVERIFY2(joined(cancelled.steps).contains(QStringLiteral("Cancel")), qPrintable(joined(cancelled.steps)));
    QVERIFY(closeRefused);
    QCOMPARE(beepsWhileBusy, 1);

    QCOMPARE(p.sentField("SENT"), std::string("F"));
    QCOMPARE(QString::fromStdString(p.sentField("LASTRESULT")), cancelled.result);
    QCOMPARE(p.sentField("DATESENT"), std::string());
    QCOMPARE(p.sentField("PAGES"), std::string("2"));
    QCOMPARE(p.sentField("PHONE"), std::string("200"));
    QCOMPARE(lp.dir.filesStartingWith("PVN_"), 0);
    // The dialog's choices were kept.
    QCOMPARE(settings::current().dialing.dialSuffix, std::string(","));
}

QTEST_MAIN(SendFailureCallTest)
#include "send_failure_call_test.moc"
