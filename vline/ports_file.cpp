#include "ports_file.h"

#include "base/ini_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vline {

namespace {
std::string keyOf(int com) { return "COM" + std::to_string(com); }

void writeAtomically(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::path tmp = file;
    tmp += ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            throw std::runtime_error("cannot write " + tmp.string());
        out << text;
        if (!out.flush())
            throw std::runtime_error("cannot write " + tmp.string());
    }
    std::filesystem::rename(tmp, file);
}
} // namespace

std::string portsSection(const std::vector<PortEntry>& ports) {
    std::string s = "; virtual fax line:";
    for (const auto& p : ports)
        s += " " + keyOf(p.com) + " number " + p.number + ";";
    if (!ports.empty())
        s.pop_back();
    s += "\n[Ports]\n";
    for (const auto& p : ports)
        s += keyOf(p.com) + "=" + p.path + "\n";
    return s;
}

void writePortsFile(const std::filesystem::path& file, const std::vector<PortEntry>& ports) {
    writeAtomically(file, portsSection(ports));
}

std::string updateIniText(const std::string& ini, const std::vector<PortEntry>& ports) {
    auto file = settings::IniFile::parse(ini);
    for (const auto& p : ports)
        file.writeString("Ports", keyOf(p.com), p.path);
    return file.text();
}

void updateIniFile(const std::filesystem::path& file, const std::vector<PortEntry>& ports) {
    auto ini = settings::IniFile::load(file);
    if (!ini.wasText())
        throw std::runtime_error(file.string() + " is not a settings file");
    for (const auto& p : ports)
        ini.writeString("Ports", keyOf(p.com), p.path);
    ini.save(file);
}

std::vector<PortEntry> parsePortsSection(const std::string& text) {
    std::vector<PortEntry> out;
    const auto ini = settings::IniFile::parse(text);
    for (const auto& key : ini.keys("Ports")) {
        if (key.size() < 4 || !settings::equalsNoCase(key.substr(0, 3), "com"))
            continue;
        try {
            out.push_back({std::stoi(key.substr(3)), "", ini.readString("Ports", key, "")});
        } catch (const std::exception&) {
        }
    }
    return out;
}

} // namespace vline
