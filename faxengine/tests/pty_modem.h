// A scripted modem on the far side of a pseudo-terminal: the port under test opens the
// slave device, the test reads and writes the master.
#pragma once

#include <pty.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace faxengine::test {

class PtyModem {
public:
    PtyModem() {
        char name[256] = {};
        int slave = -1;
        if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
            path_ = name;
            // Keep the slave open until the port has it, so that nothing is lost; the
            // test closes it with ReleaseSlave().
            slave_ = slave;
        }
    }
    ~PtyModem() {
        Stop();
        ReleaseSlave();
        CloseMaster();
    }
    PtyModem(const PtyModem&) = delete;
    PtyModem& operator=(const PtyModem&) = delete;

    const std::string& Path() const { return path_; }
    int Master() const { return master_; }
    void ReleaseSlave() {
        if (slave_ >= 0)
            ::close(slave_);
        slave_ = -1;
    }
    void CloseMaster() {
        Stop();
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    void Send(const std::string& s) {
        std::size_t done = 0;
        while (done < s.size()) {
            ssize_t n = ::write(master_, s.data() + done, s.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }

    // Reads what the port sent, waiting up to timeout for at least min bytes.
    std::string Receive(std::size_t min, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::string got;
        auto until = std::chrono::steady_clock::now() + timeout;
        while (got.size() < min && std::chrono::steady_clock::now() < until) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                char buf[4096];
                ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, static_cast<std::size_t>(n));
            }
        }
        return got;
    }

    // Answers every line ending in CR with reply(line) until stopped.
    void Script(std::function<std::string(const std::string&)> reply) {
        Stop();
        running_ = true;
        thread_ = std::thread([this, reply] {
            std::string line;
            while (running_) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 20) <= 0)
                    continue;
                char c;
                if (::read(master_, &c, 1) != 1)
                    continue;
                if (c != '\r') {
                    line += c;
                    continue;
                }
                std::string r = reply(line);
                line.clear();
                Send(r);
            }
        });
    }
    void Stop() {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Waits for a condition with a generous deadline; the machine may be busy.
inline bool eventually(const std::function<bool()>& cond,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

} // namespace faxengine::test
