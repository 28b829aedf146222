#include "faxengine/com_port.h"

#include "faxengine/posix_dispatcher.h"
#include "faxengine/engine_errors.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace faxengine {


namespace {

// The specified text, and beside it the device and what is wrong with it: a user who
// typed a path needs to know which one failed and why.
[[noreturn]] void raiseOpenError(int rc, const std::string& device) {
    std::string fact;
    int code = rc;
    switch (-rc) {
    case ENOENT:
    case ENOTDIR: fact = "no such device"; code = ec::BadId; break;
    case ENXIO:
    case ENODEV: fact = "the device is not there"; code = ec::BadId; break;
    case ENOTTY: fact = "not a serial device"; code = ec::BadId; break;
    case EISDIR: fact = "a directory, not a device"; code = ec::BadId; break;
    case EBUSY: fact = "in use by another program"; code = ec::AlreadyOpen; break;
    case EACCES:
    case EPERM: fact = "permission denied"; break;
    default: break;
    }
    if (fact.empty() && code > -1000)
        fact = std::strerror(-rc);
    if (fact.empty())
        raiseError(code);
    try {
        raiseError(code);
    } catch (const faximage::EVelkException& e) {
        // Same exception class, with the path and the fact added to its text.
        const std::string text = std::string(e.what()) + ": " + device + " (" + fact + ")";
        switch (code) {
        case ec::BadId: throw EBadId(code, text);
        case ec::AlreadyOpen: throw EAlreadyOpen(code, text);
        default: throw faximage::EVelkException(code, text);
        }
    }
    std::abort(); // not reached: raiseError always throws
}

// The port whose event runs on this thread right now: closing it there must be deferred.
thread_local const TVelkComPort* tlsInEventOf = nullptr;
} // namespace

std::string portDevice(int comNumber, const PortDeviceMap& map) {
    if (map)
        if (auto dev = map(comNumber); dev && !dev->empty())
            return *dev;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

std::vector<int> availablePorts(const PortDeviceMap& map) {
    std::vector<int> ports;
    for (int n = 1; n <= 50; ++n) {
        std::string dev = portDevice(n, map);
        int fd = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            bool tty = isatty(fd);
            ::close(fd);
            if (tty)
                ports.push_back(n);
        } else if (errno == EBUSY) {
            ports.push_back(n); // held by another program
        }
    }
    return ports;
}

// The port's hidden window: takes the dispatcher's messages and raises the port's events,
// on the owner's thread when an invoker is given.
class TVelkComPort::HiddenWindow final : public TriggerWindow {
public:
    explicit HiddenWindow(TVelkComPort& port) : port_(port) {}
    bool SendTriggerMessage(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param,
                            std::chrono::milliseconds) override {
        if (port_.invoker_)
            port_.invoker_([&] { port_.handleMessage(msg, trigger, param); });
        else
            port_.handleMessage(msg, trigger, param);
        return true;
    }

private:
    TVelkComPort& port_;
};

TVelkComPort::TVelkComPort() = default;

TVelkComPort::~TVelkComPort() {
    try {
        closePort();
    } catch (...) {
        // a destructor does not throw; the port is closed as far as it could be
    }
}

std::string TVelkComPort::DevicePath() const {
    if (!openDevice_.empty() && dispatcher_)
        return openDevice_;
    if (!devicePath_.empty())
        return devicePath_;
    return portDevice(comNumber_, deviceMap_);
}

// ---------------------------------------------------------------------------------------
// Open and close

void TVelkComPort::SetOpen(bool on) {
    if (on == Open())
        return;
    if (on)
        openPort();
    else
        closePort();
}

