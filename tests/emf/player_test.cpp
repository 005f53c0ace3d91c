// The player on records written by hand: pixels checked where GDI puts them.
#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"
#include "emf/EmfRecords.h"
#include "tests/emf/PictureBuilder.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using namespace qrp::emf;

using namespace qrp::emf::test;

// Pictures play in the advanced graphics mode: a rectangle's outline runs through both
// corners, right and bottom included; a brush alone stops short of them. Round rectangles
// keep the outline inside, ellipses, region fills and clip rectangles exclude the edges.
TEST(EmfPlayerShapes, RectangleEdgesAsGdiDrawsThemWhilePlaying)
{
    auto box = [](auto&& records) {
        TPicture pic(200, 200, 4);
        records(pic);
        return InkBox(pic.Play());
    };
    const QRect inclusive(QPoint(30, 60), QPoint(149, 149));
    const QRect exclusive(QPoint(30, 60), QPoint(148, 148));
    EXPECT_EQ(box([](TPicture& p) { p.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {30, 60, 149, 149}); }),
              inclusive);
    EXPECT_EQ(box([](TPicture& p) { p.Rec(EMR_SELECTOBJECT, {Stock(NULL_BRUSH)}).Rec(EMR_RECTANGLE, {30, 60, 149, 149}); }),
              inclusive);
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)})
                      .Rec(EMR_RECTANGLE, {30, 60, 149, 149});
              }),
              exclusive);
    // A five-pixel pen is centred on the outline.
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_CREATEPEN, {1, PS_SOLID, 5, 0, 0}).Rec(EMR_SELECTOBJECT, {1})
                      .Rec(EMR_SELECTOBJECT, {Stock(NULL_BRUSH)}).Rec(EMR_RECTANGLE, {30, 60, 149, 149});
              }),
              QRect(QPoint(28, 58), QPoint(151, 151)));
    // A mapping that turns y upwards: the edges are those on the device.
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC}).Rec(EMR_SETWINDOWEXTEX, {100, -100})
                      .Rec(EMR_SETVIEWPORTEXTEX, {100, 100}).Rec(EMR_SETVIEWPORTORGEX, {0, 200})
                      .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {30, 60, 149, 149});
              }),
              QRect(QPoint(30, 51), QPoint(149, 140)));
    for (std::uint32_t pen : {std::uint32_t(BLACK_PEN), std::uint32_t(NULL_PEN)}) {
        EXPECT_EQ(box([pen](TPicture& p) {
                      p.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(pen)})
                          .Rec(EMR_ROUNDRECT, {30, 60, 149, 149, 20, 20});
                  }),
                  exclusive)
            << pen;
        EXPECT_EQ(box([pen](TPicture& p) {
                      p.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(pen)})
                          .Rec(EMR_ELLIPSE, {30, 60, 149, 149});
                  }),
                  exclusive)
            << pen;
    }
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0, 0})
                      .Rec(EMR_FILLRGN, {0, 0, -1, -1, 48, 1, 32, 1, 1, 16, 30, 60, 149, 149, 30, 60, 149, 149});
              }),
              exclusive);
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0, 0})
                      .Rec(EMR_FRAMERGN, {0, 0, -1, -1, 48, 1, 2, 3, 32, 1, 1, 16, 30, 60, 149, 149, 30, 60, 149, 149});
              }),
              exclusive);
    EXPECT_EQ(box([](TPicture& p) {
                  p.Rec(EMR_INTERSECTCLIPRECT, {30, 60, 149, 149}).Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)})
                      .Rec(EMR_RECTANGLE, {0, 0, 200, 200});
              }),
              exclusive);
}

TEST(EmfPlayerShapes, FrameIsStretchedOntoTheTarget)
{
    TPicture pic(50, 40);
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {10, 10, 20, 20});
    const QImage img = pic.Play(2.0);
    EXPECT_EQ(InkBox(img), QRect(QPoint(20, 20), QPoint(40, 40)));
    // A target not at the origin: the frame's top-left lands on the target's.
    QImage big(200, 200, QImage::Format_RGB32);
    big.fill(Qt::white);
    {
        QPainter p(&big);
        const auto b = pic.Bytes();
        qrp::PlayEmf(p, b.data(), b.size(), QRectF(100, 50, 50, 40));
    }
    EXPECT_EQ(InkBox(big), QRect(QPoint(110, 60), QPoint(120, 70)));
}

