#pragma once
// The text of the page on display, for finding and selecting: its lines in reading
// order and, for every character, the box its glyph takes on the page, from the same
// records, mapping and alignment the player draws it with.
#include "emf/EmfText.h"
#include "preview/TextFolding.h"

#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

namespace qrp {

class TMetafile;

// Characters [Start, End) of line Line.
struct TTextRange {
    int Line = 0;
    int Start = 0, End = 0;
    bool operator==(const TTextRange&) const = default;
};

class TPageText {
public:
    TPageText() = default;
    // The text of a page picture; an empty page text for none.
    explicit TPageText(const TMetafile* picture);

    int LineCount() const { return static_cast<int>(lines_.size()); }
    const QString& Line(int i) const { return lines_[static_cast<std::size_t>(i)].Text; }

    // Every occurrence of the query, in reading order (folded as FoldText folds).
    std::vector<TTextRange> Find(const QString& query, bool matchCase) const;

    // The glyph boxes of a range on an image of width x height pixels that shows the
    // whole page (as the preview draws it), joined into one outline.
    QPainterPath Outline(const TTextRange& range, double width, double height) const;
    QPainterPath Outline(const std::vector<TTextRange>& ranges, double width, double height) const;

    // The characters whose glyphs have their centre inside rect (image of width x height
    // pixels), as one range per line from the first to the last of them.
    std::vector<TTextRange> RangesIn(const QRectF& rect, double width, double height) const;
    // Every line whole.
    std::vector<TTextRange> All() const;
    // The text of ranges, one line per range, in reading order.
    QString Text(const std::vector<TTextRange>& ranges) const;

private:
    struct TLine {
        QString Text;
        TFoldedText Folded[2]; // case folded, case kept
        std::vector<int> Glyph; // per UTF-16 unit: index into quads_, or -1 (a joining blank)
    };
    // A glyph's box on the reference device: start and end along the baseline at the
    // top, then at the bottom.
    std::vector<QPolygonF> quads_;
    std::vector<TLine> lines_;
    TEmfPictureMapping unit_; // the picture onto a 1 x 1 target
};

} // namespace qrp