void TVelkComPort::openPort() {
    finishDeferredClose();
    if (devicePath_.empty() && comNumber_ == 0) {
        int chosen = promptForPort_ && selector_ ? selector_() : 0;
        if (chosen <= 0)
            raiseError(ec::NoPortSelected);
        comNumber_ = chosen;
    }
    std::string device = devicePath_.empty() ? portDevice(comNumber_, deviceMap_) : devicePath_;

    auto disp = std::make_unique<TVelkPosixDispatcher>();
    DispatcherOpenParams p;
    p.device = device;
    p.outSize = static_cast<std::size_t>(outSize_);
    p.dtr = dtr_;
    p.rts = rts_;
    p.line = line_;
    int rc = disp->Open(p);
    if (rc < 0)
        raiseOpenError(rc, device);

    dispatcher_ = std::move(disp);
    openDevice_ = device;
    closing_ = false;
    try {
        dispatcher_->SetOptions(useEventWord_ ? TVelkBaseDispatcher::kOptionUseEventWord : 0);
        applyTracing(tracing_);
        applyLogging(logging_);
        applyFlow();
        window_ = std::make_unique<HiddenWindow>(*this);
        dispatcher_->RegisterWindowHandler(window_.get());
        dispatcher_->SetDataAvailThreshold(1);
        if (rs485_)
            dispatcher_->SetRTS(false);
    } catch (...) {
        closePort();
        throw;
    }
}

void TVelkComPort::closePort() {
    if (!dispatcher_)
        return;
    if (dispatcher_->OnWorkerThread() || tlsInEventOf == this) {
        // Asked from inside an event: the dispatcher thread that delivers it cannot be
        // waited for here. Its threads stop now; the owner's next use of the port (or
        // ProcessCloseRequest, or the destructor) finishes the close.
        closing_ = true;
        dispatcher_->RequestClose();
        return;
    }
    dispatcher_->Close();
    dispatcher_.reset();
    window_.reset();
    openDevice_.clear();
    closing_ = false;
}

void TVelkComPort::finishDeferredClose() {
    if (closing_ && dispatcher_ && !dispatcher_->OnWorkerThread() && tlsInEventOf != this)
        closePort();
}

void TVelkComPort::ProcessCloseRequest() { finishDeferredClose(); }

TVelkBaseDispatcher& TVelkComPort::Dispatcher() {
    finishDeferredClose();
    if (!Open()) {
        if (!autoOpen_)
            raiseError(ec::CommNotOpen);
        openPort();
    }
    return *dispatcher_;
}

// ---------------------------------------------------------------------------------------
// Settings

void TVelkComPort::SetComNumber(int n) {
    if (n < 0)
        raiseError(ec::BadArgument);
    if (Open() && n != comNumber_) {
        // A different port: reopen on it.
        closePort();
        comNumber_ = n;
        openPort();
        return;
    }
    comNumber_ = n;
}

void TVelkComPort::SetBaud(int baud) {
    if (Open())
        checkResult(dispatcher_->SetBaud(baud));
    line_.baud = baud;
}

void TVelkComPort::SetParity(TParity p) {
    if (Open())
        checkResult(dispatcher_->SetLine(kKeep, p, kKeep, kKeep));
    line_.parity = p;
}

void TVelkComPort::SetDataBits(int bits) {
    if (bits < 5 || bits > 8)
        raiseError(ec::ByteSize);
    if (Open())
        checkResult(dispatcher_->SetLine(kKeep, std::nullopt, bits, kKeep));
    line_.dataBits = bits;
}

void TVelkComPort::SetStopBits(int bits) {
    if (bits < 1 || bits > 2)
        raiseError(ec::BadArgument);
    if (Open())
        checkResult(dispatcher_->SetLine(kKeep, std::nullopt, kKeep, bits));
    line_.stopBits = bits;
}

void TVelkComPort::SetInSize(int size) {
    if (size <= 0)
        raiseError(ec::BadArgument);
    inSize_ = size;
    if (flow_.hwOptions)
        SetHWFlowOptions(flow_.hwOptions);
}

void TVelkComPort::SetOutSize(int size) {
    if (size <= 0)
        raiseError(ec::BadArgument);
    outSize_ = size;
    if (Open()) {
        // The output ring is sized at open.
        closePort();
        openPort();
    }
}

void TVelkComPort::SetDTR(bool on) {
    if (Open())
        checkResult(dispatcher_->SetDTR(on));
    dtr_ = on;
}

void TVelkComPort::SetRTS(bool on) {
    if (Open())
        checkResult(dispatcher_->SetRTS(on));
    rts_ = on;
}

void TVelkComPort::applyFlow() {
    normaliseFlowLimits(inSize_, flow_);
    if (Open())
        checkResult(dispatcher_->SetFlow(flow_));
}

