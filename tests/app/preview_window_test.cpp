// The preview window: navigation with its uneven enabling, zoom steps, fits, closing,
// and the keyboard and wheel conveniences.
#include "AppTestSupport.h"

#include <QToolButton>
#include <QLabel>
#include <QWheelEvent>

using namespace qrp;
using namespace qrp::apptest;

namespace {

class PreviewWindow : public AppFixture {
protected:
    // Starts with the report of `pages` pages on the command line.
    void StartOn(int pages)
    {
        const QString path = WorkFile(QStringLiteral("r%1.qrp").arg(pages));
        WriteReport(path, pages);
        Start({path});
        ASSERT_TRUE(errors.empty());
        ASSERT_TRUE(FrmVisualizar->isVisible());
    }
    static void Press(QToolButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    static int Page() { return FrmVisualizar->QRPrev->PageNumber(); }
    static QString Field() { return FrmVisualizar->Edtpagina->text(); }
};

} // namespace

TEST_F(PreviewWindow, ToolBarLayout)
{
    StartOn(1);
    TFrmVisualizar* f = FrmVisualizar;
    EXPECT_EQ(f->Panel1->height(), 37);
    EXPECT_EQ(f->SpdPrimer->geometry(), QRect(16, 8, 23, 22));
    EXPECT_EQ(f->SpdUltimo->geometry(), QRect(88, 8, 23, 22));
    EXPECT_EQ(f->Edtpagina->geometry(), QRect(232, 8, 41, 21));
    EXPECT_EQ(f->Edtnumpagina->geometry(), QRect(304, 8, 41, 21));
    EXPECT_EQ(f->SpeedButton2->geometry(), QRect(616, 8, 67, 24));
    EXPECT_EQ(f->SpeedButton7->geometry(), QRect(688, 8, 72, 23));
    EXPECT_EQ(f->SpeedButton2->text(), QStringLiteral("&Imprimir"));
    EXPECT_EQ(f->SpeedButton7->text(), QStringLiteral("&Salir"));
    EXPECT_EQ(f->Label1->text(), QStringLiteral("Página "));
    EXPECT_FALSE(f->Edtpagina->isEnabled());
    EXPECT_FALSE(f->Edtnumpagina->isEnabled());
    EXPECT_EQ(f->SpdPrimer->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(f->SpdPrimer->autoRaise());
    EXPECT_FALSE(f->SpeedButton3->autoRaise());
    EXPECT_FALSE(f->SpdPrimer->icon().isNull());
    EXPECT_EQ(f->QRPrev->geometry().top(), 37);
}

TEST_F(PreviewWindow, OnePageReportNavigation)
{
    StartOn(1);
    TFrmVisualizar* f = FrmVisualizar;
    for (QToolButton* b : {f->SpdPrimer, f->SpdAnterior, f->SpdSiguiente, f->SpdUltimo})
        EXPECT_TRUE(b->isEnabled());
    Press(f->SpdSiguiente);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Field(), QStringLiteral("1"));
    Press(f->SpdUltimo);
    EXPECT_EQ(Page(), 1);
    EXPECT_FALSE(f->SpdUltimo->isEnabled());
    EXPECT_TRUE(f->SpdPrimer->isEnabled());
    Press(f->SpdPrimer);
    EXPECT_FALSE(f->SpdPrimer->isEnabled());
    EXPECT_TRUE(f->SpdUltimo->isEnabled());
    EXPECT_EQ(Field(), QStringLiteral("1"));
    Press(f->SpdAnterior);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(Field(), QStringLiteral("1"));
}

TEST_F(PreviewWindow, PreviousAndNextOnlyEverEnable)
{
    StartOn(3);
    TFrmVisualizar* f = FrmVisualizar;
    Press(f->SpdUltimo);
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Field(), QStringLiteral("3"));
    EXPECT_FALSE(f->SpdUltimo->isEnabled());
    Press(f->SpdSiguiente);  // past the last page: refused, "first" enabled
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Field(), QStringLiteral("3"));
    EXPECT_FALSE(f->SpdUltimo->isEnabled());
    Press(f->SpdAnterior);
    EXPECT_EQ(Field(), QStringLiteral("2"));
    EXPECT_TRUE(f->SpdUltimo->isEnabled());
    Press(f->SpdPrimer);
    EXPECT_EQ(Field(), QStringLiteral("1"));
    EXPECT_FALSE(f->SpdPrimer->isEnabled());
    Press(f->SpdAnterior);  // before page 1: refused, nothing disabled
    EXPECT_EQ(Page(), 1);
    EXPECT_FALSE(f->SpdPrimer->isEnabled());
    Press(f->SpdSiguiente);
    Press(f->SpdSiguiente);
    EXPECT_EQ(Field(), QStringLiteral("3"));
    EXPECT_TRUE(f->SpdPrimer->isEnabled());
    EXPECT_TRUE(f->SpdUltimo->isEnabled());  // reaching the end with "next" disables nothing
}

