#pragma once
// The drawing of one preview page: a white sheet, the page picture stretched over the
// whole image, a black frame and a two-pixel shadow at the right and the bottom. The
// preview control and the command-line renderer both draw through these functions.
#include <QImage>
#include <QSize>

class QPainter;

namespace qrp {

class TMetafile;
class TQRPrinter;

// Size of the page image at a zoom: the oriented paper of the source in its device
// pixels (or the fallback paper of 215.9 x 279.4 pixels at zoom 100 without a source),
// scaled by zoom / 100, plus 4 for the frame and the shadow.
QSize PageImageSize(const TQRPrinter* source, int zoom);

// The sheet in pixels at zoom 100 (the fallback paper without a source).
void SheetSizeAtZoom100(const TQRPrinter* source, long double& width, long double& height);

// Draws the page onto painter for an image of width x height pixels; draws nothing when
// there is no picture.
void DrawPageSheet(QPainter& painter, int width, int height, const TMetafile* picture);

// Page n of the source as the preview control draws it at a zoom, on a transparent
// image of the control's image size. Fails with EError for a page outside the report,
// a zoom outside 2..2000 or an image too large for memory.
QImage RenderPreviewPage(TQRPrinter& source, int page, int zoom);
// The same drawing on an image of the given size (the frame and the shadow included),
// for a caller that holds the image to a size of its own.
QImage RenderPreviewPage(TQRPrinter& source, int page, QSize size);

} // namespace qrp
