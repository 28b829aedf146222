// Fax files made for printing tests, and the printed PDF read back with poppler's tools
// and tesseract.
#pragma once

#include "faximage/mono_bitmap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace print_test {

namespace fs = std::filesystem;

struct FaxPage {
    faximage::MonoBitmap image; // 1 = black, 1728 or 2048 wide
    bool fine = true;
    bool damaged = false;       // page data no decoder can read
};

// Writes an APF file of the pages (an empty list gives a file with no pages).
void writeFax(const fs::path& file, const std::vector<FaxPage>& pages);

// A page with `bars` black bars 120 rows (fine) high across the upper half, so a page's
// number can be counted on a printed sheet.
FaxPage barsPage(int bars, bool fine = true, int width = 1728);
// A page whose ink is a frame along all four edges: its box is the page.
FaxPage framePage(bool fine, int width = 1728, int fineRows = 2200);
FaxPage damagedPage();

// Runs a shell command, returning its exit status and (with `out`) its standard output.
int run(const std::string& command, std::string* out = nullptr);
bool haveTool(const std::string& name);

struct PdfInfo {
    int pages = 0;
    double widthPt = 0, heightPt = 0;
};
PdfInfo pdfInfo(const fs::path& pdf);

// One sheet of a PDF rendered in grey at `dpi`.
struct Sheet {
    int width = 0, height = 0;
    std::vector<unsigned char> grey;
    bool dark(int x, int y) const { return grey[std::size_t(y) * width + x] < 128; }
};
Sheet renderSheet(const fs::path& pdf, int page, int dpi, const fs::path& workDir);

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1; // inclusive; empty when right < left
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};
// The box of the dark pixels inside the region.
Box inkBox(const Sheet& s, int x0, int y0, int x1, int y1);
// Dark runs down the column x within rows y0..y1 (how many bars a page shows).
int darkRunsDown(const Sheet& s, int x, int y0, int y1);

// Text tesseract reads on a sheet's region.
std::string ocr(const Sheet& s, int x0, int y0, int x1, int y1, const fs::path& workDir);

// A fresh directory under the temp dir, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

} // namespace print_test
