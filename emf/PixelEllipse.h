#pragma once
// Ellipses on the pixel grid as GDI sets them for a one-pixel pen: an integer
// rasteriser (after A. Zingl's ellipse algorithm) run over one quadrant and mirrored,
// so that small ellipses come out symmetric and exactly as wide and tall as their box.
// Plain C++.
#include <vector>

namespace qrp::emf {

// One row of an ellipse: the pixels from X0 to X1 inclusive.
struct TPixelRun {
    int Y = 0, X0 = 0, X1 = 0;
};

// Pixels of the ellipse inscribed in a box of width x height pixels whose top-left pixel
// is (0, 0), both at least 3: Outline holds the pen's pixels, Interior the brush's
// (the rows between the outline on each side). Runs are ordered by row, then by x.
struct TPixelEllipse {
    std::vector<TPixelRun> Outline;
    std::vector<TPixelRun> Interior;
};
TPixelEllipse RasterizeEllipse(int width, int height);

} // namespace qrp::emf
