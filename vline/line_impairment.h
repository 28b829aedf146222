// Faults laid on one direction of a call's audio: white noise and a silent stretch.
#pragma once

#include "config.h"

#include <cstdint>
#include <memory>
#include <span>

struct noise_state_s;

namespace vline {

class LineImpairment {
public:
    LineImpairment(const Impairments& imp, int seed);
    ~LineImpairment();
    LineImpairment(const LineImpairment&) = delete;
    LineImpairment& operator=(const LineImpairment&) = delete;

    // Applies the faults to the next block of audio, in place.
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
};

} // namespace vline
