// The EMF writer and the metafile canvas: the bytes they produce, record by record.
#include "base/ScreenMetrics.h"
#include "emf/EmfPaintEngine.h"
#include "emf/EmfRecords.h"
#include "emf/EmfWriter.h"
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

using namespace qrp;
using namespace qrp::emf;

namespace {

struct TRec {
    std::uint32_t Type = 0, Size = 0;
    const std::uint8_t* P = nullptr;
    std::uint32_t U(std::size_t at) const
    {
        std::uint32_t v;
        std::memcpy(&v, P + at, 4);
        return v;
    }
    std::int32_t I(std::size_t at) const { return std::int32_t(U(at)); }
    std::int16_t S(std::size_t at) const
    {
        std::int16_t v;
        std::memcpy(&v, P + at, 2);
        return v;
    }
    float F(std::size_t at) const
    {
        float v;
        std::memcpy(&v, P + at, 4);
        return v;
    }
};

// Walks the image; fails the test on any record that is malformed.
std::vector<TRec> Walk(const std::vector<std::uint8_t>& b)
{
    std::vector<TRec> out;
    std::size_t off = 0;
    while (off + 8 <= b.size()) {
        TRec r;
        std::memcpy(&r.Type, &b[off], 4);
        std::memcpy(&r.Size, &b[off + 4], 4);
        r.P = b.data() + off;
        EXPECT_GE(r.Size, 8u) << "record " << out.size();
        EXPECT_EQ(r.Size % 4, 0u) << "record " << out.size();
        EXPECT_LE(off + r.Size, b.size()) << "record " << out.size();
        if (r.Size < 8 || off + r.Size > b.size())
            break;
        out.push_back(r);
        off += r.Size;
    }
    EXPECT_EQ(off, b.size());
    return out;
}

std::vector<TRec> OfType(const std::vector<TRec>& recs, std::uint32_t type)
{
    std::vector<TRec> out;
    for (const TRec& r : recs)
        if (r.Type == type)
            out.push_back(r);
    return out;
}

// Checks the image against its own header: length, record count, EOF last.
void CheckWellFormed(const std::vector<std::uint8_t>& bytes)
{
    const auto recs = Walk(bytes);
    ASSERT_GE(recs.size(), 2u);
    const TRec& h = recs.front();
    EXPECT_EQ(h.Type, EMR_HEADER);
    EXPECT_EQ(h.U(40), ENHMETA_SIGNATURE);
    EXPECT_EQ(h.U(44), 0x10000u);
    EXPECT_EQ(h.U(48), bytes.size());
    EXPECT_EQ(h.U(52), recs.size());
    const TRec& eof = recs.back();
    EXPECT_EQ(eof.Type, EMR_EOF);
    EXPECT_EQ(eof.Size, 20u);
    EXPECT_EQ(eof.U(16), 20u);
    for (std::size_t i = 1; i + 1 < recs.size(); ++i)
        EXPECT_NE(recs[i].Type, EMR_HEADER);
}

TEmfRectL HeaderBounds(const std::vector<std::uint8_t>& b)
{
    TEmfHeaderInfo h;
    EXPECT_TRUE(TMetafile::ParseHeader(b.data(), b.size(), h));
    return h.Bounds;
}

TMetafile Record(int w, int h, const std::function<void(QPainter&)>& draw)
{
    TMetafile pic;
    pic.SetWidth(w);
    pic.SetHeight(h);
    TMetafileCanvas canvas(pic);
    {
        QPainter p(&canvas);
        draw(p);
    }
    canvas.Finish();
    return pic;
}

QFont TestFont(int px)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    return f;
}

} // namespace

// ---- writer ---------------------------------------------------------------------------

TEST(EmfWriterTest, HeaderDescribesTheImageAndTheReferenceDevice)
{
    const std::u16string desc(u"Visualizar\0Page 1\0\0", 19);
    TEmfWriter w({0, 0, 21000, 29700}, TReferenceDevice::AtResolution(96), desc);
    w.SetBkMode(TRANSPARENT);
    w.Rectangle({1, 2, 30, 40});
    const auto bytes = w.Finish();
    CheckWellFormed(bytes);
    const auto recs = Walk(bytes);
    const TRec& h = recs.front();
    EXPECT_EQ(h.Size, 108u + 40u); // 19 units padded to 40 bytes
    EXPECT_EQ(h.I(24), 0);
    EXPECT_EQ(h.I(32), 21000);
    EXPECT_EQ(h.I(36), 29700);
    EXPECT_EQ(h.U(60), 19u);  // nDescription
    EXPECT_EQ(h.U(64), 108u); // offDescription
    EXPECT_EQ(std::memcmp(h.P + 108, u"Visualizar", 20), 0);
    EXPECT_EQ(h.I(72), 3840);
    EXPECT_EQ(h.I(76), 2880);
    EXPECT_EQ(h.I(80), 1016);
    EXPECT_EQ(h.I(84), 762);
    EXPECT_EQ(h.I(100), 1016000); // micrometres
    EXPECT_EQ(h.U(56) & 0xFFFF, 1u); // no objects: only the reserved index
    EXPECT_TRUE(w.Finished());
    EXPECT_TRUE(w.Finish().empty());
}

