#include "workflow/viewer/zoom_levels.h"

#include <algorithm>

namespace workflow::viewer {

int firstZoom(int pagePixels, int viewerPixels) {
    int b = 100;
    if (pagePixels > 0 && viewerPixels < pagePixels)
        b = static_cast<int>(static_cast<long long>(std::max(viewerPixels, 0)) * 150 / pagePixels);
    if (b > 175)
        return 200;
    if (b > 125)
        return 150;
    if (b > 87)
        return 100;
    if (b > 62)
        return 75;
    if (b > 36)
        return 50;
    return 25;
}

int zoomIn(int percent) {
    for (int level : kZoomLevels)
        if (level > percent)
            return level;
    return percent;
}

int zoomOut(int percent) {
    for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it)
        if (*it < percent)
            return *it;
    return percent;
}

} // namespace workflow::viewer
