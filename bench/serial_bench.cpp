// Serial dispatcher benchmark (run by hand, not by ctest):
//   serial_bench [--idle-seconds N] [--megabytes M]
// 1. CPU time of an open, idle port over N seconds (target: below 0.5 % of one core),
//    without and with an armed timer trigger (which makes the dispatcher tick).
// 2. Throughput through a pty pair with a data trigger on every line end (target: far
//    above 115200 bit/s).
#include "faxengine/com_port.h"

#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

using namespace faxengine;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~Pty() {
        if (slave >= 0)
            close(slave);
        if (master >= 0)
            close(master);
    }
};

void idle(int seconds, bool timerArmed) {
    Pty pty;
    TVelkComPort port;
    port.SetDevicePath(pty.path);
    port.SetInSize(8192);
    port.SetOutSize(8192);
    port.SetHWFlowOptions(hwf::UseRTS | hwf::RequireCTS);
    port.SetOpen(true);
    port.AddDataTrigger("OK\r\n", false);
    if (timerArmed) {
        int t = port.AddTimerTrigger();
        port.SetTimerTrigger(static_cast<std::uint16_t>(t), secsToTicks(3600), true);
    }
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = cpuSeconds() - c0;
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("idle port%s: %.3f s CPU in %.1f s = %.4f %% of one core\n",
                timerArmed ? " with an armed timer (50 ms dispatch tick)" : "", cpu, wall,
                100.0 * cpu / wall);
}

void throughput(int megabytes) {
    Pty pty;
    TVelkComPort port;
    port.SetDevicePath(pty.path);
    port.SetInSize(8192);
    port.SetOutSize(8192);
    port.SetOpen(true);
    close(pty.slave);
    pty.slave = -1;

    std::atomic<long long> lines{0}, bytes{0};
    port.AddDataTrigger("\r\n", false);
    port.OnTriggerData = [&](TVelkComPort& cp, std::uint16_t) {
        auto& d = cp.Dispatcher();
        std::uint8_t buf[256];
        std::size_t n = std::min(d.InBuffUsed(), sizeof buf);
        if (d.GetBlock({buf, n}) > 0) {
            bytes += static_cast<long long>(n);
            ++lines;
        }
    };

    const std::string line = "+FRH:3 0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123\r\n";
    const long long total = static_cast<long long>(megabytes) * 1024 * 1024;
    const long long wantLines = total / static_cast<long long>(line.size());
    std::string block;
    for (int i = 0; i < 64; ++i)
        block += line;
    double c0 = cpuSeconds();
    auto t0 = Clock::now();
    std::thread writer([&] {
        long long sent = 0;
        while (sent < wantLines) {
            std::size_t done = 0;
            while (done < block.size()) {
                ssize_t w = write(pty.master, block.data() + done, block.size() - done);
                if (w > 0)
                    done += static_cast<std::size_t>(w);
            }
            sent += 64;
        }
    });
    while (lines < wantLines && Clock::now() - t0 < std::chrono::seconds(120))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    double cpu = cpuSeconds() - c0;
    writer.join();
    double bps = static_cast<double>(bytes) * 10.0 / wall; // 10 bits per byte on a serial line
    std::printf("throughput: %lld lines, %lld bytes in %.2f s = %.0f bytes/s, %.0f lines/s,\n"
                "  %.0f bit/s at 10 bits per byte (%.0fx 115200 bit/s); CPU %.2f s\n",
                lines.load(), bytes.load(), wall, static_cast<double>(bytes) / wall,
                static_cast<double>(lines) / wall, bps, bps / 115200.0, cpu);
}

} // namespace

int main(int argc, char** argv) {
    int idleSeconds = 60, megabytes = 16;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--idle-seconds"))
            idleSeconds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--megabytes"))
            megabytes = std::atoi(argv[i + 1]);
    }
    throughput(megabytes);
    idle(idleSeconds, false);
    idle(idleSeconds, true);
    return 0;
}
