// Names of the files a fax build leaves in the program directory.
#pragma once

#include <filesystem>

namespace workflow::render {

inline constexpr int kMaxFaxFileNumber = 1000;

// "PVN_" + n + ".APF" for the smallest n in 1..1000 with no such file; "PVN1.APF" when
// all exist.
std::filesystem::path firstFreeFaxFile(const std::filesystem::path& dir);
// The page file of page k (k >= 2): "PVNFX" + k + ".APF".
std::filesystem::path pageFile(const std::filesystem::path& dir, int k);
std::filesystem::path pageBitmapFile(const std::filesystem::path& dir); // "_TMP.BMP"
std::filesystem::path richTextTransferFile(const std::filesystem::path& dir); // "Eraseme.rtf"

} // namespace workflow::render
