// The port scan behind "Find Modem": the six Com ports of the [Ports] map, then the
// serial devices this machine has (USB modems, built-in ports with hardware behind
// them, the virtual line's modems). Each is opened and asked "AT"; the first Com port
// whose device answers "OK" is the one to suggest. No window code.
#pragma once

#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/send/port_operations.h"

#include <functional>
#include <string>
#include <vector>

namespace diagnostics {

inline constexpr int kScannedComPorts = 6;

struct ScanCandidate {
    std::string name;
    std::string device;
    int comNumber = 0;
};

// The Com ports (their [Ports] device, else the default) and then, once each, the other
// serial devices found: /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS* with hardware behind them,
// and `extraDevices` (the virtual line's modems). A Com port [Ports] names no device for
// leads to `unnamedComDevice` when given (the program's own virtual line), as it does when
// a fax is sent or received.
std::vector<ScanCandidate> scanCandidates(const settings::Settings& s, const std::vector<std::string>& extraDevices,
                                          const std::string& unnamedComDevice = {});

// Serial devices present on this machine, sorted (for the scan and the configuration report).
std::vector<std::string> serialDevicesPresent();

struct ScanHooks {
    std::function<void(std::size_t index)> testing;                    // before a device is tried
    std::function<void(std::size_t index, const PortResult&)> done;    // after it
    workflow::send::PumpEvents pump;
};

// Tests one device: opens it and runs the modem response check (with the reset string
// as the second try).
PortResult testPort(const ScanCandidate& c, const std::string& resetString, const workflow::send::PumpEvents& pump);

// Tests every candidate in order; an unexpected failure ends the scan with "Unknown
// Error" noted on the device being tested.
std::vector<PortResult> scanPorts(const std::vector<ScanCandidate>& candidates, const std::string& resetString,
                                  const ScanHooks& hooks = {});

// The first Com port (1..6) with a modem, or -1.
int firstModemPort(const std::vector<PortResult>& results);

// Writes COMn=device into the [Ports] section of PVN.INI in `programDir`, keeping the
// rest of the file; also updates `s`. False when the file cannot be written.
bool rememberPortDevice(settings::Settings& s, const std::filesystem::path& programDir, int comNumber,
                        const std::string& device);

} // namespace diagnostics
