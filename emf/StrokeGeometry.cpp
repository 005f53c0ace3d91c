#include "emf/StrokeGeometry.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace qrp::emf {

namespace {

// Clips the parameter range [t0, t1] of a + t * d against p * t <= q (Liang-Barsky).
bool ClipTest(double p, double q, double& t0, double& t1)
{
    if (p == 0)
        return q >= 0;
    const double t = q / p;
    if (p < 0) {
        if (t > t1)
            return false;
        t0 = std::max(t0, t);
    } else {
        if (t < t0)
            return false;
        t1 = std::min(t1, t);
    }
    return true;
}

double PointRectDistance(const QPointF& p, const QRectF& r)
{
    const double dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const double dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    return std::hypot(dx, dy);
}

double PointSegmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF d = b - a;
    const double len2 = QPointF::dotProduct(d, d);
    double t = len2 > 0 ? QPointF::dotProduct(p - a, d) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF c = a + t * d;
    return std::hypot(p.x() - c.x(), p.y() - c.y());
}

// Calls edge(from, to) for each element of path but its moves, from the point before it:
// the edges of its control polygon.
template <typename Edge> void ForEachEdge(const QPainterPath& path, Edge edge)
{
    QPointF cur;
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (!e.isMoveTo())
            edge(cur, p);
        cur = p;
    }
}

} // namespace

bool SegmentMeetsRect(const QPointF& a, const QPointF& b, const QRectF& r)
{
    const QPointF d = b - a;
    double t0 = 0, t1 = 1;
    return ClipTest(-d.x(), a.x() - r.left(), t0, t1) && ClipTest(d.x(), r.right() - a.x(), t0, t1)
           && ClipTest(-d.y(), a.y() - r.top(), t0, t1) && ClipTest(d.y(), r.bottom() - a.y(), t0, t1);
}

double SegmentRectDistance(const QPointF& a, const QPointF& b, const QRectF& r)
{
    if (SegmentMeetsRect(a, b, r))
        return 0;
    // Apart, the closest pair is an end of the segment and the rectangle, or a corner of
    // the rectangle and the segment.
    double d = std::min(PointRectDistance(a, r), PointRectDistance(b, r));
    for (const QPointF& c : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        d = std::min(d, PointSegmentDistance(c, a, b));
    return d;
}

bool ClipPolyline(const QPolygonF& poly, const QRectF& area, std::vector<QPolygonF>& runs)
{
    runs.clear();
    if (poly.size() < 2 || area.contains(poly.boundingRect()))
        return false;
    bool dropped = false;
    QPolygonF run;
    for (qsizetype i = 1; i < poly.size(); ++i) {
        if (SegmentMeetsRect(poly[i - 1], poly[i], area)) {
            if (run.isEmpty())
                run.append(poly[i - 1]);
            run.append(poly[i]);
        } else {
            dropped = true;
            if (!run.isEmpty())
                runs.push_back(std::move(run));
            run = QPolygonF();
        }
    }
    if (!run.isEmpty())
        runs.push_back(std::move(run));
    if (!dropped) {
        runs.clear();
        return false;
    }
    // A closed polyline cut somewhere keeps the join at its start: its last run goes on
    // into its first.
    if (poly.first() == poly.last() && runs.size() >= 2 && runs.back().last() == poly.last()
        && runs.front().first() == poly.first()) {
        QPolygonF joined = runs.back();
        joined.append(runs.front().mid(1));
        runs.front() = std::move(joined);
        runs.pop_back();
    }
    return true;
}

bool ClipPath(const QPainterPath& path, const QRectF& area, QPainterPath& out)
{
    if (area.contains(path.controlPointRect()))
        return false;
    QPainterPath result;
    result.setFillRule(path.fillRule());
    bool dropped = false;
    // The kept runs of the current figure, each a move and the elements after it.
    std::vector<QPainterPath> runs;
    bool open = false; // the last run continues with the next kept element
    bool figureDropped = false;
    QPointF cur, figureStart;
    auto endFigure = [&] {
        // A closed figure cut somewhere keeps the join at its start: its last run goes on
        // into its first.
        if (figureDropped && runs.size() >= 2 && cur == figureStart && open
            && runs.front().elementAt(0).x == figureStart.x() && runs.front().elementAt(0).y == figureStart.y()) {
            QPainterPath joined = runs.back();
            const QPainterPath& first = runs.front();
            for (int k = 1; k < first.elementCount(); ++k) {
                const QPainterPath::Element f = first.elementAt(k);
                if (f.isLineTo()) {
                    joined.lineTo(f.x, f.y);
                } else if (f.isCurveTo() && k + 2 < first.elementCount()) {
                    const auto c2 = first.elementAt(k + 1), e3 = first.elementAt(k + 2);
                    joined.cubicTo(f.x, f.y, c2.x, c2.y, e3.x, e3.y);
                    k += 2;
                }
            }
            runs.front() = joined;
            runs.pop_back();
        }
        for (const QPainterPath& run : runs)
            result.addPath(run);
        runs.clear();
        open = false;
        figureDropped = false;
    };
    auto keep = [&](const QPointF& from) {
        if (!open) {
            runs.emplace_back();
            runs.back().moveTo(from);
            open = true;
        }
        return &runs.back();
    };
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            endFigure();
            cur = figureStart = QPointF(e.x, e.y);
            continue;
        }
        if (e.isLineTo()) {
            const QPointF to(e.x, e.y);
            if (SegmentMeetsRect(cur, to, area)) {
                keep(cur)->lineTo(to);
            } else {
                dropped = figureDropped = true;
                open = false;
            }
            cur = to;
            continue;
        }
        // A curve: its control points and end (the data elements that follow it).
        if (i + 2 >= n)
            break;
        const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
        const QPointF p1(e.x, e.y), p2(c2.x, c2.y), p3(end.x, end.y);
        const QRectF hull = QPolygonF({cur, p1, p2, p3}).boundingRect();
        const bool meets = hull.left() <= area.right() && hull.right() >= area.left()
                           && hull.top() <= area.bottom() && hull.bottom() >= area.top();
        if (meets) {
            keep(cur)->cubicTo(p1, p2, p3);
        } else {
            dropped = figureDropped = true;
            open = false;
        }
        cur = p3;
        i += 2;
    }
    endFigure();
    if (dropped)
        out = result;
    return dropped;
}

