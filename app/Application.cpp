#include "app/Application.h"

#include "app/Assets.h"
#include "app/FrmDirectorio.h"
#include "app/FrmImprimir.h"
#include "app/FrmManRepo.h"
#include "app/FrmReporte.h"
#include "app/FrmVisualizar.h"
#include "app/Globals.h"
#include "app/ReportApplication.h"
#include "base/ScreenMetrics.h"
#include "platform/PrinterDevice.h"
#include "printer/QRPrinter.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace qrp {

namespace {

// With QRP_SCREENSHOT_DIR set, the program saves pictures of its three windows there
// once it has started, then ends.
void ScheduleScreenshots(const QString& folder)
{
    QTimer::singleShot(1500, qApp, [folder] {
        QDir().mkpath(folder);
        FrmManRepo->grab().save(folder + QStringLiteral("/main-window.png"));
        if (FrmVisualizar->isVisible())
            FrmVisualizar->grab().save(folder + QStringLiteral("/preview-window.png"));
        FrmImprimir->ComboImpresoras->clear();
        for (const std::string& name : SystemPrinterNames())
            FrmImprimir->ComboImpresoras->addItem(QString::fromStdString(name));
        FrmImprimir->ComboImpresoras->setCurrentIndex(ApplicationPrinterIndex());
        FrmImprimir->show();
        QTimer::singleShot(500, qApp, [folder] {
            FrmImprimir->grab().save(folder + QStringLiteral("/print-dialog.png"));
            FrmImprimir->hide();
            QCoreApplication::quit();
        });
    });
}

} // namespace

void CreateApplicationWindows(const QStringList& commandLine)
{
    SetCommandLine(commandLine);
    QCoreApplication::setApplicationName(ApplicationTitle());
    InitAssets();
    QGuiApplication::setWindowIcon(ProgramIcon());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        SetScreenPixelsPerInch(static_cast<int>(std::lround(screen->logicalDotsPerInch())));

    FrmManRepo = new TFrmManRepo();
    FrmReporte = new TFrmReporte();
    FrmVisualizar = new TFrmVisualizar();
    FrmDirectorio = new TFrmDirectorio();
    FrmImprimir = new TFrmImprimir(FrmVisualizar);
}

void DestroyApplicationWindows()
{
    delete FrmImprimir;
    FrmImprimir = nullptr;
    delete FrmDirectorio;
    FrmDirectorio = nullptr;
    delete FrmVisualizar;
    FrmVisualizar = nullptr;
    delete FrmReporte;
    FrmReporte = nullptr;
    delete FrmManRepo;
    FrmManRepo = nullptr;
    delete SharedQRPrinter;
    SharedQRPrinter = nullptr;
}

int RunProgram(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "Visualizar Reportes needs a display (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set).\n");
        return 2;
    }
    TReportApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QStringList commandLine = QCoreApplication::arguments();
    if (commandLine.isEmpty())
        commandLine << QString();
    commandLine[0] = QCoreApplication::applicationFilePath();
    CreateApplicationWindows(commandLine);
    const QString shots = qEnvironmentVariable("QRP_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        ScheduleScreenshots(shots);
    FrmManRepo->show();
    const int status = app.exec();
    DestroyApplicationWindows();
    return status;
}

} // namespace qrp
