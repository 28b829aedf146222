// A file descriptor that closes itself, with the engine's error-code convention: 0 for
// success, a negative code for failure (file-system failures are the negated code of the
// error table, e.g. -2 "File not found", -100 "Attempt to read beyond end of file").
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace faximage {

// Error-table code (positive) for an errno value.
int fileErrorCode(int errnoValue);

inline constexpr int kErrReadPastEnd = -100;

class PosixFile {
public:
    enum class Mode { Read, CreateTruncate, ReadWrite };

    PosixFile() = default;
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    int open(const std::filesystem::path& path, Mode mode);
    // Returns 0 or a negative code; a close that fails (e.g. a full disk) is reported.
    int close();
    bool isOpen() const { return fd_ >= 0; }
    // Takes ownership of an open descriptor (closing any held before).
    void adopt(int fd);
    int descriptor() const { return fd_; }
    // Flushes the file's data to the disk: 0 or a negative code.
    int sync();

    // Reads up to buf.size() bytes at the current position; the count read (0 at the end
    // of the file) or a negative code.
    std::ptrdiff_t readSome(std::span<std::uint8_t> buf);
    // Reads exactly buf.size() bytes: 0, -100 when the file ends first, or an error code.
    int readExact(std::span<std::uint8_t> buf);
    int readExactAt(std::uint64_t offset, std::span<std::uint8_t> buf);
    int writeAll(std::span<const std::uint8_t> buf);
    int writeAllAt(std::uint64_t offset, std::span<const std::uint8_t> buf);
    int seek(std::uint64_t offset);
    // Current position, or a negative code.
    std::int64_t position() const;
    // File size in bytes, or a negative code.
    std::int64_t size() const;

private:
    int fd_ = -1;
};

} // namespace faximage
