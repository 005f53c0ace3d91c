// Page text: strings of the text records read back in reading order, under the
// mappings and alignments that recorded pages use.
#include "emf/EmfRecords.h"
#include "emf/EmfPlayer.h"
#include "emf/EmfText.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace qrp;
using namespace qrp::emf;

namespace {

// Builds an EMF byte image record by record: a 1000 x 1000 pixel reference device of
// 250 x 250 mm (4 pixels per millimetre).
class TEmfBuilder {
public:
    TEmfBuilder()
    {
        Put32(EMR_HEADER);
        Put32(88);
        for (int i = 0; i < 8; ++i)
            Put32(0); // bounds, frame
        Put32(ENHMETA_SIGNATURE);
        Put32(0x10000);
        Put32(0); // bytes, patched
        Put32(0); // records, patched
        Put32(1); // handles + reserved
        Put32(0);
        Put32(0);
        Put32(0);
        Put32(1000);
        Put32(1000);
        Put32(250);
        Put32(250);
        records_ = 1;
    }

    TEmfBuilder& Rec(std::uint32_t type, std::vector<std::int32_t> fields)
    {
        Put32(type);
        Put32(static_cast<std::uint32_t>(8 + 4 * fields.size()));
        for (auto f : fields)
            Put32(static_cast<std::uint32_t>(f));
        ++records_;
        return *this;
    }
    TEmfBuilder& XForm(std::uint32_t type, float m11, float m12, float m21, float m22, float dx,
                       float dy, std::int32_t mode = -1)
    {
        const std::size_t start = bytes_.size();
        Put32(type);
        Put32(0);
        for (float f : {m11, m12, m21, m22, dx, dy}) {
            std::uint32_t v;
            std::memcpy(&v, &f, 4);
            Put32(v);
        }
        if (mode >= 0)
            Put32(static_cast<std::uint32_t>(mode));
        Patch(start + 4, static_cast<std::uint32_t>(bytes_.size() - start));
        ++records_;
        return *this;
    }
    TEmfBuilder& Font(std::uint32_t index, std::int32_t height, std::int32_t escapement = 0,
                      const std::u16string& face = u"")
    {
        // EXTCREATEFONTINDIRECTW: a LOGFONTW with its height, escapement and face.
        std::vector<std::int32_t> f(1 + 23, 0);
        f[0] = static_cast<std::int32_t>(index);
        f[1] = height;
        f[3] = escapement;
        for (std::size_t i = 0; i < face.size() && i < 31; ++i)
            f[8 + i / 2] |= static_cast<std::int32_t>(face[i]) << (16 * (i % 2));
        Rec(EMR_EXTCREATEFONTINDIRECTW, f);
        return Rec(EMR_SELECTOBJECT, {static_cast<std::int32_t>(index)});
    }

