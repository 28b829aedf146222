// The fax receive state machine: waits for calls on a Class 1, 2 or 2.0 fax modem,
// answers, negotiates as the called station, stores each fax as an APF file and then
// waits for the next call or finishes.
//
// The machine has no port, thread or clock of its own: it works through the session's
// command layer behind a ReceiveLink and talks to its owner through ReceiveOwner, so tests
// drive whole calls with a scripted modem and fire the timers themselves. FaxReceivePort
// (in fax_receive_port.h) runs it on a fax session.
#pragma once

#include "faxengine/class2_commands.h"
#include "faxengine/fax_receive_file.h"
#include "faxengine/rtc_finder.h"
#include "faxengine/fax_receive_state.h"
#include "faxengine/fax_timing.h"
#include "faxengine/reader_event.h"
#include "base/t30_codes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace faxengine {


// Session parameters the calling station chose (Class 1 DCS, Class 2/2.0 report).
struct ReceiveParams {
    int bps = 2400;
    bool fine = false;
    bool wide = false;
    std::string trainingCode = "24"; // AT+FRM= of the training check
    std::string pageCode = "24";     // AT+FRM= of the page data
};

// A frame from the calling station, as the session parsed it.
struct CallerFrame {
    bool whole = false; // long enough to carry an FCF; nothing else is set otherwise
    std::uint8_t fcf = 0;
    bool final = false;
    bool retrain = false; // FTT or RTN
    bool dcn = false;
    std::optional<std::string> remoteId; // TSI, CSI, CIG
    std::optional<ReceiveParams> params; // DCS
};

// What the machine needs from the session's command layer and the port under it.
class ReceiveLink {
public:
    virtual ~ReceiveLink() = default;

    // Commands: the session's delays, a CR, the reader reset with the response timeout.
    virtual void SendCommand(std::string_view cmd) = 0;
    virtual void SendClass1Command(std::string_view cmd) = 0;
    virtual void SendRaw(std::string_view bytes) = 0;
    // Feeds waiting input to the session's reader up to the first complete line or frame.
    virtual ReaderEvent ReadResponse() = 0;
    // The completed line (trimmed) or frame.
    virtual const std::string& Response() const = 0;
    // Raw input (training check, page data); false when nothing waits.
    virtual bool GetByte(std::uint8_t& b) = 0;
    virtual bool InputWaiting() = 0;
    // A busy wait (the delays of the command layer).
    virtual void Pause(std::chrono::milliseconds ms) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;

    // The timeout timer: fires Timeout once, unless disarmed or re-armed first.
    virtual void ArmTimeout(std::chrono::milliseconds after) = 0;
    virtual void DisarmTimeout() = 0;
    // Inbound software flow control (XOFF at `off` buffered bytes, XON at `on`).
    virtual void SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) = 0;

    // Class 1 frames of the called station.
    virtual void SendCsiFrame(std::string_view stationId) = 0; // non-final
    // Final; fine and wide offered, speeds up to the modulation index.
    virtual void SendDisFrame(int modulation) = 0;
    virtual void SendFcfFrame(std::uint8_t fcf, bool final) = 0;
    // Parses the frame the reader completed.
    virtual CallerFrame ParseFrame() = 0;
    // Class 2/2.0 session report (+FDCS / +FCS line).
    virtual ReceiveParams ApplySessionReport(std::string_view line) = 0;

    // Line.
    virtual void SetDtrRts(bool on) = 0;
    virtual void ReceiveHangup() = 0;
    virtual void SessionSpeed() = 0;
    virtual void IdleSpeed() = 0;
    virtual void LogState(ReceiveState) = 0;
};

// Log codes sent to the owner.
namespace rxlog {
inline constexpr int ReceiveStart = 4;
inline constexpr int ReceiveOK = 5;
inline constexpr int ReceiveRefused = 6;
inline constexpr int ReceiveFailed = 7;
} // namespace rxlog

// Fax status codes the receiver reports.
namespace rxstatus {
inline constexpr int Waiting = 20;
inline constexpr int NoCarrier = 21;
inline constexpr int Answering = 22;
inline constexpr int Connected = 23;
inline constexpr int ReceivingPage = 24;
inline constexpr int PageEnd = 25;
inline constexpr int PageStored = 26;
inline constexpr int FaxStored = 27;
inline constexpr int HungUp = 28;
inline constexpr int SessionParams = 40;
inline constexpr int RemoteId = 41;
inline constexpr int Aborting = 42;
} // namespace rxstatus

// Calls out to the owner, on the thread that drives the machine. Unset calls accept,
// give no file name and ignore the rest.
struct ReceiveOwner {
    std::function<bool(const std::string& remoteId)> accept;
    std::function<std::string()> fileName; // full path of the next fax file
    std::function<void(bool first, bool last)> status;
    std::function<void(int code)> log;
    std::function<void(int code)> error;
    std::function<void(int code)> finish;
};

struct ReceiveOptions {
    FaxClass faxClass = FaxClass::fcClass1;
    int answerOnRing = 1;
    char faxAndData = '0';
    char ecChar = '0';
    bool oneFax = false;
    bool constantStatus = false;
    bool exitOnError = false;
    bool softwareFlow = false;
    int desiredBps = 9600;
    // Highest Class 1 modulation index the modem receives (capability query).
    int modemIndex = 6;
    std::string stationId;
    std::chrono::milliseconds answerWait{60000};
};

