// Real-looking fax pages for tests: text-like blocks, rules, a dithered photograph,
// all-black lines, random noise. Deterministic for a given seed.
#pragma once

#include "faximage/mono_bitmap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace faximage::testing {

enum class PageKind { Text, Rules, Photo, BlackLines, Noise, Mixed };

// A page in fax convention (1 = black).
MonoBitmap makePage(PageKind kind, int width, int height, unsigned seed = 1);

std::vector<PageKind> allPageKinds();
std::string to_string(PageKind kind);

// A directory under the system temp dir, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);

// Runs a shell command; returns its exit status.
int run(const std::string& command);

} // namespace faximage::testing

namespace faximage::testing {

// Writes a binary PBM (P4, 1 = black) for netpbm.
void writePbm(const std::filesystem::path& p, const MonoBitmap& page);

// The pages of an APF file as libtiff's fax2tiff decodes them (length words and the
// end-of-page record stripped); `records` receives each page's line-record count.
std::vector<MonoBitmap> decodeApfWithLibtiff(const std::filesystem::path& apf,
                                             const std::filesystem::path& workDir,
                                             std::vector<int>* records = nullptr);

// Row y of `page` as a MonoBitmap of one row (for comparisons with placement).
MonoBitmap rowOf(const MonoBitmap& page, int y);

} // namespace faximage::testing
