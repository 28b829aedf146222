#include "far_end.h"

#include "spandsp_api.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vline {

namespace {
constexpr int kSampleRate = 8000;

std::string frameText(const std::uint8_t* msg, int len) {
    std::string s;
    if (len >= 3)
        s = t30_frametype(msg[2]);
    s += " [";
    for (int i = 0; i < len; ++i) {
        char h[4];
        std::snprintf(h, sizeof h, i ? " %02x" : "%02x", msg[i]);
        s += h;
    }
    return s + "]";
}
} // namespace

void FarEndFax::FaxDeleter::operator()(fax_state_s* s) const { fax_free(s); }

FarEndFax::FarEndFax(const NumberConfig& cfg, bool calling, int callId,
                     const std::filesystem::path& receiveDir, CallLog& log)
    : cfg_(cfg), log_(log), calling_(calling) {
    fax_.reset(fax_init(nullptr, calling ? 1 : 0));
    if (!fax_)
        throw std::runtime_error("fax_init failed");
    fax_set_transmit_on_idle(fax_.get(), 1);
    t30_ = fax_get_t30_state(fax_.get());
    t30_set_tx_ident(t30_, cfg.ident.c_str());
    t30_set_ecm_capability(t30_, cfg.ecm ? 1 : 0);
    t30_set_supported_modems(t30_, T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17);
    t30_set_supported_compressions(t30_, cfg.twoDimensional ? T30_SUPPORT_T4_1D_COMPRESSION |
                                                                  T30_SUPPORT_T4_2D_COMPRESSION |
                                                                  T30_SUPPORT_T6_COMPRESSION
                                                            : T30_SUPPORT_T4_1D_COMPRESSION);
    t30_set_phase_e_handler(t30_, &FarEndFax::onPhaseE, this);
    t30_set_phase_d_handler(t30_, &FarEndFax::onPhaseD, this);
    t30_set_real_time_frame_handler(t30_, &FarEndFax::onFrame, this);
    if (cfg.mode == FarEndMode::Send) {
        file_ = cfg.file;
        t30_set_tx_file(t30_, file_.c_str(), -1, -1);
    } else {
        std::filesystem::create_directories(receiveDir);
        char name[64];
        std::snprintf(name, sizeof name, "fax-%04d-%s.tif", callId, cfg.number.c_str());
        file_ = receiveDir / name;
        t30_set_rx_file(t30_, file_.c_str(), -1);
    }
    log_.line("farend", std::string(calling ? "calls" : "answers") + ", " +
                            std::string(to_string(cfg.mode)) + "s, ident \"" + cfg.ident +
                            "\", ECM " + (cfg.ecm ? "on" : "off"));
}

FarEndFax::~FarEndFax() = default;

void FarEndFax::transmit(std::span<std::int16_t> out) {
    int n = 0;
    if (!finished_ || dropReason_.empty())
        n = fax_tx(fax_.get(), out.data(), static_cast<int>(out.size()));
    std::fill(out.begin() + std::max(n, 0), out.end(), std::int16_t{0});
}

void FarEndFax::receive(std::span<const std::int16_t> in) {
    samples_ += static_cast<long long>(in.size());
    if (dropAt_ >= 0 && samples_ >= dropAt_ && dropReason_.empty()) {
        dropReason_ = cfg_.hangupMidPage > 0 && pagesStarted_ == cfg_.hangupMidPage
                          ? "far end hung up in the middle of page " + std::to_string(pagesStarted_)
                          : "far end hung up after " + std::to_string(pagesConfirmed_) + " pages";
        log_.line("farend", dropReason_);
        fillStats();
        finished_ = true;
    }
    if (finished_)
        return;
    std::vector<std::int16_t> copy(in.begin(), in.end());
    fax_rx(fax_.get(), copy.data(), static_cast<int>(copy.size()));
}

void FarEndFax::onFrame(t30_state_s*, void* user, int incoming, const std::uint8_t* msg, int len) {
    auto* self = static_cast<FarEndFax*>(user);
    self->sessionStarted_ = true;
    self->log_.line("farend", std::string(incoming ? "rx " : "tx ") + frameText(msg, len));
    if (len < 3)
        return;
    const std::uint8_t fcf = msg[2] & 0xFE; // without the X bit
    // CFR and MCF start a page whichever way they go (an MCF after the last page starts
    // none, but then no page data follows to be cut).
    if (fcf == T30_CFR || fcf == T30_MCF) {
        if (fcf == T30_MCF) {
            ++self->pagesConfirmed_;
            if (self->cfg_.hangupAfterPages > 0 &&
                self->pagesConfirmed_ == self->cfg_.hangupAfterPages && self->dropAt_ < 0)
                // Let the MCF itself reach the other side before the line goes.
                self->dropAt_ = self->samples_ + kSampleRate * 3 / 2;
        }
        ++self->pagesStarted_;
        if (self->cfg_.hangupMidPage > 0 && self->pagesStarted_ == self->cfg_.hangupMidPage &&
            self->dropAt_ < 0)
            self->dropAt_ = self->samples_ + self->cfg_.midPageDelay.count() * kSampleRate / 1000;
    }
}

int FarEndFax::onPhaseD(t30_state_s*, void* user, int) {
    static_cast<FarEndFax*>(user)->fillStats();
    return T30_ERR_OK;
}

void FarEndFax::onPhaseE(t30_state_s*, void* user, int completion) {
    auto* self = static_cast<FarEndFax*>(user);
    self->completion_ = completion;
    self->fillStats();
    self->finished_ = true;
    self->log_.line("farend", "session ended: " + std::to_string(completion) + " " +
                                  t30_completion_code_to_str(completion));
}

void FarEndFax::fillStats() {
    t30_stats_t st{};
    t30_get_transfer_statistics(t30_, &st);
    statsPages_ = cfg_.mode == FarEndMode::Send ? st.pages_tx : st.pages_rx;
    statsBitRate_ = st.bit_rate;
    statsEcm_ = st.error_correcting_mode != 0;
    if (const char* id = t30_get_rx_ident(t30_))
        remoteId_ = id;
}

void FarEndFax::callEnded() {
    if (completion_ >= 0)
        return;
    fillStats();
    // Tell the T.30 engine the call is gone so that it closes the TIFF file properly.
    t30_terminate(t30_);
    log_.line("farend", "the other side hung up before the session ended");
}

ResultRecord FarEndFax::result(int callId) const {
    ResultRecord r;
    r.call = callId;
    r.number = cfg_.number;
    r.direction = std::string(to_string(cfg_.mode));
    if (completion_ >= 0) {
        r.completionCode = completion_;
        r.completionText = t30_completion_code_to_str(completion_);
    } else {
        r.completionCode = T30_ERR_CALLDROPPED;
        r.completionText = t30_completion_code_to_str(T30_ERR_CALLDROPPED);
    }
    r.pages = statsPages_;
    r.bitRate = statsBitRate_;
    r.ecm = statsEcm_;
    r.remoteId = remoteId_;
    r.file = file_.string();
    r.hangup = dropReason_;
    return r;
}

} // namespace vline
