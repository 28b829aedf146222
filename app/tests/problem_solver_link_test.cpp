// The error dialog's " Fax Problem Solver" opens the problem solver at the topic of the
// error that was shown, with and without Continue.
#include "modal_helper.h"
#include "show_error_form.h"

#include "faximage/fax_errors.h"
#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/diagnostics/problem_solver_dialog.h"

#include <QPushButton>
#include <QtTest>

class ProblemSolverLinkTest : public QObject {
    Q_OBJECT
private slots:
    void errorDialogOpensTheErrorsTopic();
};

namespace {
// Presses the error dialog's problem-solver button, then notes the topic the problem
// solver opened at and closes it.
void pressProblemSolverThenNoteTopic(int& topic) {
    testing_support::onNextModal([&topic](QWidget* error) {
        testing_support::onNextModal([&topic, error](QWidget* solver) {
            if (auto* d = qobject_cast<diagnostics::TFaxProblemSolverDialog*>(solver)) {
                topic = d->currentTopic();
                d->accept();
            }
            // With Continue the error dialog stays open under the problem solver.
            if (error && error != solver && error->isVisible())
                QTimer::singleShot(50, error, [error] { static_cast<QDialog*>(error)->accept(); });
        });
        error->findChild<QPushButton*>(QStringLiteral("ProblemSolverButton"))->click();
    });
}
} // namespace

void ProblemSolverLinkTest::errorDialogOpensTheErrorsTopic() {
    int topic = -2;
    pressProblemSolverThenNoteTopic(topic);
    app::showError(nullptr, QStringLiteral("Fax Failure"), QStringLiteral("Bad response from modem"), true,
                   diagnostics::topicForError(faximage::ec::FaxBadModemResult, false));
    QCOMPARE(topic, 19);

    topic = -2;
    pressProblemSolverThenNoteTopic(topic);
    app::showErrorWithContinue(nullptr, QStringLiteral("No Response From Modem"), QStringLiteral("Fatal time out"),
                               true, diagnostics::topicForError(faximage::ec::TimeOut, true));
    QCOMPARE(topic, 1);
}

QTEST_MAIN(ProblemSolverLinkTest)
#include "problem_solver_link_test.moc"
