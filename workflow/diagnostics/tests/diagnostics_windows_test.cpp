// The diagnostics windows offscreen: the problem solver's tree and texts, the init string
// helper, the configuration report and the call report.
#include "workflow/diagnostics/call_report_window.h"
#include "workflow/diagnostics/configuration_info.h"
#include "workflow/diagnostics/configuration_report.h"
#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/diagnostics/find_modem_form.h"
#include "workflow/diagnostics/init_string_helper_form.h"
#include "workflow/diagnostics/problem_solver_dialog.h"
#include "workflow/diagnostics/problem_solver_topics.h"

#include "base/ini_file.h"
#include "faxengine/engine_errors.h"
#include "vline_launcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <fstream>

using namespace diagnostics;

class DiagnosticsWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void problemSolverOpensAtTheErrorsTopic();
    void problemSolverComposesTopicsAndHidesGroups();
    void initStringHelperFollowsTheDirection();
    void configurationReportListsPortsDevicesAndModem();
    void callReportWindowPointsToTheCausesTopic();
    void cliReportNamesTheCause();
    void findModemOffersToRememberAFoundDevice();
};

namespace {
settings::Settings someSettings() {
    settings::Settings s;
    s.modem.comPort = 2;
    s.user.fax = "555-1212";
    return s;
}
} // namespace

void DiagnosticsWindowsTest::problemSolverOpensAtTheErrorsTopic() {
    // −8061 while receiving leads to topic 19; while sending to 0.
    for (const bool sending : {false, true}) {
        const int topic = topicForError(faximage::ec::FaxBadModemResult, sending);
        TFaxProblemSolverDialog d(topic, someSettings);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.currentTopic(), sending ? 0 : 19);
        QVERIFY(d.solutionsPageShown());
        QVERIFY(d.currentTitle().contains(sending ? QStringLiteral("sending") : QStringLiteral("receiving")));
        const QString text = d.solutionText();
        QVERIFY2(text.contains(d.currentTitle()), qPrintable(text)); // %TITLE% filled in
        QVERIFY(!text.contains(QStringLiteral("%TITLE%")));
        QVERIFY(text.contains(sending ? QStringLiteral("Configuration for Fax Sending")
                                      : QStringLiteral("Configuration for Fax Receiving")));
    }
    // No topic (255) and −1 both open at the first node: the analysis of the settings.
    for (const int topic : {kNoTopic, kTopicNone}) {
        TFaxProblemSolverDialog d(topic, someSettings);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.currentTopic(), kTopicConfiguration);
        QVERIFY(d.solutionText().contains(QStringLiteral("Your Fax Number (Station ID) is 555-1212.")));
        QVERIFY(d.solutionText().contains(QStringLiteral("COM3")));
    }
}

void DiagnosticsWindowsTest::problemSolverComposesTopicsAndHidesGroups() {
    // Every node of the tree with a topic has a text of its own.
    std::function<void(const std::vector<TopicNode>&)> walk = [&](const std::vector<TopicNode>& nodes) {
        for (const auto& n : nodes) {
            if (n.topic >= 0)
                QVERIFY2(!composeTopic(n.topic, n.title, someSettings()).trimmed().isEmpty(), qPrintable(n.title));
            walk(n.children);
        }
    };
    walk(topicTree());
    const QString noAnswer = composeTopic(kTopicNoAnswer, QStringLiteral("X"), someSettings());
    QVERIFY(noAnswer.contains(QStringLiteral("Make a voice call to the receiving fax")));
    QVERIFY(composeTopic(kTopicGeneralReceiving, QStringLiteral("X"), someSettings())
                .contains(QStringLiteral("Configuration for Fax Receiving")));
    QVERIFY(composeTopic(kTopicTechSupport, QStringLiteral("X"), someSettings()).contains(QStringLiteral("Configuration Report")));

    TFaxProblemSolverDialog d(kTopicPortInUse, someSettings);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.currentTopic(), kTopicPortInUse);
    d.copyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), d.solutionText());
    // Printed into a PDF: the job carries the topic's title.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("topic.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    d.printOn(printer);
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.waitForFinished(10000) && info.exitCode() == 0, "pdfinfo (poppler-utils) must be installed");
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(infoText.contains(QRegularExpression(QStringLiteral("Title:\\s+Port in use\n"))), qPrintable(infoText));
    QVERIFY(infoText.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\n"))));

    QTreeWidgetItem* group = d.tree()->topLevelItem(3);
    QCOMPARE(group->text(0), QStringLiteral("Error Messages"));
    d.tree()->setCurrentItem(group);
    QVERIFY(!d.solutionsPageShown());
    d.printSolution(); // nothing to print: no dialog comes up
}

void DiagnosticsWindowsTest::initStringHelperFollowsTheDirection() {
    TModemInitStringHelperForm receiving("AT&H3&I2&R2S7=120S36=8", false);
    receiving.show();
    QVERIFY(QTest::qWaitForWindowExposed(&receiving));
    QVERIFY(!receiving.longWaitBox()->isVisible());
    QCOMPARE(receiving.modemType(), 3);
    QCOMPARE(receiving.resultFor(QDialog::Accepted), std::string("AT&H3&I2&R2S7=65S36=8"));
    QCOMPARE(receiving.resultFor(QDialog::Rejected), std::string("AT&H3&I2&R2S7=120S36=8"));
    QCOMPARE(receiving.resultFor(TModemInitStringHelperForm::kBlankResult), std::string());

    TModemInitStringHelperForm sending("AT&H3&I2&R2S7=120S36=8", true);
    sending.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sending));
    QVERIFY(sending.longWaitBox()->isVisible());
    QVERIFY(sending.longWaitBox()->isChecked());
    QTest::mouseClick(sending.longWaitLabel(), Qt::LeftButton); // the label toggles the box
    QVERIFY(!sending.longWaitBox()->isChecked());
    QCOMPARE(sending.resultFor(QDialog::Accepted), std::string("AT&H3&I2&R2S7=90S36=8"));
}

