// Pages recorded on the metafile canvas play back as QPainter drew them directly.
#include "base/ScreenMetrics.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <functional>

using namespace qrp;

namespace {

using TScene = std::function<void(QPainter&)>;

QImage Direct(int w, int h, const TScene& scene)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    scene(p);
    return img;
}

TMetafile Recorded(int w, int h, const TScene& scene)
{
    TMetafile pic;
    pic.SetWidth(w);
    pic.SetHeight(h);
    TMetafileCanvas canvas(pic);
    {
        QPainter p(&canvas);
        scene(p);
    }
    canvas.Finish();
    return pic;
}

QImage Played(const TMetafile& pic, int w, int h, qreal scale = 1)
{
    QImage img(int(w * scale), int(h * scale), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PlayMetafile(p, pic, QRectF(0, 0, w * scale, h * scale));
    return img;
}

QImage RoundTrip(int w, int h, const TScene& scene)
{
    return Played(Recorded(w, h, scene), w, h);
}

bool Ink(const QImage& img, int x, int y)
{
    return qGray(img.pixel(x, y)) < 160;
}

// Bounding box of the non-white pixels.
QRect InkBox(const QImage& img)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

int Differences(const QImage& a, const QImage& b, int tolerance = 0)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance
                || std::abs(qBlue(p) - qBlue(q)) > tolerance)
                ++n;
        }
    return n;
}

QFont TestFont(int px)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    return f;
}

} // namespace

TEST(RecorderPlaybackTest, RectanglesAndLinesLandOnTheSamePixels)
{
    const TScene scene = [](QPainter& p) {
        p.drawRect(QRect(10, 10, 100, 50));  // outline 10..110
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawRect(QRect(130, 10, 40, 30)); // fill 130..169
        p.setPen(QPen(Qt::blue, 1));
        p.setBrush(QColor(0, 160, 0));
        p.drawRect(QRect(20, 80, 60, 40));
        p.setPen(QPen(Qt::black, 0));
        p.drawLine(10, 150, 180, 150);
        p.drawLine(190, 10, 190, 150);
        p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(100, 100, 180, 100);
    };
    const QImage direct = Direct(200, 170, scene);
    const QImage played = RoundTrip(200, 170, scene);
    EXPECT_EQ(Differences(direct, played), 0);
    // Spot checks at the edges.
    EXPECT_TRUE(Ink(played, 10, 30));
    EXPECT_TRUE(Ink(played, 110, 30));
    EXPECT_FALSE(Ink(played, 111, 30));
    EXPECT_EQ(played.pixel(169, 39), qRgb(200, 0, 0));
    EXPECT_EQ(played.pixel(170, 39), qRgb(255, 255, 255));
    EXPECT_EQ(played.pixel(130, 40), qRgb(255, 255, 255));
}

TEST(RecorderPlaybackTest, PolygonsAndPolylinesMatchTheDirectDrawing)
{
    const TScene scene = [](QPainter& p) {
        const QPoint tri[] = {{100, 10}, {180, 60}, {90, 70}};
        p.setBrush(QColor(250, 200, 0));
        p.drawPolygon(tri, 3);
        p.setBrush(Qt::NoBrush);
        const QPoint zig[] = {{120, 100}, {140, 160}, {160, 100}, {180, 160}};
        p.drawPolyline(zig, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::darkGreen);
        const QPointF star[] = {{20, 100}, {60, 170}, {90, 100}, {10, 140}, {100, 140}};
        p.drawPolygon(star, 5, Qt::WindingFill);
    };
    EXPECT_EQ(Differences(Direct(200, 180, scene), RoundTrip(200, 180, scene)), 0);
}

TEST(RecorderPlaybackTest, EllipsesAndCurvedPathsKeepTheirExtent)
{
    // Curves are rasterized from integer control points and ellipses the way the
    // player draws GDI ellipses, so edge pixels may differ; the extent may not.
    const TScene ellipse = [](QPainter& p) {
        p.setBrush(QColor(0, 0, 200));
        p.drawEllipse(QRect(10, 10, 60, 40));
    };
    const QImage e1 = Direct(100, 60, ellipse), e2 = RoundTrip(100, 60, ellipse);
    EXPECT_EQ(InkBox(e1), InkBox(e2));
    EXPECT_LE(Differences(e1, e2, 8), 2 * (60 + 40)); // the outline at most
    EXPECT_EQ(e2.pixel(40, 30), qRgb(0, 0, 200));

    const TScene path = [](QPainter& p) {
        QPainterPath path;
        path.moveTo(20, 10);
        path.lineTo(80, 10);
        path.cubicTo(100, 30, 100, 70, 60, 80);
        path.closeSubpath();
        p.setBrush(QColor(0, 150, 0));
        p.drawPath(path);
    };
    const QImage p1 = Direct(120, 100, path), p2 = RoundTrip(120, 100, path);
    const QRect a = InkBox(p1), b = InkBox(p2);
    EXPECT_NEAR(a.left(), b.left(), 1);
    EXPECT_NEAR(a.top(), b.top(), 1);
    EXPECT_NEAR(a.right(), b.right(), 1);
    EXPECT_NEAR(a.bottom(), b.bottom(), 1);
    EXPECT_EQ(p2.pixel(60, 40), qRgb(0, 150, 0));
}

