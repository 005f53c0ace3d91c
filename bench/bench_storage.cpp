// Saved report storage: the page codec against a plain tight loop over the same tree
// tables, opening a 100,000-page report and reading its first, last and middle page,
// and reading a compressed page from a saved file.
#include "bench/support/BenchFolder.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"
#include "storage/QRCompress.h"
#include "tests/support/TestEmf.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <memory>
#include <unistd.h>

using namespace qrp;

namespace {

// EMF-like data: a header, then a comment record filled with drawing-like bytes.
const std::vector<std::uint8_t>& SampleData()
{
    static const auto data = test::MakeEmf(1 << 20, {0, 0, 20999, 29699}, 3);
    return data;
}

// Plain bytes of text-heavy drawing: short runs of a small alphabet.
const std::vector<std::uint8_t>& TextLikeData()
{
    static const auto data = [] {
        std::vector<std::uint8_t> v(1 << 20);
        std::uint32_t x = 1;
        for (auto& b : v) {
            x = x * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>("    eeeettaaoinshrdlu0123456789\0\0\0\x54"[(x >> 16) % 36]);
        }
        return v;
    }();
    return data;
}

// The yardstick: the same tree and semi-splay as the codec, in local tables, reading
// and writing plain memory with no stream in between.
struct TTightTree {
    std::uint16_t left[256], right[256];
    std::uint8_t parent[513];
    TTightTree()
    {
        for (int i = 1; i < 513; ++i)
            parent[i] = static_cast<std::uint8_t>((i - 1) / 2);
        for (int j = 0; j < 256; ++j) {
            left[j] = static_cast<std::uint16_t>(2 * j + 1);
            right[j] = static_cast<std::uint16_t>(2 * j + 2);
        }
    }
    void Splay(unsigned a)
    {
        while (a != 0) {
            const unsigned c = parent[a];
            if (c == 0)
                break;
            const unsigned d = parent[c];
            unsigned b = left[d];
            if (b == c) {
                b = right[d];
                right[d] = static_cast<std::uint16_t>(a);
            } else {
                left[d] = static_cast<std::uint16_t>(a);
            }
            if (left[c] == a)
                left[c] = static_cast<std::uint16_t>(b);
            else
                right[c] = static_cast<std::uint16_t>(b);
            parent[a] = static_cast<std::uint8_t>(d);
            parent[b] = static_cast<std::uint8_t>(c);
            a = d;
        }
    }
};

std::size_t TightCompress(const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    TTightTree t;
    std::size_t o = 0;
    unsigned bit = 0, pending = 0;
    bool path[256];
    for (std::size_t i = 0; i < n; ++i) {
        int depth = 0;
        unsigned a = 256u + in[i];
        do {
            const unsigned p = t.parent[a];
            path[depth++] = t.right[p] == a;
            a = p;
        } while (a != 0);
        while (depth > 0) {
            if (path[--depth])
                pending |= 1u << bit;
            if (bit == 7) {
                out[o++] = static_cast<std::uint8_t>(pending);
                bit = 0;
                pending = 0;
            } else {
                ++bit;
            }
        }
        t.Splay(256u + in[i]);
    }
    if (bit != 0)
        out[o++] = static_cast<std::uint8_t>(pending);
    return o;
}

void TightExpand(const std::uint8_t* in, std::size_t n, std::uint8_t* out)
{
    TTightTree t;
    unsigned bit = 7, pending = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned node = 0;
        do {
            if (bit == 7) {
                pending = *in++;
                bit = 0;
            } else {
                ++bit;
            }
            node = (pending >> bit) & 1u ? t.right[node] : t.left[node];
        } while (node < 256);
        out[i] = static_cast<std::uint8_t>(node - 256);
        t.Splay(node);
    }
}

const std::vector<std::uint8_t>& Data(int which) { return which == 0 ? SampleData() : TextLikeData(); }

std::vector<std::uint8_t> Compressed(int which)
{
    const auto& d = Data(which);
    std::vector<std::uint8_t> out(d.size() * 2 + 16);
    out.resize(TightCompress(d.data(), d.size(), out.data()));
    return out;
}

