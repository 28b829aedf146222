// A fax program on one modem's pty, played by a test.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace vline::test {

// A fax program on one modem's pty.
class Dte {
public:
    explicit Dte(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd_, 0) << path;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~Dte() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    void send(const std::string& s) {
        ASSERT_EQ(::write(fd_, s.data(), s.size()), ssize_t(s.size()));
    }
    // Bytes written; stops when the pty takes no more.
    std::size_t sendAll(const std::vector<std::uint8_t>& data) {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    void setTermios(void (*f)(termios&)) {
        termios t{};
        ::tcgetattr(fd_, &t);
        f(t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    // Everything the modem said so far.
    std::string& heard() {
        char buf[4096];
        for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;)
            heard_.append(buf, static_cast<std::size_t>(n));
        return heard_;
    }
    void forget() { heard().clear(); }

private:
    int fd_ = -1;
    std::string heard_;
};

} // namespace vline::test
