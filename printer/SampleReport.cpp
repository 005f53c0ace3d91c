#include "printer/SampleReport.h"

#include "base/Errors.h"
#include "base/OutputFile.h"

#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"
#include "storage/PageList.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace qrp {

namespace {

const char* const Trades[] = {"Comercial", "Inversiones", "Ferretería", "Distribuidora", "Importaciones",
                              "Servicios", "Textiles", "Agroindustrias", "Librería", "Farmacia"};
const char* const Names[] = {"Quispe", "Huamán", "Rojas", "Mendoza", "Castillo", "Vargas", "Flores",
                             "Paredes", "Salazar", "Chávez", "Ñahui", "Gutiérrez", "Álvarez"};
const char* const Forms[] = {"S.A.C.", "E.I.R.L.", "S.A.", "S.R.L."};
const char* const Cities[] = {"Lima", "Arequipa", "Trujillo", "Cusco", "Piura", "Chiclayo",
                              "Huancayo", "Iquitos", "Tacna", "Puno"};

// A fixed sequence, so every run draws the same report.
class TSequence {
public:
    unsigned Next(unsigned bound)
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state_ >> 33) % bound;
    }

private:
    unsigned long long state_ = 20260331;
};

struct TRow {
    QString Code, Client, City;
    int Invoices;
    long long Cents;
};

// 1234567.89 as "1.234.567,89".
QString Amount(long long cents)
{
    const bool negative = cents < 0;
    if (negative)
        cents = -cents;
    QString whole = QString::number(cents / 100);
    for (int i = whole.size() - 3; i > 0; i -= 3)
        whole.insert(i, QLatin1Char('.'));
    return (negative ? QStringLiteral("-") : QString()) + whole + QLatin1Char(',') +
           QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
}

QString Count(long long n)
{
    QString s = QString::number(n);
    for (int i = s.size() - 3; i > 0; i -= 3)
        s.insert(i, QLatin1Char('.'));
    return s;
}

QImage Logo()
{
    QImage logo(120, 120, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.scale(0.5, 0.5); // drawn on a 240-unit grid
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0x4E, 0x79));
    p.drawRoundedRect(QRectF(8, 8, 224, 224), 36, 36);
    p.setBrush(QColor(0xF2, 0x8C, 0x28));
    p.drawEllipse(QPointF(160, 78), 34, 34);
    QPainterPath mountains;
    mountains.moveTo(20, 176);
    mountains.lineTo(84, 84);
    mountains.lineTo(118, 132);
    mountains.lineTo(150, 100);
    mountains.lineTo(220, 176);
    mountains.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(mountains);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setBold(true);
    f.setPixelSize(40);
    p.setFont(f);
    p.drawText(QRectF(8, 178, 224, 50), Qt::AlignCenter, QStringLiteral("DA"));
    return logo;
}

class TSampleDrawer {
public:
    TSampleDrawer(TQRPrinter& printer, int pages) : printer_(printer), pages_(pages), logo_(Logo())
    {
        width_ = printer.OrientedPaperWidth();
        length_ = printer.OrientedPaperLength();
        right_ = width_ - 150;
        rowsPerPage_ = (length_ - TableTop - HeaderHeight - 260) / RowHeight;
        TSequence seq;
        // Each page closes with a total row; pages after the first open with the
        // balance brought forward.
        const int rows = std::max(1, pages_ * (rowsPerPage_ - 1) - (pages_ - 1));
        for (int i = 0; i < rows; ++i) {
            TRow r;
            r.Code = QStringLiteral("C-%1").arg(1001 + i * 7 % 9000, 4, 10, QLatin1Char('0'));
            r.Client = QString::fromUtf8(Trades[seq.Next(10)]) + QLatin1Char(' ') +
                       QString::fromUtf8(Names[seq.Next(13)]) + QLatin1Char(' ') + QString::fromUtf8(Forms[seq.Next(4)]);
            r.City = QString::fromUtf8(Cities[seq.Next(10)]);
            r.Invoices = 1 + static_cast<int>(seq.Next(48));
            r.Cents = static_cast<long long>(seq.Next(250000)) * r.Invoices * 10 + seq.Next(100);
            rows_.push_back(r);
        }
    }

