#include "preview/PageTextOverlay.h"

#include "emf/Metafile.h"
#include "preview/QRPreviewImage.h"

#include <QMouseEvent>
#include <QPainter>

namespace qrp {

namespace {

// Identifies a page picture by its bytes (FNV-1a): a picture freed and another one made
// at the same address is still told apart.
std::uint64_t PictureKey(const TMetafile* picture)
{
    if (!picture)
        return 0;
    std::uint64_t h = 1469598103934665603ull;
    for (const std::uint8_t b : picture->Bytes()) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h ^ picture->Bytes().size();
}

} // namespace

TPageTextOverlay::TPageTextOverlay(TQRPreviewImage* image) : QWidget(image), image_(image)
{
    setObjectName(QStringLiteral("PageTextOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(image->rect());
    image->installEventFilter(this);
    image->setCursor(Qt::IBeamCursor);
    show();
}

void TPageTextOverlay::Refresh()
{
    const std::uint64_t key = PictureKey(image_->PageMetafile());
    if (key == key_)
        return;
    key_ = key;
    text_ = TPageText(image_->PageMetafile());
    matches_ = text_.Find(query_, matchCase_);
    current_ = -1;
    selection_.clear();
}

const TPageText& TPageTextOverlay::Text()
{
    Refresh();
    return text_;
}

void TPageTextOverlay::SetQuery(const QString& query, bool matchCase)
{
    Refresh();
    if (query == query_ && matchCase == matchCase_)
        return;
    query_ = query;
    matchCase_ = matchCase;
    matches_ = text_.Find(query_, matchCase_);
    current_ = -1;
    update();
}

const std::vector<TTextRange>& TPageTextOverlay::Matches()
{
    Refresh();
    return matches_;
}

int TPageTextOverlay::Current()
{
    Refresh();
    return current_;
}

void TPageTextOverlay::SetCurrent(int index)
{
    Refresh();
    current_ = index >= 0 && index < static_cast<int>(matches_.size()) ? index : -1;
    update();
}

const std::vector<TTextRange>& TPageTextOverlay::Selection()
{
    Refresh();
    return selection_;
}

void TPageTextOverlay::SetSelection(std::vector<TTextRange> ranges)
{
    Refresh();
    selection_ = std::move(ranges);
    update();
}

QString TPageTextOverlay::SelectedText()
{
    Refresh();
    return text_.Text(selection_);
}

QPainterPath TPageTextOverlay::MatchOutline(int index)
{
    Refresh();
    if (index < 0 || index >= static_cast<int>(matches_.size()))
        return {};
    return text_.Outline(matches_[static_cast<std::size_t>(index)], image_->width(), image_->height());
}

QPainterPath TPageTextOverlay::SelectionOutline()
{
    Refresh();
    return text_.Outline(selection_, image_->width(), image_->height());
}

void TPageTextOverlay::paintEvent(QPaintEvent*)
{
    // Without a search or a selection there is nothing to show, and the page's text is
    // not looked at.
    if (query_.isEmpty() && selection_.empty() && !dragging_)
        return;
    Refresh();
    if (matches_.empty() && selection_.empty() && !dragging_)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    // Multiplied onto the page, so the glyphs stay dark over their highlight.
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    const double w = image_->width(), h = image_->height();
    if (!matches_.empty()) {
        p.fillPath(text_.Outline(matches_, w, h), QColor(255, 236, 90));
        if (current_ >= 0)
            p.fillPath(MatchOutline(current_), QColor(255, 150, 30));
    }
    if (!selection_.empty())
        p.fillPath(SelectionOutline(), QColor(140, 185, 255));
    if (dragging_) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(40, 90, 200), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(dragFrom_, dragTo_).normalized());
    }
}

bool TPageTextOverlay::eventFilter(QObject* watched, QEvent* e)
{
    if (watched != image_)
        return QWidget::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::Resize:
        setGeometry(image_->rect());
        break;
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() == Qt::LeftButton) {
            dragging_ = true;
            dragFrom_ = dragTo_ = m->position();
            SetSelection({});
            emit SelectionStarted();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragging_ && (m->buttons() & Qt::LeftButton)) {
            dragTo_ = m->position();
            SetSelection(Text().RangesIn(QRectF(dragFrom_, dragTo_), image_->width(), image_->height()));
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragging_ && m->button() == Qt::LeftButton) {
            dragging_ = false;
            dragTo_ = m->position();
            SetSelection(Text().RangesIn(QRectF(dragFrom_, dragTo_), image_->width(), image_->height()));
        }
        break;
    }
    default:
        break;
    }
    return false; // the image and the host's mouse handlers see every event too
}

} // namespace qrp
