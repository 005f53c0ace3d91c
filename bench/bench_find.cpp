// Finding text: from Ctrl+F to the page shown for a word on the last page only of a
// 2,000-page sample report, with the resident memory before and after; and the text of
// one page made ready for highlights.
#include "base/ScreenMetrics.h"
#include "preview/FindBar.h"
#include "preview/PageText.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"
#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"
#include "printer/SampleReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>

using namespace qrp;

namespace {

double ResidentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4 / 1024.0;
}

struct SampleReport {
    SampleReport()
    {
        SetScreenPixelsPerInch(96);
        path = dir.filePath("muestra.qrp").toStdString();
        MakeSampleReport(path, {kPages, false, false});
        printer = std::make_unique<TQRPrinter>(CreatePdfPaperDevice(), 0);
        printer->LoadReport(path);
    }
    static constexpr int kPages = 2000;
    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<TQRPrinter> printer;
};

SampleReport& Report()
{
    static SampleReport report;
    return report;
}

void BM_FindOnTheLastPageOf2000(benchmark::State& state)
{
    TQRPrinter& printer = *Report().printer;
    QWidget window;
    auto* preview = new TQRPreview(&window);
    auto* bar = new TFindBar(preview, &window);
    window.resize(1000, 800);
    preview->resize(1000, 760);
    window.show();
    preview->SetReportSource(&printer);
    preview->SetZoom(100);
    QApplication::processEvents();
    const double before = ResidentMiB();
    // The footer "Página 2000 de 2000" is on the last page only.
    const QString query = QStringLiteral("página %1 de").arg(SampleReport::kPages);
    for (auto _ : state) {
        state.PauseTiming();
        preview->SetPageNumber(1);
        bar->Reset();
        QApplication::processEvents();
        state.ResumeTiming();
        bar->Open(); // Ctrl+F
        bar->Field->setText(query);
        bar->FindNext(); // Enter
        while (bar->Searching())
            QApplication::processEvents(QEventLoop::AllEvents);
        preview->PageImage()->repaint(); // the page shown, highlight and all
        if (preview->PageNumber() != SampleReport::kPages)
            state.SkipWithError("the word was not found on the last page");
    }
    state.counters["rss_start_MiB"] = before;
    state.counters["rss_end_MiB"] = ResidentMiB();
    preview->SetReportSource(nullptr);
}
BENCHMARK(BM_FindOnTheLastPageOf2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PageTextWithGlyphBoxes(benchmark::State& state)
{
    const auto picture = Report().printer->PagePicture(1);
    for (auto _ : state) {
        TPageText text(picture.get());
        benchmark::DoNotOptimize(text.LineCount());
    }
}
BENCHMARK(BM_PageTextWithGlyphBoxes)->Unit(benchmark::kMillisecond);

} // namespace
