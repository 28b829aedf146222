#include "program_paths.h"

#include "settings/program_directory.h"
#include "settings/settings.h"

namespace app {

namespace {
std::filesystem::path& storedDirectory() {
    static std::filesystem::path dir;
    return dir;
}
} // namespace

void setProgramDirectory(const std::filesystem::path& dir) { storedDirectory() = dir; }

const std::filesystem::path& programDirectory() { return storedDirectory(); }

std::filesystem::path settingsFile() {
    return programDirectory() / settings::kSettingsFileName;
}

std::filesystem::path receiveDirectory() { return settings::receiveDirectory(programDirectory()); }

} // namespace app
