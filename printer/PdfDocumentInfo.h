#pragma once
// The document information of an exported PDF: title, creator, producer and the
// report's own date, and a page label "Página n" per page. Qt's PDF writer dates a file
// when it writes it and knows no page labels, so these are added to the finished file
// as an incremental update (new versions of the information dictionary and the
// catalogue, a cross-reference section and a trailer after the writer's own).
#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>

namespace qrp {

struct TPdfDocumentInfo {
    QString Title;
    QString Creator;
    QString Producer;
    double WrittenAt = 0; // days since 1899-12-30, local time; not a date: the export's time
    int FirstPageNumber = 1; // the report page on the PDF's first page
};

// The XMP packet of a PDF/A-1b file with the same title, creator, producer and dates as
// the information dictionary that PdfInfoUpdate writes.
QByteArray PdfXmpMetadata(const TPdfDocumentInfo& info);

// Passes everything written on to a target device and keeps the start and the end of
// it: enough of a PDF to find its catalogue and its trailer.
class TPdfCapture : public QIODevice {
public:
    explicit TPdfCapture(QIODevice& target);

    const QByteArray& Head() const { return head_; }
    const QByteArray& Tail() const { return tail_; }
    std::int64_t Written() const { return written_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override;

private:
    QIODevice& target_;
    QByteArray head_, tail_;
    std::int64_t written_ = 0;
};

// The incremental update for a PDF of which capture saw every byte. Fails with EError
// when the file does not have the layout Qt's writer gives it.
QByteArray PdfInfoUpdate(const TPdfCapture& capture, const TPdfDocumentInfo& info);

} // namespace qrp
