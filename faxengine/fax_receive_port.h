// Runs a FaxReceiver on a port's dispatcher: data-available and timer triggers become the
// machine's events, the port's rings and lines carry its commands. One machine per port.
#pragma once

#include "faxengine/apd_dispatcher.h"
#include "faxengine/fax_receive.h"

#include <chrono>
#include <mutex>

namespace faxengine {

class ReceiveDispatcherPort final : public ReceivePort {
public:
    explicit ReceiveDispatcherPort(TApdBaseDispatcher& port);
    ~ReceiveDispatcherPort() override;
    ReceiveDispatcherPort(const ReceiveDispatcherPort&) = delete;
    ReceiveDispatcherPort& operator=(const ReceiveDispatcherPort&) = delete;

    // Adds the timeout and status timers, registers the event procedure and enters
    // rfInit. 0, or -5001 when the dispatcher has no trigger slot left.
    int Start(FaxReceiver& machine, std::chrono::seconds statusInterval = std::chrono::seconds(1));
    // Unregisters and removes the triggers (not from inside the machine's calls).
    void Stop();
    // The owner's user abort.
    void UserAbort();
    bool Finished();

    std::size_t InBuffUsed() override;
    bool GetChar(std::uint8_t& c) override;
    void Put(std::span<const std::uint8_t> bytes) override;
    void SetDtrRts(bool on) override;
    void FlushIn() override;
    void FlushOut() override;
    void Wait(std::chrono::milliseconds ms) override;
    std::chrono::steady_clock::time_point Now() override;
    void ArmTimeout(std::chrono::milliseconds after) override;
    void DisarmTimeout() override;
    void SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) override;
    void LogState(ReceiveState s) override;

private:
    void onTrigger(std::uint16_t msg, std::uint16_t trigger);
    static std::int32_t ticksOf(std::chrono::milliseconds ms);

    TApdBaseDispatcher& port_;
    FaxReceiver* machine_ = nullptr;
    std::recursive_mutex lock_;
    int timeoutTrigger_ = -1;
    int statusTrigger_ = -1;
    int procId_ = -1;
    std::int32_t statusTicks_ = 18;
};

} // namespace faxengine
