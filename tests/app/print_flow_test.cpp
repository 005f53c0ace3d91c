// "&Imprimir" in the preview window: the print options dialog, its values kept between
// openings, and real printing on the CUPS queue "PDF" whose back end writes PDF files.
// Without that queue the printing cases are skipped.
#include "AppTestSupport.h"

#include "platform/PrinterDevice.h"

#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>

using namespace qrp;
using namespace qrp::apptest;

namespace {

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool HavePdfQueue()
{
    const std::vector<std::string> names = SystemPrinterNames();
    return std::find(names.begin(), names.end(), "PDF") != names.end();
}

class PrintFlow : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        report = WorkFile(QStringLiteral("four.qrp"));
        WriteReport(report, 4);
        Start({report});
        ASSERT_TRUE(FrmVisualizar->isVisible());
    }

    // Presses "&Imprimir"; once the dialog runs, `inside` sets it up and ends it.
    void Imprimir(const std::function<void(TFrmImprimir*)>& inside)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = FrmImprimir->isVisible() && FrmImprimir->isModal();
            inside(FrmImprimir);
        });
        // Never hang the suite on a dialog that stayed open.
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [] { FrmImprimir->done(TFrmImprimir::mrCancel); });
        safety.start(10000);
        QTest::mouseClick(FrmVisualizar->SpeedButton2, Qt::LeftButton);
        Settle();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(FrmImprimir->isVisible());
    }

    // A job title of this test's own, so the PDF files of parallel tests never mix.
    QString UniqueTitle()
    {
        return QStringLiteral("apptest-%1-%2-%3")
            .arg(QCoreApplication::applicationPid())
            .arg(QDateTime::currentMSecsSinceEpoch())
            .arg(++jobs);
    }

    // Pages of every PDF the queue wrote for the title, once the queue is empty.
    std::vector<int> PrintedPages(const QString& title)
    {
        for (int i = 0; i < 300; ++i) {
            if (RunTool(QStringLiteral("lpstat"), {QStringLiteral("-o"), QStringLiteral("PDF")}).trimmed().isEmpty())
                break;
            QTest::qWait(100);
        }
        QTest::qWait(300);
        std::vector<int> pages;
        const QDir out(QDir::homePath() + QStringLiteral("/PDF"));
        for (const QFileInfo& pdf : out.entryInfoList({title + QStringLiteral("*.pdf")}, QDir::Files)) {
            const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf.absoluteFilePath()});
            for (const QString& line : info.split(QLatin1Char('\n')))
                if (line.startsWith(QStringLiteral("Pages:")))
                    pages.push_back(line.mid(6).trimmed().toInt());
            QFile::remove(pdf.absoluteFilePath());
        }
        return pages;
    }

    QString report;
    int jobs = 0;
};

} // namespace

