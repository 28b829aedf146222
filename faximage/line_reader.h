// Text lines of a file, read in 4096-byte blocks: a line ends at a carriage return, a
// line feed right after it is skipped (also at the start of the next block), and a
// Ctrl-Z that is the last byte of a block is dropped. A line feed on its own also ends a
// line: text files on this system end their lines that way. Used for text faxes and
// text covers.
#pragma once

#include "faximage/posix_file.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace faximage {

class TLineReader {
public:
    int open(const std::filesystem::path& path);
    void close() { file_.close(); }
    bool isOpen() const { return file_.isOpen(); }

    // 1 with a line, 0 at the end of the file, or a negative code. The last line of a
    // file needs no carriage return.
    int nextLine(std::string& line);

    std::uint64_t position() const { return consumed_; }
    std::uint64_t fileSize() const { return size_; }

private:
    int fill();

    PosixFile file_;
    std::array<char, 4096> block_{};
    std::size_t pos_ = 0, len_ = 0;
    bool skipLf_ = false;
    bool eof_ = false;
    std::uint64_t consumed_ = 0, size_ = 0;
};

} // namespace faximage
