// Path and clipping records: the path bracket, what is done with the path, clip rectangles
// and regions.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>

namespace qrp::emf {

// ---- paths ------------------------------------------------------------------------------

void TEmfWriter::BeginPath()
{
    Begin(EMR_BEGINPATH, 8);
    End();
}

void TEmfWriter::EndPath()
{
    Begin(EMR_ENDPATH, 8);
    End();
}

void TEmfWriter::CloseFigure()
{
    Begin(EMR_CLOSEFIGURE, 8);
    End();
}

void TEmfWriter::AbortPath()
{
    Begin(EMR_ABORTPATH, 8);
    End();
}

void TEmfWriter::FillPath(const TEmfRectL& bounds)
{
    Begin(EMR_FILLPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

void TEmfWriter::StrokePath(const TEmfRectL& bounds)
{
    Begin(EMR_STROKEPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

void TEmfWriter::StrokeAndFillPath(const TEmfRectL& bounds)
{
    Begin(EMR_STROKEANDFILLPATH, 24);
    PutRect(bounds);
    End();
    AddBounds(bounds);
}

// ---- clipping -------------------------------------------------------------------------

void TEmfWriter::IntersectClipRect(const TEmfRectL& rect)
{
    Begin(EMR_INTERSECTCLIPRECT, 24);
    PutRect(rect);
    End();
}

void TEmfWriter::ExcludeClipRect(const TEmfRectL& rect)
{
    Begin(EMR_EXCLUDECLIPRECT, 24);
    PutRect(rect);
    End();
}

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
