#include "test_support.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace faxlog::test {

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::path(PARVANE_BINARY_DIR) / "faxlog-test-scratch" /
            (std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string quote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += "'\\''";
        else
            r += c;
    }
    return r + "'";
}

std::optional<std::string> run(const std::string& command, std::string* error) {
    const std::string errFile = std::filesystem::temp_directory_path() /
                                ("faxlog-test-err-" + std::to_string(::getpid()));
    FILE* p = ::popen((command + " 2>" + quote(errFile)).c_str(), "r");
    if (!p)
        return std::nullopt;
    std::string out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    const int status = ::pclose(p);
    std::ifstream ef(errFile);
    std::stringstream es;
    es << ef.rdbuf();
    std::filesystem::remove(errFile);
    if (status != 0) {
        if (error)
            *error = es.str();
        return std::nullopt;
    }
    return out;
}

std::string missingPythonModule(const std::string& module) {
    if (!std::filesystem::exists("/usr/bin/python3"))
        return "/usr/bin/python3 is not installed";
    if (!run("/usr/bin/python3 -c " + quote("import " + module)))
        return "python module " + module + " is missing (Debian package python3-" + module + ")";
    return {};
}

std::string missingIndexDump() {
    if (!std::filesystem::exists("/usr/bin/index_dump"))
        return "index_dump is missing (Debian package libdbd-xbase-perl)";
    return {};
}

std::string oracleScript() {
    return std::string(PARVANE_SOURCE_DIR) + "/faxlog/tests/oracles/dbf_oracle.py";
}

static std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

std::vector<std::string> oracleDump(const std::string& tool, const std::filesystem::path& table) {
    std::string err;
    const auto out = run("/usr/bin/python3 " + quote(oracleScript()) + " dump-" + tool + " " + quote(table.string()), &err);
    if (!out)
        return {"ORACLE FAILED: " + err};
    return lines(*out);
}

std::vector<std::string> indexDump(const std::filesystem::path& cdx, const std::string& tag, const std::string& type) {
    std::string err;
    const auto out = run("/usr/bin/index_dump --type=" + type + " " + quote(cdx.string()) + " " + quote(tag), &err);
    if (!out)
        return {"INDEX_DUMP FAILED: " + err};
    std::vector<std::string> result;
    for (auto& l : lines(*out)) {
        // "key\trecno" with the key's trailing blanks kept by some versions: normalise.
        const auto tab = l.find_last_of(" \t");
        if (tab == std::string::npos)
            continue;
        std::string key = l.substr(0, tab);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        result.push_back(key + " " + l.substr(tab + 1));
    }
    return result;
}

} // namespace faxlog::test