    void Draw()
    {
        printer_.BeginReport();
        std::size_t next = 0;
        long long totalCents = 0, totalInvoices = 0;
        for (int page = 1; page <= pages_; ++page) {
            printer_.StartNewPage();
            QPainter& c = *printer_.PageCanvas();
            DrawHeader(c, page);
            int y = TableTop + HeaderHeight;
            if (page > 1) {
                Row(c, y, {QString(), QStringLiteral("Saldo anterior"), QString(), QString(), Amount(totalCents)},
                    true, false);
                y += RowHeight;
            }
            const int dataRows = rowsPerPage_ - 1 - (page > 1 ? 1 : 0);
            for (int k = 0; k < dataRows && next < rows_.size(); ++k) {
                const TRow& r = rows_[next++];
                Row(c, y, {r.Code, r.Client, r.City, Count(r.Invoices), Amount(r.Cents)}, false, (next % 2) == 0);
                totalCents += r.Cents;
                totalInvoices += r.Invoices;
                y += RowHeight;
            }
            if (page < pages_) {
                Row(c, y, {QString(), QStringLiteral("Suma y sigue"), QString(), QString(), Amount(totalCents)},
                    true, false);
            } else {
                Row(c, y, {QString(), QStringLiteral("Total general"), QStringLiteral("%1 clientes").arg(rows_.size()),
                           Count(totalInvoices), Amount(totalCents)},
                    true, true);
            }
            y += RowHeight;
            Rule(c, TableTop, y);
            DrawFooter(c, page);
            printer_.ReportProgress(page * 100 / pages_);
        }
        printer_.EndReport();
    }

private:
    static constexpr int Left = 150;
    static constexpr int TableTop = 470;
    static constexpr int HeaderHeight = 62;
    static constexpr int RowHeight = 52;

    int X(int u) const { return printer_.ToDeviceX(u); }
    int Y(int u) const { return printer_.ToDeviceY(u); }
    int W(int u) const { return printer_.ToDeviceWidth(u); }
    int H(int u) const { return printer_.ToDeviceHeight(u); }
    QRect R(int x, int y, int w, int h) const { return QRect(X(x), Y(y), W(w), H(h)); }

    QFont Font(int heightUnits, bool bold = false) const
    {
        QFont f(QStringLiteral("Liberation Sans"));
        f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
        f.setPixelSize(std::max(1, H(heightUnits)));
        f.setBold(bold);
        return f;
    }

    // Column edges: code, client, city, invoices, amount.
    std::array<int, 6> Columns() const
    {
        const int span = right_ - Left;
        return {Left, Left + span * 12 / 100, Left + span * 55 / 100, Left + span * 72 / 100,
                Left + span * 82 / 100, right_};
    }

