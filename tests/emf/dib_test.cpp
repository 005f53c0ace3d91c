// Decoding of hand-built device-independent bitmaps: every depth and compression, both
// row orders, and malformed headers and offsets.
#include "emf/DibImage.h"
#include "emf/EmfRecords.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <vector>

using namespace qrp;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

// A BITMAPINFOHEADER (40 bytes) with the given fields.
Bytes InfoHeader(std::int32_t width, std::int32_t height, int bitCount,
                 std::uint32_t compression = emf::BI_RGB, std::uint32_t clrUsed = 0,
                 std::uint32_t size = 40)
{
    Bytes b;
    Put32(b, size);
    Put32(b, std::uint32_t(width));
    Put32(b, std::uint32_t(height));
    Put16(b, 1);
    Put16(b, std::uint32_t(bitCount));
    Put32(b, compression);
    Put32(b, 0); // size image
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, clrUsed);
    Put32(b, 0);
    b.resize(size, 0);
    return b;
}

void AddColors(Bytes& bmi, std::initializer_list<QRgb> colors)
{
    for (QRgb c : colors) {
        bmi.push_back(std::uint8_t(qBlue(c)));
        bmi.push_back(std::uint8_t(qGreen(c)));
        bmi.push_back(std::uint8_t(qRed(c)));
        bmi.push_back(0);
    }
}

// A record as the blit records lay one out: a fixed part, the BITMAPINFO, then the bits.
struct Record {
    Bytes bytes;
    DibLocation where;
};

Record MakeRecord(const Bytes& bmi, const Bytes& bits, std::uint32_t usage = emf::DIB_RGB_COLORS)
{
    Record r;
    r.bytes.assign(80, 0xEE); // the record's own fields
    r.where.offBmi = std::uint32_t(r.bytes.size());
    r.where.cbBmi = std::uint32_t(bmi.size());
    r.bytes.insert(r.bytes.end(), bmi.begin(), bmi.end());
    r.where.offBits = std::uint32_t(r.bytes.size());
    r.where.cbBits = std::uint32_t(bits.size());
    r.bytes.insert(r.bytes.end(), bits.begin(), bits.end());
    r.where.usage = usage;
    return r;
}

DibImage Decode(const Record& r) { return DecodeDib(r.bytes.data(), r.bytes.size(), r.where); }

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y); }

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
               kBlack = 0xFF000000, kGrey = 0xFF808080;

} // namespace

TEST(DibDecode, OneBitUsesColourTableAndKeepsIndices)
{
    // 10 x 2, bottom-up: the first stored row is the bottom one. Rows are padded to 4 bytes.
    Bytes bmi = InfoHeader(10, 2, 1);
    AddColors(bmi, {kRed, kBlue});
    const Bytes bits = {0b10100000, 0b01000000, 0, 0,   // bottom row: x0, x2, x9 set
                        0b01111111, 0b11000000, 0, 0};  // top row: x0 clear, x1..x9 set
    const DibImage dib = Decode(MakeRecord(bmi, bits));
    ASSERT_FALSE(dib.IsNull());
    ASSERT_EQ(dib.image.size(), QSize(10, 2));
    EXPECT_EQ(dib.image.format(), QImage::Format_RGB32);
    EXPECT_EQ(At(dib.image, 0, 1), kBlue);
    EXPECT_EQ(At(dib.image, 1, 1), kRed);
    EXPECT_EQ(At(dib.image, 2, 1), kBlue);
    EXPECT_EQ(At(dib.image, 9, 1), kBlue);
    EXPECT_EQ(At(dib.image, 8, 1), kRed);
    EXPECT_EQ(At(dib.image, 0, 0), kRed);
    EXPECT_EQ(At(dib.image, 1, 0), kBlue);

    ASSERT_TRUE(dib.IsMonochrome());
    // A mono pattern brush: 0 bits in the text colour, 1 bits in the background colour.
    const QImage brush = dib.Recolored(kGreen, kWhite);
    EXPECT_EQ(brush.pixel(0, 0), kGreen);
    EXPECT_EQ(brush.pixel(1, 0), kWhite);
    EXPECT_EQ(brush.pixel(2, 1), kWhite);
    const QImage mask = dib.MaskImage();
    EXPECT_EQ(mask.pixel(0, 0), kBlack);
    EXPECT_EQ(mask.pixel(1, 0), kWhite);
}