    // EXTTEXTOUTW (or A) with the string, an optional spacing array and options.
    TEmfBuilder& Text(std::int32_t x, std::int32_t y, const std::u16string& s,
                      std::vector<std::int32_t> dx = {}, std::uint32_t options = 0,
                      std::uint32_t type = EMR_EXTTEXTOUTW)
    {
        const std::size_t start = bytes_.size();
        const bool wide = type == EMR_EXTTEXTOUTW;
        Put32(type);
        Put32(0);
        for (int i = 0; i < 4; ++i)
            Put32(0); // bounds
        Put32(GM_COMPATIBLE);
        Put32(0);
        Put32(0);
        Put32(static_cast<std::uint32_t>(x));
        Put32(static_cast<std::uint32_t>(y));
        Put32(static_cast<std::uint32_t>(s.size()));
        const std::size_t offString = start + 36 + 40;
        Put32(static_cast<std::uint32_t>(offString - start));
        Put32(options);
        for (int i = 0; i < 4; ++i)
            Put32(0); // rcl
        const std::size_t offDxField = bytes_.size();
        Put32(0);
        for (char16_t c : s) {
            bytes_.push_back(static_cast<std::uint8_t>(c & 0xFF));
            if (wide)
                bytes_.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        if (!dx.empty()) {
            Patch(offDxField, static_cast<std::uint32_t>(bytes_.size() - start));
            for (auto d : dx)
                Put32(static_cast<std::uint32_t>(d));
        }
        Patch(start + 4, static_cast<std::uint32_t>(bytes_.size() - start));
        ++records_;
        return *this;
    }

    std::vector<std::uint8_t> Finish()
    {
        Rec(EMR_EOF, {0, 16, 20});
        Patch(48, static_cast<std::uint32_t>(bytes_.size()));
        Patch(52, records_);
        return bytes_;
    }

    // The picture's frame (0.01 mm), which the player stretches over its target.
    static void SetFrame(std::vector<std::uint8_t>& emf, std::int32_t right, std::int32_t bottom)
    {
        const std::int32_t frame[4] = {0, 0, right, bottom};
        std::memcpy(&emf[24], frame, sizeof frame);
    }
    // Room for the player's object table (the header says one handle).
    static void SetHandles(std::vector<std::uint8_t>& emf, std::uint16_t handles)
    {
        std::memcpy(&emf[56], &handles, 2);
    }

    std::size_t Size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    void Put32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void Patch(std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    std::vector<std::uint8_t> bytes_;
    std::uint32_t records_ = 0;
};

std::string PageText(const std::vector<std::uint8_t>& emf)
{
    return ExtractPageText(emf.data(), emf.size());
}

} // namespace

TEST(EmfText, OrdersByBaselineThenX)
{
    TEmfBuilder b;
    b.Font(1, -20).Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(100, 900, u"Página 1 de 3");      // footer recorded first
    b.Text(400, 300, u"1.250,00");           // right column before left column
    b.Text(100, 300, u"Ventas");
    b.Text(100, 100, u"Informe de Ventas");
    b.Text(250, 302, u"Norte");              // same line, two units lower
    EXPECT_EQ(PageText(b.Finish()), "Informe de Ventas\nVentas Norte 1.250,00\nPágina 1 de 3\n");
}

TEST(EmfText, AlignmentDecidesBaselineAndLeftEnd)
{
    TEmfBuilder b;
    b.Font(1, -40);
    // Top-aligned at y=100: baseline about 132. Baseline-aligned at 130: the same line.
    b.Rec(EMR_SETTEXTALIGN, {TA_TOP});
    b.Text(500, 100, u"B");
    b.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(600, 130, u"C");
    // Right-aligned at x=480 with an advance of 100: starts at 380, left of "B".
    b.Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE});
    b.Text(480, 131, u"A", {100});
    // Bottom-aligned at y=145: baseline about 137, still the same line.
    b.Rec(EMR_SETTEXTALIGN, {TA_CENTER | TA_BOTTOM});
    b.Text(800, 145, u"D", {40});
    // A line below, well apart.
    b.Rec(EMR_SETTEXTALIGN, {TA_TOP});
    b.Text(0, 200, u"E");
    EXPECT_EQ(PageText(b.Finish()), "A B C D\nE\n");

    TEmfBuilder c;
    c.Font(1, -40).Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE});
    c.Text(480, 100, u"Total", {20, 20, 20, 20, 20});
    auto emf = c.Finish();
    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_DOUBLE_EQ(runs[0].X, 380);
    EXPECT_DOUBLE_EQ(runs[0].Width, 100);
    EXPECT_DOUBLE_EQ(runs[0].Baseline, 100);
    EXPECT_DOUBLE_EQ(runs[0].Height, 40);
}

TEST(EmfText, WindowViewportAndWorldTransformPlaceText)
{
    // Anisotropic mapping: logical 0..2000 onto 0..1000 pixels, window origin moved.
    TEmfBuilder b;
    b.Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC});
    b.Rec(EMR_SETWINDOWEXTEX, {2000, 2000});
    b.Rec(EMR_SETVIEWPORTEXTEX, {1000, 1000});
    b.Rec(EMR_SETWINDOWORGEX, {0, 100});
    b.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(400, 500, u"second");
    auto emf = b.Finish();
    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_DOUBLE_EQ(runs[0].X, 200);
    EXPECT_DOUBLE_EQ(runs[0].Baseline, 200);

    // A world transform moves a later record above an earlier one; SAVEDC/RESTOREDC
    // brings the identity back for the last one.
    TEmfBuilder w;
    w.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    w.Text(0, 500, u"middle");
    w.Rec(EMR_SAVEDC, {});
    w.XForm(EMR_SETWORLDTRANSFORM, 1, 0, 0, 1, 0, -480);
    w.Text(0, 500, u"top");
    w.XForm(EMR_MODIFYWORLDTRANSFORM, 1, 0, 0, 1, 0, 100, MWT_LEFTMULTIPLY); // 500+100-480
    w.Text(0, 500, u"upper");
    w.Rec(EMR_RESTOREDC, {-1});
    w.Text(0, 800, u"bottom");
    EXPECT_EQ(PageText(w.Finish()), "top\nupper\nmiddle\nbottom\n");

    // Metric mode: y grows upwards, so the larger logical y is higher on the page.
    TEmfBuilder m;
    m.Rec(EMR_SETMAPMODE, {MM_LOMETRIC});
    m.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    m.Text(0, -2000, u"lower");
    m.Text(0, -100, u"higher");
    auto metric = m.Finish();
    auto mruns = ExtractTextRuns(metric.data(), metric.size());
    ASSERT_EQ(mruns.size(), 2u);
    EXPECT_DOUBLE_EQ(mruns[1].Baseline, 40); // 10 mm at 4 pixels per mm
    EXPECT_EQ(ArrangeTextRuns(mruns), "higher\nlower\n");
}

TEST(EmfText, PiecesThatTouchJoinWithoutBlank)
{
    TEmfBuilder b;
    b.Font(1, -20).Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(130, 100, u"mundo", {10, 10, 10, 10, 10});
    b.Text(100, 100, u"Hola", {10, 10, 10, 0}); // ends at 130 where "mundo" starts
    b.Text(300, 100, u"!", {10});
    b.Text(400, 100, u" ", {10});               // blank run: dropped
    EXPECT_EQ(PageText(b.Finish()), "Holamundo !\n");
}

TEST(EmfText, AnsiPolyAndWideStringsBecomeUtf8)
{
    TEmfBuilder b;
    b.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    // Windows-1252: "P\xE1gina \x80" is "Página €".
    b.Text(0, 100, u"P\u00E1gina \u0080", {}, 0, EMR_EXTTEXTOUTA);
    b.Text(0, 200, u"\U0001F600 \u00F1", {}); // surrogate pair in UTF-16
    b.Text(0, 300, u"\xD800x");                // unpaired surrogate
    b.Text(0, 400, u"glyphs", {}, ETO_GLYPH_INDEX);
    b.Text(0, 500, u"line\nbreak");
    // POLYTEXTOUTW with two strings sharing the record.
    {
        auto& bytes = b.Bytes();
        const std::size_t start = bytes.size();
        const std::u16string s1 = u"uno", s2 = u"dos";
        std::vector<std::int32_t> f = {0, 0, 0, 0, GM_COMPATIBLE, 0, 0, 2};
        const std::int32_t strings = 8 + 4 * 8 + 2 * 40;
        f.insert(f.end(), {0, 600, 3, strings, 0, 0, 0, 0, 0, 0});
        f.insert(f.end(), {100, 600, 3, strings + 8, 0, 0, 0, 0, 0, 0});
        b.Rec(EMR_POLYTEXTOUTW, f);
        for (const auto* s : {&s1, &s2}) {
            for (char16_t c : *s) {
                bytes.push_back(static_cast<std::uint8_t>(c));
                bytes.push_back(0);
            }
            bytes.push_back(0);
            bytes.push_back(0);
        }
        const auto size = static_cast<std::uint32_t>(bytes.size() - start);
        std::memcpy(&bytes[start + 4], &size, 4);
    }
    EXPECT_EQ(PageText(b.Finish()),
              "Página €\n\xF0\x9F\x98\x80 ñ\n\xEF\xBF\xBDx\nline break\nuno dos\n");
}

