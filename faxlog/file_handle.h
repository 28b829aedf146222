// A POSIX file descriptor owned by one object, with the positioned I/O the table files use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace faxlog {

class FileHandle {
public:
    FileHandle() = default;
    // flags as for open(2); throws TableError naming the file on failure.
    FileHandle(const std::filesystem::path& path, int flags, int mode = 0644);
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

    std::uint64_t size() const;
    // Reads exactly n bytes at offset; a short read is an error naming the file.
    void readAt(std::uint64_t offset, char* buf, std::size_t n) const;
    std::string readAt(std::uint64_t offset, std::size_t n) const;
    void writeAt(std::uint64_t offset, std::string_view bytes);
    void truncate(std::uint64_t size);
    void sync();
    // Whole-file advisory lock (flock); false when another opener holds a conflicting one.
    bool tryLock(bool exclusive);
    // Byte-range lock owned by this open file (not the process), so that two opens in one
    // process exclude each other like two processes do.
    bool lockRange(std::uint64_t offset, std::uint64_t length, bool wait);
    void unlockRange(std::uint64_t offset, std::uint64_t length);
    void close();
    void renamed(const std::filesystem::path& to) { path_ = to; }
    struct Identity {
        std::uint64_t size;
        std::int64_t mtimeSec;
        std::int64_t mtimeNsec;
    };
    Identity identity() const;

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

} // namespace faxlog
