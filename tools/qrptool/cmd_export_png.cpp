// qrptool export-png FILE [--pages A-B] [--dpi N] -d OUTDIR: one PNG per page.
#include "Command.h"

#include "base/ScreenMetrics.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrptool {
namespace {

constexpr int kMaxDpi = 1200;
constexpr int kMaxSide = 20000; // pixels; larger pages are refused rather than allocated

// "A-B" or "N"; the whole report when empty.
void ParseRange(const std::string& text, int count, int& first, int& last)
{
    first = 1;
    last = count;
    if (text.empty())
        return;
    auto number = [&](const std::string& s) {
        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 9)
            throw EUsage{"--pages needs A-B or N, not \"" + text + "\""};
        return std::stoi(s);
    };
    const auto dash = text.find('-');
    if (dash == std::string::npos) {
        first = last = number(text);
    } else {
        first = number(text.substr(0, dash));
        last = number(text.substr(dash + 1));
    }
    if (first < 1 || last > count || first > last)
        throw std::runtime_error("pages " + text + " are outside the report (1.." + std::to_string(count) + ")");
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
    int first = 0, last = 0;
    ParseRange(OptionValue(args, "--pages"), pages.Count(), first, last);
    if (pages.Count() < 1)
        throw std::runtime_error("the report has no pages");

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir))
        throw std::runtime_error("cannot create the folder " + outDir);

    const std::string stem = fs::path(files[0]).stem().string();
    const int digits = static_cast<int>(std::to_string(pages.Count()).size());
    std::vector<std::string> written;
    try {
        for (int n = first; n <= last; ++n) {
            const auto picture = pages.ReadPage(n);
            if (!picture)
                throw std::runtime_error("page " + std::to_string(n) + " cannot be read");
            // The picture's size in screen pixels, brought to the requested resolution.
            const double scale = double(dpi) / qrp::ScreenPixelsPerInch();
            const long w = std::lround(picture->Width() * scale), h = std::lround(picture->Height() * scale);
            if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
                throw std::runtime_error("page " + std::to_string(n) + " would be " + std::to_string(w) + " x " +
                                         std::to_string(h) + " pixels");
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
            written.push_back(out);
        }
    } catch (...) {
        // All pages or none: the images of this run go again.
        for (const auto& f : written)
            fs::remove(f, ec);
        throw;
    }
    for (const auto& f : written)
        std::printf("%s\n", f.c_str());
    return 0;
}

TCommandRegistration registration{{
    "export-png",
    "export-png FILE [--pages A-B] [--dpi N] -d OUTDIR",
    "Draws each page of the saved report FILE on white and writes it as a PNG image,\n"
    "OUTDIR/NAME-PAGE.png (the page number padded to the width of the page count).\n"
    "When a page fails, the images already written by the run are removed again.\n\n"
    "  --pages A-B  pages A to B (or one page N); all pages by default\n"
    "  --dpi N      resolution in pixels per inch, 1..1200, default 96\n"
    "  -d OUTDIR    the folder for the images (made when missing)",
    RunExportPng,
}};

} // namespace
} // namespace qrptool
