// The picture being written: its header, the object handle table, the bounds drawn so far,
// the byte primitives every record is written with, and the finished image. The records
// themselves are written in one file per family (EmfWriter.h lists them).
#include "emf/EmfWriter.h"

#include "base/ScreenMetrics.h"
#include "emf/EmfRecords.h"

#include <algorithm>
#include <cstring>

namespace qrp::emf {

namespace {

constexpr std::size_t kHeaderSize = 108; // EMR_HEADER with both extensions

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

TEmfRectL TEmfWriter::Union(const TEmfRectL& a, const TEmfRectL& b)
{
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
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
