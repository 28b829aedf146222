// Reads a compact compound index image, trusting nothing: every offset, count, bit width
// and length is checked before use, each page may be used once only (so loops end), and
// the leaves must form one sibling chain in key order.
#include "faxlog/cdx/cdx_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_set>

namespace faxlog::cdx::format {
namespace {

constexpr int kMaxDepth = 64;

struct Header {
    uint32_t offset = 0;
    uint32_t root = 0;
    int keyLength = 0;
    uint8_t options = 0;
    bool descending = false;
    std::string keyExpression;
    std::string forExpression;
    bool marked = false;          // carries our marker
    uint32_t markerValue = 0;
};

class Reader {
public:
    Reader(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) : file_(file), bytes_(bytes) {}

    [[noreturn]] void fail(const std::string& what) const { throw CdxError(file_, what); }

    const uint8_t* page(uint32_t offset, size_t length, const char* what) {
        if (offset % kPageSize != 0 || uint64_t(offset) + length > bytes_.size())
            fail(std::string(what) + " at offset " + std::to_string(offset) + " lies outside the file");
        for (size_t p = offset; p < offset + length; p += kPageSize)
            if (!used_.insert(uint32_t(p)).second)
                fail("page at offset " + std::to_string(p) + " is used twice");
        return bytes_.data() + offset;
    }

    Header header(uint32_t offset) {
        const uint8_t* h = page(offset, kHeaderSize, "tag header");
        Header hd;
        hd.offset = offset;
        hd.root = getLe32(h);
        hd.keyLength = getLe16(h + 12);
        hd.options = h[14];
        if (hd.keyLength < 1 || hd.keyLength > kMaxKeyLength)
            fail("tag header at offset " + std::to_string(offset) + " has key length " + std::to_string(hd.keyLength));
        if (!(hd.options & kOptCompact))
            fail("tag header at offset " + std::to_string(offset) + " is not in the compact format");
        const uint16_t descending = getLe16(h + kOffDescending);
        if (descending > 1) fail("tag header at offset " + std::to_string(offset) + " has a bad order flag");
        hd.descending = descending == 1;
        // The pool holds the key expression and then the FOR expression, each ending in NUL.
        const char* pool = reinterpret_cast<const char*>(h + kHeaderSize / 2);
        const char* poolEnd = pool + kExpressionPool;
        const char* keyEnd = std::find(pool, poolEnd, '\0');
        hd.keyExpression.assign(pool, keyEnd);
        if (keyEnd != poolEnd) hd.forExpression.assign(keyEnd + 1, std::find(keyEnd + 1, poolEnd, '\0'));
        hd.marked = std::memcmp(h + kOffMarker, kMarker, sizeof kMarker) == 0;
        hd.markerValue = getLe32(h + kOffMarkerValue);
        return hd;
    }

    // Walks the tree of `hd`, handing each leaf entry to `visit` in file order.
    template <typename Visit>
    void walk(const Header& hd, char pad, Visit&& visit) {
        tree_ = &hd;
        pad_ = pad;
        leafDepth_ = -1;
        prevLeaf_ = kNoPage;
        prevRight_ = kNoPage;
        node(hd.root, 0, visit);
        if (prevRight_ != kNoPage) fail(where(prevLeaf_) + "the last leaf has a right sibling");
    }

private:
    std::string where(uint32_t offset) const {
        return "tag at offset " + std::to_string(tree_->offset) + ", page at offset " + std::to_string(offset) + ": ";
    }

    template <typename Visit>
    void node(uint32_t offset, int depth, Visit& visit) {
        if (depth > kMaxDepth) fail(where(offset) + "tree too deep");
        const uint8_t* p = page(offset, kPageSize, "index page");
        const uint16_t attributes = getLe16(p);
        const size_t count = getLe16(p + 2);
        if (attributes > (kNodeLeaf | kNodeRoot)) fail(where(offset) + "bad node attributes");
        if (attributes & kNodeLeaf) {
            if (leafDepth_ >= 0 && depth != leafDepth_) fail(where(offset) + "leaves at different depths");
            leafDepth_ = depth;
            // Offset 0 is the directory header, so a writer storing 0 for "none" is harmless.
            auto sibling = [](uint32_t v) { return v == 0 ? kNoPage : v; };
            const uint32_t left = sibling(getLe32(p + 4));
            if (left != prevLeaf_ || (prevLeaf_ != kNoPage && prevRight_ != offset))
                fail(where(offset) + "broken sibling chain");
            prevLeaf_ = offset;
            prevRight_ = sibling(getLe32(p + 8));
            leaf(offset, p, count, visit);
            return;
        }
        const size_t entrySize = size_t(tree_->keyLength) + 8;
        if (count == 0 || count * entrySize > kInteriorSpace)
            fail(where(offset) + "bad key count " + std::to_string(count));
        for (size_t i = 0; i < count; ++i)
            node(getBe32(p + kNodeHeader + i * entrySize + size_t(tree_->keyLength) + 4), depth + 1, visit);
    }

