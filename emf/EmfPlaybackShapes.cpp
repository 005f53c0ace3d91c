// Lines and shapes: the poly records, lines, rectangles, ellipses, arcs, chords, pies
// and pixels, mapped to whole device pixels and drawn there.
#include "emf/EmfPlayback.h"

#include "emf/EmfPlaybackSupport.h"
#include "emf/PixelEllipse.h"
#include "emf/RasterOps.h"
#include "emf/StrokeGeometry.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace qrp::emf {

// ---------------------------------------------------------------------------------
// Drawing helpers: shapes are mapped to device pixels and drawn there, so that pens are
// as wide and patterns as large in pixels as GDI draws them.

void TEmfPlayback::DrawDevicePath(const QPainterPath& path, const QPen& pen, const QBrush& brush)
{
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    p_.setPen(pen);
    p_.setBrush(brush);
    p_.drawPath(path);
    p_.restore();
}

void TEmfPlayback::FillDevicePath(const QPainterPath& path, const QBrush& brush, bool charge)
{
    if (brush.style() == Qt::NoBrush || dc_.Rop2 == R2_NOP)
        return;
    QPainterPath shown = path;
    if (charge)
        ChargePath(shown, 0);
    DrawDevicePath(shown, Qt::NoPen, brush);
}

// Only what the pen can reach of the visible pixels is stroked: figures are cut where
// they run wholly outside it. Dashed pens keep their figures whole, and their phase,
// unless they would make too many dashes: then each figure is trimmed to that area and
// each run keeps the phase its dashes have there.
void TEmfPlayback::StrokeDevicePath(const QPainterPath& path)
{
    if (PenIsNull() || dc_.Rop2 == R2_NOP)
        return;
    QPen pen = MakePen();
    if (ManyDashes(pen, PathOutlineLength(path))) {
        StrokeDashRuns(DashRuns(path, StrokeArea(pen), DashPointsInBudget()), pen);
        return;
    }
    NarrowPen(pen, [&] { return PathRectDistance(path, QRectF(visible_)); });
    QPainterPath shown = path;
    if (pen.style() == Qt::SolidLine)
        ClipPath(path, StrokeArea(pen), shown);
    ChargePath(shown, pen.widthF());
    DrawDevicePath(shown, pen, Qt::NoBrush);
}

void TEmfPlayback::FillAndStrokeDevicePath(const QPainterPath& path)
{
    FillDevicePath(path, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(path);
}

void TEmfPlayback::DrawLogicalPath(const QPainterPath& path, bool fill, bool stroke)
{
    if (inPath_) {
        AppendToPath(path, false);
        return;
    }
    QPainterPath dev = Xf().map(path);
    SnapToPixels(dev);
    dev.setFillRule(FillRule());
    if (fill)
        FillDevicePath(dev, MakeBrush(dc_.Brush, true));
    if (stroke)
        StrokeDevicePath(dev);
}

void TEmfPlayback::DrawFromCurrentPosition(const QPainterPath& path)
{
    if (inPath_)
        AppendToPath(path, true);
    else
        DrawLogicalPath(path, false, true);
}

std::vector<QPointF> TEmfPlayback::ReadPoints(const TRecordView& r, std::size_t offset,
                                              std::uint32_t count, bool shortPoints)
{
    std::vector<QPointF> pts;
    const std::size_t item = shortPoints ? 4 : 8;
    if (!r.HasArray(offset, count, item))
        return pts;
    pts.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t o = offset + i * item;
        if (shortPoints)
            pts.emplace_back(r.I16(o), r.I16(o + 2));
        else
            pts.emplace_back(r.I32(o), r.I32(o + 4));
    }
    return pts;
}

