// The dispatcher under a serial port: an open device, three worker threads, the input and
// output rings and the triggers through which data and time reach the fax engine.
//
// TComThread waits for port events, TDispThread reads into the input ring and dispatches
// triggers to the registered handlers, TOutThread writes queued output. Idle, none of
// them wakes unless a timer or status trigger is armed (then TDispThread ticks every
// 50 ms). The platform operations are virtual; TVelkPosixDispatcher supplies them.
#pragma once

#include "faxengine/byte_ring.h"
#include "faxengine/dispatch_log.h"
#include "faxengine/port_trace.h"
#include "faxengine/port_types.h"
#include "faxengine/tick_clock.h"
#include "faxengine/trigger_set.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace faxengine {

class TVelkBaseDispatcher;

// A joinable worker thread running one loop; joined when it goes.
class WorkerThread {
public:
    WorkerThread() = default;
    explicit WorkerThread(std::function<void()> body) : t_(std::move(body)) {}
    WorkerThread(WorkerThread&&) = default;
    WorkerThread& operator=(WorkerThread&& o) {
        Join();
        t_ = std::move(o.t_);
        return *this;
    }
    ~WorkerThread() { Join(); }
    void Join() {
        if (!t_.joinable())
            return;
        if (t_.get_id() != std::this_thread::get_id())
            t_.join();
        else
            t_.detach(); // a thread cannot wait for itself
    }
    std::thread::id Id() const { return t_.get_id(); }
    bool Running() const { return t_.joinable(); }

private:
    std::thread t_;
};
// Waits for port events and hands them to TDispThread.
using TComThread = WorkerThread;
// Reads into the input ring and dispatches triggers.
using TDispThread = WorkerThread;
// Writes queued output.
using TOutThread = WorkerThread;

// A window that receives trigger messages (the hidden window of a component).
class TriggerWindow {
public:
    virtual ~TriggerWindow() = default;
    // Delivers the message; returns false when it was not taken within timeout.
    virtual bool SendTriggerMessage(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param,
                                    std::chrono::milliseconds timeout) = 0;
};

// Procedure and event handlers: (message, trigger handle, parameter). The parameter is
// dispatcher handle * 65536 + data.
using TriggerHandler = std::function<void(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param)>;
// Runs a call on the owner's (main) thread and returns when it has run.
using MainThreadInvoker = std::function<void(const std::function<void()>&)>;

struct DispatcherOpenParams {
    std::string device;       // device path
    std::size_t outSize = 4096;
    bool dtr = true;
    bool rts = true;
    LineSettings line;
};

// What TComThread saw.
struct ComEvents {
    bool data = false;
    bool modem = false;
    bool error = false;
    bool hangup = false;
    int hangupError = 0;
};

class TVelkBaseDispatcher {
public:
    static constexpr std::size_t kInRingSize = 8192;
    static constexpr std::chrono::milliseconds kDispatchTick{50};
    static constexpr std::chrono::milliseconds kThreadStartWait{3000};
    static constexpr std::chrono::milliseconds kWindowTimeout{3000};
    static constexpr std::uint16_t kOptionUseEventWord = 4;

    explicit TVelkBaseDispatcher(const MillisecondClock& clock);
    virtual ~TVelkBaseDispatcher();
    TVelkBaseDispatcher(const TVelkBaseDispatcher&) = delete;
    TVelkBaseDispatcher& operator=(const TVelkBaseDispatcher&) = delete;

    // Opens the device and starts the threads. The negated system error when the device
    // cannot be opened; -2008 when this process has it open already.
    int Open(const DispatcherOpenParams& params);
    // Stops the threads and closes the device. Called from a handler (a worker thread) it
    // only asks the threads to stop; the owner's next Close (or the destructor) finishes.
    int Close();
    // Asks the threads to stop without waiting for them (what Close does from a handler).
    void RequestClose();
    bool IsOpen() const { return open_; }
    bool ClosePending() const { return closeRequested_; }
    // Index in the process-wide dispatcher list; -1 when closed.
    int Handle() const { return handle_; }
    bool OnWorkerThread() const;
    // 0 while the device is there; the error that ended reading once it went away.
    int LostError() const { return lost_.load(); }
    const MillisecondClock& Clock() const { return clock_; }
    std::uint32_t MsSinceOpen() const { return clock_.NowMs() - openedAtMs_; }
    // Tells one opening of a device from the next (unique in the process, never 0).
    std::uint64_t OpenSerial() const { return openSerial_; }
    // Whether d (never dereferenced unless open) is still that opening of a device. A
    // dispatcher that was never opened (serial 0) is taken as live.
    static bool StillOpen(const TVelkBaseDispatcher* d, std::uint64_t openSerial);

