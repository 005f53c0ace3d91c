#include "emf/EmfWriter.h"

#include "base/ScreenMetrics.h"
#include "emf/EmfRecords.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qrp::emf {

namespace {

constexpr std::size_t kHeaderSize = 108; // EMR_HEADER with both extensions

bool Fits16(std::span<const TPointL> points)
{
    for (const TPointL& p : points)
        if (p.X < std::numeric_limits<std::int16_t>::min() || p.X > std::numeric_limits<std::int16_t>::max()
            || p.Y < std::numeric_limits<std::int16_t>::min() || p.Y > std::numeric_limits<std::int16_t>::max())
            return false;
    return true;
}

TEmfRectL Union(const TEmfRectL& a, const TEmfRectL& b)
{
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

} // namespace

// ---- DIB and device helpers ---------------------------------------------------------

std::size_t TDib::Stride(std::int32_t width, std::uint16_t bitCount)
{
    const std::size_t w = width < 0 ? 0 : std::size_t(width);
    return ((w * bitCount + 31) / 32) * 4;
}

std::vector<std::uint8_t> TDib::InfoHeader(std::int32_t width, std::int32_t height,
                                           std::uint16_t bitCount, std::uint32_t compression,
                                           std::uint32_t colorsUsed)
{
    std::vector<std::uint8_t> h(40, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = std::uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, std::uint32_t(width));
    put32(8, std::uint32_t(height));
    h[12] = 1; // planes
    h[14] = std::uint8_t(bitCount);
    h[15] = std::uint8_t(bitCount >> 8);
    put32(16, compression);
    const std::size_t rows = std::size_t(height < 0 ? -std::int64_t(height) : height);
    put32(20, compression == 0 ? std::uint32_t(Stride(width, bitCount) * rows) : 0);
    put32(32, colorsUsed);
    return h;
}

TReferenceDevice TReferenceDevice::AtResolution(int ppi)
{
    if (ppi <= 0)
        ppi = 96;
    // 40 x 30 inches = 1016 x 762 mm exactly.
    return TReferenceDevice{{40 * ppi, 30 * ppi}, {1016, 762}};
}

TReferenceDevice TReferenceDevice::Screen()
{
    return AtResolution(qrp::ScreenPixelsPerInch());
}

// ---- writer -------------------------------------------------------------------------

TEmfWriter::TEmfWriter(const TEmfRectL& frame, const TReferenceDevice& device,
                       std::u16string_view description)
    : device_(device)
{
    used_.assign(1, true); // index 0 stands for the picture
    bytes_.reserve(4096);
    Begin(EMR_HEADER, 0);
    PutRect({0, 0, -1, -1}); // bounds, completed by Finish
    PutRect(frame);
    Put32(ENHMETA_SIGNATURE);
    Put32(0x10000); // version
    Put32(0);       // nBytes
    Put32(0);       // nRecords
    Put16(0);       // nHandles
    Put16(0);       // reserved
    const std::uint32_t descChars = std::uint32_t(description.size());
    Put32(descChars);
    Put32(descChars ? std::uint32_t(kHeaderSize) : 0);
    Put32(0); // palette entries
    PutI32(device.Pixels.Cx);
    PutI32(device.Pixels.Cy);
    PutI32(device.Millimeters.Cx);
    PutI32(device.Millimeters.Cy);
    Put32(0); // pixel format size
    Put32(0); // pixel format offset
    Put32(0); // no OpenGL records
    PutI32(device.Millimeters.Cx * 1000);
    PutI32(device.Millimeters.Cy * 1000);
    for (char16_t c : description)
        Put16(std::uint16_t(c));
    End();
}

void TEmfWriter::Begin(std::uint32_t type, std::size_t /*sizeHint*/)
{
    recordStart_ = bytes_.size();
    Put32(type);
    Put32(0);
}

void TEmfWriter::End()
{
    Pad();
    const std::uint32_t size = std::uint32_t(bytes_.size() - recordStart_);
    std::memcpy(bytes_.data() + recordStart_ + 4, &size, 4);
    ++records_;
}

void TEmfWriter::Put16(std::uint16_t v)
{
    bytes_.push_back(std::uint8_t(v));
    bytes_.push_back(std::uint8_t(v >> 8));
}

void TEmfWriter::Put32(std::uint32_t v)
{
    const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                               std::uint8_t(v >> 24)};
    bytes_.insert(bytes_.end(), b, b + 4);
}

