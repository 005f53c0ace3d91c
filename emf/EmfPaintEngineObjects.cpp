// Pens, brushes and fonts: what the painter asks for, turned into the recorded objects,
// created and selected only when they change.
#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace qrp {

using namespace qrp::emf;

namespace {

std::uint32_t ColorRef(const QColor& c)
{
    const QRgb rgb = c.rgb();
    return Rgb(std::uint8_t(qRed(rgb)), std::uint8_t(qGreen(rgb)), std::uint8_t(qBlue(rgb)));
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

bool SameFont(const TEmfWriter::TLogFont& a, const TEmfWriter::TLogFont& b)
{
    return a.Height == b.Height && a.Width == b.Width && a.Escapement == b.Escapement
        && a.Orientation == b.Orientation && a.Weight == b.Weight && a.Italic == b.Italic
        && a.Underline == b.Underline && a.StrikeOut == b.StrikeOut && a.CharSet == b.CharSet
        && a.FaceName == b.FaceName;
}

} // namespace

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

} // namespace qrp
