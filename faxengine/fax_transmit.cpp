#include "faxengine/fax_transmit.h"

#include "faxengine/class2_commands.h"
#include "faxengine/fax_status.h"
#include "faxengine/port_types.h"
#include "faxengine/t30_params.h"
#include "faxengine/engine_errors.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace faxengine {


namespace {

using Fs = faxengine::FaxStatus;
constexpr int progress(Fs s) { return static_cast<int>(s); }

constexpr std::size_t kResponseCapacity = 128;
// A page that ends before its stated length: "Attempt to read beyond end of file".
constexpr int kReadBeyondEnd = -100;

std::string trim(std::string_view s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

// The value after the report's ":" (or "=" when there is none), trimmed.
std::string reportValue(std::string_view line) {
    auto p = line.find(':');
    if (p == std::string_view::npos)
        p = line.find('=');
    return trim(p == std::string_view::npos ? line : line.substr(p + 1));
}

int numericValue(std::string_view line) {
    auto p = line.find(':');
    if (p == std::string_view::npos)
        return 0;
    std::string digits = trim(line.substr(p + 1, 3));
    int v = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        v = v * 10 + (c - '0');
    }
    return v;
}

char speedCode(int bps) {
    switch (bps) {
    case 2400: return '0';
    case 4800: return '1';
    case 7200: return '2';
    case 12000: return '4';
    case 14400: return '5';
    default: return '3';
    }
}

bool containsNoCase(std::string_view hay, std::string_view needle) {
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    });
    return it != hay.end();
}

} // namespace

FaxTransmitter::FaxTransmitter(TransmitLink& link, TransmitOptions options, TransmitTriggers triggers)
    : link_(link), opt_(std::move(options)), trig_(triggers),
      class2_(class2CommandsFor(opt_.faxClass)) {}

void FaxTransmitter::Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) {
    if (state_ == TransmitState::tfNone || state_ == TransmitState::tfDone)
        return;
    // The abort step pumps messages while it hangs up; calls that arrive then must not act.
    if (state_ == TransmitState::tfAbort)
        return;
    if (msg == apw::PortLost) {
        // The dispatcher has stopped: no trigger will come again, so the call ends now.
        portLost_ = true;
        fail(-static_cast<int>(param & 0xFFFF));
        msg = 0;
        trigger = 0;
    }
    if (msg == apw::TriggerAvail)
        trigger = 0;
    const bool ours = trigger == 0 || trigger == trig_.statusTimer || trigger == trig_.timeout ||
                      trigger == trig_.outFree || trigger == trig_.outUsed;
    // A user abort is taken whatever trigger it names: losing it would leave the call running.
    if (msg != faxmsg::UserAbort && !ours)
        return;
    link_.LogState(state_);

    if (msg == faxmsg::UserAbort) {
        faxStatus_ = progress(Fs::UserAbort);
        userAbort_ = true;
        fail(ec::CancelRequested);
        status(false, false);
        trigger = 0;
    }

    bool runStep = true;
    const bool statusTimer = trigger != 0 && trigger == trig_.statusTimer;
    if (statusTimer || sendPendingStatus_) {
        sendPendingStatus_ = false;
        status(false, false);
        link_.ArmStatusTimer(opt_.statusInterval);
        if (statusTimer)
            runStep = false;
    }

    for (;;) {
        if (runStep && !step(trigger))
            return;
        runStep = true;
        trigger = 0;
        switch (paceOf(state_)) {
        case TransmitPace::Immediate: break;
        case TransmitPace::WhileInput:
            if (!link_.InputWaiting())
                return;
            break;
        case TransmitPace::Wait: return;
        }
    }
}

bool FaxTransmitter::step(std::uint16_t trigger) {
    if (state_ == TransmitState::tfGetEntry && inGetEntry_)
        return false;
    timedOut_ = trigger != 0 && trigger == trig_.timeout;
    if (readsResponses(state_)) {
        // The answer arrived with the timeout (the timer was dispatched first): read it. Should
        // it not settle the state, the timeout is taken when a short grace runs out.
        if (timedOut_ && link_.InputWaiting()) {
            link_.ArmTimeout(kLateAnswerGrace);
            timedOut_ = false;
            trigger = 0;
        }
        if (timedOut_ && std::exchange(verdictPending_, false)) {
            takeFrameAsConfirmed();
        } else {
            if (timedOut_)
                return timeoutBeforeStep();
            if (trigger != 0)
                return false;
            switch (readResponse()) {
            case ReadResult::Nothing: return false;
            case ReadResult::Failed:
            case ReadResult::Frame: return true;
            case ReadResult::Line: break;
            }
        }
    }

    if (const StepFn run = rowOf(state_).step)
        run(*this, trigger);
    else
        return false;
    return true;
}

