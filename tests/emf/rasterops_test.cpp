// Raster operations on known destination, source and pattern pixels: exact on images,
// approximated where the destination cannot be read (a recorded picture stands in for a
// printer or PDF device).
#include "emf/DibImage.h"
#include "emf/EmfRecords.h"
#include "emf/RasterOps.h"

#include <QPainter>
#include <QPicture>
#include <QPixmap>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace qrp;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kRed = 0xFFFF0000,
               kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Destination 4 x 1: four colours with mixed bits.
QImage Destination()
{
    QImage img(4, 1, QImage::Format_RGB32);
    const QRgb d[4] = {0xFF336699, 0xFFFFFFFF, 0xFF000000, 0xFFA5A5A5};
    for (int x = 0; x < 4; ++x)
        img.setPixel(x, 0, d[x]);
    return img;
}
QImage Source()
{
    QImage img(4, 1, QImage::Format_RGB32);
    const QRgb s[4] = {0xFF0F0F0F, 0xFF000000, 0xFFFFFFFF, 0xFF5A5AC3};
    for (int x = 0; x < 4; ++x)
        img.setPixel(x, 0, s[x]);
    return img;
}
constexpr std::uint32_t kPattern = 0x00CC00FF;

QRgb Px(const QImage& img, int x, int y = 0) { return img.pixel(x, y) | 0xFF000000; }

struct Case {
    const char* name;
    std::uint32_t rop;
    std::function<std::uint32_t(std::uint32_t p, std::uint32_t s, std::uint32_t d)> expect;
};

const std::vector<Case>& NamedCodes()
{
    static const std::vector<Case> cases = {
        {"SRCCOPY", emf::SRCCOPY, [](auto, auto s, auto) { return s; }},
        {"SRCPAINT", emf::SRCPAINT, [](auto, auto s, auto d) { return s | d; }},
        {"SRCAND", emf::SRCAND, [](auto, auto s, auto d) { return s & d; }},
        {"SRCINVERT", emf::SRCINVERT, [](auto, auto s, auto d) { return s ^ d; }},
        {"SRCERASE", emf::SRCERASE, [](auto, auto s, auto d) { return s & ~d; }},
        {"NOTSRCCOPY", emf::NOTSRCCOPY, [](auto, auto s, auto) { return ~s; }},
        {"NOTSRCERASE", emf::NOTSRCERASE, [](auto, auto s, auto d) { return ~(s | d); }},
        {"MERGECOPY", emf::MERGECOPY, [](auto p, auto s, auto) { return p & s; }},
        {"MERGEPAINT", emf::MERGEPAINT, [](auto, auto s, auto d) { return ~s | d; }},
        {"PATCOPY", emf::PATCOPY, [](auto p, auto, auto) { return p; }},
        {"PATPAINT", emf::PATPAINT, [](auto p, auto s, auto d) { return p | ~s | d; }},
        {"PATINVERT", emf::PATINVERT, [](auto p, auto, auto d) { return p ^ d; }},
        {"DSTINVERT", emf::DSTINVERT, [](auto, auto, auto d) { return ~d; }},
        {"BLACKNESS", emf::BLACKNESS, [](auto, auto, auto) { return 0u; }},
        {"WHITENESS", emf::WHITENESS, [](auto, auto, auto) { return 0xFFFFFFFFu; }},
        // Codes without a name go through the general evaluator.
        {"DPSao 0xEA", 0x00EA02E9, [](auto p, auto s, auto d) { return (p & s) | d; }},
        {"PSDPxax 0xB8", 0x00B8074A, [](auto p, auto s, auto d) { return ((d ^ p) & s) ^ p; }},
        {"DPSoon 0x01", 0x00010289, [](auto p, auto s, auto d) { return ~(d | p | s); }},
    };
    return cases;
}

} // namespace

TEST(Rop3, EvaluatorMatchesEachCodesFormula)
{
    const std::uint32_t values[] = {0x00000000, 0x00FFFFFF, 0x0000FF00, 0x00F0F0F0, 0x00123456,
                                    0x00A5A5A5};
    for (const Case& c : NamedCodes())
        for (std::uint32_t p : values)
            for (std::uint32_t s : values)
                for (std::uint32_t d : values)
                    EXPECT_EQ(EvalRop3(c.rop, p, s, d) & 0xFFFFFF, c.expect(p, s, d) & 0xFFFFFF)
                        << c.name << " p=" << p << " s=" << s << " d=" << d;
}

