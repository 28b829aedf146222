// One direction of a call's audio: its transmission delay and the faults laid on it
// (white noise, a silent stretch).
#pragma once

#include "config.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct noise_state_s;

namespace vline {

class LineImpairment {
public:
    LineImpairment(const Impairments& imp, int seed, int delaySamples);
    ~LineImpairment();
    LineImpairment(const LineImpairment&) = delete;
    LineImpairment& operator=(const LineImpairment&) = delete;

    // Delays the next block of audio and applies the faults, in place.
    void apply(std::span<std::int16_t> audio);
    // True while the audio is being dropped.
    bool dropping() const;

private:
    struct NoiseDeleter {
        void operator()(noise_state_s* s) const;
    };
    std::unique_ptr<noise_state_s, NoiseDeleter> noise_;
    long long dropFrom_ = 0;
    long long dropTo_ = 0;
    long long samples_ = 0;
    std::vector<std::int16_t> delay_; // ring of the samples still on their way
    std::size_t delayPos_ = 0;
};

} // namespace vline
