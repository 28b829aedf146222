// The main window over real log tables: enabling rules, the receive-mode guard, Delete,
// the close query, start-up failures and the first-activation questions.
#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QAction>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using app::LogKind;
using app::LogPage;
using app::TMainScreen;
using testing_support::answerNextBox;
using testing_support::LogDir;

namespace {

const QString kGuardText = "You are in Fax Receive mode. This operation cannot be done\nwhile in "
                           "Fax Receive mode. Click the Stop button to end\nFax Receive mode";

// The window and the engine environment it opens its tables in.
struct Program {
    explicit Program(const std::filesystem::path& dir)
        : db(dir), window(dir, [this](LogKind k, const std::filesystem::path&) { return db.open(k); },
                          {}) {}
    app::LogDatabase db;
    TMainScreen window;

    template <typename T>
    T* child(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    bool enabled(const char* name) {
        if (auto* a = child<QAction>(name))
            return a->isEnabled();
        if (auto* w = child<QWidget>(name))
            return w->isEnabled();
        qFatal("no control %s", name);
    }
    QStringList column(const char* grid, int col) {
        auto* view = child<QTableView>(grid);
        QStringList out;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            out << view->model()->index(r, col).data().toString();
        return out;
    }
    // First activation with the reindex question answered.
    // A first run shows quick setup before the question; it is cancelled.
    void activate(QMessageBox::StandardButton reindexAnswer = QMessageBox::No) {
        if (window.firstRun()) {
            testing_support::onNextModal([this, reindexAnswer](QWidget* setup) {
                quickSetupSeen = setup->objectName();
                if (auto* dialog = qobject_cast<QDialog*>(setup))
                    dialog->reject();
                reindexSeen = answerNextBox(reindexAnswer, 500);
            });
            window.FormActivate();
            return;
        }
        auto seen = answerNextBox(reindexAnswer, 500);
        window.FormActivate();
        reindexSeen = seen;
    }
    QString quickSetupSeen;
    std::shared_ptr<testing_support::SeenBox> reindexSeen;
};

std::vector<testing_support::Fields> threeSent() {
    return {{{"SUBJECT", "Quarterly report"}, {"SENT", "T"}, {"DATESENT", "20260301"},
             {"TIMESENT", "09:15"}, {"RECIPIENT", "Anna Berg"}, {"PHONE", "555 0101"}, {"PAGES", "3"},
             {"LASTRESULT", "OK"}},
            {{"SUBJECT", "Draft"}, {"RECIPIENT", "Carl Dahl"}, {"PHONE", "555 0102"}},
            {{"SUBJECT", "Invoice 7"}, {"SENT", "T"}, {"DATESENT", "20260405"},
             {"TIMESENT", "14:02"}, {"RECIPIENT", "Eva Fors"}, {"PHONE", "555 0103"},
             {"PAGES", "1"}, {"LASTRESULT", "OK"}},
            {{"SUBJECT", "Withdrawn"}, {"*", ""}}};
}

std::vector<testing_support::Fields> twoReceived() {
    return {{{"DATEREC", "20260310"}, {"TIMEREC", "08:00"}, {"FROM", "+46 8 123"}, {"PAGES", "2"},
             {"FAXFILE", "FAX0001.APF"}},
            {{"DATEREC", "20260311"}, {"TIMEREC", "17:30"}, {"FROM", "Head Office"},
             {"PAGES", "1"}, {"FAXFILE", "FAX0002.APF"}}};
}

// A valid WAVE file: 8 kHz mono 8-bit, a few milliseconds of silence.
std::string tinyWave() {
    const std::uint32_t samples = 80;
    std::string w = "RIFF";
    auto u32 = [&w](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            w.push_back(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&w](std::uint16_t v) {
        w.push_back(char(v & 0xff));
        w.push_back(char(v >> 8));
    };
    u32(36 + samples);
    w += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    w += "data";
    u32(samples);
    w.append(samples, char(0x80));
    return w;
}

} // namespace

class MainScreenTest : public QObject {
    Q_OBJECT
private slots:
    void init() { settings::current() = settings::Settings{}; }

    void emptyTablesEnableOnlyNew() {
        LogDir dir;
        dir.seed({}, {});
        Program p(dir.path());
        QVERIFY(!p.window.startupFailed());
        p.activate();
        for (LogPage page : {LogPage::Sent, LogPage::Received}) {
            p.window.setPage(page);
            p.window.applyCommandRules();
            QCOMPARE(p.enabled("Newbutton"), page == LogPage::Sent);
            QCOMPARE(p.enabled("mnuNew"), page == LogPage::Sent);
            for (const char* off : {"EditButton", "DeleteButton", "ViewFaxButton", "SendButton",
                                    "mnuClone", "mnuEdit", "mnuDelete", "mnuViewPrint", "mnuSend",
                                    "FaxGrid", "RecFaxGrid"})
                QVERIFY2(!p.enabled(off), off);
            QVERIFY(p.enabled("mnuReceive"));
        }
        // Clone and Delete with nothing to act on just beep.
        p.window.setPage(LogPage::Sent);
        p.window.mnuCloneClick();
        QVERIFY(!p.window.cloneRequested());
    }

