// Pages that ask for far more work than they can show are played in bounded time and
// memory and draw what shows of them; ordinary pages draw as they always did, and never
// come near the page's budget.
#include "emf/EmfPlayback.h"
#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"
#include "emf/StrokeGeometry.h"
#include "tests/emf/HostilePages.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <random>

using namespace qrp::emf;
using namespace qrp::emf::test;

namespace {

// A page of 800 x 1100 logical units: played at its size, and at a quarter of it (the
// size of a large thumbnail).
constexpr int kPageW = 800, kPageH = 1100;
constexpr double kScales[] = {1.0, 0.25};
constexpr double kMostSeconds = 5.0;

struct TTimed {
    QImage Image;
    double Seconds = 0;
};

TTimed PlayTimed(const TPicture& pic, double scale)
{
    QElapsedTimer timer;
    timer.start();
    TTimed t;
    t.Image = pic.Play(scale);
    t.Seconds = timer.nsecsElapsed() / 1e9;
    return t;
}

// The picture played onto a w x h image whose top-left is (x, y) of the picture played
// whole at full x full pixels: what a viewer shows of a zoomed page.
QImage PlayWindow(const TPicture& pic, int full, int x, int y, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    const auto b = pic.Bytes();
    qrp::PlayEmf(p, b.data(), b.size(), QRectF(-x, -y, full, full));
    return img;
}

int CountDiffering(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

bool AllInk(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!Ink(img, x, y))
                return false;
    return true;
}

// How much of its budget a picture costs played into a w x h image.
double BudgetUsed(const std::vector<std::uint8_t>& bytes, int w, int h, bool* spent)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TEmfReader reader(bytes.data(), bytes.size());
    if (!reader.Valid())
        return -1;
    TEmfPlayback playback(p, reader.Header(), QRectF(0, 0, w, h));
    playback.Play(reader);
    *spent = playback.Budget().Spent();
    return playback.Budget().Used() / playback.Budget().Limit();
}

} // namespace

// A million points under a pen a hundred thousand units wide: the pen covers the page
// from its first segment on, so the page comes out all ink.
TEST(EmfDrawBudget, LongPolylineUnderAHugePenCoversThePage)
{
    TPicture pic(kPageW, kPageH);
    WidePen(pic, 1, 100000);
    Poly(pic, EMR_POLYLINE, ScatteredPoints(1000000, kPageW, kPageH));
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(pic, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
        EXPECT_TRUE(AllInk(t.Image)) << scale;
    }
}

TEST(EmfDrawBudget, WidenedPathUnderAHugePenCoversThePage)
{
    TPicture pic(kPageW, kPageH);
    pic.Rec(EMR_BEGINPATH, {});
    Poly(pic, EMR_POLYLINE, ScatteredPoints(100000, kPageW, kPageH));
    pic.Rec(EMR_ENDPATH, {});
    WidePen(pic, 1, 100000);
    pic.Rec(EMR_WIDENPATH, {});
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    pic.Rec(EMR_SETPOLYFILLMODE, {WINDING}); // the widened outline overlaps itself
    pic.Rec(EMR_FILLPATH, {0, 0, -1, -1});
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(pic, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
        EXPECT_TRUE(AllInk(t.Image)) << scale;
    }
}

// A million glyphs of a font a million units tall: past the first, none can show, and the
// page is the page of the first alone.
TEST(EmfDrawBudget, MillionGlyphsOfAHugeFontDrawWhatShows)
{
    auto page = [](std::uint32_t n) {
        TPicture pic(kPageW, kPageH);
        Font(pic, 1, -1000000);
        pic.Rec(EMR_SELECTOBJECT, {1});
        LongText(pic, -200, -4000, n, 'W', 0);
        return pic;
    };
    const TPicture many = page(1000000), one = page(1);
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(many, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
        const QImage alone = one.Play(scale);
        if (scale == 1.0) { // the W's first stroke crosses the page
            const QRect ink = InkBox(alone);
            EXPECT_TRUE(!ink.isEmpty() && !AllInk(alone));
        }
        EXPECT_EQ(CountDiffering(t.Image, alone), 0) << scale;
    }
}

