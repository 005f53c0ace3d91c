// Rendering fidelity against how Windows GDI draws the corpus pages: every page is played
// at the size of its reference image and compared by ink overlap (pixels darker than 160
// in grey, each set grown by 2 pixels, intersection over union). The mean and every page
// are held to the floors recorded in corpus/floors.tsv.
#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

const QString kCorpus = QStringLiteral(QRP_TEST_DATA "/emf/corpus");

std::vector<std::uint8_t> ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

// Grey as the scorer takes it: the image flattened onto white, then ITU-R 601 luma
// with the same fixed-point rounding.
std::vector<std::uint8_t> Grey(const QImage& src)
{
    const QImage img = src.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> g(std::size_t(img.width()) * img.height());
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            auto flat = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            const int r = flat(qRed(p)), gg = flat(qGreen(p)), b = flat(qBlue(p));
            g[std::size_t(y) * img.width() + x] = std::uint8_t((r * 19595 + gg * 38470 + b * 7471 + 0x8000) >> 16);
        }
    }
    return g;
}

std::vector<std::uint8_t> DilatedInk(const std::vector<std::uint8_t>& grey, int w, int h)
{
    std::vector<std::uint8_t> ink(grey.size()), out(grey.size());
    for (std::size_t i = 0; i < grey.size(); ++i)
        ink[i] = grey[i] < 160;
    // Separable 5x5 square dilation.
    std::vector<std::uint8_t> tmp(grey.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t v = 0;
            for (int dx = -2; dx <= 2 && !v; ++dx) {
                const int xx = x + dx;
                if (xx >= 0 && xx < w)
                    v = ink[std::size_t(y) * w + xx];
            }
            tmp[std::size_t(y) * w + x] = v;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t v = 0;
            for (int dy = -2; dy <= 2 && !v; ++dy) {
                const int yy = y + dy;
                if (yy >= 0 && yy < h)
                    v = tmp[std::size_t(yy) * w + x];
            }
            out[std::size_t(y) * w + x] = v;
        }
    return out;
}

double InkIoU(const QImage& ref, const QImage& cand)
{
    const int w = ref.width(), h = ref.height();
    const auto a = DilatedInk(Grey(ref), w, h);
    const auto b = DilatedInk(Grey(cand), w, h);
    std::size_t inter = 0, uni = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        inter += a[i] && b[i];
        uni += a[i] || b[i];
    }
    return uni == 0 ? 1.0 : double(inter) / double(uni);
}

QImage Render(const std::vector<std::uint8_t>& bytes, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    qrp::PlayEmf(p, bytes.data(), bytes.size(), QRectF(0, 0, size.width(), size.height()));
    p.end();
    return img;
}

// floors.tsv: "mean <value>" and "<page> <floor>" lines.
std::map<QString, double> ReadFloors()
{
    std::map<QString, double> floors;
    QFile f(kCorpus + "/floors.tsv");
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return floors;
    while (!f.atEnd()) {
        const QList<QByteArray> parts = f.readLine().trimmed().split('\t');
        if (parts.size() == 2 && !parts[0].startsWith('#'))
            floors[QString::fromUtf8(parts[0])] = parts[1].toDouble();
    }
    return floors;
}

TEST(EmfFidelity, CorpusPagesStayCloseToGdi)
{
    const auto floors = ReadFloors();
    ASSERT_TRUE(floors.count(QStringLiteral("mean"))) << "floors.tsv missing";
    const QStringList refs = QDir(kCorpus + "/gdi").entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_GE(refs.size(), 80);
    double sum = 0;
    for (const QString& png : refs) {
        const QString page = png.chopped(4);
        const QImage ref(kCorpus + "/gdi/" + png);
        ASSERT_FALSE(ref.isNull()) << png.toStdString();
        const auto bytes = ReadFile(kCorpus + "/" + page + ".emf");
        ASSERT_FALSE(bytes.empty()) << page.toStdString();
        const double iou = InkIoU(ref, Render(bytes, ref.size()));
        sum += iou;
        std::printf("%s\t%.4f\n", qPrintable(page), iou);
        const auto it = floors.find(page);
        if (it != floors.end())
            EXPECT_GE(iou, it->second) << page.toStdString();
        else
            ADD_FAILURE() << "no floor recorded for " << page.toStdString();
    }
    const double mean = sum / refs.size();
    std::printf("mean ink IoU %.4f over %lld pages\n", mean, static_cast<long long>(refs.size()));
    EXPECT_GE(mean, floors.at(QStringLiteral("mean")));
}

// Every corpus file, with or without a reference, is walked to its end record without
// damage and draws something.
TEST(EmfFidelity, EveryCorpusFilePlays)
{
    const QStringList files = QDir(kCorpus).entryList({QStringLiteral("*.emf")}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 90);
    for (const QString& name : files) {
        const auto bytes = ReadFile(kCorpus + "/" + name);
        qrp::emf::TEmfReader reader(bytes.data(), bytes.size());
        ASSERT_TRUE(reader.Valid()) << name.toStdString();
        qrp::emf::TRecordView r;
        std::size_t records = 0;
        while (reader.Next(r))
            ++records;
        EXPECT_FALSE(reader.Damaged()) << name.toStdString();
        EXPECT_GT(records, 2u) << name.toStdString();
        const QImage img = Render(bytes, QSize(300, 300));
        EXPECT_FALSE(img.isNull());
    }
}

// The scorer's measure itself: identical pages score 1, a blank page against a drawn one 0,
// and a one-pixel shift of a thin line is forgiven by the dilation.
TEST(EmfFidelity, InkMeasureMatchesTheScorer)
{
    QImage a(50, 50, QImage::Format_RGB32), b(50, 50, QImage::Format_RGB32);
    a.fill(Qt::white);
    b.fill(Qt::white);
    EXPECT_DOUBLE_EQ(InkIoU(a, b), 1.0);
    for (int y = 10; y < 40; ++y)
        a.setPixel(20, y, qRgb(0, 0, 0));
    EXPECT_DOUBLE_EQ(InkIoU(a, b), 0.0);
    for (int y = 10; y < 40; ++y)
        b.setPixel(21, y, qRgb(0, 0, 0));
    // Dilated: columns 18..22 against 19..23 over rows 8..41.
    EXPECT_NEAR(InkIoU(a, b), 4.0 / 6.0, 1e-9);
    b.fill(Qt::white);
    for (int y = 10; y < 40; ++y)
        b.setPixel(20, y, qRgb(159, 159, 159));
    EXPECT_DOUBLE_EQ(InkIoU(a, b), 1.0);
    b.fill(qRgb(160, 160, 160));
    EXPECT_DOUBLE_EQ(InkIoU(a, QImage(b)), 0.0);
}

} // namespace
