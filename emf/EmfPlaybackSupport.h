#pragma once
// Limits and small numeric helpers shared by the player's files (internal to emf/).
#include <QColor>
#include <QPainterPath>
#include <QPointF>

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

inline bool SaneFloat(float f)
{
    return std::isfinite(f) && std::fabs(f) < 1.0e9f;
}

} // namespace qrp::emf