// The frame is whole and its FCS holds, but the modem keeps listening for more: noise
// holds its carrier detector up, and it gives its verdict only when the carrier drops. A
// character ends a reception still running (a modem already back in command mode takes it
// as the start of a line), and the frame counts as confirmed. An OK the modem still sends
// arrives before the CONNECT of our next command and is passed over.
void FaxTransmitter::takeFrameAsConfirmed() {
    const std::array<std::uint8_t, 1> space{0x20};
    link_.PutBytes(space);
    response_ = "OK";
}

bool FaxTransmitter::timeoutBeforeStep() {
    switch (state_) {
    case TransmitState::tf1Connect:
    case TransmitState::tf2Connect:
        // A far end that sent frames did answer: the call failed later than that.
        fail(frameHeard_ ? ec::FaxSessionError : ec::FaxNoAnswer);
        break;
    case TransmitState::tf1WaitMCF: {
        // Any character ends the modem's frame reception; then the post-page message is repeated.
        const std::array<std::uint8_t, 1> space{0x20};
        link_.PutBytes(space);
        state_ = TransmitState::tf1PrepEOP;
        break;
    }
    case TransmitState::tf1WaitHngp:
        link_.ForcedHangup();
        state_ = TransmitState::tfClose;
        break;
    default: fail(ec::TimeOut); break;
    }
    return true;
}

FaxTransmitter::ReadResult FaxTransmitter::readResponse() {
    std::uint8_t b = 0;
    bool dlePending = false;
    while (link_.GetByte(b)) {
        // A Class 2 modem's XON ("send page data now") may come after the CONNECT line it
        // belongs to has been read; it is flow control, never part of a response.
        if (!class1() && (b == kXon || b == kXoff))
            continue;
        buf_.push_back(b);
        // A Class 1 frame starts with its address byte; inside it only DLE ETX ends it, and a
        // doubled DLE is a data byte, so frame bytes that look like CR LF or DLE ETX stay data.
        const bool inFrame = class1() && buf_.front() == 0xFF;
        if (inFrame) {
            if (dlePending) {
                dlePending = false;
                if (b == kETX) {
                    ReceivedFrame fr = link_.ParseFrame(buf_);
                    buf_.clear();
                    frameHeard_ = true;
                    lastFcf_ = fr.fcf;
                    lastFrameFinal_ = fr.final;
                    if (fr.cfr)
                        cfrReceived_ = true;
                    if (fr.error != 0) {
                        fail(fr.error);
                        return ReadResult::Failed;
                    }
                    // A page rejected with RTN is judged after the frame's OK (tf1WaitMCF);
                    // FTT asks for a retrain at a lower speed.
                    if (fr.retrain && fcf::isFTT(fr.fcf)) {
                        if (!link_.StepDown()) {
                            fail(ec::FaxTrainError);
                            return ReadResult::Failed;
                        }
                        link_.SendClass1Command("AT+FTH=3");
                        state_ = TransmitState::tf1TSIRespns;
                    }
                    // Some modems hold the frame's OK until the far end's carrier ends, and a
                    // receiver may follow its MCF with CSI/DIS in the same carrier: the wait for
                    // the OK starts again from the frame, so that a confirmed page is not offered
                    // again.
                    if (state_ == TransmitState::tf1WaitMCF)
                        armPostPageWait();
                    if (fr.final && fr.fcsGood && waitsForFrameVerdict(state_)) {
                        verdictPending_ = true;
                        link_.ArmTimeout(kFrameVerdictWait);
                    }
                    return ReadResult::Frame;
                }
            } else if (b == kDLE) {
                dlePending = true;
            }
            continue;
        }
        // Bytes before a frame's address byte (noise, a stray CR) are dropped.
        if (class1() && b == 0xFF) {
            buf_.assign(1, 0xFF);
            continue;
        }
        const std::size_t n = buf_.size();
        if (n >= 2 && buf_[n - 2] == '\r' && buf_[n - 1] == '\n') {
            std::string line = trim(std::string(buf_.begin(), buf_.end()));
            buf_.clear();
            if (line.empty())
                continue;
            if (line.size() > kResponseCapacity)
                line.resize(kResponseCapacity);
            verdictPending_ = false;
            response_ = std::move(line);
            return judgeLine() ? ReadResult::Line : ReadResult::Failed;
        }
        if (buf_.size() > 4 * kResponseCapacity)
            buf_.erase(buf_.begin(), buf_.end() - kResponseCapacity);
    }
    return ReadResult::Nothing;
}

bool FaxTransmitter::judgeLine() {
    const bool errorAllowed = state_ == TransmitState::tf1SendEOP || state_ == TransmitState::tf1WaitEOP ||
                              state_ == TransmitState::tf1WaitMCF || state_ == TransmitState::tf20ChckPg;
    if (responseHas("ERROR") && !errorAllowed) {
        fail(ec::FaxBadModemResult);
        return false;
    }
    if (!class1() && responseHas(class2_.hangupReport) && state_ != TransmitState::tf2WaitFET &&
        state_ != TransmitState::tf20ChckPg) {
        hangupCode_ = numericValue(response_);
        fail(ec::FaxBadModemResult);
        return false;
    }
    return true;
}