TEST(EmfWriterTest, ReferenceDeviceSizeIsExactAtEveryResolution)
{
    for (int ppi : {72, 96, 120, 144, 150, 300, 600}) {
        const TReferenceDevice d = TReferenceDevice::AtResolution(ppi);
        // pixels / (mm / 25.4) == ppi exactly, on both axes
        EXPECT_EQ(std::int64_t(d.Pixels.Cx) * 254, std::int64_t(d.Millimeters.Cx) * 10 * ppi) << ppi;
        EXPECT_EQ(std::int64_t(d.Pixels.Cy) * 254, std::int64_t(d.Millimeters.Cy) * 10 * ppi) << ppi;
    }
}

TEST(EmfWriterTest, PolyRecordsUseSixteenBitsOnlyWhenEveryCoordinateFits)
{
    TEmfWriter w({0, 0, 100, 100});
    const TPointL small[] = {{0, 0}, {32767, -32768}, {5, 6}};
    const TPointL big[] = {{0, 0}, {32768, 1}};
    w.Polyline(small);
    w.Polygon(big);
    const TPointL pp[] = {{1, 1}, {2, 2}, {3, 3}, {70000, 4}, {5, 5}};
    const std::uint32_t counts[] = {2, 3};
    w.PolyPolygon(pp, counts);
    const auto bytes = w.Finish();
    const auto recs = Walk(bytes);
    ASSERT_EQ(recs.size(), 5u);
    EXPECT_EQ(recs[1].Type, EMR_POLYLINE16);
    EXPECT_EQ(recs[1].Size, 28u + 3 * 4);
    EXPECT_EQ(recs[1].U(24), 3u);
    EXPECT_EQ(recs[1].S(32), 32767);
    EXPECT_EQ(recs[1].S(34), -32768);
    EXPECT_EQ(recs[1].I(8), 0);      // bounds left
    EXPECT_EQ(recs[1].I(12), -32768); // bounds top
    EXPECT_EQ(recs[1].I(16), 32767);
    EXPECT_EQ(recs[2].Type, EMR_POLYGON);
    EXPECT_EQ(recs[2].Size, 28u + 2 * 8);
    EXPECT_EQ(recs[2].I(36), 32768);
    EXPECT_EQ(recs[3].Type, EMR_POLYPOLYGON);
    EXPECT_EQ(recs[3].U(24), 2u);
    EXPECT_EQ(recs[3].U(28), 5u);
    EXPECT_EQ(recs[3].U(32), 2u);
    EXPECT_EQ(recs[3].U(36), 3u);
    EXPECT_EQ(recs[3].Size, 32u + 8 + 5 * 8);
}

TEST(EmfWriterTest, TextRecordHoldsStringAndAdvancesAtTheirOffsets)
{
    TEmfWriter w({0, 0, 100, 100});
    const std::int32_t dx[] = {7, 8, 9};
    TEmfWriter::TTextOut t;
    t.Reference = {11, 22};
    t.Text = u"abc";
    t.Dx = dx;
    t.Rect = {0, 0, -1, -1};
    t.Bounds = {11, 10, 34, 25};
    w.ExtTextOutW(t);
    const auto bytes = w.Finish();
    const auto recs = Walk(bytes);
    const TRec& r = recs[1];
    ASSERT_EQ(r.Type, EMR_EXTTEXTOUTW);
    EXPECT_EQ(r.I(36), 11);
    EXPECT_EQ(r.I(40), 22);
    EXPECT_EQ(r.U(44), 3u);
    const std::uint32_t offString = r.U(48), offDx = r.U(72);
    EXPECT_EQ(offString, 76u);
    EXPECT_EQ(offDx, 76u + 8); // 6 bytes of text padded to 8
    EXPECT_EQ(r.Size, 76u + 8 + 12);
    EXPECT_EQ(std::memcmp(r.P + offString, u"abc", 6), 0);
    EXPECT_EQ(r.I(offDx), 7);
    EXPECT_EQ(r.I(offDx + 8), 9);
    EXPECT_NEAR(r.F(28), 26.458f, 0.01f); // 0.01 mm per pixel at 96 ppi
    EXPECT_EQ(HeaderBounds(bytes).Right, 34);
}

