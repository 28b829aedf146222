// Faxes printed from other programs: jobs dropped into the watched inbox and files handed
// over by a later copy open, one after another, as new faxes with their pages inserted.
#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"
#include "print_inbox.h"
#include "printed_fax.h"
#include "single_instance.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/compose/fax_text_edit.h"
#include "workflow/compose/rich_editor.h"

#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <atomic>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using app::PrintInbox;
using testing_support::LogDir;
using testing_support::onNextModal;
using workflow::compose::TFaxEditor;

namespace {

const QString kProgram = QStringLiteral(PARVANE_BINARY_DIR "/app/parvane");

void writePdf(const fs::path& file, int pages) {
    QPdfWriter pdf(QString::fromStdString(file.string()));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(100);
    QPainter p(&pdf);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            pdf.newPage();
        p.fillRect(QRect(100, 100 + 50 * page, 400, 200), Qt::black);
    }
}

// Written beside the inbox and renamed in, as the backend does.
void dropJob(const fs::path& inbox, const std::string& name, int pages) {
    const fs::path temp = inbox.parent_path() / (".tmp-" + name);
    writePdf(temp, pages);
    fs::rename(temp, inbox / name);
}

int picturesIn(const QTextDocument& doc) {
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            n += it.fragment().charFormat().isImageFormat() ? 1 : 0;
    return n;
}

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file())
            out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

// What each editor the inbox opened showed, and how it was answered.
struct EditorSeen {
    int pictures = -1;
    int editorsVisible = 0;
};

// The window over a seeded log, an inbox beside it, and the program's wiring.
struct Program {
    explicit Program(const fs::path& inboxDir, bool activated = true)
        : db(dir.path()), window(dir.path(), [this](app::LogKind k, const fs::path&) { return db.open(k); }, {}),
          instance(dir.path()),
          inbox(inboxDir, dir.path(), [this](const fs::path& file) {
              return window.newFaxFromPrintedFile(file) ? PrintInbox::Outcome::Accepted
                                                        : PrintInbox::Outcome::Cancelled;
          }) {
        QVERIFY(instance.acquire());
        QVERIFY(instance.listen());
        app::connectPrintInbox(inbox, window, instance);
        if (activated)
            activate();
    }
    // The window's first activation, its first-run setup cancelled.
    void activate() {
        onNextModal([](QWidget* w) {
            if (auto* d = qobject_cast<QDialog*>(w); d && !qobject_cast<TFaxEditor*>(w))
                d->reject();
        });
        window.FormActivate();
        QVERIFY(!window.firstActivation());
    }
    // Answers the next `answers.size()` editors in turn (true: Accept).
    void answerEditors(std::vector<bool> answers) {
        if (answers.empty())
            return;
        onNextModal(
            [this, answers](QWidget* w) mutable {
                auto* editor = qobject_cast<TFaxEditor*>(w);
                QVERIFY2(editor, qPrintable(w->metaObject()->className()));
                EditorSeen s;
                s.pictures = picturesIn(*editor->richDoc()->edit()->document());
                for (QWidget* top : QApplication::topLevelWidgets())
                    s.editorsVisible += qobject_cast<TFaxEditor*>(top) && top->isVisible() ? 1 : 0;
                seen.push_back(s);
                const bool accept = answers.front();
                answers.erase(answers.begin());
                answerEditors(answers);
                if (accept)
                    editor->accept();
                else
                    editor->reject();
            },
            15000);
    }
    int sentRows() { return window.sentTable()->rowCount(); }

    LogDir dir;
    bool seeded = (dir.seed({{{"SUBJECT", "Earlier fax"}, {"RECIPIENT", "Anna Berg"}}}, {}, true), true);
    app::LogDatabase db;
    app::TMainScreen window;
    app::SingleInstance instance;
    PrintInbox inbox;
    std::vector<EditorSeen> seen;
};

// A later copy making its request on a thread of its own (the first copy answers from
// the test's event loop). `result` is -1 while it runs, then 1 (answered) or 0.
struct LaterCopy {
    LaterCopy(const fs::path& dir, std::function<bool(app::SingleInstance&)> request)
        : thread([this, dir, request] {
              app::SingleInstance later(dir);
              const bool lockTaken = !later.acquire();
              const bool answered = lockTaken && request(later);
              result = answered ? 1 : 0;
          }) {}
    ~LaterCopy() { thread.join(); }
    std::atomic<int> result{-1};
    std::thread thread;
};

} // namespace

