// main() for the application's GUI tests: the program's own application object, so
// errors leaving window handlers reach its error box exactly as in the program.
#include "app/ReportApplication.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt settles the folder of user settings files the first time one is opened and keeps
    // it for the whole process, while each test gives itself a configuration folder of
    // its own and removes it: the standard dialogs would then save theirs into the first
    // test's folder after it is gone, making it again. They go to a folder of the run's
    // own instead, settled before any test, removed after the application object.
    QTemporaryDir settingsHome(QDir::tempPath() + QStringLiteral("/qrp-app-tests-XXXXXX"));
    if (!settingsHome.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsHome.path()));
    QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
    int result = 0;
    {
        qrp::TReportApplication app(argc, argv);
        app.setQuitOnLastWindowClosed(false);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
