#pragma once
// Low-level enhanced-metafile writer: appends typed records to a byte image, keeps the
// object handle table and the drawn extent, and completes the header (total length,
// record count, handle count, bounds) when the image is finished.
//
// Coordinates passed to the drawing records are logical units; the writer assumes
// they are also device pixels of the reference device (MM_TEXT, identity world
// transform) when it accumulates bounds. Callers that draw under another mapping
// pass the device extent themselves (the overloads taking a bounds rectangle).
//
// EmfWriter.cpp keeps the image, the handle table and the bounds; each group of records
// below is written by its own file: EmfWriterObjects.cpp, EmfWriterState.cpp,
// EmfWriterPaths.cpp (paths and clipping), EmfWriterShapes.cpp, EmfWriterText.cpp and
// EmfWriterBitmaps.cpp.
#include "emf/Metafile.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrp::emf {

struct TPointL {
    std::int32_t X = 0, Y = 0;
};

// A world transform: x' = M11*x + M21*y + Dx, y' = M12*x + M22*y + Dy.
struct TXForm {
    float M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
};

// COLORREF: 0x00BBGGRR.
constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return std::uint32_t(r) | (std::uint32_t(g) << 8) | (std::uint32_t(b) << 16);
}

// A device-independent bitmap as it is stored in a record: the BITMAPINFO (header and
// colour table, if any) and the pixel rows, each padded to 4 bytes.
struct TDib {
    std::vector<std::uint8_t> Info;
    std::vector<std::uint8_t> Bits;

    // BITMAPINFOHEADER for an uncompressed DIB; height > 0 means bottom-up rows.
    static std::vector<std::uint8_t> InfoHeader(std::int32_t width, std::int32_t height,
                                                std::uint16_t bitCount,
                                                std::uint32_t compression = 0,
                                                std::uint32_t colorsUsed = 0);
    // Bytes per row of a DIB of that width and depth.
    static std::size_t Stride(std::int32_t width, std::uint16_t bitCount);
};

// The reference device a picture is recorded for: its size in pixels and millimetres.
struct TReferenceDevice {
    TEmfSizeL Pixels;
    TEmfSizeL Millimeters;

    // A device at ppi pixels per inch. Its size (40 x 30 inches) is a whole number of
    // millimetres for every integral resolution, so pixels per millimetre are exact.
    static TReferenceDevice AtResolution(int ppi);
    // The screen (qrp::ScreenPixelsPerInch()).
    static TReferenceDevice Screen();
};

class TEmfWriter {
public:
    // frame: the picture's frame in 0.01 mm; description: optional text stored in the
    // header (application name and picture title, separated and ended by NUL).
    explicit TEmfWriter(const TEmfRectL& frame,
                        const TReferenceDevice& device = TReferenceDevice::Screen(),
                        std::u16string_view description = {});

    const TReferenceDevice& Device() const { return device_; }
    std::size_t Size() const { return bytes_.size(); }
    std::uint32_t RecordCount() const { return records_; }
    bool Finished() const { return finished_; }

    // ---- handle table -------------------------------------------------------------
    // The lowest free object index (index 0 is reserved for the picture itself).
    std::uint32_t AllocateHandle();
    // Returns an index to the pool (DeleteObject does it for the indices it deletes).
    void ReleaseHandle(std::uint32_t handle);
    // Highest index used so far + 1: the header's handle count.
    std::uint16_t HandleCount() const { return std::uint16_t(handleHigh_ + 1); }

    // ---- bounds -------------------------------------------------------------------
    // Extra device pixels added on every side of drawn extents (half the pen width).
    void SetBoundsInflation(int pixels) { inflate_ = pixels < 0 ? 0 : pixels; }
    // With the null pen selected, rectangles, ellipses and round rectangles are filled
    // one pixel short of their right and bottom edges and polygons up to them; their
    // extents follow.
    void SetNullPen(bool null) { nullPen_ = null; }
    // Limits the extents accumulated into the header (the clip); cleared by Unlimit.
    void LimitBounds(const TEmfRectL& inclusive);
    void UnlimitBounds() { limited_ = false; }
    // Adds an inclusive device rectangle to the header bounds.
    void AddBounds(const TEmfRectL& inclusive);
    // Header bounds so far; (0, 0, -1, -1) while nothing was drawn.
    TEmfRectL Bounds() const;

