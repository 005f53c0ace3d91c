#pragma once
// Small hand-built EMF images for the tests of the page picture and of storage, and the
// file helpers of TestFiles.h.
#include "emf/Metafile.h"
#include "tests/support/TestFiles.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qrp::test {

inline void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}
inline std::uint32_t GetU32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline std::int32_t GetI32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>(GetU32(b, at));
}

constexpr std::uint32_t kMinEmfLength = 88 + 20;

// A valid EMF image of exactly `length` bytes (at least 108; a length above 108 must
// leave room for a comment record of 12 bytes or more): a header record, optionally a
// comment record filled with drawing-like bytes that depend on `seed`, and an EOF record.
inline std::vector<std::uint8_t> MakeEmf(std::uint32_t length = kMinEmfLength,
                                         TEmfRectL frame = {0, 0, 20999, 29699},
                                         std::uint32_t seed = 1)
{
    std::vector<std::uint8_t> b(length, 0);
    const std::uint32_t comment = length - kMinEmfLength;
    PutU32(b, 0, 1);          // EMR_HEADER
    PutU32(b, 4, 88);         // record size
    PutU32(b, 8, 0);
    PutU32(b, 12, 0);
    PutU32(b, 16, 793);       // bounds
    PutU32(b, 20, 1122);
    PutU32(b, 24, static_cast<std::uint32_t>(frame.Left));
    PutU32(b, 28, static_cast<std::uint32_t>(frame.Top));
    PutU32(b, 32, static_cast<std::uint32_t>(frame.Right));
    PutU32(b, 36, static_cast<std::uint32_t>(frame.Bottom));
    PutU32(b, 40, 0x464D4520); // " EMF"
    PutU32(b, 44, 0x10000);
    PutU32(b, 48, length);
    PutU32(b, 52, comment ? 3 : 2);
    PutU32(b, 56, 1);
    PutU32(b, 72, 1920);
    PutU32(b, 76, 1080);
    PutU32(b, 80, 508);
    PutU32(b, 84, 286);
    std::size_t at = 88;
    if (comment) {
        PutU32(b, at, 70); // EMR_GDICOMMENT
        PutU32(b, at + 4, comment);
        PutU32(b, at + 8, comment - 12);
        std::uint32_t x = seed * 2654435761u + 1;
        for (std::size_t i = at + 12; i < at + comment; ++i) {
            x = x * 1103515245u + 12345u;
            // Mostly small coordinates and repeated opcodes, as drawing records are.
            const std::uint32_t r = (x >> 16) & 0xFF;
            b[i] = r < 160 ? static_cast<std::uint8_t>(r & 0x0F) : static_cast<std::uint8_t>(r);
        }
        at += comment;
    }
    PutU32(b, at, 14); // EMR_EOF
    PutU32(b, at + 4, 20);
    PutU32(b, at + 8, 0);
    PutU32(b, at + 12, 16);
    PutU32(b, at + 16, 20);
    return b;
}

inline TMetafile MakePicture(std::uint32_t length = kMinEmfLength, std::uint32_t seed = 1,
                             TEmfRectL frame = {0, 0, 20999, 29699})
{
    TMetafile m;
    m.LoadFromBytes(MakeEmf(length, frame, seed));
    return m;
}

} // namespace qrp::test
