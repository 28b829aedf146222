// The error dialog: self-close, one at a time, Continue, the problem solver button, height.
#include "modal_helper.h"
#include "show_error_form.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using app::TShowErrorForm;
using namespace std::chrono_literals;

namespace {
QPushButton* button(QWidget* form, const char* name) {
    return form->findChild<QPushButton*>(QString::fromLatin1(name));
}
int openErrorForms() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TShowErrorForm*>(w) && w->isVisible())
            ++n;
    return n;
}
} // namespace

class ErrorFormTest : public QObject {
    Q_OBJECT
private slots:
    void closesItselfUnlessToldToStay() {
        TShowErrorForm form("Error", "The modem did not answer.", false, false, nullptr, 50ms);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(!TShowErrorForm::isShowing());

        TShowErrorForm staying("Error", "Stays.", false, true, nullptr, 50ms);
        bool stillOpen = false;
        QTimer::singleShot(300, &staying, [&] {
            stillOpen = staying.isVisible();
            button(&staying, "OkButton")->click();
        });
        QCOMPARE(staying.exec(), int(QDialog::Accepted));
        QVERIFY(stillOpen);
    }

    void secondRequestWhileOneIsShownReturnsAtOnce() {
        bool nestedReturned = false;
        bool nestedContinue = true;
        int formsDuringNested = 0;
        testing_support::onNextModal([&](QWidget* first) {
            // Runs inside the first dialog's event loop, as a receive event would.
            nestedContinue = app::showErrorWithContinue(nullptr, "Second", "Another problem");
            nestedReturned = true;
            formsDuringNested = openErrorForms();
            button(first, "ContinueButton")->click();
        });
        const bool pressedContinue = app::showErrorWithContinue(nullptr, "First", "A problem", true);
        QVERIFY(pressedContinue);
        QVERIFY(nestedReturned);
        QVERIFY(!nestedContinue);
        QCOMPARE(formsDuringNested, 1);
        QVERIFY(!TShowErrorForm::isShowing());

        // Ok is not Continue; a later request shows again.
        testing_support::onNextModal([](QWidget* w) { button(w, "OkButton")->click(); });
        QVERIFY(!app::showErrorWithContinue(nullptr, "Third", "Again", true));
    }

    void problemSolverButton() {
        // With Continue the dialog stays and asks for the solver at once.
        TShowErrorForm withContinue("E", "text", true, true);
        int requests = 0;
        connect(&withContinue, &TShowErrorForm::problemSolverRequested, [&] { ++requests; });
        bool openAfterClick = false;
        QTimer::singleShot(20, &withContinue, [&] {
            button(&withContinue, "ProblemSolverButton")->click();
            openAfterClick = withContinue.isVisible();
            button(&withContinue, "OkButton")->click();
        });
        withContinue.exec();
        QCOMPARE(requests, 1);
        QVERIFY(openAfterClick);
        QVERIFY(!withContinue.problemSolverAfterClose());

        // Without Continue the dialog closes first and the solver follows.
        TShowErrorForm plain("E", "text", false, true);
        connect(&plain, &TShowErrorForm::problemSolverRequested, [&] { ++requests; });
        QTimer::singleShot(20, &plain, [&] { button(&plain, "ProblemSolverButton")->click(); });
        QCOMPARE(plain.exec(), int(QDialog::Accepted));
        QCOMPARE(requests, 1);
        QVERIFY(plain.problemSolverAfterClose());
        QCOMPARE(button(&plain, "ProblemSolverButton")->text(), QString(" Fax Problem Solver"));
    }

    void heightFollowsText() {
        TShowErrorForm shortOne("E", "One line.", false, true);
        QStringList many;
        for (int i = 0; i < 12; ++i)
            many << QString("Line %1 of the report").arg(i);
        TShowErrorForm longOne("E", many.join("\r\n"), false, true);
        const int lineHeight = QFontMetrics(longOne.findChild<QPlainTextEdit*>()->font()).height();
        QCOMPARE(longOne.height() - shortOne.height(), 11 * lineHeight);

        // Never taller than the screen.
        QStringList huge;
        for (int i = 0; i < 400; ++i)
            huge << "x";
        TShowErrorForm hugeOne("E", huge.join("\r"), false, true);
        QVERIFY(hugeOne.height() <= QGuiApplication::primaryScreen()->availableGeometry().height());
    }
};

QTEST_MAIN(ErrorFormTest)
#include "error_form_test.moc"
