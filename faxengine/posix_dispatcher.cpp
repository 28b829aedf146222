#include "faxengine/posix_dispatcher.h"

#include "faxengine/live_flags.h"
#include "faxengine/engine_errors.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

namespace faxengine {


namespace {

bool baudConstant(int baud, speed_t& out) {
    static const std::pair<int, speed_t> kSpeeds[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},
        {150, B150},       {200, B200},       {300, B300},       {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (auto [b, s] : kSpeeds)
        if (b == baud) {
            out = s;
            return true;
        }
    return false;
}

// A device that disappeared reports EIO (a pty whose far side closed, an unplugged USB
// adapter) or ENXIO/ENODEV; report them all as "No such device".
long deviceError(int err) {
    if (err == EIO || err == ENXIO || err == ENODEV || err == EBADF)
        return -ENODEV;
    return -err;
}

std::uint8_t linesToMsr(int bits) {
    std::uint8_t m = 0;
    if (bits & TIOCM_CTS)
        m |= msr::CTS;
    if (bits & TIOCM_DSR)
        m |= msr::DSR;
    if (bits & TIOCM_RNG)
        m |= msr::RI;
    if (bits & TIOCM_CAR)
        m |= msr::DCD;
    return m;
}

} // namespace

TVelkPosixDispatcher::TVelkPosixDispatcher(const MillisecondClock& clock)
    : TVelkBaseDispatcher(clock) {}

TVelkPosixDispatcher::~TVelkPosixDispatcher() { CloseFromDestructor(); }

int TVelkPosixDispatcher::pOpen(const std::string& device) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0)
        return ec::OutOfMemory; // its events cannot be created
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int err = errno;
    if (fd_ >= 0 && !isatty(fd_)) {
        ::close(fd_);
        fd_ = -1;
        err = ENOTTY;
    }
    if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        // Another program holds the port.
        ::close(fd_);
        fd_ = -1;
        err = EBUSY;
    }
    if (fd_ < 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
        return -err;
    }
    ioctl(fd_, TIOCEXCL); // not shared; refused by some drivers, which is harmless
    int bits = 0;
    hasModemLines_ = ioctl(fd_, TIOCMGET, &bits) == 0;
    lastLines_ = hasModemLines_ ? linesToMsr(bits) : std::uint8_t(msr::CTS | msr::DSR);
    comSeenLines_ = lastLines_;
    serial_icounter_struct ic{};
    hasICount_ = ioctl(fd_, TIOCGICOUNT, &ic) == 0;
    if (hasICount_)
        counts_ = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return 0;
}

void TVelkPosixDispatcher::pClose() {
    if (fd_ >= 0) {
        tcflush(fd_, TCIOFLUSH);
        flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    fd_ = wakeFd_ = -1;
}

int TVelkPosixDispatcher::pSetLine(const LineSettings& line) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        return -errno;
    speed_t speed;
    if (!baudConstant(line.baud, speed))
        return ec::BaudRate;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    switch (line.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return ec::ByteSize;
    }
    switch (line.parity) {
    case TParity::pNone: break;
    case TParity::pOdd: t.c_cflag |= PARENB | PARODD; break;
    case TParity::pEven: t.c_cflag |= PARENB; break;
    case TParity::pMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case TParity::pSpace: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd_, TCSANOW, &t) != 0)
        return -errno;
    return 0;
}

int TVelkPosixDispatcher::pSetFlow(const FlowSettings& flow) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        return -errno;
    if (flow.hwOptions & (hwf::UseRTS | hwf::RequireCTS))
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (flow.swOptions == TSWFlowOptions::swfTransmit || flow.swOptions == TSWFlowOptions::swfBoth)
        t.c_iflag |= IXON;
    if (flow.swOptions == TSWFlowOptions::swfReceive || flow.swOptions == TSWFlowOptions::swfBoth)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = flow.xonChar;
    t.c_cc[VSTOP] = flow.xoffChar;
    if (tcsetattr(fd_, TCSANOW, &t) != 0)
        return -errno;
    return 0;
}

int TVelkPosixDispatcher::setModemBit(int bit, bool on) {
    if (!hasModemLines_)
        return 0;
    return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 ? 0 : -errno;
}

int TVelkPosixDispatcher::pSetDTR(bool on) {
    if (hasModemLines_)
        return setModemBit(TIOCM_DTR, on);
    // A pseudo-terminal has no modem lines: there, as on any terminal, the hang-up speed
    // B0 is how a program drops DTR, and the modem on the far side watches for it.
    return setHangupSpeed(!on);
}

