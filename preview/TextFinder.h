#pragma once
// Looks for a text through the pages of a report without holding up the window: the
// pages are read and searched in slices of a few milliseconds, between which the event
// loop runs, so the window keeps answering and the search can be cancelled.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace qrp {

class TQRPrinter;

class TTextFinder : public QObject {
    Q_OBJECT
public:
    explicit TTextFinder(QObject* parent = nullptr);

    // Visits `count` pages of source starting at page `from` and going by `step` (+1 or
    // -1), wrapping around at either end, until one holds the query; Found tells which.
    // A search under way is cancelled first.
    void Start(TQRPrinter* source, const QString& query, bool matchCase, int from, int step, int count);
    // Stops a search under way (Cancelled follows); nothing when none is.
    void Cancel();

    bool Running() const { return running_; }
    int PagesSearched() const { return searched_; }
    int PagesToSearch() const { return count_; }
    // How long one slice runs before the event loop gets its turn.
    static constexpr int SliceMs = 15;

signals:
    void Found(int page);
    void NotFound();
    void Cancelled();
    // The page being searched, after each slice.
    void Progress(int page);

private:
    void Slice();
    void Stop();

    QPointer<TQRPrinter> source_;
    QString query_;
    bool matchCase_ = false;
    int next_ = 1, step_ = 1, count_ = 0, searched_ = 0, total_ = 0;
    bool running_ = false;
    QTimer timer_;
};

} // namespace qrp
