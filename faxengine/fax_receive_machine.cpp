// The receive machine as the receive component runs it: the session's receive
// initialisation, then the machine over the session's command layer.
#include "faxengine/abstract_fax.h"

#include "faxengine/fax_receive_port.h"

namespace faxengine {

FaxMachine receiveMachine() {
    // The link of the current run; replaced at each start.
    auto link = std::make_shared<std::unique_ptr<FaxReceivePort>>();
    FaxMachine m;
    m.start = [link](FaxSession& s, TVelkBaseDispatcher& port, FaxNoticeSink& sink) {
        // The previous run's last call may still be ending on the dispatch thread.
        port.AwaitHandlerCalls();
        *link = std::make_unique<FaxReceivePort>(s);
        auto init = [](FaxSession& fs) {
            const int rc = fs.InitReceive();
            if (rc != 0)
                fs.ReportError(rc);
            return rc;
        };
        return s.Start(port, &sink, init, (*link)->Procedure());
    };
    m.abort = [link](FaxSession&) {
        if (*link)
            (*link)->UserAbort();
    };
    m.finished = [link](FaxSession&) {
        if (*link)
            (*link)->Detach();
    };
    return m;
}

} // namespace faxengine
