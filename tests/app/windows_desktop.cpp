// The windows as a user meets them on a real desktop with a window manager: keystrokes
// after the Open dialog, counters that follow the loaded report, a main window that can
// be activated after a command-line start, the error box, the print dialog's disabled
// fields, the preview's restore size and its zoom around the pointer and the centre.
#include "DesktopTestSupport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>

#include "preview/QRPreviewImage.h"

using namespace qrp;
using namespace qrp::desktoptest;

namespace {

class DesktopWindows : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        if (qEnvironmentVariable("QT_QPA_PLATFORM") != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs the desktop of tests/support/desktop-session.sh";
        WriteReport(WorkFile(QStringLiteral("acta.qrp")), 3);
        WriteReport(WorkFile(QStringLiteral("breve.qrp")), 2);
    }

    // Starts the program; the preview comes to the front when the argument opens a file.
    void StartAndWait(const QStringList& args = {})
    {
        Start(args);
        QWidget* front = FrmVisualizar->isVisible() ? static_cast<QWidget*>(FrmVisualizar) : FrmManRepo;
        ASSERT_TRUE(WaitFor([front] { return front->isVisible() && front->isActiveWindow(); }));
        Pump(300);
    }
    // Starts and makes sure of the window in front, as a user would by clicking it.
    void StartAndActivate(const QStringList& args = {})
    {
        Start(args);
        QWidget* front = FrmVisualizar->isVisible() ? static_cast<QWidget*>(FrmVisualizar) : FrmManRepo;
        if (!WaitFor([front] { return front->isActiveWindow(); }, 2000))
            ActivateByWindowManager(front);
        ASSERT_TRUE(WaitFor([front] { return front->isVisible() && front->isActiveWindow(); }));
        Pump(300);
    }

    static void ClickListRow(int row)
    {
        QListWidget* list = FrmManRepo->ListaArchivos;
        ASSERT_TRUE(PointerClickAt(list->viewport(), list->visualItemRect(list->item(row)).center()));
    }

    static QString NameField()
    {
        auto* name = FrmManRepo->OpenDialog1->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        return name ? name->text() : QString();
    }

    // Where the page point under a viewport point lies, in page pixels at zoom 100.
    static QPointF PagePointUnder(QPoint viewportPoint)
    {
        TQRPreview* p = FrmVisualizar->QRPrev;
        const QPoint image = p->PageImage()->pos();
        return QPointF(p->horizontalScrollBar()->value() + viewportPoint.x() - image.x(),
                       p->verticalScrollBar()->value() + viewportPoint.y() - image.y()) *
               (100.0 / p->Zoom());
    }
};

} // namespace

