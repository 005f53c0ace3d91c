// TxpButton: its painted faces (grabbed from the widget), the glyph layout, the
// accelerator underline, and every way it clicks.
#include "controls/xpButton.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qrp;

namespace {

const QColor kLight(253, 253, 253);
const QColor kDark(205, 204, 223);
const QColor kTextColor(0, 0, 255);

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

void Enter(QWidget& w)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&w, &e);
}

void Leave(QWidget& w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

QFont TestFont()
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// Metrics as the button measures them (on an image, like its face).
QFontMetrics Metrics()
{
    static QImage probe(1, 1, QImage::Format_RGB32);
    return QFontMetrics(TestFont(), &probe);
}

struct ButtonFixture : ::testing::Test {
    void SetUp() override
    {
        window.resize(200, 100);
        button = new TxpButton(&window);
        button->move(10, 10);
        button->SetFont(TestFont(), kTextColor);
        button->OnClick = [this](QObject* sender) {
            EXPECT_EQ(sender, button);
            ++clicks;
        };
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget window;
    TxpButton* button = nullptr;
    int clicks = 0;
};

int CountColumnsOfColor(const QImage& img, int y, const QColor& c, int* first = nullptr)
{
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        if (img.pixelColor(x, y) == c) {
            if (n == 0 && first)
                *first = x;
            ++n;
        }
    return n;
}

} // namespace

TEST_F(ButtonFixture, CreatedWithItsDefaults)
{
    TxpButton plain;
    EXPECT_EQ(plain.size(), QSize(75, 25));
    EXPECT_EQ(plain.Caption(), QStringLiteral("XP Button"));
    EXPECT_EQ(plain.NumGlyph(), 0);
    EXPECT_EQ(plain.ModalResult(), 0);
    EXPECT_FALSE(plain.Cancel());
    EXPECT_FALSE(plain.Default());
    EXPECT_TRUE(plain.Glyph().isNull());
    EXPECT_FALSE(plain.Hover() || plain.Pressed() || plain.Focused());
}

TEST_F(ButtonFixture, NormalFaceHasTheGradientBandsAndFrames)
{
    button->SetCaption(QString());
    button->clearFocus();
    QApplication::processEvents();
    const QImage img = Grab(*button);
    const QColor bands[8] = {{253, 253, 253}, {246, 246, 249}, {239, 239, 244}, {232, 232, 240},
                             {226, 225, 236}, {219, 218, 232}, {212, 211, 227}, {205, 204, 223}};
    for (int i = 0; i < 8; ++i)
        for (int row = 4 + 2 * i; row < 6 + 2 * i; ++row)
            for (int x : {4, 37, 70})
                EXPECT_EQ(img.pixelColor(x, row), bands[i]) << "row " << row;
    EXPECT_EQ(img.pixelColor(37, 20), kDark);
    EXPECT_EQ(img.pixelColor(37, 2), QColor(206, 231, 255));   // top highlight
    EXPECT_EQ(img.pixelColor(37, 22), QColor(105, 130, 238));  // bottom line
    EXPECT_EQ(img.pixelColor(37, 3), QColor(188, 212, 246));   // inner frame
    EXPECT_EQ(img.pixelColor(3, 10), QColor(255, 255, 255));   // white side lines
    EXPECT_EQ(img.pixelColor(71, 10), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(37, 24), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(74, 10), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(1, 10), QColor(0, 60, 116));      // blue border
    EXPECT_EQ(img.pixelColor(37, 1), QColor(0, 60, 116));
    EXPECT_EQ(img.pixelColor(0, 10), QColor(214, 211, 211));   // outer face
}

// Column 11 lies between the dots of the focus frame, which a pressed button shows.
TEST_F(ButtonFixture, HoverFrameAndPressedGradient)
{
    button->SetCaption(QString());
    Enter(*button);
    EXPECT_TRUE(button->Hover());
    QImage img = Grab(*button);
    const QColor orange(248, 179, 48);
    EXPECT_EQ(img.pixelColor(37, 3), orange);
    EXPECT_EQ(img.pixelColor(3, 12), orange);
    EXPECT_EQ(img.pixelColor(71, 12), orange);
    EXPECT_EQ(img.pixelColor(37, 21), orange);
    EXPECT_EQ(img.pixelColor(11, 4), kLight);

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(30, 12));
    img = Grab(*button);
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(img.pixelColor(11, 4), kDark);
    EXPECT_EQ(img.pixelColor(11, 15), kLight);
    for (int row = 16; row <= 20; ++row)
        EXPECT_EQ(img.pixelColor(11, row), kLight);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(30, 12));
    EXPECT_EQ(clicks, 1);

    Leave(*button);
    img = Grab(*button);
    EXPECT_EQ(img.pixelColor(37, 3), QColor(188, 212, 246));
}

