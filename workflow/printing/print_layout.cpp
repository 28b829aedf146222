#include "print_layout.h"

#include <algorithm>
#include <cmath>

namespace workflow::printing {

namespace {
constexpr double kMmPer1728Line = 215.0;
constexpr double kMmPer2048Line = 255.0;
constexpr double kFineLinesPerMm = 7.7;

int roundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }
} // namespace

int pagesPerSheet(bool multiPage, SheetOrientation orientation) {
    if (!multiPage)
        return 1;
    switch (orientation) {
    case SheetOrientation::Portrait:
        return 4;
    case SheetOrientation::Landscape:
        return 2;
    }
    return 1;
}

bool startsNewSheet(int page, int firstPage, bool multiPage, SheetOrientation orientation) {
    if (page == firstPage)
        return false;
    return (page - firstPage) % pagesPerSheet(multiPage, orientation) == 0;
}

PrintRect pageSlot(const PrintRect& sheet, int page, int firstPage, bool multiPage,
                   SheetOrientation orientation) {
    PrintRect r = sheet;
    if (multiPage) {
        const bool portrait = orientation == SheetOrientation::Portrait;
        const int halfW = r.width() / 2;
        const int halfH = r.height() / 2;
        const int slot = (page - firstPage) % pagesPerSheet(true, orientation);
        const bool right = slot % 2 == 1;
        const bool lower = portrait && slot >= 2;
        r.left = sheet.left + (right ? halfW : 0);
        r.right = r.left + halfW;
        if (portrait) {
            r.top = sheet.top + (lower ? halfH : 0);
            r.bottom = r.top + halfH;
        }
    }
    r.left += kSlotInset;
    r.top += kSlotInset;
    r.right -= kSlotInset;
    r.bottom -= kSlotInset;
    return r;
}

MarginBand takeHeader(PrintRect& slot, int textHeight) {
    MarginBand band;
    band.text = {slot.left, slot.top, slot.right, slot.top + textHeight};
    slot.top += textHeight + kRuleGap;
    band.ruleY = slot.top;
    slot.top += 1;
    return band;
}

MarginBand takeFooter(PrintRect& slot, int textHeight) {
    MarginBand band;
    band.text = {slot.left, slot.bottom - textHeight, slot.right, slot.bottom};
    slot.bottom -= textHeight + kRuleGap;
    band.ruleY = slot.bottom;
    slot.bottom -= 1;
    return band;
}

double FaxPageShape::widthMm() const {
    return lineWidth > 1728 ? kMmPer2048Line * lineWidth / 2048.0 : kMmPer1728Line * lineWidth / 1728.0;
}

double FaxPageShape::heightMm() const {
    return (fine ? rows : 2.0 * rows) / kFineLinesPerMm;
}

PrintRect fitPage(const PrintRect& slot, const FaxPageShape& page) {
    PrintRect box{slot.left, slot.top, slot.left, slot.top};
    if (slot.width() <= 0 || slot.height() <= 0 || page.rows <= 0 || page.lineWidth <= 0)
        return box;
    const double aspect = page.heightMm() / page.widthMm();
    double w = roundHalfEven(kFitWidthShare * slot.width());
    double h = w * aspect;
    if (h > slot.height()) {
        h = slot.height();
        w = h / aspect;
    }
    box.right = slot.left + std::max(1, roundHalfEven(w));
    box.bottom = slot.top + std::max(1, roundHalfEven(h));
    return box;
}

PrintRect bitmapBox(const PrintRect& pageBox, const FaxPageShape& page, int bitmapWidth) {
    PrintRect box = pageBox;
    const int width = std::clamp(bitmapWidth, 0, page.lineWidth);
    box.right = pageBox.left + static_cast<int>(std::llround(
                                   static_cast<double>(pageBox.width()) * width / page.lineWidth));
    return box;
}

} // namespace workflow::printing
