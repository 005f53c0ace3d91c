#include "emf/EmfPlayback.h"

#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "emf/PixelEllipse.h"
#include "emf/RasterOps.h"

#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>

namespace qrp::emf {

namespace {

// Limits that keep damaged pictures from exhausting memory or time.
constexpr std::size_t kMaxSaveDepth = 1024;
constexpr int kMaxPathElements = 1 << 21;
constexpr double kMaxCoord = 1.0e7; // device pixels; larger values are clamped

double Clamp(double v)
{
    if (!(v == v)) // NaN
        return 0;
    return std::clamp(v, -kMaxCoord, kMaxCoord);
}

int RoundClamp(double v)
{
    return static_cast<int>(std::lround(Clamp(v)));
}

// GDI keeps device coordinates as whole pixels.
void SnapToPixels(QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        path.setElementPositionAt(i, RoundClamp(e.x), RoundClamp(e.y));
    }
}

QPointF Snap(const QPointF& p)
{
    return QPointF(RoundClamp(p.x()), RoundClamp(p.y()));
}

QColor ColorRef(std::uint32_t c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

bool SaneFloat(float f)
{
    return std::isfinite(f) && std::fabs(f) < 1.0e9f;
}

} // namespace

// ---------------------------------------------------------------------------------
// Dispatch table

struct TDispatchTable {
    std::array<TEmfPlayback::Handler, 128> H{};
    TDispatchTable()
    {
        H.fill(&TEmfPlayback::OnIgnore);
        using P = TEmfPlayback;
        H[EMR_HEADER] = &P::OnHeader;
        H[EMR_POLYBEZIER] = &P::OnPolyBezier;
        H[EMR_POLYGON] = &P::OnPolygon;
        H[EMR_POLYLINE] = &P::OnPolyline;
        H[EMR_POLYBEZIERTO] = &P::OnPolyBezierTo;
        H[EMR_POLYLINETO] = &P::OnPolylineTo;
        H[EMR_POLYPOLYLINE] = &P::OnPolyPolyline;
        H[EMR_POLYPOLYGON] = &P::OnPolyPolygon;
        H[EMR_SETWINDOWEXTEX] = &P::OnSetWindowExt;
        H[EMR_SETWINDOWORGEX] = &P::OnSetWindowOrg;
        H[EMR_SETVIEWPORTEXTEX] = &P::OnSetViewportExt;
        H[EMR_SETVIEWPORTORGEX] = &P::OnSetViewportOrg;
        H[EMR_SETBRUSHORGEX] = &P::OnSetBrushOrg;
        H[EMR_SETPIXELV] = &P::OnSetPixel;
        H[EMR_SETMAPMODE] = &P::OnSetMapMode;
        H[EMR_SETBKMODE] = &P::OnSetBkMode;
        H[EMR_SETPOLYFILLMODE] = &P::OnSetPolyFillMode;
        H[EMR_SETROP2] = &P::OnSetRop2;
        H[EMR_SETSTRETCHBLTMODE] = &P::OnSetStretchMode;
        H[EMR_SETTEXTALIGN] = &P::OnSetTextAlign;
        H[EMR_SETTEXTCOLOR] = &P::OnSetTextColor;
        H[EMR_SETBKCOLOR] = &P::OnSetBkColor;
        H[EMR_OFFSETCLIPRGN] = &P::OnOffsetClipRgn;
        H[EMR_MOVETOEX] = &P::OnMoveTo;
        H[EMR_SETMETARGN] = &P::OnSetMetaRgn;
        H[EMR_EXCLUDECLIPRECT] = &P::OnExcludeClipRect;
        H[EMR_INTERSECTCLIPRECT] = &P::OnIntersectClipRect;
        H[EMR_SCALEVIEWPORTEXTEX] = &P::OnScaleViewportExt;
        H[EMR_SCALEWINDOWEXTEX] = &P::OnScaleWindowExt;
        H[EMR_SAVEDC] = &P::OnSaveDC;
        H[EMR_RESTOREDC] = &P::OnRestoreDC;
        H[EMR_SETWORLDTRANSFORM] = &P::OnSetWorldTransform;
        H[EMR_MODIFYWORLDTRANSFORM] = &P::OnModifyWorldTransform;
        H[EMR_SELECTOBJECT] = &P::OnSelectObject;
        H[EMR_CREATEPEN] = &P::OnCreatePen;
        H[EMR_CREATEBRUSHINDIRECT] = &P::OnCreateBrush;
        H[EMR_DELETEOBJECT] = &P::OnDeleteObject;
        H[EMR_ANGLEARC] = &P::OnAngleArc;
        H[EMR_ELLIPSE] = &P::OnEllipse;
        H[EMR_RECTANGLE] = &P::OnRectangle;
        H[EMR_ROUNDRECT] = &P::OnRoundRect;
        H[EMR_ARC] = &P::OnArc;
        H[EMR_CHORD] = &P::OnChord;
        H[EMR_PIE] = &P::OnPie;
        H[EMR_CREATEPALETTE] = &P::OnCreatePalette;
        H[EMR_LINETO] = &P::OnLineTo;
        H[EMR_ARCTO] = &P::OnArcTo;
        H[EMR_POLYDRAW] = &P::OnPolyDraw;
        H[EMR_SETARCDIRECTION] = &P::OnSetArcDirection;
        H[EMR_SETMITERLIMIT] = &P::OnSetMiterLimit;
        H[EMR_BEGINPATH] = &P::OnBeginPath;
        H[EMR_ENDPATH] = &P::OnEndPath;
        H[EMR_CLOSEFIGURE] = &P::OnCloseFigure;
        H[EMR_FILLPATH] = &P::OnFillPath;
        H[EMR_STROKEANDFILLPATH] = &P::OnStrokeAndFillPath;
        H[EMR_STROKEPATH] = &P::OnStrokePath;
        H[EMR_FLATTENPATH] = &P::OnFlattenPath;
        H[EMR_WIDENPATH] = &P::OnWidenPath;
        H[EMR_SELECTCLIPPATH] = &P::OnSelectClipPath;
        H[EMR_ABORTPATH] = &P::OnAbortPath;
        H[EMR_FILLRGN] = &P::OnFillRgn;
        H[EMR_FRAMERGN] = &P::OnFrameRgn;
        H[EMR_INVERTRGN] = &P::OnInvertRgn;
        H[EMR_PAINTRGN] = &P::OnPaintRgn;
        H[EMR_EXTSELECTCLIPRGN] = &P::OnExtSelectClipRgn;
        H[EMR_BITBLT] = &P::OnBitBlt;
        H[EMR_STRETCHBLT] = &P::OnStretchBlt;
        H[EMR_MASKBLT] = &P::OnMaskBlt;
        H[EMR_SETDIBITSTODEVICE] = &P::OnSetDIBitsToDevice;
        H[EMR_STRETCHDIBITS] = &P::OnStretchDIBits;
        H[EMR_EXTCREATEFONTINDIRECTW] = &P::OnExtCreateFont;
        H[EMR_EXTTEXTOUTA] = &P::OnExtTextOutA;
        H[EMR_EXTTEXTOUTW] = &P::OnExtTextOutW;
        H[EMR_POLYBEZIER16] = &P::OnPolyBezier16;
        H[EMR_POLYGON16] = &P::OnPolygon16;
        H[EMR_POLYLINE16] = &P::OnPolyline16;
        H[EMR_POLYBEZIERTO16] = &P::OnPolyBezierTo16;
        H[EMR_POLYLINETO16] = &P::OnPolylineTo16;
        H[EMR_POLYPOLYLINE16] = &P::OnPolyPolyline16;
        H[EMR_POLYPOLYGON16] = &P::OnPolyPolygon16;
        H[EMR_POLYDRAW16] = &P::OnPolyDraw16;
        H[EMR_CREATEMONOBRUSH] = &P::OnCreateMonoBrush;
        H[EMR_CREATEDIBPATTERNBRUSHPT] = &P::OnCreateDibPatternBrush;
        H[EMR_EXTCREATEPEN] = &P::OnExtCreatePen;
        H[EMR_POLYTEXTOUTA] = &P::OnPolyTextOutA;
        H[EMR_POLYTEXTOUTW] = &P::OnPolyTextOutW;
        H[EMR_ALPHABLEND] = &P::OnAlphaBlend;
        H[EMR_SETLAYOUT] = &P::OnSetLayout;
        H[EMR_TRANSPARENTBLT] = &P::OnTransparentBlt;
    }
};

// ---------------------------------------------------------------------------------
// Set-up

TEmfPlayback::TEmfPlayback(QPainter& painter, const TEmfHeaderInfo& header, const QRectF& target)
    : p_(painter), header_(header)
{
    rasterOps_ = ComposesRasterOps(p_);
    const QTransform base = p_.combinedTransform();
    if (p_.hasClipping()) {
        const QPainterPath clip = p_.clipPath();
        baseClip_ = base.map(clip);
    }
    p_.setViewTransformEnabled(false);
    p_.setWorldTransform(QTransform());
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p_.setBackgroundMode(Qt::TransparentMode);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setOpacity(1.0);

    // One logical unit of the picture is one pixel of its reference device; the frame
    // (0.01 mm) fills the target.
    const QSizeF pix = ReferencePixelMm();
    const double fl = header.Frame.Left / 100.0 / pix.width();
    const double ft = header.Frame.Top / 100.0 / pix.height();
    const double fw = (double(header.Frame.Right) - header.Frame.Left) / 100.0 / pix.width();
    const double fh = (double(header.Frame.Bottom) - header.Frame.Top) / 100.0 / pix.height();
    const double sx = fw != 0 ? target.width() / fw : 1.0;
    const double sy = fh != 0 ? target.height() / fh : 1.0;
    init_ = QTransform(sx, 0, 0, sy, target.left() - fl * sx, target.top() - ft * sy) * base;

    std::uint32_t handles = header.Handles;
    objects_.resize(std::max<std::uint32_t>(handles, 1));
    dc_.Pen = Stock(BLACK_PEN);
    dc_.Brush = Stock(WHITE_BRUSH);
    dc_.Font = Stock(DEVICE_DEFAULT_FONT);
}

TEmfPlayback::~TEmfPlayback() = default;

QSizeF TEmfPlayback::ReferencePixelMm() const
{
    double w = 25.4 / 96, h = 25.4 / 96;
    if (header_.Device.Cx > 0 && header_.Millimeters.Cx > 0)
        w = double(header_.Millimeters.Cx) / header_.Device.Cx;
    if (header_.Device.Cy > 0 && header_.Millimeters.Cy > 0)
        h = double(header_.Millimeters.Cy) / header_.Device.Cy;
    return {w, h};
}

void TEmfPlayback::Play(TEmfReader& reader)
{
    static const TDispatchTable table;
    TRecordView r;
    while (reader.Next(r)) {
        const std::uint32_t type = r.Type();
        if (type >= table.H.size())
            continue;
        try {
            (this->*table.H[type])(r);
        } catch (const std::exception&) {
            // A record that cannot be played is skipped, as any damaged record is.
        }
    }
}

// ---------------------------------------------------------------------------------
// Transforms

void TEmfPlayback::UpdateTransform()
{
    const double sx = dc_.ViewportExt.width() / dc_.WindowExt.width();
    const double sy = dc_.ViewportExt.height() / dc_.WindowExt.height();
    const QTransform mapping(sx, 0, 0, sy, dc_.ViewportOrg.x() - dc_.WindowOrg.x() * sx,
                             dc_.ViewportOrg.y() - dc_.WindowOrg.y() * sy);
    xf_ = dc_.World * mapping * init_;
    xfDirty_ = false;
}

const QTransform& TEmfPlayback::Xf()
{
    if (xfDirty_)
        UpdateTransform();
    return xf_;
}

double TEmfPlayback::ScaleX()
{
    const QTransform& t = Xf();
    return std::hypot(t.m11(), t.m12());
}

double TEmfPlayback::ScaleY()
{
    const QTransform& t = Xf();
    return std::hypot(t.m21(), t.m22());
}

bool TEmfPlayback::AxisAligned()
{
    const QTransform& t = Xf();
    return t.m12() == 0 && t.m21() == 0;
}

QRect TEmfPlayback::DeviceRectRaw(const QRectF& logical)
{
    const QPointF a = Xf().map(logical.topLeft());
    const QPointF b = Xf().map(logical.bottomRight());
    const int x1 = RoundClamp(std::min(a.x(), b.x())), x2 = RoundClamp(std::max(a.x(), b.x()));
    const int y1 = RoundClamp(std::min(a.y(), b.y())), y2 = RoundClamp(std::max(a.y(), b.y()));
    return QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
}

QRect TEmfPlayback::DeviceRect(const TEmfRectL& r)
{
    return DeviceRectRaw(QRectF(QPointF(r.Left, r.Top), QPointF(r.Right, r.Bottom)));
}

void TEmfPlayback::SetMapModeInternal(std::uint32_t mode)
{
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC)
        return;
    if (mode == dc_.MapMode && (mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC))
        return;
    const double mmx = header_.Millimeters.Cx > 0 ? header_.Millimeters.Cx : 320;
    const double mmy = header_.Millimeters.Cy > 0 ? header_.Millimeters.Cy : 240;
    const double px = header_.Device.Cx > 0 ? header_.Device.Cx : 1210;
    const double py = header_.Device.Cy > 0 ? header_.Device.Cy : 907;
    auto fixed = [&](double unitsPerMm) {
        dc_.WindowExt = QSizeF(mmx * unitsPerMm, mmy * unitsPerMm);
        dc_.ViewportExt = QSizeF(px, -py);
    };
    switch (mode) {
    case MM_TEXT:
        dc_.WindowExt = dc_.ViewportExt = QSizeF(1, 1);
        break;
    case MM_LOMETRIC: fixed(10); break;
    case MM_HIMETRIC: fixed(100); break;
    case MM_LOENGLISH: fixed(100 / 25.4); break;
    case MM_HIENGLISH: fixed(1000 / 25.4); break;
    case MM_TWIPS: fixed(1440 / 25.4); break;
    case MM_ISOTROPIC: fixed(10); break; // starts from metric extents
    case MM_ANISOTROPIC: break;          // keeps the extents in force
    }
    dc_.MapMode = mode;
    xfDirty_ = true;
}

