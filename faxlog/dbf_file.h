// One DBF table file: FoxPro 2.x header (0xF5 with a memo file, 0x03 without), field
// descriptors and fixed-length records. Records are read in chunks when first needed and
// kept, and written through, so opening a large table reads only what is shown and scans
// never go to the disk record by record.
//
// Write order keeps the file readable after a kill at any point: appended records are
// written behind the old end-of-file mark, then the first byte replaces that mark, then
// the header's record count makes them part of the table; an edit rewrites one record in
// place with a single write.
#pragma once

#include "faxlog/dbf_schema.h"
#include "faxlog/file_handle.h"
#include "faxlog/xbase_date.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

namespace faxlog {

enum class OpenMode { Shared = 0, ReadOnly = 1, Exclusive = 2 };
const char* to_string(OpenMode m);

class DbfFile {
public:
    static constexpr std::uint8_t kVersionPlain = 0x03;
    static constexpr std::uint8_t kVersionFoxMemo = 0xF5;
    static constexpr char kEofMark = 0x1A;
    static constexpr std::uint64_t kLockBase = 0x40000000;

    // Writes an empty table (and nothing else); the caller creates the memo file.
    static void create(const std::filesystem::path& path, const Schema& schema);
    // Opens and locks: exclusive refuses when anyone else has the file open through this
    // engine, shared and read-only refuse only an exclusive holder.
    static DbfFile open(const std::filesystem::path& path, OpenMode mode);

    DbfFile(DbfFile&&) = default;
    DbfFile& operator=(DbfFile&&) = default;
    ~DbfFile();

    const std::filesystem::path& path() const { return file_.path(); }
    const Schema& schema() const { return schema_; }
    OpenMode mode() const { return mode_; }
    bool readOnly() const { return mode_ == OpenMode::ReadOnly; }
    std::uint8_t version() const { return version_; }
    XDate lastUpdate() const { return lastUpdate_; }
    int fd() const { return file_.fd(); }

    std::uint32_t recordCount() const { return count_; }
    // Set when opening found whole records beyond the header's count and took them in.
    const std::string& recoveryNote() const { return recoveryNote_; }
    // Record recno (1-based) with its deleted mark at byte 0. The view stays valid while
    // the file is open (and not refreshed).
    std::string_view record(std::uint32_t recno) const;
    bool deleted(std::uint32_t recno) const { return record(recno)[0] == '*'; }

    void writeRecord(std::uint32_t recno, std::string_view bytes);
    // Exclusive users collect appended records and write them in batches (at the latest
    // on flushAppends, sync, close or when a batch grows large); shared users write each
    // one at once so that the other openers see it.
    std::uint32_t appendRecord(std::string_view bytes);
    void flushAppends();
    void sync();

    // Shared mode: picks up records other openers appended or changed.
    void refresh();

    // Change generation kept in reserved header bytes 16..19. Bumped before the first
    // change after the indexes were saved, so an index saved earlier no longer matches.
    std::uint32_t generation() const;
    void bumpGeneration();
    // Records without the deleted mark: counted on first use, then kept up to date.
    std::uint32_t liveCount() const;
    // The count as stored in the header at the last index save (bytes 20..23); only
    // meaningful when the index stamp shows nothing changed the file since.
    std::uint32_t storedLiveCount() const;
    void adoptStoredLiveCount() { liveCount_ = storedLiveCount(); }
    void storeLiveCount();
    // Identity of the file's current contents for the index stamp.
    std::uint32_t contentStamp(); // writes pending appends first
    // Record locks for shared use, beyond the data so that they never block reads.
    bool lockRecord(std::uint32_t recno) { return file_.lockRange(kLockBase + recno, 1, false); }
    void unlockRecord(std::uint32_t recno) { file_.unlockRange(kLockBase + recno, 1); }
    // After a rename moved this open file to a new name.
    void renamed(const std::filesystem::path& to) { file_.renamed(to); }

    // Writes a table with the same header and the given records to path (for pack).
    void writeCopy(const std::filesystem::path& path, const std::string& records,
                   std::uint32_t count) const;

private:
    DbfFile() = default;
    void load();
    void touchHeader(); // first change of a session stamps today's date
    std::string headerBytes(std::uint32_t count) const;
    std::uint32_t wholeRecordsFrom(std::uint32_t counted, std::uint64_t available) const;

    FileHandle file_;
    Schema schema_;
    OpenMode mode_ = OpenMode::Shared;
    std::uint8_t version_ = kVersionPlain;
    std::uint16_t headerLength_ = 0;
    std::string rawHeader_; // header and descriptors as read, kept verbatim for copies
    XDate lastUpdate_;
    std::uint32_t count_ = 0;
    std::uint32_t diskCount_ = 0; // records the header on disk counts
    static constexpr std::uint32_t kChunkRecords = 512;
    char* chunkFor(std::uint32_t recno) const; // loads the chunk on first use
    mutable std::vector<std::unique_ptr<char[]>> chunks_;
    mutable std::optional<std::uint32_t> liveCount_;
    bool touched_ = false;
    std::string recoveryNote_;
};

} // namespace faxlog
