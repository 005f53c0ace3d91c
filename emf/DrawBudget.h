#pragma once
// The work one page may cost while it plays: a budget in proportion to the pixels the
// page is drawn on (with a floor, so that small outputs still draw ordinary pages whole),
// charged by every costly drawing step. Once it is spent the rest of the page is skipped;
// what was drawn stays.
#include <QRect>
#include <QSize>

#include <cstdint>

class QPainter;

namespace qrp::emf {

class TDrawBudget {
public:
    // Units of work: about one edge crossing one scan line, one glyph pixel row or one
    // decoded bitmap pixel.
    static constexpr double kFloor = 1 << 25;
    static constexpr double kPerPixel = 64;
    // Devices that keep drawings as shapes (PDF, printers) count as this many pixels at
    // most: their resolution (1200 dpi for PDF) is no work of ours.
    static constexpr double kMaxShapePixels = 1 << 24;

    // raster: the device is drawn pixel by pixel here (images, widgets).
    explicit TDrawBudget(QSize device = QSize(), bool raster = true);

    // Takes cost units; false (and spent from then on) when they are more than remain.
    bool Charge(double cost);
    bool Spent() const { return spent_; }
    double Remaining() const { return limit_ - used_; }
    double Limit() const { return limit_; }
    double Used() const { return used_; }

private:
    double limit_;
    double used_ = 0;
    bool spent_ = false;
};

// The device pixels that can show on painter: its device's rectangle, narrowed to the
// bounding rectangle of clip (device pixels) when one is given.
QRect VisibleDeviceRect(const QPainter& painter, const QRectF* clipBounds);

} // namespace qrp::emf
