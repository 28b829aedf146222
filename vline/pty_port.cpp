#include "pty_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vline {

namespace {
std::runtime_error sysError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}
} // namespace

PtyPort::PtyPort() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        throw sysError("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        ::close(master_);
        throw sysError("grantpt/unlockpt");
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw sysError("ptsname");
    }
    path_ = name;
    // Open and close the slave once: until it has been opened the master reports no
    // hang-up, so a program's first open could not be told apart from no program.
    int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master_);
        throw sysError("open " + path_);
    }
    ::close(slave);
    resetLine();
}

PtyPort::~PtyPort() {
    if (!link_.empty()) {
        std::error_code ec;
        if (std::filesystem::is_symlink(link_, ec) &&
            std::filesystem::read_symlink(link_, ec) == path_)
            std::filesystem::remove(link_, ec);
    }
    if (master_ >= 0)
        ::close(master_);
}

void PtyPort::resetLine() {
    termios t{};
    if (::tcgetattr(master_, &t) != 0)
        return;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    // On Linux the master's termios calls act on the slave's settings.
    ::tcsetattr(master_, TCSANOW, &t);
}

bool PtyPort::dtr() const {
    if (!attached_)
        return false;
    termios t{};
    if (::tcgetattr(master_, &t) != 0)
        return true;
    return ::cfgetospeed(&t) != B0;
}

bool PtyPort::softwareFlow() const {
    termios t{};
    if (::tcgetattr(master_, &t) != 0)
        return false;
    return (t.c_iflag & IXON) != 0;
}

void PtyPort::poll() {
    pollfd p{master_, POLLIN, 0};
    ::poll(&p, 1, 0);
    bool now = (p.revents & POLLHUP) == 0;
    if (attached_ && !now) {
        out_.clear();
        resetLine();
    }
    attached_ = now;
}

std::vector<std::uint8_t> PtyPort::read(std::size_t max) {
    std::vector<std::uint8_t> buf;
    if (!attached_ || max == 0)
        return buf;
    buf.resize(max);
    ssize_t n = ::read(master_, buf.data(), buf.size());
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
}

void PtyPort::write(std::span<const std::uint8_t> data) {
    if (!attached_)
        return;
    out_.insert(out_.end(), data.begin(), data.end());
    flush();
}

void PtyPort::write(std::string_view text) {
    write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void PtyPort::flush() {
    while (!out_.empty()) {
        ssize_t n = ::write(master_, out_.data(), out_.size());
        if (n <= 0)
            break;
        out_.erase(out_.begin(), out_.begin() + n);
    }
}

void PtyPort::link(const std::filesystem::path& at) {
    std::error_code ec;
    if (std::filesystem::is_symlink(at, ec))
        std::filesystem::remove(at, ec);
    if (!at.parent_path().empty())
        std::filesystem::create_directories(at.parent_path(), ec);
    std::filesystem::create_symlink(path_, at);
    link_ = at;
}

} // namespace vline
