// qrptool grep over 100 sample reports of 20 pages: pages per second with one thread
// and with one per core, each a single call of the program.
#include "printer/SampleReport.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sys/resource.h>

namespace {

struct Reports {
    Reports()
    {
        qrp::MakeSampleReport(dir.filePath("r000.qrp").toStdString(), {kPages, false, false});
        files << dir.filePath("r000.qrp");
        for (int i = 1; i < kReports; ++i) {
            const QString name = dir.filePath(QStringLiteral("r%1.qrp").arg(i, 3, 10, QLatin1Char('0')));
            QFile::copy(files.first(), name);
            files << name;
        }
    }
    static constexpr int kReports = 100, kPages = 20;
    QTemporaryDir dir;
    QStringList files;
};

const Reports& Files()
{
    static Reports reports;
    return reports;
}

// Processor time of the finished child processes, seconds.
double ChildCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_GrepHundredReports(benchmark::State& state)
{
    const QStringList args = QStringList{"grep", "-j", QString::number(state.range(0)), "Ñahui"} + Files().files;
    const double cpuBefore = ChildCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral(QRPTOOL_PATH), args);
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            state.SkipWithError("qrptool grep failed");
            break;
        }
        benchmark::DoNotOptimize(p.readAllStandardOutput());
    }
    const double pages = double(Reports::kReports) * Reports::kPages;
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate);
    // Processors kept busy: the program's processor time over the wall time.
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    state.counters["cores_busy"] = wall > 0 ? (ChildCpuSeconds() - cpuBefore) / wall : 0;
}
BENCHMARK(BM_GrepHundredReports)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
