#include "faxengine/abstract_fax.h"

#include "faxengine/fax_status_display.h"
#include "faxengine/engine_errors.h"

namespace faxengine {

TVelkCustomAbstractFax::TVelkCustomAbstractFax(FaxRole role, FaxMachine machine)
    : session_(std::make_unique<FaxSession>(role)),
      machine_(std::move(machine)),
      faxClass_(role == FaxRole::Transmit ? TFaxClass::fcUnknown : TFaxClass::fcDetect),
      notices_([this](const FaxNotice& n, FaxNoticeAnswer& a) { handle(n, a); }) {}

TVelkCustomAbstractFax::~TVelkCustomAbstractFax() {
    // A port closed since the last session took its dispatcher with it: nothing of that
    // session can still run, and the session must not reach for it.
    forgetClosedPort();
    // The engine must be quiet before the queue it reports to goes.
    if (busy_ && machine_.abort)
        machine_.abort(*session_);
    if (machine_.finished)
        machine_.finished(*session_);
    if (session_->sessionActive)
        session_->Stop();
    // The dispatch thread may still be on its way out of the machine's last call.
    if (session_->port)
        session_->port->AwaitHandlerCalls();
    session_.reset();
    if (statusDisplay_)
        statusDisplay_->fax_ = nullptr;
    if (faxLog_)
        faxLog_->fax_ = nullptr;
}

void TVelkCustomAbstractFax::forgetClosedPort() {
    if (session_->port && !TVelkBaseDispatcher::StillOpen(session_->port, session_->portOpenSerial)) {
        session_->port = nullptr;
        session_->sessionActive = false;
    }
}

void TVelkCustomAbstractFax::SetInitBaud(int baud) {
    forgetClosedPort();
    if (session_->port)
        session_->SetInitBaud(baud, session_->normalBaud);
    else
        session_->initBaud = baud;
}

void TVelkCustomAbstractFax::SetComPort(TVelkComPort* port) {
    comPort_ = port;
    if (!port)
        return;
    port->SetDataBits(8);
    port->SetStopBits(1);
    port->SetParity(TParity::pNone);
    port->SetBaud(19200);
    port->SetInSize(8192);
    port->SetOutSize(8192);
    port->SetHWFlowOptions(hwf::UseRTS | hwf::RequireCTS);
}

void TVelkCustomAbstractFax::SetStatusDisplay(TVelkAbstractFaxStatus* display) {
    if (statusDisplay_ == display)
        return;
    TVelkAbstractFaxStatus* old = statusDisplay_;
    statusDisplay_ = display;
    if (old && old->fax_ == this)
        old->fax_ = nullptr;
    if (display)
        display->SetFax(this);
}

void TVelkCustomAbstractFax::SetFaxLog(TVelkFaxLog* log) {
    if (faxLog_ == log)
        return;
    TVelkFaxLog* old = faxLog_;
    faxLog_ = log;
    if (old && old->fax_ == this)
        old->fax_ = nullptr;
    if (log)
        log->SetFax(this);
}

void TVelkCustomAbstractFax::unbindLog(TVelkFaxLog* log) {
    if (faxLog_ == log)
        faxLog_ = nullptr;
}

void TVelkCustomAbstractFax::unbindDisplay(TVelkAbstractFaxStatus* display) {
    if (statusDisplay_ == display)
        statusDisplay_ = nullptr;
}

void TVelkCustomAbstractFax::setOption(std::uint16_t bit, bool on) {
    if (on)
        session_->options = static_cast<std::uint16_t>(session_->options | bit);
    else
        session_->options = static_cast<std::uint16_t>(session_->options & ~bit);
}

FaxHistoryFacts TVelkCustomAbstractFax::HistoryFacts() const {
    FaxHistoryFacts f;
    f.faxFile = FaxFile();
    f.remoteId = progress_.remoteId;
    f.hangupCode = progress_.hangupCode;
    f.lastError = progress_.lastError;
    return f;
}

void TVelkCustomAbstractFax::CheckPort() const {
    using namespace faximage;
    if (!comPort_)
        throw EPortNotAssigned(ec::PortNotAssigned);
    if (comPort_->OutSize() < 8192)
        throw EOutputBufferTooSmall(ec::OutputBufferTooSmall);
}

void TVelkCustomAbstractFax::StartSession() {
    if (!machine_.start) {
        std::string what = session_->role == FaxRole::Transmit ? "fax sending" : "fax receiving";
        throw faximage::EVelkException(ec::NotSupported, what + " is " + kMachineMissingText);
    }
    TVelkBaseDispatcher& port = comPort_->Dispatcher();
    session_->faxClass = faxClass_ == TFaxClass::fcUnknown ? TFaxClass::fcDetect : faxClass_;
    notices_.BindToCurrentThread();
    progress_ = snapshot(*session_);
    busy_ = true;
    // A failed start posts its finish notice, which clears busy when it is handled.
    try {
        machine_.start(*session_, port, *this);
    } catch (...) {
        busy_ = false;
        throw;
    }
}

int TVelkCustomAbstractFax::SupportedFaxClasses() {
    if (busy_)
        return lastClasses_;
    CheckPort();
    session_->port = &comPort_->Dispatcher();
    session_->portOpenSerial = session_->port->OpenSerial();
    lastClasses_ = session_->QuerySupportedClasses();
    return lastClasses_;
}

void TVelkCustomAbstractFax::AbortFax() {
    if (busy_ && machine_.abort)
        machine_.abort(*session_);
}

FaxProgress TVelkCustomAbstractFax::snapshot(const FaxSession& s) const {
    faxengine::FaxProgress p;
    p.faxStatus = s.faxStatus;
    p.lastError = s.lastError;
    p.remoteId = s.remoteId;
    p.currentPage = s.currentPage;
    p.pageCount = s.pageCount;
    p.coverCount = s.coverCount;
    p.pageBytes = s.pageBytes;
    p.pageLength = s.pageLength;
    p.hangupCode = s.hangupCode;
    p.bps = s.bps;
    p.fine = s.fine;
    p.wide = s.wide;
    p.ecm = s.ecmInUse;
    p.dialAttempt = s.dialAttempt;
    p.supportedClasses = lastClasses_;
    p.faxFile = s.faxFileName;
    return p;
}

namespace {
std::optional<FaxNoticeKind> kindOf(std::uint16_t msg) {
    switch (msg) {
    case faxmsg::Status:
        return FaxNoticeKind::Status;
    case faxmsg::Log:
        return FaxNoticeKind::Log;
    case faxmsg::Error:
        return FaxNoticeKind::Error;
    case faxmsg::Finish:
        return FaxNoticeKind::Finish;
    case faxmsg::Accept:
        return FaxNoticeKind::Accept;
    case faxmsg::FileName:
        return FaxNoticeKind::FileName;
    case faxmsg::NextFax:
        return FaxNoticeKind::NextFax;
    default:
        return std::nullopt;
    }
}
} // namespace

std::optional<std::int32_t> TVelkCustomAbstractFax::SendNotice(std::uint16_t msg, FaxSession& session,
                                                              std::int32_t param,
                                                              std::chrono::milliseconds timeout) {
    auto kind = kindOf(msg);
    if (!kind)
        return std::nullopt;
    FaxNotice n{*kind, param, snapshot(session)};
    FaxNoticeAnswer answer;
    if (*kind == FaxNoticeKind::FileName)
        answer.fileName = session.faxFileName;
    if (!notices_.send(n, answer, timeout))
        return std::nullopt;
    return ApplyAnswer(*kind, answer);
}

void TVelkCustomAbstractFax::PostNotice(std::uint16_t msg, FaxSession& session, std::int32_t param) {
    if (auto kind = kindOf(msg))
        notices_.post(FaxNotice{*kind, param, snapshot(session)});
}

std::int32_t TVelkCustomAbstractFax::ApplyAnswer(FaxNoticeKind kind, const FaxNoticeAnswer& answer) {
    switch (kind) {
    case FaxNoticeKind::Accept:
        return answer.accept ? 1 : 0;
    case FaxNoticeKind::FileName:
        session_->faxFileName = answer.fileName;
        return 1;
    case FaxNoticeKind::NextFax:
        if (answer.haveFax) {
            session_->phoneNumber = answer.phoneNumber;
            session_->faxFileName = answer.faxFile;
            session_->coverFileName = answer.coverFile;
        }
        return answer.haveFax ? 1 : 0;
    case FaxNoticeKind::Status:
    case FaxNoticeKind::Log:
    case FaxNoticeKind::Error:
    case FaxNoticeKind::Finish:
        return 0;
    }
    return 0;
}

void TVelkCustomAbstractFax::handle(const FaxNotice& n, FaxNoticeAnswer& answer) {
    progress_ = n.progress;
    switch (n.kind) {
    case FaxNoticeKind::Status:
        FaxStatusNotice(n.param == 1, n.param == 2);
        return;
    case FaxNoticeKind::Log: {
        TFaxLogCode code;
        if (faxLogCodeFrom(n.param, code))
            FaxLogNotice(code);
        return;
    }
    case FaxNoticeKind::Error:
        FaxErrorNotice(n.param);
        return;
    case FaxNoticeKind::Finish:
        busy_ = false;
        if (machine_.finished)
            machine_.finished(*session_);
        FaxFinishNotice(n.param);
        return;
    case FaxNoticeKind::Accept:
    case FaxNoticeKind::NextFax:
        FaxNextOrAcceptNotice(answer);
        return;
    case FaxNoticeKind::FileName:
        FaxNameNotice(answer);
        return;
    }
}

void TVelkCustomAbstractFax::FaxStatusNotice(bool first, bool last) {
    if (statusDisplay_)
        statusDisplay_->UpdateDisplay(first, last);
    if (OnFaxStatus)
        OnFaxStatus(*this, first, last);
}

void TVelkCustomAbstractFax::FaxLogNotice(TFaxLogCode code) {
    if (faxLog_)
        faxLog_->WriteLogEntry(code);
    if (OnFaxLog)
        OnFaxLog(*this, code);
    if (code == TFaxLogCode::lfaxReceiveOk || code == TFaxLogCode::lfaxReceiveSkip ||
        code == TFaxLogCode::lfaxReceiveFail)
        SetFaxFile("");
}

void TVelkCustomAbstractFax::FaxErrorNotice(int errorCode) {
    if (OnFaxError)
        OnFaxError(*this, errorCode);
}

void TVelkCustomAbstractFax::FaxFinishNotice(int errorCode) {
    if (OnFaxFinish)
        OnFaxFinish(*this, errorCode);
}

void TVelkCustomAbstractFax::FaxNameNotice(FaxNoticeAnswer&) {}

} // namespace faxengine
