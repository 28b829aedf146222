#include "workflow/receive/receive_mode.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_records.h"
#include "faxengine/call_report.h"
#include "faxengine/engine_errors.h"
#include "settings/settings.h"
#include "workflow/receive/starting_fax_form.h"
#include "workflow/send/notice_pump.h"
#include "workflow/send/port_operations.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace workflow::receive {

namespace {

constexpr int kBufferFullMark = 7372;
constexpr int kBufferResumeMark = 819;
constexpr auto kPumpSlice = std::chrono::milliseconds(20);
// The dispatch log kept for the report of each call.
constexpr std::size_t kCallLogBytes = 32u * 1024u * 1024u;

QString q(const std::string& s) { return QString::fromStdString(s); }

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

QString shown(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

faxengine::TFaxClass receiverClass(int stored) {
    switch (stored) {
    case 1:
        return faxengine::TFaxClass::fcClass1;
    case 2:
        return faxengine::TFaxClass::fcClass2;
    case 3:
        return faxengine::TFaxClass::fcClass2_0;
    default:
        return faxengine::TFaxClass::fcDetect;
    }
}

ReceiveMode::ReceiveMode(ReceiveHooks hooks, QObject* parent)
    : QObject(parent), hooks_(std::move(hooks)), notice_(std::make_unique<TStartingFaxForm>(hooks_.mainWindow)) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(this);
        QIcon icon = hooks_.mainWindow ? hooks_.mainWindow->windowIcon() : QIcon();
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_ArrowLeft);
        tray_->setIcon(icon);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason) {
            if (QWidget* w = hooks_.mainWindow) {
                if (w->isMinimized())
                    w->showNormal();
                w->show();
                w->raise();
                w->activateWindow();
            }
        });
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
            if (QWidget* w = hooks_.mainWindow) {
                w->showNormal();
                w->raise();
                w->activateWindow();
            }
        });
        tray_->show();
    }
    updateTray(TrayState::Off);
}

ReceiveMode::~ReceiveMode() {
    // The receiver stops before its port and the window it reports to go.
    dropReceiver();
    closePort();
    setHourglass(false);
}

bool ReceiveMode::portOpen() const { return port_ && port_->Open(); }

void ReceiveMode::toggle() {
    if (on_)
        leave();
    else
        enter();
}

void ReceiveMode::pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, int(kPumpSlice.count())); }

void ReceiveMode::setStatus(const QString& text) {
    if (hooks_.setStatus)
        hooks_.setStatus(text);
}

void ReceiveMode::setHourglass(bool on) {
    if (on == hourglass_)
        return;
    hourglass_ = on;
    if (hooks_.setHourglass) {
        hooks_.setHourglass(on);
    } else if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void ReceiveMode::setReceivingNow(bool on) {
    receivingNow_ = on;
    if (hooks_.setReceivingNow)
        hooks_.setReceivingNow(on);
}

bool ReceiveMode::showError(const QString& caption, const QString& text, bool withContinue, int code,
                            const std::function<void(QWidget*)>& callReport) {
    if (hooks_.showError)
        return hooks_.showError(hooks_.mainWindow, caption, text, code, withContinue, callReport);
    QMessageBox box(QMessageBox::Critical, caption, shown(text), QMessageBox::Ok, hooks_.mainWindow);
    QPushButton* cont = withContinue ? box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole) : nullptr;
    box.exec();
    return cont && box.clickedButton() == cont;
}

// ---- entering and leaving ---------------------------------------------------------------

