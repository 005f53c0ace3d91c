#pragma once
// Helpers for the tests that run the built programs: running one and collecting its
// output, and writing saved reports whose pages are drawn with QPainter on the
// recording canvas, as reports are produced.
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

namespace qrp::test {

struct TRunResult {
    int ExitCode = -1;
    QByteArray Out, Err;
};

// `extra` adds to (or replaces in) the environment the program runs with.
inline TRunResult RunProgram(const QString& program, const QStringList& args, int timeoutMs = 120000,
                             const QProcessEnvironment& extra = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert(extra);
    p.setProcessEnvironment(env);
    p.start(program, args);
    TRunResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = p.readAllStandardOutput();
    r.Err = p.readAllStandardError();
    return r;
}

// Draws page `n` (1-based) of `count` on a painter sized in screen pixels.
using TPageDrawer = std::function<void(QPainter&, int n, int count)>;

// Small blocks in many colours: pages whose images and EMF records do not compress
// into a few bytes.
inline void DrawMosaic(QPainter& p, int n, int)
{
    QRandomGenerator rng(static_cast<quint32>(n));
    for (int i = 0; i < 3000; ++i)
        p.fillRect(QRect(rng.bounded(780), rng.bounded(1110), 12, 12), QColor::fromRgb(rng.generate()));
}

// Writes a saved report of `count` pages of widthPx x heightPx screen pixels.
inline void WriteReport(const std::string& path, int count, const TPageDrawer& draw,
                        int widthPx = 794, int heightPx = 1123)
{
    TQRPageList list;
    list.SetStorage(std::make_unique<TQRStream>(100000));
    for (int n = 1; n <= count; ++n) {
        TMetafile picture;
        picture.SetWidth(widthPx);
        picture.SetHeight(heightPx);
        {
            TMetafileCanvas canvas(picture);
            QPainter painter(&canvas);
            draw(painter, n, count);
            painter.end();
            canvas.Finish();
        }
        list.AppendPage(picture);
    }
    list.Complete();
    list.CopyToFile(path);
}

} // namespace qrp::test
