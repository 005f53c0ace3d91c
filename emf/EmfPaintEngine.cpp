// The paint engine's frame: the page it records, the painter's state as it changes,
// the clip and the mapping to device pixels. What is drawn is recorded in one file per
// family (EmfPaintEngine.h lists them).
#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QPaintDevice>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace qrp {

using namespace qrp::emf;

namespace {

constexpr QPaintEngine::PaintEngineFeatures kFeatures =
    QPaintEngine::PrimitiveTransform | QPaintEngine::PatternTransform
    | QPaintEngine::PixmapTransform | QPaintEngine::PatternBrush | QPaintEngine::PainterPaths
    | QPaintEngine::Antialiasing;

// True when the path is just the outline of box (as QPainterPath::addRect makes it).
bool IsAxisRectangle(const QPainterPath& path, const QRectF& box)
{
    const int n = path.elementCount();
    if (n < 4 || n > 5)
        return false;
    auto onX = [&](qreal x) { return qFuzzyCompare(x + 1, box.left() + 1) || qFuzzyCompare(x + 1, box.right() + 1); };
    auto onY = [&](qreal y) { return qFuzzyCompare(y + 1, box.top() + 1) || qFuzzyCompare(y + 1, box.bottom() + 1); };
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if ((i == 0) != e.isMoveTo() || e.isCurveTo() || !onX(e.x) || !onY(e.y))
            return false;
        if (i > 0) {
            const QPainterPath::Element& p = path.elementAt(i - 1);
            const bool sameX = qFuzzyCompare(p.x + 1, e.x + 1), sameY = qFuzzyCompare(p.y + 1, e.y + 1);
            if (sameX == sameY)
                return false;
        }
    }
    return true;
}

} // namespace

TEmfRectL TEmfPaintEngine::FrameFor(int width, int height, int ppi)
{
    if (ppi <= 0)
        ppi = 96;
    auto toHmm = [ppi](int px) {
        return std::int32_t((std::int64_t(std::max(px, 0)) * 2540 + ppi / 2) / ppi);
    };
    return {0, 0, toHmm(width), toHmm(height)};
}

TEmfPaintEngine::TEmfPaintEngine(int width, int height, int ppi)
    : QPaintEngine(kFeatures), width_(std::max(width, 0)), height_(std::max(height, 0)),
      ppi_(ppi > 0 ? ppi : 96),
      writer_(std::make_unique<TEmfWriter>(FrameFor(width_, height_, ppi_),
                                           TReferenceDevice::AtResolution(ppi_)))
{
    // The selected pen at the start of play is the stock black pen.
    penKey_.Null = false;
    brushKey_.Kind = TBrushKey::KSolid;
    brushKey_.Color = 0xFFFFFF;
    // QPainter paints opaque backgrounds itself (behind text, between hatch lines and
    // dashes) before it hands the shape over, so the picture draws them transparently.
    writer_->SetBkMode(TRANSPARENT);
}

TEmfPaintEngine::~TEmfPaintEngine() = default;

bool TEmfPaintEngine::begin(QPaintDevice* device)
{
    device_ = device;
    pen_ = QPen();
    brush_ = QBrush();
    transform_ = QTransform();
    clip_.reset();
    bgMode_ = Qt::TransparentMode;
    return true;
}

bool TEmfPaintEngine::end()
{
    return true;
}

std::vector<std::uint8_t> TEmfPaintEngine::Finish()
{
    if (finished_)
        return {};
    finished_ = true;
    return writer_->Finish();
}

// ---- state ----------------------------------------------------------------------------

void TEmfPaintEngine::updateState(const QPaintEngineState& state)
{
    const DirtyFlags flags = state.state();
    if (flags & DirtyPen)
        pen_ = state.pen();
    if (flags & DirtyBrush)
        brush_ = state.brush();
    if (flags & DirtyFont)
        font_ = state.font();
    if (flags & DirtyBackgroundMode)
        bgMode_ = state.backgroundMode();
    if (flags & DirtyBackground)
        bgColor_ = state.backgroundBrush().color();
    if (flags & DirtyTransform)
        transform_ = state.transform();
    if (flags & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled))
        ClipChanged(state);
}

