// export-pdf over a folder of reports: good, damaged and missing ones together.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

void DrawPage(QPainter& p, int n, int count)
{
    QFont f("Liberation Sans");
    f.setPixelSize(14);
    p.setFont(f);
    p.drawRect(QRect(40, 40, 700, 1000));
    p.drawText(QPointF(60, 80), QString("Informe %1").arg(count));
    p.drawText(QPointF(350, 1080), QString("Página %1 de %2").arg(n).arg(count));
    // A second face, so the PDF holds more than one font and their order shows.
    f.setBold(true);
    p.setFont(f);
    p.drawText(QPointF(60, 120), QStringLiteral("Total general"));
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A PDF's bytes without its creation and modification dates.
QByteArray WithoutDates(QByteArray pdf)
{
    static const QRegularExpression dates(R"(/(CreationDate|ModDate)\s*\([^)]*\))");
    return QString::fromLatin1(pdf).remove(dates).toLatin1();
}

int PdfPages(const QByteArray& pdf)
{
    return static_cast<int>(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") +
                            pdf.count("/Type/Page\n") + pdf.count("/Type/Page/") + pdf.count("/Type /Page>"));
}

class BatchExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        in_ = dir_.filePath("in");
        out_ = dir_.filePath("out");
        QDir().mkpath(in_);
        WriteReport((in_ + "/uno.qrp").toStdString(), 2, DrawPage);
        WriteReport((in_ + "/dos.qrp").toStdString(), 3, DrawPage);
        WriteReport((in_ + "/tres.qrp").toStdString(), 1, DrawPage, 1123, 794);
        // Damaged: page 2 of 3 cut short.
        WriteReport((in_ + "/roto.qrp").toStdString(), 3, DrawPage);
        QFile f(in_ + "/roto.qrp");
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.resize(f.size() * 2 / 3);
    }
    QStringList Outputs() const
    {
        return QDir(out_).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    QTemporaryDir dir_;
    QString in_, out_;
};

} // namespace

TEST_F(BatchExportTest, GoodDamagedAndMissingFiles)
{
    const QStringList args = {"export-pdf", in_ + "/uno.qrp", in_ + "/roto.qrp", in_ + "/dos.qrp",
                              in_ + "/falta.qrp", in_ + "/tres.qrp", "-d", out_};
    const QByteArray damagedBefore = ReadAll(in_ + "/roto.qrp");
    const auto r = RunProgram(kQrptool, args);
    EXPECT_EQ(r.ExitCode, 1);
    // Only the good reports have a PDF, and nothing else is left in the folder.
    EXPECT_EQ(Outputs(), (QStringList{"dos.pdf", "tres.pdf", "uno.pdf"}));

    // One line per report in the order given - the PDF written, as every command names
    // what it wrote, or FAILED and why - then the total.
    const QStringList lines = QString::fromUtf8(r.Out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << r.Out.toStdString();
    EXPECT_EQ(lines[0], out_ + "/uno.pdf: 2 pages");
    EXPECT_TRUE(lines[1].startsWith("FAILED ") && lines[1].contains("roto.qrp: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], out_ + "/dos.pdf: 3 pages");
    EXPECT_TRUE(lines[3].startsWith("FAILED ") && lines[3].contains("falta.qrp: Cannot open file"))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], out_ + "/tres.pdf: 1 page");
    EXPECT_EQ(lines[5], "3 of 5 reports converted, 6 pages, 2 failed");
    // No progress bar when stderr is not a terminal.
    EXPECT_FALSE(r.Err.contains('\r'));
    EXPECT_EQ(ReadAll(in_ + "/roto.qrp"), damagedBefore);

    // Every PDF is what the single-file conversion writes.
    for (const QString name : {"uno", "dos", "tres"}) {
        const QString single = dir_.filePath(name + "-single.pdf");
        const auto s = RunProgram(kQrptool, {"export-pdf", in_ + "/" + name + ".qrp", "-o", single});
        ASSERT_EQ(s.ExitCode, 0) << s.Err.toStdString();
        EXPECT_EQ(WithoutDates(ReadAll(out_ + "/" + name + ".pdf")), WithoutDates(ReadAll(single))) << name.toStdString();
    }
    EXPECT_EQ(PdfPages(ReadAll(out_ + "/dos.pdf")), 3);
}

TEST_F(BatchExportTest, AllGoodExitsZeroAndJobsDoNotChangeTheResult)
{
    const QStringList inputs = {in_ + "/uno.qrp", in_ + "/dos.qrp", in_ + "/tres.qrp"};
    auto r = RunProgram(kQrptool, QStringList{"export-pdf"} + inputs + QStringList{"-d", out_, "-j", "1"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("3 of 3 reports converted, 6 pages, 0 failed"));
    QMap<QString, QByteArray> serial;
    for (const QString& name : Outputs())
        serial[name] = WithoutDates(ReadAll(out_ + "/" + name));
    ASSERT_EQ(serial.size(), 3);

    QDir(out_).removeRecursively();
    r = RunProgram(kQrptool, QStringList{"export-pdf"} + inputs + QStringList{"-d", out_, "-j", "3"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    for (const QString& name : Outputs())
        EXPECT_EQ(WithoutDates(ReadAll(out_ + "/" + name)), serial.value(name)) << name.toStdString();
}

TEST_F(BatchExportTest, NameClashesAndUsageErrors)
{
    // Two reports named alike in different folders: the second is refused, not overwritten.
    QDir().mkpath(dir_.filePath("otro"));
    QFile::copy(in_ + "/dos.qrp", dir_.filePath("otro/uno.qrp"));
    auto r = RunProgram(kQrptool, {"export-pdf", in_ + "/uno.qrp", dir_.filePath("otro/uno.qrp"), "-d", out_});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Out.contains("is already the output of")) << r.Out.toStdString();
    EXPECT_EQ(PdfPages(ReadAll(out_ + "/uno.pdf")), 2);

    // Several reports with -o, or both -o and -d: a usage error, nothing written.
    const QString stray = dir_.filePath("stray.pdf");
    for (const QStringList& args :
         {QStringList{"export-pdf", in_ + "/uno.qrp", in_ + "/dos.qrp", "-o", stray},
          QStringList{"export-pdf", in_ + "/uno.qrp", "-o", stray, "-d", out_},
          QStringList{"export-pdf", in_ + "/uno.qrp", "-d", out_, "-j", "0"},
          QStringList{"export-pdf", "-d", out_}}) {
        r = RunProgram(kQrptool, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(stray));
    }
}
