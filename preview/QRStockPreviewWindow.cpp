#include "preview/QRStockPreviewWindow.h"

#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"
#include "printer/QRPrinter.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qrp {

namespace {
constexpr int ZoomStep = 10;
}

TQRStockPreviewWindow::TQRStockPreviewWindow(TQRPrinter* printer, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Vista previa"));
    resize(800, 700);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto addButton = [&](const QString& text, auto handler) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        bar->addWidget(b);
        return b;
    };
    preview_ = new TQRPreview(this);
    pageLabel_ = new QLabel(this);

    addButton(QStringLiteral("|<"), [this] { GoToPage(1); });
    addButton(QStringLiteral("<"), [this] { GoToPage(preview_->PageNumber() - 1); });
    bar->addWidget(pageLabel_);
    addButton(QStringLiteral(">"), [this] { GoToPage(preview_->PageNumber() + 1); });
    addButton(QStringLiteral(">|"), [this] {
        if (preview_->ReportSource())
            GoToPage(preview_->ReportSource()->PageTotal());
    });
    addButton(QStringLiteral("-"), [this] { preview_->SetZoom(preview_->Zoom() - ZoomStep); });
    addButton(QStringLiteral("+"), [this] { preview_->SetZoom(preview_->Zoom() + ZoomStep); });
    addButton(QStringLiteral("Página completa"), [this] { preview_->FitWholePage(); });
    addButton(QStringLiteral("Ancho de página"), [this] { preview_->FitPageWidth(); });
    bar->addStretch();
    addButton(QStringLiteral("Cerrar"), [this] { close(); });

    layout->addLayout(bar);
    layout->addWidget(preview_, 1);

    if (printer) {
        preview_->SetReportSource(printer);
        preview_->SetZoom(100);
        // Connected after the control's own watch, which detaches it first.
        connect(printer, &QObject::destroyed, this, [this] { close(); });
    }
    preview_->OnPageAvailable = [this](QObject*, int) { UpdatePageLabel(); };
    UpdatePageLabel();
}

TQRStockPreviewWindow::~TQRStockPreviewWindow() = default;

void TQRStockPreviewWindow::GoToPage(int n) {
    TQRPrinter* source = preview_->ReportSource();
    if (!source || source->PageTotal() <= 0)
        return;
    if (n < 1)
        n = 1;
    if (n > source->PageTotal())
        n = source->PageTotal();
    preview_->SetPageNumber(n);
    UpdatePageLabel();
}

void TQRStockPreviewWindow::UpdatePageLabel() {
    const TQRPrinter* source = preview_->ReportSource();
    const int total = source ? source->PageTotal() : 0;
    pageLabel_->setText(QStringLiteral("%1 / %2").arg(total > 0 ? preview_->PageNumber() : 0).arg(total));
}

void TQRStockPreviewWindow::closeEvent(QCloseEvent* e) {
    if (preview_->ReportSource())
        preview_->SetReportSource(nullptr);
    QDialog::closeEvent(e);
}

} // namespace qrp
