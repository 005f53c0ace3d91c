#pragma once
// Laid over the preview's page image: the matches of a search and the selected text,
// highlighted on their glyphs, and the selection made by dragging over the page. The
// text of the shown page is read again whenever the image holds another picture.
#include "preview/PageText.h"

#include <QWidget>

#include <cstdint>
#include <vector>

namespace qrp {

class TQRPreviewImage;

class TPageTextOverlay : public QWidget {
    Q_OBJECT
public:
    explicit TPageTextOverlay(TQRPreviewImage* image);

    // The text of the picture the image holds now.
    const TPageText& Text();

    // The query whose matches are highlighted; a different one clears the current match.
    void SetQuery(const QString& query, bool matchCase);
    const std::vector<TTextRange>& Matches();
    // The match shown as the current one (-1: none).
    int Current();
    void SetCurrent(int index);

    const std::vector<TTextRange>& Selection();
    void SetSelection(std::vector<TTextRange> ranges);
    QString SelectedText();

    // Outlines on the image, in its pixels.
    QPainterPath MatchOutline(int index);
    QPainterPath SelectionOutline();

signals:
    // A drag over the page began (a selection is being made).
    void SelectionStarted();

protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Reads the page text again when the image holds another picture.
    void Refresh();

    TQRPreviewImage* image_;
    std::uint64_t key_ = 0;      // the picture the text was read from
    TPageText text_;
    QString query_;
    bool matchCase_ = false;
    std::vector<TTextRange> matches_;
    int current_ = -1;
    std::vector<TTextRange> selection_;
    bool dragging_ = false;
    QPointF dragFrom_, dragTo_;
};

} // namespace qrp
