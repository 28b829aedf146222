#include "faximage/line_reader.h"

namespace faximage {

int TLineReader::open(const std::filesystem::path& path) {
    pos_ = len_ = 0;
    skipLf_ = eof_ = false;
    consumed_ = size_ = 0;
    if (int rc = file_.open(path, PosixFile::Mode::Read); rc != 0)
        return rc;
    const std::int64_t size = file_.size();
    if (size < 0)
        return static_cast<int>(size);
    size_ = static_cast<std::uint64_t>(size);
    return 0;
}

int TLineReader::fill() {
    const auto n = file_.readSome(std::span(reinterpret_cast<std::uint8_t*>(block_.data()), block_.size()));
    if (n < 0)
        return static_cast<int>(n);
    pos_ = 0;
    len_ = static_cast<std::size_t>(n);
    if (len_ == 0)
        eof_ = true;
    else if (block_[len_ - 1] == 0x1A) // end-of-file mark of DOS editors
        --len_;
    return 0;
}

int TLineReader::nextLine(std::string& line) {
    if (!file_.isOpen())
        return -6;
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == len_) {
            if (eof_)
                return any ? 1 : 0;
            if (int rc = fill(); rc != 0)
                return rc;
            if (eof_)
                return any ? 1 : 0;
            continue;
        }
        const char c = block_[pos_++];
        ++consumed_;
        if (skipLf_) {
            skipLf_ = false;
            if (c == '\n')
                continue;
        }
        if (c == '\r') {
            skipLf_ = true;
            return 1;
        }
        if (c == '\n') // a text file written on this system
            return 1;
        line.push_back(c);
        any = true;
    }
}

} // namespace faximage
