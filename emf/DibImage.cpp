#include "emf/DibImage.h"

#include "emf/EmfRecords.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace qrp {

namespace {

constexpr std::uint32_t BI_ALPHABITFIELDS = 6;

std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}
std::int32_t I32(const std::uint8_t* p) { return std::int32_t(U32(p)); }

// One channel of a bit-field pixel: the masked bits widened (or narrowed) to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::bit_width(m >> shift);
        }
    }
    std::uint32_t Extract(std::uint32_t px) const
    {
        if (bits == 0)
            return 0;
        const std::uint32_t v = (px & mask) >> shift;
        if (bits >= 8)
            return (v >> (bits - 8)) & 0xFF;
        // Replicate the high bits into the low ones, so full scale stays full scale.
        std::uint32_t r = 0;
        for (int pos = 8 - bits; pos > -bits; pos -= bits)
            r |= pos >= 0 ? (v << pos) : (v >> -pos);
        return r & 0xFF;
    }
};

struct Header {
    std::uint32_t size = 0;
    bool core = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bitCount = 0;
    std::uint32_t compression = emf::BI_RGB;
    std::uint32_t clrUsed = 0;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::size_t infoSize = 0;             // header + masks + colour table
    std::vector<QRgb> palette;            // 1 << bitCount entries for indexed bitmaps
};

std::optional<Header> ParseHeader(const std::uint8_t* bmi, std::size_t cb, std::uint32_t usage)
{
    if (cb < 4)
        return std::nullopt;
    Header h;
    h.size = U32(bmi);
    if (h.size < 12 || h.size > cb || (h.size > 12 && h.size < 40))
        return std::nullopt;
    if (h.size == 12) {
        h.core = true;
        h.width = U16(bmi + 4);
        h.height = U16(bmi + 6);
        h.bitCount = U16(bmi + 10);
    } else {
        h.width = I32(bmi + 4);
        h.height = I32(bmi + 8);
        h.bitCount = U16(bmi + 14);
        h.compression = U32(bmi + 16);
        h.clrUsed = U32(bmi + 32);
    }
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN)
        return std::nullopt;
    const std::uint64_t rows = std::uint64_t(std::abs(std::int64_t(h.height)));
    if (std::uint64_t(h.width) * rows > kMaxDibPixels)
        return std::nullopt;

    switch (h.compression) {
    case emf::BI_RGB:
        if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16
            && h.bitCount != 24 && h.bitCount != 32)
            return std::nullopt;
        break;
    case emf::BI_RLE8:
        if (h.bitCount != 8 || h.height < 0)
            return std::nullopt;
        break;
    case emf::BI_RLE4:
        if (h.bitCount != 4 || h.height < 0)
            return std::nullopt;
        break;
    case emf::BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (h.bitCount != 16 && h.bitCount != 32)
            return std::nullopt;
        break;
    case emf::BI_JPEG:
    case emf::BI_PNG:
        break;
    default:
        return std::nullopt;
    }

    std::size_t tableOffset = h.size;
    if (h.compression == emf::BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
        const int count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
        if (h.size >= 40 + 4u * count) {
            for (int i = 0; i < count; ++i)
                h.masks[i] = U32(bmi + 40 + 4 * i);
        } else {
            // The masks follow a plain 40-byte header.
            if (std::size_t(h.size) + 4u * count > cb)
                return std::nullopt;
            for (int i = 0; i < count; ++i)
                h.masks[i] = U32(bmi + h.size + 4 * i);
            tableOffset += 4u * count;
        }
        if (h.size >= 56 && count == 3)
            h.masks[3] = U32(bmi + 52);
    } else if (h.bitCount == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bitCount == 24 || h.bitCount == 32) {
        h.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    }

    h.infoSize = tableOffset;
    if (h.bitCount >= 1 && h.bitCount <= 8) {
        const std::uint32_t full = 1u << h.bitCount;
        std::uint32_t entries = h.clrUsed != 0 ? std::min(h.clrUsed, full) : full;
        h.palette.assign(full, qRgb(0, 0, 0));
        if (usage == DIB_PAL_INDICES) {
            entries = 0;
            if (h.bitCount == 1)
                h.palette[1] = qRgb(255, 255, 255);
        }
        const std::size_t entrySize = usage == emf::DIB_PAL_COLORS ? 2 : (h.core ? 3 : 4);
        h.infoSize = tableOffset + entries * entrySize;
        // A table cut short by the record keeps the entries it has; the rest stay black.
        const std::size_t available = tableOffset < cb ? (cb - tableOffset) / entrySize : 0;
        const std::uint32_t readable = std::uint32_t(std::min<std::size_t>(entries, available));
        for (std::uint32_t i = 0; i < readable; ++i) {
            const std::uint8_t* e = bmi + tableOffset + i * entrySize;
            h.palette[i] = entrySize == 2 ? DefaultPaletteColor(U16(e)) : qRgb(e[2], e[1], e[0]);
        }
    }
    return h;
}

