#include "line_impairment.h"

#include "spandsp_api.h"

#include <algorithm>
#include <stdexcept>

namespace vline {

void LineImpairment::NoiseDeleter::operator()(noise_state_s* s) const { noise_free(s); }

LineImpairment::LineImpairment(const Impairments& imp, int seed, int delaySamples)
    : delay_(static_cast<std::size_t>(std::max(delaySamples, 0))) {
    if (imp.noiseDbm0) {
        noise_.reset(noise_init_dbm0(nullptr, seed, static_cast<float>(*imp.noiseDbm0),
                                     NOISE_CLASS_AWGN, 0));
        if (!noise_)
            throw std::runtime_error("noise_init_dbm0 failed");
    }
    constexpr long long perMs = 8;
    dropFrom_ = imp.dropStart.count() * perMs;
    dropTo_ = dropFrom_ + imp.dropLength.count() * perMs;
}

LineImpairment::~LineImpairment() = default;

bool LineImpairment::dropping() const { return samples_ >= dropFrom_ && samples_ < dropTo_; }

void LineImpairment::apply(std::span<std::int16_t> audio) {
    for (auto& s : audio) {
        if (!delay_.empty()) {
            std::swap(s, delay_[delayPos_]);
            delayPos_ = (delayPos_ + 1) % delay_.size();
        }
        if (dropping())
            s = 0;
        if (noise_) {
            int v = s + noise(noise_.get());
            s = static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
        }
        ++samples_;
    }
}

} // namespace vline