TEST(EmfWriterTest, HandlesReuseTheLowestFreeIndexAndTheHeaderCountsTheHighest)
{
    TEmfWriter w({0, 0, 100, 100});
    const auto a = w.CreatePen(PS_SOLID, 0, 0);
    const auto b = w.CreateBrushIndirect(BS_SOLID, 0xFF);
    const auto c = w.CreateBrushIndirect(BS_HATCHED, 0xFF, HS_CROSS);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(c, 3u);
    w.DeleteObject(b);
    EXPECT_EQ(w.CreatePen(PS_DASH, 0, 0), 2u);
    EXPECT_EQ(w.AllocateHandle(), 4u);
    w.SelectObject(9); // an index written by hand still counts
    const auto bytes = w.Finish();
    TEmfHeaderInfo h;
    ASSERT_TRUE(TMetafile::ParseHeader(bytes.data(), bytes.size(), h));
    EXPECT_EQ(h.Handles, 10);
}

TEST(EmfWriterTest, BoundsAreTheInclusiveDrawnExtent)
{
    {
        TEmfWriter w({0, 0, 100, 100});
        w.SetTextColor(0);
        EXPECT_EQ(HeaderBounds(w.Finish()).Right, -1); // nothing drawn: (0, 0, -1, -1)
    }
    {
        TEmfWriter w({0, 0, 100, 100});
        w.Rectangle({10, 20, 111, 71}); // right and bottom exclusive
        const TEmfRectL b = HeaderBounds(w.Finish());
        EXPECT_EQ(b.Left, 10);
        EXPECT_EQ(b.Top, 20);
        EXPECT_EQ(b.Right, 110);
        EXPECT_EQ(b.Bottom, 70);
    }
    {
        TEmfWriter w({0, 0, 100, 100});
        w.SetNullPen(true); // filled one pixel short
        w.Rectangle({10, 20, 111, 71});
        w.SetNullPen(false);
        w.SetBoundsInflation(2); // a 5-pixel pen
        const TPointL line[] = {{50, 5}, {60, 5}};
        w.Polyline(line);
        const TEmfRectL b = HeaderBounds(w.Finish());
        EXPECT_EQ(b.Top, 3);
        EXPECT_EQ(b.Right, 109);
        EXPECT_EQ(b.Bottom, 69);
    }
    {
        TEmfWriter w({0, 0, 100, 100});
        w.LimitBounds({0, 0, 49, 49});
        w.Rectangle({10, 10, 80, 80});
        w.UnlimitBounds();
        w.SetPixelV(60, 5, 0);
        const TEmfRectL b = HeaderBounds(w.Finish());
        EXPECT_EQ(b.Right, 60);
        EXPECT_EQ(b.Bottom, 49);
        EXPECT_EQ(b.Top, 5);
    }
}

TEST(EmfWriterTest, RawRecordsAndBlitsKeepTheirLayout)
{
    TEmfWriter w({0, 0, 100, 100});
    const std::uint8_t payload[] = {1, 2, 3, 4, 5};
    w.AppendRecord(EMR_GDICOMMENT, payload);
    TDib dib;
    dib.Info = TDib::InfoHeader(2, 2, 24);
    dib.Bits.assign(TDib::Stride(2, 24) * 2, 0x7F);
    w.StretchDIBits({0, 0, 9, 9}, 0, 0, 10, 10, 0, 0, 2, 2, dib);
    w.BitBlt({0, 0, 4, 4}, 0, 0, 5, 5, PATCOPY);
    const auto bytes = w.Finish();
    CheckWellFormed(bytes);
    const auto recs = Walk(bytes);
    EXPECT_EQ(recs[1].Size, 16u); // 5 bytes padded to 8
    EXPECT_EQ(recs[1].P[12], 5);
    const TRec& s = recs[2];
    ASSERT_EQ(s.Type, EMR_STRETCHDIBITS);
    EXPECT_EQ(s.U(48), 80u);      // offBmiSrc
    EXPECT_EQ(s.U(52), 40u);      // cbBmiSrc
    EXPECT_EQ(s.U(56), 120u);     // offBitsSrc
    EXPECT_EQ(s.U(60), 16u);      // cbBitsSrc: two rows of 8 bytes
    EXPECT_EQ(s.U(68), SRCCOPY);
    EXPECT_EQ(s.I(72), 10);       // cxDest
    EXPECT_EQ(s.Size, 136u);
    EXPECT_EQ(recs[3].Type, EMR_BITBLT);
    EXPECT_EQ(recs[3].Size, 100u);
    EXPECT_EQ(recs[3].U(88), 0u); // no source bitmap
}

