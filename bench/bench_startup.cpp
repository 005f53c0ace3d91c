// Start-up, measured on whole processes: the built programs are started one after
// another and waited for, and each run's wall time is one sample (the reported time
// is their mean; the median is the counter median_ms). A program that fails makes the
// benchmark fail. BM_FirstPlay runs bench_first_play, which plays a dense page in a
// fresh process started the way the tools start: the first play there against the
// fastest later one is what font set-up and glyph caching still cost the first page.
#include "bench/support/DenseReport.h"
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs the program with its output thrown away; the wall time in seconds, or a
// negative value when it could not run or failed.
double TimeRun(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const auto& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void TimeProgram(benchmark::State& state, const std::vector<std::string>& command)
{
    std::vector<double> samples;
    for (auto _ : state) {
        const double seconds = TimeRun(command);
        if (seconds < 0) {
            state.SkipWithError((command[0] + " failed").c_str());
            return;
        }
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1000);
    }
    state.counters["median_ms"] = Median(samples);
}

// A page with nothing drawn on it, as a bare EMF file.
std::string EmptyPagePath()
{
    static const std::string path = [] {
        const std::string p = qrp::bench::BenchFile("empty.emf");
        qrp::TMetafile picture;
        picture.SetWidth(794);
        picture.SetHeight(1123);
        {
            qrp::TMetafileCanvas canvas(picture);
            QPainter painter(&canvas);
            painter.end();
            canvas.Finish();
        }
        QFile f(QString::fromStdString(p));
        if (f.open(QIODevice::WriteOnly))
            f.write(reinterpret_cast<const char*>(picture.Bytes().data()), qint64(picture.Bytes().size()));
        return p;
    }();
    return path;
}

std::string Output(const char* name) { return qrp::bench::BenchFile(name); }

void BM_QrptoolVersion(benchmark::State& state) { TimeProgram(state, {QRPTOOL_PATH, "--version"}); }

void BM_QrptoolInfo(benchmark::State& state)
{
    TimeProgram(state, {QRPTOOL_PATH, "info", qrp::bench::DenseReportPath()});
}

void BM_ThumbnailerDensePage(benchmark::State& state)
{
    TimeProgram(state, {QRP_THUMBNAILER_PATH, "-s", "256", qrp::bench::DenseReportPath(),
                        Output("thumbnail.png")});
}

void BM_EmfRenderEmptyPage(benchmark::State& state)
{
    TimeProgram(state, {QRPTOOL_PATH, "emf-render", EmptyPagePath(), "-o", Output("empty.png")});
}

void BM_FirstPlay(benchmark::State& state)
{
    const std::string command = std::string(QRP_FIRST_PLAY_PATH) + " '" + qrp::bench::DenseReportPath() + "'";
    std::vector<double> firsts, nexts, extras;
    for (auto _ : state) {
        FILE* child = ::popen(command.c_str(), "r");
        double first = -1, next = -1;
        const bool read = child && std::fscanf(child, "%lf %lf", &first, &next) == 2;
        const int status = child ? ::pclose(child) : -1;
        if (!read || status != 0) {
            state.SkipWithError("bench_first_play failed");
            return;
        }
        state.SetIterationTime(first / 1000);
        firsts.push_back(first);
        nexts.push_back(next);
        extras.push_back(first - next);
    }
    state.counters["first_ms"] = Median(firsts);
    state.counters["next_ms"] = Median(nexts);
    state.counters["extra_ms"] = Median(extras);
}

BENCHMARK(BM_QrptoolVersion)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QrptoolInfo)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailerDensePage)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmfRenderEmptyPage)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPlay)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace
