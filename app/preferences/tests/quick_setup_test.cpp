// Quick setup: what it shows and writes, Cancel leaving a first run behind, and the main
// window's first start choosing its line again when the port changed.
#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"
#include "quick_setup_form.h"
#include "faxengine/live_flags.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using testing_support::answerNextBox;
using testing_support::LogDir;
using testing_support::onNextModal;

namespace {

template <typename T>
T* child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

std::filesystem::path iniOf(const LogDir& dir) { return dir.path() / settings::kSettingsFileName; }

} // namespace

class QuickSetupTest : public QObject {
    Q_OBJECT
private slots:
    void okWritesWhatItShows() {
        LogDir dir;
        settings::Settings record;
        record.user.name = "stale, not from the file";
        QString shownPort, shownName;
        bool liveFlagAtOnce = false;
        onNextModal([&](QWidget* w) {
            shownPort = child<QComboBox>(w, "ComPort")->currentText();
            shownName = child<QLineEdit>(w, "Name")->text();
            child<QComboBox>(w, "ComPort")->setCurrentIndex(1);
            child<QLineEdit>(w, "Name")->setText("Anna Berg");
            child<QLineEdit>(w, "FaxNumber")->setText("4685550101");
            child<QCheckBox>(w, "chkSM56")->setChecked(true);
            liveFlagAtOnce = faxengine::useSm56Fix();
            child<QPushButton>(w, "OkButton")->click();
        });
        QVERIFY(preferences::runQuickSetup(nullptr, record, dir.path(), {}));
        QVERIFY(shownPort.startsWith("Com1"));
        QVERIFY(shownName.isEmpty()); // loaded from the (missing) file
        QVERIFY(liveFlagAtOnce);

        // Every key of the record is in the file, the stored-only ones with their defaults.
        const auto ini = settings::IniFile::load(iniOf(dir));
        QCOMPARE(ini.value("Modem", "ComPort"), std::optional<std::string>("1"));
        QCOMPARE(ini.value("User", "Name"), std::optional<std::string>("Anna Berg"));
        QCOMPARE(ini.value("User", "Fax"), std::optional<std::string>("4685550101"));
        QCOMPARE(ini.value("Other", "UseMotorolaSM56Fix"), std::optional<std::string>("1"));
        QCOMPARE(ini.value("Dialing", "Timeout"), std::optional<std::string>("60"));
        QCOMPARE(ini.value("Receive", "DisableReceivingFaxesNotification"), std::optional<std::string>("0"));
        QCOMPARE(ini.value("Version", "Version"), std::optional<std::string>(settings::kVersionString));
        QCOMPARE(ini.value("Modem", "FaxClass"), std::optional<std::string>("1"));
        faxengine::setUseSm56Fix(false);
    }

    void cancelStoresNothing() {
        LogDir dir;
        settings::Settings record;
        onNextModal([&](QWidget* w) {
            child<QLineEdit>(w, "Name")->setText("Not kept");
            child<QCheckBox>(w, "chkSM56")->setChecked(true);
            child<QPushButton>(w, "CancelButton")->click();
        });
        QVERIFY(!preferences::runQuickSetup(nullptr, record, dir.path(), {}));
        QVERIFY(!std::filesystem::exists(iniOf(dir)));
        QVERIFY(record.firstRun());
        QVERIFY(record.user.name.empty());
        QVERIFY(!faxengine::useSm56Fix());
    }

    void storedPortAndFinder() {
        LogDir dir;
        dir.writeFile("PVN.INI", "[Modem]\nComPort=3\n[Custom]\nKeep=me\n");
        settings::Settings record;
        preferences::DiagnosticsHooks hooks;
        hooks.findModem = [](QWidget*, const settings::Settings&) { return 2; };
        int shownIndex = -1;
        std::shared_ptr<testing_support::SeenBox> offer;
        onNextModal([&](QWidget* w) {
            shownIndex = child<QComboBox>(w, "ComPort")->currentIndex();
            offer = answerNextBox(QMessageBox::Yes);
            child<QPushButton>(w, "FindModemButton")->click();
            child<QPushButton>(w, "OkButton")->click();
        });
        QVERIFY(preferences::runQuickSetup(nullptr, record, dir.path(), hooks));
        QCOMPARE(shownIndex, 3);
        QCOMPARE(offer->text, QString("Set Com Port to Com 2"));
        const auto ini = settings::IniFile::load(iniOf(dir));
        QCOMPARE(ini.value("Modem", "ComPort"), std::optional<std::string>("1"));
        QCOMPARE(ini.value("Custom", "Keep"), std::optional<std::string>("me"));
    }

    void firstStartChoosesTheLineForTheNewPort() {
        LogDir dir;
        dir.seed({}, {}, true);
        // Named devices, so that choosing a line starts no virtual line.
        dir.writeFile("PVN.INI", "[Ports]\nCOM1=/dev/null\nCOM2=/dev/zero\n");
        app::LogDatabase db(dir.path());
        app::TMainScreen window(dir.path(), [&db](app::LogKind k, const std::filesystem::path&) { return db.open(k); },
                                {});
        QList<int> chosenPorts;
        window.chooseFaxLine = [&](const settings::Settings& s) {
            chosenPorts << s.configuredPortNumber();
            return app::FaxLine::forSettings(s);
        };
        QVERIFY(window.firstRun());
        onNextModal([](QWidget* w) {
            QCOMPARE(w->objectName(), QString("TQuickSetupForm"));
            child<QComboBox>(w, "ComPort")->setCurrentIndex(1);
            child<QPushButton>(w, "OkButton")->click();
        });
        window.FormActivate();
        QVERIFY(!window.firstRun());
        QCOMPARE(chosenPorts, QList<int>({2}));
        QVERIFY(window.faxLine());
        QCOMPARE(window.faxLine()->devicePath(), std::string("/dev/zero"));

        // The wizard keeping the port leaves the line alone; moving it chooses again.
        auto finish = [](int port) {
            onNextModal([port](QWidget* w) {
                child<QComboBox>(w, "ComPort")->setCurrentIndex(port);
                answerNextBox(QMessageBox::Yes);
                child<QPushButton>(w, "FinishButton")->click();
            });
        };
        finish(1);
        window.mnuPreferencesClick();
        QCOMPARE(chosenPorts, QList<int>({2}));
        finish(0);
        window.mnuPreferencesClick();
        QCOMPARE(chosenPorts, QList<int>({2, 1}));
        QCOMPARE(window.faxLine()->devicePath(), std::string("/dev/null"));

        // Opened from the send dialog: the line changes once that dialog has closed.
        QDialog sendDialog(&window);
        qsizetype choicesWhileOpen = 0;
        onNextModal([&](QWidget*) {
            finish(1);
            window.mnuPreferencesClick();
            choicesWhileOpen = chosenPorts.size();
            sendDialog.reject();
        });
        sendDialog.exec();
        QCOMPARE(choicesWhileOpen, 2);
        QTRY_COMPARE(chosenPorts, QList<int>({2, 1, 2}));
        window.close();
    }
};

QTEST_MAIN(QuickSetupTest)
#include "quick_setup_test.moc"