TEST_F(ButtonFixture, FocusRectangleIsDottedOnTheFaceEdge)
{
    button->SetCaption(QString());
    button->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(button->Focused());
    const QImage img = Grab(*button);
    // Every other pixel of the frame's top row is inverted.
    int inverted = 0, plain = 0;
    for (int x = 4; x < 71; ++x) {
        const QColor c = img.pixelColor(x, 4);
        if (c == QColor(2, 2, 2))
            ++inverted;
        else if (c == kLight)
            ++plain;
    }
    EXPECT_GE(inverted, 33);
    EXPECT_GE(plain, 33);
    EXPECT_NE(img.pixelColor(4, 4), img.pixelColor(5, 4));
    button->clearFocus();
    QApplication::processEvents();
    EXPECT_FALSE(button->Focused());
    EXPECT_EQ(Grab(*button).pixelColor(5, 4), kLight);
    EXPECT_EQ(Grab(*button).pixelColor(4, 4), kLight);
}

TEST_F(ButtonFixture, DisabledLook)
{
    button->SetCaption(QStringLiteral("&Salir"));
    button->setEnabled(false);
    Enter(*button);
    const QImage img = Grab(*button);
    const QColor face = button->palette().color(QPalette::Button);
    EXPECT_EQ(img.pixelColor(0, 0), face);
    EXPECT_EQ(img.pixelColor(74, 0), face);
    EXPECT_EQ(img.pixelColor(74, 24), face);
    EXPECT_EQ(img.pixelColor(0, 24), face);
    EXPECT_EQ(img.pixelColor(10, 12), QColor(241, 241, 237));
    EXPECT_EQ(img.pixelColor(37, 1), QColor(196, 195, 191));
    EXPECT_EQ(img.pixelColor(0, 12), QColor(214, 211, 211));
    EXPECT_EQ(img.pixelColor(37, 3), QColor(241, 241, 237));  // no hover frame
    // The caption is drawn in the disabled grey, never in the font colour.
    EXPECT_GT(CountColumnsOfColor(img, 25 / 2, QColor(161, 161, 146)) +
                  CountColumnsOfColor(img, 25 / 2 - 1, QColor(161, 161, 146)), 0);
    for (int y = 0; y < 25; ++y)
        EXPECT_EQ(CountColumnsOfColor(img, y, kTextColor), 0);
}

TEST_F(ButtonFixture, GlyphLayoutPlacesGlyphAndText)
{
    // A caption exactly 30 pixels wide in the test font.
    QString caption;
    const QFontMetrics fm = Metrics();
    for (QChar c : QStringLiteral("ilmnxIJ1")) {
        for (int n = 1; n < 40 && caption.isEmpty(); ++n)
            if (fm.horizontalAdvance(QString(n, c)) == 30)
                caption = QString(n, c);
    }
    ASSERT_FALSE(caption.isEmpty());
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter sp(&strip);
    sp.fillRect(2, 2, 12, 12, QColor(200, 0, 0));
    sp.fillRect(18, 2, 12, 12, QColor(0, 150, 0));
    sp.end();
    button->SetCaption(QStringLiteral("&") + caption);
    button->SetGlyph(strip);
    button->SetNumGlyph(2);
    button->clearFocus();
    QApplication::processEvents();
    QImage img = Grab(*button);
    // gx = (75 - (30 + 16 + 4)) div 2 = 12, gy = (25 - 16) div 2 = 4.
    EXPECT_EQ(img.pixelColor(12 + 2, 4 + 2), QColor(200, 0, 0));
    EXPECT_EQ(img.pixelColor(12 + 13, 4 + 13), QColor(200, 0, 0));
    EXPECT_NE(img.pixelColor(12 + 1, 4 + 1), QColor(255, 0, 255));  // key colour not drawn
    EXPECT_NE(img.pixelColor(12 + 14, 4 + 14), QColor(200, 0, 0));
    for (int y = 0; y < 25; ++y)
        EXPECT_NE(img.pixelColor(30, y), QColor(0, 150, 0));
    // Text from x = 12 + 16 + 4 = 32: nothing in the font colour left of it, and the
    // underline of the first character starts there.
    const int th = fm.height();
    const int y0 = (25 - th) / 2;
    int first = -1;
    EXPECT_EQ(CountColumnsOfColor(img, y0 + th, kTextColor, &first),
              fm.horizontalAdvance(caption.left(1)));
    EXPECT_EQ(first, 32);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_NE(img.pixelColor(x, y), kTextColor) << x << "," << y;

    // Disabled: the second image, scaled into (5, 4, 21, 20), key colour as the face.
    button->setEnabled(false);
    img = Grab(*button);
    EXPECT_EQ(img.pixelColor(5 + 3, 4 + 3), QColor(0, 150, 0));
    EXPECT_EQ(img.pixelColor(5, 4), QColor(241, 241, 237));
    EXPECT_EQ(img.pixelColor(20, 19), QColor(241, 241, 237));
}

