// qrp-thumbnailer -s SIZE INPUT OUTPUT: page 1 of a saved report as a PNG no larger
// than SIZE x SIZE, for file managers. It reads the page straight from the page list
// (no printer, no printing system) so that a thumbnail costs little more than one
// play of the page. The image is written under a temporary name next to OUTPUT and
// renamed only when complete: a failure never leaves a broken thumbnail behind.
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kMaxSize = 4096;

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: qrp-thumbnailer -s SIZE INPUT OUTPUT\n\n"
                 "Draws page 1 of the saved report INPUT within SIZE x SIZE pixels (1 to %d),\n"
                 "keeping its proportions, and writes it to OUTPUT as a PNG image.\n",
                 kMaxSize);
}

struct TArguments {
    int Size = 0;
    std::string Input, Output;
};

// Throws std::invalid_argument with the reason.
TArguments Parse(int argc, char** argv)
{
    TArguments a;
    bool haveSize = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-s" || arg == "--size") {
            if (i + 1 >= argc)
                throw std::invalid_argument("option " + arg + " needs a value");
            const std::string v = argv[++i];
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (errno != 0 || end == v.c_str() || *end != '\0' || n < 1 || n > kMaxSize)
                throw std::invalid_argument("size must be a whole number from 1 to " +
                                            std::to_string(kMaxSize) + ", not \"" + v + "\"");
            a.Size = static_cast<int>(n);
            haveSize = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (!haveSize)
        throw std::invalid_argument("the size (-s SIZE) is missing");
    if (positional.size() != 2)
        throw std::invalid_argument("expected INPUT and OUTPUT");
    a.Input = positional[0];
    a.Output = positional[1];
    return a;
}

// File managers may hand over a file:// URI instead of a path.
QString LocalPath(const std::string& arg)
{
    const QString s = QString::fromStdString(arg);
    if (s.startsWith(QLatin1String("file://")))
        return QUrl(s).toLocalFile();
    return s;
}

QImage RenderFirstPage(const QString& input, int size)
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
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    qrp::PlayMetafile(painter, *picture, QRectF(0, 0, tw, th));
    painter.end();
    return image;
}

void WritePng(const QImage& image, const QString& output)
{
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create \"" + output.toStdString() + "\": " +
                                 file.errorString().toStdString());
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        throw std::runtime_error("cannot write \"" + output.toStdString() + "\"");
    }
    if (!file.commit())
        throw std::runtime_error("cannot write \"" + output.toStdString() + "\": " +
                                 file.errorString().toStdString());
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("qrp-thumbnailer %s\n", QRP_VERSION);
            return 0;
        }
    }
    TArguments args;
    try {
        args = Parse(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s\n", e.what());
        Usage(stderr);
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

    try {
        WritePng(RenderFirstPage(LocalPath(args.Input), args.Size), LocalPath(args.Output));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrp-thumbnailer: %s: %s\n", args.Input.c_str(), e.what());
        return 1;
    }
    return 0;
}
