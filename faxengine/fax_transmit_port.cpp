#include "faxengine/fax_transmit_port.h"

#include "faxengine/dispatch_log.h"
#include "faxengine/modem_response.h"
#include "faxengine/t30_params.h"
#include "faxengine/engine_errors.h"
#include "faximage/fax_converter_engine.h"
#include "faximage/line_reader.h"
#include "faximage/mh_encoder.h"

#include <algorithm>
#include <array>

namespace faxengine {


namespace {
constexpr int kNormalWidth = 1728;
constexpr int kWideWidth = 2048;
} // namespace

TransmitOptions transmitOptionsFrom(const FaxSession& s) {
    TransmitOptions o;
    o.faxClass = runnableClass(s.faxClass);
    o.abortNoConnect = (s.options & faxopt::AbortNoConnect) != 0;
    o.exitOnError = (s.options & faxopt::ExitOnError) != 0;
    o.softwareFlow = (s.options & faxopt::SoftwareFlow) != 0;
    o.dialAttempts = s.dialAttempts;
    o.dialRetryWait = FaxTicks{s.dialRetryWait};
    o.dialWait = FaxTicks{s.dialWait};
    o.pageTimeout = FaxTicks{s.pageTicks};
    o.maxSendCount = s.maxSendCount;
    o.bufferMinimum = static_cast<std::size_t>(std::max(0, s.bufferMinimum));
    o.statusInterval = std::chrono::seconds{s.statusInterval};
    o.toneDial = s.toneDial;
    o.dialPrefix = s.dialPrefix;
    o.stationId = s.stationId;
    o.faxFileExt = s.faxFileExt;
    o.desiredBps = s.desiredBps;
    o.desiredEcm = s.ecChar == '1';
    o.mpsEnabled = s.sameParams;
    o.pageResendLimit = s.resendLimit;
    return o;
}

TriggerHandler FaxTransmitPort::Procedure() {
    return [this](std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) { Handle(msg, trigger, param); };
}

void FaxTransmitPort::Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param) {
    std::lock_guard lock(callLock_);
    if (!machine_) {
        auto handle = [](int h) { return static_cast<std::uint16_t>(h < 0 ? 0 : h); };
        TransmitTriggers t{handle(s_.statusTrigger), handle(s_.timeoutTrigger), handle(s_.outFreeTrigger),
                           handle(s_.outUsedTrigger)};
        machine_.emplace(*this, transmitOptionsFrom(s_), t);
    }
    machine_->Handle(msg, trigger, param);
    mirror();
}

TransmitState FaxTransmitPort::CurrentState() {
    std::lock_guard lock(callLock_);
    return machine_ ? machine_->State() : TransmitState::tfNone;
}

void FaxTransmitPort::mirror() {
    if (!machine_)
        return;
    s_.state = static_cast<std::uint8_t>(machine_->State());
    s_.faxStatus = machine_->FaxStatus();
    s_.lastError = machine_->LastError();
    s_.dialAttempt = machine_->DialAttempt();
    s_.currentPage = machine_->PageNumber();
    s_.hangupCode = machine_->HangupCode();
    if (!machine_->RemoteId().empty())
        s_.remoteId = machine_->RemoteId();
}

// ---- commands ----

void FaxTransmitPort::SendCommand(std::string_view cmd) { s_.SendCommand(cmd); }
void FaxTransmitPort::SendClass1Command(std::string_view cmd) { s_.SendClass1Command(cmd); }
void FaxTransmitPort::SendRaw(std::string_view bytes) { s_.SendRaw(bytes); }
void FaxTransmitPort::ResetReader() { s_.ResetReader(); }

void FaxTransmitPort::Pause(std::chrono::milliseconds ms) {
    if (s_.delay)
        s_.delay(ms);
}

void FaxTransmitPort::PauseTicks(FaxTicks ticks, bool /*pumpMessages*/) {
    if (s_.pumpWait)
        s_.pumpWait(ticks.count());
}

bool FaxTransmitPort::GetByte(std::uint8_t& b) { return s_.port && s_.port->GetChar(b) == 0; }
bool FaxTransmitPort::InputWaiting() { return s_.port && s_.port->CharReady(); }

void FaxTransmitPort::FlushInput() {
    if (s_.port)
        s_.port->FlushInBuffer();
}

// ---- triggers ----

