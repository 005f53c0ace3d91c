// What the program shares with other desktop document viewers: Qt's standard dialogs
// and buttons in the program's language, and --help and --version answered on the
// command line without a window.
#include "AppTestSupport.h"

#include <QDialogButtonBox>
#include <QToolButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

using namespace qrp;
using namespace qrp::apptest;

namespace {

class Conventions : public AppFixture {};

QStringList ButtonTexts(QWidget* dialog)
{
    QStringList texts;
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        texts << b->text().remove(QLatin1Char('&'));
    return texts;
}

// Runs the program without any display and gives its exit status and output.
int RunProgramWithoutDisplay(const QStringList& args, QString& out)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QRP_PROGRAM), args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST_F(Conventions, StandardDialogsSpeakSpanish)
{
    Start();
    // The Open dialog of "&Abrir".
    QFileDialog* open = FrmManRepo->OpenDialog1;
    QStringList buttons;
    QString lookIn, fileName;
    QTimer::singleShot(50, [&] {
        buttons = ButtonTexts(open);
        if (auto* l = open->findChild<QLabel*>(QStringLiteral("lookInLabel")))
            lookIn = l->text();
        if (auto* l = open->findChild<QLabel*>(QStringLiteral("fileNameLabel")))
            fileName = l->text().remove(QLatin1Char('&'));
        open->reject();
    });
    Click(FrmManRepo->xpButton1);
    EXPECT_TRUE(buttons.contains(QStringLiteral("Cancelar"))) << buttons.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("Abrir"))) << buttons.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(lookIn.contains(QStringLiteral("Look in")));
    EXPECT_FALSE(fileName.contains(QStringLiteral("File name")));

    // A message box's button, and the buttons of "Ir a la página".
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), QStringLiteral("x"), QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("Aceptar"));
    QInputDialog ask;
    ask.setInputMode(QInputDialog::IntInput);
    ask.show();
    EXPECT_TRUE(ButtonTexts(&ask).contains(QStringLiteral("Aceptar")));
    EXPECT_TRUE(ButtonTexts(&ask).contains(QStringLiteral("Cancelar")));
    // The program's own texts stay as they are.
    EXPECT_EQ(FrmManRepo->xpButton1->Caption(), QStringLiteral("&Abrir"));
    EXPECT_EQ(FrmImprimir->SpeedButton2->text(), QStringLiteral("&Cancelar"));
}

TEST(CommandLine, HelpAndVersionAnswerWithoutAWindow)
{
    QString out;
    EXPECT_EQ(RunProgramWithoutDisplay({QStringLiteral("--help")}, out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("usage: visualizar-reportes [FILE]"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("--version")));
    EXPECT_EQ(RunProgramWithoutDisplay({QStringLiteral("-h")}, out), 0);
    EXPECT_TRUE(out.startsWith(QStringLiteral("usage:")));
    EXPECT_EQ(RunProgramWithoutDisplay({QStringLiteral("--version")}, out), 0);
    EXPECT_EQ(out, QStringLiteral("visualizar-reportes %1\n").arg(QStringLiteral(QRP_VERSION)));
    // A file name still needs the display, as before.
    EXPECT_EQ(RunProgramWithoutDisplay({QStringLiteral("informe.qrp")}, out), 2);
}