TEST(EmfPlayerShapes, StockObjectsAndTheDefaultState)
{
    TPicture pic(60, 60);
    // Default pen is black, default brush white: a rectangle is an outline.
    pic.Rec(EMR_RECTANGLE, {5, 5, 25, 25});
    // NULL_PEN with GRAY_BRUSH: a grey fill without outline.
    pic.Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)}).Rec(EMR_SELECTOBJECT, {Stock(GRAY_BRUSH)})
        .Rec(EMR_RECTANGLE, {30, 30, 50, 50});
    // Objects out of the table are ignored: the brush stays grey.
    pic.Rec(EMR_SELECTOBJECT, {400}).Rec(EMR_RECTANGLE, {30, 5, 50, 25});
    const QImage img = pic.Play();
    EXPECT_TRUE(Ink(img, 5, 15));
    EXPECT_TRUE(Ink(img, 25, 15));
    EXPECT_EQ(img.pixel(15, 15), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(40, 40), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(30, 40), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(40, 10), qRgb(128, 128, 128));
}

// Ellipses with a one-pixel pen are set pixel by pixel as GDI sets them; a box two
// pixels or less across is a rectangle whose outline reaches one pixel past it.
TEST(EmfPlayerShapes, SmallEllipsesAsGdiSetsThem)
{
    TPicture pic(40, 20);
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_ELLIPSE, {2, 2, 4, 4})
        .Rec(EMR_ELLIPSE, {10, 2, 15, 7})
        .Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)}).Rec(EMR_ELLIPSE, {20, 2, 22, 4})
        .Rec(EMR_ELLIPSE, {30, 2, 35, 7});
    const QImage img = pic.Play();
    EXPECT_EQ(InkBox(img.copy(0, 0, 8, 20)), QRect(2, 2, 3, 3));
    EXPECT_EQ(InkBox(img.copy(18, 0, 8, 20)), QRect(2, 2, 2, 2));
    for (int left : {10, 30}) {
        // A 5 x 5 box: rows of 3, 5, 5, 5, 3 pixels, with or without the pen.
        const QImage cell = img.copy(left, 2, 5, 5);
        for (int y = 0; y < 5; ++y) {
            const bool end = y == 0 || y == 4;
            EXPECT_EQ(Ink(cell, 0, y), !end) << left << " row " << y;
            EXPECT_TRUE(Ink(cell, 1, y)) << left << " row " << y;
            EXPECT_EQ(Ink(cell, 4, y), !end) << left << " row " << y;
        }
    }
}

TEST(EmfPlayerShapes, HatchesHaveAnEightPixelPitchOnTheDevice)
{
    for (double scale : {1.0, 2.0}) {
        TPicture pic(64, 64);
        pic.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, 0, HS_VERTICAL})
            .Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)})
            .Rec(EMR_SETBKMODE, {TRANSPARENT}).Rec(EMR_RECTANGLE, {0, 0, 64, 64});
        const QImage img = pic.Play(scale);
        std::vector<int> cols;
        for (int x = 0; x < img.width() - 2; ++x)
            if (Ink(img, x, 20))
                cols.push_back(x);
        ASSERT_GE(cols.size(), 4u) << scale;
        for (std::size_t i = 1; i < cols.size(); ++i)
            EXPECT_EQ(cols[i] - cols[i - 1], 8) << "scale " << scale;
        // Lines run the whole height: the same columns on another row.
        EXPECT_TRUE(Ink(img, cols[0], 40));
    }
    TPicture h(64, 64);
    h.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, 0, HS_HORIZONTAL}).Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)}).Rec(EMR_RECTANGLE, {0, 0, 64, 64});
    const QImage img = h.Play();
    std::vector<int> rows;
    for (int y = 0; y < 62; ++y)
        if (Ink(img, 20, y))
            rows.push_back(y);
    ASSERT_GE(rows.size(), 4u);
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i] - rows[i - 1], 8);
}

