#include "faxengine/dispatcher.h"

#include "faxengine/live_flags.h"
#include "faxengine/engine_errors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace faxengine {

using namespace std::chrono_literals;

namespace {

// The process-wide list of open dispatchers; a handle is an index, free slots are reused.
struct DispatcherList {
    std::mutex lock;
    std::vector<std::pair<TVelkBaseDispatcher*, std::string>> slots;
};
DispatcherList& dispatcherList() {
    static DispatcherList list;
    return list;
}

// The dispatcher whose handler runs on this thread right now (for the peek window of
// handlers marshalled to another thread).
thread_local const TVelkBaseDispatcher* tlsDispatching = nullptr;

struct DispatchScope {
    const TVelkBaseDispatcher* prev;
    explicit DispatchScope(const TVelkBaseDispatcher* d) : prev(tlsDispatching) { tlsDispatching = d; }
    ~DispatchScope() { tlsDispatching = prev; }
};

} // namespace

TVelkBaseDispatcher::TVelkBaseDispatcher(const MillisecondClock& clock) : clock_(clock) {}

TVelkBaseDispatcher::~TVelkBaseDispatcher() = default;

void TVelkBaseDispatcher::CloseFromDestructor() {
    if (open_ || comThread_.Running() || dispThread_.Running() || outThread_.Running()) {
        closeRequested_ = false;
        Close();
    }
}

bool TVelkBaseDispatcher::OnWorkerThread() const {
    auto me = std::this_thread::get_id();
    return me == comThread_.Id() || me == dispThread_.Id() || me == outThread_.Id();
}

