#include "faxengine/fax_receive_port.h"

#include "faxengine/fax_files.h"
#include "faxengine/dispatch_log.h"
#include "faxengine/t30_params.h"
#include "faxengine/engine_errors.h"

#include <algorithm>

namespace faxengine {

namespace {

std::int32_t ticksOf(std::chrono::milliseconds ms) {
    const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(kTickLength).count();
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, (ms.count() + tick - 1) / tick));
}

ReceiveParams paramsOf(const FaxSession& s) {
    ReceiveParams p;
    p.bps = s.bps;
    p.fine = s.fine;
    p.wide = s.wide;
    if (!s.modulationCode.empty())
        p.trainingCode = s.modulationCode;
    p.pageCode = std::string(pageCodeFor(p.trainingCode));
    return p;
}

} // namespace

ReceiveOptions receiveOptionsFrom(const FaxSession& s) {
    ReceiveOptions o;
    o.faxClass = runnableClass(s.faxClass);
    o.answerOnRing = s.answerOnRing;
    o.faxAndData = s.faxAndDataChar;
    o.ecChar = s.ecChar;
    o.oneFax = s.oneFax;
    o.constantStatus = s.constantStatus;
    o.exitOnError = s.options & faxopt::ExitOnError;
    o.softwareFlow = s.options & faxopt::SoftwareFlow;
    o.desiredBps = s.desiredBps;
    if (s.modulation >= 1)
        o.modemIndex = s.modulation;
    o.stationId = s.stationId;
    o.answerWait = std::chrono::duration_cast<std::chrono::milliseconds>(kTickLength * s.dialWait);
    return o;
}

FaxReceivePort::~FaxReceivePort() {
    Detach();
}

// ---- running the machine ----

TriggerHandler FaxReceivePort::Procedure() {
    return [this](std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) { Handle(msg, trigger, param); };
}

void FaxReceivePort::Drive(FaxReceiver& machine) {
    std::lock_guard g(lock_);
    machine_ = &machine;
    detached_ = false;
    started_ = false;
}

void FaxReceivePort::Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) {
    std::lock_guard g(lock_);
    if (detached_)
        return;
    if (!machine_) {
        own_.emplace(*this, sessionOwner(), receiveOptionsFrom(s_));
        machine_ = &*own_;
    }
    holder_ = std::this_thread::get_id();
    if (!started_) {
        // Events before the first call find the machine not yet running.
        if (msg == 0) {
            started_ = true;
            machine_->Start();
        }
    } else if (msg == apw::TriggerAvail) {
        machine_->Handle(ReceiveEvent::Data);
    } else if (msg == apw::TriggerTimer && trigger == s_.timeoutTrigger) {
        machine_->Handle(ReceiveEvent::Timeout);
    } else if (msg == apw::TriggerTimer && trigger == s_.statusTrigger) {
        machine_->Handle(ReceiveEvent::StatusTimer);
        if (machine_ && !machine_->Finished())
            s_.ArmStatusTimer();
    } else if (msg == faxmsg::UserAbort) {
        abortPending_ = true;
    } else if (msg == apw::PortLost) {
        machine_->PortLost(-static_cast<int>(param & 0xFFFF));
    }
    deliverAbort();
    mirror();
    holder_ = std::thread::id();
}

void FaxReceivePort::deliverAbort() {
    if (abortPending_.exchange(false) && machine_ && started_ && !detached_) {
        machine_->Handle(ReceiveEvent::UserAbort);
        mirror();
    }
}

void FaxReceivePort::UserAbort() {
    abortPending_ = true;
    if (holder_.load() == std::this_thread::get_id())
        return;
    std::unique_lock g(lock_, std::try_to_lock);
    if (g.owns_lock())
        deliverAbort();
}

void FaxReceivePort::Detach() {
    std::lock_guard g(lock_);
    detached_ = true;
    machine_ = nullptr;
}

bool FaxReceivePort::Finished() {
    std::lock_guard g(lock_);
    return !machine_ || machine_->Finished();
}

// ---- the owner: the session's notices ----

void FaxReceivePort::mirror() {
    if (!machine_)
        return;
    s_.state = static_cast<std::uint8_t>(machine_->State());
    s_.faxStatus = machine_->FaxStatus();
    s_.lastError = machine_->LastError();
    s_.remoteId = machine_->RemoteId();
    s_.currentPage = machine_->CurrentPage();
    s_.bps = machine_->SessionBps();
    s_.fine = machine_->SessionFine();
    s_.faxFileName = machine_->FaxFileName();
}

ReceiveOwner FaxReceivePort::sessionOwner() {
    ReceiveOwner o;
    o.accept = [this](const std::string&) {
        mirror();
        const auto a = s_.Notify(faxmsg::Accept, 0);
        return a && *a != 0; // no answer in time: the call is refused
    };
    o.fileName = [this]() {
        mirror();
        if (!s_.Notify(faxmsg::FileName, 0) || s_.faxFileName.empty()) {
            // No answer in time: still store the fax rather than lose it.
            s_.faxFileName = receivedFaxName(1, s_.destinationDir, s_.faxFileExt);
        }
        return s_.faxFileName;
    };
    o.status = [this](bool first, bool last) {
        mirror();
        s_.SendStatus(first, last);
    };
    o.log = [this](int code) {
        mirror();
        s_.Notify(faxmsg::Log, code);
    };
    o.error = [this](int code) {
        mirror();
        s_.ReportError(code);
    };
    o.finish = [this](int code) {
        mirror();
        s_.lastError = code;
        s_.Finish();
    };
    return o;
}

