#pragma once
// The playback engine behind PlayEmf: a device-context state machine as GDI keeps it,
// driven by a table of record handlers, drawing onto a QPainter. Internal to the emf
// library; callers use EmfPlayer.h.
#include "emf/DrawBudget.h"
#include "emf/EmfReader.h"
#include "emf/EmfRecords.h"
#include "emf/GlyphRaster.h"
#include "emf/SymbolFonts.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qrp {
struct DibImage;
}

namespace qrp::emf {

struct TDashRun;

struct TLogBrush;

struct TLogPen {
    std::uint32_t Style = PS_SOLID; // full style word: type, caps, joins, dash style
    double Width = 0;               // logical units; 0 means one device pixel
    QColor Color = Qt::black;
    std::vector<double> UserStyle;  // PS_USERSTYLE dash and gap lengths
    bool Extended = false;          // from EXTCREATEPEN (caps and joins as given)
    std::shared_ptr<const TLogBrush> Pattern; // geometric pens that stroke with a hatch or pattern
};

struct TLogBrush {
    std::uint32_t Style = BS_SOLID;
    QColor Color = Qt::white;
    std::uint32_t Hatch = 0;
    QImage Pattern;         // DIB pattern brushes
    QImage MonoPattern;     // 1-bit patterns, coloured by text and background colour
};

struct TLogFont {
    std::int32_t Height = 0, Width = 0, Escapement = 0, Orientation = 0, Weight = 0;
    bool Italic = false, Underline = false, StrikeOut = false;
    std::uint8_t CharSet = 0, PitchAndFamily = 0, Quality = 0;
    QString Face;
};

struct TGdiObject {
    enum Kind { Pen, Brush, Font, Palette, Other } Kind = Other;
    TLogPen LogPen;
    TLogBrush LogBrush;
    TLogFont LogFont;
};
using TObjectRef = std::shared_ptr<const TGdiObject>;

// Everything SaveDC saves.
struct TDcState {
    std::uint32_t MapMode = MM_TEXT;
    QPointF WindowOrg, ViewportOrg;
    QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
    QTransform World;
    std::uint32_t GraphicsMode = GM_COMPATIBLE;
    QColor TextColor = Qt::black;
    QColor BkColor = Qt::white;
    std::uint32_t BkMode = OPAQUE;
    std::uint32_t TextAlign = 0;
    std::uint32_t PolyFillMode = ALTERNATE;
    std::uint32_t Rop2 = R2_COPYPEN;
    std::uint32_t StretchMode = BLACKONWHITE;
    std::uint32_t ArcDirection = AD_COUNTERCLOCKWISE;
    double MiterLimit = 10;
    QPointF CurPos;     // logical units
    QPoint BrushOrg;    // device pixels
    TObjectRef Pen, Brush, Font;
    std::optional<QRegion> Clip;     // target device pixels; none means no clip
    std::optional<QRegion> MetaClip; // SETMETARGN
};

class TEmfPlayback {
public:
    TEmfPlayback(QPainter& painter, const TEmfHeaderInfo& header, const QRectF& target);
    ~TEmfPlayback();

    void Play(TEmfReader& reader);
    // The work the page has cost: once spent, the records left were skipped.
    const TDrawBudget& Budget() const { return budget_; }
    // A stroke whose dashes would number more than this is dashed only where it can show
    // (kManyDashes unless set).
    static constexpr double kManyDashes = 1 << 16;
    void SetDashLimit(double dashes) { dashLimit_ = dashes; }

    // Record handlers (one per record type, see the dispatch table).
    using Handler = void (TEmfPlayback::*)(const TRecordView&);

private:
    friend struct TDispatchTable;

    // Each group below lives in its own file, EmfPlayback<Group>.cpp; the record table
    // that calls the handlers is in EmfPlayback.cpp.

    // ---- State: device-context state and mapping ----
    void UpdateTransform();
    const QTransform& Xf(); // logical -> target device
    QPointF ToDevice(const QPointF& p) { return Xf().map(p); }
    double ScaleX();        // device length of one logical unit along x
    double ScaleY();
    bool AxisAligned();
    QRect DeviceRect(const TEmfRectL& r);           // exclusive right/bottom, rounded
    QRect DeviceRectRaw(const QRectF& logical);
    void SetMapModeInternal(std::uint32_t mode);
    void FixIsotropic();
    void SetExtent(QSizeF& extent, const TRecordView& r);
    void ScaleExtent(QSizeF& extent, const TRecordView& r);
    QSizeF ReferencePixelMm() const;