    void filledTablesAndPages() {
        LogDir dir;
        dir.seed(threeSent(), {});
        Program p(dir.path());
        p.activate();

        // Live records only, newest first; unsent (empty date) last.
        QCOMPARE(p.column("FaxGrid", 6), QStringList({"Invoice 7", "Quarterly report", "Draft"}));
        QCOMPARE(p.column("FaxGrid", 0), QStringList({"Yes", "Yes", "No "}));
        QCOMPARE(p.column("FaxGrid", 5), QStringList({"1", "3", ""}));
        QVERIFY(p.window.sentTable()->indexOrderActive());
        QVERIFY(!p.window.receivedTable()->indexOrderActive());

        for (const char* on : {"Newbutton", "EditButton", "DeleteButton", "ViewFaxButton",
                               "SendButton", "mnuClone", "FaxGrid"})
            QVERIFY2(p.enabled(on), on);
        QVERIFY(!p.enabled("RecFaxGrid"));

        // The Received page with an empty received list: Send still works on the sent list.
        p.child<QTabBar>("TabSet1")->setCurrentIndex(1);
        QCOMPARE(p.window.page(), LogPage::Received);
        QVERIFY(p.enabled("SendButton"));
        QVERIFY(p.enabled("mnuSend"));
        for (const char* off : {"Newbutton", "mnuClone", "EditButton", "DeleteButton",
                                "ViewFaxButton", "mnuViewPrint"})
            QVERIFY2(!p.enabled(off), off);
    }

    void keyboardMovesTheCurrentRecord() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        Program p(dir.path());
        p.activate();
        auto* grid = p.child<QTableView>("FaxGrid");
        QCOMPARE(p.window.sentTable()->currentField("SUBJECT"), std::string("Invoice 7"));
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(p.window.sentTable()->currentField("SUBJECT"), std::string("Quarterly report"));
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(p.window.sentTable()->currentField("SUBJECT"), std::string("Draft"));
        // Received grid: newest first.
        QCOMPARE(p.column("RecFaxGrid", 2), QStringList({"Head Office", "+46 8 123"}));
    }

    void receiveModeGuard() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        Program p(dir.path());
        p.activate();
        p.window.setReceiveMode(true);
        QVERIFY(!p.enabled("mnuReceive"));

        using Slot = void (TMainScreen::*)();
        for (Slot command : {&TMainScreen::NewbuttonClick, &TMainScreen::EditButtonClick,
                             &TMainScreen::FaxlogCleanup1Click, &TMainScreen::mnuCoverClick,
                             &TMainScreen::mnuPhoneBookClick, &TMainScreen::mnuRebuildIndexesClick,
                             &TMainScreen::mnuPreferencesClick}) {
            auto seen = answerNextBox(QMessageBox::Ok);
            (p.window.*command)();
            QVERIFY(seen->seen);
            QCOMPARE(seen->title, QString("Information"));
            QCOMPARE(seen->text, kGuardText);
        }

        // A refused Clone leaves no clone request behind for the next New.
        auto seen = answerNextBox(QMessageBox::Ok);
        p.window.mnuCloneClick();
        QVERIFY(seen->seen);
        QVERIFY(!p.window.cloneRequested());

        // Deleting a received fax is refused too; the record stays.
        p.window.setPage(LogPage::Received);
        seen = answerNextBox(QMessageBox::Ok);
        p.window.DeleteButtonClick();
        QCOMPARE(seen->text, kGuardText);
        QCOMPARE(p.window.receivedTable()->rowCount(), 2);

        p.window.setReceiveMode(false);
        QVERIFY(p.enabled("mnuReceive"));
    }

    void deleteReceivedRemovesRecordAndFile() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        std::filesystem::create_directory(dir.path() / "receive");
        dir.writeFile("receive/FAX0002.APF", "fax");
        dir.writeFile("receive/fax0001.apf", "fax"); // older copies stored lower case
        Program p(dir.path());
        p.activate();
        p.child<QTabBar>("TabSet1")->setCurrentIndex(1);

        // No keeps everything.
        auto seen = answerNextBox(QMessageBox::No);
        p.window.DeleteButtonClick();
        QCOMPARE(seen->title, QString("Delete"));
        QCOMPARE(seen->text, QString("Delete the current fax?\n(from: \"Head Office\")"));
        QCOMPARE(seen->defaultButton, QMessageBox::No);
        QCOMPARE(p.window.receivedTable()->rowCount(), 2);
        QVERIFY(std::filesystem::exists(dir.path() / "receive/FAX0002.APF"));