void TVelkComPort::SetHWFlowOptions(std::uint8_t options) {
    flow_.hwOptions = options;
    if (options & (hwf::RequireCTS | hwf::RequireDSR))
        rs485_ = false;
    applyFlow();
}

void TVelkComPort::SetSWFlowOptions(TSWFlowOptions o) {
    flow_.swOptions = o;
    applyFlow();
}

void TVelkComPort::SetXOnChar(std::uint8_t c) {
    flow_.xonChar = c;
    applyFlow();
}

void TVelkComPort::SetXOffChar(std::uint8_t c) {
    flow_.xoffChar = c;
    applyFlow();
}

void TVelkComPort::SetBufferFull(int n) {
    flow_.bufferFull = n;
    applyFlow();
}

void TVelkComPort::SetBufferResume(int n) {
    flow_.bufferResume = n;
    applyFlow();
}

void TVelkComPort::SetUseEventWord(bool on) {
    useEventWord_ = on;
    if (Open())
        dispatcher_->SetOptions(on ? TVelkBaseDispatcher::kOptionUseEventWord : 0);
}

void TVelkComPort::SetRS485Mode(bool on) {
    rs485_ = on;
    if (on) {
        flow_.hwOptions &= static_cast<std::uint8_t>(~(hwf::UseRTS | hwf::RequireCTS));
        applyFlow();
        SetRTS(false);
    }
}

// ---------------------------------------------------------------------------------------
// Trace and log

void TVelkComPort::SetTraceSize(int entries) {
    if (entries <= 0 || static_cast<std::size_t>(entries) > PortTrace::kMaxEntries)
        raiseError(ec::BadArgument);
    traceSize_ = entries;
}

void TVelkComPort::SetLogSize(int bytes) {
    if (bytes < static_cast<int>(DispatchLog::kRecordSize) ||
        static_cast<std::size_t>(bytes) > DispatchLog::kMaxSize)
        raiseError(ec::BadArgument);
    logSize_ = bytes;
}

void TVelkComPort::SetTracing(TTraceLogState s) {
    if (Open())
        applyTracing(s);
    else if (s == TTraceLogState::tlOn || s == TTraceLogState::tlOff || s == TTraceLogState::tlPause)
        tracing_ = s; // dump, append and clear need an open port's trace
}

void TVelkComPort::SetLogging(TTraceLogState s) {
    if (Open())
        applyLogging(s);
    else if (s == TTraceLogState::tlOn || s == TTraceLogState::tlOff || s == TTraceLogState::tlPause)
        logging_ = s;
}

void TVelkComPort::applyTracing(TTraceLogState s) {
    auto& d = *dispatcher_;
    switch (s) {
    case TTraceLogState::tlOff:
        d.StopTracing();
        tracing_ = s;
        return;
    case TTraceLogState::tlOn:
        if (!d.Tracing())
            checkResult(d.StartTracing(static_cast<std::size_t>(traceSize_)));
        d.ResumeTracing();
        tracing_ = s;
        return;
    case TTraceLogState::tlDump:
    case TTraceLogState::tlAppend:
        checkResult(d.DumpTrace(traceName_, s == TTraceLogState::tlAppend, traceHex_));
        d.ResumeTracing();
        tracing_ = TTraceLogState::tlOn;
        return;
    case TTraceLogState::tlClear:
        d.ClearTracing();
        tracing_ = d.Tracing() ? TTraceLogState::tlOn : TTraceLogState::tlOff;
        return;
    case TTraceLogState::tlPause:
        d.PauseTracing();
        tracing_ = s;
        return;
    }
}

