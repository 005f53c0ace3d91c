#include "TwoLevelGlyphs.h"

#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Faces and glyph masks kept: a page uses a handful of faces; the masks of a face at
// the sizes drawn this way (up to 32 pixels per em) take a few hundred bytes each.
constexpr std::size_t kMaxFaces = 16;
constexpr std::size_t kMaxMaskBytes = std::size_t(8) << 20;
// A glyph whose box is larger than this is left to the painter.
constexpr int kMaxMaskSide = 256;

bool CopiesOnto(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

// The raster engine places a glyph bitmap at the position cut to 26.6 fixed point
// (towards zero), the column floored and the row rounded.
int FixedFloor(double v) { return int(std::floor(std::trunc(v * 64) / 64)); }
int FixedRound(double v) { return int(std::floor((std::trunc(v * 64) + 32) / 64)); }

} // namespace

// Masks are kept from play to play, one set per thread (players run on several).
TTwoLevelGlyphs::TCache& TTwoLevelGlyphs::Cache()
{
    thread_local TCache cache;
    return cache;
}

TTwoLevelGlyphs::TFace& TTwoLevelGlyphs::FaceFor(TCache& cache, const QRawFont& face)
{
    TFaceKey key{face.familyName(), face.styleName(), face.pixelSize(), face.weight(), int(face.style())};
    auto& faces = cache.Faces;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (faces[i].Key == key) {
            if (i != 0)
                std::rotate(faces.begin(), faces.begin() + std::ptrdiff_t(i), faces.begin() + std::ptrdiff_t(i) + 1);
            return faces.front();
        }
    }
    if (faces.size() >= kMaxFaces) {
        faces.clear();
        cache.Bytes = 0;
    }
    faces.insert(faces.begin(), TFace{std::move(key), {}});
    return faces.front();
}

TTwoLevelGlyphs::TScratch::~TScratch()
{
    if (Painter)
        Painter->end();
}

// The glyph as the engine draws it at a whole-pixel origin, cut to its ink.
const TTwoLevelGlyphs::TMask& TTwoLevelGlyphs::MaskFor(TCache& cache, TFace& face, const QRawFont& font,
                                                        quint32 glyph, TScratch& scratch)
{
    if (auto it = face.Glyphs.find(glyph); it != face.Glyphs.end())
        return it->second;
    TMask& mask = face.Glyphs[glyph];
    const double em = font.pixelSize();
    // First a box that holds the glyphs of ordinary faces (asking the face for the
    // glyph's own box costs as much as drawing it); a glyph that reaches the border of
    // it is drawn again in its own box, and left to the painter if it reaches that one's.
    QRectF box(-em, -1.5 * em, 3 * em, 2.5 * em);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1)
            box = font.boundingRect(glyph);
        // Hinting may move outlines a pixel or two past the outline's own box.
        const int pad = 3 + int(em / 8);
        const int left = int(std::floor(std::min(box.left(), 0.0))) - pad;
        const int top = int(std::floor(std::min(box.top(), -em))) - pad;
        const int right = int(std::ceil(std::max(box.right(), em))) + pad;
        const int bottom = int(std::ceil(std::max(box.bottom(), em / 2))) + pad;
        const int w = right - left, h = bottom - top;
        if (!std::isfinite(box.width()) || w > kMaxMaskSide || h > kMaxMaskSide || w <= 0 || h <= 0)
            return mask;
        if (!scratch.Painter) {
            // One byte a pixel, which the engine fills with plain stores (on 32-bit
            // images its stores bypass the cache, and reading the glyph back would
            // then cost more than drawing it).
            scratch.Image = QImage(kMaxMaskSide, kMaxMaskSide, QImage::Format_Alpha8);
            scratch.Painter = std::make_unique<QPainter>(&scratch.Image);
            scratch.Painter->setRenderHint(QPainter::TextAntialiasing, false);
            scratch.Painter->setPen(QColor(0, 0, 0));
        }
        uchar* const bits = scratch.Image.bits();
        const qsizetype stride = scratch.Image.bytesPerLine();
        for (int y = 0; y < h; ++y)
            std::memset(bits + y * stride, 0, std::size_t(w));
        QGlyphRun one;
        one.setRawFont(font);
        one.setGlyphIndexes({glyph});
        one.setPositions({QPointF(-left, -top)});
        scratch.Painter->setClipRect(QRect(0, 0, w, h));
        scratch.Painter->drawGlyphRun(QPointF(0, 0), one);
        // The ink's bounds: most rows are bare and are passed over whole.
        int x0 = w, y0 = h, x1 = -1, y1 = -1;
        for (int y = 0; y < h; ++y) {
            const uchar* row = bits + y * stride;
            uchar any = 0;
            for (int x = 0; x < w; ++x)
                any |= row[x];
            if (!any)
                continue;
            y0 = std::min(y0, y);
            y1 = y;
            int first = 0, last = w - 1;
            while (!row[first])
                ++first;
            while (!row[last])
                --last;
            x0 = std::min(x0, first);
            x1 = std::max(x1, last);
        }
        if (x1 >= 0 && (x0 == 0 || y0 == 0 || x1 == w - 1 || y1 == h - 1))
            continue;
        mask.Valid = true;
        if (x1 < 0)
            return mask;
        mask.Left = x0 + left;
        mask.Top = y0 + top;
        mask.Width = x1 - x0 + 1;
        mask.Height = y1 - y0 + 1;
        mask.Bits.resize(std::size_t(mask.Width) * std::size_t(mask.Height));
        for (int y = 0; y < mask.Height; ++y) {
            const uchar* row = bits + (y0 + y) * stride + x0;
            for (int x = 0; x < mask.Width; ++x)
                mask.Bits[std::size_t(y) * std::size_t(mask.Width) + std::size_t(x)] = row[x] != 0;
        }
        cache.Bytes += mask.Bits.size() + sizeof(TMask);
        return mask;
    }
    return mask;
}

