// Printing as a user does it, on a real desktop and on real CUPS queues of the test's
// own: the printer chosen in "Imprimir" is the queue that gets the job even when queues
// come and go while the program runs; refused, removed and stopped queues are told; a
// click in the main window during a long job never mixes another report into it.
#include "DesktopTestSupport.h"
#include "tests/support/CupsTestQueue.h"

#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QListWidget>
#include <QTemporaryDir>
#include <QToolButton>

using namespace qrp;
using namespace qrp::desktoptest;
using namespace qrp::cupstest;

namespace {

// A report of `pages` pages, each with one black block: at the top-left corner of the
// page, or at its bottom-right corner, so that printed pages tell their report.
void WriteMarkedReport(const QString& path, int pages, bool topLeft)
{
    std::vector<TScriptedQueue> queues{TScriptedQueue{}};
    TQRPrinter printer(std::make_unique<TScriptedPrinterDevice>(std::move(queues), 0), 0);
    printer.BeginReport();
    const double mm = printer.ToDeviceWidth(1000) / 100.0;  // pixels in a millimetre
    const double w = printer.ToDeviceWidth(printer.OrientedPaperWidth());
    const double h = printer.ToDeviceHeight(printer.OrientedPaperLength());
    for (int k = 1; k <= pages; ++k) {
        printer.StartNewPage();
        const QRectF block(0, 0, 70 * mm, 70 * mm);
        printer.PageCanvas()->fillRect(topLeft ? block.translated(20 * mm, 20 * mm)
                                               : block.translated(w - 90 * mm, h - 90 * mm),
                                       Qt::black);
    }
    printer.EndReport();
    printer.SaveReport(QFile::encodeName(path).toStdString());
}

// Which corner of a printed page carries the block: 1 top-left, 2 bottom-right, 0 none
// or both.
int MarkedCorner(const QImage& page)
{
    auto dark = [&](double fx, double fy) {
        return qGray(page.pixel(static_cast<int>(fx * page.width()), static_cast<int>(fy * page.height()))) < 100;
    };
    const bool a = dark(0.2, 0.15), b = dark(0.8, 0.85);
    return a == b ? 0 : (a ? 1 : 2);
}

class DesktopPrinting : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        if (qEnvironmentVariable("QT_QPA_PLATFORM") != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs the desktop of tests/support/desktop-session.sh";
        if (RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-v")}) < 0)
            GTEST_SKIP() << "pdfinfo is not installed";
    }
    void TearDown() override
    {
        if (!title.isEmpty())
            RemovePdfOutputs(title);
        AppFixture::TearDown();
    }

    // A job title no other test uses, so its PDF files are found by it.
    void UniqueTitle()
    {
        if (!title.isEmpty())
            RemovePdfOutputs(title);
        title = QStringLiteral("i11desk%1x%2x%3")
                    .arg(QCoreApplication::applicationPid())
                    .arg(QDateTime::currentMSecsSinceEpoch())
                    .arg(++jobs);
        SharedQRPrinter->SetJobTitle(title.toStdString());
    }

    // Starts with the report previewed and the preview window active.
    void StartOn(const QString& report)
    {
        Start({report});
        ASSERT_TRUE(WaitFor([] { return FrmVisualizar->isVisible() && FrmVisualizar->isActiveWindow(); }));
        Pump(300);
    }

    // Presses "&Imprimir" with the pointer; once the dialog is active, `inside` runs
    // (real keys to pick a printer and accept or cancel). Returns once the dialog is
    // gone and the print, if any, is over.
    void Imprimir(const std::function<void(TFrmImprimir*)>& inside)
    {
        bool opened = false;
        OnceActive(FrmImprimir, [&] {
            opened = true;
            inside(FrmImprimir);
        });
        ASSERT_TRUE(PointerClick(FrmVisualizar->SpeedButton2));
        EXPECT_TRUE(WaitFor([&] { return opened && !FrmImprimir->isVisible(); }, 60000));
        Pump(200);
    }

    // Real keys that move the dialog's printer choice to `queue`, then "&Aceptar".
    static void ChooseAndAccept(TFrmImprimir* dialog, const QString& queue, const std::function<void()>& before = {})
    {
        const int target = dialog->ComboImpresoras->findText(queue);
        ASSERT_GE(target, 0) << queue.toStdString() << " is not listed";
        const int from = dialog->ComboImpresoras->currentIndex();
        QStringList keys;
        for (int i = from; i < target; ++i)
            keys << QStringLiteral("Down");
        for (int i = from; i > target; --i)
            keys << QStringLiteral("Up");
        if (from < 0)
            keys = QStringList{QStringLiteral("Home")} + QStringList(target, QStringLiteral("Down"));
        if (!keys.isEmpty())
            Keys(keys);
        if (before)
            before();
        Keys({QStringLiteral("alt+a")});
    }

    QString title;
    int jobs = 0;
};

// Waits for the message box the program shows, answers it with Return and gives its
// icon and text; runs from the event loop, so also while the box runs its own.
struct TBoxWatch {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Text;
    bool Seen = false;
    void Arm()
    {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [this, timer] {
            QMessageBox* box = ShownMessageBox();
            if (!box || !box->isActiveWindow())
                return;
            timer->stop();
            timer->deleteLater();
            Seen = true;
            Icon = box->icon();
            Text = box->text();
            Keys({QStringLiteral("Return")});
        });
        timer->start(20);
        QTimer::singleShot(30000, timer, [timer] { timer->stop(); });
    }
};

} // namespace

