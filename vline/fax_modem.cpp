#include "fax_modem.h"

#include "pty_port.h"

namespace vline {

FaxModem::FaxModem(std::string number, std::vector<FaxClass> classes)
    : one_(number), two_(number, one_.port()) {
    two_.setClasses(std::move(classes));
    one_.setDteFilter(this);
}

FaxModem::~FaxModem() {
    one_.setDteFilter(nullptr);
}

void FaxModem::serviceDte(int samples) {
    one_.serviceDte(samples);
    // The Class 1 modem noticed the program coming, going and dropping DTR; the Class 2
    // side follows it.
    const bool attached = port().attached();
    const bool dtr = port().dtr();
    if (wasAttached_ && !attached) {
        two_.reset(false);
        line_.clear();
    } else if (hadDtr_ && attached && !dtr) {
        if (two_.inCall())
            two_.hangup();
        two_.reset(true);
        line_.clear();
    }
    wasAttached_ = attached;
    hadDtr_ = dtr;
    two_.step(samples);
}

bool FaxModem::ready() const {
    return two_.ready();
}

void FaxModem::take(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        if (two_.active()) {
            const std::size_t used = two_.fromDte(data);
            data = data.subspan(used);
            if (auto line = two_.takeHandover()) {
                // Back to Class 0/1: the T.31 modem executes and answers this line.
                const std::string l = *line + "\r";
                one_.feedDte(std::span(reinterpret_cast<const std::uint8_t*>(l.data()), l.size()));
            }
            continue;
        }
        toClassOne(data);
        return;
    }
}

void FaxModem::toClassOne(std::span<const std::uint8_t> data) {
    std::size_t i = 0;
    while (i < data.size()) {
        if (two_.active()) {
            take(data.subspan(i));
            return;
        }
        if (!one_.commandMode()) {
            // Data for the T.31 modem: up to where it might go back to commands.
            one_.feedDte(data.subspan(i));
            return;
        }
        const std::uint8_t b = data[i++];
        if (b != '\r') {
            if (b == '\n' && line_.empty())
                continue;
            if (line_.size() < 512)
                line_ += static_cast<char>(b);
            continue;
        }
        std::string l;
        l.swap(line_);
        if (ClassTwoModem::wantsClassTwo(l)) {
            two_.executeLine(l);
        } else {
            two_.observeLine(l);
            l += '\r';
            one_.feedDte(std::span(reinterpret_cast<const std::uint8_t*>(l.data()), l.size()));
        }
    }
}

void FaxModem::transmit(std::span<std::int16_t> out) {
    if (classTwo())
        two_.transmit(out);
    else
        one_.transmit(out);
}

void FaxModem::receive(std::span<const std::int16_t> in) {
    if (classTwo())
        two_.receive(in);
    else
        one_.receive(in);
}

void FaxModem::ring() {
    if (classTwo())
        two_.ring();
    else
        one_.ring();
}

void FaxModem::connected() {
    if (classTwo())
        two_.connected();
    else
        one_.connected();
}

void FaxModem::answered() {
    if (classTwo())
        two_.answered();
    else
        one_.answered();
}

void FaxModem::busy() {
    if (classTwo())
        two_.callFailed("BUSY");
    else
        one_.busy();
}

void FaxModem::noAnswer() {
    if (classTwo())
        two_.callFailed("NO ANSWER");
    else
        one_.noAnswer();
}

void FaxModem::noDialtone() {
    if (classTwo())
        two_.callFailed("NO DIALTONE");
    else
        one_.noDialtone();
}

void FaxModem::voice() {
    if (classTwo())
        two_.callFailed("VOICE");
    else
        one_.voice();
}

void FaxModem::lineDropped() {
    if (classTwo())
        two_.lineDropped();
    else
        one_.lineDropped();
}

void FaxModem::unobtainable() {
    if (classTwo())
        two_.callFailed("NO CARRIER");
    else
        one_.unobtainable();
}

void FaxModem::ringingStopped() {
    one_.ringingStopped();
    two_.ringingStopped();
}

std::vector<ModemAction> FaxModem::takeActions() {
    auto a = one_.takeActions();
    auto b = two_.takeActions();
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void FaxModem::setLog(CallLog* log) {
    one_.setLog(log);
    two_.setLog(log);
}

} // namespace vline
