#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace qrp {

using namespace qrp::emf;

namespace {

constexpr QPaintEngine::PaintEngineFeatures kFeatures =
    QPaintEngine::PrimitiveTransform | QPaintEngine::PatternTransform
    | QPaintEngine::PixmapTransform | QPaintEngine::PatternBrush | QPaintEngine::PainterPaths
    | QPaintEngine::Antialiasing;

std::uint32_t ColorRef(const QColor& c)
{
    const QRgb rgb = c.rgb();
    return Rgb(std::uint8_t(qRed(rgb)), std::uint8_t(qGreen(rgb)), std::uint8_t(qBlue(rgb)));
}

std::int32_t Round(qreal v)
{
    if (!std::isfinite(v))
        return 0;
    const qreal c = std::clamp<qreal>(v, -1e9, 1e9);
    return std::int32_t(std::lround(c));
}

std::uint32_t DashStyle(Qt::PenStyle s)
{
    switch (s) {
    case Qt::DashLine: return PS_DASH;
    case Qt::DotLine: return PS_DOT;
    case Qt::DashDotLine: return PS_DASHDOT;
    case Qt::DashDotDotLine: return PS_DASHDOTDOT;
    case Qt::CustomDashLine: return PS_USERSTYLE;
    default: return PS_SOLID;
    }
}

std::uint32_t CapStyle(Qt::PenCapStyle c)
{
    switch (c) {
    case Qt::FlatCap: return PS_ENDCAP_FLAT;
    case Qt::RoundCap: return PS_ENDCAP_ROUND;
    default: return PS_ENDCAP_SQUARE;
    }
}

std::uint32_t JoinStyle(Qt::PenJoinStyle j)
{
    switch (j) {
    case Qt::RoundJoin: return PS_JOIN_ROUND;
    case Qt::BevelJoin: return PS_JOIN_BEVEL;
    default: return PS_JOIN_MITER;
    }
}

// A DIB of the image's pixels: 24 bits per pixel, bottom-up rows.
TDib Dib24(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_BGR888);
    TDib dib;
    dib.Info = TDib::InfoHeader(img.width(), img.height(), 24);
    const std::size_t stride = TDib::Stride(img.width(), 24);
    dib.Bits.assign(stride * std::size_t(img.height()), 0);
    const std::size_t rowBytes = std::size_t(img.width()) * 3;
    for (int y = 0; y < img.height(); ++y)
        std::copy_n(img.constScanLine(img.height() - 1 - y), rowBytes,
                    dib.Bits.begin() + std::ptrdiff_t(stride * std::size_t(y)));
    return dib;
}

// A DIB of premultiplied BGRA pixels, bottom-up rows, for alpha blending.
TDib Dib32Premultiplied(const QImage& source)
{
    const QImage img = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    TDib dib;
    dib.Info = TDib::InfoHeader(img.width(), img.height(), 32);
    const std::size_t stride = std::size_t(img.width()) * 4;
    dib.Bits.resize(stride * std::size_t(img.height()));
    for (int y = 0; y < img.height(); ++y)
        std::copy_n(img.constScanLine(img.height() - 1 - y), stride,
                    dib.Bits.begin() + std::ptrdiff_t(stride * std::size_t(y)));
    return dib;
}

bool HasTranslucency(const QImage& img)
{
    if (!img.hasAlphaChannel())
        return false;
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return true;
    }
    return false;
}

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