    // Line control. kKeep leaves a value as it is.
    int SetLine(int baud, std::optional<TParity> parity, int dataBits, int stopBits);
    int SetBaud(int baud) { return SetLine(baud, std::nullopt, kKeep, kKeep); }
    LineSettings GetLine() const;
    int SetDTR(bool on);
    int SetRTS(bool on);
    bool DTR() const { return dtr_; }
    bool RTS() const { return rts_; }
    int SetFlow(const FlowSettings& flow);
    FlowSettings GetFlow() const;
    std::uint8_t GetModemStatus();
    bool CheckCTS() { return GetModemStatus() & msr::CTS; }
    bool CheckDSR() { return GetModemStatus() & msr::DSR; }
    bool CheckRI() { return GetModemStatus() & msr::RI; }
    bool CheckDCD() { return GetModemStatus() & msr::DCD; }
    // False for a device without modem-status lines (a pseudo-terminal): its DCD says nothing.
    bool HasModemLines() const { return pHasModemLines(); }
    // The line errors seen since the last call (lsr bits).
    std::uint8_t GetLineError();

    // Output. A block that does not fit the output ring is not queued at all (-3006).
    int PutChar(std::uint8_t c) { return PutBlock({&c, 1}); }
    int PutBlock(std::span<const std::uint8_t> block);
    int PutString(std::string_view s);
    std::size_t OutBuffUsed() const;
    std::size_t OutBuffFree() const;
    // Drops queued output, then the device's transmit queue.
    int FlushOutBuffer();
    bool WaitOutputEmpty(std::chrono::milliseconds timeout);

    // Input. Inside a data handler these read through the dispatch's peek window.
    int GetChar(std::uint8_t& c);
    int GetBlock(std::span<std::uint8_t> out); // whole block or -3005
    // Byte n (1-based) without taking it; -3007 when fewer than n bytes wait.
    int PeekChar(std::uint8_t& c, std::size_t n);
    std::size_t InBuffUsed() const;
    bool CharReady() const { return InBuffUsed() > 0; }
    int FlushInBuffer();
    // Waits (without spinning) until at least n bytes wait; false on timeout or close.
    bool WaitForInput(std::size_t n, std::chrono::milliseconds timeout);

    // Triggers.
    int AddTimerTrigger();
    int SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate);
    int AddDataTrigger(std::string_view match, bool ignoreCase);
    int AddStatusTrigger(int type);
    int SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);
    int RemoveTrigger(std::uint16_t handle);
    // Bytes that must wait before a data-available message; 0 switches it off.
    int SetDataAvailThreshold(std::size_t bytes);

    // Handlers. Register functions return an id for deregistering (or a negative code).
    int RegisterWindowHandler(TriggerWindow* window);
    int DeregisterWindowHandler(TriggerWindow* window);
    int RegisterProcHandler(TriggerHandler proc);
    int DeregisterProcHandler(int id);
    int RegisterEventHandler(TriggerHandler method, bool syncToMain);
    int DeregisterEventHandler(int id);
    // Returns once no procedure or event handler call that may have begun before is still
    // running, so the owner of a deregistered handler may go. Returns at once inside a
    // handler; the caller must hold no lock a handler may wait for.
    void AwaitHandlerCalls();
    void SetMainThreadInvoker(MainThreadInvoker invoker);

    // Holds off dispatching (for synchronous command exchanges); returns the old value.
    // Bytes keep arriving in the input ring meanwhile.
    bool SetDispatchingNow(bool on);

    // Trace and dispatch log.
    int StartTracing(std::size_t entries);
    void StopTracing();
    void ClearTracing();
    void PauseTracing();
    void ResumeTracing();
    int DumpTrace(const std::filesystem::path& file, bool append, bool hex);
    bool Tracing() const;
    int StartLogging(std::size_t bytes);
    void StopLogging();
    void ClearLogging();
    void PauseLogging();
    void ResumeLogging();
    int DumpLog(const std::filesystem::path& file, bool append, bool hex);
    bool Logging() const;
    // For the fax engine and users of the port: one record (type Fax, User, ...).
    void AddDispatchEntry(LogType type, std::uint8_t subType, std::uint32_t data,
                          std::span<const std::uint8_t> bytes = {});

    void SetOptions(std::uint16_t options) { options_ = options; }
    std::uint16_t Options() const { return options_; }

