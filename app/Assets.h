#pragma once
// The program's artwork, compiled in as Qt resources.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace qrp {

// Makes the compiled-in artwork reachable (the resources live in a static library).
void InitAssets();

// A two-image glyph strip ("open", "zoom_in", ...): normal image, disabled image, on
// the key colour (255, 0, 255).
QImage GlyphStrip(const QString& name);
// The strip as an icon: the first image for the normal look, the second for the
// disabled look, the key colour transparent.
QIcon GlyphIcon(const QString& name);
QPixmap LogoPixmap();
QPixmap PrintDialogPixmap();
QIcon ProgramIcon();

} // namespace qrp
