// Serialises tags into a compact compound index image. The whole file is written anew
// on every flush, so pages are packed full and there is never a free page to list.
#include "faxlog/cdx/cdx_format.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace faxlog::cdx::format {
namespace {

struct LeafLayout {
    int recBits;
    int countBits;   // duplicate and trailing counts alike
    int bytes;
};

// The bit fields grow with the largest record number in the page; three bytes at
// least, as FoxPro writes them for small tables.
LeafLayout leafLayout(uint32_t maxRecno, int keyLength) {
    int countBits = bitsFor(uint64_t(keyLength));
    int recBits = bitsFor(maxRecno);
    int bytes = std::max(3, (recBits + 2 * countBits + 7) / 8);
    return {std::min(32, bytes * 8 - 2 * countBits), countBits, bytes};
}

struct PackedKey {
    uint32_t recno;
    int dup;
    int trail;
    std::string_view rest;   // the bytes actually stored
};

int trailingPad(std::string_view key, char pad) {
    int n = 0;
    for (auto it = key.rbegin(); it != key.rend() && *it == pad; ++it) ++n;
    return n;
}

// A key never borrows bytes from the previous key's dropped padding: readers that rebuild
// the previous key with a different pad byte would otherwise go wrong.
PackedKey packKey(const KeyEntry& e, const PackedKey* prev, std::string_view prevKey, char pad) {
    const int len = int(e.key.size());
    const int trail = trailingPad(e.key, pad);
    int dup = 0;
    if (prev) {
        const int limit = std::min(len - trail, len - prev->trail);
        while (dup < limit && e.key[size_t(dup)] == prevKey[size_t(dup)]) ++dup;
    }
    return {e.recno, dup, trail, std::string_view(e.key).substr(size_t(dup), size_t(len - dup - trail))};
}

struct Leaf {
    std::vector<PackedKey> keys;
    size_t keyBytes = 0;
    uint32_t maxRecno = 0;
    const KeyEntry* last = nullptr;
};

struct ChildRef {
    const std::string* key;
    uint32_t recno;
    uint32_t offset;
};

class TreeWriter {
public:
    TreeWriter(std::vector<uint8_t>& out, int keyLength, char pad) : out_(out), keyLength_(keyLength), pad_(pad) {}

    // Appends the B-tree over `entries` (index order) and returns its root's offset.
    uint32_t write(const std::vector<const KeyEntry*>& entries) {
        std::vector<Leaf> leaves = packLeaves(entries);
        const uint32_t base = uint32_t(out_.size());
        out_.resize(out_.size() + leaves.size() * kPageSize, 0);
        std::vector<ChildRef> level;
        for (size_t i = 0; i < leaves.size(); ++i) {
            const uint32_t off = base + uint32_t(i * kPageSize);
            const uint32_t left = i == 0 ? kNoPage : off - uint32_t(kPageSize);
            const uint32_t right = i + 1 == leaves.size() ? kNoPage : off + uint32_t(kPageSize);
            writeLeaf(off, leaves[i], left, right, leaves.size() == 1);
            if (leaves[i].last) level.push_back({&leaves[i].last->key, leaves[i].last->recno, off});
        }
        if (leaves.size() == 1) return base;
        while (true) {
            level = writeInteriorLevel(level);
            if (level.size() == 1) return level.front().offset;
        }
    }

private:
    std::vector<Leaf> packLeaves(const std::vector<const KeyEntry*>& entries) {
        std::vector<Leaf> leaves(1);
        std::string_view prevKey;
        for (const KeyEntry* e : entries) {
            Leaf* leaf = &leaves.back();
            PackedKey packed = packKey(*e, leaf->keys.empty() ? nullptr : &leaf->keys.back(), prevKey, pad_);
            const uint32_t maxRecno = std::max(leaf->maxRecno, e->recno);
            const size_t need = (leaf->keys.size() + 1) * size_t(leafLayout(maxRecno, keyLength_).bytes) +
                                leaf->keyBytes + packed.rest.size();
            if (!leaf->keys.empty() && need > kLeafSpace) {
                leaf = &leaves.emplace_back();
                packed = packKey(*e, nullptr, {}, pad_);
            }
            leaf->keys.push_back(packed);
            leaf->keyBytes += packed.rest.size();
            leaf->maxRecno = std::max(leaf->maxRecno, e->recno);
            leaf->last = e;
            prevKey = e->key;
        }
        return leaves;
    }

    void writeLeaf(uint32_t off, const Leaf& leaf, uint32_t left, uint32_t right, bool root) {
        uint8_t* p = out_.data() + off;
        const LeafLayout lay = leafLayout(leaf.maxRecno, keyLength_);
        putLe16(p, uint16_t(kNodeLeaf | (root ? kNodeRoot : 0)));
        putLe16(p + 2, uint16_t(leaf.keys.size()));
        putLe32(p + 4, left);
        putLe32(p + 8, right);
        putLe16(p + 12, uint16_t(kLeafSpace - leaf.keys.size() * size_t(lay.bytes) - leaf.keyBytes));
        putLe32(p + 14, uint32_t((uint64_t(1) << lay.recBits) - 1));
        p[18] = uint8_t((1u << lay.countBits) - 1);
        p[19] = uint8_t((1u << lay.countBits) - 1);
        p[20] = uint8_t(lay.recBits);
        p[21] = uint8_t(lay.countBits);
        p[22] = uint8_t(lay.countBits);
        p[23] = uint8_t(lay.bytes);
        size_t keyPos = kPageSize;
        uint8_t* entry = p + kLeafHeader;
        for (const PackedKey& k : leaf.keys) {
            const uint64_t bits = uint64_t(k.recno) | (uint64_t(k.dup) << lay.recBits) |
                                  (uint64_t(k.trail) << (lay.recBits + lay.countBits));
            for (int i = 0; i < lay.bytes; ++i) entry[i] = uint8_t(bits >> (8 * i));
            entry += lay.bytes;
            keyPos -= k.rest.size();
            if (!k.rest.empty()) std::memcpy(p + keyPos, k.rest.data(), k.rest.size());
        }
    }

