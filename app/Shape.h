#pragma once
// A plain rectangle: a fill and a one-pixel outline, used to frame the main window's
// logo and title.
#include <QColor>
#include <QWidget>

namespace qrp {

class TShape : public QWidget {
public:
    TShape(QWidget* parent, const QColor& fill, const QColor& outline);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QColor fill_, outline_;
};

} // namespace qrp
