// The drawing half of qrp-thumbnailer. It reads the page straight from the page list
// (no printer, no printing system) so that a thumbnail costs little more than one
// play of the page. The image is written under a temporary name next to OUTPUT and
// renamed only when complete: a failure or an interruption never leaves a broken
// thumbnail behind, and OUTPUT is never the report itself.
#include "Arguments.h"
#include "RunLimits.h"

#include "base/Errors.h"
#include "base/Interruption.h"
#include "base/OutputFile.h"
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"
#include "tools/qrptool/PngFile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// File managers may hand over a file:// URI instead of a path.
QString LocalPath(const std::string& arg)
{
    const QString s = QString::fromStdString(arg);
    if (s.startsWith(QLatin1String("file://")))
        return QUrl(s).toLocalFile();
    return s;
}

QImage RenderFirstPage(const QString& input, int size, void (*fontsRead)())
{
    qrp::TQRPageList pages;
    pages.OpenFile(input.toStdString());
    if (pages.Count() < 1)
        throw std::runtime_error("the report has no pages");
    const std::unique_ptr<qrp::TMetafile> picture = pages.ReadPage(1);
    if (!picture || picture->Empty())
        throw std::runtime_error("page 1 cannot be read");
    const int w = picture->Width(), h = picture->Height();
    if (w <= 0 || h <= 0)
        throw std::runtime_error("page 1 has no size");

    // The longer side becomes SIZE; the other keeps the page's proportions.
    const double scale = double(size) / std::max(w, h);
    const int tw = std::clamp(static_cast<int>(std::lround(w * scale)), 1, size);
    const int th = std::clamp(static_cast<int>(std::lround(h * scale)), 1, size);

    QImage image(tw, th, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    // Everything up to here ran beside the reading of the font configuration.
    fontsRead();
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    qrp::PlayMetafile(painter, *picture, QRectF(0, 0, tw, th));
    painter.end();
    return image;
}

// A number of seconds as the command line would give it: "2", "0.5".
std::string LimitText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::string MemoryText(long mib)
{
    if (mib <= 0)
        return "not enough memory";
    return "needs more than " + std::to_string(mib) + " MiB of memory";
}

} // namespace

extern "C" __attribute__((visibility("default"))) int QrpModuleMain(int argc, char** argv, void (*fontsRead)())
{
    using namespace qrp::thumbnailer;
    qrp::CleanUpOnInterruption();
    TArguments args;
    try {
        args = Parse(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s\n", e.what());
        return 1;
    }

    // The page is read and drawn within the limits of the run; past the deadline the
    // watchdog ends the process (nothing is written before the drawing is done).
    const std::string input = args.Input;
    TDrawingDeadline deadline(args.TimeLimit, "qrp-thumbnailer: " + input + ": took longer than " +
                                                  LimitText(args.TimeLimit) + " s; no thumbnail written");
    CatchCrashes("qrp-thumbnailer: " + input + ": the page could not be drawn" +
                 (args.MemoryLimit > 0 ? " within " + std::to_string(args.MemoryLimit) + " MiB of memory" : "") +
                 "; no thumbnail written");
    try {
        LimitMemory(args.MemoryLimit);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s\n", e.what());
        return 1;
    }

    // Thumbnailers run from file managers and session services, often with no display
    // of their own: the page is drawn off screen either way.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "qrp-thumbnailer: %s\n", qPrintable(text));
    });
    QGuiApplication app(argc, argv);
    // PNG is built into Qt: without plugin folders, writing the image does not first
    // open every image format plugin installed.
    QCoreApplication::setLibraryPaths({});

    try {
        const QString input = LocalPath(args.Input), output = LocalPath(args.Output);
        qrp::RefuseToOverwrite({input.toStdString()}, output.toStdString());
        const QImage image = RenderFirstPage(input, args.Size, fontsRead);
        deadline.Finish();
        CatchCrashesEnd();
        qrp::SavePng(image, output.toStdString(), qrp::TPngUse::Thumbnail);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qrp-thumbnailer: %s: %s; no thumbnail written\n", args.Input.c_str(),
                     MemoryText(args.MemoryLimit).c_str());
        return 1;
    } catch (const qrp::EOutOfMemory&) {
        std::fprintf(stderr, "qrp-thumbnailer: %s: %s; no thumbnail written\n", args.Input.c_str(),
                     MemoryText(args.MemoryLimit).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s: %s\n", args.Input.c_str(), e.what());
        return 1;
    }
    return 0;
}