    // ---- raw ----------------------------------------------------------------------
    // Appends a record of the given type; payload is what follows type and size and
    // is zero-padded to a multiple of 4.
    void AppendRecord(std::uint32_t type, std::span<const std::uint8_t> payload);
    // Appends a complete record (type, size and body) unchanged.
    void AppendRawRecord(std::span<const std::uint8_t> record);

    // ---- objects ------------------------------------------------------------------
    std::uint32_t CreatePen(std::uint32_t style, std::int32_t width, std::uint32_t color);
    std::uint32_t ExtCreatePen(std::uint32_t style, std::uint32_t width, std::uint32_t color,
                               std::span<const std::uint32_t> styleEntries = {},
                               std::uint32_t brushStyle = 0, std::uint32_t hatch = 0);
    std::uint32_t CreateBrushIndirect(std::uint32_t style, std::uint32_t color,
                                      std::uint32_t hatch = 0);
    std::uint32_t CreateDibPatternBrush(const TDib& dib, std::uint32_t usage = 0);
    struct TLogFont {
        std::int32_t Height = 0, Width = 0, Escapement = 0, Orientation = 0, Weight = 400;
        std::uint8_t Italic = 0, Underline = 0, StrikeOut = 0, CharSet = 1;
        std::uint8_t OutPrecision = 0, ClipPrecision = 0, Quality = 0, PitchAndFamily = 0;
        std::u16string FaceName; // at most 31 units are stored
    };
    std::uint32_t ExtCreateFontIndirectW(const TLogFont& font);
    void SelectObject(std::uint32_t handle);
    void SelectStockObject(std::uint32_t stock) { SelectObject(stock | 0x80000000u); }
    void DeleteObject(std::uint32_t handle);

    // ---- state --------------------------------------------------------------------
    void SetMapMode(std::uint32_t mode);
    void SetWindowExtEx(std::int32_t cx, std::int32_t cy);
    void SetWindowOrgEx(std::int32_t x, std::int32_t y);
    void SetViewportExtEx(std::int32_t cx, std::int32_t cy);
    void SetViewportOrgEx(std::int32_t x, std::int32_t y);
    void SetWorldTransform(const TXForm& xf);
    void ModifyWorldTransform(const TXForm& xf, std::uint32_t mode);
    void SaveDC();
    void RestoreDC(std::int32_t relative);
    void SetTextColor(std::uint32_t color);
    void SetBkColor(std::uint32_t color);
    void SetBkMode(std::uint32_t mode);
    void SetTextAlign(std::uint32_t align);
    void SetPolyFillMode(std::uint32_t mode);
    void SetRop2(std::uint32_t rop2);
    void SetStretchBltMode(std::uint32_t mode);
    void SetBrushOrgEx(std::int32_t x, std::int32_t y);

    // ---- clipping -----------------------------------------------------------------
    // Logical coordinates, right and bottom exclusive.
    void IntersectClipRect(const TEmfRectL& rect);
    void ExcludeClipRect(const TEmfRectL& rect);
    // Region of device rectangles (right and bottom exclusive); an empty span with
    // RGN_COPY restores the default (unclipped) region.
    void ExtSelectClipRgn(std::span<const TEmfRectL> rects, std::uint32_t mode);

    // ---- lines and shapes ---------------------------------------------------------
    void MoveToEx(std::int32_t x, std::int32_t y);
    void LineTo(std::int32_t x, std::int32_t y);
    // The 16-bit record is chosen when every coordinate fits; otherwise the 32-bit one.
    void Polyline(std::span<const TPointL> points);
    void Polygon(std::span<const TPointL> points);
    void PolyBezier(std::span<const TPointL> points);
    void PolyBezierTo(std::span<const TPointL> points);
    void PolylineTo(std::span<const TPointL> points);
    void PolyPolygon(std::span<const TPointL> points, std::span<const std::uint32_t> counts);
    void PolyPolyline(std::span<const TPointL> points, std::span<const std::uint32_t> counts);
    // Boxes: right and bottom exclusive, as GDI draws them.
    void Rectangle(const TEmfRectL& box);
    void RoundRect(const TEmfRectL& box, std::int32_t cornerWidth, std::int32_t cornerHeight);
    void Ellipse(const TEmfRectL& box);
    void Arc(const TEmfRectL& box, TPointL start, TPointL end);
    void Chord(const TEmfRectL& box, TPointL start, TPointL end);
    void Pie(const TEmfRectL& box, TPointL start, TPointL end);
    void SetPixelV(std::int32_t x, std::int32_t y, std::uint32_t color);

