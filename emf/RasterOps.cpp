#include "emf/RasterOps.h"

#include "emf/EmfRecords.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>

namespace qrp {

namespace {

constexpr std::uint32_t kRgbMask = 0x00FFFFFFu;
constexpr std::uint32_t kWhite = 0x00FFFFFFu;

std::uint32_t Code(std::uint32_t rop3) { return (rop3 >> 16) & 0xFF; }

// Bitwise ternary operation on packed pixels; the common codes take a direct formula.
inline std::uint32_t Apply(std::uint32_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d)
{
    switch (code) {
    case 0x00: return 0;
    case 0x11: return ~(s | d);   // NOTSRCERASE
    case 0x33: return ~s;         // NOTSRCCOPY
    case 0x44: return s & ~d;     // SRCERASE
    case 0x55: return ~d;         // DSTINVERT
    case 0x5A: return p ^ d;      // PATINVERT
    case 0x66: return s ^ d;      // SRCINVERT
    case 0x88: return s & d;      // SRCAND
    case 0xAA: return d;
    case 0xBB: return ~s | d;     // MERGEPAINT
    case 0xC0: return p & s;      // MERGECOPY
    case 0xCC: return s;          // SRCCOPY
    case 0xEE: return s | d;      // SRCPAINT
    case 0xF0: return p;          // PATCOPY
    case 0xFB: return p | ~s | d; // PATPAINT
    case 0xFF: return ~0u;
    default: break;
    }
    std::uint32_t r = 0;
    for (unsigned i = 0; i < 8; ++i) {
        if (code & (1u << i))
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r;
}

// The colour an operation gives where the destination cannot be read: over white paper,
// or over black where white paper would come out white; nothing (nullopt) where the
// operation leaves the destination as it is.
std::optional<std::uint32_t> Approximate(std::uint32_t code, std::uint32_t p, std::uint32_t s)
{
    const std::uint32_t overWhite = Apply(code, p, s, kWhite) & kRgbMask;
    const std::uint32_t overBlack = Apply(code, p, s, 0) & kRgbMask;
    if (overWhite == kWhite && overBlack == 0)
        return std::nullopt;
    if (overWhite == overBlack || overWhite != kWhite)
        return overWhite;
    return overBlack;
}

// A blit with its rectangles made positive: mirroring is folded into the source image.
struct Normalized {
    QImage image; // empty when there is no source
    QRectF srcRect;
    QRectF dest;
    bool valid = false;
};

Normalized Normalize(const QRectF& dest, const BlitSource& source)
{
    Normalized n;
    n.dest = dest.normalized();
    if (n.dest.isEmpty())
        return n;
    if (source.image == nullptr) {
        n.valid = true;
        return n;
    }
    if (source.image->isNull())
        return n;
    QRectF sr = source.rect.isNull() ? QRectF(source.image->rect()) : source.rect;
    const bool mirrorX = (dest.width() < 0) != (sr.width() < 0);
    const bool mirrorY = (dest.height() < 0) != (sr.height() < 0);
    sr = sr.normalized();
    if (sr.isEmpty())
        return n;
    if (mirrorX || mirrorY) {
        const QRect crop = sr.toAlignedRect();
        n.image = source.image->copy(crop).mirrored(mirrorX, mirrorY);
        n.srcRect = QRectF(sr.topLeft() - QPointF(crop.topLeft()), sr.size());
        if (mirrorX)
            n.srcRect.moveLeft(crop.width() - n.srcRect.right());
        if (mirrorY)
            n.srcRect.moveTop(crop.height() - n.srcRect.bottom());
    } else {
        n.image = *source.image;
        n.srcRect = sr;
    }
    n.valid = true;
    return n;
}

bool IsSolid(const QBrush& b) { return b.style() == Qt::SolidPattern; }
std::uint32_t Pixel(const QColor& c) { return c.rgb() & kRgbMask; }

// Fills dest (painter coordinates) with brush aligned to device pixels at origin, as GDI
// patterns are.
void FillDevice(QPainter& painter, const QRectF& dest, const QBrush& brush, QPoint origin)
{
    const QTransform t = painter.combinedTransform();
    painter.save();
    painter.resetTransform();
    // A binary raster operation left on the painter for pens does not apply to blits.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrushOrigin(origin);
    if (t.type() <= QTransform::TxScale) {
        painter.fillRect(t.mapRect(dest), brush);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(brush);
        painter.drawPolygon(t.map(QPolygonF(dest)));
    }
    painter.restore();
}

// The mask pixels under the source rectangle, 1 (white) outside the mask.
QImage CropMask(const QImage& mask, QPoint maskOrigin, QSize size, bool mirrorX, bool mirrorY)
{
    QImage crop(size, QImage::Format_RGB32);
    if (crop.isNull())
        return crop;
    crop.fill(Qt::white);
    QPainter p(&crop);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(-maskOrigin, mask);
    p.end();
    return (mirrorX || mirrorY) ? crop.mirrored(mirrorX, mirrorY) : crop;
}

inline bool MaskBit(QRgb m) { return (m & kRgbMask) != 0; }

inline std::uint32_t Straight(QRgb premultiplied)
{
    return qUnpremultiply(premultiplied) & kRgbMask;
}

// Exact evaluation on the pixels of a QImage device: the destination sub-rectangle that the
// blit covers and the clip allows is read, combined and written back.
bool BlitOnImage(QPainter& painter, const Normalized& n, std::uint32_t fg, std::uint32_t bg,
                 const QImage* mask, const BlitPattern& pattern, bool smooth)
{
    QPaintDevice* device = painter.device();
    if (device == nullptr || painter.paintEngine() == nullptr
        || painter.paintEngine()->type() != QPaintEngine::Raster)
        return false;
    // Images, and pixmaps, which the raster engine keeps as images too.
    QImage* image = nullptr;
    QPixmap* pixmap = nullptr;
    if (device->devType() == QInternal::Image)
        image = static_cast<QImage*>(device);
    else if (device->devType() == QInternal::Pixmap)
        pixmap = static_cast<QPixmap*>(device);
    else
        return false;
    if (device->devicePixelRatio() != 1.0)
        return false;
    const QTransform t = painter.combinedTransform();
    if (t.type() > QTransform::TxScale)
        return false;

    const QRect bounds = image ? image->rect() : pixmap->rect();
    QRect area = t.mapRect(n.dest).toAlignedRect() & bounds;
    if (painter.hasClipping())
        area &= t.mapRect(painter.clipBoundingRect()).toAlignedRect();
    if (area.isEmpty())
        return true;

    const QTransform toArea = t * QTransform::fromTranslate(-area.x(), -area.y());
    // Coverage and source: the source drawn as a plain copy would draw it; alpha 0 where
    // the blit does not reach (or the source leaves a pixel unwritten).
    QImage src(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (src.isNull())
        return true;
    src.fill(0);
    {
        QPainter sp(&src);
        sp.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        sp.setTransform(toArea);
        if (n.image.isNull())
            sp.fillRect(n.dest, Qt::black);
        else
            sp.drawImage(n.dest, n.image, n.srcRect);
    }
    QImage maskArea;
    if (mask != nullptr) {
        maskArea = QImage(area.size(), QImage::Format_RGB32);
        maskArea.fill(Qt::white);
        QPainter mp(&maskArea);
        mp.setTransform(toArea);
        mp.drawImage(n.dest, *mask, n.srcRect);
    }
    const bool usesPattern = Rop3UsesPattern(fg << 16) || Rop3UsesPattern(bg << 16);
    QImage pat;
    if (usesPattern && !IsSolid(pattern.brush)) {
        pat = QImage(area.size(), QImage::Format_RGB32);
        pat.fill(pattern.brush.style() == Qt::NoBrush ? Qt::black : Qt::white);
        if (pattern.brush.style() != Qt::NoBrush) {
            QPainter pp(&pat);
            pp.setBrushOrigin(pattern.origin - area.topLeft());
            pp.fillRect(pat.rect(), pattern.brush);
        }
    }
    const std::uint32_t solidPattern = IsSolid(pattern.brush) ? Pixel(pattern.brush.color()) : 0;
    const bool usesDest = Rop3UsesDestination(fg << 16) || Rop3UsesDestination(bg << 16);
    QImage dst;
    if (usesDest)
        dst = (image ? image->copy(area) : pixmap->copy(area).toImage())
                  .convertToFormat(QImage::Format_RGB32);

    QImage out(area.size(), QImage::Format_ARGB32);
    for (int y = 0; y < area.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        const auto* d = usesDest ? reinterpret_cast<const QRgb*>(dst.constScanLine(y)) : nullptr;
        const auto* p = pat.isNull() ? nullptr : reinterpret_cast<const QRgb*>(pat.constScanLine(y));
        const auto* m = mask ? reinterpret_cast<const QRgb*>(maskArea.constScanLine(y)) : nullptr;
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < area.width(); ++x) {
            const int a = qAlpha(s[x]);
            if (a < 128) {
                o[x] = 0;
                continue;
            }
            const std::uint32_t sv = a == 255 ? (s[x] & kRgbMask) : Straight(s[x]);
            const std::uint32_t code = (m == nullptr || MaskBit(m[x])) ? fg : bg;
            const std::uint32_t pv = p ? (p[x] & kRgbMask) : solidPattern;
            const std::uint32_t dv = d ? (d[x] & kRgbMask) : 0;
            o[x] = (Apply(code, pv, sv, dv) & kRgbMask) | 0xFF000000u;
        }
    }
    painter.save();
    painter.resetTransform();
    painter.setOpacity(1.0);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(area.topLeft(), out);
    painter.restore();
    return true;
}

// Devices whose pixels cannot be read: the result is worked out from source and pattern
// alone (see Approximate) in source pixels and drawn stretched like the source.
void BlitApproximate(QPainter& painter, const Normalized& n, std::uint32_t fg, std::uint32_t bg,
                     const QImage* mask, const BlitPattern& pattern, bool smooth)
{
    const QRect crop = n.srcRect.toAlignedRect() & n.image.rect();
    if (crop.isEmpty())
        return;
    const QImage src = n.image.copy(crop).convertToFormat(QImage::Format_ARGB32);
    QImage pat;
    if (!IsSolid(pattern.brush) && pattern.brush.style() != Qt::NoBrush
        && (Rop3UsesPattern(fg << 16) || Rop3UsesPattern(bg << 16))) {
        pat = QImage(crop.size(), QImage::Format_RGB32);
        pat.fill(Qt::white);
        QPainter pp(&pat);
        pp.fillRect(pat.rect(), pattern.brush);
    }
    const std::uint32_t solidPattern = IsSolid(pattern.brush) ? Pixel(pattern.brush.color()) : 0;
    QImage out(crop.size(), QImage::Format_ARGB32);
    if (out.isNull())
        return;
    for (int y = 0; y < crop.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        const auto* p = pat.isNull() ? nullptr : reinterpret_cast<const QRgb*>(pat.constScanLine(y));
        const auto* m = mask ? reinterpret_cast<const QRgb*>(mask->constScanLine(y)) : nullptr;
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < crop.width(); ++x) {
            if (qAlpha(s[x]) < 128) {
                o[x] = 0;
                continue;
            }
            const std::uint32_t code = (m == nullptr || MaskBit(m[x])) ? fg : bg;
            const auto r = Approximate(code, p ? (p[x] & kRgbMask) : solidPattern, s[x] & kRgbMask);
            o[x] = r ? (*r | 0xFF000000u) : 0;
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(n.dest, out, n.srcRect.translated(-crop.topLeft()));
    painter.restore();
}

// A pattern-only operation where the destination cannot be read.
void PatternApproximate(QPainter& painter, const Normalized& n, std::uint32_t code,
                        const BlitPattern& pattern)
{
    if (pattern.brush.style() == Qt::TexturePattern) {
        QImage tex = pattern.brush.textureImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < tex.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(tex.scanLine(y));
            for (int x = 0; x < tex.width(); ++x) {
                const auto r = Approximate(code, line[x] & kRgbMask, 0);
                line[x] = r ? (*r | 0xFF000000u) : 0;
            }
        }
        FillDevice(painter, n.dest, QBrush(tex), pattern.origin);
        return;
    }
    const std::uint32_t p = IsSolid(pattern.brush) ? Pixel(pattern.brush.color()) : 0;
    if (const auto r = Approximate(code, p, 0))
        FillDevice(painter, n.dest, QColor::fromRgb(*r | 0xFF000000u), pattern.origin);
}

void Blit(QPainter& painter, const QRectF& dest, const BlitSource& source, std::uint32_t fg,
          std::uint32_t bg, const QImage* maskImage, QPoint maskOrigin,
          const BlitPattern& pattern, std::uint32_t stretchMode)
{
    const bool usesSource = Rop3UsesSource(fg << 16) || Rop3UsesSource(bg << 16);
    Normalized n = Normalize(dest, usesSource ? source : BlitSource{});
    if (!n.valid || (usesSource && n.image.isNull()))
        return;
    const bool smooth = SmoothForStretchMode(stretchMode);

    QImage mask;
    if (maskImage != nullptr && !maskImage->isNull() && fg != bg) {
        // The mask lines up with the source rectangle, pixel for pixel.
        const QRectF sr = (source.rect.isNull() && source.image ? QRectF(source.image->rect())
                                                                 : source.rect);
        const QSize size = sr.normalized().toAlignedRect().size();
        if (!size.isEmpty()) {
            const bool mirrorX = (dest.width() < 0) != (sr.width() < 0);
            const bool mirrorY = (dest.height() < 0) != (sr.height() < 0);
            mask = CropMask(*maskImage, maskOrigin, size, mirrorX, mirrorY);
        }
    }
    const QImage* maskPtr = mask.isNull() ? nullptr : &mask;

    if (maskPtr == nullptr && fg != bg)
        bg = fg;
    if (maskPtr == nullptr) {
        // Codes any device draws as they are, without reading pixels.
        switch (fg) {
        case 0xCC: // SRCCOPY
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            painter.drawImage(n.dest, n.image, n.srcRect);
            painter.restore();
            return;
        case 0xAA: // destination unchanged
            return;
        case 0x00:
            FillDevice(painter, n.dest, Qt::black, pattern.origin);
            return;
        case 0xFF:
            FillDevice(painter, n.dest, Qt::white, pattern.origin);
            return;
        case 0xF0: // PATCOPY
            FillDevice(painter, n.dest,
                       pattern.brush.style() == Qt::NoBrush ? QBrush(Qt::black) : pattern.brush,
                       pattern.origin);
            return;
        default:
            break;
        }
    }

    // The mask in the source image's pixels (white where the mask does not reach), so that
    // it is stretched and mirrored exactly as the source is.
    QImage sourceMask;
    if (maskPtr != nullptr) {
        if (n.image.isNull()) {
            sourceMask = mask;
            n.srcRect = QRectF(mask.rect());
        } else {
            sourceMask = QImage(n.image.size(), QImage::Format_RGB32);
            sourceMask.fill(Qt::white);
            QPainter mp(&sourceMask);
            mp.setCompositionMode(QPainter::CompositionMode_Source);
            mp.drawImage(n.srcRect.toAlignedRect().topLeft(), mask);
        }
    }
    const QImage* sourceMaskPtr = sourceMask.isNull() ? nullptr : &sourceMask;
    if (BlitOnImage(painter, n, fg, bg, sourceMaskPtr, pattern, smooth))
        return;

    if (n.image.isNull()) {
        PatternApproximate(painter, n, fg, pattern);
        return;
    }
    if (sourceMaskPtr != nullptr) {
        const QRect crop = n.srcRect.toAlignedRect() & n.image.rect();
        const QImage croppedMask = sourceMask.copy(crop);
        BlitApproximate(painter, n, fg, bg, &croppedMask, pattern, smooth);
        return;
    }
    BlitApproximate(painter, n, fg, bg, nullptr, pattern, smooth);
}

} // namespace

std::uint32_t EvalRop3(std::uint32_t rop3, std::uint32_t pattern, std::uint32_t source,
                       std::uint32_t destination)
{
    return Apply(Code(rop3), pattern, source, destination);
}

bool Rop3UsesSource(std::uint32_t rop3)
{
    const std::uint32_t c = Code(rop3);
    return ((c ^ (c >> 2)) & 0x33) != 0;
}
bool Rop3UsesPattern(std::uint32_t rop3)
{
    const std::uint32_t c = Code(rop3);
    return ((c ^ (c >> 4)) & 0x0F) != 0;
}
bool Rop3UsesDestination(std::uint32_t rop3)
{
    const std::uint32_t c = Code(rop3);
    return ((c ^ (c >> 1)) & 0x55) != 0;
}

bool SmoothForStretchMode(std::uint32_t stretchMode) { return stretchMode == emf::HALFTONE; }

void BlitRop3(QPainter& painter, const QRectF& dest, const BlitSource& source, std::uint32_t rop3,
              const BlitPattern& pattern, std::uint32_t stretchMode)
{
    const std::uint32_t code = Code(rop3);
    Blit(painter, dest, source, code, code, nullptr, {}, pattern, stretchMode);
}

void MaskBlt(QPainter& painter, const QRectF& dest, const BlitSource& source, std::uint32_t rop4,
             const QImage& mask, QPoint maskOrigin, const BlitPattern& pattern)
{
    const std::uint32_t fg = (rop4 >> 16) & 0xFF;
    const std::uint32_t bg = (rop4 >> 24) & 0xFF;
    Blit(painter, dest, source, fg, mask.isNull() ? fg : bg, mask.isNull() ? nullptr : &mask,
         maskOrigin, pattern, emf::COLORONCOLOR);
}

void AlphaBlend(QPainter& painter, const QRectF& dest, const BlitSource& source,
                std::uint8_t constantAlpha, bool useSourceAlpha, std::uint32_t stretchMode)
{
    Normalized n = Normalize(dest, source);
    if (!n.valid || n.image.isNull() || constantAlpha == 0)
        return;
    if (!useSourceAlpha && n.image.hasAlphaChannel())
        n.image = n.image.convertToFormat(QImage::Format_RGB32);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, SmoothForStretchMode(stretchMode));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(painter.opacity() * (constantAlpha / 255.0));
    painter.drawImage(n.dest, n.image, n.srcRect);
    painter.restore();
}

void TransparentBlt(QPainter& painter, const QRectF& dest, const BlitSource& source,
                    QRgb transparent, std::uint32_t stretchMode)
{
    Normalized n = Normalize(dest, source);
    if (!n.valid || n.image.isNull())
        return;
    const QRect crop = n.srcRect.toAlignedRect() & n.image.rect();
    if (crop.isEmpty())
        return;
    QImage img = n.image.copy(crop).convertToFormat(QImage::Format_ARGB32);
    const std::uint32_t key = transparent & kRgbMask;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if ((line[x] & kRgbMask) == key)
                line[x] = 0;
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, SmoothForStretchMode(stretchMode));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(n.dest, img, n.srcRect.translated(-crop.topLeft()));
    painter.restore();
}

