// Rendering a rich-text document to fax pages: each page is painted onto one reused
// 1664 x 2156 page raster at the resolution of a fine fax page, saved as the page bitmap
// and converted to a one-page fine-resolution APF file.
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QImage>

#include <filesystem>
#include <functional>
#include <vector>

class QTextDocument;

namespace faximage { class MonoBitmap; }

namespace workflow::render {

inline constexpr int kPageWidthPixels = 1664;
inline constexpr int kPageHeightPixels = 2156;
inline constexpr int kPageMarginPixels = 49;
// A fine fax page: 1728 dots across 215 mm, 7.7 lines per millimetre. Painting at these
// keeps shapes true on the page the far end prints (a square stays square).
inline constexpr double kFaxDotsPerInchAcross = 1728 / (215 / 25.4);
inline constexpr double kFaxLinesPerInchFine = 7.7 * 25.4;
// The text area of the page raster: (49, 49) to (width - 49, height - 49).
QRect pageContentRect();

// The page raster as the converter takes it (grey dithered): 1 = black, the corner mark at
// (width - 5, height - 5) set so a blank page still converts to a full-length page.
void rasterToPageBitmap(const QImage& grey, faximage::MonoBitmap& page);

struct RenderOptions {
    richtext::PageSetup page;
    // Runs pending window events after every page; returning false stops the render.
    std::function<bool()> yield;
};

// Paints every page of the document and writes one APF file per page, appending the
// names to `pages`: the first page of a fax (no names yet in the list) goes to the
// first free "PVN_n.APF", the k-th page of the fax to "PVNFXk.APF". A document yields
// at least one page. The page bitmap "_TMP.BMP" is deleted at the end; converter and
// file errors propagate as faximage exceptions.
void renderDocument(QTextDocument& document, const std::filesystem::path& dir,
                    std::vector<std::filesystem::path>& pages, const RenderOptions& options = {});

} // namespace workflow::render
