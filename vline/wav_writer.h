// Records the audio of a call as a WAVE file (16-bit PCM, 8000 samples/s).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace vline {

// Two channels: left what the caller sent, right what the answerer sent. The header's
// sizes are written when the file closes; a file cut short by a crash still plays as
// far as the header says (the header is rewritten every second of audio).
class WavWriter {
public:
    WavWriter(const std::filesystem::path& path, int channels);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends frames: one sample of each channel per frame, interleaved here.
    void append(std::span<const std::int16_t> left, std::span<const std::int16_t> right);
    void append(std::span<const std::int16_t> mono);
    std::uint32_t frames() const { return frames_; }

private:
    void writeHeader();

    std::FILE* file_ = nullptr;
    int channels_;
    std::uint32_t frames_ = 0;
    std::uint32_t framesAtHeader_ = 0;
};

} // namespace vline
