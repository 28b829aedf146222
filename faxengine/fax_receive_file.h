// The APF file a fax is received into: created with its file header, then one raw page
// after another (page header, data as it arrives), the headers brought up to date at each
// page end. A bad page can be dropped and received again.
#pragma once

#include "faximage/apf_file.h"
#include "faximage/posix_file.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

class ReceiveFile {
public:
    static constexpr std::size_t kWriteBufferSize = 4096;

    ReceiveFile() = default;
    ~ReceiveFile();
    ReceiveFile(const ReceiveFile&) = delete;
    ReceiveFile& operator=(const ReceiveFile&) = delete;

    // Creates or truncates the file and writes the file header (no pages, the id padded
    // to 20 characters). 0 or the negated system code.
    int Create(const std::filesystem::path& path, std::string_view remoteId);
    // Starts a page at the end of the file; `flags` are the page's ImageFlags.
    int BeginPage(std::uint16_t flags);
    // Buffered page data. -160 on a short write.
    int Append(std::span<const std::uint8_t> data);
    int Append(std::uint8_t b) { return Append(std::span<const std::uint8_t>(&b, 1)); }
    // Counts the page and rewrites both headers (id, date, the page's length).
    int EndPage(std::string_view remoteId,
                std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
    // Drops the current page, header included.
    int DiscardPage();
    int Close();

    bool IsOpen() const { return file_.isOpen(); }
    bool InPage() const { return inPage_; }
    std::uint16_t PageCount() const { return header_.pageCount; }
    std::uint32_t PageBytes() const { return page_.imageLength; }
    const std::filesystem::path& Path() const { return path_; }

private:
    int flush();

    faximage::PosixFile file_;
    std::filesystem::path path_;
    faximage::ApfFileHeader header_;
    faximage::ApfPageHeader page_;
    bool inPage_ = false;
    std::uint64_t pageStart_ = 0; // offset of the current page's header
    std::uint64_t end_ = 0;       // end of the written data
    std::vector<std::uint8_t> buffer_;
};

} // namespace faxengine
