// What one page may cost: pens and geometry narrowed to what can show, and the budget
// charged for the edges drawn.
#include "emf/EmfPlayback.h"

#include "emf/DibImage.h"
#include "emf/StrokeGeometry.h"

#include <algorithm>
#include <cmath>

namespace qrp::emf {

double TEmfPlayback::PenReach(const QPen& pen)
{
    if (pen.style() == Qt::NoPen)
        return 0;
    const double w = std::max(1.0, pen.widthF());
    double reach = w / 2;
    if (pen.joinStyle() == Qt::MiterJoin || pen.joinStyle() == Qt::SvgMiterJoin)
        reach = std::max(reach, w * std::max(0.5, pen.miterLimit()));
    if (pen.capStyle() == Qt::SquareCap)
        reach = std::max(reach, w / 2 * M_SQRT2);
    return reach + 2;
}

void TEmfPlayback::NarrowPen(QPen& pen, const std::function<double()>& distance) const
{
    // A round pen covers every pixel within half its width of the geometry: once that
    // reaches past the far corner of the visible area from the geometry's closest point,
    // the visible area is covered whatever the width beyond.
    if (pen.style() != Qt::SolidLine || pen.capStyle() != Qt::RoundCap || pen.joinStyle() != Qt::RoundJoin)
        return;
    const double diagonal = visibleDiagonal_ + 2;
    if (pen.widthF() / 2 <= diagonal)
        return;
    const double half = distance() + diagonal;
    if (pen.widthF() / 2 > half) {
        // Made anew: QPen::setWidthF refuses widths from 32768 on, which the constructor
        // takes.
        QPen narrowed(pen.brush(), 2 * std::ceil(half), pen.style(), pen.capStyle(), pen.joinStyle());
        narrowed.setCosmetic(pen.isCosmetic());
        narrowed.setMiterLimit(pen.miterLimit());
        pen = narrowed;
    }
}

QRectF TEmfPlayback::StrokeArea(const QPen& pen) const
{
    const double reach = PenReach(pen);
    return QRectF(visible_).adjusted(-reach, -reach, reach, reach);
}

void TEmfPlayback::ChargePath(QPainterPath& path, double penWidth, bool drawLater)
{
    const double rows = std::max(1, visible_.height());
    const double cost = PathCost(path, penWidth, rows);
    const double remaining = budget_.Remaining();
    if (cost <= remaining) {
        budget_.Charge(cost);
        return;
    }
    if (drawLater) {
        // Half of what remains, paid now: the records up to the one that draws the path
        // still run.
        path = PathPrefix(path, penWidth, rows, remaining / 2);
        budget_.Charge(PathCost(path, penWidth, rows));
        return;
    }
    path = PathPrefix(path, penWidth, rows, remaining);
    budget_.Charge(cost);
}

bool TEmfPlayback::ChargeArea(const QRectF& device)
{
    const QRectF shown = device.normalized() & QRectF(visible_);
    return budget_.Charge(4 + std::max(0.0, shown.width() * shown.height()) / 16);
}

bool TEmfPlayback::ChargeBitmap(const DibImage& dib)
{
    return budget_.Charge(double(dib.image.width()) * dib.image.height());
}

qsizetype TEmfPlayback::ChargeGlyphs(qsizetype count, double em, bool outlines)
{
    // A glyph filled as an outline costs the rows it covers, for a few edges each; one
    // drawn from a bitmap its pixels.
    const double size = std::fabs(em);
    const double each = outlines ? 8 + 256 * std::min(double(std::max(1, visible_.height())), size)
                                 : 8 + std::min(size, 256.0) * std::min(size, 256.0) / 16;
    const double remaining = budget_.Remaining();
    if (budget_.Charge(each * double(count)))
        return count;
    return qsizetype(std::min(double(count), std::floor(remaining / each)));
}

} // namespace qrp::emf
