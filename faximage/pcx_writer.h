// PCX image files of one-bit pages (1 bit per pixel, one plane, run-length coded).
#pragma once

#include "faximage/mono_bitmap.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace faximage {

inline constexpr std::size_t kPcxHeaderSize = 128;

// The whole PCX file image of `page` (either sense): header, then every row coded on
// bytes that hold 1 = white, rows padded with white to an even byte count.
std::vector<std::uint8_t> encodePcx(const MonoBitmap& page);

// Writes encodePcx(page) to `path`: 0 or a negative code; the file takes the place of
// an existing one only when written whole.
int writePcxFile(const std::filesystem::path& path, const MonoBitmap& page);

// Writes `bytes` as the whole file, through a staged output: shared by the image writers.
int writeWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace faximage