// Run-length decoding into a transparent image: rows are stored bottom-up. The bitmap is
// width x rows; with colOut and rowOut (image column and row of each bitmap column and
// row, top row first, -1 for none) img holds the sampled part they give, else all of it.
void DecodeRle(const Header& h, const std::uint8_t* bits, std::size_t cb, QImage& img, int width, int rows,
               const std::vector<int>* colOut = nullptr, const std::vector<int>* rowOut = nullptr)
{
    int x = 0;
    int y = 0; // stored row, 0 = bottom
    std::size_t i = 0;
    const bool four = h.compression == emf::BI_RLE4;
    uchar* const base = img.bits();
    const qsizetype bpl = img.bytesPerLine();
    auto rowOf = [&](int stored) -> QRgb* {
        if (stored >= rows)
            return nullptr;
        const int y = rowOut ? (*rowOut)[std::size_t(rows - 1 - stored)] : rows - 1 - stored;
        return y >= 0 ? reinterpret_cast<QRgb*>(base + bpl * y) : nullptr;
    };
    QRgb* line = rowOf(0);
    auto put = [&](unsigned index) {
        if (x < width && line != nullptr) {
            const int col = colOut ? (*colOut)[std::size_t(x)] : x;
            if (col >= 0)
                line[col] = h.palette[index] | 0xFF000000u;
        }
        ++x;
    };
    while (i + 1 < cb && y < rows) {
        const unsigned count = bits[i];
        const unsigned value = bits[i + 1];
        i += 2;
        if (count > 0) {
            for (unsigned k = 0; k < count && x < width; ++k)
                put(four ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
            line = rowOf(y);
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (i + 1 >= cb)
                break;
            x = std::min(x + int(bits[i]), width);
            y += bits[i + 1];
            line = rowOf(y);
            i += 2;
        } else { // absolute run of value pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > cb)
                break;
            for (unsigned k = 0; k < value && x < width; ++k)
                put(four ? ((k & 1) ? (bits[i + k / 2] & 0x0F) : (bits[i + k / 2] >> 4))
                         : bits[i + k]);
            i += (bytes + 1) & ~std::size_t(1);
        }
    }
}

// Which bitmap pixel each image pixel along one axis samples: from + floor((i + 0.5) *
// count / outCount).
std::vector<int> Samples(int from, int count, int outCount)
{
    std::vector<int> s(static_cast<std::size_t>(outCount));
    for (int i = 0; i < outCount; ++i)
        s[std::size_t(i)] = from + int(((2 * std::int64_t(i) + 1) * count) / (2 * std::int64_t(outCount)));
    return s;
}

// The inverse for a run-length bitmap: the image pixel of each bitmap pixel, or -1.
std::vector<int> SampledBy(const std::vector<int>& samples, int count)
{
    std::vector<int> out(static_cast<std::size_t>(count), -1);
    for (std::size_t i = 0; i < samples.size(); ++i)
        out[std::size_t(samples[i])] = int(i);
    return out;
}

// A window of an uncompressed or bit-field bitmap of width x rows (see DibWindow).
void DecodeWindow(const Header& h, const std::uint8_t* bits, std::uint64_t stride, int rows, bool topDown,
                  const DibWindow& win, DibImage& out)
{
    const std::vector<int> cols = Samples(win.rect.x(), win.rect.width(), win.size.width());
    const std::vector<int> lines = Samples(win.rect.y(), win.rect.height(), win.size.height());
    QImage img(win.size, QImage::Format_RGB32);
    if (img.isNull())
        return;
    const bool rgb32 = h.bitCount == 32 && h.compression == emf::BI_RGB;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaCh(h.masks[3]);
    QImage alpha, mono;
    if (h.bitCount == 32) {
        alpha = QImage(win.size, QImage::Format_ARGB32_Premultiplied);
        if (alpha.isNull())
            return;
    }
    if (h.bitCount == 1) {
        mono = QImage(win.size, QImage::Format_Mono);
        if (mono.isNull())
            return;
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        mono.fill(0);
    }
    bool anyAlpha = false;
    for (int j = 0; j < win.size.height(); ++j) {
        const int sy = lines[std::size_t(j)];
        const std::uint8_t* src = bits + std::size_t(stride) * std::size_t(topDown ? sy : rows - 1 - sy);
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(j));
        auto* aline = alpha.isNull() ? nullptr : reinterpret_cast<QRgb*>(alpha.scanLine(j));
        uchar* mline = mono.isNull() ? nullptr : mono.scanLine(j);
        for (int i = 0; i < win.size.width(); ++i) {
            const int x = cols[std::size_t(i)];
            switch (h.bitCount) {
            case 1: {
                const int bit = (src[x >> 3] >> (7 - (x & 7))) & 1;
                line[i] = h.palette[std::size_t(bit)] | 0xFF000000u;
                if (bit)
                    mline[i >> 3] |= uchar(0x80 >> (i & 7));
                break;
            }
            case 4: line[i] = h.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F] | 0xFF000000u; break;
            case 8: line[i] = h.palette[src[x]] | 0xFF000000u; break;
            case 16: {
                const std::uint32_t px = U16(src + 2 * x);
                line[i] = qRgb(int(red.Extract(px)), int(green.Extract(px)), int(blue.Extract(px)));
                break;
            }
            case 24: {
                const std::uint8_t* p = src + 3 * x;
                line[i] = qRgb(p[2], p[1], p[0]);
                break;
            }
            case 32: {
                const std::uint8_t* p = src + 4 * x;
                int a;
                if (rgb32) {
                    line[i] = qRgb(p[2], p[1], p[0]);
                    a = p[3];
                } else {
                    const std::uint32_t px = U32(p);
                    line[i] = qRgb(int(red.Extract(px)), int(green.Extract(px)), int(blue.Extract(px)));
                    a = int(alphaCh.Extract(px));
                }
                anyAlpha = anyAlpha || a != 0;
                const QRgb c = line[i];
                aline[i] = qRgba(std::min(qRed(c), a), std::min(qGreen(c), a), std::min(qBlue(c), a), a);
                break;
            }
            }
        }
    }
    if (anyAlpha)
        out.alpha = std::move(alpha);
    out.mono = std::move(mono);
    out.image = std::move(img);
}

