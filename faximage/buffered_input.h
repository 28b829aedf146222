// Sequential reading of an image file through an 8192-byte buffer, with seeking.
#pragma once

#include "faximage/posix_file.h"

#include <array>
#include <cstdint>

namespace faximage {

class BufferedInput {
public:
    int open(const std::filesystem::path& path) {
        pos_ = len_ = 0;
        base_ = 0;
        if (int rc = file_.open(path, PosixFile::Mode::Read); rc != 0)
            return rc;
        size_ = file_.size();
        return size_ < 0 ? static_cast<int>(size_) : 0;
    }
    void close() { file_.close(); }
    std::int64_t size() const { return size_; }
    std::int64_t position() const { return base_ + static_cast<std::int64_t>(pos_); }

    int seek(std::int64_t offset) {
        if (offset >= base_ && offset <= base_ + static_cast<std::int64_t>(len_)) {
            pos_ = static_cast<std::size_t>(offset - base_);
            return 0;
        }
        if (int rc = file_.seek(static_cast<std::uint64_t>(offset)); rc != 0)
            return rc;
        base_ = offset;
        pos_ = len_ = 0;
        return 0;
    }

    // 0 with the byte, -100 at the end of the file, or an error.
    int get(std::uint8_t& b) {
        if (pos_ == len_)
            if (int rc = refill(); rc != 0)
                return rc;
        b = buf_[pos_++];
        return 0;
    }

    int read(std::span<std::uint8_t> out) {
        for (auto& b : out)
            if (int rc = get(b); rc != 0)
                return rc;
        return 0;
    }

private:
    int refill() {
        base_ += static_cast<std::int64_t>(len_);
        pos_ = len_ = 0;
        const auto n = file_.readSome(buf_);
        if (n < 0)
            return static_cast<int>(n);
        if (n == 0)
            return kErrReadPastEnd;
        len_ = static_cast<std::size_t>(n);
        return 0;
    }

    PosixFile file_;
    std::array<std::uint8_t, 8192> buf_{};
    std::size_t pos_ = 0, len_ = 0;
    std::int64_t base_ = 0;
    std::int64_t size_ = 0;
};

} // namespace faximage
