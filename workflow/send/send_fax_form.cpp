#include "workflow/send/send_fax_form.h"

#include "faxengine/call_report.h"
#include "faxengine/engine_errors.h"
#include "settings/settings.h"
#include "workflow/send/notice_pump.h"
#include "workflow/send/port_operations.h"
#include "workflow/send/sender_setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace workflow::send {

namespace {

constexpr int kPhoneNumberLength = 25;
// Room for the log of a call of a few fine pages; older records give way beyond it.
constexpr std::size_t kCallLogBytes = 32u * 1024u * 1024u;
constexpr int kBufferFullMark = 7372;
constexpr int kBufferResumeMark = 819;

const char* kPrefixHint = "Enter the dial prefix here (i.e. calling card number).  \r...Do not include 'ATD' or a "
                          "'T' or 'P' tone/pulse modifier in the dial prefix. \r...Use a comma to insert a 2 "
                          "second pause. ";
const char* kSuffixHint = "Enter the dial suffix (i.e. an access code) here.\r...Do not include 'ATD' or a 'T' or "
                          "'P' tone/pulse modifier in the dial suffix. \r...Use a comma to insert a 2 second pause. ";
const char* kNumberHint = "Enter the recipient phone # here";

QString hint(const char* text) { return QString::fromLatin1(text).replace(QLatin1Char('\r'), QLatin1Char('\n')); }

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s8(const QString& s) { return s.toStdString(); }

// Texts are stored with "\r\n"; a message box shows line breaks.
QString shown(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString findModemAdvice(int port) {
    return QStringLiteral("Is the Communications Port (COM%1) correct? Please\r\nclick on the Find Modem button on "
                          "the Preferences screen to be sure.")
        .arg(port);
}

} // namespace

TSendFaxForm::TSendFaxForm(QString faxFile, SendServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), faxFile_(std::move(faxFile)),
      VelkComPort1(std::make_unique<faxengine::TVelkComPort>()),
      statusDisplay_(std::make_unique<TVelkFaxStatus>(this)) {
    setObjectName(QStringLiteral("TSendFaxForm"));
    setWindowTitle(QStringLiteral("Send Fax"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    buildWidgets();

    VelkComPort1->SetAutoOpen(false);
    statusDisplay_->SetCaption(faxengine::kDefaultFaxStatusCaption);
    statusDisplay_->setJournal(&journal_);
    bindSender();
}

// Each attempt gets a sender of its own: one reused after a finished session fails the
// next session's modem initialisation.
void TSendFaxForm::bindSender() {
    if (auto* display = statusDisplay_->Display())
        display->setFax(nullptr);
    sender_ = std::make_unique<faxengine::TVelkSendFax>();
    sender_->SetComPort(VelkComPort1.get());
    VelkComPort1->SetBufferFull(kBufferFullMark);
    VelkComPort1->SetBufferResume(kBufferResumeMark);
    sender_->SetFaxFileExt("APF");
    sender_->SetStatusDisplay(statusDisplay_.get());

    pumpNoticesOnQtThread(this, sender_);
    sender_->OnFaxStatus = [this](faxengine::TVelkCustomAbstractFax& f, bool, bool) {
        journal_.status(f.Progress());
        refreshJournalList();
    };
    sender_->OnFaxError = [this](faxengine::TVelkCustomAbstractFax&, int code) {
        journal_.error(code);
        refreshJournalList();
    };
    // The finish work shows dialogs and closes the port: it runs after the notice is done.
    sender_->OnFaxFinish = [this](faxengine::TVelkCustomAbstractFax&, int code) {
        journal_.finish(code);
        refreshJournalList();
        QTimer::singleShot(0, this, [this, code] { finishAttempt(code); });
    };
    senderUsed_ = false;
}

TSendFaxForm::~TSendFaxForm() {
    // A session still running is stopped before its port goes.
    if (sender_->Busy())
        sender_->AbortFax();
    statusDisplay_.reset();
    sender_.reset();
    closePort();
    setHourglass(false);
}

void TSendFaxForm::buildWidgets() {
    auto* top = new QVBoxLayout(this);

    auto* who = new QFormLayout;
    ToLabel = new QLabel(this);
    ToLabel->setObjectName(QStringLiteral("ToLabel"));
    Subjectlabel = new QLabel(this);
    Subjectlabel->setObjectName(QStringLiteral("Subjectlabel"));
    who->addRow(QStringLiteral("To:"), ToLabel);
    who->addRow(QStringLiteral("Subject:"), Subjectlabel);
    top->addLayout(who);

    auto* dial = new QGridLayout;
    auto edit = [this](const char* name, const char* tip) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setToolTip(hint(tip));
        return e;
    };
    sfPhoneNumber = edit("sfPhoneNumber", kNumberHint);
    sfPhoneNumber->setMaxLength(kPhoneNumberLength);
    sfDialPrefix = edit("sfDialPrefix", kPrefixHint);
    sfDialsuffix = edit("sfDialsuffix", kSuffixHint);
    DisablePrefix = new QCheckBox(QStringLiteral("Disable Prefix"), this);
    DisablePrefix->setObjectName(QStringLiteral("DisablePrefix"));
    DisableSuffix = new QCheckBox(QStringLiteral("Disable Suffix"), this);
    DisableSuffix->setObjectName(QStringLiteral("DisableSuffix"));
    auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setBuddy(buddy);
        return l;
    };
    dial->addWidget(label("&Fax Number to dial:", sfPhoneNumber), 0, 0);
    dial->addWidget(sfPhoneNumber, 0, 1);
    dial->addWidget(label("&Dial prefix (dial before the fax#):", sfDialPrefix), 1, 0);
    dial->addWidget(sfDialPrefix, 1, 1);
    dial->addWidget(DisablePrefix, 1, 2);
    dial->addWidget(label("&Dial suffix (dial after the fax#):", sfDialsuffix), 2, 0);
    dial->addWidget(sfDialsuffix, 2, 1);
    dial->addWidget(DisableSuffix, 2, 2);
    dial->setColumnStretch(1, 1);
    top->addLayout(dial);

    top->addWidget(new QLabel(QStringLiteral("Configuration:"), this));
    SetupDisplayMemo = new QPlainTextEdit(this);
    SetupDisplayMemo->setObjectName(QStringLiteral("SetupDisplayMemo"));
    SetupDisplayMemo->setReadOnly(true);
    SetupDisplayMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    SetupDisplayMemo->setMinimumHeight(fontMetrics().lineSpacing() * 9);
    SetupDisplayMemo->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("M")) * 40);
    top->addWidget(SetupDisplayMemo);

    // The steps of the last call stay here after the status window has gone.
    StepsButton = new QToolButton(this);
    StepsButton->setObjectName(QStringLiteral("StepsButton"));
    StepsButton->setText(QStringLiteral("Steps of the last call"));
    StepsButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    StepsButton->setArrowType(Qt::RightArrow);
    StepsButton->setCheckable(true);
    StepsButton->setAutoRaise(true);
    StepsButton->setEnabled(false);
    top->addWidget(StepsButton);
    StepsList = new QPlainTextEdit(this);
    StepsList->setObjectName(QStringLiteral("StepsList"));
    StepsList->setReadOnly(true);
    StepsList->setLineWrapMode(QPlainTextEdit::NoWrap);
    StepsList->setMinimumHeight(fontMetrics().lineSpacing() * 7);
    StepsList->hide();
    top->addWidget(StepsList);
    connect(StepsButton, &QToolButton::toggled, this, [this](bool open) {
        StepsButton->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        StepsList->setVisible(open);
        adjustSize();
    });

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    SendFaxButton = button("SendFaxButton", "&Send Fax Now");
    SendFaxButton->setDefault(true);
    PreferencesButton = button("PreferencesButton", "Preferences");
    ProblemSolverButton = button("ProblemSolverButton", "Problem Solver");
    CallReportButton = button("CallReportButton", "Call &report...");
    CallReportButton->setVisible(false);
    Helpbutton = button("Helpbutton", "&Help");
    CloseButton = button("CloseButton", "C&lose");
    top->addLayout(buttons);

    status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("status"));
    status->setSizeGripEnabled(false);
    top->addWidget(status);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(SendFaxButton, &QPushButton::clicked, this, &TSendFaxForm::SendFaxButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &TSendFaxForm::CloseButtonClick);
    connect(PreferencesButton, &QPushButton::clicked, this, &TSendFaxForm::PreferencesButtonClick);
    connect(ProblemSolverButton, &QPushButton::clicked, this, &TSendFaxForm::ProblemSolverButtonClick);
    connect(Helpbutton, &QPushButton::clicked, this, &TSendFaxForm::HelpbuttonClick);
    connect(CallReportButton, &QPushButton::clicked, this, &TSendFaxForm::CallReportButtonClick);
}

