// On-disk layout of a compact compound index, shared by the reader and the writer.
//
// File: a 1024-byte header for the tag directory (itself a B-tree whose keys are tag
// names and whose record numbers are the byte offsets of the tags' headers), then per
// tag a 1024-byte header and its 512-byte B-tree pages.
//
// Tag header: 0 root page offset (LE32), 4 free list (LE32), 8 version (BE32), 12 key
// length (LE16), 14 options, 15 signature, 502 descending (LE16), 504 offset of the FOR
// expression in the pool (LE16), 506 FOR length with its NUL (LE16), 508 offset of the key
// expression (LE16), 510 key length with its NUL (LE16), 512 the pool: key expression NUL
// FOR expression NUL.
//
// Interior page: 0 attributes (LE16), 2 key count (LE16), 4 left and 8 right sibling
// (LE32, 0xFFFFFFFF at the ends), then from 12 per child: key, record number (BE32),
// child page offset (BE32); the key is the child's last key.
//
// Leaf page: the same 12 bytes, then 12 free bytes (LE16), 14 record number mask (LE32),
// 18 duplicate and 19 trailing count masks, 20..22 their bit widths, 23 bytes per entry;
// from 24 one little-endian bit field per key (record number, duplicate count, trailing
// count from the low bits up), and the keys' remaining bytes packed from the page end
// downwards. A key shares `duplicate` leading bytes with the key before it in the page,
// and `trailing` pad bytes (blanks for character keys, NULs for the others) are dropped.
#pragma once

#include "faxlog/cdx/cdx_index.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace faxlog::cdx::format {

inline constexpr size_t kPageSize = 512;
inline constexpr size_t kHeaderSize = 1024;
inline constexpr size_t kNodeHeader = 12;
inline constexpr size_t kLeafHeader = 24;
inline constexpr size_t kLeafSpace = kPageSize - kLeafHeader;        // 488
inline constexpr size_t kInteriorSpace = kPageSize - kNodeHeader;    // 500
inline constexpr uint32_t kNoPage = 0xFFFFFFFFu;
inline constexpr int kMaxKeyLength = 240;
inline constexpr int kMaxTagName = 10;
inline constexpr size_t kExpressionPool = 512;

// A tag name: a letter or "_", then letters, digits and "_", at most kMaxTagName.
inline bool validTagName(std::string_view name) {
    const auto word = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (name.empty() || name.size() > size_t(kMaxTagName) || !word(name[0])) return false;
    for (char c : name)
        if (!word(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

// Node attributes.
inline constexpr uint16_t kNodeRoot = 0x01;
inline constexpr uint16_t kNodeLeaf = 0x02;

// Option bits of a tag header.
inline constexpr uint8_t kOptUnique = 0x01;
inline constexpr uint8_t kOptFor = 0x08;
inline constexpr uint8_t kOptCompact = 0x20;
inline constexpr uint8_t kOptCompound = 0x40;
inline constexpr uint8_t kOptDirectory = 0x80;
inline constexpr uint8_t kSignature = 0x01;

// Header offsets.
inline constexpr size_t kOffDescending = 502;
inline constexpr size_t kOffForPos = 504;
inline constexpr size_t kOffForLen = 506;
inline constexpr size_t kOffKeyPos = 508;
inline constexpr size_t kOffKeyLen = 510;
// Our own marker in bytes other readers leave alone: "PVNX", then the consistency
// stamp (directory header, LE32) or the key type letter (tag header).
inline constexpr size_t kOffMarker = 0x100;
inline constexpr size_t kOffMarkerValue = 0x104;
inline constexpr char kMarker[4] = {'P', 'V', 'N', 'X'};

inline char padByte(char keyType) { return (keyType == 'N' || keyType == 'D') ? '\0' : ' '; }

// Little bit-width helper: bits needed to hold `value` (at least 1).
inline int bitsFor(uint64_t value) {
    int bits = 1;
    while (bits < 64 && (value >> bits) != 0) ++bits;
    return bits;
}

// Byte access on a page buffer; callers check bounds first.
inline uint16_t getLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint32_t getBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void putLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * (3 - i)));
}

// One tag as read from or written to a file; entries in index order.
struct TagImage {
    TagInfo info;
    std::vector<KeyEntry> entries;
};

struct FileImage {
    std::vector<TagImage> tags;   // in the order of their headers
    uint32_t stamp = 0;
};

// Whole-file serialisation. The writer expects valid tags (checked by CdxIndex).
std::vector<uint8_t> writeFile(const std::vector<const CdxTag*>& tags, uint32_t stamp);
// Throws CdxError naming `file` on anything inconsistent.
FileImage readFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                   const CdxIndex::KeyTypeResolver& resolve);

}  // namespace faxlog::cdx::format
