#include "faximage/apf_file.h"

#include <algorithm>
#include <ctime>
#include <system_error>

namespace faximage {

namespace {

constexpr std::size_t kWriteBlock = 4096;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

// --- dates ------------------------------------------------------------------------------

std::uint32_t packDosDateTime(const DosDateTime& dt) {
    if (dt.year < 1980 || dt.year > 2099)
        return 0;
    const auto time = static_cast<std::uint32_t>(dt.second / 2 | dt.minute << 5 | dt.hour << 11);
    const auto date = static_cast<std::uint32_t>(dt.day | dt.month << 5 | (dt.year - 1980) << 9);
    return date << 16 | time;
}

DosDateTime unpackDosDateTime(std::uint32_t packed) {
    DosDateTime dt;
    const std::uint32_t time = packed & 0xFFFF;
    const std::uint32_t date = packed >> 16;
    dt.second = static_cast<int>(time & 0x1F) * 2;
    dt.minute = static_cast<int>(time >> 5 & 0x3F);
    dt.hour = static_cast<int>(time >> 11);
    dt.day = static_cast<int>(date & 0x1F);
    dt.month = static_cast<int>(date >> 5 & 0x0F);
    dt.year = static_cast<int>(date >> 9) + 1980;
    return dt;
}

std::uint32_t dosDateTimeOf(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return 0;
    return packDosDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec});
}

// --- headers ----------------------------------------------------------------------------

std::string ApfFileHeader::stationId() const {
    const std::size_t n = std::min<std::size_t>(stationIdLength, kApfStationIdLength);
    return std::string(stationIdChars.data(), n);
}

void ApfFileHeader::setStationId(std::string_view id) {
    const std::size_t n = std::min(id.size(), kApfStationIdLength);
    stationIdLength = static_cast<std::uint8_t>(n);
    stationIdChars.fill(' ');
    std::copy_n(id.begin(), n, stationIdChars.begin());
}

ApfFileHeader ApfFileHeader::parse(std::span<const std::uint8_t, kApfFileHeaderSize> b) {
    ApfFileHeader h;
    std::copy_n(b.begin(), 6, h.signature.begin());
    h.dateTime = get32(&b[6]);
    h.stationIdLength = b[10];
    std::copy_n(b.begin() + 11, kApfStationIdLength, h.stationIdChars.begin());
    h.pageCount = get16(&b[32]);
    h.firstPageOffset = get32(&b[34]);
    return h;
}

std::array<std::uint8_t, kApfFileHeaderSize> ApfFileHeader::serialize() const {
    std::array<std::uint8_t, kApfFileHeaderSize> b{};
    std::copy(signature.begin(), signature.end(), b.begin());
    put32(&b[6], dateTime);
    b[10] = stationIdLength;
    std::copy(stationIdChars.begin(), stationIdChars.end(), b.begin() + 11);
    put16(&b[32], pageCount);
    put32(&b[34], firstPageOffset);
    return b;
}

ApfPageHeader ApfPageHeader::parse(std::span<const std::uint8_t, kApfPageHeaderSize> b) {
    return {get32(&b[0]), get16(&b[4])};
}

std::array<std::uint8_t, kApfPageHeaderSize> ApfPageHeader::serialize() const {
    std::array<std::uint8_t, kApfPageHeaderSize> b{};
    put32(&b[0], imageLength);
    put16(&b[4], flags);
    return b;
}

// --- writer -----------------------------------------------------------------------------

ApfWriter::~ApfWriter() { abandon(); }

int ApfWriter::create(const std::filesystem::path& path,
                      std::initializer_list<std::filesystem::path> inputs) {
    abandon();
    header_ = ApfFileHeader{};
    header_.stationIdChars.fill(0); // all else 0 until close
    page_ = {};
    inPage_ = false;
    buffer_.clear();
    buffer_.reserve(kWriteBlock);
    if (int rc = out_.open(path, inputs); rc != 0)
        return rc;
    path_ = path;
    filePos_ = 0;
    const auto bytes = header_.serialize();
    if (int rc = put(bytes); rc != 0)
        return fail(rc);
    return 0;
}

int ApfWriter::put(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t room = kWriteBlock - buffer_.size();
        const std::size_t n = std::min(room, bytes.size());
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        bytes = bytes.subspan(n);
        filePos_ += n;
        if (buffer_.size() == kWriteBlock)
            if (int rc = flush(); rc != 0)
                return rc;
    }
    return 0;
}

int ApfWriter::flush() {
    if (buffer_.empty())
        return 0;
    const int rc = out_.file().writeAll(buffer_);
    buffer_.clear();
    return rc;
}

int ApfWriter::fail(int code) {
    abandon();
    return code;
}

void ApfWriter::abandon() {
    out_.discard();
    buffer_.clear();
    inPage_ = false;
}

int ApfWriter::beginPage(std::uint16_t flags) {
    page_ = {0, flags};
    pageHeaderOffset_ = filePos_;
    inPage_ = true;
    const auto bytes = page_.serialize();
    if (int rc = put(bytes); rc != 0)
        return fail(rc);
    return 0;
}

