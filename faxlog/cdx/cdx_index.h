// Compound index files (".CDX", FoxPro 2.x compact format): a tag directory plus one
// B-tree per tag. Tags are held in memory while the index is open; flush() rewrites the
// whole file through a temporary file and a rename.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace faxlog::cdx {

// Every message starts with the file's path.
struct CdxError : std::runtime_error {
    CdxError(const std::filesystem::path& file, const std::string& what);
    std::filesystem::path file;
};

struct TagInfo {
    std::string name;            // up to 10 chars, stored upper case
    std::string keyExpression;   // text as given, e.g. "DTOS(DATESENT)+TIMESENT"
    std::string forExpression;   // e.g. ".not. deleted()" or empty
    bool descending = false;
    bool unique = false;
    char keyType = 'C';          // 'C', 'N', 'D', 'L' (type of the key expression's value)
    int keyLength = 0;           // bytes
};

struct KeyEntry {
    std::string key;
    uint32_t recno = 0;
    bool operator==(const KeyEntry&) const = default;
};

// Index order: key bytes compared unsigned, then record numbers. The file always holds
// keys ascending (as other readers binary-search it); a descending tag is the same
// sequence walked backwards, so equal keys come by record number descending there.
struct KeyOrder {
    using is_transparent = void;
    bool descending = false;
    int compareKeys(std::string_view a, std::string_view b) const {
        int c = a.compare(b);
        return descending ? -c : c;
    }
    bool operator()(const KeyEntry& a, const KeyEntry& b) const {
        int c = compareKeys(a.key, b.key);
        return c < 0 || (c == 0 && (descending ? a.recno > b.recno : a.recno < b.recno));
    }
    // Prefix probes for seek(): only the probe's length of the entry's key counts.
    struct Prefix { std::string_view key; };
    bool operator()(const KeyEntry& a, Prefix p) const {
        return compareKeys(std::string_view(a.key).substr(0, p.key.size()), p.key) < 0;
    }
    bool operator()(Prefix p, const KeyEntry& a) const {
        return compareKeys(p.key, std::string_view(a.key).substr(0, p.key.size())) < 0;
    }
};

namespace detail {
struct IndexState;
}

// One tag, held in memory while its index is open.
class CdxTag {
public:
    using Set = std::set<KeyEntry, KeyOrder>;
    using const_iterator = Set::const_iterator;   // bidirectional, in index order

    CdxTag(detail::IndexState* owner, TagInfo info);

    const TagInfo& info() const { return info_; }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // First entry, in index order, at or after `key`; a key shorter than keyLength
    // matches as a prefix. In a descending tag "after" means smaller.
    const_iterator seek(std::string_view key) const;
    // The exact entry, or end().
    const_iterator find(std::string_view key, uint32_t recno) const;
    // key must be keyLength bytes (CdxError otherwise). A unique tag keeps only the
    // first record of each key, as FoxPro does; a repeated entry is not added twice.
    void insert(std::string key, uint32_t recno);
    bool erase(std::string_view key, uint32_t recno);

private:
    friend class CdxIndex;
    void assign(std::vector<KeyEntry> entries);
    void markDirty();
    [[noreturn]] void fail(const std::string& what) const;

    detail::IndexState* owner_;
    TagInfo info_;
    Set entries_;
};

class CdxIndex {
public:
    static CdxIndex create(const std::filesystem::path& file);   // new, no tags; written on flush()
    // Files record no key types. Ours keep them in reserved header bytes; for tags from
    // other writers `resolve` (tag name, key expression) -> 'C','N','D','L' is asked, and
    // without it they are read as 'C'. Throws CdxError if the file is corrupt.
    using KeyTypeResolver = std::function<char(const std::string& tagName, const std::string& keyExpression)>;
    static CdxIndex open(const std::filesystem::path& file, const KeyTypeResolver& resolve = {});

    CdxIndex(CdxIndex&&) noexcept;
    CdxIndex& operator=(CdxIndex&&) noexcept;
    ~CdxIndex();

    const std::filesystem::path& path() const;
    // Order of the tag headers in the file, which is creation order for files we write.
    std::vector<std::string> tagNames() const;
    CdxTag* tag(std::string_view name);                // case-insensitive, nullptr if absent
    const CdxTag* tag(std::string_view name) const;
    // (Re)build a tag from its entries in one go (any order; sorted here). A tag of the
    // same name is replaced in place (pointers to the old one dangle, as after removeTag).
    // Throws CdxError on a bad name, key length or expression, or an entry whose key is
    // not keyLength bytes.
    CdxTag& createTag(const TagInfo& info, std::vector<KeyEntry> entries);
    void removeTag(std::string_view name);              // no-op when absent

    // Consistency stamp shared with the table; 0 when the file carries none.
    uint32_t stamp() const;
    void setStamp(uint32_t);

    // Writes the file if anything changed: temporary file, fsync, rename over the old one.
    void flush();
    bool dirty() const;

private:
    explicit CdxIndex(std::unique_ptr<detail::IndexState> state);
    std::unique_ptr<detail::IndexState> state_;
};

// Key encodings as FoxPro stores them.
std::string encodeCharacterKey(std::string_view text, int keyLength);  // blank-padded or cut
std::string encodeNumericKey(double value);                           // 8 bytes, sorts numerically
std::string encodeDateKey(int32_t julianDay);                         // 0 = blank date
std::string encodeLogicalKey(bool value);                             // "T" / "F"
double decodeNumericKey(std::string_view key);

}  // namespace faxlog::cdx