enum class ReceiveEvent : std::uint8_t { Data, Timeout, StatusTimer, UserAbort };
std::string_view to_string(ReceiveEvent e);

class FaxReceiver {
public:
    // One row per state, in the order of the state numbers.
    using StepFn = void (*)(FaxReceiver&);
    struct StateRow {
        ReceiveState state;
        std::string_view name;
        ReceiveRun runAfter;  // how the machine goes on after the step
        bool readsResponses;  // events go through the response reader first
        StepFn step;          // none: nothing to do in this state
    };
    static const std::array<StateRow, kReceiveStateCount> kStates;
    static const StateRow& rowOf(ReceiveState s);

    using ms = std::chrono::milliseconds;
    static constexpr ms kResponseTimeout{10000};
    // T.30's T4: the wait for the answer to a frame we sent.
    static constexpr ms kT4 = t30::T4;
    static constexpr ms kPageInactivity{10000};
    static constexpr ms kLateAnswerGrace{1000};
    static constexpr std::size_t kPageChunk = 10000;
    static constexpr std::size_t kFlowOff = 6144;
    static constexpr std::size_t kFlowOn = 2048;
    static constexpr int kMaxFrameRetries = 3;
    static constexpr int kBadTrainingPercent = 10;

    FaxReceiver(ReceiveLink& link, ReceiveOwner owner, ReceiveOptions options);

    // Enters rfInit and runs it.
    void Start();
    // One event from the port (data waiting, a timer) or the owner (user abort).
    void Handle(ReceiveEvent ev);
    // The device went away (code: the port's error): the call ends, and the receiver with it.
    void PortLost(int code);

    ReceiveState State() const { return state_; }
    bool Finished() const { return state_ == ReceiveState::rfDone; }
    int FaxStatus() const { return faxStatus_; }
    int LastError() const { return lastError_; }
    const std::string& RemoteId() const { return remoteId_; }
    int CurrentPage() const { return currentPage_; }
    int SessionBps() const { return bps_; }
    bool SessionFine() const { return fine_; }
    const std::string& FaxFileName() const { return fileName_; }
    int FileState() const { return fileState_; }

private:
    enum class ReadResult : std::uint8_t { None, Line, Frame, Moved };

    void run(ReceiveEvent ev);
    ReadResult readResponse();
    ReadResult onFrame();
    void onTimeout();
    void step();

    // One handler per state.
    void doInit();
    void doInitReply();
    void doWaiting();
    void doAnswer();
    void doSendCSI();
    void doSendDIS();
    void doCollFrms();
    void doCollRtry1();
    void doCollRtry2();
    void doStrtTrn();
    void doCollTrn();
    void doRetrain();
    void doFinTrn();
    void doSendCFR();
    void doWtPgCnnct();
    void doValCnnct();
    void doGtSndID();
    void doGtCnnct();
    void doStartPage();
    void doGtPgDta();
    void doFinPage();
    void doWaitEOP();
    void doWritePage();
    void doSendMCF();
    void doWaitDCN();
    void doWtHngp();
    void doGtPgRslt();
    void doGetFHNG();
    void doComplete();
    void doAbort();
    // A completed line no row of the state matches.
    void unexpected();

    // Rules shared by states.
    bool acceptRule();
    int createRule();
    int finishPage();
    void discardPage();
    void onSessionReport();

    // Command layer.
    void sendCommand(std::string_view s);
    void sendClass1(std::string_view s);
    void resetReader(ms timeout);
    bool has(std::string_view s) const { return !s.empty() && line_.find(s) != std::string::npos; }
    void receiveHangup();
    void applyParams(const ReceiveParams& p);

    void goTo(ReceiveState s);
    void fail(int code, ReceiveState next = ReceiveState::rfAbort);
    void setStatus(int code) { faxStatus_ = code; }
    void statusEvent(bool first, bool last);
    void logEvent(int code);
    bool isClass1() const { return opt_.faxClass == FaxClass::fcClass1; }

    ReceiveLink& link_;
    ReceiveOwner owner_;
    ReceiveOptions opt_;
    Class2Commands class2_; // the class's command and report names (empty for Class 1)

    ReceiveState state_ = ReceiveState::rfNone;
    int faxStatus_ = 0;
    int lastError_ = 0;
    bool statusShown_ = false;
    bool userAbort_ = false;
    bool portLost_ = false;
    RtcFinder rtc_; // the current page's end
    int fileState_ = 3;
    int rings_ = 0;
    int retries_ = 0;
    int hangupCode_ = 0;

    // Response reader.
    std::string line_;        // the last completed line (trimmed)
    std::string lastCommand_; // its echo is skipped
    std::chrono::steady_clock::time_point readerDeadline_{};

    // Phase B / C values.
    bool lastFinal_ = false;
    std::uint8_t lastFcf_ = 0;
    bool morePages_ = false;
    bool eom_ = false;
    std::string remoteId_;
    std::string trainingCode_ = "24";
    std::string pageCode_ = "24";
    int bps_ = 0;
    bool fine_ = false;
    bool wide_ = false;
    int modIndex_ = 1;

    // Training check.
    long trainTotal_ = 0;
    long trainErrors_ = 0;
    bool trainDle_ = false;

    // Page data.
    int currentPage_ = 0;
    std::uint8_t lastByte_ = 255;
    bool pageRejected_ = false; // Class 2/2.0: the page status report found it bad
    ReceiveFile file_;
    std::string fileName_;
};

} // namespace faxengine