// ---- commands and responses ----

void FaxReceivePort::SendCommand(std::string_view cmd) { s_.SendCommand(cmd); }
void FaxReceivePort::SendClass1Command(std::string_view cmd) { s_.SendClass1Command(cmd); }
void FaxReceivePort::SendRaw(std::string_view bytes) { s_.SendRaw(bytes); }
ReaderEvent FaxReceivePort::ReadResponse() { return s_.ReadResponse(); }

bool FaxReceivePort::GetByte(std::uint8_t& b) { return s_.port && s_.port->GetChar(b) == 0; }
bool FaxReceivePort::InputWaiting() { return s_.port && s_.port->CharReady(); }

void FaxReceivePort::Pause(std::chrono::milliseconds ms) {
    if (s_.delay)
        s_.delay(ms);
}

std::chrono::steady_clock::time_point FaxReceivePort::Now() { return std::chrono::steady_clock::now(); }

void FaxReceivePort::ArmTimeout(std::chrono::milliseconds after) { s_.ArmTimeout(ticksOf(after)); }
void FaxReceivePort::DisarmTimeout() { s_.DisarmTimeout(); }

void FaxReceivePort::SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) {
    if (!s_.port)
        return;
    FlowSettings f = s_.port->GetFlow();
    f.swOptions = enabled ? TSWFlowOptions::swfReceive : TSWFlowOptions::swfNone;
    if (enabled) {
        f.bufferFull = static_cast<int>(off);
        f.bufferResume = static_cast<int>(on);
    }
    s_.port->SetFlow(f);
}

// ---- Class 1 frames ----

void FaxReceivePort::SendCsiFrame(std::string_view stationId) {
    s_.stationId = std::string(stationId.substr(0, 20));
    s_.SendIdFrame(fcf::CSI);
}

void FaxReceivePort::SendDisFrame(int modulation) {
    s_.modulation = modulation;
    s_.SendDisFrame(true);
}

void FaxReceivePort::SendFcfFrame(std::uint8_t fcfByte, bool final) { s_.SendFcfFrame(fcfByte, final); }

CallerFrame FaxReceivePort::ParseFrame() {
    CallerFrame f;
    // A frame too short to carry an FCF (its DLE ETX aside) is left alone.
    const std::string& r = s_.response;
    const std::size_t start = r.find('\xFF');
    std::size_t end = r.size();
    if (end >= 2 && static_cast<std::uint8_t>(r[end - 2]) == kDLE && static_cast<std::uint8_t>(r[end - 1]) == kETX)
        end -= 2;
    if (start == std::string::npos || end < start + 3)
        return f;
    s_.retrainRequested = false;
    const int rc = s_.ParseFrame();
    f.whole = true;
    f.fcf = s_.lastFcf;
    f.final = s_.lastFrameFinal;
    f.retrain = s_.retrainRequested;
    f.dcn = rc == ec::CancelRequested;
    switch (f.fcf) {
    case fcf::CSI:
    case fcf::CIG:
    case fcf::TSI:
    case fcf::TSIx:
        f.remoteId = s_.remoteId;
        break;
    case fcf::DCS:
    case fcf::DCSx:
        f.params = paramsOf(s_);
        break;
    default:
        break;
    }
    return f;
}

ReceiveParams FaxReceivePort::ApplySessionReport(std::string_view line) {
    s_.ApplyClass2Report(line);
    return paramsOf(s_);
}

// ---- line ----

void FaxReceivePort::SetDtrRts(bool on) {
    if (!s_.port)
        return;
    s_.port->SetDTR(on);
    s_.port->SetRTS(on);
}

void FaxReceivePort::ReceiveHangup() { s_.ReceiveHangup(); }
void FaxReceivePort::SessionSpeed() { s_.SwitchToSessionSpeed(); }
void FaxReceivePort::IdleSpeed() { s_.SwitchToIdleSpeed(); }

void FaxReceivePort::LogState(ReceiveState state) {
    if (s_.port && s_.port->Logging())
        s_.port->AddDispatchEntry(LogType::Fax,
                                  static_cast<std::uint8_t>(logsub::FaxReceiveBase + static_cast<int>(state)),
                                  kReceiveLogBase + static_cast<std::uint32_t>(state));
}

// ---- a machine on a bare port ----

ReceiveDispatcherPort::ReceiveDispatcherPort(TVelkBaseDispatcher& port)
    : FaxReceivePort(detail::OwnedReceiveSession::session), port_(port) {}

ReceiveDispatcherPort::~ReceiveDispatcherPort() {
    Stop();
}

int ReceiveDispatcherPort::Start(FaxReceiver& machine, std::chrono::seconds statusInterval) {
    FaxSession& s = Session();
    s.statusInterval = static_cast<int>(statusInterval.count());
    Drive(machine);
    return s.Start(port_, nullptr, {}, Procedure());
}

void ReceiveDispatcherPort::Stop() {
    Detach();
    Session().Stop();
    port_.AwaitHandlerCalls();
}

} // namespace faxengine