void ReceiveMode::enter() {
    setHourglass(true);
    lastError_ = 0;
    if (hooks_.showReceivedPage)
        hooks_.showReceivedPage();
    if (hooks_.centre)
        hooks_.centre(notice_.get());
    notice_->showStarting();
    notice_->hide();
    pump();

    on_ = true;
    if (hooks_.setReceiveMode)
        hooks_.setReceiveMode(true);
    pump();
    setStatus(QStringLiteral("Starting receive mode..."));

    const settings::Settings& s = settings::current();
    try {
        portNumber_ = s.configuredPortNumber();
        port_ = std::make_unique<faxengine::TVelkComPort>();
        send::choosePort(*port_, portNumber_, s, hooks_.virtualDevice);
        bindReceiver();
        receiver_->SetFaxClass(receiverClass(s.modem.faxClassReceive));
        receiver_->SetStationID(s.user.fax);
        receiver_->SetAnswerOnRing(s.receive.answerOnRing);
        receiver_->SetDesiredBPS(s.modem.maximumBpsReceive);
        receiver_->SetDesiredECM(s.receive.ecmReceive);
        if (!s.modem.initStringReceive.empty())
            receiver_->SetModemInit(send::withAtPrefix(s.modem.initStringReceive));

        const send::OpenResult opened = send::openPort(*port_, portNumber_);
        if (!opened.ok) {
            notice_->hide();
            setStatus(QString());
            showError(QStringLiteral("Error Opening Communications Port"),
                      q(openPortFailureText(opened.error, portNumber_)), false);
            abandon();
            return;
        }
        if (!send::modemResponds(*port_, s.resetting.string, [this] { pump(); })) {
            notice_->hide();
            setHourglass(false);
            if (!showError(QStringLiteral("No Response From Modem"), q(noModemResponseText(portNumber_)), true)) {
                closePort();
                setStatus(QString());
                abandon();
                return;
            }
            setHourglass(true);
        }
        if (!s.resetting.string.empty()) {
            setStatus(QStringLiteral("Sending reset string..."));
            pump();
            std::string reset = s.resetting.string;
            if (!send::modemCommandWithOk(*port_, reset)) {
                notice_->hide();
                setStatus(QString());
                setHourglass(false);
                closePort();
                showError(QStringLiteral("Unable to Continue"), q(resetStringFailureText(reset, portNumber_)),
                          false);
                abandon();
                return;
            }
        }
        notice_->show();
        port_->Dispatcher().StartLogging(kCallLogBytes);
        receiver_->StartReceiving();
        if (hooks_.setReceiveButton)
            hooks_.setReceiveButton(QStringLiteral("STOP"), QStringLiteral("Stop receiving faxes"));
        notice_->showReady();
        // Its size changed with its panel: centred again as it now is.
        notice_->adjustSize();
        if (hooks_.centre)
            hooks_.centre(notice_.get());
        setStatus(QString());
        updateTray(TrayState::Waiting);
        emit modeChanged(true);
    } catch (const std::exception&) {
        abandon();
        return;
    }
    if (hooks_.applyCommandRules)
        hooks_.applyCommandRules();
    setHourglass(false);
}

// Any failure while starting: everything back as it was, nothing left open.
void ReceiveMode::abandon() {
    notice_->hide();
    setStatus(QString());
    setHourglass(false);
    dropReceiver();
    closePort();
    on_ = false;
    if (hooks_.setReceiveMode)
        hooks_.setReceiveMode(false);
    if (hooks_.setReceiveButton)
        hooks_.setReceiveButton(QStringLiteral("&Receive"), QStringLiteral("Start receiving faxes"));
    updateTray(TrayState::Off);
    if (hooks_.applyCommandRules)
        hooks_.applyCommandRules();
}

void ReceiveMode::leave() {
    notice_->hide();
    setHourglass(true);
    leaving_ = true;
    try {
        if (receiver_ && receiver_->Busy()) {
            // The modem is hung up and reset first, which takes a few seconds.
            setStatus(QStringLiteral("Stopping receive mode..."));
            receiver_->AbortFax();
            // A call is hung up with waits; its failure must be handled (the partial file
            // removed) before the port and the tables go.
            QEventLoop wait;
            QTimer giveUp;
            giveUp.setSingleShot(true);
            connect(&giveUp, &QTimer::timeout, &wait, &QEventLoop::quit);
            connect(this, &ReceiveMode::receiverFinished, &wait, &QEventLoop::quit);
            giveUp.start(kStopWait);
            if (receiver_->Busy())
                wait.exec();
        }
        pump();
        const std::string& after = settings::current().resetting.afterString;
        if (!after.empty() && portOpen()) {
            setStatus(QStringLiteral("Sending AFTER reset string..."));
            pump();
            std::string command = after;
            send::modemCommandWithOk(*port_, command);
        }
    } catch (const std::exception&) {
        // Leaving goes on whatever the modem did.
    }
    dropReceiver();
    closePort();
    pump();
    leaving_ = false;
    on_ = false;
    setReceivingNow(false);
    if (hooks_.setReceiveMode)
        hooks_.setReceiveMode(false);
    setHourglass(false);
    if (hooks_.setReceiveButton)
        hooks_.setReceiveButton(QStringLiteral("&Receive"), QStringLiteral("Start receiving faxes"));
    setStatus(QString());
    updateTray(TrayState::Off);
    emit modeChanged(false);
    if (hooks_.applyCommandRules)
        hooks_.applyCommandRules();
}

void ReceiveMode::closePort() {
    if (!port_)
        return;
    try {
        port_->SetOpen(false);
    } catch (const std::exception&) {
        // A port that will not close cleanly is closed as far as receive mode goes.
    }
    port_.reset();
}

void ReceiveMode::dropReceiver() {
    if (!receiver_)
        return;
    if (receiver_->Busy())
        receiver_->AbortFax();
    receiver_.reset();
}

