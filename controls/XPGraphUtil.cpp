#include "controls/XPGraphUtil.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace qrp {

namespace {

// (num / den) rounded to the nearest integer, halves away from zero; den > 0.
int DivRoundHalfAway(long long num, long long den)
{
    if (num >= 0)
        return static_cast<int>((2 * num + den) / (2 * den));
    return -static_cast<int>((2 * -num + den) / (2 * den));
}

int Channel(int base, int delta, int i, int n)
{
    // base + i * delta / (n - 1), rounded as a whole.
    const long long den = n - 1;
    return std::clamp(DivRoundHalfAway(base * den + static_cast<long long>(i) * delta, den), 0, 255);
}

void FillBand(QPainter& canvas, int x, int y, int w, int h, const QColor& color)
{
    if (w <= 0 || h <= 0)
        return;
    // A brush of its own for each band, released when the fill is done.
    const QBrush brush(color, Qt::SolidPattern);
    canvas.fillRect(x, y, w, h, brush);
}

// Pixels cut from each side of a corner row of a round rectangle with ellipse ew x eh:
// a pixel stays when its centre lies inside the ellipse inscribed in the corner box
// (ew - 1 by eh - 1 between pixel centres).
std::vector<int> CornerCuts(int ew, int eh)
{
    std::vector<int> cuts;
    if (ew < 2 || eh < 2)
        return cuts;
    const double rx = (ew - 1) / 2.0, ry = (eh - 1) / 2.0;
    const int rows = static_cast<int>(std::ceil(ry));
    for (int y = 0; y < rows; ++y) {
        const double dy = (y - ry) / ry;
        int cut = 0;
        for (int x = 0; x < static_cast<int>(std::ceil(rx)); ++x) {
            const double dx = (x - rx) / rx;
            if (dx * dx + dy * dy <= 1.0 + 1e-9)
                break;
            ++cut;
        }
        cuts.push_back(cut);
    }
    return cuts;
}

} // namespace

QColor GradientBandColor(const QColor& base, int deltaR, int deltaG, int deltaB, int i, int n)
{
    return QColor(Channel(base.red(), deltaR, i, n), Channel(base.green(), deltaG, i, n),
                  Channel(base.blue(), deltaB, i, n));
}

void GradientFill(QPainter& Canvas, const TRect& Rect, const QColor& StartColor,
                  const QColor& EndColor, TGradientDirection Direction, std::uint8_t Colors)
{
    const int width = RectWidth(Rect), height = RectHeight(Rect);
    if (width <= 0 || height <= 0)
        return;
    if (Colors < 2) {
        FillBand(Canvas, Rect.Left, Rect.Top, width, height, StartColor);
        return;
    }
    const QColor start = StartColor.toRgb(), end = EndColor.toRgb();
    const bool forward = Direction == gdTopToBottom || Direction == gdLeftToRight;
    const bool vertical = Direction == gdTopToBottom || Direction == gdBottomToTop;
    const QColor base = forward ? start : end;
    const QColor other = forward ? end : start;
    const int dr = other.red() - base.red(), dg = other.green() - base.green(),
              db = other.blue() - base.blue();

    const int length = vertical ? height : width;
    const int n = std::max(2, std::min<int>(Colors, length));
    const int band = length / n;
    if (band > 0) {
        for (int i = 0; i < n; ++i) {
            const QColor color = GradientBandColor(base, dr, dg, db, i, n);
            if (vertical)
                FillBand(Canvas, Rect.Left, Rect.Top + i * band, width, band, color);
            else
                FillBand(Canvas, Rect.Left + i * band, Rect.Top, band, height, color);
        }
    }
    const int rem = length % n;
    if (rem > 0) {
        const QColor tail = forward ? end : start;
        if (vertical)
            FillBand(Canvas, Rect.Left, Rect.Bottom - rem, width, rem, tail);
        else
            FillBand(Canvas, Rect.Right - rem, Rect.Top, rem, height, tail);
    }
    QPen pen = Canvas.pen();
    pen.setStyle(Qt::SolidLine);
    Canvas.setPen(pen);
    Canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void RoundRect(QPainter& Canvas, const TRect& Rect, int ew, int eh, const QColor& pen,
               const QColor& brush)
{
    const int w = RectWidth(Rect), h = RectHeight(Rect);
    if (w <= 0 || h <= 0)
        return;
    std::vector<int> cuts = CornerCuts(std::min(ew, w), std::min(eh, h));
    // Span [first, last] of row y (relative) inside the shape.
    auto cutOf = [&](int y) {
        if (y < 0 || y >= h)
            return -1;
        const int fromEdge = std::min(y, h - 1 - y);
        return fromEdge < static_cast<int>(cuts.size()) ? cuts[fromEdge] : 0;
    };
    auto inside = [&](int x, int y) {
        const int c = cutOf(y);
        return c >= 0 && x >= c && x <= w - 1 - c;
    };
    for (int y = 0; y < h; ++y) {
        const int c = cutOf(y);
        for (int x = c; x <= w - 1 - c; ++x) {
            const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) ||
                              !inside(x, y + 1);
            if (edge && pen.isValid())
                Canvas.fillRect(Rect.Left + x, Rect.Top + y, 1, 1, pen);
            else if (!edge && brush.isValid())
                Canvas.fillRect(Rect.Left + x, Rect.Top + y, 1, 1, brush);
        }
    }
}

void FrameRect(QPainter& Canvas, const TRect& Rect, const QColor& pen)
{
    const int w = RectWidth(Rect), h = RectHeight(Rect);
    if (w <= 0 || h <= 0)
        return;
    Canvas.fillRect(Rect.Left, Rect.Top, w, 1, pen);
    Canvas.fillRect(Rect.Left, Rect.Bottom - 1, w, 1, pen);
    Canvas.fillRect(Rect.Left, Rect.Top, 1, h, pen);
    Canvas.fillRect(Rect.Right - 1, Rect.Top, 1, h, pen);
}

void LineTo(QPainter& Canvas, int x1, int y1, int x2, int y2, const QColor& pen)
{
    if (y1 == y2) {
        if (x2 > x1)
            Canvas.fillRect(x1, y1, x2 - x1, 1, pen);
        else if (x1 > x2)
            Canvas.fillRect(x2 + 1, y1, x1 - x2, 1, pen);
    } else if (x1 == x2) {
        if (y2 > y1)
            Canvas.fillRect(x1, y1, 1, y2 - y1, pen);
        else
            Canvas.fillRect(x1, y2 + 1, 1, y1 - y2, pen);
    }
}

void DrawFocusRect(QPainter& Canvas, const TRect& Rect)
{
    const int w = RectWidth(Rect), h = RectHeight(Rect);
    if (w <= 0 || h <= 0)
        return;
    Canvas.save();
    Canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    const QColor white(255, 255, 255);
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            Canvas.fillRect(x, y, 1, 1, white);
    };
    for (int x = Rect.Left; x < Rect.Right; ++x) {
        dot(x, Rect.Top);
        if (h > 1)
            dot(x, Rect.Bottom - 1);
    }
    for (int y = Rect.Top + 1; y < Rect.Bottom - 1; ++y) {
        dot(Rect.Left, y);
        if (w > 1)
            dot(Rect.Right - 1, y);
    }
    Canvas.restore();
}

} // namespace qrp