void TSendFaxForm::setRecipient(const QString& to, const QString& subject) {
    ToLabel->setText(to);
    Subjectlabel->setText(subject);
}

void TSendFaxForm::fillDialingFromSettings() {
    const auto& s = settings::current();
    sfDialPrefix->setText(q(s.dialing.dialPrefix));
    sfDialsuffix->setText(q(s.dialing.dialSuffix));
    DisablePrefix->setChecked(s.user.prefixDisable);
    DisableSuffix->setChecked(s.user.suffixDisable);
}

QString TSendFaxForm::phoneNumberText() const { return sfPhoneNumber->text(); }
QString TSendFaxForm::dialPrefixText() const { return sfDialPrefix->text(); }
QString TSendFaxForm::dialSuffixText() const { return sfDialsuffix->text(); }
bool TSendFaxForm::prefixDisabled() const { return DisablePrefix->isChecked(); }
bool TSendFaxForm::suffixDisabled() const { return DisableSuffix->isChecked(); }
QString TSendFaxForm::statusText() const { return status->currentMessage(); }

void TSendFaxForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!firstActivation_)
        return;
    firstActivation_ = false;
    sfPhoneNumber->setText(phoneNumber_);
    setHourglass(false);
    fillConfigurationMemo();
}

void TSendFaxForm::fillConfigurationMemo() {
    SetupDisplayMemo->clear();
    for (const auto& line : configurationLines(settings::current()))
        SetupDisplayMemo->appendPlainText(q(line));
}