// ---- canvas -------------------------------------------------------------------------------

TEST(MetafileCanvasTest, FrameIsThePageSizeAndThePictureKeepsItsPixelSize)
{
    for (int ppi : {96, 120}) {
        SetScreenPixelsPerInch(ppi);
        const int w = ppi == 96 ? 794 : 992, h = ppi == 96 ? 1123 : 1403;
        const TMetafile pic = Record(w, h, [](QPainter& p) { p.drawLine(0, 0, 10, 10); });
        EXPECT_EQ(pic.Width(), w) << ppi;
        EXPECT_EQ(pic.Height(), h) << ppi;
        const TEmfHeaderInfo& hd = pic.Header();
        EXPECT_EQ(hd.Frame.Left, 0);
        EXPECT_EQ(hd.Frame.Right, (w * 2540 + ppi / 2) / ppi);
        EXPECT_EQ(hd.Frame.Bottom, (h * 2540 + ppi / 2) / ppi);
        EXPECT_EQ(std::int64_t(hd.Device.Cx) * 254, std::int64_t(hd.Millimeters.Cx) * 10 * ppi);
        SetScreenPixelsPerInch(96);
        CheckWellFormed(pic.Bytes());
    }
}

TEST(MetafileCanvasTest, ObjectsAreReplacedSoTheHandleTableStaysSmall)
{
    const TMetafile pic = Record(600, 400, [](QPainter& p) {
        for (int i = 0; i < 120; ++i) {
            p.setPen(QPen(QColor(i, 0, 0), i % 3));
            p.setBrush(i % 4 == 0 ? QBrush(Qt::NoBrush) : QBrush(QColor(0, i, 0), Qt::BrushStyle(1 + i % 9)));
            p.drawRect(i, i, 20, 10);
            p.setFont(TestFont(10 + i % 5));
            p.drawText(QPointF(i, 300), QStringLiteral("x"));
        }
    });
    const auto& bytes = pic.Bytes();
    CheckWellFormed(bytes);
    EXPECT_LE(pic.Header().Handles, 7);

    // Replay the object table: creation only on free indices, selection and deletion
    // only of live objects, never deleting the selected one.
    std::set<std::uint32_t> live;
    std::map<std::uint32_t, std::uint32_t> kindOf; // index -> creating record type
    std::map<std::uint32_t, std::uint32_t> selected; // kind -> index
    auto kindClass = [](std::uint32_t t) {
        return t == EMR_CREATEPEN || t == EMR_EXTCREATEPEN ? 1u
             : t == EMR_EXTCREATEFONTINDIRECTW         ? 3u
                                                        : 2u;
    };
    int creations = 0;
    for (const TRec& r : Walk(bytes)) {
        switch (r.Type) {
        case EMR_CREATEPEN:
        case EMR_EXTCREATEPEN:
        case EMR_CREATEBRUSHINDIRECT:
        case EMR_CREATEDIBPATTERNBRUSHPT:
        case EMR_EXTCREATEFONTINDIRECTW:
            ++creations;
            EXPECT_TRUE(live.insert(r.U(8)).second) << "index in use: " << r.U(8);
            EXPECT_LT(r.U(8), pic.Header().Handles);
            kindOf[r.U(8)] = kindClass(r.Type);
            break;
        case EMR_SELECTOBJECT:
            if (r.U(8) & STOCK_OBJECT_FLAG) {
                const std::uint32_t s = r.U(8) & 0x7FFFFFFF;
                selected[s == NULL_PEN || s == BLACK_PEN || s == WHITE_PEN ? 1u : 2u] = 0;
            } else {
                EXPECT_TRUE(live.count(r.U(8)));
                selected[kindOf[r.U(8)]] = r.U(8);
            }
            break;
        case EMR_DELETEOBJECT:
            EXPECT_TRUE(live.erase(r.U(8)));
            EXPECT_NE(selected[kindOf[r.U(8)]], r.U(8)) << "deleting the selected object";
            break;
        default: break;
        }
    }
    EXPECT_GT(creations, 100);
    EXPECT_LE(live.size(), 3u);
}

