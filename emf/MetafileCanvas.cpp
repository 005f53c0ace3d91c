#include "emf/MetafileCanvas.h"

#include "base/ScreenMetrics.h"
#include "emf/EmfPaintEngine.h"
#include "emf/Metafile.h"

#include <QPainter>

#include <climits>
#include <cmath>

namespace qrp {

TMetafileCanvas::TMetafileCanvas(TMetafile& picture)
    : picture_(picture),
      engine_(std::make_unique<TEmfPaintEngine>(picture.Width(), picture.Height(),
                                                ScreenPixelsPerInch()))
{
}

TMetafileCanvas::~TMetafileCanvas()
{
    try {
        Finish();
    } catch (...) {
        // A destructor must not throw; the picture keeps what it held before.
    }
}

void TMetafileCanvas::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (engine_->isActive() && engine_->painter())
        engine_->painter()->end();
    picture_.LoadFromBytes(engine_->Finish());
}

QPaintEngine* TMetafileCanvas::paintEngine() const
{
    return engine_.get();
}

int TMetafileCanvas::metric(PaintDeviceMetric metric) const
{
    const int ppi = ScreenPixelsPerInch();
    const int w = picture_.Width() > 0 ? picture_.Width() : 0;
    const int h = picture_.Height() > 0 ? picture_.Height() : 0;
    switch (metric) {
    case PdmWidth: return w;
    case PdmHeight: return h;
    case PdmWidthMM: return int(std::lround(w * 25.4 / ppi));
    case PdmHeightMM: return int(std::lround(h * 25.4 / ppi));
    case PdmNumColors: return INT_MAX;
    case PdmDepth: return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return ppi;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
    default: return QPaintDevice::metric(metric);
    }
}

} // namespace qrp
