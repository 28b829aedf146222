#include "faxlog/dbf_file.h"

#include "faxlog/dbf_record.h"
#include "faxlog/table_error.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>

namespace faxlog {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr char kHeaderEnd = 0x0D;
constexpr std::uint8_t kCodePage1252 = 0x03;

std::uint32_t le32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::uint16_t le16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      static_cast<unsigned char>(s[at + 1]) << 8);
}

void putLe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putLe16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

void putDate(std::string& s, const XDate& d) {
    const auto ymd = d.ymd();
    s[1] = static_cast<char>(static_cast<int>(ymd.year()) - 1900);
    s[2] = static_cast<char>(static_cast<unsigned>(ymd.month()));
    s[3] = static_cast<char>(static_cast<unsigned>(ymd.day()));
}

bool knownVersion(std::uint8_t v) {
    switch (v) {
    case 0x02: // FoxBASE
    case 0x03: // no memo
    case 0x83: // dBASE III with memo
    case 0x8B: // dBASE IV with memo
    case 0xF5: // FoxPro with memo
    case 0x30: // later FoxPro
    case 0x31:
        return true;
    default:
        return false;
    }
}

} // namespace

const char* to_string(OpenMode m) {
    switch (m) {
    case OpenMode::Shared: return "shared";
    case OpenMode::ReadOnly: return "read-only";
    case OpenMode::Exclusive: return "exclusive";
    }
    return "?";
}

void DbfFile::create(const std::filesystem::path& path, const Schema& schema) {
    const std::size_t headerLength = kHeaderSize + kDescriptorSize * schema.size() + 1;
    std::string h(headerLength, '\0');
    h[0] = static_cast<char>(schema.hasMemo() ? kVersionFoxMemo : kVersionPlain);
    putDate(h, XDate::today());
    putLe32(h, 4, 0);
    putLe16(h, 8, static_cast<std::uint16_t>(headerLength));
    putLe16(h, 10, static_cast<std::uint16_t>(schema.recordLength()));
    h[29] = static_cast<char>(kCodePage1252);
    std::size_t at = kHeaderSize;
    for (const auto& f : schema.fields()) {
        std::memcpy(&h[at], f.name.data(), f.name.size());
        h[at + 11] = typeLetter(f.type);
        putLe32(h, at + 12, static_cast<std::uint32_t>(f.offset));
        h[at + 16] = static_cast<char>(f.width);
        h[at + 17] = static_cast<char>(f.decimals);
        at += kDescriptorSize;
    }
    h[at] = kHeaderEnd;
    h += kEofMark;
    FileHandle out(path, O_WRONLY | O_CREAT | O_EXCL);
    out.writeAt(0, h);
    out.sync();
}

DbfFile DbfFile::open(const std::filesystem::path& path, OpenMode mode) {
    DbfFile t;
    t.mode_ = mode;
    t.file_ = FileHandle(path, mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR);
    if (!t.file_.tryLock(mode == OpenMode::Exclusive))
        throw TableBusyError(path, mode == OpenMode::Exclusive
                                       ? "in use by another program; cannot open it exclusively"
                                       : "opened exclusively by another program");
    t.load();
    return t;
}

void DbfFile::load() {
    const auto& p = file_.path();
    const std::uint64_t size = file_.size();
    if (size < kHeaderSize + 1)
        throw TableError(p, "not a DBF table: " + std::to_string(size) + " bytes is too short for a header");
    std::string head = file_.readAt(0, kHeaderSize);
    version_ = static_cast<std::uint8_t>(head[0]);
    if (!knownVersion(version_))
        throw TableError(p, "not a DBF table: unknown version byte " + std::to_string(version_));
    headerLength_ = le16(head, 8);
    const std::uint16_t recordLength = le16(head, 10);
    const std::uint32_t count = le32(head, 4);
    if (headerLength_ < kHeaderSize + 1 || headerLength_ > size)
        throw TableError(p, "damaged header: header length " + std::to_string(headerLength_) +
                                " does not fit a file of " + std::to_string(size) + " bytes");
    rawHeader_ = file_.readAt(0, headerLength_);
    std::vector<FieldDef> fields;
    std::size_t at = kHeaderSize;
    while (true) {
        if (at >= headerLength_)
            throw TableError(p, "damaged header: field list has no end mark");
        if (rawHeader_[at] == kHeaderEnd)
            break;
        if (at + kDescriptorSize > headerLength_)
            throw TableError(p, "damaged header: field descriptor cut short");
        FieldDef f;
        const char* name = &rawHeader_[at];
        f.name.assign(name, strnlen(name, 11));
        const char letter = rawHeader_[at + 11];
        const auto type = fieldTypeFromLetter(letter);
        if (!type)
            throw TableError(p, "field " + f.name + " has the unsupported type '" +
                                    std::string(1, letter) + "'");
        f.type = *type;
        f.width = static_cast<unsigned char>(rawHeader_[at + 16]);
        f.decimals = static_cast<unsigned char>(rawHeader_[at + 17]);
        if (f.type == FieldType::Character) // wide character fields keep the high width byte there
            f.decimals = 0;
        fields.push_back(std::move(f));
        at += kDescriptorSize;
    }
    try {
        schema_ = Schema(std::move(fields));
    } catch (const std::invalid_argument& e) {
        throw TableError(p, std::string("damaged header: ") + e.what());
    }
    if (schema_.recordLength() != recordLength)
        throw TableError(p, "damaged header: record length " + std::to_string(recordLength) +
                                " but the fields add up to " + std::to_string(schema_.recordLength()));
    const std::uint64_t available = (size - headerLength_) / recordLength;
    if (count > available)
        throw TableError(p, "truncated: the header counts " + std::to_string(count) +
                                " records but the file holds " + std::to_string(available));
    count_ = diskCount_ = wholeRecordsFrom(count, available);
    recoveryNote_.clear();
    if (count_ > count) {
        recoveryNote_ = p.string() + ": the header counts " + std::to_string(count) + " records but " +
                        std::to_string(count_) + " whole records follow it; the " +
                        std::to_string(count_ - count) + " beyond the count were recovered";
        // An exclusive opener owns the file: the header says so too from now on, for every
        // reader and for the next append.
        if (mode_ == OpenMode::Exclusive) {
            std::string c(4, '\0');
            putLe32(c, 0, count_);
            file_.writeAt(4, c);
            putLe32(rawHeader_, 4, count_);
        }
    }
    chunks_.clear();
    liveCount_.reset();
    // Some writers store the year modulo 100 instead of years since 1900.
    const int yy = static_cast<unsigned char>(head[1]);
    lastUpdate_ = XDate::fromYmd(yy < 80 ? 2000 + yy : 1900 + yy, static_cast<unsigned char>(head[2]),
                                 static_cast<unsigned char>(head[3]));
}

