// One send dialog through the virtual line: a busy number, a line without dial tone and a
// call cancelled while dialling, then the two-page fax goes through in the same dialog.
// The far end's pages must equal the rendered ones, read back as the typed words, and the
// record must say it was sent.
#include "send_call_support.h"
#include "faxengine/call_report.h"

#include <QDate>
#include <QProcess>
#include <QTime>
#include <QtTest>

using namespace send_test;
using faxengine::FaxStatus;
using workflow::send::TSendFaxForm;
namespace ec = faxengine::ec;
namespace lt = faxengine::linetest;

class SendSuccessCallTest : public QObject {
    Q_OBJECT
private slots:
    void RealCallFailuresThenTheFaxGoesThrough();
};

void SendSuccessCallTest::RealCallFailuresThenTheFaxGoesThrough() {
    LineProgram lp(lineSettings(), twoPageFax("300"));
    QVERIFY2(lp.ok, "the virtual line did not start");
    Program& p = *lp.program;
    const std::filesystem::path keptApf = lp.dir.path() / "sent-copy.apf";

    SeenMessages seen;
    Attempt busy, noDialTone, cancelled, sent;
    QString shownNumber;
    QString reportFile;
    bool reportButtonShown = false;
    p.window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        recordMessages(h.services, seen);
        h.onDialogShown = [&](TSendFaxForm& d) {
            std::filesystem::copy_file(d.faxFile().toStdString(), keptApf);
            shownNumber = child<QLineEdit>(&d, "sfPhoneNumber")->text();
            busy = runAttempt(d, seen, "300");
            noDialTone = runAttempt(d, seen, "302");
            cancelled = runAttempt(d, seen, "200", [](TSendFaxForm& d) {
                if (waitForStatus(d, FaxStatus::Dialing, 30000) && statusCancel(d))
                    statusCancel(d)->click();
            });
            sent = runAttempt(d, seen, "200", [](TSendFaxForm& d) {
                if (waitForStatus(d, FaxStatus::SendingPage, 60000,
                                  [&d] { return d.sender().BytesTransferred() > 0; }))
                    screenshot(d, "status-window-mid-call");
            });
            reportFile = d.callReportFile();
            reportButtonShown = child<QPushButton>(&d, "CallReportButton")->isVisible();
            screenshot(d, "send-dialog-after-call");
            d.CloseButtonClick();
        };
    });
    p.window.SendButtonClick();
    QCOMPARE(shownNumber, QStringLiteral("300"));

    // Busy: the failure names the cause, and the dialog took the next attempt.
    QVERIFY(busy.finished);
    QCOMPARE(busy.errorCodes, QList<int>{ec::FaxBusy});
    QCOMPARE(busy.result, QStringLiteral("Called fax number was busy"));
    QVERIFY(busy.errorTexts.value(0).contains(QStringLiteral("Error message: Called fax number was busy")));
    qInfo("busy %lld ms:\n%s", busy.ms, qPrintable(joined(busy.steps)));
    qInfo("no dial tone %lld ms:\n%s", noDialTone.ms, qPrintable(joined(noDialTone.steps)));
    QVERIFY(noDialTone.finished);
    QCOMPARE(noDialTone.errorCodes, QList<int>{ec::FaxNoDialTone});
    QCOMPARE(noDialTone.result, QStringLiteral("No dial tone"));
    QVERIFY2(noDialTone.ms < 60000, qPrintable(joined(noDialTone.steps)));

    QVERIFY(cancelled.finished);
    QCOMPARE(cancelled.errorCodes.size(), 1);
    QVERIFY(cancelled.errorCodes[0] != 0);
    QVERIFY2(cancelled.ms < 30000, qPrintable(joined(cancelled.steps)));
    QVERIFY2(joined(cancelled.steps).contains(QStringLiteral("Cancel")), qPrintable(joined(cancelled.steps)));

    QVERIFY(sent.finished);
    QVERIFY2(sent.errorCodes.isEmpty(), qPrintable(sent.errorTexts.join(" | ") + "\n" + joined(sent.steps)));
    QCOMPARE(sent.information, QStringList{"Fax sent successfully"});
    QCOMPARE(sent.result, QStringLiteral("Sent"));
    const QString steps = joined(sent.steps);
    QVERIFY2(steps.contains(QStringLiteral("Dialling 200")), qPrintable(steps));
    QVERIFY2(steps.contains(QStringLiteral("Remote answered as \"+1 555 0200\"")), qPrintable(steps));
    QVERIFY2(steps.contains(QStringLiteral("14400 bit/s (V.17) agreed")), qPrintable(steps));
    QVERIFY2(steps.contains(QStringLiteral("Page 2 sent and confirmed")), qPrintable(steps));
    QVERIFY(sent.stepsShownInDialog);

    // The last attempt's call report is kept beside the log and read back as a good call.
    QVERIFY(reportButtonShown);
    const auto report = faxengine::readCallReportFile(reportFile.toStdString());
    QVERIFY2(report.has_value(), qPrintable(reportFile));
    QCOMPARE(report->cause, faxengine::CallCause::Sent);
    QCOMPARE(report->pages.size(), std::size_t(2));
    QVERIFY(report->pages[1].confirmed);

    // The record: sent today, two pages, the result and the number last dialled.
    QCOMPARE(p.sentField("SENT"), std::string("T"));
    QCOMPARE(QString::fromStdString(p.sentField("DATESENT")), QDate::currentDate().toString("yyyyMMdd"));
    const QTime at = QTime::fromString(QString::fromStdString(p.sentField("TIMESENT")), "hh:mm");
    QVERIFY(at.isValid());
    QVERIFY(std::abs(at.secsTo(QTime::currentTime())) < 600 || at.hour() == 23);
    QCOMPARE(p.sentField("PAGES"), std::string("2"));
    QCOMPARE(p.sentField("LASTRESULT"), std::string("Sent"));
    QCOMPARE(p.sentField("PHONE"), std::string("200"));
    QCOMPARE(lp.dir.filesStartingWith("PVN_"), 0);

    // The far end's pages are the rendered pages below the header line.
    std::string farEnd;
    QVERIFY(waitFor(
        [&] {
            for (const auto& line : lineResults(lp.logDir))
                if (lt::resultField(line, "number") == "200" && lt::resultField(line, "result") == "0")
                    farEnd = lt::resultField(line, "file");
            return !farEnd.empty();
        },
        10000));
    QCOMPARE(lt::tiffPageCount(farEnd), 2);
    for (int page = 0; page < 2; ++page) {
        const lt::Page got = lt::decodeTiff(farEnd, page);
        const lt::Page rendered = lt::decodeApf(keptApf, page + 1);
        QVERIFY(got.rows.size() > rendered.rows.size());
        const std::size_t header = got.rows.size() - rendered.rows.size();
        QCOMPARE(lt::differingRows(rendered, got, header), 0);
    }

    // And a reader nobody here wrote finds the cover's and the body's words on the pages
    // the far end received.
    QProcess ocr;
    ocr.start(QStringLiteral("tesseract"), {QString::fromStdString(farEnd), QStringLiteral("-"),
                                            QStringLiteral("--psm"), QStringLiteral("4")});
    QVERIFY2(ocr.waitForFinished(120000) && ocr.exitCode() == 0,
             "tesseract did not read the far end's TIFF (is tesseract-ocr installed?)");
    const QString text = QString::fromUtf8(ocr.readAllStandardOutput()).simplified();
    for (const char* words : {"Fax cover sheet", "To: Anna Berg", "Subject: Quarterly report",
                              "The quarterly report follows."})
        QVERIFY2(text.contains(QLatin1String(words)), qPrintable(QStringLiteral("read: ") + text));
}

QTEST_MAIN(SendSuccessCallTest)
#include "send_success_call_test.moc"