bool FaxTransmitter::responseHas(std::string_view word) const {
    return response_.find(word) != std::string::npos;
}

void FaxTransmitter::fail(int code) {
    if (state_ != TransmitState::tfAbort)
        failedIn_ = state_;
    lastError_ = code;
    link_.ReportError(code);
    state_ = TransmitState::tfAbort;
}

void FaxTransmitter::status(bool first, bool last) { link_.StatusEvent(first, last); }

void FaxTransmitter::unexpectedLine() { link_.ResetReader(); }

void FaxTransmitter::redial() {
    ++dialAttempt_;
    if (opt_.dialAttempts != 0 && dialAttempt_ >= opt_.dialAttempts) {
        status(false, false);
        // Busy and unanswered calls are redialled alike, but the user is told which the
        // last one was: a number that only rings is not busy.
        const int code = lastDialUnanswered_ ? ec::FaxNoAnswer : ec::FaxBusy;
        if (opt_.abortNoConnect) {
            fail(code);
            return;
        }
        link_.CloseFiles();
        lastError_ = code;
        link_.ReportError(code);
        link_.LogEvent(3);
        faxStatus_ = progress(Fs::Initializing);
        link_.RestoreIdleSpeed();
        state_ = TransmitState::tfGetEntry;
        return;
    }
    faxStatus_ = progress(Fs::BusyWait);
    sendPendingStatus_ = true;
    link_.ArmTimeout(opt_.dialRetryWait);
    state_ = TransmitState::tfRetryWait;
}

std::string FaxTransmitter::sessionParams() const {
    std::string s(class2_.sessionParams);
    s += '=';
    s += resolution_;
    s += ',';
    s += speedCode(opt_.desiredBps);
    s += ',';
    s += firstPageWide_ ? '1' : '0';
    s += ",2,0,";
    s += opt_.desiredEcm ? '1' : '0';
    s += ",0,0";
    return s;
}

// ---- fax entry and initialisation ----

void FaxTransmitter::onGetEntry() {
    inGetEntry_ = true;
    TransmitJob job;
    const bool have = link_.NextFax(job);
    inGetEntry_ = false;
    if (!have) {
        state_ = TransmitState::tfCompleteOK;
        return;
    }
    job_ = std::move(job);
    link_.LogEvent(1);
    dialAttempt_ = 0;
    pageNumber_ = 1;
    pageCount_ = 0;
    coverCount_ = 0;
    sendingCover_ = false;
    bytesSent_ = 0;
    hangupCode_ = 0;
    pageResends_ = 0;
    prevResolution_ = ' ';
    if (!job_.faxFile.empty()) {
        if (int rc = link_.OpenFax(job_.faxFile); rc < 0) {
            fail(rc);
            return;
        }
        pageCount_ = link_.FaxPageCount();
    } else if (job_.coverFile.empty()) {
        fail(ec::NoFilename);
        return;
    }
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(false);
    state_ = TransmitState::tfInit;
}

void FaxTransmitter::onInit() {
    for (char& c : opt_.stationId)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!job_.coverFile.empty()) {
        coverCount_ = 1;
        sendingCover_ = true;
        coverIsApf_ = containsNoCase(job_.coverFile, "." + opt_.faxFileExt);
    }
    firstPageWide_ = false;
    if (!job_.faxFile.empty()) {
        if (int rc = link_.PositionPage(1); rc < 0) {
            fail(rc);
            return;
        }
        const TransmitPageInfo page = link_.CurrentPage();
        resolution_ = page.highRes ? '1' : '0';
        firstPageWide_ = page.wide;
    } else {
        resolution_ = '0';
        if (coverIsApf_) {
            if (int rc = link_.CoverResolution(resolution_); rc < 0) {
                fail(rc);
                return;
            }
        }
    }
    // The DCS goes out before the first page is prepared: it must already name its width.
    currentWide_ = firstPageWide_;
    faxStatus_ = progress(Fs::Initializing);
    if (class1()) {
        link_.SendCommand("AT+FCLASS=1");
        state_ = TransmitState::tf1Init1;
    } else {
        link_.SendCommand(class2_.classCommand);
        state_ = TransmitState::tf2Init1;
    }
}

void FaxTransmitter::onInit1() {
    if (responseHas("OK"))
        state_ = TransmitState::tfDial;
    else
        fail(ec::FaxInitError);
}

void FaxTransmitter::onInit2(std::uint16_t /*trigger*/) {
    if (!responseHas("OK")) {
        fail(ec::FaxInitError);
        return;
    }
    const Class2Commands& w = class2_;
    switch (state_) {
    case TransmitState::tf2Init1:
        link_.SendCommand(std::string(w.localId) + "=\"" + opt_.stationId + "\"");
        state_ = class20() ? TransmitState::tf2Init1A : TransmitState::tf2Init2;
        break;
    case TransmitState::tf2Init1A:
        link_.SendCommand("AT+FLO=2");
        state_ = TransmitState::tf2Init1B;
        break;
    case TransmitState::tf2Init1B:
        link_.SendCommand("AT+FNR=1,1,1,0");
        state_ = TransmitState::tf2Init2;
        break;
    case TransmitState::tf2Init2:
        link_.SendCommand(sessionParams());
        state_ = TransmitState::tf2Init3;
        break;
    default: state_ = TransmitState::tfDial; break;
    }
}

