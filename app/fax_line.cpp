#include "fax_line.h"

#include <exception>

namespace app {

FaxLine FaxLine::forSettings(const settings::Settings& s, const vline::LaunchOptions& launch) {
    FaxLine l;
    l.port_ = s.configuredPortNumber();
    if (auto named = s.namedDeviceForPort(l.port_)) {
        l.device_ = *named;
        return l;
    }
    try {
        vline::VirtualLine line = vline::VirtualLine::start(launch);
        // Our port's own modem when the line has one, else its first.
        const auto& ports = line.ports();
        if (ports.empty()) {
            l.error_ = "the virtual fax line has no modems";
            return l;
        }
        const vline::PortEntry* chosen = &ports.front();
        for (const auto& p : ports)
            if (p.com == l.port_)
                chosen = &p;
        l.device_ = chosen->path;
        l.number_ = chosen->number;
        l.line_ = std::move(line);
        // The line's default set-up has its fax machine on 200; a config file may differ.
        l.defaultNumbers_ = launch.arguments.empty();
    } catch (const std::exception& e) {
        l.error_ = std::string("the virtual fax line did not start: ") + e.what();
    }
    return l;
}

std::string FaxLine::describe() const {
    const std::string com = "COM" + std::to_string(port_);
    if (!error_.empty())
        return com + ": " + error_;
    if (!isVirtual())
        return com + " is " + device_;
    std::string text = com + " is modem " + number_ + " of the virtual fax line (" + device_ + ")";
    if (defaultNumbers_)
        text += "; dial 200 to reach its fax machine";
    return text;
}

} // namespace app
