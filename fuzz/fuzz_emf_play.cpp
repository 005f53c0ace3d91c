// Loads and plays arbitrary bytes as an enhanced metafile onto a small image. Any input
// must end without a crash, a hang or unbounded memory.
#include "emf/EmfPlayer.h"
#include "emf/EmfReader.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>

namespace {

QGuiApplication& App()
{
    static int argc = 1;
    static char name[] = "fuzz_emf_play";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    App();
    qrp::emf::TEmfReader reader(data, size);
    if (reader.Valid()) {
        qrp::emf::TRecordView r;
        while (reader.Next(r)) {
        }
    }
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    qrp::PlayEmf(painter, data, size, QRectF(0, 0, 64, 48));
    painter.end();
    return 0;
}
