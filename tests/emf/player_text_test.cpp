// Text and pens of the player against GDI's own playback of the same records (boxes
// measured on pictures drawn through Wine's gdi32 by scripts/gdi-reference.sh).
#include "emf/EmfRecords.h"
#include "emf/FontMapping.h"
#include "emf/SymbolFonts.h"
#include "tests/emf/PictureBuilder.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qrp::emf;
using namespace qrp::emf::test;

namespace {

TPicture& FontFace(TPicture& pic, int handle, int height, const char16_t* face, int escapement = 0)
{
    std::vector<std::uint8_t> p(4 + 92, 0);
    auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&p[at], &v, 4); };
    put(0, handle);
    put(4, height);
    put(12, escapement);
    put(16, 400);
    for (std::size_t i = 0; face[i] && i < 31; ++i) {
        p[32 + 2 * i] = std::uint8_t(face[i] & 0xFF);
        p[33 + 2 * i] = std::uint8_t(face[i] >> 8);
    }
    return pic.Raw(EMR_EXTCREATEFONTINDIRECTW, p);
}

// EXTTEXTOUTW of UTF-16 codes at (x, y) in the given graphics mode.
TPicture& TextW(TPicture& pic, int x, int y, const std::u16string& s, std::uint32_t gm,
                std::uint32_t options = 0)
{
    std::vector<std::uint8_t> p(68, 0);
    auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&p[at], &v, 4); };
    put(16, std::int32_t(gm));
    put(28, x); put(32, y); put(36, std::int32_t(s.size()));
    put(40, 8 + 68);
    put(44, std::int32_t(options));
    for (char16_t c : s) {
        p.push_back(std::uint8_t(c & 0xFF));
        p.push_back(std::uint8_t(c >> 8));
    }
    return pic.Raw(EMR_EXTTEXTOUTW, p);
}

TPicture& World(TPicture& pic, float m11, float m12, float m21, float m22, float dx, float dy)
{
    std::vector<std::int32_t> f;
    for (float v : {m11, m12, m21, m22, dx, dy}) {
        std::int32_t bits;
        std::memcpy(&bits, &v, 4);
        f.push_back(bits);
    }
    return pic.Rec(EMR_SETWORLDTRANSFORM, f);
}

// "Scaled Hig" in Arial, 40 logical units high, at (6, 6) under a world transform.
QRect TransformedTextBox(float m11, float m12, float m21, float m22, float dx, float dy, int escapement = 0)
{
    TPicture pic(480, 300, 4);
    World(pic, m11, m12, m21, m22, dx, dy);
    FontFace(pic, 1, -40, u"Arial", escapement).Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {TRANSPARENT});
    TextW(pic, 6, 6, u"Scaled Hig", GM_ADVANCED);
    return InkBox(pic.Play());
}

void ExpectNear(const QRect& got, const QRect& gdi, int tolerance = 3)
{
    EXPECT_NEAR(got.left(), gdi.left(), tolerance) << "left";
    EXPECT_NEAR(got.top(), gdi.top(), tolerance) << "top";
    EXPECT_NEAR(got.right(), gdi.right(), tolerance) << "right";
    EXPECT_NEAR(got.bottom(), gdi.bottom(), tolerance) << "bottom";
}

} // namespace

// Glyphs and advances go through the whole transform in the advanced graphics mode:
// stretched, sheared and mirrored letters where GDI draws them.
TEST(EmfPlayerText, AdvancedModeTextIsDrawnThroughTheWholeTransform)
{
    // Wide and flat, not normal letters spaced apart.
    ExpectNear(TransformedTextBox(1.2f, 0, 0, 0.6f, 20, 20), QRect(QPoint(30, 29), QPoint(258, 50)));
    // Slanted by the shear, moved down by the ascent straight on the device.
    ExpectNear(TransformedTextBox(1, 0, 0.5f, 1, 20, 20), QRect(QPoint(21, 33), QPoint(219, 69)));
    // Mirrored in x: hangs below the reference point as upright text does.
    ExpectNear(TransformedTextBox(-1, 0, 0, 1, 460, 190), QRect(QPoint(264, 203), QPoint(451, 239)));
    // Mirrored in y: upside down, and still below the reference point.
    ExpectNear(TransformedTextBox(1, 0, 0, -1, 20, 190), QRect(QPoint(28, 212), QPoint(215, 248)));
    // An escapement of 30 degrees under that mirror.
    ExpectNear(TransformedTextBox(1, 0, 0, -1, 100, 150, 300), QRect(QPoint(116, 180), QPoint(289, 287)));
    // A plain scale keeps the whole-pixel path: unchanged.
    ExpectNear(TransformedTextBox(1, 0, 0, 1, 0, 0), QRect(QPoint(8, 13), QPoint(195, 49)), 1);
}

