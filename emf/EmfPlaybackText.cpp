// Text records: fonts realised at their device size and glyphs placed where GDI places
// them (alignment, dx arrays, escapement, background).
#include "emf/EmfPlayback.h"
#include "emf/EmfPlaybackSupport.h"
#include "emf/EmfText.h"
#include "emf/FontMapping.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace qrp::emf {

namespace {

// On pixel devices glyphs up to this many pixels per em are drawn from bitmaps, larger
// ones as outlines.
constexpr int kLargestCachedGlyph = 256;
// Glyphs up to this many pixels per em are drawn through TPixelGlyphs, as GDI draws them.
// Larger ones are smoothed by the raster engine itself: GDI's grey levels would change only
// the edge pixels of stems several pixels wide, and making them costs time in proportion
// to the area of the run, which at zoom is most of the page.
constexpr int kLargestLeveledGlyph = 32;

// Pixel devices (images, widgets) rasterise glyphs through a cache of bitmaps, one per
// glyph and size; above the cached size outlines are cheaper. Every other device (PDF,
// printers, the recording canvas) keeps text as text, with its font, at any size.
bool FillsLargeGlyphs(const QPainter& p)
{
    const QPaintEngine* engine = p.paintEngine();
    if (!engine)
        return false;
    const QPaintEngine::Type type = engine->type();
    return type == QPaintEngine::Raster || type == QPaintEngine::OpenGL || type == QPaintEngine::OpenGL2;
}

// Windows-1252 bytes of the ANSI text records.
QString FromAnsi(const std::uint8_t* s, std::size_t n)
{
    static const char16_t high[32] = {
        0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178};
    QString out;
    out.reserve(qsizetype(n));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = s[i];
        out.append(c >= 0x80 && c < 0xA0 ? QChar(high[c - 0x80]) : QChar(c));
    }
    return out;
}

// Whether a glyph at (x, y) of text space, advancing by advance, may touch the visible
// rectangle vt of text space: reachX and reachY bound how far its outline goes from its
// origin.
bool GlyphMayShow(double x, double y, double advance, const QRectF& vt, double reachX, double reachY)
{
    const double lo = x + std::min(0.0, advance) - reachX, hi = x + std::max(0.0, advance) + reachX;
    return hi >= vt.left() && lo <= vt.right() && y + reachY >= vt.top() && y - reachY <= vt.bottom();
}

// The design advances of glyphs, each distinct glyph measured once (a long string repeats
// a few glyphs many times).
QList<QPointF> GlyphAdvances(const QRawFont& raw, const QVector<quint32>& glyphs)
{
    if (glyphs.size() <= 64)
        return raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    std::unordered_map<quint32, QPointF> known;
    QList<QPointF> out;
    out.reserve(glyphs.size());
    for (const quint32 g : glyphs) {
        auto it = known.find(g);
        if (it == known.end()) {
            const QList<QPointF> one = raw.advancesForGlyphIndexes(QVector<quint32>{g}, QRawFont::UseDesignMetrics);
            it = known.emplace(g, one.isEmpty() ? QPointF() : one.first()).first;
        }
        out.append(it->second);
    }
    return out;
}

// The visible device rectangle in the text space of toDevice; the whole plane when that
// cannot be inverted.
QRectF VisibleInTextSpace(const QTransform& toDevice, const QRect& visible)
{
    bool ok = false;
    const QTransform back = toDevice.inverted(&ok);
    if (!ok)
        return QRectF(QPointF(-INFINITY, -INFINITY), QPointF(INFINITY, INFINITY));
    return back.mapRect(QRectF(visible));
}

std::string FaceKey(const QString& family, int weight, bool italic)
{
    return family.toStdString() + '|' + std::to_string(weight) + '|' + (italic ? "i" : "r");
}

// The face at 1000 pixels per em, the size its metrics are read at.
const QRawFont& ReferenceFace(const QString& family, int weight, bool italic)
{
    static std::unordered_map<std::string, QRawFont> faces;
    const std::string key = FaceKey(family, weight, italic);
    auto it = faces.find(key);
    if (it == faces.end()) {
        QFont probe(family);
        probe.setPixelSize(1000);
        probe.setWeight(QFont::Weight(weight));
        probe.setItalic(italic);
        probe.setHintingPreference(QFont::PreferNoHinting);
        probe.setKerning(false);
        it = faces.emplace(key, QRawFont::fromFont(probe)).first;
    }
    return it->second;
}

// The em size of a cell height: the face's ascent plus descent per em.
double CellPerEm(const QString& family, int weight, bool italic)
{
    static std::unordered_map<std::string, double> cellPerEm;
    const std::string key = FaceKey(family, weight, italic);
    auto it = cellPerEm.find(key);
    if (it == cellPerEm.end()) {
        const QRawFont& raw = ReferenceFace(family, weight, italic);
        const double ratio = raw.isValid() ? (raw.ascent() + raw.descent()) / 1000.0 : 1.15;
        it = cellPerEm.emplace(key, ratio > 0.5 && ratio < 3 ? ratio : 1.15).first;
    }
    return it->second;
}

} // namespace

