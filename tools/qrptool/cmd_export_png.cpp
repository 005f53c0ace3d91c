// qrptool export-png FILE [--pages A-B] [--dpi N] -d OUTDIR: one PNG per page, all of
// them or none. The images are made in a private folder inside OUTDIR
// (".NAME.partial-XXXXXX") and moved to their names only once every page is written;
// a failure or an interruption removes the folder and what is in it.
#include "CanvasSize.h"
#include "Command.h"
#include "PageRange.h"
#include "PngFile.h"

#include "base/Errors.h"
#include "base/Interruption.h"
#include "base/OutputFile.h"
#include "base/ScreenMetrics.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QImage>
#include <QPainter>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// The folder the images are made in, removed with what is left in it.
class TStagingFolder {
public:
    TStagingFolder(const std::string& outDir, const std::string& stem)
    {
        std::string pattern = (std::filesystem::path(outDir) / ("." + stem + qrp::kPartialInfix + "XXXXXX")).string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        qrp::TSignalsBlocked blocked;
        if (::mkdtemp(buf.data()) == nullptr)
            throw qrp::EFCreateError("Cannot create a folder in \"" + outDir + "\". " + std::strerror(errno));
        path_ = buf.data();
        qrp::RemoveOnInterruption(path_, qrp::TRemoval::Folder);
    }
    ~TStagingFolder()
    {
        std::error_code ec;
        qrp::TSignalsBlocked blocked;
        std::filesystem::remove_all(path_, ec);
        qrp::KeepOnInterruption(path_);
    }
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Moves every image from the staging folder to its name, as one step that no
// interruption divides; when one cannot be moved, those moved already go again.
void Publish(const TStagingFolder& staging, const std::vector<std::pair<std::string, std::string>>& images)
{
    qrp::TSignalsBlocked blocked;
    std::size_t moved = 0;
    for (; moved < images.size(); ++moved) {
        const auto& [name, target] = images[moved];
        if (::rename((staging / name).c_str(), target.c_str()) != 0)
            break;
    }
    if (moved == images.size()) {
        if (!images.empty())
            qrp::SyncFolderOf(images.front().second);
        return;
    }
    const int cause = errno;
    for (std::size_t i = 0; i < moved; ++i)
        ::unlink(images[i].second.c_str());
    throw qrp::EFWriteError("Cannot write file \"" + images[moved].second + "\". " + std::strerror(cause));
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
    std::vector<std::pair<std::string, std::string>> images;  // name, path in OUTDIR
    std::vector<std::pair<std::string, std::string>> written; // path, what it holds
    for (int n = first; n <= last; ++n) {
        std::string number = std::to_string(n);
        number.insert(0, digits - number.size(), '0');
        const std::string name = stem + "-" + number + ".png";
        images.emplace_back(name, (fs::path(outDir) / name).string());
        // Checked for every page before anything is written.
        qrp::RefuseToOverwrite({files[0]}, images.back().second);
    }

    TStagingFolder staging(outDir, stem);
    for (int n = first; n <= last; ++n) {
        const auto picture = pages.ReadPage(n);
        if (!picture)
            throw std::runtime_error("page " + std::to_string(n) + " cannot be read");
        // The picture's size in screen pixels, brought to the requested resolution and
        // held to the image limits.
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

        const auto& [name, target] = images[static_cast<std::size_t>(n - first)];
        try {
            qrp::SavePng(image, staging / name);
        } catch (const qrp::EError& e) {
            // Named as the file it stands for.
            std::string message = e.what();
            const std::string staged = "\"" + staging / name + "\"";
            if (const auto at = message.find(staged); at != std::string::npos)
                message.replace(at, staged.size(), "\"" + target + "\"");
            throw qrp::EFWriteError(message);
        }
        written.emplace_back(target, "page " + std::to_string(n) + ", " + std::to_string(w) + " x " +
                                         std::to_string(h) + " pixels");
    }
    Publish(staging, images);
    for (const auto& [path, what] : written)
        ReportWritten(path, what);
    return 0;
}

const TCommandRegistration registration("export-png", RunExportPng);

} // namespace
} // namespace qrptool
