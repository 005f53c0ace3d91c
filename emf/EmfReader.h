#pragma once
// Bounds-checked reading of an enhanced-metafile byte image: the header model and an
// iteration over the records in which every size and offset has been checked against
// the record and the image. Plain C++; nothing here allocates per record.
#include "emf/Metafile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qrp::emf {

// One record: its type, its size and a view of its bytes. Accessors never read past
// the record; a field that does not fit reads as 0 (callers check Has() for the fields
// they cannot do without).
class TRecordView {
public:
    TRecordView() = default;
    TRecordView(const std::uint8_t* data, std::uint32_t size) : data_(data), size_(size) {}

    std::uint32_t Type() const { return U32(0); }
    std::uint32_t Size() const { return size_; }
    const std::uint8_t* Data() const { return data_; }

    // True when [offset, offset + length) lies inside the record.
    bool Has(std::size_t offset, std::size_t length) const
    {
        return offset <= size_ && length <= size_ - offset;
    }
    // True when count items of itemSize bytes start at offset inside the record.
    bool HasArray(std::size_t offset, std::size_t count, std::size_t itemSize) const
    {
        if (offset > size_)
            return false;
        if (itemSize == 0)
            return true;
        return count <= (size_ - offset) / itemSize;
    }

    std::uint32_t U32(std::size_t offset) const { return Read<std::uint32_t>(offset); }
    std::int32_t I32(std::size_t offset) const { return Read<std::int32_t>(offset); }
    std::uint16_t U16(std::size_t offset) const { return Read<std::uint16_t>(offset); }
    std::int16_t I16(std::size_t offset) const { return Read<std::int16_t>(offset); }
    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? data_[offset] : 0; }
    float F32(std::size_t offset) const { return Read<float>(offset); }
    TEmfRectL RectL(std::size_t offset) const
    {
        return {I32(offset), I32(offset + 4), I32(offset + 8), I32(offset + 12)};
    }
    // Pointer to length bytes at offset, or nullptr when they do not fit.
    const std::uint8_t* Bytes(std::size_t offset, std::size_t length) const
    {
        return Has(offset, length) ? data_ + offset : nullptr;
    }

private:
    template <typename T> T Read(std::size_t offset) const
    {
        T v{};
        if (Has(offset, sizeof(T)))
            std::memcpy(&v, data_ + offset, sizeof(T));
        return v;
    }

    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
};

// The header record of an image. Fails (returns false) when the bytes are not an
// enhanced metafile: too short, wrong type or signature, header size out of range.
// The stated length may be shorter than size (the reader then stops there) but a
// stated length past the bytes is trimmed to what is there.
bool ReadEmfHeader(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out);

// Walks the records of an image. A record whose size is below 8, not a multiple of 4
// or past the end of the image ends the walk (the rest cannot be framed any more);
// EOF ends it too. The header record is the first one returned.
class TEmfReader {
public:
    TEmfReader(const std::uint8_t* data, std::size_t size);

    bool Valid() const { return valid_; }
    const TEmfHeaderInfo& Header() const { return header_; }
    // Bytes the walk covers: the header's length, trimmed to the data.
    std::size_t Length() const { return length_; }

    // Next record; false at the end (EOF seen, end of the image, or a record that
    // cannot be framed). Index() is the 0-based index of the record just returned.
    bool Next(TRecordView& record);
    std::size_t Index() const { return index_ - 1; }
    // True when the walk ended on a record it could not frame.
    bool Damaged() const { return damaged_; }
    void Rewind();

private:
    const std::uint8_t* data_;
    std::size_t length_ = 0;
    std::size_t pos_ = 0;
    std::size_t index_ = 0;
    TEmfHeaderInfo header_;
    bool valid_ = false;
    bool done_ = false;
    bool damaged_ = false;
};

} // namespace qrp::emf