TEST(MetafileCanvasTest, TextIsRecordedWithItsFontAdvancesAndBaselineAlignment)
{
    QFont font = TestFont(16);
    font.setBold(true);
    font.setItalic(true);
    font.setUnderline(true);
    const QString text = QStringLiteral("Total 1234,56");
    TMetafile pic;
    pic.SetWidth(400);
    pic.SetHeight(100);
    qreal expectedWidth = 0;
    {
        TMetafileCanvas canvas(pic);
        QPainter p(&canvas);
        p.setPen(QColor(10, 20, 30));
        p.setFont(font);
        expectedWidth = QFontMetricsF(font, &canvas).horizontalAdvance(text);
        p.translate(5, 0);
        p.drawText(QPointF(20, 50), text);
    }
    const auto recs = Walk(pic.Bytes());
    const auto fonts = OfType(recs, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(fonts.size(), 1u);
    const TRec& f = fonts[0];
    EXPECT_EQ(f.I(12), -16);     // character height
    EXPECT_EQ(f.I(28), 700);     // weight
    EXPECT_EQ(f.P[32], 1);       // italic
    EXPECT_EQ(f.P[33], 1);       // underline
    EXPECT_EQ(f.P[34], 0);       // strike-out
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(f.P + 40), 15), u"Liberation Sans");
    EXPECT_EQ(f.S(40 + 30), 0);

    const auto align = OfType(recs, EMR_SETTEXTALIGN);
    ASSERT_EQ(align.size(), 1u);
    EXPECT_EQ(align[0].U(8), TA_BASELINE);
    const auto colors = OfType(recs, EMR_SETTEXTCOLOR);
    ASSERT_EQ(colors.size(), 1u);
    EXPECT_EQ(colors[0].U(8), Rgb(10, 20, 30));

    const auto texts = OfType(recs, EMR_EXTTEXTOUTW);
    ASSERT_EQ(texts.size(), 1u);
    const TRec& t = texts[0];
    EXPECT_EQ(t.I(36), 25);
    EXPECT_EQ(t.I(40), 50);
    ASSERT_EQ(t.U(44), std::uint32_t(text.size()));
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(t.P + t.U(48)), text.size()), text);
    ASSERT_NE(t.U(72), 0u);
    std::int32_t sum = 0;
    for (int i = 0; i < text.size(); ++i) {
        EXPECT_GT(t.I(t.U(72) + 4 * i), 0);
        sum += t.I(t.U(72) + 4 * i);
    }
    EXPECT_NEAR(sum, expectedWidth, 1.0);
    // The underline is the font's: QPainter's decoration line is not recorded again.
    EXPECT_TRUE(OfType(recs, EMR_LINETO).empty());
}

TEST(MetafileCanvasTest, RotatedTextIsRecordedUnderAWorldTransform)
{
    const TMetafile pic = Record(300, 300, [](QPainter& p) {
        p.setFont(TestFont(12));
        p.translate(100, 200);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), QStringLiteral("Up"));
    });
    const auto recs = Walk(pic.Bytes());
    std::vector<std::uint32_t> order;
    for (const TRec& r : recs)
        if (r.Type == EMR_SETWORLDTRANSFORM || r.Type == EMR_EXTTEXTOUTW || r.Type == EMR_MODIFYWORLDTRANSFORM)
            order.push_back(r.Type);
    ASSERT_EQ(order, (std::vector<std::uint32_t>{EMR_SETWORLDTRANSFORM, EMR_EXTTEXTOUTW,
                                                 EMR_MODIFYWORLDTRANSFORM}));
    const TRec xf = OfType(recs, EMR_SETWORLDTRANSFORM)[0];
    EXPECT_NEAR(xf.F(8), 0, 1e-6);   // M11
    EXPECT_NEAR(xf.F(12), -1, 1e-6); // M12
    EXPECT_NEAR(xf.F(24), 100, 1e-4);
    EXPECT_NEAR(xf.F(28), 200, 1e-4);
    const TRec t = OfType(recs, EMR_EXTTEXTOUTW)[0];
    EXPECT_EQ(t.U(24), GM_ADVANCED);
    EXPECT_EQ(OfType(recs, EMR_MODIFYWORLDTRANSFORM)[0].U(32), MWT_IDENTITY);
    // Bounds are in device pixels: the run goes up from (100, 200).
    const TEmfRectL b = pic.Header().Bounds;
    EXPECT_LT(b.Top, 190);
    EXPECT_LE(b.Bottom, 201);
    EXPECT_LT(b.Left, 100);
}

