// The page a rich-text document is laid out on: paper size and margins in twips.
#pragma once

#include "workflow/richtext/rich_units.h"

#include <QSizeF>

namespace workflow::richtext {

struct PageSetup {
    // US Letter with half-inch margins: the editors' page.
    int paperWidthTw = 12240;
    int paperHeightTw = 15840;
    int marginLeftTw = 720;
    int marginRightTw = 720;
    int marginTopTw = 720;
    int marginBottomTw = 720;

    // The text area in document units; never smaller than one inch square.
    QSizeF textAreaUnits() const;
    bool operator==(const PageSetup&) const = default;
};

} // namespace workflow::richtext