class PrintInboxTest : public QObject {
    Q_OBJECT
private slots:
    void jobsAreTakenOldestFirstAndOnlyPlainFiles() {
        QTemporaryDir temp;
        const fs::path inbox = fs::path(temp.path().toStdString()) / "inbox";
        const fs::path into = fs::path(temp.path().toStdString()) / "printed";
        fs::create_directories(inbox / "sub");
        fs::create_directories(into);
        std::ofstream(inbox / "9-newer.pdf") << "newer";
        std::ofstream(inbox / "10-older.pdf") << "older";
        std::ofstream(inbox / ".job-11.tmp") << "half written";
        std::ofstream(temp.path().toStdString() + "/outside") << "outside";
        fs::create_symlink(temp.path().toStdString() + "/outside", inbox / "12-link.pdf");
        std::ofstream(into / "9-newer.pdf") << "left by an earlier run";
        const auto now = fs::file_time_type::clock::now();
        fs::last_write_time(inbox / "10-older.pdf", now - std::chrono::hours(1));
        fs::last_write_time(inbox / "9-newer.pdf", now);

        const auto moved = app::takePrintedJobs(inbox, into);
        QCOMPARE(moved, (std::vector<fs::path>{into / "10-older.pdf", into / "9-newer-2.pdf"}));
        LogDir reader;
        QCOMPARE(reader.readFile(into / "9-newer-2.pdf"), std::string("newer"));
        QCOMPARE(reader.readFile(into / "9-newer.pdf"), std::string("left by an earlier run"));
        // The link, the temporary and the directory stay; the link's target is untouched.
        QVERIFY(fs::is_symlink(inbox / "12-link.pdf"));
        QVERIFY(fs::exists(inbox / ".job-11.tmp"));
        QVERIFY(fs::is_directory(inbox / "sub"));
        QCOMPARE(reader.readFile(temp.path().toStdString() + "/outside"), std::string("outside"));
        // A missing inbox is no error.
        QVERIFY(app::takePrintedJobs(inbox / "none", into).empty());
    }

    void droppedJobOpensANewFaxWithItsPages() {
        QTemporaryDir spool;
        const fs::path inbox = fs::path(spool.path().toStdString()) / "user";
        Program p(inbox); // the inbox does not exist yet: the spool root is watched
        p.inbox.start();
        const int rowsBefore = p.sentRows();
        p.answerEditors({true});
        fs::create_directory(inbox);
        dropJob(inbox, "7-Quarterly_report.pdf", 3);
        QTRY_COMPARE_WITH_TIMEOUT(p.seen.size(), std::size_t(1), 15000);
        QCOMPARE(p.seen[0].pictures, 3);
        QCOMPARE(p.sentRows(), rowsBefore + 1);
        // Accepted: the job is gone from the spool and from the program's directory.
        QTRY_VERIFY(filesIn(p.inbox.printedDirectory()).empty());
        QVERIFY(filesIn(inbox).empty());
        QVERIFY(filesIn(p.inbox.printedDirectory() / app::kCancelledDirName).empty());
    }

    void jobsWaitForTheWindowAndOpenOneAfterAnother() {
        QTemporaryDir spool;
        const fs::path inbox = fs::path(spool.path().toStdString()) / "user";
        fs::create_directory(inbox);
        Program p(inbox);
        p.window.setStatus(QStringLiteral("Line ready"));
        p.inbox.start();
        const int rowsBefore = p.sentRows();

        // Receive mode holds them back.
        p.window.setReceiveMode(true);
        dropJob(inbox, "1-first.pdf", 1);
        QTRY_COMPARE(p.window.statusText(), QStringLiteral("A printed fax is waiting"));
        // They leave the spool at once, whatever happens to them next.
        QVERIFY(filesIn(inbox).empty());
        p.window.setReceiveMode(false);
        // ... and so does any other modal window.
        QMessageBox box(QMessageBox::Information, "Busy", "Another window", QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &box);
        dropJob(inbox, "2-second.pdf", 2);
        QTRY_COMPARE(p.window.statusText(), QStringLiteral("2 printed faxes are waiting"));
        QTest::qWait(1500);
        QVERIFY(p.seen.empty());

        p.answerEditors({false, true});
        box.close();
        QTRY_COMPARE_WITH_TIMEOUT(p.seen.size(), std::size_t(2), 20000);
        QCOMPARE(p.seen[0].pictures, 1);
        QCOMPARE(p.seen[1].pictures, 2);
        QCOMPARE(p.seen[0].editorsVisible, 1);
        QCOMPARE(p.seen[1].editorsVisible, 1);
        QCOMPARE(p.sentRows(), rowsBefore + 1);
        QTRY_COMPARE(p.window.statusText(), QStringLiteral("Line ready"));
        // The cancelled job is kept aside, the accepted one removed.
        QVERIFY(filesIn(p.inbox.printedDirectory()).empty());
        QCOMPARE(filesIn(p.inbox.printedDirectory() / app::kCancelledDirName),
                 std::vector<fs::path>{"1-first.pdf"});
    }

