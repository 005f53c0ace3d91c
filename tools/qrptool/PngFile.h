#pragma once
// Writing an image as a PNG file, all or nothing: encoded in memory first, then
// written through a temporary file that replaces the target once complete.
#include "base/OutputFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <string>

namespace qrp {

// Fails with EFWriteError ("Cannot write file "PATH". cause"); on failure no file is
// left and an earlier file at path is untouched.
inline void SavePng(const QImage& image, const std::string& path)
{
    TOutputFile out(path);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            out.Fail("The image cannot be encoded as PNG");
    }
    out.WriteBuffer(png.constData(), png.size());
    out.Commit();
}

} // namespace qrp
