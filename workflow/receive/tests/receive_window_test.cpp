// Receive mode offscreen without a call: ports that fail in each way a start can fail,
// a start and stop on a modem that never answers, the notice window, the notes editor
// and the call report button of the error dialog.
#include "modal_helper.h"
#include "pty_modem.h"
#include "send_test_support.h"

#include "show_error_form.h"
#include "workflow/receive/call_report_button.h"
#include "workflow/receive/edit_receive_notes.h"
#include "workflow/receive/receive_mode.h"
#include "workflow/receive/starting_fax_form.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace send_test;
using workflow::receive::ReceiveHooks;
using workflow::receive::ReceiveMode;

namespace {

struct SeenError {
    QString caption;
    QString text;
    int code = 0;
    bool withContinue = false;
};

// Records the error dialogs instead of showing them; `answerContinue` is the answer.
void recordErrors(app::TMainScreen& w, QList<SeenError>& seen, bool answerContinue = false) {
    w.setReceiveHook([&seen, answerContinue](ReceiveHooks& h) {
        h.showError = [&seen, answerContinue](QWidget*, const QString& caption, const QString& text, int code,
                                              bool withContinue, const std::function<void(QWidget*)>&) {
            seen.append({caption, text, code, withContinue});
            return withContinue && answerContinue;
        };
    });
}

// Receive mode is off and nothing of it is left open.
void expectOffAndClosed(Program& p) {
    QVERIFY(!p.window.receiveMode());
    ReceiveMode* rx = p.window.receiveWorkflow();
    QVERIFY(rx);
    QVERIFY(!rx->on());
    QVERIFY(!rx->portOpen());
    QVERIFY(rx->receiver() == nullptr);
    QVERIFY(!rx->noticeWindow()->isVisible());
    QCOMPARE(child<QPushButton>(&p.window, "ReceiveButton")->text(), QStringLiteral("&Receive"));
    QCOMPARE(p.window.statusText(), QString());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(rx->trayState(), workflow::receive::TrayState::Off);
}

void expectDeviceFree(const std::string& path) {
    faxengine::TVelkComPort again;
    again.SetDevicePath(path);
    again.SetAutoOpen(false);
    again.SetOpen(true);
    QVERIFY(again.Open());
    again.SetOpen(false);
}

} // namespace

class ReceiveWindowTest : public QObject {
    Q_OBJECT
private slots:
    void aPortThatDoesNotOpenIsReportedAndReceiveModeStaysOff();
    void aSilentModemIsReportedAndOkStopsTheStart();
    void continueOnASilentModemStartsAndStopLetsThePortGo();
    void aResetStringAnsweredWithErrorIsReported();
    void aModemThatGoesAwayEndsReceiveMode();
    void noticeWindowGoesOnClickAndOnOk();
    void notesEditorWritesTheNoteOfTheRecordShown();
    void callReportButtonSitsBesideOkAndKeepsTheDialogOpen();
};

void ReceiveWindowTest::aPortThatDoesNotOpenIsReportedAndReceiveModeStaysOff() {
    DataDir dir;
    dir.writeSettings(lineSettings(), {{1, "/nonexistent/ttyParvane"}});
    Program p(dir.path());
    QList<SeenError> seen;
    recordErrors(p.window, seen);
    p.window.ReceiveButtonClick();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].caption, QStringLiteral("Error Opening Communications Port"));
    QVERIFY(seen[0].text.endsWith(QStringLiteral("\r\n\r\nIs the Communications Port (COM1) correct? Please\r\n"
                                                 "click on the Find Modem button in Preferences to be sure.")));
    QCOMPARE(seen[0].code, -1);
    QVERIFY(!seen[0].withContinue);
    expectOffAndClosed(p);
    // The command switched to the Received page on its way.
    QCOMPARE(p.window.page(), app::LogPage::Received);
}

