// Rectangles, lines, ellipses, points, polygons and paths, recorded as GDI draws them.
#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace qrp {

using namespace qrp::emf;

namespace {

// GDI leaves out the last pixel of a hairline; QPainter draws it unless the pen has
// flat caps. One more step along the major axis makes both cover the same pixels.
TPointL ExtendHairline(TPointL a, TPointL b)
{
    const std::int64_t dx = std::int64_t(b.X) - a.X, dy = std::int64_t(b.Y) - a.Y;
    const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0)
        return {b.X + 1, b.Y};
    if (adx >= ady)
        return {b.X + (dx > 0 ? 1 : -1), b.Y + std::int32_t(std::llround(double(dy) / double(adx)))};
    return {b.X + std::int32_t(std::llround(double(dx) / double(ady))), b.Y + (dy > 0 ? 1 : -1)};
}

// The integer overloads hand their items one by one to the floating-point ones.
template <typename Float, typename Int, typename Draw>
void OneByOne(const Int* items, int count, Draw draw)
{
    for (int i = 0; i < count; ++i) {
        const Float item(items[i]);
        draw(&item);
    }
}

} // namespace

// ---- drawing ------------------------------------------------------------------------------

bool TEmfPaintEngine::BeginShape(bool nothingToDraw)
{
    pendingDecorations_ = 0;
    if (finished_ || nothingToDraw)
        return false;
    ApplyClip();
    return true;
}

void TEmfPaintEngine::drawRects(const QRect* rects, int count)
{
    OneByOne<QRectF>(rects, count, [this](const QRectF* r) { drawRects(r, 1); });
}

void TEmfPaintEngine::drawRects(const QRectF* rects, int count)
{
    if (!BeginShape(count <= 0))
        return;
    SelectPen();
    SelectBrush();
    if (!HasPen() && !HasBrush())
        return;
    for (int i = 0; i < count; ++i) {
        const QRectF r = rects[i].normalized();
        if (AxisAligned() && HasPen()) {
            // A stroked rectangle covers its left..right edge inclusive: the GDI box
            // with an exclusive right edge one further.
            const QRectF d = transform_.mapRect(r);
            writer_->Rectangle({Round(d.left()), Round(d.top()), Round(d.right()) + 1,
                                Round(d.bottom()) + 1});
        } else if (AxisAligned()) {
            // A filled one covers left..right-1, as a polygon fill does; unlike an
            // unstroked GDI box it keeps that size when the page is played larger.
            const QRectF d = transform_.mapRect(r);
            const std::int32_t l = Round(d.left()), t = Round(d.top()), rr = Round(d.right()),
                               b = Round(d.bottom());
            const TPointL pts[4] = {{l, t}, {rr, t}, {rr, b}, {l, b}};
            writer_->Polygon(pts);
        } else {
            const TPointL pts[4] = {Map(r.topLeft()), Map(r.topRight()), Map(r.bottomRight()),
                                    Map(r.bottomLeft())};
            writer_->Polygon(pts);
        }
    }
}

void TEmfPaintEngine::drawLines(const QLine* lines, int count)
{
    OneByOne<QLineF>(lines, count, [this](const QLineF* l) { drawLines(l, 1); });
}

void TEmfPaintEngine::drawLines(const QLineF* lines, int count)
{
    if (finished_ || count <= 0)
        return;
    if (pendingDecorations_ > 0) {
        if (count == 1 && lines[0].y1() == lines[0].y2()) {
            --pendingDecorations_;
            return;
        }
        pendingDecorations_ = 0;
    }
    ApplyClip();
    SelectPen();
    if (!HasPen())
        return;
    const bool extend = penKey_.Cosmetic && pen_.capStyle() != Qt::FlatCap;
    for (int i = 0; i < count; ++i) {
        const TPointL a = Map(lines[i].p1()), b = Map(lines[i].p2());
        const TPointL end = extend ? ExtendHairline(a, b) : b;
        writer_->MoveToEx(a.X, a.Y);
        writer_->LineTo(end.X, end.Y);
        const std::int32_t e = std::int32_t(penKey_.Width / 2);
        writer_->AddBounds({std::min(a.X, b.X) - e, std::min(a.Y, b.Y) - e, std::max(a.X, b.X) + e,
                            std::max(a.Y, b.Y) + e});
    }
}

void TEmfPaintEngine::drawEllipse(const QRect& rect)
{
    drawEllipse(QRectF(rect));
}

void TEmfPaintEngine::drawEllipse(const QRectF& rect)
{
    pendingDecorations_ = 0;
    if (finished_)
        return;
    if (!AxisAligned()) {
        QPainterPath path;
        path.addEllipse(rect);
        drawPath(path);
        return;
    }
    ApplyClip();
    SelectPen();
    SelectBrush();
    if (!HasPen() && !HasBrush())
        return;
    const QRectF d = transform_.mapRect(rect.normalized());
    writer_->Ellipse({Round(d.left()), Round(d.top()), Round(d.right()) + 1, Round(d.bottom()) + 1});
}