TEST(EmfText, DamagedRecordsAreSkippedSafely)
{
    EXPECT_TRUE(ExtractTextRuns(nullptr, 0).empty());
    const std::vector<std::uint8_t> junk(200, 0xAB);
    EXPECT_TRUE(ExtractTextRuns(junk.data(), junk.size()).empty());

    TEmfBuilder b;
    b.Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(0, 100, u"bueno");
    // String offset past the record, then a character count past it, then spacing
    // array past it (the text stays, its width is unknown).
    const std::size_t bad1 = b.Size();
    b.Text(0, 200, u"malo1");
    const std::size_t bad2 = b.Size();
    b.Text(0, 300, u"malo2");
    const std::size_t bad3 = b.Size();
    b.Text(0, 400, u"ancho", {1, 1, 1, 1, 1});
    // World transforms that are not finite are refused.
    const float inf = std::numeric_limits<float>::infinity();
    b.XForm(EMR_SETWORLDTRANSFORM, inf, 0, 0, 1, 0, 0);
    b.XForm(EMR_MODIFYWORLDTRANSFORM, 1, 0, 0, std::nanf(""), 0, 0, MWT_RIGHTMULTIPLY);
    b.Text(0, 500, u"final");
    auto emf = b.Finish();
    auto put = [&](std::size_t at, std::uint32_t v) { std::memcpy(&emf[at], &v, 4); };
    put(bad1 + 48, 0x7FFFFFF0);
    put(bad2 + 44, 0x40000000);
    put(bad3 + 72, 0xFFFFFFF0);
    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].Text, "bueno");
    EXPECT_EQ(runs[1].Text, "ancho");
    EXPECT_LT(runs[1].Width, 0);
    EXPECT_EQ(runs[2].Text, "final");
    EXPECT_DOUBLE_EQ(runs[2].Baseline, 500);

    // Cut in the middle of a record: what came before is still read.
    std::vector<std::uint8_t> cut(emf.begin(), emf.begin() + static_cast<long>(bad1 + 20));
    const std::uint32_t len = static_cast<std::uint32_t>(cut.size());
    std::memcpy(&cut[48], &len, 4);
    EXPECT_EQ(ExtractPageText(cut.data(), cut.size()), "bueno\n");
}

TEST(EmfText, GlyphSpansFollowTheSpacingArray)
{
    TEmfBuilder b;
    b.Font(1, -40).Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE});
    // A surrogate pair (two units, one character) and a NUL (dropped, its advance kept).
    b.Text(500, 100, std::u16string(u"a\U0001F600\u0000b", 5), {10, 7, 8, 5, 20});
    auto emf = b.Finish();
    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 1u);
    const TEmfTextRun& r = runs[0];
    EXPECT_EQ(r.Text, "a\xF0\x9F\x98\x80" "b");
    EXPECT_TRUE(r.AdvancesGiven);
    EXPECT_DOUBLE_EQ(r.Width, 50);
    EXPECT_DOUBLE_EQ(r.X, 450);
    ASSERT_EQ(r.Glyphs.size(), 3u);
    EXPECT_DOUBLE_EQ(r.Glyphs[0].Start, 0);
    EXPECT_DOUBLE_EQ(r.Glyphs[0].Advance, 10);
    EXPECT_DOUBLE_EQ(r.Glyphs[1].Start, 10);
    EXPECT_DOUBLE_EQ(r.Glyphs[1].Advance, 15);
    EXPECT_DOUBLE_EQ(r.Glyphs[2].Start, 30); // after the NUL's advance
    EXPECT_DOUBLE_EQ(r.Glyphs[2].Advance, 20);

    // Without spacing array nor bounds the advances are unknown until measured.
    TEmfBuilder c;
    c.Font(1, -40).Text(0, 100, u"abc");
    auto plain = c.Finish();
    auto unknown = ExtractTextRuns(plain.data(), plain.size());
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_TRUE(unknown[0].Glyphs.empty());
    EXPECT_LT(unknown[0].Width, 0);
}

