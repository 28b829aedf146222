// Where the pieces of a printed fax go on a sheet, in device pixels: sheet breaks, the
// slot of a page when several share a sheet, header and footer bands, and the scaled
// page image.
#pragma once

#include <chrono>
#include <cstdint>

namespace workflow::printing {

struct PrintRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PrintRect&) const = default;
};

enum class SheetOrientation { Portrait, Landscape };

// Fax pages per sheet when several share one: four in portrait (2 x 2), two side by side
// in landscape.
int pagesPerSheet(bool multiPage, SheetOrientation orientation);

// Whether page `page` of a job starting at `firstPage` begins a new sheet (the first
// page never does: the job's first sheet is already open).
bool startsNewSheet(int page, int firstPage, bool multiPage, SheetOrientation orientation);

// The part of `sheet` page `page` is drawn in: the whole sheet, or with MultiPage its
// quarter (portrait: top-left, top-right, bottom-left, bottom-right) or half (landscape:
// left, right); then 2 pixels taken off every side.
PrintRect pageSlot(const PrintRect& sheet, int page, int firstPage, bool multiPage,
                   SheetOrientation orientation);

inline constexpr int kSlotInset = 2;
inline constexpr int kRuleGap = 2; // between a header's (footer's) text and its rule

// A header or footer band cut from the slot: the text's box and the rule's row.
struct MarginBand {
    PrintRect text;
    int ruleY = 0;
};

// Takes a header of text height `textHeight` off the top of `slot`: text, 2 pixels, a
// one-pixel rule. The slot's top moves below the rule.
MarginBand takeHeader(PrintRect& slot, int textHeight);
// The mirror image at the bottom.
MarginBand takeFooter(PrintRect& slot, int textHeight);

// The paper a fax page stands for: 1728 pixels span 215 mm (2048 span 255 mm), and a
// fine page has 7.7 lines per mm, a standard page half as many, so each standard row
// counts twice.
struct FaxPageShape {
    int lineWidth = 1728; // 1728 or 2048 pixels
    int rows = 0;         // coded lines of the page
    bool fine = true;
    double widthMm() const;
    double heightMm() const;
};

inline constexpr double kFitWidthShare = 0.93;

// Fit to page: the page (at its full line width) gets 93 % of the slot's width, its
// height follows from its paper shape; a page too tall for the slot is scaled to the
// slot's height instead. The box sits at the slot's top-left corner.
PrintRect fitPage(const PrintRect& slot, const FaxPageShape& page);

// The box for a decoded bitmap `bitmapWidth` pixels wide that holds the page's left part
// (decoding cuts a row after its rightmost ink): as high as the page box, as wide as its
// share of the line.
PrintRect bitmapBox(const PrintRect& pageBox, const FaxPageShape& page, int bitmapWidth);

} // namespace workflow::printing