TEST_F(PreviewWindow, ZoomStepsByTenBetweenTheLimits)
{
    StartOn(1);
    TFrmVisualizar* f = FrmVisualizar;
    ASSERT_EQ(f->QRPrev->Zoom(), 100);
    for (int expected = 90; expected >= 10; expected -= 10) {
        Press(f->Disminuye);
        EXPECT_EQ(f->QRPrev->Zoom(), expected);
    }
    Press(f->Disminuye);
    Press(f->Disminuye);
    EXPECT_EQ(f->QRPrev->Zoom(), 10);
    Press(f->Aumenta);
    EXPECT_EQ(f->QRPrev->Zoom(), 20);

    // After a fit the steps go on from the fitted value.
    Press(f->SpeedButton4);
    EXPECT_EQ(f->QRPrev->FitMode(), fmWholePage);
    const int fitted = f->QRPrev->Zoom();
    Press(f->Aumenta);
    EXPECT_EQ(f->QRPrev->Zoom(), fitted + 10);
    Press(f->SpeedButton3);
    EXPECT_EQ(f->QRPrev->FitMode(), fmPageWidth);
}

TEST_F(PreviewWindow, ClosingByTheTitleBarDetachesAndReporteShowsItAgain)
{
    StartOn(2);
    TFrmVisualizar* f = FrmVisualizar;
    Press(f->SpdSiguiente);
    Press(f->Disminuye);
    f->close();  // what the title bar's close button does
    Settle();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(f->QRPrev->ReportSource(), nullptr);
    EXPECT_FALSE(SharedQRPrinter->PreviewShowing());
    EXPECT_EQ(SharedQRPrinter->PageTotal(), 2);  // the report stays loaded
    EXPECT_TRUE(FrmManRepo->isVisible());

    Click(FrmManRepo->xpButton2);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(f->QRPrev->Zoom(), 100);
    EXPECT_EQ(f->Edtnumpagina->text(), QStringLiteral("2"));

    Press(f->SpeedButton7);  // "&Salir" does the same
    Settle();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(f->QRPrev->ReportSource(), nullptr);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PreviewWindow, KeyboardAndWheel)
{
    StartOn(4);
    TFrmVisualizar* f = FrmVisualizar;
    QWidget* target = f->QRPrev;
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(Field(), QStringLiteral("2"));
    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(Field(), QStringLiteral("4"));
    EXPECT_FALSE(f->SpdUltimo->isEnabled());
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(Field(), QStringLiteral("3"));
    QTest::keyClick(target, Qt::Key_Home);
    EXPECT_EQ(Field(), QStringLiteral("1"));
    EXPECT_FALSE(f->SpdPrimer->isEnabled());

    QTest::keyClick(target, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(f->QRPrev->Zoom(), 110);
    QTest::keyClick(target, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(f->QRPrev->Zoom(), 90);

    // Ctrl+G asks for a page; the field stays a display field.
    std::pair<int, int> asked{0, 0};
    f->PageAsker = [&](int current, int total) -> std::optional<int> {
        asked = {current, total};
        return 3;
    };
    QTest::keyClick(target, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(asked, std::make_pair(1, 4));
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Field(), QStringLiteral("3"));
    f->PageAsker = [](int, int) -> std::optional<int> { return std::nullopt; };
    QTest::keyClick(target, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(Page(), 3);

    // The wheel with Ctrl zooms by 10; without Ctrl it scrolls and keeps the zoom.
    const QPointF at(50, 50);
    QWheelEvent up(at, f->QRPrev->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f->QRPrev->viewport(), &up);
    EXPECT_EQ(f->QRPrev->Zoom(), 100);
    QWheelEvent down(at, f->QRPrev->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f->QRPrev->viewport(), &down);
    EXPECT_EQ(f->QRPrev->Zoom(), 90);
    QWheelEvent plain(at, f->QRPrev->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f->QRPrev->viewport(), &plain);
    EXPECT_EQ(f->QRPrev->Zoom(), 90);
    EXPECT_TRUE(errors.empty());
}
