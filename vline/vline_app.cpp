#include "vline_app.h"

#include "audio_clock.h"
#include "exchange.h"
#include "ports_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vline {

namespace {

// Signals arrive through a descriptor that each step polls, so no handler has to touch
// program state from a signal context.
class SignalWatch {
public:
    SignalWatch() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
        fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        // A parent that stops reading our output must not kill us mid-call.
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~SignalWatch() {
        if (fd_ >= 0)
            ::close(fd_);
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;
    // The signal number caught, or 0.
    int caught() const {
        signalfd_siginfo info{};
        if (fd_ >= 0 && ::read(fd_, &info, sizeof info) == sizeof info)
            return static_cast<int>(info.ssi_signo);
        return 0;
    }

private:
    int fd_ = -1;
    sigset_t old_{};
};

// True once standard input reached its end (the parent went away).
bool stdinClosed() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    char buf[256];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
}

} // namespace

std::filesystem::path defaultLogDir() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::filesystem::path(state) / "parvane-vline";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local/state/parvane-vline";
    return std::filesystem::temp_directory_path() / ("parvane-vline-" + std::to_string(::getuid()));
}

int runLine(const Config& cfg, std::ostream& out, std::ostream& err) {
    const std::filesystem::path logDir = cfg.logDir.empty() ? defaultLogDir() : cfg.logDir;
    std::filesystem::create_directories(logDir);

    SignalWatch signals;
    Exchange exchange(cfg, logDir);

    std::vector<PortEntry> ports;
    int com = cfg.firstCom;
    for (const auto& m : exchange.modems())
        ports.push_back({com++, m->number(), m->port().path()});
    for (const auto& p : ports)
        out << "port COM" << p.com << ' ' << p.number << ' ' << p.path << '\n';
    for (const auto& n : cfg.numbers) {
        if (n.kind == NumberKind::FarEnd)
            out << "farend " << n.number << ' ' << to_string(n.mode) << '\n';
        else if (n.kind == NumberKind::Line)
            out << "number " << n.number << ' ' << to_string(n.condition) << '\n';
    }
    out << "log-dir " << logDir.string() << '\n';
    if (!cfg.portsFile.empty())
        writePortsFile(cfg.portsFile, ports);
    if (!cfg.updateIni.empty())
        updateIniFile(cfg.updateIni, ports);
    out << "ready" << std::endl;

    int status = 0;
    bool stop = false;
    exchange.onCallEnded([&](const ResultRecord& r, CallOutcome outcome) {
        err << "parvane-vline: call " << r.call << " to " << r.number << " ended: "
            << to_string(outcome) << (r.hangup.empty() ? "" : " (" + r.hangup + ")");
        if (r.direction != "none")
            err << ", far end result " << r.completionCode << " " << r.completionText << ", "
                << r.pages << " pages at " << r.bitRate << " bps";
        err << std::endl;
        if (r.direction != "none" && r.completionCode != 0)
            status = 1;
        if (cfg.once)
            stop = true;
    });

    AudioClock clock;
    // With --once the line stays up a little after the call, until the programs closed
    // their ports, so that their closing commands (ATH, ATZ) still get an answer.
    constexpr long long kOnceGraceBlocks = 5 * 50;
    long long graceLeft = kOnceGraceBlocks;
    auto anyAttached = [&] {
        for (const auto& m : exchange.modems())
            if (m->port().attached())
                return true;
        return false;
    };
    for (;;) {
        if (stop && (--graceLeft <= 0 || !anyAttached()))
            break;
        if (int sig = signals.caught()) {
            err << "parvane-vline: " << strsignal(sig) << ", stopping" << std::endl;
            break;
        }
        if (cfg.child && stdinClosed())
            break;
        const int due = clock.wait();
        for (int i = 0; i < due; ++i)
            exchange.step();
    }
    exchange.shutdown();
    if (clock.resyncs() > 0)
        err << "parvane-vline: the audio clock fell behind " << clock.resyncs()
            << " times (the machine was too busy)" << std::endl;
    return status;
}

} // namespace vline