int TVelkPosixDispatcher::setHangupSpeed(bool hangUp) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        return 0; // not a terminal at all: nothing to drop
    const speed_t now = cfgetospeed(&t);
    if (hangUp == (now == B0))
        return 0;
    if (hangUp)
        speedBeforeHangup_ = now;
    cfsetospeed(&t, hangUp ? B0 : speedBeforeHangup_);
    return tcsetattr(fd_, TCSANOW, &t) == 0 ? 0 : -errno;
}
int TVelkPosixDispatcher::pSetRTS(bool on) { return setModemBit(TIOCM_RTS, on); }

std::uint8_t TVelkPosixDispatcher::pModemLines() {
    if (hasModemLines_) {
        int bits = 0;
        if (ioctl(fd_, TIOCMGET, &bits) == 0)
            lastLines_ = linesToMsr(bits);
    }
    return lastLines_;
}

std::uint8_t TVelkPosixDispatcher::pLineErrors() {
    if (!hasICount_)
        return 0;
    serial_icounter_struct ic{};
    if (ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return 0;
    std::uint8_t e = 0;
    if (ic.overrun != counts_.overrun || ic.buf_overrun != counts_.bufOverrun)
        e |= lsr::Overrun;
    if (ic.parity != counts_.parity)
        e |= lsr::Parity;
    if (ic.frame != counts_.frame)
        e |= lsr::Framing;
    if (ic.brk != counts_.brk)
        e |= lsr::Break;
    counts_ = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return e;
}

ComEvents TVelkPosixDispatcher::pWaitEvent() {
    ComEvents ev;
    // Modem lines have no readiness event on a descriptor; sample them on a short cadence
    // where the device has them. The alternative technique also re-checks for data on the
    // same cadence, for drivers that do not signal it reliably.
    bool sm56 = useSm56Fix();
    int timeout = (hasModemLines_ || hasICount_ || sm56)
                      ? static_cast<int>(kModemPollInterval.count())
                      : -1;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        int n = poll(fds, 2, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ev.hangup = true;
            ev.hangupError = static_cast<int>(deviceError(errno));
            return ev;
        }
        if (fds[1].revents)
            return ev; // woken to stop
        if (fds[0].revents & POLLIN)
            ev.data = true;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            ev.hangup = true;
            ev.hangupError = -ENODEV;
        }
        if (sm56 && !ev.data && pBytesWaiting() > 0)
            ev.data = true;
        if (hasModemLines_) {
            std::uint8_t now = pModemLines();
            if ((comSeenLines_ ^ now) & 0xF0)
                ev.modem = true;
            comSeenLines_ = now;
        }
        if (hasICount_) {
            serial_icounter_struct ic{};
            if (ioctl(fd_, TIOCGICOUNT, &ic) == 0 &&
                (ic.frame != counts_.frame || ic.overrun != counts_.overrun ||
                 ic.parity != counts_.parity || ic.brk != counts_.brk ||
                 ic.buf_overrun != counts_.bufOverrun))
                ev.error = true;
        }
        if (ev.data || ev.hangup || ev.modem || ev.error)
            return ev;
    }
}

void TVelkPosixDispatcher::pWake() {
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(wakeFd_, &one, sizeof one);
    }
}

long TVelkPosixDispatcher::pRead(std::span<std::uint8_t> into) {
    for (;;) {
        ssize_t n = ::read(fd_, into.data(), into.size());
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        return deviceError(errno);
    }
}

long TVelkPosixDispatcher::pWrite(std::span<const std::uint8_t> from) {
    for (;;) {
        ssize_t n = ::write(fd_, from.data(), from.size());
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        return deviceError(errno);
    }
}

bool TVelkPosixDispatcher::pWaitWritable() {
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        if (StopRequested())
            return false;
        int n = poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || fds[1].revents)
            return false;
        // A hangup is reported by the write that follows.
        return true;
    }
}

std::size_t TVelkPosixDispatcher::pBytesWaiting() {
    int n = 0;
    if (ioctl(fd_, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<std::size_t>(n);
}

void TVelkPosixDispatcher::pPurge(bool input, bool output) {
    if (input && output)
        tcflush(fd_, TCIOFLUSH);
    else if (input)
        tcflush(fd_, TCIFLUSH);
    else if (output)
        tcflush(fd_, TCOFLUSH);
}

} // namespace faxengine
