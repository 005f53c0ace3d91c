// Paths and clipping: the path bracket and what is done with a path, the clip region
// (rectangles, regions, paths, the meta region) and the region records.
#include "emf/EmfPlayback.h"

#include "emf/EmfPlaybackSupport.h"
#include "emf/RasterOps.h"
#include "emf/StrokeGeometry.h"

#include <algorithm>

namespace qrp::emf {

// ---------------------------------------------------------------------------------
// Paths

void TEmfPlayback::OnBeginPath(const TRecordView&)
{
    inPath_ = true;
    path_ = QPainterPath();
    pathHasFigure_ = false;
    pathCharged_ = false;
}
void TEmfPlayback::OnEndPath(const TRecordView&) { inPath_ = false; }
void TEmfPlayback::OnCloseFigure(const TRecordView&)
{
    if (inPath_ && path_.elementCount() > 0) {
        path_.closeSubpath();
        pathHasFigure_ = false;
    }
}
void TEmfPlayback::OnAbortPath(const TRecordView&)
{
    inPath_ = false;
    path_ = QPainterPath();
    pathHasFigure_ = false;
    pathCharged_ = false;
}

// FILLPATH, STROKEPATH and STROKEANDFILLPATH draw the closed path and use it up.
void TEmfPlayback::DrawClosedPath(bool fill, bool stroke)
{
    if (inPath_)
        return;
    QPainterPath p = path_;
    p.setFillRule(FillRule());
    // A widened path's fill was paid for when it was widened.
    if (fill)
        FillDevicePath(p, MakeBrush(dc_.Brush, true), !pathCharged_);
    if (stroke)
        StrokeDevicePath(p);
    path_ = QPainterPath();
    pathCharged_ = false;
}
void TEmfPlayback::OnFillPath(const TRecordView&) { DrawClosedPath(true, false); }
void TEmfPlayback::OnStrokeAndFillPath(const TRecordView&) { DrawClosedPath(true, true); }
void TEmfPlayback::OnStrokePath(const TRecordView&) { DrawClosedPath(false, true); }
void TEmfPlayback::OnFlattenPath(const TRecordView&)
{
    if (inPath_)
        return;
    QPainterPath flat;
    for (const QPolygonF& poly : path_.toSubpathPolygons())
        flat.addPolygon(poly);
    path_ = flat;
}
// The path is widened only where the pen can reach the visible pixels (see
// StrokeDevicePath).
void TEmfPlayback::OnWidenPath(const TRecordView&)
{
    if (inPath_ || PenIsNull())
        return;
    QPen pen = MakePen();
    if (ManyDashes(pen, PathOutlineLength(path_), true)) {
        std::vector<TDashRun> runs = DashRuns(path_, StrokeArea(pen), DashPointsInBudget(true));
        ChargeDashRuns(runs, pen, true);
        QPainterPathStroker stroker(pen);
        QPainterPath widened;
        for (const TDashRun& run : runs) {
            // The offset counts in pen widths.
            stroker.setDashOffset(pen.dashOffset() + run.Start / std::max(1.0, pen.widthF()));
            QPainterPath piece;
            piece.addPolygon(run.Points);
            widened.addPath(stroker.createStroke(piece));
        }
        path_ = widened;
        pathCharged_ = true;
        return;
    }
    NarrowPen(pen, [&] { return PathRectDistance(path_, QRectF(visible_)); });
    QPainterPath shown = path_;
    if (pen.style() == Qt::SolidLine)
        ClipPath(path_, StrokeArea(pen), shown);
    ChargePath(shown, pen.widthF(), true);
    QPainterPathStroker stroker(pen);
    path_ = stroker.createStroke(shown);
    pathCharged_ = true;
}

void TEmfPlayback::OnSelectClipPath(const TRecordView& r)
{
    if (inPath_)
        return;
    QPainterPath p = path_;
    p.setFillRule(FillRule());
    path_ = QPainterPath();
    if (!pathCharged_)
        ChargePath(p, 0);
    pathCharged_ = false;
    // Each polygon is cut to the visible pixels and a margin as wide again around them (a
    // region of a polygon costs every row it spans), and the regions are united pairwise,
    // which stays fast for the thousands of figures some paths hold.
    const QRectF keep = QRectF(visible_).adjusted(-visible_.width(), -visible_.height(), visible_.width(),
                                                  visible_.height());
    // A region of a polygon costs every edge on every row it spans, and the edges that
    // start on the same row are sorted one by one among each other (on the order of the
    // square of the edges over the rows the polygon spans): once that is more than the
    // budget holds, the page ends here and its clip does not matter.
    const double rows = std::max(1.0, keep.height());
    auto regionCost = [&](const QPolygonF& poly) {
        const double edges = double(poly.size());
        return PolylineCost(poly, 0, rows) + edges * edges / std::max(1.0, poly.boundingRect().height());
    };
    std::vector<QRegion> parts;
    for (const QPolygonF& poly : FillPolygons(p)) {
        const QPolygonF inside = keep.contains(poly.boundingRect()) ? poly : ClipPolygon(poly, keep);
        if (inside.size() < 3)
            continue;
        if (!budget_.Charge(regionCost(inside)))
            return;
        parts.emplace_back(inside.toPolygon(), p.fillRule());
    }
    CombineClip(UniteRegions(parts), r.U32(8));
}

void TEmfPlayback::AppendToPath(const QPainterPath& logicalPath, bool continueFigure)
{
    if (path_.elementCount() > kMaxPathElements)
        return;
    QPainterPath dev = Xf().map(logicalPath);
    SnapToPixels(dev);
    if (continueFigure && pathHasFigure_ && dev.elementCount() > 0) {
        // Joins the new segments to the open figure (its first element is the current
        // position, already in the path).
        for (int i = 1; i < dev.elementCount(); ++i) {
            const QPainterPath::Element e = dev.elementAt(i);
            if (e.type == QPainterPath::LineToElement) {
                path_.lineTo(e.x, e.y);
            } else if (e.type == QPainterPath::CurveToElement && i + 2 < dev.elementCount()) {
                const auto c2 = dev.elementAt(i + 1), end = dev.elementAt(i + 2);
                path_.cubicTo(e.x, e.y, c2.x, c2.y, end.x, end.y);
                i += 2;
            } else if (e.type == QPainterPath::MoveToElement) {
                path_.moveTo(e.x, e.y);
            }
        }
    } else {
        path_.addPath(dev);
    }
    pathHasFigure_ = true;
}

// ---------------------------------------------------------------------------------
// Clipping

void TEmfPlayback::ApplyClip()
{
    clipDirty_ = false;
    std::optional<QRegion> eff = dc_.Clip;
    if (dc_.MetaClip)
        eff = eff ? (*eff & *dc_.MetaClip) : *dc_.MetaClip;
    const QTransform keep = p_.worldTransform();
    p_.setWorldTransform(QTransform());
    if (baseClip_) {
        p_.setClipPath(*baseClip_);
        if (eff)
            p_.setClipRegion(*eff, Qt::IntersectClip);
    } else if (eff) {
        p_.setClipRegion(*eff);
    } else {
        p_.setClipping(false);
    }
    p_.setWorldTransform(keep);

    deviceClipStale_ = true;
}

// Worked out only when drawing that bypasses the painter asks for it.
void TEmfPlayback::UpdateDeviceClip()
{
    deviceClipStale_ = false;
    deviceClipKnown_ = true;
    deviceClip_.reset();
    if (baseClip_) {
        const QRectF b = baseClip_->boundingRect();
        QPainterPath asRect;
        asRect.addRect(b);
        deviceClipKnown_ = b == QRectF(b.toRect()) && *baseClip_ == asRect;
        if (deviceClipKnown_)
            deviceClip_ = QRegion(b.toRect());
    }
    if (dc_.Clip)
        deviceClip_ = deviceClip_ ? (*deviceClip_ & *dc_.Clip) : *dc_.Clip;
    if (dc_.MetaClip)
        deviceClip_ = deviceClip_ ? (*deviceClip_ & *dc_.MetaClip) : *dc_.MetaClip;
}

void TEmfPlayback::BeginDraw()
{
    if (clipDirty_)
        ApplyClip();
}

void TEmfPlayback::EndDraw() {}

// Combines a device-unit region with the clip by one of the RGN_* modes; no clip yet
// counts as the whole plane. Unknown modes change nothing.
void TEmfPlayback::CombineClip(const QRegion& rgn, std::uint32_t mode)
{
    const QRegion all(-int(kMaxCoord), -int(kMaxCoord), 2 * int(kMaxCoord), 2 * int(kMaxCoord));
    const QRegion cur = dc_.Clip ? *dc_.Clip : all;
    switch (mode) {
    case RGN_AND: dc_.Clip = cur & rgn; break;
    case RGN_OR: dc_.Clip = cur | rgn; break;
    case RGN_XOR: dc_.Clip = cur ^ rgn; break;
    case RGN_DIFF: dc_.Clip = cur - rgn; break;
    case RGN_COPY: dc_.Clip = rgn; break;
    default: return;
    }
    clipDirty_ = true;
}

void TEmfPlayback::OnIntersectClipRect(const TRecordView& r)
{
    const QRect d = DeviceRect(r.RectL(8));
    const QRegion rgn = d.isValid() ? QRegion(d) : QRegion();
    dc_.Clip = dc_.Clip ? (*dc_.Clip & rgn) : rgn;
    clipDirty_ = true;
}

void TEmfPlayback::OnExcludeClipRect(const TRecordView& r)
{
    const QRect d = DeviceRect(r.RectL(8));
    if (!d.isValid())
        return;
    const QRegion all(-int(kMaxCoord), -int(kMaxCoord), 2 * int(kMaxCoord), 2 * int(kMaxCoord));
    dc_.Clip = (dc_.Clip ? *dc_.Clip : all) - QRegion(d);
    clipDirty_ = true;
}

void TEmfPlayback::OnOffsetClipRgn(const TRecordView& r)
{
    if (!dc_.Clip)
        return;
    const QTransform& t = Xf();
    const QPointF d = t.map(QPointF(r.I32(8), r.I32(12))) - t.map(QPointF(0, 0));
    dc_.Clip->translate(RoundClamp(d.x()), RoundClamp(d.y()));
    clipDirty_ = true;
}

void TEmfPlayback::OnSetMetaRgn(const TRecordView&)
{
    if (dc_.Clip)
        dc_.MetaClip = dc_.MetaClip ? (*dc_.MetaClip & *dc_.Clip) : *dc_.Clip;
    dc_.Clip.reset();
    clipDirty_ = true;
}

// Region data of EXTSELECTCLIPRGN is in device units of the picture: only the initial
// transform applies to it.
void TEmfPlayback::OnExtSelectClipRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(8);
    const std::uint32_t mode = r.U32(12);
    if (mode == RGN_COPY && (size == 0 || !r.Has(16, 32))) {
        dc_.Clip.reset();
        clipDirty_ = true;
        return;
    }
    if (!r.Has(16, 32))
        return;
    const QRegion rgn = ReadRegion(r, 16, size, init_);
    CombineClip(rgn, mode);
}

