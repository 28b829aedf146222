// The preferences wizard: every key it edits goes through its control into PVN.INI, lines
// the program does not know survive, Cancel and refused input change nothing, a first run
// walks to the last page, and the assisting buttons act on the right controls.
#include "modal_helper.h"
#include "preferences_wizard.h"
#include "radio_group.h"
#include "faxengine/live_flags.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

using preferences::RadioGroup;
using preferences::TPreferences;
using testing_support::answerNextBox;
using testing_support::onNextModal;

namespace {

const std::string kForeignIni = "; written by hand\n"
                                "[Modem]\n"
                                "ComPort=0\n"
                                "VendorQuirk=7\n"
                                "[Dialing]\n"
                                "Timeout=45\n"
                                "[Receive]\n"
                                "DisableReceivingFaxesNotification=1\n"
                                "[Printing]\n"
                                "MultiPage=1\n"
                                "[TMainScreen_Placement]\n"
                                "Left=10\n"
                                "[Ports]\n"
                                "COM2=/dev/null\n";

struct Dir {
    QTemporaryDir temp;
    std::filesystem::path path() const { return temp.path().toStdString(); }
    std::filesystem::path ini() const { return path() / settings::kSettingsFileName; }
    void write(const std::string& text) const { std::ofstream(ini(), std::ios::binary) << text; }
    std::string read() const {
        std::ifstream in(ini(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

template <typename T>
T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

void click(QWidget* w, const char* name) { child<QPushButton>(w, name)->click(); }
void type(QWidget* w, const char* name, const QString& text) { child<QLineEdit>(w, name)->setText(text); }
void tick(QWidget* w, const char* name, bool on) { child<QCheckBox>(w, name)->setChecked(on); }
void choose(QWidget* w, const char* name, int index) { child<QComboBox>(w, name)->setCurrentIndex(index); }
void pick(QWidget* w, const char* name, int item) { child<RadioGroup>(w, name)->setItemIndex(item); }

preferences::PreferencesServices services() {
    preferences::PreferencesServices s;
    s.printerNames = [] { return QStringList{"Office", "Lab"}; };
    s.playSound = [](const QString&) {};
    return s;
}

} // namespace

class PreferencesWizardTest : public QObject {
    Q_OBJECT
private slots:
    void everyKeyRoundTripsThroughItsControl() {
        Dir dir;
        dir.write(kForeignIni);
        settings::Settings record;
        settings::loadSettings(record, dir.path());
        bool firstRun = false;
        bool liveFlagBeforeFinish = false;

        onNextModal([&](QWidget* w) {
            choose(w, "ComPort", 2);
            pick(w, "ToneOrPulse", 1);
            type(w, "ResetString", "AT&F");
            type(w, "ResetAfterString", "ATZ");
            tick(w, "chkSM56", true);
            liveFlagBeforeFinish = faxengine::useSm56Fix();
            pick(w, "FaxClass", 3);
            choose(w, "TransferRate", 5);
            type(w, "ModemInit", "&K3");
            type(w, "Name", "Anna Berg");
            type(w, "FaxNumber", "+46 8 555");
            tick(w, "UseECM", true);
            type(w, "DialPrefix", "9");
            type(w, "DialSuffix", "#");
            type(w, "DialAttempts", "5");
            type(w, "RetryWait", "120");
            tick(w, "CheckBlindDial", true);
            tick(w, "CheckIgnoreBusy", true);
            tick(w, "RenegotiateBetween", true);
            pick(w, "FaxClassReceive", 0);
            choose(w, "TransferRateReceive", 0);
            type(w, "ModemInitReceive", "S0=0");
            choose(w, "AnswerOnRing", 3);
            tick(w, "ReceiveAtStartup", true);
            tick(w, "UseECMReceive", true);
            type(w, "WaveFileEdit", "/sounds/fax.wav");
            tick(w, "PrintFaxOnReceipt", true);
            choose(w, "PrintFaxOnReceiptPrinter", 2);
            answerNextBox(QMessageBox::Yes);
            click(w, "FinishButton");
        });
        QVERIFY(preferences::runPreferencesWizard(nullptr, record, dir.path(), firstRun, services()));
        QVERIFY(liveFlagBeforeFinish);
        QVERIFY(faxengine::useSm56Fix());

        const auto ini = settings::IniFile::load(dir.ini());
        const std::map<std::pair<std::string, std::string>, std::string> expected = {
            {{"Modem", "ComPort"}, "2"},
            {{"Dialing", "ToneOrPulse"}, "1"},
            {{"Resetting", "String"}, "AT&F"},
            {{"Resetting", "AfterString"}, "ATZ"},
            {{"Other", "UseMotorolaSM56Fix"}, "1"},
            {{"Modem", "FaxClass"}, "3"},
            {{"Modem", "MaximumBPS"}, "14400"},
            {{"Modem", "InitString"}, "&K3"},
            {{"User", "Name"}, "Anna Berg"},
            {{"User", "Fax"}, "+46 8 555"},
            {{"Dialing", "ECM"}, "1"},
            {{"Dialing", "DialPrefix"}, "9"},
            {{"Dialing", "DialSuffix"}, "#"},
            {{"Dialing", "DialAttempts"}, "5"},
            {{"Dialing", "RetryWait"}, "120"},
            {{"Dialing", "BlindDial"}, "1"},
            {{"Dialing", "IgnoreBusy"}, "1"},
            {{"Modem", "RenegotiateBetween"}, "1"},
            {{"Modem", "FaxClassReceive"}, "0"},
            {{"Modem", "MaximumBPSReceive"}, "2400"},
            {{"Modem", "InitStringReceive"}, "S0=0"},
            {{"Receive", "AnswerOnRing"}, "4"},
            {{"Receive", "AtStartup"}, "1"},
            {{"Receive", "ECMReceive"}, "1"},
            {{"Receive", "Wav"}, "/sounds/fax.wav"},
            {{"Receive", "PrintOnReceipt"}, "1"},
            {{"Receive", "PrintOnReceiptPrinter"}, "Lab"},
            // Stored-only keys keep what the file had.
            {{"Dialing", "Timeout"}, "45"},
            {{"Receive", "DisableReceivingFaxesNotification"}, "1"},
            {{"Version", "Version"}, settings::kVersionString},
            // Lines the program does not know.
            {{"Modem", "VendorQuirk"}, "7"},
            {{"Printing", "MultiPage"}, "1"},
            {{"TMainScreen_Placement", "Left"}, "10"},
            {{"Ports", "COM2"}, "/dev/null"},
        };
        for (const auto& [key, value] : expected)
            QVERIFY2(ini.value(key.first, key.second) == value, (key.first + "/" + key.second).c_str());
        QVERIFY(dir.read().starts_with("; written by hand\n"));
        // The record in memory is what was saved.
        QCOMPARE(record.modem.comPort, 2);
        QCOMPARE(record.receive.printOnReceiptPrinter, std::string("Lab"));
        faxengine::setUseSm56Fix(false);
    }

    void cancelAndRefusalsChangeNothing() {
        Dir dir;
        dir.write(kForeignIni);
        const std::string before = dir.read();
        settings::Settings record;
        settings::loadSettings(record, dir.path());
        const settings::Settings original = record;
        bool firstRun = false;

        std::shared_ptr<testing_support::SeenBox> saveQuestion, integerError;
        int pageAfterError = -1;
        bool stillOpen = false;
        onNextModal([&](QWidget* w) {
            auto* wizard = qobject_cast<TPreferences*>(w);
            type(w, "Name", "Changed");
            tick(w, "chkSM56", true);
            // "Save changes?" answered No keeps the wizard open.
            saveQuestion = answerNextBox(QMessageBox::No);
            click(w, "FinishButton");
            // A dial attempt count that is not a number is refused before the question.
            type(w, "DialAttempts", "three");
            wizard->goToPage(7);
            integerError = answerNextBox(QMessageBox::Ok);
            click(w, "FinishButton");
            pageAfterError = wizard->currentPage();
            stillOpen = w->isVisible();
            click(w, "CancelButton");
        });
        QVERIFY(!preferences::runPreferencesWizard(nullptr, record, dir.path(), firstRun, services()));

        QVERIFY(saveQuestion->seen);
        QCOMPARE(saveQuestion->title, QString("Save Preferences"));
        QCOMPARE(saveQuestion->text, QString("Save changes?"));
        QCOMPARE(saveQuestion->defaultButton, QMessageBox::Yes);
        QVERIFY(integerError->seen);
        QCOMPARE(integerError->text, QString("'three' is not a valid integer value"));
        QCOMPARE(pageAfterError, 4);
        QVERIFY(stillOpen);

        QCOMPARE(dir.read(), before);
        QCOMPARE(record.user.name, original.user.name);
        QCOMPARE(record.dialing.dialAttempts, original.dialing.dialAttempts);
        // The modem-model box acted at once; Cancel takes it back.
        QVERIFY(!faxengine::useSm56Fix());
    }

    void firstRunWalksEveryPage() {
        Dir dir;
        settings::Settings record;
        settings::loadSettings(record, dir.path());
        bool firstRun = true;
        QList<int> helpContexts;
        auto s = services();
        s.help = [&](int context) { helpContexts << context; };

        QStringList labels;
        QList<bool> finishEnabled, backEnabled, nextEnabled;
        bool noteShown = false;
        bool finishAfterJump = false, finishAfterJumpBack = false;
        onNextModal([&](QWidget* w) {
            auto* wizard = qobject_cast<TPreferences*>(w);
            auto* finish = child<QPushButton>(w, "FinishButton");
            noteShown = child<QLabel>(w, "FirstRunLabel")->isVisibleTo(w);
            // Jumping to the last page through the page list counts; leaving it does not.
            auto* pages = child<QComboBox>(w, "PageCombo");
            emit pages->activated(7);
            finishAfterJump = finish->isEnabled();
            emit pages->activated(0);
            finishAfterJumpBack = finish->isEnabled();
            for (int page = 0; page < preferences::kPageCount; ++page) {
                labels << child<QLabel>(w, "PageLabel")->text();
                finishEnabled << finish->isEnabled();
                backEnabled << child<QPushButton>(w, "BackButton")->isEnabled();
                nextEnabled << child<QPushButton>(w, "NextButton")->isEnabled();
                click(w, "HelpButton");
                // Clicking a disabled Finish does nothing.
                if (page < preferences::kPageCount - 1)
                    finish->click();
                click(w, "NextButton");
            }
            QCOMPARE(wizard->currentPage(), 7);
            click(w, "BackButton");
            QCOMPARE(wizard->currentPage(), 6);
            emit pages->activated(7);
            answerNextBox(QMessageBox::Yes);
            finish->click();
        });
        QVERIFY(preferences::runPreferencesWizard(nullptr, record, dir.path(), firstRun, s));
        QVERIFY(!firstRun);
        QVERIFY(noteShown);
        QVERIFY(finishAfterJump);
        QVERIFY(!finishAfterJumpBack);
        QStringList titles;
        for (const char* t : preferences::kPageTitles)
            titles << t;
        QCOMPARE(labels, titles);
        QCOMPARE(finishEnabled, QList<bool>({false, false, false, false, false, false, false, true}));
        QCOMPARE(backEnabled, QList<bool>({false, true, true, true, true, true, true, true}));
        QCOMPARE(nextEnabled, QList<bool>({true, true, true, true, true, true, true, false}));
        QCOMPARE(helpContexts, QList<int>({1022, 3501, 3502, 3502, 3502, 3503, 3503, 3503}));
        // A fresh record saved as shown: Com1, not the "never set up" -1.
        QCOMPARE(settings::IniFile::load(dir.ini()).value("Modem", "ComPort"), std::optional<std::string>("0"));
    }

    void storedValuesOutsideTheListsShowSafely() {
        settings::Settings s;
        s.modem.comPort = 7; // COM8, named in [Ports] by hand
        s.portDevices[8] = "/dev/null";
        s.modem.faxClass = 9;
        s.modem.maximumBps = 33600;
        s.receive.answerOnRing = 12;
        s.receive.printOnReceiptPrinter = "Removed printer";
        TPreferences wizard(services());
        wizard.loadFrom(s);
        auto* ports = child<QComboBox>(&wizard, "ComPort");
        QCOMPARE(ports->count(), 8);
        QVERIFY(ports->currentText().startsWith("Com8"));
        QVERIFY(ports->currentText().contains("/dev/null"));
        QVERIFY(ports->itemText(0).contains("virtual fax line"));
        QCOMPARE(child<QComboBox>(&wizard, "PrintFaxOnReceiptPrinter")->currentText(), QString("Default printer"));
        const settings::Settings stored = wizard.storeInto(s);
        QCOMPARE(stored.modem.comPort, 7);
        QCOMPARE(stored.modem.faxClass, 1);
        QCOMPARE(stored.modem.maximumBps, 9600);
        QCOMPARE(stored.receive.answerOnRing, 1);
        QCOMPARE(stored.receive.printOnReceiptPrinter, std::string(settings::kDefaultPrinterText));

        // Never set up: Com1.
        s.modem.comPort = -1;
        s.portDevices.clear();
        wizard.loadFrom(s);
        QCOMPARE(ports->count(), 6);
        QCOMPARE(wizard.storeInto(s).modem.comPort, 0);
    }

    void assistingButtons() {
        auto s = services();
        int findModemCalls = 0;
        int checkedPort = 0;
        QList<bool> helperSending;
        std::string resetStringSeen;
        s.diagnostics.findModem = [&](QWidget*, const settings::Settings& shown) {
            ++findModemCalls;
            resetStringSeen = shown.resetting.string;
            return 3;
        };
        s.diagnostics.checkFaxClass = [&](QWidget*, const settings::Settings&, int port) {
            checkedPort = port;
            return preferences::FaxClassAdvice{2, "Class 2.0"};
        };
        s.diagnostics.initStringHelper = [&](QWidget*, const QString& current, bool sending) {
            helperSending << sending;
            return current + "S7=90";
        };
        QStringList chooserAnswers = {"/tmp/notes.txt", "/tmp/ring.WAV"};
        s.chooseWaveFile = [&](QWidget*, const QString&, const QString&) { return chooserAnswers.takeFirst(); };
        QStringList played;
        s.playSound = [&](const QString& f) { played << f; };

        TPreferences wizard(s);
        settings::Settings record;
        record.modem.comPort = 0;
        wizard.loadFrom(record);
        QWidget* w = &wizard;
        type(w, "ResetString", "ATZ");

        auto seen = answerNextBox(QMessageBox::Yes);
        wizard.FindModemButtonClick();
        QCOMPARE(findModemCalls, 1);
        QCOMPARE(resetStringSeen, std::string("ATZ")); // as typed, not yet saved
        QCOMPARE(seen->title, QString("Com Port"));
        QCOMPARE(seen->text, QString("Set Com Port to Com 3"));
        QCOMPARE(child<QComboBox>(w, "ComPort")->currentIndex(), 2);
        // Found where it is already set: no question.
        wizard.FindModemButtonClick();
        QCOMPARE(findModemCalls, 2);

        // The sending page's check sets the sending class only.
        seen = answerNextBox(QMessageBox::Yes);
        click(w, "CheckFaxClassButton");
        QCOMPARE(checkedPort, 3);
        QCOMPARE(seen->title, QString("Fax Class"));
        QCOMPARE(seen->text, QString("Set fax class as Class 2.0 ?"));
        QCOMPARE(child<RadioGroup>(w, "FaxClass")->itemIndex(), 3);
        QCOMPARE(child<RadioGroup>(w, "FaxClassReceive")->itemIndex(), 1);
        seen = answerNextBox(QMessageBox::No);
        click(w, "CheckFaxClassReceiveButton");
        QVERIFY(seen->seen);
        QCOMPARE(child<RadioGroup>(w, "FaxClassReceive")->itemIndex(), 1);

        type(w, "ModemInit", "AT&F");
        click(w, "InitHelpButton");
        click(w, "InitHelpReceiveButton");
        QCOMPARE(helperSending, QList<bool>({true, false}));
        QCOMPARE(child<QLineEdit>(w, "ModemInit")->text(), QString("AT&FS7=90"));
        QCOMPARE(child<QLineEdit>(w, "ModemInitReceive")->text(), QString("S7=90"));

        // Same as SEND, one row each.
        choose(w, "TransferRate", 4);
        click(w, "SameClassButton");
        QCOMPARE(child<RadioGroup>(w, "FaxClassReceive")->itemIndex(), 3);
        QCOMPARE(child<QComboBox>(w, "TransferRateReceive")->currentIndex(), 3);
        click(w, "SameRateButton");
        QCOMPARE(child<QComboBox>(w, "TransferRateReceive")->currentIndex(), 4);
        click(w, "SameInitButton");
        QCOMPARE(child<QLineEdit>(w, "ModemInitReceive")->text(), QString("AT&FS7=90"));

        // A chosen file must be a WAVE file; Play Now plays only what exists.
        type(w, "WaveFileEdit", "/tmp/old.wav");
        click(w, "ChooseButton");
        QCOMPARE(child<QLineEdit>(w, "WaveFileEdit")->text(), QString("/tmp/old.wav"));
        click(w, "ChooseButton");
        QCOMPARE(child<QLineEdit>(w, "WaveFileEdit")->text(), QString("/tmp/ring.WAV"));
        QTemporaryDir sounds;
        const QString real = sounds.filePath("ring.wav");
        std::ofstream(real.toStdString()) << "RIFF";
        click(w, "PlayButton");
        type(w, "WaveFileEdit", real);
        click(w, "PlayButton");
        QCOMPARE(played, QStringList({real}));
        click(w, "NoneButton");
        QVERIFY(child<QLineEdit>(w, "WaveFileEdit")->text().isEmpty());

        // Without hooks the buttons are off.
        TPreferences bare(services());
        for (const char* name : {"FindModemButton", "CheckFaxClassButton", "CheckFaxClassReceiveButton",
                                 "InitHelpButton", "InitHelpReceiveButton", "ProblemSolverButton", "HelpButton"})
            QVERIFY2(!child<QPushButton>(&bare, name)->isEnabled(), name);
    }
};

QTEST_MAIN(PreferencesWizardTest)
#include "preferences_wizard_test.moc"
