#include "app/Assets.h"

static void InitAssetResources()
{
    Q_INIT_RESOURCE(assets);
}

namespace qrp {

namespace {

QPixmap KeyedPixmap(const QImage& image)
{
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0x00ffffffu) == 0x00ff00ffu)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(img);
}

} // namespace

void InitAssets()
{
    static const bool done = [] {
        InitAssetResources();
        return true;
    }();
    (void)done;
}

QImage GlyphStrip(const QString& name)
{
    InitAssets();
    return QImage(QStringLiteral(":/assets/glyphs/%1.png").arg(name));
}

QIcon GlyphIcon(const QString& name)
{
    const QImage strip = GlyphStrip(name);
    QIcon icon;
    if (strip.isNull())
        return icon;
    const int w = strip.width() / 2;
    icon.addPixmap(KeyedPixmap(strip.copy(0, 0, w, strip.height())), QIcon::Normal);
    icon.addPixmap(KeyedPixmap(strip.copy(w, 0, w, strip.height())), QIcon::Disabled);
    return icon;
}

QPixmap LogoPixmap()
{
    InitAssets();
    return QPixmap(QStringLiteral(":/assets/logo.png"));
}

QPixmap PrintDialogPixmap()
{
    InitAssets();
    return QPixmap(QStringLiteral(":/assets/print_dialog.png"));
}

QIcon ProgramIcon()
{
    InitAssets();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/assets/icons/visualizar-reportes-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace qrp