TEST(DibDecode, FourAndEightBitPalettesAndRowOrder)
{
    {
        // 3 x 1, 4 bits, a short table (clrUsed 3): index 3 has no entry and is black.
        Bytes bmi = InfoHeader(3, 1, 4, emf::BI_RGB, 3);
        AddColors(bmi, {kRed, kGreen, kBlue});
        const DibImage dib = Decode(MakeRecord(bmi, {0x21, 0x30, 0, 0}));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), kBlue);
        EXPECT_EQ(At(dib.image, 1, 0), kGreen);
        EXPECT_EQ(At(dib.image, 2, 0), kBlack);
        EXPECT_FALSE(dib.IsMonochrome());
    }
    {
        // 2 x 2, 8 bits, top-down (negative height): the first stored row is the top one.
        Bytes bmi = InfoHeader(2, -2, 8, emf::BI_RGB, 4);
        AddColors(bmi, {kRed, kGreen, kBlue, kWhite});
        const DibImage dib = Decode(MakeRecord(bmi, {0, 1, 0, 0, 2, 3, 0, 0}));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_TRUE(dib.topDown);
        EXPECT_EQ(At(dib.image, 0, 0), kRed);
        EXPECT_EQ(At(dib.image, 1, 0), kGreen);
        EXPECT_EQ(At(dib.image, 0, 1), kBlue);
        EXPECT_EQ(At(dib.image, 1, 1), kWhite);
    }
    {
        // The same bits bottom-up.
        Bytes bmi = InfoHeader(2, 2, 8, emf::BI_RGB, 4);
        AddColors(bmi, {kRed, kGreen, kBlue, kWhite});
        const DibImage dib = Decode(MakeRecord(bmi, {0, 1, 0, 0, 2, 3, 0, 0}));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 1), kRed);
        EXPECT_EQ(At(dib.image, 1, 0), kWhite);
    }
}

TEST(DibDecode, CoreHeaderAndPaletteIndexTables)
{
    // BITMAPCOREHEADER: 16-bit sizes, RGBTRIPLE colour table.
    Bytes bmi;
    Put32(bmi, 12);
    Put16(bmi, 2);
    Put16(bmi, 1);
    Put16(bmi, 1);
    Put16(bmi, 8);
    for (QRgb c : {kGreen, kBlue}) {
        bmi.push_back(std::uint8_t(qBlue(c)));
        bmi.push_back(std::uint8_t(qGreen(c)));
        bmi.push_back(std::uint8_t(qRed(c)));
    }
    // A 256-entry table is expected; the record holds two, the rest are black.
    const DibImage core = Decode(MakeRecord(bmi, {1, 0, 0, 0}));
    ASSERT_FALSE(core.IsNull());
    EXPECT_EQ(At(core.image, 0, 0), kBlue);
    EXPECT_EQ(At(core.image, 1, 0), kGreen);

    // DIB_PAL_COLORS: 16-bit indices into the default palette.
    Bytes pal = InfoHeader(3, 1, 8, emf::BI_RGB, 3);
    Put16(pal, 13); // red
    Put16(pal, 19); // white
    Put16(pal, 500); // past the palette: black
    const DibImage dib = Decode(MakeRecord(pal, {0, 1, 2, 0}, emf::DIB_PAL_COLORS));
    ASSERT_FALSE(dib.IsNull());
    EXPECT_EQ(At(dib.image, 0, 0), kRed);
    EXPECT_EQ(At(dib.image, 1, 0), kWhite);
    EXPECT_EQ(At(dib.image, 2, 0), kBlack);

    // DIB_PAL_INDICES: no table; 1-bit pixels are black and white, to be coloured later.
    const DibImage mono = Decode(MakeRecord(InfoHeader(2, 1, 1), {0x40, 0, 0, 0}, DIB_PAL_INDICES));
    ASSERT_FALSE(mono.IsNull());
    EXPECT_EQ(At(mono.image, 0, 0), kBlack);
    EXPECT_EQ(At(mono.image, 1, 0), kWhite);
    EXPECT_EQ(mono.Recolored(kRed, kBlue).pixel(0, 0), kRed);
}

