// Blit and pattern-brush records: bitmaps are decoded by DibImage and drawn through the
// raster operations of RasterOps, in the device context's mapping.
#include "emf/EmfPlayback.h"

#include "emf/DibImage.h"
#include "emf/EmfPlaybackSupport.h"
#include "emf/RasterOps.h"

#include <cmath>
#include <tuple>
#include <utility>

namespace qrp::emf {

namespace {

// Keeps a source rectangle inside its bitmap, narrowing the destination in proportion,
// so that a record asking for far more pixels than the bitmap has costs no more than the
// bitmap. False when nothing of the bitmap is asked for.
bool ClipSource(QRectF& src, QRectF& dest, const QSize& size)
{
    if (src.isEmpty() && src.width() == 0 && src.height() == 0)
        return true; // whole bitmap
    if (src.width() <= 0 || src.height() <= 0)
        return std::fabs(src.width()) <= 4.0 * size.width() + 1 && std::fabs(src.height()) <= 4.0 * size.height() + 1;
    const QRectF inside = src.intersected(QRectF(QPointF(0, 0), QSizeF(size)));
    if (inside.isEmpty())
        return false;
    if (inside == src)
        return true;
    const double fx = dest.width() / src.width(), fy = dest.height() / src.height();
    dest = QRectF(dest.left() + (inside.left() - src.left()) * fx, dest.top() + (inside.top() - src.top()) * fy,
                  inside.width() * fx, inside.height() * fy);
    src = inside;
    return true;
}

// Bitmaps up to this many pixels are decoded whole, as they always were; larger ones only
// in the part that shows, at about the device pixels it covers.
constexpr std::int64_t kWholeBitmapPixels = std::int64_t(1) << 22;

// The part of an image of the given size that shows when its rectangle src (all of it when
// empty) is drawn into dest (logical units) under xf, onto the visible device pixels: a
// margin of two pixels around it, sampled to the device pixels it covers and two more.
DibWindow ShownWindow(QSize image, QRectF src, const QRectF& dest, const QTransform& xf, const QRect& visible)
{
    const QRect whole(QPoint(0, 0), image);
    if (std::int64_t(image.width()) * image.height() <= kWholeBitmapPixels)
        return {whole, image};
    if (src.width() == 0 && src.height() == 0)
        src = QRectF(whole);
    const QRectF s = src.normalized();
    const QRectF onDevice = xf.mapRect(dest.normalized());
    const QRectF shown = onDevice & QRectF(visible);
    if (shown.isEmpty() || s.isEmpty())
        return {QRect(), QSize()};
    QRectF part = s;
    if (xf.m12() == 0 && xf.m21() == 0 && onDevice.width() > 0 && onDevice.height() > 0) {
        // The fraction of the destination that shows, taken to the source (mirrored where
        // one of source, destination and mapping runs the other way).
        double x0 = (shown.left() - onDevice.left()) / onDevice.width();
        double x1 = (shown.right() - onDevice.left()) / onDevice.width();
        double y0 = (shown.top() - onDevice.top()) / onDevice.height();
        double y1 = (shown.bottom() - onDevice.top()) / onDevice.height();
        if (((src.width() < 0) != (dest.width() < 0)) != (xf.m11() < 0))
            std::tie(x0, x1) = std::make_pair(1 - x1, 1 - x0);
        if (((src.height() < 0) != (dest.height() < 0)) != (xf.m22() < 0))
            std::tie(y0, y1) = std::make_pair(1 - y1, 1 - y0);
        part = QRectF(s.left() + x0 * s.width(), s.top() + y0 * s.height(), (x1 - x0) * s.width(),
                      (y1 - y0) * s.height());
    }
    const QRect rect = part.toAlignedRect().adjusted(-2, -2, 2, 2) & whole;
    if (rect.isEmpty())
        return {QRect(), QSize()};
    // Device pixels per source pixel, along each axis.
    const double fx = onDevice.width() / std::max(1e-9, s.width()), fy = onDevice.height() / std::max(1e-9, s.height());
    const QSize size(int(std::min<double>(rect.width(), std::ceil(rect.width() * fx) + 2)),
                     int(std::min<double>(rect.height(), std::ceil(rect.height() * fy) + 2)));
    return {rect, size.expandedTo(QSize(1, 1))};
}

// src, in pixels of the whole bitmap (all of it when empty), in the pixels of the part
// dib holds.
QRectF InWindow(const DibImage& dib, QRectF src)
{
    const QRect& w = dib.window;
    if (w.isEmpty() || (w.topLeft() == QPoint(0, 0) && w.size() == dib.image.size()))
        return src;
    if (src.width() == 0 && src.height() == 0)
        src = QRectF(0, 0, dib.width, dib.rows);
    const double fx = double(dib.image.width()) / w.width(), fy = double(dib.image.height()) / w.height();
    return QRectF((src.left() - w.left()) * fx, (src.top() - w.top()) * fy, src.width() * fx, src.height() * fy);
}

// The bitmap of a blit record: iUsageSrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc at at.
DibLocation DibAt(const TRecordView& r, std::size_t at)
{
    return DibLocation{r.U32(at + 4), r.U32(at + 8), r.U32(at + 12), r.U32(at + 16), r.U32(at), 0};
}

} // namespace

template <typename Draw>
void TEmfPlayback::DrawInLogicalUnits(const QRectF& dest, Draw&& draw)
{
    if (!ChargeArea(Xf().mapRect(dest)))
        return;
    BeginDraw();
    p_.save();
    p_.setWorldTransform(Xf());
    draw();
    p_.restore();
}

void TEmfPlayback::Blit(const TRecordView& r, QRectF dest, std::uint32_t rop,
                        std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                        std::uint32_t cbBits, std::uint32_t usage, QRectF srcRect,
                        std::uint32_t scanLines)
{
    if (inPath_)
        return;
    BlitPattern pattern;
    pattern.brush = MakeBrush(dc_.Brush, true);
    pattern.origin = dc_.BrushOrg;
    DibImage dib;
    BlitSource source;
    if (cbBmi != 0) {
        DibLocation where{offBmi, cbBmi, offBits, cbBits, usage, scanLines};
        dib = DecodeDib(r.Data(), r.Size(), where, [&](QSize size, bool) {
            return ShownWindow(size, srcRect, dest, Xf(), visible_);
        });
        if (dib.IsNull() || !ChargeBitmap(dib))
            return;
        srcRect = InWindow(dib, srcRect);
        if (!ClipSource(srcRect, dest, dib.image.size()))
            return;
        source.image = &dib.image;
        source.rect = srcRect;
    } else if (Rop3UsesSource(rop)) {
        return; // a source-reading code without a source bitmap draws nothing
    }
    DrawInLogicalUnits(dest, [&] { BlitRop3(p_, dest, source, rop, pattern, dc_.StretchMode); });
}

// BITBLT: xDest, yDest, cxDest, cyDest, dwRop, xSrc, ySrc, xformSrc, crBkColorSrc,
// iUsageSrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc; STRETCHBLT the same and then
// cxSrc, cySrc. A record that stops after dwRop is a pattern blit.
void TEmfPlayback::DrawBlt(const TRecordView& r, bool stretch)
{
    const std::size_t whole = stretch ? 108 : 100;
    if (!r.Has(0, whole) && !(r.Has(0, 44) && r.Size() < 100))
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint32_t cbBmi = r.Has(0, whole) ? r.U32(88) : 0;
    const QRectF src(r.I32(44), r.I32(48), stretch ? r.I32(100) : r.I32(32), stretch ? r.I32(104) : r.I32(36));
    Blit(r, dest, r.U32(40), r.U32(84), cbBmi, r.U32(92), r.U32(96), r.U32(80), src);
}

void TEmfPlayback::OnBitBlt(const TRecordView& r) { DrawBlt(r, false); }
void TEmfPlayback::OnStretchBlt(const TRecordView& r) { DrawBlt(r, true); }

void TEmfPlayback::OnMaskBlt(const TRecordView& r)
{
    if (!r.Has(0, 128) || inPath_)
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint32_t rop4 = r.U32(40);
    DibImage src, mask;
    BlitSource source;
    if (r.U32(88) != 0) {
        src = DecodeDib(r.Data(), r.Size(), DibAt(r, 80));
        if (src.IsNull())
            return;
        source.image = &src.image;
        source.rect = QRectF(r.I32(44), r.I32(48), r.I32(32), r.I32(36));
        if (source.rect.left() < 0 || source.rect.top() < 0 || source.rect.width() > src.image.width()
            || source.rect.height() > src.image.height())
            return;
    }
    QImage maskImage;
    if (r.U32(116) != 0) {
        mask = DecodeDib(r.Data(), r.Size(), DibAt(r, 108));
        if (!mask.IsNull())
            maskImage = mask.IsMonochrome() ? mask.MaskImage() : mask.image;
    }
    BlitPattern pattern;
    pattern.brush = MakeBrush(dc_.Brush, true);
    pattern.origin = dc_.BrushOrg;
    DrawInLogicalUnits(dest, [&] { MaskBlt(p_, dest, source, rop4, maskImage, QPoint(r.I32(100), r.I32(104)), pattern); });
}

// SETDIBITSTODEVICE: xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmiSrc, cbBmiSrc,
// offBitsSrc, cbBitsSrc, iUsageSrc, iStartScan, cScans.
void TEmfPlayback::OnSetDIBitsToDevice(const TRecordView& r)
{
    if (!r.Has(0, 76))
        return;
    const std::int32_t cx = r.I32(40), cy = r.I32(44);
    const QRectF dest(r.I32(24), r.I32(28), cx, cy);
    const std::uint32_t scans = r.U32(72);
    // With only some scan lines stored, the image holds those lines; the source rectangle
    // counts from the bitmap's bottom, where the stored lines begin.
    DibLocation where{r.U32(48), r.U32(52), r.U32(56), r.U32(60), r.U32(64), scans};
    const std::int32_t xSrc = r.I32(32), ySrc = r.I32(36);
    auto sourceRect = [&](QSize size, bool topDown) {
        const double top = topDown ? ySrc : double(size.height()) - ySrc - cy + r.U32(68);
        return QRectF(xSrc, top, cx, cy);
    };
    if (inPath_)
        return;
    DibImage dib = DecodeDib(r.Data(), r.Size(), where, [&](QSize size, bool topDown) {
        return ShownWindow(size, sourceRect(size, topDown), dest, Xf(), visible_);
    });
    if (dib.IsNull() || !ChargeBitmap(dib))
        return;
    QRectF src = InWindow(dib, sourceRect(QSize(dib.width, dib.rows), dib.topDown));
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, dib.image.size()))
        return;
    BlitSource source{&dib.image, src};
    DrawInLogicalUnits(destRect, [&] { BlitRop3(p_, destRect, source, SRCCOPY, BlitPattern{}, dc_.StretchMode); });
}