// The string of an EMRTEXT: characters, or glyph indices with ETO_GLYPH_INDEX. Codes of a
// replaced symbol face become glyphs of the family drawing it, the character each stands
// for, or the missing glyph where it stands for none.
bool TEmfPlayback::ReadTextString(const TRecordView& r, const TTextRecord& t, bool wide,
                                  const TRealizedFont& rf, QString& text, QVector<quint32>& glyphs)
{
    if (t.Count == 0 || !r.HasArray(t.OffString, t.Count, wide ? 2 : 1))
        return false;
    const std::uint32_t n = t.Count;
    auto code = [&](std::uint32_t i) -> char16_t {
        return wide ? static_cast<char16_t>(r.U16(t.OffString + i * 2)) : char16_t(r.U8(t.OffString + i));
    };
    if (t.Options & ETO_GLYPH_INDEX) {
        glyphs.resize(qsizetype(n));
        for (std::uint32_t i = 0; i < n; ++i)
            glyphs[i] = code(i);
    } else if (rf.Symbols != TSymbolFace::None) {
        glyphs.resize(qsizetype(n));
        for (std::uint32_t i = 0; i < n; ++i) {
            const char32_t c = SymbolCharacter(rf.Symbols, code(i));
            const QList<quint32> g = c != 0 && rf.Raw.isValid() ? rf.Raw.glyphIndexesForString(QString::fromUcs4(&c, 1))
                                                               : QList<quint32>();
            glyphs[i] = g.size() == 1 ? g[0] : 0;
        }
    } else if (wide) {
        std::u16string s(n, u'\0');
        for (std::uint32_t i = 0; i < n; ++i)
            s[i] = code(i);
        text = QString::fromUtf16(s.data(), qsizetype(n));
    } else {
        text = FromAnsi(r.Bytes(t.OffString, n), n);
    }
    return true;
}

// The record's dx array (and dy with ETO_PDY), in logical units; false when it has none.
bool TEmfPlayback::ReadTextAdvances(const TRecordView& r, const TTextRecord& t, qsizetype count,
                                    std::vector<double>& dx, std::vector<double>& dy)
{
    const bool pdy = (t.Options & ETO_PDY) != 0;
    if (t.OffDx == 0 || !r.HasArray(t.OffDx, std::size_t(t.Count) * (pdy ? 2 : 1), 4))
        return false;
    dx.assign(std::size_t(count), 0.0);
    dy.assign(std::size_t(count), 0.0);
    for (qsizetype i = 0; i < count && std::uint32_t(i) < t.Count; ++i) {
        dx[std::size_t(i)] = r.I32(t.OffDx + std::size_t(i) * (pdy ? 8 : 4));
        if (pdy)
            dy[std::size_t(i)] = r.I32(t.OffDx + std::size_t(i) * 8 + 4);
    }
    return true;
}

// The face glyphs are drawn with on pixel devices: fitted to the pixel grid, two-level
// or smoothed as the face asks at this size (a narrowed or widened font is scaled across
// after the fitting, by the painter, as GDI scales it).
void TEmfPlayback::RealizePixelFace(TRealizedFont& rf, int ppem, int quality)
{
    rf.Smoothing = GlyphSmoothingFor(rf.Raw, ppem, quality);
    QFont pixels = rf.Font;
    pixels.setHintingPreference(QFont::PreferFullHinting);
    if (rf.Smoothing == TGlyphSmoothing::TwoLevel)
        pixels.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    rf.Pixels = QRawFont::fromFont(pixels);
}