void TEmfWriter::PutF(float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    Put32(u);
}

void TEmfWriter::PutRect(const TEmfRectL& r)
{
    PutI32(r.Left);
    PutI32(r.Top);
    PutI32(r.Right);
    PutI32(r.Bottom);
}

void TEmfWriter::PutXForm(const TXForm& xf)
{
    PutF(xf.M11);
    PutF(xf.M12);
    PutF(xf.M21);
    PutF(xf.M22);
    PutF(xf.Dx);
    PutF(xf.Dy);
}

void TEmfWriter::PutBytes(std::span<const std::uint8_t> b)
{
    bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void TEmfWriter::Pad()
{
    while ((bytes_.size() - recordStart_) % 4)
        bytes_.push_back(0);
}

// ---- handles and bounds ---------------------------------------------------------------

std::uint32_t TEmfWriter::AllocateHandle()
{
    std::uint32_t i = 1;
    while (i < used_.size() && used_[i])
        ++i;
    if (i == used_.size())
        used_.push_back(true);
    else
        used_[i] = true;
    handleHigh_ = std::max(handleHigh_, i);
    return i;
}

void TEmfWriter::ReleaseHandle(std::uint32_t handle)
{
    if (handle > 0 && handle < used_.size())
        used_[handle] = false;
}

void TEmfWriter::Touch(std::int32_t handle)
{
    // An index chosen by the caller (hand-written records) still counts for the table.
    if (handle > 0 && std::uint32_t(handle) < 0x10000u) {
        if (std::uint32_t(handle) >= used_.size())
            used_.resize(std::size_t(handle) + 1, false);
        used_[std::size_t(handle)] = true;
        handleHigh_ = std::max(handleHigh_, std::uint32_t(handle));
    }
}

void TEmfWriter::LimitBounds(const TEmfRectL& inclusive)
{
    limited_ = true;
    limit_ = inclusive;
}

void TEmfWriter::AddBounds(const TEmfRectL& inclusive)
{
    TEmfRectL r = inclusive;
    if (r.Right < r.Left || r.Bottom < r.Top)
        return;
    if (limited_) {
        r = {std::max(r.Left, limit_.Left), std::max(r.Top, limit_.Top),
             std::min(r.Right, limit_.Right), std::min(r.Bottom, limit_.Bottom)};
        if (r.Right < r.Left || r.Bottom < r.Top)
            return;
    }
    bounds_ = haveBounds_ ? Union(bounds_, r) : r;
    haveBounds_ = true;
}

TEmfRectL TEmfWriter::Bounds() const
{
    return haveBounds_ ? bounds_ : TEmfRectL{0, 0, -1, -1};
}

TEmfRectL TEmfWriter::PointBounds(std::span<const TPointL> points) const
{
    if (points.empty())
        return {0, 0, -1, -1};
    TEmfRectL r{points[0].X, points[0].Y, points[0].X, points[0].Y};
    for (const TPointL& p : points) {
        r.Left = std::min(r.Left, p.X);
        r.Top = std::min(r.Top, p.Y);
        r.Right = std::max(r.Right, p.X);
        r.Bottom = std::max(r.Bottom, p.Y);
    }
    return Inflated(r);
}

TEmfRectL TEmfWriter::Inflated(const TEmfRectL& r) const
{
    if (r.Right < r.Left || r.Bottom < r.Top)
        return r;
    return {r.Left - inflate_, r.Top - inflate_, r.Right + inflate_, r.Bottom + inflate_};
}

TEmfRectL TEmfWriter::BoxExtent(const TEmfRectL& box) const
{
    const std::int32_t shrink = nullPen_ ? 2 : 1;
    const TEmfRectL n{std::min(box.Left, box.Right), std::min(box.Top, box.Bottom),
                      std::max(box.Left, box.Right) - shrink, std::max(box.Top, box.Bottom) - shrink};
    return nullPen_ ? n : Inflated(n);
}

// ---- raw ----------------------------------------------------------------------------

void TEmfWriter::AppendRecord(std::uint32_t type, std::span<const std::uint8_t> payload)
{
    Begin(type, 8 + payload.size());
    PutBytes(payload);
    End();
}

void TEmfWriter::AppendRawRecord(std::span<const std::uint8_t> record)
{
    recordStart_ = bytes_.size();
    PutBytes(record);
    ++records_;
}

// ---- objects ------------------------------------------------------------------------

std::uint32_t TEmfWriter::CreatePen(std::uint32_t style, std::int32_t width, std::uint32_t color)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_CREATEPEN, 28);
    Put32(h);
    Put32(style);
    PutI32(width);
    PutI32(0);
    Put32(color);
    End();
    return h;
}

