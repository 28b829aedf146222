// Joining one-page APF files into one fax file: pages are copied byte for byte with
// their page headers, nothing is re-encoded.
#pragma once

#include <filesystem>
#include <vector>

namespace workflow::render {

inline constexpr std::size_t kJoinCopyBlockBytes = 4096;

// Appends the pages of `source` to `destination` and adds its page count to the
// destination's. Throws faximage::EInOutError(2) when either file is missing, and the
// faximage exception of the code when a file is not APF or ends inside a page.
void appendApfPages(const std::filesystem::path& destination, const std::filesystem::path& source);

// Appends files 2..N to file 1, deletes files 2..N and returns file 1.
std::filesystem::path joinPageFiles(const std::vector<std::filesystem::path>& pages);

} // namespace workflow::render
