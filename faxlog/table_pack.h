// Packing a table into new files and finishing a pack that a crash interrupted.
//
// A pack writes the new memo file and then the new table under temporary names, syncs
// both, and renames the memo file first, then the table. The table rename is the commit
// point: if the table's temporary file is still there on the next exclusive open, the
// memo file's temporary decides: present means nothing was renamed yet and both are
// dropped; absent means the memo file was already replaced, so the table is renamed too.
#pragma once

#include <filesystem>

namespace faxlog {

struct PackPaths {
    std::filesystem::path table, memo, tableTemp, memoTemp;
};

PackPaths packPathsFor(const std::filesystem::path& table);
// Returns true when it finished or undid an interrupted pack.
bool recoverInterruptedPack(const std::filesystem::path& table);
// Renames a finished pack's files into place in the safe order and syncs the directory.
void commitPack(const PackPaths& p, bool withMemo);

} // namespace faxlog
