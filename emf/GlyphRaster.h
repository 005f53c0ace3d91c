#pragma once
// How glyphs come out on pixel devices: the face's own table of sizes decides, size by
// size, between two-level glyphs fitted to the pixel grid and glyphs smoothed in
// seventeen levels of grey, whose levels are spread over the page as GDI spreads them
// (a half-covered pixel of black text is light grey, not mid grey).

#include <QColor>
#include <QImage>
#include <QRgb>

#include "TwoLevelGlyphs.h"

#include <array>
#include <memory>

class QGlyphRun;
class QPainter;
class QRawFont;
class QRegion;

enum class TGlyphSmoothing { TwoLevel, Grey };

// The smoothing the face asks for at ppem pixels per em ("gasp" table; smoothed at every
// size when the face has none), unless the logical font's quality (lfQuality) asks for
// one. Glyphs are fitted to the pixel grid either way, as GDI fits them.
TGlyphSmoothing GlyphSmoothingFor(const QRawFont& face, int ppem, int quality);

// Draws glyph runs on a raster painter as GDI draws them. Smoothed runs are drawn into a
// scratch image kept (with its painter) from run to run, their coverage spread over GDI's
// levels, and laid on the page in the text colour.
class TPixelGlyphs {
public:
    TPixelGlyphs();
    ~TPixelGlyphs();
    TPixelGlyphs(const TPixelGlyphs&) = delete;
    TPixelGlyphs& operator=(const TPixelGlyphs&) = delete;

    // run at the painter's current transform, in color. clip: the painter's clip in device
    // pixels where it is known (nullptr: none, or not known).
    void Draw(QPainter& p, const QGlyphRun& run, const QColor& color, TGlyphSmoothing smoothing,
              const QRegion* clip = nullptr);

private:
    void FitScratch(int w, int h);
    const std::array<QRgb, 256>& InkFor(QRgb color);

    QImage scratch_;
    std::unique_ptr<QPainter> scratchPainter_;
    std::array<QRgb, 256> ink_{};
    QRgb inkColor_ = 0;
    bool inkValid_ = false;
    TTwoLevelGlyphs twoLevel_;
};
