// The program directory: where PVN.INI, the log tables and the receive directory live.
#pragma once

#include <filesystem>
#include <optional>

namespace settings {

// Chooses the program directory, in this order: the --data-dir option; the PARVANE_HOME
// environment variable; the executable's directory when it holds PVN.INI and is writable
// (a portable installation); $XDG_DATA_HOME/parvane or ~/.local/share/parvane.
// The directory is created when missing. Throws std::filesystem::filesystem_error when it
// cannot be created.
std::filesystem::path resolveProgramDirectory(const std::optional<std::filesystem::path>& dataDir);

// The directory that holds received faxes. Older installations may have it as "RECEIVE"
// or "Receive"; an existing directory of any of those spellings is used.
std::filesystem::path receiveDirectory(const std::filesystem::path& programDir);

// `name` inside `dir`, matched without regard to case when an exact match is missing
// (DOS-era names are stored upper case, files on disk may not be). Returns dir / name
// when nothing matches.
std::filesystem::path findFileNoCase(const std::filesystem::path& dir, const std::string& name);

} // namespace settings
