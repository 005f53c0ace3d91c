// Device-context state and mapping: the transform from logical units to the target
// (map modes, window and viewport, world transform), save and restore, and the records
// that set modes and colours.
#include "emf/EmfPlayback.h"

#include "emf/EmfPlaybackSupport.h"

#include <algorithm>
#include <cmath>

namespace qrp::emf {

// ---------------------------------------------------------------------------------
// Transforms

QSizeF TEmfPlayback::ReferencePixelMm() const
{
    double w = 25.4 / 96, h = 25.4 / 96;
    if (header_.Device.Cx > 0 && header_.Millimeters.Cx > 0)
        w = double(header_.Millimeters.Cx) / header_.Device.Cx;
    if (header_.Device.Cy > 0 && header_.Millimeters.Cy > 0)
        h = double(header_.Millimeters.Cy) / header_.Device.Cy;
    return {w, h};
}

void TEmfPlayback::UpdateTransform()
{
    const double sx = dc_.ViewportExt.width() / dc_.WindowExt.width();
    const double sy = dc_.ViewportExt.height() / dc_.WindowExt.height();
    const QTransform mapping(sx, 0, 0, sy, dc_.ViewportOrg.x() - dc_.WindowOrg.x() * sx,
                             dc_.ViewportOrg.y() - dc_.WindowOrg.y() * sy);
    xf_ = dc_.World * mapping * init_;
    xfDirty_ = false;
}

const QTransform& TEmfPlayback::Xf()
{
    if (xfDirty_)
        UpdateTransform();
    return xf_;
}

double TEmfPlayback::ScaleX()
{
    const QTransform& t = Xf();
    return std::hypot(t.m11(), t.m12());
}

double TEmfPlayback::ScaleY()
{
    const QTransform& t = Xf();
    return std::hypot(t.m21(), t.m22());
}

bool TEmfPlayback::AxisAligned()
{
    const QTransform& t = Xf();
    return t.m12() == 0 && t.m21() == 0;
}

QRect TEmfPlayback::DeviceRectRaw(const QRectF& logical)
{
    return DevicePixels(Xf(), logical);
}

QRect TEmfPlayback::DeviceRect(const TEmfRectL& r)
{
    return DeviceRectRaw(QRectF(QPointF(r.Left, r.Top), QPointF(r.Right, r.Bottom)));
}

void TEmfPlayback::SetMapModeInternal(std::uint32_t mode)
{
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC)
        return;
    if (mode == dc_.MapMode && (mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC))
        return;
    const double mmx = header_.Millimeters.Cx > 0 ? header_.Millimeters.Cx : 320;
    const double mmy = header_.Millimeters.Cy > 0 ? header_.Millimeters.Cy : 240;
    const double px = header_.Device.Cx > 0 ? header_.Device.Cx : 1210;
    const double py = header_.Device.Cy > 0 ? header_.Device.Cy : 907;
    auto fixed = [&](double unitsPerMm) {
        dc_.WindowExt = QSizeF(mmx * unitsPerMm, mmy * unitsPerMm);
        dc_.ViewportExt = QSizeF(px, -py);
    };
    switch (mode) {
    case MM_TEXT:
        dc_.WindowExt = dc_.ViewportExt = QSizeF(1, 1);
        break;
    case MM_LOMETRIC: fixed(10); break;
    case MM_HIMETRIC: fixed(100); break;
    case MM_LOENGLISH: fixed(100 / 25.4); break;
    case MM_HIENGLISH: fixed(1000 / 25.4); break;
    case MM_TWIPS: fixed(1440 / 25.4); break;
    case MM_ISOTROPIC: fixed(10); break; // starts from metric extents
    case MM_ANISOTROPIC: break;          // keeps the extents in force
    }
    dc_.MapMode = mode;
    xfDirty_ = true;
}

// In isotropic mode one logical unit has the same size on both axes: the viewport
// extent of the axis with the larger unit shrinks.
void TEmfPlayback::FixIsotropic()
{
    if (dc_.MapMode != MM_ISOTROPIC)
        return;
    const QSizeF pix = ReferencePixelMm();
    const double xdim = std::fabs(dc_.ViewportExt.width() * pix.width() / dc_.WindowExt.width());
    const double ydim = std::fabs(dc_.ViewportExt.height() * pix.height() / dc_.WindowExt.height());
    if (xdim > ydim) {
        const double sign = dc_.ViewportExt.width() < 0 ? -1 : 1;
        double v = std::floor(std::fabs(dc_.ViewportExt.width()) * ydim / xdim + 0.5);
        dc_.ViewportExt.setWidth(sign * std::max(1.0, v));
    } else if (ydim > xdim) {
        const double sign = dc_.ViewportExt.height() < 0 ? -1 : 1;
        double v = std::floor(std::fabs(dc_.ViewportExt.height()) * xdim / ydim + 0.5);
        dc_.ViewportExt.setHeight(sign * std::max(1.0, v));
    }
    xfDirty_ = true;
}

// ---------------------------------------------------------------------------------
// State records