std::uint32_t TEmfWriter::ExtCreatePen(std::uint32_t style, std::uint32_t width, std::uint32_t color,
                                       std::span<const std::uint32_t> styleEntries,
                                       std::uint32_t brushStyle, std::uint32_t hatch)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_EXTCREATEPEN, 52 + 4 * styleEntries.size());
    Put32(h);
    Put32(0); // offBmi
    Put32(0); // cbBmi
    Put32(0); // offBits
    Put32(0); // cbBits
    Put32(style);
    Put32(width);
    Put32(brushStyle);
    Put32(color);
    Put32(hatch);
    Put32(std::uint32_t(styleEntries.size()));
    for (std::uint32_t e : styleEntries)
        Put32(e);
    End();
    return h;
}

std::uint32_t TEmfWriter::CreateBrushIndirect(std::uint32_t style, std::uint32_t color,
                                              std::uint32_t hatch)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_CREATEBRUSHINDIRECT, 24);
    Put32(h);
    Put32(style);
    Put32(color);
    Put32(hatch);
    End();
    return h;
}

std::uint32_t TEmfWriter::CreateDibPatternBrush(const TDib& dib, std::uint32_t usage)
{
    const std::uint32_t h = AllocateHandle();
    const std::uint32_t offBmi = 32;
    const std::uint32_t cbBmi = std::uint32_t(dib.Info.size());
    Begin(EMR_CREATEDIBPATTERNBRUSHPT, 32 + dib.Info.size() + dib.Bits.size());
    Put32(h);
    Put32(usage);
    Put32(offBmi);
    Put32(cbBmi);
    Put32(offBmi + cbBmi);
    Put32(std::uint32_t(dib.Bits.size()));
    PutBytes(dib.Info);
    PutBytes(dib.Bits);
    End();
    return h;
}

std::uint32_t TEmfWriter::ExtCreateFontIndirectW(const TLogFont& f)
{
    const std::uint32_t h = AllocateHandle();
    // LOGFONTW followed by the rest of a LOGFONTPANOSE (full name, style, version,
    // style size, match, reserved, vendor id, culture, PANOSE), all zero.
    Begin(EMR_EXTCREATEFONTINDIRECTW, 332);
    Put32(h);
    PutI32(f.Height);
    PutI32(f.Width);
    PutI32(f.Escapement);
    PutI32(f.Orientation);
    PutI32(f.Weight);
    const std::uint8_t flags[8] = {f.Italic,       f.Underline,     f.StrikeOut, f.CharSet,
                                   f.OutPrecision, f.ClipPrecision, f.Quality,   f.PitchAndFamily};
    PutBytes(flags);
    for (std::size_t i = 0; i < 32; ++i)
        Put16(i < 31 && i < f.FaceName.size() ? std::uint16_t(f.FaceName[i]) : 0);
    bytes_.resize(bytes_.size() + (320 - 92), 0);
    End();
    return h;
}

void TEmfWriter::SelectObject(std::uint32_t handle)
{
    if (!(handle & STOCK_OBJECT_FLAG))
        Touch(std::int32_t(handle));
    Simple(EMR_SELECTOBJECT, handle);
}

