#include "preview/PageText.h"

#include "emf/Metafile.h"

#include <algorithm>

namespace qrp {

namespace {

// Index of the code point that starts at each byte of a UTF-8 string (continuation
// bytes get the index of their code point).
std::vector<int> CodePointIndex(const std::string& s)
{
    std::vector<int> index(s.size(), 0);
    int cp = -1;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            ++cp;
        index[i] = std::max(cp, 0);
    }
    return index;
}

int CodePointCount(const std::string& s)
{
    return static_cast<int>(std::count_if(s.begin(), s.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::size_t Utf8Length(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

} // namespace

TPageText::TPageText(const TMetafile* picture)
{
    if (!picture || picture->Bytes().empty())
        return;
    const auto& bytes = picture->Bytes();
    std::vector<TEmfTextRun> runs = ExtractTextRuns(bytes.data(), bytes.size());
    // The lines as every other reader of the page text has them (search through the
    // report, qrptool text); the glyph boxes from the measured faces.
    const std::vector<TEmfTextLine> lines = ArrangeTextLines(runs);
    MeasureTextRuns(runs);
    unit_ = PictureToTarget(bytes.data(), bytes.size(), 0, 0, 1, 1);

    // The glyph boxes of every run, in run order.
    std::vector<std::size_t> firstQuad(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const TEmfTextRun& run = runs[r];
        firstQuad[r] = quads_.size();
        const int count = CodePointCount(run.Text);
        std::vector<TEmfGlyphSpan> spans = run.Glyphs;
        if (static_cast<int>(spans.size()) != count) {
            // No measure of the face: the characters share the width evenly.
            spans.clear();
            const double each = count > 0 && run.Width > 0 ? run.Width / count : 0.5 * run.Height;
            for (int i = 0; i < count; ++i)
                spans.push_back({each * i, each});
        }
        const double downX = -run.DirY, downY = run.DirX;
        auto at = [&](double along, double across) {
            return QPointF(run.X + run.DirX * along + downX * across, run.Baseline + run.DirY * along + downY * across);
        };
        for (const TEmfGlyphSpan& g : spans) {
            const double s = g.Start, e = g.Start + g.Advance;
            quads_.push_back(QPolygonF({at(s, -run.Ascent), at(e, -run.Ascent), at(e, run.Descent), at(s, run.Descent)}));
        }
    }

    std::vector<std::vector<int>> cpIndex(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r)
        cpIndex[r] = CodePointIndex(runs[r].Text);
    for (const TEmfTextLine& line : lines) {
        TLine l;
        std::size_t piece = 0;
        for (std::size_t b = 0; b < line.Text.size();) {
            const std::size_t len = std::min(Utf8Length(static_cast<unsigned char>(line.Text[b])), line.Text.size() - b);
            while (piece < line.Pieces.size() && line.Pieces[piece].At + line.Pieces[piece].Length <= b)
                ++piece;
            int glyph = -1;
            if (piece < line.Pieces.size() && line.Pieces[piece].At <= b) {
                const TEmfTextPiece& p = line.Pieces[piece];
                glyph = static_cast<int>(firstQuad[p.Run]) + cpIndex[p.Run][p.From + (b - p.At)];
            }
            const QString ch = QString::fromUtf8(line.Text.data() + b, static_cast<qsizetype>(len));
            l.Text += ch;
            l.Glyph.insert(l.Glyph.end(), static_cast<std::size_t>(ch.size()), glyph);
            b += len;
        }
        l.Folded[0] = FoldText(l.Text, false);
        l.Folded[1] = FoldText(l.Text, true);
        lines_.push_back(std::move(l));
    }
}

std::vector<TTextRange> TPageText::Find(const QString& query, bool matchCase) const
{
    std::vector<TTextRange> found;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        for (const TTextSpan& s : FindFolded(lines_[i].Folded[matchCase ? 1 : 0], query, matchCase))
            found.push_back({static_cast<int>(i), s.Start, s.End});
    return found;
}

QPainterPath TPageText::Outline(const TTextRange& range, double width, double height) const
{
    return Outline(std::vector<TTextRange>{range}, width, height);
}

QPainterPath TPageText::Outline(const std::vector<TTextRange>& ranges, double width, double height) const
{
    const QTransform toImage(unit_.ScaleX * width, 0, 0, unit_.ScaleY * height, unit_.OffsetX * width,
                             unit_.OffsetY * height);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const TTextRange& r : ranges) {
        if (r.Line < 0 || r.Line >= LineCount())
            continue;
        const std::vector<int>& glyphs = lines_[static_cast<std::size_t>(r.Line)].Glyph;
        int last = -1;
        for (int i = std::max(0, r.Start); i < std::min<int>(r.End, static_cast<int>(glyphs.size())); ++i) {
            const int g = glyphs[static_cast<std::size_t>(i)];
            if (g < 0 || g == last)
                continue; // a joining blank, or the second half of a surrogate pair
            path.addPolygon(toImage.map(quads_[static_cast<std::size_t>(g)]));
            path.closeSubpath();
            last = g;
        }
    }
    return path;
}

std::vector<TTextRange> TPageText::RangesIn(const QRectF& rect, double width, double height) const
{
    const QTransform toImage(unit_.ScaleX * width, 0, 0, unit_.ScaleY * height, unit_.OffsetX * width,
                             unit_.OffsetY * height);
    const QRectF area = rect.normalized();
    std::vector<TTextRange> ranges;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::vector<int>& glyphs = lines_[i].Glyph;
        int first = -1, end = -1;
        for (int k = 0; k < static_cast<int>(glyphs.size()); ++k) {
            const int g = glyphs[static_cast<std::size_t>(k)];
            if (g < 0)
                continue;
            const QPolygonF box = toImage.map(quads_[static_cast<std::size_t>(g)]);
            const QPointF centre = (box[0] + box[1] + box[2] + box[3]) / 4;
            if (!area.contains(centre))
                continue;
            if (first < 0)
                first = k;
            end = k + 1;
        }
        if (first >= 0) {
            // A surrogate pair is taken whole.
            while (end < static_cast<int>(glyphs.size()) && glyphs[static_cast<std::size_t>(end)] >= 0 &&
                   glyphs[static_cast<std::size_t>(end)] == glyphs[static_cast<std::size_t>(end - 1)])
                ++end;
            ranges.push_back({static_cast<int>(i), first, end});
        }
    }
    return ranges;
}

std::vector<TTextRange> TPageText::All() const
{
    std::vector<TTextRange> ranges;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        ranges.push_back({static_cast<int>(i), 0, static_cast<int>(lines_[i].Text.size())});
    return ranges;
}

QString TPageText::Text(const std::vector<TTextRange>& ranges) const
{
    std::vector<TTextRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const TTextRange& a, const TTextRange& b) { return a.Line != b.Line ? a.Line < b.Line : a.Start < b.Start; });
    QStringList lines;
    for (const TTextRange& r : sorted)
        if (r.Line >= 0 && r.Line < LineCount())
            lines << Line(r.Line).mid(r.Start, r.End - r.Start);
    return lines.join(QLatin1Char('\n'));
}

} // namespace qrp
