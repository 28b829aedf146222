// The virtual line's cost: CPU time of one active fax call per second of call audio
// (the goal: well below one core, so that two calls and the program under test fit on a
// 2-core machine), and the timing jitter of the 20 ms audio clock, idle and carrying a
// call. Run by hand: build/bench/vline_bench (or build/vline/vline_bench).
#include "audio_clock.h"
#include "call.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <tiffio.h>
#include <unistd.h>

using namespace vline;
using namespace std::chrono;

namespace {

// A one-page G3 TIFF with some black bars, for the far end to send.
void writePage(const std::filesystem::path& file) {
    TIFF* t = TIFFOpen(file.c_str(), "w");
    const int width = 1728, rows = 1100;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 98.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
    TIFFSetField(t, TIFFTAG_PAGENUMBER, 0, 1);
    std::vector<unsigned char> row(width / 8);
    for (int r = 0; r < rows; ++r) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = ((r / 20) % 3 == 0 && (i / 8) % 2 == 0) ? 0xFF : 0x00;
        TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(r), 0);
    }
    TIFFClose(t);
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct FarEndPair {
    NumberConfig sender, receiver;
    std::unique_ptr<Call> call;
    FarEndPair(const std::filesystem::path& dir, const std::filesystem::path& page) {
        sender.kind = receiver.kind = NumberKind::FarEnd;
        sender.number = "201";
        sender.mode = FarEndMode::Send;
        sender.file = page;
        sender.ecm = false;
        receiver.number = "200";
        receiver.ecm = false;
        Party a, b;
        a.farEndCfg = &sender;
        b.farEndCfg = &receiver;
        CallTiming t{6 * 8000, 8000, 8000, 60 * 8000, 400};
        call = std::make_unique<Call>(1, std::move(a), std::move(b), &receiver, "200",
                                      Condition::Normal, t, dir, false, false);
    }
};

void printLateness(const char* what, std::vector<microseconds> v) {
    std::sort(v.begin(), v.end());
    auto pct = [&](double p) { return v[static_cast<std::size_t>(p * (v.size() - 1))].count(); };
    double mean = 0;
    for (auto x : v)
        mean += x.count();
    mean /= v.size();
    std::printf("%-34s %6zu blocks  mean %7.1f us  p50 %6lld us  p99 %6lld us  max %6lld us\n",
                what, v.size(), mean, static_cast<long long>(pct(0.5)),
                static_cast<long long>(pct(0.99)), static_cast<long long>(v.back().count()));
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / ("vline-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto page = dir / "page.tif";
    writePage(page);

    // 1. CPU per second of audio: a whole call (far end to far end: the same DSP as a
    //    modem and the far end), stepped as fast as it goes.
    {
        FarEndPair pair(dir, page);
        const double cpu0 = cpuSeconds();
        long long samples = 0;
        while (pair.call->state() != CallState::Ended && samples < 8000LL * 300) {
            pair.call->step(160);
            samples += 160;
        }
        const double cpu = cpuSeconds() - cpu0;
        const double audio = samples / 8000.0;
        const ResultRecord r = pair.call->result();
        std::printf("one call: %.1f s of line audio in %.3f s CPU = %.2f %% of one core "
                    "(result %d, %d pages at %d bps)\n",
                    audio, cpu, 100.0 * cpu / audio, r.completionCode, r.pages, r.bitRate);
    }

    // 2. Clock jitter over 10 s, idle, then while carrying a call in real time.
    {
        AudioClock clock;
        clock.keepLateness(true);
        while (clock.blocks() < 500)
            clock.wait();
        printLateness("clock jitter, idle:", clock.lateness());
    }
    {
        FarEndPair pair(dir, page);
        AudioClock clock;
        clock.keepLateness(true);
        const double cpu0 = cpuSeconds();
        while (clock.blocks() < 500) {
            for (int i = clock.wait(); i > 0; --i)
                pair.call->step(160);
        }
        const double cpu = cpuSeconds() - cpu0;
        printLateness("clock jitter, carrying a call:", clock.lateness());
        std::printf("real-time call: %.3f s CPU in %.1f s = %.2f %% of one core, resyncs %d\n", cpu,
                    clock.blocks() * 0.02, 100.0 * cpu / (clock.blocks() * 0.02), clock.resyncs());
    }
    std::filesystem::remove_all(dir);
    return 0;
}