void TEmfWriter::DeleteObject(std::uint32_t handle)
{
    Simple(EMR_DELETEOBJECT, handle);
    ReleaseHandle(handle);
}

// ---- state --------------------------------------------------------------------------

void TEmfWriter::Simple(std::uint32_t type, std::uint32_t value)
{
    Begin(type, 12);
    Put32(value);
    End();
}

void TEmfWriter::SetMapMode(std::uint32_t mode) { Simple(EMR_SETMAPMODE, mode); }
void TEmfWriter::SetTextColor(std::uint32_t color) { Simple(EMR_SETTEXTCOLOR, color); }
void TEmfWriter::SetBkColor(std::uint32_t color) { Simple(EMR_SETBKCOLOR, color); }
void TEmfWriter::SetBkMode(std::uint32_t mode) { Simple(EMR_SETBKMODE, mode); }
void TEmfWriter::SetTextAlign(std::uint32_t align) { Simple(EMR_SETTEXTALIGN, align); }
void TEmfWriter::SetPolyFillMode(std::uint32_t mode) { Simple(EMR_SETPOLYFILLMODE, mode); }
void TEmfWriter::SetRop2(std::uint32_t rop2) { Simple(EMR_SETROP2, rop2); }
void TEmfWriter::SetStretchBltMode(std::uint32_t mode) { Simple(EMR_SETSTRETCHBLTMODE, mode); }
void TEmfWriter::RestoreDC(std::int32_t relative) { Simple(EMR_RESTOREDC, std::uint32_t(relative)); }

void TEmfWriter::SaveDC()
{
    Begin(EMR_SAVEDC, 8);
    End();
}

namespace {
void PairRecord(TEmfWriter& w, std::uint32_t type, std::int32_t a, std::int32_t b)
{
    std::uint8_t p[8];
    std::memcpy(p, &a, 4);
    std::memcpy(p + 4, &b, 4);
    w.AppendRecord(type, p);
}
} // namespace

void TEmfWriter::SetWindowExtEx(std::int32_t cx, std::int32_t cy) { PairRecord(*this, EMR_SETWINDOWEXTEX, cx, cy); }
void TEmfWriter::SetWindowOrgEx(std::int32_t x, std::int32_t y) { PairRecord(*this, EMR_SETWINDOWORGEX, x, y); }
void TEmfWriter::SetViewportExtEx(std::int32_t cx, std::int32_t cy) { PairRecord(*this, EMR_SETVIEWPORTEXTEX, cx, cy); }
void TEmfWriter::SetViewportOrgEx(std::int32_t x, std::int32_t y) { PairRecord(*this, EMR_SETVIEWPORTORGEX, x, y); }
void TEmfWriter::SetBrushOrgEx(std::int32_t x, std::int32_t y) { PairRecord(*this, EMR_SETBRUSHORGEX, x, y); }
void TEmfWriter::MoveToEx(std::int32_t x, std::int32_t y) { PairRecord(*this, EMR_MOVETOEX, x, y); }

void TEmfWriter::LineTo(std::int32_t x, std::int32_t y)
{
    PairRecord(*this, EMR_LINETO, x, y);
    AddBounds(Inflated({x, y, x, y}));
}

void TEmfWriter::SetWorldTransform(const TXForm& xf)
{
    Begin(EMR_SETWORLDTRANSFORM, 32);
    PutXForm(xf);
    End();
}

void TEmfWriter::ModifyWorldTransform(const TXForm& xf, std::uint32_t mode)
{
    Begin(EMR_MODIFYWORLDTRANSFORM, 36);
    PutXForm(xf);
    Put32(mode);
    End();
}

// ---- clipping -------------------------------------------------------------------------

void TEmfWriter::IntersectClipRect(const TEmfRectL& rect)
{
    Begin(EMR_INTERSECTCLIPRECT, 24);
    PutRect(rect);
    End();
}