void TSendFaxForm::setStatus(const QString& text) {
    if (text.isEmpty())
        status->clearMessage();
    else
        status->showMessage(text);
}

void TSendFaxForm::pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

void TSendFaxForm::setHourglass(bool on) {
    if (on == hourglass_)
        return;
    hourglass_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TSendFaxForm::closePort() {
    if (!VelkComPort1)
        return;
    try {
        VelkComPort1->SetOpen(false);
    } catch (const std::exception&) {
        // A port that will not close cleanly is closed as far as this dialog goes.
    }
}

void TSendFaxForm::abandon() {
    setHourglass(false);
    closePort();
    busy_ = false;
    setStatus(QString());
}

bool TSendFaxForm::showError(const QString& caption, const QString& text, int code, bool withContinue) {
    if (services_.showError)
        return services_.showError(this, caption, text, code, withContinue);
    QMessageBox box(QMessageBox::Critical, caption, shown(text), QMessageBox::Ok, this);
    QPushButton* cont = withContinue ? box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole) : nullptr;
    box.exec();
    return cont && box.clickedButton() == cont;
}

void TSendFaxForm::information(const QString& text) {
    if (services_.information)
        services_.information(this, text);
    else
        QMessageBox::information(this, QStringLiteral("Information"), shown(text));
}

void TSendFaxForm::SendFaxButtonClick() {
    if (busy_) {
        services_.beep ? services_.beep() : QApplication::beep();
        return;
    }
    busy_ = true;
    setHourglass(true);
    setStatus(QStringLiteral("Opening communications port..."));
    pump();

    auto& s = settings::current();
    portNumber_ = s.configuredPortNumber();
    choosePort(*VelkComPort1, portNumber_, s, services_.virtualDevice);
    const OpenResult opened = openPort(*VelkComPort1, portNumber_);
    if (!opened.ok) {
        abandon();
        showError(QStringLiteral("Error Opening Communications Port"),
                  q(opened.error) + QStringLiteral("\r\n\r\n") + findModemAdvice(portNumber_), -1, false);
        return;
    }

    if (!modemResponds(*VelkComPort1, s.resetting.string, [this] { pump(); })) {
        setHourglass(false);
        const QString n = QString::number(portNumber_);
        const QString text = QStringLiteral("We did not receive a modem response from COM") + n +
                             QStringLiteral(".\r\n\r\nTo verify the communications port, please click on the Find "
                                            "Modem button on the Preferences screen.\r\n\r\nIf you are sure there "
                                            "is a modem on COM") +
                             n +
                             QStringLiteral(", press CONTINUE\r\nto continue, otherwise press OK to stop the fax "
                                            "session.");
        if (!showError(QStringLiteral("No Response From Modem"), text, -1, true)) {
            abandon();
            return;
        }
        setHourglass(true);
    }

    if (!s.resetting.string.empty()) {
        setStatus(QStringLiteral("Sending reset string..."));
        pump();
        if (!modemCommandWithOk(*VelkComPort1, s.resetting.string)) {
            abandon();
            showError(QStringLiteral("Unable to Continue"),
                      QStringLiteral("We are unable to continue the fax session. \r\n\r\nThe modem did not respond "
                                     "to the reset string:   (") +
                          q(s.resetting.string) + QStringLiteral(")\r\n\r\n") + findModemAdvice(portNumber_),
                      -1, false);
            return;
        }
    }
    startAttempt();
}

