// Text records: EXTTEXTOUTW with its dx array.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>

namespace qrp::emf {

// ---- text -------------------------------------------------------------------------------

void TEmfWriter::ExtTextOutW(const TTextOut& t)
{
    const std::uint32_t n = std::uint32_t(t.Text.size());
    const std::uint32_t offString = 76;
    const std::uint32_t stringBytes = (2 * n + 3) & ~3u;
    const bool withDx = !t.Dx.empty();
    const std::uint32_t offDx = withDx ? offString + stringBytes : 0;
    Begin(EMR_EXTTEXTOUTW, 76 + stringBytes + (withDx ? 4 * n : 0));
    PutRect(t.Bounds);
    Put32(t.GraphicsMode);
    // Scale from page units to 0.01 mm, used by readers in compatible mode only.
    const float scale = t.GraphicsMode == GM_COMPATIBLE
        ? float(100.0 * device_.Millimeters.Cx / std::max(1, device_.Pixels.Cx))
        : 0.0f;
    PutF(scale);
    PutF(t.GraphicsMode == GM_COMPATIBLE
             ? float(100.0 * device_.Millimeters.Cy / std::max(1, device_.Pixels.Cy))
             : 0.0f);
    PutI32(t.Reference.X);
    PutI32(t.Reference.Y);
    Put32(n);
    Put32(n ? offString : 0);
    Put32(t.Options);
    PutRect(t.Rect);
    Put32(offDx);
    for (char16_t c : t.Text)
        Put16(std::uint16_t(c));
    while ((bytes_.size() - recordStart_) % 4)
        bytes_.push_back(0);
    if (withDx)
        for (std::uint32_t i = 0; i < n; ++i)
            PutI32(i < t.Dx.size() ? t.Dx[i] : 0);
    End();
    AddBounds(t.Bounds);
}

} // namespace qrp::emf