TEST(DibDecode, SixteenBitFormats)
{
    // BI_RGB 16 bits is 5-5-5; full scale stays full scale.
    {
        Bytes bits;
        Put16(bits, 0x7C00);
        Put16(bits, 0x03E0);
        Put16(bits, 0x001F);
        Put16(bits, 0x4210); // 16,16,16
        const DibImage dib = Decode(MakeRecord(InfoHeader(4, 1, 16), bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), kRed);
        EXPECT_EQ(At(dib.image, 1, 0), kGreen);
        EXPECT_EQ(At(dib.image, 2, 0), kBlue);
        EXPECT_EQ(At(dib.image, 3, 0), qRgb(132, 132, 132));
    }
    // BI_BITFIELDS 5-6-5, masks after the 40-byte header.
    {
        Bytes bmi = InfoHeader(4, 1, 16, emf::BI_BITFIELDS);
        Put32(bmi, 0xF800);
        Put32(bmi, 0x07E0);
        Put32(bmi, 0x001F);
        Bytes bits;
        Put16(bits, 0xF800);
        Put16(bits, 0x07E0);
        Put16(bits, 0x001F);
        Put16(bits, 0x8410); // 16, 32, 16
        const DibImage dib = Decode(MakeRecord(bmi, bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), kRed);
        EXPECT_EQ(At(dib.image, 1, 0), kGreen);
        EXPECT_EQ(At(dib.image, 2, 0), kBlue);
        EXPECT_EQ(At(dib.image, 3, 0), qRgb(132, 130, 132));
    }
    // BI_BITFIELDS 5-5-5 given explicitly inside a V4 header: the 0x8000 bit is ignored.
    {
        Bytes bmi = InfoHeader(2, 1, 16, emf::BI_BITFIELDS, 0, 108);
        const std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4; ++k)
                bmi[40 + 4 * i + k] = std::uint8_t(masks[i] >> (8 * k));
        Bytes bits;
        Put16(bits, 0x8000 | 0x7C00);
        Put16(bits, 0x001F);
        const DibImage dib = Decode(MakeRecord(bmi, bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), kRed);
        EXPECT_EQ(At(dib.image, 1, 0), kBlue);
    }
}

