#include "preview/TextFinder.h"

#include "emf/EmfText.h"
#include "emf/Metafile.h"
#include "preview/TextFolding.h"
#include "printer/QRPrinter.h"

#include <QElapsedTimer>

namespace qrp {

TTextFinder::TTextFinder(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &TTextFinder::Slice);
}

void TTextFinder::Start(TQRPrinter* source, const QString& query, bool matchCase, int from, int step, int count)
{
    Cancel();
    source_ = source;
    query_ = query;
    matchCase_ = matchCase;
    total_ = source ? source->PageTotal() : 0;
    step_ = step < 0 ? -1 : 1;
    count_ = std::max(0, std::min(count, total_));
    next_ = total_ > 0 ? ((from - 1) % total_ + total_) % total_ + 1 : 1;
    searched_ = 0;
    running_ = true;
    timer_.start();
}

void TTextFinder::Cancel()
{
    if (!running_)
        return;
    Stop();
    emit Cancelled();
}

void TTextFinder::Stop()
{
    running_ = false;
    timer_.stop();
}

void TTextFinder::Slice()
{
    if (!running_)
        return;
    // The report went away or was replaced while the search ran: nothing to find.
    if (!source_ || source_->PageTotal() != total_) {
        Stop();
        emit NotFound();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (searched_ < count_) {
        const int page = next_;
        next_ = (next_ - 1 + step_ + total_) % total_ + 1;
        ++searched_;
        std::unique_ptr<TMetafile> picture;
        try {
            picture = source_->PagePicture(page);
        } catch (const std::exception&) {
            // A damaged page has no text to find; the others are still searched.
        }
        if (picture) {
            const auto& bytes = picture->Bytes();
            const QString text = QString::fromStdString(ExtractPageText(bytes.data(), bytes.size()));
            if (!FindFolded(FoldText(text, matchCase_), query_, matchCase_).empty()) {
                Stop();
                emit Found(page);
                return;
            }
        }
        if (clock.elapsed() >= SliceMs && searched_ < count_) {
            emit Progress(next_);
            timer_.start();
            return;
        }
    }
    Stop();
    emit NotFound();
}

} // namespace qrp