// ---------------------------------------------------------------------------------
// Regions (in logical units)

QRegion TEmfPlayback::ReadRegion(const TRecordView& r, std::size_t offset, std::uint32_t size,
                                 const QTransform& xf)
{
    // RGNDATAHEADER: dwSize, iType, nCount, nRgnSize, rcBound; then nCount rectangles.
    if (!r.Has(offset, 32))
        return QRegion();
    size = std::min(size, static_cast<std::uint32_t>(r.Size() - offset)); // the record holds no more
    if (size < 32 || !r.Has(offset, size))
        return QRegion();
    const std::uint32_t headerSize = r.U32(offset);
    const std::uint32_t count = r.U32(offset + 8);
    const std::size_t rects = offset + (headerSize >= 32 && headerSize <= size ? headerSize : 32);
    std::uint32_t n = count;
    const std::size_t avail = (offset + size - std::min<std::size_t>(rects, offset + size)) / 16;
    if (n > avail)
        n = static_cast<std::uint32_t>(avail);
    std::vector<QRect> list;
    list.reserve(n);
    const bool aligned = xf.m12() == 0 && xf.m21() == 0;
    QRegion rotated;
    for (std::uint32_t i = 0; i < n; ++i) {
        const TEmfRectL rc = r.RectL(rects + i * 16);
        const QRectF lr(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom));
        if (aligned) {
            const QRect d = DevicePixels(xf, lr);
            if (!d.isEmpty())
                list.push_back(d);
        } else {
            rotated += QRegion(xf.map(QPolygonF(lr)).toPolygon());
        }
    }
    if (!aligned)
        return rotated;
    // Unites the rectangles pairwise, which stays fast for the long lists of scan-line
    // rectangles regions are made of.
    std::vector<QRegion> parts;
    parts.reserve(list.size());
    for (const QRect& rc : list)
        parts.emplace_back(rc);
    return UniteRegions(parts);
}