int TVelkBaseDispatcher::readyCheck() const {
    if (!open_)
        return ec::CommNotOpen;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Open and close

bool TVelkBaseDispatcher::StillOpen(const TVelkBaseDispatcher* d, std::uint64_t openSerial) {
    if (openSerial == 0)
        return true;
    auto& list = dispatcherList();
    std::lock_guard g(list.lock);
    for (const auto& slot : list.slots)
        if (slot.first == d)
            return d->openSerial_ == openSerial;
    return false;
}

int TVelkBaseDispatcher::Open(const DispatcherOpenParams& params) {
    if (open_)
        return ec::AlreadyOpen;
    if (params.outSize == 0)
        return ec::BadArgument;
    {
        auto& list = dispatcherList();
        std::lock_guard g(list.lock);
        for (auto& [d, dev] : list.slots)
            if (d && dev == params.device)
                return ec::AlreadyOpen;
        auto free = std::find_if(list.slots.begin(), list.slots.end(),
                                 [](auto& s) { return s.first == nullptr; });
        if (free == list.slots.end()) {
            list.slots.emplace_back(this, params.device);
            handle_ = static_cast<int>(list.slots.size() - 1);
        } else {
            *free = {this, params.device};
            handle_ = static_cast<int>(free - list.slots.begin());
        }
    }
    auto releaseSlot = [this] {
        auto& list = dispatcherList();
        std::lock_guard g(list.lock);
        list.slots[static_cast<std::size_t>(handle_)] = {nullptr, {}};
        handle_ = -1;
    };

    int rc = pOpen(params.device);
    if (rc < 0) {
        releaseSlot();
        return rc;
    }
    device_ = params.device;
    stop_ = false;
    lost_ = 0;
    lostReported_ = false;
    closeRequested_ = false;
    openedAtMs_ = clock_.NowMs();
    static std::atomic<std::uint64_t> openings{0};
    openSerial_ = ++openings;
    {
        std::lock_guard g(inLock_);
        inRing_ = std::make_unique<ByteRing>(kInRingSize);
        examined_ = 0;
        newDataForAvail_ = false;
        dispatchReading_ = false;
    }
    {
        std::lock_guard g(outLock_);
        outRing_ = std::make_unique<ByteRing>(params.outSize);
        writing_ = false;
    }
    bytesSent_ = 0;
    {
        std::lock_guard g(dataLock_);
        triggers_.Clear();
        flow_ = FlowSettings{};
        line_ = params.line;
        availThreshold_ = 0;
    }
    rc = pSetLine(params.line);
    if (rc == 0)
        rc = pSetFlow(FlowSettings{});
    if (rc == 0)
        rc = pSetDTR(params.dtr);
    if (rc == 0)
        rc = pSetRTS(params.rts);
    if (rc < 0) {
        pClose();
        releaseSlot();
        return rc;
    }
    dtr_ = params.dtr;
    rts_ = params.rts;
    modemStatus_ = pModemLines();
    lineStatus_ = 0;
    pLineErrors();
    open_ = true;
    rc = startThreads();
    if (rc < 0) {
        Close();
        return rc;
    }
    return 0;
}

int TVelkBaseDispatcher::startThreads() {
    if (comThread_.Running() || dispThread_.Running() || outThread_.Running())
        return ec::AlreadyOpen; // "Dispatcher already started"
    auto start = [this](auto body, WorkerThread& slot) {
        std::promise<void> ready;
        auto fut = ready.get_future();
        ++threadCount_;
        slot = WorkerThread([this, body, p = &ready] { (this->*body)(p); });
        return fut.wait_for(kThreadStartWait) == std::future_status::ready;
    };
    if (!start(&TVelkBaseDispatcher::comThread, comThread_) ||
        !start(&TVelkBaseDispatcher::dispThread, dispThread_) ||
        !start(&TVelkBaseDispatcher::outThread, outThread_))
        return ec::Internal;
    logEntry(LogType::Thread, logsub::None, 1);
    return 0;
}

void TVelkBaseDispatcher::stopThreads() {
    stop_ = true;
    pWake();
    {
        std::lock_guard g(evLock_);
    }
    evCv_.notify_all();
    {
        std::lock_guard g(inLock_);
    }
    inCv_.notify_all();
    {
        std::lock_guard g(outLock_);
    }
    outCv_.notify_all();
}

void TVelkBaseDispatcher::RequestClose() {
    closeRequested_ = true;
    stopThreads();
}

int TVelkBaseDispatcher::Close() {
    if (OnWorkerThread()) {
        // Closing from inside a handler: the threads cannot wait for themselves. Ask them
        // to stop; the owner's next Close (or the destructor) joins them.
        RequestClose();
        return 0;
    }
    if (!open_ && !comThread_.Running() && !dispThread_.Running() && !outThread_.Running())
        return ec::CommNotOpen;
    stopThreads();
    comThread_.Join();
    dispThread_.Join();
    outThread_.Join();
    comThread_ = WorkerThread();
    dispThread_ = WorkerThread();
    outThread_ = WorkerThread();
    if (open_) {
        pClose();
        open_ = false;
        auto& list = dispatcherList();
        std::lock_guard g(list.lock);
        if (handle_ >= 0)
            list.slots[static_cast<std::size_t>(handle_)] = {nullptr, {}};
        handle_ = -1;
    }
    closeRequested_ = false;
    return 0;
}

void TVelkBaseDispatcher::threadEnded() {
    if (--threadCount_ == 0)
        logEntry(LogType::Thread, logsub::None, 0);
}

void TVelkBaseDispatcher::setLost(int code) {
    int expected = 0;
    if (lost_.compare_exchange_strong(expected, code)) {
        logEntry(LogType::Error, logsub::None, static_cast<std::uint32_t>(-code));
        poke();
    }
}

void TVelkBaseDispatcher::reportWorkerFailure(int code) {
    setLost(code);
    stopThreads();
}

// ---------------------------------------------------------------------------------------
// Threads

void TVelkBaseDispatcher::comThread(std::promise<void>* ready) {
    ready->set_value();
    try {
        while (!stop_) {
            if (inputLeftInDevice_) {
                // The input ring is full: wait until handlers make room instead of polling
                // a descriptor that stays readable.
                std::unique_lock g(inLock_);
                inCv_.wait(g, [this] {
                    return stop_ || !inputLeftInDevice_ || (inRing_ && inRing_->Free() > 0);
                });
                inputLeftInDevice_ = false;
                continue;
            }
            ComEvents ev = pWaitEvent();
            if (stop_)
                break;
            if (!ev.data && !ev.modem && !ev.error && !ev.hangup)
                continue;
            std::unique_lock g(evLock_);
            pending_.data |= ev.data;
            pending_.modem |= ev.modem;
            pending_.error |= ev.error;
            if (ev.hangup) {
                pending_.hangup = true;
                pending_.hangupError = ev.hangupError;
            }
            comEventSet_ = true;
            dispatchDone_ = false;
            evCv_.notify_all();
            // Do not look for the next event before this one has been dispatched.
            evCv_.wait(g, [this] { return stop_ || dispatchDone_; });
            if (ev.hangup)
                break;
        }
    } catch (...) {
        reportWorkerFailure(faximage::codeFromException(std::current_exception()));
    }
    threadEnded();
}

std::optional<std::chrono::milliseconds> TVelkBaseDispatcher::nextTimerWake() {
    // Held off, timers cannot fire (an expired one would wake this thread at once, again
    // and again); the end of the hold-off wakes it.
    if (holdOff_)
        return std::nullopt;
    std::lock_guard g(dataLock_);
    auto due = triggers_.NextTimerDue(clock_);
    // A clock that tests move by hand says nothing about when to look again: look often.
    if (due && &clock_ != &systemClock())
        due = std::min(*due, kDispatchTick);
    return due;
}

bool TVelkBaseDispatcher::anyTriggerArmed() {
    std::lock_guard g(dataLock_);
    return triggers_.AnyTimerActive() || triggers_.AnyStatusActive();
}

void TVelkBaseDispatcher::poke() {
    {
        std::lock_guard g(evLock_);
        poked_ = true;
    }
    evCv_.notify_all();
}

void TVelkBaseDispatcher::dispThread(std::promise<void>* ready) {
    ready->set_value();
    try {
        while (!stop_) {
            // Status triggers need no cadence: every change they watch (output space, bytes
            // sent, modem lines, line errors) wakes this thread. Timers wake it when due.
            const auto wake = nextTimerWake();
            ComEvents ev;
            bool wasCom = false;
            {
                std::unique_lock g(evLock_);
                auto woken = [this] { return stop_ || comEventSet_ || poked_; };
                if (wake)
                    evCv_.wait_for(g, *wake, woken);
                else
                    evCv_.wait(g, woken);
                if (stop_)
                    break;
                ev = pending_;
                pending_ = ComEvents{};
                wasCom = comEventSet_;
                comEventSet_ = false;
                poked_ = false;
            }
            if (wasCom)
                handleComEvents(ev);
            if (lost_ == 0 && !holdOff_)
                checkStatusAndTimers();
            if (wasCom) {
                std::lock_guard g(evLock_);
                dispatchDone_ = true;
            }
            evCv_.notify_all();
            if (lost_ != 0) {
                if (!lostReported_.exchange(true))
                    dispatchMessage(apw::PortLost, 0, static_cast<std::uint16_t>(-lost_));
                stopThreads();
                break;
            }
        }
    } catch (...) {
        int code = faximage::codeFromException(std::current_exception());
        reportWorkerFailure(code);
    }
    {
        std::lock_guard g(evLock_);
        dispatchDone_ = true;
    }
    evCv_.notify_all();
    threadEnded();
}

void TVelkBaseDispatcher::outThread(std::promise<void>* ready) {
    ready->set_value();
    std::vector<std::uint8_t> chunk(4096);
    try {
        while (!stop_) {
            std::size_t n = 0;
            {
                std::unique_lock g(outLock_);
                outCv_.wait(g, [this] { return stop_ || !outRing_->Empty(); });
                if (stop_)
                    break;
                n = outRing_->PeekInto(0, chunk);
                writing_ = true;
            }
            std::size_t done = 0;
            while (done < n && !stop_) {
                long w = pWrite({chunk.data() + done, n - done});
                if (w < 0) {
                    setLost(static_cast<int>(w));
                    break;
                }
                if (w == 0) {
                    if (!pWaitWritable())
                        break;
                    continue;
                }
                logEntry(LogType::Dispatch, logsub::WriteCom, static_cast<std::uint32_t>(w),
                         {chunk.data() + done, static_cast<std::size_t>(w)});
                done += static_cast<std::size_t>(w);
                bytesSent_ += static_cast<std::uint64_t>(w);
            }
            {
                std::lock_guard g(outLock_);
                // A flush may have emptied the ring meanwhile; never take more than is there.
                outRing_->Consume(std::min(done, outRing_->Used()));
                writing_ = false;
            }
            outCv_.notify_all();
            poke(); // output status triggers may fire now
            if (lost_ != 0)
                break;
        }
    } catch (...) {
        reportWorkerFailure(faximage::codeFromException(std::current_exception()));
    }
    {
        std::lock_guard g(outLock_);
        writing_ = false;
    }
    outCv_.notify_all();
    threadEnded();
}

// ---------------------------------------------------------------------------------------
// Dispatching

void TVelkBaseDispatcher::handleComEvents(const ComEvents& ev) {
    if (ev.modem) {
        std::uint8_t old = modemStatus_;
        std::uint8_t now = pModemLines() & 0xF0;
        std::uint8_t delta = 0;
        if ((old ^ now) & msr::CTS)
            delta |= msr::DCTS;
        if ((old ^ now) & msr::DSR)
            delta |= msr::DDSR;
        if ((old ^ now) & msr::DCD)
            delta |= msr::DDCD;
        // A ring counts when it ends, as a UART reports it; the alternative serial
        // technique counts either edge for modems that only pulse the line briefly.
        if (((old & msr::RI) && !(now & msr::RI)) || (useSm56Fix() && ((old ^ now) & msr::RI)))
            delta |= msr::TERI;
        modemStatus_ = static_cast<std::uint8_t>(now | delta);
        logEntry(LogType::Dispatch, logsub::ModemStatus, modemStatus_);
        if (!holdOff_)
            checkStatusAndTimers();
    }
    if (ev.error) {
        std::uint8_t errs = pLineErrors();
        lineStatus_ |= errs;
        lineErrorsForOwner_ |= errs;
        if (errs) {
            logEntry(LogType::Dispatch, logsub::LineStatus, errs);
            if (!holdOff_)
                checkStatusAndTimers();
        }
    }
    if (ev.data || ev.hangup) {
        if (readIntoRing() && !holdOff_) {
            checkStatusAndTimers();
            processNewData();
        }
    }
    if (ev.hangup)
        setLost(ev.hangupError != 0 ? ev.hangupError : -ENODEV);
    // The deltas and line errors describe this event only.
    modemStatus_ = modemStatus_ & 0xF0;
    lineStatus_ = 0;
}

bool TVelkBaseDispatcher::readIntoRing() {
    bool any = false;
    for (;;) {
        std::span<std::uint8_t> room;
        {
            std::lock_guard g(inLock_);
            room = inRing_->WritableSpan();
        }
        if (room.empty()) {
            if (pBytesWaiting() > 0)
                inputLeftInDevice_ = true;
            break;
        }
        long n = pRead(room);
        if (n < 0) {
            setLost(static_cast<int>(n));
            break;
        }
        if (n == 0)
            break;
        std::size_t used;
        {
            std::lock_guard g(inLock_);
            inRing_->Commit(static_cast<std::size_t>(n));
            newDataForAvail_ = true;
            used = inRing_->Used();
        }
        inCv_.notify_all();
        any = true;
        {
            std::lock_guard g(dataLock_);
            auto bytes = room.first(static_cast<std::size_t>(n));
            trace_.Add('R', bytes);
            log_.Add(LogType::Dispatch, logsub::ReadCom, MsSinceOpen(), static_cast<std::uint32_t>(n),
                     bytes);
        }
        updateThrottle(used);
    }
    if (holdOff_) {
        // Bytes that arrive while dispatching is held off belong to the synchronous reader.
        std::lock_guard g(inLock_);
        examined_ = inRing_->Used();
    }
    return any;
}

void TVelkBaseDispatcher::updateThrottle(std::size_t used) {
    std::uint8_t opts;
    int full, resume;
    {
        std::lock_guard g(dataLock_);
        opts = flow_.hwOptions;
        full = flow_.bufferFull;
        resume = flow_.bufferResume;
    }
    if (!(opts & (hwf::UseDTR | hwf::UseRTS)) || full <= 0)
        return;
    if (!throttled_ && used >= static_cast<std::size_t>(full)) {
        throttled_ = true;
        if (opts & hwf::UseDTR)
            pSetDTR(false);
        if (opts & hwf::UseRTS)
            pSetRTS(false);
    } else if (throttled_ && used <= static_cast<std::size_t>(resume)) {
        throttled_ = false;
        if (opts & hwf::UseDTR)
            pSetDTR(dtr_);
        if (opts & hwf::UseRTS)
            pSetRTS(rts_);
    }
}

void TVelkBaseDispatcher::processNewData() {
    for (;;) {
        std::uint8_t byte;
        std::size_t pos;
        {
            std::lock_guard g(inLock_);
            if (examined_ >= inRing_->Used())
                break;
            byte = inRing_->Peek(examined_);
            pos = ++examined_;
        }
        std::vector<std::uint16_t> matched;
        std::size_t threshold;
        {
            std::lock_guard g(dataLock_);
            matched = triggers_.FeedByte(byte);
            threshold = availThreshold_;
        }
        if (matched.empty())
            continue;
        if (threshold > 0 && pos >= threshold)
            dispatchDataMessage(apw::TriggerAvail, kAvailTriggerHandle,
                                static_cast<std::uint16_t>(pos), pos);
        for (auto h : matched) {
            std::size_t limit;
            {
                std::lock_guard g(inLock_);
                limit = examined_;
            }
            dispatchDataMessage(apw::TriggerData, h, h, limit);
        }
        if (stop_)
            return;
    }
    std::size_t threshold;
    {
        std::lock_guard g(dataLock_);
        threshold = availThreshold_;
    }
    std::size_t used;
    bool fresh;
    {
        std::lock_guard g(inLock_);
        used = inRing_->Used();
        fresh = newDataForAvail_;
    }
    if (threshold > 0 && used >= threshold && fresh) {
        {
            std::lock_guard g(inLock_);
            newDataForAvail_ = false;
        }
        dispatchDataMessage(apw::TriggerAvail, kAvailTriggerHandle,
                            static_cast<std::uint16_t>(std::min<std::size_t>(used, 0xFFFF)), used);
    }
}

void TVelkBaseDispatcher::dispatchDataMessage(std::uint16_t msg, std::uint16_t trigger,
                                             std::uint16_t data, std::size_t limit) {
    {
        std::lock_guard g(inLock_);
        dispatchReading_ = true;
        peekLimit_ = std::min(limit, inRing_->Used());
        peekOffset_ = 0;
        maxConsumed_ = 0;
    }
    dispatchMessage(msg, trigger, data);
    std::size_t consumed;
    {
        std::lock_guard g(inLock_);
        consumed = std::max(maxConsumed_, peekOffset_);
        dispatchReading_ = false;
    }
    consumeInput(consumed);
}

void TVelkBaseDispatcher::dispatchMessage(std::uint16_t msg, std::uint16_t trigger,
                                         std::uint16_t data) {
    std::uint32_t param = static_cast<std::uint32_t>(std::max(handle_, 0)) << 16 | data;
    std::vector<std::shared_ptr<HandlerEntry>> snapshot;
    MainThreadInvoker invoker;
    {
        std::lock_guard g(dataLock_);
        snapshot.assign(handlers_.begin(), handlers_.end());
        invoker = invoker_;
        std::uint8_t sub = msg == apw::TriggerAvail   ? logsub::Avail
                           : msg == apw::TriggerData  ? logsub::Data
                           : msg == apw::TriggerTimer ? logsub::Timer
                           : msg == apw::TriggerStatus ? logsub::Status
                                                       : logsub::None;
        log_.Add(LogType::Trigger, sub, MsSinceOpen(), msg == apw::TriggerAvail ? data : trigger);
    }
    dispatching_ = true;
    DispatchScope scope(this);
    auto endHandler = [this] {
        std::lock_guard g(inLock_);
        if (dispatchReading_) {
            maxConsumed_ = std::max(maxConsumed_, peekOffset_);
            peekOffset_ = 0;
        }
    };
    auto run = [&](HandlerEntry::Kind kind) {
        for (auto& h : snapshot) {
            if (h->kind != kind || h->removed)
                continue;
            // Calls on this thread hold the call lock, and the removed flag is read again
            // under it: AwaitHandlerCalls after a deregistration sees no call left.
            std::unique_lock<std::mutex> call;
            if (kind == HandlerEntry::Kind::Proc || (kind == HandlerEntry::Kind::Event && !(h->syncToMain && invoker))) {
                call = std::unique_lock(handlerCallLock_);
                if (h->removed)
                    continue;
            }
            if (kind == HandlerEntry::Kind::Window) {
                h->window->SendTriggerMessage(msg, trigger, param, kWindowTimeout);
            } else if (kind == HandlerEntry::Kind::Event && h->syncToMain && invoker) {
                auto fn = h->fn;
                invoker([this, fn, msg, trigger, param] {
                    DispatchScope inner(this);
                    fn(msg, trigger, param);
                });
            } else {
                h->fn(msg, trigger, param);
            }
            if (call.owns_lock())
                call.unlock();
            endHandler();
        }
    };
    run(HandlerEntry::Kind::Event);
    run(HandlerEntry::Kind::Proc);
    run(HandlerEntry::Kind::Window);
    dispatching_ = false;
    std::lock_guard g(dataLock_);
    handlers_.remove_if([](auto& h) { return h->removed.load(); });
}

PortStatus TVelkBaseDispatcher::portStatus() {
    PortStatus s;
    s.modemStatus = modemStatus_;
    s.lineStatus = lineStatus_;
    {
        std::lock_guard g(outLock_);
        if (outRing_) {
            s.outUsed = outRing_->Used();
            s.outFree = outRing_->Free();
        }
    }
    s.bytesSent = bytesSent_;
    return s;
}

void TVelkBaseDispatcher::checkStatusAndTimers() {
    while (!stop_ && !holdOff_) {
        std::optional<std::uint16_t> status, timer;
        {
            std::lock_guard g(dataLock_);
            status = triggers_.TakeFiredStatus(portStatus());
            if (!status)
                timer = triggers_.TakeExpiredTimer(clock_);
        }
        if (status)
            dispatchMessage(apw::TriggerStatus, *status, *status);
        else if (timer)
            dispatchMessage(apw::TriggerTimer, *timer, *timer);
        else
            break;
    }
}

// ---------------------------------------------------------------------------------------
// Line control

int TVelkBaseDispatcher::SetLine(int baud, std::optional<TParity> parity, int dataBits,
                                int stopBits) {
    if (int rc = readyCheck())
        return rc;
    LineSettings next, old;
    {
        std::lock_guard g(dataLock_);
        old = next = line_;
    }
    if (baud != kKeep)
        next.baud = baud;
    if (parity)
        next.parity = *parity;
    if (dataBits != kKeep)
        next.dataBits = dataBits;
    if (stopBits != kKeep)
        next.stopBits = stopBits;
    if (next.baud <= 0)
        return ec::BaudRate;
    if (next.dataBits < 5 || next.dataBits > 8)
        return ec::ByteSize;
    if (next.stopBits < 1 || next.stopBits > 2)
        return ec::BadArgument;
    // Let queued output leave at the old settings, then the last characters on the wire.
    if (!OnWorkerThread()) {
        WaitOutputEmpty(10s);
        std::this_thread::sleep_for(std::chrono::microseconds(18 * 10 * 1'000'000LL / old.baud));
    }
    int rc = pSetLine(next);
    if (rc < 0)
        return rc;
    std::lock_guard g(dataLock_);
    line_ = next;
    return 0;
}

LineSettings TVelkBaseDispatcher::GetLine() const {
    std::lock_guard g(dataLock_);
    return line_;
}

int TVelkBaseDispatcher::SetDTR(bool on) {
    if (int rc = readyCheck())
        return rc;
    int rc = pSetDTR(on);
    if (rc < 0)
        return ec::BadArgument;
    dtr_ = on;
    return 0;
}

int TVelkBaseDispatcher::SetRTS(bool on) {
    if (int rc = readyCheck())
        return rc;
    int rc = pSetRTS(on);
    if (rc < 0)
        return ec::BadArgument;
    rts_ = on;
    return 0;
}

int TVelkBaseDispatcher::SetFlow(const FlowSettings& flow) {
    if (int rc = readyCheck())
        return rc;
    int rc = pSetFlow(flow);
    if (rc < 0)
        return rc;
    std::lock_guard g(dataLock_);
    flow_ = flow;
    return 0;
}

FlowSettings TVelkBaseDispatcher::GetFlow() const {
    std::lock_guard g(dataLock_);
    return flow_;
}

std::uint8_t TVelkBaseDispatcher::GetModemStatus() {
    if (!open_)
        return 0;
    std::uint8_t now = pModemLines() & 0xF0;
    return static_cast<std::uint8_t>(now | (modemStatus_ & 0x0F));
}

std::uint8_t TVelkBaseDispatcher::GetLineError() { return lineErrorsForOwner_.exchange(0); }

// ---------------------------------------------------------------------------------------
// Data

int TVelkBaseDispatcher::PutBlock(std::span<const std::uint8_t> block) {
    if (int rc = readyCheck())
        return rc;
    if (int lost = lost_.load())
        return lost;
    {
        // Traced under the same locks that queue it, so that the answer to these bytes can
        // never appear before them in the trace.
        std::lock_guard d(dataLock_);
        std::lock_guard g(outLock_);
        if (!outRing_->Put(block))
            return ec::OutputBufferTooSmall;
        trace_.Add('T', block);
    }
    outCv_.notify_all();
    if (anyTriggerArmed())
        poke();
    return 0;
}

int TVelkBaseDispatcher::PutString(std::string_view s) {
    return PutBlock({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
}

std::size_t TVelkBaseDispatcher::OutBuffUsed() const {
    std::lock_guard g(outLock_);
    return outRing_ ? outRing_->Used() : 0;
}

std::size_t TVelkBaseDispatcher::OutBuffFree() const {
    std::lock_guard g(outLock_);
    return outRing_ ? outRing_->Free() : 0;
}

int TVelkBaseDispatcher::FlushOutBuffer() {
    if (int rc = readyCheck())
        return rc;
    {
        std::unique_lock g(outLock_);
        outRing_->Clear();
        if (!OnWorkerThread())
            outCv_.wait_for(g, 5s, [this] { return !writing_; });
    }
    pPurge(false, true);
    poke();
    return 0;
}

bool TVelkBaseDispatcher::WaitOutputEmpty(std::chrono::milliseconds timeout) {
    std::unique_lock g(outLock_);
    return outCv_.wait_for(g, timeout, [this] {
        return !outRing_ || (outRing_->Empty() && !writing_) || stop_ || lost_ != 0;
    }) && outRing_ && outRing_->Empty();
}

void TVelkBaseDispatcher::consumeInput(std::size_t n) {
    std::size_t used;
    {
        std::lock_guard g(inLock_);
        if (n == 0 || !inRing_)
            return;
        n = std::min(n, inRing_->Used());
        inRing_->Consume(n);
        examined_ -= std::min(examined_, n);
        used = inRing_->Used();
    }
    inCv_.notify_all();
    if (throttled_)
        updateThrottle(used);
}

int TVelkBaseDispatcher::GetChar(std::uint8_t& c) {
    if (int rc = readyCheck())
        return rc;
    {
        std::lock_guard g(inLock_);
        if (dispatchReading_ && tlsDispatching == this) {
            if (peekOffset_ >= peekLimit_)
                return ec::BufferIsEmpty;
            c = inRing_->Peek(peekOffset_++);
            return 0;
        }
        if (inRing_->Empty())
            return ec::BufferIsEmpty;
        c = inRing_->Peek(0);
    }
    consumeInput(1);
    return 0;
}

int TVelkBaseDispatcher::GetBlock(std::span<std::uint8_t> out) {
    if (int rc = readyCheck())
        return rc;
    {
        std::lock_guard g(inLock_);
        if (dispatchReading_ && tlsDispatching == this) {
            if (peekLimit_ - peekOffset_ < out.size())
                return ec::GetBlockFail;
            for (auto& b : out)
                b = inRing_->Peek(peekOffset_++);
            return static_cast<int>(out.size());
        }
        if (inRing_->Used() < out.size())
            return ec::GetBlockFail;
        inRing_->PeekInto(0, out);
    }
    consumeInput(out.size());
    return static_cast<int>(out.size());
}

int TVelkBaseDispatcher::PeekChar(std::uint8_t& c, std::size_t n) {
    if (int rc = readyCheck())
        return rc;
    if (n == 0)
        return ec::BadArgument;
    std::lock_guard g(inLock_);
    std::size_t base = 0, avail = inRing_->Used();
    if (dispatchReading_ && tlsDispatching == this) {
        base = peekOffset_;
        avail = peekLimit_ - peekOffset_;
    }
    if (avail < n)
        return ec::BufferIsEmpty;
    c = inRing_->Peek(base + n - 1);
    return 0;
}

std::size_t TVelkBaseDispatcher::InBuffUsed() const {
    std::lock_guard g(inLock_);
    if (!inRing_)
        return 0;
    if (dispatchReading_ && tlsDispatching == this)
        return peekLimit_ - peekOffset_;
    return inRing_->Used();
}

int TVelkBaseDispatcher::FlushInBuffer() {
    if (int rc = readyCheck())
        return rc;
    pPurge(true, false);
    {
        std::lock_guard g(inLock_);
        inRing_->Clear();
        examined_ = 0;
        peekOffset_ = peekLimit_ = 0;
    }
    inCv_.notify_all();
    if (throttled_)
        updateThrottle(0);
    return 0;
}

bool TVelkBaseDispatcher::WaitForInput(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock g(inLock_);
    return inCv_.wait_for(g, timeout, [&] {
        return !inRing_ || inRing_->Used() >= n || stop_ || lost_ != 0;
    }) && inRing_ && inRing_->Used() >= n;
}

// ---------------------------------------------------------------------------------------
// Triggers and handlers

int TVelkBaseDispatcher::AddTimerTrigger() {
    std::lock_guard g(dataLock_);
    int h = triggers_.AddTimerTrigger();
    if (h > 0)
        log_.Add(LogType::TrigAllc, logsub::Timer, MsSinceOpen(), static_cast<std::uint32_t>(h));
    return h;
}

int TVelkBaseDispatcher::SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate) {
    int rc;
    {
        std::lock_guard g(dataLock_);
        rc = triggers_.SetTimerTrigger(handle, ticks, activate, clock_);
        if (rc == 0)
            log_.Add(LogType::TrDatChg, logsub::TimerChange, MsSinceOpen(), handle);
    }
    if (rc == 0 && activate)
        poke(); // TDispThread starts ticking
    return rc;
}

int TVelkBaseDispatcher::AddDataTrigger(std::string_view match, bool ignoreCase) {
    std::lock_guard g(dataLock_);
    int h = triggers_.AddDataTrigger(match, ignoreCase);
    if (h > 0)
        log_.Add(LogType::TrigAllc, logsub::Data, MsSinceOpen(), static_cast<std::uint32_t>(h),
                 {reinterpret_cast<const std::uint8_t*>(match.data()), match.size()});
    return h;
}

int TVelkBaseDispatcher::AddStatusTrigger(int type) {
    std::lock_guard g(dataLock_);
    int h = triggers_.AddStatusTrigger(type);
    if (h > 0)
        log_.Add(LogType::TrigAllc, logsub::Status, MsSinceOpen(), static_cast<std::uint32_t>(h));
    return h;
}

int TVelkBaseDispatcher::SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate) {
    int rc;
    {
        PortStatus now = portStatus();
        if (open_)
            now.modemStatus = GetModemStatus();
        std::lock_guard g(dataLock_);
        rc = triggers_.SetStatusTrigger(handle, value, activate, now);
        if (rc == 0)
            log_.Add(LogType::TrDatChg, logsub::StatusChange, MsSinceOpen(), handle);
    }
    if (rc == 0 && activate)
        poke();
    return rc;
}

int TVelkBaseDispatcher::RemoveTrigger(std::uint16_t handle) {
    std::lock_guard g(dataLock_);
    int rc = triggers_.RemoveTrigger(handle);
    if (rc == 0)
        log_.Add(LogType::TrigDisp, static_cast<std::uint8_t>((handle & 7) ? logsub::Status : logsub::None),
                 MsSinceOpen(), handle);
    return rc;
}

int TVelkBaseDispatcher::SetDataAvailThreshold(std::size_t bytes) {
    if (bytes > kInRingSize)
        return ec::BadArgument;
    std::lock_guard g(dataLock_);
    availThreshold_ = bytes;
    log_.Add(LogType::TrDatChg, logsub::AvailChange, MsSinceOpen(), static_cast<std::uint32_t>(bytes));
    return 0;
}

int TVelkBaseDispatcher::addHandler(std::shared_ptr<HandlerEntry> e) {
    std::lock_guard g(dataLock_);
    e->id = nextHandlerId_++;
    std::uint8_t sub = e->kind == HandlerEntry::Kind::Window ? logsub::Window
                       : e->kind == HandlerEntry::Kind::Proc ? logsub::Procedure
                                                             : logsub::Method;
    log_.Add(LogType::TrgHdAlc, sub, MsSinceOpen(), static_cast<std::uint32_t>(e->id));
    handlers_.push_back(std::move(e));
    return handlers_.back()->id;
}

int TVelkBaseDispatcher::removeHandler(HandlerEntry::Kind kind, int id, TriggerWindow* window) {
    std::lock_guard g(dataLock_);
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
        auto& h = *it;
        if (h->kind != kind || h->removed || (window ? h->window != window : h->id != id))
            continue;
        h->removed = true;
        log_.Add(LogType::TrgHdDsp, 0, MsSinceOpen(), static_cast<std::uint32_t>(h->id));
        // While dispatching the entry stays flagged; the dispatch frees it afterwards.
        if (!dispatching_)
            handlers_.erase(it);
        return 0;
    }
    return ec::BadHandle;
}

