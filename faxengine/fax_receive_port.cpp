#include "faxengine/fax_receive_port.h"

#include "faxengine/dispatch_log.h"
#include "faximage/apd_errors.h"

#include <thread>
#include <utility>

namespace faxengine {

namespace {
constexpr int kNoMoreTriggers = -5001;
constexpr std::chrono::milliseconds kTick{55};
} // namespace

ReceiveDispatcherPort::ReceiveDispatcherPort(TApdBaseDispatcher& port) : port_(port) {}

ReceiveDispatcherPort::~ReceiveDispatcherPort() {
    Stop();
}

std::int32_t ReceiveDispatcherPort::ticksOf(std::chrono::milliseconds ms) {
    return static_cast<std::int32_t>(
        std::max<std::int64_t>(1, (ms.count() + kTick.count() - 1) / kTick.count()));
}

int ReceiveDispatcherPort::Start(FaxReceiver& machine, std::chrono::seconds statusInterval) {
    std::lock_guard g(lock_);
    machine_ = &machine;
    port_.SetDataAvailThreshold(1);
    timeoutTrigger_ = port_.AddTimerTrigger();
    statusTrigger_ = port_.AddTimerTrigger();
    if (timeoutTrigger_ < 0 || statusTrigger_ < 0) {
        Stop();
        return kNoMoreTriggers;
    }
    procId_ = port_.RegisterProcHandler([this](std::uint16_t msg, std::uint16_t trigger,
                                               std::uint32_t) { onTrigger(msg, trigger); });
    statusTicks_ = ticksOf(statusInterval);
    machine.Start();
    port_.SetTimerTrigger(static_cast<std::uint16_t>(statusTrigger_), statusTicks_, true);
    return 0;
}

void ReceiveDispatcherPort::Stop() {
    int id = -1;
    int timeout = -1;
    int status = -1;
    {
        std::lock_guard g(lock_);
        machine_ = nullptr;
        id = std::exchange(procId_, -1);
        timeout = std::exchange(timeoutTrigger_, -1);
        status = std::exchange(statusTrigger_, -1);
    }
    // Not under the lock: a handler that is running may be waiting for it.
    if (id >= 0)
        port_.DeregisterProcHandler(id);
    if (timeout > 0)
        port_.RemoveTrigger(static_cast<std::uint16_t>(timeout));
    if (status > 0)
        port_.RemoveTrigger(static_cast<std::uint16_t>(status));
}

void ReceiveDispatcherPort::UserAbort() {
    std::lock_guard g(lock_);
    if (machine_)
        machine_->Handle(ReceiveEvent::UserAbort);
}

bool ReceiveDispatcherPort::Finished() {
    std::lock_guard g(lock_);
    return !machine_ || machine_->Finished();
}

void ReceiveDispatcherPort::onTrigger(std::uint16_t msg, std::uint16_t trigger) {
    std::lock_guard g(lock_);
    if (!machine_)
        return;
    if (msg == apw::TriggerAvail) {
        machine_->Handle(ReceiveEvent::Data);
    } else if (msg == apw::TriggerTimer && trigger == timeoutTrigger_) {
        machine_->Handle(ReceiveEvent::Timeout);
    } else if (msg == apw::TriggerTimer && trigger == statusTrigger_) {
        machine_->Handle(ReceiveEvent::StatusTimer);
        if (machine_ && !machine_->Finished())
            port_.SetTimerTrigger(static_cast<std::uint16_t>(statusTrigger_), statusTicks_, true);
    }
}

std::size_t ReceiveDispatcherPort::InBuffUsed() {
    return port_.InBuffUsed();
}

bool ReceiveDispatcherPort::GetChar(std::uint8_t& c) {
    return port_.GetChar(c) == 0;
}

void ReceiveDispatcherPort::Put(std::span<const std::uint8_t> bytes) {
    // A block larger than the free output space is not queued at all: wait for room.
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), std::max<std::size_t>(1, port_.OutBuffFree()));
        if (port_.PutBlock(bytes.first(n)) == 0) {
            bytes = bytes.subspan(n);
        } else {
            if (!port_.IsOpen())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void ReceiveDispatcherPort::SetDtrRts(bool on) {
    port_.SetDTR(on);
    port_.SetRTS(on);
}

void ReceiveDispatcherPort::FlushIn() {
    port_.FlushInBuffer();
}

void ReceiveDispatcherPort::FlushOut() {
    port_.FlushOutBuffer();
}

void ReceiveDispatcherPort::Wait(std::chrono::milliseconds ms) {
    std::this_thread::sleep_for(ms);
}

std::chrono::steady_clock::time_point ReceiveDispatcherPort::Now() {
    return std::chrono::steady_clock::now();
}

void ReceiveDispatcherPort::ArmTimeout(std::chrono::milliseconds after) {
    if (timeoutTrigger_ > 0)
        port_.SetTimerTrigger(static_cast<std::uint16_t>(timeoutTrigger_), ticksOf(after), true);
}

void ReceiveDispatcherPort::DisarmTimeout() {
    if (timeoutTrigger_ > 0)
        port_.SetTimerTrigger(static_cast<std::uint16_t>(timeoutTrigger_), 0, false);
}

void ReceiveDispatcherPort::SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) {
    FlowSettings f = port_.GetFlow();
    f.swOptions = enabled ? TSWFlowOptions::swfReceive : TSWFlowOptions::swfNone;
    if (enabled) {
        f.bufferFull = static_cast<int>(off);
        f.bufferResume = static_cast<int>(on);
    }
    port_.SetFlow(f);
}

void ReceiveDispatcherPort::LogState(ReceiveState s) {
    if (port_.Logging())
        port_.AddDispatchEntry(
            LogType::Fax, static_cast<std::uint8_t>(logsub::FaxReceiveBase + static_cast<int>(s)),
            kReceiveLogBase + static_cast<std::uint32_t>(s));
}

} // namespace faxengine