// ---- dialling ----

void FaxTransmitter::onDial() {
    std::string cmd = opt_.toneDial ? "ATDT" : "ATDP";
    cmd += opt_.dialPrefix;
    cmd += job_.phone;
    link_.SendCommand(cmd);
    link_.ArmTimeout(opt_.dialWait);
    frameHeard_ = verdictPending_ = false;
    faxStatus_ = progress(Fs::Dialing);
    state_ = class1() ? TransmitState::tf1Connect : TransmitState::tf2Connect;
}

void FaxTransmitter::onRetryWait(std::uint16_t trigger) {
    if (trigger == 0) {
        // Nothing said during the redial delay belongs to the next call.
        link_.FlushInput();
        return;
    }
    if (timedOut_)
        state_ = TransmitState::tfDial;
}

bool FaxTransmitter::connectFailure() {
    if (responseHas("BUSY") || responseHas("ANSWER")) {
        lastDialUnanswered_ = !responseHas("BUSY");
        redial();
        return true;
    }
    if (responseHas("VOICE") || responseHas("VCON")) {
        fail(ec::FaxVoiceCall);
        return true;
    }
    if (responseHas("NO DIAL")) {
        fail(ec::FaxNoDialTone);
        return true;
    }
    return false;
}

// ---- Class 1 phase B ----

void FaxTransmitter::on1Connect() {
    if (responseHas("CONNECT")) {
        link_.ResetReader();
    } else if (responseHas("OK")) {
        if (lastFrameFinal_) {
            link_.Pause(kResponseTurn);
            link_.SendClass1Command("AT+FTH=3");
            lastFrameFinal_ = false;
            state_ = TransmitState::tf1SendTSI;
        } else {
            link_.SendClass1Command("AT+FRH=3");
        }
    } else if (connectFailure()) {
    } else if (responseHas("RRIER")) {
        fail(ec::FaxNoCarrier);
    } else {
        unexpectedLine();
    }
}

void FaxTransmitter::on1SendTSI() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    link_.SendIdFrame();
    state_ = TransmitState::tf1TSIRespns;
}

void FaxTransmitter::on1TSIRespns() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    link_.SendDcsFrame(resolution_, currentWide_);
    state_ = TransmitState::tf1DCSRspns;
}

void FaxTransmitter::on1DCSRspns() {
    if (!responseHas("OK"))
        return unexpectedLine();
    link_.SendClass1Command("AT+FTM=" + link_.ModulationCode(false));
    state_ = TransmitState::tf1TrainStrt;
}

void FaxTransmitter::on1TrainStrt() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(true);
    link_.SendTrainingCheck();
    state_ = TransmitState::tf1TrainFnsh;
}

void FaxTransmitter::on1TrainFnsh() {
    if (!responseHas("OK"))
        return unexpectedLine();
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(false);
    link_.Pause(kResponseTurn);
    link_.SendClass1Command("AT+FRH=3");
    cfrReceived_ = false;
    state_ = TransmitState::tf1WaitCFR;
}

void FaxTransmitter::on1WaitCFR() {
    if (!responseHas("OK"))
        return unexpectedLine();
    if (!lastFrameFinal_) {
        link_.SendClass1Command("AT+FRH=3");
        return;
    }
    link_.Pause(kResponseTurn);
    if (cfrReceived_) {
        link_.SendClass1Command("AT+FTM=" + link_.ModulationCode(true));
        lastFrameFinal_ = false;
        state_ = TransmitState::tf1WaitPgCn;
    } else {
        link_.SendClass1Command("AT+FTH=3");
        state_ = TransmitState::tf1TSIRespns;
    }
}

void FaxTransmitter::on1WaitPgCn() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    link_.ArmTimeout(kPageConnectWait);
    state_ = TransmitState::tfWaitXon;
}

// ---- Class 2/2.0 phase B ----

void FaxTransmitter::on2Connect() {
    if (responseHas(class2_.connectReport)) {
        link_.ArmTimeout(opt_.pageTimeout);
        response_.clear();
        state_ = TransmitState::tf2GetParams;
    } else if (!connectFailure()) {
        unexpectedLine();
    }
}