TEST(EmfText, EscapementAndWorldTransformTurnTheBaseline)
{
    TEmfBuilder b;
    b.Rec(EMR_SETTEXTALIGN, {TA_CENTER | TA_BASELINE});
    b.Font(1, -20, 900); // upwards
    b.Text(100, 600, u"Frecuencia", {10, 10, 10, 10, 10, 10, 10, 10, 10, 10});
    b.Font(2, -20);
    b.Rec(EMR_SETTEXTALIGN, {TA_LEFT | TA_BASELINE});
    b.Text(200, 700, u"0");
    b.Text(200, 500, u"50");
    // Half a turn by the world transform: upside down, running leftwards.
    b.XForm(EMR_SETWORLDTRANSFORM, -1, 0, 0, -1, 1000, 1000);
    b.Text(100, 100, u"abajo", {10, 10, 10, 10, 10});
    auto emf = b.Finish();
    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_DOUBLE_EQ(runs[0].DirX, 0);
    EXPECT_DOUBLE_EQ(runs[0].DirY, -1);
    // Centred on its reference point along the turned baseline: starts 50 below it.
    EXPECT_DOUBLE_EQ(runs[0].X, 100);
    EXPECT_DOUBLE_EQ(runs[0].Baseline, 650);
    EXPECT_DOUBLE_EQ(runs[3].DirX, -1);
    EXPECT_DOUBLE_EQ(runs[3].DirY, 0);
    EXPECT_DOUBLE_EQ(runs[3].X, 900);
    EXPECT_DOUBLE_EQ(runs[3].Baseline, 900);
    // The upright string is a line of its own, placed by its middle; the level strings
    // keep their order around it.
    EXPECT_EQ(ArrangeTextRuns(runs), "50\nFrecuencia\n0\nabajo\n");
}

TEST(EmfText, LinePiecesPointBackIntoTheRuns)
{
    TEmfBuilder b;
    b.Font(1, -20).Rec(EMR_SETTEXTALIGN, {TA_BASELINE});
    b.Text(300, 100, u"Perú ", {10, 10, 10, 10, 10});
    b.Text(100, 100, u"  Lima", {10, 10, 10, 10, 10, 10});
    b.Text(100, 300, u"sola");
    auto emf = b.Finish();
    const auto runs = ExtractTextRuns(emf.data(), emf.size());
    const auto lines = ArrangeTextLines(runs);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Text, "Lima Perú");
    ASSERT_EQ(lines[0].Pieces.size(), 2u);
    for (const TEmfTextPiece& p : lines[0].Pieces)
        EXPECT_EQ(lines[0].Text.substr(p.At, p.Length), runs[p.Run].Text.substr(p.From, p.Length));
    EXPECT_EQ(lines[0].Pieces[0].Run, 1u);
    EXPECT_EQ(lines[0].Pieces[0].From, 2u); // the leading blanks are trimmed
    EXPECT_EQ(lines[0].Pieces[1].Run, 0u);
    EXPECT_EQ(lines[0].Pieces[1].Length, std::string("Perú").size());
    EXPECT_EQ(lines[1].Text, "sola");
}

