// Integer ellipse rasterisation for the one-pixel-pen case of ELLIPSE.
#include "emf/PixelEllipse.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace qrp::emf {

TPixelEllipse RasterizeEllipse(int width, int height)
{
    TPixelEllipse out;
    if (width < 3 || height < 3)
        return out;
    const std::int64_t a = width - 1, b = height - 1, odd = b & 1;
    // Error terms of b^2 x^2 + a^2 y^2 = a^2 b^2 for the quadrant from the right-hand
    // end of the middle row towards the bottom; each step moves left, down or both.
    std::int64_t stepX = 4 * (1 - a) * b * b;
    std::int64_t stepY = 4 * (1 + odd) * a * a;
    std::int64_t error = stepX + stepY + odd * a * a;
    int x = int(a), y = height / 2;
    // Outline pixels per row: the quadrant and its three mirror images.
    std::map<int, std::vector<int>> rows;
    auto plot = [&](int px, int py) {
        for (int mx : {px, int(a) - px})
            for (int my : {py, int(b) - py})
                rows[my].push_back(mx);
    };
    while (x >= width / 2) {
        plot(x, y);
        const std::int64_t twice = 2 * error;
        if (twice >= stepX) {
            --x;
            stepX += 8 * b * b;
            error += stepX;
        }
        if (twice <= stepY) {
            ++y;
            stepY += 8 * a * a;
            error += stepY;
        }
    }
    for (auto& [row, xs] : rows) {
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        for (std::size_t i = 0; i < xs.size();) {
            std::size_t j = i;
            while (j + 1 < xs.size() && xs[j + 1] == xs[j] + 1)
                ++j;
            out.Outline.push_back({row, xs[i], xs[j]});
            if (j + 1 < xs.size())
                out.Interior.push_back({row, xs[j] + 1, xs[j + 1] - 1});
            i = j + 1;
        }
    }
    return out;
}

} // namespace qrp::emf