TEST_F(ButtonFixture, AcceleratorUnderlineInTextLayout)
{
    const QFontMetrics fm = Metrics();
    const int th = fm.height();
    struct Case {
        QString caption, drawn;
        int accel;
    } cases[] = {{QStringLiteral("&Salir"), QStringLiteral("Salir"), 0},
                 {QStringLiteral("Sa&lir"), QStringLiteral("Salir"), 2}};
    for (const Case& c : cases) {
        button->SetCaption(c.caption);
        button->clearFocus();
        QApplication::processEvents();
        const int tw = fm.horizontalAdvance(c.drawn);
        const int x0 = (75 - tw) / 2, y0 = (25 - th) / 2;
        const int from = x0 + fm.horizontalAdvance(c.drawn.left(c.accel));
        const int to = x0 + fm.horizontalAdvance(c.drawn.left(c.accel + 1));
        QImage img = Grab(*button);
        int first = -1;
        EXPECT_EQ(CountColumnsOfColor(img, y0 + th, kTextColor, &first), to - from) << c.caption.toStdString();
        EXPECT_EQ(first, from);
        // Pressed with the mouse over it: text and underline move one pixel right and down.
        Enter(*button);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        img = Grab(*button);
        EXPECT_EQ(CountColumnsOfColor(img, y0 + th + 1, kTextColor, &first), to - from);
        EXPECT_EQ(first, from + 1);
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        Leave(*button);
    }
    button->SetCaption(QStringLiteral("Salir"));
    const QImage img = Grab(*button);
    const int y0 = (25 - th) / 2;
    EXPECT_EQ(CountColumnsOfColor(img, y0 + th, kTextColor), 0);
}

TEST_F(ButtonFixture, MouseClicks)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(button->hasFocus());
    QTest::mouseDClick(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button->Pressed());
    QTest::mouseClick(button, Qt::RightButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 2);
    button->OnClick = nullptr;
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 10));  // unset event is skipped
}

TEST_F(ButtonFixture, PressDragOutAndReleaseDoesNotClickUntilTheNextRelease)
{
    button->SetCaption(QString());
    Enter(*button);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(button, QPoint(150, 60));
    Leave(*button);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 60));
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(Grab(*button).pixelColor(11, 4), kLight);  // not over it: normal face
    Enter(*button);
    EXPECT_EQ(Grab(*button).pixelColor(11, 4), kDark);   // over it again: pressed face
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button->Pressed());
}

TEST_F(ButtonFixture, KeysPressAndAnyReleaseClicks)
{
    button->setFocus();
    QTest::keyPress(button, Qt::Key_Space);
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(clicks, 0);
    QTest::keyPress(button, Qt::Key_Q);
    QTest::keyRelease(button, Qt::Key_Q);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button->Pressed());
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 2);
    QTest::keyClick(button, Qt::Key_W);  // other keys neither press nor click
    EXPECT_EQ(clicks, 2);
}

TEST_F(ButtonFixture, AltAcceleratorAndDialogCharacter)
{
    button->SetCaption(QStringLiteral("&Salir"));
    auto* other = new TxpButton(&window);
    other->SetCaption(QStringLiteral("&Abrir"));
    other->move(100, 10);
    other->show();
    int otherClicks = 0;
    other->OnClick = [&](QObject*) { ++otherClicks; };
    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(otherClicks, 1);
    // The letter alone while a button has the focus.
    button->setFocus();
    QTest::keyClick(button, Qt::Key_A);
    EXPECT_EQ(otherClicks, 2);
    other->setEnabled(false);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    QTest::keyClick(button, Qt::Key_A);
    EXPECT_EQ(otherClicks, 2);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonFixture, CancelAndDefaultButtons)
{
    auto* edit = new QWidget(&window);
    edit->setFocusPolicy(Qt::StrongFocus);
    edit->setGeometry(100, 50, 50, 20);
    edit->show();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(clicks, 0);
    button->SetCancel(true);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    button->SetDefault(true);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks, 3);
    button->setEnabled(false);
    QTest::keyClick(edit, Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(clicks, 3);
}

TEST(ButtonModalResult, ClickRunsOnClickThenEndsTheOwnersModalRun)
{
    QDialog dialog;
    auto* button = new TxpButton(&dialog);
    button->SetModalResult(1);
    std::vector<std::string> order;
    button->OnClick = [&](QObject*) {
        order.push_back(dialog.isVisible() ? "click while shown" : "click while hidden");
    };
    QTimer::singleShot(0, [&] { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10)); });
    QTimer::singleShot(3000, &dialog, [&] { dialog.done(7); });  // safety net
    const int result = dialog.exec();
    EXPECT_EQ(result, 1);
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0], "click while shown");

    // The owner counts, not the form that contains the button.
    QDialog host, owner;
    auto* foreign = new TxpButton(&host, &owner);
    foreign->SetModalResult(2);
    QTimer::singleShot(0, [&] { foreign->FireClick(); });
    QTimer::singleShot(300, &host, [&] { host.done(9); });
    EXPECT_EQ(host.exec(), 9);
    EXPECT_EQ(owner.result(), 2);

    // ModalResult 0 leaves the dialog running.
    QDialog third;
    auto* none = new TxpButton(&third);
    QTimer::singleShot(0, [&] { none->FireClick(); });
    QTimer::singleShot(300, &third, [&] { third.done(5); });
    EXPECT_EQ(third.exec(), 5);
}