void TEmfPlayback::DrawPolyline(const std::vector<QPointF>& pts, bool polygon)
{
    if (pts.empty())
        return;
    if (inPath_) {
        QPainterPath path;
        path.moveTo(pts[0]);
        for (std::size_t i = 1; i < pts.size(); ++i)
            path.lineTo(pts[i]);
        if (polygon)
            path.closeSubpath();
        AppendToPath(path, false);
        return;
    }
    const QTransform& t = Xf();
    QPolygonF poly;
    poly.reserve(int(pts.size()));
    for (const QPointF& pt : pts) {
        const QPointF d = t.map(pt);
        poly.append(QPointF(RoundClamp(d.x()), RoundClamp(d.y())));
    }
    const bool stroke = !PenIsNull();
    if (!polygon && !stroke)
        return;
    QPen pen = MakePen();
    // The outline as stroked, cut to what the pen can reach of the visible pixels.
    QPolygonF outline = poly;
    if (polygon && stroke && outline.size() > 1 && outline.first() != outline.last())
        outline.append(outline.first());
    if (stroke && ManyDashes(pen, PolylineLength(outline))) {
        if (polygon) {
            QPainterPath area;
            area.addPolygon(poly);
            area.closeSubpath();
            area.setFillRule(FillRule());
            FillDevicePath(area, MakeBrush(dc_.Brush, true));
        }
        StrokeDashRuns(DashRuns({outline}, StrokeArea(pen), DashPointsInBudget()), pen);
        return;
    }
    std::vector<QPolygonF> runs;
    bool cut = false;
    if (stroke) {
        NarrowPen(pen, [&] { return PolylineRectDistance(outline, QRectF(visible_)); });
        cut = pen.style() == Qt::SolidLine && ClipPolyline(outline, StrokeArea(pen), runs);
    }
    const double rows = std::max(1, visible_.height());
    double cost = polygon ? PolylineCost(outline, 0, rows) : 0;
    if (stroke) {
        if (cut)
            for (const QPolygonF& run : runs)
                cost += PolylineCost(run, pen.widthF(), rows);
        else
            cost += PolylineCost(outline, pen.widthF(), rows);
    }
    const double remaining = budget_.Remaining();
    if (!budget_.Charge(cost)) {
        // Drawn as far as the budget goes.
        const double each = (polygon ? 1 : 0) + (stroke ? 1 : 0);
        poly.resize(PolylinePrefix(poly, pen.widthF(), rows, remaining / std::max(1.0, each)));
        cut = false;
        if (poly.size() < 2)
            return;
    }
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    if (cut) {
        if (polygon) {
            p_.setPen(Qt::NoPen);
            p_.setBrush(MakeBrush(dc_.Brush, true));
            p_.drawPolygon(poly, FillRule());
        }
        p_.setPen(pen);
        p_.setBrush(Qt::NoBrush);
        for (const QPolygonF& run : runs)
            p_.drawPolyline(run);
    } else if (polygon) {
        p_.setPen(pen);
        p_.setBrush(MakeBrush(dc_.Brush, true));
        p_.drawPolygon(poly, FillRule());
    } else {
        p_.setPen(pen);
        p_.drawPolyline(poly);
    }
    p_.restore();
}

// ---------------------------------------------------------------------------------
// Lines and shapes

namespace {
// The 16-bit variants (POLYBEZIER16 .. POLYDRAW16) store their points as pairs of
// 16-bit values; otherwise they are the same records.
bool HasSmallPoints(const TRecordView& r)
{
    return r.Type() >= EMR_POLYBEZIER16 && r.Type() <= EMR_POLYDRAW16;
}

void AppendTo(QPainterPath& path, const QPointF& cur, const std::vector<QPointF>& pts, bool bezier)
{
    path.moveTo(cur);
    if (bezier) {
        for (std::size_t i = 0; i + 2 < pts.size(); i += 3)
            path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
        for (const QPointF& p : pts)
            path.lineTo(p);
    }
}
} // namespace

std::vector<QPointF> TEmfPlayback::RecordPoints(const TRecordView& r)
{
    return ReadPoints(r, 28, r.U32(24), HasSmallPoints(r));
}

void TEmfPlayback::OnPolyBezier(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.size() < 4)
        return;
    QPainterPath path;
    path.moveTo(pts[0]);
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    DrawLogicalPath(path, false, true);
}
void TEmfPlayback::OnPolyBezier16(const TRecordView& r) { OnPolyBezier(r); }

