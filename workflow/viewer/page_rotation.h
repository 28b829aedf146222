// Quarter turns of page bitmaps, for showing a fax that was sent sideways or upside down.
#pragma once

#include "faximage/mono_bitmap.h"

namespace workflow::viewer {

// Turns `src` by `quarterTurns` (taken modulo 4) quarter turns clockwise into `out`, in
// the same pixel sense. One quarter turn sends pixel (x, y) of a bitmap H rows high to
// (H - 1 - y, x). Returns 0, or -8 when the memory for the result cannot be had.
int rotateBitmap(const faximage::MonoBitmap& src, int quarterTurns, faximage::MonoBitmap& out);

} // namespace workflow::viewer