protected:
    // Platform operations. Errors are negative engine codes or negated errno values.
    virtual int pOpen(const std::string& device) = 0;
    virtual void pClose() = 0;
    virtual int pSetLine(const LineSettings& line) = 0;
    virtual int pSetFlow(const FlowSettings& flow) = 0;
    virtual int pSetDTR(bool on) = 0;
    virtual int pSetRTS(bool on) = 0;
    virtual std::uint8_t pModemLines() = 0; // high nibble of the modem status
    virtual bool pHasModemLines() const = 0;
    virtual std::uint8_t pLineErrors() = 0; // lsr bits seen since the last call
    // TComThread: blocks until the device has something to report or pWake() is called.
    virtual ComEvents pWaitEvent() = 0;
    virtual void pWake() = 0;
    // Bytes read (0 when none wait) or a negative error.
    virtual long pRead(std::span<std::uint8_t> into) = 0;
    // Bytes written (0 when the device takes none now) or a negative error.
    virtual long pWrite(std::span<const std::uint8_t> from) = 0;
    // Waits until the device takes output; false when woken to stop or the device failed.
    virtual bool pWaitWritable() = 0;
    virtual std::size_t pBytesWaiting() = 0;
    virtual void pPurge(bool input, bool output) = 0;

    // Derived destructors call this before their members go.
    void CloseFromDestructor();
    bool StopRequested() const { return stop_.load(); }

private:
    struct HandlerEntry {
        enum class Kind { Event, Proc, Window } kind;
        int id;
        TriggerHandler fn;
        TriggerWindow* window = nullptr;
        bool syncToMain = false;
        std::atomic<bool> removed{false};
    };

    // Thread bodies.
    void comThread(std::promise<void>* ready);
    void dispThread(std::promise<void>* ready);
    void outThread(std::promise<void>* ready);
    int startThreads();
    void stopThreads();
    void threadEnded();
    void reportWorkerFailure(int code);

    // TDispThread work.
    void handleComEvents(const ComEvents& ev);
    bool readIntoRing();
    void processNewData();
    void dispatchDataMessage(std::uint16_t msg, std::uint16_t trigger, std::uint16_t data,
                             std::size_t limit);
    void dispatchMessage(std::uint16_t msg, std::uint16_t trigger, std::uint16_t data);
    void checkStatusAndTimers();
    std::optional<std::chrono::milliseconds> nextTimerWake();
    bool anyTriggerArmed();
    PortStatus portStatus();
    void poke();
    void consumeInput(std::size_t n);
    void updateThrottle(std::size_t used);
    void setLost(int code);
    void logEntry(LogType type, std::uint8_t sub, std::uint32_t data,
                  std::span<const std::uint8_t> bytes = {});
    int readyCheck() const;
    int addHandler(std::shared_ptr<HandlerEntry> e);
    int removeHandler(HandlerEntry::Kind kind, int id, TriggerWindow* window);

    const MillisecondClock& clock_;
    std::atomic<bool> open_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> lost_{0};
    std::atomic<bool> lostReported_{false};
    std::atomic<int> threadCount_{0};
    int handle_ = -1;
    std::string device_;
    std::uint32_t openedAtMs_ = 0;
    std::uint64_t openSerial_ = 0;
    std::uint16_t options_ = 0;

    // Data lock: triggers, settings, handlers, trace, log, dispatch state.
    mutable std::recursive_mutex dataLock_;
    // Held by the dispatch thread across each procedure or (unsynchronised) event call.
    std::mutex handlerCallLock_;
    TriggerSet triggers_;
    LineSettings line_;
    FlowSettings flow_;
    std::atomic<bool> dtr_{true};
    std::atomic<bool> rts_{true};
    std::atomic<std::uint8_t> modemStatus_{0};
    std::atomic<std::uint8_t> lineStatus_{0};
    std::atomic<std::uint8_t> lineErrorsForOwner_{0};
    std::list<std::shared_ptr<HandlerEntry>> handlers_;
    int nextHandlerId_ = 1;
    MainThreadInvoker invoker_;
    std::atomic<bool> holdOff_{false};
    std::atomic<bool> dispatching_{false};
    std::size_t availThreshold_ = 0;
    PortTrace trace_;
    DispatchLog log_;

    // Input lock: the input ring and the dispatch peek window.
    mutable std::mutex inLock_;
    std::condition_variable inCv_; // bytes arrived / space freed
    std::unique_ptr<ByteRing> inRing_;
    std::size_t examined_ = 0;     // bytes from tail already fed to the data triggers
    bool newDataForAvail_ = false;
    bool dispatchReading_ = false; // handlers read through the peek window
    std::size_t peekOffset_ = 0;
    std::size_t peekLimit_ = 0;
    std::size_t maxConsumed_ = 0;
    std::atomic<bool> inputLeftInDevice_{false};
    std::atomic<bool> throttled_{false};

    // Output lock: the output ring.
    mutable std::mutex outLock_;
    std::condition_variable outCv_; // bytes queued / ring drained / write finished
    std::unique_ptr<ByteRing> outRing_;
    bool writing_ = false;
    std::atomic<std::uint64_t> bytesSent_{0};

    // Com event handshake between TComThread and TDispThread.
    std::mutex evLock_;
    std::condition_variable evCv_;
    ComEvents pending_;
    bool comEventSet_ = false;
    bool dispatchDone_ = true;
    bool poked_ = false;

    TComThread comThread_;
    TDispThread dispThread_;
    TOutThread outThread_;
};

} // namespace faxengine
