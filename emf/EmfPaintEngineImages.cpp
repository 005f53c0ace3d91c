// Pixmaps and images, recorded as DIB records (alpha-blended where they are translucent).
#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QImage>
#include <QPixmap>

#include <algorithm>

namespace qrp {

using namespace qrp::emf;

namespace {

// A DIB of premultiplied BGRA pixels, bottom-up rows, for alpha blending.
TDib Dib32Premultiplied(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    TDib dib;
    dib.Info = TDib::InfoHeader(img.width(), img.height(), 32);
    const std::size_t stride = std::size_t(img.width()) * 4;
    dib.Bits.resize(stride * std::size_t(img.height()));
    for (int y = 0; y < img.height(); ++y)
        std::copy_n(img.constScanLine(img.height() - 1 - y), stride,
                    dib.Bits.begin() + std::ptrdiff_t(stride * std::size_t(y)));
    return dib;
}

bool HasTranslucency(const QImage& img)
{
    if (!img.hasAlphaChannel())
        return false;
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return true;
    }
    return false;
}

} // namespace

TDib TEmfPaintEngine::Dib24(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_BGR888);
    TDib dib;
    dib.Info = TDib::InfoHeader(img.width(), img.height(), 24);
    const std::size_t stride = TDib::Stride(img.width(), 24);
    dib.Bits.assign(stride * std::size_t(img.height()), 0);
    const std::size_t rowBytes = std::size_t(img.width()) * 3;
    for (int y = 0; y < img.height(); ++y)
        std::copy_n(img.constScanLine(img.height() - 1 - y), rowBytes,
                    dib.Bits.begin() + std::ptrdiff_t(stride * std::size_t(y)));
    return dib;
}

// ---- images -------------------------------------------------------------------------------

void TEmfPaintEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr)
{
    if (finished_ || pm.isNull())
        return;
    DrawImageDevice(r, pm.toImage(), sr);
}

void TEmfPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                                Qt::ImageConversionFlags)
{
    if (finished_ || image.isNull())
        return;
    DrawImageDevice(r, image, sr);
}

void TEmfPaintEngine::DrawImageDevice(const QRectF& r, const QImage& image, const QRectF& sr)
{
    if (!BeginShape(false))
        return;
    const QRect src = sr.toAlignedRect() & image.rect();
    if (src.isEmpty() || r.isEmpty())
        return;
    // Large images are recorded as they are; pathological sizes are not recorded.
    if (qint64(src.width()) * src.height() > (qint64(1) << 26))
        return;
    const QImage part = src == image.rect() ? image : image.copy(src);

    const bool direct = AxisAligned() && transform_.m11() > 0 && transform_.m22() > 0;
    QRectF dest = r;
    if (direct)
        dest = transform_.mapRect(r);
    else
        RecordWorldTransform();
    const std::int32_t x = Round(dest.left()), y = Round(dest.top());
    const std::int32_t cx = Round(dest.right()) - x, cy = Round(dest.bottom()) - y;
    const TEmfRectL bounds = DeviceBounds(r);
    if (!stretchModeSet_) {
        // Scaled colour images keep their colours (the default mode ANDs pixels away).
        writer_->SetStretchBltMode(COLORONCOLOR);
        stretchModeSet_ = true;
    }
    if (HasTranslucency(part)) {
        writer_->AlphaBlend(bounds, x, y, cx, cy, 0, 0, part.width(), part.height(),
                            Dib32Premultiplied(part));
    } else {
        writer_->StretchDIBits(bounds, x, y, cx, cy, 0, 0, part.width(), part.height(),
                               Dib24(part), SRCCOPY, DIB_RGB_COLORS);
    }
    if (!direct)
        ResetWorldTransform();
}

} // namespace qrp