// A new receiver for each start: a session that ended leaves its modem set-up behind.
void ReceiveMode::bindReceiver() {
    receiver_ = std::make_unique<faxengine::TVelkReceiveFax>();
    receiver_->SetComPort(port_.get());
    port_->SetBufferFull(kBufferFullMark);
    port_->SetBufferResume(kBufferResumeMark);
    receiver_->SetFaxFileExt("APF");
    receiver_->SetConstantStatus(true);
    receiver_->SetDestinationDir((hooks_.programDir / "receive").string());

    send::pumpNoticesOnQtThread(this, receiver_);
    receiver_->OnFaxAccept = [this](faxengine::TVelkCustomAbstractFax&, bool& accept) {
        setReceivingNow(true);
        lastError_ = 0;
        call_ = ReceivedCall{};
        callStart_ = std::chrono::steady_clock::now();
        lastStep_.clear();
        lastStatusLine_.clear();
        updateTray(TrayState::Receiving);
        accept = true;
    };
    receiver_->OnFaxError = [this](faxengine::TVelkCustomAbstractFax&, int code) { lastError_ = code; };
    receiver_->OnFaxStatus = [this](faxengine::TVelkCustomAbstractFax&, bool first, bool last) {
        onStatus(first, last);
    };
    receiver_->OnFaxLog = [this](faxengine::TVelkCustomAbstractFax&, faxengine::TFaxLogCode code) { onLog(code); };
    receiver_->OnFaxFinish = [this](faxengine::TVelkCustomAbstractFax&, int code) {
        emit receiverFinished();
        // Not asked to stop: the receiver gave up by itself (the modem went away). Receive
        // mode must not go on looking on with nothing listening.
        if (on_ && !leaving_)
            QTimer::singleShot(0, this, [this, code] { receiverEnded(code); });
    };
}

void ReceiveMode::receiverEnded(int code) {
    if (!on_ || leaving_ || (receiver_ && receiver_->Busy()))
        return;
    abandon();
    setReceivingNow(false);
    emit modeChanged(false);
    setStatus(QStringLiteral("Receive mode ended: ") + q(faxengine::errorText(code != 0 ? code : -1)));
}

// ---- events -----------------------------------------------------------------------------

void ReceiveMode::onStatus(bool first, bool last) {
    const faxengine::TVelkReceiveFax& r = *receiver_;
    pageCount_ = r.CurrentPage();
    StatusFacts facts;
    facts.progressText = faxengine::faxStatusText(r.FaxProgress());
    facts.remoteId = r.RemoteID();
    facts.currentPage = r.CurrentPage();
    facts.bytesTransferred = r.BytesTransferred();
    const std::string text = statusLineText(facts);
    setStatus(q(text));
    lastStatusLine_ = text;
    if (receivingNow_) {
        addStep(text);
        updateTray(TrayState::Receiving);
    }
    if (notice_->isVisible() && hidesNoticeWindow(text))
        notice_->hide();
    if (first)
        pageCount_ = 0;
    if (last) {
        setReceivingNow(false);
        if (on_)
            updateTray(TrayState::Waiting);
    }
}

void ReceiveMode::addStep(const std::string& text) {
    // Byte counts change every second; one line per kind of step is enough.
    const std::string kind = text.substr(0, text.find(" ("));
    if (kind.empty() || kind == lastStep_)
        return;
    lastStep_ = kind;
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - callStart_);
    const long long s = secs.count();
    const std::string seconds = std::to_string(s % 60);
    call_.steps.push_back(std::to_string(s / 60) + ":" + (seconds.size() < 2 ? "0" : "") + seconds + "  " + kind);
}

void ReceiveMode::onLog(faxengine::TFaxLogCode code) {
    const faxengine::TVelkReceiveFax& r = *receiver_;
    switch (code) {
    case faxengine::TFaxLogCode::lfaxReceiveStart:
        currentFaxFile_ = r.FaxFile();
        return;
    case faxengine::TFaxLogCode::lfaxReceiveOk: {
        setReceivingNow(false);
        // The notice's own page number: a status notice may not have come since the last page.
        const int pages = std::max(pageCount_, r.CurrentPage());
        call_.bps = r.SessionBPS();
        call_.hangupCode = r.HangupCode();
        // Writing, reloading and printing take longer than the engine waits for a notice.
        QTimer::singleShot(0, this, [this, file = r.FaxFile(), from = trimmed(r.RemoteID()), pages] {
            completeReception(file, from, pages);
        });
        return;
    }
    case faxengine::TFaxLogCode::lfaxReceiveFail: {
        setReceivingNow(false);
        call_.remoteId = trimmed(r.RemoteID());
        call_.hangupCode = r.HangupCode();
        call_.bps = r.SessionBPS();
        const int error = lastError_ != 0 ? lastError_ : r.LastError();
        lastError_ = 0;
        // The partial file goes now, whatever the dialog then does.
        failReception(r.FaxFile().empty() ? currentFaxFile_ : r.FaxFile(), error);
        return;
    }
    case faxengine::TFaxLogCode::lfaxTransmitStart:
    case faxengine::TFaxLogCode::lfaxTransmitOk:
    case faxengine::TFaxLogCode::lfaxTransmitFail:
    case faxengine::TFaxLogCode::lfaxReceiveSkip:
        return;
    }
}

