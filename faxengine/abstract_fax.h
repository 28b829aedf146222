// TVelkCustomAbstractFax: what the send and receive fax components share. A component
// owns a fax session, keeps its options as properties, starts a state machine on a
// serial port and turns the session's notices into events on the owner's thread.
//
// Notices wait in a queue until the owner runs them: call Notices().pump() from the
// owner's event loop (after the wake-up it may set) or Notices().waitAndPump() in a loop
// of its own. Event handlers must return within a second: the engine waits no longer.
#pragma once

#include "faxengine/com_port.h"
#include "faxengine/fax_log.h"
#include "faxengine/fax_notice.h"
#include "faxengine/fax_session.h"
#include "faxengine/fax_status.h"

#include <functional>
#include <memory>
#include <string>

namespace faxengine {

using TFaxClass = FaxClass;
class TVelkAbstractFaxStatus;

// How a component runs a state machine on its session. The machines plug in here so
// tests can put a scripted one in their place.
struct FaxMachine {
    // Initialises the session and starts its state procedure (FaxSession::Start with the
    // machine's init and state procedures); 0 or the error that stopped it.
    std::function<int(FaxSession&, TVelkBaseDispatcher&, FaxNoticeSink&)> start;
    // Hands the user-abort message to the running state procedure.
    std::function<void(FaxSession&)> abort;
    // Runs on the owner's thread when the finish notice arrives, before OnFaxFinish.
    std::function<void(FaxSession&)> finished;
};

// The machines built into the engine; `start` is empty while one is not available.
FaxMachine transmitMachine();
FaxMachine receiveMachine();

// Raised by StartSending / StartReceiving when the engine has no machine for the role.
inline constexpr const char* kMachineMissingText = "not available yet";

class TVelkCustomAbstractFax : private FaxNoticeSink {
public:
    virtual ~TVelkCustomAbstractFax();
    TVelkCustomAbstractFax(const TVelkCustomAbstractFax&) = delete;
    TVelkCustomAbstractFax& operator=(const TVelkCustomAbstractFax&) = delete;

    // ---- published properties --------------------------------------------------------
    int InitBaud() const { return session_->initBaud; }
    void SetInitBaud(int baud);
    int NormalBaud() const { return session_->normalBaud; }
    void SetNormalBaud(int baud) { session_->normalBaud = baud; }
    TFaxClass FaxClass() const { return faxClass_; }
    void SetFaxClass(TFaxClass c) { faxClass_ = c; }
    const std::string& ModemInit() const { return session_->modemInit; }
    void SetModemInit(std::string_view s) { session_->SetModemInit(s); }
    const std::string& StationID() const { return session_->stationId; }
    void SetStationID(std::string_view id) { session_->stationId = std::string(id.substr(0, 20)); }
    TVelkComPort* ComPort() const { return comPort_; }
    // Sets the port up for faxing: 8N1, 19200 bps, 8192-byte buffers, RTS/CTS flow.
    void SetComPort(TVelkComPort* port);
    TVelkAbstractFaxStatus* StatusDisplay() const { return statusDisplay_; }
    void SetStatusDisplay(TVelkAbstractFaxStatus* display);
    TVelkFaxLog* FaxLog() const { return faxLog_; }
    void SetFaxLog(TVelkFaxLog* log);
    virtual std::string FaxFile() const = 0;
    virtual void SetFaxFile(std::string name) = 0;
    bool AbortNoConnect() const { return option(faxopt::AbortNoConnect); }
    void SetAbortNoConnect(bool on) { setOption(faxopt::AbortNoConnect, on); }
    bool ExitOnError() const { return option(faxopt::ExitOnError); }
    void SetExitOnError(bool on) { setOption(faxopt::ExitOnError, on); }
    bool SoftwareFlow() const { return option(faxopt::SoftwareFlow); }
    void SetSoftwareFlow(bool on) { setOption(faxopt::SoftwareFlow, on); }
    int StatusInterval() const { return session_->statusInterval; }
    void SetStatusInterval(int seconds) { session_->statusInterval = seconds; }
    int DesiredBPS() const { return session_->desiredBps; }
    void SetDesiredBPS(int bps) { session_->desiredBps = bps; }
    bool DesiredECM() const { return session_->ecChar == '1'; }
    void SetDesiredECM(bool on) { session_->ecChar = on ? '1' : '0'; }
    const std::string& FaxFileExt() const { return session_->faxFileExt; }
    void SetFaxFileExt(std::string ext) { session_->faxFileExt = std::move(ext); }

