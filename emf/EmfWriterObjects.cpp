// Object records: pens, brushes and fonts created, selected and deleted.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <algorithm>

namespace qrp::emf {

// ---- objects ------------------------------------------------------------------------

std::uint32_t TEmfWriter::CreatePen(std::uint32_t style, std::int32_t width, std::uint32_t color)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_CREATEPEN, 28);
    Put32(h);
    Put32(style);
    PutI32(width);
    PutI32(0);
    Put32(color);
    End();
    return h;
}

std::uint32_t TEmfWriter::ExtCreatePen(std::uint32_t style, std::uint32_t width, std::uint32_t color,
                                       std::span<const std::uint32_t> styleEntries,
                                       std::uint32_t brushStyle, std::uint32_t hatch)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_EXTCREATEPEN, 52 + 4 * styleEntries.size());
    Put32(h);
    Put32(0); // offBmi
    Put32(0); // cbBmi
    Put32(0); // offBits
    Put32(0); // cbBits
    Put32(style);
    Put32(width);
    Put32(brushStyle);
    Put32(color);
    Put32(hatch);
    Put32(std::uint32_t(styleEntries.size()));
    for (std::uint32_t e : styleEntries)
        Put32(e);
    End();
    return h;
}

std::uint32_t TEmfWriter::CreateBrushIndirect(std::uint32_t style, std::uint32_t color,
                                              std::uint32_t hatch)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_CREATEBRUSHINDIRECT, 24);
    Put32(h);
    Put32(style);
    Put32(color);
    Put32(hatch);
    End();
    return h;
}

std::uint32_t TEmfWriter::CreateDibPatternBrush(const TDib& dib, std::uint32_t usage)
{
    const std::uint32_t h = AllocateHandle();
    Begin(EMR_CREATEDIBPATTERNBRUSHPT, 32 + dib.Info.size() + dib.Bits.size());
    Put32(h);
    Put32(usage);
    PutDibFields(32, &dib);
    PutDib(&dib);
    End();
    return h;
}

std::uint32_t TEmfWriter::ExtCreateFontIndirectW(const TLogFont& f)
{
    const std::uint32_t h = AllocateHandle();
    // LOGFONTW followed by the rest of a LOGFONTPANOSE (full name, style, version,
    // style size, match, reserved, vendor id, culture, PANOSE), all zero.
    Begin(EMR_EXTCREATEFONTINDIRECTW, 332);
    Put32(h);
    PutI32(f.Height);
    PutI32(f.Width);
    PutI32(f.Escapement);
    PutI32(f.Orientation);
    PutI32(f.Weight);
    const std::uint8_t flags[8] = {f.Italic,       f.Underline,     f.StrikeOut, f.CharSet,
                                   f.OutPrecision, f.ClipPrecision, f.Quality,   f.PitchAndFamily};
    PutBytes(flags);
    for (std::size_t i = 0; i < 32; ++i)
        Put16(i < 31 && i < f.FaceName.size() ? std::uint16_t(f.FaceName[i]) : 0);
    bytes_.resize(bytes_.size() + (320 - 92), 0);
    End();
    return h;
}

void TEmfWriter::SelectObject(std::uint32_t handle)
{
    if (!(handle & STOCK_OBJECT_FLAG))
        Touch(std::int32_t(handle));
    Simple(EMR_SELECTOBJECT, handle);
}

void TEmfWriter::DeleteObject(std::uint32_t handle)
{
    Simple(EMR_DELETEOBJECT, handle);
    ReleaseHandle(handle);
}

} // namespace qrp::emf
