// File work of the fax components: joining several APF files into one for a single
// send, and choosing the name of a received fax.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace faxengine {

// Joins `files` into a new temporary file in `tempDir` (name "~AP" + unique part +
// ".APF") and returns its path: the first file's header and pages, then the pages of
// each further file, with the page counts summed in the header. Every input must be an
// APF file (else EFaxBadFormat); file-system failures raise EInOutError. No temporary
// file is left behind on failure.
std::filesystem::path concatenateFaxFiles(const std::vector<std::string>& files,
                                          const std::filesystem::path& tempDir);

// Name for the next received fax when no handler names it. Mode 1: "FAX" + nnnn;
// mode 2: month and day + nnnn; nnnn is the lowest number 0001-9999 whose file does not
// exist in `destinationDir` (names compared without regard to case); "NONAME.APF" when
// all exist; any other mode "noname.apf". `destinationDir` is used as given (empty or
// ending in a separator).
std::string receivedFaxName(int namingMode, const std::string& destinationDir,
                            const std::string& extension,
                            std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// "" stays ""; anything else gets a trailing '/' when it has none.
std::string withTrailingSeparator(std::string dir);

} // namespace faxengine
