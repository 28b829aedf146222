// libtiff as the independent judge of our MH data and image files.
#pragma once

#include "faximage/mono_bitmap.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace faximage::testing {

// Decodes a raw MH stream (LSB-first, EOLs anywhere) with fax2tiff; the result in
// fax convention, or nothing when fax2tiff fails. fax2tiff turns the fill bits after the
// last line into one more (white) row; with `expectedRows` given, white rows past it
// are cut off.
std::optional<MonoBitmap> decodeMhWithFax2tiff(const std::vector<std::uint8_t>& mh, int width,
                                              const std::filesystem::path& workDir,
                                              int expectedRows = -1);

// Every image of a bilevel TIFF, read with libtiff, in fax convention.
std::vector<MonoBitmap> readTiffPages(const std::filesystem::path& path);

// Writes bilevel TIFF pages with libtiff (compression: COMPRESSION_* value).
bool writeTiffPages(const std::filesystem::path& path, const std::vector<MonoBitmap>& pages,
                    int compression, bool fine = true);

} // namespace faximage::testing