    // ---- events (run on the owner's thread) -------------------------------------------
    std::function<void(TVelkCustomAbstractFax& cp, bool first, bool last)> OnFaxStatus;
    std::function<void(TVelkCustomAbstractFax& cp, TFaxLogCode code)> OnFaxLog;
    std::function<void(TVelkCustomAbstractFax& cp, int errorCode)> OnFaxError;
    std::function<void(TVelkCustomAbstractFax& cp, int errorCode)> OnFaxFinish;

    // ---- public read-only values, as of the last notice --------------------------------
    const std::string& RemoteID() const { return progress_.remoteId; }
    int FaxProgress() const { return progress_.faxStatus; }
    int CurrentPage() const { return progress_.currentPage; }
    int TotalPages() const { return progress_.pageCount; }
    long long BytesTransferred() const { return progress_.pageBytes; }
    long long PageLength() const { return progress_.pageLength; }
    int HangupCode() const { return progress_.hangupCode; }
    int SessionBPS() const { return progress_.bps; }
    bool SessionResolution() const { return progress_.fine; }
    bool SessionWidth() const { return progress_.wide; }
    bool SessionECM() const { return progress_.ecm; }
    int LastError() const { return progress_.lastError; }
    const faxengine::FaxProgress& Progress() const { return progress_; }

    // ---- operations -----------------------------------------------------------------------
    // Outside a session: asks the modem (bits 4 Class 1, 8 Class 2, 16 Class 2.0; 0 when
    // it did not answer). During a session: the last answer.
    int SupportedFaxClasses();
    // Asks the running session to stop; its finish notice follows.
    void AbortFax();
    // From the start until the finish notice has been handled.
    bool Busy() const { return busy_; }

    FaxNoticeQueue& Notices() { return notices_; }
    // Replaces the state machine (tests).
    void SetMachine(FaxMachine m) { machine_ = std::move(m); }

    // What the history log writes about this fax.
    virtual FaxHistoryFacts HistoryFacts() const;

protected:
    TVelkCustomAbstractFax(FaxRole role, FaxMachine machine);

    // Notice handlers, in the order of the original virtual slots. They run on the
    // owner's thread; the answer of the requests goes back to the engine.
    virtual void FaxStatusNotice(bool first, bool last);
    virtual void FaxLogNotice(TFaxLogCode code);
    virtual void FaxErrorNotice(int errorCode);
    virtual void FaxFinishNotice(int errorCode);
    virtual void FaxNextOrAcceptNotice(FaxNoticeAnswer& answer) = 0;
    virtual void FaxNameNotice(FaxNoticeAnswer& answer);

    // Drops the session's reference to a dispatcher the port has closed since.
    void forgetClosedPort();
    // Port check before a start; raises EPortNotAssigned or
    // EOutputBufferTooSmall.
    void CheckPort() const;
    // Copies the properties into the session and starts the machine. Throws when the
    // engine has no machine for this role.
    void StartSession();
    FaxSession& Session() { return *session_; }
    const FaxSession& Session() const { return *session_; }

    // Engine-thread hook: copies a request's answer into the session (answered in time).
    virtual std::int32_t ApplyAnswer(FaxNoticeKind kind, const FaxNoticeAnswer& answer);

private:
    friend class TVelkFaxLog;
    friend class TVelkAbstractFaxStatus;
    void unbindLog(TVelkFaxLog* log);
    void unbindDisplay(TVelkAbstractFaxStatus* display);

    // FaxNoticeSink (engine thread, or the owner's during initialisation).
    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession& session, std::int32_t param,
                                           std::chrono::milliseconds timeout) override;
    void PostNotice(std::uint16_t msg, FaxSession& session, std::int32_t param) override;
    faxengine::FaxProgress snapshot(const FaxSession& s) const;
    void handle(const FaxNotice& n, FaxNoticeAnswer& answer);

    bool option(std::uint16_t bit) const { return session_->options & bit; }
    void setOption(std::uint16_t bit, bool on);

    std::unique_ptr<FaxSession> session_;
    FaxMachine machine_;
    TFaxClass faxClass_;
    TVelkComPort* comPort_ = nullptr;
    TVelkAbstractFaxStatus* statusDisplay_ = nullptr;
    TVelkFaxLog* faxLog_ = nullptr;
    faxengine::FaxProgress progress_;
    int lastClasses_ = 0;
    bool busy_ = false;
    FaxNoticeQueue notices_;
};

} // namespace faxengine