// GDI's hatches on their 8 x 8 cell from the brush origin; indices past the six hatches
// fill solid in the brush colour.
TEST(EmfPlayerShapes, HatchPhaseAndUnknownHatchesAsGdiDrawsThem)
{
    auto cell = [](std::int32_t hatch, QPoint origin = QPoint()) {
        TPicture pic(40, 40);
        pic.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_HATCHED, 0x0000FF, hatch}).Rec(EMR_SELECTOBJECT, {1})
            .Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)}).Rec(EMR_SETBKMODE, {TRANSPARENT})
            .Rec(EMR_SETBRUSHORGEX, {origin.x(), origin.y()}).Rec(EMR_RECTANGLE, {0, 0, 41, 41});
        const QImage img = pic.Play();
        std::string rows;
        for (int y = 16; y < 24; ++y) {
            for (int x = 16; x < 24; ++x)
                rows += img.pixel(x, y) == qRgb(255, 255, 255) ? '.' : '#';
            rows += ' ';
        }
        return rows;
    };
    EXPECT_EQ(cell(HS_HORIZONTAL), "........ ........ ........ ######## ........ ........ ........ ........ ");
    EXPECT_EQ(cell(HS_VERTICAL), "....#... ....#... ....#... ....#... ....#... ....#... ....#... ....#... ");
    EXPECT_EQ(cell(HS_CROSS), "....#... ....#... ....#... ######## ....#... ....#... ....#... ....#... ");
    EXPECT_EQ(cell(HS_FDIAGONAL), "#....... .#...... ..#..... ...#.... ....#... .....#.. ......#. .......# ");
    EXPECT_EQ(cell(HS_BDIAGONAL), ".......# ......#. .....#.. ....#... ...#.... ..#..... .#...... #....... ");
    EXPECT_EQ(cell(HS_DIAGCROSS), "#......# .#....#. ..#..#.. ...##... ...##... ..#..#.. .#....#. #......# ");
    // The brush origin moves the cell.
    EXPECT_EQ(cell(HS_CROSS, QPoint(2, 1)), "......#. ......#. ......#. ......#. ######## ......#. ......#. ......#. ");
    const std::string solid = "######## ######## ######## ######## ######## ######## ######## ######## ";
    for (std::int32_t hatch = 6; hatch <= 11; ++hatch)
        EXPECT_EQ(cell(hatch), solid) << hatch;
}

// Pens and brushes go through the binary raster operation, text does not. PDF has no raster
// operations: there pens and brushes take the colour the operation gives over white paper,
// so the page prints as it shows on screen.
TEST(EmfPlayerShapes, BinaryRasterOpsOnScreenAndOnDevicesWithoutThem)
{
    if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftoppm is not installed";
    TPicture pic(120, 90);
    pic.Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)})
        .Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0xFF0000, 0}).Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_SETROP2, {R2_XORPEN}).Rec(EMR_RECTANGLE, {10, 10, 50, 40})       // blue xor white
        .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)})
        .Rec(EMR_SETROP2, {R2_MERGEPEN}).Rec(EMR_RECTANGLE, {60, 10, 100, 40})    // black or white
        .Rec(EMR_CREATEPEN, {2, PS_SOLID, 8, 0, 0xFFFFFF}).Rec(EMR_SELECTOBJECT, {2})
        .Rec(EMR_SETROP2, {R2_NOTCOPYPEN}).Rec(EMR_MOVETOEX, {10, 50}).Rec(EMR_LINETO, {100, 50})
        .Rec(EMR_SETROP2, {R2_WHITE});
    Font(pic, 3, -20).Rec(EMR_SELECTOBJECT, {3});
    Text(pic, 10, 62, "HHHH");
    const QImage screen = pic.Play();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath("rop2.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setResolution(96);
        writer.setPageMargins(QMarginsF());
        writer.setPageSize(QPageSize(QSizeF(120 * 0.75, 90 * 0.75), QPageSize::Point));
        QPainter p(&writer);
        const auto b = pic.Bytes();
        qrp::PlayEmf(p, b.data(), b.size(), QRectF(0, 0, 120, 90));
    }
    const QString out = dir.filePath("rop2");
    const std::string cmd = "pdftoppm -r 96 -singlefile -png '" + pdf.toStdString() + "' '" + out.toStdString() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const QImage printed = QImage(out + ".png").convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(printed.width(), 120); // the page may round up by a pixel
    ASSERT_GE(printed.height(), 90);

    const struct { QPoint at; QRgb colour; } spots[] = {
        {{30, 25}, qRgb(255, 255, 0)}, {{80, 25}, qRgb(255, 255, 255)}, {{55, 50}, qRgb(0, 0, 0)}};
    for (const QImage& img : {screen, printed}) {
        for (const auto& s : spots)
            EXPECT_EQ(img.pixel(s.at), s.colour) << s.at.x() << "," << s.at.y();
        const QRect text = InkBox(img.copy(0, 58, 120, 32));
        EXPECT_GT(text.width(), 30);
        EXPECT_GT(text.height(), 8);
    }
}