int TVelkBaseDispatcher::RegisterWindowHandler(TriggerWindow* window) {
    if (!window)
        return ec::BadArgument;
    auto e = std::make_shared<HandlerEntry>();
    e->kind = HandlerEntry::Kind::Window;
    e->window = window;
    return addHandler(std::move(e));
}

int TVelkBaseDispatcher::DeregisterWindowHandler(TriggerWindow* window) {
    return removeHandler(HandlerEntry::Kind::Window, 0, window);
}

int TVelkBaseDispatcher::RegisterProcHandler(TriggerHandler proc) {
    if (!proc)
        return ec::BadArgument;
    auto e = std::make_shared<HandlerEntry>();
    e->kind = HandlerEntry::Kind::Proc;
    e->fn = std::move(proc);
    return addHandler(std::move(e));
}

int TVelkBaseDispatcher::DeregisterProcHandler(int id) {
    return removeHandler(HandlerEntry::Kind::Proc, id, nullptr);
}

int TVelkBaseDispatcher::RegisterEventHandler(TriggerHandler method, bool syncToMain) {
    if (!method)
        return ec::BadArgument;
    auto e = std::make_shared<HandlerEntry>();
    e->kind = HandlerEntry::Kind::Event;
    e->fn = std::move(method);
    e->syncToMain = syncToMain;
    return addHandler(std::move(e));
}