void BM_TightLoopCompress(benchmark::State& state)
{
    const auto& d = Data(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> out(d.size() * 2 + 16);
    for (auto _ : state)
        benchmark::DoNotOptimize(TightCompress(d.data(), d.size(), out.data()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

void BM_CodecCompress(benchmark::State& state)
{
    const auto& d = Data(static_cast<int>(state.range(0)));
    TMemoryStream out;
    for (auto _ : state) {
        out.SetPosition(0);
        TQRCompress codec(out, true);
        for (auto b : d)
            codec.EncodeByte(b);
        codec.Finish();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

void BM_TightLoopExpand(benchmark::State& state)
{
    const auto& d = Data(static_cast<int>(state.range(0)));
    const auto code = Compressed(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> out(d.size());
    for (auto _ : state) {
        TightExpand(code.data(), d.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != d)
        state.SkipWithError("tight loop does not round-trip");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

void BM_CodecExpand(benchmark::State& state)
{
    const auto& d = Data(static_cast<int>(state.range(0)));
    const auto code = Compressed(static_cast<int>(state.range(0)));
    TMemoryStream in;
    in.WriteBuffer(code.data(), static_cast<std::int64_t>(code.size()));
    std::vector<std::uint8_t> out(d.size());
    for (auto _ : state) {
        in.SetPosition(0);
        TQRCompress codec(in, false);
        for (auto& b : out)
            b = codec.DecodeByte();
        benchmark::DoNotOptimize(out.data());
    }
    if (out != d)
        state.SkipWithError("codec does not round-trip");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}

BENCHMARK(BM_TightLoopCompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodecCompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TightLoopExpand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodecExpand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- saved files ------------------------------------------------------------------

// A saved report of `pages` pages of `pageBytes` each, made through the page list.
std::string SavedReport(int pages, std::uint32_t pageBytes, bool compressed)
{
    static std::map<std::tuple<int, std::uint32_t, bool>, std::string> made;
    auto& path = made[{pages, pageBytes, compressed}];
    if (!path.empty())
        return path;
    path = qrp::bench::BenchFolder() + "/r" + std::to_string(pages) + "_" + std::to_string(pageBytes) + (compressed ? "c" : "u") +
           ".qrp";
    TQRPageList list;
    list.SetStorage(std::make_unique<TQRStream>(100000));
    list.SetCompressed(compressed);
    TMetafile picture;
    picture.LoadFromBytes(test::MakeEmf(pageBytes, {0, 0, 20999, 29699}, 5));
    for (int k = 0; k < pages; ++k)
        list.AppendPage(picture);
    list.Complete();
    list.CopyToFile(path);
    return path;
}

enum class Which { First, Last, Middle };

void OpenAndRead(benchmark::State& state, Which which)
{
    const auto pageBytes = static_cast<std::uint32_t>(state.range(0));
    const std::string path = SavedReport(100000, pageBytes, false);
    const int page = which == Which::First ? 1 : which == Which::Last ? 100000 : 50000;
    for (auto _ : state) {
        TQRPageList list;
        list.OpenFile(path);
        auto picture = list.ReadPage(page);
        benchmark::DoNotOptimize(picture.get());
    }
}

void BM_Open100000PagesReadFirst(benchmark::State& s) { OpenAndRead(s, Which::First); }
void BM_Open100000PagesReadLast(benchmark::State& s) { OpenAndRead(s, Which::Last); }
void BM_Open100000PagesReadMiddle(benchmark::State& s) { OpenAndRead(s, Which::Middle); }
BENCHMARK(BM_Open100000PagesReadFirst)->Arg(256)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open100000PagesReadLast)->Arg(256)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open100000PagesReadMiddle)->Arg(256)->Arg(2048)->Unit(benchmark::kMillisecond);

// Expanding a compressed page straight from a saved file: the codec's one-byte reads
// go through the report stream and the file's read-ahead.
void BM_CompressedPageFromFile(benchmark::State& state)
{
    const std::uint32_t pageBytes = 1 << 20;
    const std::string path = SavedReport(3, pageBytes, true);
    TQRPageList list;
    list.OpenFile(path);
    for (auto _ : state) {
        auto picture = list.ReadPage(2);
        benchmark::DoNotOptimize(picture.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * pageBytes);
}
BENCHMARK(BM_CompressedPageFromFile)->Unit(benchmark::kMillisecond);

// The same page data as BM_CompressedPageFromFile through the tight loop.
void BM_TightLoopExpandPage(benchmark::State& state)
{
    const auto d = test::MakeEmf(1 << 20, {0, 0, 20999, 29699}, 5);
    std::vector<std::uint8_t> code(d.size() * 2 + 16);
    code.resize(TightCompress(d.data(), d.size(), code.data()));
    std::vector<std::uint8_t> out(d.size());
    for (auto _ : state) {
        TightExpand(code.data(), d.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.size()));
}
BENCHMARK(BM_TightLoopExpandPage)->Unit(benchmark::kMillisecond);

// Memory while reading pages of a 1 GiB report: the peak resident size over the
// baseline, against the size of the page read (counters PeakOverBaselineMiB, PageMiB).
long StatusKiB(const char* field)
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, len) == 0)
            value = std::strtol(line + len, nullptr, 10);
    std::fclose(f);
    return value;
}

void ResetPeakRss()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

void BM_ReadPageOf1GiBReport(benchmark::State& state)
{
    const std::uint32_t pageBytes = 16u << 20;
    const std::string path = SavedReport(64, pageBytes, false); // 1 GiB and 64 records
    for (auto _ : state) {
        state.PauseTiming();
        // Give freed heap back first, so memory left over from making the file does
        // not hide what reading needs.
        ::malloc_trim(0);
        ResetPeakRss();
        const long baseline = StatusKiB("VmRSS:");
        state.ResumeTiming();
        TQRPageList list;
        list.OpenFile(path);
        for (int n : {33, 64, 1, 17}) {
            auto picture = list.ReadPage(n);
            benchmark::DoNotOptimize(picture.get());
        }
        state.PauseTiming();
        state.counters["PeakOverBaselineMiB"] = static_cast<double>(StatusKiB("VmHWM:") - baseline) / 1024.0;
        state.counters["PageMiB"] = pageBytes / 1048576.0;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadPageOf1GiBReport)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
