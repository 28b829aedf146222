#include "workflow/render/apf_join.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"
#include "faximage/posix_file.h"

#include <array>
#include <cstdint>
#include <limits>
#include <system_error>

namespace workflow::render {

namespace {
constexpr int kFileNotFound = 2;
constexpr int kNotApf = -8001;

void check(int rc) {
    if (rc != 0)
        faximage::raiseVelkError(rc);
}

faximage::ApfFileHeader readHeader(faximage::PosixFile& f) {
    std::array<std::uint8_t, faximage::kApfFileHeaderSize> bytes{};
    check(f.readExactAt(0, bytes));
    auto header = faximage::ApfFileHeader::parse(bytes);
    if (!header.hasSignature())
        faximage::raiseVelkError(kNotApf);
    return header;
}
} // namespace

void appendApfPages(const std::filesystem::path& destination, const std::filesystem::path& source) {
    std::error_code ec;
    if (!std::filesystem::exists(destination, ec) || !std::filesystem::exists(source, ec))
        throw faximage::EInOutError(kFileNotFound);

    faximage::PosixFile dst;
    check(dst.open(destination, faximage::PosixFile::Mode::ReadWrite));
    faximage::ApfFileHeader header = readHeader(dst);
    // Walk the destination's pages to find where its last page ends.
    std::uint64_t at = header.firstPageOffset;
    for (int page = 0; page < header.pageCount; ++page) {
        std::array<std::uint8_t, faximage::kApfPageHeaderSize> bytes{};
        check(dst.readExactAt(at, bytes));
        at += faximage::kApfPageHeaderSize + faximage::ApfPageHeader::parse(bytes).imageLength;
    }
    if (at > static_cast<std::uint64_t>(dst.size()))
        faximage::raiseVelkError(faximage::kErrReadPastEnd);

    faximage::PosixFile src;
    check(src.open(source, faximage::PosixFile::Mode::Read));
    const faximage::ApfFileHeader sourceHeader = readHeader(src);
    if (header.pageCount + sourceHeader.pageCount > std::numeric_limits<std::uint16_t>::max())
        faximage::raiseVelkError(kNotApf);
    check(src.seek(sourceHeader.firstPageOffset));
    check(dst.seek(at));
    std::array<std::uint8_t, kJoinCopyBlockBytes> buffer{};
    for (;;) {
        const std::ptrdiff_t n = src.readSome(buffer);
        if (n < 0)
            faximage::raiseVelkError(static_cast<int>(n));
        if (n == 0)
            break;
        check(dst.writeAll(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n))));
    }
    header.pageCount = static_cast<std::uint16_t>(header.pageCount + sourceHeader.pageCount);
    const auto bytes = header.serialize();
    check(dst.writeAllAt(0, bytes));
    check(dst.close());
}

std::filesystem::path joinPageFiles(const std::vector<std::filesystem::path>& pages) {
    if (pages.empty())
        return {};
    for (std::size_t i = 1; i < pages.size(); ++i)
        appendApfPages(pages[0], pages[i]);
    for (std::size_t i = 1; i < pages.size(); ++i) {
        std::error_code ec;
        std::filesystem::remove(pages[i], ec);
    }
    return pages[0];
}

} // namespace workflow::render
