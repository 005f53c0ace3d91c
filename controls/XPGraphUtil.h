#pragma once
// Drawing helpers of the styled button: a banded gradient and the GDI-style shapes
// (rounded rectangles, half-open lines and rectangles, the dotted focus frame) drawn
// pixel for pixel onto a QPainter without antialiasing.
#include <QColor>
#include <cstdint>

class QPainter;

namespace qrp {

// A rectangle as (left, top, right, bottom); the right column and the bottom row are
// not part of it.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

inline int RectWidth(const TRect& r) { return r.Right - r.Left; }
inline int RectHeight(const TRect& r) { return r.Bottom - r.Top; }

enum TGradientDirection : std::uint8_t {
    gdTopToBottom = 0,
    gdBottomToTop = 1,
    gdLeftToRight = 2,
    gdRightToLeft = 3
};

// Fills Rect with Colors bands going from StartColor to EndColor in Direction.
// Band colours are rounded with halves away from zero; the rows (or columns) left
// over when the length does not divide evenly get the colour of the far end.
void GradientFill(QPainter& Canvas, const TRect& Rect, const QColor& StartColor,
                  const QColor& EndColor, TGradientDirection Direction, std::uint8_t Colors);

// Colour of band i of n between base and base + delta, per channel.
QColor GradientBandColor(const QColor& base, int deltaR, int deltaG, int deltaB, int i, int n);

// Rounded rectangle with corner ellipse ew x eh: outline in pen (when valid), inside in
// brush (when valid). Rows are cut at the corners as a GDI round rectangle cuts them.
void RoundRect(QPainter& Canvas, const TRect& Rect, int ew, int eh, const QColor& pen,
               const QColor& brush);
// Outline of Rect (no fill).
void FrameRect(QPainter& Canvas, const TRect& Rect, const QColor& pen);
// Line from (x1, y1) to (x2, y2), horizontal or vertical, without its end point.
void LineTo(QPainter& Canvas, int x1, int y1, int x2, int y2, const QColor& pen);
// Dotted focus frame: every other pixel of Rect's outline inverted.
void DrawFocusRect(QPainter& Canvas, const TRect& Rect);

} // namespace qrp
