#include "wav_writer.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vline {

namespace {
constexpr std::uint32_t kSampleRate = 8000;

void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back((v >> (8 * i)) & 0xFF);
}
void putTag(std::vector<std::uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
} // namespace

WavWriter::WavWriter(const std::filesystem::path& path, int channels) : channels_(channels) {
    if (channels < 1 || channels > 2)
        throw std::invalid_argument("WAVE channels must be 1 or 2");
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
    writeHeader();
}

WavWriter::~WavWriter() {
    if (!file_)
        return;
    writeHeader();
    std::fclose(file_);
}

void WavWriter::writeHeader() {
    const std::uint32_t blockAlign = 2u * static_cast<std::uint32_t>(channels_);
    const std::uint32_t dataBytes = frames_ * blockAlign;
    std::vector<std::uint8_t> h;
    putTag(h, "RIFF");
    put32(h, 36 + dataBytes);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, 16);
    put16(h, 1); // PCM
    put16(h, static_cast<std::uint16_t>(channels_));
    put32(h, kSampleRate);
    put32(h, kSampleRate * blockAlign);
    put16(h, static_cast<std::uint16_t>(blockAlign));
    put16(h, 16);
    putTag(h, "data");
    put32(h, dataBytes);
    long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h.data(), 1, h.size(), file_);
    if (here > 0)
        std::fseek(file_, here, SEEK_SET);
    std::fflush(file_);
    framesAtHeader_ = frames_;
}

void WavWriter::append(std::span<const std::int16_t> left, std::span<const std::int16_t> right) {
    if (channels_ != 2)
        throw std::logic_error("stereo append on a mono WAVE file");
    const std::size_t n = std::min(left.size(), right.size());
    std::vector<std::uint8_t> b;
    b.reserve(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
        put16(b, static_cast<std::uint16_t>(left[i]));
        put16(b, static_cast<std::uint16_t>(right[i]));
    }
    std::fwrite(b.data(), 1, b.size(), file_);
    frames_ += static_cast<std::uint32_t>(n);
    if (frames_ - framesAtHeader_ >= kSampleRate)
        writeHeader();
}

void WavWriter::append(std::span<const std::int16_t> mono) {
    if (channels_ != 1)
        throw std::logic_error("mono append on a stereo WAVE file");
    std::vector<std::uint8_t> b;
    b.reserve(mono.size() * 2);
    for (std::int16_t s : mono)
        put16(b, static_cast<std::uint16_t>(s));
    std::fwrite(b.data(), 1, b.size(), file_);
    frames_ += static_cast<std::uint32_t>(mono.size());
    if (frames_ - framesAtHeader_ >= kSampleRate)
        writeHeader();
}

} // namespace vline