void FaxTransmitPort::ArmTimeout(FaxTicks t) { s_.ArmTimeout(t.count()); }

void FaxTransmitPort::ArmReaderTimer(FaxTicks t) {
    if (s_.port)
        s_.readerTimer = newTimer(s_.port->Clock(), t.count());
}

void FaxTransmitPort::ArmStatusTimer(std::chrono::seconds s) {
    s_.statusInterval = static_cast<int>(s.count());
    s_.ArmStatusTimer();
}

void FaxTransmitPort::ArmOutBuffFree(std::size_t bytes) {
    if (s_.port && s_.outFreeTrigger >= 0)
        s_.port->SetStatusTrigger(static_cast<std::uint16_t>(s_.outFreeTrigger), static_cast<std::uint16_t>(bytes),
                                  true);
}

void FaxTransmitPort::ArmOutBuffUsed(std::size_t bytes) {
    if (s_.port && s_.outUsedTrigger >= 0)
        s_.port->SetStatusTrigger(static_cast<std::uint16_t>(s_.outUsedTrigger), static_cast<std::uint16_t>(bytes),
                                  true);
}

std::size_t FaxTransmitPort::OutBuffUsed() { return s_.port ? s_.port->OutBuffUsed() : 0; }
std::size_t FaxTransmitPort::OutBuffFree() { return s_.port ? s_.port->OutBuffFree() : 0; }

void FaxTransmitPort::SetSoftwareFlow(bool on) {
    if (!s_.port)
        return;
    FlowSettings f = s_.port->GetFlow();
    f.swOptions = on ? TSWFlowOptions::swfBoth : TSWFlowOptions::swfNone;
    s_.port->SetFlow(f);
}

// ---- Class 1 frames ----

void FaxTransmitPort::SendFcfFrame(std::uint8_t fcf, bool final) { s_.SendFcfFrame(fcf, final); }
void FaxTransmitPort::SendIdFrame() { s_.SendIdFrame(fcf::TSIx); }

void FaxTransmitPort::SendDcsFrame(char resolution, bool wide) {
    s_.resolution = resolution;
    s_.wide = wide;
    s_.SendDcsFrame();
}

void FaxTransmitPort::SendTrainingCheck() { s_.SendTrainingCheck(); }

ReceivedFrame FaxTransmitPort::ParseFrame(std::span<const std::uint8_t> frame) {
    s_.response.assign(frame.begin(), frame.end());
    s_.retrainRequested = false;
    s_.cfrReceived = false;
    ReceivedFrame r;
    r.error = s_.ParseFrame();
    // The session reports an incompatible DIS itself; the machine's report would repeat it.
    if (r.error == ec::FaxBadMachine)
        alreadyReported_ = r.error;
    r.fcf = s_.lastFcf;
    r.final = s_.lastFrameFinal;
    r.cfr = s_.cfrReceived;
    r.retrain = s_.retrainRequested;
    r.fcsGood = t30::hdlcFcsGood(frame);
    return r;
}

bool FaxTransmitPort::StepDown() { return s_.StepDownSpeed(); }

std::string FaxTransmitPort::ModulationCode(bool shortTrain) {
    const int i = std::clamp(s_.modulation, 1, 6);
    return std::string(shortTrain ? kShortTrainCodes[static_cast<std::size_t>(i)]
                                  : kLongTrainCodes[static_cast<std::size_t>(i)]);
}

// ---- Class 2/2.0 reports ----

int FaxTransmitPort::ParseRemoteCapabilities(std::string_view report) {
    s_.ApplyClass2Report(cleanReport(report));
    if ((s_.resolution == '1' && !s_.remoteFine) || (page_.header.wide() && !s_.remoteWide))
        return ec::FaxBadMachine;
    return 0;
}

int FaxTransmitPort::ParseSessionReport(std::string_view report) {
    s_.ApplyClass2Report(cleanReport(report));
    return 0;
}

std::string FaxTransmitPort::CleanStationId(std::string_view report) { return cleanStationId(report); }

// ---- files ----

int FaxTransmitPort::OpenFax(const std::string& name) {
    std::string path = name;
    // A name without an extension takes the fax file extension.
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        path += "." + s_.faxFileExt;
    s_.faxFileName = path;
    return file_.open(path);
}

std::uint16_t FaxTransmitPort::FaxPageCount() {
    s_.pageCount = file_.pageCount();
    return static_cast<std::uint16_t>(file_.pageCount());
}