TEST_F(DesktopPrinting, TheChosenQueueGetsTheJobAfterQueuesComeAndGo)
{
    TTestQueue target("t");
    if (!target.Ok())
        GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)";
    const QString report = WorkFile(QStringLiteral("cuatro.qrp"));
    WriteReport(report, 4);
    StartOn(report);

    // A queue added while the program runs, listed before the chosen one.
    TTestQueue early("a");
    ASSERT_TRUE(early.Ok());
    UniqueTitle();
    Imprimir([&](TFrmImprimir* d) { ChooseAndAccept(d, target.Name()); });
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    ASSERT_TRUE(target.WaitUntilIdle());
    EXPECT_EQ(target.CompletedJobs().size(), 1u);
    EXPECT_TRUE(early.CompletedJobs().empty());
    ASSERT_TRUE(WaitFor([&] { return !PdfOutputs(title).isEmpty(); }, 20000));
    EXPECT_EQ(PdfPages(PdfOutputs(title).value(0)).size(), 4u);

    // The same queue again after that one is gone.
    early.Remove();
    UniqueTitle();
    Imprimir([&](TFrmImprimir* d) {
        EXPECT_EQ(d->ComboImpresoras->findText(early.Name()), -1);
        ChooseAndAccept(d, target.Name());
    });
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    ASSERT_TRUE(target.WaitUntilIdle());
    EXPECT_EQ(target.CompletedJobs().size(), 2u);
}

TEST_F(DesktopPrinting, RefusedRemovedAndStoppedQueuesAreTold)
{
    TTestQueue queue("h");
    TTestQueue doomed("r");
    if (!queue.Ok() || !doomed.Ok())
        GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)";
    const QString report = WorkFile(QStringLiteral("dos.qrp"));
    WriteReport(report, 2);
    StartOn(report);

    // A queue that refuses jobs: the error box says so, naming it.
    queue.Reject();
    UniqueTitle();
    Imprimir([&](TFrmImprimir* d) { ChooseAndAccept(d, queue.Name()); });
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("no acepta trabajos"))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains(queue.Name()));
    EXPECT_TRUE(queue.ActiveJobs().empty());

    // A queue removed while the dialog is open: the error box says it is gone.
    Imprimir([&](TFrmImprimir* d) { ChooseAndAccept(d, doomed.Name(), [&] { doomed.Remove(); }); });
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors[1].contains(QStringLiteral("ya no existe"))) << errors[1].toStdString();
    EXPECT_TRUE(errors[1].contains(doomed.Name()));

    // A stopped queue keeps the job; a note (not an error) tells the user that it waits.
    queue.Accept();
    queue.Stop();
    SetErrorBoxHook({});
    TBoxWatch note;
    note.Arm();
    Imprimir([&](TFrmImprimir* d) { ChooseAndAccept(d, queue.Name()); });
    ASSERT_TRUE(WaitFor([&] { return note.Seen; }));
    EXPECT_EQ(note.Icon, QMessageBox::Information);
    EXPECT_TRUE(note.Text.contains(QStringLiteral("detenida"))) << note.Text.toStdString();
    EXPECT_TRUE(note.Text.contains(queue.Name()));
    EXPECT_EQ(queue.ActiveJobs().size(), 1u);
}