TEST(DibDecode, TwentyFourAndThirtyTwoBits)
{
    {
        // 3 x 2 at 24 bits: 9 bytes a row padded to 12; bytes are blue, green, red.
        Bytes bits = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0xAA, 0xAA, 0xAA,
                      1, 2, 3, 4, 5, 6, 7, 8, 9, 0xAA, 0xAA, 0xAA};
        const DibImage dib = Decode(MakeRecord(InfoHeader(3, 2, 24), bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 1), kRed);
        EXPECT_EQ(At(dib.image, 1, 1), kGreen);
        EXPECT_EQ(At(dib.image, 2, 1), kBlue);
        EXPECT_EQ(At(dib.image, 0, 0), qRgb(3, 2, 1));
        EXPECT_EQ(At(dib.image, 2, 0), qRgb(9, 8, 7));
        EXPECT_TRUE(dib.alpha.isNull());
    }
    {
        // 32 bits with all alpha bytes 0: opaque, no alpha image.
        const Bytes bits = {10, 20, 30, 0, 40, 50, 60, 0};
        const DibImage dib = Decode(MakeRecord(InfoHeader(2, 1, 32), bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), qRgb(30, 20, 10));
        EXPECT_TRUE(dib.alpha.isNull());
    }
    {
        // 32 bits with alpha: the plain image ignores it, the alpha image keeps it
        // premultiplied, with colours above alpha clamped.
        const Bytes bits = {64, 64, 64, 128, 255, 0, 200, 100};
        const DibImage dib = Decode(MakeRecord(InfoHeader(2, 1, 32), bits));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), qRgb(64, 64, 64));
        ASSERT_FALSE(dib.alpha.isNull());
        EXPECT_EQ(dib.alpha.format(), QImage::Format_ARGB32_Premultiplied);
        const auto* line = reinterpret_cast<const QRgb*>(dib.alpha.constScanLine(0));
        EXPECT_EQ(line[0], qRgba(64, 64, 64, 128));
        EXPECT_EQ(line[1], qRgba(100, 0, 100, 100));
    }
    {
        // 32-bit bit fields with unusual masks: red in the low byte.
        Bytes bmi = InfoHeader(1, 1, 32, emf::BI_BITFIELDS);
        Put32(bmi, 0x000000FF);
        Put32(bmi, 0x0000FF00);
        Put32(bmi, 0x00FF0000);
        const DibImage dib = Decode(MakeRecord(bmi, {200, 100, 50, 0}));
        ASSERT_FALSE(dib.IsNull());
        EXPECT_EQ(At(dib.image, 0, 0), qRgb(200, 100, 50));
    }
}

TEST(DibDecode, Rle8WithEscapes)
{
    // 6 x 3 bottom-up. Unwritten pixels stay transparent.
    Bytes bmi = InfoHeader(6, 3, 8, emf::BI_RLE8, 3);
    AddColors(bmi, {kRed, kGreen, kBlue});
    const Bytes bits = {
        3, 1,             // bottom row: 3 green
        0, 3, 2, 0, 1, 0, // absolute run of 3 (blue, red, green), padded to even
        0, 0,             // end of line
        0, 2, 2, 1,       // delta: right 2, up 1 -> row 2 (top), x 2
        2, 2,             // 2 blue at x 2, 3 of the top row
        0, 1,             // end of bitmap
        5, 0,             // never read
    };
    const DibImage dib = Decode(MakeRecord(bmi, bits));
    ASSERT_FALSE(dib.IsNull());
    ASSERT_EQ(dib.image.format(), QImage::Format_ARGB32);
    // Bottom row (y 2).
    EXPECT_EQ(At(dib.image, 0, 2), kGreen);
    EXPECT_EQ(At(dib.image, 2, 2), kGreen);
    EXPECT_EQ(At(dib.image, 3, 2), kBlue);
    EXPECT_EQ(At(dib.image, 4, 2), kRed);
    EXPECT_EQ(At(dib.image, 5, 2), kGreen);
    // The middle row was skipped by the end of line plus the delta.
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(qAlpha(At(dib.image, x, 1)), 0) << x;
    // Top row (y 0).
    EXPECT_EQ(qAlpha(At(dib.image, 1, 0)), 0);
    EXPECT_EQ(At(dib.image, 2, 0), kBlue);
    EXPECT_EQ(At(dib.image, 3, 0), kBlue);
    EXPECT_EQ(qAlpha(At(dib.image, 4, 0)), 0);
}

TEST(DibDecode, Rle4WithEscapes)
{
    Bytes bmi = InfoHeader(7, 2, 4, emf::BI_RLE4, 3);
    AddColors(bmi, {kRed, kGreen, kBlue});
    const Bytes bits = {
        5, 0x12,          // green, blue, green, blue, green
        0, 0,             // end of line
        0, 3, 0x21, 0x00, // absolute run of 3 nibbles: blue, green, red (2 bytes, even)
        2, 0x22,          // 2 blue
        0, 1,
    };
    const DibImage dib = Decode(MakeRecord(bmi, bits));
    ASSERT_FALSE(dib.IsNull());
    EXPECT_EQ(At(dib.image, 0, 1), kGreen);
    EXPECT_EQ(At(dib.image, 1, 1), kBlue);
    EXPECT_EQ(At(dib.image, 4, 1), kGreen);
    EXPECT_EQ(qAlpha(At(dib.image, 5, 1)), 0);
    EXPECT_EQ(At(dib.image, 0, 0), kBlue);
    EXPECT_EQ(At(dib.image, 1, 0), kGreen);
    EXPECT_EQ(At(dib.image, 2, 0), kRed);
    EXPECT_EQ(At(dib.image, 3, 0), kBlue);
    EXPECT_EQ(At(dib.image, 4, 0), kBlue);
    EXPECT_EQ(qAlpha(At(dib.image, 5, 0)), 0);
}