// Records an append wrote before it could update the header count (or that a writer
// never counted): whole records marked live or deleted, up to the end mark, as readers
// that walk the file rather than trust the count see them.
std::uint32_t DbfFile::wholeRecordsFrom(std::uint32_t counted, std::uint64_t available) const {
    const auto len = static_cast<std::uint64_t>(schema_.recordLength());
    constexpr std::uint64_t kMaxRecords = 0xFFFFFFFFu;
    std::uint64_t n = counted;
    const std::uint64_t last = std::min(available, kMaxRecords);
    while (n < last) {
        const std::string mark = file_.readAt(headerLength_ + n * len, 1);
        if (mark.size() != 1 || (mark[0] != ' ' && mark[0] != '*'))
            break;
        ++n;
    }
    return static_cast<std::uint32_t>(n);
}

char* DbfFile::chunkFor(std::uint32_t recno) const {
    const std::size_t c = (recno - 1) / kChunkRecords;
    if (c >= chunks_.size())
        chunks_.resize(c + 1);
    auto& chunk = chunks_[c];
    if (!chunk) {
        const auto len = static_cast<std::size_t>(schema_.recordLength());
        chunk = std::make_unique_for_overwrite<char[]>(kChunkRecords * len);
        const std::uint32_t first = static_cast<std::uint32_t>(c * kChunkRecords) + 1;
        if (first <= diskCount_) {
            const std::uint32_t n = std::min(kChunkRecords, diskCount_ - first + 1);
            file_.readAt(headerLength_ + static_cast<std::uint64_t>(first - 1) * len, chunk.get(), n * len);
        }
    }
    return chunk.get() + static_cast<std::size_t>((recno - 1) % kChunkRecords) * schema_.recordLength();
}

std::string_view DbfFile::record(std::uint32_t recno) const {
    if (recno < 1 || recno > count_)
        throw TableError(path(), "record " + std::to_string(recno) + " is out of range 1.." +
                                     std::to_string(count_));
    return {chunkFor(recno), static_cast<std::size_t>(schema_.recordLength())};
}

std::uint32_t DbfFile::liveCount() const {
    if (!liveCount_) {
        std::uint32_t n = 0;
        for (std::uint32_t r = 1; r <= count_; ++r)
            n += !deleted(r);
        liveCount_ = n;
    }
    return *liveCount_;
}

std::uint32_t DbfFile::storedLiveCount() const { return le32(rawHeader_, 20); }

void DbfFile::storeLiveCount() {
    if (readOnly())
        return;
    const std::uint32_t n = liveCount();
    if (n == storedLiveCount())
        return;
    putLe32(rawHeader_, 20, n);
    file_.writeAt(20, std::string_view(rawHeader_).substr(20, 4));
}

void DbfFile::touchHeader() {
    if (touched_)
        return;
    touched_ = true;
    const XDate today = XDate::today();
    if (today == lastUpdate_)
        return;
    std::string d(4, '\0');
    putDate(d, today);
    file_.writeAt(1, std::string_view(d).substr(1, 3));
    lastUpdate_ = today;
}

