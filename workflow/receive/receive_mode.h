// Receive mode of the main window: the Receive command switches it on (port, modem check,
// reset string, receiver waiting for calls) and off again. While it is on, every call is
// answered and stored in the receive directory; a complete fax gets a received-table
// record, the arrival sound and, when asked, a printout; a failed one is reported and its
// partial file removed. The status line and the tray icon follow each call.
#pragma once

#include "faxengine/com_port.h"
#include "faxengine/receive_fax.h"
#include "workflow/printing/print_fax.h"
#include "workflow/receive/receive_texts.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSystemTrayIcon;
class QWidget;

namespace faxlog {
class TDbeTable;
}

namespace workflow::receive {

class TStartingFaxForm;

// What is known of a call once it has ended; the call report gets it.
struct ReceivedCall {
    bool ok = false;
    std::string faxFile; // full path (already removed after a failure)
    std::string remoteId;
    int pages = 0;
    int lastError = 0;
    int hangupCode = 0;
    int bps = 0;
    std::vector<std::string> steps; // "m:ss  status line" as the call went
    std::string reportFile;         // the call report kept of it, "" when none
};

// What receive mode asks of the main window. Empty hooks do nothing, except where said.
struct ReceiveHooks {
    QWidget* mainWindow = nullptr;
    std::filesystem::path programDir;
    // The embedded virtual line's modem, for a port PVN.INI names no device for.
    std::string virtualDevice;

    std::function<void(bool on)> setReceiveMode;  // the window's flag; then its command rules
    std::function<void(bool on)> setReceivingNow; // the window's flag (its close query)
    std::function<void()> showReceivedPage;
    std::function<void()> applyCommandRules;
    std::function<void(const QString& text)> setStatus;
    std::function<void(const QString& caption, const QString& hint)> setReceiveButton;
    std::function<void(bool on)> setHourglass;
    std::function<void(QWidget* window)> centre;

    // The received table for a new record, and the grid's reload afterwards.
    std::function<faxlog::TDbeTable*()> receivedTable;
    std::function<void()> reopenReceivedTable;
    // Plays the arrival sound (the window's user message 43).
    std::function<void()> postFaxArrived;

    // The error dialog, closing itself after 30 s; true when Continue was pressed. With
    // `callReport` set the dialog offers "Call report..." running it. Empty: a message box.
    std::function<bool(QWidget* parent, const QString& caption, const QString& text, int errorCode,
                       bool withContinue, const std::function<void(QWidget*)>& callReport)>
        showError;
    // The report of a received call; empty: the error dialog has no "Call report..." button.
    std::function<void(QWidget* parent, const ReceivedCall& call)> callReport;

    // Printing on receipt; empty: printing::printFax.
    std::function<printing::FaxPrintResult(const std::filesystem::path&, const printing::FaxPrintOptions&)> print;
};

class ReceiveMode : public QObject {
    Q_OBJECT
public:
    explicit ReceiveMode(ReceiveHooks hooks, QObject* parent = nullptr);
    ~ReceiveMode() override;

    // The Receive command: enters receive mode when it is off, leaves it when it is on.
    void toggle();
    bool on() const { return on_; }
    bool receivingNow() const { return receivingNow_; }

    ReceiveHooks& hooks() { return hooks_; }
    TStartingFaxForm* noticeWindow() const { return notice_.get(); }
    faxengine::TVelkReceiveFax* receiver() const { return receiver_.get(); }
    bool portOpen() const;
    int lastErrorCode() const { return lastError_; }
    const ReceivedCall& lastCall() const { return lastCall_; }

    TrayState trayState() const { return trayState_; }
    QString trayToolTip() const { return trayTip_; }

    // How long leaving waits for the receiver to hang up a call.
    static constexpr std::chrono::milliseconds kStopWait{8000};

signals:
    void modeChanged(bool on);
    // A fax was stored and its record written.
    void faxReceived(const QString& faxFile, const QString& from, int pages);
    // A call failed; its partial file is gone.
    void receptionFailed(int errorCode);
    // Printing on receipt ended.
    void printed(bool ok, const QString& message);
    // The receiver's session ended (after leaving, or on a fault of the port).
    void receiverFinished();

private:
    void enter();
    void leave();
    void abandon();
    void closePort();
    void dropReceiver();
    void bindReceiver();
    bool showError(const QString& caption, const QString& text, bool withContinue, int code = -1,
                   const std::function<void(QWidget*)>& callReport = {});
    void setStatus(const QString& text);
    void setHourglass(bool on);
    void setReceivingNow(bool on);
    void pump();
    void updateTray(TrayState state);
    void announce(const QString& from, int pages);

    void receiverEnded(int code);
    void onStatus(bool first, bool last);
    void onLog(faxengine::TFaxLogCode code);
    std::string keepCallReport(const std::filesystem::path& report, int finishCode);
    void completeReception(std::string faxFile, std::string from, int pages);
    void failReception(std::string faxFile, int code);
    void printOnReceipt(const std::string& faxFile);
    void addStep(const std::string& text);

    ReceiveHooks hooks_;
    bool on_ = false;
    bool receivingNow_ = false;
    bool leaving_ = false;
    bool hourglass_ = false;
    int lastError_ = 0;
    int pageCount_ = 0;
    int portNumber_ = 1;
    std::string currentFaxFile_;
    ReceivedCall call_;     // the call in progress
    ReceivedCall lastCall_; // the last one that ended
    std::chrono::steady_clock::time_point callStart_{};
    std::string lastStep_;
    std::string lastStatusLine_;

    std::unique_ptr<TStartingFaxForm> notice_;
    std::unique_ptr<faxengine::TVelkComPort> port_;
    std::unique_ptr<faxengine::TVelkReceiveFax> receiver_;

    TrayState trayState_ = TrayState::Off;
    QString trayTip_;
    QSystemTrayIcon* tray_ = nullptr;
};

// The receiver's class for [Modem] FaxClassReceive (0 detect, 1, 2, 3 = Class 2.0).
faxengine::TFaxClass receiverClass(int stored);

} // namespace workflow::receive
