#include "controls/xpButton.h"

#include "controls/XPGraphUtil.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

namespace qrp {

namespace {

const QColor kOuterFace(214, 211, 211);
const QColor kBorder(0, 60, 116);
const QColor kGradientLight(253, 253, 253);
const QColor kGradientDark(205, 204, 223);
const QColor kTopLine(206, 231, 255);
const QColor kBottomLine(105, 130, 238);
const QColor kInnerFrame(188, 212, 246);
const QColor kWhite(255, 255, 255);
const QColor kHoverFrame(248, 179, 48);
const QColor kDisabledFace(241, 241, 237);
const QColor kDisabledBorder(196, 195, 191);
const QColor kDisabledText(161, 161, 146);
const QRgb kTransparentKey = qRgb(255, 0, 255);

// The glyph image with the key colour made transparent, or replaced by a colour.
QImage KeyedImage(const QImage& source, const QColor* replacement)
{
    QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const QRgb with = replacement ? replacement->rgb() : qRgba(0, 0, 0, 0);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0x00ffffffu) == (kTransparentKey & 0x00ffffffu) && qAlpha(line[x]) == 255)
                line[x] = with;
    }
    return img;
}

bool IsPressKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

} // namespace

TxpButton::TxpButton(QWidget* parent, QObject* owner)
    : QWidget(parent), FFont(QApplication::font()), FOwner(owner ? owner : parent)
{
    resize(75, 25);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAttribute(Qt::WA_Hover, false);
    UpdateShortcuts();
}

TxpButton::~TxpButton() = default;

void TxpButton::SetCaption(const QString& value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    UpdateShortcuts();
    repaint();
}

QString TxpButton::DrawnText() const
{
    QString text = FCaption;
    const int amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0)
        text.remove(amp, 1);
    return text;
}

QChar TxpButton::Accelerator() const
{
    const int amp = FCaption.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= FCaption.size())
        return {};
    return FCaption.at(amp + 1);
}

void TxpButton::SetFont(const QFont& font, const QColor& color)
{
    FFont = font;
    FFontColor = color;
    repaint();
}

void TxpButton::SetGlyph(const QImage& glyph)
{
    FGlyph = glyph.copy();
}

void TxpButton::SetCancel(bool value)
{
    FCancel = value;
    UpdateShortcuts();
}

void TxpButton::SetDefault(bool value)
{
    FDefault = value;
    UpdateShortcuts();
}

void TxpButton::UpdateShortcuts()
{
    for (int* id : {&FAccelShortcut, &FEscapeShortcut, &FReturnShortcut, &FEnterShortcut}) {
        if (*id != 0)
            releaseShortcut(*id);
        *id = 0;
    }
    const QChar accel = Accelerator();
    if (!accel.isNull() && accel != QLatin1Char('&'))
        FAccelShortcut = grabShortcut(QKeySequence(QKeyCombination(Qt::AltModifier,
                                                                    Qt::Key(accel.toUpper().unicode()))),
                                      Qt::WindowShortcut);
    if (FCancel)
        FEscapeShortcut = grabShortcut(QKeySequence(Qt::Key_Escape), Qt::WindowShortcut);
    if (FDefault) {
        FReturnShortcut = grabShortcut(QKeySequence(Qt::Key_Return), Qt::WindowShortcut);
        FEnterShortcut = grabShortcut(QKeySequence(Qt::Key_Enter), Qt::WindowShortcut);
    }
}

void TxpButton::FireClick()
{
    QPointer<TxpButton> self(this);
    if (OnClick)
        OnClick(this);
    if (!self)
        return;
    if (FModalResult != 0) {
        // The owner's modal run ends, not that of whatever form contains the button.
        if (auto* dialog = qobject_cast<QDialog*>(FOwner.data())) {
            dialog->setResult(FModalResult);
            if (dialog->isVisible() && dialog->isModal())
                dialog->done(FModalResult);
        }
    }
}