        seen = answerNextBox(QMessageBox::Yes);
        p.window.DeleteButtonClick();
        QCOMPARE(p.column("RecFaxGrid", 2), QStringList({"+46 8 123"}));
        QVERIFY(!std::filesystem::exists(dir.path() / "receive/FAX0002.APF"));
        QVERIFY(std::filesystem::exists(dir.path() / "receive/fax0001.apf"));

        seen = answerNextBox(QMessageBox::Yes);
        p.window.DeleteButtonClick();
        QVERIFY(!std::filesystem::exists(dir.path() / "receive/fax0001.apf"));
        QCOMPARE(p.window.receivedTable()->rowCount(), 0);
        QVERIFY(!p.enabled("DeleteButton"));
        QVERIFY(!p.enabled("RecFaxGrid"));
        QVERIFY(!p.window.receivedTable()->indexOrderActive());

        // The records carry the deleted mark as another DBF reader sees it.
        p.window.close();
        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c", "import dbfread,sys; t=dbfread.DBF(sys.argv[1], load=True); "
                            "print(len(t.records), len(t.deleted))",
                      QString::fromStdString((dir.path() / "PVNREC.DBF").string())});
        QVERIFY(python.waitForFinished(30000));
        QCOMPARE(python.readAllStandardOutput().trimmed(), QByteArray("0 2"));
    }

    void deleteReceivedNeverLeavesTheReceiveDirectory() {
        LogDir dir;
        dir.seed({}, {{{"DATEREC", "20260310"}, {"FROM", "x"}, {"FAXFILE", "../PVN.INI"}},
                      {{"DATEREC", "20260309"}, {"FROM", "y"}, {"FAXFILE", ""}}});
        dir.writeFile("PVN.INI", "[Modem]\nComPort=1\n");
        Program p(dir.path());
        p.activate();
        p.window.setPage(LogPage::Received);
        p.window.applyCommandRules();
        for (int i = 0; i < 2; ++i) {
            answerNextBox(QMessageBox::Yes);
            p.window.DeleteButtonClick();
        }
        QCOMPARE(p.window.receivedTable()->rowCount(), 0);
        QVERIFY(std::filesystem::exists(dir.path() / "PVN.INI"));
        QVERIFY(std::filesystem::is_directory(dir.path() / "receive"));
    }

    void deleteSentIsNotGuarded() {
        LogDir dir;
        dir.seed(threeSent(), {});
        Program p(dir.path());
        p.activate();
        p.window.setReceiveMode(true);
        auto seen = answerNextBox(QMessageBox::Yes);
        p.window.DeleteButtonClick();
        QCOMPARE(seen->text, QString("Delete the current fax?\n(subject: \"Invoice 7\")"));
        QCOMPARE(p.column("FaxGrid", 6), QStringList({"Quarterly report", "Draft"}));
        QCOMPARE(p.window.sentTable()->currentField("SUBJECT"), std::string("Quarterly report"));
    }

    void closeQueryWhileReceiving() {
        LogDir dir;
        dir.seed(threeSent(), {});
        {
            Program p(dir.path());
            p.activate();
            p.window.setReceivingNow(true);
            auto seen = answerNextBox(QMessageBox::No);
            QVERIFY(!p.window.close());
            QCOMPARE(seen->text, QString("You are receiving a fax. Exit the program?"));
            QCOMPARE(seen->title, QString("Exit"));
            QVERIFY(p.window.sentTable()->isOpen());

            seen = answerNextBox(QMessageBox::Yes);
            QVERIFY(p.window.close());
            QVERIFY(!p.window.sentTable()->isOpen());
        }
        // Shutdown saved the placement and the settings.
        const auto ini = settings::IniFile::load(dir.path() / "PVN.INI");
        QVERIFY(ini.hasSection("TMainScreen_Placement"));
        QCOMPARE(ini.readString("Version", "Version", ""), std::string(settings::kVersionString));

        // Not receiving: no question at all.
        Program again(dir.path());
        again.activate();
        auto seen = answerNextBox(QMessageBox::No, 300);
        QVERIFY(again.window.close());
        QTest::qWait(350);
        QVERIFY(!seen->seen);
    }

    void unreadableOrLockedTablesEndTheStart() {
        // A sent table that is not a table at all.
        LogDir corrupt;
        corrupt.seed({}, {});
        const std::string garbage(600, '\x5a');
        corrupt.writeFile("PVN.DBF", garbage);
        {
            auto seen = answerNextBox(QMessageBox::Ok);
            Program p(corrupt.path());
            QVERIFY(p.window.startupFailed());
            QCOMPARE(seen->text, QString("Unable to open/create the FAX datafile - closing program"));
            QCoreApplication::processEvents();
            QVERIFY(!p.window.isVisible());
        }
        QCOMPARE(corrupt.readFile(corrupt.path() / "PVN.DBF"), garbage);
        QVERIFY(!std::filesystem::exists(corrupt.path() / "PVN.INI"));

        // Both tables held exclusively by someone else: both messages, files unchanged.
        LogDir locked;
        locked.seed(threeSent(), twoReceived());
        app::LogDatabase holder(locked.path());
        auto heldSent = holder.open(LogKind::Sent);
        auto heldRec = holder.open(LogKind::Received);
        QVERIFY(heldSent && heldRec);
        const std::string sentBefore = locked.readFile(locked.path() / "PVN.DBF");
        const std::string recBefore = locked.readFile(locked.path() / "PVNREC.DBF");
        QStringList texts;
        testing_support::onNextModal([&](QWidget* w) {
            texts << static_cast<QMessageBox*>(w)->text();
            static_cast<QMessageBox*>(w)->accept();
            testing_support::onNextModal([&](QWidget* w2) {
                texts << static_cast<QMessageBox*>(w2)->text();
                static_cast<QMessageBox*>(w2)->accept();
            });
        });
        Program p(locked.path());
        QVERIFY(p.window.startupFailed());
        QCOMPARE(texts, QStringList({"Unable to open/create the FAX datafile - closing program",
                                     "Unable to open/create the FAX RECEIVE datafile - closing program"}));
        heldSent.reset();
        heldRec.reset();
        QCOMPARE(locked.readFile(locked.path() / "PVN.DBF"), sentBefore);
        QCOMPARE(locked.readFile(locked.path() / "PVNREC.DBF"), recBefore);
    }

    void reindexQuestionAndFirstRun() {
        // Fresh directory: no settings (first run), and new tables already have DATEND.
        LogDir fresh;
        {
            Program p(fresh.path());
            QVERIFY(p.window.firstRun());
            p.activate(QMessageBox::No);
            QCOMPARE(p.quickSetupSeen, QString("TQuickSetupForm"));
            QVERIFY(p.window.firstRun()); // cancelled: still a first run
            QVERIFY(!p.reindexSeen->seen);
            QTest::qWait(600); // the unused answer expires
        }
        // Tables from before their first rebuild (no DATEND) get the question.
        LogDir old;
        old.seed(threeSent(), {});
        {
            Program p(old.path());
            p.activate(QMessageBox::No);
            QVERIFY(p.reindexSeen->seen);
            QCOMPARE(p.reindexSeen->title, QString("REINDEX"));
            QCOMPARE(p.reindexSeen->text, QString("The log files need to be reindexed.\nDo this now?"));
            QCOMPARE(p.reindexSeen->defaultButton, QMessageBox::Yes);
            QVERIFY(!p.window.firstActivation());
        }
        // Tables with DATEND and a settings file with the port: neither.
        LogDir set;
        set.seed(threeSent(), twoReceived(), true);
        set.writeFile("PVN.INI", "[Modem]\nComPort=0\n");
        Program p(set.path());
        QVERIFY(!p.window.firstRun());
        p.activate(QMessageBox::No);
        QVERIFY(!p.reindexSeen->seen);
    }

    void arrivalSoundAndHints() {
        LogDir dir;
        dir.seed({}, {});
        Program p(dir.path());
        p.activate();

        settings::current().receive.wav = (dir.path() / "missing.wav").string();
        QEvent arrivedEarly(TMainScreen::kFaxArrivedMessage);
        QCoreApplication::sendEvent(&p.window, &arrivedEarly);
        QVERIFY(p.window.lastArrivalSound().isEmpty());

        dir.writeFile("ring.wav", tinyWave());
        settings::current().receive.wav = (dir.path() / "ring.wav").string();
        QEvent arrived(TMainScreen::kFaxArrivedMessage);
        QCoreApplication::sendEvent(&p.window, &arrived);
        QCOMPARE(p.window.lastArrivalSound(), QString::fromStdString(settings::current().receive.wav));
        QTest::qWait(300); // let the sound load before the window goes

        // Show Hints: unticked, stored at once, status line cleared.
        p.window.setStatus("busy");
        auto* hint = p.child<QAction>("mnuShowHint");
        QVERIFY(hint->isChecked());
        hint->trigger();
        QVERIFY(!hint->isChecked());
        QVERIFY(p.window.statusText().isEmpty());
        QCOMPARE(settings::IniFile::load(dir.path() / "PVN.INI").readBool("Hints", "On", true), false);
    }
};

QTEST_MAIN(MainScreenTest)
#include "main_screen_test.moc"
