// Text stays text in exported PDFs: what `qrptool text` reads from a report's pages is
// what a PDF reader (poppler's pdftotext) reads from its export, at every font size.
#include "ToolTestSupport.h"

#include "emf/EmfText.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

QString Pdftotext(const QString& pdf, int page, bool layout)
{
    QStringList args{"-f", QString::number(page), "-l", QString::number(page), "-enc", "UTF-8"};
    if (layout)
        args << "-layout";
    args << pdf << "-";
    const auto r = RunProgram("pdftotext", args);
    return QString::fromUtf8(r.Out);
}

// Lines with runs of blanks made one blank, trimmed, empty lines and form feeds dropped.
QStringList NormalLines(const QString& text)
{
    QStringList out;
    for (QString line : text.split('\n')) {
        line.remove('\f');
        line = line.simplified();
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

QStringList SortedWords(const QString& text)
{
    QStringList words = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    std::sort(words.begin(), words.end());
    return words;
}

class PdfTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunProgram("pdftotext", {"-v"}).ExitCode != 0)
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        ASSERT_TRUE(dir_.isValid());
    }

    // The report exported to PDF; the number of pages.
    int Export(const QString& report, const QString& pdf)
    {
        const auto r = RunProgram(kQrptool, {"export-pdf", report, "-o", pdf});
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QStringList words = QString::fromUtf8(r.Out).split(' ');
        return words.size() >= 2 ? words[words.size() - 2].toInt() : 0;
    }

    QString PageText(const QString& report, int page)
    {
        const auto r = RunProgram(kQrptool, {"text", report, "--page", QString::number(page)});
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        return QString::fromUtf8(r.Out);
    }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(PdfTextTest, SampleReportReadsTheSameLineByLine)
{
    const QString sample = QStringLiteral(QRP_SOURCE_DIR "/samples/Informe de Ventas.qrp");
    const QString pdf = dir_.filePath("ventas.pdf");
    const int pages = Export(sample, pdf);
    ASSERT_GE(pages, 2);
    for (int n = 1; n <= pages; ++n) {
        const QStringList own = NormalLines(PageText(sample, n));
        ASSERT_FALSE(own.isEmpty());
        // Laid out as on the page, the PDF's lines are the report's lines, in order.
        EXPECT_EQ(NormalLines(Pdftotext(pdf, n, true)), own) << "page " << n;
    }
    // The company name is drawn at the largest size of the page.
    EXPECT_TRUE(Pdftotext(pdf, 1, false).contains("Distribuidora Andina S.A."));

    // Every font is embedded.
    const auto fonts = RunProgram("pdffonts", {pdf});
    ASSERT_EQ(fonts.ExitCode, 0);
    const QStringList rows = QString::fromUtf8(fonts.Out).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(rows.isEmpty());
    for (const QString& row : rows)
        EXPECT_TRUE(row.contains(QRegularExpression("\\syes\\s+(yes|no)\\s+yes\\s"))) << row.toStdString();
}

TEST_F(PdfTextTest, LargeTextInAPrintedSizeStaysText)
{
    // A title of 200 points: far above the size at which screens fill glyph outlines.
    const QString report = dir_.filePath("grande.qrp");
    WriteReport(report.toStdString(), 1, [](QPainter& p, int, int) {
        QFont f("Liberation Serif");
        f.setPixelSize(260);
        p.setFont(f);
        p.drawText(QPointF(40, 400), QStringLiteral("Año"));
        QFont small("Liberation Sans");
        small.setPixelSize(12);
        p.setFont(small);
        p.drawText(QPointF(40, 600), QStringLiteral("pequeño"));
    });
    const QString pdf = dir_.filePath("grande.pdf");
    ASSERT_EQ(Export(report, pdf), 1);
    EXPECT_EQ(NormalLines(Pdftotext(pdf, 1, true)), (QStringList{"Año", "pequeño"}));
    // Text, not outlines: the file holds the font, not a path per glyph, and stays small.
    EXPECT_LT(QFile(pdf).size(), 60000);
}

TEST_F(PdfTextTest, CorpusPagesWithTurnedAndAlignedText)
{
    // A chart with its axis title and tick labels turned upwards, centred on the current
    // position; and a test page with every alignment, right-aligned strings among them,
    // and strings turned in steps of 30 degrees.
    for (const char* name : {"e2s-test-013", "uemf-test_libuemf_ref"}) {
        SCOPED_TRACE(name);
        const QString emf = QStringLiteral(QRP_TEST_DATA "/emf/corpus/%1.emf").arg(name);
        const QString report = dir_.filePath(QStringLiteral("%1.qrp").arg(name));
        const auto made = RunProgram(kQrptool, {"make", report, emf});
        ASSERT_EQ(made.ExitCode, 0) << made.Err.toStdString();
        const QString pdf = dir_.filePath(QStringLiteral("%1.pdf").arg(name));
        ASSERT_EQ(Export(report, pdf), 1);

        // The runs that stand level or at a right angle: PDF readers read those as words.
        QFile f(emf);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto runs = qrp::ExtractTextRuns(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               static_cast<std::size_t>(bytes.size()));
        std::vector<qrp::TEmfTextRun> square;
        int turned = 0, rightAligned = 0;
        for (const auto& r : runs) {
            const bool axis = r.DirX == 0 || r.DirY == 0;
            if (axis)
                square.push_back(r);
            turned += r.DirX != 1;
            rightAligned += (r.Align & 6) == 2;
        }
        EXPECT_GT(turned, 0);
        const QString own = QString::fromStdString(qrp::ArrangeTextRuns(square));
        const QString read = Pdftotext(pdf, 1, false);
        if (square.size() == runs.size()) {
            EXPECT_EQ(SortedWords(read), SortedWords(own));
        } else {
            EXPECT_GT(rightAligned, 0);
            // Strings at other angles come apart in the reader, which also splits widely
            // spaced strings and joins overlapping ones; every word of the level or
            // upright strings is there all the same.
            QString flat = read;
            flat.remove(QRegularExpression("\\s"));
            for (const auto& r : square)
                for (const QString& word : SortedWords(QString::fromStdString(r.Text)))
                    EXPECT_TRUE(flat.contains(word)) << r.Text;
        }
    }
}

TEST_F(PdfTextTest, ExportPdfCommandNamesTheDocumentAndMakesArchivalFiles)
{
    const QString sample = QStringLiteral(QRP_SOURCE_DIR "/samples/Informe de Ventas.qrp");
    const QString one = dir_.filePath("uno.pdf");
    const auto r = RunProgram(kQrptool, {"export-pdf", sample, "-o", one, "--pdfa"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QString info = QString::fromUtf8(RunProgram("pdfinfo", {one}).Out);
    EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+Informe de Ventas\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Metadata Stream:\\s+yes"))) << info.toStdString();

    // Many reports at once: the children make archival files too.
    const auto batch = RunProgram(kQrptool, {"export-pdf", sample, "-d", dir_.filePath("out"), "--pdfa"});
    ASSERT_EQ(batch.ExitCode, 0) << batch.Err.toStdString();
    const auto meta = RunProgram("pdfinfo", {"-meta", dir_.filePath("out/Informe de Ventas.pdf")});
    EXPECT_TRUE(meta.Out.contains("<pdfaid:part>1</pdfaid:part>")) << meta.Out.toStdString();
}