void DbfFile::writeRecord(std::uint32_t recno, std::string_view bytes) {
    if (readOnly())
        throw TableError(path(), "opened read-only");
    const auto len = static_cast<std::size_t>(schema_.recordLength());
    if (bytes.size() != len)
        throw TableError(path(), "record of " + std::to_string(bytes.size()) + " bytes, expected " +
                                     std::to_string(len));
    record(recno); // range check
    char* at = chunkFor(recno);
    if (liveCount_)
        *liveCount_ += static_cast<int>(at[0] == '*') - static_cast<int>(bytes[0] == '*');
    std::copy(bytes.begin(), bytes.end(), at);
    if (recno > diskCount_)
        return; // goes out with its batch
    touchHeader();
    file_.writeAt(headerLength_ + static_cast<std::uint64_t>(recno - 1) * len, bytes);
}

std::uint32_t DbfFile::appendRecord(std::string_view bytes) {
    if (readOnly())
        throw TableError(path(), "opened read-only");
    const auto len = static_cast<std::size_t>(schema_.recordLength());
    if (bytes.size() != len)
        throw TableError(path(), "record of " + std::to_string(bytes.size()) + " bytes, expected " +
                                     std::to_string(len));
    if (mode_ != OpenMode::Shared) {
        ++count_;
        std::copy(bytes.begin(), bytes.end(), chunkFor(count_));
        if (liveCount_)
            *liveCount_ += bytes[0] != '*';
        constexpr std::size_t kBatchBytes = 1 << 20;
        if ((count_ - diskCount_) * len >= kBatchBytes)
            flushAppends();
        return count_;
    }
    file_.lockRange(0, 1, true); // one appender at a time
    try {
        refresh();
        ++count_;
        std::copy(bytes.begin(), bytes.end(), chunkFor(count_));
        flushAppends();
    } catch (...) {
        file_.unlockRange(0, 1);
        throw;
    }
    file_.unlockRange(0, 1);
    return count_;
}

void DbfFile::flushAppends() {
    if (count_ == diskCount_ || !file_.isOpen())
        return;
    const auto len = static_cast<std::size_t>(schema_.recordLength());
    const std::uint64_t at = headerLength_ + static_cast<std::uint64_t>(diskCount_) * len;
    std::string fresh;
    fresh.reserve(static_cast<std::size_t>(count_ - diskCount_) * len);
    for (std::uint32_t r = diskCount_ + 1; r <= count_; ++r)
        fresh.append(record(r));
    // The new records go in behind the old end mark, which their first byte then
    // replaces; the header count comes last. Readers that stop at the end mark and readers
    // that trust the count both see whole records only, whenever the writer is killed.
    const char first = fresh[0];
    fresh.erase(0, 1);
    fresh += kEofMark;
    file_.writeAt(at + 1, fresh);
    file_.writeAt(at, std::string_view(&first, 1));
    std::string h = rawHeader_.substr(0, 8);
    const XDate today = XDate::today();
    putDate(h, today);
    putLe32(h, 4, count_);
    file_.writeAt(1, std::string_view(h).substr(1, 7));
    touched_ = true;
    lastUpdate_ = today;
    diskCount_ = count_;
}

void DbfFile::sync() {
    flushAppends();
    file_.sync();
}

DbfFile::~DbfFile() {
    try {
        flushAppends();
    } catch (...) {
        // The records stay unwritten; the table on disk is whole without them.
    }
}

void DbfFile::refresh() {
    const std::string head = file_.readAt(0, kHeaderSize);
    const std::uint32_t count = le32(head, 4);
    const auto len = static_cast<std::uint64_t>(schema_.recordLength());
    const std::uint64_t available = (file_.size() - headerLength_) / len;
    if (count > available)
        throw TableError(path(), "truncated: the header counts " + std::to_string(count) +
                                     " records but the file holds " + std::to_string(available));
    count_ = diskCount_ = wholeRecordsFrom(count, available);
    chunks_.clear();
    liveCount_.reset();
}

std::uint32_t DbfFile::generation() const { return le32(rawHeader_, 16); }

void DbfFile::bumpGeneration() {
    if (readOnly())
        return;
    putLe32(rawHeader_, 16, generation() + 1);
    file_.writeAt(16, std::string_view(rawHeader_).substr(16, 4));
}

std::uint32_t DbfFile::contentStamp() {
    flushAppends();
    const auto id = file_.identity();
    // FNV-1a over what any writer changes: our generation, the count, size and mtime.
    std::uint32_t h = 2166136261u;
    const auto mix = [&h](std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= static_cast<std::uint32_t>((v >> (8 * i)) & 0xFF);
            h *= 16777619u;
        }
    };
    mix(generation());
    mix(count_);
    mix(id.size);
    mix(static_cast<std::uint64_t>(id.mtimeSec));
    mix(static_cast<std::uint64_t>(id.mtimeNsec));
    return h == 0 ? 1 : h; // 0 means "no stamp" in the index file
}

void DbfFile::writeCopy(const std::filesystem::path& out, const std::string& records,
                        std::uint32_t count) const {
    std::string h = rawHeader_;
    putDate(h, XDate::today());
    putLe32(h, 4, count);
    FileHandle f(out, O_WRONLY | O_CREAT | O_TRUNC);
    f.writeAt(0, h);
    f.writeAt(h.size(), records);
    f.writeAt(h.size() + records.size(), std::string(1, kEofMark));
    f.sync();
}

} // namespace faxlog