void TEmfWriter::ExcludeClipRect(const TEmfRectL& rect)
{
    Begin(EMR_EXCLUDECLIPRECT, 24);
    PutRect(rect);
    End();
}

void TEmfWriter::ExtSelectClipRgn(std::span<const TEmfRectL> rects, std::uint32_t mode)
{
    const std::uint32_t cb = rects.empty() ? 0 : std::uint32_t(32 + 16 * rects.size());
    Begin(EMR_EXTSELECTCLIPRGN, 16 + cb);
    Put32(cb);
    Put32(mode);
    if (!rects.empty()) {
        TEmfRectL bound = rects[0];
        for (const TEmfRectL& r : rects)
            bound = Union(bound, r);
        Put32(32);                               // dwSize
        Put32(1);                                // RDH_RECTANGLES
        Put32(std::uint32_t(rects.size()));      // nCount
        Put32(std::uint32_t(16 * rects.size())); // nRgnSize
        PutRect(bound);
        for (const TEmfRectL& r : rects)
            PutRect(r);
    }
    End();
}

// ---- lines and shapes -------------------------------------------------------------------

void TEmfWriter::Poly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points)
{
    const bool small = Fits16(points);
    TEmfRectL b = PointBounds(points);
    if (nullPen_ && type32 == EMR_POLYGON && b.Right > b.Left && b.Bottom > b.Top) {
        // An unstroked polygon fills up to, not including, its right and bottom edges.
        --b.Right;
        --b.Bottom;
    }
    Begin(small ? type16 : type32, 28 + points.size() * (small ? 4 : 8));
    PutRect(b);
    Put32(std::uint32_t(points.size()));
    for (const TPointL& p : points) {
        if (small) {
            Put16(std::uint16_t(std::int16_t(p.X)));
            Put16(std::uint16_t(std::int16_t(p.Y)));
        } else {
            PutI32(p.X);
            PutI32(p.Y);
        }
    }
    End();
    AddBounds(b);
}

void TEmfWriter::Polyline(std::span<const TPointL> p) { Poly(EMR_POLYLINE16, EMR_POLYLINE, p); }
void TEmfWriter::Polygon(std::span<const TPointL> p) { Poly(EMR_POLYGON16, EMR_POLYGON, p); }
void TEmfWriter::PolyBezier(std::span<const TPointL> p) { Poly(EMR_POLYBEZIER16, EMR_POLYBEZIER, p); }
void TEmfWriter::PolyBezierTo(std::span<const TPointL> p) { Poly(EMR_POLYBEZIERTO16, EMR_POLYBEZIERTO, p); }
void TEmfWriter::PolylineTo(std::span<const TPointL> p) { Poly(EMR_POLYLINETO16, EMR_POLYLINETO, p); }

void TEmfWriter::PolyPoly(std::uint32_t type16, std::uint32_t type32, std::span<const TPointL> points,
                          std::span<const std::uint32_t> counts)
{
    const bool small = Fits16(points);
    const TEmfRectL b = PointBounds(points);
    Begin(small ? type16 : type32, 32 + 4 * counts.size() + points.size() * (small ? 4 : 8));
    PutRect(b);
    Put32(std::uint32_t(counts.size()));
    Put32(std::uint32_t(points.size()));
    for (std::uint32_t c : counts)
        Put32(c);
    for (const TPointL& p : points) {
        if (small) {
            Put16(std::uint16_t(std::int16_t(p.X)));
            Put16(std::uint16_t(std::int16_t(p.Y)));
        } else {
            PutI32(p.X);
            PutI32(p.Y);
        }
    }
    End();
    AddBounds(b);
}

void TEmfWriter::PolyPolygon(std::span<const TPointL> points, std::span<const std::uint32_t> counts)
{
    PolyPoly(EMR_POLYPOLYGON16, EMR_POLYPOLYGON, points, counts);
}

void TEmfWriter::PolyPolyline(std::span<const TPointL> points, std::span<const std::uint32_t> counts)
{
    PolyPoly(EMR_POLYPOLYLINE16, EMR_POLYPOLYLINE, points, counts);
}