TEST(DibDecode, RunLengthInputThatEndsEarlyOrOverruns)
{
    Bytes bmi = InfoHeader(4, 2, 8, emf::BI_RLE8, 2);
    AddColors(bmi, {kRed, kGreen});
    // Runs past the row end are cut at the edge; a delta past the top ends decoding; an
    // absolute run longer than the data is dropped.
    const Bytes bits = {200, 1, 0, 0, 0, 2, 0, 50, 0, 9, 1};
    const DibImage dib = Decode(MakeRecord(bmi, bits));
    ASSERT_FALSE(dib.IsNull());
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(At(dib.image, x, 1), kGreen);
    EXPECT_EQ(qAlpha(At(dib.image, 0, 0)), 0);

    const DibImage cut = Decode(MakeRecord(bmi, {0, 40, 1}));
    ASSERT_FALSE(cut.IsNull());
    EXPECT_EQ(qAlpha(At(cut.image, 0, 1)), 0);
}

TEST(DibDecode, ScanLinesAndPackedBitmaps)
{
    Bytes bmi = InfoHeader(1, 4, 8, emf::BI_RGB, 4);
    AddColors(bmi, {kRed, kGreen, kBlue, kWhite});
    // Only two scan lines stored (the bottom two of a bottom-up bitmap).
    Record r = MakeRecord(bmi, {0, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_TRUE(Decode(r).IsNull());
    r.where.scanLines = 2;
    const DibImage part = Decode(r);
    ASSERT_FALSE(part.IsNull());
    EXPECT_EQ(part.image.size(), QSize(1, 2));
    EXPECT_EQ(part.height, 4);
    EXPECT_EQ(At(part.image, 0, 1), kRed);
    EXPECT_EQ(At(part.image, 0, 0), kGreen);

    Bytes packed = bmi;
    for (std::uint8_t v : {0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0})
        packed.push_back(v);
    const DibImage full = DecodePackedDib(packed.data(), packed.size());
    ASSERT_FALSE(full.IsNull());
    EXPECT_EQ(At(full.image, 0, 0), kWhite);
    EXPECT_EQ(At(full.image, 0, 3), kRed);
    EXPECT_TRUE(DecodePackedDib(packed.data(), packed.size() - 4).IsNull());
}

TEST(DibDecode, OffsetsAndSizesOutsideTheRecordGiveNull)
{
    Bytes bmi = InfoHeader(2, 2, 24);
    const Bytes bits(16, 0x55);
    const Record good = MakeRecord(bmi, bits);
    ASSERT_FALSE(Decode(good).IsNull());

    auto broken = [&](auto change) {
        Record r = good;
        change(r.where);
        return Decode(r).IsNull();
    };
    EXPECT_TRUE(broken([](DibLocation& w) { w.cbBits += 1; }));
    EXPECT_TRUE(broken([](DibLocation& w) { w.offBits = 0xFFFFFFF0; }));
    EXPECT_TRUE(broken([](DibLocation& w) { w.offBmi = 0xFFFFFFFF; }));
    EXPECT_TRUE(broken([](DibLocation& w) { w.cbBmi = 0xFFFFFFFF; }));
    EXPECT_TRUE(broken([](DibLocation& w) { w.cbBmi = 0; }));
    EXPECT_TRUE(broken([](DibLocation& w) { w.cbBmi = 20; })); // header cut short
    EXPECT_TRUE(broken([](DibLocation& w) { w.cbBits = 10; })); // fewer bits than rows
    EXPECT_TRUE(DecodeDib(nullptr, 0, good.where).IsNull());
    // The record itself shorter than the bits it points at.
    EXPECT_TRUE(DecodeDib(good.bytes.data(), good.bytes.size() - 1, good.where).IsNull());
}

TEST(DibDecode, ImpossibleHeadersGiveNull)
{
    const Bytes bits(64, 0);
    auto decodes = [&](const Bytes& bmi) { return !Decode(MakeRecord(bmi, bits)).IsNull(); };
    EXPECT_TRUE(decodes(InfoHeader(4, 4, 8)));
    EXPECT_FALSE(decodes(InfoHeader(0, 4, 8)));
    EXPECT_FALSE(decodes(InfoHeader(-4, 4, 8)));
    EXPECT_FALSE(decodes(InfoHeader(4, 0, 8)));
    EXPECT_FALSE(decodes(InfoHeader(4, INT32_MIN, 8)));
    EXPECT_FALSE(decodes(InfoHeader(4, 4, 7)));
    EXPECT_FALSE(decodes(InfoHeader(4, 4, 8, 99)));
    EXPECT_FALSE(decodes(InfoHeader(4, 4, 24, emf::BI_RLE8)));
    EXPECT_FALSE(decodes(InfoHeader(4, 4, 24, emf::BI_BITFIELDS)));  // needs 16 or 32
    EXPECT_FALSE(decodes(InfoHeader(4, -4, 8, emf::BI_RLE8)));       // RLE is bottom-up
    EXPECT_FALSE(decodes(InfoHeader(4, 4, 16, emf::BI_BITFIELDS)));  // masks missing
    Bytes odd = InfoHeader(4, 4, 8);
    odd[0] = 20; // a header size no bitmap has
    EXPECT_FALSE(decodes(odd));
    odd[0] = 8;
    EXPECT_FALSE(decodes(odd));
}

TEST(DibDecode, HugeHeadersAreRefusedWithoutAllocating)
{
    const auto start = std::chrono::steady_clock::now();
    const Bytes bits(1024, 0);
    // 2^28 + 1 pixels and more, in a few shapes; 1-bit so the claimed bits stay modest.
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(16385, 16384, 1), bits)).IsNull());
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32), bits)).IsNull());
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(0x7FFFFFFF, -0x7FFFFFFF, 24), bits)).IsNull());
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(1 << 20, 1 << 9, 8, emf::BI_RLE8), bits)).IsNull());
    // Within the pixel limit, but claiming far more bits than the record has.
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(16384, 16384, 32), bits)).IsNull());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DibDecode, EmbeddedPngPicture)
{
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(kGreen);
    picture.setPixel(2, 1, kRed);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    const Bytes bits(png.begin(), png.end());
    const DibImage dib = Decode(MakeRecord(InfoHeader(3, 2, 0, emf::BI_PNG), bits));
    ASSERT_FALSE(dib.IsNull());
    EXPECT_EQ(dib.image.size(), QSize(3, 2));
    EXPECT_EQ(At(dib.image, 0, 0), kGreen);
    EXPECT_EQ(At(dib.image, 2, 1), kRed);
    // A damaged picture gives null.
    const Bytes cut(bits.begin(), bits.begin() + long(bits.size() / 2));
    EXPECT_TRUE(Decode(MakeRecord(InfoHeader(3, 2, 0, emf::BI_PNG), cut)).IsNull());
}

