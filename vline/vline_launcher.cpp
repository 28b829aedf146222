#include "vline_launcher.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace vline {

bool parseStartupLine(const std::string& line, std::vector<PortEntry>& ports,
                      std::filesystem::path& logDir) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "ready")
        return true;
    if (word == "port") {
        std::string com, number, path;
        in >> com >> number;
        std::getline(in >> std::ws, path);
        if (com.size() > 3 && com.starts_with("COM") && !path.empty()) {
            try {
                ports.push_back({std::stoi(com.substr(3)), number, path});
            } catch (const std::exception&) {
            }
        }
    } else if (word == "log-dir") {
        std::string dir;
        std::getline(in >> std::ws, dir);
        logDir = dir;
    }
    return false;
}

std::vector<std::string> splitArguments(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::filesystem::path findVlineExecutable() {
    if (const char* env = std::getenv("PARVANE_VLINE"); env && *env)
        return env;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const auto& candidate : {self.parent_path() / "parvane-vline",
                                      self.parent_path() / ".." / "vline" / "parvane-vline"})
            if (std::filesystem::exists(candidate, ec))
                return candidate;
    }
#ifdef PARVANE_VLINE_BUILD_PATH
    if (std::filesystem::exists(PARVANE_VLINE_BUILD_PATH, ec))
        return PARVANE_VLINE_BUILD_PATH;
#endif
    return "parvane-vline";
}

VirtualLine VirtualLine::start(const LaunchOptions& options) {
    const std::filesystem::path exe =
        options.executable.empty() ? findVlineExecutable() : options.executable;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);

    std::vector<std::string> args{exe.string(), "--child"};
    args.insert(args.end(), options.arguments.begin(), options.arguments.end());
    if (const char* extra = std::getenv(kExtraArgumentsVariable); extra && *extra) {
        const auto more = splitArguments(extra);
        args.insert(args.end(), more.begin(), more.end());
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    VirtualLine line;
    const bool search = exe.string().find('/') == std::string::npos;
    int rc = search ? ::posix_spawnp(&line.pid_, exe.c_str(), &fa, nullptr, argv.data(), environ)
                    : ::posix_spawn(&line.pid_, exe.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    line.stdinFd_ = in[1];
    line.stdoutFd_ = out[0];
    if (rc != 0) {
        line.pid_ = -1;
        throw std::runtime_error("cannot start " + exe.string() + ": " + std::strerror(rc));
    }

    // Read the report line by line until "ready", the child's exit or the time limit.
    const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
    std::string pending, transcript;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw std::runtime_error(exe.string() + " did not report its ports in time: " + transcript);
        pollfd p{line.stdoutFd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[512];
        ssize_t n = ::read(line.stdoutFd_, buf, sizeof buf);
        if (n <= 0)
            throw std::runtime_error(exe.string() + " exited before it was ready: " + transcript);
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string l = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            transcript += l + "; ";
            if (parseStartupLine(l, line.ports_, line.logDir_))
                return line;
        }
    }
}

VirtualLine::VirtualLine(VirtualLine&& o) noexcept { *this = std::move(o); }

VirtualLine& VirtualLine::operator=(VirtualLine&& o) noexcept {
    if (this != &o) {
        release();
        pid_ = std::exchange(o.pid_, -1);
        stdinFd_ = std::exchange(o.stdinFd_, -1);
        stdoutFd_ = std::exchange(o.stdoutFd_, -1);
        ports_ = std::move(o.ports_);
        logDir_ = std::move(o.logDir_);
    }
    return *this;
}

VirtualLine::~VirtualLine() { release(); }

void VirtualLine::release() {
    stop();
}

std::string VirtualLine::portPath(int com) const {
    for (const auto& p : ports_)
        if (p.com == com)
            return p.path;
    return {};
}

bool VirtualLine::running() {
    if (pid_ <= 0)
        return false;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int VirtualLine::stop() {
    int status = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int st = 0;
        pid_t r = 0;
        for (int i = 0; i < 300 && (r = ::waitpid(pid_, &st, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (r == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &st, 0);
        } else if (r == pid_ && WIFEXITED(st)) {
            status = WEXITSTATUS(st);
        }
        pid_ = -1;
    }
    for (int* fd : {&stdinFd_, &stdoutFd_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    return status;
}

} // namespace vline