    // ---- paths --------------------------------------------------------------------
    void BeginPath();
    void EndPath();
    void CloseFigure();
    void AbortPath();
    // bounds: device extent of the path; accumulated into the header.
    void FillPath(const TEmfRectL& bounds);
    void StrokePath(const TEmfRectL& bounds);
    void StrokeAndFillPath(const TEmfRectL& bounds);

    // ---- text ---------------------------------------------------------------------
    struct TTextOut {
        TPointL Reference;
        std::u16string_view Text;
        std::span<const std::int32_t> Dx; // empty: no dx array; else one per UTF-16 unit
        std::uint32_t Options = 0;        // ETO_*
        TEmfRectL Rect;                   // opaque / clip rectangle (with ETO_OPAQUE/CLIPPED)
        std::uint32_t GraphicsMode = 1;   // GM_COMPATIBLE or GM_ADVANCED
        TEmfRectL Bounds;                 // device extent of the drawn text (inclusive)
    };
    void ExtTextOutW(const TTextOut& text);

    // ---- bitmaps ------------------------------------------------------------------
    // Stretches the source rectangle of dib onto the destination (logical units).
    // bounds: device extent, inclusive.
    void StretchDIBits(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                       std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                       std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc, const TDib& dib,
                       std::uint32_t rop = 0x00CC0020, std::uint32_t usage = 0);
    // With dib == nullptr the destination is filled with the selected brush (a pattern
    // blit: PATCOPY, BLACKNESS, WHITENESS, ...).
    void BitBlt(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                std::int32_t cxDest, std::int32_t cyDest, std::uint32_t rop,
                const TDib* dib = nullptr, std::int32_t xSrc = 0, std::int32_t ySrc = 0);
    // A 32-bit premultiplied-alpha source blended over the destination (per-pixel alpha
    // and a constant alpha of 255).
    void AlphaBlend(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                    std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                    std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc, const TDib& dib);

    // Writes EOF, completes the header and hands out the image; the writer is then empty.
    std::vector<std::uint8_t> Finish();

private:
    void Begin(std::uint32_t type, std::size_t size);
    void Put16(std::uint16_t v);
    void Put32(std::uint32_t v);
    void PutI32(std::int32_t v) { Put32(std::uint32_t(v)); }
    void PutF(float v);
    void PutRect(const TEmfRectL& r);
    void PutXForm(const TXForm& xf);
    void PutBytes(std::span<const std::uint8_t> b);
    void Pad();
    void End();
    void Bare(std::uint32_t type);                           // a record of no parameters
    void WithRect(std::uint32_t type, const TEmfRectL& rect); // a record of one rectangle
    void Simple(std::uint32_t type, std::uint32_t value);
    void Pair(std::uint32_t type, std::int32_t a, std::int32_t b);
    void PutPoints(std::span<const TPointL> points, bool small);
    void PutDibFields(std::uint32_t offBmi, const TDib* dib);
    void PutDib(const TDib* dib);
    void Poly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points);
    void PolyPoly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points,
                  std::span<const std::uint32_t> counts);
    void Box(std::uint32_t type, const TEmfRectL& box);
    void ArcLike(std::uint32_t type, const TEmfRectL& box, TPointL start, TPointL end);
    TEmfRectL PointBounds(std::span<const TPointL> points) const;
    TEmfRectL Inflated(const TEmfRectL& r) const;
    TEmfRectL BoxExtent(const TEmfRectL& box) const;
    static TEmfRectL Union(const TEmfRectL& a, const TEmfRectL& b);
    void Touch(std::int32_t handle);

    std::vector<std::uint8_t> bytes_;
    std::size_t recordStart_ = 0;
    std::uint32_t records_ = 0;
    TReferenceDevice device_;
    std::vector<bool> used_;  // used_[i]: object index i is taken
    std::uint32_t handleHigh_ = 0;
    int inflate_ = 0;
    bool nullPen_ = false;
    bool limited_ = false;
    TEmfRectL limit_;
    bool haveBounds_ = false;
    TEmfRectL bounds_;
    bool finished_ = false;
};

} // namespace qrp::emf