void TEmfPaintEngine::drawPoints(const QPoint* points, int count)
{
    OneByOne<QPointF>(points, count, [this](const QPointF* p) { drawPoints(p, 1); });
}

void TEmfPaintEngine::drawPoints(const QPointF* points, int count)
{
    if (!BeginShape(count <= 0))
        return;
    const TPenKey k = PenKeyFor(pen_);
    if (k.Null)
        return;
    if (k.Width <= 1) {
        for (int i = 0; i < count; ++i) {
            const TPointL p = Map(points[i]);
            writer_->SetPixelV(p.X, p.Y, k.Color);
        }
        return;
    }
    // A wide point is a dot of the pen's width: round for round caps, else square.
    const QBrush keepBrush = brush_;
    brush_ = QBrush(pen_.color());
    SelectNullPen();
    SelectBrush();
    brush_ = keepBrush;
    const qreal half = k.Width / 2.0;
    for (int i = 0; i < count; ++i) {
        const QPointF c = transform_.map(points[i]);
        const TEmfRectL box{Round(c.x() - half), Round(c.y() - half), Round(c.x() + half) + 1,
                            Round(c.y() + half) + 1};
        if (pen_.capStyle() == Qt::RoundCap)
            writer_->Ellipse(box);
        else
            writer_->Rectangle(box);
    }
}

void TEmfPaintEngine::drawPolygon(const QPoint* points, int count, PolygonDrawMode mode)
{
    std::vector<QPointF> pts(points, points + std::max(count, 0));
    drawPolygon(pts.data(), int(pts.size()), mode);
}

void TEmfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode)
{
    if (!BeginShape(count <= 0))
        return;
    std::vector<TPointL> pts(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        pts[std::size_t(i)] = Map(points[i]);
    SelectPen();
    if (mode == PolylineMode) {
        if (HasPen()) {
            if (penKey_.Cosmetic && pen_.capStyle() != Qt::FlatCap && pts.size() >= 2)
                pts.back() = ExtendHairline(pts[pts.size() - 2], pts.back());
            writer_->Polyline(pts);
        }
        return;
    }
    SelectBrush();
    if (!HasPen() && !HasBrush())
        return;
    if (mode != ConvexMode)
        SetFillMode(mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
    writer_->Polygon(pts);
}

void TEmfPaintEngine::EmitPathElements(const QPainterPath& path)
{
    std::vector<TPointL> pending;
    enum { None, Lines, Curves } kind = None;
    auto flush = [&] {
        if (!pending.empty()) {
            if (kind == Lines)
                writer_->PolylineTo(pending);
            else
                writer_->PolyBezierTo(pending);
        }
        pending.clear();
        kind = None;
    };
    TPointL start{}, last{};
    int elementsInFigure = 0;
    auto closeIfReturned = [&] {
        if (elementsInFigure > 1 && last.X == start.X && last.Y == start.Y) {
            flush();
            writer_->CloseFigure();
        }
    };
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            closeIfReturned();
            flush();
            start = last = Map(QPointF(e.x, e.y));
            writer_->MoveToEx(start.X, start.Y);
            elementsInFigure = 1;
            break;
        case QPainterPath::LineToElement:
            if (kind != Lines)
                flush();
            kind = Lines;
            last = Map(QPointF(e.x, e.y));
            pending.push_back(last);
            ++elementsInFigure;
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 >= n)
                break;
            if (kind != Curves)
                flush();
            kind = Curves;
            pending.push_back(Map(QPointF(e.x, e.y)));
            pending.push_back(Map(QPointF(path.elementAt(i + 1).x, path.elementAt(i + 1).y)));
            last = Map(QPointF(path.elementAt(i + 2).x, path.elementAt(i + 2).y));
            pending.push_back(last);
            i += 2;
            ++elementsInFigure;
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    closeIfReturned();
    flush();
}

void TEmfPaintEngine::drawPath(const QPainterPath& path)
{
    if (!BeginShape(path.isEmpty()))
        return;
    SelectPen();
    SelectBrush();
    const bool stroke = HasPen();
    const bool fill = HasBrush();
    if (!stroke && !fill)
        return;
    if (fill)
        SetFillMode(path.fillRule());
    TEmfRectL b = DeviceBounds(path.controlPointRect());
    if (stroke) {
        const int inflate = int(penKey_.Width / 2);
        b = {b.Left - inflate, b.Top - inflate, b.Right + inflate, b.Bottom + inflate};
    }
    writer_->BeginPath();
    EmitPathElements(path);
    writer_->EndPath();
    if (stroke && fill)
        writer_->StrokeAndFillPath(b);
    else if (fill)
        writer_->FillPath(b);
    else
        writer_->StrokePath(b);
}

} // namespace qrp
