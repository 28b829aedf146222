#include "faxlog/table_pack.h"

#include "faxlog/file_handle.h"
#include "faxlog/fpt_file.h"
#include "faxlog/table_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace faxlog {
namespace {

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw TableError(to, std::string("cannot replace with ") + from.filename().string() + ": " +
                                 std::strerror(errno));
}

void syncDirectory(const std::filesystem::path& file) {
    const auto dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    FileHandle d(dir, O_RDONLY | O_DIRECTORY);
    d.sync();
}

bool tableHasMemo(const std::filesystem::path& table) {
    try {
        FileHandle f(table, O_RDONLY);
        const std::string v = f.readAt(0, 1);
        return static_cast<unsigned char>(v[0]) == 0xF5 || static_cast<unsigned char>(v[0]) == 0x30 ||
               static_cast<unsigned char>(v[0]) == 0x31;
    } catch (const TableError&) {
        return false;
    }
}

} // namespace

PackPaths packPathsFor(const std::filesystem::path& table) {
    PackPaths p;
    p.table = table;
    p.memo = memoPathFor(table);
    p.tableTemp = table;
    p.tableTemp += ".pack";
    p.memoTemp = p.memo;
    p.memoTemp += ".pack";
    return p;
}

bool recoverInterruptedPack(const std::filesystem::path& table) {
    const PackPaths p = packPathsFor(table);
    const bool tableTemp = std::filesystem::exists(p.tableTemp);
    const bool memoTemp = std::filesystem::exists(p.memoTemp);
    if (!tableTemp && !memoTemp)
        return false;
    std::error_code ec;
    if (memoTemp || !tableHasMemo(table)) {
        // Nothing was renamed yet: the old files are whole.
        std::filesystem::remove(p.tableTemp, ec);
        std::filesystem::remove(p.memoTemp, ec);
    } else {
        // The memo file is the new one already; the synced new table goes with it.
        renameFile(p.tableTemp, p.table);
        syncDirectory(p.table);
    }
    return true;
}

void commitPack(const PackPaths& p, bool withMemo) {
    if (withMemo)
        renameFile(p.memoTemp, p.memo);
    renameFile(p.tableTemp, p.table);
    syncDirectory(p.table);
}

} // namespace faxlog
