#include "faxlog/fpt_file.h"

#include "faxlog/table_error.h"

#include <cctype>
#include <fcntl.h>

namespace faxlog {
namespace {

constexpr std::uint32_t kHeaderSize = 512;

std::uint32_t be32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

void putBe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

std::uint32_t blocksFor(std::uint64_t bytes, std::uint32_t blockSize) {
    return static_cast<std::uint32_t>((bytes + blockSize - 1) / blockSize);
}

} // namespace

std::filesystem::path memoPathFor(const std::filesystem::path& table) {
    auto p = table;
    const std::string ext = table.extension().string();
    const bool lower = ext.size() > 1 && std::islower(static_cast<unsigned char>(ext[1]));
    p.replace_extension(lower ? ".fpt" : ".FPT");
    return p;
}

void FptFile::create(const std::filesystem::path& path, std::uint32_t blockSize) {
    std::string h(kHeaderSize, '\0');
    putBe32(h, 0, blocksFor(kHeaderSize, blockSize));
    h[6] = static_cast<char>((blockSize >> 8) & 0xFF);
    h[7] = static_cast<char>(blockSize & 0xFF);
    FileHandle out(path, O_WRONLY | O_CREAT | O_TRUNC);
    out.writeAt(0, h);
    out.sync();
}

FptFile FptFile::open(const std::filesystem::path& path, bool readOnly, bool shared) {
    FptFile m;
    m.shared_ = shared;
    m.file_ = FileHandle(path, readOnly ? O_RDONLY : O_RDWR);
    if (m.file_.size() < kHeaderSize)
        throw TableError(path, "not a memo file: shorter than its 512-byte header");
    const std::string h = m.file_.readAt(0, 8);
    m.blockSize_ = static_cast<std::uint32_t>(static_cast<unsigned char>(h[6])) << 8 |
                   static_cast<unsigned char>(h[7]);
    if (m.blockSize_ == 0)
        throw TableError(path, "damaged memo file header: block size 0");
    return m;
}

std::string FptFile::read(std::uint32_t block) const {
    const std::uint64_t size = file_.size();
    const std::uint64_t at = static_cast<std::uint64_t>(block) * blockSize_;
    if (at < kHeaderSize || at + 8 > size)
        throw TableError(path(), "memo block " + std::to_string(block) + " lies outside the file");
    const std::string head = file_.readAt(at, 8);
    const std::uint32_t length = be32(head, 4);
    if (at + 8 + length > size)
        throw TableError(path(), "memo at block " + std::to_string(block) + " claims " +
                                     std::to_string(length) + " bytes beyond the end of the file");
    return file_.readAt(at + 8, length);
}

std::uint32_t FptFile::append(std::string_view data, std::uint32_t type) {
    if (data.empty())
        return 0;
    if (shared_)
        file_.lockRange(0, 1, true);
    try {
        std::string h = file_.readAt(0, 8);
        // A tail left by an interrupted append is not referenced; never write below it.
        const std::uint32_t block =
            std::max(be32(h, 0), blocksFor(file_.size(), blockSize_));
        std::string blob(8, '\0');
        putBe32(blob, 0, type);
        putBe32(blob, 4, static_cast<std::uint32_t>(data.size()));
        blob.append(data);
        const std::uint32_t used = blocksFor(blob.size(), blockSize_);
        blob.resize(static_cast<std::size_t>(used) * blockSize_, '\0');
        file_.writeAt(static_cast<std::uint64_t>(block) * blockSize_, blob);
        putBe32(h, 0, block + used);
        file_.writeAt(0, std::string_view(h).substr(0, 4));
        if (shared_)
            file_.unlockRange(0, 1);
        return block;
    } catch (...) {
        if (shared_)
            file_.unlockRange(0, 1);
        throw;
    }
}

} // namespace faxlog
