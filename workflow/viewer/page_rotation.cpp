#include "workflow/viewer/page_rotation.h"

#include "faximage/fax_errors.h"

#include <new>

namespace workflow::viewer {

using faximage::MonoBitmap;

int rotateBitmap(const MonoBitmap& src, int quarterTurns, MonoBitmap& out) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    const int w = src.width();
    const int h = src.height();
    try {
        if (turns == 0) {
            out = src;
            return 0;
        }
        MonoBitmap r = turns == 2 ? MonoBitmap(w, h, src.sense()) : MonoBitmap(h, w, src.sense());
        // Pages are mostly white: walk the source and move only the black pixels.
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = src.row(y);
            for (int xb = 0; xb * 8 < w; ++xb) {
                const std::uint8_t white = src.sense() == faximage::PixelSense::OneIsBlack ? 0x00 : 0xFF;
                if (row[xb] == white)
                    continue;
                for (int x = xb * 8; x < xb * 8 + 8 && x < w; ++x) {
                    if (!src.isBlack(x, y))
                        continue;
                    switch (turns) {
                    case 1:
                        r.setBlack(h - 1 - y, x, true);
                        break;
                    case 2:
                        r.setBlack(w - 1 - x, h - 1 - y, true);
                        break;
                    case 3:
                        r.setBlack(y, w - 1 - x, true);
                        break;
                    default:
                        break;
                    }
                }
            }
        }
        out = std::move(r);
        return 0;
    } catch (const std::bad_alloc&) {
        return faximage::ec::OutOfMemory;
    }
}

} // namespace workflow::viewer
