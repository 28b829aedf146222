// The main window's Phone Book command: the browser over the program directory's phone
// table, refused in receive mode, and nothing at all when the table cannot be opened.
#include "log_fixture.h"
#include "main_screen.h"
#include "modal_helper.h"
#include "workflow/phonebook/phone_book_editor.h"
#include "workflow/phonebook/phone_book_store.h"
#include "workflow/phonebook/phone_book_window.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace app;
using testing_support::answerNextBox;
using testing_support::LogDir;
using testing_support::onNextModal;

class PhoneBookCommandTest : public QObject {
    Q_OBJECT
private slots:
    void phoneBookCommand() {
        LogDir dir;
        dir.seed({}, {});
        LogDatabase db(dir.path());
        TMainScreen window(dir.path(), [&db](LogKind k, const std::filesystem::path&) { return db.open(k); }, {});

        bool browse = false;
        onNextModal([&browse](QWidget* w) {
            auto* book = qobject_cast<phonebook::TPhoneBook*>(w);
            QVERIFY(book);
            browse = book->Closebutton->isVisible() && !book->OKButton->isVisible();
            onNextModal([](QWidget* e) {
                auto* editor = qobject_cast<phonebook::TPhoneBookEditor*>(e);
                QVERIFY(editor);
                editor->Name->setText("Anna Berg");
                editor->Number->setText("555 0101");
                editor->OKButton->click();
            });
            book->AddbuttonClick();
            book->Closebutton->click();
        });
        window.mnuPhoneBookClick();
        QVERIFY(browse);
        {
            phonebook::PhoneBookStore store; // the window let go of the table
            QVERIFY(store.open(dir.path()));
            QCOMPARE(store.entries(), (std::vector<phonebook::PhoneEntry>{{"Anna Berg", "555 0101"}}));
        }

        window.setReceiveMode(true);
        auto refused = answerNextBox(QMessageBox::Ok);
        window.mnuPhoneBookClick();
        QVERIFY(refused->seen);
        QVERIFY(refused->text.startsWith("You are in Fax Receive mode"));
        window.setReceiveMode(false);

        dir.writeFile("PVNPB.DBF", "not a table");
        bool opened = false;
        onNextModal([&opened](QWidget* w) {
            opened = true;
            w->close();
        }, 500);
        window.mnuPhoneBookClick();
        QTest::qWait(550);
        QVERIFY(!opened);
    }
};

QTEST_MAIN(PhoneBookCommandTest)
#include "phone_book_command_test.moc"