bool TxpButton::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        auto* se = static_cast<QShortcutEvent*>(e);
        const int id = se->shortcutId();
        if (id != 0 && isEnabled() &&
            (id == FAccelShortcut || id == FEscapeShortcut || id == FReturnShortcut ||
             id == FEnterShortcut)) {
            FireClick();
            return true;
        }
    }
    return QWidget::event(e);
}

void TxpButton::SetHover(bool value)
{
    if (FHover == value)
        return;
    FHover = value;
    repaint();
}

void TxpButton::enterEvent(QEnterEvent* e)
{
    SetHover(true);
    QWidget::enterEvent(e);
}

void TxpButton::leaveEvent(QEvent* e)
{
    SetHover(false);
    QWidget::leaveEvent(e);
}

void TxpButton::mouseMoveEvent(QMouseEvent* e)
{
    // The press does not capture the pointer for this button, so while a button is held
    // the hover state still follows where the pointer is.
    if (e->buttons() != Qt::NoButton)
        SetHover(rect().contains(e->position().toPoint()));
    e->accept();
}

void TxpButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->accept();
        return;
    }
    FPressSetByLastDown = false;
    if (!FPressed) {
        FPressed = true;
        FPressSetByLastDown = true;
        if (!hasFocus() && isEnabled())
            setFocus(Qt::MouseFocusReason);
        repaint();
    }
    e->accept();
}

void TxpButton::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton)
        return;
    // A release away from the button belongs to whatever is under the pointer there.
    if (!rect().contains(e->position().toPoint())) {
        SetHover(false);
        return;
    }
    if (FPressed) {
        FPressed = false;
        repaint();
        FireClick();
    }
}

void TxpButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton)
        return;
    // The second press of a double click counts as the double click itself: it leaves
    // the button released, so its release does not click a third time.
    if (FPressSetByLastDown) {
        FPressed = false;
        FPressSetByLastDown = false;
        repaint();
    }
    FireClick();
}

void TxpButton::keyPressEvent(QKeyEvent* e)
{
    if (!FPressed && IsPressKey(e->key())) {
        FPressed = true;
        update();
    }
    // A letter typed while a button has the focus works as an accelerator of the form.
    const Qt::KeyboardModifiers mods = e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (mods == Qt::NoModifier && e->text().size() == 1 && e->text().at(0).isLetterOrNumber()) {
        const QChar typed = e->text().at(0).toUpper();
        for (TxpButton* b : window()->findChildren<TxpButton*>()) {
            const QChar accel = b->Accelerator();
            if (!accel.isNull() && accel.toUpper() == typed && b->isEnabled() && b->isVisible()) {
                b->FireClick();
                break;
            }
        }
    }
    QWidget::keyPressEvent(e);
}

void TxpButton::keyReleaseEvent(QKeyEvent* e)
{
    if (FPressed && !e->isAutoRepeat()) {
        FPressed = false;
        update();
        FireClick();
    }
    QWidget::keyReleaseEvent(e);
}

void TxpButton::focusInEvent(QFocusEvent* e)
{
    if (!FFocused) {
        FFocused = true;
        update();
    }
    QWidget::focusInEvent(e);
    if (OnEnter && e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason)
        OnEnter(this);
}

void TxpButton::focusOutEvent(QFocusEvent* e)
{
    if (FFocused) {
        FFocused = false;
        update();
    }
    QWidget::focusOutEvent(e);
    if (OnExit && e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason)
        OnExit(this);
}

void TxpButton::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(e);
}

void TxpButton::paintEvent(QPaintEvent*)
{
    const QImage face = RenderFace();
    QPainter painter(this);
    painter.drawImage(0, 0, face);
}

QImage TxpButton::RenderFace() const
{
    QImage image(width(), height(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Button));
    QPainter canvas(&image);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (isEnabled())
        PaintEnabled(canvas);
    else
        PaintDisabled(canvas);
    canvas.end();
    return image;
}

