// The error dialog of the send and receive workflows: a caption, a read-only text, "Ok",
// " Fax Problem Solver" and an optional "Continue". It closes itself after 30 s unless
// told to stay, grows with its text, and only one can be open at a time.
#pragma once

#include <QDialog>
#include <chrono>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace app {

class TShowErrorForm : public QDialog {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSelfCloseTime{30000};
    // exec() result of the Continue button; Ok gives QDialog::Accepted.
    static constexpr int kContinueResult = 2;

    TShowErrorForm(const QString& caption, const QString& text, bool showContinue, bool stayOpen,
                   QWidget* parent = nullptr,
                   std::chrono::milliseconds selfCloseTime = kSelfCloseTime);

    // True while an error dialog is on screen.
    static bool isShowing();

    // Whether the problem solver should be opened once the dialog has closed.
    bool problemSolverAfterClose() const { return problemSolverAfterClose_; }

    int exec() override;

signals:
    // " Fax Problem Solver" pressed while Continue is visible: open it over the dialog.
    void problemSolverRequested();

private:
    void fitHeightToText();
    void problemSolverClicked();

    QPlainTextEdit* ErrorMemo = nullptr;
    QLabel* NoteLabel = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* ProblemSolverButton = nullptr;
    QPushButton* ContinueButton = nullptr;
    QTimer* CloseTimer = nullptr;
    bool problemSolverAfterClose_ = false;
};

// Shows the error dialog without Continue (nothing when one is already showing). The
// problem solver opens at `problemSolverTopic` (-1: its first page).
void showError(QWidget* parent, const QString& caption, const QString& text, bool stayOpen = false,
               int problemSolverTopic = -1);
// With Continue; true exactly when the user pressed Continue.
bool showErrorWithContinue(QWidget* parent, const QString& caption, const QString& text,
                           bool stayOpen = false, int problemSolverTopic = -1);

} // namespace app
