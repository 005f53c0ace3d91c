#pragma once
// The paint engine of the metafile canvas: turns what a QPainter draws into EMF
// records. Logical units of the recorded picture are pixels of the reference device
// (MM_TEXT); the painter's transform is applied to coordinates here, except for text
// and images under rotation or shear, which are recorded under a world transform.
//
// EmfPaintEngine.cpp keeps the page, the painter's state, the clip and the mapping; what is
// drawn is recorded by EmfPaintEngineObjects.cpp (pens, brushes, fonts),
// EmfPaintEngineShapes.cpp, EmfPaintEngineImages.cpp and EmfPaintEngineText.cpp.
#include "emf/EmfWriter.h"

#include <QBrush>
#include <QFont>
#include <QPaintEngine>
#include <QPen>
#include <QRegion>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

class QPaintDevice;

namespace qrp {

class TEmfPaintEngine : public QPaintEngine {
public:
    // A page of width x height device pixels at ppi pixels per inch.
    TEmfPaintEngine(int width, int height, int ppi);
    ~TEmfPaintEngine() override;

    bool begin(QPaintDevice* device) override;
    bool end() override;
    void updateState(const QPaintEngineState& state) override;

    void drawRects(const QRectF* rects, int count) override;
    void drawRects(const QRect* rects, int count) override;
    void drawLines(const QLineF* lines, int count) override;
    void drawLines(const QLine* lines, int count) override;
    void drawEllipse(const QRectF& rect) override;
    void drawEllipse(const QRect& rect) override;
    void drawPath(const QPainterPath& path) override;
    void drawPoints(const QPointF* points, int count) override;
    void drawPoints(const QPoint* points, int count) override;
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override;
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override;
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags flags = Qt::AutoColor) override;
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override;

    Type type() const override { return QPaintEngine::User; }

    // Writes the end-of-file record and hands out the finished image. Drawing after
    // this is ignored.
    std::vector<std::uint8_t> Finish();
    bool Finished() const { return finished_; }

    // The header frame (0.01 mm) recorded for a page of that size.
    static TEmfRectL FrameFor(int width, int height, int ppi);

private:
    struct TPenKey {
        bool Null = true;
        bool Cosmetic = true;
        std::uint32_t Style = 0, Width = 0, Color = 0;
        std::vector<std::uint32_t> Dashes;
        bool operator==(const TPenKey&) const = default;
    };
    struct TBrushKey {
        enum TKind { KNull, KSolid, KHatch, KPattern } Kind = KNull;
        std::uint32_t Color = 0, Hatch = 0;
        qint64 PatternKey = 0; // cache key of the pattern image
        bool operator==(const TBrushKey&) const = default;
    };

    // Whole device units: NaN and infinities give 0, huge values are clamped.
    static std::int32_t Round(qreal v)
    {
        if (!std::isfinite(v))
            return 0;
        const qreal c = std::clamp<qreal>(v, -1e9, 1e9);
        return std::int32_t(std::lround(c));
    }
    // A DIB of the image's pixels: 24 bits per pixel, bottom-up rows.
    static emf::TDib Dib24(const QImage& source);

    emf::TPointL Map(const QPointF& p) const;
    bool AxisAligned() const;
    bool TranslationOnly() const;
    // Device rectangle of a logical one (bounding box under the transform), inclusive.
    TEmfRectL DeviceBounds(const QRectF& logical) const;
    // Text and images under rotation or shear are recorded under the painter's transform
    // as world transform, which is reset to identity after them.
    void RecordWorldTransform();
    void ResetWorldTransform();
    // Starts recording a drawing call: it ends the decorations QPainter draws after a text
    // item, and the clip is recorded when it changed. False when nothing is recorded.
    bool BeginShape(bool nothingToDraw);

    TPenKey PenKeyFor(const QPen& pen) const;
    TBrushKey BrushKeyFor(const QBrush& brush);
    void SelectPen();
    void SelectBrush();
    void SelectFontFor(const QFont& font);
    void SelectNullPen();
    void SelectNullBrush();
    void SetFillMode(Qt::FillRule rule);
    void SetTextColor(std::uint32_t color);
    bool HasPen() const { return !penKey_.Null; }
    bool HasBrush() const;

    void ApplyClip();
    void ClipChanged(const QPaintEngineState& state);
    void EmitPathElements(const QPainterPath& path);
    void DrawImageDevice(const QRectF& r, const QImage& image, const QRectF& sr);

    int width_, height_, ppi_;
    std::unique_ptr<emf::TEmfWriter> writer_;
    bool finished_ = false;
    QPaintDevice* device_ = nullptr;

    // What the painter asks for.
    QPen pen_;
    QBrush brush_;
    QFont font_;
    QTransform transform_;
    Qt::BGMode bgMode_ = Qt::TransparentMode;
    QColor bgColor_ = Qt::white;
    std::optional<QRegion> clip_; // device pixels; none: unclipped

    // What the recorded device context holds.
    TPenKey penKey_;           // the selected pen (initially the stock black pen)
    std::uint32_t penHandle_ = 0;
    bool penIsStockNull_ = false;
    TBrushKey brushKey_;
    std::uint32_t brushHandle_ = 0;
    bool brushIsStock_ = true;
    std::uint32_t fontHandle_ = 0;
    emf::TEmfWriter::TLogFont fontKey_;
    std::uint32_t textColor_ = 0;
    std::uint32_t fillMode_ = 1;
    bool textAlignSet_ = false;
    bool stretchModeSet_ = false;
    // Lines QPainter draws right after a text item for its underline and strike-out;
    // the recorded font carries those, so the lines are not recorded again.
    int pendingDecorations_ = 0;
    bool clipRecorded_ = false;
    std::optional<QRegion> recordedClip_;
};

} // namespace qrp
