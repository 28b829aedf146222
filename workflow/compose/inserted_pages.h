// Putting the pages of another file (PDF, TIFF, DCX, PCX, BMP or any image Qt reads)
// into a document: each page becomes one picture of its own page, drawn at the fax
// page's density (200 dots per inch) so that building the fax paints it dot for dot.
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QImage>
#include <QString>

#include <filesystem>
#include <vector>

class QTextCursor;

namespace workflow::compose {

inline constexpr double kInsertedPageDpi = 200.0;
// Room left below a picture so that its line (with descent) stays on its own page.
inline constexpr double kInsertedPageSlackInches = 0.4;

struct FilePage {
    QImage image;         // 1-bit, black on white
    double widthInches = 0;
    double heightInches = 0;
};

struct FilePages {
    std::vector<FilePage> pages;
    QString error; // empty on success
};

// Reads every page of the file: fax image formats and PDF through the converter's
// readers at fine fax resolution, other images through Qt.
FilePages readFilePages(const std::filesystem::path& file);

// The page scaled to fit the text area of `page` (never enlarged) and resampled to
// kInsertedPageDpi, as a 1-bit picture.
QImage fitToPage(const FilePage& source, const richtext::PageSetup& page);

// Inserts the pages at the cursor, each picture in its own paragraph that begins a new
// page; text after the cursor moves to a page after them. Returns the pictures inserted.
int insertPages(QTextCursor& cursor, const std::vector<FilePage>& pages, const richtext::PageSetup& page = {});

} // namespace workflow::compose