void TEmfWriter::Box(std::uint32_t type, const TEmfRectL& box)
{
    Begin(type, 24);
    PutRect(box);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::Rectangle(const TEmfRectL& box) { Box(EMR_RECTANGLE, box); }
void TEmfWriter::Ellipse(const TEmfRectL& box) { Box(EMR_ELLIPSE, box); }

void TEmfWriter::RoundRect(const TEmfRectL& box, std::int32_t cw, std::int32_t ch)
{
    Begin(EMR_ROUNDRECT, 32);
    PutRect(box);
    PutI32(cw);
    PutI32(ch);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::ArcLike(std::uint32_t type, const TEmfRectL& box, TPointL start, TPointL end)
{
    Begin(type, 40);
    PutRect(box);
    PutI32(start.X);
    PutI32(start.Y);
    PutI32(end.X);
    PutI32(end.Y);
    End();
    AddBounds(BoxExtent(box));
}

void TEmfWriter::Arc(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_ARC, b, s, e); }
void TEmfWriter::Chord(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_CHORD, b, s, e); }
void TEmfWriter::Pie(const TEmfRectL& b, TPointL s, TPointL e) { ArcLike(EMR_PIE, b, s, e); }

void TEmfWriter::SetPixelV(std::int32_t x, std::int32_t y, std::uint32_t color)
{
    Begin(EMR_SETPIXELV, 20);
    PutI32(x);
    PutI32(y);
    Put32(color);
    End();
    AddBounds({x, y, x, y});
}

// ---- paths ------------------------------------------------------------------------------

void TEmfWriter::BeginPath()
{
    Begin(EMR_BEGINPATH, 8);
    End();
}

void TEmfWriter::EndPath()
{
    Begin(EMR_ENDPATH, 8);
    End();
}

void TEmfWriter::CloseFigure()
{
    Begin(EMR_CLOSEFIGURE, 8);
    End();
}

void TEmfWriter::AbortPath()
{
    Begin(EMR_ABORTPATH, 8);
    End();
}

