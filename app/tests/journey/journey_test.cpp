// A new user's whole journey through the program, on an empty data directory and the
// program's own virtual fax line, with the real windows: quick setup, a cover template, a
// phone book entry, a fax composed from both and sent to the line's fax machine, viewed and
// printed, a fax received in receive mode and its notes edited, viewed and exported, the
// cleanup utility and a rebuild, and a second start that finds everything where it was.
// What the far end received, the printed and exported PDFs and the tables are read back by
// programs nobody here wrote (libtiff, poppler, tesseract, dbfread).
#include "journey_director.h"
#include "send_call_support.h"
#include "vline_fixture.h"

#include "app/maintenance/dm_form.h"
#include "workflow/compose/cover_browse.h"
#include "workflow/compose/cover_editor.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/compose/rich_editor.h"
#include "workflow/phonebook/phone_book_editor.h"
#include "workflow/phonebook/phone_book_window.h"
#include "workflow/receive/edit_receive_notes.h"
#include "workflow/viewer/fax_viewer_window.h"
#include "viewer_printing.h"

#include <QComboBox>
#include <QMenu>
#include <QProcess>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <set>

using namespace send_test;
using journey::Director;
namespace lt = faxengine::linetest;
using lt::commandOutput;
namespace fs = std::filesystem;

namespace {

constexpr int kCallWaitMs = 180000;

// Pages of a PDF as poppler counts them; -1 when it cannot read it.
int pdfPages(const fs::path& pdf) {
    const std::string info = commandOutput("pdfinfo '" + pdf.string() + "' 2>/dev/null | sed -n 's/^Pages: *//p'");
    return info.empty() ? -1 : std::stoi(info);
}

// The words tesseract reads on page `page` (from 1) of a PDF, rendered by pdftoppm.
QString pdfPageText(const fs::path& pdf, int page, const fs::path& scratch) {
    const fs::path png = scratch / ("ocr-" + std::to_string(page));
    const std::string p = std::to_string(page);
    if (lt::run("pdftoppm -r 200 -gray -png -f " + p + " -l " + p + " -singlefile '" + pdf.string() + "' '" +
                png.string() + "'") != 0)
        return {};
    return QString::fromStdString(commandOutput("tesseract '" + png.string() + ".png' - --psm 4 2>/dev/null"))
        .simplified();
}

// Records of a table as dbfread reads them: FIELD=value pairs joined by '|', a line each.
QStringList dbfRecords(const fs::path& dir, const char* table, const char* fields) {
    const std::string script = "import dbfread\nfor r in dbfread.DBF('" + std::string(table) +
                               "'):\n    print('|'.join(f + '=' + str(r[f]).strip() for f in '" + fields +
                               "'.split()))\n";
    const std::string out = commandOutput("cd '" + dir.string() + "' && /usr/bin/python3 -c \"" + script + "\" 2>&1");
    return out.empty() ? QStringList() : QString::fromStdString(out).split(QLatin1Char('\n'));
}

// No window or message came that the step did not expect.
#define NOTHING_ELSE_ASKED()                                                                             \
    do {                                                                                                 \
        const QStringList extra = director_.unexpected();                                                \
        QVERIFY2(extra.isEmpty(), qPrintable(extra.join(QStringLiteral(" | "))));                         \
    } while (false)

// A picture of the screen when the run is under Xvfb with PARVANE_SHOT_DIR set.
void shot(const char* name) {
    const char* dir = std::getenv("PARVANE_SHOT_DIR");
    if (!dir || !*dir)
        return;
    QTest::qWait(300);
    const std::string cmd = "import -window root '" + std::string(dir) + "/journey-" + name + ".png'";
    if (std::system(cmd.c_str()) != 0)
        qWarning("screenshot failed: %s", cmd.c_str());
}

int filesStartingWith(const fs::path& dir, const std::string& prefix) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

void typeInto(QWidget* w, const QString& text) {
    w->setFocus();
    QTest::keyClicks(w, text);
}

} // namespace

class JourneyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartAsksOnlyForQuickSetup();
    void aCoverTemplateWithMergeFields();
    void aPhoneBookEntryAndANewFaxFromBoth();
    void theFaxGoesToTheLinesFaxMachine();
    void viewedAndPrinted();
    void aTwoPageFaxArrivesInReceiveMode();
    void itsNotesAreEditedAndItIsExported();
    void theCleanupDeletesTheSentFaxAndTheLogIsRebuilt();
    void theNextStartFindsEverythingWhereItWas();
    void cleanupTestCase();

private:
    void startProgram();
    // Samples the status line while waiting.
    bool waitSampling(const std::function<bool()>& done, int timeoutMs);

    QTemporaryDir temp_;
    fs::path dir_, scratch_, logDir_, printOut_;
    QString queue_;
    vline::LaunchOptions launch_;
    std::unique_ptr<Program> p_;
    Director director_;
    QStringList statusLines_;
    fs::path keptApf_; // the sent fax file as the send dialog built it
};

void JourneyTest::initTestCase() {
    QVERIFY2(lt::haveTool("efix") && lt::haveTool("tiffcp") && lt::haveTool("pdfinfo") && lt::haveTool("pdftoppm") &&
                 lt::haveTool("tesseract"),
             "efix, libtiff-tools, poppler-utils and tesseract-ocr are needed (scripts/setup installs them)");
    dir_ = temp_.path().toStdString() + "/data";
    scratch_ = temp_.path().toStdString() + "/scratch";
    logDir_ = scratch_ / "line-logs";
    fs::create_directories(dir_);
    fs::create_directories(scratch_);

    // The fax the line's fax machine sends later: two short pages made by efix.
    for (int i = 1; i <= 2; ++i) {
        std::ofstream(scratch_ / ("p" + std::to_string(i) + ".txt"))
            << "Incoming page " << i << "\nA fax for the journey, page " << i << " of 2\n";
        QCOMPARE(lt::run("cd '" + scratch_.string() + "' && efix -i text -o tiffg3 -r 204x98 -p 215x70mm -n p" +
                         std::to_string(i) + ".tif p" + std::to_string(i) + ".txt 2>/dev/null"),
                 0);
    }
    QCOMPARE(lt::run("cd '" + scratch_.string() + "' && tiffcp p1.tif p2.tif incoming.tif"), 0);

    // The line: the receiving machine 200 of the built-in plan, and a machine that calls our
    // modem once it has been quiet long enough (that is, in receive mode) to send the fax.
    std::ofstream(scratch_ / "line.conf")
        << "[line]\nring-period = 2s\n[modem 100]\n[modem 101]\n[farend 200]\nmode = receive\n"
           "ident = +1 555 0200\n[farend 201]\nmode = send\ndial = 100\necm = no\ncall-delay = 6s\n"
           "ident = +1 555 0201\nfile = "
        << (scratch_ / "incoming.tif").string() << "\n";
    launch_.executable = PARVANE_VLINE_EXE;
    launch_.arguments = {"--config", (scratch_ / "line.conf").string(), "--log-dir", logDir_.string()};

    // Printing goes to the CUPS PDF queue, chosen as the default printer of this process.
    const std::string setup = "'" + std::string(PARVANE_SOURCE_DIR) + "/scripts/cups-test-printer'";
    printOut_ = commandOutput(setup);
    queue_ = QString::fromStdString(commandOutput(setup + " --queue"));
    QVERIFY2(fs::is_directory(printOut_), "the CUPS PDF queue is not set up");
    qputenv("PRINTER", queue_.toUtf8());
}

void JourneyTest::startProgram() {
    p_ = std::make_unique<Program>(dir_);
    p_->window.chooseFaxLine = [this](const settings::Settings& s) { return app::FaxLine::forSettings(s, launch_); };
    app::installViewerPrinting(p_->window, dir_);
    p_->window.setFaxLine(p_->window.chooseFaxLine(settings::current()));
}

bool JourneyTest::waitSampling(const std::function<bool()>& done, int timeoutMs) {
    return waitFor(
        [&] {
            const QString s = p_->window.statusText();
            if (!s.isEmpty() && (statusLines_.isEmpty() || statusLines_.back() != s))
                statusLines_ << s;
            return done();
        },
        timeoutMs);
}

