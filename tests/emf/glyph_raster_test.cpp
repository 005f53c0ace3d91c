// Text on pixels as GDI puts it there: glyphs two-level or smoothed size by size as the
// face asks, grey levels spread as GDI spreads them, and glyphs on the whole pixels GDI
// rounds their running offsets to. The expected figures were read off the same records
// played by Wine's gdi32 (scripts/gdi-reference.sh).
#include "emf/EmfRecords.h"
#include "tests/emf/PictureBuilder.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

using namespace qrp::emf;
using namespace qrp::emf::test;

namespace {

// GDI's greys for black text over white, one per level of coverage.
const std::set<int> kGdiGreys = {0, 77, 104, 124, 140, 154, 167, 178, 189, 199, 208, 217, 225, 233, 240, 247, 255};

struct TRowInk {
    int Dark = 0;     // pixels darker than 160
    int Grey = 0;     // pixels neither black nor white
    int OffLevel = 0; // greys GDI never gives black text
};

TRowInk MeasureRows(const QImage& img, int top, int bottom)
{
    TRowInk ink;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < img.width(); ++x) {
            const int g = qGray(img.pixel(x, y));
            ink.Dark += g < 160;
            ink.Grey += g > 0 && g < 255;
            bool near = false;
            for (int d = -1; d <= 1; ++d)
                near = near || kGdiGreys.count(g + d);
            ink.OffLevel += !near;
        }
    return ink;
}

} // namespace

// Liberation Sans asks for smoothing up to 8 pixels per em, two-level glyphs from 9 to 17
// and smoothing again above: small text is light grey, mid sizes crisp black.
TEST(EmfGlyphRaster, EachSizeIsSmoothedAsTheFaceAsks)
{
    TPicture pic(400, 120, 8);
    pic.Rec(EMR_SETBKMODE, {TRANSPARENT});
    const int sizes[] = {6, 12, 20};
    int y = 20;
    for (int i = 0; i < 3; ++i) {
        Font(pic, i + 1, -sizes[i]).Rec(EMR_SELECTOBJECT, {i + 1});
        Text(pic, 5, y, "Hamburgefonts 0.35", std::vector<std::int32_t>(18, sizes[i] * 2 / 3 + 1));
        y += sizes[i] + 16;
    }
    const QImage img = pic.Play();
    const TRowInk small = MeasureRows(img, 5, 28);
    const TRowInk mid = MeasureRows(img, 30, 50);
    const TRowInk large = MeasureRows(img, 58, 84);
    std::printf("6 px: %d dark, %d grey; 12 px: %d dark, %d grey; 20 px: %d dark, %d grey\n", small.Dark, small.Grey,
                mid.Dark, mid.Grey, large.Dark, large.Grey);
    // GDI: 7 dark and 152 grey pixels at 6 px, 173 dark and none grey at 12 px, 401 dark
    // and 433 grey at 20 px (smoothing linearly gave 6 px text some 80 dark pixels).
    EXPECT_GT(small.Grey, 100);
    EXPECT_LE(small.Dark, 15);
    EXPECT_EQ(mid.Grey, 0);
    EXPECT_NEAR(mid.Dark, 173, 10);
    EXPECT_GT(large.Grey, 300);
    EXPECT_NEAR(large.Dark, 401, 30);
    EXPECT_EQ(small.OffLevel + mid.OffLevel + large.OffLevel, 0);
}

// With a mapping of a third and a window origin whose device point falls between pixels,
// each glyph goes where GDI rounds its running offset from the logical origin: the gaps
// between twelve letters I, 25 logical units apart, come out 9 8 8 9 ... as GDI draws them
// (rounding each position after the reference point gives 8 9 8 8 ...).
TEST(EmfGlyphRaster, GlyphsStandWhereGdiRoundsTheirOffsets)
{
    TPicture pic(300, 100, 4);
    pic.Rec(EMR_SETBKMODE, {TRANSPARENT}).Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC});
    pic.Rec(EMR_SETWINDOWEXTEX, {1000, 1000}).Rec(EMR_SETVIEWPORTEXTEX, {333, 333});
    pic.Rec(EMR_SETWINDOWORGEX, {-10, 0});
    Font(pic, 1, -40).Rec(EMR_SELECTOBJECT, {1});
    Text(pic, 0, 60, "IIIIIIIIIIII", std::vector<std::int32_t>(12, 25));
    const QImage img = pic.Play();
    const int row = 27;
    std::vector<int> stems;
    for (int x = 1; x < img.width(); ++x)
        if (qGray(img.pixel(x, row)) < 128 && qGray(img.pixel(x - 1, row)) >= 128)
            stems.push_back(x);
    EXPECT_EQ(stems, (std::vector<int>{4, 13, 21, 29, 38, 46, 54, 63, 71, 79, 88, 96}));
}

// A picture drawn into an area of slightly other proportions (here 400 x 121 for 400 x 120)
// keeps the text of its advanced graphics mode at whole pixel sizes, two-level at 12 pixels
// per em, as GDI draws it; it is not smoothed as outlines under a stretch.
TEST(EmfGlyphRaster, NearlyPlainScalesKeepWholePixelText)
{
    TPicture pic(400, 120, 4);
    pic.Rec(EMR_SETBKMODE, {TRANSPARENT});
    Font(pic, 1, -12).Rec(EMR_SELECTOBJECT, {1});
    Text(pic, 5, 40, "Hamburgefonts 0.35", std::vector<std::int32_t>(18, 9), 0, QRect(), GM_ADVANCED);
    const auto bytes = pic.Bytes();
    QImage img(400, 121, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        qrp::PlayEmf(p, bytes.data(), bytes.size(), QRectF(0, 0, img.width(), img.height()));
    }
    const TRowInk ink = MeasureRows(img, 30, 60);
    EXPECT_EQ(ink.Grey, 0);
    EXPECT_GT(ink.Dark, 150);
}
