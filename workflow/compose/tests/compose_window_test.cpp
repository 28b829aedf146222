// The composing windows as the user meets them: New, Clone and Edit from the main window,
// Load Template with its merge, the recipient edits, and the cover template windows.
#include "compose_test_support.h"
#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"

#include "workflow/compose/cover_browse.h"
#include "workflow/compose/cover_editor.h"
#include "workflow/compose/cover_store.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/compose/rich_editor.h"
#include "workflow/compose/zoom_button.h"
#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include "faxlog/dbe_table.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QtTest>

#include <fstream>

using namespace workflow::compose;
using testing_support::LogDir;
using testing_support::onNextModal;

namespace {

struct Program {
    explicit Program(const std::filesystem::path& dir)
        : db(dir), window(dir, [this](app::LogKind k, const std::filesystem::path&) { return db.open(k); }, {}) {}
    app::LogDatabase db;
    app::TMainScreen window;
    faxlog::TDbeTable& sent() { return *window.sentTable()->engineTable(); }
};

// Runs `act` on the fax editor the next command opens.
void onFaxEditor(std::function<void(TFaxEditor&)> act) {
    onNextModal([act](QWidget* w) {
        auto* editor = qobject_cast<TFaxEditor*>(w);
        QVERIFY(editor);
        act(*editor);
    });
}

// Makes the template browser the editor opens pick its current template.
void acceptTemplate(TFaxEditor& editor) {
    editor.onBrowserShown = [](TCoverBrowse& browser) {
        QTimer::singleShot(0, &browser, [&browser] {
            browser.findChild<QPushButton*>(QStringLiteral("Acceptbutton"))->click();
        });
    };
}

void addTemplate(const std::filesystem::path& dir, const QString& name, const QTextDocument& cover) {
    faxlog::DbeEngine engine;
    auto covers = openCoverTable(engine, dir);
    QVERIFY(covers);
    appendCover(*covers, name, cover);
    covers->close();
}

QString memoText(faxlog::TDbeTable& t, const char* field) {
    const std::string rtf = t.getMemo(field);
    QTextDocument doc;
    workflow::richtext::readRtf(rtf, doc);
    return doc.toPlainText();
}

void seedSentWithMemos(Program& p, const QString& cover, const QString& body) {
    QTextDocument c, b;
    c.setPlainText(cover);
    b.setPlainText(body);
    faxlog::TDbeTable& t = p.sent();
    const QByteArray cr = workflow::richtext::writeRtf(c), br = workflow::richtext::writeRtf(b);
    t.replaceMemo("RTFCOVER", std::string_view(cr.constData(), std::size_t(cr.size())));
    t.replaceMemo("RTFDOC", std::string_view(br.constData(), std::size_t(br.size())));
    t.commit();
}

} // namespace

class ComposeWindowTest : public QObject {
    Q_OBJECT
private slots:
    void newFaxMergesTheTemplateAndKeepsIt();
    void cloneCopiesContentsNotSentState();
    void editKeepsWhatWasNotChanged();
    void recipientPage();
    void coverBrowser();
    void coverEditorTools();
};