// The x-mirrored string reads backwards: its first letter is at the right end.
TEST(EmfPlayerText, MirroredTextStartsAtTheRight)
{
    TPicture pic(480, 300, 4);
    World(pic, -1, 0, 0, 1, 460, 190);
    FontFace(pic, 1, -40, u"Arial").Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {TRANSPARENT});
    TextW(pic, 6, 6, u"I", GM_ADVANCED);
    const QRect box = InkBox(pic.Play());
    EXPECT_GT(box.left(), 440);
    EXPECT_LE(box.right(), 454);
}

// Symbol faces that are not installed: codes drawn as the characters they stand for, by
// the family that has them; a code with no Unicode twin as the missing glyph.
TEST(EmfPlayerText, SymbolFacesDrawTheirSymbols)
{
    if (ReplacedSymbolFace(QStringLiteral("Wingdings")) != TSymbolFace::Wingdings)
        GTEST_SKIP() << "a Wingdings face is installed";
    auto draw = [](const char16_t* face, const std::u16string& s, std::uint32_t options = 0) {
        TPicture pic(120, 60, 4);
        FontFace(pic, 1, -40, face).Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {TRANSPARENT});
        TextW(pic, 10, 5, s, GM_COMPATIBLE, options);
        return pic.Play();
    };
    const QImage box = draw(u"Wingdings", u"o");
    EXPECT_EQ(box, draw(u"Symbola", u"\u25A1"));
    EXPECT_NE(box, draw(u"Arial", u"o"));
    EXPECT_EQ(draw(u"Wingdings", u"\uF06F"), box); // the private-use alias of the code
    EXPECT_EQ(draw(u"WINGDINGS", u"\u00FC"), draw(u"Symbola", u"\u2714"));
    EXPECT_EQ(draw(u"Wingdings 2", u"R"), draw(u"Symbola", u"\u2611"));
    // No Unicode twin: the face's missing glyph (glyph 0), never a Latin letter.
    EXPECT_EQ(draw(u"Wingdings", u"\u00FF"), draw(u"Symbola", std::u16string(1, u'\0'), ETO_GLYPH_INDEX));
}

TEST(EmfSymbolFonts, CodesStandForTheirCharacters)
{
    EXPECT_EQ(SymbolFaceOf(u" Wingdings 2 "), TSymbolFace::Wingdings2);
    EXPECT_EQ(SymbolFaceOf(u"webdings"), TSymbolFace::Webdings);
    EXPECT_EQ(SymbolFaceOf(u"Wingdings 4"), TSymbolFace::None);
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Symbol, 'a'), U'\u03B1');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Symbol, 'p'), U'\u03C0');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Symbol, 0xB7), U'\u2022');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Symbol, 0xF0D6), U'\u221A');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0xFC), U'\u2714');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0xFE), U'\U0001F5F9');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0x81), U'\u2460');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0x95), U'\u277F');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0xC2), U'\U0001F55B');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0xE8), U'\U0001F87A');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings2, 0x54), U'\u2612');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings3, 0x70), U'\u25B2');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Webdings, 0x61), U'\u2714');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0xFF), U'\0');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::Wingdings, 0x10), U'\0');
    EXPECT_EQ(SymbolCharacter(TSymbolFace::None, 'a'), U'\0');
}

// A wide geometric pen with a hatch brush fills its stroke with the hatch, on GDI's phase.
TEST(EmfPlayerPens, PatternPensFillTheirStrokeWithThePattern)
{
    TPicture pic(100, 60, 4);
    pic.Rec(EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, std::int32_t(PS_GEOMETRIC | PS_ENDCAP_FLAT), 20, BS_HATCHED,
                               0x0000FF, HS_CROSS, 0})
        .Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {TRANSPARENT})
        .Rec(EMR_MOVETOEX, {10, 30}).Rec(EMR_LINETO, {90, 30});
    const QImage img = pic.Play();
    EXPECT_EQ(InkBox(img), QRect(QPoint(10, 20), QPoint(89, 39)));
    for (int y = 20; y < 40; ++y)
        for (int x = 10; x < 90; ++x) {
            const bool line = y % 8 == 3 || x % 8 == 4;
            EXPECT_EQ(img.pixel(x, y) != qRgb(255, 255, 255), line) << x << "," << y;
            if (line) {
                EXPECT_EQ(img.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
            }
        }
}
