// qrptool emf-dump: one line per record of an enhanced metafile (index, type name, size
// and the fields that matter), the first look at a page that plays wrong.
#include "Command.h"

#include "emf/EmfReader.h"
#include "emf/EmfRecords.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using qrp::emf::TRecordView;
using namespace qrp::emf;

std::string Rect(const TRecordView& r, std::size_t at)
{
    const auto rc = r.RectL(at);
    return "(" + std::to_string(rc.Left) + "," + std::to_string(rc.Top) + ")-(" +
           std::to_string(rc.Right) + "," + std::to_string(rc.Bottom) + ")";
}

std::string Pt(const TRecordView& r, std::size_t at)
{
    return "(" + std::to_string(r.I32(at)) + "," + std::to_string(r.I32(at + 4)) + ")";
}

std::string Hex(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string Index(std::uint32_t v)
{
    if (v & STOCK_OBJECT_FLAG)
        return "stock " + std::to_string(v & ~STOCK_OBJECT_FLAG);
    return std::to_string(v);
}

// Text of an EMRTEXT, shortened; wide strings as UTF-8, ANSI bytes as they are.
std::string Text(const TRecordView& r, std::size_t emrText, bool wide)
{
    const std::uint32_t n = r.U32(emrText + 8), off = r.U32(emrText + 12);
    std::string s;
    if (!r.HasArray(off, n, wide ? 2 : 1))
        return "<string past record>";
    for (std::uint32_t i = 0; i < n && s.size() < 60; ++i) {
        std::uint32_t c = wide ? r.U16(off + i * 2) : r.U8(off + i);
        if (c < 0x20)
            c = '?';
        if (c < 0x80) {
            s.push_back(char(c));
        } else if (c < 0x800) {
            s.push_back(char(0xC0 | (c >> 6)));
            s.push_back(char(0x80 | (c & 0x3F)));
        } else {
            s.push_back(char(0xE0 | (c >> 12)));
            s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            s.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return "ref=" + Pt(r, emrText) + " n=" + std::to_string(n) + " opt=" + Hex(r.U32(emrText + 16)) +
           " rect=" + Rect(r, emrText + 20) + (r.U32(emrText + 36) ? " dx" : "") + " \"" + s + "\"";
}

std::string Fields(const TRecordView& r)
{
    switch (r.Type()) {
    case EMR_HEADER:
        return "bounds=" + Rect(r, 8) + " frame=" + Rect(r, 24) + " bytes=" + std::to_string(r.U32(48)) +
               " records=" + std::to_string(r.U32(52)) + " handles=" + std::to_string(r.U16(56)) +
               " device=" + Pt(r, 72) + " mm=" + Pt(r, 80);
    case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO: case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16: case EMR_POLYLINETO16: case EMR_POLYDRAW: case EMR_POLYDRAW16:
        return "bounds=" + Rect(r, 8) + " points=" + std::to_string(r.U32(24));
    case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE16: case EMR_POLYPOLYGON16:
        return "bounds=" + Rect(r, 8) + " polys=" + std::to_string(r.U32(24)) + " points=" + std::to_string(r.U32(28));
    case EMR_SETWINDOWEXTEX: case EMR_SETWINDOWORGEX: case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX: case EMR_SETBRUSHORGEX: case EMR_MOVETOEX: case EMR_LINETO:
    case EMR_OFFSETCLIPRGN:
        return Pt(r, 8);
    case EMR_SETPIXELV:
        return Pt(r, 8) + " color=" + Hex(r.U32(16));
    case EMR_SETMAPMODE: case EMR_SETBKMODE: case EMR_SETPOLYFILLMODE: case EMR_SETROP2:
    case EMR_SETSTRETCHBLTMODE: case EMR_SETTEXTALIGN: case EMR_RESTOREDC: case EMR_SETARCDIRECTION:
    case EMR_SELECTCLIPPATH:
        return std::to_string(r.I32(8));
    case EMR_SETTEXTCOLOR: case EMR_SETBKCOLOR:
        return Hex(r.U32(8));
    case EMR_SELECTOBJECT: case EMR_DELETEOBJECT:
        return "object=" + Index(r.U32(8));
    case EMR_EXCLUDECLIPRECT: case EMR_INTERSECTCLIPRECT: case EMR_RECTANGLE: case EMR_ELLIPSE:
        return Rect(r, 8);
    case EMR_ROUNDRECT:
        return Rect(r, 8) + " corner=" + Pt(r, 24);
    case EMR_ARC: case EMR_ARCTO: case EMR_CHORD: case EMR_PIE:
        return Rect(r, 8) + " start=" + Pt(r, 24) + " end=" + Pt(r, 32);
    case EMR_SETWORLDTRANSFORM: case EMR_MODIFYWORLDTRANSFORM: {
        std::ostringstream o;
        o << "[" << r.F32(8) << " " << r.F32(12) << " " << r.F32(16) << " " << r.F32(20) << " "
          << r.F32(24) << " " << r.F32(28) << "]";
        if (r.Type() == EMR_MODIFYWORLDTRANSFORM)
            o << " mode=" << r.U32(32);
        return o.str();
    }
    case EMR_CREATEPEN:
        return "object=" + std::to_string(r.U32(8)) + " style=" + Hex(r.U32(12)) +
               " width=" + std::to_string(r.I32(16)) + " color=" + Hex(r.U32(24));
    case EMR_EXTCREATEPEN:
        return "object=" + std::to_string(r.U32(8)) + " style=" + Hex(r.U32(28)) +
               " width=" + std::to_string(r.U32(32)) + " brush=" + std::to_string(r.U32(36)) +
               " color=" + Hex(r.U32(40));
    case EMR_CREATEBRUSHINDIRECT:
        return "object=" + std::to_string(r.U32(8)) + " style=" + std::to_string(r.U32(12)) +
               " color=" + Hex(r.U32(16)) + " hatch=" + std::to_string(r.U32(20));
    case EMR_EXTCREATEFONTINDIRECTW: {
        std::string face;
        for (std::size_t i = 0; i < 32; ++i) {
            const std::uint16_t c = r.U16(40 + i * 2);
            if (c == 0)
                break;
            face.push_back(c < 0x80 ? char(c) : '?');
        }
        return "object=" + std::to_string(r.U32(8)) + " height=" + std::to_string(r.I32(12)) +
               " width=" + std::to_string(r.I32(16)) + " escapement=" + std::to_string(r.I32(20)) +
               " weight=" + std::to_string(r.I32(28)) + (r.U8(32) ? " italic" : "") +
               (r.U8(33) ? " underline" : "") + (r.U8(34) ? " strikeout" : "") + " face=\"" + face + "\"";
    }
    case EMR_EXTTEXTOUTA: case EMR_EXTTEXTOUTW:
        return Text(r, 36, r.Type() == EMR_EXTTEXTOUTW);
    case EMR_POLYTEXTOUTA: case EMR_POLYTEXTOUTW:
        return "strings=" + std::to_string(r.U32(36));
    case EMR_EXTSELECTCLIPRGN:
        return "mode=" + std::to_string(r.U32(12)) + " rects=" + std::to_string(r.U32(24));
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_MASKBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT:
        return "dest=" + Pt(r, 24) + " size=" + Pt(r, 32) + " rop=" + Hex(r.U32(40)) +
               " bmi=" + std::to_string(r.U32(88));
    case EMR_STRETCHDIBITS:
        return "dest=" + Pt(r, 24) + " size=" + Pt(r, 72) + " src=" + Pt(r, 32) + " srcsize=" + Pt(r, 40) +
               " rop=" + Hex(r.U32(68));
    case EMR_SETDIBITSTODEVICE:
        return "dest=" + Pt(r, 24) + " src=" + Pt(r, 32) + " size=" + Pt(r, 40) +
               " scans=" + std::to_string(r.U32(72));
    case EMR_GDICOMMENT:
        return "data=" + std::to_string(r.U32(8));
    default:
        return {};
    }
}

int Run(const qrptool::Args& args)
{
    const auto pos = qrptool::Positional(args, {});
    if (pos.size() != 1)
        throw qrptool::EUsage{"needs one input file"};
    std::ifstream in(pos[0], std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + pos[0]);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    TEmfReader reader(bytes.data(), bytes.size());
    if (!reader.Valid())
        throw std::runtime_error("Metafile is not valid");
    TRecordView r;
    while (reader.Next(r)) {
        const char* name = RecordTypeName(r.Type());
        const std::string typeName = name ? name : "type " + std::to_string(r.Type());
        const std::string fields = Fields(r);
        std::printf("%zu %s %u%s%s\n", reader.Index(), typeName.c_str(), r.Size(),
                    fields.empty() ? "" : " ", fields.c_str());
    }
    if (reader.Damaged())
        std::printf("damaged record at the end: the walk stops here\n");
    return 0;
}

const qrptool::TCommandRegistration registration("emf-dump", Run);

} // namespace
