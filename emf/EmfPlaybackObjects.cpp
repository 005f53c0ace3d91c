// Objects: pens, brushes, fonts and palettes as the records create them, the stock
// objects, selection and deletion, and the Qt pens and brushes they draw with.
#include "emf/EmfPlayback.h"

#include "emf/DibImage.h"
#include "emf/EmfPlaybackSupport.h"
#include "emf/RasterOps.h"

#include <algorithm>
#include <cmath>

namespace qrp::emf {

// ---------------------------------------------------------------------------------
// Objects

TObjectRef TEmfPlayback::Stock(std::uint32_t id)
{
    static const std::vector<TObjectRef> stock = [] {
        std::vector<TObjectRef> s(20);
        auto brush = [](std::uint32_t style, QColor c) {
            auto o = std::make_shared<TGdiObject>();
            o->Kind = TGdiObject::Brush;
            o->LogBrush.Style = style;
            o->LogBrush.Color = c;
            return o;
        };
        auto pen = [](std::uint32_t style, QColor c) {
            auto o = std::make_shared<TGdiObject>();
            o->Kind = TGdiObject::Pen;
            o->LogPen.Style = style;
            o->LogPen.Color = c;
            return o;
        };
        auto font = [](std::int32_t h, std::int32_t weight, const char* face, std::uint8_t pitch) {
            auto o = std::make_shared<TGdiObject>();
            o->Kind = TGdiObject::Font;
            o->LogFont.Height = h;
            o->LogFont.Weight = weight;
            o->LogFont.Face = QString::fromLatin1(face);
            o->LogFont.PitchAndFamily = pitch;
            return o;
        };
        s[WHITE_BRUSH] = brush(BS_SOLID, QColor(255, 255, 255));
        s[LTGRAY_BRUSH] = brush(BS_SOLID, QColor(192, 192, 192));
        s[GRAY_BRUSH] = brush(BS_SOLID, QColor(128, 128, 128));
        s[DKGRAY_BRUSH] = brush(BS_SOLID, QColor(64, 64, 64));
        s[BLACK_BRUSH] = brush(BS_SOLID, QColor(0, 0, 0));
        s[NULL_BRUSH] = brush(BS_NULL, QColor(0, 0, 0));
        s[WHITE_PEN] = pen(PS_SOLID, QColor(255, 255, 255));
        s[BLACK_PEN] = pen(PS_SOLID, QColor(0, 0, 0));
        s[NULL_PEN] = pen(PS_NULL, QColor(0, 0, 0));
        s[OEM_FIXED_FONT] = font(12, 400, "Terminal", 0x31);
        s[ANSI_FIXED_FONT] = font(12, 400, "Courier", 0x31);
        s[ANSI_VAR_FONT] = font(12, 400, "MS Sans Serif", 0x22);
        s[SYSTEM_FONT] = font(16, 700, "System", 0x22);
        s[DEVICE_DEFAULT_FONT] = font(16, 700, "System", 0x22);
        s[SYSTEM_FIXED_FONT] = font(16, 400, "Fixedsys", 0x31);
        s[DEFAULT_GUI_FONT] = font(-11, 400, "MS Shell Dlg", 0x22);
        s[DEFAULT_PALETTE] = std::make_shared<TGdiObject>();
        const_cast<TGdiObject&>(*s[DEFAULT_PALETTE]).Kind = TGdiObject::Palette;
        s[DC_BRUSH] = brush(BS_SOLID, QColor(255, 255, 255));
        s[DC_PEN] = pen(PS_SOLID, QColor(0, 0, 0));
        return s;
    }();
    return id < stock.size() ? stock[id] : nullptr;
}

TObjectRef TEmfPlayback::Object(std::uint32_t index)
{
    if (index & STOCK_OBJECT_FLAG)
        return Stock(index & ~STOCK_OBJECT_FLAG);
    if (index == 0 || index >= objects_.size())
        return nullptr;
    return objects_[index];
}

void TEmfPlayback::StoreObject(std::uint32_t index, TObjectRef obj)
{
    // Index 0 is the picture itself; indices past the header's handle count are refused.
    if (index == 0 || index >= objects_.size())
        return;
    objects_[index] = std::move(obj);
}

bool TEmfPlayback::PenIsNull() const
{
    return !dc_.Pen || (dc_.Pen->LogPen.Style & PS_STYLE_MASK) == PS_NULL;
}

bool TEmfPlayback::BrushIsNull(const TObjectRef& brush) const
{
    return !brush || brush->LogBrush.Style == BS_NULL;
}

QPen TEmfPlayback::MakePen()
{
    if (PenIsNull())
        return QPen(Qt::NoPen);
    const TLogPen& lp = dc_.Pen->LogPen;
    const bool geometric = (lp.Style & PS_TYPE_MASK) == PS_GEOMETRIC;
    std::uint32_t style = lp.Style & PS_STYLE_MASK;
    double w = 1;
    if (lp.Width > 0 && (geometric || !lp.Extended)) {
        w = std::max(1.0, std::round(Clamp(lp.Width * ScaleX())));
        w = std::min(w, 1.0e5);
    }
    QPen pen(Rop2Color(lp.Color), w);
    if (lp.Pattern && geometric)
        pen.setBrush(MakeBrush(*lp.Pattern)); // the stroke's area filled with the pattern
    pen.setCosmetic(true);
    // Pens made by CREATEPEN are round; EXTCREATEPEN gives its caps and joins.
    if (lp.Extended && geometric) {
        switch (lp.Style & PS_ENDCAP_MASK) {
        case PS_ENDCAP_SQUARE: pen.setCapStyle(Qt::SquareCap); break;
        case PS_ENDCAP_FLAT: pen.setCapStyle(Qt::FlatCap); break;
        default: pen.setCapStyle(Qt::RoundCap); break;
        }
        switch (lp.Style & PS_JOIN_MASK) {
        case PS_JOIN_BEVEL: pen.setJoinStyle(Qt::BevelJoin); break;
        case PS_JOIN_MITER: pen.setJoinStyle(Qt::MiterJoin); break;
        default: pen.setJoinStyle(Qt::RoundJoin); break;
        }
        pen.setMiterLimit(dc_.MiterLimit);
    } else if (w <= 1) {
        pen.setCapStyle(Qt::FlatCap); // one-pixel lines stop short of their end point
        pen.setJoinStyle(Qt::MiterJoin);
    } else {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    // Wide pens made by CREATEPEN are solid whatever their style.
    if (!lp.Extended && w > 1 && style != PS_INSIDEFRAME)
        style = PS_SOLID;
    const bool cosmeticDashes = !geometric || w <= 1;
    QList<qreal> dashes;
    switch (style) {
    case PS_DASH: dashes = cosmeticDashes ? QList<qreal>{18, 6} : QList<qreal>{3, 1}; break;
    case PS_DOT: dashes = cosmeticDashes ? QList<qreal>{3, 3} : QList<qreal>{1, 1}; break;
    case PS_DASHDOT: dashes = cosmeticDashes ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1}; break;
    case PS_DASHDOTDOT:
        dashes = cosmeticDashes ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
        break;
    case PS_ALTERNATE: dashes = {1, 1}; break;
    case PS_USERSTYLE:
        for (double v : lp.UserStyle)
            dashes.push_back(std::max(0.1, geometric ? v * ScaleX() / w : v));
        if (dashes.size() % 2)
            dashes.push_back(dashes.back());
        break;
    default: break;
    }
    if (!dashes.isEmpty()) {
        if (cosmeticDashes && w > 1)
            for (auto& d : dashes)
                d /= w;
        if (geometric && w > 1 && pen.capStyle() != Qt::FlatCap)
            pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(dashes);
    }
    return pen;
}

// The six hatches as GDI draws them, on an 8 x 8 cell whose origin is the brush origin:
// horizontal lines on row 3, vertical ones on column 4, the diagonals through the corners.
QImage TEmfPlayback::HatchImage(std::uint32_t hatch, const QColor& color) const
{
    QImage img(8, 8, QImage::Format_ARGB32);
    const QColor bg = dc_.BkMode == OPAQUE ? dc_.BkColor : QColor(0, 0, 0, 0);
    img.fill(bg);
    const QRgb c = color.rgba();
    for (int i = 0; i < 8; ++i) {
        switch (hatch) {
        case HS_HORIZONTAL: img.setPixel(i, 3, c); break;
        case HS_VERTICAL: img.setPixel(4, i, c); break;
        case HS_FDIAGONAL: img.setPixel(i, i, c); break;
        case HS_BDIAGONAL: img.setPixel(7 - i, i, c); break;
        case HS_CROSS: img.setPixel(i, 3, c); img.setPixel(4, i, c); break;
        case HS_DIAGCROSS: img.setPixel(i, i, c); img.setPixel(7 - i, i, c); break;
        default: break;
        }
    }
    return img;
}

// Brushes are built for drawing in device pixels: patterns keep their device size and
// line up with the brush origin.
QBrush TEmfPlayback::MakeBrush(const TObjectRef& obj, bool)
{
    if (BrushIsNull(obj))
        return QBrush(Qt::NoBrush);
    return MakeBrush(obj->LogBrush);
}

QBrush TEmfPlayback::MakeBrush(const TLogBrush& lb)
{
    QBrush brush;
    switch (lb.Style) {
    case BS_SOLID:
        brush = QBrush(lb.Color);
        break;
    case BS_HATCHED:
        // Hatch indices past the six GDI knows fill solid in the brush colour.
        brush = lb.Hatch <= HS_DIAGCROSS ? QBrush(HatchImage(lb.Hatch, lb.Color)) : QBrush(lb.Color);
        break;
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (!lb.MonoPattern.isNull()) {
            QImage img = lb.MonoPattern.convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x)
                    line[x] = (line[x] & 0xFFFFFF) == 0 ? dc_.TextColor.rgb() : dc_.BkColor.rgb();
            }
            brush = QBrush(img);
        } else if (!lb.Pattern.isNull()) {
            brush = QBrush(lb.Pattern);
        } else {
            brush = QBrush(lb.Color);
        }
        break;
    default:
        brush = QBrush(lb.Color);
        break;
    }
    if (dc_.Rop2 == R2_BLACK)
        return QBrush(Qt::black);
    if (dc_.Rop2 == R2_WHITE)
        return QBrush(Qt::white);
    if (brush.style() == Qt::SolidPattern)
        brush.setColor(Rop2Color(brush.color()));
    else if (brush.style() == Qt::TexturePattern)
        brush.setTextureImage(Rop2Image(brush.textureImage()));
    if (brush.style() == Qt::TexturePattern && !dc_.BrushOrg.isNull())
        brush.setTransform(QTransform::fromTranslate(dc_.BrushOrg.x(), dc_.BrushOrg.y()));
    return brush;
}

