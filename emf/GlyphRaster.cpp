#include "GlyphRaster.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr int kNonAntialiasedQuality = 3;
constexpr int kAntialiasedQuality = 4;
constexpr int kClearTypeQuality = 5;
constexpr int kClearTypeNaturalQuality = 6;
constexpr std::uint16_t kGaspDoGray = 2;

// The "gasp" flags for ppem; 0xffff when the face has no table.
std::uint16_t GaspFlags(const QRawFont& face, int ppem)
{
    const QByteArray table = face.fontTable("gasp");
    if (table.size() < 4)
        return 0xffff;
    auto u16 = [&](qsizetype at) {
        return std::uint16_t((std::uint8_t(table[at]) << 8) | std::uint8_t(table[at + 1]));
    };
    const int ranges = u16(2);
    for (int i = 0; i < ranges && 4 + 4 * i + 4 <= table.size(); ++i)
        if (ppem <= u16(4 + 4 * i))
            return u16(4 + 4 * i + 2);
    return 0xffff;
}

// Black text over white, level by level: the grey a pixel covered level/16 shows.
constexpr std::array<std::uint8_t, 17> kGreyOverWhite = {255, 247, 240, 233, 225, 217, 208, 199, 189,
                                                          178, 167, 154, 140, 124, 104, 77,  0};

// Coverage (0-255) to the opacity of the text colour: seventeen levels (the 256 of the
// rasteriser cut into 17 equal bands), spread as above.
const std::array<std::uint8_t, 256>& CoverageToOpacity()
{
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int a = 0; a < 256; ++a) {
            const int level = (a * 17) >> 8;
            t[std::size_t(a)] = std::uint8_t(255 - kGreyOverWhite[std::size_t(level)]);
        }
        return t;
    }();
    return table;
}

} // namespace

TGlyphSmoothing GlyphSmoothingFor(const QRawFont& face, int ppem, int quality)
{
    if (quality == kNonAntialiasedQuality)
        return TGlyphSmoothing::TwoLevel;
    if (quality == kAntialiasedQuality || quality == kClearTypeQuality || quality == kClearTypeNaturalQuality)
        return TGlyphSmoothing::Grey;
    return (GaspFlags(face, ppem) & kGaspDoGray) ? TGlyphSmoothing::Grey : TGlyphSmoothing::TwoLevel;
}

TPixelGlyphs::TPixelGlyphs() = default;

TPixelGlyphs::~TPixelGlyphs()
{
    if (scratchPainter_)
        scratchPainter_->end();
}

void TPixelGlyphs::FitScratch(int w, int h)
{
    if (scratch_.width() >= w && scratch_.height() >= h)
        return;
    if (scratchPainter_)
        scratchPainter_->end();
    scratchPainter_.reset();
    scratch_ = QImage(std::max({w, scratch_.width(), 256}), std::max({h, scratch_.height(), 64}),
                      QImage::Format_ARGB32_Premultiplied);
    scratchPainter_ = std::make_unique<QPainter>(&scratch_);
    scratchPainter_->setRenderHint(QPainter::TextAntialiasing, true);
}

// Coverage (the alpha of the scratch image) to the text colour at GDI's opacity.
const std::array<QRgb, 256>& TPixelGlyphs::InkFor(QRgb color)
{
    if (!inkValid_ || color != inkColor_) {
        const auto& opacity = CoverageToOpacity();
        for (int a = 0; a < 256; ++a) {
            const int o = opacity[std::size_t(a)];
            ink_[std::size_t(a)] = qRgba(qRed(color) * o / 255, qGreen(color) * o / 255, qBlue(color) * o / 255, o);
        }
        inkColor_ = color;
        inkValid_ = true;
    }
    return ink_;
}

void TPixelGlyphs::Draw(QPainter& p, const QGlyphRun& run, const QColor& color, TGlyphSmoothing smoothing,
                        const QRegion* clip)
{
    if (smoothing == TGlyphSmoothing::TwoLevel) {
        if (twoLevel_.Draw(p, run, color.rgba(), clip))
            return;
        const bool smooth = p.testRenderHint(QPainter::TextAntialiasing);
        if (smooth)
            p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setPen(color);
        p.drawGlyphRun(QPointF(0, 0), run);
        if (smooth)
            p.setRenderHint(QPainter::TextAntialiasing, true);
        return;
    }
    // Only the part that can show is made.
    const QTransform world = p.worldTransform();
    QRect area = world.mapRect(run.boundingRect()).toAlignedRect().adjusted(-2, -2, 2, 2);
    if (const QPaintDevice* device = p.device())
        area &= QRect(0, 0, device->width(), device->height());
    if (p.hasClipping())
        area &= world.mapRect(p.clipBoundingRect()).toAlignedRect().adjusted(-1, -1, 1, 1);
    if (area.isEmpty())
        return;
    const int w = area.width(), h = area.height();
    FitScratch(w, h);
    // The coverage goes into the alpha of the transparent scratch image (the raster
    // engine's quickest target), clipped to the part cleared for it.
    uchar* const bits = scratch_.bits();
    const qsizetype stride = scratch_.bytesPerLine();
    for (int y = 0; y < h; ++y)
        std::memset(bits + y * stride, 0, std::size_t(w) * sizeof(QRgb));
    QPainter& sp = *scratchPainter_;
    sp.resetTransform();
    sp.setClipRect(QRect(0, 0, w, h));
    sp.setTransform(world * QTransform::fromTranslate(-area.x(), -area.y()));
    sp.setPen(QColor(0, 0, 0));
    sp.drawGlyphRun(QPointF(0, 0), run);
    const auto& ink = InkFor(color.rgb());
    // Most of the area is bare: pairs of bare pixels are passed over at once.
    for (int y = 0; y < h; ++y) {
        auto* px = reinterpret_cast<QRgb*>(bits + y * stride);
        int x = 0;
        for (; x + 1 < w; x += 2) {
            std::uint64_t pair;
            std::memcpy(&pair, px + x, sizeof pair);
            if (pair == 0)
                continue;
            px[x] = ink[qAlpha(px[x])];
            px[x + 1] = ink[qAlpha(px[x + 1])];
        }
        if (x < w)
            px[x] = ink[qAlpha(px[x])];
    }
    p.save();
    p.resetTransform();
    p.drawImage(area.topLeft(), scratch_, QRect(0, 0, w, h));
    p.restore();
}