void FaxTransmitter::on2GetParams() {
    const Class2Commands& w = class2_;
    if (responseHas(w.remoteCapsReport)) {
        if (int rc = link_.ParseRemoteCapabilities(response_); rc < 0)
            return fail(rc);
        faxStatus_ = progress(Fs::GettingParams);
    } else if (responseHas(w.calledIdReport)) {
        remoteId_ = link_.CleanStationId(response_);
        if (remoteId_.size() > 20)
            remoteId_.resize(20);
        faxStatus_ = progress(Fs::GotRemoteId);
    } else if (responseHas(w.sessionReport)) {
        if (int rc = link_.ParseSessionReport(response_); rc < 0)
            return fail(rc);
        faxStatus_ = progress(Fs::GettingParams);
    } else if (responseHas("CONNECT")) {
        if (class20()) {
            link_.ArmOutBuffFree(kBlockSize);
            link_.ArmTimeout(opt_.pageTimeout);
            state_ = TransmitState::tfWaitFrHead;
        } else {
            link_.ArmTimeout(kPageConnectWait);
            state_ = TransmitState::tfWaitXon;
            // The XON often comes in the same read as the CONNECT line; no further data
            // event would announce it.
            if (link_.InputWaiting())
                onWaitXon(0);
        }
    } else if (responseHas("OK")) {
        link_.SendCommand("AT+FDT");
        link_.ArmTimeout(kDataModeWait);
        link_.ArmReaderTimer(kDataModeWait);
    } else {
        unexpectedLine();
    }
}

// ---- page data ----

void FaxTransmitter::onWaitXon(std::uint16_t trigger) {
    if (trigger == 0) {
        bool xon = false;
        std::uint8_t b = 0;
        while (link_.GetByte(b))
            xon = xon || b == kXon;
        if (!xon)
            return;
    } else if (!timedOut_) {
        return;
    }
    link_.ArmOutBuffFree(kBlockSize);
    link_.ArmTimeout(opt_.pageTimeout);
    state_ = TransmitState::tfWaitFrHead;
}

// Nothing the modem says while it takes page data answers anything, but a modem that drops
// out of data mode because the far end hung up says NO CARRIER: the page is lost, and waiting
// for its confirmation would only run into the page timeout.
void FaxTransmitter::discardInput() {
    std::uint8_t b = 0;
    while (link_.GetByte(b)) {
        if (b == kXon || b == kXoff)
            continue;
        dataModeText_.push_back(static_cast<char>(b));
        if (dataModeText_.find("NO CARRIER") != std::string::npos) {
            dataModeText_.clear();
            return fail(ec::FaxSessionError);
        }
        if (dataModeText_.size() > 64)
            dataModeText_.erase(0, dataModeText_.size() - 16);
    }
}

void FaxTransmitter::onWaitFrHead(std::uint16_t trigger) {
    if (timedOut_)
        return fail(ec::TimeOut);
    if (trigger == 0)
        return discardInput();
    if (trigger != trig_.outFree)
        return;
    faxStatus_ = progress(Fs::SendingPage);
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(true);
    state_ = TransmitState::tfSndPgeHdr;
}

void FaxTransmitter::onSndPgeHdr() {
    if (int rc = link_.SendHeaderLine(resolution_); rc < 0)
        return fail(rc);
    state_ = sendingCover_ && !job_.coverFile.empty() ? TransmitState::tfOpenCover : TransmitState::tfPrepPage;
}

void FaxTransmitter::onOpenCover() {
    bytesSent_ = 0;
    if (int rc = link_.OpenCover(job_.coverFile, coverIsApf_, resolution_); rc < 0)
        return fail(rc);
    if (coverIsApf_) {
        state_ = TransmitState::tfPrepPage;
        return;
    }
    link_.ArmTimeout(opt_.pageTimeout);
    link_.ArmOutBuffFree(kBlockSize);
    faxStatus_ = progress(Fs::SendingPage);
    state_ = TransmitState::tfSendCover;
}

void FaxTransmitter::endPageData() {
    if (class1()) {
        const std::array<std::uint8_t, 2> end{kDLE, kETX};
        link_.PutBytes(end);
    }
    link_.ArmTimeout(opt_.pageTimeout);
    link_.ArmOutBuffUsed(0);
    state_ = TransmitState::tfDrainPage;
}

void FaxTransmitter::onSendCover(std::uint16_t trigger) {
    if (timedOut_)
        return fail(ec::TimeOut);
    if (trigger == 0)
        return discardInput();
    if (trigger != trig_.outFree)
        return;
    bool done = false;
    if (int rc = link_.SendCoverLines(done); rc < 0)
        return fail(rc);
    if (done)
        return endPageData();
    link_.ArmTimeout(opt_.pageTimeout);
    link_.ArmOutBuffFree(kBlockSize);
}

void FaxTransmitter::onPrepPage() {
    bytesSent_ = 0;
    const TransmitPageInfo page = link_.CurrentPage();
    pageLength_ = page.imageLength;
    lengthWords_ = page.lengthWords;
    currentWide_ = page.wide;
    sendPendingStatus_ = true;
    link_.ArmTimeout(opt_.pageTimeout);
    link_.ArmOutBuffFree(kBlockSize);
    dataModeText_.clear();
    state_ = TransmitState::tfSendPage;
}

void FaxTransmitter::onSendPage(std::uint16_t trigger) {
    if (timedOut_)
        return fail(ec::TimeOut);
    if (trigger == 0)
        return discardInput();
    if (trigger == trig_.outFree || trigger == trig_.outUsed)
        sendPageBlocks();
}

