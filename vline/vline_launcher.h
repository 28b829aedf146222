// Starts parvane-vline as a child process and learns its modems' port paths: the
// embedded default for a machine with no fax modem.
#pragma once

#include "ports_file.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vline {

struct LaunchOptions {
    std::filesystem::path executable;   // empty: findVlineExecutable()
    std::vector<std::string> arguments; // more options, e.g. {"--config", "line.conf"}
    std::chrono::milliseconds startTimeout{10000};
};

// The running line. The child exits when this object goes (SIGTERM, then SIGKILL after
// 3 s) and also by itself when the parent dies, since its standard input then closes.
class VirtualLine {
public:
    // Throws std::runtime_error when the program cannot be started or does not report
    // its ports in time (the message carries what it printed).
    static VirtualLine start(const LaunchOptions& options = {});

    VirtualLine(VirtualLine&& o) noexcept;
    VirtualLine& operator=(VirtualLine&& o) noexcept;
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;
    ~VirtualLine();

    // COM number, modem number and pty path of every modem, first modem first.
    const std::vector<PortEntry>& ports() const { return ports_; }
    // The pty of COMn, or "" when the line has no such port.
    std::string portPath(int com) const;
    const std::filesystem::path& logDir() const { return logDir_; }
    pid_t pid() const { return pid_; }
    bool running();
    // Stops the child and waits for it; returns its exit status (-1 if killed).
    int stop();

private:
    VirtualLine() = default;
    void release();

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::vector<PortEntry> ports_;
    std::filesystem::path logDir_;
};

// PARVANE_VLINE from the environment, else parvane-vline beside the running program or in
// the build tree it came from, else "parvane-vline" (looked up in PATH).
std::filesystem::path findVlineExecutable();

// More options for every line a program starts for itself, from the environment variable
// PARVANE_VLINE_ARGS (e.g. "--send fax.tif": its fax machine calls modem 100 with a fax).
inline constexpr const char* kExtraArgumentsVariable = "PARVANE_VLINE_ARGS";
// Words split at blanks; double quotes keep blanks inside a word.
std::vector<std::string> splitArguments(std::string_view text);

// Reads the start-up report ("port COMn NUMBER PATH", "log-dir DIR", "ready") into
// ports and logDir; returns true once "ready" was seen.
bool parseStartupLine(const std::string& line, std::vector<PortEntry>& ports,
                      std::filesystem::path& logDir);

} // namespace vline
