#include "workflow/diagnostics/port_scan.h"

#include "base/ini_file.h"
#include "faxengine/engine_errors.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace diagnostics {

namespace ec = faxengine::ec;
using faxengine::TVelkComPort;

namespace {

bool startsWith(const std::string& s, std::string_view p) { return s.compare(0, p.size(), p) == 0; }

// A built-in port name (/dev/ttyS3) exists whether or not a UART is behind it; the
// driver says "unknown" for the ones without.
bool hasSerialHardware(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EBUSY; // there, but not ours to open
    serial_struct info{};
    const bool known = ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

} // namespace

std::vector<std::string> serialDevicesPresent() {
    std::vector<std::string> out;
    std::error_code err;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", err)) {
        const std::string name = entry.path().filename().string();
        const std::string path = entry.path().string();
        if (startsWith(name, "ttyUSB") || startsWith(name, "ttyACM"))
            out.push_back(path);
        else if (startsWith(name, "ttyS") && hasSerialHardware(path))
            out.push_back(path);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<ScanCandidate> scanCandidates(const settings::Settings& s, const std::vector<std::string>& extraDevices,
                                          const std::string& unnamedComDevice) {
    std::vector<ScanCandidate> out;
    for (int n = 1; n <= kScannedComPorts; ++n) {
        const auto named = s.namedDeviceForPort(n);
        const std::string device = named ? *named : !unnamedComDevice.empty() ? unnamedComDevice : s.devicePathForPort(n);
        out.push_back({"Com " + std::to_string(n), device, n});
    }
    auto known = [&out](const std::string& device) {
        std::error_code err;
        for (const auto& c : out)
            if (c.device == device || std::filesystem::equivalent(c.device, device, err))
                return true;
        return false;
    };
    std::vector<std::string> others = serialDevicesPresent();
    others.insert(others.end(), extraDevices.begin(), extraDevices.end());
    for (const auto& device : others)
        if (!device.empty() && !known(device))
            out.push_back({device, device, 0});
    return out;
}

PortResult testPort(const ScanCandidate& c, const std::string& resetString, const workflow::send::PumpEvents& pump) {
    PortResult r{c.name, c.device, c.comNumber, PortState::Failed, {}};
    // Waiting for an answer from a port name with no chip behind it would only cost time.
    if (startsWith(std::filesystem::path(c.device).filename().string(), "ttyS") && std::filesystem::exists(c.device) &&
        !hasSerialHardware(c.device)) {
        r.state = PortState::Missing;
        r.detail = "Port does not exist";
        return r;
    }
    TVelkComPort port;
    port.SetPromptForPort(false);
    port.SetAutoOpen(false);
    port.SetDevicePath(c.device);
    bool opened = false;
    try {
        port.SetOpen(true);
        opened = port.Open();
    } catch (const faximage::EVelkException& e) {
        const int code = e.ErrorCode();
        if (code == ec::AlreadyOpen || code == ec::Hardware) {
            r.state = PortState::Busy;
            r.detail = "Port is already open (could be modem)";
        } else if (code == ec::BadId) {
            r.state = PortState::Missing;
            r.detail = "Port does not exist";
        } else if (code == -EACCES || code == -EPERM) {
            r.state = PortState::NoPermission;
            r.detail = permissionText(c.device);
        } else {
            const std::string text = faxengine::errorText(code);
            r.detail = text.empty() ? "Unknown Error" : text;
        }
    } catch (const std::exception& e) {
        r.detail = std::string("ERROR: ") + e.what();
    }
    if (!opened) {
        if (r.detail.empty())
            r.detail = "Unknown";
        return r;
    }
    if (workflow::send::modemResponds(port, resetString, pump)) {
        r.state = PortState::Modem;
        r.detail = "MODEM";
    } else {
        r.state = PortState::NoAnswer;
        r.detail = "Unknown";
    }
    try {
        port.SetOpen(false);
    } catch (const std::exception&) {
        // Closing a port that went away is not worth a word.
    }
    return r;
}

std::vector<PortResult> scanPorts(const std::vector<ScanCandidate>& candidates, const std::string& resetString,
                                  const ScanHooks& hooks) {
    std::vector<PortResult> out;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (hooks.testing)
            hooks.testing(i);
        PortResult r;
        try {
            r = testPort(candidates[i], resetString, hooks.pump);
        } catch (...) {
            r = {candidates[i].name, candidates[i].device, candidates[i].comNumber, PortState::Failed, "Unknown Error"};
            out.push_back(r);
            if (hooks.done)
                hooks.done(i, r);
            break;
        }
        out.push_back(r);
        if (hooks.done)
            hooks.done(i, r);
    }
    return out;
}

int firstModemPort(const std::vector<PortResult>& results) {
    for (const auto& r : results)
        if (r.state == PortState::Modem && r.comNumber > 0)
            return r.comNumber;
    return -1;
}

bool rememberPortDevice(settings::Settings& s, const std::filesystem::path& programDir, int comNumber,
                        const std::string& device) {
    const auto file = programDir / settings::kSettingsFileName;
    try {
        settings::IniFile ini = settings::IniFile::load(file);
        ini.writeString("Ports", "COM" + std::to_string(comNumber), device);
        ini.save(file);
    } catch (const std::exception&) {
        return false;
    }
    s.portDevices[comNumber] = device;
    return true;
}

} // namespace diagnostics