void TEmfPlayback::OnPolygon(const TRecordView& r) { DrawPolyline(RecordPoints(r), true); }
void TEmfPlayback::OnPolygon16(const TRecordView& r) { OnPolygon(r); }
void TEmfPlayback::OnPolyline(const TRecordView& r) { DrawPolyline(RecordPoints(r), false); }
void TEmfPlayback::OnPolyline16(const TRecordView& r) { OnPolyline(r); }

void TEmfPlayback::OnPolyBezierTo(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.size() < 3)
        return;
    QPainterPath path;
    AppendTo(path, dc_.CurPos, pts, true);
    DrawFromCurrentPosition(path);
    dc_.CurPos = pts[(pts.size() / 3) * 3 - 1];
}
void TEmfPlayback::OnPolyBezierTo16(const TRecordView& r) { OnPolyBezierTo(r); }

void TEmfPlayback::OnPolylineTo(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.empty())
        return;
    if (inPath_) {
        QPainterPath path;
        AppendTo(path, dc_.CurPos, pts, false);
        AppendToPath(path, true);
    } else {
        std::vector<QPointF> all{dc_.CurPos};
        all.insert(all.end(), pts.begin(), pts.end());
        DrawPolyline(all, false);
    }
    dc_.CurPos = pts.back();
}
void TEmfPlayback::OnPolylineTo16(const TRecordView& r) { OnPolylineTo(r); }

// POLYPOLYLINE / POLYPOLYGON: nPolys, total count, the counts, then the points.
bool TEmfPlayback::ReadPolyPoly(const TRecordView& r, std::vector<std::uint32_t>& counts,
                                std::vector<QPointF>& pts)
{
    const std::uint32_t nPolys = r.U32(24);
    const std::uint32_t total = r.U32(28);
    if (!r.HasArray(32, nPolys, 4))
        return false;
    std::uint64_t sum = 0;
    counts.resize(nPolys);
    for (std::uint32_t i = 0; i < nPolys; ++i) {
        counts[i] = r.U32(32 + i * 4);
        sum += counts[i];
    }
    const std::size_t ptsOffset = 32 + std::size_t(nPolys) * 4;
    if (!r.HasArray(ptsOffset, total, HasSmallPoints(r) ? 4 : 8) || sum > total)
        return false;
    pts = ReadPoints(r, ptsOffset, total, HasSmallPoints(r));
    return true;
}

void TEmfPlayback::OnPolyPolyline(const TRecordView& r)
{
    std::vector<std::uint32_t> counts;
    std::vector<QPointF> pts;
    if (!ReadPolyPoly(r, counts, pts))
        return;
    std::size_t at = 0;
    for (std::uint32_t c : counts) {
        std::vector<QPointF> one(pts.begin() + at, pts.begin() + at + c);
        at += c;
        if (one.size() >= 2)
            DrawPolyline(one, false);
    }
}
void TEmfPlayback::OnPolyPolyline16(const TRecordView& r) { OnPolyPolyline(r); }

void TEmfPlayback::OnPolyPolygon(const TRecordView& r)
{
    std::vector<std::uint32_t> counts;
    std::vector<QPointF> pts;
    if (!ReadPolyPoly(r, counts, pts))
        return;
    QPainterPath path;
    std::size_t at = 0;
    for (std::uint32_t c : counts) {
        if (c >= 2) {
            path.moveTo(pts[at]);
            for (std::size_t i = 1; i < c; ++i)
                path.lineTo(pts[at + i]);
            path.closeSubpath();
        }
        at += c;
    }
    DrawLogicalPath(path, true, true);
}
void TEmfPlayback::OnPolyPolygon16(const TRecordView& r) { OnPolyPolygon(r); }