const TEmfPlayback::TRealizedFont& TEmfPlayback::RealizeFont(bool wholePixels)
{
    const TGdiObject* obj = dc_.Font.get();
    const TObjectRef holder = dc_.Font;
    const QTransform& t = Xf();
    if (realized_ && realizedFor_.get() == obj && realizedWhole_ == wholePixels && realizedXf_.m11() == t.m11()
        && realizedXf_.m12() == t.m12() && realizedXf_.m21() == t.m21() && realizedXf_.m22() == t.m22())
        return *realized_;
    static const TLogFont fallback{};
    const TLogFont& lf = obj ? obj->LogFont : fallback;
    const QString family = MappedFamily(lf.Face, lf.PitchAndFamily, lf.CharSet);
    const double sy = ScaleY();
    const int weight = lf.Weight <= 0 ? 400 : std::clamp<int>(lf.Weight, 1, 1000);

    // Cell height (positive) or character height (negative), in device pixels. In the
    // compatible graphics mode GDI scales the logical height by the single-precision
    // vertical scale and drops the fraction, so the font is a whole pixel size smaller
    // than the exact one more often than not.
    double h = (lf.Height == 0 ? 16.0 : std::fabs(double(lf.Height))) * sy;
    if (wholePixels && lf.Height != 0)
        h = std::max(1.0, std::floor(std::fabs(double(lf.Height)) * double(float(sy)) + 1e-9));
    std::string key = FaceKey(family, weight, lf.Italic);
    double em = h;
    if (lf.Height >= 0) {
        em = h / CellPerEm(family, weight, lf.Italic);
        if (wholePixels)
            em = std::floor(em + 1e-9);
    }
    const int emPx = std::clamp(int(std::lround(std::min(em, 1.0e5))), 1, 20000);
    // Escapement turns counter-clockwise in logical space; under a mapping that flips
    // one axis that is clockwise on the device.
    double angle;
    {
        const QPointF v = t.map(QPointF(1, 0)) - t.map(QPointF(0, 0));
        const double esc = lf.Escapement / 10.0;
        angle = std::atan2(-v.y(), v.x()) * 180.0 / M_PI + (t.determinant() < 0 ? -esc : esc);
        angle = std::fmod(angle, 360.0);
    }
    key += '|' + std::to_string(emPx) + '|' + std::to_string(lf.Quality) + '|' + std::to_string(lf.Width) + '|' + std::to_string(sy)
           + '|' + std::to_string(angle) + (lf.Underline ? "u" : "") + (lf.StrikeOut ? "s" : "");
    auto it = fontCache_.find(key);
    if (it == fontCache_.end()) {
        if (fontCache_.size() > 256)
            fontCache_.clear();
        TRealizedFont rf;
        rf.Font = QFont(family);
        rf.Font.setPixelSize(emPx);
        rf.Font.setWeight(QFont::Weight(weight));
        rf.Font.setItalic(lf.Italic);
        rf.Font.setUnderline(lf.Underline);
        rf.Font.setStrikeOut(lf.StrikeOut);
        rf.Font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::PreferMatch));
        rf.Font.setHintingPreference(QFont::PreferNoHinting);
        rf.Font.setKerning(false);
        rf.Raw = QRawFont::fromFont(rf.Font);
        if (rf.Raw.isValid()) {
            rf.Ascent = rf.Raw.ascent();
            rf.Descent = rf.Raw.descent();
        } else {
            rf.Ascent = emPx * 0.9;
            rf.Descent = emPx * 0.2;
        }
        if (lf.Width != 0 && rf.Raw.isValid()) {
            // GDI scales the face across by the width asked over its average character
            // width as its text metrics give it: a whole number of pixels.
            const double avg = std::max(1.0, std::floor(rf.Raw.averageCharWidth() + 0.5));
            const double want = std::fabs(double(lf.Width)) * ScaleX();
            if (avg > 0)
                rf.StretchX = std::clamp(want / avg, 0.05, 20.0);
        }
        if (rf.Raw.isValid() && emPx <= kLargestLeveledGlyph && FillsLargeGlyphs(p_))
            RealizePixelFace(rf, emPx, lf.Quality);
        rf.AngleDeg = angle;
        rf.Symbols = ReplacedSymbolFace(lf.Face);
        it = fontCache_.emplace(key, std::move(rf)).first;
    }
    realized_ = &it->second;
    realizedWhole_ = wholePixels;
    realizedFor_ = holder;
    realizedXf_ = t;
    return *realized_;
}