TEST(EmfPlayerClip, IntersectAndExcludeClipRectEdges)
{
    TPicture pic(60, 60);
    pic.Rec(EMR_INTERSECTCLIPRECT, {10, 10, 30, 40}).Rec(EMR_EXCLUDECLIPRECT, {10, 10, 20, 20})
        .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {0, 0, 60, 60});
    const QImage img = pic.Play();
    EXPECT_EQ(InkBox(img), QRect(QPoint(10, 10), QPoint(29, 39)));
    EXPECT_FALSE(Ink(img, 15, 15));
    EXPECT_TRUE(Ink(img, 20, 15));
    EXPECT_TRUE(Ink(img, 15, 20));
}

TEST(EmfPlayerClip, SelectedRegionsAreInDeviceUnits)
{
    TPicture pic(80, 80);
    // A world transform that doubles everything does not move or grow the region.
    pic.Rec(EMR_MODIFYWORLDTRANSFORM, {0x40000000, 0, 0, 0x40000000, 0, 0, MWT_SET})
        .Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC}).Rec(EMR_SETWINDOWORGEX, {5, 5});
    Region(pic, RGN_COPY, QRect(10, 10, 20, 20));
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {0, 0, 60, 60});
    EXPECT_EQ(InkBox(pic.Play()), QRect(10, 10, 20, 20));
    // At twice the size only the initial transform applies.
    EXPECT_EQ(InkBox(pic.Play(2.0)), QRect(20, 20, 40, 40));
    // RGN_COPY without data removes the clip.
    TPicture reset(80, 80);
    Region(reset, RGN_COPY, QRect(10, 10, 20, 20));
    reset.Rec(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY}).Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)})
        .Rec(EMR_RECTANGLE, {0, 0, 60, 60});
    EXPECT_EQ(InkBox(reset.Play()), QRect(QPoint(0, 0), QPoint(60, 60)));
}

TEST(EmfPlayerMapping, FixedModesUseTheReferenceDeviceWithYUp)
{
    // MM_LOMETRIC: 0.1 mm units, y growing upwards; 4 pixels per millimetre.
    TPicture pic(100, 100);
    pic.Rec(EMR_SETMAPMODE, {MM_LOMETRIC}).Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)})
        .Rec(EMR_RECTANGLE, {50, -50, 100, -100});
    EXPECT_EQ(InkBox(pic.Play()), QRect(QPoint(20, 20), QPoint(40, 40)));
    // Extents are ignored outside the scalable modes, and kept when the mode is set again.
    TPicture a(100, 100);
    a.Rec(EMR_SETWINDOWEXTEX, {10, 10}).Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC})
        .Rec(EMR_SETWINDOWEXTEX, {10, 10}).Rec(EMR_SETVIEWPORTEXTEX, {20, 40})
        .Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC}).Rec(EMR_SETWINDOWEXTEX, {0, 0})
        .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {5, 5, 10, 10});
    EXPECT_EQ(InkBox(a.Play()), QRect(QPoint(10, 20), QPoint(20, 40)));
    // Isotropic: the larger viewport axis shrinks to keep units square.
    TPicture iso(100, 100);
    iso.Rec(EMR_SETMAPMODE, {MM_ISOTROPIC}).Rec(EMR_SETWINDOWEXTEX, {10, 10})
        .Rec(EMR_SETVIEWPORTEXTEX, {20, 40}).Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)})
        .Rec(EMR_RECTANGLE, {5, 5, 10, 10});
    EXPECT_EQ(InkBox(iso.Play()), QRect(QPoint(10, 10), QPoint(20, 20)));
}