void TVelkComPort::applyLogging(TTraceLogState s) {
    auto& d = *dispatcher_;
    switch (s) {
    case TTraceLogState::tlOff:
        d.StopLogging();
        logging_ = s;
        return;
    case TTraceLogState::tlOn:
        if (!d.Logging())
            checkResult(d.StartLogging(static_cast<std::size_t>(logSize_)));
        d.ResumeLogging();
        logging_ = s;
        return;
    case TTraceLogState::tlDump:
    case TTraceLogState::tlAppend:
        checkResult(d.DumpLog(logName_, s == TTraceLogState::tlAppend, logHex_));
        d.ResumeLogging();
        logging_ = TTraceLogState::tlOn;
        return;
    case TTraceLogState::tlClear:
        d.ClearLogging();
        logging_ = d.Logging() ? TTraceLogState::tlOn : TTraceLogState::tlOff;
        return;
    case TTraceLogState::tlPause:
        d.PauseLogging();
        logging_ = s;
        return;
    }
}

// ---------------------------------------------------------------------------------------
// Events

void TVelkComPort::handleMessage(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) {
    auto data = static_cast<std::uint16_t>(param & 0xFFFF);
    if (msg == apw::CloseRequest) {
        finishDeferredClose();
        return;
    }
    struct Scope {
        const TVelkComPort* prev;
        explicit Scope(const TVelkComPort* p) : prev(tlsInEventOf) { tlsInEventOf = p; }
        ~Scope() { tlsInEventOf = prev; }
    } scope(this);
    if (OnTrigger)
        OnTrigger(*this, msg, trigger, data);
    switch (msg) {
    case apw::TriggerAvail:
        if (OnTriggerAvail)
            OnTriggerAvail(*this, data);
        break;
    case apw::TriggerData:
        if (OnTriggerData)
            OnTriggerData(*this, trigger);
        break;
    case apw::TriggerTimer:
        if (OnTriggerTimer)
            OnTriggerTimer(*this, trigger);
        break;
    case apw::TriggerStatus:
        if (OnTriggerStatus)
            OnTriggerStatus(*this, trigger);
        switch (trigger & 7) {
        case 1:
            if (OnTriggerModemStatus)
                OnTriggerModemStatus(*this);
            break;
        case 2:
            if (OnTriggerLineError) {
                std::uint8_t err = dispatcher_ ? dispatcher_->GetLineError() : 0;
                OnTriggerLineError(*this, err, (err & lsr::Break) != 0);
            }
            break;
        case 3:
            if (OnTriggerOutbuffFree)
                OnTriggerOutbuffFree(*this);
            break;
        case 4:
            if (OnTriggerOutbuffUsed)
                OnTriggerOutbuffUsed(*this);
            break;
        case 5:
            if (OnTriggerOutSent)
                OnTriggerOutSent(*this);
            break;
        }
        break;
    case apw::PortLost:
        if (OnPortLost)
            OnPortLost(*this, -static_cast<int>(data));
        break;
    }
}

// ---------------------------------------------------------------------------------------
// Operations

void TVelkComPort::PutString(std::string_view s) { checkResult(Dispatcher().PutString(s)); }
void TVelkComPort::PutChar(std::uint8_t c) { checkResult(Dispatcher().PutChar(c)); }
void TVelkComPort::FlushInBuffer() { checkResult(Dispatcher().FlushInBuffer()); }
void TVelkComPort::FlushOutBuffer() { checkResult(Dispatcher().FlushOutBuffer()); }
std::size_t TVelkComPort::InBuffUsed() { return Dispatcher().InBuffUsed(); }
std::size_t TVelkComPort::OutBuffFree() { return Dispatcher().OutBuffFree(); }
std::size_t TVelkComPort::OutBuffUsed() { return Dispatcher().OutBuffUsed(); }

int TVelkComPort::AddDataTrigger(std::string_view match, bool ignoreCase) {
    return checkResult(Dispatcher().AddDataTrigger(match, ignoreCase));
}
int TVelkComPort::AddTimerTrigger() { return checkResult(Dispatcher().AddTimerTrigger()); }
int TVelkComPort::AddStatusTrigger(int type) {
    return checkResult(Dispatcher().AddStatusTrigger(type));
}
void TVelkComPort::SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate) {
    checkResult(Dispatcher().SetTimerTrigger(handle, ticks, activate));
}
void TVelkComPort::SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate) {
    checkResult(Dispatcher().SetStatusTrigger(handle, value, activate));
}
void TVelkComPort::RemoveTrigger(std::uint16_t handle) {
    checkResult(Dispatcher().RemoveTrigger(handle));
}

} // namespace faxengine