    void DrawHeader(QPainter& c, int page)
    {
        c.drawImage(R(Left, 120, 240, 240), logo_);
        c.setPen(QColor(0x1F, 0x4E, 0x79));
        c.setFont(Font(62, true));
        c.drawText(R(430, 120, 1000, 80), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Distribuidora Andina S.A."));
        c.setPen(Qt::black);
        c.setFont(Font(32));
        c.drawText(R(430, 205, 1100, 45), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("RUC 20123456789 · Av. Los Próceres 1450, Lima"));
        c.drawText(R(430, 250, 1100, 45), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Teléfono (01) 555-0142 · ventas@andina.example"));
        c.setFont(Font(48, true));
        c.drawText(R(right_ - 900, 120, 900, 70), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Informe de Ventas por Cliente"));
        c.setFont(Font(32));
        c.drawText(R(right_ - 900, 200, 900, 45), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Período: enero a marzo de 2026"));
        c.drawText(R(right_ - 900, 250, 900, 45), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Emitido el 31/03/2026 · Hoja %1").arg(page));
        c.setPen(QPen(QColor(0x1F, 0x4E, 0x79), std::max(1, H(8))));
        c.drawLine(X(Left), Y(400), X(right_), Y(400));

        // Table header: shaded, bold, ruled.
        const auto col = Columns();
        c.fillRect(R(Left, TableTop, right_ - Left, HeaderHeight), QColor(0xD9, 0xE2, 0xF3));
        c.setPen(Qt::black);
        c.setFont(Font(30, true));
        const QString titles[] = {QStringLiteral("Código"), QStringLiteral("Cliente"), QStringLiteral("Ciudad"),
                                  QStringLiteral("Facturas"), QStringLiteral("Importe (S/)")};
        for (int i = 0; i < 5; ++i) {
            const Qt::Alignment a = i >= 3 ? Qt::AlignRight : Qt::AlignLeft;
            c.drawText(R(col[i] + 15, TableTop, col[i + 1] - col[i] - 30, HeaderHeight), a | Qt::AlignVCenter,
                       titles[i]);
        }
    }

    void Row(QPainter& c, int y, const std::array<QString, 5>& cells, bool bold, bool shaded)
    {
        const auto col = Columns();
        if (shaded)
            c.fillRect(R(Left, y, right_ - Left, RowHeight), bold ? QColor(0xD9, 0xE2, 0xF3) : QColor(0xF4, 0xF6, 0xFA));
        c.setPen(Qt::black);
        c.setFont(Font(28, bold));
        for (int i = 0; i < 5; ++i) {
            if (cells[i].isEmpty())
                continue;
            const Qt::Alignment a = i >= 3 ? Qt::AlignRight : Qt::AlignLeft;
            c.drawText(R(col[i] + 15, y, col[i + 1] - col[i] - 30, RowHeight), a | Qt::AlignVCenter, cells[i]);
        }
        c.setPen(QPen(QColor(0xA0, 0xA8, 0xB8), 1));
        c.drawLine(X(Left), Y(y + RowHeight), X(right_), Y(y + RowHeight));
    }

    // The table's frame and column rules.
    void Rule(QPainter& c, int top, int bottom)
    {
        c.setPen(QPen(Qt::black, std::max(1, H(4))));
        c.setBrush(Qt::NoBrush);
        c.drawRect(R(Left, top, right_ - Left, bottom - top));
        c.setPen(QPen(QColor(0x70, 0x78, 0x88), 1));
        const auto col = Columns();
        for (int i = 1; i < 5; ++i)
            c.drawLine(X(col[i]), Y(top), X(col[i]), Y(bottom));
        c.setPen(QPen(Qt::black, std::max(1, H(4))));
        c.drawLine(X(Left), Y(top + HeaderHeight), X(right_), Y(top + HeaderHeight));
    }

    void DrawFooter(QPainter& c, int page)
    {
        const int y = length_ - 170;
        c.setPen(QPen(QColor(0x1F, 0x4E, 0x79), std::max(1, H(4))));
        c.drawLine(X(Left), Y(y), X(right_), Y(y));
        c.setPen(Qt::black);
        c.setFont(Font(28));
        c.drawText(R(Left, y + 15, 1200, 45), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Distribuidora Andina S.A. · Documento de uso interno"));
        c.drawText(R(right_ - 600, y + 15, 600, 45), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Página %1 de %2").arg(page).arg(pages_));
    }

    TQRPrinter& printer_;
    int pages_;
    QImage logo_;
    int width_ = 0, length_ = 0, right_ = 0, rowsPerPage_ = 0;
    std::vector<TRow> rows_;
};

} // namespace

void ProduceSampleReport(TQRPrinter& printer, const TSampleReportOptions& options)
{
    printer.SetCompressed(options.Compress);
    printer.SetPaperSize(options.Letter ? TQRPaperSize::Letter : TQRPaperSize::A4);
    printer.SetOrientation(poPortrait);
    printer.SetJobTitle("Informe de Ventas por Cliente");
    TSampleDrawer(printer, std::max(1, options.Pages)).Draw();
}

void MakeSampleReport(const std::string& path, const TSampleReportOptions& options)
{
    TQRPrinter printer(CreatePdfPaperDevice(), 0);
    ProduceSampleReport(printer, options);
    if (printer.State() != rsFinished)
        throw EError("The sample report was not completed");
    // Written beside the target under a temporary name, then renamed over it.
    TOutputFile out(path);
    printer.PageList().CopyToStream(out);
    out.Commit();
}

} // namespace qrp