TEST(EmfPlayerState, SaveAndRestoreDc)
{
    TPicture pic(100, 100);
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SAVEDC, {})
        .Rec(EMR_SETWINDOWORGEX, {-50, 0}).Rec(EMR_SELECTOBJECT, {Stock(NULL_BRUSH)})
        .Rec(EMR_INTERSECTCLIPRECT, {0, 0, 1, 1}).Rec(EMR_SAVEDC, {})
        .Rec(EMR_RESTOREDC, {-2})
        .Rec(EMR_RECTANGLE, {10, 10, 20, 20});
    EXPECT_EQ(InkBox(pic.Play()), QRect(QPoint(10, 10), QPoint(20, 20)));
    // Absolute level 1, and levels that do not exist are ignored.
    TPicture abs(100, 100);
    abs.Rec(EMR_SAVEDC, {}).Rec(EMR_SETWINDOWORGEX, {-50, 0}).Rec(EMR_SAVEDC, {})
        .Rec(EMR_RESTOREDC, {5}).Rec(EMR_RESTOREDC, {-7}).Rec(EMR_RESTOREDC, {1})
        .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {10, 10, 20, 20});
    EXPECT_EQ(InkBox(abs.Play()), QRect(QPoint(10, 10), QPoint(20, 20)));
}

TEST(EmfPlayerText, AlignmentPlacesTheTextBox)
{
    auto box = [](std::uint32_t align, int x, int y) {
        TPicture pic(200, 100);
        Font(pic, 1, -40).Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {TRANSPARENT})
            .Rec(EMR_SETTEXTALIGN, {std::int32_t(align)});
        Text(pic, x, y, "HH");
        return InkBox(pic.Play());
    };
    const QRect top = box(TA_TOP | TA_LEFT, 50, 20);
    const QRect base = box(TA_BASELINE | TA_LEFT, 50, 60);
    const QRect bottom = box(TA_BOTTOM | TA_LEFT, 50, 60);
    // Cap height of a 40 px em is about 29 px; the cell's top is above it by the
    // internal leading.
    EXPECT_NEAR(base.bottom(), 59, 1);
    EXPECT_NEAR(base.height(), 29, 2);
    EXPECT_GT(top.top(), 20);
    EXPECT_LT(top.top(), 30);
    EXPECT_LT(bottom.bottom(), base.bottom() - 5); // the descent lies below the baseline
    const QRect right = box(TA_RIGHT | TA_BASELINE, 150, 60);
    const QRect center = box(TA_CENTER | TA_BASELINE, 100, 60);
    EXPECT_NEAR(right.right(), 147, 3);
    EXPECT_NEAR((center.left() + center.right()) / 2.0, 100, 2);
    EXPECT_EQ(center.width(), base.width());
}

TEST(EmfPlayerText, DxArraySetsEveryAdvance)
{
    TPicture pic(200, 60);
    Font(pic, 1, -20).Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    Text(pic, 10, 40, "III", {50, 70, 10});
    const QImage img = pic.Play();
    std::vector<int> starts;
    for (int x = 1; x < img.width(); ++x)
        if (Ink(img, x, 35) && !Ink(img, x - 1, 35))
            starts.push_back(x);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[1] - starts[0], 50);
    EXPECT_EQ(starts[2] - starts[1], 70);
}

