#include "app/Shape.h"

#include <QPainter>

namespace qrp {

TShape::TShape(QWidget* parent, const QColor& fill, const QColor& outline)
    : QWidget(parent), fill_(fill), outline_(outline)
{
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), fill_);
    p.setPen(outline_);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace qrp
