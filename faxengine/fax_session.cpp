#include "faxengine/fax_session.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace faxengine {

std::string_view to_string(FaxRole r) {
    switch (r) {
    case FaxRole::Transmit: return "Transmit";
    case FaxRole::Receive: return "Receive";
    }
    return "?";
}

std::string_view to_string(OkResult r) {
    switch (r) {
    case OkResult::Failed: return "Failed";
    case OkResult::Ok: return "Ok";
    case OkResult::OtherLine: return "OtherLine";
    }
    return "?";
}

std::string_view to_string(ReaderEvent e) {
    switch (e) {
    case ReaderEvent::None: return "None";
    case ReaderEvent::Line: return "Line";
    case ReaderEvent::Frame: return "Frame";
    }
    return "?";
}

bool PairMatcher::Feed(std::uint8_t b) {
    if (matched == 1 && b == second) {
        matched = 0;
        return true;
    }
    matched = (b == first) ? 1 : 0;
    return false;
}

FaxSession::FaxSession(FaxRole r) : role(r) {
    if (role == FaxRole::Transmit) {
        safeMode = true;
        sameParams = true;
        resendLimit = 2;
        maxSendCount = 50;
        bufferMinimum = 1000;
        dialAttempts = 3;
    } else {
        lastByte = 255;
    }
    localSupport[1] = localSupport[2] = true;
    delay = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
    pumpWait = [this](std::int32_t ticks) { delay(kTickLength * ticks); };
}

FaxSession::~FaxSession() {
    if (port)
        Stop();
}

std::string FaxSession::NormaliseModemInit(std::string_view text) {
    std::string s(text.substr(0, 40));
    if (s.empty())
        return s;
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (s.rfind("AT", 0) != 0)
        s = ("AT" + s).substr(0, 40);
    return s;
}

void FaxSession::SetModemInit(std::string_view text) { modemInit = NormaliseModemInit(text); }

std::string_view FaxSession::DefaultInitFor(bool blind, bool busy) {
    if (blind)
        return busy ? "ATE0Q0V1X3S0=0S2=43" : "ATE0Q0V1X1S0=0S2=43";
    return busy ? "ATE0Q0V1X4S0=0S2=43" : "ATE0Q0V1X2S0=0S2=43";
}

void FaxSession::SetBlindDial(bool on) {
    blindDial = on;
    defaultInit = DefaultInitFor(blindDial, detectBusy);
}

void FaxSession::SetDetectBusy(bool on) {
    detectBusy = on;
    defaultInit = DefaultInitFor(blindDial, detectBusy);
}

void FaxSession::SetInitBaud(int baud, int normal) {
    initBaud = baud;
    if (!port || !port->IsOpen() || baud == 0) {
        normalBaud = normal;
        atInitBaud = false;
        return;
    }
    normalBaud = normal != 0 ? normal : port->GetLine().baud;
    port->SetBaud(initBaud);
    atInitBaud = true;
}

// ---- lifecycle ----------------------------------------------------------------------------

int FaxSession::Start(TVelkBaseDispatcher& p, FaxNoticeSink* sink, const InitProc& init,
                      TriggerHandler stateProc) {
    port = &p;
    portOpenSerial = p.OpenSerial();
    owner = sink;
    lastError = 0;
    p.SetDataAvailThreshold(1);
    timeoutTrigger = p.AddTimerTrigger();
    statusTrigger = p.AddTimerTrigger();
    outFreeTrigger = p.AddStatusTrigger(static_cast<int>(StatusTriggerType::OutBuffFree));
    outUsedTrigger = p.AddStatusTrigger(static_cast<int>(StatusTriggerType::OutBuffUsed));
    modemStatusTrigger = p.AddStatusTrigger(static_cast<int>(StatusTriggerType::ModemStatus));
    if (timeoutTrigger < 0 || statusTrigger < 0 || outFreeTrigger < 0 || outUsedTrigger < 0 ||
        modemStatusTrigger < 0) {
        lastError = ec::NoMoreTriggers;
        Finish();
        return lastError;
    }
    const int rc = init ? init(*this) : 0;
    if (rc != 0 && lastError == 0)
        lastError = rc;
    if (lastError != 0) {
        SendStatus(false, true);
        Finish();
        return lastError;
    }
    procId_ = p.RegisterProcHandler(stateProc);
    if (stateProc)
        stateProc(0, 0, static_cast<std::uint32_t>(p.Handle()) << 16);
    ArmStatusTimer();
    return 0;
}

void FaxSession::Stop() {
    if (!port)
        return;
    for (int* t : {&timeoutTrigger, &statusTrigger, &outFreeTrigger, &outUsedTrigger,
                   &modemStatusTrigger}) {
        if (*t >= 0)
            port->RemoveTrigger(static_cast<std::uint16_t>(*t));
        *t = -1;
    }
    if (procId_ >= 0)
        port->DeregisterProcHandler(procId_);
    procId_ = -1;
    sessionActive = false;
}

void FaxSession::Finish() {
    Stop();
    if (owner)
        owner->PostNotice(faxmsg::Finish, *this, lastError);
}

void FaxSession::ReportError(int code) {
    lastError = code;
    Notify(faxmsg::Error, code);
}

std::optional<std::int32_t> FaxSession::Notify(std::uint16_t msg, std::int32_t param) {
    if (!owner)
        return std::nullopt;
    return owner->SendNotice(msg, *this, param, kNoticeTimeout);
}

void FaxSession::SendStatus(bool first, bool last) {
    Notify(faxmsg::Status, first ? 1 : (last ? 2 : 0));
}

void FaxSession::ArmStatusTimer() {
    if (port && statusTrigger >= 0)
        port->SetTimerTrigger(static_cast<std::uint16_t>(statusTrigger),
                              secsToTicks(statusInterval), true);
}

void FaxSession::ArmTimeout(std::int32_t ticks) {
    if (port && timeoutTrigger >= 0)
        port->SetTimerTrigger(static_cast<std::uint16_t>(timeoutTrigger), ticks, true);
}

void FaxSession::DisarmTimeout() {
    if (port && timeoutTrigger >= 0)
        port->SetTimerTrigger(static_cast<std::uint16_t>(timeoutTrigger), 0, false);
}

} // namespace faxengine