TEST_F(DesktopWindows, TheFirstAcceleratorAfterTheOpenDialogPressesItsButton)
{
    StartAndActivate();
    // "&Abrir", a name typed into the dialog and Return, as a user opens a file.
    OnceActive(FrmManRepo->OpenDialog1, [] {
        Type(QStringLiteral("acta.qrp"));
        Pump(300);
        Keys({QStringLiteral("Return")});
    });
    ASSERT_TRUE(PointerClick(FrmManRepo->xpButton1));
    ASSERT_TRUE(WaitFor([] { return !FrmManRepo->OpenDialog1->isVisible() && SharedQRPrinter->PageTotal() == 3; }));
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    Pump(200);

    // The first Alt+letter presses "&Reporte".
    Keys({QStringLiteral("alt+r")});
    EXPECT_TRUE(WaitFor([] { return FrmVisualizar->isVisible(); }, 3000)) << "Alt+R did not press \"&Reporte\"";

    // The next opening proposes exactly the file last chosen.
    Keys({QStringLiteral("alt+s")});
    ASSERT_TRUE(WaitFor([] { return !FrmVisualizar->isVisible(); }));
    ActivateByWindowManager(FrmManRepo);
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    QString proposed;
    OnceActive(FrmManRepo->OpenDialog1, [&] {
        proposed = NameField();
        Keys({QStringLiteral("Escape")});
    });
    ASSERT_TRUE(PointerClick(FrmManRepo->xpButton1));
    ASSERT_TRUE(WaitFor([&] { return !proposed.isNull() && !FrmManRepo->OpenDialog1->isVisible(); }));
    EXPECT_EQ(proposed, QStringLiteral("acta.qrp"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(DesktopWindows, TheOpenPreviewFollowsTheReportChosenInTheMainWindow)
{
    WriteBytes(WorkFile(QStringLiteral("roto.qrp")), QByteArray(300, 'x'));
    StartAndActivate({WorkFile(QStringLiteral("acta.qrp"))});
    TFrmVisualizar* f = FrmVisualizar;
    Keys({QStringLiteral("End")});
    ASSERT_TRUE(WaitFor([f] { return f->Edtpagina->text() == QStringLiteral("3"); }));
    ASSERT_EQ(f->Edtnumpagina->text(), QStringLiteral("3"));

    // Another file from the list while the preview stays open: page 1 of it, its count.
    ActivateByWindowManager(FrmManRepo);
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    ClickListRow(1);  // breve.qrp, 2 pages
    ASSERT_TRUE(WaitFor([] { return SharedQRPrinter->PageTotal() == 2; }));
    Pump(200);
    EXPECT_EQ(f->QRPrev->PageNumber(), 1);
    EXPECT_EQ(f->QRPrev->PageImage()->ShownPage(), 1);
    EXPECT_TRUE(f->QRPrev->PageImage()->HasPicture());
    EXPECT_EQ(f->Edtpagina->text(), QStringLiteral("1"));
    EXPECT_EQ(f->Edtnumpagina->text(), QStringLiteral("2"));
    for (QToolButton* b : {f->SpdPrimer, f->SpdAnterior, f->SpdSiguiente, f->SpdUltimo})
        EXPECT_TRUE(b->isEnabled());

    // A file that fails to load: no page, a count of 0, nothing drawn, nothing to scroll.
    ClickListRow(2);  // roto.qrp
    ASSERT_TRUE(WaitFor([this] { return !errors.empty(); }));
    Pump(300);
    EXPECT_FALSE(f->QRPrev->PageImage()->HasPicture());
    EXPECT_EQ(f->Edtpagina->text(), QStringLiteral("0"));
    EXPECT_EQ(f->Edtnumpagina->text(), QStringLiteral("0"));
    EXPECT_FALSE(f->QRPrev->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(f->QRPrev->verticalScrollBar()->isVisible());
    for (QToolButton* b : {f->SpdPrimer, f->SpdAnterior, f->SpdSiguiente, f->SpdUltimo})
        EXPECT_FALSE(b->isEnabled());

    // "&Reporte" now shows the same: an empty report, not the last count.
    ActivateByWindowManager(FrmManRepo);
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    Keys({QStringLiteral("alt+r")});
    ASSERT_TRUE(WaitFor([f] { return f->isActiveWindow(); }));
    EXPECT_EQ(f->Edtpagina->text(), QStringLiteral("0"));
    EXPECT_EQ(f->Edtnumpagina->text(), QStringLiteral("0"));
}

TEST_F(DesktopWindows, TheMainWindowCanBeActivatedAfterACommandLineStart)
{
    StartAndWait({WorkFile(QStringLiteral("acta.qrp"))});
    // The preview came to the front; it stays there through the main window's paints.
    FrmManRepo->repaint();
    Pump(500);
    EXPECT_TRUE(FrmVisualizar->isActiveWindow());

    // Alt+Tab to the main window: it is activated and stays active.
    Keys({QStringLiteral("alt+Tab")});
    EXPECT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }, 3000));
    Pump(800);
    EXPECT_TRUE(FrmManRepo->isActiveWindow()) << "the main window lost the focus to the preview";
    // A click in it keeps it active too.
    ClickListRow(1);
    Pump(800);
    EXPECT_TRUE(FrmManRepo->isActiveWindow());
    EXPECT_TRUE(errors.empty());
}

TEST_F(DesktopWindows, AMissingFileOnTheCommandLineLeavesTheMainWindowReachable)
{
    StartAndActivate({WorkFile(QStringLiteral("falta.qrp"))});
    ClickListRow(0);
    ASSERT_TRUE(WaitFor([] { return SharedQRPrinter->PageTotal() == 3; }));
    Keys({QStringLiteral("alt+r")});
    ASSERT_TRUE(WaitFor([] { return FrmVisualizar->isActiveWindow(); }));
    Pump(300);
    ActivateByWindowManager(FrmManRepo);
    EXPECT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }, 3000));
    Pump(800);
    EXPECT_TRUE(FrmManRepo->isActiveWindow()) << "the main window lost the focus to the preview";
}

