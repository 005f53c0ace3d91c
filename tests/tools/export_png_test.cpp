// qrptool export-png: one image per page of the range, at the resolution asked, and
// none at all when a page fails.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

// Page n has a black band whose height grows with n, so pages can be told apart.
void DrawBand(QPainter& p, int n, int)
{
    p.fillRect(QRect(0, 0, 794, 100 * n), Qt::black);
}

} // namespace

TEST(ExportPng, OneImagePerPageOfTheRange)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString report = dir.filePath("informe.qrp"), out = dir.filePath("png");
    WriteReport(report.toStdString(), 12, DrawBand);

    const auto r = RunProgram(kQrptool, {"export-png", report, "--pages", "2-3", "--dpi", "48", "-d", out});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), (QStringList{"informe-02.png", "informe-03.png"}));
    for (int n : {2, 3}) {
        const QImage image = QImage(out + QString("/informe-%1.png").arg(n, 2, 10, QChar('0')))
                                 .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(397, 562)); // 794 x 1123 at half of 96 dpi
        // The band ends at 50 * n pixels at this resolution.
        EXPECT_LT(qGray(image.pixel(200, 50 * n - 5)), 40) << n;
        EXPECT_GT(qGray(image.pixel(200, 50 * n + 5)), 215) << n;
    }

    const auto one = RunProgram(kQrptool, {"export-png", report, "--pages", "12", "-d", out});
    ASSERT_EQ(one.ExitCode, 0) << one.Err.toStdString();
    EXPECT_EQ(QImage(out + "/informe-12.png").size(), QSize(794, 1123));
}

TEST(ExportPng, FailureLeavesNoImages)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString report = dir.filePath("roto.qrp"), out = dir.filePath("png");
    WriteReport(report.toStdString(), 3, DrawBand);
    QFile f(report);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() - 200); // page 3 cut short
    f.close();

    auto r = RunProgram(kQrptool, {"export-png", report, "-d", out});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty());

    for (const QStringList& args : {QStringList{"export-png", report, "--pages", "0-1", "-d", out},
                                    QStringList{"export-png", report, "--pages", "2-1", "-d", out},
                                    QStringList{"export-png", report, "--pages", "1-9", "-d", out},
                                    QStringList{"export-png", report, "--pages", "a", "-d", out},
                                    QStringList{"export-png", report, "--dpi", "0", "-d", out},
                                    QStringList{"export-png", report}}) {
        r = RunProgram(kQrptool, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}