TEST(EmfPlayerText, UpdateCpStartsAtAndAdvancesTheCurrentPosition)
{
    TPicture pic(200, 60);
    Font(pic, 1, -20).Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_SETTEXTALIGN, {TA_BASELINE | TA_UPDATECP}).Rec(EMR_MOVETOEX, {100, 40});
    Text(pic, 5, 5, "I", {40});
    Text(pic, 5, 5, "I", {40});
    const QImage img = pic.Play();
    std::vector<int> starts;
    for (int x = 1; x < img.width(); ++x)
        if (Ink(img, x, 35) && !Ink(img, x - 1, 35))
            starts.push_back(x);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(starts[0], 101, 2);
    EXPECT_EQ(starts[1] - starts[0], 40);
}

// Text records of the compatible graphics mode, stretched by 1.3 x 1.283: the font is
// realised at the whole pixel size below 10 x 1.283 (12, not 13) and each run sits with
// its baseline where GDI puts it, the ascent taken to logical units and back (the
// bottom rows were read off GDI's own playback of these records: note the step at 33).
TEST(EmfPlayerText, CompatibleModeFontsAndPlacementAreWholePixels)
{
    const int expectedBottom[] = {24, 25, 26, 28, 29};
    for (int y = 30; y <= 34; ++y) {
        TPicture pic(200, 60);
        pic.Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC}).Rec(EMR_SETWINDOWEXTEX, {1, 1})
            .Rec(EMR_SETWINDOWORGEX, {-5, 20});
        Font(pic, 1, -10).Rec(EMR_SELECTOBJECT, {1});
        Text(pic, 1, y, "WWWWWWWWWW");
        QImage img(260, 77, QImage::Format_RGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            const auto b = pic.Bytes();
            qrp::PlayEmf(p, b.data(), b.size(), QRectF(0, 0, 260, 77));
        }
        const QRect box = InkBox(img);
        EXPECT_EQ(box.bottom(), expectedBottom[y - 30]) << "y " << y;
        // Ten W of 12 pixels per em advance 11 pixels each; at 13 they would advance 12.
        EXPECT_NEAR(box.right(), 116, 1) << "y " << y;
    }
}

TEST(EmfPlayerText, OpaqueRectangleAndClipping)
{
    TPicture pic(200, 60);
    Font(pic, 1, -40).Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKCOLOR, {0x0000FF})
        .Rec(EMR_SETBKMODE, {TRANSPARENT});
    Text(pic, 10, 5, "HHHH", {}, ETO_OPAQUE | ETO_CLIPPED, QRect(5, 5, 40, 30));
    const QImage img = pic.Play();
    EXPECT_EQ(img.pixel(6, 6), qRgb(255, 0, 0));
    const QRect ink = InkBox(img);
    EXPECT_LE(ink.right(), 44);
    EXPECT_LE(ink.bottom(), 34);
    EXPECT_EQ(img.pixel(100, 20), qRgb(255, 255, 255));
}

TEST(EmfPlayerRobustness, DamagedRecordsNeverTakeThePlayerDown)
{
    TPicture pic(50, 50);
    // Counts larger than the record, nested saves without end, a path without end.
    pic.Rec(EMR_POLYLINE, {0, 0, 10, 10, 0x7FFFFFFF, 1, 1})
        .Rec(EMR_POLYPOLYGON, {0, 0, 10, 10, 0x40000000, 0x40000000, 1});
    for (int i = 0; i < 5000; ++i)
        pic.Rec(EMR_SAVEDC, {});
    pic.Rec(EMR_BEGINPATH, {}).Rec(EMR_LINETO, {40, 40})
        .Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_DELETEOBJECT, {0x7FFFFFFF})
        .Rec(EMR_STRETCHDIBITS, {0, 0, 10, 10, 0, 0, 0, 0, 10, 10, 80, 40, 120, 16000, 0, 0xCC0020, 10, 10});
    EXPECT_EQ(InkBox(pic.Play()), QRect());

    // Random damage to a real picture: every variant plays to its end.
    TPicture good(60, 60);
    good.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_RECTANGLE, {10, 10, 20, 20})
        .Rec(EMR_ELLIPSE, {20, 20, 40, 50}).Rec(EMR_POLYGON16, {0, 0, 50, 50, 3, 0x00050005, 0x00300010, 0x00100030});
    Font(good, 1, -12).Rec(EMR_SELECTOBJECT, {1});
    Text(good, 5, 5, "damage", {6, 6, 6, 6, 6, 6});
    const auto bytes = good.Bytes();
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        auto b = bytes;
        for (int k = 0; k < 4; ++k)
            b[108 + rng() % (b.size() - 108)] = std::uint8_t(rng());
        QImage img(60, 60, QImage::Format_RGB32);
        QPainter p(&img);
        qrp::PlayEmf(p, b.data(), b.size() - (rng() % 2) * (rng() % 40), QRectF(0, 0, 60, 60));
    }
}