// 16384 x 16384 pixels in 257 KB: the runs fill the bottom rows, red on the left half and
// blue on the right; the rest of the bitmap is left unwritten and shows the page.
TEST(EmfDrawBudget, QuarterGigapixelRunLengthBitmapDrawsItsRows)
{
    TPicture pic(kPageW, kPageH);
    const std::vector<std::uint8_t> rle = HalvesRle8(16384, 263000);
    const int rowsWritten = int((rle.size() - 2) / (2 * (2 * ((8192 + 254) / 255)) + 2));
    Rle8Blit(pic, QRect(100, 100, 600, 900), 16384, 16384, rle);
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(pic, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
        const QImage& img = t.Image;
        // The written rows' band at the bottom of the destination, and above it the page.
        const int bottom = int(std::floor(1000 * scale)) - 1;
        const int band = int(900 * scale * rowsWritten / 16384.0);
        ASSERT_GE(band, 3) << scale;
        const int y = bottom - band / 2;
        EXPECT_EQ(img.pixel(int(200 * scale), y), qRgb(255, 0, 0)) << scale;
        EXPECT_EQ(img.pixel(int(600 * scale), y), qRgb(0, 0, 255)) << scale;
        EXPECT_EQ(img.pixel(int(400 * scale), int(300 * scale)), qRgb(255, 255, 255)) << scale;
        EXPECT_EQ(img.pixel(int(50 * scale), y), qRgb(255, 255, 255)) << scale;
    }
}

// A clip path of 20,000 small squares clips a fill of the whole page to exactly the
// squares a plain fill draws.
TEST(EmfDrawBudget, ClipPathOfTwentyThousandFiguresClipsExactly)
{
    TPicture clipped(kPageW, kPageH), plain(kPageW, kPageH);
    SquaresClipPath(clipped, 20000, 160, 5, 3);
    clipped.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)});
    clipped.Rec(EMR_RECTANGLE, {0, 0, kPageW, kPageH});
    plain.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)});
    for (int i = 0; i < 20000; ++i) {
        const int x = (i % 160) * 5, y = (i / 160) * 5;
        plain.Rec(EMR_RECTANGLE, {x, y, x + 3, y + 3});
    }
    const TTimed t = PlayTimed(clipped, 1.0);
    EXPECT_LT(t.Seconds, kMostSeconds);
    EXPECT_FALSE(InkBox(t.Image).isEmpty());
    EXPECT_EQ(CountDiffering(t.Image, plain.Play()), 0);
}

// Figures grouped in one sweep give the polygons, and so the regions, that grouping every
// pair gives, overlapping and turning either way, under both fill rules.
TEST(EmfDrawBudget, FillPolygonsOfManyFiguresMatchThePairwiseGrouping)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> at(0, 600), size(3, 60);
    QPainterPath path;
    for (int i = 0; i < 400; ++i) {
        const QRectF r(at(rng), at(rng), size(rng), size(rng));
        QPolygonF poly({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()});
        if (i % 3 == 0)
            std::reverse(poly.begin(), poly.end());
        path.addPolygon(poly);
        path.closeSubpath();
    }
    for (const Qt::FillRule rule : {Qt::OddEvenFill, Qt::WindingFill}) {
        path.setFillRule(rule);
        QRegion ours, pairwise;
        for (const QPolygonF& poly : FillPolygons(path))
            ours += QRegion(poly.toPolygon(), rule);
        for (const QPolygonF& poly : path.toFillPolygons())
            pairwise += QRegion(poly.toPolygon(), rule);
        EXPECT_FALSE(ours.isEmpty());
        EXPECT_EQ(ours, pairwise) << rule;
    }
}

