// Two-level glyphs copied onto page images by the player must land exactly where, and
// exactly as, the raster engine would draw them: at every fraction of a pixel, under
// clips of several rectangles, partly off the image, on both 32-bit formats.
#include "emf/TwoLevelGlyphs.h"
#include "emf/EmfRecords.h"
#include "tests/emf/PictureBuilder.h"

#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <gtest/gtest.h>

#include <vector>

namespace {

QRawFont TwoLevelFace(int pixels, bool bold = false)
{
    QFont f("Liberation Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    return QRawFont::fromFont(f);
}

// "Hamburgefonts" repeated along rows, each glyph on its own fraction of a pixel: the
// fractions straddle the engine's 1/64 rounding and its floor (columns) and round (rows).
QGlyphRun WordRows(const QRawFont& face, QPointF origin)
{
    const QList<quint32> word = face.glyphIndexesForString(QStringLiteral("Hamburgefonts"));
    const double fractions[] = {0, 0.25, 0.4921875, 0.5, 0.5078125, 0.75, 0.9921875, 0.99};
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (int row = 0; row < 8; ++row)
        for (int i = 0; i < word.size(); ++i) {
            glyphs.append(word[i]);
            positions.append(origin + QPointF(i * 9 + fractions[(i + row) % 8], row * 15 + fractions[(i * 3 + row) % 8]));
        }
    QGlyphRun run;
    run.setRawFont(face);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    return run;
}

struct TCase {
    QImage::Format Format;
    int Pixels;
    bool Bold;
    QPointF Shift;     // the painter's translation
    QPointF Origin;    // where the run starts, before the shift
    bool Clipped;
};

QImage Draw(const TCase& c, bool own, bool* copied = nullptr)
{
    QImage img(160, 140, c.Format);
    img.fill(QColor(250, 240, 230));
    QPainter p(&img);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QRegion clip;
    if (c.Clipped) {
        clip = QRegion(10, 5, 70, 60) | QRegion(40, 50, 100, 70);
        clip -= QRegion(50, 20, 12, 40);
        p.setClipRegion(clip);
    }
    p.translate(c.Shift);
    p.setPen(QColor(20, 40, 160));
    const QGlyphRun run = WordRows(TwoLevelFace(c.Pixels, c.Bold), c.Origin);
    if (own) {
        TTwoLevelGlyphs copies;
        const bool done = copies.Draw(p, run, qRgb(20, 40, 160), c.Clipped ? &clip : nullptr);
        if (copied)
            *copied = done;
    } else {
        p.drawGlyphRun(QPointF(0, 0), run);
    }
    return img;
}

} // namespace

TEST(TwoLevelGlyphs, CopiesAreTheEnginesOwnGlyphsInTheirPlaces)
{
    const std::vector<TCase> cases = {
        {QImage::Format_RGB32, 12, false, QPointF(0, 0), QPointF(3, 14), false},
        {QImage::Format_ARGB32_Premultiplied, 11, false, QPointF(0.5, 0.4921875), QPointF(2.25, 13.5), false},
        {QImage::Format_RGB32, 16, true, QPointF(-0.2578125, 0.75), QPointF(1.9921875, 15.25), true},
        {QImage::Format_ARGB32_Premultiplied, 9, false, QPointF(-12.5, -6.5), QPointF(0.5, 8.5), true},
        {QImage::Format_RGB32, 13, false, QPointF(40.0078125, 70.4921875), QPointF(0, 0), false},
    };
    for (const TCase& c : cases) {
        bool copied = false;
        const QImage own = Draw(c, true, &copied);
        const QImage engine = Draw(c, false);
        EXPECT_TRUE(copied) << c.Pixels << " px";
        int differ = 0;
        for (int y = 0; y < own.height(); ++y)
            for (int x = 0; x < own.width(); ++x)
                differ += own.pixel(x, y) != engine.pixel(x, y);
        EXPECT_EQ(differ, 0) << c.Pixels << " px, shift " << c.Shift.x() << "," << c.Shift.y() << ", clipped "
                             << c.Clipped;
    }
}

// Where a copy could not match the engine, nothing is drawn and the caller is told to
// let the painter draw.
TEST(TwoLevelGlyphs, LeavesToThePainterWhatItCannotCopyExactly)
{
    const QRawFont face = TwoLevelFace(12);
    const QGlyphRun run = WordRows(face, QPointF(3, 14));
    TTwoLevelGlyphs copies;
    auto declines = [&](QImage img, auto setUp, QRgb color, const QRegion* clip) {
        const QImage before = img;
        bool drew = true;
        {
            QPainter p(&img);
            setUp(p);
            drew = copies.Draw(p, run, color, clip);
        }
        return !drew && img == before;
    };
    const QImage rgb(100, 100, QImage::Format_RGB32);
    auto none = [](QPainter&) {};
    EXPECT_TRUE(declines(rgb, none, qRgba(0, 0, 0, 128), nullptr));
    EXPECT_TRUE(declines(rgb, [](QPainter& p) { p.rotate(10); }, qRgb(0, 0, 0), nullptr));
    EXPECT_TRUE(declines(rgb, [](QPainter& p) { p.scale(1.2, 1); }, qRgb(0, 0, 0), nullptr));
    EXPECT_TRUE(declines(rgb, [](QPainter& p) { p.setClipRect(10, 10, 50, 50); }, qRgb(0, 0, 0), nullptr));
    EXPECT_TRUE(declines(rgb, [](QPainter& p) { p.setOpacity(0.5); }, qRgb(0, 0, 0), nullptr));
    EXPECT_TRUE(declines(rgb, [](QPainter& p) { p.setCompositionMode(QPainter::CompositionMode_Xor); },
                         qRgb(0, 0, 0), nullptr));
    EXPECT_TRUE(declines(QImage(100, 100, QImage::Format_RGB888), none, qRgb(0, 0, 0), nullptr));
}

// Played pages: text under the picture's clip (rectangles taken out and put together),
// under ETO_CLIPPED and under the painter's own clip comes out the same whether the
// glyphs are copied (32-bit image) or drawn by the engine (24-bit image, never copied).
TEST(TwoLevelGlyphs, PlayedTextMatchesTheEngineUnderEveryClip)
{
    using namespace qrp::emf;
    using namespace qrp::emf::test;
    TPicture pic(300, 160, 4);
    pic.Rec(EMR_SETBKMODE, {TRANSPARENT}).Rec(EMR_SETTEXTCOLOR, {0x00802010});
    Font(pic, 1, -12).Rec(EMR_SELECTOBJECT, {1});
    pic.Rec(EMR_INTERSECTCLIPRECT, {4, 6, 290, 150}).Rec(EMR_EXCLUDECLIPRECT, {60, 20, 90, 120});
    for (int line = 0; line < 8; ++line)
        Text(pic, 2 + line, 18 + line * 17, "Hamburgefonts 0123456789 Qy",
             line % 2 ? std::vector<std::int32_t>(27, 8 + line % 3) : std::vector<std::int32_t>{},
             line == 3 ? std::uint32_t(ETO_CLIPPED) : 0u, line == 3 ? QRect(30, 60, 120, 10) : QRect());
    const auto bytes = pic.Bytes();

    enum { NoClip, RectClip, EllipseClip };
    auto play = [&](QImage::Format format, int painterClip, QRectF target) {
        QImage img(300, 160, format);
        img.fill(Qt::white);
        QPainter p(&img);
        if (painterClip == RectClip)
            p.setClipRect(QRect(20, 10, 200, 130));
        if (painterClip == EllipseClip) {
            QPainterPath oval;
            oval.addEllipse(QRectF(10, 10, 260, 140));
            p.setClipPath(oval);
        }
        qrp::PlayEmf(p, bytes.data(), bytes.size(), target);
        p.end();
        return img.convertToFormat(QImage::Format_RGB32);
    };
    for (int clip : {NoClip, RectClip, EllipseClip})
        for (QRectF target : {QRectF(0, 0, 300, 160), QRectF(0.37, 0.61, 300, 160)}) {
            const QImage copied = play(QImage::Format_RGB32, clip, target);
            const QImage drawn = play(QImage::Format_RGB888, clip, target);
            int differ = 0, ink = 0;
            for (int y = 0; y < copied.height(); ++y)
                for (int x = 0; x < copied.width(); ++x) {
                    differ += copied.pixel(x, y) != drawn.pixel(x, y);
                    ink += qGray(copied.pixel(x, y)) < 128;
                }
            EXPECT_EQ(differ, 0) << "painter clip " << clip << ", target at " << target.x();
            EXPECT_GT(ink, 1000);
        }
}