// In isotropic mode one logical unit has the same size on both axes: the viewport
// extent of the axis with the larger unit shrinks.
void TEmfPlayback::FixIsotropic()
{
    if (dc_.MapMode != MM_ISOTROPIC)
        return;
    const QSizeF pix = ReferencePixelMm();
    const double xdim = std::fabs(dc_.ViewportExt.width() * pix.width() / dc_.WindowExt.width());
    const double ydim = std::fabs(dc_.ViewportExt.height() * pix.height() / dc_.WindowExt.height());
    if (xdim > ydim) {
        const double sign = dc_.ViewportExt.width() < 0 ? -1 : 1;
        double v = std::floor(std::fabs(dc_.ViewportExt.width()) * ydim / xdim + 0.5);
        dc_.ViewportExt.setWidth(sign * std::max(1.0, v));
    } else if (ydim > xdim) {
        const double sign = dc_.ViewportExt.height() < 0 ? -1 : 1;
        double v = std::floor(std::fabs(dc_.ViewportExt.height()) * xdim / ydim + 0.5);
        dc_.ViewportExt.setHeight(sign * std::max(1.0, v));
    }
    xfDirty_ = true;
}

// ---------------------------------------------------------------------------------
// Clipping

void TEmfPlayback::ApplyClip()
{
    clipDirty_ = false;
    std::optional<QRegion> eff = dc_.Clip;
    if (dc_.MetaClip)
        eff = eff ? (*eff & *dc_.MetaClip) : *dc_.MetaClip;
    const QTransform keep = p_.worldTransform();
    p_.setWorldTransform(QTransform());
    if (baseClip_) {
        p_.setClipPath(*baseClip_);
        if (eff)
            p_.setClipRegion(*eff, Qt::IntersectClip);
    } else if (eff) {
        p_.setClipRegion(*eff);
    } else {
        p_.setClipping(false);
    }
    p_.setWorldTransform(keep);
}

