// The receive machine as the receive component runs it: the session's receive
// initialisation, then the machine on the port's dispatcher.
#include "faxengine/apd_abstract_fax.h"

#include "faxengine/apd_fax_files.h"
#include "faxengine/fax_receive.h"
#include "faxengine/fax_receive_port.h"

namespace faxengine {

namespace {

ReceiveClass receiveClassOf(FaxClass c) {
    switch (c) {
    case FaxClass::fcClass2:
        return ReceiveClass::Class2;
    case FaxClass::fcClass2_0:
        return ReceiveClass::Class20;
    case FaxClass::fcUnknown:
    case FaxClass::fcDetect:
    case FaxClass::fcClass1:
        return ReceiveClass::Class1;
    }
    return ReceiveClass::Class1;
}

// One run of the receive machine. The machine reports on the dispatch thread; its values
// are copied into the session record first, which is what the owner's notices read.
struct ReceiveMachineRun {
    std::unique_ptr<ReceiveDispatcherPort> port;
    std::unique_ptr<FaxReceiver> machine;
    FaxSession* session = nullptr;
    FaxNoticeSink* sink = nullptr;

    void mirror() {
        FaxSession& s = *session;
        s.faxStatus = machine->FaxStatus();
        s.lastError = machine->LastError();
        s.remoteId = machine->RemoteId();
        s.currentPage = machine->CurrentPage();
        s.bps = machine->SessionBps();
        s.fine = machine->SessionFine();
        s.faxFileName = machine->FaxFileName();
    }
    std::optional<std::int32_t> notify(std::uint16_t msg, std::int32_t param) {
        mirror();
        return sink->SendNotice(msg, *session, param, kNoticeTimeout);
    }
};

ReceiveOptions receiveOptionsFrom(const FaxSession& s) {
    ReceiveOptions o;
    o.faxClass = receiveClassOf(s.faxClass);
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
    o.answerWait = std::chrono::milliseconds(std::int64_t(s.dialWait) * 55);
    return o;
}

} // namespace

FaxMachine receiveMachine() {
    auto run = std::make_shared<ReceiveMachineRun>();
    FaxMachine m;
    m.start = [run](FaxSession& s, TApdBaseDispatcher& port, FaxNoticeSink& sink) {
        // A previous run is over once its finish was handled.
        if (run->port)
            run->port->Stop();
        run->machine.reset();
        run->port.reset();
        run->session = &s;
        run->sink = &sink;
        s.port = &port;
        s.owner = &sink;
        int rc = s.InitReceive();
        if (rc != 0) {
            s.ReportError(rc);
            s.SendStatus(false, true);
            s.sessionActive = false;
            sink.PostNotice(faxmsg::Finish, s, rc);
            return rc;
        }
        ReceiveOwner owner;
        ReceiveMachineRun* r = run.get();
        owner.accept = [r](const std::string&) {
            auto a = r->notify(faxmsg::Accept, 0);
            return a && *a != 0; // no answer in time: the call is refused
        };
        owner.fileName = [r]() {
            if (!r->notify(faxmsg::FileName, 0) || r->session->faxFileName.empty()) {
                // No answer in time: still store the fax rather than lose it.
                r->session->faxFileName =
                    receivedFaxName(1, r->session->destinationDir, r->session->faxFileExt);
            }
            return r->session->faxFileName;
        };
        owner.status = [r](bool first, bool last) { r->notify(faxmsg::Status, first ? 1 : (last ? 2 : 0)); };
        owner.log = [r](int code) { r->notify(faxmsg::Log, code); };
        owner.error = [r](int code) { r->notify(faxmsg::Error, code); };
        owner.finish = [r](int code) {
            r->mirror();
            r->session->lastError = code;
            r->session->sessionActive = false;
            r->sink->PostNotice(faxmsg::Finish, *r->session, code);
        };
        run->port = std::make_unique<ReceiveDispatcherPort>(port);
        run->machine = std::make_unique<FaxReceiver>(*run->port, std::move(owner), receiveOptionsFrom(s));
        rc = run->port->Start(*run->machine, std::chrono::seconds(s.statusInterval));
        if (rc != 0) {
            s.ReportError(rc);
            s.sessionActive = false;
            sink.PostNotice(faxmsg::Finish, s, rc);
        }
        return rc;
    };
    m.abort = [run](FaxSession&) {
        if (run->port)
            run->port->UserAbort();
    };
    m.finished = [run](FaxSession&) {
        if (run->port)
            run->port->Stop();
    };
    return m;
}

} // namespace faxengine
