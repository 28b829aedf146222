// The modem line the program works on: the device PVN.INI names for the configured port,
// or — when it names none — a modem of the virtual fax line, started here as a child
// process and stopped with this object. This is what lets a machine with no fax modem
// send to and receive from the virtual line's fax machine out of the box.
#pragma once

#include "settings/settings.h"
#include "vline_launcher.h"

#include <optional>
#include <string>

namespace app {

class FaxLine {
public:
    // Chooses the line for `s`'s configured port. Never throws: when the virtual line
    // cannot start, error() says why and devicePath() is empty.
    static FaxLine forSettings(const settings::Settings& s,
                               const vline::LaunchOptions& launch = {});

    FaxLine(FaxLine&&) noexcept = default;
    FaxLine& operator=(FaxLine&&) noexcept = default;

    int portNumber() const { return port_; }
    // The device to open for the port; "" when there is none (see error()).
    const std::string& devicePath() const { return device_; }
    bool isVirtual() const { return line_.has_value(); }
    // The virtual line's telephone number of our modem ("" on a real device).
    const std::string& modemNumber() const { return number_; }
    const std::string& error() const { return error_; }
    // One line for the status bar and the log.
    std::string describe() const;

private:
    FaxLine() = default;

    int port_ = 1;
    std::string device_;
    std::string number_;
    std::string error_;
    bool defaultNumbers_ = false;
    std::optional<vline::VirtualLine> line_;
};

} // namespace app
