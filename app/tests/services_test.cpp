// Message boxes, help pages and About.
#include "about_dialog.h"
#include "help_window.h"
#include "hint_control.h"
#include "message_boxes.h"
#include "modal_helper.h"

#include <QRegularExpression>
#include <QHelpEvent>
#include <QToolTip>
#include <QtTest>

using testing_support::answerNextBox;

class ServicesTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxesShapes() {
        auto seen = answerNextBox(QMessageBox::Ok);
        app::informationBox(nullptr, "Line one\rLine two\r\nLine three");
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, QString("Information"));
        QCOMPARE(seen->text, QString("Line one\nLine two\nLine three"));
        QCOMPARE(seen->icon, QMessageBox::Information);

        seen = answerNextBox(QMessageBox::Yes);
        QVERIFY(app::question(nullptr, "Do this now?", "REINDEX"));
        QCOMPARE(seen->title, QString("REINDEX"));
        QCOMPARE(seen->defaultButton, QMessageBox::Yes);

        seen = answerNextBox(QMessageBox::No);
        QVERIFY(!app::questionDefaultNo(nullptr, "Delete?", "Delete"));
        QCOMPARE(seen->defaultButton, QMessageBox::No);
        QCOMPARE(seen->icon, QMessageBox::Question);

        // Escape (closing the box) answers No.
        testing_support::onNextModal([](QWidget* w) { static_cast<QMessageBox*>(w)->reject(); });
        QVERIFY(!app::question(nullptr, "Sure?", "Exit"));
    }

    void everyContextNumberHasItsPage() {
        const int contexts[] = {app::help::kContents,        app::help::kFaq,
                                app::help::kTechnicalSupport, app::help::kFaxEditor,
                                app::help::kSendFax,          app::help::kCoverBrowser,
                                app::help::kCoverEditor,      app::help::kPhoneBook,
                                app::help::kPhoneBookEditor,  app::help::kFaxViewer,
                                app::help::kWizardIntro,      app::help::kWizardModem,
                                app::help::kWizardSending,    app::help::kWizardReceiving,
                                app::help::kLogCleanup};
        app::HelpWindow window;
        QSet<QString> titles;
        for (int context : contexts) {
            QVERIFY2(!app::HelpWindow::pageFor(context).isEmpty(), qPrintable(QString::number(context)));
            window.showContext(context);
            QCOMPARE(window.currentContext(), context);
            QVERIFY(!window.currentTitle().isEmpty());
            titles.insert(window.currentTitle());
        }
        QCOMPARE(titles.size(), int(std::size(contexts)));

        // An unknown number falls back to the contents page.
        window.showContext(4242);
        QCOMPARE(window.currentContext(), app::help::kContents);

        // The shared window is reused.
        app::HelpWindow* shown = app::showHelp(app::help::kFaq);
        QCOMPARE(app::showHelp(app::help::kContents), shown);
        shown->close();
    }

    void hintsSwitchForTheWholeApplication() {
        app::HintControl hints;
        qApp->installEventFilter(&hints);
        QPushButton button("Receive");
        button.setToolTip("Start receiving faxes");
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        auto ask = [&] {
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button.mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(&button, &help);
            return QToolTip::isVisible() && QToolTip::text() == button.toolTip();
        };
        QVERIFY(ask());
        hints.setEnabled(false);
        QTRY_VERIFY(!QToolTip::isVisible());
        QVERIFY(!ask());
        hints.setEnabled(true);
        QVERIFY(ask());
        QToolTip::hideText();
        qApp->removeEventFilter(&hints);
    }

    void aboutShowsVersion() {
        app::TSplashform about;
        QCOMPARE(about.windowTitle(), QString("About Parvane"));
        // The project's own version, as the build names it.
        QVERIFY(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+$")).match(about.versionText()).hasMatch());
    }
};

QTEST_MAIN(ServicesTest)
#include "services_test.moc"