TEST(MetafileCanvasTest, ShapesUseGdiBoxesAndTheTransformIsApplied)
{
    const TMetafile pic = Record(400, 400, [](QPainter& p) {
        p.drawRect(QRect(10, 20, 100, 50));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::red);
        p.translate(5, 7);
        p.drawRect(QRectF(10, 20, 30, 40));
        p.drawEllipse(QRectF(0, 0, 20, 10));
        p.rotate(45);
        p.drawRect(QRectF(0, 0, 10, 10));
    });
    const auto recs = Walk(pic.Bytes());
    const auto rects = OfType(recs, EMR_RECTANGLE);
    ASSERT_EQ(rects.size(), 1u); // stroked: the box one past its right and bottom edge
    EXPECT_EQ(std::vector<std::int32_t>({rects[0].I(8), rects[0].I(12), rects[0].I(16), rects[0].I(20)}),
              std::vector<std::int32_t>({10, 20, 111, 71}));
    const auto ellipses = OfType(recs, EMR_ELLIPSE);
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_EQ(ellipses[0].I(16), 26);
    const auto polys = OfType(recs, EMR_POLYGON16);
    ASSERT_EQ(polys.size(), 2u); // the filled rectangle and the rotated one
    auto point = [](const TRec& r, int i) { return std::pair<int, int>(r.S(28 + 4 * i), r.S(30 + 4 * i)); };
    EXPECT_EQ(polys[0].U(24), 4u);
    EXPECT_EQ(point(polys[0], 0), std::make_pair(15, 27));
    EXPECT_EQ(point(polys[0], 2), std::make_pair(45, 67));
    EXPECT_EQ(polys[1].U(24), 4u);
    EXPECT_EQ(point(polys[1], 0), std::make_pair(5, 7));
    // (10, 0) rotated by 45 degrees: (7.07, 7.07) + (5, 7)
    EXPECT_EQ(point(polys[1], 1), std::make_pair(12, 14));
    // First pen is the default one-pixel pen: geometric, width 1, square caps.
    const auto pens = OfType(recs, EMR_EXTCREATEPEN);
    ASSERT_EQ(pens.size(), 1u);
    EXPECT_EQ(pens[0].U(28), PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_BEVEL);
    EXPECT_EQ(pens[0].U(32), 1u);
    const TEmfRectL b = pic.Header().Bounds;
    EXPECT_EQ(b.Left, -2); // rotated square reaches x = 5 - 7.07
    EXPECT_EQ(b.Top, 7);
    EXPECT_EQ(b.Right, 110);
    EXPECT_EQ(b.Bottom, 70);
}

