// The painting half of bench_first_play: the page is played as the preview plays it at
// zoom 100, into an image of its own size, first and then four more times. The image
// is made (and its memory touched) before the first play: what the plays are compared
// on is the text set-up, fonts and glyphs, not fresh memory.
#include "emf/EmfPlayer.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

double PlayOnce(const qrp::TMetafile& picture, QImage& image)
{
    const auto start = std::chrono::steady_clock::now();
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    qrp::PlayMetafile(painter, picture, QRectF(0, 0, image.width(), image.height()));
    painter.end();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

extern "C" __attribute__((visibility("default"))) int QrpModuleMain(int argc, char** argv, void (*fontsRead)())
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_first_play REPORT\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The font configuration was being read while the application object was made.
    fontsRead();
    try {
        qrp::TQRPageList pages;
        pages.OpenFile(argv[1]);
        const auto picture = pages.ReadPage(1);
        if (!picture)
            throw std::runtime_error("the report has no page 1");
        QImage image(picture->Width(), picture->Height(), QImage::Format_RGB32);
        image.fill(Qt::white);
        const double first = PlayOnce(*picture, image);
        double next = PlayOnce(*picture, image);
        for (int i = 0; i < 3; ++i)
            next = std::min(next, PlayOnce(*picture, image));
        std::printf("%.3f %.3f\n", first, next);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_first_play: %s\n", e.what());
        return 1;
    }
    return 0;
}