TEST(Rop3, OperandUse)
{
    EXPECT_TRUE(Rop3UsesSource(emf::SRCCOPY));
    EXPECT_FALSE(Rop3UsesDestination(emf::SRCCOPY));
    EXPECT_FALSE(Rop3UsesPattern(emf::SRCCOPY));
    EXPECT_TRUE(Rop3UsesDestination(emf::SRCAND));
    EXPECT_FALSE(Rop3UsesSource(emf::PATINVERT));
    EXPECT_TRUE(Rop3UsesPattern(emf::PATINVERT));
    EXPECT_TRUE(Rop3UsesDestination(emf::PATINVERT));
    EXPECT_FALSE(Rop3UsesSource(emf::BLACKNESS));
    EXPECT_FALSE(Rop3UsesDestination(emf::WHITENESS));
    EXPECT_TRUE(Rop3UsesPattern(emf::MERGECOPY));
    EXPECT_TRUE(Rop3UsesSource(emf::MERGEPAINT));
    EXPECT_FALSE(Rop3UsesPattern(emf::MERGEPAINT));
}

TEST(Rop3, EachCodeOnImagePixels)
{
    const QImage src = Source();
    for (const Case& c : NamedCodes()) {
        QImage dst = Destination();
        const QImage before = dst;
        {
            QPainter painter(&dst);
            BlitRop3(painter, QRectF(0, 0, 4, 1), BlitSource{&src, QRectF(0, 0, 4, 1)}, c.rop,
                     BlitPattern{QBrush(QColor::fromRgb(kPattern)), {}});
        }
        for (int x = 0; x < 4; ++x) {
            const std::uint32_t expected =
                c.expect(kPattern, src.pixel(x, 0) & 0xFFFFFF, before.pixel(x, 0) & 0xFFFFFF);
            EXPECT_EQ(Px(dst, x) & 0xFFFFFF, expected & 0xFFFFFF) << c.name << " x=" << x;
        }
    }
}

TEST(Rop3, ExactPathHonoursClipTransformAndStretch)
{
    // A 2 x 2 source stretched into 4 x 4 logical units at a scale of 2: 8 x 8 pixels.
    QImage src(2, 2, QImage::Format_RGB32);
    src.setPixel(0, 0, kRed);
    src.setPixel(1, 0, kGreen);
    src.setPixel(0, 1, kBlue);
    src.setPixel(1, 1, kBlack);
    QImage dst(12, 12, QImage::Format_ARGB32_Premultiplied);
    dst.fill(kWhite);
    {
        QPainter painter(&dst);
        painter.scale(2, 2);
        painter.setClipRect(QRectF(1, 1, 4, 1)); // device rows 2..3, columns 2..9
        BlitRop3(painter, QRectF(1, 1, 4, 4), BlitSource{&src, {}}, emf::SRCAND);
    }
    EXPECT_EQ(Px(dst, 2, 2), kRed);
    EXPECT_EQ(Px(dst, 5, 3), kRed);
    EXPECT_EQ(Px(dst, 6, 2), kGreen);
    EXPECT_EQ(Px(dst, 9, 3), kGreen);
    // Clipped away: rows 4 and below, and everything outside the destination.
    EXPECT_EQ(Px(dst, 2, 4), kWhite);
    EXPECT_EQ(Px(dst, 9, 9), kWhite);
    EXPECT_EQ(Px(dst, 1, 2), kWhite);
    EXPECT_EQ(Px(dst, 10, 2), kWhite);

    // A negative width mirrors the source.
    dst.fill(kBlack);
    {
        QPainter painter(&dst);
        BlitRop3(painter, QRectF(2, 0, -2, 2), BlitSource{&src, {}}, emf::SRCPAINT);
    }
    EXPECT_EQ(Px(dst, 0, 0), kGreen);
    EXPECT_EQ(Px(dst, 1, 0), kRed);
    EXPECT_EQ(Px(dst, 0, 1), kBlack);
    EXPECT_EQ(Px(dst, 1, 1), kBlue);
    EXPECT_EQ(Px(dst, 2, 0), kBlack);
}