TEST(MetafileCanvasTest, PensAndBrushesMapToTheirGdiStyles)
{
    const TMetafile pic = Record(200, 200, [](QPainter& p) {
        p.setPen(QPen(Qt::blue, 0, Qt::DashLine));
        p.drawLine(0, 0, 50, 0);
        p.setPen(QPen(Qt::green, 4, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
        p.drawLine(0, 10, 50, 10);
        QPen custom(Qt::black, 2);
        custom.setDashPattern({3, 1});
        p.setPen(custom);
        p.drawLine(0, 20, 50, 20);
        p.setPen(Qt::NoPen);
        const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::CrossPattern,
                                          Qt::BDiagPattern, Qt::FDiagPattern, Qt::DiagCrossPattern};
        for (Qt::BrushStyle s : hatches) {
            p.setBrush(QBrush(Qt::red, s));
            p.drawRect(0, 30, 10, 10);
        }
        p.setBrush(QBrush(Qt::red, Qt::Dense4Pattern));
        p.drawRect(0, 30, 10, 10);
        p.setBrush(Qt::NoBrush);
        p.setPen(Qt::black);
        p.drawRect(0, 50, 10, 10);
    });
    const auto recs = Walk(pic.Bytes());
    const auto cosmetic = OfType(recs, EMR_CREATEPEN);
    ASSERT_EQ(cosmetic.size(), 1u);
    EXPECT_EQ(cosmetic[0].U(12), PS_DASH);
    EXPECT_EQ(cosmetic[0].I(16), 0);
    EXPECT_EQ(cosmetic[0].U(24), Rgb(0, 0, 255));
    const auto ext = OfType(recs, EMR_EXTCREATEPEN);
    ASSERT_GE(ext.size(), 2u);
    EXPECT_EQ(ext[0].U(28), PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_ROUND);
    EXPECT_EQ(ext[0].U(32), 4u);
    EXPECT_EQ(ext[1].U(28) & PS_STYLE_MASK, PS_USERSTYLE);
    ASSERT_EQ(ext[1].U(48), 2u); // two style entries: 3 and 1 pen widths
    EXPECT_EQ(ext[1].U(52), 6u);
    EXPECT_EQ(ext[1].U(56), 2u);
    std::vector<std::uint32_t> hatchStyles;
    for (const TRec& r : OfType(recs, EMR_CREATEBRUSHINDIRECT))
        if (r.U(12) == BS_HATCHED)
            hatchStyles.push_back(r.U(20));
    EXPECT_EQ(hatchStyles, (std::vector<std::uint32_t>{HS_HORIZONTAL, HS_VERTICAL, HS_CROSS,
                                                       HS_BDIAGONAL, HS_FDIAGONAL, HS_DIAGCROSS}));
    EXPECT_EQ(OfType(recs, EMR_CREATEDIBPATTERNBRUSHPT).size(), 1u);
    // Backgrounds are painted by QPainter itself: the picture draws transparently.
    const auto modes = OfType(recs, EMR_SETBKMODE);
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes[0].U(8), TRANSPARENT);
    bool nullBrushSelected = false;
    for (const TRec& r : OfType(recs, EMR_SELECTOBJECT))
        nullBrushSelected |= r.U(8) == (STOCK_OBJECT_FLAG | NULL_BRUSH);
    EXPECT_TRUE(nullBrushSelected);
}

TEST(MetafileCanvasTest, PathsAreRecordedAsPathsWithTheirFillRule)
{
    const TMetafile pic = Record(200, 200, [](QPainter& p) {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.moveTo(10, 10);
        path.lineTo(50, 10);
        path.cubicTo(60, 20, 60, 40, 50, 50);
        path.closeSubpath();
        p.setBrush(Qt::blue);
        p.drawPath(path);
        p.setBrush(Qt::NoBrush);
        QPainterPath open;
        open.moveTo(0, 0);
        open.lineTo(5, 5);
        p.drawPath(open);
    });
    const auto recs = Walk(pic.Bytes());
    std::vector<std::uint32_t> seq;
    for (const TRec& r : recs)
        if ((r.Type >= EMR_BEGINPATH && r.Type <= EMR_STROKEPATH) || r.Type == EMR_MOVETOEX
            || r.Type == EMR_POLYLINETO16 || r.Type == EMR_POLYBEZIERTO16 || r.Type == EMR_SETPOLYFILLMODE)
            seq.push_back(r.Type);
    EXPECT_EQ(seq, (std::vector<std::uint32_t>{
                       EMR_SETPOLYFILLMODE, EMR_BEGINPATH, EMR_MOVETOEX, EMR_POLYLINETO16,
                       EMR_POLYBEZIERTO16, EMR_POLYLINETO16, EMR_CLOSEFIGURE, EMR_ENDPATH,
                       EMR_STROKEANDFILLPATH, EMR_BEGINPATH, EMR_MOVETOEX, EMR_POLYLINETO16,
                       EMR_ENDPATH, EMR_STROKEPATH}));
    EXPECT_EQ(OfType(recs, EMR_SETPOLYFILLMODE)[0].U(8), WINDING);
    const TRec bez = OfType(recs, EMR_POLYBEZIERTO16)[0];
    EXPECT_EQ(bez.U(24), 3u);
    EXPECT_EQ(bez.S(36), 50); // end point
    EXPECT_EQ(bez.S(38), 50);
}

