#include "preview/PageSheet.h"

#include "base/Errors.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "printer/PrinterSettings.h"
#include "printer/QRPrinter.h"

#include <QPainter>
#include <string>

namespace qrp {

namespace {
// The first row of the paper table, taken directly as pixels at zoom 100.
constexpr long double FallbackSheetWidth = 215.9L;
constexpr long double FallbackSheetHeight = 279.4L;
} // namespace

void SheetSizeAtZoom100(const TQRPrinter* source, long double& width, long double& height) {
    if (source) {
        width = source->ToDeviceWidth(static_cast<long double>(source->OrientedPaperWidth()));
        height = source->ToDeviceHeight(static_cast<long double>(source->OrientedPaperLength()));
    } else {
        width = FallbackSheetWidth;
        height = FallbackSheetHeight;
    }
}

QSize PageImageSize(const TQRPrinter* source, int zoom) {
    if (source) {
        const long double w = static_cast<long double>(source->OrientedPaperWidth()) / 100.0L * zoom;
        const long double h = static_cast<long double>(source->OrientedPaperLength()) / 100.0L * zoom;
        return {source->ToDeviceWidth(w) + 4, source->ToDeviceHeight(h) + 4};
    }
    return {RoundHalfEven(FallbackSheetWidth / 100.0L * zoom) + 4,
            RoundHalfEven(FallbackSheetHeight / 100.0L * zoom) + 4};
}

void DrawPageSheet(QPainter& painter, int W, int H, const TMetafile* picture) {
    if (!picture || W < 5 || H < 5)
        return;
    painter.save();
    // Pixel rectangles as the sheet's outline rules give them: a rectangle from (l, t)
    // to (r, b) covers columns l..r-1 and rows t..b-1.
    painter.fillRect(QRect(1, 1, W - 4, H - 4), Qt::white);
    painter.restore();

    PlayMetafile(painter, *picture, QRectF(0, 0, W, H));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Frame: (0,0) -> (0,H-3) -> (W-3,H-3) -> (W-3,0) -> (0,0), one pixel wide.
    painter.fillRect(QRect(0, 0, 1, H - 2), Qt::black);
    painter.fillRect(QRect(0, H - 3, W - 2, 1), Qt::black);
    painter.fillRect(QRect(W - 3, 0, 1, H - 2), Qt::black);
    painter.fillRect(QRect(0, 0, W - 2, 1), Qt::black);
    // Shadow: right (W-2,2)-(W,H) and bottom (2,H-2)-(W,H).
    painter.fillRect(QRect(W - 2, 2, 2, H - 2), Qt::black);
    painter.fillRect(QRect(2, H - 2, W - 2, 2), Qt::black);
    painter.restore();
}

QImage RenderPreviewPage(TQRPrinter& source, int page, int zoom) {
    if (zoom < 2 || zoom > 2000)
        throw EError("zoom " + std::to_string(zoom) + " is outside 2..2000");
    return RenderPreviewPage(source, page, PageImageSize(&source, zoom));
}

QImage RenderPreviewPage(TQRPrinter& source, int page, QSize size) {
    const int total = source.PageTotal();
    if (page < 1 || page > total)
        throw EError("page " + std::to_string(page) + " is outside the report (1.." + std::to_string(total) + ")");
    const std::unique_ptr<TMetafile> picture = source.PagePicture(page);
    if (!picture)
        throw EError("page " + std::to_string(page) + " cannot be read");
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EError("an image of " + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
                     " pixels does not fit in memory");
    // What the sheet does not cover stays transparent, as the control leaves it unpainted.
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawPageSheet(painter, size.width(), size.height(), picture.get());
    painter.end();
    return image;
}

} // namespace qrp
