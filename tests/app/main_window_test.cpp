// Start-up and the main window, driven through the real windows over real report files.
#include "AppTestSupport.h"

#include "app/FrmDirectorio.h"

#include <QDropEvent>
#include <QToolButton>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace qrp;
using namespace qrp::apptest;

namespace {

class MainWindow : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        WriteReport(WorkFile(QStringLiteral("b.qrp")), 2);
        WriteReport(WorkFile(QStringLiteral("A.QRP")), 1);
        WriteReport(WorkFile(QStringLiteral("c.Qrp")), 3);
        WriteBytes(WorkFile(QStringLiteral("notes.txt")), "not listed");
        QDir(work).mkdir(QStringLiteral("folder.qrp"));
    }
    QStringList ListNames() const
    {
        QStringList names;
        for (int i = 0; i < FrmManRepo->ListaArchivos->count(); ++i)
            names << FrmManRepo->ListaArchivos->item(i)->text();
        return names;
    }
    QString ExpectedLoadError(const QString& path) const
    {
        const std::string reader = ReaderMessage(path);
        EXPECT_FALSE(reader.empty());
        QString text = LoadErrorPrefix() + QString::fromStdString(reader);
        if (text.back() > QLatin1Char('.'))
            text += QLatin1Char('.');
        return text;
    }
};

} // namespace

TEST(ErrorBoxText, FullStopOnlyAfterCharactersSortingAfterThePoint)
{
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Stream read error")), QStringLiteral("Stream read error."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Reporte!!")), QStringLiteral("Reporte!!"));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("size (12)")), QStringLiteral("size (12)"));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("page 7")), QStringLiteral("page 7."));
    EXPECT_EQ(ErrorBoxText(QStringLiteral("for ''")), QStringLiteral("for ''"));
    EXPECT_EQ(ErrorBoxText(QString()), QString());
}

