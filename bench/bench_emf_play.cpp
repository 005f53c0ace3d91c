// Playback speed of report-like pages onto a QImage at 96 dots per inch, zoomed, and
// clipped at high zoom; and the cost of reading a header.
#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"
#include "emf/EmfRecords.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qrp::emf;

namespace {

// A picture whose logical units are pixels at 96 dpi (reference device 96 dpi exactly:
// 960 pixels on 254 mm).
class TPage {
public:
    void Rec(std::uint32_t type, std::initializer_list<std::int32_t> f)
    {
        Put(type);
        Put(std::uint32_t(8 + f.size() * 4));
        for (std::int32_t v : f)
            Put(std::uint32_t(v));
        ++records_;
    }
    void Raw(std::uint32_t type, std::vector<std::uint8_t> p)
    {
        while (p.size() % 4)
            p.push_back(0);
        Put(type);
        Put(std::uint32_t(8 + p.size()));
        body_.insert(body_.end(), p.begin(), p.end());
        ++records_;
    }
    void Font(int handle, int height)
    {
        std::vector<std::uint8_t> p(96, 0);
        std::int32_t v[5] = {handle, height, 0, 0, 0};
        std::memcpy(p.data(), v, sizeof v);
        const std::int32_t weight = 400;
        std::memcpy(&p[16], &weight, 4);
        const char* face = "Arial";
        for (int i = 0; face[i]; ++i)
            p[32 + i * 2] = std::uint8_t(face[i]);
        Raw(EMR_EXTCREATEFONTINDIRECTW, p);
    }
    void Text(int x, int y, const std::string& s, int advance)
    {
        const std::uint32_t n = std::uint32_t(s.size());
        std::vector<std::uint8_t> p(68, 0);
        auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&p[at], &v, 4); };
        put(16, GM_COMPATIBLE);
        put(28, x); put(32, y); put(36, std::int32_t(n));
        const std::uint32_t strBytes = (n * 2 + 3) / 4 * 4;
        put(40, 76);
        put(64, std::int32_t(76 + strBytes));
        for (char c : s) {
            p.push_back(std::uint8_t(c));
            p.push_back(0);
        }
        while (p.size() % 4)
            p.push_back(0);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::int32_t d = advance;
            p.insert(p.end(), reinterpret_cast<const std::uint8_t*>(&d), reinterpret_cast<const std::uint8_t*>(&d) + 4);
        }
        Raw(EMR_EXTTEXTOUTW, p);
    }
    std::vector<std::uint8_t> Bytes(int w, int h) const
    {
        std::vector<std::uint8_t> out;
        auto put = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(std::uint8_t(v >> (8 * i)));
        };
        const std::uint32_t total = 108 + std::uint32_t(body_.size()) + 20;
        put(EMR_HEADER); put(108);
        put(0); put(0); put(w - 1); put(h - 1);
        put(0); put(0); put(std::uint32_t(w * 2540 / 96)); put(std::uint32_t(h * 2540 / 96));
        put(ENHMETA_SIGNATURE); put(0x10000); put(total); put(records_ + 2); put(16);
        put(0); put(0); put(0);
        put(960); put(960); put(254); put(254);
        put(0); put(0); put(0); put(254000); put(254000);
        out.insert(out.end(), body_.begin(), body_.end());
        put(EMR_EOF); put(20); put(0); put(16); put(20);
        return out;
    }

private:
    void Put(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            body_.push_back(std::uint8_t(v >> (8 * i)));
    }
    std::uint32_t records_ = 0;
    std::vector<std::uint8_t> body_;
};

constexpr int kPageW = 794, kPageH = 1123; // A4 at 96 dpi

// 60 rows by 8 columns with grid lines, a shaded header row and right-aligned numbers.
const std::vector<std::uint8_t>& DensePage()
{
    static const std::vector<std::uint8_t> bytes = [] {
        TPage pg;
        const int left = 40, top = 60, colW = 89, rowH = 17, cols = 8, rows = 60;
        pg.Rec(EMR_SETBKMODE, {TRANSPARENT});
        pg.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0xD0D0D0, 0});
        pg.Rec(EMR_SELECTOBJECT, {1});
        pg.Rec(EMR_SELECTOBJECT, {std::int32_t(STOCK_OBJECT_FLAG | NULL_PEN)});
        pg.Rec(EMR_RECTANGLE, {left, top, left + cols * colW + 1, top + rowH + 1});
        pg.Rec(EMR_SELECTOBJECT, {std::int32_t(STOCK_OBJECT_FLAG | BLACK_PEN)});
        for (int r = 0; r <= rows; ++r) {
            pg.Rec(EMR_MOVETOEX, {left, top + r * rowH});
            pg.Rec(EMR_LINETO, {left + cols * colW, top + r * rowH});
        }
        for (int c = 0; c <= cols; ++c) {
            pg.Rec(EMR_MOVETOEX, {left + c * colW, top});
            pg.Rec(EMR_LINETO, {left + c * colW, top + rows * rowH});
        }
        pg.Font(2, -12);
        pg.Rec(EMR_SELECTOBJECT, {2});
        pg.Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE});
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const std::string s = r == 0 ? "Column " + std::to_string(c + 1)
                                             : std::to_string((r * 7919 + c * 104729) % 1000000) + ",00";
                pg.Text(left + (c + 1) * colW - 4, top + (r + 1) * rowH - 4, s, 7);
            }
        return pg.Bytes(kPageW, kPageH);
    }();
    return bytes;
}

const std::vector<std::uint8_t>& TextRuns()
{
    static const std::vector<std::uint8_t> bytes = [] {
        TPage pg;
        pg.Font(1, -11);
        pg.Rec(EMR_SELECTOBJECT, {1});
        pg.Rec(EMR_SETBKMODE, {TRANSPARENT});
        for (int i = 0; i < 2000; ++i)
            pg.Text(20 + (i % 20) * 38, 20 + (i / 20) * 11, "Ab" + std::to_string(i % 100), 7);
        return pg.Bytes(kPageW, kPageH);
    }();
    return bytes;
}

void Play(benchmark::State& state, const std::vector<std::uint8_t>& bytes, double zoom)
{
    QImage img(int(kPageW * zoom), int(kPageH * zoom), QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        qrp::PlayEmf(p, bytes.data(), bytes.size(), QRectF(0, 0, img.width(), img.height()));
    }
}

void BM_DensePage96(benchmark::State& s) { Play(s, DensePage(), 1.0); }
void BM_TextRuns2000(benchmark::State& s) { Play(s, TextRuns(), 1.0); }
void BM_DensePage400(benchmark::State& s) { Play(s, DensePage(), 4.0); }

// A 2000 % view shows a window of the page: the painter clips to it and only that part is
// painted. The window is 800 x 600 pixels; the whole page would be 15880 x 22460.
void BM_DensePage2000Clipped(benchmark::State& state)
{
    const auto& bytes = DensePage();
    QImage img(800, 600, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setClipRect(QRect(0, 0, 800, 600));
        p.translate(-6000, -9000);
        qrp::PlayEmf(p, bytes.data(), bytes.size(), QRectF(0, 0, kPageW * 20.0, kPageH * 20.0));
    }
}

void BM_HeaderParse(benchmark::State& state)
{
    const auto& bytes = DensePage();
    for (auto _ : state) {
        qrp::TEmfHeaderInfo h;
        benchmark::DoNotOptimize(ReadEmfHeader(bytes.data(), bytes.size(), h));
        benchmark::DoNotOptimize(h);
    }
}

} // namespace

BENCHMARK(BM_DensePage96)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextRuns2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DensePage400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DensePage2000Clipped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderParse);
