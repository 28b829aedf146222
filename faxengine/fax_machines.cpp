// The transmit machine as the send component runs it: over the session's command layer.
#include "faxengine/abstract_fax.h"

#include "faxengine/fax_transmit_port.h"
#include "faxengine/fax_transmit_state.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace faxengine {

namespace {

// One run of the transmit machine; replaced at each start. The machine is not reentrant:
// the dispatch thread runs it, so a user abort from the owner's thread goes in only while
// the dispatch thread is out of it, or else at the end of the dispatch thread's call.
struct TransmitMachineRun {
    std::unique_ptr<FaxTransmitPort> link;
    FaxSession* session = nullptr;
    std::mutex lock;
    std::atomic<std::thread::id> holder{}; // thread inside the machine, if any
    std::atomic<bool> abortPending{false};

    // Called with `lock` held.
    void deliverAbort() {
        if (abortPending.exchange(false) && link && session->sessionActive)
            link->Handle(faxmsg::UserAbort, 0, 0);
    }
};

} // namespace

FaxMachine transmitMachine() {
    auto run = std::make_shared<TransmitMachineRun>();
    FaxMachine m;
    m.start = [run](FaxSession& s, TVelkBaseDispatcher& port, FaxNoticeSink& sink) {
        // The previous run's last call may still be ending on the dispatch thread.
        port.AwaitHandlerCalls();
        run->link = std::make_unique<FaxTransmitPort>(s);
        run->session = &s;
        run->abortPending = false;
        auto init = [](FaxSession& fs) {
            return fs.InitTransmit(static_cast<std::uint8_t>(TransmitState::tfGetEntry));
        };
        TransmitMachineRun* r = run.get();
        auto proc = [r](std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) {
            std::lock_guard hold(r->lock);
            r->holder = std::this_thread::get_id();
            r->link->Handle(msg, trigger, param);
            r->deliverAbort();
            r->holder = std::thread::id();
        };
        return s.Start(port, &sink, init, proc);
    };
    m.abort = [run](FaxSession&) {
        run->abortPending = true;
        // Asked from an event inside the machine's own call: delivered when that call ends.
        if (run->holder.load() == std::this_thread::get_id())
            return;
        std::unique_lock hold(run->lock, std::try_to_lock);
        if (hold.owns_lock())
            run->deliverAbort();
    };
    return m;
}

} // namespace faxengine