// Extents count only in the two scalable modes, and a zero extent is refused.
void TEmfPlayback::SetExtent(QSizeF& extent, const TRecordView& r)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC)
        return;
    const std::int32_t x = r.I32(8), y = r.I32(12);
    if (x == 0 || y == 0)
        return;
    extent = QSizeF(x, y);
    FixIsotropic();
    xfDirty_ = true;
}
void TEmfPlayback::OnSetWindowExt(const TRecordView& r) { SetExtent(dc_.WindowExt, r); }
void TEmfPlayback::OnSetWindowOrg(const TRecordView& r)
{
    dc_.WindowOrg = QPointF(r.I32(8), r.I32(12));
    xfDirty_ = true;
}
void TEmfPlayback::OnSetViewportExt(const TRecordView& r) { SetExtent(dc_.ViewportExt, r); }
void TEmfPlayback::OnSetViewportOrg(const TRecordView& r)
{
    dc_.ViewportOrg = QPointF(r.I32(8), r.I32(12));
    xfDirty_ = true;
}
// SCALEVIEWPORTEXTEX / SCALEWINDOWEXTEX: the extent times xNum/xDenom and yNum/yDenom.
void TEmfPlayback::ScaleExtent(QSizeF& extent, const TRecordView& r)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC)
        return;
    const std::int32_t xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
    if (xn == 0 || xd == 0 || yn == 0 || yd == 0)
        return;
    const QSizeF e(extent.width() * xn / xd, extent.height() * yn / yd);
    if (e.width() == 0 || e.height() == 0)
        return;
    extent = e;
    FixIsotropic();
    xfDirty_ = true;
}
void TEmfPlayback::OnScaleViewportExt(const TRecordView& r) { ScaleExtent(dc_.ViewportExt, r); }
void TEmfPlayback::OnScaleWindowExt(const TRecordView& r) { ScaleExtent(dc_.WindowExt, r); }
void TEmfPlayback::OnSetBrushOrg(const TRecordView& r) { dc_.BrushOrg = QPoint(r.I32(8), r.I32(12)); }
void TEmfPlayback::OnSetMapMode(const TRecordView& r) { SetMapModeInternal(r.U32(8)); }
void TEmfPlayback::OnSetBkMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m == TRANSPARENT || m == OPAQUE)
        dc_.BkMode = m;
}
void TEmfPlayback::OnSetPolyFillMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m == ALTERNATE || m == WINDING)
        dc_.PolyFillMode = m;
}
void TEmfPlayback::OnSetRop2(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= R2_BLACK && m <= R2_WHITE)
        dc_.Rop2 = m;
}
void TEmfPlayback::OnSetStretchMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= BLACKONWHITE && m <= HALFTONE)
        dc_.StretchMode = m;
}
void TEmfPlayback::OnSetTextAlign(const TRecordView& r) { dc_.TextAlign = r.U32(8); }
void TEmfPlayback::OnSetTextColor(const TRecordView& r) { dc_.TextColor = ColorRef(r.U32(8)); }
void TEmfPlayback::OnSetBkColor(const TRecordView& r) { dc_.BkColor = ColorRef(r.U32(8)); }
void TEmfPlayback::OnSetArcDirection(const TRecordView& r)
{
    const std::uint32_t d = r.U32(8);
    if (d == AD_COUNTERCLOCKWISE || d == AD_CLOCKWISE)
        dc_.ArcDirection = d;
}
void TEmfPlayback::OnSetMiterLimit(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= 1 && m <= 1000)
        dc_.MiterLimit = m;
}
void TEmfPlayback::OnSetLayout(const TRecordView&) {}

void TEmfPlayback::OnSaveDC(const TRecordView&)
{
    if (saved_.size() >= kMaxSaveDepth)
        return;
    saved_.push_back(dc_);
}

void TEmfPlayback::OnRestoreDC(const TRecordView& r)
{
    const std::int32_t n = r.I32(8);
    std::size_t level; // index into saved_ of the state to restore
    if (n < 0) {
        const std::int64_t back = -std::int64_t(n);
        if (back > std::int64_t(saved_.size()))
            return;
        level = saved_.size() - std::size_t(back);
    } else if (n > 0) {
        if (std::size_t(n) > saved_.size())
            return;
        level = std::size_t(n) - 1;
    } else {
        return;
    }
    dc_ = std::move(saved_[level]);
    saved_.resize(level);
    xfDirty_ = true;
    clipDirty_ = true;
}

void TEmfPlayback::OnSetWorldTransform(const TRecordView& r)
{
    const float m[6] = {r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
    for (float f : m)
        if (!SaneFloat(f))
            return;
    const QTransform t(m[0], m[1], m[2], m[3], m[4], m[5]);
    if (t.determinant() == 0)
        return;
    dc_.World = t;
    xfDirty_ = true;
}

void TEmfPlayback::OnModifyWorldTransform(const TRecordView& r)
{
    const float m[6] = {r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
    const std::uint32_t mode = r.U32(32);
    if (mode == MWT_IDENTITY) {
        dc_.World = QTransform();
        xfDirty_ = true;
        return;
    }
    for (float f : m)
        if (!SaneFloat(f))
            return;
    const QTransform t(m[0], m[1], m[2], m[3], m[4], m[5]);
    QTransform result;
    switch (mode) {
    case MWT_LEFTMULTIPLY: result = t * dc_.World; break;
    case MWT_RIGHTMULTIPLY: result = dc_.World * t; break;
    case MWT_SET: result = t; break;
    default: return;
    }
    if (result.determinant() == 0)
        return;
    dc_.World = result;
    xfDirty_ = true;
}

} // namespace qrp::emf
