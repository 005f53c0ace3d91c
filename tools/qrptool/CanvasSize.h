#pragma once
// The size of the image a drawing command allocates. A picture's frame says how large
// it wants to be, and a frame can say anything (a billion units costs its writer four
// bytes): the image is held to a longest side and an area, whatever the frame asks.
// An asked size over the limits is either drawn smaller, keeping its proportions, or
// refused where the user gave it in pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qrptool {

// Longest side of an image, in pixels.
constexpr std::int64_t kMaxCanvasSide = 20000;
// Pixels of an image in all: A4 and Letter at 600 dpi fit, and the largest image
// (137 MiB at four bytes a pixel) is drawn and encoded in about a second.
constexpr std::int64_t kMaxCanvasArea = 36000000;

struct TCanvasSize {
    int Width = 1, Height = 1;
    // True when the size asked for was over the limits and this is the reduced one.
    bool Reduced = false;
};

// True when an image of w x h pixels is allowed (both at least 1).
inline bool CanvasAllowed(std::int64_t w, std::int64_t h)
{
    return w >= 1 && h >= 1 && w <= kMaxCanvasSide && h <= kMaxCanvasSide && w <= kMaxCanvasArea / h;
}

// The whole pixels of a size asked for in (possibly fractional, huge or negative)
// pixels: rounded, at least 1.
inline double AskedPixels(double v)
{
    if (!(v >= 1)) // also NaN
        return 1;
    return std::round(v);
}

// The largest image within the limits with the proportions of w x h, or w x h itself
// when it is within them. Each side is at least one pixel.
inline TCanvasSize FitCanvas(double w, double h)
{
    w = AskedPixels(w);
    h = AskedPixels(h);
    if (w <= double(kMaxCanvasSide) && h <= double(kMaxCanvasSide) &&
        CanvasAllowed(static_cast<std::int64_t>(w), static_cast<std::int64_t>(h)))
        return {static_cast<int>(w), static_cast<int>(h), false};
    const double scale = std::min({double(kMaxCanvasSide) / w, double(kMaxCanvasSide) / h,
                                   std::sqrt(double(kMaxCanvasArea) / w) / std::sqrt(h)});
    // Rounded down so the product stays inside the area (a hair up first, so that the
    // rounding of the scale costs no pixel); a side never drops below 1.
    auto side = [&](double v) {
        return static_cast<int>(std::clamp(std::floor(v * scale * (1 + 1e-12)), 1.0, double(kMaxCanvasSide)));
    };
    TCanvasSize fitted{side(w), side(h), true};
    // A side held at 1 pixel may leave the other over the area by the rounding.
    while (!CanvasAllowed(fitted.Width, fitted.Height)) {
        if (fitted.Width >= fitted.Height)
            --fitted.Width;
        else
            --fitted.Height;
    }
    return fitted;
}

// "W x H pixels", the way the commands speak of image sizes.
inline std::string PixelsText(double w, double h)
{
    auto whole = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", v);
        return std::string(text);
    };
    return whole(w) + " x " + whole(h) + " pixels";
}

// The line told when an image is drawn smaller than asked: "... would be W x H pixels,
// over the limit of ... (reduced to w x h)".
inline std::string ReducedText(const std::string& what, double w, double h, const TCanvasSize& fitted)
{
    return what + " would be " + PixelsText(AskedPixels(w), AskedPixels(h)) + ", over the limit of " +
           std::to_string(kMaxCanvasSide) + " a side and " + std::to_string(kMaxCanvasArea) +
           " in all (reduced to " + std::to_string(fitted.Width) + " x " + std::to_string(fitted.Height) + ")";
}

} // namespace qrptool
