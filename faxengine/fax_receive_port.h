// Runs the receive machine on a fax session: the session's port, triggers, command layer
// and owner notices stand behind the machine's link, as they do for the transmit machine.
#pragma once

#include "faxengine/fax_receive.h"
#include "faxengine/fax_session.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace faxengine {

// The machine's options from the session record (Class 1 when the class is not settled).
ReceiveOptions receiveOptionsFrom(const FaxSession& s);

class FaxReceivePort : public ReceiveLink {
public:
    explicit FaxReceivePort(FaxSession& session) : s_(session) {}
    ~FaxReceivePort() override;
    FaxReceivePort(const FaxReceivePort&) = delete;
    FaxReceivePort& operator=(const FaxReceivePort&) = delete;

    // The state procedure to hand to FaxSession::Start. Its first call (message 0) starts
    // the machine: the one given to Drive, or else one made from the session record whose
    // owner calls are the session's notices.
    TriggerHandler Procedure();
    void Drive(FaxReceiver& machine);
    void Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param);
    // The owner's user abort, from any thread. Asked from inside the machine's own call
    // (or while the dispatch thread is in it) it is delivered when that call ends.
    void UserAbort();
    // No more calls into the machine.
    void Detach();
    bool Finished();
    const FaxReceiver* Machine() const { return machine_; }

    // ReceiveLink
    void SendCommand(std::string_view cmd) override;
    void SendClass1Command(std::string_view cmd) override;
    void SendRaw(std::string_view bytes) override;
    ReaderEvent ReadResponse() override;
    const std::string& Response() const override { return s_.response; }
    bool GetByte(std::uint8_t& b) override;
    bool InputWaiting() override;
    void Pause(std::chrono::milliseconds ms) override;
    std::chrono::steady_clock::time_point Now() override;
    void ArmTimeout(std::chrono::milliseconds after) override;
    void DisarmTimeout() override;
    void SetSoftwareFlow(bool enabled, std::size_t off, std::size_t on) override;
    void SendCsiFrame(std::string_view stationId) override;
    void SendDisFrame(int modulation) override;
    void SendFcfFrame(std::uint8_t fcf, bool final) override;
    CallerFrame ParseFrame() override;
    ReceiveParams ApplySessionReport(std::string_view line) override;
    void SetDtrRts(bool on) override;
    void ReceiveHangup() override;
    void SessionSpeed() override;
    void IdleSpeed() override;
    void LogState(ReceiveState s) override;

protected:
    FaxSession& Session() { return s_; }

private:
    ReceiveOwner sessionOwner();
    // Copies what the owner's notices read into the session record.
    void mirror();
    void deliverAbort();

    FaxSession& s_;
    // The dispatch thread and the owner's thread both call in; one at a time.
    std::recursive_mutex lock_;
    std::atomic<std::thread::id> holder_{}; // thread inside the machine, if any
    std::atomic<bool> abortPending_{false};
    std::optional<FaxReceiver> own_;
    FaxReceiver* machine_ = nullptr;
    bool started_ = false;
    bool detached_ = false;
};

namespace detail {
struct OwnedReceiveSession {
    FaxSession session{FaxRole::Receive};
};
} // namespace detail

// A receive machine on a bare port, with a session record of its own: no initialisation,
// no owner notices (the machine's ReceiveOwner gets the calls).
class ReceiveDispatcherPort final : private detail::OwnedReceiveSession, public FaxReceivePort {
public:
    explicit ReceiveDispatcherPort(TVelkBaseDispatcher& port);
    ~ReceiveDispatcherPort() override;

    // Adds the session's triggers, registers the procedure and enters rfInit. 0, or
    // -5001 when the dispatcher has no trigger slot left.
    int Start(FaxReceiver& machine, std::chrono::seconds statusInterval = std::chrono::seconds(1));
    // Unregisters and removes the triggers (not from inside the machine's calls).
    void Stop();

private:
    TVelkBaseDispatcher& port_;
};

} // namespace faxengine