TEST(Rop3, PenRasterOperationsDoNotApplyToBlits)
{
    QImage src(1, 1, QImage::Format_RGB32);
    src.fill(kBlue);
    QImage dst(3, 1, QImage::Format_RGB32);
    dst.fill(kRed);
    {
        QPainter painter(&dst);
        ASSERT_TRUE(ConfigureRop2(painter, emf::R2_XORPEN).exact);
        BlitRop3(painter, QRectF(0, 0, 1, 1), BlitSource{&src, {}}, emf::SRCCOPY);
        BlitRop3(painter, QRectF(1, 0, 1, 1), BlitSource{}, emf::PATCOPY, BlitPattern{QBrush(QColor(kGreen)), {}});
        BlitRop3(painter, QRectF(2, 0, 1, 1), BlitSource{&src, {}}, emf::SRCAND);
    }
    EXPECT_EQ(Px(dst, 0), kBlue);
    EXPECT_EQ(Px(dst, 1), kGreen);
    EXPECT_EQ(Px(dst, 2), kBlack); // blue & red
}

TEST(Rop3, UnwrittenSourcePixelsLeaveTheDestination)
{
    // A run-length bitmap leaves pixels transparent: no operation touches them.
    QImage src(2, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, 0);
    src.setPixel(1, 0, kBlack);
    for (std::uint32_t rop : {emf::SRCCOPY, emf::SRCINVERT, emf::NOTSRCCOPY}) {
        QImage dst(2, 1, QImage::Format_RGB32);
        dst.fill(kGreen);
        {
            QPainter painter(&dst);
            BlitRop3(painter, QRectF(0, 0, 2, 1), BlitSource{&src, {}}, rop);
        }
        EXPECT_EQ(Px(dst, 0), kGreen) << rop;
    }
}

TEST(Rop3, PatternsAreAlignedToDevicePixels)
{
    // A 2 x 2 checker pattern: its cells stay one device pixel under a scaled painter and
    // start at the brush origin.
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.setPixel(0, 0, kBlack);
    tile.setPixel(1, 0, kWhite);
    tile.setPixel(0, 1, kWhite);
    tile.setPixel(1, 1, kBlack);
    for (std::uint32_t rop : {emf::PATCOPY, emf::PATINVERT}) {
        QImage dst(8, 8, QImage::Format_RGB32);
        dst.fill(kWhite);
        {
            QPainter painter(&dst);
            painter.scale(4, 4);
            BlitRop3(painter, QRectF(0, 0, 2, 2), BlitSource{}, rop, BlitPattern{QBrush(tile), {1, 0}});
        }
        const QRgb onOrigin = rop == emf::PATCOPY ? kBlack : kWhite;   // p ^ white for PATINVERT
        const QRgb offOrigin = rop == emf::PATCOPY ? kWhite : kBlack;
        EXPECT_EQ(Px(dst, 1, 0), onOrigin) << rop;
        EXPECT_EQ(Px(dst, 2, 0), offOrigin) << rop;
        EXPECT_EQ(Px(dst, 3, 0), onOrigin) << rop;
        EXPECT_EQ(Px(dst, 1, 1), offOrigin) << rop;
        EXPECT_EQ(Px(dst, 7, 7), onOrigin == kBlack ? kWhite : kBlack) << rop;
    }
}