TEST(MetafileCanvasTest, ClipsAreRecordedInDeviceUnitsAndReset)
{
    const TMetafile pic = Record(300, 300, [](QPainter& p) {
        p.translate(10, 20);
        p.setClipRect(QRect(0, 0, 100, 50));
        p.translate(100, 100); // moving later does not move the clip
        p.drawLine(0, 0, 1, 1);
        p.setClipRegion(QRegion(0, 0, 10, 10) + QRegion(20, 0, 10, 10), Qt::ReplaceClip);
        p.drawLine(0, 0, 1, 1);
        p.setClipping(false);
        p.drawLine(0, 0, 1, 1);
    });
    const auto recs = Walk(pic.Bytes());
    const auto rects = OfType(recs, EMR_INTERSECTCLIPRECT);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(std::vector<std::int32_t>({rects[0].I(8), rects[0].I(12), rects[0].I(16), rects[0].I(20)}),
              std::vector<std::int32_t>({10, 20, 110, 70}));
    const auto regions = OfType(recs, EMR_EXTSELECTCLIPRGN);
    ASSERT_EQ(regions.size(), 2u);
    const TRec& r = regions[0];
    EXPECT_EQ(r.U(12), RGN_COPY);
    ASSERT_EQ(r.U(8), 32u + 32u);
    EXPECT_EQ(r.U(24), 2u); // two rectangles
    EXPECT_EQ(std::vector<std::int32_t>({r.I(48), r.I(52), r.I(56), r.I(60)}),
              std::vector<std::int32_t>({110, 120, 120, 130}));
    EXPECT_EQ(regions[1].U(8), 0u); // default region again
    EXPECT_EQ(regions[1].U(12), RGN_COPY);
}

TEST(MetafileCanvasTest, ImagesBecomeDibsWithTheirPixels)
{
    QImage opaque(3, 2, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    opaque.setPixel(0, 0, qRgb(255, 0, 0));
    opaque.setPixel(2, 1, qRgb(0, 0, 255));
    QImage translucent(2, 2, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 255, 0, 128));
    const TMetafile pic = Record(200, 200, [&](QPainter& p) {
        p.drawImage(QRectF(10, 10, 30, 20), opaque);
        p.drawImage(QPointF(50, 50), translucent);
    });
    const auto recs = Walk(pic.Bytes());
    const auto dibs = OfType(recs, EMR_STRETCHDIBITS);
    ASSERT_EQ(dibs.size(), 1u);
    const TRec& s = dibs[0];
    EXPECT_EQ(s.I(24), 10);
    EXPECT_EQ(s.I(28), 10);
    EXPECT_EQ(s.I(72), 30); // cxDest
    EXPECT_EQ(s.I(76), 20);
    EXPECT_EQ(s.I(40), 3);  // cxSrc
    EXPECT_EQ(s.I(44), 2);
    const std::uint8_t* bmi = s.P + s.U(48);
    EXPECT_EQ(bmi[14], 24);
    const std::uint8_t* bits = s.P + s.U(56);
    // Bottom-up BGR rows of 12 bytes: row 0 is the image's last row.
    EXPECT_EQ(bits[6], 255); // (2, 1) blue
    EXPECT_EQ(bits[8], 0);
    EXPECT_EQ(bits[12 + 2], 255); // (0, 0) red
    EXPECT_EQ(bits[12 + 0], 0);
    const auto blends = OfType(recs, EMR_ALPHABLEND);
    ASSERT_EQ(blends.size(), 1u);
    const TRec& a = blends[0];
    const std::uint8_t* px = a.P + a.U(92);
    EXPECT_EQ(a.U(84), 108u);
    EXPECT_EQ(a.P[a.U(84) + 14], 32);
    EXPECT_EQ(px[3], 128);      // alpha
    EXPECT_NEAR(px[1], 128, 1); // green, premultiplied
    EXPECT_EQ(OfType(recs, EMR_SETSTRETCHBLTMODE).size(), 1u);
}

TEST(MetafileCanvasTest, FinishCompletesThePictureOnceAndLaterDrawingIsIgnored)
{
    TMetafile pic;
    pic.SetWidth(100);
    pic.SetHeight(100);
    {
        TMetafileCanvas canvas(pic);
        QPainter p(&canvas);
        p.drawLine(0, 0, 10, 10);
        canvas.Finish(); // ends the painter too
        EXPECT_FALSE(p.isActive());
        ASSERT_FALSE(pic.Empty());
        const auto first = pic.Bytes();
        QPainter again(&canvas);
        again.drawRect(0, 0, 5, 5);
        again.end();
        canvas.Finish();
        EXPECT_EQ(pic.Bytes(), first);
    }
    CheckWellFormed(pic.Bytes());
    TMetafile byDestructor;
    byDestructor.SetWidth(50);
    byDestructor.SetHeight(50);
    { TMetafileCanvas canvas(byDestructor); }
    EXPECT_FALSE(byDestructor.Empty());
    EXPECT_EQ(byDestructor.Width(), 50);
    EXPECT_EQ(byDestructor.Header().Bounds.Right, -1);
}
