// The image sizes of the drawing commands: whatever a picture's frame asks for, the
// image stays within the limits of a side and of an area, drawn smaller with a line
// saying so; a size given in pixels over the limits is refused.
#include "ToolTestSupport.h"

#include "tests/support/TestEmf.h"
#include "tools/qrptool/CanvasSize.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <cmath>

using namespace qrp;
using namespace qrp::test;
using namespace qrptool;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

// The size a PNG file states, without decoding its pixels.
QSize ImageSize(const QString& path)
{
    return QImageReader(path).size();
}

constexpr std::int32_t kBillion = 1000000000;

void ExpectAllowed(const TCanvasSize& s)
{
    EXPECT_TRUE(CanvasAllowed(s.Width, s.Height)) << s.Width << " x " << s.Height;
}

// Writes a report of one page holding `emf` (its frame says the page's size).
void WriteOnePage(const QString& path, const std::vector<std::uint8_t>& emf)
{
    TQRPageList list;
    list.SetStorage(std::make_unique<TQRStream>(100000));
    TMetafile picture;
    picture.LoadFromBytes(emf);
    list.AppendPage(picture);
    list.Complete();
    list.CopyToFile(path.toStdString());
}

} // namespace

TEST(CanvasSize, SizesWithinTheLimitsAreKept)
{
    // Among them A4 and Letter at 600 dpi.
    for (const auto& [w, h] : std::vector<std::pair<double, double>>{
             {1, 1}, {794, 1123}, {20000, 1}, {1, 20000}, {6000, 6000}, {2250, 16000}, {20000, 1800},
             {4961, 7016}, {5100, 6600}}) {
        const TCanvasSize s = FitCanvas(w, h);
        EXPECT_FALSE(s.Reduced) << w << " x " << h;
        EXPECT_EQ(s.Width, int(w));
        EXPECT_EQ(s.Height, int(h));
    }
    // Fractions round; nothing, negatives and NaN become one pixel.
    EXPECT_EQ(FitCanvas(396.5, 561.4).Width, 397);
    EXPECT_EQ(FitCanvas(396.5, 561.4).Height, 561);
    for (const double bad : {0.0, -5.0, -1e12, std::nan("")}) {
        const TCanvasSize s = FitCanvas(bad, 10);
        EXPECT_EQ(s.Width, 1) << bad;
        EXPECT_EQ(s.Height, 10) << bad;
        EXPECT_FALSE(s.Reduced);
    }
}

TEST(CanvasSize, LargerSizesAreReducedKeepingTheirProportions)
{
    struct Case {
        double W, H;
    };
    for (const Case& c : {Case{20001, 10}, Case{6001, 6001}, Case{1e9, 1e9}, Case{3.9e7, 5.5e7},
                          Case{1e15, 1}, Case{1, 1e15}, Case{15884, 22464}, Case{20000, 1801},
                          Case{1e308, 1e308}}) {
        const TCanvasSize s = FitCanvas(c.W, c.H);
        EXPECT_TRUE(s.Reduced) << c.W << " x " << c.H;
        ExpectAllowed(s);
        // As large as allowed: one of the limits is reached (within a pixel's rounding).
        const double area = double(s.Width) * s.Height;
        const bool full = s.Width == kMaxCanvasSide || s.Height == kMaxCanvasSide ||
                          area + s.Width + s.Height + 1 > double(kMaxCanvasArea);
        EXPECT_TRUE(full) << s.Width << " x " << s.Height;
        // The proportions stay, to the pixel, unless a side is down to one pixel.
        if (s.Width > 1 && s.Height > 1) {
            EXPECT_NEAR(double(s.Width) / s.Height, c.W / c.H, (c.W / c.H) * 2.0 / std::min(s.Width, s.Height))
                << c.W << " x " << c.H;
        }
    }
    EXPECT_EQ(FitCanvas(1e9, 1e9).Width, 6000);
    EXPECT_EQ(FitCanvas(40000, 100).Width, 20000);
    EXPECT_EQ(FitCanvas(40000, 100).Height, 50);
    // The limits themselves.
    EXPECT_TRUE(CanvasAllowed(20000, 1800));
    EXPECT_FALSE(CanvasAllowed(20000, 1801));
    EXPECT_FALSE(CanvasAllowed(20001, 1));
    EXPECT_FALSE(CanvasAllowed(0, 5));
    EXPECT_NE(ReducedText("the picture", 1e9, 1e9, FitCanvas(1e9, 1e9)).find("(reduced to 6000 x 6000)"),
              std::string::npos);
}

TEST(CanvasSize, CommandsDrawAHugeFrameReducedAndSaySo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A picture of a few bytes whose frame is a billion hundredths of a millimetre.
    const auto emf = MakeEmf(kMinEmfLength, {0, 0, kBillion, kBillion / 2});
    const QString emfPath = dir.filePath("huge.emf"), report = dir.filePath("huge.qrp");
    WriteAll(emfPath.toStdString(), emf);
    WriteOnePage(report, emf);

    // emf-render at its natural size: reduced, proportions kept, one line on stderr.
    const QString png = dir.filePath("huge.png");
    auto r = RunProgram(kQrptool, {"emf-render", emfPath, "-o", png});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("(reduced to 8485 x 4242)")) << r.Err.toStdString();
    EXPECT_EQ(ImageSize(png), QSize(8485, 4242));

    // export-png: the same, page by page.
    const QString out = dir.filePath("png");
    r = RunProgram(kQrptool, {"export-png", report, "--dpi", "300", "-d", out});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("page 1 at 300 dpi would be")) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("(reduced to 8485 x 4242)")) << r.Err.toStdString();
    EXPECT_EQ(ImageSize(out + "/huge-1.png"), QSize(8485, 4242));
}

TEST(CanvasSize, ExplicitSizeOverTheLimitsIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString emfPath = dir.filePath("a.emf"), png = dir.filePath("a.png");
    WriteAll(emfPath.toStdString(), MakeEmf());
    for (const QStringList& size : {QStringList{"--width", "20000", "--height", "20000"},
                                    QStringList{"--width", "20001", "--height", "10"},
                                    QStringList{"--width", "6001", "--height", "6000"}}) {
        QStringList args{"emf-render", emfPath, "-o", png};
        args += size;
        const auto r = RunProgram(kQrptool, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(png));
    }
    // At the limits: drawn as asked.
    const auto r = RunProgram(kQrptool, {"emf-render", emfPath, "-o", png, "--width", "20000", "--height", "1800"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    EXPECT_EQ(ImageSize(png), QSize(20000, 1800));
}

TEST(CanvasSize, RenderAtTheLargestZoomStaysWithinTheLimits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString report = dir.filePath("r.qrp"), png = dir.filePath("r.png");
    WriteReport(report.toStdString(), 1, [](QPainter& p, int, int) { p.fillRect(0, 0, 400, 300, Qt::black); });
    const auto r = RunProgram(kQrptool, {"render", report, "--page", "1", "--zoom", "2000", "-o", png});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("(reduced to ")) << r.Err.toStdString();
    QImageReader reader(png);
    reader.setAllocationLimit(0);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(CanvasAllowed(image.width(), image.height())) << image.width() << " x " << image.height();
    // The page is still drawn: the block's corner is black, the paper white.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(qGray(rgb.pixel(rgb.width() / 20, rgb.height() / 40)), 60);
    EXPECT_GT(qGray(rgb.pixel(rgb.width() / 2, rgb.height() / 2)), 200);
}
