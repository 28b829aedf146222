// The main window's View command on real log tables: a received fax's file is shown and
// kept, a missing one is reported, a sent fax is built, shown and its file removed.
#include "viewer_test_fax.h"

#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"
#include "settings/settings.h"
#include "workflow/viewer/fax_viewer_window.h"

#include <QTabBar>
#include <QtTest>

using app::LogKind;
using app::TMainScreen;
using testing_support::answerNextBox;
using testing_support::LogDir;
using testing_support::onNextModal;
using workflow::viewer::TFaxViewer;

namespace {

struct Program {
    explicit Program(const std::filesystem::path& dir)
        : db(dir), window(dir, [this](LogKind k, const std::filesystem::path&) { return db.open(k); }, {}) {}
    app::LogDatabase db;
    TMainScreen window;
    void activate() {
        // A first run shows quick setup before the reindex question; it is cancelled.
        if (window.firstRun())
            onNextModal([](QWidget* setup) {
                if (auto* dialog = qobject_cast<QDialog*>(setup))
                    dialog->reject();
                answerNextBox(QMessageBox::No, 500);
            });
        else
            answerNextBox(QMessageBox::No, 500);
        window.FormActivate();
    }
};

struct Seen {
    bool shown = false;
    QString status;
    QString header;
    std::filesystem::path file;
    bool fileExisted = false;
};

// Closes the next viewer window after noting what it shows.
std::shared_ptr<Seen> closeNextViewer() {
    auto seen = std::make_shared<Seen>();
    onNextModal([seen](QWidget* m) {
        auto* viewer = qobject_cast<TFaxViewer*>(m);
        if (!viewer) {
            // Something else came up instead: note it and close it, so the test fails.
            if (auto* box = qobject_cast<QMessageBox*>(m))
                seen->status = box->text();
            if (auto* d = qobject_cast<QDialog*>(m))
                d->reject();
            return;
        }
        seen->shown = true;
        seen->status = viewer->statusText();
        seen->header = viewer->headerText();
        seen->file = viewer->faxFile();
        seen->fileExisted = std::filesystem::exists(seen->file);
        viewer->close();
    });
    return seen;
}

// Makes the row whose `field` holds `value` current.
void goToRecord(app::LogTable& t, const char* field, const char* value) {
    for (int r = 0; r < t.rowCount(); ++r)
        if (t.field(r, field) == value) {
            t.setCurrentRow(r);
            return;
        }
    QFAIL(value);
}

int apfFilesIn(const std::filesystem::path& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        n += e.path().extension() == ".APF" || e.path().extension() == ".apf";
    return n;
}

} // namespace

class ViewCommandTest : public QObject {
    Q_OBJECT
private slots:
    void init() { settings::current() = settings::Settings{}; }

    void receivedFaxIsShownAndKept() {
        LogDir dir;
        dir.seed({}, {{{"DATEREC", "20260310"}, {"TIMEREC", "08:00"}, {"FROM", "  Head Office "}, {"PAGES", "3"},
                       {"FAXFILE", "FAX0001.APF"}},
                      {{"DATEREC", "20260311"}, {"TIMEREC", "09:00"}, {"FROM", "Nobody"}, {"FAXFILE", "FAX0002.APF"}}});
        std::filesystem::create_directory(dir.path() / "receive");
        viewer_testing::writeFax(dir.path() / "receive" / "fax0001.apf", viewer_testing::threePages());
        Program p(dir.path());
        p.activate();
        p.window.findChild<QTabBar*>("TabSet1")->setCurrentIndex(1);
        goToRecord(*p.window.receivedTable(), "FAXFILE", "FAX0001.APF");
        const QString status = p.window.statusText();

        auto seen = closeNextViewer();
        p.window.ViewFaxButtonClick();
        QVERIFY2(seen->shown, qPrintable(seen->status));
        QCOMPARE(seen->status, QStringLiteral("Page 1 of 3"));
        QVERIFY(seen->header.startsWith(QStringLiteral("From: Head Office             Received: ")));
        QVERIFY(seen->header.contains(QStringLiteral(" at ")));
        QVERIFY(seen->header.endsWith(QStringLiteral("Fax File: ") +
                                      QString::fromStdString((dir.path() / "Receive" / "fax0001.apf").string()).toLower()));
        QVERIFY(std::filesystem::exists(dir.path() / "receive" / "fax0001.apf"));
        QCOMPARE(p.window.statusText(), status);
        QVERIFY(QApplication::overrideCursor() == nullptr);

        // The second record's file is gone.
        goToRecord(*p.window.receivedTable(), "FAXFILE", "FAX0002.APF");
        auto box = answerNextBox(QMessageBox::Ok);
        p.window.ViewFaxButtonClick();
        QVERIFY(box->seen);
        QCOMPARE(box->text, QStringLiteral("Fax file is missing"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void sentFaxIsBuiltShownAndRemoved() {
        LogDir dir;
        dir.seed({{{"SUBJECT", "Quarterly report"}, {"RECIPIENT", "Anna Berg"}, {"PHONE", "555 0101"},
                   {"RTFDOC", "{\\rtf1\\ansi The quarterly figures are attached.\\par}"}},
                  {{"SUBJECT", "Empty"}, {"RECIPIENT", "Carl Dahl"}}},
                 {});
        Program p(dir.path());
        p.activate();
        p.window.findChild<QTabBar*>("TabSet1")->setCurrentIndex(0);
        goToRecord(*p.window.sentTable(), "SUBJECT", "Quarterly report");

        auto seen = closeNextViewer();
        p.window.ViewFaxButtonClick();
        QVERIFY2(seen->shown, qPrintable(seen->status));
        QVERIFY(seen->fileExisted);
        QCOMPARE(seen->status, QStringLiteral("Page 1 of 1"));
        QCOMPARE(seen->header, QStringLiteral("To: Anna Berg             Subject: Quarterly report             Sent: not sent"));
        QVERIFY(!std::filesystem::exists(seen->file));
        QCOMPARE(apfFilesIn(dir.path()), 0);

        // Nothing to render: said so, and no viewer.
        goToRecord(*p.window.sentTable(), "SUBJECT", "Empty");
        // The build says there is nothing to render, then the command that the file could
        // not be made.
        QStringList texts;
        std::function<void(QWidget*)> answer = [&](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            if (!box)
                return;
            texts << box->text();
            if (texts.size() < 2)
                onNextModal(answer);
            box->done(QMessageBox::Ok);
        };
        onNextModal(answer);
        p.window.ViewFaxButtonClick();
        QCOMPARE(texts, QStringList({QStringLiteral("Fax has no contents or cover sheet"),
                                     QStringLiteral("Error creating fax file")}));
        QCOMPARE(apfFilesIn(dir.path()), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(ViewCommandTest)
#include "view_command_tests.moc"
