// Scaling of page bitmaps by rational factors.
#pragma once

#include "faximage/mono_bitmap.h"

#include <cstdint>

namespace faximage {

// Scales `src` to width × height (same sense). Growing repeats pixels; when shrinking,
// the pixels that fall on one output pixel are merged and black wins, so thin strokes
// survive whichever bit value stands for black. A zero width or height gives an empty
// bitmap. Returns 0, or -8005 when the result would be unreasonably large.
int stretchBitmap(const MonoBitmap& src, std::int64_t width, std::int64_t height,
                  MonoBitmap& out);

// size × mult / div in 64-bit arithmetic (factors below 1 are read as 1).
std::int64_t scaledSize(int size, int mult, int div);

} // namespace faximage