TEST(EmfReader, WalksRecordsAndStopsAtDamage)
{
    TPicture pic(10, 10);
    pic.Rec(EMR_SAVEDC, {}).Rec(EMR_LINETO, {1, 2});
    auto b = pic.Bytes();
    {
        TEmfReader reader(b.data(), b.size());
        ASSERT_TRUE(reader.Valid());
        EXPECT_EQ(reader.Header().Frame.Right, 250);
        EXPECT_EQ(reader.Header().Device.Cx, 1000);
        TRecordView r;
        std::vector<std::uint32_t> types;
        while (reader.Next(r))
            types.push_back(r.Type());
        EXPECT_EQ(types, (std::vector<std::uint32_t>{EMR_HEADER, EMR_SAVEDC, EMR_LINETO, EMR_EOF}));
        EXPECT_FALSE(reader.Damaged());
    }
    // Sizes below 8, not a multiple of 4, or past the image end the walk.
    for (std::uint32_t badSize : {0u, 4u, 10u, 0x1000u}) {
        auto d = b;
        std::memcpy(&d[108 + 4], &badSize, 4);
        TEmfReader reader(d.data(), d.size());
        TRecordView r;
        int n = 0;
        while (reader.Next(r))
            ++n;
        EXPECT_EQ(n, 1) << badSize;
        EXPECT_TRUE(reader.Damaged()) << badSize;
    }
    // A stated length past the bytes is trimmed to them; not an EMF at all is refused.
    {
        TEmfReader reader(b.data(), b.size() - 20);
        TRecordView r;
        int n = 0;
        while (reader.Next(r))
            ++n;
        EXPECT_EQ(n, 3);
    }
    auto notEmf = b;
    notEmf[40] = 'X';
    EXPECT_FALSE(TEmfReader(notEmf.data(), notEmf.size()).Valid());
    EXPECT_FALSE(TEmfReader(b.data(), 50).Valid());
    EXPECT_FALSE(TEmfReader(nullptr, 0).Valid());
}

TEST(EmfReader, RecordViewsNeverReadPastTheRecord)
{
    const std::uint8_t bytes[16] = {1, 0, 0, 0, 16, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0};
    TRecordView r(bytes, 16);
    EXPECT_EQ(r.I32(8), -1);
    EXPECT_EQ(r.U32(12), 7u);
    EXPECT_EQ(r.U32(13), 0u);
    EXPECT_EQ(r.U16(15), 0u);
    EXPECT_TRUE(r.Has(12, 4));
    EXPECT_FALSE(r.Has(12, 5));
    EXPECT_FALSE(r.Has(std::size_t(-1), 2));
    EXPECT_TRUE(r.HasArray(8, 2, 4));
    EXPECT_FALSE(r.HasArray(8, 3, 4));
    EXPECT_FALSE(r.HasArray(8, std::size_t(1) << 62, 8));
    EXPECT_EQ(r.Bytes(8, 9), nullptr);
    EXPECT_STREQ(RecordTypeName(EMR_EXTTEXTOUTW), "EMR_EXTTEXTOUTW");
    EXPECT_EQ(RecordTypeName(9999), nullptr);
}
