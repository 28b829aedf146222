// The [Ports] lines that point the program's COM ports at the line's modems.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vline {

struct PortEntry {
    int com;            // COM number
    std::string number; // the modem's telephone number
    std::string path;   // the pty (or the link to it)
};

// "[Ports]" and one "COMn=PATH" line per modem, after a comment naming the numbers.
std::string portsSection(const std::vector<PortEntry>& ports);
// Writes portsSection to file (replaced whole, through a temporary file).
void writePortsFile(const std::filesystem::path& file, const std::vector<PortEntry>& ports);
// Sets our COMn keys in the [Ports] section of an INI text; every other line stays as it
// was. The section is added at the end when missing. Keys compare case-insensitively.
std::string updateIniText(const std::string& ini, const std::vector<PortEntry>& ports);
void updateIniFile(const std::filesystem::path& file, const std::vector<PortEntry>& ports);
// Reads "COMn=PATH" lines of the [Ports] section back (for the launcher and tests).
std::vector<PortEntry> parsePortsSection(const std::string& text);

} // namespace vline