DibImage DecodeEmbedded(const Header& h, const std::uint8_t* bits, std::size_t cb)
{
    DibImage out;
    if (bits == nullptr || cb == 0 || cb > std::size_t(INT32_MAX))
        return out;
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bits), qsizetype(cb));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The embedded picture's own size is checked before anything is allocated for it.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()
        || std::uint64_t(size.width()) * std::uint64_t(size.height()) > kMaxDibPixels)
        return out;
    QImage img;
    if (!reader.read(&img) || img.isNull() || img.size() != size)
        return out;
    out.image = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
    out.bitCount = h.bitCount;
    out.compression = h.compression;
    out.width = img.width();
    out.height = img.height();
    out.topDown = true;
    out.rows = img.height();
    out.window = img.rect();
    return out;
}

DibImage Decode(const std::uint8_t* bmi, std::size_t cbBmi, const std::uint8_t* bits,
                std::size_t cbBits, std::uint32_t usage, std::uint32_t scanLines,
                const DibWindowChooser& chooser = {})
{
    DibImage out;
    const std::optional<Header> parsed = ParseHeader(bmi, cbBmi, usage);
    if (!parsed)
        return out;
    const Header& h = *parsed;
    if (h.compression == emf::BI_JPEG || h.compression == emf::BI_PNG)
        return DecodeEmbedded(h, bits, cbBits);

    const int width = h.width;
    const bool topDown = h.height < 0;
    int rows = int(std::abs(std::int64_t(h.height)));
    if (scanLines != 0)
        rows = int(std::min<std::uint32_t>(scanLines, std::uint32_t(rows)));
    const bool rle = h.compression == emf::BI_RLE8 || h.compression == emf::BI_RLE4;
    const std::uint64_t rowBits = std::uint64_t(width) * std::uint64_t(h.bitCount);
    const std::uint64_t stride = ((rowBits + 31) / 32) * 4;
    if (!rle) {
        // The last row need not carry its padding.
        const std::uint64_t needed = stride * std::uint64_t(rows - 1) + (rowBits + 7) / 8;
        if (bits == nullptr || needed > cbBits)
            return out;
    }

    // Run-length data may leave most of a bitmap unwritten, but a large bitmap described
    // by a few bytes is no picture: past a megapixel, ask for a byte per 1024 pixels.
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(rows);
    if (rle && pixels > (std::uint64_t(1) << 20) && pixels / 1024 > cbBits)
        return out;

    // The part asked for, sampled down to the most pixels an image may hold.
    const QRect whole(0, 0, width, rows);
    DibWindow win{whole, whole.size()};
    if (chooser) {
        win = chooser(whole.size(), topDown);
        win.rect &= whole;
        if (win.rect.isEmpty() || win.size.isEmpty())
            return out;
        win.size = win.size.boundedTo(win.rect.size());
    }
    const std::uint64_t kept = std::uint64_t(win.size.width()) * std::uint64_t(win.size.height());
    if (kept > kMaxDecodedPixels) {
        const double f = std::sqrt(double(kMaxDecodedPixels) / double(kept));
        win.size = QSize(std::max(1, int(win.size.width() * f)), std::max(1, int(win.size.height() * f)));
    }
    const bool windowed = win.rect != whole || win.size != whole.size();

    out.bitCount = h.bitCount;
    out.compression = h.compression;
    out.width = width;
    out.height = int(std::abs(std::int64_t(h.height)));
    out.topDown = topDown;
    out.rows = rows;
    out.window = win.rect;

    if (windowed && !rle) {
        DecodeWindow(h, bits, stride, rows, topDown, win, out);
        return out;
    }
    QImage img(win.size, rle ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull())
        return out;

    if (rle) {
        img.fill(0);
        if (bits != nullptr && windowed) {
            const std::vector<int> cols = SampledBy(Samples(win.rect.x(), win.rect.width(), win.size.width()), width);
            const std::vector<int> lines = SampledBy(Samples(win.rect.y(), win.rect.height(), win.size.height()), rows);
            DecodeRle(h, bits, cbBits, img, width, rows, &cols, &lines);
        } else if (bits != nullptr) {
            DecodeRle(h, bits, cbBits, img, width, rows);
        }
        out.image = std::move(img);
        return out;
    }

    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaCh(h.masks[3]);
    const bool rgb32 = h.bitCount == 32 && h.compression == emf::BI_RGB;
    bool anyAlpha = false;
    QImage mono;
    if (h.bitCount == 1) {
        mono = QImage(width, rows, QImage::Format_Mono);
        if (mono.isNull())
            return out;
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    const std::size_t rowBytes = std::size_t((rowBits + 7) / 8);
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* src = bits + std::size_t(stride) * std::size_t(r);
        const int y = topDown ? r : rows - 1 - r;
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        switch (h.bitCount) {
        case 1:
            std::memcpy(mono.scanLine(y), src, rowBytes);
            for (int x = 0; x < width; ++x)
                line[x] = h.palette[(src[x >> 3] >> (7 - (x & 7))) & 1] | 0xFF000000u;
            break;
        case 4:
            for (int x = 0; x < width; ++x)
                line[x] = h.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F] | 0xFF000000u;
            break;
        case 8:
            for (int x = 0; x < width; ++x)
                line[x] = h.palette[src[x]] | 0xFF000000u;
            break;
        case 16:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t px = U16(src + 2 * x);
                line[x] = qRgb(int(red.Extract(px)), int(green.Extract(px)), int(blue.Extract(px)));
            }
            break;
        case 24:
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = src + 3 * x;
                line[x] = qRgb(p[2], p[1], p[0]);
            }
            break;
        case 32:
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = src + 4 * x;
                if (rgb32) {
                    line[x] = qRgb(p[2], p[1], p[0]);
                    anyAlpha = anyAlpha || p[3] != 0;
                } else {
                    const std::uint32_t px = U32(p);
                    line[x] = qRgb(int(red.Extract(px)), int(green.Extract(px)), int(blue.Extract(px)));
                    anyAlpha = anyAlpha || alphaCh.Extract(px) != 0;
                }
            }
            break;
        }
    }

    if (anyAlpha) {
        QImage alpha(width, rows, QImage::Format_ARGB32_Premultiplied);
        if (!alpha.isNull()) {
            for (int r = 0; r < rows; ++r) {
                const std::uint8_t* src = bits + std::size_t(stride) * std::size_t(r);
                const int y = topDown ? r : rows - 1 - r;
                auto* line = reinterpret_cast<QRgb*>(alpha.scanLine(y));
                const auto* colour = reinterpret_cast<const QRgb*>(img.constScanLine(y));
                for (int x = 0; x < width; ++x) {
                    const int a = rgb32 ? src[4 * x + 3] : int(alphaCh.Extract(U32(src + 4 * x)));
                    const QRgb c = colour[x];
                    line[x] = qRgba(std::min(qRed(c), a), std::min(qGreen(c), a),
                                    std::min(qBlue(c), a), a);
                }
            }
            out.alpha = std::move(alpha);
        }
    }
    out.mono = std::move(mono);
    out.image = std::move(img);
    return out;
}

} // namespace