void ReceiveWindowTest::aSilentModemIsReportedAndOkStopsTheStart() {
    faxengine::test::PtyModem silent;
    DataDir dir;
    dir.writeSettings(lineSettings(), {{1, silent.Path()}});
    Program p(dir.path());
    silent.ReleaseSlave();
    QList<SeenError> seen;
    recordErrors(p.window, seen, false);
    QElapsedTimer clock;
    clock.start();
    p.window.ReceiveButtonClick();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].caption, QStringLiteral("No Response From Modem"));
    QVERIFY(seen[0].text.startsWith(QStringLiteral("We did not receive a modem response from COM1.")));
    QVERIFY(seen[0].withContinue);
    expectOffAndClosed(p);
    expectDeviceFree(silent.Path());
}

void ReceiveWindowTest::continueOnASilentModemStartsAndStopLetsThePortGo() {
    // Silent to the check, then answering everything: the receiver stays up waiting.
    faxengine::test::PtyModem silent;
    silent.Script([n = std::make_shared<int>(0)](const std::string&) {
        return (*n)++ == 0 ? std::string() : std::string("\r\nOK\r\n");
    });
    DataDir dir;
    dir.writeSettings(lineSettings(), {{1, silent.Path()}});
    Program p(dir.path());
    silent.ReleaseSlave();
    QList<SeenError> seen;
    recordErrors(p.window, seen, true);
    p.window.ReceiveButtonClick();
    QCOMPARE(seen.size(), 1);
    ReceiveMode* rx = p.window.receiveWorkflow();
    QVERIFY(p.window.receiveMode());
    QVERIFY(rx->on() && rx->portOpen() && rx->receiver());
    auto* button = child<QPushButton>(&p.window, "ReceiveButton");
    QCOMPARE(button->text(), QStringLiteral("STOP"));
    QCOMPARE(button->toolTip(), QStringLiteral("Stop receiving faxes"));
    QVERIFY(rx->noticeWindow()->isVisible());
    QVERIFY(rx->noticeWindow()->readyShown());
    QCOMPARE(rx->trayToolTip(), QStringLiteral("Parvane - waiting for faxes"));
    QVERIFY(!p.window.commandStates().receiveMenu);
    // Guarded commands refuse while it is on.
    auto box = testing_support::answerNextBox(QMessageBox::Ok);
    p.window.mnuPreferencesClick();
    QVERIFY(box->seen);
    QVERIFY(box->text.startsWith(QStringLiteral("You are in Fax Receive mode.")));

    p.window.ReceiveButtonClick();
    expectOffAndClosed(p);
    QCOMPARE(button->toolTip(), QStringLiteral("Start receiving faxes"));
    QVERIFY(p.window.commandStates().receiveMenu);
    silent.Stop();
    expectDeviceFree(silent.Path());
}

void ReceiveWindowTest::aResetStringAnsweredWithErrorIsReported() {
    faxengine::test::PtyModem modem;
    modem.Script([](const std::string& line) {
        return line.find("ATZ9") != std::string::npos ? std::string("\r\nERROR\r\n") : std::string("\r\nOK\r\n");
    });
    settings::Settings s = lineSettings();
    s.resetting.string = "ATZ9";
    DataDir dir;
    dir.writeSettings(s, {{1, modem.Path()}});
    Program p(dir.path());
    modem.ReleaseSlave();
    QList<SeenError> seen;
    recordErrors(p.window, seen);
    p.window.ReceiveButtonClick();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0].caption, QStringLiteral("Unable to Continue"));
    QVERIFY(seen[0].text.contains(QStringLiteral("The modem did not respond to the reset string:   (ATZ9)")));
    expectOffAndClosed(p);
    modem.Stop();
    expectDeviceFree(modem.Path());
}

void ReceiveWindowTest::aModemThatGoesAwayEndsReceiveMode() {
    faxengine::test::PtyModem modem;
    modem.Script([](const std::string&) { return std::string("\r\nOK\r\n"); });
    DataDir dir;
    dir.writeSettings(lineSettings(), {{1, modem.Path()}});
    Program p(dir.path());
    modem.ReleaseSlave();
    QList<SeenError> seen;
    recordErrors(p.window, seen, true);
    p.window.ReceiveButtonClick();
    QVERIFY(p.window.receiveMode());
    modem.CloseMaster(); // the device is gone
    QVERIFY(waitFor([&] { return !p.window.receiveMode(); }, 20000));
    QVERIFY(p.window.statusText().startsWith(QStringLiteral("Receive mode ended: ")));
    ReceiveMode* rx = p.window.receiveWorkflow();
    QVERIFY(!rx->portOpen() && rx->receiver() == nullptr);
    QCOMPARE(child<QPushButton>(&p.window, "ReceiveButton")->text(), QStringLiteral("&Receive"));
}