    // Spreads the children evenly over as few interior pages as hold them.
    std::vector<ChildRef> writeInteriorLevel(const std::vector<ChildRef>& children) {
        const size_t entrySize = size_t(keyLength_) + 8;
        const size_t perPage = kInteriorSpace / entrySize;
        const size_t pages = (children.size() + perPage - 1) / perPage;
        const uint32_t base = uint32_t(out_.size());
        out_.resize(out_.size() + pages * kPageSize, 0);
        std::vector<ChildRef> parents;
        size_t next = 0;
        for (size_t i = 0; i < pages; ++i) {
            const size_t count = children.size() / pages + (i < children.size() % pages ? 1 : 0);
            const uint32_t off = base + uint32_t(i * kPageSize);
            uint8_t* p = out_.data() + off;
            putLe16(p, uint16_t(pages == 1 ? kNodeRoot : 0));
            putLe16(p + 2, uint16_t(count));
            putLe32(p + 4, i == 0 ? kNoPage : off - uint32_t(kPageSize));
            putLe32(p + 8, i + 1 == pages ? kNoPage : off + uint32_t(kPageSize));
            uint8_t* e = p + kNodeHeader;
            for (size_t j = 0; j < count; ++j, ++next, e += entrySize) {
                const ChildRef& c = children[next];
                std::memcpy(e, c.key->data(), size_t(keyLength_));
                putBe32(e + keyLength_, c.recno);
                putBe32(e + keyLength_ + 4, c.offset);
            }
            const ChildRef& last = children[next - 1];
            parents.push_back({last.key, last.recno, off});
        }
        return parents;
    }

    std::vector<uint8_t>& out_;
    int keyLength_;
    char pad_;
};

void writeHeader(std::vector<uint8_t>& out, uint32_t at, uint32_t root, int keyLength, uint8_t options,
                 bool descending, std::string_view keyExpr, std::string_view forExpr, uint32_t markerValue) {
    uint8_t* h = out.data() + at;
    putLe32(h, root);
    putLe32(h + 4, 0);   // no free pages
    putBe32(h + 8, 0);
    putLe16(h + 12, uint16_t(keyLength));
    h[14] = options;
    h[15] = kSignature;
    std::memcpy(h + kOffMarker, kMarker, sizeof kMarker);
    putLe32(h + kOffMarkerValue, markerValue);
    putLe16(h + kOffDescending, descending ? 1 : 0);
    if (!keyExpr.empty()) {
        const uint16_t keyLen = uint16_t(keyExpr.size() + 1);
        putLe16(h + kOffKeyPos, 0);
        putLe16(h + kOffKeyLen, keyLen);
        putLe16(h + kOffForPos, keyLen);
        putLe16(h + kOffForLen, uint16_t(forExpr.size() + 1));
        std::memcpy(h + kHeaderSize / 2, keyExpr.data(), keyExpr.size());
        if (!forExpr.empty()) std::memcpy(h + kHeaderSize / 2 + keyLen, forExpr.data(), forExpr.size());
    }
}

}  // namespace

std::vector<uint8_t> writeFile(const std::vector<const CdxTag*>& tags, uint32_t stamp) {
    std::vector<uint8_t> out(kHeaderSize, 0);
    std::vector<KeyEntry> directory;
    for (const CdxTag* tag : tags) {
        const TagInfo& info = tag->info();
        const uint32_t at = uint32_t(out.size());
        out.resize(out.size() + kHeaderSize, 0);
        std::vector<const KeyEntry*> entries;
        entries.reserve(tag->size());
        for (const KeyEntry& e : *tag) entries.push_back(&e);
        if (info.descending) std::reverse(entries.begin(), entries.end()); // file order is ascending
        const uint32_t root = TreeWriter(out, info.keyLength, padByte(info.keyType)).write(entries);
        uint8_t options = kOptCompact | kOptCompound;
        if (info.unique) options |= kOptUnique;
        if (!info.forExpression.empty()) options |= kOptFor;
        writeHeader(out, at, root, info.keyLength, options, info.descending, info.keyExpression,
                    info.forExpression, uint8_t(info.keyType));
        std::string name = info.name;
        name.resize(size_t(kMaxTagName), ' ');
        directory.push_back({std::move(name), at});
    }
    std::sort(directory.begin(), directory.end(), KeyOrder{});
    std::vector<const KeyEntry*> dirEntries;
    for (const KeyEntry& e : directory) dirEntries.push_back(&e);
    const uint32_t root = TreeWriter(out, kMaxTagName, ' ').write(dirEntries);
    writeHeader(out, 0, root, kMaxTagName, kOptCompact | kOptCompound | kOptDirectory, false, {}, {}, stamp);
    return out;
}

}  // namespace faxlog::cdx::format
