#pragma once
// The dense report page the start-up and thumbnail benchmarks draw: a full table of
// text, rules and shading, written once per run as dense.qrp in the program's
// benchmark folder, so that whole programs can be timed on it too.
#include "bench/support/BenchFolder.h"
#include "emf/Metafile.h"
#include "emf/MetafileCanvas.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <QFont>
#include <QPainter>

#include <memory>
#include <string>

namespace qrp::bench {

inline std::string DenseReportPath()
{
    static const std::string path = [] {
        const std::string p = BenchFile("dense.qrp");
        qrp::TQRPageList list;
        list.SetStorage(std::make_unique<qrp::TQRStream>(100000));
        qrp::TMetafile picture;
        picture.SetWidth(794);
        picture.SetHeight(1123);
        {
            qrp::TMetafileCanvas canvas(picture);
            QPainter p(&canvas);
            QFont font("Liberation Sans");
            font.setPixelSize(11);
            p.setFont(font);
            p.fillRect(QRect(40, 40, 714, 60), QColor(220, 220, 220));
            p.drawText(QRect(40, 40, 714, 60), Qt::AlignCenter, "Informe de Ventas por Zona");
            for (int row = 0; row < 60; ++row) {
                const int y = 120 + row * 16;
                if (row % 2)
                    p.fillRect(QRect(40, y, 714, 16), QColor(240, 240, 240));
                p.drawLine(40, y + 16, 754, y + 16);
                for (int col = 0; col < 7; ++col) {
                    const QRect cell(40 + col * 102, y, 98, 16);
                    p.drawText(cell, (col ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                               col ? QString::number(row * 1234.5 + col * 17.25, 'f', 2)
                                   : QString("Cliente %1").arg(row + 1));
                }
            }
            p.drawText(QRect(40, 1090, 714, 20), Qt::AlignCenter, "Página 1 de 1");
            p.end();
            canvas.Finish();
        }
        list.AppendPage(picture);
        list.Complete();
        list.CopyToFile(p);
        return p;
    }();
    return path;
}

} // namespace qrp::bench