int FaxTransmitPort::loadPage(faximage::ApfReader& from, int n) {
    if (int rc = from.locatePage(n, page_); rc < 0)
        return rc;
    pagePos_ = 0;
    if (int rc = from.readPageData(page_, pageData_); rc < 0)
        return rc;
    s_.resolution = page_.header.highResolution() ? '1' : '0';
    s_.lengthWords = page_.header.lengthWords();
    s_.pageLength = page_.header.imageLength;
    return 0;
}

int FaxTransmitPort::PositionPage(int page) { return loadPage(file_, page); }

TransmitPageInfo FaxTransmitPort::CurrentPage() {
    TransmitPageInfo p;
    p.imageLength = page_.header.imageLength;
    p.lengthWords = page_.header.lengthWords();
    p.highRes = page_.header.highResolution();
    p.wide = page_.header.wide();
    return p;
}

int FaxTransmitPort::NextPage(bool sendingCover) {
    if (sendingCover) {
        cover_.close();
        s_.sendingCover = false;
        s_.coverReader.reset();
        s_.coverReaderOpen = false;
        return loadPage(file_, 1);
    }
    return loadPage(file_, page_.number + 1);
}

// An APF cover goes out as the first page; a text cover is drawn line by line with the
// fax font (SendCoverLines).
int FaxTransmitPort::OpenCover(const std::string& name, bool apf, char resolution) {
    cover_.close();
    // Header tokens count the cover as page 1 of the fax.
    s_.coverCount = 1;
    s_.sendingCover = true;
    if (!apf) {
        s_.coverReader = std::make_unique<faximage::TLineReader>();
        s_.coverReaderOpen = false;
        if (int rc = s_.coverReader->open(name); rc < 0) {
            s_.coverReader.reset();
            return rc;
        }
        s_.coverReaderOpen = true;
        s_.resolution = resolution;
        s_.pageBytes = 0;
        return 0;
    }
    if (int rc = cover_.open(name); rc < 0)
        return rc;
    return loadPage(cover_, 1);
}

int FaxTransmitPort::CoverResolution(char& res) {
    res = '0';
    faximage::ApfReader r;
    if (int rc = r.open(s_.coverFileName); rc < 0)
        return rc;
    faximage::ApfPageInfo first;
    if (int rc = r.locatePage(1, first); rc < 0)
        return rc;
    res = first.header.highResolution() ? '1' : '0';
    return 0;
}

int FaxTransmitPort::SendCoverLines(bool& done) {
    done = false;
    if (!s_.coverReader || !s_.coverReaderOpen)
        return ec::FaxBadFormat;
    s_.PrepareConverter(s_.converterEnhanced);
    s_.converter->width = s_.wide ? kWideWidth : kNormalWidth;
    // At least one line per call: with a 4096-byte output buffer "more than 4096 free"
    // never holds, and the cover would stall.
    constexpr std::size_t kRoom = 4096;
    std::string line;
    for (bool first = true; s_.port && (first || s_.port->OutBuffFree() >= kRoom); first = false) {
        const int rc = s_.coverReader->nextLine(line);
        if (rc < 0)
            return rc;
        if (rc == 0) {
            // The page ends with the converter's end-of-page record; the machine sends
            // DLE ETX after it.
            if (int w = s_.WriteCodedLine(faximage::endOfPageBytes()); w < 0)
                return w;
            s_.coverReader.reset();
            s_.coverReaderOpen = false;
            done = true;
            return 0;
        }
        if (int w = s_.SendTextLine(line); w < 0)
            return w;
    }
    return 0;
}

void FaxTransmitPort::CloseFiles() {
    file_.close();
    cover_.close();
    s_.coverReader.reset();
    s_.coverReaderOpen = false;
    s_.coverCount = 0;
    s_.sendingCover = false;
    pageData_.clear();
    page_ = {};
}

int FaxTransmitPort::ReadPageLine(std::vector<std::uint8_t>& line) {
    if (pagePos_ + 2 > pageData_.size())
        return -100;
    const std::size_t n = pageData_[pagePos_] | (std::size_t(pageData_[pagePos_ + 1]) << 8);
    if (pagePos_ + 2 + n > pageData_.size())
        return -100;
    line.assign(pageData_.begin() + static_cast<std::ptrdiff_t>(pagePos_ + 2),
                pageData_.begin() + static_cast<std::ptrdiff_t>(pagePos_ + 2 + n));
    pagePos_ += 2 + n;
    return static_cast<int>(n);
}

