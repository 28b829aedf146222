#include "faximage/staged_output.h"

#include "faximage/fax_errors.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace faximage {

namespace {

int lastError() { return -fileErrorCode(errno); }

// The file a name stands for, following symbolic links; a missing file is no error.
int statTarget(const std::filesystem::path& path, struct stat& st, bool& exists) {
    exists = ::stat(path.c_str(), &st) == 0;
    if (exists || errno == ENOENT)
        return 0;
    return lastError();
}

// Where the data finally goes: a symbolic link is followed, so the link keeps pointing
// at the file and the file is replaced.
std::filesystem::path resolvedTarget(const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec)
            return resolved;
    }
    return target;
}

std::filesystem::path directoryOf(const std::filesystem::path& target) {
    const auto parent = target.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

int checkOutputTarget(const std::filesystem::path& target,
                      std::initializer_list<std::filesystem::path> inputs) {
    if (target.empty())
        return -2;
    struct stat out {};
    bool exists = false;
    if (int rc = statTarget(target, out, exists); rc != 0)
        return rc;
    if (!exists) {
        // A name ending in a slash means a directory, whether or not one is there.
        if (!target.has_filename())
            return ec::OutputNotAFile;
        return 0;
    }
    if (!S_ISREG(out.st_mode))
        return ec::OutputNotAFile;
    // Renaming over a write-protected file would get round its protection.
    if (::access(target.c_str(), W_OK) != 0)
        return lastError();
    for (const auto& input : inputs) {
        struct stat in {};
        if (!input.empty() && ::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino)
            return ec::OutputIsInput;
    }
    return 0;
}

int StagedOutput::open(const std::filesystem::path& target,
                       std::initializer_list<std::filesystem::path> inputs) {
    discard();
    if (int rc = checkOutputTarget(target, inputs); rc != 0)
        return rc;
    target_ = resolvedTarget(target);
    const auto dir = directoryOf(target_);

    struct stat dirStat {};
    if (::stat(dir.c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode))
        return -3; // "Path not found"
    // An unnamed file first (it is named at commit through /proc); a hidden named one
    // where the file system or the system has no such files.
    int fd = -1;
    if (::access("/proc/self/fd", X_OK) == 0)
        fd = openRetrying(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary_ = dir / ("." + target_.filename().string() + ".part-" +
                                std::to_string(::getpid()) + "-" + std::to_string(counter++));
            fd = openRetrying(temporary_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            temporary_.clear();
            return lastError();
        }
    }
    // A replaced file keeps its permissions.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);
    file_.adopt(fd);
    return 0;
}

int StagedOutput::link() {
    if (!temporary_.empty())
        return 0;
    // Give the unnamed file a name beside the target, then rename that over the target.
    const std::string self = "/proc/self/fd/" + std::to_string(file_.descriptor());
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto name = directoryOf(target_) / ("." + target_.filename().string() + ".part-" +
                                                  std::to_string(::getpid()) + "-" +
                                                  std::to_string(counter++));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = name;
            return 0;
        }
        if (errno != EEXIST)
            return lastError();
    }
    return -5;
}

int StagedOutput::commit() {
    if (!file_.isOpen())
        return -6;
    int rc = file_.sync();
    if (rc == 0)
        rc = link();
    if (rc != 0) {
        discard();
        return rc;
    }
    if (rc = file_.close(); rc != 0) {
        discard();
        return rc;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        rc = lastError();
        discard();
        return rc;
    }
    temporary_.clear();
    return 0;
}

void StagedOutput::discard() {
    file_.close();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

} // namespace faximage
