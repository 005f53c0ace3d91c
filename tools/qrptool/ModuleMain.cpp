// The entry of qrptool's modules: qrptool loads the module of a command that needs one
// and calls this with its own arguments. It sets Qt up the same way in each and runs
// the command. It never needs a display: without one, Qt runs on its offscreen platform
// with the same fonts. The search module (QRP_MODULE_WITHOUT_GUI) has no use for Qt's
// painting and makes a core application only.
#include "Command.h"

#include "base/Interruption.h"

#include <QHashFunctions>
#include <cstdio>

#ifdef QRP_MODULE_WITHOUT_GUI
#include <QCoreApplication>
using TApplication = QCoreApplication;
#else
#include <QGuiApplication>
using TApplication = QGuiApplication;
#endif

extern "C" __attribute__((visibility("default"))) int QrpModuleMain(int argc, char** argv, void (*fontsRead)())
{
    // Hash order decides the order of objects in written files (fonts in a PDF): a
    // fixed seed makes the same report give the same bytes on every run.
    QHashSeed::setDeterministicGlobalSeed();
    // The module has its own copy of the clean-up registry: its handler is the one
    // that knows what the command writes.
    qrp::CleanUpOnInterruption();
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") ||
                             !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !haveDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tool's output never depends on a display; keep Qt's own chatter off stderr.
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    // Errors are one line each: Qt's warnings about the session (no runtime folder,
    // no fonts configured, ...) would add lines of their own.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "qrptool: %s\n", qPrintable(text));
    });
    TApplication app(argc, argv);
    TApplication::setApplicationName("qrptool");
    TApplication::setApplicationVersion(QRP_VERSION);
    // The font configuration was being read while the application object was made.
    fontsRead();

    // qrptool has checked the command and its --help before loading this module.
    const std::string name = argc >= 2 ? argv[1] : "";
    const qrptool::TCommandInfo* command = qrptool::FindCommand(name);
    const qrptool::TRun run = qrptool::RegisteredRun(name);
    if (!command || !run) {
        std::fprintf(stderr, "qrptool: this module has no command \"%s\"\n", name.c_str());
        return 1;
    }
    return qrptool::RunCommand(*command, run, qrptool::Args(argv + 2, argv + argc));
}
