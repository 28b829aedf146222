// Files nobody may write for the life of the object, not even root (the tests run as root
// in CI): the immutable flag for root, the mode bits otherwise.
#pragma once

#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace faxlog::test {

class UnwritableFiles {
public:
    explicit UnwritableFiles(std::vector<std::filesystem::path> files) : files_(std::move(files)) {
        for (const auto& f : files_)
            ok_ = set(f, true) && ok_;
    }
    ~UnwritableFiles() {
        for (const auto& f : files_)
            set(f, false);
    }
    UnwritableFiles(const UnwritableFiles&) = delete;
    UnwritableFiles& operator=(const UnwritableFiles&) = delete;
    bool ok() const { return ok_; }

private:
    static bool set(const std::filesystem::path& f, bool on) {
        using std::filesystem::perms;
        if (::geteuid() != 0) {
            std::error_code ec;
            std::filesystem::permissions(f, on ? perms::owner_read : perms::owner_read | perms::owner_write, ec);
            return !ec;
        }
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::vector<std::filesystem::path> files_;
    bool ok_ = true;
};

} // namespace faxlog::test
