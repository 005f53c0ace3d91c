#pragma once
// A paint device that records what a QPainter draws on it as EMF records, with the
// screen as reference device: the metafile canvas pages are produced on.
#include <QPaintDevice>
#include <memory>

namespace qrp {

class TMetafile;
class TEmfPaintEngine;

class TMetafileCanvas : public QPaintDevice {
public:
    // Records into picture, whose Width() and Height() (screen pixels) give the size of
    // the page; the frame is that size at the screen's pixels per inch.
    explicit TMetafileCanvas(TMetafile& picture);
    // Completes the picture (as Finish) if that was not done yet.
    ~TMetafileCanvas() override;

    // Ends any painter still active on the canvas, writes the end-of-file record and
    // stores the finished image in the picture. Further drawing is ignored.
    void Finish();

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    TMetafile& picture_;
    std::unique_ptr<TEmfPaintEngine> engine_;
    bool finished_ = false;
};

} // namespace qrp
