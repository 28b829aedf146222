#include "settings/program_directory.h"

#include "settings/ini_file.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace settings {

namespace {

std::optional<fs::path> executableDirectory() {
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::nullopt;
    return exe.parent_path();
}

fs::path userDataDirectory() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return fs::path(xdg) / "parvane";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".local" / "share" / "parvane";
    return fs::current_path() / "parvane-data";
}

fs::path chooseDirectory(const std::optional<fs::path>& dataDir) {
    if (dataDir && !dataDir->empty())
        return *dataDir;
    if (const char* home = std::getenv("PARVANE_HOME"); home && *home)
        return home;
    if (auto exeDir = executableDirectory()) {
        std::error_code ec;
        if (fs::exists(*exeDir / "PVN.INI", ec) && ::access(exeDir->c_str(), W_OK) == 0)
            return *exeDir;
    }
    return userDataDirectory();
}

} // namespace

fs::path resolveProgramDirectory(const std::optional<fs::path>& dataDir) {
    fs::path dir = fs::absolute(chooseDirectory(dataDir)).lexically_normal();
    fs::create_directories(dir);
    return dir;
}

fs::path findFileNoCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec))
        return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (equalsNoCase(it->path().filename().string(), name))
            return it->path();
    return dir / name;
}

fs::path receiveDirectory(const fs::path& programDir) { return findFileNoCase(programDir, "receive"); }

} // namespace settings
