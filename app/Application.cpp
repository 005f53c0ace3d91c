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
#include <string>

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

namespace {

void PrintUsage()
{
    std::printf("usage: visualizar-reportes [FILE]\n"
                "       visualizar-reportes --help | --version\n"
                "\n"
                "Shows saved report files (.qrp) page by page and prints them. The main window\n"
                "lists the .qrp files of the current folder; FILE, when it names an existing\n"
                "file, is opened and previewed at once.\n"
                "\n"
                "  -h, --help   show this help and exit\n"
                "  --version    show the version and exit\n");
}

} // namespace

int RunProgram(int argc, char** argv)
{
    // Answered without a window, as other document viewers do.
    if (argc >= 2) {
        const std::string first = argv[1];
        if (first == "--help" || first == "-h") {
            PrintUsage();
            return 0;
        }
        if (first == "--version") {
            std::printf("visualizar-reportes %s\n", QRP_VERSION);
            return 0;
        }
    }
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
