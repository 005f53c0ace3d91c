// What one page may cost: pens and geometry narrowed to what can show, and the budget
// charged for the edges drawn.
#include "emf/EmfPlayback.h"

#include "emf/DibImage.h"
#include "emf/RasterOps.h"
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

double TEmfPlayback::DashPeriod(const QPen& pen)
{
    if (pen.style() == Qt::SolidLine || pen.style() == Qt::NoPen)
        return 0;
    double period = 0;
    for (const qreal d : pen.dashPattern())
        period += std::max(0.0, double(d));
    return period * std::max(1.0, pen.widthF());
}

bool TEmfPlayback::ManyDashes(const QPen& pen, double length, bool widened) const
{
    if (!widened && !(pen.widthF() > 1))
        return false;
    const double period = DashPeriod(pen);
    return period > 0 && !(length <= period * dashLimit_);
}

namespace {
// Each dash is a shape of its own: a few edges and caps to make, keep and fill.
constexpr double kDashCost = 128;
} // namespace

std::size_t TEmfPlayback::DashPointsInBudget(bool drawLater) const
{
    // Every point costs a dash at least, and its making (curves flattened, segments
    // trimmed) about as much again, twice for the points that start runs.
    const double budget = drawLater ? budget_.Remaining() / 2 : budget_.Remaining();
    return std::size_t(std::clamp(budget / (4 * kDashCost), 0.0, 1e9)) + 4;
}

void TEmfPlayback::ChargeDashRuns(std::vector<TDashRun>& runs, const QPen& pen, bool drawLater)
{
    const double rows = std::max(1, visible_.height());
    const double period = std::max(DashPeriod(pen), 1e-3);
    const double w = pen.widthF();
    const double budget = drawLater ? budget_.Remaining() / 2 : budget_.Remaining();
    // Runs that hold all the points the budget could pay for were cut short when made.
    std::size_t points = 0;
    for (const TDashRun& run : runs)
        points += std::size_t(run.Points.size());
    const bool cutShort = points + 1 >= DashPointsInBudget(drawLater);
    auto spend = [&] {
        if (drawLater)
            budget_.Charge(budget);
        else
            budget_.Charge(budget_.Remaining() + 1);
    };
    double cost = 0;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const QPolygonF& points = runs[k].Points;
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPointF d = points[i] - points[i - 1];
            cost += EdgeCost(points[i - 1], points[i], w, rows) + kDashCost * (1 + std::hypot(d.x(), d.y()) / period);
            if (cost > budget) {
                // Drawn up to the segment that does not fit.
                runs[k].Points.resize(i);
                runs.resize(i >= 2 ? k + 1 : k);
                spend();
                return;
            }
        }
    }
    if (cutShort)
        spend();
    else
        budget_.Charge(cost);
}

void TEmfPlayback::StrokeDashRuns(std::vector<TDashRun> runs, QPen pen)
{
    ChargeDashRuns(runs, pen);
    if (runs.empty())
        return;
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    p_.setBrush(Qt::NoBrush);
    // The offset counts in pen widths.
    const double offset = pen.dashOffset(), w = std::max(1.0, pen.widthF());
    for (const TDashRun& run : runs) {
        pen.setDashOffset(offset + run.Start / w);
        p_.setPen(pen);
        p_.drawPolyline(run.Points);
    }
    p_.restore();
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
