// The viewer window's zoom levels and its first choice for a page.
#pragma once

#include <array>

namespace workflow::viewer {

inline constexpr std::array<int, 6> kZoomLevels = {25, 50, 75, 100, 150, 200};

// The zoom that makes a page of `pagePixels` about fit `viewerPixels` across: 100 when it
// fits, otherwise the level nearest to viewer / page × 150 percent.
int firstZoom(int pagePixels, int viewerPixels);

// The next level up or down; the same level at the ends (the caller beeps).
int zoomIn(int percent);
int zoomOut(int percent);

} // namespace workflow::viewer
