#include "class1_modem.h"

#include "call_log.h"
#include "spandsp_api.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vline {

namespace {
constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;
// Read the program's bytes in small pieces so that a CTS drop by the modem (at 3 kB of
// its 4 kB buffer) stops us before the buffer can overflow.
constexpr std::size_t kReadChunk = 256;
constexpr std::size_t kMaxReadPerStep = 8192;
} // namespace

std::string_view to_string(ModemRequest r) {
    switch (r) {
    case ModemRequest::Dial:
        return "dial";
    case ModemRequest::Answer:
        return "answer";
    case ModemRequest::Hangup:
        return "hangup";
    }
    return "?";
}

void ClassOneModem::T31Deleter::operator()(t31_state_s* s) const {
    // t31_free of spandsp 0.0.6 leaves the receive queue that t31_init allocated.
    if (s->rx_queue) {
        queue_free(s->rx_queue);
        s->rx_queue = nullptr;
    }
    t31_free(s);
}

ClassOneModem::ClassOneModem(std::string number) : number_(std::move(number)) { reset(false); }

ClassOneModem::~ClassOneModem() = default;

void ClassOneModem::reset(bool keepProfile) {
    std::optional<at_profile_t> profile;
    if (keepProfile && t31_)
        profile = t31_->at_state.p;
    t31_.reset(t31_init(nullptr, &ClassOneModem::onAtTx, this, &ClassOneModem::onModemControl,
                        this, nullptr, nullptr));
    if (!t31_)
        throw std::runtime_error("t31_init failed");
    // Silence while idle keeps the audio stream continuous for the line and recording.
    t31_set_transmit_on_idle(t31_.get(), 1);
    if (profile)
        t31_->at_state.p = *profile;
    cts_ = true;
    dteLine_.clear();
}

void ClassOneModem::setLog(CallLog* log) {
    flushDataCount();
    log_ = log;
}

bool ClassOneModem::onHook() const {
    return t31_->at_state.at_rx_mode == AT_MODE_ONHOOK_COMMAND;
}

int ClassOneModem::waitForCarrierSeconds() const { return t31_->at_state.p.s_regs[7]; }

std::vector<ModemAction> ClassOneModem::takeActions() {
    std::vector<ModemAction> out;
    out.swap(actions_);
    return out;
}

void ClassOneModem::serviceDte(int samples) {
    port_.poll();
    const bool attached = port_.attached();
    const bool dtr = port_.dtr();
    if (wasAttached_ && !attached) {
        // The program closed the port: hang up and give the next one a fresh modem.
        if (log_)
            log_->line(number_, "port closed by the program: hang up");
        if (!onHook())
            actions_.push_back({ModemRequest::Hangup, {}});
        reset(false);
    } else if (hadDtr_ && attached && !dtr) {
        if (log_)
            log_->line(number_, "DTR dropped: hang up");
        if (!onHook())
            actions_.push_back({ModemRequest::Hangup, {}});
        reset(true);
    }
    if (attached && !wasAttached_)
        quietSamples_ = 0;
    wasAttached_ = attached;
    hadDtr_ = dtr;
    quietSamples_ += samples;
    port_.flush();
    if (!attached || !dtr)
        return;

    std::size_t total = 0;
    while (cts_ && (!filter_ || filter_->ready()) && total < kMaxReadPerStep) {
        auto data = port_.read(kReadChunk);
        if (data.empty())
            break;
        total += data.size();
        quietSamples_ = 0;
        if (filter_)
            filter_->take(data);
        else
            feedDte(data);
    }
}

void ClassOneModem::setPageDamage(const DamagePlan& plan) {
    damage_.reset();
    if (plan.any())
        damage_.emplace(plan);
    sent_.clear();
    received_.clear();
}

void ClassOneModem::feedDte(std::span<const std::uint8_t> data) {
    if (data.empty())
        return;
    if (damage_ && ftmData_ && t31_->at_state.at_rx_mode == AT_MODE_STUFFED)
        return damagePageData(data);
    if (damage_ && fthData_ && !commandMode())
        watchFrames(data, sent_);
    logDte(data);
    t31_at_rx(t31_.get(), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()));
}

