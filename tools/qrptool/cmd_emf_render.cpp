// qrptool emf-render: plays a bare enhanced metafile onto a white image and saves it.
#include "CanvasSize.h"
#include "Command.h"
#include "PngFile.h"

#include "base/OutputFile.h"

#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int Run(const qrptool::Args& args)
{
    const auto pos = qrptool::Positional(args, {"-o", "--dpi", "--width", "--height"});
    const std::string out = qrptool::OptionValue(args, "-o");
    if (pos.size() != 1 || out.empty())
        throw qrptool::EUsage{"needs one input file and -o OUT.png"};
    const long long dpi = qrptool::IntOption(args, "--dpi", 96);
    const long long w = qrptool::IntOption(args, "--width", 0);
    const long long h = qrptool::IntOption(args, "--height", 0);
    if (dpi <= 0 || dpi > 4800)
        throw qrptool::EUsage{"--dpi must be between 1 and 4800"};
    if ((w != 0) != (h != 0) || w < 0 || h < 0 || w > qrptool::kMaxCanvasSide || h > qrptool::kMaxCanvasSide)
        throw qrptool::EUsage{"--width and --height go together, each 1 to " +
                              std::to_string(qrptool::kMaxCanvasSide)};
    if (w != 0 && !qrptool::CanvasAllowed(w, h))
        throw qrptool::EUsage{"--width x --height may be at most " + std::to_string(qrptool::kMaxCanvasArea) +
                              " pixels in all, not " + qrptool::PixelsText(double(w), double(h))};

    qrp::RefuseToOverwrite({pos[0]}, out);
    const std::vector<std::uint8_t> bytes = ReadAll(pos[0]);
    qrp::TEmfHeaderInfo header;
    if (!qrp::emf::ReadEmfHeader(bytes.data(), bytes.size(), header))
        throw std::runtime_error("Metafile is not valid");
    int width = int(w), height = int(h);
    if (width == 0) {
        // Natural size: the frame (0.01 mm) at the resolution asked for, held to the
        // image limits.
        const double naturalW = (double(header.Frame.Right) - header.Frame.Left) * double(dpi) / 2540.0;
        const double naturalH = (double(header.Frame.Bottom) - header.Frame.Top) * double(dpi) / 2540.0;
        const qrptool::TCanvasSize fitted = qrptool::FitCanvas(naturalW, naturalH);
        width = fitted.Width;
        height = fitted.Height;
        if (fitted.Reduced)
            std::fprintf(stderr, "qrptool emf-render: %s\n",
                         qrptool::ReducedText("the picture at " + std::to_string(dpi) + " dpi", naturalW, naturalH,
                                              fitted)
                             .c_str());
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw std::runtime_error("not enough memory for an image of " + qrptool::PixelsText(width, height));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        qrp::PlayEmf(painter, bytes.data(), bytes.size(), QRectF(0, 0, width, height));
    }
    qrp::SavePng(image, out);
    qrptool::ReportWritten(out, std::to_string(width) + " x " + std::to_string(height) + " pixels");
    return 0;
}

const qrptool::TCommandRegistration registration("emf-render", Run);

} // namespace
