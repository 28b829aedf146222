// TSendFaxForm: the send dialog. Shows whom the fax goes to, lets the user check the
// number with its prefix and suffix, and runs send attempts on its own port and sender
// until it is closed; the status window shows each call. The last attempt's result is
// what the caller writes into the log record.
#pragma once

#include "faxengine/com_port.h"
#include "faxengine/send_fax.h"
#include "workflow/send/call_journal.h"
#include "workflow/send/fax_status_window.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QToolButton;

namespace workflow::send {

inline constexpr int kSendFaxHelpContext = 1016;

// What the dialog asks of the windows around it. The main window fills these in; an
// empty hook falls back to a plain message box (or does nothing).
struct SendServices {
    // The error dialog: stays open until answered; returns true when Continue was pressed.
    std::function<bool(QWidget* parent, const QString& caption, const QString& text, int errorCode,
                       bool withContinue)>
        showError;
    std::function<void(QWidget* parent, const QString& text)> information;
    std::function<void()> beep;
    std::function<void(int context)> help;
    std::function<void(QWidget* parent)> problemSolver;
    // Shows a call report file; without it the "Call report..." button stays hidden.
    std::function<void(QWidget* parent, const QString& file)> callReport;
    // Runs the preferences; true when the user accepted changed settings.
    std::function<bool(QWidget* parent)> preferences;
    // The embedded virtual line's modem device, used for a port [Ports] names no device for.
    std::string virtualDevice;
};

class TSendFaxForm : public QDialog {
    Q_OBJECT
public:
    TSendFaxForm(QString faxFile, SendServices services, QWidget* parent = nullptr);
    ~TSendFaxForm() override;

    // Set before the dialog is shown.
    void setRecipient(const QString& to, const QString& subject);
    void setPhoneNumber(const QString& number) { phoneNumber_ = number; }
    void setPortNumber(int n) { portNumber_ = n; }
    // Where each attempt's call report is kept (the engine's log of the call is recorded
    // for it); empty: no report.
    void setCallReportFile(const QString& file) { callReportFile_ = file; }
    const QString& callReportFile() const { return callReportFile_; }
    // Prefix, suffix and their disable boxes from the settings.
    void fillDialingFromSettings();

    // The last attempt's result text: "" before any attempt, "Sent" on success.
    const QString& faxFile() const { return faxFile_; }
    const QString& resultText() const { return resultText_; }
    bool busy() const { return busy_; }
    QString phoneNumberText() const;
    QString dialPrefixText() const;
    QString dialSuffixText() const;
    bool prefixDisabled() const;
    bool suffixDisabled() const;
    const CallJournal& journal() const { return journal_; }
    faxengine::TVelkSendFax& sender() { return *sender_; }
    TVelkFaxStatus& statusComponent() { return *statusDisplay_; }
    QString statusText() const;

    // Button handlers.
    void SendFaxButtonClick();
    void CloseButtonClick();
    void PreferencesButtonClick();
    void ProblemSolverButtonClick();
    void HelpbuttonClick();
    void CallReportButtonClick();

signals:
    // An attempt's finish handler has run (the result text is set).
    void attemptFinished();

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override; // Escape and the window's close go through Close
    void closeEvent(QCloseEvent* e) override;

private:
    void buildWidgets();
    void bindSender();
    void fillConfigurationMemo();
    void setStatus(const QString& text);
    void abandon();
    void setHourglass(bool on);
    void closePort();
    void startAttempt();
    void finishAttempt(int errorCode);
    void refreshJournalList();
    void startCallLog();
    void keepCallReport(int errorCode);
    bool showError(const QString& caption, const QString& text, int code, bool withContinue);
    void information(const QString& text);
    void pump();

    SendServices services_;
    QString faxFile_;
    QString phoneNumber_;
    QString resultText_;
    QString callReportFile_;
    std::string headerText_;
    int portNumber_ = 1;
    bool busy_ = false;
    bool firstActivation_ = true;
    bool hourglass_ = false;
    bool senderUsed_ = false;
    CallJournal journal_;

    std::unique_ptr<faxengine::TVelkComPort> VelkComPort1;
    std::unique_ptr<faxengine::TVelkSendFax> sender_;
    std::unique_ptr<TVelkFaxStatus> statusDisplay_;

    QLabel* ToLabel = nullptr;
    QLabel* Subjectlabel = nullptr;
    QLineEdit* sfPhoneNumber = nullptr;
    QLineEdit* sfDialPrefix = nullptr;
    QCheckBox* DisablePrefix = nullptr;
    QLineEdit* sfDialsuffix = nullptr;
    QCheckBox* DisableSuffix = nullptr;
    QPlainTextEdit* SetupDisplayMemo = nullptr;
    QPushButton* PreferencesButton = nullptr;
    QPushButton* SendFaxButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* Helpbutton = nullptr;
    QPushButton* ProblemSolverButton = nullptr;
    QPushButton* CallReportButton = nullptr;
    QToolButton* StepsButton = nullptr;
    QPlainTextEdit* StepsList = nullptr;
    QStatusBar* status = nullptr;
};

} // namespace workflow::send