QColor Rop2Setup::MapColor(const QColor& c) const
{
    if (rop2 == emf::R2_BLACK)
        return QColor(0, 0, 0, c.alpha());
    if (rop2 == emf::R2_WHITE)
        return QColor(255, 255, 255, c.alpha());
    if (exact || rop2 < 1 || rop2 > 16)
        return c;
    // f(pen, destination) = bit (pen << 1 | destination) of rop2 - 1.
    const std::uint32_t nibble = rop2 - 1;
    auto eval = [nibble](std::uint32_t p, std::uint32_t d) {
        std::uint32_t r = 0;
        for (unsigned i = 0; i < 4; ++i) {
            if (nibble & (1u << i))
                r |= ((i & 2) ? p : ~p) & ((i & 1) ? d : ~d);
        }
        return r & kRgbMask;
    };
    const std::uint32_t p = Pixel(c);
    const std::uint32_t overWhite = eval(p, kWhite);
    const std::uint32_t overBlack = eval(p, 0);
    if (overWhite == kWhite && overBlack == 0)
        return QColor(0, 0, 0, 0);
    const std::uint32_t r = (overWhite == overBlack || overWhite != kWhite) ? overWhite : overBlack;
    QColor out = QColor::fromRgb(r | 0xFF000000u);
    out.setAlpha(c.alpha());
    return out;
}

