// Bitmap records: STRETCHDIBITS, BITBLT (with or without a source bitmap) and ALPHABLEND.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>

namespace qrp::emf {

// ---- bitmaps ------------------------------------------------------------------------------

// offBmi, cbBmi, offBits, cbBits of a DIB stored at offBmi (all 0 without one).
void TEmfWriter::PutDibFields(std::uint32_t offBmi, const TDib* dib)
{
    const std::uint32_t cbBmi = dib ? std::uint32_t(dib->Info.size()) : 0;
    Put32(dib ? offBmi : 0);
    Put32(cbBmi);
    Put32(dib ? offBmi + cbBmi : 0);
    Put32(dib ? std::uint32_t(dib->Bits.size()) : 0);
}

void TEmfWriter::PutDib(const TDib* dib)
{
    if (dib) {
        PutBytes(dib->Info);
        PutBytes(dib->Bits);
    }
}

void TEmfWriter::StretchDIBits(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                               std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                               std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc,
                               const TDib& dib, std::uint32_t rop, std::uint32_t usage)
{
    Begin(EMR_STRETCHDIBITS, 80 + dib.Info.size() + dib.Bits.size());
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(xSrc);
    PutI32(ySrc);
    PutI32(cxSrc);
    PutI32(cySrc);
    PutDibFields(80, &dib);
    Put32(usage);
    Put32(rop);
    PutI32(cxDest);
    PutI32(cyDest);
    PutDib(&dib);
    End();
    AddBounds(bounds);
}

void TEmfWriter::BitBlt(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                        std::int32_t cxDest, std::int32_t cyDest, std::uint32_t rop,
                        const TDib* dib, std::int32_t xSrc, std::int32_t ySrc)
{
    const std::uint32_t cbBmi = dib ? std::uint32_t(dib->Info.size()) : 0;
    const std::uint32_t cbBits = dib ? std::uint32_t(dib->Bits.size()) : 0;
    Begin(EMR_BITBLT, 100 + cbBmi + cbBits);
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(cxDest);
    PutI32(cyDest);
    Put32(rop);
    PutI32(xSrc);
    PutI32(ySrc);
    PutXForm(TXForm{});
    Put32(0); // background colour of the source
    Put32(0); // DIB_RGB_COLORS
    PutDibFields(100, dib);
    PutDib(dib);
    End();
    AddBounds(bounds);
}

void TEmfWriter::AlphaBlend(const TEmfRectL& bounds, std::int32_t xDest, std::int32_t yDest,
                            std::int32_t cxDest, std::int32_t cyDest, std::int32_t xSrc,
                            std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc,
                            const TDib& dib)
{
    Begin(EMR_ALPHABLEND, 108 + dib.Info.size() + dib.Bits.size());
    PutRect(bounds);
    PutI32(xDest);
    PutI32(yDest);
    PutI32(cxDest);
    PutI32(cyDest);
    // BLENDFUNCTION: AC_SRC_OVER, flags 0, constant alpha 255, AC_SRC_ALPHA.
    Put32(0x01FF0000u);
    PutI32(xSrc);
    PutI32(ySrc);
    PutXForm(TXForm{});
    Put32(0);
    Put32(0);
    PutDibFields(108, &dib);
    PutI32(cxSrc);
    PutI32(cySrc);
    PutDib(&dib);
    End();
    AddBounds(bounds);
}

} // namespace qrp::emf