TEST(Rop3, MaskedImagePairWhereDestinationCannotBeRead)
{
    // Red background; a SRCAND mask (white, with a black 2 x 2 hole) and a SRCPAINT image
    // (black, with blue in the hole). Recorded into a picture, which is not a pixel device.
    QImage mask(4, 4, QImage::Format_RGB32);
    mask.fill(kWhite);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(kBlack);
    for (int y = 1; y < 3; ++y)
        for (int x = 1; x < 3; ++x) {
            mask.setPixel(x, y, kBlack);
            image.setPixel(x, y, kBlue);
        }
    QPicture picture;
    {
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 0, 4, 4), QColor(kRed));
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&mask, {}}, emf::SRCAND);
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&image, {}}, emf::SRCPAINT);
    }
    QImage out(4, 4, QImage::Format_RGB32);
    out.fill(kWhite);
    {
        QPainter painter(&out);
        painter.drawPicture(0, 0, picture);
    }
    EXPECT_EQ(Px(out, 0, 0), kRed);
    EXPECT_EQ(Px(out, 3, 3), kRed);
    EXPECT_EQ(Px(out, 1, 1), kBlue);
    EXPECT_EQ(Px(out, 2, 2), kBlue);

    // On a pixmap the destination is read back: exact as well.
    QPixmap pixmap(4, 4);
    pixmap.fill(QColor(kRed));
    {
        QPainter painter(&pixmap);
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&mask, {}}, emf::SRCAND);
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&image, {}}, emf::SRCPAINT);
    }
    EXPECT_EQ(pixmap.toImage().convertToFormat(QImage::Format_RGB32), out);
    // An XOR shows it: red ^ green is yellow, which no approximation could know.
    QImage green(1, 1, QImage::Format_RGB32);
    green.fill(kGreen);
    {
        QPainter painter(&pixmap);
        BlitRop3(painter, QRectF(0, 0, 1, 1), BlitSource{&green, {}}, emf::SRCINVERT);
    }
    EXPECT_EQ(Px(pixmap.toImage(), 0, 0), 0xFFFFFF00u);

    // The same pair on an image is exact and gives the same.
    QImage direct(4, 4, QImage::Format_RGB32);
    direct.fill(kRed);
    {
        QPainter painter(&direct);
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&mask, {}}, emf::SRCAND);
        BlitRop3(painter, QRectF(0, 0, 4, 4), BlitSource{&image, {}}, emf::SRCPAINT);
    }
    EXPECT_EQ(direct, out);
}

TEST(Rop3, ApproximationOnPictureDevices)
{
    QImage src(2, 1, QImage::Format_RGB32);
    src.setPixel(0, 0, kBlack);
    src.setPixel(1, 0, kWhite);
    auto play = [&](std::uint32_t rop, QRgb background) {
        QPicture picture;
        {
            QPainter painter(&picture);
            BlitRop3(painter, QRectF(0, 0, 2, 1), BlitSource{&src, {}}, rop,
                     BlitPattern{QBrush(QColor(kGreen)), {}});
        }
        QImage out(2, 1, QImage::Format_RGB32);
        out.fill(background);
        QPainter painter(&out);
        painter.drawPicture(0, 0, picture);
        painter.end();
        return out;
    };
    // Codes that ignore the destination are exact.
    QImage out = play(emf::NOTSRCCOPY, kRed);
    EXPECT_EQ(Px(out, 0), kWhite);
    EXPECT_EQ(Px(out, 1), kBlack);
    out = play(emf::MERGECOPY, kRed); // green & source
    EXPECT_EQ(Px(out, 0), kBlack);
    EXPECT_EQ(Px(out, 1), kGreen);
    // MERGEPAINT (~S | D): white source leaves the destination, black gives white.
    out = play(emf::MERGEPAINT, kRed);
    EXPECT_EQ(Px(out, 0), kWhite);
    EXPECT_EQ(Px(out, 1), kRed);
    // Pattern-only codes over a solid brush.
    out = play(emf::PATCOPY, kRed);
    EXPECT_EQ(Px(out, 0), kGreen);
    out = play(emf::WHITENESS, kRed);
    EXPECT_EQ(Px(out, 1), kWhite);
}