void ClassOneModem::damagePageData(std::span<const std::uint8_t> data) {
    logDte(data);
    const std::vector<std::uint8_t> out = damage_->pass(data);
    t31_at_rx(t31_.get(), reinterpret_cast<const char*>(out.data()), static_cast<int>(out.size()));
    if (auto note = damage_->takeNote(); note && log_)
        log_->line(number_, "page data on the line: " + *note);
}

// What the modem does with the data that follows a command.
void ClassOneModem::noteCommand(const std::string& line) {
    std::string upper;
    for (char c : line)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool query = upper.find("=?") != std::string::npos;
    ftmData_ = !query && upper.find("+FTM=") != std::string::npos;
    frhData_ = !query && upper.find("+FRH=") != std::string::npos;
    fthData_ = !query && upper.find("+FTH=") != std::string::npos;
    if (damage_ && ftmData_)
        damage_->startData();
    sent_.clear();
    received_.clear();
}

// Frames in either direction: the program's DCS says whether pages go with error
// correction (then they are left alone), the receiver's answer to a page which page and
// copy come next.
void ClassOneModem::watchFrames(std::span<const std::uint8_t> data, StuffedFrames& frames) {
    for (std::uint8_t b : data) {
        const auto f = frames.push(b);
        if (!f || f->size() < 3)
            continue;
        if (fcf::is((*f)[2], fcf::DCS))
            damage_->setErrorCorrection(decodeDcs(std::span(*f).subspan(3)).ec != 0);
        else
            damage_->answered((*f)[2]);
    }
}

bool ClassOneModem::commandMode() const {
    const int mode = t31_->at_state.at_rx_mode;
    return mode == AT_MODE_ONHOOK_COMMAND || mode == AT_MODE_OFFHOOK_COMMAND;
}

// Page data runs dry when the program has not given the modem enough bytes for the next
// block while the page is still going out: the modem then sends fill nobody asked for.
// Each stretch of such blocks counts as one underrun.
void ClassOneModem::watchForUnderrun(int samples) {
    const auto& tx = t31_->tx;
    const bool pageGoingOut = t31_->at_state.at_rx_mode == AT_MODE_STUFFED && tx.data_started && !tx.final;
    const int queued = (tx.in_bytes - tx.out_bytes + T31_TX_BUF_LEN) % T31_TX_BUF_LEN;
    const int needed = t31_->bit_rate * samples / (8000 * 8);
    const bool dry = pageGoingOut && queued < needed;
    if (dry && !runningDry_) {
        ++underruns_;
        ++underrunsInAll_;
    }
    runningDry_ = dry;
}

void ClassOneModem::transmit(std::span<std::int16_t> out) {
    watchForUnderrun(static_cast<int>(out.size()));
    int n = t31_tx(t31_.get(), out.data(), static_cast<int>(out.size()));
    std::fill(out.begin() + std::max(n, 0), out.end(), std::int16_t{0});
}

void ClassOneModem::receive(std::span<const std::int16_t> in) {
    // spandsp takes a non-const buffer but does not write to it.
    std::vector<std::int16_t> copy(in.begin(), in.end());
    t31_rx(t31_.get(), copy.data(), static_cast<int>(copy.size()));
}

void ClassOneModem::ring() { t31_call_event(t31_.get(), AT_CALL_EVENT_ALERTING); }
void ClassOneModem::connected() { t31_call_event(t31_.get(), AT_CALL_EVENT_CONNECTED); }
void ClassOneModem::answered() { t31_call_event(t31_.get(), AT_CALL_EVENT_ANSWERED); }
void ClassOneModem::busy() { t31_call_event(t31_.get(), AT_CALL_EVENT_BUSY); }
void ClassOneModem::noAnswer() { t31_call_event(t31_.get(), AT_CALL_EVENT_NO_ANSWER); }
void ClassOneModem::noDialtone() { t31_call_event(t31_.get(), AT_CALL_EVENT_NO_DIALTONE); }

void ClassOneModem::voice() {
    // The interpreter has no VOICE result of its own: report it and go back on hook.
    at_put_response(&t31_->at_state, "VOICE");
    at_set_at_rx_mode(&t31_->at_state, AT_MODE_ONHOOK_COMMAND);
    t31_->at_state.rings_indicated = 0;
}