// What a window of a zoomed page shows is what the whole page shows there: strokes cut to
// the window and pens narrowed to it change no pixel of it.
TEST(EmfDrawBudget, WindowOfAZoomedPageMatchesTheWholePage)
{
    TPicture pic(300, 300, 8);
    std::vector<QPoint> zigzag;
    for (int i = 0; i < 60; ++i)
        zigzag.emplace_back(-200 + i * 12, (i % 2) ? 40 : 260);
    // Wide round, square-capped mitred and dashed pens, a polygon, a widened path, text.
    WidePen(pic, 1, 9, 0x0000FF);
    Poly(pic, EMR_POLYLINE, zigzag);
    pic.Rec(EMR_EXTCREATEPEN, {2, 0, 0, 0, 0, std::int32_t(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_MITER),
                               15, BS_SOLID, 0x00008000, 0, 0});
    pic.Rec(EMR_SELECTOBJECT, {2});
    Poly(pic, EMR_POLYLINE, {{-50, 150}, {120, 100}, {350, 180}, {130, 400}, {100, 20}});
    pic.Rec(EMR_CREATEPEN, {3, PS_DASH, 1, 0, 0});
    pic.Rec(EMR_SELECTOBJECT, {3});
    Poly(pic, EMR_POLYLINE, {{0, 0}, {300, 290}, {-400, 120}, {280, 10}});
    WidePen(pic, 4, 6, 0x808000);
    pic.Rec(EMR_SELECTOBJECT, {Stock(GRAY_BRUSH)});
    Poly(pic, EMR_POLYGON, {{20, 200}, {500, 230}, {150, 290}, {60, 600}});
    pic.Rec(EMR_BEGINPATH, {});
    Poly(pic, EMR_POLYLINE, {{-100, 100}, {200, 60}, {260, 250}, {-30, 280}});
    pic.Rec(EMR_ENDPATH, {});
    WidePen(pic, 5, 11);
    pic.Rec(EMR_WIDENPATH, {});
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    pic.Rec(EMR_FILLPATH, {0, 0, -1, -1});
    Font(pic, 6, -30);
    pic.Rec(EMR_SELECTOBJECT, {6});
    Text(pic, -40, 120, "Window of the whole page");
    // A pen wider than twice the window's diagonal, along a line through it.
    WidePen(pic, 7, 120, 0x00C0C0);
    Poly(pic, EMR_POLYLINE, {{150, -100}, {170, 400}});

    constexpr int kFull = 2400; // eight times the picture
    const QImage whole = PlayWindow(pic, kFull, 0, 0, kFull, kFull);
    for (const QRect window : {QRect(700, 900, 200, 150), QRect(0, 300, 320, 240), QRect(1190, 0, 120, 400)}) {
        const QImage part = PlayWindow(pic, kFull, window.x(), window.y(), window.width(), window.height());
        EXPECT_EQ(CountDiffering(part, whole.copy(window)), 0) << window.x() << "," << window.y();
    }
}

