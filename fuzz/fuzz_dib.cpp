// Decodes arbitrary bytes as a bitmap, both as a blit record lays one out and as a packed
// bitmap, and draws whatever decodes through the raster operations onto a small image.
#include "emf/DibImage.h"
#include "emf/RasterOps.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

std::uint32_t Read32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}

void Draw(const qrp::DibImage& dib, std::uint8_t selector, std::uint8_t geometry)
{
    if (dib.IsNull())
        return;
    static QImage target(24, 24, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    // Destination sizes between -12 and 19 pixels exercise stretching and mirroring.
    const QRectF dest(2, 3, int(geometry & 0x1F) - 12, int(geometry >> 3) - 12);
    const qrp::BlitSource source{&dib.image, QRectF(-1, 0, dib.image.width() + 1, dib.image.height())};
    const qrp::BlitPattern pattern{QBrush(QColor(0x12, 0x34, 0x56)), QPoint(selector & 7, 0)};
    switch (selector % 5) {
    case 0:
        qrp::BlitRop3(painter, dest, source, std::uint32_t(selector) << 16, pattern,
                        ((selector >> 3) & 3) + 1u);
        break;
    case 1:
        qrp::MaskBlt(painter, dest, source, 0xAACC0020u, dib.MaskImage(), QPoint(1, 1), pattern);
        break;
    case 2: {
        const qrp::BlitSource alpha{dib.alpha.isNull() ? &dib.image : &dib.alpha, {}};
        qrp::AlphaBlend(painter, dest, alpha, selector, true);
        break;
    }
    case 3:
        qrp::TransparentBlt(painter, dest, source, dib.image.pixel(0, 0));
        break;
    default: {
        const QImage recolored = dib.Recolored(0xFF000000u | selector, 0xFFFFFFFFu);
        painter.scale(1.5, 0.5);
        qrp::BlitRop3(painter, dest, qrp::BlitSource{&recolored, {}}, 0x00B8074Au, pattern);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // Embedded JPEG/PNG pictures stay small here, as the run's memory limit wants.
    QImageReader::setAllocationLimit(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint8_t mode = data[0];
    const std::uint8_t selector = data[1];
    const std::uint8_t geometry = data[2];
    const std::uint8_t* body = data + 4;
    const std::size_t bodySize = size - 4;
    if (mode & 1) {
        Draw(qrp::DecodePackedDib(body, bodySize, data[3] % 3), selector, geometry);
        return 0;
    }
    // The body is a record whose first 20 bytes locate its bitmap.
    if (bodySize < 20)
        return 0;
    qrp::DibLocation where;
    where.offBmi = Read32(body);
    where.cbBmi = Read32(body + 4);
    where.offBits = Read32(body + 8);
    where.cbBits = Read32(body + 12);
    where.usage = Read32(body + 16);
    where.scanLines = (mode & 2) ? data[3] : 0;
    Draw(qrp::DecodeDib(body, bodySize, where), selector, geometry);
    return 0;
}
