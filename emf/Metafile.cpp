#include "emf/Metafile.h"

#include "base/Errors.h"
#include "base/ScreenMetrics.h"
#include "base/Stream.h"

#include <cstring>
#include <new>

namespace qrp {

namespace {

constexpr std::size_t kMinHeaderRecord = 88; // EMR_HEADER without its optional extensions
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kSignature = 0x464D4520; // " EMF"

std::uint32_t U32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }
std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

TEmfRectL Rect(const std::uint8_t* p) { return {I32(p), I32(p + 4), I32(p + 8), I32(p + 12)}; }

// Checks the fixed part of the header record (its first 88 bytes); the image's
// total length is checked by the callers against what they hold.
bool ParseHeaderFields(const std::uint8_t* data, TEmfHeaderInfo& out)
{
    const std::uint32_t type = U32(data);
    const std::uint32_t recordSize = U32(data + 4);
    const std::uint32_t signature = U32(data + 40);
    const std::uint32_t bytes = U32(data + 48);
    if (type != kEmrHeader || signature != kSignature)
        return false;
    if (recordSize < kMinHeaderRecord || recordSize > bytes)
        return false;
    TEmfHeaderInfo h;
    h.Bounds = Rect(data + 8);
    h.Frame = Rect(data + 24);
    h.Bytes = bytes;
    h.Records = U32(data + 52);
    h.Handles = U16(data + 56);
    h.Device = {I32(data + 72), I32(data + 76)};
    h.Millimeters = {I32(data + 80), I32(data + 84)};
    h.HeaderSize = recordSize;
    out = h;
    return true;
}

[[noreturn]] void NotValid() { throw EInvalidGraphic("Metafile is not valid"); }

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c)
{
    const std::int64_t num = a * b;
    const bool negative = (num < 0) != (c < 0);
    const std::int64_t an = num < 0 ? -num : num;
    const std::int64_t ac = c < 0 ? -c : c;
    const std::int64_t q = (an + ac / 2) / ac;
    return static_cast<int>(negative ? -q : q);
}

} // namespace

bool TMetafile::ParseHeader(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out)
{
    if (data == nullptr || size < kMinHeaderRecord)
        return false;
    TEmfHeaderInfo h;
    if (!ParseHeaderFields(data, h) || h.Bytes > size)
        return false;
    out = h;
    return true;
}

bool TMetafile::ParseHeaderRecord(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out)
{
    return data != nullptr && size >= kMinHeaderRecord && ParseHeaderFields(data, out);
}

void TMetafile::LoadFromStream(TStream& stream)
{
    std::uint8_t head[kMinHeaderRecord];
    if (stream.Read(head, sizeof head) != static_cast<std::int64_t>(sizeof head))
        NotValid();
    TEmfHeaderInfo h;
    if (!ParseHeaderFields(head, h))
        NotValid();
    // The stated length must be there before anything of that length is allocated.
    const std::int64_t rest = static_cast<std::int64_t>(h.Bytes) - static_cast<std::int64_t>(sizeof head);
    const std::int64_t left = stream.Size() - stream.Position();
    if (rest > left)
        NotValid();
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(h.Bytes);
    } catch (const std::bad_alloc&) {
        NotValid();
    }
    std::memcpy(bytes.data(), head, sizeof head);
    if (stream.Read(bytes.data() + sizeof head, rest) != rest)
        NotValid();
    bytes_ = std::move(bytes);
    header_ = h;
}

void TMetafile::LoadFromBytes(std::vector<std::uint8_t> bytes)
{
    TEmfHeaderInfo h;
    if (!ParseHeader(bytes.data(), bytes.size(), h))
        NotValid();
    bytes.resize(h.Bytes);
    bytes_ = std::move(bytes);
    header_ = h;
}

void TMetafile::SaveToStream(TStream& stream) const
{
    stream.WriteBuffer(bytes_.data(), static_cast<std::int64_t>(bytes_.size()));
}

// The frame is in 0.01 mm; the size in pixels is (right - left) * ppi / 2540, rounded
// as a 64-bit multiply-then-divide with halves away from zero.
int TMetafile::Width() const
{
    if (bytes_.empty())
        return width_;
    const auto& f = header_.Frame;
    return MulDivRound(std::int64_t(f.Right) - f.Left, ScreenPixelsPerInch(), 2540);
}

int TMetafile::Height() const
{
    if (bytes_.empty())
        return height_;
    const auto& f = header_.Frame;
    return MulDivRound(std::int64_t(f.Bottom) - f.Top, ScreenPixelsPerInch(), 2540);
}

void TMetafile::Clear()
{
    bytes_.clear();
    bytes_.shrink_to_fit();
    header_ = TEmfHeaderInfo{};
    width_ = 0;
    height_ = 0;
}

} // namespace qrp
