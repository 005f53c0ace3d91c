#include "preview/QRPreviewImage.h"

#include "emf/Metafile.h"
#include "preview/PageSheet.h"
#include "printer/QRPrinter.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace qrp {

TQRPreviewImage::TQRPreviewImage(QWidget* parent) : QWidget(parent) {
    resize(100, 50);
}

TQRPreviewImage::~TQRPreviewImage() = default;

void TQRPreviewImage::LoadPage(int n) {
    shownPage_ = n;
    pageMetafile_.reset();
    if (reportSource_)
        pageMetafile_ = reportSource_->PagePicture(n);
    DrawPage();
}

void TQRPreviewImage::DrawPage() {
    // Painting happens in paint events only; this asks for one now rather than waiting
    // for the event loop.
    if (isVisible())
        repaint();
    else
        update();
}

void TQRPreviewImage::paintEvent(QPaintEvent* e) {
    if (!pageMetafile_)
        return;
    QPainter painter(this);
    // Only the exposed part reaches the screen; the picture is replayed, never cached.
    painter.setClipRegion(e->region());
    DrawPageSheet(painter, width(), height(), pageMetafile_.get());
}

void TQRPreviewImage::mousePressEvent(QMouseEvent* e) {
    if (MouseHandlers.OnMouseDown)
        MouseHandlers.OnMouseDown(this, e);
    QWidget::mousePressEvent(e);
}

void TQRPreviewImage::mouseMoveEvent(QMouseEvent* e) {
    if (MouseHandlers.OnMouseMove)
        MouseHandlers.OnMouseMove(this, e);
    QWidget::mouseMoveEvent(e);
}

void TQRPreviewImage::mouseReleaseEvent(QMouseEvent* e) {
    if (MouseHandlers.OnMouseUp)
        MouseHandlers.OnMouseUp(this, e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && MouseHandlers.OnClick)
        MouseHandlers.OnClick(this);
    QWidget::mouseReleaseEvent(e);
}

void TQRPreviewImage::mouseDoubleClickEvent(QMouseEvent* e) {
    if (MouseHandlers.OnDblClick)
        MouseHandlers.OnDblClick(this);
    QWidget::mouseDoubleClickEvent(e);
}

} // namespace qrp
