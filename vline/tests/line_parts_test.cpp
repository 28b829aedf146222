#include "audio_clock.h"
#include "call_log.h"
#include "line_impairment.h"
#include "wav_writer.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <unistd.h>

using namespace vline;
using namespace std::chrono_literals;

namespace {
std::filesystem::path tempDir() {
    auto d = std::filesystem::temp_directory_path() /
             ("vline-parts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
}
std::vector<std::uint8_t> readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
} // namespace

TEST(VlineLineParts, WaveFileHeaderMatchesItsData) {
    const auto file = tempDir() / "call.wav";
    {
        WavWriter w(file, 2);
        std::vector<std::int16_t> left(12000, 1000), right(12000, -2);
        w.append(left, right);
        // A shorter channel limits the frames written.
        w.append(std::span(left).first(10), std::span(right).first(4));
        EXPECT_EQ(w.frames(), 12004u);
    }
    auto b = readAll(file);
    ASSERT_EQ(b.size(), 44u + 12004u * 4);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 24), 8000u);      // sample rate
    EXPECT_EQ(le32(b, 28), 8000u * 4);  // byte rate
    EXPECT_EQ(le32(b, 40), 12004u * 4); // data size
    EXPECT_EQ(b[44], 1000 & 0xFF);      // first left sample
    EXPECT_EQ(b[46], 0xFE);             // first right sample, -2
    if (std::system("command -v soxi >/dev/null 2>&1") == 0) {
        // A reader nobody here wrote agrees on the length.
        std::string cmd = "soxi -s " + file.string() + " > " + file.string() + ".len";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream len(file.string() + ".len");
        long n = 0;
        len >> n;
        EXPECT_EQ(n, 12004);
    }
    std::filesystem::remove_all(file.parent_path());
}

TEST(VlineLineParts, DelayDropAndNoise) {
    Impairments imp;
    imp.dropStart = 10ms; // samples 80 ..
    imp.dropLength = 5ms; // .. 119 silenced
    LineImpairment line(imp, 1, 40);
    std::vector<std::int16_t> a(200);
    std::iota(a.begin(), a.end(), 1);
    line.apply(std::span(a).first(100));
    line.apply(std::span(a).subspan(100));
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(a[i], 0) << i; // still on its way
    EXPECT_EQ(a[40], 1);
    EXPECT_EQ(a[79], 40);
    EXPECT_EQ(a[80], 0);
    EXPECT_EQ(a[119], 0);
    EXPECT_EQ(a[120], 81); // delay keeps running through the drop

    Impairments noisy;
    noisy.noiseDbm0 = -20.0;
    LineImpairment hiss(noisy, 7, 0);
    std::vector<std::int16_t> silence(16000, 0);
    hiss.apply(silence);
    double power = 0;
    for (auto s : silence)
        power += double(s) * s;
    const double rms = std::sqrt(power / silence.size());
    // 0 dBm0 is a sine of peak 32768/1.41 (μ-law reference about 3.14 dB below full scale).
    const double dbm0 = 20 * std::log10(rms / 32768.0) + 3.14;
    EXPECT_NEAR(dbm0, -20.0, 4.0);
}

TEST(VlineLineParts, ClockCatchesUpAfterAStall) {
    // A loaded machine may stall this thread anywhere, so only lower bounds are exact.
    AudioClock clock(10ms);
    const int first = clock.wait();
    EXPECT_GE(first, 1);
    std::this_thread::sleep_for(35ms);
    // Blocks missed during the stall are due at once, so audio time keeps up with real time.
    const int due = clock.wait();
    if (clock.resyncs() == 0) {
        EXPECT_GE(due, 3);
        EXPECT_LE(due, AudioClock::maxCatchUp);
        EXPECT_EQ(clock.blocks(), first + due);
    } else {
        EXPECT_EQ(due, 1); // stalled past the catch-up limit: started afresh
    }
}

TEST(VlineLineParts, LogTextAndResultRecord) {
    const std::uint8_t bytes[] = {'A', 'T', '\r', '\n', 0x10, 0x03, 0xFF};
    EXPECT_EQ(printable(bytes), "AT<CR><LF><DLE><ETX><FF>");
    ResultRecord r;
    r.call = 3;
    r.number = "200";
    r.direction = "receive";
    r.completionCode = 0;
    r.completionText = "OK";
    r.pages = 2;
    r.bitRate = 9600;
    r.remoteId = "say \"hi\"";
    EXPECT_EQ(r.format(), "call=3 number=200 direction=receive result=0 result_text=\"OK\" pages=2 "
                          "bit_rate=9600 ecm=off remote_id=\"say \\\"hi\\\"\" file=\"\"");
}
