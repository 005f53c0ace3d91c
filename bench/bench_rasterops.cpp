// Bitmap decoding and blits onto an image: plain copies, exact raster operations, and a
// clipped part of a blit at a high zoom, whose cost follows the clipped area.
#include "emf/DibImage.h"
#include "emf/EmfRecords.h"
#include "emf/RasterOps.h"

#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace qrp;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

// A record holding a width x height bitmap at the given depth, filled with a gradient.
Bytes MakeRecord(int width, int height, int bitCount, std::uint32_t compression, DibLocation& where)
{
    Bytes rec(80, 0);
    where.offBmi = std::uint32_t(rec.size());
    Put32(rec, 40);
    Put32(rec, std::uint32_t(width));
    Put32(rec, std::uint32_t(height));
    rec.push_back(1);
    rec.push_back(0);
    rec.push_back(std::uint8_t(bitCount));
    rec.push_back(0);
    Put32(rec, compression);
    for (int i = 0; i < 5; ++i)
        Put32(rec, 0);
    if (bitCount == 8)
        for (int i = 0; i < 256; ++i)
            Put32(rec, std::uint32_t(i * 0x010101));
    where.cbBmi = std::uint32_t(rec.size() - where.offBmi);
    where.offBits = std::uint32_t(rec.size());
    if (compression == emf::BI_RLE8) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; x += 32) {
                rec.push_back(std::uint8_t(std::min(32, width - x)));
                rec.push_back(std::uint8_t((x + y) & 0xFF));
            }
            rec.push_back(0);
            rec.push_back(0);
        }
        rec.push_back(0);
        rec.push_back(1);
    } else {
        const int stride = ((width * bitCount + 31) / 32) * 4;
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < stride; ++i)
                rec.push_back(std::uint8_t((i + y) & 0xFF));
    }
    where.cbBits = std::uint32_t(rec.size() - where.offBits);
    return rec;
}

void BM_DecodeDib(benchmark::State& state)
{
    DibLocation where;
    const auto compression = std::uint32_t(state.range(1));
    const Bytes rec = MakeRecord(1000, 1000, int(state.range(0)), compression, where);
    for (auto _ : state) {
        DibImage dib = DecodeDib(rec.data(), rec.size(), where);
        benchmark::DoNotOptimize(dib.image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 1000);
}
BENCHMARK(BM_DecodeDib)->Args({24, emf::BI_RGB})->Args({8, emf::BI_RGB})->Args({8, emf::BI_RLE8})
    ->Args({32, emf::BI_RGB})->Unit(benchmark::kMillisecond);

QImage Picture(int size)
{
    QImage img(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            img.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF));
    return img;
}

// A 1000 x 1000 bitmap onto a 1000 x 1000 page image, one code per run.
void BM_BlitFullImage(benchmark::State& state)
{
    const QImage src = Picture(1000);
    QImage page(1000, 1000, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    const auto rop = std::uint32_t(state.range(0));
    for (auto _ : state) {
        QPainter painter(&page);
        BlitRop3(painter, QRectF(0, 0, 1000, 1000), BlitSource{&src, {}}, rop);
    }
}
BENCHMARK(BM_BlitFullImage)->Arg(emf::SRCCOPY)->Arg(emf::SRCAND)->Arg(emf::SRCPAINT)
    ->Arg(emf::PATPAINT)->Unit(benchmark::kMillisecond);

// The same blit at 2000 %, painted into a 500 x 500 window of the zoomed page: the work
// is the window's, not the 20000 x 20000 zoomed bitmap's.
void BM_BlitClippedAtZoom(benchmark::State& state)
{
    const QImage src = Picture(1000);
    QImage window(500, 500, QImage::Format_ARGB32_Premultiplied);
    window.fill(Qt::white);
    const auto rop = std::uint32_t(state.range(0));
    for (auto _ : state) {
        QPainter painter(&window);
        painter.translate(-9000, -9000);
        painter.scale(20, 20);
        BlitRop3(painter, QRectF(0, 0, 1000, 1000), BlitSource{&src, {}}, rop);
    }
}
BENCHMARK(BM_BlitClippedAtZoom)->Arg(emf::SRCCOPY)->Arg(emf::SRCAND)->Unit(benchmark::kMillisecond);

void BM_AlphaBlend(benchmark::State& state)
{
    QImage src = Picture(1000).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage page(1000, 1000, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    for (auto _ : state) {
        QPainter painter(&page);
        AlphaBlend(painter, QRectF(0, 0, 1000, 1000), BlitSource{&src, {}}, 200, true);
    }
}
BENCHMARK(BM_AlphaBlend)->Unit(benchmark::kMillisecond);

} // namespace