void TEmfPlayback::OnPolyDraw(const TRecordView& r)
{
    const bool shortPoints = r.Type() == EMR_POLYDRAW16;
    const std::uint32_t n = r.U32(24);
    auto pts = ReadPoints(r, 28, n, shortPoints);
    const std::size_t typesAt = 28 + std::size_t(n) * (shortPoints ? 4 : 8);
    if (pts.size() != n || !r.Has(typesAt, n))
        return;
    QPainterPath path;
    path.moveTo(dc_.CurPos);
    QPointF figureStart = dc_.CurPos;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t t = r.U8(typesAt + i);
        switch (t & ~PT_CLOSEFIGURE) {
        case PT_MOVETO:
            path.moveTo(pts[i]);
            figureStart = pts[i];
            break;
        case PT_LINETO:
            path.lineTo(pts[i]);
            break;
        case PT_BEZIERTO:
            if (i + 2 < n) {
                path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
                i += 2;
            }
            break;
        default:
            break;
        }
        if ((t & PT_CLOSEFIGURE) && (t & ~PT_CLOSEFIGURE) != PT_MOVETO) {
            path.closeSubpath();
            path.moveTo(figureStart);
        }
        dc_.CurPos = pts[std::min<std::uint32_t>(i, n - 1)];
    }
    DrawFromCurrentPosition(path);
}
void TEmfPlayback::OnPolyDraw16(const TRecordView& r) { OnPolyDraw(r); }

void TEmfPlayback::OnMoveTo(const TRecordView& r)
{
    dc_.CurPos = QPointF(r.I32(8), r.I32(12));
    if (inPath_) {
        if (path_.elementCount() < kMaxPathElements)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        pathHasFigure_ = true;
    }
}

void TEmfPlayback::OnLineTo(const TRecordView& r)
{
    const QPointF to(r.I32(8), r.I32(12));
    if (inPath_) {
        if (!pathHasFigure_)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        if (path_.elementCount() < kMaxPathElements)
            path_.lineTo(Snap(Xf().map(to)));
        pathHasFigure_ = true;
    } else if (!PenIsNull() && dc_.Rop2 != R2_NOP) {
        const QPointF a = Xf().map(dc_.CurPos), b = Xf().map(to);
        const QPen pen = MakePen();
        const QPointF da(RoundClamp(a.x()), RoundClamp(a.y())), db(RoundClamp(b.x()), RoundClamp(b.y()));
        if (ManyDashes(pen, QLineF(da, db).length())) {
            StrokeDashRuns(DashRuns({QPolygonF({da, db})}, StrokeArea(pen), DashPointsInBudget()), pen);
        } else if (budget_.Charge(EdgeCost(a, b, pen.widthF(), std::max(1, visible_.height())))) {
            BeginDraw();
            p_.save();
            ConfigureRop2(p_, dc_.Rop2);
            p_.setPen(pen);
            p_.drawLine(da, db);
            p_.restore();
        }
    }
    dc_.CurPos = to;
}

void TEmfPlayback::OnRectangle(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom));
    if (inPath_ || !AxisAligned()) {
        QPainterPath path;
        path.addRect(lr.normalized());
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0 || !ChargeArea(QRectF(d)))
        return;
    // Pictures play in the advanced graphics mode, where the outline runs through both
    // corners, the right and bottom edges included; without a pen the brush fills up to
    // them, those edges excluded.
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    QPen pen = MakePen();
    if (pen.style() != Qt::NoPen) {
        pen.setJoinStyle(Qt::MiterJoin);
        const double w = pen.widthF();
        // A wide pen lies inside the rectangle with PS_INSIDEFRAME, else centred on it.
        const bool inside = (dc_.Pen->LogPen.Style & PS_STYLE_MASK) == PS_INSIDEFRAME;
        QRectF box(d.left(), d.top(), d.width(), d.height());
        if (inside && w > 1)
            box.adjust(w / 2 - 0.5, w / 2 - 0.5, -(w / 2 - 0.5), -(w / 2 - 0.5));
        p_.setBrush(MakeBrush(dc_.Brush, true));
        if (ManyDashes(pen, 2 * (box.width() + box.height()))) {
            // Filled here, its outline dashed where it can show.
            p_.setPen(Qt::NoPen);
            p_.drawRect(box);
            p_.restore();
            const QPolygonF outline({box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft(), box.topLeft()});
            StrokeDashRuns(DashRuns({outline}, StrokeArea(pen), DashPointsInBudget()), pen);
            return;
        }
        p_.setPen(pen);
        p_.drawRect(box);
    } else {
        p_.fillRect(d, MakeBrush(dc_.Brush, true));
    }
    p_.restore();
}