double PathRectDistance(const QPainterPath& path, const QRectF& area)
{
    double best = INFINITY;
    QPointF cur;
    const int n = path.elementCount();
    for (int i = 0; i < n && best > 0; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (e.isMoveTo()) {
            best = std::min(best, PointRectDistance(p, area));
        } else {
            best = std::min(best, SegmentRectDistance(cur, p, area));
        }
        cur = p;
    }
    return best;
}

double EdgeCost(const QPointF& a, const QPointF& b, double penWidth, double rows)
{
    // Measured on the raster engine: an edge of a filled outline costs about 30 times as
    // much per scan line it crosses as a one-pixel line per pixel, and a wide stroke is
    // the fill of an outline with two edges along each segment.
    const double dx = std::fabs(b.x() - a.x()), dy = std::fabs(b.y() - a.y());
    if (penWidth <= 0)
        return 4 + 32 * std::min(rows, dy);
    if (penWidth <= 1)
        return 4 + std::min(2 * rows, std::max(dx, dy));
    return 4 + 64 * std::min(rows, dy + penWidth);
}

double PathCost(const QPainterPath& path, double penWidth, double rows)
{
    double cost = 0;
    ForEachEdge(path, [&](const QPointF& a, const QPointF& b) { cost += EdgeCost(a, b, penWidth, rows); });
    return cost;
}

double PolylineCost(const QPolygonF& poly, double penWidth, double rows)
{
    double cost = 0;
    for (qsizetype i = 1; i < poly.size(); ++i)
        cost += EdgeCost(poly[i - 1], poly[i], penWidth, rows);
    return cost;
}

qsizetype PolylinePrefix(const QPolygonF& poly, double penWidth, double rows, double budget)
{
    double cost = 0;
    for (qsizetype i = 1; i < poly.size(); ++i) {
        cost += EdgeCost(poly[i - 1], poly[i], penWidth, rows);
        if (cost > budget)
            return i;
    }
    return poly.size();
}

double PolylineRectDistance(const QPolygonF& poly, const QRectF& area)
{
    if (poly.size() == 1)
        return PointRectDistance(poly[0], area);
    double best = INFINITY;
    for (qsizetype i = 1; i < poly.size() && best > 0; ++i)
        best = std::min(best, SegmentRectDistance(poly[i - 1], poly[i], area));
    return best;
}