    void OnSetWindowExt(const TRecordView& r);
    void OnSetWindowOrg(const TRecordView& r);
    void OnSetViewportExt(const TRecordView& r);
    void OnSetViewportOrg(const TRecordView& r);
    void OnScaleViewportExt(const TRecordView& r);
    void OnScaleWindowExt(const TRecordView& r);
    void OnSetMapMode(const TRecordView& r);
    void OnSetWorldTransform(const TRecordView& r);
    void OnModifyWorldTransform(const TRecordView& r);
    void OnSaveDC(const TRecordView& r);
    void OnRestoreDC(const TRecordView& r);
    void OnSetBrushOrg(const TRecordView& r);
    void OnSetBkMode(const TRecordView& r);
    void OnSetPolyFillMode(const TRecordView& r);
    void OnSetRop2(const TRecordView& r);
    void OnSetStretchMode(const TRecordView& r);
    void OnSetTextAlign(const TRecordView& r);
    void OnSetTextColor(const TRecordView& r);
    void OnSetBkColor(const TRecordView& r);
    void OnSetArcDirection(const TRecordView& r);
    void OnSetMiterLimit(const TRecordView& r);
    void OnSetLayout(const TRecordView& r);

    // ---- Objects: pens, brushes, fonts, palettes ----
    TObjectRef Object(std::uint32_t index);
    void StoreObject(std::uint32_t index, TObjectRef obj);
    static TObjectRef Stock(std::uint32_t id);
    QPen MakePen();
    QBrush MakeBrush(const TObjectRef& brush, bool deviceSpace);
    QBrush MakeBrush(const TLogBrush& brush);
    QImage HatchImage(std::uint32_t hatch, const QColor& color) const;
    // Pen and brush colours under the binary raster operation: unchanged where the device
    // composes the operation itself, its approximation where it cannot (PDF, printers).
    QColor Rop2Color(const QColor& c) const;
    QImage Rop2Image(QImage image) const;
    bool PenIsNull() const;
    bool BrushIsNull(const TObjectRef& brush) const;

    void OnCreatePen(const TRecordView& r);
    void OnExtCreatePen(const TRecordView& r);
    void OnCreateBrush(const TRecordView& r);
    void OnExtCreateFont(const TRecordView& r);
    void OnCreatePalette(const TRecordView& r);
    void OnSelectObject(const TRecordView& r);
    void OnDeleteObject(const TRecordView& r);

    // ---- Shapes: lines and shapes ----
    // Strokes and/or fills a logical path (or adds it to the open path).
    void DrawLogicalPath(const QPainterPath& path, bool fill, bool stroke);
    // A figure that starts at the current position: joined to the open path, or stroked.
    void DrawFromCurrentPosition(const QPainterPath& logicalPath);
    void DrawDevicePath(const QPainterPath& path, const QPen& pen, const QBrush& brush);
    void FillDevicePath(const QPainterPath& path, const QBrush& brush, bool charge = true);
    void StrokeDevicePath(const QPainterPath& path);
    void FillAndStrokeDevicePath(const QPainterPath& path); // the selected brush and pen
    Qt::FillRule FillRule() const
    {
        return dc_.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
    }
    void DrawPolyline(const std::vector<QPointF>& pts, bool closeAsPolygon);
    std::vector<QPointF> RecordPoints(const TRecordView& r); // a poly record's points
    std::vector<QPointF> ReadPoints(const TRecordView& r, std::size_t offset,
                                    std::uint32_t count, bool shortPoints);
    bool ReadPolyPoly(const TRecordView& r, std::vector<std::uint32_t>& counts,
                      std::vector<QPointF>& pts);
    struct TArcGeometry {
        QRectF Box;                 // the ellipse, device pixels
        double StartDeg = 0, SweepDeg = 0;
        QPointF Start, End;         // the arc's end points on the ellipse
    };
    bool ArcGeometry(const TRecordView& r, TArcGeometry& g);
    enum class TArcShape { Arc, Chord, Pie };
    void DrawArcShape(const TRecordView& r, TArcShape shape);
    // An axis-aligned ellipse in the device box d, pixel by pixel as GDI sets it, when the
    // pen is null or one solid pixel wide; false leaves it to the outline path.
    bool DrawPixelEllipse(const QRect& d);

    void OnPolyBezier(const TRecordView& r);
    void OnPolyBezier16(const TRecordView& r);
    void OnPolygon(const TRecordView& r);
    void OnPolygon16(const TRecordView& r);
    void OnPolyline(const TRecordView& r);
    void OnPolyline16(const TRecordView& r);
    void OnPolyBezierTo(const TRecordView& r);
    void OnPolyBezierTo16(const TRecordView& r);
    void OnPolylineTo(const TRecordView& r);
    void OnPolylineTo16(const TRecordView& r);
    void OnPolyPolyline(const TRecordView& r);
    void OnPolyPolyline16(const TRecordView& r);
    void OnPolyPolygon(const TRecordView& r);
    void OnPolyPolygon16(const TRecordView& r);
    void OnPolyDraw(const TRecordView& r);
    void OnPolyDraw16(const TRecordView& r);
    void OnMoveTo(const TRecordView& r);
    void OnLineTo(const TRecordView& r);
    void OnRectangle(const TRecordView& r);
    void OnRoundRect(const TRecordView& r);
    void OnEllipse(const TRecordView& r);
    void OnArc(const TRecordView& r);
    void OnArcTo(const TRecordView& r);
    void OnChord(const TRecordView& r);
    void OnPie(const TRecordView& r);
    void OnAngleArc(const TRecordView& r);
    void OnSetPixel(const TRecordView& r);