// The report of the call that just ended, from the dispatch log since the last one; the
// log then starts afresh for the next call. The path, or "" when none could be written.
std::string ReceiveMode::keepCallReport(const std::filesystem::path& report, int finishCode) {
    if (!port_ || !port_->HasDispatcher())
        return {};
    auto& d = port_->Dispatcher();
    const bool written = faxengine::writeCallReportFile(report, finishCode, d) == 0;
    d.ClearLogging();
    return written ? report.string() : std::string();
}

void ReceiveMode::completeReception(std::string faxFile, std::string from, int pages) {
    call_.ok = true;
    // Kept beside the fax: receive/FAX0001.call.
    call_.reportFile = keepCallReport(std::filesystem::path(faxFile).replace_extension(".call"), 0);
    call_.faxFile = faxFile;
    call_.remoteId = from;
    call_.pages = pages;
    lastCall_ = call_;
    if (faxlog::TDbeTable* table = hooks_.receivedTable ? hooks_.receivedTable() : nullptr) {
        try {
            faxlog::appendReceivedFax(*table, from, pages, faxFile);
        } catch (const std::exception& e) {
            setStatus(QStringLiteral("The received fax could not be logged: ") + QString::fromLocal8Bit(e.what()));
        }
    }
    pump();
    if (hooks_.reopenReceivedTable)
        hooks_.reopenReceivedTable();
    pump();
    if (hooks_.postFaxArrived)
        hooks_.postFaxArrived();
    if (hooks_.applyCommandRules)
        hooks_.applyCommandRules();
    if (on_)
        updateTray(TrayState::Waiting);
    announce(q(from), pages);
    emit faxReceived(q(faxFile), q(from), pages);
    if (settings::current().receive.printOnReceipt)
        printOnReceipt(faxFile);
}

void ReceiveMode::printOnReceipt(const std::string& faxFile) {
    const settings::Settings& s = settings::current();
    printing::FaxPrintOptions o;
    // A configured printer that is not installed: the default one prints instead.
    if (s.receive.printOnReceiptPrinter != settings::kDefaultPrinterText)
        o.printer = s.receive.printOnReceiptPrinter;
    o.missingPrinterUsesDefault = true;
    o.header = false;
    o.footer = false;
    o.waitBetweenPages = settings::imposeWaitBeforePrinting();
    printing::FaxPrintResult result;
    try {
        result = hooks_.print ? hooks_.print(faxFile, o) : printing::printFax(faxFile, o);
    } catch (const std::exception& e) {
        result.outcome = printing::FaxPrintOutcome::Failed;
        result.message = e.what();
    }
    // Nobody may be at the computer: the status line says it, no dialog waits.
    if (!result.ok())
        setStatus(QStringLiteral("The received fax was not printed: ") + q(result.message));
    emit printed(result.ok(), q(result.message));
}

void ReceiveMode::failReception(std::string faxFile, int code) {
    std::error_code ec;
    if (!faxFile.empty() && std::filesystem::exists(faxFile, ec))
        std::filesystem::remove(faxFile, ec);
    call_.ok = false;
    call_.faxFile = faxFile;
    call_.lastError = code;
    // No record to name it after: the time of the failure does.
    call_.reportFile = keepCallReport(
        hooks_.programDir /
            ("PVN-R-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString() + ".call"),
        code);
    lastCall_ = call_;
    if (on_)
        updateTray(TrayState::Waiting);
    emit receptionFailed(code);
    // Stopped by the user (STOP or leaving the program): nothing to report.
    if (leaving_)
        return;
    QTimer::singleShot(0, this, [this, code, call = call_] {
        std::function<void(QWidget*)> report;
        if (hooks_.callReport && !call.reportFile.empty())
            report = [this, call](QWidget* parent) { hooks_.callReport(parent, call); };
        showError(QStringLiteral("Failed To Receive Incoming Fax"), q(receiveFailureText(code)), false, code, report);
    });
}

// ---- tray -------------------------------------------------------------------------------

void ReceiveMode::updateTray(TrayState state) {
    trayState_ = state;
    trayTip_ = q(receive::trayToolTip(state, lastStatusLine_));
    if (tray_)
        tray_->setToolTip(trayTip_);
}

void ReceiveMode::announce(const QString& from, int pages) {
    if (tray_ && QSystemTrayIcon::supportsMessages())
        tray_->showMessage(q(arrivalTitle()), q(arrivalMessage(from.toStdString(), pages)),
                           QSystemTrayIcon::Information);
}

} // namespace workflow::receive
