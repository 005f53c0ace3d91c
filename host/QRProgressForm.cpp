#include "host/QRProgressForm.h"

#include "platform/WindowMessages.h"
#include "printer/QRPrinter.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace qrp {

TQRProgressForm::TQRProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("Printing progress"));
    setFixedSize(149, 97);

    gauge_ = new QProgressBar(this);
    gauge_->setGeometry(16, 18, 114, 16);
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setTextVisible(false);

    info_ = new QLabel(this);
    info_->setGeometry(0, 44, 145, 13);
    info_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setGeometry(36, 60, 75, 25);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

TQRProgressForm::~TQRProgressForm() = default;

void TQRProgressForm::ProgressMessage() {
    if (!WatchedPrinter)
        return;
    const int p = WatchedPrinter->ProgressValue();
    if (p % 5 != 0)
        return;
    gauge_->setValue(p);
    info_->setText(QString::number(p) + QStringLiteral("% ") + QStringLiteral(" Completed"));
    // Lets the window repaint and the Cancel button take its click during the run.
    ProcessPendingMessages();
}

void TQRProgressForm::CancelButtonClick() {
    if (WatchedPrinter)
        WatchedPrinter->RequestCancel();
}

bool TQRProgressForm::event(QEvent* e) {
    if (e->type() == TWindowMessage::EventType()) {
        if (static_cast<TWindowMessage*>(e)->Msg == MsgProgress) {
            ProgressMessage();
            return true;
        }
        return false;
    }
    return QDialog::event(e);
}

} // namespace qrp
