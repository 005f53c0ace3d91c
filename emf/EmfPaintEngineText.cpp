// Text items, recorded as EXTTEXTOUTW with the advances of Qt's own layout.
#include "emf/EmfPaintEngine.h"

#include "emf/EmfRecords.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>

namespace qrp {

using namespace qrp::emf;

// ---- text ---------------------------------------------------------------------------------

void TEmfPaintEngine::drawTextItem(const QPointF& p, const QTextItem& item)
{
    pendingDecorations_ = 0;
    if (finished_)
        return;
    const QString text = item.text();
    if (text.isEmpty())
        return;
    ApplyClip();
    const TPenKey pen = PenKeyFor(pen_);
    if (pen.Null)
        return;
    const QFont font = item.font();

    // Glyph advances from Qt's own layout of the run, rounded at the pen positions so
    // the rounding errors do not add up along the line.
    QTextLayout layout(text, font, device_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e7);
    layout.endLayout();
    const int n = int(text.size());
    std::vector<std::int32_t> dx(static_cast<std::size_t>(n), 0);
    std::vector<qreal> pos(static_cast<std::size_t>(n) + 1, 0);
    for (int i = 0; i <= n; ++i) {
        const bool inside = i > 0 && i < n && text.at(i).isLowSurrogate();
        pos[std::size_t(i)] = line.isValid() && !inside ? line.cursorToX(i) : -1;
    }
    std::int32_t total = 0;
    int prev = 0;
    for (int i = 1; i <= n; ++i) {
        if (pos[std::size_t(i)] < 0)
            continue; // second half of a surrogate pair: advance 0
        const std::int32_t a = Round(pos[std::size_t(i)]) - Round(pos[std::size_t(prev)]);
        dx[std::size_t(prev)] = a;
        total += a;
        prev = i;
    }

    const QFontMetricsF fm(font, device_);
    const QRectF logicalBox(p.x(), p.y() - fm.ascent(), std::max<qreal>(total, 1),
                            fm.ascent() + fm.descent());

    SelectFontFor(font);
    SetTextColor(pen.Color);
    if (!textAlignSet_) {
        writer_->SetTextAlign(TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        textAlignSet_ = true;
    }

    TEmfWriter::TTextOut t;
    const std::u16string chars = text.toStdU16String();
    t.Text = chars;
    t.Dx = dx;
    t.Rect = {0, 0, -1, -1};
    t.Bounds = DeviceBounds(logicalBox);
    const bool direct = TranslationOnly();
    if (direct) {
        t.Reference = Map(p);
        t.GraphicsMode = GM_COMPATIBLE;
    } else {
        RecordWorldTransform();
        t.Reference = {Round(p.x()), Round(p.y())};
        t.GraphicsMode = GM_ADVANCED;
    }
    writer_->ExtTextOutW(t);
    if (!direct)
        ResetWorldTransform();
    pendingDecorations_ = (fontKey_.Underline ? 1 : 0) + (fontKey_.StrikeOut ? 1 : 0);
}

} // namespace qrp