TEST(RecorderPlaybackTest, HatchLinesKeepTheirEightPixelPitch)
{
    const TScene scene = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QBrush(Qt::black, Qt::HorPattern));
        p.drawRect(QRect(0, 0, 64, 64));
        p.setBrush(QBrush(Qt::black, Qt::VerPattern));
        p.drawRect(QRect(80, 0, 64, 64));
    };
    const QImage played = RoundTrip(160, 80, scene);
    std::vector<int> rows, cols;
    for (int y = 0; y < 64; ++y)
        if (Ink(played, 30, y))
            rows.push_back(y);
    for (int x = 80; x < 144; ++x)
        if (Ink(played, x, 30))
            cols.push_back(x);
    ASSERT_EQ(rows.size(), 8u);
    ASSERT_EQ(cols.size(), 8u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i] - rows[i - 1], 8);
        EXPECT_EQ(cols[i] - cols[i - 1], 8);
    }
    // Transparent gaps, nothing outside the rectangles.
    EXPECT_EQ(played.pixel(30, rows[0] + 4), qRgb(255, 255, 255));
    EXPECT_EQ(InkBox(played).right(), 143);
    for (int x = 0; x < 64; ++x)
        EXPECT_TRUE(Ink(played, x, rows[2]));
}

TEST(RecorderPlaybackTest, ClipEdgesAreKept)
{
    const TScene scene = [](QPainter& p) {
        p.translate(5, 5);
        p.setClipRect(QRect(10, 20, 50, 30));
        p.fillRect(QRect(0, 0, 200, 200), Qt::black);
        p.setClipRegion(QRegion(100, 10, 20, 20) + QRegion(130, 10, 20, 20));
        p.fillRect(QRect(90, 0, 100, 100), Qt::red);
        p.setClipping(false);
        p.save();
        p.setClipRect(QRect(0, 60, 20, 20));
        p.fillRect(QRect(0, 60, 40, 40), Qt::blue);
        p.restore(); // unclipped again
        p.fillRect(QRect(50, 90, 10, 10), Qt::green);
    };
    const QImage direct = Direct(200, 120, scene);
    const QImage played = RoundTrip(200, 120, scene);
    EXPECT_EQ(Differences(direct, played), 0);
    EXPECT_TRUE(Ink(played, 15, 25));
    EXPECT_FALSE(Ink(played, 14, 25));
    EXPECT_TRUE(Ink(played, 64, 54));
    EXPECT_FALSE(Ink(played, 65, 54));
    EXPECT_FALSE(Ink(played, 64, 55));
    EXPECT_EQ(played.pixel(125, 20), qRgb(255, 255, 255)); // between the two region parts
    EXPECT_EQ(played.pixel(135, 20), qRgb(255, 0, 0));
    EXPECT_EQ(played.pixel(24, 84), qRgb(0, 0, 255));
    EXPECT_EQ(played.pixel(25, 84), qRgb(255, 255, 255));
    EXPECT_EQ(played.pixel(55, 95), qRgb(0, 255, 0));
}

TEST(RecorderPlaybackTest, ImagesKeepTheirPixels)
{
    QImage src(4, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            src.setPixel(x, y, qRgb(60 * x, 100 * y, 255 - 60 * x));
    QImage alpha(2, 2, QImage::Format_ARGB32);
    alpha.fill(qRgba(0, 0, 0, 0));
    alpha.setPixel(0, 0, qRgba(255, 0, 0, 255));
    alpha.setPixel(1, 1, qRgba(0, 0, 255, 128));
    const TScene scene = [&](QPainter& p) {
        p.drawImage(QRect(10, 10, 40, 30), src);
        p.drawImage(QPoint(60, 10), src);
        p.drawImage(QRect(80, 10, 20, 20), alpha);
    };
    const QImage direct = Direct(120, 50, scene);
    const QImage played = RoundTrip(120, 50, scene);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(played.pixel(10 + 10 * x + 5, 10 + 10 * y + 5), src.pixel(x, y)) << x << "," << y;
            EXPECT_EQ(played.pixel(60 + x, 10 + y), src.pixel(x, y)) << x << "," << y;
        }
    EXPECT_EQ(played.pixel(85, 15), qRgb(255, 0, 0));
    EXPECT_EQ(played.pixel(95, 15), qRgb(255, 255, 255)); // fully transparent
    const QRgb half = played.pixel(95, 25);
    EXPECT_NEAR(qBlue(half), 255, 2);
    EXPECT_NEAR(qRed(half), 127, 3);
    EXPECT_LE(Differences(direct, played, 2), 0);
}

