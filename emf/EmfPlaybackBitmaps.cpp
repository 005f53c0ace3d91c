// Blit and pattern-brush records: bitmaps are decoded by DibImage and drawn through the
// raster operations of RasterOps, in the device context's mapping.
#include "emf/EmfPlayback.h"

#include "emf/DibImage.h"
#include "emf/EmfPlaybackSupport.h"
#include "emf/RasterOps.h"

#include <cmath>

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

// The bitmap of a blit record: iUsageSrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc at at.
DibLocation DibAt(const TRecordView& r, std::size_t at)
{
    return DibLocation{r.U32(at + 4), r.U32(at + 8), r.U32(at + 12), r.U32(at + 16), r.U32(at), 0};
}

} // namespace

template <typename Draw>
void TEmfPlayback::DrawInLogicalUnits(Draw&& draw)
{
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
        dib = DecodeDib(r.Data(), r.Size(), where);
        if (dib.IsNull())
            return;
        if (!ClipSource(srcRect, dest, dib.image.size()))
            return;
        source.image = &dib.image;
        source.rect = srcRect;
    } else if (Rop3UsesSource(rop)) {
        return; // a source-reading code without a source bitmap draws nothing
    }
    DrawInLogicalUnits([&] { BlitRop3(p_, dest, source, rop, pattern, dc_.StretchMode); });
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
    DrawInLogicalUnits([&] { MaskBlt(p_, dest, source, rop4, maskImage, QPoint(r.I32(100), r.I32(104)), pattern); });
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
    DibImage dib = DecodeDib(r.Data(), r.Size(), where);
    if (dib.IsNull() || inPath_)
        return;
    const std::int32_t xSrc = r.I32(32), ySrc = r.I32(36);
    double top = ySrc;
    if (!dib.topDown)
        top = double(dib.image.height()) - ySrc - cy + r.U32(68);
    QRectF src(xSrc, top, cx, cy);
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, dib.image.size()))
        return;
    BlitSource source{&dib.image, src};
    DrawInLogicalUnits([&] { BlitRop3(p_, destRect, source, SRCCOPY, BlitPattern{}, dc_.StretchMode); });
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
    DibImage dib = DecodeDib(r.Data(), r.Size(), DibAt(r, 80));
    if (dib.IsNull())
        return;
    const QImage& img = srcAlpha && !dib.alpha.isNull() ? dib.alpha : dib.image;
    QRectF src(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, img.size()))
        return;
    BlitSource source{&img, src};
    DrawInLogicalUnits([&] {
        AlphaBlend(p_, destRect, source, constantAlpha, srcAlpha && !dib.alpha.isNull(), dc_.StretchMode);
    });
}

void TEmfPlayback::OnTransparentBlt(const TRecordView& r)
{
    if (!r.Has(0, 108) || inPath_)
        return;
    const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    const std::uint32_t c = r.U32(40);
    DibImage dib = DecodeDib(r.Data(), r.Size(), DibAt(r, 80));
    if (dib.IsNull())
        return;
    QRectF src(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
    QRectF destRect = dest;
    if (!ClipSource(src, destRect, dib.image.size()))
        return;
    BlitSource source{&dib.image, src};
    DrawInLogicalUnits([&] {
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
