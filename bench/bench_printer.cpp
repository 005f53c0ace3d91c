// The report printer's costs: PDF export of dense report pages, loading a very long
// report, and the memory an export of a long report holds.
#include "bench/support/BenchFolder.h"
#include "emf/Metafile.h"
#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"
#include "printer/SampleReport.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Resident set size of this process in bytes.
double ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// A report whose every page is the dense sample page 1, repeated (cheap to build).
std::string RepeatedReport(int pages)
{
    const fs::path path = fs::path(qrp::bench::BenchFolder()) / ("dense-" + std::to_string(pages) + ".qrp");
    if (fs::exists(path))
        return path.string();
    const fs::path one = fs::path(qrp::bench::BenchFolder()) / "one.qrp";
    qrp::MakeSampleReport(one.string(), {1, false, false});
    qrp::TQRPrinter source(qrp::CreatePdfPaperDevice(), 0);
    source.LoadReport(one.string());
    const auto page = source.PagePicture(1);
    qrp::TQRPageList list;
    list.SetStorage(std::make_unique<qrp::TQRStream>(100000));
    for (int i = 0; i < pages; ++i)
        list.AppendPage(*page);
    list.Complete();
    list.CopyToFile(path.string());
    return path.string();
}

void BM_ExportPdfDensePages(benchmark::State& state)
{
    const int pages = static_cast<int>(state.range(0));
    const fs::path report = fs::path(qrp::bench::BenchFolder()) / "sample-export.qrp";
    qrp::MakeSampleReport(report.string(), {pages, false, false});
    qrp::TQRPrinter printer(qrp::CreatePdfPaperDevice(), 0);
    printer.LoadReport(report.string());
    const std::string out = (fs::path(qrp::bench::BenchFolder()) / "export.pdf").string();
    for (auto _ : state)
        benchmark::DoNotOptimize(qrp::ExportReportToPdf(printer, out));
    state.SetItemsProcessed(state.iterations() * pages);
    state.counters["pdf_bytes_per_page"] = static_cast<double>(fs::file_size(out)) / pages;
}
BENCHMARK(BM_ExportPdfDensePages)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadReport100000Pages(benchmark::State& state)
{
    const fs::path path = fs::path(qrp::bench::BenchFolder()) / "long.qrp";
    if (!fs::exists(path)) {
        // Small pages: what matters is the page count, not the drawing.
        std::vector<std::uint8_t> emf(108, 0);
        auto put = [&](int at, std::uint32_t v) { std::memcpy(emf.data() + at, &v, 4); };
        put(0, 1), put(4, 88), put(32, 21000), put(36, 29700), put(40, 0x464D4520), put(44, 0x10000);
        put(48, 108), put(52, 2), put(72, 1024), put(76, 768), put(80, 320), put(84, 240);
        put(88, 14), put(92, 20), put(100, 16), put(104, 20);
        qrp::TMetafile page;
        page.LoadFromBytes(emf);
        qrp::TQRPageList list;
        list.SetStorage(std::make_unique<qrp::TQRStream>(100000));
        for (int i = 0; i < 100000; ++i)
            list.AppendPage(page);
        list.Complete();
        list.CopyToFile(path.string());
    }
    qrp::TQRPrinter printer(qrp::CreatePdfPaperDevice(), 0);
    for (auto _ : state) {
        printer.ClearReport();
        printer.LoadReport(path.string());
    }
    if (printer.PageTotal() != 100000)
        state.SkipWithError("wrong page count");
    state.counters["pages"] = printer.PageTotal();
}
BENCHMARK(BM_LoadReport100000Pages)->Unit(benchmark::kMicrosecond);

void BM_Export2000PagesMemory(benchmark::State& state)
{
    const std::string report = RepeatedReport(2000);
    const std::string out = (fs::path(qrp::bench::BenchFolder()) / "long.pdf").string();
    qrp::TQRPrinter printer(qrp::CreatePdfPaperDevice(), 0);
    printer.LoadReport(report);
    // One warm-up page so fonts and caches are in before the start figure.
    qrp::ExportReportToPdf(printer, out, 1, 1);
    double start = 0, end = 0;
    for (auto _ : state) {
        start = ResidentBytes();
        qrp::ExportReportToPdf(printer, out);
        end = ResidentBytes();
    }
    state.SetItemsProcessed(state.iterations() * 2000);
    state.counters["rss_start_MiB"] = start / (1 << 20);
    state.counters["rss_end_MiB"] = end / (1 << 20);
    state.counters["rss_growth_MiB"] = (end - start) / (1 << 20);
}
BENCHMARK(BM_Export2000PagesMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