void DiagnosticsWindowsTest::configurationReportListsPortsDevicesAndModem() {
    settings::Settings s = someSettings();
    s.portDevices[3] = "/dev/ttyACM0";
    ModemIdentity modem;
    modem.device = "/dev/ttyACM0";
    modem.answers = {{"ATI", "56000"}, {"AT+FCLASS=?", "0,1,2,2.0"}, {"ATI3", ""}};
    const QStringList lines = configurationReportLines(s, modem);
    const QString text = lines.join(QLatin1Char('\n'));
    QVERIFY(text.contains(QStringLiteral("Distribution:\t")));
    QVERIFY(text.contains(QStringLiteral("Kernel:      \tLinux")));
    QVERIFY(text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    QVERIFY(text.contains(QStringLiteral("COM3=/dev/ttyACM0")));
    QVERIFY(text.contains(QStringLiteral("0,1,2,2.0")));
    QVERIFY(text.contains(QStringLiteral("(no answer)")));

    const auto devices = serialDeviceLines({"/dev/null", "/no/such/tty"});
    QCOMPARE(devices.size(), std::size_t(2));
    QVERIFY(devices[0].find("crw-rw-rw-") != std::string::npos);
    QVERIFY(devices[0].find("(you may open it)") != std::string::npos);
    QVERIFY(devices[1].find("(missing)") != std::string::npos);

    QTemporaryDir dir;
    TConfigurationInfo window(lines, dir.path().toStdString());
    const QString file = dir.filePath(QStringLiteral("report.txt"));
    QVERIFY(window.saveTo(file));
    std::ifstream in(file.toStdString());
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QCOMPARE(QString::fromStdString(saved), window.reportText());
    QVERIFY(!window.saveTo(dir.filePath(QStringLiteral("missing/report.txt"))));
}

void DiagnosticsWindowsTest::callReportWindowPointsToTheCausesTopic() {
    faxengine::CallReport busy;
    busy.cause = faxengine::CallCause::Busy;
    busy.finishCode = faximage::ec::FaxBusy;
    TCallReportForm form(QStringLiteral("x.call"), busy);
    QCOMPARE(form.topic(), kTopicGeneralSending);
    QVERIFY(form.reportText().contains(QStringLiteral("busy")));
    faxengine::CallReport training;
    training.cause = faxengine::CallCause::TrainingFailed;
    QCOMPARE(TCallReportForm(QString(), training).topic(), 21);
    TCallReportForm unreadable(QStringLiteral("gone.call"), std::nullopt);
    QCOMPARE(unreadable.topic(), kNoTopic);
}

void DiagnosticsWindowsTest::cliReportNamesTheCause() {
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("PVN-1.call")).toStdString();
    const std::string log = "0000.100  Dispatch  WriteCom      00000009  ATDT300[0D]\n"
                            "0001.500  Dispatch  ReadCom       00000008  [0D][0A]BUSY[0D][0A]\n";
    QCOMPARE(faxengine::writeCallReportFile(file, faximage::ec::FaxBusy, log), 0);
    QProcess cli;
    cli.start(QStringLiteral(PARVANE_BINARY_DIR "/cli/parvane-cli"), {QStringLiteral("report"), QString::fromStdString(file)});
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 0);
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    QVERIFY2(out.startsWith(QStringLiteral("Cause: busy\n")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("dial 300")));
    cli.start(QStringLiteral(PARVANE_BINARY_DIR "/cli/parvane-cli"), {QStringLiteral("report"), dir.filePath(QStringLiteral("none"))});
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 1);
}

void DiagnosticsWindowsTest::findModemOffersToRememberAFoundDevice() {
    QTemporaryDir dir;
    vline::LaunchOptions o;
    o.executable = PARVANE_BINARY_DIR "/vline/parvane-vline";
    o.arguments = {"--log-dir", dir.filePath(QStringLiteral("logs")).toStdString()};
    auto line = vline::VirtualLine::start(o);
    const std::string modem = line.ports().front().path;

    // No Com port leads to the modem; it is found among the other devices.
    settings::Settings s;
    const std::vector<ScanCandidate> candidates = {{"Com 1", dir.filePath(QStringLiteral("none")).toStdString(), 1},
                                                   {modem, modem, 0}};
    TFindModemForm form(candidates, "");
    form.setRemember(&s, dir.path().toStdString(), 1);
    QSignalSpy done(&form, &TFindModemForm::scanFinished);
    form.show();
    QVERIFY(done.wait(30000));
    QCOMPARE(form.result(), -1);
    QVERIFY(form.portText(0).startsWith(QStringLiteral("Com 1: Port does not exist")));
    QCOMPARE(form.portText(1), QString::fromStdString(modem + ": MODEM"));
    QVERIFY(form.resultText().contains(QString::fromStdString(modem)));
    auto* use = form.findChild<QPushButton*>(QStringLiteral("UseDeviceButton"));
    QVERIFY(use && use->isVisible());
    use->click();
    QCOMPARE(form.result(), 1);
    QCOMPARE(s.portDevices[1], modem);
    const settings::IniFile ini = settings::IniFile::load(dir.filePath(QStringLiteral("PVN.INI")).toStdString());
    QCOMPARE(ini.readString("Ports", "COM1", ""), modem);
}

QTEST_MAIN(DiagnosticsWindowsTest)
#include "diagnostics_windows_test.moc"