void JourneyTest::firstStartAsksOnlyForQuickSetup() {
    startProgram();
    QVERIFY(p_->window.firstRun());
    QVERIFY2(p_->window.faxLine() && p_->window.faxLine()->isVirtual(), "the virtual line did not start");
    QString shownPort;
    director_.expect("TQuickSetupForm", [&](QWidget* w) {
        shownPort = child<QComboBox>(w, "ComPort")->currentText();
        typeInto(child<QLineEdit>(w, "Name"), QStringLiteral("Journey Tester"));
        typeInto(child<QLineEdit>(w, "FaxNumber"), QStringLiteral("555 0100"));
        shot("01-quick-setup");
        child<QPushButton>(w, "OkButton")->click();
    });
    p_->window.FormActivate();
    QVERIFY(director_.allDone());
    // Nothing else was asked: above all not to reindex the new log.
    NOTHING_ELSE_ASKED();
    QVERIFY2(shownPort.contains(QStringLiteral("virtual fax line")), qPrintable(shownPort));
    QVERIFY(!p_->window.firstRun());
    QVERIFY(p_->window.isVisible());
    QCOMPARE(p_->window.sentTable()->rowCount(), 0);
    QCOMPARE(p_->window.receivedTable()->rowCount(), 0);
    QVERIFY(fs::exists(dir_ / "PVN.INI"));
    QVERIFY(p_->window.faxLine() && p_->window.faxLine()->isVirtual());
    shot("02-main-window-empty");
}

void JourneyTest::aCoverTemplateWithMergeFields() {
    int templates = -1;
    director_.expect("TCoverBrowse", [&](QWidget* w) {
        auto* browser = static_cast<workflow::compose::TCoverBrowse*>(w);
        browser->NewButtonClick();
        templates = browser->grid()->rowCount();
        shot("04-cover-browser");
        browser->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    });
    director_.expect("TCoverEditor", [&](QWidget* w) {
        auto* editor = static_cast<workflow::compose::TCoverEditor*>(w);
        editor->description()->selectAll();
        typeInto(editor->description(), QStringLiteral("Journey cover"));
        QTextEdit* text = editor->richCover()->edit();
        auto field = [editor](const char* name) {
            editor->insertMenu()->findChild<QAction*>(QString::fromLatin1(name))->trigger();
        };
        typeInto(text, QStringLiteral("FAX COVER SHEET"));
        QTest::keyClick(text, Qt::Key_Return);
        typeInto(text, QStringLiteral("To: "));
        field("mnuRecipient1");
        QTest::keyClick(text, Qt::Key_Return);
        typeInto(text, QStringLiteral("Fax: "));
        field("mnuFaxNumber1");
        QTest::keyClick(text, Qt::Key_Return);
        typeInto(text, QStringLiteral("Subject: "));
        field("mnuSubject");
        QTest::keyClick(text, Qt::Key_Return);
        typeInto(text, QStringLiteral("Date: "));
        field("mnuDate");
        shot("03-cover-editor");
        editor->findChild<QPushButton*>(QStringLiteral("OKbutton"))->click();
    });
    p_->window.mnuCoverClick();
    QVERIFY(director_.allDone());
    QCOMPARE(templates, 1);
    NOTHING_ELSE_ASKED();
}

