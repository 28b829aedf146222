// Spell checking in an editor: underlines as you type, the suggestion dialog's change,
// change all, ignore all and add, and an editor without a dictionary.
#include "modal_helper.h"
#include "workflow/spelling/spell_check_dialog.h"
#include "workflow/spelling/spell_highlighter.h"
#include "workflow/spelling/spell_service.h"
#include "workflow/spelling/spell_words.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

using namespace spelling;
using testing_support::answerNextBox;
using testing_support::onNextModal;

namespace {

std::shared_ptr<SpellChecker> englishChecker(const QTemporaryDir& dir) {
    SpellChecker::Options o;
    o.dataDir = dir.path().toStdString();
    o.language = "en_US";
    return std::make_shared<SpellChecker>(o);
}

// The underlined words of a document, in order.
QStringList underlined(QTextDocument* doc) {
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (const QTextLayout::FormatRange& r : b.layout()->formats())
            if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
                out << b.text().mid(r.start, r.length);
    return out;
}

QString wordsOf(const QString& text) {
    QStringList out;
    for (const WordSpan& w : spellWords(text))
        out << text.mid(w.start, w.length);
    return out.join('|');
}

} // namespace

class SpellEditorTest : public QObject {
    Q_OBJECT
private slots:
    void wordsTheCheckLooksAt() {
        QCOMPARE(wordsOf("Don't stop, it's 3rd-rate A4 paper."), QString("Don't|stop|it's|rate|paper"));
        QCOMPARE(wordsOf("mail me@example.com or see https://x.org/recieve www.teh.com ok"),
                 QString("mail|or|see|ok"));
        QCOMPARE(wordsOf(QString::fromUtf8("’quoted’ naïve rock’n’roll")),
                 QString::fromUtf8("quoted|naïve|rock’n’roll"));
        QCOMPARE(wordsOf(QString("field ") + QChar(0xFFFC) + "here"), QString("field|here"));
    }

    void threeMisspellingsThreeUnderlinesAndTheirSuggestions() {
        QTemporaryDir dir;
        setSharedSpellChecker(englishChecker(dir));
        QTextEdit edit;
        attachSpellHighlighter(edit.document());
        attachSpellHighlighter(edit.document()); // a second attach adds nothing
        QCOMPARE(edit.document()->findChildren<SpellHighlighter*>().size(), 1);
        edit.setHtml("<p>We <b>recieve</b> faxes every day.</p><p>Please send teh pages</p>"
                     "<p>keep them <i>seperate</i> today.</p>");
        QCOMPARE(underlined(edit.document()), QStringList({"recieve", "teh", "seperate"}));
        // The underline sits over the text's own formatting.
        QTextCursor c(edit.document());
        c.setPosition(5);
        QVERIFY(c.charFormat().fontWeight() >= QFont::Bold);

        // As you type.
        QTextCursor end(edit.document());
        end.movePosition(QTextCursor::End);
        end.insertText(" Thnaks");
        QCOMPARE(underlined(edit.document()).size(), 4);

        const std::shared_ptr<SpellChecker> checker = sharedSpellChecker();
        QCOMPARE(checker->suggest("recieve").front(), std::string("receive"));
        QCOMPARE(checker->suggest("teh").front(), std::string("the"));
        QCOMPARE(checker->suggest("seperate").front(), std::string("separate"));
        QCOMPARE(checker->suggest("Thnaks").front(), std::string("Thanks"));

        // The dialog goes through them in order and offers the first suggestion.
        QStringList offered;
        // Change, Ignore, Change, Ignore; the last step ends the check.
        onNextModal([&offered](QWidget* w) {
            auto* d = qobject_cast<SpellCheckDialog*>(w);
            for (const char* button : {"ChangeButton", "IgnoreButton", "ChangeButton"}) {
                offered << d->currentWord() + ">" + d->ChangeToEdit->text();
                d->findChild<QPushButton*>(button)->click();
            }
            offered << d->currentWord() + ">" + d->ChangeToEdit->text();
            answerNextBox(QMessageBox::Ok);
            d->IgnoreButton->click();
        });
        runSpellCheck(&edit, nullptr);
        QCOMPARE(offered, QStringList({"recieve>receive", "teh>the", "seperate>separate", "Thnaks>Thanks"}));
        QCOMPARE(edit.toPlainText(),
                 QString("We receive faxes every day.\nPlease send teh pages\nkeep them separate today. Thnaks"));
        // The changed word keeps its formatting; the document still underlines what is left.
        c.setPosition(5);
        QVERIFY(c.charFormat().fontWeight() >= QFont::Bold);
        QCOMPARE(underlined(edit.document()), QStringList({"teh", "Thnaks"}));
        edit.document()->undo();
        // One undo takes back one change.
        QVERIFY(edit.toPlainText().contains("keep them seperate today"));
        QVERIFY(edit.toPlainText().startsWith("We receive"));
    }