bool SameFont(const TEmfWriter::TLogFont& a, const TEmfWriter::TLogFont& b)
{
    return a.Height == b.Height && a.Width == b.Width && a.Escapement == b.Escapement
        && a.Orientation == b.Orientation && a.Weight == b.Weight && a.Italic == b.Italic
        && a.Underline == b.Underline && a.StrikeOut == b.StrikeOut && a.CharSet == b.CharSet
        && a.FaceName == b.FaceName;
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

// ---- objects ----------------------------------------------------------------------------

TEmfPaintEngine::TPenKey TEmfPaintEngine::PenKeyFor(const QPen& pen) const
{
    TPenKey k;
    if (pen.style() == Qt::NoPen || pen.color().alpha() == 0 || pen.brush().style() == Qt::NoBrush)
        return k;
    k.Null = false;
    k.Color = ColorRef(pen.color());
    qreal w = pen.widthF();
    const bool cosmetic = pen.isCosmetic() || w == 0;
    if (!cosmetic)
        w *= std::sqrt(std::abs(transform_.determinant()));
    const std::uint32_t dash = DashStyle(pen.style());
    if (cosmetic && w <= 1 && dash != PS_USERSTYLE) {
        // A hairline: one device pixel at any zoom.
        k.Cosmetic = true;
        k.Style = dash;
        k.Width = 0;
        return k;
    }
    k.Cosmetic = false;
    k.Width = std::uint32_t(std::max<std::int32_t>(1, Round(w)));
    k.Style = PS_GEOMETRIC | dash | CapStyle(pen.capStyle()) | JoinStyle(pen.joinStyle());
    if (dash == PS_USERSTYLE) {
        for (qreal d : pen.dashPattern())
            k.Dashes.push_back(std::uint32_t(std::max<std::int32_t>(1, Round(d * k.Width))));
        if (k.Dashes.empty())
            k.Style = (k.Style & ~std::uint32_t(PS_STYLE_MASK)) | PS_SOLID;
    }
    return k;
}

void TEmfPaintEngine::SelectPen()
{
    TPenKey k = PenKeyFor(pen_);
    if (k == penKey_ && (penHandle_ || !k.Null || penIsStockNull_))
        return;
    const std::uint32_t old = penHandle_;
    if (k.Null) {
        writer_->SelectStockObject(NULL_PEN);
        penHandle_ = 0;
        penIsStockNull_ = true;
    } else {
        std::uint32_t h;
        if (k.Cosmetic)
            h = writer_->CreatePen(k.Style, 0, k.Color);
        else
            h = writer_->ExtCreatePen(k.Style, k.Width, k.Color, k.Dashes, BS_SOLID);
        writer_->SelectObject(h);
        penHandle_ = h;
        penIsStockNull_ = false;
    }
    if (old)
        writer_->DeleteObject(old);
    writer_->SetBoundsInflation(k.Null ? 0 : int(k.Width / 2));
    writer_->SetNullPen(k.Null);
    penKey_ = std::move(k);
}

void TEmfPaintEngine::SelectNullPen()
{
    const QPen keep = pen_;
    pen_ = QPen(Qt::NoPen);
    SelectPen();
    pen_ = keep;
}

TEmfPaintEngine::TBrushKey TEmfPaintEngine::BrushKeyFor(const QBrush& brush)
{
    TBrushKey k;
    const Qt::BrushStyle s = brush.style();
    if (s == Qt::NoBrush || (brush.color().alpha() == 0 && s != Qt::TexturePattern))
        return k;
    k.Color = ColorRef(brush.color());
    switch (s) {
    case Qt::SolidPattern: k.Kind = TBrushKey::KSolid; return k;
    case Qt::HorPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_HORIZONTAL; return k;
    case Qt::VerPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_VERTICAL; return k;
    case Qt::CrossPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_CROSS; return k;
    case Qt::BDiagPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_BDIAGONAL; return k;
    case Qt::FDiagPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_FDIAGONAL; return k;
    case Qt::DiagCrossPattern: k.Kind = TBrushKey::KHatch; k.Hatch = HS_DIAGCROSS; return k;
    case Qt::LinearGradientPattern:
    case Qt::RadialGradientPattern:
    case Qt::ConicalGradientPattern: {
        // Gradients reach here only when drawn without emulation; the first stop is
        // the closest single colour.
        const QGradient* g = brush.gradient();
        if (g && !g->stops().isEmpty())
            k.Color = ColorRef(g->stops().first().second);
        k.Kind = TBrushKey::KSolid;
        return k;
    }
    default:
        // Dense patterns and textures: recorded as a bitmap pattern.
        k.Kind = TBrushKey::KPattern;
        k.PatternKey = s == Qt::TexturePattern ? brush.textureImage().cacheKey()
                                               : (qint64(s) << 32) | k.Color | (qint64(bgMode_) << 40);
        return k;
    }
}

bool TEmfPaintEngine::HasBrush() const
{
    return brushKey_.Kind != TBrushKey::KNull;
}

void TEmfPaintEngine::SelectBrush()
{
    TBrushKey k = BrushKeyFor(brush_);
    if (k == brushKey_)
        return;
    const std::uint32_t old = brushHandle_;
    switch (k.Kind) {
    case TBrushKey::KNull:
        writer_->SelectStockObject(NULL_BRUSH);
        brushHandle_ = 0;
        break;
    case TBrushKey::KSolid:
        brushHandle_ = writer_->CreateBrushIndirect(BS_SOLID, k.Color);
        writer_->SelectObject(brushHandle_);
        break;
    case TBrushKey::KHatch:
        brushHandle_ = writer_->CreateBrushIndirect(BS_HATCHED, k.Color, k.Hatch);
        writer_->SelectObject(brushHandle_);
        break;
    case TBrushKey::KPattern: {
        QImage tile;
        if (brush_.style() == Qt::TexturePattern) {
            tile = brush_.textureImage();
        } else {
            // Pixels the pattern leaves open show the page (or the background colour
            // when the painter draws opaquely).
            tile = QImage(8, 8, QImage::Format_RGB32);
            tile.fill(bgMode_ == Qt::OpaqueMode ? bgColor_ : QColor(Qt::white));
            QPainter p(&tile);
            p.fillRect(tile.rect(), QBrush(brush_.color(), brush_.style()));
        }
        if (tile.isNull() || tile.width() * qint64(tile.height()) > (1 << 22)) {
            brushHandle_ = writer_->CreateBrushIndirect(BS_SOLID, k.Color);
        } else {
            brushHandle_ = writer_->CreateDibPatternBrush(Dib24(tile), DIB_RGB_COLORS);
        }
        writer_->SelectObject(brushHandle_);
        break;
    }
    }
    if (old)
        writer_->DeleteObject(old);
    brushKey_ = k;
}

void TEmfPaintEngine::SelectNullBrush()
{
    const QBrush keep = brush_;
    brush_ = QBrush();
    SelectBrush();
    brush_ = keep;
}

void TEmfPaintEngine::SelectFontFor(const QFont& font)
{
    TEmfWriter::TLogFont f;
    qreal px = font.pixelSize() > 0 ? qreal(font.pixelSize()) : font.pointSizeF() * ppi_ / 72.0;
    f.Height = -std::max<std::int32_t>(1, Round(px));
    f.Weight = std::clamp(int(font.weight()), 1, 1000);
    f.Italic = font.style() != QFont::StyleNormal;
    // With an overline (which fonts here cannot carry) QPainter's own lines stay.
    f.Underline = font.underline() && !font.overline();
    f.StrikeOut = font.strikeOut() && !font.overline();
    f.CharSet = 1; // DEFAULT_CHARSET
    f.FaceName = font.family().left(31).toStdU16String();
    if (fontHandle_ && SameFont(f, fontKey_))
        return;
    const std::uint32_t old = fontHandle_;
    fontHandle_ = writer_->ExtCreateFontIndirectW(f);
    writer_->SelectObject(fontHandle_);
    if (old)
        writer_->DeleteObject(old);
    fontKey_ = f;
}

void TEmfPaintEngine::SetFillMode(Qt::FillRule rule)
{
    const std::uint32_t mode = rule == Qt::WindingFill ? WINDING : ALTERNATE;
    if (mode != fillMode_) {
        writer_->SetPolyFillMode(mode);
        fillMode_ = mode;
    }
}

void TEmfPaintEngine::SetTextColor(std::uint32_t color)
{
    if (color != textColor_) {
        writer_->SetTextColor(color);
        textColor_ = color;
    }
}

// ---- drawing ------------------------------------------------------------------------------

void TEmfPaintEngine::drawRects(const QRect* rects, int count)
{
    for (int i = 0; i < count; ++i) {
        const QRectF r(rects[i]);
        drawRects(&r, 1);
    }
}

void TEmfPaintEngine::drawRects(const QRectF* rects, int count)
{
    pendingDecorations_ = 0;
    if (finished_ || count <= 0)
        return;
    ApplyClip();
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
    for (int i = 0; i < count; ++i) {
        const QLineF l(lines[i]);
        drawLines(&l, 1);
    }
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
    for (int i = 0; i < count; ++i) {
        const QPointF p(points[i]);
        drawPoints(&p, 1);
    }
}

void TEmfPaintEngine::drawPoints(const QPointF* points, int count)
{
    pendingDecorations_ = 0;
    if (finished_ || count <= 0)
        return;
    ApplyClip();
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
    pendingDecorations_ = 0;
    if (finished_ || count <= 0)
        return;
    ApplyClip();
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
    pendingDecorations_ = 0;
    if (finished_ || path.isEmpty())
        return;
    ApplyClip();
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

// ---- images -------------------------------------------------------------------------------

void TEmfPaintEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr)
{
    if (finished_ || pm.isNull())
        return;
    DrawImageDevice(r, pm.toImage(), sr);
}

void TEmfPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                                Qt::ImageConversionFlags)
{
    if (finished_ || image.isNull())
        return;
    DrawImageDevice(r, image, sr);
}

