// GradientFill and the GDI-style shapes, checked pixel by pixel on an image.
#include "controls/XPGraphUtil.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace qrp;

namespace {

const QColor kLight(253, 253, 253);
const QColor kDark(205, 204, 223);

QImage Canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(1, 2, 3));
    return img;
}

QColor At(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

} // namespace

TEST(GradientFill, TwentyFivePixelButtonFaceHasEightBandsAndOneRemainderRow)
{
    QImage img = Canvas(75, 25);
    QPainter p(&img);
    GradientFill(p, {4, 4, 71, 21}, kLight, kDark, gdTopToBottom, 25 / 3);
    p.end();
    const QColor bands[8] = {{253, 253, 253}, {246, 246, 249}, {239, 239, 244}, {232, 232, 240},
                             {226, 225, 236}, {219, 218, 232}, {212, 211, 227}, {205, 204, 223}};
    for (int i = 0; i < 8; ++i)
        for (int row = 4 + 2 * i; row < 6 + 2 * i; ++row)
            for (int x : {4, 37, 70})
                EXPECT_EQ(At(img, x, row), bands[i]) << "row " << row << " x " << x;
    for (int x : {4, 70})
        EXPECT_EQ(At(img, x, 20), kDark);
    // Nothing outside the rectangle is touched.
    EXPECT_EQ(At(img, 3, 10), QColor(1, 2, 3));
    EXPECT_EQ(At(img, 71, 10), QColor(1, 2, 3));
    EXPECT_EQ(At(img, 10, 3), QColor(1, 2, 3));
    EXPECT_EQ(At(img, 10, 21), QColor(1, 2, 3));
}

TEST(GradientFill, PressedFaceRunsFromDarkToLightThenLightRemainder)
{
    QImage img = Canvas(75, 25);
    QPainter p(&img);
    GradientFill(p, {4, 4, 71, 21}, kLight, kDark, gdBottomToTop, 25 / 2);
    p.end();
    EXPECT_EQ(At(img, 10, 4), kDark);
    EXPECT_EQ(At(img, 10, 15), kLight);
    for (int row = 16; row <= 20; ++row)
        EXPECT_EQ(At(img, 10, row), kLight) << row;
    // Twelve one-row bands, each lighter than the one above it.
    for (int row = 5; row <= 15; ++row) {
        EXPECT_GE(At(img, 10, row).red(), At(img, 10, row - 1).red());
        EXPECT_NE(At(img, 10, row), At(img, 10, row - 1)) << row;
    }
    // band 1 of 12 from (205,204,223) by (48,49,30)/11: 209.36, 208.45, 225.73
    EXPECT_EQ(At(img, 10, 5), QColor(209, 208, 226));
}

TEST(GradientFill, RoundsHalvesAwayFromZero)
{
    // 0 -> 3 in 3 bands: band 1 is 1.5, which rounds to 2; 3 -> 0 gives 1.5 -> 2 as well.
    EXPECT_EQ(GradientBandColor(QColor(0, 0, 0), 3, 3, 3, 1, 3), QColor(2, 2, 2));
    EXPECT_EQ(GradientBandColor(QColor(3, 3, 3), -3, -3, -3, 1, 3), QColor(2, 2, 2));
    EXPECT_EQ(GradientBandColor(QColor(10, 10, 10), -5, 5, 1, 1, 3), QColor(8, 13, 11));
}

TEST(GradientFill, HorizontalDirectionsAndDegenerateCases)
{
    QImage img = Canvas(10, 4);
    QPainter p(&img);
    // 10 columns in 3 bands of 3, one remainder column with the start colour.
    GradientFill(p, {0, 0, 10, 4}, QColor(0, 0, 0), QColor(200, 100, 50), gdRightToLeft, 3);
    p.end();
    EXPECT_EQ(At(img, 0, 0), QColor(200, 100, 50));
    EXPECT_EQ(At(img, 3, 2), QColor(100, 50, 25));
    EXPECT_EQ(At(img, 8, 3), QColor(0, 0, 0));
    EXPECT_EQ(At(img, 9, 0), QColor(0, 0, 0));

    QImage one = Canvas(6, 6);
    QPainter q(&one);
    GradientFill(q, {1, 1, 5, 5}, QColor(9, 9, 9), QColor(200, 0, 0), gdLeftToRight, 1);
    GradientFill(q, {5, 5, 5, 9}, QColor(50, 50, 50), QColor(200, 0, 0), gdLeftToRight, 5);
    q.end();
    EXPECT_EQ(At(one, 4, 4), QColor(9, 9, 9));
    EXPECT_EQ(At(one, 0, 0), QColor(1, 2, 3));
    EXPECT_EQ(At(one, 5, 5), QColor(1, 2, 3));

    // More colours than rows: one band per row, at least two bands.
    QImage thin = Canvas(2, 3);
    QPainter t(&thin);
    GradientFill(t, {0, 0, 2, 3}, QColor(0, 0, 0), QColor(100, 100, 100), gdTopToBottom, 200);
    t.end();
    EXPECT_EQ(At(thin, 0, 0), QColor(0, 0, 0));
    EXPECT_EQ(At(thin, 0, 1), QColor(50, 50, 50));
    EXPECT_EQ(At(thin, 0, 2), QColor(100, 100, 100));
}

TEST(Shapes, RoundRectCutsCornersAndLinesOmitTheirEndPoint)
{
    QImage img = Canvas(12, 10);
    QPainter p(&img);
    const QColor pen(255, 0, 0), brush(0, 255, 0);
    RoundRect(p, {0, 0, 12, 10}, 5, 5, pen, brush);
    p.end();
    const QColor bg(1, 2, 3);
    // 5 x 5 corner: two pixels cut on the first row, one on the second.
    EXPECT_EQ(At(img, 0, 0), bg);
    EXPECT_EQ(At(img, 1, 0), bg);
    EXPECT_EQ(At(img, 2, 0), pen);
    EXPECT_EQ(At(img, 0, 1), bg);
    EXPECT_EQ(At(img, 1, 1), pen);
    EXPECT_EQ(At(img, 0, 2), pen);
    EXPECT_EQ(At(img, 11, 9), bg);
    EXPECT_EQ(At(img, 10, 8), pen);
    EXPECT_EQ(At(img, 2, 2), brush);
    EXPECT_EQ(At(img, 6, 5), brush);
    EXPECT_EQ(At(img, 11, 5), pen);
    EXPECT_EQ(At(img, 6, 9), pen);

    QImage lines = Canvas(8, 8);
    QPainter l(&lines);
    LineTo(l, 1, 1, 5, 1, pen);
    LineTo(l, 6, 6, 6, 2, pen);
    l.end();
    EXPECT_EQ(At(lines, 1, 1), pen);
    EXPECT_EQ(At(lines, 4, 1), pen);
    EXPECT_EQ(At(lines, 5, 1), bg);
    EXPECT_EQ(At(lines, 6, 6), pen);
    EXPECT_EQ(At(lines, 6, 3), pen);
    EXPECT_EQ(At(lines, 6, 2), bg);
}
