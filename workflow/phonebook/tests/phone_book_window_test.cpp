// The phone book windows as a user drives them: entries added, edited and deleted, the
// buttons that need an entry, select mode, and CSV import and export.
#include "modal_helper.h"
#include "workflow/phonebook/phone_book_dialogs.h"
#include "workflow/phonebook/phone_book_editor.h"
#include "workflow/phonebook/phone_csv.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace phonebook;
using testing_support::answerNextBox;
using testing_support::onNextModal;

namespace {

std::filesystem::path pathOf(const QTemporaryDir& d) { return d.path().toStdString(); }

// Answers the next entry editor: checks what it shows, types, and accepts.
void fillNextEditor(const QString& name, const QString& number, PhoneEntry* shown = nullptr) {
    onNextModal([=](QWidget* w) {
        auto* editor = qobject_cast<TPhoneBookEditor*>(w);
        if (!editor)
            return;
        if (shown)
            *shown = editor->entry();
        editor->Name->setText(name);
        editor->Number->setText(number);
        editor->OKButton->click();
    });
}

QStringList gridNames(TPhoneBook& book) {
    QStringList out;
    auto* m = book.PhoneGrid->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, 0).data().toString() + "|" + m->index(r, 1).data().toString();
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class PhoneBookWindowTest : public QObject {
    Q_OBJECT
private slots:
    void newEditDeleteThroughTheWindows() {
        QTemporaryDir dir;
        TPhoneBook book;
        QVERIFY(book.openTable(pathOf(dir)));
        book.show();
        QVERIFY(!book.Modifybutton->isEnabled());
        QVERIFY(!book.Deletebutton->isEnabled());
        QVERIFY(book.Closebutton->isVisible());
        QVERIFY(!book.OKButton->isVisible());

        fillNextEditor("bob", "555 0101");
        book.AddbuttonClick();
        fillNextEditor("  Alice  ", "555 0100");
        book.AddbuttonClick();
        QCOMPARE(gridNames(book), QStringList({"Alice|555 0100", "bob|555 0101"}));
        QVERIFY(book.Modifybutton->isEnabled());
        QVERIFY(book.Deletebutton->isEnabled());
        QCOMPARE(book.currentRow(), 0); // the new entry is the current one

        // Edit shows the current entry; renaming moves it in the name order.
        book.setCurrentRow(0);
        PhoneEntry shown;
        fillNextEditor("Zed", "555 0199", &shown);
        book.ModifybuttonClick();
        QCOMPARE(shown, (PhoneEntry{"Alice", "555 0100"}));
        QCOMPARE(gridNames(book), QStringList({"bob|555 0101", "Zed|555 0199"}));
        QCOMPARE(book.currentRow(), 1);

        // A cancelled editor changes nothing.
        onNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
        book.ModifybuttonClick();
        QCOMPARE(gridNames(book), QStringList({"bob|555 0101", "Zed|555 0199"}));

        // Delete asks, No by default, and No keeps the entry.
        book.setCurrentRow(0);
        auto seen = answerNextBox(QMessageBox::No);
        book.DeletebuttonClick();
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, QString("Delete"));
        QCOMPARE(seen->text, QString("Delete the current phone book entry?:\nbob"));
        QCOMPARE(seen->defaultButton, QMessageBox::No);
        QCOMPARE(gridNames(book).size(), 2);
        answerNextBox(QMessageBox::Yes);
        book.DeletebuttonClick();
        QCOMPARE(gridNames(book), QStringList({"Zed|555 0199"}));
        answerNextBox(QMessageBox::Yes);
        book.DeletebuttonClick();
        QVERIFY(gridNames(book).isEmpty());
        QVERIFY(!book.Modifybutton->isEnabled());
        QVERIFY(!book.Deletebutton->isEnabled());

        // With nothing to act on, Edit and Delete open nothing. A dialog they opened
        // would be up when the zero timer fires inside its loop.
        bool opened = false;
        auto watch = [&opened] {
            QTimer::singleShot(0, [&opened] {
                if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    opened = true;
                    modal->reject();
                }
            });
        };
        watch();
        book.ModifybuttonClick();
        QCoreApplication::processEvents();
        watch();
        book.DeletebuttonClick();
        QCoreApplication::processEvents();
        QVERIFY(!opened);