void FaxTransmitter::sendPageBlocks() {
    using clock = std::chrono::steady_clock;
    auto statusDue = clock::now() + 3 * opt_.statusInterval;
    for (int n = 0; n < opt_.maxSendCount && bytesSent_ < pageLength_; ++n) {
        if (link_.OutBuffUsed() > opt_.bufferMinimum || link_.OutBuffFree() < kBlockSize)
            break;
        if (clock::now() >= statusDue) {
            status(false, false);
            link_.ArmStatusTimer(opt_.statusInterval);
            statusDue = clock::now() + 2 * opt_.statusInterval;
        }
        int rc = 0;
        if (lengthWords_) {
            rc = link_.ReadPageLine(block_);
            if (rc >= 0) {
                link_.CodedLineWrite(block_);
                bytesSent_ += static_cast<std::uint32_t>(rc) + 2;
            }
        } else {
            const std::size_t want = std::min<std::size_t>(kBlockSize, pageLength_ - bytesSent_);
            rc = link_.ReadPageBlock(block_, want);
            if (rc > 0) {
                link_.StuffedWrite(std::span<const std::uint8_t>(block_.data(), static_cast<std::size_t>(rc)));
                bytesSent_ += static_cast<std::uint32_t>(rc);
            } else if (rc == 0) {
                // The file ends before the page does: without this the loop would wait forever.
                rc = kReadBeyondEnd;
            }
        }
        if (rc < 0)
            return fail(rc);
    }
    if (bytesSent_ >= pageLength_) {
        faxStatus_ = progress(Fs::SendingPage);
        return endPageData();
    }
    link_.ArmTimeout(opt_.pageTimeout);
    // Wait for the condition that stopped the loop. With free space at hand but more than
    // the minimum queued, a free-space trigger would fire at once, again and again, until
    // the modem had taken the surplus.
    if (link_.OutBuffUsed() > opt_.bufferMinimum)
        link_.ArmOutBuffUsed(opt_.bufferMinimum);
    else
        link_.ArmOutBuffFree(kBlockSize);
}

void FaxTransmitter::onDrainPage(std::uint16_t trigger) {
    if (timedOut_)
        return fail(ec::TimeOut);
    if (trigger == 0)
        return discardInput();
    if (trigger != trig_.outUsed)
        return;
    if (opt_.softwareFlow)
        link_.SetSoftwareFlow(false);
    // Remember what was sent, so a rejected page can be sent again.
    sentPage_ = pageNumber_;
    sentCover_ = sendingCover_;
    sentCoverFile_ = job_.coverFile;
    sentResolution_ = resolution_;
    morePages_ = !job_.faxFile.empty() && (sendingCover_ || pageNumber_ < pageCount_);
    if (morePages_) {
        if (int rc = link_.NextPage(sendingCover_); rc < 0)
            return fail(rc);
        if (sendingCover_) {
            sendingCover_ = false;
            job_.coverFile.clear();
        } else {
            ++pageNumber_;
        }
        bytesSent_ = 0;
        prevResolution_ = resolution_;
        resolution_ = link_.CurrentPage().highRes ? '1' : '0';
    }
    faxStatus_ = progress(Fs::SendingPage);
    sendPendingStatus_ = true;
    if (class1()) {
        state_ = TransmitState::tf1PageEnd;
        return;
    }
    if (class20()) {
        const std::array<std::uint8_t, 2> end{kDLE, static_cast<std::uint8_t>(
                                                        !morePages_ ? '.' : resolutionChanges() ? ';' : ',')};
        link_.PutBytes(end);
    } else {
        const std::array<std::uint8_t, 2> end{kDLE, kETX};
        link_.PutBytes(end);
    }
    state_ = TransmitState::tf2SendEOP;
}

// ---- Class 1 phase D ----

void FaxTransmitter::on1PageEnd() {
    if (!responseHas("OK"))
        return unexpectedLine();
    postPageTries_ = 0;
    faxStatus_ = progress(Fs::SendingEop);
    state_ = TransmitState::tf1PrepEOP;
}

void FaxTransmitter::on1PrepEOP() {
    if (++postPageTries_ > kPostPageTries)
        return fail(ec::TimeOut);
    link_.Pause(kPostPagePause);
    link_.SendClass1Command("AT+FTH=3");
    state_ = TransmitState::tf1SendEOP;
}

void FaxTransmitter::on1SendEOP() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    // A change of resolution needs new parameters, so it takes EOM even when MPS is allowed.
    std::uint8_t f = fcf::EOPx;
    if (morePages_)
        f = opt_.mpsEnabled && !resolutionChanges() ? fcf::MPSx : fcf::EOMx;
    link_.SendFcfFrame(f, true);
    state_ = TransmitState::tf1WaitMPS;
}

