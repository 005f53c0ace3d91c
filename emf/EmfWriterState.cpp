// Device-context state records: mapping, world transform, save and restore, modes and colours.
#include "emf/EmfWriter.h"

#include "emf/EmfRecords.h"

#include <cstring>

namespace qrp::emf {

// ---- state --------------------------------------------------------------------------

void TEmfWriter::Bare(std::uint32_t type)
{
    Begin(type, 8);
    End();
}

void TEmfWriter::WithRect(std::uint32_t type, const TEmfRectL& rect)
{
    Begin(type, 24);
    PutRect(rect);
    End();
}

void TEmfWriter::Simple(std::uint32_t type, std::uint32_t value)
{
    Begin(type, 12);
    Put32(value);
    End();
}

void TEmfWriter::SetMapMode(std::uint32_t mode) { Simple(EMR_SETMAPMODE, mode); }
void TEmfWriter::SetTextColor(std::uint32_t color) { Simple(EMR_SETTEXTCOLOR, color); }
void TEmfWriter::SetBkColor(std::uint32_t color) { Simple(EMR_SETBKCOLOR, color); }
void TEmfWriter::SetBkMode(std::uint32_t mode) { Simple(EMR_SETBKMODE, mode); }
void TEmfWriter::SetTextAlign(std::uint32_t align) { Simple(EMR_SETTEXTALIGN, align); }
void TEmfWriter::SetPolyFillMode(std::uint32_t mode) { Simple(EMR_SETPOLYFILLMODE, mode); }
void TEmfWriter::SetRop2(std::uint32_t rop2) { Simple(EMR_SETROP2, rop2); }
void TEmfWriter::SetStretchBltMode(std::uint32_t mode) { Simple(EMR_SETSTRETCHBLTMODE, mode); }
void TEmfWriter::RestoreDC(std::int32_t relative) { Simple(EMR_RESTOREDC, std::uint32_t(relative)); }

void TEmfWriter::SaveDC() { Bare(EMR_SAVEDC); }

void TEmfWriter::Pair(std::uint32_t type, std::int32_t a, std::int32_t b)
{
    std::uint8_t p[8];
    std::memcpy(p, &a, 4);
    std::memcpy(p + 4, &b, 4);
    AppendRecord(type, p);
}

void TEmfWriter::SetWindowExtEx(std::int32_t cx, std::int32_t cy) { Pair(EMR_SETWINDOWEXTEX, cx, cy); }
void TEmfWriter::SetWindowOrgEx(std::int32_t x, std::int32_t y) { Pair(EMR_SETWINDOWORGEX, x, y); }
void TEmfWriter::SetViewportExtEx(std::int32_t cx, std::int32_t cy) { Pair(EMR_SETVIEWPORTEXTEX, cx, cy); }
void TEmfWriter::SetViewportOrgEx(std::int32_t x, std::int32_t y) { Pair(EMR_SETVIEWPORTORGEX, x, y); }
void TEmfWriter::SetBrushOrgEx(std::int32_t x, std::int32_t y) { Pair(EMR_SETBRUSHORGEX, x, y); }

void TEmfWriter::SetWorldTransform(const TXForm& xf)
{
    Begin(EMR_SETWORLDTRANSFORM, 32);
    PutXForm(xf);
    End();
}

void TEmfWriter::ModifyWorldTransform(const TXForm& xf, std::uint32_t mode)
{
    Begin(EMR_MODIFYWORLDTRANSFORM, 36);
    PutXForm(xf);
    Put32(mode);
    End();
}

} // namespace qrp::emf
