// The transmit machine as the send component runs it: over the session's command layer.
#include "faxengine/apd_abstract_fax.h"

#include "faxengine/fax_transmit_port.h"
#include "faxengine/fax_transmit_state.h"

namespace faxengine {

namespace {

// One run of the transmit machine; replaced at each start.
struct TransmitMachineRun {
    std::unique_ptr<FaxTransmitPort> link;
};

} // namespace

FaxMachine transmitMachine() {
    auto run = std::make_shared<TransmitMachineRun>();
    FaxMachine m;
    m.start = [run](FaxSession& s, TApdBaseDispatcher& port, FaxNoticeSink& sink) {
        run->link = std::make_unique<FaxTransmitPort>(s);
        auto init = [](FaxSession& fs) { return fs.InitTransmit(static_cast<std::uint8_t>(TransmitState::tfGetEntry)); };
        return s.Start(port, &sink, init, run->link->Procedure());
    };
    m.abort = [run](FaxSession&) {
        if (run->link)
            run->link->Handle(faxmsg::UserAbort, 0, 0);
    };
    return m;
}

// The receive machine is wired in apd_fax_receive_machine.cpp once its port layer is in.
FaxMachine receiveMachine() { return {}; }

} // namespace faxengine