int TVelkBaseDispatcher::DeregisterEventHandler(int id) {
    return removeHandler(HandlerEntry::Kind::Event, id, nullptr);
}

void TVelkBaseDispatcher::AwaitHandlerCalls() {
    if (tlsDispatching == this)
        return;
    std::lock_guard wait(handlerCallLock_);
}

void TVelkBaseDispatcher::SetMainThreadInvoker(MainThreadInvoker invoker) {
    std::lock_guard g(dataLock_);
    invoker_ = std::move(invoker);
}

bool TVelkBaseDispatcher::SetDispatchingNow(bool on) {
    bool was = holdOff_.exchange(on);
    if (was && !on)
        poke(); // timers that ran out meanwhile fire now
    return was;
}

// ---------------------------------------------------------------------------------------
// Trace and log

void TVelkBaseDispatcher::logEntry(LogType type, std::uint8_t sub, std::uint32_t data,
                                  std::span<const std::uint8_t> bytes) {
    std::lock_guard g(dataLock_);
    log_.Add(type, sub, MsSinceOpen(), data, bytes);
}

void TVelkBaseDispatcher::AddDispatchEntry(LogType type, std::uint8_t subType, std::uint32_t data,
                                          std::span<const std::uint8_t> bytes) {
    logEntry(type, subType, data, bytes);
}