void TEmfPlayback::BeginDraw()
{
    if (clipDirty_)
        ApplyClip();
}

void TEmfPlayback::EndDraw() {}

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

QImage TEmfPlayback::HatchImage(std::uint32_t hatch, const QColor& color) const
{
    QImage img(8, 8, QImage::Format_ARGB32);
    const QColor bg = dc_.BkMode == OPAQUE ? dc_.BkColor : QColor(0, 0, 0, 0);
    img.fill(bg);
    const QRgb c = color.rgba();
    for (int i = 0; i < 8; ++i) {
        switch (hatch) {
        case HS_HORIZONTAL: img.setPixel(i, 7, c); break;
        case HS_VERTICAL: img.setPixel(7, i, c); break;
        case HS_FDIAGONAL: img.setPixel(i, i, c); break;
        case HS_BDIAGONAL: img.setPixel(7 - i, i, c); break;
        case HS_CROSS: img.setPixel(i, 7, c); img.setPixel(7, i, c); break;
        case HS_DIAGCROSS: img.setPixel(i, i, c); img.setPixel(7 - i, i, c); break;
        default: img.setPixel(i, 7, c); break;
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
    const TLogBrush& lb = obj->LogBrush;
    QBrush brush;
    switch (lb.Style) {
    case BS_SOLID:
        brush = QBrush(lb.Color);
        break;
    case BS_HATCHED:
        brush = QBrush(HatchImage(lb.Hatch, lb.Color));
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
// Drawing helpers: shapes are mapped to device pixels and drawn there, so that pens are
// as wide and patterns as large in pixels as GDI draws them.

void TEmfPlayback::FillDevicePath(const QPainterPath& path, const QBrush& brush)
{
    if (brush.style() == Qt::NoBrush || dc_.Rop2 == R2_NOP)
        return;
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    p_.setPen(Qt::NoPen);
    p_.setBrush(brush);
    p_.drawPath(path);
    p_.restore();
}

void TEmfPlayback::StrokeDevicePath(const QPainterPath& path)
{
    if (PenIsNull() || dc_.Rop2 == R2_NOP)
        return;
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    p_.setPen(MakePen());
    p_.setBrush(Qt::NoBrush);
    p_.drawPath(path);
    p_.restore();
}

void TEmfPlayback::AppendToPath(const QPainterPath& logicalPath, bool continueFigure)
{
    if (path_.elementCount() > kMaxPathElements)
        return;
    QPainterPath dev = Xf().map(logicalPath);
    SnapToPixels(dev);
    if (continueFigure && pathHasFigure_ && dev.elementCount() > 0) {
        // Joins the new segments to the open figure (its first element is the current
        // position, already in the path).
        for (int i = 1; i < dev.elementCount(); ++i) {
            const QPainterPath::Element e = dev.elementAt(i);
            if (e.type == QPainterPath::LineToElement) {
                path_.lineTo(e.x, e.y);
            } else if (e.type == QPainterPath::CurveToElement && i + 2 < dev.elementCount()) {
                const auto c2 = dev.elementAt(i + 1), end = dev.elementAt(i + 2);
                path_.cubicTo(e.x, e.y, c2.x, c2.y, end.x, end.y);
                i += 2;
            } else if (e.type == QPainterPath::MoveToElement) {
                path_.moveTo(e.x, e.y);
            }
        }
    } else {
        path_.addPath(dev);
    }
    pathHasFigure_ = true;
}

void TEmfPlayback::DrawLogicalPath(const QPainterPath& path, bool fill, bool stroke)
{
    if (inPath_) {
        AppendToPath(path, false);
        return;
    }
    QPainterPath dev = Xf().map(path);
    SnapToPixels(dev);
    dev.setFillRule(dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    if (fill)
        FillDevicePath(dev, MakeBrush(dc_.Brush, true));
    if (stroke)
        StrokeDevicePath(dev);
}

std::vector<QPointF> TEmfPlayback::ReadPoints(const TRecordView& r, std::size_t offset,
                                              std::uint32_t count, bool shortPoints)
{
    std::vector<QPointF> pts;
    const std::size_t item = shortPoints ? 4 : 8;
    if (!r.HasArray(offset, count, item))
        return pts;
    pts.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t o = offset + i * item;
        if (shortPoints)
            pts.emplace_back(r.I16(o), r.I16(o + 2));
        else
            pts.emplace_back(r.I32(o), r.I32(o + 4));
    }
    return pts;
}

void TEmfPlayback::DrawPolyline(const std::vector<QPointF>& pts, bool polygon)
{
    if (pts.empty())
        return;
    if (inPath_) {
        QPainterPath path;
        path.moveTo(pts[0]);
        for (std::size_t i = 1; i < pts.size(); ++i)
            path.lineTo(pts[i]);
        if (polygon)
            path.closeSubpath();
        AppendToPath(path, false);
        return;
    }
    const QTransform& t = Xf();
    QPolygonF poly;
    poly.reserve(int(pts.size()));
    for (const QPointF& pt : pts) {
        const QPointF d = t.map(pt);
        poly.append(QPointF(RoundClamp(d.x()), RoundClamp(d.y())));
    }
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    if (polygon) {
        p_.setPen(MakePen());
        p_.setBrush(MakeBrush(dc_.Brush, true));
        p_.drawPolygon(poly, dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    } else if (!PenIsNull()) {
        p_.setPen(MakePen());
        p_.drawPolyline(poly);
    }
    p_.restore();
}

QRegion TEmfPlayback::ReadRegion(const TRecordView& r, std::size_t offset, std::uint32_t size,
                                 const QTransform& xf)
{
    // RGNDATAHEADER: dwSize, iType, nCount, nRgnSize, rcBound; then nCount rectangles.
    if (!r.Has(offset, 32) || size < 32 || !r.Has(offset, size))
        return QRegion();
    const std::uint32_t headerSize = r.U32(offset);
    const std::uint32_t count = r.U32(offset + 8);
    const std::size_t rects = offset + (headerSize >= 32 && headerSize <= size ? headerSize : 32);
    std::uint32_t n = count;
    const std::size_t avail = (offset + size - std::min<std::size_t>(rects, offset + size)) / 16;
    if (n > avail)
        n = static_cast<std::uint32_t>(avail);
    std::vector<QRect> list;
    list.reserve(n);
    const bool aligned = xf.m12() == 0 && xf.m21() == 0;
    QRegion rotated;
    for (std::uint32_t i = 0; i < n; ++i) {
        const TEmfRectL rc = r.RectL(rects + i * 16);
        const QRectF lr(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom));
        if (aligned) {
            const QPointF a = xf.map(lr.topLeft()), b = xf.map(lr.bottomRight());
            const int x1 = RoundClamp(std::min(a.x(), b.x())), x2 = RoundClamp(std::max(a.x(), b.x()));
            const int y1 = RoundClamp(std::min(a.y(), b.y())), y2 = RoundClamp(std::max(a.y(), b.y()));
            if (x2 > x1 && y2 > y1)
                list.emplace_back(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
        } else {
            rotated += QRegion(xf.map(QPolygonF(lr)).toPolygon());
        }
    }
    if (!aligned)
        return rotated;
    // Unites the rectangles pairwise, which stays fast for the long lists of scan-line
    // rectangles regions are made of.
    std::vector<QRegion> parts;
    parts.reserve(list.size());
    for (const QRect& rc : list)
        parts.emplace_back(rc);
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

void TEmfPlayback::FillDeviceRegion(const QRegion& rgn, const QBrush& brush)
{
    if (rgn.isEmpty())
        return;
    QPainterPath path;
    path.addRegion(rgn);
    FillDevicePath(path, brush);
}

// ---------------------------------------------------------------------------------
// Lines and shapes

namespace {
// The 16-bit variants (POLYBEZIER16 .. POLYDRAW16) store their points as pairs of
// 16-bit values; otherwise they are the same records.
bool HasSmallPoints(const TRecordView& r)
{
    return r.Type() >= EMR_POLYBEZIER16 && r.Type() <= EMR_POLYDRAW16;
}

void AppendTo(QPainterPath& path, const QPointF& cur, const std::vector<QPointF>& pts, bool bezier)
{
    path.moveTo(cur);
    if (bezier) {
        for (std::size_t i = 0; i + 2 < pts.size(); i += 3)
            path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
        for (const QPointF& p : pts)
            path.lineTo(p);
    }
}
} // namespace

std::vector<QPointF> TEmfPlayback::RecordPoints(const TRecordView& r)
{
    return ReadPoints(r, 28, r.U32(24), HasSmallPoints(r));
}

void TEmfPlayback::OnPolyBezier(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.size() < 4)
        return;
    QPainterPath path;
    path.moveTo(pts[0]);
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    DrawLogicalPath(path, false, true);
}
void TEmfPlayback::OnPolyBezier16(const TRecordView& r) { OnPolyBezier(r); }

void TEmfPlayback::OnPolygon(const TRecordView& r) { DrawPolyline(RecordPoints(r), true); }
void TEmfPlayback::OnPolygon16(const TRecordView& r) { OnPolygon(r); }
void TEmfPlayback::OnPolyline(const TRecordView& r) { DrawPolyline(RecordPoints(r), false); }
void TEmfPlayback::OnPolyline16(const TRecordView& r) { OnPolyline(r); }

void TEmfPlayback::OnPolyBezierTo(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.size() < 3)
        return;
    QPainterPath path;
    AppendTo(path, dc_.CurPos, pts, true);
    if (inPath_)
        AppendToPath(path, true);
    else
        DrawLogicalPath(path, false, true);
    dc_.CurPos = pts[(pts.size() / 3) * 3 - 1];
}
void TEmfPlayback::OnPolyBezierTo16(const TRecordView& r) { OnPolyBezierTo(r); }

void TEmfPlayback::OnPolylineTo(const TRecordView& r)
{
    const auto pts = RecordPoints(r);
    if (pts.empty())
        return;
    if (inPath_) {
        QPainterPath path;
        AppendTo(path, dc_.CurPos, pts, false);
        AppendToPath(path, true);
    } else {
        std::vector<QPointF> all{dc_.CurPos};
        all.insert(all.end(), pts.begin(), pts.end());
        DrawPolyline(all, false);
    }
    dc_.CurPos = pts.back();
}
void TEmfPlayback::OnPolylineTo16(const TRecordView& r) { OnPolylineTo(r); }

namespace {
// POLYPOLYLINE / POLYPOLYGON: nPolys, total count, the counts, then the points.
bool ReadPolyPoly(const TRecordView& r, bool shortPoints, std::vector<std::uint32_t>& counts,
                  std::vector<QPointF>& pts)
{
    const std::uint32_t nPolys = r.U32(24);
    const std::uint32_t total = r.U32(28);
    if (!r.HasArray(32, nPolys, 4))
        return false;
    const std::size_t ptsOffset = 32 + std::size_t(nPolys) * 4;
    const std::size_t item = shortPoints ? 4 : 8;
    if (!r.HasArray(ptsOffset, total, item))
        return false;
    std::uint64_t sum = 0;
    counts.resize(nPolys);
    for (std::uint32_t i = 0; i < nPolys; ++i) {
        counts[i] = r.U32(32 + i * 4);
        sum += counts[i];
    }
    if (sum > total)
        return false;
    pts.reserve(total);
    for (std::uint32_t i = 0; i < total; ++i) {
        const std::size_t o = ptsOffset + i * item;
        if (shortPoints)
            pts.emplace_back(r.I16(o), r.I16(o + 2));
        else
            pts.emplace_back(r.I32(o), r.I32(o + 4));
    }
    return true;
}
} // namespace

void TEmfPlayback::OnPolyPolyline(const TRecordView& r)
{
    std::vector<std::uint32_t> counts;
    std::vector<QPointF> pts;
    if (!ReadPolyPoly(r, r.Type() == EMR_POLYPOLYLINE16, counts, pts))
        return;
    std::size_t at = 0;
    for (std::uint32_t c : counts) {
        std::vector<QPointF> one(pts.begin() + at, pts.begin() + at + c);
        at += c;
        if (one.size() >= 2)
            DrawPolyline(one, false);
    }
}
void TEmfPlayback::OnPolyPolyline16(const TRecordView& r) { OnPolyPolyline(r); }

void TEmfPlayback::OnPolyPolygon(const TRecordView& r)
{
    std::vector<std::uint32_t> counts;
    std::vector<QPointF> pts;
    if (!ReadPolyPoly(r, r.Type() == EMR_POLYPOLYGON16, counts, pts))
        return;
    QPainterPath path;
    std::size_t at = 0;
    for (std::uint32_t c : counts) {
        if (c >= 2) {
            path.moveTo(pts[at]);
            for (std::size_t i = 1; i < c; ++i)
                path.lineTo(pts[at + i]);
            path.closeSubpath();
        }
        at += c;
    }
    DrawLogicalPath(path, true, true);
}
void TEmfPlayback::OnPolyPolygon16(const TRecordView& r) { OnPolyPolygon(r); }

void TEmfPlayback::OnPolyDraw(const TRecordView& r)
{
    const bool shortPoints = r.Type() == EMR_POLYDRAW16;
    const std::uint32_t n = r.U32(24);
    auto pts = ReadPoints(r, 28, n, shortPoints);
    const std::size_t typesAt = 28 + std::size_t(n) * (shortPoints ? 4 : 8);
    if (pts.size() != n || !r.Has(typesAt, n))
        return;
    QPainterPath path;
    path.moveTo(dc_.CurPos);
    QPointF figureStart = dc_.CurPos;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t t = r.U8(typesAt + i);
        switch (t & ~PT_CLOSEFIGURE) {
        case PT_MOVETO:
            path.moveTo(pts[i]);
            figureStart = pts[i];
            break;
        case PT_LINETO:
            path.lineTo(pts[i]);
            break;
        case PT_BEZIERTO:
            if (i + 2 < n) {
                path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
                i += 2;
            }
            break;
        default:
            break;
        }
        if ((t & PT_CLOSEFIGURE) && (t & ~PT_CLOSEFIGURE) != PT_MOVETO) {
            path.closeSubpath();
            path.moveTo(figureStart);
        }
        dc_.CurPos = pts[std::min<std::uint32_t>(i, n - 1)];
    }
    if (inPath_)
        AppendToPath(path, true);
    else
        DrawLogicalPath(path, false, true);
}
void TEmfPlayback::OnPolyDraw16(const TRecordView& r) { OnPolyDraw(r); }

void TEmfPlayback::OnMoveTo(const TRecordView& r)
{
    dc_.CurPos = QPointF(r.I32(8), r.I32(12));
    if (inPath_) {
        if (path_.elementCount() < kMaxPathElements)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        pathHasFigure_ = true;
    }
}

void TEmfPlayback::OnLineTo(const TRecordView& r)
{
    const QPointF to(r.I32(8), r.I32(12));
    if (inPath_) {
        if (!pathHasFigure_)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        if (path_.elementCount() < kMaxPathElements)
            path_.lineTo(Snap(Xf().map(to)));
        pathHasFigure_ = true;
    } else if (!PenIsNull() && dc_.Rop2 != R2_NOP) {
        const QPointF a = Xf().map(dc_.CurPos), b = Xf().map(to);
        BeginDraw();
        p_.save();
        ConfigureRop2(p_, dc_.Rop2);
        p_.setPen(MakePen());
        p_.drawLine(QPointF(RoundClamp(a.x()), RoundClamp(a.y())),
                    QPointF(RoundClamp(b.x()), RoundClamp(b.y())));
        p_.restore();
    }
    dc_.CurPos = to;
}

void TEmfPlayback::OnRectangle(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom));
    if (inPath_ || !AxisAligned()) {
        QPainterPath path;
        path.addRect(lr.normalized());
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0)
        return;
    BeginDraw();
    p_.save();
    ConfigureRop2(p_, dc_.Rop2);
    QPen pen = MakePen();
    if (pen.style() != Qt::NoPen) {
        pen.setJoinStyle(Qt::MiterJoin);
        const double w = pen.widthF();
        // A wide pen lies inside the rectangle with PS_INSIDEFRAME, else centred on it.
        const bool inside = (dc_.Pen->LogPen.Style & PS_STYLE_MASK) == PS_INSIDEFRAME;
        QRectF box(d.left(), d.top(), d.width() - 1, d.height() - 1);
        if (inside && w > 1)
            box.adjust(w / 2 - 0.5, w / 2 - 0.5, -(w / 2 - 0.5), -(w / 2 - 0.5));
        p_.setBrush(MakeBrush(dc_.Brush, true));
        p_.setPen(pen);
        p_.drawRect(box);
    } else {
        p_.fillRect(QRect(d.left(), d.top(), d.width() - 1, d.height() - 1), MakeBrush(dc_.Brush, true));
    }
    p_.restore();
}

void TEmfPlayback::OnEllipse(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    if (inPath_ || !AxisAligned()) {
        QPainterPath path;
        path.addEllipse(lr);
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0 || DrawPixelEllipse(d))
        return;
    QPainterPath path;
    path.addEllipse(QRectF(d.left(), d.top(), d.width() - 1, d.height() - 1));
    FillDevicePath(path, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(path);
}

bool TEmfPlayback::DrawPixelEllipse(const QRect& d)
{
    constexpr int kLargest = 4096; // larger boxes (deep zoom) gain nothing from it
    const bool nullPen = PenIsNull();
    const QPen pen = nullPen ? QPen(Qt::NoPen) : MakePen();
    if (!nullPen) {
        const std::uint32_t style = dc_.Pen->LogPen.Style & PS_STYLE_MASK;
        if ((style != PS_SOLID && style != PS_INSIDEFRAME) || pen.widthF() > 1)
            return false;
    }
    if (d.width() > kLargest || d.height() > kLargest)
        return false;
    auto toRegion = [&d](const std::vector<TPixelRun>& runs) {
        QList<QRect> rects;
        rects.reserve(qsizetype(runs.size()));
        for (const TPixelRun& run : runs)
            rects.append(QRect(d.left() + run.X0, d.top() + run.Y, run.X1 - run.X0 + 1, 1));
        QRegion rgn;
        rgn.setRects(rects.constData(), int(rects.size()));
        return rgn;
    };
    QRegion outline, interior;
    if (d.width() <= 2 || d.height() <= 2) {
        // So small a box is drawn as a rectangle; a pen's outline reaches one pixel past
        // the box's right and bottom edges.
        if (nullPen) {
            interior = QRegion(d);
        } else {
            const QRect box(d.topLeft(), QSize(d.width() + 1, d.height() + 1));
            interior = QRegion(box.adjusted(1, 1, -1, -1));
            outline = QRegion(box) - interior;
        }
    } else {
        const TPixelEllipse e = RasterizeEllipse(d.width(), d.height());
        outline = toRegion(e.Outline);
        interior = toRegion(e.Interior);
        if (nullPen) {
            interior += outline; // without a pen the brush covers the outline's pixels too
            outline = QRegion();
        }
    }
    BeginDraw();
    FillDeviceRegion(interior, MakeBrush(dc_.Brush, true));
    if (!outline.isEmpty())
        FillDeviceRegion(outline, QBrush(pen.color()));
    return true;
}

void TEmfPlayback::OnRoundRect(const TRecordView& r)
{
    const TEmfRectL rc = r.RectL(8);
    const double cw = std::fabs(double(r.I32(24))), ch = std::fabs(double(r.I32(28)));
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    QPainterPath path;
    if (inPath_ || !AxisAligned()) {
        path.addRoundedRect(lr, std::min(cw / 2, lr.width() / 2), std::min(ch / 2, lr.height() / 2));
        DrawLogicalPath(path, true, true);
        return;
    }
    const QRect d = DeviceRectRaw(lr);
    if (d.width() <= 0 || d.height() <= 0)
        return;
    const QRectF box(d.left(), d.top(), d.width() - 1, d.height() - 1);
    const double rx = std::min(cw * ScaleX() / 2, box.width() / 2);
    const double ry = std::min(ch * ScaleY() / 2, box.height() / 2);
    path.addRoundedRect(box, rx, ry);
    FillDevicePath(path, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(path);
}

// Arc geometry in device space: GDI measures the radial end points and the direction
// as they appear on the device.
bool TEmfPlayback::ArcGeometry(const TRecordView& r, QRectF& box, double& startDeg,
                               double& sweepDeg, QPointF& startPt, QPointF& endPt)
{
    const TEmfRectL rc = r.RectL(8);
    const QRectF lr = QRectF(QPointF(rc.Left, rc.Top), QPointF(rc.Right, rc.Bottom)).normalized();
    const QTransform& t = Xf();
    const QRectF dbox = t.mapRect(lr);
    box = QRectF(dbox.left(), dbox.top(), std::max(0.0, dbox.width() - 1), std::max(0.0, dbox.height() - 1));
    if (box.width() <= 0 || box.height() <= 0)
        return false;
    const QPointF c = box.center();
    const QPointF s = t.map(QPointF(r.I32(24), r.I32(28)));
    const QPointF e = t.map(QPointF(r.I32(32), r.I32(36)));
    auto angle = [&](const QPointF& p) {
        // Angle on the ellipse, scaled to a circle, counter-clockwise as seen.
        return std::atan2(-(p.y() - c.y()) / box.height(), (p.x() - c.x()) / box.width()) * 180.0 / M_PI;
    };
    startDeg = angle(s);
    const double endDeg = angle(e);
    bool clockwise = dc_.ArcDirection == AD_CLOCKWISE;
    if (t.determinant() < 0 && t.m22() > 0)
        clockwise = !clockwise;
    if (!clockwise) {
        sweepDeg = endDeg - startDeg;
        if (sweepDeg <= 0)
            sweepDeg += 360;
    } else {
        sweepDeg = endDeg - startDeg;
        if (sweepDeg >= 0)
            sweepDeg -= 360;
    }
    auto onEllipse = [&](double deg) {
        const double a = deg * M_PI / 180.0;
        return QPointF(c.x() + box.width() / 2 * std::cos(a), c.y() - box.height() / 2 * std::sin(a));
    };
    startPt = onEllipse(startDeg);
    endPt = onEllipse(startDeg + sweepDeg);
    return true;
}

void TEmfPlayback::OnArc(const TRecordView& r)
{
    QRectF box;
    double a0, sweep;
    QPointF s, e;
    if (!ArcGeometry(r, box, a0, sweep, s, e))
        return;
    QPainterPath path;
    path.arcMoveTo(box, a0);
    path.arcTo(box, a0, sweep);
    if (inPath_) {
        if (path_.elementCount() < kMaxPathElements)
            path_.addPath(path);
        pathHasFigure_ = true;
        return;
    }
    StrokeDevicePath(path);
}

void TEmfPlayback::OnArcTo(const TRecordView& r)
{
    QRectF box;
    double a0, sweep;
    QPointF s, e;
    if (!ArcGeometry(r, box, a0, sweep, s, e))
        return;
    QPainterPath path;
    path.moveTo(Xf().map(dc_.CurPos));
    path.lineTo(s);
    path.arcTo(box, a0, sweep);
    if (inPath_) {
        if (!pathHasFigure_)
            path_.moveTo(Snap(Xf().map(dc_.CurPos)));
        path_.lineTo(s);
        path_.arcTo(box, a0, sweep);
        pathHasFigure_ = true;
    } else {
        StrokeDevicePath(path);
    }
    bool ok = false;
    const QTransform inv = Xf().inverted(&ok);
    if (ok)
        dc_.CurPos = inv.map(e);
}

void TEmfPlayback::OnChord(const TRecordView& r)
{
    QRectF box;
    double a0, sweep;
    QPointF s, e;
    if (!ArcGeometry(r, box, a0, sweep, s, e))
        return;
    QPainterPath path;
    path.arcMoveTo(box, a0);
    path.arcTo(box, a0, sweep);
    path.closeSubpath();
    if (inPath_) {
        path_.addPath(path);
        pathHasFigure_ = true;
        return;
    }
    FillDevicePath(path, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(path);
}

void TEmfPlayback::OnPie(const TRecordView& r)
{
    QRectF box;
    double a0, sweep;
    QPointF s, e;
    if (!ArcGeometry(r, box, a0, sweep, s, e))
        return;
    QPainterPath path;
    path.moveTo(box.center());
    path.arcTo(box, a0, sweep);
    path.closeSubpath();
    if (inPath_) {
        path_.addPath(path);
        pathHasFigure_ = true;
        return;
    }
    FillDevicePath(path, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(path);
}

void TEmfPlayback::OnAngleArc(const TRecordView& r)
{
    const QPointF c(r.I32(8), r.I32(12));
    const double radius = r.U32(16);
    const float start = r.F32(20), sweep = r.F32(24);
    if (!SaneFloat(start) || !SaneFloat(sweep) || radius > 1e8)
        return;
    const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    const double sweepClamped = std::clamp<double>(sweep, -3600, 3600);
    QPainterPath path;
    path.moveTo(dc_.CurPos);
    // Logical y grows downwards in the reference device, so counter-clockwise as seen
    // is the same sense Qt uses.
    path.arcTo(box, start, sweepClamped);
    const QPointF end = path.currentPosition();
    if (inPath_)
        AppendToPath(path, true);
    else
        DrawLogicalPath(path, false, true);
    dc_.CurPos = end;
}

void TEmfPlayback::OnSetPixel(const TRecordView& r)
{
    const QPointF d = Xf().map(QPointF(r.I32(8), r.I32(12)));
    BeginDraw();
    p_.fillRect(QRect(RoundClamp(d.x()), RoundClamp(d.y()), 1, 1), ColorRef(r.U32(16)));
}

// ---------------------------------------------------------------------------------
// State records

// Extents count only in the two scalable modes, and a zero extent is refused.
void TEmfPlayback::SetExtent(QSizeF& extent, const TRecordView& r)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC)
        return;
    const std::int32_t x = r.I32(8), y = r.I32(12);
    if (x == 0 || y == 0)
        return;
    extent = QSizeF(x, y);
    FixIsotropic();
    xfDirty_ = true;
}
void TEmfPlayback::OnSetWindowExt(const TRecordView& r) { SetExtent(dc_.WindowExt, r); }
void TEmfPlayback::OnSetWindowOrg(const TRecordView& r)
{
    dc_.WindowOrg = QPointF(r.I32(8), r.I32(12));
    xfDirty_ = true;
}
void TEmfPlayback::OnSetViewportExt(const TRecordView& r) { SetExtent(dc_.ViewportExt, r); }
void TEmfPlayback::OnSetViewportOrg(const TRecordView& r)
{
    dc_.ViewportOrg = QPointF(r.I32(8), r.I32(12));
    xfDirty_ = true;
}
// SCALEVIEWPORTEXTEX / SCALEWINDOWEXTEX: the extent times xNum/xDenom and yNum/yDenom.
void TEmfPlayback::ScaleExtent(QSizeF& extent, const TRecordView& r)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC)
        return;
    const std::int32_t xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
    if (xn == 0 || xd == 0 || yn == 0 || yd == 0)
        return;
    const QSizeF e(extent.width() * xn / xd, extent.height() * yn / yd);
    if (e.width() == 0 || e.height() == 0)
        return;
    extent = e;
    FixIsotropic();
    xfDirty_ = true;
}
void TEmfPlayback::OnScaleViewportExt(const TRecordView& r) { ScaleExtent(dc_.ViewportExt, r); }
void TEmfPlayback::OnScaleWindowExt(const TRecordView& r) { ScaleExtent(dc_.WindowExt, r); }
void TEmfPlayback::OnSetBrushOrg(const TRecordView& r) { dc_.BrushOrg = QPoint(r.I32(8), r.I32(12)); }
void TEmfPlayback::OnSetMapMode(const TRecordView& r) { SetMapModeInternal(r.U32(8)); }
void TEmfPlayback::OnSetBkMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m == TRANSPARENT || m == OPAQUE)
        dc_.BkMode = m;
}
void TEmfPlayback::OnSetPolyFillMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m == ALTERNATE || m == WINDING)
        dc_.PolyFillMode = m;
}
void TEmfPlayback::OnSetRop2(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= R2_BLACK && m <= R2_WHITE)
        dc_.Rop2 = m;
}
void TEmfPlayback::OnSetStretchMode(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= BLACKONWHITE && m <= HALFTONE)
        dc_.StretchMode = m;
}
void TEmfPlayback::OnSetTextAlign(const TRecordView& r) { dc_.TextAlign = r.U32(8); }
void TEmfPlayback::OnSetTextColor(const TRecordView& r) { dc_.TextColor = ColorRef(r.U32(8)); }
void TEmfPlayback::OnSetBkColor(const TRecordView& r) { dc_.BkColor = ColorRef(r.U32(8)); }
void TEmfPlayback::OnSetArcDirection(const TRecordView& r)
{
    const std::uint32_t d = r.U32(8);
    if (d == AD_COUNTERCLOCKWISE || d == AD_CLOCKWISE)
        dc_.ArcDirection = d;
}
void TEmfPlayback::OnSetMiterLimit(const TRecordView& r)
{
    const std::uint32_t m = r.U32(8);
    if (m >= 1 && m <= 1000)
        dc_.MiterLimit = m;
}
void TEmfPlayback::OnSetLayout(const TRecordView&) {}