TEST_F(MainWindow, StartWithoutArgumentsShowsTheMainWindowOnly)
{
    Start();
    ASSERT_TRUE(FrmManRepo && FrmReporte && FrmVisualizar && FrmDirectorio && FrmImprimir);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(FrmManRepo->isVisible());
    EXPECT_EQ(FrmManRepo->windowTitle(), QStringLiteral("GESTION GENERAL - Reportes"));
    EXPECT_EQ(FrmManRepo->size(), QSize(418, 296));
    EXPECT_EQ(FrmManRepo->minimumSize(), FrmManRepo->maximumSize());
    EXPECT_FALSE(FrmManRepo->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(FrmManRepo->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(FrmVisualizar->isVisible());
    EXPECT_FALSE(FrmReporte->isVisible());
    EXPECT_FALSE(FrmDirectorio->isVisible());
    EXPECT_EQ(FrmVisualizar->windowTitle(), QStringLiteral("Visualización de Reportes"));
    EXPECT_EQ(FrmVisualizar->Edtpagina->text(), QStringLiteral("1"));
    EXPECT_TRUE(FrmManRepo->EdtArcReporte->text().isEmpty());

    // The shared printer exists and is the host component's printer.
    ASSERT_NE(SharedQRPrinter, nullptr);
    EXPECT_EQ(FrmReporte->QRReporte20->CurrentPrinter(), SharedQRPrinter);

    // Controls at their places, with their texts.
    EXPECT_EQ(FrmManRepo->ListaArchivos->geometry(), QRect(5, 62, 408, 169));
    EXPECT_EQ(FrmManRepo->EdtArcReporte->geometry(), QRect(5, 234, 408, 21));
    EXPECT_EQ(FrmManRepo->xpButton1->geometry(), QRect(62, 262, 75, 25));
    EXPECT_EQ(FrmManRepo->xpButton2->geometry(), QRect(174, 262, 75, 25));
    EXPECT_EQ(FrmManRepo->xpButton3->geometry(), QRect(286, 262, 75, 25));
    EXPECT_EQ(FrmManRepo->xpButton1->Caption(), QStringLiteral("&Abrir"));
    EXPECT_EQ(FrmManRepo->xpButton2->Caption(), QStringLiteral("&Reporte"));
    EXPECT_EQ(FrmManRepo->xpButton3->Caption(), QStringLiteral("&Salir"));
    EXPECT_EQ(FrmManRepo->xpButton1->Glyph().size(), QSize(32, 16));
    EXPECT_EQ(FrmManRepo->Label3->text(), QStringLiteral("Visualizar Reportes"));
    EXPECT_EQ(FrmManRepo->Image2->toolTip(), QStringLiteral("Acerca de Talpex"));
    EXPECT_FALSE(FrmManRepo->Image2->pixmap().isNull());

    // The report files of the start folder, any letter case, sorted by name.
    EXPECT_EQ(ListNames(), (QStringList{QStringLiteral("A.QRP"), QStringLiteral("b.qrp"), QStringLiteral("c.Qrp")}));
    EXPECT_TRUE(FrmManRepo->ListaArchivos->selectedItems().isEmpty());

    // The association was written at start, into the user's folders.
    QFile list(temp.path() + QStringLiteral("/config/mimeapps.list"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_TRUE(list.readAll().contains("application/x-qrp-report=visualizar-reportes.desktop"));
    QFile entry(temp.path() + QStringLiteral("/data/applications/visualizar-reportes.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("Exec=\"/usr/bin/visualizar-reportes\" %f"));
}

TEST_F(MainWindow, StartWithAValidReportPreviewsItOnPageOneAtZoom100)
{
    const QString path = WorkFile(QStringLiteral("c.Qrp"));
    Start({path});
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(FrmManRepo->isVisible());
    EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), path);
    ASSERT_TRUE(FrmVisualizar->isVisible());
    EXPECT_TRUE(FrmVisualizar->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(FrmVisualizar->QRPrev->ReportSource(), SharedQRPrinter);
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 3);
    EXPECT_TRUE(SharedQRPrinter->PreviewShowing());
    EXPECT_EQ(FrmVisualizar->QRPrev->PageNumber(), 1);
    EXPECT_EQ(FrmVisualizar->QRPrev->Zoom(), 100);
    EXPECT_EQ(FrmVisualizar->Edtpagina->text(), QStringLiteral("1"));
    EXPECT_EQ(FrmVisualizar->Edtnumpagina->text(), QStringLiteral("3"));
    EXPECT_EQ(QApplication::activeWindow(), FrmVisualizar);

    // The preview is in front, and repaints of the main window keep it there.
    FrmManRepo->repaint();
    Settle();
    EXPECT_EQ(QApplication::activeWindow(), FrmVisualizar);
    // Once it has come to the front, the user may activate the main window: its
    // repaints no longer hand the focus to the preview.
    FrmManRepo->activateWindow();
    QApplication::setActiveWindow(FrmManRepo);
    Settle();
    FrmManRepo->repaint();
    Settle();
    EXPECT_EQ(QApplication::activeWindow(), FrmManRepo);
}

TEST_F(MainWindow, StartWithAMissingFileIsAStartWithoutArguments)
{
    Start({WorkFile(QStringLiteral("missing.qrp"))});
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(FrmManRepo->isVisible());
    EXPECT_FALSE(FrmVisualizar->isVisible());
    EXPECT_TRUE(FrmManRepo->EdtArcReporte->text().isEmpty());
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 0);
}

TEST_F(MainWindow, StartWithADamagedFileShowsTheLoadErrorAndStaysUsable)
{
    const QString damaged = WorkFile(QStringLiteral("damaged.qrp"));
    QFile good(WorkFile(QStringLiteral("c.Qrp")));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    QByteArray bytes = good.readAll();
    bytes.truncate(200);  // the header promises pages that are not there
    WriteBytes(damaged, bytes);
    const QString expected = ExpectedLoadError(damaged);

    Start({damaged});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], expected);
    EXPECT_TRUE(errors[0].startsWith(LoadErrorPrefix()));
    EXPECT_TRUE(FrmManRepo->isVisible());
    EXPECT_TRUE(FrmManRepo->EdtArcReporte->text().isEmpty());
    EXPECT_FALSE(FrmVisualizar->isVisible());

    // The main window goes on working.
    FrmManRepo->ListaArchivos->setCurrentRow(1);
    Settle();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), FrmManRepo->ListFolder() + QStringLiteral("/b.qrp"));
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 2);
}