int TVelkBaseDispatcher::StartTracing(std::size_t entries) {
    std::lock_guard g(dataLock_);
    return trace_.Start(entries);
}
void TVelkBaseDispatcher::StopTracing() {
    std::lock_guard g(dataLock_);
    trace_.Stop();
}
void TVelkBaseDispatcher::ClearTracing() {
    std::lock_guard g(dataLock_);
    trace_.Clear();
}
void TVelkBaseDispatcher::PauseTracing() {
    std::lock_guard g(dataLock_);
    trace_.Pause();
}
void TVelkBaseDispatcher::ResumeTracing() {
    std::lock_guard g(dataLock_);
    trace_.Resume();
}
int TVelkBaseDispatcher::DumpTrace(const std::filesystem::path& file, bool append, bool hex) {
    std::lock_guard g(dataLock_);
    return trace_.Dump(file, append, hex);
}
bool TVelkBaseDispatcher::Tracing() const {
    std::lock_guard g(dataLock_);
    return trace_.Started();
}
int TVelkBaseDispatcher::StartLogging(std::size_t bytes) {
    std::lock_guard g(dataLock_);
    return log_.Start(bytes);
}
void TVelkBaseDispatcher::StopLogging() {
    std::lock_guard g(dataLock_);
    log_.Stop();
}
void TVelkBaseDispatcher::ClearLogging() {
    std::lock_guard g(dataLock_);
    log_.Clear();
}
void TVelkBaseDispatcher::PauseLogging() {
    std::lock_guard g(dataLock_);
    log_.Pause();
}
void TVelkBaseDispatcher::ResumeLogging() {
    std::lock_guard g(dataLock_);
    log_.Resume();
}
int TVelkBaseDispatcher::DumpLog(const std::filesystem::path& file, bool append, bool hex) {
    std::lock_guard g(dataLock_);
    return log_.Dump(file, append, hex);
}
bool TVelkBaseDispatcher::Logging() const {
    std::lock_guard g(dataLock_);
    return log_.Started();
}

} // namespace faxengine