QRgb DefaultPaletteColor(unsigned index)
{
    static constexpr QRgb kDefault[20] = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080,
        0xFFC0C0C0, 0xFFC0DCC0, 0xFFA6CAF0, 0xFFFFFBF0, 0xFFA0A0A4, 0xFF808080, 0xFFFF0000,
        0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
    };
    return index < 20 ? kDefault[index] : 0xFF000000;
}

QImage DibImage::Recolored(QRgb color0, QRgb color1) const
{
    if (mono.isNull())
        return image;
    QImage m = mono;
    m.setColorTable({color0, color1});
    const bool opaque = qAlpha(color0) == 255 && qAlpha(color1) == 255;
    return m.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
}

QImage DibImage::MaskImage() const
{
    if (mono.isNull())
        return {};
    QImage m = mono;
    m.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return m.convertToFormat(QImage::Format_RGB32);
}

DibImage DecodeDib(const std::uint8_t* record, std::size_t recordSize, const DibLocation& where,
                   const DibWindowChooser& chooser)
{
    if (record == nullptr)
        return {};
    const std::uint64_t bmiEnd = std::uint64_t(where.offBmi) + where.cbBmi;
    const std::uint64_t bitsEnd = std::uint64_t(where.offBits) + where.cbBits;
    if (where.cbBmi == 0 || bmiEnd > recordSize || bitsEnd > recordSize)
        return {};
    return Decode(record + where.offBmi, where.cbBmi,
                  where.cbBits != 0 ? record + where.offBits : nullptr, where.cbBits,
                  where.usage, where.scanLines, chooser);
}

DibImage DecodePackedDib(const std::uint8_t* data, std::size_t size, std::uint32_t usage)
{
    if (data == nullptr)
        return {};
    const std::optional<Header> h = ParseHeader(data, size, usage);
    if (!h || h->infoSize > size)
        return {};
    const std::size_t cbBits = size - h->infoSize;
    return Decode(data, h->infoSize, cbBits != 0 ? data + h->infoSize : nullptr, cbBits, usage, 0);
}

} // namespace qrp