// One EMRTEXT at emrText: reference point, count, string offset, options, rectangle and
// dx offset.
void TEmfPlayback::DrawText(const TRecordView& r, std::size_t emrText, bool wide, std::uint32_t gm,
                            double, double)
{
    if (!r.Has(emrText, 40))
        return;
    TTextRecord t;
    t.Ref = QPointF(r.I32(emrText), r.I32(emrText + 4));
    t.Count = r.U32(emrText + 8);
    t.OffString = r.U32(emrText + 12);
    t.Options = r.U32(emrText + 16);
    t.Rect = r.RectL(emrText + 20);
    t.OffDx = r.U32(emrText + 36);
    const QTransform& xf = Xf();
    // A picture fitted to an area of slightly other proportions scales its axes alike to
    // within a pixel in a hundred: its text is drawn as under a plain scale, at whole
    // pixel sizes, as GDI draws it.
    const bool plainScale = xf.m12() == 0 && xf.m21() == 0 && xf.m11() * xf.m22() > 0
                            && std::fabs(xf.m11() - xf.m22()) <= 0.01 * std::fabs(xf.m22());
    if (gm == GM_ADVANCED && !plainScale) {
        DrawMappedText(r, t, wide);
        return;
    }
    const std::uint32_t options = t.Options;
    const bool hasRect = !(options & ETO_NO_RECT);
    const QRect clipRect = DeviceRect(t.Rect);

    BeginDraw();
    if ((options & ETO_OPAQUE) && hasRect && clipRect.width() > 0 && clipRect.height() > 0)
        p_.fillRect(clipRect, dc_.BkColor);

    // GDI realises fonts at whole pixel sizes in the compatible graphics mode, and in the
    // advanced one when the transform scales both axes alike.
    const bool wholePixels = gm != GM_ADVANCED || plainScale;
    const TRealizedFont& rf = RealizeFont(wholePixels);
    QString text;
    QVector<quint32> glyphs;
    if (!ReadTextString(r, t, wide, rf, text, glyphs))
        return;
    const bool glyphIndices = text.isEmpty();
    const qsizetype count = glyphIndices ? glyphs.size() : text.size();

    // Advances along the baseline, in device pixels.
    const double sx = ScaleX();
    std::vector<double> adv(std::size_t(count), 0.0), advY(std::size_t(count), 0.0);
    std::vector<double> dxLogical, dyLogical;
    const bool hasDx = ReadTextAdvances(r, t, count, dxLogical, dyLogical);
    bool missingGlyph = false;
    if (!glyphIndices && rf.Raw.isValid()) {
        glyphs = rf.Raw.glyphIndexesForString(text);
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            if (glyphs[i] == 0 && !text[i].isSpace())
                missingGlyph = true;
    }
    double widthLogical = 0;
    if (hasDx) {
        for (qsizetype i = 0; i < count; ++i) {
            widthLogical += dxLogical[i];
            adv[i] = dxLogical[i] * sx;
            advY[i] = dyLogical[i] * ScaleY();
        }
    } else if (rf.Raw.isValid() && glyphs.size() == count) {
        const QList<QPointF> a = GlyphAdvances(rf.Raw, glyphs);
        for (qsizetype i = 0; i < count && i < a.size(); ++i)
            adv[i] = std::round(a[i].x()) * rf.StretchX;
        double w = 0;
        for (double v : adv)
            w += v;
        widthLogical = sx > 0 ? w / sx : 0;
    }
    double width = 0;
    for (double v : adv)
        width += v;

    QPointF start = t.Ref;
    if (dc_.TextAlign & TA_UPDATECP)
        start = dc_.CurPos;
    QPointF origin = Xf().map(start);
    // Whole-pixel fonts are placed as GDI places them: the reference point on a whole
    // device pixel; the cell's ascent or descent, a whole number of device pixels, is
    // taken to logical units (rounded) and mapped back as the distance between two
    // mapped and rounded points, so it depends on where the logical origin falls.
    const bool snapped = wholePixels && rf.AngleDeg == 0 && xf.m12() == 0 && xf.m21() == 0 && xf.m22() != 0;
    if (snapped)
        origin = QPointF(std::round(origin.x()), std::round(origin.y()));
    // GDI places each glyph at the device point of its running logical offset, taken from
    // the logical origin and rounded there: advances are whole pixels whose rounding does
    // not drift along the string. The whole width is known from the total; the advances
    // are worked out only for a string that may show.
    const bool gdiOffsets = snapped && hasDx;
    const double baseX = std::floor(xf.dx() + 0.5), baseY = std::floor(xf.dy() + 0.5);
    const double signX = xf.m11() < 0 ? -1 : 1, signY = xf.m22() < 0 ? -1 : 1;
    if (gdiOffsets)
        width = signX * (std::floor(xf.m11() * widthLogical + xf.dx() + 0.5) - baseX);
    auto placeGlyphs = [&] {
        bool anyDy = false;
        for (double d : dyLogical)
            anyDy = anyDy || d != 0;
        double cumX = 0, cumY = 0, atX = 0, atY = 0;
        for (qsizetype i = 0; i < count; ++i) {
            cumX += dxLogical[std::size_t(i)];
            const double nextX = signX * (std::floor(xf.m11() * cumX + xf.dx() + 0.5) - baseX);
            adv[std::size_t(i)] = nextX - atX;
            atX = nextX;
            if (anyDy) {
                cumY += dyLogical[std::size_t(i)];
                const double nextY = signY * (std::floor(xf.m22() * cumY + xf.dy() + 0.5) - baseY);
                advY[std::size_t(i)] = nextY - atY;
                atY = nextY;
            }
        }
    };
    auto throughLogical = [&](double device) {
        if (!snapped)
            return device;
        const double sy = std::fabs(xf.m22());
        const double logical = std::round(std::round(device) / sy);
        return std::fabs(std::round(xf.dy() + logical * xf.m22()) - std::round(xf.dy()));
    };

    double ox = 0;
    const std::uint32_t h = dc_.TextAlign & TA_CENTER;
    if (h == TA_CENTER)
        ox = -width / 2;
    else if (h == TA_RIGHT)
        ox = -width;
    double oy = 0;
    const std::uint32_t v = dc_.TextAlign & TA_BASELINE;
    if (v == TA_BASELINE)
        oy = 0;
    else if (v == TA_BOTTOM)
        oy = -throughLogical(rf.Descent);
    else
        oy = throughLogical(rf.Ascent);

    if (dc_.TextAlign & TA_UPDATECP) {
        if (h == TA_RIGHT)
            dc_.CurPos.rx() -= widthLogical;
        else if (h != TA_CENTER)
            dc_.CurPos.rx() += widthLogical;
    }

    // Text space: origin at the reference point, x along the baseline, y downwards.
    QTransform ts;
    ts.translate(Clamp(origin.x()), Clamp(origin.y()));
    ts.rotate(-rf.AngleDeg);

    p_.save();
    if ((options & ETO_CLIPPED) && hasRect) {
        p_.setWorldTransform(QTransform());
        p_.setClipRect(clipRect, p_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    p_.setWorldTransform(ts);
    if (dc_.BkMode == OPAQUE && !(options & ETO_OPAQUE))
        p_.fillRect(QRectF(ox, oy - rf.Ascent, width, rf.Ascent + rf.Descent), dc_.BkColor);

    // Glyphs are drawn in the text colour whatever the binary raster operation: it
    // applies to pens and brushes only.
    const QColor textColor = dc_.TextColor;
    p_.setPen(textColor);
    // Only glyphs that may touch the visible pixels are laid out and drawn.
    const double em = rf.Font.pixelSize();
    const QRectF shownArea = VisibleInTextSpace(ts, visible_);
    const double reachX = 2 * em * std::max(1.0, rf.StretchX);
    const double reachY = 2 * std::max(em, rf.Ascent + rf.Descent);
    if (gdiOffsets) {
        double spanY = 0;
        for (double d : advY)
            spanY += std::fabs(d);
        const QRectF run(QPointF(std::min(ox, ox + width) - reachX, oy - spanY - reachY),
                         QPointF(std::max(ox, ox + width) + reachX, oy + spanY + reachY));
        if (shownArea.intersects(run))
            placeGlyphs();
    }
    if (rf.Raw.isValid() && !missingGlyph && glyphs.size() == count) {
        QList<QPointF> pos;
        QVector<quint32> shown;
        // Most runs lie wholly in view: then every glyph is kept without a test.
        double spanX = 0, spanY = 0;
        for (qsizetype i = 0; i < count; ++i) {
            spanX += std::fabs(adv[i]);
            spanY += std::fabs(advY[i]);
        }
        const bool allShow = shownArea.contains(
            QRectF(QPointF(ox - spanX - reachX, oy - spanY - reachY), QPointF(ox + spanX + reachX, oy + spanY + reachY)));
        if (allShow) {
            shown = glyphs;
            pos.reserve(count);
        }
        double x = ox, y = oy;
        for (qsizetype i = 0; i < count; ++i) {
            if (allShow) {
                pos.append(QPointF(x / rf.StretchX, y));
            } else if (GlyphMayShow(x, y, adv[i], shownArea, reachX, reachY)) {
                pos.append(QPointF(x / rf.StretchX, y));
                shown.append(glyphs[i]);
            }
            x += adv[i];
            y -= advY[i];
        }
        const qsizetype fit = ChargeGlyphs(shown.size(), em, em > kLargestCachedGlyph && FillsLargeGlyphs(p_));
        pos.resize(fit);
        shown.resize(fit);
        QGlyphRun run;
        run.setRawFont(rf.Raw);
        run.setGlyphIndexes(shown);
        run.setPositions(pos);
        if (rf.StretchX != 1)
            p_.setWorldTransform(QTransform::fromScale(rf.StretchX, 1) * ts);
        if (rf.Pixels.isValid() && rf.Font.pixelSize() <= kLargestLeveledGlyph && FillsLargeGlyphs(p_)) {
            run.setRawFont(rf.Pixels);
            std::optional<QRegion> clip;
            if (deviceClipStale_)
                UpdateDeviceClip();
            if (deviceClipKnown_) {
                clip = deviceClip_;
                if ((options & ETO_CLIPPED) && hasRect)
                    clip = clip ? (*clip & clipRect) : QRegion(clipRect);
            }
            pixelGlyphs_.Draw(p_, run, textColor, rf.Smoothing, clip ? &*clip : nullptr);
        } else if (rf.Font.pixelSize() <= kLargestCachedGlyph || !FillsLargeGlyphs(p_)) {
            p_.drawGlyphRun(QPointF(0, 0), run);
        } else {
            // Large glyphs are filled as outlines: the cost is that of the part shown,
            // not of a bitmap per glyph.
            QPainterPath outlines;
            for (qsizetype i = 0; i < shown.size(); ++i)
                outlines.addPath(rf.Raw.pathForGlyph(shown[i]).translated(pos[i]));
            p_.fillPath(outlines, textColor);
        }
        p_.setWorldTransform(ts);
        if (rf.Font.underline() || rf.Font.strikeOut()) {
            const double th = std::max(1.0, std::round(rf.Raw.lineThickness()));
            if (rf.Font.underline())
                p_.fillRect(QRectF(ox, oy + std::max(1.0, std::round(rf.Raw.underlinePosition())), width, th),
                            textColor);
            if (rf.Font.strikeOut())
                p_.fillRect(QRectF(ox, oy - std::round(rf.Raw.xHeight() / 2), width, th),
                            textColor);
        }
    } else if (!text.isEmpty()) {
        // Characters the face lacks: let Qt find them in another face, one by one.
        p_.setFont(rf.Font);
        const QFontMetricsF metrics(rf.Font);
        const bool large = rf.Font.pixelSize() > kLargestCachedGlyph && FillsLargeGlyphs(p_);
        QPainterPath outlines;
        double x = ox, y = oy;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const double advance = hasDx ? adv[i] : metrics.horizontalAdvance(text[i]);
            if (GlyphMayShow(x, y, advance, shownArea, reachX, reachY)) {
                if (ChargeGlyphs(1, em, large) < 1)
                    break;
                if (large)
                    outlines.addText(QPointF(x, y), rf.Font, QString(text[i]));
                else
                    p_.drawText(QPointF(x, y), QString(text[i]));
            }
            x += advance;
            y -= advY[i];
        }
        if (large)
            p_.fillPath(outlines, textColor);
    }
    p_.restore();
    clipDirty_ = clipDirty_ || ((options & ETO_CLIPPED) && hasRect);
}

const TEmfPlayback::TRealizedFont& TEmfPlayback::RealizeLogicalFont()
{
    static const TLogFont fallback{};
    const TLogFont& lf = dc_.Font ? dc_.Font->LogFont : fallback;
    const QString family = MappedFamily(lf.Face, lf.PitchAndFamily, lf.CharSet);
    const int weight = lf.Weight <= 0 ? 400 : std::clamp<int>(lf.Weight, 1, 1000);
    const double cell = lf.Height == 0 ? 16.0 : std::fabs(double(lf.Height));
    const double em = std::clamp(lf.Height < 0 ? cell : cell / CellPerEm(family, weight, lf.Italic), 1e-3, 1e6);
    const std::string key = "logical|" + FaceKey(family, weight, lf.Italic) + '|' + std::to_string(em) + '|'
                            + std::to_string(lf.Width) + (lf.Underline ? "u" : "") + (lf.StrikeOut ? "s" : "")
                            + '|' + lf.Face.toStdString();
    auto it = fontCache_.find(key);
    if (it != fontCache_.end())
        return it->second;
    if (fontCache_.size() > 256) {
        fontCache_.clear();
        realized_ = nullptr;
    }
    TRealizedFont rf;
    rf.Font = QFont(family);
    rf.Font.setPixelSize(256);
    rf.Font.setWeight(QFont::Weight(weight));
    rf.Font.setItalic(lf.Italic);
    rf.Font.setUnderline(lf.Underline);
    rf.Font.setStrikeOut(lf.StrikeOut);
    rf.Font.setHintingPreference(QFont::PreferNoHinting);
    rf.Font.setKerning(false);
    rf.Raw = QRawFont::fromFont(rf.Font);
    if (rf.Raw.isValid()) {
        rf.Raw.setPixelSize(em);
        rf.Ascent = rf.Raw.ascent();
        rf.Descent = rf.Raw.descent();
        if (lf.Width != 0 && rf.Raw.averageCharWidth() > 0)
            rf.StretchX = std::clamp(std::fabs(double(lf.Width)) / rf.Raw.averageCharWidth(), 0.05, 20.0);
    } else {
        rf.Ascent = em * 0.9;
        rf.Descent = em * 0.2;
    }
    rf.AngleDeg = lf.Escapement / 10.0;
    rf.Symbols = ReplacedSymbolFace(lf.Face);
    return fontCache_.emplace(key, std::move(rf)).first->second;
}

void TEmfPlayback::DrawMappedText(const TRecordView& r, const TTextRecord& t, bool wide)
{
    const QTransform xf = Xf();
    const bool hasRect = !(t.Options & ETO_NO_RECT);
    const QRectF rect = QRectF(QPointF(t.Rect.Left, t.Rect.Top), QPointF(t.Rect.Right, t.Rect.Bottom)).normalized();
    QPainterPath rectOnDevice;
    rectOnDevice.addPolygon(xf.map(QPolygonF(rect)));
    rectOnDevice.closeSubpath();
    BeginDraw();
    if ((t.Options & ETO_OPAQUE) && hasRect && !rect.isEmpty())
        p_.fillPath(rectOnDevice, dc_.BkColor);

    const TRealizedFont& rf = RealizeLogicalFont();
    QString text;
    QVector<quint32> glyphs;
    if (!ReadTextString(r, t, wide, rf, text, glyphs))
        return;
    const bool fromText = !text.isEmpty();
    if (fromText && rf.Raw.isValid())
        glyphs = rf.Raw.glyphIndexesForString(text);
    const qsizetype count = fromText ? text.size() : glyphs.size();
    const bool oneGlyphEach = rf.Raw.isValid() && glyphs.size() == count;

    // Advances along the baseline, in logical units.
    std::vector<double> adv, advY;
    if (!ReadTextAdvances(r, t, count, adv, advY)) {
        adv.assign(std::size_t(count), 0.0);
        advY.assign(std::size_t(count), 0.0);
        if (oneGlyphEach) {
            const QList<QPointF> a = GlyphAdvances(rf.Raw, glyphs);
            for (qsizetype i = 0; i < count && i < a.size(); ++i)
                adv[std::size_t(i)] = a[i].x() * rf.StretchX;
        }
    }
    double width = 0;
    for (double v : adv)
        width += v;

    double ox = 0, oy = 0;
    const std::uint32_t h = dc_.TextAlign & TA_CENTER;
    if (h == TA_CENTER)
        ox = -width / 2;
    else if (h == TA_RIGHT)
        ox = -width;
    const std::uint32_t v = dc_.TextAlign & TA_BASELINE;
    if (v == TA_BOTTOM)
        oy = -rf.Descent;
    else if (v != TA_BASELINE)
        oy = rf.Ascent;
    QPointF start = t.Ref;
    if (dc_.TextAlign & TA_UPDATECP) {
        start = dc_.CurPos;
        if (h == TA_RIGHT)
            dc_.CurPos.rx() -= width;
        else if (h != TA_CENTER)
            dc_.CurPos.rx() += width;
    }

    // Text space: origin at the reference point, x along the escapement, y downwards, in
    // logical units; the whole transform takes it to the device. A top or bottom aligned
    // string is moved on the device as GDI moves it: across the escapement as the font
    // gives it, whatever the transform turns or mirrors, by the ascent or descent measured
    // across the baseline the transform draws.
    QTransform ts;
    ts.translate(Clamp(start.x()), Clamp(start.y()));
    ts.rotate(-rf.AngleDeg);
    QTransform toDevice = ts * xf;
    if (oy != 0) {
        const QPointF zero = toDevice.map(QPointF(0, 0));
        const QPointF b = toDevice.map(QPointF(1, 0)) - zero;
        const double len = std::hypot(b.x(), b.y());
        if (len > 0) {
            const double across = std::fabs(toDevice.determinant()) / len;
            const double shift = Clamp(oy * across);
            const double esc = qDegreesToRadians(rf.AngleDeg);
            toDevice *= QTransform::fromTranslate(std::sin(esc) * shift, std::cos(esc) * shift);
        }
        oy = 0;
    }

    // Glyphs of the face are drawn as a glyph run through the transform; when the face
    // lacks characters, all are filled as outlines in text space, those characters from
    // the faces Qt falls back on, scaled from a size they outline well at.
    const QTransform stretch = QTransform::fromScale(rf.StretchX, 1);
    const double em = rf.Raw.isValid() ? rf.Raw.pixelSize() : 1.0;
    // Only glyphs that may touch the visible pixels are laid out and drawn.
    const QRectF shownArea = VisibleInTextSpace(toDevice, visible_);
    const double reachX = 2 * em * std::max(1.0, rf.StretchX);
    const double reachY = 2 * std::max(em, rf.Ascent + rf.Descent);
    const double emOnDevice = em * std::sqrt(std::fabs(toDevice.determinant()));
    QPainterPath outlines;
    QList<QPointF> positions;
    QVector<quint32> shown;
    double x = ox, y = oy;
    bool allGlyphs = oneGlyphEach;
    for (qsizetype i = 0; i < count; ++i) {
        if (!GlyphMayShow(x, y, adv[std::size_t(i)], shownArea, reachX, reachY)) {
            x += adv[std::size_t(i)];
            y -= advY[std::size_t(i)];
            continue;
        }
        if (ChargeGlyphs(1, emOnDevice, emOnDevice > kLargestCachedGlyph && FillsLargeGlyphs(p_)) < 1)
            break;
        positions.append(QPointF(x / rf.StretchX, y));
        if (oneGlyphEach)
            shown.append(glyphs[i]);
        QPainterPath glyph;
        if (oneGlyphEach && (glyphs[i] != 0 || !fromText)) {
            glyph = rf.Raw.pathForGlyph(glyphs[i]);
        } else if (fromText && !text[i].isSpace()) {
            allGlyphs = false;
            glyph.addText(QPointF(0, 0), rf.Font, QString(text[i]));
            glyph = QTransform::fromScale(em / rf.Font.pixelSize(), em / rf.Font.pixelSize()).map(glyph);
        }
        outlines.addPath(stretch.map(glyph).translated(x, y));
        x += adv[std::size_t(i)];
        y -= advY[std::size_t(i)];
    }

    p_.save();
    if ((t.Options & ETO_CLIPPED) && hasRect) {
        p_.setWorldTransform(QTransform());
        p_.setClipPath(rectOnDevice, p_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    p_.setWorldTransform(toDevice);
    if (dc_.BkMode == OPAQUE && !(t.Options & ETO_OPAQUE))
        p_.fillRect(QRectF(ox, oy - rf.Ascent, width, rf.Ascent + rf.Descent), dc_.BkColor);
    const QColor textColor = dc_.TextColor;
    if (allGlyphs) {
        QGlyphRun run;
        run.setRawFont(rf.Raw);
        run.setGlyphIndexes(shown);
        run.setPositions(positions);
        p_.setWorldTransform(stretch * toDevice);
        p_.setPen(textColor);
        p_.drawGlyphRun(QPointF(0, 0), run);
        p_.setWorldTransform(toDevice);
    } else {
        p_.setRenderHint(QPainter::Antialiasing, true);
        p_.fillPath(outlines, textColor);
        p_.setRenderHint(QPainter::Antialiasing, false);
    }
    if (rf.Raw.isValid() && (rf.Font.underline() || rf.Font.strikeOut())) {
        const double th = std::max(rf.Raw.lineThickness(), 1e-3);
        if (rf.Font.underline())
            p_.fillRect(QRectF(ox, oy + rf.Raw.underlinePosition(), width, th), textColor);
        if (rf.Font.strikeOut())
            p_.fillRect(QRectF(ox, oy - rf.Raw.xHeight() / 2, width, th), textColor);
    }
    p_.restore();
    clipDirty_ = clipDirty_ || ((t.Options & ETO_CLIPPED) && hasRect);
}

void TEmfPlayback::OnExtTextOutA(const TRecordView& r)
{
    DrawText(r, 36, false, r.U32(24), r.F32(28), r.F32(32));
}

void TEmfPlayback::OnExtTextOutW(const TRecordView& r)
{
    DrawText(r, 36, true, r.U32(24), r.F32(28), r.F32(32));
}

// POLYTEXTOUTA / POLYTEXTOUTW: one graphics mode and scale for an array of EMRTEXTs.
void TEmfPlayback::DrawPolyText(const TRecordView& r, bool wide)
{
    const std::uint32_t n = r.U32(36);
    if (!r.HasArray(40, n, 40))
        return;
    for (std::uint32_t i = 0; i < n; ++i)
        DrawText(r, 40 + std::size_t(i) * 40, wide, r.U32(24), r.F32(28), r.F32(32));
}

void TEmfPlayback::OnPolyTextOutA(const TRecordView& r) { DrawPolyText(r, false); }
void TEmfPlayback::OnPolyTextOutW(const TRecordView& r) { DrawPolyText(r, true); }

} // namespace qrp::emf

namespace qrp {

void MeasureTextRuns(std::vector<TEmfTextRun>& runs)
{
    // A page draws with a few fonts in many runs: each is looked up once.
    struct TFace {
        const QRawFont* Raw;
        double CellPerEm;
    };
    std::map<std::tuple<std::string, int, bool, int, int>, TFace> faces;
    for (TEmfTextRun& run : runs) {
        const TEmfTextFont& f = run.Font;
        const int weight = std::clamp<int>(f.Weight, 1, 1000);
        auto it = faces.find({f.Face, weight, f.Italic, f.PitchAndFamily, f.CharSet});
        if (it == faces.end()) {
            const QString family = emf::MappedFamily(QString::fromStdString(f.Face), f.PitchAndFamily, f.CharSet);
            const QRawFont& raw = emf::ReferenceFace(family, weight, f.Italic);
            it = faces.emplace(std::make_tuple(f.Face, weight, f.Italic, int(f.PitchAndFamily), int(f.CharSet)),
                               TFace{&raw, emf::CellPerEm(family, weight, f.Italic)})
                     .first;
        }
        const QRawFont& raw = *it->second.Raw;
        if (!raw.isValid() || f.Height == 0)
            continue;
        // Pixels per em as the player realises the font, then the reference size's
        // metrics scaled to it.
        const double em = f.Height < 0 ? -f.Height : f.Height / it->second.CellPerEm;
        const double scale = em / 1000.0;
        run.Ascent = raw.ascent() * scale;
        run.Descent = raw.descent() * scale;
        if (!run.AdvancesGiven) {
            double stretch = 1;
            if (f.Width > 0 && raw.averageCharWidth() > 0)
                stretch = std::clamp(f.Width / (raw.averageCharWidth() * scale), 0.05, 20.0);
            run.Glyphs.clear();
            double x = 0;
            for (const char32_t c : QString::fromStdString(run.Text).toUcs4()) {
                const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
                double advance = 0;
                if (!glyphs.isEmpty()) {
                    const QList<QPointF> a = raw.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
                    advance = a.isEmpty() ? 0 : a.first().x() * scale * stretch;
                }
                run.Glyphs.push_back({x, advance});
                x += advance;
            }
            run.Width = x;
        }
        PlaceTextRun(run);
    }
}

} // namespace qrp
