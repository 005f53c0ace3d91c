#include "tests/support/TestEmf.h"

#include "base/Stream.h"
#include "storage/QRCompress.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace qrp;

namespace {

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& in)
{
    TMemoryStream out;
    {
        TQRCompress codec(out, true);
        for (auto b : in)
            codec.EncodeByte(b);
    } // destruction writes the last, partly filled byte
    return out.TakeBytes();
}

std::vector<std::uint8_t> Expand(TStream& in, std::size_t count)
{
    std::vector<std::uint8_t> out(count);
    TQRCompress codec(in, false);
    for (auto& b : out)
        b = codec.DecodeByte();
    return out;
}

// Parent, LeftChild and RightChild describe one binary tree over all 513 nodes with
// root 0: every node but the root is the child of exactly its recorded parent, and
// walking up from any leaf reaches the root.
void ExpectOneTree(const TQRCompress& c)
{
    std::vector<int> seenAsChild(TQRCompress::Nodes, 0);
    for (int j = 0; j < TQRCompress::InnerNodes; ++j) {
        for (int child : {int(c.LeftChild(j)), int(c.RightChild(j))}) {
            ASSERT_GE(child, 1);
            ASSERT_LT(child, TQRCompress::Nodes);
            ++seenAsChild[child];
            ASSERT_EQ(c.Parent(child), j) << "child " << child;
        }
    }
    for (int i = 1; i < TQRCompress::Nodes; ++i)
        ASSERT_EQ(seenAsChild[i], 1) << "node " << i;
    for (int leaf = 256; leaf < TQRCompress::Nodes; ++leaf) {
        int a = leaf, steps = 0;
        while (a != 0 && steps <= 256) {
            a = c.Parent(a);
            ++steps;
        }
        ASSERT_EQ(a, 0) << "leaf " << leaf << " does not reach the root";
    }
}

std::vector<std::uint8_t> Random(std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

} // namespace

TEST(QRCompress, KnownVectors)
{
    EXPECT_EQ(Compress({'a', 'b', 'c'}), (std::vector<std::uint8_t>{0x46, 0x3D, 0x01}));
    EXPECT_EQ(Compress({0}), (std::vector<std::uint8_t>{0x80}));
    EXPECT_EQ(Compress({255}), (std::vector<std::uint8_t>{0x00, 0x00}));
    EXPECT_TRUE(Compress({}).empty());
}

TEST(QRCompress, InitialCodesSpellValuePlusOne)
{
    // A fresh tree gives v < 255 the 8-bit code of v + 1, most significant bit first,
    // written from the lowest bit of the byte upwards.
    for (int v = 0; v < 255; ++v) {
        const auto out = Compress({static_cast<std::uint8_t>(v)});
        ASSERT_EQ(out.size(), 1u);
        std::uint8_t expect = 0;
        for (int bit = 0; bit < 8; ++bit)
            if ((v + 1) & (0x80 >> bit))
                expect |= static_cast<std::uint8_t>(1 << bit);
        ASSERT_EQ(out[0], expect) << v;
    }
}

TEST(QRCompress, FinishReportsAndFlushesOnce)
{
    TMemoryStream out;
    TQRCompress codec(out, true);
    codec.EncodeByte(255);
    EXPECT_EQ(out.DataSize(), 1);
    codec.Finish();
    codec.Finish();
    EXPECT_EQ(out.DataSize(), 2);
}

TEST(QRCompress, RoundTripsEndExactlyAfterTheCode)
{
    std::vector<std::vector<std::uint8_t>> inputs = {
        {}, {0}, {255}, {255, 255, 255}, std::vector<std::uint8_t>(5000, 0),
        std::vector<std::uint8_t>(777, 255), Random(1, 1), Random(7, 2), Random(4096, 3),
        Random(100000, 4), qrp::test::MakeEmf(20000, {0, 0, 20999, 29699}, 9)};
    std::vector<std::uint8_t> ramp(70000);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint8_t>(i % 256);
    inputs.push_back(ramp);
    for (const auto& in : inputs) {
        const auto code = Compress(in);
        TMemoryStream s;
        s.WriteBuffer("pre", 3);
        s.WriteBuffer(code.data(), static_cast<std::int64_t>(code.size()));
        s.WriteBuffer("post", 4);
        s.SetPosition(3);
        ASSERT_EQ(Expand(s, in.size()), in) << "size " << in.size();
        EXPECT_EQ(s.Position(), 3 + static_cast<std::int64_t>(code.size())) << "size " << in.size();
    }
}

TEST(QRCompress, RepetitionShortensTheCode)
{
    const auto emf = qrp::test::MakeEmf(50000, {0, 0, 20999, 29699}, 5);
    EXPECT_LT(Compress(emf).size(), emf.size() * 95 / 100);
    EXPECT_LT(Compress(std::vector<std::uint8_t>(10000, 'x')).size(), 10000u / 4);
}

TEST(QRCompress, TreeStaysOneTreeAfterAnyBytes)
{
    TMemoryStream sink;
    TQRCompress enc(sink, true);
    ExpectOneTree(enc);
    for (auto b : Random(20000, 8)) {
        enc.EncodeByte(b);
    }
    ExpectOneTree(enc);
    for (int i = 0; i < 3000; ++i)
        enc.EncodeByte(static_cast<std::uint8_t>(i % 3 == 0 ? 255 : i % 7));
    ExpectOneTree(enc);
    // A decoder fed garbage still keeps a tree and stops when asked.
    TMemoryStream garbage;
    const auto g = Random(500, 9);
    garbage.WriteBuffer(g.data(), 500);
    garbage.SetPosition(0);
    TQRCompress dec(garbage, false);
    for (int i = 0; i < 4000; ++i)
        dec.DecodeByte(); // runs past the input: missing bytes stand in as 0
    ExpectOneTree(dec);
}

TEST(QRCompress, EncoderAndDecoderTreesMatch)
{
    const auto data = Random(3000, 12);
    TMemoryStream s;
    TQRCompress enc(s, true);
    for (auto b : data)
        enc.EncodeByte(b);
    enc.Finish();
    s.SetPosition(0);
    TQRCompress dec(s, false);
    for (auto b : data)
        ASSERT_EQ(dec.DecodeByte(), b);
    for (int j = 0; j < TQRCompress::InnerNodes; ++j) {
        ASSERT_EQ(enc.LeftChild(j), dec.LeftChild(j));
        ASSERT_EQ(enc.RightChild(j), dec.RightChild(j));
    }
}