TEST(MaskBlt, ForegroundWhereMaskIsSetBackgroundElsewhere)
{
    QImage src(3, 1, QImage::Format_RGB32);
    src.fill(kBlue);
    // Mask pixel 1 is set at x 0 and 2 of the mask origin (1, 0) onward.
    QImage mask(4, 1, QImage::Format_RGB32);
    mask.setPixel(0, 0, kBlack);
    mask.setPixel(1, 0, kWhite);
    mask.setPixel(2, 0, kBlack);
    mask.setPixel(3, 0, kWhite);
    // Foreground SRCCOPY, background: destination kept (code 0xAA).
    const std::uint32_t rop4 = 0xAA000000u | emf::SRCCOPY;
    auto run = [&](QPaintDevice& device) {
        QPainter painter(&device);
        MaskBlt(painter, QRectF(0, 0, 3, 1), BlitSource{&src, {}}, rop4, mask, QPoint(1, 0));
    };
    QImage dst(3, 1, QImage::Format_RGB32);
    dst.fill(kRed);
    run(dst);
    EXPECT_EQ(Px(dst, 0), kBlue);
    EXPECT_EQ(Px(dst, 1), kRed);
    EXPECT_EQ(Px(dst, 2), kBlue);

    QPicture picture;
    run(picture);
    QImage out(3, 1, QImage::Format_RGB32);
    out.fill(kRed);
    {
        QPainter painter(&out);
        painter.drawPicture(0, 0, picture);
    }
    EXPECT_EQ(out, dst);

    // A mono DIB's indices serve as the mask.
    const std::uint8_t packed[] = {40, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0,
                                   0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0,  0, 0, 0, 255, 255, 255, 0, 0b01000000, 0, 0, 0};
    const DibImage dib = DecodePackedDib(packed, sizeof packed);
    ASSERT_TRUE(dib.IsMonochrome());
    dst.fill(kRed);
    {
        QPainter painter(&dst);
        MaskBlt(painter, QRectF(0, 0, 3, 1), BlitSource{&src, {}}, rop4, dib.MaskImage(), QPoint(0, 0));
    }
    EXPECT_EQ(Px(dst, 0), kRed);
    EXPECT_EQ(Px(dst, 1), kBlue);
    EXPECT_EQ(Px(dst, 2), kRed);
}

TEST(AlphaBlendAndTransparentBlt, Composition)
{
    QImage black(1, 1, QImage::Format_RGB32);
    black.fill(kBlack);
    QImage dst(2, 1, QImage::Format_RGB32);
    dst.fill(kWhite);
    {
        QPainter painter(&dst);
        AlphaBlend(painter, QRectF(0, 0, 1, 1), BlitSource{&black, {}}, 128, false);
    }
    EXPECT_NEAR(qRed(dst.pixel(0, 0)), 127, 1);
    EXPECT_EQ(Px(dst, 1), kWhite);

    // Premultiplied source alpha: half-transparent red (128, 0, 0, 128) over white.
    QImage red(1, 1, QImage::Format_ARGB32_Premultiplied);
    red.setPixel(0, 0, qRgba(128, 0, 0, 128));
    dst.fill(kWhite);
    {
        QPainter painter(&dst);
        AlphaBlend(painter, QRectF(0, 0, 1, 1), BlitSource{&red, {}}, 255, true);
        AlphaBlend(painter, QRectF(1, 0, 1, 1), BlitSource{&red, {}}, 0, true);
    }
    EXPECT_NEAR(qRed(dst.pixel(0, 0)), 255, 1);
    EXPECT_NEAR(qGreen(dst.pixel(0, 0)), 127, 1);
    EXPECT_EQ(Px(dst, 1), kWhite);

    // TRANSPARENTBLT: the key colour is not drawn, even stretched.
    QImage src(2, 1, QImage::Format_RGB32);
    src.setPixel(0, 0, kGreen);
    src.setPixel(1, 0, kBlue);
    QImage wide(4, 1, QImage::Format_RGB32);
    wide.fill(kRed);
    {
        QPainter painter(&wide);
        TransparentBlt(painter, QRectF(0, 0, 4, 1), BlitSource{&src, {}}, kGreen);
    }
    EXPECT_EQ(Px(wide, 0), kRed);
    EXPECT_EQ(Px(wide, 1), kRed);
    EXPECT_EQ(Px(wide, 2), kBlue);
    EXPECT_EQ(Px(wide, 3), kBlue);
}

