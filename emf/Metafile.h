#pragma once
// The page picture: one enhanced-metafile byte image, stored and handed on unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qrp {

class TStream;

struct TEmfRectL {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct TEmfSizeL {
    std::int32_t Cx = 0, Cy = 0;
};

// The fields of the EMF header record (EMR_HEADER) that the program uses.
struct TEmfHeaderInfo {
    TEmfRectL Bounds;          // device units (pixels of the reference device)
    TEmfRectL Frame;           // 0.01 mm, inclusive
    std::uint32_t Bytes = 0;   // total length of the image
    std::uint32_t Records = 0;
    std::uint16_t Handles = 0;
    TEmfSizeL Device;          // reference device in pixels
    TEmfSizeL Millimeters;     // reference device in millimetres
    std::uint32_t HeaderSize = 0; // size of the header record itself
};

class TMetafile {
public:
    TMetafile() = default;

    bool Empty() const { return bytes_.empty(); }

    // Reads exactly one EMF image from the stream's position; anything that is not
    // such an image fails with EInvalidGraphic "Metafile is not valid" (the length in
    // the header is checked against what the stream holds before anything is allocated).
    void LoadFromStream(TStream& stream);
    // Takes a whole byte image; same checks (the image may not be shorter than its
    // stated length; bytes past it are ignored).
    void LoadFromBytes(std::vector<std::uint8_t> bytes);
    // Writes the bytes unchanged.
    void SaveToStream(TStream& stream) const;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    const TEmfHeaderInfo& Header() const { return header_; }

    // Size in screen pixels: from the header's frame (0.01 mm) at the screen's pixels
    // per inch. Before an image is loaded, the values set by SetWidth/SetHeight (used
    // by a recording canvas to size the picture it records).
    int Width() const;
    int Height() const;
    void SetWidth(int w) { width_ = w; }
    void SetHeight(int h) { height_ = h; }

    void Clear();

    // Parses and checks the header of a byte image; false when it is not a valid EMF.
    static bool ParseHeader(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out);
    // Checks only the fixed part of the header record (its first 88 bytes), not that
    // the whole image is present; for looking at the start of an image.
    static bool ParseHeaderRecord(const std::uint8_t* data, std::size_t size, TEmfHeaderInfo& out);

private:
    std::vector<std::uint8_t> bytes_;
    TEmfHeaderInfo header_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace qrp
