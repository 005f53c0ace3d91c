#include "emf/EmfReader.h"

#include "emf/EmfRecords.h"

namespace qrp::emf {

namespace {
// ENHMETAHEADER without the optional trailing fields (description, pixel format,
// OpenGL flag and micrometre size): up to szlMillimeters inclusive.
constexpr std::size_t kMinHeaderSize = 88;
} // namespace

bool ReadEmfHeader(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out)
{
    if (data == nullptr || size < kMinHeaderSize)
        return false;
    TRecordView r(data, static_cast<std::uint32_t>(size < 0xFFFFFFFFu ? size : 0xFFFFFFFFu));
    const std::uint32_t headerSize = r.U32(4);
    if (r.U32(0) != EMR_HEADER || r.U32(40) != ENHMETA_SIGNATURE)
        return false;
    if (headerSize < kMinHeaderSize || headerSize % 4 != 0 || headerSize > size)
        return false;
    out.Bounds = r.RectL(8);
    out.Frame = r.RectL(24);
    out.Bytes = r.U32(48);
    out.Records = r.U32(52);
    out.Handles = r.U16(56);
    out.Device = {r.I32(72), r.I32(76)};
    out.Millimeters = {r.I32(80), r.I32(84)};
    out.HeaderSize = headerSize;
    return out.Bytes >= headerSize;
}

TEmfReader::TEmfReader(const std::uint8_t* data, std::size_t size) : data_(data)
{
    valid_ = ReadEmfHeader(data, size, header_);
    if (valid_)
        length_ = header_.Bytes < size ? header_.Bytes : size;
}

void TEmfReader::Rewind()
{
    pos_ = 0;
    index_ = 0;
    done_ = false;
    damaged_ = false;
}

bool TEmfReader::Next(TRecordView& record)
{
    if (!valid_ || done_)
        return false;
    const std::size_t left = length_ - pos_;
    if (left < 8) {
        done_ = true;
        damaged_ = left != 0;
        return false;
    }
    std::uint32_t type, size;
    std::memcpy(&type, data_ + pos_, 4);
    std::memcpy(&size, data_ + pos_ + 4, 4);
    if (size < 8 || size % 4 != 0 || size > left) {
        done_ = true;
        damaged_ = true;
        return false;
    }
    record = TRecordView(data_ + pos_, size);
    pos_ += size;
    ++index_;
    if (type == EMR_EOF)
        done_ = true;
    return true;
}

} // namespace qrp::emf
