// Where the running program keeps its files: the program directory chosen at start-up
// and the paths derived from it.
#pragma once

#include <filesystem>

namespace app {

// Set once at start-up, before any window exists.
void setProgramDirectory(const std::filesystem::path& dir);
// The program directory (PVN.INI, the log tables, the receive directory).
const std::filesystem::path& programDirectory();
// PVN.INI in the program directory.
std::filesystem::path settingsFile();
// The directory of received faxes (any spelling of "receive" already on disk).
std::filesystem::path receiveDirectory();

} // namespace app
