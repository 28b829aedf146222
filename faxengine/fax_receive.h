// The fax receive state machine: waits for calls on a Class 1, 2 or 2.0 fax modem,
// answers, negotiates as the called station, stores each fax as an APF file and then
// waits for the next call or finishes.
//
// The machine has no port, thread or clock of its own: it reads and writes through a
// ReceivePort and talks to its owner through ReceiveOwner, so tests drive whole calls
// with a scripted modem and fire the timers themselves. ReceiveDispatcherPort (in
// fax_receive_port.h) runs it on a real port's dispatcher.
#pragma once

#include "faxengine/fax_receive_file.h"
#include "faxengine/fax_receive_frames.h"
#include "faxengine/fax_receive_state.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace faxengine {

enum class ReceiveClass : std::uint8_t { Class1, Class2, Class20 };
std::string_view to_string(ReceiveClass c);

// What the machine does to its port.
class ReceivePort {
public:
    virtual ~ReceivePort() = default;
    virtual std::size_t InBuffUsed() = 0;
    // False when nothing waits.
    virtual bool GetChar(std::uint8_t& c) = 0;
    virtual void Put(std::span<const std::uint8_t> bytes) = 0;
    virtual void SetDtrRts(bool on) = 0;
    virtual void FlushIn() = 0;
    virtual void FlushOut() = 0;
    // A busy wait (the delays of the command layer).
    virtual void Wait(std::chrono::milliseconds ms) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // The timeout timer: fires Timeout once, unless disarmed or re-armed first.
    virtual void ArmTimeout(std::chrono::milliseconds after) = 0;
    virtual void DisarmTimeout() = 0;
    // Inbound software flow control (XOFF at `off` buffered bytes, XON at `on`).
    virtual void SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) = 0;
    virtual void SessionSpeed() {}
    virtual void IdleSpeed() {}
    virtual void LogState(ReceiveState) {}
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
    ReceiveClass faxClass = ReceiveClass::Class1;
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
    using ms = std::chrono::milliseconds;
    static constexpr ms kResponseTimeout{10000};
    static constexpr ms kFrameWait{54 * 55};
    static constexpr ms kPageInactivity{10000};
    static constexpr ms kCommandPreDelay{100};
    static constexpr ms kClass1TurnDelay{40};
    static constexpr ms kResponseTurnDelay{200};
    static constexpr ms kDleWait{10};
    static constexpr ms kFrameStartDelay{20};
    static constexpr ms kGuardTime{1000};
    static constexpr ms kDtrDrop{500};
    static constexpr std::size_t kPageChunk = 10000;
    static constexpr std::size_t kFlowOff = 6144;
    static constexpr std::size_t kFlowOn = 2048;
    static constexpr int kMaxFrameRetries = 3;
    static constexpr int kBadTrainingPercent = 10;

    FaxReceiver(ReceivePort& port, ReceiveOwner owner, ReceiveOptions options);

    // Enters rfInit and runs it.
    void Start();
    // One event from the port (data waiting, a timer) or the owner (user abort).
    void Handle(ReceiveEvent ev);

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
    void sendCommand(std::string_view s, ms preDelay = kCommandPreDelay);
    void sendClass1(std::string_view s) { sendCommand(s, kClass1TurnDelay); }
    void sendRaw(std::string_view s);
    void sendFrame(const std::vector<std::uint8_t>& f);
    void resetReader(ms timeout = kResponseTimeout);
    bool has(std::string_view s) const { return line_.find(s) != std::string::npos; }
    void receiveHangup();

    void goTo(ReceiveState s);
    void fail(int code, ReceiveState next = ReceiveState::rfAbort);
    void setStatus(int code) { faxStatus_ = code; }
    void statusEvent(bool first, bool last);
    void logEvent(int code);
    bool isClass1() const { return opt_.faxClass == ReceiveClass::Class1; }
    std::string_view classCommand() const;
    std::string_view hangupReport() const;

    ReceivePort& port_;
    ReceiveOwner owner_;
    ReceiveOptions opt_;

    ReceiveState state_ = ReceiveState::rfNone;
    int faxStatus_ = 0;
    int lastError_ = 0;
    bool statusShown_ = false;
    bool userAbort_ = false;
    int fileState_ = 3;
    int rings_ = 0;
    int retries_ = 0;
    int hangupCode_ = 0;

    // Response reader.
    std::string line_;        // the last completed line (trimmed)
    std::string partial_;     // the line being read
    std::string lastCommand_; // its echo is skipped
    std::vector<std::uint8_t> frameBuf_;
    bool inFrame_ = false;
    bool frameDle_ = false;
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
    ReceiveFile file_;
    std::string fileName_;
};

} // namespace faxengine