// A 6-megapixel bitmap, drawn small and drawn through a window of a zoomed page, is decoded
// only in the part that shows and looks as the whole bitmap drawn by Qt looks.
TEST(EmfDrawBudget, LargeBitmapDrawnSmallOrZoomedLooksAsWhole)
{
    constexpr int kW = 3000, kH = 2000;
    QImage bitmap(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            bitmap.setPixel(x, y, qRgb((x / 100) * 8, (y / 100) * 12, ((x / 100 + y / 100) % 2) * 255));
    // STRETCHDIBITS of the bitmap, 24 bits, bottom-up.
    auto page = [&](QRect dest) {
        TPicture pic(400, 400);
        std::vector<std::uint8_t> p;
        const std::uint32_t stride = (kW * 3 + 3) / 4 * 4;
        for (int i = 0; i < 4; ++i)
            PutI32(p, 0);
        PutI32(p, dest.x()); PutI32(p, dest.y()); PutI32(p, 0); PutI32(p, 0); PutI32(p, kW); PutI32(p, kH);
        PutI32(p, 80); PutI32(p, 40); PutI32(p, 120); PutI32(p, std::int32_t(stride * kH));
        PutI32(p, DIB_RGB_COLORS); PutI32(p, std::int32_t(0x00CC0020)); PutI32(p, dest.width()); PutI32(p, dest.height());
        PutI32(p, 40); PutI32(p, kW); PutI32(p, kH); PutI32(p, 1 | (24 << 16)); PutI32(p, 0);
        PutI32(p, 0); PutI32(p, 0); PutI32(p, 0); PutI32(p, 0); PutI32(p, 0);
        for (int y = kH - 1; y >= 0; --y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
            for (int x = 0; x < kW; ++x) {
                p.push_back(std::uint8_t(qBlue(line[x])));
                p.push_back(std::uint8_t(qGreen(line[x])));
                p.push_back(std::uint8_t(qRed(line[x])));
            }
            for (std::uint32_t k = kW * 3; k < stride; ++k)
                p.push_back(0);
        }
        pic.Raw(EMR_STRETCHDIBITS, std::move(p));
        return pic;
    };
    auto expected = [&](int full, QRect dest, QRect window) {
        QImage img(window.size(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        const double f = full / 400.0;
        p.drawImage(QRectF(dest.x() * f - window.x(), dest.y() * f - window.y(), dest.width() * f, dest.height() * f),
                    bitmap);
        return img;
    };
    // Shrunk onto a small page, and a window of a page zoomed twenty times.
    const struct {
        QRect Dest;
        int Full;
        QRect Window;
    } cases[] = {{QRect(50, 50, 300, 200), 400, QRect(0, 0, 400, 400)},
                 {QRect(0, 0, 400, 300), 8000, QRect(3000, 2000, 300, 200)}};
    for (const auto& c : cases) {
        const QImage shown = PlayWindow(page(c.Dest), c.Full, c.Window.x(), c.Window.y(), c.Window.width(),
                                        c.Window.height());
        const QImage want = expected(c.Full, c.Dest, c.Window);
        // Pixels may differ only where a sample falls on the other side of a block's edge.
        EXPECT_LT(CountDiffering(shown, want), shown.width() * shown.height() / 50) << c.Full;
    }
}

// Records small on the page and large on the device: 200,000 rectangles and pattern blits
// each filling the whole page. The first ones are drawn, the rest skipped.
TEST(EmfDrawBudget, ManyWholePageFillsStopAtTheBudget)
{
    TPicture rects(kPageW, kPageH), blits(kPageW, kPageH);
    rects.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)});
    blits.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    for (int i = 0; i < 200000; ++i) {
        rects.Rec(EMR_RECTANGLE, {0, 0, kPageW, kPageH});
        blits.Rec(EMR_BITBLT, {0, 0, 0, 0, 0, 0, kPageW, kPageH, std::int32_t(0x00F00021)}); // PATCOPY
    }
    for (const TPicture* pic : {&rects, &blits}) {
        const TTimed t = PlayTimed(*pic, 1.0);
        EXPECT_LT(t.Seconds, kMostSeconds);
        EXPECT_TRUE(AllInk(t.Image));
        bool spent = false;
        BudgetUsed(pic->Bytes(), kPageW, kPageH, &spent);
        EXPECT_TRUE(spent);
    }
}

// A page that spends its budget stops there: what was drawn stays, the rest is skipped.
TEST(EmfDrawBudget, PageStopsWhereItsBudgetIsSpent)
{
    TPicture pic(kPageW, kPageH);
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    pic.Rec(EMR_RECTANGLE, {10, 10, 100, 100});
    WidePen(pic, 1, 3, 0x0000FF);
    // Two hundred thousand tall segments: far more rows than the page's budget.
    std::vector<QPoint> tall;
    for (int i = 0; i < 200000; ++i)
        tall.emplace_back(200 + (i % 400), (i % 2) ? 150 : 1050);
    Poly(pic, EMR_POLYLINE, tall);
    pic.Rec(EMR_RECTANGLE, {700, 10, 790, 100});
    const auto bytes = pic.Bytes();
    bool spent = false;
    EXPECT_GE(BudgetUsed(bytes, kPageW, kPageH, &spent), 0.99);
    EXPECT_TRUE(spent);
    const QImage img = pic.Play();
    EXPECT_TRUE(Ink(img, 50, 50));    // before the polyline
    EXPECT_TRUE(Ink(img, 201, 600));  // its first segments
    EXPECT_FALSE(Ink(img, 745, 50));  // after it: skipped
}

