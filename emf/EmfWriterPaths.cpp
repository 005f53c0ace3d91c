// Path and clipping records: the path bracket, what is done with the path, clip rectangles
// and regions.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>

namespace qrp::emf {

// ---- paths ------------------------------------------------------------------------------

void TEmfWriter::BeginPath() { Bare(EMR_BEGINPATH); }
void TEmfWriter::EndPath() { Bare(EMR_ENDPATH); }
void TEmfWriter::CloseFigure() { Bare(EMR_CLOSEFIGURE); }
void TEmfWriter::AbortPath() { Bare(EMR_ABORTPATH); }

// The path records carry the device extent of what they draw.
void TEmfWriter::FillPath(const TEmfRectL& bounds)
{
    WithRect(EMR_FILLPATH, bounds);
    AddBounds(bounds);
}

void TEmfWriter::StrokePath(const TEmfRectL& bounds)
{
    WithRect(EMR_STROKEPATH, bounds);
    AddBounds(bounds);
}

void TEmfWriter::StrokeAndFillPath(const TEmfRectL& bounds)
{
    WithRect(EMR_STROKEANDFILLPATH, bounds);
    AddBounds(bounds);
}

// ---- clipping -------------------------------------------------------------------------

void TEmfWriter::IntersectClipRect(const TEmfRectL& rect) { WithRect(EMR_INTERSECTCLIPRECT, rect); }
void TEmfWriter::ExcludeClipRect(const TEmfRectL& rect) { WithRect(EMR_EXCLUDECLIPRECT, rect); }

void TEmfWriter::ExtSelectClipRgn(std::span<const TEmfRectL> rects, std::uint32_t mode)
{
    const std::uint32_t cb = rects.empty() ? 0 : std::uint32_t(32 + 16 * rects.size());
    Begin(EMR_EXTSELECTCLIPRGN, 16 + cb);
    Put32(cb);
    Put32(mode);
    if (!rects.empty()) {
        TEmfRectL bound = rects[0];
        for (const TEmfRectL& r : rects)
            bound = Union(bound, r);
        Put32(32);                               // dwSize
        Put32(1);                                // RDH_RECTANGLES
        Put32(std::uint32_t(rects.size()));      // nCount
        Put32(std::uint32_t(16 * rects.size())); // nRgnSize
        PutRect(bound);
        for (const TEmfRectL& r : rects)
            PutRect(r);
    }
    End();
}

} // namespace qrp::emf