QColor TEmfPlayback::Rop2Color(const QColor& c) const
{
    Rop2Setup setup;
    setup.rop2 = dc_.Rop2;
    setup.exact = rasterOps_;
    return setup.MapColor(c);
}

QImage TEmfPlayback::Rop2Image(QImage image) const
{
    const bool composes = dc_.Rop2 == R2_COPYPEN || dc_.Rop2 < R2_BLACK || dc_.Rop2 > R2_WHITE;
    if (rasterOps_ || composes || image.isNull())
        return image;
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0)
                line[x] = Rop2Color(QColor::fromRgba(line[x])).rgba();
    }
    return image;
}

// ---------------------------------------------------------------------------------
// Object records

void TEmfPlayback::OnSelectObject(const TRecordView& r)
{
    TObjectRef obj = Object(r.U32(8));
    if (!obj)
        return;
    switch (obj->Kind) {
    case TGdiObject::Pen: dc_.Pen = obj; break;
    case TGdiObject::Brush: dc_.Brush = obj; break;
    case TGdiObject::Font: dc_.Font = obj; break;
    default: break;
    }
}

void TEmfPlayback::OnDeleteObject(const TRecordView& r)
{
    const std::uint32_t index = r.U32(8);
    if (index & STOCK_OBJECT_FLAG)
        return;
    StoreObject(index, nullptr);
}