int ApfWriter::appendLine(std::span<const std::uint8_t> coded, std::uint16_t pageFlags) {
    if (!isOpen())
        return -6;
    if (coded.size() > kApfMaxLineRecord)
        return ec::BadArgument;
    if (!inPage_)
        if (int rc = beginPage(pageFlags | kApfLengthWords); rc != 0)
            return rc;
    std::uint8_t count[2];
    put16(count, static_cast<std::uint16_t>(coded.size()));
    if (int rc = put(count); rc != 0)
        return fail(rc);
    if (int rc = put(coded); rc != 0)
        return fail(rc);
    page_.imageLength += static_cast<std::uint32_t>(2 + coded.size());
    return 0;
}

int ApfWriter::endPage(std::uint16_t pageFlags) {
    if (!isOpen())
        return -6;
    if (int rc = appendLine(kApfEndOfPage, pageFlags); rc != 0)
        return rc;
    return endRawPage();
}

int ApfWriter::beginRawPage(std::uint16_t pageFlags) {
    if (!isOpen())
        return -6;
    return beginPage(pageFlags);
}

int ApfWriter::appendRaw(std::span<const std::uint8_t> data) {
    if (!isOpen() || !inPage_)
        return -6;
    if (int rc = put(data); rc != 0)
        return fail(rc);
    page_.imageLength += static_cast<std::uint32_t>(data.size());
    return 0;
}

int ApfWriter::endRawPage() {
    if (!isOpen())
        return -6;
    if (!inPage_)
        if (int rc = beginPage(0); rc != 0)
            return rc;
    header_.pageCount = static_cast<std::uint16_t>(header_.pageCount + 1);
    // Patch the page header where it is: still in the buffer, or already on disk.
    const auto bytes = page_.serialize();
    const std::uint64_t bufferStart = filePos_ - buffer_.size();
    if (pageHeaderOffset_ >= bufferStart) {
        std::copy(bytes.begin(), bytes.end(),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(pageHeaderOffset_ - bufferStart));
    } else {
        const std::uint64_t onDisk = bufferStart - pageHeaderOffset_;
        const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(onDisk, bytes.size()));
        if (int rc = out_.file().writeAllAt(pageHeaderOffset_, std::span(bytes).first(first));
            rc != 0)
            return fail(rc);
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end(), buffer_.begin());
    }
    inPage_ = false;
    return 0;
}

int ApfWriter::close(std::string_view stationId, std::chrono::system_clock::time_point when) {
    if (!isOpen())
        return -6;
    header_.setStationId(stationId);
    header_.dateTime = dosDateTimeOf(when);
    if (int rc = flush(); rc != 0)
        return fail(rc);
    const auto bytes = header_.serialize();
    if (int rc = out_.file().writeAllAt(0, bytes); rc != 0)
        return fail(rc);
    if (int rc = out_.commit(); rc != 0)
        return fail(rc);
    return 0;
}

// --- reader -----------------------------------------------------------------------------

int ApfReader::open(const std::filesystem::path& path) {
    cursor_ = {};
    header_ = {};
    if (path.empty())
        return -2;
    if (int rc = file_.open(path, PosixFile::Mode::Read); rc != 0)
        return rc;
    std::array<std::uint8_t, kApfFileHeaderSize> bytes{};
    const int rc = file_.readExact(bytes);
    // A file too short for a header cannot hold the signature either.
    if (rc == kErrReadPastEnd || (rc == 0 && !std::equal(kApfSignature.begin(), kApfSignature.end(),
                                                          bytes.begin()))) {
        file_.close();
        return ec::FaxBadFormat;
    }
    if (rc != 0) {
        file_.close();
        return rc;
    }
    header_ = ApfFileHeader::parse(bytes);
    return 0;
}

int ApfReader::locatePage(int n, ApfPageInfo& info) {
    if (!file_.isOpen())
        return -6;
    if (n < 1 || n > header_.pageCount)
        return ec::FaxBadFormat;
    ApfPageInfo at = cursor_;
    if (at.number == 0 || at.number > n)
        at = {0, header_.firstPageOffset, 0, {}};
    while (at.number < n) {
        const std::uint64_t offset =
            at.number == 0 ? at.headerOffset : at.dataOffset + at.header.imageLength;
        std::array<std::uint8_t, kApfPageHeaderSize> bytes{};
        if (int rc = file_.readExactAt(offset, bytes); rc != 0)
            return rc;
        at = {at.number + 1, offset, offset + kApfPageHeaderSize, ApfPageHeader::parse(bytes)};
    }
    cursor_ = at;
    info = at;
    return 0;
}

int ApfReader::readPageData(const ApfPageInfo& info, std::vector<std::uint8_t>& data) {
    if (!file_.isOpen())
        return -6;
    // Check the size first so a bogus ImageLength cannot make us allocate gigabytes.
    const std::int64_t size = file_.size();
    if (size < 0)
        return static_cast<int>(size);
    if (info.dataOffset + info.header.imageLength > static_cast<std::uint64_t>(size))
        return kErrReadPastEnd;
    data.resize(info.header.imageLength);
    return file_.readExactAt(info.dataOffset, data);
}

int ApfLineRecords::next(std::span<const std::uint8_t>& record) {
    if (pos_ >= data_.size())
        return 0;
    if (data_.size() - pos_ < 2)
        return kErrReadPastEnd;
    const std::size_t n = get16(&data_[pos_]);
    if (data_.size() - pos_ - 2 < n)
        return kErrReadPastEnd;
    record = data_.subspan(pos_ + 2, n);
    pos_ += 2 + n;
    return 1;
}

bool isApfFile(const std::filesystem::path& path) {
    ApfReader r;
    return r.open(path) == 0;
}

} // namespace faximage
