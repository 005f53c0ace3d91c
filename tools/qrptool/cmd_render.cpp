// qrptool render FILE --page N [--zoom Z] -o OUT.png: one page as the preview shows it.
#include "CanvasSize.h"
#include "Command.h"
#include "PageRange.h"
#include "PngFile.h"

#include "base/OutputFile.h"
#include "base/ScreenMetrics.h"
#include "preview/PageSheet.h"
#include "printer/QRPrinter.h"

#include <QImage>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace qrptool {
namespace {

int RunRender(const Args& args)
{
    const Args files = Positional(args, {"--page", "--zoom", "-o"});
    if (files.size() != 1)
        throw EUsage{"expected one FILE"};
    if (!HasFlag(args, "--page"))
        throw EUsage{"--page N is required"};
    const std::string out = OptionValue(args, "-o");
    if (out.empty())
        throw EUsage{"-o OUT.png is required"};
    const long long page = IntOption(args, "--page", 0);
    const long long zoom = IntOption(args, "--zoom", 100);
    if (zoom < 2 || zoom > 2000)
        throw std::runtime_error("zoom " + std::to_string(zoom) + " is outside 2..2000");
    qrp::RefuseToOverwrite({files[0]}, out);

    // Pages are measured at 96 pixels per inch, whatever the display.
    qrp::SetScreenPixelsPerInch(96);
    qrp::TQRPrinter printer;
    printer.LoadReport(files[0]);
    const int n = CheckPage(page, printer.PageTotal());
    // The page's image at that zoom, held to the image limits.
    const QSize asked = qrp::PageImageSize(&printer, static_cast<int>(zoom));
    const TCanvasSize fitted = FitCanvas(asked.width(), asked.height());
    if (fitted.Reduced)
        std::fprintf(stderr, "qrptool render: %s\n",
                     ReducedText("page " + std::to_string(n) + " at " + std::to_string(zoom) + " %", asked.width(),
                                 asked.height(), fitted)
                         .c_str());
    const QImage image = qrp::RenderPreviewPage(printer, n, QSize(fitted.Width, fitted.Height));

    qrp::SavePng(image, out);
    ReportWritten(out, "page " + std::to_string(n) + " at " + std::to_string(zoom) + " %, " +
                           std::to_string(image.width()) + " x " + std::to_string(image.height()) + " pixels");
    return 0;
}

const TCommandRegistration registration("render", RunRender);

} // namespace
} // namespace qrptool
