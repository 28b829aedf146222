#include "faxlog/file_handle.h"

#include "faxlog/table_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faxlog {

FileHandle::FileHandle(const std::filesystem::path& path, int flags, int mode)
    : fd_(::open(path.c_str(), flags | O_CLOEXEC, mode)), path_(path) {
    if (fd_ < 0)
        throw TableError(path, std::strerror(errno));
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() { close(); }

void FileHandle::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::uint64_t FileHandle::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw TableError(path_, std::strerror(errno));
    return static_cast<std::uint64_t>(st.st_size);
}

FileHandle::Identity FileHandle::identity() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw TableError(path_, std::strerror(errno));
    return {static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

void FileHandle::readAt(std::uint64_t offset, char* buf, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, buf + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw TableError(path_, std::string("read failed: ") + std::strerror(errno));
        if (r == 0)
            throw TableError(path_, "file ends at byte " + std::to_string(offset + done) +
                                        ", expected " + std::to_string(offset + n));
        done += static_cast<std::size_t>(r);
    }
}

std::string FileHandle::readAt(std::uint64_t offset, std::size_t n) const {
    std::string s(n, '\0');
    readAt(offset, s.data(), n);
    return s;
}

void FileHandle::writeAt(std::uint64_t offset, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            throw TableError(path_, std::string("write failed: ") + std::strerror(errno));
        done += static_cast<std::size_t>(w);
    }
}

void FileHandle::truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throw TableError(path_, std::string("truncate failed: ") + std::strerror(errno));
}

void FileHandle::sync() {
    if (::fsync(fd_) != 0)
        throw TableError(path_, std::string("sync failed: ") + std::strerror(errno));
}

bool FileHandle::tryLock(bool exclusive) {
    while (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return false;
        throw TableError(path_, std::string("lock failed: ") + std::strerror(errno));
    }
    return true;
}

bool FileHandle::lockRange(std::uint64_t offset, std::uint64_t length, bool wait) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    while (::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        throw TableError(path_, std::string("record lock failed: ") + std::strerror(errno));
    }
    return true;
}

void FileHandle::unlockRange(std::uint64_t offset, std::uint64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    ::fcntl(fd_, F_OFD_SETLK, &fl);
}

} // namespace faxlog