int FaxTransmitPort::ReadPageBlock(std::vector<std::uint8_t>& block, std::size_t max) {
    const std::size_t n = std::min(max, pageData_.size() - std::min(pagePos_, pageData_.size()));
    block.assign(pageData_.begin() + static_cast<std::ptrdiff_t>(pagePos_),
                 pageData_.begin() + static_cast<std::ptrdiff_t>(pagePos_ + n));
    pagePos_ += n;
    return static_cast<int>(n);
}

// ---- page output ----

void FaxTransmitPort::StuffedWrite(std::span<const std::uint8_t> data) { s_.WriteStuffed(data); }

std::size_t FaxTransmitPort::CodedLineWrite(std::span<const std::uint8_t> line) {
    s_.WriteCodedLine(line);
    return std::max<std::size_t>(line.size(), static_cast<std::size_t>(std::max(0, s_.minLineBytes)));
}

void FaxTransmitPort::PutBytes(std::span<const std::uint8_t> data) {
    if (s_.port)
        s_.port->PutBlock(data);
}

int FaxTransmitPort::SendHeaderLine(char resolution) {
    s_.resolution = resolution;
    // The blank lines lead the page with or without a header: receivers lose the first
    // rows while they settle, and the header must not sit on the page's edge.
    if (int rc = sendBlankLines(faxtime::LeadingBlankLines); rc < 0)
        return rc;
    if (!s_.headerLine.empty()) {
        s_.PrepareConverter(s_.converterEnhanced);
        s_.converter->width = s_.wide ? kWideWidth : kNormalWidth;
        if (int rc = s_.SendHeaderLine(); rc < 0)
            return rc;
    }
    return s_.TopUpBuffer();
}

// Lines as wide as the page: receivers drop shorter ones from a 2048-pixel page.
int FaxTransmitPort::sendBlankLines(int n) {
    if (!s_.wide)
        return s_.WriteBlankLines(n);
    const std::vector<std::uint8_t> white(kWideWidth / 8, 0);
    const std::vector<std::uint8_t> coded = faximage::encodeMhLine(white, {kWideWidth, 0, false});
    for (int i = 0; i < n; ++i)
        if (int rc = s_.WriteCodedLine(coded); rc < 0)
            return rc;
    return 0;
}

// ---- line and owner ----

void FaxTransmitPort::ForcedHangup() { s_.ForcedHangup(); }

void FaxTransmitPort::EndModemData() {
    if (!s_.port)
        return;
    s_.port->FlushOutBuffer();
    // The flush may have cut the data after a DLE the modem already has: the leading NUL
    // completes that pair harmlessly, so the DLE ETX is read as the end of the data.
    static constexpr std::array<std::uint8_t, 3> kEnd{0x00, 0x10, 0x03};
    s_.port->PutBlock(kEnd);
}
void FaxTransmitPort::RestoreIdleSpeed() { s_.SwitchToIdleSpeed(); }

void FaxTransmitPort::LogState(TransmitState state) {
    if (s_.port && s_.port->Logging())
        s_.port->AddDispatchEntry(LogType::Fax,
                                  static_cast<std::uint8_t>(logsub::FaxTransmitBase + static_cast<int>(state)), 0);
}

bool FaxTransmitPort::NextFax(TransmitJob& job) {
    mirror();
    const auto answer = s_.Notify(faxmsg::NextFax, 0);
    if (!answer || *answer == 0)
        return false;
    job.phone = s_.phoneNumber;
    job.faxFile = s_.faxFileName;
    job.coverFile = s_.coverFileName;
    return true;
}

void FaxTransmitPort::StatusEvent(bool first, bool last) {
    mirror();
    s_.SendStatus(first, last);
}

void FaxTransmitPort::LogEvent(int code) {
    mirror();
    s_.Notify(faxmsg::Log, code);
}

void FaxTransmitPort::ReportError(int code) {
    if (alreadyReported_ == code) {
        alreadyReported_ = 0;
        return;
    }
    s_.ReportError(code);
}

void FaxTransmitPort::PostFinish(int code) {
    mirror();
    s_.lastError = code;
    s_.Finish();
}

} // namespace faxengine