void TxpButton::PaintEnabled(QPainter& canvas) const
{
    const int W = width(), H = height();
    RoundRect(canvas, {0, 0, W, H}, 3, 3, kOuterFace, kOuterFace);
    RoundRect(canvas, {1, 1, W - 1, H - 1}, 5, 5, kBorder, QColor());
    if (FPressed && FHover)
        GradientFill(canvas, {4, 4, W - 4, H - 4}, kGradientLight, kGradientDark, gdBottomToTop,
                     static_cast<std::uint8_t>(H / 2));
    else
        GradientFill(canvas, {4, 4, W - 4, H - 4}, kGradientLight, kGradientDark, gdTopToBottom,
                     static_cast<std::uint8_t>(H / 3));
    LineTo(canvas, 3, 2, W - 3, 2, kTopLine);
    LineTo(canvas, 3, H - 3, W - 3, H - 3, kBottomLine);
    FrameRect(canvas, {2, 3, W - 2, H - 3}, kInnerFrame);
    LineTo(canvas, 3, 4, 3, H - 4, kWhite);
    LineTo(canvas, W - 4, 4, W - 4, H - 4, kWhite);
    LineTo(canvas, 3, H - 1, W - 3, H - 1, kWhite);
    LineTo(canvas, W - 1, H - 4, W - 1, 2, kWhite);
    if (FHover)
        RoundRect(canvas, {3, 3, W - 3, H - 3}, 2, 2, kHoverFrame, QColor());
    PaintContent(canvas, true);
    if (FFocused)
        DrawFocusRect(canvas, {4, 4, W - 4, H - 4});
}

void TxpButton::PaintDisabled(QPainter& canvas) const
{
    const int W = width(), H = height();
    RoundRect(canvas, {0, 0, W, H}, 3, 3, kOuterFace, kDisabledFace);
    const QColor buttonFace = palette().color(QPalette::Button);
    for (const QPoint& p : {QPoint(0, 0), QPoint(W - 1, 0), QPoint(W - 1, H - 1), QPoint(0, H - 1)})
        canvas.fillRect(p.x(), p.y(), 1, 1, buttonFace);
    RoundRect(canvas, {1, 1, W - 1, H - 1}, 5, 5, kDisabledBorder, QColor());
    PaintContent(canvas, false);
}

void TxpButton::PaintContent(QPainter& canvas, bool enabled) const
{
    const int W = width(), H = height();
    const QString text = DrawnText();
    const QColor color = enabled ? FFontColor : kDisabledText;
    canvas.setFont(FFont);
    canvas.setPen(color);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm = canvas.fontMetrics();
    const int tw = fm.horizontalAdvance(text), th = fm.height();

    int x0 = 0, y0 = 0;
    QRect clip;
    if (FGlyph.isNull()) {
        const int p = (enabled && FPressed) ? 1 : 0;
        x0 = (W - tw) / 2 + p;
        y0 = (H - th) / 2 + p;
        clip = QRect(QPoint(4, 4), QPoint(W - 5, H - 5));
    } else {
        const int gw = FNumGlyph == 2 ? FGlyph.width() / 2 : FGlyph.width();
        const int gh = FGlyph.height();
        const int gx = (W - (tw + gw + 4)) / 2;
        const int gy = (H - gh) / 2;
        if (enabled) {
            canvas.drawImage(gx, gy, KeyedImage(FGlyph.copy(0, 0, gw, gh), nullptr));
        } else {
            const int sx = FNumGlyph == 2 ? gw : 0;
            const QImage src = KeyedImage(FGlyph.copy(sx, 0, gw, std::min(16, gh)), &kDisabledFace);
            canvas.drawImage(QRect(5, 4, 16, 16), src);
        }
        // The glyph and the text, and so the underline, keep their place while pressed.
        x0 = gx + gw + 4;
        y0 = (H - th) / 2;
        clip = QRect(x0, y0, tw, th);
    }
    canvas.save();
    canvas.setClipRect(clip);
    canvas.drawText(x0, y0 + fm.ascent(), text);
    canvas.restore();

    const int amp = FCaption.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp < text.size()) {
        const int from = x0 + fm.horizontalAdvance(text.left(amp));
        const int to = x0 + fm.horizontalAdvance(text.left(amp + 1));
        LineTo(canvas, from, y0 + th, to, y0 + th, color);
    }
}

} // namespace qrp
