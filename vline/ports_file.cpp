#include "ports_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vline {

namespace {
std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    auto e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}
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
    const std::string eol = ini.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines;
    std::istringstream in(ini);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        lines.push_back(l);
    }
    auto ours = [&](const std::string& line) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        const std::string key = lower(trim(line.substr(0, eq)));
        return std::any_of(ports.begin(), ports.end(),
                           [&](const PortEntry& p) { return lower(keyOf(p.com)) == key; });
    };
    std::vector<std::string> newLines;
    for (const auto& p : ports)
        newLines.push_back(keyOf(p.com) + "=" + p.path);

    std::vector<std::string> out;
    bool inPorts = false, done = false;
    for (const auto& l : lines) {
        const std::string t = trim(l);
        if (!t.empty() && t.front() == '[') {
            if (inPorts && !done) {
                // Keep a blank line before the next section where there was one.
                std::size_t at = out.size();
                while (at > 0 && trim(out[at - 1]).empty())
                    --at;
                out.insert(out.begin() + static_cast<long>(at), newLines.begin(), newLines.end());
                done = true;
            }
            inPorts = lower(t) == "[ports]";
            out.push_back(l);
            continue;
        }
        if (inPorts && ours(l))
            continue;
        out.push_back(l);
    }
    if (inPorts && !done) {
        std::size_t at = out.size();
        while (at > 0 && trim(out[at - 1]).empty())
            --at;
        out.insert(out.begin() + static_cast<long>(at), newLines.begin(), newLines.end());
        done = true;
    }
    if (!done) {
        if (!out.empty() && !trim(out.back()).empty())
            out.push_back("");
        out.push_back("[Ports]");
        out.insert(out.end(), newLines.begin(), newLines.end());
    }
    std::string s;
    for (const auto& l : out)
        s += l + eol;
    return s;
}

void updateIniFile(const std::filesystem::path& file, const std::vector<PortEntry>& ports) {
    std::string text;
    if (std::ifstream in{file, std::ios::binary}) {
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    }
    writeAtomically(file, updateIniText(text, ports));
}

std::vector<PortEntry> parsePortsSection(const std::string& text) {
    std::vector<PortEntry> out;
    std::istringstream in(text);
    bool inPorts = false;
    for (std::string l; std::getline(in, l);) {
        const std::string t = trim(l);
        if (!t.empty() && t.front() == '[') {
            inPorts = lower(t) == "[ports]";
            continue;
        }
        auto eq = t.find('=');
        if (!inPorts || eq == std::string::npos)
            continue;
        const std::string key = lower(trim(t.substr(0, eq)));
        if (key.size() < 4 || !key.starts_with("com"))
            continue;
        try {
            out.push_back({std::stoi(key.substr(3)), "", trim(t.substr(eq + 1))});
        } catch (const std::exception&) {
        }
    }
    return out;
}

} // namespace vline