void TEmfPlayback::OnCreatePen(const TRecordView& r)
{
    if (!r.Has(8, 20))
        return;
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Pen;
    o->LogPen.Style = r.U32(12);
    o->LogPen.Width = std::abs(double(r.I32(16)));
    o->LogPen.Color = ColorRef(r.U32(24));
    StoreObject(r.U32(8), std::move(o));
}

void TEmfPlayback::OnExtCreatePen(const TRecordView& r)
{
    if (!r.Has(8, 44))
        return;
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Pen;
    o->LogPen.Extended = true;
    o->LogPen.Style = r.U32(28);
    o->LogPen.Width = r.U32(32);
    const std::uint32_t brushStyle = r.U32(36);
    o->LogPen.Color = ColorRef(r.U32(40));
    if (brushStyle == BS_NULL)
        o->LogPen.Style = (o->LogPen.Style & ~PS_STYLE_MASK) | PS_NULL;
    const std::uint32_t entries = r.U32(48);
    if ((o->LogPen.Style & PS_STYLE_MASK) == PS_USERSTYLE && entries <= 16 && r.HasArray(52, entries, 4))
        for (std::uint32_t i = 0; i < entries; ++i)
            o->LogPen.UserStyle.push_back(r.U32(52 + i * 4));
    // A geometric pen strokes with its brush: a hatch, or a pattern bitmap carried by the
    // record (offBmi, cbBmi, offBits, cbBits; the colour field holds the DIB's usage).
    if ((o->LogPen.Style & PS_TYPE_MASK) == PS_GEOMETRIC
        && (brushStyle == BS_HATCHED || brushStyle == BS_PATTERN || brushStyle == BS_DIBPATTERN
            || brushStyle == BS_DIBPATTERNPT)) {
        auto pattern = std::make_shared<TLogBrush>();
        pattern->Style = brushStyle;
        pattern->Color = o->LogPen.Color;
        pattern->Hatch = r.U32(44);
        if (brushStyle != BS_HATCHED) {
            const std::uint32_t usage = r.U32(40);
            const DibImage dib =
                DecodeDib(r.Data(), r.Size(), DibLocation{r.U32(12), r.U32(16), r.U32(20), r.U32(24), usage, 0});
            if (dib.IsMonochrome() && !dib.IsNull())
                pattern->MonoPattern = dib.mono;
            else if (!dib.IsNull())
                pattern->Pattern = dib.image;
            o->LogPen.Color = Qt::black;
        }
        if (brushStyle == BS_HATCHED || !pattern->Pattern.isNull() || !pattern->MonoPattern.isNull())
            o->LogPen.Pattern = std::move(pattern);
    }
    StoreObject(r.U32(8), std::move(o));
}