void TSendFaxForm::startAttempt() {
    try {
        const auto& s = settings::current();
        const QLocale locale;
        DialChoices c;
        c.faxFile = s8(faxFile_);
        c.phoneNumber = s8(sfPhoneNumber->text());
        c.dialPrefix = s8(sfDialPrefix->text());
        c.disablePrefix = DisablePrefix->isChecked();
        c.dialSuffix = s8(sfDialsuffix->text());
        c.disableSuffix = DisableSuffix->isChecked();
        headerText_ = headerLine(s.user.name, s.user.fax, s8(locale.toString(QDate::currentDate(), QLocale::ShortFormat)),
                                 s8(locale.toString(QTime::currentTime(), QLocale::ShortFormat)));
        c.header = headerText_;
        if (senderUsed_)
            bindSender();
        senderUsed_ = true;
        configureSender(*sender_, s, c);

        setStatus(QString());
        pump();
        setHourglass(false);
        journal_.begin(c.disablePrefix || c.dialPrefix.empty() ? sender_->PhoneNumber()
                                                               : c.dialPrefix + " " + sender_->PhoneNumber());
        refreshJournalList();
        startCallLog();
        sender_->StartSending();
    } catch (const std::exception&) {
        setHourglass(false);
        busy_ = false;
        closePort();
        setStatus(QString());
    }
}

void TSendFaxForm::finishAttempt(int errorCode) {
    const std::string text = faxengine::errorText(errorCode);
    resultText_ = q(text);
    if (errorCode == 0 || resultText_.toUpper() == QStringLiteral("OK"))
        resultText_ = QStringLiteral("Sent");
    pump();
    keepCallReport(errorCode);
    auto& s = settings::current();
    if (!s.resetting.afterString.empty()) {
        setStatus(QStringLiteral("Sending AFTER reset string..."));
        pump();
        if (VelkComPort1->Open())
            modemCommandWithOk(*VelkComPort1, s.resetting.afterString);
    }
    closePort();
    pump();
    busy_ = false;
    setStatus(QString());
    if (resultText_ == QStringLiteral("Sent"))
        information(QStringLiteral("Fax sent successfully"));
    else
        showError(QStringLiteral("Fax Failure"),
                  QStringLiteral("We have received an error message while trying to send the fax\r\n\r\nError "
                                 "message: ") +
                      q(text) + QStringLiteral("\r\n\r\n"),
                  errorCode, false);
    emit attemptFinished();
}

void TSendFaxForm::startCallLog() {
    if (callReportFile_.isEmpty() || !VelkComPort1->Open())
        return;
    VelkComPort1->Dispatcher().StartLogging(kCallLogBytes);
}

void TSendFaxForm::keepCallReport(int errorCode) {
    if (callReportFile_.isEmpty() || !VelkComPort1->HasDispatcher())
        return;
    auto& d = VelkComPort1->Dispatcher();
    if (!d.Logging())
        return;
    if (faxengine::writeCallReportFile(callReportFile_.toStdString(), errorCode, d) == 0)
        CallReportButton->setVisible(static_cast<bool>(services_.callReport));
    d.StopLogging();
}

void TSendFaxForm::CallReportButtonClick() {
    if (services_.callReport && !callReportFile_.isEmpty())
        services_.callReport(this, callReportFile_);
}

void TSendFaxForm::refreshJournalList() {
    QStringList lines;
    for (const auto& l : journal_.lines())
        lines << q(l);
    StepsList->setPlainText(lines.join(QLatin1Char('\n')));
    StepsList->moveCursor(QTextCursor::End);
    StepsButton->setEnabled(!lines.isEmpty());
    statusDisplay_->JournalChanged();
}

void TSendFaxForm::CloseButtonClick() {
    if (busy_) {
        services_.beep ? services_.beep() : QApplication::beep();
        return;
    }
    setHourglass(true);
    closePort();
    setHourglass(false);
    accept();
}

void TSendFaxForm::reject() { CloseButtonClick(); }

void TSendFaxForm::closeEvent(QCloseEvent* e) {
    if (busy_) {
        e->ignore();
        services_.beep ? services_.beep() : QApplication::beep();
        return;
    }
    QDialog::closeEvent(e);
}

void TSendFaxForm::PreferencesButtonClick() {
    const bool accepted = services_.preferences && services_.preferences(this);
    if (accepted)
        fillDialingFromSettings();
    fillConfigurationMemo();
}

void TSendFaxForm::ProblemSolverButtonClick() {
    if (services_.problemSolver)
        services_.problemSolver(this);
}

void TSendFaxForm::HelpbuttonClick() {
    if (services_.help)
        services_.help(kSendFaxHelpContext);
}

} // namespace workflow::send
