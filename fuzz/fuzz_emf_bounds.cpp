// Pages that ask for much from few bytes. The input is read as a short program whose
// every step writes one or a few records of an enhanced metafile, with sizes taken
// from single bytes that expand to anything up to 2^31: pens, fonts and frames of a
// billion units, bitmaps claiming gigapixels with a handful of data bytes, paths and
// clip paths of tens of thousands of figures, text of tens of thousands of glyphs.
// The page is played onto a small image, and kept as a compressed page of a report
// that states any expanded size. Run with -rss_limit_mb=512 -timeout=2: whatever the
// page asks, it must cost no more than what it can show.
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"
#include "storage/QRCompress.h"
#include "storage/QRStream.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

QGuiApplication& App()
{
    static int argc = 1;
    static char name[] = "fuzz_emf_bounds";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

// The input, a byte at a time; zeros once it has run out.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // One byte as a size of any magnitude: (1 + low four bits) << 2 * (high four bits),
    // so 0x00 is 1 and 0xFF is 2^34, held to 2^31 - 1.
    std::int32_t Big()
    {
        const std::uint8_t b = Byte();
        const std::uint64_t v = std::uint64_t(1 + (b & 15)) << (2 * (b >> 4));
        return static_cast<std::int32_t>(std::min<std::uint64_t>(v, 0x7FFFFFFF));
    }
    std::int32_t SignedBig()
    {
        const bool negative = Byte() & 1;
        const std::int32_t v = Big();
        return negative ? -v : v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

// An enhanced metafile written record by record.
class TPage {
public:
    void U32(std::uint32_t v) { Raw(&v, 4); }
    void I32(std::int32_t v) { Raw(&v, 4); }
    void I16(std::int16_t v) { Raw(&v, 2); }
    void Raw(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void Begin(std::uint32_t type)
    {
        start_ = bytes_.size();
        U32(type);
        U32(0);
    }
    void End()
    {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        const auto size = static_cast<std::uint32_t>(bytes_.size() - start_);
        std::memcpy(bytes_.data() + start_ + 4, &size, 4);
        ++records_;
    }
    void Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b)
    {
        I32(l);
        I32(t);
        I32(r);
        I32(b);
    }
    std::size_t Size() const { return bytes_.size(); }

    // The header goes in front once the records are written.
    std::vector<std::uint8_t> Finish(const std::int32_t frame[4])
    {
        Begin(14); // EOF
        U32(0);
        U32(16);
        U32(20);
        End();
        std::vector<std::uint8_t> head;
        auto put = [&](std::uint32_t v) {
            head.insert(head.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v) + 4);
        };
        put(1);
        put(88);
        for (int i = 0; i < 4; ++i)
            put(static_cast<std::uint32_t>(frame[i] / 26)); // bounds, in device pixels
        for (int i = 0; i < 4; ++i)
            put(static_cast<std::uint32_t>(frame[i]));
        put(0x464D4520);
        put(0x10000);
        put(static_cast<std::uint32_t>(88 + bytes_.size()));
        put(records_ + 1);
        put(16); // handles
        put(0);
        put(0);
        put(0);
        put(1920);
        put(1080);
        put(508);
        put(286);
        head.insert(head.end(), bytes_.begin(), bytes_.end());
        return head;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t start_ = 0;
    std::uint32_t records_ = 0;
};

constexpr std::size_t kMaxPageBytes = 4 << 20; // what one input may write
constexpr std::size_t kMaxReportPage = 256 << 10; // what is also read back as a report page
constexpr std::int32_t kMaxPoints = 60000;
constexpr std::int32_t kMaxGlyphs = 30000;

// Points spread over a square of the given half side, each far from the last.
void Points(TPage& page, std::int32_t count, std::int32_t half, bool sixteen, std::uint32_t seed)
{
    std::uint32_t s = seed | 1;
    for (std::int32_t i = 0; i < count; ++i) {
        s = s * 1103515245u + 12345u;
        const std::int64_t x = std::int64_t(s % 2001) - 1000, y = std::int64_t((s >> 11) % 2001) - 1000;
        const auto px = static_cast<std::int32_t>(x * half / 1000), py = static_cast<std::int32_t>(y * half / 1000);
        if (sixteen) {
            page.I16(static_cast<std::int16_t>(std::clamp(px, -32768, 32767)));
            page.I16(static_cast<std::int16_t>(std::clamp(py, -32768, 32767)));
        } else {
            page.I32(px);
            page.I32(py);
        }
    }
}

void Step(TInput& in, TPage& page)
{
    const std::uint8_t op = in.Byte();
    switch ((op & 0x0F) % 10) {
    case 0: { // a pen, cosmetic or geometric, of any width
        const std::uint32_t handle = 1 + in.Byte() % 8;
        if (op & 0x10) {
            page.Begin(95); // EXTCREATEPEN
            page.U32(handle);
            page.U32(0);
            page.U32(0);
            page.U32(0);
            page.U32(0);
            page.U32(0x00010000u | (in.Byte() % 5) | ((in.Byte() % 3) << 8) | ((in.Byte() % 3) << 12));
            page.U32(static_cast<std::uint32_t>(in.Big()));
            page.U32(0); // solid brush
            page.U32(0x204080);
            page.U32(0);
            page.U32(0);
        } else {
            page.Begin(38); // CREATEPEN
            page.U32(handle);
            page.U32(in.Byte() % 6);
            page.I32(in.Big());
            page.I32(0);
            page.U32(0x102030);
        }
        page.End();
        page.Begin(37);
        page.U32(handle);
        page.End();
        break;
    }
    case 1: { // a font of any height, width and angle
        const std::uint32_t handle = 1 + in.Byte() % 8;
        page.Begin(82);
        page.U32(handle);
        page.I32(in.SignedBig());
        page.I32(in.Byte() & 1 ? in.Big() : 0);
        page.I32(in.Byte() * 15);
        page.I32(0);
        page.I32(400);
        const std::uint8_t flags[8] = {0, 0, 0, static_cast<std::uint8_t>(in.Byte() & 2 ? 2 : 0), 0, 0, 0, 0};
        page.Raw(flags, 8);
        const char16_t face[32] = u"Liberation Sans";
        page.Raw(face, 64);
        page.End();
        page.Begin(37);
        page.U32(handle);
        page.End();
        break;
    }
    case 2: { // a polyline, polygon or Bézier of many points over any extent
        static const std::uint32_t kinds[] = {4, 3, 2, 86, 87, 85}; // POLYLINE, POLYGON, POLYBEZIER, and 16-bit
        const std::uint32_t kind = kinds[in.Byte() % 6];
        const bool sixteen = kind >= 85;
        std::int32_t count = std::min(in.Big(), kMaxPoints);
        if (kind == 2 || kind == 85)
            count = 1 + (count / 3) * 3;
        const std::int32_t half = in.Big();
        page.Begin(kind);
        page.Rect(-half, -half, half, half);
        page.U32(static_cast<std::uint32_t>(count));
        Points(page, count, half, sixteen, in.Byte());
        page.End();
        break;
    }
    case 3: { // a path of many figures, then widened, stroked, filled or made the clip
        const std::int32_t figures = std::min(in.Big(), kMaxPoints / 4);
        const std::int32_t half = in.Big();
        page.Begin(59); // BEGINPATH
        page.End();
        page.Begin(91); // POLYPOLYGON16
        page.Rect(-half, -half, half, half);
        page.U32(static_cast<std::uint32_t>(figures));
        page.U32(static_cast<std::uint32_t>(figures) * 4);
        for (std::int32_t k = 0; k < figures; ++k)
            page.U32(4);
        Points(page, figures * 4, half, true, in.Byte());
        page.End();
        page.Begin(60); // ENDPATH
        page.End();
        static const std::uint32_t after[] = {66, 64, 62, 63, 67, 65}; // WIDEN, STROKE, FILL, BOTH, CLIP, FLATTEN
        const std::uint32_t what = after[in.Byte() % 6];
        if (what == 66) {
            page.Begin(66);
            page.End();
            page.Begin(62);
            page.Rect(0, 0, 1, 1);
        } else {
            page.Begin(what);
            if (what == 67)
                page.U32(1 + in.Byte() % 5);
            else if (what != 65)
                page.Rect(0, 0, 1, 1);
        }
        page.End();
        break;
    }
    case 4: { // text of many glyphs, with or without advances
        const std::int32_t n = std::min(in.Big(), kMaxGlyphs);
        const bool dx = in.Byte() & 1;
        const std::uint32_t at = 8 + 16 + 12 + 40;
        page.Begin(84);
        page.Rect(0, 0, -1, -1);
        page.U32(1);
        page.U32(0);
        page.U32(0);
        page.I32(in.SignedBig());
        page.I32(in.SignedBig());
        page.U32(static_cast<std::uint32_t>(n));
        page.U32(at);
        page.U32(in.Byte() & 4); // clipped or not
        page.Rect(0, 0, in.Big(), in.Big());
        page.U32(dx ? at + static_cast<std::uint32_t>(n) * 2 + (n % 2 ? 2 : 0) : 0);
        for (std::int32_t i = 0; i < n; ++i) {
            const std::uint16_t c = static_cast<std::uint16_t>(0x41 + i % 26);
            page.Raw(&c, 2);
        }
        if (n % 2)
            page.I16(0);
        if (dx) {
            const std::int32_t advance = in.SignedBig();
            for (std::int32_t i = 0; i < n; ++i)
                page.I32(advance);
        }
        page.End();
        break;
    }
    case 5: { // a bitmap claiming any size, compressed or not, with a few bytes of data
        static const std::uint16_t depths[] = {1, 4, 8, 16, 24, 32};
        const std::uint16_t bits = depths[in.Byte() % 6];
        const std::uint32_t compression = bits == 8 && (op & 0x10) ? 1 : bits == 4 && (op & 0x10) ? 2 : 0;
        const std::int32_t w = in.Big(), h = (in.Byte() & 1 ? -1 : 1) * in.Big();
        std::vector<std::uint8_t> data;
        const std::size_t n = in.Byte() % 64;
        for (std::size_t i = 0; i < n; ++i)
            data.push_back(in.Byte());
        const std::uint32_t colors = bits <= 8 ? (1u << bits) : 0;
        const std::uint32_t bmiSize = 40 + colors * 4;
        const std::uint32_t fixed = 80;
        page.Begin(81); // STRETCHDIBITS
        page.Rect(0, 0, 100, 100);
        page.I32(in.SignedBig());
        page.I32(in.SignedBig());
        page.I32(0);
        page.I32(0);
        page.I32(w);
        page.I32(h < 0 ? -h : h);
        page.U32(fixed);
        page.U32(bmiSize);
        page.U32(fixed + bmiSize);
        page.U32(static_cast<std::uint32_t>(data.size()));
        page.U32(0);
        page.U32(0x00CC0020);
        page.I32(in.SignedBig());
        page.I32(in.SignedBig());
        page.U32(40);
        page.I32(w);
        page.I32(h);
        page.I16(1);
        page.I16(static_cast<std::int16_t>(bits));
        page.U32(compression);
        page.U32(static_cast<std::uint32_t>(data.size()));
        page.U32(3780);
        page.U32(3780);
        page.U32(colors);
        page.U32(0);
        for (std::uint32_t c = 0; c < colors; ++c)
            page.U32(c * 0x010101u);
        page.Raw(data.data(), data.size());
        page.End();
        break;
    }
    case 6: { // window and viewport extents, or a world transform, of any scale
        if (op & 0x10) {
            page.Begin(35); // SETWORLDTRANSFORM
            const float m[6] = {float(in.SignedBig()) / 1024.0f, 0, 0, float(in.SignedBig()) / 1024.0f,
                                float(in.SignedBig()), float(in.SignedBig())};
            page.Raw(m, sizeof m);
        } else {
            page.Begin(17); // SETMAPMODE
            page.U32(8);    // MM_ANISOTROPIC
            page.End();
            page.Begin(in.Byte() & 1 ? 9 : 11); // SETWINDOWEXTEX / SETVIEWPORTEXTEX
            page.I32(in.SignedBig());
            page.I32(in.SignedBig());
        }
        page.End();
        break;
    }
    case 7: { // shapes of any extent: rectangle, ellipse, rounded rectangle, arc
        static const std::uint32_t kinds[] = {43, 42, 44, 45, 47};
        const std::uint32_t kind = kinds[in.Byte() % 5];
        page.Begin(kind);
        const std::int32_t a = in.SignedBig(), b = in.SignedBig();
        page.Rect(std::min(a, b), std::min(a, b), std::max(a, b), std::max(a, b));
        if (kind == 44) {
            page.I32(in.Big());
            page.I32(in.Big());
        } else if (kind >= 45) {
            page.I32(in.SignedBig());
            page.I32(in.SignedBig());
            page.I32(in.SignedBig());
            page.I32(in.SignedBig());
        }
        page.End();
        break;
    }
    case 8: { // a brush, hatched or solid
        const std::uint32_t handle = 1 + in.Byte() % 8;
        page.Begin(39);
        page.U32(handle);
        page.U32(in.Byte() % 3);
        page.U32(0x40A060);
        page.U32(in.Byte() % 6);
        page.End();
        page.Begin(37);
        page.U32(handle);
        page.End();
        break;
    }
    default: { // a clip rectangle of any extent
        page.Begin(30); // INTERSECTCLIPRECT
        const std::int32_t a = in.SignedBig(), b = in.SignedBig();
        page.Rect(std::min(a, b), std::min(a, b), std::max(a, b), std::max(a, b));
        page.End();
        break;
    }
    }
}

// The page as a compressed page of a report whose record states `expanded` bytes.
void ReadAsReport(const std::vector<std::uint8_t>& picture, std::int32_t expanded)
{
    qrp::TQRPageList list;
    list.SetStorage(std::make_unique<qrp::TQRStream>(1 << 30));
    list.SetCompressed(true);
    try {
        qrp::TMetafile m;
        m.LoadFromBytes(picture);
        list.AppendPage(m);
        list.Complete();
        // Restate the expanded size: the record is the only one, just past the header.
        auto* s = list.Storage();
        s->SetPosition(qrp::TSavedReportHeader::Size + 8);
        s->WriteValue<std::int32_t>(expanded);
        list.ReadPage(1);
    } catch (const std::exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    App();
    TInput in(data, size);
    const std::int32_t frame[4] = {0, 0, in.Big(), in.Big()};
    const std::uint8_t target = in.Byte();
    const std::int32_t expanded = in.Big();
    TPage page;
    while (in.More() && page.Size() < kMaxPageBytes)
        Step(in, page);
    const std::vector<std::uint8_t> picture = page.Finish(frame);

    // Onto a small image, the target either the image or a huge area around it.
    QImage image(96, 128, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const double scale = target & 1 ? std::ldexp(1.0, target >> 3) : 1;
    qrp::PlayEmf(painter, picture.data(), picture.size(), QRectF(-48 * (scale - 1), -64 * (scale - 1), 96 * scale, 128 * scale));
    painter.end();

    // The report's part is the stated size against the page limit; a small page shows it
    // as well as a large one, whose coding alone would take the time allowed.
    if ((target & 2) && picture.size() <= kMaxReportPage)
        ReadAsReport(picture, expanded);
    return 0;
}