// A window of a bitmap, sampled smaller, holds exactly the pixels of the whole decode that
// its samples name: colours, per-pixel alpha and 1-bit indices, in both row orders and
// for run-length bitmaps.
TEST(DibDecode, WindowHoldsTheSampledPixelsOfTheWhole)
{
    constexpr int kW = 37, kH = 23;
    const QRect part(5, 3, 20, 15);
    const QSize size(7, 6);
    std::uint32_t seed = 5;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return std::uint8_t(seed >> 24);
    };
    struct TCase {
        int Bits;
        std::uint32_t Compression;
        bool TopDown;
    };
    for (const TCase c : {TCase{1, emf::BI_RGB, false}, TCase{4, emf::BI_RGB, true}, TCase{8, emf::BI_RGB, false},
                          TCase{16, emf::BI_RGB, true}, TCase{24, emf::BI_RGB, false}, TCase{32, emf::BI_RGB, true},
                          TCase{8, emf::BI_RLE8, false}}) {
        Bytes bmi = InfoHeader(kW, c.TopDown ? -kH : kH, c.Bits, c.Compression);
        if (c.Bits <= 8)
            for (int i = 0; i < (1 << c.Bits); ++i)
                AddColors(bmi, {qRgb(next(), next(), next())});
        Bytes bits;
        if (c.Compression == emf::BI_RLE8) {
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; x += 5) {
                    bits.push_back(std::uint8_t(std::min(5, kW - x)));
                    bits.push_back(next());
                }
                bits.push_back(0);
                bits.push_back(0);
            }
        } else {
            const int stride = (kW * c.Bits + 31) / 32 * 4;
            for (int i = 0; i < stride * kH; ++i)
                bits.push_back(next());
        }
        const Record r = MakeRecord(bmi, bits);
        const DibImage whole = DecodeDib(r.bytes.data(), r.bytes.size(), r.where);
        const DibImage window = DecodeDib(r.bytes.data(), r.bytes.size(), r.where,
                                          [&](QSize, bool) { return DibWindow{part, size}; });
        ASSERT_FALSE(whole.IsNull()) << c.Bits;
        ASSERT_EQ(window.image.size(), size) << c.Bits;
        EXPECT_EQ(window.window, part);
        EXPECT_EQ(window.rows, kH);
        EXPECT_EQ(window.alpha.isNull(), whole.alpha.isNull()) << c.Bits;
        EXPECT_EQ(window.mono.isNull(), whole.mono.isNull()) << c.Bits;
        for (int j = 0; j < size.height(); ++j) {
            for (int i = 0; i < size.width(); ++i) {
                const int x = part.x() + (2 * i + 1) * part.width() / (2 * size.width());
                const int y = part.y() + (2 * j + 1) * part.height() / (2 * size.height());
                EXPECT_EQ(window.image.pixel(i, j), whole.image.pixel(x, y)) << c.Bits << " " << i << "," << j;
                if (!whole.alpha.isNull()) {
                    EXPECT_EQ(window.alpha.pixel(i, j), whole.alpha.pixel(x, y)) << c.Bits;
                }
                if (!whole.mono.isNull()) {
                    EXPECT_EQ(window.mono.pixelIndex(i, j), whole.mono.pixelIndex(x, y)) << c.Bits;
                }
            }
        }
    }
}

// No decode holds more than kMaxDecodedPixels: a larger bitmap comes sampled down, in the
// proportions of the whole.
TEST(DibDecode, LargeBitmapsAreSampledDownToTheCap)
{
    constexpr int kW = 8192, kH = 4096; // 32 megapixels of 1 bit
    Bytes bmi = InfoHeader(kW, kH, 1);
    AddColors(bmi, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const Bytes bits(std::size_t(kW / 8) * kH, 0xF0);
    const Record r = MakeRecord(bmi, bits);
    const DibImage dib = DecodeDib(r.bytes.data(), r.bytes.size(), r.where);
    ASSERT_FALSE(dib.IsNull());
    EXPECT_LE(std::uint64_t(dib.image.width()) * std::uint64_t(dib.image.height()), kMaxDecodedPixels);
    EXPECT_NEAR(double(dib.image.width()) / dib.image.height(), 2.0, 0.01);
    EXPECT_EQ(dib.window, QRect(0, 0, kW, kH));
    EXPECT_EQ(dib.width, kW);
}
