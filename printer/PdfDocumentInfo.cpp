#include "printer/PdfDocumentInfo.h"

#include "base/Errors.h"
#include "storage/ReportDate.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qrp {

namespace {

// Qt writes the information dictionary and the catalogue before the first page and the
// trailer last; these bounds hold both with room to spare.
constexpr qint64 kHeadBytes = 256 * 1024;
constexpr qint64 kTailBytes = 4096;

struct TDateStamp {
    QByteArray Pdf; // D:YYYYMMDDHHmmSS
    QByteArray Xmp; // YYYY-MM-DDTHH:mm:SS
};

// The report's local date and time, without a zone: the file does not say which.
TDateStamp Stamp(double writtenAt)
{
    TDateTimeParts p;
    if (!(writtenAt > 0) || !DecodeDateTime(writtenAt, p))
        DecodeDateTime(LocalNow(), p);
    char pdf[32], xmp[32];
    std::snprintf(pdf, sizeof pdf, "D:%04d%02d%02d%02d%02d%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    std::snprintf(xmp, sizeof xmp, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                  p.Second);
    return {pdf, xmp};
}

// A PDF text string: UTF-16BE with its byte order mark, in hexadecimal.
QByteArray PdfText(const QString& s)
{
    QByteArray bytes("\xFE\xFF", 2);
    for (const QChar c : s) {
        bytes.append(static_cast<char>(c.unicode() >> 8));
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return '<' + bytes.toHex().toUpper() + '>';
}

QByteArray Xml(const QString& s)
{
    return s.toHtmlEscaped().toUtf8();
}

[[noreturn]] void Unexpected(const char* what)
{
    throw EError(std::string("The PDF writer's output has an unexpected layout (") + what + ")");
}

// The number after `key` in a dictionary's text, as in "/Root 6 0 R" or "/Size 27".
int Number(const QString& dict, const QString& key)
{
    const QRegularExpression re(QRegularExpression::escape(key) + QStringLiteral("\\s+(\\d+)"));
    const QRegularExpressionMatch m = re.match(dict);
    if (!m.hasMatch())
        Unexpected("trailer");
    return m.captured(1).toInt();
}

QByteArray XrefEntry(std::int64_t offset)
{
    char line[24];
    std::snprintf(line, sizeof line, "%010lld 00000 n \n", static_cast<long long>(offset));
    return QByteArray(line, 20);
}

} // namespace

QByteArray PdfXmpMetadata(const TPdfDocumentInfo& info)
{
    const TDateStamp date = Stamp(info.WrittenAt);
    QByteArray x;
    x += "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n";
    x += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n";
    x += " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    x += "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    x += "   <dc:format>application/pdf</dc:format>\n";
    x += "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + Xml(info.Title) + "</rdf:li></rdf:Alt></dc:title>\n";
    x += "  </rdf:Description>\n";
    x += "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n";
    x += "   <xmp:CreatorTool>" + Xml(info.Creator) + "</xmp:CreatorTool>\n";
    x += "   <xmp:CreateDate>" + date.Xmp + "</xmp:CreateDate>\n";
    x += "   <xmp:ModifyDate>" + date.Xmp + "</xmp:ModifyDate>\n";
    x += "  </rdf:Description>\n";
    x += "  <rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
    x += "   <pdf:Producer>" + Xml(info.Producer) + "</pdf:Producer>\n";
    x += "  </rdf:Description>\n";
    x += "  <rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n";
    x += "   <pdfaid:part>1</pdfaid:part>\n";
    x += "   <pdfaid:conformance>B</pdfaid:conformance>\n";
    x += "  </rdf:Description>\n";
    x += " </rdf:RDF>\n";
    x += "</x:xmpmeta>\n";
    x += "<?xpacket end='r'?>";
    return x;
}

TPdfCapture::TPdfCapture(QIODevice& target) : target_(target)
{
    open(QIODevice::WriteOnly);
}

qint64 TPdfCapture::writeData(const char* data, qint64 len)
{
    const qint64 n = target_.write(data, len);
    if (n != len)
        return -1;
    if (head_.size() < kHeadBytes)
        head_.append(data, std::min(len, kHeadBytes - head_.size()));
    tail_.append(data, len);
    if (tail_.size() > kTailBytes)
        tail_.remove(0, tail_.size() - kTailBytes);
    written_ += len;
    return len;
}

QByteArray PdfInfoUpdate(const TPdfCapture& capture, const TPdfDocumentInfo& info)
{
    // The writer's trailer: the last one in the file.
    const QString tail = QString::fromLatin1(capture.Tail());
    const qsizetype at = tail.lastIndexOf(QStringLiteral("trailer"));
    if (at < 0)
        Unexpected("no trailer");
    const QString trailer = tail.mid(at);
    const int size = Number(trailer, QStringLiteral("/Size"));
    const int root = Number(trailer, QStringLiteral("/Root"));
    const int infoObject = Number(trailer, QStringLiteral("/Info"));
    const std::int64_t previous = Number(trailer, QStringLiteral("startxref"));
    const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("/ID\\s*\\[[^\\]]*\\]")).match(trailer);

    // The catalogue's entries, kept in its new version.
    const QByteArray& head = capture.Head();
    const QByteArray start = '\n' + QByteArray::number(root) + " 0 obj";
    const qsizetype object = head.indexOf(start);
    const qsizetype open = object < 0 ? -1 : head.indexOf("<<", object);
    const qsizetype end = open < 0 ? -1 : head.indexOf("endobj", open);
    const qsizetype close = end < 0 ? -1 : head.lastIndexOf(">>", end);
    if (close <= open || !head.mid(open, close - open).contains("/Catalog"))
        Unexpected("no catalogue");
    const QByteArray entries = head.mid(open + 2, close - open - 2).trimmed();

    const TDateStamp date = Stamp(info.WrittenAt);
    QByteArray update = "\n";
    const std::int64_t infoAt = capture.Written() + update.size();
    update += QByteArray::number(infoObject) + " 0 obj\n<<\n";
    update += "/Title " + PdfText(info.Title) + '\n';
    update += "/Creator " + PdfText(info.Creator) + '\n';
    update += "/Producer " + PdfText(info.Producer) + '\n';
    update += "/CreationDate (" + date.Pdf + ")\n";
    update += "/ModDate (" + date.Pdf + ")\n";
    update += ">>\nendobj\n";
    const std::int64_t catalogAt = capture.Written() + update.size();
    update += QByteArray::number(root) + " 0 obj\n<<\n" + entries + '\n';
    // Every page labelled with its number in the report.
    update += "/PageLabels << /Nums [0 << /S /D /P " + PdfText(QStringLiteral("Página ")) +
              " /St " + QByteArray::number(std::max(1, info.FirstPageNumber)) + " >>] >>\n";
    update += ">>\nendobj\n";

    const std::int64_t xrefAt = capture.Written() + update.size();
    const int first = std::min(infoObject, root), second = std::max(infoObject, root);
    update += "xref\n";
    update += QByteArray::number(first) + " 1\n" + XrefEntry(first == infoObject ? infoAt : catalogAt);
    update += QByteArray::number(second) + " 1\n" + XrefEntry(second == root ? catalogAt : infoAt);
    update += "trailer\n<<\n/Size " + QByteArray::number(size) + "\n/Info " + QByteArray::number(infoObject) +
              " 0 R\n/Root " + QByteArray::number(root) + " 0 R\n";
    if (id.hasMatch())
        update += id.captured(0).toLatin1() + '\n';
    update += "/Prev " + QByteArray::number(static_cast<qint64>(previous)) + "\n>>\n";
    update += "startxref\n" + QByteArray::number(static_cast<qint64>(xrefAt)) + "\n%%EOF\n";
    return update;
}

} // namespace qrp