QPainterPath PathPrefix(const QPainterPath& path, double penWidth, double rows, double budget)
{
    // Where the budget runs out: a stroke stops at that element, a fill at the start of
    // its figure (a part of a figure is no shape to fill).
    double cost = 0;
    QPointF cur;
    const int n = path.elementCount();
    int cut = n, figure = 0;
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (e.isMoveTo()) {
            figure = i;
        } else if (e.isLineTo()) {
            cost += EdgeCost(cur, p, penWidth, rows);
        } else if (i + 2 < n) {
            const QPainterPath::Element end = path.elementAt(i + 2);
            cost += 3 * EdgeCost(cur, QPointF(end.x, end.y), penWidth, rows);
            if (cost > budget) {
                cut = i;
                break;
            }
            cur = QPointF(end.x, end.y);
            i += 2;
            continue;
        }
        if (cost > budget) {
            cut = i;
            break;
        }
        cur = p;
    }
    if (penWidth <= 0 && cut < n)
        cut = figure;
    QPainterPath out;
    out.setFillRule(path.fillRule());
    for (int i = 0; i < cut; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            out.moveTo(e.x, e.y);
        } else if (e.isLineTo()) {
            out.lineTo(e.x, e.y);
        } else if (i + 2 < cut) {
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            out.cubicTo(e.x, e.y, c2.x, c2.y, end.x, end.y);
            i += 2;
        } else {
            break;
        }
    }
    return out;
}

double PathOutlineLength(const QPainterPath& path)
{
    double length = 0;
    ForEachEdge(path, [&](const QPointF& a, const QPointF& b) { length += std::hypot(b.x() - a.x(), b.y() - a.y()); });
    return length;
}

double PolylineLength(const QPolygonF& poly)
{
    double length = 0;
    for (qsizetype i = 1; i < poly.size(); ++i)
        length += std::hypot(poly[i].x() - poly[i - 1].x(), poly[i].y() - poly[i - 1].y());
    return length;
}

namespace {

// The length of a cubic by Gauss-Legendre quadrature of its speed (8 points).
double CubicLength(const QPointF* p)
{
    static constexpr double kNodes[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                                         0.9602898564975363};
    static constexpr double kWeights[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                                           0.1012285362903763};
    const QPointF a = p[1] - p[0], b = p[2] - p[1], c = p[3] - p[2];
    auto speed = [&](double t) {
        const double u = 1 - t;
        const QPointF d = 3 * (u * u * a + 2 * u * t * b + t * t * c);
        return std::hypot(d.x(), d.y());
    };
    double sum = 0;
    for (int k = 0; k < 4; ++k)
        sum += kWeights[k] * (speed(0.5 - kNodes[k] / 2) + speed(0.5 + kNodes[k] / 2));
    return sum / 2;
}

// Runs of a figure trimmed to an area, built one segment at a time.
class TDashRunBuilder {
public:
    TDashRunBuilder(const QRectF& area, std::size_t mostPoints, std::vector<TDashRun>& runs)
        : area_(area), left_(mostPoints), runs_(runs)
    {
    }

    // Whether as many points as were asked for are kept: the rest is left out.
    bool Full() const { return left_ == 0; }

    void MoveTo(const QPointF& p)
    {
        cur_ = p;
        along_ = 0;
        open_ = false;
    }

    void LineTo(const QPointF& b)
    {
        const QPointF a = cur_, d = b - a;
        const double length = std::hypot(d.x(), d.y());
        double t0 = 0, t1 = 1;
        const bool meets = ClipTest(-d.x(), a.x() - area_.left(), t0, t1)
                           && ClipTest(d.x(), area_.right() - a.x(), t0, t1)
                           && ClipTest(-d.y(), a.y() - area_.top(), t0, t1)
                           && ClipTest(d.y(), area_.bottom() - a.y(), t0, t1) && t0 <= t1;
        if (meets && left_ >= 2) {
            if (!open_ || t0 > 0) {
                runs_.push_back({QPolygonF({t0 > 0 ? a + t0 * d : a}), along_ + t0 * length});
                --left_;
            }
            runs_.back().Points.append(t1 < 1 ? a + t1 * d : b);
            --left_;
            open_ = t1 >= 1;
        } else if (meets) {
            left_ = 0;
        } else {
            open_ = false;
        }
        along_ += length;
        cur_ = b;
    }