// STRETCHDIBITS: xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmiSrc, cbBmiSrc, offBitsSrc,
// cbBitsSrc, iUsageSrc, dwRop, cxDest, cyDest.
void TEmfPlayback::OnStretchDIBits(const TRecordView& r)
{
    if (!r.Has(0, 80))
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
    const std::uint32_t rop = r.U32(68);
    const std::uint32_t cbBmi = r.U32(52);
    QRectF src(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
    if (cbBmi != 0) {
        // The source rectangle's y counts from the bottom row of a bottom-up bitmap.
        const std::int32_t h = r.Has(r.U32(48), 12) ? r.I32(r.U32(48) + 8) : 0;
        const std::uint32_t hdr = r.U32(r.U32(48));
        const std::int32_t height = hdr == 12 ? std::int32_t(r.I16(r.U32(48) + 6)) : h;
        if (height > 0)
            src.moveTop(double(height) - src.top() - src.height());
    }
    Blit(r, dest, rop, r.U32(48), cbBmi, r.U32(56), r.U32(60), r.U32(64), src);
}

void TEmfPlayback::OnAlphaBlend(const TRecordView& r)
{
    if (!r.Has(0, 108) || inPath_)
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint8_t constantAlpha = r.U8(42);
    const bool srcAlpha = (r.U8(43) & 1) != 0;
    const QRectF whole(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
    DibImage dib = DecodeDib(r.Data(), r.Size(), DibAt(r, 80), [&](QSize size, bool) {
        return ShownWindow(size, whole, dest, Xf(), visible_);
    });
    if (dib.IsNull() || !ChargeBitmap(dib))
        return;
    const QImage& img = srcAlpha && !dib.alpha.isNull() ? dib.alpha : dib.image;
    QRectF src = InWindow(dib, whole);
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, img.size()))
        return;
    BlitSource source{&img, src};
    DrawInLogicalUnits(destRect, [&] {
        AlphaBlend(p_, destRect, source, constantAlpha, srcAlpha && !dib.alpha.isNull(), dc_.StretchMode);
    });
}