    template <typename Visit>
    void leaf(uint32_t offset, const uint8_t* p, size_t count, Visit& visit) {
        const uint32_t recMask = getLe32(p + 14);
        const int recBits = p[20], dupBits = p[21], trailBits = p[22], bytes = p[23];
        const int keyLength = tree_->keyLength;
        if (bytes < 1 || bytes > 8 || recBits < 1 || recBits > 32 || dupBits < 1 || dupBits > 8 || trailBits < 1 ||
            trailBits > 8 || recBits + dupBits + trailBits > bytes * 8)
            fail(where(offset) + "bad leaf bit widths");
        if (recMask != uint32_t((uint64_t(1) << recBits) - 1) || p[18] != (1u << dupBits) - 1 ||
            p[19] != (1u << trailBits) - 1)
            fail(where(offset) + "leaf masks disagree with their widths");
        if (count * size_t(bytes) > kLeafSpace) fail(where(offset) + "bad key count " + std::to_string(count));
        const size_t lowest = kLeafHeader + count * size_t(bytes);
        size_t keyEnd = kPageSize;
        std::string key;
        const uint8_t* entry = p + kLeafHeader;
        for (size_t i = 0; i < count; ++i, entry += bytes) {
            uint64_t bits = 0;
            for (int b = 0; b < bytes; ++b) bits |= uint64_t(entry[b]) << (8 * b);
            const uint32_t recno = uint32_t(bits & recMask);
            const int dup = int((bits >> recBits) & p[18]);
            const int trail = int((bits >> (recBits + dupBits)) & p[19]);
            if (dup + trail > keyLength || (i == 0 && dup != 0))
                fail(where(offset) + "bad duplicate or trailing count in key " + std::to_string(i));
            const size_t stored = size_t(keyLength - dup - trail);
            if (keyEnd < lowest + stored) fail(where(offset) + "keys overrun the leaf");
            keyEnd -= stored;
            key.resize(size_t(dup));
            key.append(reinterpret_cast<const char*>(p + keyEnd), stored);
            key.append(size_t(trail), pad_);
            visit(key, recno);
        }
    }

    const std::filesystem::path& file_;
    const std::vector<uint8_t>& bytes_;
    std::unordered_set<uint32_t> used_;
    const Header* tree_ = nullptr;
    char pad_ = ' ';
    int leafDepth_ = -1;
    uint32_t prevLeaf_ = kNoPage;
    uint32_t prevRight_ = kNoPage;
};

std::string trimName(const std::string& key) {
    size_t end = key.find_last_not_of(std::string(" \0", 2));
    return end == std::string::npos ? std::string() : key.substr(0, end + 1);
}

bool knownType(char t) { return t == 'C' || t == 'N' || t == 'D' || t == 'L'; }

}  // namespace

FileImage readFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                   const CdxIndex::KeyTypeResolver& resolve) {
    Reader reader(file, bytes);
    if (bytes.size() < kHeaderSize) reader.fail("too short for a compound index");
    FileImage image;
    const Header directory = reader.header(0);
    if (!(directory.options & kOptCompound)) reader.fail("not a compound index");
    if (directory.marked) image.stamp = directory.markerValue;

    struct DirEntry {
        std::string name;
        uint32_t offset;
    };
    std::vector<DirEntry> names;
    reader.walk(directory, ' ', [&](const std::string& key, uint32_t offset) {
        std::string name = trimName(key);
        for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (!validTagName(name)) reader.fail("bad tag name in the tag directory");
        for (const DirEntry& d : names)
            if (d.name == name) reader.fail("tag " + name + " is listed twice");
        names.push_back({std::move(name), offset});
    });
    std::sort(names.begin(), names.end(), [](const DirEntry& a, const DirEntry& b) { return a.offset < b.offset; });

    for (const DirEntry& d : names) {
        const Header hd = reader.header(d.offset);
        TagImage tag;
        TagInfo& info = tag.info;
        info.name = d.name;
        info.keyExpression = hd.keyExpression;
        info.forExpression = hd.forExpression;
        info.descending = hd.descending;
        info.unique = hd.options & kOptUnique;
        info.keyLength = hd.keyLength;
        if (hd.marked && knownType(char(hd.markerValue)))
            info.keyType = char(hd.markerValue);
        else if (resolve)
            info.keyType = resolve(info.name, info.keyExpression);
        if (!knownType(info.keyType)) reader.fail("tag " + info.name + ": unknown key type");
        if ((info.keyType == 'N' || info.keyType == 'D') && info.keyLength != 8)
            reader.fail("tag " + info.name + ": numeric key of length " + std::to_string(info.keyLength));
        if (info.keyType == 'L' && info.keyLength != 1)
            reader.fail("tag " + info.name + ": logical key of length " + std::to_string(info.keyLength));
        if (info.keyExpression.empty()) reader.fail("tag " + info.name + " has no key expression");

        // Keys are ascending in the file whatever the tag's order.
        const KeyOrder fileOrder{false};
        reader.walk(hd, padByte(info.keyType), [&](const std::string& key, uint32_t recno) {
            if (recno == 0) reader.fail("tag " + info.name + ": record number 0");
            if (!tag.entries.empty()) {
                const KeyEntry& prev = tag.entries.back();
                const int c = fileOrder.compareKeys(prev.key, key);
                if (c > 0 || (c == 0 && prev.recno == recno))
                    reader.fail("tag " + info.name + ": keys out of order");
            }
            tag.entries.push_back({key, recno});
        });
        if (info.descending) std::reverse(tag.entries.begin(), tag.entries.end());
        image.tags.push_back(std::move(tag));
    }
    return image;
}

}  // namespace faxlog::cdx::format
