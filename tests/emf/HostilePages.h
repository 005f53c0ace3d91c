#pragma once
// Small pictures that ask for far more work than they can show: a long polyline or a
// widened path under a pen wider than the page, a million glyphs of a huge font, a
// run-length bitmap of a quarter of a gigapixel, a clip path of many figures. Built
// record by record on the reference device of PictureBuilder.h.
#include "tests/emf/PictureBuilder.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qrp::emf::test {

inline void PutI32(std::vector<std::uint8_t>& p, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        p.push_back(std::uint8_t(std::uint32_t(v) >> (8 * i)));
}

// Points spread over a w x h page, the same for the same seed.
inline std::vector<QPoint> ScatteredPoints(std::uint32_t n, int w, int h, std::uint32_t seed = 7)
{
    std::vector<QPoint> pts;
    pts.reserve(n);
    std::uint32_t s = seed;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        const int x = int(next() % std::uint32_t(w));
        const int y = int(next() % std::uint32_t(h));
        pts.emplace_back(x, y);
    }
    return pts;
}

// A POLYLINE (or POLYGON, or POLYLINE16 with shortPoints) record of pts.
inline TPicture& Poly(TPicture& pic, std::uint32_t type, const std::vector<QPoint>& pts)
{
    std::vector<std::uint8_t> p;
    const bool shortPoints = type >= EMR_POLYBEZIER16 && type <= EMR_POLYDRAW16;
    p.reserve(20 + pts.size() * (shortPoints ? 4 : 8));
    for (int i = 0; i < 4; ++i)
        PutI32(p, 0); // bounds (not read)
    PutI32(p, std::int32_t(pts.size()));
    for (const QPoint& pt : pts) {
        if (shortPoints) {
            const std::uint32_t v = std::uint16_t(pt.x()) | (std::uint32_t(std::uint16_t(pt.y())) << 16);
            PutI32(p, std::int32_t(v));
        } else {
            PutI32(p, pt.x());
            PutI32(p, pt.y());
        }
    }
    return pic.Raw(type, std::move(p));
}

// A solid round pen of width logical units at handle.
inline TPicture& WidePen(TPicture& pic, int handle, int width, std::uint32_t color = 0)
{
    pic.Rec(EMR_CREATEPEN, {handle, PS_SOLID, width, 0, std::int32_t(color)});
    return pic.Rec(EMR_SELECTOBJECT, {handle});
}

// EXTTEXTOUTW of n copies of the letter c at (x, y), each advancing by advance.
inline TPicture& LongText(TPicture& pic, int x, int y, std::uint32_t n, char c, int advance)
{
    const std::string text(n, c);
    return Text(pic, x, y, text.c_str(), advance != 0 ? std::vector<std::int32_t>(n, advance) : std::vector<std::int32_t>{},
                ETO_NO_RECT);
}

// STRETCHDIBITS of an 8-bit run-length bitmap of w x h pixels into the logical rectangle
// dest: a colour table of two entries (red, blue) and rle bytes as given.
inline TPicture& Rle8Blit(TPicture& pic, QRect dest, int w, int h, const std::vector<std::uint8_t>& rle)
{
    std::vector<std::uint8_t> p;
    const std::uint32_t offBmi = 80, cbBmi = 40 + 2 * 4;
    const std::uint32_t offBits = offBmi + cbBmi;
    for (int i = 0; i < 4; ++i)
        PutI32(p, 0); // bounds
    PutI32(p, dest.x()); PutI32(p, dest.y());
    PutI32(p, 0); PutI32(p, 0); PutI32(p, w); PutI32(p, h); // source rectangle
    PutI32(p, std::int32_t(offBmi)); PutI32(p, std::int32_t(cbBmi));
    PutI32(p, std::int32_t(offBits)); PutI32(p, std::int32_t(rle.size()));
    PutI32(p, DIB_RGB_COLORS); PutI32(p, std::int32_t(0x00CC0020)); // SRCCOPY
    PutI32(p, dest.width()); PutI32(p, dest.height());
    // BITMAPINFOHEADER: 8 bits, BI_RLE8, two colours.
    PutI32(p, 40); PutI32(p, w); PutI32(p, h);
    PutI32(p, 1 | (8 << 16)); PutI32(p, std::int32_t(BI_RLE8)); PutI32(p, std::int32_t(rle.size()));
    PutI32(p, 0); PutI32(p, 0); PutI32(p, 2); PutI32(p, 0);
    PutI32(p, 0x00FF0000); // red
    PutI32(p, 0x000000FF); // blue
    p.insert(p.end(), rle.begin(), rle.end());
    return pic.Raw(EMR_STRETCHDIBITS, std::move(p));
}

// Run-length rows of a bitmap width pixels wide, from the bottom row up: the left half
// colour 0, the right half colour 1, rows of it until bytes are used up, then the end.
inline std::vector<std::uint8_t> HalvesRle8(int width, std::size_t bytes)
{
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> row;
    for (int colour = 0; colour < 2; ++colour) {
        for (int left = width / 2; left > 0; left -= 255) {
            row.push_back(std::uint8_t(std::min(left, 255)));
            row.push_back(std::uint8_t(colour));
        }
    }
    row.push_back(0);
    row.push_back(0); // end of line
    while (out.size() + row.size() + 2 <= bytes)
        out.insert(out.end(), row.begin(), row.end());
    out.push_back(0);
    out.push_back(1); // end of bitmap
    return out;
}

// A path of n small squares (side size, in a grid of pitch logical units) selected as the
// clip with RGN_COPY.
inline TPicture& SquaresClipPath(TPicture& pic, int n, int columns, int pitch, int size)
{
    pic.Rec(EMR_BEGINPATH, {});
    for (int i = 0; i < n; ++i) {
        const int x = (i % columns) * pitch, y = (i / columns) * pitch;
        pic.Rec(EMR_RECTANGLE, {x, y, x + size, y + size});
    }
    pic.Rec(EMR_ENDPATH, {});
    return pic.Rec(EMR_SELECTCLIPPATH, {RGN_COPY});
}

} // namespace qrp::emf::test
