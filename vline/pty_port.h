// A pseudo-terminal that a fax program opens like a serial port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vline {

// Owns the master side of a pty. The slave path is what the fax program opens.
// The program's side of the line is seen through the slave's termios: a speed of
// B0 means the program dropped DTR, IXON means it expects XON/XOFF flow control.
class PtyPort {
public:
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    const std::string& path() const { return path_; }

    // True while a program holds the slave open. Updated by poll().
    bool attached() const { return attached_; }
    // True while the program holds DTR high: attached and the line speed is not B0.
    bool dtr() const;
    // True when the program asked for XON/XOFF flow control on its side.
    bool softwareFlow() const;

    // Checks whether a program opened or closed the slave since the last call. On a
    // close the slave's termios are put back to raw 19200 8N1 so that the next program
    // starts from a known line, as a freshly powered modem would.
    void poll();

    // Reads what the program wrote, at most max bytes; empty when nothing is waiting.
    std::vector<std::uint8_t> read(std::size_t max);
    // Queues bytes for the program and writes as much as the pty takes now. Bytes for a
    // port that no program holds are dropped, as a modem's output with nobody listening.
    void write(std::span<const std::uint8_t> data);
    void write(std::string_view text);
    // Writes queued bytes the pty could not take before.
    void flush();
    std::size_t pending() const { return out_.size(); }

    // Makes a symbolic link to the slave (replacing an old link there).
    void link(const std::filesystem::path& at);

private:
    void resetLine();

    int master_ = -1;
    std::string path_;
    bool attached_ = false;
    std::vector<std::uint8_t> out_;
    std::filesystem::path link_;
};

} // namespace vline
