#include "tests/support/TestEmf.h"

#include "base/Errors.h"
#include "base/ScreenMetrics.h"
#include "base/Stream.h"

#include <gtest/gtest.h>

using namespace qrp;
using qrp::test::MakeEmf;
using qrp::test::PutU32;

namespace {

void ExpectInvalid(const std::vector<std::uint8_t>& bytes)
{
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    s.SetPosition(0);
    TMetafile m;
    try {
        m.LoadFromStream(s);
        ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Metafile is not valid");
    }
    EXPECT_THROW(m.LoadFromBytes(bytes), EInvalidGraphic);
    EXPECT_TRUE(m.Empty());
}

} // namespace

TEST(Metafile, LoadReadsExactlyTheStatedLengthAndSavesItUnchanged)
{
    const auto image = MakeEmf(400, {10, 20, 20999, 29699}, 4);
    TMemoryStream s;
    s.WriteBuffer("xyz", 3);
    s.WriteBuffer(image.data(), 400);
    s.WriteBuffer("tail", 4);
    s.SetPosition(3);
    TMetafile m;
    m.LoadFromStream(s);
    EXPECT_EQ(s.Position(), 403) << "the loader stops right after the image";
    EXPECT_EQ(m.Bytes(), image);
    EXPECT_EQ(m.Header().Bytes, 400u);
    EXPECT_EQ(m.Header().Frame.Left, 10);
    EXPECT_EQ(m.Header().Frame.Bottom, 29699);
    TMemoryStream out;
    m.SaveToStream(out);
    EXPECT_EQ(out.TakeBytes(), image);

    auto longer = image;
    longer.push_back(0xEE);
    TMetafile fromBytes;
    fromBytes.LoadFromBytes(longer);
    EXPECT_EQ(fromBytes.Bytes(), image) << "bytes past the stated length are ignored";
}

TEST(Metafile, BytesThatAreNotAnImageAreRefused)
{
    const auto good = MakeEmf(200);
    ExpectInvalid({});
    ExpectInvalid(std::vector<std::uint8_t>(good.begin(), good.begin() + 87));
    ExpectInvalid(std::vector<std::uint8_t>(good.begin(), good.begin() + 199)) ;
    auto b = good;
    PutU32(b, 0, 2); // record type
    ExpectInvalid(b);
    b = good;
    b[41] = 'e'; // signature
    ExpectInvalid(b);
    b = good;
    PutU32(b, 48, 80); // total length below the header record's size
    ExpectInvalid(b);
    b = good;
    PutU32(b, 4, 40); // header record shorter than its fixed part
    ExpectInvalid(b);
    b = good;
    PutU32(b, 4, 0x7FFFFFF0); // header record longer than the image
    ExpectInvalid(b);
    b = good;
    PutU32(b, 48, 0xFFFFFFF0); // a length far beyond what the stream holds
    ExpectInvalid(b);
}

TEST(Metafile, SizeInScreenPixelsRoundsHalvesAwayFromZero)
{
    ASSERT_EQ(ScreenPixelsPerInch(), 96);
    TMetafile m;
    m.SetWidth(11);
    m.SetHeight(12);
    EXPECT_EQ(m.Width(), 11) << "before loading, the sizes set by the recorder";
    m.LoadFromBytes(MakeEmf(108, {0, 0, 20999, 29699}));
    // 20999 * 96 / 2540 = 793.66; 29699 * 96 / 2540 = 1122.48
    EXPECT_EQ(m.Width(), 794);
    EXPECT_EQ(m.Height(), 1122);
    // 1270 * 96 / 2540 = 48 exactly; 3175 * 96 / 2540 = 120 exactly; 1905 * 96 / 2540 = 72;
    // 2540/192 units: 635 * 96 / 2540 = 24; 13 * 96 / 2540 = 0.49 -> 0; 40 * 96 / 2540 = 1.51 -> 2
    m.LoadFromBytes(MakeEmf(108, {100, 100, 100 + 13, 100 + 40}));
    EXPECT_EQ(m.Width(), 0);
    EXPECT_EQ(m.Height(), 2);
    // Exactly half a pixel: 2540 * 1.5 / 96 = 39.6875 is not whole; at 254 ppi one pixel
    // is 10 units, so 5 units is exactly half.
    SetScreenPixelsPerInch(254);
    m.LoadFromBytes(MakeEmf(108, {0, 0, 5, 15}));
    EXPECT_EQ(m.Width(), 1);
    EXPECT_EQ(m.Height(), 2);
    m.LoadFromBytes(MakeEmf(108, {0, 0, -5, -15}));
    EXPECT_EQ(m.Width(), -1);
    EXPECT_EQ(m.Height(), -2);
    SetScreenPixelsPerInch(96);
}
