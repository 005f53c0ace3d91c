#include "printer/PdfExport.h"

#include "base/Errors.h"
#include "base/OutputFile.h"
#include "emf/EmfPlayer.h"
#include "platform/ScriptedPrinterDevice.h"
#include "printer/PdfDocumentInfo.h"
#include "printer/QRPrinter.h"
#include "storage/PageList.h"

#include <QByteArray>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

namespace qrp {

std::unique_ptr<TPrinterDevice> CreatePdfPaperDevice()
{
    TScriptedQueue q;
    q.Name = "PDF file";
    q.Driver = "PDF writer";
    q.Port = "file:";
    q.Defaults.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES;
    q.Defaults.dmPaperSize = 9;
    q.DpiX = q.DpiY = 1200;
    q.PhysicalWidth = 9921; // A4 at 1200 dots per inch
    q.PhysicalHeight = 14031;
    // Letter Small, A4 Small and Note duplicate Letter and A4 on a PDF page.
    q.Papers.clear();
    for (std::int16_t code = 1; code <= 26; ++code)
        if (code != 2 && code != 10 && code != 18)
            q.Papers.push_back(code);
    q.Papers.push_back(DMPAPER_USER);
    return std::make_unique<TScriptedPrinterDevice>(std::vector<TScriptedQueue>{q});
}

namespace {

QPageSize PdfPageSize(TQRPrinter& printer)
{
    const TQRPaperSize size = printer.PaperSize();
    QSizeF mm;
    if (size == TQRPaperSize::Default || size == TQRPaperSize::Custom) {
        mm = QSizeF(printer.DeviceSettings().PaperWidth() / 10.0, printer.DeviceSettings().PaperLength() / 10.0);
    } else {
        const auto& metrics = PaperMetrics[static_cast<int>(size) - 1];
        mm = QSizeF(static_cast<double>(metrics[0]), static_cast<double>(metrics[1]));
    }
    if (mm.width() <= 0 || mm.height() <= 0)
        mm = QSizeF(210, 297);
    return QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
}

// The writer's bytes into an output file, gathered into large writes. A failed write
// is kept to be reported (Qt's writer only learns that a write did not go through)
// and fails every later one.
class TOutputDevice : public QIODevice {
public:
    explicit TOutputDevice(TOutputFile& out) : out_(out) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    // Writes what is gathered; false when any write failed.
    bool Flush()
    {
        if (failure_.empty() && !pending_.isEmpty()) {
            try {
                out_.WriteBuffer(pending_.constData(), pending_.size());
            } catch (const EError& e) {
                failure_ = e.what();
            }
            pending_.clear();
        }
        return failure_.empty();
    }
    // The first failure, "Cannot write file ...".
    const std::string& Failure() const { return failure_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        if (!failure_.empty())
            return -1;
        pending_.append(data, len);
        if (pending_.size() >= kChunk && !Flush())
            return -1;
        return len;
    }

private:
    static constexpr qsizetype kChunk = 1 << 16;
    TOutputFile& out_;
    QByteArray pending_;
    std::string failure_;
};

} // namespace

int ExportReportToPdf(TQRPrinter& printer, const std::string& outPath, int from, int to, bool archival)
{
    const int first = std::max(from != 0 ? from : 1, 1);
    const int last = std::min(to != 0 ? to : printer.PageTotal(), printer.PageTotal());
    if (printer.State() != rsFinished || last < first)
        throw EError("No page of the report lies in the range " + std::to_string(from) + " to " +
                     std::to_string(to) + " (the report has " + std::to_string(printer.PageTotal()) + " pages)");

    // Written beside the target under a temporary name; every write is checked, and
    // the file takes the target's name only once it is complete.
    TOutputFile out(outPath);
    TOutputDevice file(out);
    // The writer goes on after a failed write; stop at the first.
    const auto checkWrites = [&] {
        if (!file.Failure().empty())
            throw EFWriteError(file.Failure());
    };
    TPdfDocumentInfo info;
    info.Title = QString::fromStdString(printer.JobTitle());
    info.Creator = QStringLiteral("Visualizar Reportes");
    info.Producer = QStringLiteral("Visualizar Reportes (Qt %1)").arg(QString::fromLatin1(qVersion()));
    info.WrittenAt = printer.LoadedFromFile() ? printer.PageList().LastHeader().WrittenAt() : 0;
    info.FirstPageNumber = first;
    TPdfCapture capture(file);
    int written = 0;
    {
        QPdfWriter writer(&capture);
        writer.setCreator(info.Creator);
        writer.setTitle(info.Title);
        if (archival) {
            writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
            writer.setDocumentXmpMetadata(PdfXmpMetadata(info));
        }
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(PdfPageSize(printer),
                                         printer.Orientation() == poLandscape ? QPageLayout::Landscape
                                                                              : QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer))
            throw EFCreateError("Cannot create file \"" + outPath + "\". The PDF writer did not start");
        const QRectF sheet(0, 0, writer.width(), writer.height());
        for (int i = first; i <= last; ++i) {
            if (i > first)
                writer.newPage();
            // One page at a time: fetched, played and freed before the next.
            if (const std::unique_ptr<TMetafile> picture = printer.PagePicture(i))
                PlayMetafile(painter, *picture, sheet);
            ++written;
            checkWrites();
        }
        painter.end();
    }
    file.Flush();
    checkWrites();
    const QByteArray update = PdfInfoUpdate(capture, info);
    file.write(update);
    file.Flush();
    checkWrites();
    out.Commit();
    return written;
}

} // namespace qrp