    // A cubic from the current point, flattened where it comes near the area; the parts
    // that stay away from it count only their length.
    void CurveTo(const QPointF& c1, const QPointF& c2, const QPointF& end)
    {
        struct TCubic {
            QPointF P[4];
            int Depth;
        };
        // As fine as curves are flattened to be stroked: at most 512 segments.
        constexpr int kMostDepth = 9;
        std::vector<TCubic> stack{{{cur_, c1, c2, end}, 0}};
        while (!stack.empty() && !Full()) {
            const TCubic b = stack.back();
            stack.pop_back();
            const QPointF* p = b.P;
            const double l = std::min({p[0].x(), p[1].x(), p[2].x(), p[3].x()});
            const double r = std::max({p[0].x(), p[1].x(), p[2].x(), p[3].x()});
            const double t = std::min({p[0].y(), p[1].y(), p[2].y(), p[3].y()});
            const double bm = std::max({p[0].y(), p[1].y(), p[2].y(), p[3].y()});
            const QPointF chord = p[3] - p[0];
            const double chordLength = std::hypot(chord.x(), chord.y());
            if (l > area_.right() || r < area_.left() || t > area_.bottom() || bm < area_.top()) {
                along_ += CubicLength(p);
                open_ = false;
                cur_ = p[3];
                continue;
            }
            // Flat enough when the control points lie within half a pixel of the chord.
            bool flat;
            if (chordLength > 0) {
                auto cross = [&](const QPointF& v) { return std::fabs(v.x() * chord.y() - v.y() * chord.x()); };
                const double d1 = cross(p[1] - p[0]), d2 = cross(p[2] - p[0]);
                flat = d1 + d2 <= 0.5 * chordLength;
            } else {
                flat = QLineF(p[0], p[1]).length() + QLineF(p[0], p[2]).length() <= 0.5;
            }
            if (flat || b.Depth >= kMostDepth || !std::isfinite(chordLength)) {
                LineTo(p[3]);
                continue;
            }
            // Halved (de Casteljau); the first half is done first.
            const QPointF p01 = (p[0] + p[1]) / 2, p12 = (p[1] + p[2]) / 2, p23 = (p[2] + p[3]) / 2;
            const QPointF p012 = (p01 + p12) / 2, p123 = (p12 + p23) / 2, mid = (p012 + p123) / 2;
            stack.push_back({{mid, p123, p23, p[3]}, b.Depth + 1});
            stack.push_back({{p[0], p01, p012, mid}, b.Depth + 1});
        }
        cur_ = end;
    }

private:
    QRectF area_;
    std::size_t left_;
    std::vector<TDashRun>& runs_;
    QPointF cur_;
    double along_ = 0;
    bool open_ = false; // the last run goes on with the next segment
};

} // namespace

std::vector<TDashRun> DashRuns(const QList<QPolygonF>& figures, const QRectF& area, std::size_t mostPoints)
{
    std::vector<TDashRun> runs;
    TDashRunBuilder build(area, mostPoints, runs);
    for (const QPolygonF& figure : figures) {
        if (figure.isEmpty())
            continue;
        build.MoveTo(figure[0]);
        for (qsizetype i = 1; i < figure.size() && !build.Full(); ++i)
            build.LineTo(figure[i]);
    }
    return runs;
}

std::vector<TDashRun> DashRuns(const QPainterPath& path, const QRectF& area, std::size_t mostPoints)
{
    std::vector<TDashRun> runs;
    TDashRunBuilder build(area, mostPoints, runs);
    const int n = path.elementCount();
    for (int i = 0; i < n && !build.Full(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            build.MoveTo(QPointF(e.x, e.y));
        } else if (e.isLineTo()) {
            build.LineTo(QPointF(e.x, e.y));
        } else if (i + 2 < n) {
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            build.CurveTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y));
            i += 2;
        } else {
            break;
        }
    }
    return runs;
}

QPolygonF ClipPolygon(const QPolygonF& poly, const QRectF& r)
{
    QPolygonF in = poly;
    if (!in.isEmpty() && in.first() != in.last())
        in.append(in.first());
    QPolygonF out;
    // One edge of r at a time: side is the signed distance inside it, cross the point
    // where a segment crosses it.
    auto clipEdge = [&](auto inside, auto cross) {
        out.clear();
        for (qsizetype i = 1; i < in.size(); ++i) {
            const QPointF a = in[i - 1], b = in[i];
            const bool ia = inside(a), ib = inside(b);
            if (ia && ib) {
                out.append(b);
            } else if (ia) {
                out.append(cross(a, b));
            } else if (ib) {
                out.append(cross(a, b));
                out.append(b);
            }
        }
        if (!out.isEmpty() && out.first() != out.last())
            out.append(out.first());
        in.swap(out);
    };
    auto atX = [](const QPointF& a, const QPointF& b, double x) {
        return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
    };
    auto atY = [](const QPointF& a, const QPointF& b, double y) {
        return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y);
    };
    const double l = r.left(), t = r.top(), rt = r.right(), bm = r.bottom();
    clipEdge([&](const QPointF& p) { return p.x() >= l; }, [&](const QPointF& a, const QPointF& b) { return atX(a, b, l); });
    clipEdge([&](const QPointF& p) { return p.x() <= rt; }, [&](const QPointF& a, const QPointF& b) { return atX(a, b, rt); });
    clipEdge([&](const QPointF& p) { return p.y() >= t; }, [&](const QPointF& a, const QPointF& b) { return atY(a, b, t); });
    clipEdge([&](const QPointF& p) { return p.y() <= bm; }, [&](const QPointF& a, const QPointF& b) { return atY(a, b, bm); });
    return in;
}