    void aJobLeftByAnEarlierRunIsOfferedAgainButNotACancelledOne() {
        QTemporaryDir spool;
        const fs::path inbox = fs::path(spool.path().toStdString()) / "user";
        Program p(inbox, false);
        const fs::path printed = p.inbox.printedDirectory();
        fs::create_directories(printed / app::kCancelledDirName);
        writePdf(printed / "3-left.pdf", 2);
        writePdf(printed / app::kCancelledDirName / "4-dropped.pdf", 1);
        // Not before the window's first activation (with its first-run setup) is over.
        p.inbox.start();
        QTRY_COMPARE(p.window.statusText(), QStringLiteral("A printed fax is waiting"));
        QTest::qWait(300);
        QVERIFY(p.seen.empty());
        p.activate();
        p.answerEditors({true});
        QTRY_COMPARE_WITH_TIMEOUT(p.seen.size(), std::size_t(1), 15000);
        QCOMPARE(p.seen[0].pictures, 2);
        QTest::qWait(500);
        QCOMPARE(p.seen.size(), std::size_t(1));
        QVERIFY(filesIn(printed).empty());
        QCOMPARE(filesIn(printed / app::kCancelledDirName), std::vector<fs::path>{"4-dropped.pdf"});
    }

    void aFileHandedOverByALaterCopyOpensHere() {
        QTemporaryDir spool;
        Program p(fs::path(spool.path().toStdString()) / "user");
        p.inbox.start();
        // A name that would break a line-based request unless it is encoded.
        const QString name = QStringLiteral("two\nlines 100%25 ü.pdf");
        writePdf(fs::path(spool.path().toStdString()) / name.toStdString(), 2);
        p.answerEditors({false});

        QProcess later;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        later.setProcessEnvironment(env);
        later.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        later.setWorkingDirectory(spool.path()); // a relative name, resolved by the later copy
        later.start(kProgram, {"--data-dir", p.dir.temp.path(), "--fax-file", name});
        QVERIFY(later.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(p.seen.size(), std::size_t(1), 20000);
        QCOMPARE(p.seen[0].pictures, 2);
        QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 15000);
        QCOMPARE(later.exitCode(), 0);
        // Not a printed job: the user's file stays where it was, nothing is kept aside.
        QVERIFY(fs::exists(fs::path(spool.path().toStdString()) / name.toStdString()));
        QVERIFY(filesIn(p.inbox.printedDirectory() / app::kCancelledDirName).empty());

    }

    void aLaterCopyAsksForTheInboxToBeLookedAt() {
        QTemporaryDir spool;
        const fs::path inbox = fs::path(spool.path().toStdString()) / "user";
        fs::create_directory(inbox);
        Program p(inbox); // not started: nothing watches the inbox, only the request comes
        dropJob(inbox, "5-by-request.pdf", 1);
        p.answerEditors({false});
        LaterCopy later(p.dir.path(), [](app::SingleInstance& copy) {
            return copy.handInboxCheck(std::chrono::seconds(5));
        });
        QTRY_COMPARE_WITH_TIMEOUT(p.seen.size(), std::size_t(1), 15000);
        QTRY_COMPARE(later.result.load(), 1);
        QCOMPARE(p.seen[0].pictures, 1);
    }

    void aLaterCopyWithNobodyToTakeTheFileFails() {
        QTemporaryDir dir;
        auto first = std::make_unique<app::SingleInstance>(dir.path().toStdString());
        QVERIFY(first->acquire());
        QVERIFY(first->listen());
        QStringList files;
        connect(first.get(), &app::SingleInstance::faxFileRequested, [&](const QString& f) { files << f; });
        auto hand = [](app::SingleInstance& later) {
            return later.handFaxFile("/tmp/x.pdf", std::chrono::milliseconds(1500));
        };
        {
            LaterCopy later(dir.path().toStdString(), hand);
            QTRY_COMPARE(later.result.load(), 1);
            QTRY_COMPARE(files, QStringList{"/tmp/x.pdf"});
        }
        // A first copy that holds the lock but does not listen (yet): the request fails
        // instead of being lost quietly.
        first.reset();
        app::SingleInstance deaf(dir.path().toStdString());
        QVERIFY(deaf.acquire());
        LaterCopy orphan(dir.path().toStdString(), [](app::SingleInstance& copy) {
            return copy.handFaxFile("/tmp/x.pdf", std::chrono::milliseconds(300));
        });
        QTRY_COMPARE_WITH_TIMEOUT(orphan.result.load(), 0, 5000);
    }
};

QTEST_MAIN(PrintInboxTest)
#include "print_inbox_test.moc"
