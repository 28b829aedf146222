// parvane-cli term: a minimal terminal over the serial dispatcher, for checking a modem.
// Lines typed (or piped) are sent with CR; whatever the modem answers is printed.
#include "cli_args.h"

#include "faxengine/com_port.h"
#include "faxengine/engine_errors.h"
#include "settings/program_directory.h"
#include "settings/settings.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace cli {

namespace {

int usage() {
    std::fputs("usage: parvane-cli term --port N|--device PATH [--baud BPS] [--trace FILE]\n", stderr);
    return 2;
}

} // namespace

int runTerm(const CliArgs& args) {
    auto port = args.value("--port");
    auto device = args.value("--device");
    if (args.words.size() != 1 || port.has_value() == device.has_value())
        return usage();

    faxengine::TVelkComPort com;
    com.SetAutoOpen(false);
    com.SetPromptForPort(false);
    com.SetInSize(8192);
    com.SetOutSize(8192);
    try {
        if (auto baud = args.value("--baud"))
            com.SetBaud(std::stoi(*baud));
        if (device) {
            com.SetDevicePath(*device);
        } else {
            int n = std::stoi(*port);
            if (n < 1)
                return usage();
            // The port map and the serial switch come from the user's settings.
            auto dir = settings::resolveProgramDirectory(args.dataDir);
            settings::Settings s;
            settings::loadSettings(s, dir);
            settings::setLiveFlags(s);
            com.SetPortDeviceMap([s](int k) -> std::optional<std::string> {
                return s.devicePathForPort(k);
            });
            com.SetComNumber(n);
        }
    } catch (const std::invalid_argument&) {
        return usage();
    } catch (const std::out_of_range&) {
        return usage();
    }
    auto trace = args.value("--trace");
    if (trace) {
        com.SetTraceSize(static_cast<int>(faxengine::PortTrace::kMaxEntries));
        com.SetTraceName(*trace);
        com.SetTracing(faxengine::TTraceLogState::tlOn);
    }

    std::atomic<int> lost{0};
    std::atomic<long long> lastRx{0};
    auto nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    com.OnTriggerAvail = [&](faxengine::TVelkComPort& cp, std::uint16_t) {
        std::string got;
        std::uint8_t c;
        while (cp.Dispatcher().GetChar(c) == 0)
            got += static_cast<char>(c);
        std::fwrite(got.data(), 1, got.size(), stdout);
        std::fflush(stdout);
        lastRx = nowMs();
    };
    com.OnPortLost = [&](faxengine::TVelkComPort&, int code) { lost = code; };

    try {
        com.SetOpen(true);
    } catch (const faximage::EVelkException& e) {
        std::fprintf(stderr, "parvane-cli: %s: %s (%d)\n", com.DevicePath().c_str(), e.what(),
                     e.ErrorCode());
        return 1;
    }
    if (isatty(STDIN_FILENO))
        std::fprintf(stderr, "Connected to %s. Type AT commands; Ctrl-D ends.\n",
                     com.DevicePath().c_str());

    std::string line;
    bool eof = false;
    long long eofAt = 0;
    while (lost == 0) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (!eof && poll(&p, 1, 100) > 0) {
            char buf[512];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                eof = true;
                eofAt = nowMs();
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n') {
                    com.PutString(line + "\r");
                    line.clear();
                } else if (buf[i] != '\r') {
                    line += buf[i];
                }
            }
        }
        if (eof) {
            // Piped input: give the modem time to answer the last command.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            long long quietSince = std::max<long long>(lastRx.load(), eofAt);
            if (nowMs() - quietSince > 1000 || nowMs() - eofAt > 10000)
                break;
        }
    }
    int rc = 0;
    if (lost != 0) {
        std::fprintf(stderr, "\nparvane-cli: the port went away: %s\n",
                     faxengine::errorText(lost).c_str());
        rc = 1;
    }
    if (trace) {
        try {
            com.SetTracing(faxengine::TTraceLogState::tlDump);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "parvane-cli: trace not written: %s\n", e.what());
            rc = 1;
        }
    }
    com.SetOpen(false);
    return rc;
}

} // namespace cli
