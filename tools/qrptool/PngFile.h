#pragma once
// Writing an image as a PNG file, all or nothing: encoded in memory first, then
// written through a temporary file that replaces the target once complete.
#include "base/OutputFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <string>

namespace qrp {

// What the image is for: a document keeps the usual compression and is flushed to the
// disk; a thumbnail, read and kept by the file manager at once, is compressed at the
// quickest level and not flushed.
enum class TPngUse { Document, Thumbnail };

// Fails with EFWriteError ("Cannot write file "PATH". cause"); on failure no file is
// left and an earlier file at path is untouched.
inline void SavePng(const QImage& image, const std::string& path, TPngUse use = TPngUse::Document)
{
    TOutputFile out(path, use == TPngUse::Thumbnail ? TDurability::Cache : TDurability::OnDisk);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "PNG");
        // Qt maps quality 0-100 onto zlib's levels 9-0: 85 is level 1, half the time of
        // the default level for a thumbnail some 3 KB larger.
        if (use == TPngUse::Thumbnail)
            writer.setQuality(85);
        if (!writer.write(image))
            out.Fail("The image cannot be encoded as PNG");
    }
    out.WriteBuffer(png.constData(), png.size());
    out.Commit();
}

} // namespace qrp