    // ---- Budget: what the page may cost ----
    // The pen's reach past its geometry, in device pixels (half its width, more for
    // miter joins and square caps).
    static double PenReach(const QPen& pen);
    // A round solid pen far wider than what can show narrowed to a width that covers the
    // same visible pixels; distance gives how close the geometry comes to them.
    void NarrowPen(QPen& pen, const std::function<double()>& distance) const;
    // What can show of a stroke by pen: the visible pixels grown by its reach.
    QRectF StrokeArea(const QPen& pen) const;
    // Charges the budget for drawing path with a pen penWidth wide; when it does not fit,
    // cuts path to what does and leaves the budget spent (with drawLater, to half of what
    // remains, the budget not spent: the path is drawn by a later record).
    void ChargePath(QPainterPath& path, double penWidth, bool drawLater = false);
    // The length of one repeat of the pen's dashes in device pixels; 0 for solid pens.
    static double DashPeriod(const QPen& pen);
    // Whether a stroke length pixels long by pen makes more dashes than the limit. Drawn
    // (not widened), a pen one pixel wide is dashed by the device as it draws, only where
    // it shows, and is left whole.
    bool ManyDashes(const QPen& pen, double length, bool widened = false) const;
    // How many points of dashed runs the budget can pay for at most.
    std::size_t DashPointsInBudget(bool drawLater = false) const;
    // Charges the budget for stroking runs by pen, its edges and its dashes; when they do
    // not fit, cuts runs to what does (as ChargePath does, drawLater alike).
    void ChargeDashRuns(std::vector<TDashRun>& runs, const QPen& pen, bool drawLater = false);
    // Charges for runs and strokes them, each with the phase of its dashes where it starts.
    void StrokeDashRuns(std::vector<TDashRun> runs, QPen pen);
    // Charges the budget for filling the visible part of a device rectangle (a unit for
    // every 16 pixels); false when it does not fit.
    bool ChargeArea(const QRectF& device);
    // Charges the budget for the pixels of a decoded bitmap; false when they do not fit.
    bool ChargeBitmap(const DibImage& dib);
    // Charges the budget for count glyphs em device pixels tall, filled as outlines or
    // drawn from bitmaps; how many of them fit.
    qsizetype ChargeGlyphs(qsizetype count, double em, bool outlines);

    // ---- Paths: paths and clipping ----
    bool InPath() const { return inPath_; }
    void AppendToPath(const QPainterPath& logicalPath, bool continueFigure);
    void ApplyClip();
    void UpdateDeviceClip();
    void BeginDraw();       // painter state for one drawing call (the clip)
    void EndDraw();
    void DrawClosedPath(bool fill, bool stroke);
    void CombineClip(const QRegion& rgn, std::uint32_t mode);
    // Region data at offset, size bytes as the record states them (cut to the record).
    QRegion ReadRegion(const TRecordView& r, std::size_t offset, std::uint32_t size,
                       const QTransform& xf);
    void FillDeviceRegion(const QRegion& rgn, const QBrush& brush);

    void OnBeginPath(const TRecordView& r);
    void OnEndPath(const TRecordView& r);
    void OnCloseFigure(const TRecordView& r);
    void OnAbortPath(const TRecordView& r);
    void OnFillPath(const TRecordView& r);
    void OnStrokeAndFillPath(const TRecordView& r);
    void OnStrokePath(const TRecordView& r);
    void OnFlattenPath(const TRecordView& r);
    void OnWidenPath(const TRecordView& r);
    void OnSelectClipPath(const TRecordView& r);
    void OnIntersectClipRect(const TRecordView& r);
    void OnExcludeClipRect(const TRecordView& r);
    void OnOffsetClipRgn(const TRecordView& r);
    void OnSetMetaRgn(const TRecordView& r);
    void OnExtSelectClipRgn(const TRecordView& r);
    void OnFillRgn(const TRecordView& r);
    void OnFrameRgn(const TRecordView& r);
    void OnInvertRgn(const TRecordView& r);
    void OnPaintRgn(const TRecordView& r);