        // What the window wrote is there for the next window.
        fillNextEditor("Kept", "1");
        book.AddbuttonClick();
        book.store().close(); // as when the window goes; a second window cannot open it before
        TPhoneBook next;
        QVERIFY(next.openTable(pathOf(dir)));
        QCOMPARE(gridNames(next), QStringList({"Kept|1"}));
    }

    void editorKeepsToWhatTheTableCanHold() {
        TPhoneBookEditor editor;
        QCOMPARE(editor.Name->maxLength(), 35);
        QCOMPARE(editor.Number->maxLength(), 25);
        editor.show();
        // A name the table's code page cannot hold is refused, not stored as '?'.
        editor.Name->setText(QString::fromUtf8("\xC5\x81ukasz"));
        editor.Number->setText("1");
        auto seen = answerNextBox(QMessageBox::Ok);
        editor.OKButton->click();
        QVERIFY(seen->seen);
        QVERIFY(seen->text.contains(QString::fromUtf8("\xC5\x81")));
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.result(), int(QDialog::Rejected));
        editor.Name->setText(QString::fromUtf8("\xC3\x89mile"));
        editor.OKButton->click();
        QCOMPARE(editor.result(), int(QDialog::Accepted));
        QCOMPARE(editor.entry().name, std::string("\xC3\x89mile"));
    }

    void selectModeReturnsThePickedEntry() {
        QTemporaryDir dir;
        {
            PhoneBookStore s;
            QVERIFY(s.open(pathOf(dir)));
            s.addAll({{"Carol", "555 3"}, {"Alice", "555 1"}, {"Bob", "555 2"}});
        }
        onNextModal([](QWidget* w) {
            auto* book = qobject_cast<TPhoneBook*>(w);
            QVERIFY(book);
            QVERIFY(book->OKButton->isVisible());
            QVERIFY(book->Cancelbutton->isVisible());
            QVERIFY(!book->Closebutton->isVisible());
            book->setCurrentRow(1);
            book->OKButton->click();
        });
        const auto picked = pickRecipient(nullptr, pathOf(dir));
        QVERIFY(picked);
        QCOMPARE(picked->first, QString("Bob"));
        QCOMPARE(picked->second, QString("555 2"));

        onNextModal([](QWidget* w) { qobject_cast<TPhoneBook*>(w)->Cancelbutton->click(); });
        QVERIFY(!pickRecipient(nullptr, pathOf(dir)));

        // An empty book cannot accept anything.
        QTemporaryDir empty;
        bool acceptEnabled = true;
        onNextModal([&acceptEnabled](QWidget* w) {
            auto* book = qobject_cast<TPhoneBook*>(w);
            acceptEnabled = book->OKButton->isEnabled();
            book->OKButton->click(); // disabled: does nothing
            book->Cancelbutton->click();
        });
        QVERIFY(!pickRecipient(nullptr, pathOf(empty)));
        QVERIFY(!acceptEnabled);

        // A phone table that cannot be opened shows no window at all.
        QTemporaryDir broken;
        writeFile(broken.filePath("PVNPB.DBF"), "not a table");
        QVERIFY(!pickRecipient(nullptr, pathOf(broken)));
        QVERIFY(!runPhoneBookBrowser(nullptr, pathOf(broken)));
    }

    void csvImportIsAllOrNothingAndExportReadsBack() {
        QTemporaryDir dir;
        const QString out = dir.filePath("out.csv");
        PhoneBookHooks hooks;
        hooks.chooseCsvFile = [out](QWidget*, bool save) { return save ? out : QString(); };
        TPhoneBook book(nullptr, hooks);
        QVERIFY(book.openTable(pathOf(dir)));
        fillNextEditor("Existing", "1");
        book.AddbuttonClick();

        const QString bad = dir.filePath("bad.csv");
        writeFile(bad, "Name;Fax\nGood;1\nNo number;\nAlso good;2\n");
        auto seen = answerNextBox(QMessageBox::Ok);
        QVERIFY(!book.importCsv(bad));
        QVERIFY(seen->seen);
        QVERIFY2(seen->text.contains("line 3: the fax number is empty"), qPrintable(seen->text));
        QVERIFY(seen->text.contains("Nothing was imported"));
        QCOMPARE(gridNames(book), QStringList({"Existing|1"}));

        const QString good = dir.filePath("good.csv");
        writeFile(good, "\xEF\xBB\xBF\"Doe, Jane\";\"030 1\"\r\nAdam;2\r\n");
        answerNextBox(QMessageBox::Ok);
        QVERIFY(book.importCsv(good));
        QCOMPARE(gridNames(book), QStringList({"Adam|2", "Doe, Jane|030 1", "Existing|1"}));
        // Importing it again doubles nothing and says so.
        seen = answerNextBox(QMessageBox::Ok);
        QVERIFY(book.importCsv(good));
        QCOMPARE(seen->text, QString("0 entries imported. 2 entries of the file already in the phone book."));
        QCOMPARE(gridNames(book).size(), 3);

        // Import cancelled in the chooser does nothing; export through the button.
        book.ImportButtonClick();
        QCOMPARE(gridNames(book).size(), 3);
        book.ExportButtonClick();
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const CsvReadResult back = readPhoneCsv(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        QVERIFY(back.ok());
        QCOMPARE(back.entries.size(), std::size_t(3));
        QCOMPARE(back.entries[1], (PhoneEntry{"Doe, Jane", "030 1"}));
    }
};

QTEST_MAIN(PhoneBookWindowTest)
#include "phone_book_window_test.moc"