TEST(Rop2, ImageDevicesAreExact)
{
    struct R2 {
        std::uint32_t rop2;
        std::uint32_t (*expect)(std::uint32_t p, std::uint32_t d);
    };
    const R2 cases[] = {
        {emf::R2_XORPEN, [](std::uint32_t p, std::uint32_t d) { return p ^ d; }},
        {emf::R2_MASKPEN, [](std::uint32_t p, std::uint32_t d) { return p & d; }},
        {emf::R2_MERGEPEN, [](std::uint32_t p, std::uint32_t d) { return p | d; }},
        {emf::R2_NOT, [](std::uint32_t, std::uint32_t d) { return ~d; }},
        {emf::R2_NOTCOPYPEN, [](std::uint32_t p, std::uint32_t) { return ~p; }},
        {emf::R2_MASKNOTPEN, [](std::uint32_t p, std::uint32_t d) { return ~p & d; }},
        {emf::R2_NOTXORPEN, [](std::uint32_t p, std::uint32_t d) { return ~(p ^ d); }},
        {emf::R2_BLACK, [](std::uint32_t, std::uint32_t) { return 0u; }},
        {emf::R2_WHITE, [](std::uint32_t, std::uint32_t) { return 0xFFFFFFu; }},
        {emf::R2_COPYPEN, [](std::uint32_t p, std::uint32_t) { return p; }},
    };
    const std::uint32_t pen = 0x00F0A050;
    const std::uint32_t back = 0x003366CC;
    for (const R2& c : cases) {
        QImage dst(4, 4, QImage::Format_RGB32);
        dst.fill(back | 0xFF000000);
        {
            QPainter painter(&dst);
            const Rop2Setup setup = ConfigureRop2(painter, c.rop2);
            ASSERT_TRUE(setup.exact);
            ASSERT_TRUE(setup.draw);
            painter.fillRect(QRect(1, 1, 2, 2), setup.MapColor(QColor::fromRgb(pen)));
        }
        EXPECT_EQ(Px(dst, 1, 1) & 0xFFFFFF, c.expect(pen, back) & 0xFFFFFF) << c.rop2;
        EXPECT_EQ(Px(dst, 0, 0) & 0xFFFFFF, back) << c.rop2;
    }
    QImage dst(1, 1, QImage::Format_RGB32);
    QPainter painter(&dst);
    EXPECT_FALSE(ConfigureRop2(painter, emf::R2_NOP).draw);
    EXPECT_EQ(ConfigureRop2(painter, 0).rop2, std::uint32_t(emf::R2_COPYPEN));
}

TEST(Rop2, ApproximatedColoursWithoutRasterOps)
{
    auto map = [](std::uint32_t rop2, QRgb c) {
        Rop2Setup setup;
        setup.rop2 = rop2;
        setup.exact = false;
        return setup.MapColor(QColor::fromRgba(c));
    };
    // MASKPEN (P & D): over white paper it is the pen.
    EXPECT_EQ(map(emf::R2_MASKPEN, kBlue).rgb(), kBlue);
    // MERGEPEN with black leaves the destination: nothing drawn.
    EXPECT_EQ(map(emf::R2_MERGEPEN, kBlack).alpha(), 0);
    // XORPEN over white paper inverts the pen.
    EXPECT_EQ(map(emf::R2_XORPEN, kBlue).rgb(), 0xFFFFFF00u);
    EXPECT_EQ(map(emf::R2_NOTCOPYPEN, kWhite).rgb(), kBlack);
    // The colour's own alpha is kept.
    EXPECT_EQ(map(emf::R2_WHITE, qRgba(0, 0, 0, 100)).alpha(), 100);
}

TEST(Rop3, ExactPathPlacesPixelsAsPlainCopiesDo)
{
    // Over white, SRCAND draws what SRCCOPY draws; the two take different paths, and must
    // agree on where every pixel lands under flips, fractional scales and offsets.
    QImage src(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            src.setPixel(x, y, qRgb(40 * x, 80 * y, 200));
    const QTransform transforms[] = {
        QTransform(),
        QTransform::fromScale(1, -1) * QTransform::fromTranslate(0, 30),
        QTransform::fromScale(-2.5, 1.5) * QTransform::fromTranslate(28, 1.25),
        QTransform::fromScale(0.75, 3) * QTransform::fromTranslate(3.5, 2),
    };
    for (const QTransform& t : transforms) {
        QImage copied(32, 32, QImage::Format_RGB32);
        copied.fill(kWhite);
        QImage combined = copied;
        for (auto [image, rop] : {std::pair{&copied, emf::SRCCOPY}, std::pair{&combined, emf::SRCAND}}) {
            QPainter painter(image);
            painter.setTransform(t);
            BlitRop3(painter, QRectF(1, 2, 9, 7), BlitSource{&src, QRectF(1, 0, 4, 3)}, rop, {},
                     emf::COLORONCOLOR);
        }
        EXPECT_EQ(copied, combined) << t.m11() << " " << t.m22();
        int drawn = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                drawn += Px(copied, x, y) != kWhite;
        EXPECT_GT(drawn, 12);
    }
}
