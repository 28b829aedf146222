// The memo file beside a FoxPro table: a 512-byte header with the next free block and the
// block size (big-endian), then blocks that each start a memo with its type and length.
// Memos are only ever appended: a new text gets new blocks and the record's pointer is
// written after them, so a kill leaves at worst an unused tail, never a half-written memo
// that a record points to.
#pragma once

#include "faxlog/file_handle.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace faxlog {

class FptFile {
public:
    static constexpr std::uint32_t kDefaultBlockSize = 64;
    static constexpr std::uint32_t kTextType = 1;

    static void create(const std::filesystem::path& path, std::uint32_t blockSize = kDefaultBlockSize);
    static FptFile open(const std::filesystem::path& path, bool readOnly, bool shared);

    FptFile(FptFile&&) = default;
    FptFile& operator=(FptFile&&) = default;

    const std::filesystem::path& path() const { return file_.path(); }
    std::uint32_t blockSize() const { return blockSize_; }

    // The memo starting at block; throws TableError naming the file when it is damaged.
    std::string read(std::uint32_t block) const;
    // Stores data in new blocks and returns the first one; empty data stores nothing (0).
    std::uint32_t append(std::string_view data, std::uint32_t type = kTextType);
    void sync() { file_.sync(); }

private:
    FptFile() = default;
    FileHandle file_;
    std::uint32_t blockSize_ = kDefaultBlockSize;
    bool shared_ = false;
};

// The memo file name for a table: same stem, extension ".FPT" in the case of the table's.
std::filesystem::path memoPathFor(const std::filesystem::path& table);

} // namespace faxlog