namespace {

// A corpus picture and the size of its frame in pixels at a resolution (each side held
// to 16 to 4000 pixels).
struct TCorpusPage {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    int Width = 0, Height = 0;
};

std::vector<TCorpusPage> CorpusPages(double dpi)
{
    const QDir dir(QStringLiteral(QRP_TEST_DATA "/emf/corpus"));
    std::vector<TCorpusPage> pages;
    for (const QString& name : dir.entryList({QStringLiteral("*.emf")}, QDir::Files, QDir::Name)) {
        TCorpusPage page;
        page.Name = name.toStdString();
        page.Bytes = qrp::test::ReadAll(dir.filePath(name).toStdString());
        qrp::TEmfHeaderInfo header;
        EXPECT_TRUE(ReadEmfHeader(page.Bytes.data(), page.Bytes.size(), header)) << page.Name;
        const double fw = double(header.Frame.Right) - header.Frame.Left;
        const double fh = double(header.Frame.Bottom) - header.Frame.Top;
        page.Width = std::clamp(int(fw * dpi / 2540), 16, 4000);
        page.Height = std::clamp(int(fh * dpi / 2540), 16, 4000);
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace

// The corpus pages, at their natural size and as small thumbnails, use a small part of
// their budget.
TEST(EmfDrawBudget, CorpusPagesStayWellWithinTheirBudget)
{
    const auto pages = CorpusPages(96);
    ASSERT_GE(pages.size(), 90u);
    double most = 0;
    for (const TCorpusPage& page : pages) {
        const int w = page.Width, h = page.Height;
        for (const QSize size : {QSize(w, h), QSize(128, std::max(16, int(128.0 * h / w)))}) {
            bool spent = true;
            const double used = BudgetUsed(page.Bytes, size.width(), size.height(), &spent);
            EXPECT_FALSE(spent) << page.Name;
            most = std::max(most, used);
        }
    }
    RecordProperty("most_used", std::to_string(most));
    EXPECT_LT(most, 0.25);
}

namespace {

// A geometric pen of the given style (PS_DASH, PS_DOT, ...), width and joins.
TPicture& DashedPen(TPicture& pic, int handle, std::uint32_t style, int width, std::uint32_t join = PS_JOIN_MITER)
{
    pic.Rec(EMR_EXTCREATEPEN, {handle, 0, 0, 0, 0, std::int32_t(PS_GEOMETRIC | style | PS_ENDCAP_FLAT | join), width,
                               BS_SOLID, 0x00800000, 0, 0});
    return pic.Rec(EMR_SELECTOBJECT, {handle});
}

// The picture played onto a w x h image at target (device pixels), dashed strokes cut to
// what shows from dashLimit dashes on.
QImage PlayWithDashLimit(const TPicture& pic, const QRectF& target, int w, int h, double dashLimit)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    const auto bytes = pic.Bytes();
    TEmfReader reader(bytes.data(), bytes.size());
    if (!reader.Valid())
        return {};
    TEmfPlayback playback(p, reader.Header(), target);
    playback.SetDashLimit(dashLimit);
    playback.Play(reader);
    return img;
}

int CountInk(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += Ink(img, x, y);
    return n;
}

} // namespace

// A segment crossing the area from far outside is trimmed to it and its run starts at the
// length up to there; runs of a figure that leaves and comes back start where they enter.
TEST(EmfDrawBudget, DashRunsAreTrimmedToTheAreaAndKeepTheirLength)
{
    const QRectF area(0, 0, 100, 10);
    const auto across = DashRuns({QPolygonF({QPointF(-1e9, 5), QPointF(1e9, 5)})}, area);
    ASSERT_EQ(across.size(), 1u);
    EXPECT_EQ(across[0].Points, QPolygonF({QPointF(0, 5), QPointF(100, 5)}));
    EXPECT_DOUBLE_EQ(across[0].Start, 1e9);

    // In, out through the bottom and back, and a last segment that stays out.
    const QPolygonF zigzag({QPointF(-10, 5), QPointF(50, 5), QPointF(50, 40), QPointF(60, 40), QPointF(60, 5),
                            QPointF(200, 5), QPointF(200, 50)});
    const auto runs = DashRuns({zigzag}, area);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].Points, QPolygonF({QPointF(0, 5), QPointF(50, 5), QPointF(50, 10)}));
    EXPECT_DOUBLE_EQ(runs[0].Start, 10);
    EXPECT_EQ(runs[1].Points, QPolygonF({QPointF(60, 10), QPointF(60, 5), QPointF(100, 5)}));
    EXPECT_DOUBLE_EQ(runs[1].Start, 60 + 35 + 10 + 30);
    EXPECT_TRUE(DashRuns({QPolygonF({QPointF(-5, -5), QPointF(200, -5)})}, area).empty());

