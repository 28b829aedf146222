// AT command exchange, the response reader, class detection, initialisation, the Class 1
// capability query, hang-up and port speed.
#include "faxengine/fax_session.h"

#include "faxengine/engine_errors.h"

namespace faxengine {

namespace {
// Holds off trigger dispatching for a synchronous exchange; restores it when done.
class DispatchHold {
public:
    explicit DispatchHold(TVelkBaseDispatcher& p) : p_(p), was_(p.SetDispatchingNow(true)) {}
    ~DispatchHold() { p_.SetDispatchingNow(was_); }
    DispatchHold(const DispatchHold&) = delete;
    DispatchHold& operator=(const DispatchHold&) = delete;

private:
    TVelkBaseDispatcher& p_;
    bool was_;
};

bool contains(std::string_view s, std::string_view what) {
    return !what.empty() && s.find(what) != std::string_view::npos;
}
} // namespace

void FaxSession::SendCommand(std::string_view s) {
    delay(faxtime::CommandPreDelay);
    port->PutString(s);
    port->PutChar('\r');
    ResetReader();
}

void FaxSession::SendClass1Command(std::string_view s) {
    delay(faxtime::Class1TurnDelay);
    port->PutString(s);
    port->PutChar('\r');
    ResetReader();
}

void FaxSession::SendRaw(std::string_view s) { port->PutString(s); }

void FaxSession::ResetReader() {
    response.clear();
    responseComplete_ = false;
    lineMatcher.Reset();
    frameMatcher.Reset();
    ArmTimeout(responseTicks);
    if (port)
        readerTimer = newTimer(port->Clock(), responseTicks);
}

ReaderEvent FaxSession::FeedByte(std::uint8_t b) {
    // The line or frame handed over last is done with: the next byte starts a new one, so
    // tests on the buffer never see an old answer glued to a new one.
    if (responseComplete_) {
        responseComplete_ = false;
        response.clear();
        lineMatcher.Reset();
        frameMatcher.Reset();
    }
    // A frame (starting with the HDLC address) is collected up to DLE ETX; a doubled DLE
    // inside it is one data byte. CR LF inside frame data does not end it.
    const bool inFrame = !response.empty() && static_cast<std::uint8_t>(response[0]) == 0xFF;
    if (frameMatcher.matched == 1) {
        frameMatcher.matched = 0;
        if (b == kETX) {
            if (response.size() < kResponseCapacity)
                response.push_back(static_cast<char>(b));
            lineMatcher.Reset();
            responseComplete_ = true;
            return ReaderEvent::Frame;
        }
        if (b == kDLE) // stuffed DLE: keep the one already stored
            return ReaderEvent::None;
    } else if (b == kDLE) {
        frameMatcher.matched = 1;
    }
    if (response.size() < kResponseCapacity)
        response.push_back(static_cast<char>(b));
    if (lineMatcher.Feed(b) && !inFrame) {
        std::string_view line = trimView(response);
        if (line.empty()) {
            response.clear();
            return ReaderEvent::None;
        }
        response = std::string(line);
        responseComplete_ = true;
        return ReaderEvent::Line;
    }
    return ReaderEvent::None;
}

ReaderEvent FaxSession::ReadResponse() {
    std::uint8_t c = 0;
    while (port->GetChar(c) == 0) {
        const ReaderEvent e = FeedByte(c);
        if (e != ReaderEvent::None)
            return e;
    }
    return ReaderEvent::None;
}

bool FaxSession::ResponseHas(std::string_view s) const { return contains(response, s); }

OkResult FaxSession::CommandWithOK(std::string_view cmd, std::string* answer) {
    DispatchHold hold(*port);
    port->FlushInBuffer();
    SendCommand(cmd);
    OkResult result = OkResult::Failed;
    bool gotOther = false;
    const auto& clock = port->Clock();
    while (!timerExpired(readerTimer, clock)) {
        if (!port->WaitForInput(1, std::chrono::milliseconds(50)))
            continue;
        std::uint8_t c = 0;
        if (port->GetChar(c) != 0)
            continue;
        if (FeedByte(c) != ReaderEvent::Line)
            continue;
        std::string line = response;
        response.clear();
        if (line == cmd)
            continue; // echo
        if (contains(line, "ERROR") && !gotOther)
            break;
        if (contains(line, "OK")) {
            result = OkResult::Ok;
            break;
        }
        if (gotOther) {
            result = OkResult::OtherLine;
            break;
        }
        gotOther = true;
        if (answer)
            *answer = line;
    }
    // What is left of the answer goes: the state machines start from a clean input.
    port->FlushInBuffer();
    response.clear();
    lineMatcher.Reset();
    frameMatcher.Reset();
    return result;
}

// ---- classes ------------------------------------------------------------------------------

namespace {
struct ClassSupport {
    bool c1 = false, c2 = false, c20 = false;
};
ClassSupport parseClassList(std::string_view cleaned) {
    ClassSupport s;
    s.c1 = contains(cleaned, "1");
    s.c20 = contains(cleaned, "2.0");
    s.c2 = s.c20 ? contains(cleaned, "2,") : contains(cleaned, "2");
    return s;
}
} // namespace

int FaxSession::QuerySupportedClasses() {
    std::string ans;
    if (CommandWithOK("AT+FCLASS=?", &ans) == OkResult::Failed)
        return 0;
    const ClassSupport s = parseClassList(cleanReport(ans));
    return (s.c1 ? 4 : 0) | (s.c2 ? 8 : 0) | (s.c20 ? 16 : 0);
}

int FaxSession::DetectClass() {
    if (faxClass == FaxClass::fcUnknown)
        faxClass = FaxClass::fcDetect;
    if (faxClass != FaxClass::fcDetect)
        return 0;
    OkResult r = CommandWithOK(defaultInit);
    if (r == OkResult::OtherLine)
        r = CommandWithOK(defaultInit);
    ClassSupport s;
    if (r != OkResult::Failed) {
        std::string ans;
        if (CommandWithOK("AT+FCLASS=?", &ans) != OkResult::Failed)
            s = parseClassList(cleanReport(ans));
    }
    if (s.c20)
        faxClass = FaxClass::fcClass2_0;
    else if (s.c2)
        faxClass = FaxClass::fcClass2;
    else if (s.c1)
        faxClass = FaxClass::fcClass1;
    else {
        faxClass = FaxClass::fcUnknown;
        return ec::FaxBadModemResult;
    }
    return 0;
}

// ---- initialisation -----------------------------------------------------------------------

namespace {
constexpr int kBadModem = ec::FaxBadModemResult;
}

int FaxSession::InitTransmit(std::uint8_t getEntryState) {
    resolution = '0';
    prevResolution = ' ';
    if (int rc = PrepareConverter(converterEnhanced); rc != 0)
        return lastError = rc;
    fileHeader = {};
    state = getEntryState;
    faxStatus = 1;
    lastError = 0;
    SendStatus(true, false);
    dialAttempt = 0;
    resendCount = 0;
    postPageRetry = 0;
    currentPage = 0;
    pageBytes = 0;
    if (initBaud == 0)
        port->SetBaud(19200);
    port->SetDTR(true);
    port->SetRTS(true);
    if (DetectClass() != 0)
        return lastError = kBadModem;
    if (!modemInitialised || initialisedOnOpen != port->OpenSerial()) {
        if (!modemInit.empty() && CommandWithOK(modemInit) == OkResult::Failed)
            return lastError = kBadModem;
        if (CommandWithOK(defaultInit) == OkResult::Failed)
            return lastError = kBadModem;
        modemInitialised = true;
        initialisedOnOpen = port->OpenSerial();
    }
    if (faxClass == FaxClass::fcClass2 || faxClass == FaxClass::fcClass2_0)
        BuildClass2Table();
    SwitchToSessionSpeed();
    if (faxClass == FaxClass::fcClass1 && Class1CapabilityQuery(true) != 0)
        return lastError = kBadModem;
    sessionActive = true;
    return 0;
}

int FaxSession::InitReceive() {
    state = initialState;
    lastError = 0;
    faxStatus = 0;
    if (DetectClass() != 0)
        return lastError = kBadModem;
    const bool isClass2 = faxClass == FaxClass::fcClass2 || faxClass == FaxClass::fcClass2_0;
    if (isClass2)
        BuildClass2Table();
    if (!modemInitialised || initialisedOnOpen != port->OpenSerial()) {
        if (!modemInit.empty() && CommandWithOK(modemInit) == OkResult::Failed)
            return lastError = kBadModem;
        if (CommandWithOK(defaultInit) == OkResult::Failed)
            return lastError = kBadModem;
        modemInitialised = true;
        initialisedOnOpen = port->OpenSerial();
    }
    if (faxClass == FaxClass::fcClass1) {
        if (CommandWithOK("AT+FCLASS=1") == OkResult::Failed)
            return lastError = kBadModem;
        SwitchToSessionSpeed();
        if (Class1CapabilityQuery(false) != 0)
            return lastError = kBadModem;
        while (modulation > 1 && kModulationBps[modulation] > desiredBps)
            --modulation;
        bps = kModulationBps[modulation];
    } else if (isClass2) {
        if (CommandWithOK(class2.classCommand) == OkResult::Failed)
            return lastError = kBadModem;
        SwitchToSessionSpeed();
        const std::string lid = class2.localId + "=\"" + stationId + "\"";
        const std::string faa = std::string("AT+FAA=") + faxAndDataChar;
        for (const std::string& cmd : {std::string("AT+FCR=1"), lid, faa})
            if (CommandWithOK(cmd) == OkResult::Failed)
                return lastError = kBadModem;
    }
    sessionActive = true;
    return 0;
}

int FaxSession::Class1CapabilityQuery(bool transmit) {
    if (CommandWithOK("AT+FCLASS=1") == OkResult::Failed)
        return kBadModem;
    localSupport.fill(false);
    localSupport[1] = localSupport[2] = true;
    DispatchHold hold(*port);
    port->FlushInBuffer();
    SendCommand(transmit ? "AT+FTM=?" : "AT+FRM=?");
    const auto& clock = port->Clock();
    bool first = true;
    while (!timerExpired(readerTimer, clock)) {
        if (!port->WaitForInput(1, std::chrono::milliseconds(50)))
            continue;
        std::uint8_t c = 0;
        if (port->GetChar(c) != 0 || FeedByte(c) != ReaderEvent::Line)
            continue;
        const std::string line = response;
        response.clear();
        if (contains(line, ",")) {
            localSupport[3] = localSupport[3] || contains(line, "72");
            localSupport[4] = localSupport[4] || contains(line, "96");
            localSupport[5] = localSupport[5] || contains(line, "121");
            localSupport[6] = localSupport[6] || contains(line, "145");
        }
        if (contains(line, "OK") || contains(line, "ERROR"))
            break;
        if (first) {
            first = false;
            readerTimer = newTimer(clock, faxtime::CapabilityTailTicks);
        }
    }
    port->FlushInBuffer();
    response.clear();
    modulation = 2;
    for (int i = 6; i > 2; --i)
        if (localSupport[i]) {
            modulation = i;
            break;
        }
    return 0;
}

// ---- hang-up ----------------------------------------------------------------------------

void FaxSession::DropDTR() {
    port->FlushInBuffer();
    port->FlushOutBuffer();
    port->SetDTR(false);
    port->SetRTS(false);
    delay(faxtime::DtrDrop);
    port->SetDTR(true);
    port->SetRTS(true);
    delay(faxtime::DtrDrop);
}

void FaxSession::ForcedHangup() {
    // Without modem-status lines the carrier cannot be seen: take it as up, so that a modem
    // left in data mode by an abort is brought back to commands.
    const auto carrierMayBeUp = [this] { return !port->HasModemLines() || port->CheckDCD(); };
    if (carrierMayBeUp()) {
        delay(faxtime::GuardTime);
        SendRaw("+++");
        delay(faxtime::GuardTime);
        SendCommand("ATH0");
        delay(faxtime::GuardTime);
        port->FlushInBuffer();
        if (carrierMayBeUp())
            DropDTR();
    }
    SendCommand("ATH0");
    delay(faxtime::GuardTime);
    port->FlushInBuffer();
}

void FaxSession::ReceiveHangup() {
    DropDTR();
    delay(faxtime::GuardTime);
    SendRaw("+++");
    delay(faxtime::GuardTime);
    SendCommand("ATH");
    delay(faxtime::GuardTime);
    port->FlushInBuffer();
}

// ---- port speed ---------------------------------------------------------------------------

void FaxSession::waitTicksNoPump(std::int32_t ticks) { delay(kTickLength * ticks); }

// With InitBaud the modem is initialised at InitBaud and faxes run at NormalBaud; the
// at-InitBaud flag says where the port is. Without it the port stays at 19200.
void FaxSession::SwitchToSessionSpeed() {
    if (initBaud == 0) {
        port->SetBaud(19200);
        return;
    }
    if (atInitBaud && normalBaud != 0) {
        waitTicksNoPump(faxtime::SpeedChangePauseTicks);
        port->SetBaud(normalBaud);
        atInitBaud = false;
    }
}

void FaxSession::SwitchToIdleSpeed() {
    if (initBaud == 0) {
        port->SetBaud(19200);
        return;
    }
    if (!atInitBaud) {
        waitTicksNoPump(faxtime::SpeedChangePauseTicks);
        port->SetBaud(initBaud);
        atInitBaud = true;
    }
}

} // namespace faxengine
