#pragma once
// The find bar of the preview: "Buscar" with a text field, previous and next, and a
// switch for letter case. It steps through the matches of the shown page and searches
// the other pages in the background (TTextFinder), turning the page to the next match,
// highlighting every match of the shown page and scrolling the current one into view.
// It also copies the text selected on the page.
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace qrp {

class TPageTextOverlay;
class TQRPreview;
class TTextFinder;

class TFindBar : public QWidget {
    Q_OBJECT
public:
    TFindBar(TQRPreview* preview, QWidget* parent = nullptr);
    ~TFindBar() override;

    // Shows the bar with the text field focused and its text selected.
    void Open();
    // The next / previous match after the current one, across pages.
    void FindNext();
    void FindPrevious();
    // Cancels a search under way; without one, closes the bar. False when there was
    // nothing to do.
    bool Escape();
    // Stops any search and clears highlights and selection (the window closes).
    void Reset();

    // Copies the text selected on the page to the clipboard; false when none is.
    bool CopySelection();
    // Selects all the text of the shown page.
    void SelectPage();

    bool Searching() const;
    QString Status() const;
    TPageTextOverlay* Overlay() const { return overlay_; }
    TTextFinder* Finder() const { return finder_; }

    QLineEdit* Field = nullptr;
    QToolButton* Previous = nullptr;
    QToolButton* Next = nullptr;
    QCheckBox* MatchCase = nullptr;
    QLabel* StatusLabel = nullptr;

signals:
    // The preview turned to this page to show a match.
    void PageShown(int page);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Find(int step);
    void ShowMatch(int index);
    void QueryEdited();
    void SetStatus(const QString& text);

    TQRPreview* preview_;
    TPageTextOverlay* overlay_;
    TTextFinder* finder_;
    int startPage_ = 0, step_ = 1; // of the search under way
};

} // namespace qrp