    // A curve reaching far out is flattened only near the area; the run after it starts
    // about the curve's length on.
    QPainterPath arch;
    arch.moveTo(-1e9, 5);
    arch.cubicTo(-1e9, -1e9, 0, -1e9, 0, 5);
    const double archLength = arch.length();
    arch.lineTo(50, 5);
    const auto after = DashRuns(arch, area);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back().Points.last(), QPointF(50, 5));
    EXPECT_NEAR(after.back().Start, archLength, archLength / 50);
    std::size_t points = 0;
    for (const TDashRun& run : after)
        points += std::size_t(run.Points.size());
    EXPECT_LT(points, 2000u);
}

// Dashed strokes cut to what shows look as the same strokes dashed whole: windows of a
// zoomed page with every dashed stroke cut (no dash limit), and the whole page played with
// none cut, where the strokes lie wholly on it.
TEST(EmfDrawBudget, DashedStrokesCutToTheWindowMatchTheWholeStrokes)
{
    TPicture pic(300, 300, 12);
    std::vector<QPoint> zigzag;
    for (int i = 0; i < 30; ++i)
        zigzag.emplace_back(10 + i * 9, (i % 2) ? 20 : 280);
    DashedPen(pic, 1, PS_DASH, 3);
    Poly(pic, EMR_POLYLINE, zigzag);
    DashedPen(pic, 2, PS_DASHDOT, 2, PS_JOIN_ROUND);
    pic.Rec(EMR_SELECTOBJECT, {Stock(LTGRAY_BRUSH)});
    Poly(pic, EMR_POLYGON, {{10, 150}, {120, 100}, {290, 180}, {130, 290}, {100, 20}});
    DashedPen(pic, 3, PS_DOT, 2, PS_JOIN_BEVEL);
    pic.Rec(EMR_MOVETOEX, {5, 290}).Rec(EMR_LINETO, {295, 10});
    pic.Rec(EMR_RECTANGLE, {40, 60, 260, 240});
    DashedPen(pic, 4, PS_DASHDOTDOT, 3);
    pic.Rec(EMR_BEGINPATH, {});
    Poly(pic, EMR_POLYLINE, {{10, 100}, {200, 60}, {260, 250}, {30, 280}, {150, 10}});
    pic.Rec(EMR_ENDPATH, {});
    pic.Rec(EMR_STROKEPATH, {0, 0, -1, -1});
    pic.Rec(EMR_BEGINPATH, {});
    Poly(pic, EMR_POLYLINE, {{20, 30}, {280, 200}, {10, 270}});
    pic.Rec(EMR_ENDPATH, {});
    pic.Rec(EMR_WIDENPATH, {});
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    pic.Rec(EMR_FILLPATH, {0, 0, -1, -1});

    constexpr int kFull = 1200; // four times the picture
    const QImage whole = PlayWithDashLimit(pic, QRectF(0, 0, kFull, kFull), kFull, kFull, 1e300);
    for (const QRect window : {QRect(300, 500, 200, 150), QRect(0, 0, 320, 240), QRect(900, 300, 300, 400)}) {
        const QRectF target(-window.x(), -window.y(), kFull, kFull);
        const QImage cut = PlayWithDashLimit(pic, target, window.width(), window.height(), 0);
        const QImage want = whole.copy(window);
        EXPECT_GT(CountInk(want), window.width() * window.height() / 50) << window.x();
        EXPECT_EQ(CountDiffering(cut, want), 0) << window.x() << "," << window.y();
    }

    // Curves are flattened where they are cut: the same dashes, give or take a pixel at
    // their ends.
    TPicture curves(300, 300);
    DashedPen(curves, 1, PS_DASH, 3);
    Poly(curves, EMR_POLYBEZIER, {{10, 20}, {100, 600}, {250, -300}, {290, 250}, {300, 400}, {-50, 300}, {150, 150}});
    const QRect window(300, 400, 300, 300);
    const QImage want = PlayWithDashLimit(curves, QRectF(0, 0, kFull, kFull), kFull, kFull, 1e300).copy(window);
    const QImage cut = PlayWithDashLimit(curves, QRectF(-window.x(), -window.y(), kFull, kFull), 300, 300, 0);
    EXPECT_GT(CountInk(want), 1000);
    EXPECT_LT(CountDiffering(cut, want), CountInk(want) / 20);
}