void TEmfPaintEngine::ClipChanged(const QPaintEngineState& state)
{
    const DirtyFlags flags = state.state();
    if (flags & (DirtyClipRegion | DirtyClipPath)) {
        const QTransform& m = state.transform();
        QRegion r;
        if (flags & DirtyClipPath) {
            const QPainterPath path = m.map(state.clipPath());
            const QRectF box = path.boundingRect();
            if (IsAxisRectangle(path, box))
                r = QRegion(QRect(QPoint(Round(box.left()), Round(box.top())),
                                  QPoint(Round(box.right()) - 1, Round(box.bottom()) - 1)));
            else
                r = QRegion(path.toFillPolygon().toPolygon(), path.fillRule());
        } else {
            r = m.map(state.clipRegion());
        }
        switch (state.clipOperation()) {
        case Qt::NoClip: clip_.reset(); break;
        case Qt::ReplaceClip: clip_ = r; break;
        case Qt::IntersectClip: clip_ = clip_ ? (*clip_ & r) : r; break;
        }
    } else if ((flags & DirtyClipEnabled) && !state.isClipEnabled()) {
        clip_.reset();
    }
}

void TEmfPaintEngine::ApplyClip()
{
    if (clipRecorded_ && recordedClip_ == clip_)
        return;
    if (!clip_) {
        if (clipRecorded_ && recordedClip_)
            writer_->ExtSelectClipRgn({}, RGN_COPY);
        writer_->UnlimitBounds();
    } else {
        const QRegion& r = *clip_;
        if (r.rectCount() <= 1) {
            if (recordedClip_)
                writer_->ExtSelectClipRgn({}, RGN_COPY);
            const QRect b = r.boundingRect();
            writer_->IntersectClipRect({b.left(), b.top(), b.left() + b.width(), b.top() + b.height()});
        } else {
            std::vector<TEmfRectL> rects;
            rects.reserve(std::size_t(r.rectCount()));
            for (const QRect& q : r)
                rects.push_back({q.left(), q.top(), q.left() + q.width(), q.top() + q.height()});
            writer_->ExtSelectClipRgn(rects, RGN_COPY);
        }
        const QRect b = r.boundingRect();
        writer_->LimitBounds(r.isEmpty() ? TEmfRectL{0, 0, -1, -1}
                                         : TEmfRectL{b.left(), b.top(), b.right(), b.bottom()});
    }
    recordedClip_ = clip_;
    clipRecorded_ = true;
}

// ---- coordinates ------------------------------------------------------------------------

TPointL TEmfPaintEngine::Map(const QPointF& p) const
{
    const QPointF d = transform_.map(p);
    return {Round(d.x()), Round(d.y())};
}

bool TEmfPaintEngine::AxisAligned() const
{
    return transform_.type() <= QTransform::TxScale;
}

bool TEmfPaintEngine::TranslationOnly() const
{
    return transform_.type() <= QTransform::TxTranslate;
}

void TEmfPaintEngine::RecordWorldTransform()
{
    const QTransform& m = transform_;
    writer_->SetWorldTransform({float(m.m11()), float(m.m12()), float(m.m21()), float(m.m22()),
                                float(m.dx()), float(m.dy())});
}

void TEmfPaintEngine::ResetWorldTransform()
{
    writer_->ModifyWorldTransform({}, MWT_IDENTITY);
}

TEmfRectL TEmfPaintEngine::DeviceBounds(const QRectF& logical) const
{
    // The pixels the area touches: from the floor of its left edge to the pixel before
    // the ceiling of its right edge, at least one pixel wide and high.
    const QRectF d = transform_.mapRect(logical);
    const std::int32_t left = Round(std::floor(d.left())), top = Round(std::floor(d.top()));
    const std::int32_t right = std::max(left, Round(std::ceil(d.right())) - 1);
    const std::int32_t bottom = std::max(top, Round(std::ceil(d.bottom())) - 1);
    return {left, top, right, bottom};
}

} // namespace qrp
