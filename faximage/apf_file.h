// APF fax files: a 64-byte file header, then per page a 16-byte page header and the
// page's MH-coded lines in transmission bit order. All integers little-endian.
//
// Operations return 0 or a negative error code (-8001 "File is not an APF file",
// -100 "Attempt to read beyond end of file", negated file-system codes).
#pragma once

#include "faximage/fax_errors.h"
#include "faximage/posix_file.h"
#include "faximage/staged_output.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace faximage {

inline constexpr std::size_t kApfFileHeaderSize = 64;
inline constexpr std::size_t kApfPageHeaderSize = 16;
inline constexpr std::uint32_t kApfFirstPageOffset = 64;
inline constexpr std::size_t kApfStationIdLength = 20;
inline constexpr std::size_t kApfMaxLineRecord = 4096;
inline constexpr std::array<std::uint8_t, 6> kApfSignature = {'A', 'P', 'F', '1', '0', 0x1A};

// ImageFlags of a page header.
inline constexpr std::uint16_t kApfHighResolution = 1;
inline constexpr std::uint16_t kApfWide = 2;
inline constexpr std::uint16_t kApfLengthWords = 4;

// Closes every page the converter writes: fill + EOL, then seven EOLs cut to whole bytes.
inline constexpr std::array<std::uint8_t, 12> kApfEndOfPage = {0x00, 0x80, 0x00, 0x08, 0x80, 0x00,
                                                               0x08, 0x80, 0x00, 0x08, 0x80, 0x00};
// The top-margin line: fill + EOL, white 1728, white 0 (used whatever the page width).
inline constexpr std::array<std::uint8_t, 6> kApfBlankLine = {0x00, 0x80, 0xB2, 0x59, 0x01, 0x00};

// MS-DOS packed date and time; 0 outside 1980..2099.
struct DosDateTime {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
std::uint32_t packDosDateTime(const DosDateTime& dt);
DosDateTime unpackDosDateTime(std::uint32_t packed);
// Local date and time of `when`, packed.
std::uint32_t dosDateTimeOf(std::chrono::system_clock::time_point when);

struct ApfFileHeader {
    std::array<std::uint8_t, 6> signature = kApfSignature;
    std::uint32_t dateTime = 0;
    std::uint8_t stationIdLength = 0;
    std::array<char, kApfStationIdLength> stationIdChars{}; // as stored, padding included
    std::uint16_t pageCount = 0;
    std::uint32_t firstPageOffset = kApfFirstPageOffset;

    bool hasSignature() const { return signature == kApfSignature; }
    // The identifier as its length byte says (cut to 20 when the byte says more).
    std::string stationId() const;
    // Stores the first 20 characters with the length byte and space padding.
    void setStationId(std::string_view id);

    static ApfFileHeader parse(std::span<const std::uint8_t, kApfFileHeaderSize> bytes);
    std::array<std::uint8_t, kApfFileHeaderSize> serialize() const;
};

struct ApfPageHeader {
    std::uint32_t imageLength = 0;
    std::uint16_t flags = 0;

    bool highResolution() const { return flags & kApfHighResolution; }
    bool wide() const { return flags & kApfWide; }
    bool lengthWords() const { return flags & kApfLengthWords; }
    int lineWidth() const { return wide() ? 2048 : 1728; }

    static ApfPageHeader parse(std::span<const std::uint8_t, kApfPageHeaderSize> bytes);
    std::array<std::uint8_t, kApfPageHeaderSize> serialize() const;
};

// Writes an APF file: create → (appendLine… → endPage)… → close. The converter's path
// (line records and an end-of-page record) and the raw path (a continuous MH stream, as
// a fax receiver stores it) share the headers. The file is written beside its target and
// takes the target's place at close(); after any failure, or when the writer is destroyed
// before close(), the target is left as it was.
class ApfWriter {
public:
    ApfWriter() = default;
    ~ApfWriter();
    ApfWriter(const ApfWriter&) = delete;
    ApfWriter& operator=(const ApfWriter&) = delete;

    // `inputs`: files the output must not replace (the converter's input).
    int create(const std::filesystem::path& path,
               std::initializer_list<std::filesystem::path> inputs = {});

    // One coded line as a line record (at most 4096 bytes); begins the page with
    // `pageFlags` | length words when it is the page's first line.
    int appendLine(std::span<const std::uint8_t> coded, std::uint16_t pageFlags);
    // Writes the end-of-page record, counts the page and fixes up its header.
    int endPage(std::uint16_t pageFlags);

    // Raw pages: header with `pageFlags` as given, data without length words.
    int beginRawPage(std::uint16_t pageFlags);
    int appendRaw(std::span<const std::uint8_t> data);
    int endRawPage();

    // Fills in station id and date, rewrites the file header and closes.
    int close(std::string_view stationId,
              std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
    // Drops what was written; the target stays as it was.
    void abandon();

    bool isOpen() const { return out_.isOpen(); }
    bool inPage() const { return inPage_; }
    std::uint16_t pageCount() const { return header_.pageCount; }
    const std::filesystem::path& path() const { return path_; }

private:
    int beginPage(std::uint16_t flags);
    int put(std::span<const std::uint8_t> bytes);
    int flush();
    int fail(int code);

    StagedOutput out_;
    std::filesystem::path path_;
    ApfFileHeader header_;
    ApfPageHeader page_;
    bool inPage_ = false;
    std::uint64_t pageHeaderOffset_ = 0;
    std::uint64_t filePos_ = 0; // logical end, buffered bytes included
    std::vector<std::uint8_t> buffer_;
};

struct ApfPageInfo {
    int number = 0;                // 1-based
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    ApfPageHeader header;
};

// Reads an APF file: validate, walk to a page, read its data.
class ApfReader {
public:
    // -2 for an empty name or a missing file; -8001 when the signature differs.
    int open(const std::filesystem::path& path);
    void close() { file_.close(); }
    bool isOpen() const { return file_.isOpen(); }

    const ApfFileHeader& header() const { return header_; }
    int pageCount() const { return header_.pageCount; }
    std::int64_t fileSize() const { return file_.size(); }

    // Page n, 1-based: -8001 outside 1..PageCount, -100 when a header lies past the end.
    int locatePage(int n, ApfPageInfo& info);
    // The page's ImageLength bytes; -100 when the file ends first.
    int readPageData(const ApfPageInfo& info, std::vector<std::uint8_t>& data);

    PosixFile& file() { return file_; }

private:
    PosixFile file_;
    ApfFileHeader header_;
    // Last page located, so walking forward does not restart at page 1.
    ApfPageInfo cursor_;
};

// Splits a length-words page into its line records. A record announcing more bytes
// than remain is reported as cut off (-100). Records longer than 4096 bytes are
// returned whole: the limit binds writers, a reader has no reason to lose data.
class ApfLineRecords {
public:
    explicit ApfLineRecords(std::span<const std::uint8_t> pageData) : data_(pageData) {}
    // 1 with `record` set, 0 at the end, or -100.
    int next(std::span<const std::uint8_t>& record);

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Whether the first bytes of the file carry the APF signature (no other field is read).
bool isApfFile(const std::filesystem::path& path);

} // namespace faximage
