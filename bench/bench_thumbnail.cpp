// The thumbnailer's work on a dense page (a full table of text, rules and shading):
// open the report, read page 1 and play it into a 256-pixel image. The report is left
// in the temporary folder (qrp-bench-dense.qrp) so the whole program can be timed too.
#include "bench/support/DenseReport.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

namespace {

void BM_ThumbnailDensePage(benchmark::State& state)
{
    const std::string path = qrp::bench::DenseReportPath();
    const int size = static_cast<int>(state.range(0));
    for (auto _ : state) {
        qrp::TQRPageList pages;
        pages.OpenFile(path);
        auto picture = pages.ReadPage(1);
        const double scale = double(size) / std::max(picture->Width(), picture->Height());
        QImage image(int(picture->Width() * scale + 0.5), int(picture->Height() * scale + 0.5),
                     QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        qrp::PlayMetafile(painter, *picture, QRectF(0, 0, image.width(), image.height()));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ThumbnailDensePage)->Arg(128)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);

} // namespace