void TEmfWriter::FillPath(const TEmfRectL& bounds)
{
    Begin(EMR_FILLPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

void TEmfWriter::StrokePath(const TEmfRectL& bounds)
{
    Begin(EMR_STROKEPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

void TEmfWriter::StrokeAndFillPath(const TEmfRectL& bounds)
{
    Begin(EMR_STROKEANDFILLPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

// ---- text -------------------------------------------------------------------------------

void TEmfWriter::ExtTextOutW(const TTextOut& t)
{
    const std::uint32_t n = std::uint32_t(t.Text.size());
    const std::uint32_t offString = 76;
    const std::uint32_t stringBytes = (2 * n + 3) & ~3u;
    const bool withDx = !t.Dx.empty();
    const std::uint32_t offDx = withDx ? offString + stringBytes : 0;
    Begin(EMR_EXTTEXTOUTW, 76 + stringBytes + (withDx ? 4 * n : 0));
    PutRect(t.Bounds);
    Put32(t.GraphicsMode);
    // Scale from page units to 0.01 mm, used by readers in compatible mode only.
    const float scale = t.GraphicsMode == GM_COMPATIBLE
        ? float(100.0 * device_.Millimeters.Cx / std::max(1, device_.Pixels.Cx))
        : 0.0f;
    PutF(scale);
    PutF(t.GraphicsMode == GM_COMPATIBLE
             ? float(100.0 * device_.Millimeters.Cy / std::max(1, device_.Pixels.Cy))
             : 0.0f);
    PutI32(t.Reference.X);
    PutI32(t.Reference.Y);
    Put32(n);
    Put32(n ? offString : 0);
    Put32(t.Options);
    PutRect(t.Rect);
    Put32(offDx);
    for (char16_t c : t.Text)
        Put16(std::uint16_t(c));
    while ((bytes_.size() - recordStart_) % 4)
        bytes_.push_back(0);
    if (withDx)
        for (std::uint32_t i = 0; i < n; ++i)
            PutI32(i < t.Dx.size() ? t.Dx[i] : 0);
    End();
    AddBounds(t.Bounds);
}

// ---- bitmaps ------------------------------------------------------------------------------

void TEmfWriter::StretchDIBits(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                               std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                               std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc,
                               const TDib& dib, std::uint32_t rop, std::uint32_t usage)
{
    const std::uint32_t offBmi = 80;
    const std::uint32_t cbBmi = std::uint32_t(dib.Info.size());
    const std::uint32_t offBits = offBmi + cbBmi;
    Begin(EMR_STRETCHDIBITS, 80 + dib.Info.size() + dib.Bits.size());
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(xSrc);
    PutI32(ySrc);
    PutI32(cxSrc);
    PutI32(cySrc);
    Put32(offBmi);
    Put32(cbBmi);
    Put32(offBits);
    Put32(std::uint32_t(dib.Bits.size()));
    Put32(usage);
    Put32(rop);
    PutI32(cxDest);
    PutI32(cyDest);
    PutBytes(dib.Info);
    PutBytes(dib.Bits);
    End();
    AddBounds(bounds);
}

void TEmfWriter::BitBlt(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                        std::int32_t cxDest, std::int32_t cyDest, std::uint32_t rop,
                        const TDib* dib, std::int32_t xSrc, std::int32_t ySrc)
{
    const std::uint32_t cbBmi = dib ? std::uint32_t(dib->Info.size()) : 0;
    const std::uint32_t cbBits = dib ? std::uint32_t(dib->Bits.size()) : 0;
    Begin(EMR_BITBLT, 100 + cbBmi + cbBits);
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(cxDest);
    PutI32(cyDest);
    Put32(rop);
    PutI32(xSrc);
    PutI32(ySrc);
    PutXForm(TXForm{});
    Put32(0); // background colour of the source
    Put32(0); // DIB_RGB_COLORS
    Put32(dib ? 100 : 0);
    Put32(cbBmi);
    Put32(dib ? 100 + cbBmi : 0);
    Put32(cbBits);
    if (dib) {
        PutBytes(dib->Info);
        PutBytes(dib->Bits);
    }
    End();
    AddBounds(bounds);
}

void TEmfWriter::AlphaBlend(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                            std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                            std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc,
                            const TDib& dib)
{
    const std::uint32_t cbBmi = std::uint32_t(dib.Info.size());
    Begin(EMR_ALPHABLEND, 108 + dib.Info.size() + dib.Bits.size());
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(cxDest);
    PutI32(cyDest);
    // BLENDFUNCTION: AC_SRC_OVER, flags 0, constant alpha 255, AC_SRC_ALPHA.
    Put32(0x01FF0000u);
    PutI32(xSrc);
    PutI32(ySrc);
    PutXForm(TXForm{});
    Put32(0);
    Put32(0);
    Put32(108);
    Put32(cbBmi);
    Put32(108 + cbBmi);
    Put32(std::uint32_t(dib.Bits.size()));
    PutI32(cxSrc);
    PutI32(cySrc);
    PutBytes(dib.Info);
    PutBytes(dib.Bits);
    End();
    AddBounds(bounds);
}

// ---- finish -------------------------------------------------------------------------------

std::vector<std::uint8_t> TEmfWriter::Finish()
{
    if (finished_)
        return {};
    Begin(EMR_EOF, 20);
    Put32(0);  // palette entries
    Put32(16); // offset of the (empty) palette
    Put32(20); // size of this record, repeated at its end
    End();
    auto put = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes_.data() + at, &v, 4); };
    const TEmfRectL b = Bounds();
    put(8, std::uint32_t(b.Left));
    put(12, std::uint32_t(b.Top));
    put(16, std::uint32_t(b.Right));
    put(20, std::uint32_t(b.Bottom));
    put(48, std::uint32_t(bytes_.size()));
    put(52, records_);
    const std::uint16_t handles = HandleCount();
    std::memcpy(bytes_.data() + 56, &handles, 2);
    finished_ = true;
    std::vector<std::uint8_t> image;
    image.swap(bytes_);
    return image;
}

} // namespace qrp::emf