void FaxTransmitter::on1WaitMPS(bool readerTimer) {
    if (!responseHas("OK"))
        return unexpectedLine();
    link_.Pause(kResponseTurn);
    link_.SendClass1Command("AT+FRH=3");
    mcfWaitOnReaderTimer_ = readerTimer;
    armPostPageWait();
    frameArriving_ = false;
    // The answer must come from this page's exchange, never from an earlier frame.
    lastFcf_ = 0;
    lastFrameFinal_ = false;
    state_ = TransmitState::tf1WaitMCF;
}

void FaxTransmitter::armPostPageWait() {
    if (mcfWaitOnReaderTimer_)
        link_.ArmReaderTimer(kT4);
    else
        link_.ArmTimeout(kT4);
}

void FaxTransmitter::on1WaitMCF() {
    if (responseHas("CONNECT")) {
        frameArriving_ = true;
        return;
    }
    if (responseHas("ERROR")) {
        state_ = TransmitState::tf1PrepEOP;
        return;
    }
    // An OK without any frame is no answer at all: the timeout repeats the message.
    if (!responseHas("OK") || lastFcf_ == 0)
        return unexpectedLine();
    if (!lastFrameFinal_) {
        link_.SendClass1Command("AT+FRH=3");
        return;
    }
    if (fcf::isRTN(lastFcf_))
        return retrainAfterRtn();
    if (fcf::isMCF(lastFcf_)) {
        if (!morePages_) {
            link_.SendClass1Command("AT+FTH=3");
            state_ = TransmitState::tf1SendDCN;
        } else if (opt_.mpsEnabled && !resolutionChanges()) {
            // The receiver is trained and waits for the short V.17 training, as after CFR;
            // a long training here makes it miss the page and answer RTN.
            link_.SendClass1Command("AT+FTM=" + link_.ModulationCode(true));
            state_ = TransmitState::tf1WaitPgCn;
        } else {
            link_.SendClass1Command("AT+FTH=3");
            state_ = TransmitState::tf1TSIRespns;
        }
        return;
    }
    if (fcf::isRTP(lastFcf_)) {
        link_.SendClass1Command("AT+FTH=3");
        state_ = morePages_ ? TransmitState::tf1TSIRespns : TransmitState::tf1SendDCN;
        return;
    }
    unexpectedLine();
}

// A rejected page is sent again: the one just sent, not the one the file has moved on to.
// A rejected cover is opened again on its way through tfOpenCover. False when the page
// cannot be found again (the fax has failed).
bool FaxTransmitter::goBackToSentPage() {
    if (sentCover_) {
        sendingCover_ = true;
        job_.coverFile = sentCoverFile_;
    } else if (int rc = link_.PositionPage(sentPage_); rc < 0) {
        fail(rc);
        return false;
    }
    pageNumber_ = sentPage_;
    resolution_ = sentResolution_;
    return true;
}

// RTN: the page was not good enough. As T.30 expects, train again (DCS and TCF) and send
// the page once more, within the same resend limit as Class 2/2.0; at the limit the fax
// fails and the page never counts as sent.
void FaxTransmitter::retrainAfterRtn() {
    if (++pageResends_ > opt_.pageResendLimit)
        return fail(ec::FaxSessionError);
    if (!goBackToSentPage())
        return;
    // The owner sees the rejected page and the retrain.
    faxStatus_ = progress(Fs::PageError);
    status(false, false);
    link_.LogState(TransmitState::tf1TSIRespns);
    link_.SendClass1Command("AT+FTH=3");
    state_ = TransmitState::tf1TSIRespns;
}

void FaxTransmitter::on1SendDCN() {
    if (!responseHas("CONNECT"))
        return unexpectedLine();
    link_.SendFcfFrame(fcf::DCNx, true);
    state_ = TransmitState::tf1Hangup;
}

void FaxTransmitter::on1Hangup() {
    if (!responseHas("OK"))
        return unexpectedLine();
    link_.SendCommand("ATH");
    link_.ArmTimeout(kHangupWait);
    state_ = TransmitState::tf1WaitHngp;
}

void FaxTransmitter::on1WaitHngp() {
    if (!responseHas("OK"))
        return unexpectedLine();
    state_ = TransmitState::tfClose;
}

// ---- Class 2/2.0 phase D ----

void FaxTransmitter::on2SendEOP() {
    response_.clear();
    buf_.clear();
    link_.ArmTimeout(opt_.pageTimeout);
    faxStatus_ = progress(Fs::SendingEop);
    sendPendingStatus_ = true;
    state_ = class20() ? TransmitState::tf20ChckPg : TransmitState::tf2WaitFPTS;
}

void FaxTransmitter::on2WaitFPTS() {
    if (!responseHas("OK"))
        return fail(ec::FaxSessionError);
    std::string cmd = "AT+FET=";
    cmd += !morePages_ ? '2' : resolutionChanges() ? '1' : '0';
    link_.SendCommand(cmd);
    link_.ArmTimeout(opt_.pageTimeout);
    state_ = TransmitState::tf2WaitFET;
}

