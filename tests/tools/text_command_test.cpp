// qrptool text: the words of recorded report pages in reading order.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFont>
#include <QTemporaryDir>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

// A report page drawn out of reading order: the footer first, the amounts column
// before the names, the title last.
void DrawSalesPage(QPainter& p, int n, int count)
{
    QFont small("Liberation Sans");
    small.setPixelSize(13);
    QFont big("Liberation Sans");
    big.setPixelSize(24);
    big.setBold(true);
    p.setFont(small);
    p.drawText(QRect(300, 1060, 194, 20), Qt::AlignCenter,
               QStringLiteral("Página %1 de %2").arg(n).arg(count));
    const QStringList names = {"Zona Norte", "Zona Sur", "Exportación"};
    const QStringList amounts = {"1.234,50", "987,00", "12.000,75"};
    for (int i = 0; i < 3; ++i)
        p.drawText(QRect(500, 200 + 30 * i, 200, 20), Qt::AlignRight | Qt::AlignVCenter,
                   amounts[i]);
    for (int i = 0; i < 3; ++i)
        p.drawText(QRect(60, 200 + 30 * i, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   names[i] + QString(" %1").arg(n));
    p.drawLine(60, 190, 700, 190);
    p.setFont(big);
    p.drawText(QPointF(60, 100), QStringLiteral("Informe de Ventas"));
}

QString ExpectedPage(int n, int count)
{
    return QString("Informe de Ventas\nZona Norte %1 1.234,50\nZona Sur %1 987,00\n"
                   "Exportación %1 12.000,75\nPágina %1 de %2\n")
        .arg(n)
        .arg(count);
}

class TextCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        report_ = dir_.filePath("ventas.qrp");
        WriteReport(report_.toStdString(), 3, DrawSalesPage);
    }
    QTemporaryDir dir_;
    QString report_;
};

} // namespace

TEST_F(TextCommandTest, PagesInReadingOrderSeparatedByFormFeed)
{
    const auto r = RunProgram(kQrptool, {"text", report_});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.Out),
              ExpectedPage(1, 3) + "\f" + ExpectedPage(2, 3) + "\f" + ExpectedPage(3, 3));

    const auto one = RunProgram(kQrptool, {"text", report_, "--page", "2"});
    ASSERT_EQ(one.ExitCode, 0) << one.Err.toStdString();
    EXPECT_EQ(QString::fromUtf8(one.Out), ExpectedPage(2, 3));
}

TEST_F(TextCommandTest, BadPageOrDamagedFileFailsWithoutOutput)
{
    for (const QStringList& args : {QStringList{"text", report_, "--page", "0"},
                                    QStringList{"text", report_, "--page", "4"},
                                    QStringList{"text", report_, "--page", "x"},
                                    QStringList{"text", report_, "--page"},
                                    QStringList{"text"},
                                    QStringList{"text", dir_.filePath("missing.qrp")}}) {
        const auto r = RunProgram(kQrptool, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << args.join(' ').toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
    }

    // Page 3's picture damaged: nothing of pages 1 and 2 is printed either.
    QFile f(report_);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    const auto lastEmf = bytes.lastIndexOf(" EMF");
    ASSERT_GT(lastEmf, 0);
    bytes.replace(lastEmf, 4, "XXXX");
    const QString damaged = dir_.filePath("damaged.qrp");
    QFile d(damaged);
    ASSERT_TRUE(d.open(QIODevice::WriteOnly));
    d.write(bytes);
    d.close();
    const auto r = RunProgram(kQrptool, {"text", damaged});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Out.isEmpty());
    EXPECT_TRUE(r.Err.contains("Metafile is not valid")) << r.Err.toStdString();
    // The input is never written to.
    QFile again(damaged);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), bytes);
}

TEST(TextCommand, SampleReportHasTitleAndPageFooters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sample = dir.filePath("muestra.qrp");
    const auto made = RunProgram(kQrptool, {"make-sample", sample, "--pages", "4"});
    if (made.Err.contains("unknown command"))
        GTEST_SKIP() << "qrptool has no make-sample command in this build";
    ASSERT_EQ(made.ExitCode, 0) << made.Err.toStdString();

    const auto r = RunProgram(kQrptool, {"text", sample});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QStringList pages = QString::fromUtf8(r.Out).split('\f');
    ASSERT_EQ(pages.size(), 4);
    for (int n = 1; n <= 4; ++n) {
        const QStringList lines = pages[n - 1].split('\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        // The footer is the page's last line of text.
        EXPECT_TRUE(lines.last().contains(QString("Página %1 de 4").arg(n)))
            << pages[n - 1].toStdString();
    }
    EXPECT_TRUE(pages[0].contains("Informe de Ventas")) << pages[0].toStdString();
}