void TEmfPaintEngine::DrawImageDevice(const QRectF& r, const QImage& image, const QRectF& sr)
{
    pendingDecorations_ = 0;
    ApplyClip();
    const QRect src = sr.toAlignedRect() & image.rect();
    if (src.isEmpty() || r.isEmpty())
        return;
    // Large images are recorded as they are; pathological sizes are not recorded.
    if (qint64(src.width()) * src.height() > (qint64(1) << 26))
        return;
    const QImage part = src == image.rect() ? image : image.copy(src);

    const bool direct = AxisAligned() && transform_.m11() > 0 && transform_.m22() > 0;
    QRectF dest = r;
    if (direct)
        dest = transform_.mapRect(r);
    else {
        const QTransform& m = transform_;
        writer_->SetWorldTransform({float(m.m11()), float(m.m12()), float(m.m21()),
                                    float(m.m22()), float(m.dx()), float(m.dy())});
    }
    const std::int32_t x = Round(dest.left()), y = Round(dest.top());
    const std::int32_t cx = Round(dest.right()) - x, cy = Round(dest.bottom()) - y;
    const TEmfRectL bounds = DeviceBounds(r);
    if (!stretchModeSet_) {
        // Scaled colour images keep their colours (the default mode ANDs pixels away).
        writer_->SetStretchBltMode(COLORONCOLOR);
        stretchModeSet_ = true;
    }
    if (HasTranslucency(part)) {
        writer_->AlphaBlend(bounds, x, y, cx, cy, 0, 0, part.width(), part.height(),
                            Dib32Premultiplied(part));
    } else {
        writer_->StretchDIBits(bounds, x, y, cx, cy, 0, 0, part.width(), part.height(),
                               Dib24(part), SRCCOPY, DIB_RGB_COLORS);
    }
    if (!direct)
        writer_->ModifyWorldTransform({}, MWT_IDENTITY);
}

