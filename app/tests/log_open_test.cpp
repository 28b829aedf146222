// Start-up with a log table that does not open: the box keeps the program's line and adds
// the file and the fault, a repair keeps a copy of the damaged file and brings the log
// back, and tables that can only be read open read-only.
#include "faxlog/tests/unwritable_files.h"
#include "faxlog_table.h"
#include "log_fixture.h"
#include "log_open_rescue.h"
#include "main_screen.h"
#include "modal_helper.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>


using app::LogKind;
using app::TMainScreen;
using testing_support::LogDir;

namespace {

struct Program {
    explicit Program(const std::filesystem::path& dir)
        : db(dir), window(dir, [this](LogKind k, const std::filesystem::path&) { return db.open(k); },
                          options()) {}
    TMainScreen::Options options() {
        TMainScreen::Options o;
        o.rescue = &db;
        return o;
    }
    int rows(const char* grid) {
        return window.findChild<QTableView*>(QString::fromLatin1(grid))->model()->rowCount();
    }
    app::LogDatabase db;
    TMainScreen window;
};

// What the next rescue box said, and the button pressed on it.
struct Box {
    bool seen = false;
    QString text, details;
    QStringList buttons;
};

std::shared_ptr<Box> pressOnNextBox(const char* button, std::function<void()> then = {}) {
    auto box = std::make_shared<Box>();
    testing_support::onNextModal([box, button, then](QWidget* w) {
        auto* mb = qobject_cast<QMessageBox*>(w);
        if (!mb)
            return;
        box->seen = true;
        box->text = mb->text();
        box->details = mb->informativeText();
        for (QAbstractButton* b : mb->buttons())
            box->buttons << b->objectName();
        if (then)
            then();
        if (auto* b = mb->findChild<QPushButton*>(QString::fromLatin1(button)))
            b->click();
        else
            mb->accept();
    });
    return box;
}

std::vector<testing_support::Fields> threeSent() {
    return {{{"SUBJECT", "Quarterly report"}, {"RECIPIENT", "Anna Berg"}, {"RTFDOC", "{\\rtf1 a}"}},
            {{"SUBJECT", "Draft"}, {"RECIPIENT", "Carl Dahl"}, {"RTFDOC", "{\\rtf1 b}"}},
            {{"SUBJECT", "Invoice 7"}, {"RECIPIENT", "Eva Fors"}, {"RTFDOC", "{\\rtf1 c}"}}};
}

std::vector<testing_support::Fields> twoReceived() {
    return {{{"DATEREC", "20260310"}, {"TIMEREC", "08:00"}, {"FROM", "+46 8 123"}, {"FAXFILE", "FAX0001.APF"}},
            {{"DATEREC", "20260311"}, {"TIMEREC", "17:30"}, {"FROM", "Head Office"}, {"FAXFILE", "FAX0002.APF"}}};
}

std::vector<std::filesystem::path> copiesOf(const std::filesystem::path& dir, const std::string& name) {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(name + ".damaged-", 0) == 0)
            out.push_back(e.path());
    return out;
}

} // namespace

class LogOpenTest : public QObject {
    Q_OBJECT
private slots:
    void aCutRecordIsRepairedKeepingACopy() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        const auto table = dir.path() / "PVN.DBF";
        std::string bytes = dir.readFile(table);
        bytes.resize(bytes.size() - 40); // the last record cut short, end mark gone
        dir.writeFile("PVN.DBF", bytes);

        std::shared_ptr<testing_support::SeenBox> report;
        auto box = pressOnNextBox(app::kRepairButtonName,
                                  [&report] { report = testing_support::answerNextBox(QMessageBox::Ok); });
        Program p(dir.path());
        QVERIFY(box->seen);
        QCOMPARE(box->text, QString("Unable to open/create the FAX datafile - closing program"));
        QVERIFY2(box->details.contains(QString::fromStdString(table.string())), qPrintable(box->details));
        QVERIFY2(box->details.contains("cut short"), qPrintable(box->details));
        QCOMPARE(box->buttons.contains(app::kRepairButtonName), true);
        QVERIFY(report && report->seen);
        QVERIFY2(report->text.contains("kept as"), qPrintable(report->text));