// Dashed strokes a billion pixels long are dashed only where they show: fast, and the
// dashes that show are those of the same pen along a short line in the same phase.
TEST(EmfDrawBudget, BillionPixelDashedStrokesDrawWhatShows)
{
    constexpr int kW = 400, kH = 300;
    constexpr int kPeriod = 4 * 6; // PS_DASH: three widths on, one off
    constexpr int kFar = 1000000000;
    // The start of the short line: in the dashes' phase, just left of the page.
    const int near = -kFar + ((kFar - 40) / kPeriod) * kPeriod;
    auto page = [&](int from, int to, std::uint32_t kind) {
        TPicture pic(kW, kH);
        DashedPen(pic, 1, PS_DASH, 6);
        switch (kind) {
        case EMR_POLYLINE: Poly(pic, EMR_POLYLINE, {{from, 100}, {to, 100}}); break;
        case EMR_LINETO: pic.Rec(EMR_MOVETOEX, {from, 150}).Rec(EMR_LINETO, {to, 150}); break;
        case EMR_WIDENPATH:
            // A pen one pixel wide, dotted every 6 pixels as the dashes repeat every 24.
            pic.Rec(EMR_CREATEPEN, {2, PS_DOT, 1, 0, 0}).Rec(EMR_SELECTOBJECT, {2});
            pic.Rec(EMR_BEGINPATH, {});
            Poly(pic, EMR_POLYLINE, {{from, 250}, {to, 250}});
            pic.Rec(EMR_ENDPATH, {}).Rec(EMR_WIDENPATH, {});
            pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)}).Rec(EMR_SELECTOBJECT, {Stock(NULL_PEN)});
            pic.Rec(EMR_FILLPATH, {0, 0, -1, -1});
            break;
        default: Poly(pic, EMR_POLYBEZIER, {{from, 200}, {from / 3, 200}, {to / 3, 200}, {to, 200}}); break;
        }
        return pic;
    };
    for (const std::uint32_t kind : {std::uint32_t(EMR_POLYLINE), std::uint32_t(EMR_LINETO), std::uint32_t(EMR_POLYBEZIER),
                                     std::uint32_t(EMR_WIDENPATH)}) {
        const TTimed huge = PlayTimed(page(-kFar, kFar, kind), 1.0);
        EXPECT_LT(huge.Seconds, kMostSeconds) << kind;
        const QImage shortLine = page(near, kW + 40, kind).Play();
        EXPECT_GT(CountInk(shortLine), kW / 3) << kind;
        EXPECT_EQ(CountDiffering(huge.Image, shortLine), 0) << kind;
    }
    // Closed: the outline of a rectangle a billion pixels wide, and the same widened.
    TPicture rect(kW, kH);
    DashedPen(rect, 1, PS_DOT, 4);
    rect.Rec(EMR_SELECTOBJECT, {Stock(NULL_BRUSH)});
    rect.Rec(EMR_RECTANGLE, {-kFar, 50, kFar, 250});
    rect.Rec(EMR_BEGINPATH, {});
    Poly(rect, EMR_POLYLINE, {{-kFar, 20}, {kFar, 280}});
    rect.Rec(EMR_ENDPATH, {});
    rect.Rec(EMR_WIDENPATH, {});
    rect.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    rect.Rec(EMR_FILLPATH, {0, 0, -1, -1});
    const TTimed t = PlayTimed(rect, 1.0);
    EXPECT_LT(t.Seconds, kMostSeconds);
    EXPECT_GT(CountInk(t.Image), kW * 2);
}

