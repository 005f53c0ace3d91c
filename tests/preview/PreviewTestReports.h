#pragma once
// Saved reports for the preview and host tests, written through the page list with
// pages recorded by the EMF writer, and report printers on a scripted device.
#include "emf/EmfRecords.h"
#include "emf/EmfWriter.h"
#include "emf/Metafile.h"
#include "platform/ScriptedPrinterDevice.h"
#include "printer/QRPrinter.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace qrp::test {

using namespace qrp::emf;

// Paper frames in 0.01 mm, inclusive.
inline constexpr TEmfRectL kA4Frame{0, 0, 20999, 29699};
inline constexpr TEmfRectL kLetterFrame{0, 0, 21589, 27939};

inline std::uint32_t ColorRef(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16);
}

// One page at 96 pixels per inch: a solid box of the given colour from (x0,y0) to
// (x1,y1) in page pixels, and `rows` lines of ruled text below it (a dense page).
inline std::vector<std::uint8_t> PageBytes(const TEmfRectL& frame, std::uint32_t color,
                                           TEmfRectL box = {200, 300, 600, 800}, int rows = 0) {
    TEmfWriter w(frame, TReferenceDevice::AtResolution(96));
    const std::uint32_t brush = w.CreateBrushIndirect(BS_SOLID, color);
    w.SelectObject(brush);
    w.SelectStockObject(NULL_PEN);
    w.Rectangle(box);
    if (rows > 0) {
        TEmfWriter::TLogFont font;
        font.Height = -12;
        font.FaceName = u"Liberation Sans";
        const std::uint32_t f = w.ExtCreateFontIndirectW(font);
        w.SelectObject(f);
        w.SelectStockObject(BLACK_PEN);
        static const std::u16string line = u"Factura 000123  Cliente Comercial del Norte S.A.  1.234,56";
        for (int r = 0; r < rows; ++r) {
            const int y = 40 + r * 16;
            TEmfWriter::TTextOut t;
            t.Reference = {40, y};
            t.Text = line;
            t.Bounds = {40, y, 700, y + 14};
            w.ExtTextOutW(t);
            w.MoveToEx(40, y + 15);
            w.LineTo(740, y + 15);
        }
    }
    return w.Finish();
}

// Writes a report of the given pages to path.
inline std::string WriteReport(const std::string& path, const std::vector<std::vector<std::uint8_t>>& pages) {
    TQRPageList list;
    list.SetClock([] { return 36526.0; });
    list.SetStorage(std::make_unique<TQRStream>(100000));
    for (const auto& bytes : pages) {
        TMetafile m;
        m.LoadFromBytes(bytes);
        list.AppendPage(m);
    }
    list.Complete();
    list.CopyToFile(path);
    return path;
}

// pages pages on one paper, page k with a box in a colour of its own.
inline std::string WriteColoredReport(const std::string& path, const TEmfRectL& frame, int pages, int rows = 0) {
    std::vector<std::vector<std::uint8_t>> all;
    for (int k = 1; k <= pages; ++k)
        all.push_back(PageBytes(frame, ColorRef(255, (k * 40) % 256, 0), {200, 300, 600, 800}, rows));
    return WriteReport(path, all);
}

// The colour of page k's box, as WriteColoredReport draws it.
inline QColor PageColor(int k) { return QColor(255, (k * 40) % 256, 0); }

// A report printer on a scripted A4/Letter device, so nothing depends on the machine's
// print queues.
inline std::unique_ptr<TQRPrinter> MakeScriptedPrinter() {
    std::vector<TScriptedQueue> queues{TScriptedQueue{}};
    return std::make_unique<TQRPrinter>(std::make_unique<TScriptedPrinterDevice>(std::move(queues), 0), 0);
}

} // namespace qrp::test