void ReceiveWindowTest::noticeWindowGoesOnClickAndOnOk() {
    workflow::receive::TStartingFaxForm notice;
    QCOMPARE(notice.windowTitle(), QStringLiteral("Starting Receive mode..."));
    notice.showStarting();
    notice.show();
    QVERIFY(!child<QPushButton>(&notice, "okbutton")->isVisible());
    auto* label = child<QWidget>(&notice, "StartingPanel")->findChild<QLabel*>();
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Please wait while fax receive mode is started....."));
    QTest::mouseClick(label, Qt::LeftButton);
    QVERIFY(!notice.isVisible());

    notice.showReady();
    notice.show();
    QVERIFY(notice.readyShown());
    QStringList lines;
    for (auto* l : child<QWidget>(&notice, "ReadyPanel")->findChildren<QLabel*>())
        lines << l->text();
    QCOMPARE(lines, QStringList({"Parvane is in receive mode now", "To end receive mode, press the STOP button",
                                 "While in receive mode, sending faxes is not possible"}));
    child<QPushButton>(&notice, "okbutton")->click();
    QVERIFY(!notice.isVisible());
}

void ReceiveWindowTest::notesEditorWritesTheNoteOfTheRecordShown() {
    DataDir dir;
    dir.writeSettings(lineSettings());
    {
        app::LogDatabase db(dir.path());
        auto table = db.open(app::LogKind::Received);
        QVERIFY(table && table->engineTable());
        faxlog::appendReceivedFax(*table->engineTable(), "+1 555 0201", 3, "FAX0001.APF");
        table->engineTable()->replace("NOTES", "old note");
        table->engineTable()->commit();
    }
    Program p(dir.path());
    p.window.setPage(app::LogPage::Received);
    p.window.applyCommandRules();
    QString description, before;
    int maxLength = 0;
    testing_support::onNextModal([&](QWidget* w) {
        description = child<QLabel>(w, "Descript")->text();
        auto* notes = child<QLineEdit>(w, "Notes");
        before = notes->text();
        maxLength = notes->maxLength();
        notes->setText(QStringLiteral("Checked by Anna, ß ok"));
        child<QPushButton>(w, "OKButton")->click();
    });
    p.window.EditButtonClick();
    QCOMPARE(description, QStringLiteral("From: +1 555 0201"));
    QCOMPARE(before, QStringLiteral("old note"));
    QCOMPARE(maxLength, 60);
    QCOMPARE(QString::fromStdString(p.window.receivedTable()->currentField("NOTES")),
             QStringLiteral("Checked by Anna, ß ok"));

    testing_support::onNextModal([&](QWidget* w) {
        child<QLineEdit>(w, "Notes")->setText(QStringLiteral("thrown away"));
        child<QPushButton>(w, "Cancelbutton")->click();
    });
    p.window.EditButtonClick();
    QCOMPARE(QString::fromStdString(p.window.receivedTable()->currentField("NOTES")),
             QStringLiteral("Checked by Anna, ß ok"));
}

void ReceiveWindowTest::callReportButtonSitsBesideOkAndKeepsTheDialogOpen() {
    app::TShowErrorForm form(QStringLiteral("Failed To Receive Incoming Fax"), QStringLiteral("text"), false, true);
    QWidget* reportParent = nullptr;
    QPushButton* button =
        workflow::receive::addCallReportButton(form, [&reportParent](QWidget* parent) { reportParent = parent; });
    auto* ok = child<QPushButton>(&form, "OkButton");
    QVERIFY(ok && button);
    QCOMPARE(button->text(), QStringLiteral("Call report..."));
    QCOMPARE(button->parentWidget(), ok->parentWidget());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(button->y(), ok->y()); // the same row
    button->click();
    QCOMPARE(reportParent, static_cast<QWidget*>(&form));
    QVERIFY(form.isVisible());
}

QTEST_MAIN(ReceiveWindowTest)
#include "receive_window_test.moc"
