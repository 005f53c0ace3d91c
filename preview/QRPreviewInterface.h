#pragma once
// The service a report printer uses to open a preview window when no preview hook is
// set. The base opens nothing; the standard one opens the stock preview window.
#include "printer/PreviewInterfaceBase.h"

#include <QObject>

namespace qrp {

class TQRPreviewInterface : public QObject, public TQRPreviewInterfaceBase {
    Q_OBJECT
public:
    explicit TQRPreviewInterface(QObject* owner = nullptr) : QObject(owner) {}
    QObject* OpenPreview(TQRPrinter* printer) override;
    QObject* OpenPreviewModal(TQRPrinter* printer) override;
};

class TQRStandardPreviewInterface : public TQRPreviewInterface {
    Q_OBJECT
public:
    using TQRPreviewInterface::TQRPreviewInterface;
    // Shows a stock preview window on the printer, modeless; returns the window.
    QObject* OpenPreview(TQRPrinter* printer) override;
    // Shows it modally; the window is released once control returns to the event loop.
    QObject* OpenPreviewModal(TQRPrinter* printer) override;
};

// Makes the standard interface the one report printers fall back to. Idempotent.
void InstallStandardPreviewInterface();

} // namespace qrp
