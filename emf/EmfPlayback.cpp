// The player's frame: the record table, the set-up of a playback and the entry points.
// The handlers live in one file per family of records (EmfPlayback.h lists them).
#include "emf/EmfPlayback.h"

#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "emf/RasterOps.h"

#include <QPaintEngine>

#include <algorithm>
#include <array>
#include <cmath>

namespace qrp::emf {

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
    const QRectF clipBounds = baseClip_ ? baseClip_->boundingRect() : QRectF();
    visible_ = VisibleDeviceRect(p_, baseClip_ ? &clipBounds : nullptr);
    visibleDiagonal_ = std::hypot(double(visible_.width()), double(visible_.height()));
    const bool raster = p_.paintEngine() && p_.paintEngine()->type() == QPaintEngine::Raster;
    budget_ = TDrawBudget(p_.device() ? QSize(p_.device()->width(), p_.device()->height()) : QSize(), raster);
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

void TEmfPlayback::Play(TEmfReader& reader)
{
    static const TDispatchTable table;
    TRecordView r;
    // Every record costs a little, the drawing ones more (see EmfPlaybackBudget.cpp). The
    // record that spends the budget still runs: it draws what was paid for before it.
    constexpr double kRecordCost = 4;
    while (!budget_.Spent() && reader.Next(r)) {
        budget_.Charge(kRecordCost);
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