TEST_F(MainWindow, NotAReportFromTheListGivesTheLoadErrorAndEmptiesThePath)
{
    WriteBytes(WorkFile(QStringLiteral("d.qrp")), QByteArray(300, 'x'));
    const QString expected = ExpectedLoadError(WorkFile(QStringLiteral("d.qrp")));
    Start();
    FrmManRepo->ListaArchivos->setCurrentRow(0);  // A.QRP
    Settle();
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 1);
    QTest::mouseClick(FrmManRepo->ListaArchivos->viewport(), Qt::LeftButton, {},
                      FrmManRepo->ListaArchivos->visualItemRect(FrmManRepo->ListaArchivos->item(3)).center());
    Settle();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], expected);
    EXPECT_TRUE(FrmManRepo->EdtArcReporte->text().isEmpty());
    // The earlier report was cleared before the failed load: no report is held.
    EXPECT_EQ(SharedQRPrinter->State(), rsReady);
}

TEST_F(MainWindow, ArrowKeysThroughTheListOpenEachFile)
{
    Start();
    QListWidget* list = FrmManRepo->ListaArchivos;
    list->setFocus();
    list->setCurrentRow(0);
    Settle();
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 1);
    const int pages[] = {1, 2, 3};
    const QString names[] = {QStringLiteral("A.QRP"), QStringLiteral("b.qrp"), QStringLiteral("c.Qrp")};
    for (int row = 1; row < 3; ++row) {
        QTest::keyClick(list, Qt::Key_Down);
        Settle();
        EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), FrmManRepo->ListFolder() + QLatin1Char('/') + names[row]);
        EXPECT_EQ(SharedQRPrinter->PageTotal(), pages[row]);
    }
    QTest::keyClick(list, Qt::Key_Up);
    Settle();
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 2);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(FrmVisualizar->isVisible());  // loaded, not shown
}

TEST_F(MainWindow, ReporteTwiceShowsTheSameReportFromPageOne)
{
    Start();
    FrmManRepo->ListaArchivos->setCurrentRow(2);  // c.Qrp, 3 pages
    Settle();
    Click(FrmManRepo->xpButton2);
    ASSERT_TRUE(FrmVisualizar->isVisible());
    EXPECT_EQ(FrmVisualizar->Edtnumpagina->text(), QStringLiteral("3"));
    QTest::mouseClick(FrmVisualizar->SpdUltimo, Qt::LeftButton);
    EXPECT_EQ(FrmVisualizar->Edtpagina->text(), QStringLiteral("3"));
    EXPECT_FALSE(FrmVisualizar->SpdUltimo->isEnabled());

    Click(FrmManRepo->xpButton2);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(FrmVisualizar->isVisible());
    EXPECT_EQ(FrmVisualizar->QRPrev->ReportSource(), SharedQRPrinter);
    EXPECT_EQ(FrmVisualizar->QRPrev->PageNumber(), 1);
    EXPECT_EQ(FrmVisualizar->QRPrev->Zoom(), 100);
    EXPECT_EQ(FrmVisualizar->Edtnumpagina->text(), QStringLiteral("3"));
    // A newly attached report never shows a stale page number or a stale button.
    EXPECT_EQ(FrmVisualizar->Edtpagina->text(), QStringLiteral("1"));
    EXPECT_TRUE(FrmVisualizar->SpdUltimo->isEnabled());
}

TEST_F(MainWindow, ReporteBeforeAnyFileShowsAnEmptyReport)
{
    Start();
    QTest::keyClick(FrmManRepo, Qt::Key_R, Qt::AltModifier);  // the accelerator of "&Reporte"
    Settle();
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(FrmVisualizar->isVisible());
    EXPECT_EQ(FrmVisualizar->Edtnumpagina->text(), QStringLiteral("0"));
    EXPECT_EQ(FrmVisualizar->QRPrev->ReportSource(), SharedQRPrinter);
}

TEST_F(MainWindow, OpenDialogCancelChangesNothingAndOkOpens)
{
    Start();
    FrmManRepo->ListaArchivos->setCurrentRow(0);
    Settle();
    const QString before = FrmManRepo->EdtArcReporte->text();
    QFileDialog* dialog = FrmManRepo->OpenDialog1;
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Archivos de Reporte Talpex"));
    EXPECT_TRUE(dialog->nameFilters().value(0).startsWith(QStringLiteral("Archivos Reporte (.Qrp) (")));
    EXPECT_TRUE(dialog->nameFilters().value(0).contains(QStringLiteral("*.QRP")));
    EXPECT_TRUE(dialog->nameFilters().value(0).contains(QStringLiteral("*.qrp")));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);

    bool sawDialog = false;
    QTimer::singleShot(50, [&] {
        sawDialog = dialog->isVisible();
        dialog->reject();
    });
    Click(FrmManRepo->xpButton1);
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), before);
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 1);

    const QString chosen = WorkFile(QStringLiteral("c.Qrp"));
    QTimer::singleShot(50, [&] {
        // Typed into the dialog's name field, then accepted.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    QTimer::singleShot(5000, dialog, [&] { dialog->reject(); });  // never hang the suite
    Click(FrmManRepo->xpButton1);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(QFileInfo(FrmManRepo->EdtArcReporte->text()).canonicalFilePath(), QFileInfo(chosen).canonicalFilePath());
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 3);
    EXPECT_FALSE(FrmVisualizar->isVisible());
}

