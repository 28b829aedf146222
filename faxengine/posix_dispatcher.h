// The dispatcher on a POSIX terminal device: termios for the line, poll() for data,
// TIOCMGET/TIOCMSET for the modem lines, TIOCGICOUNT for line errors.
#pragma once

#include "faxengine/dispatcher.h"

#include <atomic>
#include <termios.h>

namespace faxengine {

class TVelkPosixDispatcher final : public TVelkBaseDispatcher {
public:
    explicit TVelkPosixDispatcher(const MillisecondClock& clock = systemClock());
    ~TVelkPosixDispatcher() override;

    // False for devices without modem lines (pseudo-terminals): they report CTS and DSR
    // as present and take DTR/RTS changes without effect.

    // How often modem lines are sampled where the device has them.
    static constexpr std::chrono::milliseconds kModemPollInterval{50};

protected:
    int pOpen(const std::string& device) override;
    void pClose() override;
    int pSetLine(const LineSettings& line) override;
    int pSetFlow(const FlowSettings& flow) override;
    int pSetDTR(bool on) override;
    int pSetRTS(bool on) override;
    std::uint8_t pModemLines() override;
    std::uint8_t pLineErrors() override;
    ComEvents pWaitEvent() override;
    void pWake() override;
    long pRead(std::span<std::uint8_t> into) override;
    long pWrite(std::span<const std::uint8_t> from) override;
    bool pWaitWritable() override;
    std::size_t pBytesWaiting() override;
    void pPurge(bool input, bool output) override;
    bool pHasModemLines() const override { return hasModemLines_; }

private:
    int setModemBit(int bit, bool on);
    int setHangupSpeed(bool hangUp);

    int fd_ = -1;
    int wakeFd_ = -1;
    bool hasModemLines_ = false;
    speed_t speedBeforeHangup_ = B19200; // restored when DTR comes back on a pty
    bool hasICount_ = false;
    std::atomic<std::uint8_t> lastLines_{0};
    std::uint8_t comSeenLines_ = 0; // what TComThread last reported
    struct Counts {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    } counts_;
};

} // namespace faxengine