TEST_F(DesktopWindows, TheErrorBoxIsWideEnoughForItsTitle)
{
    StartAndActivate();
    SetErrorBoxHook({});
    int boxWidth = 0;
    int titleBar = 0;
    auto* watch = new QTimer;
    QObject::connect(watch, &QTimer::timeout, [&, watch] {
        QMessageBox* box = ShownMessageBox();
        if (!box || !box->isActiveWindow() || box->width() < 20)
            return;
        watch->stop();
        watch->deleteLater();
        Pump(200);
        boxWidth = box->width();
        titleBar = box->geometry().top() - box->frameGeometry().top();
        Keys({QStringLiteral("Return")});
    });
    watch->start(20);
    QTimer::singleShot(0, [] { ShowErrorBox(QStringLiteral("x")); });
    ASSERT_TRUE(WaitFor([&] { return boxWidth > 0 && !ShownMessageBox(); }, 10000));
    // The window manager's title: the application title in a bold face about the size
    // of the general font, beside the bar's icon and its three buttons.
    QFont font = QApplication::font();
    font.setBold(true);
    const int title = QFontMetrics(font).horizontalAdvance(ApplicationTitle());
    EXPECT_GE(boxWidth, title + 4 * std::max(titleBar, 16)) << "box " << boxWidth << ", title " << title;
}

TEST_F(DesktopWindows, DisabledRangeFieldsLookDisabled)
{
    StartAndActivate({WorkFile(QStringLiteral("acta.qrp"))});
    QRgb disabledBase = 0, enabledBase = 0;
    QRgb disabledText = 0, enabledText = 0;
    OnceActive(FrmImprimir, [&] {
        TFrmImprimir* d = FrmImprimir;
        // The field's inside, left of its arrows, and its digit.
        auto sample = [d](QRgb& base, QRgb& ink) {
            const QImage img = d->SpDesde->grab().toImage();
            base = img.pixel(3, img.height() / 2);
            ink = base;
            for (int x = 2; x < img.width() / 2; ++x)
                for (int y = 3; y < img.height() - 3; ++y)
                    if (qGray(img.pixel(x, y)) < qGray(ink))
                        ink = img.pixel(x, y);
        };
        if (d->RdgTodas->isChecked()) {
            sample(disabledBase, disabledText);
            PointerClickAt(d->RdgPaginas, QPoint(8, d->RdgPaginas->height() / 2));
            WaitFor([d] { return d->SpDesde->isEnabled(); });
            sample(enabledBase, enabledText);
        }
        Keys({QStringLiteral("alt+c")});
    });
    ASSERT_TRUE(PointerClick(FrmVisualizar->SpeedButton2));
    ASSERT_TRUE(WaitFor([&] { return enabledBase != 0 && !FrmImprimir->isVisible(); }, 10000));
    EXPECT_NE(disabledBase, enabledBase) << "the disabled field has the enabled field's colour";
    EXPECT_EQ(enabledBase, FrmImprimir->palette().color(QPalette::Active, QPalette::ToolTipBase).rgb());
    EXPECT_GT(qGray(disabledText), qGray(enabledText)) << "the disabled digit is as dark as the enabled one";
}

