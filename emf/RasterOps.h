#pragma once
// Raster operations of the blit records onto a QPainter.
//
// Coordinates: the destination rectangle is in the painter's current coordinates; the
// caller sets the painter's transform to its logical-to-device mapping first, and its clip.
// Source rectangles are in source pixels; a negative width or height on either side
// mirrors the picture as StretchBlt does.
//
// Exactness: on a painter whose device is a QImage or a QPixmap of the raster engine (its
// pixels can be read back) every ternary code is evaluated bit by bit on the destination
// pixels, within the clipped destination area only, as long as the transform has no
// rotation or shear. SRCCOPY never touches pixels: it is a plain drawImage on every device.
// On other devices (PDF, printers, widgets) and under rotation the operation is
// approximated from the source and pattern alone: for each pixel the result is worked out
// over white and over black destination; where it equals the destination in both cases
// (SRCAND with white, SRCPAINT with black, ...) the pixel is left transparent, where it is
// the same in both it is drawn as that colour, otherwise it is drawn as over white paper,
// or as over black when over white it would be white. So a SRCAND / SRCPAINT masked-image
// pair still draws the image through its mask, and the codes that ignore the destination
// are exact everywhere.
#include <QBrush>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QRgb>
#include <cstdint>

class QPainter;

namespace qrp {

// One bit of a ternary code: the result for pattern bit p, source bit s, destination
// bit d (the code's index bits are P<<2 | S<<1 | D, taken from bits 16..23 of the code).
std::uint32_t EvalRop3(std::uint32_t rop3, std::uint32_t pattern, std::uint32_t source,
                       std::uint32_t destination);
// Whether a ternary code reads the source, the pattern, the destination.
bool Rop3UsesSource(std::uint32_t rop3);
bool Rop3UsesPattern(std::uint32_t rop3);
bool Rop3UsesDestination(std::uint32_t rop3);

// The pattern (the brush selected into the device context) of a blit.
struct BlitPattern {
    // Solid colour or texture brush; Qt::NoBrush acts as a black pattern (as a null brush
    // in GDI blits does: pattern bits 0). Hatched brushes should be given as a texture of
    // hatch and background colours.
    QBrush brush = QBrush(Qt::black);
    // Brush origin in device pixels (SETBRUSHORGEX).
    QPoint origin;
};

struct BlitSource {
    const QImage* image = nullptr;   // null: pattern-only operation
    QRectF rect;                     // part of image, in its pixels; empty means all of it
};

// Interpolation of stretched bitmaps for a stretch-blt mode: HALFTONE smooths, the others
// (BLACKONWHITE, WHITEONBLACK, COLORONCOLOR) pick pixels, as the reference renderings of
// shrunk bitmaps show (merging the dropped pixels by AND or OR matched them worse).
bool SmoothForStretchMode(std::uint32_t stretchMode);

// BITBLT, STRETCHBLT, STRETCHDIBITS, SETDIBITSTODEVICE: applies the ternary code rop3 (the
// record's 32-bit code; only its index byte, bits 16..23, matters) over dest.
void BlitRop3(QPainter& painter, const QRectF& dest, const BlitSource& source,
              std::uint32_t rop3, const BlitPattern& pattern = {},
              std::uint32_t stretchMode = 3 /* COLORONCOLOR */);

// MASKBLT: rop4 holds the foreground code in bits 16..23 (where the mask is 1) and the
// background code in bits 24..31 (where it is 0). mask holds the mask bitmap (any format;
// a pixel counts as 1 unless it is black: DibImage::MaskImage gives this); maskOrigin is
// the mask pixel that lines up with the source rect's top-left. Mask pixels outside the
// mask count as 1. With a null mask it is BlitRop3 of the foreground code.
void MaskBlt(QPainter& painter, const QRectF& dest, const BlitSource& source,
             std::uint32_t rop4, const QImage& mask, QPoint maskOrigin,
             const BlitPattern& pattern = {});

// ALPHABLEND. constantAlpha is SourceConstantAlpha; with useSourceAlpha (AC_SRC_ALPHA) the
// source is taken as premultiplied ARGB (pass DibImage::alpha when it is set). Source over
// destination: dst = src * ca + dst * (1 - srcAlpha * ca).
void AlphaBlend(QPainter& painter, const QRectF& dest, const BlitSource& source,
                std::uint8_t constantAlpha, bool useSourceAlpha,
                std::uint32_t stretchMode = 3 /* COLORONCOLOR */);

// TRANSPARENTBLT: source pixels whose colour equals transparent (red, green, blue; alpha
// ignored) are not drawn; the rest is copied.
void TransparentBlt(QPainter& painter, const QRectF& dest, const BlitSource& source,
                    QRgb transparent, std::uint32_t stretchMode = 3 /* COLORONCOLOR */);

// Binary raster operations (SETROP2) for pens and brushes. ConfigureRop2 sets the painter's
// composition mode for rop2 (the caller saves and restores the painter around it). On a
// device with raster-op composition (the raster engine) the result is exact and
// antialiasing is turned off, as GDI does not blend; elsewhere the operation is
// approximated per colour as blits are (see above), through MapColor.
struct Rop2Setup {
    std::uint32_t rop2 = 13; // R2_COPYPEN
    bool draw = true;        // false: nothing to draw (R2_NOP)
    bool exact = true;       // false: the device has no raster ops; colours approximated
    // The colour to give the pen or brush for colour c under this setup: c itself where
    // the composition does the work, black or white for R2_BLACK / R2_WHITE, and the
    // approximation's colour (transparent when the pixel would be left as it is) on
    // devices without raster ops.
    QColor MapColor(const QColor& c) const;
};
Rop2Setup ConfigureRop2(QPainter& painter, std::uint32_t rop2);
// Whether the painter's engine carries out the raster-op composition modes. Only the raster
// engine does; the PDF engine (and so printing) claims them but draws plain source-over.
bool ComposesRasterOps(const QPainter& painter);

} // namespace qrp