TEST(RecorderPlaybackTest, TextLandsOnItsBaselineWithItsWidth)
{
    const QString text = QStringLiteral("Importe total: 12.345,67");
    const TScene scene = [&](QPainter& p) {
        p.setFont(TestFont(15));
        p.drawText(QPointF(20, 40), text);
        QFont bold = TestFont(22);
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(QColor(0, 0, 160));
        p.drawText(QPointF(20, 90), QStringLiteral("Resumen"));
    };
    const QImage direct = Direct(320, 110, scene);
    const QImage played = RoundTrip(320, 110, scene);
    const QImage directLine1 = direct.copy(0, 0, 320, 50), playedLine1 = played.copy(0, 0, 320, 50);
    const QRect a = InkBox(directLine1), b = InkBox(playedLine1);
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    EXPECT_NEAR(b.left(), a.left(), 1);
    EXPECT_NEAR(b.right(), a.right(), 2);
    EXPECT_NEAR(b.top(), a.top(), 1);
    EXPECT_NEAR(b.bottom(), a.bottom(), 1);
    const QRect c = InkBox(direct.copy(0, 55, 320, 55)), d = InkBox(played.copy(0, 55, 320, 55));
    EXPECT_NEAR(d.left(), c.left(), 1);
    EXPECT_NEAR(d.right(), c.right(), 2);
    EXPECT_NEAR(d.bottom(), c.bottom(), 1);
    EXPECT_NEAR(d.top(), c.top(), 1);
    // The colour is the pen's.
    bool blue = false;
    for (int x = d.left(); x <= d.right(); ++x)
        blue |= played.pixel(x, 80) == qRgb(0, 0, 160);
    EXPECT_TRUE(blue);
}

TEST(RecorderPlaybackTest, RotatedAndScaledDrawingPlaysWhereItWasDrawn)
{
    const TScene scene = [](QPainter& p) {
        p.setFont(TestFont(14));
        p.save();
        p.translate(40, 150);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), QStringLiteral("Vertical"));
        p.restore();
        p.scale(2, 2);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(40, 10, 20, 10)); // device 80..120 x 20..40
        p.drawText(QPointF(40, 50), QStringLiteral("x2"));
    };
    const QImage direct = Direct(200, 160, scene);
    const QImage played = RoundTrip(200, 160, scene);
    const QRect a = InkBox(direct.copy(0, 60, 60, 100)), b = InkBox(played.copy(0, 60, 60, 100));
    EXPECT_NEAR(a.left(), b.left(), 1);
    EXPECT_NEAR(a.right(), b.right(), 1);
    EXPECT_NEAR(a.top(), b.top(), 2);
    EXPECT_NEAR(a.bottom(), b.bottom(), 1);
    const QRect c = InkBox(direct.copy(70, 0, 130, 110)), d = InkBox(played.copy(70, 0, 130, 110));
    EXPECT_EQ(c.topLeft(), d.topLeft());
    EXPECT_NEAR(c.right(), d.right(), 2);
    EXPECT_NEAR(c.bottom(), d.bottom(), 1);
}

TEST(RecorderPlaybackTest, PlayedLargerTheRecordedPageScales)
{
    const TScene scene = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRect(QRect(10, 20, 30, 40));
    };
    const QImage played = Played(Recorded(100, 100, scene), 100, 100, 4);
    EXPECT_EQ(InkBox(played), QRect(40, 80, 120, 160));
}

TEST(RecorderPlaybackTest, OpaqueBackgroundsArePaintedOnce)
{
    const TScene scene = [](QPainter& p) {
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(QColor(255, 255, 0));
        p.setFont(TestFont(16));
        p.drawText(QPointF(10, 30), QStringLiteral("Fondo"));
        p.setBrush(QBrush(Qt::red, Qt::CrossPattern));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRect(80, 10, 40, 40));
        p.setPen(QPen(Qt::black, 0, Qt::DashLine));
        p.drawLine(10, 60, 120, 60);
    };
    const QImage direct = Direct(140, 70, scene);
    const QImage played = RoundTrip(140, 70, scene);
    // The text's background box and the ellipse's hatch gaps are yellow, once.
    EXPECT_EQ(played.pixel(11, 32), qRgb(255, 255, 0));
    EXPECT_EQ(direct.pixel(11, 32), qRgb(255, 255, 0));
    int gaps = 0;
    for (int x = 90; x < 110; ++x)
        gaps += played.pixel(x, 30) == qRgb(255, 255, 0);
    EXPECT_GT(gaps, 10);
    const QRect a = InkBox(direct), b = InkBox(played);
    EXPECT_EQ(a.topLeft(), b.topLeft());
    EXPECT_EQ(a.bottom(), b.bottom());
    EXPECT_NEAR(a.right(), b.right(), 1); // the dashed line's last pixel
}

TEST(RecorderPlaybackTest, PagesRecordedAtAnotherScreenResolutionPlayAtTheirSize)
{
    SetScreenPixelsPerInch(120);
    const TScene scene = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRect(QRect(12, 24, 60, 36));
    };
    const TMetafile pic = Recorded(150, 100, scene);
    const int w = pic.Width(), h = pic.Height();
    SetScreenPixelsPerInch(96);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 100);
    EXPECT_EQ(InkBox(Played(pic, 150, 100)), QRect(12, 24, 60, 36));
}
