// qrptool export-png FILE [--pages A-B] [--dpi N] -d OUTDIR: one PNG per page.
#include "CanvasSize.h"
#include "Command.h"
#include "PageRange.h"

#include "base/ScreenMetrics.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrptool {
namespace {

constexpr int kMaxDpi = 1200;

// "A-B" or "N", checked against the report by the one page rule; the whole report
// when empty.
TPageRange ParseRange(const std::string& text, int count)
{
    if (text.empty())
        return CheckPageRange(std::nullopt, std::nullopt, count);
    auto number = [&](const std::string& s) {
        try {
            return WholeNumber(s, "--pages");
        } catch (const EUsage&) {
            throw EUsage{"--pages needs A-B or N, not \"" + text + "\""};
        }
    };
    const auto dash = text.find('-', 1);
    if (dash == std::string::npos)
        return CheckPageRange(number(text), number(text), count);
    return CheckPageRange(number(text.substr(0, dash)), number(text.substr(dash + 1)), count);
}

int RunExportPng(const Args& args)
{
    namespace fs = std::filesystem;
    const Args files = Positional(args, {"--pages", "--dpi", "-d"});
    if (files.size() != 1)
        throw EUsage{"expected one FILE"};
    const std::string outDir = OptionValue(args, "-d");
    if (outDir.empty())
        throw EUsage{"-d OUTDIR is required"};
    const long long dpi = IntOption(args, "--dpi", 96);
    if (dpi < 1 || dpi > kMaxDpi)
        throw EUsage{"--dpi must be from 1 to " + std::to_string(kMaxDpi)};

    qrp::TQRPageList pages;
    pages.OpenFile(files[0]);
    const TPageRange range = ParseRange(OptionValue(args, "--pages"), pages.Count());
    if (pages.Count() < 1)
        throw std::runtime_error("the report has no pages");
    const int first = range.First, last = range.Last;

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir))
        throw std::runtime_error("cannot create the folder " + outDir);

    const std::string stem = fs::path(files[0]).stem().string();
    const int digits = static_cast<int>(std::to_string(pages.Count()).size());
    std::vector<std::pair<std::string, std::string>> written; // path, what it holds
    try {
        for (int n = first; n <= last; ++n) {
            const auto picture = pages.ReadPage(n);
            if (!picture)
                throw std::runtime_error("page " + std::to_string(n) + " cannot be read");
            // The picture's size in screen pixels, brought to the requested resolution
            // and held to the image limits.
            const double scale = double(dpi) / qrp::ScreenPixelsPerInch();
            const double askedW = picture->Width() * scale, askedH = picture->Height() * scale;
            if (std::lround(askedW) < 1 || std::lround(askedH) < 1)
                throw std::runtime_error("page " + std::to_string(n) + " would be " +
                                         PixelsText(std::round(askedW), std::round(askedH)));
            const TCanvasSize fitted = FitCanvas(askedW, askedH);
            const long w = fitted.Width, h = fitted.Height;
            if (fitted.Reduced)
                std::fprintf(stderr, "qrptool export-png: %s\n",
                             ReducedText("page " + std::to_string(n) + " at " + std::to_string(dpi) + " dpi", askedW,
                                         askedH, fitted)
                                 .c_str());
            QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
            if (image.isNull())
                throw std::runtime_error("not enough memory for page " + std::to_string(n));
            image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
            image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            qrp::PlayMetafile(painter, *picture, QRectF(0, 0, w, h));
            painter.end();

            std::string number = std::to_string(n);
            number.insert(0, digits - number.size(), '0');
            const std::string out = (fs::path(outDir) / (stem + "-" + number + ".png")).string();
            if (fs::equivalent(files[0], out, ec))
                throw std::runtime_error("the image would replace the report " + files[0]);
            QSaveFile file(QString::fromStdString(out));
            if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
                throw std::runtime_error("cannot write " + out);
            written.emplace_back(out, "page " + std::to_string(n) + ", " + std::to_string(w) + " x " +
                                          std::to_string(h) + " pixels");
        }
    } catch (...) {
        // All pages or none: the images of this run go again.
        for (const auto& f : written)
            fs::remove(f.first, ec);
        throw;
    }
    for (const auto& [path, what] : written)
        ReportWritten(path, what);
    return 0;
}

const TCommandRegistration registration("export-png", RunExportPng);

} // namespace
} // namespace qrptool
