#pragma once
// Geometry cut to what can show before it is stroked or widened: segments that lie wholly
// outside the visible area grown by the reach of the pen are dropped (a figure breaks
// where one is), and the cost of stroking what remains. Internal to the player.
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QRegion>

#include <cstdint>
#include <vector>

namespace qrp::emf {

// Whether segment ab meets rectangle r (edges included).
bool SegmentMeetsRect(const QPointF& a, const QPointF& b, const QRectF& r);

// Distance from segment ab to rectangle r; 0 when they meet.
double SegmentRectDistance(const QPointF& a, const QPointF& b, const QRectF& r);

// The runs of consecutive segments of poly that meet area; false when every segment does
// (nothing to drop: runs is left empty and poly is drawn as it is).
bool ClipPolyline(const QPolygonF& poly, const QRectF& area, std::vector<QPolygonF>& runs);

// The same for a path: line and curve elements (a curve judged by its control points)
// that lie wholly outside area are dropped and their figure broken there. False when
// none is (out is left as it was).
bool ClipPath(const QPainterPath& path, const QRectF& area, QPainterPath& out);

// Closest approach of the path's outline (its control polygon) to area.
double PathRectDistance(const QPainterPath& path, const QRectF& area);

// The work of stroking the path's edges with a pen penWidth pixels wide (filling them with
// 0) on a device of rows visible rows: each edge costs the rows it spans there (a thin
// line the pixels it sets) and a little, in units of about 10 ns.
double EdgeCost(const QPointF& a, const QPointF& b, double penWidth, double rows);
double PathCost(const QPainterPath& path, double penWidth, double rows);

// The same for the segments of a polyline.
double PolylineCost(const QPolygonF& poly, double penWidth, double rows);
// How many leading points of poly can be drawn for budget.
qsizetype PolylinePrefix(const QPolygonF& poly, double penWidth, double rows, double budget);
// Closest approach of the polyline to area.
double PolylineRectDistance(const QPolygonF& poly, const QRectF& area);

// The longest leading part of path whose PathCost fits in budget (whole figures up to the
// element that does not fit).
QPainterPath PathPrefix(const QPainterPath& path, double penWidth, double rows, double budget);

// A run of a dashed stroke: points of one figure, flattened, and the length along the
// figure at which they start (where the run takes up the figure's dashes).
struct TDashRun {
    QPolygonF Points;
    double Start = 0;
};

// The length of the path's outline, curves by their control polygons (at least the length
// stroked).
double PathOutlineLength(const QPainterPath& path);
double PolylineLength(const QPolygonF& poly);

// The runs of figures that lie in area: each segment is trimmed to area (one that
// crosses it whole keeps only its part inside), and a figure breaks where it leaves. No
// more than mostPoints points are kept: the runs end there.
std::vector<TDashRun> DashRuns(const QList<QPolygonF>& figures, const QRectF& area,
                               std::size_t mostPoints = SIZE_MAX);
// The same for a path: its curves are flattened where they come near area, and the parts
// that stay away from it count about their length.
std::vector<TDashRun> DashRuns(const QPainterPath& path, const QRectF& area, std::size_t mostPoints = SIZE_MAX);

// The closed polygon cut to r (Sutherland-Hodgman): every point inside r keeps its
// winding number, so either fill rule fills the same pixels inside r.
QPolygonF ClipPolygon(const QPolygonF& poly, const QRectF& r);

// The path as polygons to fill with its fill rule, one per group of figures whose
// bounding rectangles overlap (QPainterPath::toFillPolygons, in time that grows with the
// overlaps found rather than with the square of the figures).
QList<QPolygonF> FillPolygons(const QPainterPath& path);

// The union of parts, united pairwise (parts is used up).
QRegion UniteRegions(std::vector<QRegion>& parts);

} // namespace qrp::emf
