// An output file that replaces its target only when it is complete. The data goes to a
// temporary file in the target's directory; commit() flushes it to the disk and renames
// it over the target, so a failed or killed run leaves the old file as it was. Where the
// file system allows, the temporary file has no name until commit, so not even a killed
// process leaves one behind.
//
// The target is refused when it is a directory or a device (-8057), or when it is the
// same file as one of the inputs, found by device and inode so that another spelling, a
// link or a symbolic link cannot hide it (-8056).
#pragma once

#include "faximage/posix_file.h"

#include <filesystem>
#include <initializer_list>

namespace faximage {

class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput() { discard(); }
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Checks the target and creates the temporary file: 0 or a negative code.
    int open(const std::filesystem::path& target,
             std::initializer_list<std::filesystem::path> inputs = {});
    // Flushes, syncs and renames over the target; on failure the target stays as it was.
    int commit();
    // Drops the temporary file; the target is untouched.
    void discard();

    bool isOpen() const { return file_.isOpen(); }
    PosixFile& file() { return file_; }
    const std::filesystem::path& target() const { return target_; }

private:
    int link();

    PosixFile file_;
    std::filesystem::path target_;    // symbolic links resolved
    std::filesystem::path temporary_; // empty while the file has no name
};

// The checks of open() alone: 0, -8056, -8057 or a file-system code. For callers that
// want to refuse a name before they start work.
int checkOutputTarget(const std::filesystem::path& target,
                      std::initializer_list<std::filesystem::path> inputs = {});

} // namespace faximage
