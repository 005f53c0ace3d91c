#include "preview/QRPreviewInterface.h"

#include "preview/QRStockPreviewWindow.h"

#include <QApplication>

namespace qrp {

QObject* TQRPreviewInterface::OpenPreview(TQRPrinter*) { return nullptr; }
QObject* TQRPreviewInterface::OpenPreviewModal(TQRPrinter*) { return nullptr; }

QObject* TQRStandardPreviewInterface::OpenPreview(TQRPrinter* printer) {
    auto* window = new TQRStockPreviewWindow(printer);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

QObject* TQRStandardPreviewInterface::OpenPreviewModal(TQRPrinter* printer) {
    auto* window = new TQRStockPreviewWindow(printer);
    window->exec();
    // The caller may still look at the returned window before the loop runs again.
    window->deleteLater();
    return window;
}

void InstallStandardPreviewInterface() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    if (!PreviewInterfaceFactory())
        SetPreviewInterfaceFactory([] { return std::make_unique<TQRStandardPreviewInterface>(); });
}

} // namespace qrp