void TEmfPlayback::OnCreateBrush(const TRecordView& r)
{
    if (!r.Has(8, 16))
        return;
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Brush;
    o->LogBrush.Style = r.U32(12);
    o->LogBrush.Color = ColorRef(r.U32(16));
    o->LogBrush.Hatch = r.U32(20);
    if (o->LogBrush.Style != BS_SOLID && o->LogBrush.Style != BS_NULL && o->LogBrush.Style != BS_HATCHED)
        o->LogBrush.Style = BS_SOLID;
    StoreObject(r.U32(8), std::move(o));
}

void TEmfPlayback::OnCreatePalette(const TRecordView& r)
{
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Palette;
    StoreObject(r.U32(8), std::move(o));
}

void TEmfPlayback::OnExtCreateFont(const TRecordView& r)
{
    if (!r.Has(12, 28))
        return;
    auto o = std::make_shared<TGdiObject>();
    o->Kind = TGdiObject::Font;
    TLogFont& f = o->LogFont;
    f.Height = r.I32(12);
    f.Width = r.I32(16);
    f.Escapement = r.I32(20);
    f.Orientation = r.I32(24);
    f.Weight = r.I32(28);
    f.Italic = r.U8(32) != 0;
    f.Underline = r.U8(33) != 0;
    f.StrikeOut = r.U8(34) != 0;
    f.CharSet = r.U8(35);
    f.Quality = r.U8(38);
    f.PitchAndFamily = r.U8(39);
    std::u16string face;
    for (std::size_t i = 0; i < 32 && r.Has(40 + i * 2, 2); ++i) {
        const char16_t c = static_cast<char16_t>(r.U16(40 + i * 2));
        if (c == 0)
            break;
        face.push_back(c);
    }
    f.Face = QString::fromUtf16(face.data(), qsizetype(face.size()));
    StoreObject(r.U32(8), std::move(o));
}

} // namespace qrp::emf
