#pragma once
// TxpButton: a push button that paints itself - a light rounded face with a blue
// border, a two-colour gradient, highlight lines, an orange frame under the mouse, a
// reversed gradient while held down, a dotted focus frame, an optional glyph and an
// underlined accelerator letter. It clicks by mouse, Enter/Space, its Alt accelerator
// and as a form's default (Enter) or cancel (Escape) button, and can end a modal
// dialog with its ModalResult.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace qrp {

class TxpButton : public QWidget {
    Q_OBJECT
public:
    using TButtonEvent = std::function<void(QObject* Sender)>;

    // owner: the object whose modal run ModalResult ends; the parent when not given.
    explicit TxpButton(QWidget* parent = nullptr, QObject* owner = nullptr);
    ~TxpButton() override;

    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    // The drawn text (caption without its first "&") and the accelerator character
    // (the one after the first "&"; null when there is none).
    QString DrawnText() const;
    QChar Accelerator() const;

    const QFont& Font() const { return FFont; }
    const QColor& FontColor() const { return FFontColor; }
    void SetFont(const QFont& font, const QColor& color);

    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage& glyph);  // copied; no repaint
    std::int16_t NumGlyph() const { return FNumGlyph; }
    void SetNumGlyph(std::int16_t value) { FNumGlyph = value; }  // no repaint

    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value);
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    QObject* Owner() const { return FOwner; }
    void SetOwner(QObject* owner) { FOwner = owner; }

    bool Hover() const { return FHover; }
    bool Pressed() const { return FPressed; }
    bool Focused() const { return FFocused; }

    // The button's face as it is painted now, pixel for pixel.
    QImage RenderFace() const;
    // The click action of every path: OnClick, then ModalResult to the owning dialog.
    void FireClick();

    TButtonEvent OnClick, OnEnter, OnExit;

    QSize sizeHint() const override { return {75, 25}; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void SetHover(bool value);
    void UpdateShortcuts();
    void PaintEnabled(QPainter& canvas) const;
    void PaintDisabled(QPainter& canvas) const;
    void PaintContent(QPainter& canvas, bool enabled) const;

    QString FCaption = QStringLiteral("XP Button");
    QFont FFont;
    QColor FFontColor = QColor(0, 0, 0);
    QImage FGlyph;
    std::int16_t FNumGlyph = 0;
    int FModalResult = 0;
    bool FCancel = false;
    bool FDefault = false;
    QPointer<QObject> FOwner;
    bool FHover = false;
    bool FPressed = false;
    bool FFocused = false;
    bool FPressSetByLastDown = false;
    int FAccelShortcut = 0;
    int FEscapeShortcut = 0;
    int FReturnShortcut = 0;
    int FEnterShortcut = 0;
};

} // namespace qrp
