// Recording a dense report page on the metafile canvas, against drawing the same page
// straight onto an image.
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

// A 60-row by 8-column table with grid lines, a shaded header and right-aligned numbers.
void DenseTable(QPainter& p)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    p.setFont(font);
    p.fillRect(QRect(40, 40, 712, 17), QColor(210, 210, 210));
    for (int r = 0; r < 60; ++r)
        for (int c = 0; c < 8; ++c) {
            const QRect cell(40 + c * 89, 40 + r * 17, 89, 17);
            p.drawRect(cell);
            const QString s = r == 0 ? QStringLiteral("Col %1").arg(c)
                                     : QString::number((r * 7919 + c * 104729) % 100000 / 100.0, 'f', 2);
            p.drawText(cell.adjusted(2, 0, -3, 0),
                       (c == 0 || r == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, s);
        }
}

void BM_RecordDensePage(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state) {
        qrp::TMetafile picture;
        picture.SetWidth(794);
        picture.SetHeight(1123);
        {
            qrp::TMetafileCanvas canvas(picture);
            QPainter p(&canvas);
            DenseTable(p);
        }
        bytes = picture.Bytes().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = double(bytes);
}

void BM_DrawDensePageOnImage(benchmark::State& state)
{
    QImage image(794, 1123, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter p(&image);
        DenseTable(p);
    }
}

} // namespace

BENCHMARK(BM_RecordDensePage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawDensePageOnImage)->Unit(benchmark::kMillisecond);
