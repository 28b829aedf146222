// Key encodings: every key compares correctly as unsigned bytes.
#include "faxlog/cdx/cdx_index.h"

#include <bit>
#include <cstring>

namespace faxlog::cdx {

std::string encodeCharacterKey(std::string_view text, int keyLength) {
    std::string key(text.substr(0, size_t(keyLength < 0 ? 0 : keyLength)));
    key.resize(size_t(keyLength < 0 ? 0 : keyLength), ' ');
    return key;
}

// IEEE double, big-endian; positives get the sign bit set and negatives are inverted,
// so that the bytes sort as the numbers do.
std::string encodeNumericKey(double value) {
    if (value == 0.0) value = 0.0;   // -0 sorts with +0
    const uint64_t raw = std::bit_cast<uint64_t>(value);
    const uint64_t sortable = (raw >> 63) ? ~raw : raw | (uint64_t(1) << 63);
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i) key[size_t(i)] = char(uint8_t(sortable >> (8 * (7 - i))));
    return key;
}

double decodeNumericKey(std::string_view key) {
    if (key.size() != 8) return 0.0;
    uint64_t sortable = 0;
    for (char c : key) sortable = (sortable << 8) | uint8_t(c);
    const uint64_t raw = (sortable >> 63) ? sortable & ~(uint64_t(1) << 63) : ~sortable;
    return std::bit_cast<double>(raw);
}

// Dates are their Julian day numbers as numeric keys; a blank date is day 0.
std::string encodeDateKey(int32_t julianDay) { return encodeNumericKey(double(julianDay)); }

std::string encodeLogicalKey(bool value) { return value ? "T" : "F"; }

}  // namespace faxlog::cdx