TEST_F(PrintFlow, DialogStartsWithItsDesignedValuesAndKeepsThem)
{
    TFrmImprimir* d = FrmImprimir;
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Imprimir"));
    EXPECT_EQ(d->RdgImprimir->title(), QStringLiteral(" Páginas a Imprimir "));
    EXPECT_EQ(d->GroupBox1->title(), QStringLiteral(" Copias "));
    EXPECT_EQ(d->SpDesde->minimum(), 0);
    EXPECT_EQ(d->SpDesde->maximum(), 10000);
    EXPECT_EQ(d->SpHasta->maximum(), 10000);
    EXPECT_EQ(d->SpCopias->maximum(), 5);
    EXPECT_EQ(d->pos(), QPoint(269, 243));

    Imprimir([&](TFrmImprimir* dlg) {
        EXPECT_EQ(dlg->RdgImprimirIndex(), 0);
        EXPECT_TRUE(dlg->RdgTodas->isChecked());
        EXPECT_FALSE(dlg->SpDesde->isEnabled());
        EXPECT_FALSE(dlg->SpHasta->isEnabled());
        EXPECT_EQ(dlg->SpDesde->value(), 1);
        EXPECT_EQ(dlg->SpHasta->value(), 1);
        EXPECT_EQ(dlg->SpCopias->value(), 1);
        // The printer list, with the application's printer proposed.
        EXPECT_EQ(dlg->ComboImpresoras->count(), static_cast<int>(SystemPrinterNames().size()));
        EXPECT_EQ(dlg->ComboImpresoras->currentIndex(), ApplicationPrinterIndex());
        dlg->RdgPaginas->click();
        EXPECT_TRUE(dlg->SpDesde->isEnabled());
        EXPECT_TRUE(dlg->SpHasta->isEnabled());
        dlg->SpDesde->setValue(7);
        dlg->SpHasta->setValue(9);
        dlg->RdgTodas->click();
        EXPECT_FALSE(dlg->SpDesde->isEnabled());
        EXPECT_EQ(dlg->SpDesde->value(), 7);
        dlg->RdgPaginas->click();
        dlg->SpCopias->setValue(3);
        // Enter and Escape do nothing here.
        QTest::keyClick(dlg, Qt::Key_Escape);
        QTest::keyClick(dlg, Qt::Key_Return);
        EXPECT_TRUE(dlg->isVisible());
        dlg->ComboImpresoras->addItem(QStringLiteral("left over"));
        QTest::mouseClick(dlg->SpeedButton2, Qt::LeftButton);  // "&Cancelar"
    });
    EXPECT_EQ(FrmImprimir->result(), TFrmImprimir::mrCancel);
    // Cancelled: nothing was set on the printer.
    EXPECT_EQ(SharedQRPrinter->FirstPage(), 0);
    EXPECT_EQ(SharedQRPrinter->LastPage(), 0);

    Imprimir([&](TFrmImprimir* dlg) {
        EXPECT_EQ(dlg->RdgImprimirIndex(), 1);
        EXPECT_TRUE(dlg->SpDesde->isEnabled());
        EXPECT_EQ(dlg->SpDesde->value(), 7);
        EXPECT_EQ(dlg->SpHasta->value(), 9);
        EXPECT_EQ(dlg->SpCopias->value(), 3);
        // The list is built anew at every opening.
        EXPECT_EQ(dlg->ComboImpresoras->findText(QStringLiteral("left over")), -1);
        dlg->close();  // the title bar's close button: Cancel
    });
    EXPECT_EQ(FrmImprimir->result(), TFrmImprimir::mrCancel);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PrintFlow, PaginasPrintsTheRangeTodasPrintsAllCancelarNothing)
{
    if (!HavePdfQueue())
        GTEST_SKIP() << "no CUPS queue \"PDF\" (scripts/cups-pdf-queue.sh starts one)";

    QString title = UniqueTitle();
    SharedQRPrinter->SetJobTitle(title.toStdString());
    Imprimir([&](TFrmImprimir* dlg) {
        dlg->ComboImpresoras->setCurrentIndex(dlg->ComboImpresoras->findText(QStringLiteral("PDF")));
        dlg->RdgPaginas->click();
        dlg->SpDesde->setValue(2);
        dlg->SpHasta->setValue(3);
        dlg->SpCopias->setValue(1);
        QApplication::setActiveWindow(dlg);
        QTest::keyClick(dlg, Qt::Key_A, Qt::AltModifier);  // "&Aceptar"
    });
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_EQ(SharedQRPrinter->FirstPage(), 2);
    EXPECT_EQ(SharedQRPrinter->LastPage(), 3);
    EXPECT_EQ(PrintedPages(title), std::vector<int>{2});

    title = UniqueTitle();
    SharedQRPrinter->SetJobTitle(title.toStdString());
    Imprimir([&](TFrmImprimir* dlg) {
        dlg->ComboImpresoras->setCurrentIndex(dlg->ComboImpresoras->findText(QStringLiteral("PDF")));
        dlg->RdgTodas->click();
        QTest::mouseClick(dlg->SpeedButton1, Qt::LeftButton);
    });
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_EQ(SharedQRPrinter->FirstPage(), 0);
    EXPECT_EQ(SharedQRPrinter->LastPage(), 0);
    EXPECT_EQ(PrintedPages(title), std::vector<int>{4});

    title = UniqueTitle();
    SharedQRPrinter->SetJobTitle(title.toStdString());
    Imprimir([&](TFrmImprimir* dlg) { QTest::mouseClick(dlg->SpeedButton2, Qt::LeftButton); });
    EXPECT_TRUE(PrintedPages(title).empty());
    EXPECT_TRUE(errors.empty());
}
