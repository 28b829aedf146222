// The index tags of one open table: their compiled key and FOR expressions, keeping every
// tag in step with record changes, and saving the compound index file with a stamp of
// the table's contents.
//
// An index file is trusted only when its stamp matches the table and every tag holds as
// many keys as the table has records passing the tag's FOR condition; otherwise all tags
// are rebuilt from the table. A damaged or unreadable index file counts as missing.
#pragma once

#include "faxlog/cdx/cdx_index.h"
#include "faxlog/dbf_file.h"
#include "faxlog/xbase_expression.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace faxlog {

struct TagDef {
    std::string name;
    std::string key;
    std::string condition; // FOR expression, may be empty
    bool descending = false;
};

class TableIndexes {
public:
    struct Tag {
        cdx::CdxTag* cdx = nullptr;
        Expression key;
        Expression condition; // invalid when the tag has none
    };

    // The compound index beside a table: same stem, ".CDX" in the table's case.
    static std::filesystem::path indexPathFor(const std::filesystem::path& table);

    // Opens the table's index file if there is one and checks it against the table.
    void open(DbfFile& dbf);
    void close(DbfFile& dbf); // saves, then forgets the tags
    bool fileExists() const;
    const std::filesystem::path& path() const { return path_; }
    // Set when open() found the index out of date or unreadable (and rebuilt or dropped it).
    const std::string& repairNote() const { return repairNote_; }
    // Set when open() dropped an index file it could not use (its tags are gone).
    bool damaged() const { return damaged_; }

    std::size_t size() const { return tags_.size(); }
    Tag& operator[](std::size_t i) { return tags_[i]; }
    const Tag& operator[](std::size_t i) const { return tags_[i]; }
    int find(std::string_view name) const; // 1-based order number, 0 when absent

    // Creates (or replaces) a tag from the table's records and saves the file.
    int createTag(DbfFile& dbf, const TagDef& def);
    void removeAll(); // drops the tags and the file name's contents (not the file)

    // Keeps tags in step: old is the record as it was (empty for an append).
    void recordChanged(const DbfFile& dbf, std::uint32_t recno, std::string_view oldRecord,
                       std::string_view newRecord);
    void rebuildAll(const DbfFile& dbf);

    // Before the first table change after a save: makes the saved file stale on disk.
    void beginChange(DbfFile& dbf);
    // Writes the index file if it changed, stamped with the table as it is now.
    void save(DbfFile& dbf);

    // The encoded key of a record for tag i (0-based).
    std::string keyOf(const DbfFile& dbf, std::size_t i, std::uint32_t recno, std::string_view record) const;
    bool passes(const DbfFile& dbf, std::size_t i, std::uint32_t recno, std::string_view record) const;

private:
    Tag compile(const DbfFile& dbf, cdx::CdxTag* t) const;
    std::vector<cdx::KeyEntry> entriesFor(const DbfFile& dbf, std::size_t i) const;
    bool verify(DbfFile& dbf) const;

    std::filesystem::path path_;
    std::optional<cdx::CdxIndex> cdx_;
    std::vector<Tag> tags_;
    bool savedClean_ = true;
    bool damaged_ = false;
    std::string repairNote_;
};

// Key type letter and length for a compiled key expression.
char keyTypeOf(const Expression& e);
int keyLengthOf(const Expression& e);
// Encodes a value of the key's type the way the index stores it.
std::string encodeKey(const Value& v, int keyLength);

} // namespace faxlog