void TEmfPlayback::OnEllipse(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    if (inPath_ || !AxisAligned()) {
        QPainterPath path;
        path.addEllipse(lr);
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0 || DrawPixelEllipse(d))
        return;
    QPainterPath path;
    path.addEllipse(QRectF(d.left(), d.top(), d.width() - 1, d.height() - 1));
    FillAndStrokeDevicePath(path);
}

bool TEmfPlayback::DrawPixelEllipse(const QRect& d)
{
    constexpr int kLargest = 4096; // larger boxes (deep zoom) gain nothing from it
    const bool nullPen = PenIsNull();
    const QPen pen = nullPen ? QPen(Qt::NoPen) : MakePen();
    if (!nullPen) {
        const std::uint32_t style = dc_.Pen->LogPen.Style & PS_STYLE_MASK;
        if ((style != PS_SOLID && style != PS_INSIDEFRAME) || pen.widthF() > 1)
            return false;
    }
    if (d.width() > kLargest || d.height() > kLargest)
        return false;
    auto toRegion = [&d](const std::vector<TPixelRun>& runs) {
        QList<QRect> rects;
        rects.reserve(qsizetype(runs.size()));
        for (const TPixelRun& run : runs)
            rects.append(QRect(d.left() + run.X0, d.top() + run.Y, run.X1 - run.X0 + 1, 1));
        QRegion rgn;
        rgn.setRects(rects.constData(), int(rects.size()));
        return rgn;
    };
    QRegion outline, interior;
    if (d.width() <= 2 || d.height() <= 2) {
        // So small a box is drawn as a rectangle; a pen's outline reaches one pixel past
        // the box's right and bottom edges.
        if (nullPen) {
            interior = QRegion(d);
        } else {
            const QRect box(d.topLeft(), QSize(d.width() + 1, d.height() + 1));
            interior = QRegion(box.adjusted(1, 1, -1, -1));
            outline = QRegion(box) - interior;
        }
    } else {
        const TPixelEllipse e = RasterizeEllipse(d.width(), d.height());
        outline = toRegion(e.Outline);
        interior = toRegion(e.Interior);
        if (nullPen) {
            interior += outline; // without a pen the brush covers the outline's pixels too
            outline = QRegion();
        }
    }
    BeginDraw();
    FillDeviceRegion(interior, MakeBrush(dc_.Brush, true));
    if (!outline.isEmpty())
        FillDeviceRegion(outline, QBrush(pen.color()));
    return true;
}

void TEmfPlayback::OnRoundRect(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const double cw = std::fabs(double(r.I32(24))), ch = std::fabs(double(r.I32(28)));
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    QPainterPath path;
    if (inPath_ || !AxisAligned()) {
        path.addRoundedRect(lr, std::min(cw / 2, lr.width() / 2), std::min(ch / 2, lr.height() / 2));
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0)
        return;
    // The outline ends one pixel inside the right and bottom edges; without a pen the
    // brush reaches them.
    const int inset = PenIsNull() ? 0 : 1;
    const QRectF box(d.left(), d.top(), d.width() - inset, d.height() - inset);
    const double rx = std::min(cw * ScaleX() / 2, box.width() / 2);
    const double ry = std::min(ch * ScaleY() / 2, box.height() / 2);
    path.addRoundedRect(box, rx, ry);
    FillAndStrokeDevicePath(path);
}

