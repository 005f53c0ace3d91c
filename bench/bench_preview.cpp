// Preview painting: a page change on a dense page, a repaint of a large viewport at the
// highest zoom, and the memory a deep zoom costs.
#include "../tests/preview/PreviewTestReports.h"

#include "base/ScreenMetrics.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>

using namespace qrp;
using namespace qrp::test;

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4;
}

struct DenseReport {
    DenseReport() {
        SetScreenPixelsPerInch(96);
        const std::string path = dir.filePath("dense.qrp").toStdString();
        std::vector<std::vector<std::uint8_t>> pages;
        for (int k = 1; k <= 4; ++k)
            pages.push_back(PageBytes(kA4Frame, ColorRef(200, 40 * k, 0), {40, 40, 760, 1080}, 64));
        WriteReport(path, pages);
        printer = MakeScriptedPrinter();
        printer->LoadReport(path);
    }
    QTemporaryDir dir;
    std::unique_ptr<TQRPrinter> printer;
};

DenseReport& Report() {
    static DenseReport report;
    return report;
}

void BM_PageChangeAtZoom100(benchmark::State& state) {
    TQRPreview preview;
    preview.resize(1000, 1200);
    preview.show();
    preview.SetReportSource(Report().printer.get());
    preview.SetZoom(100);
    QApplication::processEvents();
    QImage screen(preview.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    int page = 1;
    for (auto _ : state) {
        page = page % 4 + 1;
        preview.SetPageNumber(page); // fetch and expand the new page
        preview.viewport()->render(&screen); // and paint what the viewport shows
    }
    preview.SetReportSource(nullptr);
}
BENCHMARK(BM_PageChangeAtZoom100)->Unit(benchmark::kMillisecond);

void BM_RepaintViewportAtZoom2000(benchmark::State& state) {
    TQRPreview preview;
    preview.resize(1280, 1024);
    preview.show();
    preview.SetReportSource(Report().printer.get());
    preview.SetZoom(2000);
    QApplication::processEvents();
    preview.horizontalScrollBar()->setValue(preview.horizontalScrollBar()->maximum() / 3);
    preview.verticalScrollBar()->setValue(preview.verticalScrollBar()->maximum() / 4);
    QApplication::processEvents();
    QImage screen(preview.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        preview.viewport()->render(&screen);
    state.counters["image_w"] = preview.PageImage()->width();
    state.counters["image_h"] = preview.PageImage()->height();
    preview.SetReportSource(nullptr);
}
BENCHMARK(BM_RepaintViewportAtZoom2000)->Unit(benchmark::kMillisecond);

// Resident memory after painting the same viewport at zoom 100 and then at 2000.
void BM_MemoryByZoom(benchmark::State& state) {
    TQRPreview preview;
    preview.resize(1280, 1024);
    preview.show();
    preview.SetReportSource(Report().printer.get());
    QImage screen(preview.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    long at100 = 0, at2000 = 0;
    for (auto _ : state) {
        preview.SetZoom(100);
        preview.viewport()->render(&screen);
        QApplication::processEvents();
        at100 = ResidentKiB();
        preview.SetZoom(2000);
        preview.horizontalScrollBar()->setValue(preview.horizontalScrollBar()->maximum() / 2);
        preview.verticalScrollBar()->setValue(preview.verticalScrollBar()->maximum() / 2);
        preview.viewport()->render(&screen);
        QApplication::processEvents();
        at2000 = ResidentKiB();
    }
    state.counters["rss_zoom100_KiB"] = static_cast<double>(at100);
    state.counters["rss_zoom2000_KiB"] = static_cast<double>(at2000);
    state.counters["growth_KiB"] = static_cast<double>(at2000 - at100);
    preview.SetReportSource(nullptr);
}
BENCHMARK(BM_MemoryByZoom)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
