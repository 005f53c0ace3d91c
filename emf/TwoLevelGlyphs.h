#pragma once
// Two-level glyphs laid on 32-bit page images by the player itself. The raster engine
// draws such glyphs with masked stores that bypass the processor's cache, which made
// pages of small table text slower than smoothed text; here each glyph is drawn once by
// the engine into a mask (so its shape and place are the engine's own) and copied onto
// the page with plain stores wherever it is used again.

#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegion>
#include <QString>
#include <QRgb>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class QGlyphRun;

class TTwoLevelGlyphs {
public:
    // Draws run (positions in the painter's world coordinates, font without smoothing) in
    // the opaque colour, inside clip (device pixels; nullptr: the painter does not clip).
    // Returns false, having drawn nothing, where the painter's state is not one this
    // copies exactly (not a 32-bit image, a transform other than a shift, another
    // composition mode, partial opacity or colour); the caller then lets the painter draw.
    bool Draw(QPainter& p, const QGlyphRun& run, QRgb color, const QRegion* clip);

private:
    struct TMask {
        int Left = 0, Top = 0, Width = 0, Height = 0; // from the glyph's origin pixel
        std::vector<std::uint8_t> Bits;                // Width x Height, 1 where inked
        bool Valid = false;
    };
    // A face at one size, known by what the glyphs' shapes depend on (no handle to the
    // font is kept, so masks outlive any font and the toolkit).
    struct TFaceKey {
        QString Family, Style;
        double PixelSize = 0;
        int Weight = 0, Italic = 0;
        bool operator==(const TFaceKey&) const = default;
    };
    struct TFace {
        TFaceKey Key;
        std::unordered_map<quint32, TMask> Glyphs;
    };
    struct TCache {
        std::vector<TFace> Faces; // most recently used first
        std::size_t Bytes = 0;
    };

    // Where missing masks are drawn, made on the first one a run lacks.
    struct TScratch {
        QImage Image;
        std::unique_ptr<QPainter> Painter;
        ~TScratch();
    };

    static TCache& Cache();
    static TFace& FaceFor(TCache& cache, const QRawFont& face);
    static const TMask& MaskFor(TCache& cache, TFace& face, const QRawFont& font, quint32 glyph, TScratch& scratch);
};