// Arc geometry in device space: GDI measures the radial end points and the direction
// as they appear on the device.
bool TEmfPlayback::ArcGeometry(const TRecordView& r, TArcGeometry& g)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    const QTransform& t = Xf();
    const QRectF dbox = t.mapRect(lr);
    const QRectF box(dbox.left(), dbox.top(), std::max(0.0, dbox.width() - 1), std::max(0.0, dbox.height() - 1));
    if (box.width() <= 0 || box.height() <= 0)
        return false;
    const QPointF c = box.center();
    const QPointF s = t.map(QPointF(r.I32(24), r.I32(28)));
    const QPointF e = t.map(QPointF(r.I32(32), r.I32(36)));
    auto angle = [&](const QPointF& p) {
        // Angle on the ellipse, scaled to a circle, counter-clockwise as seen.
        return std::atan2(-(p.y() - c.y()) / box.height(), (p.x() - c.x()) / box.width()) * 180.0 / M_PI;
    };
    const double startDeg = angle(s);
    const double endDeg = angle(e);
    bool clockwise = dc_.ArcDirection == AD_CLOCKWISE;
    if (t.determinant() < 0 && t.m22() > 0)
        clockwise = !clockwise;
    double sweepDeg = endDeg - startDeg;
    if (!clockwise) {
        if (sweepDeg <= 0)
            sweepDeg += 360;
    } else {
        if (sweepDeg >= 0)
            sweepDeg -= 360;
    }
    auto onEllipse = [&](double deg) {
        const double a = deg * M_PI / 180.0;
        return QPointF(c.x() + box.width() / 2 * std::cos(a), c.y() - box.height() / 2 * std::sin(a));
    };
    g.Box = box;
    g.StartDeg = startDeg;
    g.SweepDeg = sweepDeg;
    g.Start = onEllipse(startDeg);
    g.End = onEllipse(startDeg + sweepDeg);
    return true;
}

// ARC, CHORD and PIE: the same arc, stroked alone, closed by its chord or through the
// centre; the closed ones are filled too.
void TEmfPlayback::DrawArcShape(const TRecordView& r, TArcShape shape)
{
    TArcGeometry g;
    if (!ArcGeometry(r, g))
        return;
    QPainterPath path;
    if (shape == TArcShape::Pie)
        path.moveTo(g.Box.center());
    else
        path.arcMoveTo(g.Box, g.StartDeg);
    path.arcTo(g.Box, g.StartDeg, g.SweepDeg);
    if (shape != TArcShape::Arc)
        path.closeSubpath();
    if (inPath_) {
        if (path_.elementCount() < kMaxPathElements)
            path_.addPath(path);
        pathHasFigure_ = true;
    } else if (shape == TArcShape::Arc) {
        StrokeDevicePath(path);
    } else {
        FillAndStrokeDevicePath(path);
    }
}

void TEmfPlayback::OnArc(const TRecordView& r) { DrawArcShape(r, TArcShape::Arc); }
void TEmfPlayback::OnChord(const TRecordView& r) { DrawArcShape(r, TArcShape::Chord); }
void TEmfPlayback::OnPie(const TRecordView& r) { DrawArcShape(r, TArcShape::Pie); }

void TEmfPlayback::OnArcTo(const TRecordView& r)
{
    TArcGeometry g;
    if (!ArcGeometry(r, g))
        return;
    if (inPath_) {
        if (!pathHasFigure_)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        path_.lineTo(g.Start);
        path_.arcTo(g.Box, g.StartDeg, g.SweepDeg);
        pathHasFigure_ = true;
    } else {
        QPainterPath path;
        path.moveTo(Xf().map(dc_.CurPos));
        path.lineTo(g.Start);
        path.arcTo(g.Box, g.StartDeg, g.SweepDeg);
        StrokeDevicePath(path);
    }
    bool ok = false;
    const QTransform inv = Xf().inverted(&ok);
    if (ok)
        dc_.CurPos = inv.map(g.End);
}

void TEmfPlayback::OnAngleArc(const TRecordView& r)
{
    const QPointF c(r.I32(8), r.I32(12));
    const double radius = r.U32(16);
    const float start = r.F32(20), sweep = r.F32(24);
    if (!SaneFloat(start) || !SaneFloat(sweep) || radius > 1e8)
        return;
    const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    const double sweepClamped = std::clamp<double>(sweep, -3600, 3600);
    QPainterPath path;
    path.moveTo(dc_.CurPos);
    // Logical y grows downwards in the reference device, so counter-clockwise as seen
    // is the same sense Qt uses.
    path.arcTo(box, start, sweepClamped);
    const QPointF end = path.currentPosition();
    DrawFromCurrentPosition(path);
    dc_.CurPos = end;
}

void TEmfPlayback::OnSetPixel(const TRecordView& r)
{
    const QPointF d = Xf().map(QPointF(r.I32(8), r.I32(12)));
    BeginDraw();
    p_.fillRect(QRect(RoundClamp(d.x()), RoundClamp(d.y()), 1, 1), ColorRef(r.U32(16)));
}

} // namespace qrp::emf
