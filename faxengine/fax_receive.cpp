#include "faxengine/fax_receive.h"

#include "faxengine/modem_response.h"
#include "faxengine/t30_params.h"
#include "faxengine/engine_errors.h"

#include <algorithm>

namespace faxengine {

using namespace std::chrono_literals;
using RS = ReceiveState;

namespace {

constexpr std::string_view kDC2 = "\x12"; // asks a Class 2 modem for the page data

} // namespace

std::string_view to_string(ReceiveEvent e) {
    switch (e) {
    case ReceiveEvent::Data:
        return "Data";
    case ReceiveEvent::Timeout:
        return "Timeout";
    case ReceiveEvent::StatusTimer:
        return "StatusTimer";
    case ReceiveEvent::UserAbort:
        return "UserAbort";
    }
    return "?";
}

FaxReceiver::FaxReceiver(ReceiveLink& link, ReceiveOwner owner, ReceiveOptions options)
    : link_(link), owner_(std::move(owner)), opt_(std::move(options)),
      class2_(class2CommandsFor(opt_.faxClass)) {
    // The highest index the modem receives whose speed is not above DesiredBPS.
    modIndex_ = std::clamp(opt_.modemIndex, 1, 6);
    while (modIndex_ > 1 && kModulationBps[static_cast<std::size_t>(modIndex_)] > opt_.desiredBps)
        --modIndex_;
}

void FaxReceiver::Start() {
    lastError_ = 0;
    faxStatus_ = 0;
    goTo(RS::rfInit);
    run(ReceiveEvent::Data);
}

void FaxReceiver::Handle(ReceiveEvent ev) {
    // rfAbort hangs up with waits; calls that arrive meanwhile must not act.
    if (state_ == RS::rfAbort || state_ == RS::rfDone || state_ == RS::rfNone)
        return;
    switch (ev) {
    case ReceiveEvent::UserAbort:
        userAbort_ = true;
        setStatus(rxstatus::Aborting);
        lastError_ = ec::CancelRequested;
        goTo(RS::rfAbort);
        statusEvent(false, false);
        run(ReceiveEvent::Data);
        return;
    case ReceiveEvent::StatusTimer:
        statusEvent(false, false);
        return;
    case ReceiveEvent::Data:
    case ReceiveEvent::Timeout:
        run(ev);
        return;
    }
}

void FaxReceiver::PortLost(int code) {
    if (state_ == RS::rfAbort || state_ == RS::rfDone || state_ == RS::rfNone)
        return;
    portLost_ = true;
    fail(code, RS::rfAbort);
    run(ReceiveEvent::Data);
}

void FaxReceiver::run(ReceiveEvent ev) {
    for (;;) {
        link_.LogState(state_);
        // The answer arrived with the timeout: read it. Should it not settle the state, the
        // timeout is taken when a short grace runs out.
        if (ev == ReceiveEvent::Timeout && readsResponses(state_) && link_.InputWaiting()) {
            link_.ArmTimeout(kLateAnswerGrace);
            ev = ReceiveEvent::Data;
        }
        if (readsResponses(state_)) {
            if (ev == ReceiveEvent::Timeout) {
                onTimeout();
            } else {
                const ReadResult r = readResponse();
                if (r == ReadResult::None)
                    return;
                if (r == ReadResult::Line)
                    step();
            }
        } else if (ev == ReceiveEvent::Timeout) {
            // Training check and page data stop arriving: the call is gone.
            if (state_ == RS::rf1CollTrn || state_ == RS::rfGtPgDta)
                fail(ec::TimeOut);
            else if (state_ == RS::rf1CollRtry1 || state_ == RS::rf1CollRtry2)
                step();
            else
                return;
        } else {
            step();
        }
        switch (runAfter(state_)) {
        case ReceiveRun::Again:
            break;
        case ReceiveRun::WhileData:
            if (!link_.InputWaiting())
                return;
            break;
        case ReceiveRun::Return:
            return;
        }
        ev = ReceiveEvent::Data;
    }
}

FaxReceiver::ReadResult FaxReceiver::readResponse() {
    for (;;) {
        const ReaderEvent e = link_.ReadResponse();
        if (e == ReaderEvent::None)
            return ReadResult::None;
        if (e == ReaderEvent::Frame) {
            if (!isClass1())
                continue;
            return onFrame();
        }
        // The modem echoing our command is no response.
        if (link_.Response() == lastCommand_)
            continue;
        line_ = link_.Response();
        if (has("ERROR") && state_ != RS::rf2GtPgRslt) {
            fail(ec::FaxBadModemResult);
            return ReadResult::Moved;
        }
        if (!isClass1() && state_ != RS::rf2GetFHNG && has(class2_.hangupReport)) {
            hangupCode_ = numericReportValue(line_);
            fail(ec::FaxSessionError);
            return ReadResult::Moved;
        }
        return ReadResult::Line;
    }
}

FaxReceiver::ReadResult FaxReceiver::onFrame() {
    const CallerFrame f = link_.ParseFrame();
    if (!f.whole)
        return ReadResult::Frame;
    lastFinal_ = f.final;
    lastFcf_ = f.fcf;
    if (f.remoteId) {
        remoteId_ = *f.remoteId;
        setStatus(rxstatus::RemoteId);
    }
    if (f.params) {
        applyParams(*f.params);
        setStatus(rxstatus::SessionParams);
    }
    if (f.retrain) {
        link_.Pause(faxtime::ResponseTurnDelay);
        sendClass1("AT+FRH=3");
        goTo(RS::rf1CollFrms);
        return ReadResult::Moved;
    }
    if (f.dcn && state_ != RS::rf1WaitDCN) {
        fail(ec::CancelRequested);
        return ReadResult::Moved;
    }
    return ReadResult::Frame;
}

void FaxReceiver::applyParams(const ReceiveParams& p) {
    bps_ = p.bps;
    fine_ = p.fine;
    wide_ = p.wide;
    trainingCode_ = p.trainingCode;
    pageCode_ = p.pageCode;
}

void FaxReceiver::onTimeout() {
    switch (state_) {
    case RS::rf1SendCSI:
        if (retries_ > 0)
            goTo(RS::rf1CollRtry1);
        else
            fail(ec::TimeOut);
        return;
    case RS::rf1CollFrms:
        goTo(RS::rf1CollRtry1);
        return;
    case RS::rf1WaitDCN:
        goTo(RS::rfComplete);
        return;
    default:
        fail(ec::TimeOut);
        return;
    }
}

void FaxReceiver::step() {
    if (const StepFn run = rowOf(state_).step)
        run(*this);
}

// ---- states ---------------------------------------------------------------------------

void FaxReceiver::doInit() {
    rings_ = 0;
    retries_ = 0;
    remoteId_.clear();
    currentPage_ = 0;
    fileName_.clear();
    fileState_ = 3;
    userAbort_ = false;
    lastFinal_ = false;
    morePages_ = false;
    eom_ = false;
    if (opt_.constantStatus && !statusShown_)
        statusEvent(true, false);
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(false, 0, 0);
    link_.SetDtrRts(true);
    sendCommand(isClass1() ? "AT+FCLASS=1" : class2_.classCommand);
    goTo(isClass1() ? RS::rf1Init1 : RS::rf2Init1);
}

void FaxReceiver::doInitReply() {
    if (!has("OK"))
        return fail(ec::FaxInitError);
    switch (state_) {
    case RS::rf1Init1:
    case RS::rf2Init3:
        if (state_ == RS::rf1Init1)
            link_.SessionSpeed();
        link_.DisarmTimeout();
        setStatus(rxstatus::Waiting);
        goTo(RS::rfWaiting);
        return;
    case RS::rf2Init1: {
        link_.SessionSpeed();
        std::string cmd = class2_.capabilities + "=1,";
        cmd += brSpeedCode(opt_.desiredBps);
        cmd += ",0,2,0,";
        cmd += opt_.ecChar;
        cmd += ",0,0";
        sendCommand(cmd);
        goTo(opt_.faxClass == FaxClass::fcClass2_0 ? RS::rf2Init1A : RS::rf2Init3);
        return;
    }
    case RS::rf2Init1A:
        sendCommand("AT+FLO=2");
        goTo(RS::rf2Init1B);
        return;
    case RS::rf2Init1B:
        sendCommand("AT+FNR=1,1,1,0");
        goTo(RS::rf2Init3);
        return;
    default:
        return;
    }
}

void FaxReceiver::doWaiting() {
    if (has("RING")) {
        if (++rings_ >= opt_.answerOnRing) {
            fileState_ = 3;
            if (!statusShown_)
                statusEvent(true, false);
            link_.ArmTimeout(kResponseTimeout);
            goTo(RS::rfAnswer);
        }
        line_.clear();
    } else if (has("NO C")) {
        setStatus(rxstatus::NoCarrier);
    } else if (has("CONNECT")) {
        fail(ec::FaxDataCall);
    } else if (has("VOICE") || has("VCON")) {
        fail(ec::FaxVoiceCall);
    } else {
        line_.clear(); // nothing arms a timer while the line is idle
    }
}

void FaxReceiver::doAnswer() {
    statusShown_ = true;
    sendCommand("ATA");
    resetReader(opt_.answerWait);
    setStatus(rxstatus::Answering);
    goTo(isClass1() ? RS::rf1SendCSI : RS::rf2ValCnnct);
}

void FaxReceiver::doSendCSI() {
    if (!has("CONNECT"))
        return unexpected();
    link_.SendCsiFrame(opt_.stationId);
    goTo(RS::rf1SendDIS);
}

void FaxReceiver::doSendDIS() {
    if (has("CONNECT")) {
        link_.SendDisFrame(modIndex_);
    } else if (has("OK")) {
        link_.Pause(faxtime::ResponseTurnDelay);
        link_.Pause(faxtime::ResponseTurnDelay);
        sendClass1("AT+FRH=3");
        link_.ArmTimeout(kT4);
        goTo(RS::rf1CollFrms);
    } else {
        unexpected();
    }
}

void FaxReceiver::doCollFrms() {
    if (has("CONNECT"))
        return;
    if (!has("OK"))
        return unexpected();
    if (lastFinal_) {
        if (opt_.softwareFlow)
            link_.SetSoftwareFlow(true, kFlowOff, kFlowOn);
        sendClass1("AT+FRM=" + trainingCode_);
        readerDeadline_ = link_.Now() + kResponseTimeout;
        goTo(RS::rf1StrtTrn);
    } else {
        sendClass1("AT+FRH=3");
    }
}

void FaxReceiver::doCollRtry1() {
    if (++retries_ > kMaxFrameRetries)
        return fail(ec::TimeOut);
    sendCommand("AT");
    goTo(RS::rf1CollRtry2);
}

void FaxReceiver::doCollRtry2() {
    sendClass1("AT+FTH=3");
    goTo(RS::rf1SendCSI);
}

void FaxReceiver::doStrtTrn() {
    if (!has("CONNECT"))
        return unexpected();
    trainTotal_ = 0;
    trainErrors_ = 0;
    trainDle_ = false;
    readerDeadline_ = link_.Now() + kResponseTimeout;
    goTo(RS::rf1CollTrn);
}

void FaxReceiver::doCollTrn() {
    std::uint8_t b = 0;
    while (link_.GetByte(b)) {
        if (trainDle_) {
            trainDle_ = false;
            if (b != kETX)
                continue; // the byte after a DLE is not counted
            // An empty check (the carrier dropped at once) is no proof of training.
            const bool good =
                trainTotal_ > 0 && trainErrors_ * 100 / trainTotal_ < kBadTrainingPercent;
            if (good) {
                goTo(RS::rf1FinTrn);
            } else {
                sendClass1("AT+FTH=3");
                goTo(RS::rf1Retrain);
            }
            return;
        }
        ++trainTotal_;
        if (b != 0)
            ++trainErrors_;
        if (b == kDLE)
            trainDle_ = true;
    }
    if (link_.Now() >= readerDeadline_)
        fail(ec::TimeOut);
}

void FaxReceiver::doRetrain() {
    if (has("CONNECT")) {
        link_.SendFcfFrame(fcf::FTT, true);
        if (trainingCode_ == "24")
            fail(ec::FaxTrainError);
    } else if (has("OK")) {
        sendClass1("AT+FRH=3");
        goTo(RS::rf1CollFrms);
    } else {
        unexpected();
    }
}

void FaxReceiver::doFinTrn() {
    if (!has("RRIER"))
        return unexpected();
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(false, 0, 0);
    link_.Pause(faxtime::FrameStartDelay);
    sendClass1("AT+FTH=3");
    goTo(RS::rf1SendCFR);
}

void FaxReceiver::doSendCFR() {
    if (has("CONNECT")) {
        if (opt_.softwareFlow)
            link_.SetSoftwareFlow(true, kFlowOff, kFlowOn);
        link_.SendFcfFrame(fcf::CFR, true);
    } else if (has("OK")) {
        sendClass1("AT+FRM=" + pageCode_);
        if (acceptRule())
            goTo(RS::rf1WtPgCnnct);
    } else {
        unexpected();
    }
}

void FaxReceiver::doWtPgCnnct() {
    if (!has("CONNECT"))
        return unexpected();
    setStatus(rxstatus::SessionParams);
    goTo(RS::rfStartPage);
}

void FaxReceiver::doValCnnct() {
    if (!has(class2_.connectReport))
        return unexpected();
    link_.ArmTimeout(kResponseTimeout);
    setStatus(rxstatus::Connected);
    goTo(RS::rf2GtSndID);
}

void FaxReceiver::onSessionReport() {
    link_.ArmTimeout(kResponseTimeout);
    applyParams(link_.ApplySessionReport(line_));
    setStatus(rxstatus::SessionParams);
}

void FaxReceiver::doGtSndID() {
    if (has(class2_.senderIdReport)) {
        link_.ArmTimeout(kResponseTimeout);
        remoteId_ = cleanStationId(line_).substr(0, 20);
        if (acceptRule())
            setStatus(rxstatus::RemoteId);
    } else if (has(class2_.sessionReport)) {
        onSessionReport();
    } else if (has("OK")) {
        sendCommand("AT+FDR");
        goTo(RS::rf2GtCnnct);
    } else {
        unexpected();
    }
}

void FaxReceiver::doGtCnnct() {
    if (has(class2_.sessionReport)) {
        onSessionReport();
    } else if (has("CONNECT")) {
        if (opt_.softwareFlow)
            link_.SetSoftwareFlow(true, kFlowOff, kFlowOn);
        goTo(RS::rfStartPage);
    } else {
        unexpected();
    }
}

void FaxReceiver::doStartPage() {
    ++currentPage_;
    pageRejected_ = false;
    const std::uint16_t flags = static_cast<std::uint16_t>(
        (fine_ ? faximage::kApfHighResolution : 0) | (wide_ ? faximage::kApfWide : 0));
    if (fileState_ != 2 || !file_.IsOpen()) {
        if (file_.IsOpen()) {
            // The document before this one ended complete (Class 2 EOM).
            const bool hadPages = file_.PageCount() > 0;
            file_.Close();
            if (hadPages)
                logEvent(rxlog::ReceiveOK);
        }
        if (int rc = createRule(); rc != 0)
            return fail(rc);
        logEvent(rxlog::ReceiveStart);
    }
    if (int rc = file_.BeginPage(flags); rc != 0)
        return fail(rc);
    rtc_.Reset();
    lastByte_ = 255;
    link_.ArmTimeout(kPageInactivity);
    if (!isClass1())
        link_.SendRaw(kDC2);
    setStatus(rxstatus::ReceivingPage);
    goTo(RS::rfGtPgDta);
}

void FaxReceiver::doGtPgDta() {
    const bool reverse = opt_.faxClass == FaxClass::fcClass2;
    std::size_t taken = 0;
    std::uint8_t b = 0;
    while (taken < kPageChunk && link_.GetByte(b)) {
        ++taken;
        if (lastByte_ == kDLE) {
            lastByte_ = 255;
            if (b == kETX) {
                setStatus(rxstatus::ReceivingPage);
                if (opt_.softwareFlow)
                    link_.SetSoftwareFlow(false, 0, 0);
                goTo(isClass1() ? RS::rf1FinPage : RS::rf2GtPgRslt);
                return;
            }
        } else if (b == kDLE) {
            lastByte_ = kDLE;
            continue;
        }
        if (rtc_.Found())
            continue; // after the page's end: dropped until DLE ETX
        const std::uint8_t data = reverse ? t30::reverseBits(b) : b;
        const std::uint8_t kept = rtc_.Feed(data).value_or(data);
        if (int rc = file_.Append(kept); rc != 0)
            return fail(rc);
    }
    if (taken < kPageChunk)
        link_.ArmTimeout(kPageInactivity);
}

void FaxReceiver::doFinPage() {
    if (!has("RRIER"))
        return unexpected();
    sendClass1("AT+FRH=3");
    goTo(RS::rf1WaitEOP);
}

void FaxReceiver::doWaitEOP() {
    if (has("CONNECT"))
        return;
    if (!has("OK"))
        return unexpected();
    if (!lastFinal_) {
        sendClass1("AT+FRH=3");
        return;
    }
    lastFinal_ = false;
    const std::uint8_t f = lastFcf_ & static_cast<std::uint8_t>(~fcf::kX);
    if (f == fcf::MPS || f == fcf::EOM) {
        morePages_ = true;
        eom_ = f == fcf::EOM;
    } else if (f == fcf::EOP) {
        morePages_ = false;
        eom_ = false;
    }
    setStatus(rxstatus::PageEnd);
    goTo(RS::rf1WritePage);
}

void FaxReceiver::doWritePage() {
    if (int rc = finishPage(); rc != 0)
        return fail(rc);
    // The answer to the post-page message.
    link_.Pause(faxtime::ResponseTurnDelay - faxtime::Class1TurnDelay);
    sendClass1("AT+FTH=3");
    setStatus(rxstatus::PageStored);
    goTo(RS::rf1SendMCF);
}

void FaxReceiver::doSendMCF() {
    if (has("CONNECT")) {
        if (eom_ && morePages_) {
            link_.SendFcfFrame(fcf::MCF, false);
            goTo(RS::rf1SendCSI);
        } else {
            link_.SendFcfFrame(fcf::MCF, true);
        }
    } else if (has("OK")) {
        if (morePages_ && !eom_) {
            sendClass1("AT+FRM=" + pageCode_);
            fileState_ = 2;
            // The page starts after the modem's CONNECT, so that line never lands in
            // the page data.
            goTo(RS::rf1WtPgCnnct);
        } else if (morePages_) {
            link_.Pause(faxtime::ResponseTurnDelay);
            sendClass1("AT+FTH=3");
            goTo(RS::rf1SendCSI);
        } else {
            link_.Pause(faxtime::ResponseTurnDelay);
            sendClass1("AT+FRH=3");
            file_.Close();
            logEvent(rxlog::ReceiveOK);
            fileName_.clear();
            setStatus(rxstatus::FaxStored);
            goTo(RS::rf1WaitDCN);
        }
    } else {
        unexpected();
    }
}

void FaxReceiver::doWaitDCN() {
    if (has("CONNECT"))
        return;
    if (!has("OK"))
        return unexpected();
    if (lastFinal_) {
        sendCommand("ATH");
        goTo(RS::rf1WtHngp);
    } else {
        sendClass1("AT+FRH=3");
    }
}

void FaxReceiver::doWtHngp() {
    if (!has("OK"))
        return unexpected();
    setStatus(rxstatus::HungUp);
    goTo(RS::rfComplete);
}

void FaxReceiver::doGtPgRslt() {
    if (has(class2_.pageStatusReport)) {
        setStatus(rxstatus::PageEnd);
        const std::string r = cleanReport(line_);
        const char c = r.empty() ? '0' : r.front();
        pageRejected_ = !(c == '1' || c == '3' || c == '5');
        if (!pageRejected_) {
            if (int rc = finishPage(); rc != 0)
                return fail(rc);
        } else {
            discardPage();
        }
    } else if (has("+FET")) {
        setStatus(rxstatus::PageStored);
        const std::string r = cleanReport(line_);
        const char c = r.empty() ? '2' : r.front();
        // A rejected page comes again before whatever its post-page message announced,
        // and into the same file.
        fileState_ = pageRejected_ || c == '0' ? 2 : c == '1' ? 3 : 4;
    } else if (has("ERROR")) {
        discardPage();
        sendCommand("AT+FDR");
        goTo(RS::rf2GtCnnct);
    } else if (has("OK")) {
        sendCommand("AT+FDR");
        if (fileState_ == 4) {
            file_.Close();
            logEvent(rxlog::ReceiveOK);
            fileName_.clear();
            setStatus(rxstatus::FaxStored);
            goTo(RS::rf2GetFHNG);
        } else {
            goTo(RS::rf2GtCnnct);
        }
    } else {
        unexpected();
    }
}

void FaxReceiver::doGetFHNG() {
    if (has(class2_.hangupReport)) {
        hangupCode_ = numericReportValue(line_);
        setStatus(rxstatus::HungUp);
    } else if (has("+FET")) {
        setStatus(rxstatus::FaxStored);
    } else if (has("OK")) {
        goTo(RS::rfComplete);
    } else {
        unexpected();
    }
}

void FaxReceiver::doComplete() {
    link_.DisarmTimeout();
    link_.IdleSpeed();
    if (opt_.oneFax) {
        if ((statusShown_ && !opt_.constantStatus) || userAbort_)
            statusEvent(false, true);
        if (owner_.finish)
            owner_.finish(lastError_);
        goTo(RS::rfDone);
        return;
    }
    if (!opt_.constantStatus)
        statusEvent(false, true);
    goTo(RS::rfInit);
}

void FaxReceiver::doAbort() {
    link_.DisarmTimeout();
    if (file_.IsOpen()) {
        // Keep what arrived; the log says the fax failed.
        if (file_.InPage())
            finishPage();
        file_.Close();
        logEvent(rxlog::ReceiveFailed);
    }
    receiveHangup();
    if ((statusShown_ && !opt_.constantStatus) || userAbort_)
        statusEvent(false, true);
    // One fax asked for: a failed call ends the receiver as a good one does.
    if (opt_.exitOnError || userAbort_ || portLost_ || opt_.oneFax) {
        if (owner_.finish)
            owner_.finish(lastError_);
        goTo(RS::rfDone);
    } else {
        goTo(RS::rfInit);
    }
}

void FaxReceiver::unexpected() {
    line_.clear();
}

// ---- shared rules ---------------------------------------------------------------------

bool FaxReceiver::acceptRule() {
    const bool accepted = owner_.accept ? owner_.accept(remoteId_) : true;
    if (accepted) {
        if (fileState_ == 3) {
            if (int rc = createRule(); rc != 0) {
                fail(rc);
                return false;
            }
            logEvent(rxlog::ReceiveStart);
            fileState_ = 2;
        }
        return true;
    }
    if (!isClass1())
        link_.SendRaw("AT+FKS\r");
    lastError_ = ec::FileRejected;
    if (owner_.error)
        owner_.error(ec::FileRejected);
    receiveHangup();
    logEvent(rxlog::ReceiveRefused);
    goTo(RS::rfAbort);
    return false;
}

int FaxReceiver::createRule() {
    std::string name = owner_.fileName ? owner_.fileName() : std::string();
    if (name.empty())
        return ec::NoFilename;
    fileName_ = name;
    return file_.Create(name, remoteId_);
}

int FaxReceiver::finishPage() {
    return file_.EndPage(remoteId_);
}

void FaxReceiver::discardPage() {
    file_.DiscardPage();
    // The page comes again under the same number.
    if (currentPage_ > 0)
        --currentPage_;
}

// ---- command layer --------------------------------------------------------------------

void FaxReceiver::sendCommand(std::string_view s) {
    link_.SendCommand(s);
    lastCommand_ = s;
    resetReader(kResponseTimeout);
}

void FaxReceiver::sendClass1(std::string_view s) {
    link_.SendClass1Command(s);
    lastCommand_ = s;
    resetReader(kResponseTimeout);
}

// The session's command reset the reader and armed the timeout for the response time;
// a longer wait (the answer) is armed on top.
void FaxReceiver::resetReader(ms timeout) {
    line_.clear();
    if (timeout != kResponseTimeout)
        link_.ArmTimeout(timeout);
    readerDeadline_ = link_.Now() + timeout;
}

void FaxReceiver::receiveHangup() {
    link_.ReceiveHangup();
    line_.clear();
}

// ---- helpers --------------------------------------------------------------------------

void FaxReceiver::goTo(ReceiveState s) {
    state_ = s;
}

void FaxReceiver::fail(int code, ReceiveState next) {
    lastError_ = code;
    if (owner_.error)
        owner_.error(code);
    goTo(next);
}

void FaxReceiver::statusEvent(bool first, bool last) {
    if (first)
        statusShown_ = true;
    if (last)
        statusShown_ = false;
    if (owner_.status)
        owner_.status(first, last);
}

void FaxReceiver::logEvent(int code) {
    if (owner_.log)
        owner_.log(code);
}

} // namespace faxengine