bool TTwoLevelGlyphs::Draw(QPainter& p, const QGlyphRun& run, QRgb color, const QRegion* clip)
{
    if (qAlpha(color) != 255 || !p.paintEngine() || p.paintEngine()->type() != QPaintEngine::Raster)
        return false;
    QPaintDevice* device = p.device();
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto& image = *static_cast<QImage*>(device);
    if (!CopiesOnto(image) || p.compositionMode() != QPainter::CompositionMode_SourceOver || p.opacity() != 1.0)
        return false;
    if (p.hasClipping() && !clip)
        return false;
    const QTransform dt = p.deviceTransform();
    if (dt.type() > QTransform::TxTranslate)
        return false;

    TCache& cache = Cache();
    if (cache.Bytes > kMaxMaskBytes) {
        cache.Faces.clear();
        cache.Bytes = 0;
    }
    const QRawFont font = run.rawFont();
    TFace& face = FaceFor(cache, font);
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    const qsizetype n = std::min(glyphs.size(), positions.size());
    std::vector<const TMask*> masks(std::size_t(n), nullptr);
    TScratch scratch;
    for (qsizetype i = 0; i < n; ++i) {
        masks[std::size_t(i)] = &MaskFor(cache, face, font, glyphs[i], scratch);
        // A run of many large distinct glyphs is not kept past the bound.
        if (!masks[std::size_t(i)]->Valid || cache.Bytes > 2 * kMaxMaskBytes)
            return false;
    }

    // The painter writes into the image's own buffer; so do the copies.
    auto* const bits = const_cast<uchar*>(image.constBits());
    const qsizetype stride = image.bytesPerLine();
    const QRgb ink = image.format() == QImage::Format_RGB32 ? (color | 0xff000000u) : color;
    const QRect page = image.rect();
    const QRegion whole(page);
    const QRegion& area = clip ? *clip : whole;
    constexpr double kFar = 1 << 24;
    for (qsizetype i = 0; i < n; ++i) {
        const TMask& m = *masks[std::size_t(i)];
        if (m.Bits.empty())
            continue;
        const double x = positions[i].x() + dt.dx(), y = positions[i].y() + dt.dy();
        if (!(std::fabs(x) < kFar && std::fabs(y) < kFar))
            continue;
        const QRect glyphRect(FixedFloor(x) + m.Left, FixedRound(y) + m.Top, m.Width, m.Height);
        if (!glyphRect.intersects(page))
            continue;
        for (const QRect& c : area) {
            const QRect d = glyphRect & c & page;
            if (d.isEmpty())
                continue;
            for (int row = d.top(); row <= d.bottom(); ++row) {
                auto* out = reinterpret_cast<QRgb*>(bits + row * stride);
                const std::uint8_t* in = m.Bits.data() + std::size_t(row - glyphRect.top()) * std::size_t(m.Width)
                                         + std::size_t(d.left() - glyphRect.left());
                for (int col = d.left(); col <= d.right(); ++col, ++in)
                    if (*in)
                        out[col] = ink;
            }
        }
    }
    return true;
}