TEST_F(DesktopWindows, TheMaximizedPreviewRestoresToItsDesignedSize)
{
    StartAndActivate({WorkFile(QStringLiteral("acta.qrp"))});
    TFrmVisualizar* f = FrmVisualizar;
    ASSERT_TRUE(f->windowState() & Qt::WindowMaximized);
    // Closed and shown again by "&Reporte": still maximized.
    Keys({QStringLiteral("alt+s")});
    ASSERT_TRUE(WaitFor([f] { return !f->isVisible(); }));
    ActivateByWindowManager(FrmManRepo);
    ASSERT_TRUE(WaitFor([] { return FrmManRepo->isActiveWindow(); }));
    Keys({QStringLiteral("alt+r")});
    ASSERT_TRUE(WaitFor([f] { return f->isActiveWindow() && (f->windowState() & Qt::WindowMaximized); }));
    Pump(500);

    // A double click on its title bar, at the top of the work area, restores it. (Qt's
    // own idea of the frame's place lags behind the window manager's here.)
    const QRect area = f->screen()->availableGeometry();
    ASSERT_TRUE(Xdo({QStringLiteral("mousemove"), QString::number(area.center().x()), QString::number(area.top() + 6),
                     QStringLiteral("sleep"), QStringLiteral("0.5"), QStringLiteral("click"), QStringLiteral("--repeat"),
                     QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("100"), QStringLiteral("1")}));
    ASSERT_TRUE(WaitFor([f] { return !(f->windowState() & Qt::WindowMaximized); }));
    Pump(500);
    EXPECT_EQ(f->size(), QSize(876, 596));
}

TEST_F(DesktopWindows, ZoomKeepsThePointUnderThePointerAndTheCentre)
{
    StartAndActivate({WorkFile(QStringLiteral("acta.qrp"))});
    TQRPreview* p = FrmVisualizar->QRPrev;
    ASSERT_EQ(p->Zoom(), 100);
    // Somewhere down the page, with the view scrolled, so that no point sits at the origin.
    p->verticalScrollBar()->setValue(p->verticalScrollBar()->maximum() / 2);
    Pump(100);
    ASSERT_GT(p->verticalScrollBar()->value(), 20);

    // Across, the page is narrower than the view and stays centred in it, so the pointer
    // goes to the middle; down the page, it is anywhere.
    const QPoint at(p->viewport()->width() / 2, p->viewport()->height() / 3);
    const QPointF before = PagePointUnder(at);
    const QPoint g = p->viewport()->mapToGlobal(at);
    auto wheel = [&](const char* button) {
        return Xdo({QStringLiteral("mousemove"), QString::number(g.x()), QString::number(g.y()),
                    QStringLiteral("keydown"), QStringLiteral("ctrl"), QStringLiteral("click"),
                    QString::fromLatin1(button), QStringLiteral("keyup"), QStringLiteral("ctrl")});
    };
    ASSERT_TRUE(wheel("4"));
    ASSERT_TRUE(WaitFor([p] { return p->Zoom() == 110; }));
    Pump(100);
    QPointF after = PagePointUnder(at);
    EXPECT_NEAR(after.x(), before.x(), 1.5);
    EXPECT_NEAR(after.y(), before.y(), 1.5);
    ASSERT_TRUE(wheel("5"));
    ASSERT_TRUE(WaitFor([p] { return p->Zoom() == 100; }));
    Pump(100);
    after = PagePointUnder(at);
    EXPECT_NEAR(after.x(), before.x(), 1.5);
    EXPECT_NEAR(after.y(), before.y(), 1.5);

    // Ctrl with plus and minus keep the centre of the view.
    const QPoint centre = p->viewport()->rect().center();
    const QPointF middle = PagePointUnder(centre);
    Keys({QStringLiteral("ctrl+KP_Add")});
    ASSERT_TRUE(WaitFor([p] { return p->Zoom() == 110; }));
    after = PagePointUnder(centre);
    EXPECT_NEAR(after.x(), middle.x(), 1.5);
    EXPECT_NEAR(after.y(), middle.y(), 1.5);
    Keys({QStringLiteral("ctrl+minus"), QStringLiteral("ctrl+minus")});
    ASSERT_TRUE(WaitFor([p] { return p->Zoom() == 90; }));
    after = PagePointUnder(centre);
    EXPECT_NEAR(after.x(), middle.x(), 1.5);
    EXPECT_NEAR(after.y(), middle.y(), 1.5);

    // The tool bar's button keeps its own way: the view goes back to the page's origin.
    ASSERT_TRUE(PointerClick(FrmVisualizar->Aumenta));
    ASSERT_TRUE(WaitFor([p] { return p->Zoom() == 100; }));
    EXPECT_EQ(p->verticalScrollBar()->value(), 0);
    EXPECT_EQ(p->horizontalScrollBar()->value(), 0);
}