bool FaxTransmitter::pageReport() {
    const std::string v = reportValue(response_);
    const char c = v.empty() ? '\0' : v.front();
    if (c == '1' || c == '3') {
        faxStatus_ = progress(Fs::PageAccepted);
    } else if (c == '2') {
        faxStatus_ = progress(Fs::PageError);
        state_ = TransmitState::tf2WaitPgOK;
    } else if (c == '4' || c == '5') {
        fail(ec::CancelRequested);
    } else {
        fail(ec::FaxPageError);
    }
    return true;
}

void FaxTransmitter::on2WaitFET() {
    const Class2Commands& w = class2_;
    if (responseHas(w.pageStatusReport)) {
        pageReport();
    } else if (responseHas(w.hangupReport)) {
        hangupCode_ = numericValue(response_);
    } else if (responseHas("OK")) {
        state_ = resolutionChanges() ? TransmitState::tf2SndNwPrm : TransmitState::tf2NextPage;
    } else {
        fail(ec::FaxPageError);
    }
}

void FaxTransmitter::on2WaitPgOK() {
    if (!responseHas("OK"))
        return fail(ec::FaxSessionError);
    if (++pageResends_ > opt_.pageResendLimit) {
        link_.SendRaw("AT+FKS\r");
        return fail(ec::FaxSessionError);
    }
    link_.SendCommand("AT+FDT");
    if (!goBackToSentPage())
        return;
    morePages_ = true;
    state_ = TransmitState::tf2GetParams;
}

void FaxTransmitter::on2SndNwPrm() {
    if (!morePages_) {
        state_ = TransmitState::tfClose;
        return;
    }
    std::string cmd(class2_.sessionParams);
    cmd += '=';
    cmd += resolution_;
    link_.SendCommand(cmd);
    state_ = TransmitState::tf2GetParams;
}

void FaxTransmitter::on2NextPage() {
    if (!morePages_) {
        state_ = TransmitState::tfClose;
        return;
    }
    link_.PauseTicks(kNextPagePause, true);
    link_.SendCommand("AT+FDT");
    state_ = TransmitState::tf2GetParams;
}

void FaxTransmitter::on20ChckPg() {
    const Class2Commands& w = class2_;
    if (responseHas(w.pageStatusReport)) {
        // The modem reports the page's outcome before its OK; a rejected page is resent.
        pageReport();
    } else if (responseHas(w.hangupReport)) {
        hangupCode_ = numericValue(response_);
    } else if (responseHas("ERROR")) {
        link_.SendCommand("AT+FPS?");
        faxStatus_ = progress(Fs::PageError);
        state_ = TransmitState::tf2WaitPgOK;
    } else if (responseHas("OK")) {
        faxStatus_ = progress(Fs::PageAccepted);
        state_ = resolutionChanges() ? TransmitState::tf2SndNwPrm : TransmitState::tf2NextPage;
    } else {
        fail(ec::FaxPageError);
    }
}

// ---- end of a fax ----

void FaxTransmitter::onClose() {
    link_.CloseFiles();
    sendingCover_ = false;
    faxStatus_ = progress(Fs::Finished);
    link_.LogEvent(2);
    link_.RestoreIdleSpeed();
    state_ = TransmitState::tfGetEntry;
}

void FaxTransmitter::onCompleteOK() {
    status(false, true);
    link_.PostFinish(lastError_);
    state_ = TransmitState::tfDone;
}

namespace {
// Class 1 states in which the modem may be taking our bytes as frame or page data (in
// tf1PageEnd our DLE ETX may still wait in the output buffer the abort flushes).
bool modemTakesData(TransmitState s) {
    constexpr std::array kDataStates{TransmitState::tf1SendTSI,   TransmitState::tf1TSIRespns, TransmitState::tf1TrainStrt,
                                     TransmitState::tf1WaitPgCn,  TransmitState::tfWaitXon,    TransmitState::tfWaitFrHead,
                                     TransmitState::tfSndPgeHdr,  TransmitState::tfOpenCover,  TransmitState::tfSendCover,
                                     TransmitState::tfPrepPage,   TransmitState::tfSendPage,   TransmitState::tfDrainPage,
                                     TransmitState::tf1PageEnd,   TransmitState::tf1SendEOP,
                                     TransmitState::tf1SendDCN};
    return std::find(kDataStates.begin(), kDataStates.end(), s) != kDataStates.end();
}
} // namespace

void FaxTransmitter::onAbort() {
    link_.CloseFiles();
    sendingCover_ = false;
    link_.LogEvent(3);
    if (class1() && modemTakesData(failedIn_))
        link_.EndModemData();
    failedIn_ = TransmitState::tfNone;
    link_.ForcedHangup();
    if (opt_.exitOnError || opt_.abortNoConnect || userAbort_ || portLost_) {
        if (!portLost_) // nobody aborted a call whose device went away
            faxStatus_ = progress(Fs::UserAbort);
        status(false, true);
        link_.PostFinish(lastError_);
        state_ = TransmitState::tfDone;
    } else {
        state_ = TransmitState::tfGetEntry;
    }
    link_.RestoreIdleSpeed();
}

} // namespace faxengine