void TEmfPlayback::FillDeviceRegion(const QRegion& rgn, const QBrush& brush)
{
    if (rgn.isEmpty())
        return;
    QPainterPath path;
    path.addRegion(rgn);
    FillDevicePath(path, brush);
}

// The region records: cbRgnData at 24; FILLRGN and FRAMERGN name a brush at 28. A region
// the record does not hold reads as empty, which draws nothing.
void TEmfPlayback::OnFillRgn(const TRecordView& r)
{
    const TObjectRef brush = Object(r.U32(28));
    if (!brush || brush->Kind != TGdiObject::Brush)
        return;
    FillDeviceRegion(ReadRegion(r, 32, r.U32(24), Xf()), MakeBrush(brush, true));
}

void TEmfPlayback::OnFrameRgn(const TRecordView& r)
{
    const TObjectRef brush = Object(r.U32(28));
    if (!brush || brush->Kind != TGdiObject::Brush)
        return;
    const QRegion rgn = ReadRegion(r, 40, r.U32(24), Xf());
    if (rgn.isEmpty())
        return;
    const int w = std::clamp(RoundClamp(std::abs(r.I32(32)) * ScaleX()), 1, 10000);
    const int h = std::clamp(RoundClamp(std::abs(r.I32(36)) * ScaleY()), 1, 10000);
    // The frame is the region less the region shrunk by the frame's width and height.
    const QRegion inner = rgn & rgn.translated(w, 0) & rgn.translated(-w, 0) & rgn.translated(0, h)
                          & rgn.translated(0, -h);
    FillDeviceRegion(rgn - inner, MakeBrush(brush, true));
}

void TEmfPlayback::OnInvertRgn(const TRecordView& r)
{
    const QRegion rgn = ReadRegion(r, 28, r.U32(24), Xf());
    if (rgn.isEmpty())
        return;
    BeginDraw();
    p_.save();
    const Rop2Setup rop = ConfigureRop2(p_, R2_NOT);
    QPainterPath path;
    path.addRegion(rgn);
    ChargePath(path, 0);
    p_.setPen(Qt::NoPen);
    p_.setBrush(rop.MapColor(Qt::black));
    p_.drawPath(path);
    p_.restore();
}

void TEmfPlayback::OnPaintRgn(const TRecordView& r)
{
    FillDeviceRegion(ReadRegion(r, 28, r.U32(24), Xf()), MakeBrush(dc_.Brush, true));
}

} // namespace qrp::emf