    // ---- Text ----
    struct TRealizedFont {
        QFont Font;
        QRawFont Raw;
        double Ascent = 0, Descent = 0; // device pixels (logical units for RealizeLogicalFont)
        double StretchX = 1;
        double AngleDeg = 0;            // visual, counter-clockwise
        TSymbolFace Symbols = TSymbolFace::None; // codes drawn through SymbolCharacter
        QRawFont Pixels;                // the face on pixel devices (RealizePixelFace)
        TGlyphSmoothing Smoothing = TGlyphSmoothing::Grey; // on pixel devices
    };
    // One EMRTEXT of a text record.
    struct TTextRecord {
        QPointF Ref;
        std::uint32_t Count = 0, OffString = 0, Options = 0, OffDx = 0;
        TEmfRectL Rect;
    };
    // wholePixels: the text record's compatible graphics mode, where the font is realised
    // at a whole pixel size (see DrawText).
    const TRealizedFont& RealizeFont(bool wholePixels);
    static void RealizePixelFace(TRealizedFont& rf, int ppem, int quality);
    // The selected font at its size in logical units, unturned.
    const TRealizedFont& RealizeLogicalFont();
    bool ReadTextString(const TRecordView& r, const TTextRecord& t, bool wide, const TRealizedFont& rf,
                        QString& text, QVector<quint32>& glyphs);
    bool ReadTextAdvances(const TRecordView& r, const TTextRecord& t, qsizetype count,
                          std::vector<double>& dx, std::vector<double>& dy);
    void DrawText(const TRecordView& r, std::size_t emrText, bool wide, std::uint32_t gm,
                  double exScale, double eyScale);
    // Text of the advanced graphics mode under a transform that stretches, shears or
    // mirrors: laid out in logical units and drawn through the whole transform.
    void DrawMappedText(const TRecordView& r, const TTextRecord& t, bool wide);
    void DrawPolyText(const TRecordView& r, bool wide);

    void OnExtTextOutA(const TRecordView& r);
    void OnExtTextOutW(const TRecordView& r);
    void OnPolyTextOutA(const TRecordView& r);
    void OnPolyTextOutW(const TRecordView& r);

    // ---- Bitmaps ----
    void Blit(const TRecordView& r, QRectF destLogical, std::uint32_t rop,
              std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
              std::uint32_t cbBits, std::uint32_t usage, QRectF srcRect,
              std::uint32_t scanLines = 0);
    void DrawBlt(const TRecordView& r, bool stretch);
    // Runs draw with the painter in the logical units of the picture (the clip applied),
    // once the budget is charged for filling dest (logical units).
    template <typename Draw> void DrawInLogicalUnits(const QRectF& dest, Draw&& draw);

    void OnBitBlt(const TRecordView& r);
    void OnStretchBlt(const TRecordView& r);
    void OnMaskBlt(const TRecordView& r);
    void OnSetDIBitsToDevice(const TRecordView& r);
    void OnStretchDIBits(const TRecordView& r);
    void OnAlphaBlend(const TRecordView& r);
    void OnTransparentBlt(const TRecordView& r);
    void OnCreateMonoBrush(const TRecordView& r);
    void OnCreateDibPatternBrush(const TRecordView& r);

    // ---- records without an effect here (EmfPlayback.cpp) ----
    void OnHeader(const TRecordView&) {}
    void OnIgnore(const TRecordView&) {}

    QPainter& p_;
    bool rasterOps_ = false; // the device composes binary raster operations itself
    TPixelGlyphs pixelGlyphs_; // glyphs on pixel devices
    QRect visible_;          // device pixels that can show
    double visibleDiagonal_ = 0;
    TDrawBudget budget_;
    double dashLimit_ = kManyDashes;
    TEmfHeaderInfo header_;
    QTransform init_;        // reference device pixels -> target device
    std::optional<QPainterPath> baseClip_; // the painter's own clip, in device pixels
    TDcState dc_;
    std::vector<TDcState> saved_;
    std::vector<TObjectRef> objects_;
    QTransform xf_;
    bool xfDirty_ = true;
    bool clipDirty_ = true;
    // The painter's clip as a region of device pixels, for drawing that bypasses the
    // painter: known unless the painter's own clip is not a whole-pixel rectangle.
    bool deviceClipStale_ = true;
    bool deviceClipKnown_ = true;
    std::optional<QRegion> deviceClip_;

    // Path bracket, in target device coordinates.
    bool inPath_ = false;
    QPainterPath path_;
    bool pathHasFigure_ = false;
    bool pathCharged_ = false; // path_ was widened, its drawing charged then

    std::unordered_map<std::string, TRealizedFont> fontCache_;
    TObjectRef realizedFor_; // held so that its address is not reused while cached
    TRealizedFont* realized_ = nullptr;
    bool realizedWhole_ = false;
    QTransform realizedXf_;
};

} // namespace qrp::emf
