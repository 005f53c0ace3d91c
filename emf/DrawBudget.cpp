#include "emf/DrawBudget.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace qrp::emf {

TDrawBudget::TDrawBudget(QSize device, bool raster)
{
    double pixels = std::max(0.0, double(device.width())) * std::max(0, device.height());
    if (!raster)
        pixels = std::min(pixels, kMaxShapePixels);
    limit_ = std::max(kFloor, kPerPixel * pixels);
}

bool TDrawBudget::Charge(double cost)
{
    if (spent_)
        return false;
    if (!(cost >= 0)) // NaN or negative: charged as nothing
        return true;
    if (cost > limit_ - used_) {
        used_ = limit_;
        spent_ = true;
        return false;
    }
    used_ += cost;
    return true;
}

QRect VisibleDeviceRect(const QPainter& painter, const QRectF* clipBounds)
{
    const QPaintDevice* device = painter.device();
    QRect r(-(1 << 24), -(1 << 24), 1 << 25, 1 << 25); // no device: all that coordinates reach
    if (device != nullptr && device->width() > 0 && device->height() > 0)
        r = QRect(0, 0, device->width(), device->height());
    if (clipBounds != nullptr)
        r &= clipBounds->toAlignedRect();
    return r;
}

} // namespace qrp::emf
