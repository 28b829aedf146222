// Fax files for the viewer tests: a three-page fax (standard, fine, fine and wide) with
// marks whose places are known, damaged variants, and reading back images that outside
// tools wrote.
#pragma once

#include "faximage/mono_bitmap.h"

#include <QImage>
#include <QString>

#include <filesystem>
#include <vector>

namespace viewer_testing {

struct SourcePage {
    faximage::MonoBitmap pixels; // 1 = black, one row per coded line
    bool fine = false;
};

// Page 1: standard, 1728 wide, 150 lines; page 2: fine, 1728 wide, 300 lines; page 3:
// fine, 2048 wide, 300 lines. Each has a solid 16 × 10 block in its top-left corner, a
// pixel in its last column and text-like blocks in between.
std::vector<SourcePage> threePages();

void writeFax(const std::filesystem::path& file, const std::vector<SourcePage>& pages);

// Whether displayed pixel (x, y) of page `p` (standard rows shown twice) is black.
bool shownBlack(const SourcePage& p, int x, int y);

// Black pixel test on an image from a tool or the clipboard, whatever its format.
inline bool isBlack(const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 128; }

// Runs a shell command; its exit status.
int run(const QString& command);

// Fails (returns false) when a tool is missing, so CI never skips the comparison silently.
bool haveTool(const char* name);

} // namespace viewer_testing