void TEmfPlayback::OnTransparentBlt(const TRecordView& r)
{
    if (!r.Has(0, 108) || inPath_)
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint32_t c = r.U32(40);
    const QRectF whole(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
    DibImage dib = DecodeDib(r.Data(), r.Size(), DibAt(r, 80), [&](QSize size, bool) {
        return ShownWindow(size, whole, dest, Xf(), visible_);
    });
    if (dib.IsNull() || !ChargeBitmap(dib))
        return;
    QRectF src = InWindow(dib, whole);
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, dib.image.size()))
        return;
    BlitSource source{&dib.image, src};
    DrawInLogicalUnits(destRect, [&] {
        TransparentBlt(p_, destRect, source, ColorRef(c).rgb(), dc_.StretchMode);
    });
}

// CREATEMONOBRUSH and CREATEDIBPATTERNBRUSHPT: ihBrush, iUsage, offBmi, cbBmi, offBits,
// cbBits.
void TEmfPlayback::OnCreateDibPatternBrush(const TRecordView& r)
{
    if (!r.Has(0, 32))
        return;
    const std::uint32_t usage = r.U32(12);
    DibImage dib = DecodeDib(r.Data(), r.Size(), DibLocation{r.U32(16), r.U32(20), r.U32(24), r.U32(28), usage, 0});
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Brush;
    o->LogBrush.Style = BS_DIBPATTERNPT;
    o->LogBrush.Color = Qt::black;
    if (!dib.IsNull()) {
        if (dib.IsMonochrome() && (r.Type() == EMR_CREATEMONOBRUSH || usage == DIB_PAL_INDICES))
            o->LogBrush.MonoPattern = dib.mono;
        else
            o->LogBrush.Pattern = dib.image;
    }
    StoreObject(r.U32(8), std::move(o));
}

void TEmfPlayback::OnCreateMonoBrush(const TRecordView& r) { OnCreateDibPatternBrush(r); }

} // namespace qrp::emf