// The glyph boxes of the extracted runs, as the player draws the picture into a target
// of w x h pixels: every inked pixel lies in a box, and every box of a visible
// character holds ink. Shown for text with and without spacing arrays, right-aligned,
// top-aligned, turned by the escapement and by the world transform.
TEST(EmfText, GlyphBoxesCoverWhatThePlayerDraws)
{
    TEmfBuilder b;
    b.Font(1, -40, 0, u"Arial");
    b.Rec(EMR_SETTEXTALIGN, {TA_LEFT | TA_BASELINE});
    b.Text(100, 150, u"Perú 2026", {22, 22, 22, 22, 11, 22, 22, 22, 22});
    b.Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_TOP});
    b.Text(900, 250, u"Total S/");
    b.Font(2, 36, 900, u"Times New Roman"); // a cell height, turned upwards
    b.Rec(EMR_SETTEXTALIGN, {TA_CENTER | TA_BOTTOM});
    b.Text(150, 700, u"Ventas");
    b.Font(3, -30, 0, u"Courier New");
    b.Rec(EMR_SETTEXTALIGN, {TA_LEFT | TA_BASELINE});
    b.XForm(EMR_SETWORLDTRANSFORM, 0.866f, -0.5f, 0.5f, 0.866f, 400, 700);
    b.Text(0, 0, u"inclinado");
    auto emf = b.Finish();
    TEmfBuilder::SetFrame(emf, 25000, 25000);
    TEmfBuilder::SetHandles(emf, 8);

    auto runs = ExtractTextRuns(emf.data(), emf.size());
    ASSERT_EQ(runs.size(), 4u);
    MeasureTextRuns(runs);
    for (const int side : {470, 1250}) {
        SCOPED_TRACE(side);
        QImage image(side, side, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            PlayEmf(p, emf.data(), emf.size(), QRectF(0, 0, side, side));
        }
        const TEmfPictureMapping m = PictureToTarget(emf.data(), emf.size(), 0, 0, side, side);
        std::vector<QPolygonF> boxes;
        std::vector<bool> visible;
        for (const TEmfTextRun& r : runs) {
            const std::u32string chars = QString::fromStdString(r.Text).toStdU32String();
            ASSERT_EQ(r.Glyphs.size(), chars.size()) << r.Text;
            const double downX = -r.DirY, downY = r.DirX;
            for (std::size_t i = 0; i < r.Glyphs.size(); ++i) {
                auto at = [&](double along, double across) {
                    const double x = r.X + r.DirX * along + downX * across;
                    const double y = r.Baseline + r.DirY * along + downY * across;
                    return QPointF(m.ScaleX * x + m.OffsetX, m.ScaleY * y + m.OffsetY);
                };
                const double s = r.Glyphs[i].Start, e = s + r.Glyphs[i].Advance;
                boxes.push_back(QPolygonF({at(s, -r.Ascent), at(e, -r.Ascent), at(e, r.Descent), at(s, r.Descent)}));
                visible.push_back(chars[i] != U' ');
            }
        }
        // Antialiased edges and side bearings may reach a pixel and a half past a box.
        const double slack = 1.5;
        int stray = 0, inked = 0;
        std::vector<int> inkPerBox(boxes.size(), 0);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (qGray(image.pixel(x, y)) > 128)
                    continue;
                ++inked;
                const QPointF c(x + 0.5, y + 0.5);
                bool inside = false;
                for (std::size_t k = 0; k < boxes.size(); ++k) {
                    if (boxes[k].containsPoint(c, Qt::OddEvenFill)) {
                        ++inkPerBox[k];
                        inside = true;
                    }
                }
                if (!inside) {
                    for (const QPolygonF& box : boxes) {
                        const QRectF near = box.boundingRect().adjusted(-slack, -slack, slack, slack);
                        if (near.contains(c)) {
                            inside = true;
                            break;
                        }
                    }
                }
                stray += !inside;
            }
        }
        EXPECT_GT(inked, 300);
        EXPECT_LE(stray, inked / 200) << "of " << inked;
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            if (visible[k]) {
                EXPECT_GT(inkPerBox[k], 0) << "glyph " << k;
            }
        }
    }
}
