// Line and shape records: lines, the poly records (16-bit points when they fit), boxes,
// arcs, chords, pies and pixels, each adding its extent to the bounds.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>
#include <limits>

namespace qrp::emf {

// ---- lines and shapes -------------------------------------------------------------------

namespace {

bool Fits16(std::span<const TPointL> points)
{
    for (const TPointL& p : points)
        if (p.X < std::numeric_limits<std::int16_t>::min() || p.X > std::numeric_limits<std::int16_t>::max()
            || p.Y < std::numeric_limits<std::int16_t>::min() || p.Y > std::numeric_limits<std::int16_t>::max())
            return false;
    return true;
}

} // namespace

void TEmfWriter::MoveToEx(std::int32_t x, std::int32_t y) { Pair(EMR_MOVETOEX, x, y); }

void TEmfWriter::LineTo(std::int32_t x, std::int32_t y)
{
    Pair(EMR_LINETO, x, y);
    AddBounds(Inflated({x, y, x, y}));
}

void TEmfWriter::PutPoints(std::span<const TPointL> points, bool small)
{
    for (const TPointL& p : points) {
        if (small) {
            Put16(std::uint16_t(std::int16_t(p.X)));
            Put16(std::uint16_t(std::int16_t(p.Y)));
        } else {
            PutI32(p.X);
            PutI32(p.Y);
        }
    }
}

void TEmfWriter::Poly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points)
{
    const bool small = Fits16(points);
    TEmfRectL b = PointBounds(points);
    if (nullPen_ && type32 == EMR_POLYGON && b.Right > b.Left && b.Bottom > b.Top) {
        // An unstroked polygon fills up to, not including, its right and bottom edges.
        --b.Right;
        --b.Bottom;
    }
    Begin(small ? type16 : type32, 28 + points.size() * (small ? 4 : 8));
    PutRect(b);
    Put32(std::uint32_t(points.size()));
    PutPoints(points, small);
    End();
    AddBounds(b);
}

void TEmfWriter::Polyline(std::span<const TPointL> p) { Poly(EMR_POLYLINE16, EMR_POLYLINE, p); }
void TEmfWriter::Polygon(std::span<const TPointL> p) { Poly(EMR_POLYGON16, EMR_POLYGON, p); }
void TEmfWriter::PolyBezier(std::span<const TPointL> p) { Poly(EMR_POLYBEZIER16, EMR_POLYBEZIER, p); }
void TEmfWriter::PolyBezierTo(std::span<const TPointL> p) { Poly(EMR_POLYBEZIERTO16, EMR_POLYBEZIERTO, p); }
void TEmfWriter::PolylineTo(std::span<const TPointL> p) { Poly(EMR_POLYLINETO16, EMR_POLYLINETO, p); }

void TEmfWriter::PolyPoly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points,
                          std::span<const std::uint32_t> counts)
{
    const bool small = Fits16(points);
    const TEmfRectL b = PointBounds(points);
    Begin(small ? type16 : type32, 32 + 4 * counts.size() + points.size() * (small ? 4 : 8));
    PutRect(b);
    Put32(std::uint32_t(counts.size()));
    Put32(std::uint32_t(points.size()));
    for (std::uint32_t c : counts)
        Put32(c);
    PutPoints(points, small);
    End();
    AddBounds(b);
}

void TEmfWriter::PolyPolygon(std::span<const TPointL> points, std::span<const std::uint32_t> counts)
{
    PolyPoly(EMR_POLYPOLYGON16, EMR_POLYPOLYGON, points, counts);
}

void TEmfWriter::PolyPolyline(std::span<const TPointL> points, std::span<const std::uint32_t> counts)
{
    PolyPoly(EMR_POLYPOLYLINE16, EMR_POLYPOLYLINE, points, counts);
}

void TEmfWriter::Box(std::uint32_t type, const TEmfRectL& box)
{
    Begin(type, 24);
    PutRect(box);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::Rectangle(const TEmfRectL& box) { Box(EMR_RECTANGLE, box); }
void TEmfWriter::Ellipse(const TEmfRectL& box) { Box(EMR_ELLIPSE, box); }

void TEmfWriter::RoundRect(const TEmfRectL& box, std::int32_t cw, std::int32_t ch)
{
    Begin(EMR_ROUNDRECT, 32);
    PutRect(box);
    PutI32(cw);
    PutI32(ch);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::ArcLike(std::uint32_t type, const TEmfRectL& box, TPointL start, TPointL end)
{
    Begin(type, 40);
    PutRect(box);
    PutI32(start.X);
    PutI32(start.Y);
    PutI32(end.X);
    PutI32(end.Y);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::Arc(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_ARC, b, s, e); }
void TEmfWriter::Chord(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_CHORD, b, s, e); }
void TEmfWriter::Pie(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_PIE, b, s, e); }

void TEmfWriter::SetPixelV(std::int32_t x, std::int32_t y, std::uint32_t color)
{
    Begin(EMR_SETPIXELV, 20);
    PutI32(x);
    PutI32(y);
    Put32(color);
    End();
    AddBounds({x, y, x, y});
}

} // namespace qrp::emf