TEST_F(DesktopPrinting, ALongJobKeepsItsReportWhileTheMainWindowIsClicked)
{
    TTestQueue queue("l");
    if (!queue.Ok())
        GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)";
    const int pages = 200;
    WriteMarkedReport(WorkFile(QStringLiteral("a-largo.qrp")), pages, true);
    WriteMarkedReport(WorkFile(QStringLiteral("b-otro.qrp")), pages, false);
    Start();
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    QListWidget* list = FrmManRepo->ListaArchivos;
    ASSERT_EQ(list->count(), 2);
    ASSERT_TRUE(PointerClickAt(list->viewport(), list->visualItemRect(list->item(0)).center()));
    ASSERT_TRUE(WaitFor([] { return SharedQRPrinter->PageTotal() == 200; }));
    const QString a = FrmManRepo->EdtArcReporte->text();
    ASSERT_TRUE(PointerClick(FrmManRepo->xpButton2));  // "&Reporte"
    ASSERT_TRUE(WaitFor([] { return FrmVisualizar->isVisible() && FrmVisualizar->isActiveWindow(); }));
    Pump(300);

    // Once the job runs, the user goes to the main window and clicks the other report.
    bool clicked = false;
    bool listUsable = true;
    auto* during = new QTimer;
    QObject::connect(during, &QTimer::timeout, [&, during] {
        if (!SharedQRPrinter->DevicePrinter().Printing())
            return;
        during->stop();
        during->deleteLater();
        ActivateByWindowManager(FrmManRepo);
        WaitFor([] { return FrmManRepo->isActiveWindow(); }, 3000);
        listUsable = list->isEnabled() && FrmManRepo->xpButton1->isEnabled() && FrmManRepo->xpButton2->isEnabled();
        clicked = PointerClickAt(list->viewport(), list->visualItemRect(list->item(1)).center());
        Pump(500);
        EXPECT_TRUE(SharedQRPrinter->DevicePrinter().Printing()) << "the job ended before the click was handled";
    });
    during->start(10);
    UniqueTitle();
    Imprimir([&](TFrmImprimir* d) { ChooseAndAccept(d, queue.Name()); });
    ASSERT_TRUE(clicked);
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    EXPECT_FALSE(listUsable) << "the main window's commands stayed usable during the job";
    EXPECT_EQ(FrmManRepo->EdtArcReporte->text(), a);

    // Every printed page is one of the first report's.
    ASSERT_TRUE(queue.WaitUntilIdle(120000));
    ASSERT_TRUE(WaitFor([&] { return !PdfOutputs(title).isEmpty(); }, 20000));
    const QString pdf = PdfOutputs(title).value(0);
    ASSERT_EQ(PdfPages(pdf).size(), static_cast<size_t>(pages));
    QTemporaryDir shots;
    ASSERT_EQ(RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("6"), QStringLiteral("-gray"), pdf,
                                               shots.path() + QStringLiteral("/p")}),
              0);
    const QFileInfoList images = QDir(shots.path()).entryInfoList(QDir::Files, QDir::Name);
    ASSERT_EQ(images.size(), pages);
    int fromA = 0;
    for (const QFileInfo& f : images)
        fromA += MarkedCorner(QImage(f.absoluteFilePath())) == 1;
    EXPECT_EQ(fromA, pages);

    // With the job done, the main window opens reports again.
    EXPECT_TRUE(list->isEnabled());
    ActivateByWindowManager(FrmManRepo);
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    ASSERT_TRUE(PointerClickAt(list->viewport(), list->visualItemRect(list->item(1)).center()));
    EXPECT_TRUE(WaitFor([&] { return FrmManRepo->EdtArcReporte->text() != a; }));
}

// Run by its own ctest entry with CUPS_SERVER naming a socket that does not exist yet:
// to the program, the print system is not running; the test then links that name to
// the scheduler's real socket, and to the program the print system has started.
TEST_F(DesktopPrinting, NoPrintSystemIsToldAndItsLaterStartFillsTheList)
{
    const QString socket = qEnvironmentVariable("CUPS_SERVER");
    if (!socket.endsWith(QStringLiteral("print-system-later.sock")))
        GTEST_SKIP() << "runs only in its own ctest entry (print-system-later)";
    QString real;
    for (const QString& candidate : {QStringLiteral("/run/cups/cups.sock"), QStringLiteral("/var/run/cups/cups.sock")})
        if (QFileInfo(candidate).exists())
            real = candidate;
    if (real.isEmpty())
        GTEST_SKIP() << "the CUPS scheduler's socket is not at its usual place";
    QFile::remove(socket);
    const QString report = WorkFile(QStringLiteral("tres.qrp"));
    WriteReport(report, 3);
    StartOn(report);

    int listed = -1;
    Imprimir([&](TFrmImprimir* d) {
        listed = d->ComboImpresoras->count();
        Keys({QStringLiteral("alt+a")});
    });
    EXPECT_EQ(listed, 0);
    ASSERT_EQ(errors.size(), 1u) << "\"&Aceptar\" with no printer said nothing";
    EXPECT_TRUE(errors[0].contains(QStringLiteral("no está en funcionamiento"))) << errors[0].toStdString();

    ASSERT_TRUE(QFile::link(real, socket));
    int system = -1;
    Imprimir([&](TFrmImprimir* d) {
        listed = d->ComboImpresoras->count();
        system = static_cast<int>(SystemPrinterNames().size());
        Keys({QStringLiteral("alt+c")});
    });
    QFile::remove(socket);
    EXPECT_EQ(listed, system);
    EXPECT_GT(listed, 0);
    EXPECT_EQ(errors.size(), 1u);
}