void ComposeWindowTest::newFaxMergesTheTemplateAndKeepsIt() {
    LogDir dir;
    dir.seed({}, {});
    QTextDocument tmpl;
    compose_test::fiveFieldTemplate(tmpl);
    addTemplate(dir.path(), QStringLiteral("Standard"), tmpl);

    Program p(dir.path());
    QString coverText;
    QStringList times;
    QString date;
    onFaxEditor([&](TFaxEditor& editor) {
        // Something typed into the cover before is replaced by the template.
        editor.richCover()->edit()->setPlainText(QStringLiteral("old cover text"));
        editor.recipient()->setText(QStringLiteral("Ada Example"));
        editor.faxNumber()->setText(QStringLiteral("555 0100"));
        editor.subject()->setText(QStringLiteral("Quarterly figures"));
        acceptTemplate(editor);
        const QDateTime before = QDateTime::currentDateTime();
        editor.LoadCoverButtonClick();
        const QDateTime after = QDateTime::currentDateTime();
        times << QLocale().toString(before.time(), QLocale::LongFormat)
              << QLocale().toString(after.time(), QLocale::LongFormat);
        date = QLocale().toString(after.date(), QLocale::ShortFormat);
        coverText = editor.richCover()->document()->toPlainText();
        // A later change of the edits does not touch the merged cover.
        editor.subject()->setText(QStringLiteral("Changed later"));
        editor.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    p.window.NewbuttonClick();

    QVERIFY(!coverText.contains(QStringLiteral("old cover text")));
    QVERIFY2(coverText.contains(QStringLiteral("To: Ada Example")), qPrintable(coverText));
    QVERIFY(coverText.contains(QStringLiteral("Fax: 555 0100")));
    QVERIFY(coverText.contains(QStringLiteral("Subject: Quarterly figures")));
    QVERIFY(coverText.contains(QStringLiteral("Date: ") + date));
    QVERIFY(coverText.contains(QStringLiteral("Time: ") + times[0]) ||
            coverText.contains(QStringLiteral("Time: ") + times[1]));

    QCOMPARE(p.window.sentTable()->rowCount(), 1);
    faxlog::TDbeTable& t = p.sent();
    QCOMPARE(QString::fromStdString(t.getTrimString("RECIPIENT")), QStringLiteral("Ada Example"));
    QCOMPARE(QString::fromStdString(t.getTrimString("PHONE")), QStringLiteral("555 0100"));
    QCOMPARE(QString::fromStdString(t.getTrimString("SUBJECT")), QStringLiteral("Changed later"));
    QVERIFY(!t.getLogical("SENT"));
    QCOMPARE(memoText(t, "RTFCOVER"), coverText);
    QVERIFY(!p.window.cloneRequested());

    // Another program reads the stored cover with the same values.
    const std::filesystem::path rtf = dir.path() / "cover.rtf";
    std::ofstream(rtf, std::ios::binary) << t.getMemo("RTFCOVER");
    const compose_test::Run unrtf =
        compose_test::runProgram(QStringLiteral("unrtf"), {QStringLiteral("--text"), QString::fromStdString(rtf.string())});
    QVERIFY2(unrtf.ran && unrtf.status == 0, "unrtf must be installed (scripts/setup)");
    for (const QString& wanted : {QStringLiteral("Ada Example"), QStringLiteral("555 0100"),
                                  QStringLiteral("Quarterly figures"), date})
        QVERIFY2(unrtf.out.contains(wanted), qPrintable(wanted + " not in " + unrtf.out));
    QVERIFY(unrtf.out.contains(times[0]) || unrtf.out.contains(times[1]));
}

void ComposeWindowTest::cloneCopiesContentsNotSentState() {
    LogDir dir;
    dir.seed({{{"SUBJECT", "Invoice"}, {"SENT", "T"}, {"DATESENT", "20260301"}, {"TIMESENT", "09:15"},
               {"RECIPIENT", "Anna Berg"}, {"PHONE", "555 0101"}, {"PAGES", "3"}, {"LASTRESULT", "OK"}}},
             {});
    Program p(dir.path());
    p.window.sentTable()->setCurrentRow(0);
    seedSentWithMemos(p, QStringLiteral("Cover of the invoice"), QStringLiteral("Body of the invoice"));

    QString seenSubject, seenBody;
    onFaxEditor([&](TFaxEditor& editor) {
        seenSubject = editor.subject()->text();
        seenBody = editor.richDoc()->document()->toPlainText();
        editor.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    p.window.mnuCloneClick();
    QCOMPARE(seenSubject, QStringLiteral("[clone]Invoice"));
    QCOMPARE(seenBody, QStringLiteral("Body of the invoice"));
    QCOMPARE(p.window.sentTable()->rowCount(), 2);
    QVERIFY(!p.window.cloneRequested());
    faxlog::TDbeTable& t = p.sent();
    QCOMPARE(QString::fromStdString(t.getTrimString("SUBJECT")), QStringLiteral("[clone]Invoice"));
    QCOMPARE(QString::fromStdString(t.getTrimString("RECIPIENT")), QStringLiteral("Anna Berg"));
    QCOMPARE(QString::fromStdString(t.getTrimString("PHONE")), QStringLiteral("555 0101"));
    QVERIFY(!t.getLogical("SENT"));
    QVERIFY(t.getDate("DATESENT").empty());
    QVERIFY(t.getTrimString("TIMESENT").empty());
    QVERIFY(t.getTrimString("LASTRESULT").empty());
    QCOMPARE(memoText(t, "RTFCOVER"), QStringLiteral("Cover of the invoice"));
    QCOMPARE(memoText(t, "RTFDOC"), QStringLiteral("Body of the invoice"));

    // A cancelled clone changes nothing, and the next New starts empty.
    onFaxEditor([](TFaxEditor& editor) { editor.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click(); });
    p.window.mnuCloneClick();
    QCOMPARE(p.window.sentTable()->rowCount(), 2);
    QVERIFY(!p.window.cloneRequested());
    QString newSubject = QStringLiteral("unset"), newBody = QStringLiteral("unset");
    onFaxEditor([&](TFaxEditor& editor) {
        newSubject = editor.subject()->text();
        newBody = editor.richDoc()->document()->toPlainText();
        editor.reject();
    });
    p.window.NewbuttonClick();
    QVERIFY(newSubject.isEmpty());
    QVERIFY(newBody.isEmpty());

    // A subject that fills its field still fits after the prefix: it is cut, not lost.
    const QString full(kSubjectChars, QLatin1Char('s'));
    p.sent().replace("SUBJECT", full.toStdString());
    p.sent().commit();
    onFaxEditor([](TFaxEditor& editor) { editor.accept(); });
    p.window.mnuCloneClick();
    QCOMPARE(QString::fromStdString(p.sent().getTrimString("SUBJECT")),
             (QStringLiteral("[clone]") + full).left(kSubjectChars));
}

void ComposeWindowTest::editKeepsWhatWasNotChanged() {
    LogDir dir;
    dir.seed({{{"SUBJECT", "Report"}, {"SENT", "T"}, {"DATESENT", "20260405"}, {"TIMESENT", "14:02"},
               {"RECIPIENT", "Eva Fors"}, {"PHONE", "555 0103"}, {"PAGES", "2"}, {"LASTRESULT", "OK"}}},
             {});
    Program p(dir.path());
    p.window.sentTable()->setCurrentRow(0);
    seedSentWithMemos(p, QStringLiteral("A cover"), QStringLiteral("The report itself"));
    onFaxEditor([](TFaxEditor& editor) {
        QCOMPARE(editor.recipient()->text(), QStringLiteral("Eva Fors"));
        editor.subject()->setText(QStringLiteral("Report, corrected"));
        editor.accept();
    });
    p.window.EditButtonClick();
    QCOMPARE(p.window.sentTable()->rowCount(), 1);
    faxlog::TDbeTable& t = p.sent();
    QCOMPARE(QString::fromStdString(t.getTrimString("SUBJECT")), QStringLiteral("Report, corrected"));
    QCOMPARE(QString::fromStdString(t.getTrimString("RECIPIENT")), QStringLiteral("Eva Fors"));
    QCOMPARE(QString::fromStdString(t.getTrimString("PHONE")), QStringLiteral("555 0103"));
    QVERIFY(t.getLogical("SENT"));
    QCOMPARE(QString::fromStdString(t.getDate("DATESENT").dtos()), QStringLiteral("20260405"));
    QCOMPARE(QString::fromStdString(t.getTrimString("TIMESENT")), QStringLiteral("14:02"));
    QCOMPARE(t.getInteger("PAGES"), 2L);
    QCOMPARE(QString::fromStdString(t.getTrimString("LASTRESULT")), QStringLiteral("OK"));
    QCOMPARE(memoText(t, "RTFCOVER"), QStringLiteral("A cover"));
    QCOMPARE(memoText(t, "RTFDOC"), QStringLiteral("The report itself"));
}

void ComposeWindowTest::recipientPage() {
    QTemporaryDir temp;
    ComposeHooks hooks;
    hooks.programDir = temp.path().toStdString();
    {
        TFaxEditor bare(hooks, nullptr);
        QVERIFY(!bare.findChild<QPushButton*>(QStringLiteral("AddressButton"))->isVisibleTo(&bare));
        QVERIFY(!bare.richDoc()->spellCheckAction()->isVisible());
        QVERIFY(!bare.findChild<QAction*>(QStringLiteral("LoadCoverButton"))->isVisible());
    }
    int documents = 0;
    QTextEdit* spellChecked = nullptr;
    hooks.documentCreated = [&documents](QTextDocument*) { ++documents; };
    hooks.spellCheck = [&spellChecked](QTextEdit* e) { spellChecked = e; };
    hooks.phoneBook = [](QWidget*) {
        return std::optional<std::pair<QString, QString>>({QStringLiteral("Grace Example"), QStringLiteral("555 0199")});
    };
    TFaxEditor editor(hooks, nullptr);
    QCOMPARE(documents, 2);
    editor.richDoc()->spellCheckAction()->trigger();
    QCOMPARE(spellChecked, editor.richDoc()->edit());

    QCOMPARE(editor.recipient()->maxLength(), 35);
    QCOMPARE(editor.faxNumber()->maxLength(), 25);
    QCOMPARE(editor.subject()->maxLength(), 50);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QCOMPARE(editor.page(), EditorPage::Recipient);
    QVERIFY(!editor.zoomButton()->isVisible());

    // Enter moves on; it neither closes the editor nor ends up in the text.
    editor.recipient()->setFocus();
    QTest::keyClicks(editor.recipient(), QStringLiteral("Someone"));
    QTest::keyClick(editor.recipient(), Qt::Key_Return);
    QVERIFY(editor.isVisible());
    QTRY_VERIFY(editor.faxNumber()->hasFocus());
    QTest::keyClicks(editor.faxNumber(), QStringLiteral("12345678901234567890123456789"));
    QCOMPARE(editor.faxNumber()->text().size(), 25);

    editor.subject()->setText(QStringLiteral("Kept"));
    editor.findChild<QPushButton*>(QStringLiteral("AddressButton"))->click();
    QCOMPARE(editor.recipient()->text(), QStringLiteral("Grace Example"));
    QCOMPARE(editor.faxNumber()->text(), QStringLiteral("555 0199"));
    QCOMPARE(editor.subject()->text(), QStringLiteral("Kept"));

    // The page being edited stays shown when a dialog opened from it closes.
    editor.findChild<QPushButton*>(QStringLiteral("DocumentButton"))->click();
    QCOMPARE(editor.page(), EditorPage::Document);
    QVERIFY(editor.zoomButton()->isVisible());
    testing_support::answerNextBox(QMessageBox::No);
    editor.richDoc()->pageBreakAction()->trigger();
    QTest::qWait(50);
    QCOMPARE(editor.page(), EditorPage::Document);

    // Zoom acts on the editor of the page shown.
    editor.zoomButton()->choose(70);
    QCOMPARE(editor.richDoc()->edit()->zoom(), 70);
    QCOMPARE(editor.richCover()->edit()->zoom(), 100);
    QCOMPARE(editor.zoomButton()->text(), QStringLiteral("70%"));
    editor.findChild<QPushButton*>(QStringLiteral("CoverButton"))->click();
    QCOMPARE(editor.zoomButton()->text(), QStringLiteral("100%"));
    editor.reject();
}

void ComposeWindowTest::coverBrowser() {
    QTemporaryDir temp;
    const std::filesystem::path dir = temp.path().toStdString();
    ComposeHooks hooks;
    hooks.programDir = dir;
    faxlog::DbeEngine engine;
    auto covers = openCoverTable(engine, dir);
    QVERIFY(covers);

    TCoverBrowse browser(*covers, BrowseMode::Browse, hooks);
    auto button = [&browser](const char* name) { return browser.findChild<QPushButton*>(QString::fromLatin1(name)); };
    QVERIFY(button("CloseButton")->isVisibleTo(&browser));
    QVERIFY(!button("Acceptbutton")->isVisibleTo(&browser));
    QVERIFY(!button("CancelButton")->isVisibleTo(&browser));
    QVERIFY(!button("ModifyButton")->isEnabled());
    QVERIFY(!button("DeleteButton")->isEnabled());

    // New: "{description}" and an empty cover in the default font; accepted it is stored.
    QString startDescription, startText, startFamily;
    browser.onEditorShown = [&](TCoverEditor& editor) {
        startDescription = editor.description()->text();
        startText = editor.richCover()->document()->toPlainText();
        startFamily = editor.richCover()->edit()->currentCharFormat().fontFamilies().toStringList().value(0);
        editor.description()->setText(QStringLiteral("Standard"));
        editor.richCover()->edit()->setPlainText(QStringLiteral("Standard cover text"));
        QTimer::singleShot(0, &editor, &QDialog::accept);
    };
    browser.NewButtonClick();
    QCOMPARE(startDescription, QStringLiteral("{description}"));
    QVERIFY(startText.isEmpty());
    QCOMPARE(startFamily, QString::fromStdString(settings::current().defaultFont.name));
    QCOMPARE(browser.grid()->rowCount(), 1);
    QCOMPARE(browser.grid()->item(0, 0)->text(), QStringLiteral("Standard"));

    // Clone: "[clone]Standard" with the same text; the next New starts empty again.
    browser.onEditorShown = [&](TCoverEditor& editor) {
        startDescription = editor.description()->text();
        startText = editor.richCover()->document()->toPlainText();
        QTimer::singleShot(0, &editor, &QDialog::accept);
    };
    browser.CloneButtonClick();
    QCOMPARE(startDescription, QStringLiteral("[clone]Standard"));
    QCOMPARE(startText, QStringLiteral("Standard cover text"));
    QCOMPARE(browser.grid()->rowCount(), 2);
    browser.onEditorShown = [&](TCoverEditor& editor) {
        startDescription = editor.description()->text();
        QTimer::singleShot(0, &editor, &QDialog::reject);
    };
    browser.NewButtonClick();
    QCOMPARE(startDescription, QStringLiteral("{description}"));
    QCOMPARE(browser.grid()->rowCount(), 2);

    // Delete asks with No as the default; No keeps the template.
    browser.grid()->setCurrentCell(0, 0);
    const QString first = browser.grid()->item(0, 0)->text();
    auto seen = testing_support::answerNextBox(QMessageBox::No);
    browser.DeleteButtonClick();
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Delete"));
    QCOMPARE(seen->text, QStringLiteral("Delete the current cover template?:\n") + first);
    QCOMPARE(seen->defaultButton, QMessageBox::No);
    QCOMPARE(browser.grid()->rowCount(), 2);
    testing_support::answerNextBox(QMessageBox::Yes);
    browser.DeleteButtonClick();
    QCOMPARE(browser.grid()->rowCount(), 1);
    QVERIFY(browser.grid()->item(0, 0)->text() != first);

    TCoverBrowse selecting(*covers, BrowseMode::Select, hooks);
    QVERIFY(!selecting.findChild<QPushButton*>(QStringLiteral("CloseButton"))->isVisibleTo(&selecting));
    QVERIFY(selecting.findChild<QPushButton*>(QStringLiteral("Acceptbutton"))->isVisibleTo(&selecting));
    QVERIFY(selecting.findChild<QPushButton*>(QStringLiteral("CancelButton"))->isVisibleTo(&selecting));
}

void ComposeWindowTest::coverEditorTools() {
    QTemporaryDir temp;
    ComposeHooks hooks;
    hooks.programDir = temp.path().toStdString();
    TCoverEditor editor(hooks);
    QCOMPARE(editor.description()->maxLength(), 35);
    QStringList captions;
    for (QAction* a : editor.insertMenu()->actions())
        captions << a->text();
    QCOMPARE(captions, QStringList({"Recipient", "Fax Number", "Subject", "Date", "Time"}));
    for (QAction* a : editor.insertMenu()->actions())
        a->trigger();
    QVERIFY(!editor.insertFieldByCaption(QStringLiteral("Weather")));
    const auto runs = workflow::richtext::fieldRuns(*editor.richCover()->document());
    QCOMPARE(int(runs.size()), 5);
    QCOMPARE(editor.richCover()->document()->toPlainText(),
             QStringLiteral("[RECIPIENT][FAX#][SUBJECT][DATE][TIME]"));

    // Zoom: the current item is ticked before the menu shows; a choice sets editor and caption.
    QCOMPARE(editor.zoomButton()->text(), QStringLiteral("100%"));
    editor.zoomButton()->choose(80);
    QCOMPARE(editor.richCover()->edit()->zoom(), 80);
    QCOMPARE(editor.zoomButton()->text(), QStringLiteral("80%"));
    QMetaObject::invokeMethod(editor.zoomButton()->zoomMenu(), "aboutToShow");
    for (QAction* a : editor.zoomButton()->zoomMenu()->actions())
        QCOMPARE(a->isChecked(), a->data().toInt() == 80);

    // Word wrap toggles with its hint.
    QAction* wrap = editor.richCover()->wordWrapAction();
    QCOMPARE(editor.richCover()->edit()->wordWrap(), true);
    QVERIFY(wrap->isChecked());
    QCOMPARE(wrap->toolTip(), QStringLiteral("Toggle word wrap off"));
    wrap->trigger();
    QCOMPARE(editor.richCover()->edit()->wordWrap(), false);
    QVERIFY(!wrap->isChecked());
    QCOMPARE(wrap->toolTip(), QStringLiteral("Toggle word wrap on"));
    wrap->trigger();
    QCOMPARE(editor.richCover()->edit()->wordWrap(), true);
    QCOMPARE(wrap->toolTip(), QStringLiteral("Toggle word wrap off"));

    // Page break: Yes marks the paragraph at the cursor.
    testing_support::answerNextBox(QMessageBox::Yes);
    editor.richCover()->pageBreakAction()->trigger();
    QVERIFY(editor.richCover()->edit()->textCursor().blockFormat().pageBreakPolicy() &
            QTextFormat::PageBreak_AlwaysBefore);
}

QTEST_MAIN(ComposeWindowTest)
#include "compose_window_test.moc"