void ClassOneModem::lineDropped() { t31_call_event(t31_.get(), AT_CALL_EVENT_HANGUP); }

void ClassOneModem::unobtainable() {
    // While dialling the interpreter reports nothing for a plain hang-up event.
    at_put_response_code(&t31_->at_state, AT_RESPONSE_CODE_NO_CARRIER);
    at_set_at_rx_mode(&t31_->at_state, AT_MODE_ONHOOK_COMMAND);
}

void ClassOneModem::ringingStopped() { t31_->at_state.rings_indicated = 0; }

int ClassOneModem::onModemControl(t31_state_s*, void* user, int op, const char* num) {
    auto* self = static_cast<ClassOneModem*>(user);
    switch (op) {
    case AT_MODEM_CONTROL_CALL:
        self->actions_.push_back({ModemRequest::Dial, num ? num : ""});
        break;
    case AT_MODEM_CONTROL_ANSWER:
        self->actions_.push_back({ModemRequest::Answer, {}});
        break;
    case AT_MODEM_CONTROL_HANGUP:
    case AT_MODEM_CONTROL_ONHOOK:
        self->actions_.push_back({ModemRequest::Hangup, {}});
        break;
    case AT_MODEM_CONTROL_CTS: {
        const bool on = num != nullptr;
        if (on != self->cts_) {
            self->cts_ = on;
            // A program that set up XON/XOFF flow control only hears about it in-band.
            if (self->port_.softwareFlow()) {
                const std::uint8_t c = on ? kXon : kXoff;
                self->port_.write(std::span(&c, 1));
            }
        }
        break;
    }
    default:
        break;
    }
    return 0;
}

int ClassOneModem::onAtTx(at_state_s*, void* user, const std::uint8_t* buf, std::size_t len) {
    auto* self = static_cast<ClassOneModem*>(user);
    std::span data(buf, len);
    self->logModem(data);
    if (self->damage_ && self->frhData_)
        self->watchFrames(data, self->received_);
    self->port_.write(data);
    return static_cast<int>(len);
}

void ClassOneModem::flushDataCount() {
    if (!log_)
        return;
    if (dteDataBytes_ > 0)
        log_->line(number_, "program data: " + std::to_string(dteDataBytes_) + " bytes");
    if (modemDataBytes_ > 0)
        log_->line(number_, "modem data: " + std::to_string(modemDataBytes_) + " bytes");
    if (underruns_ > 0)
        log_->line(number_, "page data ran dry " + std::to_string(underruns_) + " times");
    dteDataBytes_ = modemDataBytes_ = 0;
    underruns_ = 0;
}

void ClassOneModem::logDte(std::span<const std::uint8_t> data) {
    const int mode = t31_->at_state.at_rx_mode;
    if (mode != AT_MODE_ONHOOK_COMMAND && mode != AT_MODE_OFFHOOK_COMMAND) {
        dteDataBytes_ += static_cast<long long>(data.size());
        return;
    }
    for (std::uint8_t b : data) {
        if (b == '\r' || b == '\n') {
            if (!dteLine_.empty()) {
                flushDataCount();
                if (log_)
                    log_->line(number_, "<- " + dteLine_);
                noteCommand(dteLine_);
                dteLine_.clear();
            }
        } else if (dteLine_.size() < 256) {
            dteLine_ += printable(std::span(&b, 1));
        }
    }
}

void ClassOneModem::logModem(std::span<const std::uint8_t> data) {
    if (!log_)
        return;
    const bool text = std::all_of(data.begin(), data.end(), [](std::uint8_t b) {
        return b == '\r' || b == '\n' || (b >= 0x20 && b < 0x7F);
    });
    if (text) {
        std::string s;
        for (std::uint8_t b : data)
            if (b != '\r' && b != '\n')
                s += static_cast<char>(b);
        if (!s.empty()) {
            flushDataCount();
            log_->line(number_, "-> " + s);
        }
    } else if (data.size() <= 64) {
        std::string hex;
        for (std::uint8_t b : data) {
            char h[4];
            std::snprintf(h, sizeof h, "%02x ", b);
            hex += h;
        }
        log_->line(number_, "-> frame " + hex);
    } else {
        modemDataBytes_ += static_cast<long long>(data.size());
    }
}

} // namespace vline