    void changeAllIgnoreAllAndAddToTheUserDictionary() {
        QTemporaryDir dir;
        setSharedSpellChecker(englishChecker(dir));
        QTextEdit edit;
        attachSpellHighlighter(edit.document());
        edit.setPlainText("teh cat and teh dog.\nFaxzor sends, Faxzor receives; Qwxzy, Qwxzy.\nteh end");
        QCOMPARE(underlined(edit.document()).size(), 7);

        QStringList offered;
        onNextModal([&offered](QWidget* w) {
            auto* d = qobject_cast<SpellCheckDialog*>(w);
            offered << d->currentWord();
            d->ChangeAllButton->click(); // teh -> the, everywhere
            offered << d->currentWord();
            d->IgnoreAllButton->click(); // Faxzor, both times
            offered << d->currentWord();
            answerNextBox(QMessageBox::Ok);
            d->AddButton->click(); // Qwxzy, kept
        });
        runSpellCheck(&edit, nullptr);
        QCOMPARE(offered, QStringList({"teh", "Faxzor", "Qwxzy"}));
        QCOMPARE(edit.toPlainText(),
                 QString("the cat and the dog.\nFaxzor sends, Faxzor receives; Qwxzy, Qwxzy.\nthe end"));
        QVERIFY(underlined(edit.document()).isEmpty());

        // After a restart: the added word still passes, the ignored one is flagged again.
        setSharedSpellChecker(englishChecker(dir));
        QTextEdit later;
        attachSpellHighlighter(later.document());
        later.setPlainText("Qwxzy and Faxzor");
        QCOMPARE(underlined(later.document()), QStringList({"Faxzor"}));

        // Nothing left to find: said so, no dialog.
        QTextEdit clean;
        clean.setPlainText("All is well here.");
        auto seen = answerNextBox(QMessageBox::Ok);
        runSpellCheck(&clean, nullptr);
        QVERIFY(seen->seen);
        QCOMPARE(seen->text, QString("No spelling mistakes were found."));
    }

    void withoutADictionaryNothingIsUnderlinedAndTheCheckSaysWhy() {
        QTemporaryDir dir;
        SpellChecker::Options o;
        o.dataDir = dir.path().toStdString();
        o.dictionaryDirs = {dir.path().toStdString()};
        setSharedSpellChecker(std::make_shared<SpellChecker>(o));
        QTextEdit edit;
        attachSpellHighlighter(edit.document());
        edit.setPlainText("recieve teh seperate");
        QVERIFY(underlined(edit.document()).isEmpty());
        auto seen = answerNextBox(QMessageBox::Ok);
        runSpellCheck(&edit, nullptr);
        QVERIFY(seen->seen);
        QVERIFY2(seen->text.contains("no spelling dictionary is installed"), qPrintable(seen->text));
        QCOMPARE(edit.toPlainText(), QString("recieve teh seperate"));
    }
};

QTEST_MAIN(SpellEditorTest)
#include "spell_editor_test.moc"