bool ComposesRasterOps(const QPainter& painter)
{
    const QPaintEngine* engine = painter.paintEngine();
    return engine != nullptr && engine->type() == QPaintEngine::Raster
           && engine->hasFeature(QPaintEngine::RasterOpModes);
}

Rop2Setup ConfigureRop2(QPainter& painter, std::uint32_t rop2)
{
    Rop2Setup setup;
    setup.rop2 = rop2;
    if (rop2 < emf::R2_BLACK || rop2 > emf::R2_WHITE) {
        setup.rop2 = emf::R2_COPYPEN;
        return setup;
    }
    if (rop2 == emf::R2_NOP) {
        setup.draw = false;
        return setup;
    }
    if (rop2 == emf::R2_COPYPEN || rop2 == emf::R2_BLACK || rop2 == emf::R2_WHITE)
        return setup;

    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop2) {
    case emf::R2_NOTMERGEPEN: mode = QPainter::RasterOp_NotSourceAndNotDestination; break;
    case emf::R2_MASKNOTPEN: mode = QPainter::RasterOp_NotSourceAndDestination; break;
    case emf::R2_NOTCOPYPEN: mode = QPainter::RasterOp_NotSource; break;
    case emf::R2_MASKPENNOT: mode = QPainter::RasterOp_SourceAndNotDestination; break;
    case emf::R2_NOT: mode = QPainter::RasterOp_NotDestination; break;
    case emf::R2_XORPEN: mode = QPainter::RasterOp_SourceXorDestination; break;
    case emf::R2_NOTMASKPEN: mode = QPainter::RasterOp_NotSourceOrNotDestination; break;
    case emf::R2_MASKPEN: mode = QPainter::RasterOp_SourceAndDestination; break;
    case emf::R2_NOTXORPEN: mode = QPainter::RasterOp_NotSourceXorDestination; break;
    case emf::R2_MERGENOTPEN: mode = QPainter::RasterOp_NotSourceOrDestination; break;
    case emf::R2_MERGEPENNOT: mode = QPainter::RasterOp_SourceOrNotDestination; break;
    case emf::R2_MERGEPEN: mode = QPainter::RasterOp_SourceOrDestination; break;
    default: break;
    }
    if (ComposesRasterOps(painter)) {
        painter.setCompositionMode(mode);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        return setup;
    }
    setup.exact = false;
    return setup;
}

} // namespace qrp