QList<QPolygonF> FillPolygons(const QPainterPath& path)
{
    constexpr qsizetype kFewFigures = 256;
    const QList<QPolygonF> subpaths = path.toSubpathPolygons();
    if (subpaths.size() <= kFewFigures)
        return path.toFillPolygons();
    const qsizetype n = subpaths.size();
    std::vector<QRectF> bounds(static_cast<std::size_t>(n));
    std::vector<qsizetype> order(static_cast<std::size_t>(n)), parent(static_cast<std::size_t>(n));
    for (qsizetype i = 0; i < n; ++i) {
        bounds[std::size_t(i)] = subpaths[i].boundingRect();
        order[std::size_t(i)] = parent[std::size_t(i)] = i;
    }
    auto root = [&](qsizetype i) {
        while (parent[std::size_t(i)] != i)
            i = parent[std::size_t(i)] = parent[std::size_t(parent[std::size_t(i)])];
        return i;
    };
    // A sweep from left to right: each figure meets those still open at its left edge.
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return bounds[std::size_t(a)].left() < bounds[std::size_t(b)].left(); });
    // Figures grouped that do not overlap fill as they would apart, so that when many are
    // open at once they are taken together as one group of their common bounds: the sweep
    // then stays linear however much the figures overlap.
    constexpr std::size_t kMostOpen = 256;
    auto unite = [&](qsizetype a, qsizetype b) {
        const qsizetype ra = root(a), rb = root(b);
        if (ra != rb)
            parent[std::size_t(std::max(ra, rb))] = std::min(ra, rb);
    };
    struct TOpen {
        QRectF Bounds;
        qsizetype Member;
    };
    std::vector<TOpen> active;
    for (const qsizetype i : order) {
        const QRectF& bi = bounds[std::size_t(i)];
        std::size_t kept = 0;
        qsizetype ri = i; // i's root: i is new to the sweep
        for (const TOpen& open : active) {
            const QRectF& bj = open.Bounds;
            if (bj.right() <= bi.left())
                continue; // closed before this one
            active[kept++] = open;
            if (bj.top() < bi.bottom() && bi.top() < bj.bottom()) {
                const qsizetype rj = root(open.Member);
                if (rj != ri) {
                    parent[std::size_t(std::max(ri, rj))] = std::min(ri, rj);
                    ri = std::min(ri, rj);
                }
            }
        }
        active.resize(kept);
        active.push_back({bi, i});
        if (active.size() > kMostOpen) {
            TOpen all = active.front();
            for (const TOpen& open : active) {
                all.Bounds |= open.Bounds;
                unite(all.Member, open.Member);
            }
            active.assign(1, all);
        }
    }
    // Each group's figures in their order, joined through the group's first point.
    std::vector<qsizetype> groupOf(static_cast<std::size_t>(n), -1);
    QList<QPolygonF> polygons;
    for (qsizetype i = 0; i < n; ++i) {
        const QPolygonF& sub = subpaths[i];
        if (sub.isEmpty())
            continue;
        const qsizetype r = root(i);
        if (groupOf[std::size_t(r)] < 0) {
            groupOf[std::size_t(r)] = polygons.size();
            polygons.append(QPolygonF());
        }
        QPolygonF& build = polygons[groupOf[std::size_t(r)]];
        build += sub;
        if (!sub.isClosed())
            build += sub.first();
        if (!build.isClosed())
            build += build.first();
    }
    return polygons;
}

QRegion UniteRegions(std::vector<QRegion>& parts)
{
    while (parts.size() > 1) {
        std::vector<QRegion> next;
        next.reserve(parts.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
            next.push_back(parts[i] | parts[i + 1]);
        if (parts.size() % 2)
            next.push_back(parts.back());
        parts.swap(next);
    }
    return parts.empty() ? QRegion() : parts[0];
}

} // namespace qrp::emf