// ---- text ---------------------------------------------------------------------------------

void TEmfPaintEngine::drawTextItem(const QPointF& p, const QTextItem& item)
{
    pendingDecorations_ = 0;
    if (finished_)
        return;
    const QString text = item.text();
    if (text.isEmpty())
        return;
    ApplyClip();
    const TPenKey pen = PenKeyFor(pen_);
    if (pen.Null)
        return;
    const QFont font = item.font();

    // Glyph advances from Qt's own layout of the run, rounded at the pen positions so
    // the rounding errors do not add up along the line.
    QTextLayout layout(text, font, device_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e7);
    layout.endLayout();
    const int n = int(text.size());
    std::vector<std::int32_t> dx(static_cast<std::size_t>(n), 0);
    std::vector<qreal> pos(static_cast<std::size_t>(n) + 1, 0);
    for (int i = 0; i <= n; ++i) {
        const bool inside = i > 0 && i < n && text.at(i).isLowSurrogate();
        pos[std::size_t(i)] = line.isValid() && !inside ? line.cursorToX(i) : -1;
    }
    std::int32_t total = 0;
    int prev = 0;
    for (int i = 1; i <= n; ++i) {
        if (pos[std::size_t(i)] < 0)
            continue; // second half of a surrogate pair: advance 0
        const std::int32_t a = Round(pos[std::size_t(i)]) - Round(pos[std::size_t(prev)]);
        dx[std::size_t(prev)] = a;
        total += a;
        prev = i;
    }

    const QFontMetricsF fm(font, device_);
    const QRectF logicalBox(p.x(), p.y() - fm.ascent(), std::max<qreal>(total, 1),
                            fm.ascent() + fm.descent());

    SelectFontFor(font);
    SetTextColor(pen.Color);
    if (!textAlignSet_) {
        writer_->SetTextAlign(TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        textAlignSet_ = true;
    }

    TEmfWriter::TTextOut t;
    const std::u16string chars = text.toStdU16String();
    t.Text = chars;
    t.Dx = dx;
    t.Rect = {0, 0, -1, -1};
    t.Bounds = DeviceBounds(logicalBox);
    const bool direct = TranslationOnly();
    if (direct) {
        t.Reference = Map(p);
        t.GraphicsMode = GM_COMPATIBLE;
    } else {
        const QTransform& m = transform_;
        writer_->SetWorldTransform({float(m.m11()), float(m.m12()), float(m.m21()),
                                    float(m.m22()), float(m.dx()), float(m.dy())});
        t.Reference = {Round(p.x()), Round(p.y())};
        t.GraphicsMode = GM_ADVANCED;
    }
    writer_->ExtTextOutW(t);
    if (!direct)
        writer_->ModifyWorldTransform({}, MWT_IDENTITY);
    pendingDecorations_ = (fontKey_.Underline ? 1 : 0) + (fontKey_.StrikeOut ? 1 : 0);
}

} // namespace qrp
