#pragma once
// Pictures written record by record for the player's tests: a reference device of 4
// pixels per millimetre, records of 32-bit fields or raw bytes, and the pixel checks the
// tests share.
#include "emf/EmfPlayer.h"
#include "emf/EmfRecords.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qrp::emf::test {


// Builds a picture record by record. The reference device has 4 pixels per millimetre,
// so a frame of w x h pixels is w * 25 x h * 25 hundredths of a millimetre.
class TPicture {
public:
    TPicture(int w, int h, std::uint16_t handles = 8) : w_(w), h_(h), handles_(handles) {}

    TPicture& Rec(std::uint32_t type, std::vector<std::int32_t> fields)
    {
        Put(type);
        Put(std::uint32_t(8 + fields.size() * 4));
        for (std::int32_t f : fields)
            Put(std::uint32_t(f));
        ++records_;
        return *this;
    }
    // Record with raw payload bytes (padded to 4).
    TPicture& Raw(std::uint32_t type, std::vector<std::uint8_t> payload)
    {
        while (payload.size() % 4)
            payload.push_back(0);
        Put(type);
        Put(std::uint32_t(8 + payload.size()));
        body_.insert(body_.end(), payload.begin(), payload.end());
        ++records_;
        return *this;
    }
    std::vector<std::uint8_t> Bytes() const
    {
        std::vector<std::uint8_t> out;
        auto put = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(std::uint8_t(v >> (8 * i)));
        };
        const std::uint32_t total = 108 + std::uint32_t(body_.size()) + 20;
        put(EMR_HEADER); put(108);
        put(0); put(0); put(w_ - 1); put(h_ - 1);            // bounds
        put(0); put(0); put(w_ * 25); put(h_ * 25);          // frame
        put(ENHMETA_SIGNATURE); put(0x10000); put(total); put(records_ + 2);
        put(handles_);                                       // handles + reserved
        put(0); put(0); put(0);                              // description, palette
        put(1000); put(1000); put(250); put(250);            // device px, mm
        put(0); put(0); put(0); put(250000); put(250000);    // pixel format, GL, um
        out.insert(out.end(), body_.begin(), body_.end());
        put(EMR_EOF); put(20); put(0); put(16); put(20);
        return out;
    }
    QImage Play(double scale = 1.0) const
    {
        QImage img(int(w_ * scale), int(h_ * scale), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        const auto b = Bytes();
        qrp::PlayEmf(p, b.data(), b.size(), QRectF(0, 0, img.width(), img.height()));
        return img;
    }

private:
    void Put(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            body_.push_back(std::uint8_t(v >> (8 * i)));
    }
    int w_, h_;
    std::uint16_t handles_;
    std::uint32_t records_ = 0;
    std::vector<std::uint8_t> body_;
};

constexpr std::int32_t Stock(std::uint32_t id) { return std::int32_t(STOCK_OBJECT_FLAG | id); }

inline bool Ink(const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 128; }

// Bounding box of the dark pixels.
inline QRect InkBox(const QImage& img)
{
    int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Ink(img, x, y)) {
                x0 = std::min(x0, x); y0 = std::min(y0, y);
                x1 = std::max(x1, x); y1 = std::max(y1, y);
            }
    return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

inline std::vector<std::uint8_t> Utf16(const char* s)
{
    std::vector<std::uint8_t> out;
    for (; *s; ++s) {
        out.push_back(std::uint8_t(*s));
        out.push_back(0);
    }
    return out;
}

// EXTCREATEFONTINDIRECTW for Arial of the given height.
inline TPicture& Font(TPicture& pic, int handle, int height, int escapement = 0)
{
    std::vector<std::uint8_t> p(4 + 92, 0);
    auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&p[at], &v, 4); };
    put(0, handle);
    put(4, height);
    put(12, escapement);
    put(16, 400);
    const auto face = Utf16("Arial");
    std::memcpy(&p[32], face.data(), face.size());
    return pic.Raw(EMR_EXTCREATEFONTINDIRECTW, p);
}

// EXTTEXTOUTW at (x, y) with optional dx array.
inline TPicture& Text(TPicture& pic, int x, int y, const char* s, std::vector<std::int32_t> dx = {},
               std::uint32_t options = 0, QRect rect = QRect(), std::uint32_t graphicsMode = GM_COMPATIBLE)
{
    const auto str = Utf16(s);
    const std::uint32_t n = std::uint32_t(std::strlen(s));
    std::vector<std::uint8_t> p(68, 0);
    auto put = [&](std::size_t at, std::int32_t v) { std::memcpy(&p[at], &v, 4); };
    put(16, std::int32_t(graphicsMode));
    put(28, x); put(32, y); put(36, std::int32_t(n));
    const std::uint32_t offString = 8 + 68;
    put(40, std::int32_t(offString));
    put(44, std::int32_t(options));
    if (rect.isValid()) {
        put(48, rect.left()); put(52, rect.top()); put(56, rect.right() + 1); put(60, rect.bottom() + 1);
    }
    std::vector<std::uint8_t> strBytes = str;
    while (strBytes.size() % 4)
        strBytes.push_back(0);
    if (!dx.empty())
        put(64, std::int32_t(offString + strBytes.size()));
    p.insert(p.end(), strBytes.begin(), strBytes.end());
    for (std::int32_t d : dx)
        for (int i = 0; i < 4; ++i)
            p.push_back(std::uint8_t(std::uint32_t(d) >> (8 * i)));
    return pic.Raw(EMR_EXTTEXTOUTW, p);
}

inline TPicture& Region(TPicture& pic, std::uint32_t mode, QRect rc)
{
    std::vector<std::int32_t> f{48, std::int32_t(mode), 32, 1, 1, 16, rc.left(), rc.top(),
                                rc.right() + 1, rc.bottom() + 1, rc.left(), rc.top(), rc.right() + 1, rc.bottom() + 1};
    return pic.Rec(EMR_EXTSELECTCLIPRGN, f);
}

} // namespace qrp::emf::test
