#pragma once
// Decoding of device-independent bitmaps as the blit and brush records carry them: a
// BITMAPINFO (header, masks, colour table) and the pixel bits, each given as an offset and
// a size inside the record. Every offset, size and count is checked against the record;
// anything that does not fit gives a null image, never a crash or a huge allocation.
//
// Headers: BITMAPCOREHEADER (12 bytes), BITMAPINFOHEADER (40) and its longer forms
// (52, 56, V4 108, V5 124). Depths 1, 4, 8, 16, 24, 32; BI_RGB, BI_BITFIELDS, BI_RLE4,
// BI_RLE8, and embedded JPEG/PNG. Rows are bottom-up unless the height is negative.
#include <QImage>
#include <QRect>
#include <QRgb>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qrp {

// Colour-table usage values of the records (iUsageSrc). DIB_PAL_INDICES means the bitmap
// has no colour table; its 1-bit pixels take their colours from the device context.
constexpr std::uint32_t DIB_PAL_INDICES = 2;

// Largest bitmap decoded, in pixels. Larger headers give a null image.
constexpr std::uint64_t kMaxDibPixels = std::uint64_t(1) << 28;

// Decoded images hold at most this many pixels: a bitmap that would give more is sampled
// down to fit (every n-th pixel kept).
constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t(1) << 24;

// The part of a bitmap to decode and the size to sample it to: pixel (i, j) of the image
// is the bitmap's pixel at rect.x() + floor((i + 0.5) * rect.width() / size.width()),
// and likewise down. Coordinates are those of the image the whole bitmap decodes to (top
// row first, scanLines rows when those are given).
struct DibWindow {
    QRect rect;
    QSize size;
};
// Picks the window once the bitmap's decoded size and row order are known.
using DibWindowChooser = std::function<DibWindow(QSize imageSize, bool topDown)>;

// Where the bitmap lies in a record, as the records store it (offBmiSrc, cbBmiSrc,
// offBitsSrc, cbBitsSrc, iUsageSrc). Offsets count from the start of the record.
struct DibLocation {
    std::uint32_t offBmi = 0;
    std::uint32_t cbBmi = 0;
    std::uint32_t offBits = 0;
    std::uint32_t cbBits = 0;
    std::uint32_t usage = 0; // DIB_RGB_COLORS, DIB_PAL_COLORS or DIB_PAL_INDICES
    // When not 0, the bits hold only this many scan lines (SETDIBITSTODEVICE's cScans):
    // the image then has this height and shows the first scan lines in storage order
    // (the bottom ones of a bottom-up bitmap), top row first.
    std::uint32_t scanLines = 0;
};

struct DibImage {
    // What an ordinary blit draws: Format_RGB32, or Format_ARGB32 when the bitmap leaves
    // pixels unwritten (RLE deltas and early ends: alpha 0 there). Null when the bitmap
    // could not be decoded.
    QImage image;
    // Per-pixel alpha for ALPHABLEND with AC_SRC_ALPHA: Format_ARGB32_Premultiplied with
    // the stored bytes as they are (colour channels clamped to alpha). Set only for 32-bit
    // bitmaps in which some alpha byte is not 0; a 32-bit bitmap whose alpha bytes are all
    // 0 is opaque, as the programs that write them mean it.
    QImage alpha;
    // For 1-bit bitmaps: the pixel indices as Format_Mono (index 0 and 1), so that a caller
    // can colour them as the device context wants (see Recolored).
    QImage mono;
    int bitCount = 0;
    std::uint32_t compression = 0;
    // Nominal size from the header (the image may have fewer rows with scanLines).
    int width = 0;
    int height = 0;
    bool topDown = false;
    // Rows of the whole image (height, or the scan lines given).
    int rows = 0;
    // The part of the whole image this one holds, sampled to image's size; the whole
    // image unless a window was asked for or the bitmap was too large to keep whole.
    QRect window;

    bool IsNull() const { return image.isNull(); }
    bool IsMonochrome() const { return !mono.isNull(); }
    // A 1-bit bitmap's pixels in two given colours: index 0 -> color0, index 1 -> color1.
    // For a monochrome pattern brush (CREATEMONOBRUSH, or a DIB pattern brush of 1 bit
    // with DIB_PAL_INDICES) GDI draws 0 bits in the text colour and 1 bits in the
    // background colour: Recolored(textColor, bkColor). A 1-bit DIB blitted with its own
    // colour table needs nothing: image already holds the table's colours.
    // Returns image unchanged for bitmaps that are not 1-bit.
    QImage Recolored(QRgb color0, QRgb color1) const;
    // The 1-bit pixel indices as an RGB32 image (0 black, 1 white): the mask MaskBlt wants.
    QImage MaskImage() const;
};

// Decodes the bitmap of a record of recordSize bytes at record. Null image on any
// inconsistency: offsets or sizes past the record, a header size below 12, a width of 0 or
// below, a height of 0, more than kMaxDibPixels pixels, fewer bits than the header claims,
// an unknown depth or compression.
// chooser, when given, picks the part to decode (an empty rectangle decodes nothing); the
// result never holds more than kMaxDecodedPixels pixels.
DibImage DecodeDib(const std::uint8_t* record, std::size_t recordSize, const DibLocation& where,
                   const DibWindowChooser& chooser = {});

// Decodes a packed DIB: a BITMAPINFO immediately followed by its bits (the colour table
// and masks sized from the header), as pattern brushes and clipboard data store them.
DibImage DecodePackedDib(const std::uint8_t* data, std::size_t size,
                         std::uint32_t usage = 0);

// The default palette's 20 colours, used for DIB_PAL_COLORS tables (index i of the table
// selects entry i; indices past 19 give black).
QRgb DefaultPaletteColor(unsigned index);

} // namespace qrp