void JourneyTest::aPhoneBookEntryAndANewFaxFromBoth() {
    // The phone book first, from the main window's menu.
    director_.expect("TPhoneBook", [](QWidget* w) {
        auto* book = static_cast<phonebook::TPhoneBook*>(w);
        book->AddbuttonClick();
        QCOMPARE(book->PhoneGrid->model()->rowCount(), 1);
        book->Closebutton->click();
    });
    director_.expect("TPhoneBookEditor", [](QWidget* w) {
        auto* editor = static_cast<phonebook::TPhoneBookEditor*>(w);
        typeInto(editor->Name, QStringLiteral("Journey Receiver"));
        typeInto(editor->Number, QStringLiteral("200"));
        editor->OKButton->click();
    });
    p_->window.mnuPhoneBookClick();
    QVERIFY(director_.allDone());

    // The fax: recipient from the phone book, cover from the template, a typed body.
    QString cover;
    director_.expect("TFaxEditor", [&](QWidget* w) {
        auto* editor = static_cast<workflow::compose::TFaxEditor*>(w);
        editor->findChild<QPushButton*>(QStringLiteral("AddressButton"))->click();
        typeInto(editor->subject(), QStringLiteral("Journey report"));
        editor->LoadCoverButtonClick();
        cover = editor->richCover()->document()->toPlainText();
        editor->findChild<QPushButton*>(QStringLiteral("DocumentButton"))->click();
        typeInto(editor->richDoc()->edit(), QStringLiteral("The journey body text follows here."));
        shot("05-fax-editor-document");
        editor->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    director_.expect("TPhoneBook", [](QWidget* w) {
        auto* book = static_cast<phonebook::TPhoneBook*>(w);
        book->setCurrentRow(0);
        book->OKButton->click();
    });
    director_.expect("TCoverBrowse", [](QWidget* w) {
        w->findChild<QPushButton*>(QStringLiteral("Acceptbutton"))->click();
    });
    p_->window.NewbuttonClick();
    QVERIFY(director_.allDone());
    NOTHING_ELSE_ASKED();
    QVERIFY2(cover.contains(QStringLiteral("To: Journey Receiver")), qPrintable(cover));
    QVERIFY(cover.contains(QStringLiteral("Fax: 200")));
    QVERIFY(cover.contains(QStringLiteral("Subject: Journey report")));
    QVERIFY(!cover.contains(QStringLiteral("[DATE]")));

    QCOMPARE(p_->window.sentTable()->rowCount(), 1);
    QCOMPARE(p_->sentField("RECIPIENT"), std::string("Journey Receiver"));
    QCOMPARE(p_->sentField("PHONE"), std::string("200"));
    QCOMPARE(p_->sentField("SUBJECT"), std::string("Journey report"));
    shot("06-main-window-new-fax");
}

void JourneyTest::theFaxGoesToTheLinesFaxMachine() {
    SeenMessages seen;
    Attempt sent;
    QString shownNumber;
    keptApf_ = scratch_ / "sent.apf";
    director_.tolerate(QStringLiteral("TSendFaxForm"));
    p_->window.setSendJobHook([&](workflow::send::SendJobHooks& h) {
        recordMessages(h.services, seen);
        h.onDialogShown = [&](workflow::send::TSendFaxForm& d) {
            std::filesystem::copy_file(d.faxFile().toStdString(), keptApf_, fs::copy_options::overwrite_existing);
            shownNumber = child<QLineEdit>(&d, "sfPhoneNumber")->text();
            sent = runAttempt(d, seen, shownNumber, [](workflow::send::TSendFaxForm&) { shot("07-sending"); });
            d.CloseButtonClick();
        };
    });
    p_->window.SendButtonClick();
    p_->window.setSendJobHook({});
    QCOMPARE(shownNumber, QStringLiteral("200"));
    QVERIFY2(sent.finished && sent.errorCodes.isEmpty(),
             qPrintable(sent.errorTexts.join(" | ") + "\n" + joined(sent.steps)));
    QCOMPARE(sent.result, QStringLiteral("Sent"));

    // What the sent list shows: sent, two pages (cover and body), the result.
    QCOMPARE(p_->sentField("SENT"), std::string("T"));
    QCOMPARE(p_->sentField("PAGES"), std::string("2"));
    QCOMPARE(p_->sentField("LASTRESULT"), std::string("Sent"));
    const QAbstractItemModel* grid = p_->window.findChild<QTableView*>(QStringLiteral("FaxGrid"))->model();
    QCOMPARE(grid->rowCount(), 1);
    QStringList row;
    for (int c = 0; c < grid->columnCount(); ++c)
        row << grid->data(grid->index(0, c)).toString();
    QVERIFY2(row.contains(QStringLiteral("Journey Receiver")) && row.contains(QStringLiteral("2")),
             qPrintable(row.join(" | ")));
    shot("08-sent-list");

    // The far end's TIFF: two pages through libtiff, the cover's words through tesseract.
    std::string farEnd;
    QVERIFY(waitFor(
        [&] {
            for (const auto& line : lineResults(logDir_))
                if (lt::resultField(line, "number") == "200" && lt::resultField(line, "result") == "0")
                    farEnd = lt::resultField(line, "file");
            return !farEnd.empty();
        },
        10000));
    QCOMPARE(lt::tiffPageCount(farEnd), 2);
    const QString read = QString::fromStdString(commandOutput("tesseract '" + farEnd + "' - --psm 4 2>/dev/null")).simplified();
    for (const char* words : {"To: Journey Receiver", "Subject: Journey report", "The journey body text follows here."})
        QVERIFY2(read.contains(QLatin1String(words)), qPrintable(QStringLiteral("read: ") + read));
}

void JourneyTest::viewedAndPrinted() {
    const auto before = lt::filesWithExtension(printOut_, ".pdf");
    int pages = -1;
    director_.expect("TFaxViewer", [&](QWidget* w) {
        auto* viewer = static_cast<workflow::viewer::TFaxViewer*>(w);
        QTest::qWait(200);
        pages = viewer->FaxViewer->NumPages();
        shot("09-viewer-sent");
        viewer->PrintClick();
        viewer->accept();
    });
    director_.expect("TPrePrintForm", [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    p_->window.ViewFaxButtonClick();
    QVERIFY(director_.allDone());
    NOTHING_ELSE_ASKED();
    QCOMPARE(pages, 2);
    // The sent fax was built for viewing and is gone again.
    QCOMPARE(filesStartingWith(dir_, "PVN_"), 0);

    fs::path printed;
    QVERIFY2(waitFor(
                 [&] {
                     for (const auto& f : lt::filesWithExtension(printOut_, ".pdf"))
                         if (!before.count(f))
                             printed = f;
                     return !printed.empty();
                 },
                 60000),
             "no PDF came out of the CUPS PDF queue");
    QTest::qWait(1000); // cups-pdf may still be writing
    QCOMPARE(pdfPages(printed), 2);
    const QString text = pdfPageText(printed, 2, scratch_);
    QVERIFY2(text.contains(QStringLiteral("journey body text")), qPrintable(text));
}

void JourneyTest::aTwoPageFaxArrivesInReceiveMode() {
    p_->window.ReceiveButtonClick();
    QVERIFY(p_->window.receiveMode());
    shot("10-receive-mode");
    QVERIFY2(waitSampling([&] { return p_->window.receivedTable()->rowCount() == 1 && !p_->window.receivingNow(); },
                          kCallWaitMs),
             qPrintable(statusLines_.join(" | ")));
    shot("11-received");
    p_->window.ReceiveButtonClick();
    QVERIFY(waitFor([&] { return !p_->window.receiveMode(); }, 30000));
    qInfo("status lines: %s", qPrintable(statusLines_.join(" | ")));

    QCOMPARE(p_->window.page(), app::LogPage::Received);
    faxlog::TDbeTable* rec = p_->window.receivedTable()->engineTable();
    QCOMPARE(QString::fromStdString(rec->getTrimString("FROM")), QStringLiteral("+1 555 0201"));
    QCOMPARE(rec->getTrimString("PAGES").find('2') != std::string::npos, true);
    const fs::path file = faxlog::receivedFaxPath(dir_, rec->getTrimString("FAXFILE"));
    QVERIFY2(fs::exists(file), file.c_str());
    // The pages equal what the line's machine sent, row for row.
    for (int page = 0; page < 2; ++page) {
        const lt::Page sent = lt::decodeTiff(scratch_ / "incoming.tif", page);
        const lt::Page got = lt::decodeApf(file, page + 1);
        QCOMPARE(got.width, sent.width);
        QCOMPARE(lt::differingRows(sent, got), 0);
    }
}

void JourneyTest::itsNotesAreEditedAndItIsExported() {
    director_.expect("TEditReceiveNotes", [](QWidget* w) {
        typeInto(child<QLineEdit>(w, "Notes"), QStringLiteral("Answered by phone"));
        child<QPushButton>(w, "OKButton")->click();
    });
    p_->window.EditButtonClick();
    QVERIFY(director_.allDone());
    QCOMPARE(QString::fromStdString(p_->window.receivedTable()->engineTable()->getTrimString("NOTES")),
             QStringLiteral("Answered by phone"));

    const fs::path pdf = scratch_ / "received.pdf";
    int pages = -1;
    director_.expect("TFaxViewer", [&](QWidget* w) {
        auto* viewer = static_cast<workflow::viewer::TFaxViewer*>(w);
        QTest::qWait(200);
        pages = viewer->FaxViewer->NumPages();
        shot("12-viewer-received");
        viewer->chooseFile = [&pdf](QWidget*, const QString&, const QString&, const QString&, QString*) {
            return QString::fromStdString(pdf.string());
        };
        viewer->ExportClick();
        viewer->accept();
    });
    // The page range for a PDF: both pages, as offered.
    director_.expectAny([](QWidget* w) { return w->findChild<QSpinBox*>() != nullptr; },
                        [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    p_->window.ViewFaxButtonClick();
    QVERIFY(director_.allDone());
    NOTHING_ELSE_ASKED();
    QCOMPARE(pages, 2);
    QCOMPARE(pdfPages(pdf), 2);
    const QString text = pdfPageText(pdf, 2, scratch_);
    QVERIFY2(text.contains(QStringLiteral("Incoming page 2")), qPrintable(text));
    // A received file is never deleted by viewing.
    QVERIFY(fs::exists(faxlog::receivedFaxPath(dir_, p_->window.receivedTable()->engineTable()->getTrimString("FAXFILE"))));
}

void JourneyTest::theCleanupDeletesTheSentFaxAndTheLogIsRebuilt() {
    p_->window.setPage(app::LogPage::Sent);
    QStringList asked;
    director_.expect("TDMForm", [&](QWidget* w) {
        auto* form = static_cast<maintenance::TDMForm*>(w);
        form->setActivePage(maintenance::CleanupPage::Outgoing);
        form->selectRow(0);
        form->DeleteCurrentClick();
        shot("13-cleanup");
        form->CloseButton->click();
    });
    director_.answerBoxes(QMessageBox::Yes, &asked);
    p_->window.FaxlogCleanup1Click();
    QVERIFY(director_.allDone());
    director_.answerBoxes(QMessageBox::NoButton, nullptr);
    qInfo("asked: %s", qPrintable(asked.join(" | ")));
    QVERIFY2(!asked.isEmpty(), "the delete was not confirmed");
    QCOMPARE(p_->window.sentTable()->rowCount(), 0);
    QCOMPARE(p_->window.receivedTable()->rowCount(), 1);
    // The rebuild that followed packed the table: dbfread finds no record, deleted or not.
    QCOMPARE(commandOutput("cd '" + dir_.string() +
                           "' && /usr/bin/python3 -c \"import dbfread; t = dbfread.DBF('PVN.DBF'); "
                           "print(len(t.records), len(t.deleted))\""),
             std::string("0 0"));
}

void JourneyTest::theNextStartFindsEverythingWhereItWas() {
    p_->window.close();
    p_.reset();
    QTest::qWait(200);
    startProgram();
    p_->window.FormActivate();
    NOTHING_ELSE_ASKED();
    QVERIFY(!p_->window.firstRun());
    QCOMPARE(p_->window.sentTable()->rowCount(), 0);
    QCOMPARE(p_->window.receivedTable()->rowCount(), 1);
    shot("14-second-start");

    const QStringList received = dbfRecords(dir_, "PVNREC.DBF", "FROM PAGES NOTES FAXFILE");
    QCOMPARE(received.size(), 1);
    QVERIFY2(received[0].startsWith(QStringLiteral("FROM=+1 555 0201|PAGES=2|NOTES=Answered by phone|FAXFILE=")),
             qPrintable(received[0]));
    QVERIFY(fs::exists(faxlog::receivedFaxPath(dir_, received[0].section(QStringLiteral("FAXFILE="), 1).toStdString())));
    // The template and the phone book entry are still there.
    QCOMPARE(dbfRecords(dir_, "PVNCOV.DBF", "DESCRIPT").value(0), QStringLiteral("DESCRIPT=Journey cover"));
    QVERIFY(!dbfRecords(dir_, "PVNPB.DBF", "NAME").filter(QStringLiteral("Journey Receiver")).isEmpty());
}

void JourneyTest::cleanupTestCase() {
    p_.reset();
    qunsetenv("PRINTER");
}

QTEST_MAIN(JourneyTest)
#include "journey_test.moc"