        QVERIFY(!p.window.startupFailed());
        QCOMPARE(p.rows("FaxGrid"), 2);
        QCOMPARE(p.rows("RecFaxGrid"), 2);
        const auto copies = copiesOf(dir.path(), "PVN.DBF");
        QCOMPARE(copies.size(), std::size_t(1));
        QCOMPARE(dir.readFile(copies[0]), bytes);
    }

    void aMissingMemoFileIsRepairedAndTheRecordsStay() {
        LogDir dir;
        dir.seed(threeSent(), {});
        std::filesystem::remove(dir.path() / "PVN.FPT");
        {
            std::shared_ptr<testing_support::SeenBox> report;
            auto box = pressOnNextBox(app::kRepairButtonName,
                                      [&report] { report = testing_support::answerNextBox(QMessageBox::Ok); });
            Program p(dir.path());
            QVERIFY(box->seen);
            QVERIFY2(box->details.contains("PVN.FPT") && box->details.contains("missing"), qPrintable(box->details));
            QVERIFY(!p.window.startupFailed());
            QCOMPARE(p.rows("FaxGrid"), 3);
            QVERIFY(std::filesystem::exists(dir.path() / "PVN.FPT"));
            QCOMPARE(copiesOf(dir.path(), "PVN.DBF").size(), std::size_t(1));
        }
        {
            // Memo numbers into the lost file were cleared: a new text cannot land in an old
            // record, and the old records read as empty texts, without an error.
            faxlog::DbeEngine e;
            QVERIFY(e.dbe_Use(dir.path() / "PVN.DBF", "S", faxlog::kModeExclusive, faxlog::kDriverFoxCdx) != 0);
            for (long r = 1; r <= 3; ++r) {
                QVERIFY(e.dbe_Go(r));
                QCOMPARE(e.dbe_GetMemo("RTFDOC"), std::string());
                QCOMPARE(e.dbe_LastError(), std::string());
            }
            QVERIFY(e.dbe_AppendBlank());
            QVERIFY(e.dbe_ReplaceMemo("RTFDOC", "{\\rtf1 new}"));
            QVERIFY(e.dbe_Go(1));
            QCOMPARE(e.dbe_GetMemo("RTFDOC"), std::string());
        }
    }

    void tablesThatCannotBeWrittenOpenReadOnly() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        const auto received = dir.path() / "PVNREC.DBF";
        const std::string before = dir.readFile(received);
        {
            faxlog::test::UnwritableFiles lock({received});
            QVERIFY(lock.ok());
            auto box = pressOnNextBox(app::kReadOnlyButtonName);
            Program p(dir.path());
            QVERIFY(box->seen);
            QCOMPARE(box->text, QString("Unable to open/create the FAX RECEIVE datafile - closing program"));
            QVERIFY2(box->details.contains("PVNREC.DBF") && box->details.contains("not changed"),
                     qPrintable(box->details));
            QVERIFY(!box->buttons.contains(app::kRepairButtonName));
            QVERIFY(!p.window.startupFailed());
            QCOMPARE(p.rows("RecFaxGrid"), 2);
            QVERIFY(p.window.receivedTable()->readOnly());
            QVERIFY(!p.window.sentTable()->readOnly());
            QVERIFY(p.window.windowTitle().contains("read-only"));
            p.window.receivedTable()->deleteCurrent(); // changes nothing, and does not throw
            QCOMPARE(p.rows("RecFaxGrid"), 2);
            p.window.close();
        }
        QCOMPARE(dir.readFile(received), before);
    }

    void recordsBeyondAShortCountAreTakenInAndTold() {
        LogDir dir;
        dir.seed(threeSent(), twoReceived());
        std::string bytes = dir.readFile(dir.path() / "PVNREC.DBF");
        bytes[4] = 1; // the header counts one of the two records
        dir.writeFile("PVNREC.DBF", bytes);
        auto told = testing_support::answerNextBox(QMessageBox::Ok);
        Program p(dir.path());
        QVERIFY(!p.window.startupFailed());
        QVERIFY(told->seen);
        QVERIFY2(told->text.contains("PVNREC.DBF") && told->text.contains("recovered"), qPrintable(told->text));
        QCOMPARE(p.rows("RecFaxGrid"), 2);
    }

    void whatCannotBeHelpedStillEndsTheStart() {
        LogDir dir;
        dir.seed({}, {});
        const std::string garbage(600, '\x5a');
        dir.writeFile("PVN.DBF", garbage);
        auto box = pressOnNextBox(app::kCloseButtonName);
        Program p(dir.path());
        QVERIFY(box->seen);
        QVERIFY2(box->details.contains("PVN.DBF") && box->details.contains("version byte"), qPrintable(box->details));
        QCOMPARE(box->buttons, QStringList({app::kCloseButtonName}));
        QVERIFY(p.window.startupFailed());
        QCOMPARE(dir.readFile(dir.path() / "PVN.DBF"), garbage);
        QVERIFY(copiesOf(dir.path(), "PVN.DBF").empty());
    }
};

QTEST_MAIN(LogOpenTest)
#include "log_open_test.moc"
