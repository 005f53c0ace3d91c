#pragma once
// Limits and small numeric helpers shared by the player's files (internal to emf/).
#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace qrp::emf {

// Limits that keep damaged pictures from exhausting memory or time.
constexpr std::size_t kMaxSaveDepth = 1024;
constexpr int kMaxPathElements = 1 << 21;
constexpr double kMaxCoord = 1.0e7; // device pixels; larger values are clamped

inline double Clamp(double v)
{
    if (!(v == v)) // NaN
        return 0;
    return std::clamp(v, -kMaxCoord, kMaxCoord);
}

inline int RoundClamp(double v)
{
    return static_cast<int>(std::lround(Clamp(v)));
}

// GDI keeps device coordinates as whole pixels.
inline void SnapToPixels(QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        path.setElementPositionAt(i, RoundClamp(e.x), RoundClamp(e.y));
    }
}

inline QPointF Snap(const QPointF& p)
{
    return QPointF(RoundClamp(p.x()), RoundClamp(p.y()));
}

inline QColor ColorRef(std::uint32_t c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// The device pixels a logical rectangle covers under xf (axis-aligned): its corners
// rounded, right and bottom exclusive. Empty when it covers none.
inline QRect DevicePixels(const QTransform& xf, const QRectF& logical)
{
    const QPointF a = xf.map(logical.topLeft()), b = xf.map(logical.bottomRight());
    const int x1 = RoundClamp(std::min(a.x(), b.x())), x2 = RoundClamp(std::max(a.x(), b.x()));
    const int y1 = RoundClamp(std::min(a.y(), b.y())), y2 = RoundClamp(std::max(a.y(), b.y()));
    return QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
}

inline bool SaneFloat(float f)
{
    return std::isfinite(f) && std::fabs(f) < 1.0e9f;
}

} // namespace qrp::emf