TEST_F(MainWindow, DroppedReportFileOpensLikeAListChoice)
{
    Start();
    QMimeData data;
    const QString path = WorkFile(QStringLiteral("b.qrp"));
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FrmManRepo, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FrmManRepo, &drop);
    Settle();
    EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), path);
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 2);

    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(WorkFile(QStringLiteral("notes.txt")))});
    QDragEnterEvent refused(QPoint(50, 100), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(FrmManRepo, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWindow, AFailedAssociationIsToldAndTheCommandLineReportStillOpens)
{
    const QString config = temp.path() + QStringLiteral("/config");
    const QString data = temp.path() + QStringLiteral("/data");
    const QString list = config + QStringLiteral("/mimeapps.list");
    struct Case {
        const char* name;
        std::function<void()> make;
        bool needsUser;  // permissions do not stop root
    };
    const std::vector<Case> cases{
        {"data folder below a plain file", [&] {
             WriteBytes(temp.path() + QStringLiteral("/blocked"), "file");
             qputenv("XDG_DATA_HOME", (temp.path() + QStringLiteral("/blocked/data")).toUtf8());
         }, false},
        {"configuration folder is a plain file", [&] {
             QDir(config).removeRecursively();
             WriteBytes(config, "file");
         }, false},
        {"dangling mimeapps.list", [&] {
             QDir().mkpath(config);
             QFile::link(temp.path() + QStringLiteral("/elsewhere/mimeapps.list"), list);
         }, false},
        {"mimeapps.list is a folder", [&] { QDir().mkpath(list); }, false},
        {"unreadable mimeapps.list", [&] {
             QDir().mkpath(config);
             WriteBytes(list, "[Default Applications]\n");
             QFile::setPermissions(list, QFileDevice::WriteOwner);
         }, true},
        {"read-only data folder", [&] {
             QDir(data).removeRecursively();
             QDir().mkpath(data);
             QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
         }, true},
    };
    // Writable again whatever happens, so that the temporary folder can be removed.
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(list, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    });
    const QString path = WorkFile(QStringLiteral("b.qrp"));
    for (const Case& c : cases) {
        if (c.needsUser && geteuid() == 0)
            continue;
        SCOPED_TRACE(c.name);
        c.make();
        errors.clear();
        Start({path});
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0], QStringLiteral("Failed to set data for ''"));
        EXPECT_TRUE(FrmManRepo->isVisible());
        EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), path);
        EXPECT_TRUE(FrmVisualizar->isVisible());
        EXPECT_EQ(SharedQRPrinter->PageTotal(), 2);
        EXPECT_EQ(FrmVisualizar->Edtnumpagina->text(), QStringLiteral("2"));
        EXPECT_EQ(FrmManRepo->ListaArchivos->count(), 3);
        DestroyApplicationWindows();
        QApplication::processEvents();
        // Back to working folders for the next case.
        QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(list, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        qputenv("XDG_DATA_HOME", data.toUtf8());
        QFile::remove(config);
        QFile::remove(list);
        QDir(list).removeRecursively();
    }

    // A report that cannot be loaded still gives its own error after the association's.
    QDir(config).removeRecursively();
    WriteBytes(config, "file");
    const QString broken = WorkFile(QStringLiteral("broken.qrp"));
    WriteBytes(broken, "not a report");
    errors.clear();
    Start({broken});
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], QStringLiteral("Failed to set data for ''"));
    EXPECT_EQ(errors[1], ExpectedLoadError(broken));
    EXPECT_TRUE(FrmManRepo->isVisible());
}

TEST_F(MainWindow, SalirClosesTheMainWindow)
{
    Start();
    Click(FrmManRepo->xpButton3);
    EXPECT_FALSE(FrmManRepo->isVisible());
}
