#include "faximage/unpack_stretch.h"

#include "faximage/fax_errors.h"

#include <algorithm>
#include <vector>

namespace faximage {

namespace {

constexpr std::int64_t kMaxSide = 1 << 17;
constexpr std::int64_t kMaxBytes = std::int64_t{256} << 20;

// For each output position, the first source position and one past the last.
std::vector<int> sourceEdges(int from, int to) {
    std::vector<int> edges(static_cast<std::size_t>(to) + 1);
    for (int i = 0; i <= to; ++i) {
        if (to >= from) // growing: output i shows source i * from / to
            edges[static_cast<std::size_t>(i)] =
                static_cast<int>(static_cast<std::int64_t>(i) * from / to);
        else // shrinking: source j lands on output j * to / from
            edges[static_cast<std::size_t>(i)] =
                static_cast<int>((static_cast<std::int64_t>(i) * from + to - 1) / to);
    }
    return edges;
}

} // namespace

std::int64_t scaledSize(int size, int mult, int div) {
    return static_cast<std::int64_t>(size) * std::max(mult, 1) / std::max(div, 1);
}

int stretchBitmap(const MonoBitmap& src, std::int64_t width, std::int64_t height,
                  MonoBitmap& out) {
    if (width <= 0 || height <= 0 || src.empty()) {
        out = MonoBitmap();
        return 0;
    }
    if (width > kMaxSide || height > kMaxSide || (width + 7) / 8 * height > kMaxBytes)
        return ec::CantMakeBitmap;
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    out = MonoBitmap(w, h, src.sense());
    // Growing: edges[i]..edges[i]+1; shrinking: the run of sources of output i.
    std::vector<int> xs = sourceEdges(src.width(), w);
    std::vector<int> ys = sourceEdges(src.height(), h);
    std::vector<std::uint8_t> black(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(black.begin(), black.end(), 0);
        const int y0 = ys[static_cast<std::size_t>(y)];
        const int y1 = h >= src.height() ? y0 + 1 : ys[static_cast<std::size_t>(y) + 1];
        for (int sy = y0; sy < y1; ++sy)
            for (int x = 0; x < w; ++x) {
                if (black[static_cast<std::size_t>(x)])
                    continue;
                const int x0 = xs[static_cast<std::size_t>(x)];
                const int x1 =
                    w >= src.width() ? x0 + 1 : xs[static_cast<std::size_t>(x) + 1];
                for (int sx = x0; sx < x1; ++sx)
                    if (src.isBlack(sx, sy)) {
                        black[static_cast<std::size_t>(x)] = 1;
                        break;
                    }
            }
        for (int x = 0; x < w; ++x)
            if (black[static_cast<std::size_t>(x)])
                out.setBlack(x, y, true);
    }
    return 0;
}

} // namespace faximage