// Figures that all overlap one another are grouped in time that grows with their number,
// into polygons that fill as the pairwise grouping fills.
TEST(EmfDrawBudget, FillPolygonsOfDenselyOverlappingFiguresMatchThePairwiseGrouping)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> at(0, 400);
    QPainterPath path;
    for (int i = 0; i < 1000; ++i) {
        path.moveTo(at(rng), at(rng));
        for (int k = 0; k < 3; ++k)
            path.lineTo(at(rng), at(rng));
        path.closeSubpath();
    }
    for (const Qt::FillRule rule : {Qt::OddEvenFill, Qt::WindingFill}) {
        path.setFillRule(rule);
        QElapsedTimer timer;
        timer.start();
        const QList<QPolygonF> ours = FillPolygons(path);
        EXPECT_LT(timer.nsecsElapsed() / 1e9, 0.5) << rule;
        // Both as regions of a window: regions of the whole overlap are slow to make.
        const QRect window(150, 150, 40, 30);
        auto fill = [&](const QList<QPolygonF>& polygons) {
            QImage img(window.size(), QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            p.translate(-window.topLeft());
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            for (const QPolygonF& poly : polygons)
                p.drawPolygon(poly, rule);
            return img;
        };
        const QImage a = fill(ours), b = fill(path.toFillPolygons());
        EXPECT_GT(CountInk(b), 0) << rule;
        EXPECT_EQ(CountDiffering(a, b), 0) << rule;
    }
}

// A clip path of fifteen thousand figures strewn along a few rows, every one over every
// other: one polygon of sixty thousand short edges, whose region costs far more than its
// edges' rows. The page stays within its bounds.
TEST(EmfDrawBudget, ClipPathOfOverlappingFiguresStaysBounded)
{
    TPicture pic(kPageW, kPageH);
    pic.Rec(EMR_BEGINPATH, {});
    std::vector<QPoint> pts = ScatteredPoints(60000, kPageW, 4, 3);
    for (std::size_t i = 0; i + 4 <= pts.size(); i += 4)
        Poly(pic, EMR_POLYGON, {pts[i] + QPoint(0, 500), pts[i + 1] + QPoint(0, 500), pts[i + 2] + QPoint(0, 500),
                                pts[i + 3] + QPoint(0, 500)});
    pic.Rec(EMR_ENDPATH, {});
    pic.Rec(EMR_SELECTCLIPPATH, {RGN_AND});
    pic.Rec(EMR_SELECTOBJECT, {Stock(BLACK_BRUSH)});
    pic.Rec(EMR_RECTANGLE, {0, 0, kPageW, kPageH});
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(pic, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
    }
}

// Twenty thousand curves a million units across under a dashed pen wider than the page:
// every curve comes near the page, and what is flattened of them stops at the budget.
TEST(EmfDrawBudget, ManyLargeCurvesUnderAWideDashedPenStayBounded)
{
    TPicture pic(kPageW, kPageH);
    DashedPen(pic, 1, PS_DASHDOT, 20000);
    std::vector<QPoint> pts = ScatteredPoints(60001, 2000000, 2000000, 9);
    for (QPoint& p : pts)
        p -= QPoint(1000000, 1000000);
    Poly(pic, EMR_POLYBEZIER, pts);
    for (const double scale : kScales) {
        const TTimed t = PlayTimed(pic, scale);
        EXPECT_LT(t.Seconds, kMostSeconds) << scale;
    }
    // The runs stop at the points asked for.
    QPainterPath curves;
    curves.moveTo(pts[0]);
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        curves.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    std::size_t points = 0;
    for (const TDashRun& run : DashRuns(curves, QRectF(-30000, -30000, 60000, 60000), 5000))
        points += std::size_t(run.Points.size());
    EXPECT_LE(points, 5000u);
    EXPECT_GE(points, 4999u); // a run is not started with one point left
}

// The corpus pages (some with wide pens of their own dash styles) draw pixel for pixel the
// same at twice their size with every dashed stroke cut to what shows as with none cut,
// and so with the usual dash limit whatever it cuts of them.
TEST(EmfDrawBudget, CorpusPagesDrawTheSameWithTheDashLimit)
{
    const auto pages = CorpusPages(192);
    ASSERT_GE(pages.size(), 90u);
    for (const TCorpusPage& page : pages) {
        const auto& bytes = page.Bytes;
        const int w = page.Width, h = page.Height;
        auto play = [&](double dashLimit) {
            QImage img(w, h, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            TEmfReader reader(bytes.data(), bytes.size());
            TEmfPlayback playback(p, reader.Header(), QRectF(0, 0, w, h));
            playback.SetDashLimit(dashLimit);
            playback.Play(reader);
            return img;
        };
        EXPECT_EQ(CountDiffering(play(0), play(1e300)), 0) << page.Name;
    }
}