void TEmfPlayback::OnSaveDC(const TRecordView&)
{
    if (saved_.size() >= kMaxSaveDepth)
        return;
    saved_.push_back(dc_);
}

void TEmfPlayback::OnRestoreDC(const TRecordView& r)
{
    const std::int32_t n = r.I32(8);
    std::size_t level; // index into saved_ of the state to restore
    if (n < 0) {
        const std::int64_t back = -std::int64_t(n);
        if (back > std::int64_t(saved_.size()))
            return;
        level = saved_.size() - std::size_t(back);
    } else if (n > 0) {
        if (std::size_t(n) > saved_.size())
            return;
        level = std::size_t(n) - 1;
    } else {
        return;
    }
    dc_ = std::move(saved_[level]);
    saved_.resize(level);
    xfDirty_ = true;
    clipDirty_ = true;
}

void TEmfPlayback::OnSetWorldTransform(const TRecordView& r)
{
    const float m[6] = {r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
    for (float f : m)
        if (!SaneFloat(f))
            return;
    const QTransform t(m[0], m[1], m[2], m[3], m[4], m[5]);
    if (t.determinant() == 0)
        return;
    dc_.World = t;
    xfDirty_ = true;
}

void TEmfPlayback::OnModifyWorldTransform(const TRecordView& r)
{
    const float m[6] = {r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
    const std::uint32_t mode = r.U32(32);
    if (mode == MWT_IDENTITY) {
        dc_.World = QTransform();
        xfDirty_ = true;
        return;
    }
    for (float f : m)
        if (!SaneFloat(f))
            return;
    const QTransform t(m[0], m[1], m[2], m[3], m[4], m[5]);
    QTransform result;
    switch (mode) {
    case MWT_LEFTMULTIPLY: result = t * dc_.World; break;
    case MWT_RIGHTMULTIPLY: result = dc_.World * t; break;
    case MWT_SET: result = t; break;
    default: return;
    }
    if (result.determinant() == 0)
        return;
    dc_.World = result;
    xfDirty_ = true;
}

// ---------------------------------------------------------------------------------
// Objects

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

// ---------------------------------------------------------------------------------
// Paths

void TEmfPlayback::OnBeginPath(const TRecordView&)
{
    inPath_ = true;
    path_ = QPainterPath();
    pathHasFigure_ = false;
}
void TEmfPlayback::OnEndPath(const TRecordView&) { inPath_ = false; }
void TEmfPlayback::OnCloseFigure(const TRecordView&)
{
    if (inPath_ && path_.elementCount() > 0) {
        path_.closeSubpath();
        pathHasFigure_ = false;
    }
}
void TEmfPlayback::OnAbortPath(const TRecordView&)
{
    inPath_ = false;
    path_ = QPainterPath();
    pathHasFigure_ = false;
}

void TEmfPlayback::OnFillPath(const TRecordView&)
{
    if (inPath_)
        return;
    QPainterPath p = path_;
    p.setFillRule(dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    FillDevicePath(p, MakeBrush(dc_.Brush, true));
    path_ = QPainterPath();
}
void TEmfPlayback::OnStrokeAndFillPath(const TRecordView&)
{
    if (inPath_)
        return;
    QPainterPath p = path_;
    p.setFillRule(dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    FillDevicePath(p, MakeBrush(dc_.Brush, true));
    StrokeDevicePath(p);
    path_ = QPainterPath();
}
void TEmfPlayback::OnStrokePath(const TRecordView&)
{
    if (inPath_)
        return;
    StrokeDevicePath(path_);
    path_ = QPainterPath();
}
void TEmfPlayback::OnFlattenPath(const TRecordView&)
{
    if (inPath_)
        return;
    QPainterPath flat;
    for (const QPolygonF& poly : path_.toSubpathPolygons())
        flat.addPolygon(poly);
    path_ = flat;
}
void TEmfPlayback::OnWidenPath(const TRecordView&)
{
    if (inPath_ || PenIsNull())
        return;
    QPainterPathStroker stroker(MakePen());
    path_ = stroker.createStroke(path_);
}

void TEmfPlayback::OnSelectClipPath(const TRecordView& r)
{
    if (inPath_)
        return;
    QPainterPath p = path_;
    p.setFillRule(dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    QRegion rgn;
    for (const QPolygonF& poly : p.toFillPolygons())
        rgn = rgn.united(QRegion(poly.toPolygon(), p.fillRule()));
    path_ = QPainterPath();
    CombineClip(rgn, r.U32(8));
}

// ---------------------------------------------------------------------------------
// Clipping

// Combines a device-unit region with the clip by one of the RGN_* modes; no clip yet
// counts as the whole plane. Unknown modes change nothing.
void TEmfPlayback::CombineClip(const QRegion& rgn, std::uint32_t mode)
{
    const QRegion all(-int(kMaxCoord), -int(kMaxCoord), 2 * int(kMaxCoord), 2 * int(kMaxCoord));
    const QRegion cur = dc_.Clip ? *dc_.Clip : all;
    switch (mode) {
    case RGN_AND: dc_.Clip = cur & rgn; break;
    case RGN_OR: dc_.Clip = cur | rgn; break;
    case RGN_XOR: dc_.Clip = cur ^ rgn; break;
    case RGN_DIFF: dc_.Clip = cur - rgn; break;
    case RGN_COPY: dc_.Clip = rgn; break;
    default: return;
    }
    clipDirty_ = true;
}

void TEmfPlayback::OnIntersectClipRect(const TRecordView& r)
{
    const QRect d = DeviceRect(r.RectL(8));
    const QRegion rgn = d.isValid() ? QRegion(d) : QRegion();
    dc_.Clip = dc_.Clip ? (*dc_.Clip & rgn) : rgn;
    clipDirty_ = true;
}

void TEmfPlayback::OnExcludeClipRect(const TRecordView& r)
{
    const QRect d = DeviceRect(r.RectL(8));
    if (!d.isValid())
        return;
    const QRegion all(-int(kMaxCoord), -int(kMaxCoord), 2 * int(kMaxCoord), 2 * int(kMaxCoord));
    dc_.Clip = (dc_.Clip ? *dc_.Clip : all) - QRegion(d);
    clipDirty_ = true;
}

void TEmfPlayback::OnOffsetClipRgn(const TRecordView& r)
{
    if (!dc_.Clip)
        return;
    const QTransform& t = Xf();
    const QPointF d = t.map(QPointF(r.I32(8), r.I32(12))) - t.map(QPointF(0, 0));
    dc_.Clip->translate(RoundClamp(d.x()), RoundClamp(d.y()));
    clipDirty_ = true;
}

void TEmfPlayback::OnSetMetaRgn(const TRecordView&)
{
    if (dc_.Clip)
        dc_.MetaClip = dc_.MetaClip ? (*dc_.MetaClip & *dc_.Clip) : *dc_.Clip;
    dc_.Clip.reset();
    clipDirty_ = true;
}

// Region data of EXTSELECTCLIPRGN is in device units of the picture: only the initial
// transform applies to it.
void TEmfPlayback::OnExtSelectClipRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(8);
    const std::uint32_t mode = r.U32(12);
    if (mode == RGN_COPY && (size == 0 || !r.Has(16, 32))) {
        dc_.Clip.reset();
        clipDirty_ = true;
        return;
    }
    if (!r.Has(16, 32))
        return;
    const QRegion rgn = ReadRegion(r, 16, std::min<std::uint32_t>(size, r.Size() - 16), init_);
    CombineClip(rgn, mode);
}

// ---------------------------------------------------------------------------------
// Regions (in logical units)

void TEmfPlayback::OnFillRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(24);
    TObjectRef brush = Object(r.U32(28));
    if (!brush || brush->Kind != TGdiObject::Brush || !r.Has(32, 32))
        return;
    const QRegion rgn = ReadRegion(r, 32, std::min<std::uint32_t>(size, r.Size() - 32), Xf());
    FillDeviceRegion(rgn, MakeBrush(brush, true));
}

void TEmfPlayback::OnFrameRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(24);
    TObjectRef brush = Object(r.U32(28));
    if (!brush || brush->Kind != TGdiObject::Brush || !r.Has(40, 32))
        return;
    const QRegion rgn = ReadRegion(r, 40, std::min<std::uint32_t>(size, r.Size() - 40), Xf());
    const int w = std::clamp(RoundClamp(std::abs(r.I32(32)) * ScaleX()), 1, 10000);
    const int h = std::clamp(RoundClamp(std::abs(r.I32(36)) * ScaleY()), 1, 10000);
    // The frame is the region less the region shrunk by the frame's width and height.
    const QRegion inner = rgn & rgn.translated(w, 0) & rgn.translated(-w, 0) & rgn.translated(0, h)
                          & rgn.translated(0, -h);
    FillDeviceRegion(rgn - inner, MakeBrush(brush, true));
}

void TEmfPlayback::OnInvertRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(24);
    if (!r.Has(28, 32))
        return;
    const QRegion rgn = ReadRegion(r, 28, std::min<std::uint32_t>(size, r.Size() - 28), Xf());
    if (rgn.isEmpty())
        return;
    BeginDraw();
    p_.save();
    const Rop2Setup rop = ConfigureRop2(p_, R2_NOT);
    QPainterPath path;
    path.addRegion(rgn);
    p_.setPen(Qt::NoPen);
    p_.setBrush(rop.MapColor(Qt::black));
    p_.drawPath(path);
    p_.restore();
}

void TEmfPlayback::OnPaintRgn(const TRecordView& r)
{
    const std::uint32_t size = r.U32(24);
    if (!r.Has(28, 32))
        return;
    const QRegion rgn = ReadRegion(r, 28, std::min<std::uint32_t>(size, r.Size() - 28), Xf());
    FillDeviceRegion(rgn, MakeBrush(dc_.Brush, true));
}

} // namespace qrp::emf

// ---------------------------------------------------------------------------------
// Public entry points

namespace qrp {

void PlayEmf(QPainter& painter, const std::uint8_t* data, std::size_t size, const QRectF& target)
{
    emf::TEmfReader reader(data, size);
    if (!reader.Valid() || !painter.isActive())
        return;
    painter.save();
    {
        emf::TEmfPlayback playback(painter, reader.Header(), target);
        playback.Play(reader);
    }
    painter.restore();
}

void PlayMetafile(QPainter& painter, const TMetafile& picture, const QRectF& target)
{
    const auto& bytes = picture.Bytes();
    if (bytes.empty())
        return;
    PlayEmf(painter, bytes.data(), bytes.size(), target);
}

} // namespace qrp
