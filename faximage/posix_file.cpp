#include "faximage/posix_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace faximage {

int fileErrorCode(int e) {
    switch (e) {
    case ENOENT:
    case ENXIO:
        return 2; // "File not found"
    case ENOTDIR:
        return 3; // "Path not found"
    case EMFILE:
    case ENFILE:
        return 4; // "Too many open files"
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
        return 5; // "File access denied"
    case EBADF:
        return 6; // "Invalid file handle"
    case ENOMEM:
        return 8; // "Insufficient memory"
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return 101; // "Disk is full"
    case EROFS:
        return 150; // "Disk is write-protected"
    case EIO:
        return 154; // "Data error"
    default:
        return e; // looked up as the system's own message
    }
}

namespace {
int lastError() { return -fileErrorCode(errno); }
} // namespace

PosixFile::~PosixFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

PosixFile::PosixFile(PosixFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

int PosixFile::open(const std::filesystem::path& path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::CreateTruncate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    if (path.empty())
        return -2;
    do {
        fd_ = ::open(path.c_str(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        return lastError();
    if (mode == Mode::Read) {
        // A directory opens read-only on Linux but is no file to read.
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return -5;
        }
    }
    return 0;
}

void PosixFile::adopt(int fd) {
    close();
    fd_ = fd;
}

int PosixFile::sync() {
    if (fd_ < 0)
        return -6;
    return ::fsync(fd_) == 0 ? 0 : lastError();
}

int PosixFile::close() {
    if (fd_ < 0)
        return 0;
    const int rc = ::close(std::exchange(fd_, -1));
    return rc == 0 ? 0 : lastError();
}

std::ptrdiff_t PosixFile::readSome(std::span<std::uint8_t> buf) {
    for (;;) {
        const ssize_t n = ::read(fd_, buf.data(), buf.size());
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return lastError();
    }
}

int PosixFile::readExact(std::span<std::uint8_t> buf) {
    std::size_t done = 0;
    while (done < buf.size()) {
        const std::ptrdiff_t n = readSome(buf.subspan(done));
        if (n < 0)
            return static_cast<int>(n);
        if (n == 0)
            return kErrReadPastEnd;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int PosixFile::readExactAt(std::uint64_t offset, std::span<std::uint8_t> buf) {
    const int rc = seek(offset);
    return rc != 0 ? rc : readExact(buf);
}

int PosixFile::writeAll(std::span<const std::uint8_t> buf) {
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::write(fd_, buf.data() + done, buf.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int PosixFile::writeAllAt(std::uint64_t offset, std::span<const std::uint8_t> buf) {
    std::size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = ::pwrite(fd_, buf.data() + done, buf.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int PosixFile::seek(std::uint64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        return lastError();
    return 0;
}

std::int64_t PosixFile::position() const {
    const off_t p = ::lseek(fd_, 0, SEEK_CUR);
    return p < 0 ? lastError() : static_cast<std::int64_t>(p);
}

std::int64_t PosixFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return lastError();
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace faximage
