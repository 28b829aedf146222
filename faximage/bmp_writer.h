// Windows BMP files of one-bit pages: 1 bit per pixel, palette black then white, rows
// bottom-up.
#pragma once

#include "faximage/mono_bitmap.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace faximage {

inline constexpr int kBmpMaxRows = 32767;
inline constexpr std::uint32_t kBmpHeaderSize = 14 + 40 + 8;

// The whole file image of `page` (either sense); empty when it has more than 32767 rows.
std::vector<std::uint8_t> encodeBmp(const MonoBitmap& page);

// 0, -8054 for a page of 32768 rows or more, or a negated file-system code.
int writeBmpFile(const std::filesystem::path& path, const MonoBitmap& page);

} // namespace faximage
